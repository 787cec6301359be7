// The matrix-expression evaluator: the back end that computes a value for
// what the shared front end (data/expr/parse.h) finds in the text.
// Comparisons, logic and powers take numbers only. Scalar functions
// (sqrt(), trace(), el() ...) are handed to the scalar compiler, after
// their arguments have been evaluated here.
#include "stats/matexpr.h"

#include <lapacke.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include "data/expr/expr.h"
#include "data/expr/functions.h"
#include "data/expr/parse.h"
#include "data/missing.h"
#include "output/output.h"
#include "stats/sweep.h"

namespace nuvra::stats {

namespace {

using data::is_missing;
using data::kMissing;

using Abort = expr::ParseAbort;
using expr::BinaryOp;
using expr::Form;
using expr::OperandKind;
using expr::Piece;

bool name_start(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_'; }
bool name_char(char c) { return name_start(c) || (c >= '0' && c <= '9'); }

struct Val {
  Matrix m;
  bool scalar = false;  // a plain number rather than a 1x1 matrix
  bool null = false;    // nullmat() of a matrix that does not exist
};

Val number(double x) {
  Val v;
  v.m = Matrix::make(1, 1, x);
  v.scalar = true;
  return v;
}

// Text of a number that the scalar compiler reads back exactly.
std::string exact_text(double x) {
  // The 27 missing values by name; other values of the missing range (a
  // number such as 9e307) by their digits, which read back as they are.
  if (is_missing(x)) {
    int code = data::missing_code(x);
    if (code <= 0 && x == kMissing) return ".";
    if (code > 0 && x == data::missing_value(code)) return std::string(".") + static_cast<char>('a' + code - 1);
  }
  char buf[64];
  std::snprintf(buf, sizeof buf, "(%.17g)", x);
  return buf;
}

double arith(char op, double a, double b) {
  if (is_missing(a) || is_missing(b)) return kMissing;
  double r = op == '+' ? a + b : op == '-' ? a - b : op == '*' ? a * b : a / b;
  return expr::finish_value(r);
}

class Evaluator {
 public:
  Evaluator(expr::Env& env, std::string_view text)
      : env_(env), syn_(env, text, expr::kMatrixLanguage), s_(syn_.text()) {}

  Val run() {
    syn_.check();
    if (s_.empty()) fail(198);
    return span(0, s_.size());
  }

  [[noreturn]] void fail(rc_t code) { syn_.fail(code); }
  [[noreturn]] void fail_msg(std::string_view before, std::string_view user, std::string_view after, rc_t code) {
    syn_.fail_msg(before, user, after, code);
  }

 private:
  Val span(Piece p) { return span(p.b, p.e); }

  // The recursion runs through span() and one small function per form,
  // each with only the locals it needs, so that deep nesting stays well
  // inside the stack also in instrumented builds.
  Val span(size_t b, size_t e) {
    expr::Syntax::Level level(syn_);
    expr::Split sp = syn_.split(b, e);
    switch (sp.form) {
      case Form::kRowJoin:
      case Form::kColJoin:
      case Form::kBinary:
      case Form::kKronecker:
      case Form::kPower:
        return chain(sp);
      case Form::kNot:
        return logical_not(sp.inner);
      case Form::kNegate:
        return negate(sp.inner);
      case Form::kPlus:
        return span(sp.inner);
      case Form::kTranspose:
        return transpose(sp.inner);
      case Form::kOperand:
        break;
    }
    return operand(sp.whole.b, sp.whole.e);
  }

  // The pieces of a chain, combined left to right.
  [[gnu::noinline]] Val chain(const expr::Split& sp) {
    Val l = span(sp.pieces[0]);
    for (size_t k = 1; k < sp.pieces.size(); ++k) {
      Val r = span(sp.pieces[k]);
      switch (sp.form) {
        case Form::kRowJoin:
        case Form::kColJoin:
          l = join(std::move(l), std::move(r), sp.form == Form::kRowJoin);
          break;
        case Form::kBinary:
          l = binary(sp.op, std::move(l), std::move(r));
          break;
        case Form::kKronecker:
          l = kronecker(std::move(l), std::move(r));
          break;
        default:
          l = power(l, r);
          break;
      }
    }
    return l;
  }

  Val power(const Val& l, const Val& r) {
    if (!is_number(l) || !is_number(r)) fail(509);
    double x = l.m.v[0], y = r.m.v[0];
    return number(is_missing(x) || is_missing(y) ? kMissing : expr::finish_value(std::pow(x, y)));
  }

  [[gnu::noinline]] Val logical_not(Piece inner) {
    Val v = span(inner);
    if (!is_number(v)) fail(509);
    return number(v.m.v[0] == 0 ? 1 : 0);
  }

  [[gnu::noinline]] Val negate(Piece inner) {
    Val v = span(inner);
    for (double& x : v.m.v)
      if (!is_missing(x)) x = -x;
    return v;
  }

  [[gnu::noinline]] Val transpose(Piece inner) {
    Val v = span(inner);
    v.m = v.m.transposed();
    return v;
  }

  static bool is_number(const Val& v) { return v.m.rows == 1 && v.m.cols == 1 && !v.null; }

  Val join(Val l, Val r, bool rows) {
    if (l.null || (l.m.rows == 0 && l.m.cols == 0)) return r;
    if (r.null || (r.m.rows == 0 && r.m.cols == 0)) return l;
    Matrix out;
    const Matrix& a = l.m;
    const Matrix& c = r.m;
    if (rows) {
      if (a.cols != c.cols) fail(503);
      out = a;
      out.rows = a.rows + c.rows;
      out.v.insert(out.v.end(), c.v.begin(), c.v.end());
      out.rownames.insert(out.rownames.end(), c.rownames.begin(), c.rownames.end());
      out.roweq.insert(out.roweq.end(), c.roweq.begin(), c.roweq.end());
      // Numbers joined into a row vector keep r1, r2 ... in sequence.
      if (l.scalar || r.scalar || all_default(a.rownames, 'r')) out.default_row_names();
    } else {
      if (a.rows != c.rows) fail(503);
      out = Matrix::make(a.rows, a.cols + c.cols);
      for (int i = 0; i < a.rows; ++i) {
        for (int j = 0; j < a.cols; ++j) out.at(i, j) = a.at(i, j);
        for (int j = 0; j < c.cols; ++j) out.at(i, a.cols + j) = c.at(i, j);
      }
      out.rownames = a.rownames;
      out.roweq = a.roweq;
      out.colnames = a.colnames;
      out.coleq = a.coleq;
      out.colnames.insert(out.colnames.end(), c.colnames.begin(), c.colnames.end());
      out.coleq.insert(out.coleq.end(), c.coleq.begin(), c.coleq.end());
      if (l.scalar || r.scalar || all_default(a.colnames, 'c')) out.default_col_names();
    }
    Val v;
    v.m = std::move(out);
    return v;
  }

  static bool all_default(const std::vector<std::string>& names, char letter) {
    for (size_t i = 0; i < names.size(); ++i)
      if (names[i] != letter + std::to_string(i + 1)) return false;
    return true;
  }

  Val binary(BinaryOp lv, Val l, Val r) {
    if (l.null || r.null) fail(503);
    if (lv <= BinaryOp::kNe2) {
      if (!is_number(l) || !is_number(r)) fail(509);
      double x = l.m.v[0], y = r.m.v[0];
      bool res = false;
      switch (lv) {
        case BinaryOp::kOr: res = x != 0 || y != 0; break;
        case BinaryOp::kAnd: res = x != 0 && y != 0; break;
        case BinaryOp::kEq: res = x == y; break;
        case BinaryOp::kGe: res = x >= y; break;
        case BinaryOp::kLe: res = x <= y; break;
        case BinaryOp::kLt: res = x < y; break;
        case BinaryOp::kGt: res = x > y; break;
        default: res = x != y; break;
      }
      return number(res ? 1 : 0);
    }
    if (lv == BinaryOp::kPlus || lv == BinaryOp::kMinus) {
      if (l.m.rows != r.m.rows || l.m.cols != r.m.cols) fail(503);
      char op = lv == BinaryOp::kPlus ? '+' : '-';
      for (size_t k = 0; k < l.m.v.size(); ++k) l.m.v[k] = arith(op, l.m.v[k], r.m.v[k]);
      l.scalar = l.scalar && r.scalar;
      return l;
    }
    if (lv == BinaryOp::kDivide) {
      if (!is_number(r)) fail(509);
      double y = r.m.v[0];
      for (double& x : l.m.v) x = arith('/', x, y);
      return l;
    }
    // Multiplication: a number scales; two matrices multiply when they
    // conform, and a 1x1 matrix that does not conform scales.
    bool conform = l.m.cols == r.m.rows;
    if (l.scalar || r.scalar || (!conform && (is_number(l) || is_number(r)))) {
      Val& big = (l.scalar || (!r.scalar && is_number(l) && !conform)) ? r : l;
      const Val& small = &big == &r ? l : r;
      double x = small.m.v[0];
      for (double& y : big.m.v) y = arith('*', x, y);
      big.scalar = l.scalar && r.scalar;
      return std::move(big);
    }
    if (l.m.cols != r.m.rows) fail(503);
    Matrix out = Matrix::make(l.m.rows, r.m.cols);
    for (int i = 0; i < l.m.rows; ++i) {
      for (int j = 0; j < r.m.cols; ++j) {
        double s = 0;
        for (int k = 0; k < l.m.cols; ++k) {
          double x = l.m.at(i, k), y = r.m.at(k, j);
          if (is_missing(x) || is_missing(y)) {
            s = kMissing;
            break;
          }
          s += x * y;
        }
        out.at(i, j) = is_missing(s) ? s : expr::finish_value(s);
      }
    }
    out.rownames = l.m.rownames;
    out.roweq = l.m.roweq;
    out.colnames = r.m.colnames;
    out.coleq = r.m.coleq;
    Val v;
    v.m = std::move(out);
    return v;
  }

  Val kronecker(Val l, Val r) {
    if (l.null || r.null) fail(503);
    const Matrix& a = l.m;
    const Matrix& c = r.m;
    if (static_cast<long long>(a.rows) * c.rows > env_.matrix_settings().matsize || static_cast<long long>(a.cols) * c.cols > env_.matrix_settings().matsize)
      fail(908);
    Matrix out = Matrix::make(a.rows * c.rows, a.cols * c.cols);
    for (int i = 0; i < a.rows; ++i)
      for (int j = 0; j < a.cols; ++j)
        for (int k = 0; k < c.rows; ++k)
          for (int m = 0; m < c.cols; ++m) out.at(i * c.rows + k, j * c.cols + m) = arith('*', a.at(i, j), c.at(k, m));
    Val v;
    v.m = std::move(out);
    return v;
  }

  // ---- operands ---------------------------------------------------------
  Val operand(size_t b, size_t e) {
    expr::Operand o = syn_.operand(b, e);
    switch (o.kind) {
      case OperandKind::kString:
        fail(109);
      case OperandKind::kNumber:
        return number(o.value);
      case OperandKind::kName:
        return named(s_.substr(b, e - b));
      case OperandKind::kCall:
        return call(s_.substr(b, o.name_end - b), o.name_end + 1, e - 1);
      case OperandKind::kSubscript:
        return subscript(s_.substr(b, o.name_end - b), o.name_end + 1, e - 1);
      case OperandKind::kDotted:
        break;
    }
    fail(198);
  }

  Val named(const std::string& name) {
    if (const Matrix* m = lookup_matrix(env_, name)) {
      Val v;
      v.m = *m;
      return v;
    }
    if (const expr::ScalarValue* sc = env_.find_scalar(name)) {
      if (sc->is_string) fail(109);
      return number(sc->num);
    }
    if (name == "_pi") return number(3.14159265358979323846);
    fail_msg("matrix ", name, " not found\n", 111);
  }

  using Arg = Piece;
  std::vector<Arg> split_args(size_t b, size_t e) const { return syn_.args(b, e); }

  std::string text(Arg a) const { return s_.substr(a.b, a.e - a.b); }

  const Matrix& matrix_arg(Arg a, Val* keep) {
    *keep = span(a.b, a.e);
    if (keep->null) fail(503);
    return keep->m;
  }
  double number_arg(Arg a) {
    Val v = span(a.b, a.e);
    if (!is_number(v)) fail(503);
    return v.m.v[0];
  }
  int size_arg(Arg a) {
    double x = number_arg(a);
    if (is_missing(x) || x < 0) fail(198);
    if (x > env_.matrix_settings().matsize) fail(908);
    return static_cast<int>(x);
  }

  Val call(const std::string& name, size_t b, size_t e) {
    std::vector<Arg> args = split_args(b, e);
    size_t n = args.size();
    Val keep, v;
    if (const expr::MatrixCallName* f = expr::find_matrix_call(name)) {
      if (n != f->nargs) fail(198);
      switch (f->call) {
        case expr::MatrixCall::kInv: {
          const Matrix& a = matrix_arg(args[0], &keep);
          v.m = inverse(a);
          return v;
        }
        case expr::MatrixCall::kInvsym: {
          const Matrix& a = matrix_arg(args[0], &keep);
          if (rc_t rc = invsym(env_, a, &v.m)) throw Abort{rc};
          return v;
        }
        case expr::MatrixCall::kSweep: {
          // One pivot of the sweep, in full: the result is not symmetric
          // in general (row p is divided by d, column p by -d), so that
          // sweeps on further pivots can be applied to it and undone by
          // sweeping again.
          const Matrix& a = matrix_arg(args[0], &keep);
          double x = number_arg(args[1]);
          if (!a.square()) fail(503);
          if (is_missing(x) || x < 1 || x > a.rows || x != std::floor(x)) fail(503);
          if (a.has_missing()) fail(504);
          v.m = a;
          sweep_full(v.m.v.data(), a.rows, static_cast<int>(x) - 1);
          return v;
        }
        case expr::MatrixCall::kJ: {
          int r = size_arg(args[0]), c = size_arg(args[1]);
          double x = number_arg(args[2]);
          v.m = Matrix::make(r, c, x);
          return v;
        }
        case expr::MatrixCall::kIdentity: {
          int k = size_arg(args[0]);
          if (k < 1) fail(198);
          v.m = Matrix::make(k, k, 0);
          for (int i = 0; i < k; ++i) v.m.at(i, i) = 1;
          return v;
        }
        case expr::MatrixCall::kDiag: {
          const Matrix& a = matrix_arg(args[0], &keep);
          if (a.rows != 1 && a.cols != 1) fail(503);
          bool row = a.rows == 1;
          int k = row ? a.cols : a.rows;
          v.m = Matrix::make(k, k, 0);
          for (int i = 0; i < k; ++i) v.m.at(i, i) = a.v[i];
          v.m.rownames = v.m.colnames = row ? a.colnames : a.rownames;
          v.m.roweq = v.m.coleq = row ? a.coleq : a.roweq;
          return v;
        }
        case expr::MatrixCall::kVecdiag: {
          const Matrix& a = matrix_arg(args[0], &keep);
          if (!a.square()) fail(503);
          v.m = Matrix::make(1, a.rows);
          for (int i = 0; i < a.rows; ++i) v.m.at(0, i) = a.at(i, i);
          v.m.colnames = a.colnames;
          v.m.coleq = a.coleq;
          return v;
        }
        case expr::MatrixCall::kCholesky: {
          const Matrix& a = matrix_arg(args[0], &keep);
          v.m = cholesky(a);
          return v;
        }
        case expr::MatrixCall::kGet: {
          std::string what = text(args[0]);
          const char* key = what == "_b" ? "b" : what == "VCE" ? "V" : nullptr;
          if (!key) fail_msg("", what, " not found\n", 111);
          const Matrix* it = env_.find_matrix(std::string("e(") + key + ")");
          if (!it) {
            if (env_.no_estimation_results()) fail(301);
            fail_msg("", what, " not found\n", 111);
          }
          v.m = *it;
          return v;
        }
        case expr::MatrixCall::kNullmat: {
          std::string what = text(args[0]);
          if (const Matrix* m = lookup_matrix(env_, what)) {
            v.m = *m;
            return v;
          }
          if (!valid_matrix_name(what)) fail(198);
          v.null = true;
          return v;
        }
        case expr::MatrixCall::kScalar:
          return scalar_text("scalar(" + text(args[0]) + ")");
      }
    }
    if ((name == "r" || name == "e") && n == 1) {
      if (const Matrix* m = lookup_matrix(env_, name + "(" + text(args[0]) + ")")) {
        v.m = *m;
        return v;
      }
      return scalar_text(name + "(" + text(args[0]) + ")");
    }
    if (expr::find_matrix_function(name)) {
      if (n != 1) fail(198);
      const Matrix& a = matrix_arg(args[0], &keep);
      double x = 0;
      int rc = matrix_summary(name, a, &x);
      if (rc) fail(rc > 0 ? rc : 198);
      return number(x);
    }
    // Everything else is a scalar function.  Functions of matrices and of
    // strings read their argument text as written; the others get their
    // arguments evaluated here first, so that A[1,2] and such work inside.
    bool as_written = name == "el" || name == "rownumb" ||
                      name == "colnumb" || name == "mreldif" || name == "matrix";
    for (const Arg& a : args)
      if (a.e > a.b && s_[a.b] == '"') as_written = true;
    if (const expr::FixedFunction* f = expr::find_fixed(name); f && f->arg_kind == 1) as_written = true;
    if (!expr::find_fixed(name) && !expr::find_var_arity(name) && !expr::find_dedicated(name) &&
        !expr::find_matrix_function(name))
      fail_msg("Unknown function ", name, "()\n", 133);
    std::string call_text = name + "(";
    if (as_written) {
      call_text += s_.substr(b, e - b);
    } else {
      for (size_t k = 0; k < n; ++k) {
        if (k) call_text += ",";
        call_text += exact_text(number_arg(args[k]));
      }
    }
    call_text += ")";
    return scalar_text(call_text);
  }

  // A scalar expression evaluated once.
  Val scalar_text(const std::string& t) {
    expr::Program p;
    if (rc_t rc = expr::compile(env_, t, expr::Want::kAny, &p)) throw Abort{rc};
    if (p.type != expr::Type::kNumeric) fail(109);
    if (p.reads_obs) fail_msg("", t, ":  variables not allowed in matrix expressions\n", 198);
    expr::EvalContext cx;
    expr::bind(env_, p, &cx);
    return number(expr::eval_number(cx, 1));
  }

  // One index of a subscript: a range [*first, *last] (0-based).
  void index_range(const Matrix& m, bool rows, Arg a, int* first, int* last, bool* single) {
    int size = rows ? m.rows : m.cols;
    size_t dots = syn_.find_top(a.b, a.e, "..");
    auto one = [&](size_t b, size_t e) -> int {
      if (s_[b] == '"') {
        if (e - b < 2 || s_[e - 1] != '"') fail(198);
        std::string label = s_.substr(b + 1, e - b - 2);
        int k = rows ? find_row(m, label) : find_col(m, label);
        if (k < 0) fail_msg("", label, " not found\n", 111);
        return k;
      }
      double x = number_arg({b, e});
      if (is_missing(x) || x < 1 || x > size) fail(503);
      return static_cast<int>(x) - 1;
    };
    if (dots == std::string::npos) {
      *first = *last = one(a.b, a.e);
      *single = true;
      return;
    }
    *single = false;
    size_t left_end = dots;
    size_t right = left_end + 2;
    while (right < a.e && s_[right] == '.') ++right;
    *first = left_end > a.b ? one(a.b, left_end) : 0;
    *last = right < a.e ? one(right, a.e) : size - 1;
    if (*last < *first) fail(503);
  }

  Val subscript(const std::string& name, size_t b, size_t e) {
    const Matrix* src = lookup_matrix(env_, name);
    if (!src) fail_msg("matrix ", name, " not found\n", 111);
    Matrix m = *src;  // the index expressions may not change it, but copy anyway
    std::vector<Arg> args = split_args(b, e);
    if (args.size() != 2) fail(198);
    int r0, r1, c0, c1;
    bool rs, cs;
    index_range(m, true, args[0], &r0, &r1, &rs);
    index_range(m, false, args[1], &c0, &c1, &cs);
    if (rs && cs) return number(m.at(r0, c0));
    Val v;
    v.m = Matrix::make(r1 - r0 + 1, c1 - c0 + 1);
    for (int i = r0; i <= r1; ++i)
      for (int j = c0; j <= c1; ++j) v.m.at(i - r0, j - c0) = m.at(i, j);
    v.m.rownames.assign(m.rownames.begin() + r0, m.rownames.begin() + r1 + 1);
    v.m.roweq.assign(m.roweq.begin() + r0, m.roweq.begin() + r1 + 1);
    v.m.colnames.assign(m.colnames.begin() + c0, m.colnames.begin() + c1 + 1);
    v.m.coleq.assign(m.coleq.begin() + c0, m.coleq.begin() + c1 + 1);
    return v;
  }

  // ---- decompositions ---------------------------------------------------
  Matrix inverse(const Matrix& a) {
    if (!a.square()) fail(503);
    if (a.has_missing()) fail(504);
    int n = a.rows;
    Matrix out = a;
    std::vector<lapack_int> piv(static_cast<size_t>(n));
    if (n > 0) {
      lapack_int info = LAPACKE_dgetrf(LAPACK_ROW_MAJOR, n, n, out.v.data(), n, piv.data());
      if (info > 0) fail_msg("matrix is singular\n", "", "", 506);
      if (info < 0) fail(3930);
      info = LAPACKE_dgetri(LAPACK_ROW_MAJOR, n, out.v.data(), n, piv.data());
      if (info != 0) fail_msg("matrix is singular\n", "", "", 506);
    }
    // inv(A) maps the columns' space back to the rows'.
    out.rownames = a.colnames;
    out.roweq = a.coleq;
    out.colnames = a.rownames;
    out.coleq = a.roweq;
    return out;
  }

  Matrix cholesky(const Matrix& a) {
    if (!a.square()) fail(503);
    if (a.has_missing()) fail(504);
    if (!a.symmetric()) fail(505);
    Matrix out = a;
    int n = a.rows;
    if (n > 0) {
      lapack_int info = LAPACKE_dpotrf(LAPACK_ROW_MAJOR, 'L', n, out.v.data(), n);
      if (info > 0) fail(506);
      if (info < 0) fail(3930);
    }
    for (int i = 0; i < n; ++i)
      for (int j = i + 1; j < n; ++j) out.at(i, j) = 0;
    return out;
  }

  expr::Env& env_;
  expr::Syntax syn_;
  const std::string& s_;  // the text as the front end reads it
};

}  // namespace

bool valid_matrix_name(std::string_view name) {
  if (name.empty() || name.size() > 32 || !name_start(name[0])) return false;
  for (char c : name)
    if (!name_char(c)) return false;
  return true;
}

const Matrix* lookup_matrix(const expr::Env& env, std::string_view name) { return env.find_matrix(name); }

int sweep_stride(const expr::Env& env, int k) {
  int matsize = env.matrix_settings().matsize;
  return matsize > k ? matsize : k;
}

SweepOptions sweep_options(expr::Env& env) {
  expr::MatrixSettings settings = env.matrix_settings();
  SweepOptions opt;
  opt.select_pivots = settings.sweep_select;
  opt.processors = settings.processors;
  opt.poll_break = [&env] { return env.break_requested(); };
  if (settings.sweep_trace) {
    opt.trace = [&env](std::string_view line) {
      env.message_stream().set_class(output::OutClass::Text);
      env.message_stream().print_plain(line);
    };
  }
  return opt;
}

rc_t invsym(expr::Env& env, const Matrix& a, Matrix* out) {
  if (!a.square()) return env.report(503);
  if (a.has_missing()) return env.report(504);
  if (!a.symmetric()) return env.report(505);
  int k = a.rows;
  expr::MatrixSettings settings = env.matrix_settings();
  if (k > settings.matsize) return env.report(908);
  int stride = 0;
  std::vector<double> work;
  if (rc_t rc = sweep_work(env, k, [&a](int i, int j) { return a.at(i, j); }, &work, &stride)) return rc;
  std::vector<std::uint8_t> status;
  if (rc_t rc = sweep_invert(work.data(), stride, 0, k, nullptr, -1, &status, sweep_options(env)))
    return rc == 909 ? env.report(909) : rc;
  *out = a;
  for (int i = 0; i < k; ++i)
    for (int j = 0; j < k; ++j) out->at(i, j) = work[static_cast<size_t>(i) * stride + j];
  return 0;
}

rc_t eval_matrix(expr::Env& env, std::string_view text, Matrix* out, bool* is_scalar) {
  try {
    Evaluator ev(env, text);
    Val v = ev.run();
    if (v.null) v.m = Matrix{};
    if (is_scalar) *is_scalar = v.scalar;
    *out = std::move(v.m);
    return 0;
  } catch (const Abort& a) {
    return a.rc;
  } catch (const std::bad_alloc&) {
    return env.report(909);
  }
}

}  // namespace nuvra::stats
