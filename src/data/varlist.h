// The varlist reader: turns the text of a variable list into variable
// numbers, or a new-variable list into names with storage types.
//
// Existing-variable lists accept, separated by blanks:
//   name        exact name first, then unique abbreviation (set varabbrev)
//   a-b         every variable from a to b in dataset order (a before b)
//   pattern     * any run of characters, ? one character; every variable
//               whose name matches, in dataset order
//   pat~tern    ~ like *, but the pattern must match exactly one variable
//   _all        every variable
// The hidden estimation-sample variable is never part of a list.
//
// New-variable lists accept names, each optionally preceded by a storage
// type (byte int long float double str1..str244) that applies to that name
// only, and ranges stub1-stub5 that stand for stub1 stub2 ... stub5 (a type
// before a range applies to all of them).
//
// On failure the reader returns the code and leaves the complete message
// (without newline) in the failure record; the caller prints it.
#pragma once
#include <string>
#include <string_view>
#include <vector>

#include "data/dataset.h"

namespace nuvra::data {

struct VarlistFailure {
  rc_t rc = 0;
  std::string message;
};

struct NewVariable {
  std::string name;
  int type = kFloat;
};

enum VarlistFlags : unsigned {
  kVarlistUnique = 1,  // a variable named twice is kept once, at its first place
};

// 0, or 101 ("time-series operators not allowed", for L.x and the like),
// or 111 ("variable %s not found", "%s ambiguous abbreviation"), or 198
// ("%s invalid name", "variables out of order", "invalid syntax").
rc_t read_varlist(const Dataset& ds, std::string_view text, std::vector<int>* out,
                  VarlistFailure* fail = nullptr, unsigned flags = 0);

// 0, or 110 ("%s already defined", also for a name given twice), or 198
// (the name rules of a new variable; "nothing found where name expected"
// for a type with no name after it; "invalid syntax").
rc_t read_new_varlist(const Dataset& ds, std::string_view text, int default_type,
                      std::vector<NewVariable>* out, VarlistFailure* fail = nullptr);

// Whether name matches a pattern of * ? and ~ (~ matches like *).
bool varlist_pattern_match(std::string_view pattern, std::string_view name);

}  // namespace nuvra::data
