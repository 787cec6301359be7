// Straight-line programs run as one loop per block: each value is
// fetched, taken through the steps and finished in registers, and handed
// straight to the caller, where the general evaluator makes one pass over
// the block per operation. The values are bit for bit the general
// evaluator's: every step keeps its rules (a missing operand gives `.`, so
// does a division by zero; a comparison reads an infinity or NaN as `.`,
// and every missing value as `.` under the old comparison rule), and the
// result is finished as finish_value() finishes it.
#pragma once
#include <bit>
#include <cmath>
#include <cstdint>

#include "data/expr/expr.h"
#include "data/expr/number_rules.h"

namespace nuvra::expr {

// A straight-line program: one variable (or one constant), then up to
// kMaxSteps arithmetic operations each with a constant on one side, then at
// most one comparison with a constant ("2*x + 1", "x < .5", "0").
inline constexpr int kMaxSteps = 4;
struct Shape {
  enum class Kind : std::uint8_t { kNone, kConstant, kVariable };
  struct Step {
    std::uint16_t op = 0;     // ADD, SUB, MUL, DIV or NEG
    bool const_left = false;  // the constant is the left operand
    double c = 0;             // never missing; never 0 as a divisor
  };
  Kind kind = Kind::kNone;
  int var = 0;       // kVariable: index into Program::vars
  double value = 0;  // kConstant: the program's value
  Step steps[kMaxSteps];
  int nsteps = 0;
  std::uint16_t cmp = 0;  // EQ..GT after the steps, 0 for none
  bool cmp_const_left = false;
  double cmp_c = 0;        // the comparison's constant as the comparison reads it
  bool all_equal = false;  // the program's old comparison rule
};

// The shape of a compiled program; kNone when it has none or when the
// straight-line loops are switched off.
Shape shape_of(const Program& p);

// Whether shape_of() finds shapes. On unless a test switches it off to
// compare with the general evaluator; the switch is process-wide.
bool shapes_enabled();
void set_shapes_enabled(bool on);

// Whether s may run over observations first .. first + n - 1 of cx, the
// context bound to its program: every one inside the data, no overlay on
// the variable.
bool shape_runs(const Shape& s, const EvalContext& cx, std::int64_t first, int n);

// Calls f(k, value) for k = 0 .. n - 1, the value of observation first + k
// as eval_block gives it. Only when shape_runs() holds.
template <class F>
void shape_each(const Shape& s, const EvalContext& cx, std::int64_t first, int n, F f);

// The same as a condition: pass[k] = 1 where the value is not zero.
void shape_pass(const Shape& s, const EvalContext& cx, std::int64_t first, int n, char* pass);

// ---- the loops ----------------------------------------------------------

namespace shape_detail {

inline constexpr double M = data::kMissing;

// Everything below runs once per value inside the loops: forced inline, so
// that a step costs its arithmetic and a predicted branch, not a call.
#define NUVRA_SHAPE_INLINE [[gnu::always_inline]] inline

using rules::bad;
using rules::cmp_value;
using rules::finish;

// One arithmetic step. The constant is never missing (shape_of() refuses
// such a step), so the evaluator's "either operand missing" test reduces
// to the running value.
NUVRA_SHAPE_INLINE double step(const Shape::Step& s, double a) {
  if (bad(a)) return M;
  switch (s.op) {
    case NEG: return -a;
    case ADD: return s.const_left ? s.c + a : a + s.c;
    case SUB: return s.const_left ? s.c - a : a - s.c;
    case MUL: return s.const_left ? s.c * a : a * s.c;
    default:  // DIV
      if (s.const_left) return a == 0 ? M : s.c / a;
      return a / s.c;
  }
}

NUVRA_SHAPE_INLINE bool compare(std::uint16_t op, double x, double y) {
  switch (op) {
    case EQ: return x == y;
    case NE: return x != y;
    case GE: return x >= y;
    case LE: return x <= y;
    case LT: return x < y;
    default: return x > y;
  }
}

NUVRA_SHAPE_INLINE double apply(const Shape& s, double v) {
  for (int k = 0; k < s.nsteps; ++k) v = step(s.steps[k], v);
  if (s.cmp == 0) return finish(v);
  double x = cmp_value(v, s.all_equal);
  return (s.cmp_const_left ? compare(s.cmp, s.cmp_c, x) : compare(s.cmp, x, s.cmp_c)) ? 1.0 : 0.0;
}

// Runs f(k, v) over the n values of column c from row r, the storage type
// tested once.
template <class F>
inline void over_column(const data::Column& c, std::int64_t r, int n, F&& f) {
  switch (c.type) {
    case data::kDouble:
      for (int k = 0; k < n; ++k) f(k, c.raw<double>(r + k));
      return;
    case data::kFloat:
      for (int k = 0; k < n; ++k) f(k, data::float_to_double(c.raw<float>(r + k)));
      return;
    case data::kLong:
      for (int k = 0; k < n; ++k) f(k, data::detail::from_int_code(c.raw<std::int32_t>(r + k), data::kLongDot));
      return;
    case data::kInt:
      for (int k = 0; k < n; ++k) f(k, data::detail::from_int_code(c.raw<std::int16_t>(r + k), data::kIntDot));
      return;
    case data::kByte:
      for (int k = 0; k < n; ++k) f(k, data::detail::from_int_code(c.raw<std::int8_t>(r + k), data::kByteDot));
      return;
    default:
      for (int k = 0; k < n; ++k) f(k, c.fetch(r + k));
      return;
  }
}

#undef NUVRA_SHAPE_INLINE

}  // namespace shape_detail

template <class F>
void shape_each(const Shape& s, const EvalContext& cx, std::int64_t first, int n, F f) {
  using namespace shape_detail;
  if (s.kind == Shape::Kind::kConstant) {
    for (int k = 0; k < n; ++k) f(k, s.value);
    return;
  }
  const data::Column& c = cx.cols[static_cast<std::size_t>(s.var)];
  // The common shapes get loops of their own, so that the steps' constants
  // stay in registers.
  if (s.cmp == 0 && s.nsteps == 0) {
    over_column(c, first - 1, n, [&](int k, double v) { f(k, finish(v)); });
  } else if (s.cmp == 0 && s.nsteps == 2) {
    const Shape::Step a = s.steps[0], b = s.steps[1];
    over_column(c, first - 1, n, [&](int k, double v) { f(k, finish(step(b, step(a, v)))); });
  } else if (s.cmp != 0 && s.nsteps == 0) {
    const double y = s.cmp_c;
    const std::uint16_t op = s.cmp;
    const bool left = s.cmp_const_left, all_equal = s.all_equal;
    over_column(c, first - 1, n, [&](int k, double v) {
      double x = cmp_value(v, all_equal);
      f(k, (left ? compare(op, y, x) : compare(op, x, y)) ? 1.0 : 0.0);
    });
  } else {
    over_column(c, first - 1, n, [&](int k, double v) { f(k, apply(s, v)); });
  }
}

}  // namespace nuvra::expr
