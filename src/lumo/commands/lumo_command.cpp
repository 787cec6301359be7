// The `lumo` command: the environment that reads Lumo statements and
// definitions until `end`, `lumo:` for a single statement, and the
// environment's own commands.
#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include <unistd.h>

#include "data/format.h"
#include "data/storage.h"
#include "data/value_labels.h"
#include "interp/builtins.h"
#include "interp/creturn.h"
#include "interp/expand.h"
#include "interp/interp.h"
#include "interp/line_source.h"
#include "interp/macro_functions.h"
#include "interp/messages.h"
#include "interp/programs.h"
#include "interp/runner.h"
#include "lumo/builtins.h"
#include "lumo/commands/lumo_files.h"
#include "lumo/commands/lumo_session.h"
#include "lumo/host.h"
#include "lumo/session.h"

namespace nuvra {

namespace {

using output::OutClass;

class CommandHost : public lumo::Host {
 public:
  explicit CommandHost(Interp& ip) : ip_(ip) {}
  void Print(lumo::Style style, std::string_view nmcl) override {
    OutClass cls = style == lumo::Style::Error    ? OutClass::Error
                   : style == lumo::Style::Result ? OutClass::Result
                   : style == lumo::Style::Input  ? OutClass::Input
                                                  : OutClass::Text;
    ip_.out.markup(cls, nmcl);
  }
  bool PollBreak() override { return ip_.poll_break(); }

  int64_t DataObs() override { return ip_.dataset.nobs(); }
  int DataVars() override { return ip_.dataset.nvar(); }
  bool DataIsString(int var) override { return ip_.dataset.is_string(var); }
  int DataFindVar(std::string_view name) override { return ip_.dataset.find_exact(name); }
  uint64_t DataVarId(int var) override { return ip_.dataset.var(var).id; }
  int DataVarById(uint64_t id) override { return ip_.dataset.find_by_id(id); }
  double DataNumber(int64_t obs, int var) override { return ip_.dataset.fetch(var, obs); }
  std::string DataString(int64_t obs, int var) override { return ip_.dataset.fetch_str(var, obs); }
  rc_t DataStoreBlock(const std::vector<int64_t>& obs, const std::vector<int>& vars, const double* values) override {
    return StoreAll(obs.size() * vars.size(), BlockCell{obs, vars}, values);
  }
  rc_t DataStoreStringBlock(const std::vector<int64_t>& obs, const std::vector<int>& vars,
                            const std::vector<std::string_view>& values) override {
    return StoreAllStrings(values.size(), BlockCell{obs, vars}, values);
  }
  rc_t DataStoreCells(const std::vector<int64_t>& obs, const std::vector<int>& vars, const double* values) override {
    return StoreAll(obs.size(), ListCell{obs, vars}, values);
  }
  rc_t DataStoreStringCells(const std::vector<int64_t>& obs, const std::vector<int>& vars,
                            const std::vector<std::string_view>& values) override {
    return StoreAllStrings(values.size(), ListCell{obs, vars}, values);
  }
  // Values were stored into these variables: the data are no longer known
  // to be sorted by any of them, nor by a key after one.
  void ForgetOrderBy(const std::vector<int>& vars) {
    for (int j : vars) ip_.dataset.cut_sort_list_at(j);
  }
  // The types the stores need are worked out first and the variables
  // widened before any cell is written, so a refused widening leaves the
  // dataset as it was.  Each value is kept as the type its variable had
  // reached at its turn, as stores one by one would keep it.
  template <class Cell>
  rc_t StoreAll(size_t count, Cell cell, const double* values) {
    data::Dataset& ds = ip_.dataset;
    std::vector<int> type(static_cast<size_t>(ds.nvar()) + 1, -1), order;
    std::vector<double> kept(count);
    for (size_t k = 0; k < count; ++k) {
      int j = cell(k).second;
      int& t = type[static_cast<size_t>(j)];
      if (t < 0) {
        t = ds.type(j);
        order.push_back(j);
      }
      t = data::Dataset::promoted_type(t, values[k]);
      char buf[8];
      data::store_value(t, buf, values[k]);
      kept[k] = data::fetch_value(t, buf);
    }
    if (rc_t rc = Widen(order, type)) return rc;
    for (size_t k = 0; k < count; ++k) ds.store(cell(k).second, cell(k).first, kept[k]);
    ForgetOrderBy(order);
    if (count) ds.set_changed(true);
    return 0;
  }
  template <class Cell>
  rc_t StoreAllStrings(size_t count, Cell cell, const std::vector<std::string_view>& values) {
    data::Dataset& ds = ip_.dataset;
    std::vector<int> type(static_cast<size_t>(ds.nvar()) + 1, -1), order;
    for (size_t k = 0; k < count; ++k) {
      int j = cell(k).second;
      int& t = type[static_cast<size_t>(j)];
      if (t < 0) {
        t = ds.type(j);
        order.push_back(j);
      }
      t = std::max(t, static_cast<int>(std::min<size_t>(values[k].size(), data::kStrMax)));
    }
    if (rc_t rc = Widen(order, type)) return rc;
    for (size_t k = 0; k < count; ++k) ds.store_str(cell(k).second, cell(k).first, values[k]);
    ForgetOrderBy(order);
    if (count) ds.set_changed(true);
    return 0;
  }
  bool DataColumn(int var, data::Column* out) override {
    *out = ip_.dataset.column(var);
    return true;
  }
  // A value the variable cannot hold widens its type first, as replace
  // does; the store itself cannot fail.
  rc_t DataStore(int64_t obs, int var, double v) override {
    data::Dataset& ds = ip_.dataset;
    int type = 0;
    if (rc_t rc = ds.promote_for_value(var, v, &type)) return rc_message(ip_, rc);
    ds.store(var, obs, v);
    ds.cut_sort_list_at(var);
    ds.set_changed(true);
    return 0;
  }
  rc_t DataStoreString(int64_t obs, int var, std::string_view s) override {
    data::Dataset& ds = ip_.dataset;
    int need = static_cast<int>(std::min<size_t>(s.size(), data::kStrMax));
    if (need > ds.type(var)) {
      rc_t rc = ds.recast(var, need);
      if (rc == 901 || rc == 902 || rc == 1010) rc = 903;
      if (rc) return rc_message(ip_, rc);
    }
    ds.store_str(var, obs, s);
    ds.cut_sort_list_at(var);
    ds.set_changed(true);
    return 0;
  }

