// The error policy every special-function kernel calls the math library
// with: no error throws or sets errno; domain errors give NaN, poles and
// overflow infinity, and the kernels turn both into `.`. Doubles are
// computed in double precision (no promotion to long double), so a result
// is the same on machines whose long double differs.
#pragma once

#include <cmath>
#include <exception>

#include <boost/math/policies/policy.hpp>

#include "data/missing.h"

namespace nuvra::fn {

using Pol = boost::math::policies::policy<
    boost::math::policies::domain_error<boost::math::policies::ignore_error>,
    boost::math::policies::pole_error<boost::math::policies::ignore_error>,
    boost::math::policies::overflow_error<boost::math::policies::ignore_error>,
    boost::math::policies::underflow_error<boost::math::policies::ignore_error>,
    boost::math::policies::denorm_error<boost::math::policies::ignore_error>,
    boost::math::policies::evaluation_error<boost::math::policies::ignore_error>,
    boost::math::policies::rounding_error<boost::math::policies::ignore_error>,
    boost::math::policies::indeterminate_result_error<boost::math::policies::ignore_error>,
    boost::math::policies::promote_float<false>, boost::math::policies::promote_double<false>,
    boost::math::policies::discrete_quantile<boost::math::policies::real>>;

// Runs a kernel body: a NaN, an infinity or anything thrown becomes `.`.
// The try block costs nothing unless something is thrown.
template <class Body>
inline double guarded(Body body) {
  try {
    double r = body();
    return (r < data::kMissing && r > -data::kMissing) ? r : data::kMissing;
  } catch (...) {
    return data::kMissing;
  }
}

}  // namespace nuvra::fn
