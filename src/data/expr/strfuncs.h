// The string functions of expressions. Each works in place on a string
// of the evaluation stack (scratch is caller-owned working space), so an
// observation loop reuses capacity rather than allocating.
#pragma once
#include <string>
#include <string_view>

namespace nuvra::expr {

// real(): the number the text holds (blanks around it allowed; `.`, `.a`
// .. `.z` too); `.` when it holds none.
double str_real(std::string_view s);
// wordcount(): blank-separated words.
int str_wordcount(std::string_view s);
void str_lower(std::string& s);
void str_upper(std::string& s);
// proper(): a letter after a non-letter (or first) upper case, others lower.
void str_proper(std::string& s);
// trim(), ltrim(), rtrim(): blanks at the ends.
void str_trim(std::string& s, bool left, bool right);
// itrim(): runs of blanks inside become one blank.
void str_itrim(std::string& s, std::string& scratch);
// strpos(): 1-based position of the first occurrence of t in s, 0 if none.
int str_pos(std::string_view s, std::string_view t);
// string(n, fmt): n under the numeric format fmt (leading blanks kept, as
// the format writes them); "." when fmt is no numeric format.
void str_of_real(double v, const std::string& fmt, std::string& out);
// substr(s, n1, n2): n2 bytes from position n1; n1 negative counts from
// the end; n2 missing runs to the end; anything out of range gives "".
void str_substr(std::string& s, double n1, double n2);
// word(s, n): the nth word, negative n counting from the end; "" if none.
void str_word(std::string& s, double n, std::string& scratch);
// abbrev(s, n): s cut to n characters with ~ (n at least 5, at least 8
// when s holds a period; missing n leaves s whole).
void str_abbrev(std::string& s, double n);
// subinstr() / subinword(): the first n occurrences (missing n: all) of a
// replaced by b; words only when whole_words.
void str_subin(std::string& s, const std::string& a, const std::string& b, double n, bool whole_words,
               std::string& scratch);
// plural(n, s [, t]): s when n is 1 or -1; otherwise s + "s", or with t:
// "+suffix" appends, "-suffix" removes a trailing suffix, else t itself.
void str_plural(double n, std::string& s, const std::string* t);

// indexnot(s1, s2): 1-based position of the first byte of s1 that does
// not occur in s2; 0 when every byte does (and for an empty s1).
int str_indexnot(std::string_view s1, std::string_view s2);
// strmatch(s, pattern): whether the whole of s matches the pattern, in
// which * stands for any run of bytes (empty too) and ? for one byte.
bool str_match(std::string_view s, std::string_view pattern);
// strsubdp(): periods and commas trade places ("1,234.5" -> "1.234,5").
void str_subdp(std::string& s);
// fmtwidth(): the width of the text the format writes, `.` for text that
// is no format.
double str_fmtwidth(std::string_view fmt);

}  // namespace nuvra::expr
