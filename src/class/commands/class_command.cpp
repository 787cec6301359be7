// The `class` and `_cls` commands, dotted statements typed as commands,
// and the interpreter-backed host of the class engine.
#include <memory>
#include <string>
#include <string_view>

#include "class/commands/hooks.h"
#include "class/engine.h"
#include "class/host.h"
#include "interp/builtins.h"
#include "interp/interp.h"
#include "interp/messages.h"
#include "interp/programs.h"
#include "interp/runner.h"
#include "interp/simple_expr.h"

namespace nuvra {

namespace {

using output::OutClass;

class InterpHost : public cls::Host {
 public:
  explicit InterpHost(Interp& ip) : ip_(ip) {}
  void Print(cls::Style style, std::string_view nmcl) override {
    OutClass c = style == cls::Style::Error    ? OutClass::Error
                 : style == cls::Style::Result ? OutClass::Result
                                               : OutClass::Text;
    ip_.out.markup(c, nmcl);
  }
  rc_t Fail(rc_t code) override { return rc_message(ip_, code); }
  rc_t RunProgram(const std::string& name, std::string_view args) override {
    Program* prog = ip_.programs.find(name);
    if (!prog) return msg_quoting(ip_.out, "member program ", name, " not found\n", 4008);
    return run_program(ip_, *prog, args);
  }
  rc_t DefineProgram(const std::string& name, const std::vector<std::string>& lines) override {
    Program prog;
    prog.name = name;
    prog.lines = lines;
    prog.version = ip_.version;
    ip_.programs.add(std::move(prog));
    return 0;
  }
  void DropProgram(const std::string& name) override { ip_.programs.drop(name); }
  bool FindFile(const std::string& name, std::string* path) override {
    return find_file_along_path(ip_, name, 1, path);
  }
  int ContextId() override { return static_cast<int>(ip_.program_stack.size()); }
  rc_t Evaluate(std::string_view expr, bool* is_string, double* num, std::string* str) override {
    ExprValue v;
    size_t used = 0;
    if (rc_t rc = eval_expression(ip_, expr, &v, &used)) return rc;
    std::string_view left = expr.substr(used);
    while (!left.empty() && (left.front() == ' ' || left.front() == '\t')) left.remove_prefix(1);
    if (!left.empty()) return msg_quoting(ip_.out, "", left, " invalid\n", 198);
    *is_string = v.is_string;
    *num = v.num;
    *str = std::move(v.str);
    return 0;
  }
  rc_t RunCommand(std::string_view line) override { return ip_.execute_line(line); }
  rc_t Exit(std::string_view rest) override { return ip_.execute_line("exit " + std::string(rest)); }
  void SetResult(const std::string& name, const std::string& value) override {
    ip_.r_results.macros[name] = value;
  }

 private:
  Interp& ip_;
};

struct ClassState {
  explicit ClassState(Interp& ip) : host(ip), engine(host) {}
  InterpHost host;
  cls::Engine engine;
};

cls::Engine& Engine(Interp& ip) {
  if (!ip.class_state) ip.class_state = std::make_shared<ClassState>(ip);
  return static_cast<ClassState*>(ip.class_state.get())->engine;
}

}  // namespace

cls::Engine& ClassEngine(Interp& ip) { return Engine(ip); }

rc_t cmd_class(Interp& ip) { return Engine(ip).Command(ip.reader.rest()); }

// `_cls describe key` leaves the description of an object as r()
// results; any other `_cls` line is a class command.
rc_t cmd_cls(Interp& ip) {
  std::string_view rest = ip.reader.rest();
  while (!rest.empty() && (rest.front() == ' ' || rest.front() == '\t')) rest.remove_prefix(1);
  if (rest.starts_with("describe ")) {
    ip.r_results.clear();
    return Engine(ip).Describe(rest.substr(9));
  }
  return Engine(ip).Command(rest);
}

rc_t RunDottedCommand(Interp& ip) {
  // The word reader may have cut the dotted name at a delimiter such as
  // "(" of "__key(1f)": take the line from where the token starts.
  const std::string* buf = ip.reader.buffer();
  size_t end = ip.reader.pos();
  if (buf && end >= ip.token.size() && end <= buf->size() &&
      buf->compare(end - ip.token.size(), ip.token.size(), ip.token) == 0)
    return Engine(ip).Statement(std::string_view(*buf).substr(end - ip.token.size()));
  std::string statement = ip.token + " " + std::string(ip.reader.rest());
  return Engine(ip).Statement(statement);
}

void ClassMacroText(Interp& ip, std::string_view text, std::string* out) {
  if (Engine(ip).MacroText(text, out)) out->clear();
}

void EndClassContext(Interp& ip, int depth) {
  if (ip.class_state) Engine(ip).EndContext(depth);
}

}  // namespace nuvra
