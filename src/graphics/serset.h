// Sersets: copies of some variables of the dataset, held apart from it,
// that graphs draw from; the store that numbers them and knows which one is
// in use; and the sersets derived from others (median bands, splines).
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace nuvra::graphics {

inline constexpr int kSersetMaxVars = 100;
// The most points a cubic spline is fitted through.
inline constexpr std::size_t kSplineMaxKnots = 10000;

struct SersetVar {
  std::string name;
  std::string format;
  bool is_string = false;
  std::vector<double> num;       // numeric values, missing codes kept
  std::vector<std::string> str;  // string values
};

struct Serset {
  int id = 0;
  std::int64_t nobs = 0;
  std::vector<SersetVar> vars;
};

// How observations with missing values are treated when a serset is made.
enum class MissingRule { kDupMiss, kAnyMiss, kAllMiss, kNothing };

// The observations kept, given for each candidate whether any and whether
// all of its numeric variables are missing (a serset with no numeric
// variable has all_missing false for every candidate).
std::vector<std::int64_t> apply_missing_rule(MissingRule rule, const std::vector<std::uint8_t>& any_missing,
                                             const std::vector<std::uint8_t>& all_missing);

// Reorders the observations by the variables at 0-based `keys`, numbers
// ascending with missing last in their own order, strings by bytes; ties
// keep their order.
void sort_serset(Serset* s, const std::vector<int>& keys);

class SersetStore {
 public:
  // The serset in use, or null.
  Serset* in_use();
  int in_use_id() const { return in_use_; }
  Serset* find(int id);
  // Gives the serset the next identifier, makes it the one in use, and
  // returns the identifier.
  int add(Serset s);
  bool set_in_use(int id);
  // Drops one serset; the one in use becomes none.
  bool drop(int id);
  // Drops every serset; identifiers start again from 1.
  void clear();
  int next_id() const { return next_id_; }
  void set_next_id(int id) { next_id_ = id; }
  // The largest identifier held (0 when none).
  int highest_id() const;
  const std::vector<std::unique_ptr<Serset>>& all() const { return sets_; }

 private:
  std::vector<std::unique_ptr<Serset>> sets_;  // in identifier order
  int in_use_ = 0;
  int next_id_ = 1;
};

// Natural cubic spline through (x, y) (x strictly increasing, at least two
// points): `per_interval` equally spaced points on each interval, the knots
// included, into *ox and *oy.
void natural_cspline(const std::vector<double>& x, const std::vector<double>& y, int per_interval,
                     std::vector<double>* ox, std::vector<double>* oy);

// Median bands: the range [xmin, xmax] cut into `bands` bands of equal
// width (of equal width in log x with `logx`); for each band holding
// points, the median x and median y of its points (with `logy`, the
// middle pair of an even count is averaged on the log scale).  Pairs with
// a missing value, and with log scales non-positive values, are left out.
void xmedians(const std::vector<double>& x, const std::vector<double>& y, int bands, double xmin, double xmax,
              bool logx, bool logy, std::vector<double>* mx, std::vector<double>* my);

}  // namespace nuvra::graphics
