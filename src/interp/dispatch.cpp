// Dispatch: the first word of a command line against the built-in table,
// the skip table used while a block is being passed over, and the
// ado-file search for words that are not built in.
#include <sys/stat.h>

#include <array>
#include <new>
#include <vector>

#include "class/commands/hooks.h"
#include "interp/blocks.h"
#include "interp/builtins.h"
#include "interp/interp.h"
#include "interp/messages.h"
#include "data/names.h"
#include "interp/programs.h"
#include "interp/runner.h"

namespace nuvra {

namespace {

constexpr Builtin kTable[] = {
#define BUILTIN(name, ab, handler, cond) {name, ab, handler, cond},
#include "interp/builtins.def"
#undef BUILTIN
};

// Indexes of the entries of each first character, in table order.
struct Groups {
  std::array<std::vector<uint16_t>, 256> by_first;
  Groups() {
    for (size_t idx = 0; idx < std::size(kTable); ++idx)
      by_first[static_cast<uint8_t>(kTable[idx].name[0])].push_back(static_cast<uint16_t>(idx));
  }
};

const Groups& groups() {
  static const Groups g;
  return g;
}

bool condition_holds(VersionCondition c, int version) {
  switch (c) {
    case kAnyVersion:
      return true;
    case kFrom6:
      return version >= 600;
    case kFrom8:
      return version >= 800;
    case kBelow6:
      return version < 600;
  }
  return true;
}

// Commands recognised while lines are being skipped, so that the blocks
// they open are consumed whole and braces stay balanced.
rc_t dispatch_skipping(Interp& ip) {
  struct SkipEntry {
    const char* name;
    int min;
  };
  static constexpr SkipEntry kSkip[] = {
      {"_byobs", 6},  {"_cls", 4},    {"break", 5},   {"capture", 3},
      {"class", 5},   {"else", 4},    {"foreach", 7}, {"forvalues", 4},
      {"if", 2},      {"m", 1},       {"lumo", 4},    {"noisily", 1},
      {"nobreak", 7}, {"quietly", 3}, {"version", 4}, {"while", 2},
  };
  const std::string& tok = ip.token;
  if (tok == "{") return cmd_brace_block(ip);
  for (const SkipEntry& e : kSkip) {
    size_t min = static_cast<size_t>(e.min);
    if (std::string_view(e.name) == "quietly" && ip.version >= 800) min = 1;
    if (!abbreviates(tok, e.name, min)) continue;
    std::string_view name = e.name;
    if (name == "capture" || name == "noisily" || name == "quietly" || name == "break" ||
        name == "nobreak")
      return ip.run_rest_of_line();
    if (name == "version") return cmd_version(ip);
    if (name == "if") return cmd_if(ip);
    if (name == "else") return 0;
    if (name == "foreach") return cmd_foreach(ip);
    if (name == "forvalues") return cmd_forvalues(ip);
    if (name == "while") return cmd_while(ip);
    // Blocks of the remaining entries are consumed when they open one.
    if (!ip.reader.rest().empty() && ip.reader.rest().back() == '{') return skip_block(ip);
    return 0;
  }
  return 0;
}

rc_t load_ado_and_run(Interp& ip) {
  std::string args(ip.reader.rest());
  Program* prog = nullptr;
  if (rc_t rc = load_ado_program(ip, ip.token, &prog)) return rc;
  return run_program(ip, *prog, args);
}

}  // namespace

rc_t load_ado_program(Interp& ip, const std::string& token, Program** out) {
  *out = nullptr;
  if (!is_valid_name(token)) {
    return msg_quoting(ip.out, "unrecognized command:  ", token, " invalid command name\n", 199);
  }
  std::string path;
  if (!find_file_along_path(ip, token + ".ado", 1, &path)) {
    return msg_quoting(ip.out, "unrecognized command:  ", token, "\n", 199);
  }
  int saved_ado_frame = ip.ado_frame;
  ++ip.load_depth;
  ip.ado_frame = ip.frame_depth + 1;  // the file's own lines run one frame deeper
  rc_t rc = run_file(ip, path, RunMode::Run, "");
  ip.ado_frame = saved_ado_frame;
  --ip.load_depth;
  if (rc) {
    ip.out.set_class(output::OutClass::Error);
    ip.out.print_markup("(error occurred while loading ");
    ip.out.print_plain(token);
    ip.out.print_markup(".ado)\n");
    return rc;
  }
  Program* prog = ip.programs.find(token);
  if (!prog) {
    ip.out.set_class(output::OutClass::Error);
    ip.out.print_markup("unrecognized command:  ");
    ip.out.print_plain(token);
    ip.out.print_markup(" not defined by ");
    ip.out.print_plain(token);
    ip.out.print_markup(".ado\n");
    return 199;
  }
  *out = prog;
  return 0;
}

bool abbreviates(std::string_view word, std::string_view name, size_t min) {
  return word.size() >= min && word.size() <= name.size() && name.substr(0, word.size()) == word;
}

const Builtin* builtin_table(size_t* count) {
  *count = std::size(kTable);
  return kTable;
}

const Builtin* find_builtin(std::string_view token, int version) {
  if (token.empty()) return nullptr;
  for (uint16_t idx : groups().by_first[static_cast<uint8_t>(token[0])]) {
    const Builtin& b = kTable[idx];
    if (!abbreviates(token, b.name, static_cast<size_t>(b.min_abbrev))) continue;
    if (!condition_holds(b.condition, version)) continue;
    return &b;
  }
  return nullptr;
}

rc_t Interp::dispatch() {
  out.set_class(output::OutClass::Result);
  serial = serial >= 2147483646u ? 1u : serial + 1u;
  if (token.empty() || token[0] == '*') return 0;
  if (!exec_flag) return dispatch_skipping(*this);
  // An ado-file's own lines may only define programs.
  if (ado_frame == frame_depth && !abbreviates(token, "program", 2) &&
      !abbreviates(token, "version", 4))
    return rc_message(*this, 161);
  if (token[0] >= '!' && token[0] <= '{') {
    if (token == "!") return cmd_shell(*this);
    if (token == "{") return cmd_brace_block(*this);
    if (const Builtin* b = find_builtin(token, version)) {
      command_name = b->name;
      return run_handler(b->handler);
    }
  }
  if (token[0] == '.') return RunDottedCommand(*this);
  if (Program* prog = programs.find(token)) return run_program(*this, *prog, reader.rest());
  return load_ado_and_run(*this);
}

// Allocation failures are mostly caught where they happen, with the state
// left as it was; one that escapes a handler is reported here, once for
// every command, instead of ending the session.
rc_t Interp::run_handler(Handler handler) {
  rc_t rc;
  try {
    rc = handler(*this);
  } catch (const std::bad_alloc&) {
    rc = rc_message(*this, 909);
  }
  if (output_lines_lost > 0) {
    // The command's work stands; the reader is told the transcript has a gap.
    long lost = output_lines_lost;
    output_lines_lost = 0;
    try {
      out.print_markup("{txt}(" + std::to_string(lost) + (lost == 1 ? " line" : " lines") + " of output lost: insufficient memory)\n");
    } catch (const std::bad_alloc&) {
    }
  }
  return rc;
}

rc_t Interp::run_rest_of_line() {
  std::string_view w = reader.next();
  if (w == ":") w = reader.next();
  token.assign(w);
  return dispatch();
}

rc_t cmd_unavailable(Interp& ip) { return msg_not_available(ip, ip.command_name); }

rc_t cmd_dialog(Interp& ip) {
  // Dialogs belong to the windowed edition's dialog language.
  return rc_message(ip, 8005);
}

}  // namespace nuvra
