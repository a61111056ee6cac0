// Text that Tavro writes into pages: inside a script, and inside HTML.
#pragma once

#include <cstddef>
#include <string>

namespace tavro::platform::gtk {

// A page's text made fit for the desktop: valid UTF-8, at most `maxBytes` bytes.
std::string DesktopText(const std::string& text, std::size_t maxBytes);

// `text` as a JavaScript string literal, safe to place anywhere in a script or an HTML page.
std::string JsStringLiteral(const std::string& text);

// `text` escaped for HTML element content and quoted attribute values.
std::string HtmlText(const std::string& text);

}  // namespace tavro::platform::gtk
