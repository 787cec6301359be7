// Subscript opcodes: x[k], x[i,j] (missing meaning all), x[|r|], and the
// stores into x[k] and x[i,j].
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <vector>

#include "data/missing.h"
#include "lumo/view.h"
#include "lumo/vm_ops.h"

namespace nuvra::lumo {

namespace {

// Copies element `from` of src into element `to` of dst (the same
// eltype, or a real into a complex).
bool CopyElement(Machine& m, ValueRecord* dst, int64_t to, const ValueRecord* src, int64_t from) {
  if (dst->eltype == kComplex && src->eltype == kReal) {
    double d = reals(src)[from];
    reals(dst)[2 * to] = d;
    reals(dst)[2 * to + 1] = data::is_missing(d) ? d : 0.0;
    return true;
  }
  switch (src->eltype) {
    case kReal: reals(dst)[to] = reals(src)[from]; return true;
    case kComplex:
      reals(dst)[2 * to] = reals(src)[2 * from];
      reals(dst)[2 * to + 1] = reals(src)[2 * from + 1];
      return true;
    case kString: {
      StringRef s = string_of(slots(src)[from]);
      bool ok;
      void* block = m.values().NewString(std::string_view(s.bytes, s.length), &ok);
      if (!ok) {
        m.RaiseAllocation();
        return false;
      }
      std::free(slots(dst)[to]);
      slots(dst)[to] = block;
      return true;
    }
    default: m.values().SetPointer(dst, to, static_cast<ValueRecord*>(slots(src)[from])); return true;
  }
}

// Reads an index vector into 0-based positions below `limit`; a missing
// scalar means every position when `all_ok`.  False after raising 3301.
bool Indices(Machine& m, const ValueRecord* k, int32_t limit, bool all_ok, std::vector<int32_t>* out) {
  if (!m.CheckMatrix(k)) return false;
  if (k->eltype != kReal) {
    m.FoundWhere(k, "real", 3253);
    return false;
  }
  if (!(k->rows == 1 || k->cols == 1) && element_count(k) != 0) {
    m.FoundWhere(k, "vector", 3201);
    return false;
  }
  int64_t n = element_count(k);
  if (all_ok && n == 1 && data::is_missing(reals(k)[0])) {
    out->resize(size_t(limit));
    for (int32_t i = 0; i < limit; ++i) (*out)[size_t(i)] = i;
    return true;
  }
  out->resize(size_t(n));
  for (int64_t i = 0; i < n; ++i) {
    double d = reals(k)[i];
    if (data::is_missing(d) || d < 1 || d >= double(limit) + 1) {
      m.RaiseError(3301, Machine::MessageFor(3301));
      return false;
    }
    (*out)[size_t(i)] = int32_t(d) - 1;
  }
  return true;
}

bool IsVector(const ValueRecord* v) { return v->rows == 1 || v->cols == 1; }

}  // namespace

namespace {

// Makes x able to hold elements of v's eltype: a real x receiving a
// complex value becomes complex (its elements keep their values); a
// complex x takes real values as they are.  Any other difference is a
// type mismatch (3250).  x is untouched on failure.
bool Promote(Machine& m, ValueRecord* x, const ValueRecord* v) {
  if (x->eltype == v->eltype || (x->eltype == kComplex && v->eltype == kReal)) return true;
  if (!(x->eltype == kReal && v->eltype == kComplex)) {
    m.RaiseError(3250, Machine::MessageFor(3250));
    return false;
  }
  ValueRecord* c = m.values().NewValue("", kComplex, x->rows, x->cols);
  if (!c) {
    m.RaiseAllocation();
    return false;
  }
  for (int64_t k = 0; k < element_count(x); ++k) CopyElement(m, c, k, x, k);
  Values::Swap(x, c);
  m.values().Free(c);
  return true;
}

// Stores v into the listed cells of the view x, through the dataset's
// storage rules, all or nothing: every cell is checked first and the host
// stores them together, so a widening refused part way through leaves the
// dataset as it was.
void StoreIntoView(Machine& m, ValueRecord* v, ValueRecord* x, const std::vector<int64_t>& where) {
  const bool one = element_count(v) == 1;
  if (v->eltype != x->eltype) return m.RaiseError(3250, Machine::MessageFor(3250));
  Host& host = m.host();
  if (!FollowViewVars(host, x)) return m.RaiseError(kViewVarDropped, Machine::MessageFor(kViewVarDropped));
  std::vector<int64_t> obs;
  std::vector<int> vars;
  obs.reserve(where.size());
  vars.reserve(where.size());
  for (int64_t k : where) {
    const int32_t i = int32_t(k / x->cols), j = int32_t(k % x->cols);
    if (!ViewCellExists(host, x, i, j)) return m.RaiseError(3300, "view cell no longer in the dataset");
    obs.push_back(ViewObs(x, i));
    vars.push_back(ViewVar(x, j));
  }
  rc_t rc;
  if (x->eltype == kString) {
    std::vector<std::string_view> texts;
    texts.reserve(where.size());
    for (size_t k = 0; k < where.size(); ++k) {
      StringRef s = string_of(slots(v)[one ? 0 : k]);
      texts.emplace_back(s.bytes, s.length);
    }
    rc = host.DataStoreStringCells(obs, vars, texts);
  } else if (one) {
    rc = host.DataStoreCells(obs, vars, std::vector<double>(where.size(), reals(v)[0]).data());
  } else {
    rc = host.DataStoreCells(obs, vars, reals(v));
  }
  if (rc) return m.RaiseError(3598, Machine::MessageFor(3598));
}

// Stores v into the listed elements of x: one value everywhere, or one
// value per element.
void Store(Machine& m, ValueRecord* v, ValueRecord* x, const std::vector<int64_t>& where) {
  if (!m.CheckMatrix(v)) return;
  if (x->kind != kKindValue) return m.RaiseError(3011, Machine::MessageFor(3011));
  int64_t n = element_count(v);
  if (n != 1 && n != int64_t(where.size())) return m.RaiseError(3200, Machine::MessageFor(3200));
  if (where.empty()) return;
  if (x->representation != kArray) return StoreIntoView(m, v, x, where);
  if (!Promote(m, x, v)) return;
  if (v == x) {
    // x[k] = x: the elements are read from a copy, since they are being
    // overwritten.
    ValueRecord* c = m.values().NewValue("", v->eltype, v->rows, v->cols);
    if (!c) return m.RaiseAllocation();
    if (rc_t rc = m.values().Copy(c, v, false)) {
      m.values().Free(c);
      return m.set_status(rc);
    }
    ++c->refcount;
    Store(m, c, x, where);
    m.values().Release(c);
    return;
  }
  for (size_t k = 0; k < where.size(); ++k)
    if (!CopyElement(m, x, where[k], v, n == 1 ? 0 : int64_t(k))) return;
}

// The block a range subscript r names in x, as 1-based first and last
// rows and columns; false after raising the error.
bool RangeOf(Machine& m, const ValueRecord* x, const ValueRecord* s, int32_t* r1, int32_t* c1, int32_t* r2, int32_t* c2) {
  if (!m.CheckMatrix(x) || !m.CheckMatrix(s) || !m.CheckReal(s)) return false;
  auto at = [&](int64_t k, int32_t edge) {
    double d = reals(s)[k];
    return data::is_missing(d) ? edge : int32_t(std::fmin(std::fmax(d, -1), 2147483647.0));
  };
  if (s->rows == 2 && s->cols == 2) {
    *r1 = at(0, 1), *c1 = at(1, 1), *r2 = at(2, x->rows), *c2 = at(3, x->cols);
  } else if (element_count(s) == 2 && IsVector(x)) {
    bool row = x->rows == 1;
    int32_t n = row ? x->cols : x->rows;
    int32_t lo = at(0, 1), hi = at(1, n);
    *r1 = row ? 1 : lo, *r2 = row ? 1 : hi, *c1 = row ? lo : 1, *c2 = row ? hi : 1;
  } else {
    m.RaiseError(3200, Machine::MessageFor(3200));
    return false;
  }
  if (*r1 < 1 || *c1 < 1 || *r2 > x->rows || *c2 > x->cols || *r2 < *r1 || *c2 < *c1) {
    m.RaiseError(3301, Machine::MessageFor(3301));
    return false;
  }
  return true;
}

}  // namespace

// x k -- x[k]
void Ops::op_sub1(Machine& m) {
  ValueRecord* x = m.Top(1);
  ValueRecord* k = m.Top(0);
  if (!m.CheckMatrix(x)) return;
  if (!IsVector(x)) return m.RaiseError(3201, Machine::MessageFor(3201));
  std::vector<int32_t> idx;
  if (!Indices(m, k, int32_t(element_count(x)), false, &idx)) return;
  int32_t n = int32_t(idx.size());
  bool column = x->cols == 1 && x->rows != 1 ? true : (x->rows == 1 && x->cols == 1 ? k->cols == 1 && k->rows != 1 : false);
  ValueRecord* r = m.values().NewValue("", x->eltype, column ? n : 1, column ? 1 : n);
  if (!r) return m.RaiseAllocation();
  m.Push(r);
  for (int32_t i = 0; i < n; ++i)
    if (!CopyElement(m, r, i, x, idx[size_t(i)])) return;
  ++r->refcount;
  m.Pop();
  m.ReplaceTop(2, r);
  --r->refcount;
  pc(m) += 1;
}

// x i j -- x[i,j]
void Ops::op_sub2(Machine& m) {
  ValueRecord* x = m.Top(2);
  if (!m.CheckMatrix(x)) return;
  std::vector<int32_t> ri, ci;
  if (!Indices(m, m.Top(1), x->rows, true, &ri) || !Indices(m, m.Top(0), x->cols, true, &ci)) return;
  ValueRecord* r = m.values().NewValue("", x->eltype, int32_t(ri.size()), int32_t(ci.size()));
  if (!r) return m.RaiseAllocation();
  m.Push(r);
  for (size_t i = 0; i < ri.size(); ++i)
    for (size_t j = 0; j < ci.size(); ++j)
      if (!CopyElement(m, r, int64_t(i) * int64_t(ci.size()) + int64_t(j), x, int64_t(ri[i]) * x->cols + ci[j])) return;
  ++r->refcount;
  m.Pop();
  m.ReplaceTop(3, r);
  --r->refcount;
  pc(m) += 1;
}

// x r -- x[|r|]: r is (first row, first col \ last row, last col), or for
// a vector (first \ last); missing means the edge.
void Ops::op_rangesub(Machine& m) {
  ValueRecord* x = m.Top(1);
  int32_t r1, c1, r2, c2;
  if (!RangeOf(m, x, m.Top(0), &r1, &c1, &r2, &c2)) return;
  ValueRecord* r = m.values().NewValue("", x->eltype, r2 - r1 + 1, c2 - c1 + 1);
  if (!r) return m.RaiseAllocation();
  m.Push(r);
  for (int32_t i = r1; i <= r2; ++i)
    for (int32_t j = c1; j <= c2; ++j)
      if (!CopyElement(m, r, int64_t(i - r1) * r->cols + (j - c1), x, int64_t(i - 1) * x->cols + (j - 1))) return;
  ++r->refcount;
  m.Pop();
  m.ReplaceTop(2, r);
  --r->refcount;
  pc(m) += 1;
}


// v x k -- v : x[k] = v
void Ops::op_store1(Machine& m) {
  ValueRecord* v = m.Top(2);
  ValueRecord* x = m.Top(1);
  if (!m.CheckMatrix(x)) return;
  if (!IsVector(x)) return m.RaiseError(3201, Machine::MessageFor(3201));
  std::vector<int32_t> idx;
  if (!Indices(m, m.Top(0), int32_t(element_count(x)), false, &idx)) return;
  std::vector<int64_t> where(idx.begin(), idx.end());
  Store(m, v, x, where);
  if (m.status()) return;
  m.PopN(2);
  pc(m) += 1;
}

// v x i j -- v : x[i,j] = v
void Ops::op_store2(Machine& m) {
  ValueRecord* v = m.Top(3);
  ValueRecord* x = m.Top(2);
  if (!m.CheckMatrix(x)) return;
  std::vector<int32_t> ri, ci;
  if (!Indices(m, m.Top(1), x->rows, true, &ri) || !Indices(m, m.Top(0), x->cols, true, &ci)) return;
  std::vector<int64_t> where;
  for (int32_t i : ri)
    for (int32_t j : ci) where.push_back(int64_t(i) * x->cols + j);
  if (element_count(v) != 1 && (v->rows != int32_t(ri.size()) || v->cols != int32_t(ci.size())))
    return m.RaiseError(3200, Machine::MessageFor(3200));
  Store(m, v, x, where);
  if (m.status()) return;
  m.PopN(3);
  pc(m) += 1;
}

// v x r -- v : x[|r|] = v.  v is the block's shape, or 1 x 1 for every
// element of the block.
void Ops::op_rangestore(Machine& m) {
  ValueRecord* v = m.Top(2);
  ValueRecord* x = m.Top(1);
  int32_t r1, c1, r2, c2;
  if (!RangeOf(m, x, m.Top(0), &r1, &c1, &r2, &c2)) return;
  if (element_count(v) != 1 && (v->rows != r2 - r1 + 1 || v->cols != c2 - c1 + 1))
    return m.RaiseError(3200, Machine::MessageFor(3200));
  std::vector<int64_t> where;
  where.reserve(size_t(r2 - r1 + 1) * size_t(c2 - c1 + 1));
  for (int32_t i = r1; i <= r2; ++i)
    for (int32_t j = c1; j <= c2; ++j) where.push_back(int64_t(i - 1) * x->cols + (j - 1));
  Store(m, v, x, where);
  if (m.status()) return;
  m.PopN(2);
  pc(m) += 1;
}

// v x -- x : the value is copied into the record the lvalue expression
// left on the stack (the target of a pointer, a structure member).
void Ops::op_assign(Machine& m) {
  ValueRecord* v = m.Top(1);
  ValueRecord* x = m.Top(0);
  if (!m.CheckMatrix(v)) return;
  if (x->kind != kKindValue) return m.RaiseError(3011, Machine::MessageFor(3011));
  if (rc_t rc = m.values().Copy(x, v, true)) return m.set_status(rc);
  m.ReplaceTop(2, x);
  pc(m) += 1;
}

}  // namespace nuvra::lumo
