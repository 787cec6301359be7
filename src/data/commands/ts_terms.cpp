// Operated varlist terms held as temporary variables.  See ts_terms.h.
#include "data/commands/ts_terms.h"

#include <algorithm>
#include <cstdio>

#include "data/expr/expr.h"
#include "data/expr/ts_varlist.h"
#include "interp/interp.h"
#include "interp/messages.h"
#include "data/names.h"
#include "interp/parse.h"

namespace nuvra::datacmd {

TsTemps::TsTemps(Interp& ip) : ip_(ip), was_changed_(ip.dataset.changed()) {}

TsTemps::~TsTemps() { drop(); }

void TsTemps::drop() {
  if (names_.empty()) return;
  std::vector<int> js;
  for (const std::string& n : names_)
    if (int j = ip_.dataset.find_exact(n)) js.push_back(j);
  if (!js.empty()) ip_.dataset.drop_variables(js);
  names_.clear();
  ip_.dataset.set_changed(was_changed_);
}

void TsTemps::keep_for_frame() {
  for (std::string& n : names_) ip_.temp_vars.back().push_back(std::move(n));
  names_.clear();
  ip_.dataset.set_changed(was_changed_);
}

namespace {

// A new double variable holding ops.var at every observation.
rc_t make_term(Interp& ip, const expr::TsVarTerm& t, std::vector<std::string>* made, int* out) {
  data::Dataset& ds = ip.dataset;
  std::string text = t.ops + "." + ds.name(t.var);
  expr::Program p;
  if (rc_t rc = expr::compile(ip, text, expr::Want::kNumeric, &p)) return rc;
  char buf[32];
  std::snprintf(buf, sizeof buf, "__%06u", ip.tempname_counter++);
  int j = 0;
  std::string msg;
  if (rc_t rc = ds.add_variable(buf, data::kDouble, &j, &msg)) {
    if (!msg.empty()) return msg_quoting(ip.out, "", msg, "\n", rc);
    return rc_message(ip, rc);
  }
  made->emplace_back(buf);
  ds.set_format(j, ds.format(t.var));
  expr::EvalContext cx;
  expr::bind(ip, p, &cx);
  const std::int64_t n = ds.nobs();
  expr::set_window(&cx, 1, n, 1, n);
  for (std::int64_t o = 1; o <= n; ++o) ds.store(j, o, expr::eval_number(cx, o));
  *out = j;
  return 0;
}

}  // namespace

rc_t ts_varlist(Interp& ip, std::string_view text, std::vector<int>* vars, std::vector<std::string>* names,
                TsTemps* temps) {
  std::vector<expr::TsVarTerm> terms;
  data::VarlistFailure fail;
  if (expr::read_ts_varlist(ip.dataset, text, &terms, &fail)) return msg_quoting(ip.out, "", fail.message, "\n", fail.rc);
  std::vector<std::string> shown;
  for (const auto& t : terms) shown.push_back(expr::ts_term_name(t.ops, ip.dataset.name(t.var)));
  std::vector<int> got;
  for (const auto& t : terms) {
    if (t.ops.empty()) {
      got.push_back(t.var);
      continue;
    }
    int j = 0;
    rc_t rc = make_term(ip, t, &temps->names_, &j);
    if (rc) {
      temps->drop();
      return rc;
    }
    got.push_back(j);
  }
  *vars = std::move(got);
  if (names) *names = std::move(shown);
  return 0;
}

rc_t ts_varlist_or_all(Interp& ip, std::string_view text, std::vector<int>* vars, std::vector<std::string>* names,
                       TsTemps* temps) {
  if (text.find_first_not_of(" \t") == std::string_view::npos) {
    vars->clear();
    if (names) names->clear();
    for (int j = 1; j <= ip.dataset.nvar(); ++j) {
      vars->push_back(j);
      if (names) names->push_back(ip.dataset.name(j));
    }
    return 0;
  }
  return ts_varlist(ip, text, vars, names, temps);
}

}  // namespace nuvra::datacmd

namespace nuvra {

// tsrevar varlist [, substitute list]: r(varlist) names, in order, each
// plain variable and, for each operated term, a temporary variable that
// holds it until the calling program ends; with list, the variables the
// terms are made from, each once.
rc_t cmd_tsrevar(Interp& ip) {
  ParseSettings st{.varlist = true, .allow_by = false};
  CommandLine cl;
  if (rc_t rc = standard_parse(ip, st, &cl)) return rc;
  const bool list = cl.flag("list", 1, 0) == 1;
  const bool substitute = cl.flag("substitute", 3, 0) == 1;
  if (rc_t rc = cl.leftover(ip)) return rc;
  if (list && substitute)
    return msg_quoting(ip.out, "options substitute and list may not be combined", "", "\n", 198);
  if (trim(cl.varlist_text).empty()) return msg_required(ip, "varlist");
  std::string out;
  if (list) {
    std::vector<expr::TsVarTerm> terms;
    data::VarlistFailure fail;
    if (expr::read_ts_varlist(ip.dataset, cl.varlist_text, &terms, &fail))
      return msg_quoting(ip.out, "", fail.message, "\n", fail.rc);
    std::vector<int> seen;
    for (const auto& t : terms) {
      if (std::find(seen.begin(), seen.end(), t.var) != seen.end()) continue;
      seen.push_back(t.var);
      if (!out.empty()) out += ' ';
      out += ip.dataset.name(t.var);
    }
  } else {
    datacmd::TsTemps temps(ip);
    std::vector<int> vars;
    if (rc_t rc = datacmd::ts_varlist(ip, cl.varlist_text, &vars, nullptr, &temps)) return rc;
    for (int j : vars) {
      if (!out.empty()) out += ' ';
      out += ip.dataset.name(j);
    }
    temps.keep_for_frame();
  }
  ip.r_results.clear();
  ip.r_results.macros["varlist"] = out;
  return 0;
}

}  // namespace nuvra
