#include "output/output.h"

#include <cstdio>
#include <vector>

namespace nuvra::output {

Output::Output() { stream_.set_title_style(true); }

void Output::set_class(OutClass cls) {
  class_ = cls;
  if (!showing()) return;
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
  stream_.feed(tag);
}

void Output::print_markup(std::string_view text) {
  if (!showing()) return;
  stream_.feed(text);
}

void Output::print_plain(std::string_view text) {
  if (!showing()) return;
  std::string escaped;
  escaped.reserve(text.size() + 16);
  for (char c : text) {
    if (c == '{') escaped += "{c -(}";
    else if (c == '}') escaped += "{c )-}";
    else escaped += c;
  }
  stream_.feed(escaped);
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
    stream_.feed(std::string_view(small, static_cast<size_t>(n)));
    return;
  }
  std::vector<char> big(static_cast<size_t>(n) + 1);
  va_start(ap, fmt);
  std::vsnprintf(big.data(), big.size(), fmt, ap);
  va_end(ap);
  stream_.feed(std::string_view(big.data(), static_cast<size_t>(n)));
}

}  // namespace nuvra::output
