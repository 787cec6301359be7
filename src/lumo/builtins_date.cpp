// Dates and clocks through the expression library's calendar, so that
// mdy(7, 4, 1976) here and in an expression are the same day.
#include "lumo/builtins_date.h"

#include <string_view>

#include "data/functions/dates.h"
#include "lumo/builtins_elementwise.h"

namespace nuvra::lumo {

namespace {

std::string_view Text(const ValueRecord* v, int64_t k) {
  StringRef s = string_of(slots(v)[k]);
  return {s.bytes, s.length};
}

// date(s, mask [, topyear]) and its kin for the other units: the texts s
// read by the masks, element by element over conformable s, mask and
// topyear (`.` when not given).
void ReadDates(Machine& m, int n, char unit) {
  ValueRecord* a[3];
  for (int k = 0; k < n; ++k) {
    a[k] = BiArg(m, n, k);
    if (!m.CheckMatrix(a[k])) return;
    if (k < 2 ? !m.CheckString(a[k]) : !m.CheckReal(a[k])) return;
  }
  int32_t rows, cols;
  if (!ConformShape(a, n, &rows, &cols)) return RaiseNonconform(m, nullptr);
  ValueRecord* r = m.values().NewValue("", kReal, rows, cols);
  if (!r) return m.RaiseAllocation();
  for (int32_t i = 0; i < rows; ++i)
    for (int32_t j = 0; j < cols; ++j) {
      double top = n == 3 ? reals(a[2])[ConformIndex(a[2], i, j)] : data::kMissing;
      double d = dates::parse(unit, Text(a[0], ConformIndex(a[0], i, j)), Text(a[1], ConformIndex(a[1], i, j)), top);
      reals(r)[int64_t(i) * cols + j] = BiBad(d) ? data::kMissing : d;
    }
  BiReturn(m, n, r);
}

}  // namespace

#define LUMO_DATE(name, nargs, kernel) \
  void Bi_##name(Machine& m, int n) { ApplyReal<nargs>(m, n, 0, nullptr, [](auto... x) { return kernel(x...); }); }
#define LUMO_LEAP_DATE(name, nargs, kernel)                                           \
  void Bi_##name(Machine& m, int n) {                                                 \
    const dates::LeapTable& leaps = dates::leap_table();                              \
    ApplyReal<nargs>(m, n, 0, nullptr, [&leaps](auto... x) { return kernel(leaps, x...); }); \
  }
#include "lumo/builtins_date.def"
#undef LUMO_DATE
#undef LUMO_LEAP_DATE

void BiDateText(Machine& m, int n) { ReadDates(m, n, 'd'); }
void BiClockText(Machine& m, int n) { ReadDates(m, n, 'c'); }
void BiLeapClockText(Machine& m, int n) { ReadDates(m, n, 'C'); }
void BiYearlyText(Machine& m, int n) { ReadDates(m, n, 'y'); }
void BiHalfyearlyText(Machine& m, int n) { ReadDates(m, n, 'h'); }
void BiQuarterlyText(Machine& m, int n) { ReadDates(m, n, 'q'); }
void BiMonthlyText(Machine& m, int n) { ReadDates(m, n, 'm'); }
void BiWeeklyText(Machine& m, int n) { ReadDates(m, n, 'w'); }

}  // namespace nuvra::lumo
