// The parts append and merge share.
#include "data/commands/combine.h"

#include <algorithm>

#include "data/commands/dta_commands.h"
#include "data/dta/dta_read.h"
#include "data/format.h"
#include "interp/interp.h"
#include "interp/messages.h"

namespace nuvra::dta {

namespace {

// The type that holds every value of types a and b (both numeric or both
// string): the wider string, or the numeric type whose range covers both
// (a long and a float need a double).
int combined_type(int a, int b) {
  if (data::is_string_type(a)) return std::max(a, b);
  if (a == b) return a;
  int hi = std::max(a, b), lo = std::min(a, b);
  if (hi == data::kFloat && lo == data::kLong) return data::kDouble;
  return hi;
}

}  // namespace

rc_t load_using(Interp& ip, const data::Dataset& master, const std::string& name, bool nolabel,
                data::Dataset* file) {
  const std::string shown = with_dta_suffix(name);
  file->set_maxvar(master.maxvar());
  LoadOptions lo;
  lo.nolabel = nolabel;
  LoadResult res;
  int newer = 0;
  if (rc_t rc = load_file(ip, shown, lo, file, &res, &newer)) return load_failure(ip, shown, rc, res, newer);
  return 0;
}

rc_t combined_variables(Interp& ip, const data::Dataset& master, const data::Dataset& file,
                        const std::vector<char>* bring, std::vector<data::Variable>* vars,
                        std::vector<int>* from_master, std::vector<int>* from_file) {
  auto brought = [bring](int k) { return !bring || (*bring)[static_cast<std::size_t>(k)]; };
  for (int j = 1; j <= master.nvar(); ++j) {
    data::Variable v = master.var(j);
    int k = file.find_exact(v.name);
    if (k && !brought(k)) k = 0;
    if (k) {
      if (data::is_string_type(v.type) != file.is_string(k)) {
        std::string after = " is " + data::type_name(v.type) + " in master but " + data::type_name(file.type(k)) +
                            " in using data\n";
        return msg_quoting(ip.out, "variable ", v.name, after, 106);
      }
      v.type = static_cast<std::uint8_t>(combined_type(v.type, file.type(k)));
    }
    vars->push_back(v);
    from_master->push_back(j);
    from_file->push_back(k);
  }
  for (int k = 1; k <= file.nvar(); ++k) {
    if (!brought(k) || master.find_exact(file.name(k))) continue;
    vars->push_back(file.var(k));
    from_master->push_back(0);
    from_file->push_back(k);
  }
  return 0;
}

void combine_labels(const data::Dataset& master, const data::Dataset& file, data::Dataset& out,
                    bool master_vars_closed, std::vector<std::string>* kept) {
  out.set_data_label(master.data_label());
  out.chars() = master.chars();
  for (const std::string& owner : file.chars().owners()) {
    if (owner != "_dta" && ((master_vars_closed && master.find_exact(owner)) || !out.find_exact(owner))) continue;
    for (const auto& e : file.chars().entries(owner))
      if (!out.chars().get(owner, e.name)) out.chars().set(owner, e.name, e.contents);
  }
  out.value_labels() = master.value_labels();
  for (const std::string& name : file.value_labels().names()) {
    if (out.value_labels().exists(name)) kept->push_back(name);
    else out.value_labels().put(name, *file.value_labels().get(name));
  }
}

void install_combined(Interp& ip, data::Dataset& master, data::Dataset& out, const std::vector<data::Variable>& vars,
                      const std::vector<int>& from_master, const std::vector<std::string>& kept) {
  ip.out.set_class(output::OutClass::Text);
  for (std::size_t k = 0; k < vars.size(); ++k)
    if (from_master[k] && vars[k].type != master.type(from_master[k]))
      ip.out.print_plain(data::promotion_line(vars[k].name, master.type(from_master[k]), vars[k].type) + "\n");
  for (const std::string& name : kept) {
    ip.out.print_markup("(label ");
    ip.out.print_plain(name);
    ip.out.print_markup(" already defined)\n");
  }
  master.swap_contents(out);
  master.set_changed(true);
  ip.data_changed = true;
}

}  // namespace nuvra::dta
