// Missing values as doubles: system missing `.` and the extended `.a`..`.z`.
//
// They are the largest doubles: `.` is 2^1023 (bits 0x7FE0000000000000) and
// `.a`..`.z` set byte 5 (bits 40-47) of that pattern to 1..26, so ordinary
// numeric comparison orders numbers < `.` < `.a` < ... < `.z`. Any double at
// or above `.` counts as missing; so do +infinity and NaN, which arithmetic
// may produce and which no storage type can hold as a number.
#pragma once
#include <bit>
#include <cstdint>

namespace nuvra::data {

inline constexpr std::uint64_t kMissingBits = 0x7FE0000000000000ULL;

// code 0 is `.`, 1..26 are `.a`..`.z`; anything else gives `.`.
constexpr double missing_value(int code) {
  std::uint64_t k = (code >= 1 && code <= 26) ? static_cast<std::uint64_t>(code) : 0;
  return std::bit_cast<double>(kMissingBits | (k << 40));
}

inline constexpr double kMissing = missing_value(0);

constexpr bool is_missing(double d) { return !(d < kMissing); }

// -1 for a non-missing value, 0 for `.`, 1..26 for `.a`..`.z`. A missing
// double whose byte 5 is beyond 26 (or infinity, NaN) reads as `.`.
constexpr int missing_code(double d) {
  if (!is_missing(d)) return -1;
  std::uint64_t b = std::bit_cast<std::uint64_t>(d);
  if (((b >> 52) & 0x7FF) != 0x7FE) return 0;
  int k = static_cast<int>((b >> 40) & 0xFF);
  return k <= 26 ? k : 0;
}

}  // namespace nuvra::data
