// The statistical and special functions of expressions: probability
// distributions (distribution functions, tails, densities, inverses),
// the gamma family, and the link functions.
//
// Every kernel takes and returns doubles and never throws. An argument
// that is missing, or outside the function's domain, gives `.`
// (data::kMissing); so does a result that would overflow. A point outside
// a distribution's support is no error: the distribution function is 0 or
// 1 there and the density 0, as arithmetic says.
//
// The `old_` kernels are the earlier algorithms kept under the names
// _name_old, so that results computed with them can be reproduced; they
// are written here by hand and share nothing with the current ones.
#pragma once

#include "data/missing.h"

namespace nuvra::fn {

inline constexpr double kM = data::kMissing;
// Missing for a kernel's arguments: at or above `.`, infinities, NaN.
inline bool bad(double v) { return !(v < kM && v > -kM); }

// ---- normal
double normal(double z);
double lnnormal(double z);
double invnormal(double p);
double normalden(double z);
double normalden(double x, double sd);
double normalden(double x, double mean, double sd);
double lnnormalden(double z);
double lnnormalden(double x, double sd);
double lnnormalden(double x, double mean, double sd);
double binormal(double h, double k, double rho);

// ---- chi-squared
double chi2(double df, double x);
double chi2tail(double df, double x);
double invchi2(double df, double p);
double invchi2tail(double df, double p);
double nchi2(double df, double np, double x);
double invnchi2(double df, double np, double p);
double npnchi2(double df, double x, double p);
// invchi() of old programs: the inverse of the upper tail.
double invchi_v6(double df, double p);

// ---- F
double F(double df1, double df2, double f);
double Ftail(double df1, double df2, double f);
double invF(double df1, double df2, double p);
double invFtail(double df1, double df2, double p);
double Fden(double df1, double df2, double f);
double nFden(double df1, double df2, double np, double f);
double nFtail(double df1, double df2, double np, double f);
double invnFtail(double df1, double df2, double np, double p);

// ---- t
double ttail(double df, double t);
double invttail(double df, double p);
double tden(double df, double t);
// tprob(): two-sided tail probability of |t|.
double tprob(double df, double t);
// invt() of old programs: the t with probability p between -t and t.
double invt_v6(double df, double p);

// ---- beta
double ibeta(double a, double b, double x);
double ibetatail(double a, double b, double x);
double invibeta(double a, double b, double p);
double invibetatail(double a, double b, double p);
double betaden(double a, double b, double x);
double nbetaden(double a, double b, double np, double x);
double nibeta(double a, double b, double np, double x);
double invnibeta(double a, double b, double np, double p);

// ---- gamma
double gammap(double a, double x);
double gammaptail(double a, double x);
double invgammap(double a, double p);
double invgammaptail(double a, double p);
double gammaden(double a, double b, double g, double x);
double dgammapda(double a, double x);
double dgammapdx(double a, double x);
double dgammapdada(double a, double x);
double dgammapdadx(double a, double x);
double dgammapdxdx(double a, double x);
double lngamma(double x);
double digamma(double x);
double trigamma(double x);
double lnfactorial(double n);
double comb(double n, double k);

// ---- discrete distributions
double binomial(double n, double k, double p);      // P(X <= k)
double binomialtail(double n, double k, double p);  // P(X >= k)
double binomialp(double n, double k, double p);     // P(X == k)
double invbinomial(double n, double k, double P);
double invbinomialtail(double n, double k, double P);
double poisson(double m, double k);
double poissontail(double m, double k);
double poissonp(double m, double k);
double invpoisson(double k, double P);
double invpoissontail(double k, double P);
double nbinomial(double n, double k, double p);
double nbinomialtail(double n, double k, double p);
double nbinomialp(double n, double k, double p);
double invnbinomial(double n, double k, double P);
double invnbinomialtail(double n, double k, double P);
double hypergeometric(double N, double K, double n, double k);
double hypergeometricp(double N, double K, double n, double k);
// Gauss's hypergeometric function 2F1(a, b; c; z) for z <= 1; `.` for
// z > 1, for c a non-positive integer, and at z = 1 where it diverges.
double hyp2f1(double a, double b, double c, double z);

// ---- links
double logit(double x);
double invlogit(double x);
double cloglog(double x);
double invcloglog(double x);

// ---- the earlier algorithms
double old_gammap(double a, double x);
double old_invgammap(double a, double p);
double old_chi2(double df, double x);
double old_chi2tail(double df, double x);
double old_invchi2(double df, double p);
double old_invchi2tail(double df, double p);
double old_ibeta(double a, double b, double x);
double old_invibeta(double a, double b, double p);
double old_F(double df1, double df2, double f);
double old_Ftail(double df1, double df2, double f);
double old_invF(double df1, double df2, double p);
double old_invFtail(double df1, double df2, double p);
double old_ttail(double df, double t);
double old_invttail(double df, double p);
double old_invnchi2(double df, double np, double p);
double old_npnchi2(double df, double x, double p);
double old_invnFtail(double df1, double df2, double np, double p);
double old_invnibeta(double a, double b, double np, double p);
double old_Binomial(double n, double k, double p);  // P(X >= k)
double old_invbinomial(double n, double k, double P);

// Applies f to lanes 0..n-1 of three or four argument rows, writing into
// the first; a missing argument gives `.` without calling f.
template <class Fn>
inline void apply3(double* a, const double* b, const double* c, int n, Fn f) {
  for (int i = 0; i < n; ++i) a[i] = (bad(a[i]) || bad(b[i]) || bad(c[i])) ? kM : f(a[i], b[i], c[i]);
}
template <class Fn>
inline void apply4(double* a, const double* b, const double* c, const double* d, int n, Fn f) {
  for (int i = 0; i < n; ++i)
    a[i] = (bad(a[i]) || bad(b[i]) || bad(c[i]) || bad(d[i])) ? kM : f(a[i], b[i], c[i], d[i]);
}

}  // namespace nuvra::fn
