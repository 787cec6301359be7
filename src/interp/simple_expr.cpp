#include "interp/simple_expr.h"

#include "data/format.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "interp/expr_cache.h"
#include "interp/interp.h"
#include "interp/messages.h"
#include "data/names.h"
#include "interp/parse.h"
#include "data/expr/expr.h"

namespace nuvra {

rc_t eval_expression(Interp& ip, std::string_view text, ExprValue* out, size_t* used) {
  size_t end = 0;
  if (rc_t rc = gather_expression(ip, text, &end)) return rc;
  *out = ExprValue{};
  std::string_view body = text.substr(0, end);
  // Loop counters and other whole numbers need no program at all.
  if (ExpressionCache::integer_literal(trim(body), &out->num)) {
    *used = end;
    return 0;
  }
  expr::Program compiled;
  const expr::Program* prog = ip.expr_cache.find(body, ip.version, ip.modern_missing);
  if (!prog) {
    if (rc_t rc = ip.expr_cache.compile(ip, body, &compiled, &prog)) return rc;
    if (!prog) prog = &compiled;
  }
  const expr::Program& p = *prog;
  expr::EvalContext cx;
  expr::bind(ip, p, &cx);
  // A variable's value is taken from the first observation of the window:
  // observation 1, or under `by` the first of the group.
  if (p.type == expr::Type::kString) {
    out->is_string = true;
    out->str = expr::eval_string(cx, cx.range_first);
  } else {
    out->num = expr::eval_number(cx, cx.range_first);
  }
  *used = end;
  return 0;
}

namespace {

std::string general_text(double v, int width, bool shown) {
  char buf[data::kRenderBufferSize];
  // Whole numbers that fit print as integers; loop counters and sums take
  // this path, and it avoids the general formatter's cost.
  if (v == std::trunc(v) && std::fabs(v) < 1e15) {
    auto res = std::to_chars(buf, buf + sizeof buf, static_cast<long long>(v));
    if (res.ptr - buf <= width) return std::string(buf, res.ptr);
  }
  data::Format f;
  f.kind = data::FormatKind::kGeneral;
  f.width = static_cast<uint8_t>(width < 1 ? 1 : width > data::kMaxFormatWidth ? data::kMaxFormatWidth : width);
  size_t n = shown ? data::render_shown(f, v, buf, sizeof buf) : data::render_number(f, v, buf, sizeof buf);
  std::string_view text(buf, n < sizeof buf ? n : sizeof buf - 1);
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  return std::string(text);
}

}  // namespace

std::string format_number_g(double v, int width) { return general_text(v, width, false); }
std::string shown_number_g(double v, int width) { return general_text(v, width, true); }

}  // namespace nuvra
