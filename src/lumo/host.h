// What the Lumo engine needs from the system around it: a place to print
// NMCL text in an output style, the Break flag, and the cells of the
// dataset in memory that views read and write.  The `lumo` command
// supplies the real one; tests and the fuzz target supply their own.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

#include "data/missing.h"
#include "lumo/status.h"

namespace nuvra::lumo {

enum class Style { Result, Text, Error, Input };

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
};

}  // namespace nuvra::lumo
