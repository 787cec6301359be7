// graph: draws graphs from the data through sersets, keeps them by name,
// and exports them through the PostScript and cairo devices.
//
//   graph twoway plot [if] [in] [, options]
//   graph twoway (plot) (plot) ... [if] [in] [, options]
//        plot: scatter|line|connected|lfit|area|bar yvar xvar
//   graph histogram var [if] [in] [, bins(#) frequency options]
//   graph bar varlist [if] [in] [, options]       the means of the variables
//   graph box varlist [if] [in] [, options]       quartiles, adjacent and outside values
//   graph pie varlist [if] [in] [, over(var) options]   slices of sums
//   graph export file.eps|.ps|.png|.pdf|.svg [, replace name() width(#) cmyk landscape]
//   graph dir | graph describe [name] | graph drop name...|_all
//   graph save [name] file[.gph] [, replace]   |   graph use file[.gph] [, name()]
//
// options: title() subtitle() note() xtitle() ytitle() xscale(log)
// yscale(log) legend(off) name()
#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "base/text.h"
#include "data/commands/dta_commands.h"
#include "data/dta/replace_file.h"
#include "data/expr/sample.h"
#include "data/missing.h"
#include "data/varlist.h"
#include "graphics/cairo_device.h"
#include "graphics/commands/graph_state.h"
#include "graphics/ps_device.h"
#include "graphics/render.h"
#include "interp/builtins.h"
#include "interp/interp.h"
#include "interp/messages.h"
#include "interp/parse.h"

