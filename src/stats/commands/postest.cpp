// Post-estimation: posting a coefficient vector and its variance as the
// current estimation results (`ereturn post`, `ereturn repost`), showing
// them (`ereturn display`), Wald tests of linear hypotheses (`test`),
// linear combinations of coefficients (`lincom`), and keeping results
// under names (`estimates`).
//
// test and lincom read their hypotheses as linear expressions in the
// coefficients: every value is a vector of weights on the columns of e(b)
// plus a constant, so "2*x1 + x2 = 1" becomes the row (2, 1, 0) and the
// right-hand side 1.  A product of two terms that both hold coefficients
// is not linear and is refused.
#include "stats/commands/postest.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "data/commands/commands.h"
#include "data/format.h"
#include "data/functions/distributions.h"
#include "data/missing.h"
#include "interp/builtins.h"
#include "interp/interp.h"
#include "interp/messages.h"
#include "data/names.h"
#include "interp/parse.h"
#include "interp/programs.h"
#include "stats/coef_table.h"
#include "stats/matrix.h"
#include "stats/sweep.h"

namespace nuvra {

namespace {

using data::is_missing;
using data::kMissing;
using stats::Matrix;

std::string fmtnum(const char* f, double v) { return data::format_shown(f, v); }

std::string trimmed(std::string s) {
  size_t a = s.find_first_not_of(' ');
  if (a == std::string::npos) return std::string();
  size_t b = s.find_last_not_of(' ');
  return s.substr(a, b - a + 1);
}

// A number as the constraint lines show it: "%10.0g" without its padding.
std::string short_number(double v) { return trimmed(fmtnum("%10.0g", v)); }

const Matrix* e_matrix(const Interp& ip, const char* name) {
  auto it = ip.e_results.matrices.find(name);
  return it == ip.e_results.matrices.end() ? nullptr : &it->second;
}

// e(df_r), or missing when the results carry none (normal statistics).
double e_df_r(const Interp& ip) {
  auto it = ip.e_results.scalars.find("df_r");
  return it == ip.e_results.scalars.end() ? kMissing : it->second;
}

std::string e_macro(const Interp& ip, const char* name) {
  auto it = ip.e_results.macros.find(name);
  return it == ip.e_results.macros.end() ? std::string() : it->second;
}

bool have_estimates(const Interp& ip) { return !ip.e_results.empty(); }

rc_t read_level(Interp& ip, CommandLine& cl, double* level) {
  *level = ip.level;
  double lv[1];
  if (cl.number_list("level", 1, lv, 1) == 1) {
    if (lv[0] < 10 || lv[0] > 99.99)
      return msg_quoting(ip.out, "level() must be between 10 and 99.99 inclusive\n", "", "", 198);
    *level = lv[0];
  }
  return 0;
}

// ---- linear expressions in the coefficients

struct Linear {
  std::vector<double> w;  // one weight per column of e(b)
  double k = 0;           // constant
  bool has_coef() const {
    return std::any_of(w.begin(), w.end(), [](double x) { return x != 0; });
  }
};

class LinearParser {
 public:
  LinearParser(Interp& ip, const Matrix& b, std::string_view s) : ip_(ip), b_(b), s_(s) {}

  // Reads one expression from the current position.
  rc_t expression(Linear* out) {
    if (rc_t rc = term(out)) return rc;
    for (;;) {
      skip();
      if (pos_ >= s_.size() || (s_[pos_] != '+' && s_[pos_] != '-')) return 0;
      double sign = s_[pos_] == '+' ? 1 : -1;
      ++pos_;
      Linear t;
      if (rc_t rc = term(&t)) return rc;
      for (size_t j = 0; j < out->w.size(); ++j) out->w[j] += sign * t.w[j];
      out->k += sign * t.k;
    }
  }
  // True when the next character (after blanks) is `c`; consumes it.
  bool accept(char c) {
    skip();
    if (pos_ < s_.size() && s_[pos_] == c) {
      ++pos_;
      return true;
    }
    return false;
  }
  bool at_end() {
    skip();
    return pos_ >= s_.size();
  }

 private:
  void skip() {
    while (pos_ < s_.size() && s_[pos_] == ' ') ++pos_;
  }
  Linear zero() const {
    Linear l;
    l.w.assign(static_cast<size_t>(b_.cols), 0.0);
    return l;
  }
  rc_t syntax() { return msg_invalid(ip_, "syntax"); }
  rc_t nonlinear() { return rc_message(ip_, 131); }

  rc_t term(Linear* out) {
    if (rc_t rc = factor(out)) return rc;
    for (;;) {
      skip();
      if (pos_ >= s_.size() || (s_[pos_] != '*' && s_[pos_] != '/')) return 0;
      char op = s_[pos_++];
      Linear f;
      if (rc_t rc = factor(&f)) return rc;
      if (op == '*') {
        if (out->has_coef() && f.has_coef()) return nonlinear();
        Linear r = zero();
        for (size_t j = 0; j < r.w.size(); ++j) r.w[j] = out->w[j] * f.k + f.w[j] * out->k;
        r.k = out->k * f.k;
        *out = std::move(r);
      } else {
        if (f.has_coef()) return nonlinear();
        if (f.k == 0) return msg_quoting(ip_.out, "division by zero\n", "", "", 198);
        for (double& x : out->w) x /= f.k;
        out->k /= f.k;
      }
    }
  }

