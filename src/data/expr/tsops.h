// Time-series operators over a declared time (and panel) variable.
//
// The declaration lives in the dataset's characteristics, so it is saved
// and loaded with the data: _dta[_TStvar] names the time variable,
// _dta[_TSpanel] the panel variable (absent without panels) and
// _dta[_TSdelta] the spacing of the time values (1 when absent).
//
// An operated variable is read as a lag operator polynomial applied to
// the variable: L/F shift, D and S difference.  The value at an
// observation needs the variable at the times t - (lag + k) * delta of the
// same panel, for k = 0 .. diff + sum of the seasonal spans; a time with no
// observation (a gap) or a missing value where the polynomial has a
// nonzero coefficient makes the result missing.  The differences are then
// taken one after another, as nested differences are, so the result
// carries no more rounding than the hand-written form.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "data/dataset.h"

namespace nuvra::expr {

inline constexpr const char* kTsTimeChar = "_TStvar";
inline constexpr const char* kTsPanelChar = "_TSpanel";
inline constexpr const char* kTsDeltaChar = "_TSdelta";

// The operators of one operated variable, read from text such as "L2D"
// or "S12" (the canonical form's parts).
struct TsOps {
  long long lag = 0;              // net lag, negative for leads
  int diff = 0;                   // D count
  std::vector<long long> seasonal;  // S spans, ascending
};

// The time-series declaration of a dataset.  ok is false when no time
// variable is declared (or it no longer exists).
struct TsDecl {
  bool ok = false;
  int tvar = 0;    // variable number
  int pvar = 0;    // 0 without panels
  double delta = 1;
};
TsDecl ts_declaration(const data::Dataset& ds);

// Observations ordered by (panel, time), missing times last: order[r] is
// the observation (1-based) at rank r and rank[o - 1] the rank of
// observation o.  When the data are already in that order both stay empty
// and *in_order is true.  *repeated is set when two observations of one
// panel share a nonmissing time.
void ts_order(const data::Dataset& ds, const TsDecl& decl, std::vector<std::int64_t>* order,
              std::vector<std::int64_t>* rank, bool* in_order, bool* repeated);

// The coefficients of (1-L)^diff * prod (1-L^s) as doubles, lowest power
// first; size diff + sum(s) + 1.
std::vector<double> ts_polynomial(const TsOps& ops);

// Reads canonical operator text ("L2D1S4S12", "F3") into *ops.
bool ts_parse_canonical(std::string_view text, TsOps* ops);

}  // namespace nuvra::expr
