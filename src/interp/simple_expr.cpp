#include "interp/simple_expr.h"

#include "data/format.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "interp/interp.h"
#include "interp/messages.h"
#include "interp/names.h"
#include "interp/programs.h"

namespace nuvra {

namespace {

// Recursive descent, lowest precedence first:
//   or  := and { "|" and }
//   and := rel { "&" rel }
//   rel := add { ("=="|"!="|"~="|"<"|"<="|">"|">=") add }
//   add := mul { ("+"|"-") mul }
//   mul := neg { ("*"|"/") neg }
//   neg := ("-"|"!"|"~") neg | pow
//   pow := atom { "^" ["-"] atom } (so -2^2 is -4 and 2^3^2 is 64)
class Parser {
 public:
  Parser(Interp& ip, std::string_view s) : ip_(ip), s_(s) {}

  rc_t parse(ExprValue* out, size_t* used) {
    skip();
    if (at_end()) return fail(198);
    if (rc_t rc = parse_or(out)) return rc;
    *used = pos_;
    return 0;
  }

 private:
  void skip() {
    while (pos_ < s_.size() && (s_[pos_] == ' ' || s_[pos_] == '\t')) ++pos_;
  }
  bool at_end() const { return pos_ >= s_.size(); }
  char peek(size_t k = 0) const { return pos_ + k < s_.size() ? s_[pos_ + k] : '\0'; }
  rc_t fail(rc_t code) { return rc_message(ip_, code); }

  // Consumes `op` when it is next and is not the start of a longer operator.
  bool take(std::string_view op) {
    skip();
    if (s_.substr(pos_, op.size()) != op) return false;
    char after = peek(op.size());
    if ((op == "<" || op == ">" || op == "!" || op == "~") && after == '=') return false;
    if (op == "=" && after == '=') return false;
    pos_ += op.size();
    return true;
  }

  static double missing_or(double a, double b, double r) {
    return (is_missing(a) || is_missing(b) || !std::isfinite(r)) ? kMissingValue : r;
  }

  rc_t parse_or(ExprValue* v) {
    if (rc_t rc = parse_and(v)) return rc;
    while (take("|")) {
      ExprValue r;
      if (rc_t rc = parse_and(&r)) return rc;
      if (v->is_string || r.is_string) return fail(109);
      v->num = (v->num != 0 || r.num != 0) ? 1 : 0;
    }
    return 0;
  }

  rc_t parse_and(ExprValue* v) {
    if (rc_t rc = parse_rel(v)) return rc;
    while (take("&")) {
      ExprValue r;
      if (rc_t rc = parse_rel(&r)) return rc;
      if (v->is_string || r.is_string) return fail(109);
      v->num = (v->num != 0 && r.num != 0) ? 1 : 0;
    }
    return 0;
  }

  rc_t parse_rel(ExprValue* v) {
    if (rc_t rc = parse_add(v)) return rc;
    for (;;) {
      int op;
      if (take("=="))
        op = 0;
      else if (take("!=") || take("~="))
        op = 1;
      else if (take("<="))
        op = 2;
      else if (take(">="))
        op = 3;
      else if (take("<"))
        op = 4;
      else if (take(">"))
        op = 5;
      else
        return 0;
      ExprValue r;
      if (rc_t rc = parse_add(&r)) return rc;
      if (v->is_string != r.is_string) return fail(109);
      int cmp = v->is_string ? v->str.compare(r.str)
                             : (v->num < r.num   ? -1
                                : v->num > r.num ? 1
                                                 : 0);
      bool t = op == 0   ? cmp == 0
               : op == 1 ? cmp != 0
               : op == 2 ? cmp <= 0
               : op == 3 ? cmp >= 0
               : op == 4 ? cmp < 0
                         : cmp > 0;
      v->is_string = false;
      v->str.clear();
      v->num = t ? 1 : 0;
    }
  }

  rc_t parse_add(ExprValue* v) {
    if (rc_t rc = parse_mul(v)) return rc;
    for (;;) {
      bool plus;
      if (take("+"))
        plus = true;
      else if (take("-"))
        plus = false;
      else
        return 0;
      ExprValue r;
      if (rc_t rc = parse_mul(&r)) return rc;
      if (v->is_string != r.is_string) return fail(109);
      if (v->is_string) {
        if (!plus) return fail(109);
        v->str += r.str;
      } else {
        v->num = missing_or(v->num, r.num, plus ? v->num + r.num : v->num - r.num);
      }
    }
  }

  rc_t parse_mul(ExprValue* v) {
    if (rc_t rc = parse_neg(v)) return rc;
    for (;;) {
      bool times;
      if (take("*"))
        times = true;
      else if (take("/"))
        times = false;
      else
        return 0;
      ExprValue r;
      if (rc_t rc = parse_neg(&r)) return rc;
      if (v->is_string || r.is_string) return fail(109);
      if (!times && r.num == 0)
        v->num = kMissingValue;
      else
        v->num = missing_or(v->num, r.num, times ? v->num * r.num : v->num / r.num);
    }
  }

