#include "data/functions/distributions.h"

#include <algorithm>
#include <cmath>

#include <boost/math/distributions/beta.hpp>
#include <boost/math/distributions/binomial.hpp>
#include <boost/math/distributions/chi_squared.hpp>
#include <boost/math/distributions/fisher_f.hpp>
#include <boost/math/distributions/negative_binomial.hpp>
#include <boost/math/distributions/non_central_beta.hpp>
#include <boost/math/distributions/non_central_chi_squared.hpp>
#include <boost/math/distributions/non_central_f.hpp>
#include <boost/math/distributions/poisson.hpp>
#include <boost/math/distributions/students_t.hpp>
#include <boost/math/quadrature/exp_sinh.hpp>
#include <boost/math/special_functions/beta.hpp>
#include <boost/math/special_functions/digamma.hpp>
#include <boost/math/special_functions/erf.hpp>
#include <boost/math/special_functions/gamma.hpp>
#include <boost/math/special_functions/trigamma.hpp>

#include "data/functions/math_policy.h"

namespace nuvra::fn {

namespace bm = boost::math;

namespace {

constexpr double kSqrt2 = 1.41421356237309504880;
constexpr double kLnSqrt2Pi = 0.918938533204672741780;  // ln sqrt(2 pi)
constexpr double kInvSqrt2Pi = 0.398942280401432677940;
// Counts and sizes above 2^53 are no longer exact integers.
constexpr double kMaxCount = 9007199254740992.0;
// Non-centrality parameters beyond this take the series too long to
// converge; such values give `.`.
constexpr double kMaxNoncentrality = 1e6;

inline bool whole(double x) { return x == std::floor(x) && std::fabs(x) <= kMaxCount; }
inline bool prob(double p) { return p >= 0 && p <= 1; }
inline bool open_prob(double p) { return p > 0 && p < 1; }
inline bool positive(double x) { return x > 0; }
inline bool noncentrality(double np) { return np >= 0 && np <= kMaxNoncentrality; }
// Shape parameters (degrees of freedom) of the non-central families: the
// series take too long beyond this.
constexpr double kMaxNoncentralShape = 1e10;
inline bool nc_shape(double a) { return a > 0 && a <= kMaxNoncentralShape; }

using Normal = bm::normal_distribution<double, Pol>;
using Chi2 = bm::chi_squared_distribution<double, Pol>;
using NChi2 = bm::non_central_chi_squared_distribution<double, Pol>;
using FDist = bm::fisher_f_distribution<double, Pol>;
using NFDist = bm::non_central_f_distribution<double, Pol>;
using TDist = bm::students_t_distribution<double, Pol>;
using Beta = bm::beta_distribution<double, Pol>;
using NBeta = bm::non_central_beta_distribution<double, Pol>;
using Binom = bm::binomial_distribution<double, Pol>;
using Pois = bm::poisson_distribution<double, Pol>;
using NegBin = bm::negative_binomial_distribution<double, Pol>;

}  // namespace

// ---------------------------------------------------------------- normal

double normal(double z) {
  if (bad(z)) return kM;
  return guarded([&] { return bm::erfc(-z / kSqrt2, Pol()) / 2; });
}

double lnnormal(double z) {
  if (bad(z)) return kM;
  if (z > 5) return guarded([&] { return std::log1p(-bm::erfc(z / kSqrt2, Pol()) / 2); });
  if (z >= -30) return guarded([&] { return std::log(bm::erfc(-z / kSqrt2, Pol()) / 2); });
  // Far in the lower tail the probability underflows; its logarithm does
  // not. Asymptotic series: Phi(z) = phi(z)/|z| * (1 - 1/z^2 + 3/z^4 - ...),
  // whose terms still shrink fast at |z| >= 30.
  double z2 = z * z, term = 1, sum = 1;
  for (int n = 1; n <= 12; ++n) {
    term *= -(2.0 * n - 1) / z2;
    sum += term;
  }
  return -z2 / 2 - kLnSqrt2Pi - std::log(-z) + std::log(sum);
}

double invnormal(double p) {
  if (bad(p) || !open_prob(p)) return kM;
  return guarded([&] { return -bm::erfc_inv(2 * p, Pol()) * kSqrt2; });
}

double normalden(double z) {
  if (bad(z)) return kM;
  return kInvSqrt2Pi * std::exp(-0.5 * z * z);
}
double normalden(double x, double sd) {
  if (bad(x) || bad(sd) || !(sd > 0)) return kM;
  return guarded([&] { return normalden(x / sd) / sd; });
}
double normalden(double x, double mean, double sd) {
  if (bad(x) || bad(mean) || bad(sd) || !(sd > 0)) return kM;
  return guarded([&] { return normalden((x - mean) / sd) / sd; });
}
double lnnormalden(double z) {
  if (bad(z)) return kM;
  return guarded([&] { return -0.5 * z * z - kLnSqrt2Pi; });
}
double lnnormalden(double x, double sd) {
  if (bad(x) || bad(sd) || !(sd > 0)) return kM;
  return guarded([&] { return lnnormalden(x / sd) - std::log(sd); });
}
double lnnormalden(double x, double mean, double sd) {
  if (bad(x) || bad(mean) || bad(sd) || !(sd > 0)) return kM;
  return guarded([&] { return lnnormalden((x - mean) / sd) - std::log(sd); });
}

// ------------------------------------------------------------ chi-squared

double chi2(double df, double x) {
  if (bad(df) || bad(x) || !positive(df)) return kM;
  if (x <= 0) return 0;
  return guarded([&] { return bm::gamma_p(df / 2, x / 2, Pol()); });
}
double chi2tail(double df, double x) {
  if (bad(df) || bad(x) || !positive(df)) return kM;
  if (x <= 0) return 1;
  return guarded([&] { return bm::gamma_q(df / 2, x / 2, Pol()); });
}
double invchi2(double df, double p) {
  if (bad(df) || bad(p) || !positive(df) || !prob(p)) return kM;
  return guarded([&] { return 2 * bm::gamma_p_inv(df / 2, p, Pol()); });
}
double invchi2tail(double df, double p) {
  if (bad(df) || bad(p) || !positive(df) || !prob(p)) return kM;
  return guarded([&] { return 2 * bm::gamma_q_inv(df / 2, p, Pol()); });
}
double invchi_v6(double df, double p) { return invchi2tail(df, p); }

double nchi2(double df, double np, double x) {
  if (bad(df) || bad(np) || bad(x) || !nc_shape(df) || !noncentrality(np)) return kM;
  if (np == 0) return chi2(df, x);
  if (x <= 0) return 0;
  return guarded([&] { return bm::cdf(NChi2(df, np), x); });
}
double invnchi2(double df, double np, double p) {
  if (bad(df) || bad(np) || bad(p) || !nc_shape(df) || !noncentrality(np) || !prob(p)) return kM;
  if (np == 0) return invchi2(df, p);
  if (p == 0) return 0;
  return guarded([&] { return bm::quantile(NChi2(df, np), p); });
}
double npnchi2(double df, double x, double p) {
  if (bad(df) || bad(x) || bad(p) || !nc_shape(df) || !(x > 0) || !open_prob(p)) return kM;
  // The distribution function falls as the non-centrality grows, from
  // its central value: a p at or above that has no solution.
  if (p >= chi2(df, x)) return kM;
  // Nor does one below the value at the largest non-centrality allowed.
  if (p <= nchi2(df, kMaxNoncentrality, x)) return kM;
  double np = guarded([&] { return NChi2::find_non_centrality(df, x, p); });
  return (np >= 0 && np <= kMaxNoncentrality) ? np : kM;
}

// ---------------------------------------------------------------------- F

namespace {
// The x with I_x(a, b) = p (upper: 1 - I_x(a, b) = p), and 1 - x. The
// library's inverse is used when it checks out; in some corners (very
// small p with a shape below 1) its root finder stops short, and then
// the answer is found again by Newton's method on the function itself,
// kept inside a shrinking bracket.
double beta_inv(double a, double b, double p, bool upper, double* comp) {
  double y = 0;
  double x = upper ? bm::ibetac_inv(a, b, p, &y, Pol()) : bm::ibeta_inv(a, b, p, &y, Pol());
  auto f = [&](double t) { return upper ? bm::ibetac(a, b, t, Pol()) : bm::ibeta(a, b, t, Pol()); };
  if (x >= 0 && x <= 1 && std::fabs(f(x) - p) <= 1e-13 * p) {
    *comp = y;
    return x;
  }
  double lo = 0, hi = 1, t = (x > 0 && x < 1) ? x : 0.5;
  for (int it = 0; it < 400; ++it) {
    double r = f(t) - p;
    if (r == 0) break;
    if ((r < 0) != upper)
      lo = t;
    else
      hi = t;
    double d = bm::ibeta_derivative(a, b, t, Pol());
    double next = t - r / (upper ? -d : d);
    if (!(next > lo && next < hi)) next = lo == 0 ? hi / 16 : hi == 1 ? 1 - (1 - lo) / 16 : lo + (hi - lo) / 2;
    if (std::fabs(next - t) <= 2e-16 * next) {
      t = next;
      break;
    }
    t = next;
  }
  *comp = 1 - t;
  return t;
}
}  // namespace

namespace {
// The F with P(F <= f) = p (upper false) or P(F > f) = p. With
// x = df1 f / (df1 f + df2) and y = 1 - x, P(F <= f) = I_x(df1/2, df2/2)
// = 1 - I_y(df2/2, df1/2). The inverse is taken on the side where the
// probability is small, so that neither x nor y is found by
// subtraction from 1; the beta inverse hands back both.
double f_of_tail(double df1, double df2, double p, bool upper) {
  double a = df1 / 2, b = df2 / 2, x = 0, y = 0;
  bool small = p <= 0.5;
  if (!upper)
    small ? (x = beta_inv(a, b, p, false, &y)) : (y = beta_inv(b, a, p, true, &x));
  else
    small ? (y = beta_inv(b, a, p, false, &x)) : (x = beta_inv(a, b, p, true, &y));
  return df2 * x / (df1 * y);
}
}  // namespace

double F(double df1, double df2, double f) {
  if (bad(df1) || bad(df2) || bad(f) || !positive(df1) || !positive(df2)) return kM;
  if (f <= 0) return 0;
  return guarded([&] { return bm::cdf(FDist(df1, df2), f); });
}
double Ftail(double df1, double df2, double f) {
  if (bad(df1) || bad(df2) || bad(f) || !positive(df1) || !positive(df2)) return kM;
  if (f <= 0) return 1;
  return guarded([&] { return bm::cdf(bm::complement(FDist(df1, df2), f)); });
}
double invF(double df1, double df2, double p) {
  if (bad(df1) || bad(df2) || bad(p) || !positive(df1) || !positive(df2) || !prob(p)) return kM;
  return guarded([&] { return f_of_tail(df1, df2, p, false); });
}
double invFtail(double df1, double df2, double p) {
  if (bad(df1) || bad(df2) || bad(p) || !positive(df1) || !positive(df2) || !prob(p)) return kM;
  return guarded([&] { return f_of_tail(df1, df2, p, true); });
}
double Fden(double df1, double df2, double f) {
  if (bad(df1) || bad(df2) || bad(f) || !positive(df1) || !positive(df2)) return kM;
  if (f < 0) return 0;
  return guarded([&] { return bm::pdf(FDist(df1, df2), f); });
}
double nFden(double df1, double df2, double np, double f) {
  if (bad(df1) || bad(df2) || bad(np) || bad(f) || !nc_shape(df1) || !nc_shape(df2) || !noncentrality(np))
    return kM;
  if (f < 0) return 0;
  if (np == 0) return Fden(df1, df2, f);
  return guarded([&] { return bm::pdf(NFDist(df1, df2, np), f); });
}
double nFtail(double df1, double df2, double np, double f) {
  if (bad(df1) || bad(df2) || bad(np) || bad(f) || !nc_shape(df1) || !nc_shape(df2) || !noncentrality(np))
    return kM;
  if (f <= 0) return 1;
  if (np == 0) return Ftail(df1, df2, f);
  return guarded([&] { return bm::cdf(bm::complement(NFDist(df1, df2, np), f)); });
}
double invnFtail(double df1, double df2, double np, double p) {
  if (bad(df1) || bad(df2) || bad(np) || bad(p) || !nc_shape(df1) || !nc_shape(df2) || !noncentrality(np) ||
      !prob(p))
    return kM;
  if (np == 0) return invFtail(df1, df2, p);
  if (p == 1) return 0;
  return guarded([&] { return bm::quantile(bm::complement(NFDist(df1, df2, np), p)); });
}

// ---------------------------------------------------------------------- t

double ttail(double df, double t) {
  if (bad(df) || bad(t) || !positive(df)) return kM;
  return guarded([&] { return bm::cdf(bm::complement(TDist(df), t)); });
}
double invttail(double df, double p) {
  if (bad(df) || bad(p) || !positive(df) || !open_prob(p)) return kM;
  return guarded([&] { return bm::quantile(bm::complement(TDist(df), p)); });
}
double tden(double df, double t) {
  if (bad(df) || bad(t) || !positive(df)) return kM;
  return guarded([&] { return bm::pdf(TDist(df), t); });
}
double tprob(double df, double t) {
  if (bad(df) || bad(t) || !positive(df)) return kM;
  return guarded([&] { return 2 * bm::cdf(bm::complement(TDist(df), std::fabs(t))); });
}
double invt_v6(double df, double p) {
  if (bad(p) || !open_prob(p)) return kM;
  return invttail(df, (1 - p) / 2);
}

// ------------------------------------------------------------------- beta

double ibeta(double a, double b, double x) {
  if (bad(a) || bad(b) || bad(x) || !positive(a) || !positive(b)) return kM;
  if (x <= 0) return 0;
  if (x >= 1) return 1;
  return guarded([&] { return bm::ibeta(a, b, x, Pol()); });
}
double ibetatail(double a, double b, double x) {
  if (bad(a) || bad(b) || bad(x) || !positive(a) || !positive(b)) return kM;
  if (x <= 0) return 1;
  if (x >= 1) return 0;
  return guarded([&] { return bm::ibetac(a, b, x, Pol()); });
}
double invibeta(double a, double b, double p) {
  if (bad(a) || bad(b) || bad(p) || !positive(a) || !positive(b) || !prob(p)) return kM;
  double c;
  return guarded([&] { return beta_inv(a, b, p, false, &c); });
}
double invibetatail(double a, double b, double p) {
  if (bad(a) || bad(b) || bad(p) || !positive(a) || !positive(b) || !prob(p)) return kM;
  double c;
  return guarded([&] { return beta_inv(a, b, p, true, &c); });
}
double betaden(double a, double b, double x) {
  if (bad(a) || bad(b) || bad(x) || !positive(a) || !positive(b)) return kM;
  if (x < 0 || x > 1) return 0;
  return guarded([&] { return bm::pdf(Beta(a, b), x); });
}
double nbetaden(double a, double b, double np, double x) {
  if (bad(a) || bad(b) || bad(np) || bad(x) || !nc_shape(a) || !nc_shape(b) || !noncentrality(np)) return kM;
  if (x < 0 || x > 1) return 0;
  if (np == 0) return betaden(a, b, x);
  return guarded([&] { return bm::pdf(NBeta(a, b, np), x); });
}
double nibeta(double a, double b, double np, double x) {
  if (bad(a) || bad(b) || bad(np) || bad(x) || !nc_shape(a) || !nc_shape(b) || !noncentrality(np)) return kM;
  if (x <= 0) return 0;
  if (x >= 1) return 1;
  if (np == 0) return ibeta(a, b, x);
  return guarded([&] { return bm::cdf(NBeta(a, b, np), x); });
}
double invnibeta(double a, double b, double np, double p) {
  if (bad(a) || bad(b) || bad(np) || bad(p) || !nc_shape(a) || !nc_shape(b) || !noncentrality(np) || !prob(p))
    return kM;
  if (np == 0) return invibeta(a, b, p);
  if (p == 0) return 0;
  if (p == 1) return 1;
  return guarded([&] { return bm::quantile(NBeta(a, b, np), p); });
}

// ------------------------------------------------------------------ gamma

double gammap(double a, double x) {
  if (bad(a) || bad(x) || !positive(a)) return kM;
  if (x <= 0) return 0;
  return guarded([&] { return bm::gamma_p(a, x, Pol()); });
}
double gammaptail(double a, double x) {
  if (bad(a) || bad(x) || !positive(a)) return kM;
  if (x <= 0) return 1;
  return guarded([&] { return bm::gamma_q(a, x, Pol()); });
}
double invgammap(double a, double p) {
  if (bad(a) || bad(p) || !positive(a) || !prob(p)) return kM;
  return guarded([&] { return bm::gamma_p_inv(a, p, Pol()); });
}
double invgammaptail(double a, double p) {
  if (bad(a) || bad(p) || !positive(a) || !prob(p)) return kM;
  return guarded([&] { return bm::gamma_q_inv(a, p, Pol()); });
}
double gammaden(double a, double b, double g, double x) {
  if (bad(a) || bad(b) || bad(g) || bad(x) || !positive(a) || !positive(b)) return kM;
  if (x < g) return 0;
  return guarded([&] { return bm::gamma_p_derivative(a, (x - g) / b, Pol()) / b; });
}
double dgammapdx(double a, double x) {
  if (bad(a) || bad(x) || !positive(a)) return kM;
  if (x < 0) return 0;
  return guarded([&] { return bm::gamma_p_derivative(a, x, Pol()); });
}
double dgammapdxdx(double a, double x) {
  if (bad(a) || bad(x) || !positive(a)) return kM;
  if (x < 0) return 0;
  if (x == 0) return a > 2 ? 0 : a == 2 ? 1 : a == 1 ? -1 : kM;
  return guarded([&] { return bm::gamma_p_derivative(a, x, Pol()) * ((a - 1) / x - 1); });
}
double dgammapdadx(double a, double x) {
  if (bad(a) || bad(x) || !positive(a)) return kM;
  if (x < 0) return 0;
  if (x == 0) return a > 1 ? 0 : kM;
  return guarded([&] { return bm::gamma_p_derivative(a, x, Pol()) * (std::log(x) - bm::digamma(a, Pol())); });
}

namespace {

// First and second derivatives of P(a, x) with respect to a.
//
// Below the bulk of the distribution (x <= a + 1) from the series
//   P(a,x) = sum_n t_n,  t_n = x^(a+n) e^-x / Gamma(a+n+1),
// differentiated term by term: t_n' = t_n (ln x - psi(a+n+1)); psi and
// psi' of a+n+1 follow by recurrence. Above it the series cancels badly,
// so the upper tail Q = 1 - P is differentiated under its integral,
//   dQ/da = 1/Gamma(a) int_x^inf (ln t - psi(a)) t^(a-1) e^-t dt,
// whose integrand keeps one sign over most of the range, and integrated
// by the exp-sinh rule.
void dgammap_da(double a, double x, double* d1, double* d2) {
  double lx = std::log(x);
  if (x <= a + 1) {
    double t = std::exp(a * lx - x - bm::lgamma(a + 1, Pol()));
    double psi = bm::digamma(a + 1, Pol()), tri = bm::trigamma(a + 1, Pol());
    double s1 = 0, s2 = 0;
    for (int n = 0; n < 100000; ++n) {
      double u = lx - psi;
      double c1 = t * u, c2 = t * (u * u - tri);
      s1 += c1;
      s2 += c2;
      if (std::fabs(c1) <= 1e-17 * std::fabs(s1) && std::fabs(c2) <= 1e-17 * std::fabs(s2) && n > 2) break;
      if (t == 0) break;
      double an = a + n + 1;
      t *= x / an;
      psi += 1 / an;
      tri -= 1 / (an * an);
    }
    *d1 = s1;
    *d2 = s2;
    return;
  }
  double psi = bm::digamma(a, Pol()), tri = bm::trigamma(a, Pol()), lg = bm::lgamma(a, Pol());
  auto density = [&](double u) {
    double t = x + u;
    return std::exp((a - 1) * std::log(t) - t - lg);
  };
  bm::quadrature::exp_sinh<double> rule;
  double i1 = rule.integrate(
      [&](double u) {
        double w = density(u);
        return w == 0 ? 0.0 : w * (std::log(x + u) - psi);
      },
      1e-13);
  double i2 = rule.integrate(
      [&](double u) {
        double w = density(u);
        if (w == 0) return 0.0;
        double l = std::log(x + u) - psi;
        return w * (l * l - tri);
      },
      1e-13);
  *d1 = -i1;
  *d2 = -i2;
}

}  // namespace

double dgammapda(double a, double x) {
  if (bad(a) || bad(x) || !positive(a)) return kM;
  if (x <= 0) return 0;
  return guarded([&] {
    double d1, d2;
    dgammap_da(a, x, &d1, &d2);
    return d1;
  });
}
double dgammapdada(double a, double x) {
  if (bad(a) || bad(x) || !positive(a)) return kM;
  if (x <= 0) return 0;
  return guarded([&] {
    double d1, d2;
    dgammap_da(a, x, &d1, &d2);
    return d2;
  });
}

// Poles at 0 and the negative integers.
inline bool pole(double x) { return x <= 0 && x == std::floor(x); }

double lngamma(double x) {
  if (bad(x) || pole(x)) return kM;
  return guarded([&] { return bm::lgamma(x, Pol()); });
}
double digamma(double x) {
  if (bad(x) || pole(x)) return kM;
  return guarded([&] { return bm::digamma(x, Pol()); });
}
double trigamma(double x) {
  if (bad(x) || pole(x)) return kM;
  return guarded([&] { return bm::trigamma(x, Pol()); });
}
double lnfactorial(double n) {
  if (bad(n) || !(n >= 0) || n != std::floor(n)) return kM;
  return guarded([&] { return bm::lgamma(n + 1, Pol()); });
}
double comb(double n, double k) {
  if (bad(n) || bad(k) || !(n >= 0) || !(k >= 0) || n != std::floor(n) || k != std::floor(k)) return kM;
  if (k > n) return 0;
  double m = std::min(k, n - k);
  if (m < 1000) {
    // The running product is an exact binomial coefficient at every step
    // while it stays below 2^53; rounding removes the division's error.
    double r = 1;
    for (double i = 1; i <= m; ++i) {
      r = r * (n - m + i) / i;
      if (!(r < kM)) return kM;
      if (r < kMaxCount) r = std::nearbyint(r);
    }
    return r;
  }
  return guarded([&] {
    double r = std::exp(bm::lgamma(n + 1, Pol()) - bm::lgamma(k + 1, Pol()) - bm::lgamma(n - k + 1, Pol()));
    return r < kMaxCount ? std::nearbyint(r) : r;
  });
}

// --------------------------------------------------------------- discrete

double binomial(double n, double k, double p) {
  if (bad(n) || bad(k) || bad(p) || !(n >= 0) || !whole(n) || !whole(k) || !prob(p)) return kM;
  if (k < 0) return 0;
  if (k >= n) return 1;
  return guarded([&] { return bm::cdf(Binom(n, p), k); });
}
double binomialtail(double n, double k, double p) {
  if (bad(n) || bad(k) || bad(p) || !(n >= 0) || !whole(n) || !whole(k) || !prob(p)) return kM;
  if (k <= 0) return 1;
  if (k > n) return 0;
  return guarded([&] { return bm::cdf(bm::complement(Binom(n, p), k - 1)); });
}
double binomialp(double n, double k, double p) {
  if (bad(n) || bad(k) || bad(p) || !(n >= 0) || !whole(n) || !whole(k) || !prob(p)) return kM;
  if (k < 0 || k > n) return 0;
  return guarded([&] { return bm::pdf(Binom(n, p), k); });
}
double invbinomial(double n, double k, double P) {
  if (bad(n) || bad(k) || bad(P) || !whole(n) || !whole(k) || !(k >= 0 && k < n) || !open_prob(P)) return kM;
  // P(X <= k) = 1 - I_p(k+1, n-k): solve the regularised beta for p.
  double c;
  return guarded([&] { return beta_inv(k + 1, n - k, P, true, &c); });
}
double invbinomialtail(double n, double k, double P) {
  if (bad(n) || bad(k) || bad(P) || !whole(n) || !whole(k) || !(k >= 1 && k <= n) || !open_prob(P)) return kM;
  // P(X >= k) = I_p(k, n-k+1).
  double c;
  return guarded([&] { return beta_inv(k, n - k + 1, P, false, &c); });
}

double poisson(double m, double k) {
  if (bad(m) || bad(k) || !(m >= 0) || m > kMaxCount || !whole(k)) return kM;
  if (k < 0) return 0;
  if (m == 0) return 1;
  return guarded([&] { return bm::gamma_q(k + 1, m, Pol()); });
}
double poissontail(double m, double k) {
  if (bad(m) || bad(k) || !(m >= 0) || m > kMaxCount || !whole(k)) return kM;
  if (k <= 0) return 1;
  if (m == 0) return 0;
  return guarded([&] { return bm::gamma_p(k, m, Pol()); });
}
double poissonp(double m, double k) {
  if (bad(m) || bad(k) || !(m >= 0) || m > kMaxCount || !whole(k)) return kM;
  if (k < 0) return 0;
  if (m == 0) return k == 0 ? 1 : 0;
  return guarded([&] { return bm::pdf(Pois(m), k); });
}
double invpoisson(double k, double P) {
  if (bad(k) || bad(P) || !whole(k) || !(k >= 0) || !open_prob(P)) return kM;
  // P(X <= k) = Q(k+1, m).
  return guarded([&] { return bm::gamma_q_inv(k + 1, P, Pol()); });
}
double invpoissontail(double k, double P) {
  if (bad(k) || bad(P) || !whole(k) || !(k >= 1) || !open_prob(P)) return kM;
  // P(X >= k) = P(k, m).
  return guarded([&] { return bm::gamma_p_inv(k, P, Pol()); });
}

double nbinomial(double n, double k, double p) {
  if (bad(n) || bad(k) || bad(p) || !positive(n) || !whole(k) || !(p > 0 && p <= 1)) return kM;
  if (k < 0) return 0;
  return guarded([&] { return bm::ibeta(n, k + 1, p, Pol()); });
}
double nbinomialtail(double n, double k, double p) {
  if (bad(n) || bad(k) || bad(p) || !positive(n) || !whole(k) || !(p > 0 && p <= 1)) return kM;
  if (k <= 0) return 1;
  if (p == 1) return 0;
  return guarded([&] { return bm::ibetac(n, k, p, Pol()); });
}
double nbinomialp(double n, double k, double p) {
  if (bad(n) || bad(k) || bad(p) || !positive(n) || !whole(k) || !(p > 0 && p <= 1)) return kM;
  if (k < 0) return 0;
  if (p == 1) return k == 0 ? 1 : 0;
  return guarded([&] { return bm::pdf(NegBin(n, p), k); });
}
double invnbinomial(double n, double k, double P) {
  if (bad(n) || bad(k) || bad(P) || !positive(n) || !whole(k) || !(k >= 0) || !open_prob(P)) return kM;
  double c;
  return guarded([&] { return beta_inv(n, k + 1, P, false, &c); });
}
double invnbinomialtail(double n, double k, double P) {
  if (bad(n) || bad(k) || bad(P) || !positive(n) || !whole(k) || !(k >= 1) || !open_prob(P)) return kM;
  double c;
  return guarded([&] { return beta_inv(n, k, P, true, &c); });
}

namespace {
// Population sizes the hypergeometric kernels accept: the distribution
// function's work grows with the square root of the population.
constexpr double kMaxPopulation = 1e12;
bool hyper_args(double N, double K, double n, double k) {
  if (bad(N) || bad(K) || bad(n) || bad(k)) return false;
  if (!whole(N) || !whole(K) || !whole(n) || !whole(k)) return false;
  return N >= 1 && N <= kMaxPopulation && K >= 0 && K <= N && n >= 0 && n <= N;
}
// P(X = k) inside the support with 0 < n < N, as a ratio of three
// binomial probabilities at p = n/N, whose powers of p and 1-p cancel:
// C(K,k) C(N-K,n-k) / C(N,n). Each binomial probability is computed
// without forming factorials, and the denominator sits at its mode.
double hyper_pmf(double N, double K, double n, double k) {
  double p = n / N;
  return bm::pdf(Binom(K, p), k) * bm::pdf(Binom(N - K, p), n - k) / bm::pdf(Binom(N, p), n);
}
}  // namespace

double hypergeometric(double N, double K, double n, double k) {
  if (!hyper_args(N, K, n, k)) return kM;
  double lo = std::max(0.0, n + K - N), hi = std::min(n, K);
  if (k < lo) return 0;
  if (k >= hi) return 1;
  // Summed from k away from the mode, where the terms fall off fast, so
  // the work is bounded by the spread and not by the size of the support:
  // below the mode the lower tail itself, above it 1 - the upper tail.
  return guarded([&] {
    double mode = std::floor((n + 1) * (K + 1) / (N + 2));
    bool lower = k < mode;
    double j = lower ? k : k + 1;
    double t = hyper_pmf(N, K, n, j), sum = t;
    while (lower ? j > lo : j < hi) {
      if (lower) {
        t *= j * (N - K - n + j) / ((K - j + 1) * (n - j + 1));
        j -= 1;
      } else {
        t *= (K - j) * (n - j) / ((j + 1) * (N - K - n + j + 1));
        j += 1;
      }
      sum += t;
      if (t <= 1e-18 * sum) break;
    }
    return lower ? std::min(sum, 1.0) : std::max(0.0, 1 - sum);
  });
}
double hypergeometricp(double N, double K, double n, double k) {
  if (!hyper_args(N, K, n, k)) return kM;
  double lo = std::max(0.0, n + K - N), hi = std::min(n, K);
  if (k < lo || k > hi) return 0;
  if (lo == hi) return 1;
  return guarded([&] { return hyper_pmf(N, K, n, k); });
}

// ------------------------------------------------------------------ links

double logit(double x) {
  if (bad(x) || !open_prob(x)) return kM;
  return std::log(x / (1 - x));
}
double invlogit(double x) {
  if (bad(x)) return kM;
  if (x >= 0) return 1 / (1 + std::exp(-x));
  double e = std::exp(x);
  return e / (1 + e);
}
double cloglog(double x) {
  if (bad(x) || !open_prob(x)) return kM;
  return std::log(-std::log1p(-x));
}
double invcloglog(double x) {
  if (bad(x)) return kM;
  return -std::expm1(-std::exp(x));
}

}  // namespace nuvra::fn
