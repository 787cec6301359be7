// Variable lists that may carry time-series operators.
//
// Besides everything an ordinary varlist accepts, an element may be
//   ops.target
// where ops is a run of operator letters L F D S (either case), each with
// an optional count or a parenthesised list of counts, dots and blanks
// between them ignored: L.x, F2.x, LD.x, L2D.x, S12.x, L(1/3).x,
// L(0/2)D.x.  A list of counts stands for one term per count (0 meaning
// no operator of that letter), several lists for every combination, the
// first list varying slowest.  The target is one name, pattern or range,
// or a parenthesised varlist: L.(x y) is L.x L.y.  Terms are listed
// variable by variable, each with its operators in order:
// L(1/2).(x y) is L.x L2.x L.y L2.y.
//
// The operators of each term are brought to their canonical form (net lag
// L or lead F, then D, then S spans ascending); "L0.x" and "D0.x" are the
// variable itself.
#pragma once
#include <string>
#include <string_view>
#include <vector>

#include "data/dataset.h"
#include "data/varlist.h"

namespace nuvra::expr {

struct TsVarTerm {
  int var = 0;
  std::string ops;  // canonical ("L2D1S4S12"); empty for the variable itself
};

// 0, or the code with the whole message (without newline) in *fail:
// the varlist reader's codes; 198 "operator invalid" and "operator
// invalid:  D20 is maximum allowed difference"; 1000 "operator too long";
// 121 "invalid numlist" for a malformed count list; 109 "%s:  may not use
// time-series operators on string variables".
rc_t read_ts_varlist(const data::Dataset& ds, std::string_view text, std::vector<TsVarTerm>* out,
                     data::VarlistFailure* fail = nullptr);

// Operator letters with their counts, dots and blanks allowed ("L2.D",
// "s12") → canonical text; false with the message and code in *fail.
bool ts_canonical_ops(std::string_view ops, std::string* canonical, data::VarlistFailure* fail);

// The name a term is shown by: "x", "L.x", "L2D.x", "S12.x" (a count of
// one is not written).
std::string ts_term_name(std::string_view canonical_ops, std::string_view varname);

}  // namespace nuvra::expr
