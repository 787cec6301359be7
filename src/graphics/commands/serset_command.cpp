// serset: makes sersets from the data, selects, lists, sorts, summarizes,
// derives and drops them, and loads one back as the dataset.
//
//   serset create varlist [if] [in] [, omitanymiss|omitallmiss|omitdupmiss|omitnothing sort(varlist)]
//   serset set #   |   serset #          make serset # the one in use
//   serset use [, clear]                 the serset in use becomes the dataset
//   serset dir                           list the sersets
//   serset create_xmedians #y #x [, bands(#) xmin(#) xmax(#) logx logy]
//   serset create_cspline #y #x [, n(#)] natural cubic spline, n points per interval
//   serset sort [#...]                   sort the serset in use (all variables by default)
//   serset summarize #                   r(N), r(mean), r(min), r(max) of variable #
//   serset drop [#...]                   drop sersets (the one in use by default)
//   serset clear                         drop every serset; identifiers start again at 1
//   serset discard                       drop every serset but the one in use
//   serset reset_id [#]                  the next identifier: # or one past the highest held
//   serset dump                          list the serset in use, value by value
//   serset                               report the serset in use (r(id), 0 when none)
//
// Variables of a serset are numbered from 1 in the order they were copied.
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "data/expr/sample.h"
#include "data/format.h"
#include "data/missing.h"
#include "data/varlist.h"
#include "graphics/commands/graph_state.h"
#include "graphics/serset.h"
#include "interp/builtins.h"
#include "interp/interp.h"
#include "interp/messages.h"
#include "interp/parse.h"
#include "base/text.h"

