// The Lumo machine: the stack, RunStatement, the dispatch loop, calls and
// returns, tracebacks, and the handlers of the control and local opcodes.
#include "lumo/vm.h"

#include <cstdio>
#include <cstring>

#include "data/missing.h"
#include "lumo/builtins.h"
#include "lumo/compiler.h"
#include "lumo/machine_state.h"
#include "lumo/opcodes.h"
#include "lumo/structdef.h"
#include "lumo/vm_arith.h"
#include "lumo/vm_ops.h"

namespace nuvra::lumo {

namespace {

using Handler = void (*)(Machine&);

void Unimplemented(Machine& m) { m.set_status(3997); }

struct DispatchTable {
  Handler h[kOpcodeSlots];
  DispatchTable() {
    for (Handler& e : h) e = Unimplemented;
#define OPCODE(num, shape, name, effect) h[num] = Ops::op_##name;
#include "lumo/opcodes.def"
#undef OPCODE
  }
};
const DispatchTable kDispatch;

// The name an operand of Bytes shape spells, starting at the count word.
std::string_view BytesAt(const int32_t* w) {
  const char* s = reinterpret_cast<const char*>(w + 1);
  return std::string_view(s, strnlen(s, size_t(w[0]) * 4));
}

}  // namespace

Machine::Machine(Values& values, Host& host) : values_(values), host_(host) {
  stack_ = new (std::nothrow) ValueRecord*[kStackSlots];
}

Machine::~Machine() {
  if (stack_) {
    while (sp_ >= 0) Pop();
    delete[] stack_;
  }
}

MachineState& Machine::state() {
  if (!state_) state_ = std::make_unique<MachineState>();
  return *state_;
}

bool Machine::PushNew(ValueRecord* v) {
  if (!v) {
    RaiseAllocation();
    return false;
  }
  if (!Push(v)) {
    values_.Free(v);
    return false;
  }
  return true;
}

rc_t Machine::RunStatement(FunctionRecord* f) {
  if (!stack_) {
    host_.Print(Style::Error, "insufficient memory for lumo system stack\n");
    return 9801;
  }
  // Statements nest (a statement can run a command that runs another), so
  // every register is saved and restored.
  const int32_t* pc = pc_;
  const int32_t* base = base_;
  FunctionRecord* fn = fn_;
  int frame = frame_, nargs = nargs_, passed = passed_, level = level_, line = line_, sp = sp_;
  rc_t status = status_, first = first_error_;
  const char* bi = builtin;
  bool cond = condition;
  ++f->refcount;
  std::vector<ValueRecord*> outer_made;
  outer_made.swap(made_globals);
  level_ = -1;
  values_.level = -1;
  status_ = 0;
  first_error_ = 0;
  line_ = 0;
  builtin = nullptr;
  ++statement_depth_;
  Execute(f, 0);
  --statement_depth_;
  if (statement_depth_ == 0 && state_ && state_->more_on_exit >= 0) {
    host_.SetMore(state_->more_on_exit != 0);
    state_->more_on_exit = -1;
  }
  rc_t rc = first_error_;
  if (status_ == 1 && !rc) rc = 1;
  while (sp_ > sp) Pop();
  values_.Release(f);
  if (rc != 0) {
    // A failed statement leaves no trace of the globals it only began.
    for (ValueRecord* g : made_globals)
      if (values_.FindGlobal(g->name) == g && g->eltype == kReal && g->rows == 0 && g->cols == 0)
        values_.rmexternal(g->name);
  }
  made_globals.swap(outer_made);
  pc_ = pc;
  base_ = base;
  fn_ = fn;
  frame_ = frame;
  nargs_ = nargs;
  passed_ = passed;
  level_ = level;
  values_.level = level;
  line_ = line;
  status_ = status;
  first_error_ = first;
  builtin = bi;
  condition = cond;
  return rc < 0 ? -rc : rc;
}

void Machine::Enter(FunctionRecord* f, int nargs) {
  frame_ = sp_ - nargs + 1;
  ++level_;
  values_.level = level_;
  fn_ = f;
  nargs_ = nargs;
  passed_ = nargs;
  base_ = f->code();
  pc_ = base_ + kCodeHeaderWords;
  line_ = 0;
}

void Machine::Execute(FunctionRecord* f, int nargs) {
  size_t depth = callers_.size();
  Enter(f, nargs);
  for (;;) {
    Run();
    Leave();
    if (callers_.size() == depth) return;
    Activation a = callers_.back();
    callers_.pop_back();
    fn_ = a.fn;
    pc_ = a.pc;
    base_ = a.base;
    frame_ = a.frame;
    nargs_ = a.nargs;
    passed_ = a.passed;
    line_ = a.line;
  }
}

void Machine::Call(ValueRecord* callee, int nargs) {
  if (callee->kind != kKindFunction) {
    // The name was not a function when the frame was set up: look again.
    FunctionRecord* f = values_.FindOrLoadFunction(callee->name);
    if (!f && find_undefined) f = find_undefined(callee->name);
    if (!f) {
      RaiseError(3499, std::string(callee->name) + "() not found");
      return;
    }
    callee = f;
  }
  if (IsStructDef(callee)) {
    // Calling a structure's name makes an instance of it.
    if (nargs != 0) {
      char buf[80];
      std::snprintf(buf, sizeof buf, "expected %d arguments but received %d", 0, nargs);
      RaiseError(3001, buf);
      return;
    }
    rc_t code = 0;
    std::string msg;
    ValueRecord* v = NewStructScalar(values_, static_cast<FunctionRecord*>(callee), &code, &msg);
    if (!v) {
      RaiseError(code, msg.empty() ? MessageFor(code) : msg);
      return;
    }
    PushNew(v);
    return;
  }
  if (host_.PollBreak()) {
    status_ = 1;
    return;
  }
  callers_.push_back(Activation{fn_, pc_, base_, frame_, nargs_, passed_, line_});
  Enter(static_cast<FunctionRecord*>(callee), nargs);
}

void Machine::Leave() {
  if (status_ == kStatusReturn) {
    ValueRecord* v = stack_[sp_--];  // the slot's reference is now ours
    while (sp_ >= frame_) Pop();
    stack_[++sp_] = v;
    if (v->level == level_ && level_ >= 1) {
      // A callee's own record becomes a temporary of the caller: moved,
      // not copied.
      v->name[0] = 0;
      v->level = level_ - 1;
    }
    status_ = 0;
  } else {
    rc_t s = status_;
    if (s != kStatusBreak && s != kStatusSilentStop && s != kStatusRaised) {
      if (s == kStatusReported) {
        TracebackLine(0, MessageFor(2));
      } else {
        set_first_error(s);
        TracebackLine(s, MessageFor(s));
      }
    }
    while (sp_ >= frame_) Pop();
    // Files the failing function opened for itself go with it.
    if (state_) state_->CloseAutoFiles(statement_depth_, level_);
    if (s != kStatusBreak && s != kStatusSilentStop) status_ = kStatusReported;
    builtin = nullptr;
  }
  --level_;
  values_.level = level_;
}

std::string Machine::FunctionName() const {
  if (!fn_) return "<istmt>";
  if (std::strncmp(fn_->name, "<istmt", 6) == 0) return "<istmt>";
  return std::string(fn_->name) + "()";
}

void Machine::TracebackLine(rc_t code, std::string_view message) {
  char buf[512];
  std::string out;
  std::string msg(message);
  if (builtin && code) {
    std::snprintf(buf, sizeof buf, "%24s: %5d  %s\n", builtin, code, msg.c_str());
    out += buf;
    std::snprintf(buf, sizeof buf, "%24s:     -  %s", FunctionName().c_str(), MessageFor(2));
  } else if (code) {
    std::snprintf(buf, sizeof buf, "%24s: %5d  %s", FunctionName().c_str(), code, msg.c_str());
  } else {
    std::snprintf(buf, sizeof buf, "%24s:     -  %s", FunctionName().c_str(), msg.c_str());
  }
  out += buf;
  if (line_) {
    std::snprintf(buf, sizeof buf, " [%d]", line_);
    out += buf;
  }
  if (tracing && base_) {
    std::snprintf(buf, sizeof buf, " {%d}", int(pc_ - base_));
    out += buf;
  }
  out += "\n";
  host_.Print(Style::Error, out);
}

void Machine::RaiseError(rc_t code, std::string_view message) {
  set_first_error(code);
  TracebackLine(code, message);
  builtin = nullptr;
  status_ = kStatusRaised;
}

void Machine::RaiseAllocation() {
  rc_t code = values_.take_error_code();
  std::string msg = values_.take_error();
  if (msg.empty()) msg = MessageFor(code);
  RaiseError(code, msg);
}

void Machine::FoundWhere(const ValueRecord* v, const char* wanted, rc_t code) {
  char buf[160];
  if (v->kind == kKindFunction)
    std::snprintf(buf, sizeof buf, "%s() does not return %s", v->name, wanted);
  else
    std::snprintf(buf, sizeof buf, "%s[%d,%d] found where %s required", std::string(record_name(v)).c_str(), v->rows, v->cols, wanted);
  RaiseError(code, buf);
}

bool Machine::CheckMatrix(const ValueRecord* v) {
  if (v->kind != kKindFunction) return true;
  RaiseError(3102, std::string(v->name) + " not a matrix");
  return false;
}
bool Machine::CheckScalar(const ValueRecord* v) {
  if (v->kind != kKindFunction && v->rows == 1 && v->cols == 1) return true;
  FoundWhere(v, "scalar", 3204);
  return false;
}
bool Machine::CheckReal(const ValueRecord* v) {
  if (v->kind != kKindFunction && v->eltype == kReal) return true;
  FoundWhere(v, "real", 3253);
  return false;
}
bool Machine::CheckString(const ValueRecord* v) {
  if (v->kind != kKindFunction && v->eltype == kString) return true;
  FoundWhere(v, "string", 3254);
  return false;
}
bool Machine::CheckNumeric(const ValueRecord* v) {
  if (v->kind != kKindFunction && (v->eltype == kReal || v->eltype == kComplex)) return true;
  FoundWhere(v, "real or complex", 3251);
  return false;
}
bool Machine::CheckVector(const ValueRecord* v) {
  if (v->kind != kKindFunction && (v->rows == 1 || v->cols == 1)) return true;
  FoundWhere(v, "vector", 3201);
  return false;
}

const char* Machine::MessageFor(rc_t code) {
  switch (code) {
#define LUMO_MESSAGE(code, text) case code: return text;
#include "lumo/messages.def"
#undef LUMO_MESSAGE
    default: break;
  }
  if (code >= 600 && code <= 699) return "file error";
  return "Nuvra returned error";
}

namespace {

inline bool IsRealScalar(const ValueRecord* v) {
  return v->kind == kKindValue && v->representation == kArray && v->eltype == kReal && v->rows == 1 && v->cols == 1;
}

// Whether the comparison op (k_eq to k_ne) holds between two numbers,
// as Relation(op, Cmp(a, b)) says, without a branch on the opcode: bit
// 0, 1 or 2 of the opcode's mask answers for less, equal or greater.
static_assert(k_ge == k_eq + 1 && k_le == k_eq + 2 && k_gt == k_eq + 3 && k_lt == k_eq + 4 && k_ne == k_eq + 5);
inline bool Holds(int32_t op, double a, double b) {
  static constexpr uint8_t kMask[] = {2, 6, 3, 4, 1, 5};  // == >= <= > < !=
  int c = a < b ? 0 : a > b ? 2 : 1;
  return (kMask[op - k_eq] >> c) & 1;
}

// ++ or -- (op) on a real array local, in place: 1 is added to or taken
// from its first element unless that is missing.  False, with nothing
// changed, for any other local; the instruction then reports why.
inline bool StepInPlace(ValueRecord* v, int32_t op) {
  if (v->kind != kKindValue || v->representation != kArray || v->eltype != kReal || v->rows < 1 || v->cols < 1)
    return false;
  double& d = reals(v)[0];
  if (!data::is_missing(d)) d += op == k_inc ? 1 : -1;
  return true;
}

}  // namespace

// A run of loads of real scalar locals and constants and of arithmetic,
// comparison and logical operators, ending in a store into a real scalar
// local or in a conditional jump, is worked out in registers: the
// temporaries it would make and drop are never made.  The numbers are
// those the operators give (the same functions), the condition flag is
// left as the last comparison set it, and the store or jump happens as
// the instruction would do it.  It returns how many instructions the run
// was; when the run does not qualify nothing has been changed, 0 is
// returned and the instructions run one by one.
int Machine::ScalarRun() {
  constexpr int kDepth = 8;
  double r[kDepth];
  int n = 0, ran = 1;
  bool cond = condition;
  for (const int32_t* p = pc_;; ++ran) {
    int32_t op = *p;
    switch (op) {
      case k_local: {
        const ValueRecord* v = stack_[frame_ + p[1]];
        if (n == kDepth || !IsRealScalar(v)) return 0;
        r[n++] = reals(v)[0];
        p += 2;
        break;
      }
      case k_real:
        if (n == kDepth) return 0;
        std::memcpy(&r[n++], base_ + p[1], 8);
        p += 2;
        break;
      case k_zero:
      case k_one:
      case k_missing:
        if (n == kDepth) return 0;
        r[n++] = op == k_zero ? 0.0 : op == k_one ? 1.0 : data::kMissing;
        p += 1;
        break;
      // One case per operator, so that each Arith is compiled for it.
#define LUMO_SCALAR_ARITH(opcode)             \
  case opcode:                                \
    if (n < 2) return 0;                      \
    r[n - 2] = Arith(opcode, r[n - 2], r[n - 1]); \
    --n;                                      \
    p += 1;                                   \
    break;
      LUMO_SCALAR_ARITH(k_add)
      LUMO_SCALAR_ARITH(k_sub)
      LUMO_SCALAR_ARITH(k_mul)
      LUMO_SCALAR_ARITH(k_div)
#undef LUMO_SCALAR_ARITH
      case k_eq:
      case k_ne:
      case k_lt:
      case k_le:
      case k_gt:
      case k_ge:
        if (n < 2) return 0;
        r[n - 2] = Relation(op, Cmp(r[n - 2], r[n - 1]));
        cond = r[n - 2] != 0;
        --n;
        p += 1;
        break;
      case k_and:
      case k_or:
        if (n < 2) return 0;
        r[n - 2] = Logical(op, r[n - 2], r[n - 1]);
        cond = r[n - 2] != 0;
        --n;
        p += 1;
        break;
      case k_store:
      case k_storepop: {
        ValueRecord* d = stack_[frame_ + p[1]];
        if (n != 1 || !IsRealScalar(d) || (op == k_store && sp_ + 1 >= kStackSlots)) return 0;
        reals(d)[0] = r[0];
        if (op == k_store) {
          stack_[++sp_] = d;
          ++d->refcount;
        }
        condition = cond;
        pc_ = p + 2;
        return ran;
      }
      case k_jumpiffalse:
        if (n != 1) return 0;
        condition = cond;
        pc_ = r[0] != 0 ? p + 2 : base_ + p[1];
        return ran;
      default: return 0;
    }
  }
}

// A for loop whose body is one scalar run ending in a store, and whose
// step is x++ or x--, of real scalar locals only:
//
//   T:  local a; local b (or a constant); <comparison>; jumpiffalse BRK
//       jump BODY
//       local i; pop; inc i (or dec i); jump T                (the step)
//   BODY: <scalar run> storepop d; jump STEP
//
// is run here whole once its test has held at T.  Nothing in it can
// change what any of its locals is (the stores write a number into a
// real scalar in place), so the locals are checked once and each turn
// does only the arithmetic: the same functions as the instructions, in
// the same order, on the same records, which anything else holding them
// (a pointer, the caller) sees as usual.  Break is polled as the loop's
// three jumps a turn would poll it.  It returns how many instructions
// it stood for, from the jump to BODY on (a turn is BODY, the step, the
// test and, when the test holds, the jump back to BODY); 0, with nothing
// done, when the code or the locals are not of this form.
uint64_t Machine::ScalarLoop(const int32_t* test, const int32_t* w, const double* bound) {
  const int32_t* step = w + 2;
  const int32_t* body = step + 7;
  if (w[0] != k_jump || base_ + w[1] != body || step[0] != k_local || step[2] != k_pop ||
      (step[3] != k_inc && step[3] != k_dec) || step[5] != k_jump || base_ + step[6] != test)
    return 0;
  ValueRecord** fr = stack_ + frame_;
  ValueRecord* a = fr[test[1]];
  ValueRecord* i = fr[step[4]];
  if (!IsRealScalar(a) || !IsRealScalar(i)) return 0;
  // The body as operations on addresses of numbers: the locals' own
  // elements and copies of the constants.
  constexpr int kOps = 16, kDepth = 8;
  struct Step {
    int32_t op;
    const double* x;  // what a load pushes
  } ops[kOps];
  double constants[kOps];
  int nops = 0, depth = 0;
  const int32_t* p = body;
  double* dst = nullptr;
  for (;;) {
    if (nops == kOps) return 0;
    int32_t op = *p;
    Step& s = ops[nops];
    s.op = op;
    switch (op) {
      case k_local: {
        ValueRecord* v = fr[p[1]];
        if (!IsRealScalar(v) || depth == kDepth) return 0;
        s.x = reals(v);
        ++depth;
        p += 2;
        break;
      }
      case k_real:
        if (depth == kDepth) return 0;
        std::memcpy(&constants[nops], base_ + p[1], 8);
        s.x = &constants[nops];
        ++depth;
        p += 2;
        break;
      case k_zero:
      case k_one:
      case k_missing:
        if (depth == kDepth) return 0;
        constants[nops] = op == k_zero ? 0.0 : op == k_one ? 1.0 : data::kMissing;
        s.x = &constants[nops];
        s.op = k_real;
        ++depth;
        p += 1;
        break;
      case k_add: case k_sub: case k_mul: case k_div:
      case k_eq: case k_ne: case k_lt: case k_le: case k_gt: case k_ge:
      case k_and: case k_or:
        if (depth < 2) return 0;
        --depth;
        p += 1;
        break;
      case k_storepop: {
        ValueRecord* d = fr[p[1]];
        if (depth != 1 || !IsRealScalar(d) || p[2] != k_jump || base_ + p[3] != step) return 0;
        dst = reals(d);
        break;
      }
      default: return 0;
    }
    if (dst) break;
    ++nops;
  }
  const double* u = reals(a);
  const double* v = bound;
  double* x = reals(i);
  const int32_t cmp = w[-3];
  const double delta = step[3] == k_inc ? 1 : -1;
  const uint64_t per_turn = uint64_t(nops) + 11;
  for (uint64_t turns = 1;; ++turns) {
    // BODY
    double r[kDepth];
    int n = 0;
    bool cond = condition;
    for (int k = 0; k < nops; ++k) {
      const Step& s = ops[k];
      switch (s.op) {
        case k_local:
        case k_real: r[n++] = *s.x; break;
        case k_add: r[n - 2] = Arith(k_add, r[n - 2], r[n - 1]); --n; break;
        case k_sub: r[n - 2] = Arith(k_sub, r[n - 2], r[n - 1]); --n; break;
        case k_mul: r[n - 2] = Arith(k_mul, r[n - 2], r[n - 1]); --n; break;
        case k_div: r[n - 2] = Arith(k_div, r[n - 2], r[n - 1]); --n; break;
        case k_and:
        case k_or:
          r[n - 2] = Logical(s.op, r[n - 2], r[n - 1]);
          cond = r[n - 2] != 0;
          --n;
          break;
        default:
          r[n - 2] = Relation(s.op, Cmp(r[n - 2], r[n - 1]));
          cond = r[n - 2] != 0;
          --n;
          break;
      }
    }
    *dst = r[0];
    condition = cond;
    // STEP, then back to T: the body's jump, the step's and the test's.
    if (!data::is_missing(*x)) *x += delta;
    break_countdown_ -= 3;
    if (break_countdown_ < 0) {
      break_countdown_ = break_poll_jumps - 1;
      if (host_.PollBreak()) {
        status_ = 1;
        pc_ = w;
        return turns * per_turn - 4;  // this turn's test and jump not run
      }
    }
    bool truth = Holds(cmp, *u, *v);
    condition = truth;
    if (!truth) {
      pc_ = base_ + w[-1];
      return turns * per_turn;
    }
  }
}

// The dispatch loop.  The commonest opcodes run here; the rest through
// the table.  The program counter and the frame's first slot live in
// locals while the loop runs its own opcodes; pc_ is written back before
// anything that reads it (a table handler, a scalar run, an error report)
// and both are read again after a handler, which may have made a call.
// The instruction count is kept in a local as well, one increment a turn
// and the number a shortcut stands for on top, and is added to executed_
// before a handler runs (opcount() reads it) and when the loop ends.
void Machine::Run() {
  const int32_t* pc = pc_;
  ValueRecord** fr = stack_ + frame_;
  uint64_t ran = 0;
  // A jump straight after a loop's test, an update or a step is taken at
  // once rather than through another turn of the loop; it counts towards
  // the Break poll like any other jump.
  auto follow_jump = [&]() __attribute__((always_inline)) {
    if (*pc != k_jump) return;
    ++ran;
    if (--break_countdown_ < 0) {
      break_countdown_ = break_poll_jumps - 1;
      if (host_.PollBreak()) {
        status_ = 1;
        return;
      }
    }
    pc = base_ + pc[1];
  };
  while (status_ == 0) {
    int32_t op = *pc;
    ++ran;
    switch (op) {
      case k_jump:
        // Asking the host costs a call into the window side, so it is
        // asked at every break_poll_jumps-th jump.
        if (--break_countdown_ < 0) {
          break_countdown_ = break_poll_jumps - 1;
          if (host_.PollBreak()) {
            status_ = 1;
            break;
          }
        }
        pc = base_ + pc[1];
        break;
      case k_pop:
        Pop();
        ++pc;
        break;
      case k_ret: status_ = kStatusReturn; break;
      case k_count:
        if (nargs_ != pc[1]) {
          char buf[80];
          std::snprintf(buf, sizeof buf, "expected %d arguments but received %d", pc[1], nargs_);
          pc_ = pc;
          RaiseError(3001, buf);
          break;
        }
        pc += 2;
        break;
      case k_store:
      case k_storepop: {
        ValueRecord* top = stack_[sp_];
        ValueRecord* local = fr[pc[1]];
        if (top != local) {
          pc_ = pc;
          if (!CheckMatrix(top)) break;
          if (rc_t rc = values_.Copy(local, top, true)) {
            status_ = rc;
            break;
          }
          if (op == k_store) {
            ++local->refcount;
            stack_[sp_] = local;
            values_.Release(top);
          } else {
            Pop();
          }
        } else if (op == k_storepop) {
          Pop();
        }
        pc += 2;
        break;
      }
      case k_local: {
        int32_t next = pc[2];
        if (next == k_pop) {
          // Pushed only to be dropped (the value of a statement x++),
          // typically a loop's step, whose increment follows.
          pc += 3;
          ++ran;
          if ((*pc == k_inc || *pc == k_dec) && StepInPlace(fr[pc[1]], *pc)) {
            pc += 2;
            ++ran;
            follow_jump();
          }
          break;
        }
        if (next == k_local || next == k_real || next == k_zero || next == k_one) {
          // A real scalar local and a local or a constant, an operator,
          // then a loop's test or an update such as t = t + i: done here,
          // with the operators' own arithmetic, and nothing is pushed.
          // Each word read exists because the one before it is an
          // instruction with a successor.
          const int32_t* q = next == k_zero || next == k_one ? pc + 3 : pc + 4;  // the operator
          int32_t bop = *q;
          if (bop >= k_eq && bop <= k_ne) {
            if (q[1] == k_jumpiffalse) {
              const ValueRecord* a = fr[pc[1]];
              double constant = next == k_one;
              const double* v = &constant;
              if (next == k_local) {
                const ValueRecord* b = fr[pc[3]];
                v = IsRealScalar(b) ? reals(b) : nullptr;
              } else if (next == k_real) {
                std::memcpy(&constant, base_ + pc[3], 8);
              }
              if (v && IsRealScalar(a)) {
                bool truth = Holds(bop, reals(a)[0], *v);
                condition = truth;
                ran += 3;
                if (truth) {
                  if (uint64_t looped = ScalarLoop(pc, q + 3, v)) {
                    ran += looped;
                    pc = pc_;
                    break;
                  }
                }
                pc = truth ? q + 3 : base_ + q[2];
                follow_jump();
                break;
              }
            }
          } else if (next == k_local && (bop == k_add || bop == k_sub || bop == k_mul)) {
            if (pc[5] == k_storepop) {
              const ValueRecord* a = fr[pc[1]];
              const ValueRecord* b = fr[pc[3]];
              ValueRecord* d = fr[pc[6]];
              if (IsRealScalar(a) && IsRealScalar(b) && IsRealScalar(d)) {
                double u = reals(a)[0], v = reals(b)[0];
                reals(d)[0] = bop == k_add ? Arith(k_add, u, v) : bop == k_sub ? Arith(k_sub, u, v) : Arith(k_mul, u, v);
                pc += 7;
                ran += 3;
                follow_jump();
                break;
              }
            }
          }
        }
        pc_ = pc;
        if (int k = ScalarRun()) {
          ran += k - 1;
          pc = pc_;
          follow_jump();
          break;
        }
        if (!Push(fr[pc[1]])) break;
        pc += 2;
        break;
      }
      case k_inc:
      case k_dec: {
        ValueRecord* v = fr[pc[1]];
        if (StepInPlace(v, op)) [[likely]] {
          pc += 2;
          follow_jump();
          break;
        }
        pc_ = pc;
        if (v->kind == kKindFunction || v->representation != kArray) RaiseError(3103, MessageFor(3103));
        else if (v->eltype != kReal) RaiseError(3253, MessageFor(3253));
        else FoundWhere(v, "scalar", 3204);
        break;
      }
      case k_jumpifnot:
        Pop();
        pc = condition ? pc + 2 : base_ + pc[1];
        break;
      case k_ismatrix:
        pc_ = pc;
        if (!CheckMatrix(stack_[sp_])) break;
        ++pc;
        break;
      case k_isscalar:
        pc_ = pc;
        if (!CheckScalar(stack_[sp_])) break;
        ++pc;
        break;
      default:
        pc_ = pc;
        if (op < 0 || op >= kOpcodeSlots) {
          status_ = 3997;
          break;
        }
        if (values_.views_made && !RealizeViews(op)) break;
        executed_ += ran;
        ran = 0;
        kDispatch.h[op](*this);
        pc = pc_;
        fr = stack_ + frame_;
        break;
    }
  }
  pc_ = pc;
  executed_ += ran;
}

bool Machine::RealizeSlot(int k) {
  ValueRecord* v = stack_[k];
  if (v->kind != kKindValue || v->representation == kArray) return true;
  ValueRecord* a = values_.ReadView(v);
  if (!a) {
    RaiseAllocation();
    return false;
  }
  ++a->refcount;
  stack_[k] = a;
  values_.Release(v);
  return true;
}

// Operands that are views become arrays of the cells as they are now,
// except where the instruction needs the record itself: the target of a
// store (which writes through to the dataset), the operand of &, ++ and
// --, the arguments of a function call (the callee receives the caller's
// records), and the arguments of the built-ins that work on views.
bool Machine::RealizeViews(int32_t op) {
  int n = opcode_info(op).operands;
  int keep = -1;  // slot below the top that stays a record
  switch (op) {
    case k_store1:
    case k_rangestore: keep = 1; break;
    case k_store2: keep = 2; break;
    case k_assign:
    case k_addr:
    case k_preinc:
    case k_predec:
    case k_postinc:
    case k_postdec: keep = 0; break;
    case k_builtin:
      if (BuiltinTakesViews(pc_[1])) return true;
      n = pc_[2];
      break;
    default: break;
  }
  for (int b = 0; b < n; ++b)
    if (b != keep && !RealizeSlot(sp_ - b)) return false;
  return true;
}

// ---- handlers of the opcodes the loop runs itself (never reached
// through the table, kept so that the table has every row).
void Ops::op_jump(Machine& m) { m.set_status(3997); }
void Ops::op_pop(Machine& m) { m.set_status(3997); }
void Ops::op_ret(Machine& m) { m.set_status(3997); }
void Ops::op_count(Machine& m) { m.set_status(3997); }
void Ops::op_store(Machine& m) { m.set_status(3997); }
void Ops::op_storepop(Machine& m) { m.set_status(3997); }
void Ops::op_local(Machine& m) { m.set_status(3997); }
void Ops::op_inc(Machine& m) { m.set_status(3997); }
void Ops::op_dec(Machine& m) { m.set_status(3997); }
void Ops::op_jumpifnot(Machine& m) { m.set_status(3997); }
void Ops::op_ismatrix(Machine& m) { m.set_status(3997); }
void Ops::op_isscalar(Machine& m) { m.set_status(3997); }
void Ops::op_realpool(Machine& m) { m.set_status(3997); }
void Ops::op_stringpool(Machine& m) { m.set_status(3997); }
void Ops::op_line(Machine& m) {
  m.line_ = pc(m)[1];
  pc(m) += 2;
}

void Ops::op_jumpiffalse(Machine& m) {
  ValueRecord* c = m.Top();
  if (!m.CheckMatrix(c)) return;
  if (c->eltype != kReal) {
    m.FoundWhere(c, "real", 3253);
    return;
  }
  if (!m.CheckScalar(c)) return;
  bool truth = reals(c)[0] != 0;
  m.Pop();
  pc(m) = truth ? pc(m) + 2 : base(m) + pc(m)[1];
}

void Ops::op_real(Machine& m) {
  double d;
  std::memcpy(&d, base(m) + pc(m)[1], 8);
  if (!m.PushNew(m.values().NewScalar(d))) return;
  pc(m) += 2;
}

void Ops::op_complex(Machine& m) {
  double d;
  std::memcpy(&d, base(m) + pc(m)[1], 8);
  ValueRecord* v = m.values().NewValue("", kComplex, 1, 1);
  if (v) {
    reals(v)[0] = 0;
    reals(v)[1] = d;
  }
  if (!m.PushNew(v)) return;
  pc(m) += 2;
}

void Ops::op_string(Machine& m) {
  std::string_view s = BytesAt(base(m) + pc(m)[1]);
  ValueRecord* v = m.values().NewValue("", kString, 1, 1);
  if (v) {
    bool ok;
    slots(v)[0] = m.values().NewString(s, &ok);
    if (!ok) {
      m.values().Free(v);
      v = nullptr;
    }
  }
  if (!m.PushNew(v)) return;
  pc(m) += 2;
}

void Ops::op_zero(Machine& m) {
  if (m.PushNew(m.values().NewScalar(0))) pc(m) += 1;
}
void Ops::op_one(Machine& m) {
  if (m.PushNew(m.values().NewScalar(1))) pc(m) += 1;
}
void Ops::op_missing(Machine& m) {
  if (m.PushNew(m.values().NewScalar(data::kMissing))) pc(m) += 1;
}
void Ops::op_void(Machine& m) {
  if (m.PushNew(m.values().NewValue("", kReal, 0, 0))) pc(m) += 1;
}
void Ops::op_null(Machine& m) {
  if (m.PushNew(m.values().NewValue("", kPointer, 1, 1))) pc(m) += 1;
}

void Ops::op_display(Machine& m) {
  m.Display(m.Top());
  pc(m) += 1;
}

void Ops::op_external(Machine& m) {
  const int32_t* w = pc(m);
  std::string_view name = BytesAt(w + 2);
  ValueRecord* g = m.values().FindGlobal(name);
  if (!g) {
    if (!w[1]) {
      m.RaiseError(3499, std::string(name) + " not found");
      return;
    }
    g = m.values().NewGlobal(name, kReal, 0, 0);
    if (!g) {
      m.RaiseAllocation();
      return;
    }
    m.made_globals.push_back(g);
  }
  if (!m.Push(g)) return;
  pc(m) += 3 + w[2];
}

void Ops::NewLocal(Machine& m, int eltype, int words) {
  std::string_view name = BytesAt(pc(m) + 1);
  ValueRecord* v = m.values().NewValue("", eltype, 0, 0);
  if (v) {
    size_t n = std::min(name.size(), kNameBytes - 1);
    std::memcpy(v->name, name.data(), n);
    v->name[n] = 0;
  }
  if (!m.PushNew(v)) return;
  pc(m) += words;
}
void Ops::op_newreal(Machine& m) { NewLocal(m, kReal, 2 + pc(m)[1]); }
void Ops::op_newcomplex(Machine& m) { NewLocal(m, kComplex, 2 + pc(m)[1]); }
void Ops::op_newstring(Machine& m) { NewLocal(m, kString, 2 + pc(m)[1]); }
void Ops::op_newpointer(Machine& m) { NewLocal(m, kPointer, 2 + pc(m)[1]); }
void Ops::op_newstruct(Machine& m) { NewLocal(m, kStruct, 2 + pc(m)[1]); }

// l -- l : a struct scalar local gets its instance.
void Ops::op_instance(Machine& m) {
  std::string_view name = BytesAt(pc(m) + 1);
  FunctionRecord* def = m.values().FindOrLoadFunction(name);
  if (!IsStructDef(def)) {
    m.RaiseError(3499, def ? std::string(name) + "() not struct definition" : "struct " + std::string(name) + " not found");
    return;
  }
  rc_t code = 0;
  std::string msg;
  ValueRecord* v = NewStructScalar(m.values(), def, &code, &msg);
  if (!v) return m.RaiseError(code, msg.empty() ? Machine::MessageFor(code) : msg);
  ++v->refcount;
  rc_t rc = m.values().Copy(m.Top(), v, true);
  m.values().Release(v);
  if (rc) return m.set_status(rc);
  pc(m) += 2 + pc(m)[1];
}

// s -- s.m
void Ops::op_member(Machine& m) {
  std::string_view name = BytesAt(pc(m) + 1);
  ValueRecord* s = m.Top();
  if (!m.CheckMatrix(s)) return;
  if (s->eltype != kStruct) return m.FoundWhere(s, "struct", 3259);
  if (!m.CheckScalar(s)) return;
  ValueRecord* inst = static_cast<ValueRecord*>(slots(s)[0]);
  if (!inst) return m.RaiseError(3010, Machine::MessageFor(3010));
  auto* def = static_cast<FunctionRecord*>(inst->structdef);
  int k = def ? MemberIndex(def, name) : -1;
  if (k < 0 || k >= inst->rows)
    return m.RaiseError(3499, std::string(name) + " not found -- struct " + (def ? def->name : "") + " contains no such member");
  m.ReplaceTop(1, static_cast<ValueRecord*>(slots(inst)[k]));
  pc(m) += 2 + pc(m)[1];
}

void Ops::op_function(Machine& m) {
  const int32_t* w = pc(m);
  std::string_view name = BytesAt(w + 4);
  ValueRecord* f = m.values().FindOrLoadFunction(name);
  if (f) {
    if (!m.Push(f)) return;
  } else {
    // Not defined yet: a placeholder carrying the name, looked up again
    // when it is called.
    ValueRecord* v = m.values().NewValue("", kReal, 0, 0);
    if (v) {
      size_t n = std::min(name.size(), kNameBytes - 1);
      std::memcpy(v->name, name.data(), n);
      v->name[n] = 0;
    }
    if (!m.PushNew(v)) return;
  }
  pc(m) += 5 + w[4];
}

void Ops::Optional(Machine& m, int eltype, int rows, int cols, bool missing) {
  const int32_t* w = pc(m);
  if (nargs(m) == w[1] - 1) {
    ValueRecord* v = m.values().NewValue("", eltype, rows, cols);
    if (v && missing) {
      reals(v)[0] = data::kMissing;
      if (eltype == kComplex) reals(v)[1] = data::kMissing;
    }
    if (!m.PushNew(v)) return;
    ++nargs(m);
  }
  pc(m) += 3 + w[2];
}
void Ops::op_optrealmat(Machine& m) { Optional(m, kReal, 0, 0, false); }
void Ops::op_optcomplexmat(Machine& m) { Optional(m, kComplex, 0, 0, false); }
void Ops::op_optstringmat(Machine& m) { Optional(m, kString, 0, 0, false); }
void Ops::op_optpointermat(Machine& m) { Optional(m, kPointer, 0, 0, false); }
void Ops::op_optstructmat(Machine& m) { Optional(m, kStruct, 0, 0, false); }
void Ops::op_optrealrow(Machine& m) { Optional(m, kReal, 1, 0, false); }
void Ops::op_optcomplexrow(Machine& m) { Optional(m, kComplex, 1, 0, false); }
void Ops::op_optstringrow(Machine& m) { Optional(m, kString, 1, 0, false); }
void Ops::op_optpointerrow(Machine& m) { Optional(m, kPointer, 1, 0, false); }
void Ops::op_optstructrow(Machine& m) { Optional(m, kStruct, 1, 0, false); }
void Ops::op_optrealcol(Machine& m) { Optional(m, kReal, 0, 1, false); }
void Ops::op_optcomplexcol(Machine& m) { Optional(m, kComplex, 0, 1, false); }
void Ops::op_optstringcol(Machine& m) { Optional(m, kString, 0, 1, false); }
void Ops::op_optpointercol(Machine& m) { Optional(m, kPointer, 0, 1, false); }
void Ops::op_optstructcol(Machine& m) { Optional(m, kStruct, 0, 1, false); }
void Ops::op_optrealscalar(Machine& m) { Optional(m, kReal, 1, 1, true); }
void Ops::op_optcomplexscalar(Machine& m) { Optional(m, kComplex, 1, 1, true); }
void Ops::op_optstringscalar(Machine& m) { Optional(m, kString, 1, 1, false); }
void Ops::op_optpointerscalar(Machine& m) { Optional(m, kPointer, 1, 1, false); }

void Ops::op_call(Machine& m) {
  const int32_t* w = pc(m);
  ValueRecord* callee = local(m, w[1]);
  pc(m) += 3;
  call(m, callee, w[2]);
}

void Ops::op_callptr(Machine& m) {
  int n = pc(m)[1];
  ValueRecord* p = m.Top();
  if (!m.CheckMatrix(p)) return;
  if (p->eltype != kPointer) {
    m.FoundWhere(p, "pointer", 3257);
    return;
  }
  if (!m.CheckScalar(p)) return;
  auto* target = static_cast<ValueRecord*>(slots(p)[0]);
  if (!target) {
    m.RaiseError(3010, Machine::MessageFor(3010));
    return;
  }
  if (target->kind != kKindFunction) {
    m.RaiseError(3101, Machine::MessageFor(3101));
    return;
  }
  ++target->refcount;  // p may have been the only holder
  m.Pop();
  pc(m) += 2;
  call(m, target, n);
  m.values().Release(target);
}

void Ops::op_builtin(Machine& m) {
  const int32_t* w = pc(m);
  const BuiltinInfo* b = BuiltinByCode(w[1]);
  if (!b) {
    m.set_status(3996);
    return;
  }
  pc(m) += 3;
  char name[48];
  std::snprintf(name, sizeof name, "%s()", b->name);
  m.builtin = name;
  b->handler(m, w[2]);
  if (m.status() == 0) m.builtin = nullptr;
  else if (m.builtin == name) {
    // The traceback is printed when the activation ends; keep the name
    // somewhere that outlives this frame.
    static thread_local char kept[48];
    std::memcpy(kept, name, sizeof kept);
    m.builtin = kept;
  }
  if (m.status() == 0 && m.host().PollBreak()) m.set_status(1);
}

}  // namespace nuvra::lumo
