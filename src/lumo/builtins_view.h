// Built-ins over the dataset in memory: its size, views onto its cells,
// and what a value's representation is.
#pragma once
#include <cstdint>
#include <vector>

namespace nuvra::lumo {

class Machine;
struct ValueRecord;
// Observation (or variable) numbers from 1 to hi given as a real vector,
// or `.` for all of them; false after raising the error.
bool NumberList(Machine& m, const ValueRecord* v, int64_t hi, std::vector<int64_t>* out);
// Variables given by number (a real vector, `.` for all) or by name (a
// string scalar of names separated by blanks); appended to out.
bool VariableList(Machine& m, const ValueRecord* v, std::vector<int>* out);
void BiNvNvar(Machine& m, int n);
void BiNvNobs(Machine& m, int n);
void BiNvView(Machine& m, int n);
void BiNvSview(Machine& m, int n);
void BiLumoRepresentation(Machine& m, int n);
void BiIsview(Machine& m, int n);

}  // namespace nuvra::lumo
