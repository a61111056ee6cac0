// Text services of the runtime that need no window: ANSI decoding and substring search.
#pragma once

#include <string>
#include <string_view>

namespace tavro::platform {

constexpr int vbUnicode = 64;
constexpr int vbBinaryCompare = 0;

// Decodes bytes of the locale's character set to UTF-8 text; undecodable bytes become U+FFFD.
// Only the conversion vbUnicode is offered; localeId 0 means the process's locale.
std::string StrConv(std::string_view bytes, int conversion, int localeId = 0);

// Decodes bytes of the named character set; the core of StrConv, exposed for tests.
std::string DecodeCharset(std::string_view bytes, const char* charset);

// The longest start of `text` of at most `maxBytes` bytes that ends between two characters.
std::string_view CutUtf8(std::string_view text, std::size_t maxBytes);

// 1-based character position of the first exact match of `sought` in `text` (both UTF-8),
// looking from character `start` on; 0 when there is none. An empty `sought` matches at `start`.
int InStr(int start, std::string_view text, std::string_view sought, int compare);

}  // namespace tavro::platform
