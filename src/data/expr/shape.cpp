#include "data/expr/shape.h"

#include <atomic>

namespace nuvra::expr {
namespace {

std::atomic<bool> g_enabled{true};

bool is_step(std::uint16_t op) { return op == ADD || op == SUB || op == MUL || op == DIV; }
bool is_compare(std::uint16_t op) { return op >= EQ && op <= GT; }

}  // namespace

bool shapes_enabled() { return g_enabled.load(std::memory_order_relaxed); }
void set_shapes_enabled(bool on) { g_enabled.store(on, std::memory_order_relaxed); }

Shape shape_of(const Program& p) {
  using shape_detail::bad;
  using shape_detail::cmp_value;
  Shape s;
  s.all_equal = p.compare_all_missing_equal;
  if (!shapes_enabled() || p.type != Type::kNumeric || p.has_strings || !p.ts.empty()) return {};
  const std::vector<std::uint16_t>& c = p.code;
  const size_t n = c.size();
  size_t i = 0;
  auto constant = [&](size_t at) { return p.consts[c[at]]; };
  // The start: a variable, a constant, or a constant then a variable then
  // an operation (the constant on the left).
  if (n >= 2 && c[0] == PUSHV) {
    s.kind = Shape::Kind::kVariable;
    s.var = c[1];
    i = 2;
  } else if (n >= 5 && c[0] == PUSHC && c[2] == PUSHV && (is_step(c[4]) || is_compare(c[4]))) {
    s.kind = Shape::Kind::kVariable;
    s.var = c[3];
    double k = constant(1);
    if (is_compare(c[4])) {
      s.cmp = c[4];
      s.cmp_const_left = true;
      s.cmp_c = cmp_value(k, p.compare_all_missing_equal);
      return 5 == n ? s : Shape{};
    }
    if (bad(k)) return {};
    s.steps[s.nsteps++] = Shape::Step{c[4], true, k};
    i = 5;
  } else if (n == 2 && c[0] == PUSHC) {
    s.kind = Shape::Kind::kConstant;
    s.value = shape_detail::finish(constant(1));
    return s;
  } else {
    return {};
  }
  // Then steps with a constant on the right, and at most one comparison,
  // which ends the program.
  while (i < n) {
    if (c[i] == NEG) {
      if (s.nsteps == kMaxSteps) return {};
      s.steps[s.nsteps++] = Shape::Step{NEG, false, 0};
      ++i;
      continue;
    }
    if (c[i] != PUSHC || i + 2 >= n) return {};
    std::uint16_t op = c[i + 2];
    double k = constant(i + 1);
    if (is_compare(op)) {
      if (i + 3 != n) return {};
      s.cmp = op;
      s.cmp_c = cmp_value(k, p.compare_all_missing_equal);
      return s;
    }
    if (!is_step(op) || bad(k) || (op == DIV && k == 0) || s.nsteps == kMaxSteps) return {};
    s.steps[s.nsteps++] = Shape::Step{op, false, k};
    i += 3;
  }
  return s;
}

bool shape_runs(const Shape& s, const EvalContext& cx, std::int64_t first, int n) {
  if (s.kind == Shape::Kind::kNone) return false;
  if (s.kind == Shape::Kind::kConstant) return true;
  return first >= 1 && first + n - 1 <= cx.nobs && s.var != cx.overlay_index;
}

void shape_pass(const Shape& s, const EvalContext& cx, std::int64_t first, int n, char* pass) {
  shape_each(s, cx, first, n, [pass](int k, double v) { pass[k] = v != 0; });
}

}  // namespace nuvra::expr
