// Summary statistics of one numeric column over a sample: the parallel
// two-pass core behind summarize (and the commands built on it), and the
// serial detailed form with percentiles, extremes and higher moments.
#pragma once
#include <cstdint>
#include <functional>
#include <vector>

#include "data/dataset.h"
#include "base/rc.h"
#include "stats/sample.h"

namespace nuvra::stats {

// Results that came out as infinity, NaN or a missing value are `.`.
struct Summary {
  std::int64_t n = 0;  // observations used
  double sum_w = 0;    // sum of weights (n without weights)
  double mean = 0;
  double var = 0;
  double sd = 0;
  double min = 0;
  double max = 0;
  double sum = 0;
};

inline constexpr int kPercentileCount = 9;
inline constexpr double kPercentiles[kPercentileCount] = {1, 5, 10, 25, 50, 75, 90, 95, 99};

struct DetailSummary : Summary {
  double skewness = 0;
  double kurtosis = 0;
  double pct[kPercentileCount] = {};
  double smallest[4] = {};  // 1st .. 4th ordered values
  double largest[4] = {};   // n-th .. (n-3)-th ordered values
};

// What the passes read: a column over a sample, with optional weights (one
// per sample position) of the given type code.
struct ColumnInput {
  data::Column col;
  const Sample* sample = nullptr;
  const double* weights = nullptr;
  int weight_type = 0;
  // Optional room for one value per sample position: the first pass copies
  // the values there and the second reads them back, contiguous, instead of
  // going through the wide rows of the data area again.
  double* gather = nullptr;
};

// The two passes (the second skipped when mean_only). With mean_only, var
// and sd are left `.`. Returns 1 when poll reported a Break (out is then
// untouched), else 0. processors is the count in use (set processors).
rc_t summarize_column(const ColumnInput& in, bool mean_only, int processors, const std::function<bool()>& poll,
                      Summary* out);

// The same two passes for several columns of one sample (the weights and
// sample of ins[0] serve for all), in one walk over the rows instead of one
// per column: a row of the data area holds every variable, so reading all
// of them costs what reading one does. Each column's results are those
// summarize_column gives it, bit for bit. gather fields are not used.
rc_t summarize_columns(const std::vector<ColumnInput>& ins, bool mean_only, int processors,
                       const std::function<bool()>& poll, std::vector<Summary>* out);

// Both passes over each of a run of consecutive groups of observations:
// group g is observations starts[g] .. starts[g + 1] - 1, for g in
// [0, ngroups). out[g * cols.size() + c] is column c over group g, bit for
// bit what summarize_column gives it over that group as a contiguous
// sample with `processors` (the group's chunks are the ones its own pass
// would cut), whichever thread computes it. Unweighted; numeric columns
// only. The groups are shared out whole among the threads, and a group
// long enough to be split on its own is run across them.
// When `check` is given the walk makes sure every observation belongs with
// its group's first: check(first, from, to) tells whether observations
// from..to do, and a false answer stops the walk. With one numeric key
// column in `keys` the walk compares its bytes as it goes and asks check
// only about pieces where some differ; otherwise it asks about every piece.
// Returns 0, 1 on Break, 2 when check refused, 909 when memory ran out.
using GroupCheck = std::function<bool(std::int64_t first, std::int64_t from, std::int64_t to)>;
rc_t summarize_groups(const std::vector<data::Column>& cols, const std::int64_t* starts, std::size_t ngroups,
                      bool mean_only, int processors, const std::function<bool()>& poll,
                      const std::vector<data::Column>& keys, const GroupCheck& check, Summary* out);

// The detailed form, serial. 909 when the ordered copy cannot be had, 1 on
// Break (out untouched).
rc_t summarize_detail(const ColumnInput& in, const std::function<bool()>& poll, DetailSummary* out);

// Percentile p (0..100) of n ordered values, unweighted: with P = n p / 100
// and R = P rounded half up, the mean of the R-th and (R+1)-th values when
// 100 R equals n p (to a relative 1e-15), else the (floor(P)+1)-th value.
double percentile_unweighted(const double* sorted, std::int64_t n, double p);
// Weighted: walks the ordered values until 100 times the running weight
// reaches p times the total; within 1e-7 * 100 * total of it exactly, the
// value and the next one are averaged.
double percentile_weighted(const double* sorted, const double* w, std::int64_t n, double total_w, double p);

// Rearranges v[0..n) so that each listed position holds the value a full
// ascending sort would put there (positions outside 0..n-1 are dropped from
// the list, which is left sorted).
void select_positions(double* v, std::int64_t n, std::vector<std::int64_t>* positions);

// The variance rule shared by every path: missing for n <= 1, aweights
// scale by n/(n-1), the others divide by sum_w - 1.
double variance_from(double ss, double sum_w, std::int64_t n, int weight_type);
// Infinity, NaN and missing values become `.`.
double finite_or_missing(double v);
// The number of observations a statistic counts (N, obs=, the degrees of
// freedom of a test, the divisor of a standard error): frequency weights
// stand for that many repeated observations; other weights leave the count
// of observations used.
double counted_obs(std::int64_t n, double sum_w, int weight_type);

}  // namespace nuvra::stats
