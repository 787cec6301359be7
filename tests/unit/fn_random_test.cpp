// Random numbers: the generator against its published reference output
// and an independent implementation, seeding and saved states, the old
// generator for old programs, and the moments of every transformation.
#include <cmath>
#include <random>
#include <string>

#include "data/functions/random.h"
#include "expr_fixture.h"
#include "interp/creturn.h"

namespace nuvra {
namespace {

using testing::ExprTest;
using testing::is_dot;

TEST(Random, TheTwisterMatchesItsReferenceOutput) {
  // The 10000th output from the reference seed 5489 is 9981545732273789042
  // (the value the C++ standard requires of mt19937_64).
  rng::Mt64 g;
  g.seed(5489);
  std::uint64_t v = 0;
  for (int i = 0; i < 10000; ++i) v = g.next();
  EXPECT_EQ(v, 9981545732273789042ULL);
  // And output for output the same as the standard library's engine.
  rng::Mt64 a;
  std::mt19937_64 b(20240607);
  a.seed(20240607);
  for (int i = 0; i < 2000; ++i) ASSERT_EQ(a.next(), b()) << i;
}

TEST(Random, SeedsAndSavedStatesReproduceTheSequence) {
  rng::RandomState r;
  r.seed(42);
  double first[5];
  for (double& x : first) x = r.uniform();
  std::string saved = r.state();
  double next[5];
  for (double& x : next) x = r.uniform();
  r.seed(42);
  for (double x : first) EXPECT_EQ(r.uniform(), x);
  ASSERT_TRUE(r.restore(saved));
  for (double x : next) EXPECT_EQ(r.uniform(), x);
  // A damaged state is refused and changes nothing.
  std::string state = r.state();
  EXPECT_FALSE(r.restore(saved.substr(1)));
  EXPECT_FALSE(r.restore(saved.substr(0, saved.size() - 1) + "g"));
  EXPECT_FALSE(r.restore("X" + std::string(saved.size() - 1, '0')));
  EXPECT_EQ(r.state(), state);
  // Different seeds, different streams; values strictly inside (0, 1).
  rng::RandomState s;
  s.seed(43);
  EXPECT_NE(s.uniform(), first[0]);
  for (int i = 0; i < 100000; ++i) {
    double u = s.uniform(), w = s.uniform0();
    ASSERT_TRUE(u > 0 && u < 1 && w > 0 && w < 1);
  }
}

// Mean and variance of n draws; each must lie within 5 standard errors.
template <class Draw>
void expect_moments(Draw draw, double mean, double var, const char* what, int n = 200000) {
  double s = 0, s2 = 0;
  for (int i = 0; i < n; ++i) {
    double x = draw();
    ASSERT_TRUE(std::isfinite(x) && x < data::kMissing) << what;
    s += x;
    s2 += x * x;
  }
  double m = s / n, v = s2 / n - m * m;
  EXPECT_NEAR(m, mean, 5 * std::sqrt(var / n)) << what;
  EXPECT_NEAR(v, var, 0.05 * var) << what;
}

TEST(Random, EveryTransformationHasItsMoments) {
  rng::RandomState r;
  r.seed(2718);
  expect_moments([&] { return r.uniform(); }, 0.5, 1.0 / 12, "uniform");
  expect_moments([&] { return r.uniform0(); }, 0.5, 1.0 / 12, "uniform0");
  expect_moments([&] { return rng::rnormal(r, 5, 2); }, 5, 4, "rnormal");
  expect_moments([&] { return rng::rgamma(r, 2.5, 3); }, 7.5, 22.5, "rgamma");
  expect_moments([&] { return rng::rgamma(r, 0.3, 1); }, 0.3, 0.3, "rgamma small shape");
  expect_moments([&] { return rng::rbeta(r, 2, 3); }, 0.4, 6.0 / (25 * 6), "rbeta");
  expect_moments([&] { return rng::rchi2(r, 4); }, 4, 8, "rchi2");
  expect_moments([&] { return rng::rt(r, 6); }, 0, 1.5, "rt");
  expect_moments([&] { return rng::rpoisson(r, 3); }, 3, 3, "rpoisson small");
  expect_moments([&] { return rng::rpoisson(r, 250); }, 250, 250, "rpoisson large");
  expect_moments([&] { return rng::rbinomial(r, 20, 0.1); }, 2, 1.8, "rbinomial small");
  expect_moments([&] { return rng::rbinomial(r, 1000, 0.7); }, 700, 210, "rbinomial large");
  expect_moments([&] { return rng::rnbinomial(r, 3, 0.4); }, 4.5, 11.25, "rnbinomial");
  // N = 60, K = 20, n = 15: mean nK/N, variance nK/N (1-K/N)(N-n)/(N-1).
  expect_moments([&] { return rng::rhypergeometric(r, 60, 20, 15); }, 5, 5 * (2.0 / 3) * 45 / 59, "rhyper");
  expect_moments([&] { return rng::rhypergeometric(r, 1e9, 4e8, 1e6); }, 4e5, 1e6 * 0.4 * 0.6 * (1 - 1e-3),
                 "rhyper large", 20000);
  // Integer draws are integers in their support.
  for (int i = 0; i < 1000; ++i) {
    double b = rng::rbinomial(r, 7, 0.9), h = rng::rhypergeometric(r, 10, 8, 5);
    ASSERT_TRUE(b == std::floor(b) && b >= 0 && b <= 7);
    ASSERT_TRUE(h == std::floor(h) && h >= 3 && h <= 5);
  }
}

TEST(Random, BadArgumentsGiveMissingWithoutDrawing) {
  rng::RandomState r;
  r.seed(7);
  std::string before = r.state();
  EXPECT_TRUE(is_dot(rng::rnormal(r, 0, -1)));
  EXPECT_TRUE(is_dot(rng::rgamma(r, 0, 1)));
  EXPECT_TRUE(is_dot(rng::rbeta(r, 1, -2)));
  EXPECT_TRUE(is_dot(rng::rpoisson(r, -1)));
  EXPECT_TRUE(is_dot(rng::rbinomial(r, 5.5, 0.5)));
  EXPECT_TRUE(is_dot(rng::rbinomial(r, 5, 1.5)));
  EXPECT_TRUE(is_dot(rng::rnbinomial(r, 2, 0)));
  EXPECT_TRUE(is_dot(rng::rhypergeometric(r, 10, 11, 5)));
  EXPECT_TRUE(is_dot(rng::rt(r, data::kMissing)));
  EXPECT_EQ(r.state(), before);
}

TEST_F(ExprTest, SetSeedAndTheOldGenerator) {
  EXPECT_EQ(call(cmd_set, "seed 12345"), 0);
  double a = num("runiform()"), b = num("uniform()");
  EXPECT_NE(a, b);
  EXPECT_EQ(call(cmd_set, "seed 12345"), 0);
  EXPECT_EQ(num("runiform()"), a);
  // c(seed) saves the state; set seed puts it back.
  std::string saved = c_text(ip, "seed");
  double c = num("rnormal(10, 3)");
  EXPECT_EQ(call(cmd_set, "seed " + saved), 0);
  EXPECT_EQ(num("rnormal(10, 3)"), c);
  for (const char* bad : {"seed -1", "seed 2147483648", "seed 1.5", "seed X12", "seed abc", "seed"})
    EXPECT_EQ(call(cmd_set, bad), 198) << bad;
  EXPECT_EQ(c_text(ip, "seed").size(), saved.size());
  // Below version 3.2 uniform() is the old generator.
  EXPECT_EQ(call(cmd_set, "seed 99"), 0);
  double old = num("uniform0()");
  EXPECT_EQ(call(cmd_set, "seed 99"), 0);
  ip.version = 310;
  EXPECT_EQ(num("uniform()"), old);
  ip.version = 320;
  EXPECT_NE(num("uniform()"), num("uniform0()"));
}

TEST_F(ExprTest, GenerateDrawsAFreshValueForEachObservation) {
  add("x", data::kDouble, std::vector<double>(500, 1.0));
  EXPECT_EQ(call(cmd_set, "seed 5"), 0);
  EXPECT_EQ(call(cmd_generate, "double u = runiform()"), 0);
  EXPECT_EQ(call(cmd_generate, "double z = rnormal(x, 2) + rnormal()"), 0);
  EXPECT_NE(at("u", 1), at("u", 2));
  // The same seed gives the same column.
  EXPECT_EQ(call(cmd_set, "seed 5"), 0);
  EXPECT_EQ(call(cmd_generate, "double u2 = runiform()"), 0);
  for (int i = 1; i <= 500; ++i) ASSERT_EQ(at("u", i), at("u2", i));
}

}  // namespace
}  // namespace nuvra
