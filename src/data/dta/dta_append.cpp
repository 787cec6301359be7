// append using: the observations of a dataset file added after those in
// memory, variables matched by name.
//
// The combined dataset is built beside the one in memory and swapped in at
// the end, so that a file that cannot be read, a type clash or a lack of
// room leaves the data in memory as they were.
#include <algorithm>

#include "data/dta/dta_commands.h"
#include "data/dta/dta_read.h"
#include "interp/interp.h"
#include "interp/messages.h"
#include "interp/names.h"
#include "interp/parse.h"

namespace nuvra {

namespace {

using data::Dataset;

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

// Copies n values of variable sj of src (observations from 1) to variable
// dj of dst (rows from row0, in load order).
void copy_column(const Dataset& src, int sj, Dataset& dst, int dj, std::int64_t row0, std::int64_t n) {
  int st = src.type(sj), dt = dst.type(dj);
  std::uint32_t off = dst.offset(dj);
  for (std::int64_t i = 1; i <= n; ++i) {
    char* to = dst.load_slot(row0 + i - 1) + off;
    const char* from = src.value_ptr(sj, i);
    if (st == dt) std::memcpy(to, from, static_cast<std::size_t>(data::type_width(st)));
    else if (data::is_string_type(dt)) data::store_string(to, dt, {from, data::stored_string_length(from, st)});
    else data::store_value(dt, to, data::fetch_value(st, from));
  }
}

void fill_missing(Dataset& dst, int dj, std::int64_t row0, std::int64_t n) {
  std::uint32_t off = dst.offset(dj);
  for (std::int64_t r = row0; r < row0 + n; ++r) data::store_missing(dst.type(dj), dst.load_slot(r) + off);
}

}  // namespace

// append using filename [, nolabel]
rc_t cmd_append(Interp& ip) {
  ParseSettings st;
  st.allow_using = true;
  CommandLine cl;
  if (rc_t rc = standard_parse(ip, st, &cl)) return rc;
  bool nolabel = cl.flag("nolabel", 3, 0) == 1;
  if (rc_t rc = cl.leftover(ip)) return rc;
  if (!cl.has_using) return msg_required(ip, "using");

  Dataset& master = ip.dataset;
  std::string shown = dta::with_dta_suffix(cl.using_file);
  Dataset file(master.memory());
  file.set_maxvar(master.maxvar());
  dta::LoadOptions lo;
  lo.nolabel = nolabel;
  dta::LoadResult res;
  int newer = 0;
  if (rc_t rc = dta::load_file(ip, shown, lo, &file, &res, &newer)) {
    if (res.printed) return rc;
    if (newer) return dta::newer_release_message(ip, shown);
    if (rc == 601 || rc == 609 || rc == 610 || rc == 612 || rc == 688 || rc == 692)
      return dta::file_message(ip, shown, rc);
    return rc_message(ip, rc);
  }

  // The variables of the result: those in memory (types widened where the
  // file needs it), then the file's new ones in its order.
  std::vector<data::Variable> vars;
  std::vector<int> from_master, from_file;
  for (int j = 1; j <= master.nvar(); ++j) {
    data::Variable v = master.var(j);
    int k = file.find_exact(v.name);
    if (k) {
      if (data::is_string_type(v.type) != file.is_string(k)) {
        std::string after = " is " + data::type_name(v.type) + " in master but " + data::type_name(file.type(k)) +
                            " in using data\n";
        return msg_quoting(ip.out, "variable ", v.name, after, 106);
      }
      v.type = static_cast<std::uint8_t>(combined_type(v.type, file.type(k)));
    }
    vars.push_back(v);
    from_master.push_back(j);
    from_file.push_back(k);
  }
  for (int k = 1; k <= file.nvar(); ++k) {
    if (master.find_exact(file.name(k))) continue;
    vars.push_back(file.var(k));
    from_master.push_back(0);
    from_file.push_back(k);
  }

  Dataset out(master.memory());
  out.set_maxvar(master.maxvar());
  out.set_varabbrev(master.varabbrev());
  std::int64_t n1 = master.nobs(), n2 = file.nobs();
  if (rc_t rc = out.install_variables(vars)) return rc_message(ip, rc);
  if (rc_t rc = out.prepare_load(n1 + n2)) return rc_message(ip, rc);
  for (std::size_t k = 0; k < vars.size(); ++k) {
    int j = static_cast<int>(k) + 1;
    if (from_master[k]) copy_column(master, from_master[k], out, j, 0, n1);
    else fill_missing(out, j, 0, n1);
    if (from_file[k]) copy_column(file, from_file[k], out, j, n1, n2);
    else fill_missing(out, j, n1, n2);
  }
  out.finish_load(n1 + n2);

  // Labels and characteristics: those in memory win.
  out.set_data_label(master.data_label());
  out.chars() = master.chars();
  for (const std::string& owner : file.chars().owners()) {
    if (owner != "_dta" && !out.find_exact(owner)) continue;
    for (const auto& e : file.chars().entries(owner))
      if (!out.chars().get(owner, e.name)) out.chars().set(owner, e.name, e.contents);
  }
  out.value_labels() = master.value_labels();
  std::vector<std::string> kept;
  for (const std::string& name : file.value_labels().names()) {
    if (out.value_labels().exists(name)) kept.push_back(name);
    else out.value_labels().put(name, *file.value_labels().get(name));
  }

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
  return 0;
}

}  // namespace nuvra