  std::string DataVarName(int var) override { return ip_.dataset.name(var); }
  std::string DataVarType(int var) override { return data::type_name(ip_.dataset.type(var)); }
  rc_t DataAddVar(std::string_view type, std::string_view name, int* var) override {
    int t = data::parse_type_name(type);
    if (t <= 0) return rc_message(ip_, 198);
    std::string msg;
    rc_t rc = ip_.dataset.add_variable(name, t, var, &msg);
    if (rc) {
      if (!msg.empty()) ip_.out.markup(OutClass::Error, msg + "\n");
      return msg.empty() ? rc_message(ip_, rc) : rc;
    }
    ip_.dataset.set_changed(true);
    return 0;
  }
  void DataDropVars(const std::vector<int>& vars) override {
    if (!vars.empty()) ip_.dataset.drop_variables(vars);
  }
  rc_t DataAddObs(int64_t count) override {
    if (rc_t rc = ip_.dataset.set_obs(ip_.dataset.nobs() + count)) return rc_message(ip_, rc);
    ip_.dataset.set_changed(true);
    return 0;
  }

  // Recasts each of vars to its type in want (indexed by variable); a
  // refusal undoes the recasts made before it, which only narrow back
  // types that hold no value they cannot, and leaves the dataset's
  // changed flag as it was.
  rc_t Widen(const std::vector<int>& vars, const std::vector<int>& want) {
    data::Dataset& ds = ip_.dataset;
    const bool changed = ds.changed();
    std::vector<int> from;
    for (size_t u = 0; u < vars.size(); ++u) {
      int j = vars[u];
      from.push_back(ds.type(j));
      if (want[static_cast<size_t>(j)] == from.back()) continue;
      if (rc_t rc = ds.recast(j, want[static_cast<size_t>(j)])) {
        for (size_t v = u; v-- > 0;)
          if (ds.type(vars[v]) != from[v]) ds.recast(vars[v], from[v]);
        ds.set_changed(changed);
        if (rc == 901 || rc == 902 || rc == 1010) rc = 903;
        return rc_message(ip_, rc);
      }
    }
    return 0;
  }

  void More() override { ip_.out.stream().more_now(); }
  bool SetMore(bool on) override {
    bool was = ip_.more;
    ip_.more = on;
    ip_.out.stream().set_more_enabled(on);
    return was;
  }

