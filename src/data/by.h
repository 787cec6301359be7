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
// observations; when it returns true the walk stops and the result is
// empty.
std::vector<std::int64_t> group_starts(const Dataset& ds, const std::vector<int>& vars,
                                       const std::function<bool()>& poll = {});

// Whether the recorded sort list begins with `vars`, in order.
bool sort_list_begins_with(const Dataset& ds, const std::vector<int>& vars);

// "g = 1, name = abc": each variable of the group at observation `obs`,
// numbers shown in the variable's format (or its value label), without
// padding.
std::string group_header(const Dataset& ds, const std::vector<int>& vars, std::int64_t obs);

}  // namespace nuvra::data
