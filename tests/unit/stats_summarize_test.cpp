// summarize and its passes: the variance rules per weight type on values
// worked by hand, percentiles of small samples, accuracy on data built to
// defeat naive sums (checked against exact integer arithmetic done here),
// determinism of the parallel passes, and Break.
#include <gtest/gtest.h>
#include <omp.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "data/missing.h"
#include "interp/builtins.h"
#include "interp/interp.h"
#include "interp/parse.h"
#include "stats/parallel.h"
#include "stats/summarize.h"
#include "test_side.h"

namespace nuvra {
namespace {

using data::kMissing;

class BreakSide : public testing::CaptureSide {
 public:
  bool take_break() override { return breaking; }
  bool breaking = false;
};

class SummarizeTest : public ::testing::Test {
 protected:
  SummarizeTest() : ip(&side) {}

  rc_t run(std::string_view name, std::string_view rest, rc_t (*h)(Interp&) = cmd_summarize) {
    side.text.clear();
    ip.cmdbuf = std::string(name) + " " + std::string(rest);
    ip.reader.attach(&ip.cmdbuf, 0);
    ip.token.assign(ip.reader.next());
    ip.command_name = std::string(name);
    rc_t rc = h(ip);
    ip.out.flush();
    return rc;
  }
  // Adds a variable of the given type holding `values` (the dataset grows
  // to fit; shorter columns are left missing at the end).
  void column(const std::string& name, const std::vector<double>& values, int type = data::kDouble) {
    int j = 0;
    ASSERT_EQ(ip.dataset.add_variable(name, type, &j), 0);
    if (static_cast<std::int64_t>(values.size()) > ip.dataset.nobs()) {
      ASSERT_EQ(ip.dataset.set_obs(static_cast<std::int64_t>(values.size())), 0);
    }
    for (size_t i = 0; i < values.size(); ++i) ip.dataset.store(j, static_cast<std::int64_t>(i) + 1, values[i]);
  }
  double r(const char* name) const {
    auto it = ip.r_results.scalars.find(name);
    return it == ip.r_results.scalars.end() ? -12345.0 : it->second;
  }
  bool has_r(const char* name) const { return ip.r_results.scalars.count(name) != 0; }

  // The two passes over variable j for all observations.
  stats::Summary passes(int j, int processors) {
    stats::Sample s;
    s.first = 1;
    s.count = ip.dataset.nobs();
    stats::ColumnInput in;
    in.col = ip.dataset.column(j);
    in.sample = &s;
    stats::Summary out;
    EXPECT_EQ(stats::summarize_column(in, false, processors, {}, &out), 0);
    omp_set_num_threads(1);
    return out;
  }

