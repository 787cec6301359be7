// The expression compiler: recursive over spans of the text, lowest
// precedence first, splitting at the rightmost top-level operator so that
// every binary operator associates to the left.
#include <bit>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

#include "data/expr/expr.h"
#include "data/expr/functions.h"
#include "data/expr/tsops.h"
#include "data/limits.h"
#include "data/names.h"
#include "stats/matexpr.h"

namespace nuvra::expr {
namespace {

// Thrown inside the compiler only, after the message has been printed;
// compile() catches it.
struct Abort {
  rc_t rc;
};

// Deeper recursion than this cannot fit in the code area anyway (every
// level emits at least one unit), so it is reported as a long expression.
constexpr int kMaxNesting = static_cast<int>(kMaxCodeUnits);

bool is_digit(char c) { return c >= '0' && c <= '9'; }
bool is_hex_digit(char c) {
  return is_digit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}
int hex_value(char c) {
  if (is_digit(c)) return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return c - 'A' + 10;
}

// Binary operators by level, lowest precedence first.
enum Level { kOr, kAnd, kEq, kGe, kLe, kLt, kGt, kNe, kNe2, kPlus, kMinus, kTimes, kDivide, kLevels };
constexpr std::uint16_t kNumCode[kLevels] = {OR, AND, EQ, GE, LE, LT, GT, NE, NE, ADD, SUB, MUL, DIV};
constexpr std::uint16_t kStrCode[kLevels] = {0, 0, SEQ, SGE, SLE, SLT, SGT, SNE, SNE, SCAT, 0, 0, 0};
constexpr int kOpLength[kLevels] = {1, 1, 2, 2, 2, 1, 1, 2, 2, 1, 1, 1, 1};

class Compiler {
 public:
  Compiler(Env& env, std::string text, Program* p, const CompileOptions& opt)
      : env_(env), s_(std::move(text)), p_(p), opt_(opt) {}

  Type run() {
    if (s_.empty()) fail(198);
    return span(0, s_.size());
  }

  [[noreturn]] void fail(rc_t code) { throw Abort{env_.report(code)}; }
  [[noreturn]] void fail_msg(std::string_view before, std::string_view user, std::string_view after,
                             rc_t code) {
    throw Abort{env_.report_quoting(before, user, after, code)};
  }

  // Checks brackets and quotes over the whole text once, so that every
  // later scan may assume they balance.
  void check_balance() {
    int depth = 0;
    for (size_t i = 0; i < s_.size(); ++i) {
      char c = s_[i];
      if (c == '"') {
        size_t close = s_.find('"', i + 1);
        if (close == std::string::npos) fail_msg("too few quotes\n", "", "", 132);
        i = close;
      } else if (c == '`' && i + 1 < s_.size() && s_[i + 1] == '"') {
        i = compound_end(i);
        if (i == std::string::npos) fail_msg("too few quotes\n", "", "", 132);
        --i;
      } else if (c == '(' || c == '[') {
        ++depth;
      } else if (c == ')' || c == ']') {
        if (--depth < 0) fail_msg("too many ')' or ']'\n", "", "", 132);
      }
    }
    if (depth > 0) fail_msg("too few ')' or ']'\n", "", "", 132);
  }

 private:
  // One past the end of the compound quote opening at i, or npos.
  size_t compound_end(size_t i) const {
    int depth = 0;
    for (size_t j = i; j < s_.size(); ++j) {
      if (s_[j] == '`' && j + 1 < s_.size() && s_[j + 1] == '"') {
        ++depth;
        ++j;
      } else if (s_[j] == '"' && j + 1 < s_.size() && s_[j + 1] == '\'') {
        ++j;
        if (--depth == 0) return j + 1;
      }
    }
    return std::string::npos;
  }
  // Index after the quoted string starting at i (simple or compound).
  size_t skip_quote(size_t i) const {
    if (s_[i] == '"') return s_.find('"', i + 1) + 1;
    return compound_end(i);
  }
  bool quote_at(size_t i, size_t e) const {
    return s_[i] == '"' || (s_[i] == '`' && i + 1 < e && s_[i + 1] == '"');
  }
  // Index of the bracket closing the one at i.
  size_t closing(size_t i, size_t e) const {
    int depth = 0;
    for (size_t j = i; j < e; ++j) {
      if (quote_at(j, e)) {
        j = skip_quote(j) - 1;
        continue;
      }
      if (s_[j] == '(' || s_[j] == '[') ++depth;
      if (s_[j] == ')' || s_[j] == ']') {
        if (--depth == 0) return j;
      }
    }
    return std::string::npos;
  }

