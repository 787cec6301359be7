// Opcode numbers, names and operand shapes, all drawn from opcodes.def.
#pragma once
#include <cstdint>

namespace nuvra::lumo {

enum class Shape : uint8_t { None, Word, Words2, Words3, Bytes, WordBytes, Doubles, Strings, FuncRef };

enum Op : int32_t {
#define OPCODE(num, shape, name, effect) k_##name = num,
#include "lumo/opcodes.def"
#undef OPCODE
};

// Slots of the machine's dispatch table; opcodes beyond are invalid.
inline constexpr int kOpcodeSlots = 156;

struct OpcodeInfo {
  const char* name;  // null for an unassigned opcode
  Shape shape;
  const char* effect;
  // Stack slots the instruction takes as operands: the words before "--"
  // in its effect ("args" counts as none; its count is an operand word).
  int8_t operands;
  // Stack slots it leaves: the words after "--", up to a " : " comment.
  int8_t results;
};

// The entry for an opcode number; name is null when it is unassigned.
const OpcodeInfo& opcode_info(int32_t op);

}  // namespace nuvra::lumo
