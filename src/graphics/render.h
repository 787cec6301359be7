// The graph renderer: lays out a plot region, axes with nice ticks,
// titles, a legend and the plots, and issues the drawing into a
// recording that any device replays.
#pragma once
#include <string>
#include <vector>

#include "graphics/drawing.h"

namespace nuvra::graphics {

enum class PlotKind { kScatter, kLine, kConnected, kLfit, kArea, kBar, kBox };

struct Plot {
  PlotKind kind = PlotKind::kScatter;
  std::vector<double> x, y;  // missing values break lines and are not drawn
  std::string label;         // the legend's text
  double bar_width = 0;      // bars: width in x units (0: from the spacing of x)
  // Boxes: the box at x = box_at from the lower quartile to the upper with
  // the median across it, whiskers to the adjacent values; x and y hold
  // the outside values, drawn as markers.
  double box_at = 0;
  double lower_adjacent = 0, lower_quartile = 0, median = 0, upper_quartile = 0, upper_adjacent = 0;
};

// The box of a box plot over ordered values (missing ones left out
// before): quartiles and median as the detailed summary computes its
// 25th, 50th and 75th percentiles; the adjacent values are the most
// extreme values within 1.5 interquartile ranges of the box; values
// beyond them are outside values.  False when there are no values.
bool box_statistics(const std::vector<double>& sorted, Plot* box);

struct GraphSpec {
  std::vector<Plot> plots;
  std::string title, subtitle, note, xtitle, ytitle;
  bool xlog = false, ylog = false;
  bool legend = true;                    // shown when there is more than one plot
  std::vector<std::string> categories;  // bar charts: names under x = 1, 2, ...
  bool y_from_zero = false;              // bars and histograms stand on zero
  // A pie of these values (labelled by `categories`) instead of plots.
  bool pie = false;
  std::vector<double> pie_values;
};

// A pie: slices in order, anticlockwise from 90 degrees (the top), each
// of an angle proportional to its value; zero values draw no slice.
struct PieSpec {
  std::vector<double> values;       // non-negative, at least one above 0
  std::vector<std::string> labels;  // the legend's text for each slice
  std::string title, subtitle, note;
};
bool render_pie(const PieSpec& spec, Recording* rec, std::string* error, int* rc);

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
