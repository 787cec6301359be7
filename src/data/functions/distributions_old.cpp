// The earlier algorithms of the distribution functions, kept so that old
// results can be reproduced. They are the classic textbook methods,
// written out here: the incomplete gamma function by its power series
// below a+1 and Legendre's continued fraction above; the incomplete beta
// function by its continued fraction (evaluated with the modified Lentz
// method) on the side of the mean where it converges; non-central
// distributions as Poisson mixtures of central ones, summed outward from
// the Poisson mode; binomial tails by direct summation of the terms; and
// every inverse by bisection on the monotone distribution function.
#include <algorithm>
#include <cmath>

#include "data/functions/distributions.h"

namespace nuvra::fn {
namespace {

constexpr double kEps = 1e-16;
constexpr double kTiny = 1e-300;
// The largest non-centrality the mixtures are summed for.
constexpr double kOldMaxNoncentrality = 10000;

inline bool prob(double p) { return p >= 0 && p <= 1; }
inline bool open_prob(double p) { return p > 0 && p < 1; }
// The series and fractions need a number of steps that grows with the
// shape parameters: beyond this they are not attempted.
constexpr double kOldMaxShape = 1e10;

// Lower (lower = true) or upper regularised incomplete gamma.
double gamma_inc(double a, double x, bool lower) {
  if (x <= 0) return lower ? 0 : 1;
  double front = std::exp(-x + a * std::log(x) - std::lgamma(a));
  if (x < a + 1) {
    double ap = a, del = 1 / a, sum = del;
    for (int n = 0; n < 100000; ++n) {
      ap += 1;
      del *= x / ap;
      sum += del;
      if (std::fabs(del) < std::fabs(sum) * kEps) break;
    }
    double p = std::min(1.0, sum * front);
    return lower ? p : 1 - p;
  }
  double b = x + 1 - a, c = 1 / kTiny, d = 1 / b, h = d;
  for (int i = 1; i < 100000; ++i) {
    double an = -i * (i - a);
    b += 2;
    d = an * d + b;
    if (std::fabs(d) < kTiny) d = kTiny;
    c = b + an / c;
    if (std::fabs(c) < kTiny) c = kTiny;
    d = 1 / d;
    double del = d * c;
    h *= del;
    if (std::fabs(del - 1) < kEps) break;
  }
  double q = std::min(1.0, front * h);
  return lower ? 1 - q : q;
}

// The continued fraction of the incomplete beta function.
double beta_cf(double a, double b, double x) {
  double qab = a + b, qap = a + 1, qam = a - 1, c = 1, d = 1 - qab * x / qap;
  if (std::fabs(d) < kTiny) d = kTiny;
  d = 1 / d;
  double h = d;
  for (int m = 1; m < 100000; ++m) {
    int m2 = 2 * m;
    double aa = m * (b - m) * x / ((qam + m2) * (a + m2));
    d = 1 + aa * d;
    if (std::fabs(d) < kTiny) d = kTiny;
    c = 1 + aa / c;
    if (std::fabs(c) < kTiny) c = kTiny;
    d = 1 / d;
    h *= d * c;
    aa = -(a + m) * (qab + m) * x / ((a + m2) * (qap + m2));
    d = 1 + aa * d;
    if (std::fabs(d) < kTiny) d = kTiny;
    c = 1 + aa / c;
    if (std::fabs(c) < kTiny) c = kTiny;
    d = 1 / d;
    double del = d * c;
    h *= del;
    if (std::fabs(del - 1) < kEps) break;
  }
  return h;
}

// I_x(a, b), or its complement when lower is false.
double beta_inc(double a, double b, double x, bool lower) {
  if (x <= 0) return lower ? 0 : 1;
  if (x >= 1) return lower ? 1 : 0;
  double front =
      std::exp(std::lgamma(a + b) - std::lgamma(a) - std::lgamma(b) + a * std::log(x) + b * std::log1p(-x));
  if (x < (a + 1) / (a + b + 2)) {
    double v = front * beta_cf(a, b, x) / a;
    return lower ? v : 1 - v;
  }
  double v = front * beta_cf(b, a, 1 - x) / b;
  return lower ? 1 - v : v;
}

// The x in [lo, hi] where the monotone f crosses target. An unbounded
// upper end (hi infinite) is found by doubling from 1.
template <class Fn>
double bisect(Fn f, double target, double lo, double hi, bool increasing) {
  if (std::isinf(hi)) {
    hi = 1;
    for (int i = 0; i < 2100; ++i) {
      double v = f(hi);
      if (std::isnan(v)) return kM;
      if (increasing ? v >= target : v <= target) break;
      lo = hi;
      hi *= 2;
      if (!(hi < kM)) return kM;
    }
  }
  for (int i = 0; i < 400; ++i) {
    double mid = lo + (hi - lo) / 2;
    if (mid <= lo || mid >= hi) break;
    double v = f(mid);
    if (std::isnan(v)) return kM;
    if ((v < target) == increasing)
      lo = mid;
    else
      hi = mid;
    if (hi - lo <= 2 * kEps * std::fabs(hi)) break;
  }
  return lo + (hi - lo) / 2;
}

// sum_j Pois(j; mu) g(j), summed outward from the mode until the weights
// no longer matter.
template <class G>
double poisson_mixture(double mu, G g) {
  if (mu == 0) return g(0.0);
  double j0 = std::floor(mu);
  double w0 = std::exp(-mu + j0 * std::log(mu) - std::lgamma(j0 + 1));
  double sum = w0 * g(j0), w = w0;
  for (double j = j0; j > 0; --j) {
    w *= j / mu;
    double t = w * g(j - 1);
    sum += t;
    if (w < kEps * 1e-2 && j < j0 - 10) break;
  }
  w = w0;
  for (double j = j0 + 1; j < j0 + 1e7; ++j) {
    w *= mu / j;
    sum += w * g(j);
    if (w < kEps * 1e-2 && j > mu) break;
  }
  return std::clamp(sum, 0.0, 1.0);
}

double nchi2_cdf(double df, double np, double x) {
  if (x <= 0) return 0;
  return poisson_mixture(np / 2, [&](double j) { return gamma_inc(df / 2 + j, x / 2, true); });
}
double nF_tail(double df1, double df2, double np, double f) {
  if (f <= 0) return 1;
  double y = df2 / (df2 + df1 * f);
  return poisson_mixture(np / 2, [&](double j) { return beta_inc(df2 / 2, df1 / 2 + j, y, true); });
}
double nbeta_cdf(double a, double b, double np, double x) {
  return poisson_mixture(np / 2, [&](double j) { return beta_inc(a + j, b, x, true); });
}

bool pos(double x) { return x > 0 && x <= kOldMaxShape; }

// P(X >= k) for X binomial(n, p), summing the terms that fall away from
// the mean: upward from k above the mean, else 1 - the sum below k.
double binomial_upper(double n, double k, double p) {
  if (k <= 0) return 1;
  if (k > n) return 0;
  if (p == 0) return 0;
  if (p == 1) return 1;
  double q = 1 - p, lp = std::log(p), lq = std::log1p(-p);
  auto term = [&](double j) {
    return std::exp(std::lgamma(n + 1) - std::lgamma(j + 1) - std::lgamma(n - j + 1) + j * lp + (n - j) * lq);
  };
  if (k > n * p) {
    double t = term(k), sum = t;
    for (double j = k; j < n; ++j) {
      t *= (n - j) / (j + 1) * (p / q);
      sum += t;
      if (t <= kEps * sum * 1e-2) break;  // also when every term underflows
    }
    return std::min(sum, 1.0);
  }
  double t = term(k - 1), sum = t;
  for (double j = k - 1; j > 0; --j) {
    t *= j / (n - j + 1) * (q / p);
    sum += t;
    if (t <= kEps * sum * 1e-2) break;  // also when every term underflows
  }
  return std::max(0.0, 1 - sum);
}

inline bool whole(double x) { return x == std::floor(x) && std::fabs(x) <= 9007199254740992.0; }

}  // namespace

double old_gammap(double a, double x) {
  if (bad(a) || bad(x) || !pos(a)) return kM;
  return gamma_inc(a, x, true);
}
double old_invgammap(double a, double p) {
  if (bad(a) || bad(p) || !pos(a) || !prob(p)) return kM;
  if (p == 0) return 0;
  if (p == 1) return kM;
  return bisect([&](double x) { return gamma_inc(a, x, true); }, p, 0, INFINITY, true);
}
double old_chi2(double df, double x) {
  if (bad(df) || bad(x) || !pos(df)) return kM;
  return gamma_inc(df / 2, x / 2, true);
}
double old_chi2tail(double df, double x) {
  if (bad(df) || bad(x) || !pos(df)) return kM;
  return gamma_inc(df / 2, x / 2, false);
}
double old_invchi2(double df, double p) {
  if (bad(df) || !pos(df)) return kM;
  double g = old_invgammap(df / 2, p);
  return g == kM ? kM : 2 * g;
}
double old_invchi2tail(double df, double p) {
  if (bad(df) || bad(p) || !pos(df) || !prob(p)) return kM;
  if (p == 1) return 0;
  if (p == 0) return kM;
  return 2 * bisect([&](double x) { return gamma_inc(df / 2, x, false); }, p, 0, INFINITY, false);
}

double old_ibeta(double a, double b, double x) {
  if (bad(a) || bad(b) || bad(x) || !pos(a) || !pos(b)) return kM;
  return beta_inc(a, b, x, true);
}
double old_invibeta(double a, double b, double p) {
  if (bad(a) || bad(b) || bad(p) || !pos(a) || !pos(b) || !prob(p)) return kM;
  if (p == 0) return 0;
  if (p == 1) return 1;
  return bisect([&](double x) { return beta_inc(a, b, x, true); }, p, 0, 1, true);
}

double old_F(double df1, double df2, double f) {
  if (bad(df1) || bad(df2) || bad(f) || !pos(df1) || !pos(df2)) return kM;
  if (f <= 0) return 0;
  return beta_inc(df2 / 2, df1 / 2, df2 / (df2 + df1 * f), false);
}
double old_Ftail(double df1, double df2, double f) {
  if (bad(df1) || bad(df2) || bad(f) || !pos(df1) || !pos(df2)) return kM;
  if (f <= 0) return 1;
  return beta_inc(df2 / 2, df1 / 2, df2 / (df2 + df1 * f), true);
}
double old_invF(double df1, double df2, double p) {
  if (bad(df1) || bad(df2) || bad(p) || !pos(df1) || !pos(df2) || !prob(p)) return kM;
  if (p == 0) return 0;
  if (p == 1) return kM;
  // y = df2/(df2 + df1 f) falls as f grows: P(F <= f) = 1 - I_y(df2/2, df1/2).
  double y = bisect([&](double v) { return beta_inc(df2 / 2, df1 / 2, v, false); }, p, 0, 1, false);
  return y > 0 ? df2 * (1 - y) / (df1 * y) : kM;
}
double old_invFtail(double df1, double df2, double p) {
  if (bad(df1) || bad(df2) || bad(p) || !pos(df1) || !pos(df2) || !prob(p)) return kM;
  if (p == 1) return 0;
  if (p == 0) return kM;
  double y = bisect([&](double v) { return beta_inc(df2 / 2, df1 / 2, v, true); }, p, 0, 1, true);
  return y > 0 ? df2 * (1 - y) / (df1 * y) : kM;
}

double old_ttail(double df, double t) {
  if (bad(df) || bad(t) || !pos(df)) return kM;
  double two_sided = beta_inc(df / 2, 0.5, df / (df + t * t), true);
  return t > 0 ? two_sided / 2 : 1 - two_sided / 2;
}
double old_invttail(double df, double p) {
  if (bad(df) || bad(p) || !pos(df) || !open_prob(p)) return kM;
  if (p == 0.5) return 0;
  double tail = p < 0.5 ? p : 1 - p;
  double x = bisect([&](double v) { return beta_inc(df / 2, 0.5, v, true); }, 2 * tail, 0, 1, true);
  if (!(x > 0)) return kM;
  double t = std::sqrt(df * (1 - x) / x);
  return p < 0.5 ? t : -t;
}

double old_invnchi2(double df, double np, double p) {
  if (bad(df) || bad(np) || bad(p) || !pos(df) || !(np >= 0 && np <= kOldMaxNoncentrality) || !prob(p)) return kM;
  if (p == 0) return 0;
  if (p == 1) return kM;
  return bisect([&](double x) { return nchi2_cdf(df, np, x); }, p, 0, INFINITY, true);
}
double old_npnchi2(double df, double x, double p) {
  if (bad(df) || bad(x) || bad(p) || !pos(df) || !(x > 0) || !open_prob(p)) return kM;
  if (p >= nchi2_cdf(df, 0, x) || p <= nchi2_cdf(df, kOldMaxNoncentrality, x)) return kM;
  return bisect([&](double np) { return nchi2_cdf(df, np, x); }, p, 0, kOldMaxNoncentrality, false);
}
double old_invnFtail(double df1, double df2, double np, double p) {
  if (bad(df1) || bad(df2) || bad(np) || bad(p) || !pos(df1) || !pos(df2) ||
      !(np >= 0 && np <= kOldMaxNoncentrality) || !prob(p))
    return kM;
  if (p == 1) return 0;
  if (p == 0) return kM;
  return bisect([&](double f) { return nF_tail(df1, df2, np, f); }, p, 0, INFINITY, false);
}
double old_invnibeta(double a, double b, double np, double p) {
  if (bad(a) || bad(b) || bad(np) || bad(p) || !pos(a) || !pos(b) || !(np >= 0 && np <= kOldMaxNoncentrality) ||
      !prob(p))
    return kM;
  if (p == 0) return 0;
  if (p == 1) return 1;
  return bisect([&](double x) { return nbeta_cdf(a, b, np, x); }, p, 0, 1, true);
}

double old_Binomial(double n, double k, double p) {
  if (bad(n) || bad(k) || bad(p) || !(n >= 0) || !whole(n) || !whole(k) || !prob(p) || n > 1e9) return kM;
  return binomial_upper(n, k, p);
}
double old_invbinomial(double n, double k, double P) {
  if (bad(n) || bad(k) || bad(P) || !whole(n) || !whole(k) || !(k >= 0 && k < n) || n > 1e9 || !open_prob(P))
    return kM;
  // P(X <= k) falls as p grows.
  return bisect([&](double p) { return 1 - binomial_upper(n, k + 1, p); }, P, 0, 1, false);
}

}  // namespace nuvra::fn
