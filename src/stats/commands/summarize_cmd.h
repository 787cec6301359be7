// summarize run over by-groups with its command line read once.
//
// Under `by`, summarize is a command run once per group whose only
// difference from group to group is its range of observations, when the
// line has no `if`, `in`, weights or operated variables. The prefix then
// reads the line once. Without detailed tables it computes a run of groups
// in one pass over their observations (summarize_groups_pass) and shows
// each group from the results; otherwise it runs each group through
// summarize_group. Either way each group prints and leaves r() exactly as
// the full command run for that group.
#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "interp/rc.h"
#include "stats/summarize.h"

namespace nuvra {
class Interp;

struct SummarizeRequest;
struct SummarizeRequestDeleter {
  void operator()(SummarizeRequest* rq) const;
};
using SummarizeRequestPtr = std::unique_ptr<SummarizeRequest, SummarizeRequestDeleter>;

// Reads the command line at the reader's position, printing nothing. Null
// when the line cannot be run this way (it does not read, or its `if`,
// `in`, weights or operated variables depend on the group); the caller then
// runs the command in full for each group.
SummarizeRequestPtr summarize_for_groups(Interp& ip);

// The command for observations first..last, as it runs under by for the
// group of those observations.
rc_t summarize_group(Interp& ip, const SummarizeRequest& rq, std::int64_t first, std::int64_t last);

// Whether summarize_groups_pass can run the request: no detailed tables.
bool summarize_groups_together(const SummarizeRequest& rq);

// The request over groups g0 .. g1 - 1 of `starts` (as in ByLevel), all
// computed in one pass (stats::summarize_groups, with `check` and the
// by-variables `keys`): out gets
// one summary per group and variable, (g - g0) * variables + i, a string
// variable's showing no observations. Returns 0, 1 on Break, 2 when check
// refused, or prints the message and returns its code.
rc_t summarize_groups_pass(Interp& ip, const SummarizeRequest& rq, const std::vector<std::int64_t>& starts,
                           std::size_t g0, std::size_t g1, const std::vector<int>& keys,
                           const stats::GroupCheck& check, std::vector<stats::Summary>* out);

// What the command prints for a group whose summaries (one per variable)
// are per_var.
void summarize_group_show(Interp& ip, const SummarizeRequest& rq, const stats::Summary* per_var);
// r() as the command leaves it after that group.
void summarize_group_leave(Interp& ip, const SummarizeRequest& rq, const stats::Summary* per_var);

}  // namespace nuvra
