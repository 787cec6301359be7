// What the Lumo engine needs from the system around it: a place to print
// NMCL text in an output style, the Break flag, and the cells of the
// dataset in memory that views read and write.  The `lumo` command
// supplies the real one; tests and the fuzz target supply their own.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

#include "data/functions/random.h"
#include "data/missing.h"
#include "lumo/status.h"

namespace nuvra {
struct RegexMatch;
}

namespace nuvra::data {
struct Column;
}

namespace nuvra::lumo {

enum class Style { Result, Text, Error, Input };

// A matrix of the host: values row-major (missing values allowed), and an
// equation and a name for every row and every column ("" for no equation).
struct HostMatrix {
  int32_t rows = 0, cols = 0;
  std::vector<double> v;
  std::vector<std::string> roweq, rownames, coleq, colnames;
};

// Where a host name lives: a global macro or named object, or one of the
// stored results r(), e() and s(), or the system values c() (read only).
enum class Space : char { Global = 0, R = 'r', E = 'e', S = 's', C = 'c' };

class Host {
 public:
  virtual ~Host() = default;
  virtual void Print(Style style, std::string_view nmcl) = 0;
  // True when the user has asked to stop.
  virtual bool PollBreak() = 0;

  // ---- the dataset in memory; observations and variables count from 1.
  // A host without a dataset has no observations and no variables.
  virtual int64_t DataObs() { return 0; }
  virtual int DataVars() { return 0; }
  virtual bool DataIsString(int /*var*/) { return false; }
  // The variable of that exact name, or 0.
  virtual int DataFindVar(std::string_view /*name*/) { return 0; }
  // A variable's identity, which stays with it while its number changes
  // (earlier variables dropped, the variables reordered), and the variable
  // that has an identity now, or 0 when it has been dropped.  A host whose
  // variable numbers never change uses the numbers themselves.
  virtual uint64_t DataVarId(int var) { return uint64_t(var); }
  virtual int DataVarById(uint64_t id) { return id >= 1 && id <= uint64_t(DataVars()) ? int(id) : 0; }
  // Cells; the caller has checked that obs and var exist and that the
  // variable is numeric (DataNumber) or string (DataString).
  virtual double DataNumber(int64_t /*obs*/, int /*var*/) { return data::kMissing; }
  virtual std::string DataString(int64_t /*obs*/, int /*var*/) { return {}; }
  // Stores a cell as `replace` would, widening the variable's storage type
  // when the value needs it; 0, or a return code after printing why.
  virtual rc_t DataStore(int64_t /*obs*/, int /*var*/, double /*v*/) { return 3300; }
  virtual rc_t DataStoreString(int64_t /*obs*/, int /*var*/, std::string_view /*s*/) { return 3300; }
  // A block of cells, values row-major over obs by vars, stored as
  // DataStore (DataStoreString) would store them one by one in that order,
  // but all or nothing: when a store is refused, the cells already written
  // get their old values back and the return code comes back.  A host
  // whose stores widen storage types overrides these so that a refusal
  // leaves the types as they were too.
  virtual rc_t DataStoreBlock(const std::vector<int64_t>& obs, const std::vector<int>& vars, const double* values) {
    return StoreOneByOne(obs.size() * vars.size(), BlockCell{obs, vars}, values);
  }
  virtual rc_t DataStoreStringBlock(const std::vector<int64_t>& obs, const std::vector<int>& vars,
                                    const std::vector<std::string_view>& values) {
    return StoreOneByOne(values.size(), BlockCell{obs, vars}, values.data());
  }
  // The same for a list of cells: value k goes to observation obs[k] of
  // variable vars[k].
  virtual rc_t DataStoreCells(const std::vector<int64_t>& obs, const std::vector<int>& vars, const double* values) {
    return StoreOneByOne(obs.size(), ListCell{obs, vars}, values);
  }
  virtual rc_t DataStoreStringCells(const std::vector<int64_t>& obs, const std::vector<int>& vars,
                                    const std::vector<std::string_view>& values) {
    return StoreOneByOne(values.size(), ListCell{obs, vars}, values.data());
  }
  // The storage of a numeric variable, for passes over many of its cells
  // without a call per cell; valid until the dataset next changes.  False
  // when the host has no such storage: the caller then reads cell by cell.
  virtual bool DataColumn(int /*var*/, data::Column* /*out*/) { return false; }

