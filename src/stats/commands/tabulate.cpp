// tabulate (one-way and two-way tables of frequencies), tab1 and tab2.
//
//   tabulate var1 [var2] [if] [in] [weight] [, missing nolabel row column cell chi2
//                                              matcell(name) matrow(name) matcol(name)]
//   tab1 varlist [if] [in] [weight] [, missing nolabel]
//   tab2 varlist [if] [in] [weight] [, missing nolabel row column cell chi2]
//
// The levels of a variable are its distinct values in sorted order (numbers
// before the missing values, strings in byte order, the empty string being
// the missing string). An observation counts when every variable of the
// table is non-missing (or `missing` is given) and its weight is neither
// missing nor zero.
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
#include "data/names.h"
#include "interp/parse.h"
#include "data/functions/distributions.h"
#include "stats/matrix.h"
#include "stats/commands/matrix_command.h"
#include "stats/sample.h"

namespace nuvra {

namespace {

using data::kMissing;

inline constexpr size_t kMaxOneWayRows = 12000;
inline constexpr size_t kMaxTwoWayRows = 1200;
inline constexpr size_t kMaxTwoWayCols = 80;

struct TabOptions {
  bool missing = false;
  bool nolabel = false;
  bool row = false, column = false, cell = false, chi2 = false;
  // Matrices to leave the table in ("" for none): the frequencies, the
  // row values and the column values.
  std::string matcell, matrow, matcol;
};

// One variable's levels and each sample position's level (-1: not used).
struct Levels {
  std::vector<std::string> text;  // what the table shows for each level
  std::vector<double> value;      // each level's number (numeric variables)
  std::vector<int> at;            // per sample position
};

std::string value_text(const data::Dataset& ds, int j, double v, bool nolabel) {
  if (!nolabel) {
    const std::string& lname = ds.value_label_name(j);
    if (!lname.empty())
      if (const data::ValueLabel* vl = ds.value_labels().get(lname))
        if (const char* t = vl->find_value(v)) return t;
  }
  return expr::number_text(v);
}

void find_levels(Interp& ip, int j, const stats::Sample& s, const TabOptions& opt, Levels* out) {
  const data::Dataset& ds = ip.dataset;
  const std::int64_t n = s.size();
  out->at.assign(static_cast<size_t>(n), -1);
  out->text.clear();
  out->value.clear();
  if (ds.is_string(j)) {
    std::vector<std::string> vals(static_cast<size_t>(n));
    for (std::int64_t p = 0; p < n; ++p) vals[p] = ds.fetch_str(j, s.row(p) + 1);
    std::vector<std::string> uniq;
    for (const std::string& v : vals)
      if (opt.missing || !v.empty()) uniq.push_back(v);
    std::sort(uniq.begin(), uniq.end());
    uniq.erase(std::unique(uniq.begin(), uniq.end()), uniq.end());
    for (std::int64_t p = 0; p < n; ++p) {
      auto it = std::lower_bound(uniq.begin(), uniq.end(), vals[p]);
      if (it != uniq.end() && *it == vals[p]) out->at[p] = static_cast<int>(it - uniq.begin());
    }
    out->text = std::move(uniq);
    return;
  }
  std::vector<double> vals(static_cast<size_t>(n));
  for (std::int64_t p = 0; p < n; ++p) vals[p] = ds.fetch(j, s.row(p) + 1);
  std::vector<double> uniq;
  for (double v : vals)
    if (opt.missing || !data::is_missing(v)) uniq.push_back(v);
  std::sort(uniq.begin(), uniq.end());
  uniq.erase(std::unique(uniq.begin(), uniq.end()), uniq.end());
  for (std::int64_t p = 0; p < n; ++p) {
    auto it = std::lower_bound(uniq.begin(), uniq.end(), vals[p]);
    if (it != uniq.end() && *it == vals[p]) out->at[p] = static_cast<int>(it - uniq.begin());
  }
  for (double v : uniq) out->text.push_back(value_text(ds, j, v, opt.nolabel));
  out->value = std::move(uniq);
}

// A frequency: whole numbers as such, others in the general format.
std::string freq_text(double v) {
  char buf[64];
  if (v == std::floor(v) && std::fabs(v) < 1e10)
    std::snprintf(buf, sizeof buf, "%.0f", v);
  else
    return expr::number_text(v);
  return buf;
}

std::string cut(const std::string& s, size_t n) { return s.size() <= n ? s : s.substr(0, n); }

std::string pad_left(const std::string& s, size_t w) {
  return s.size() >= w ? s : std::string(w - s.size(), ' ') + s;
}

std::string pct(double num, double den) {
  char buf[32];
  if (den == 0) return ".";
  std::snprintf(buf, sizeof buf, "%.2f", 100.0 * num / den);
  return buf;
}

// The frequencies the weights stand for: fweights and iweights as they
// are, aweights scaled to sum to the number of observations used.
void frequencies(const std::vector<double>& weights, int weight_type, const std::vector<char>& used,
                 std::vector<double>* freq) {
  size_t n = used.size();
  freq->assign(n, 0.0);
  double sum_w = 0, count = 0;
  for (size_t p = 0; p < n; ++p) {
    if (!used[p]) continue;
    (*freq)[p] = weights.empty() ? 1.0 : weights[p];
    sum_w += (*freq)[p];
    count += 1;
  }
  if (!weights.empty() && weight_type == kAweight && sum_w > 0)
    for (size_t p = 0; p < n; ++p) (*freq)[p] *= count / sum_w;
}

// Marks positions usable: every level known, weight neither missing nor 0.
std::vector<char> usable(const std::vector<const Levels*>& levels, const std::vector<double>& weights, std::int64_t n) {
  std::vector<char> used(static_cast<size_t>(n), 1);
  for (std::int64_t p = 0; p < n; ++p) {
    for (const Levels* l : levels)
      if (l->at[p] < 0) used[p] = 0;
    if (!weights.empty() && (weights[p] == 0 || data::is_missing(weights[p]))) used[p] = 0;
  }
  return used;
}

rc_t too_many_values(Interp& ip) { return msg_quoting(ip.out, "too many values\n", "", "", 134); }

// The matrices a table is asked to leave behind, built before anything is
// shown and stored together at the end, so that a table too large for a
// matrix changes nothing.
struct TableMatrices {
  std::vector<std::pair<std::string, stats::Matrix>> named;

