// Built-ins over the global name space: crexternal(), findexternal(),
// rmexternal(), direxternal(), nameexternal() and valofexternal().
#pragma once

namespace nuvra::lumo {

class Machine;
void BiCrexternal(Machine& m, int n);
void BiFindexternal(Machine& m, int n);
void BiRmexternal(Machine& m, int n);
void BiDirexternal(Machine& m, int n);
void BiNameexternal(Machine& m, int n);
void BiValofexternal(Machine& m, int n);

}  // namespace nuvra::lumo
