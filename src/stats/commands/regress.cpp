// _regress: ordinary least squares over weighted cross products, the fit
// statistics, the ordinary and robust variances, the posting of the
// estimation results, and the header and coefficient table (also shown on
// replay from the posted results alone).
//
// The cross products of (y, x1..xk, constant) are accumulated in parallel
// chunks with compensated sums, swept with the constant held back, and the
// kept block's inverse and the coefficients are then polished by a few
// steps of iterative refinement in long double: the sweep alone loses
// about cond(X'X) in relative accuracy, which on polynomial terms leaves
// too few correct digits.  Refinement never changes which regressors the
// sweep dropped.
#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <new>
#include <string>
#include <vector>

#include "data/commands/commands.h"
#include "data/commands/ts_terms.h"
#include "data/expr/expr.h"
#include "data/expr/sample.h"
#include "data/format.h"
#include "data/missing.h"
#include "interp/builtins.h"
#include "interp/interp.h"
#include "interp/messages.h"
#include "data/names.h"
#include "interp/parse.h"
#include "stats/coef_table.h"
#include "stats/crossprod.h"
#include "stats/ddouble.h"
#include "data/functions/distributions.h"
#include "stats/matexpr.h"
#include "stats/parallel.h"
#include "stats/robust.h"
#include "stats/sample.h"
#include "stats/summarize.h"
#include "stats/sweep.h"

