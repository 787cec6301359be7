// Scans of many doubles for missing values, two elements at a time as a
// vector, with the comparisons made exactly as is_missing makes them.
#pragma once
#include <algorithm>
#include <cstdint>
#include <cstring>

#include "data/missing.h"

namespace nuvra::lumo {

// Two doubles handled as one vector.
using Pair = double __attribute__((vector_size(16)));
using PairMask = long long __attribute__((vector_size(16)));  // -1 where true

// Whether any of x[0..n) is missing (a NaN counts as missing).  Two
// elements are compared at a time, without a branch, in blocks; the scan
// stops at the end of the first block that holds one.
inline bool AnyMissing(const double* x, int64_t n) {
  constexpr int64_t kBlock = 512;
  const Pair top = {data::kMissing, data::kMissing};
  int64_t k = 0;
  while (k + 1 < n) {
    const int64_t e = std::min(n - 1, k + kBlock);
    PairMask any = {0, 0};
    for (; k < e; k += 2) {
      Pair v;
      std::memcpy(&v, x + k, sizeof v);
      any |= ~(v < top);
    }
    if (any[0] | any[1]) return true;
  }
  return k < n && data::is_missing(x[k]);
}

}  // namespace nuvra::lumo
