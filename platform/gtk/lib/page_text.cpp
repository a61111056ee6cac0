// Script and HTML text of Tavro's own making.
#include "page_text.h"

#include <glib.h>

#include <cstdio>

#include "owners.h"
#include "platform/text.h"

namespace tavro::platform::gtk {

std::string DesktopText(const std::string& text, std::size_t maxBytes) {
  const GCharPtr valid(g_utf8_make_valid(text.data(), static_cast<gssize>(text.size())));
  return std::string(CutUtf8(valid.get(), maxBytes));
}

std::string JsStringLiteral(const std::string& text) {
  std::string out = "\"";
  const std::string valid = DesktopText(text, std::string::npos);
  for (const char* p = valid.c_str(); *p; p = g_utf8_next_char(p)) {
    const gunichar c = g_utf8_get_char(p);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20 || c == '<' || c == '>' || c == '&' || c == 0x2028 || c == 0x2029) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(c));
      out += escaped;
    } else {
      out.append(p, g_utf8_next_char(p) - p);
    }
  }
  return out + "\"";
}

std::string HtmlText(const std::string& text) {
  const GCharPtr escaped(g_markup_escape_text(text.c_str(), static_cast<gssize>(text.size())));
  return escaped ? escaped.get() : "";
}

}  // namespace tavro::platform::gtk
