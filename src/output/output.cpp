#include "output/output.h"

#include <cstdio>
#include <vector>

namespace nuvra::output {

Output::Output() { stream_.set_title_style(true); }

Output::~Output() {
  stream_.flush();
  logs_.close_files();
}

void Output::set_class(OutClass cls) {
  class_ = cls;
  if (!showing()) return;
  if (cls == OutClass::Error && break_before_error_ && (stream_.column() > 0 || stream_.has_pending())) {
    break_before_error_ = false;
    put("\n");
  }
  uint8_t want = 0;
  const char* tag = "{txt}";
  switch (cls) {
    case OutClass::Result: want = kColourResult; tag = "{res}"; break;
    case OutClass::Text:
    case OutClass::Text2: want = kColourText; tag = "{txt}"; break;
    case OutClass::Error: want = kColourError; tag = "{err}"; break;
    case OutClass::Input: want = kColourInput; tag = "{com}"; break;
  }
  if ((stream_.style() & kStyleColourMask) == want && !stream_.has_pending()) return;
  // Asis text shows tags as typed: a switch there would only add its tag
  // to the text, and the colour cannot change until the mode ends.
  if (stream_.mode() == NmclMode::Asis) return;
  put(tag);
}

void Output::print_markup(std::string_view text) {
  if (!showing()) return;
  put(text);
}

void Output::print_plain(std::string_view text) {
  if (!showing()) return;
  // Asis and s6hlp text shows braces as they are.
  NmclMode m = stream_.mode();
  if (m == NmclMode::Asis || m == NmclMode::S6hlp || text.find_first_of("{}") == std::string_view::npos) {
    put(text);
    return;
  }
  std::string escaped;
  escaped.reserve(text.size() + 16);
  for (char c : text) {
    if (c == '{') escaped += "{c -(}";
    else if (c == '}') escaped += "{c )-}";
    else escaped += c;
  }
  put(escaped);
}

void Output::end_command() {
  if (stream_.mode() != NmclMode::Line || stream_.has_pending()) put("{nmcl}\n");
}

void Output::begin_echo() {
  class_ = OutClass::Input;
  if (!showing()) return;
  std::string s;
  if (stream_.mode() != NmclMode::Line || stream_.has_pending()) s += "{nmcl}\n";
  uint8_t st = stream_.style();
  if ((st & kStyleColourMask) != kColourInput) s += "{com}";
  if (st & kStyleFontMask) s += "{sf}";
  if (st & kStyleUnderline) s += "{ul off}";
  if (!s.empty()) put(s);
}

void Output::print_rule(OutClass cls, bool s6hlp) {
  set_class(cls);
  if (!showing()) return;
  put(s6hlp ? ".-\n" : "{.-}\n");
}

void Output::print_bar(OutClass cls) {
  set_class(cls);
  if (!showing()) return;
  put("{c |}");
}

void Output::print_hilite(std::string_view text, bool s6hlp) {
  if (!showing()) return;
  if (s6hlp) {
    std::string s = "^";
    s += text;
    s += '^';
    put(s);
    return;
  }
  std::string s = "{hilite:";
  s += text;
  s += '}';
  put(s);
}

void Output::printf_markup(const char* fmt, ...) {
  if (!showing()) return;
  char small[512];
  va_list ap;
  va_start(ap, fmt);
  int n = std::vsnprintf(small, sizeof small, fmt, ap);
  va_end(ap);
  if (n < 0) return;
  if (static_cast<size_t>(n) < sizeof small) {
    put(std::string_view(small, static_cast<size_t>(n)));
    return;
  }
  std::vector<char> big(static_cast<size_t>(n) + 1);
  va_start(ap, fmt);
  std::vsnprintf(big.data(), big.size(), fmt, ap);
  va_end(ap);
  put(std::string_view(big.data(), static_cast<size_t>(n)));
}

}  // namespace nuvra::output
