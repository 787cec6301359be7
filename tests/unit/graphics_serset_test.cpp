// The serset core: the missing-value rules, sorting, the store's
// identifiers, and the derived sersets checked against hand computation.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "data/missing.h"
#include "graphics/serset.h"

namespace nuvra::graphics {
namespace {

using Idx = std::vector<std::int64_t>;

TEST(SersetRules, RunsOfAllMissing) {
  // Observations: ok, all-missing x3, some missing, all-missing, ok.
  std::vector<std::uint8_t> any{0, 1, 1, 1, 1, 1, 0};
  std::vector<std::uint8_t> all{0, 1, 1, 1, 0, 1, 0};
  EXPECT_EQ(apply_missing_rule(MissingRule::kNothing, any, all), (Idx{0, 1, 2, 3, 4, 5, 6}));
  EXPECT_EQ(apply_missing_rule(MissingRule::kDupMiss, any, all), (Idx{0, 1, 4, 5, 6}));
  EXPECT_EQ(apply_missing_rule(MissingRule::kAllMiss, any, all), (Idx{0, 4, 6}));
  EXPECT_EQ(apply_missing_rule(MissingRule::kAnyMiss, any, all), (Idx{0, 6}));
  // A run at the very start also shrinks to one.
  EXPECT_EQ(apply_missing_rule(MissingRule::kDupMiss, {1, 1, 0}, {1, 1, 0}), (Idx{0, 2}));
}

TEST(SersetSort, NumbersThenMissingStableOnTies) {
  Serset s;
  s.nobs = 5;
  s.vars.resize(2);
  const double dot = data::kMissing, a = data::missing_value(1);
  s.vars[0].num = {3, a, 1, dot, 1};
  s.vars[1].is_string = true;
  s.vars[1].str = {"c", "e", "a", "d", "b"};
  sort_serset(&s, {0});
  EXPECT_EQ(s.vars[1].str, (std::vector<std::string>{"a", "b", "c", "d", "e"}));
  EXPECT_EQ(s.vars[0].num[4], a);
  EXPECT_EQ(s.vars[0].num[3], dot);
  sort_serset(&s, {1});
  EXPECT_EQ(s.vars[0].num[0], 1);
  s.vars[1].str = {"z", "y", "y", "x", "x"};
  s.vars[0].num = {1, 2, 3, 4, 5};
  sort_serset(&s, {1});
  EXPECT_EQ(s.vars[0].num, (std::vector<double>{4, 5, 2, 3, 1}));
}

TEST(SersetStore, IdentifiersAndUse) {
  SersetStore st;
  EXPECT_EQ(st.in_use(), nullptr);
  EXPECT_EQ(st.add(Serset{}), 1);
  EXPECT_EQ(st.add(Serset{}), 2);
  EXPECT_EQ(st.in_use_id(), 2);
  EXPECT_TRUE(st.set_in_use(1));
  EXPECT_FALSE(st.set_in_use(7));
  EXPECT_EQ(st.in_use_id(), 1);
  EXPECT_TRUE(st.drop(1));
  EXPECT_EQ(st.in_use(), nullptr);
  EXPECT_FALSE(st.drop(1));
  st.set_next_id(2);  // taken: the next free one is given
  EXPECT_EQ(st.add(Serset{}), 3);
  EXPECT_EQ(st.highest_id(), 3);
  st.clear();
  EXPECT_EQ(st.add(Serset{}), 1);
}

void expect_points(const std::vector<double>& got, const std::vector<double>& want) {
  ASSERT_EQ(got.size(), want.size());
  for (size_t i = 0; i < want.size(); ++i) EXPECT_NEAR(got[i], want[i], 1e-12) << i;
}

TEST(Spline, ThreeKnotsByHand) {
  // h = 1, M0 = M2 = 0, 4 M1 = 6 ((0 - 1) - (1 - 0)) so M1 = -3; at t = 1/2
  // S = M1 / 48 + y1 / 2 - M1 / 12 = -1/16 + 1/2 + 1/4 = 0.6875.
  std::vector<double> ox, oy;
  natural_cspline({0, 1, 2}, {0, 1, 0}, 2, &ox, &oy);
  expect_points(ox, {0, 0.5, 1, 1.5, 2});
  expect_points(oy, {0, 0.6875, 1, 0.6875, 0});
}

TEST(Spline, UnequalSpacingByHand) {
  // x 0 1 3, y 0 2 2: 6 M1 = 6 (0 - 2) so M1 = -2.  At x = 0.5:
  // -2 (1/8) / 6 + (2 + 1/3) / 2 = 1.125.  At x = 2 (h = 2, t = 1/2):
  // -2 (1/8) 4 / 6 + (2 + 4/3) / 2 + 2 / 2 = 2.5.
  std::vector<double> ox, oy;
  natural_cspline({0, 1, 3}, {0, 2, 2}, 2, &ox, &oy);
  expect_points(ox, {0, 0.5, 1, 2, 3});
  expect_points(oy, {0, 1.125, 2, 2.5, 2});
}

TEST(Spline, FourKnotsSolveTheSystem) {
  // 4 M1 + M2 = -12, M1 + 4 M2 = 12: M1 = -4, M2 = 4.  At 0.5:
  // -4/48 + (1 + 4/6) / 2 = 0.75; at 1.5 by the symmetry 0.5; at 2.5, 0.25.
  std::vector<double> ox, oy;
  natural_cspline({0, 1, 2, 3}, {0, 1, 0, 1}, 2, &ox, &oy);
  expect_points(oy, {0, 0.75, 1, 0.5, 0, 0.25, 1});
}

TEST(Spline, StraightLineStaysStraight) {
  std::vector<double> ox, oy;
  natural_cspline({-2, 0, 0.5, 4, 10}, {-3, 1, 2, 9, 21}, 4, &ox, &oy);
  ASSERT_EQ(ox.size(), 17u);
  for (size_t i = 0; i < ox.size(); ++i) EXPECT_NEAR(oy[i], 2 * ox[i] + 1, 1e-12);
  natural_cspline({1, 2}, {5, 7}, 1, &ox, &oy);
  expect_points(oy, {5, 7});
}

TEST(MedianBands, EqualWidthBands) {
  std::vector<double> x, y;
  for (int i = 1; i <= 10; ++i) x.push_back(i), y.push_back(i * i);
  x.push_back(data::kMissing), y.push_back(3);  // left out
  std::vector<double> mx, my;
  xmedians(x, y, 2, 1, 10, false, false, &mx, &my);  // bands [1, 5.5) and [5.5, 10]
  expect_points(mx, {3, 8});
  expect_points(my, {9, 64});
  xmedians({1, 2, 3, 4}, {1, 2, 3, 4}, 1, 1, 4, false, false, &mx, &my);
  expect_points(mx, {2.5});
  xmedians({1, 2, 3, 4}, {1, 4, 16, 100}, 1, 1, 4, false, true, &mx, &my);
  expect_points(my, {8});  // exp((log 4 + log 16) / 2)
  // A band with no points gives no median.
  xmedians({1, 1.5, 9}, {1, 2, 3}, 4, 1, 9, false, false, &mx, &my);
  expect_points(mx, {1.25, 9});
}

TEST(MedianBands, LogX) {
  // Bands of equal width in log x over [1, 1000]: edges 1, 10, 100, 1000.
  std::vector<double> mx, my;
  xmedians({1, 2, 50, 900, -5, 0}, {5, 7, 9, 11, 1, 1}, 3, 1, 1000, true, false, &mx, &my);
  expect_points(mx, {std::sqrt(2.0), 50, 900});
  expect_points(my, {6, 9, 11});
}

}  // namespace
}  // namespace nuvra::graphics
