// ANSI decoding through iconv, substring search and the runtime's rounding.
#include "text.h"

#include <iconv.h>
#include <langinfo.h>

#include <cerrno>

#include "errors.h"

namespace tavro::platform {
namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";  // U+FFFD

class Iconv {
 public:
  explicit Iconv(const char* from) : cd_(iconv_open("UTF-8", from)) {}
  ~Iconv() {
    if (ok()) iconv_close(cd_);
  }
  Iconv(const Iconv&) = delete;
  Iconv& operator=(const Iconv&) = delete;
  // iconv_open's failure value is the handle (iconv_t)-1.
  bool ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }  // NOLINT(performance-no-int-to-ptr)
  iconv_t get() const { return cd_; }

 private:
  iconv_t cd_;
};

bool IsUtf8Continuation(unsigned char c) { return (c & 0xC0) == 0x80; }

// Length of the UTF-8 sequence led by c, or 1 for a stray byte.
std::size_t Utf8Length(unsigned char c) {
  if (c < 0x80) return 1;
  if ((c & 0xE0) == 0xC0) return 2;
  if ((c & 0xF0) == 0xE0) return 3;
  if ((c & 0xF8) == 0xF0) return 4;
  return 1;
}

// Length of the well-formed UTF-8 sequence at s[i], or 0: no overlong forms, no surrogates,
// nothing beyond U+10FFFF.
std::size_t WellFormedLength(std::string_view s, std::size_t i) {
  const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
  const unsigned char b0 = byte(i);
  if (b0 < 0x80) return 1;
  std::size_t len = 0;
  unsigned lo = 0x80, hi = 0xBF;
  if (b0 >= 0xC2 && b0 <= 0xDF) {
    len = 2;
  } else if (b0 >= 0xE0 && b0 <= 0xEF) {
    len = 3;
    if (b0 == 0xE0) lo = 0xA0;
    if (b0 == 0xED) hi = 0x9F;
  } else if (b0 >= 0xF0 && b0 <= 0xF4) {
    len = 4;
    if (b0 == 0xF0) lo = 0x90;
    if (b0 == 0xF4) hi = 0x8F;
  } else {
    return 0;
  }
  if (i + len > s.size() || byte(i + 1) < lo || byte(i + 1) > hi) return 0;
  for (std::size_t k = 2; k < len; ++k)
    if (!IsUtf8Continuation(byte(i + k))) return 0;
  return len;
}

// glibc's UTF-8 decoder lets code points beyond U+10FFFF through (up to six-byte forms), and
// its encoder writes them back: each byte of such a sequence becomes U+FFFD, like any other
// undecodable byte.
void ReplaceMalformed(std::string& text) {
  std::size_t i = 0;
  while (i < text.size() && WellFormedLength(text, i) != 0) i += WellFormedLength(text, i);
  if (i == text.size()) return;
  std::string out = text.substr(0, i);
  while (i < text.size()) {
    const std::size_t len = WellFormedLength(text, i);
    if (len == 0) {
      out.append(kReplacement);
      ++i;
    } else {
      out.append(text, i, len);
      i += len;
    }
  }
  text = std::move(out);
}

}  // namespace

std::string DecodeCharset(std::string_view bytes, const char* charset) {
  std::string out;
  out.reserve(bytes.size() + bytes.size() / 2);
  Iconv conv(charset);
  if (!conv.ok()) {
    // An unknown character set still yields text: ASCII passes, the rest is replaced.
    for (unsigned char c : bytes) {
      if (c < 0x80)
        out.push_back(static_cast<char>(c));
      else
        out.append(kReplacement);
    }
    return out;
  }
  char buffer[4096];
  auto* in = const_cast<char*>(bytes.data());
  std::size_t inLeft = bytes.size();
  while (inLeft > 0) {
    char* outPtr = buffer;
    std::size_t outLeft = sizeof buffer;
    const std::size_t rc = iconv(conv.get(), &in, &inLeft, &outPtr, &outLeft);
    out.append(buffer, static_cast<std::size_t>(outPtr - buffer));
    if (rc != static_cast<std::size_t>(-1)) break;
    if (errno == E2BIG) continue;
    // EILSEQ or EINVAL (a sequence cut short at the end): one byte becomes U+FFFD.
    out.append(kReplacement);
    ++in;
    --inLeft;
    iconv(conv.get(), nullptr, nullptr, nullptr, nullptr);
  }
  ReplaceMalformed(out);
  return out;
}

std::string StrConv(std::string_view bytes, int conversion, int localeId) {
  if (conversion != vbUnicode || localeId != 0)
    throw RuntimeError(kInvalidProcedureCall, "Invalid procedure call or argument");
  const char* charset = nl_langinfo(CODESET);
  return DecodeCharset(bytes, charset && *charset ? charset : "ANSI_X3.4-1968");
}

std::string_view CutUtf8(std::string_view text, std::size_t maxBytes) {
  if (text.size() <= maxBytes) return text;
  std::size_t cut = maxBytes;
  while (cut > 0 && IsUtf8Continuation(static_cast<unsigned char>(text[cut]))) --cut;
  return text.substr(0, cut);
}

int InStr(int start, std::string_view text, std::string_view sought, int compare) {
  if (start < 1 || compare != vbBinaryCompare)
    throw RuntimeError(kInvalidProcedureCall, "Invalid procedure call or argument");
  // Walk to the byte offset of character `start`.
  std::size_t offset = 0;
  int position = 1;
  while (position < start && offset < text.size()) {
    offset += Utf8Length(static_cast<unsigned char>(text[offset]));
    ++position;
  }
  if (position < start || offset > text.size()) return 0;
  if (sought.empty()) return start;
  // Both sides are valid UTF-8, so a byte match that starts on a lead byte is a character match.
  for (std::size_t found = text.find(sought, offset); found != std::string_view::npos;
       found = text.find(sought, found + 1)) {
    if (IsUtf8Continuation(static_cast<unsigned char>(text[found]))) continue;
    int chars = position;
    for (std::size_t i = offset; i < found; i += Utf8Length(static_cast<unsigned char>(text[i])))
      ++chars;
    return chars;
  }
  return 0;
}

}  // namespace tavro::platform
