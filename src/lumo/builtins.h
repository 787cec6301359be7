// The built-in function table: looked up by exact name at compile time,
// called through its handler at run time.
#pragma once
#include <cstdint>
#include <span>
#include <string_view>

namespace nuvra::lumo {

class Machine;
// A handler finds its arguments in the top nargs slots (the last on top),
// pops them and pushes exactly one result, or sets the machine's status.
using BuiltinHandler = void (*)(Machine& m, int nargs);

struct BuiltinInfo {
  const char* name;
  int32_t code;
  int8_t el;
  int8_t org;
  int32_t minargs;
  int32_t maxargs;
  BuiltinHandler handler;
};

// Every row, in table order.
std::span<const BuiltinInfo> BuiltinTable();
// The first row of that name, or null.
const BuiltinInfo* FindBuiltin(std::string_view name);
// The row with that handler code, or null.
const BuiltinInfo* BuiltinByCode(int32_t code);
// True for the built-ins whose arguments may be views as they are (those
// that make or describe views); other built-ins receive the cells.
bool BuiltinTakesViews(int32_t code);

}  // namespace nuvra::lumo
