// The evaluator: a loop over the code area that dispatches on each
// operation code. Every stack level holds kBlock lanes, one per
// observation of the block being run; a run of one observation uses lane
// 0 only. String values live beside the numbers, one string per level,
// and occur only in runs of one observation.
//
// Nothing here allocates per observation: the stack is sized by bind(),
// and strings reuse their capacity.
#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>

#include "data/expr/expr.h"
#include "data/expr/strfuncs.h"
#include "data/format.h"
#include "interp/interp.h"

namespace nuvra::expr {
namespace {

constexpr double M = data::kMissing;

// Missing for arithmetic: at or above `.`, infinities of either sign, NaN.
inline bool bad(double v) { return !(std::fabs(v) < M); }

// A comparison operand: infinities and NaN become `.`; below version 8
// every missing value is `.`.
inline double cmp_value(double v, bool all_equal) {
  std::uint64_t b = std::bit_cast<std::uint64_t>(v);
  if (((b >> 52) & 0x7FF) == 0x7FF) return M;
  if (all_equal && !(v < M)) return M;
  return v;
}

template <class F>
inline void unary(double* a, int n, F f) {
  for (int i = 0; i < n; ++i) a[i] = bad(a[i]) ? M : f(a[i]);
}
template <class F>
inline void binary(double* a, const double* b, int n, F f) {
  for (int i = 0; i < n; ++i) a[i] = (bad(a[i]) || bad(b[i])) ? M : f(a[i], b[i]);
}

// Values of column c for rows r .. r + n - 1 (0-based), the type tested
// once per block.
void fetch_rows(const data::Column& c, std::int64_t r, int n, double* out) {
  switch (c.type) {
    case data::kDouble:
      for (int i = 0; i < n; ++i) out[i] = c.raw<double>(r + i);
      return;
    case data::kFloat:
      for (int i = 0; i < n; ++i) out[i] = data::float_to_double(c.raw<float>(r + i));
      return;
    case data::kLong:
      for (int i = 0; i < n; ++i) out[i] = data::detail::from_int_code(c.raw<std::int32_t>(r + i), 2147483621);
      return;
    case data::kInt:
      for (int i = 0; i < n; ++i) out[i] = data::detail::from_int_code(c.raw<std::int16_t>(r + i), 32741);
      return;
    case data::kByte:
      for (int i = 0; i < n; ++i) out[i] = data::detail::from_int_code(c.raw<std::int8_t>(r + i), 101);
      return;
    default:
      for (int i = 0; i < n; ++i) out[i] = c.fetch(r + i);
      return;
  }
}

class Runner {
 public:
  explicit Runner(EvalContext& cx) : cx_(cx), p_(*cx.prog) {}

