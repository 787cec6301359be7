// _tokenget(t): the next token of a token parser, which it advances.
//
// A parser is a string column vector that the library's tokeninit()
// makes and its other token functions read and change:
//
//   1  the text             5  allowhex, "0" or "1"
//   2  the offset           6  np, how many parsing strings
//   3  the white space      7  nq, how many quote pairs
//   4  allownum, "0" or "1" 8  the np parsing strings, then the nq pairs
//
// The offset is where the next token is looked for, in bytes from 1 (one
// more than the length once the text is used up), written in digits.
#include "lumo/builtins_token.h"

#include <cstdlib>
#include <string>
#include <string_view>

#include "base/text.h"
#include "lumo/builtin_args.h"
#include "lumo/tokenizer.h"
#include "lumo/value.h"
#include "lumo/vm.h"

namespace nuvra::lumo {

namespace {

enum Field : int64_t { kText, kOffset, kWhite, kAllowNum, kAllowHex, kNp, kNq, kFixed };

std::string_view Cell(const ValueRecord* t, int64_t k) {
  StringRef s = string_of(slots(t)[k]);
  return {s.bytes, s.length};
}

// Plain decimal digits (at most 15 of them) as a count; false otherwise.
bool Count(std::string_view s, int64_t* out) { return base::parse_digits(s, 15, out); }

bool Flag(std::string_view s, bool* out) {
  if (s != "0" && s != "1") return false;
  *out = s == "1";
  return true;
}

// The rules and the offset (from 0) of a parser; false when t does not
// hold one.
bool ReadParser(const ValueRecord* t, TokenRules* r, size_t* at) {
  int64_t rows = t->rows, np, nq, offset;
  if (rows < kFixed || !Count(Cell(t, kNp), &np) || !Count(Cell(t, kNq), &nq) || rows != kFixed + np + nq ||
      !Count(Cell(t, kOffset), &offset) || offset < 1 || size_t(offset) > Cell(t, kText).size() + 1 ||
      !Flag(Cell(t, kAllowNum), &r->allownum) || !Flag(Cell(t, kAllowHex), &r->allowhex))
    return false;
  r->wchars = std::string(Cell(t, kWhite));
  for (int64_t k = 0; k < np; ++k) r->pchars.emplace_back(Cell(t, kFixed + k));
  for (int64_t k = 0; k < nq; ++k) r->qchars.emplace_back(Cell(t, kFixed + np + k));
  *at = size_t(offset - 1);
  return ValidQuotes(r->qchars);
}

}  // namespace

void BiTokenget(Machine& m, int n) {
  ValueRecord* t = BiArg(m, n, 0);
  if (!m.CheckMatrix(t)) return;
  if (t->representation != kArray) return (void)BiFail(m, 3103);
  if (!m.CheckString(t)) return;
  if (t->cols != 1) return m.FoundWhere(t, "colvector", 3203);
  TokenRules rules;
  size_t at;
  if (!ReadParser(t, &rules, &at)) return (void)BiFail(m, 3300);
  std::string_view text = Cell(t, kText);
  size_t next;
  std::string_view token = NextToken(rules, text, at, &next);
  // The result and the new offset are made before the old offset is let
  // go, so that a failure leaves the parser as it was.
  ValueRecord* r = BiNewStrings(m, 1, 1, {std::string(token)});
  if (!r) return m.RaiseAllocation();
  bool ok;
  void* offset = m.values().NewString(std::to_string(next + 1), &ok);
  if (!ok) {
    m.values().Free(r);
    return m.RaiseAllocation();
  }
  std::free(slots(t)[kOffset]);
  slots(t)[kOffset] = offset;
  BiReturn(m, n, r);
}

}  // namespace nuvra::lumo