  // ---- emission ---------------------------------------------------------
  void unit(std::uint16_t u) {
    if (p_->code.size() >= kMaxCodeUnits) fail(130);
    p_->code.push_back(u);
  }
  // An operation taking `pops` values and leaving one.
  void op(std::uint16_t code, int pops) {
    unit(code);
    depth_ -= pops - 1;
    if (depth_ > p_->max_depth) p_->max_depth = depth_;
  }
  void op1(std::uint16_t code, std::uint16_t operand, int pops) {
    unit(code);
    unit(operand);
    depth_ -= pops - 1;
    if (depth_ > p_->max_depth) p_->max_depth = depth_;
  }
  // A table index as the 16-bit operand that carries it; an index that
  // does not fit makes the expression too long rather than wrapping.
  std::uint16_t operand_index(size_t k) {
    if (k > 0xFFFF) fail(130);
    return static_cast<std::uint16_t>(k);
  }
  void constant(double v) {
    std::uint16_t k = operand_index(p_->consts.size());
    p_->consts.push_back(v);
    op1(PUSHC, k, 0);
  }
  void string_constant(std::string v) {
    std::uint16_t k = operand_index(p_->strings.size());
    p_->strings.push_back(std::move(v));
    p_->has_strings = true;
    op1(PUSHS, k, 0);
  }
  std::uint16_t var_index(int j, bool subscripted) {
    p_->reads_obs = true;
    for (size_t k = 0; k < p_->vars.size(); ++k) {
      if (p_->vars[k] == j) {
        if (subscripted) p_->var_subscripted[k] = 1;
        return static_cast<std::uint16_t>(k);
      }
    }
    std::uint16_t k = operand_index(p_->vars.size());
    p_->vars.push_back(j);
    p_->var_subscripted.push_back(subscripted ? 1 : 0);
    return k;
  }

  // ---- spans ------------------------------------------------------------
  struct Nest {
    int& n;
    Compiler& c;
    Nest(int& depth, Compiler& comp) : n(depth), c(comp) {
      if (++n > kMaxNesting) c.fail(130);
    }
    ~Nest() { --n; }
  };

  Type numeric(size_t b, size_t e) {
    if (span(b, e) != Type::kNumeric) fail(109);
    return Type::kNumeric;
  }
  Type string(size_t b, size_t e) {
    if (span(b, e) != Type::kString) fail(109);
    return Type::kString;
  }

  // Whether the + or - at i (not the span's first character) is binary.
  bool binary_sign(size_t b, size_t i) const {
    char prev = s_[i - 1];
    // A sign after another operator belongs to what follows (2*-1, 2^-1,
    // and also !-1, a<-1).
    if (std::strchr("-*/^#+!~<>=&|,\\", prev)) return false;
    // The sign of a number's exponent: 1e-5, 2.5D+3, and the hexadecimal
    // notation's exponent 1.8X+001.
    if (i + 1 >= s_.size() || i - b < 2) return true;
    bool decimal = std::strchr("eEdD", prev) != nullptr;
    bool hex = prev == 'x' || prev == 'X';
    if (!decimal && !hex) return true;
    char next = s_[i + 1];
    if (decimal ? !is_digit(next) : !is_hex_digit(next)) return true;
    // The characters before the exponent letter must form a number that
    // is not the tail of a name.
    size_t k = i - 1;  // the letter
    int dots = 0;
    bool any = false;
    while (k > b) {
      char c = s_[k - 1];
      if (c == '.') {
        if (++dots > 1) return true;
      } else if (decimal ? is_digit(c) : is_hex_digit(c)) {
        any = true;
      } else {
        break;
      }
      --k;
    }
    if (!any && dots == 0) return true;
    if (s_[k] != '.' && !is_digit(s_[k])) return true;  // hex runs start like numbers
    if (k > b && (is_name_char(s_[k - 1]) || s_[k - 1] == '.')) return true;
    return false;
  }

  Type span(size_t b, size_t e) {
    Nest nest(nesting_, *this);
    if (b >= e) fail(198);
    // Brackets enclosing the whole span come off first.
    while (e - b >= 2 && (s_[b] == '(' || s_[b] == '[') && closing(b, e) == e - 1) {
      if ((s_[b] == '(') != (s_[e - 1] == ')')) fail(198);
      ++b;
      --e;
    }
    if (b >= e) fail(198);

    // Then binary operators: one pass finds the rightmost top-level
    // occurrence of each level (never the span's first character).
    size_t where[kLevels];
    for (auto& w : where) w = std::string::npos;
    size_t caret = std::string::npos;
    int depth = 0;
    for (size_t i = b; i < e; ++i) {
      char c = s_[i];
      if (quote_at(i, e)) {
        i = skip_quote(i) - 1;
        continue;
      }
      if (c == '(' || c == '[') {
        ++depth;
        continue;
      }
      if (c == ')' || c == ']') {
        --depth;
        continue;
      }
      if (depth != 0 || i == b) continue;
      char n = i + 1 < e ? s_[i + 1] : '\0';
      switch (c) {
        case '|': where[kOr] = i; break;
        case '&': where[kAnd] = i; break;
        case '=':
          if (n == '=') {
            where[kEq] = i;
            ++i;
          }
          break;
        case '>':
          if (n == '=') {
            where[kGe] = i;
            ++i;
          } else {
            where[kGt] = i;
          }
          break;
        case '<':
          if (n == '=') {
            where[kLe] = i;
            ++i;
          } else {
            where[kLt] = i;
          }
          break;
        case '!':
          if (n == '=') {
            where[kNe] = i;
            ++i;
          }
          break;
        case '~':
          if (n == '=') {
            where[kNe2] = i;
            ++i;
          }
          break;
        case '+':
          if (binary_sign(b, i)) where[kPlus] = i;
          break;
        case '-':
          if (binary_sign(b, i)) where[kMinus] = i;
          break;
        case '*': where[kTimes] = i; break;
        case '/': where[kDivide] = i; break;
        case '^': caret = i; break;
        default: break;
      }
    }
    for (int lv = 0; lv < kLevels; ++lv) {
      size_t at = where[lv];
      if (at == std::string::npos) continue;
      Type lt = span(b, at);
      Type rt = span(at + kOpLength[lv], e);
      if (lt == Type::kString) {
        if (kStrCode[lv] == 0 || rt != Type::kString) fail(109);
        op(kStrCode[lv], 2);
        p_->has_strings = true;
        return lv == kPlus ? Type::kString : Type::kNumeric;
      }
      if (rt != Type::kNumeric) fail(109);
      op(kNumCode[lv], 2);
      return Type::kNumeric;
    }

    // With no binary operator, unary prefixes apply to the whole rest of the span.
    if (s_[b] == '!' || s_[b] == '~') {
      numeric(b + 1, e);
      op(NOT, 1);
      return Type::kNumeric;
    }
    if (s_[b] == '-') {
      numeric(b + 1, e);
      op(NEG, 1);
      return Type::kNumeric;
    }
    if (s_[b] == '+') return numeric(b + 1, e);

    // Then power, split at the rightmost top-level ^.
    if (caret != std::string::npos) {
      numeric(b, caret);
      numeric(caret + 1, e);
      op(POW, 2);
      return Type::kNumeric;
    }
    return operand(b, e);
  }

