// The summary passes: a first pass for the count, the weights, the sum and
// the extremes, the mean from the compensated sums, and a second pass for
// the squared deviations from that mean. Each pass runs in parallel chunks
// with one accumulator slot per chunk, combined in chunk order.
#include "stats/summarize.h"

#include <omp.h>

#include <algorithm>
#include <atomic>
#include <cfloat>
#include <cmath>
#include <cstring>
#include <limits>
#include <new>
#include <utility>
#include <vector>

#include "data/missing.h"
#include "data/weights.h"
#include "stats/parallel.h"

namespace nuvra::stats {

using data::kMissing;

double finite_or_missing(double v) {
  if (std::isnan(v) || std::isinf(v) || v >= kMissing || v <= -kMissing) return kMissing;
  return v;
}

double counted_obs(std::int64_t n, double sum_w, int weight_type) {
  return weight_type == kFweight ? sum_w : static_cast<double>(n);
}

double variance_from(double ss, double sum_w, std::int64_t n, int weight_type) {
  if (n <= 1) return kMissing;
  double v;
  if (weight_type == kAweight) {
    v = (ss / sum_w) * static_cast<double>(n) / static_cast<double>(n - 1);
  } else {
    double d = sum_w - 1;
    if (d == 0) return kMissing;
    v = ss / d;
  }
  return finite_or_missing(v);
}

namespace {

// Reads the value at a sample position: the storage type is a template
// argument so that the fetch compiles to one load and compare, and the
// sample form (a run or an array) another.
// Rows of the data area are wide and a pass reads one value from each, so
// every value is a cache line of its own: the row a few positions ahead is
// asked for early.
inline constexpr std::int64_t kPrefetchAhead = 24;

template <int Type, bool Contiguous>
struct Reader {
  data::Column col;
  const Sample* s;
  std::int64_t size;
  std::int64_t row(std::int64_t pos) const { return Contiguous ? s->first - 1 + pos : s->obs[pos] - 1; }
  double operator()(std::int64_t pos) const {
    if (pos + kPrefetchAhead < size) __builtin_prefetch(col.at(row(pos + kPrefetchAhead)));
    return data::fetch_value(Type, col.at(row(pos)));
  }
};

// The values the first pass copied out, for the second.
struct GatherReader {
  const double* values;
  double operator()(std::int64_t pos) const { return values[pos]; }
};

// Calls f with the reader that fits the column's type and the sample.
template <class F>
void with_reader(const ColumnInput& in, F&& f) {
  const Sample* s = in.sample;
  auto pick = [&]<int Type>() {
    if (s->contiguous)
      f(Reader<Type, true>{in.col, s, s->size()});
    else
      f(Reader<Type, false>{in.col, s, s->size()});
  };
  switch (in.col.type) {
    case data::kByte: pick.template operator()<data::kByte>(); break;
    case data::kInt: pick.template operator()<data::kInt>(); break;
    case data::kLong: pick.template operator()<data::kLong>(); break;
    case data::kFloat: pick.template operator()<data::kFloat>(); break;
    default: pick.template operator()<data::kDouble>(); break;
  }
}

// One chunk's share of the first pass. Padded so that two threads never
// write the same cache line.
struct alignas(64) FirstSlot {
  std::int64_t n = 0;
  CompensatedSum w, wx;
  double min = DBL_MAX;
  double max = -DBL_MAX;
};

struct alignas(64) SecondSlot {
  CompensatedSum ss;
  CompensatedSum dev;  // sum of w (x - mean): what the rounding of the mean left
};

// The sum of squared deviations about the exact mean: the mean the second
// pass used is rounded, which adds W d^2 for its error d; the deviations
// themselves sum to -W d, so subtracting their square over W takes it out.
// A sum that overflowed stays infinite or NaN here, so that the variance
// built on it comes out missing rather than as a spurious 0; only a small
// negative left by rounding is clipped.
double corrected_ss(double ss, double dev, double sum_w) {
  double v = ss - dev * dev / sum_w;
  if (!std::isfinite(v)) return std::numeric_limits<double>::infinity();
  return v > 0 ? v : 0;
}

template <bool Weighted, class Read>
void first_pass_piece(const Read& read, const double* wts, double* gather, std::int64_t b, std::int64_t e,
                      FirstSlot& slot) {
  FirstSlot a = slot;
  for (std::int64_t pos = b; pos < e; ++pos) {
    double x = read(pos);
    if (gather) gather[pos] = x;
    if (!(x < kMissing)) continue;
    if constexpr (Weighted) {
      double w = wts[pos];
      if (w == 0 || !(w < kMissing)) continue;
      a.w.add(w);
      a.wx.add(w * x);
    } else {
      a.wx.add(x);
    }
    if (x < a.min) a.min = x;
    if (x > a.max) a.max = x;
    ++a.n;
  }
  slot = a;
}

template <bool Weighted, class Read>
void second_pass_piece(const Read& read, const double* wts, double mean, std::int64_t b, std::int64_t e,
                       SecondSlot& slot) {
  CompensatedSum ss = slot.ss, dev = slot.dev;
  for (std::int64_t pos = b; pos < e; ++pos) {
    double x = read(pos);
    if (!(x < kMissing)) continue;
    double d = x - mean;
    if constexpr (Weighted) {
      double w = wts[pos];
      if (w == 0 || !(w < kMissing)) continue;
      ss.add(w * d * d);
      dev.add(w * d);
    } else {
      ss.add(d * d);
      dev.add(d);
    }
  }
  slot.ss = ss;
  slot.dev = dev;
}

// The finishing steps shared by both entry points: from the combined
// first-pass slots to the mean, and from the second pass to the variance.
Summary first_results(const FirstSlot* slots, int nslots, std::size_t step, std::int64_t n, bool weighted,
                      double* mean_out) {
  CompensatedSum sum_w, sum_wx;
  double min = DBL_MAX, max = -DBL_MAX;
  for (int k = 0; k < nslots; ++k) {
    const FirstSlot& s = slots[static_cast<std::size_t>(k) * step];
    sum_w.merge(s.w);
    sum_wx.merge(s.wx);
    min = std::min(min, s.min);
    max = std::max(max, s.max);
  }
  double total_w = weighted ? sum_w.value() : static_cast<double>(n);
  *mean_out = sum_wx.value() / total_w;
  Summary r;
  r.n = n;
  r.sum_w = total_w;
  r.sum = finite_or_missing(sum_wx.value());
  r.var = r.sd = kMissing;
  if (n == 0) {
    r.mean = r.min = r.max = kMissing;
    return r;
  }
  r.mean = finite_or_missing(*mean_out);
  r.min = min;
  r.max = max;
  return r;
}

void second_results(const SecondSlot* slots, int nslots, std::size_t step, int weight_type, Summary* r) {
  CompensatedSum ss, dev;
  for (int k = 0; k < nslots; ++k) {
    const SecondSlot& s = slots[static_cast<std::size_t>(k) * step];
    ss.merge(s.ss);
    dev.merge(s.dev);
  }
  r->var = variance_from(corrected_ss(ss.value(), dev.value(), r->sum_w), r->sum_w, r->n, weight_type);
  r->sd = r->var < kMissing ? std::sqrt(r->var) : kMissing;
}

// ---- several columns in one walk -------------------------------------------

// Columns of one storage type read together: they share the rows (slot
// table and record width), so the record of a position is found once and
// each column is an offset into it.
inline constexpr int kMaxWalkColumns = 8;
inline constexpr std::int64_t kWalkAhead = 48;

template <int Type, bool Contiguous>
struct RowsReader {
  const char* base[kMaxWalkColumns];
  const char* lo;  // the lowest and highest byte any column reads
  const char* hi;
  int ncols;
  const std::uint32_t* slot;
  std::size_t stride;
  const Sample* s;
  std::int64_t size;
  std::int64_t row(std::int64_t pos) const { return Contiguous ? s->first - 1 + pos : s->obs[pos] - 1; }
  // The offset of position pos's record; the one a few positions ahead is
  // asked for early.
  // The columns of a record may straddle two cache lines: both ends are
  // asked for.
  std::size_t record(std::int64_t pos) const {
    if (pos + kWalkAhead < size) {
      const std::size_t ahead = stride * slot[row(pos + kWalkAhead)];
      __builtin_prefetch(lo + ahead);
      __builtin_prefetch(hi + ahead);
    }
    return stride * slot[row(pos)];
  }
  double value(int c, std::size_t rec) const { return data::fetch_value(Type, base[c] + rec); }
};

// What the first walk does with each record beside the columns: nothing,
// or (KeyBytes) gather how the bytes of a key column differ from a group's.
struct NoKey {
  void operator()(std::size_t) {}
};

// The walks over K columns (K = 0: rows.ncols of them). One column, the
// usual case, is its own instance so that its sums stay in registers.
template <bool Weighted, int K, class Rows, class Key>
void first_walk_cols(const Rows& rows, const double* wts, std::int64_t b, std::int64_t e, FirstSlot* slots,
                     Key& key) {
  FirstSlot a[K ? K : kMaxWalkColumns];
  const int k = K ? K : rows.ncols;
  for (int c = 0; c < k; ++c) a[c] = slots[c];
  for (std::int64_t pos = b; pos < e; ++pos) {
    const std::size_t rec = rows.record(pos);
    key(rec);
    double w = 1;
    if constexpr (Weighted) {
      w = wts[pos];
      if (w == 0 || !(w < kMissing)) continue;
    }
    for (int c = 0; c < k; ++c) {
      double x = rows.value(c, rec);
      if (!(x < kMissing)) continue;
      if constexpr (Weighted) {
        a[c].w.add(w);
        a[c].wx.add(w * x);
      } else {
        a[c].wx.add(x);
      }
      if (x < a[c].min) a[c].min = x;
      if (x > a[c].max) a[c].max = x;
      ++a[c].n;
    }
  }
  for (int c = 0; c < k; ++c) slots[c] = a[c];
}

template <bool Weighted, class Rows, class Key = NoKey>
void first_walk_piece(const Rows& rows, const double* wts, std::int64_t b, std::int64_t e, FirstSlot* slots,
                      Key&& key = {}) {
  if (rows.ncols == 1)
    first_walk_cols<Weighted, 1>(rows, wts, b, e, slots, key);
  else
    first_walk_cols<Weighted, 0>(rows, wts, b, e, slots, key);
}

template <bool Weighted, int K, class Rows>
void second_walk_cols(const Rows& rows, const double* wts, const double* means, std::int64_t b, std::int64_t e,
                      SecondSlot* slots) {
  SecondSlot a[K ? K : kMaxWalkColumns];
  const int k = K ? K : rows.ncols;
  for (int c = 0; c < k; ++c) a[c] = slots[c];
  for (std::int64_t pos = b; pos < e; ++pos) {
    const std::size_t rec = rows.record(pos);
    double w = 1;
    if constexpr (Weighted) {
      w = wts[pos];
      if (w == 0 || !(w < kMissing)) continue;
    }
    for (int c = 0; c < k; ++c) {
      double x = rows.value(c, rec);
      if (!(x < kMissing)) continue;
      double d = x - means[c];
      if constexpr (Weighted) {
        a[c].ss.add(w * d * d);
        a[c].dev.add(w * d);
      } else {
        a[c].ss.add(d * d);
        a[c].dev.add(d);
      }
    }
  }
  for (int c = 0; c < k; ++c) slots[c] = a[c];
}

template <bool Weighted, class Rows>
void second_walk_piece(const Rows& rows, const double* wts, const double* means, std::int64_t b, std::int64_t e,
                       SecondSlot* slots) {
  if (rows.ncols == 1)
    second_walk_cols<Weighted, 1>(rows, wts, means, b, e, slots);
  else
    second_walk_cols<Weighted, 0>(rows, wts, means, b, e, slots);
}

// Both passes over up to kMaxWalkColumns columns of storage type Type.
template <int Type>
rc_t walk_group(const std::vector<const ColumnInput*>& group, bool mean_only, int processors,
                const std::function<bool()>& poll, Summary* out) {
  const ColumnInput& in0 = *group[0];
  const Sample* s = in0.sample;
  const std::int64_t n = s->size();
  const int k = static_cast<int>(group.size());
  const PassPlan plan = plan_pass(processors, n);
  const bool weighted = in0.weights != nullptr;
  const std::size_t nslots = static_cast<std::size_t>(plan.threads) * static_cast<std::size_t>(k);
  std::vector<FirstSlot> first(nslots);
  std::vector<SecondSlot> second(nslots);
  std::vector<std::int64_t> counts(static_cast<std::size_t>(k), 0);
  double means[kMaxWalkColumns];
  bool done = true;

  auto walk = [&](const auto& rows) {
    auto finish = [&](int t) {
#pragma omp critical(nuvra_pass_count)
      for (int c = 0; c < k; ++c) counts[c] += first[static_cast<std::size_t>(t) * k + c].n;
    };
    auto at = [&](auto& v, int t) { return v.data() + static_cast<std::size_t>(t) * k; };
    if (weighted)
      done = run_pass(plan, processors, n, poll,
                      [&](int t, std::int64_t b, std::int64_t e) { first_walk_piece<true>(rows, in0.weights, b, e, at(first, t)); },
                      finish);
    else
      done = run_pass(plan, processors, n, poll,
                      [&](int t, std::int64_t b, std::int64_t e) { first_walk_piece<false>(rows, nullptr, b, e, at(first, t)); },
                      finish);
    if (!done) return;
    bool any = false;
    for (int c = 0; c < k; ++c) {
      out[c] = first_results(first.data() + c, plan.threads, static_cast<std::size_t>(k), counts[c], weighted, &means[c]);
      any = any || counts[c] > 0;
    }
    if (mean_only || !any) return;
    auto nothing = [](int) {};
    if (weighted)
      done = run_pass(plan, processors, n, poll,
                      [&](int t, std::int64_t b, std::int64_t e) {
                        second_walk_piece<true>(rows, in0.weights, means, b, e, at(second, t));
                      },
                      nothing);
    else
      done = run_pass(plan, processors, n, poll,
                      [&](int t, std::int64_t b, std::int64_t e) {
                        second_walk_piece<false>(rows, nullptr, means, b, e, at(second, t));
                      },
                      nothing);
    if (!done) return;
    for (int c = 0; c < k; ++c)
      if (counts[c] > 0)
        second_results(second.data() + c, plan.threads, static_cast<std::size_t>(k),
                       weighted ? in0.weight_type : kWeightNone, &out[c]);
  };
  auto fill = [&](auto rows) {
    rows.ncols = k;
    rows.lo = rows.hi = group[0]->col.base;
    for (int c = 0; c < k; ++c) {
      rows.base[c] = group[c]->col.base;
      rows.lo = std::min(rows.lo, rows.base[c]);
      rows.hi = std::max(rows.hi, rows.base[c] + data::type_width(Type) - 1);
    }
    rows.slot = in0.col.slot;
    rows.stride = in0.col.stride;
    rows.s = s;
    rows.size = n;
    walk(rows);
  };
  if (s->contiguous)
    fill(RowsReader<Type, true>{});
  else
    fill(RowsReader<Type, false>{});
  return done ? 0 : 1;
}

}  // namespace

rc_t summarize_columns(const std::vector<ColumnInput>& ins, bool mean_only, int processors,
                       const std::function<bool()>& poll, std::vector<Summary>* out) {
  std::vector<Summary> res(ins.size());
  // Columns of one storage type go together, at most kMaxWalkColumns at a time.
  static constexpr int kTypes[] = {data::kByte, data::kInt, data::kLong, data::kFloat, data::kDouble};
  for (int type : kTypes) {
    std::vector<std::size_t> idx;
    for (std::size_t i = 0; i < ins.size(); ++i) {
      int t = ins[i].col.type;
      bool known = t == data::kByte || t == data::kInt || t == data::kLong || t == data::kFloat;
      if (known ? t == type : type == data::kDouble) idx.push_back(i);
    }
    for (std::size_t g0 = 0; g0 < idx.size(); g0 += kMaxWalkColumns) {
      std::size_t g1 = std::min(idx.size(), g0 + kMaxWalkColumns);
      std::vector<const ColumnInput*> group;
      for (std::size_t g = g0; g < g1; ++g) group.push_back(&ins[idx[g]]);
      Summary part[kMaxWalkColumns];
      rc_t rc;
      switch (type) {
        case data::kByte: rc = walk_group<data::kByte>(group, mean_only, processors, poll, part); break;
        case data::kInt: rc = walk_group<data::kInt>(group, mean_only, processors, poll, part); break;
        case data::kLong: rc = walk_group<data::kLong>(group, mean_only, processors, poll, part); break;
        case data::kFloat: rc = walk_group<data::kFloat>(group, mean_only, processors, poll, part); break;
        default: rc = walk_group<data::kDouble>(group, mean_only, processors, poll, part); break;
      }
      if (rc) return rc;
      for (std::size_t g = g0; g < g1; ++g) res[idx[g]] = part[g - g0];
    }
  }
  *out = std::move(res);
  return 0;
}

rc_t summarize_column(const ColumnInput& in, bool mean_only, int processors, const std::function<bool()>& poll,
                      Summary* out) {
  const std::int64_t n = in.sample->size();
  const PassPlan plan = plan_pass(processors, n);
  const bool weighted = in.weights != nullptr;
  std::vector<FirstSlot> first(static_cast<size_t>(plan.threads));
  std::vector<SecondSlot> second(static_cast<size_t>(plan.threads));
  std::int64_t shared_n = 0;
  bool done = true;

  with_reader(in, [&](const auto& read) {
    auto finish = [&](int k) {
#pragma omp critical(nuvra_pass_count)
      shared_n += first[k].n;
    };
    if (weighted)
      done = run_pass(plan, processors, n, poll,
                      [&](int k, std::int64_t b, std::int64_t e) { first_pass_piece<true>(read, in.weights, in.gather, b, e, first[k]); },
                      finish);
    else
      done = run_pass(plan, processors, n, poll,
                      [&](int k, std::int64_t b, std::int64_t e) { first_pass_piece<false>(read, nullptr, in.gather, b, e, first[k]); },
                      finish);
  });
  if (!done) return 1;

  CompensatedSum sum_w, sum_wx;
  double min = DBL_MAX, max = -DBL_MAX;
  for (const FirstSlot& s : first) {
    sum_w.merge(s.w);
    sum_wx.merge(s.wx);
    min = std::min(min, s.min);
    max = std::max(max, s.max);
  }
  double total_w = weighted ? sum_w.value() : static_cast<double>(shared_n);
  double mean = sum_wx.value() / total_w;

  Summary r;
  r.n = shared_n;
  r.sum_w = total_w;
  r.sum = finite_or_missing(sum_wx.value());
  r.var = r.sd = kMissing;
  if (shared_n == 0) {
    r.mean = r.min = r.max = kMissing;
    *out = r;
    return 0;
  }
  r.mean = finite_or_missing(mean);
  r.min = min;
  r.max = max;
  if (mean_only) {
    *out = r;
    return 0;
  }

  auto second_pass = [&](const auto& read) {
    auto nothing = [](int) {};
    if (weighted)
      done = run_pass(plan, processors, n, poll,
                      [&](int k, std::int64_t b, std::int64_t e) {
                        second_pass_piece<true>(read, in.weights, mean, b, e, second[k]);
                      },
                      nothing);
    else
      done = run_pass(plan, processors, n, poll,
                      [&](int k, std::int64_t b, std::int64_t e) {
                        second_pass_piece<false>(read, nullptr, mean, b, e, second[k]);
                      },
                      nothing);
  };
  if (in.gather)
    second_pass(GatherReader{in.gather});
  else
    with_reader(in, second_pass);
  if (!done) return 1;
  CompensatedSum ss, dev;
  for (const SecondSlot& s : second) {
    ss.merge(s.ss);
    dev.merge(s.dev);
  }
  r.var = variance_from(corrected_ss(ss.value(), dev.value(), total_w), total_w, shared_n,
                        weighted ? in.weight_type : kWeightNone);
  r.sd = r.var < kMissing ? std::sqrt(r.var) : kMissing;
  *out = r;
  return 0;
}

// ---- consecutive groups ----------------------------------------------------

namespace {

// Observations a group walk reads between two checks of group membership
// (and, on thread 0, two polls): few enough that the records checked are
// still in cache when the passes read them.
inline constexpr std::int64_t kGroupPiece = 4096;

// Columns of one storage type walked together, as summarize_columns walks
// them; their slots are neighbours, from `slot` on.
struct TypeBatch {
  int type = data::kDouble;
  int slot = 0;
  std::vector<int> cols;  // indexes into the column list
};

template <int Type>
RowsReader<Type, true> batch_rows(const std::vector<data::Column>& cols, const TypeBatch& b, const Sample* s) {
  RowsReader<Type, true> rows{};
  rows.ncols = static_cast<int>(b.cols.size());
  rows.lo = rows.hi = cols[static_cast<std::size_t>(b.cols[0])].base;
  for (int c = 0; c < rows.ncols; ++c) {
    const char* base = cols[static_cast<std::size_t>(b.cols[static_cast<std::size_t>(c)])].base;
    rows.base[c] = base;
    rows.lo = std::min(rows.lo, base);
    rows.hi = std::max(rows.hi, base + data::type_width(Type) - 1);
  }
  rows.slot = cols[0].slot;
  rows.stride = cols[0].stride;
  rows.s = s;
  rows.size = s->size();
  return rows;
}

// The bytes of a key column (of Raw's width) at each record, against the
// group's: the differences are or-ed together.
template <class Raw>
struct KeyBytes {
  const char* base;
  Raw want;
  Raw diff = 0;
  void operator()(std::size_t rec) {
    Raw v;
    std::memcpy(&v, base + rec, sizeof v);
    diff |= static_cast<Raw>(v ^ want);
  }
};

template <int Type, class Key = NoKey>
void batch_first(const std::vector<data::Column>& cols, const TypeBatch& b, const Sample* s, std::int64_t pb,
                 std::int64_t pe, FirstSlot* slots, Key&& key = {}) {
  first_walk_piece<false>(batch_rows<Type>(cols, b, s), nullptr, pb, pe, slots + b.slot, key);
}

template <int Type>
void batch_second(const std::vector<data::Column>& cols, const TypeBatch& b, const Sample* s, const double* means,
                  std::int64_t pb, std::int64_t pe, SecondSlot* slots) {
  second_walk_piece<false>(batch_rows<Type>(cols, b, s), nullptr, means + b.slot, pb, pe, slots + b.slot);
}

template <class F>
void with_type(int type, F&& f) {
  switch (type) {
    case data::kByte: f.template operator()<data::kByte>(); break;
    case data::kInt: f.template operator()<data::kInt>(); break;
    case data::kLong: f.template operator()<data::kLong>(); break;
    case data::kFloat: f.template operator()<data::kFloat>(); break;
    default: f.template operator()<data::kDouble>(); break;
  }
}

// One thread's working storage for walking groups one at a time.
class GroupWalker {
 public:
  // key: the one key column whose bytes the first walk compares, or null.
  GroupWalker(const std::vector<data::Column>& cols, const std::vector<TypeBatch>& batches, bool mean_only,
              int processors, const data::Column* key)
      : cols_(cols), batches_(batches), mean_only_(mean_only), processors_(processors), key_(key) {}

