// The robust and cluster-robust variance engine of least-squares fits:
// the "meat" of the sandwich variance, summed over observations or over
// clusters, in parallel segments whose cut depends on the data only, so
// that the result is the same for any number of threads.
#pragma once
#include <functional>
#include <vector>

#include "base/rc.h"
#include "data/dataset.h"
#include "stats/fit_rows.h"

namespace nuvra::stats {

enum class Vce { kOls, kRobust, kHc2, kHc3, kCluster };

// The robust "meat": sum over observations (or clusters) of score outer
// products, scores u_i = w_i e_i x_i over the kept columns (indices into
// xv, xv.size() for the constant) with coefficients b; ainv (the inverse of
// the kept block) gives the leverages of hc2 and hc3. Returns the number
// of clusters in *groups when clustering. Both forms run in parallel
// segments, each with its own partial meat, added in segment order.
// `ccode` holds one cluster key per fit position (clustering only).
// Returns 1 when poll() reports a Break.
rc_t robust_meat(data::Dataset& ds, int processors, const std::function<bool()>& poll, const Fit& f,
                 const std::vector<int>& xv, const std::vector<double>& ccode, const std::vector<int>& kept,
                 const std::vector<double>& b, const std::vector<double>& ainv, int yvar, Vce vce, bool fweighted,
                 std::vector<double>* meat, double* groups);

// One key per fit position for the cluster variable: its value, or for a
// string variable the rank of its text among the distinct texts.
void cluster_keys(data::Dataset& ds, const Fit& f, int clustvar, std::vector<double>* out);

}  // namespace nuvra::stats
