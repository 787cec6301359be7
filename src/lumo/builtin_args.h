// What every built-in does with its arguments and its result: find
// argument k, read a real scalar, and replace the arguments by one result.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "lumo/value.h"
#include "lumo/vm.h"

namespace nuvra::lumo {

// Argument k (0-based) of n.
inline ValueRecord* BiArg(Machine& m, int n, int k) { return m.Top(n - 1 - k); }

// Pops the n arguments and pushes r (a new record; null reports the
// allocation failure).
inline void BiReturn(Machine& m, int n, ValueRecord* r) {
  if (!r) return m.RaiseAllocation();
  if (n == 0) {
    m.PushNew(r);
    return;
  }
  m.ReplaceTop(n, r);
}

// A rows x cols string matrix whose first cells are s (null when there
// is no room).
inline ValueRecord* BiNewStrings(Machine& m, int32_t rows, int32_t cols, const std::vector<std::string>& s) {
  ValueRecord* r = m.values().NewValue("", kString, rows, cols);
  if (!r) return nullptr;
  for (size_t k = 0; k < s.size(); ++k) {
    bool ok;
    slots(r)[k] = m.values().NewString(s[k], &ok);
    if (!ok) {
      m.values().Free(r);
      return nullptr;
    }
  }
  return r;
}

// Pops the n arguments and pushes the 1 x 1 string s (no room is reported
// as the allocation failure).
inline void BiReturnString(Machine& m, int n, std::string_view s) {
  ValueRecord* r = m.values().NewValue("", kString, 1, 1);
  if (r) {
    bool ok;
    slots(r)[0] = m.values().NewString(s, &ok);
    if (!ok) {
      m.values().Free(r);
      r = nullptr;
    }
  }
  BiReturn(m, n, r);
}

// The void result of a built-in that works on its arguments.
inline void BiReturnVoid(Machine& m, int n) { BiReturn(m, n, m.values().NewValue("", kReal, 0, 0)); }

inline bool BiRealScalar(Machine& m, const ValueRecord* v, double* out) {
  if (!m.CheckMatrix(v) || !m.CheckReal(v) || !m.CheckScalar(v)) return false;
  *out = reals(v)[0];
  return true;
}

// A real or complex matrix (3251 otherwise).
inline bool BiNumeric(Machine& m, const ValueRecord* v) { return m.CheckMatrix(v) && m.CheckNumeric(v); }

// Raises code with its standard message; always false.
inline bool BiFail(Machine& m, rc_t code) {
  m.RaiseError(code, Machine::MessageFor(code));
  return false;
}

// An output argument: a matrix that is not the same record as any other
// output (3002 "identical arguments not allowed").
bool BiDistinctOutputs(Machine& m, ValueRecord* const* outs, int count);

}  // namespace nuvra::lumo