  size_t MacroLengthLimit() override { return kMacroLengthLimit; }
  bool GetLocal(std::string_view name, std::string* out) override { return Found(ip_.macros.local(name), out); }
  rc_t SetLocal(std::string_view name, std::string_view text) override {
    ip_.macros.set_local(name, text);
    return 0;
  }
  bool GetMacro(lumo::Space space, std::string_view name, std::string* out) override {
    if (space == lumo::Space::Global) return Found(ip_.macros.global(name), out);
    if (space == lumo::Space::C) {
      CValue v;
      if (!c_value(ip_, name, &v)) return false;
      *out = c_text(ip_, name);
      return true;
    }
    const SavedResults& r = Results(space);
    auto it = r.macros.find(std::string(name));
    return it != r.macros.end() && Found(&it->second, out);
  }
  rc_t SetMacro(lumo::Space space, std::string_view name, std::string_view text) override {
    if (space == lumo::Space::Global) ip_.macros.set_global(name, text);
    else Results(space).macros[std::string(name)] = std::string(text);
    return 0;
  }
  bool GetChar(std::string_view owner, std::string_view name, std::string* out) override {
    return Found(ip_.dataset.chars().get(owner, name), out);
  }
  rc_t SetChar(std::string_view owner, std::string_view name, std::string_view text) override {
    std::string msg;
    if (rc_t rc = ip_.dataset.chars().set(owner, name, text, &msg)) return rc_message(ip_, rc);
    ip_.dataset.set_changed(true);
    return 0;
  }
  bool GetScalar(lumo::Space space, std::string_view name, double* out) override {
    if (space == lumo::Space::Global) {
      auto it = ip_.scalars.find(std::string(name));
      if (it == ip_.scalars.end() || it->second.is_string) return false;
      *out = it->second.num;
      return true;
    }
    const SavedResults& r = Results(space);
    auto it = r.scalars.find(std::string(name));
    if (it == r.scalars.end()) return false;
    *out = it->second;
    return true;
  }
  rc_t SetScalar(lumo::Space space, std::string_view name, double v) override {
    if (space == lumo::Space::Global) ip_.scalars[std::string(name)] = ScalarValue{false, v, {}};
    else Results(space).scalars[std::string(name)] = v;
    return 0;
  }
  bool GetMatrix(lumo::Space space, std::string_view name, lumo::HostMatrix* out) override {
    const auto& store = space == lumo::Space::Global ? ip_.matrices : Results(space).matrices;
    auto it = store.find(std::string(name));
    if (it == store.end()) return false;
    const stats::Matrix& a = it->second;
    out->rows = a.rows;
    out->cols = a.cols;
    out->v = a.v;
    out->rownames = a.rownames;
    out->colnames = a.colnames;
    out->roweq = a.roweq;
    out->coleq = a.coleq;
    return true;
  }
  rc_t SetMatrix(lumo::Space space, std::string_view name, const lumo::HostMatrix& m) override {
    stats::Matrix a;
    a.rows = m.rows;
    a.cols = m.cols;
    a.v = m.v;
    a.rownames = m.rownames;
    a.colnames = m.colnames;
    a.roweq = m.roweq;
    a.coleq = m.coleq;
    auto& store = space == lumo::Space::Global ? ip_.matrices : Results(space).matrices;
    store[std::string(name)] = std::move(a);
    return 0;
  }
  void ClearResults(lumo::Space space) override {
    Results(space).clear();
    if (space == lumo::Space::E) ip_.dataset.drop_esample();
  }
  rng::RandomState& Random() override { return ip_.random; }
  rc_t RunCommand(std::string_view line) override {
    ++running_commands;
    rc_t rc = ip_.execute_line(line);
    --running_commands;
    return rc;
  }
  // Commands run from Lumo now; Lumo itself cannot be entered again from
  // one of them (the machine is in the middle of a statement).
  int running_commands = 0;
  // The version in force when `lumo` was entered.
  int caller_version = kExecutableVersion;

  RegexMatch* RegexState() override { return &ip_.last_regex; }
  int Version() override { return ip_.version; }
  rc_t SetVersion(int v) override {
    if (v < 100 || v > kExecutableVersion) return 3300;
    ip_.version = v;
    return 0;
  }
  int CallerVersion() override { return caller_version; }
  // Lumo's stopwatches are the `timer` command's: starting one that runs,
  // or stopping one that does not, changes nothing.
  void TimerClear(int t) override {
    if (t == 0) ip_.timers.fill(TimerStopwatch{});
    else ip_.timers[size_t(t)] = TimerStopwatch{};
  }
  void TimerOn(int t) override {
    TimerStopwatch& w = ip_.timers[size_t(t)];
    if (w.on) return;
    w.on = true;
    w.started = ip_.session_clock->now();
  }
  void TimerOff(int t) override {
    TimerStopwatch& w = ip_.timers[size_t(t)];
    if (!w.on) return;
    w.on = false;
    w.total += std::chrono::duration<double>(ip_.session_clock->now() - w.started).count();
    ++w.count;
  }
  void TimerValue(int t, double* seconds, double* count) override {
    const TimerStopwatch& w = ip_.timers[size_t(t)];
    *seconds = w.total;
    *count = double(w.count);
  }
  bool BreakPending() override {
    ip_.poll_break();
    return ip_.break_request;
  }
  void BreakReset() override { ip_.break_request = false; }
  bool SetBreakInterrupts(bool on) override {
    bool was = ip_.break_allowed;
    ip_.break_allowed = on;
    return was;
  }
  bool GetCValue(std::string_view name, bool* is_string, double* num, std::string* text) override {
    CValue v;
    if (!c_value(ip_, name, &v)) return false;
    *is_string = v.is_string;
    *num = v.num;
    *text = v.str;
    return true;
  }

