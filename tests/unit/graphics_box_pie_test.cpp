// Box plots and pies: the box statistics computed by hand, the box drawn at
// their places, slices of the right angles.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "graphics/drawing.h"
#include "graphics/render.h"

namespace nuvra::graphics {
namespace {

TEST(BoxStatistics, QuartilesAdjacentAndOutsideValuesByHand) {
  // 1..9 and 30.  n = 10: the 25th percentile is the 3rd value (n p / 100
  // = 2.5 is not whole), the median the mean of the 5th and 6th, the 75th
  // the 8th.  IQR 5, fences 3 - 7.5 and 8 + 7.5: 30 is outside, 9 is the
  // upper adjacent value, 1 the lower.
  Plot p;
  p.box_at = 2;
  ASSERT_TRUE(box_statistics({1, 2, 3, 4, 5, 6, 7, 8, 9, 30}, &p));
  EXPECT_EQ(p.lower_quartile, 3);
  EXPECT_EQ(p.median, 5.5);
  EXPECT_EQ(p.upper_quartile, 8);
  EXPECT_EQ(p.lower_adjacent, 1);
  EXPECT_EQ(p.upper_adjacent, 9);
  EXPECT_EQ(p.y, std::vector<double>{30});
  EXPECT_EQ(p.x, std::vector<double>{2});

  // n = 4: n p / 100 is whole at 25, 50 and 75, so each is the mean of two
  // neighbours: 1.5, 2.5, 3.5; nothing outside.
  ASSERT_TRUE(box_statistics({1, 2, 3, 4}, &p));
  EXPECT_EQ(p.lower_quartile, 1.5);
  EXPECT_EQ(p.median, 2.5);
  EXPECT_EQ(p.upper_quartile, 3.5);
  EXPECT_EQ(p.lower_adjacent, 1);
  EXPECT_EQ(p.upper_adjacent, 4);
  EXPECT_TRUE(p.y.empty());

  // A low outside value, and one value alone.
  ASSERT_TRUE(box_statistics({-50, 10, 11, 12, 13}, &p));
  EXPECT_EQ(p.lower_quartile, 10);
  EXPECT_EQ(p.upper_quartile, 12);
  EXPECT_EQ(p.lower_adjacent, 10);
  EXPECT_EQ(p.y, std::vector<double>{-50});
  ASSERT_TRUE(box_statistics({7}, &p));
  EXPECT_EQ(p.lower_adjacent, 7);
  EXPECT_EQ(p.upper_adjacent, 7);
  EXPECT_FALSE(box_statistics({}, &p));
}

TEST(BoxPlot, TheBoxWhiskersAndOutsideValueStandAtTheirValues) {
  GraphSpec spec;
  spec.categories = {"v"};
  Plot p;
  p.kind = PlotKind::kBox;
  p.box_at = 1;
  ASSERT_TRUE(box_statistics({1, 2, 3, 4, 5, 6, 7, 8, 9, 30}, &p));
  spec.plots.push_back(p);
  Recording rec;
  std::string error;
  int rc = 0;
  ASSERT_TRUE(render_graph(spec, &rec, &error, &rc)) << error;
  // The filled rectangles: the plot region first, then the box.
  std::vector<Operands> rects, vertical, horizontal;
  std::vector<Operands> hollow;
  for (std::size_t i = 0; i < rec.size(); ++i) {
    const Operands& o = rec.operands(i);
    if (rec.code(i) == kOpRect && o.fill) rects.push_back(o);
    if (rec.code(i) == kOpLine && o.x0 == o.x1) vertical.push_back(o);
    if (rec.code(i) == kOpLine && o.y0 == o.y1 && o.line == (Rgb{255, 255, 255})) horizontal.push_back(o);
    if (rec.code(i) == kOpMarkerSized && !o.fill) hollow.push_back(o);
  }
  ASSERT_EQ(rects.size(), 2u);
  const Operands& box = rects[1];
  const double q1 = box.y0, q3 = box.y1;
  // Whiskers: vertical lines from the box to the adjacent values, at the
  // box's centre.
  double low = 0, high = 0;
  int whiskers = 0;
  for (const Operands& w : vertical)
    if (w.x0 == (box.x0 + box.x1) / 2 || std::abs(w.x0 - (box.x0 + box.x1) / 2) <= 1) {
      if (w.y0 == box.y1) high = w.y1, ++whiskers;
      if (w.y0 == box.y0) low = w.y1, ++whiskers;
    }
  ASSERT_EQ(whiskers, 2);
  // On the axis, 1 to 9 spans 8 units: the box (3 to 8) is 5/8 of it, its
  // median (5.5) halfway up the box, the outside value 30 at 29/8.
  const double unit = (high - low) / 8;
  EXPECT_NEAR((q1 - low) / unit, 2, 0.01);
  EXPECT_NEAR((q3 - low) / unit, 7, 0.01);
  ASSERT_EQ(horizontal.size(), 1u);
  EXPECT_NEAR((horizontal[0].y0 - low) / unit, 4.5, 0.01);
  ASSERT_EQ(hollow.size(), 1u);
  EXPECT_NEAR((hollow[0].y0 - low) / unit, 29, 0.01);
}

TEST(Pie, SlicesAreProportionalToTheValues) {
  PieSpec spec;
  spec.values = {1, 0, 1, 2};
  spec.labels = {"a", "none", "b", "c"};
  Recording rec;
  std::string error;
  int rc = 0;
  ASSERT_TRUE(render_pie(spec, &rec, &error, &rc)) << error;
  std::vector<std::pair<float, float>> slices;
  for (std::size_t i = 0; i < rec.size(); ++i)
    if (rec.code(i) == kOpPie) slices.emplace_back(rec.operands(i).a0, rec.operands(i).a1);
  // Anticlockwise from the top: a quarter, (no slice for 0), a quarter, a
  // half.
  ASSERT_EQ(slices.size(), 3u);
  EXPECT_FLOAT_EQ(slices[0].first, 90);
  EXPECT_FLOAT_EQ(slices[0].second, 180);
  EXPECT_FLOAT_EQ(slices[1].first, 180);
  EXPECT_FLOAT_EQ(slices[1].second, 270);
  EXPECT_FLOAT_EQ(slices[2].first, 270);
  EXPECT_FLOAT_EQ(slices[2].second, 450);
  // Every label is in the legend, the empty slice's too.
  int labels = 0;
  for (std::size_t i = 0; i < rec.size(); ++i)
    if (rec.code(i) == kOpText) ++labels;
  EXPECT_EQ(labels, 4);

  spec.values = {0, 0};
  EXPECT_FALSE(render_pie(spec, &rec, &error, &rc));
  EXPECT_EQ(rc, 2000);
}

}  // namespace
}  // namespace nuvra::graphics