namespace nuvra {

namespace graphics {

GraphState& graph_state(Interp& ip) {
  if (!ip.graph_state) ip.graph_state = std::make_shared<GraphState>();
  return *static_cast<GraphState*>(ip.graph_state.get());
}

rc_t copy_to_serset(Interp& ip, const std::vector<int>& vars, const std::vector<int>& keys,
                    const std::vector<char>& touse, MissingRule rule, Serset* out) {
  const data::Dataset& ds = ip.dataset;
  std::vector<std::int64_t> candidates;
  for (std::int64_t i = 1; i <= ds.nobs(); ++i)
    if (touse[static_cast<size_t>(i - 1)]) candidates.push_back(i);
  std::vector<std::uint8_t> any(candidates.size(), 0), all(candidates.size(), 0);
  bool has_numeric = false;
  for (int j : vars) has_numeric = has_numeric || !ds.is_string(j);
  for (size_t c = 0; c < candidates.size(); ++c) {
    if (c % 4096 == 4095 && ip.poll_break()) return 1;
    bool a = false, l = has_numeric;
    for (int j : vars) {
      if (ds.is_string(j)) continue;
      bool m = data::is_missing(ds.fetch(j, candidates[c]));
      a = a || m;
      l = l && m;
    }
    any[c] = a;
    all[c] = l;
  }
  std::vector<std::int64_t> kept = apply_missing_rule(rule, any, all);

  // The sort keys ride along as extra variables and are dropped after the
  // sort, so a key need not be one of the copied variables.
  std::vector<int> copied = vars;
  copied.insert(copied.end(), keys.begin(), keys.end());
  Serset s;
  s.nobs = static_cast<std::int64_t>(kept.size());
  s.vars.resize(copied.size());
  for (size_t v = 0; v < copied.size(); ++v) {
    int j = copied[v];
    SersetVar& sv = s.vars[v];
    sv.name = ds.name(j);
    sv.format = ds.format(j);
    sv.is_string = ds.is_string(j);
    if (sv.is_string)
      sv.str.reserve(kept.size());
    else
      sv.num.reserve(kept.size());
  }
  for (size_t k = 0; k < kept.size(); ++k) {
    if (k % 4096 == 4095 && ip.poll_break()) return 1;
    std::int64_t obs = candidates[static_cast<size_t>(kept[k])];
    for (size_t v = 0; v < copied.size(); ++v) {
      if (s.vars[v].is_string)
        s.vars[v].str.push_back(ds.fetch_str(copied[v], obs));
      else
        s.vars[v].num.push_back(ds.fetch(copied[v], obs));
    }
  }
  if (!keys.empty()) {
    std::vector<int> key_index;
    for (size_t k = 0; k < keys.size(); ++k) key_index.push_back(static_cast<int>(vars.size() + k));
    sort_serset(&s, key_index);
    s.vars.resize(vars.size());
  }
  *out = std::move(s);
  return 0;
}

}  // namespace graphics

namespace {

using base::trim_blanks;
using graphics::Serset;
using graphics::SersetStore;
using graphics::SersetVar;

rc_t say(Interp& ip, const std::string& text, rc_t rc) { return msg_quoting(ip.out, text, "", "", rc); }

// A whole number written as a word; false for anything else.
bool whole_number(std::string_view w, long long* out) {
  if (w.empty() || w.size() > 18) return false;
  std::string s(w);
  char* end = nullptr;
  errno = 0;
  long long v = std::strtoll(s.c_str(), &end, 10);
  if (errno || *end) return false;
  *out = v;
  return true;
}

rc_t no_serset(Interp& ip) { return say(ip, "no serset in use\n", 198); }

rc_t series_message(Interp& ip, const char* what, long long id, rc_t rc) {
  return say(ip, "series " + std::to_string(id) + " " + what + "\n", rc);
}

// The numbers before the comma (variable numbers or identifiers).
rc_t read_numbers(Interp& ip, std::string_view text, std::vector<long long>* out) {
  std::string_view s = text;
  while (true) {
    std::string_view w = take_word(s);
    if (w.empty()) return 0;
    long long v;
    if (!whole_number(w, &v)) return msg_invalid(ip, "syntax");
    out->push_back(v);
  }
}

// Variable number `v` of `s`, 0-based into *index; else the message.
rc_t serset_variable(Interp& ip, const Serset& s, long long v, int* index) {
  if (v < 1 || v > static_cast<long long>(s.vars.size()))
    return say(ip, "serset variable " + std::to_string(v) + " not found\n", 111);
  *index = static_cast<int>(v - 1);
  return 0;
}

rc_t serset_create(Interp& ip) {
  ParseSettings st{.varlist = true, .allow_if = true, .allow_in = true, .allow_by = false};
  CommandLine cl;
  if (rc_t rc = standard_parse(ip, st, &cl)) return rc;
  int anymiss = cl.flag("omitanymiss", 8, 0) == 1;
  int allmiss = cl.flag("omitallmiss", 8, 0) == 1;
  int dupmiss = cl.flag("omitdupmiss", 8, 0) == 1;
  int nothing = cl.flag("omitnothing", 5, 0) == 1;
  std::string sort_text;
  bool has_sort = cl.string("sort", 4, &sort_text, 65536, 1000);
  if (rc_t rc = cl.leftover(ip)) return rc;
  if (anymiss + allmiss + dupmiss + nothing > 1)
    return say(ip,
               "{p 0 4 2}may only specify one of options omitanymiss, "
               "omitallmiss, omitdupmiss, and omitnothing{p_end}\n",
               198);
  graphics::MissingRule rule = anymiss   ? graphics::MissingRule::kAnyMiss
                               : allmiss ? graphics::MissingRule::kAllMiss
                               : nothing ? graphics::MissingRule::kNothing
                                         : graphics::MissingRule::kDupMiss;
  const data::Dataset& ds = ip.dataset;
  std::vector<int> vars, keys;
  data::VarlistFailure fail;
  if (data::read_varlist(ds, cl.varlist_text, &vars, &fail))
    return msg_quoting(ip.out, "", fail.message, "\n", fail.rc);
  if (vars.empty()) return msg_required(ip, "varlist");
  if (vars.size() > static_cast<size_t>(graphics::kSersetMaxVars)) return rc_message(ip, 103);
  if (has_sort) {
    if (data::read_varlist(ds, sort_text, &keys, &fail)) return msg_quoting(ip.out, "", fail.message, "\n", fail.rc);
  } else if (cl.flag("sort", 4, 0) == 1) {
    return msg_invalid(ip, "sort() option");
  }

  std::vector<char> touse;
  std::int64_t selected = 0;
  if (rc_t rc = expr::mark_sample(ip, cl, &touse, &selected)) return rc;
  Serset s;
  if (rc_t rc = graphics::copy_to_serset(ip, vars, keys, touse, rule, &s)) return rc;
  const std::int64_t n = s.nobs;
  const int k = static_cast<int>(s.vars.size());
  int id = graphics::graph_state(ip).sersets.add(std::move(s));
  ip.r_results.clear();
  ip.r_results.scalars["id"] = id;
  ip.r_results.scalars["N"] = static_cast<double>(n);
  ip.r_results.scalars["k"] = k;
  return 0;
}

rc_t serset_set(Interp& ip, std::string_view word) {
  SersetStore& store = graphics::graph_state(ip).sersets;
  long long id;
  if (!whole_number(word, &id)) return msg_invalid(ip, "syntax");
  if (!trim_blanks(ip.reader.rest()).empty()) return msg_invalid(ip, "syntax");
  if (id < 1 || id > 2147483647LL) return series_message(ip, "out of range", id, 125);
  if (!store.set_in_use(static_cast<int>(id))) return series_message(ip, "not found", id, 111);
  return 0;
}

rc_t serset_use(Interp& ip) {
  CommandLine cl;
  std::string_view before;
  if (rc_t rc = read_options(ip, ip.reader.rest(), &before, &cl)) return rc;
  bool clear = cl.flag("clear", 5, 0) == 1;
  if (rc_t rc = cl.leftover(ip)) return rc;
  if (!trim_blanks(before).empty()) return msg_invalid(ip, "syntax");
  Serset* s = graphics::graph_state(ip).sersets.in_use();
  if (!s) return no_serset(ip);
  data::Dataset& ds = ip.dataset;
  if ((ds.changed() || ip.data_changed) && !clear) return rc_message(ip, 4);

  data::Dataset fresh(ds.memory());
  fresh.set_maxvar(ds.maxvar());
  fresh.set_varabbrev(ds.varabbrev());
  std::string names;
  for (const SersetVar& v : s->vars) {
    int type = 255;
    if (v.is_string) {
      size_t longest = 1;
      for (const std::string& t : v.str) longest = std::max(longest, t.size());
      type = static_cast<int>(std::min<size_t>(longest, 244));
    }
    std::string msg;
    int j = 0;
    if (rc_t rc = fresh.add_variable(v.name, type, &j, &msg)) {
      if (!msg.empty()) return msg_quoting(ip.out, "", msg, "\n", rc);
      return rc_message(ip, rc);
    }
    if (!v.format.empty()) fresh.set_format(j, v.format);
    if (!names.empty()) names += ' ';
    names += v.name;
  }
  if (rc_t rc = fresh.set_obs(s->nobs)) return rc_message(ip, rc);
  for (size_t v = 0; v < s->vars.size(); ++v) {
    const SersetVar& sv = s->vars[v];
    int j = static_cast<int>(v) + 1;
    for (std::int64_t i = 0; i < s->nobs; ++i) {
      if (sv.is_string)
        fresh.store_str(j, i + 1, sv.str[static_cast<size_t>(i)]);
      else
        fresh.store(j, i + 1, sv.num[static_cast<size_t>(i)]);
    }
  }
  ds.swap_contents(fresh);
  ds.set_changed(false);
  ip.data_changed = false;
  ip.r_results.clear();
  ip.r_results.macros["varnames"] = names;
  return 0;
}

rc_t serset_dir(Interp& ip) {
  if (!trim_blanks(ip.reader.rest()).empty()) return msg_invalid(ip, "syntax");
  ip.out.set_class(output::OutClass::Text);
  for (const auto& p : graphics::graph_state(ip).sersets.all()) {
    const Serset& s = *p;
    const size_t k = s.vars.size();
    ip.out.printf_markup("%s%d.  %lld observation%s on %zu variable%s{break}", s.id < 10 ? "{p 2 6}" : "{p 1 6}",
                         s.id, static_cast<long long>(s.nobs), s.nobs == 1 ? "" : "s", k, k == 1 ? "" : "s");
    std::string names;
    for (const SersetVar& v : s.vars) {
      if (!names.empty()) names += ' ';
      names += v.name;
    }
    ip.out.print_plain(names);
    ip.out.print_markup("{p_end}\n");
  }
  return 0;
}

// The (x, y) pairs of two serset variables, both numeric.
rc_t numeric_pair(Interp& ip, const Serset& s, std::string_view before, int* yi, int* xi) {
  std::vector<long long> nums;
  if (rc_t rc = read_numbers(ip, before, &nums)) return rc;
  if (nums.size() != 2) return say(ip, "two serset variable numbers required: y and x\n", 198);
  if (rc_t rc = serset_variable(ip, s, nums[0], yi)) return rc;
  if (rc_t rc = serset_variable(ip, s, nums[1], xi)) return rc;
  if (s.vars[*yi].is_string || s.vars[*xi].is_string) return rc_message(ip, 109);
  return 0;
}

// A derived serset of two variables named and formatted as its sources.
Serset derived(const SersetVar& ysrc, const SersetVar& xsrc, std::vector<double> y, std::vector<double> x) {
  Serset d;
  d.nobs = static_cast<std::int64_t>(x.size());
  d.vars.resize(2);
  d.vars[0].name = ysrc.name;
  d.vars[0].format = ysrc.format;
  d.vars[0].num = std::move(y);
  d.vars[1].name = xsrc.name;
  d.vars[1].format = xsrc.format;
  d.vars[1].num = std::move(x);
  return d;
}

rc_t serset_xmedians(Interp& ip) {
  CommandLine cl;
  std::string_view before;
  if (rc_t rc = read_options(ip, ip.reader.rest(), &before, &cl)) return rc;
  long long bands = cl.integer("bands", 4, 10);
  double xmin = data::kMissing, xmax = data::kMissing;
  bool has_min = cl.number_list("xmin", 4, &xmin, 1) == 1;
  bool has_max = cl.number_list("xmax", 4, &xmax, 1) == 1;
  bool logx = cl.flag("logx", 4, 0) == 1, logy = cl.flag("logy", 4, 0) == 1;
  if (rc_t rc = cl.leftover(ip)) return rc;
  if (bands < 1 || bands > 10000) return say(ip, "bands() must be between 1 and 10000\n", 198);
  graphics::GraphState& gs = graphics::graph_state(ip);
  Serset* s = gs.sersets.in_use();
  if (!s) return no_serset(ip);
  int yi, xi;
  if (rc_t rc = numeric_pair(ip, *s, before, &yi, &xi)) return rc;
  const std::vector<double>& x = s->vars[xi].num;
  const std::vector<double>& y = s->vars[yi].num;
  if (!has_min || !has_max) {
    double lo = 0, hi = 0;
    bool any = false;
    for (size_t i = 0; i < x.size(); ++i) {
      if (data::is_missing(x[i]) || data::is_missing(y[i]) || (logx && !(x[i] > 0)) || (logy && !(y[i] > 0)))
        continue;
      if (!any || x[i] < lo) lo = x[i];
      if (!any || x[i] > hi) hi = x[i];
      any = true;
    }
    if (!any) return say(ip, "no observations\n", 2000);
    if (!has_min) xmin = lo;
    if (!has_max) xmax = hi;
  }
  if (data::is_missing(xmin) || data::is_missing(xmax) || xmin > xmax)
    return say(ip, "xmin() may not be above xmax()\n", 198);
  if (logx && !(xmin > 0)) return say(ip, "xmin() must be positive with logx\n", 198);
  std::vector<double> mx, my;
  graphics::xmedians(x, y, static_cast<int>(bands), xmin, xmax, logx, logy, &mx, &my);
  Serset d = derived(s->vars[yi], s->vars[xi], std::move(my), std::move(mx));
  int id = gs.sersets.add(std::move(d));
  ip.r_results.clear();
  ip.r_results.scalars["id"] = id;
  return 0;
}

rc_t serset_cspline(Interp& ip) {
  CommandLine cl;
  std::string_view before;
  if (rc_t rc = read_options(ip, ip.reader.rest(), &before, &cl)) return rc;
  long long per = cl.integer("n", 1, 10);
  if (rc_t rc = cl.leftover(ip)) return rc;
  if (per < 1 || per > 1000) return say(ip, "n() must be between 1 and 1000\n", 198);
  graphics::GraphState& gs = graphics::graph_state(ip);
  Serset* s = gs.sersets.in_use();
  if (!s) return no_serset(ip);
  int yi, xi;
  if (rc_t rc = numeric_pair(ip, *s, before, &yi, &xi)) return rc;
  std::vector<std::pair<double, double>> pts;
  for (std::int64_t i = 0; i < s->nobs; ++i) {
    double x = s->vars[xi].num[static_cast<size_t>(i)], y = s->vars[yi].num[static_cast<size_t>(i)];
    if (!data::is_missing(x) && !data::is_missing(y)) pts.emplace_back(x, y);
  }
  std::sort(pts.begin(), pts.end(), [](auto& a, auto& b) { return a.first < b.first; });
  // Points sharing an x become one knot at the mean of their y.
  std::vector<double> kx, ky;
  for (size_t i = 0; i < pts.size();) {
    size_t j = i;
    double sum = 0;
    while (j < pts.size() && pts[j].first == pts[i].first) sum += pts[j++].second;
    kx.push_back(pts[i].first);
    ky.push_back(sum / static_cast<double>(j - i));
    i = j;
  }
  if (kx.size() > graphics::kSplineMaxKnots) return say(ip, "too many knots\n", 198);
  if (kx.size() < 2) return rc_message(ip, 2001);
  std::vector<double> ox, oy;
  graphics::natural_cspline(kx, ky, static_cast<int>(per), &ox, &oy);
  Serset d = derived(s->vars[yi], s->vars[xi], std::move(oy), std::move(ox));
  int id = gs.sersets.add(std::move(d));
  ip.r_results.clear();
  ip.r_results.scalars["id"] = id;
  return 0;
}

rc_t serset_sort(Interp& ip) {
  std::vector<long long> nums;
  if (rc_t rc = read_numbers(ip, ip.reader.rest(), &nums)) return rc;
  Serset* s = graphics::graph_state(ip).sersets.in_use();
  if (!s) return no_serset(ip);
  std::vector<int> keys;
  for (long long v : nums) {
    int j;
    if (rc_t rc = serset_variable(ip, *s, v, &j)) return rc;
    keys.push_back(j);
  }
  if (keys.empty())
    for (size_t j = 0; j < s->vars.size(); ++j) keys.push_back(static_cast<int>(j));
  graphics::sort_serset(s, keys);
  return 0;
}

rc_t serset_summarize(Interp& ip) {
  std::vector<long long> nums;
  if (rc_t rc = read_numbers(ip, ip.reader.rest(), &nums)) return rc;
  Serset* s = graphics::graph_state(ip).sersets.in_use();
  if (!s) return no_serset(ip);
  if (nums.size() != 1) return say(ip, "one serset variable number required\n", 198);
  int j;
  if (rc_t rc = serset_variable(ip, *s, nums[0], &j)) return rc;
  const SersetVar& v = s->vars[j];
  ip.r_results.clear();
  ip.out.set_class(output::OutClass::Text);
  if (v.is_string) {
    ip.r_results.scalars["N"] = 0;
    ip.out.print_markup("{txt}");
    ip.out.print_plain(v.name);
    ip.out.print_markup(" is a string variable\n");
    return 0;
  }
  double n = 0, sum = 0, lo = 0, hi = 0;
  for (double x : v.num) {
    if (data::is_missing(x)) continue;
    if (n == 0 || x < lo) lo = x;
    if (n == 0 || x > hi) hi = x;
    sum += x;
    ++n;
  }
  ip.r_results.scalars["N"] = n;
  if (n > 0) {
    ip.r_results.scalars["mean"] = sum / n;
    ip.r_results.scalars["min"] = lo;
    ip.r_results.scalars["max"] = hi;
  }
  ip.out.printf_markup("{txt}%12s {c |} %9s %10s %10s %10s\n", "Variable", "Obs", "Mean", "Min", "Max");
  ip.out.printf_markup("{hline 13}{c +}{hline 44}\n");
  if (n > 0)
    ip.out.printf_markup("{txt}%12s {c |} {res}%9.0f %10.6g %10.6g %10.6g\n", v.name.c_str(), n, sum / n, lo, hi);
  else
    ip.out.printf_markup("{txt}%12s {c |} {res}%9.0f\n", v.name.c_str(), n);
  return 0;
}

rc_t serset_drop(Interp& ip) {
  std::vector<long long> nums;
  if (rc_t rc = read_numbers(ip, ip.reader.rest(), &nums)) return rc;
  SersetStore& store = graphics::graph_state(ip).sersets;
  if (nums.empty()) {
    if (!store.in_use()) return no_serset(ip);
    nums.push_back(store.in_use_id());
  }
  // Every identifier is checked before any serset goes.
  for (long long id : nums) {
    if (id < 1 || id > 2147483647LL) return series_message(ip, "out of range", id, 125);
    if (!store.find(static_cast<int>(id))) return series_message(ip, "not found", id, 111);
  }
  for (long long id : nums) store.drop(static_cast<int>(id));
  return 0;
}

rc_t serset_reset_id(Interp& ip) {
  std::vector<long long> nums;
  if (rc_t rc = read_numbers(ip, ip.reader.rest(), &nums)) return rc;
  if (nums.size() > 1) return msg_invalid(ip, "syntax");
  SersetStore& store = graphics::graph_state(ip).sersets;
  if (nums.empty()) {
    store.set_next_id(store.highest_id() + 1);
    return 0;
  }
  long long id = nums[0];
  if (id < 1 || id > 2147483647LL) return series_message(ip, "out of range", id, 125);
  if (id <= store.highest_id()) return series_message(ip, "in use", store.highest_id(), 110);
  store.set_next_id(static_cast<int>(id));
  return 0;
}

std::string shown_value(const SersetVar& v, size_t i) {
  if (v.is_string) return v.str[i];
  std::string t = data::format_number(v.format.empty() ? "%9.0g" : v.format, v.num[i]);
  size_t b = t.find_first_not_of(' ');
  return b == std::string::npos ? t : t.substr(b);
}

rc_t serset_dump(Interp& ip) {
  if (!trim_blanks(ip.reader.rest()).empty()) return msg_invalid(ip, "syntax");
  Serset* s = graphics::graph_state(ip).sersets.in_use();
  if (!s) return no_serset(ip);
  ip.out.set_class(output::OutClass::Text);
  ip.out.printf_markup("{txt}serset %d: %lld observation%s on %zu variable%s\n", s->id,
                       static_cast<long long>(s->nobs), s->nobs == 1 ? "" : "s", s->vars.size(),
                       s->vars.size() == 1 ? "" : "s");
  for (size_t j = 0; j < s->vars.size(); ++j) {
    const SersetVar& v = s->vars[j];
    ip.out.printf_markup("{txt}  %zu. ", j + 1);
    ip.out.print_plain(v.name);
    ip.out.printf_markup(" %s %s\n", v.is_string ? "string" : "numeric", v.format.c_str());
  }
  for (std::int64_t i = 0; i < s->nobs; ++i) {
    if (i % 256 == 255 && ip.poll_break()) return 1;
    ip.out.printf_markup("{txt}%6lld:{res}", static_cast<long long>(i + 1));
    for (const SersetVar& v : s->vars) {
      ip.out.print_markup(" ");
      ip.out.print_plain(shown_value(v, static_cast<size_t>(i)));
    }
    ip.out.print_markup("\n");
  }
  return 0;
}

}  // namespace

rc_t cmd_serset(Interp& ip) {
  std::string word(ip.reader.peek());
  graphics::GraphState& gs = graphics::graph_state(ip);
  if (word.empty()) {
    ip.r_results.clear();
    ip.r_results.scalars["id"] = gs.sersets.in_use_id();
    ip.out.set_class(output::OutClass::Text);
    if (gs.sersets.in_use_id())
      ip.out.printf_markup("{txt}serset %d in use\n", gs.sersets.in_use_id());
    else
      ip.out.print_markup("{txt}no serset in use\n");
    return 0;
  }
  ip.reader.next();
  long long id;
  if (whole_number(word, &id)) return serset_set(ip, word);
  if (word == "create_xmedians") return serset_xmedians(ip);
  if (word == "create_cspline") return serset_cspline(ip);
  if (abbreviates(word, "create", 2)) return serset_create(ip);
  if (word == "set") {
    std::string arg(ip.reader.next());
    return serset_set(ip, arg);
  }
  if (word == "use") return serset_use(ip);
  if (word == "dir") return serset_dir(ip);
  if (word == "sort") return serset_sort(ip);
  if (abbreviates(word, "summarize", 2)) return serset_summarize(ip);
  if (word == "drop") return serset_drop(ip);
  if (word == "clear") {
    if (!trim_blanks(ip.reader.rest()).empty()) return msg_invalid(ip, "syntax");
    gs.sersets.clear();
    return 0;
  }
  if (word == "discard") {
    if (!trim_blanks(ip.reader.rest()).empty()) return msg_invalid(ip, "syntax");
    std::vector<int> others;
    for (const auto& s : gs.sersets.all())
      if (s->id != gs.sersets.in_use_id()) others.push_back(s->id);
    for (int d : others) gs.sersets.drop(d);
    return 0;
  }
  if (word == "reset_id") return serset_reset_id(ip);
  if (word == "dump") return serset_dump(ip);
  return msg_quoting(ip.out, "serset subcommand ", word, " not recognized\n", 199);
}

}  // namespace nuvra
