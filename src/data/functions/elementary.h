// Elementary kernels that expressions and the matrix language share, so
// that a value computed either way is the same to the last bit.  Each
// takes arguments the caller has already found nonmissing.
#pragma once
#include <cmath>

#include <boost/math/special_functions/factorials.hpp>

#include "data/missing.h"

namespace nuvra::fn {

// x rounded to the nearest multiple of y, halves upward; y of 0 leaves x.
inline double round_units(double x, double y) {
  if (y == 0) return x;
  return y * std::floor(x / y + 0.5);
}

// x modulo y with the sign of y; `.` for y of 0.
inline double mod(double x, double y) { return y == 0 ? data::kMissing : x - y * std::floor(x / y); }

// x as the nearest single-precision number; `.` when it has none.
inline double float_round(double x) {
  float f = static_cast<float>(x);
  return std::isfinite(f) ? static_cast<double>(f) : data::kMissing;
}

// n! for n = 0, 1, ..., 170 (correctly rounded from the exact integer);
// `.` for other n and where n! overflows.
inline double factorial(double n) {
  if (!(n >= 0) || n != std::floor(n) || n > boost::math::max_factorial<double>::value) return data::kMissing;
  return boost::math::unchecked_factorial<double>(static_cast<unsigned>(n));
}

}  // namespace nuvra::fn
