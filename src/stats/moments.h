// Means and cross products of several columns over the observations where
// all of them are present: the core of correlate, pwcorr and the means and
// covariances they report. Two passes (means, then deviations), compensated
// sums, parallel chunks combined in chunk order.
#pragma once
#include <cstdint>
#include <functional>
#include <vector>

#include "data/dataset.h"
#include "base/rc.h"
#include "stats/sample.h"

namespace nuvra::stats {

struct Moments {
  std::int64_t n = 0;          // observations used
  double sum_w = 0;            // sum of weights (n without weights)
  std::vector<double> mean;    // per column
  std::vector<double> cross;   // k x k, row-major: sum of w (x_i - mean_i)(x_j - mean_j)
  std::vector<double> min, max;
};

// An observation is used when every column is non-missing, its weight (if
// any) neither missing nor zero, and skip (if given) is 0 at its position.
// Returns 1 after a Break (out untouched), 909 when memory runs out.
rc_t cross_moments(const std::vector<data::Column>& cols, const Sample& s, const double* weights,
                   const char* skip, int processors, const std::function<bool()>& poll, Moments* out);

// The covariance from a cross product under the variance rule of the
// weight type (aweights scale by n/(n-1), the others divide by sum_w - 1).
inline double covariance(const Moments& m, int i, int j, int weight_type);

}  // namespace nuvra::stats

#include "stats/summarize.h"

namespace nuvra::stats {
inline double covariance(const Moments& m, int i, int j, int weight_type) {
  std::size_t k = m.mean.size();
  return variance_from(m.cross[static_cast<std::size_t>(i) * k + static_cast<std::size_t>(j)], m.sum_w, m.n,
                       weight_type);
}
}  // namespace nuvra::stats
