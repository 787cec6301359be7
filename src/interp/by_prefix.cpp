// The by prefix:  by varlist [(varlist)] [, sort rc0] : command
//                 bysort varlist [(varlist)] [, rc0] : command
//
// The groups are the maximal runs of neighbouring observations equal on the
// variables before the parentheses; those inside must follow them in the
// recorded sort order but do not split groups.
//
// How a command runs under the prefix depends on what it is:
//  - a built-in that reports on a sample (list, count, display, summarize,
//    tabulate, tab1, tab2) runs once per group, with a header naming the group before each run.
//    The interpreter's observation window (Interp::obs_first/obs_last) is
//    the group, and the standard parse hands that window out as the range
//    of a command given no `in`; so a command that keeps to its range works
//    group by group without knowing about groups;
//  - a built-in that changes the data (generate, replace, drop, keep) or
//    checks it (assert) runs once over every observation, and the
//    expression evaluator takes _n, _N, subscripts and sum() within the
//    group of each observation;
//  - a program defined byable(recall) is called once per group (with the
//    header unless noheader); one defined byable(onecall) is called once.
//    Programs see the whole dataset; _by(), _byindex(), _bylastcall(),
//    _byn1() and _byn2() tell them where they are.
// Output prefixes (quietly, noisily, capture) between the colon and the
// command are passed over when deciding how the command runs; they are then
// run as written, once per group, around it.
// The global !BY<depth> holds the rc0 flag and the variables' names while a
// built-in runs; rc0 lets the remaining groups run after one fails.
#include <new>
#include <string>
#include <vector>

#include "data/by.h"
#include "data/dataset.h"
#include "data/commands/sort.h"
#include "data/varlist.h"
#include "interp/builtins.h"
#include "interp/interp.h"
#include "interp/messages.h"
#include "data/names.h"
#include "interp/programs.h"
#include "stats/commands/summarize_cmd.h"

namespace nuvra {
namespace {

constexpr std::size_t kMaxByNesting = 100;

enum class ByMode { kRefused, kPerGroup, kOnce };

// The built-ins that accept the prefix, by full name.
ByMode builtin_mode(std::string_view name) {
  static constexpr std::string_view kPerGroup[] = {"list",     "count", "display", "summarize",
                                                   "tabulate", "tab1",  "tab2"};
  static constexpr std::string_view kOnce[] = {"generate", "replace", "drop", "keep", "assert"};
  for (std::string_view n : kPerGroup)
    if (n == name) return ByMode::kPerGroup;
  for (std::string_view n : kOnce)
    if (n == name) return ByMode::kOnce;
  return ByMode::kRefused;
}

rc_t read_vars(Interp& ip, std::string_view text, std::vector<int>* out) {
  data::VarlistFailure fail;
  if (rc_t rc = data::read_varlist(ip.dataset, text, out, &fail, data::kVarlistUnique))
    return msg_quoting(ip.out, "", fail.message, "\n", rc);
  return 0;
}

void print_header(Interp& ip, const std::vector<int>& vars, std::int64_t obs) {
  ip.out.set_class(output::OutClass::Text);
  // Under quietly none of it would be shown: the name is not made.
  if (!ip.out.showing()) return;
  ip.out.print_markup("{hline}\n-> ");
  ip.out.print_plain(data::group_header(ip.dataset, vars, obs));
  ip.out.print_markup("\n");
}

// Puts the interpreter's by-state back however the run ends.
class ByScope {
 public:
  ByScope(Interp& ip, ByLevel level, const std::string& macro, const std::string& value)
      : ip_(ip),
        macro_(macro),
        applied_(ip.by.applied),
        first_(ip.by.first),
        last_(ip.by.last),
        by_active_(ip.by_active) {
    ip.by.levels.push_back(std::move(level));
    ip.macros.set_global(macro_, value);
  }
  ~ByScope() {
    ip_.macros.drop_global(macro_);
    ip_.by.levels.pop_back();
    ip_.by.applied = applied_;
    ip_.by.first = first_;
    ip_.by.last = last_;
    ip_.by_active = by_active_;
  }
  ByScope(const ByScope&) = delete;
  ByScope& operator=(const ByScope&) = delete;

