// summarize run over by-groups with its command line read once.
//
// Under `by`, summarize is a command run once per group whose only
// difference from group to group is its range of observations, when the
// line has no `if`, `in`, weights or operated variables. The prefix then
// reads the line once and runs each group through summarize_group, which
// prints and leaves r() exactly as the full command run for that group.
#pragma once
#include <cstdint>
#include <memory>

#include "interp/rc.h"

namespace nuvra {
class Interp;

struct SummarizeRequest;
struct SummarizeRequestDeleter {
  void operator()(SummarizeRequest* rq) const;
};
using SummarizeRequestPtr = std::unique_ptr<SummarizeRequest, SummarizeRequestDeleter>;

// Reads the command line at the reader's position. Null when the line
// cannot be run this way (it does not read, or its `if`, `in`, weights or
// operated variables depend on the group); the caller then runs the
// command in full for each group.
SummarizeRequestPtr summarize_for_groups(Interp& ip);

// The command for observations first..last, as it runs under by for the
// group of those observations.
rc_t summarize_group(Interp& ip, const SummarizeRequest& rq, std::int64_t first, std::int64_t last);

}  // namespace nuvra
