// tsset: declares the time variable (and the panel variable) of the data,
// in the dataset's characteristics so that the declaration is saved with
// the data; the time-series operators of expressions read it from there.
#include <algorithm>
#include <cmath>
#include <map>
#include <set>

#include "data/commands/commands.h"
#include "data/commands/sort.h"
#include "data/expr/tsops.h"
#include "data/format.h"
#include "data/varlist.h"
#include "interp/interp.h"
#include "interp/messages.h"
#include "data/names.h"
#include "interp/parse.h"
#include "interp/simple_expr.h"

namespace nuvra {

namespace {

// The range and shape of the declared series, as tsset reports it.
struct TsSummary {
  double tmin = 0, tmax = 0;
  bool any = false;
  bool gaps = false;
  std::string balance;  // "strongly balanced", "weakly balanced", "unbalanced"
};

std::string shown(const data::Dataset& ds, int j, double v) {
  std::string s = data::format_number(ds.format(j), v);
  size_t b = s.find_first_not_of(' ');
  return b == std::string::npos ? s : s.substr(b);
}

// Checks the time values against delta and for repeats (the data sorted
// by panel and time), and summarises them.  Prints and returns 451.
rc_t summarise(Interp& ip, const expr::TsDecl& d, TsSummary* out) {
  const data::Dataset& ds = ip.dataset;
  std::map<double, std::set<double>> panels;
  std::map<double, long long> counts;
  double prev_p = 0, prev_t = 0;
  bool have_prev = false;
  for (std::int64_t o = 1; o <= ds.nobs(); ++o) {
    double t = ds.fetch(d.tvar, o);
    double p = d.pvar ? ds.fetch(d.pvar, o) : 0.0;
    if (!(t < data::kMissing)) continue;
    if (!out->any || t < out->tmin) out->tmin = t;
    if (!out->any || t > out->tmax) out->tmax = t;
    out->any = true;
    if (have_prev && p == prev_p && t == prev_t)
      return msg_quoting(ip.out, d.pvar ? "repeated time values within panel\n" : "repeated time values in sample\n", "",
                         "", 451);
    if (have_prev && p == prev_p && t - prev_t != d.delta) out->gaps = true;
    have_prev = true;
    prev_p = p, prev_t = t;
    if (d.pvar) {
      panels[p].insert(t);
      ++counts[p];
    }
  }
  if (d.pvar && !panels.empty()) {
    bool same_times = true, same_count = true;
    const std::set<double>& first = panels.begin()->second;
    for (const auto& [p, times] : panels) {
      if (times != first) same_times = false;
      if (times.size() != first.size()) same_count = false;
    }
    out->balance = same_times ? "strongly balanced" : same_count ? "weakly balanced" : "unbalanced";
  }
  return 0;
}

// Every time value lies a whole number of deltas from the first one.
rc_t check_delta(Interp& ip, const expr::TsDecl& d) {
  const data::Dataset& ds = ip.dataset;
  bool any = false;
  double tmin = 0;
  for (std::int64_t o = 1; o <= ds.nobs(); ++o) {
    double t = ds.fetch(d.tvar, o);
    if (t < data::kMissing && (!any || t < tmin)) tmin = t, any = true;
  }
  for (std::int64_t o = 1; any && o <= ds.nobs(); ++o) {
    double t = ds.fetch(d.tvar, o);
    if (!(t < data::kMissing)) continue;
    double steps = (t - tmin) / d.delta;
    if (std::fabs(steps - std::nearbyint(steps)) > 1e-7 * std::max(1.0, std::fabs(steps)))
      return msg_quoting(ip.out, "time values with period less than delta() found\n", "", "", 451);
  }
  return 0;
}

void report(Interp& ip, const expr::TsDecl& d, const TsSummary& s) {
  const data::Dataset& ds = ip.dataset;
  ip.out.set_class(output::OutClass::Text);
  if (d.pvar) {
    ip.out.print_markup("{txt}       panel variable:  {res}");
    ip.out.print_plain(ds.name(d.pvar) + " (" + s.balance + ")");
    ip.out.print_markup("\n");
  }
  ip.out.print_markup("{txt}        time variable:  {res}");
  std::string line = ds.name(d.tvar);
  if (s.any) {
    line += ", " + shown(ds, d.tvar, s.tmin) + " to " + shown(ds, d.tvar, s.tmax);
    if (s.gaps) line += d.pvar ? ", but with gaps" : ", but with a gap";
  }
  ip.out.print_plain(line);
  ip.out.print_markup("\n{txt}                delta:  {res}");
  std::string delta = format_number_g(d.delta, 18);
  ip.out.print_plain(delta + (d.delta == 1 ? " unit" : " units"));
  ip.out.print_markup("{txt}\n");

  SavedResults& r = ip.r_results;
  r.clear();
  r.macros["timevar"] = ds.name(d.tvar);
  r.macros["panelvar"] = d.pvar ? ds.name(d.pvar) : "";
  if (d.pvar) r.macros["balanced"] = s.balance;
  if (s.any) {
    r.scalars["tmin"] = s.tmin;
    r.scalars["tmax"] = s.tmax;
  }
  r.scalars["tdelta"] = d.delta;
  r.scalars["gaps"] = s.gaps ? 1 : 0;
}

// The display formats the unit options give the time variable.
const char* unit_format(CommandLine& cl) {
  struct Unit {
    const char* name;
    size_t min;
    const char* format;
  };
  static constexpr Unit kUnits[] = {{"clocktime", 5, "%tc"}, {"daily", 1, "%td"},      {"weekly", 1, "%tw"},
                                    {"monthly", 1, "%tm"},   {"quarterly", 1, "%tq"},  {"halfyearly", 1, "%th"},
                                    {"yearly", 1, "%ty"},    {"generic", 1, "%tg"}};
  const char* chosen = nullptr;
  for (const Unit& u : kUnits)
    if (cl.flag(u.name, u.min, 0) == 1) chosen = u.format;
  return chosen;
}

}  // namespace

// tsset [panelvar] timevar [, delta(#) clear daily weekly ... format(%fmt)]
rc_t cmd_tsset(Interp& ip) {
  ParseSettings st{.varlist = true};
  CommandLine cl;
  if (rc_t rc = standard_parse(ip, st, &cl)) return rc;
  data::Dataset& ds = ip.dataset;
  bool clear = cl.flag("clear", 5, 0) == 1;
  double delta = 1;
  bool has_delta = false;
  if (cl.number_list("delta", 5, &delta, 1) == 1) has_delta = true;
  const char* unit = unit_format(cl);
  std::string fmt;
  bool has_format = cl.string("format", 3, &fmt, 48, 1);
  if (rc_t rc = cl.leftover(ip)) return rc;

  std::vector<int> vars;
  if (!trim(cl.varlist_text).empty()) {
    data::VarlistFailure fail;
    if (data::read_varlist(ds, cl.varlist_text, &vars, &fail))
      return msg_quoting(ip.out, "", fail.message, "\n", fail.rc);
  }
  if (clear) {
    if (!vars.empty()) return msg_invalid(ip, "syntax");
    ds.set_char("_dta", expr::kTsTimeChar, "");
    ds.set_char("_dta", expr::kTsPanelChar, "");
    ds.set_char("_dta", expr::kTsDeltaChar, "");
    return 0;
  }
  if (vars.empty()) {
    expr::TsDecl d = expr::ts_declaration(ds);
    if (!d.ok) return msg_quoting(ip.out, "time variable not set, use tsset varname ...\n", "", "", 111);
    if (has_delta || unit || has_format) return msg_required(ip, "varlist");
    std::vector<int> keys;
    if (d.pvar) keys.push_back(d.pvar);
    keys.push_back(d.tvar);
    TsSummary s;
    std::vector<std::int64_t> order, rank;
    bool in_order = false, repeated = false;
    expr::ts_order(ds, d, &order, &rank, &in_order, &repeated);
    if (!in_order)
      if (rc_t rc = sort_dataset(ip, keys)) return rc;
    if (rc_t rc = summarise(ip, d, &s)) return rc;
    report(ip, d, s);
    return 0;
  }
  if (vars.size() > 2) return msg_quoting(ip.out, "too many variables specified\n", "", "", 103);
  for (int j : vars)
    if (ds.is_string(j))
      return msg_quoting(ip.out, "", ds.name(j), ":  string variables may not be used as time or panel variables\n",
                         109);
  if (vars.size() == 2 && vars[0] == vars[1]) return msg_invalid(ip, "syntax");
  if (!(delta > 0 && delta < data::kMissing)) return msg_quoting(ip.out, "delta() must be positive\n", "", "", 198);
  data::Format parsed;
  if (has_format && (!data::parse_format(fmt, &parsed) || data::is_string_format(parsed)))
    return rc_message(ip, 120);

  expr::TsDecl d;
  d.ok = true;
  d.tvar = vars.back();
  d.pvar = vars.size() == 2 ? vars[0] : 0;
  d.delta = delta;
  std::vector<std::int64_t> order, rank;
  bool in_order = false, repeated = false;
  expr::ts_order(ds, d, &order, &rank, &in_order, &repeated);
  if (repeated)
    return msg_quoting(ip.out, d.pvar ? "repeated time values within panel\n" : "repeated time values in sample\n", "",
                       "", 451);
  if (rc_t rc = check_delta(ip, d)) return rc;
  // Everything that can be refused has been; now the data are sorted and
  // the declaration recorded.
  if (!in_order) {
    if (rc_t rc = sort_dataset(ip, vars)) return rc;
  }
  TsSummary s;
  if (rc_t rc = summarise(ip, d, &s)) return rc;
  if (has_format)
    ds.set_format(d.tvar, fmt);
  else if (unit)
    ds.set_format(d.tvar, unit);
  ds.set_char("_dta", expr::kTsTimeChar, ds.name(d.tvar));
  ds.set_char("_dta", expr::kTsPanelChar, d.pvar ? ds.name(d.pvar) : "");
  ds.set_char("_dta", expr::kTsDeltaChar, d.delta == 1 ? "" : format_number_g(d.delta, 18));
  report(ip, d, s);
  return 0;
}

}  // namespace nuvra
