// Commands that take time-series operators in their varlists (list,
// summarize, regress, tsrevar, marksample and markout) hold each operated
// term as a temporary double variable for as long as they need it.
//
//   datacmd::TsTemps temps(ip);
//   std::vector<int> vars;
//   std::vector<std::string> names;   // "L.x", "D.y", "z" for display
//   if (rc_t rc = datacmd::ts_varlist(ip, text, &vars, &names, &temps)) return rc;
//   ... use vars ...                  // temps dropped when `temps` goes
//
// The temporary variables hold the operated values at every observation
// (missing across gaps in time, outside the panel, and where a value the
// operator needs is missing). The dataset's changed flag is the same
// afterwards as before.
#pragma once
#include <string>
#include <string_view>
#include <vector>

#include "interp/rc.h"

namespace nuvra {
class Interp;

namespace datacmd {

class TsTemps {
 public:
  explicit TsTemps(Interp& ip);
  ~TsTemps();
  TsTemps(const TsTemps&) = delete;
  TsTemps& operator=(const TsTemps&) = delete;
  // Hands the variables to the current program frame (dropped when it
  // ends) instead of dropping them here.
  void keep_for_frame();
  // Drops them now.
  void drop();
  const std::vector<std::string>& names() const { return names_; }

 private:
  friend rc_t ts_varlist(Interp&, std::string_view, std::vector<int>*, std::vector<std::string>*, TsTemps*);
  Interp& ip_;
  std::vector<std::string> names_;
  bool was_changed_;
};

// Reads text as a varlist in which operated terms are allowed; an empty
// text gives no variables. vars receives variable numbers (temporaries for
// operated terms), names the name each term is shown by. Prints the
// message and returns its code on failure, with no temporary left.
rc_t ts_varlist(Interp& ip, std::string_view text, std::vector<int>* vars, std::vector<std::string>* names,
                TsTemps* temps);

// As ts_varlist, but an empty text means every variable.
rc_t ts_varlist_or_all(Interp& ip, std::string_view text, std::vector<int>* vars, std::vector<std::string>* names,
                       TsTemps* temps);

}  // namespace datacmd
}  // namespace nuvra
