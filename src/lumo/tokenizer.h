// The scanner under Lumo's token parsers: splits text into tokens by a
// set of white-space characters, parsing strings, quote pairs and the
// number forms it is told to keep whole.
#pragma once
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace nuvra::lumo {

struct TokenRules {
  // Each byte separates tokens and is never part of one.
  std::string wchars;
  // Each (non-empty) string is a token of its own wherever it appears;
  // the longest that matches wins.
  std::vector<std::string> pchars;
  // Each string is an opening quote followed by its closing quote, the
  // two halves of equal length ("\"\"" or the four bytes of a compound
  // quote).  A quoted token runs to its matching close, quotes included;
  // a pair whose halves differ nests.
  std::vector<std::string> qchars;
  // A number (an optional sign, digits with a decimal point, an
  // exponent) is one token.
  bool allownum = false;
  // A hexadecimal number (an optional sign, a decimal digit and hex
  // digits with a point, X, an optional sign and hex digits, as the %21x
  // format writes it, or 0x1f) is one token.
  bool allowhex = false;
};

// True when every quote pair has two halves of equal, non-zero length.
bool ValidQuotes(const std::vector<std::string>& qchars);

// The token of text that starts at or after byte at (white space is
// skipped), and in *next the byte just after it; "" with *next at the end
// when only white space is left.
std::string_view NextToken(const TokenRules& rules, std::string_view text, size_t at, size_t* next);

}  // namespace nuvra::lumo
