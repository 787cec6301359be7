// Dates and clocks: reading them from text, taking them apart, building
// them from parts and converting between units, through the expression
// library's calendar.
#pragma once

namespace nuvra::lumo {

class Machine;
#define LUMO_DATE(name, nargs, kernel) void Bi_##name(Machine& m, int n);
#define LUMO_LEAP_DATE(name, nargs, kernel) void Bi_##name(Machine& m, int n);
#include "lumo/builtins_date.def"
#undef LUMO_DATE
#undef LUMO_LEAP_DATE
void BiDateText(Machine& m, int n);
void BiClockText(Machine& m, int n);
void BiLeapClockText(Machine& m, int n);
void BiYearlyText(Machine& m, int n);
void BiHalfyearlyText(Machine& m, int n);
void BiQuarterlyText(Machine& m, int n);
void BiMonthlyText(Machine& m, int n);
void BiWeeklyText(Machine& m, int n);

}  // namespace nuvra::lumo
