// The host interface: the nv_ built-ins that read and write the dataset's
// cells and variables, macros, scalars, matrices and stored results, and
// run host commands.
#pragma once

namespace nuvra::lumo {

class Machine;
// True for the host-interface built-ins: they see views as they are, so
// that a view where a name is required can be refused (3103).
bool IsHostBuiltin(const char* name);

void BiNvDataCell(Machine& m, int n);
void BiNvSdataCell(Machine& m, int n);
void BiNvData(Machine& m, int n);
void BiNvSdata(Machine& m, int n);
void BiNvStoreCell(Machine& m, int n);
void BiNvSstoreCell(Machine& m, int n);
void BiNvStore(Machine& m, int n);
void BiNvSstore(Machine& m, int n);
void BiNvVarindex(Machine& m, int n);
void BiNvVarindexSoft(Machine& m, int n);
void BiNvVarname(Machine& m, int n);
void BiNvVartype(Machine& m, int n);
void BiNvIsnumvar(Machine& m, int n);
void BiNvIsstrvar(Machine& m, int n);
void BiNvIsname(Machine& m, int n);
void BiNvAddvar(Machine& m, int n);
void BiNvAddvarRc(Machine& m, int n);
void BiNvAddobs(Machine& m, int n);
void BiNvAddobsRc(Machine& m, int n);
void BiNvViewvars(Machine& m, int n);
void BiNvViewobs(Machine& m, int n);
void BiNvLocal(Machine& m, int n);
void BiNvGlobal(Machine& m, int n);
void BiNvNumscalar(Machine& m, int n);
void BiNvMatrix(Machine& m, int n);
void BiNvMatrixRowstripe(Machine& m, int n);
void BiNvMatrixColstripe(Machine& m, int n);
void BiNvReplacematrix(Machine& m, int n);
void BiNvRclear(Machine& m, int n);
void BiNvEclear(Machine& m, int n);
void BiNvSclear(Machine& m, int n);
void BiNuvra(Machine& m, int n);
void BiNuvraRc(Machine& m, int n);

}  // namespace nuvra::lumo
