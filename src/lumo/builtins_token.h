// The engine of Lumo's token parsers (tokeninit() and its companions in
// the function library hold a parser's state in a string column vector).
#pragma once

namespace nuvra::lumo {

class Machine;
void BiTokenget(Machine& m, int n);

}  // namespace nuvra::lumo