 private:
  Interp& ip_;
  std::string macro_;
  bool applied_;
  std::int64_t first_, last_;
  bool by_active_;
};

// Groups computed together at a time: their summaries are held until shown.
constexpr std::size_t kGroupsTogether = 16384;

// summarize over every group of by-level li, the groups computed a run at a
// time in one pass over their observations, then each shown after its
// header as the command run for it would show it; r() is left as the last
// group shown left it. The level's group ends were found from a few
// observations each (data::sorted_group_starts): the pass checks each
// observation against its group's first, and should one not match (data
// changed since they were sorted) the ends are found again from every
// observation, which leaves the groups already shown as they were.
template <class EnterGroup>
rc_t summarize_together(Interp& ip, const SummarizeRequest& rq, const std::vector<int>& vars, std::size_t li,
                        EnterGroup&& enter_group) {
  auto L = [&ip, li]() -> ByLevel& { return ip.by.levels[li]; };
  const data::Dataset& ds = ip.dataset;
  stats::GroupCheck check = [&ds, &vars](std::int64_t first, std::int64_t from, std::int64_t to) {
    return data::rows_match(ds, vars, first, from, to);
  };
  std::vector<stats::Summary> sums;
  for (std::size_t g0 = 0; g0 < L().groups();) {
    const std::size_t g1 = std::min(L().groups(), g0 + kGroupsTogether);
    rc_t rc = summarize_groups_pass(ip, rq, L().starts, g0, g1, vars, check, &sums);
    if (rc == 2) {
      L().starts = data::group_starts(ds, vars, [&ip] { return ip.poll_break(); }, ip.processors);
      if (L().starts.empty()) return kBreak;
      check = nullptr;
      continue;
    }
    if (rc) return rc;
    const std::size_t k = sums.size() / (g1 - g0);
    for (std::size_t g = g0; g < g1; ++g) {
      if (ip.poll_break()) {
        if (g > g0) summarize_group_leave(ip, rq, &sums[(g - 1 - g0) * k]);
        return kBreak;
      }
      print_header(ip, vars, L().starts[g]);
      enter_group(g);
      summarize_group_show(ip, rq, &sums[(g - g0) * k]);
    }
    summarize_group_leave(ip, rq, &sums[(g1 - 1 - g0) * k]);
    g0 = g1;
  }
  return 0;
}

}  // namespace

rc_t cmd_by(Interp& ip) {
  const bool bysort = ip.command_name == "bysort";
  std::string_view rest = ip.reader.rest();
  std::size_t colon = rest.find(':');
  if (colon == std::string_view::npos) return msg_invalid(ip, "syntax");
  const std::size_t command_pos = static_cast<std::size_t>(rest.data() - ip.cmdbuf.data()) + colon + 1;
  std::string_view head = rest.substr(0, colon);

  // Options after a comma.
  bool sort = bysort, rc0 = false;
  std::size_t comma = head.find(',');
  if (comma != std::string_view::npos) {
    std::string_view opts = head.substr(comma + 1);
    head = head.substr(0, comma);
    while (!(opts = trim(opts)).empty()) {
      std::size_t end = 0;
      while (end < opts.size() && opts[end] != ' ' && opts[end] != '\t') ++end;
      std::string_view w = opts.substr(0, end);
      opts.remove_prefix(end);
      if (abbreviates(w, "sort", 1))
        sort = true;
      else if (w == "rc0")
        rc0 = true;
      else
        return msg_quoting(ip.out, "option ", w, " not allowed\n", 198);
    }
  }
  // Grouping variables, then at most one parenthesised list.
  std::string_view group_text = head, order_text;
  std::size_t open = head.find('(');
  if (open != std::string_view::npos) {
    std::size_t close = head.find(')', open);
    if (close == std::string_view::npos) return msg_invalid(ip, "syntax");
    group_text = head.substr(0, open);
    order_text = head.substr(open + 1, close - open - 1);
    std::string_view after = head.substr(close + 1);
    if (!trim(after).empty() || order_text.find('(') != std::string_view::npos) return msg_invalid(ip, "syntax");
  } else if (head.find(')') != std::string_view::npos) {
    return msg_invalid(ip, "syntax");
  }
  if (trim(group_text).empty()) return msg_required(ip, "varlist");
  std::vector<int> group_vars, order_vars;
  if (rc_t rc = read_vars(ip, group_text, &group_vars)) return rc;
  if (!trim(order_text).empty()) {
    if (rc_t rc = read_vars(ip, order_text, &order_vars)) return rc;
  }
  if (static_cast<int>(group_vars.size()) > ip.dataset.maxvar()) return rc_message(ip, 1002);
  if (ip.by.levels.size() >= kMaxByNesting)
    return msg_quoting(ip.out, "too many nested by's", "", "\n", 920);

  // The command must accept the prefix; an ado-file is loaded to find out.
  ip.reader.set_pos(command_pos);
  std::string token(ip.reader.next());
  if (token == ":") token = ip.reader.next();
  if (token.empty()) return msg_invalid(ip, "syntax");
  const std::size_t args_pos = ip.reader.pos();
  // The command proper, after any output prefixes.
  std::string command = token;
  std::size_t command_args_pos = args_pos;
  const Builtin* b = find_builtin(command, ip.version);
  while (b && (std::string_view(b->name) == "quietly" || std::string_view(b->name) == "noisily" ||
               std::string_view(b->name) == "capture")) {
    std::string prefix = b->name;
    command = std::string(ip.reader.next());
    if (command == ":") command = ip.reader.next();
    // A block after the prefix is not a command the groups can run.
    if (command.empty() || command == "{") return msg_quoting(ip.out, "", prefix, " may not be combined with by\n", 190);
    command_args_pos = ip.reader.pos();
    b = find_builtin(command, ip.version);
  }
  if (abbreviates(command, "by", 2) || abbreviates(command, "bysort", 3)) return rc_message(ip, 7198);
  ByMode mode = ByMode::kRefused;
  std::string name = command;
  Program* prog = nullptr;
  if (b) {
    name = b->name;
    mode = builtin_mode(name);
  } else {
    prog = ip.programs.find(command);
    if (!prog) {
      if (rc_t rc = load_ado_program(ip, command, &prog)) return rc;
    }
    if (prog && prog->byable == 1) mode = ByMode::kPerGroup;
    if (prog && prog->byable == 2) mode = ByMode::kOnce;
  }
  // Running a file is a request the groups cannot share.
  if (b && (name == "do" || name == "run" || name == "include")) return rc_message(ip, 190);
  if (mode == ByMode::kRefused) return msg_quoting(ip.out, "", name, " may not be combined with by\n", 190);

  // The order: sorted first when asked, then checked against the record.
  std::vector<int> all = group_vars;
  all.insert(all.end(), order_vars.begin(), order_vars.end());
  if (sort && !data::sort_list_begins_with(ip.dataset, all)) {
    if (rc_t rc = sort_dataset(ip, all)) return rc;
  }
  if (!data::sort_list_begins_with(ip.dataset, all)) return rc_message(ip, 5);

  // summarize with a line that reads the same for every group: read once,
  // and, without detailed tables, computed for many groups in one pass.
  SummarizeRequestPtr summarize;
  if (b && name == "summarize" && command_args_pos == args_pos) {
    ip.reader.attach(&ip.cmdbuf, command_args_pos);
    summarize = summarize_for_groups(ip);
  }
  const bool together = summarize && summarize_groups_together(*summarize);
  auto poll = [&ip] { return ip.poll_break(); };

  ByLevel level;
  level.vars = group_vars;
  // The pass over the groups checks every observation's group as it goes,
  // so their ends may be found from a few observations each.
  level.starts = together ? data::sorted_group_starts(ip.dataset, group_vars)
                          : data::group_starts(ip.dataset, group_vars, poll, ip.processors);
  if (level.starts.empty()) return kBreak;
  level.rc0 = rc0;
  level.once = mode == ByMode::kOnce;
  std::string flag_and_names = rc0 ? "1" : "0";
  for (std::size_t k = 0; k < group_vars.size(); ++k) {
    if (k) flag_and_names += ' ';
    flag_and_names += ip.dataset.name(group_vars[k]);
  }
  const std::string macro = "!BY" + std::to_string(ip.by.levels.size() + 1);
  const std::string line = ip.cmdbuf;
  const std::string args(trim(std::string_view(line).substr(std::min(command_args_pos, line.size()))));
  const bool prefixed = command_args_pos != args_pos;
  ByScope scope(ip, std::move(level), macro, flag_and_names);
  // By index: levels pushed by commands run inside may move the vector.
  const std::size_t li = ip.by.levels.size() - 1;
  auto L = [&ip, li]() -> ByLevel& { return ip.by.levels[li]; };
  const std::size_t ngroups = L().groups();

  // Runs the command once, for group g (or for all of them when once).
  auto run = [&](std::size_t g, bool once) -> rc_t {
    L().group = g;
    if (prog) {
      // Programs see the whole dataset; the _by() functions see the group.
      ip.by.applied = false;
      ip.by_active = false;
      L().frame = ip.frame_depth + 1;
      Program* p = ip.programs.find(name);
      if (!p) return msg_quoting(ip.out, "unrecognized command:  ", name, "\n", 199);
      if (!prefixed) return run_program(ip, *p, args);
      ip.cmdbuf = line;
      ip.reader.attach(&ip.cmdbuf, args_pos);
      ip.token = token;
      return ip.dispatch();
    }
    ip.by.applied = true;
    ip.by_active = true;
    ip.by.first = once ? 1 : L().starts[g];
    ip.by.last = once ? ip.dataset.nobs() : L().starts[g + 1] - 1;
    ip.cmdbuf = line;
    ip.reader.attach(&ip.cmdbuf, args_pos);
    ip.token = token;
    return ip.dispatch();
  };

  if (mode == ByMode::kOnce) return run(0, true);
  const bool header = !(prog && prog->byable_noheader);
  // What dispatching the command for group g would set before running it.
  auto enter_group = [&](std::size_t g) {
    L().group = g;
    ip.by.applied = true;
    ip.by_active = true;
    ip.by.first = L().starts[g];
    ip.by.last = L().starts[g + 1] - 1;
    ip.out.set_class(output::OutClass::Result);
    ip.serial = ip.serial >= 2147483646u ? 1u : ip.serial + 1u;
    ip.command_name = name;
  };
  if (together) return summarize_together(ip, *summarize, group_vars, li, enter_group);
  auto run_summarize = [&](std::size_t g) -> rc_t {
    enter_group(g);
    try {
      return summarize_group(ip, *summarize, ip.by.first, ip.by.last);
    } catch (const std::bad_alloc&) {
      return rc_message(ip, 909);
    }
  };
  rc_t result = 0;
  for (std::size_t g = 0; g < ngroups; ++g) {
    if (ip.poll_break()) return kBreak;
    if (header) print_header(ip, group_vars, L().starts[g]);
    rc_t rc = summarize ? run_summarize(g) : run(g, false);
    if (rc == kBreak) return rc;
    if (rc && !rc0) return rc;
    // The data may not change shape between groups: a program that
    // dropped or added observations ends the run.
    if (ip.dataset.nobs() + 1 != L().starts.back()) return result;
  }
  return result;
}

}  // namespace nuvra
