// The rows of a least-squares fit and the reader its passes share: which
// observations are in the fit, their weights, and the values of several
// variables of one observation read together.
#pragma once
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "data/dataset.h"

namespace nuvra::stats {

// The observations of the fit: selected, nonmissing in every variable
// (and the cluster variable), with a usable weight.  A sample that is one
// run of observations (the usual case: every observation, or an `in`
// range) is walked directly; only a scattered one is listed.
struct Fit {
  std::vector<char> touse;        // per observation: in the fit (e(sample))
  std::int64_t first = 0;         // 1-based number of the first one, when contiguous
  std::int64_t count = 0;         // observations in the fit
  bool contiguous = true;
  std::vector<std::int64_t> obs;  // 1-based observation numbers, when scattered
  std::vector<double> w;          // empty without weights
  double n = 0;                   // e(N)
  bool empty() const { return count == 0; }
  // The 0-based row of the fit's pos-th observation.
  std::int64_t row(std::int64_t pos) const {
    return contiguous ? first - 1 + pos : obs[static_cast<size_t>(pos)] - 1;
  }
};

inline double value_of(const data::Column& c, std::int64_t r) {
  return c.type == data::kDouble ? c.raw<double>(r) : c.fetch(r);
}

// Reads the values of several variables of one observation.  The
// variables share the observation's record, so its place is found once
// per observation, and a set of double variables (the usual case) is
// copied without the per-type dispatch.
class RowReader {
 public:
  RowReader(data::Dataset& ds, const std::vector<int>& vars) {
    const char* hi = nullptr;
    for (int j : vars) {
      data::Column c = ds.column(j);
      base_.push_back(c.base);
      type_.push_back(c.type);
      if (c.type != data::kDouble) all_double_ = false;
      slot_ = c.slot;
      stride_ = c.stride;
      if (!lo_ || c.base < lo_) lo_ = c.base;
      if (!hi || c.base + 8 > hi) hi = c.base + 8;
    }
    if (lo_) lines_ = std::min<int>(8, static_cast<int>((hi - lo_ + 63) / 64) + 1);
  }
  // Records lie a whole allotted width apart, often several per page or
  // more, which the hardware prefetcher follows poorly; the passes ask for
  // the record a few rows ahead so its lines arrive before they are read.
  void prefetch(std::int64_t r) const {
    const char* p = lo_ + stride_ * slot_[r];
    for (int l = 0; l < lines_; ++l) __builtin_prefetch(p + 64 * l);
  }
  int size() const { return static_cast<int>(base_.size()); }
  // out[c] = value of variable c at 0-based row r.
  void read(std::int64_t r, double* out) const {
    const std::size_t off = stride_ * slot_[r];
    const int n = size();
    if (all_double_) {
      for (int c = 0; c < n; ++c) std::memcpy(&out[c], base_[c] + off, sizeof(double));
    } else {
      for (int c = 0; c < n; ++c) out[c] = data::fetch_value(type_[c], base_[c] + off);
    }
  }

 private:
  std::vector<const char*> base_;
  std::vector<int> type_;
  const std::uint32_t* slot_ = nullptr;
  std::size_t stride_ = 0;
  bool all_double_ = true;
  const char* lo_ = nullptr;  // lowest byte of the variables in slot 0
  int lines_ = 0;             // cache lines that span them
};

// How many rows ahead a pass asks for records.
inline constexpr std::int64_t kPrefetchRows = 8;

}  // namespace nuvra::stats
