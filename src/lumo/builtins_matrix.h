// Matrix built-ins: sums and their extended-precision forms, running sums,
// minima and maxima, missing-value counts, reshaping and selection,
// ordering, relative differences, cross products and the sweep inverse.
#pragma once

namespace nuvra::lumo {

class Machine;
void BiSum(Machine& m, int n);
void BiQuadsum(Machine& m, int n);
void BiRowsum(Machine& m, int n);
void BiColsum(Machine& m, int n);
void BiQuadrowsum(Machine& m, int n);
void BiQuadcolsum(Machine& m, int n);
void BiRunningsum(Machine& m, int n);
void BiQuadrunningsum(Machine& m, int n);
void BiRunningsumInto(Machine& m, int n);
void BiQuadrunningsumInto(Machine& m, int n);
void BiRowminmax(Machine& m, int n);
void BiColminmax(Machine& m, int n);
void BiMinmax(Machine& m, int n);
void BiRowmaxabs(Machine& m, int n);
void BiColmaxabs(Machine& m, int n);
void BiMissing(Machine& m, int n);
void BiNonmissing(Machine& m, int n);
void BiRowmissing(Machine& m, int n);
void BiRownonmissing(Machine& m, int n);
void BiColmissing(Machine& m, int n);
void BiColnonmissing(Machine& m, int n);
void BiDiagonal(Machine& m, int n);
void BiDiagInto(Machine& m, int n);
void BiRowshape(Machine& m, int n);
void BiColshape(Machine& m, int n);
void BiSelect(Machine& m, int n);
void BiOrder(Machine& m, int n);
void BiCollate(Machine& m, int n);
void BiReldif(Machine& m, int n);
void BiMreldif(Machine& m, int n);
void BiMreldifsym(Machine& m, int n);
void BiMreldifre(Machine& m, int n);
void BiMakesymmetric(Machine& m, int n);
void BiIssymmetric(Machine& m, int n);
void BiCross(Machine& m, int n);
void BiQuadcross(Machine& m, int n);
void BiCrossdev(Machine& m, int n);
void BiQuadcrossdev(Machine& m, int n);
void BiInvsym(Machine& m, int n);
void BiInvsymInPlace(Machine& m, int n);

}  // namespace nuvra::lumo
