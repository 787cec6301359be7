// File handles, reading and writing files, and the file system.
#pragma once

namespace nuvra::lumo {

class Machine;
void BiFopen(Machine& m, int n);
void BiFopenRc(Machine& m, int n);
void BiFclose(Machine& m, int n);
void BiFcloseRc(Machine& m, int n);
void BiFautoclose(Machine& m, int n);
void BiFget(Machine& m, int n);
void BiFgetRc(Machine& m, int n);
void BiFgetnl(Machine& m, int n);
void BiFgetnlRc(Machine& m, int n);
void BiFread(Machine& m, int n);
void BiFreadRc(Machine& m, int n);
void BiFstatus(Machine& m, int n);
void BiFwrite(Machine& m, int n);
void BiFwriteRc(Machine& m, int n);
void BiFput(Machine& m, int n);
void BiFputRc(Machine& m, int n);
void BiFseek(Machine& m, int n);
void BiFseekRc(Machine& m, int n);
void BiFtruncate(Machine& m, int n);
void BiFtruncateRc(Machine& m, int n);
void BiFputmatrix(Machine& m, int n);
void BiFputmatrixRc(Machine& m, int n);
void BiFgetmatrix(Machine& m, int n);
void BiFgetmatrixRc(Machine& m, int n);
void BiUnlink(Machine& m, int n);
void BiUnlinkRc(Machine& m, int n);
void BiTmpfilename(Machine& m, int n);
void BiPwd(Machine& m, int n);
void BiChdirRc(Machine& m, int n);
void BiRmdirRc(Machine& m, int n);
void BiMkdirRc(Machine& m, int n);
void BiDirexists(Machine& m, int n);
void BiDir(Machine& m, int n);

}  // namespace nuvra::lumo
