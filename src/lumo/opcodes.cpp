// The opcode table in number order, built from opcodes.def.
#include "lumo/opcodes.h"

#include <array>
#include <cstddef>

namespace nuvra::lumo {

namespace {

constexpr std::array<OpcodeInfo, kOpcodeSlots> build_table() {
  std::array<OpcodeInfo, kOpcodeSlots> t{};
  for (auto& e : t) e = OpcodeInfo{nullptr, Shape::None, nullptr};
#define OPCODE(num, shape, name, effect) t[num] = OpcodeInfo{#name, Shape::shape, effect};
#include "lumo/opcodes.def"
#undef OPCODE
  return t;
}

constexpr std::array<OpcodeInfo, kOpcodeSlots> kTable = build_table();
constexpr OpcodeInfo kUnassigned{nullptr, Shape::None, nullptr};

}  // namespace

const OpcodeInfo& opcode_info(int32_t op) {
  if (op < 0 || op >= kOpcodeSlots) return kUnassigned;
  return kTable[static_cast<size_t>(op)];
}

}  // namespace nuvra::lumo
