// Views: value records whose elements are cells of the dataset in memory.
// The data block holds the variable numbers (one per column) and then
// either the first observation (View1, consecutive observations) or one
// observation number per row (View2).  Nothing is copied: each use reads
// the cells as they are at that moment.
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
// access to its storage.
template <class Acc>
bool ViewColumnSums(Host& host, const ValueRecord* view, Acc* acc, char* miss);

// A new array temporary holding the view's cells as they are now; null
// after an allocation failure (the message is in values.take_error()).
ValueRecord* ViewToArray(Values& values, Host& host, const ValueRecord* view);

}  // namespace nuvra::lumo
