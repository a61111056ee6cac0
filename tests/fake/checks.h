// Small checks the test tiers share: the error number a call raises, and strict UTF-8.
#pragma once

#include <cstddef>
#include <string>

#include "platform/errors.h"

namespace tavro::fake {

// Runs `body` and hands back the runtime error number it raised, or 0.
template <typename F>
int ErrorOf(F&& body) {
  try {
    body();
  } catch (const platform::RuntimeError& e) {
    return e.Number();
  }
  return 0;
}

// Strict UTF-8: no overlong forms, no surrogates, nothing beyond U+10FFFF. Written apart from
// the decoder it checks, so the two do not share a mistake.
inline bool IsValidUtf8(const std::string& s) {
  const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
  for (std::size_t i = 0; i < s.size();) {
    const unsigned char b0 = byte(i);
    std::size_t len = 1;
    unsigned lo = 0x80, hi = 0xBF;
    if (b0 < 0x80) len = 1;
    else if (b0 >= 0xC2 && b0 <= 0xDF) len = 2;
    else if (b0 >= 0xE0 && b0 <= 0xEF) len = 3, lo = b0 == 0xE0 ? 0xA0 : 0x80, hi = b0 == 0xED ? 0x9F : 0xBF;
    else if (b0 >= 0xF0 && b0 <= 0xF4) len = 4, lo = b0 == 0xF0 ? 0x90 : 0x80, hi = b0 == 0xF4 ? 0x8F : 0xBF;
    else return false;
    if (len > 1 && (i + len > s.size() || byte(i + 1) < lo || byte(i + 1) > hi)) return false;
    for (std::size_t k = 2; k < len; ++k)
      if ((byte(i + k) & 0xC0) != 0x80) return false;
    i += len;
  }
  return true;
}

}  // namespace tavro::fake
