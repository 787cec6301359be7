// append using: the observations of a dataset file added after those in
// memory, variables matched by name.
//
// The combined dataset is built beside the one in memory and swapped in at
// the end, so that a file that cannot be read, a type clash or a lack of
// room leaves the data in memory as they were.
#include <algorithm>

#include "data/commands/combine.h"
#include "data/commands/dta_commands.h"
#include "data/dta/dta_read.h"
#include "interp/interp.h"
#include "interp/messages.h"
#include "data/names.h"
#include "interp/parse.h"

namespace nuvra {

namespace {

using data::Dataset;

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
  ParseSettings st{.allow_using = true};
  CommandLine cl;
  if (rc_t rc = standard_parse(ip, st, &cl)) return rc;
  bool nolabel = cl.flag("nolabel", 3, 0) == 1;
  if (rc_t rc = cl.leftover(ip)) return rc;
  if (!cl.has_using) return msg_required(ip, "using");

  Dataset& master = ip.dataset;
  Dataset file(master.memory());
  if (rc_t rc = dta::load_using(ip, master, cl.using_file, nolabel, &file)) return rc;

  // The variables of the result: those in memory (types widened where the
  // file needs it), then the file's new ones in its order.
  std::vector<data::Variable> vars;
  std::vector<int> from_master, from_file;
  if (rc_t rc = dta::combined_variables(ip, master, file, nullptr, &vars, &from_master, &from_file)) return rc;

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
  std::vector<std::string> kept;
  dta::combine_labels(master, file, out, false, &kept);
  dta::install_combined(ip, master, out, vars, from_master, kept);
  return 0;
}

}  // namespace nuvra
