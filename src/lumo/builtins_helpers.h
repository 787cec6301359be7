// Numeric helpers: transposing, conjugating and swapping in place, editing
// missing and chosen values, replacing listed values, the missing value of an eltype, the
// organisation of a value, vec and vech with their duplication,
// elimination and commutation matrices, and tests of symmetry and of
// real values.
#pragma once

namespace nuvra::lumo {

class Machine;
void BiTransposeInPlace(Machine& m, int n);
void BiTransposeonlyInPlace(Machine& m, int n);
void BiSwap(Machine& m, int n);
void BiEditmissing(Machine& m, int n);
void BiEditvalue(Machine& m, int n);
void BiReplacevalues(Machine& m, int n);
void BiFillmissing(Machine& m, int n);
void BiMissingof(Machine& m, int n);
void BiIsrealvalues(Machine& m, int n);
void BiIssymmetriconly(Machine& m, int n);
void BiOrgtype(Machine& m, int n);
void BiVec(Machine& m, int n);
void BiVech(Machine& m, int n);
void BiDmatrix(Machine& m, int n);
void BiLmatrix(Machine& m, int n);
void BiKmatrix(Machine& m, int n);

}  // namespace nuvra::lumo
