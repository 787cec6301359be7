// tabstat varlist [if] [in] [weight] [, statistics(names) by(varname)
//                                       columns(variables|statistics) nototal missing]
//
// A compact table of chosen statistics, for the whole sample or for each
// group of a by() variable followed by the total. Each statistic comes from
// the detailed summary of one variable over one group.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "data/commands/commands.h"
#include "data/expr/expr.h"
#include "data/format.h"
#include "data/missing.h"
#include "interp/builtins.h"
#include "interp/interp.h"
#include "interp/messages.h"
#include "interp/parse.h"
#include "stats/sample.h"
#include "stats/summarize.h"

namespace nuvra {

namespace {

using data::kMissing;

enum class Stat { kMean, kCount, kSum, kMax, kMin, kRange, kSd, kVar, kCv, kSemean, kSkew, kKurt, kPct, kIqr };

struct StatSpec {
  Stat stat;
  int pct = 0;  // index into kPercentiles for kPct
  std::string label;
};

// Reads one statistic name; q stands for three.
bool read_stat(std::string_view w, std::vector<StatSpec>* out) {
  auto is = [&](std::string_view name, size_t min) { return abbreviates(w, name, min); };
  static const char* const kPctNames[] = {"p1", "p5", "p10", "p25", "p50", "p75", "p90", "p95", "p99"};
  for (int k = 0; k < stats::kPercentileCount; ++k)
    if (w == kPctNames[k]) {
      out->push_back({Stat::kPct, k, kPctNames[k]});
      return true;
    }
  if (is("mean", 2)) out->push_back({Stat::kMean, 0, "mean"});
  else if (is("count", 2) || w == "n") out->push_back({Stat::kCount, 0, "N"});
  else if (is("sum", 2)) out->push_back({Stat::kSum, 0, "sum"});
  else if (is("max", 2)) out->push_back({Stat::kMax, 0, "max"});
  else if (is("min", 2)) out->push_back({Stat::kMin, 0, "min"});
  else if (is("range", 1)) out->push_back({Stat::kRange, 0, "range"});
  else if (w == "sd") out->push_back({Stat::kSd, 0, "sd"});
  else if (is("variance", 1)) out->push_back({Stat::kVar, 0, "variance"});
  else if (w == "cv") out->push_back({Stat::kCv, 0, "cv"});
  else if (is("semean", 3)) out->push_back({Stat::kSemean, 0, "se(mean)"});
  else if (is("skewness", 2)) out->push_back({Stat::kSkew, 0, "skewness"});
  else if (is("kurtosis", 1)) out->push_back({Stat::kKurt, 0, "kurtosis"});
  else if (is("median", 3)) out->push_back({Stat::kPct, 4, "p50"});
  else if (w == "iqr") out->push_back({Stat::kIqr, 0, "iqr"});
  else if (w == "q") {
    out->push_back({Stat::kPct, 3, "p25"});
    out->push_back({Stat::kPct, 4, "p50"});
    out->push_back({Stat::kPct, 5, "p75"});
  } else {
    return false;
  }
  return true;
}

double stat_value(const StatSpec& s, const stats::DetailSummary& d, int weight_type) {
  const double n = stats::counted_obs(d.n, d.sum_w, weight_type);
  switch (s.stat) {
    case Stat::kMean: return d.mean;
    case Stat::kCount: return n;
    case Stat::kSum: return d.sum;
    case Stat::kMax: return d.max;
    case Stat::kMin: return d.min;
    case Stat::kRange: return d.n ? d.max - d.min : kMissing;
    case Stat::kSd: return d.sd;
    case Stat::kVar: return d.var;
    case Stat::kCv: return d.sd < kMissing ? stats::finite_or_missing(d.sd / d.mean) : kMissing;
    case Stat::kSemean: return d.sd < kMissing && n > 0 ? d.sd / std::sqrt(n) : kMissing;
    case Stat::kSkew: return d.skewness;
    case Stat::kKurt: return d.kurtosis;
    case Stat::kPct: return d.pct[s.pct];
    case Stat::kIqr: return d.n ? d.pct[5] - d.pct[3] : kMissing;
  }
  return kMissing;
}

std::string cell(double v) {
  data::Format f;
  data::parse_format("%9.0g", &f);
  char buf[data::kRenderBufferSize];
  size_t n = data::render_shown(f, v, buf, sizeof buf);
  std::string s(buf, n);
  return s.size() < 10 ? std::string(10 - s.size(), ' ') + s : " " + s;
}

std::string right(const std::string& s, size_t w) {
  std::string t = s.size() > w ? s.substr(0, w) : s;
  return std::string(w - t.size(), ' ') + t;
}

}  // namespace

rc_t cmd_tabstat(Interp& ip) {
  ParseSettings st{.varlist = true, .allow_if = true, .allow_in = true,
                   .weights = kAweight | kFweight, .default_weight = kAweight};
  CommandLine cl;
  if (rc_t rc = standard_parse(ip, st, &cl)) return rc;
  std::string stat_text, by_text, col_text;
  // stats() is the everyday spelling of statistics().
  if (!cl.string("statistics", 1, &stat_text, 4000, 100)) cl.string("stats", 5, &stat_text, 4000, 100);
  cl.string("by", 2, &by_text, 200, 1);
  cl.string("columns", 1, &col_text, 200, 1);
  const bool nototal = cl.flag("total", 3, 1) == 0;
  const bool with_missing = cl.flag("missing", 1, 0) == 1;
  if (rc_t rc = cl.leftover(ip)) return rc;

  std::vector<StatSpec> specs;
  {
    std::string_view rest = stat_text;
    for (;;) {
      std::string_view w = datacmd::next_word(rest);
      if (w.empty()) break;
      if (!read_stat(w, &specs)) return msg_quoting(ip.out, "", w, " is not a valid statistic\n", 198);
    }
    if (specs.empty()) specs.push_back({Stat::kMean, 0, "mean"});
  }
  bool stats_in_columns = false;
  if (!col_text.empty()) {
    if (abbreviates(col_text, "statistics", 1))
      stats_in_columns = true;
    else if (!abbreviates(col_text, "variables", 1))
      return msg_quoting(ip.out, "columns(", col_text, ") invalid\n", 198);
  }
  std::vector<int> given, vars;
  if (rc_t rc = datacmd::varlist_required(ip, cl.varlist_text, &given)) return rc;
  for (int j : given) {
    if (ip.dataset.is_string(j)) return msg_quoting(ip.out, "", ip.dataset.name(j), " is a string variable\n", 109);
    vars.push_back(j);
  }
  int by = 0;
  if (!by_text.empty()) {
    std::string msg;
    if (rc_t rc = ip.dataset.find(by_text, &by, &msg)) return msg_quoting(ip.out, "", msg, "\n", rc);
  }
  stats::Sample sample;
  if (rc_t rc = stats::select_sample(ip, cl, &sample)) return rc;
  std::vector<double> weights;
  if (rc_t rc = stats::evaluate_weights(ip, cl, sample, &weights)) return rc;

  // The groups: each distinct by() value's positions, in sorted order.
  struct Group {
    std::string label;
    stats::Sample sample;
    std::vector<double> weights;
  };
  std::vector<Group> groups;
  if (by) {
    const data::Dataset& ds = ip.dataset;
    const bool str = ds.is_string(by);
    std::vector<std::pair<std::string, double>> keys(static_cast<size_t>(sample.size()));
    for (std::int64_t p = 0; p < sample.size(); ++p) {
      std::int64_t i = sample.row(p) + 1;
      keys[p] = str ? std::pair(ds.fetch_str(by, i), 0.0) : std::pair(std::string(), ds.fetch(by, i));
    }
    std::vector<std::int64_t> order(static_cast<size_t>(sample.size()));
    for (std::int64_t p = 0; p < sample.size(); ++p) order[p] = p;
    std::stable_sort(order.begin(), order.end(), [&](std::int64_t a, std::int64_t b) { return keys[a] < keys[b]; });
    for (size_t q = 0; q < order.size(); ++q) {
      const auto& key = keys[order[q]];
      bool missing = str ? key.first.empty() : data::is_missing(key.second);
      if (missing && !with_missing) continue;
      if (groups.empty() || q == 0 || keys[order[q - 1]] != key) {
        Group g;
        g.label = str ? key.first : expr::number_text(key.second);
        if (!str && !ds.value_label_name(by).empty())
          if (const data::ValueLabel* vl = ds.value_labels().get(ds.value_label_name(by)))
            if (const char* t = vl->find_value(key.second)) g.label = t;
        g.sample.contiguous = false;
        groups.push_back(std::move(g));
      }
      Group& g = groups.back();
      g.sample.obs.push_back(sample.row(order[q]) + 1);
      g.sample.count++;
      if (!weights.empty()) g.weights.push_back(weights[order[q]]);
    }
  }
  if (!by || !nototal) {
    Group all;
    all.label = "Total";
    all.sample = sample;
    all.weights = weights;
    groups.push_back(std::move(all));
  }

  // Every statistic of every variable in every group.
  const auto poll = stats::break_poll(ip);
  std::vector<std::vector<stats::DetailSummary>> results(groups.size(), std::vector<stats::DetailSummary>(vars.size()));
  for (size_t g = 0; g < groups.size(); ++g)
    for (size_t v = 0; v < vars.size(); ++v) {
      stats::ColumnInput in;
      in.col = ip.dataset.column(vars[v]);
      in.sample = &groups[g].sample;
      in.weights = groups[g].weights.empty() ? nullptr : groups[g].weights.data();
      in.weight_type = cl.weight_type;
      rc_t rc = stats::summarize_detail(in, poll, &results[g][v]);
      if (rc == 909) return rc_message(ip, 909);
      if (rc) return rc;
    }

  ip.out.set_class(output::OutClass::Text);
  const size_t ncols = stats_in_columns ? specs.size() : vars.size();
  const size_t nlines = stats_in_columns ? vars.size() : specs.size();
  size_t stub = 8;
  if (by) {
    stub = std::max<size_t>(stub, ip.dataset.name(by).size());
    for (const Group& g : groups) stub = std::max(stub, g.label.size());
    stub = std::min<size_t>(stub, 16);
    std::string list;
    for (const StatSpec& s : specs) list += (list.empty() ? "" : ", ") + s.label;
    ip.out.print_markup("\n{txt}Summary statistics: ");
    ip.out.print_plain(list);
    ip.out.print_markup("\n  by categories of: ");
    ip.out.print_plain(ip.dataset.name(by));
    ip.out.print_markup("\n");
  }
  std::string rule = "{hline " + std::to_string(stub + 1) + "}{c +}{hline " + std::to_string(10 * ncols) + "}\n";
  std::string corner = by ? ip.dataset.name(by) : (stats_in_columns ? "variable" : "stats");
  ip.out.print_markup("\n{txt}");
  ip.out.print_plain(right(corner, stub));
  ip.out.print_markup(" {c |}");
  for (size_t c = 0; c < ncols; ++c)
    ip.out.print_plain(right(stats_in_columns ? specs[c].label : datacmd::abbreviate_name(ip.dataset.name(vars[c]), 9), 10));
  ip.out.print_markup("\n" + rule);
  for (size_t g = 0; g < groups.size(); ++g) {
    if (by && g > 0) ip.out.print_markup(rule);
    for (size_t l = 0; l < nlines; ++l) {
      std::string side;
      if (by)
        side = l == 0 ? groups[g].label : "";
      else
        side = stats_in_columns ? datacmd::abbreviate_name(ip.dataset.name(vars[l]), stub) : specs[l].label;
      ip.out.print_markup("{txt}");
      ip.out.print_plain(right(side, stub));
      ip.out.print_markup(" {c |}{res}");
      std::string line;
      for (size_t c = 0; c < ncols; ++c) {
        size_t v = stats_in_columns ? l : c;
        const StatSpec& s = stats_in_columns ? specs[c] : specs[l];
        line += cell(stat_value(s, results[g][v], cl.has_weight ? cl.weight_type : kWeightNone));
      }
      ip.out.print_plain(line);
      ip.out.print_markup("\n");
    }
  }
  if (by) ip.out.printf_markup("{txt}{hline %zu}\n", stub + 2 + 10 * ncols);
  ip.r_results.clear();
  return 0;
}

}  // namespace nuvra
