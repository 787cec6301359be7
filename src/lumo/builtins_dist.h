// Probability distributions: distribution functions, tails, densities and
// inverses, element by element over conformable parameter matrices.
#pragma once

namespace nuvra::lumo {

class Machine;
#define LUMO_DISTRIBUTION(name, nargs, family, kernel) void Bi_##name(Machine& m, int n);
#include "lumo/builtins_dist.def"
#undef LUMO_DISTRIBUTION
void BiNormalden(Machine& m, int n);
void BiLnnormalden(Machine& m, int n);

}  // namespace nuvra::lumo
