// The host interface, continued: views onto views, dropping and keeping,
// variable attributes, value labels, temporary names, macro expansion.
#pragma once

namespace nuvra::lumo {

class Machine;
void BiNvSubview(Machine& m, int n);
void BiNvSelect(Machine& m, int n);
void BiNvDropvar(Machine& m, int n);
void BiNvKeepvar(Machine& m, int n);
void BiNvDropobsin(Machine& m, int n);
void BiNvKeepobsin(Machine& m, int n);
void BiNvDropobsif(Machine& m, int n);
void BiNvKeepobsif(Machine& m, int n);
void BiNvVarrename(Machine& m, int n);
void BiNvVarformat(Machine& m, int n);
void BiNvVarlabel(Machine& m, int n);
void BiNvVarvaluelabel(Machine& m, int n);
void BiNvIsfmt(Machine& m, int n);
void BiNvIsnumfmt(Machine& m, int n);
void BiNvIsstrfmt(Machine& m, int n);
void BiNvVlexists(Machine& m, int n);
void BiNvVldrop(Machine& m, int n);
void BiNvVlmap(Machine& m, int n);
void BiNvVlsearch(Machine& m, int n);
void BiNvVlload(Machine& m, int n);
void BiNvVlmodify(Machine& m, int n);
void BiNvTempname(Machine& m, int n);
void BiNvTempfilename(Machine& m, int n);
void BiNvMacroexpand(Machine& m, int n);
void BiNvMacroexpandRc(Machine& m, int n);
void BiNvUpdata(Machine& m, int n);
void BiNvStrscalar(Machine& m, int n);
void BiNvTsrevar(Machine& m, int n);
void BiNvDir(Machine& m, int n);

}  // namespace nuvra::lumo
