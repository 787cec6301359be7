// Double-double arithmetic: a value held as the unevaluated sum hi + lo of
// two doubles, about 32 significant digits.  Used where the regression core
// needs more than double precision on a small matrix or in a serial pass:
// products are exact through the fused multiply-add, sums keep their
// rounding error.  The error-free steps below depend on the order of their
// operations, which the compiler keeps as written (no -ffast-math).
#pragma once
#include <cmath>

namespace nuvra::stats {

struct DD {
  double hi = 0;
  double lo = 0;
  DD() = default;
  DD(double h) : hi(h) {}  // NOLINT: a double is a double-double
  DD(double h, double l) : hi(h), lo(l) {}
  double value() const { return hi + lo; }
};

// s + e == a + b exactly.
inline DD two_sum(double a, double b) {
  double s = a + b;
  double bb = s - a;
  double e = (a - (s - bb)) + (b - bb);
  return {s, e};
}

inline DD quick_two_sum(double a, double b) {
  double s = a + b;
  return {s, b - (s - a)};
}

// p + e == a * b exactly.
inline DD two_prod(double a, double b) {
  double p = a * b;
  return {p, std::fma(a, b, -p)};
}

inline DD operator+(const DD& a, const DD& b) {
  DD s = two_sum(a.hi, b.hi);
  DD t = two_sum(a.lo, b.lo);
  s.lo += t.hi;
  s = quick_two_sum(s.hi, s.lo);
  s.lo += t.lo;
  return quick_two_sum(s.hi, s.lo);
}

inline DD operator-(const DD& a) { return {-a.hi, -a.lo}; }
inline DD operator-(const DD& a, const DD& b) { return a + (-b); }

inline DD operator*(const DD& a, const DD& b) {
  DD p = two_prod(a.hi, b.hi);
  p.lo += a.hi * b.lo + a.lo * b.hi;
  return quick_two_sum(p.hi, p.lo);
}

inline DD operator/(const DD& a, const DD& b) {
  double q1 = a.hi / b.hi;
  DD r = a - b * DD(q1);
  double q2 = r.hi / b.hi;
  r = r - b * DD(q2);
  double q3 = r.hi / b.hi;
  DD q = quick_two_sum(q1, q2);
  return q + DD(q3);
}

inline DD& operator+=(DD& a, const DD& b) { return a = a + b; }
inline DD& operator-=(DD& a, const DD& b) { return a = a - b; }

}  // namespace nuvra::stats
