// The Lumo virtual machine: a stack of value-record references and one
// dispatch loop.  Calls of user functions run in the same loop (the
// activations are kept on a list of their own), so that deep recursion
// ends in a stack overflow error rather than in the C++ stack.
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "lumo/host.h"
#include "lumo/status.h"
#include "lumo/value.h"

namespace nuvra::lumo {

struct MachineState;

class Machine {
 public:
  static constexpr int kStackSlots = 65536;

  Machine(Values& values, Host& host);
  ~Machine();
  Machine(const Machine&) = delete;
  Machine& operator=(const Machine&) = delete;

  // Runs a compiled statement; takes (and drops) a reference on it.  0,
  // 1 for Break, or the first error; 9801 without a stack.
  rc_t RunStatement(FunctionRecord* f);

  Values& values() { return values_; }
  Host& host() { return host_; }

  // ---- the stack, for opcodes and built-ins
  ValueRecord* Top(int below = 0) const { return stack_[sp_ - below]; }
  // Pushes a reference; false (status 3998) when the stack is full.
  bool Push(ValueRecord* v) {
    if (sp_ + 1 >= kStackSlots) {
      status_ = 3998;
      return false;
    }
    stack_[++sp_] = v;
    ++v->refcount;
    return true;
  }
  // Pushes a new record (null: the allocation failed and is reported).
  bool PushNew(ValueRecord* v);
  void Pop() { values_.Release(stack_[sp_--]); }
  void PopN(int n) {
    while (n-- > 0) Pop();
  }
  // Replaces the top `n` slots with result.
  void ReplaceTop(int n, ValueRecord* result) {
    ++result->refcount;
    PopN(n);
    stack_[++sp_] = result;
  }
  int depth() const { return sp_ + 1; }
  // Turns the slot `below` slots under the top, when it holds a view,
  // into an array of the view's cells; false after raising 3900.
  bool RealizeTop(int below) { return RealizeSlot(sp_ - below); }

  // ---- status and errors
  rc_t status() const { return status_; }
  void set_status(rc_t s) { status_ = s; }
  void set_first_error(rc_t rc) {
    if (!first_error_) first_error_ = rc;
  }
  // Reports code with message for the running function (or built-in) and
  // sets the status to "reported".
  void RaiseError(rc_t code, std::string_view message);
  // Reports the last allocation failure as 3900.
  void RaiseAllocation();
  // The standard message for a code.
  static const char* MessageFor(rc_t code);
  // Argument checks on a record, each raising its error: false on failure.
  bool CheckMatrix(const ValueRecord* v);
  bool CheckScalar(const ValueRecord* v);
  bool CheckReal(const ValueRecord* v);
  bool CheckString(const ValueRecord* v);
  bool CheckNumeric(const ValueRecord* v);
  bool CheckVector(const ValueRecord* v);
  void FoundWhere(const ValueRecord* v, const char* wanted, rc_t code);

  // Name of the running built-in as "name()", or null.
  const char* builtin = nullptr;
  // Traceback lines end with the code offset in braces.
  bool tracing = false;
  // The host is asked about Break at every this many jumps (and at every
  // call and built-in); a few hundred jumps take well under a millisecond.
  int break_poll_jumps = 256;
  bool condition = false;

  // Asked for a function that is called but not defined; returns it once
  // defined, or null.  Unset: such a call fails.
  std::function<FunctionRecord*(std::string_view name)> find_undefined;

  // Globals the running statement made; those still unassigned are
  // dropped again when it fails.
  std::vector<ValueRecord*> made_globals;

  // Shows a value as an expression statement does.
  void Display(const ValueRecord* v);

  // What the built-ins keep between calls (made on first use).
  MachineState& state();
  // The call level running now, and how many statements are running
  // (a command run from Lumo can run a statement of its own).
  int level() const { return level_; }
  // The number of arguments the running function was called with (its
  // optional arguments left out are not counted).
  int nargs_passed() const { return passed_; }
  int statement_depth() const { return statement_depth_; }

  // Instructions executed since the machine was made or the count was
  // last set: every instruction of the compiled code that began to run,
  // one each, whether the loop ran it alone or in a run of several.
  // Current whenever a built-in or an opcode handler runs.
  uint64_t executed() const { return executed_; }
  void set_executed(uint64_t n) { executed_ = n; }

 private:
  friend struct Ops;
  struct Activation {
    FunctionRecord* fn;
    const int32_t* pc;
    const int32_t* base;
    int frame;
    int nargs;
    int passed;
    int line;
  };
  void Execute(FunctionRecord* f, int nargs);
  void Enter(FunctionRecord* f, int nargs);
  void Run();
  // Ends the running activation: hands its result to the caller or
  // prints its traceback line.
  void Leave();
  void TracebackLine(rc_t code, std::string_view message);
  std::string FunctionName() const;
  void Call(ValueRecord* callee, int nargs);
  // Each returns the number of instructions it ran, 0 when it ran none.
  int ScalarRun();
  uint64_t ScalarLoop(const int32_t* test, const int32_t* after, const double* bound);
  bool RealizeSlot(int k);
  bool RealizeViews(int32_t op);

  Values& values_;
  Host& host_;
  ValueRecord** stack_ = nullptr;
  int sp_ = -1;
  // registers
  const int32_t* pc_ = nullptr;
  const int32_t* base_ = nullptr;
  FunctionRecord* fn_ = nullptr;
  int frame_ = 0;
  int nargs_ = 0;
  int passed_ = 0;  // nargs_ before the optional arguments were filled in
  int level_ = -1;
  int line_ = 0;
  rc_t status_ = 0;
  rc_t first_error_ = 0;
  int break_countdown_ = 0;  // jumps left before the host is next asked
  uint64_t executed_ = 0;   // the dispatch loop keeps its own count and adds it here
  std::vector<Activation> callers_;
  std::unique_ptr<MachineState> state_;
  int statement_depth_ = 0;
};

}  // namespace nuvra::lumo
