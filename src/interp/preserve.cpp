#include "interp/preserve.h"

#include <vector>

#include "data/dataset.h"
#include "interp/builtins.h"
#include "interp/interp.h"
#include "interp/messages.h"
#include "data/names.h"
#include "interp/parse.h"

namespace nuvra {

struct DataSnapshot {
  std::vector<data::Variable> vars;
  int64_t nobs = 0;
  uint32_t record = 0;
  std::vector<char> records;
  data::Characteristics chars;
  data::ValueLabelStore labels;
  std::string data_label;
  std::vector<int> sort;
  bool changed = false;
};

void destroy_snapshot(DataSnapshot* s) { delete s; }

namespace {

SnapshotPtr take_snapshot(const data::Dataset& ds) {
  SnapshotPtr s(new DataSnapshot);
  for (int j = 1; j <= ds.nvar_all(); ++j) s->vars.push_back(ds.var(j));
  s->nobs = ds.nobs();
  s->record = ds.used_width();
  s->records.resize(static_cast<size_t>(s->nobs) * s->record);
  for (int64_t i = 1; i <= s->nobs; ++i)
    ds.fetch_record(i, s->records.data() + static_cast<size_t>(i - 1) * s->record);
  s->chars = ds.chars();
  s->labels = ds.value_labels();
  s->data_label = ds.data_label();
  for (uint16_t v : ds.sort_list()) {
    if (v == 0) break;
    s->sort.push_back(v);
  }
  s->changed = ds.changed();
  return s;
}

// Puts the copy back; the copy stays usable (restore, preserve).
rc_t put_back(Interp& ip, const DataSnapshot& s) {
  data::Dataset& ds = ip.dataset;
  ds.clear();
  if (rc_t rc = ds.install_variables(s.vars)) return rc;
  if (rc_t rc = ds.set_obs(s.nobs)) return rc;
  for (int64_t i = 1; i <= s.nobs; ++i)
    ds.store_record(i, s.records.data() + static_cast<size_t>(i - 1) * s.record);
  ds.chars() = s.chars;
  ds.value_labels() = s.labels;
  ds.set_data_label(s.data_label);
  ds.set_sort_list(s.sort);
  ds.set_changed(s.changed);
  ip.data_changed = s.changed;
  return 0;
}

}  // namespace

void restore_at_frame_end(Interp& ip) {
  if (ip.preserved.empty() || ip.preserved.back().first != ip.frame_depth) return;
  // A failure here cannot be reported to anyone; the copy is the best
  // the user can have, so it is put back whatever the frame's result.
  put_back(ip, *ip.preserved.back().second);
  ip.preserved.pop_back();
}

// preserve [, changed]
rc_t cmd_preserve(Interp& ip) {
  ParseSettings st;
  CommandLine cl;
  if (rc_t rc = standard_parse(ip, st, &cl)) return rc;
  cl.flag("changed", 1, 0);
  if (rc_t rc = cl.leftover(ip)) return rc;
  if (!ip.preserved.empty() && ip.preserved.back().first == ip.frame_depth) return rc_message(ip, 621);
  ip.preserved.emplace_back(ip.frame_depth, take_snapshot(ip.dataset));
  return 0;
}

// restore [, not preserve]
rc_t cmd_restore(Interp& ip) {
  ParseSettings st;
  CommandLine cl;
  if (rc_t rc = standard_parse(ip, st, &cl)) return rc;
  bool cancel = cl.flag("not", 3, 0) == 1;
  bool keep = cl.flag("preserve", 1, 0) == 1;
  if (rc_t rc = cl.leftover(ip)) return rc;
  if (cancel && keep) return rc_message(ip, 184);
  if (ip.preserved.empty() || ip.preserved.back().first != ip.frame_depth) return rc_message(ip, 622);
  if (cancel) {
    ip.preserved.pop_back();
    return 0;
  }
  if (rc_t rc = put_back(ip, *ip.preserved.back().second)) return rc;
  if (!keep) ip.preserved.pop_back();
  return 0;
}

// tempvar, tempname and tempfile: unique names in the locals given; the
// variables, objects and files made under them go when the frame ends.
rc_t cmd_tempvar(Interp& ip) {
  std::string rest(ip.reader.rest());
  WordReader r(&rest);
  std::vector<std::string> names;
  for (std::string_view w = r.next(); !w.empty(); w = r.next()) {
    if (!is_valid_name(w) || w.size() > 31) return msg_quoting(ip.out, "", w, " invalid name\n", 198);
    names.emplace_back(w);
  }
  if (names.empty()) return msg_invalid(ip, "syntax");
  bool files = ip.command_name == "tempfile";
  for (const std::string& n : names) {
    char buf[64];
    if (files) {
      std::string dir = ip.tmpdir.empty() ? "/tmp" : ip.tmpdir;
      std::snprintf(buf, sizeof buf, "/nv%d_%06u.tmp", ip.pid, ++ip.tempfile_counter);
      std::string path = dir + buf;
      ip.temp_files.back().push_back(path);
      ip.macros.set_local(n, path);
    } else {
      std::snprintf(buf, sizeof buf, "__%06u", ip.tempname_counter++);
      if (ip.command_name == "tempvar") ip.temp_vars.back().emplace_back(buf);
      ip.macros.set_local(n, buf);
    }
  }
  return 0;
}

void drop_frame_tempvars(Interp& ip) {
  std::vector<int> drop;
  for (const std::string& n : ip.temp_vars.back()) {
    int j = ip.dataset.find_exact(n);
    if (j > 0) drop.push_back(j);
  }
  if (!drop.empty()) ip.dataset.drop_variables(drop);
  ip.temp_vars.back().clear();
}

}  // namespace nuvra
