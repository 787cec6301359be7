// Decompositions through LAPACK: Cholesky, LU, QR, singular values and
// eigensystems, for real and complex matrices, and the generalized inverse
// of a real matrix from its singular values.
#pragma once

namespace nuvra::lumo {

class Machine;
void BiCholesky(Machine& m, int n);
void BiLud2La(Machine& m, int n);
void BiLusolveLa(Machine& m, int n);
void BiLuinvLa(Machine& m, int n);
void BiHqrdpLa(Machine& m, int n);
void BiHqrdq1(Machine& m, int n);
void BiHqrdmult(Machine& m, int n);
void BiSvdLa(Machine& m, int n);
void BiSvd2(Machine& m, int n);
void BiSymeigenLa(Machine& m, int n);
void BiEigenLa(Machine& m, int n);
void BiGinvr(Machine& m, int n);

}  // namespace nuvra::lumo
