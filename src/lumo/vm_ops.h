// The machine's opcode handlers, one per row of opcodes.def.  Each reads
// its operands after pc, does its work and leaves pc at the next
// instruction, or sets the status.
#pragma once
#include "lumo/vm.h"

namespace nuvra::lumo {

struct Ops {
#define OPCODE(num, shape, name, effect) static void op_##name(Machine& m);
#include "lumo/opcodes.def"
#undef OPCODE

  // Shared pieces of the handlers.
  static void Binary(Machine& m, int op);
  static void Colon(Machine& m, int op);
  static void Compare(Machine& m, int op);
  static void NewLocal(Machine& m, int eltype, int words);
  static void Optional(Machine& m, int eltype, int rows, int cols, bool missing);
  static void Increment(Machine& m, double delta, bool post);
  // Register access for the handlers.
  static const int32_t*& pc(Machine& m) { return m.pc_; }
  static const int32_t* base(Machine& m) { return m.base_; }
  static ValueRecord* local(Machine& m, int k) { return m.stack_[m.frame_ + k]; }
  static int& nargs(Machine& m) { return m.nargs_; }
  static int level(Machine& m) { return m.level_; }
  static void call(Machine& m, ValueRecord* callee, int n) { m.Call(callee, n); }
  static FunctionRecord* function(Machine& m) { return m.fn_; }
};

}  // namespace nuvra::lumo
