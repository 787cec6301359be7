// What append and merge share when they combine a dataset file with the
// data in memory: the variables of the result, the labels and
// characteristics, and putting the result in place.
#pragma once
#include <string>
#include <vector>

#include "data/dataset.h"
#include "interp/rc.h"

namespace nuvra {

class Interp;

namespace dta {

// Reads the using file `name` (".dta" added when it has no suffix) into
// `file`, an empty dataset made for it, with the settings of the data in
// memory.  A failure is reported as `use` reports it.
rc_t load_using(Interp& ip, const data::Dataset& master, const std::string& name, bool nolabel,
                data::Dataset* file);

// The variables of the result: those in memory, widened where the file's
// values need it, then the file's new ones in its order.  `bring`, when
// given, says per file variable (index 1..nvar) whether it takes part.
// from_master / from_file give each result variable's number on either
// side, 0 where it has none.  106 (with its message) when a variable is a
// string on one side and numeric on the other.
rc_t combined_variables(Interp& ip, const data::Dataset& master, const data::Dataset& file,
                        const std::vector<char>* bring, std::vector<data::Variable>* vars,
                        std::vector<int>* from_master, std::vector<int>* from_file);

// Data label, characteristics and value labels of the result: those in
// memory win.  The file's characteristics come in for _dta and for the
// result's variables, but not for variables of the data in memory when
// `master_vars_closed`.  The names of value-label tables already defined
// in memory are put in *kept.
void combine_labels(const data::Dataset& master, const data::Dataset& file, data::Dataset& out,
                    bool master_vars_closed, std::vector<std::string>* kept);

// Reports the widened types and the tables kept from memory, then puts the
// result in place of the data in memory.
void install_combined(Interp& ip, data::Dataset& master, data::Dataset& out, const std::vector<data::Variable>& vars,
                      const std::vector<int>& from_master, const std::vector<std::string>& kept);

}  // namespace dta
}  // namespace nuvra
