// Checked division and banker's rounding to 32-bit integers.
#include "numeric.h"

#include <cfenv>
#include <cmath>
#include <limits>

#include "errors.h"

namespace tavro::platform {

float Divide(float dividend, float divisor) {
  if (divisor == 0.0F) throw RuntimeError(kDivisionByZero, "Division by zero");
  return dividend / divisor;
}

std::int32_t CLng(double value) {
  if (!std::isfinite(value)) throw RuntimeError(kOverflow, "Overflow");
  // Ties to even whatever rounding mode someone else left behind.
  const int saved = std::fegetround();
  std::fesetround(FE_TONEAREST);
  const double rounded = std::nearbyint(value);
  std::fesetround(saved);
  if (rounded < static_cast<double>(std::numeric_limits<std::int32_t>::min()) ||
      rounded > static_cast<double>(std::numeric_limits<std::int32_t>::max()))
    throw RuntimeError(kOverflow, "Overflow");
  return static_cast<std::int32_t>(rounded);
}

}  // namespace tavro::platform
