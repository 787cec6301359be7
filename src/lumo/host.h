// What the Lumo engine needs from the system around it: a place to print
// NMCL text in an output style, the Break flag, and the cells of the
// dataset in memory that views read and write.  The `lumo` command
// supplies the real one; tests and the fuzz target supply their own.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "data/missing.h"
#include "lumo/status.h"

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
    std::vector<double> old;
    old.reserve(obs.size() * vars.size());
    for (int64_t i : obs)
      for (int j : vars) {
        double before = DataNumber(i, j);
        if (rc_t rc = DataStore(i, j, values[old.size()])) {
          for (size_t k = old.size(); k-- > 0;) DataStore(obs[k / vars.size()], vars[k % vars.size()], old[k]);
          return rc;
        }
        old.push_back(before);
      }
    return 0;
  }
  virtual rc_t DataStoreStringBlock(const std::vector<int64_t>& obs, const std::vector<int>& vars,
                                    const std::vector<std::string_view>& values) {
    std::vector<std::string> old;
    old.reserve(obs.size() * vars.size());
    for (int64_t i : obs)
      for (int j : vars) {
        std::string before = DataString(i, j);
        if (rc_t rc = DataStoreString(i, j, values[old.size()])) {
          for (size_t k = old.size(); k-- > 0;) DataStoreString(obs[k / vars.size()], vars[k % vars.size()], old[k]);
          return rc;
        }
        old.push_back(std::move(before));
      }
    return 0;
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
};

}  // namespace nuvra::lumo
