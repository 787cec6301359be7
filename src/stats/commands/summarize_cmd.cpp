// summarize [varlist] [if] [in] [weight] [, detail meanonly format separator(#)]
//
// One table line per variable (or one detailed table per variable), with
// the results of the last variable left in r(). r() is replaced only when
// every variable has been done: a Break or a failure leaves it as it was.
#include <cstdio>
#include <string>
#include <vector>

#include "data/commands/commands.h"
#include "data/commands/ts_terms.h"
#include "data/format.h"
#include "data/missing.h"
#include "interp/builtins.h"
#include "interp/interp.h"
#include "interp/messages.h"
#include "interp/parse.h"
#include "stats/sample.h"
#include "stats/summarize.h"
#include "stats/commands/summarize_cmd.h"

namespace nuvra {

namespace {

using data::kMissing;

// A number under a format, right-aligned to at least `width` columns.
std::string number(const data::Format& f, double v, int width = 0) {
  char buf[data::kRenderBufferSize];
  size_t n = data::render_shown(f, v, buf, sizeof buf);
  std::string s(buf, n);
  if (static_cast<int>(s.size()) < width) s.insert(0, static_cast<size_t>(width) - s.size(), ' ');
  return s;
}

data::Format fmt(const char* text) {
  data::Format f;
  data::parse_format(text, &f);
  return f;
}

struct Layout {
  bool weighted = false;
  bool own_format = false;
  data::Format g8 = fmt("%8.0g"), g9 = fmt("%9.0g"), g10 = fmt("%10.0g"), g11 = fmt("%11.0g");
};

void print_rule(Interp& ip, const Layout& lay) {
  ip.out.printf_markup("{txt}{hline 13}{c +}{hline %d}\n", lay.weighted ? 65 : 56);
}

void print_header(Interp& ip, const Layout& lay) {
  std::string h = "\n{txt}    Variable {c |}     ";
  if (!lay.weighted) h += "  ";
  h += "Obs      ";
  if (lay.weighted) h += "Weight      ";
  h += "  Mean   ";
  if (!lay.weighted) h += " ";
  h += "Std. Dev.       ";
  h += "Min        Max\n";
  ip.out.print_markup(h);
  print_rule(ip, lay);
}

void print_line(Interp& ip, const Layout& lay, const std::string& name, const data::Format& own,
                const stats::Summary& s) {
  std::string line = "{txt}";
  char stub[32];
  std::snprintf(stub, sizeof stub, "%12s", datacmd::abbreviate_name(name, 12).c_str());
  line += stub;
  line += " {c |}{res}";
  if (lay.weighted) {
    line += number(lay.g8, static_cast<double>(s.n));
    line += " " + number(lay.g11, s.sum_w);
  } else {
    line += number(lay.g10, static_cast<double>(s.n));
  }
  if (s.n > 0) {
    const data::Format& f = lay.own_format ? own : lay.g9;
    // Columns after the count: mean, standard deviation, minimum, maximum.
    const char* gaps_plain[4] = {"   ", "   ", "  ", "  "};
    const char* gaps_weighted[4] = {"   ", "  ", "  ", "  "};
    const char* const* gaps = lay.weighted ? gaps_weighted : gaps_plain;
    double v[4] = {s.mean, s.sd, s.min, s.max};
    for (int k = 0; k < 4; ++k) line += gaps[k] + number(f, v[k], 9);
  }
  line += "\n";
  ip.out.print_markup(line);
}

// The detailed table of one variable: 61 columns under a centred title.
void print_detail(Interp& ip, const std::string& title, const stats::DetailSummary& d) {
  const data::Format g9 = fmt("%9.0g");
  ip.out.print_markup("\n{txt}");
  int pad = (61 - static_cast<int>(title.size())) / 2;
  if (pad > 0) ip.out.print_markup(std::string(static_cast<size_t>(pad), ' '));
  ip.out.print_plain(title);
  ip.out.print_markup("\n{hline 61}\n");
  ip.out.print_markup("{col 6}Percentiles{col 24}Smallest\n");
  auto pct_row = [&](int k, const std::string& middle, const char* label, double stat) {
    char lab[8];
    std::snprintf(lab, sizeof lab, "%2.0f%%", stats::kPercentiles[k]);
    std::string line = std::string("{txt}") + lab + "{res}    " + number(g9, d.pct[k]);
    if (!middle.empty()) line += "      " + middle;
    if (label) {
      char l[64];
      std::snprintf(l, sizeof l, "{col 39}{txt}%-14s{res}", label);
      line += l + number(g9, stat, 9);
    }
    ip.out.print_markup(line + "\n");
  };
  pct_row(0, number(g9, d.smallest[0], 9), nullptr, 0);
  pct_row(1, number(g9, d.smallest[1], 9), nullptr, 0);
  pct_row(2, number(g9, d.smallest[2], 9), "Obs", static_cast<double>(d.n));
  pct_row(3, number(g9, d.smallest[3], 9), "Sum of Wgt.", d.sum_w);
  ip.out.print_markup("\n");
  pct_row(4, "", "Mean", d.mean);
  ip.out.print_markup("{txt}{col 25}Largest{col 39}" + std::string("Std. Dev.     ") + "{res}" + number(g9, d.sd, 9) +
                      "\n");
  pct_row(5, number(g9, d.largest[3], 9), nullptr, 0);
  pct_row(6, number(g9, d.largest[2], 9), "Variance", d.var);
  pct_row(7, number(g9, d.largest[1], 9), "Skewness", d.skewness);
  pct_row(8, number(g9, d.largest[0], 9), "Kurtosis", d.kurtosis);
}

void put(SavedResults& r, const char* name, double v) { r.scalars[name] = v; }

}  // namespace

// What one summarize command line asks for, read once.
struct SummarizeRequest {
  CommandLine cl;
  bool detail = false;
  bool mean_only = false;
  Layout lay;
  long long separator = 5;
  std::vector<int> vars;
  std::vector<std::string> names;
};

namespace {

// Reads the command line at the reader, up to the variables. Prints the
// message and returns its code on failure.
rc_t read_line(Interp& ip, SummarizeRequest* rq) {
  ParseSettings st{.varlist = true, .allow_if = true, .allow_in = true,
                   .weights = kAweight | kFweight | kIweight, .default_weight = kAweight};
  CommandLine& cl = rq->cl;
  if (rc_t rc = standard_parse(ip, st, &cl)) return rc;
  rq->detail = cl.flag("detail", 1, 0) == 1;
  rq->mean_only = cl.flag("meanonly", 4, 0) == 1 && !rq->detail;
  rq->lay.own_format = cl.flag("format", 1, 0) == 1;
  rq->separator = cl.integer("separator", 3, 5);
  if (rc_t rc = cl.leftover(ip)) return rc;
  if (rq->detail && cl.has_weight && cl.weight_type == kIweight)
    return msg_quoting(ip.out, "", "iweights", " not allowed\n", 101);
  rq->lay.weighted = cl.has_weight;
  return 0;
}

// What a string variable shows: no numeric observations.
stats::Summary string_summary() {
  stats::Summary d;
  d.n = 0;
  d.sum_w = d.sum = 0;
  d.mean = d.var = d.sd = d.min = d.max = kMissing;
  return d;
}

// The table line of the request's i-th variable, after a rule every
// `separator` lines.
void print_table_line(Interp& ip, const SummarizeRequest& rq, std::size_t i, const stats::Summary& d, int* shown) {
  const Layout& lay = rq.lay;
  if (rq.separator > 0 && *shown > 0 && *shown % rq.separator == 0) print_rule(ip, lay);
  data::Format own;
  if (!data::parse_format(ip.dataset.format(rq.vars[i]), &own) || !data::is_numeric_format(own)) own = lay.g9;
  print_line(ip, lay, rq.names[i], own, d);
  ++*shown;
}

// r() as the command leaves it: the results of its last variable (`detail`
// when that one had a detailed table), or nothing when it had none.
void leave_results(Interp& ip, const SummarizeRequest& rq, const stats::Summary* last,
                   const stats::DetailSummary* detail) {
  ip.r_results.clear();
  if (!last) return;
  SavedResults& r = ip.r_results;
  put(r, "N", static_cast<double>(last->n));
  put(r, "sum_w", last->sum_w);
  put(r, "mean", last->mean);
  if (!rq.mean_only) {
    put(r, "Var", last->var);
    put(r, "sd", last->sd);
  }
  put(r, "min", last->min);
  put(r, "max", last->max);
  put(r, "sum", last->sum);
  if (detail) {
    put(r, "skewness", detail->skewness);
    put(r, "kurtosis", detail->kurtosis);
    static const char* const kNames[stats::kPercentileCount] = {"p1",  "p5",  "p10", "p25", "p50",
                                                                 "p75", "p90", "p95", "p99"};
    for (int k = 0; k < stats::kPercentileCount; ++k) put(r, kNames[k], detail->pct[k]);
  }
}

// Summarizes the request's variables over `sample`, prints the table and
// leaves r().
rc_t run_request(Interp& ip, const SummarizeRequest& rq, const stats::Sample& sample,
                 const std::vector<double>& weights) {
  const CommandLine& cl = rq.cl;
  const bool detail = rq.detail, mean_only = rq.mean_only;
  const Layout& lay = rq.lay;
  const std::vector<int>& vars = rq.vars;
  const std::vector<std::string>& names = rq.names;

  const auto poll = stats::break_poll(ip);
  double* gather = nullptr;
  if (!mean_only) gather = stats::pass_scratch(ip, sample.size());
  ip.out.set_class(output::OutClass::Text);
  if (!detail && !mean_only) print_header(ip, lay);
  // Several numeric variables without detail: both passes walk the rows
  // once for all of them.
  std::vector<stats::Summary> walked;
  std::vector<int> walked_at(vars.size(), -1);
  if (!detail) {
    std::vector<stats::ColumnInput> ins;
    for (size_t i = 0; i < vars.size(); ++i) {
      if (ip.dataset.is_string(vars[i])) continue;
      stats::ColumnInput in;
      in.col = ip.dataset.column(vars[i]);
      in.sample = &sample;
      in.weights = cl.has_weight ? weights.data() : nullptr;
      in.weight_type = cl.weight_type;
      walked_at[i] = static_cast<int>(ins.size());
      ins.push_back(in);
    }
    if (ins.size() >= 2) {
      rc_t rc = stats::summarize_columns(ins, mean_only, ip.processors, poll, &walked);
      if (rc == 909) return rc_message(ip, 909);
      if (rc) return rc;
    }
  }

  stats::DetailSummary last;
  bool have_last = false;
  bool last_detail = false;
  int shown = 0;
  for (size_t i = 0; i < vars.size(); ++i) {
    const int j = vars[i];
    data::Dataset& ds = ip.dataset;
    stats::ColumnInput in;
    in.sample = &sample;
    in.weights = cl.has_weight ? weights.data() : nullptr;
    in.weight_type = cl.weight_type;
    in.gather = gather;
    stats::DetailSummary d;
    if (ds.is_string(j)) {
      // A string variable has no numeric observations: a line of zero
      // observations in the table, nothing in the detailed form.
      if (detail) continue;
      static_cast<stats::Summary&>(d) = string_summary();
    } else if (!walked.empty()) {
      static_cast<stats::Summary&>(d) = walked[static_cast<size_t>(walked_at[i])];
    } else {
      in.col = ds.column(j);
      rc_t rc = detail ? stats::summarize_detail(in, poll, &d)
                       : stats::summarize_column(in, mean_only, ip.processors, poll, &d);
      if (rc == 909) return rc_message(ip, 909);
      if (rc) return rc;
    }
    last = d;
    have_last = true;
    last_detail = detail;
    if (mean_only) continue;
    if (detail) {
      const std::string& label = ds.label(j);
      print_detail(ip, label.empty() ? names[i] : label, d);
      continue;
    }
    print_table_line(ip, rq, i, d, &shown);
  }
  leave_results(ip, rq, have_last ? &last : nullptr, last_detail ? &last : nullptr);
  return 0;
}

}  // namespace


rc_t cmd_summarize(Interp& ip) {
  SummarizeRequest rq;
  datacmd::TsTemps temps(ip);
  if (rc_t rc = read_line(ip, &rq)) return rc;
  if (rc_t rc = datacmd::ts_varlist_or_all(ip, rq.cl.varlist_text, &rq.vars, &rq.names, &temps)) return rc;
  stats::Sample sample;
  if (rc_t rc = stats::select_sample(ip, rq.cl, &sample)) return rc;
  std::vector<double> weights;
  if (rc_t rc = stats::evaluate_weights(ip, rq.cl, sample, &weights)) return rc;
  return run_request(ip, rq, sample, weights);
}

void SummarizeRequestDeleter::operator()(SummarizeRequest* rq) const { delete rq; }

SummarizeRequestPtr summarize_for_groups(Interp& ip) {
  // Read without a word shown: a line that does not read this way runs in
  // full for each group, and its message comes out where it always has.
  const int threshold = ip.out.threshold();
  ip.out.set_threshold(output::kSilent);
  SummarizeRequestPtr rq(new SummarizeRequest);
  auto read = [&]() -> bool {
    if (read_line(ip, rq.get())) return false;
    const CommandLine& cl = rq->cl;
    // An operated variable ("L.x") is made afresh for each group.
    if (cl.has_if || cl.has_in || cl.has_weight || cl.varlist_text.find('.') != std::string::npos) return false;
    datacmd::TsTemps temps(ip);
    if (datacmd::ts_varlist_or_all(ip, cl.varlist_text, &rq->vars, &rq->names, &temps)) return false;
    return temps.names().empty();
  };
  const bool ok = read();
  ip.out.set_threshold(threshold);
  if (!ok) return nullptr;
  return rq;
}

rc_t summarize_group(Interp& ip, const SummarizeRequest& rq, std::int64_t first, std::int64_t last) {
  stats::Sample sample;
  first = std::max<std::int64_t>(1, first);
  last = std::min(last, ip.nobs());
  if (last >= first) {
    sample.first = first;
    sample.count = last - first + 1;
  }
  return run_request(ip, rq, sample, {});
}

bool summarize_groups_together(const SummarizeRequest& rq) { return !rq.detail; }

rc_t summarize_groups_pass(Interp& ip, const SummarizeRequest& rq, const std::vector<std::int64_t>& starts,
                           std::size_t g0, std::size_t g1, const std::vector<int>& keys,
                           const stats::GroupCheck& check, std::vector<stats::Summary>* out) {
  data::Dataset& ds = ip.dataset;
  const std::size_t k = rq.vars.size();
  std::vector<data::Column> cols;
  std::vector<std::size_t> at;  // the variable of each column
  for (std::size_t i = 0; i < k; ++i) {
    if (ds.is_string(rq.vars[i])) continue;
    cols.push_back(ds.column(rq.vars[i]));
    at.push_back(i);
  }
  const std::size_t ngroups = g1 - g0;
  std::vector<stats::Summary> numeric(ngroups * cols.size());
  out->assign(ngroups * k, string_summary());
  std::vector<data::Column> key_cols;
  for (int j : keys) key_cols.push_back(ds.column(j));
  rc_t rc = stats::summarize_groups(cols, starts.data() + g0, ngroups, rq.mean_only, ip.processors,
                                    stats::break_poll(ip), key_cols, check, numeric.data());
  if (rc == 909) return rc_message(ip, 909);
  if (rc) return rc;
  for (std::size_t g = 0; g < ngroups; ++g)
    for (std::size_t c = 0; c < cols.size(); ++c) (*out)[g * k + at[c]] = numeric[g * cols.size() + c];
  return 0;
}

void summarize_group_show(Interp& ip, const SummarizeRequest& rq, const stats::Summary* per_var) {
  ip.out.set_class(output::OutClass::Text);
  if (rq.mean_only) return;
  print_header(ip, rq.lay);
  int shown = 0;
  for (std::size_t i = 0; i < rq.vars.size(); ++i) print_table_line(ip, rq, i, per_var[i], &shown);
}

void summarize_group_leave(Interp& ip, const SummarizeRequest& rq, const stats::Summary* per_var) {
  leave_results(ip, rq, rq.vars.empty() ? nullptr : &per_var[rq.vars.size() - 1], nullptr);
}

}  // namespace nuvra