  // ---- operands ---------------------------------------------------------
  Type operand(size_t b, size_t e) {
    char c = s_[b];
    if (quote_at(b, e)) {
      size_t end = skip_quote(b);
      if (end != e) fail(198);
      if (c == '"')
        string_constant(s_.substr(b + 1, e - b - 2));
      else
        string_constant(s_.substr(b + 2, e - b - 4));
      return Type::kString;
    }
    if (is_digit(c) || c == '.') {
      if (c == '.' && e - b == 1) {
        constant(data::kMissing);
        return Type::kNumeric;
      }
      if (c == '.' && e - b > 1 && is_name_start(s_[b + 1])) {
        // .a .. .z
        if (e - b != 2 || s_[b + 1] < 'a' || s_[b + 1] > 'z') fail(198);
        constant(data::missing_value(s_[b + 1] - 'a' + 1));
        return Type::kNumeric;
      }
      double v;
      if (!number(b, e, &v)) fail(198);
      constant(v);
      return Type::kNumeric;
    }
    if (!is_name_start(c)) fail(198);
    size_t k = b;
    while (k < e && is_name_char(s_[k])) ++k;
    std::string name = s_.substr(b, k - b);
    if (k == e) return plain_name(name);
    if (s_[k] == '(') {
      if (closing(k, e) != e - 1 || s_[e - 1] != ')') fail(198);
      return call(name, k + 1, e - 1);
    }
    if (s_[k] == '[') {
      if (closing(k, e) != e - 1 || s_[e - 1] != ']') fail(198);
      return subscripted(name, k + 1, e - 1);
    }
    if (s_[k] == '.') return ts_operand(b, e);
    fail(198);
  }

  // Decimal numbers (e, E, d or D for the exponent) and the hexadecimal
  // notation h.hhhX+hhh (mantissa and exponent both hexadecimal).
  bool number(size_t b, size_t e, double* out) const {
    size_t i = b;
    std::string text;
    // Try hexadecimal first: it is told apart by its X.
    size_t x = std::string::npos;
    for (size_t j = b; j < e; ++j)
      if (s_[j] == 'x' || s_[j] == 'X') {
        x = j;
        break;
      }
    if (x != std::string::npos) {
      double mant = 0, scale = 1;
      bool dot = false, any = false;
      for (i = b; i < x; ++i) {
        if (s_[i] == '.') {
          if (dot) return false;
          dot = true;
        } else if (is_hex_digit(s_[i])) {
          any = true;
          if (dot) {
            scale /= 16;
            mant += hex_value(s_[i]) * scale;
          } else {
            mant = mant * 16 + hex_value(s_[i]);
          }
        } else {
          return false;
        }
      }
      if (!any) return false;
      i = x + 1;
      int sign = 1;
      if (i < e && (s_[i] == '+' || s_[i] == '-')) sign = s_[i++] == '-' ? -1 : 1;
      if (i >= e) return false;
      long ex = 0;
      for (; i < e; ++i) {
        if (!is_hex_digit(s_[i])) return false;
        ex = ex * 16 + hex_value(s_[i]);
        if (ex > 100000) ex = 100000;
      }
      *out = std::ldexp(mant, static_cast<int>(sign * ex));
      return true;
    }
    bool any = false;
    while (i < e && is_digit(s_[i])) {
      text += s_[i++];
      any = true;
    }
    if (i < e && s_[i] == '.') {
      text += s_[i++];
      while (i < e && is_digit(s_[i])) {
        text += s_[i++];
        any = true;
      }
    }
    if (!any) return false;
    if (i < e && std::strchr("eEdD", s_[i])) {
      text += 'e';
      ++i;
      if (i < e && (s_[i] == '+' || s_[i] == '-')) text += s_[i++];
      if (i >= e || !is_digit(s_[i])) return false;
      while (i < e && is_digit(s_[i])) text += s_[i++];
    }
    if (i != e) return false;
    *out = std::strtod(text.c_str(), nullptr);
    return true;
  }