  rc_t factor(Linear* out) {
    skip();
    *out = zero();
    if (pos_ >= s_.size()) return syntax();
    char c = s_[pos_];
    if (c == '-' || c == '+') {
      ++pos_;
      if (rc_t rc = factor(out)) return rc;
      if (c == '-') {
        for (double& x : out->w) x = -x;
        out->k = -out->k;
      }
      return 0;
    }
    if (c == '(') {
      ++pos_;
      if (rc_t rc = expression(out)) return rc;
      if (!accept(')')) return syntax();
      return 0;
    }
    if (std::isdigit(static_cast<unsigned char>(c)) ||
        (c == '.' && pos_ + 1 < s_.size() && std::isdigit(static_cast<unsigned char>(s_[pos_ + 1])))) {
      std::string num(s_.substr(pos_));
      char* end = nullptr;
      double v = std::strtod(num.c_str(), &end);
      pos_ += static_cast<size_t>(end - num.c_str());
      out->k = v;
      return 0;
    }
    if (std::isalpha(static_cast<unsigned char>(c)) || c == '_') {
      size_t a = pos_;
      while (pos_ < s_.size() && (std::isalnum(static_cast<unsigned char>(s_[pos_])) || s_[pos_] == '_')) ++pos_;
      std::string name(s_.substr(a, pos_ - a));
      // _b[name] and _coef[name] name a coefficient explicitly.
      if ((name == "_b" || name == "_coef") && pos_ < s_.size() && s_[pos_] == '[') {
        size_t close = s_.find(']', pos_);
        if (close == std::string_view::npos) return syntax();
        name = trimmed(std::string(s_.substr(pos_ + 1, close - pos_ - 1)));
        pos_ = close + 1;
        return coefficient(name, out);
      }
      if (stats::find_col(b_, name) < 0) {
        // A named scalar stands for its value.
        auto sc = ip_.scalars.find(name);
        if (sc != ip_.scalars.end() && !sc->second.is_string) {
          out->k = sc->second.num;
          return 0;
        }
      }
      return coefficient(name, out);
    }
    return syntax();
  }

  rc_t coefficient(const std::string& name, Linear* out) {
    int j = stats::find_col(b_, name);
    if (j < 0) return msg_quoting(ip_.out, "", name, " not found\n", 111);
    out->w[static_cast<size_t>(j)] = 1;
    return 0;
  }

