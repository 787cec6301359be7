// tabulate, correlate, pwcorr and ci on small data worked by hand; the
// tail probabilities come from closed forms written here (the t
// distribution with 3 and 4 degrees of freedom, chi-squared with 1).
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "data/missing.h"
#include "interp/builtins.h"
#include "interp/interp.h"
#include "interp/parse.h"
#include "stats/matrix.h"
#include "test_side.h"

namespace nuvra {
namespace {

using data::kMissing;

class TablesTest : public ::testing::Test {
 protected:
  TablesTest() : ip(&side) {}
  rc_t run(rc_t (*h)(Interp&), std::string_view name, std::string_view rest) {
    side.text.clear();
    ip.cmdbuf = std::string(name) + " " + std::string(rest);
    ip.reader.attach(&ip.cmdbuf, 0);
    ip.token.assign(ip.reader.next());
    ip.command_name = std::string(name);
    rc_t rc = h(ip);
    ip.out.flush();
    return rc;
  }
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
  bool shows(const std::string& s) const { return side.text.find(s) != std::string::npos; }

  testing::CaptureSide side;
  Interp ip;
};

// Cells 10 20 / 30 40: margins 30 70 and 40 60, expected 12 18 / 28 42,
// chi2 = 4 (1/12 + 1/18 + 1/28 + 1/42); with one degree of freedom the
// upper tail is erfc(sqrt(chi2 / 2)).
TEST_F(TablesTest, TabulateOneAndTwoWay) {
  column("a", {1, 1, 2, 2, kMissing});
  column("b", {1, 2, 1, 2, 1});
  column("f", {10, 20, 30, 40, 5});
  ASSERT_EQ(run(cmd_tabulate, "tabulate", "a [fweight=f]"), 0);
  EXPECT_EQ(r("N"), 100);
  EXPECT_EQ(r("r"), 2);
  EXPECT_TRUE(shows("         a |      Freq.     Percent        Cum.\n")) << side.text;
  EXPECT_TRUE(shows("         1 |         30       30.00       30.00\n")) << side.text;
  EXPECT_TRUE(shows("         2 |         70       70.00      100.00\n")) << side.text;
  EXPECT_TRUE(shows("     Total |        100      100.00\n")) << side.text;
  // missing adds the missing value as a last row.
  ASSERT_EQ(run(cmd_tabulate, "tabulate", "a [fweight=f], missing"), 0);
  EXPECT_EQ(r("N"), 105);
  EXPECT_EQ(r("r"), 3);
  EXPECT_TRUE(shows("         . |          5        4.76      100.00\n")) << side.text;

  ASSERT_EQ(run(cmd_tabulate, "tabulate", "a b [fweight=f], chi2"), 0);
  const double chi2 = 4 * (1.0 / 12 + 1.0 / 18 + 1.0 / 28 + 1.0 / 42);
  EXPECT_EQ(r("N"), 100);
  EXPECT_EQ(r("r"), 2);
  EXPECT_EQ(r("c"), 2);
  EXPECT_NEAR(r("chi2"), chi2, 1e-14);
  EXPECT_NEAR(r("p"), std::erfc(std::sqrt(chi2 / 2)), 1e-12);
  EXPECT_TRUE(shows("         1 |         10         20 |         30\n")) << side.text;
  EXPECT_TRUE(shows("     Total |         40         60 |        100\n")) << side.text;
  EXPECT_TRUE(shows("Pearson chi2(1) =   0.7937   Pr = 0.373")) << side.text;
  // Row percentages: 10/30 and 20/30; column percentages 10/40, 20/60.
  ASSERT_EQ(run(cmd_tabulate, "tabulate", "a b [fweight=f], row column"), 0);
  EXPECT_TRUE(shows("           |      33.33      66.67 |     100.00\n")) << side.text;
  EXPECT_TRUE(shows("           |      25.00      33.33 |      30.00\n")) << side.text;
  EXPECT_TRUE(shows("row percentage")) << side.text;

  // Value labels unless nolabel; strings tabulate too.
  ip.dataset.value_labels().define("ab", 1, "one");
  ASSERT_EQ(ip.dataset.set_value_label_name(1, "ab"), 0);
  ASSERT_EQ(run(cmd_tabulate, "tabulate", "a"), 0);
  EXPECT_TRUE(shows("       one |          2       50.00       50.00\n")) << side.text;
  ASSERT_EQ(run(cmd_tabulate, "tabulate", "a, nolabel"), 0);
  EXPECT_TRUE(shows("         1 |          2       50.00       50.00\n")) << side.text;
  int js = 0;
  ASSERT_EQ(ip.dataset.add_variable("s", 3, &js), 0);
  const char* sv[] = {"x", "y", "x", "", "x"};
  for (int i = 0; i < 5; ++i) ip.dataset.store_str(js, i + 1, sv[i]);
  ASSERT_EQ(run(cmd_tabulate, "tabulate", "s"), 0);
  EXPECT_EQ(r("N"), 4);
  EXPECT_TRUE(shows("         x |          3       75.00       75.00\n")) << side.text;

  // Failures and the empty sample.
  EXPECT_EQ(run(cmd_tabulate, "tabulate", "a b f"), 103);
  EXPECT_EQ(run(cmd_tabulate, "tabulate", "a, chi2"), 198);
  EXPECT_EQ(run(cmd_tabulate, "tabulate", "a if b > 5"), 0);
  EXPECT_TRUE(shows("no observations")) << side.text;
  EXPECT_EQ(r("N"), 0);
  ASSERT_EQ(run(cmd_tab1, "tab1", "a b"), 0);
  EXPECT_TRUE(shows("-> tabulation of b\n")) << side.text;
  EXPECT_EQ(r("N"), 5);
  ASSERT_EQ(run(cmd_tab2, "tab2", "a b f"), 0);
  EXPECT_TRUE(shows("-> tabulation of b by f\n")) << side.text;
}

// The table left in matrices, worked by hand from the data below:
//   a  1 1 2 2 3 3 .      b  5 7 5 5 7 7 5      weight f  1 2 3 4 5 6 7
// One-way a [fw=f]: levels 1 2 3 with 1+2, 3+4, 5+6 = 3 7 11.
// Two-way a b [fw=f]: b = 5 and 7; cells (1,5)=1 (1,7)=2 (2,5)=3+4=7
// (2,7)=0 (3,5)=0 (3,7)=5+6=11. With `missing` the row "." adds 7 to (.,5).
TEST_F(TablesTest, TabulateLeavesItsTableInMatrices) {
  column("a", {1, 1, 2, 2, 3, 3, kMissing});
  column("b", {5, 7, 5, 5, 7, 7, 5});
  column("f", {1, 2, 3, 4, 5, 6, 7});
  auto mat = [&](const char* name) -> const stats::Matrix& { return ip.matrices.at(name); };
  auto values = [&](const char* name) { return mat(name).v; };

  ASSERT_EQ(run(cmd_tabulate, "tabulate", "a [fweight=f], matcell(F) matrow(V)"), 0) << side.text;
  EXPECT_EQ(mat("F").rows, 3);
  EXPECT_EQ(mat("F").cols, 1);
  EXPECT_EQ(values("F"), (std::vector<double>{3, 7, 11}));
  EXPECT_EQ(mat("V").rows, 3);
  EXPECT_EQ(mat("V").cols, 1);
  EXPECT_EQ(values("V"), (std::vector<double>{1, 2, 3}));
  EXPECT_EQ(r("N"), 21);
  EXPECT_EQ(r("r"), 3);

  ASSERT_EQ(run(cmd_tabulate, "tabulate", "a b [fweight=f], matcell(F) matrow(R) matcol(C)"), 0) << side.text;
  EXPECT_EQ(mat("F").rows, 3);
  EXPECT_EQ(mat("F").cols, 2);
  EXPECT_EQ(values("F"), (std::vector<double>{1, 2, 7, 0, 0, 11}));
  EXPECT_EQ(values("R"), (std::vector<double>{1, 2, 3}));
  EXPECT_EQ(mat("C").rows, 1);
  EXPECT_EQ(mat("C").cols, 2);
  EXPECT_EQ(values("C"), (std::vector<double>{5, 7}));
  EXPECT_EQ(r("N"), 21);
  EXPECT_EQ(r("c"), 2);

  // Unweighted with the missing row: counts 1 1 / 2 0 / 0 2 / 1 0.
  ASSERT_EQ(run(cmd_tabulate, "tabulate", "a b, missing matcell(F) matrow(R)"), 0) << side.text;
  EXPECT_EQ(values("F"), (std::vector<double>{1, 1, 2, 0, 0, 2, 1, 0}));
  EXPECT_EQ(values("R"), (std::vector<double>{1, 2, 3, kMissing}));
  EXPECT_EQ(r("r"), 4);

  // Failures leave the matrices as they were.
  const std::vector<double> before = values("F");
  EXPECT_EQ(run(cmd_tabulate, "tabulate", "a, matcol(C)"), 198);
  EXPECT_EQ(run(cmd_tabulate, "tabulate", "a, matcell(1x)"), 198);
  EXPECT_EQ(run(cmd_tabulate, "tabulate", "a, matcell()"), 198);
  int js = 0;
  ASSERT_EQ(ip.dataset.add_variable("s", 3, &js), 0);
  for (int i = 1; i <= 7; ++i) ip.dataset.store_str(js, i, i % 2 ? "u" : "v");
  EXPECT_EQ(run(cmd_tabulate, "tabulate", "a s, matcell(F) matcol(C)"), 109);
  EXPECT_EQ(values("F"), before);
  // A string variable's frequencies are fine: u on rows 1 3 5 7 (a: 1 2 3 .).
  ASSERT_EQ(run(cmd_tabulate, "tabulate", "s a, matcell(F)"), 0) << side.text;
  EXPECT_EQ(values("F"), (std::vector<double>{1, 1, 1, 1, 1, 1}));
}

// x = 1..5, y = 2 4 5 4 5: deviations -2 -1 0 1 2 and -2 0 1 0 1, so
// Sxx = 10, Syy = 6, Sxy = 6 and r = 6 / sqrt(60).
TEST_F(TablesTest, CorrelateAndPwcorr) {
  column("x", {1, 2, 3, 4, 5});
  column("y", {2, 4, 5, 4, 5});
  column("z", {1, kMissing, 3, 4, 5});
  ASSERT_EQ(run(cmd_correlate, "correlate", "x y"), 0);
  const double rho = 6 / std::sqrt(60.0);
  EXPECT_EQ(r("N"), 5);
  EXPECT_NEAR(r("rho"), rho, 1e-15);
  EXPECT_TRUE(shows("(obs=5)")) << side.text;
  EXPECT_TRUE(shows("           y |   0.7746   1.0000\n")) << side.text;
  ASSERT_EQ(run(cmd_correlate, "correlate", "x y, covariance"), 0);
  EXPECT_NEAR(r("cov_12"), 1.5, 1e-15);
  EXPECT_NEAR(r("Var_1"), 2.5, 1e-15);
  EXPECT_NEAR(r("Var_2"), 1.5, 1e-15);
  // r(C) holds the whole covariance matrix, named by the variables.
  {
    const stats::Matrix& C = ip.r_results.matrices.at("C");
    ASSERT_EQ(C.rows, 2);
    EXPECT_EQ(C.rownames, (std::vector<std::string>{"x", "y"}));
    EXPECT_EQ(C.colnames, (std::vector<std::string>{"x", "y"}));
    EXPECT_NEAR(C.at(0, 0), 2.5, 1e-15);
    EXPECT_NEAR(C.at(1, 0), 1.5, 1e-15);
    EXPECT_NEAR(C.at(0, 1), 1.5, 1e-15);
    EXPECT_NEAR(C.at(1, 1), 1.5, 1e-15);
  }
  ASSERT_EQ(run(cmd_correlate, "correlate", "x y"), 0);
  {
    const stats::Matrix& C = ip.r_results.matrices.at("C");
    EXPECT_NEAR(C.at(0, 0), 1, 1e-15);
    EXPECT_NEAR(C.at(0, 1), rho, 1e-15);
    EXPECT_NEAR(C.at(1, 0), rho, 1e-15);
  }
  // Casewise: z's missing second observation takes it out for all three.
  ASSERT_EQ(run(cmd_correlate, "correlate", "x y z, means"), 0);
  EXPECT_EQ(r("N"), 4);
  EXPECT_TRUE(shows("Std. Dev.")) << side.text;

  // pwcorr: (x, y) on all five; t = r sqrt(3) / sqrt(1 - r^2) with three
  // degrees of freedom, whose distribution function is
  // 1/2 + (1/pi) (t / (sqrt3 (1 + t^2/3)) + atan(t / sqrt3)).
  ASSERT_EQ(run(cmd_pwcorr, "pwcorr", "x y z, sig obs"), 0);
  const double t = rho * std::sqrt(3.0) / std::sqrt(1 - rho * rho);
  const double F = 0.5 + (t / (std::sqrt(3.0) * (1 + t * t / 3)) + std::atan(t / std::sqrt(3.0))) / M_PI;
  EXPECT_NEAR(2 * (1 - F), 0.12402706265755459, 1e-13);  // the closed form itself, checked once
  EXPECT_TRUE(shows("           y |   0.7746   1.0000\n")) << side.text;
  EXPECT_TRUE(shows("             |   0.1240\n")) << side.text;
  EXPECT_TRUE(shows("             |        5        5\n")) << side.text;
  // (z, x) pairs the four observations where z is present: r = 1; (z, y)
  // there has Syy = 6, Szz = 8.75, Syz = 6, r = 6 / sqrt(52.5).
  EXPECT_TRUE(shows("           z |   1.0000   0.8281   1.0000\n")) << side.text;
  EXPECT_TRUE(shows("             |        4        4        4\n")) << side.text;
  EXPECT_EQ(r("N"), 4);  // the last pair is (z, y)
  {
    const stats::Matrix& C = ip.r_results.matrices.at("C");
    ASSERT_EQ(C.rows, 3);
    EXPECT_EQ(C.colnames, (std::vector<std::string>{"x", "y", "z"}));
    EXPECT_NEAR(C.at(1, 0), rho, 1e-15);
    EXPECT_NEAR(C.at(2, 0), 1, 1e-15);
    EXPECT_NEAR(C.at(1, 2), 6 / std::sqrt(52.5), 1e-15);
    EXPECT_NEAR(C.at(2, 1), 6 / std::sqrt(52.5), 1e-15);
  }

  int js = 0;
  ASSERT_EQ(ip.dataset.add_variable("s", 3, &js), 0);
  EXPECT_EQ(run(cmd_correlate, "correlate", "x s"), 109);
}

// x = 1..5: mean 3, sd sqrt(2.5), se sqrt(0.5); the 97.5% point of t with
// 4 degrees of freedom solves 1/2 + t (t^2 + 6) / (2 (t^2 + 4)^1.5) = 0.975,
// t = 2.776445105197793 (bisection on that closed form).
TEST_F(TablesTest, ConfidenceIntervalsOfMeans) {
  column("x", {1, 2, 3, 4, 5});
  ASSERT_EQ(run(cmd_ci, "ci", "x"), 0);
  const double tq = 2.776445105197793;
  EXPECT_EQ(r("N"), 5);
  EXPECT_EQ(r("mean"), 3);
  EXPECT_NEAR(r("se"), std::sqrt(0.5), 1e-15);
  EXPECT_NEAR(r("lb"), 3 - tq * std::sqrt(0.5), 1e-12);
  EXPECT_NEAR(r("ub"), 3 + tq * std::sqrt(0.5), 1e-12);
  EXPECT_TRUE(shows("[95% Conf. Interval]")) << side.text;
  ASSERT_EQ(run(cmd_ci, "ci", "x, level(90)"), 0);
  EXPECT_EQ(r("level"), 90);
  EXPECT_LT(r("ub") - r("lb"), 2 * tq * std::sqrt(0.5));
  EXPECT_EQ(run(cmd_ci, "ci", "x, level(5)"), 198);
}


// x = -1.5 0 2 3 . : one negative (not whole), one zero, two positive whole
// numbers, one missing, four distinct values.
TEST_F(TablesTest, InspectCodebookAndTabstat) {
  column("x", {-1.5, 0, 2, 3, kMissing});
  ASSERT_EQ(run(cmd_inspect, "inspect", "x"), 0);
  EXPECT_EQ(r("N"), 4);
  EXPECT_EQ(r("N_neg"), 1);
  EXPECT_EQ(r("N_0"), 1);
  EXPECT_EQ(r("N_pos"), 2);
  EXPECT_EQ(r("N_negint"), 0);
  EXPECT_EQ(r("N_posint"), 2);
  EXPECT_EQ(r("N_unique"), 4);
  ASSERT_EQ(run(cmd_codebook, "codebook", "x"), 0);
  EXPECT_TRUE(shows("range:  [-1.5,3]")) << side.text;
  EXPECT_TRUE(shows("unique values:  4")) << side.text;
  EXPECT_TRUE(shows("missing .:  1/5")) << side.text;
  EXPECT_TRUE(shows("mean:  .875")) << side.text;  // 3.5 / 4

  // y = 1..5: mean 3, sd sqrt(2.5), p25 the 2nd value (n p / 100 = 1.25)
  // and p75 the 4th (3.75), so iqr 2; by g = 1 1 1 2 2: means 2 and 4.5.
  column("y", {1, 2, 3, 4, 5});
  column("g", {1, 1, 1, 2, 2});
  ASSERT_EQ(run(cmd_tabstat, "tabstat", "y, stats(mean sd n iqr)"), 0);
  EXPECT_TRUE(shows("    mean |         3\n")) << side.text;
  EXPECT_TRUE(shows("      sd |  1.581139\n")) << side.text;
  EXPECT_TRUE(shows("       N |         5\n")) << side.text;
  EXPECT_TRUE(shows("     iqr |         2\n")) << side.text;
  ASSERT_EQ(run(cmd_tabstat, "tabstat", "y, by(g)"), 0);
  EXPECT_TRUE(shows("       1 |         2\n")) << side.text;
  EXPECT_TRUE(shows("       2 |       4.5\n")) << side.text;
  EXPECT_TRUE(shows("   Total |         3\n")) << side.text;
  EXPECT_EQ(run(cmd_tabstat, "tabstat", "y, stats(bogus)"), 198);
}

}  // namespace
}  // namespace nuvra
