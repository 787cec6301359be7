// Distribution built-ins in Lumo against closed forms: the cases of each
// family whose distribution function has an elementary expression, the
// broadcasting of parameter matrices, missing values, and the message of
// parameters that do not conform.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <string>
#include <vector>

#include "data/missing.h"
#include "lumo/value.h"
#include "lumo_test_host.h"

namespace {

using namespace nuvra::lumo;
using nuvra::data::is_missing;
using nuvra::data::kMissing;
constexpr double M = kMissing;
constexpr double pi = std::numbers::pi;

struct Fixture : LumoFixture {
  ::testing::AssertionResult Is(const std::string& expr, int rows, int cols, std::vector<double> want,
                                double tol = 1e-13) {
    host.errors.clear();
    int rc = Run("x = " + expr);
    if (rc != 0) return ::testing::AssertionFailure() << expr << ": rc " << rc << " " << host.errors;
    ValueRecord* v = session.values().FindGlobal("x");
    if (v->eltype != kReal) return ::testing::AssertionFailure() << expr << ": not real";
    if (v->rows != rows || v->cols != cols)
      return ::testing::AssertionFailure() << expr << ": " << v->rows << "x" << v->cols;
    for (size_t k = 0; k < want.size(); ++k) {
      double got = reals(v)[k];
      bool same = is_missing(want[k]) ? got == want[k] : std::abs(got - want[k]) <= tol * (1 + std::abs(want[k]));
      if (!same)
        return ::testing::AssertionFailure() << expr << ": element " << k << " is " << got << ", want " << want[k];
    }
    return ::testing::AssertionSuccess();
  }
};

TEST(LumoDistributions, NormalAndT) {
  Fixture f;
  EXPECT_TRUE(f.Is("(normal(0), normalden(0), normalden(1, 2), normalden(3, 1, 2))", 1, 4,
                   {0.5, 1 / std::sqrt(2 * pi), std::exp(-0.125) / (2 * std::sqrt(2 * pi)),
                    std::exp(-0.5) / (2 * std::sqrt(2 * pi))}));
  EXPECT_TRUE(f.Is("lnnormalden(0)", 1, 1, {-0.5 * std::log(2 * pi)}));
  // Phi(x) = erfc(-x / sqrt 2) / 2, an independent route.
  EXPECT_TRUE(f.Is("normal((-1, 1.5))", 1, 2, {0.5 * std::erfc(1 / std::sqrt(2.0)), 0.5 * std::erfc(-1.5 / std::sqrt(2.0))}));
  EXPECT_TRUE(f.Is("lnnormal(-1)", 1, 1, {std::log(0.5 * std::erfc(1 / std::sqrt(2.0)))}));
  EXPECT_TRUE(f.Is("invnormal((0.5, 0.975))", 1, 2, {0, 1.959963984540054}, 1e-14));
  // With one degree of freedom t is Cauchy: P(T > t) = 1/2 - atan(t)/pi.
  EXPECT_TRUE(f.Is("ttail(1, (1, 3))", 1, 2, {0.25, 0.5 - std::atan(3.0) / pi}));
  EXPECT_TRUE(f.Is("tden(1, 2)", 1, 1, {1 / (pi * 5)}));
  EXPECT_TRUE(f.Is("invttail(1, 0.25)", 1, 1, {1}));
}

TEST(LumoDistributions, ChiSquaredFGammaBeta) {
  Fixture f;
  // chi2 with 2 df: 1 - exp(-x/2); with 1 df: erf(sqrt(x/2)). A column of
  // df against a row of x gives the table.
  std::vector<double> want;
  for (double df : {1.0, 2.0})
    for (double x : {0.5, 1.0, 4.0}) want.push_back(df == 2 ? 1 - std::exp(-x / 2) : std::erf(std::sqrt(x / 2)));
  EXPECT_TRUE(f.Is("chi2((1 \\ 2), (0.5, 1, 4))", 2, 3, want));
  EXPECT_TRUE(f.Is("chi2tail(2, 3)", 1, 1, {std::exp(-1.5)}));
  EXPECT_TRUE(f.Is("invchi2tail(2, exp(-1.5))", 1, 1, {3}));
  // F(2, 2) has distribution function f / (1 + f).
  EXPECT_TRUE(f.Is("(F(2, 2, 1), F(2, 2, 3), Ftail(2, 2, 3), invF(2, 2, 0.75))", 1, 4, {0.5, 0.75, 0.25, 3}));
  EXPECT_TRUE(f.Is("Fden(2, 2, 1)", 1, 1, {0.25}));
  // Shape 1: the exponential distribution.
  EXPECT_TRUE(f.Is("(gammap(1, 2), gammaptail(1, 2), invgammap(1, 1 - exp(-2)))", 1, 3,
                   {1 - std::exp(-2.0), std::exp(-2.0), 2}));
  EXPECT_TRUE(f.Is("gammaden(1, 1, 0, 2)", 1, 1, {std::exp(-2.0)}));
  // d/dx P(1, x) = exp(-x).
  EXPECT_TRUE(f.Is("dgammapdx(1, 2)", 1, 1, {std::exp(-2.0)}));
  // Beta(2, 1) has distribution function x^2; Beta(2, 2) density 6x(1-x).
  EXPECT_TRUE(f.Is("(ibeta(2, 1, 0.3), ibetatail(2, 1, 0.3), invibeta(2, 1, 0.09), betaden(2, 2, 0.5))", 1, 4,
                   {0.09, 0.91, 0.3, 1.5}));
  // With no noncentrality the noncentral forms are the central ones.
  EXPECT_TRUE(f.Is("(nchi2(2, 0, 3), nibeta(2, 1, 0, 0.3), nFtail(2, 2, 0, 3))", 1, 3,
                   {1 - std::exp(-1.5), 0.09, 0.25}, 1e-10));
  EXPECT_TRUE(f.Is("binormal(0, 0, 0)", 1, 1, {0.25}));
}

TEST(LumoDistributions, DiscreteFamilies) {
  Fixture f;
  // Three fair coins: P(X <= 1) = 4/8; P(X >= 2) = 4/8; four coins, P(X = 2) = 6/16.
  EXPECT_TRUE(f.Is("(binomial(3, 1, 0.5), binomialtail(3, 2, 0.5), Binomial(3, 2, 0.5), binomialp(4, 2, 0.5))", 1, 4,
                   {0.5, 0.5, 0.5, 0.375}));
  EXPECT_TRUE(f.Is("(poisson(2, 1), poissonp(2, 2), poissontail(2, 2))", 1, 3,
                   {3 * std::exp(-2.0), 2 * std::exp(-2.0), 1 - 3 * std::exp(-2.0)}));
  // Failures before the first success of a fair coin: P(K = 2) = 1/8, P(K <= 2) = 7/8.
  EXPECT_TRUE(f.Is("(nbinomialp(1, 2, 0.5), nbinomial(1, 2, 0.5), nbinomialtail(1, 2, 0.5))", 1, 3,
                   {0.125, 0.875, 0.25}));
  // One of two drawn from five red and five black: 5 * 5 / C(10, 2) = 5/9.
  EXPECT_TRUE(f.Is("(hypergeometricp(10, 5, 2, 1), hypergeometric(10, 5, 2, 0))", 1, 2, {5.0 / 9, 20.0 / 90}));
}

TEST(LumoDistributions, MissingInMissingOutAndNonconformParameters) {
  Fixture f;
  EXPECT_TRUE(f.Is("chi2((., 2), (1 \\ .a))", 2, 2, {M, 1 - std::exp(-0.5), M, M}));
  EXPECT_TRUE(f.Is("normal(.)", 1, 1, {M}));
  // Outside the domain: missing, no error.
  EXPECT_TRUE(f.Is("(invnormal(1.5), chi2(-1, 2))", 1, 2, {M, M}));
  f.host.errors.clear();
  EXPECT_EQ(f.Run("x = poisson((1, 2), (1, 2, 3))"), 3200);
  EXPECT_NE(f.host.errors.find("Poisson parameter matrices nonconform\n"), std::string::npos) << f.host.errors;
  f.host.errors.clear();
  EXPECT_EQ(f.Run("x = nbinomial((1 \\ 2), (1 \\ 2 \\ 3), 0.5)"), 3200);
  EXPECT_NE(f.host.errors.find("negative binomial parameter matrices nonconform\n"), std::string::npos);
  EXPECT_EQ(f.Run("x = normal(\"a\")"), 3253);
  EXPECT_EQ(f.Run("x = normal(C(1))"), 3253);
}

}  // namespace
