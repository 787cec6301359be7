// Tail probabilities and quantiles the descriptive commands report: the
// chi-squared upper tail for tests of independence, Student's t for
// correlation significance and confidence intervals. Arguments outside the
// distributions' domains give a missing value rather than an error.
#pragma once

namespace nuvra::stats {

// P(X > x) for X chi-squared with df degrees of freedom.
double chi2_tail(double df, double x);
// P(T > t) for T Student's t with df degrees of freedom.
double t_tail(double df, double t);
// P(F > f) for F with df1 and df2 degrees of freedom.
double f_tail(double df1, double df2, double f);
// The t with P(T > t) = p.
double inv_t_tail(double df, double p);

}  // namespace nuvra::stats
