// Other programs' addresses told from the engine's own, and the question's words.
#include "program_links.h"

#include <glib.h>

#include <array>
#include <string_view>

#include "owners.h"
#include "page_text.h"

namespace tavro::platform::gtk {
namespace {

// What the engine loads in a view. "resource" and "webkit-pdfjs-viewer" are the engine's own: a
// PDF shows in a frame of its viewer, which no click starts.
constexpr std::array<std::string_view, 9> kEngineSchemes = {
    "http", "https", "file", "data", "blob", "about", "javascript", "resource", "webkit-pdfjs-viewer"};

constexpr std::size_t kSchemeChars = 32;
constexpr std::size_t kAddressBytes = 300;
constexpr std::size_t kProgramBytes = 80;

// At most `bytes` bytes of the valid UTF-8 text, cut before a character, with an ellipsis when cut.
std::string Cut(const std::string& text, std::size_t bytes) {
  if (text.size() <= bytes) return text;
  std::size_t end = bytes;
  while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
  return text.substr(0, end) + "…";
}

}  // namespace

std::optional<std::string> OtherProgramScheme(const std::string& uri) {
  const GCharPtr parsed(g_uri_parse_scheme(uri.c_str()));
  if (!parsed) return std::nullopt;
  const GCharPtr lower(g_ascii_strdown(parsed.get(), -1));
  const std::string scheme = lower.get();
  for (const std::string_view engine : kEngineSchemes)
    if (scheme == engine) return std::nullopt;
  return scheme;
}

std::string SchemeForText(const std::string& scheme) {
  // A scheme is ASCII letters, digits, "+", "-" and "." only.
  return scheme.size() <= kSchemeChars ? scheme : scheme.substr(0, kSchemeChars) + "…";
}

std::string OpenWithQuestion(const std::string& program) {
  return "用 " + Cut(CaptionText(program), kProgramBytes) + " 打开这个链接吗？";
}

std::string AddressForText(const std::string& uri) { return Cut(CaptionText(uri), kAddressBytes); }

std::string RememberForSchemeText(const std::string& scheme) {
  return "退出前对 " + SchemeForText(scheme) + ": 链接都这样回答";
}

}  // namespace tavro::platform::gtk