  std::string DataVarFormat(int var) override { return ip_.dataset.format(var); }
  rc_t DataSetVarFormat(int var, std::string_view fmt) override {
    data::Format f;
    if (!data::parse_format(fmt, &f) || !data::valid_for_type(f, ip_.dataset.is_string(var))) return 3300;
    if (rc_t rc = ip_.dataset.set_format(var, fmt)) return rc_message(ip_, rc);
    ip_.dataset.set_changed(true);
    return 0;
  }
  std::string DataVarLabel(int var) override { return ip_.dataset.label(var); }
  rc_t DataSetVarLabel(int var, std::string_view text) override {
    ip_.dataset.set_label(var, text);
    ip_.dataset.set_changed(true);
    return 0;
  }
  std::string DataVarValueLabel(int var) override { return ip_.dataset.value_label_name(var); }
  rc_t DataSetVarValueLabel(int var, std::string_view name) override {
    std::string msg;
    if (rc_t rc = ip_.dataset.set_value_label_name(var, name, &msg)) return Refused(rc, msg);
    ip_.dataset.set_changed(true);
    return 0;
  }
  rc_t DataRenameVar(int var, std::string_view name) override {
    std::string msg;
    if (rc_t rc = ip_.dataset.rename_variable(var, name, &msg)) return Refused(rc, msg);
    ip_.dataset.set_changed(true);
    return 0;
  }
  rc_t DataDropVariables(const std::vector<int>& vars) override {
    if (vars.empty()) return 0;
    if (rc_t rc = ip_.dataset.drop_variables(vars)) return rc_message(ip_, rc);
    ip_.dataset.set_changed(true);
    return 0;
  }
  rc_t DataKeepObs(const std::vector<char>& keep) override {
    if (rc_t rc = ip_.dataset.keep_observations(keep)) return rc_message(ip_, rc);
    ip_.dataset.set_changed(true);
    return 0;
  }
  bool LabelExists(std::string_view name) override { return ip_.dataset.value_labels().exists(name); }
  bool LabelGet(std::string_view name, std::vector<std::pair<int32_t, std::string>>* out) override {
    const data::ValueLabel* vl = ip_.dataset.value_labels().get(name);
    if (!vl) return false;
    out->clear();
    for (int32_t i = 0; i < vl->size(); ++i) out->emplace_back(vl->value_at(i), std::string(vl->text_at(i)));
    return true;
  }
  rc_t LabelSet(std::string_view name, const std::vector<std::pair<int32_t, std::string>>& pairs) override {
    std::map<int32_t, std::string> entries(pairs.begin(), pairs.end());
    data::ValueLabel table;
    if (rc_t rc = data::ValueLabel::encode(entries, &table)) return rc_message(ip_, rc);
    std::string msg;
    if (rc_t rc = ip_.dataset.value_labels().put(name, std::move(table), &msg)) return Refused(rc, msg);
    ip_.dataset.set_changed(true);
    return 0;
  }
  void LabelDrop(std::string_view name) override {
    if (ip_.dataset.value_labels().drop(name)) ip_.dataset.set_changed(true);
  }
  // The names tempvar and tempfile hand out; the running frame drops or
  // removes them when it ends.
  std::string TempName() override {
    char buf[32];
    std::snprintf(buf, sizeof buf, "__%06u", ip_.tempname_counter++);
    ip_.temp_vars.back().emplace_back(buf);
    return buf;
  }
  std::string TempFileName() override {
    std::string dir = ip_.tmpdir.empty() ? std::string("/tmp") : ip_.tmpdir;
    if (dir.back() != '/') dir.push_back('/');
    std::string path;
    do {
      char name[64];
      std::snprintf(name, sizeof name, "nv%d_%06u.tmp", ip_.pid, ++ip_.tempfile_counter);
      path = dir + name;
    } while (::access(path.c_str(), F_OK) == 0);
    register_tempfile(ip_, path);
    return path;
  }
  bool DataChanged() override { return ip_.dataset.changed(); }
  void SetDataChanged(bool changed) override { ip_.dataset.set_changed(changed); }
  // Saved results hold their strings as macros; the host's own string
  // scalars live beside its numeric ones.
  bool GetStrScalar(lumo::Space space, std::string_view name, std::string* out) override {
    if (space != lumo::Space::Global) return GetMacro(space, name, out);
    auto it = ip_.scalars.find(std::string(name));
    if (it == ip_.scalars.end() || !it->second.is_string) return false;
    *out = it->second.str;
    return true;
  }
  rc_t SetStrScalar(lumo::Space space, std::string_view name, std::string_view text) override {
    if (space != lumo::Space::Global) return SetMacro(space, name, text);
    ip_.scalars[std::string(name)] = ScalarValue{true, 0, std::string(text)};
    return 0;
  }
  bool ListNames(std::string_view kind, std::string_view type, lumo::Space space,
                 std::vector<std::string>* out) override {
    out->clear();
    if (kind == "char") {
      if (space != lumo::Space::Global) return false;
      if (type != "_dta" && ip_.dataset.find_exact(type) == 0) return false;
      for (const auto& e : ip_.dataset.chars().entries(type)) out->push_back(e.name);
    } else if (kind == "local") {
      if (type != "macro" || space != lumo::Space::Global) return false;
      *out = ip_.macros.local_names();
    } else if (kind == "global") {
      if (space == lumo::Space::Global) {
        if (type == "macro") *out = ip_.macros.global_names();
        else if (type == "numscalar" || type == "strscalar") {
          for (const auto& [name, v] : ip_.scalars)
            if (v.is_string == (type == "strscalar")) out->push_back(name);
        } else if (type == "matrix") {
          for (const auto& [name, m] : ip_.matrices) out->push_back(name);
        } else {
          return false;
        }
      } else {
        const SavedResults& r = Results(space);
        if (type == "macro" || type == "strscalar") {
          for (const auto& [name, text] : r.macros) out->push_back(name);
        } else if (type == "numscalar") {
          for (const auto& [name, v] : r.scalars) out->push_back(name);
        } else if (type == "matrix") {
          for (const auto& [name, m] : r.matrices) out->push_back(name);
        } else {
          return false;
        }
      }
    } else {
      return false;
    }
    std::sort(out->begin(), out->end());
    return true;
  }
  rc_t ExpandMacros(std::string_view text, std::string* out) override {
    *out = std::string(text);
    return expand_macros(ip_, *out);
  }
  bool FindOnPath(std::string_view file, std::string* path) override {
    return find_file_along_path(ip_, std::string(file), 1, path);
  }

