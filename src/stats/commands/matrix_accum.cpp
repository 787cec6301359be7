// Matrices from the data: matrix accum (X'X), matrix vecaccum (y'X),
// matrix score (Xb into a new variable), and _rmcoll, which sweeps X'X to
// find the variables that are collinear with those before them.
#include <algorithm>
#include <cmath>
#include <new>

#include "data/commands/commands.h"
#include "data/commands/ts_terms.h"
#include "data/expr/expr.h"
#include "data/expr/sample.h"
#include "data/missing.h"
#include "data/varlist.h"
#include "interp/builtins.h"
#include "interp/interp.h"
#include "interp/messages.h"
#include "data/names.h"
#include "interp/parse.h"
#include "stats/crossprod.h"
#include "stats/matexpr.h"
#include "stats/commands/matrix_command.h"
#include "stats/sweep.h"

namespace nuvra {

namespace stats {

namespace {

// The observations a cross-product pass uses, with their weights.
struct Sample {
  std::vector<std::int64_t> obs;
  std::vector<double> w;  // empty without weights
  double n = 0;           // r(N)
};

// Reads "name =" and runs the standard parse over the rest (a varlist,
// if, in, weights, options).
rc_t parse_assignment(Interp& ip, std::string_view rest, std::string* name, const ParseSettings& st,
                      CommandLine* cl) {
  std::string_view n = cut_name(rest);
  if (!valid_matrix_name(n)) {
    if (n.empty()) return msg_invalid(ip, "syntax");
    return msg_quoting(ip.out, "", n, " invalid name\n", 198);
  }
  if (rest.empty() || rest.front() != '=') return msg_invalid(ip, "syntax");
  *name = std::string(n);
  rest.remove_prefix(1);
  ip.reader.set_pos(static_cast<size_t>(rest.data() - ip.cmdbuf.data()));
  return standard_parse(ip, st, cl);
}

// The message routine answers 2000 with 0; these commands fail with it.
rc_t no_observations(Interp& ip) {
  rc_message(ip, 2000);
  return 2000;
}

rc_t numeric_varlist(Interp& ip, std::string_view text, std::vector<int>* vars) {
  if (rc_t rc = datacmd::varlist_required(ip, text, vars)) return rc;
  for (int j : *vars)
    if (ip.dataset.is_string(j)) return rc_message(ip, 109);
  return 0;
}

// The sample: in range, `if` true, every variable and the weight present.
rc_t mark(Interp& ip, const CommandLine& cl, const std::vector<int>& vars, Sample* s) {
  std::vector<char> touse;
  if (rc_t rc = expr::mark_sample(ip, cl, &touse)) return rc;
  expr::Program wp;
  expr::EvalContext wcx;
  bool weighted = cl.has_weight;
  if (weighted) {
    if (rc_t rc = expr::compile(ip, cl.weight_text, expr::Want::kNumeric, &wp)) return rc;
    expr::bind(ip, wp, &wcx);
  }
  const data::Dataset& ds = ip.dataset;
  double wsum = 0;
  for (std::int64_t i = 1; i <= ds.nobs(); ++i) {
    if (!touse[static_cast<size_t>(i - 1)]) continue;
    bool ok = true;
    for (int j : vars)
      if (data::is_missing(ds.fetch(j, i))) {
        ok = false;
        break;
      }
    if (!ok) continue;
    double w = 1;
    if (weighted) {
      w = expr::eval_number(wcx, i);
      if (data::is_missing(w)) continue;
      if (w < 0) return msg_quoting(ip.out, "negative weights encountered\n", "", "", 402);
      if (cl.weight_type == kFweight && w != std::floor(w))
        return msg_quoting(ip.out, "may not use noninteger frequency weights\n", "", "", 401);
      if (w == 0) continue;
      s->w.push_back(w);
      wsum += w;
    }
    s->obs.push_back(i);
  }
  double count = static_cast<double>(s->obs.size());
  s->n = count;
  if (weighted && cl.weight_type == kAweight && wsum > 0)
    for (double& w : s->w) w *= count / wsum;  // analytic weights sum to N
  if (weighted && (cl.weight_type == kFweight || cl.weight_type == kIweight)) s->n = wsum;
  return 0;
}

// X'X over the sample of the variables, a constant column appended when
// asked; each variable centred at `centre` when given.
rc_t accumulate(Interp& ip, const Sample& s, const std::vector<int>& vars, bool constant,
                const std::vector<double>* centre, CrossProducts* out) {
  const int p = out->size();
  const int nv = static_cast<int>(vars.size());
  constexpr int kRows = 256;
  std::vector<double> block(static_cast<size_t>(kRows) * p);
  const data::Dataset& ds = ip.dataset;
  size_t total = s.obs.size();
  for (size_t start = 0; start < total; start += kRows) {
    if (ip.poll_break()) return 1;
    int n = static_cast<int>(std::min<size_t>(kRows, total - start));
    for (int r = 0; r < n; ++r) {
      double* row = &block[static_cast<size_t>(r) * p];
      std::int64_t i = s.obs[start + r];
      for (int k = 0; k < nv; ++k) row[k] = ds.fetch(vars[k], i) - (centre ? (*centre)[k] : 0.0);
      if (constant) row[nv] = 1;
    }
    out->add_block(block.data(), s.w.empty() ? nullptr : s.w.data() + start, n);
  }
  return 0;
}

std::vector<double> means_of(Interp& ip, const Sample& s, const std::vector<int>& vars) {
  CrossProducts lin(static_cast<int>(vars.size()));
  accumulate(ip, s, vars, false, nullptr, &lin);
  std::vector<double> m(vars.size(), 0.0);
  double sw = lin.weight_sum();
  for (size_t k = 0; k < vars.size(); ++k) m[k] = sw > 0 ? lin.sum(static_cast<int>(k)) / sw : data::kMissing;
  return m;
}

// What accum and vecaccum share: "name = varlist [if] [in] [weight]" and
// the option noconstant.
rc_t parse_accumulation(Interp& ip, std::string_view rest, std::string* name, CommandLine* cl, bool* constant) {
  ParseSettings st{.varlist = true, .allow_if = true, .allow_in = true,
                   .weights = kAweight | kFweight | kIweight};
  if (rc_t rc = parse_assignment(ip, rest, name, st, cl)) return rc;
  *constant = cl->flag("constant", 4, 1) != 0;
  return 0;
}

}  // namespace

// matrix accum A = varlist [if] [in] [weight] [, noconstant deviations means(M)]
rc_t matrix_accum(Interp& ip, std::string_view rest) {
  CommandLine cl;
  std::string name;
  bool constant;
  if (rc_t rc = parse_accumulation(ip, rest, &name, &cl, &constant)) return rc;
  bool deviations = cl.flag("deviations", 3, 0) == 1;
  std::string means_name;
  bool want_means = cl.string("means", 1, &means_name, 32, 1);
  if (rc_t rc = cl.leftover(ip)) return rc;
  if (want_means && !valid_matrix_name(means_name)) return msg_quoting(ip.out, "", means_name, " invalid name\n", 198);
  std::vector<int> vars;
  if (rc_t rc = numeric_varlist(ip, cl.varlist_text, &vars)) return rc;
  int p = static_cast<int>(vars.size()) + (constant ? 1 : 0);
  if (p > ip.matsize) return rc_message(ip, 908);
  Sample s;
  if (rc_t rc = mark(ip, cl, vars, &s)) return rc;
  if (s.obs.empty()) return no_observations(ip);
  std::vector<double> mu = means_of(ip, s, vars);
  CrossProducts xx(p);
  if (rc_t rc = accumulate(ip, s, vars, constant, deviations ? &mu : nullptr, &xx)) return rc;
  Matrix m = Matrix::make(p, p);
  for (int i = 0; i < p; ++i)
    for (int j = 0; j < p; ++j) m.at(i, j) = xx.at(i, j);
  for (size_t k = 0; k < vars.size(); ++k) m.rownames[k] = m.colnames[k] = ip.dataset.name(vars[k]);
  if (constant) m.rownames[p - 1] = m.colnames[p - 1] = "_cons";
  if (want_means) {
    Matrix mm = Matrix::make(1, p);
    for (size_t k = 0; k < vars.size(); ++k) mm.at(0, static_cast<int>(k)) = mu[k];
    if (constant) mm.at(0, p - 1) = 1;
    mm.colnames = m.colnames;
    mm.rownames[0] = "mean";
    ip.matrices[means_name] = std::move(mm);
  }
  ip.matrices[name] = std::move(m);
  ip.r_results.clear();
  ip.r_results.scalars["N"] = s.n;
  ip.out.set_class(output::OutClass::Text);
  ip.out.printf_markup("(obs=%s)\n", datacmd::with_commas(static_cast<long long>(s.n)).c_str());
  return 0;
}

// matrix vecaccum a = y xvars [if] [in] [weight] [, noconstant]
rc_t matrix_vecaccum(Interp& ip, std::string_view rest) {
  CommandLine cl;
  std::string name;
  bool constant;
  if (rc_t rc = parse_accumulation(ip, rest, &name, &cl, &constant)) return rc;
  if (rc_t rc = cl.leftover(ip)) return rc;
  std::vector<int> vars;
  if (rc_t rc = numeric_varlist(ip, cl.varlist_text, &vars)) return rc;
  int k = static_cast<int>(vars.size()) - 1 + (constant ? 1 : 0);
  if (k < 1) return msg_invalid(ip, "syntax");
  if (k > ip.matsize) return rc_message(ip, 908);
  Sample s;
  if (rc_t rc = mark(ip, cl, vars, &s)) return rc;
  if (s.obs.empty()) return no_observations(ip);
  CrossProducts xy(k + 1);
  if (rc_t rc = accumulate(ip, s, vars, constant, nullptr, &xy)) return rc;
  Matrix m = Matrix::make(1, k);
  for (int j = 0; j < k; ++j) m.at(0, j) = xy.at(0, j + 1);
  for (size_t v = 1; v < vars.size(); ++v) m.colnames[v - 1] = ip.dataset.name(vars[v]);
  if (constant) m.colnames[k - 1] = "_cons";
  m.rownames[0] = ip.dataset.name(vars[0]);
  ip.matrices[name] = std::move(m);
  ip.r_results.clear();
  ip.r_results.scalars["N"] = s.n;
  return 0;
}

// matrix score [type] newvar = b [if] [in] [, equation(eq) replace missval(#)]
rc_t matrix_score(Interp& ip, std::string_view rest) {
  rest = trim(rest);
  int type = default_numeric_type(ip);
  {
    std::string_view probe = rest;
    std::string_view w = cut_name(probe);
    int t = 0;
    if (w == "byte") t = data::kByte;
    if (w == "int") t = data::kInt;
    if (w == "long") t = data::kLong;
    if (w == "float") t = data::kFloat;
    if (w == "double") t = data::kDouble;
    if (t && !probe.empty() && probe.front() != '=') {
      type = t;
      rest = probe;
    }
  }
  std::string_view vname = cut_name(rest);
  if (vname.empty() || rest.empty() || rest.front() != '=') return msg_invalid(ip, "syntax");
  rest.remove_prefix(1);
  std::string_view bname = cut_name(rest);
  const Matrix* found = lookup_matrix(ip, bname);
  if (!found) return msg_quoting(ip.out, "matrix ", bname, " not found\n", 111);
  Matrix b = *found;
  ip.reader.set_pos(static_cast<size_t>(rest.data() - ip.cmdbuf.data()));
  ParseSettings st{.allow_if = true, .allow_in = true};
  CommandLine cl;
  if (rc_t rc = standard_parse(ip, st, &cl)) return rc;
  bool replace = cl.flag("replace", 7, 0) == 1;
  std::string eq;
  bool want_eq = cl.string("equation", 2, &eq, 64, 1);
  double missval[1] = {0};
  bool has_missval = cl.number_list("missval", 4, missval, 1) == 1;
  if (rc_t rc = cl.leftover(ip)) return rc;
  if (b.rows != 1) return rc_message(ip, 503);
  if (want_eq && !eq.empty() && eq[0] == '#') {
    // #k: the k-th equation in order of appearance.
    int want = std::atoi(eq.c_str() + 1), seen = 0;
    std::string last = "\x01";
    for (int j = 0; j < b.cols; ++j)
      if (b.coleq[j] != last) {
        last = b.coleq[j];
        if (++seen == want) {
          eq = last;
          break;
        }
      }
  } else if (!want_eq && b.any_equation_cols()) {
    eq = b.coleq[0];
  }
  // The terms: one variable (or the constant) and coefficient per column
  // of the chosen equation.
  // A column named with a time-series operator ("L.x" after a regression
  // on lags) is scored from the operated values, held in a temporary.
  std::vector<int> vars;
  std::vector<double> coef;
  double cons = 0;
  datacmd::TsTemps temps(ip);
  for (int j = 0; j < b.cols; ++j) {
    if (b.coleq[j] != eq) continue;
    if (b.colnames[j] == "_cons") {
      cons += b.at(0, j);
      continue;
    }
    int v = ip.dataset.find_exact(b.colnames[j]);
    if (v == 0 && b.colnames[j].find('.') != std::string::npos) {
      std::vector<int> operated;
      std::vector<std::string> shown;
      if (rc_t rc = datacmd::ts_varlist(ip, b.colnames[j], &operated, &shown, &temps)) return rc;
      if (operated.size() == 1) v = operated[0];
    }
    if (v == 0) return msg_quoting(ip.out, "variable ", b.colnames[j], " not found\n", 111);
    if (ip.dataset.is_string(v)) return rc_message(ip, 109);
    vars.push_back(v);
    coef.push_back(b.at(0, j));
  }
  std::vector<char> touse;
  if (rc_t rc = expr::mark_sample(ip, cl, &touse)) return rc;
  int target = ip.dataset.find_exact(vname);
  if (replace) {
    if (target == 0) return msg_quoting(ip.out, "variable ", vname, " not found\n", 111);
  } else {
    std::string msg;
    if (rc_t rc = ip.dataset.check_new_name(vname, &msg)) return msg_quoting(ip.out, "", msg, "\n", rc);
  }
  std::int64_t nobs = ip.dataset.nobs();
  std::vector<double> value(static_cast<size_t>(nobs), data::kMissing);
  std::int64_t missing = 0;
  for (std::int64_t i = 1; i <= nobs; ++i) {
    if (!touse[static_cast<size_t>(i - 1)]) {
      ++missing;
      continue;
    }
    double s = cons;
    bool bad = false;
    for (size_t k = 0; k < vars.size() && !bad; ++k) {
      double x = ip.dataset.fetch(vars[k], i);
      if (data::is_missing(x)) {
        if (has_missval)
          x = missval[0];
        else
          bad = true;
      }
      s += coef[k] * x;
    }
    value[static_cast<size_t>(i - 1)] = bad ? data::kMissing : expr::finish_value(s);
    if (bad) ++missing;
  }
  temps.drop();
  if (!replace) {
    std::string msg;
    if (rc_t rc = ip.dataset.add_variable(vname, type, &target, &msg)) {
      if (msg.empty()) return rc_message(ip, rc);
      return msg_quoting(ip.out, "", msg, "\n", rc);
    }
  }
  for (std::int64_t i = 1; i <= nobs; ++i)
    if (replace ? touse[static_cast<size_t>(i - 1)] != 0 : true) ip.dataset.store(target, i, value[static_cast<size_t>(i - 1)]);
  datacmd::mark_changed(ip);
  if (missing > 0 && !replace) {
    ip.out.set_class(output::OutClass::Text);
    ip.out.printf_markup("(%s missing value%s generated)\n", datacmd::with_commas(missing).c_str(),
                         missing == 1 ? "" : "s");
  }
  return 0;
}

}  // namespace stats

// _rmcoll varlist [if] [in] [weight] [, noconstant]
//
// The constant (when there is one) comes first and the variables follow in
// the order given, and the sweep runs in index order, so that of a set of
// collinear variables the later ones are the ones dropped.
rc_t cmd_rmcoll(Interp& ip) {
  ParseSettings st{.varlist = true, .allow_if = true, .allow_in = true,
                   .weights = kAweight | kFweight | kIweight | kPweight};
  CommandLine cl;
  if (rc_t rc = standard_parse(ip, st, &cl)) return rc;
  bool constant = cl.flag("constant", 4, 1) != 0;
  if (rc_t rc = cl.leftover(ip)) return rc;
  std::vector<int> vars;
  if (rc_t rc = stats::numeric_varlist(ip, cl.varlist_text, &vars)) return rc;
  int nv = static_cast<int>(vars.size());
  int p = nv + (constant ? 1 : 0);
  if (p > ip.matsize) return rc_message(ip, 908);
  stats::Sample s;
  if (rc_t rc = stats::mark(ip, cl, vars, &s)) return rc;
  if (s.obs.empty()) return stats::no_observations(ip);
  // Columns: the constant first, then the variables.
  stats::CrossProducts xx(p);
  {
    // accumulate() appends the constant last; reorder when copying.
    if (rc_t rc = stats::accumulate(ip, s, vars, constant, nullptr, &xx)) return rc;
  }
  std::vector<int> order_map(static_cast<size_t>(p));
  for (int k = 0; k < p; ++k) order_map[k] = constant ? (k == 0 ? nv : k - 1) : k;
  int stride = 0;
  std::vector<double> work;
  auto at = [&xx, &order_map](int i, int j) { return xx.at(order_map[i], order_map[j]); };
  if (rc_t rc = stats::sweep_work(ip, p, at, &work, &stride)) return rc;
  stats::SweepOptions opt = stats::sweep_options(ip);
  opt.select_pivots = false;
  std::vector<std::uint8_t> status;
  if (rc_t rc = stats::sweep_invert(work.data(), stride, 0, p, nullptr, -1, &status, opt))
    return rc == 909 ? rc_message(ip, 909) : rc;
  std::string kept;
  int dropped = 0;
  for (int k = constant ? 1 : 0; k < p; ++k) {
    const std::string& name = ip.dataset.name(vars[order_map[k]]);
    if (status[k] == stats::kDropped) {
      ++dropped;
      ip.out.set_class(output::OutClass::Text);
      ip.out.print_markup("note: ");
      ip.out.print_plain(name);
      ip.out.print_markup(" dropped because of collinearity\n");
      continue;
    }
    if (!kept.empty()) kept += ' ';
    kept += name;
  }
  // Nothing left to fit: a caller must not go on with an empty list.
  if (dropped > 0 && dropped == nv) return msg_quoting(ip.out, "collinear variables specified\n", "", "", 459);
  ip.r_results.clear();
  ip.r_results.macros["varlist"] = kept;
  ip.r_results.scalars["k_omitted"] = dropped;
  return 0;
}

}  // namespace nuvra
