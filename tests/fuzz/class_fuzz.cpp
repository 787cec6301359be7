// libFuzzer target for the class system: the input's first part (up to a
// line "%%") is read as the class file of class `fz`, the second as dotted
// statements and class commands run one line each, and a third part after
// another "%%" line, when there is one, as the current scheme (otherwise
// the class file is tried as a scheme too).  Member programs run
// their dotted lines through the engine, within a nesting limit and a
// step budget.  Anything but a return code is a failure: a crash, a
// sanitizer report, a hang, or a store left inconsistent after a line.
//
// Built and run by `make fuzz`, from the seeds in tests/fuzz/corpus/class_fuzz/.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <string_view>

#include "class/engine.h"
#include "class/scheme.h"

namespace {

using nuvra::rc_t;
namespace cls = nuvra::cls;

class BudgetHost : public cls::Host {
 public:
  void Print(cls::Style, std::string_view) override {}
  rc_t Fail(rc_t code) override { return code; }
  rc_t RunProgram(const std::string& name, std::string_view) override {
    auto it = programs.find(name);
    if (it == programs.end()) return 4008;
    if (depth >= 64) return 1000;
    ++depth;
    rc_t rc = 0;
    for (const std::string& line : it->second) {
      if (++steps > 20000) {
        rc = 1;
        break;
      }
      std::string_view l = line;
      while (!l.empty() && (l.front() == ' ' || l.front() == '\t')) l.remove_prefix(1);
      if (l.starts_with(".")) rc = engine->Statement(l);
      else if (l.starts_with("class ")) rc = engine->Command(l.substr(6));
      if (rc) break;
    }
    --depth;
    engine->EndContext(depth + 1);
    return rc;
  }
  rc_t DefineProgram(const std::string& name, const std::vector<std::string>& lines) override {
    programs[name] = lines;
    return 0;
  }
  void DropProgram(const std::string& name) override { programs.erase(name); }
  bool FindFile(const std::string&, std::string*) override { return false; }
  int ContextId() override { return depth; }
  rc_t Evaluate(std::string_view expr, bool* is_string, double* num, std::string* str) override {
    if (expr.size() >= 2 && expr.front() == '"' && expr.back() == '"') {
      *is_string = true;
      *str = std::string(expr.substr(1, expr.size() - 2));
      return 0;
    }
    std::string text(expr);
    char* end = nullptr;
    *num = std::strtod(text.c_str(), &end);
    *is_string = false;
    return end && *end == '\0' && !text.empty() ? 0 : 198;
  }
  rc_t RunCommand(std::string_view) override { return 0; }
  rc_t Exit(std::string_view) override { return 0; }
  void SetResult(const std::string&, const std::string&) override {}

  cls::Engine* engine = nullptr;
  std::map<std::string, std::vector<std::string>> programs;
  int depth = 0;
  long steps = 0;
};

void Consistent(const cls::Engine& engine, std::string_view after) {
  std::string why = engine.Check();
  if (why.empty()) return;
  std::fprintf(stderr, "store inconsistent after \"%.*s\": %s\n", static_cast<int>(after.size()),
               after.data(), why.c_str());
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 8192) return 0;
  std::string_view input(reinterpret_cast<const char*>(data), size);
  size_t split = input.find("\n%%\n");
  std::string_view class_text = input.substr(0, split);
  std::string_view statements = split == std::string_view::npos ? std::string_view() : input.substr(split + 4);
  size_t split2 = statements.find("\n%%\n");
  std::string_view scheme_text =
      split2 == std::string_view::npos ? class_text : statements.substr(split2 + 4);
  statements = statements.substr(0, split2);

  // The scheme part (the class file when there is none) as a scheme file:
  // refused or read, never more.
  cls::Scheme scheme;
  std::string why;
  rc_t scheme_rc = cls::ParseScheme(
      scheme_text, [](const std::string&, const cls::Scheme**) -> rc_t { return 4039; }, &scheme, &why);
  for (const auto& [name, styles] : scheme.classes)
    for (const cls::StyleDef& style : styles) scheme.Lookup(name, style.name, "x");

  BudgetHost host;
  cls::Engine engine(host);
  host.engine = &engine;
  // A scheme that reads becomes the current one, so styles have something
  // to fill instances from.
  if (scheme_rc == 0 && engine.DefineScheme(scheme.name, scheme_text) == 0) engine.UseScheme(scheme.name);
  engine.DefineFromText("fz", class_text);
  Consistent(engine, "the class file");
  size_t pos = 0;
  while (pos < statements.size() && host.steps <= 20000) {
    size_t eol = statements.find('\n', pos);
    if (eol == std::string_view::npos) eol = statements.size();
    std::string_view line = statements.substr(pos, eol - pos);
    pos = eol + 1;
    ++host.steps;
    std::string text;
    if (line.starts_with("`")) {
      engine.MacroText(line.substr(1), &text);
    } else {
      engine.Command(line);
    }
    Consistent(engine, line);
  }
  engine.Command("free _all");
  Consistent(engine, "free _all");
  return 0;
}
