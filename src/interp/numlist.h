// The number-list reader: "1 2 3", "1/5", "1(2)9", "10(-2)2", "1 3 to 9",
// "1 3: 9", ".5(.5)2" and missing values, with the checks that the
// `numlist` command, option lists and loops ask for.
#pragma once
#include <string>
#include <string_view>
#include <vector>

#include "interp/rc.h"

namespace nuvra {

class Interp;

// A bound of range(): ">=a", ">a", "<=b" or "<b".
struct NumlistBound {
  bool set = false;
  bool strict = false;  // ">" or "<" rather than ">=" or "<="
  double value = 0;
};

struct NumlistOptions {
  bool integer = false;     // every element a whole number (126)
  bool ascending = false;   // strictly increasing as typed (124)
  bool descending = false;  // strictly decreasing as typed (124)
  bool sort = false;        // sorted ascending afterwards, missing last
  bool missing_ok = false;  // ".", ".a" .. ".z" allowed (else 127)
  int min = 1;              // fewest elements (122)
  int max = 2500;           // most elements (123); ranges stop growing here
  NumlistBound low, high;   // range() (125)
};

// Reads `text` as a number list into *out.  On failure prints the message
// for the code (121 to 127, as the return-code table words them) and
// returns it; *out is then empty.
rc_t read_numlist(Interp& ip, std::string_view text, const NumlistOptions& opts, std::vector<double>* out);

// Reads the argument of range(): one or two bounds such as ">=0 <=100" or
// "<5".  False when the text is not of that form.
bool parse_numlist_range(std::string_view text, NumlistOptions* opts);

// The elements as the `numlist` command returns them: blank-separated, in
// the general number style (".5", "-1.25", "1e+20", ".a").
std::string format_numlist(const std::vector<double>& values);

}  // namespace nuvra
