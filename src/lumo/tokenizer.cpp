// Token scanning: white space, then the first of a quoted token, a hex
// number, a number, a parsing string, or a run of ordinary bytes.
#include "lumo/tokenizer.h"

namespace nuvra::lumo {

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsHexDigit(char c) { return IsDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }

bool StartsAt(std::string_view text, size_t at, std::string_view s) {
  return !s.empty() && at <= text.size() && text.substr(at, s.size()) == s;
}

// The end of a quoted token whose opening quote (of pair q) is at `at`:
// just after the matching close, or the end of the text when it is not
// closed.
size_t QuotedEnd(std::string_view text, size_t at, std::string_view q) {
  std::string_view open = q.substr(0, q.size() / 2), close = q.substr(q.size() / 2);
  size_t k = at + open.size();
  int depth = 1;
  while (k < text.size()) {
    if (open != close && StartsAt(text, k, open)) {
      ++depth;
      k += open.size();
    } else if (StartsAt(text, k, close)) {
      k += close.size();
      if (--depth == 0) return k;
    } else {
      ++k;
    }
  }
  return text.size();
}

// The pair whose opening quote is the longest to start at `at`, or null.
const std::string* QuoteAt(const TokenRules& r, std::string_view text, size_t at) {
  const std::string* best = nullptr;
  for (const std::string& q : r.qchars)
    if (StartsAt(text, at, std::string_view(q).substr(0, q.size() / 2)) && (!best || q.size() > best->size())) best = &q;
  return best;
}

// The length of the longest parsing string that starts at `at`, or 0.
size_t PcharAt(const TokenRules& r, std::string_view text, size_t at) {
  size_t best = 0;
  for (const std::string& p : r.pchars)
    if (p.size() > best && StartsAt(text, at, p)) best = p.size();
  return best;
}

size_t SkipDigits(std::string_view text, size_t k, bool (*is)(char)) {
  while (k < text.size() && is(text[k])) ++k;
  return k;
}

size_t SkipSign(std::string_view text, size_t k) {
  return k < text.size() && (text[k] == '+' || text[k] == '-') ? k + 1 : k;
}

// The end of a number that starts at `at`, or `at` when none does:
// [+-] (d+ [. d*] | . d+) [(e|E) [+-] d+].
size_t NumberEnd(std::string_view text, size_t at) {
  size_t k = SkipSign(text, at);
  size_t int_end = SkipDigits(text, k, IsDigit);
  size_t end = int_end;
  if (end < text.size() && text[end] == '.') {
    size_t frac_end = SkipDigits(text, end + 1, IsDigit);
    if (int_end == k && frac_end == end + 1) return at;  // a point with no digit
    end = frac_end;
  } else if (int_end == k) {
    return at;
  }
  if (end < text.size() && (text[end] == 'e' || text[end] == 'E')) {
    size_t e = SkipSign(text, end + 1);
    size_t e_end = SkipDigits(text, e, IsDigit);
    if (e_end > e) end = e_end;
  }
  return end;
}

// The end of a hexadecimal number that starts at `at`, or `at`:
// [+-] d h* [. h*] (x|X) [+-] h+.
size_t HexEnd(std::string_view text, size_t at) {
  size_t k = SkipSign(text, at);
  if (k >= text.size() || !IsDigit(text[k])) return at;
  k = SkipDigits(text, k, IsHexDigit);
  if (k < text.size() && text[k] == '.') k = SkipDigits(text, k + 1, IsHexDigit);
  if (k >= text.size() || (text[k] != 'x' && text[k] != 'X')) return at;
  size_t e = SkipSign(text, k + 1);
  size_t end = SkipDigits(text, e, IsHexDigit);
  return end > e ? end : at;
}

bool IsWhite(const TokenRules& r, char c) { return r.wchars.find(c) != std::string::npos; }

}  // namespace

bool ValidQuotes(const std::vector<std::string>& qchars) {
  for (const std::string& q : qchars)
    if (q.empty() || q.size() % 2 != 0) return false;
  return true;
}

std::string_view NextToken(const TokenRules& r, std::string_view text, size_t at, size_t* next) {
  size_t k = at;
  while (k < text.size() && IsWhite(r, text[k])) ++k;
  if (k >= text.size()) {
    *next = text.size();
    return {};
  }
  size_t end = k;
  if (const std::string* q = QuoteAt(r, text, k)) {
    end = QuotedEnd(text, k, *q);
  } else {
    if (r.allowhex) end = HexEnd(text, k);
    if (end == k && r.allownum) end = NumberEnd(text, k);
    if (end == k) end = k + PcharAt(r, text, k);
    if (end == k) {
      // Ordinary bytes, up to white space, a parsing string or a quote.
      end = k + 1;
      while (end < text.size() && !IsWhite(r, text[end]) && !PcharAt(r, text, end) && !QuoteAt(r, text, end)) ++end;
    }
  }
  *next = end;
  return text.substr(k, end - k);
}

}  // namespace nuvra::lumo
