// The Lumo lexer: source text to tokens.  Single characters are their own
// token codes; names, numbers, strings, reserved words and multi-character
// operators have codes from 256 on.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace nuvra::lumo {

enum Tok : int {
  kTokEnd = 0,  // end of the text ("nothing")
  kTokName = 256,
  kTokNumber,
  kTokImaginary,  // a number followed at once by i
  kTokString,
  kTokNewline,
  kTokOther,  // "almost anything else"
  // multi-character operators
  kTokAssignColon,  // :=
  kTokEqEq,         // ==
  kTokColonEqEq,    // :==
  kTokColonNot,     // :! and :~
  kTokNotEq,        // != and ~=
  kTokColonNotEq,   // :!= and :~=
  kTokColonGt,      // :>
  kTokColonGe,      // :>=
  kTokGe,           // >=
  kTokColonLt,      // :<
  kTokColonLe,      // :<=
  kTokLe,           // <=
  kTokPlusPlus,     // ++
  kTokMinusMinus,   // --
  kTokColonDiv,     // :/
  kTokColonMul,     // :*
  kTokColonAdd,     // :+
  kTokColonSub,     // :-
  kTokColonOr,      // :|
  kTokColonAnd,     // :&
  kTokColonPow,     // :^
  kTokDotDot,       // ..
  kTokColonColon,   // ::
  kTokRangeOpen,    // [|
  kTokRangeClose,   // |]
  kTokArrow,        // ->
  // reserved words
#define LUMO_RESERVED(word) kTokW_##word,
#include "lumo/reserved.def"
#undef LUMO_RESERVED
  kTokLast
};

struct Token {
  int code = kTokEnd;
  int line = 0;
  double number = 0;
  std::string text;  // name, string contents, or the operator as written
};

// Tokenizes the text; numbered lines start at first_line.  False with the
// message in *error when a quote is unbalanced (the tokens read so far are
// kept) — the message is the compiler's to print.
bool Tokenize(std::string_view text, int first_line, std::vector<Token>* out, std::string* error);

// The token as named in messages: '%s' for words and operators, the class
// for names, numbers, strings and the end.
std::string TokenDescription(const Token& t);
// The text of an operator or reserved word token code.
const char* TokenText(int code);
// The reserved-word code of a name, or 0.
int ReservedCode(std::string_view word);

}  // namespace nuvra::lumo
