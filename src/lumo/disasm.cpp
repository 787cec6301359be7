// The disassembler, driven by the operand shapes of the opcode table.
#include "lumo/disasm.h"

#include <cstdio>
#include <cstring>

#include "data/format.h"
#include "lumo/builtins.h"
#include "lumo/compiler.h"
#include "lumo/opcodes.h"

namespace nuvra::lumo {

namespace {

std::string BytesText(const int32_t* w, size_t words_left) {
  size_t n = size_t(w[0]);
  if (n > words_left) n = words_left;
  const char* s = reinterpret_cast<const char*>(w + 1);
  return std::string(s, strnlen(s, n * 4));
}

std::string Constant(const int32_t* code, size_t words, int32_t off) {
  if (off < 0 || size_t(off) + 2 > words) return "?";
  double d;
  std::memcpy(&d, code + off, 8);
  std::string s = data::format_number("%10.0g", d);
  return s.substr(s.find_first_not_of(' ') == std::string::npos ? 0 : s.find_first_not_of(' '));
}

}  // namespace

std::string Disassemble(const std::vector<int32_t>& code) { return Disassemble(code.data(), code.size()); }

std::string Disassemble(const int32_t* code, size_t words) {
  std::string out;
  char buf[160];
  if (words < size_t(kCodeHeaderWords)) return out;
  std::snprintf(buf, sizeof buf, "args %d, required %d\n", code[0], code[1]);
  out += buf;
  size_t pc = kCodeHeaderWords;
  while (pc < words) {
    int32_t op = code[pc];
    const OpcodeInfo& info = opcode_info(op);
    if (!info.name) {
      std::snprintf(buf, sizeof buf, "%5zu  ?%d\n", pc, op);
      out += buf;
      break;
    }
    std::snprintf(buf, sizeof buf, "%5zu  %s", pc, info.name);
    out += buf;
    size_t left = words - pc - 1;
    const int32_t* w = code + pc + 1;
    size_t len = 1;
    switch (info.shape) {
      case Shape::None: break;
      case Shape::Word:
        if (left < 1) return out + "\n";
        len = 2;
        if (op == k_real) out += " " + std::to_string(w[0]) + " (" + Constant(code, words, w[0]) + ")";
        else if (op == k_complex) out += " " + std::to_string(w[0]) + " (" + Constant(code, words, w[0]) + "i)";
        else if (op == k_string && w[0] >= 0 && size_t(w[0]) < words)
          out += " " + std::to_string(w[0]) + " (\"" + BytesText(code + w[0], words - size_t(w[0]) - 1) + "\")";
        else out += " " + std::to_string(w[0]);
        break;
      case Shape::Words2:
        if (left < 2) return out + "\n";
        len = 3;
        out += " " + std::to_string(w[0]) + " " + std::to_string(w[1]);
        if (op == k_builtin)
          if (const BuiltinInfo* b = BuiltinByCode(w[0])) out += std::string(" (") + b->name + ")";
        break;
      case Shape::Words3:
        len = 4;
        out += " " + std::to_string(w[0]) + " " + std::to_string(w[1]) + " " + std::to_string(w[2]);
        break;
      case Shape::Bytes:
        if (left < 1) return out + "\n";
        len = 2 + size_t(w[0]);
        out += " " + BytesText(w, left - 1);
        break;
      case Shape::WordBytes:
        if (left < 2) return out + "\n";
        len = 3 + size_t(w[1]);
        out += " " + std::to_string(w[0]) + " " + BytesText(w + 1, left - 2);
        break;
      case Shape::FuncRef:
        if (left < 4) return out + "\n";
        len = 5 + size_t(w[3]);
        out += " " + BytesText(w + 3, left - 4) + "()";
        break;
      case Shape::Doubles: {
        if (left < 1) return out + "\n";
        int32_t n = w[0];
        len = 2 + 2 * size_t(n);
        out += " " + std::to_string(n) + ":";
        for (int32_t k = 0; k < n && size_t(2 * k + 2) < left + 1; ++k)
          out += " " + Constant(code, words, int32_t(pc + 2 + 2 * size_t(k)));
        break;
      }
      case Shape::Strings: {
        if (left < 1) return out + "\n";
        int32_t n = w[0];
        size_t at = pc + 2;
        out += " " + std::to_string(n) + ":";
        for (int32_t k = 0; k < n && at < words; ++k) {
          out += " \"" + BytesText(code + at, words - at - 1) + "\"";
          at += 1 + size_t(code[at]);
        }
        len = at - pc;
        break;
      }
    }
    out += "\n";
    pc += len;
  }
  return out;
}

}  // namespace nuvra::lumo
