// What the Lumo engine needs from the system around it: a place to print
// NMCL text in an output style, and the Break flag.  The `lumo` command
// supplies the real one; tests and the fuzz target supply their own.
#pragma once
#include <string_view>

namespace nuvra::lumo {

enum class Style { Result, Text, Error, Input };

class Host {
 public:
  virtual ~Host() = default;
  virtual void Print(Style style, std::string_view nmcl) = 0;
  // True when the user has asked to stop.
  virtual bool PollBreak() = 0;
};

}  // namespace nuvra::lumo
