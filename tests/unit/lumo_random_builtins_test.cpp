// Random numbers in Lumo: draws come from the host's generators in the
// order of the result's elements (so a seed reproduces them, and they are
// the draws the expression library's generators give), the state is saved
// and restored through rseed(), and the sizes and rdiscrete()'s
// probabilities are checked.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "data/functions/random.h"
#include "data/missing.h"
#include "lumo/value.h"
#include "lumo_test_host.h"

namespace {

using namespace nuvra::lumo;
namespace rng = nuvra::rng;
using nuvra::data::kMissing;

struct Fixture : LumoFixture {
  // The real matrix x after running text.
  std::vector<double> Values(const std::string& text, int* rows = nullptr, int* cols = nullptr) {
    host.errors.clear();
    int rc = Run(text);
    EXPECT_EQ(rc, 0) << text << " " << host.errors;
    ValueRecord* v = session.values().FindGlobal("x");
    if (rc != 0 || !v || v->eltype != kReal) return {};
    if (rows) *rows = v->rows;
    if (cols) *cols = v->cols;
    return std::vector<double>(reals(v), reals(v) + element_count(v));
  }
};

TEST(LumoRandom, DrawsFollowTheSeedAndTheElementOrder) {
  Fixture f;
  int rows, cols;
  std::vector<double> got = f.Values("rseed(5); x = runiform(2, 3)", &rows, &cols);
  ASSERT_EQ(rows, 2);
  ASSERT_EQ(cols, 3);
  rng::RandomState ref;
  ref.seed(5);
  for (double d : got) EXPECT_EQ(d, ref.uniform());
  // uniform() is the same generator.
  EXPECT_EQ(f.Values("rseed(5); x = uniform(1, 1)"), std::vector<double>{got[0]});
  // rnormal(r, c, m, s): one r x c block per parameter element; draws go
  // row by row through the whole result.
  got = f.Values("rseed(9); x = rnormal(2, 1, (0, 100), 1)", &rows, &cols);
  ASSERT_EQ(rows, 2);
  ASSERT_EQ(cols, 2);
  ref.seed(9);
  for (int i = 0; i < 2; ++i)
    for (double mean : {0.0, 100.0}) EXPECT_EQ(got[size_t(i * 2 + (mean > 0))], rng::rnormal(ref, mean, 1));
  got = f.Values("rseed(3); x = (rgamma(1, 1, 2, 3), rbeta(1, 1, 2, 3), rt(1, 1, 4), rpoisson(1, 1, 7), "
                 "rbinomial(1, 1, 10, 0.3), rnbinomial(1, 1, 3, 0.4), rhypergeometric(1, 1, 20, 7, 5))");
  ref.seed(3);
  std::vector<double> want = {rng::rgamma(ref, 2, 3),          rng::rbeta(ref, 2, 3),
                              rng::rt(ref, 4),                 rng::rpoisson(ref, 7),
                              rng::rbinomial(ref, 10, 0.3),    rng::rnbinomial(ref, 3, 0.4),
                              rng::rhypergeometric(ref, 20, 7, 5)};
  EXPECT_EQ(got, want);
}

TEST(LumoRandom, StateSavedAndRestored) {
  Fixture f;
  std::vector<double> a = f.Values("rseed(11); s = rseed(); x = runiform(1, 4)");
  std::vector<double> b = f.Values("rseed(s); x = runiform(1, 4)");
  EXPECT_EQ(a, b);
  std::vector<double> c = f.Values("rseed(12); x = runiform(1, 4)");
  EXPECT_NE(a, c);
  EXPECT_EQ(f.Run("rseed(-1)"), 3300);
  EXPECT_EQ(f.Run("rseed(1.5)"), 3300);
  EXPECT_EQ(f.Run("rseed(\"junk\")"), 3300);
  // A refused seed leaves the state alone.
  EXPECT_EQ(f.Values("rseed(s); x = runiform(1, 4)"), a);
  EXPECT_EQ(f.Run("uniformseed(11)"), 0);
}

TEST(LumoRandom, SizesAndParameters) {
  Fixture f;
  for (const char* bad : {"x = runiform(-1, 2)", "x = runiform(1.5, 1)", "x = rnormal(., 1, 0, 1)"}) {
    f.host.errors.clear();
    EXPECT_EQ(f.Run(bad), 3300) << bad;
    EXPECT_NE(f.host.errors.find("specification must be a nonnegative integer\n"), std::string::npos) << bad;
  }
  int rows, cols;
  EXPECT_TRUE(f.Values("x = runiform(0, 3)", &rows, &cols).empty());
  EXPECT_EQ(rows, 0);
  EXPECT_EQ(cols, 3);
  // A missing or impossible parameter gives a missing draw.
  EXPECT_EQ(f.Values("x = (rpoisson(1, 1, .), rnormal(1, 1, 0, -1))"), (std::vector<double>{kMissing, kMissing}));
  f.host.errors.clear();
  EXPECT_EQ(f.Run("x = rnormal(1, 1, (0, 1), (1, 2, 3))"), 3200);
  EXPECT_NE(f.host.errors.find("normal parameter matrices nonconform\n"), std::string::npos) << f.host.errors;
}

TEST(LumoRandom, RdiscreteChecksAndFrequencies) {
  Fixture f;
  struct Case {
    const char* p;
    const char* message;
  } cases[] = {{"(0.5 \\ 0.6)", "sum of the probabilities must be 1\n"},
               {"(1.5 \\ -0.5)", "probabilities must be in [0,1]\n"},
               {"(0.5 \\ .)", "probabilities must be in [0,1]\n"}};
  for (const Case& c : cases) {
    f.host.errors.clear();
    EXPECT_EQ(f.Run(std::string("x = rdiscrete(1, 1, ") + c.p + ")"), 3300) << c.p;
    EXPECT_NE(f.host.errors.find(c.message), std::string::npos) << c.p << ": " << f.host.errors;
  }
  EXPECT_EQ(f.Run("x = rdiscrete(1, 1, (1, 2 \\ 3, 4))"), 3201);
  // A certain outcome every time.
  for (double d : f.Values("x = rdiscrete(50, 1, (0 \\ 1 \\ 0))")) EXPECT_EQ(d, 2);
  // Ten tenths add up to 1 only approximately; they are accepted.
  EXPECT_EQ(f.Run("x = rdiscrete(1, 1, J(10, 1, 0.1))"), 0);
  // 40,000 draws: each frequency within five standard errors (under
  // 0.0125) of its probability.
  std::vector<double> draws = f.Values("rseed(2); x = rdiscrete(200, 200, (0.2 \\ 0.3 \\ 0.5))");
  ASSERT_EQ(draws.size(), 40000u);
  double count[4] = {};
  for (double d : draws) {
    ASSERT_TRUE(d == 1 || d == 2 || d == 3) << d;
    count[int(d)] += 1;
  }
  EXPECT_NEAR(count[1] / 40000, 0.2, 0.0125);
  EXPECT_NEAR(count[2] / 40000, 0.3, 0.0125);
  EXPECT_NEAR(count[3] / 40000, 0.5, 0.0125);
}

}  // namespace