  // Both passes over the group first..first + n - 1, its chunks one after
  // another, into out[c] (in column order). `between` is called before each
  // piece of rows with its bounds; false stops the walk (and returns false).
  // `differ` is called after the first walk of a piece whose key bytes were
  // not all the first observation's (when there is a key column; without
  // one, for every piece), and decides as `between` does.
  template <class Between, class Differ>
  bool walk(std::int64_t first, std::int64_t n, Summary* out, Between&& between, Differ&& differ) {
    const PassPlan plan = plan_pass(processors_, n);
    const std::size_t k = cols_.size();
    const std::size_t nslots = static_cast<std::size_t>(plan.threads) * k;
    first_.assign(nslots, FirstSlot{});
    Sample s;
    s.first = first;
    s.count = n;
    for (int t = 0; t < plan.threads; ++t) {
      const std::int64_t b = static_cast<std::int64_t>(t) * plan.chunk, e = std::min(n, b + plan.chunk);
      FirstSlot* slots = first_.data() + static_cast<std::size_t>(t) * k;
      for (std::int64_t pb = b; pb < e; pb += kGroupPiece) {
        const std::int64_t pe = std::min(e, pb + kGroupPiece);
        if (!between(first + pb, first + pe - 1)) return false;
        bool differs = !key_;
        for (std::size_t i = 0; i < batches_.size(); ++i) {
          const TypeBatch& tb = batches_[i];
          with_type(tb.type, [&]<int Type>() {
            if (i > 0 || !key_) return batch_first<Type>(cols_, tb, &s, pb, pe, slots);
            auto keyed = [&](auto raw) {
              using Raw = decltype(raw);
              KeyBytes<Raw> kb{key_->base, 0};
              std::memcpy(&kb.want, key_->at(first - 1), sizeof(Raw));
              batch_first<Type>(cols_, tb, &s, pb, pe, slots, kb);
              differs = kb.diff != 0;
            };
            switch (data::type_width(key_->type)) {
              case 1: return keyed(std::uint8_t{});
              case 2: return keyed(std::uint16_t{});
              case 4: return keyed(std::uint32_t{});
              default: return keyed(std::uint64_t{});
            }
          });
        }
        if (differs && !differ(first + pb, first + pe - 1)) return false;
      }
    }
    bool any = false;
    for (const TypeBatch& tb : batches_)
      for (std::size_t c = 0; c < tb.cols.size(); ++c) {
        const std::size_t at = static_cast<std::size_t>(tb.slot) + c;
        std::int64_t count = 0;
        for (int t = 0; t < plan.threads; ++t) count += first_[static_cast<std::size_t>(t) * k + at].n;
        Summary& r = out[static_cast<std::size_t>(tb.cols[c])];
        r = first_results(first_.data() + at, plan.threads, k, count, false, &means_[at]);
        any = any || count > 0;
      }
    if (mean_only_ || !any) return true;
    second_.assign(nslots, SecondSlot{});
    for (int t = 0; t < plan.threads; ++t) {
      const std::int64_t b = static_cast<std::int64_t>(t) * plan.chunk, e = std::min(n, b + plan.chunk);
      SecondSlot* slots = second_.data() + static_cast<std::size_t>(t) * k;
      for (std::int64_t pb = b; pb < e; pb += kGroupPiece) {
        const std::int64_t pe = std::min(e, pb + kGroupPiece);
        for (const TypeBatch& tb : batches_)
          with_type(tb.type, [&]<int Type>() { batch_second<Type>(cols_, tb, &s, means_.data(), pb, pe, slots); });
      }
    }
    for (const TypeBatch& tb : batches_)
      for (std::size_t c = 0; c < tb.cols.size(); ++c) {
        const std::size_t at = static_cast<std::size_t>(tb.slot) + c;
        Summary& r = out[static_cast<std::size_t>(tb.cols[c])];
        if (r.n > 0) second_results(second_.data() + at, plan.threads, k, kWeightNone, &r);
      }
    return true;
  }

