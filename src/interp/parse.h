// The standard command-line parse: varlist, then `if`, `in`, `using`, a
// weight clause and options after a comma; and the lookups through which a
// built-in reads its options.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "interp/rc.h"
#include "data/weights.h"

namespace nuvra {

class Interp;

// Weight type codes: WeightCode (data/weights.h).

// What a command accepts; set before the parse.
struct ParseSettings {
  bool varlist = false;           // reads a varlist first
  bool allow_if = false;
  bool allow_in = false;
  bool allow_using = false;
  bool allow_options = true;
  bool allow_eq_exp = false;      // the old "= exp" form of a weight
  bool allow_by = true;
  bool require_in = false;
  bool require_varlist_or_in = false;
  int weights = 0;                // mask of the allowed weight codes
  int default_weight = kAweight;  // the code `[weight=...]` stands for
};

// One word after the comma: the name, and the text inside its parentheses.
struct OptionWord {
  std::string name;
  std::string args;
  bool has_args = false;
  uint8_t status = 0;  // bit 0 consumed, bit 1 recognised
};

inline constexpr int kMaxOptionWords = 70;

class CommandLine {
 public:
  std::string varlist_text;
  bool has_if = false;
  std::string if_text;
  bool has_in = false;
  int64_t in_first = 1, in_last = 0;
  bool has_using = false;
  std::string using_file;
  bool has_weight = false;
  int weight_type = kWeightNone;
  std::string weight_text;
  std::vector<OptionWord> options;
  int last_found = 0;  // 1-based index of the option the latest lookup took

  // Flag option: 1 when given, 0 when given as "no" + name, else `def`.
  int flag(std::string_view name, size_t min, int def);
  // Numbers inside "name(...)", at most `max`; the count read (0 when
  // absent or malformed).
  int number_list(std::string_view name, size_t min, double* out, int max);
  // A whole number inside "name(#)"; `def` when absent or malformed.
  long long integer(std::string_view name, size_t min, long long def);
  // The words inside "name(...)", quotes removed, joined by blanks; false
  // (and an empty buffer) when absent or too long.
  bool string(std::string_view name, size_t min, std::string* out, size_t max_len, int max_words);
  // Reports the first option no lookup took; 0 when none is left.
  rc_t leftover(Interp& ip) const;

 private:
  int find(std::string_view name, size_t min, size_t* index);
};

// Runs the standard parse over the rest of the command line.
rc_t standard_parse(Interp& ip, const ParseSettings& settings, CommandLine* out);

// Gathers an expression from the start of `text`: tokens joined as long as
// operator characters link them, brackets and quotes counted.  *end gets
// the length taken.  Prints the bracket and quote messages (132).
rc_t gather_expression(Interp& ip, std::string_view text, size_t* end, bool list_mode = false);

// Reads an `in` range ("#", "#/#", "f/l", negative positions from the end)
// against `nobs` observations.
rc_t read_in_range(Interp& ip, std::string_view text, int64_t nobs, int64_t* first, int64_t* last);

// Helpers for commands that read their own line and hand only the part
// after the comma to the option parse.
// The first comma outside quotes and brackets, or npos.
size_t options_comma(std::string_view s);
// `s` trimmed, without one pair of (simple or compound) quotes around all of it.
std::string_view unquote_whole(std::string_view s);
// The standard option parse over `rest` (a view into the command buffer)
// from index `comma` on; no comma (npos), no options.
rc_t parse_options(Interp& ip, std::string_view rest, size_t comma, CommandLine* cl);
// The same over the options after the first comma of `rest`; *before gets
// the text ahead of that comma, all of `rest` when there is none.
rc_t read_options(Interp& ip, std::string_view rest, std::string_view* before, CommandLine* cl);
// The next blank-delimited word of `s`, removed from it.
std::string_view take_word(std::string_view& s);
// The run of name characters at the start of `s` (after any blanks),
// removed from it.
std::string_view take_name(std::string_view& s);
// The option word at the start of `s` with its parenthesized argument
// (blanks inside the parentheses included), removed from `s`.
std::string_view take_option_word(std::string_view& s);

}  // namespace nuvra
