// Transforms and sequences: the discrete Fourier transform in place,
// Chebyshev series, and Halton draws.
#include "lumo/builtins_series.h"

#include <cmath>
#include <complex>
#include <numbers>
#include <utility>
#include <vector>

#include "data/missing.h"
#include "lumo/builtin_args.h"

namespace nuvra::lumo {

namespace {

using cplx = std::complex<double>;
using data::is_missing;
using data::kMissing;

// The discrete Fourier transform of z, in place: sign -1 gives
// sum_k z[k] exp(-2 pi i jk/n), sign +1 the inverse (divided by n).  A
// length that is a power of two takes the radix-2 transform; any other
// length is summed directly.
void Fourier(std::vector<cplx>& z, int sign) {
  const size_t n = z.size();
  if (n < 2) return;
  const double turn = sign * 2 * std::numbers::pi;
  if ((n & (n - 1)) == 0) {
    for (size_t i = 1, j = 0; i < n; ++i) {
      size_t bit = n >> 1;
      for (; j & bit; bit >>= 1) j ^= bit;
      j ^= bit;
      if (i < j) std::swap(z[i], z[j]);
    }
    for (size_t len = 2; len <= n; len <<= 1) {
      const size_t half = len / 2;
      for (size_t k = 0; k < half; ++k) {
        const cplx w = std::polar(1.0, turn * double(k) / double(len));
        for (size_t i = 0; i < n; i += len) {
          cplx u = z[i + k], v = z[i + k + half] * w;
          z[i + k] = u + v;
          z[i + k + half] = u - v;
        }
      }
    }
  } else {
    std::vector<cplx> out(n);
    for (size_t j = 0; j < n; ++j)
      for (size_t k = 0; k < n; ++k) out[j] += z[k] * std::polar(1.0, turn * double((j * k) % n) / double(n));
    z.swap(out);
  }
  if (sign > 0)
    for (cplx& c : z) c /= double(n);
}

// _fft(H), _invfft(H): H, a real or complex vector, becomes its transform
// (complex, same shape).
void Transform(Machine& m, int n, int sign) {
  ValueRecord* h = BiArg(m, n, 0);
  if (!BiNumeric(m, h)) return;
  if (!(h->rows == 1 || h->cols == 1)) return m.FoundWhere(h, "vector", 3201);
  const int64_t count = element_count(h);
  std::vector<cplx> z(static_cast<size_t>(count));
  for (int64_t k = 0; k < count; ++k) {
    double re = h->eltype == kReal ? reals(h)[k] : reals(h)[2 * k];
    double im = h->eltype == kReal ? 0 : reals(h)[2 * k + 1];
    if (is_missing(re) || is_missing(im)) return (void)BiFail(m, 3351);
    z[size_t(k)] = cplx(re, im);
  }
  Fourier(z, sign);
  ValueRecord* r = m.values().NewValue("", kComplex, h->rows, h->cols);
  if (!r) return m.RaiseAllocation();
  for (int64_t k = 0; k < count; ++k) {
    reals(r)[2 * k] = z[size_t(k)].real();
    reals(r)[2 * k + 1] = z[size_t(k)].imag();
  }
  Values::Swap(h, r);
  m.values().Free(r);
  BiReturnVoid(m, n);
}

// A whole number from lo to hi held in a real scalar; false after raising.
bool WholeArg(Machine& m, const ValueRecord* v, double lo, double hi, double* out) {
  if (!BiRealScalar(m, v, out)) return false;
  if (is_missing(*out) || *out < lo || *out > hi || *out != std::floor(*out)) return BiFail(m, 3300);
  return true;
}

}  // namespace

void BiFft(Machine& m, int n) { Transform(m, n, -1); }
void BiInvfft(Machine& m, int n) { Transform(m, n, +1); }

// chebyeval(c, x): sum over k of c[k+1] T_k(x) at every element of x, T_k
// the Chebyshev polynomials of the first kind, by Clenshaw's recurrence.
// A missing coefficient or x gives a missing result.
void BiChebyeval(Machine& m, int n) {
  const ValueRecord *c = BiArg(m, n, 0), *x = BiArg(m, n, 1);
  if (!m.CheckMatrix(c) || !m.CheckReal(c) || !m.CheckMatrix(x) || !m.CheckReal(x)) return;
  if (element_count(c) > 0 && !m.CheckVector(c)) return;
  const int64_t terms = element_count(c);
  bool bad = false;
  for (int64_t k = 0; k < terms; ++k) bad |= is_missing(reals(c)[k]);
  ValueRecord* r = m.values().NewValue("", kReal, x->rows, x->cols);
  if (!r) return m.RaiseAllocation();
  for (int64_t e = 0; e < element_count(x); ++e) {
    const double t = reals(x)[e];
    if (bad || is_missing(t)) {
      reals(r)[e] = kMissing;
      continue;
    }
    double b1 = 0, b2 = 0;
    for (int64_t k = terms - 1; k >= 1; --k) {
      double b0 = 2 * t * b1 - b2 + reals(c)[k];
      b2 = b1;
      b1 = b0;
    }
    double v = terms == 0 ? 0 : t * b1 - b2 + reals(c)[0];
    reals(r)[e] = std::isfinite(v) ? v : kMissing;
  }
  BiReturn(m, n, r);
}

// ghalton(n, base, u): n successive points of the van der Corput sequence
// in base, as a column, each the next point after the one before and the
// first the next after u.  From u = 0 they are the radical inverses of 1,
// 2, 3, ... in that base.  The step is the one Halton and Smith gave,
// which finds the next point from the last without its index.
void BiGhalton(Machine& m, int n) {
  double count, base, u;
  if (!WholeArg(m, BiArg(m, n, 0), 0, 2147483647.0, &count) || !WholeArg(m, BiArg(m, n, 1), 2, 1e9, &base) ||
      !BiRealScalar(m, BiArg(m, n, 2), &u))
    return;
  if (is_missing(u) || u < 0 || u >= 1) return (void)BiFail(m, 3300);
  ValueRecord* r = m.values().NewValue("", kReal, int32_t(count), 1);
  if (!r) return m.RaiseAllocation();
  double x = u;
  for (int32_t k = 0; k < int32_t(count); ++k) {
    const double room = 1 - x - 1e-10;
    double h = 1 / base;
    if (h < room) {
      x += h;
    } else {
      double hh;
      do {
        hh = h;
        h /= base;
      } while (h >= room && h > 0);  // h reaches 0 only for x within 1e-10 of 1
      x += hh + h - 1;
    }
    reals(r)[k] = x;
  }
  BiReturn(m, n, r);
}

}  // namespace nuvra::lumo
