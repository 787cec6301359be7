// Return codes as the engine sees them (the same 32-bit codes the rest of
// the system passes back), and the machine's special status codes.
#pragma once
#include <cstdint>

#include "base/rc.h"

namespace nuvra::lumo {

inline constexpr rc_t kStatusBreak = 1;
inline constexpr rc_t kStatusReported = 2;       // an error was reported further in
inline constexpr rc_t kStatusReturn = 10000;     // a normal return
inline constexpr rc_t kStatusRaised = 10001;     // the raiser printed its message
inline constexpr rc_t kStatusSilentStop = 10002; // exit(): no message, no error

}  // namespace nuvra::lumo
