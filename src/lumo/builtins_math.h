// Elementary mathematics: trigonometric functions, the gamma family,
// rounding, modulus and combinations, complex parts, the limits of
// doubles, tests of all and any elements, and the indices of minima.
#pragma once

namespace nuvra::lumo {

class Machine;
void BiSin(Machine& m, int n);
void BiCos(Machine& m, int n);
void BiTan(Machine& m, int n);
void BiAsinr(Machine& m, int n);
void BiAcosr(Machine& m, int n);
void BiAtanr(Machine& m, int n);
void BiAtan2(Machine& m, int n);
void BiLngamma(Machine& m, int n);
void BiFactorial(Machine& m, int n);
void BiLnfactorial(Machine& m, int n);
void BiDigamma(Machine& m, int n);
void BiTrigamma(Machine& m, int n);
void BiComb(Machine& m, int n);
void BiMod(Machine& m, int n);
void BiRound(Machine& m, int n);
void BiFloatround(Machine& m, int n);
void BiRe(Machine& m, int n);
void BiIm(Machine& m, int n);
void BiC(Machine& m, int n);
void BiConj(Machine& m, int n);
void BiConjInPlace(Machine& m, int n);
void BiCarg(Machine& m, int n);  // arg()
void BiIscomplex(Machine& m, int n);
void BiEpsilon(Machine& m, int n);
void BiMindouble(Machine& m, int n);
void BiMaxdouble(Machine& m, int n);
void BiSmallestdouble(Machine& m, int n);
void BiAll(Machine& m, int n);
void BiAny(Machine& m, int n);
void BiAllof(Machine& m, int n);
void BiAnyof(Machine& m, int n);
void BiMinindex(Machine& m, int n);

}  // namespace nuvra::lumo
