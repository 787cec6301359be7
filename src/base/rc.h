// Return codes: every routine that can fail returns one; 0 is success,
// 1 is Break, anything else names a failure whose message the message
// routine knows.
#pragma once
#include <cstdint>

namespace nuvra {
using rc_t = std::int32_t;
inline constexpr rc_t kOk = 0;
inline constexpr rc_t kBreak = 1;
}  // namespace nuvra
