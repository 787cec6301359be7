// The data side of by-groups: finding the groups, checking the recorded
// order, and the header line that names a group.
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "data/dataset.h"

namespace nuvra::data {

// The groups of the dataset over `vars`: maximal runs of neighbouring
// observations equal on every variable (under the sort comparison). The
// result holds the first observation of each group followed by nobs + 1,
// so group g is starts[g] .. starts[g + 1] - 1; with no observations it is
// {1} (no group). `poll` (when given) is called every few thousand
// observations, from the calling thread only; when it returns true the
// walk stops and the result is empty. Up to `threads` threads share the
// walk on a long dataset; the result does not depend on how many.
std::vector<std::int64_t> group_starts(const Dataset& ds, const std::vector<int>& vars,
                                       const std::function<bool()>& poll = {}, int threads = 1);

// group_starts for data whose equal keys are neighbours, as in data sorted
// on `vars`: the end of each group is found by steps that double and then
// halve, reading a few observations of a group rather than all of them.
// Where a key comes back after another (a sort order recorded for data that
// were changed since) the result may differ from group_starts: every group
// it gives whose observations all match its first (rows_match) is one
// group_starts gives too.
std::vector<std::int64_t> sorted_group_starts(const Dataset& ds, const std::vector<int>& vars);

// Whether observations from..to all equal observation `ref` on `vars`, as
// group_starts compares them. Reads only; safe from several threads.
bool rows_match(const Dataset& ds, const std::vector<int>& vars, std::int64_t ref, std::int64_t from,
                std::int64_t to);

// Whether the recorded sort list begins with `vars`, in order.
bool sort_list_begins_with(const Dataset& ds, const std::vector<int>& vars);

// "g = 1, name = abc": each variable of the group at observation `obs`,
// numbers shown in the variable's format (or its value label), without
// padding.
std::string group_header(const Dataset& ds, const std::vector<int>& vars, std::int64_t obs);

}  // namespace nuvra::data
