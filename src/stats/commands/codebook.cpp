// codebook and inspect: a description of each variable's contents.
//
//   codebook [varlist] [if] [in]
//       type, range, unique values, missing values; for numbers the mean,
//       standard deviation and a few percentiles, for strings an example
//   inspect [varlist] [if] [in]
//       counts of negative, zero and positive values, whole or not, the
//       missing values and the number of unique values
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "data/commands/commands.h"
#include "data/expr/expr.h"
#include "data/missing.h"
#include "data/storage.h"
#include "interp/builtins.h"
#include "interp/interp.h"
#include "interp/messages.h"
#include "interp/parse.h"
#include "stats/sample.h"
#include "stats/summarize.h"

namespace nuvra {

namespace {

using data::kMissing;

std::string type_name(int t) {
  switch (t) {
    case data::kByte: return "byte";
    case data::kInt: return "int";
    case data::kLong: return "long";
    case data::kFloat: return "float";
    case data::kDouble: return "double";
    default: return "str" + std::to_string(t);
  }
}

rc_t parse_described(Interp& ip, CommandLine* cl, std::vector<int>* vars, stats::Sample* sample) {
  ParseSettings st{.varlist = true, .allow_if = true, .allow_in = true, .allow_options = false};
  if (rc_t rc = standard_parse(ip, st, cl)) return rc;
  if (rc_t rc = datacmd::varlist_or_all(ip, cl->varlist_text, vars)) return rc;
  return stats::select_sample(ip, *cl, sample);
}

// Distinct non-missing values among the sample, and the missing count.
void count_values(const data::Dataset& ds, int j, const stats::Sample& s, std::int64_t* unique, std::int64_t* missing) {
  *missing = 0;
  if (ds.is_string(j)) {
    std::vector<std::string> v;
    for (std::int64_t p = 0; p < s.size(); ++p) {
      std::string x = ds.fetch_str(j, s.row(p) + 1);
      if (x.empty())
        ++*missing;
      else
        v.push_back(std::move(x));
    }
    std::sort(v.begin(), v.end());
    *unique = std::unique(v.begin(), v.end()) - v.begin();
    return;
  }
  std::vector<double> v;
  for (std::int64_t p = 0; p < s.size(); ++p) {
    double x = ds.fetch(j, s.row(p) + 1);
    if (data::is_missing(x))
      ++*missing;
    else
      v.push_back(x);
  }
  std::sort(v.begin(), v.end());
  *unique = std::unique(v.begin(), v.end()) - v.begin();
}

std::string num(double v) { return expr::number_text(v); }

}  // namespace

rc_t cmd_codebook(Interp& ip) {
  CommandLine cl;
  std::vector<int> vars;
  stats::Sample sample;
  if (rc_t rc = parse_described(ip, &cl, &vars, &sample)) return rc;
  const data::Dataset& ds = ip.dataset;
  const int width = std::min(ip.linesize, 79);
  ip.out.set_class(output::OutClass::Text);
  for (int j : vars) {
    if (ip.poll_break()) return 1;
    const std::string& label = ds.label(j);
    ip.out.printf_markup("\n{txt}{hline %d}\n{res}", width);
    ip.out.print_plain(ds.name(j));
    std::string right = label.empty() ? "(unlabeled)" : label;
    int gap = width - static_cast<int>(ds.name(j).size()) - static_cast<int>(right.size());
    ip.out.printf_markup("{txt}%*s", std::max(1, gap), "");
    ip.out.print_plain(right);
    ip.out.printf_markup("\n{hline %d}\n\n", width);
    std::int64_t unique = 0, missing = 0;
    count_values(ds, j, sample, &unique, &missing);
    const long long total = static_cast<long long>(sample.size());
    if (ds.is_string(j)) {
      ip.out.printf_markup("{txt}{col 19}type:  {res}string (%s)\n\n", type_name(ds.type(j)).c_str());
      ip.out.printf_markup("{txt}{col 10}unique values:  {res}%-10lld{txt}{col 46}missing \"\":  {res}%lld/%lld\n",
                           static_cast<long long>(unique), static_cast<long long>(missing), total);
      for (std::int64_t p = 0; p < sample.size(); ++p) {
        std::string x = ds.fetch_str(j, sample.row(p) + 1);
        if (x.empty()) continue;
        ip.out.print_markup("\n{txt}{col 15}example:  {res}\"");
        ip.out.print_plain(x);
        ip.out.print_markup("\"\n");
        break;
      }
      continue;
    }
    ip.out.printf_markup("{txt}{col 19}type:  {res}numeric (%s)\n", type_name(ds.type(j)).c_str());
    if (!ds.value_label_name(j).empty()) {
      ip.out.print_markup("{txt}{col 18}label:  {res}");
      ip.out.print_plain(ds.value_label_name(j));
      ip.out.print_markup("\n");
    }
    stats::ColumnInput in;
    in.col = ip.dataset.column(j);
    in.sample = &sample;
    stats::DetailSummary d;
    rc_t rc = stats::summarize_detail(in, stats::break_poll(ip), &d);
    if (rc == 909) return rc_message(ip, 909);
    if (rc) return rc;
    ip.out.print_markup("\n");
    ip.out.printf_markup("{txt}{col 18}range:  {res}[%s,%s]\n", d.n ? num(d.min).c_str() : ".",
                         d.n ? num(d.max).c_str() : ".");
    ip.out.printf_markup("{txt}{col 10}unique values:  {res}%-10lld{txt}{col 47}missing .:  {res}%lld/%lld\n",
                         static_cast<long long>(unique), static_cast<long long>(missing), total);
    if (d.n == 0) continue;
    ip.out.printf_markup("\n{txt}{col 19}mean:  {res}%s\n", num(d.mean).c_str());
    ip.out.printf_markup("{txt}{col 15}std. dev:  {res}%s\n", num(d.sd).c_str());
    ip.out.print_markup("\n{txt}{col 12}percentiles:        10%       25%       50%       75%       90%\n{res}");
    std::string line(24, ' ');
    for (int k = 2; k <= 6; ++k) {
      std::string v = num(d.pct[k]);
      line += std::string(v.size() < 10 ? 10 - v.size() : 1, ' ') + v;
    }
    ip.out.print_plain(line);
    ip.out.print_markup("\n");
  }
  return 0;
}

rc_t cmd_inspect(Interp& ip) {
  CommandLine cl;
  std::vector<int> vars;
  stats::Sample sample;
  if (rc_t rc = parse_described(ip, &cl, &vars, &sample)) return rc;
  const data::Dataset& ds = ip.dataset;
  ip.out.set_class(output::OutClass::Text);
  SavedResults results;
  for (int j : vars) {
    if (ip.poll_break()) return 1;
    if (ds.is_string(j)) {
      ip.out.print_markup("\n{txt}");
      ip.out.print_plain(ds.name(j));
      ip.out.print_markup(":  string variable; not inspected\n");
      continue;
    }
    // [negative, zero, positive] x [whole, not whole]
    std::int64_t counts[3][2] = {{0, 0}, {0, 0}, {0, 0}}, missing = 0;
    for (std::int64_t p = 0; p < sample.size(); ++p) {
      double x = ds.fetch(j, sample.row(p) + 1);
      if (data::is_missing(x)) {
        ++missing;
        continue;
      }
      int sign = x < 0 ? 0 : x == 0 ? 1 : 2;
      counts[sign][x == std::floor(x) ? 0 : 1]++;
    }
    std::int64_t unique = 0, dummy = 0;
    count_values(ds, j, sample, &unique, &dummy);
    auto cellv = [](std::int64_t v) { return v ? std::to_string(v) : std::string("-"); };
    std::int64_t whole = counts[0][0] + counts[1][0] + counts[2][0];
    std::int64_t frac = counts[0][1] + counts[2][1];
    std::int64_t total = whole + frac;
    // Counts end at columns 45, 58 and 71, under their headings.
    ip.out.print_markup("\n{txt}");
    ip.out.print_plain(ds.name(j) + ":");
    ip.out.print_markup("{col 44}Number of Observations\n");
    ip.out.printf_markup("{hline %zu}{col 38}{hline 34}\n", ds.name(j).size() + 1);
    ip.out.print_markup("{col 41}Total{col 51}Integers{col 61}Nonintegers\n");
    const char* names[3] = {"Negative", "Zero", "Positive"};
    for (int s = 0; s < 3; ++s) {
      ip.out.printf_markup("{txt}{c |}  %-34s{res}%8s%13s", names[s], cellv(counts[s][0] + counts[s][1]).c_str(),
                           cellv(counts[s][0]).c_str());
      if (s != 1) ip.out.printf_markup("%13s", cellv(counts[s][1]).c_str());
      ip.out.print_markup("\n");
    }
    ip.out.print_markup("{txt}{c |}{col 41}{hline 5}{col 54}{hline 5}{col 67}{hline 5}\n");
    ip.out.printf_markup("{txt}{c |}  %-34s{res}%8s%13s%13s\n", "Total", cellv(total).c_str(), cellv(whole).c_str(),
                         cellv(frac).c_str());
    ip.out.printf_markup("{txt}{c |}  %-34s{res}%8s\n", "Missing", cellv(missing).c_str());
    ip.out.print_markup("{txt}{c +}{hline 22}{col 41}{hline 5}\n");
    ip.out.printf_markup("{col 38}{res}%8lld\n", static_cast<long long>(total + missing));
    ip.out.printf_markup("{txt}   (%lld unique value%s)\n", static_cast<long long>(unique), unique == 1 ? "" : "s");
    results.clear();
    auto& r = results.scalars;
    r["N"] = static_cast<double>(total);
    r["N_neg"] = static_cast<double>(counts[0][0] + counts[0][1]);
    r["N_0"] = static_cast<double>(counts[1][0]);
    r["N_pos"] = static_cast<double>(counts[2][0] + counts[2][1]);
    r["N_negint"] = static_cast<double>(counts[0][0]);
    r["N_posint"] = static_cast<double>(counts[2][0]);
    r["N_unique"] = static_cast<double>(unique);
  }
  ip.r_results = results;
  return 0;
}

}  // namespace nuvra
