// Random numbers: uniform, normal and the other families, draws from a
// discrete distribution, and the generators' state, which the host's
// `set seed` shares.
#pragma once

namespace nuvra::lumo {

class Machine;
void BiRuniform(Machine& m, int n);
void BiRnormal(Machine& m, int n);
void BiRgamma(Machine& m, int n);
void BiRbeta(Machine& m, int n);
void BiRt(Machine& m, int n);
void BiRpoisson(Machine& m, int n);
void BiRbinomial(Machine& m, int n);
void BiRnbinomial(Machine& m, int n);
void BiRhypergeometric(Machine& m, int n);
void BiRdiscrete(Machine& m, int n);
void BiRseed(Machine& m, int n);

}  // namespace nuvra::lumo
