// The `lumo` command: the environment that reads Lumo statements and
// definitions until `end`, `lumo:` for a single statement, and the
// environment's own commands.
#include <memory>
#include <string>
#include <string_view>

#include "interp/builtins.h"
#include "interp/interp.h"
#include "interp/line_source.h"
#include "lumo/host.h"
#include "lumo/session.h"

namespace nuvra {

namespace {

using output::OutClass;

class CommandHost : public lumo::Host {
 public:
  explicit CommandHost(Interp& ip) : ip_(ip) {}
  void Print(lumo::Style style, std::string_view nmcl) override {
    OutClass cls = style == lumo::Style::Error    ? OutClass::Error
                   : style == lumo::Style::Result ? OutClass::Result
                   : style == lumo::Style::Input  ? OutClass::Input
                                                  : OutClass::Text;
    ip_.out.markup(cls, nmcl);
  }
  bool PollBreak() override { return ip_.poll_break(); }

 private:
  Interp& ip_;
};

struct LumoState {
  explicit LumoState(Interp& ip) : host(ip), session(host) {}
  CommandHost host;
  lumo::Session session;
  int depth = 0;  // `lumo` environments open
};

LumoState& State(Interp& ip) {
  if (!ip.lumo_state) ip.lumo_state = std::make_shared<LumoState>(ip);
  return *static_cast<LumoState*>(ip.lumo_state.get());
}

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
  return s;
}

// The environment's own commands, and the host command that does each.
struct EnvCommand {
  const char* word;
  const char* host_command;
};
constexpr EnvCommand kEnvCommands[] = {
    {"clear", "lumo_clear"},     {"describe", "lumo_describe"}, {"drop", "lumo_drop"},
    {"help", "help"},            {"matuse", "lumo_matuse"},     {"matsave", "lumo_matsave"},
    {"matdescribe", "lumo_matdescribe"}, {"memory", "lumo_memory"}, {"mlib", "lumo_mlib"},
    {"mosave", "lumo_mosave"},   {"which", "lumo_which"},       {"query", "query"},
    {"rename", "lumo_rename"},   {"nuvra", ""},                 {"disassemble", nullptr},
};

// Splits off the first word.
std::string_view FirstWord(std::string_view s, std::string_view* rest) {
  s = Trim(s);
  size_t n = 0;
  while (n < s.size() && s[n] != ' ' && s[n] != '\t') ++n;
  *rest = Trim(s.substr(n));
  return s.substr(0, n);
}

// A line is one of the environment's commands when its first word is one
// and what follows cannot continue a statement.
const EnvCommand* EnvCommandOf(std::string_view line) {
  std::string_view rest;
  std::string_view word = FirstWord(line, &rest);
  for (const EnvCommand& c : kEnvCommands) {
    if (word != c.word) continue;
    if (rest.empty() || std::string_view("=[(:+-*/,\\'.^&|<>!?#").find(rest.front()) == std::string_view::npos)
      return &c;
  }
  return nullptr;
}

void PrintPlain(Interp& ip, OutClass cls, std::string_view text) {
  ip.out.set_class(cls);
  ip.out.print_plain(text);
}

// disassemble name() | disassemble statements
rc_t Disassemble(Interp& ip, LumoState& st, std::string_view what) {
  if (what.size() > 2 && what.substr(what.size() - 2) == "()" && what.find_first_of(" (") == what.size() - 2) {
    std::string name(what.substr(0, what.size() - 2));
    std::string listing = st.session.DisassembleFunction(name);
    if (listing.empty()) {
      ip.out.markup(OutClass::Error, "function " + name + "() not found\n");
      return 3499;
    }
    PrintPlain(ip, OutClass::Result, listing);
    return 0;
  }
  bool incomplete;
  std::string listing = st.session.DisassembleText(what, &incomplete);
  if (incomplete) {
    ip.out.markup(OutClass::Error, "<istmt> incomplete\n");
    return lumo::kCompileError;
  }
  if (listing.empty()) return lumo::kCompileError;
  PrintPlain(ip, OutClass::Result, listing);
  return 0;
}

rc_t RunEnvCommand(Interp& ip, LumoState& st, const EnvCommand& c, std::string_view line) {
  std::string_view rest;
  FirstWord(line, &rest);
  if (!c.host_command) return Disassemble(ip, st, rest);
  if (!*c.host_command) return ip.execute_line(rest);
  std::string cmd = std::string(c.host_command) + (rest.empty() ? "" : " ") + std::string(rest);
  return ip.execute_line(cmd);
}

// One statement (lumo: ...).
rc_t RunOne(Interp& ip, LumoState& st, std::string_view text) {
  rc_t rc;
  if (st.session.Run(text, &rc) == lumo::Session::Outcome::kIncomplete) {
    ip.out.markup(OutClass::Error, "<istmt> incomplete\n");
    return lumo::kCompileError;
  }
  return rc;
}

rc_t Environment(Interp& ip, LumoState& st) {
  if (ip.sources.empty()) return 612;
  LineSource* src = ip.sources.back();
  ip.out.markup(OutClass::Text, "{hline 49} lumo (type {cmd:end} to exit) {hline}\n");
  ++st.depth;
  st.session.nesting = st.depth;
  struct DepthGuard {
    LumoState& st;
    ~DepthGuard() {
      --st.depth;
      st.session.nesting = st.depth > 0 ? st.depth : 1;
    }
  } guard{st};
  std::string pending;
  for (;;) {
    std::string line;
    if (!src->read(ip, line, pending.empty() ? ": " : "> ")) {
      if (src->is_window()) return 0;
      ip.out.markup(OutClass::Error, "\nunexpected end of file (end statement missing)\n");
      return 612;
    }
    if (pending.empty()) {
      std::string_view t = Trim(line);
      if (t == "end") return 0;
      if (t.empty()) continue;
      if (const EnvCommand* c = EnvCommandOf(t)) {
        rc_t rc = RunEnvCommand(ip, st, *c, t);
        if (rc && !src->is_window()) return rc;
        if (rc) ip.end_of_command_report(rc);
        continue;
      }
    }
    pending += line;
    pending += '\n';
    rc_t rc;
    if (st.session.Run(pending, &rc) == lumo::Session::Outcome::kIncomplete) continue;
    pending.clear();
    if (rc && !src->is_window()) return rc;
    if (rc) ip.end_of_command_report(rc);
  }
}

}  // namespace

rc_t cmd_lumo(Interp& ip) {
  LumoState& st = State(ip);
  std::string_view rest = Trim(ip.reader.rest());
  if (!rest.empty() && rest.front() == ':') return RunOne(ip, st, rest.substr(1));
  if (rest.empty()) return Environment(ip, st);
  if (const EnvCommand* c = EnvCommandOf(rest)) return RunEnvCommand(ip, st, *c, rest);
  ip.out.markup(OutClass::Error, "unrecognized lumo preprocessor command\n");
  return 199;
}

}  // namespace nuvra
