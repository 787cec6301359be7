// The coefficient table of estimation results: one row per coefficient
// with its standard error, t (or z) statistic, p-value and confidence
// interval.  regress, `ereturn display`, lincom and the replay of stored
// results all print through it, so their tables line up column for column.
#pragma once
#include <string>
#include <vector>

#include "stats/matrix.h"

namespace nuvra {
class Interp;
}

namespace nuvra::stats {

struct CoefTableLook {
  double level = 95;          // confidence level of the interval
  bool eform = false;         // exponentiated coefficients
  std::string eform_title;    // column title under eform
  bool beta = false;          // standardized coefficients instead of the interval
  const std::vector<double>* betas = nullptr;
  bool plus = false;          // leave the table open (no closing rule)
  std::string vcetype;        // printed above the standard-error column
};

// Prints the table of b (1 x k) and the diagonal of V (k x k) under the
// corner title `depname`.  With df_r missing the statistics are z and the
// p-values and interval normal; otherwise t with df_r degrees of freedom.
void print_coef_table(Interp& ip, const Matrix& b, const Matrix& V, double df_r, const std::string& depname,
                      const CoefTableLook& look);

}  // namespace nuvra::stats
