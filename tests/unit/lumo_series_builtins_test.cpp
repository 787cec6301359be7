// The Fourier transform against a direct O(n^2) sum written here, Chebyshev
// series against cos(k acos x), and Halton points against radical
// inverses computed digit by digit.
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <numbers>
#include <random>
#include <string>
#include <vector>

#include "data/missing.h"
#include "lumo/value.h"
#include "lumo_test_host.h"

namespace {

using namespace nuvra::lumo;
using cplx = std::complex<double>;
using nuvra::data::is_missing;

struct SeriesFixture : LumoFixture {
  void SetComplex(const char* name, const std::vector<cplx>& z, bool column) {
    Values& vals = session.values();
    ValueRecord* v = vals.FindGlobal(name);
    if (!v) v = vals.crexternal(name);
    ASSERT_NE(v, nullptr);
    int32_t n = int32_t(z.size());
    ASSERT_EQ(vals.Reshape(v, kComplex, column ? n : 1, column ? 1 : n), 0);
    for (size_t k = 0; k < z.size(); ++k) {
      reals(v)[2 * k] = z[k].real();
      reals(v)[2 * k + 1] = z[k].imag();
    }
  }
  const ValueRecord* Global(const char* name) {
    const ValueRecord* v = session.values().FindGlobal(name);
    EXPECT_NE(v, nullptr) << name;
    return v;
  }
  std::vector<cplx> Complex(const char* name) {
    const ValueRecord* v = Global(name);
    std::vector<cplx> z;
    if (!v) return z;
    EXPECT_EQ(v->eltype, kComplex) << name;
    for (int64_t k = 0; k < element_count(v); ++k) z.emplace_back(reals(v)[2 * k], reals(v)[2 * k + 1]);
    return z;
  }
  std::vector<double> Reals(const char* name) {
    const ValueRecord* v = Global(name);
    if (!v) return {};
    EXPECT_EQ(v->eltype, kReal) << name;
    return std::vector<double>(reals(v), reals(v) + element_count(v));
  }
};

// sum_k z[k] exp(sign 2 pi i jk / n), divided by n for the inverse.
std::vector<cplx> DirectDft(const std::vector<cplx>& z, int sign) {
  const size_t n = z.size();
  std::vector<cplx> out(n);
  for (size_t j = 0; j < n; ++j) {
    for (size_t k = 0; k < n; ++k)
      out[j] += z[k] * std::exp(cplx(0, sign * 2 * std::numbers::pi * double(j) * double(k) / double(n)));
    if (sign > 0) out[j] /= double(n);
  }
  return out;
}

double MaxDiff(const std::vector<cplx>& a, const std::vector<cplx>& b) {
  EXPECT_EQ(a.size(), b.size());
  double d = 0;
  for (size_t k = 0; k < a.size() && k < b.size(); ++k) d = std::max(d, std::abs(a[k] - b[k]));
  return d;
}

TEST(LumoSeries, FftMatchesTheDirectSumAndInvertsIt) {
  std::mt19937_64 g(7);
  std::uniform_real_distribution<double> u(-1, 1);
  // Powers of two take the radix-2 path, the others the direct one.
  for (size_t n : {1u, 2u, 8u, 64u, 1024u, 3u, 12u, 100u}) {
    SeriesFixture f;
    std::vector<cplx> z(n);
    for (cplx& c : z) c = cplx(u(g), u(g));
    f.SetComplex("H", z, n % 2 == 0);
    ASSERT_EQ(f.Run("_fft(H)"), 0) << f.host.errors;
    std::vector<cplx> want = DirectDft(z, -1);
    EXPECT_LT(MaxDiff(f.Complex("H"), want), 1e-12 * double(n)) << n;
    const ValueRecord* h = f.Global("H");
    EXPECT_EQ(h->rows == 1 ? h->cols : h->rows, int32_t(n));  // the shape is kept
    ASSERT_EQ(f.Run("_invfft(H)"), 0);
    EXPECT_LT(MaxDiff(f.Complex("H"), z), 1e-13 * double(n)) << n;
  }
}

TEST(LumoSeries, FftOfRealInputByHand) {
  SeriesFixture f;
  // The transform of (1, 2, 3, 4): (10, -2+2i, -2, -2-2i); of a unit
  // impulse, all ones.
  ASSERT_EQ(f.Run("H = (1, 2, 3, 4); _fft(H); D = (1 \\ 0 \\ 0); _fft(D)"), 0) << f.host.errors;
  std::vector<cplx> h = f.Complex("H");
  std::vector<cplx> want{cplx(10, 0), cplx(-2, 2), cplx(-2, 0), cplx(-2, -2)};
  EXPECT_LT(MaxDiff(h, want), 1e-14);
  EXPECT_LT(MaxDiff(f.Complex("D"), std::vector<cplx>(3, cplx(1, 0))), 1e-15);
  // Failures leave the argument alone.
  ASSERT_EQ(f.Run("M = (1, 2 \\ 3, 4)"), 0);
  EXPECT_EQ(f.Run("_fft(M)"), 3201);
  EXPECT_EQ(f.Run("X = (1, ., 3); _fft(X)"), 3351);
  EXPECT_EQ(f.Reals("M"), (std::vector<double>{1, 2, 3, 4}));
  EXPECT_EQ(f.Run("S = \"a\"; _invfft(S)"), 3251);
}

TEST(LumoSeries, ChebyevalIsTheSumOfCosines) {
  SeriesFixture f;
  // T_k(x) = cos(k acos x) on [-1, 1].
  ASSERT_EQ(f.Run("c = (0.5, -1, 2, 0.25, 3); x = (-1, -0.3, 0, 0.7, 1); y = chebyeval(c, x)"), 0) << f.host.errors;
  std::vector<double> c{0.5, -1, 2, 0.25, 3}, x{-1, -0.3, 0, 0.7, 1}, y = f.Reals("y");
  ASSERT_EQ(y.size(), x.size());
  for (size_t e = 0; e < x.size(); ++e) {
    double want = 0;
    for (size_t k = 0; k < c.size(); ++k) want += c[k] * std::cos(double(k) * std::acos(x[e]));
    EXPECT_NEAR(y[e], want, 1e-13) << x[e];
  }
  // Outside [-1, 1]: T_2(3) = 2*9 - 1 = 17, T_3(3) = 4*27 - 9 = 99.
  ASSERT_EQ(f.Run("z = chebyeval((1, 0, 1, 1), (3 \\ .)); e = chebyeval(J(1, 0, .), 2)"), 0);
  std::vector<double> z = f.Reals("z");
  ASSERT_EQ(z.size(), 2u);
  EXPECT_EQ(z[0], 1 + 17 + 99);
  EXPECT_TRUE(is_missing(z[1]));
  EXPECT_EQ(f.Reals("e"), (std::vector<double>{0}));
  EXPECT_EQ(f.Run("w = chebyeval((1, 2 \\ 3, 4), 1)"), 3201);
}

// The radical inverse of k in base b: k's digits mirrored about the point.
double RadicalInverse(uint64_t k, uint64_t b) {
  double x = 0, scale = 1.0 / double(b);
  for (; k; k /= b, scale /= double(b)) x += double(k % b) * scale;
  return x;
}

TEST(LumoSeries, GhaltonFollowsTheRadicalInverses) {
  SeriesFixture f;
  ASSERT_EQ(f.Run("h2 = ghalton(1000, 2, 0); h3 = ghalton(500, 3, 0); h7 = ghalton(4, 7, 0)"), 0) << f.host.errors;
  std::vector<double> h2 = f.Reals("h2"), h3 = f.Reals("h3");
  ASSERT_EQ(h2.size(), 1000u);
  ASSERT_EQ(h3.size(), 500u);
  for (size_t k = 0; k < h2.size(); ++k) EXPECT_NEAR(h2[k], RadicalInverse(k + 1, 2), 1e-9) << k;
  for (size_t k = 0; k < h3.size(); ++k) EXPECT_NEAR(h3[k], RadicalInverse(k + 1, 3), 1e-9) << k;
  // By hand: base 2 gives 1/2, 1/4, 3/4, 1/8; base 7 gives 1/7 ... 4/7.
  EXPECT_EQ(std::vector<double>(h2.begin(), h2.begin() + 4), (std::vector<double>{0.5, 0.25, 0.75, 0.125}));
  std::vector<double> h7 = f.Reals("h7");
  for (int k = 0; k < 4; ++k) EXPECT_NEAR(h7[size_t(k)], (k + 1) / 7.0, 1e-15);
  EXPECT_EQ(f.Global("h2")->cols, 1);
  // Starting from a point of the sequence continues it: after 3/4 (the
  // third point of base 2) come 1/8 and 5/8.
  ASSERT_EQ(f.Run("s = ghalton(2, 2, 0.75); e = ghalton(0, 2, 0)"), 0);
  std::vector<double> s = f.Reals("s");
  ASSERT_EQ(s.size(), 2u);
  EXPECT_NEAR(s[0], 0.125, 1e-12);
  EXPECT_NEAR(s[1], 0.625, 1e-12);
  EXPECT_EQ(f.Global("e")->rows, 0);
  for (const char* bad : {"ghalton(3, 1, 0)", "ghalton(3, 2, 1)", "ghalton(-1, 2, 0)", "ghalton(2.5, 2, 0)",
                          "ghalton(3, 2, .)", "ghalton(3, 2.5, 0)"})
    EXPECT_EQ(f.Run(std::string("x = ") + bad), 3300) << bad;
}

}  // namespace
