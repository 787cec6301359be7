// Decompositions through LAPACK.  Matrices are copied out of their value
// records into row-major work arrays, factored there, and the results
// stored into the output arguments only once every step has succeeded, so
// a failure leaves every argument as it was.  A matrix holding missing
// values has no decomposition: its results are missing.
#include "lumo/builtins_linalg.h"

#include <algorithm>
#include <complex>
#include <cstring>
#include <limits>
#include <vector>

#include <lapacke.h>

#include "data/missing.h"
#include "lumo/builtin_args.h"

namespace nuvra::lumo {

namespace {

using cplx = std::complex<double>;
using data::is_missing;
using data::kMissing;

// std::complex<double> has the layout of LAPACK's complex type.
lapack_complex_double* Z(cplx* p) { return reinterpret_cast<lapack_complex_double*>(p); }
const lapack_complex_double* Z(const cplx* p) { return reinterpret_cast<const lapack_complex_double*>(p); }

// ---- the LAPACK routines by element type
lapack_int potrf(int n, double* a) { return LAPACKE_dpotrf(LAPACK_ROW_MAJOR, 'L', n, a, n); }
lapack_int potrf(int n, cplx* a) { return LAPACKE_zpotrf(LAPACK_ROW_MAJOR, 'L', n, Z(a), n); }
lapack_int getrf(int r, int c, double* a, lapack_int* ipiv) { return LAPACKE_dgetrf(LAPACK_ROW_MAJOR, r, c, a, c, ipiv); }
lapack_int getrf(int r, int c, cplx* a, lapack_int* ipiv) { return LAPACKE_zgetrf(LAPACK_ROW_MAJOR, r, c, Z(a), c, ipiv); }
lapack_int getrs(int n, int k, const double* a, const lapack_int* ipiv, double* b) {
  return LAPACKE_dgetrs(LAPACK_ROW_MAJOR, 'N', n, k, a, n, ipiv, b, k);
}
lapack_int getrs(int n, int k, const cplx* a, const lapack_int* ipiv, cplx* b) {
  return LAPACKE_zgetrs(LAPACK_ROW_MAJOR, 'N', n, k, Z(a), n, ipiv, Z(b), k);
}
lapack_int getri(int n, double* a, const lapack_int* ipiv) { return LAPACKE_dgetri(LAPACK_ROW_MAJOR, n, a, n, ipiv); }
lapack_int getri(int n, cplx* a, const lapack_int* ipiv) { return LAPACKE_zgetri(LAPACK_ROW_MAJOR, n, Z(a), n, ipiv); }
lapack_int geqrf(int r, int c, double* a, double* tau) { return LAPACKE_dgeqrf(LAPACK_ROW_MAJOR, r, c, a, c, tau); }
lapack_int geqrf(int r, int c, cplx* a, cplx* tau) { return LAPACKE_zgeqrf(LAPACK_ROW_MAJOR, r, c, Z(a), c, Z(tau)); }
lapack_int orgqr(int r, int c, int k, double* a, const double* tau) {
  return LAPACKE_dorgqr(LAPACK_ROW_MAJOR, r, c, k, a, c, tau);
}
lapack_int orgqr(int r, int c, int k, cplx* a, const cplx* tau) {
  return LAPACKE_zungqr(LAPACK_ROW_MAJOR, r, c, k, Z(a), c, Z(tau));
}
lapack_int ormqr(bool trans, int r, int c, int k, const double* h, int hc, const double* tau, double* x) {
  return LAPACKE_dormqr(LAPACK_ROW_MAJOR, 'L', trans ? 'T' : 'N', r, c, k, h, hc, tau, x, c);
}
lapack_int ormqr(bool trans, int r, int c, int k, const cplx* h, int hc, const cplx* tau, cplx* x) {
  return LAPACKE_zunmqr(LAPACK_ROW_MAJOR, 'L', trans ? 'C' : 'N', r, c, k, Z(h), hc, Z(tau), Z(x), c);
}
lapack_int gesvd(bool vectors, int r, int c, double* a, double* s, double* u, double* vt, double* superb) {
  int k = std::min(r, c);
  char job = vectors ? 'S' : 'N';
  return LAPACKE_dgesvd(LAPACK_ROW_MAJOR, job, job, r, c, a, c, s, u, std::max(k, 1), vt, std::max(c, 1), superb);
}
lapack_int gesvd(bool vectors, int r, int c, cplx* a, double* s, cplx* u, cplx* vt, double* superb) {
  int k = std::min(r, c);
  char job = vectors ? 'S' : 'N';
  return LAPACKE_zgesvd(LAPACK_ROW_MAJOR, job, job, r, c, Z(a), c, s, Z(u), std::max(k, 1), Z(vt), std::max(c, 1), superb);
}
lapack_int syevx(int n, double* a, double* w, double* z, lapack_int* found, lapack_int* ifail) {
  return LAPACKE_dsyevx(LAPACK_ROW_MAJOR, 'V', 'A', 'L', n, a, n, 0, 0, 0, 0, 0.0, found, w, z, n, ifail);
}
lapack_int syevx(int n, cplx* a, double* w, cplx* z, lapack_int* found, lapack_int* ifail) {
  return LAPACKE_zheevx(LAPACK_ROW_MAJOR, 'V', 'A', 'L', n, Z(a), n, 0, 0, 0, 0, 0.0, found, w, Z(z), n, ifail);
}

// ---- moving matrices between value records and work arrays

template <class T>
constexpr int kEl = std::is_same_v<T, double> ? kReal : kComplex;

template <class T>
std::vector<T> Elements(const ValueRecord* v) {
  std::vector<T> out(static_cast<size_t>(element_count(v)));
  if (!out.empty()) std::memcpy(out.data(), v->data, out.size() * sizeof(T));
  return out;
}

bool HasMissing(const ValueRecord* v) {
  int64_t count = element_count(v) * (v->eltype == kComplex ? 2 : 1);
  for (int64_t k = 0; k < count; ++k)
    if (is_missing(reals(v)[k])) return true;
  return false;
}

template <class T>
T Missing() {
  if constexpr (std::is_same_v<T, double>) return kMissing;
  else return cplx(kMissing, kMissing);
}

// The results of a built-in, made as new records and moved into the
// output arguments together at the end.
class Outputs {
 public:
  explicit Outputs(Machine& m) : m_(m) {}
  ~Outputs() {
    for (ValueRecord* r : made_) m_.values().Free(r);
  }
  // A new record of that shape holding data (size rows*cols), or missing
  // values when data is null; false after raising 3900.
  template <class T>
  bool Add(ValueRecord* target, int32_t rows, int32_t cols, const T* data) {
    ValueRecord* r = m_.values().NewValue("", kEl<T>, rows, cols);
    if (!r) {
      m_.RaiseAllocation();
      return false;
    }
    made_.push_back(r);
    targets_.push_back(target);
    auto* out = static_cast<T*>(r->data);
    for (int64_t k = 0; k < int64_t(rows) * cols; ++k) out[k] = data ? data[k] : Missing<T>();
    return true;
  }
  // Hands every result to its target.
  void Commit() {
    for (size_t k = 0; k < made_.size(); ++k) Values::Swap(targets_[k], made_[k]);
  }

