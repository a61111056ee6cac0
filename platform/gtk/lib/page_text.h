// Text that Tavro writes into pages: inside a script, and inside HTML.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace tavro::platform::gtk {

// A page's text made fit for the desktop: valid UTF-8, at most `maxBytes` bytes.
std::string DesktopText(const std::string& text, std::size_t maxBytes);

// A page's title made fit for a window's caption and the desktop's window list: valid UTF-8,
// without control characters (C0, DEL, C1; a tab or line break becomes a space) and without the
// characters that reorder text around them (bidirectional embeddings, overrides and isolates),
// which would let a title show something else than it holds, or the text after it backwards.
std::string CaptionText(std::string_view text);

// UTF-8 text as the terminal can show it: in the locale's character set (GB18030 on many Chinese
// desktops), a character it lacks as "?"; unchanged under a UTF-8 locale.
std::string TerminalText(const std::string& text);

// `text` as a JavaScript string literal, safe to place anywhere in a script or an HTML page.
std::string JsStringLiteral(const std::string& text);

// `text` escaped for HTML element content and quoted attribute values.
std::string HtmlText(const std::string& text);

}  // namespace tavro::platform::gtk
