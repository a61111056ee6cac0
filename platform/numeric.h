// The runtime's arithmetic where it differs from C++: checked division and rounding to integers.
#pragma once

#include <cstdint>

namespace tavro::platform {

// Single-precision division; a zero divisor raises "Division by zero".
float Divide(float dividend, float divisor);

// Real to 32-bit integer: nearest, a half to the even neighbour; out of range raises "Overflow".
std::int32_t CLng(double value);

}  // namespace tavro::platform
