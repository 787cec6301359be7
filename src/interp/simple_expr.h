// A small scalar expression evaluator for the interpreter's own needs
// (conditions of if and while, display, =exp in macros) until the full
// expression compiler arrives: numbers, strings, missing values,
// arithmetic, comparisons, logic, parentheses, _rc and _pi.
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

// Evaluates the longest expression at the start of `text`; *used receives
// how many characters it took.  Prints its own message on failure.
rc_t eval_expression(Interp& ip, std::string_view text, ExprValue* out, size_t* used);

// A number in a general format of at most `width` characters, without
// leading blanks: integers plainly, fractions without the leading zero
// (".25"), missing as ".".
std::string format_number_g(double v, int width);

}  // namespace nuvra
