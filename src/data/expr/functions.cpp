#include "data/expr/functions.h"

#include "data/expr/expr.h"

namespace nuvra::expr {
namespace {

constexpr std::uint16_t NONE = kNoOp;

constexpr FixedFunction kFixed[] = {
#define FIXED(name, op, nargs, ak, rk, changing, ready) {name, op, nargs, ak, rk, changing != 0, ready != 0},
#define OLDNAME(name, op, nargs, limit)
#define VARARITY(name, op, least, most)
#define MATFUNC(name, op)
#define DEDICATED(name, rule, op, least, most, ready)
#include "data/expr/functions.def"
};
constexpr OldNameFunction kOldNames[] = {
#undef FIXED
#undef OLDNAME
#define FIXED(name, op, nargs, ak, rk, changing, ready)
#define OLDNAME(name, op, nargs, limit) {name, op, nargs, limit},
#include "data/expr/functions.def"
};
constexpr VarArityFunction kVarArity[] = {
#undef OLDNAME
#undef VARARITY
#define OLDNAME(name, op, nargs, limit)
#define VARARITY(name, op, least, most) {name, op, least, most},
#include "data/expr/functions.def"
};
constexpr MatrixFunction kMatrix[] = {
#undef VARARITY
#undef MATFUNC
#define VARARITY(name, op, least, most)
#define MATFUNC(name, op) {name, op},
#include "data/expr/functions.def"
};
constexpr DedicatedFunction kDedicated[] = {
#undef MATFUNC
#undef DEDICATED
#define MATFUNC(name, op)
#define DEDICATED(name, rule, op, least, most, ready) {name, DedicatedRule::k##rule, op, least, most, ready != 0},
#include "data/expr/functions.def"
};
#undef FIXED
#undef OLDNAME
#undef VARARITY
#undef MATFUNC
#undef DEDICATED

static_assert(sizeof kFixed / sizeof kFixed[0] == 232, "the fixed-arity table has 232 names");

template <class T, std::size_t N>
const T* find_in(const T (&table)[N], std::string_view name) {
  for (const T& e : table)
    if (name == e.name) return &e;
  return nullptr;
}

}  // namespace

const FixedFunction* find_fixed(std::string_view name) { return find_in(kFixed, name); }
const OldNameFunction* find_old_name(std::string_view name) { return find_in(kOldNames, name); }
const VarArityFunction* find_var_arity(std::string_view name) { return find_in(kVarArity, name); }
const MatrixFunction* find_matrix_function(std::string_view name) { return find_in(kMatrix, name); }
const DedicatedFunction* find_dedicated(std::string_view name) { return find_in(kDedicated, name); }

std::size_t fixed_count() { return sizeof kFixed / sizeof kFixed[0]; }
const FixedFunction* fixed_table() { return kFixed; }
std::size_t dedicated_count() { return sizeof kDedicated / sizeof kDedicated[0]; }
const DedicatedFunction* dedicated_table() { return kDedicated; }

}  // namespace nuvra::expr