  // Runs the program for observations first .. first + n - 1.
  void run(std::int64_t first, int n) {
    const std::uint16_t* pc = p_.code.data();
    const std::uint16_t* end = pc + p_.code.size();
    double* S = cx_.stack.data();
    std::string* T = cx_.sstack.data();
    int sp = 0;
    auto lv = [S](int k) { return S + static_cast<std::ptrdiff_t>(k) * kBlock; };
    const bool all_equal = p_.compare_all_missing_equal;
    while (pc < end) {
      std::uint16_t code = *pc++;
      switch (code) {
        case PUSHC: {
          double c = p_.consts[*pc++];
          double* d = lv(sp++);
          for (int i = 0; i < n; ++i) d[i] = c;
          break;
        }
        case PUSHS:
          T[sp++].assign(p_.strings[*pc++]);
          break;
        case PUSHV:
          variable(*pc++, first, n, lv(sp++));
          break;
        case PUSHSV:
          string_variable(*pc++, first, T[sp++]);
          break;
        case SUBVAR: {
          int v = *pc++;
          double* d = lv(sp - 1);
          for (int i = 0; i < n; ++i) {
            std::int64_t o = subscript_obs(d[i]);
            d[i] = o ? value_at(v, o) : M;
          }
          break;
        }
        case SUBSVAR: {
          int v = *pc++;
          std::int64_t o = subscript_obs(lv(sp - 1)[0]);
          if (o)
            string_variable(v, o, T[sp - 1]);
          else
            T[sp - 1].clear();
          break;
        }
        case OBSN: {
          double* d = lv(sp++);
          for (int i = 0; i < n; ++i) d[i] = static_cast<double>(first + i - cx_.group_first + 1);
          break;
        }
        case OBSNN: {
          double* d = lv(sp++);
          double v = static_cast<double>(cx_.group_last - cx_.group_first + 1);
          for (int i = 0; i < n; ++i) d[i] = v;
          break;
        }
        case CONS:
        case RC: {
          double* d = lv(sp++);
          double v = code == CONS ? 1.0 : cx_.rc_value;
          for (int i = 0; i < n; ++i) d[i] = v;
          break;
        }
        // ---- arithmetic
        case ADD:
          --sp;
          binary(lv(sp - 1), lv(sp), n, [](double a, double b) { return a + b; });
          break;
        case SUB:
          --sp;
          binary(lv(sp - 1), lv(sp), n, [](double a, double b) { return a - b; });
          break;
        case MUL:
          --sp;
          binary(lv(sp - 1), lv(sp), n, [](double a, double b) { return a * b; });
          break;
        case DIV:
          --sp;
          binary(lv(sp - 1), lv(sp), n, [](double a, double b) { return b == 0 ? M : a / b; });
          break;
        case POW:
          --sp;
          binary(lv(sp - 1), lv(sp), n, [](double a, double b) { return std::pow(a, b); });
          break;
        case NEG:
          unary(lv(sp - 1), n, [](double a) { return -a; });
          break;
        // ---- comparisons and logic
        case EQ: case NE: case GE: case LE: case LT: case GT: {
          --sp;
          double* a = lv(sp - 1);
          const double* b = lv(sp);
          for (int i = 0; i < n; ++i) {
            double x = cmp_value(a[i], all_equal), y = cmp_value(b[i], all_equal);
            bool r = code == EQ ? x == y : code == NE ? x != y : code == GE ? x >= y
                   : code == LE ? x <= y : code == LT ? x < y : x > y;
            a[i] = r ? 1.0 : 0.0;
          }
          break;
        }
        case OR: case AND: {
          --sp;
          double* a = lv(sp - 1);
          const double* b = lv(sp);
          for (int i = 0; i < n; ++i) {
            bool x = a[i] != 0, y = b[i] != 0;  // NaN and missing are true
            a[i] = (code == OR ? (x || y) : (x && y)) ? 1.0 : 0.0;
          }
          break;
        }
        case NOT: {
          double* a = lv(sp - 1);
          for (int i = 0; i < n; ++i) a[i] = a[i] == 0 ? 1.0 : 0.0;
          break;
        }
        // ---- strings
        case SCAT:
          --sp;
          T[sp - 1] += T[sp];
          break;
        case SEQ: case SNE: case SGE: case SLE: case SLT: case SGT: {
          --sp;
          int c = T[sp - 1].compare(T[sp]);
          bool r = code == SEQ ? c == 0 : code == SNE ? c != 0 : code == SGE ? c >= 0
                 : code == SLE ? c <= 0 : code == SLT ? c < 0 : c > 0;
          lv(sp - 1)[0] = r ? 1.0 : 0.0;
          break;
        }
        default:
          pc = function(code, pc, first, n, sp);
          break;
      }
    }
  }