  int find_variable(const std::string& name) {
    int j = 0;
    std::string msg;
    rc_t rc = env_.data_in_memory().find(name, &j, &msg);
    if (rc) {
      if (msg.empty()) fail(rc);
      fail_msg("", msg, "\n", rc);
    }
    return j;
  }

  Type plain_name(const std::string& name) {
    if (name == "_n") {
      p_->reads_obs = true;
      op(OBSN, 0);
      return Type::kNumeric;
    }
    if (name == "_N") {
      p_->reads_obs = true;
      op(OBSNN, 0);
      return Type::kNumeric;
    }
    if (name == "_cons") {
      op(CONS, 0);
      return Type::kNumeric;
    }
    if (name == "_rc") {
      op(RC, 0);
      return Type::kNumeric;
    }
    if (name == "_pi") {
      constant(3.14159265358979323846);
      return Type::kNumeric;
    }
    // Variables (abbreviations included) come before scalars of the same
    // name; scalar(name) reaches a scalar regardless.
    int j = 0;
    std::string msg;
    rc_t rc = env_.data_in_memory().find(name, &j, &msg);
    if (rc != 0) {
      if (env_.find_scalar(name)) return scalar_value(name);
      if (msg.empty()) fail(rc);
      fail_msg("", msg, "\n", rc);
    }
    std::uint16_t v = var_index(j, false);
    if (env_.data_in_memory().is_string(j)) {
      p_->has_strings = true;
      op1(PUSHSV, v, 0);
      return Type::kString;
    }
    op1(PUSHV, v, 0);
    return Type::kNumeric;
  }

  Type scalar_value(const std::string& name) {
    const ScalarValue* sc = env_.find_scalar(name);
    if (!sc) fail_msg("scalar ", name, " not found\n", 111);
    if (sc->is_string) {
      string_constant(sc->str);
      return Type::kString;
    }
    constant(sc->num);
    return Type::kNumeric;
  }

  Type subscripted(const std::string& name, size_t b, size_t e) {
    if (name == "_b" || name == "_coef" || name == "_se") {
      std::string inside = s_.substr(b, e - b);
      if (env_.no_estimation_results()) fail(301);
      // The coefficient (or its standard error) of the column of e(b)
      // with that name, at compile time: the results cannot change while
      // the expression runs.
      std::string key = inside;
      while (!key.empty() && key.front() == ' ') key.erase(key.begin());
      while (!key.empty() && key.back() == ' ') key.pop_back();
      const stats::Matrix* bi = env_.find_matrix("e(b)");
      if (bi && bi->rows == 1) {
        const stats::Matrix& bm = *bi;
        for (int j = 0; j < bm.cols; ++j) {
          if (bm.colnames[j] != key && bm.col_label(j) != key) continue;
          if (name != "_se") {
            constant(bm.at(0, j));
            return Type::kNumeric;
          }
          const stats::Matrix* vi = env_.find_matrix("e(V)");
          if (!vi || vi->rows <= j || vi->cols <= j) break;
          double v = vi->at(j, j);
          constant(v >= 0 && v < data::kDoubleMax ? std::sqrt(v) : v);
          return Type::kNumeric;
        }
      }
      fail_msg("[", inside, "] not found\n", 111);
    }
    if (name == "_n" || name == "_N" || name == "_cons" || name == "_rc" || name == "_pi") fail(198);
    // Two subscripts name an element of a matrix when no variable answers
    // to the name.
    if (std::vector<Arg> sub = split_args(b, e); sub.size() == 2) {
      int var = 0;
      if (env_.data_in_memory().find(name, &var) != 0) return matrix_element_operand(name, sub);
    }
    int j = find_variable(name);
    numeric(b, e);
    std::uint16_t v = var_index(j, true);
    if (env_.data_in_memory().is_string(j)) {
      p_->has_strings = true;
      op1(SUBSVAR, v, 1);
      return Type::kString;
    }
    op1(SUBVAR, v, 1);
    return Type::kNumeric;
  }

  // ops.varname, or ops.varname[exp]: the operated variable at the
  // observation the subscript names, as x[exp] does for a plain variable.
  Type ts_operand(size_t b, size_t e) {
    size_t sub = std::string::npos;
    if (s_[e - 1] == ']') {
      sub = s_.find('[', b);
      if (sub == std::string::npos || sub >= e || closing(sub, e) != e - 1) fail(198);
    }
    const size_t whole_end = e;
    if (sub != std::string::npos) e = sub;
    size_t dot = s_.rfind('.', e - 1);
    if (dot == std::string::npos || dot < b || dot + 1 >= e) fail(198);
    for (size_t i = dot + 1; i < e; ++i)
      if (!is_name_char(s_[i])) fail(198);
    if (!is_name_start(s_[dot + 1])) fail(198);
    for (size_t i = b; i < dot; ++i)
      if (!is_name_char(s_[i]) && s_[i] != '.') fail(198);
    std::string canonical;
    if (rc_t rc = ts_canonical(env_, std::string_view(s_).substr(b, dot - b), &canonical)) throw Abort{rc};
    std::string name = s_.substr(dot + 1, e - dot - 1);
    int j = find_variable(name);
    if (env_.data_in_memory().is_string(j))
      fail_msg("", name, ":  may not use time-series operators on string variables\n", 109);
    if (!opt_.allow_ts) fail_msg("time-series operators not allowed\n", "", "", 101);
    TsDecl decl = ts_declaration(env_.data_in_memory());
    if (!decl.ok) fail_msg("time variable not set, use tsset varname ...\n", "", "", 111);
    check_ts_order(decl);
    TsRead t;
    TsOps ops;
    ts_parse_canonical(canonical, &ops);
    t.var = var_index(j, true);
    t.time = var_index(decl.tvar, true);
    t.panel = decl.pvar ? var_index(decl.pvar, true) : -1;
    t.delta = decl.delta;
    t.lag = ops.lag;
    t.diff = ops.diff;
    t.seasonal = ops.seasonal;
    t.coef = ts_polynomial(ops);
    if (p_->ts.size() >= 65535) fail(130);
    p_->ts.push_back(std::move(t));
    const auto k = static_cast<std::uint16_t>(p_->ts.size() - 1);
    if (sub == std::string::npos) {
      op1(TSVAR, k, 0);
    } else {
      numeric(sub + 1, whole_end - 1);
      op1(SUBTSVAR, k, 1);
    }
    return Type::kNumeric;
  }

