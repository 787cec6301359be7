// `if` and `in` for commands: compile the condition once, then ask which
// observations it selects.
//
// The usual shape of a command that takes `if` and `in`:
//
//   CommandLine cl;                      // from standard_parse
//   std::vector<char> touse;
//   std::int64_t n = 0;
//   if (rc_t rc = expr::mark_sample(ip, cl, &touse, &n)) return rc;
//   // touse[i - 1] is 1 for each selected observation i; n counts them.
//
// or, observation by observation:
//
//   expr::Condition cond;
//   if (rc_t rc = expr::compile_condition(ip, cl.if_text, &cond)) return rc;
//   for (i = first; i <= last; ++i) if (cond.test(i)) ...
//
// A condition is numeric: nonzero (missing included) selects. A string
// condition fails to compile with 109. An empty condition text selects
// every observation. Compiling prints the message and returns the code.
#pragma once
#include <cstdint>
#include <string_view>
#include <vector>

#include "data/expr/expr.h"
#include "base/rc.h"

namespace nuvra {
class CommandLine;
}  // namespace nuvra

namespace nuvra::expr {

class Condition {
 public:
  Condition() = default;
  // The context points into the program: not copied.
  Condition(const Condition&) = delete;
  Condition& operator=(const Condition&) = delete;
  // True when there is no condition (every observation passes).
  bool empty() const { return empty_; }
  // Whether observation i (1-based) passes. Binds lazily, so compile the
  // condition after any change to the dataset's shape, or call rebind().
  bool test(std::int64_t i);
  // Tests observations first .. first + n - 1 (n <= kBlock) into pass[].
  void test_block(std::int64_t first, int n, char* pass);
  // Looks the columns up again after variables were added or recast.
  void rebind();
  const Program& program() const { return prog_; }
  EvalContext& context() { return cx_; }

 private:
  friend rc_t compile_condition(Env& env, std::string_view if_text, Condition* out);
  Env* env_ = nullptr;
  bool empty_ = true;
  bool bound_ = false;
  bool blocks_ = false;
  Program prog_;
  EvalContext cx_;
  double buf_[kBlock];
};

rc_t compile_condition(Env& env, std::string_view if_text, Condition* out);

// Marks the observations first .. last that satisfy the condition:
// *mask gets nobs entries, 1 for selected. *count (optional) gets their
// number. Returns 1 after a Break (the mask is then incomplete).
rc_t mark_sample(Env& env, std::string_view if_text, std::int64_t first, std::int64_t last,
                 std::vector<char>* mask, std::int64_t* count = nullptr);
// The same over a parsed command line: its `if` text and `in` range
// (without `in`, every observation or under `by` the current group).
// Defined with the command handlers, which own the parsed command line.
rc_t mark_sample(Env& env, const CommandLine& cl, std::vector<char>* mask, std::int64_t* count = nullptr);

// Reads an `in` range ("5", "-3/l", "f/10") against nobs observations into
// *first .. *last. Prints and returns 198 for a malformed range or one
// outside 1 .. nobs.
rc_t read_in_range(Env& env, std::string_view text, std::int64_t nobs, std::int64_t* first, std::int64_t* last);

}  // namespace nuvra::expr
