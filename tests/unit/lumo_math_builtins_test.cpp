// Elementary mathematics in Lumo against closed forms and values worked by
// hand: trigonometry (real and complex), the gamma family, rounding,
// modulus, combinations, complex parts, the limits of doubles, all/any,
// and minindex with its ties.
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
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
using cplx = std::complex<double>;
constexpr double M = kMissing;
constexpr double pi = std::numbers::pi;

struct Fixture : LumoFixture {
  // Evaluates expr into x; its shape and elements within tol (relative),
  // a missing value wanted exactly.
  ::testing::AssertionResult Is(const std::string& expr, int rows, int cols, std::vector<double> want,
                                double tol = 1e-15) {
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
  ::testing::AssertionResult IsC(const std::string& expr, std::vector<cplx> want, double tol = 1e-14) {
    host.errors.clear();
    int rc = Run("x = " + expr);
    if (rc != 0) return ::testing::AssertionFailure() << expr << ": rc " << rc << " " << host.errors;
    ValueRecord* v = session.values().FindGlobal("x");
    if (v->eltype != kComplex) return ::testing::AssertionFailure() << expr << ": not complex";
    if (size_t(element_count(v)) != want.size()) return ::testing::AssertionFailure() << expr << ": size";
    for (size_t k = 0; k < want.size(); ++k) {
      cplx got(reals(v)[2 * k], reals(v)[2 * k + 1]);
      if (std::abs(got - want[k]) > tol * (1 + std::abs(want[k])))
        return ::testing::AssertionFailure() << expr << ": element " << k << " is " << got << ", want " << want[k];
    }
    return ::testing::AssertionSuccess();
  }
};

TEST(LumoMathBuiltins, TrigonometryRealAndComplex) {
  Fixture f;
  EXPECT_TRUE(f.Is("sin((0, -0))", 1, 2, {0, 0}));
  ASSERT_EQ(f.Run("p = 3.14159265358979323846"), 0);
  EXPECT_TRUE(f.Is("sin(p/6)", 1, 1, {0.5}));
  EXPECT_TRUE(f.Is("cos((0 \\ p))", 2, 1, {1, -1}));
  EXPECT_TRUE(f.Is("tan(p/4)", 1, 1, {1}));
  EXPECT_TRUE(f.Is("asinr((1, 2, -1))", 1, 3, {pi / 2, M, -pi / 2}));
  EXPECT_TRUE(f.Is("acosr(-1)", 1, 1, {pi}));
  EXPECT_TRUE(f.Is("atanr(1)", 1, 1, {pi / 4}));
  // A column of y against a row of x gives every pairing.
  EXPECT_TRUE(f.Is("atan2((1 \\ -1), (1, -1))", 2, 2, {pi / 4, 3 * pi / 4, -pi / 4, -3 * pi / 4}));
  EXPECT_TRUE(f.Is("atan2(., 1)", 1, 1, {M}));
  EXPECT_TRUE(f.Is("sin(.a)", 1, 1, {M}));
  EXPECT_EQ(f.Run("x = atan2((1, 2), (1, 2, 3))"), 3200);
  EXPECT_EQ(f.Run("x = sin(\"a\")"), 3251);
  EXPECT_EQ(f.Run("x = asinr(C(1))"), 3253);
  // sin(i) = i sinh(1), cos(i) = cosh(1).
  EXPECT_TRUE(f.IsC("sin(C(0, 1))", {cplx(0, std::sinh(1.0))}));
  EXPECT_TRUE(f.IsC("cos(C(0, 1))", {cplx(std::cosh(1.0), 0)}));
  EXPECT_TRUE(f.IsC("tan(C(0, 1))", {cplx(0, std::tanh(1.0))}));
}

TEST(LumoMathBuiltins, GammaFamilyAndCounts) {
  Fixture f;
  EXPECT_TRUE(f.Is("factorial((0, 1, 5, 20))", 1, 4, {1, 1, 120, 2432902008176640000.0}));
  // 25! = 15511210043330985984000000, correctly rounded.
  EXPECT_TRUE(f.Is("factorial(25)", 1, 1, {15511210043330985984000000.0}, 0));
  EXPECT_TRUE(f.Is("factorial((171, 2.5, -1, .))", 1, 4, {M, M, M, M}));
  EXPECT_TRUE(f.Is("lnfactorial(5)", 1, 1, {std::log(120.0)}));
  // Gamma(1/2) = sqrt(pi); digamma(1) is minus Euler's constant; trigamma(1) = pi^2/6.
  EXPECT_TRUE(f.Is("lngamma(0.5)", 1, 1, {0.5 * std::log(pi)}));
  EXPECT_TRUE(f.Is("digamma(1)", 1, 1, {-0.57721566490153286}));
  EXPECT_TRUE(f.Is("trigamma(1)", 1, 1, {pi * pi / 6}));
  EXPECT_TRUE(f.Is("lngamma(0)", 1, 1, {M}));
  EXPECT_TRUE(f.Is("comb((5 \\ 6), (2, 3))", 2, 2, {10, 10, 15, 20}));
  EXPECT_TRUE(f.Is("comb(52, 5)", 1, 1, {2598960}));
  EXPECT_TRUE(f.Is("comb(3, 5)", 1, 1, {0}));
}

TEST(LumoMathBuiltins, ComplexLogGamma) {
  Fixture f;
  // On the real axis the real kernel's value; Gamma(-1/2) = -2 sqrt(pi) is
  // negative, so its logarithm has imaginary part pi.
  EXPECT_TRUE(f.IsC("lngamma(C(0.5))", {cplx(0.5 * std::log(pi), 0)}));
  EXPECT_TRUE(f.IsC("lngamma(C(-0.5))", {cplx(std::log(2 * std::sqrt(pi)), pi)}));
  // |Gamma(i y)|^2 = pi / (y sinh(pi y)).
  ASSERT_EQ(f.Run("z = lngamma(C(0, 1))"), 0);
  EXPECT_TRUE(f.Is("Re(z)", 1, 1, {0.5 * std::log(pi / std::sinh(pi))}, 1e-14));
  // Gamma(z + 1) = z Gamma(z).
  ASSERT_EQ(f.Run("w = exp(lngamma(C(3, 3)) - lngamma(C(2, 3)))"), 0);
  EXPECT_TRUE(f.IsC("w", {cplx(2, 3)}, 1e-13));
  EXPECT_EQ(f.Run("x = lngamma(C(-2))"), 0);
  EXPECT_TRUE(f.Is("Re(x)", 1, 1, {M}));
}

TEST(LumoMathBuiltins, RoundingAndModulus) {
  Fixture f;
  EXPECT_TRUE(f.Is("round((2.5, -2.5, 1.4, .))", 1, 4, {3, -2, 1, M}));
  EXPECT_TRUE(f.Is("round(1234.5678, (10 \\ 0.01 \\ 0))", 3, 1, {1230, 1234.57, 1234.5678}, 1e-14));
  EXPECT_TRUE(f.Is("mod((7, -7), 3)", 1, 2, {1, 2}));
  EXPECT_TRUE(f.Is("mod(7, (-3, 0))", 1, 2, {-2, M}));
  // 0.1 in single precision: 13421773 / 2^27.
  EXPECT_TRUE(f.Is("floatround(0.1)", 1, 1, {13421773.0 / 134217728.0}, 0));
  EXPECT_TRUE(f.Is("floatround(1e300)", 1, 1, {M}));
}

TEST(LumoMathBuiltins, ComplexPartsAndLimits) {
  Fixture f;
  ASSERT_EQ(f.Run("z = C((1, -1), (2 \\ 0))"), 0);
  EXPECT_TRUE(f.Is("Re(z)", 2, 2, {1, -1, 1, -1}));
  EXPECT_TRUE(f.Is("Im(z)", 2, 2, {2, 2, 0, 0}));
  EXPECT_TRUE(f.IsC("conj(z)", {cplx(1, -2), cplx(-1, -2), cplx(1, 0), cplx(-1, 0)}));
  EXPECT_TRUE(f.Is("arg(z)", 2, 2, {std::atan2(2.0, 1.0), std::atan2(2.0, -1.0), 0, pi}));
  EXPECT_TRUE(f.Is("arg((-3, 3))", 1, 2, {pi, 0}));
  ASSERT_EQ(f.Run("_conj(z)"), 0);
  EXPECT_TRUE(f.Is("Im(z)", 2, 2, {-2, -2, 0, 0}));
  EXPECT_TRUE(f.Is("(iscomplex(z), iscomplex(1))", 1, 2, {1, 0}));
  EXPECT_TRUE(f.Is("(epsilon(1), epsilon(-4))", 1, 2, {std::ldexp(1.0, -52), std::ldexp(1.0, -50)}, 0));
  EXPECT_TRUE(f.Is("(maxdouble(), mindouble(), smallestdouble())", 1, 3,
                   {0x1.fffffffffffffp+1022, -0x1.fffffffffffffp+1022, std::ldexp(1.0, -1022)}, 0));
  // The largest double is not missing; the next one up is.
  EXPECT_FALSE(is_missing(0x1.fffffffffffffp+1022));
}

TEST(LumoMathBuiltins, AllAnyAllofAnyof) {
  Fixture f;
  EXPECT_TRUE(f.Is("(all((1, 2, .)), all((1, 0)), any((0, 0)), any((0, .)))", 1, 4, {1, 0, 0, 1}));
  EXPECT_TRUE(f.Is("(allof((2, 2), 2), allof((2, 3), 2), anyof((2, 3), 3))", 1, 3, {1, 0, 1}));
  EXPECT_TRUE(f.Is("(anyof((\"a\", \"b\"), \"b\"), allof((1, 2), \"a\"))", 1, 2, {1, 0}));
  EXPECT_TRUE(f.Is("(all(J(0, 0, .)), any(J(0, 0, .)))", 1, 2, {1, 0}));
}

TEST(LumoMathBuiltins, MinindexWithTies) {
  Fixture f;
  ASSERT_EQ(f.Run("v = (3, 1, 2, 1, 5, .); i = .; w = ."), 0);
  // The two smallest values, 1 (twice) and 2.
  ASSERT_EQ(f.Run("minindex(v, 2, i, w)"), 0);
  EXPECT_TRUE(f.Is("i", 3, 1, {2, 4, 3}));
  EXPECT_TRUE(f.Is("w", 2, 2, {1, 2, 3, 1}));
  // k < 0: the largest; the missing value is not one of them.
  ASSERT_EQ(f.Run("minindex(v, -1, i, w)"), 0);
  EXPECT_TRUE(f.Is("i", 1, 1, {5}));
  EXPECT_TRUE(f.Is("w", 1, 2, {1, 1}));
  // More groups asked for than there are: all of them.
  ASSERT_EQ(f.Run("minindex(v', 10, i, w)"), 0);
  EXPECT_TRUE(f.Is("i", 5, 1, {2, 4, 3, 1, 5}));
  EXPECT_TRUE(f.Is("w", 4, 2, {1, 2, 3, 1, 4, 1, 5, 1}));
  ASSERT_EQ(f.Run("minindex(v, 0, i, w)"), 0);
  EXPECT_TRUE(f.Is("i", 0, 1, {}));
  EXPECT_EQ(f.Run("minindex(v, 1, i, i)"), 3002);
  EXPECT_EQ(f.Run("minindex((1, 2 \\ 3, 4), 1, i, w)"), 3201);
  EXPECT_EQ(f.Run("minindex(v, 1.5, i, w)"), 3300);
}

}  // namespace
