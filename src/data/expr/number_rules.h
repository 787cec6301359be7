// The evaluator's rules for numbers, shared by its opcode loop and by the
// straight-line loops of generate and replace, which must give the same
// values bit for bit.
#pragma once
#include <bit>
#include <cmath>
#include <cstdint>

#include "data/missing.h"

namespace nuvra::expr::rules {

// Forced inline: these run once per value inside the loops.
#define NUVRA_RULE_INLINE [[gnu::always_inline]] inline

// Missing for arithmetic: at or above `.`, infinities of either sign, NaN.
NUVRA_RULE_INLINE bool bad(double v) { return !(std::fabs(v) < data::kMissing); }

// A comparison operand: infinities and NaN become `.`; under the old
// comparison rule every missing value is `.`.
NUVRA_RULE_INLINE double cmp_value(double v, bool all_equal) {
  std::uint64_t b = std::bit_cast<std::uint64_t>(v);
  if (((b >> 52) & 0x7FF) == 0x7FF) return data::kMissing;
  if (all_equal && !(v < data::kMissing)) return data::kMissing;
  return v;
}

// A result: infinities and NaN are `.`, and so are negative values in the
// missing range, which are no values of any type.
NUVRA_RULE_INLINE double finish(double v) {
  std::uint64_t b = std::bit_cast<std::uint64_t>(v);
  if (((b >> 52) & 0x7FF) == 0x7FF || (b >> 52) == 0xFFE) return data::kMissing;
  return v;
}

#undef NUVRA_RULE_INLINE

}  // namespace nuvra::expr::rules