  // ---- variables: names, storage types ("byte" ... "double", "str#"),
  // and adding variables and observations.  The adders check what they
  // are given and return 0 or a return code after printing why.
  virtual std::string DataVarName(int /*var*/) { return {}; }
  virtual std::string DataVarType(int /*var*/) { return {}; }
  virtual rc_t DataAddVar(std::string_view /*type*/, std::string_view /*name*/, int* /*var*/) { return 3598; }
  // Drops the variables (used to undo a partly made addition).
  virtual void DataDropVars(const std::vector<int>& /*vars*/) {}
  virtual rc_t DataAddObs(int64_t /*count*/) { return 3598; }

  // ---- macros, scalars, matrices and stored results.  Names have been
  // checked by the caller.  A getter returns false when there is nothing
  // of that name; a setter 0 or a return code.
  virtual size_t MacroLengthLimit() { return 165200; }
  virtual bool GetLocal(std::string_view /*name*/, std::string* /*out*/) { return false; }
  virtual rc_t SetLocal(std::string_view /*name*/, std::string_view /*text*/) { return 3598; }
  // A global macro, or a macro of r(), e() or s(), or a c() value as text.
  virtual bool GetMacro(Space /*space*/, std::string_view /*name*/, std::string* /*out*/) { return false; }
  virtual rc_t SetMacro(Space /*space*/, std::string_view /*name*/, std::string_view /*text*/) { return 3598; }
  // A characteristic of a variable or of `_dta`.
  virtual bool GetChar(std::string_view /*owner*/, std::string_view /*name*/, std::string* /*out*/) { return false; }
  virtual rc_t SetChar(std::string_view /*owner*/, std::string_view /*name*/, std::string_view /*text*/) { return 3598; }
  virtual bool GetScalar(Space /*space*/, std::string_view /*name*/, double* /*out*/) { return false; }
  virtual rc_t SetScalar(Space /*space*/, std::string_view /*name*/, double /*v*/) { return 3598; }
  virtual bool GetMatrix(Space /*space*/, std::string_view /*name*/, HostMatrix* /*out*/) { return false; }
  virtual rc_t SetMatrix(Space /*space*/, std::string_view /*name*/, const HostMatrix& /*m*/) { return 3598; }
  virtual void ClearResults(Space /*space*/) {}
  // Runs a command line as the interpreter would; its return code.
  virtual rc_t RunCommand(std::string_view /*line*/) { return 3598; }

  // ---- the session: the regular-expression match that expressions share
  // (null: Lumo keeps its own), the interpretation version (x 100), the
  // `timer` stopwatches 1..100, Break, and c() values.
  virtual RegexMatch* RegexState() { return nullptr; }
  virtual int Version() { return 1010; }
  virtual rc_t SetVersion(int /*version*/) { return 3598; }
  // The version of the program or do-file that entered Lumo.
  virtual int CallerVersion() { return Version(); }
  virtual void TimerClear(int /*timer*/) {}  // 0: all of them
  virtual void TimerOn(int /*timer*/) {}
  virtual void TimerOff(int /*timer*/) {}
  // Seconds on the stopwatch and the number of times it was started.
  virtual void TimerValue(int /*timer*/, double* seconds, double* count) { *seconds = *count = 0; }
  // True when Break was pressed and not yet answered (without answering).
  virtual bool BreakPending() { return false; }
  virtual void BreakReset() {}
  // Whether Break stops running code (PollBreak then says so); the
  // previous setting.
  virtual bool SetBreakInterrupts(bool /*on*/) { return true; }
  // The more prompt: shown now, as a full page would show it; and switched
  // on or off (the previous setting comes back).
  virtual void More() {}
  virtual bool SetMore(bool /*on*/) { return false; }
  // A c() value: a number, or text when *is_string; false for no such name.
  virtual bool GetCValue(std::string_view /*name*/, bool* /*is_string*/, double* /*num*/, std::string* /*text*/) {
    return false;
  }

