// The state of the `by` prefix that commands and the expression evaluator
// read: the nested by-levels with their group tables, and the observation
// window a command run under `by` works on.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

namespace nuvra {

struct ByLevel {
  std::vector<int> vars;              // the grouping variables
  std::vector<std::int64_t> starts;   // first observation of each group, then nobs + 1
  std::size_t group = 0;              // the group being run (0-based)
  bool rc0 = false;
  bool once = false;                  // the command runs once over all groups
  int frame = -1;                     // frame depth of a byable program called for it
  std::size_t groups() const { return starts.empty() ? 0 : starts.size() - 1; }
};

struct ByState {
  std::vector<ByLevel> levels;  // innermost last
  // While a built-in command runs under `by`, `applied` is set: the command
  // sees observations first..last (the current group, or every observation
  // for a command that runs once), and the evaluator takes _n, _N and
  // subscripts relative to each observation's group. Programs called under
  // `by` run with it cleared: they see the whole dataset.
  bool applied = false;
  std::int64_t first = 1, last = 0;
};

}  // namespace nuvra
