// The graph renderer: lays out a plot region, axes with nice ticks,
// titles, a legend and the plots, and issues the drawing into a
// recording that any device replays.
#pragma once
#include <string>
#include <vector>

#include "graphics/drawing.h"

namespace nuvra::graphics {

enum class PlotKind { kScatter, kLine, kConnected, kLfit, kArea, kBar };

struct Plot {
  PlotKind kind = PlotKind::kScatter;
  std::vector<double> x, y;  // missing values break lines and are not drawn
  std::string label;         // the legend's text
  double bar_width = 0;      // bars: width in x units (0: from the spacing of x)
};

struct GraphSpec {
  std::vector<Plot> plots;
  std::string title, subtitle, note, xtitle, ytitle;
  bool xlog = false, ylog = false;
  bool legend = true;                    // shown when there is more than one plot
  std::vector<std::string> categories;  // bar charts: names under x = 1, 2, ...
  bool y_from_zero = false;              // bars and histograms stand on zero
};

// Values from lo to hi at a round step (1, 2 or 5 times a power of ten),
// about `target` of them, covering [lo, hi].
std::vector<double> nice_ticks(double lo, double hi, int target);

// Least-squares line y = a + b x over the pairs with both values present;
// false when x does not vary.
bool least_squares(const std::vector<double>& x, const std::vector<double>& y, double* a, double* b);

// The drawing of the graph, or false with a message in *error (and the
// return code in *rc): no points to draw (2000), a log scale over a
// non-positive value (459).
bool render_graph(const GraphSpec& spec, Recording* rec, std::string* error, int* rc);

}  // namespace nuvra::graphics