 private:
  Machine& m_;
  std::vector<ValueRecord*> made_, targets_;
};

// Raises 3930 for a LAPACK call that reported an illegal argument.
bool Lapack(Machine& m, lapack_int info) {
  if (info >= 0) return true;
  m.RaiseError(3930, Machine::MessageFor(3930));
  return false;
}

bool Square(Machine& m, const ValueRecord* a) {
  if (a->rows == a->cols) return true;
  m.FoundWhere(a, "square matrix", 3205);
  return false;
}

// ---- _cholesky(A): A becomes the lower-triangular L with A = LL' (LL^H
// for a complex A); the upper triangle of A is not read.  A matrix that is
// not positive definite, or holds missing values, becomes missing.
template <class T>
void Cholesky(Machine& m, int n, ValueRecord* a) {
  int k = a->rows;
  std::vector<T> w = Elements<T>(a);
  bool ok = !HasMissing(a);
  if (ok && k > 0) {
    lapack_int info = potrf(k, w.data());
    if (!Lapack(m, info)) return;
    ok = info == 0;
  }
  for (int i = 0; i < k; ++i)
    for (int j = i + 1; j < k; ++j) w[size_t(i) * k + j] = T(0);
  Outputs out(m);
  if (!out.Add<T>(a, k, k, ok ? w.data() : nullptr)) return;
  out.Commit();
  BiReturnVoid(m, n);
}

// ---- LU with partial pivoting: A[p,.] = L*U.

// The row order that LAPACK's interchanges amount to, counted from 1.
std::vector<double> Permutation(int rows, const std::vector<lapack_int>& ipiv) {
  std::vector<double> p(static_cast<size_t>(rows));
  for (int i = 0; i < rows; ++i) p[size_t(i)] = i + 1;
  for (size_t i = 0; i < ipiv.size(); ++i) std::swap(p[i], p[size_t(ipiv[i] - 1)]);
  return p;
}

// _lud2_la(A, L, U, p): L is rows x k unit lower triangular, U k x cols
// upper triangular (k the smaller dimension), p the row order as a
// column vector; A itself is left alone.
template <class T>
void Lud2(Machine& m, int n, ValueRecord* a, ValueRecord* lo, ValueRecord* up, ValueRecord* p) {
  int r = a->rows, c = a->cols, k = std::min(r, c);
  std::vector<T> w = Elements<T>(a);
  bool ok = !HasMissing(a);
  std::vector<lapack_int> ipiv(static_cast<size_t>(k));
  if (ok && k > 0 && !Lapack(m, getrf(r, c, w.data(), ipiv.data()))) return;
  std::vector<T> lw(static_cast<size_t>(r) * k), uw(static_cast<size_t>(k) * c);
  for (int i = 0; i < r; ++i)
    for (int j = 0; j < k; ++j) lw[size_t(i) * k + j] = i == j ? T(1) : i > j ? w[size_t(i) * c + j] : T(0);
  for (int i = 0; i < k; ++i)
    for (int j = 0; j < c; ++j) uw[size_t(i) * c + j] = j >= i ? w[size_t(i) * c + j] : T(0);
  std::vector<double> pw = ok ? Permutation(r, ipiv) : std::vector<double>(static_cast<size_t>(r), kMissing);
  Outputs out(m);
  if (!out.Add<T>(lo, r, k, ok ? lw.data() : nullptr) || !out.Add<T>(up, k, c, ok ? uw.data() : nullptr) ||
      !out.Add<double>(p, r, 1, pw.data()))
    return;
  out.Commit();
  BiReturnVoid(m, n);
}

// _lusolve_la(A, B): B becomes the solution X of AX = B.  The result is 0,
// or, when A is singular, the position of its first zero pivot (B then
// holds missing values).
template <class T>
void Lusolve(Machine& m, int n, ValueRecord* a, ValueRecord* b) {
  int k = a->rows;
  if (b->rows != k) return (void)BiFail(m, 3200);
  std::vector<T> w = Elements<T>(a), x(static_cast<size_t>(element_count(b)));
  // A real right-hand side with a complex A is solved as complex.
  for (int64_t e = 0; e < element_count(b); ++e)
    x[size_t(e)] = b->eltype == kReal ? T(reals(b)[e]) : T(static_cast<const T*>(b->data)[e]);
  std::vector<lapack_int> ipiv(static_cast<size_t>(k));
  lapack_int singular = 0;
  bool ok = !HasMissing(a) && !HasMissing(b);
  if (ok && k > 0) {
    lapack_int info = getrf(k, k, w.data(), ipiv.data());
    if (!Lapack(m, info)) return;
    singular = info;
    if (info == 0 && b->cols > 0 && !Lapack(m, getrs(k, b->cols, w.data(), ipiv.data(), x.data()))) return;
  }
  Outputs out(m);
  if (!out.Add<T>(b, b->rows, b->cols, ok && singular == 0 ? x.data() : nullptr)) return;
  out.Commit();
  BiReturn(m, n, m.values().NewScalar(ok ? double(singular) : kMissing));
}

// _luinv_la(A): A becomes its inverse; the result is as _lusolve_la's.
template <class T>
void Luinv(Machine& m, int n, ValueRecord* a) {
  int k = a->rows;
  std::vector<T> w = Elements<T>(a);
  std::vector<lapack_int> ipiv(static_cast<size_t>(k));
  lapack_int singular = 0;
  bool ok = !HasMissing(a);
  if (ok && k > 0) {
    lapack_int info = getrf(k, k, w.data(), ipiv.data());
    if (!Lapack(m, info)) return;
    singular = info;
    if (info == 0 && !Lapack(m, getri(k, w.data(), ipiv.data()))) return;
  }
  Outputs out(m);
  if (!out.Add<T>(a, k, k, ok && singular == 0 ? w.data() : nullptr)) return;
  out.Commit();
  BiReturn(m, n, m.values().NewScalar(ok ? double(singular) : kMissing));
}

// ---- QR by Householder reflections.

// _hqrdp_la(A, tau, R): A becomes the reflections in LAPACK's compact form
// (below the diagonal) with R on and above it, tau the row vector of the
// reflections' scale factors, R the k x cols upper triangle.
template <class T>
void Hqrdp(Machine& m, int n, ValueRecord* a, ValueRecord* tau, ValueRecord* rr) {
  int r = a->rows, c = a->cols, k = std::min(r, c);
  std::vector<T> w = Elements<T>(a), t(static_cast<size_t>(k));
  bool ok = !HasMissing(a);
  if (ok && k > 0 && !Lapack(m, geqrf(r, c, w.data(), t.data()))) return;
  std::vector<T> rw(static_cast<size_t>(k) * c);
  for (int i = 0; i < k; ++i)
    for (int j = 0; j < c; ++j) rw[size_t(i) * c + j] = j >= i ? w[size_t(i) * c + j] : T(0);
  Outputs out(m);
  if (!out.Add<T>(a, r, c, ok ? w.data() : nullptr) || !out.Add<T>(tau, 1, k, ok ? t.data() : nullptr) ||
      !out.Add<T>(rr, k, c, ok ? rw.data() : nullptr))
    return;
  out.Commit();
  BiReturnVoid(m, n);
}

// The reflections and their factors as _hqrdp_la left them; false after
// raising the error.
bool ReflectionsFit(Machine& m, const ValueRecord* h, const ValueRecord* tau) {
  if (!BiNumeric(m, h) || !BiNumeric(m, tau)) return false;
  if (tau->eltype != h->eltype) return BiFail(m, 3250);
  if (element_count(tau) != std::min(h->rows, h->cols) || (element_count(tau) > 1 && !m.CheckVector(tau)))
    return BiFail(m, 3200);
  return true;
}

// _hqrdq1(H, tau): the rows x k matrix Q with orthonormal columns.
template <class T>
void Hqrdq1(Machine& m, int n, const ValueRecord* h, const ValueRecord* tau) {
  int r = h->rows, c = h->cols, k = std::min(r, c);
  std::vector<T> hw = Elements<T>(h), t = Elements<T>(tau), q(static_cast<size_t>(r) * k);
  for (int i = 0; i < r; ++i)
    for (int j = 0; j < k; ++j) q[size_t(i) * k + j] = hw[size_t(i) * c + j];
  bool ok = !HasMissing(h) && !HasMissing(tau);
  if (ok && k > 0 && !Lapack(m, orgqr(r, k, k, q.data(), t.data()))) return;
  ValueRecord* res = m.values().NewValue("", kEl<T>, r, k);
  if (!res) return m.RaiseAllocation();
  for (size_t e = 0; e < q.size(); ++e) static_cast<T*>(res->data)[e] = ok ? q[e] : Missing<T>();
  BiReturn(m, n, res);
}

// _hqrdmult(H, tau, X, transpose): X becomes QX, or Q'X (the conjugate
// transpose for complex) when transpose is not zero; Q is the full
// rows x rows orthogonal matrix.
template <class T>
void Hqrdmult(Machine& m, int n, const ValueRecord* h, const ValueRecord* tau, ValueRecord* x, bool trans) {
  int r = h->rows, k = std::min(h->rows, h->cols);
  if (x->rows != r) return (void)BiFail(m, 3200);
  std::vector<T> hw = Elements<T>(h), t = Elements<T>(tau), xw(static_cast<size_t>(element_count(x)));
  for (int64_t e = 0; e < element_count(x); ++e)
    xw[size_t(e)] = x->eltype == kReal ? T(reals(x)[e]) : T(static_cast<const T*>(x->data)[e]);
  bool ok = !HasMissing(h) && !HasMissing(tau) && !HasMissing(x);
  if (ok && k > 0 && x->cols > 0 && !Lapack(m, ormqr(trans, r, x->cols, k, hw.data(), h->cols, t.data(), xw.data())))
    return;
  Outputs out(m);
  if (!out.Add<T>(x, x->rows, x->cols, ok ? xw.data() : nullptr)) return;
  out.Commit();
  BiReturnVoid(m, n);
}

// ---- singular values: A = U diag(s) Vt, s descending.  The result is 0,
// or the count of superdiagonals that did not converge (the outputs then
// hold missing values).
template <class T>
void Svd(Machine& m, int n, const ValueRecord* a, ValueRecord* u, ValueRecord* s, ValueRecord* vt) {
  int r = a->rows, c = a->cols, k = std::min(r, c);
  bool vectors = u != nullptr;
  std::vector<T> w = Elements<T>(a), uw(vectors ? size_t(r) * k : 1), vw(vectors ? size_t(k) * c : 1);
  std::vector<double> sw(static_cast<size_t>(k)), superb(static_cast<size_t>(std::max(k, 2)));
  lapack_int info = 0;
  bool ok = !HasMissing(a);
  if (ok && k > 0) {
    info = gesvd(vectors, r, c, w.data(), sw.data(), uw.data(), vw.data(), superb.data());
    if (!Lapack(m, info)) return;
  }
  bool good = ok && info == 0;
  Outputs out(m);
  if (vectors && (!out.Add<T>(u, r, k, good ? uw.data() : nullptr) || !out.Add<T>(vt, k, c, good ? vw.data() : nullptr)))
    return;
  if (!out.Add<double>(s, k, 1, good ? sw.data() : nullptr)) return;
  out.Commit();
  BiReturn(m, n, m.values().NewScalar(ok ? double(info) : kMissing));
}

// ---- ginvr(A [, tol]): the Moore-Penrose inverse of a real A, from its
// singular values: V diag(1/s) U' over the singular values above tol.
// The default tol is the one rank decisions are usually made with,
// max(rows, cols) x the largest singular value x the machine epsilon.  A
// with missing values has no inverse: every element is missing.
void Ginvr(Machine& m, int n, const ValueRecord* a, double tol) {
  int r = a->rows, c = a->cols, k = std::min(r, c);
  std::vector<double> w = Elements<double>(a), u(size_t(r) * k), vt(size_t(k) * c), s(static_cast<size_t>(k)),
      superb(static_cast<size_t>(std::max(k, 2)));
  ValueRecord* g = m.values().NewValue("", kReal, c, r);
  if (!g) return m.RaiseAllocation();
  double* out = reals(g);
  bool ok = !HasMissing(a);
  lapack_int info = 0;
  if (ok && k > 0) {
    info = gesvd(true, r, c, w.data(), s.data(), u.data(), vt.data(), superb.data());
    if (info < 0) {
      m.values().Free(g);
      Lapack(m, info);
      return;
    }
  }
  if (!ok || info > 0) {
    for (int64_t e = 0; e < element_count(g); ++e) out[e] = kMissing;
    return BiReturn(m, n, g);
  }
  if (is_missing(tol)) tol = k > 0 ? double(std::max(r, c)) * s[0] * std::numeric_limits<double>::epsilon() : 0;
  std::fill(out, out + element_count(g), 0.0);
  for (int q = 0; q < k; ++q) {
    if (!(s[size_t(q)] > tol)) break;  // descending: the rest are smaller
    double inv = 1 / s[size_t(q)];
    for (int i = 0; i < c; ++i) {
      double vi = vt[size_t(q) * c + i] * inv;
      for (int j = 0; j < r; ++j) out[int64_t(i) * r + j] += vi * u[size_t(j) * k + q];
    }
  }
  BiReturn(m, n, g);
}

// ---- _symeigen_la(A, X, L): A symmetric (Hermitian), its lower triangle
// read; X the eigenvectors as columns, L the row vector of eigenvalues in
// descending order.  The result is 0 or the count that did not converge.
template <class T>
void Symeigen(Machine& m, int n, const ValueRecord* a, ValueRecord* x, ValueRecord* l) {
  int k = a->rows;
  std::vector<T> w = Elements<T>(a), z(static_cast<size_t>(k) * k);
  std::vector<double> ev(static_cast<size_t>(k));
  std::vector<lapack_int> ifail(static_cast<size_t>(k));
  lapack_int found = 0, info = 0;
  bool ok = !HasMissing(a);
  if (ok && k > 0) {
    info = syevx(k, w.data(), ev.data(), z.data(), &found, ifail.data());
    if (!Lapack(m, info)) return;
  }
  bool good = ok && info == 0;
  std::vector<T> zd(z.size());
  std::vector<double> evd(ev.size());
  for (int j = 0; j < k; ++j) {
    evd[size_t(j)] = ev[size_t(k - 1 - j)];
    for (int i = 0; i < k; ++i) zd[size_t(i) * k + j] = z[size_t(i) * k + (k - 1 - j)];
  }
  Outputs out(m);
  if (!out.Add<T>(x, k, k, good ? zd.data() : nullptr) || !out.Add<double>(l, 1, k, good ? evd.data() : nullptr)) return;
  out.Commit();
  BiReturn(m, n, m.values().NewScalar(ok ? double(info) : kMissing));
}

// ---- _eigen_la(A, X, L): a general square A; X the right eigenvectors
// as columns (complex, each of unit length), L the complex row vector of
// eigenvalues in LAPACK's order.  The result is 0 or the count that did
// not converge.
lapack_int Geev(int k, std::vector<double>& w, std::vector<cplx>& vals, std::vector<cplx>& vecs) {
  std::vector<double> wr(static_cast<size_t>(k)), wi(static_cast<size_t>(k)), vr(static_cast<size_t>(k) * k);
  lapack_int info = LAPACKE_dgeev(LAPACK_ROW_MAJOR, 'N', 'V', k, w.data(), k, wr.data(), wi.data(), nullptr, 1,
                                  vr.data(), k);
  if (info != 0) return info;
  // A complex pair's vectors are held as the real and imaginary parts in
  // two adjacent columns.
  for (int j = 0; j < k; ++j) {
    vals[size_t(j)] = cplx(wr[size_t(j)], wi[size_t(j)]);
    bool pair = wi[size_t(j)] != 0 && j + 1 < k;
    for (int i = 0; i < k; ++i) {
      double re = vr[size_t(i) * k + j];
      if (!pair) {
        vecs[size_t(i) * k + j] = re;
        continue;
      }
      double im = vr[size_t(i) * k + j + 1];
      vecs[size_t(i) * k + j] = cplx(re, im);
      vecs[size_t(i) * k + j + 1] = cplx(re, -im);
    }
    if (pair) {
      vals[size_t(j + 1)] = cplx(wr[size_t(j + 1)], wi[size_t(j + 1)]);
      ++j;
    }
  }
  return 0;
}
lapack_int Geev(int k, std::vector<cplx>& w, std::vector<cplx>& vals, std::vector<cplx>& vecs) {
  return LAPACKE_zgeev(LAPACK_ROW_MAJOR, 'N', 'V', k, Z(w.data()), k, Z(vals.data()), nullptr, 1, Z(vecs.data()), k);
}

template <class T>
void Eigen(Machine& m, int n, const ValueRecord* a, ValueRecord* x, ValueRecord* l) {
  int k = a->rows;
  std::vector<T> w = Elements<T>(a);
  std::vector<cplx> vals(static_cast<size_t>(k)), vecs(static_cast<size_t>(k) * k);
  lapack_int info = 0;
  bool ok = !HasMissing(a);
  if (ok && k > 0) {
    info = Geev(k, w, vals, vecs);
    if (!Lapack(m, info)) return;
  }
  bool good = ok && info == 0;
  Outputs out(m);
  if (!out.Add<cplx>(x, k, k, good ? vecs.data() : nullptr) || !out.Add<cplx>(l, 1, k, good ? vals.data() : nullptr))
    return;
  out.Commit();
  BiReturn(m, n, m.values().NewScalar(ok ? double(info) : kMissing));
}

// Checks the input matrix, and that the outputs are distinct matrices.
bool Inputs(Machine& m, const ValueRecord* a, bool square) { return BiNumeric(m, a) && (!square || Square(m, a)); }
bool OutputArgs(Machine& m, std::initializer_list<ValueRecord*> outs) {
  for (ValueRecord* v : outs)
    if (!m.CheckMatrix(v)) return false;
  return BiDistinctOutputs(m, outs.begin(), int(outs.size()));
}

}  // namespace

bool BiDistinctOutputs(Machine& m, ValueRecord* const* outs, int count) {
  for (int i = 0; i < count; ++i)
    for (int j = i + 1; j < count; ++j)
      if (outs[i] == outs[j]) return BiFail(m, 3002);
  return true;
}

void BiCholesky(Machine& m, int n) {
  ValueRecord* a = BiArg(m, n, 0);
  if (!Inputs(m, a, true)) return;
  a->eltype == kReal ? Cholesky<double>(m, n, a) : Cholesky<cplx>(m, n, a);
}

void BiLud2La(Machine& m, int n) {
  ValueRecord *a = BiArg(m, n, 0), *l = BiArg(m, n, 1), *u = BiArg(m, n, 2), *p = BiArg(m, n, 3);
  if (!Inputs(m, a, false) || !OutputArgs(m, {l, u, p})) return;
  a->eltype == kReal ? Lud2<double>(m, n, a, l, u, p) : Lud2<cplx>(m, n, a, l, u, p);
}

void BiLusolveLa(Machine& m, int n) {
  ValueRecord *a = BiArg(m, n, 0), *b = BiArg(m, n, 1);
  if (!Inputs(m, a, true) || !BiNumeric(m, b)) return;
  if (a == b) return (void)BiFail(m, 3002);
  if (a->eltype == kReal && b->eltype == kReal) return Lusolve<double>(m, n, a, b);
  if (a->eltype == kReal) return (void)BiFail(m, 3250);  // a complex B needs a complex A
  Lusolve<cplx>(m, n, a, b);
}

void BiLuinvLa(Machine& m, int n) {
  ValueRecord* a = BiArg(m, n, 0);
  if (!Inputs(m, a, true)) return;
  a->eltype == kReal ? Luinv<double>(m, n, a) : Luinv<cplx>(m, n, a);
}

void BiHqrdpLa(Machine& m, int n) {
  ValueRecord *a = BiArg(m, n, 0), *tau = BiArg(m, n, 1), *r = BiArg(m, n, 2);
  if (!Inputs(m, a, false) || !OutputArgs(m, {a, tau, r})) return;
  a->eltype == kReal ? Hqrdp<double>(m, n, a, tau, r) : Hqrdp<cplx>(m, n, a, tau, r);
}

void BiHqrdq1(Machine& m, int n) {
  ValueRecord *h = BiArg(m, n, 0), *tau = BiArg(m, n, 1);
  if (!ReflectionsFit(m, h, tau)) return;
  h->eltype == kReal ? Hqrdq1<double>(m, n, h, tau) : Hqrdq1<cplx>(m, n, h, tau);
}

void BiHqrdmult(Machine& m, int n) {
  ValueRecord *h = BiArg(m, n, 0), *tau = BiArg(m, n, 1), *x = BiArg(m, n, 2);
  double trans;
  if (!ReflectionsFit(m, h, tau) || !BiNumeric(m, x) || !BiRealScalar(m, BiArg(m, n, 3), &trans)) return;
  if (x == h || x == tau) return (void)BiFail(m, 3002);
  if (h->eltype == kReal && x->eltype == kReal) return Hqrdmult<double>(m, n, h, tau, x, trans != 0);
  if (h->eltype == kReal) return (void)BiFail(m, 3250);
  Hqrdmult<cplx>(m, n, h, tau, x, trans != 0);
}

void BiSvdLa(Machine& m, int n) {
  ValueRecord *a = BiArg(m, n, 0), *u = BiArg(m, n, 1), *s = BiArg(m, n, 2), *vt = BiArg(m, n, 3);
  if (!Inputs(m, a, false) || !OutputArgs(m, {u, s, vt})) return;
  a->eltype == kReal ? Svd<double>(m, n, a, u, s, vt) : Svd<cplx>(m, n, a, u, s, vt);
}

void BiSvd2(Machine& m, int n) {
  ValueRecord *a = BiArg(m, n, 0), *s = BiArg(m, n, 1);
  if (!Inputs(m, a, false) || !OutputArgs(m, {s})) return;
  a->eltype == kReal ? Svd<double>(m, n, a, nullptr, s, nullptr) : Svd<cplx>(m, n, a, nullptr, s, nullptr);
}

void BiSymeigenLa(Machine& m, int n) {
  ValueRecord *a = BiArg(m, n, 0), *x = BiArg(m, n, 1), *l = BiArg(m, n, 2);
  if (!Inputs(m, a, true) || !OutputArgs(m, {x, l})) return;
  a->eltype == kReal ? Symeigen<double>(m, n, a, x, l) : Symeigen<cplx>(m, n, a, x, l);
}

void BiEigenLa(Machine& m, int n) {
  ValueRecord *a = BiArg(m, n, 0), *x = BiArg(m, n, 1), *l = BiArg(m, n, 2);
  if (!Inputs(m, a, true) || !OutputArgs(m, {x, l})) return;
  a->eltype == kReal ? Eigen<double>(m, n, a, x, l) : Eigen<cplx>(m, n, a, x, l);
}

// ginvr(A [, tol])
void BiGinvr(Machine& m, int n) {
  const ValueRecord* a = BiArg(m, n, 0);
  if (!m.CheckMatrix(a) || !m.CheckReal(a)) return;
  double tol = kMissing;
  if (n == 2 && !BiRealScalar(m, BiArg(m, n, 1), &tol)) return;
  Ginvr(m, n, a, tol);
}

}  // namespace nuvra::lumo