  // Two observations of one panel at the same time leave a lag without
  // meaning; checked once per expression.
  void check_ts_order(const TsDecl& decl) {
    if (ts_checked_) return;
    std::vector<std::int64_t> order, rank;
    bool in_order = false, repeated = false;
    ts_order(env_.data_in_memory(), decl, &order, &rank, &in_order, &repeated);
    if (repeated)
      fail_msg(decl.pvar ? "repeated time values within panel\n" : "repeated time values in sample\n", "", "", 451);
    ts_checked_ = true;
  }

  // ---- function calls ---------------------------------------------------
  struct Arg {
    size_t b, e;
  };
  std::vector<Arg> split_args(size_t b, size_t e) const {
    std::vector<Arg> args;
    if (b == e) return args;
    int depth = 0;
    size_t start = b;
    for (size_t i = b; i < e; ++i) {
      if (quote_at(i, e)) {
        i = skip_quote(i) - 1;
        continue;
      }
      char c = s_[i];
      if (c == '(' || c == '[') ++depth;
      if (c == ')' || c == ']') --depth;
      if (c == ',' && depth == 0) {
        args.push_back({start, i});
        start = i + 1;
      }
    }
    args.push_back({start, e});
    return args;
  }

  [[noreturn]] void not_available(const std::string& name) {
    fail_msg("function ", name, "() not yet available\n", 199);
  }

  Type call(const std::string& name, size_t b, size_t e) {
    std::vector<Arg> args = split_args(b, e);
    int n = static_cast<int>(args.size());
    // 1. Fixed arity.
    if (const FixedFunction* f = find_fixed(name)) {
      if (n != f->nargs) fail(198);
      for (const Arg& a : args) {
        Type t = span(a.b, a.e);
        if ((f->arg_kind == 1) != (t == Type::kString) || t == Type::kMatrix) fail(109);
      }
      if (f->changing) p_->once = p_->once_matrix = false;
      if (!f->ready) not_available(name);
      std::uint16_t code = f->op;
      if (code == F_uniform && env_.run_version() < 320) code = F_uniform0;
      op(code, n);
      if (f->result_kind == 1) {
        p_->has_strings = true;
        return Type::kString;
      }
      if (f->arg_kind == 1) p_->has_strings = true;
      return Type::kNumeric;
    }
    // 2. Old names, for old programs only.
    if (env_.run_version() < 700) {
      if (const OldNameFunction* f = find_old_name(name); f && env_.run_version() <= f->last_version) {
        if (n != f->nargs) fail(198);
        for (const Arg& a : args) numeric(a.b, a.e);
        op(f->op, n);
        return Type::kNumeric;
      }
    }
    // 3. Variable arity: the count goes with the code.
    if (const VarArityFunction* f = find_var_arity(name)) {
      if (n < f->least || (f->most != 255 && n > f->most)) fail(198);
      for (const Arg& a : args) numeric(a.b, a.e);
      op1(f->op, static_cast<std::uint16_t>(n), n);
      return Type::kNumeric;
    }
    // 4. Functions of a matrix.
    if (find_matrix_function(name)) {
      if (n != 1) fail(198);
      double v = 0;
      int rc = stats::matrix_summary(name, matrix_arg(args[0]), &v);
      if (rc) fail(rc > 0 ? rc : 198);
      constant(v);
      return Type::kNumeric;
    }
    // 5. Compile rules of their own.
    if (const DedicatedFunction* f = find_dedicated(name)) {
      if (n < f->least || (f->most != 255 && n > f->most)) fail(198);
      if (!f->ready) {
        for (const Arg& a : args) span(a.b, a.e);
        not_available(name);
      }
      return dedicated(*f, args);
    }
    // Saved results: r(name), e(name), s(name).
    if ((name == "r" || name == "e" || name == "s") && n == 1) return saved_result(name[0], args[0]);
    fail_msg("Unknown function ", name, "()\n", 133);
  }

