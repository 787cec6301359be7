// merge: the observations of a dataset file joined to those in memory,
// either one to one by position or matched on key variables.
//
// The result is built in a fresh dataset beside the one in memory, row by
// row from a plan of (master observation, using observation) pairs, and is
// swapped in only when everything has succeeded: an unreadable file, keys
// out of order, keys that are not unique when they must be, or a lack of
// room leave the data in memory as they were.
#include <algorithm>
#include <cstring>
#include <numeric>

#include "data/commands/combine.h"
#include "data/commands/dta_commands.h"
#include "data/dta/dta_read.h"
#include "data/missing.h"
#include "data/sort.h"
#include "data/varlist.h"
#include "interp/interp.h"
#include "interp/messages.h"
#include "data/names.h"
#include "interp/parse.h"

namespace nuvra {

namespace {

using data::Dataset;

std::string_view string_at(const Dataset& ds, int j, std::int64_t i) {
  const char* p = ds.value_ptr(j, i);
  return {p, data::stored_string_length(p, ds.type(j))};
}

// Copies the value of variable sj, observation i of src into variable dj
// of row r (0-based, load order) of dst, converting the storage type.
void copy_value(const Dataset& src, int sj, std::int64_t i, Dataset& dst, int dj, std::int64_t r) {
  char* to = dst.load_slot(r) + dst.offset(dj);
  int st = src.type(sj), dt = dst.type(dj);
  const char* from = src.value_ptr(sj, i);
  if (st == dt) std::memcpy(to, from, static_cast<std::size_t>(data::type_width(st)));
  else if (data::is_string_type(dt)) data::store_string(to, dt, {from, data::stored_string_length(from, st)});
  else data::store_value(dt, to, data::fetch_value(st, from));
}

bool value_missing(const Dataset& ds, int j, std::int64_t i) {
  if (ds.is_string(j)) return string_at(ds, j, i).empty();
  return data::is_missing(ds.fetch(j, i));
}

bool values_equal(const Dataset& a, int ja, std::int64_t ia, const Dataset& b, int jb, std::int64_t ib) {
  if (a.is_string(ja)) return string_at(a, ja, ia) == string_at(b, jb, ib);
  return a.fetch(ja, ia) == b.fetch(jb, ib);
}

// Master observation a against using observation b over the key pairs.
int compare_keys(const Dataset& m, const std::vector<int>& mk, std::int64_t a, const Dataset& u,
                 const std::vector<int>& uk, std::int64_t b) {
  for (std::size_t k = 0; k < mk.size(); ++k) {
    int r;
    if (m.is_string(mk[k])) {
      r = string_at(m, mk[k], a).compare(string_at(u, uk[k], b));
    } else {
      double x = m.fetch(mk[k], a), y = u.fetch(uk[k], b);
      r = x < y ? -1 : (y < x ? 1 : 0);
    }
    if (r) return r < 0 ? -1 : 1;
  }
  return 0;
}

// The observations of ds in key order: 1..n when already sorted, else
// (with `sort`) a stable ordering; 5 when unsorted and not allowed to sort.
bool key_order(const Dataset& ds, const std::vector<int>& keys, bool may_sort, std::vector<std::int64_t>* order) {
  order->resize(static_cast<std::size_t>(ds.nobs()));
  std::iota(order->begin(), order->end(), std::int64_t{1});
  if (data::is_ordered(ds, keys, 1, ds.nobs())) return true;
  if (!may_sort) return false;
  std::stable_sort(order->begin(), order->end(), [&](std::int64_t a, std::int64_t b) {
    return data::compare_observations(ds, keys, a, b) < 0;
  });
  return true;
}

bool keys_unique(const Dataset& ds, const std::vector<int>& keys, const std::vector<std::int64_t>& order) {
  for (std::size_t k = 1; k < order.size(); ++k)
    if (data::compare_observations(ds, keys, order[k - 1], order[k]) == 0) return false;
  return true;
}

std::string key_names(const Dataset& ds, const std::vector<int>& keys) {
  std::string s;
  for (int j : keys) s += (s.empty() ? "" : " ") + ds.name(j);
  return s;
}

struct Row {
  std::int64_t m = 0, u = 0;  // observations (1-based), 0 for none
  std::uint8_t code = 3;
};

}  // namespace

// merge [varlist] using filename [, _merge(name) nokeep keep(varlist) update
//        replace nolabel unique uniqmaster uniqusing sort]
rc_t cmd_merge(Interp& ip) {
  ParseSettings st{.varlist = true, .allow_using = true};
  CommandLine cl;
  if (rc_t rc = standard_parse(ip, st, &cl)) return rc;
  std::string mname = "_merge";
  if (!cl.string("_merge", 6, &mname, 64, 1)) mname = "_merge";
  std::string keep_text;
  bool has_keep = cl.string("keep", 4, &keep_text, 1 << 20, 1 << 20);
  // A flag lookup passes over keep(...), so nokeep is found beside it.
  bool nokeep = cl.flag("keep", 4, 1) == 0;
  bool update = cl.flag("update", 6, 0) == 1;
  bool replace = cl.flag("replace", 7, 0) == 1;
  bool nolabel = cl.flag("nolabel", 5, 0) == 1;
  bool unique = cl.flag("unique", 6, 0) == 1;
  bool uniq_master = unique || cl.flag("uniqmaster", 10, 0) == 1;
  bool uniq_using = unique || cl.flag("uniqusing", 9, 0) == 1;
  bool may_sort = cl.flag("sort", 4, 0) == 1;
  if (rc_t rc = cl.leftover(ip)) return rc;
  if (!cl.has_using) return msg_required(ip, "using");
  if (replace && !update) return msg_quoting(ip.out, "option replace requires option update\n", "", "", 198);

  Dataset& master = ip.dataset;
  std::string why;
  if (rc_t rc = data::validate_new_varname(mname, &why)) return msg_quoting(ip.out, "", why, "\n", rc);
  if (master.find_exact(mname)) return msg_already_defined(ip, mname);

  std::vector<int> mkeys;
  if (!cl.varlist_text.empty()) {
    data::VarlistFailure f;
    if (rc_t rc = data::read_varlist(master, cl.varlist_text, &mkeys, &f, data::kVarlistUnique))
      return msg_quoting(ip.out, "", f.message, "\n", rc);
  }
  const bool matched = !mkeys.empty();
  if ((uniq_master || uniq_using || may_sort) && !matched)
    return msg_quoting(ip.out, "options unique, uniqmaster, uniqusing and sort require key variables\n", "", "",
                       198);

  Dataset file(master.memory());
  if (rc_t rc = dta::load_using(ip, master, cl.using_file, nolabel, &file)) return rc;

  // Keys on the using side, of the same kind as in memory.
  std::vector<int> ukeys;
  for (int j : mkeys) {
    int k = file.find_exact(master.name(j));
    if (!k) return msg_quoting(ip.out, "key variable ", master.name(j), " not found in using data\n", 111);
    if (master.is_string(j) != file.is_string(k)) {
      std::string after = " is " + data::type_name(master.type(j)) + " in master but " +
                          data::type_name(file.type(k)) + " in using data\n";
      return msg_quoting(ip.out, "key variable ", master.name(j), after, 106);
    }
    ukeys.push_back(k);
  }

  // The using variables brought in: all, or those of keep() plus the keys.
  std::vector<char> bring(static_cast<std::size_t>(file.nvar()) + 1, has_keep ? 0 : 1);
  if (has_keep) {
    std::vector<int> list;
    data::VarlistFailure f;
    if (rc_t rc = data::read_varlist(file, keep_text, &list, &f)) return msg_quoting(ip.out, "", f.message, " in using data\n", rc);
    for (int k : list) bring[static_cast<std::size_t>(k)] = 1;
    for (int k : ukeys) bring[static_cast<std::size_t>(k)] = 1;
  }

  // The variables of the result: those in memory (widened where the using
  // values need it), the new ones of the file in its order, then the code.
  std::vector<data::Variable> vars;
  std::vector<int> from_master, from_file;
  if (rc_t rc = dta::combined_variables(ip, master, file, &bring, &vars, &from_master, &from_file)) return rc;
  std::vector<char> is_key;
  for (std::size_t k = 0; k < vars.size(); ++k) {
    if (!from_master[k] && vars[k].name == mname)
      return msg_quoting(ip.out, "", mname, " already defined in using data\n", 110);
    is_key.push_back(from_master[k] && std::find(mkeys.begin(), mkeys.end(), from_master[k]) != mkeys.end());
  }
  {
    data::Variable v;
    v.name = mname;
    v.type = data::kByte;
    v.format = data::default_format(data::kByte);
    vars.push_back(v);
    from_master.push_back(0);
    from_file.push_back(0);
    is_key.push_back(0);
  }

  // The plan: which master and using observation make each row.
  std::vector<Row> rows;
  const std::int64_t nm = master.nobs(), nu = file.nobs();
  try {
    if (!matched) {
      rows.resize(static_cast<std::size_t>(std::max(nm, nu)));
      for (std::int64_t r = 0; r < static_cast<std::int64_t>(rows.size()); ++r) {
        Row& w = rows[static_cast<std::size_t>(r)];
        w.m = r < nm ? r + 1 : 0;
        w.u = r < nu ? r + 1 : 0;
        w.code = w.m && w.u ? 3 : (w.m ? 1 : 2);
      }
    } else {
      std::vector<std::int64_t> mo, uo;
      if (!key_order(master, mkeys, may_sort, &mo))
        return msg_quoting(ip.out, "master data not sorted\n", "", "", 5);
      if (!key_order(file, ukeys, may_sort, &uo))
        return msg_quoting(ip.out, "using data not sorted\n", "", "", 5);
      if (uniq_master && !keys_unique(master, mkeys, mo))
        return msg_quoting(ip.out, "{p 0 4}variable(s) ", key_names(master, mkeys),
                           " do not uniquely identify observations in the master data{p_end}\n", 459);
      if (uniq_using && !keys_unique(file, ukeys, uo))
        return msg_quoting(ip.out, "{p 0 4}variable(s) ", key_names(master, mkeys),
                           " do not uniquely identify observations in the using data{p_end}\n", 459);
      rows.reserve(static_cast<std::size_t>(std::max(nm, nu)));
      std::size_t a = 0, b = 0;
      while (a < mo.size() || b < uo.size()) {
        int c = a == mo.size() ? 1 : (b == uo.size() ? -1 : compare_keys(master, mkeys, mo[a], file, ukeys, uo[b]));
        if (c < 0) {
          rows.push_back({mo[a++], 0, 1});
        } else if (c > 0) {
          rows.push_back({0, uo[b++], 2});
        } else {
          // A group of equal keys: observations paired in order, the last
          // one of the shorter side standing in for the rest.
          std::size_t a1 = a, b1 = b;
          while (a1 < mo.size() && data::compare_observations(master, mkeys, mo[a], mo[a1]) == 0) ++a1;
          while (b1 < uo.size() && data::compare_observations(file, ukeys, uo[b], uo[b1]) == 0) ++b1;
          std::size_t n = std::max(a1 - a, b1 - b);
          for (std::size_t t = 0; t < n; ++t)
            rows.push_back({mo[std::min(a + t, a1 - 1)], uo[std::min(b + t, b1 - 1)], 3});
          a = a1;
          b = b1;
        }
      }
    }
  } catch (const std::bad_alloc&) {
    return rc_message(ip, 909);
  }

  std::vector<Row> kept_rows;
  if (nokeep) {
    for (const Row& w : rows)
      if (w.code != 2) kept_rows.push_back(w);
    rows.swap(kept_rows);
  }

  Dataset out(master.memory());
  out.set_maxvar(master.maxvar());
  out.set_varabbrev(master.varabbrev());
  const auto n = static_cast<std::int64_t>(rows.size());
  if (rc_t rc = out.install_variables(vars)) return rc_message(ip, rc);
  if (rc_t rc = out.prepare_load(n)) return rc_message(ip, rc);
  const int ncode = static_cast<int>(vars.size());
  for (int j = 1; j < ncode; ++j) {
    int mj = from_master[static_cast<std::size_t>(j - 1)], uj = from_file[static_cast<std::size_t>(j - 1)];
    bool key = is_key[static_cast<std::size_t>(j - 1)];
    for (std::int64_t r = 0; r < n; ++r) {
      Row& w = rows[static_cast<std::size_t>(r)];
      // Which side's value the row takes: the master's wherever it has
      // the observation and the variable, except where update fills or
      // replace overrides; else the using side's when it has both.
      bool use_master = w.m && mj;
      if (use_master && w.u && uj && update && !key) {
        bool mmiss = value_missing(master, mj, w.m), umiss = value_missing(file, uj, w.u);
        if (mmiss && !umiss) {
          use_master = false;
          if (w.code == 3) w.code = 4;
        } else if (!mmiss && !umiss && !values_equal(master, mj, w.m, file, uj, w.u)) {
          w.code = 5;
          use_master = !replace;
        }
      }
      if (use_master) copy_value(master, mj, w.m, out, j, r);
      else if (w.u && uj) copy_value(file, uj, w.u, out, j, r);
      else data::store_missing(out.type(j), out.load_slot(r) + out.offset(j));
    }
  }
  for (std::int64_t r = 0; r < n; ++r)
    data::store_value(data::kByte, out.load_slot(r) + out.offset(ncode), rows[static_cast<std::size_t>(r)].code);
  out.finish_load(n);

  // Labels and characteristics: those in memory win; the new variables
  // bring theirs from the file.
  std::vector<std::string> kept;
  dta::combine_labels(master, file, out, true, &kept);
  if (matched) {
    std::vector<int> list;
    for (int j : mkeys) list.push_back(j);
    out.set_sort_list(list);
  } else if (nu <= nm && !update) {
    // Observations keep their places and (without update) their values,
    // so the order known in memory still holds.
    std::vector<int> list(master.sort_list().begin(), master.sort_list().end());
    out.set_sort_list(list);
  }

  dta::install_combined(ip, master, out, vars, from_master, kept);
  return 0;
}

}  // namespace nuvra