  rc_t parse_neg(ExprValue* v) {
    skip();
    if (take("-")) {
      if (rc_t rc = parse_neg(v)) return rc;
      if (v->is_string) return fail(109);
      if (!is_missing(v->num)) v->num = -v->num;
      return 0;
    }
    if (take("!") || take("~")) {
      if (rc_t rc = parse_neg(v)) return rc;
      if (v->is_string) return fail(109);
      v->num = v->num == 0 ? 1 : 0;
      return 0;
    }
    return parse_pow(v);
  }

  rc_t parse_pow(ExprValue* v) {
    if (rc_t rc = parse_atom(v)) return rc;
    while (take("^")) {
      ExprValue r;
      if (rc_t rc = parse_exponent(&r)) return rc;
      if (v->is_string || r.is_string) return fail(109);
      v->num = missing_or(v->num, r.num, std::pow(v->num, r.num));
    }
    return 0;
  }

  // The right operand of "^" may carry its own signs (2^-1).
  rc_t parse_exponent(ExprValue* v) {
    if (take("-")) {
      if (rc_t rc = parse_exponent(v)) return rc;
      if (v->is_string) return fail(109);
      if (!is_missing(v->num)) v->num = -v->num;
      return 0;
    }
    if (take("+")) return parse_exponent(v);
    return parse_atom(v);
  }

  rc_t parse_atom(ExprValue* v) {
    *v = ExprValue{};
    skip();
    char c = peek();
    if (c == '(') {
      ++pos_;
      if (rc_t rc = parse_or(v)) return rc;
      skip();
      if (peek() != ')') return fail(132);
      ++pos_;
      return 0;
    }
    if (c == '"') {
      size_t close = s_.find('"', pos_ + 1);
      if (close == std::string_view::npos) return fail(198);
      v->is_string = true;
      v->str.assign(s_.substr(pos_ + 1, close - pos_ - 1));
      pos_ = close + 1;
      return 0;
    }
    if (c == '`' && peek(1) == '"') {
      int depth = 0;
      size_t i = pos_;
      while (i < s_.size()) {
        if (s_[i] == '`' && i + 1 < s_.size() && s_[i + 1] == '"') {
          ++depth;
          i += 2;
        } else if (s_[i] == '"' && i + 1 < s_.size() && s_[i + 1] == '\'') {
          i += 2;
          if (--depth == 0) break;
        } else {
          ++i;
        }
      }
      if (depth != 0) return fail(198);
      v->is_string = true;
      v->str.assign(s_.substr(pos_ + 2, i - pos_ - 4));
      pos_ = i;
      return 0;
    }
    if ((c >= '0' && c <= '9') || c == '.') {
      // Missing values: "." and ".a" to ".z".
      if (c == '.' && !(peek(1) >= '0' && peek(1) <= '9')) {
        ++pos_;
        int code = 0;
        if (peek() >= 'a' && peek() <= 'z' && !is_name_char(peek(1))) {
          code = peek() - 'a' + 1;
          ++pos_;
        }
        v->num = data::missing_value(code);
        return 0;
      }
      std::string tail(s_.substr(pos_));
      char* end = nullptr;
      double d = std::strtod(tail.c_str(), &end);
      size_t n = static_cast<size_t>(end - tail.c_str());
      if (n == 0) return fail(198);
      pos_ += n;
      v->num = d;
      return 0;
    }
    if (is_name_start(c)) {
      size_t start = pos_;
      while (pos_ < s_.size() && is_name_char(s_[pos_])) ++pos_;
      std::string_view name = s_.substr(start, pos_ - start);
      if (name == "_rc") {
        v->num = ip_.captured_rc;
        return 0;
      }
      if ((name == "r" || name == "e" || name == "s") && peek() == '(') {
        size_t close = s_.find(')', pos_);
        if (close == std::string_view::npos) return fail(132);
        std::string_view key = trim(s_.substr(pos_ + 1, close - pos_ - 1));
        pos_ = close + 1;
        // An unset result reads as missing.
        std::string text;
        if (saved_result_scalar(ip_, name[0], key, &v->num)) return 0;
        if (saved_result_text(ip_, name[0], key, &text)) {
          v->is_string = true;
          v->str = std::move(text);
          return 0;
        }
        v->num = kMissingValue;
        return 0;
      }
      if (name == "_pi") {
        v->num = 3.14159265358979323846;
        return 0;
      }
      return msg_quoting(ip_.out, "", name, " not found\n", 111);
    }
    if (c == ')') {
      return msg_quoting(ip_.out, "too many ')' or ']'\n", "", "", 132);
    }
    return fail(198);
  }

  Interp& ip_;
  std::string_view s_;
  size_t pos_ = 0;
};

}  // namespace

rc_t eval_expression(Interp& ip, std::string_view text, ExprValue* out, size_t* used) {
  Parser p(ip, text);
  return p.parse(out, used);
}

std::string format_number_g(double v, int width) {
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
  size_t n = data::render_number(f, v, buf, sizeof buf);
  std::string_view text(buf, n < sizeof buf ? n : sizeof buf - 1);
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  return std::string(text);
}

}  // namespace nuvra
