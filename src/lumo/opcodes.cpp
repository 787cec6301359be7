// The opcode table in number order, built from opcodes.def.
#include "lumo/opcodes.h"

#include <array>
#include <cstddef>
#include <string_view>

namespace nuvra::lumo {

namespace {

constexpr int8_t count_words(std::string_view e) {
  int8_t n = 0;
  bool in_word = false;
  for (char c : e) {
    bool blank = c == ' ';
    if (!blank && !in_word) ++n;
    in_word = !blank;
  }
  return n;
}

constexpr int8_t count_operands(const char* effect) {
  std::string_view e(effect);
  size_t arrow = e.find("--");
  if (arrow == std::string_view::npos) return 0;
  return e.substr(0, arrow).starts_with("args") ? 0 : count_words(e.substr(0, arrow));
}

constexpr int8_t count_results(const char* effect) {
  std::string_view e(effect);
  size_t arrow = e.find("--");
  if (arrow == std::string_view::npos) return 0;
  e = e.substr(arrow + 2);
  size_t note = e.find(" :");
  while (note != std::string_view::npos && note + 2 < e.size() && e[note + 2] != ' ') note = e.find(" :", note + 1);
  return count_words(e.substr(0, note));
}

constexpr std::array<OpcodeInfo, kOpcodeSlots> build_table() {
  std::array<OpcodeInfo, kOpcodeSlots> t{};
  for (auto& e : t) e = OpcodeInfo{nullptr, Shape::None, nullptr, 0, 0};
#define OPCODE(num, shape, name, effect) \
  t[num] = OpcodeInfo{#name, Shape::shape, effect, count_operands(effect), count_results(effect)};
#include "lumo/opcodes.def"
#undef OPCODE
  return t;
}

constexpr std::array<OpcodeInfo, kOpcodeSlots> kTable = build_table();
constexpr OpcodeInfo kUnassigned{nullptr, Shape::None, nullptr, 0, 0};

}  // namespace

const OpcodeInfo& opcode_info(int32_t op) {
  if (op < 0 || op >= kOpcodeSlots) return kUnassigned;
  return kTable[static_cast<size_t>(op)];
}

}  // namespace nuvra::lumo
