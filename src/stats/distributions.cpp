#include "stats/distributions.h"

#include <boost/math/distributions/chi_squared.hpp>
#include <boost/math/distributions/fisher_f.hpp>
#include <boost/math/distributions/students_t.hpp>
#include <boost/math/policies/policy.hpp>
#include <cmath>

#include "data/missing.h"

namespace nuvra::stats {

namespace {

// Domain and overflow problems come back as NaN instead of throwing.
using Quiet = boost::math::policies::policy<
    boost::math::policies::domain_error<boost::math::policies::ignore_error>,
    boost::math::policies::overflow_error<boost::math::policies::ignore_error>,
    boost::math::policies::evaluation_error<boost::math::policies::ignore_error>>;

double checked(double v) { return std::isfinite(v) ? v : data::kMissing; }

}  // namespace

double chi2_tail(double df, double x) {
  if (!(df > 0) || data::is_missing(df) || data::is_missing(x)) return data::kMissing;
  if (x <= 0) return 1.0;
  boost::math::chi_squared_distribution<double, Quiet> d(df);
  return checked(boost::math::cdf(boost::math::complement(d, x)));
}

double t_tail(double df, double t) {
  if (!(df > 0) || data::is_missing(df) || data::is_missing(t)) return data::kMissing;
  boost::math::students_t_distribution<double, Quiet> d(df);
  return checked(boost::math::cdf(boost::math::complement(d, t)));
}

double f_tail(double df1, double df2, double f) {
  if (!(df1 > 0) || !(df2 > 0) || data::is_missing(df1) || data::is_missing(df2) || data::is_missing(f))
    return data::kMissing;
  if (f <= 0) return 1.0;
  boost::math::fisher_f_distribution<double, Quiet> d(df1, df2);
  return checked(boost::math::cdf(boost::math::complement(d, f)));
}

double inv_t_tail(double df, double p) {
  if (!(df > 0) || !(p > 0) || !(p < 1) || data::is_missing(df)) return data::kMissing;
  boost::math::students_t_distribution<double, Quiet> d(df);
  return checked(boost::math::quantile(boost::math::complement(d, p)));
}

}  // namespace nuvra::stats
