// Decompositions through LAPACK, checked by putting the factors back
// together (A = LU, QR, U S V', V L V') on random and ill-conditioned
// matrices, and against small cases worked by hand.
//
// The tolerance: every factorisation here is backward stable, so the
// reconstruction error relative to norm(A) is a modest multiple of
// n * eps (about 2e-15 for n = 8) whatever A's condition number.  1e-12
// leaves room for growth factors without letting a wrong factor pass.
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <random>
#include <string>
#include <vector>

#include "data/missing.h"
#include "lumo/value.h"
#include "lumo_linalg_helpers.h"
#include "lumo_test_host.h"

namespace {

using namespace lumo_linalg;

std::vector<M> Cases(bool complex) {
  return {Random(6, 6, 1, complex), Random(7, 4, 2, complex), Random(4, 7, 3, complex), Hilbert(8),
          IllConditioned(8, 4)};
}

TEST(LumoLinalg, LuReconstructsThePermutedMatrix) {
  for (bool complex : {false, true})
    for (const M& a : Cases(complex)) {
      LinalgFixture f;
      f.Set("A", a);
      ASSERT_EQ(f.Run("L = U = p = .; _lud2_la(A, L, U, p)"), 0) << f.host.errors;
      M l = f.Get("L"), u = f.Get("U"), p = f.Get("p");
      int k = std::min(a.r, a.c);
      ASSERT_EQ(l.r, a.r);
      ASSERT_EQ(l.c, k);
      ASSERT_EQ(u.r, k);
      ASSERT_EQ(p.r, a.r);
      M pa{a.r, a.c, std::vector<cplx>(a.a.size())};
      for (int i = 0; i < a.r; ++i)
        for (int j = 0; j < a.c; ++j) pa(i, j) = a(int(p.a[size_t(i)].real()) - 1, j);
      for (int i = 0; i < l.r; ++i) {
        if (i < k) {
          EXPECT_EQ(l(i, i), cplx(1));
        }
        for (int j = i + 1; j < l.c; ++j) EXPECT_EQ(l(i, j), cplx(0));
      }
      double err = RelDiff(Mul(l, u), pa);
      EXPECT_LT(err, kTol) << a.r << "x" << a.c << (complex ? " complex" : "");
      EXPECT_EQ(RelDiff(f.Get("A"), a), 0);  // A itself is left alone
    }
}

TEST(LumoLinalg, QrReconstructsAndQIsOrthonormal) {
  for (bool complex : {false, true})
    for (const M& a : Cases(complex)) {
      LinalgFixture f;
      f.Set("A", a);
      ASSERT_EQ(f.Run("H = A; tau = R = .; _hqrdp_la(H, tau, R); Q = _hqrdq1(H, tau)"), 0) << f.host.errors;
      M q = f.Get("Q"), r = f.Get("R");
      int k = std::min(a.r, a.c);
      for (int i = 0; i < r.r; ++i)
        for (int j = 0; j < std::min(i, r.c); ++j) EXPECT_EQ(r(i, j), cplx(0));
      EXPECT_LT(RelDiff(Mul(q, r), a), kTol);
      EXPECT_LT(RelDiff(Mul(ConjT(q), q), Identity(k)), kTol);
      // Q'A is R stacked on zeros.
      ASSERT_EQ(f.Run("X = A; _hqrdmult(H, tau, X, 1)"), 0) << f.host.errors;
      M x = f.Get("X");
      for (int i = 0; i < a.r; ++i)
        for (int j = 0; j < a.c; ++j) EXPECT_LT(std::abs(x(i, j) - (i < k ? r(i, j) : cplx(0))), kTol * Norm(a));
      if (a.r == k) {  // Q is square: QR = A
        ASSERT_EQ(f.Run("Y = R; _hqrdmult(H, tau, Y, 0)"), 0) << f.host.errors;
        EXPECT_LT(RelDiff(f.Get("Y"), a), kTol);
      }
    }
}

TEST(LumoLinalg, SvdReconstructsWithDescendingValues) {
  for (bool complex : {false, true})
    for (const M& a : Cases(complex)) {
      LinalgFixture f;
      f.Set("A", a);
      ASSERT_EQ(f.Run("U = s = Vt = t = .; rc = _svd_la(A, U, s, Vt); rc2 = _svd_2(A, t)"), 0) << f.host.errors;
      M u = f.Get("U"), s = f.Get("s"), vt = f.Get("Vt"), t = f.Get("t");
      int k = std::min(a.r, a.c);
      ASSERT_EQ(s.r, k);
      for (int i = 0; i + 1 < k; ++i) EXPECT_GE(s.a[size_t(i)].real(), s.a[size_t(i + 1)].real());
      EXPECT_GE(s.a[size_t(k - 1)].real(), 0);
      EXPECT_LT(RelDiff(Mul(Mul(u, Diag(s, k, k)), vt), a), kTol);
      EXPECT_LT(RelDiff(Mul(ConjT(u), u), Identity(k)), kTol);
      EXPECT_LT(RelDiff(t, s), kTol);
      EXPECT_EQ(f.Get("rc").a[0], cplx(0));
    }
  // By hand: the singular values of diag(3, -2) are 3 and 2.
  LinalgFixture f;
  ASSERT_EQ(f.Run("s = .; _svd_2((3,0\\0,-2), s)"), 0);
  M s = f.Get("s");
  ASSERT_EQ(s.a.size(), 2u);
  EXPECT_NEAR(s.a[0].real(), 3, 1e-15);
  EXPECT_NEAR(s.a[1].real(), 2, 1e-15);
}

TEST(LumoLinalg, SymmetricEigenReconstructs) {
  for (bool complex : {false, true}) {
    std::vector<M> cases = {Hilbert(8), IllConditioned(8, 9)};
    M b = Random(6, 6, 7, complex);
    cases.push_back(Mul(ConjT(b), b));
    for (M a : cases) {
      a = Mul(ConjT(a), a);  // symmetric (Hermitian) whatever a was
      LinalgFixture f;
      f.Set("A", a);
      ASSERT_EQ(f.Run("X = L = .; rc = _symeigen_la(A, X, L)"), 0) << f.host.errors;
      M x = f.Get("X"), l = f.Get("L");
      ASSERT_EQ(l.r, 1);
      for (int i = 0; i + 1 < l.c; ++i) EXPECT_GE(l.a[size_t(i)].real(), l.a[size_t(i + 1)].real());
      EXPECT_LT(RelDiff(Mul(Mul(x, Diag(l, l.c, l.c)), ConjT(x)), a), kTol);
      EXPECT_LT(RelDiff(Mul(ConjT(x), x), Identity(a.r)), kTol);
    }
  }
  // By hand: (2,1 \ 1,2) has eigenvalues 3 and 1.
  LinalgFixture f;
  ASSERT_EQ(f.Run("X = L = .; _symeigen_la((2,1\\1,2), X, L)"), 0);
  M l = f.Get("L");
  EXPECT_NEAR(l.a[0].real(), 3, 1e-15);
  EXPECT_NEAR(l.a[1].real(), 1, 1e-15);
}

TEST(LumoLinalg, GeneralEigenSatisfiesAXEqualsXL) {
  for (bool complex : {false, true}) {
    M a = Random(7, 7, 11, complex);
    LinalgFixture f;
    f.Set("A", a);
    ASSERT_EQ(f.Run("X = L = .; rc = _eigen_la(A, X, L)"), 0) << f.host.errors;
    M x = f.Get("X"), l = f.Get("L");
    EXPECT_LT(RelDiff(Mul(a, x), Mul(x, Diag(l, 7, 7))), kTol);
  }
  // By hand: a rotation by 90 degrees has eigenvalues i and -i.
  LinalgFixture f;
  ASSERT_EQ(f.Run("X = L = .; _eigen_la((0,-1\\1,0), X, L)"), 0) << f.host.errors;
  M l = f.Get("L");
  ASSERT_EQ(l.c, 2);
  EXPECT_NEAR(std::abs(l.a[0].imag()), 1, 1e-15);
  EXPECT_NEAR(l.a[0].imag() + l.a[1].imag(), 0, 1e-15);
  EXPECT_NEAR(std::abs(l.a[0].real()) + std::abs(l.a[1].real()), 0, 1e-15);
}

TEST(LumoLinalg, CholeskyOfPositiveDefiniteMatrices) {
  for (bool complex : {false, true}) {
    M b = Random(6, 6, 21, complex);
    M a = Mul(ConjT(b), b);
    for (int i = 0; i < 6; ++i) a(i, i) += 1;
    for (const M& x : {a, Hilbert(8)}) {
      LinalgFixture f;
      f.Set("A", x);
      ASSERT_EQ(f.Run("_cholesky(A)"), 0) << f.host.errors;
      M l = f.Get("A");
      for (int i = 0; i < l.r; ++i)
        for (int j = i + 1; j < l.c; ++j) EXPECT_EQ(l(i, j), cplx(0));
      EXPECT_LT(RelDiff(Mul(l, ConjT(l)), x), kTol);
    }
  }
  // By hand: (4,2 \ 2,5) = (2,0 \ 1,2)(2,1 \ 0,2).
  LinalgFixture f;
  ASSERT_EQ(f.Run("A = (4,2\\2,5); _cholesky(A); B = (1,2\\2,1); _cholesky(B); C = (1,.\\.,1); _cholesky(C)"), 0);
  EXPECT_EQ(f.Get("A").a, (std::vector<cplx>{2, 0, 1, 2}));
  EXPECT_TRUE(f.AllMissing("B"));  // not positive definite
  EXPECT_TRUE(f.AllMissing("C"));  // missing values
}

TEST(LumoLinalg, SolveAndInvertByHand) {
  LinalgFixture f;
  // 2x + y = 3, x + 3y = 5: x = 4/5, y = 7/5.
  ASSERT_EQ(f.Run("A = (2,1\\1,3); B = (3\\5); rc = _lusolve_la(A, B)"), 0) << f.host.errors;
  M x = f.Get("B");
  EXPECT_NEAR(x.a[0].real(), 0.8, 1e-15);
  EXPECT_NEAR(x.a[1].real(), 1.4, 1e-15);
  EXPECT_EQ(f.Get("rc").a[0], cplx(0));
  EXPECT_EQ(f.Get("A").a, (std::vector<cplx>{2, 1, 1, 3}));
  // The inverse of (4,7 \ 2,6) is (0.6,-0.7 \ -0.2,0.4).
  ASSERT_EQ(f.Run("A = (4,7\\2,6); rc = _luinv_la(A)"), 0);
  M inv = f.Get("A");
  std::vector<double> want = {0.6, -0.7, -0.2, 0.4};
  for (int k = 0; k < 4; ++k) EXPECT_NEAR(inv.a[size_t(k)].real(), want[size_t(k)], 1e-15);
  // A singular matrix: the position of the zero pivot, missing results.
  ASSERT_EQ(f.Run("S = (1,2\\2,4); B = (1\\1); rc = _lusolve_la(S, B); rc2 = _luinv_la(S)"), 0);
  EXPECT_EQ(f.Get("rc").a[0], cplx(2));
  EXPECT_EQ(f.Get("rc2").a[0], cplx(2));
  EXPECT_TRUE(f.AllMissing("B"));
  EXPECT_TRUE(f.AllMissing("S"));
  // Random systems: the residual is small relative to norm(A) norm(X).
  M a = Random(9, 9, 31), b = Random(9, 3, 32);
  f.Set("A", a);
  f.Set("B", b);
  ASSERT_EQ(f.Run("X = B; _lusolve_la(A, X); Ai = A; _luinv_la(Ai)"), 0);
  M xs = f.Get("X");
  EXPECT_LT(RelDiff(Mul(a, xs), b) / (Norm(a) * Norm(xs) / Norm(b)), kTol);
  EXPECT_LT(RelDiff(Mul(a, f.Get("Ai")), Identity(9)) / (Norm(a) * Norm(f.Get("Ai")) / 3), kTol);
}

TEST(LumoLinalg, BadArgumentsChangeNothing) {
  LinalgFixture f;
  ASSERT_EQ(f.Run("A = (1,2,3\\4,5,6); B = (1\\2); L = 7"), 0);
  EXPECT_EQ(f.Run("_cholesky(A)"), 3205);
  EXPECT_EQ(f.Run("_luinv_la(A)"), 3205);
  EXPECT_EQ(f.Run("_lusolve_la(A, B)"), 3205);
  EXPECT_EQ(f.Run("_lusolve_la((1,2\\3,4), (1,2,3))"), 3200);
  EXPECT_EQ(f.Run("_cholesky(\"a\")"), 3251);
  EXPECT_EQ(f.Run("_lud2_la(A, L, L, B)"), 3002);
  EXPECT_EQ(f.Run("_symeigen_la(A, L, B)"), 3205);
  EXPECT_EQ(f.Get("A").a, (std::vector<cplx>{1, 2, 3, 4, 5, 6}));
  EXPECT_EQ(f.Get("L").a, (std::vector<cplx>{7}));
  EXPECT_EQ(f.Get("B").a, (std::vector<cplx>{1, 2}));
}

// The Moore-Penrose inverse is the one G with AGA = A, GAG = G and AG,
// GA symmetric; the four conditions are checked on matrices of full rank
// and of deficient rank.
TEST(LumoLinalg, GinvrMeetsTheFourPenroseConditions) {
  M deficient = Random(6, 4, 41);
  for (int i = 0; i < 6; ++i) deficient(i, 3) = deficient(i, 0) - 2.0 * deficient(i, 1);  // rank 3
  for (const M& a : {Random(5, 5, 40), Random(7, 3, 42), Random(3, 7, 43), deficient, Hilbert(6)}) {
    LinalgFixture f;
    f.Set("A", a);
    ASSERT_EQ(f.Run("G = ginvr(A)"), 0) << f.host.errors;
    M g = f.Get("G");
    ASSERT_EQ(g.r, a.c);
    ASSERT_EQ(g.c, a.r);
    M ag = Mul(a, g), ga = Mul(g, a);
    // Hilbert(6) has condition number 1.5e7: its inverse is that much larger.
    double tol = a.r == 6 && a.c == 6 ? 1e-6 : kTol;
    EXPECT_LT(RelDiff(Mul(ag, a), a), tol) << a.r << "x" << a.c;
    EXPECT_LT(RelDiff(Mul(ga, g), g), tol) << a.r << "x" << a.c;
    EXPECT_LT(RelDiff(ConjT(ag), ag), tol) << a.r << "x" << a.c;
    EXPECT_LT(RelDiff(ConjT(ga), ga), tol) << a.r << "x" << a.c;
  }
}

TEST(LumoLinalg, GinvrByHandTolAndMissing) {
  LinalgFixture f;
  // diag(2, 0) has the pseudo-inverse diag(1/2, 0); the row (1, 1) has
  // (1, 1)' / 2; a tolerance above every singular value leaves zeros.
  ASSERT_EQ(f.Run("G = ginvr((2,0\\0,0)); R = ginvr((1,1)); Z = ginvr((2,0\\0,1), 5); E = ginvr(J(0,3,.))"), 0)
      << f.host.errors;
  EXPECT_EQ(f.Get("G").a, (std::vector<cplx>{0.5, 0, 0, 0}));
  M r = f.Get("R");
  ASSERT_EQ(r.r, 2);
  ASSERT_EQ(r.c, 1);
  EXPECT_NEAR(r.a[0].real(), 0.5, 1e-15);
  EXPECT_NEAR(r.a[1].real(), 0.5, 1e-15);
  EXPECT_EQ(f.Get("Z").a, (std::vector<cplx>{0, 0, 0, 0}));
  EXPECT_EQ(f.Get("E").r, 3);
  EXPECT_EQ(f.Get("E").c, 0);
  ASSERT_EQ(f.Run("M = ginvr((1,.\\3,4))"), 0);
  EXPECT_TRUE(f.AllMissing("M"));
  EXPECT_EQ(f.Run("M = ginvr(\"a\")"), 3253);
  EXPECT_EQ(f.Run("M = ginvr(C(1))"), 3253);
}

}  // namespace
