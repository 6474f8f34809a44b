#include "arguments.h"

#include <cfloat>
#include <cmath>
#include <cstdlib>
#include <limits>

std::int32_t ArgToInt(const char* text) {
  // strtoll parses exactly what atoi parses (blanks, sign, decimal digits,
  // anything else ends the number, no digits gives 0) but reports overflow
  // by saturating, which keeps huge texts well defined.
  const long long value = std::strtoll(text, nullptr, 10);
  if (value > std::numeric_limits<std::int32_t>::max()) return std::numeric_limits<std::int32_t>::max();
  if (value < std::numeric_limits<std::int32_t>::min()) return std::numeric_limits<std::int32_t>::min();
  return static_cast<std::int32_t>(value);
}

float ArgToSingle(const char* text) {
  const double value = std::strtod(text, nullptr);
  if (std::isnan(value)) {
    // Keep the sign so that "-nan" still prints as such.
    return std::copysign(std::numeric_limits<float>::quiet_NaN(), std::signbit(value) ? -1.0f : 1.0f);
  }
  const double magnitude = std::fabs(value);
  if (magnitude <= static_cast<double>(FLT_MAX)) return static_cast<float>(value);
  // A double-to-float cast outside the float range is undefined in C++, so
  // the IEEE round-to-nearest result is spelled out: below the midpoint
  // between FLT_MAX and 2^128 the value rounds down to FLT_MAX; from the
  // midpoint on (a tie goes to the even neighbour, which is infinity) it
  // overflows to infinity.
  const double overflow_midpoint = 0x1.ffffffp127;
  const float rounded = magnitude < overflow_midpoint ? FLT_MAX : std::numeric_limits<float>::infinity();
  return value < 0.0 ? -rounded : rounded;
}

const char* InvocationName(int argc, const char* const* argv) {
  return argc > 0 && argv[0] != nullptr ? argv[0] : "";
}
