// The Gauss hypergeometric function 2F1(a, b; c; z) for real arguments.
#include <cmath>

#include "data/functions/distributions.h"
#include "data/functions/math_policy.h"

namespace nuvra::fn {

namespace {

// The power series sum (a)_k (b)_k / ((c)_k k!) z^k for |z| < 1; `.` when
// it has not settled within the term budget.
double series(double a, double b, double c, double z) {
  double sum = 1, term = 1;
  int quiet = 0;
  for (int k = 0; k < 200000; ++k) {
    term *= (a + k) * (b + k) / ((c + k) * (k + 1)) * z;
    if (term == 0) return sum;  // a or b a non-positive integer: a polynomial
    double next = sum + term;
    // Settled once several terms in a row no longer move the sum.
    quiet = next == sum || std::fabs(term) < 1e-17 * std::fabs(next) ? quiet + 1 : 0;
    sum = next;
    if (quiet >= 3) return sum;
    if (!std::isfinite(sum)) return data::kMissing;
  }
  return data::kMissing;
}

bool nonpositive_integer(double x) { return x <= 0 && x == std::floor(x); }

}  // namespace

double hyp2f1(double a, double b, double c, double z) {
  if (nonpositive_integer(c)) return data::kMissing;
  if (z == 0) return 1;
  if (z == 1) {
    // Gauss's sum, where the series converges.
    if (c - a - b <= 0) return data::kMissing;
    return guarded([&] { return std::tgamma(c) * std::tgamma(c - a - b) / (std::tgamma(c - a) * std::tgamma(c - b)); });
  }
  if (z > 1) return data::kMissing;
  if (z < 0) {
    // Pfaff: 2F1(a,b;c;z) = (1-z)^-a 2F1(a, c-b; c; z/(z-1)), whose
    // argument lies in (0, 1), so the series holds for every negative z
    // without alternating terms cancelling.
    double s = series(a, c - b, c, z / (z - 1));
    if (!(s < data::kMissing)) return data::kMissing;
    double r = std::pow(1 - z, -a) * s;
    return std::isfinite(r) ? r : data::kMissing;
  }
  return series(a, b, c, z);
}

}  // namespace nuvra::fn
