// The Lumo lexer.
#include "lumo/lexer.h"

#include <cctype>
#include <cstdlib>
#include <cstring>

#include "data/missing.h"

namespace nuvra::lumo {

namespace {

struct OperatorText {
  const char* text;
  int code;
};

// Longest first, so that the first match is the longest.
constexpr OperatorText kOperators[] = {
    {":!=", kTokColonNotEq}, {":~=", kTokColonNotEq}, {":==", kTokColonEqEq}, {":>=", kTokColonGe},
    {":<=", kTokColonLe},    {"&&", '&'},             {"||", '|'},            {":=", kTokAssignColon},
    {"==", kTokEqEq},        {":!", kTokColonNot},    {":~", kTokColonNot},   {"!=", kTokNotEq},
    {"~=", kTokNotEq},       {":>", kTokColonGt},     {">=", kTokGe},         {":<", kTokColonLt},
    {"<=", kTokLe},          {"++", kTokPlusPlus},    {"--", kTokMinusMinus}, {":/", kTokColonDiv},
    {":*", kTokColonMul},    {":+", kTokColonAdd},    {":-", kTokColonSub},   {":|", kTokColonOr},
    {":&", kTokColonAnd},    {":^", kTokColonPow},    {"..", kTokDotDot},     {"::", kTokColonColon},
    {"[|", kTokRangeOpen},   {"|]", kTokRangeClose},  {"->", kTokArrow},
};

constexpr const char* kReserved[] = {
#define LUMO_RESERVED(word) #word,
#include "lumo/reserved.def"
#undef LUMO_RESERVED
};

bool is_name_start(char c) { return std::isalpha(static_cast<unsigned char>(c)) || c == '_'; }
bool is_name_char(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; }

// True when the previous token ends an operand, so that a following "."
// selects a member rather than starting a number.
bool ends_operand(const std::vector<Token>& out) {
  if (out.empty()) return false;
  int c = out.back().code;
  return c == kTokName || c == ')' || c == ']' || c == kTokRangeClose || c == kTokNumber || c == kTokString;
}

}  // namespace

int ReservedCode(std::string_view word) {
  for (size_t k = 0; k < sizeof kReserved / sizeof *kReserved; ++k)
    if (word == kReserved[k]) return kTokW_if + static_cast<int>(k);
  return 0;
}

const char* TokenText(int code) {
  if (code >= kTokW_if && code < kTokLast) return kReserved[code - kTokW_if];
  for (const OperatorText& o : kOperators)
    if (o.code == code) return o.text;
  return "";
}

std::string TokenDescription(const Token& t) {
  switch (t.code) {
    case kTokEnd:
    case kTokNewline: return "nothing";
    case kTokName: return "name";
    case kTokNumber:
    case kTokImaginary: return "number";
    case kTokString: return "quoted string";
    case kTokOther: return "almost anything else";
  }
  if (t.code < 256) return std::string("'") + static_cast<char>(t.code) + "'";
  return std::string("'") + TokenText(t.code) + "'";
}

bool Tokenize(std::string_view s, int line, std::vector<Token>* out, std::string* error) {
  size_t i = 0;
  int depth = 0;  // ( and [ open: a new line inside them is white space
  while (i < s.size()) {
    char c = s[i];
    if (c == '\n') {
      ++i;
      if (depth == 0) out->push_back(Token{kTokNewline, line, 0, ""});
      ++line;
      continue;
    }
    if (c == ' ' || c == '\t' || c == '\r') {
      ++i;
      continue;
    }
    if (c == '/' && i + 1 < s.size() && s[i + 1] == '/') {
      while (i < s.size() && s[i] != '\n') ++i;
      continue;
    }
    if (c == '/' && i + 1 < s.size() && s[i + 1] == '*') {
      size_t e = s.find("*/", i + 2);
      for (size_t k = i; k < (e == std::string_view::npos ? s.size() : e); ++k)
        if (s[k] == '\n') ++line;
      i = e == std::string_view::npos ? s.size() : e + 2;
      continue;
    }
    Token t;
    t.line = line;
    if (is_name_start(c)) {
      size_t b = i;
      while (i < s.size() && is_name_char(s[i])) ++i;
      t.text = std::string(s.substr(b, i - b));
      int r = ReservedCode(t.text);
      t.code = r ? r : kTokName;
      out->push_back(std::move(t));
      continue;
    }
    bool digit_next = i + 1 < s.size() && std::isdigit(static_cast<unsigned char>(s[i + 1]));
    if (std::isdigit(static_cast<unsigned char>(c)) || (c == '.' && digit_next && !ends_operand(*out))) {
      size_t b = i;
      while (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i]))) ++i;
      if (i < s.size() && s[i] == '.' && !(i + 1 < s.size() && s[i + 1] == '.')) {
        ++i;
        while (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i]))) ++i;
      }
      if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
        size_t k = i + 1;
        if (k < s.size() && (s[k] == '+' || s[k] == '-')) ++k;
        if (k < s.size() && std::isdigit(static_cast<unsigned char>(s[k]))) {
          i = k;
          while (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i]))) ++i;
        }
      }
      t.text = std::string(s.substr(b, i - b));
      t.number = std::strtod(t.text.c_str(), nullptr);
      t.code = kTokNumber;
      if (i < s.size() && s[i] == 'i' && !(i + 1 < s.size() && is_name_char(s[i + 1]))) {
        ++i;
        t.code = kTokImaginary;
      }
      out->push_back(std::move(t));
      continue;
    }
    if (c == '.' && !(i + 1 < s.size() && s[i + 1] == '.') && !ends_operand(*out)) {
      // A missing-value literal: "." or ".a" to ".z".
      int code = 0;
      ++i;
      if (i < s.size() && s[i] >= 'a' && s[i] <= 'z' && !(i + 1 < s.size() && is_name_char(s[i + 1]))) {
        code = s[i] - 'a' + 1;
        ++i;
      }
      t.code = kTokNumber;
      t.number = data::missing_value(code);
      t.text = code ? std::string(".") + char('a' + code - 1) : ".";
      out->push_back(std::move(t));
      continue;
    }
    if (c == '"') {
      size_t e = s.find('"', i + 1);
      size_t nl = s.find('\n', i + 1);
      if (e == std::string_view::npos || (nl != std::string_view::npos && nl < e)) {
        *error = "mismatched quotes\n";
        return false;
      }
      t.code = kTokString;
      t.text = std::string(s.substr(i + 1, e - i - 1));
      out->push_back(std::move(t));
      i = e + 1;
      continue;
    }
    bool matched = false;
    for (const OperatorText& o : kOperators) {
      size_t n = std::strlen(o.text);
      if (s.compare(i, n, o.text) == 0) {
        t.code = o.code;
        t.text = o.text;
        i += n;
        matched = true;
        break;
      }
    }
    if (!matched) {
      static const char kSingles[] = "+-*/^'=<>!~&|?:,;\\()[]{}#@.$";
      t.code = std::strchr(kSingles, c) && c ? int(c) : int(kTokOther);
      t.text = std::string(1, c);
      ++i;
    }
    if (t.code == '(' || t.code == '[' || t.code == kTokRangeOpen) ++depth;
    if ((t.code == ')' || t.code == ']' || t.code == kTokRangeClose) && depth > 0) --depth;
    out->push_back(std::move(t));
  }
  return true;
}

}  // namespace nuvra::lumo
