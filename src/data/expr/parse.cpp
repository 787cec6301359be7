#include "data/expr/parse.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

#include "base/text.h"
#include "data/missing.h"
#include "data/names.h"

namespace nuvra::expr {
namespace {

bool is_digit(char c) { return c >= '0' && c <= '9'; }
bool is_hex_digit(char c) { return is_digit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }
int hex_value(char c) {
  if (is_digit(c)) return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return c - 'A' + 10;
}

// What a top-level operator character is, as found by a scan: the binary
// levels first (their numbers are BinaryOp's), then the others.
constexpr int kLevels = static_cast<int>(BinaryOp::kCount);
enum Mark { kRowMark = kLevels, kColMark, kHashMark, kCaretMark, kMarks };
constexpr int kOpLength[kLevels] = {1, 1, 2, 2, 2, 1, 1, 2, 2, 1, 1, 1, 1};

bool compound_open(std::string_view t, std::size_t i) { return t[i] == '`' && i + 1 < t.size() && t[i + 1] == '"'; }

using base::compound_quote_end;

std::string drop_blanks(std::string_view t, bool compound) {
  std::string out;
  out.reserve(t.size());
  for (std::size_t i = 0; i < t.size(); ++i) {
    char c = t[i];
    std::size_t close = std::string_view::npos;
    if (c == '"') {
      close = t.find('"', i + 1);
      if (close == std::string_view::npos) close = t.size() - 1;
    } else if (compound && compound_open(t, i)) {
      close = compound_quote_end(t, i);
      close = close == std::string_view::npos ? t.size() - 1 : close - 1;
    }
    if (close != std::string_view::npos) {
      out.append(t.substr(i, close - i + 1));
      i = close;
      continue;
    }
    if (c == ' ' || c == '\t') {
      std::size_t j = i;
      while (j < t.size() && (t[j] == ' ' || t[j] == '\t')) ++j;
      if (!out.empty() && j < t.size() && is_name_char(out.back()) && is_name_char(t[j])) out += ' ';
      i = j - 1;
      continue;
    }
    out += c;
  }
  return out;
}

// A number too large for a double is no value: it reads as `.`.
double finite_or_missing(double x) { return std::isfinite(x) ? x : data::kMissing; }

constexpr MatrixCallName kMatrixCalls[] = {
    {"inv", MatrixCall::kInv, 1},       {"invsym", MatrixCall::kInvsym, 1},   {"syminv", MatrixCall::kInvsym, 1},
    {"sweep", MatrixCall::kSweep, 2},   {"J", MatrixCall::kJ, 3},             {"I", MatrixCall::kIdentity, 1},
    {"diag", MatrixCall::kDiag, 1},     {"vecdiag", MatrixCall::kVecdiag, 1}, {"cholesky", MatrixCall::kCholesky, 1},
    {"get", MatrixCall::kGet, 1},       {"nullmat", MatrixCall::kNullmat, 1}, {"scalar", MatrixCall::kScalar, 1},
};

}  // namespace

const MatrixCallName* find_matrix_call(std::string_view name) {
  for (const MatrixCallName& f : kMatrixCalls)
    if (name == f.name) return &f;
  return nullptr;
}

bool read_number(std::string_view t, double* out) {
  const std::size_t e = t.size();
  std::size_t i = 0;
  // Hexadecimal is told apart by its X.
  std::size_t x = t.find_first_of("xX");
  if (x != std::string_view::npos) {
    double mant = 0, scale = 1;
    bool dot = false, any = false;
    for (i = 0; i < x; ++i) {
      if (t[i] == '.') {
        if (dot) return false;
        dot = true;
      } else if (is_hex_digit(t[i])) {
        any = true;
        if (dot) {
          scale /= 16;
          mant += hex_value(t[i]) * scale;
        } else {
          mant = mant * 16 + hex_value(t[i]);
        }
      } else {
        return false;
      }
    }
    if (!any) return false;
    i = x + 1;
    int sign = 1;
    if (i < e && (t[i] == '+' || t[i] == '-')) sign = t[i++] == '-' ? -1 : 1;
    if (i >= e) return false;
    long ex = 0;
    for (; i < e; ++i) {
      if (!is_hex_digit(t[i])) return false;
      ex = ex * 16 + hex_value(t[i]);
      if (ex > 100000) ex = 100000;
    }
    *out = finite_or_missing(std::ldexp(mant, static_cast<int>(sign * ex)));
    return true;
  }
  std::string text;
  bool any = false;
  while (i < e && is_digit(t[i])) {
    text += t[i++];
    any = true;
  }
  if (i < e && t[i] == '.') {
    text += t[i++];
    while (i < e && is_digit(t[i])) {
      text += t[i++];
      any = true;
    }
  }
  if (!any) return false;
  if (i < e && std::strchr("eEdD", t[i])) {
    text += 'e';
    ++i;
    if (i < e && (t[i] == '+' || t[i] == '-')) text += t[i++];
    if (i >= e || !is_digit(t[i])) return false;
    while (i < e && is_digit(t[i])) text += t[i++];
  }
  if (i != e) return false;
  *out = finite_or_missing(std::strtod(text.c_str(), nullptr));
  return true;
}

Syntax::Syntax(Env& env, std::string_view text, Language lang)
    : env_(env), s_(drop_blanks(text, lang.compound_quotes)), lang_(lang) {}

void Syntax::fail(rc_t code) const { throw ParseAbort{env_.report(code)}; }

void Syntax::fail_msg(std::string_view before, std::string_view user, std::string_view after, rc_t code) const {
  throw ParseAbort{env_.report_quoting(before, user, after, code)};
}

Syntax::Level::Level(const Syntax& s) : s_(s) {
  if (++s_.nesting_ > kMaxNesting) {
    --s_.nesting_;
    s_.fail(130);
  }
}

std::size_t Syntax::compound_end(std::size_t i) const { return compound_quote_end(s_, i); }

bool Syntax::quote_at(std::size_t i) const {
  return s_[i] == '"' || (lang_.compound_quotes && compound_open(s_, i));
}

void Syntax::check() {
  jump_.assign(s_.size(), 0);
  std::vector<std::size_t> open;
  for (std::size_t i = 0; i < s_.size(); ++i) {
    char c = s_[i];
    if (quote_at(i)) {
      std::size_t end = c == '"' ? s_.find('"', i + 1) : compound_end(i);
      if (end == std::string::npos) fail_msg("too few quotes\n", "", "", 132);
      if (c == '"') ++end;
      jump_[i] = end;
      i = end - 1;
    } else if (c == '(' || c == '[') {
      open.push_back(i);
    } else if (c == ')' || c == ']') {
      if (open.empty()) fail_msg("too many ')' or ']'\n", "", "", 132);
      jump_[open.back()] = i + 1;
      open.pop_back();
    }
  }
  if (!open.empty()) fail_msg("too few ')' or ']'\n", "", "", 132);
}

// Whether the + or - at i (not the span's first character) is binary.
bool Syntax::binary_sign(std::size_t b, std::size_t i) const {
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
  // The characters before the exponent letter must form a number that is
  // not the tail of a name.
  std::size_t k = i - 1;  // the letter
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

// Calls visit(mark, position) for each operator at the top level of
// [b, e), never the span's first character.
template <class Visit>
void Syntax::scan(std::size_t b, std::size_t e, Visit&& visit) const {
  for (std::size_t i = b; i < e; ++i) {
    if (std::size_t end = jump_[i]; end != 0) {
      i = end - 1;
      continue;
    }
    if (i == b) continue;
    char c = s_[i];
    char n = i + 1 < e ? s_[i + 1] : '\0';
    auto two = [&](BinaryOp op) {
      visit(static_cast<int>(op), i);
      ++i;
    };
    switch (c) {
      case '|': visit(static_cast<int>(BinaryOp::kOr), i); break;
      case '&': visit(static_cast<int>(BinaryOp::kAnd), i); break;
      case '=': if (n == '=') two(BinaryOp::kEq); break;
      case '>': if (n == '=') two(BinaryOp::kGe); else visit(static_cast<int>(BinaryOp::kGt), i); break;
      case '<': if (n == '=') two(BinaryOp::kLe); else visit(static_cast<int>(BinaryOp::kLt), i); break;
      case '!': if (n == '=') two(BinaryOp::kNe); break;
      case '~': if (n == '=') two(BinaryOp::kNe2); break;
      case '+': if (binary_sign(b, i)) visit(static_cast<int>(BinaryOp::kPlus), i); break;
      case '-': if (binary_sign(b, i)) visit(static_cast<int>(BinaryOp::kMinus), i); break;
      case '*': visit(static_cast<int>(BinaryOp::kTimes), i); break;
      case '/': visit(static_cast<int>(BinaryOp::kDivide), i); break;
      case '^': visit(kCaretMark, i); break;
      case '#': if (lang_.matrix_operators) visit(kHashMark, i); break;
      case '\\': if (lang_.matrix_operators) visit(kRowMark, i); break;
      case ',': if (lang_.matrix_operators) visit(kColMark, i); break;
      default: break;
    }
  }
}

Split Syntax::split(std::size_t b, std::size_t e) const {
  if (b >= e) fail(198);
  // Brackets enclosing the whole span come off first.
  while (e - b >= 2 && (s_[b] == '(' || s_[b] == '[') && jump_[b] == e) {
    if ((s_[b] == '(') != (s_[e - 1] == ')')) fail(198);
    ++b;
    --e;
  }
  if (b >= e) fail(198);
  Split out;
  out.whole = {b, e};

  bool seen[kMarks] = {};
  scan(b, e, [&](int mark, std::size_t) { seen[mark] = true; });

  // The loosest operator present splits the span at each of its
  // occurrences.
  int chosen = -1;
  if (seen[kRowMark]) {
    chosen = kRowMark;
    out.form = Form::kRowJoin;
  } else if (seen[kColMark]) {
    chosen = kColMark;
    out.form = Form::kColJoin;
  } else {
    for (int lv = 0; lv < kLevels; ++lv) {
      if (!seen[lv]) continue;
      chosen = lv;
      out.form = Form::kBinary;
      out.op = static_cast<BinaryOp>(lv);
      break;
    }
    if (chosen < 0 && seen[kHashMark]) {
      chosen = kHashMark;
      out.form = Form::kKronecker;
    }
  }
  if (chosen < 0) {
    // Unary prefixes apply to the whole rest of the span.
    char c = s_[b];
    if (c == '!' || c == '~' || c == '-' || c == '+') {
      out.form = c == '-' ? Form::kNegate : c == '+' ? Form::kPlus : Form::kNot;
      out.inner = {b + 1, e};
      return out;
    }
    if (seen[kCaretMark]) {
      chosen = kCaretMark;
      out.form = Form::kPower;
    } else if (lang_.matrix_operators && s_[e - 1] == '\'') {
      out.form = Form::kTranspose;
      out.inner = {b, e - 1};
      return out;
    } else {
      out.form = Form::kOperand;
      return out;
    }
  }
  const std::size_t len = chosen < kLevels ? static_cast<std::size_t>(kOpLength[chosen]) : 1;
  std::size_t start = b;
  scan(b, e, [&](int mark, std::size_t at) {
    if (mark != chosen) return;
    out.pieces.push_back({start, at});
    start = at + len;
  });
  out.pieces.push_back({start, e});
  return out;
}

Operand Syntax::operand(std::size_t b, std::size_t e) const {
  Operand o;
  o.b = b;
  o.e = e;
  char c = s_[b];
  if (quote_at(b)) {
    o.kind = OperandKind::kString;
    o.quote_whole = jump_[b] == e;
    return o;
  }
  if (is_digit(c) || c == '.') {
    o.kind = OperandKind::kNumber;
    if (c == '.' && e - b == 1) {
      o.value = data::kMissing;
      return o;
    }
    if (c == '.' && is_name_start(s_[b + 1])) {
      // .a .. .z
      if (e - b != 2 || s_[b + 1] < 'a' || s_[b + 1] > 'z') fail(198);
      o.value = data::missing_value(s_[b + 1] - 'a' + 1);
      return o;
    }
    if (!read_number(std::string_view(s_).substr(b, e - b), &o.value)) fail(198);
    return o;
  }
  if (!is_name_start(c)) fail(198);
  std::size_t k = b;
  while (k < e && is_name_char(s_[k])) ++k;
  o.name_end = k;
  if (k == e) {
    o.kind = OperandKind::kName;
    return o;
  }
  if (s_[k] == '(' || s_[k] == '[') {
    bool paren = s_[k] == '(';
    if (jump_[k] != e || s_[e - 1] != (paren ? ')' : ']')) fail(198);
    o.kind = paren ? OperandKind::kCall : OperandKind::kSubscript;
    return o;
  }
  if (s_[k] == '.') {
    o.kind = OperandKind::kDotted;
    return o;
  }
  fail(198);
}

std::vector<Piece> Syntax::args(std::size_t b, std::size_t e) const {
  std::vector<Piece> out;
  if (b == e) return out;
  std::size_t start = b;
  for (std::size_t i = b; i < e; ++i) {
    if (std::size_t end = jump_[i]; end != 0) {
      i = end - 1;
      continue;
    }
    if (s_[i] == ',') {
      out.push_back({start, i});
      start = i + 1;
    }
  }
  out.push_back({start, e});
  return out;
}

std::size_t Syntax::find_top(std::size_t b, std::size_t e, std::string_view what) const {
  for (std::size_t i = b; i < e; ++i) {
    if (std::size_t end = jump_[i]; end != 0) {
      i = end - 1;
      continue;
    }
    if (i + what.size() <= e && s_.compare(i, what.size(), what) == 0) return i;
  }
  return std::string::npos;
}

std::string Syntax::string_text(const Operand& o) const {
  if (s_[o.b] == '"') return s_.substr(o.b + 1, o.e - o.b - 2);
  return s_.substr(o.b + 2, o.e - o.b - 4);
}

}  // namespace nuvra::expr
