// Small dense complex matrices for checking Lumo's decompositions from
// outside: products, norms, random and ill-conditioned test matrices, and
// a fixture that moves them in and out of a session's globals.
#pragma once
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <random>
#include <vector>

#include "data/missing.h"
#include "lumo/value.h"
#include "lumo_test_host.h"

namespace lumo_linalg {

using namespace nuvra::lumo;
using cplx = std::complex<double>;
using nuvra::data::is_missing;

inline constexpr double kTol = 1e-12;

struct M {
  int r = 0, c = 0;
  std::vector<cplx> a;
  cplx& operator()(int i, int j) { return a[size_t(i) * c + j]; }
  cplx operator()(int i, int j) const { return a[size_t(i) * c + j]; }
};

inline M Mul(const M& x, const M& y) {
  M z{x.r, y.c, std::vector<cplx>(size_t(x.r) * y.c)};
  for (int i = 0; i < x.r; ++i)
    for (int j = 0; j < y.c; ++j)
      for (int k = 0; k < x.c; ++k) z(i, j) += x(i, k) * y(k, j);
  return z;
}
inline M ConjT(const M& x) {
  M z{x.c, x.r, std::vector<cplx>(x.a.size())};
  for (int i = 0; i < x.r; ++i)
    for (int j = 0; j < x.c; ++j) z(j, i) = std::conj(x(i, j));
  return z;
}
inline double Norm(const M& x) {
  double s = 0;
  for (cplx v : x.a) s += std::norm(v);
  return std::sqrt(s);
}
// norm(x - y) / norm(y)
inline double RelDiff(const M& x, const M& y) {
  EXPECT_EQ(x.r, y.r);
  EXPECT_EQ(x.c, y.c);
  if (x.r != y.r || x.c != y.c) return 1;
  M d = x;
  for (size_t k = 0; k < d.a.size(); ++k) d.a[k] -= y.a[k];
  return Norm(d) / std::max(Norm(y), 1e-300);
}
inline M Identity(int n) {
  M z{n, n, std::vector<cplx>(size_t(n) * n)};
  for (int i = 0; i < n; ++i) z(i, i) = 1;
  return z;
}
inline M Diag(const M& v, int r, int c) {
  M z{r, c, std::vector<cplx>(size_t(r) * c)};
  for (size_t k = 0; k < v.a.size(); ++k) z(int(k), int(k)) = v.a[k];
  return z;
}

inline M Random(int r, int c, unsigned seed, bool complex = false) {
  std::mt19937_64 g(seed);
  std::uniform_real_distribution<double> u(-1, 1);
  M z{r, c, std::vector<cplx>(size_t(r) * c)};
  for (cplx& v : z.a) v = complex ? cplx(u(g), u(g)) : cplx(u(g), 0);
  return z;
}
// The n x n Hilbert matrix: condition number about 1.5e10 for n = 8.
inline M Hilbert(int n) {
  M z{n, n, std::vector<cplx>(size_t(n) * n)};
  for (int i = 0; i < n; ++i)
    for (int j = 0; j < n; ++j) z(i, j) = 1.0 / (i + j + 1);
  return z;
}
// Q1 diag(1, 1e-3, ..., 1e-14) Q2: condition number 1e14.
inline M IllConditioned(int n, unsigned seed) {
  M q1 = Random(n, n, seed), q2 = Random(n, n, seed + 1);
  // Orthonormalise by Gram-Schmidt twice.
  for (M* q : {&q1, &q2})
    for (int pass = 0; pass < 2; ++pass)
      for (int j = 0; j < n; ++j) {
        for (int k = 0; k < j; ++k) {
          cplx d = 0;
          for (int i = 0; i < n; ++i) d += std::conj((*q)(i, k)) * (*q)(i, j);
          for (int i = 0; i < n; ++i) (*q)(i, j) -= d * (*q)(i, k);
        }
        double s = 0;
        for (int i = 0; i < n; ++i) s += std::norm((*q)(i, j));
        for (int i = 0; i < n; ++i) (*q)(i, j) /= std::sqrt(s);
      }
  M d = Identity(n);
  for (int i = 0; i < n; ++i) d(i, i) = std::pow(10.0, -14.0 * i / (n - 1));
  return Mul(Mul(q1, d), q2);
}

struct LinalgFixture : LumoFixture {
  void Set(const char* name, const M& x) {
    bool complex = false;
    for (cplx v : x.a) complex |= v.imag() != 0;
    Values& vals = session.values();
    ValueRecord* v = vals.FindGlobal(name);
    if (!v) v = vals.crexternal(name);
    ASSERT_NE(v, nullptr);
    ASSERT_EQ(vals.Reshape(v, complex ? kComplex : kReal, x.r, x.c), 0);
    for (size_t k = 0; k < x.a.size(); ++k) {
      if (complex) {
        reals(v)[2 * k] = x.a[k].real();
        reals(v)[2 * k + 1] = x.a[k].imag();
      } else {
        reals(v)[k] = x.a[k].real();
      }
    }
  }
  M Get(const char* name) {
    ValueRecord* v = session.values().FindGlobal(name);
    EXPECT_NE(v, nullptr) << name;
    if (!v) return {};
    M z{v->rows, v->cols, std::vector<cplx>(size_t(element_count(v)))};
    EXPECT_TRUE(v->eltype == kReal || v->eltype == kComplex) << name;
    for (size_t k = 0; k < z.a.size(); ++k)
      z.a[k] = v->eltype == kComplex ? cplx(reals(v)[2 * k], reals(v)[2 * k + 1]) : cplx(reals(v)[k], 0);
    return z;
  }
  bool AllMissing(const char* name) {
    M z = Get(name);
    for (cplx v : z.a)
      if (!is_missing(v.real())) return false;
    return !z.a.empty();
  }
};

}  // namespace lumo_linalg
