// Numeric helpers.  Those that change their argument work on it in place
// and return nothing; string and pointer elements move with their cells,
// so no string is copied and no reference count changes.
#include "lumo/builtins_helpers.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <utility>
#include <vector>

#include "data/missing.h"
#include "lumo/builtin_args.h"

namespace nuvra::lumo {

namespace {

using data::is_missing;
using data::kMissing;

// The shapes and eltypes an in-place edit can take apart element by
// element.
bool Editable(Machine& m, const ValueRecord* v) {
  if (!m.CheckMatrix(v)) return false;
  if (v->eltype == kStruct) return BiFail(m, 3250);
  return true;
}

// Transposes v in place; conjugates complex elements when asked.
void Transpose(ValueRecord* v, bool conjugate) {
  size_t w = element_width(v->eltype);
  int32_t r = v->rows, c = v->cols;
  auto* bytes = static_cast<char*>(v->data);
  if (r > 1 && c > 1) {
    std::vector<char> copy(bytes, bytes + size_t(element_count(v)) * w);
    for (int32_t i = 0; i < r; ++i)
      for (int32_t j = 0; j < c; ++j)
        std::memcpy(bytes + (size_t(j) * r + i) * w, copy.data() + (size_t(i) * c + j) * w, w);
  }
  v->rows = c;
  v->cols = r;
  if (conjugate && v->eltype == kComplex)
    for (int64_t k = 0; k < element_count(v); ++k) {
      double& im = reals(v)[2 * k + 1];
      if (!is_missing(im)) im = -im;
    }
}

void TransposeBuiltin(Machine& m, int n, bool conjugate) {
  ValueRecord* v = BiArg(m, n, 0);
  if (!Editable(m, v)) return;
  Transpose(v, conjugate);
  BiReturnVoid(m, n);
}

// Whether element k of v is missing: `.` to `.z`, a complex number with a
// missing part, "" or a null pointer.
bool ElementMissing(const ValueRecord* v, int64_t k) {
  switch (v->eltype) {
    case kReal: return is_missing(reals(v)[k]);
    case kComplex: return is_missing(reals(v)[2 * k]) || is_missing(reals(v)[2 * k + 1]);
    case kString: return string_of(slots(v)[k]).length == 0;
    default: return slots(v)[k] == nullptr;
  }
}

// Whether element k of a equals element 0 of b (of one eltype).
bool SameElement(const ValueRecord* a, int64_t k, const ValueRecord* b) {
  switch (a->eltype) {
    case kReal: return reals(a)[k] == reals(b)[0];
    case kComplex: return reals(a)[2 * k] == reals(b)[0] && reals(a)[2 * k + 1] == reals(b)[1];
    case kString: return compare_strings(string_of(slots(a)[k]), string_of(slots(b)[0])) == 0;
    default: return slots(a)[k] == slots(b)[0];
  }
}

// Element k of a becomes element 0 of b (of one eltype); false when a
// string cannot be had.
bool SetElement(Machine& m, ValueRecord* a, int64_t k, const ValueRecord* b) {
  switch (a->eltype) {
    case kReal: reals(a)[k] = reals(b)[0]; return true;
    case kComplex:
      reals(a)[2 * k] = reals(b)[0];
      reals(a)[2 * k + 1] = reals(b)[1];
      return true;
    case kString: {
      StringRef s = string_of(slots(b)[0]);
      bool ok;
      void* block = m.values().NewString(std::string_view(s.bytes, s.length), &ok);
      if (!ok) {
        m.RaiseAllocation();
        return false;
      }
      std::free(slots(a)[k]);
      slots(a)[k] = block;
      return true;
    }
    default: m.values().SetPointer(a, k, static_cast<ValueRecord*>(slots(b)[0])); return true;
  }
}

// Replaces, in place, the elements of a for which pick(k) holds by the
// scalar b (of a's eltype, or real into complex).
template <class Pick>
void Replace(Machine& m, int n, ValueRecord* a, ValueRecord* b, Pick pick) {
  ValueRecord* with = b;
  ValueRecord* promoted = nullptr;
  if (a->eltype == kComplex && b->eltype == kReal) {
    promoted = m.values().NewValue("", kComplex, 1, 1);
    if (!promoted) return m.RaiseAllocation();
    reals(promoted)[0] = reals(b)[0];
    reals(promoted)[1] = 0;
    with = promoted;
  } else if (a->eltype != b->eltype) {
    return (void)BiFail(m, 3250);
  }
  bool ok = true;
  for (int64_t k = 0; k < element_count(a) && ok; ++k)
    if (pick(k)) ok = SetElement(m, a, k, with);
  if (promoted) m.values().Free(promoted);
  if (ok) BiReturnVoid(m, n);
}

}  // namespace

void BiTransposeInPlace(Machine& m, int n) { TransposeBuiltin(m, n, true); }
void BiTransposeonlyInPlace(Machine& m, int n) { TransposeBuiltin(m, n, false); }

// swap(A, B): A and B exchange contents.
void BiSwap(Machine& m, int n) {
  ValueRecord *a = BiArg(m, n, 0), *b = BiArg(m, n, 1);
  if (!m.CheckMatrix(a) || !m.CheckMatrix(b)) return;
  if (a != b) {
    Values::Swap(a, b);
    std::swap(a->structdef, b->structdef);
  }
  BiReturnVoid(m, n);
}

// _editmissing(A, v): the missing elements of A become v.
void BiEditmissing(Machine& m, int n) {
  ValueRecord *a = BiArg(m, n, 0), *v = BiArg(m, n, 1);
  if (!Editable(m, a) || !m.CheckMatrix(v) || !m.CheckScalar(v)) return;
  Replace(m, n, a, v, [a](int64_t k) { return ElementMissing(a, k); });
}

// _editvalue(A, from, to): the elements of A equal to from become to.
void BiEditvalue(Machine& m, int n) {
  ValueRecord *a = BiArg(m, n, 0), *from = BiArg(m, n, 1), *to = BiArg(m, n, 2);
  if (!Editable(m, a) || !m.CheckMatrix(from) || !m.CheckScalar(from) || !m.CheckMatrix(to) || !m.CheckScalar(to))
    return;
  if (from->eltype != a->eltype && !(a->eltype == kComplex && from->eltype == kReal)) return (void)BiFail(m, 3250);
  std::vector<char> hit(size_t(element_count(a)));
  for (int64_t k = 0; k < element_count(a); ++k)
    hit[size_t(k)] = a->eltype == kComplex && from->eltype == kReal
                         ? reals(a)[2 * k] == reals(from)[0] && reals(a)[2 * k + 1] == 0
                         : SameElement(a, k, from);
  Replace(m, n, a, to, [&hit](int64_t k) { return hit[size_t(k)] != 0; });
}

// _replacevalues(A, from, to): every element of A equal to from[k] (the
// first k that matches) becomes to[k]; A is real or string, from and to
// vectors of its eltype and of one length.  New strings are all made
// before A changes.
void BiReplacevalues(Machine& m, int n) {
  ValueRecord *a = BiArg(m, n, 0), *from = BiArg(m, n, 1), *to = BiArg(m, n, 2);
  if (!Editable(m, a) || !m.CheckMatrix(from) || !m.CheckMatrix(to)) return;
  if (a->eltype != kReal && a->eltype != kString) return m.FoundWhere(a, "real or string", 3255);
  if (from->eltype != a->eltype || to->eltype != a->eltype) return (void)BiFail(m, 3250);
  const int64_t pairs = element_count(from), count = element_count(a);
  if (pairs != element_count(to)) return (void)BiFail(m, 3200);
  if (pairs > 1 && (!m.CheckVector(from) || !m.CheckVector(to))) return;
  const bool text = a->eltype == kString;
  auto same = [&](int64_t k, int64_t j) {
    return text ? compare_strings(string_of(slots(a)[k]), string_of(slots(from)[j])) == 0
                : reals(a)[k] == reals(from)[j];
  };
  std::vector<int64_t> hit;
  std::vector<void*> made;
  for (int64_t k = 0; k < count; ++k)
    for (int64_t j = 0; j < pairs; ++j) {
      if (!same(k, j)) continue;
      hit.push_back(k);
      if (!text) {
        made.push_back(nullptr);
        reals(a)[k] = reals(to)[j];  // numbers cannot fail: written at once
        break;
      }
      StringRef s = string_of(slots(to)[j]);
      bool ok;
      made.push_back(m.values().NewString(std::string_view(s.bytes, s.length), &ok));
      if (!ok) {
        for (void* p : made) std::free(p);
        return m.RaiseAllocation();
      }
      break;
    }
  if (text)
    for (size_t h = 0; h < hit.size(); ++h) {
      std::free(slots(a)[hit[h]]);
      slots(a)[hit[h]] = made[h];
    }
  BiReturnVoid(m, n);
}

// _fillmissing(A): every element of A becomes missing.
void BiFillmissing(Machine& m, int n) {
  ValueRecord* a = BiArg(m, n, 0);
  if (!Editable(m, a)) return;
  if (m.values().Reshape(a, a->eltype, a->rows, a->cols)) return m.RaiseAllocation();
  if (a->eltype == kReal || a->eltype == kComplex) {
    int64_t parts = element_count(a) * (a->eltype == kComplex ? 2 : 1);
    for (int64_t k = 0; k < parts; ++k) reals(a)[k] = kMissing;
  }
  BiReturnVoid(m, n);
}

// missingof(A): the missing value of A's eltype: `.`, C(.), "" or NULL.
void BiMissingof(Machine& m, int n) {
  ValueRecord* a = BiArg(m, n, 0);
  if (!Editable(m, a)) return;
  int el = a->eltype == kUnknown ? int(kReal) : int(a->eltype);
  ValueRecord* r = m.values().NewValue("", el, 1, 1);
  if (!r) return m.RaiseAllocation();
  if (el == kReal) reals(r)[0] = kMissing;
  if (el == kComplex) reals(r)[0] = reals(r)[1] = kMissing;
  BiReturn(m, n, r);
}

// isrealvalues(A): whether A is real, or complex with no imaginary part.
void BiIsrealvalues(Machine& m, int n) {
  ValueRecord* a = BiArg(m, n, 0);
  if (!BiNumeric(m, a)) return;
  bool real = true;
  if (a->eltype == kComplex)
    for (int64_t k = 0; k < element_count(a) && real; ++k) real = reals(a)[2 * k + 1] == 0;
  BiReturn(m, n, m.values().NewScalar(real));
}

// issymmetriconly(A): whether A equals its transpose, without conjugation.
void BiIssymmetriconly(Machine& m, int n) {
  ValueRecord* a = BiArg(m, n, 0);
  if (!m.CheckMatrix(a)) return;
  bool sym = a->rows == a->cols && a->eltype != kStruct;
  for (int32_t i = 0; i < a->rows && sym; ++i)
    for (int32_t j = i + 1; j < a->cols && sym; ++j) {
      int64_t up = int64_t(i) * a->cols + j, lo = int64_t(j) * a->cols + i;
      switch (a->eltype) {
        case kReal: sym = reals(a)[up] == reals(a)[lo]; break;
        case kComplex: sym = reals(a)[2 * up] == reals(a)[2 * lo] && reals(a)[2 * up + 1] == reals(a)[2 * lo + 1]; break;
        case kString: sym = compare_strings(string_of(slots(a)[up]), string_of(slots(a)[lo])) == 0; break;
        default: sym = slots(a)[up] == slots(a)[lo];
      }
    }
  BiReturn(m, n, m.values().NewScalar(sym));
}

// orgtype(A): "scalar", "rowvector", "colvector" or "matrix".
void BiOrgtype(Machine& m, int n) {
  ValueRecord* a = BiArg(m, n, 0);
  if (!m.CheckMatrix(a)) return;
  std::string_view org = a->rows == 1 && a->cols == 1 ? "scalar"
                         : a->rows == 1               ? "rowvector"
                         : a->cols == 1               ? "colvector"
                                                      : "matrix";
  BiReturnString(m, n, org);
}

// _vec_u(A): the columns of a real A stacked into one column;
// _vech_u(A): the same of the lower triangle of a square A.
void BiVec(Machine& m, int n) {
  ValueRecord* a = BiArg(m, n, 0);
  if (!m.CheckMatrix(a) || !m.CheckReal(a)) return;
  ValueRecord* r = m.values().NewValue("", kReal, int32_t(element_count(a)), 1);
  if (!r) return m.RaiseAllocation();
  int64_t k = 0;
  for (int32_t j = 0; j < a->cols; ++j)
    for (int32_t i = 0; i < a->rows; ++i) reals(r)[k++] = reals(a)[int64_t(i) * a->cols + j];
  BiReturn(m, n, r);
}
void BiVech(Machine& m, int n) {
  ValueRecord* a = BiArg(m, n, 0);
  if (!m.CheckMatrix(a) || !m.CheckReal(a)) return;
  if (a->rows != a->cols) return m.FoundWhere(a, "square matrix", 3205);
  int64_t d = a->rows;
  ValueRecord* r = m.values().NewValue("", kReal, int32_t(d * (d + 1) / 2), 1);
  if (!r) return m.RaiseAllocation();
  int64_t k = 0;
  for (int64_t j = 0; j < d; ++j)
    for (int64_t i = j; i < d; ++i) reals(r)[k++] = reals(a)[i * d + j];
  BiReturn(m, n, r);
}

namespace {

// The order n of the duplication, elimination and commutation matrices:
// a nonnegative whole number.
bool Order(Machine& m, int n, int64_t* order) {
  double d;
  if (!BiRealScalar(m, BiArg(m, n, 0), &d)) return false;
  if (!(d >= 0 && d == std::floor(d) && d <= 46340)) return BiFail(m, 3300);
  *order = int64_t(d);
  return true;
}

// A new rows x cols matrix of zeros, or null after raising the error.
ValueRecord* Zeros(Machine& m, int64_t rows, int64_t cols) {
  if (rows > INT32_MAX || cols > INT32_MAX) {
    BiFail(m, 3900);
    return nullptr;
  }
  ValueRecord* r = m.values().NewValue("", kReal, int32_t(rows), int32_t(cols));
  if (!r) {
    m.RaiseAllocation();
    return nullptr;
  }
  std::fill(reals(r), reals(r) + element_count(r), 0.0);
  return r;
}

// Where element (i, j) of an order-n matrix sits in vec (column by
// column) and, for i >= j, in vech (the lower triangle column by column);
// all 0-based.
int64_t VecIndex(int64_t n, int64_t i, int64_t j) { return j * n + i; }
int64_t VechIndex(int64_t n, int64_t i, int64_t j) { return j * n - j * (j - 1) / 2 + (i - j); }

}  // namespace

// _dmatrix_u(n): D with vec(S) = D vech(S) for every symmetric S.
void BiDmatrix(Machine& m, int n) {
  int64_t d;
  if (!Order(m, n, &d)) return;
  ValueRecord* r = Zeros(m, d * d, d * (d + 1) / 2);
  if (!r) return;
  for (int64_t j = 0; j < d; ++j)
    for (int64_t i = 0; i < d; ++i)
      reals(r)[VecIndex(d, i, j) * r->cols + VechIndex(d, std::max(i, j), std::min(i, j))] = 1;
  BiReturn(m, n, r);
}

// _lmatrix_u(n): L with vech(A) = L vec(A) for every A.
void BiLmatrix(Machine& m, int n) {
  int64_t d;
  if (!Order(m, n, &d)) return;
  ValueRecord* r = Zeros(m, d * (d + 1) / 2, d * d);
  if (!r) return;
  for (int64_t j = 0; j < d; ++j)
    for (int64_t i = j; i < d; ++i) reals(r)[VechIndex(d, i, j) * r->cols + VecIndex(d, i, j)] = 1;
  BiReturn(m, n, r);
}

// _kmatrix_u(n): K with vec(A') = K vec(A) for every n x n A.
void BiKmatrix(Machine& m, int n) {
  int64_t d;
  if (!Order(m, n, &d)) return;
  ValueRecord* r = Zeros(m, d * d, d * d);
  if (!r) return;
  for (int64_t j = 0; j < d; ++j)
    for (int64_t i = 0; i < d; ++i) reals(r)[VecIndex(d, j, i) * r->cols + VecIndex(d, i, j)] = 1;
  BiReturn(m, n, r);
}

}  // namespace nuvra::lumo
