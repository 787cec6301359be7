// sort varlist [in] [, stable noparallel index(name)]
//
// The command reads its keys and options and hands the ordering to the
// sort engine (data/sort.h). `stable` adds the system's reserved variable,
// holding each observation's number, as a last key that is not recorded in
// the sort list, so that ties keep their order. `index(name)` puts the
// observations in the order a permutation variable gives.
#include "data/commands/sort.h"

#include <cstdio>

#include "data/commands/commands.h"
#include "data/sort.h"
#include "data/varlist.h"
#include "interp/interp.h"
#include "interp/messages.h"
#include "interp/parse.h"

namespace nuvra {
namespace {

data::SortControl control(Interp& ip, bool parallel, std::int64_t n) {
  data::SortControl c;
  c.seed = &ip.sortseed;
  c.poll = [&ip] { return ip.poll_break(); };
  c.work = &ip.sort_work;
  c.threads = (parallel && ip.version >= 700) ? data::sort_threads(ip.processors, n) : 1;
  return c;
}

rc_t engine_failure(Interp& ip, rc_t rc) {
  if (rc == 1) return 1;
  return rc_message(ip, rc);
}

// Puts the observations in the order of the long variable `name`, which
// must hold each of 1.._N once.
rc_t sort_by_index(Interp& ip, const std::string& name, const std::vector<int>& keys) {
  data::Dataset& ds = ip.dataset;
  int j = 0;
  std::string msg;
  if (rc_t rc = ds.find(name, &j, &msg)) return datacmd::fail_quoting(ip, "", msg, "\n", rc);
  if (ds.type(j) != data::kLong) return datacmd::fail_quoting(ip, "index variable ", ds.name(j), " is not a long\n", 109);
  std::vector<std::int64_t> index(static_cast<std::size_t>(ds.nobs()));
  for (std::int64_t i = 1; i <= ds.nobs(); ++i) {
    double v = ds.fetch(j, i);
    index[static_cast<std::size_t>(i - 1)] = data::is_missing(v) ? 0 : static_cast<std::int64_t>(v);
  }
  rc_t rc = data::apply_order_index(ds, index);
  if (rc == 459)
    return datacmd::fail_quoting(ip, "index variable ", ds.name(j),
                                 " does not hold each of the observation numbers 1 to _N once\n", 459);
  if (rc) return rc_message(ip, rc);
  // The order is now the index's; the keys are recorded only when they hold.
  if (!keys.empty() && data::is_ordered(ds, keys, 1, ds.nobs()))
    ds.set_sort_list(keys);
  else
    ds.clear_sort_list();
  datacmd::mark_changed(ip);
  return 0;
}

}  // namespace

rc_t sort_dataset(Interp& ip, const std::vector<int>& keys) {
  data::SortOutcome how;
  std::int64_t n = ip.dataset.nobs();
  if (rc_t rc = data::sort_observations(ip.dataset, keys, 1, n, control(ip, true, n), &how))
    return engine_failure(ip, rc);
  if (how != data::SortOutcome::kInOrder) datacmd::mark_changed(ip);
  return 0;
}

rc_t cmd_sort(Interp& ip) {
  ParseSettings st{.varlist = true, .allow_in = true};
  CommandLine cl;
  if (rc_t rc = standard_parse(ip, st, &cl)) return rc;
  bool stable = cl.flag("stable", 5, 0) == 1;
  bool parallel = cl.flag("parallel", 7, 1) == 1;
  std::string index;
  bool has_index = cl.string("index", 5, &index, 64, 1);
  if (rc_t rc = cl.leftover(ip)) return rc;
  data::Dataset& ds = ip.dataset;

  std::vector<int> keys;
  if (!cl.varlist_text.empty()) {
    if (rc_t rc = datacmd::varlist_required(ip, cl.varlist_text, &keys, data::kVarlistUnique)) return rc;
  } else if (!has_index) {
    return msg_required(ip, "varlist");
  }
  if (has_index) {
    if (stable || cl.has_in) return msg_invalid(ip, "syntax");
    return sort_by_index(ip, index, keys);
  }

  std::int64_t lo = cl.in_first, hi = cl.in_last;
  std::int64_t n = hi >= lo ? hi - lo + 1 : 0;
  int recorded = static_cast<int>(keys.size());
  int order_var = 0;
  if (stable && n > 1) {
    if (static_cast<int>(keys.size()) + 1 >= ds.maxvar()) return rc_message(ip, 103);
    int type = ds.nobs() <= data::kLongMax ? data::kLong : data::kDouble;
    if (rc_t rc = ds.add_reserved_variable(type, &order_var)) return rc_message(ip, rc);
    data::Column c = ds.column(order_var);
    for (std::int64_t i = 1; i <= ds.nobs(); ++i) c.store(i - 1, static_cast<double>(i));
    keys.push_back(order_var);
  }
  data::SortOutcome how = data::SortOutcome::kInOrder;
  rc_t rc = data::sort_observations(ds, keys, lo, hi, control(ip, parallel, n), &how, recorded);
  if (order_var) {
    // The reserved key is not in the sort list, so dropping it leaves the
    // list as the sort made it.
    std::vector<std::uint16_t> list = ds.sort_list();
    ds.drop_variables({order_var});
    std::vector<int> kept(list.begin(), list.end());
    if (list.empty())
      ds.clear_sort_list();
    else
      ds.set_sort_list(kept);
  }
  if (rc) return engine_failure(ip, rc);
  if (how != data::SortOutcome::kInOrder) datacmd::mark_changed(ip);
  return 0;
}

// ------------------------------------------------------------ sortpreserve

SortPreserve::SortPreserve(Interp& ip, bool active) : ip_(ip) {
  data::Dataset& ds = ip.dataset;
  if (!active || ds.nobs() < 2 || ds.nvar() == 0) return;
  char buf[16];
  std::snprintf(buf, sizeof buf, "__%06u", ip.tempname_counter++);
  int j = 0;
  int type = ds.nobs() <= data::kLongMax ? data::kLong : data::kDouble;
  std::vector<int> list(ds.sort_list().begin(), ds.sort_list().end());
  if (ds.add_variable(buf, type, &j) != 0) return;
  data::Column c = ds.column(j);
  for (std::int64_t i = 1; i <= ds.nobs(); ++i) c.store(i - 1, static_cast<double>(i));
  // Adding a variable leaves the order recorded as it was.
  if (list.empty())
    ds.clear_sort_list();
  else
    ds.set_sort_list(list);
  name_ = buf;
  for (int v : list) sort_list_.push_back(ds.name(v));
  active_ = true;
}

SortPreserve::~SortPreserve() {
  if (!active_) return;
  data::Dataset& ds = ip_.dataset;
  int j = ds.find_exact(name_);
  if (!j) return;  // the program dropped it: the old order is lost
  // The numbers are unique, so the order comes back exactly; a Break is not
  // honoured here, since the program has ended.
  data::SortControl c;
  c.seed = &ip_.sortseed;
  c.work = &ip_.sort_work;
  c.threads = ip_.version >= 700 ? data::sort_threads(ip_.processors, ds.nobs()) : 1;
  data::sort_observations(ds, {j}, 1, ds.nobs(), c);
  ds.drop_variables({j});
  // The recorded order is put back when the data still follow it.
  std::vector<int> keep;
  for (const std::string& v : sort_list_)
    if (int k = ds.find_exact(v)) keep.push_back(k);
  if (!keep.empty() && keep.size() == sort_list_.size() && data::is_ordered(ds, keep, 1, ds.nobs()))
    ds.set_sort_list(keep);
  else
    ds.clear_sort_list();
}

}  // namespace nuvra
