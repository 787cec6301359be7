// String built-ins that work element by element on string matrices.
#pragma once

namespace nuvra::lumo {

class Machine;
void BiStrlower(Machine& m, int n);
void BiStrupper(Machine& m, int n);
void BiStrltrim(Machine& m, int n);
void BiStrrtrim(Machine& m, int n);
void BiStrtrim(Machine& m, int n);
void BiStritrim(Machine& m, int n);
void BiStrreverse(Machine& m, int n);
void BiSubstr(Machine& m, int n);
void BiStrpos(Machine& m, int n);
void BiStrofreal(Machine& m, int n);

}  // namespace nuvra::lumo
