// Script and HTML text of Tavro's own making.
#include "page_text.h"

#include <algorithm>

#include <glib.h>

#include <cstdio>

#include "owners.h"
#include "platform/text.h"

namespace tavro::platform::gtk {

std::string DesktopText(const std::string& text, std::size_t maxBytes) {
  const GCharPtr valid(g_utf8_make_valid(text.data(), static_cast<gssize>(text.size())));
  return std::string(CutUtf8(valid.get(), maxBytes));
}

std::string CaptionText(std::string_view text) {
  std::string whole(text);
  whole.erase(std::remove(whole.begin(), whole.end(), '\0'), whole.end());  // would cut the caption short
  const GCharPtr valid(g_utf8_make_valid(whole.data(), static_cast<gssize>(whole.size())));
  std::string out;
  out.reserve(text.size());
  for (const char* p = valid.get(); *p; p = g_utf8_next_char(p)) {
    const gunichar c = g_utf8_get_char(p);
    const bool reorders = (c >= 0x202A && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069);
    if (c == '\t' || c == '\n' || c == '\r')
      out += ' ';
    else if (c >= 0x20 && c != 0x7F && !(c >= 0x80 && c <= 0x9F) && !reorders)
      out.append(p, g_utf8_next_char(p) - p);
  }
  return out;
}

std::string TerminalText(const std::string& text) {
  const char* charset = nullptr;
  if (g_get_charset(&charset) || !charset) return text;
  const GCharPtr valid(g_utf8_make_valid(text.data(), static_cast<gssize>(text.size())));
  gsize written = 0;
  const GCharPtr converted(g_convert_with_fallback(valid.get(), -1, charset, "UTF-8", "?", nullptr, &written, nullptr));
  return converted ? std::string(converted.get(), written) : text;
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
  // The escaper reads past the end of malformed UTF-8: it gets valid text only.
  const GCharPtr valid(g_utf8_make_valid(text.data(), static_cast<gssize>(text.size())));
  const GCharPtr escaped(g_markup_escape_text(valid.get(), -1));
  return escaped ? escaped.get() : "";
}

}  // namespace tavro::platform::gtk
