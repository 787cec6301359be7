// String built-ins that share their kernels with the expression library
// (regular expressions, substitution, patterns, conversion), byte codes,
// binary buffers, hashing and file paths.
#pragma once

namespace nuvra::lumo {

class Machine;
void BiAscii(Machine& m, int n);
void BiChar(Machine& m, int n);
void BiIndexnot(Machine& m, int n);
void BiStrproper(Machine& m, int n);
void BiStrmatch(Machine& m, int n);
void BiRegexm(Machine& m, int n);
void BiRegexr(Machine& m, int n);
void BiRegexs(Machine& m, int n);
void BiSubinstr(Machine& m, int n);
void BiSubinword(Machine& m, int n);
void BiStrtorealInto(Machine& m, int n);
void BiSubstrInto(Machine& m, int n);
void BiFmtwidth(Machine& m, int n);
void BiByteorder(Machine& m, int n);
void BiBufput(Machine& m, int n);
void BiBufget(Machine& m, int n);
void BiBufbfmtlen(Machine& m, int n);
void BiBufbfmtisnum(Machine& m, int n);
void BiBufsub(Machine& m, int n);
void BiHash1(Machine& m, int n);
void BiPathisurl(Machine& m, int n);
void BiPathisabs(Machine& m, int n);
void BiPathsuffix(Machine& m, int n);
void BiPathrmsuffix(Machine& m, int n);
void BiPathbasename(Machine& m, int n);
void BiPathjoin(Machine& m, int n);
void BiPathasciisuffix(Machine& m, int n);
void BiPathnuvrasuffix(Machine& m, int n);
void BiAdosubdir(Machine& m, int n);

}  // namespace nuvra::lumo
