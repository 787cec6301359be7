// Storage types of the dataset and the conversions between a double and a
// stored value.
//
// A variable's storage type is one unsigned byte: 1..244 are str1..str244,
// 251..255 byte/int/long/float/double. 246..250 are the legacy-coded
// numeric types of old dataset files (same widths; the integer ones keep a
// single missing value in the type's largest value); they only live while
// such a file is being loaded, but every width routine accepts them.
//
// Fetching and storing go through the functions below and nowhere else, so
// that missing codes are translated in one place. All of them are inline:
// observation loops call them once per value.
#pragma once
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "base/rc.h"
#include "data/limits.h"
#include "data/missing.h"

namespace nuvra::data {

enum StorageType : std::uint8_t {
  kStrMax = 244,
  kLegacyByte = 246,
  kLegacyInt = 247,
  kLegacyLong = 248,
  kLegacyFloat = 249,
  kLegacyDouble = 250,
  kByte = 251,
  kInt = 252,
  kLong = 253,
  kFloat = 254,
  kDouble = 255,
};

constexpr bool is_string_type(int t) { return t >= 1 && t <= kStrMax; }
constexpr bool is_legacy_type(int t) { return t >= kLegacyByte && t <= kLegacyDouble; }
constexpr bool is_numeric_type(int t) { return t >= kLegacyByte && t <= kDouble; }
constexpr bool is_valid_type(int t) { return is_string_type(t) || is_numeric_type(t); }
// The ordinary code of a legacy code (246 -> 251 ...); others unchanged.
constexpr int modern_type(int t) { return is_legacy_type(t) ? t + 5 : t; }

// Bytes per value; 0 for a code that names no type.
constexpr int type_width(int t) {
  if (is_string_type(t)) return t;
  switch (modern_type(t)) {
    case kByte: return 1;
    case kInt: return 2;
    case kLong: return 4;
    case kFloat: return 4;
    case kDouble: return 8;
    default: return 0;
  }
}

// "byte" ... "double", "str%d"; legacy codes give their modern name.
std::string type_name(int t);
// Parses "byte", "int", "long", "float", "double" or "str#" (# 1..244, no
// leading zero); returns the code or 0.
int parse_type_name(std::string_view s);
// Format given to a new variable of type t.
std::string default_format(int t);

// The `.` code of an integer type (byte 101, int 32741, long 2147483621) and
// the extreme non-missing values of every numeric type.
constexpr std::int32_t int_missing_code(int t) {
  switch (modern_type(t)) {
    case kByte: return kByteDot;
    case kInt: return kIntDot;
    default: return kLongDot;
  }
}
constexpr double type_min(int t) {
  switch (modern_type(t)) {
    case kByte: return kByteMin;
    case kInt: return kIntMin;
    case kLong: return kLongMin;
    case kFloat: return kFloatMin;
    default: return kDoubleMin;
  }
}
constexpr double type_max(int t) {
  switch (modern_type(t)) {
    case kByte: return kByteMax;
    case kInt: return kIntMax;
    case kLong: return kLongMax;
    case kFloat: return kFloatMax;
    default: return kDoubleMax;
  }
}

inline constexpr std::uint32_t kFloatMissingBits = 0x7F000000u;

namespace detail {

// Unbiased base-2 exponent of a double, from the exponent field alone (so
// the tests below are independent of the sign): 1023 is the missing range,
// 1024 infinities and NaNs, -1023 zero and subnormals.
inline int exponent_of(double v) {
  return static_cast<int>((std::bit_cast<std::uint64_t>(v) >> 52) & 0x7FF) - 1023;
}
// Byte 5 of a double in the missing range: 0 for `.`, 1..26 for `.a`..`.z`.
inline int missing_byte5(double v) {
  return static_cast<int>((std::bit_cast<std::uint64_t>(v) >> 40) & 0xFF);
}

// The integer stores: `dot` is the type's `.` code, `emax` the first
// exponent out of range (31 long, 15 int, 7 byte).
inline std::int32_t to_int_code(double v, std::int32_t dot, int emax, bool* became_missing) {
  int e = exponent_of(v);
  if (e == 1023) {
    int k = missing_byte5(v);
    *became_missing = !is_missing(v);
    return k < 27 ? dot + k : dot;
  }
  if (e >= emax) {
    *became_missing = !is_missing(v);
    return dot;
  }
  auto r = static_cast<std::int32_t>(v);  // |v| < 2^31: truncation toward zero
  if (r >= dot) {
    *became_missing = true;
    return dot;
  }
  *became_missing = false;
  return r;
}

inline double from_int_code(std::int32_t v, std::int32_t dot) {
  return v < dot ? static_cast<double>(v) : missing_value(v - dot);
}

}  // namespace detail

// Float to double: widen; the float missing range (exponent 127) is carried over to
// the double missing range with the same `.a`..`.z` step.
inline double float_to_double(float f) {
  double d = f;
  std::uint64_t b = std::bit_cast<std::uint64_t>(d);
  if (((b >> 52) & 0x7FF) == 1023 + 127) {
    std::uint64_t top = 0x7FE0u | ((b >> 48) & 0xF);
    b = (top << 48) | (b & 0x0000FFFFFFFFFFFFULL);
    d = std::bit_cast<double>(b);
  }
  return d;
}

// Double to float: round to nearest. Exponents below -127 give 0; the missing range maps k onto the
// float's 0x800 steps; overflow, infinity and NaN give float `.`.
inline float double_to_float(double v, bool* became_missing) {
  int e = detail::exponent_of(v);
  if (e < 127) {
    if (e < -127) {
      *became_missing = false;
      return 0.0f;
    }
    float f = static_cast<float>(v);
    // A value just below 2^127 may round up into the missing range.
    *became_missing = ((std::bit_cast<std::uint32_t>(f) >> 23) & 0xFF) >= 254;
    return f;
  }
  if (e == 1023) {
    int k = detail::missing_byte5(v);
    *became_missing = !is_missing(v);
    std::uint32_t bits = kFloatMissingBits + (k <= 26 ? static_cast<std::uint32_t>(k) : 0u) * 0x800u;
    return std::bit_cast<float>(bits);
  }
  *became_missing = !is_missing(v);
  return std::bit_cast<float>(kFloatMissingBits);
}

// Fetch numeric: an integer code below the type's `.` code is that number,
// the codes from `.` up are `.`, `.a` ... `.z` in order; a float widens as
// float_to_double does. p points at the stored value, which need not be
// aligned. Legacy integer codes read their largest value as `.`.
inline double fetch_value(int type, const void* p) {
  switch (type) {
    case kByte: {
      std::int8_t v;
      std::memcpy(&v, p, 1);
      return detail::from_int_code(v, kByteDot);
    }
    case kInt: {
      std::int16_t v;
      std::memcpy(&v, p, 2);
      return detail::from_int_code(v, kIntDot);
    }
    case kLong: {
      std::int32_t v;
      std::memcpy(&v, p, 4);
      return detail::from_int_code(v, kLongDot);
    }
    case kFloat:
    case kLegacyFloat: {
      float v;
      std::memcpy(&v, p, 4);
      return float_to_double(v);
    }
    case kDouble:
    case kLegacyDouble: {
      double v;
      std::memcpy(&v, p, 8);
      return v;
    }
    case kLegacyByte: {
      std::int8_t v;
      std::memcpy(&v, p, 1);
      return v == 127 ? kMissing : v;
    }
    case kLegacyInt: {
      std::int16_t v;
      std::memcpy(&v, p, 2);
      return v == 32767 ? kMissing : v;
    }
    case kLegacyLong: {
      std::int32_t v;
      std::memcpy(&v, p, 4);
      return v == 2147483647 ? kMissing : v;
    }
    default:
      return kMissing;
  }
}

// Store numeric: the integer types truncate toward zero and keep a missing
// value's letter, and a value outside the type's range becomes `.`; a float
// rounds as double_to_float does; a double is stored as it is. No
// promotion. Returns true when a value that was not missing had to be
// stored as a missing value.
inline bool store_value(int type, void* p, double v) {
  bool became = false;
  switch (modern_type(type)) {
    case kByte: {
      auto r = static_cast<std::int8_t>(detail::to_int_code(v, kByteDot, 7, &became));
      std::memcpy(p, &r, 1);
      break;
    }
    case kInt: {
      auto r = static_cast<std::int16_t>(detail::to_int_code(v, kIntDot, 15, &became));
      std::memcpy(p, &r, 2);
      break;
    }
    case kLong: {
      std::int32_t r = detail::to_int_code(v, kLongDot, 31, &became);
      std::memcpy(p, &r, 4);
      break;
    }
    case kFloat: {
      float f = double_to_float(v, &became);
      std::memcpy(p, &f, 4);
      break;
    }
    case kDouble:
      std::memcpy(p, &v, 8);
      break;
    default:
      break;
  }
  return became;
}

// The stored bytes of `.` for a numeric type (width bytes written), or the
// empty string (all zero) for a string type.
void store_missing(int type, void* p);

// Store string: the field is exactly n bytes: a value of n bytes or more fills it
// with no terminator; a shorter one is terminated and the rest of the field
// zeroed, so that saved files do not carry stale bytes.
inline void store_string(void* p, int n, std::string_view s) {
  std::size_t len = s.size() < static_cast<std::size_t>(n) ? s.size() : static_cast<std::size_t>(n);
  std::memcpy(p, s.data(), len);
  if (len < static_cast<std::size_t>(n)) std::memset(static_cast<char*>(p) + len, 0, n - len);
}
inline std::string fetch_string(const void* p, int n) {
  const char* c = static_cast<const char*>(p);
  const void* z = std::memchr(c, 0, static_cast<std::size_t>(n));
  return std::string(c, z ? static_cast<const char*>(z) - c : n);
}
// Length of the stored text without copying it.
inline std::size_t stored_string_length(const void* p, int n) {
  const char* c = static_cast<const char*>(p);
  const void* z = std::memchr(c, 0, static_cast<std::size_t>(n));
  return z ? static_cast<std::size_t>(static_cast<const char*>(z) - c) : static_cast<std::size_t>(n);
}

}  // namespace nuvra::data
