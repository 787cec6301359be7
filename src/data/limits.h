// The value limits of the numeric storage types: the one place they are
// spelled out. Storage, type promotion, the constant functions maxbyte() ...
// and c(maxbyte) ... all read them from here.
//
// An integer type keeps its largest codes for missing values: the first of
// them (`kByteDot` ...) stores `.`, the next 26 `.a`..`.z`, so the largest
// ordinary value is 27 below that range's top. float and double values stop
// one binade short of their formats' largest exponent, which holds the
// missing values.
#pragma once
#include <cstdint>
#include <string_view>

namespace nuvra::data {

inline constexpr std::int32_t kByteMin = -127;
inline constexpr std::int32_t kByteMax = 100;
inline constexpr std::int32_t kByteDot = 101;

inline constexpr std::int32_t kIntMin = -32767;
inline constexpr std::int32_t kIntMax = 32740;
inline constexpr std::int32_t kIntDot = 32741;

inline constexpr std::int32_t kLongMin = -2147483647;
inline constexpr std::int32_t kLongMax = 2147483620;
inline constexpr std::int32_t kLongDot = 2147483621;

// The largest float below the float missing range (2^127 - 2^103) and the
// largest double below `.` (2^1023 - 2^970).
inline constexpr double kFloatMax = 0x1.fffffep+126;
inline constexpr double kFloatMin = -kFloatMax;
inline constexpr double kDoubleMax = 0x1.fffffffffffffp+1022;
inline constexpr double kDoubleMin = -kDoubleMax;

// Relative precision of each type and the smallest normal double.
inline constexpr double kFloatEpsilon = 0x1p-23;
inline constexpr double kDoubleEpsilon = 0x1p-52;
inline constexpr double kSmallestDouble = 0x1p-1022;

// The limits under the names users read them by (limits.def).
struct StorageLimit {
  const char* name;
  double value;
};
inline constexpr StorageLimit kStorageLimits[] = {
#define STORAGE_LIMIT(name, value) {#name, static_cast<double>(value)},
#include "data/limits.def"
#undef STORAGE_LIMIT
};

// The limit called `name`, or nullptr.
inline const StorageLimit* find_storage_limit(std::string_view name) {
  for (const StorageLimit& l : kStorageLimits)
    if (name == l.name) return &l;
  return nullptr;
}

}  // namespace nuvra::data
