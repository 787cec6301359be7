// Views: value records whose elements are cells of the dataset in memory.
// The data block holds the variable numbers (one per column) and then
// either the first observation (View1, consecutive observations) or one
// observation number per row (View2).  Nothing is copied: each use reads
// the cells as they are at that moment.
//
// A view follows the variables it was made of, not their numbers: the
// record also keeps each column's variable identity (view_ids), and every
// use first brings the numbers up to date (FollowViewVars), so dropping
// an earlier variable leaves the view showing the same data.  A view one
// of whose variables is gone can no longer be used.
#pragma once
#include <cstdint>
#include <vector>

#include "lumo/host.h"
#include "lumo/value.h"

namespace nuvra::lumo {

inline bool is_view(const ValueRecord* v) { return v->kind == kKindValue && v->representation != kArray; }

inline int ViewVar(const ValueRecord* v, int32_t j) { return int(static_cast<const uint32_t*>(v->data)[j]); }
inline int64_t ViewObs(const ValueRecord* v, int32_t i) {
  const auto* idx = static_cast<const uint32_t*>(v->data);
  return v->representation == kView1 ? int64_t(idx[v->cols]) + i : int64_t(idx[v->cols + i]);
}

// The code of a use of a view one of whose variables has been dropped.
inline constexpr rc_t kViewVarDropped = 3500;

// Brings the view's variable numbers up to date with its variables'
// identities; false when one of them has left the dataset.  A view made
// without identities (no host dataset) keeps its numbers.  The numbers
// are a cache of the identities, which is why a const view may have them
// updated.
bool FollowViewVars(Host& host, const ValueRecord* view);

// Makes v (whatever it held) a view of the listed observations and
// variables, numeric (eltype real) or string; 0 or 3900.
rc_t MakeView(Values& values, ValueRecord* v, int eltype, const std::vector<int64_t>& obs, const std::vector<int>& vars);

// True when cell (i, j) of the view lies in the dataset and its variable
// has the view's kind (numeric or string).  Any other cell is never read:
// a numeric one reads as missing, a string one as "".
bool ViewCellExists(Host& host, const ValueRecord* view, int32_t i, int32_t j);

// Column sums of a numeric view read straight from the dataset's storage:
// each column is summed in row order, exactly as a copy of the view would
// be, every cell converted from its storage type as DataNumber converts
// it.  A missing cell, or one no longer in the dataset, is left out of its
// sum and sets its column's flag in miss.  acc and miss hold one entry per
// column.  False, with nothing summed, when the host gives no direct
// access to its storage or a variable of the view is gone.
template <class Acc>
bool ViewColumnSums(Host& host, const ValueRecord* view, Acc* acc, char* miss);

// A new array temporary holding the view's cells as they are now; null
// after an allocation failure or for a view of a dropped variable (the
// code and message are in values.take_error_code() and take_error()).
ValueRecord* ViewToArray(Values& values, Host& host, const ValueRecord* view);

}  // namespace nuvra::lumo
