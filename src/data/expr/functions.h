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
// How a name with compile rules of its own is compiled.
enum class DedicatedRule : std::uint8_t {
  kCond,           // cond(c, a, b [, m]): a, b, m of one kind
  kString,         // string(x [, fmt])
  kSubstr,         // (string, number, number)
  kStrNum,         // (string, number)
  kSubin,          // (string, string, string, number)
  kInrange,        // three arguments of one kind
  kInlist,         // two or more arguments of one kind
  kPlural,         // (number, string [, string])
  kMissing,        // missing(any ...)
  kSum,            // the running sum
  kNumbers,        // numeric arguments, the opcode of the row
  kCounted,        // numeric arguments, the count goes with the opcode
  kCountedRandom,  // the same, with a value that changes between calls
  kDateText,       // (text, mask [, top year]) to a date or period
  kScalar,         // scalar(name)
  kMatrixExp,      // matrix(exp): a 1x1 matrix expression
  kMreldif,        // mreldif(A, B)
  kRowColNumb,     // rownumb(M, name) / colnumb(M, name)
  kEl,             // el(M, i, j)
  kNullmat,        // a matrix: only matrix expressions take it
  kHasEprop,       // has_eprop(name)
  kCaller,         // _caller()
  kByteorder,      // byteorder()
  kLimit,          // a storage-type limit
};

struct DedicatedFunction {
  const char* name;
  DedicatedRule rule;
  std::uint16_t op;  // kNoOp when the rule picks or emits none
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
