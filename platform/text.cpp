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
  bool ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }
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
  return out;
}

std::string StrConv(std::string_view bytes, int conversion, int localeId) {
  if (conversion != vbUnicode || localeId != 0)
    throw RuntimeError(kInvalidProcedureCall, "Invalid procedure call or argument");
  const char* charset = nl_langinfo(CODESET);
  return DecodeCharset(bytes, charset && *charset ? charset : "ANSI_X3.4-1968");
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
