// What the expression engines (scalar expressions and matrix expressions)
// see of the system around them: the dataset, named scalars and matrices,
// saved results, the by-group state and the few settings that change what
// an expression means. The interpreter implements it; anything else that
// wants to compile or evaluate an expression (a test, a later engine) can
// implement it with no interpreter at all.
#pragma once
#include <string>
#include <string_view>

#include "base/rc.h"

namespace nuvra {
struct ByState;
struct RegexMatch;
namespace data {
class Dataset;
}
namespace output {
class Output;
}
namespace rng {
class RandomState;
}
namespace stats {
struct Matrix;
}
}  // namespace nuvra

namespace nuvra::expr {

// A named scalar: a number or a string.
struct ScalarValue {
  bool is_string = false;
  double num = 0;
  std::string str;
};

// The settings the matrix functions obey (invsym() and its sweep).
struct MatrixSettings {
  int matsize = 400;
  int processors = 1;
  bool sweep_select = true;  // choose pivots (off: index order)
  bool sweep_trace = false;  // one line per pivot
};

class Env {
 public:
  virtual ~Env() = default;

  virtual data::Dataset& data_in_memory() = 0;
  // Where error messages and traces go.
  virtual output::Output& message_stream() = 0;
  // Prints the standard message of code and returns code.
  virtual rc_t report(rc_t code) = 0;
  // Prints `before` (markup), `user` (shown literally) and `after` (markup)
  // as an error and returns code: every message that quotes user text.
  virtual rc_t report_quoting(std::string_view before, std::string_view user, std::string_view after,
                              rc_t code) = 0;
  // True when a Break is pending (long passes stop and return 1).
  virtual bool break_requested() = 0;

  // The command-interpretation version x 100.
  virtual int run_version() const = 0;
  // False under versions whose missing values all compare equal.
  virtual bool missing_values_modern() const = 0;
  // _rc: the code the last `capture` caught.
  virtual double rc_variable() const = 0;

  // A named scalar, or null.
  virtual const ScalarValue* find_scalar(std::string_view name) const = 0;
  // A named matrix, or r(name) / e(name) from the saved results; null when
  // there is none.
  virtual const stats::Matrix* find_matrix(std::string_view name) const = 0;
  // r(), e() and s() (cls 'r', 'e', 's'): a scalar's value, or a macro's
  // text (a scalar formatted as a number); false when there is none.
  virtual bool saved_number(char cls, std::string_view name, double* out) = 0;
  virtual bool saved_text(char cls, std::string_view name, std::string* out) = 0;
  // Whether there are no estimation results at all.
  virtual bool no_estimation_results() const = 0;
  // An e() macro as stored (not formatted), or null.
  virtual const std::string* estimation_macro(std::string_view name) const = 0;
  // A local macro of the running frame, or null.
  virtual const std::string* find_local(std::string_view name) const = 0;

  // State an expression carries between calls and between commands.
  virtual rng::RandomState& random_state() = 0;
  virtual RegexMatch& regex_state() = 0;
  virtual const ByState& by_state() const = 0;
  // Do-files and programs running (a byable program reads its by-level by
  // the frame it was called from).
  virtual int program_depth() const = 0;

  virtual MatrixSettings matrix_settings() const = 0;
};

}  // namespace nuvra::expr
