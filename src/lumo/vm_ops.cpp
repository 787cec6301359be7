// Operator opcodes: arithmetic with the real-scalar fast path and result
// reuse, the colon operators' seven broadcast cases, comparisons and
// logic, the matrix product, power, transpose, ranges and joins.
#include <cblas.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstring>
#include <limits>
#include <string>

#include "data/missing.h"
#include "lumo/missing_scan.h"
#include "lumo/opcodes.h"
#include "lumo/vm_arith.h"
#include "lumo/vm_ops.h"

namespace nuvra::lumo {

namespace {

using data::is_missing;
using data::kMissing;
using cplx = std::complex<double>;

// z = f(x, y) element by element, with Arith's rules for missing values
// and overflow: a missing operand, or a result that is an infinity, NaN
// or at or above the missing values, gives the system missing value.
// The tests are combined without branches so that the loop runs on
// vectors of elements.
template <class F>
void SameShape(const double* x, const double* y, double* z, int64_t n, F f) {
  constexpr double kLowest = -std::numeric_limits<double>::max();
  for (int64_t k = 0; k < n; ++k) {
    double u = x[k], v = y[k];
    double r = f(u, v);
    bool ok = (u < kMissing) & (v < kMissing) & (r < kMissing) & (r >= kLowest);
    z[k] = ok ? r : kMissing;
  }
}

inline bool IsOrdering(int op) { return IsComparison(op) && op != k_eq && op != k_ne && op != k_coloneq && op != k_colonne; }

inline bool CMissing(cplx z) { return is_missing(z.real()) || is_missing(z.imag()); }
inline cplx CArith(int op, cplx a, cplx b) {
  if (CMissing(a) || CMissing(b)) return {kMissing, kMissing};
  cplx r;
  switch (op) {
    case k_add: case k_colonadd: r = a + b; break;
    case k_sub: case k_colonsub: r = a - b; break;
    case k_mul: case k_colonmul: r = a * b; break;
    case k_div: case k_colondiv:
      if (b == cplx(0, 0)) return {kMissing, kMissing};
      r = a / b;
      break;
    case k_pow: case k_colonpow: r = std::pow(a, b); break;
    default: return {kMissing, kMissing};
  }
  if (!std::isfinite(r.real()) || !std::isfinite(r.imag())) return {kMissing, kMissing};
  return r;
}

inline cplx CAt(const ValueRecord* v, int64_t k) {
  if (v->eltype == kComplex) return {reals(v)[2 * k], reals(v)[2 * k + 1]};
  double d = reals(v)[k];
  return {d, is_missing(d) ? kMissing : 0.0};
}

// The pairing of the broadcast cases: for result element (i, j), the
// element of each operand.
struct Pairing {
  int kase;
  int32_t rows, cols;
  int32_t acols, bcols;
  int64_t a(int32_t i, int32_t j) const {
    switch (kase) {
      case 1: case 3: case 4: case 5: return int64_t(i) * cols + j;
      case 2: return 0;
      case 6: return j;
      default: return i;  // 7
    }
  }
  int64_t b(int32_t i, int32_t j) const {
    switch (kase) {
      case 1: case 2: case 6: case 7: return int64_t(i) * cols + j;
      case 3: return 0;
      case 4: return j;
      default: return i;  // 5
    }
  }
};

// The seven cases in order; false when none applies.
bool Broadcast(const ValueRecord* a, const ValueRecord* b, Pairing* p) {
  int32_t r1 = a->rows, c1 = a->cols, r2 = b->rows, c2 = b->cols;
  p->acols = c1;
  p->bcols = c2;
  if (r1 == r2 && c1 == c2) *p = {1, r1, c1, c1, c2};
  else if (r1 == 1 && c1 == 1) *p = {2, r2, c2, c1, c2};
  else if (r2 == 1 && c2 == 1) *p = {3, r1, c1, c1, c2};
  else if (c1 == c2 && r2 == 1) *p = {4, r1, c1, c1, c2};
  else if (r1 == r2 && c2 == 1) *p = {5, r1, c1, c1, c2};
  else if (r1 == 1 && c1 == c2) *p = {6, r2, c2, c1, c2};
  else if (c1 == 1 && r1 == r2) *p = {7, r2, c2, c1, c2};
  else return false;
  return true;
}

// A record for the result: an operand that only the stack holds and that
// already has the result's shape and eltype, else a new temporary.
ValueRecord* ResultFor(Machine& m, ValueRecord* a, ValueRecord* b, int eltype, int32_t rows, int32_t cols) {
  for (ValueRecord* v : {a, b}) {
    if (v && v->refcount == 1 && v->kind == kKindValue && v->representation == kArray && v->eltype == eltype &&
        v->rows == rows && v->cols == cols && !v->name[0])
      return v;
  }
  ValueRecord* r = m.values().NewValue("", eltype, rows, cols);
  if (!r) m.RaiseAllocation();
  return r;
}

bool IsNumeric(const ValueRecord* v) { return v->eltype == kReal || v->eltype == kComplex; }

std::string_view Str(const ValueRecord* v, int64_t k) {
  StringRef s = string_of(slots(v)[k]);
  return {s.bytes, s.length};
}

// Sets string element k of r (freeing what it held).
bool PutString(Machine& m, ValueRecord* r, int64_t k, std::string_view s) {
  bool ok;
  void* block = m.values().NewString(s, &ok);
  if (!ok) {
    m.RaiseAllocation();
    return false;
  }
  std::free(slots(r)[k]);
  slots(r)[k] = block;
  return true;
}

// The element-by-element work of every binary and colon operator once the
// pairing is known.
void Elementwise(Machine& m, int op, ValueRecord* a, ValueRecord* b, const Pairing& p) {
  bool cmp = IsComparison(op), logic = IsLogical(op);
  int64_t n = int64_t(p.rows) * p.cols;
  if (a->eltype == kString || b->eltype == kString) {
    bool both = a->eltype == kString && b->eltype == kString;
    bool concat = both && (op == k_add || op == k_colonadd);
    bool repeat = (op == k_mul || op == k_colonmul) && !both && (a->eltype == kReal || b->eltype == kReal);
    if (!(concat || repeat || (both && cmp))) {
      m.RaiseError(both || !cmp ? 3251 : 3250, Machine::MessageFor(both || !cmp ? 3251 : 3250));
      return;
    }
    ValueRecord* r = m.values().NewValue("", cmp ? kReal : kString, p.rows, p.cols);
    if (!r) return m.RaiseAllocation();
    m.Push(r);  // held while it is filled
    for (int32_t i = 0; i < p.rows; ++i)
      for (int32_t j = 0; j < p.cols; ++j) {
        int64_t k = int64_t(i) * p.cols + j, ia = p.a(i, j), ib = p.b(i, j);
        if (cmp) {
          StringRef x = string_of(slots(a)[ia]), y = string_of(slots(b)[ib]);
          reals(r)[k] = Relation(op, compare_strings(x, y));
        } else if (concat) {
          std::string s(Str(a, ia));
          s += Str(b, ib);
          if (!PutString(m, r, k, s)) return;
        } else {
          const ValueRecord* sv = a->eltype == kString ? a : b;
          double times = a->eltype == kString ? reals(b)[ib] : reals(a)[ia];
          std::string s;
          std::string_view piece = Str(sv, sv == a ? ia : ib);
          if (!is_missing(times) && times >= 1) {
            double bytes = double(piece.size()) * std::floor(times);
            if (bytes > 2147483647.0 || bytes > double(m.values().block_limit)) {
              m.RaiseError(3492, Machine::MessageFor(3492));
              return;
            }
            for (int64_t t = 0; t < int64_t(times); ++t) s += piece;
          }
          if (!PutString(m, r, k, s)) return;
        }
      }
    ++r->refcount;
    m.Pop();
    m.ReplaceTop(2, r);
    --r->refcount;
    if (cmp && n == 1) m.condition = reals(r)[0] != 0;
    return;
  }
  if (a->eltype == kPointer || b->eltype == kPointer) {
    if (a->eltype != b->eltype || !(op == k_eq || op == k_ne || op == k_coloneq || op == k_colonne)) {
      int code = (a->eltype == b->eltype && IsOrdering(op)) ? 3012 : 3257;
      m.RaiseError(code, Machine::MessageFor(code));
      return;
    }
    ValueRecord* r = m.values().NewValue("", kReal, p.rows, p.cols);
    if (!r) return m.RaiseAllocation();
    for (int32_t i = 0; i < p.rows; ++i)
      for (int32_t j = 0; j < p.cols; ++j)
        reals(r)[int64_t(i) * p.cols + j] = Relation(op, slots(a)[p.a(i, j)] == slots(b)[p.b(i, j)] ? 0 : 1);
    m.ReplaceTop(2, r);
    if (n == 1) m.condition = reals(r)[0] != 0;
    return;
  }
  if (!IsNumeric(a) || !IsNumeric(b)) {
    m.RaiseError(3251, Machine::MessageFor(3251));
    return;
  }
  if (a->eltype == kComplex || b->eltype == kComplex) {
    ValueRecord* r = ResultFor(m, nullptr, nullptr, (cmp || logic) ? kReal : kComplex, p.rows, p.cols);
    if (!r) return;
    for (int32_t i = 0; i < p.rows; ++i)
      for (int32_t j = 0; j < p.cols; ++j) {
        int64_t k = int64_t(i) * p.cols + j;
        cplx x = CAt(a, p.a(i, j)), y = CAt(b, p.b(i, j));
        if (cmp) {
          int c = x == y ? 0 : (x.real() != y.real() ? Cmp(x.real(), y.real()) : Cmp(x.imag(), y.imag()));
          reals(r)[k] = Relation(op, c);
        } else if (logic) {
          bool xa = x != cplx(0, 0), yb = y != cplx(0, 0);
          reals(r)[k] = (op == k_and || op == k_colonand) ? (xa && yb) : (xa || yb);
        } else {
          cplx z = CArith(op, x, y);
          reals(r)[2 * k] = z.real();
          reals(r)[2 * k + 1] = z.imag();
        }
      }
    m.ReplaceTop(2, r);
    if ((cmp || logic) && n == 1) m.condition = reals(r)[0] != 0;
    return;
  }
  ValueRecord* r = ResultFor(m, p.kase == 1 || p.kase == 3 || p.kase == 4 || p.kase == 5 ? a : nullptr,
                             p.kase == 1 || p.kase == 2 || p.kase == 6 || p.kase == 7 ? b : nullptr, kReal, p.rows, p.cols);
  if (!r) return;
  const double* x = reals(a);
  const double* y = reals(b);
  double* z = reals(r);
  if (p.kase == 1 && !cmp && !logic) {
    // The operator is chosen once, outside the loop over elements.
    switch (op) {
      case k_add: case k_colonadd: SameShape(x, y, z, n, [](double u, double v) { return u + v; }); break;
      case k_sub: case k_colonsub: SameShape(x, y, z, n, [](double u, double v) { return u - v; }); break;
      case k_mul: case k_colonmul: SameShape(x, y, z, n, [](double u, double v) { return u * v; }); break;
      default:
        for (int64_t k = 0; k < n; ++k) z[k] = Arith(op, x[k], y[k]);
    }
  } else {
    for (int32_t i = 0; i < p.rows; ++i)
      for (int32_t j = 0; j < p.cols; ++j) {
        double u = x[p.a(i, j)], v = y[p.b(i, j)];
        double w;
        if (cmp) w = Relation(op, Cmp(u, v));
        else if (logic) w = (op == k_and || op == k_colonand) ? (u != 0 && v != 0) : (u != 0 || v != 0);
        else w = Arith(op, u, v);
        z[int64_t(i) * p.cols + j] = w;
      }
  }
  m.ReplaceTop(2, r);
  if ((cmp || logic) && n == 1) m.condition = z[0] != 0;
}

// The result scan of a BLAS product takes two elements at a time, as
// AnyMissing does, with the comparisons made exactly as is_missing and
// isfinite make them.
// Overflow in a product of non-missing operands left an infinity, a NaN
// or a value in the missing range: each becomes missing.
void OverflowToMissing(double* w, int64_t n) {
  const Pair top = {kMissing, kMissing}, bottom = {-HUGE_VAL, -HUGE_VAL};
  constexpr int64_t kScanBlock = 512;
  for (int64_t b = 0; b < n; b += kScanBlock) {
    const int64_t e = std::min(n, b + kScanBlock);
    PairMask bad = {0, 0};
    int64_t k = b;
    for (; k + 1 < e; k += 2) {
      Pair v;
      std::memcpy(&v, w + k, sizeof v);
      bad |= ~((v < top) & (v > bottom));
    }
    if (!(bad[0] | bad[1]) && (k == e || (std::isfinite(w[k]) && !is_missing(w[k])))) continue;
    for (k = b; k < e; ++k)
      if (!std::isfinite(w[k]) || is_missing(w[k])) w[k] = kMissing;
  }
}

// Matrix product of a (r x k) and b (k x c).
void Product(Machine& m, ValueRecord* a, ValueRecord* b) {
  if (!IsNumeric(a) || !IsNumeric(b)) {
    m.RaiseError(3251, Machine::MessageFor(3251));
    return;
  }
  int32_t r = a->rows, kk = a->cols, c = b->cols;
  bool complex = a->eltype == kComplex || b->eltype == kComplex;
  ValueRecord* z = m.values().NewValue("", complex ? kComplex : kReal, r, c);
  if (!z) return m.RaiseAllocation();
  int64_t na = element_count(a), nb = element_count(b);
  bool any_missing = AnyMissing(reals(a), na * (a->eltype == kComplex ? 2 : 1)) ||
                     AnyMissing(reals(b), nb * (b->eltype == kComplex ? 2 : 1));
  bool big = int64_t(r) * c * kk >= 4096;
  if (!complex) {
    const double* x = reals(a);
    const double* y = reals(b);
    double* w = reals(z);
    if (kk == 0) {
      std::fill(w, w + int64_t(r) * c, 0.0);
    } else if (big && !any_missing) {
      cblas_dgemm(CblasRowMajor, CblasNoTrans, CblasNoTrans, r, c, kk, 1.0, x, kk, y, c, 0.0, w, c);
    } else {
      for (int32_t i = 0; i < r; ++i)
        for (int32_t j = 0; j < c; ++j) {
          double s = 0;
          bool miss = false;
          for (int32_t t = 0; t < kk; ++t) {
            double u = x[int64_t(i) * kk + t], v = y[int64_t(t) * c + j];
            if (is_missing(u) || is_missing(v)) miss = true;
            s += u * v;
          }
          w[int64_t(i) * c + j] = (miss || !std::isfinite(s)) ? kMissing : s;
        }
    }
    if (!any_missing) OverflowToMissing(w, int64_t(r) * c);
  } else if (big && !any_missing && a->eltype == kComplex && b->eltype == kComplex) {
    const cplx one(1, 0), zero(0, 0);
    cblas_zgemm(CblasRowMajor, CblasNoTrans, CblasNoTrans, r, c, kk, &one, a->data, kk, b->data, c, &zero, z->data, c);
  } else {
    for (int32_t i = 0; i < r; ++i)
      for (int32_t j = 0; j < c; ++j) {
        cplx s(0, 0);
        bool miss = false;
        for (int32_t t = 0; t < kk; ++t) {
          cplx u = CAt(a, int64_t(i) * kk + t), v = CAt(b, int64_t(t) * c + j);
          if (CMissing(u) || CMissing(v)) miss = true;
          s += u * v;
        }
        int64_t k = int64_t(i) * c + j;
        bool bad = miss || !std::isfinite(s.real()) || !std::isfinite(s.imag());
        reals(z)[2 * k] = bad ? kMissing : s.real();
        reals(z)[2 * k + 1] = bad ? kMissing : s.imag();
      }
  }
  m.ReplaceTop(2, z);
}

}  // namespace

void Ops::Binary(Machine& m, int op) {
  ValueRecord* a = m.Top(1);
  ValueRecord* b = m.Top(0);
  if (!m.CheckMatrix(a) || !m.CheckMatrix(b)) return;
  // The real-scalar fast path.
  if (a->eltype == kReal && b->eltype == kReal && a->rows == 1 && a->cols == 1 && b->rows == 1 && b->cols == 1 &&
      a->representation == kArray && b->representation == kArray) {
    double u = reals(a)[0], v = reals(b)[0];
    double w;
    if (IsComparison(op)) {
      w = Relation(op, Cmp(u, v));
      m.condition = w != 0;
    } else if (IsLogical(op)) {
      w = (op == k_and) ? (u != 0 && v != 0) : (u != 0 || v != 0);
      m.condition = w != 0;
    } else {
      w = Arith(op, u, v);
    }
    const int32_t* next = pc(m) + 1;
    if (*next == k_jumpiffalse && (IsComparison(op) || IsLogical(op))) {
      // The condition of an if or a loop: nothing needs the 0 or 1 as a
      // value, so none is made.
      m.PopN(2);
      pc(m) = w != 0 ? next + 2 : base(m) + next[1];
      return;
    }
    if (*next == k_store || *next == k_storepop) {
      // Assignment of the result to a real scalar local: the value goes
      // straight into the local, as the store would have put it there.
      ValueRecord* dst = local(m, next[1]);
      if (dst->kind == kKindValue && dst->representation == kArray && dst->eltype == kReal && dst->rows == 1 &&
          dst->cols == 1) {
        reals(dst)[0] = w;
        if (*next == k_store) m.ReplaceTop(2, dst);
        else m.PopN(2);
        pc(m) = next + 2;
        return;
      }
    }
    ValueRecord* r;
    if (a->refcount == 1 && !a->name[0]) r = a;
    else if (b->refcount == 1 && !b->name[0]) r = b;
    else if (!(r = m.values().NewScalar(w))) return m.RaiseAllocation();
    reals(r)[0] = w;
    m.ReplaceTop(2, r);
    pc(m) += 1;
    return;
  }
  if (m.host().PollBreak()) {
    m.set_status(1);
    return;
  }
  Pairing p{};
  bool scalar_a = a->rows == 1 && a->cols == 1, scalar_b = b->rows == 1 && b->cols == 1;
  switch (op) {
    case k_add:
    case k_sub:
      if (a->rows != b->rows || a->cols != b->cols) return m.set_status(3200);
      Broadcast(a, b, &p);
      break;
    case k_mul:
      if (!scalar_a && !scalar_b) {
        if (a->eltype == kString || b->eltype == kString) return m.set_status(3251);
        if (a->cols != b->rows) return m.set_status(3200);
        Product(m, a, b);
        if (m.status() == 0) pc(m) += 1;
        return;
      }
      Broadcast(a, b, &p);
      break;
    case k_div:
      if (!scalar_a && !scalar_b) return m.set_status(3200);
      Broadcast(a, b, &p);
      break;
    case k_and:
    case k_or:
      if (!scalar_a || !scalar_b) {
        if (a->rows != b->rows || a->cols != b->cols) return m.set_status(3200);
      }
      Broadcast(a, b, &p);
      break;
    default: return m.set_status(3997);
  }
  Elementwise(m, op, a, b, p);
  if (m.status() == 0) pc(m) += 1;
}

void Ops::Colon(Machine& m, int op) {
  ValueRecord* a = m.Top(1);
  ValueRecord* b = m.Top(0);
  if (!m.CheckMatrix(a) || !m.CheckMatrix(b)) return;
  if (m.host().PollBreak()) {
    m.set_status(1);
    return;
  }
  Pairing p{};
  if (!Broadcast(a, b, &p)) return m.set_status(3200);
  Elementwise(m, op, a, b, p);
  if (m.status() == 0) pc(m) += 1;
}

// == and != compare whole values (different shapes are unequal); the
// orderings hold when they hold for every element of conformable values.
void Ops::Compare(Machine& m, int op) {
  ValueRecord* a = m.Top(1);
  ValueRecord* b = m.Top(0);
  if (!m.CheckMatrix(a) || !m.CheckMatrix(b)) return;
  bool scalars = a->rows == 1 && a->cols == 1 && b->rows == 1 && b->cols == 1;
  if (scalars && a->eltype == kReal && b->eltype == kReal) return Binary(m, op);
  if ((a->eltype == kString) != (b->eltype == kString) || (a->eltype == kPointer) != (b->eltype == kPointer)) {
    if (op == k_eq || op == k_ne) {
      ValueRecord* r = m.values().NewScalar(op == k_ne);
      if (!r) return m.RaiseAllocation();
      m.ReplaceTop(2, r);
      m.condition = op == k_ne;
      pc(m) += 1;
      return;
    }
    return m.RaiseError(3250, Machine::MessageFor(3250));
  }
  if (a->eltype == kPointer && IsOrdering(op)) return m.RaiseError(3012, Machine::MessageFor(3012));
  bool result;
  if (a->rows != b->rows || a->cols != b->cols) {
    if (op != k_eq && op != k_ne) return m.set_status(3200);
    result = op == k_ne;
  } else {
    int64_t n = element_count(a);
    bool all = true, any_diff = false;
    for (int64_t k = 0; k < n; ++k) {
      int c;
      if (a->eltype == kString) c = compare_strings(string_of(slots(a)[k]), string_of(slots(b)[k]));
      else if (a->eltype == kPointer) c = slots(a)[k] == slots(b)[k] ? 0 : 1;
      else {
        cplx x = CAt(a, k), y = CAt(b, k);
        c = x == y ? 0 : (x.real() != y.real() ? Cmp(x.real(), y.real()) : Cmp(x.imag(), y.imag()));
      }
      if (c != 0) any_diff = true;
      if (!Relation(op == k_ne ? k_eq : op, c)) all = false;
    }
    result = op == k_ne ? any_diff : all;
  }
  ValueRecord* r = m.values().NewScalar(result);
  if (!r) return m.RaiseAllocation();
  m.ReplaceTop(2, r);
  m.condition = result;
  pc(m) += 1;
}

void Ops::op_add(Machine& m) { Binary(m, k_add); }
void Ops::op_sub(Machine& m) { Binary(m, k_sub); }
void Ops::op_mul(Machine& m) { Binary(m, k_mul); }
void Ops::op_div(Machine& m) { Binary(m, k_div); }
void Ops::op_and(Machine& m) { Binary(m, k_and); }
void Ops::op_or(Machine& m) { Binary(m, k_or); }
void Ops::op_eq(Machine& m) { Compare(m, k_eq); }
void Ops::op_ne(Machine& m) { Compare(m, k_ne); }
void Ops::op_gt(Machine& m) { Compare(m, k_gt); }
void Ops::op_ge(Machine& m) { Compare(m, k_ge); }
void Ops::op_lt(Machine& m) { Compare(m, k_lt); }
void Ops::op_le(Machine& m) { Compare(m, k_le); }
void Ops::op_colonadd(Machine& m) { Colon(m, k_colonadd); }
void Ops::op_colonsub(Machine& m) { Colon(m, k_colonsub); }
void Ops::op_colonmul(Machine& m) { Colon(m, k_colonmul); }
void Ops::op_colondiv(Machine& m) { Colon(m, k_colondiv); }
void Ops::op_colonpow(Machine& m) { Colon(m, k_colonpow); }
void Ops::op_coloneq(Machine& m) { Colon(m, k_coloneq); }
void Ops::op_colonne(Machine& m) { Colon(m, k_colonne); }
void Ops::op_colongt(Machine& m) { Colon(m, k_colongt); }
void Ops::op_colonge(Machine& m) { Colon(m, k_colonge); }
void Ops::op_colonlt(Machine& m) { Colon(m, k_colonlt); }
void Ops::op_colonle(Machine& m) { Colon(m, k_colonle); }
void Ops::op_colonand(Machine& m) { Colon(m, k_colonand); }
void Ops::op_colonor(Machine& m) { Colon(m, k_colonor); }

void Ops::op_neg(Machine& m) {
  ValueRecord* a = m.Top();
  if (!m.CheckMatrix(a) || !m.CheckNumeric(a)) return;
  ValueRecord* r = ResultFor(m, a, nullptr, a->eltype, a->rows, a->cols);
  if (!r) return;
  int64_t n = element_count(a) * (a->eltype == kComplex ? 2 : 1);
  for (int64_t k = 0; k < n; ++k) {
    double d = reals(a)[k];
    reals(r)[k] = is_missing(d) ? d : -d;
  }
  m.ReplaceTop(1, r);
  pc(m) += 1;
}

void Ops::op_not(Machine& m) {
  ValueRecord* a = m.Top();
  if (!m.CheckMatrix(a) || !m.CheckReal(a)) return;
  ValueRecord* r = ResultFor(m, a, nullptr, kReal, a->rows, a->cols);
  if (!r) return;
  for (int64_t k = 0; k < element_count(a); ++k) reals(r)[k] = reals(a)[k] == 0;
  if (element_count(a) == 1) m.condition = reals(r)[0] != 0;
  m.ReplaceTop(1, r);
  pc(m) += 1;
}

void Ops::op_pow(Machine& m) {
  ValueRecord* a = m.Top(1);
  ValueRecord* b = m.Top(0);
  if (!m.CheckMatrix(a) || !m.CheckMatrix(b)) return;
  bool scalar_a = a->rows == 1 && a->cols == 1;
  if (scalar_a || !(b->rows == 1 && b->cols == 1)) {
    if (!scalar_a || !(b->rows == 1 && b->cols == 1)) return m.set_status(3200);
    Pairing p{3, 1, 1, 1, 1};
    Elementwise(m, k_pow, a, b, p);
    if (m.status() == 0) pc(m) += 1;
    return;
  }
  // A square matrix to a whole non-negative power, by repeated products.
  if (a->rows != a->cols) return m.RaiseError(3205, Machine::MessageFor(3205));
  if (!m.CheckReal(a) || !m.CheckReal(b)) return;
  double e = reals(b)[0];
  if (is_missing(e) || e < 0 || e != std::floor(e)) return m.RaiseError(3300, Machine::MessageFor(3300));
  int32_t n = a->rows;
  ValueRecord* r = m.values().NewValue("", kReal, n, n);
  if (!r) return m.RaiseAllocation();
  std::vector<double> acc(size_t(n) * n, 0.0), tmp(size_t(n) * n);
  for (int32_t i = 0; i < n; ++i) acc[size_t(i) * n + i] = 1;
  for (int64_t t = 0; t < int64_t(e); ++t) {
    for (int32_t i = 0; i < n; ++i)
      for (int32_t j = 0; j < n; ++j) {
        double s = 0;
        for (int32_t k = 0; k < n; ++k) s += acc[size_t(i) * n + k] * reals(a)[int64_t(k) * n + j];
        tmp[size_t(i) * n + j] = s;
      }
    acc.swap(tmp);
    if (m.host().PollBreak()) {
      m.values().Free(r);
      return m.set_status(1);
    }
  }
  for (size_t k = 0; k < acc.size(); ++k) reals(r)[k] = std::isfinite(acc[k]) && !is_missing(acc[k]) ? acc[k] : kMissing;
  m.ReplaceTop(2, r);
  pc(m) += 1;
}

void Ops::op_kron(Machine& m) {
  ValueRecord* a = m.Top(1);
  ValueRecord* b = m.Top(0);
  if (!m.CheckMatrix(a) || !m.CheckMatrix(b) || !m.CheckReal(a) || !m.CheckReal(b)) return;
  int64_t rows = int64_t(a->rows) * b->rows, cols = int64_t(a->cols) * b->cols;
  if (rows > INT32_MAX || cols > INT32_MAX) return m.set_status(3900);
  ValueRecord* r = m.values().NewValue("", kReal, int32_t(rows), int32_t(cols));
  if (!r) return m.RaiseAllocation();
  for (int32_t i = 0; i < a->rows; ++i)
    for (int32_t j = 0; j < a->cols; ++j)
      for (int32_t k = 0; k < b->rows; ++k)
        for (int32_t l = 0; l < b->cols; ++l)
          reals(r)[(int64_t(i) * b->rows + k) * cols + int64_t(j) * b->cols + l] =
              Arith(k_mul, reals(a)[int64_t(i) * a->cols + j], reals(b)[int64_t(k) * b->cols + l]);
  m.ReplaceTop(2, r);
  pc(m) += 1;
}

void Ops::op_transpose(Machine& m) {
  ValueRecord* a = m.Top();
  if (!m.CheckMatrix(a)) return;
  ValueRecord* r = m.values().NewValue("", a->eltype, a->cols, a->rows);
  if (!r) return m.RaiseAllocation();
  m.Push(r);
  for (int32_t i = 0; i < a->rows; ++i)
    for (int32_t j = 0; j < a->cols; ++j) {
      int64_t from = int64_t(i) * a->cols + j, to = int64_t(j) * a->rows + i;
      switch (a->eltype) {
        case kReal: reals(r)[to] = reals(a)[from]; break;
        case kComplex: {
          double im = reals(a)[2 * from + 1];
          reals(r)[2 * to] = reals(a)[2 * from];
          reals(r)[2 * to + 1] = is_missing(im) ? im : -im;
          break;
        }
        case kString:
          if (!PutString(m, r, to, Str(a, from))) return;
          break;
        default: m.values().SetPointer(r, to, static_cast<ValueRecord*>(slots(a)[from]));
      }
    }
  ++r->refcount;
  m.Pop();
  m.ReplaceTop(1, r);
  --r->refcount;
  pc(m) += 1;
}

// a..b and a::b: from a to b in steps of 1 (or -1).
static void Range(Machine& m, bool row) {
  ValueRecord* a = m.Top(1);
  ValueRecord* b = m.Top(0);
  if (!m.CheckMatrix(a) || !m.CheckMatrix(b) || !m.CheckReal(a) || !m.CheckReal(b) || !m.CheckScalar(a) ||
      !m.CheckScalar(b))
    return;
  double from = reals(a)[0], to = reals(b)[0];
  if (is_missing(from) || is_missing(to)) return m.RaiseError(3351, Machine::MessageFor(3351));
  double count = std::floor(std::fabs(to - from)) + 1;
  if (count > INT32_MAX) return m.RaiseError(3900, Machine::MessageFor(3900));
  int32_t n = int32_t(count);
  ValueRecord* r = m.values().NewValue("", kReal, row ? 1 : n, row ? n : 1);
  if (!r) return m.RaiseAllocation();
  double step = to >= from ? 1 : -1;
  for (int32_t k = 0; k < n; ++k) reals(r)[k] = from + step * k;
  m.ReplaceTop(2, r);
  Ops::pc(m) += 1;
}
void Ops::op_rowrange(Machine& m) { Range(m, true); }
void Ops::op_colrange(Machine& m) { Range(m, false); }

// (a, b) and (a \ b).  An empty operand with no rows or columns joins as
// nothing.
static void Join(Machine& m, bool side_by_side) {
  ValueRecord* a = m.Top(1);
  ValueRecord* b = m.Top(0);
  if (!m.CheckMatrix(a) || !m.CheckMatrix(b)) return;
  bool a_empty = a->rows == 0 && a->cols == 0, b_empty = b->rows == 0 && b->cols == 0;
  if (a_empty || b_empty) {
    ValueRecord* keep = a_empty ? b : a;
    ValueRecord* r = m.values().NewValue("", keep->eltype, keep->rows, keep->cols);
    if (!r) return m.RaiseAllocation();
    if (rc_t rc = m.values().Copy(r, keep, false)) {
      m.values().Free(r);
      return m.set_status(rc);
    }
    m.ReplaceTop(2, r);
    Ops::pc(m) += 1;
    return;
  }
  int eltype;
  if (a->eltype == b->eltype) eltype = a->eltype;
  else if (IsNumeric(a) && IsNumeric(b)) eltype = kComplex;
  else return m.RaiseError(3250, Machine::MessageFor(3250));
  if (side_by_side ? a->rows != b->rows : a->cols != b->cols) return m.set_status(3200);
  int32_t rows = side_by_side ? a->rows : a->rows + b->rows;
  int32_t cols = side_by_side ? a->cols + b->cols : a->cols;
  ValueRecord* r = m.values().NewValue("", eltype, rows, cols);
  if (!r) return m.RaiseAllocation();
  m.Push(r);
  // By position, not by record: (x, x) joins one record to itself.
  for (int part = 0; part < 2; ++part) {
    ValueRecord* src = part == 0 ? a : b;
    int32_t r0 = side_by_side || part == 0 ? 0 : a->rows;
    int32_t c0 = !side_by_side || part == 0 ? 0 : a->cols;
    for (int32_t i = 0; i < src->rows; ++i)
      for (int32_t j = 0; j < src->cols; ++j) {
        int64_t from = int64_t(i) * src->cols + j, to = int64_t(i + r0) * cols + (j + c0);
        if (eltype == kReal) reals(r)[to] = reals(src)[from];
        else if (eltype == kComplex) {
          cplx z = CAt(src, from);
          reals(r)[2 * to] = z.real();
          reals(r)[2 * to + 1] = z.imag();
        } else if (eltype == kString) {
          if (!PutString(m, r, to, Str(src, from))) return;
        } else {
          m.values().SetPointer(r, to, static_cast<ValueRecord*>(slots(src)[from]));
        }
      }
  }
  ++r->refcount;
  m.Pop();
  m.ReplaceTop(2, r);
  --r->refcount;
  Ops::pc(m) += 1;
}
void Ops::op_coljoin(Machine& m) { Join(m, true); }
void Ops::op_rowjoin(Machine& m) { Join(m, false); }

void Ops::op_deref(Machine& m) {
  ValueRecord* p = m.Top();
  if (!m.CheckMatrix(p)) return;
  if (p->eltype != kPointer) return m.FoundWhere(p, "pointer", 3257);
  if (!m.CheckScalar(p)) return;
  auto* t = static_cast<ValueRecord*>(slots(p)[0]);
  if (!t) return m.RaiseError(3010, Machine::MessageFor(3010));
  m.ReplaceTop(1, t);
  pc(m) += 1;
}

void Ops::op_addr(Machine& m) {
  ValueRecord* x = m.Top();
  ValueRecord* p = m.values().NewValue("", kPointer, 1, 1);
  if (!p) return m.RaiseAllocation();
  m.values().SetPointer(p, 0, x);
  m.ReplaceTop(1, p);
  pc(m) += 1;
}

void Ops::Increment(Machine& m, double delta, bool post) {
  ValueRecord* x = m.Top();
  if (!m.CheckMatrix(x)) return;
  if (x->representation != kArray) return m.RaiseError(3103, Machine::MessageFor(3103));
  if (x->eltype != kReal) return m.RaiseError(3253, Machine::MessageFor(3253));
  if (!m.CheckScalar(x)) return;
  double old = reals(x)[0];
  if (!is_missing(old)) reals(x)[0] = old + delta;
  if (post) {
    ValueRecord* r = m.values().NewScalar(old);
    if (!r) return m.RaiseAllocation();
    m.ReplaceTop(1, r);
  }
  pc(m) += 1;
}
void Ops::op_preinc(Machine& m) { Increment(m, 1, false); }
void Ops::op_predec(Machine& m) { Increment(m, -1, false); }
void Ops::op_postinc(Machine& m) { Increment(m, 1, true); }
void Ops::op_postdec(Machine& m) { Increment(m, -1, true); }

}  // namespace nuvra::lumo