 private:
  rc_t Refused(rc_t rc, const std::string& msg) {
    if (msg.empty()) return rc_message(ip_, rc);
    ip_.out.markup(OutClass::Error, msg + "\n");
    return rc;
  }
  static bool Found(const std::string* s, std::string* out) {
    if (!s) return false;
    *out = *s;
    return true;
  }
  SavedResults& Results(lumo::Space space) {
    return space == lumo::Space::R ? ip_.r_results : space == lumo::Space::E ? ip_.e_results : ip_.s_results;
  }
  Interp& ip_;
};

struct LumoState {
  explicit LumoState(Interp& ip) : host(ip), session(host) { attach_libraries(ip, session); }
  CommandHost host;
  lumo::Session session;
  int depth = 0;  // `lumo` environments open
};

LumoState& State(Interp& ip) {
  if (!ip.lumo_state) ip.lumo_state = std::make_shared<LumoState>(ip);
  return *static_cast<LumoState*>(ip.lumo_state.get());
}

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
  return s;
}

// The environment's own commands, and the host command that does each.
struct EnvCommand {
  const char* word;
  const char* host_command;
};
constexpr EnvCommand kEnvCommands[] = {
    {"clear", "lumo_clear"},     {"describe", "lumo_describe"}, {"drop", "lumo_drop"},
    {"help", "help"},            {"matuse", "lumo_matuse"},     {"matsave", "lumo_matsave"},
    {"matdescribe", "lumo_matdescribe"}, {"memory", "lumo_memory"}, {"mlib", "lumo_mlib"},
    {"mosave", "lumo_mosave"},   {"which", "lumo_which"},       {"query", "query"},
    {"rename", "lumo_rename"},   {"nuvra", ""},                 {"disassemble", nullptr},
};

// Splits off the first word.
std::string_view FirstWord(std::string_view s, std::string_view* rest) {
  s = Trim(s);
  size_t n = 0;
  while (n < s.size() && s[n] != ' ' && s[n] != '\t') ++n;
  *rest = Trim(s.substr(n));
  return s.substr(0, n);
}

// A line is one of the environment's commands when its first word is one
// and what follows cannot continue a statement.
const EnvCommand* EnvCommandOf(std::string_view line) {
  std::string_view rest;
  std::string_view word = FirstWord(line, &rest);
  for (const EnvCommand& c : kEnvCommands) {
    if (word != c.word) continue;
    if (rest.empty() || std::string_view("=[(:+-*/,\\'.^&|<>!?#").find(rest.front()) == std::string_view::npos)
      return &c;
  }
  return nullptr;
}

void PrintPlain(Interp& ip, OutClass cls, std::string_view text) {
  ip.out.set_class(cls);
  ip.out.print_plain(text);
}

// disassemble name() | disassemble statements
rc_t Disassemble(Interp& ip, LumoState& st, std::string_view what) {
  if (what.size() > 2 && what.substr(what.size() - 2) == "()" && what.find_first_of(" (") == what.size() - 2) {
    std::string name(what.substr(0, what.size() - 2));
    std::string listing = st.session.DisassembleFunction(name);
    if (listing.empty()) {
      ip.out.markup(OutClass::Error, "function " + name + "() not found\n");
      return 3499;
    }
    PrintPlain(ip, OutClass::Result, listing);
    return 0;
  }
  bool incomplete;
  std::string listing = st.session.DisassembleText(what, &incomplete);
  if (incomplete) {
    ip.out.markup(OutClass::Error, "<istmt> incomplete\n");
    return lumo::kCompileError;
  }
  if (listing.empty()) return lumo::kCompileError;
  PrintPlain(ip, OutClass::Result, listing);
  return 0;
}

rc_t EnvMemory(Interp& ip, std::string_view args);
rc_t EnvDescribe(Interp& ip, std::string_view args);
rc_t EnvClear(Interp& ip, std::string_view args);
rc_t EnvDrop(Interp& ip, std::string_view args);
rc_t EnvRename(Interp& ip, std::string_view args);
rc_t EnvWhich(Interp& ip, std::string_view args);

// The environment's commands that are carried out here.
struct EnvHandler {
  const char* word;
  rc_t (*run)(Interp&, std::string_view);
};
constexpr EnvHandler kEnvHandlers[] = {
    {"memory", EnvMemory}, {"describe", EnvDescribe}, {"clear", EnvClear},
    {"drop", EnvDrop},     {"rename", EnvRename},     {"which", EnvWhich},
    {"mosave", lumo_mosave}, {"matsave", lumo_matsave}, {"matuse", lumo_matuse}, {"matdescribe", lumo_matdescribe},
};

rc_t RunEnvCommand(Interp& ip, LumoState& st, const EnvCommand& c, std::string_view line) {
  std::string_view rest;
  FirstWord(line, &rest);
  if (!c.host_command) return Disassemble(ip, st, rest);
  for (const EnvHandler& h : kEnvHandlers)
    if (std::string_view(c.word) == h.word) return h.run(ip, rest);
  if (!*c.host_command) return ip.execute_line(rest);
  std::string cmd = std::string(c.host_command) + (rest.empty() ? "" : " ") + std::string(rest);
  return ip.execute_line(cmd);
}

// One statement (lumo: ...).
rc_t RunOne(Interp& ip, LumoState& st, std::string_view text) {
  rc_t rc;
  if (st.session.Run(text, &rc) == lumo::Session::Outcome::kIncomplete) {
    ip.out.markup(OutClass::Error, "<istmt> incomplete\n");
    return lumo::kCompileError;
  }
  return rc;
}

rc_t Environment(Interp& ip, LumoState& st) {
  if (ip.sources.empty()) return 612;
  LineSource* src = ip.sources.back();
  ip.out.markup(OutClass::Text, "{hline 49} lumo (type {cmd:end} to exit) {hline}\n");
  ++st.depth;
  st.session.nesting = st.depth;
  struct DepthGuard {
    LumoState& st;
    ~DepthGuard() {
      --st.depth;
      st.session.nesting = st.depth > 0 ? st.depth : 1;
    }
  } guard{st};
  std::string pending;
  for (;;) {
    std::string line;
    if (!src->read(ip, line, pending.empty() ? ": " : "> ")) {
      if (src->is_window()) return 0;
      ip.out.markup(OutClass::Error, "\nunexpected end of file (end statement missing)\n");
      return 612;
    }
    if (pending.empty()) {
      std::string_view t = Trim(line);
      if (t == "end") return 0;
      if (t.empty()) continue;
      if (const EnvCommand* c = EnvCommandOf(t)) {
        rc_t rc = RunEnvCommand(ip, st, *c, t);
        if (rc && !src->is_window()) return rc;
        if (rc) ip.end_of_command_report(rc);
        continue;
      }
    }
    pending += line;
    pending += '\n';
    rc_t rc;
    if (st.session.Run(pending, &rc) == lumo::Session::Outcome::kIncomplete) continue;
    pending.clear();
    if (rc && !src->is_window()) return rc;
    if (rc) ip.end_of_command_report(rc);
  }
}

// The words of a command's arguments.
std::vector<std::string> Words(std::string_view s) {
  std::vector<std::string> out;
  while (true) {
    std::string_view rest;
    std::string_view w = FirstWord(s, &rest);
    if (w.empty()) break;
    out.emplace_back(w);
    s = rest;
  }
  return out;
}

// The organisation a value's extent shows.
const char* OrgOfExtent(const lumo::ValueRecord* v) {
  if (v->rows == 1 && v->cols == 1) return "scalar";
  if (v->rows == 1) return "rowvector";
  if (v->cols == 1) return "colvector";
  return "matrix";
}

// True when name is "name()" (a function); name is then the bare name.
bool FunctionName(std::string* name) {
  if (name->size() > 2 && name->compare(name->size() - 2, 2, "()") == 0) {
    name->resize(name->size() - 2);
    return true;
  }
  return false;
}

// lumo memory: counts and bytes of the functions and values.
rc_t EnvMemory(Interp& ip, std::string_view) {
  LumoState& st = State(ip);
  lumo::Values::MemoryStats m = st.session.values().Memory();
  static const char* const kLabels[] = {"autoloaded functions", "ado functions", "defined functions", "matrices & scalars"};
  char buf[160];
  std::string out = "\n{txt}{col 28}#{col 40}bytes\n{hline 44}\n";
  for (int c = 0; c < lumo::Values::kMemoryClasses; ++c) {
    std::snprintf(buf, sizeof buf, "%-22s{res}%8zu %12zu{txt}\n", kLabels[c], m.count[c], m.bytes[c]);
    out += buf;
  }
  std::snprintf(buf, sizeof buf, "%-22s{res}%8s %12zu{txt}\n", "overhead", "", m.overhead);
  out += buf;
  out += "{hline 44}\n";
  std::snprintf(buf, sizeof buf, "%-22s{res}%8zu %12zu{txt}\n", "total", m.total_count, m.total_bytes);
  out += buf;
  ip.out.markup(OutClass::Text, out);
  ip.r_results.clear();
  auto& r = ip.r_results.scalars;
  r["Nf_al"] = double(m.count[lumo::Values::kAutoloaded]);
  r["Nf_ado"] = double(m.count[lumo::Values::kAdo]);
  r["Nf_def"] = double(m.count[lumo::Values::kDefined]);
  r["Ntotal"] = double(m.total_count);
  r["Mf_al"] = double(m.bytes[lumo::Values::kAutoloaded]);
  r["Mf_ado"] = double(m.bytes[lumo::Values::kAdo]);
  r["Mf_def"] = double(m.bytes[lumo::Values::kDefined]);
  r["Mtotal"] = double(m.total_bytes);
  return 0;
}

// lumo describe [names]: the functions and globals with their sizes.
rc_t EnvDescribe(Interp& ip, std::string_view args) {
  LumoState& st = State(ip);
  lumo::Values& values = st.session.values();
  std::vector<std::string> want = Words(args);
  auto listed = [&](const std::string& name) {
    return want.empty() || std::find(want.begin(), want.end(), name) != want.end();
  };
  char buf[200];
  std::string out = "\n{txt}      # bytes   type{col 37}name and extent\n{hline 79}\n";
  for (const lumo::FunctionRecord* f : values.functions()) {
    std::string shown = std::string(f->name) + "()";
    if (!listed(shown)) continue;
    std::string type = f->result_el == lumo::kCtStructdef ? std::string("struct")
                                                          : std::string(lumo::ct_el_name(f->result_el)) + " " +
                                                                lumo::ct_org_name(f->result_org);
    std::snprintf(buf, sizeof buf, "{res}%12u{txt}   %-24s{res}%s", f->allocated, type.c_str(), shown.c_str());
    out += buf;
    // An autoloaded function names the file it came from.
    const std::string& origin = st.session.libraries().Origin(f->name);
    out += f->autoloaded && !origin.empty() ? "{txt}  (" + origin + ")\n" : std::string("\n");
  }
  for (const std::string& name : values.direxternal()) {
    if (!listed(name)) continue;
    const lumo::ValueRecord* v = values.FindGlobal(name);
    std::string type = std::string(lumo::eltype_name(v->eltype)) + " " + OrgOfExtent(v);
    std::snprintf(buf, sizeof buf, "{res}%12zu{txt}   %-24s{res}%s[%d,%d]\n", lumo::Values::ValueBytes(v), type.c_str(),
                  name.c_str(), v->rows, v->cols);
    out += buf;
  }
  out += "{txt}{hline 79}\n";
  ip.out.markup(OutClass::Text, out);
  return 0;
}

// lumo clear: every global and every function goes.
rc_t EnvClear(Interp& ip, std::string_view) {
  LumoState& st = State(ip);
  lumo::Values& values = st.session.values();
  for (const std::string& name : values.direxternal()) values.rmexternal(name);
  std::vector<std::string> fns;
  for (const lumo::FunctionRecord* f : values.functions()) fns.emplace_back(f->name);
  for (const std::string& name : fns) values.DropFunction(name);
  values.TrimFreeLists();
  return 0;
}

// lumo drop names: globals by name, functions as "name()".  Nothing is
// dropped unless every name exists.
rc_t EnvDrop(Interp& ip, std::string_view args) {
  LumoState& st = State(ip);
  lumo::Values& values = st.session.values();
  std::vector<std::string> names = Words(args);
  if (names.empty()) {
    ip.out.markup(OutClass::Error, "nothing to drop\n");
    return 198;
  }
  for (std::string name : names) {
    bool fn = FunctionName(&name);
    if (fn ? !values.FindFunction(name) : !values.FindGlobal(name)) {
      ip.out.markup(OutClass::Error, name + (fn ? "() not found\n" : " not found\n"));
      return 111;
    }
  }
  for (std::string name : names) {
    if (FunctionName(&name)) values.DropFunction(name);
    else values.rmexternal(name);
  }
  return 0;
}

// lumo rename old new: a global takes a new name.
rc_t EnvRename(Interp& ip, std::string_view args) {
  LumoState& st = State(ip);
  lumo::Values& values = st.session.values();
  std::vector<std::string> names = Words(args);
  if (names.size() != 2) {
    ip.out.markup(OutClass::Error, "syntax is {cmd:lumo rename} {it:oldname} {it:newname}\n");
    return 198;
  }
  lumo::ValueRecord* v = values.FindGlobal(names[0]);
  if (!v) {
    ip.out.markup(OutClass::Error, names[0] + " not found\n");
    return 111;
  }
  const std::string& to = names[1];
  bool valid = !to.empty() && to.size() < lumo::kNameBytes - 2 && (std::isalpha((unsigned char)to[0]) || to[0] == '_') &&
               std::all_of(to.begin(), to.end(), [](char c) { return std::isalnum((unsigned char)c) || c == '_'; });
  if (!valid) {
    ip.out.markup(OutClass::Error, to + " invalid name\n");
    return 198;
  }
  if (values.FindGlobal(to)) {
    ip.out.markup(OutClass::Error, to + " already exists\n");
    return 110;
  }
  std::memcpy(v->name, to.c_str(), to.size() + 1);
  return 0;
}

// lumo which name(): where a function comes from, or would come from.
rc_t EnvWhich(Interp& ip, std::string_view args) {
  LumoState& st = State(ip);
  std::vector<std::string> names = Words(args);
  if (names.size() != 1) {
    ip.out.markup(OutClass::Error, "syntax is {cmd:lumo which} {it:fcnname}{cmd:()}\n");
    return 198;
  }
  std::string name = names[0];
  FunctionName(&name);
  if (lumo::FindBuiltin(name)) {
    ip.out.markup(OutClass::Text, "{txt}" + name + "():  built-in\n");
    return 0;
  }
  lumo::LibraryIndex& libraries = st.session.libraries();
  if (const lumo::FunctionRecord* f = st.session.values().FindFunction(name)) {
    std::string how = f->autoloaded ? "autoloaded" : f->adofunction ? "ado-file" : "defined";
    if (f->autoloaded && !libraries.Origin(name).empty()) how += " from " + libraries.Origin(name);
    ip.out.markup(OutClass::Text, "{txt}" + name + "():  " + how + "\n");
    return 0;
  }
  // Not defined yet: where its first call would load it from, searched
  // in the order the call searches.
  libraries.Ensure();
  std::string path;
  if (const lumo::LibraryFile* lib = libraries.Holder(name)) path = lib->name + ".mlib";
  else if (st.host.FindOnPath(name + ".mo", &path)) path = path.substr(path.rfind('/') + 1);
  if (path.empty()) {
    ip.out.markup(OutClass::Error, "function " + name + "() not found\n");
    return 111;
  }
  ip.out.markup(OutClass::Text, "{txt}" + name + "():  in " + path + "\n");
  return 0;
}

}  // namespace