namespace nuvra {

namespace {

using base::trim_blanks;
using graphics::GraphSpec;
using graphics::NamedGraph;
using graphics::Plot;
using graphics::PlotKind;

rc_t say(Interp& ip, const std::string& text, rc_t rc) { return msg_quoting(ip.out, text, "", "", rc); }

struct PlotRequest {
  PlotKind kind;
  std::vector<int> vars;  // y then x
};

bool plot_kind(std::string_view w, PlotKind* k) {
  static const std::pair<const char*, PlotKind> kKinds[] = {
      {"scatter", PlotKind::kScatter}, {"line", PlotKind::kLine}, {"connected", PlotKind::kConnected},
      {"lfit", PlotKind::kLfit},       {"area", PlotKind::kArea}, {"bar", PlotKind::kBar}};
  for (auto& [name, kind] : kKinds)
    if (w == name) {
      *k = kind;
      return true;
    }
  return false;
}

// The options every graph takes.
rc_t common_options(Interp& ip, CommandLine& cl, GraphSpec* spec, std::string* name) {
  cl.string("title", 2, &spec->title, 244, 100);
  cl.string("subtitle", 3, &spec->subtitle, 244, 100);
  cl.string("note", 4, &spec->note, 244, 100);
  cl.string("xtitle", 6, &spec->xtitle, 244, 100);
  cl.string("ytitle", 6, &spec->ytitle, 244, 100);
  std::string scale;
  if (cl.string("xscale", 6, &scale, 64, 4)) {
    if (scale != "log") return say(ip, "xscale() takes log\n", 198);
    spec->xlog = true;
  }
  if (cl.string("yscale", 6, &scale, 64, 4)) {
    if (scale != "log") return say(ip, "yscale() takes log\n", 198);
    spec->ylog = true;
  }
  std::string legend;
  if (cl.string("legend", 3, &legend, 64, 4)) {
    if (legend != "off" && legend != "on") return say(ip, "legend() takes on or off\n", 198);
    spec->legend = legend == "on";
  }
  *name = "Graph";
  std::string given;
  if (cl.string("name", 4, &given, 64, 1)) {
    std::string_view n = trim_blanks(given);
    if (!graphics::valid_graph_name(n))
      return msg_quoting(ip.out, "", given, " invalid name\n", 198);
    *name = std::string(n);
  }
  return 0;
}

rc_t numeric_vars(Interp& ip, std::string_view text, std::vector<int>* vars) {
  data::VarlistFailure fail;
  if (data::read_varlist(ip.dataset, text, vars, &fail)) return msg_quoting(ip.out, "", fail.message, "\n", fail.rc);
  for (int j : *vars)
    if (ip.dataset.is_string(j))
      return msg_quoting(ip.out, "", ip.dataset.name(j), ":  string variables may not be graphed\n", 109);
  return 0;
}

// The line of a graph of one variable list: the variables, if and in, and
// the options; by() is not taken.
rc_t read_varlist_graph(Interp& ip, CommandLine* cl) {
  ParseSettings st{.varlist = true, .allow_if = true, .allow_in = true, .allow_by = false};
  return standard_parse(ip, st, cl);
}

// The line of bar and box: the options every graph takes, and one or more
// numeric variables, as many as a serset holds.
rc_t read_category_graph(Interp& ip, CommandLine* cl, GraphSpec* spec, std::string* name, std::vector<int>* vars) {
  if (rc_t rc = read_varlist_graph(ip, cl)) return rc;
  if (rc_t rc = common_options(ip, *cl, spec, name)) return rc;
  if (rc_t rc = cl->leftover(ip)) return rc;
  if (rc_t rc = numeric_vars(ip, cl->varlist_text, vars)) return rc;
  if (vars->empty()) return msg_required(ip, "varlist");
  if (vars->size() > static_cast<size_t>(graphics::kSersetMaxVars)) return rc_message(ip, 103);
  return 0;
}

// The observations a graph draws; "no observations" when there are none.
rc_t graph_sample(Interp& ip, const CommandLine& cl, std::vector<char>* touse) {
  std::int64_t n = 0;
  if (rc_t rc = expr::mark_sample(ip, cl, touse, &n)) return rc;
  if (n == 0) return say(ip, "no observations\n", 2000);
  return 0;
}

// Copies the variables into a new serset and keeps the graph drawn from it
// under its name.  Nothing is kept when the drawing fails.
rc_t finish_graph(Interp& ip, std::string_view type, const std::vector<int>& vars, const std::vector<char>& touse,
                  GraphSpec spec, const std::vector<std::vector<int>>& plot_columns, const std::string& name,
                  const std::function<rc_t(const graphics::Serset&, GraphSpec*)>& shape) {
  graphics::Serset s;
  if (rc_t rc = graphics::copy_to_serset(ip, vars, {}, touse, graphics::MissingRule::kDupMiss, &s)) return rc;
  for (size_t k = 0; k < plot_columns.size(); ++k) {
    spec.plots[k].y = s.vars[plot_columns[k][0]].num;
    spec.plots[k].x = s.vars[plot_columns[k][1]].num;
  }
  if (shape)
    if (rc_t rc = shape(s, &spec)) return rc;
  NamedGraph g;
  g.name = name;
  g.command = std::string(trim_blanks(std::string_view(*ip.reader.buffer())));
  std::string error;
  int rc = 0;
  bool drawn;
  if (spec.pie) {
    graphics::PieSpec pie;
    pie.values = spec.pie_values;
    pie.labels = spec.categories;
    pie.title = spec.title;
    pie.subtitle = spec.subtitle;
    pie.note = spec.note;
    drawn = graphics::render_pie(pie, &g.drawing, &error, &rc);
  } else {
    drawn = graphics::render_graph(spec, &g.drawing, &error, &rc);
  }
  if (!drawn) return say(ip, error + "\n", rc);
  g.facts = graphics::spec_facts(type, spec);
  return graphics::keep_graph(ip, std::move(g), &s);
}

rc_t graph_twoway(Interp& ip) {
  std::string_view rest = ip.reader.rest();
  std::vector<PlotRequest> requests;
  std::vector<std::string> group_texts;
  size_t i = 0;
  // The plots in parentheses, then the if, in and options of the graph.
  while (i < rest.size() && (rest[i] == '(' || rest[i] == ' ')) {
    if (rest[i] == ' ') {
      ++i;
      continue;
    }
    size_t close = rest.find(')', i);
    if (close == std::string_view::npos) return say(ip, "unmatched open parenthesis\n", 198);
    group_texts.emplace_back(rest.substr(i + 1, close - i - 1));
    i = close + 1;
  }
  std::string tail(rest.substr(i));
  ParseSettings st;
  st.allow_if = st.allow_in = true;
  st.allow_by = false;
  CommandLine cl;
  if (group_texts.empty()) {
    // One plot without parentheses: its variables run to if, in or the comma.
    std::string_view t = tail;
    std::string kind(take_word(t));
    st.varlist = true;
    if (rc_t rc = dta::parse_text(ip, st, std::string(t), &cl)) return rc;
    group_texts.push_back(kind + " " + cl.varlist_text);
  } else if (rc_t rc = dta::parse_text(ip, st, tail, &cl)) {
    return rc;
  }
  for (const std::string& g : group_texts) {
    std::string_view t = g;
    std::string_view kind = take_word(t);
    PlotRequest r;
    if (!plot_kind(kind, &r.kind))
      return msg_quoting(ip.out, "plot type ", kind, " not recognized; use scatter, line, connected, lfit, area or bar\n",
                         198);
    if (rc_t rc = numeric_vars(ip, t, &r.vars)) return rc;
    if (r.vars.size() != 2) return say(ip, "a plot takes two variables: y and x\n", 198);
    requests.push_back(std::move(r));
  }
  GraphSpec spec;
  std::string name;
  if (rc_t rc = common_options(ip, cl, &spec, &name)) return rc;
  if (rc_t rc = cl.leftover(ip)) return rc;

  std::vector<int> vars;
  std::vector<std::vector<int>> columns;
  for (const PlotRequest& r : requests) {
    std::vector<int> col;
    for (int j : r.vars) {
      auto at = std::find(vars.begin(), vars.end(), j);
      if (at == vars.end()) {
        vars.push_back(j);
        at = vars.end() - 1;
      }
      col.push_back(static_cast<int>(at - vars.begin()));
    }
    columns.push_back(col);
    Plot p;
    p.kind = r.kind;
    p.label = r.kind == PlotKind::kLfit ? "Fitted values" : ip.dataset.name(r.vars[0]);
    spec.plots.push_back(p);
  }
  if (vars.size() > static_cast<size_t>(graphics::kSersetMaxVars)) return rc_message(ip, 103);
  if (spec.xtitle.empty()) spec.xtitle = ip.dataset.name(requests[0].vars[1]);
  if (spec.ytitle.empty() && requests.size() == 1) spec.ytitle = ip.dataset.name(requests[0].vars[0]);
  std::vector<char> touse;
  if (rc_t rc = graph_sample(ip, cl, &touse)) return rc;
  auto bar_widths = [](const graphics::Serset&, GraphSpec* sp) -> rc_t {
    for (Plot& p : sp->plots) {
      if (p.kind != PlotKind::kBar) continue;
      std::vector<double> xs;
      for (double v : p.x)
        if (!data::is_missing(v)) xs.push_back(v);
      std::sort(xs.begin(), xs.end());
      double gap = 0;
      for (size_t k = 1; k < xs.size(); ++k)
        if (xs[k] > xs[k - 1] && (gap == 0 || xs[k] - xs[k - 1] < gap)) gap = xs[k] - xs[k - 1];
      p.bar_width = gap > 0 ? gap * 0.8 : 0.8;
      sp->y_from_zero = true;
    }
    return 0;
  };
  return finish_graph(ip, "twoway", vars, touse, std::move(spec), columns, name, bar_widths);
}

rc_t graph_histogram(Interp& ip) {
  CommandLine cl;
  if (rc_t rc = read_varlist_graph(ip, &cl)) return rc;
  long long bins = cl.integer("bins", 3, 0);
  bool frequency = cl.flag("frequency", 4, 0) == 1;
  GraphSpec spec;
  std::string name;
  if (rc_t rc = common_options(ip, cl, &spec, &name)) return rc;
  if (rc_t rc = cl.leftover(ip)) return rc;
  if (bins < 0 || bins > 10000) return say(ip, "bins() must be between 1 and 10000\n", 198);
  std::vector<int> vars;
  if (rc_t rc = numeric_vars(ip, cl.varlist_text, &vars)) return rc;
  if (vars.size() != 1) return say(ip, "histogram takes one variable\n", 198);
  std::vector<char> touse;
  if (rc_t rc = graph_sample(ip, cl, &touse)) return rc;
  if (spec.xtitle.empty()) spec.xtitle = ip.dataset.name(vars[0]);
  if (spec.ytitle.empty()) spec.ytitle = frequency ? "Frequency" : "Density";
  spec.legend = false;
  spec.y_from_zero = true;
  Plot p;
  p.kind = PlotKind::kBar;
  spec.plots.push_back(p);
  auto shape = [bins, frequency](const graphics::Serset& s, GraphSpec* sp) -> rc_t {
    std::vector<double> v;
    for (double x : s.vars[0].num)
      if (!data::is_missing(x)) v.push_back(x);
    if (v.empty()) return 0;  // drawn as "no observations"
    auto [lo_it, hi_it] = std::minmax_element(v.begin(), v.end());
    double lo = *lo_it, hi = *hi_it;
    const double N = static_cast<double>(v.size());
    long long k = bins > 0 ? bins
                                  : std::max(1LL, static_cast<long long>(std::min(std::sqrt(N), 10 * std::log10(N))));
    // All values alike: one bar a unit wide around them.
    double width = hi > lo ? (hi - lo) / k : 1.0;
    if (!(hi > lo)) k = 1, lo -= 0.5;
    std::vector<double> counts(static_cast<size_t>(k), 0);
    for (double x : v) {
      long long b = static_cast<long long>((x - lo) / width);
      counts[static_cast<size_t>(std::clamp(b, 0LL, k - 1))] += 1;
    }
    Plot& p = sp->plots[0];
    p.bar_width = width;
    for (long long b = 0; b < k; ++b) {
      p.x.push_back(lo + (b + 0.5) * width);
      p.y.push_back(frequency ? counts[b] : counts[b] / (N * width));
    }
    return 0;
  };
  // The serset holds the variable; the plot is the binned counts.
  return finish_graph(ip, "histogram", vars, touse, std::move(spec), {}, name, shape);
}

rc_t graph_bar(Interp& ip) {
  CommandLine cl;
  GraphSpec spec;
  std::string name;
  std::vector<int> vars;
  if (rc_t rc = read_category_graph(ip, &cl, &spec, &name, &vars)) return rc;
  std::vector<char> touse;
  if (rc_t rc = graph_sample(ip, cl, &touse)) return rc;
  for (int j : vars) spec.categories.push_back(ip.dataset.name(j));
  if (spec.ytitle.empty()) spec.ytitle = "mean";
  spec.legend = false;
  spec.y_from_zero = true;
  auto shape = [](const graphics::Serset& s, GraphSpec* sp) -> rc_t {
    for (size_t j = 0; j < s.vars.size(); ++j) {
      double sum = 0, count = 0;
      for (double x : s.vars[j].num)
        if (!data::is_missing(x)) sum += x, ++count;
      Plot p;
      p.kind = PlotKind::kBar;
      p.bar_width = 0.7;
      p.x.push_back(static_cast<double>(j + 1));
      p.y.push_back(count > 0 ? sum / count : data::kMissing);
      sp->plots.push_back(std::move(p));
    }
    return 0;
  };
  return finish_graph(ip, "bar", vars, touse, std::move(spec), {}, name, shape);
}

// One box for each variable, at x = 1, 2, ...
rc_t graph_box(Interp& ip) {
  CommandLine cl;
  GraphSpec spec;
  std::string name;
  std::vector<int> vars;
  if (rc_t rc = read_category_graph(ip, &cl, &spec, &name, &vars)) return rc;
  if (spec.xlog) return say(ip, "xscale(log) not allowed: the boxes stand on categories\n", 198);
  std::vector<char> touse;
  if (rc_t rc = graph_sample(ip, cl, &touse)) return rc;
  for (int j : vars) spec.categories.push_back(ip.dataset.name(j));
  spec.legend = false;
  auto shape = [](const graphics::Serset& s, GraphSpec* sp) -> rc_t {
    for (size_t j = 0; j < s.vars.size(); ++j) {
      std::vector<double> v;
      for (double x : s.vars[j].num)
        if (!data::is_missing(x)) v.push_back(x);
      std::sort(v.begin(), v.end());
      Plot p;
      p.kind = PlotKind::kBox;
      p.box_at = static_cast<double>(j + 1);
      if (graphics::box_statistics(v, &p)) sp->plots.push_back(std::move(p));
    }
    return 0;
  };
  return finish_graph(ip, "box", vars, touse, std::move(spec), {}, name, shape);
}

// Slices of the sums of the variables, or with over() of one variable's
// sums within each value of the over() variable.
rc_t graph_pie(Interp& ip) {
  CommandLine cl;
  if (rc_t rc = read_varlist_graph(ip, &cl)) return rc;
  GraphSpec spec;
  std::string name;
  if (rc_t rc = common_options(ip, cl, &spec, &name)) return rc;
  std::string over_text;
  bool over = cl.string("over", 4, &over_text, 244, 1);
  if (rc_t rc = cl.leftover(ip)) return rc;
  if (spec.xlog || spec.ylog) return say(ip, "a pie has no scales to log\n", 198);
  std::vector<int> vars;
  if (rc_t rc = numeric_vars(ip, cl.varlist_text, &vars)) return rc;
  if (vars.empty()) return msg_required(ip, "varlist");
  if (vars.size() > static_cast<size_t>(graphics::kSersetMaxVars) - 1) return rc_message(ip, 103);
  if (over) {
    if (vars.size() != 1) return say(ip, "over() takes one variable to sum\n", 198);
    std::vector<int> ov;
    data::VarlistFailure fail;
    if (data::read_varlist(ip.dataset, over_text, &ov, &fail))
      return msg_quoting(ip.out, "", fail.message, "\n", fail.rc);
    if (ov.size() != 1) return say(ip, "over() takes one variable\n", 198);
    vars.push_back(ov[0]);
  }
  std::vector<char> touse;
  if (rc_t rc = graph_sample(ip, cl, &touse)) return rc;
  if (!over)
    for (int j : vars) spec.categories.push_back(ip.dataset.name(j));
  spec.pie = true;
  auto shape = [over, &ip](const graphics::Serset& s, GraphSpec* sp) -> rc_t {
    auto sum_of = [](const std::vector<double>& v, const std::vector<char>* in) {
      double t = 0;
      for (size_t i = 0; i < v.size(); ++i)
        if (!data::is_missing(v[i]) && (!in || (*in)[i])) t += v[i];
      return t;
    };
    if (!over) {
      for (const graphics::SersetVar& v : s.vars) sp->pie_values.push_back(sum_of(v.num, nullptr));
    } else {
      // The distinct values of the over() variable, in order; missing
      // values of it form no slice.
      const graphics::SersetVar& by = s.vars[1];
      std::vector<std::string> keys;
      std::vector<double> nums;
      for (std::int64_t i = 0; i < s.nobs; ++i) {
        if (by.is_string) keys.push_back(by.str[i]);
        else if (!data::is_missing(by.num[i])) nums.push_back(by.num[i]);
      }
      std::sort(keys.begin(), keys.end());
      keys.erase(std::unique(keys.begin(), keys.end()), keys.end());
      std::sort(nums.begin(), nums.end());
      nums.erase(std::unique(nums.begin(), nums.end()), nums.end());
      size_t groups = by.is_string ? keys.size() : nums.size();
      if (groups > 100) return say(ip, "over() variable takes more than 100 values\n", 134);
      std::vector<char> in(static_cast<size_t>(s.nobs));
      for (size_t g = 0; g < groups; ++g) {
        for (std::int64_t i = 0; i < s.nobs; ++i)
          in[i] = by.is_string ? by.str[i] == keys[g] : (!data::is_missing(by.num[i]) && by.num[i] == nums[g]);
        sp->pie_values.push_back(sum_of(s.vars[0].num, &in));
        if (by.is_string) {
          sp->categories.push_back(keys[g]);
        } else {
          char buf[32];
          std::snprintf(buf, sizeof buf, "%.6g", nums[g]);
          sp->categories.push_back(buf);
        }
      }
    }
    for (double v : sp->pie_values)
      if (v < 0) return say(ip, "a pie cannot show negative sums\n", 459);
    return 0;
  };
  return finish_graph(ip, "pie", vars, touse, std::move(spec), {}, name, shape);
}

rc_t graph_export(Interp& ip) {
  std::string_view before;
  CommandLine cl;
  if (rc_t rc = read_options(ip, ip.reader.rest(), &before, &cl)) return rc;
  std::string file(unquote_whole(before));
  bool replace = cl.flag("replace", 7, 0) == 1;
  bool cmyk = cl.flag("cmyk", 4, 0) == 1;
  bool landscape = cl.flag("landscape", 4, 0) == 1;
  long long width = cl.integer("width", 5, 800);
  std::string name;
  bool named = cl.string("name", 4, &name, 64, 1);
  if (rc_t rc = cl.leftover(ip)) return rc;
  if (file.empty()) return msg_invalid(ip, "file specification");
  if (width < 16 || width > 16000) return say(ip, "width() must be between 16 and 16000\n", 198);
  const graphics::KeptGraph* g = graphics::find_graph(ip, named ? name : "");
  if (!g) return named ? msg_quoting(ip.out, "graph ", name, " not found\n", 111) : say(ip, "no graph in memory\n", 111);
  size_t slash = file.find_last_of('/');
  size_t dot = file.find_last_of('.');
  std::string suffix = dot == std::string::npos || (slash != std::string::npos && dot < slash) ? "" : file.substr(dot + 1);
  for (char& ch : suffix) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
  std::string bytes;
  std::vector<unsigned char> binary;
  if (suffix == "eps" || suffix == "ps") {
    graphics::graph_postscript(g->drawing, {suffix == "eps", cmyk, landscape}, &bytes);
  } else if (suffix == "png" || suffix == "pdf" || suffix == "svg") {
    if (!graphics::cairo_available()) return say(ip, "export to ." + suffix + " not available in this build\n", 198);
    graphics::CairoFormat f = suffix == "png"   ? graphics::CairoFormat::kPng
                              : suffix == "pdf" ? graphics::CairoFormat::kPdf
                                                : graphics::CairoFormat::kSvg;
    if (rc_t rc = graphics::render_cairo(g->drawing, f, static_cast<int>(width), g->drawing.width / 1000.0, &binary))
      return rc_message(ip, rc);
  } else {
    return msg_quoting(ip.out, "", file, ": export format not recognized; use .eps, .ps, .png, .pdf or .svg\n", 198);
  }
  dta::ReplacingFile out;
  if (rc_t rc = out.open(dta::local_path(file), replace, 0666 & ~ip.umask_value)) return dta::file_message(ip, file, rc);
  bool ok = binary.empty() ? out.write(bytes.data(), bytes.size()) : out.write(binary.data(), binary.size());
  (void)ok;  // a failed write is reported by commit
  if (rc_t rc = out.commit()) return dta::file_message(ip, file, rc);
  ip.out.set_class(output::OutClass::Text);
  ip.out.print_markup("{txt}(file ");
  ip.out.print_plain(file);
  ip.out.print_markup(" written)\n");
  return 0;
}

rc_t graph_dir(Interp& ip) {
  ip.out.set_class(output::OutClass::Text);
  for (const graphics::KeptGraph* g : graphics::kept_graphs(ip)) {
    ip.out.print_markup("  ");
    ip.out.print_plain(graphics::graph_name(ip, *g));
    ip.out.print_markup("\n");
  }
  return 0;
}

rc_t graph_describe(Interp& ip) {
  std::string name(trim_blanks(ip.reader.rest()));
  const graphics::KeptGraph* g = graphics::find_graph(ip, name);
  if (!g) return name.empty() ? say(ip, "no graph in memory\n", 111) : msg_quoting(ip.out, "graph ", name, " not found\n", 111);
  auto text = [&](const char* path) { return graphics::graph_text(ip, *g, path); };
  auto number = [&](const char* path) { return graphics::graph_number(ip, *g, path); };
  ip.out.set_class(output::OutClass::Text);
  ip.out.print_markup("{txt}  name:     ");
  ip.out.print_plain(graphics::graph_name(ip, *g));
  ip.out.print_markup("\n{txt}  command:  ");
  ip.out.print_plain(text("command"));
  ip.out.printf_markup("\n{txt}  size:     %.3g x %.3g inches\n{txt}  serset:   %.0f\n{txt}  drawing:  %.0f operations\n",
                       number("xsize"), number("ysize"), number("serset.id"), number("operations"));
  return 0;
}

rc_t graph_drop(Interp& ip) {
  std::string_view s = ip.reader.rest();
  std::vector<std::string> names;
  for (std::string_view w = take_word(s); !w.empty(); w = take_word(s)) names.emplace_back(w);
  if (names.empty()) return msg_required(ip, "graph name");
  std::vector<cls::Key> doomed;
  if (names.size() == 1 && names[0] == "_all") {
    for (const graphics::KeptGraph* g : graphics::kept_graphs(ip)) doomed.push_back(g->object);
  } else {
    for (const std::string& n : names) {
      const graphics::KeptGraph* g = graphics::find_graph(ip, n);
      if (!g) return msg_quoting(ip.out, "graph ", n, " not found\n", 111);
      doomed.push_back(g->object);
    }
  }
  for (cls::Key k : doomed) graphics::drop_graph(ip, k);
  // The latest graph left becomes the current one.
  std::vector<graphics::KeptGraph*> left = graphics::kept_graphs(ip);
  graphics::graph_state(ip).current = left.empty() ? cls::kNullKey : left.back()->object;
  return 0;
}

}  // namespace

namespace graphics {

void graph_postscript(const Recording& drawing, const PsOptions& o, std::string* out) {
  PsPage page;
  page.eps = o.eps;
  page.cmyk = o.cmyk;
  page.landscape = o.landscape;
  page.xsize = drawing.width / 1000.0;
  page.ysize = drawing.height / 1000.0;
  if (!page.eps) page.lmargin = page.tmargin = 0.5;
  render_postscript(drawing, page, out);
}

}  // namespace graphics

rc_t cmd_graph(Interp& ip) {
  std::string word(ip.reader.peek());
  if (word.empty()) return say(ip, "graph type required: twoway, histogram, bar, box or pie\n", 198);
  ip.reader.next();
  if (abbreviates(word, "twoway", 2)) return graph_twoway(ip);
  if (abbreviates(word, "histogram", 4)) return graph_histogram(ip);
  if (word == "bar") return graph_bar(ip);
  if (word == "export") return graph_export(ip);
  if (word == "dir") return graph_dir(ip);
  if (abbreviates(word, "describe", 1)) return graph_describe(ip);
  if (word == "drop") return graph_drop(ip);
  if (word == "save") return graphics::graph_save(ip);
  if (word == "use") return graphics::graph_use(ip);
  if (word == "box") return graph_box(ip);
  if (word == "pie") return graph_pie(ip);
  return msg_quoting(ip.out, "graph ", word, " not recognized\n", 199);
}

}  // namespace nuvra
