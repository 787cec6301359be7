// The renderer's arithmetic: round tick values and the fitted line, and
// the refusals of a graph it cannot draw.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "data/missing.h"
#include "graphics/render.h"

namespace nuvra::graphics {
namespace {

void expect_ticks(double lo, double hi, int target, const std::vector<double>& want) {
  std::vector<double> got = nice_ticks(lo, hi, target);
  ASSERT_EQ(got.size(), want.size()) << lo << " " << hi;
  for (size_t i = 0; i < want.size(); ++i) EXPECT_NEAR(got[i], want[i], 1e-12) << i;
}

TEST(NiceTicks, RoundStepsCoverTheRange) {
  expect_ticks(0, 20, 5, {0, 5, 10, 15, 20});         // raw step 4 -> 5
  expect_ticks(1.3, 14.7, 5, {0, 2, 4, 6, 8, 10, 12, 14, 16});  // raw 2.68 -> 2
  expect_ticks(7.02, 8, 5, {7, 7.2, 7.4, 7.6, 7.8, 8});  // raw 0.196 -> 0.2
  expect_ticks(-3, 3, 6, {-3, -2, -1, 0, 1, 2, 3});
  expect_ticks(0, 0.012, 5, {0, 0.002, 0.004, 0.006, 0.008, 0.01, 0.012});
  EXPECT_TRUE(nice_ticks(5, 5, 5).empty());
}

TEST(LeastSquares, ByHand) {
  // x 1 2 3 4, y 2 3 5 6: means 2.5 and 4; sxx = 5, sxy = 7; b = 1.4,
  // a = 4 - 3.5 = 0.5.  Missing pairs are left out.
  double a = 0, b = 0;
  ASSERT_TRUE(least_squares({1, 2, 3, 4, data::kMissing, 9}, {2, 3, 5, 6, 1, data::kMissing}, &a, &b));
  EXPECT_NEAR(b, 1.4, 1e-14);
  EXPECT_NEAR(a, 0.5, 1e-14);
  EXPECT_FALSE(least_squares({2, 2, 2}, {1, 2, 3}, &a, &b));
}

TEST(RenderGraph, RefusesWhatItCannotDraw) {
  GraphSpec spec;
  Plot p;
  p.x = {data::kMissing, 1};
  p.y = {1, data::kMissing};
  spec.plots.push_back(p);
  Recording rec;
  std::string error;
  int rc = 0;
  EXPECT_FALSE(render_graph(spec, &rec, &error, &rc));
  EXPECT_EQ(rc, 2000);
  spec.plots[0].x = {-1, 2};
  spec.plots[0].y = {1, 2};
  spec.xlog = true;
  EXPECT_FALSE(render_graph(spec, &rec, &error, &rc));
  EXPECT_EQ(rc, 459);
  EXPECT_EQ(error, "log scale on x: the data include values of zero or below");
  // Constant data are drawn: the axis spreads a unit either side.
  spec.xlog = false;
  spec.plots[0].x = {3, 3};
  spec.plots[0].y = {4, 4};
  EXPECT_TRUE(render_graph(spec, &rec, &error, &rc));
  ASSERT_GT(rec.size(), 2u);
  EXPECT_EQ(rec.code(0), kOpBeginFile);
  EXPECT_EQ(rec.code(rec.size() - 1), kOpEndOnce);
}

TEST(RenderGraph, ScatterMarkersLandOnTheirPoints) {
  // Two points at the ends of the data range: the x ticks run 0..10, so the
  // points sit at the left edge and the right edge of the plot region.
  GraphSpec spec;
  Plot p;
  p.x = {0, 10};
  p.y = {0, 10};
  spec.plots.push_back(p);
  Recording rec;
  std::string error;
  int rc = 0;
  ASSERT_TRUE(render_graph(spec, &rec, &error, &rc));
  std::vector<Operands> markers;
  int left = -1;
  for (size_t i = 0; i < rec.size(); ++i) {
    if (rec.code(i) == kOpMarkerSized) markers.push_back(rec.operands(i));
    if (rec.code(i) == kOpRect && left < 0) left = rec.operands(i).x0;  // the plot region
  }
  ASSERT_EQ(markers.size(), 2u);
  EXPECT_EQ(markers[0].x0, left);
  EXPECT_GT(markers[1].x0, markers[0].x0);
  EXPECT_GT(markers[1].y0, markers[0].y0);
}

TEST(RenderGraph, AFittedLineStaysInsideThePlotRegion) {
  // y = 0, 10, 10, 10 at x = 0..3: by hand the line is 3 + 3x, which ends at
  // 12, above every y it was fitted to.  The y axis must reach that end.
  GraphSpec spec;
  Plot p;
  p.kind = PlotKind::kLfit;
  p.x = {0, 1, 2, 3};
  p.y = {0, 10, 10, 10};
  spec.plots.push_back(p);
  Recording rec;
  std::string error;
  int rc = 0;
  ASSERT_TRUE(render_graph(spec, &rec, &error, &rc));
  Operands region, fit;
  bool have_region = false, have_fit = false;
  for (size_t i = 0; i < rec.size(); ++i) {
    Operands o = rec.operands(i);
    if (rec.code(i) == kOpRect && !have_region) region = o, have_region = true;
    // Axes, ticks, grid and legend lines are level or upright; the fit is neither.
    if (rec.code(i) == kOpLine && o.x0 != o.x1 && o.y0 != o.y1) fit = o, have_fit = true;
  }
  ASSERT_TRUE(have_region && have_fit);
  int lo = std::min(region.y0, region.y1), hi = std::max(region.y0, region.y1);
  for (int y : {fit.y0, fit.y1}) {
    EXPECT_GE(y, lo);
    EXPECT_LE(y, hi);
  }
}

}  // namespace
}  // namespace nuvra::graphics
