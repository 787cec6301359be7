#include "graphics/render.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <utility>

#include "data/missing.h"
#include "stats/summarize.h"

namespace nuvra::graphics {

namespace {

constexpr Rgb kSchemeColours[] = {
#define SCHEME_COLOUR(r, g, b) Rgb{r, g, b},
#include "graphics/scheme_colours.def"
#undef SCHEME_COLOUR
};
constexpr int kSchemeCount = sizeof kSchemeColours / sizeof kSchemeColours[0];

constexpr int kWidth = 5500, kHeight = 4000;  // 5.5 by 4 inches
constexpr int kTextSize = 110, kTitleSize = 160, kTickLength = 60, kMarkerR = 35;
const Rgb kBlack{0, 0, 0}, kGrid{234, 242, 243}, kPlotBackground{255, 255, 255};

// Half the width of a box, in x units (boxes stand at x = 1, 2, ...).
constexpr double kBoxHalfWidth = 0.25;

bool present(double v) { return !data::is_missing(v) && std::isfinite(v); }

std::string tick_label(double v) {
  char buf[32];
  if (std::fabs(v) < 1e-12) v = 0;
  std::snprintf(buf, sizeof buf, "%.6g", v);
  return buf;
}

// The scale of one axis: data value to graph unit.
struct Axis {
  double lo = 0, hi = 1;  // in the transformed (log10 when logged) scale
  bool log = false;
  int from = 0, to = 1;   // graph units
  double at(double v) const {
    double t = log ? std::log10(v) : v;
    return from + (t - lo) / (hi - lo) * (to - from);
  }
  int unit(double v) const { return static_cast<int>(std::lround(at(v))); }
};

// The segment a fitted plot draws: its least-squares line from the
// smallest to the largest x of its complete points.  False when there is
// no point or no line can be fitted.
struct FitSegment {
  double x0, y0, x1, y1;
};
bool fit_segment(const Plot& p, FitSegment* seg) {
  bool any = false;
  for (size_t i = 0; i < p.x.size(); ++i)
    if (present(p.x[i]) && present(p.y[i])) {
      if (!any || p.x[i] < seg->x0) seg->x0 = p.x[i];
      if (!any || p.x[i] > seg->x1) seg->x1 = p.x[i];
      any = true;
    }
  double a, b;
  if (!any || !least_squares(p.x, p.y, &a, &b)) return false;
  seg->y0 = a + b * seg->x0;
  seg->y1 = a + b * seg->x1;
  return present(seg->y0) && present(seg->y1);
}

// The data range of the plots along x (or y), transformed.
bool data_range(const GraphSpec& spec, bool y, bool log, double* lo, double* hi) {
  bool any = false;
  auto take = [&](double t, double spread) {
    if (!any || t - spread < *lo) *lo = t - spread;
    if (!any || t + spread > *hi) *hi = t + spread;
    any = true;
  };
  for (const Plot& p : spec.plots) {
    // A fitted line spans what it draws, its values at the ends of x,
    // which may lie beyond every y it was fitted to.
    if (y && p.kind == PlotKind::kLfit) {
      FitSegment f;
      if (!fit_segment(p, &f)) continue;
      for (double v : {f.y0, f.y1})
        if (!log || v > 0) take(log ? std::log10(v) : v, 0);
      continue;
    }
    if (p.kind == PlotKind::kBox) {
      if (!y) {
        take(log ? std::log10(p.box_at) : p.box_at, kBoxHalfWidth * 2);
      } else {
        for (double v : {p.lower_adjacent, p.upper_adjacent})
          if (!log || v > 0) take(log ? std::log10(v) : v, 0);
      }
    }
    const std::vector<double>& v = y ? p.y : p.x;
    for (size_t i = 0; i < v.size(); ++i) {
      if (!present(p.x[i]) || !present(p.y[i])) continue;
      double t = log ? std::log10(v[i]) : v[i];
      take(t, (!y && p.kind == PlotKind::kBar) ? p.bar_width / 2 : 0);
    }
  }
  return any;
}

void draw_plot(Canvas& c, const Plot& p, const Axis& ax, const Axis& ay, Rgb colour) {
  const size_t n = p.x.size();
  c.set_line(colour, p.kind == PlotKind::kScatter ? 0.5f : 1.2f);
  c.set_fill(colour);
  auto ok = [&](size_t i) { return present(p.x[i]) && present(p.y[i]); };
  switch (p.kind) {
    case PlotKind::kScatter:
      for (size_t i = 0; i < n; ++i)
        if (ok(i)) c.marker(kMarkCircle, ax.unit(p.x[i]), ay.unit(p.y[i]), kMarkerR, true);
      break;
    case PlotKind::kLine:
    case PlotKind::kConnected: {
      std::vector<std::pair<int, int>> run;
      for (size_t i = 0; i <= n; ++i) {
        if (i < n && ok(i)) {
          run.emplace_back(ax.unit(p.x[i]), ay.unit(p.y[i]));
          continue;
        }
        if (run.size() > 1) c.polyline(run);
        if (p.kind == PlotKind::kConnected)
          for (auto [x, y] : run) c.marker(kMarkCircle, x, y, kMarkerR, true);
        run.clear();
      }
      break;
    }
    case PlotKind::kLfit: {
      FitSegment f;
      // On a log scale a fitted end at or below zero has no place.
      if (fit_segment(p, &f) && (!ay.log || (f.y0 > 0 && f.y1 > 0))) c.line(ax.unit(f.x0), ay.unit(f.y0), ax.unit(f.x1), ay.unit(f.y1));
      break;
    }
    case PlotKind::kArea: {
      std::vector<std::pair<int, int>> pts;
      int base = ay.from;
      for (size_t i = 0; i < n; ++i)
        if (ok(i)) pts.emplace_back(ax.unit(p.x[i]), ay.unit(p.y[i]));
      if (pts.size() < 2) break;
      pts.emplace_back(pts.back().first, base);
      pts.emplace_back(pts.front().first, base);
      c.polygon(pts, true);
      break;
    }
    case PlotKind::kBox: {
      const int xl = ax.unit(p.box_at - kBoxHalfWidth), xr = ax.unit(p.box_at + kBoxHalfWidth);
      const int xm = ax.unit(p.box_at);
      const int cl = ax.unit(p.box_at - kBoxHalfWidth / 2), cr = ax.unit(p.box_at + kBoxHalfWidth / 2);
      const int q1 = ay.unit(p.lower_quartile), q3 = ay.unit(p.upper_quartile);
      c.line(xm, q3, xm, ay.unit(p.upper_adjacent));
      c.line(xm, q1, xm, ay.unit(p.lower_adjacent));
      c.line(cl, ay.unit(p.upper_adjacent), cr, ay.unit(p.upper_adjacent));
      c.line(cl, ay.unit(p.lower_adjacent), cr, ay.unit(p.lower_adjacent));
      c.rect(xl, q1, xr, q3, true);
      c.set_line(Rgb{255, 255, 255}, 1.5f);
      c.line(xl, ay.unit(p.median), xr, ay.unit(p.median));
      c.set_line(colour, 1.2f);
      for (size_t i = 0; i < n; ++i)
        if (ok(i)) c.marker(kMarkCircle, ax.unit(p.x[i]), ay.unit(p.y[i]), kMarkerR, false);
      break;
    }
    case PlotKind::kBar: {
      int base = ay.log ? ay.from : ay.unit(std::clamp(0.0, ay.lo, ay.hi));
      for (size_t i = 0; i < n; ++i) {
        if (!ok(i)) continue;
        int x0 = ax.unit(p.x[i] - p.bar_width / 2), x1 = ax.unit(p.x[i] + p.bar_width / 2);
        int y = ay.unit(p.y[i]);
        c.rect(x0, std::min(base, y), x1, std::max(base, y), true);
      }
      break;
    }
  }
}

// Empties the recording for a new graph on the standard white page.
void start_page(Recording* rec) {
  rec->clear();
  rec->width = kWidth;
  rec->height = kHeight;
  rec->background = Rgb{255, 255, 255};
}

}  // namespace

bool box_statistics(const std::vector<double>& sorted, Plot* box) {
  const auto n = static_cast<std::int64_t>(sorted.size());
  if (n == 0) return false;
  box->lower_quartile = stats::percentile_unweighted(sorted.data(), n, 25);
  box->median = stats::percentile_unweighted(sorted.data(), n, 50);
  box->upper_quartile = stats::percentile_unweighted(sorted.data(), n, 75);
  const double reach = 1.5 * (box->upper_quartile - box->lower_quartile);
  const double lo_fence = box->lower_quartile - reach, hi_fence = box->upper_quartile + reach;
  box->lower_adjacent = box->lower_quartile;
  box->upper_adjacent = box->upper_quartile;
  for (double v : sorted)
    if (v >= lo_fence) {
      box->lower_adjacent = std::min(v, box->lower_quartile);
      break;
    }
  for (auto it = sorted.rbegin(); it != sorted.rend(); ++it)
    if (*it <= hi_fence) {
      box->upper_adjacent = std::max(*it, box->upper_quartile);
      break;
    }
  box->x.clear();
  box->y.clear();
  for (double v : sorted)
    if (v < lo_fence || v > hi_fence) {
      box->x.push_back(box->box_at);
      box->y.push_back(v);
    }
  return true;
}

bool render_pie(const PieSpec& spec, Recording* rec, std::string* error, int* rc) {
  double total = 0;
  for (double v : spec.values)
    if (present(v) && v > 0) total += v;
  if (!(total > 0) || !std::isfinite(total)) {
    *error = "no positive values to draw";
    *rc = 2000;
    return false;
  }
  start_page(rec);
  Canvas c(rec);
  c.begin();
  c.set_text_colour(kBlack);
  int top = kHeight - 200;
  if (!spec.title.empty()) top -= 300;
  if (!spec.subtitle.empty()) top -= 200;
  const int rows = static_cast<int>((spec.values.size() + 3) / 4);
  int bottom = 250 + rows * 220 + (spec.note.empty() ? 0 : 150);
  const int r = std::max(100, (top - bottom) / 2 - 50);
  const int cx = kWidth / 2, cy = (top + bottom) / 2;
  double angle = 90;
  for (size_t k = 0; k < spec.values.size(); ++k) {
    double v = spec.values[k];
    if (!present(v) || !(v > 0)) continue;
    Rgb col = kSchemeColours[k % kSchemeCount];
    double sweep = 360.0 * v / total;
    c.set_line(Rgb{255, 255, 255}, 0.7f);
    c.set_fill(col);
    c.pie(cx, cy, r, static_cast<float>(angle), static_cast<float>(angle + sweep), true);
    angle += sweep;
  }
  // The legend: four keys a row under the pie.
  const int slot = (kWidth - 500) / 4;
  for (size_t k = 0; k < spec.values.size(); ++k) {
    Rgb col = kSchemeColours[k % kSchemeCount];
    int x = 250 + static_cast<int>(k % 4) * slot + 100;
    int y = bottom - 220 * static_cast<int>(k / 4 + 1) + 40;
    c.set_line(col, 0.5f);
    c.set_fill(col);
    c.rect(x, y - 30, x + 250, y + 110, true);
    c.text(x + 330, y, k < spec.labels.size() ? spec.labels[k] : std::string(), kTextSize, kAlignLeft);
  }
  if (!spec.note.empty()) c.text(250, 120, spec.note, kTextSize * 8 / 10, kAlignLeft);
  if (!spec.title.empty()) c.text(kWidth / 2, kHeight - 350, spec.title, kTitleSize, kAlignCentre);
  if (!spec.subtitle.empty())
    c.text(kWidth / 2, kHeight - 350 - (spec.title.empty() ? 0 : 250), spec.subtitle, kTextSize, kAlignCentre);
  c.end();
  return true;
}

std::vector<double> nice_ticks(double lo, double hi, int target) {
  std::vector<double> ticks;
  if (!(hi > lo) || target < 1) return ticks;
  double raw = (hi - lo) / target;
  double mag = std::pow(10, std::floor(std::log10(raw)));
  double f = raw / mag;
  double step = (f < 1.5 ? 1 : f < 3 ? 2 : f < 7 ? 5 : 10) * mag;
  double first = std::floor(lo / step + 1e-9) * step;
  for (int i = 0; i < 1000; ++i) {
    double v = first + i * step;
    if (std::fabs(v) < step * 1e-9) v = 0;
    ticks.push_back(v);
    if (v >= hi - step * 1e-9) break;
  }
  return ticks;
}

bool least_squares(const std::vector<double>& x, const std::vector<double>& y, double* a, double* b) {
  double n = 0, mx = 0, my = 0;
  for (size_t i = 0; i < x.size(); ++i)
    if (present(x[i]) && present(y[i])) {
      ++n;
      mx += (x[i] - mx) / n;
      my += (y[i] - my) / n;
    }
  double sxx = 0, sxy = 0;
  for (size_t i = 0; i < x.size(); ++i)
    if (present(x[i]) && present(y[i])) {
      sxx += (x[i] - mx) * (x[i] - mx);
      sxy += (x[i] - mx) * (y[i] - my);
    }
  if (!(sxx > 0)) return false;
  *b = sxy / sxx;
  *a = my - *b * mx;
  return true;
}

bool render_graph(const GraphSpec& spec, Recording* rec, std::string* error, int* rc) {
  for (const Plot& p : spec.plots)
    for (size_t i = 0; i < p.x.size(); ++i) {
      if (!present(p.x[i]) || !present(p.y[i])) continue;
      if ((spec.xlog && !(p.x[i] > 0)) || (spec.ylog && !(p.y[i] > 0))) {
        *error = spec.xlog && !(p.x[i] > 0) ? "log scale on x: the data include values of zero or below"
                                            : "log scale on y: the data include values of zero or below";
        *rc = 459;
        return false;
      }
    }
  Axis ax, ay;
  ax.log = spec.xlog;
  ay.log = spec.ylog;
  if (!data_range(spec, false, ax.log, &ax.lo, &ax.hi) || !data_range(spec, true, ay.log, &ay.lo, &ay.hi)) {
    *error = "no observations";
    *rc = 2000;
    return false;
  }
  if (spec.y_from_zero && !ay.log) {
    ay.lo = std::min(ay.lo, 0.0);
    ay.hi = std::max(ay.hi, 0.0);
  }
  // Constant data still get an axis: one unit either side of the value.
  if (!(ax.hi > ax.lo)) ax.lo -= 1, ax.hi += 1;
  if (!(ay.hi > ay.lo)) ay.lo -= 1, ay.hi += 1;
  std::vector<double> xt = spec.categories.empty() ? nice_ticks(ax.lo, ax.hi, 5) : std::vector<double>{};
  std::vector<double> yt = nice_ticks(ay.lo, ay.hi, 5);
  if (!xt.empty()) ax.lo = std::min(ax.lo, xt.front()), ax.hi = std::max(ax.hi, xt.back());
  if (!spec.categories.empty()) ax.lo = 0.4, ax.hi = spec.categories.size() + 0.6;
  if (!yt.empty()) ay.lo = std::min(ay.lo, yt.front()), ay.hi = std::max(ay.hi, yt.back());

  const bool legend = spec.legend && spec.plots.size() > 1;
  int top = kHeight - 200, bottom = 650;
  if (!spec.title.empty()) top -= 300;
  if (!spec.subtitle.empty()) top -= 200;
  if (!spec.xtitle.empty()) bottom += 200;
  if (legend) bottom += 250;
  if (!spec.note.empty()) bottom += 150;
  ax.from = spec.ytitle.empty() ? 750 : 950;
  ax.to = kWidth - 250;
  ay.from = bottom;
  ay.to = top;

  start_page(rec);
  Canvas c(rec);
  c.begin();
  c.set_text_colour(kBlack);
  c.set_line(kBlack, 0.5f);
  c.set_fill(kPlotBackground);
  c.rect(ax.from, ay.from, ax.to, ay.to, true);
  // Grid lines at the y ticks, then the plots, then the axes over them.
  c.set_line(kGrid, 0.5f);
  for (double t : yt) c.line(ax.from, ay.unit(ay.log ? std::pow(10, t) : t), ax.to, ay.unit(ay.log ? std::pow(10, t) : t));
  for (size_t k = 0; k < spec.plots.size(); ++k) draw_plot(c, spec.plots[k], ax, ay, kSchemeColours[k % kSchemeCount]);
  c.set_line(kBlack, 0.7f);
  c.line(ax.from, ay.from, ax.to, ay.from);
  c.line(ax.from, ay.from, ax.from, ay.to);
  for (double t : yt) {
    double v = ay.log ? std::pow(10, t) : t;
    int y = ay.unit(v);
    c.line(ax.from - kTickLength, y, ax.from, y);
    c.text(ax.from - kTickLength - 40, y - kTextSize * 35 / 100, tick_label(v), kTextSize, kAlignRight);
  }
  for (double t : xt) {
    double v = ax.log ? std::pow(10, t) : t;
    int x = ax.unit(v);
    c.line(x, ay.from - kTickLength, x, ay.from);
    c.text(x, ay.from - kTickLength - kTextSize - 20, tick_label(v), kTextSize, kAlignCentre);
  }
  for (size_t i = 0; i < spec.categories.size(); ++i) {
    int x = ax.unit(static_cast<double>(i + 1));
    c.text(x, ay.from - kTextSize - 60, spec.categories[i], kTextSize, kAlignCentre);
  }
  int below = ay.from - kTickLength - kTextSize - 80;
  if (!spec.xtitle.empty()) {
    below -= kTextSize + 60;
    c.text((ax.from + ax.to) / 2, below, spec.xtitle, kTextSize, kAlignCentre);
  }
  if (!spec.ytitle.empty())
    c.text(ax.from - 650, (ay.from + ay.to) / 2, spec.ytitle, kTextSize, kAlignCentre, 90);
  if (legend) {
    below -= 250;
    const int slot = (ax.to - ax.from) / static_cast<int>(spec.plots.size());
    for (size_t k = 0; k < spec.plots.size(); ++k) {
      Rgb col = kSchemeColours[k % kSchemeCount];
      int x = ax.from + static_cast<int>(k) * slot + 100;
      c.set_line(col, 1.2f);
      c.set_fill(col);
      const Plot& p = spec.plots[k];
      if (p.kind == PlotKind::kScatter)
        c.marker(kMarkCircle, x + 150, below + 40, kMarkerR, true);
      else if (p.kind == PlotKind::kBar || p.kind == PlotKind::kArea)
        c.rect(x, below - 30, x + 300, below + 110, true);
      else
        c.line(x, below + 40, x + 300, below + 40);
      c.text(x + 380, below, p.label, kTextSize, kAlignLeft);
    }
  }
  if (!spec.note.empty()) c.text(ax.from, 120, spec.note, kTextSize * 8 / 10, kAlignLeft);
  if (!spec.title.empty()) c.text(kWidth / 2, kHeight - 350, spec.title, kTitleSize, kAlignCentre);
  if (!spec.subtitle.empty())
    c.text(kWidth / 2, kHeight - 350 - (spec.title.empty() ? 0 : 250), spec.subtitle, kTextSize, kAlignCentre);
  c.end();
  return true;
}

}  // namespace nuvra::graphics