  Type saved_result(char cls, Arg a) {
    std::string key = s_.substr(a.b, a.e - a.b);
    if (cls == 'e' && key == "sample") {
      int j = env_.data_in_memory().esample_var();
      if (j == 0) {
        constant(0);
      } else {
        op1(PUSHV, var_index(kEsampleVarRef, false), 0);
      }
      return Type::kNumeric;
    }
    double v;
    if (env_.saved_number(cls, key, &v)) {
      constant(v);
      return Type::kNumeric;
    }
    std::string text;
    if (env_.saved_text(cls, key, &text)) {
      string_constant(std::move(text));
      return Type::kString;
    }
    // An unset result reads as missing.
    constant(data::kMissing);
    return Type::kNumeric;
  }

  Type dedicated(const DedicatedFunction& f, const std::vector<Arg>& args) {
    int n = static_cast<int>(args.size());
    auto num = [&](int k) { numeric(args[k].b, args[k].e); };
    auto str = [&](int k) { string(args[k].b, args[k].e); };
    auto result_string = [&] {
      p_->has_strings = true;
      return Type::kString;
    };
    // The argument text itself, for names read at compile time.
    auto text = [&](int k) { return s_.substr(args[k].b, args[k].e - args[k].b); };
    switch (f.rule) {
      case DedicatedRule::kCond: {
        num(0);
        Type t = span(args[1].b, args[1].e);
        for (int k = 2; k < n; ++k)
          if (span(args[k].b, args[k].e) != t) fail(109);
        if (t == Type::kString) {
          op(n == 3 ? SCOND3 : SCOND4, n);
          return result_string();
        }
        op(n == 3 ? COND3 : COND4, n);
        return Type::kNumeric;
      }
      case DedicatedRule::kString:
        num(0);
        if (n == 2) str(1);
        op(n == 1 ? STRING1 : STRING2, n);
        return result_string();
      case DedicatedRule::kSubstr:
        str(0), num(1), num(2);
        op(f.op, 3);
        return result_string();
      case DedicatedRule::kStrNum:
        str(0), num(1);
        op(f.op, 2);
        return result_string();
      case DedicatedRule::kSubin:
        str(0), str(1), str(2), num(3);
        op(f.op, 4);
        return result_string();
      case DedicatedRule::kInrange:
      case DedicatedRule::kInlist: {
        Type t = span(args[0].b, args[0].e);
        for (int k = 1; k < n; ++k)
          if (span(args[k].b, args[k].e) != t) fail(109);
        bool s = t == Type::kString;
        if (s) p_->has_strings = true;
        if (f.rule == DedicatedRule::kInrange)
          op(s ? SINRANGE : INRANGE, 3);
        else
          op1(s ? SINLIST : INLIST, static_cast<std::uint16_t>(n), n);
        return Type::kNumeric;
      }
      case DedicatedRule::kPlural:
        num(0), str(1);
        if (n == 3) str(2);
        op(n == 2 ? PLURAL2 : PLURAL3, n);
        return result_string();
      case DedicatedRule::kMissing:
        if (in_missing_) fail_msg("missing() may not be nested within missing()\n", "", "", 198);
        in_missing_ = true;
        for (const Arg& a : args) {
          if (span(a.b, a.e) == Type::kString) {
            p_->has_strings = true;
            op(SISMISS, 1);
          } else {
            op(ISMISS, 1);
          }
        }
        in_missing_ = false;
        if (n > 1) op1(ANYN, static_cast<std::uint16_t>(n), n);
        return Type::kNumeric;
      case DedicatedRule::kSum:
        if (p_->nsums >= kMaxSums) fail_msg("Too many SUMs\n", "", "", 130);
        num(0);
        op1(SUM, static_cast<std::uint16_t>(p_->nsums++), 1);
        p_->once = p_->once_matrix = false;
        return Type::kNumeric;
      case DedicatedRule::kNumbers:
        for (int k = 0; k < n; ++k) num(k);
        op(f.op, n);
        return Type::kNumeric;
      case DedicatedRule::kCounted:
      case DedicatedRule::kCountedRandom:
        for (int k = 0; k < n; ++k) num(k);
        op1(f.op, static_cast<std::uint16_t>(n), n);
        if (f.rule == DedicatedRule::kCountedRandom) p_->once = p_->once_matrix = false;
        return Type::kNumeric;
      case DedicatedRule::kDateText:
        // Text, mask and the top year of two-digit years, `.` when not given.
        str(0), str(1);
        if (n == 3)
          num(2);
        else
          constant(data::kMissing);
        op(f.op, 3);
        p_->has_strings = true;
        return Type::kNumeric;
      case DedicatedRule::kScalar:
        return scalar_value(text(0));
      case DedicatedRule::kMatrixExp:
        return matrix_expression_value(text(0));
      case DedicatedRule::kMreldif:
        return mreldif_value(args);
      case DedicatedRule::kRowColNumb:
        return row_col_number(f.name, args);
      case DedicatedRule::kEl:
        return el_value(args);
      case DedicatedRule::kNullmat:
        fail(109);  // a matrix: only matrix expressions take it
      case DedicatedRule::kHasEprop: {
        // Whether the last estimation declared the property, fixed while the
        // expression runs.
        std::string want = text(0);
        const std::string* it = env_.estimation_macro("properties");
        bool found = false;
        if (it) {
          const std::string& props = *it;
          size_t k = 0;
          while (k < props.size() && !found) {
            size_t b = props.find_first_not_of(" \t", k);
            if (b == std::string::npos) break;
            size_t e = props.find_first_of(" \t", b);
            if (e == std::string::npos) e = props.size();
            found = props.compare(b, e - b, want) == 0;
            k = e;
          }
        }
        constant(found ? 1 : 0);
        return Type::kNumeric;
      }
      case DedicatedRule::kCaller:
        constant(env_.run_version() / 100.0);
        return Type::kNumeric;
      case DedicatedRule::kByteorder:
        // 1 most significant byte first, 2 least significant first.
        constant(std::endian::native == std::endian::big ? 1 : 2);
        return Type::kNumeric;
      case DedicatedRule::kLimit:
        constant(data::find_storage_limit(f.name)->value);
        return Type::kNumeric;
    }
    not_available(f.name);
  }

