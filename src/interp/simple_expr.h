// Expressions evaluated once, for the interpreter's own needs: conditions
// of if and while, display, =exp in macros, return scalar, error, exit.
// They go through the expression compiler (data/expr/expr.h) and run in a
// constant context: there is no current observation, and a variable name
// reads observation 1 (missing, or "", when the dataset has none).
#pragma once
#include <string>
#include <string_view>

#include "data/missing.h"
#include "interp/rc.h"

namespace nuvra {

class Interp;

// The system missing value: the smallest double at or above which a value
// counts as missing.
inline constexpr double kMissingValue = data::kMissing;
using data::is_missing;

struct ExprValue {
  bool is_string = false;
  double num = 0;
  std::string str;
};

// Evaluates the longest expression at the start of `text` (tokens linked
// by operator characters, as the command-line parse gathers them); *used
// receives how many characters it took.  Prints its own message on
// failure and returns the code.
rc_t eval_expression(Interp& ip, std::string_view text, ExprValue* out, size_t* used);

// A number in a general format of at most `width` characters, without
// leading blanks: integers plainly, fractions without the leading zero
// (".25"), missing as ".".
std::string format_number_g(double v, int width);
// The same for a number shown to the user: a fraction's decimal sign
// follows the decimal-point setting (`set dp`).
std::string shown_number_g(double v, int width);

}  // namespace nuvra
