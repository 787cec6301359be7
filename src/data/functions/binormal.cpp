// The bivariate normal distribution function, which the math library
// lacks: Genz's BVND method (A. Genz, "Numerical computation of
// rectangular bivariate and trivariate normal and t probabilities",
// Statistics and Computing 14, 2004), itself a refinement of the
// Drezner-Wesolowsky algorithm (Z. Drezner and G. O. Wesolowsky, "On the
// computation of the bivariate normal integral", J. Statist. Comput.
// Simul. 35, 1990). For |rho| < 0.925 it integrates Plackett's formula
// over the angle asin(rho) with Gauss-Legendre rules of 6, 12 or 20
// points; nearer |rho| = 1 it integrates the remainder after an
// asymptotic expansion. The absolute error is below 1e-15.
#include <algorithm>
#include <array>
#include <cmath>

#include "data/functions/distributions.h"

namespace nuvra::fn {
namespace {

constexpr double kPi = 3.14159265358979323846;

// The positive half of an n-point Gauss-Legendre rule on [-1, 1] (n
// even), by Newton's method on the Legendre polynomial P_n.
template <int N>
struct Rule {
  std::array<double, N / 2> x{}, w{};
  Rule() {
    for (int i = 0; i < N / 2; ++i) {
      double z = std::cos(kPi * (i + 0.75) / (N + 0.5)), pp = 0;
      for (int it = 0; it < 100; ++it) {
        double p1 = 1, p2 = 0;
        for (int j = 1; j <= N; ++j) {
          double p3 = p2;
          p2 = p1;
          p1 = ((2.0 * j - 1) * z * p2 - (j - 1.0) * p3) / j;
        }
        pp = N * (z * p1 - p2) / (z * z - 1);
        double z1 = z;
        z = z1 - p1 / pp;
        if (std::fabs(z - z1) < 1e-16) break;
      }
      x[i] = z;
      w[i] = 2 / ((1 - z * z) * pp * pp);
    }
  }
};

const Rule<6> kRule6;
const Rule<12> kRule12;
const Rule<20> kRule20;

double phid(double z) { return normal(z); }

// P(X > dh, Y > dk) for standard normals with correlation r.
template <int N>
double bvnu(double h, double k, double r, const Rule<N>& rule) {
  const double tp = 2 * kPi;
  double hk = h * k, bvn = 0;
  // The nodes of the rule mapped to (0, 2): 1 - x and 1 + x.
  if (std::fabs(r) < 0.925) {
    double hs = (h * h + k * k) / 2, asr = std::asin(r) / 2;
    for (int i = 0; i < N / 2; ++i) {
      for (double x : {1 - rule.x[i], 1 + rule.x[i]}) {
        double sn = std::sin(asr * x);
        bvn += rule.w[i] * std::exp((sn * hk - hs) / (1 - sn * sn));
      }
    }
    return bvn * asr / tp + phid(-h) * phid(-k);
  }
  if (r < 0) {
    k = -k;
    hk = -hk;
  }
  if (std::fabs(r) < 1) {
    double as = (1 - r) * (1 + r), a = std::sqrt(as), bs = (h - k) * (h - k);
    double asr = -(bs / as + hk) / 2, c = (4 - hk) / 8, d = (12 - hk) / 80;
    if (asr > -100) bvn = a * std::exp(asr) * (1 - c * (bs - as) * (1 - d * bs) / 3 + c * d * as * as);
    if (hk > -100) {
      double b = std::sqrt(bs), sp = std::sqrt(tp) * phid(-b / a);
      bvn -= std::exp(-hk / 2) * sp * b * (1 - c * bs * (1 - d * bs) / 3);
    }
    a /= 2;
    double sum = 0;
    for (int i = 0; i < N / 2; ++i) {
      for (double x : {1 - rule.x[i], 1 + rule.x[i]}) {
        double xs = (a * x) * (a * x), asr2 = -(bs / xs + hk) / 2;
        if (!(asr2 > -100)) continue;
        double sp = 1 + c * xs * (1 + 5 * d * xs), rs = std::sqrt(1 - xs);
        double ep = std::exp(-(hk / 2) * xs / ((1 + rs) * (1 + rs))) / rs;
        sum += rule.w[i] * std::exp(asr2) * (sp - ep);
      }
    }
    bvn = (a * sum - bvn) / tp;
  }
  if (r > 0) return bvn + phid(-std::max(h, k));
  if (h >= k) return -bvn;
  double l = h < 0 ? phid(k) - phid(h) : phid(-h) - phid(-k);
  return l - bvn;
}

}  // namespace

double binormal(double h, double k, double rho) {
  if (bad(h) || bad(k) || bad(rho) || !(std::fabs(rho) <= 1)) return kM;
  // Beyond 39 standard deviations both margins are 0 or 1 to double
  // precision; clamping keeps h*k finite.
  h = std::clamp(h, -39.0, 39.0);
  k = std::clamp(k, -39.0, 39.0);
  double p;
  if (rho == 0)
    p = phid(h) * phid(k);
  else if (std::fabs(rho) < 0.3)
    p = bvnu(-h, -k, rho, kRule6);
  else if (std::fabs(rho) < 0.75)
    p = bvnu(-h, -k, rho, kRule12);
  else
    p = bvnu(-h, -k, rho, kRule20);
  return std::clamp(p, 0.0, 1.0);
}

}  // namespace nuvra::fn
