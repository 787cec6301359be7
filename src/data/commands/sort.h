// The sort command and the sorting the interpreter does on its own behalf
// (`bysort`, programs defined with `sortpreserve`).
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "interp/rc.h"

namespace nuvra {

class Interp;

// Sorts the whole dataset by `keys` as `sort` would (the session's sort
// seed, processors and version decide the shuffle and the threads), and
// records them as the sort list. Prints the message of a failure.
rc_t sort_dataset(Interp& ip, const std::vector<int>& keys);

// Kept around a program defined with `sortpreserve`: notes the order of
// the observations on entry and puts it back (with the sort list) when the
// program ends, however it ends. Observations the program added go last.
class SortPreserve {
 public:
  SortPreserve(Interp& ip, bool active);
  ~SortPreserve();
  SortPreserve(const SortPreserve&) = delete;
  SortPreserve& operator=(const SortPreserve&) = delete;

 private:
  Interp& ip_;
  bool active_ = false;
  std::string name_;  // the variable holding each observation's number on entry
  std::vector<std::string> sort_list_;  // names: the program may renumber variables
};

}  // namespace nuvra
