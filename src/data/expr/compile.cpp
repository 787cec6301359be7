// The scalar expression compiler: the back end that turns what the shared
// front end (parse.h) finds in the text into code for the evaluator.
#include <bit>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

#include "data/expr/expr.h"
#include "data/expr/functions.h"
#include "data/expr/parse.h"
#include "data/expr/tsops.h"
#include "data/limits.h"
#include "data/names.h"
#include "stats/matexpr.h"

namespace nuvra::expr {
namespace {

using Abort = ParseAbort;

// Evaluator codes of the binary operators, by BinaryOp; 0 where strings do
// not take the operator.
constexpr std::uint16_t kNumCode[] = {OR, AND, EQ, GE, LE, LT, GT, NE, NE, ADD, SUB, MUL, DIV};
constexpr std::uint16_t kStrCode[] = {0, 0, SEQ, SGE, SLE, SLT, SGT, SNE, SNE, SCAT, 0, 0, 0};

bool is_digit(char c) { return c >= '0' && c <= '9'; }

class Compiler {
 public:
  Compiler(Env& env, std::string_view text, Program* p, const CompileOptions& opt)
      : env_(env), syn_(env, text, kScalarLanguage), s_(syn_.text()), p_(p), opt_(opt) {}

  Type run() {
    syn_.check();
    if (s_.empty()) fail(198);
    return span(0, s_.size());
  }

  [[noreturn]] void fail(rc_t code) { syn_.fail(code); }
  [[noreturn]] void fail_msg(std::string_view before, std::string_view user, std::string_view after,
                             rc_t code) {
    syn_.fail_msg(before, user, after, code);
  }

 private:
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
  Type numeric(size_t b, size_t e) {
    if (span(b, e) != Type::kNumeric) fail(109);
    return Type::kNumeric;
  }
  Type string(size_t b, size_t e) {
    if (span(b, e) != Type::kString) fail(109);
    return Type::kString;
  }
  Type span(Piece p) { return span(p.b, p.e); }

  Type span(size_t b, size_t e) {
    Syntax::Level level(syn_);
    Split sp = syn_.split(b, e);
    switch (sp.form) {
      case Form::kBinary: {
        const auto lv = static_cast<size_t>(sp.op);
        Type lt = span(sp.pieces[0]);
        for (size_t k = 1; k < sp.pieces.size(); ++k) {
          Type rt = span(sp.pieces[k]);
          if (lt == Type::kString) {
            if (kStrCode[lv] == 0 || rt != Type::kString) fail(109);
            op(kStrCode[lv], 2);
            p_->has_strings = true;
            lt = sp.op == BinaryOp::kPlus ? Type::kString : Type::kNumeric;
            continue;
          }
          if (rt != Type::kNumeric) fail(109);
          op(kNumCode[lv], 2);
          lt = Type::kNumeric;
        }
        return lt;
      }
      case Form::kNot:
        numeric(sp.inner.b, sp.inner.e);
        op(NOT, 1);
        return Type::kNumeric;
      case Form::kNegate:
        numeric(sp.inner.b, sp.inner.e);
        op(NEG, 1);
        return Type::kNumeric;
      case Form::kPlus:
        return numeric(sp.inner.b, sp.inner.e);
      case Form::kPower:
        numeric(sp.pieces[0].b, sp.pieces[0].e);
        for (size_t k = 1; k < sp.pieces.size(); ++k) {
          numeric(sp.pieces[k].b, sp.pieces[k].e);
          op(POW, 2);
        }
        return Type::kNumeric;
      case Form::kOperand:
        return operand(sp.whole.b, sp.whole.e);
      case Form::kRowJoin:
      case Form::kColJoin:
      case Form::kKronecker:
      case Form::kTranspose:
        break;  // matrix expressions only
    }
    fail(198);
  }

  // ---- operands ---------------------------------------------------------
  Type operand(size_t b, size_t e) {
    Operand o = syn_.operand(b, e);
    switch (o.kind) {
      case OperandKind::kString:
        if (!o.quote_whole) fail(198);
        string_constant(syn_.string_text(o));
        return Type::kString;
      case OperandKind::kNumber:
        constant(o.value);
        return Type::kNumeric;
      case OperandKind::kName:
        return plain_name(s_.substr(b, e - b));
      case OperandKind::kCall:
        return call(s_.substr(b, o.name_end - b), o.name_end + 1, e - 1);
      case OperandKind::kSubscript:
        return subscripted(s_.substr(b, o.name_end - b), o.name_end + 1, e - 1);
      case OperandKind::kDotted:
        return ts_operand(b, e);
    }
    fail(198);
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
      if (sub == std::string::npos || sub >= e || syn_.group_end(sub) != e) fail(198);
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
  using Arg = Piece;
  std::vector<Arg> split_args(size_t b, size_t e) const { return syn_.args(b, e); }

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
      if (s_[a.b] == '"' && syn_.group_end(a.b) == a.e) {
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
  Syntax syn_;
  const std::string& s_;  // the text as the front end reads it
  Program* p_;
  CompileOptions opt_;
  int depth_ = 0;
  bool in_missing_ = false;
  bool ts_checked_ = false;
};

}  // namespace

rc_t compile(Env& env, std::string_view text, Want want, Program* out, const CompileOptions& opt) {
  *out = Program{};
  out->text = std::string(text);
  out->compare_all_missing_equal = !env.missing_values_modern();
  try {
    Compiler c(env, text, out, opt);
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