  // ---- variable attributes, value labels, dropping and keeping.  Every
  // setter checks what it is given and changes nothing when it fails (0, or
  // a return code after printing why).
  virtual std::string DataVarFormat(int /*var*/) { return {}; }
  virtual rc_t DataSetVarFormat(int /*var*/, std::string_view /*fmt*/) { return 3598; }
  virtual std::string DataVarLabel(int /*var*/) { return {}; }
  virtual rc_t DataSetVarLabel(int /*var*/, std::string_view /*text*/) { return 3598; }
  virtual std::string DataVarValueLabel(int /*var*/) { return {}; }
  virtual rc_t DataSetVarValueLabel(int /*var*/, std::string_view /*name*/) { return 3598; }
  virtual rc_t DataRenameVar(int /*var*/, std::string_view /*name*/) { return 3598; }
  virtual rc_t DataDropVariables(const std::vector<int>& /*vars*/) { return 3598; }
  // Keeps the observations whose keep[i - 1] is nonzero.
  virtual rc_t DataKeepObs(const std::vector<char>& /*keep*/) { return 3598; }
  virtual bool LabelExists(std::string_view /*name*/) { return false; }
  // The value -> text pairs of a value label; false when there is none.
  virtual bool LabelGet(std::string_view /*name*/, std::vector<std::pair<int32_t, std::string>>* /*out*/) { return false; }
  // Defines (replaces) the label with these pairs, ascending by value.
  virtual rc_t LabelSet(std::string_view /*name*/, const std::vector<std::pair<int32_t, std::string>>& /*pairs*/) {
    return 3598;
  }
  virtual void LabelDrop(std::string_view /*name*/) {}

  // ---- names and text: fresh temporary names and file names (dropped or
  // removed when the program that is running ends), and macro expansion.
  virtual std::string TempName() { return {}; }
  virtual std::string TempFileName() { return {}; }
  // Whether the dataset has changed since it was last saved.
  virtual bool DataChanged() { return false; }
  virtual void SetDataChanged(bool /*changed*/) {}
  // String scalars of the host or of r(), e(), s().
  virtual bool GetStrScalar(Space /*space*/, std::string_view /*name*/, std::string* /*out*/) { return false; }
  virtual rc_t SetStrScalar(Space /*space*/, std::string_view /*name*/, std::string_view /*text*/) { return 3598; }
  // Names of host objects, sorted: kind "global" with type "macro",
  // "numscalar", "strscalar" or "matrix" (of the host itself, or of r(),
  // e(), s()); kind "local" with type "macro"; kind "char" with a variable
  // name or `_dta` as the type.  False for a kind or type it has no list of.
  virtual bool ListNames(std::string_view /*kind*/, std::string_view /*type*/, Space /*space*/,
                         std::vector<std::string>* /*out*/) {
    return false;
  }
  virtual rc_t ExpandMacros(std::string_view text, std::string* out) {
    *out = std::string(text);
    return 0;
  }
  // The first file of that name along the ado-path; false when there is
  // none (a host without a path has none).
  virtual bool FindOnPath(std::string_view /*file*/, std::string* /*path*/) { return false; }

  // The random-number generators, whose state `set seed` sets; a host
  // without a system around it keeps generators of its own.
  virtual rng::RandomState& Random() { return own_random_; }

 protected:
  // Where cell k of a block (row-major over obs by vars) or of a list of
  // cells lies: its observation and variable.
  struct BlockCell {
    const std::vector<int64_t>& obs;
    const std::vector<int>& vars;
    std::pair<int64_t, int> operator()(size_t k) const { return {obs[k / vars.size()], vars[k % vars.size()]}; }
  };
  struct ListCell {
    const std::vector<int64_t>& obs;
    const std::vector<int>& vars;
    std::pair<int64_t, int> operator()(size_t k) const { return {obs[k], vars[k]}; }
  };

 private:
  // Stores count cells one by one; a refusal puts the cells already
  // written back as they were, last first.
  template <class Cell, class V>
  rc_t StoreOneByOne(size_t count, Cell cell, const V* values) {
    constexpr bool kText = std::is_same_v<V, std::string_view>;
    std::vector<std::conditional_t<kText, std::string, double>> old;
    old.reserve(count);
    for (size_t k = 0; k < count; ++k) {
      auto [i, j] = cell(k);
      auto before = DataStringOrNumber<kText>(i, j);
      if (rc_t rc = Store(i, j, values[k])) {
        for (size_t u = old.size(); u-- > 0;) {
          auto [oi, oj] = cell(u);
          Store(oi, oj, old[u]);
        }
        return rc;
      }
      old.push_back(std::move(before));
    }
    return 0;
  }
  template <bool kText>
  auto DataStringOrNumber(int64_t obs, int var) {
    if constexpr (kText) return DataString(obs, var);
    else return DataNumber(obs, var);
  }
  rc_t Store(int64_t obs, int var, double v) { return DataStore(obs, var, v); }
  rc_t Store(int64_t obs, int var, std::string_view s) { return DataStoreString(obs, var, s); }

  rng::RandomState own_random_;
};

}  // namespace nuvra::lumo