 private:
  // The observation a subscript value names inside the group, 0 outside.
  std::int64_t subscript_obs(double s) const {
    if (!(s >= -2147483648.0 && s <= 2147483647.0)) return 0;  // missing too
    std::int64_t k = static_cast<std::int64_t>(std::trunc(s));
    std::int64_t o = cx_.group_first + k - 1;
    if (o < cx_.group_first || o > cx_.group_last || o < 1 || o > cx_.nobs) return 0;
    return o;
  }
  bool overlaid(int v, std::int64_t o) const {
    return v == cx_.overlay_index && (*cx_.overlay_set)[static_cast<size_t>(o - 1)];
  }
  double value_at(int v, std::int64_t o) const {
    if (overlaid(v, o)) return (*cx_.overlay_num)[static_cast<size_t>(o - 1)];
    return cx_.cols[static_cast<size_t>(v)].fetch(o - 1);
  }
  void variable(int v, std::int64_t first, int n, double* out) const {
    if (first < 1 || first + n - 1 > cx_.nobs) {
      // A constant context (display) with no such observation.
      for (int i = 0; i < n; ++i) out[i] = (first + i >= 1 && first + i <= cx_.nobs) ? value_at(v, first + i) : M;
      return;
    }
    if (v == cx_.overlay_index) {
      for (int i = 0; i < n; ++i) out[i] = value_at(v, first + i);
      return;
    }
    fetch_rows(cx_.cols[static_cast<size_t>(v)], first - 1, n, out);
  }
  void string_variable(int v, std::int64_t o, std::string& out) const {
    if (o < 1 || o > cx_.nobs) {
      out.clear();
      return;
    }
    if (v == cx_.overlay_index && (*cx_.overlay_set)[static_cast<size_t>(o - 1)]) {
      out.assign((*cx_.overlay_str)[static_cast<size_t>(o - 1)]);
      return;
    }
    const data::Column& c = cx_.cols[static_cast<size_t>(v)];
    const char* at = c.at(o - 1);
    out.assign(at, data::stored_string_length(at, c.type));
  }

  const std::uint16_t* function(std::uint16_t code, const std::uint16_t* pc, std::int64_t first, int n,
                                int& sp);

