// The symmetric generalized inverse by sweeping: every caller that inverts
// a cross-product matrix (invsym(), _rmcoll, and later the regression core)
// goes through sweep_invert, so that all of them drop the same collinear
// pivots.
//
// The matrix is the k-by-k block at row and column `o` of a square work
// array whose rows are `stride` doubles apart (the matsize).  Only the upper
// triangle is read and written while sweeping; the lower triangle is filled
// from it at the end.  A pivot whose current diagonal has fallen below its
// tolerance (fixed from the initial diagonal before any sweep) is dropped:
// its row and column become 0 and its status 2.
#pragma once
#include <cstdint>
#include <functional>
#include <string_view>
#include <vector>

#include "base/rc.h"

namespace nuvra::stats {

// Tolerances fixed for every caller: they decide which variables a model
// drops, so they are not settings.
inline constexpr double kSweepRelTol = 1e-9;
inline constexpr double kSweepAbsFloor = 1e-19;

// Pivot status.
enum SweepStatus : std::uint8_t { kUnswept = 0, kSwept = 1, kDropped = 2 };

struct SweepOptions {
  // Pivot selection: the order list first, then the unswept pivot with the
  // largest current diagonal, the held-back pivot last.  Off: index order.
  bool select_pivots = true;
  // Processors available to the parallel row loop.
  int processors = 1;
  // Polled once per step; true means a Break is pending.
  std::function<bool()> poll_break;
  // When set, receives one trace line per step ("*%2d %12.5e %12.5e\n":
  // pivot number counted from 1, its current diagonal, its tolerance).
  std::function<void(std::string_view)> trace;
};

// Inverts the block in place.  `order` lists pivots (0-based within the
// block) to sweep first, ended by -1, or is null; `held_back` is a pivot
// swept last, or -1.  *status receives one byte per pivot.  Returns 0, 909
// (out of memory) or 1 (Break; the block is left partly swept).
rc_t sweep_invert(double* work, int stride, int o, int k, const int* order, int held_back,
                  std::vector<std::uint8_t>* status, const SweepOptions& opt);

// The value at (i, j) of a block being swept, read from the upper triangle
// and negated when exactly one of i and j has been swept.
double sweep_element(const double* block, int stride, const std::uint8_t* status, int i, int j);

// One step of the same sweep on a full n-by-n row-major matrix (both
// triangles stored, no status kept), pivot p (0-based).  With d = a(p,p):
//   a(p,p) = 1/d,  row p: a(p,j)/d,  column p: -a(i,p)/d,
//   elsewhere a(i,j) - a(i,p) a(p,j)/d.
// These are the values sweep_invert keeps in its upper triangle, written
// out in full; the steps commute, sweeping every pivot once gives the
// inverse, and sweeping a pivot twice gives the matrix back.  A pivot whose
// d is 0 cannot be swept: its row and column become 0, as a dropped
// pivot's do.  The caller rules out missing values.
void sweep_full(double* a, int n, int p);

// Threads for one step's row loop over k rows with P processors: the
// observation-loop rule with 10 in place of 100.  1 means serial.
int sweep_threads(int processors, int k);

}  // namespace nuvra::stats
