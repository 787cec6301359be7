// Traces of matrix products (trace_AVBV(), trace_ABBAV()) and the
// closed-form 2 x 2 inverse (_2x2()).
#pragma once

namespace nuvra::lumo {

class Machine;
void BiTraceAVBV(Machine& m, int n);
void BiTraceABBAV(Machine& m, int n);
void Bi2x2(Machine& m, int n);

}  // namespace nuvra::lumo
