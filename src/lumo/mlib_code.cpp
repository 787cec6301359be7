// The code of a library member walked by the operand shapes of the opcode
// table: checked when it is read, and turned to the other byte order when
// it is written.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "lumo/compiler.h"
#include "lumo/mlib.h"
#include "lumo/opcodes.h"
#include "lumo/structdef.h"

namespace nuvra::lumo {

namespace {

// What each word of the code is, for the byte-order change.
enum class WordKind : unsigned char { Number, Bytes, DoubleLow, DoubleHigh };

// Marks the words of one instruction at pc; its length in words, or 0
// when the opcode has no shape or its operands run past the end.
size_t MarkInstruction(const int32_t* code, size_t pc, size_t words, std::vector<WordKind>& kinds) {
  const OpcodeInfo& info = opcode_info(code[pc]);
  if (!info.name) return 0;
  size_t left = words - pc - 1;
  // A count read from the code; false when it is negative or too big.
  auto count = [&](size_t at, size_t per, size_t* n) {
    if (at >= words || code[at] < 0) return false;
    *n = size_t(code[at]);
    return *n <= (words - at - 1) / per;
  };
  auto bytes = [&](size_t from, size_t n) {
    for (size_t k = 0; k < n; ++k) kinds[from + k] = WordKind::Bytes;
  };
  size_t n = 0;
  switch (info.shape) {
    case Shape::None: return 1;
    case Shape::Word: return left >= 1 ? 2 : 0;
    case Shape::Words2: return left >= 2 ? 3 : 0;
    case Shape::Words3: return left >= 3 ? 4 : 0;
    case Shape::Bytes:
      if (!count(pc + 1, 1, &n)) return 0;
      bytes(pc + 2, n);
      return 2 + n;
    case Shape::WordBytes:
      if (left < 1 || !count(pc + 2, 1, &n)) return 0;
      bytes(pc + 3, n);
      return 3 + n;
    case Shape::FuncRef:
      if (left < 3 || !count(pc + 4, 1, &n)) return 0;
      bytes(pc + 5, n);
      return 5 + n;
    case Shape::Doubles:
      if (!count(pc + 1, 2, &n)) return 0;
      for (size_t k = 0; k < n; ++k) {
        kinds[pc + 2 + 2 * k] = WordKind::DoubleLow;
        kinds[pc + 3 + 2 * k] = WordKind::DoubleHigh;
      }
      return 2 + 2 * n;
    case Shape::Strings: {
      if (!count(pc + 1, 1, &n)) return 0;
      size_t at = pc + 2;
      for (size_t k = 0; k < n; ++k) {
        size_t len = 0;
        if (!count(at, 1, &len)) return 0;
        bytes(at + 1, len);
        at += 1 + len;
      }
      return at - pc;
    }
  }
  return 0;
}

// Marks a structure definition's entries; false at an unknown entry or
// one that runs past the end.
bool MarkStructdef(const int32_t* code, size_t words, std::vector<WordKind>& kinds) {
  size_t pc = kCodeHeaderWords;
  if (words < pc + 2 || code[pc] != kStructMarker) return false;
  pc += 2;
  while (pc < words) {
    size_t left = words - pc - 1;
    switch (code[pc]) {
      case kStructEntryType:
        if (left < 2) return false;
        pc += 3;
        break;
      case kStructEntryWide:
        if (left < 5) return false;
        pc += 6;
        break;
      case kStructEntryName: {
        // n counts its own word and the bytes after it.
        if (left < 1 || code[pc + 1] < 1 || size_t(code[pc + 1]) > left) return false;
        size_t n = size_t(code[pc + 1]) - 1;
        for (size_t k = 0; k < n; ++k) kinds[pc + 2 + k] = WordKind::Bytes;
        pc += 2 + n;
        break;
      }
      case kStructEntryEnd: pc += 1; break;
      default: return false;
    }
  }
  return true;
}

// Marks every word of the code; false when the walk fails, *stop then
// being the word where it did.
bool Mark(const int32_t* code, size_t words, bool structdef, std::vector<WordKind>& kinds, size_t* stop) {
  kinds.assign(words, WordKind::Number);
  *stop = 0;
  if (words < size_t(kCodeHeaderWords)) return false;
  if (structdef) return MarkStructdef(code, words, kinds);
  size_t pc = kCodeHeaderWords;
  while (pc < words) {
    size_t len = MarkInstruction(code, pc, words, kinds);
    if (len == 0) {
      *stop = pc;
      return false;
    }
    pc += len;
  }
  return true;
}

uint32_t Swap32(uint32_t w) { return __builtin_bswap32(w); }

bool IsOptional(int32_t op) {
  return (op >= k_optrealmat && op <= k_optpointerscalar) || (op >= k_optstructmat && op <= k_optstructcol);
}
bool MakesLocal(int32_t op) {
  return op == k_newreal || op == k_newcomplex || op == k_newstring || op == k_newpointer || op == k_newstruct ||
         op == k_external || op == k_function;
}

// The stack values an instruction takes and leaves: its effect's, except
// that a call takes its count operand (and callptr the pointer as well).
// False for a negative count.
bool StackEffect(const int32_t* w, int64_t* takes, int64_t* leaves) {
  const OpcodeInfo& info = opcode_info(w[0]);
  *takes = info.operands;
  *leaves = info.results;
  if (w[0] == k_call || w[0] == k_builtin) *takes = w[2];
  if (w[0] == k_callptr) *takes = int64_t(w[1]) + 1;
  return *takes >= 0;
}

// Whether no path through the code takes more from the stack than it has
// pushed on top of the frame: the machine pops without looking, so a
// value taken from below the frame's arguments and locals would be
// another frame's, or memory before the stack.  Each instruction gets the
// least height any path reaches it with, starting from the arguments;
// instructions of the prologue may not take the arguments either, those
// after it not the locals.  Code whose heights keep falling round a loop
// fails at the frame; a walk that goes on far longer than compiled code
// ever needs is refused too.
bool StackStaysInFrame(const int32_t* code, size_t words, size_t body, int64_t slots,
                       const std::vector<unsigned char>& at) {
  constexpr int64_t kUnreached = INT64_MAX;
  std::vector<int64_t> least(words, kUnreached);
  std::vector<size_t> work{size_t(kCodeHeaderWords)};
  least[kCodeHeaderWords] = code[0];
  std::vector<WordKind> kinds(words);
  size_t budget = 64 * words + 1024;
  while (!work.empty()) {
    if (budget-- == 0) return false;
    size_t pc = work.back();
    work.pop_back();
    const int32_t* w = code + pc;
    int64_t takes, leaves;
    if (!StackEffect(w, &takes, &leaves)) return false;
    const int64_t floor = pc < body ? code[0] : slots;
    if (least[pc] - takes < floor) return false;
    const int64_t after = least[pc] - takes + leaves;
    size_t next[2];
    int n = 0;
    const int32_t op = w[0];
    if (op == k_jump || op == k_jumpifnot || op == k_jumpiffalse) next[n++] = size_t(w[1]);
    if (op != k_jump && op != k_ret && op != k_realpool && op != k_stringpool)
      next[n++] = pc + MarkInstruction(code, pc, words, kinds);
    for (int k = 0; k < n; ++k) {
      if (next[k] >= words || !(at[next[k]] & 1)) return false;
      if (after < least[next[k]]) {
        least[next[k]] = after;
        work.push_back(next[k]);
      }
    }
  }
  return true;
}

// Whether a function's code, which walks, keeps to itself when run.  The
// machine trusts its operands: a frame slot indexes the stack from the
// frame, a jump target and a constant's word offset index the code.  So
// every jump must land on an instruction; every local slot must be an
// argument or one of the locals the prologue (the run of optional-argument,
// count, local-making and instance instructions the code opens with)
// pushes, and then the count must fix the arguments at the header's
// number, or a caller passing fewer would leave slots unmade; every call
// must name a slot the prologue filled with a function; every constant
// must be a double of a real pool or a string of a string pool; and the
// last instruction must not fall through past the end.
bool StaysInside(const int32_t* code, size_t words) {
  if (code[0] < 0 || code[1] < 0 || code[1] > code[0]) return false;
  std::vector<WordKind> kinds(words);
  // 1 an instruction starts here, 2 a double of a pool, 4 a string of one.
  std::vector<unsigned char> at(words, 0);
  size_t last = 0;
  for (size_t pc = kCodeHeaderWords; pc < words;) {
    size_t len = MarkInstruction(code, pc, words, kinds);
    at[pc] |= 1;
    if (code[pc] == k_realpool)
      for (size_t k = 0; k < size_t(code[pc + 1]); ++k) at[pc + 2 + 2 * k] |= 2;
    if (code[pc] == k_stringpool)
      for (size_t k = 0, s = pc + 2; k < size_t(code[pc + 1]); ++k, s += 1 + size_t(code[s])) at[s] |= 4;
    last = pc;
    pc += len;
  }
  if (last == 0) return false;
  int32_t end = code[last];
  if (end != k_ret && end != k_jump && end != k_realpool && end != k_stringpool) return false;

  int64_t slots = code[0];
  bool counted = false;
  std::vector<bool> made_function;  // per local of the prologue
  size_t pc = kCodeHeaderWords;
  for (; pc < words; pc += MarkInstruction(code, pc, words, kinds)) {
    int32_t op = code[pc];
    if (op == k_count) {
      counted = counted || code[pc + 1] == code[0];
    } else if (MakesLocal(op)) {
      made_function.push_back(op == k_function);
      ++slots;
    } else if (!IsOptional(op) && op != k_instance) {
      break;
    }
  }
  const size_t body = pc;
  auto slot = [&](int32_t k) { return counted && k >= 0 && k < slots; };
  for (pc = kCodeHeaderWords; pc < words; pc += MarkInstruction(code, pc, words, kinds)) {
    const int32_t* w = code + pc;
    bool ok = true;
    switch (w[0]) {
      case k_jump:
      case k_jumpifnot:
      case k_jumpiffalse: ok = w[1] >= kCodeHeaderWords && size_t(w[1]) < words && (at[size_t(w[1])] & 1); break;
      case k_store:
      case k_storepop:
      case k_local:
      case k_inc:
      case k_dec: ok = slot(w[1]); break;
      case k_call: ok = slot(w[1]) && w[1] >= code[0] && made_function[size_t(w[1] - code[0])]; break;
      case k_real:
      case k_complex: ok = w[1] >= 0 && size_t(w[1]) < words && (at[size_t(w[1])] & 2); break;
      case k_string: ok = w[1] >= 0 && size_t(w[1]) < words && (at[size_t(w[1])] & 4); break;
      default: break;
    }
    if (!ok) return false;
  }
  return StackStaysInFrame(code, words, body, slots, at);
}

}  // namespace

bool MlibCodeWalks(const int32_t* code, size_t words, bool structdef) {
  std::vector<WordKind> kinds;
  size_t stop;
  if (!Mark(code, words, structdef, kinds, &stop)) return false;
  return structdef || StaysInside(code, words);
}

rc_t MlibReverseCode(const int32_t* code, size_t words, bool structdef, std::vector<unsigned char>* out,
                     std::string* message) {
  std::vector<WordKind> kinds;
  size_t stop;
  if (!Mark(code, words, structdef, kinds, &stop)) {
    *message = structdef ? std::string("revstructdef: invalid opcode\n")
                         : "revpgm: invalid opcode " + std::to_string(stop < words ? code[stop] : 0) + "\n";
    return 9711;
  }
  out->resize(words * 4);
  unsigned char* o = out->data();
  for (size_t k = 0; k < words; ++k) {
    uint32_t w;
    std::memcpy(&w, code + k, 4);
    switch (kinds[k]) {
      case WordKind::Number: w = Swap32(w); break;
      case WordKind::Bytes: break;
      // The eight bytes of a double reversed: its two words exchanged,
      // each swapped.
      case WordKind::DoubleLow: std::memcpy(&w, code + k + 1, 4); w = Swap32(w); break;
      case WordKind::DoubleHigh: std::memcpy(&w, code + k - 1, 4); w = Swap32(w); break;
    }
    std::memcpy(o + 4 * k, &w, 4);
  }
  return 0;
}

}  // namespace nuvra::lumo