  EvalContext& cx_;
  const Program& p_;
};

double round_units(double x, double y) {
  if (y == 0) return x;
  return y * std::floor(x / y + 0.5);
}

const std::uint16_t* Runner::function(std::uint16_t code, const std::uint16_t* pc, std::int64_t first, int n,
                                      int& sp) {
  double* S = cx_.stack.data();
  std::string* T = cx_.sstack.data();
  auto lv = [S](int k) { return S + static_cast<std::ptrdiff_t>(k) * kBlock; };
  double* top = lv(sp - 1);
  switch (code) {
    // ---- elementary numeric functions of one argument
    case F_abs: unary(top, n, [](double x) { return std::fabs(x); }); break;
    case F_exp: unary(top, n, [](double x) { return std::exp(x); }); break;
    case F_log: unary(top, n, [](double x) { return x > 0 ? std::log(x) : M; }); break;
    case F_log10: unary(top, n, [](double x) { return x > 0 ? std::log10(x) : M; }); break;
    case F_sqrt: unary(top, n, [](double x) { return x >= 0 ? std::sqrt(x) : M; }); break;
    case F_trunc: unary(top, n, [](double x) { return std::trunc(x); }); break;
    case F_floor: unary(top, n, [](double x) { return std::floor(x); }); break;
    case F_ceil: unary(top, n, [](double x) { return std::ceil(x); }); break;
    case F_sign: unary(top, n, [](double x) { return x > 0 ? 1.0 : x < 0 ? -1.0 : 0.0; }); break;
    case F_float:
      unary(top, n, [](double x) {
        float f = static_cast<float>(x);
        return std::isfinite(f) ? static_cast<double>(f) : M;
      });
      break;
    case F_sin: unary(top, n, [](double x) { return std::sin(x); }); break;
    case F_cos: unary(top, n, [](double x) { return std::cos(x); }); break;
    case F_tan: unary(top, n, [](double x) { return std::tan(x); }); break;
    case F_asin: unary(top, n, [](double x) { return std::fabs(x) <= 1 ? std::asin(x) : M; }); break;
    case F_acos: unary(top, n, [](double x) { return std::fabs(x) <= 1 ? std::acos(x) : M; }); break;
    case F_atan: unary(top, n, [](double x) { return std::atan(x); }); break;
    case F_tanh: unary(top, n, [](double x) { return std::tanh(x); }); break;
    case F_atanh: unary(top, n, [](double x) { return std::fabs(x) < 1 ? std::atanh(x) : M; }); break;
    // ---- two arguments
    case F_atan2:
      --sp;
      binary(lv(sp - 1), lv(sp), n, [](double y, double x) { return std::atan2(y, x); });
      break;
    case F_mod:
      --sp;
      binary(lv(sp - 1), lv(sp), n, [](double x, double y) { return y == 0 ? M : x - y * std::floor(x / y); });
      break;
    case F_reldif: {
      --sp;
      double* a = lv(sp - 1);
      const double* b = lv(sp);
      for (int i = 0; i < n; ++i) {
        if (bad(a[i]) || bad(b[i])) {
          // The same missing value twice differs by nothing.
          a[i] = std::bit_cast<std::uint64_t>(a[i]) == std::bit_cast<std::uint64_t>(b[i]) &&
                         !std::isnan(a[i]) && data::is_missing(a[i])
                     ? 0.0
                     : M;
        } else {
          a[i] = std::fabs(a[i] - b[i]) / (std::fabs(b[i]) + 1);
        }
      }
      break;
    }
    // ---- variable arity: the count follows the code
    case MAXN:
    case MINN:
    case ROUND:
    case RECODE:
    case IRECODE:
    case INLIST:
    case ANYN: {
      int k = *pc++;
      sp -= k - 1;
      double* a = lv(sp - 1);
      for (int i = 0; i < n; ++i) {
        auto arg = [&](int j) { return lv(sp - 1 + j)[i]; };
        double r = M;
        switch (code) {
          case MAXN:
          case MINN:
            for (int j = 0; j < k; ++j) {
              double v = arg(j);
              if (bad(v)) continue;
              if (bad(r) || (code == MAXN ? v > r : v < r)) r = v;
            }
            break;
          case ROUND: {
            double x = arg(0), y = k == 2 ? arg(1) : 1.0;
            r = (bad(x) || bad(y)) ? M : round_units(x, y);
            break;
          }
          case RECODE: {
            double x = arg(0);
            if (bad(x)) break;
            r = arg(k - 1);
            for (int j = 1; j < k; ++j)
              if (x <= arg(j)) {
                r = arg(j);
                break;
              }
            break;
          }
          case IRECODE: {
            double x = arg(0);
            if (bad(x)) break;
            bool ok = true;
            for (int j = 1; j < k; ++j)
              if (bad(arg(j)) || (j > 1 && arg(j) < arg(j - 1))) ok = false;
            if (!ok) break;
            r = k - 1;
            for (int j = 1; j < k; ++j)
              if (x <= arg(j)) {
                r = j - 1;
                break;
              }
            break;
          }
          case INLIST: {
            double z = arg(0);
            r = 0;
            for (int j = 1; j < k; ++j)
              if (std::bit_cast<std::uint64_t>(arg(j)) == std::bit_cast<std::uint64_t>(z) || arg(j) == z) r = 1;
            break;
          }
          case ANYN:
            r = 0;
            for (int j = 0; j < k; ++j)
              if (arg(j) != 0) r = 1;
            break;
        }
        a[i] = r;
      }
      break;
    }
    case SINLIST: {
      int k = *pc++;
      sp -= k - 1;
      bool r = false;
      for (int j = 1; j < k; ++j)
        if (T[sp - 1 + j] == T[sp - 1]) r = true;
      lv(sp - 1)[0] = r ? 1.0 : 0.0;
      break;
    }
    case INRANGE: {
      sp -= 2;
      double* z = lv(sp - 1);
      const double* lo = lv(sp);
      const double* hi = lv(sp + 1);
      for (int i = 0; i < n; ++i) {
        double x = z[i], a = lo[i], b = hi[i];
        double r;
        if (data::is_missing(x) || std::isnan(x))
          r = 0;
        else if (data::is_missing(a) && data::is_missing(b))
          r = 1;
        else if (data::is_missing(a))
          r = x <= b;
        else if (data::is_missing(b))
          r = a <= x;
        else
          r = a <= x && x <= b;
        z[i] = r;
      }
      break;
    }
    case SINRANGE:
      sp -= 2;
      lv(sp - 1)[0] = (T[sp] <= T[sp - 1] && T[sp - 1] <= T[sp + 1]) ? 1.0 : 0.0;
      break;
    case ISMISS:
      for (int i = 0; i < n; ++i) top[i] = (data::is_missing(top[i]) || std::isnan(top[i])) ? 1.0 : 0.0;
      break;
    case SISMISS:
      top[0] = T[sp - 1].empty() ? 1.0 : 0.0;
      break;
    case COND3:
    case COND4: {
      int k = code == COND3 ? 3 : 4;
      sp -= k - 1;
      double* x = lv(sp - 1);
      const double* a = lv(sp);
      const double* b = lv(sp + 1);
      const double* c = k == 4 ? lv(sp + 2) : nullptr;
      for (int i = 0; i < n; ++i) {
        if (c && data::is_missing(x[i]))
          x[i] = c[i];
        else
          x[i] = x[i] != 0 ? a[i] : b[i];
      }
      break;
    }
    case SCOND3:
    case SCOND4: {
      int k = code == SCOND3 ? 3 : 4;
      sp -= k - 1;
      double x = lv(sp - 1)[0];
      int pick = (k == 4 && data::is_missing(x)) ? 3 : (x != 0 ? 1 : 2);
      std::swap(T[sp - 1], T[sp - 1 + pick]);
      break;
    }
    // ---- host matrices: el(A, i, j) whose subscripts vary between
    // observations.  The operand indexes the matrix copied into the
    // constant pool: rows, cols, then the elements row by row.
    case D_el: {
      --sp;
      const double* m = &p_.consts[*pc++];
      const double rows = m[0], cols = m[1];
      double* r = lv(sp - 1);
      const double* c = lv(sp);
      for (int i = 0; i < n; ++i) {
        if (r[i] >= 1 && r[i] < rows + 1 && c[i] >= 1 && c[i] < cols + 1)
          r[i] = m[2 + static_cast<std::size_t>(static_cast<int>(r[i]) - 1) * static_cast<std::size_t>(cols) +
                   static_cast<std::size_t>(static_cast<int>(c[i]) - 1)];
        else
          r[i] = M;
      }
      break;
    }
    case SUM:
      for (int i = 0; i < n; ++i) {
        double& acc = cx_.sums[*pc];
        if (!bad(top[i])) acc += top[i];
        top[i] = acc;
      }
      ++pc;
      break;
    // ---- strings
    case F_length:
      lv(sp - 1)[0] = static_cast<double>(T[sp - 1].size());
      break;
    case F_real:
      lv(sp - 1)[0] = str_real(T[sp - 1]);
      break;
    case F_wordcount:
      lv(sp - 1)[0] = static_cast<double>(str_wordcount(T[sp - 1]));
      break;
    case F_lower: str_lower(T[sp - 1]); break;
    case F_upper: str_upper(T[sp - 1]); break;
    case F_proper: str_proper(T[sp - 1]); break;
    case F_trim: str_trim(T[sp - 1], true, true); break;
    case F_ltrim: str_trim(T[sp - 1], true, false); break;
    case F_rtrim: str_trim(T[sp - 1], false, true); break;
    case F_itrim: str_itrim(T[sp - 1], cx_.scratch); break;
    case F_reverse: std::reverse(T[sp - 1].begin(), T[sp - 1].end()); break;
    case F_strpos:
      --sp;
      lv(sp - 1)[0] = static_cast<double>(str_pos(T[sp - 1], T[sp]));
      break;
    case F_char: {
      double v = lv(sp - 1)[0];
      T[sp - 1].clear();
      if (v >= 1 && v <= 255) T[sp - 1].push_back(static_cast<char>(static_cast<int>(v)));
      break;
    }
    case STRING1:
      T[sp - 1] = number_text(lv(sp - 1)[0]);
      break;
    case STRING2:
      --sp;
      str_of_real(lv(sp - 1)[0], T[sp], T[sp - 1]);
      break;
    case SUBSTR:
      sp -= 2;
      str_substr(T[sp - 1], lv(sp)[0], lv(sp + 1)[0]);
      break;
    case WORD:
      --sp;
      str_word(T[sp - 1], lv(sp)[0], cx_.scratch);
      break;
    case ABBREV:
      --sp;
      str_abbrev(T[sp - 1], lv(sp)[0]);
      break;
    case SUBINSTR:
    case SUBINWORD:
      sp -= 3;
      str_subin(T[sp - 1], T[sp], T[sp + 1], lv(sp + 2)[0], code == SUBINWORD, cx_.scratch);
      break;
    case PLURAL2:
    case PLURAL3: {
      int k = code == PLURAL2 ? 2 : 3;
      sp -= k - 1;
      double v = lv(sp - 1)[0];
      str_plural(v, T[sp], k == 3 ? &T[sp + 1] : nullptr);
      std::swap(T[sp - 1], T[sp]);
      break;
    }
    default:
      // Not emitted: the compiler refuses functions whose algorithm is
      // not built. Should one slip through, the value is missing.
      for (int i = 0; i < n; ++i) top[i] = M;
      break;
  }
  (void)first;
  return pc;
}

}  // namespace

double finish_value(double v) {
  std::uint64_t b = std::bit_cast<std::uint64_t>(v);
  if (((b >> 52) & 0x7FF) == 0x7FF) return M;
  // Negative values in the missing range are no values of any type.
  if ((b >> 52) == 0xFFE) return M;
  return v;
}

std::string number_text(double v) {
  v = finish_value(v);
  char buf[data::kRenderBufferSize];
  data::Format f;
  f.kind = data::FormatKind::kGeneral;
  f.width = 9;
  size_t n = data::render_number(f, v, buf, sizeof buf);
  std::string_view t(buf, std::min(n, sizeof buf - 1));
  while (!t.empty() && t.front() == ' ') t.remove_prefix(1);
  return std::string(t);
}

void bind(Interp& ip, const Program& p, EvalContext* cx) {
  cx->prog = &p;
  cx->ds = &ip.dataset;
  cx->rc_value = ip.captured_rc;
  cx->nobs = ip.dataset.nobs();
  cx->cols.clear();
  for (int j : p.vars) cx->cols.push_back(ip.dataset.column(j));
  size_t levels = static_cast<size_t>(std::max(p.max_depth, 1)) + 1;
  cx->stack.assign(levels * kBlock, 0.0);
  if (cx->sstack.size() < levels) cx->sstack.resize(levels);
  set_window(cx, 1, cx->nobs, 1, cx->nobs);
}

void set_window(EvalContext* cx, std::int64_t range_first, std::int64_t range_last, std::int64_t group_first,
                std::int64_t group_last) {
  cx->range_first = range_first;
  cx->range_last = range_last;
  cx->group_first = group_first;
  cx->group_last = group_last;
  for (double& s : cx->sums) s = 0;
}

double eval_number(EvalContext& cx, std::int64_t obs) {
  Runner(cx).run(obs, 1);
  return finish_value(cx.stack[0]);
}

const std::string& eval_string(EvalContext& cx, std::int64_t obs) {
  Runner(cx).run(obs, 1);
  return cx.sstack[0];
}

void eval_block(EvalContext& cx, std::int64_t first, int n, double* out) {
  Runner(cx).run(first, n);
  const double* r = cx.stack.data();
  for (int i = 0; i < n; ++i) out[i] = finish_value(r[i]);
}

bool block_ok(const Program& p, int target) {
  if (p.has_strings || p.nsums > 0 || !p.once || p.type != Type::kNumeric) return false;
  for (size_t k = 0; k < p.vars.size(); ++k)
    if (target != 0 && p.vars[k] == target && p.var_subscripted[k]) return false;
  return true;
}

}  // namespace nuvra::expr