namespace nuvra {

namespace stats {

namespace {

using data::is_missing;
using data::kMissing;

struct Options {
  bool beta = false, header = true, plus = false, constant = true, hascons = false, mse1 = false;
  bool tsscons = false, has_dof = false, has_eform = false;
  double dof = 0;
  double level = 95;
  std::string eform, depname, clustvar;
  Vce vce = Vce::kOls;
};

std::string fmtnum(const char* f, double v) { return data::format_shown(f, v); }

// The segments of a pass that keeps p-by-p sums per segment: long enough to
// keep the threads busy, and few enough that their accumulators stay within
// about 256 MB.  They depend on n and p only, so the sums come out the same
// for any `set processors`.
SegmentPlan cross_segments(int processors, std::int64_t n, int p) {
  const double per = 24.0 * p * p + 1024;
  const std::int64_t cap = std::clamp<std::int64_t>(static_cast<std::int64_t>(268435456.0 / per), 1, 256);
  return plan_segments(processors, n, 8192, cap);
}

// Marks the fit.  Without weights the same pass over the observations
// also accumulates the cross products into *xx (the observations are read
// once, not twice) and *accumulated is set; with weights, which are known
// only after the marking, accumulate() makes the cross products.
rc_t mark_fit(Interp& ip, const CommandLine& cl, const std::vector<int>& vars, int clustvar, bool constant,
              CrossProducts* xx, bool* accumulated, Fit* f) {
  std::vector<char>& touse = f->touse;
  if (rc_t rc = expr::mark_sample(ip, cl, &touse)) return rc;
  data::Dataset& ds = ip.dataset;
  const RowReader reader(ds, vars);
  // A string cluster variable is missing where it is empty; its texts are
  // turned into keys later, so the pass below looks only at numeric ones.
  if (clustvar && ds.is_string(clustvar)) {
    for (std::int64_t i = 0; i < ds.nobs(); ++i)
      if (touse[static_cast<size_t>(i)] && ds.fetch_str(clustvar, i + 1).empty()) touse[static_cast<size_t>(i)] = 0;
    clustvar = 0;
  }
  const std::vector<int> cvar = clustvar ? std::vector<int>{clustvar} : std::vector<int>{};
  const RowReader creader(ds, cvar);
  const int nv = reader.size();
  const int p = xx->size();
  const std::int64_t nobs = ds.nobs();
  const bool fused = !cl.has_weight;
  // Missing values, in parallel segments over the observations.
  const SegmentPlan plan = cross_segments(ip.processors, nobs, p);
  std::vector<CrossProducts> slots;
  if (fused) slots.assign(static_cast<size_t>(plan.segments), CrossProducts(p));
  constexpr int kRows = 128;
  bool done = run_segments(
      plan, ip.processors, nobs, break_poll(ip),
      [&](std::int64_t k, std::int64_t b, std::int64_t e) {
        // Rows are read straight into the block that goes to the cross
        // products; a rejected row is overwritten by the next one.
        std::vector<double> buf(static_cast<size_t>(kRows) * p);
        int m = 0;
        for (std::int64_t i = b; i < e; ++i) {
          if (i + kPrefetchRows < e) reader.prefetch(i + kPrefetchRows);
          char& t = touse[static_cast<size_t>(i)];
          if (!t) continue;
          double* row = buf.data() + static_cast<size_t>(m) * p;
          reader.read(i, row);
          bool ok = true;
          for (int c = 0; c < nv; ++c) ok &= !is_missing(row[c]);
          if (clustvar) {
            double cv;
            creader.read(i, &cv);
            ok &= !is_missing(cv);
          }
          if (!ok) {
            t = 0;
            continue;
          }
          if (!fused) continue;
          if (constant) row[nv] = 1;
          if (++m == kRows) {
            slots[static_cast<size_t>(k)].add_block(buf.data(), nullptr, m);
            m = 0;
          }
        }
        if (m > 0) slots[static_cast<size_t>(k)].add_block(buf.data(), nullptr, m);
      });
  if (!done) return 1;
  if (fused)
    for (const CrossProducts& s : slots) xx->merge(s);
  *accumulated = fused;
  // Weights, in order in this thread: the weight expression is evaluated
  // by the interpreter's own machinery.
  double wsum = 0;
  const bool weighted = cl.has_weight;
  if (weighted) {
    expr::Program wp;
    expr::EvalContext wcx;
    if (rc_t rc = expr::compile(ip, cl.weight_text, expr::Want::kNumeric, &wp)) return rc;
    expr::bind(ip, wp, &wcx);
    for (std::int64_t i = 0; i < nobs; ++i) {
      char& t = touse[static_cast<size_t>(i)];
      if (!t) continue;
      double w = expr::eval_number(wcx, i + 1);
      if (is_missing(w) || w == 0) {
        t = 0;
        continue;
      }
      if (w < 0 && cl.weight_type != kIweight)
        return msg_quoting(ip.out, "negative weights encountered\n", "", "", 402);
      if (cl.weight_type == kFweight && w != std::floor(w))
        return msg_quoting(ip.out, "may not use noninteger frequency weights\n", "", "", 401);
      f->w.push_back(w);
      wsum += w;
    }
  }
  std::int64_t first = -1, last = -1, count = 0;
  for (std::int64_t i = 0; i < nobs; ++i)
    if (touse[static_cast<size_t>(i)]) {
      if (first < 0) first = i;
      last = i;
      ++count;
    }
  f->count = count;
  f->first = first + 1;
  f->contiguous = count == 0 || last - first + 1 == count;
  if (!f->contiguous) {
    f->obs.reserve(static_cast<size_t>(count));
    for (std::int64_t i = first; i <= last; ++i)
      if (touse[static_cast<size_t>(i)]) f->obs.push_back(i + 1);
  }
  f->n = static_cast<double>(count);
  // Analytic and sampling weights are scaled to sum to the count, so that
  // the sums of squares are on the scale of the observations.
  if (weighted && (cl.weight_type == kAweight || cl.weight_type == kPweight) && wsum > 0)
    for (double& w : f->w) w *= static_cast<double>(count) / wsum;
  if (weighted && (cl.weight_type == kFweight || cl.weight_type == kIweight)) f->n = wsum;
  return 0;
}

// Cross products of the p columns (y, regressors, constant when asked)
// over the fit, one accumulator per parallel chunk, merged in chunk order.
rc_t accumulate(Interp& ip, const Fit& f, const std::vector<int>& vars, bool constant, CrossProducts* out) {
  const int p = out->size();
  const int nv = static_cast<int>(vars.size());
  const std::int64_t n = f.count;
  const SegmentPlan plan = cross_segments(ip.processors, n, p);
  std::vector<CrossProducts> slots(static_cast<size_t>(plan.segments), CrossProducts(p));
  // Columns read directly; the sample holds no missing values, so double
  // columns are copied without the missing-value translation.
  const RowReader reader(ip.dataset, vars);
  constexpr int kRows = 128;
  bool done = run_segments(
      plan, ip.processors, n, break_poll(ip),
      [&](std::int64_t k, std::int64_t b, std::int64_t e) {
        double block[kRows * 64];
        std::vector<double> big;
        double* buf = block;
        if (p > 64) {
          big.resize(static_cast<size_t>(kRows) * p);
          buf = big.data();
        }
        for (std::int64_t s = b; s < e; s += kRows) {
          int m = static_cast<int>(std::min<std::int64_t>(kRows, e - s));
          for (int r = 0; r < m; ++r) {
            if (s + r + kPrefetchRows < e) reader.prefetch(f.row(s + r + kPrefetchRows));
            double* row = buf + static_cast<size_t>(r) * p;
            reader.read(f.row(s + r), row);
            if (constant) row[nv] = 1;
          }
          slots[static_cast<size_t>(k)].add_block(buf, f.w.empty() ? nullptr : f.w.data() + s, m);
        }
      });
  if (!done) return 1;
  for (const CrossProducts& s : slots) out->merge(s);
  return 0;
}

// Solves for the inverse of the kept block and for b by refinement: the
// residuals of A·X = I and A·b = c are formed in long double from the
// accumulated (compensated) A and c, and corrected with the current X.
void refine(const std::vector<long double>& a, const std::vector<long double>& c, int k, std::vector<double>* x,
            std::vector<double>* b) {
  auto A = [&](int i, int j) { return a[static_cast<size_t>(i) * k + j]; };
  std::vector<long double> X(x->begin(), x->end()), R(static_cast<size_t>(k) * k), T(static_cast<size_t>(k) * k);
  for (int iter = 0; iter < 3; ++iter) {
    // R = I - A X
    for (int i = 0; i < k; ++i)
      for (int j = 0; j < k; ++j) {
        long double s = (i == j) ? 1.0L : 0.0L;
        for (int l = 0; l < k; ++l) s -= A(i, l) * X[static_cast<size_t>(l) * k + j];
        R[static_cast<size_t>(i) * k + j] = s;
      }
    // X += X R
    for (int i = 0; i < k; ++i)
      for (int j = 0; j < k; ++j) {
        long double s = 0;
        for (int l = 0; l < k; ++l) s += X[static_cast<size_t>(i) * k + l] * R[static_cast<size_t>(l) * k + j];
        T[static_cast<size_t>(i) * k + j] = X[static_cast<size_t>(i) * k + j] + s;
      }
    // keep it symmetric
    for (int i = 0; i < k; ++i)
      for (int j = 0; j < k; ++j)
        X[static_cast<size_t>(i) * k + j] = (T[static_cast<size_t>(i) * k + j] + T[static_cast<size_t>(j) * k + i]) / 2;
  }
  std::vector<long double> bb(static_cast<size_t>(k), 0.0L), r(static_cast<size_t>(k));
  for (int i = 0; i < k; ++i)
    for (int j = 0; j < k; ++j) bb[i] += X[static_cast<size_t>(i) * k + j] * c[j];
  for (int iter = 0; iter < 3; ++iter) {
    for (int i = 0; i < k; ++i) {
      long double s = c[i];
      for (int j = 0; j < k; ++j) s -= A(i, j) * bb[j];
      r[i] = s;
    }
    for (int i = 0; i < k; ++i) {
      long double s = 0;
      for (int j = 0; j < k; ++j) s += X[static_cast<size_t>(i) * k + j] * r[j];
      bb[i] += s;
    }
  }
  for (size_t i = 0; i < X.size(); ++i) (*x)[i] = static_cast<double>(X[i]);
  for (int i = 0; i < k; ++i) (*b)[i] = static_cast<double>(bb[i]);
}

// The least-squares quantities over the kept columns.
struct LsFit {
  std::vector<double> b;     // coefficients, in kept order
  std::vector<double> ainv;  // (X'X)^-1 over the kept columns
  double tss = 0, rss = 0, mss = 0;
};

// Inverts the n-by-n symmetric positive definite matrix a (both triangles
// stored) in place by sweeping every pivot in index order, in
// double-double: with d = a(k,k), a(i,j) -= a(i,k) a(k,j) / d, the column
// becomes -a(i,k)/d, the row a(k,j)/d and the pivot 1/d; once every pivot
// is swept a holds the inverse.  False when a
// pivot is not positive (the caller then keeps its double results).
bool dd_invert(std::vector<DD>* a, int n) {
  std::vector<DD>& m = *a;
  auto at = [&](int i, int j) -> DD& { return m[static_cast<size_t>(i) * n + j]; };
  for (int k = 0; k < n; ++k) {
    const DD d = at(k, k);
    if (!(d.hi > 0)) return false;
    for (int i = 0; i < n; ++i) {
      if (i == k) continue;
      const DD f = at(i, k) / d;
      if (f.hi == 0) continue;
      for (int j = 0; j < n; ++j)
        if (j != k) at(i, j) -= f * at(k, j);
    }
    for (int i = 0; i < n; ++i)
      if (i != k) at(i, k) = -(at(i, k) / d);
    for (int j = 0; j < n; ++j)
      if (j != k) at(k, j) = at(k, j) / d;
    at(k, k) = DD(1.0) / d;
  }
  return true;
}

// Solves the least-squares problem of y (index 0 of the m-by-m cross
// products C) on the columns `cols` (indices into C, not 0) in
// double-double: *inv receives the inverse of their block, *b the
// coefficients after one step of refinement.  False when the block is not
// positive definite.
bool dd_solve(const std::vector<DD>& C, int m, const std::vector<int>& cols, std::vector<DD>* inv, std::vector<DD>* b) {
  const int q = static_cast<int>(cols.size());
  auto at = [&](int i, int j) { return C[static_cast<size_t>(i) * m + j]; };
  inv->assign(static_cast<size_t>(q) * q, DD());
  for (int i = 0; i < q; ++i)
    for (int j = 0; j < q; ++j) (*inv)[static_cast<size_t>(i) * q + j] = at(cols[i], cols[j]);
  if (q > 0 && !dd_invert(inv, q)) return false;
  b->assign(static_cast<size_t>(q), DD());
  std::vector<DD> r(static_cast<size_t>(q));
  for (int i = 0; i < q; ++i)
    for (int j = 0; j < q; ++j) (*b)[i] += (*inv)[static_cast<size_t>(i) * q + j] * at(0, cols[j]);
  for (int i = 0; i < q; ++i) {
    DD t = at(0, cols[i]);
    for (int j = 0; j < q; ++j) t -= at(cols[i], cols[j]) * (*b)[j];
    r[i] = t;
  }
  for (int i = 0; i < q; ++i)
    for (int j = 0; j < q; ++j) (*b)[i] += (*inv)[static_cast<size_t>(i) * q + j] * r[j];
  return true;
}

// The fit in double-double, for data that the double cross products cannot
// carry: one serial pass forms the cross products of y and every regressor
// other than the constant as deviations from the first pass's means (about
// zero when the constant was dropped) with exact products and
// double-double sums; the means' own rounding is then taken out.  With the
// constant kept the slopes come from the centred block, and the constant
// and its covariances from the means.  The pass is serial and its result
// does not depend on the thread count.
//
// The double sweep's decisions are computed on a matrix whose rounding can
// swamp them when the regressors are badly scaled (powers of an offset
// variable).  A regressor it dropped is therefore looked at again here, on
// the exact centred matrix: it is kept unless the part of it the kept
// regressors do not explain is within the rounding of the data as stored,
// 1 - R^2 < 1024 u^2 (u = 2^-24 when a float column is involved, else
// 2^-53).  An exactly repeated or summed regressor stays dropped.
//
// Returns 1 on Break; *ok is false when the block could not be inverted
// (the double results then stand).  *kept is updated with the regressors
// kept back.
rc_t precise_fit(Interp& ip, const Fit& f, const std::vector<int>& vars, std::vector<int>* kept, int kx, bool cons,
                 bool centred, const CrossProducts& xx, LsFit* out, bool* ok) {
  *ok = false;
  const bool ck = cons && !kept->empty() && kept->back() == kx - 1;
  const int nr = cons ? kx - 1 : kx;  // regressors other than the constant
  const int m = nr + 1;               // y, then those regressors
  std::vector<int> cv(vars.begin(), vars.begin() + m);
  std::vector<double> mean(static_cast<size_t>(m), 0.0);
  if (ck)
    for (int j = 0; j < m; ++j) mean[j] = xx.sum(j) / xx.weight_sum();
  const RowReader reader(ip.dataset, cv);
  std::vector<DD> C(static_cast<size_t>(m) * m), lin(static_cast<size_t>(m)), d(static_cast<size_t>(m));
  std::vector<double> v(static_cast<size_t>(m));
  DD W;
  bool y_constant = true;
  double y_first = 0;
  for (std::int64_t pos = 0; pos < f.count; ++pos) {
    if ((pos & 65535) == 0 && ip.poll_break()) return 1;
    reader.read(f.row(pos), v.data());
    if (pos == 0) y_first = v[0];
    y_constant &= v[0] == y_first;
    const double w = f.w.empty() ? 1.0 : f.w[static_cast<size_t>(pos)];
    W += DD(w);
    for (int j = 0; j < m; ++j) d[j] = two_sum(v[j], -mean[j]);
    for (int i = 0; i < m; ++i) {
      const DD wd = f.w.empty() ? d[i] : d[i] * DD(w);
      lin[i] += wd;
      for (int j = i; j < m; ++j) C[static_cast<size_t>(i) * m + j] += wd * d[j];
    }
  }
  if (ck)
    for (int i = 0; i < m; ++i)
      for (int j = i; j < m; ++j) C[static_cast<size_t>(i) * m + j] -= lin[i] * lin[j] / W;
  for (int i = 0; i < m; ++i)
    for (int j = 0; j < i; ++j) C[static_cast<size_t>(i) * m + j] = C[static_cast<size_t>(j) * m + i];

  // The regressors (as columns of C) kept, and the dropped ones looked at again.
  std::vector<int> cols;
  std::vector<char> is_kept(static_cast<size_t>(nr), 0);
  for (int j : *kept)
    if (j < nr) {
      cols.push_back(j + 1);
      is_kept[static_cast<size_t>(j)] = 1;
    }
  auto unit = [&](int c) { return ip.dataset.type(cv[static_cast<size_t>(c)]) == data::kFloat ? 0x1p-24 : 0x1p-53; };
  std::vector<DD> inv, b;
  for (int j = 0; j < nr; ++j) {
    if (is_kept[static_cast<size_t>(j)]) continue;
    const DD cjj = C[static_cast<size_t>(j + 1) * m + j + 1];
    if (!(cjj.hi > 0)) continue;
    double u = unit(j + 1);
    for (int c : cols) u = std::max(u, unit(c));
    std::vector<DD> Cj(C);  // regress column j on the kept ones: j in y's place
    for (int a = 0; a < m; ++a) {
      Cj[static_cast<size_t>(a)] = C[static_cast<size_t>(j + 1) * m + a];
      Cj[static_cast<size_t>(a) * m] = C[static_cast<size_t>(a) * m + j + 1];
    }
    Cj[0] = cjj;
    if (!dd_solve(Cj, m, cols, &inv, &b)) continue;
    DD left = cjj;
    for (size_t i = 0; i < cols.size(); ++i) left -= b[i] * Cj[static_cast<size_t>(cols[i])];
    if (!(left.value() >= 1024 * u * u * cjj.value())) continue;
    cols.insert(std::upper_bound(cols.begin(), cols.end(), j + 1), j + 1);
    is_kept[static_cast<size_t>(j)] = 1;
  }
  if (!dd_solve(C, m, cols, &inv, &b)) return 0;
  const int q = static_cast<int>(cols.size());
  DD rss = C[0];
  for (int i = 0; i < q; ++i) rss -= b[i] * C[static_cast<size_t>(cols[i])];
  DD tss = C[0];
  if (centred && !ck) tss -= lin[0] * lin[0] / W;
  kept->clear();
  for (int c : cols) kept->push_back(c - 1);
  if (ck) kept->push_back(kx - 1);
  const int k = static_cast<int>(kept->size());
  out->b.assign(static_cast<size_t>(k), 0.0);
  out->ainv.assign(static_cast<size_t>(k) * k, 0.0);
  for (int i = 0; i < q; ++i) {
    out->b[i] = b[i].value();
    for (int j = 0; j < q; ++j) out->ainv[static_cast<size_t>(i) * k + j] = inv[static_cast<size_t>(i) * q + j].value();
  }
  if (ck) {
    // The exact means, the first pass's plus what the deviations summed to.
    std::vector<DD> mu(static_cast<size_t>(m));
    for (int j = 0; j < m; ++j) mu[j] = DD(mean[j]) + lin[j] / W;
    DD b0 = mu[0];
    for (int i = 0; i < q; ++i) b0 -= b[i] * mu[cols[i]];
    out->b[q] = b0.value();
    DD quad = DD(1.0) / W;
    for (int i = 0; i < q; ++i) {
      DD t;
      for (int j = 0; j < q; ++j) t += inv[static_cast<size_t>(i) * q + j] * mu[cols[j]];
      out->ainv[static_cast<size_t>(i) * k + q] = out->ainv[static_cast<size_t>(q) * k + i] = (-t).value();
      quad += t * mu[cols[i]];
    }
    out->ainv[static_cast<size_t>(q) * k + q] = quad.value();
  }
  out->rss = rss.hi > 0 ? rss.value() : 0.0;
  out->tss = tss.value();
  out->mss = ((centred ? tss : C[0]) - rss).value();
  // A constant y has no spread about its mean: not the rounding residue of
  // the mean's own error, but exactly 0.
  if (y_constant && centred) out->tss = out->rss = out->mss = 0;
  *ok = true;
  return 0;
}

// ---- display, from the posted results only

double escalar(const Interp& ip, const char* name) {
  auto it = ip.e_results.scalars.find(name);
  return it == ip.e_results.scalars.end() ? kMissing : it->second;
}

std::string emacro(const Interp& ip, const char* name) {
  auto it = ip.e_results.macros.find(name);
  return it == ip.e_results.macros.end() ? std::string() : it->second;
}

void display_header(Interp& ip) {
  double N = escalar(ip, "N"), df_m = escalar(ip, "df_m"), df_r = escalar(ip, "df_r");
  double F = escalar(ip, "F"), r2 = escalar(ip, "r2"), r2_a = escalar(ip, "r2_a"), rmse = escalar(ip, "rmse");
  double mss = escalar(ip, "mss"), rss = escalar(ip, "rss");
  double prob = (is_missing(F) || is_missing(df_m) || df_r <= 0) ? kMissing : fn::Ftail(df_m, df_r, F);
  char flabel[48];
  std::snprintf(flabel, sizeof flabel, "F(%3.0f,%6.0f)", df_m, df_r);
  ip.out.set_class(output::OutClass::Text);
  // Every figure of the header keeps to its column: one too wide for its
  // format (an F of 185330863.65 in %8.2f) is shown in the general form
  // of the same width instead of pushing the line past the screen.
  auto fit = [](const char* f, double v, int width) {
    std::string t = fmtnum(f, v);
    if (static_cast<int>(t.size()) > width) {
      char g[16];
      std::snprintf(g, sizeof g, "%%%d.0g", width);
      t = fmtnum(g, v);
    }
    return t;
  };
  if (!emacro(ip, "vcetype").empty()) {
    // The title and the count of observations, then the F block from
    // column 55, the column of the ordinary header's fit summary.
    std::string left = "{txt}Linear r" + std::string("egression");
    ip.out.printf_markup("\n%s{col 45}Number of obs = {res}%8s\n", left.c_str(), fit("%8.0f", N, 8).c_str());
    if (is_missing(F))
      ip.out.printf_markup("{txt}{col 55}{help j_robustsingular:%-14s}= {res}%8s\n", flabel,
                           fit("%8.2f", F, 8).c_str());
    else
      ip.out.printf_markup("{txt}{col 55}%-14s= {res}%8s\n", flabel, fit("%8.2f", F, 8).c_str());
    ip.out.printf_markup("{txt}{col 55}%-14s= {res}%8s\n", "Prob > F", fmtnum("%8.4f", prob).c_str());
    ip.out.printf_markup("{txt}{col 55}%-14s= {res}%8s\n", "R-squared", fmtnum("%8.4f", r2).c_str());
    ip.out.printf_markup("{txt}{col 55}%-14s= {res} %7s\n\n", "Root MSE", fit("%7.0g", rmse, 7).c_str());
    return;
  }
  double tss = mss + rss;
  double df_t = df_m + df_r;
  auto ms = [](double ss, double df) { return df > 0 ? ss / df : kMissing; };
  // The analysis-of-variance rows on the left, the fit summary from
  // column 55 on.
  auto line = [&](const char* name, double ss, double df, const char* label, const std::string& value) {
    ip.out.printf_markup("{txt}%12s {c |} {res}%11s%6s %11s{txt}{col 55}%-14s= {res}%8s\n", name,
                         fit("%11.0g", ss, 11).c_str(), fit("%6.0f", df, 6).c_str(),
                         fit("%11.0g", ms(ss, df), 11).c_str(), label, value.c_str());
  };
  ip.out.printf_markup("\n{txt}%12s {c |} %11s%6s %11s{col 55}%-14s= {res}%8s\n", "Source", "SS", "df", "MS",
                       "Number of obs", fit("%8.0f", N, 8).c_str());
  ip.out.printf_markup("{txt}{hline 13}{c +}{hline 30}{col 55}%-14s= {res}%8s\n", flabel,
                       fit("%8.2f", F, 8).c_str());
  line("Model", mss, df_m, "Prob > F", fmtnum("%8.4f", prob));
  line("Residual", rss, df_r, "R-squared", fmtnum("%8.4f", r2));
  ip.out.printf_markup("{txt}{hline 13}{c +}{hline 30}{col 55}%-14s= {res}%8s\n", "Adj R-squared",
                       fmtnum("%8.4f", r2_a).c_str());
  line("Total", tss, df_t, "Root MSE", " " + fit("%7.0g", rmse, 7));
  ip.out.print_markup("\n");
}

void display_table(Interp& ip, const Options& o, const std::vector<double>& betas) {
  auto bi = ip.e_results.matrices.find("b");
  auto vi = ip.e_results.matrices.find("V");
  if (bi == ip.e_results.matrices.end() || vi == ip.e_results.matrices.end()) return;
  if (emacro(ip, "vce") == "cluster")
    ip.out.printf_markup("{txt}{ralign 78:(Std. Err. adjusted for %.0f clusters in %s)}\n",
                         escalar(ip, "N_clust"), emacro(ip, "clustvar").c_str());
  CoefTableLook look;
  look.level = o.level;
  look.eform = o.has_eform;
  look.eform_title = o.eform;
  look.beta = o.beta;
  look.betas = &betas;
  look.plus = o.plus;
  look.vcetype = emacro(ip, "vcetype");
  print_coef_table(ip, bi->second, vi->second, escalar(ip, "df_r"), emacro(ip, "depvar"), look);
}

}  // namespace

void print_coef_table(Interp& ip, const Matrix& b, const Matrix& V, double df_r, const std::string& dep,
                      const CoefTableLook& o) {
  // Without residual degrees of freedom the statistics are normal.
  const bool z = is_missing(df_r);
  ip.out.print_markup("{txt}{hline 78}\n");
  if (!o.vcetype.empty()) ip.out.printf_markup("{txt}%12s {c |}%22s\n", "", o.vcetype.c_str());
  std::string title = o.eform ? o.eform_title : "Coef.";
  std::string tail;
  if (o.beta) {
    char t[32];
    std::snprintf(t, sizeof t, "%25s", "Beta");
    tail = t;
  } else {
    char lev[64];
    std::snprintf(lev, sizeof lev, "[%g%% Conf. Interval]", o.level);
    char t[80];
    std::snprintf(t, sizeof t, "%25s", lev);
    tail = t;
  }
  std::string dname = dep.size() > 12 ? dep.substr(0, 10) + "~" + dep.substr(dep.size() - 1) : dep;
  ip.out.printf_markup("{txt}%12s {c |} %10s  Std. Err.        %s   P>|%s|%s\n", dname.c_str(), title.c_str(),
                       z ? "z" : "t", z ? "z" : "t", tail.c_str());
  ip.out.print_markup("{txt}{hline 13}{c +}{hline 64}\n");
  double tcrit = z ? fn::invnormal(1 - (1 - o.level / 100) / 2) : fn::invttail(df_r, (1 - o.level / 100) / 2);
  for (int j = 0; j < b.cols; ++j) {
    std::string name = b.colnames[j];
    if (name.size() > 12) name = name.substr(0, 10) + "~" + name.substr(name.size() - 1);
    double coef = b.at(0, j), se = std::sqrt(V.at(j, j));
    if (coef == 0 && V.at(j, j) == 0) {
      ip.out.printf_markup("{txt}%12s {c |}  {res}(dropped)\n", name.c_str());
      continue;
    }
    double t = se > 0 ? coef / se : kMissing;
    double p;
    if (is_missing(t))
      p = kMissing;
    else if (z)
      p = 2 * fn::normal(-std::fabs(t));
    else
      p = df_r > 0 ? 2 * fn::ttail(df_r, std::fabs(t)) : kMissing;
    double lo = is_missing(tcrit) || is_missing(se) ? kMissing : coef - tcrit * se;
    double hi = is_missing(tcrit) || is_missing(se) ? kMissing : coef + tcrit * se;
    double shown = coef, shown_se = se;
    if (o.eform) {
      shown = std::exp(coef);
      shown_se = shown * se;
      lo = is_missing(lo) ? lo : std::exp(lo);
      hi = is_missing(hi) ? hi : std::exp(hi);
    }
    std::string last;
    if (o.beta) {
      double bv = o.betas && j < static_cast<int>(o.betas->size()) ? (*o.betas)[j] : kMissing;
      last = name == "_cons" ? std::string() : std::string(16, ' ') + fmtnum("%9.0g", bv);
    } else {
      last = "    " + fmtnum("%9.0g", lo) + "   " + fmtnum("%9.0g", hi);
    }
    ip.out.printf_markup("{txt}%12s {c |}  {res}%9s  %9s %8s %7s%s\n", name.c_str(), fmtnum("%9.0g", shown).c_str(),
                         fmtnum("%9.0g", shown_se).c_str(), fmtnum("%8.2f", t).c_str(), fmtnum("%7.3f", p).c_str(),
                         last.c_str());
  }
  if (!o.plus) ip.out.print_markup("{txt}{hline 13}{c BT}{hline 64}\n");
}

namespace {

rc_t no_obs(Interp& ip) {
  rc_message(ip, 2000);
  return ip.by_active ? 0 : 2000;
}

rc_t combine_error(Interp& ip, const char* a, const char* b, rc_t code) {
  char m[128];
  std::snprintf(m, sizeof m, "options %s and %s may not be combined\n", a, b);
  return msg_quoting(ip.out, m, "", "", code);
}

// Options shared by fit and replay.
rc_t read_options(Interp& ip, CommandLine& cl, Options* o, bool* robust, bool* hc2, bool* hc3, bool* has_cluster) {
  o->beta = cl.flag("beta", 1, 0) == 1;
  o->header = cl.flag("header", 2, 1) != 0;
  o->plus = cl.flag("plus", 4, 0) == 1;
  o->has_eform = cl.string("eform", 2, &o->eform, 12, 10);
  double d[1];
  int got = cl.number_list("dof", 3, d, 1);
  if (got == 1) {
    if (d[0] < 0 || d[0] > 2147483647.0 || d[0] != std::floor(d[0])) return msg_invalid(ip, "dof()");
    o->has_dof = true;
    o->dof = d[0];
  }
  cl.flag("rssmat", 6, 0);
  cl.flag("bmat", 4, 0);
  cl.flag("means", 1, 0);
  cl.flag("checkorder", 10, 1);
  o->constant = cl.flag("constant", 1, 1) != 0;
  o->hascons = cl.flag("hascons", 1, 0) == 1;
  o->mse1 = cl.flag("mse1", 2, 0) == 1;
  o->tsscons = cl.flag("tsscons", 7, 0) == 1;
  cl.string("depname", 3, &o->depname, 32, 1);
  *hc2 = cl.flag("hc2", 3, 0) == 1;
  *hc3 = cl.flag("hc3", 3, 0) == 1;
  *robust = cl.flag("robust", 1, 0) == 1;
  *has_cluster = cl.string("cluster", 2, &o->clustvar, 32, 1);
  o->level = ip.level;
  double lv[1];
  if (cl.number_list("level", 1, lv, 1) == 1) {
    if (lv[0] < 10 || lv[0] > 99.99)
      return msg_quoting(ip.out, "level() must be between 10 and 99.99 inclusive\n", "", "", 198);
    o->level = lv[0];
  }
  return cl.leftover(ip);
}

}  // namespace

}  // namespace stats

// _regress [depvar [indepvars]] [if] [in] [weight] [, options]
rc_t cmd_regress_core(Interp& ip) {
  using namespace stats;
  ParseSettings st{.varlist = true, .allow_if = true, .allow_in = true,
                   .weights = kAweight | kFweight | kIweight | kPweight};
  CommandLine cl;
  if (rc_t rc = standard_parse(ip, st, &cl)) return rc;
  Options o;
  bool robust = false, hc2 = false, hc3 = false, has_cluster = false;
  if (rc_t rc = read_options(ip, cl, &o, &robust, &hc2, &hc3, &has_cluster)) return rc;

  std::string_view vl = trim(cl.varlist_text);
  if (vl.empty()) {
    // Replay.
    if (cl.has_if || cl.has_in || cl.has_weight) return msg_invalid(ip, "syntax");
    int kind = ip.e_results.kind;
    if (emacro(ip, "cmd") != "regress" || (kind != 1 && kind != 2 && kind != 11 && kind != 20))
      return rc_message(ip, 301);
    if (o.beta && kind == 2) return msg_invalid(ip, "beta");
    if (o.beta && emacro(ip, "vce") == "cluster") return combine_error(ip, "cluster()", "beta", 184);
    if (o.header) display_header(ip);
    display_table(ip, o, ip.e_results.aux);
    return 0;
  }

  // Combinations.
  if (o.beta && has_cluster) return combine_error(ip, "cluster()", "beta", 184);
  if (hc2 && hc3) return combine_error(ip, "hc2", "hc3", 198);
  if ((hc2 || hc3) && has_cluster) return combine_error(ip, hc2 ? "hc2" : "hc3", "cluster()", 198);
  if ((hc2 || hc3 || robust || has_cluster) && cl.has_weight && cl.weight_type == kIweight)
    return rc_message(ip, 5101);
  if (o.mse1 && (robust || hc2 || hc3 || has_cluster)) return combine_error(ip, "mse1", "robust", 198);
  Vce vce = Vce::kOls;
  if (robust || (cl.has_weight && cl.weight_type == kPweight)) vce = Vce::kRobust;
  if (hc2) vce = Vce::kHc2;
  if (hc3) vce = Vce::kHc3;
  if (has_cluster) vce = Vce::kCluster;

  std::vector<int> vars;
  std::vector<std::string> terms;  // x, or L.x for an operated term
  datacmd::TsTemps temps(ip);
  if (trim(cl.varlist_text).empty()) return msg_required(ip, "varlist");
  if (rc_t rc = datacmd::ts_varlist(ip, cl.varlist_text, &vars, &terms, &temps)) return rc;
  for (int j : vars)
    if (ip.dataset.is_string(j)) return rc_message(ip, 109);
  int clustvar = 0;
  if (has_cluster) {
    std::vector<int> cv;
    if (rc_t rc = datacmd::varlist_required(ip, o.clustvar, &cv)) return rc;
    if (cv.size() != 1) return msg_quoting(ip.out, "", o.clustvar, ": too many variables specified\n", 103);
    clustvar = cv[0];
    o.clustvar = ip.dataset.name(clustvar);
  }
  const int nx = static_cast<int>(vars.size()) - 1;
  const bool cons = o.constant && !o.hascons;
  const bool centred = o.constant || o.hascons || o.tsscons;  // tss about the mean
  const int kx = nx + (cons ? 1 : 0);
  if (kx == 0) return rc_message(ip, 102);
  if (kx > ip.matsize - 2) return rc_message(ip, 908);

  Fit f;
  const int p = kx + 1;
  CrossProducts xx(p);
  bool accumulated = false;
  if (rc_t rc = mark_fit(ip, cl, vars, clustvar, cons, &xx, &accumulated, &f)) return rc;
  if (f.empty()) return no_obs(ip);
  if (!accumulated) {
    if (rc_t rc = accumulate(ip, f, vars, cons, &xx)) return rc;
  }

  // The work array: y in row and column 0, then the regressors, the
  // constant last.
  int stride = 0;
  std::vector<double> work;
  if (rc_t rc = sweep_work(ip, p, [&xx](int i, int j) { return xx.at(i, j); }, &work, &stride)) return rc;
  SweepOptions opt = sweep_options(ip);
  std::vector<std::uint8_t> status;
  if (rc_t rc = sweep_invert(work.data(), stride, 1, kx, nullptr, cons ? kx - 1 : -1, &status, opt)) {
    if (rc == 909) return rc_message(ip, 909);
    return rc;
  }
  std::vector<int> kept;
  for (int j = 0; j < kx; ++j)
    if (status[j] != kDropped) kept.push_back(j);
  int k = static_cast<int>(kept.size());
  const bool model_cons = cons || o.hascons;
  LsFit fit;
  fit.b.assign(static_cast<size_t>(k), 0.0);
  fit.ainv.assign(static_cast<size_t>(k) * k, 0.0);
  std::vector<long double> A(static_cast<size_t>(k) * k), c(static_cast<size_t>(k));
  for (int i = 0; i < k; ++i) {
    c[i] = xx.at(0, kept[i] + 1);
    for (int j = 0; j < k; ++j) {
      A[static_cast<size_t>(i) * k + j] = xx.at(kept[i] + 1, kept[j] + 1);
      fit.ainv[static_cast<size_t>(i) * k + j] = work[static_cast<size_t>(kept[i] + 1) * stride + kept[j] + 1];
    }
  }
  refine(A, c, k, &fit.ainv, &fit.b);
  // The sums of squares from the double cross products: y's about its mean
  // loses the digits its mean has over its spread.
  const long double yy = xx.at(0, 0), sy = xx.sum(0), sw = xx.weight_sum();
  const long double yy_c = yy - sy * sy / sw;
  {
    long double bxy = 0;
    for (int i = 0; i < k; ++i) bxy += static_cast<long double>(fit.b[i]) * c[i];
    fit.tss = static_cast<double>(centred ? yy_c : yy);
    fit.rss = static_cast<double>(yy - bxy);
    fit.mss = centred ? fit.tss - fit.rss : static_cast<double>(bxy);
  }
  // Whether those figures can be trusted to the last digits shown, else
  // the fit is made again in double-double from the data:
  //  - the pass is cheap anyway;
  //  - a column's sum of squares about its mean is below 1/1000 of its
  //    raw sum of squares (digits lost to centring), for y too;
  //  - a_jj times the (j,j) element of the inverse, 1/(1 - R^2) of column
  //    j on the others, is past 1e6;
  //  - the fit is so close that rss keeps few of the digits of tss;
  //  - the sweep dropped a regressor, which is looked at again there.
  bool precise = static_cast<double>(f.count) * (k + 1) * (k + 1) <= 2e6 || k < kx;
  if (!(yy_c * 1000 > yy)) precise = true;
  for (int i = 0; i < k && !precise; ++i) {
    const int col = kept[i] + 1;
    const double raw = xx.at(col, col);
    const double about = raw - xx.sum(col) * xx.sum(col) / xx.weight_sum();
    if (cons && kept[i] != kx - 1 && !(about * 1000 > raw)) precise = true;
    if (static_cast<double>(A[static_cast<size_t>(i) * k + i]) * fit.ainv[static_cast<size_t>(i) * k + i] > 1e6)
      precise = true;
  }
  if (!(fit.rss > 1e-4 * fit.tss)) precise = true;
  if (precise) {
    LsFit better;
    bool ok = false;
    std::vector<int> kept2 = kept;
    if (rc_t rc = precise_fit(ip, f, vars, &kept2, kx, cons, centred, xx, &better, &ok)) return rc;
    if (ok) {
      fit = std::move(better);
      kept = std::move(kept2);
      k = static_cast<int>(kept.size());
    }
  }
  std::vector<double>& bk = fit.b;
  std::vector<double>& ainv = fit.ainv;
  double tss = fit.tss, rss = fit.rss, mss = fit.mss;

  // Fit statistics.
  const double N = f.n;
  double df_r = N - k;
  if (o.has_dof) df_r = o.dof;
  double df_m = (model_cons || o.tsscons) ? k - 1 : k;
  if (mss < 0) mss = 0;
  if (rss < 0) rss = 0;
  double s2 = df_r > 0 ? rss / df_r : 0;
  if (o.mse1) s2 = 1;
  double r2 = tss > 0 ? 1 - rss / tss : kMissing;
  if (!is_missing(r2) && r2 > 0.99999999999999) {
    r2 = 1;
    mss = tss;
    rss = 0;
    s2 = o.mse1 ? 1 : 0;
  }
  if (!is_missing(r2) && r2 < 0) r2 = kMissing;
  double F;
  if (df_m == 0 && model_cons)
    F = 0;
  else if (df_m > 0 && s2 > 0)
    F = (mss / df_m) / s2;
  else
    F = kMissing;
  if (!is_missing(F) && F < 0) F = kMissing;
  double K = model_cons ? N - 1 : N;
  double r2_a = (is_missing(r2) || df_r <= 0) ? kMissing : 1 - (1 - r2) * K / df_r;

  // Variance of the kept coefficients.
  std::vector<double> Vk(static_cast<size_t>(k) * k);
  double n_clust = 0;
  if (vce == Vce::kOls) {
    for (size_t i = 0; i < Vk.size(); ++i) Vk[i] = s2 * ainv[i];
  } else {
    std::vector<double> meat;
    std::vector<int> xv(vars.begin() + 1, vars.end());
    std::vector<double> ccode;
    if (clustvar) cluster_keys(ip.dataset, f, clustvar, &ccode);
    if (rc_t rc = robust_meat(ip.dataset, ip.processors, break_poll(ip), f, xv, ccode, kept, bk, ainv, vars[0], vce,
                              cl.has_weight && cl.weight_type == kFweight, &meat, &n_clust))
      return rc;
    double factor = 1;
    if (vce == Vce::kRobust) factor = df_r > 0 ? N / df_r : kMissing;
    if (vce == Vce::kCluster) {
      factor = (n_clust > 1 && N - k > 0) ? (n_clust / (n_clust - 1)) * ((N - 1) / (N - k)) : kMissing;
      df_r = n_clust - 1;
      r2_a = (is_missing(r2) || df_r <= 0) ? kMissing : r2_a;
    }
    std::vector<double> t(static_cast<size_t>(k) * k, 0.0);
    for (int i = 0; i < k; ++i)
      for (int j = 0; j < k; ++j) {
        double s = 0;
        for (int l = 0; l < k; ++l) s += ainv[static_cast<size_t>(i) * k + l] * meat[static_cast<size_t>(l) * k + j];
        t[static_cast<size_t>(i) * k + j] = s;
      }
    for (int i = 0; i < k; ++i)
      for (int j = 0; j < k; ++j) {
        double s = 0;
        for (int l = 0; l < k; ++l) s += t[static_cast<size_t>(i) * k + l] * ainv[static_cast<size_t>(l) * k + j];
        Vk[static_cast<size_t>(i) * k + j] = is_missing(factor) ? kMissing : factor * s;
      }
    for (int i = 0; i < k; ++i)
      for (int j = 0; j < i; ++j)
        Vk[static_cast<size_t>(i) * k + j] = Vk[static_cast<size_t>(j) * k + i] =
            (Vk[static_cast<size_t>(i) * k + j] + Vk[static_cast<size_t>(j) * k + i]) / 2;
    // The Wald F of all the slopes under the robust variance.
    std::vector<int> slopes;
    for (int i = 0; i < k; ++i)
      if (!(cons && kept[i] == kx - 1)) slopes.push_back(i);
    const int qn = static_cast<int>(slopes.size());
    F = kMissing;
    if (qn == 0) {
      F = model_cons ? 0 : kMissing;
    } else if (!is_missing(factor) && df_r > 0) {
      int qs = sweep_stride(ip, qn);
      std::vector<double> w(static_cast<size_t>(qs) * qn, 0.0);
      for (int i = 0; i < qn; ++i)
        for (int j = 0; j < qn; ++j) w[static_cast<size_t>(i) * qs + j] = Vk[static_cast<size_t>(slopes[i]) * k + slopes[j]];
      std::vector<std::uint8_t> vst;
      SweepOptions vo;
      vo.processors = ip.processors;
      if (sweep_invert(w.data(), qs, 0, qn, nullptr, -1, &vst, vo) == 0) {
        bool full = std::none_of(vst.begin(), vst.end(), [](std::uint8_t s) { return s == kDropped; });
        if (full) {
          double wald = 0;
          for (int i = 0; i < qn; ++i)
            for (int j = 0; j < qn; ++j)
              wald += bk[slopes[i]] * w[static_cast<size_t>(i) * qs + j] * bk[slopes[j]];
          F = wald / qn;
          df_m = qn;
        }
      }
    }
    if (vce == Vce::kCluster) df_m = qn;
  }

  // Standardized coefficients, kept with the results whether shown or
  // not, so that a replay with beta shows what the fit computed.
  std::vector<double> betas(static_cast<size_t>(kx), kMissing);
  {
    const double sw_ = xx.weight_sum();
    const double sdy = std::sqrt((xx.at(0, 0) - xx.sum(0) * xx.sum(0) / sw_) / (N - 1));
    for (int i = 0; i < k; ++i) {
      int col = kept[i];
      if (cons && col == kx - 1) continue;
      double sx = std::sqrt((xx.at(col + 1, col + 1) - xx.sum(col + 1) * xx.sum(col + 1) / sw_) / (N - 1));
      betas[col] = finite_or_missing(bk[i] * sx / sdy);
    }
  }

  // Post: everything computed, nothing can fail after the sample variable
  // has room.
  if (rc_t rc = ip.dataset.ensure_esample()) return rc_message(ip, rc);
  Matrix b = Matrix::make(1, kx), V = Matrix::make(kx, kx);
  std::vector<std::string> names;
  for (int j = 0; j < nx; ++j) names.push_back(terms[static_cast<size_t>(j + 1)]);
  if (cons) names.push_back("_cons");
  for (int i = 0; i < k; ++i) {
    b.at(0, kept[i]) = bk[i];
    for (int j = 0; j < k; ++j) V.at(kept[i], kept[j]) = Vk[static_cast<size_t>(i) * k + j];
  }
  b.colnames = names;
  b.rownames[0] = "y1";
  V.rownames = V.colnames = names;
  SavedResults e;
  e.scalars["N"] = N;
  e.scalars["df_m"] = df_m;
  e.scalars["df_r"] = df_r;
  e.scalars["F"] = F;
  e.scalars["r2"] = r2;
  e.scalars["rmse"] = std::sqrt(s2);
  e.scalars["mss"] = mss;
  e.scalars["rss"] = rss;
  e.scalars["r2_a"] = r2_a;
  if (rss > 0 && !is_missing(rss)) e.scalars["ll"] = -0.5 * N * (std::log(2 * M_PI) + std::log(rss / N) + 1);
  if (model_cons && rss + mss > 0) e.scalars["ll_0"] = -0.5 * N * (std::log(2 * M_PI) + std::log((rss + mss) / N) + 1);
  if (vce == Vce::kCluster) e.scalars["N_clust"] = n_clust;
  e.macros["cmd"] = "regress";
  e.macros["depvar"] = o.depname.empty() ? terms[0] : o.depname;
  e.macros["properties"] = "b V";
  e.macros["estat_cmd"] = "regress_estat";
  e.macros["model"] = "ols";
  e.macros["predict"] = "regres_p";
  static const char* const kVce[] = {"ols", "robust", "hc2", "hc3", "cluster"};
  static const char* const kVcetype[] = {"", "Robust", "Robust HC2", "Robust HC3", "Robust"};
  e.macros["vce"] = kVce[static_cast<int>(vce)];
  if (vce != Vce::kOls) e.macros["vcetype"] = kVcetype[static_cast<int>(vce)];
  if (vce == Vce::kCluster) e.macros["clustvar"] = o.clustvar;
  if (cl.has_weight) {
    static const std::map<int, std::string> kW = {
        {kAweight, "aweight"}, {kFweight, "fweight"}, {kPweight, "pweight"}, {kIweight, "iweight"}};
    e.macros["wtype"] = kW.at(cl.weight_type);
    e.macros["wexp"] = "= " + std::string(trim(cl.weight_text));
  }
  e.matrices["b"] = std::move(b);
  e.matrices["V"] = std::move(V);
  e.kind = (vce == Vce::kHc2 || vce == Vce::kHc3) ? 20 : 1;
  e.aux = betas;
  ip.e_results = std::move(e);
  {
    data::Column es = ip.dataset.column(ip.dataset.esample_var());
    std::int64_t nobs = ip.dataset.nobs();
    // One byte in every record: each is a line of its own, asked for
    // ahead as the passes do.
    for (std::int64_t r = 0; r < nobs; ++r) {
      if (r + kPrefetchRows < nobs) __builtin_prefetch(es.at(r + kPrefetchRows), 1);
      *reinterpret_cast<std::int8_t*>(es.at(r)) = f.touse[static_cast<size_t>(r)] ? 1 : 0;
    }
  }

  if (o.header) display_header(ip);
  display_table(ip, o, betas);
  return 0;
}

}  // namespace nuvra
