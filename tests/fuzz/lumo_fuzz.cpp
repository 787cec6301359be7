// libFuzzer target for Lumo: arbitrary text is compiled and, when it is
// statements, run, with a budget of steps (jumps, calls, built-ins) after
// which the run is stopped as by Break, and blocks limited to 16 MB.
// Anything but a return code is a failure: a crash, a sanitizer report or
// a hang; and a text that fails to compile must leave the function name
// space as it was and say why.
//
// Built and run by `make fuzz` (a clang build with coverage hooks), from
// the seeds in tests/fuzz/corpus/lumo_fuzz/.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "lumo/host.h"
#include "lumo/session.h"

namespace {

class BudgetHost : public nuvra::lumo::Host {
 public:
  void Print(nuvra::lumo::Style style, std::string_view text) override {
    if (style == nuvra::lumo::Style::Error) errors += text.size();
  }
  bool PollBreak() override { return ++steps > 20000; }
  size_t errors = 0;
  int64_t steps = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  BudgetHost host;
  nuvra::lumo::Session session(host);
  session.values().block_limit = size_t{16} << 20;
  // Every jump counts against the budget.
  session.machine().break_poll_jumps = 1;
  // A few definitions to call, so that calls are reached quickly.
  int rc = 0;
  session.Run("function fz_id(x) { return(x) }", &rc);
  session.Run("function fz_opt(real scalar a, | string b) { return(a) }", &rc);
  size_t functions = session.values().functions().size();
  // Lines separated by a NUL byte are run one after another, so that a
  // definition can be followed by statements that use it.
  std::string_view text(reinterpret_cast<const char*>(data), size);
  while (!text.empty()) {
    size_t cut = text.find('\0');
    std::string_view unit = text.substr(0, cut);
    text = cut == std::string_view::npos ? std::string_view() : text.substr(cut + 1);
    host.errors = 0;
    host.steps = 0;
    if (session.Run(unit, &rc) == nuvra::lumo::Session::Outcome::kIncomplete) continue;
    size_t now = session.values().functions().size();
    if (rc == nuvra::lumo::kCompileError && (now != functions || host.errors == 0)) std::abort();
    functions = now;
    if (session.machine().depth() != 0) std::abort();
  }
  return 0;
}