  // ---- functions of host matrices ---------------------------------------
  // A matrix is fixed while a command runs, so what depends only on
  // matrices is folded into a constant here; el() with subscripts that
  // change from observation to observation carries a copy of the matrix in
  // the constant pool instead.
  const stats::Matrix& matrix_arg(Arg a) {
    std::string key = s_.substr(a.b, a.e - a.b);
    const stats::Matrix* m = env_.find_matrix(key);
    if (!m) fail_msg("matrix ", key, " not found\n", 111);
    return *m;
  }

  // Evaluates an argument now when it does not depend on the observation;
  // false when it does.
  bool fold_arg(Arg a, Type want, double* num, std::string* str) {
    Program sub;
    if (rc_t rc = expr::compile(env_, s_.substr(a.b, a.e - a.b), Want::kAny, &sub)) throw Abort{rc};
    if (sub.type != want) fail(109);
    if (sub.reads_obs || !sub.once) return false;
    EvalContext cx;
    bind(env_, sub, &cx);
    if (want == Type::kString)
      *str = eval_string(cx, 1);
    else
      *num = eval_number(cx, 1);
    return true;
  }

  Type matrix_expression_value(const std::string& text) {
    stats::Matrix m;
    bool scalar = false;
    if (rc_t rc = stats::eval_matrix(env_, text, &m, &scalar)) throw Abort{rc};
    if (m.rows != 1 || m.cols != 1) fail(503);
    constant(m.v[0]);
    return Type::kNumeric;
  }

  Type mreldif_value(const std::vector<Arg>& args) {
    const stats::Matrix& a = matrix_arg(args[0]);
    const stats::Matrix& b = matrix_arg(args[1]);
    if (a.rows != b.rows || a.cols != b.cols) fail(503);
    constant(stats::mreldif(a, b));
    return Type::kNumeric;
  }

  Type row_col_number(const std::string& name, const std::vector<Arg>& args) {
    const stats::Matrix& m = matrix_arg(args[0]);
    std::string label;
    if (!fold_arg(args[1], Type::kString, nullptr, &label))
      fail_msg("", name, "() needs a name that does not change between observations\n", 198);
    int k = name == "rownumb" ? stats::find_row(m, label) : stats::find_col(m, label);
    constant(k < 0 ? data::kMissing : k + 1);
    return Type::kNumeric;
  }

  // el(A, i, j): the element, or `.` outside the matrix.
  Type el_value(const std::vector<Arg>& args) {
    const stats::Matrix& m = matrix_arg(args[0]);
    double i = 0, j = 0;
    if (fold_arg(args[1], Type::kNumeric, &i, nullptr) && fold_arg(args[2], Type::kNumeric, &j, nullptr)) {
      constant(matrix_element(m, i, j));
      return Type::kNumeric;
    }
    if (m.v.size() + 2 + p_->consts.size() > 65535) fail(130);
    std::uint16_t k = operand_index(p_->consts.size());
    p_->consts.push_back(m.rows);
    p_->consts.push_back(m.cols);
    p_->consts.insert(p_->consts.end(), m.v.begin(), m.v.end());
    numeric(args[1].b, args[1].e);
    numeric(args[2].b, args[2].e);
    op1(D_el, k, 2);
    return Type::kNumeric;
  }

  // M[i,j]: each index a number or a quoted row or column name.  Indices
  // known now are checked now (503 outside the matrix); indices that change
  // with the observation read the element through el(), `.` outside.
  Type matrix_element_operand(const std::string& name, const std::vector<Arg>& sub) {
    const stats::Matrix* m = env_.find_matrix(name);
    if (!m) fail_msg("matrix ", name, " not found\n", 111);
    double index[2];
    bool known[2];
    for (int k = 0; k < 2; ++k) {
      Arg a = sub[k];
      if (a.b == a.e) fail(198);
      if (s_[a.b] == '"' && skip_quote(a.b) == a.e) {
        std::string label = s_.substr(a.b + 1, a.e - a.b - 2);
        int found = k == 0 ? stats::find_row(*m, label) : stats::find_col(*m, label);
        if (found < 0) fail_msg("", label, " not found\n", 111);
        index[k] = found + 1;
        known[k] = true;
        continue;
      }
      known[k] = fold_arg(a, Type::kNumeric, &index[k], nullptr);
      int size = k == 0 ? m->rows : m->cols;
      if (known[k] && !(index[k] >= 1 && index[k] < size + 1)) fail(503);
    }
    if (known[0] && known[1]) {
      constant(matrix_element(*m, index[0], index[1]));
      return Type::kNumeric;
    }
    if (m->v.size() + 2 + p_->consts.size() > 65535) fail(130);
    std::uint16_t k = static_cast<std::uint16_t>(p_->consts.size());
    p_->consts.push_back(m->rows);
    p_->consts.push_back(m->cols);
    p_->consts.insert(p_->consts.end(), m->v.begin(), m->v.end());
    for (int a = 0; a < 2; ++a) {
      if (known[a])
        constant(index[a]);
      else
        numeric(sub[a].b, sub[a].e);
    }
    op1(D_el, k, 2);
    return Type::kNumeric;
  }