  void reserve() { means_.assign(cols_.size(), 0.0); }

 private:
  const std::vector<data::Column>& cols_;
  const std::vector<TypeBatch>& batches_;
  bool mean_only_;
  int processors_;
  const data::Column* key_;
  std::vector<FirstSlot> first_;
  std::vector<SecondSlot> second_;
  std::vector<double> means_;
};

}  // namespace

rc_t summarize_groups(const std::vector<data::Column>& cols, const std::int64_t* starts, std::size_t ngroups,
                      bool mean_only, int processors, const std::function<bool()>& poll,
                      const std::vector<data::Column>& keys, const GroupCheck& check, Summary* out) {
  const std::size_t k = cols.size();
  if (ngroups == 0) return 0;
  if (k == 0) {
    // Nothing to walk but the groups themselves.
    for (std::size_t g = 0; check && g < ngroups; ++g) {
      if (poll && poll()) return 1;
      if (!check(starts[g], starts[g], starts[g + 1] - 1)) return 2;
    }
    return 0;
  }
  // One numeric key column is compared by its bytes in the walk itself;
  // other keys are checked piece by piece before the walk.
  const data::Column* key =
      check && keys.size() == 1 && !data::is_string_type(keys[0].type) ? &keys[0] : nullptr;
  // Columns of one storage type go together, at most kMaxWalkColumns at a
  // time, in the order summarize_columns takes them.
  std::vector<TypeBatch> batches;
  static constexpr int kTypes[] = {data::kByte, data::kInt, data::kLong, data::kFloat, data::kDouble};
  int slot = 0;
  for (int type : kTypes) {
    std::vector<int> idx;
    for (std::size_t i = 0; i < k; ++i) {
      const int t = cols[i].type;
      const bool known = t == data::kByte || t == data::kInt || t == data::kLong || t == data::kFloat;
      if (known ? t == type : type == data::kDouble) idx.push_back(static_cast<int>(i));
    }
    for (std::size_t g0 = 0; g0 < idx.size(); g0 += kMaxWalkColumns) {
      TypeBatch b;
      b.type = type;
      b.slot = slot;
      b.cols.assign(idx.begin() + static_cast<std::ptrdiff_t>(g0),
                    idx.begin() + static_cast<std::ptrdiff_t>(std::min(idx.size(), g0 + kMaxWalkColumns)));
      slot += static_cast<int>(b.cols.size());
      batches.push_back(std::move(b));
    }
  }

  std::atomic<int> stop{0};  // 1 Break, 2 check refused
  auto size_of = [starts](std::size_t g) { return starts[g + 1] - starts[g]; };
  // A group its own pass would split across threads: its membership is
  // checked across them, then summarize_columns runs it as it would.
  auto run_long = [&](std::size_t g) -> rc_t {
    const std::int64_t first = starts[g], n = size_of(g);
    const std::int64_t pieces = (n + kGroupPiece - 1) / kGroupPiece;
    if (check) {
      std::atomic<bool> refused{false};
      const int threads = plan_pass(processors, n).threads;
      ThreadCountScope scope(threads, processors);
#pragma omp parallel
      {
        const int tid = omp_get_thread_num(), granted = omp_get_num_threads();
        for (std::int64_t p = tid; p < pieces && !refused.load(std::memory_order_relaxed); p += granted) {
          const std::int64_t from = first + p * kGroupPiece, to = std::min(first + n - 1, from + kGroupPiece - 1);
          if (!check(first, from, to)) refused.store(true, std::memory_order_relaxed);
        }
      }
      if (refused.load()) return 2;
    }
    Sample s;
    s.first = first;
    s.count = n;
    std::vector<ColumnInput> ins(k);
    for (std::size_t c = 0; c < k; ++c) {
      ins[c].col = cols[c];
      ins[c].sample = &s;
    }
    std::vector<Summary> res;
    if (rc_t rc = summarize_columns(ins, mean_only, processors, poll, &res)) return rc;
    std::copy(res.begin(), res.end(), out + g * k);
    return 0;
  };
  // Groups [g0, g1), none of them long: thread t takes the groups that
  // start in the t-th share of their observations.
  auto run_short = [&](std::size_t g0, std::size_t g1) -> rc_t {
    const std::int64_t base = starts[g0], total = starts[g1] - base;
    const int threads = total >= kSerialPassBelow ? std::max(1, processors) : 1;
    std::atomic<bool> failed{false};
    auto share = [&](int t, int parts) {
      auto bound = [&](int u) {
        const std::int64_t at = base + total * u / parts;
        return static_cast<std::size_t>(std::lower_bound(starts + g0, starts + g1, at) - starts);
      };
      const std::size_t a = bound(t), b = t + 1 == parts ? g1 : bound(t + 1);
      try {
        GroupWalker w(cols, batches, mean_only, processors, key);
        w.reserve();
        std::int64_t since_poll = 0;
        auto between = [&](std::int64_t from, std::int64_t to) {
          if (stop.load(std::memory_order_relaxed)) return false;
          if (t == 0 && (since_poll += to - from + 1) >= kPollInterval) {
            since_poll = 0;
            if (poll && poll()) {
              stop.store(1);
              return false;
            }
          }
          return true;
        };
        for (std::size_t g = a; g < b; ++g) {
          const std::int64_t first = starts[g];
          auto differ = [&](std::int64_t from, std::int64_t to) {
            if (!check || check(first, from, to)) return true;
            int none = 0;
            stop.compare_exchange_strong(none, 2);
            return false;
          };
          if (!w.walk(first, size_of(g), out + g * k, between, differ)) return;
        }
      } catch (const std::bad_alloc&) {
        failed.store(true);
        stop.store(3);
      }
    };
    if (threads <= 1) {
      share(0, 1);
    } else {
      ThreadCountScope scope(threads, processors);
#pragma omp parallel
      {
        const int tid = omp_get_thread_num(), granted = omp_get_num_threads();
        for (int t = tid; t < threads; t += granted) share(t, threads);
      }
    }
    if (failed.load()) return 909;
    const int why = stop.load();
    return why == 3 ? 909 : why;
  };

  for (std::size_t g = 0; g < ngroups;) {
    if (plan_pass(processors, size_of(g)).threads > 1 && size_of(g) >= kSerialPassBelow) {
      if (rc_t rc = run_long(g)) return rc;
      ++g;
      continue;
    }
    std::size_t h = g + 1;
    while (h < ngroups && !(plan_pass(processors, size_of(h)).threads > 1 && size_of(h) >= kSerialPassBelow)) ++h;
    if (rc_t rc = run_short(g, h)) return rc;
    g = h;
  }
  return 0;
}

// ---- percentiles ---------------------------------------------------------

double percentile_unweighted(const double* sorted, std::int64_t n, double p) {
  if (n <= 0) return kMissing;
  double np = static_cast<double>(n) * p;
  double P = np / 100.0;
  double R = std::floor(P + 0.5);
  if (std::fabs(100.0 * R - np) / (std::fabs(np) + 1) < 1e-15) {
    std::int64_t r = static_cast<std::int64_t>(R);
    // R = 0 (p near 0) and R = n (p = 100) have no neighbour beyond the end.
    if (r < 1) return sorted[0];
    if (r >= n) return sorted[n - 1];
    return (sorted[r - 1] + sorted[r]) / 2;
  }
  std::int64_t k = static_cast<std::int64_t>(std::floor(P)) + 1;
  k = std::clamp<std::int64_t>(k, 1, n);
  return sorted[k - 1];
}

double percentile_weighted(const double* sorted, const double* w, std::int64_t n, double total_w, double p) {
  if (n <= 0) return kMissing;
  const double target = p * total_w;
  const double tol = 1e-7 * 100.0 * total_w;
  CompensatedSum run;
  for (std::int64_t i = 0; i < n; ++i) {
    run.add(w[i]);
    double reached = 100.0 * run.value();
    if (std::fabs(reached - target) <= tol) return i + 1 < n ? (sorted[i] + sorted[i + 1]) / 2 : sorted[i];
    if (reached > target) return sorted[i];
  }
  return sorted[n - 1];
}

// ---- the detailed form ----------------------------------------------------

namespace {

// Puts the values at the given positions where a full sort would put them
// (and everything before each below it, everything after above it), by
// selecting the middle position and recursing on both sides: a few passes
// over the data instead of a sort. Positions outside 0..n-1 are ignored.
void select_range(double* v, std::int64_t lo, std::int64_t hi, const std::int64_t* first, const std::int64_t* last) {
  if (first == last || lo >= hi) return;
  const std::int64_t* mid = first + (last - first) / 2;
  std::nth_element(v + lo, v + *mid, v + hi);
  select_range(v, lo, *mid, first, mid);
  select_range(v, *mid + 1, hi, mid + 1, last);
}

}  // namespace

void select_positions(double* v, std::int64_t n, std::vector<std::int64_t>* positions) {
  std::vector<std::int64_t>& p = *positions;
  p.erase(std::remove_if(p.begin(), p.end(), [n](std::int64_t k) { return k < 0 || k >= n; }), p.end());
  std::sort(p.begin(), p.end());
  p.erase(std::unique(p.begin(), p.end()), p.end());
  select_range(v, 0, n, p.data(), p.data() + p.size());
}

rc_t summarize_detail(const ColumnInput& in, const std::function<bool()>& poll, DetailSummary* out) {
  const std::int64_t size = in.sample->size();
  const bool weighted = in.weights != nullptr;
  // The used observations as (value, weight), ordered by value below.
  // Unweighted values go straight into the caller's lasting room when it
  // gives some, else into a vector sized once.
  std::vector<double> xs;
  std::vector<std::pair<double, double>> xw;
  double* vals = in.gather;
  CompensatedSum sum_w, sum_wx;
  std::int64_t n = 0;
  bool broke = false;
  try {
    if (weighted)
      xw.reserve(static_cast<size_t>(size));
    else if (!vals) {
      xs.resize(static_cast<size_t>(size));
      vals = xs.data();
    }
    with_reader(in, [&](const auto& read) {
      for (std::int64_t pos = 0; pos < size; ++pos) {
        if ((pos % kPollInterval) == kPollInterval - 1 && poll && poll()) {
          broke = true;
          return;
        }
        double x = read(pos);
        if (!(x < kMissing)) continue;
        if (weighted) {
          double w = in.weights[pos];
          if (w == 0 || !(w < kMissing)) continue;
          sum_w.add(w);
          sum_wx.add(w * x);
          xw.emplace_back(x, w);
        } else {
          sum_wx.add(x);
          vals[n] = x;
        }
        ++n;
      }
    });
  } catch (const std::bad_alloc&) {
    return 909;
  }
  if (broke) return 1;

  DetailSummary r;
  r.n = n;
  r.sum_w = weighted ? sum_w.value() : static_cast<double>(n);
  r.sum = finite_or_missing(sum_wx.value());
  if (n == 0) {
    r.mean = r.var = r.sd = r.min = r.max = r.skewness = r.kurtosis = kMissing;
    std::fill(std::begin(r.pct), std::end(r.pct), kMissing);
    std::fill(std::begin(r.smallest), std::end(r.smallest), kMissing);
    std::fill(std::begin(r.largest), std::end(r.largest), kMissing);
    *out = r;
    return 0;
  }
  const double mean = sum_wx.value() / r.sum_w;
  r.mean = finite_or_missing(mean);

  std::vector<double> ws;
  if (weighted) {
    std::sort(xw.begin(), xw.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    try {
      xs.resize(static_cast<size_t>(n));
      ws.resize(static_cast<size_t>(n));
    } catch (const std::bad_alloc&) {
      return 909;
    }
    for (std::int64_t i = 0; i < n; ++i) {
      xs[i] = xw[i].first;
      ws[i] = xw[i].second;
    }
    std::vector<std::pair<double, double>>().swap(xw);
    vals = xs.data();
  } else {
    // Only a few ordered positions are read: put just those in place.
    std::vector<std::int64_t> wanted = {0, 1, 2, 3, n - 4, n - 3, n - 2, n - 1};
    for (double p : kPercentiles) {
      double np = static_cast<double>(n) * p;
      std::int64_t at = static_cast<std::int64_t>(std::floor(np / 100.0));
      wanted.push_back(at - 1);
      wanted.push_back(at);
      wanted.push_back(at + 1);
    }
    select_positions(vals, n, &wanted);
  }
  r.min = vals[0];
  r.max = vals[n - 1];
  for (int k = 0; k < 4; ++k) {
    r.smallest[k] = k < n ? vals[k] : kMissing;
    r.largest[k] = k < n ? vals[n - 1 - k] : kMissing;
  }
  for (int k = 0; k < kPercentileCount; ++k)
    r.pct[k] = weighted ? percentile_weighted(vals, ws.data(), n, r.sum_w, kPercentiles[k])
                        : percentile_unweighted(vals, n, kPercentiles[k]);

  CompensatedSum m1, m2, m3, m4;
  for (std::int64_t i = 0; i < n; ++i) {
    double d = vals[i] - mean;
    double w = weighted ? ws[i] : 1.0;
    double d2 = d * d;
    m1.add(w * d);
    m2.add(w * d2);
    m3.add(w * d2 * d);
    m4.add(w * d2 * d2);
  }
  const double ss = corrected_ss(m2.value(), m1.value(), r.sum_w);
  r.var = variance_from(ss, r.sum_w, n, weighted ? in.weight_type : kWeightNone);
  r.sd = r.var < kMissing ? std::sqrt(r.var) : kMissing;
  // The moment ratios use the moments about the mean divided by the total
  // weight: skewness m3 / m2^1.5, kurtosis m4 / m2^2.
  double mm2 = ss / r.sum_w, mm3 = m3.value() / r.sum_w, mm4 = m4.value() / r.sum_w;
  r.skewness = finite_or_missing(mm3 / std::pow(mm2, 1.5));
  r.kurtosis = finite_or_missing(mm4 / (mm2 * mm2));
  *out = r;
  return 0;
}

}  // namespace nuvra::stats
