// Traces of matrix products, found from two half products rather than the
// whole chain, and the closed-form inverse of a 2 x 2 matrix.  A missing
// value anywhere makes the answer missing.
#include "lumo/builtins_trace.h"

#include <initializer_list>
#include <vector>

#include "data/missing.h"
#include "lumo/builtin_args.h"

namespace nuvra::lumo {

namespace {

using data::is_missing;
using data::kMissing;

// Real matrix arguments, none holding a missing value (*missing then set).
bool RealArgs(Machine& m, std::initializer_list<const ValueRecord*> args, bool* missing) {
  *missing = false;
  for (const ValueRecord* v : args) {
    if (!m.CheckMatrix(v) || !m.CheckReal(v)) return false;
    for (int64_t k = 0; k < element_count(v); ++k) *missing |= is_missing(reals(v)[k]);
  }
  return true;
}

// The r x c product of a (r x k) and b (k x c), row-major.
std::vector<double> Multiply(const double* a, const double* b, int32_t r, int32_t k, int32_t c) {
  std::vector<double> p(size_t(r) * size_t(c), 0.0);
  for (int32_t i = 0; i < r; ++i)
    for (int32_t l = 0; l < k; ++l) {
      const double x = a[int64_t(i) * k + l];
      for (int32_t j = 0; j < c; ++j) p[size_t(i) * c + j] += x * b[int64_t(l) * c + j];
    }
  return p;
}

// trace(P * Q) for P r x k and Q k x r.
double TraceOfProduct(const std::vector<double>& p, const std::vector<double>& q, int32_t r, int32_t k) {
  double t = 0;
  for (int32_t i = 0; i < r; ++i)
    for (int32_t j = 0; j < k; ++j) t += p[size_t(i) * k + j] * q[size_t(j) * r + i];
  return t;
}

}  // namespace

// trace_AVBV(A, V, B, W): trace(A*V*B*W), as trace((A*V) * (B*W)).
void BiTraceAVBV(Machine& m, int n) {
  const ValueRecord *a = BiArg(m, n, 0), *v = BiArg(m, n, 1), *b = BiArg(m, n, 2), *w = BiArg(m, n, 3);
  bool missing;
  if (!RealArgs(m, {a, v, b, w}, &missing)) return;
  if (a->cols != v->rows || v->cols != b->rows || b->cols != w->rows || w->cols != a->rows)
    return (void)BiFail(m, 3200);
  double t = kMissing;
  if (!missing) {
    std::vector<double> av = Multiply(reals(a), reals(v), a->rows, a->cols, v->cols);
    std::vector<double> bw = Multiply(reals(b), reals(w), b->rows, b->cols, w->cols);
    t = TraceOfProduct(av, bw, a->rows, v->cols);
  }
  BiReturn(m, n, m.values().NewScalar(t));
}

// trace_ABBAV(A, B, V): trace(A*B*B*A*V) for square A, B and V of one
// order, as trace((A*B) * (B*A*V)).
void BiTraceABBAV(Machine& m, int n) {
  const ValueRecord *a = BiArg(m, n, 0), *b = BiArg(m, n, 1), *v = BiArg(m, n, 2);
  bool missing;
  if (!RealArgs(m, {a, b, v}, &missing)) return;
  const int32_t k = a->rows;
  for (const ValueRecord* x : {a, b, v})
    if (x->rows != k || x->cols != k) return (void)BiFail(m, 3200);
  double t = kMissing;
  if (!missing) {
    std::vector<double> ab = Multiply(reals(a), reals(b), k, k, k);
    std::vector<double> ba = Multiply(reals(b), reals(a), k, k, k);
    std::vector<double> bav = Multiply(ba.data(), reals(v), k, k, k);
    t = TraceOfProduct(ab, bav, k, k);
  }
  BiReturn(m, n, m.values().NewScalar(t));
}

// _2x2(A): the inverse of the real 2 x 2 A, [d, -b \ -c, a] / (ad - bc);
// missing values when A is singular.
void Bi2x2(Machine& m, int n) {
  const ValueRecord* a = BiArg(m, n, 0);
  bool missing;
  if (!RealArgs(m, {a}, &missing)) return;
  if (a->rows != 2 || a->cols != 2) return (void)BiFail(m, 3200);
  const double* x = reals(a);
  const double det = x[0] * x[3] - x[1] * x[2];
  ValueRecord* r = m.values().NewValue("", kReal, 2, 2);
  if (!r) return m.RaiseAllocation();
  const bool none = missing || det == 0;
  const double inv[4] = {x[3], -x[1], -x[2], x[0]};
  for (int k = 0; k < 4; ++k) reals(r)[k] = none ? kMissing : inv[k] / det;
  BiReturn(m, n, r);
}

}  // namespace nuvra::lumo
