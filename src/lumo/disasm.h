// The disassembler: a function's code as one line per instruction,
// "offset  name  operands", with constants and names written out.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace nuvra::lumo {

std::string Disassemble(const std::vector<int32_t>& code);
std::string Disassemble(const int32_t* code, size_t words);

}  // namespace nuvra::lumo