  // A rows x cols matrix under `name` when the name was given.
  stats::Matrix* add(const std::string& name, int rows, int cols) {
    if (name.empty()) return nullptr;
    named.emplace_back(name, stats::Matrix::make(rows, cols));
    return &named.back().second;
  }
  rc_t check(Interp& ip) const {
    for (const auto& [name, m] : named)
      if (rc_t rc = stats::check_matsize(ip, m)) return rc;
    return 0;
  }
  void store(Interp& ip) {
    for (auto& [name, m] : named) stats::store_matrix(ip, name, std::move(m));
  }
};

// The values of the shown levels as a matrix: a string variable has none.
rc_t level_values(Interp& ip, int j, const Levels& lv, const std::vector<size_t>& shown, const char* option,
                  stats::Matrix* m) {
  if (!m) return 0;
  if (ip.dataset.is_string(j))
    return msg_quoting(ip.out, option, "", "() may not be used with a string variable\n", 109);
  for (size_t k = 0; k < shown.size(); ++k) m->v[k] = lv.value[shown[k]];
  return 0;
}

rc_t one_way(Interp& ip, int j, const stats::Sample& s, const std::vector<double>& weights, int weight_type,
             const TabOptions& opt) {
  Levels lv;
  find_levels(ip, j, s, opt, &lv);
  std::vector<char> used = usable({&lv}, weights, s.size());
  std::vector<double> freq;
  frequencies(weights, weight_type, used, &freq);
  std::vector<double> count(lv.text.size(), 0.0);
  double total = 0;
  for (std::int64_t p = 0; p < s.size(); ++p)
    if (used[p]) {
      count[lv.at[p]] += freq[p];
      total += freq[p];
    }
  // Levels whose observations all weigh nothing do not appear.
  std::vector<size_t> rows;
  for (size_t k = 0; k < count.size(); ++k)
    if (count[k] != 0) rows.push_back(k);
  if (rows.size() > kMaxOneWayRows) return too_many_values(ip);
  // One-way: the frequencies and the values, each a column.
  TableMatrices mats;
  const int nr = static_cast<int>(rows.size());
  if (stats::Matrix* m = mats.add(opt.matcell, nr, 1))
    for (int k = 0; k < nr; ++k) m->v[k] = count[rows[k]];
  if (rc_t rc = level_values(ip, j, lv, rows, "matrow", mats.add(opt.matrow, nr, 1))) return rc;
  if (!rows.empty())
    if (rc_t rc = mats.check(ip)) return rc;

  ip.out.set_class(output::OutClass::Text);
  if (rows.empty()) {
    ip.out.print_markup("{txt}no observations\n");
  } else {
    const std::string& name = ip.dataset.name(j);
    size_t w = std::max<size_t>(10, name.size());
    for (size_t k : rows) w = std::max(w, std::min<size_t>(lv.text[k].size(), 32));
    w = std::min<size_t>(w, 32);
    auto stub = [&](const std::string& t) { return pad_left(cut(t, w), w); };
    ip.out.print_markup("\n{txt}");
    ip.out.print_plain(stub(name));
    ip.out.print_markup(" {c |}      Freq.     Percent        Cum.\n");
    std::string rule = "{hline " + std::to_string(w + 1) + "}{c +}{hline 35}\n";
    ip.out.print_markup(rule);
    double cum = 0;
    for (size_t k : rows) {
      cum += count[k];
      ip.out.print_markup("{txt}");
      ip.out.print_plain(stub(lv.text[k]));
      ip.out.printf_markup(" {c |}{res}%11s%12s%12s\n", freq_text(count[k]).c_str(), pct(count[k], total).c_str(),
                           pct(cum, total).c_str());
    }
    ip.out.print_markup(rule);
    ip.out.printf_markup("{txt}%s {c |}{res}%11s%12s\n", stub("Total").c_str(), freq_text(total).c_str(), "100.00");
  }
  if (!rows.empty()) mats.store(ip);
  ip.r_results.clear();
  ip.r_results.scalars["N"] = total;
  ip.r_results.scalars["r"] = static_cast<double>(rows.size());
  return 0;
}

rc_t two_way(Interp& ip, int jr, int jc, const stats::Sample& s, const std::vector<double>& weights,
             int weight_type, const TabOptions& opt) {
  Levels lr, lc;
  find_levels(ip, jr, s, opt, &lr);
  find_levels(ip, jc, s, opt, &lc);
  std::vector<char> used = usable({&lr, &lc}, weights, s.size());
  std::vector<double> freq;
  frequencies(weights, weight_type, used, &freq);
  const size_t R0 = lr.text.size(), C0 = lc.text.size();
  std::vector<double> cells(R0 * C0, 0.0), rt(R0, 0.0), ct(C0, 0.0);
  double total = 0;
  for (std::int64_t p = 0; p < s.size(); ++p)
    if (used[p]) {
      cells[static_cast<size_t>(lr.at[p]) * C0 + lc.at[p]] += freq[p];
      rt[lr.at[p]] += freq[p];
      ct[lc.at[p]] += freq[p];
      total += freq[p];
    }
  std::vector<size_t> rows, cols;
  for (size_t k = 0; k < R0; ++k)
    if (rt[k] != 0) rows.push_back(k);
  for (size_t k = 0; k < C0; ++k)
    if (ct[k] != 0) cols.push_back(k);
  if (rows.size() > kMaxTwoWayRows || cols.size() > kMaxTwoWayCols) return too_many_values(ip);
  // Two-way: the r x c frequencies, the row values as a column and the
  // column values as a row.
  TableMatrices mats;
  const int nr = static_cast<int>(rows.size()), nc = static_cast<int>(cols.size());
  if (stats::Matrix* m = mats.add(opt.matcell, nr, nc))
    for (int a = 0; a < nr; ++a)
      for (int b = 0; b < nc; ++b) m->at(a, b) = cells[rows[a] * C0 + cols[b]];
  if (rc_t rc = level_values(ip, jr, lr, rows, "matrow", mats.add(opt.matrow, nr, 1))) return rc;
  if (rc_t rc = level_values(ip, jc, lc, cols, "matcol", mats.add(opt.matcol, 1, nc))) return rc;
  if (!rows.empty())
    if (rc_t rc = mats.check(ip)) return rc;

  // Pearson's chi-squared against independence of the margins.
  double chi2 = 0;
  for (size_t r : rows)
    for (size_t c : cols) {
      double e = rt[r] * ct[c] / total;
      double d = cells[r * C0 + c] - e;
      chi2 += d * d / e;
    }
  int df = rows.empty() ? 0 : static_cast<int>((rows.size() - 1) * (cols.size() - 1));
  double p = df > 0 ? fn::chi2tail(df, chi2) : kMissing;

  ip.out.set_class(output::OutClass::Text);
  if (rows.empty()) {
    ip.out.print_markup("{txt}no observations\n");
  } else {
    const std::string& rname = ip.dataset.name(jr);
    const std::string& cname = ip.dataset.name(jc);
    size_t w = std::max<size_t>(10, rname.size());
    for (size_t k : rows) w = std::max(w, std::min<size_t>(lr.text[k].size(), 32));
    w = std::min<size_t>(w, 32);
    auto stub = [&](const std::string& t) { return pad_left(cut(t, w), w); };
    std::vector<const char*> key;
    key.push_back("frequency");
    if (opt.row) key.push_back("row percentage");
    if (opt.column) key.push_back("column percentage");
    if (opt.cell) key.push_back("cell percentage");
    if (key.size() > 1) {
      ip.out.print_markup("\n{txt}+{hline 19}+\n| Key{space 15}|\n|{hline 19}|\n");
      for (const char* k : key) {
        size_t len = std::char_traits<char>::length(k);
        size_t left = (19 - len) / 2;
        ip.out.printf_markup("|%*s%s%*s|\n", static_cast<int>(left), "", k, static_cast<int>(19 - len - left), "");
      }
      ip.out.print_markup("+{hline 19}+\n");
    }
    // Columns that do not fit the line width go to further panels; the
    // total column is in the last one.
    const int room = ip.linesize - static_cast<int>(w) - 2 - 13;
    const size_t per_panel = static_cast<size_t>(std::max(1, room / 11));
    for (size_t c0 = 0; c0 < cols.size(); c0 += per_panel) {
      const size_t c1 = std::min(cols.size(), c0 + per_panel);
      const bool last_panel = c1 == cols.size();
      const size_t block = 11 * (c1 - c0);
      std::string rule = "{hline " + std::to_string(w + 1) + "}{c +}{hline " + std::to_string(block + 1) + "}";
      rule += last_panel ? "{c +}{hline 11}\n" : "\n";
      // Header: the column variable centred over its block, then the levels.
      std::string title = cut(cname, block);
      size_t lpad = (block - title.size()) / 2;
      ip.out.printf_markup("\n{txt}%*s {c |}%*s", static_cast<int>(w), "", static_cast<int>(lpad), "");
      ip.out.print_plain(title);
      ip.out.print_markup("\n");
      ip.out.print_plain(stub(rname));
      ip.out.print_markup(" {c |}");
      for (size_t q = c0; q < c1; ++q) ip.out.print_plain(pad_left(cut(lc.text[cols[q]], 10), 11));
      ip.out.print_markup(last_panel ? " {c |}      Total\n" : "\n");
      ip.out.print_markup(rule);
      // One block of lines per row: the frequencies, then each percentage asked for.
      auto body = [&](const std::string& label, auto cell_value, double row_total) {
        ip.out.print_markup("{txt}");
        ip.out.print_plain(stub(label));
        ip.out.print_markup(" {c |}{res}");
        for (size_t q = c0; q < c1; ++q) ip.out.printf_markup("%11s", freq_text(cell_value(cols[q])).c_str());
        if (last_panel)
          ip.out.printf_markup("{txt} {c |}{res}%11s\n", freq_text(row_total).c_str());
        else
          ip.out.print_markup("\n");
        auto pct_line = [&](auto num_den) {
          ip.out.printf_markup("{txt}%*s {c |}{res}", static_cast<int>(w), "");
          for (size_t q = c0; q < c1; ++q) {
            auto [nu, de] = num_den(cols[q]);
            ip.out.printf_markup("%11s", pct(nu, de).c_str());
          }
          if (last_panel) {
            auto [nu, de] = num_den(SIZE_MAX);
            ip.out.printf_markup("{txt} {c |}{res}%11s\n", pct(nu, de).c_str());
          } else {
            ip.out.print_markup("\n");
          }
        };
        if (opt.row)
          pct_line([&](size_t c) { return std::pair(c == SIZE_MAX ? row_total : cell_value(c), row_total); });
        if (opt.column)
          pct_line([&](size_t c) {
            if (c == SIZE_MAX) return std::pair(row_total, total);
            return std::pair(cell_value(c), ct[c]);
          });
        if (opt.cell)
          pct_line([&](size_t c) { return std::pair(c == SIZE_MAX ? row_total : cell_value(c), total); });
      };
      bool multi = key.size() > 1;
      for (size_t i = 0; i < rows.size(); ++i) {
        size_t r = rows[i];
        body(lr.text[r], [&](size_t c) { return cells[r * C0 + c]; }, rt[r]);
        if (multi && i + 1 < rows.size()) ip.out.print_markup(rule);
      }
      ip.out.print_markup(rule);
      body("Total", [&](size_t c) { return ct[c]; }, total);
    }
    if (opt.chi2) {
      // Through the display formats, so that a missing statistic shows as
      // "." rather than as the digits of the missing value's double.
      ip.out.printf_markup("\n{txt}%*sPearson chi2({res}%d{txt}) = {res}%s{txt}   Pr = {res}%s\n",
                           static_cast<int>(w > 8 ? w - 8 : 0), "", df, data::format_shown("%8.4f", chi2).c_str(),
                           data::format_shown("%5.3f", p).c_str());
    }
  }
  if (!rows.empty()) mats.store(ip);
  ip.r_results.clear();
  ip.r_results.scalars["N"] = total;
  ip.r_results.scalars["r"] = static_cast<double>(rows.size());
  ip.r_results.scalars["c"] = static_cast<double>(cols.size());
  if (opt.chi2 && !rows.empty()) {
    ip.r_results.scalars["chi2"] = chi2;
    ip.r_results.scalars["p"] = p;
  }
  return 0;
}

// What a tabulation command has read: its line, its options, its
// variables, and the sample with its weights.
struct TabRequest {
  CommandLine cl;
  TabOptions opt;
  std::vector<int> vars;
  stats::Sample sample;
  std::vector<double> weights;
};

// The parse every tabulation command shares; two_way_options says whether
// row, column, cell and chi2 are accepted, matrix_options whether matcell(),
// matrow() and matcol() are.
rc_t parse_tab(Interp& ip, bool two_way_options, bool matrix_options, TabRequest* t) {
  ParseSettings st{.varlist = true, .allow_if = true, .allow_in = true,
                   .weights = kAweight | kFweight | kIweight, .default_weight = kFweight};
  CommandLine* cl = &t->cl;
  TabOptions* opt = &t->opt;
  if (rc_t rc = standard_parse(ip, st, cl)) return rc;
  opt->missing = cl->flag("missing", 1, 0) == 1;
  opt->nolabel = cl->flag("nolabel", 3, 0) == 1;
  if (two_way_options) {
    opt->row = cl->flag("row", 1, 0) == 1;
    opt->column = cl->flag("column", 3, 0) == 1;
    opt->cell = cl->flag("cell", 4, 0) == 1;
    opt->chi2 = cl->flag("chi2", 2, 0) == 1;
  }
  if (matrix_options) {
    struct {
      const char* name;
      std::string* into;
    } mats[] = {{"matcell", &opt->matcell}, {"matrow", &opt->matrow}, {"matcol", &opt->matcol}};
    // A malformed one is left for the leftover check to report.
    for (auto& m : mats)
      if (cl->string(m.name, std::char_traits<char>::length(m.name), m.into, 64, 1) && !is_valid_name(*m.into))
        return msg_invalid(ip, "name");
  }
  if (rc_t rc = cl->leftover(ip)) return rc;
  if (rc_t rc = datacmd::varlist_required(ip, cl->varlist_text, &t->vars)) return rc;
  if (rc_t rc = stats::select_sample(ip, *cl, &t->sample)) return rc;
  return stats::evaluate_weights(ip, *cl, t->sample, &t->weights);
}

}  // namespace

rc_t cmd_tabulate(Interp& ip) {
  TabRequest t;
  if (rc_t rc = parse_tab(ip, true, true, &t)) return rc;
  if (t.vars.size() > 2) return msg_quoting(ip.out, "too many variables specified\n", "", "", 103);
  if (t.vars.size() == 1) {
    if (t.opt.row || t.opt.column || t.opt.cell || t.opt.chi2 || !t.opt.matcol.empty())
      return msg_quoting(ip.out, "option not allowed with a one-way table\n", "", "", 198);
    return one_way(ip, t.vars[0], t.sample, t.weights, t.cl.weight_type, t.opt);
  }
  return two_way(ip, t.vars[0], t.vars[1], t.sample, t.weights, t.cl.weight_type, t.opt);
}

rc_t cmd_tab1(Interp& ip) {
  TabRequest t;
  if (rc_t rc = parse_tab(ip, false, false, &t)) return rc;
  for (int j : t.vars) {
    ip.out.set_class(output::OutClass::Text);
    ip.out.print_markup("\n{txt}-> tabulation of ");
    ip.out.print_plain(ip.dataset.name(j));
    ip.out.print_markup("\n");
    if (rc_t rc = one_way(ip, j, t.sample, t.weights, t.cl.weight_type, t.opt)) return rc;
    if (ip.poll_break()) return 1;
  }
  return 0;
}

rc_t cmd_tab2(Interp& ip) {
  TabRequest t;
  if (rc_t rc = parse_tab(ip, true, false, &t)) return rc;
  if (t.vars.size() < 2) return msg_quoting(ip.out, "too few variables specified\n", "", "", 102);
  for (size_t a = 0; a < t.vars.size(); ++a)
    for (size_t b = a + 1; b < t.vars.size(); ++b) {
      ip.out.set_class(output::OutClass::Text);
      ip.out.print_markup("\n{txt}-> tabulation of ");
      ip.out.print_plain(ip.dataset.name(t.vars[a]) + " by " + ip.dataset.name(t.vars[b]));
      ip.out.print_markup("\n");
      if (rc_t rc = two_way(ip, t.vars[a], t.vars[b], t.sample, t.weights, t.cl.weight_type, t.opt)) return rc;
      if (ip.poll_break()) return 1;
    }
  return 0;
}

}  // namespace nuvra
