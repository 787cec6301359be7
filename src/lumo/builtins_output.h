// Output and the session: display(), the output style, timers, Break,
// the interpretation version and c().
#pragma once

namespace nuvra::lumo {

class Machine;
void BiDisplay(Machine& m, int n);
void BiDisplayas(Machine& m, int n);
void BiDisplayflush(Machine& m, int n);
void BiTimerClear(Machine& m, int n);
void BiTimerOn(Machine& m, int n);
void BiTimerOff(Machine& m, int n);
void BiTimerValue(Machine& m, int n);
void BiBreakkey(Machine& m, int n);
void BiBreakkeyreset(Machine& m, int n);
void BiSetbreakintr(Machine& m, int n);
void BiQuerybreakintr(Machine& m, int n);
void BiNuvraversion(Machine& m, int n);
void BiNuvrasetversion(Machine& m, int n);
void BiCallersversion(Machine& m, int n);
void BiCvalue(Machine& m, int n);

}  // namespace nuvra::lumo
