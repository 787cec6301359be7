// The Lumo function library the build compiles into llumobase.mlib: the
// file holds every source's function, each is loaded by its first call;
// each one checked against values worked by hand or against the factors
// put back together.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "lumo_linalg_helpers.h"

namespace {

using namespace lumo_linalg;

struct Library : LinalgFixture {
  // The real matrix in the global, row by row.
  std::vector<double> Reals(const char* name) {
    std::vector<double> out;
    for (cplx v : Get(name).a) out.push_back(v.real());
    return out;
  }
  double Scalar(const char* name) {
    M m = Get(name);
    EXPECT_EQ(m.a.size(), 1u) << name;
    return m.a.empty() ? NAN : m.a[0].real();
  }
  void Shape(const char* name, int r, int c) {
    M m = Get(name);
    EXPECT_EQ(m.r, r) << name;
    EXPECT_EQ(m.c, c) << name;
  }
};

void ExpectNear(const std::vector<double>& got, const std::vector<double>& want, double tol, const char* what) {
  ASSERT_EQ(got.size(), want.size()) << what;
  for (size_t k = 0; k < got.size(); ++k) EXPECT_NEAR(got[k], want[k], tol) << what << " element " << k;
}

// The library file as the build wrote it, read byte by byte as the file
// format lays it out: a little-endian header of the current version whose
// index names exactly the functions of the source files, each member a
// function whose code fills its stated size.
TEST(LumoLibrary, TheBuiltLibraryIndexesEverySourceFile) {
  std::ifstream in(kTestLumoLibrary, std::ios::binary);
  ASSERT_TRUE(in) << kTestLumoLibrary;
  std::string b((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  auto u32 = [&](size_t at) {
    uint32_t w = 0;
    for (int k = 3; k >= 0; --k) w = (w << 8) | uint8_t(b.at(at + size_t(k)));
    return w;
  };
  auto u16 = [&](size_t at) { return uint16_t(uint8_t(b.at(at)) | uint8_t(b.at(at + 1)) << 8); };
  ASSERT_GE(b.size(), 16u);
  EXPECT_EQ(b.substr(0, 4), std::string("\x81\x92\xA7\xB9"));
  EXPECT_EQ(b[4], 2) << "little-endian header";
  EXPECT_EQ(u16(6), 3) << "current version";
  uint32_t count = u32(8), capacity = u32(12);
  std::vector<std::string> want = ShippedFunctionNames();
  ASSERT_GT(want.size(), 20u);
  ASSERT_EQ(count, want.size());
  ASSERT_GE(capacity, count);
  ASSERT_GE(b.size(), 16 + size_t(capacity) * (4 + 4 + 33));
  std::vector<std::string> names;
  size_t names_at = 16 + 8 * size_t(capacity);
  for (uint32_t k = 0; k < count; ++k) {
    const char* slot = b.data() + names_at + 33 * k;
    names.emplace_back(slot, strnlen(slot, 33));
    for (uint32_t off : {u32(16 + 4 * k), u32(16 + 4 * capacity + 4 * k)}) {
      ASSERT_LE(size_t(off) + 18, b.size()) << names.back();
    }
    // The little-endian copy: its code size in bytes and words agree, it
    // lies inside the file, and it is a function.
    size_t at = u32(16 + 4 * capacity + 4 * k);
    EXPECT_EQ(u32(at), 4 * u32(at + 4)) << names.back();
    EXPECT_LE(at + 18 + u32(at), b.size()) << names.back();
    EXPECT_EQ(u16(at + 14), 2) << names.back() << " is a function";
  }
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, want);
}

TEST(LumoLibrary, EveryShippedFunctionLoadsFromTheBuiltLibraryFlaggedAutoloaded) {
  LumoFixture f;
  size_t code_bytes = 0;
  for (const std::string& name : ShippedFunctionNames()) {
    EXPECT_EQ(f.session.values().FindFunction(name), nullptr) << name;
    FunctionRecord* fn = f.session.values().FindOrLoadFunction(name);
    ASSERT_NE(fn, nullptr) << name << ": " << f.host.errors;
    EXPECT_EQ(std::string(fn->name), name);
    EXPECT_TRUE(fn->autoloaded) << name;
    EXPECT_EQ(f.session.libraries().Origin(name), "llumobase.mlib") << name;
    code_bytes += fn->allocated;
  }
  EXPECT_EQ(f.host.errors, "");
  EXPECT_EQ(f.host.output, "") << "loading prints nothing";
  EXPECT_EQ(f.session.values().autoloaded_bytes(), code_bytes);
  EXPECT_EQ(f.session.values().FindOrLoadFunction("nosuchfunction"), nullptr);
}

TEST(LumoLibrary, FirstCallDefinesTheFunctionButADefinitionOfTheUsersComesFirst) {
  LumoFixture f;
  EXPECT_EQ(f.session.values().FindFunction("mean"), nullptr);
  ASSERT_EQ(f.Run("m = mean((1, 2 \\ 3, 4))"), 0) << f.host.errors;
  const FunctionRecord* fn = f.session.values().FindFunction("mean");
  ASSERT_NE(fn, nullptr);
  EXPECT_TRUE(fn->autoloaded);
  // A function of the user's own under a library name is the one called.
  LumoFixture g;
  ASSERT_EQ(g.Run("function rowmax(x)\n{\n\treturn(-1)\n}\n"), 0) << g.host.errors;
  ASSERT_EQ(g.Run("r = rowmax((1, 5))"), 0) << g.host.errors;
  EXPECT_EQ(g.session.values().FindFunction("rowmax")->autoloaded, false);
  EXPECT_EQ(reals(g.session.values().FindGlobal("r"))[0], -1);
  // A name in no library is still not found.
  EXPECT_EQ(g.Run("nosuchfunction(1)"), 3499);
  EXPECT_NE(g.host.errors.find("nosuchfunction() not found"), std::string::npos) << g.host.errors;
  // A library function calling another loads that one too.
  LumoFixture h;
  ASSERT_EQ(h.Run("P = pinv((1, 2 \\ 3, 4))"), 0) << h.host.errors;
  EXPECT_NE(h.session.values().FindFunction("svsolve"), nullptr);
}

// The hand example: X = (1,2 \ 3,4 \ 5,9) has means 3 and 5, deviations
// (-2,0,2) and (-3,-1,4): variances 8/2 = 4 and 26/2 = 13, covariance
// (6 + 0 + 8)/2 = 7, correlation 7/sqrt(52).
TEST(LumoLibrary, MeanVarianceCorrelationByHand) {
  Library f;
  ASSERT_EQ(f.Run("X = (1, 2 \\ 3, 4 \\ 5, 9); m = mean(X); V = variance(X); C = correlation(X)"), 0) << f.host.errors;
  f.Shape("m", 1, 2);
  ExpectNear(f.Reals("m"), {3, 5}, 1e-15, "mean");
  ExpectNear(f.Reals("V"), {4, 7, 7, 13}, 1e-14, "variance");
  double r = 7 / std::sqrt(52.0);
  ExpectNear(f.Reals("C"), {1, r, r, 1}, 1e-15, "correlation");
  EXPECT_EQ(f.Reals("C")[0], 1.0);  // exactly
}

TEST(LumoLibrary, FrequencyWeightsActAsRepeatedRows) {
  Library f;
  ASSERT_EQ(f.Run("X = (1, 2 \\ 3, 4 \\ 5, 9); w = (1 \\ 2 \\ 1); m = mean(X, w); V = variance(X, w); "
                  "C = correlation(X, w); Y = (1, 2 \\ 3, 4 \\ 3, 4 \\ 5, 9); mY = mean(Y); VY = variance(Y); "
                  "CY = correlation(Y); m1 = mean(X, 2)"),
            0)
      << f.host.errors;
  // (1 + 6 + 5)/4 and (2 + 8 + 9)/4.
  ExpectNear(f.Reals("m"), {3, 4.75}, 1e-15, "weighted mean");
  ExpectNear(f.Reals("m"), f.Reals("mY"), 1e-15, "weighted mean");
  // Column 1: (4 + 0 + 0 + 4)/3.
  EXPECT_NEAR(f.Reals("V")[0], 8.0 / 3, 1e-14);
  ExpectNear(f.Reals("V"), f.Reals("VY"), 1e-13, "weighted variance");
  ExpectNear(f.Reals("C"), f.Reals("CY"), 1e-14, "weighted correlation");
  // One weight for every row is no weight at all for the mean.
  ExpectNear(f.Reals("m1"), {3, 5}, 1e-15, "scalar weight");
  EXPECT_EQ(f.Run("mean(X, (1 \\ 2))"), 3200);
}

TEST(LumoLibrary, RowsWithMissingValuesAreLeftOut) {
  Library f;
  ASSERT_EQ(f.Run("X = (1, 2 \\ ., 4 \\ 3, 6 \\ 5, .a); m = mean(X); V = variance(X); "
                  "w = (1 \\ 1 \\ . \\ 1); mw = mean((1 \\ 2 \\ 100 \\ 3), w); e = mean(J(2, 2, .))"),
            0)
      << f.host.errors;
  ExpectNear(f.Reals("m"), {2, 4}, 1e-15, "mean");
  // Rows (1,2) and (3,6): deviations (-1,1) and (-2,2).
  ExpectNear(f.Reals("V"), {2, 4, 4, 8}, 1e-14, "variance");
  ExpectNear(f.Reals("mw"), {2}, 1e-15, "missing weight");
  for (double d : f.Reals("e")) EXPECT_TRUE(is_missing(d));
}

TEST(LumoLibrary, CholeskyLuAndQrSolveOnRandomAndIllConditionedMatrices) {
  for (const M& a : {Random(6, 6, 11), Hilbert(8), IllConditioned(8, 12)}) {
    Library f;
    f.Set("A", a);
    f.Set("B", Random(a.r, 3, 13));
    ASSERT_EQ(f.Run("S = A * A' + I(rows(A)); L = cholesky(S); X = lusolve(A, B); Xi = luinv(A); "
                    "Q = qrsolve(A, B); Qi = qrinv(A)"),
              0)
        << f.host.errors;
    M s = f.Get("S"), l = f.Get("L");
    EXPECT_LT(RelDiff(Mul(l, ConjT(l)), s), kTol);
    for (int i = 0; i < l.r; ++i)
      for (int j = i + 1; j < l.c; ++j) EXPECT_EQ(l(i, j), cplx(0));
    // Backward stable solvers: the residual is small next to |A||X|
    // whatever the condition number.
    M b = f.Get("B");
    for (const char* x : {"X", "Q"}) {
      M sol = f.Get(x), r = Mul(a, sol);
      for (size_t k = 0; k < r.a.size(); ++k) r.a[k] -= b.a[k];
      EXPECT_LT(Norm(r) / (Norm(a) * Norm(sol)), kTol) << x;
    }
    // The inverses solve AX = I as well as the solvers do.
    for (const char* x : {"Xi", "Qi"}) {
      M inv = f.Get(x), r = Mul(a, inv);
      EXPECT_LT(RelDiff(r, Identity(a.r)) / (Norm(a) * Norm(inv)), kTol) << x;
    }
  }
}

TEST(LumoLibrary, SolversGiveMissingValuesForSingularMatricesAndLeaveTheirArguments) {
  Library f;
  ASSERT_EQ(f.Run("A = (1, 2 \\ 2, 4); B = (1 \\ 1); X = lusolve(A, B); Xi = luinv(A); Q = qrsolve(A, B); "
                  "L = cholesky(-I(2))"),
            0)
      << f.host.errors;
  // qrsolve() is left out: rounding leaves R[2,2] of this A near 1e-16,
  // not zero, so it finds no exact singularity.
  for (const char* x : {"X", "Xi", "L"})
    for (double d : f.Reals(x)) EXPECT_TRUE(is_missing(d)) << x;
  ExpectNear(f.Reals("A"), {1, 2, 2, 4}, 0, "A untouched");
  ExpectNear(f.Reals("B"), {1, 1}, 0, "B untouched");
}

TEST(LumoLibrary, QrSolveIsLeastSquares) {
  // y = 1 + 2x fitted to (0,1) (1,3) (2,7): the normal equations give
  // b = (2/3, 3): 3b0 + 3b1 = 11 and 3b0 + 5b1 = 17.
  Library f;
  ASSERT_EQ(f.Run("A = (1, 0 \\ 1, 1 \\ 1, 2); y = (1 \\ 3 \\ 7); b = qrsolve(A, y); s = svsolve(A, y); "
                  "Ai = qrinv(A)"),
            0)
      << f.host.errors;
  ExpectNear(f.Reals("b"), {2.0 / 3, 3}, 1e-14, "qrsolve");
  ExpectNear(f.Reals("s"), {2.0 / 3, 3}, 1e-14, "svsolve");
  f.Shape("Ai", 2, 3);
  EXPECT_EQ(f.Run("qrsolve(A', (1 \\ 2))"), 3200);  // fewer rows than columns
}

TEST(LumoLibrary, SvdAndEigensystemsReconstructTheMatrix) {
  for (bool complex : {false, true})
    for (const M& a : {Random(6, 6, 21, complex), Random(7, 4, 22, complex), Random(4, 7, 23, complex), Hilbert(8),
                       IllConditioned(8, 24)}) {
      Library f;
      f.Set("A", a);
      ASSERT_EQ(f.Run("U = s = Vt = .; svd(A, U, s, Vt)"), 0) << f.host.errors;
      M u = f.Get("U"), s = f.Get("s"), vt = f.Get("Vt");
      int k = std::min(a.r, a.c);
      ASSERT_EQ(s.r, k);
      ASSERT_EQ(s.c, 1);
      for (int i = 1; i < k; ++i) EXPECT_GE(s.a[size_t(i - 1)].real(), s.a[size_t(i)].real());
      EXPECT_LT(RelDiff(Mul(Mul(u, Diag(s, k, k)), vt), a), kTol);
      if (a.r != a.c) continue;
      ASSERT_EQ(f.Run("H = A + A'; X = L = .; symeigensystem(H, X, L); Y = M = .; eigensystem(A, Y, M)"), 0)
          << f.host.errors;
      M h = f.Get("H"), x = f.Get("X"), l = f.Get("L");
      EXPECT_LT(RelDiff(Mul(Mul(x, Diag(l, a.r, a.r)), ConjT(x)), h), kTol);
      EXPECT_LT(RelDiff(Mul(ConjT(x), x), Identity(a.r)), kTol);
      M y = f.Get("Y"), ev = f.Get("M");
      EXPECT_LT(RelDiff(Mul(a, y), Mul(y, Diag(ev, a.r, a.r))), 1e-10);
    }
}

TEST(LumoLibrary, PinvMeetsThePenroseConditionsOnARankDeficientMatrix) {
  // A 5 x 3 matrix of rank 2: its third column is the sum of the others.
  M a = Random(5, 2, 31);
  M full{5, 3, std::vector<cplx>(15)};
  for (int i = 0; i < 5; ++i) {
    full(i, 0) = a(i, 0);
    full(i, 1) = a(i, 1);
    full(i, 2) = a(i, 0) + a(i, 1);
  }
  Library f;
  f.Set("A", full);
  ASSERT_EQ(f.Run("P = pinv(A)"), 0) << f.host.errors;
  M p = f.Get("P");
  ASSERT_EQ(p.r, 3);
  ASSERT_EQ(p.c, 5);
  EXPECT_LT(RelDiff(Mul(Mul(full, p), full), full), kTol);
  EXPECT_LT(RelDiff(Mul(Mul(p, full), p), p), kTol);
  M ap = Mul(full, p), pa = Mul(p, full);
  EXPECT_LT(RelDiff(ConjT(ap), ap), kTol);
  EXPECT_LT(RelDiff(ConjT(pa), pa), kTol);
  // Of full rank and square, it is the inverse: pinv((2,0 \ 0,4)) by hand.
  ASSERT_EQ(f.Run("Q = pinv((2, 0 \\ 0, 4))"), 0) << f.host.errors;
  ExpectNear(f.Reals("Q"), {0.5, 0, 0, 0.25}, 1e-15, "diagonal");
}

TEST(LumoLibrary, DeterminantsByHandAndByProducts) {
  Library f;
  ASSERT_EQ(f.Run("d1 = det((1, 2 \\ 3, 4)); d2 = det((0, 1 \\ 1, 0)); d3 = det((2, 0, 0 \\ 0, 3, 0 \\ 0, 0, 4)); "
                  "d4 = det((0, 0, 1 \\ 1, 0, 0 \\ 0, 1, 0)); d5 = det(J(0, 0, .)); d6 = det((1, 2 \\ 2, 4)); "
                  "d7 = det((1, . \\ 0, 1))"),
            0)
      << f.host.errors;
  EXPECT_NEAR(f.Scalar("d1"), -2, 1e-15);
  EXPECT_EQ(f.Scalar("d2"), -1);
  EXPECT_NEAR(f.Scalar("d3"), 24, 1e-14);
  EXPECT_EQ(f.Scalar("d4"), 1);  // a cycle of three: two interchanges
  EXPECT_EQ(f.Scalar("d5"), 1);
  EXPECT_EQ(f.Scalar("d6"), 0);
  EXPECT_TRUE(is_missing(f.Scalar("d7")));
  f.Set("A", Random(7, 7, 41));
  f.Set("B", Random(7, 7, 42));
  ASSERT_EQ(f.Run("dab = det(A * B); da = det(A); db = det(B)"), 0) << f.host.errors;
  EXPECT_NEAR(f.Scalar("dab") / (f.Scalar("da") * f.Scalar("db")), 1, 1e-12);
  EXPECT_EQ(f.Run("det((1, 2))"), 3205);
}

TEST(LumoLibrary, SortAndUniqrows) {
  Library f;
  ASSERT_EQ(f.Run("X = (3, 1 \\ 1, 2 \\ 3, 0 \\ 1, 2 \\ ., 5); a = sort(X, 1); b = sort(X, (1, -2)); c = sort(X, (1, 2)); "
                  "u = uniqrows(X); one = uniqrows((4, 4)); e = sort(J(0, 2, .), 1)"),
            0)
      << f.host.errors;
  // Ties keep their order; missing sorts last.
  double mv = nuvra::data::kMissing;
  ExpectNear(f.Reals("a"), {1, 2, 1, 2, 3, 1, 3, 0, mv, 5}, 0, "sort on column 1");
  ExpectNear(f.Reals("b"), {1, 2, 1, 2, 3, 1, 3, 0, mv, 5}, 0, "then column 2 descending");
  ExpectNear(f.Reals("c"), {1, 2, 1, 2, 3, 0, 3, 1, mv, 5}, 0, "then column 2 ascending");
  ExpectNear(f.Reals("u"), {1, 2, 3, 0, 3, 1, mv, 5}, 0, "distinct rows");
  ExpectNear(f.Reals("one"), {4, 4}, 0, "one row");
  f.Shape("e", 0, 2);
  ASSERT_EQ(f.Run("s = uniqrows((\"b\" \\ \"a\" \\ \"b\")); n = rows(s); t = s[1] + s[2]"), 0) << f.host.errors;
  EXPECT_EQ(f.Scalar("n"), 2);
  ASSERT_EQ(f.Run("ok = (t == \"ab\")"), 0);
  EXPECT_EQ(f.Scalar("ok"), 1);
}

TEST(LumoLibrary, RowAndColumnExtremesIgnoreMissingValues) {
  Library f;
  ASSERT_EQ(f.Run("X = (1, 7, . \\ ., ., . \\ -3, 2, 5); rx = rowmax(X); rn = rowmin(X); cx = colmax(X); "
                  "cn = colmin(X)"),
            0)
      << f.host.errors;
  double mv = nuvra::data::kMissing;
  f.Shape("rx", 3, 1);
  f.Shape("cx", 1, 3);
  ExpectNear(f.Reals("rx"), {7, mv, 5}, 0, "rowmax");
  ExpectNear(f.Reals("rn"), {1, mv, -3}, 0, "rowmin");
  ExpectNear(f.Reals("cx"), {1, 7, 5}, 0, "colmax");
  ExpectNear(f.Reals("cn"), {-3, 2, 5}, 0, "colmin");
}

TEST(LumoLibrary, RangeCountsItsStepsDespiteRounding) {
  Library f;
  ASSERT_EQ(f.Run("a = range(0, .3, .1); b = range(5, 1, 2); c = range(1, 1, 1); d = range(1, 2, -.5); "
                  "e = range(0, 1, .3)"),
            0)
      << f.host.errors;
  ExpectNear(f.Reals("a"), {0, .1, .2, .3}, 1e-15, "0 to .3");
  ExpectNear(f.Reals("b"), {5, 3, 1}, 0, "downwards");
  ExpectNear(f.Reals("c"), {1}, 0, "one value");
  ExpectNear(f.Reals("d"), {1, 1.5, 2}, 0, "the sign of delta is the direction's");
  ExpectNear(f.Reals("e"), {0, .3, .6, .9}, 1e-15, "stops short of b");
  EXPECT_EQ(f.Run("range(1, 2, 0)"), 3300);
  EXPECT_EQ(f.Run("range(1, ., 1)"), 3300);
}

TEST(LumoLibrary, VecVechEditmissingEditvalueMakesymmetric) {
  Library f;
  ASSERT_EQ(f.Run("v = vec((1, 2 \\ 3, 4 \\ 5, 6)); h = vech((1, 2, 3 \\ 4, 5, 6 \\ 7, 8, 9)); "
                  "m = editmissing((1, . \\ .a, 4), 0); x = editvalue((1, 2 \\ 2, 3), 2, -1); "
                  "s = makesymmetric((1, 9 \\ 2, 3)); sv = vec((\"a\", \"b\" \\ \"c\", \"d\")); "
                  "ok = sv == (\"a\" \\ \"c\" \\ \"b\" \\ \"d\"); cv = vec((1, C(0, 2) \\ 3, 4)); "
                  "okc = cv == (1 \\ 3 \\ C(0, 2) \\ 4); sh = vech((\"a\", \"x\" \\ \"b\", \"c\")); "
                  "oks = sh == (\"a\" \\ \"b\" \\ \"c\")"),
            0)
      << f.host.errors;
  ExpectNear(f.Reals("v"), {1, 3, 5, 2, 4, 6}, 0, "vec");
  ExpectNear(f.Reals("h"), {1, 4, 7, 5, 8, 9}, 0, "vech");
  ExpectNear(f.Reals("m"), {1, 0, 0, 4}, 0, "editmissing");
  ExpectNear(f.Reals("x"), {1, -1, -1, 3}, 0, "editvalue");
  ExpectNear(f.Reals("s"), {1, 2, 2, 3}, 0, "makesymmetric");
  EXPECT_EQ(f.Scalar("ok"), 1);
  EXPECT_EQ(f.Scalar("okc"), 1);
  EXPECT_EQ(f.Scalar("oks"), 1);
  EXPECT_EQ(f.Run("vech((1, 2))"), 3205);
}

TEST(LumoLibrary, MaxindexIsMinindexFromTheTop) {
  Library f;
  ASSERT_EQ(f.Run("v = (3, 1, 3, ., 2); i = w = .; maxindex(v, 1, i, w); j = y = .; maxindex(v, 2, j, y)"), 0)
      << f.host.errors;
  ExpectNear(f.Reals("i"), {1, 3}, 0, "the two 3s, by index");
  ExpectNear(f.Reals("w"), {1, 2}, 0, "one value starting at 1, two of it");
  ExpectNear(f.Reals("j"), {1, 3, 5}, 0, "then the 2");
  ExpectNear(f.Reals("y"), {1, 2, 3, 1}, 0, "two values");
}

}  // namespace
