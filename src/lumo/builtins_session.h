// Built-ins about the running machine and the session: sizeof(), args(),
// isfleeting(), favorspeed(), sys_linkcount(), sys_memory(), more(),
// setmore(), setmoreonexit() and opcount().
#pragma once

namespace nuvra::lumo {

class Machine;
void BiSizeof(Machine& m, int n);
void BiArgs(Machine& m, int n);
void BiIsfleeting(Machine& m, int n);
void BiFavorspeed(Machine& m, int n);
void BiSysLinkcount(Machine& m, int n);
void BiSysMemory(Machine& m, int n);
void BiMore(Machine& m, int n);
void BiSetmore(Machine& m, int n);
void BiSetmoreonexit(Machine& m, int n);
void BiOpcount(Machine& m, int n);

}  // namespace nuvra::lumo
