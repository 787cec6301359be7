// Built-ins over the dataset in memory.
#include "lumo/builtins_view.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "data/missing.h"
#include "lumo/host.h"
#include "lumo/value.h"
#include "lumo/view.h"
#include "lumo/vm.h"

namespace nuvra::lumo {

// Whole numbers from lo to hi, or `.` (a missing scalar) for all of them
// when that is allowed; false after raising the error.
bool NumberList(Machine& m, const ValueRecord* v, int64_t hi, std::vector<int64_t>* out) {
  if (!m.CheckMatrix(v) || !m.CheckReal(v)) return false;
  int64_t count = element_count(v);
  if (count == 1 && data::is_missing(reals(v)[0])) {
    out->resize(size_t(hi));
    for (int64_t i = 0; i < hi; ++i) (*out)[size_t(i)] = i + 1;
    return true;
  }
  if (count > 1 && !m.CheckVector(v)) return false;
  out->resize(size_t(count));
  for (int64_t k = 0; k < count; ++k) {
    double d = reals(v)[k];
    if (!(d >= 1 && d <= double(hi)) || d != double(int64_t(d))) {
      m.RaiseError(3300, Machine::MessageFor(3300));
      return false;
    }
    (*out)[size_t(k)] = int64_t(d);
  }
  return true;
}

// Variables given by number (a real vector, `.` for all) or by name (a
// string scalar of names separated by blanks).
bool VariableList(Machine& m, const ValueRecord* v, std::vector<int>* out) {
  Host& host = m.host();
  if (v->kind == kKindValue && v->eltype == kString) {
    if (!m.CheckScalar(v)) return false;
    StringRef s = string_of(slots(v)[0]);
    std::string_view text(s.bytes, s.length);
    while (!text.empty()) {
      size_t b = text.find_first_not_of(' ');
      if (b == std::string_view::npos) break;
      text.remove_prefix(b);
      size_t e = std::min(text.find(' '), text.size());
      std::string_view name = text.substr(0, e);
      text.remove_prefix(e);
      int j = host.DataFindVar(name);
      if (j == 0) {
        m.RaiseError(3500, "variable " + std::string(name) + " not found");
        return false;
      }
      out->push_back(j);
    }
    return true;
  }
  std::vector<int64_t> nums;
  if (!NumberList(m, v, host.DataVars(), &nums)) return false;
  for (int64_t j : nums) out->push_back(int(j));
  return true;
}


namespace {

ValueRecord* Arg(Machine& m, int n, int k) { return m.Top(n - 1 - k); }

void Result(Machine& m, int n, ValueRecord* r) {
  if (!r) return m.RaiseAllocation();
  if (n == 0) {
    m.PushNew(r);
    return;
  }
  m.ReplaceTop(n, r);
}

// nv_view(V, obs, vars[, selectvar]) and nv_sview: V becomes a view of
// the cells; with selectvar, of the observations in which that variable
// is not zero.
void MakeViewOf(Machine& m, int n, int eltype) {
  Host& host = m.host();
  for (int k = 1; k < n; ++k)
    if (!m.RealizeTop(n - 1 - k)) return;
  ValueRecord* target = Arg(m, n, 0);
  if (!m.CheckMatrix(target)) return;
  std::vector<int64_t> obs;
  std::vector<int> vars;
  if (!NumberList(m, Arg(m, n, 1), host.DataObs(), &obs)) return;
  if (!VariableList(m, Arg(m, n, 2), &vars)) return;
  for (int j : vars)
    if (host.DataIsString(j) != (eltype == kString)) return m.RaiseError(3250, Machine::MessageFor(3250));
  if (n == 4) {
    std::vector<int> select;
    const ValueRecord* s = Arg(m, n, 3);
    bool none = s->kind == kKindValue && s->eltype == kString && s->rows == 1 && s->cols == 1 &&
                string_of(slots(s)[0]).length == 0;
    if (!none) {
      if (!VariableList(m, s, &select)) return;
      if (select.size() != 1) return m.RaiseError(3300, Machine::MessageFor(3300));
      if (host.DataIsString(select[0])) return m.RaiseError(3250, Machine::MessageFor(3250));
      std::vector<int64_t> kept;
      for (int64_t i : obs)
        if (host.DataNumber(i, select[0]) != 0) kept.push_back(i);
      obs.swap(kept);
    }
  }
  if (obs.size() > size_t(INT32_MAX)) return m.RaiseError(3300, Machine::MessageFor(3300));
  if (rc_t rc = MakeView(m.values(), target, eltype, obs, vars)) return m.RaiseError(rc, Machine::MessageFor(rc));
  Result(m, n, m.values().NewValue("", kReal, 0, 0));
}

}  // namespace

void BiNvNvar(Machine& m, int n) { Result(m, n, m.values().NewScalar(m.host().DataVars())); }
void BiNvNobs(Machine& m, int n) { Result(m, n, m.values().NewScalar(double(m.host().DataObs()))); }
void BiNvView(Machine& m, int n) { MakeViewOf(m, n, kReal); }
void BiNvSview(Machine& m, int n) { MakeViewOf(m, n, kString); }

void BiIsview(Machine& m, int n) {
  ValueRecord* x = Arg(m, n, 0);
  if (!m.CheckMatrix(x)) return;
  Result(m, n, m.values().NewScalar(x->representation != kArray));
}

void BiLumoRepresentation(Machine& m, int n) {
  ValueRecord* x = Arg(m, n, 0);
  if (!m.CheckMatrix(x)) return;
  const char* name = x->representation == kArray   ? "Array"
                     : x->representation == kView1 ? "View1"
                     : x->representation == kView2 ? "View2"
                                                   : "unknown";
  ValueRecord* r = m.values().NewValue("", kString, 1, 1);
  if (r) {
    bool ok;
    slots(r)[0] = m.values().NewString(name, &ok);
  }
  Result(m, n, r);
}

}  // namespace nuvra::lumo
