// Matrix built-ins.  Missing values follow one rule throughout: sums and
// cross products leave them out, minima and maxima ignore them, and a
// function of a matrix holding them that has no sensible partial answer
// returns missing values.
#include "lumo/builtins_matrix.h"

#include <algorithm>
#include <cblas.h>
#include <cmath>
#include <complex>
#include <cstring>
#include <numeric>
#include <vector>

#include "data/missing.h"
#include "lumo/builtin_args.h"
#include "lumo/missing_scan.h"
#include "lumo/view.h"
#include "stats/ddouble.h"
#include "stats/sweep.h"

namespace nuvra::lumo {

namespace {

using data::is_missing;
using data::kMissing;
using stats::DD;

// Parts of one element: 1 for real, 2 for complex (real then imaginary).
int Parts(const ValueRecord* v) { return v->eltype == kComplex ? 2 : 1; }

bool ElementMissing(const ValueRecord* v, int64_t k) {
  if (v->eltype == kString) return string_of(slots(v)[k]).length == 0;
  if (v->eltype == kComplex) return is_missing(reals(v)[2 * k]) || is_missing(reals(v)[2 * k + 1]);
  if (v->eltype == kReal) return is_missing(reals(v)[k]);
  return slots(v)[k] == nullptr;
}

// Whether the optional argument k, a real scalar, says that missing values
// make a sum missing (0) rather than being left out (1, the default).
bool SkipMissing(Machine& m, int n, int k, bool* skip) {
  *skip = true;
  if (n <= k) return true;
  double d;
  if (!BiRealScalar(m, BiArg(m, n, k), &d)) return false;
  *skip = d != 0;
  return true;
}

// A new real or complex record; its elements from sums in plain or extended
// precision.
template <class Acc>
double Value(const Acc& a) {
  if constexpr (std::is_same_v<Acc, DD>) return a.value();
  else return a;
}
template <class Acc>
double Finite(const Acc& a, bool missing) {
  double d = Value(a);
  return missing || !std::isfinite(d) ? kMissing : d;
}

// Sums over rows (dir 0: one per row), columns (dir 1) or everything
// (dir 2), in the precision of Acc.
template <class Acc>
void Sums(Machine& m, int n, int dir) {
  // colsum and quadcolsum receive views as they are (any other built-in
  // gets a copy): a view's columns are summed straight from the dataset
  // where the host allows it, and copied otherwise.
  if (n > 1 && !m.RealizeTop(n - 2)) return;
  if (is_view(BiArg(m, n, 0))) {
    ValueRecord* v = BiArg(m, n, 0);
    bool skip;
    if (dir == 1 && v->eltype == kReal) {
      if (!SkipMissing(m, n, 1, &skip)) return;
      std::vector<Acc> acc(size_t(v->cols));
      std::vector<char> miss(size_t(v->cols));
      if (ViewColumnSums(m.host(), v, acc.data(), miss.data())) {
        ValueRecord* r = m.values().NewValue("", kReal, 1, v->cols);
        if (!r) return m.RaiseAllocation();
        for (int32_t j = 0; j < v->cols; ++j) reals(r)[j] = Finite(acc[size_t(j)], !skip && miss[size_t(j)]);
        return BiReturn(m, n, r);
      }
    }
    if (!m.RealizeTop(n - 1)) return;
  }
  ValueRecord* x = BiArg(m, n, 0);
  bool skip;
  if (!BiNumeric(m, x) || !SkipMissing(m, n, 1, &skip)) return;
  int parts = Parts(x);
  int32_t rows = dir == 0 ? x->rows : 1, cols = dir == 1 ? x->cols : 1;
  int64_t outs = int64_t(rows) * cols;
  std::vector<Acc> acc(size_t(outs * parts), Acc(0));
  std::vector<char> miss(size_t(outs), 0);
  for (int32_t i = 0; i < x->rows; ++i)
    for (int32_t j = 0; j < x->cols; ++j) {
      int64_t k = int64_t(i) * x->cols + j;
      int64_t o = dir == 0 ? i : dir == 1 ? j : 0;
      if (ElementMissing(x, k)) {
        if (!skip) miss[size_t(o)] = 1;
        continue;
      }
      for (int p = 0; p < parts; ++p) acc[size_t(o * parts + p)] += reals(x)[k * parts + p];
    }
  ValueRecord* r = m.values().NewValue("", x->eltype, rows, cols);
  if (!r) return m.RaiseAllocation();
  for (int64_t o = 0; o < outs; ++o)
    for (int p = 0; p < parts; ++p) reals(r)[o * parts + p] = Finite(acc[size_t(o * parts + p)], miss[size_t(o)]);
  BiReturn(m, n, r);
}

// Running sums of a vector, into a new vector or into y.
template <class Acc>
bool Running(Machine& m, ValueRecord* x, bool skip, ValueRecord* y) {
  if (!BiNumeric(m, x) || !m.CheckVector(x)) return false;
  int parts = Parts(x);
  if (m.values().Reshape(y, x->eltype, x->rows, x->cols)) {
    m.RaiseAllocation();
    return false;
  }
  std::vector<Acc> acc(size_t(parts), Acc(0));
  bool miss = false;
  for (int64_t k = 0; k < element_count(x); ++k) {
    if (ElementMissing(x, k)) miss |= !skip;
    else
      for (int p = 0; p < parts; ++p) acc[size_t(p)] += reals(x)[k * parts + p];
    for (int p = 0; p < parts; ++p) reals(y)[k * parts + p] = Finite(acc[size_t(p)], miss);
  }
  return true;
}
template <class Acc>
void RunningNew(Machine& m, int n) {
  bool skip;
  if (!SkipMissing(m, n, 1, &skip)) return;
  ValueRecord* r = m.values().NewValue("", kReal, 0, 0);
  if (!r) return m.RaiseAllocation();
  m.PushNew(r);
  if (m.status()) return;
  if (!Running<Acc>(m, BiArg(m, n + 1, 0), skip, r)) return;
  ++r->refcount;
  m.Pop();
  m.ReplaceTop(n, r);
  --r->refcount;
}
// _runningsum(x, y [, missing]): y receives the running sums.
template <class Acc>
void RunningInto(Machine& m, int n) {
  bool skip;
  ValueRecord *x = BiArg(m, n, 0), *y = BiArg(m, n, 1);
  if (!SkipMissing(m, n, 2, &skip) || !m.CheckMatrix(y)) return;
  if (x == y) return (void)BiFail(m, 3002);
  ValueRecord* tmp = m.values().NewValue("", kReal, 0, 0);
  if (!tmp) return m.RaiseAllocation();
  if (Running<Acc>(m, x, skip, tmp)) {
    Values::Swap(y, tmp);
    BiReturnVoid(m, n);
  }
  m.values().Free(tmp);
}

// Minima and maxima, missing values ignored (an all-missing set gives
// missing); dir as for Sums.
void MinMax(Machine& m, int n, int dir, bool abs_max) {
  ValueRecord* x = BiArg(m, n, 0);
  if (!m.CheckMatrix(x) || !m.CheckReal(x)) return;
  bool usemissing = false;
  if (n > 1) {
    double d;
    if (!BiRealScalar(m, BiArg(m, n, 1), &d)) return;
    usemissing = d != 0;
  }
  int32_t outs = dir == 0 ? x->rows : dir == 1 ? x->cols : 1;
  std::vector<double> lo(size_t(outs), kMissing), hi(size_t(outs), kMissing);
  std::vector<char> seen(size_t(outs), 0);
  for (int32_t i = 0; i < x->rows; ++i)
    for (int32_t j = 0; j < x->cols; ++j) {
      double d = reals(x)[int64_t(i) * x->cols + j];
      if (abs_max && !is_missing(d)) d = std::fabs(d);
      if (is_missing(d) && !usemissing) continue;
      size_t o = size_t(dir == 0 ? i : dir == 1 ? j : 0);
      if (!seen[o]) {
        lo[o] = hi[o] = d;
        seen[o] = 1;
        continue;
      }
      // Missing values order above every number, and among themselves by
      // their codes, which doubles compare correctly.
      lo[o] = std::min(lo[o], d);
      hi[o] = std::max(hi[o], d);
    }
  int32_t width = abs_max ? 1 : 2;
  ValueRecord* r = dir == 1 ? m.values().NewValue("", kReal, width, outs) : m.values().NewValue("", kReal, outs, width);
  if (!r) return m.RaiseAllocation();
  for (int32_t o = 0; o < outs; ++o) {
    if (abs_max) reals(r)[o] = hi[size_t(o)];
    else if (dir == 1) {
      reals(r)[o] = lo[size_t(o)];
      reals(r)[outs + o] = hi[size_t(o)];
    } else {
      reals(r)[2 * o] = lo[size_t(o)];
      reals(r)[2 * o + 1] = hi[size_t(o)];
    }
  }
  BiReturn(m, n, r);
}

// Counts of missing (or nonmissing) elements; "" is a missing string.
void Missings(Machine& m, int n, int dir, bool count_missing) {
  ValueRecord* x = BiArg(m, n, 0);
  if (!m.CheckMatrix(x)) return;
  int32_t rows = dir == 0 ? x->rows : 1, cols = dir == 1 ? x->cols : 1;
  ValueRecord* r = m.values().NewValue("", kReal, rows, cols);
  if (!r) return m.RaiseAllocation();
  std::fill(reals(r), reals(r) + element_count(r), 0.0);
  for (int32_t i = 0; i < x->rows; ++i)
    for (int32_t j = 0; j < x->cols; ++j)
      if (ElementMissing(x, int64_t(i) * x->cols + j) == count_missing) reals(r)[dir == 0 ? i : dir == 1 ? j : 0] += 1;
  BiReturn(m, n, r);
}

// Copies element `from` of s into element `to` of d (same eltype); false
// when a string cannot be had.
bool CopyElement(Values& values, ValueRecord* d, int64_t to, const ValueRecord* s, int64_t from) {
  switch (s->eltype) {
    case kReal: reals(d)[to] = reals(s)[from]; return true;
    case kComplex:
      reals(d)[2 * to] = reals(s)[2 * from];
      reals(d)[2 * to + 1] = reals(s)[2 * from + 1];
      return true;
    case kString: {
      StringRef str = string_of(slots(s)[from]);
      bool ok;
      slots(d)[to] = values.NewString(std::string_view(str.bytes, str.length), &ok);
      return ok;
    }
    default: values.SetPointer(d, to, static_cast<ValueRecord*>(slots(s)[from])); return true;
  }
}

// A new record of x's eltype, rows x cols, whose element k is element
// from[k] of x.  Null after raising the error.
ValueRecord* Gather(Machine& m, const ValueRecord* x, int32_t rows, int32_t cols, const std::vector<int64_t>& from) {
  int el = x->eltype == kUnknown ? int(kReal) : int(x->eltype);
  ValueRecord* r = m.values().NewValue("", el, rows, cols);
  if (!r) {
    m.RaiseAllocation();
    return nullptr;
  }
  for (size_t k = 0; k < from.size(); ++k)
    if (!CopyElement(m.values(), r, int64_t(k), x, from[k])) {
      m.values().Free(r);
      m.RaiseAllocation();
      return nullptr;
    }
  return r;
}

// A whole number in [lo, hi]; false after raising 3300.
bool Count(Machine& m, const ValueRecord* v, double lo, double hi, int64_t* out) {
  double d;
  if (!BiRealScalar(m, v, &d)) return false;
  if (is_missing(d) || d < lo || d > hi || d != std::floor(d)) return BiFail(m, 3300);
  *out = int64_t(d);
  return true;
}

void Shape(Machine& m, int n, bool by_rows) {
  ValueRecord* x = BiArg(m, n, 0);
  int64_t k;
  if (!m.CheckMatrix(x) || !Count(m, BiArg(m, n, 1), 0, INT32_MAX, &k)) return;
  int64_t count = element_count(x);
  if (k == 0 ? count != 0 : count % k != 0) return (void)BiFail(m, 3200);
  int64_t other = k == 0 ? 0 : count / k;
  if (other > INT32_MAX) return (void)BiFail(m, 3300);
  std::vector<int64_t> from(static_cast<size_t>(count));
  std::iota(from.begin(), from.end(), int64_t(0));
  ValueRecord* r = by_rows ? Gather(m, x, int32_t(k), int32_t(other), from) : Gather(m, x, int32_t(other), int32_t(k), from);
  if (r) BiReturn(m, n, r);
}

// Rows (or columns) of X ordered by the columns (rows) listed, negative
// for descending; ties keep their order.
bool SortKeys(Machine& m, const ValueRecord* x, const ValueRecord* keys, std::vector<int64_t>* perm) {
  if (!m.CheckMatrix(keys) || !m.CheckReal(keys)) return false;
  if (element_count(keys) > 1 && !m.CheckVector(keys)) return false;
  if (x->eltype != kReal && x->eltype != kString) {
    m.FoundWhere(x, "real or string", 3255);
    return false;
  }
  std::vector<int> cols;
  for (int64_t k = 0; k < element_count(keys); ++k) {
    double d = reals(keys)[k];
    if (is_missing(d) || d == 0 || std::fabs(d) > x->cols || d != std::floor(d)) return BiFail(m, 3300);
    cols.push_back(int(d));
  }
  perm->resize(size_t(x->rows));
  std::iota(perm->begin(), perm->end(), int64_t(0));
  auto less = [&](int64_t a, int64_t b) {
    for (int c : cols) {
      int j = std::abs(c) - 1;
      int cmp;
      if (x->eltype == kReal) {
        double u = reals(x)[a * x->cols + j], v = reals(x)[b * x->cols + j];
        cmp = u < v ? -1 : u > v ? 1 : 0;
      } else {
        cmp = compare_strings(string_of(slots(x)[a * x->cols + j]), string_of(slots(x)[b * x->cols + j]));
      }
      if (cmp != 0) return c > 0 ? cmp < 0 : cmp > 0;
    }
    return false;
  };
  std::stable_sort(perm->begin(), perm->end(), less);
  return true;
}

// reldif(x, y) = |x - y| / (|y| + 1), elementwise; two missing values of
// the same code differ by 0, a missing and a number by missing.
double Reldif(double x, double y) {
  if (is_missing(x) || is_missing(y)) return x == y ? 0 : kMissing;
  return std::fabs(x - y) / (std::fabs(y) + 1);
}
bool SameShape(Machine& m, const ValueRecord* x, const ValueRecord* y) {
  if (!m.CheckMatrix(x) || !m.CheckMatrix(y) || !m.CheckReal(x) || !m.CheckReal(y)) return false;
  if (x->rows != y->rows || x->cols != y->cols) return BiFail(m, 3200);
  return true;
}
double MaxReldif(const ValueRecord* x, const ValueRecord* y, bool transposed) {
  double worst = 0;
  for (int32_t i = 0; i < x->rows; ++i)
    for (int32_t j = 0; j < x->cols; ++j) {
      double a = reals(x)[int64_t(i) * x->cols + j];
      double b = transposed ? reals(y)[int64_t(j) * y->cols + i] : reals(y)[int64_t(i) * y->cols + j];
      double d = Reldif(a, b);
      if (is_missing(d)) return kMissing;
      worst = std::max(worst, d);
    }
  return worst;
}

// ---- cross products

// The operands of cross(): X with an optional column of ones, the
// weights, Z with its column of ones, and the means taken off (crossdev).
struct CrossArgs {
  const ValueRecord *x = nullptr, *z = nullptr, *w = nullptr, *xmean = nullptr, *zmean = nullptr;
  bool xc = false, zc = false;
};

bool Flag(Machine& m, const ValueRecord* v, bool* out) {
  double d;
  if (!BiRealScalar(m, v, &d)) return false;
  *out = d != 0 && !is_missing(d);
  return true;
}

// cross(X, Z), cross(X, w, Z), cross(X, xc, Z, zc), cross(X, xc, w, Z, zc);
// crossdev adds the means after X and after Z: crossdev(X, x, Z, z) and
// crossdev(X, x, w, Z, z).
bool ReadCrossArgs(Machine& m, int n, bool dev, CrossArgs* a) {
  auto arg = [&](int k) { return BiArg(m, n, k); };
  if (dev) {
    a->x = arg(0);
    a->xmean = arg(1);
    if (n == 4) {
      a->z = arg(2);
      a->zmean = arg(3);
    } else {
      a->w = arg(2);
      a->z = arg(3);
      a->zmean = arg(4);
    }
  } else if (n == 2) {
    a->x = arg(0);
    a->z = arg(1);
  } else if (n == 3) {
    a->x = arg(0);
    a->w = arg(1);
    a->z = arg(2);
  } else {
    a->x = arg(0);
    if (!Flag(m, arg(1), &a->xc)) return false;
    a->w = n == 5 ? arg(2) : nullptr;
    a->z = arg(n == 5 ? 3 : 2);
    if (!Flag(m, arg(n == 5 ? 4 : 3), &a->zc)) return false;
  }
  for (const ValueRecord* v : {a->x, a->z, a->w, a->xmean, a->zmean})
    if (v && (!m.CheckMatrix(v) || !m.CheckReal(v))) return false;
  if (a->x->rows != a->z->rows) return BiFail(m, 3200);
  if (a->w && !(element_count(a->w) == 1 || (a->w->cols == 1 && a->w->rows == a->x->rows))) return BiFail(m, 3200);
  if (a->xmean && element_count(a->xmean) != a->x->cols) return BiFail(m, 3200);
  if (a->zmean && element_count(a->zmean) != a->z->cols) return BiFail(m, 3200);
  return true;
}

// The rows in which X, Z and w are all nonmissing.
std::vector<int32_t> CompleteRows(const CrossArgs& a) {
  std::vector<int32_t> rows;
  rows.reserve(size_t(a.x->rows));
  for (int32_t i = 0; i < a.x->rows; ++i) {
    bool ok = true;
    for (const ValueRecord* v : {a.x, a.z})
      for (int32_t j = 0; ok && j < v->cols; ++j) ok = !is_missing(reals(v)[int64_t(i) * v->cols + j]);
    if (ok && a.w) ok = !is_missing(reals(a.w)[element_count(a.w) == 1 ? 0 : i]);
    if (ok) rows.push_back(i);
  }
  return rows;
}

// The rows of v (with a column of ones when one), means taken off and
// each row scaled by its weight when w is given, packed row after row.
std::vector<double> Pack(const ValueRecord* v, bool ones, const ValueRecord* mean, const ValueRecord* w,
                         const std::vector<int32_t>& rows) {
  int32_t c = v->cols + (ones ? 1 : 0);
  std::vector<double> out(rows.size() * size_t(c));
  for (size_t r = 0; r < rows.size(); ++r) {
    const double* src = reals(v) + int64_t(rows[r]) * v->cols;
    double* dst = out.data() + r * size_t(c);
    double wt = w ? reals(w)[element_count(w) == 1 ? 0 : rows[r]] : 1;
    for (int32_t j = 0; j < v->cols; ++j) dst[j] = (src[j] - (mean ? reals(mean)[j] : 0)) * wt;
    if (ones) dst[v->cols] = wt;
  }
  return out;
}

void Cross(Machine& m, int n, bool dev, bool quad) {
  CrossArgs a;
  if (!ReadCrossArgs(m, n, dev, &a)) return;
  int32_t k = a.x->cols + (a.xc ? 1 : 0), l = a.z->cols + (a.zc ? 1 : 0);
  ValueRecord* r = m.values().NewValue("", kReal, k, l);
  if (!r) return m.RaiseAllocation();
  double* c = reals(r);
  bool same = a.x == a.z && a.xc == a.zc && a.xmean == a.zmean;
  bool plain = same && !a.w && !a.xc && !a.xmean;
  // X'X of a matrix without a missing value needs no list of rows.
  std::vector<int32_t> rows;
  int64_t used = a.x->rows;
  if (quad || !plain || AnyMissing(reals(a.x), element_count(a.x))) {
    rows = CompleteRows(a);
    used = int64_t(rows.size());
  }
  bool all = used == a.x->rows;
  if (quad) {
    std::vector<double> xs = Pack(a.x, a.xc, a.xmean, nullptr, rows), zs = Pack(a.z, a.zc, a.zmean, a.w, rows);
    std::vector<DD> acc(size_t(k) * l);
    for (size_t i = 0; i < rows.size(); ++i)
      for (int32_t p = 0; p < k; ++p) {
        double xv = xs[i * size_t(k) + p];
        for (int32_t q = 0; q < l; ++q) acc[size_t(p) * l + q] += stats::two_prod(xv, zs[i * size_t(l) + q]);
      }
    for (size_t e = 0; e < acc.size(); ++e) c[e] = acc[e].value();
  } else if (used == 0) {
    std::fill(c, c + element_count(r), 0.0);
  } else if (plain && all) {
    // The common case, X'X of a complete matrix: straight from the
    // record, no copy.
    cblas_dsyrk(CblasRowMajor, CblasUpper, CblasTrans, k, int(used), 1.0, reals(a.x), a.x->cols, 0.0, c, k);
    for (int32_t p = 0; p < k; ++p)
      for (int32_t q = 0; q < p; ++q) c[int64_t(p) * k + q] = c[int64_t(q) * k + p];
  } else {
    std::vector<double> xs = Pack(a.x, a.xc, a.xmean, nullptr, rows), zs = Pack(a.z, a.zc, a.zmean, a.w, rows);
    cblas_dgemm(CblasRowMajor, CblasTrans, CblasNoTrans, k, l, int(rows.size()), 1.0, xs.data(), k, zs.data(), l, 0.0,
                c, l);
  }
  for (int64_t e = 0; e < element_count(r); ++e)
    if (!std::isfinite(c[e])) c[e] = kMissing;
  BiReturn(m, n, r);
}

// ---- the sweep inverse, the one the regression core uses.  A matrix
// holding missing values has no inverse: the result is missing.  `order`
// lists the pivots (counted from 1) to sweep first.
bool Invsym(Machine& m, const ValueRecord* a, const ValueRecord* order, std::vector<double>* out) {
  if (!m.CheckMatrix(a) || !m.CheckReal(a)) return false;
  if (a->rows != a->cols) {
    m.FoundWhere(a, "square matrix", 3205);
    return false;
  }
  int k = a->rows;
  std::vector<int> pivots;
  if (order) {
    if (!m.CheckMatrix(order) || !m.CheckReal(order)) return false;
    if (element_count(order) > 1 && !m.CheckVector(order)) return false;
    for (int64_t e = 0; e < element_count(order); ++e) {
      double d = reals(order)[e];
      if (is_missing(d) || d < 1 || d > k || d != std::floor(d)) return BiFail(m, 3300);
      pivots.push_back(int(d) - 1);
    }
    pivots.push_back(-1);
  }
  out->assign(reals(a), reals(a) + element_count(a));
  for (double d : *out)
    if (is_missing(d)) {
      std::fill(out->begin(), out->end(), kMissing);
      return true;
    }
  if (k == 0) return true;
  std::vector<std::uint8_t> status;
  stats::SweepOptions opt;
  opt.poll_break = [&m] { return m.host().PollBreak(); };
  rc_t rc = stats::sweep_invert(out->data(), k, 0, k, order ? pivots.data() : nullptr, -1, &status, opt);
  if (rc == 1) {
    m.set_status(kStatusBreak);
    return false;
  }
  if (rc) return BiFail(m, 3900);
  return true;
}

}  // namespace

void BiSum(Machine& m, int n) { Sums<double>(m, n, 2); }
void BiQuadsum(Machine& m, int n) { Sums<DD>(m, n, 2); }
void BiRowsum(Machine& m, int n) { Sums<double>(m, n, 0); }
void BiColsum(Machine& m, int n) { Sums<double>(m, n, 1); }
void BiQuadrowsum(Machine& m, int n) { Sums<DD>(m, n, 0); }
void BiQuadcolsum(Machine& m, int n) { Sums<DD>(m, n, 1); }
void BiRunningsum(Machine& m, int n) { RunningNew<double>(m, n); }
void BiQuadrunningsum(Machine& m, int n) { RunningNew<DD>(m, n); }
void BiRunningsumInto(Machine& m, int n) { RunningInto<double>(m, n); }
void BiQuadrunningsumInto(Machine& m, int n) { RunningInto<DD>(m, n); }
void BiRowminmax(Machine& m, int n) { MinMax(m, n, 0, false); }
void BiColminmax(Machine& m, int n) { MinMax(m, n, 1, false); }
void BiMinmax(Machine& m, int n) { MinMax(m, n, 2, false); }
void BiRowmaxabs(Machine& m, int n) { MinMax(m, n, 0, true); }
void BiColmaxabs(Machine& m, int n) { MinMax(m, n, 1, true); }
void BiMissing(Machine& m, int n) { Missings(m, n, 2, true); }
void BiNonmissing(Machine& m, int n) { Missings(m, n, 2, false); }
void BiRowmissing(Machine& m, int n) { Missings(m, n, 0, true); }
void BiRownonmissing(Machine& m, int n) { Missings(m, n, 0, false); }
void BiColmissing(Machine& m, int n) { Missings(m, n, 1, true); }
void BiColnonmissing(Machine& m, int n) { Missings(m, n, 1, false); }

// diagonal(A): the diagonal as a column vector.
void BiDiagonal(Machine& m, int n) {
  ValueRecord* a = BiArg(m, n, 0);
  if (!BiNumeric(m, a)) return;
  int32_t k = std::min(a->rows, a->cols);
  std::vector<int64_t> from(static_cast<size_t>(k));
  for (int32_t i = 0; i < k; ++i) from[size_t(i)] = int64_t(i) * a->cols + i;
  if (ValueRecord* r = Gather(m, a, k, 1, from)) BiReturn(m, n, r);
}

// _diag(A, d): A's diagonal becomes d, a scalar or a vector of its length.
void BiDiagInto(Machine& m, int n) {
  ValueRecord *a = BiArg(m, n, 0), *d = BiArg(m, n, 1);
  if (!BiNumeric(m, a) || !BiNumeric(m, d)) return;
  int32_t k = std::min(a->rows, a->cols);
  if (element_count(d) != 1 && (element_count(d) != k || !m.CheckVector(d))) return (void)BiFail(m, 3200);
  if (a->eltype == kReal && d->eltype == kComplex) return (void)BiFail(m, 3250);
  for (int32_t i = 0; i < k; ++i) {
    int64_t to = int64_t(i) * a->cols + i, from = element_count(d) == 1 ? 0 : i;
    if (a->eltype == kReal) reals(a)[to] = reals(d)[from];
    else {
      reals(a)[2 * to] = reals(d)[d->eltype == kComplex ? 2 * from : from];
      reals(a)[2 * to + 1] = d->eltype == kComplex ? reals(d)[2 * from + 1] : 0;
    }
  }
  BiReturnVoid(m, n);
}

void BiRowshape(Machine& m, int n) { Shape(m, n, true); }
void BiColshape(Machine& m, int n) { Shape(m, n, false); }

// select(X, v): the rows of X where the column vector v is not zero, or
// the columns where the row vector v is not zero.
void BiSelect(Machine& m, int n) {
  ValueRecord *x = BiArg(m, n, 0), *v = BiArg(m, n, 1);
  if (!m.CheckMatrix(x) || !m.CheckMatrix(v) || !m.CheckReal(v) || !m.CheckVector(v)) return;
  bool by_rows = v->cols == 1 && !(v->rows == 1 && x->rows == 1 && x->cols != 1);
  if (by_rows ? v->rows != x->rows : v->cols != x->cols) return (void)BiFail(m, 3200);
  std::vector<int32_t> keep;
  for (int64_t k = 0; k < element_count(v); ++k)
    if (reals(v)[k] != 0) keep.push_back(int32_t(k));
  std::vector<int64_t> from;
  int32_t rows = by_rows ? int32_t(keep.size()) : x->rows, cols = by_rows ? x->cols : int32_t(keep.size());
  for (int32_t i = 0; i < rows; ++i)
    for (int32_t j = 0; j < cols; ++j)
      from.push_back(by_rows ? int64_t(keep[size_t(i)]) * x->cols + j : int64_t(i) * x->cols + keep[size_t(j)]);
  if (ValueRecord* r = Gather(m, x, rows, cols, from)) BiReturn(m, n, r);
}

// order(X, idx): the permutation (column vector, from 1) that sorts X's
// rows on the columns idx.
void BiOrder(Machine& m, int n) {
  ValueRecord* x = BiArg(m, n, 0);
  std::vector<int64_t> perm;
  if (!m.CheckMatrix(x) || !SortKeys(m, x, BiArg(m, n, 1), &perm)) return;
  ValueRecord* r = m.values().NewValue("", kReal, x->rows, 1);
  if (!r) return m.RaiseAllocation();
  for (size_t i = 0; i < perm.size(); ++i) reals(r)[i] = double(perm[i] + 1);
  BiReturn(m, n, r);
}

// _collate(X, p): X becomes X[p, .] for a permutation p of its rows.
void BiCollate(Machine& m, int n) {
  ValueRecord *x = BiArg(m, n, 0), *p = BiArg(m, n, 1);
  if (!m.CheckMatrix(x) || !m.CheckMatrix(p) || !m.CheckReal(p)) return;
  if (x == p) return (void)BiFail(m, 3002);
  if (element_count(p) != x->rows || (element_count(p) > 1 && !m.CheckVector(p))) return (void)BiFail(m, 3200);
  std::vector<char> used(size_t(x->rows), 0);
  std::vector<int64_t> from;
  from.reserve(size_t(element_count(x)));
  for (int32_t i = 0; i < x->rows; ++i) {
    double d = reals(p)[i];
    if (is_missing(d) || d < 1 || d > x->rows || d != std::floor(d) || used[size_t(d - 1)])
      return (void)BiFail(m, 3303);
    used[size_t(d - 1)] = 1;
    for (int32_t j = 0; j < x->cols; ++j) from.push_back(int64_t(d - 1) * x->cols + j);
  }
  ValueRecord* r = Gather(m, x, x->rows, x->cols, from);
  if (!r) return;
  Values::Swap(x, r);
  m.values().Free(r);
  BiReturnVoid(m, n);
}

void BiReldif(Machine& m, int n) {
  ValueRecord *x = BiArg(m, n, 0), *y = BiArg(m, n, 1);
  if (!SameShape(m, x, y)) return;
  ValueRecord* r = m.values().NewValue("", kReal, x->rows, x->cols);
  if (!r) return m.RaiseAllocation();
  for (int64_t k = 0; k < element_count(x); ++k) reals(r)[k] = Reldif(reals(x)[k], reals(y)[k]);
  BiReturn(m, n, r);
}

// mreldif(X, Y): the largest reldif.
void BiMreldif(Machine& m, int n) {
  ValueRecord *x = BiArg(m, n, 0), *y = BiArg(m, n, 1);
  if (!SameShape(m, x, y)) return;
  BiReturn(m, n, m.values().NewScalar(MaxReldif(x, y, false)));
}

// mreldifsym(X): how far X is from symmetric, mreldif(X', X).
void BiMreldifsym(Machine& m, int n) {
  ValueRecord* x = BiArg(m, n, 0);
  if (!m.CheckMatrix(x) || !m.CheckReal(x)) return;
  if (x->rows != x->cols) return m.FoundWhere(x, "square matrix", 3205);
  BiReturn(m, n, m.values().NewScalar(MaxReldif(x, x, true)));
}

// mreldifre(X): how far X is from real, the largest reldif(X, Re(X)):
// |Im| / (|Re| + 1) over the elements; 0 for a real X.
void BiMreldifre(Machine& m, int n) {
  const ValueRecord* x = BiArg(m, n, 0);
  if (!BiNumeric(m, x)) return;
  double worst = 0;
  for (int64_t k = 0; k < element_count(x) && x->eltype == kComplex; ++k) {
    double re = reals(x)[2 * k], im = reals(x)[2 * k + 1];
    if (is_missing(re) || is_missing(im)) {
      worst = kMissing;
      break;
    }
    worst = std::max(worst, std::fabs(im) / (std::fabs(re) + 1));
  }
  BiReturn(m, n, m.values().NewScalar(worst));
}

// _makesymmetric(A): the lower triangle is copied over the upper (for a
// complex A, conjugated, so that A becomes Hermitian).
void BiMakesymmetric(Machine& m, int n) {
  ValueRecord* a = BiArg(m, n, 0);
  if (!BiNumeric(m, a)) return;
  if (a->rows != a->cols) return m.FoundWhere(a, "square matrix", 3205);
  int32_t k = a->rows;
  for (int32_t i = 0; i < k; ++i)
    for (int32_t j = i + 1; j < k; ++j) {
      int64_t up = int64_t(i) * k + j, lo = int64_t(j) * k + i;
      if (a->eltype == kReal) reals(a)[up] = reals(a)[lo];
      else {
        reals(a)[2 * up] = reals(a)[2 * lo];
        reals(a)[2 * up + 1] = -reals(a)[2 * lo + 1];
      }
    }
  if (a->eltype == kComplex)
    for (int32_t i = 0; i < k; ++i) reals(a)[2 * (int64_t(i) * k + i) + 1] = 0;
  BiReturnVoid(m, n);
}

// issymmetric(A): A is square and equal to its transpose (its conjugate
// transpose when complex).
void BiIssymmetric(Machine& m, int n) {
  ValueRecord* a = BiArg(m, n, 0);
  if (!m.CheckMatrix(a)) return;
  bool sym = a->rows == a->cols && (a->eltype == kReal || a->eltype == kComplex);
  for (int32_t i = 0; sym && i < a->rows; ++i)
    for (int32_t j = 0; sym && j <= i; ++j) {
      int64_t up = int64_t(j) * a->cols + i, lo = int64_t(i) * a->cols + j;
      if (a->eltype == kReal) sym = reals(a)[up] == reals(a)[lo];
      else sym = reals(a)[2 * up] == reals(a)[2 * lo] && reals(a)[2 * up + 1] == -reals(a)[2 * lo + 1];
    }
  BiReturn(m, n, m.values().NewScalar(sym));
}

void BiCross(Machine& m, int n) { Cross(m, n, false, false); }
void BiQuadcross(Machine& m, int n) { Cross(m, n, false, true); }
void BiCrossdev(Machine& m, int n) { Cross(m, n, true, false); }
void BiQuadcrossdev(Machine& m, int n) { Cross(m, n, true, true); }

// invsym(A [, order]): the generalised inverse of a symmetric A by the
// sweep; pivots that are collinear with those swept before are dropped
// (their rows and columns are 0).  Only A's upper triangle is read.
void BiInvsym(Machine& m, int n) {
  ValueRecord* a = BiArg(m, n, 0);
  std::vector<double> inv;
  if (!Invsym(m, a, n > 1 ? BiArg(m, n, 1) : nullptr, &inv)) return;
  ValueRecord* r = m.values().NewValue("", kReal, a->rows, a->cols);
  if (!r) return m.RaiseAllocation();
  if (!inv.empty()) std::memcpy(reals(r), inv.data(), inv.size() * sizeof(double));
  BiReturn(m, n, r);
}

// _invsym(A [, order]): A becomes invsym(A).
void BiInvsymInPlace(Machine& m, int n) {
  ValueRecord* a = BiArg(m, n, 0);
  std::vector<double> inv;
  if (!Invsym(m, a, n > 1 ? BiArg(m, n, 1) : nullptr, &inv)) return;
  if (!inv.empty()) std::memcpy(reals(a), inv.data(), inv.size() * sizeof(double));
  BiReturnVoid(m, n);
}

}  // namespace nuvra::lumo
