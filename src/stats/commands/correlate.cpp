// correlate, pwcorr and ci.
//
//   correlate [varlist] [if] [in] [weight] [, means covariance]
//       one sample for all variables (an observation missing any of them is
//       left out), the lower triangle of correlations or covariances
//   pwcorr [varlist] [if] [in] [weight] [, obs sig]
//       each pair on the observations where both are present
//   ci [varlist] [if] [in] [weight] [, level(#)]
//       means with their standard errors and t-based confidence intervals
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "data/commands/commands.h"
#include "data/format.h"
#include "data/missing.h"
#include "interp/builtins.h"
#include "interp/interp.h"
#include "interp/messages.h"
#include "interp/parse.h"
#include "data/functions/distributions.h"
#include "stats/matrix.h"
#include "stats/moments.h"
#include "stats/sample.h"
#include "stats/summarize.h"

namespace nuvra {

namespace {

using data::kMissing;

std::string g(const char* f, double v) {
  data::Format fmt;
  data::parse_format(f, &fmt);
  char buf[data::kRenderBufferSize];
  size_t n = data::render_shown(fmt, v, buf, sizeof buf);
  return std::string(buf, n);
}

std::string fixed4(double v, int width) {
  if (data::is_missing(v)) return std::string(static_cast<size_t>(width - 1), ' ') + ".";
  char buf[64];
  std::snprintf(buf, sizeof buf, "%*.4f", width, v);
  return buf;
}

// The shared start: the standard parse, the options looked up by
// `options`, the leftover check, then the variables.
template <class Options>
rc_t parse_stats(Interp& ip, int weights_allowed, Options&& options, CommandLine* cl, std::vector<int>* vars) {
  ParseSettings st{.varlist = true, .allow_if = true, .allow_in = true, .weights = weights_allowed,
                   .default_weight = kAweight};
  if (rc_t rc = standard_parse(ip, st, cl)) return rc;
  if (rc_t rc = options(*cl)) return rc;
  if (rc_t rc = cl->leftover(ip)) return rc;
  if (rc_t rc = datacmd::varlist_or_all(ip, cl->varlist_text, vars)) return rc;
  return 0;
}

rc_t need_numeric(Interp& ip, const std::vector<int>& vars, bool drop_strings, std::vector<int>* out) {
  out->clear();
  for (int j : vars) {
    if (!ip.dataset.is_string(j)) {
      out->push_back(j);
    } else if (!drop_strings) {
      return msg_quoting(ip.out, "", ip.dataset.name(j), " is a string variable\n", 109);
    }
  }
  return 0;
}

// A lower triangle: stub names down the side, up to `per_panel` columns
// per panel, each `width` wide.
template <class Cell>
void print_triangle(Interp& ip, const std::vector<int>& vars, int width, Cell&& cell, int extra_lines = 0) {
  const int k = static_cast<int>(vars.size());
  const int per_panel = std::max(1, (ip.linesize - 14) / width);
  for (int c0 = 0; c0 < k; c0 += per_panel) {
    int c1 = std::min(k, c0 + per_panel);
    ip.out.print_markup("\n{txt}{space 13}{c |}");
    for (int c = c0; c < c1; ++c) {
      std::string nm = datacmd::abbreviate_name(ip.dataset.name(vars[c]), 8);
      ip.out.print_plain(std::string(static_cast<size_t>(width) - nm.size(), ' ') + nm);
    }
    ip.out.printf_markup("\n{hline 13}{c +}{hline %d}\n", width * (c1 - c0));
    for (int r = c0; r < k; ++r) {
      char stub[32];
      std::snprintf(stub, sizeof stub, "%12s", datacmd::abbreviate_name(ip.dataset.name(vars[r]), 12).c_str());
      for (int line = 0; line <= extra_lines; ++line) {
        ip.out.printf_markup("{txt}%s {c |}{res}", line == 0 ? stub : "            ");
        for (int c = c0; c < std::min(c1, r + 1); ++c) ip.out.print_plain(cell(r, c, line));
        ip.out.print_markup("\n");
      }
      if (extra_lines > 0 && r + 1 < k) ip.out.printf_markup("{txt}{space 13}{c |}\n");
    }
  }
}

// A symmetric k x k matrix named by the variables, from its lower triangle.
template <class Cell>
stats::Matrix variable_matrix(Interp& ip, const std::vector<int>& vars, Cell&& cell) {
  const int k = static_cast<int>(vars.size());
  stats::Matrix m = stats::Matrix::make(k, k);
  for (int i = 0; i < k; ++i) {
    m.rownames[i] = m.colnames[i] = ip.dataset.name(vars[i]);
    for (int j = 0; j <= i; ++j) m.at(i, j) = m.at(j, i) = cell(i, j);
  }
  return m;
}

}  // namespace

rc_t cmd_correlate(Interp& ip) {
  bool means = false, covariance = false;
  CommandLine cl;
  std::vector<int> given, vars;
  stats::Sample sample;
  std::vector<double> weights;
  auto options = [&](CommandLine& c) -> rc_t {
    means = c.flag("means", 1, 0) == 1;
    covariance = c.flag("covariance", 1, 0) == 1;
    return 0;
  };
  if (rc_t rc = parse_stats(ip, kAweight | kFweight | kIweight, options, &cl, &given)) return rc;
  if (rc_t rc = need_numeric(ip, given, false, &vars)) return rc;
  if (vars.empty()) return msg_required(ip, "varlist");
  if (rc_t rc = stats::select_sample(ip, cl, &sample)) return rc;
  if (rc_t rc = stats::evaluate_weights(ip, cl, sample, &weights)) return rc;
  std::vector<data::Column> cols;
  for (int j : vars) cols.push_back(ip.dataset.column(j));
  stats::Moments m;
  rc_t rc = stats::cross_moments(cols, sample, cl.has_weight ? weights.data() : nullptr, nullptr, ip.processors,
                                 stats::break_poll(ip), &m);
  if (rc == 909) return rc_message(ip, 909);
  if (rc) return rc;
  if (m.n == 0) return msg_quoting(ip.out, "no observations\n", "", "", 2000);
  const int wt = cl.has_weight ? cl.weight_type : kWeightNone;
  const int k = static_cast<int>(vars.size());
  auto cov = [&](int i, int j) { return stats::covariance(m, i, j, wt); };
  auto corr = [&](int i, int j) {
    double c = m.cross[static_cast<size_t>(i) * k + j];
    double d = std::sqrt(m.cross[static_cast<size_t>(i) * k + i] * m.cross[static_cast<size_t>(j) * k + j]);
    return stats::finite_or_missing(c / d);
  };

  ip.out.set_class(output::OutClass::Text);
  if (cl.has_weight)
    ip.out.printf_markup("{txt}(sum of wgt is %s)\n", g("%12.4e", m.sum_w).c_str());
  const double n_counted = stats::counted_obs(m.n, m.sum_w, wt);
  ip.out.printf_markup("{txt}(obs=%.0f)\n", n_counted);
  if (means) {
    ip.out.print_markup("\n{txt}    Variable {c |}         Mean    Std. Dev.          Min          Max\n");
    ip.out.print_markup("{hline 13}{c +}{hline 52}\n");
    for (int i = 0; i < k; ++i) {
      double v = cov(i, i);
      ip.out.printf_markup("{txt}%12s {c |}{res}%13s%13s%13s%13s\n",
                           datacmd::abbreviate_name(ip.dataset.name(vars[i]), 12).c_str(),
                           g("%9.0g", m.mean[i]).c_str(), g("%9.0g", v < kMissing ? std::sqrt(v) : kMissing).c_str(),
                           g("%9.0g", m.min[i]).c_str(), g("%9.0g", m.max[i]).c_str());
    }
  }
  if (covariance)
    print_triangle(ip, vars, 10, [&](int r, int c, int) { return " " + g("%9.0g", cov(r, c)); });
  else
    print_triangle(ip, vars, 9, [&](int r, int c, int) { return fixed4(corr(r, c), 9); });

  ip.r_results.clear();
  auto& r = ip.r_results.scalars;
  r["N"] = n_counted;
  if (k >= 2) {
    r["rho"] = corr(1, 0);
    if (covariance) {
      r["cov_12"] = cov(1, 0);
      r["Var_1"] = cov(0, 0);
      r["Var_2"] = cov(1, 1);
    }
  }
  if (cl.has_weight) r["sum_w"] = m.sum_w;
  ip.r_results.matrices["C"] = covariance ? variable_matrix(ip, vars, cov) : variable_matrix(ip, vars, corr);
  return 0;
}

rc_t cmd_pwcorr(Interp& ip) {
  bool show_obs = false, show_sig = false;
  CommandLine cl;
  std::vector<int> given, vars;
  stats::Sample sample;
  std::vector<double> weights;
  auto options = [&](CommandLine& c) -> rc_t {
    show_obs = c.flag("obs", 1, 0) == 1;
    show_sig = c.flag("sig", 1, 0) == 1;
    return 0;
  };
  if (rc_t rc = parse_stats(ip, kAweight | kFweight, options, &cl, &given)) return rc;
  if (rc_t rc = need_numeric(ip, given, false, &vars)) return rc;
  if (vars.empty()) return msg_required(ip, "varlist");
  if (rc_t rc = stats::select_sample(ip, cl, &sample)) return rc;
  if (rc_t rc = stats::evaluate_weights(ip, cl, sample, &weights)) return rc;
  const int k = static_cast<int>(vars.size());
  std::vector<double> rho(static_cast<size_t>(k) * k, kMissing), sig(rho.size(), kMissing), nobs(rho.size(), 0);
  const auto poll = stats::break_poll(ip);
  for (int i = 0; i < k; ++i)
    for (int j = 0; j <= i; ++j) {
      stats::Moments m;
      std::vector<data::Column> cols = {ip.dataset.column(vars[i]), ip.dataset.column(vars[j])};
      rc_t rc = stats::cross_moments(cols, sample, cl.has_weight ? weights.data() : nullptr, nullptr, ip.processors,
                                     poll, &m);
      if (rc == 909) return rc_message(ip, 909);
      if (rc) return rc;
      size_t at = static_cast<size_t>(i) * k + j;
      const double n = stats::counted_obs(m.n, m.sum_w, cl.has_weight ? cl.weight_type : kWeightNone);
      nobs[at] = n;
      if (m.n == 0) continue;
      rho[at] = stats::finite_or_missing(m.cross[1] / std::sqrt(m.cross[0] * m.cross[3]));
      if (i != j && rho[at] < kMissing && n > 2) {
        double rr = rho[at];
        double t = std::fabs(rr) * std::sqrt(n - 2) / std::sqrt(std::max(0.0, 1 - rr * rr));
        double p = std::isinf(t) ? 0.0 : 2 * fn::ttail(n - 2, t);
        sig[at] = std::min(1.0, p);
      }
    }
  ip.out.set_class(output::OutClass::Text);
  int extra = (show_sig ? 1 : 0) + (show_obs ? 1 : 0);
  print_triangle(
      ip, vars, 9,
      [&](int r, int c, int line) {
        size_t at = static_cast<size_t>(r) * k + c;
        if (line == 0) return fixed4(rho[at], 9);
        if (line == 1 && show_sig) return r == c ? std::string() : fixed4(sig[at], 9);
        char buf[32];
        std::snprintf(buf, sizeof buf, "%9.0f", nobs[at]);
        return std::string(buf);
      },
      extra);
  ip.r_results.clear();
  auto& r = ip.r_results.scalars;
  size_t last = k >= 2 ? static_cast<size_t>(k - 1) * k + (k - 2) : 0;
  r["N"] = nobs[last];
  if (k >= 2) r["rho"] = rho[last];
  ip.r_results.matrices["C"] =
      variable_matrix(ip, vars, [&](int i, int j) { return rho[static_cast<size_t>(i) * k + j]; });
  return 0;
}

rc_t cmd_ci(Interp& ip) {
  double level = 95;
  CommandLine cl;
  std::vector<int> given, vars;
  stats::Sample sample;
  std::vector<double> weights;
  auto options = [&](CommandLine& c) -> rc_t {
    double lv[1];
    int got = c.number_list("level", 1, lv, 1);
    if (got == 1) {
      if (lv[0] < 10 || lv[0] > 99.99)
        return msg_quoting(ip.out, "level() must be between 10 and 99.99 inclusive\n", "", "", 198);
      level = lv[0];
    }
    return 0;
  };
  if (rc_t rc = parse_stats(ip, kAweight | kFweight, options, &cl, &given)) return rc;
  if (rc_t rc = need_numeric(ip, given, true, &vars)) return rc;
  if (rc_t rc = stats::select_sample(ip, cl, &sample)) return rc;
  if (rc_t rc = stats::evaluate_weights(ip, cl, sample, &weights)) return rc;
  const auto poll = stats::break_poll(ip);
  ip.out.set_class(output::OutClass::Text);
  char lev[32];
  std::snprintf(lev, sizeof lev, "%g%%", level);
  ip.out.printf_markup("\n{txt}    Variable {c |}        Obs        Mean    Std. Err.       [%s Conf. Interval]\n", lev);
  ip.out.print_markup("{hline 13}{c +}{hline 64}\n");
  double last[5] = {0, kMissing, kMissing, kMissing, kMissing};
  bool any = false;
  for (int j : vars) {
    stats::ColumnInput in;
    in.col = ip.dataset.column(j);
    in.sample = &sample;
    in.weights = cl.has_weight ? weights.data() : nullptr;
    in.weight_type = cl.weight_type;
    stats::Summary s;
    rc_t rc = stats::summarize_column(in, false, ip.processors, poll, &s);
    if (rc) return rc;
    // The number of observations the standard error counts: frequency
    // weights stand for that many observations.
    double n = stats::counted_obs(s.n, s.sum_w, cl.has_weight ? cl.weight_type : kWeightNone);
    double se = s.sd < kMissing && n > 0 ? s.sd / std::sqrt(n) : kMissing;
    double t = n > 1 ? fn::invttail(n - 1, (1 - level / 100) / 2) : kMissing;
    double lb = se < kMissing && t < kMissing ? s.mean - t * se : kMissing;
    double ub = se < kMissing && t < kMissing ? s.mean + t * se : kMissing;
    // Obs, mean and standard error end under their headings (columns 11,
    // 23 and 35 after the bar); the bounds under the bracketed heading.
    if (n > 0)
      ip.out.printf_markup("{txt}%12s {c |}{res}%11s   %9s   %9s%15s%12s\n",
                           datacmd::abbreviate_name(ip.dataset.name(j), 12).c_str(), g("%10.0f", n).c_str(),
                           g("%9.0g", s.mean).c_str(), g("%9.0g", se).c_str(), g("%9.0g", lb).c_str(),
                           g("%9.0g", ub).c_str());
    else
      ip.out.printf_markup("{txt}%12s {c |}{res}%11s\n", datacmd::abbreviate_name(ip.dataset.name(j), 12).c_str(),
                           "0");
    last[0] = n;
    last[1] = s.mean;
    last[2] = se;
    last[3] = lb;
    last[4] = ub;
    any = true;
  }
  ip.r_results.clear();
  if (any) {
    auto& r = ip.r_results.scalars;
    r["N"] = last[0];
    r["mean"] = last[1];
    r["se"] = last[2];
    r["lb"] = last[3];
    r["ub"] = last[4];
    r["level"] = level;
  }
  return 0;
}

}  // namespace nuvra
