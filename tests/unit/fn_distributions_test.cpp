// The statistical and special functions: accuracy against reference values
// computed independently (bc -l at 60 digits with the script
// tests/unit/reference/distributions.bc, or exact identities), inverses
// round-tripping, discrete probabilities summing to 1, the earlier
// algorithms agreeing with the current ones, and every function giving `.`
// for bad arguments.
#include <cmath>
#include <string>
#include <vector>

#include "data/functions/distributions.h"
#include "expr_fixture.h"

namespace nuvra {
namespace {

using testing::ExprTest;
using testing::is_dot;
const double M = data::kMissing;
const double kPi = 3.14159265358979323846;

#define EXPECT_REL(a, b, tol) EXPECT_NEAR((a), (b), (tol) * std::fabs(b)) << #a

TEST(Distributions, NormalAgainstHighPrecisionValues) {
  // bc -l, Taylor series of Phi at 60 digits (distributions.bc).
  struct {
    double z, p;
  } ref[] = {{-3, .001349898031630094526651814767594977},  {-1.5, .066807201268858066004494040979886},
             {-0.5, .308537538725986896362295389391662},   {0.3, .617911422188952637306528963121418},
             {1, .841344746068542948585232545632038},      {1.96, .975002104851779565863415730959163},
             {2.5, .993790334674223864833021895425808}};
  for (auto r : ref) EXPECT_REL(fn::normal(r.z), r.p, 1e-15) << r.z;
  // Newton's method on the same series.
  struct {
    double p, z;
  } inv[] = {{0.025, -1.959963984540054235524594430520552}, {0.1, -1.281551565544600466965103329448743},
             {0.3, -.524400512708040784038289325025123},   {0.6, .253347103135799798798196181424244},
             {0.975, 1.959963984540054235524594430520552}};
  for (auto r : inv) EXPECT_REL(fn::invnormal(r.p), r.z, 1e-15) << r.p;
  // The far tails, by Laplace's continued fraction at 400 digits.
  EXPECT_GT(fn::normal(-37), 0);
  EXPECT_REL(fn::normal(-37), 5.725571222524576822683e-300, 1e-11);
  EXPECT_REL(fn::normal(-20), 2.753624118606233695076e-89, 1e-12);
  EXPECT_REL(fn::chi2tail(1, 1000), 1.795832784800726194589e-219, 1e-11);
  // ln Phi where Phi itself underflows: -z^2/2 - ln sqrt(2 pi) - ln(-z) + ln(1 - 1/z^2 + ...).
  double z = -60, s = 1 - 1 / (z * z) + 3 / std::pow(z, 4) - 15 / std::pow(z, 6);
  EXPECT_REL(fn::lnnormal(z), -z * z / 2 - 0.5 * std::log(2 * kPi) - std::log(-z) + std::log(s), 1e-14);
  EXPECT_REL(fn::lnnormal(-3), std::log(.001349898031630094526651814767594977), 1e-14);
  EXPECT_REL(fn::lnnormal(6), std::log1p(-9.865876450376981e-10), 1e-9);
  // Densities: phi(z), and the scaled and shifted forms.
  EXPECT_REL(fn::normalden(1), std::exp(-0.5) / std::sqrt(2 * kPi), 1e-15);
  EXPECT_REL(fn::normalden(3, 2), fn::normalden(1.5) / 2, 1e-15);
  EXPECT_REL(fn::normalden(4, 1, 2), fn::normalden(1.5) / 2, 1e-15);
  EXPECT_REL(fn::lnnormalden(4, 1, 2), std::log(fn::normalden(1.5) / 2), 1e-14);
  EXPECT_TRUE(is_dot(fn::normalden(1, 0)));
  EXPECT_TRUE(is_dot(fn::lnnormalden(1, 2, -1)));
}

TEST(Distributions, BivariateNormal) {
  // Sheppard: Phi2(0, 0, r) = 1/4 + asin(r) / (2 pi).
  for (double r : {-0.99, -0.8, -0.5, -0.2, 0.1, 0.4, 0.7, 0.93, 0.999})
    EXPECT_NEAR(fn::binormal(0, 0, r), 0.25 + std::asin(r) / (2 * kPi), 1e-15) << r;
  // Independence and the degenerate correlations.
  EXPECT_NEAR(fn::binormal(0.7, -1.2, 0), fn::normal(0.7) * fn::normal(-1.2), 1e-16);
  EXPECT_NEAR(fn::binormal(0.7, -0.2, 1), fn::normal(-0.2), 1e-15);
  EXPECT_NEAR(fn::binormal(0.7, -0.2, -1), fn::normal(0.7) + fn::normal(-0.2) - 1, 1e-15);
  EXPECT_EQ(fn::binormal(-1, -1, -1), 0);
  // Plackett's integral by Simpson's rule in bc (16000 steps), one case per
  // branch.
  EXPECT_NEAR(fn::binormal(1, 2, 0.5), .831860831130880476336, 1e-14);
  EXPECT_NEAR(fn::binormal(0.5, -1, -0.3), .082153783474017525685, 1e-14);
  EXPECT_NEAR(fn::binormal(1, 0.5, 0.95), .689139561783927832446, 1e-14);
  EXPECT_NEAR(fn::binormal(-0.2, 0.4, -0.95), .095573875977370898051, 1e-14);
  // Symmetric in h and k; far arguments are the margins.
  EXPECT_NEAR(fn::binormal(2, -1, 0.6), fn::binormal(-1, 2, 0.6), 1e-16);
  EXPECT_NEAR(fn::binormal(50, 0.3, 0.6), fn::normal(0.3), 1e-15);
  EXPECT_TRUE(is_dot(fn::binormal(0, 0, 1.0001)));
}

TEST(Distributions, ClosedFormsOfTheContinuousFamilies) {
  for (double x : {0.01, 0.5, 2.0, 7.0, 30.0}) {
    // chi2 with 2 df is exponential; gamma with shape 1 too.
    EXPECT_REL(fn::chi2(2, x), -std::expm1(-x / 2), 1e-14) << x;
    EXPECT_REL(fn::chi2tail(2, x), std::exp(-x / 2), 1e-14) << x;
    EXPECT_REL(fn::gammap(1, x), -std::expm1(-x), 1e-14) << x;
    // Shape 1/2: P(1/2, x) = erf(sqrt x).
    EXPECT_REL(fn::gammap(0.5, x), std::erf(std::sqrt(x)), 1e-14) << x;
    EXPECT_REL(fn::gammaptail(0.5, x), std::erfc(std::sqrt(x)), 1e-13) << x;
    // t with 1 df is Cauchy; with 2 df it has a closed form.
    EXPECT_REL(fn::ttail(1, x), 0.5 - std::atan(x) / kPi, 1e-14) << x;
    EXPECT_REL(fn::ttail(2, x), 0.5 - x / (2 * std::sqrt(2 + x * x)), 1e-13) << x;
    EXPECT_REL(fn::tden(1, x), 1 / (kPi * (1 + x * x)), 1e-14) << x;
    EXPECT_REL(fn::tprob(1, -x), 1 - 2 * std::atan(x) / kPi, 1e-13) << x;
    // F(1, n) is t squared.
    EXPECT_REL(fn::Ftail(1, 7, x * x), 2 * fn::ttail(7, x), 1e-13) << x;
    EXPECT_REL(fn::F(1, 7, x * x), 1 - 2 * fn::ttail(7, x), 1e-13) << x;
    EXPECT_REL(fn::Fden(2, 2, x), 1 / ((1 + x) * (1 + x)), 1e-14) << x;
    // Gamma density with shape 2, scale 3, shift 1.
    EXPECT_REL(fn::gammaden(2, 3, 1, 1 + x), x / 9 * std::exp(-x / 3), 1e-14) << x;
    EXPECT_REL(fn::dgammapdx(3, x), x * x * std::exp(-x) / 2, 1e-14) << x;
    EXPECT_REL(fn::dgammapdxdx(3, x), (2 * x - x * x) * std::exp(-x) / 2, 1e-13) << x;
    // The link functions invert one another.
    EXPECT_REL(fn::invlogit(fn::logit(x / 31)), x / 31, 1e-14) << x;
    EXPECT_REL(fn::invcloglog(fn::cloglog(x / 31)), x / 31, 1e-14) << x;
  }
  for (double x : {0.05, 0.3, 0.77}) {
    EXPECT_REL(fn::ibeta(2.5, 1, x), std::pow(x, 2.5), 1e-14);
    EXPECT_REL(fn::ibeta(1, 3.5, x), 1 - std::pow(1 - x, 3.5), 1e-14);
    EXPECT_REL(fn::ibetatail(1, 3.5, x), std::pow(1 - x, 3.5), 1e-14);
    EXPECT_REL(fn::betaden(2, 3, x), 12 * x * (1 - x) * (1 - x), 1e-14);
  }
  // Points outside the support are no error.
  EXPECT_EQ(fn::chi2(3, -1), 0);
  EXPECT_EQ(fn::chi2tail(3, -1), 1);
  EXPECT_EQ(fn::ibeta(2, 3, 1.5), 1);
  EXPECT_EQ(fn::betaden(2, 3, -0.1), 0);
  EXPECT_EQ(fn::gammaden(2, 3, 1, 0.5), 0);
  // The gamma family at known points.
  EXPECT_REL(fn::lngamma(0.5), 0.5 * std::log(kPi), 1e-15);
  EXPECT_REL(fn::lngamma(-0.5), std::log(2 * std::sqrt(kPi)), 1e-15);
  EXPECT_REL(fn::digamma(1), -0.57721566490153286061, 1e-15);
  EXPECT_REL(fn::digamma(0.5), -0.57721566490153286061 - 2 * std::log(2.0), 1e-15);
  EXPECT_REL(fn::trigamma(1), kPi * kPi / 6, 1e-15);
  EXPECT_REL(fn::lnfactorial(10), std::log(3628800.0), 1e-15);
  EXPECT_EQ(fn::comb(52, 5), 2598960);
  EXPECT_EQ(fn::comb(60, 30), 118264581564861424.0);  // python3 math.comb
  EXPECT_EQ(fn::comb(5, 7), 0);
  EXPECT_TRUE(is_dot(fn::comb(2000, 1000)));  // overflows
}

TEST(Distributions, DerivativesOfTheIncompleteGamma) {
  // At a = 1, dP/da = -(e^-x ln x + E1(x) + gamma e^-x): bc, E1 by its series.
  EXPECT_REL(fn::dgammapda(1, 1), -.431729710634898696132, 1e-12);  // the series branch
  EXPECT_REL(fn::dgammapda(1, 5), -.015881851500723457103, 1e-12);  // the integral branch
  // The others against central differences of the functions they differentiate.
  for (auto [a, x] : {std::pair{0.7, 0.4}, {2.5, 1.0}, {2.5, 6.0}, {10.0, 14.0}, {40.0, 30.0}}) {
    double h = 1e-5 * a;
    EXPECT_NEAR(fn::dgammapda(a, x), (fn::gammap(a + h, x) - fn::gammap(a - h, x)) / (2 * h), 1e-8) << a << x;
    EXPECT_NEAR(fn::dgammapdada(a, x), (fn::dgammapda(a + h, x) - fn::dgammapda(a - h, x)) / (2 * h), 1e-7)
        << a << " " << x;
    EXPECT_NEAR(fn::dgammapdadx(a, x), (fn::dgammapdx(a + h, x) - fn::dgammapdx(a - h, x)) / (2 * h), 1e-8)
        << a << " " << x;
  }
}

TEST(Distributions, NonCentralFamilies) {
  // With 1 df the non-central chi2 is (Z + sqrt(np))^2.
  for (auto [np, x] : {std::pair{0.5, 0.3}, {4.0, 2.0}, {9.0, 16.0}, {25.0, 20.0}}) {
    double ref = fn::normal(std::sqrt(x) - std::sqrt(np)) - fn::normal(-std::sqrt(x) - std::sqrt(np));
    EXPECT_REL(fn::nchi2(1, np, x), ref, 1e-12) << np << " " << x;
  }
  // The non-central beta as a Poisson mixture of central ones.
  for (auto [a, b, np, x] : {std::tuple{2.0, 3.0, 1.5, 0.4}, {0.5, 4.0, 10.0, 0.2}, {5.0, 2.0, 30.0, 0.8}}) {
    double ref = 0, w = std::exp(-np / 2);
    for (int j = 0; j < 400; ++j, w *= np / 2 / j) ref += w * fn::ibeta(a + j, b, x);
    EXPECT_REL(fn::nibeta(a, b, np, x), ref, 1e-12);
    double h = 1e-6;
    EXPECT_REL(fn::nbetaden(a, b, np, x), (fn::nibeta(a, b, np, x + h) - fn::nibeta(a, b, np, x - h)) / (2 * h), 1e-7);
  }
  // Non-central F of 1 df: the same mixture over F of 1 + 2j df.
  {
    double d2 = 12, np = 3, f = 2.5, ref = 0, w = std::exp(-np / 2);
    for (int j = 0; j < 300; ++j, w *= np / 2 / j) ref += w * fn::Ftail(1 + 2 * j, d2, f / (1 + 2 * j));
    EXPECT_REL(fn::nFtail(1, d2, np, f), ref, 1e-12);
    double h = 1e-6;
    EXPECT_REL(fn::nFden(1, d2, np, f), (fn::nFtail(1, d2, np, f - h) - fn::nFtail(1, d2, np, f + h)) / (2 * h), 1e-7);
  }
  // No non-centrality: the central functions.
  EXPECT_EQ(fn::nchi2(3, 0, 2), fn::chi2(3, 2));
  EXPECT_EQ(fn::nFtail(3, 8, 0, 2), fn::Ftail(3, 8, 2));
  // A p above the central value has no non-centrality.
  EXPECT_TRUE(is_dot(fn::npnchi2(3, 4, 0.9)));
}

TEST(Distributions, InversesRoundTrip) {
  const double tol = 1e-12;
  for (double p : {1e-10, 0.001, 0.05, 0.3, 0.5, 0.8, 0.99, 0.999999}) {
    EXPECT_REL(fn::normal(fn::invnormal(p)), p, tol) << p;
    for (double df : {0.5, 1.0, 3.0, 17.5, 300.0}) {
      EXPECT_REL(fn::chi2(df, fn::invchi2(df, p)), p, tol) << df << " " << p;
      EXPECT_REL(fn::chi2tail(df, fn::invchi2tail(df, p)), p, tol) << df << " " << p;
      EXPECT_REL(fn::ttail(df, fn::invttail(df, p)), p, tol) << df << " " << p;
      EXPECT_REL(fn::F(df, 7, fn::invF(df, 7, p)), p, tol) << df << " " << p;
      EXPECT_REL(fn::Ftail(4, df, fn::invFtail(4, df, p)), p, tol) << df << " " << p;
      EXPECT_REL(fn::gammap(df, fn::invgammap(df, p)), p, tol) << df << " " << p;
      EXPECT_REL(fn::gammaptail(df, fn::invgammaptail(df, p)), p, tol) << df << " " << p;
      EXPECT_REL(fn::ibeta(df, 2.5, fn::invibeta(df, 2.5, p)), p, tol) << df << " " << p;
      // A small upper tail of the beta lies at x near 1, where x itself
      // cannot carry the digits: there the round trip goes from x.
      if (p >= 0.05) {
        EXPECT_REL(fn::ibetatail(2.5, df, fn::invibetatail(2.5, df, p)), p, tol) << df << " " << p;
      }
      // The upper tail of one beta is the lower tail of its mirror image.
      EXPECT_NEAR(fn::invibetatail(2.5, df, p), 1 - fn::invibeta(df, 2.5, p), 1e-15) << df << " " << p;
    }
    if (p < 1e-6 || p > 0.99999) continue;
    EXPECT_REL(fn::nchi2(3, 5, fn::invnchi2(3, 5, p)), p, tol) << p;
    // Only p below the central value chi2(3, 9) = 0.97 has a non-centrality.
    if (p < 0.97) {
      EXPECT_REL(fn::nchi2(3, fn::npnchi2(3, 9, p), 9), p, tol) << p;
    }
    EXPECT_REL(fn::nFtail(3, 11, 4, fn::invnFtail(3, 11, 4, p)), p, tol) << p;
    EXPECT_REL(fn::nibeta(2, 3, 4, fn::invnibeta(2, 3, 4, p)), p, tol) << p;
    // The discrete inverses solve for the probability parameter.
    EXPECT_REL(fn::binomial(20, 6, fn::invbinomial(20, 6, p)), p, tol) << p;
    EXPECT_REL(fn::binomialtail(20, 6, fn::invbinomialtail(20, 6, p)), p, tol) << p;
    EXPECT_REL(fn::poisson(fn::invpoisson(7, p), 7), p, tol) << p;
    EXPECT_REL(fn::poissontail(fn::invpoissontail(7, p), 7), p, tol) << p;
    EXPECT_REL(fn::nbinomial(2.5, 4, fn::invnbinomial(2.5, 4, p)), p, tol) << p;
    EXPECT_REL(fn::nbinomialtail(2.5, 4, fn::invnbinomialtail(2.5, 4, p)), p, tol) << p;
  }
  // I_y(1/2, 2) = (3 sqrt(y) - y sqrt(y)) / 2: for tiny p, y = 4 p^2 / 9.
  EXPECT_REL(fn::invibeta(0.5, 2, 1e-10), 4e-20 / 9, 1e-9);
  EXPECT_REL(fn::Ftail(4, 1, fn::invFtail(4, 1, 1e-10)), 1e-10, tol);
  // Closed-form inverses.
  EXPECT_REL(fn::invchi2(2, 0.75), -2 * std::log(0.25), 1e-14);
  EXPECT_REL(fn::invttail(1, 0.1), std::tan(kPi * 0.4), 1e-14);
  EXPECT_REL(fn::invt_v6(1, 0.8), std::tan(kPi * 0.4), 1e-14);
  EXPECT_REL(fn::invchi_v6(2, 0.25), -2 * std::log(0.25), 1e-14);
}

TEST(Distributions, DiscreteProbabilitiesSumToOne) {
  auto sum_to = [](auto pmf, double last) {
    double s = 0;
    for (double k = 0; k <= last; ++k) s += pmf(k);
    return s;
  };
  for (auto [n, p] : {std::pair{1.0, 0.5}, {10.0, 0.3}, {200.0, 0.01}, {1000.0, 0.77}}) {
    EXPECT_NEAR(sum_to([&](double k) { return fn::binomialp(n, k, p); }, n), 1, 1e-13) << n;
    // The distribution function is the running sum; the tail its complement.
    double s = 0;
    for (double k = 0; k < std::min(n, 40.0); ++k) {
      s += fn::binomialp(n, k, p);
      EXPECT_NEAR(fn::binomial(n, k, p), s, 1e-13) << n << " " << k;
      EXPECT_NEAR(fn::binomialtail(n, k + 1, p), 1 - s, 1e-13) << n << " " << k;
    }
  }
  // Exact: 10 tosses of a fair coin, P(X = 3) = 120 / 1024.
  EXPECT_REL(fn::binomialp(10, 3, 0.5), 120.0 / 1024, 1e-15);
  for (double m : {0.2, 3.0, 45.5}) {
    EXPECT_NEAR(sum_to([&](double k) { return fn::poissonp(m, k); }, 400), 1, 1e-13) << m;
    EXPECT_NEAR(fn::poisson(m, 4), sum_to([&](double k) { return fn::poissonp(m, k); }, 4), 1e-14) << m;
    EXPECT_NEAR(fn::poissontail(m, 5), 1 - fn::poisson(m, 4), 1e-14) << m;
  }
  EXPECT_REL(fn::poissonp(2, 3), 8 * std::exp(-2.0) / 6, 1e-15);
  for (auto [n, p] : {std::pair{1.0, 0.5}, {2.5, 0.3}, {12.0, 0.8}}) {
    EXPECT_NEAR(sum_to([&](double k) { return fn::nbinomialp(n, k, p); }, 2000), 1, 1e-13) << n;
    EXPECT_NEAR(fn::nbinomial(n, 6, p), sum_to([&](double k) { return fn::nbinomialp(n, k, p); }, 6), 1e-14);
    EXPECT_NEAR(fn::nbinomialtail(n, 7, p), 1 - fn::nbinomial(n, 6, p), 1e-14);
  }
  // Geometric: n = 1, P(X = k) = p (1-p)^k.
  EXPECT_REL(fn::nbinomialp(1, 3, 0.25), 0.25 * 0.75 * 0.75 * 0.75, 1e-15);
  for (auto [N, K, n] : {std::tuple{50.0, 10.0, 5.0}, {20.0, 15.0, 12.0}, {1000.0, 400.0, 300.0}}) {
    EXPECT_NEAR(sum_to([&](double k) { return fn::hypergeometricp(N, K, n, k); }, n), 1, 1e-13) << N;
    double lo = std::max(0.0, n + K - N);
    EXPECT_NEAR(fn::hypergeometric(N, K, n, lo + 2),
                fn::hypergeometricp(N, K, n, lo) + fn::hypergeometricp(N, K, n, lo + 1) +
                    fn::hypergeometricp(N, K, n, lo + 2),
                1e-14);
  }
  // Exact, from python3's math.comb and fractions: C(1e5,50100) C(1e5,49900) / C(2e5,1e5).
  EXPECT_REL(fn::hypergeometricp(2e5, 1e5, 1e5, 50100), 0.002391868279435499, 1e-13);
  // Exact: 2 of 5 drawn from 10 marked among 50: C(10,2) C(40,3) / C(50,5).
  EXPECT_REL(fn::hypergeometricp(50, 10, 5, 2), 45.0 * 9880 / 2118760, 1e-14);
}

TEST(Distributions, EarlierAlgorithmsAgreeWithTheCurrentOnes) {
  const double tol = 1e-10;
  for (double x : {0.2, 1.5, 4.0, 25.0}) {
    EXPECT_REL(fn::old_gammap(2.5, x), fn::gammap(2.5, x), tol);
    EXPECT_REL(fn::old_chi2(3, x), fn::chi2(3, x), tol);
    EXPECT_REL(fn::old_chi2tail(3, x), fn::chi2tail(3, x), tol);
    EXPECT_REL(fn::old_F(3, 9, x), fn::F(3, 9, x), tol);
    EXPECT_REL(fn::old_Ftail(3, 9, x), fn::Ftail(3, 9, x), tol);
    EXPECT_REL(fn::old_ttail(6, x), fn::ttail(6, x), tol);
    EXPECT_REL(fn::old_ttail(6, -x), fn::ttail(6, -x), tol);
    EXPECT_REL(fn::old_ibeta(2, 3.5, x / 26), fn::ibeta(2, 3.5, x / 26), tol);
  }
  for (double p : {0.01, 0.4, 0.95}) {
    EXPECT_REL(fn::old_invgammap(2.5, p), fn::invgammap(2.5, p), tol);
    EXPECT_REL(fn::old_invchi2(3, p), fn::invchi2(3, p), tol);
    EXPECT_REL(fn::old_invchi2tail(3, p), fn::invchi2tail(3, p), tol);
    EXPECT_REL(fn::old_invF(3, 9, p), fn::invF(3, 9, p), tol);
    EXPECT_REL(fn::old_invFtail(3, 9, p), fn::invFtail(3, 9, p), tol);
    EXPECT_REL(fn::old_invttail(6, p), fn::invttail(6, p), tol);
    EXPECT_REL(fn::old_invibeta(2, 3.5, p), fn::invibeta(2, 3.5, p), tol);
    EXPECT_REL(fn::old_invnchi2(3, 5, p), fn::invnchi2(3, 5, p), 1e-9);
    EXPECT_REL(fn::old_npnchi2(3, 20, p), fn::npnchi2(3, 20, p), 1e-8);
    EXPECT_REL(fn::old_invnFtail(3, 11, 4, p), fn::invnFtail(3, 11, 4, p), 1e-9);
    EXPECT_REL(fn::old_invnibeta(2, 3, 4, p), fn::invnibeta(2, 3, 4, p), 1e-9);
    EXPECT_REL(fn::old_invbinomial(20, 6, p), fn::invbinomial(20, 6, p), 1e-9);
  }
  for (double k : {0.0, 1.0, 5.0, 12.0, 20.0, 21.0})
    EXPECT_NEAR(fn::old_Binomial(20, k, 0.3), fn::binomialtail(20, k, 0.3), 1e-13) << k;
}

// Every function of the library with bad arguments, through expressions.
struct Case {
  const char* name;
  std::vector<double> args;  // a point inside the domain
  std::vector<int> positive;  // arguments that must be positive
  std::vector<int> integer;   // arguments that must be integers
};

const std::vector<Case>& cases() {
  static const std::vector<Case> k = {
      {"normal", {0.5}, {}, {}}, {"normprob", {0.5}, {}, {}}, {"lnnormal", {0.5}, {}, {}},
      {"invnormal", {0.3}, {0}, {}}, {"invnorm", {0.3}, {0}, {}}, {"norm", {1}, {}, {}},
      {"normalden", {0.5}, {}, {}}, {"normalden", {0.5, 2}, {1}, {}}, {"normalden", {0.5, 1, 2}, {2}, {}},
      {"lnnormalden", {0.5, 1, 2}, {2}, {}}, {"normd", {0.5, 2}, {1}, {}}, {"lnormald", {0.5}, {}, {}},
      {"binormal", {0.5, 0.2, 0.3}, {}, {}}, {"binorm", {0.5, 0.2, 0.3}, {}, {}},
      {"chi2", {3, 2}, {0}, {}}, {"chi2tail", {3, 2}, {0}, {}}, {"chiprob", {3, 2}, {0}, {}},
      {"invchi2", {3, 0.4}, {0, 1}, {}}, {"invchi2tail", {3, 0.4}, {0, 1}, {}},
      {"_chi2_old", {3, 2}, {0}, {}}, {"_chi2tail_old", {3, 2}, {0}, {}},
      {"_invchi2_old", {3, 0.4}, {0, 1}, {}}, {"_invchi2tail_old", {3, 0.4}, {0, 1}, {}},
      {"nchi2", {3, 2, 4}, {0}, {}}, {"nchi", {3, 2, 4}, {0}, {}}, {"invnchi2", {3, 2, 0.4}, {0, 2}, {}},
      {"invnchi", {3, 2, 0.4}, {0, 2}, {}}, {"_invnchi2_old", {3, 2, 0.4}, {0, 2}, {}},
      {"npnchi2", {3, 4, 0.3}, {0, 1, 2}, {}}, {"npnchi", {3, 4, 0.3}, {0, 1, 2}, {}},
      {"_npnchi2_old", {3, 4, 0.3}, {0, 1, 2}, {}},
      {"F", {3, 8, 2}, {0, 1}, {}}, {"Ftail", {3, 8, 2}, {0, 1}, {}}, {"fprob", {3, 8, 2}, {0, 1}, {}},
      {"invF", {3, 8, 0.4}, {0, 1, 2}, {}}, {"invFtail", {3, 8, 0.4}, {0, 1, 2}, {}},
      {"invfprob", {3, 8, 0.4}, {0, 1, 2}, {}}, {"Fden", {3, 8, 2}, {0, 1}, {}},
      {"_F_old", {3, 8, 2}, {0, 1}, {}}, {"_Ftail_old", {3, 8, 2}, {0, 1}, {}},
      {"_invF_old", {3, 8, 0.4}, {0, 1, 2}, {}}, {"_invFtail_old", {3, 8, 0.4}, {0, 1, 2}, {}},
      {"nFden", {3, 8, 2, 1.5}, {0, 1}, {}}, {"nFtail", {3, 8, 2, 1.5}, {0, 1}, {}},
      {"invnFtail", {3, 8, 2, 0.4}, {0, 1, 3}, {}}, {"_invnFtail_old", {3, 8, 2, 0.4}, {0, 1, 3}, {}},
      {"ttail", {5, 1}, {0}, {}}, {"tden", {5, 1}, {0}, {}}, {"tprob", {5, 1}, {0}, {}},
      {"invttail", {5, 0.2}, {0, 1}, {}}, {"_ttail_old", {5, 1}, {0}, {}},
      {"_invttail_old", {5, 0.2}, {0, 1}, {}},
      {"ibeta", {2, 3, 0.4}, {0, 1}, {}}, {"ibetatail", {2, 3, 0.4}, {0, 1}, {}},
      {"_ibeta_old", {2, 3, 0.4}, {0, 1}, {}}, {"invibeta", {2, 3, 0.4}, {0, 1, 2}, {}},
      {"invibetatail", {2, 3, 0.4}, {0, 1, 2}, {}}, {"_invibeta_old", {2, 3, 0.4}, {0, 1, 2}, {}},
      {"betaden", {2, 3, 0.4}, {0, 1}, {}}, {"nbetaden", {2, 3, 1, 0.4}, {0, 1}, {}},
      {"nibeta", {2, 3, 1, 0.4}, {0, 1}, {}}, {"invnibeta", {2, 3, 1, 0.4}, {0, 1, 3}, {}},
      {"_invnibeta_old", {2, 3, 1, 0.4}, {0, 1, 3}, {}},
      {"gammap", {2, 1}, {0}, {}}, {"gammaptail", {2, 1}, {0}, {}}, {"_gammap_old", {2, 1}, {0}, {}},
      {"invgammap", {2, 0.4}, {0, 1}, {}}, {"invgammaptail", {2, 0.4}, {0, 1}, {}},
      {"_invgammap_old", {2, 0.4}, {0, 1}, {}}, {"gammaden", {2, 3, 1, 4}, {0, 1}, {}},
      {"dgammapda", {2, 1}, {0}, {}}, {"dgammapdx", {2, 1}, {0}, {}}, {"dgammapdada", {2, 1}, {0}, {}},
      {"dgammapdadx", {2, 1}, {0}, {}}, {"dgammapdxdx", {2, 1}, {0}, {}},
      {"lngamma", {2.5}, {}, {}}, {"digamma", {2.5}, {}, {}}, {"trigamma", {2.5}, {}, {}},
      {"lnfactorial", {5}, {0}, {0}}, {"lnfact", {5}, {0}, {0}}, {"comb", {7, 3}, {0, 1}, {0, 1}},
      {"binomial", {10, 3, 0.3}, {0, 2}, {0, 1}}, {"binomialtail", {10, 3, 0.3}, {0, 2}, {0, 1}},
      {"Binomial", {10, 3, 0.3}, {0, 2}, {0, 1}}, {"binomialp", {10, 3, 0.3}, {0, 2}, {0, 1}},
      {"_Binomial_old", {10, 3, 0.3}, {0, 2}, {0, 1}}, {"invbinomial", {10, 3, 0.3}, {0, 1, 2}, {0, 1}},
      {"invbinomialtail", {10, 3, 0.3}, {0, 1, 2}, {0, 1}},
      {"_invbinomial_old", {10, 3, 0.3}, {0, 1, 2}, {0, 1}},
      {"poisson", {3, 2}, {0}, {1}}, {"poissontail", {3, 2}, {0}, {1}}, {"poissonp", {3, 2}, {0}, {1}},
      {"invpoisson", {2, 0.4}, {0, 1}, {0}}, {"invpoissontail", {2, 0.4}, {0, 1}, {0}},
      {"nbinomial", {2.5, 3, 0.4}, {0, 2}, {1}}, {"nbinomialtail", {2.5, 3, 0.4}, {0, 2}, {1}},
      {"nbinomialp", {2.5, 3, 0.4}, {0, 2}, {1}}, {"invnbinomial", {2.5, 3, 0.4}, {0, 1, 2}, {1}},
      {"invnbinomialtail", {2.5, 3, 0.4}, {0, 1, 2}, {1}},
      {"hypergeometric", {50, 10, 5, 2}, {0, 1, 2}, {0, 1, 2, 3}},
      {"hypergeometricp", {50, 10, 5, 2}, {0, 1, 2}, {0, 1, 2, 3}},
      {"logit", {0.3}, {0}, {}}, {"invlogit", {0.3}, {}, {}}, {"cloglog", {0.3}, {0}, {}},
      {"invcloglog", {0.3}, {}, {}},
      {"rnormal", {1, 2}, {1}, {}}, {"rbeta", {2, 3}, {0, 1}, {}}, {"rgamma", {2, 3}, {0, 1}, {}},
      {"rchi2", {3}, {0}, {}}, {"rt", {3}, {0}, {}}, {"rpoisson", {3}, {0}, {}},
      {"rbinomial", {10, 0.3}, {0, 1}, {0}}, {"rnbinomial", {2.5, 0.3}, {0, 1}, {}},
      {"rhypergeometric", {50, 10, 5}, {0, 1, 2}, {0, 1, 2}},
  };
  return k;
}

std::string call_text(const Case& c, int pos, const std::string& replacement) {
  std::string s = std::string(c.name) + "(";
  for (size_t k = 0; k < c.args.size(); ++k) {
    char buf[40];
    std::snprintf(buf, sizeof buf, "%.17g", c.args[k]);
    s += (k ? "," : "") + (static_cast<int>(k) == pos ? replacement : std::string(buf));
  }
  return s + ")";
}

TEST_F(ExprTest, EveryFunctionGivesMissingForBadArguments) {
  for (const Case& c : cases()) {
    double v = num(call_text(c, -1, ""));
    EXPECT_FALSE(data::is_missing(v)) << call_text(c, -1, "");
    for (int k = 0; k < static_cast<int>(c.args.size()); ++k) {
      EXPECT_TRUE(is_dot(num(call_text(c, k, ".")))) << call_text(c, k, ".");
      EXPECT_TRUE(is_dot(num(call_text(c, k, ".a")))) << call_text(c, k, ".a");
      // An infinite-like argument finishes with a number or `.`.
      v = num(call_text(c, k, "maxdouble()"));
      EXPECT_TRUE(std::isfinite(v)) << call_text(c, k, "maxdouble()");
      v = num(call_text(c, k, "mindouble()"));
      EXPECT_TRUE(std::isfinite(v)) << call_text(c, k, "mindouble()");
    }
    for (int k : c.positive) EXPECT_TRUE(is_dot(num(call_text(c, k, "-1")))) << call_text(c, k, "-1");
    for (int k : c.integer) {
      char buf[40];
      std::snprintf(buf, sizeof buf, "%.17g", c.args[static_cast<size_t>(k)] + 0.5);
      EXPECT_TRUE(is_dot(num(call_text(c, k, buf)))) << call_text(c, k, buf);
    }
  }
}

TEST_F(ExprTest, LegacyNamesAndMachineConstants) {
  EXPECT_EQ(num("maxbyte()"), 100);
  EXPECT_EQ(num("minint()"), -32767);
  EXPECT_EQ(num("invnorm(.975)"), num("invnormal(.975)"));
  EXPECT_EQ(num("norm(1.5)"), num("normal(1.5)"));
  EXPECT_EQ(num("lnfact(7)"), num("lnfactorial(7)"));
  EXPECT_EQ(num("Binomial(10,3,.3)"), num("binomialtail(10,3,.3)"));
  EXPECT_EQ(num("tprob(5,-2)"), 2 * num("ttail(5,2)"));
  EXPECT_EQ(num("chiprob(3,2)"), num("chi2tail(3,2)"));
  EXPECT_EQ(num("normd(1,2)"), num("normalden(1,2)"));
  // Old names only below version 7: invt(df, p) is two-sided.
  EXPECT_EQ(compile("invt(10, .95)"), 133);
  ip.version = 600;
  EXPECT_NEAR(num("invt(10, .95)"), num("invttail(10, .025)"), 1e-13);
  EXPECT_NEAR(num("invt(10, .95)"), 2.228138851986274, 1e-12);  // published two-sided 5% point of t(10)
  EXPECT_EQ(num("invchi(4, .3)"), num("invchi2tail(4, .3)"));
  EXPECT_EQ(compile("invt(10)"), 198);
  EXPECT_EQ(compile("normalden(1,2,3,4)"), 198);
  EXPECT_EQ(compile("rnormal(1,2,3)"), 198);
}

}  // namespace
}  // namespace nuvra
