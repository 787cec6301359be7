// How an expression statement shows its value: a scalar on one line, a
// matrix as a table with row and column numbers.
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "data/format.h"
#include "data/missing.h"
#include "lumo/vm.h"

namespace nuvra::lumo {

namespace {

std::string Number(double d) {
  std::string s = data::format_number("%10.0g", d);
  size_t b = s.find_first_not_of(' ');
  return b == std::string::npos ? s : s.substr(b);
}

// NMCL text shown as typed: braces are escaped through their tags.
std::string Escape(std::string_view s) {
  std::string out;
  for (char c : s) {
    if (c == '{') out += "{c -(}";
    else if (c == '}') out += "{c )-}";
    else out += c;
  }
  return out;
}

std::string Element(const ValueRecord* v, int64_t k, size_t* width) {
  std::string s;
  switch (v->eltype) {
    case kReal: s = Number(reals(v)[k]); break;
    case kComplex: {
      double re = reals(v)[2 * k], im = reals(v)[2 * k + 1];
      if (data::is_missing(re) || data::is_missing(im)) s = ".";
      else s = Number(re) + (im < 0 ? " - " : " + ") + Number(im < 0 ? -im : im) + "i";
      break;
    }
    case kString: {
      StringRef r = string_of(slots(v)[k]);
      s = std::string(r.bytes, r.length);
      break;
    }
    default: {
      char buf[32];
      if (slots(v)[k]) std::snprintf(buf, sizeof buf, "%p", slots(v)[k]);
      else std::snprintf(buf, sizeof buf, "NULL");
      s = buf;
    }
  }
  *width = s.size();
  return s;
}

std::string RightAligned(const std::string& s, size_t width) {
  return s.size() >= width ? s : std::string(width - s.size(), ' ') + s;
}

}  // namespace

void Machine::Display(const ValueRecord* v) {
  if (v->kind == kKindFunction) {
    host_.Print(Style::Result, std::string("  ") + Escape(v->name) + "()\n");
    return;
  }
  if (v->eltype == kUnknown || element_count(v) == 0) return;
  if (v->rows == 1 && v->cols == 1) {
    size_t w;
    host_.Print(Style::Result, "  " + Escape(Element(v, 0, &w)) + "\n");
    return;
  }
  // Every cell takes the width of the widest one (and of the column
  // numbers), with two blanks before it.
  std::vector<std::string> cells(size_t(element_count(v)));
  size_t width = std::to_string(v->cols).size();
  for (int64_t k = 0; k < element_count(v); ++k) {
    size_t w;
    cells[size_t(k)] = Element(v, k, &w);
    width = std::max(width, w);
  }
  bool left = v->eltype == kString;
  int label = int(std::to_string(v->rows).size()) + 2;
  std::string out(size_t(label) + 2, ' ');
  for (int32_t j = 0; j < v->cols; ++j) out += RightAligned(std::to_string(j + 1), width + 2);
  out += "\n";
  size_t inner = size_t(v->cols) * (width + 2) + 2;
  std::string rule = std::string(size_t(label) + 1, ' ');
  out += rule + "{c TLC}{hline " + std::to_string(inner) + "}{c TRC}\n";
  for (int32_t i = 0; i < v->rows; ++i) {
    out += RightAligned(std::to_string(i + 1), size_t(label)) + " {c |}";
    for (int32_t j = 0; j < v->cols; ++j) {
      const std::string& c = cells[size_t(int64_t(i) * v->cols + j)];
      std::string pad(width - c.size(), ' ');
      out += "  " + (left ? Escape(c) + pad : pad + Escape(c));
    }
    out += "  {c |}\n";
  }
  out += rule + "{c BLC}{hline " + std::to_string(inner) + "}{c BRC}\n";
  host_.Print(Style::Result, out);
}

}  // namespace nuvra::lumo
