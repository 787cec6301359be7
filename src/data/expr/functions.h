// The function tables an expression's calls are resolved through, in the
// order the compiler searches them: fixed arity, old names (version below
// 7), variable arity, matrix functions, names with compile rules of their
// own. The entries come from functions.def.
#pragma once
#include <cstdint>
#include <string_view>

namespace nuvra::expr {

inline constexpr std::uint16_t kNoOp = 0;

struct FixedFunction {
  const char* name;
  std::uint16_t op;
  std::uint8_t nargs;
  std::uint8_t arg_kind;     // 0 numeric, 1 string, 128 none (changing)
  std::uint8_t result_kind;  // 0 numeric, 1 string
  bool changing;             // value changes between calls
  bool ready;                // algorithm built
};
struct OldNameFunction {
  const char* name;
  std::uint16_t op;
  std::uint8_t nargs;
  int last_version;  // x 100
};
struct VarArityFunction {
  const char* name;
  std::uint16_t op;
  std::uint8_t least, most;  // most 255: unbounded
};
struct MatrixFunction {
  const char* name;
  std::uint16_t op;
};
struct DedicatedFunction {
  const char* name;
  std::uint16_t op;  // kNoOp when it compiles to other operations or constants
  std::uint8_t least, most;
  bool ready;
};

const FixedFunction* find_fixed(std::string_view name);
const OldNameFunction* find_old_name(std::string_view name);
const VarArityFunction* find_var_arity(std::string_view name);
const MatrixFunction* find_matrix_function(std::string_view name);
const DedicatedFunction* find_dedicated(std::string_view name);

// Table sizes (the fixed-arity table has 232 entries).
std::size_t fixed_count();
const FixedFunction* fixed_table();
std::size_t dedicated_count();
const DedicatedFunction* dedicated_table();

}  // namespace nuvra::expr