  Interp& ip_;
  const Matrix& b_;
  std::string_view s_;
  size_t pos_ = 0;
};

// "x1 + 2*x2 - x3 = 1": the weights in the order of e(b), then the
// right-hand side.
std::string constraint_text(const Matrix& b, const std::vector<double>& w, double rhs) {
  std::string s;
  for (int j = 0; j < b.cols; ++j) {
    double c = w[static_cast<size_t>(j)];
    if (c == 0) continue;
    double a = std::fabs(c);
    std::string term = a == 1 ? b.col_label(j) : short_number(a) + "*" + b.col_label(j);
    if (s.empty())
      s = c < 0 ? "-" + term : term;
    else
      s += (c < 0 ? " - " : " + ") + term;
  }
  if (s.empty()) s = "0";
  return s + " = " + short_number(rhs);
}

// Everything the Wald statistic needs of the current results.
struct Posted {
  const Matrix* b = nullptr;
  const Matrix* V = nullptr;
};

rc_t need_b_V(Interp& ip, Posted* p) {
  p->b = e_matrix(ip, "b");
  p->V = e_matrix(ip, "V");
  if (!p->b || !p->V || p->b->rows != 1 || p->V->rows != p->b->cols || p->V->cols != p->b->cols)
    return rc_message(ip, 301);
  return 0;
}

// ---- test

// Reads "exp = exp [= exp ...] [exp = exp ...]" or, without any "=", a
// list of expressions each set to 0.  Appends rows (weights, rhs).
rc_t read_constraints(Interp& ip, const Matrix& b, std::string_view text, std::vector<Linear>* rows) {
  LinearParser p(ip, b, text);
  while (!p.at_end()) {
    Linear lhs;
    if (rc_t rc = p.expression(&lhs)) return rc;
    if (!p.accept('=')) {
      rows->push_back(std::move(lhs));
      continue;
    }
    do {
      Linear rhs;
      if (rc_t rc = p.expression(&rhs)) return rc;
      Linear row = lhs;
      for (size_t j = 0; j < row.w.size(); ++j) row.w[j] -= rhs.w[j];
      // The constant moves to the right-hand side: rhs.k - lhs.k.
      row.k = lhs.k - rhs.k;
      rows->push_back(std::move(row));
    } while (p.accept('='));
  }
  return 0;
}

// The top-level parenthesized groups of `text`, or false when it is not a
// sequence of groups.
bool split_groups(std::string_view text, std::vector<std::string_view>* groups) {
  size_t i = 0;
  while (i < text.size()) {
    if (text[i] == ' ') {
      ++i;
      continue;
    }
    if (text[i] != '(') return false;
    int depth = 0;
    size_t j = i;
    for (; j < text.size(); ++j) {
      if (text[j] == '(') ++depth;
      if (text[j] == ')' && --depth == 0) break;
    }
    if (j >= text.size()) return false;
    groups->push_back(text.substr(i + 1, j - i - 1));
    i = j + 1;
  }
  return !groups->empty();
}

void print_constraints(Interp& ip, const Matrix& b, const std::vector<Linear>& rows) {
  ip.out.set_class(output::OutClass::Text);
  ip.out.print_markup("\n");
  for (size_t i = 0; i < rows.size(); ++i) {
    ip.out.printf_markup("{txt} (%2d)  ", static_cast<int>(i + 1));
    // Labels are user text: shown as written, braces and all.
    ip.out.print_plain(constraint_text(b, rows[i].w, -rows[i].k));
    ip.out.print_markup("\n");
  }
}

}  // namespace

// test [varlist | exp = exp ... | (exp = exp) ...] [, accumulate notest]
rc_t cmd_test(Interp& ip) {
  std::string_view rest = ip.reader.rest();
  std::string_view before;
  CommandLine cl;
  if (rc_t rc = read_options(ip, rest, &before, &cl)) return rc;
  const bool accumulate = cl.flag("accumulate", 1, 0) == 1;
  const bool notest = cl.flag("test", 4, 1) == 0;
  if (rc_t rc = cl.leftover(ip)) return rc;
  std::string body = trimmed(std::string(before));

  Posted e;
  if (rc_t rc = need_b_V(ip, &e)) return rc;
  const Matrix& b = *e.b;
  const Matrix& V = *e.V;
  const int k = b.cols;

  // The earlier test's constraints, re-read against the current names.
  std::vector<Linear> rows;
  if (accumulate || body.empty()) {
    if (!ip.has_last_test) return rc_message(ip, 302);
    for (const TestConstraint& c : ip.last_test) {
      Linear l;
      l.w.assign(static_cast<size_t>(k), 0.0);
      for (const auto& [name, wt] : c.terms) {
        int j = stats::find_col(b, name);
        if (j < 0) return msg_quoting(ip.out, "", name, " not found\n", 111);
        l.w[static_cast<size_t>(j)] = wt;
      }
      l.k = -c.rhs;
      rows.push_back(std::move(l));
    }
  }
  if (!body.empty()) {
    std::vector<std::string_view> groups;
    if (body[0] == '(' && split_groups(body, &groups)) {
      for (std::string_view g : groups)
        if (rc_t rc = read_constraints(ip, b, g, &rows)) return rc;
    } else if (rc_t rc = read_constraints(ip, b, body, &rows)) {
      return rc;
    }
  }
  if (rows.empty()) return msg_invalid(ip, "syntax");

  // A constraint that is a combination of earlier ones adds nothing: the
  // rows are orthogonalized in order and a row with nothing left over is
  // dropped.
  const size_t q_all = rows.size();
  std::vector<std::vector<double>> basis;
  std::vector<int> kept, dropped;
  for (size_t i = 0; i < q_all; ++i) {
    std::vector<double> r = rows[i].w;
    double norm0 = 0;
    for (double x : r) norm0 += x * x;
    norm0 = std::sqrt(norm0);
    for (const auto& u : basis) {
      double d = 0;
      for (int j = 0; j < k; ++j) d += r[j] * u[j];
      for (int j = 0; j < k; ++j) r[j] -= d * u[j];
    }
    double norm = 0;
    for (double x : r) norm += x * x;
    norm = std::sqrt(norm);
    if (norm0 == 0 || norm <= 1e-12 * norm0) {
      dropped.push_back(static_cast<int>(i));
      continue;
    }
    for (double& x : r) x /= norm;
    basis.push_back(std::move(r));
    kept.push_back(static_cast<int>(i));
  }

  // Wald statistic over the kept rows: d = Rb - r, M = R V R'.  The sweep
  // drops constraints on which the variance says nothing (coefficients
  // that were dropped from the model).
  int q = static_cast<int>(kept.size());
  double W = kMissing;
  if (!notest && q > 0) {
    std::vector<double> d(static_cast<size_t>(q)), RV(static_cast<size_t>(q) * k);
    for (int a = 0; a < q; ++a) {
      const Linear& r = rows[static_cast<size_t>(kept[a])];
      double s = 0;
      for (int j = 0; j < k; ++j) s += r.w[j] * b.at(0, j);
      d[a] = s + r.k;
      for (int j = 0; j < k; ++j) {
        double t = 0;
        for (int l = 0; l < k; ++l) t += r.w[l] * V.at(l, j);
        RV[static_cast<size_t>(a) * k + j] = t;
      }
    }
    std::vector<double> M(static_cast<size_t>(q) * q);
    for (int a = 0; a < q; ++a)
      for (int c = 0; c < q; ++c) {
        double t = 0;
        const Linear& r = rows[static_cast<size_t>(kept[c])];
        for (int j = 0; j < k; ++j) t += RV[static_cast<size_t>(a) * k + j] * r.w[j];
        M[static_cast<size_t>(a) * q + c] = t;
      }
    bool finite = std::none_of(M.begin(), M.end(), [](double x) { return is_missing(x) || !std::isfinite(x); }) &&
                  std::none_of(d.begin(), d.end(), [](double x) { return is_missing(x); });
    if (finite) {
      std::vector<std::uint8_t> status;
      stats::SweepOptions so;
      if (rc_t rc = stats::sweep_invert(M.data(), q, 0, q, nullptr, -1, &status, so)) return rc_message(ip, rc);
      std::vector<int> still;
      for (int a = 0; a < q; ++a) {
        if (status[static_cast<size_t>(a)] == stats::kDropped)
          dropped.push_back(kept[a]);
        else
          still.push_back(a);
      }
      W = 0;
      for (int a : still)
        for (int c : still) W += d[a] * M[static_cast<size_t>(a) * q + c] * d[c];
      q = static_cast<int>(still.size());
      if (q == 0) W = kMissing;
    }
    std::sort(dropped.begin(), dropped.end());
  }

  // Everything read: keep the constraints for a later accumulate.
  ip.last_test.clear();
  for (const Linear& r : rows) {
    TestConstraint c;
    for (int j = 0; j < k; ++j)
      if (r.w[j] != 0) c.terms.emplace_back(b.colnames[j], r.w[j]);
    c.rhs = -r.k;
    ip.last_test.push_back(std::move(c));
  }
  ip.has_last_test = true;

  print_constraints(ip, b, rows);
  for (int i : dropped) ip.out.printf_markup("{txt}       Constraint %d dropped\n", i + 1);
  if (notest) return 0;

  const double df_r = e_df_r(ip);
  SavedResults r;
  ip.out.print_markup("\n");
  if (!is_missing(df_r)) {
    double F = is_missing(W) ? kMissing : W / q;
    double p = is_missing(F) || !(df_r > 0) ? kMissing : fn::Ftail(q, df_r, F);
    ip.out.printf_markup("{txt}       F(%3d,%6.0f) ={res}%8s\n", q, df_r, fmtnum("%8.2f", F).c_str());
    ip.out.printf_markup("{txt}%20s ={res}%10s\n", "Prob > F", fmtnum("%10.4f", p).c_str());
    r.scalars["F"] = F;
    r.scalars["df_r"] = df_r;
    r.scalars["p"] = p;
  } else {
    double p = is_missing(W) ? kMissing : fn::chi2tail(q, W);
    ip.out.printf_markup("{txt}           chi2(%3d) ={res}%8s\n", q, fmtnum("%8.2f", W).c_str());
    ip.out.printf_markup("{txt}%20s ={res}%10s\n", "Prob > chi2", fmtnum("%10.4f", p).c_str());
    r.scalars["chi2"] = W;
    r.scalars["p"] = p;
  }
  r.scalars["df"] = q;
  r.scalars["drop"] = dropped.empty() ? 0 : 1;
  for (size_t i = 0; i < dropped.size(); ++i)
    r.scalars["dropped_" + std::to_string(i + 1)] = dropped[i] + 1;
  ip.r_results = std::move(r);
  return 0;
}

// lincom exp [, level(#) eform]
rc_t cmd_lincom(Interp& ip) {
  std::string_view rest = ip.reader.rest();
  std::string_view before;
  CommandLine cl;
  if (rc_t rc = read_options(ip, rest, &before, &cl)) return rc;
  double level;
  if (rc_t rc = read_level(ip, cl, &level)) return rc;
  const bool eform = cl.flag("eform", 2, 0) == 1;
  if (rc_t rc = cl.leftover(ip)) return rc;
  std::string body = trimmed(std::string(before));

  Posted e;
  if (rc_t rc = need_b_V(ip, &e)) return rc;
  if (body.empty()) return msg_required(ip, "expression");
  const Matrix& b = *e.b;
  const Matrix& V = *e.V;
  const int k = b.cols;
  Linear l;
  LinearParser p(ip, b, body);
  if (rc_t rc = p.expression(&l)) return rc;
  if (!p.at_end()) return msg_invalid(ip, "syntax");

  double est = l.k, var = 0;
  for (int j = 0; j < k; ++j) {
    est += l.w[j] * b.at(0, j);
    for (int c = 0; c < k; ++c) var += l.w[j] * V.at(j, c) * l.w[c];
  }
  if (is_missing(est) || !std::isfinite(est)) est = kMissing;
  if (is_missing(var) || !std::isfinite(var) || var < 0) var = kMissing;
  double se = is_missing(var) ? kMissing : std::sqrt(var);

  std::vector<Linear> shown{l};
  print_constraints(ip, b, shown);
  ip.out.print_markup("\n");
  Matrix b1 = Matrix::make(1, 1, est), V1 = Matrix::make(1, 1, var);
  b1.colnames[0] = "(1)";
  V1.rownames[0] = V1.colnames[0] = "(1)";
  stats::CoefTableLook look;
  look.level = level;
  look.eform = eform;
  look.eform_title = "exp(b)";
  look.vcetype = e_macro(ip, "vcetype");
  const double df_r = e_df_r(ip);
  stats::print_coef_table(ip, b1, V1, df_r, e_macro(ip, "depvar"), look);

  SavedResults r;
  r.scalars["estimate"] = est;
  r.scalars["se"] = se;
  double stat = (is_missing(se) || se == 0 || is_missing(est)) ? kMissing : est / se;
  const bool z = is_missing(df_r);
  double crit = z ? fn::invnormal(1 - (1 - level / 100) / 2) : fn::invttail(df_r, (1 - level / 100) / 2);
  double pval = kMissing;
  if (!is_missing(stat)) pval = z ? 2 * fn::normal(-std::fabs(stat)) : (df_r > 0 ? 2 * fn::ttail(df_r, std::fabs(stat)) : kMissing);
  if (z) {
    r.scalars["z"] = stat;
  } else {
    r.scalars["t"] = stat;
    r.scalars["df"] = df_r;
  }
  r.scalars["p"] = pval;
  r.scalars["lb"] = is_missing(crit) || is_missing(se) ? kMissing : est - crit * se;
  r.scalars["ub"] = is_missing(crit) || is_missing(se) ? kMissing : est + crit * se;
  r.scalars["level"] = level;
  ip.r_results = std::move(r);
  return 0;
}

// ---- ereturn post, repost, display

namespace {

rc_t find_matrix(Interp& ip, const std::string& name, Matrix** out) {
  auto it = ip.matrices.find(name);
  if (it == ip.matrices.end()) return msg_quoting(ip.out, "matrix ", name, " not found\n", 111);
  *out = &it->second;
  return 0;
}

// b must be a row vector; V square, of b's size, symmetric, without
// missing values, and labelled with b's names on both sides.
rc_t check_b_V(Interp& ip, const Matrix* b, const Matrix* V) {
  if (b && b->rows != 1) return rc_message(ip, 503);
  if (!V) return 0;
  if (!V->square() || (b && V->rows != b->cols)) return rc_message(ip, 503);
  if (V->has_missing()) return rc_message(ip, 504);
  if (!V->symmetric()) return rc_message(ip, 505);
  if (b)
    for (int j = 0; j < b->cols; ++j)
      if (b->col_label(j) != V->col_label(j) || b->col_label(j) != V->row_label(j)) return rc_message(ip, 507);
  return 0;
}

// esample(varname): a numeric variable holding only 0 and 1.
rc_t read_esample(Interp& ip, CommandLine& cl, int* var) {
  *var = 0;
  std::string name;
  if (!cl.string("esample", 3, &name, 200, 1)) return 0;
  std::vector<int> vars;
  if (rc_t rc = datacmd::varlist_required(ip, name, &vars)) return rc;
  if (vars.size() != 1) return msg_quoting(ip.out, "", name, ": too many variables specified\n", 103);
  int j = vars[0];
  if (ip.dataset.is_string(j)) return rc_message(ip, 109);
  for (std::int64_t i = 1; i <= ip.dataset.nobs(); ++i) {
    double v = ip.dataset.fetch(j, i);
    if (v != 0 && v != 1) return msg_quoting(ip.out, "", ip.dataset.name(j), " must take on only the values 0 and 1\n", 450);
  }
  *var = j;
  return 0;
}

// Moves the 0/1 variable `j` into e(sample); the variable is dropped.
// With j == 0 the sample is cleared.
rc_t move_esample(Interp& ip, int j) {
  if (j == 0) {
    ip.dataset.drop_esample();
    return 0;
  }
  if (rc_t rc = ip.dataset.ensure_esample()) return rc_message(ip, rc);
  std::vector<signed char> v(static_cast<size_t>(ip.dataset.nobs()));
  for (std::int64_t i = 1; i <= ip.dataset.nobs(); ++i) v[static_cast<size_t>(i - 1)] = ip.dataset.fetch(j, i) == 1;
  if (rc_t rc = ip.dataset.drop_variables({j})) return rc_message(ip, rc);
  data::Column es = ip.dataset.column(ip.dataset.esample_var());
  for (std::int64_t r = 0; r < ip.dataset.nobs(); ++r) es.store(r, v[static_cast<size_t>(r)]);
  return 0;
}

}  // namespace

// ereturn post [b [V]] [, esample(varname) obs(#) dof(#) depname(string)]
rc_t ereturn_post(Interp& ip, std::string_view rest) {
  std::string_view names;
  CommandLine cl;
  if (rc_t rc = read_options(ip, rest, &names, &cl)) return rc;
  std::string bname(take_word(names)), vname(take_word(names));
  if (!trim(names).empty()) return msg_invalid(ip, "syntax");
  int esvar = 0;
  if (rc_t rc = read_esample(ip, cl, &esvar)) return rc;
  double obs[1], dof[1];
  const bool has_obs = cl.number_list("obs", 1, obs, 1) == 1;
  const bool has_dof = cl.number_list("dof", 1, dof, 1) == 1;
  std::string depname;
  const bool has_dep = cl.string("depname", 3, &depname, 200, 1);
  if (rc_t rc = cl.leftover(ip)) return rc;
  if (has_obs && (obs[0] < 0 || obs[0] != std::floor(obs[0]))) return msg_invalid(ip, "obs()");
  if (has_dof && !(dof[0] > 0)) return msg_invalid(ip, "dof()");

  Matrix *b = nullptr, *V = nullptr;
  if (!bname.empty())
    if (rc_t rc = find_matrix(ip, bname, &b)) return rc;
  if (!vname.empty())
    if (rc_t rc = find_matrix(ip, vname, &V)) return rc;
  if (b == V && b) return rc_message(ip, 503);
  if (rc_t rc = check_b_V(ip, b, V)) return rc;

  if (rc_t rc = move_esample(ip, esvar)) return rc;
  SavedResults e;
  if (b) {
    e.matrices["b"] = std::move(*b);
    e.macros["properties"] = V ? "b V" : "b";
  }
  if (V) e.matrices["V"] = std::move(*V);
  // The matrices are moved, not copied.
  if (b) ip.matrices.erase(bname);
  if (V) ip.matrices.erase(vname);
  if (has_obs) e.scalars["N"] = obs[0];
  if (has_dof) e.scalars["df_r"] = dof[0];
  if (has_dep) e.macros["depvar"] = depname;
  ip.e_results = std::move(e);
  return 0;
}

// ereturn repost [b = b] [V = V] [, esample(varname)]
rc_t ereturn_repost(Interp& ip, std::string_view rest) {
  std::string_view before;
  CommandLine cl;
  if (rc_t rc = read_options(ip, rest, &before, &cl)) return rc;
  int esvar = 0;
  if (rc_t rc = read_esample(ip, cl, &esvar)) return rc;
  if (rc_t rc = cl.leftover(ip)) return rc;
  std::string text(before);
  // "b = name" and "V = name", blanks around "=" optional.
  std::string bname, vname;
  size_t i = 0;
  auto skip = [&] {
    while (i < text.size() && text[i] == ' ') ++i;
  };
  for (;;) {
    skip();
    if (i >= text.size()) break;
    char which = text[i++];
    skip();
    if ((which != 'b' && which != 'V') || i >= text.size() || text[i] != '=') return msg_invalid(ip, "syntax");
    ++i;
    skip();
    size_t a = i;
    while (i < text.size() && text[i] != ' ') ++i;
    std::string name = text.substr(a, i - a);
    if (name.empty()) return msg_invalid(ip, "syntax");
    (which == 'b' ? bname : vname) = name;
  }
  if (!have_estimates(ip)) return rc_message(ip, 301);
  Matrix *nb = nullptr, *nv = nullptr;
  if (!bname.empty())
    if (rc_t rc = find_matrix(ip, bname, &nb)) return rc;
  if (!vname.empty())
    if (rc_t rc = find_matrix(ip, vname, &nv)) return rc;
  if (nb && nb == nv) return rc_message(ip, 503);
  const Matrix* fb = nb ? nb : e_matrix(ip, "b");
  const Matrix* fv = nv ? nv : e_matrix(ip, "V");
  if (rc_t rc = check_b_V(ip, fb, fv)) return rc;
  if (esvar)
    if (rc_t rc = move_esample(ip, esvar)) return rc;
  if (nb) {
    ip.e_results.matrices["b"] = std::move(*nb);
    ip.matrices.erase(bname);
  }
  if (nv) {
    ip.e_results.matrices["V"] = std::move(*nv);
    ip.matrices.erase(vname);
  }
  return 0;
}

// ereturn display [, level(#) eform(string)]
rc_t ereturn_display(Interp& ip, std::string_view rest) {
  std::string_view before;
  CommandLine cl;
  if (rc_t rc = read_options(ip, rest, &before, &cl)) return rc;
  if (!trim(before).empty()) return msg_invalid(ip, "syntax");
  stats::CoefTableLook look;
  if (rc_t rc = read_level(ip, cl, &look.level)) return rc;
  look.eform = cl.string("eform", 2, &look.eform_title, 12, 10);
  if (rc_t rc = cl.leftover(ip)) return rc;
  Posted e;
  if (rc_t rc = need_b_V(ip, &e)) return rc;
  look.vcetype = e_macro(ip, "vcetype");
  ip.out.set_class(output::OutClass::Text);
  stats::print_coef_table(ip, *e.b, *e.V, e_df_r(ip), e_macro(ip, "depvar"), look);
  return 0;
}

// ---- estimates

namespace {

StoredEstimates* find_stored(Interp& ip, std::string_view name) {
  for (StoredEstimates& s : ip.stored_estimates)
    if (s.name == name) return &s;
  return nullptr;
}

rc_t unknown_stored(Interp& ip, std::string_view name) {
  return msg_quoting(ip.out, "estimation result ", name, " not found\n", 111);
}

// Swaps the stored set with the current results (and their samples).
void swap_in(Interp& ip, StoredEstimates& s) {
  std::swap(ip.e_results, s.e);
  StoredEstimates now;
  const int es = ip.dataset.esample_var();
  if (es) {
    now.has_sample = true;
    now.sample.resize(static_cast<size_t>(ip.dataset.nobs()));
    for (std::int64_t i = 1; i <= ip.dataset.nobs(); ++i)
      now.sample[static_cast<size_t>(i - 1)] = ip.dataset.fetch(es, i) == 1;
  }
  if (s.has_sample && ip.dataset.ensure_esample() == 0) {
    data::Column c = ip.dataset.column(ip.dataset.esample_var());
    for (std::int64_t r = 0; r < ip.dataset.nobs(); ++r)
      c.store(r, r < static_cast<std::int64_t>(s.sample.size()) ? s.sample[static_cast<size_t>(r)] : 0);
  } else {
    ip.dataset.drop_esample();
  }
  s.has_sample = now.has_sample;
  s.sample = std::move(now.sample);
}

rc_t estimates_store(Interp& ip, std::string_view args) {
  std::string name(take_word(args));
  if (name.empty()) return msg_required(ip, "name");
  if (!trim(args).empty()) return msg_invalid(ip, "syntax");
  if (!is_valid_name(name) || name == "_all") return msg_quoting(ip.out, "", name, " invalid name\n", 198);
  if (!have_estimates(ip)) return rc_message(ip, 301);
  StoredEstimates s;
  s.name = name;
  s.e = ip.e_results;
  if (int es = ip.dataset.esample_var()) {
    s.has_sample = true;
    s.sample.resize(static_cast<size_t>(ip.dataset.nobs()));
    for (std::int64_t i = 1; i <= ip.dataset.nobs(); ++i)
      s.sample[static_cast<size_t>(i - 1)] = ip.dataset.fetch(es, i) == 1;
  }
  if (StoredEstimates* old = find_stored(ip, name))
    *old = std::move(s);
  else
    ip.stored_estimates.push_back(std::move(s));
  return 0;
}

rc_t estimates_restore(Interp& ip, std::string_view args) {
  std::string name(take_word(args));
  if (name.empty()) return msg_required(ip, "name");
  if (!trim(args).empty()) return msg_invalid(ip, "syntax");
  StoredEstimates* s = find_stored(ip, name);
  if (!s) return unknown_stored(ip, name);
  // Restoring copies: the stored set stays for later use.
  StoredEstimates copy = *s;
  swap_in(ip, copy);
  return 0;
}

rc_t estimates_drop(Interp& ip, std::string_view args) {
  std::vector<std::string> names;
  for (std::string_view w = take_word(args); !w.empty(); w = take_word(args)) names.emplace_back(w);
  if (names.empty()) return msg_required(ip, "name");
  if (names.size() == 1 && names[0] == "_all") {
    ip.stored_estimates.clear();
    return 0;
  }
  for (const std::string& n : names)
    if (!find_stored(ip, n)) return unknown_stored(ip, n);
  for (const std::string& n : names)
    std::erase_if(ip.stored_estimates, [&](const StoredEstimates& s) { return s.name == n; });
  return 0;
}

std::string macro_of(const SavedResults& e, const char* name) {
  auto it = e.macros.find(name);
  return it == e.macros.end() ? std::string() : it->second;
}

int npar_of(const SavedResults& e) {
  auto it = e.matrices.find("b");
  return it == e.matrices.end() ? 0 : it->second.cols;
}

std::string abbrev12(std::string s, size_t w) {
  if (s.size() > w) s = s.substr(0, w - 2) + "~" + s.substr(s.size() - 1);
  return s;
}

rc_t estimates_dir(Interp& ip, std::string_view args) {
  if (!trim(args).empty()) return msg_invalid(ip, "syntax");
  ip.out.set_class(output::OutClass::Text);
  ip.out.print_markup("\n{txt}{hline 13}{c TT}{hline 44}\n");
  ip.out.printf_markup("{txt}%12s {c |} %-12s %-12s %6s\n", "name", "command", "depvar", "npar");
  ip.out.print_markup("{txt}{hline 13}{c +}{hline 44}\n");
  for (const StoredEstimates& s : ip.stored_estimates) {
    ip.out.printf_markup("{txt}%12s {c |} {res}%-12s %-12s %6d\n", abbrev12(s.name, 12).c_str(),
                         abbrev12(macro_of(s.e, "cmd"), 12).c_str(), abbrev12(macro_of(s.e, "depvar"), 12).c_str(),
                         npar_of(s.e));
  }
  ip.out.print_markup("{txt}{hline 13}{c BT}{hline 44}\n");
  return 0;
}

// Shows the current results again: through the command that made them
// when it replays (results stamped with a model kind by a built-in
// estimation core), else as a plain coefficient table.  Results posted by
// a program with `ereturn post` carry no kind, and running their e(cmd)
// without arguments could fit or post anew instead of replaying.
rc_t replay_current(Interp& ip) {
  std::string cmd = e_macro(ip, "cmd");
  if (ip.e_results.kind != 0 && !cmd.empty() && is_valid_name(cmd)) return ip.execute_line(cmd);
  Posted e;
  if (rc_t rc = need_b_V(ip, &e)) return rc;
  stats::CoefTableLook look;
  look.level = ip.level;
  look.vcetype = e_macro(ip, "vcetype");
  ip.out.print_markup("\n");
  stats::print_coef_table(ip, *e.b, *e.V, e_df_r(ip), e_macro(ip, "depvar"), look);
  return 0;
}

rc_t estimates_replay(Interp& ip, std::string_view args) {
  std::vector<std::string> names;
  for (std::string_view w = take_word(args); !w.empty(); w = take_word(args)) names.emplace_back(w);
  if (names.empty()) names.emplace_back(".");
  for (const std::string& n : names)
    if (n != "." && !find_stored(ip, n)) return unknown_stored(ip, n);
  for (const std::string& n : names) {
    ip.out.set_class(output::OutClass::Text);
    ip.out.print_markup("\n{txt}{hline 78}\n");
    if (n == ".") {
      if (!have_estimates(ip)) return rc_message(ip, 301);
      ip.out.print_markup("{txt}active results\n{hline 78}\n");
      if (rc_t rc = replay_current(ip)) return rc;
      continue;
    }
    ip.out.print_markup("{txt}Model ");
    ip.out.print_plain(n);
    ip.out.print_markup("\n{hline 78}\n");
    // The stored set is made current for the replay and put back after,
    // whatever the replay returns.
    StoredEstimates copy = *find_stored(ip, n);
    swap_in(ip, copy);
    rc_t rc = replay_current(ip);
    swap_in(ip, copy);
    if (rc) return rc;
  }
  return 0;
}

// estimates table [names] [, b se t p stats(scalars)]: coefficients of
// several results side by side, one column per result.
rc_t estimates_table(Interp& ip, std::string_view args) {
  size_t comma = options_comma(args);
  CommandLine cl;
  if (rc_t rc = parse_options(ip, args, comma, &cl)) return rc;
  const int want_b = cl.flag("b", 1, 1);
  const bool want_se = cl.flag("se", 2, 0) == 1;
  const bool want_t = cl.flag("t", 1, 0) == 1;
  const bool want_p = cl.flag("p", 1, 0) == 1;
  std::string statlist;
  cl.string("stats", 2, &statlist, 2000, 200);
  if (rc_t rc = cl.leftover(ip)) return rc;
  std::string_view list = comma == std::string_view::npos ? args : args.substr(0, comma);
  std::vector<std::string> names;
  for (std::string_view w = take_word(list); !w.empty(); w = take_word(list)) names.emplace_back(w);
  if (names.empty()) names.emplace_back(".");
  if (names.size() == 1 && names[0] == "_all") {
    names.clear();
    for (const StoredEstimates& s : ip.stored_estimates) names.push_back(s.name);
    if (names.empty()) return rc_message(ip, 301);
  }
  std::vector<const SavedResults*> sets;
  for (const std::string& n : names) {
    if (n == ".") {
      if (!have_estimates(ip)) return rc_message(ip, 301);
      sets.push_back(&ip.e_results);
      continue;
    }
    const StoredEstimates* s = find_stored(ip, n);
    if (!s) return unknown_stored(ip, n);
    sets.push_back(&s->e);
  }
  std::vector<std::string> stats_wanted;
  {
    std::string_view sl = statlist;
    for (std::string_view w = take_word(sl); !w.empty(); w = take_word(sl)) stats_wanted.emplace_back(w);
  }
  // The rows: every coefficient name in order of first appearance.
  std::vector<std::string> rows;
  for (const SavedResults* e : sets) {
    auto it = e->matrices.find("b");
    if (it == e->matrices.end()) continue;
    for (int j = 0; j < it->second.cols; ++j) {
      std::string lab = it->second.col_label(j);
      if (std::find(rows.begin(), rows.end(), lab) == rows.end()) rows.push_back(lab);
    }
  }
  const int ncol = static_cast<int>(sets.size());
  const int width = 13 + 12 * ncol;
  ip.out.set_class(output::OutClass::Text);
  ip.out.printf_markup("\n{txt}{hline 13}{c TT}{hline %d}\n", width - 14 + 1);
  ip.out.printf_markup("{txt}%12s {c |}", "Variable");
  for (const std::string& n : names) ip.out.printf_markup(" %11s", abbrev12(n == "." ? "active" : n, 11).c_str());
  ip.out.printf_markup("\n{hline 13}{c +}{hline %d}\n", width - 14 + 1);
  auto cell = [&](const SavedResults* e, const std::string& lab, int what) -> std::string {
    auto bi = e->matrices.find("b");
    auto vi = e->matrices.find("V");
    if (bi == e->matrices.end()) return std::string();
    int j = stats::find_col(bi->second, lab);
    if (j < 0) return std::string();
    double coef = bi->second.at(0, j);
    if (what == 0) return fmtnum("%9.0g", coef);
    if (vi == e->matrices.end() || vi->second.rows <= j) return std::string();
    double se = std::sqrt(vi->second.at(j, j));
    if (what == 1) return fmtnum("%9.0g", se);
    double t = se > 0 ? coef / se : kMissing;
    if (what == 2) return fmtnum("%8.2f", t);
    auto di = e->scalars.find("df_r");
    double p = kMissing;
    if (!is_missing(t))
      p = di == e->scalars.end() ? 2 * fn::normal(-std::fabs(t))
                                 : (di->second > 0 ? 2 * fn::ttail(di->second, std::fabs(t)) : kMissing);
    return fmtnum("%7.4f", p);
  };
  for (const std::string& lab : rows) {
    const int kinds[4] = {want_b != 0 ? 0 : -1, want_se ? 1 : -1, want_t ? 2 : -1, want_p ? 3 : -1};
    bool first = true;
    for (int what : kinds) {
      if (what < 0) continue;
      ip.out.printf_markup("{txt}%12s {c |}{res}", first ? abbrev12(lab, 12).c_str() : "");
      for (const SavedResults* e : sets) ip.out.printf_markup(" %11s", trimmed(cell(e, lab, what)).c_str());
      ip.out.print_markup("\n");
      first = false;
    }
  }
  if (!stats_wanted.empty()) {
    ip.out.printf_markup("{txt}{hline 13}{c +}{hline %d}\n", width - 14 + 1);
    for (const std::string& st : stats_wanted) {
      ip.out.printf_markup("{txt}%12s {c |}{res}", abbrev12(st, 12).c_str());
      for (const SavedResults* e : sets) {
        auto it = e->scalars.find(st);
        ip.out.printf_markup(" %11s", it == e->scalars.end() ? "" : trimmed(fmtnum("%9.0g", it->second)).c_str());
      }
      ip.out.print_markup("\n");
    }
  }
  ip.out.printf_markup("{txt}{hline 13}{c BT}{hline %d}\n", width - 14 + 1);
  return 0;
}

}  // namespace

// estimates store|restore|dir|drop|replay|table
rc_t cmd_estimates(Interp& ip) {
  if (ip.command_name != "estimates") return msg_not_available(ip, ip.command_name);
  // Options are read from the command buffer, so the subcommands get a
  // view into it.
  std::string_view rest = ip.reader.rest();
  std::string_view sub = take_word(rest);
  if (abbreviates(sub, "store", 3)) return estimates_store(ip, rest);
  if (abbreviates(sub, "replay", 3)) return estimates_replay(ip, rest);
  if (abbreviates(sub, "restore", 1)) return estimates_restore(ip, rest);
  if (abbreviates(sub, "dir", 3)) return estimates_dir(ip, rest);
  if (sub == "drop") return estimates_drop(ip, rest);
  if (abbreviates(sub, "table", 3)) return estimates_table(ip, rest);
  if (sub.empty()) return msg_required(ip, "subcommand");
  return msg_quoting(ip.out, "", sub, " invalid subcommand\n", 198);
}

}  // namespace nuvra