  BreakSide side;
  Interp ip;
};

TEST_F(SummarizeTest, OneObservationAndEmptySamples) {
  column("x", {7.25, kMissing, kMissing});
  ASSERT_EQ(run("summarize", "x"), 0);
  EXPECT_EQ(r("N"), 1);
  EXPECT_EQ(r("mean"), 7.25);
  EXPECT_EQ(r("min"), 7.25);
  EXPECT_EQ(r("max"), 7.25);
  EXPECT_EQ(r("Var"), kMissing);
  EXPECT_EQ(r("sd"), kMissing);
  // Nothing selected: zero observations, no division by zero.
  ASSERT_EQ(run("summarize", "x if x > 100"), 0);
  EXPECT_EQ(r("N"), 0);
  EXPECT_EQ(r("sum_w"), 0);
  EXPECT_EQ(r("sum"), 0);
  EXPECT_EQ(r("mean"), kMissing);
  EXPECT_NE(side.text.find("           x |         0\n"), std::string::npos) << side.text;
  ASSERT_EQ(run("summarize", "x if x > 100, detail"), 0);
  EXPECT_EQ(r("N"), 0);
  EXPECT_EQ(r("p50"), kMissing);
}

// x = 1 2 3 4 with weights 1 1 2 4: sum_w = 8, sum wx = 25, mean = 3.125,
// sum w (x - mean)^2 = 4.515625 + 1.265625 + 0.03125 + 3.0625 = 8.875.
TEST_F(SummarizeTest, VarianceRulePerWeightType) {
  column("x", {1, 2, 3, 4, 9});
  column("w", {1, 1, 2, 4, 0});  // the fifth observation weighs nothing
  ASSERT_EQ(run("summarize", "x [aweight=w]"), 0);
  EXPECT_EQ(r("N"), 4);  // the zero weight is not counted
  EXPECT_EQ(r("sum_w"), 8);
  EXPECT_EQ(r("mean"), 3.125);
  EXPECT_EQ(r("max"), 4);
  EXPECT_DOUBLE_EQ(r("Var"), 8.875 / 8 * 4 / 3);  // N/(N-1), not sum_w
  ASSERT_EQ(run("summarize", "x [fweight=w]"), 0);
  EXPECT_DOUBLE_EQ(r("Var"), 8.875 / 7);  // sum of weights minus 1
  EXPECT_DOUBLE_EQ(r("sd"), std::sqrt(8.875 / 7));
  ASSERT_EQ(run("summarize", "x [iweight=w]"), 0);
  EXPECT_DOUBLE_EQ(r("Var"), 8.875 / 7);
  // [weight=] is aweight here; detail agrees with the plain passes.
  ASSERT_EQ(run("summarize", "x [w=w], detail"), 0);
  EXPECT_DOUBLE_EQ(r("Var"), 8.875 / 6);
  EXPECT_EQ(r("mean"), 3.125);
  // Without weights: mean 3.8, squared deviations 38.8 / 4 for n - 1.
  ASSERT_EQ(run("summarize", "x"), 0);
  EXPECT_DOUBLE_EQ(r("Var"), 9.7);
  EXPECT_EQ(r("sum"), 19);
  // fweights summing to exactly 1: sum_w - 1 is 0, the variance missing.
  column("half", {0.5, 0.5, 0, 0, 0});
  ASSERT_EQ(run("summarize", "x [iweight=half]"), 0);
  EXPECT_EQ(r("N"), 2);
  EXPECT_EQ(r("Var"), kMissing);
  // Weights that users may not give.
  EXPECT_EQ(run("summarize", "x [fweight=half]"), 401);
  EXPECT_EQ(run("summarize", "x [aweight=x-2]"), 402);
  EXPECT_EQ(run("summarize", "x [pweight=w]"), 101);
  EXPECT_EQ(run("summarize", "x [iweight=w], detail"), 101);
  EXPECT_NE(side.text.find("iweights not allowed"), std::string::npos) << side.text;
}

TEST_F(SummarizeTest, OptionsAndRecognition) {
  column("x", {1, 2, 3, 4, 10});
  // meanonly: nothing shown, no variance; with detail it is detail.
  ASSERT_EQ(run("summarize", "x, meanonly"), 0);
  EXPECT_EQ(side.text, "");
  EXPECT_EQ(r("mean"), 4);
  EXPECT_FALSE(has_r("Var"));
  ASSERT_EQ(run("summarize", "x, meanonly detail"), 0);
  EXPECT_NE(side.text.find("Percentiles"), std::string::npos);
  EXPECT_EQ(r("Var"), 12.5);
  EXPECT_TRUE(has_r("p50"));
  // Abbreviations and the leftover check.
  EXPECT_EQ(run("su", "x, d"), 0);
  EXPECT_TRUE(has_r("skewness"));
  EXPECT_EQ(run("summarize", "x, de(1)"), 198);
  EXPECT_NE(side.text.find("option de() incorrectly specified"), std::string::npos) << side.text;
  EXPECT_EQ(run("summarize", "x, d d"), 198);
  EXPECT_NE(side.text.find("option d not allowed"), std::string::npos) << side.text;
  EXPECT_EQ(run("summarize", "x, mean"), 0);
  EXPECT_EQ(run("summarize", "x, mea"), 198);
}

// x = 1 2 3 4 10: mean 4, deviations -3 -2 -1 0 6; sums of powers 50, 180
// and 1394, so m2 = 10, m3 = 36, m4 = 278.8.
TEST_F(SummarizeTest, DetailMomentsAndExtremes) {
  column("x", {10, 3, 1, 4, 2});
  ASSERT_EQ(run("summarize", "x, detail"), 0);
  EXPECT_EQ(r("N"), 5);
  EXPECT_EQ(r("Var"), 12.5);
  EXPECT_DOUBLE_EQ(r("skewness"), 36 / std::pow(10.0, 1.5));  // 1.1384199576606167
  EXPECT_DOUBLE_EQ(r("kurtosis"), 2.788);
  EXPECT_EQ(r("min"), 1);
  EXPECT_EQ(r("max"), 10);
  EXPECT_EQ(r("p50"), 3);
  // Smallest 1 2 3 4 and largest 10 4 3 2 in the table, in that order.
  EXPECT_NE(side.text.find(" 1%            1              1"), std::string::npos) << side.text;
  EXPECT_NE(side.text.find("99%           10             10       Kurtosis"), std::string::npos)
      << side.text;
}

TEST_F(SummarizeTest, PercentilesOfSmallSamples) {
  // 1..10 unweighted: n p / 100 whole at p = 10, 50, 90 (average the two
  // neighbours), otherwise the next ordered value after floor(n p / 100).
  std::vector<double> ten = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
  const double want10[stats::kPercentileCount] = {1, 1, 1.5, 3, 5.5, 8, 9.5, 10, 10};
  for (int k = 0; k < stats::kPercentileCount; ++k)
    EXPECT_EQ(stats::percentile_unweighted(ten.data(), 10, stats::kPercentiles[k]), want10[k]) << k;
  // Weights 1 2 1 on 10 20 30 (total 4): 100 x running weight is 100, 300,
  // 400; p x total is 20, 40, 100, 200, 300, 360 ... for p = 5, 10, 25, 50,
  // 75, 90.
  double x3[] = {10, 20, 30}, w3[] = {1, 2, 1};
  EXPECT_EQ(stats::percentile_weighted(x3, w3, 3, 4, 5), 10);
  EXPECT_EQ(stats::percentile_weighted(x3, w3, 3, 4, 25), 15);  // 100 reached exactly
  EXPECT_EQ(stats::percentile_weighted(x3, w3, 3, 4, 50), 20);
  EXPECT_EQ(stats::percentile_weighted(x3, w3, 3, 4, 75), 25);  // 300 reached exactly
  EXPECT_EQ(stats::percentile_weighted(x3, w3, 3, 4, 90), 30);
  // Unit weights agree with the unweighted rule.
  double x4[] = {1, 2, 3, 4}, w4[] = {1, 1, 1, 1};
  for (double p : stats::kPercentiles)
    EXPECT_EQ(stats::percentile_weighted(x4, w4, 4, 4, p), stats::percentile_unweighted(x4, 4, p)) << p;
  // Through the command, weights in data order (ordered by value inside).
  column("v", {30, 10, 20});
  column("f", {1, 1, 2});
  ASSERT_EQ(run("summarize", "v [fweight=f], detail"), 0);
  EXPECT_EQ(r("p25"), 15);
  EXPECT_EQ(r("p50"), 20);
  EXPECT_EQ(r("p75"), 25);
  EXPECT_EQ(r("sum_w"), 4);
}

// The partial ordering the detailed form uses instead of a sort puts every
// asked-for position where the sort would, ties and duplicates included.
TEST(SelectPositions, AgreesWithAFullSort) {
  std::uint64_t state = 7;
  for (std::int64_t n : {1, 2, 5, 17, 1000, 4099}) {
    std::vector<double> v(static_cast<size_t>(n));
    for (double& x : v) {
      state = state * 6364136223846793005ULL + 1442695040888963407ULL;
      x = static_cast<double>((state >> 33) % 50);  // many ties
    }
    std::vector<double> sorted = v;
    std::sort(sorted.begin(), sorted.end());
    std::vector<std::int64_t> pos = {-3, 0, 3, n / 2, n / 2, n - 1, n + 5, n / 7};
    stats::select_positions(v.data(), n, &pos);
    for (std::int64_t k : pos) {
      ASSERT_GE(k, 0);
      ASSERT_LT(k, n);
      EXPECT_EQ(v[k], sorted[k]) << "n=" << n << " k=" << k;
    }
  }
}

// Values near 1e9 that differ in their last bits: 1e9 + k 2^-23 is exact,
// so in units of 2^-23 every value is a whole number and the exact sum and
// sum of squared deviations are integer arithmetic.
TEST_F(SummarizeTest, AccuracyNearOneBillion) {
  for (std::int64_t n : {1024, 1000}) {
    ip.dataset.clear();
    std::vector<double> xs;
    std::vector<std::int64_t> ks;
    for (std::int64_t i = 0; i < n; ++i) {
      std::int64_t k = (i * 7919) % 1001 - 500;
      ks.push_back(k);
      xs.push_back(1e9 + std::ldexp(static_cast<double>(k), -23));
    }
    column("x", xs);
    const __int128 base = static_cast<__int128>(1000000000) << 23;
    __int128 S = 0;
    std::int64_t ksum = 0;
    for (std::int64_t k : ks) {
      S += base + k;
      ksum += k;
    }
    // n^2 (n-1) var 2^46 = sum (n k_i - sum k)^2
    __int128 dev2 = 0;
    for (std::int64_t k : ks) {
      __int128 d = static_cast<__int128>(n) * k - ksum;
      dev2 += d * d;
    }
    const double var_ref = static_cast<double>(dev2) / (static_cast<double>(n) * n * (n - 1)) * std::ldexp(1.0, -46);
    const double sd_ref = std::sqrt(var_ref);
    double naive = 0;
    for (double x : xs) naive += x;
    for (int processors : {1, 2, 4}) {
      stats::Summary s = passes(1, processors);
      // The mean m is the exact mean rounded when |n M - S| <= n / 2, M = m 2^23.
      __int128 M = static_cast<__int128>(std::ldexp(s.mean, 23));
      __int128 miss = static_cast<__int128>(n) * M - S;
      if (miss < 0) miss = -miss;
      if (n == 1024) {
        EXPECT_TRUE(2 * miss <= n) << "P=" << processors << " mean off by " << static_cast<double>(miss) / n << " ulp";
      } else {
        // n = 1000: the sum is rounded once before the division, so the
        // mean may sit one unit from the exact mean rounded, never more.
        EXPECT_TRUE(2 * miss <= 3 * n) << "P=" << processors;
      }
      EXPECT_NEAR(s.sd, sd_ref, 5e-15 * sd_ref) << "P=" << processors;
    }
    // The fixture defeats a naive sum.
    __int128 naive_units = static_cast<__int128>(std::ldexp(naive / n, 23)) * n - S;
    if (naive_units < 0) naive_units = -naive_units;
    EXPECT_TRUE(naive_units > n) << "naive mean is exact: weak fixture";
  }
}

// +1e16 and -1e16 in turn with small multiples of 1/8 between them: in
// eighths every value is a whole number; the exact mean is S / (8 n).
TEST_F(SummarizeTest, AccuracyAlternatingHugeValues) {
  const std::int64_t n = 1024;
  std::vector<double> xs;
  __int128 S = 0, S2 = 0;
  for (std::int64_t i = 0; i < n; ++i) {
    double x = i % 4 == 0 ? 1e16 : i % 4 == 2 ? -1e16 : static_cast<double>(i % 13 - 5) * 0.125 + 0.375;
    xs.push_back(x);
    __int128 X = static_cast<__int128>(x * 8);
    S += X;
    S2 += X * X;
  }
  column("x", xs);
  double naive = 0;
  for (double x : xs) naive += x;
  const double mean_ref = static_cast<double>(S) / (8.0 * n);  // a power of two: exact
  // (n - 1) 64 var = sum X^2 - S^2 / n
  const double var_ref =
      (static_cast<double>(S2) - static_cast<double>(S) * static_cast<double>(S) / n) / (64.0 * (n - 1));
  for (int processors : {1, 2, 3, 4}) {
    stats::Summary s = passes(1, processors);
    EXPECT_EQ(s.mean, mean_ref) << "P=" << processors;
    EXPECT_NEAR(s.sd, std::sqrt(var_ref), 1e-14 * std::sqrt(var_ref)) << "P=" << processors;
    EXPECT_EQ(s.min, -1e16);
    EXPECT_EQ(s.max, 1e16);
  }
  EXPECT_NE(naive / n, mean_ref);
}

// The same thread count gives the same bits whether the chunks run on
// their own threads or one after another in a single thread (with active
// parallel regions switched off, the pass gets one thread only).
TEST_F(SummarizeTest, ParallelPassesAreDeterministic) {
  std::vector<double> xs(60000), ws(60000);
  std::uint64_t state = 99;
  for (size_t i = 0; i < xs.size(); ++i) {
    state = state * 6364136223846793005ULL + 1442695040888963407ULL;
    xs[i] = std::ldexp(static_cast<double>(state >> 11), -53) * 1e6 - 3e5;
    ws[i] = static_cast<double>((state >> 7) % 5);
  }
  xs[17] = kMissing;
  column("x", xs);
  column("w", ws);
  stats::Sample s;
  s.first = 1;
  s.count = ip.dataset.nobs();
  stats::ColumnInput in;
  in.col = ip.dataset.column(1);
  in.sample = &s;
  in.weights = ws.data();
  in.weight_type = kAweight;
  auto same = [](const stats::Summary& a, const stats::Summary& b) {
    return a.n == b.n && std::bit_cast<std::uint64_t>(a.mean) == std::bit_cast<std::uint64_t>(b.mean) &&
           std::bit_cast<std::uint64_t>(a.var) == std::bit_cast<std::uint64_t>(b.var) &&
           std::bit_cast<std::uint64_t>(a.sum_w) == std::bit_cast<std::uint64_t>(b.sum_w) &&
           std::bit_cast<std::uint64_t>(a.sum) == std::bit_cast<std::uint64_t>(b.sum);
  };
  for (int processors : {2, 3, 4}) {
    stats::Summary parallel, again, nested;
    ASSERT_EQ(stats::summarize_column(in, false, processors, {}, &parallel), 0);
    ASSERT_EQ(stats::summarize_column(in, false, processors, {}, &again), 0);
    int levels = omp_get_max_active_levels();
    omp_set_max_active_levels(0);
    rc_t rc = stats::summarize_column(in, false, processors, {}, &nested);
    int inner_threads = 0;
#pragma omp parallel
    inner_threads = omp_get_num_threads();
    omp_set_max_active_levels(levels);
    ASSERT_EQ(rc, 0);
    ASSERT_EQ(inner_threads, 1);  // the nested pass really ran serially
    EXPECT_TRUE(same(parallel, again)) << processors;
    // Reading the second pass from the copied-out values changes nothing.
    std::vector<double> room(xs.size());
    stats::ColumnInput copied = in;
    copied.gather = room.data();
    stats::Summary gathered;
    ASSERT_EQ(stats::summarize_column(copied, false, processors, {}, &gathered), 0);
    EXPECT_TRUE(same(parallel, gathered)) << processors;
    EXPECT_TRUE(same(parallel, nested)) << processors;
    std::int64_t used = 0;
    for (size_t i = 0; i < xs.size(); ++i) used += xs[i] < kMissing && ws[i] != 0;
    EXPECT_EQ(parallel.n, used);
  }
  omp_set_num_threads(1);
}

// Several columns walked together must give each column exactly what its
// own passes give: columns of three storage types (the double ones more
// than one walk holds), missing values in different places, weights, a
// sample that is not one run, and an all-missing column.
TEST_F(SummarizeTest, OneWalkOverSeveralColumnsMatchesEachColumnAlone) {
  const size_t n = 30000;
  std::vector<double> ws(n);
  std::uint64_t state = 7;
  auto next = [&] {
    state = state * 6364136223846793005ULL + 1442695040888963407ULL;
    return static_cast<double>(state >> 11) / 9007199254740992.0;
  };
  std::vector<stats::ColumnInput> ins;
  stats::Sample all, some;
  for (int v = 0; v < 11; ++v) {
    std::vector<double> xs(n);
    int type = v == 0 ? data::kByte : v == 1 ? data::kFloat : data::kDouble;
    for (size_t i = 0; i < n; ++i) {
      double u = next();
      xs[i] = type == data::kByte ? std::floor(u * 200 - 100) : type == data::kFloat ? std::ldexp(std::floor(u * 65536), -8) : u * 1e9 - v;
      if ((i + static_cast<size_t>(v)) % 97 == 0 || v == 10) xs[i] = kMissing;
    }
    column("x" + std::to_string(v), xs, type);
  }
  for (size_t i = 0; i < n; ++i) ws[i] = static_cast<double>(i % 4);
  all.first = 1;
  all.count = static_cast<std::int64_t>(n);
  some.contiguous = false;
  for (std::int64_t i = 1; i <= static_cast<std::int64_t>(n); i += 3) some.obs.push_back(i);
  some.count = static_cast<std::int64_t>(some.obs.size());
  std::vector<double> some_ws;
  for (std::int64_t o : some.obs) some_ws.push_back(ws[static_cast<size_t>(o - 1)]);
  auto bits = [](double d) { return std::bit_cast<std::uint64_t>(d); };
  for (int processors : {1, 2, 3})
    for (int form = 0; form < 4; ++form) {
      const stats::Sample& s = form < 2 ? all : some;
      const double* w = form % 2 == 0 ? nullptr : (form < 2 ? ws.data() : some_ws.data());
      ins.clear();
      for (int j = 1; j <= 11; ++j) {
        stats::ColumnInput in;
        in.col = ip.dataset.column(j);
        in.sample = &s;
        in.weights = w;
        in.weight_type = kFweight;
        ins.push_back(in);
      }
      for (bool mean_only : {false, true}) {
        std::vector<stats::Summary> together;
        ASSERT_EQ(stats::summarize_columns(ins, mean_only, processors, {}, &together), 0);
        ASSERT_EQ(together.size(), ins.size());
        for (size_t c = 0; c < ins.size(); ++c) {
          stats::Summary alone;
          ASSERT_EQ(stats::summarize_column(ins[c], mean_only, processors, {}, &alone), 0);
          const stats::Summary& t = together[c];
          EXPECT_EQ(t.n, alone.n) << c;
          EXPECT_EQ(bits(t.sum_w), bits(alone.sum_w)) << c << " form " << form;
          EXPECT_EQ(bits(t.mean), bits(alone.mean)) << c << " form " << form;
          EXPECT_EQ(bits(t.var), bits(alone.var)) << c << " form " << form;
          EXPECT_EQ(bits(t.min), bits(alone.min)) << c;
          EXPECT_EQ(bits(t.max), bits(alone.max)) << c;
          EXPECT_EQ(bits(t.sum), bits(alone.sum)) << c;
        }
        EXPECT_EQ(together[10].n, 0);
        EXPECT_EQ(together[10].mean, kMissing);
        EXPECT_GT(together[0].n, 0);
      }
    }
  omp_set_num_threads(1);
}

// Consecutive groups walked in one pass give each group exactly what the
// passes over that group alone give it: groups of 1 to a few thousand
// observations, one long enough for its own pass to split it among
// threads, columns of four storage types with missing values (one column
// all missing in some groups), with and without the second pass, for
// several processor counts. A group whose observations the check refuses
// stops the walk with 2; a Break with 1.
TEST_F(SummarizeTest, GroupsInOnePassMatchEachGroupAlone) {
  std::vector<std::int64_t> starts{1};
  for (std::int64_t len = 1; starts.back() < 40000; len = len * 3 % 3001 + 1) starts.push_back(starts.back() + len);
  starts.push_back(starts.back() + stats::kSerialPassBelow + 5000);  // the long group
  for (std::int64_t len : {1, 2, 250}) starts.push_back(starts.back() + len);
  const std::int64_t n = starts.back() - 1;
  std::uint64_t state = 11;
  auto next = [&] {
    state = state * 6364136223846793005ULL + 1442695040888963407ULL;
    return static_cast<double>(state >> 11) / 9007199254740992.0;
  };
  const int types[] = {data::kDouble, data::kFloat, data::kInt, data::kByte, data::kDouble};
  for (int v = 0; v < 5; ++v) {
    std::vector<double> xs(static_cast<std::size_t>(n));
    for (std::size_t i = 0; i < xs.size(); ++i) {
      const double u = next();
      xs[i] = types[v] == data::kInt ? std::floor(u * 60000 - 30000)
              : types[v] == data::kByte ? std::floor(u * 200 - 100)
                                         : (u - 0.25) * std::pow(10.0, v);
      if (u < 0.05 || (v == 4 && (i / 1000) % 2 == 0)) xs[i] = kMissing;
    }
    column("x" + std::to_string(v), xs, types[v]);
  }
  std::vector<double> ids(static_cast<std::size_t>(n));
  for (std::size_t g = 0; g + 1 < starts.size(); ++g)
    for (std::int64_t i = starts[g]; i < starts[g + 1]; ++i) ids[static_cast<std::size_t>(i - 1)] = static_cast<double>(g);
  column("id", ids);
  std::vector<data::Column> cols;
  for (int j = 1; j <= 5; ++j) cols.push_back(ip.dataset.column(j));
  const data::Column key = ip.dataset.column(6);
  const std::size_t ngroups = starts.size() - 1;
  auto bits = [](double d) { return std::bit_cast<std::uint64_t>(d); };
  for (int processors : {1, 2, 3})
    for (bool mean_only : {false, true}) {
      std::vector<stats::Summary> out(ngroups * cols.size());
      int checks = 0;
      stats::GroupCheck count = [&checks](std::int64_t, std::int64_t, std::int64_t) {
#pragma omp atomic
        ++checks;
        return true;
      };
      ASSERT_EQ(stats::summarize_groups(cols, starts.data(), ngroups, mean_only, processors, {}, {}, count, out.data()),
                0);
      EXPECT_GE(checks, static_cast<int>(ngroups));
      // With the group number as a key column compared by its bytes the
      // check is not needed, and the results are the same.
      std::vector<stats::Summary> keyed(out.size());
      checks = 0;
      ASSERT_EQ(stats::summarize_groups(cols, starts.data(), ngroups, mean_only, processors, {}, {key}, count,
                                        keyed.data()),
                0);
      if (processors == 1) {
        EXPECT_EQ(checks, 0);
      }
      for (std::size_t i = 0; i < out.size(); ++i) {
        EXPECT_EQ(keyed[i].n, out[i].n);
        EXPECT_EQ(bits(keyed[i].mean), bits(out[i].mean));
        EXPECT_EQ(bits(keyed[i].var), bits(out[i].var));
      }
      for (std::size_t g = 0; g < ngroups; ++g) {
        stats::Sample s;
        s.first = starts[g];
        s.count = starts[g + 1] - starts[g];
        for (std::size_t c = 0; c < cols.size(); ++c) {
          stats::ColumnInput in;
          in.col = cols[c];
          in.sample = &s;
          stats::Summary alone;
          ASSERT_EQ(stats::summarize_column(in, mean_only, processors, {}, &alone), 0);
          const stats::Summary& t = out[g * cols.size() + c];
          ASSERT_EQ(t.n, alone.n) << g << " " << c;
          EXPECT_EQ(bits(t.sum_w), bits(alone.sum_w)) << g << " " << c;
          EXPECT_EQ(bits(t.mean), bits(alone.mean)) << g << " " << c << " p" << processors;
          EXPECT_EQ(bits(t.var), bits(alone.var)) << g << " " << c << " p" << processors;
          EXPECT_EQ(bits(t.sd), bits(alone.sd)) << g << " " << c;
          EXPECT_EQ(bits(t.min), bits(alone.min)) << g << " " << c;
          EXPECT_EQ(bits(t.max), bits(alone.max)) << g << " " << c;
          EXPECT_EQ(bits(t.sum), bits(alone.sum)) << g << " " << c;
        }
      }
      // Refused at one short group and at the long one; with the key
      // column, asked only where its bytes differ, and refused there.
      for (std::size_t bad : {ngroups / 3, ngroups - 4}) {
        const std::int64_t at = starts[bad];
        stats::GroupCheck refuse = [at](std::int64_t first, std::int64_t, std::int64_t) { return first != at; };
        EXPECT_EQ(stats::summarize_groups(cols, starts.data(), ngroups, mean_only, processors, {}, {}, refuse,
                                          out.data()),
                  2)
            << bad;
        const double was = ip.dataset.fetch(6, at + 1);
        ip.dataset.store(6, at + 1, -1.0);  // another group's key
        std::int64_t asked = 0;
        stats::GroupCheck ask = [&](std::int64_t first, std::int64_t from, std::int64_t to) {
          if (first == at && from <= at + 1 && at + 1 <= to) asked = first;
          return false;
        };
        EXPECT_EQ(stats::summarize_groups(cols, starts.data(), ngroups, mean_only, processors, {}, {key}, ask,
                                          out.data()),
                  2)
            << bad;
        // (The long group's pieces are checked on several threads, and the
        // first refusal stops the others: which piece was asked varies.)
        if (bad == ngroups / 3) {
          EXPECT_EQ(asked, at) << bad;
        }
        ip.dataset.store(6, at + 1, was);
      }
      EXPECT_EQ(stats::summarize_groups(cols, starts.data(), ngroups, mean_only, processors, [] { return true; }, {},
                                        {}, out.data()),
                1);
    }
  omp_set_num_threads(1);
}

TEST_F(SummarizeTest, StringsSkippedAndBreakLeavesResults) {
  std::vector<double> xs(3 * stats::kPollInterval);
  for (size_t i = 0; i < xs.size(); ++i) xs[i] = static_cast<double>(i % 7);
  column("x", xs);
  int js = 0;
  ASSERT_EQ(ip.dataset.add_variable("s", 5, &js), 0);  // str5
  ASSERT_EQ(run("summarize", "x s"), 0);
  EXPECT_NE(side.text.find("           s |         0\n"), std::string::npos) << side.text;
  EXPECT_EQ(r("N"), 0);  // the last variable was the string one
  ASSERT_EQ(run("summarize", "s x, detail"), 0);
  EXPECT_EQ(r("N"), static_cast<double>(xs.size()));
  // A Break in either path returns 1 and leaves r() as it was.
  ip.r_results.clear();
  ip.r_results.scalars["N"] = 42;
  side.breaking = true;
  for (int processors : {1, 2}) {
    ip.processors = processors;
    EXPECT_EQ(run("summarize", "x"), 1);
    EXPECT_EQ(run("summarize", "x, detail"), 1);
    EXPECT_EQ(run("summarize", "x, meanonly"), 1);
    EXPECT_EQ(ip.r_results.scalars.size(), 1u);
    EXPECT_EQ(r("N"), 42);
  }
  omp_set_num_threads(1);
}

}  // namespace
}  // namespace nuvra
