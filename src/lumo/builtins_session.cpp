// Built-ins about the running machine and the session: sizes, reference
// counts and memory, the caller's argument count, the more prompt, and
// the count of instructions run.
#include "lumo/builtins_session.h"

#include <cmath>
#include <cstdint>

#include "lumo/builtin_args.h"
#include "lumo/machine_state.h"
#include "lumo/value.h"
#include "lumo/vm.h"

namespace nuvra::lumo {

namespace {

// A real scalar argument holding 0 or anything else; false after raising.
bool OnOffArg(Machine& m, int n, bool* on) {
  double d;
  if (!BiRealScalar(m, BiArg(m, n, 0), &d)) return false;
  *on = d != 0;
  return true;
}

}  // namespace

// sizeof(x): the bytes x occupies, its strings' bytes included.
void BiSizeof(Machine& m, int n) {
  const ValueRecord* x = BiArg(m, n, 0);
  if (!m.CheckMatrix(x)) return;
  BiReturn(m, n, m.values().NewScalar(double(Values::ValueBytes(x))));
}

// args(): how many arguments the function that calls it received.
void BiArgs(Machine& m, int n) { BiReturn(m, n, m.values().NewScalar(m.nargs_passed())); }

// isfleeting(x): 1 when x is a temporary, the result of an expression that
// no variable holds, so that a function may reuse its storage.
void BiIsfleeting(Machine& m, int n) {
  const ValueRecord* x = BiArg(m, n, 0);
  if (!m.CheckMatrix(x)) return;
  BiReturn(m, n, m.values().NewScalar(x->name[0] == 0));
}

// favorspeed(): the machine has one way of working, which keeps memory
// small rather than trading it for speed.
void BiFavorspeed(Machine& m, int n) { BiReturn(m, n, m.values().NewScalar(0)); }

// sys_linkcount(x): how many holders x has besides this call's argument.
void BiSysLinkcount(Machine& m, int n) {
  const ValueRecord* x = BiArg(m, n, 0);
  BiReturn(m, n, m.values().NewScalar(x->refcount - 1));
}

// sys_memory([what]): the bytes the value records and functions take,
// their overhead included (what 0 or omitted), or how many there are
// (what 1).
void BiSysMemory(Machine& m, int n) {
  double what = 0;
  if (n == 1 && !BiRealScalar(m, BiArg(m, n, 0), &what)) return;
  if (what != 0 && what != 1) return (void)BiFail(m, 3300);
  Values::MemoryStats st = m.values().Memory();
  BiReturn(m, n, m.values().NewScalar(double(what == 0 ? st.total_bytes : st.total_count)));
}

// more(): the more prompt, now.
void BiMore(Machine& m, int n) {
  m.host().More();
  BiReturnVoid(m, n);
}

// setmore(on): switches the more prompt on or off.
void BiSetmore(Machine& m, int n) {
  bool on;
  if (!OnOffArg(m, n, &on)) return;
  m.host().SetMore(on);
  BiReturnVoid(m, n);
}

// setmoreonexit(on): the more setting to go back to when the outermost
// statement ends; the first call of a statement decides it, so that a
// function that sets it cannot undo what its caller asked for.
void BiSetmoreonexit(Machine& m, int n) {
  bool on;
  if (!OnOffArg(m, n, &on)) return;
  if (m.state().more_on_exit < 0) m.state().more_on_exit = on;
  BiReturnVoid(m, n);
}

// opcount([count]): how many instructions the machine has executed, the
// one that calls opcount() included, since the session began or since
// the count was last set; opcount(count) returns that and then sets it
// to count (opcount(0) starts counting afresh).  Every instruction the
// compiled code holds counts once each time it runs, as the disassembly
// lists them, whether the machine runs it alone or several at once.
void BiOpcount(Machine& m, int n) {
  double set = 0;
  if (n == 1) {
    if (!BiRealScalar(m, BiArg(m, n, 0), &set)) return;
    // Counts are whole numbers that a double holds exactly.
    if (!(set >= 0 && set <= 9007199254740992.0) || set != std::floor(set)) return (void)BiFail(m, 3300);
  }
  double was = double(m.executed());
  if (n == 1) m.set_executed(uint64_t(set));
  BiReturn(m, n, m.values().NewScalar(was));
}

}  // namespace nuvra::lumo
