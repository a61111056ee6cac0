// Address fix-up for the browser views.
#include "address.h"

#include <cctype>
#include <string_view>

namespace tavro::platform {
namespace {

bool IsSchemeChar(char c) {
  return std::isalnum(static_cast<unsigned char>(c)) || c == '+' || c == '-' || c == '.';
}

// The host of an authority ("user@host:port"), as a URL parser would cut it out.
std::string_view HostPart(std::string_view afterSlashes) {
  std::string_view authority = afterSlashes.substr(0, afterSlashes.find_first_of("/?#\\"));
  if (const auto at = authority.rfind('@'); at != std::string_view::npos) authority.remove_prefix(at + 1);
  if (!authority.empty() && authority.front() == '[') return authority.substr(0, authority.find(']') + 1);
  return authority.substr(0, authority.find(':'));
}

}  // namespace

std::optional<std::string> FixUpAddress(const std::string& url) {
  const auto isSpace = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v'; };
  // A byte-order mark that an editor put in front of the address counts as white space.
  const auto isByteOrderMark = [&](std::size_t at) { return url.compare(at, 3, "\xEF\xBB\xBF") == 0; };
  std::size_t begin = 0, end = url.size();
  while (begin < end) {
    if (isSpace(url[begin]) || url[begin] == '\0')
      ++begin;
    else if (end - begin >= 3 && isByteOrderMark(begin))
      begin += 3;
    else
      break;
  }
  while (end > begin && (isSpace(url[end - 1]) || url[end - 1] == '\0')) --end;
  std::string out;
  out.reserve(end - begin + 16);
  static constexpr char kHex[] = "0123456789ABCDEF";
  for (std::size_t i = begin; i < end; ++i) {
    const auto c = static_cast<unsigned char>(url[i]);
    if (c == '\t' || c == '\r' || c == '\n') continue;  // as a URL parser drops them
    if (c < 0x20 || c == 0x7F || c == ' ') {
      out.push_back('%');
      out.push_back(kHex[c >> 4]);
      out.push_back(kHex[c & 15]);
    } else {
      out.push_back(static_cast<char>(c));
    }
  }
  // A scheme is letters, digits, "+-." up to "://", or one of the few schemes without "//".
  std::size_t i = 0;
  while (i < out.size() && IsSchemeChar(out[i])) ++i;
  if (out.rfind("about:", 0) == 0 || out.rfind("data:", 0) == 0) return out;  // no host to name
  const bool hasScheme = i > 0 && std::isalpha(static_cast<unsigned char>(out[0])) && out.compare(i, 3, "://") == 0;
  const std::string_view authority = std::string_view(out).substr(hasScheme ? i + 3 : 0);
  if (out.empty() || out.front() == '/' || HostPart(authority).empty()) return std::nullopt;
  if (!hasScheme) out.insert(0, "http://");
  return out;
}

}  // namespace tavro::platform