  static double matrix_element(const stats::Matrix& m, double i, double j) {
    if (!(i >= 1 && i < m.rows + 1 && j >= 1 && j < m.cols + 1)) return data::kMissing;
    return m.at(static_cast<int>(i) - 1, static_cast<int>(j) - 1);
  }

  Env& env_;
  std::string s_;
  Program* p_;
  CompileOptions opt_;
  int depth_ = 0;
  int nesting_ = 0;
  bool in_missing_ = false;
  bool ts_checked_ = false;
};

// Blanks outside quotes are dropped; a blank between two name characters
// would glue two words into one, so it stays and fails as syntax.
std::string drop_blanks(std::string_view t) {
  std::string out;
  out.reserve(t.size());
  for (size_t i = 0; i < t.size(); ++i) {
    char c = t[i];
    if (c == '"') {
      size_t close = t.find('"', i + 1);
      if (close == std::string_view::npos) close = t.size() - 1;
      out.append(t.substr(i, close - i + 1));
      i = close;
      continue;
    }
    if (c == '`' && i + 1 < t.size() && t[i + 1] == '"') {
      int depth = 0;
      size_t j = i;
      for (; j < t.size(); ++j) {
        if (t[j] == '`' && j + 1 < t.size() && t[j + 1] == '"') {
          ++depth;
          ++j;
        } else if (t[j] == '"' && j + 1 < t.size() && t[j + 1] == '\'') {
          ++j;
          if (--depth == 0) break;
        }
      }
      if (j >= t.size()) j = t.size() - 1;
      out.append(t.substr(i, j - i + 1));
      i = j;
      continue;
    }
    if (c == ' ' || c == '\t') {
      size_t j = i;
      while (j < t.size() && (t[j] == ' ' || t[j] == '\t')) ++j;
      if (!out.empty() && j < t.size() && is_name_char(out.back()) && is_name_char(t[j])) out += ' ';
      i = j - 1;
      continue;
    }
    out += c;
  }
  return out;
}

}  // namespace

rc_t compile(Env& env, std::string_view text, Want want, Program* out, const CompileOptions& opt) {
  *out = Program{};
  out->text = std::string(text);
  out->compare_all_missing_equal = !env.missing_values_modern();
  try {
    Compiler c(env, drop_blanks(text), out, opt);
    c.check_balance();
    Type t = c.run();
    if ((want == Want::kNumeric || want == Want::kNumericOrMatrix) && t != Type::kNumeric) c.fail(109);
    if (want == Want::kString && t != Type::kString) c.fail(109);
    out->type = t;
    if (out->max_depth < 1) out->max_depth = 1;
    return 0;
  } catch (const Abort& a) {
    std::string keep = std::move(out->text);
    *out = Program{};
    out->text = std::move(keep);
    return a.rc;
  } catch (const std::bad_alloc&) {
    *out = Program{};
    return env.report(950);
  }
}

rc_t ts_canonical(Env& env, std::string_view ops, std::string* canonical) {
  std::string t;
  for (char c : ops)
    if (c != '.' && c != ' ' && c != '\t') t += c;
  if (t.size() >= 240) return env.report_quoting("operator too long\n", "", "", 1000);
  long long lag = 0, diff = 0;
  std::vector<long long> seasonal;
  size_t i = 0;
  while (i < t.size()) {
    char c = static_cast<char>(t[i] & ~0x20);  // upper case
    if (c != 'L' && c != 'F' && c != 'D' && c != 'S') return env.report_quoting("operator invalid\n", "", "", 198);
    ++i;
    long long count = 1;
    if (i < t.size() && is_digit(t[i])) {
      count = 0;
      while (i < t.size() && is_digit(t[i])) {
        count = count * 10 + (t[i] - '0');
        if (count > 2147483647LL) return env.report_quoting("operator invalid\n", "", "", 198);
        ++i;
      }
    }
    if (c == 'L') lag += count;
    if (c == 'F') lag -= count;
    if (c == 'D') {
      if (count < 0) return env.report_quoting("operator invalid\n", "", "", 198);
      diff += count;
      if (diff > 20)
        return env.report_quoting("operator invalid:  D20 is maximum allowed difference\n", "", "", 198);
    }
    if (c == 'S') {
      if (seasonal.size() == 8) return env.report_quoting("operator too long\n", "", "", 1000);
      auto at = seasonal.begin();
      while (at != seasonal.end() && *at <= count) ++at;
      seasonal.insert(at, count);
    }
  }
  std::string out;
  if (lag > 0) out += "L" + std::to_string(lag);
  if (lag < 0) out += "F" + std::to_string(-lag);
  if (diff > 0) out += "D" + std::to_string(diff);
  for (long long s : seasonal) out += "S" + std::to_string(s);
  if (out.size() >= 20) return env.report_quoting("operator too long\n", "", "", 1000);
  *canonical = std::move(out);
  return 0;
}

}  // namespace nuvra::expr