// The host commands behind the environment's own commands: the same code
// whether typed at the `lumo` prompt or here.
// A command that Lumo code runs through nuvra() may not enter Lumo again
// or change its values: the statement that called it is still running.
rc_t RefuseInsideLumo(Interp& ip) {
  if (!ip.lumo_state || State(ip).host.running_commands == 0) return 0;
  ip.out.markup(OutClass::Error, "lumo cannot be used in a command run from Lumo\n");
  return 3598;
}

lumo::Session& lumo_session(Interp& ip) { return State(ip).session; }

rc_t cmd_lumo_clear(Interp& ip) {
  if (rc_t rc = RefuseInsideLumo(ip)) return rc;
  return EnvClear(ip, Trim(ip.reader.rest()));
}
rc_t cmd_lumo_describe(Interp& ip) { return EnvDescribe(ip, Trim(ip.reader.rest())); }
rc_t cmd_lumo_drop(Interp& ip) {
  if (rc_t rc = RefuseInsideLumo(ip)) return rc;
  return EnvDrop(ip, Trim(ip.reader.rest()));
}
rc_t cmd_lumo_memory(Interp& ip) { return EnvMemory(ip, Trim(ip.reader.rest())); }
rc_t cmd_lumo_rename(Interp& ip) {
  if (rc_t rc = RefuseInsideLumo(ip)) return rc;
  return EnvRename(ip, Trim(ip.reader.rest()));
}
rc_t cmd_lumo_which(Interp& ip) { return EnvWhich(ip, Trim(ip.reader.rest())); }

rc_t cmd_lumo(Interp& ip) {
  if (rc_t rc = RefuseInsideLumo(ip)) return rc;
  LumoState& st = State(ip);
  st.host.caller_version = ip.version;
  // setbreakintr() lasts as long as the Lumo code that called it.
  struct BreakGuard {
    Interp& ip;
    bool allowed;
    ~BreakGuard() { ip.break_allowed = allowed; }
  } break_guard{ip, ip.break_allowed};
  std::string_view rest = Trim(ip.reader.rest());
  if (!rest.empty() && rest.front() == ':') return RunOne(ip, st, rest.substr(1));
  if (rest.empty()) return Environment(ip, st);
  if (const EnvCommand* c = EnvCommandOf(rest)) return RunEnvCommand(ip, st, *c, rest);
  ip.out.markup(OutClass::Error, "unrecognized lumo preprocessor command\n");
  return 199;
}

}  // namespace nuvra
