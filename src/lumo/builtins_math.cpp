// Elementary mathematics.  The real kernels are those of the expression
// library, so that a function gives the same number in an expression and
// here; complex arguments, which expressions do not have, are worked here.
#include "lumo/builtins_math.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <numbers>
#include <vector>

#include "data/functions/distributions.h"
#include "data/functions/elementary.h"
#include "data/limits.h"
#include "lumo/builtin_args.h"
#include "lumo/builtins_elementwise.h"

namespace nuvra::lumo {

namespace {

using data::kMissing;
using cplx = std::complex<double>;

// f over a real argument, or g over a complex one, element by element;
// missing in gives missing out, and so does a result that is not finite.
template <class F, class G>
void MapNumeric(Machine& m, int n, F f, G g) {
  ValueRecord* x = BiArg(m, n, 0);
  if (!BiNumeric(m, x)) return;
  int64_t count = element_count(x);
  ValueRecord* r = m.values().NewValue("", x->eltype, x->rows, x->cols);
  if (!r) return m.RaiseAllocation();
  if (x->eltype == kReal) {
    for (int64_t k = 0; k < count; ++k) {
      double d = reals(x)[k];
      double v = BiBad(d) ? kMissing : f(d);
      reals(r)[k] = BiBad(v) ? kMissing : v;
    }
  } else {
    for (int64_t k = 0; k < count; ++k) {
      double re = reals(x)[2 * k], im = reals(x)[2 * k + 1];
      cplx v = BiBad(re) || BiBad(im) ? cplx(kMissing, kMissing) : g(cplx(re, im));
      bool bad = BiBad(v.real()) || BiBad(v.imag());
      reals(r)[2 * k] = bad ? kMissing : v.real();
      reals(r)[2 * k + 1] = bad ? kMissing : v.imag();
    }
  }
  BiReturn(m, n, r);
}

// The principal logarithm of the gamma function of a complex number:
// Lanczos's approximation (g = 7, nine terms) on the right half plane and
// the reflection formula on the left.
cplx ComplexLngamma(cplx z) {
  static constexpr double kLanczos[9] = {0.99999999999980993,  676.5203681218851,     -1259.1392167224028,
                                         771.32342877765313,   -176.61502916214059,   12.507343278686905,
                                         -0.13857109526572012, 9.9843695780195716e-6, 1.5056327351493116e-7};
  constexpr double pi = std::numbers::pi;
  if (z.imag() == 0 && z.real() <= 0 && z.real() == std::floor(z.real())) return {kMissing, kMissing};
  cplx r;
  if (z.real() < 0.5) {
    r = std::log(cplx(pi, 0)) - std::log(std::sin(pi * z)) - ComplexLngamma(1.0 - z);
  } else {
    cplx w = z - 1.0, sum = kLanczos[0];
    for (int k = 1; k < 9; ++k) sum += kLanczos[k] / (w + double(k));
    cplx t = w + 7.5;
    r = 0.5 * std::log(2 * pi) + (w + 0.5) * std::log(t) - t + std::log(sum);
  }
  // The principal branch: the imaginary part in (-pi, pi].
  double im = std::remainder(r.imag(), 2 * pi);
  if (im <= -pi) im += 2 * pi;
  return {r.real(), im};
}

double Epsilon(double x) { return std::fabs(x) * data::kDoubleEpsilon; }

void ReturnScalar(Machine& m, int n, double d) { BiReturn(m, n, m.values().NewScalar(d)); }

// Element k of v as a complex number (real elements have no imaginary
// part).
cplx At(const ValueRecord* v, int64_t k) {
  return v->eltype == kComplex ? cplx(reals(v)[2 * k], reals(v)[2 * k + 1]) : cplx(reals(v)[k], 0);
}

// Whether element k of p equals the scalar s (of p's eltype).
bool ElementEquals(const ValueRecord* p, int64_t k, const ValueRecord* s) {
  switch (p->eltype) {
    case kReal:
    case kComplex: return At(p, k) == At(s, 0);
    case kString: return compare_strings(string_of(slots(p)[k]), string_of(slots(s)[0])) == 0;
    default: return slots(p)[k] == slots(s)[0];
  }
}

// Whether every (all) or some (any) element of p equals s.
void Of(Machine& m, int n, bool all) {
  ValueRecord *p = BiArg(m, n, 0), *s = BiArg(m, n, 1);
  if (!m.CheckMatrix(p) || !m.CheckMatrix(s) || !m.CheckScalar(s)) return;
  bool numeric_p = p->eltype == kReal || p->eltype == kComplex, numeric_s = s->eltype == kReal || s->eltype == kComplex;
  bool comparable = p->eltype == s->eltype || (numeric_p && numeric_s);
  bool result = all;
  for (int64_t k = 0; k < element_count(p); ++k) {
    bool eq = comparable && ElementEquals(p, k, s);
    if (all && !eq) result = false;
    if (!all && eq) result = true;
  }
  ReturnScalar(m, n, result);
}

// all(x) and any(x): whether every or some element of a real x is not
// zero (a missing value is not zero).
void Truth(Machine& m, int n, bool all) {
  ValueRecord* x = BiArg(m, n, 0);
  if (!m.CheckMatrix(x) || !m.CheckReal(x)) return;
  bool result = all;
  for (int64_t k = 0; k < element_count(x); ++k) {
    bool nonzero = reals(x)[k] != 0;
    if (all && !nonzero) result = false;
    if (!all && nonzero) result = true;
  }
  ReturnScalar(m, n, result);
}

// Replaces the contents of out by a new real rows x cols block filled from
// vals (row-major).
bool Deliver(Machine& m, ValueRecord* out, int32_t rows, int32_t cols, const std::vector<double>& vals) {
  ValueRecord* tmp = m.values().NewValue("", kReal, rows, cols);
  if (!tmp) {
    m.RaiseAllocation();
    return false;
  }
  std::copy(vals.begin(), vals.end(), reals(tmp));
  Values::Swap(out, tmp);
  m.values().Free(tmp);
  return true;
}

}  // namespace

void BiSin(Machine& m, int n) {
  MapNumeric(m, n, [](double d) { return std::sin(d); }, [](cplx z) { return std::sin(z); });
}
void BiCos(Machine& m, int n) {
  MapNumeric(m, n, [](double d) { return std::cos(d); }, [](cplx z) { return std::cos(z); });
}
void BiTan(Machine& m, int n) {
  MapNumeric(m, n, [](double d) { return std::tan(d); }, [](cplx z) { return std::tan(z); });
}
void BiAsinr(Machine& m, int n) {
  ApplyReal<1>(m, n, 0, nullptr, [](double x) { return std::fabs(x) <= 1 ? std::asin(x) : kMissing; });
}
void BiAcosr(Machine& m, int n) {
  ApplyReal<1>(m, n, 0, nullptr, [](double x) { return std::fabs(x) <= 1 ? std::acos(x) : kMissing; });
}
void BiAtanr(Machine& m, int n) {
  ApplyReal<1>(m, n, 0, nullptr, [](double x) { return std::atan(x); });
}
// atan2(y, x): the angle of the point (x, y).
void BiAtan2(Machine& m, int n) {
  ApplyReal<2>(m, n, 0, nullptr, [](double y, double x) { return std::atan2(y, x); });
}
void BiLngamma(Machine& m, int n) { MapNumeric(m, n, fn::lngamma, ComplexLngamma); }
void BiFactorial(Machine& m, int n) { ApplyReal<1>(m, n, 0, nullptr, fn::factorial); }
void BiLnfactorial(Machine& m, int n) { ApplyReal<1>(m, n, 0, nullptr, fn::lnfactorial); }
void BiDigamma(Machine& m, int n) { ApplyReal<1>(m, n, 0, nullptr, fn::digamma); }
void BiTrigamma(Machine& m, int n) { ApplyReal<1>(m, n, 0, nullptr, fn::trigamma); }
void BiComb(Machine& m, int n) { ApplyReal<2>(m, n, 0, nullptr, fn::comb); }
void BiMod(Machine& m, int n) { ApplyReal<2>(m, n, 0, nullptr, fn::mod); }
// round(x [, y]): x to the nearest multiple of y (1 when not given).
void BiRound(Machine& m, int n) {
  if (n == 1) return ApplyReal<1>(m, n, 0, nullptr, [](double x) { return fn::round_units(x, 1); });
  ApplyReal<2>(m, n, 0, nullptr, fn::round_units);
}
void BiFloatround(Machine& m, int n) { ApplyReal<1>(m, n, 0, nullptr, fn::float_round); }

void BiRe(Machine& m, int n) {
  ValueRecord* x = BiArg(m, n, 0);
  if (!BiNumeric(m, x)) return;
  ValueRecord* r = m.values().NewValue("", kReal, x->rows, x->cols);
  if (!r) return m.RaiseAllocation();
  for (int64_t k = 0; k < element_count(x); ++k) reals(r)[k] = At(x, k).real();
  BiReturn(m, n, r);
}
void BiIm(Machine& m, int n) {
  ValueRecord* x = BiArg(m, n, 0);
  if (!BiNumeric(m, x)) return;
  ValueRecord* r = m.values().NewValue("", kReal, x->rows, x->cols);
  if (!r) return m.RaiseAllocation();
  for (int64_t k = 0; k < element_count(x); ++k) reals(r)[k] = At(x, k).imag();
  BiReturn(m, n, r);
}
// C(z): z as complex; C(re, im): the complex numbers of conformable real
// and imaginary parts.
void BiC(Machine& m, int n) {
  if (n == 1) {
    ValueRecord* x = BiArg(m, n, 0);
    if (!BiNumeric(m, x)) return;
    ValueRecord* r = m.values().NewValue("", kComplex, x->rows, x->cols);
    if (!r) return m.RaiseAllocation();
    for (int64_t k = 0; k < element_count(x); ++k) {
      cplx z = At(x, k);
      reals(r)[2 * k] = z.real();
      reals(r)[2 * k + 1] = z.imag();
    }
    return BiReturn(m, n, r);
  }
  ValueRecord* a[2];
  int32_t rows, cols;
  if (!ConformingReals<2>(m, n, 0, nullptr, a, &rows, &cols)) return;
  ValueRecord* r = m.values().NewValue("", kComplex, rows, cols);
  if (!r) return m.RaiseAllocation();
  for (int32_t i = 0; i < rows; ++i)
    for (int32_t j = 0; j < cols; ++j) {
      int64_t k = int64_t(i) * cols + j;
      reals(r)[2 * k] = reals(a[0])[ConformIndex(a[0], i, j)];
      reals(r)[2 * k + 1] = reals(a[1])[ConformIndex(a[1], i, j)];
    }
  BiReturn(m, n, r);
}
void BiConj(Machine& m, int n) {
  MapNumeric(m, n, [](double d) { return d; }, [](cplx z) { return std::conj(z); });
}
// _conj(A): A replaced by its conjugate.
void BiConjInPlace(Machine& m, int n) {
  ValueRecord* x = BiArg(m, n, 0);
  if (!BiNumeric(m, x)) return;
  if (x->eltype == kComplex)
    for (int64_t k = 0; k < element_count(x); ++k) {
      double& im = reals(x)[2 * k + 1];
      if (!data::is_missing(im)) im = -im;
    }
  BiReturnVoid(m, n);
}
// arg(z): the angle of z in (-pi, pi]; 0 or pi for a real number.
void BiCarg(Machine& m, int n) {
  ValueRecord* x = BiArg(m, n, 0);
  if (!BiNumeric(m, x)) return;
  ValueRecord* r = m.values().NewValue("", kReal, x->rows, x->cols);
  if (!r) return m.RaiseAllocation();
  for (int64_t k = 0; k < element_count(x); ++k) {
    cplx z = At(x, k);
    reals(r)[k] = BiBad(z.real()) || BiBad(z.imag()) ? kMissing : std::arg(z);
  }
  BiReturn(m, n, r);
}
void BiIscomplex(Machine& m, int n) {
  ValueRecord* x = BiArg(m, n, 0);
  if (!m.CheckMatrix(x)) return;
  ReturnScalar(m, n, x->eltype == kComplex);
}
// epsilon(x): the unit roundoff at x, |x| times 2^-52.
void BiEpsilon(Machine& m, int n) {
  double x;
  if (!BiRealScalar(m, BiArg(m, n, 0), &x)) return;
  ReturnScalar(m, n, BiBad(x) ? kMissing : Epsilon(x));
}
void BiMindouble(Machine& m, int n) { ReturnScalar(m, n, data::kDoubleMin); }
void BiMaxdouble(Machine& m, int n) { ReturnScalar(m, n, data::kDoubleMax); }
void BiSmallestdouble(Machine& m, int n) { ReturnScalar(m, n, data::kSmallestDouble); }
void BiAll(Machine& m, int n) { Truth(m, n, true); }
void BiAny(Machine& m, int n) { Truth(m, n, false); }
void BiAllof(Machine& m, int n) { Of(m, n, true); }
void BiAnyof(Machine& m, int n) { Of(m, n, false); }

// minindex(v, k, i, w): i receives the indices of the elements of v that
// hold its k smallest distinct values (for k < 0, its -k largest), in
// order of value and, among ties, of index; w has one row per value
// found: where its indices start in i, and how many elements share it.
// Missing values are left out; fewer distinct values than asked for give
// all there are.
void BiMinindex(Machine& m, int n) {
  ValueRecord *v = BiArg(m, n, 0), *ki = BiArg(m, n, 1), *i = BiArg(m, n, 2), *w = BiArg(m, n, 3);
  double kd;
  if (!m.CheckMatrix(v) || !m.CheckReal(v) || !BiRealScalar(m, ki, &kd)) return;
  if (element_count(v) > 0 && !m.CheckVector(v)) return;
  if (BiBad(kd) || kd != std::trunc(kd)) return (void)BiFail(m, 3300);
  ValueRecord* outs[2] = {i, w};
  if (!m.CheckMatrix(i) || !m.CheckMatrix(w) || !BiDistinctOutputs(m, outs, 2)) return;
  bool largest = kd < 0;
  double groups_wanted = std::fabs(kd);
  const double* x = reals(v);
  std::vector<int64_t> idx;
  for (int64_t k = 0; k < element_count(v); ++k)
    if (!data::is_missing(x[k])) idx.push_back(k);
  std::stable_sort(idx.begin(), idx.end(),
                   [&](int64_t a, int64_t b) { return largest ? x[a] > x[b] : x[a] < x[b]; });
  std::vector<double> found, starts;
  for (size_t p = 0; p < idx.size();) {
    if (double(starts.size() / 2) >= groups_wanted) break;
    size_t q = p;
    while (q < idx.size() && x[idx[q]] == x[idx[p]]) found.push_back(double(idx[q++] + 1));
    starts.push_back(double(p + 1));
    starts.push_back(double(q - p));
    p = q;
  }
  if (!Deliver(m, i, int32_t(found.size()), 1, found)) return;
  if (!Deliver(m, w, int32_t(starts.size() / 2), 2, starts)) return;
  BiReturnVoid(m, n);
}

}  // namespace nuvra::lumo
