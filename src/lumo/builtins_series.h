// Transforms and sequences: _fft(), _invfft(), chebyeval() and ghalton().
#pragma once

namespace nuvra::lumo {

class Machine;
void BiFft(Machine& m, int n);
void BiInvfft(Machine& m, int n);
void BiChebyeval(Machine& m, int n);
void BiGhalton(Machine& m, int n);

}  // namespace nuvra::lumo
