#include "interp/list_elements.h"

#include <algorithm>

#include "base/text.h"

namespace nuvra {

using base::is_blank;

bool next_list_element(std::string_view s, std::size_t& i, ListElement* e) {
  i = base::skip_blanks(s, i);
  if (i >= s.size()) return false;
  std::size_t start = i;
  e->closed = true;
  if (s[i] == '"') {
    std::size_t close = s.find('"', i + 1);
    if (close == std::string_view::npos) {
      e->inner = s.substr(i + 1);
      e->closed = false;
      i = s.size();
    } else {
      e->inner = s.substr(i + 1, close - i - 1);
      i = close + 1;
    }
  } else if (s[i] == '`' && i + 1 < s.size() && s[i + 1] == '"') {
    std::size_t end = base::compound_quote_end(s, i);
    e->closed = end != std::string_view::npos;
    if (!e->closed) end = s.size() + 2;  // an unclosed quote runs to the end
    e->inner = s.substr(i + 2, end - i - 4);
    i = std::min(end, s.size());
  } else {
    std::size_t end = i;
    while (end < s.size() && !is_blank(s[end])) ++end;
    e->inner = s.substr(i, end - i);
    i = end;
  }
  e->raw = s.substr(start, i - start);
  return true;
}

std::vector<ListElement> split_list_elements(std::string_view s) {
  std::vector<ListElement> out;
  std::size_t i = 0;
  ListElement e;
  while (next_list_element(s, i, &e)) out.push_back(e);
  return out;
}

std::vector<std::string> list_element_texts(std::string_view s) {
  std::vector<std::string> out;
  for (const ListElement& e : split_list_elements(s)) out.emplace_back(e.inner);
  return out;
}

bool read_closed_list(std::string_view s, std::vector<std::string>* out) {
  out->clear();
  std::size_t i = 0;
  ListElement e;
  while (next_list_element(s, i, &e)) {
    if (!e.closed) return false;
    out->emplace_back(e.inner);
  }
  return true;
}

}  // namespace nuvra
