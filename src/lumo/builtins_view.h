// Built-ins over the dataset in memory: its size, views onto its cells,
// and what a value's representation is.
#pragma once
#include <cstdint>

namespace nuvra::lumo {

class Machine;
void BiNvNvar(Machine& m, int n);
void BiNvNobs(Machine& m, int n);
void BiNvView(Machine& m, int n);
void BiNvSview(Machine& m, int n);
void BiLumoRepresentation(Machine& m, int n);
void BiIsview(Machine& m, int n);

}  // namespace nuvra::lumo
