// Real-scalar arithmetic, comparison and logic, shared by the operator
// handlers and the machine's scalar runs so that both give the same
// numbers.
#pragma once
#include <cmath>

#include "data/missing.h"
#include "lumo/opcodes.h"

namespace nuvra::lumo {

using data::is_missing;
using data::kMissing;

// Real arithmetic with missing values: any missing operand, and any
// overflow to an infinity or NaN, gives the system missing value.
inline double Arith(int op, double a, double b) {
  if (is_missing(a) || is_missing(b)) return kMissing;
  double r;
  switch (op) {
    case k_add: case k_colonadd: r = a + b; break;
    case k_sub: case k_colonsub: r = a - b; break;
    case k_mul: case k_colonmul: r = a * b; break;
    case k_div: case k_colondiv:
      if (b == 0) return kMissing;
      r = a / b;
      break;
    case k_pow: case k_colonpow:
      if (a == 0 && b == 0) return 1;
      r = std::pow(a, b);
      break;
    default: return kMissing;
  }
  return std::isfinite(r) && !is_missing(r) ? r : kMissing;
}

// Comparisons order numbers below the missing values, as stored.
inline bool Relation(int op, int c) {
  switch (op) {
    case k_eq: case k_coloneq: return c == 0;
    case k_ne: case k_colonne: return c != 0;
    case k_gt: case k_colongt: return c > 0;
    case k_ge: case k_colonge: return c >= 0;
    case k_lt: case k_colonlt: return c < 0;
    case k_le: case k_colonle: return c <= 0;
  }
  return false;
}
inline int Cmp(double a, double b) { return a < b ? -1 : a > b ? 1 : 0; }

inline bool IsComparison(int op) {
  switch (op) {
    case k_eq: case k_ne: case k_gt: case k_ge: case k_lt: case k_le:
    case k_coloneq: case k_colonne: case k_colongt: case k_colonge: case k_colonlt: case k_colonle: return true;
  }
  return false;
}
inline bool IsLogical(int op) { return op == k_and || op == k_or || op == k_colonand || op == k_colonor; }

// The logical operators: any non-zero value, missing included, is true.
inline double Logical(int op, double a, double b) {
  return (op == k_and || op == k_colonand) ? (a != 0 && b != 0) : (a != 0 || b != 0);
}

}  // namespace nuvra::lumo
