// The observations a statistical command works on, and its weights.
//
// The sample comes from the command's `if` condition and `in` range (under
// `by` the range is the current group). When it is one unbroken run of
// observations the passes walk the range; otherwise they walk an array of
// the selected observation numbers. Positions 0 .. size()-1 address it
// either way.
#pragma once
#include <cstdint>
#include <functional>
#include <vector>

#include "base/rc.h"

namespace nuvra {
class Interp;
class CommandLine;
}  // namespace nuvra

namespace nuvra::stats {

struct Sample {
  std::int64_t first = 1;  // first observation of the run (contiguous case)
  std::int64_t count = 0;  // observations in the sample
  bool contiguous = true;
  std::vector<std::int64_t> obs;  // selected observation numbers otherwise

  std::int64_t size() const { return count; }
  // The 0-based row of position pos.
  std::int64_t row(std::int64_t pos) const { return contiguous ? first - 1 + pos : obs[pos] - 1; }
};

// Marks the observations selected by the command line's `if` and `in`.
// Prints messages and returns their codes; 1 after a Break; 909 when the
// observation array cannot be had.
rc_t select_sample(Interp& ip, const CommandLine& cl, Sample* out);

// Evaluates the command line's weight expression at every position of the
// sample (weights[pos]). Fails with 402 on a negative weight (except for
// iweights) and 401 on a non-integer frequency weight, as users expect.
rc_t evaluate_weights(Interp& ip, const CommandLine& cl, const Sample& s, std::vector<double>* weights);

// Room for n doubles that lives across commands (see ColumnInput::gather);
// null when it cannot be had, and the passes then read the data twice.
double* pass_scratch(Interp& ip, std::int64_t n);

// The Break poll a pass hands to thread 0.
std::function<bool()> break_poll(Interp& ip);

}  // namespace nuvra::stats
