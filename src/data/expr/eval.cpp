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

#include "data/by_state.h"
#include "data/expr/expr.h"
#include "data/expr/number_rules.h"
#include "data/expr/strfuncs.h"
#include "data/expr/tsops.h"
#include "data/functions/dates.h"
#include "data/functions/distributions.h"
#include "data/functions/elementary.h"
#include "data/functions/regex.h"
#include "data/format.h"

namespace nuvra::expr {
namespace {

constexpr double M = data::kMissing;

using rules::bad;
using rules::cmp_value;

template <class F>
inline void unary(double* a, int n, F f) {
  for (int i = 0; i < n; ++i) a[i] = bad(a[i]) ? M : f(a[i]);
}
template <class F>
inline void lanes3(double* a, const double* b, const double* c, int n, F f) {
  for (int i = 0; i < n; ++i) a[i] = f(a[i], b[i], c[i]);
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
      for (int i = 0; i < n; ++i) out[i] = data::detail::from_int_code(c.raw<std::int32_t>(r + i), data::kLongDot);
      return;
    case data::kInt:
      for (int i = 0; i < n; ++i) out[i] = data::detail::from_int_code(c.raw<std::int16_t>(r + i), data::kIntDot);
      return;
    case data::kByte:
      for (int i = 0; i < n; ++i) out[i] = data::detail::from_int_code(c.raw<std::int8_t>(r + i), data::kByteDot);
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
            locate(first + i);
            std::int64_t o = subscript_obs(d[i]);
            d[i] = o ? value_at(v, o) : M;
          }
          break;
        }
        case TSVAR: {
          const TsRead& t = p_.ts[*pc++];
          double* d = lv(sp++);
          for (int i = 0; i < n; ++i) d[i] = ts_value(t, first + i);
          break;
        }
        case SUBTSVAR: {
          const TsRead& t = p_.ts[*pc++];
          double* d = lv(sp - 1);
          for (int i = 0; i < n; ++i) {
            locate(first + i);
            std::int64_t o = subscript_obs(d[i]);
            d[i] = o ? ts_value(t, o) : M;
          }
          break;
        }
        case SUBSVAR: {
          int v = *pc++;
          locate(first);
          std::int64_t o = subscript_obs(lv(sp - 1)[0]);
          if (o)
            string_variable(v, o, T[sp - 1]);
          else
            T[sp - 1].clear();
          break;
        }
        case OBSN: {
          double* d = lv(sp++);
          if (cx_.group_starts) {
            for (int i = 0; i < n; ++i) {
              locate(first + i);
              d[i] = static_cast<double>(first + i - cx_.group_first + 1);
            }
            break;
          }
          for (int i = 0; i < n; ++i) d[i] = static_cast<double>(first + i - cx_.group_first + 1);
          break;
        }
        case OBSNN: {
          double* d = lv(sp++);
          if (cx_.group_starts) {
            for (int i = 0; i < n; ++i) {
              locate(first + i);
              d[i] = static_cast<double>(cx_.group_last - cx_.group_first + 1);
            }
            break;
          }
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
  // Under a command that runs once over all by-groups, moves the group
  // window to the group holding observation o. Observations arrive in
  // ascending order, so the next group is tried before searching.
  void locate(std::int64_t o) {
    if (!cx_.group_starts || (o >= cx_.group_first && o <= cx_.group_last)) return;
    const std::int64_t* s = cx_.group_starts;
    const std::size_t n = cx_.group_count;
    if (o < s[0] || o >= s[n]) return;
    std::size_t g;
    if (o == cx_.group_last + 1) {
      g = static_cast<std::size_t>(std::upper_bound(s, s + n, cx_.group_last) - s);
    } else {
      g = static_cast<std::size_t>(std::upper_bound(s, s + n, o) - s) - 1;
    }
    cx_.group_first = s[g];
    cx_.group_last = s[g + 1] - 1;
  }
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
  // Time and panel of an observation, read as stored.
  double ts_time(const TsRead& t, std::int64_t o) const { return cx_.cols[static_cast<size_t>(t.time)].fetch(o - 1); }
  double ts_panel(const TsRead& t, std::int64_t o) const {
    return t.panel < 0 ? 0.0 : cx_.cols[static_cast<size_t>(t.panel)].fetch(o - 1);
  }
  std::int64_t ts_at_rank(std::int64_t r) const {
    return cx_.ts_order.empty() ? r + 1 : cx_.ts_order[static_cast<size_t>(r)];
  }
  // The observation of `panel` at time `when`, 0 when there is none.  The
  // guess is the rank the time would have without gaps; otherwise a binary
  // search over the (panel, time) order.
  std::int64_t ts_find(const TsRead& t, std::int64_t guess, double panel, double when) const {
    const std::int64_t n = cx_.nobs;
    if (guess >= 0 && guess < n) {
      std::int64_t o = ts_at_rank(guess);
      if (ts_panel(t, o) == panel && ts_time(t, o) == when) return o;
    }
    std::int64_t lo = 0, hi = n;  // first rank whose key is not below (panel, when)
    while (lo < hi) {
      std::int64_t mid = lo + (hi - lo) / 2;
      std::int64_t o = ts_at_rank(mid);
      double p = ts_panel(t, o);
      if (p < panel || (p == panel && ts_time(t, o) < when))
        lo = mid + 1;
      else
        hi = mid;
    }
    if (lo >= n) return 0;
    std::int64_t o = ts_at_rank(lo);
    return ts_panel(t, o) == panel && ts_time(t, o) == when ? o : 0;
  }
  double ts_value(const TsRead& t, std::int64_t o) {
    if (o < 1 || o > cx_.nobs) return M;
    double now = ts_time(t, o);
    if (!(now < M)) return M;
    double panel = ts_panel(t, o);
    std::int64_t rank = cx_.ts_rank.empty() ? o - 1 : cx_.ts_rank[static_cast<size_t>(o - 1)];
    double* a = cx_.ts_work.data();
    const size_t len = t.coef.size();
    for (size_t k = 0; k < len; ++k) {
      if (t.coef[k] == 0) {
        a[k] = 0;
        continue;
      }
      long long back = t.lag + static_cast<long long>(k);
      std::int64_t at = back == 0 ? o : ts_find(t, rank - back, panel, now - static_cast<double>(back) * t.delta);
      if (at == 0) return M;
      double v = value_at(t.var, at);
      if (bad(v)) return M;
      a[k] = v;
    }
    size_t used = len;
    for (int d = 0; d < t.diff; ++d, --used)
      for (size_t k = 0; k + 1 < used; ++k) a[k] -= a[k + 1];
    for (long long span : t.seasonal) {
      size_t s = static_cast<size_t>(span);
      for (size_t k = 0; k + s < used; ++k) a[k] -= a[k + s];
      used -= s;
    }
    return a[0];
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
      unary(top, n, fn::float_round);
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
      binary(lv(sp - 1), lv(sp), n, fn::mod);
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
    // ---- statistical and special functions, random numbers (data/functions)
    case F_normal: unary(top, n, fn::normal); break;
    case F_lnnormal: unary(top, n, fn::lnnormal); break;
    case F_invnormal: unary(top, n, fn::invnormal); break;
    case F_lngamma: unary(top, n, fn::lngamma); break;
    case F_digamma: unary(top, n, fn::digamma); break;
    case F_trigamma: unary(top, n, fn::trigamma); break;
    case F_lnfactorial: unary(top, n, fn::lnfactorial); break;
    case F_logit: unary(top, n, fn::logit); break;
    case F_invlogit: unary(top, n, fn::invlogit); break;
    case F_cloglog: unary(top, n, fn::cloglog); break;
    case F_invcloglog: unary(top, n, fn::invcloglog); break;
    case F_chi2:
      --sp;
      binary(lv(sp - 1), lv(sp), n, fn::chi2);
      break;
    case F_chi2tail:
      --sp;
      binary(lv(sp - 1), lv(sp), n, fn::chi2tail);
      break;
    case F_invchi2:
      --sp;
      binary(lv(sp - 1), lv(sp), n, fn::invchi2);
      break;
    case F_invchi2tail:
      --sp;
      binary(lv(sp - 1), lv(sp), n, fn::invchi2tail);
      break;
    case F__chi2_old:
      --sp;
      binary(lv(sp - 1), lv(sp), n, fn::old_chi2);
      break;
    case F__chi2tail_old:
      --sp;
      binary(lv(sp - 1), lv(sp), n, fn::old_chi2tail);
      break;
    case F__invchi2_old:
      --sp;
      binary(lv(sp - 1), lv(sp), n, fn::old_invchi2);
      break;
    case F__invchi2tail_old:
      --sp;
      binary(lv(sp - 1), lv(sp), n, fn::old_invchi2tail);
      break;
    case F_tprob:
      --sp;
      binary(lv(sp - 1), lv(sp), n, fn::tprob);
      break;
    case F_ttail:
      --sp;
      binary(lv(sp - 1), lv(sp), n, fn::ttail);
      break;
    case F_invttail:
      --sp;
      binary(lv(sp - 1), lv(sp), n, fn::invttail);
      break;
    case F_tden:
      --sp;
      binary(lv(sp - 1), lv(sp), n, fn::tden);
      break;
    case F__ttail_old:
      --sp;
      binary(lv(sp - 1), lv(sp), n, fn::old_ttail);
      break;
    case F__invttail_old:
      --sp;
      binary(lv(sp - 1), lv(sp), n, fn::old_invttail);
      break;
    case F_comb:
      --sp;
      binary(lv(sp - 1), lv(sp), n, fn::comb);
      break;
    case F_gammap:
      --sp;
      binary(lv(sp - 1), lv(sp), n, fn::gammap);
      break;
    case F_gammaptail:
      --sp;
      binary(lv(sp - 1), lv(sp), n, fn::gammaptail);
      break;
    case F_invgammap:
      --sp;
      binary(lv(sp - 1), lv(sp), n, fn::invgammap);
      break;
    case F_invgammaptail:
      --sp;
      binary(lv(sp - 1), lv(sp), n, fn::invgammaptail);
      break;
    case F__gammap_old:
      --sp;
      binary(lv(sp - 1), lv(sp), n, fn::old_gammap);
      break;
    case F__invgammap_old:
      --sp;
      binary(lv(sp - 1), lv(sp), n, fn::old_invgammap);
      break;
    case F_dgammapda:
      --sp;
      binary(lv(sp - 1), lv(sp), n, fn::dgammapda);
      break;
    case F_dgammapdx:
      --sp;
      binary(lv(sp - 1), lv(sp), n, fn::dgammapdx);
      break;
    case F_dgammapdada:
      --sp;
      binary(lv(sp - 1), lv(sp), n, fn::dgammapdada);
      break;
    case F_dgammapdadx:
      --sp;
      binary(lv(sp - 1), lv(sp), n, fn::dgammapdadx);
      break;
    case F_dgammapdxdx:
      --sp;
      binary(lv(sp - 1), lv(sp), n, fn::dgammapdxdx);
      break;
    case F_poisson:
      --sp;
      binary(lv(sp - 1), lv(sp), n, fn::poisson);
      break;
    case F_poissontail:
      --sp;
      binary(lv(sp - 1), lv(sp), n, fn::poissontail);
      break;
    case F_poissonp:
      --sp;
      binary(lv(sp - 1), lv(sp), n, fn::poissonp);
      break;
    case F_invpoisson:
      --sp;
      binary(lv(sp - 1), lv(sp), n, fn::invpoisson);
      break;
    case F_invpoissontail:
      --sp;
      binary(lv(sp - 1), lv(sp), n, fn::invpoissontail);
      break;
    case INVT_OLD:
      --sp;
      binary(lv(sp - 1), lv(sp), n, fn::invt_v6);
      break;
    case INVCHI_OLD:
      --sp;
      binary(lv(sp - 1), lv(sp), n, fn::invchi_v6);
      break;
    case F_F:
      sp -= 2;
      fn::apply3(lv(sp - 1), lv(sp), lv(sp + 1), n, fn::F);
      break;
    case F_Ftail:
      sp -= 2;
      fn::apply3(lv(sp - 1), lv(sp), lv(sp + 1), n, fn::Ftail);
      break;
    case F_invF:
      sp -= 2;
      fn::apply3(lv(sp - 1), lv(sp), lv(sp + 1), n, fn::invF);
      break;
    case F_invFtail:
      sp -= 2;
      fn::apply3(lv(sp - 1), lv(sp), lv(sp + 1), n, fn::invFtail);
      break;
    case F_Fden:
      sp -= 2;
      fn::apply3(lv(sp - 1), lv(sp), lv(sp + 1), n, fn::Fden);
      break;
    case F__F_old:
      sp -= 2;
      fn::apply3(lv(sp - 1), lv(sp), lv(sp + 1), n, fn::old_F);
      break;
    case F__Ftail_old:
      sp -= 2;
      fn::apply3(lv(sp - 1), lv(sp), lv(sp + 1), n, fn::old_Ftail);
      break;
    case F__invF_old:
      sp -= 2;
      fn::apply3(lv(sp - 1), lv(sp), lv(sp + 1), n, fn::old_invF);
      break;
    case F__invFtail_old:
      sp -= 2;
      fn::apply3(lv(sp - 1), lv(sp), lv(sp + 1), n, fn::old_invFtail);
      break;
    case F_nchi:
      sp -= 2;
      fn::apply3(lv(sp - 1), lv(sp), lv(sp + 1), n, fn::nchi2);
      break;
    case F_invnchi:
      sp -= 2;
      fn::apply3(lv(sp - 1), lv(sp), lv(sp + 1), n, fn::invnchi2);
      break;
    case F_npnchi:
      sp -= 2;
      fn::apply3(lv(sp - 1), lv(sp), lv(sp + 1), n, fn::npnchi2);
      break;
    case F__invnchi2_old:
      sp -= 2;
      fn::apply3(lv(sp - 1), lv(sp), lv(sp + 1), n, fn::old_invnchi2);
      break;
    case F__npnchi2_old:
      sp -= 2;
      fn::apply3(lv(sp - 1), lv(sp), lv(sp + 1), n, fn::old_npnchi2);
      break;
    case F_binomial:
      sp -= 2;
      fn::apply3(lv(sp - 1), lv(sp), lv(sp + 1), n, fn::binomial);
      break;
    case F_binomialtail:
      sp -= 2;
      fn::apply3(lv(sp - 1), lv(sp), lv(sp + 1), n, fn::binomialtail);
      break;
    case F_binomialp:
      sp -= 2;
      fn::apply3(lv(sp - 1), lv(sp), lv(sp + 1), n, fn::binomialp);
      break;
    case F_invbinomial:
      sp -= 2;
      fn::apply3(lv(sp - 1), lv(sp), lv(sp + 1), n, fn::invbinomial);
      break;
    case F_invbinomialtail:
      sp -= 2;
      fn::apply3(lv(sp - 1), lv(sp), lv(sp + 1), n, fn::invbinomialtail);
      break;
    case F__Binomial_old:
      sp -= 2;
      fn::apply3(lv(sp - 1), lv(sp), lv(sp + 1), n, fn::old_Binomial);
      break;
    case F__invbinomial_old:
      sp -= 2;
      fn::apply3(lv(sp - 1), lv(sp), lv(sp + 1), n, fn::old_invbinomial);
      break;
    case F_binorm:
      sp -= 2;
      fn::apply3(lv(sp - 1), lv(sp), lv(sp + 1), n, fn::binormal);
      break;
    case F_ibeta:
      sp -= 2;
      fn::apply3(lv(sp - 1), lv(sp), lv(sp + 1), n, fn::ibeta);
      break;
    case F_ibetatail:
      sp -= 2;
      fn::apply3(lv(sp - 1), lv(sp), lv(sp + 1), n, fn::ibetatail);
      break;
    case F_invibeta:
      sp -= 2;
      fn::apply3(lv(sp - 1), lv(sp), lv(sp + 1), n, fn::invibeta);
      break;
    case F_invibetatail:
      sp -= 2;
      fn::apply3(lv(sp - 1), lv(sp), lv(sp + 1), n, fn::invibetatail);
      break;
    case F_betaden:
      sp -= 2;
      fn::apply3(lv(sp - 1), lv(sp), lv(sp + 1), n, fn::betaden);
      break;
    case F__ibeta_old:
      sp -= 2;
      fn::apply3(lv(sp - 1), lv(sp), lv(sp + 1), n, fn::old_ibeta);
      break;
    case F__invibeta_old:
      sp -= 2;
      fn::apply3(lv(sp - 1), lv(sp), lv(sp + 1), n, fn::old_invibeta);
      break;
    case F_nbinomial:
      sp -= 2;
      fn::apply3(lv(sp - 1), lv(sp), lv(sp + 1), n, fn::nbinomial);
      break;
    case F_nbinomialtail:
      sp -= 2;
      fn::apply3(lv(sp - 1), lv(sp), lv(sp + 1), n, fn::nbinomialtail);
      break;
    case F_nbinomialp:
      sp -= 2;
      fn::apply3(lv(sp - 1), lv(sp), lv(sp + 1), n, fn::nbinomialp);
      break;
    case F_invnbinomial:
      sp -= 2;
      fn::apply3(lv(sp - 1), lv(sp), lv(sp + 1), n, fn::invnbinomial);
      break;
    case F_invnbinomialtail:
      sp -= 2;
      fn::apply3(lv(sp - 1), lv(sp), lv(sp + 1), n, fn::invnbinomialtail);
      break;
    case F_gammaden:
      sp -= 3;
      fn::apply4(lv(sp - 1), lv(sp), lv(sp + 1), lv(sp + 2), n, fn::gammaden);
      break;
    case F_nbetaden:
      sp -= 3;
      fn::apply4(lv(sp - 1), lv(sp), lv(sp + 1), lv(sp + 2), n, fn::nbetaden);
      break;
    case F_nibeta:
      sp -= 3;
      fn::apply4(lv(sp - 1), lv(sp), lv(sp + 1), lv(sp + 2), n, fn::nibeta);
      break;
    case F_invnibeta:
      sp -= 3;
      fn::apply4(lv(sp - 1), lv(sp), lv(sp + 1), lv(sp + 2), n, fn::invnibeta);
      break;
    case F__invnibeta_old:
      sp -= 3;
      fn::apply4(lv(sp - 1), lv(sp), lv(sp + 1), lv(sp + 2), n, fn::old_invnibeta);
      break;
    case F_nFden:
      sp -= 3;
      fn::apply4(lv(sp - 1), lv(sp), lv(sp + 1), lv(sp + 2), n, fn::nFden);
      break;
    case F_nFtail:
      sp -= 3;
      fn::apply4(lv(sp - 1), lv(sp), lv(sp + 1), lv(sp + 2), n, fn::nFtail);
      break;
    case F_invnFtail:
      sp -= 3;
      fn::apply4(lv(sp - 1), lv(sp), lv(sp + 1), lv(sp + 2), n, fn::invnFtail);
      break;
    case F__invnFtail_old:
      sp -= 3;
      fn::apply4(lv(sp - 1), lv(sp), lv(sp + 1), lv(sp + 2), n, fn::old_invnFtail);
      break;
    case F_hypergeometric:
      sp -= 3;
      fn::apply4(lv(sp - 1), lv(sp), lv(sp + 1), lv(sp + 2), n, fn::hypergeometric);
      break;
    case F__hyp2f1:
      sp -= 3;
      fn::apply4(lv(sp - 1), lv(sp), lv(sp + 1), lv(sp + 2), n, fn::hyp2f1);
      break;
    case D_twithin: {
      sp -= 2;
      double* t = lv(sp - 1);
      const double* a = lv(sp);
      const double* b = lv(sp + 1);
      for (int i = 0; i < n; ++i)
        t[i] = t[i] < M && (!(a[i] < M) || t[i] > a[i]) && t[i] < b[i] ? 1.0 : 0.0;
      break;
    }
    case F_hypergeometricp:
      sp -= 3;
      fn::apply4(lv(sp - 1), lv(sp), lv(sp + 1), lv(sp + 2), n, fn::hypergeometricp);
      break;
    case D_normalden:
    case D_lnnormalden: {
      // One, two or three arguments: z; x and sd; x, mean and sd.
      int k = *pc++;
      bool ln = code == D_lnnormalden;
      sp -= k - 1;
      double* a = lv(sp - 1);
      const double* b = k > 1 ? lv(sp) : nullptr;
      const double* c = k > 2 ? lv(sp + 1) : nullptr;
      for (int i = 0; i < n; ++i) {
        if (k == 1)
          a[i] = ln ? fn::lnnormalden(a[i]) : fn::normalden(a[i]);
        else if (k == 2)
          a[i] = ln ? fn::lnnormalden(a[i], b[i]) : fn::normalden(a[i], b[i]);
        else
          a[i] = ln ? fn::lnnormalden(a[i], b[i], c[i]) : fn::normalden(a[i], b[i], c[i]);
      }
      break;
    }
    case F_replay: {
      // 1 when the calling program was given nothing but options: its
      // command line (the local 0) is empty or begins with a comma.
      const std::string* line = cx_.env ? cx_.env->find_local("0") : nullptr;
      size_t b = line ? line->find_first_not_of(" \t") : std::string::npos;
      double v = b == std::string::npos || (*line)[b] == ',' ? 1.0 : 0.0;
      double* d = lv(sp++);
      for (int i = 0; i < n; ++i) d[i] = v;
      break;
    }
    case F_uniform:
    case F_uniform0: {
      double* d = lv(sp++);
      rng::RandomState& r = *cx_.random;
      for (int i = 0; i < n; ++i) d[i] = code == F_uniform ? r.uniform() : r.uniform0();
      break;
    }
    case D_rnormal: {
      // rnormal(), rnormal(mean), rnormal(mean, sd).
      int k = *pc++;
      rng::RandomState& r = *cx_.random;
      if (k == 0) {
        double* d = lv(sp++);
        for (int i = 0; i < n; ++i) d[i] = rng::rnormal(r);
        break;
      }
      sp -= k - 1;
      double* a = lv(sp - 1);
      for (int i = 0; i < n; ++i) a[i] = rng::rnormal(r, a[i], k == 2 ? lv(sp)[i] : 1.0);
      break;
    }
    case F_rpoisson:
    case F_rt:
    case F_rchi2: {
      rng::RandomState& r = *cx_.random;
      for (int i = 0; i < n; ++i)
        top[i] = code == F_rpoisson ? rng::rpoisson(r, top[i]) : code == F_rt ? rng::rt(r, top[i]) : rng::rchi2(r, top[i]);
      break;
    }
    case F_rbeta:
    case F_rgamma:
    case F_rbinomial:
    case F_rnbinomial: {
      --sp;
      rng::RandomState& r = *cx_.random;
      double* a = lv(sp - 1);
      const double* b = lv(sp);
      for (int i = 0; i < n; ++i) {
        a[i] = code == F_rbeta      ? rng::rbeta(r, a[i], b[i])
               : code == F_rgamma   ? rng::rgamma(r, a[i], b[i])
               : code == F_rbinomial ? rng::rbinomial(r, a[i], b[i])
                                    : rng::rnbinomial(r, a[i], b[i]);
      }
      break;
    }
    case F_rhypergeometric: {
      sp -= 2;
      rng::RandomState& r = *cx_.random;
      double* a = lv(sp - 1);
      for (int i = 0; i < n; ++i) a[i] = rng::rhypergeometric(r, a[i], lv(sp)[i], lv(sp + 1)[i]);
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
            r = (bad(x) || bad(y)) ? M : fn::round_units(x, y);
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
        if (cx_.group_starts) {
          locate(first + i);
          if (cx_.group_first != cx_.sum_group) {
            for (double& s : cx_.sums) s = 0;
            cx_.sum_group = cx_.group_first;
          }
        }
        double& acc = cx_.sums[*pc];
        if (!bad(top[i])) acc += top[i];
        top[i] = acc;
      }
      ++pc;
      break;
    // ---- strings
    // ---- strings, regular expressions, dates and times
    case F_indexnot:
      --sp;
      lv(sp - 1)[0] = static_cast<double>(str_indexnot(T[sp - 1], T[sp]));
      break;
    case F_match:
      --sp;
      lv(sp - 1)[0] = str_match(T[sp - 1], T[sp]) ? 1.0 : 0.0;
      break;
    case F_strsubdp: str_subdp(T[sp - 1]); break;
    case F_fmtwidth: lv(sp - 1)[0] = str_fmtwidth(T[sp - 1]); break;
    case F_regexm: {
      --sp;
      bool found = false;
      RegexStatus st = regex_search(cx_.env->regex_state(), T[sp - 1], T[sp], &found);
      lv(sp - 1)[0] = st != RegexStatus::kOk ? M : found ? 1.0 : 0.0;
      break;
    }
    case F_regexr:
      sp -= 2;
      if (regex_replace(cx_.env->regex_state(), T[sp - 1], T[sp], T[sp + 1], false, &cx_.scratch) == RegexStatus::kOk)
        T[sp - 1].swap(cx_.scratch);
      else
        T[sp - 1].clear();
      break;
    case F_regexs: {
      const double k = lv(sp - 1)[0];
      const RegexMatch& st = cx_.env->regex_state();
      T[sp - 1].clear();
      if (k >= 0 && k <= static_cast<double>(st.groups) && k == std::floor(k) && k < static_cast<double>(st.subs.size()))
        T[sp - 1].assign(st.subs[static_cast<size_t>(k)]);
      break;
    }
    case F_group: {
      // 1 + int(x (_n - 1) / _N): x groups of nearly equal size in order.
      const double big_n = static_cast<double>(cx_.group_last - cx_.group_first + 1);
      for (int i = 0; i < n; ++i) {
        const double x = top[i];
        const double small_n = static_cast<double>(first + i - cx_.group_first + 1);
        top[i] = (bad(x) || x <= 0 || big_n < 1) ? M : 1 + std::floor(x * (small_n - 1) / big_n);
      }
      break;
    }
    case F_clip: {
      sp -= 2;
      double* x = lv(sp - 1);
      const double* lo = lv(sp);
      const double* hi = lv(sp + 1);
      for (int i = 0; i < n; ++i) {
        // A missing bound is no bound.
        const bool has_lo = !bad(lo[i]), has_hi = !bad(hi[i]);
        if (bad(x[i]) || (has_lo && has_hi && lo[i] > hi[i])) {
          x[i] = M;
          continue;
        }
        if (has_lo && x[i] < lo[i]) x[i] = lo[i];
        if (has_hi && x[i] > hi[i]) x[i] = hi[i];
      }
      break;
    }
    case F_chop:
      --sp;
      binary(lv(sp - 1), lv(sp), n, [](double x, double eps) {
        const double r = std::round(x);
        return std::fabs(r - x) < eps ? r : x;
      });
      break;
    case F_autocode: {
      sp -= 3;
      double* x = lv(sp - 1);
      const double* k = lv(sp);
      const double* lo = lv(sp + 1);
      const double* hi = lv(sp + 2);
      for (int i = 0; i < n; ++i) {
        if (bad(x[i]) || bad(lo[i]) || bad(hi[i]) || !(k[i] >= 1 && k[i] <= 0x1p53 && k[i] == std::floor(k[i])) ||
            !(lo[i] < hi[i])) {
          x[i] = M;
          continue;
        }
        // The upper bound of the first of k equal intervals of [lo, hi]
        // that holds x; below lo the first, above hi the last.
        const double width = (hi[i] - lo[i]) / k[i];
        double j = std::ceil((x[i] - lo[i]) / width);
        j = std::clamp(j, 1.0, k[i]);
        while (j > 1 && x[i] <= lo[i] + (j - 1) * width) --j;
        while (j < k[i] && x[i] > lo[i] + j * width) ++j;
        x[i] = j == k[i] ? hi[i] : lo[i] + j * width;
      }
      break;
    }
    case F_mdy:
      sp -= 2;
      lanes3(lv(sp - 1), lv(sp), lv(sp + 1), n, dates::mdy);
      break;
    case F_day: unary(top, n, dates::day); break;
    case F_month: unary(top, n, dates::month); break;
    case F_year: unary(top, n, dates::year); break;
    case F_dow: unary(top, n, dates::dow); break;
    case F_doy: unary(top, n, dates::doy); break;
    case F_week: unary(top, n, dates::week); break;
    case F_quarter: unary(top, n, dates::quarter); break;
    case F_halfyear: unary(top, n, dates::halfyear); break;
    case F_dofy: unary(top, n, dates::dofy); break;
    case F_dofh: unary(top, n, dates::dofh); break;
    case F_dofq: unary(top, n, dates::dofq); break;
    case F_dofm: unary(top, n, dates::dofm); break;
    case F_dofw: unary(top, n, dates::dofw); break;
    case F_dofd: unary(top, n, dates::dofd); break;
    case F_hofd: unary(top, n, dates::hofd); break;
    case F_qofd: unary(top, n, dates::qofd); break;
    case F_mofd: unary(top, n, dates::mofd); break;
    case F_wofd: unary(top, n, dates::wofd); break;
    case F_yw: --sp; binary(lv(sp - 1), lv(sp), n, dates::yw); break;
    case F_ym: --sp; binary(lv(sp - 1), lv(sp), n, dates::ym); break;
    case F_yq: --sp; binary(lv(sp - 1), lv(sp), n, dates::yq); break;
    case F_yh: --sp; binary(lv(sp - 1), lv(sp), n, dates::yh); break;
    case F_cofd: unary(top, n, dates::cofd); break;
    case F_dofc: unary(top, n, dates::dofc); break;
    case F_hh: unary(top, n, dates::hh); break;
    case F_mm: unary(top, n, dates::mm); break;
    case F_ss: unary(top, n, dates::ss); break;
    case F_hours: unary(top, n, dates::hours); break;
    case F_minutes: unary(top, n, dates::minutes); break;
    case F_seconds: unary(top, n, dates::seconds); break;
    case F_msofhours: unary(top, n, dates::msofhours); break;
    case F_msofminutes: unary(top, n, dates::msofminutes); break;
    case F_msofseconds: unary(top, n, dates::msofseconds); break;
    case F_hms:
      sp -= 2;
      lanes3(lv(sp - 1), lv(sp), lv(sp + 1), n, dates::hms);
      break;
    case F_dhms: {
      sp -= 3;
      double* a = lv(sp - 1);
      const double *b = lv(sp), *c = lv(sp + 1), *d = lv(sp + 2);
      for (int i = 0; i < n; ++i) a[i] = dates::dhms(a[i], b[i], c[i], d[i]);
      break;
    }
    case F_mdyhms:
    case F_Cmdyhms: {
      sp -= 5;
      double* a = lv(sp - 1);
      const double *b = lv(sp), *c = lv(sp + 1), *d = lv(sp + 2), *e = lv(sp + 3), *f = lv(sp + 4);
      if (code == F_mdyhms) {
        for (int i = 0; i < n; ++i) a[i] = dates::mdyhms(a[i], b[i], c[i], d[i], e[i], f[i]);
      } else {
        const dates::LeapTable& lt = dates::leap_table();
        for (int i = 0; i < n; ++i) a[i] = dates::Cmdyhms(lt, a[i], b[i], c[i], d[i], e[i], f[i]);
      }
      break;
    }
    case F_Cofd:
    case F_dofC:
    case F_hhC:
    case F_mmC:
    case F_ssC:
    case F_Cofc:
    case F_cofC: {
      const dates::LeapTable& lt = dates::leap_table();
      double (*f)(const dates::LeapTable&, double) =
          code == F_Cofd ? dates::Cofd : code == F_dofC ? dates::dofC : code == F_hhC ? dates::hhC
          : code == F_mmC ? dates::mmC : code == F_ssC ? dates::ssC : code == F_Cofc ? dates::Cofc : dates::cofC;
      for (int i = 0; i < n; ++i) top[i] = bad(top[i]) ? M : f(lt, top[i]);
      break;
    }
    case F_Chms: {
      sp -= 2;
      const dates::LeapTable& lt = dates::leap_table();
      double* a = lv(sp - 1);
      const double *b = lv(sp), *c = lv(sp + 1);
      for (int i = 0; i < n; ++i) a[i] = dates::Chms(lt, a[i], b[i], c[i]);
      break;
    }
    case F_Cdhms: {
      sp -= 3;
      const dates::LeapTable& lt = dates::leap_table();
      double* a = lv(sp - 1);
      const double *b = lv(sp), *c = lv(sp + 1), *d = lv(sp + 2);
      for (int i = 0; i < n; ++i) a[i] = dates::Cdhms(lt, a[i], b[i], c[i], d[i]);
      break;
    }
    case D_date:
    case D_clock:
    case D_Clock:
    case D_yearly:
    case D_halfyearly:
    case D_quarterly:
    case D_monthly:
    case D_weekly: {
      // text, mask, top year (`.` when not given); strings run one
      // observation at a time.
      sp -= 2;
      const char unit = code == D_date ? 'd' : code == D_clock ? 'c' : code == D_Clock ? 'C' : code == D_yearly ? 'y'
                        : code == D_halfyearly ? 'h' : code == D_quarterly ? 'q' : code == D_monthly ? 'm' : 'w';
      lv(sp - 1)[0] = dates::parse(unit, T[sp - 1], T[sp], lv(sp + 1)[0]);
      break;
    }
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
    // ---- by-groups: set by bind() from the running by-prefix
    case F__by:
    case F__bylastcall:
    case F__byindex:
    case F__byn1:
    case F__byn2: {
      int k = code == F__by ? 0 : code == F__bylastcall ? 1 : code == F__byindex ? 2 : code == F__byn1 ? 3 : 4;
      double v = cx_.by_values[k];
      double* d = lv(sp++);
      for (int i = 0; i < n; ++i) d[i] = v;
      break;
    }
    // ---- end of the by-group functions
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

double finish_value(double v) { return rules::finish(v); }

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

void bind(Env& env, const Program& p, EvalContext* cx) {
  data::Dataset& ds = env.data_in_memory();
  cx->prog = &p;
  cx->env = &env;
  cx->ds = &ds;
  cx->rc_value = env.rc_variable();
  cx->random = &env.random_state();
  cx->nobs = ds.nobs();
  cx->cols.clear();
  for (int j : p.vars) {
    // Resolved now, not at compile time: see kEsampleVarRef.
    if (j == kEsampleVarRef) j = ds.esample_var();
    if (j == 0) {
      // Dropped since the compile: every observation reads 0, as e(sample)
      // does with no estimation sample.  Stride 0 keeps every read on the
      // one zero.
      static const double kZero = 0.0;
      data::Column z;
      z.base = const_cast<char*>(reinterpret_cast<const char*>(&kZero));
      z.slot = ds.slot_table();
      z.stride = 0;
      z.type = data::kDouble;
      cx->cols.push_back(z);
      continue;
    }
    cx->cols.push_back(ds.column(j));
  }
  cx->ts_order.clear();
  cx->ts_rank.clear();
  if (!p.ts.empty()) {
    TsDecl decl;
    decl.tvar = p.vars[static_cast<size_t>(p.ts[0].time)];
    decl.pvar = p.ts[0].panel < 0 ? 0 : p.vars[static_cast<size_t>(p.ts[0].panel)];
    bool in_order = false, repeated = false;
    ts_order(ds, decl, &cx->ts_order, &cx->ts_rank, &in_order, &repeated);
    size_t widest = 1;
    for (const TsRead& t : p.ts) widest = std::max(widest, t.coef.size());
    cx->ts_work.assign(widest, 0.0);
  }
  size_t levels = static_cast<size_t>(std::max(p.max_depth, 1)) + 1;
  cx->stack.assign(levels * kBlock, 0.0);
  if (cx->sstack.size() < levels) cx->sstack.resize(levels);
  set_window(cx, 1, cx->nobs, 1, cx->nobs);
  cx->group_starts = nullptr;
  cx->group_count = 0;
  // Under `by`: a command run per group sees that group as its window; a
  // command run once sees every observation, each within its own group.
  const ByState& by = env.by_state();
  const ByLevel* level = by.levels.empty() ? nullptr : &by.levels.back();
  if (by.applied && level) {
    if (level->once) {
      if (level->groups() > 0) {
        cx->group_starts = level->starts.data();
        cx->group_count = level->groups();
        cx->group_first = level->starts[0];
        cx->group_last = level->starts[1] - 1;
        cx->sum_group = cx->group_first;
      }
    } else {
      set_window(cx, by.first, by.last, by.first, by.last);
    }
  }
  double* bv = cx->by_values;
  bv[0] = 0, bv[1] = 1, bv[2] = 1, bv[3] = 1, bv[4] = static_cast<double>(cx->nobs);
  if (level && (by.applied || level->frame == env.program_depth())) {
    bv[0] = 1;
    if (!level->once && level->groups() > 0) {
      bv[1] = level->group + 1 == level->groups() ? 1 : 0;
      bv[2] = static_cast<double>(level->group + 1);
      bv[3] = static_cast<double>(level->starts[level->group]);
      bv[4] = static_cast<double>(level->starts[level->group + 1] - 1);
    }
  }
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
