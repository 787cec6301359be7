// The elements of a macro list: blanks separate them, and a double-quoted
// or compound-quoted string is one element.  foreach ... in and the list
// macro functions split lists the same way through this one reader.
#pragma once
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace nuvra {

// One element: `raw` as typed (quotes and all), `inner` without its outer
// double or compound quotes.
struct ListElement {
  std::string_view raw;
  std::string_view inner;
  bool closed = true;  // false when its quote was never closed
};

// Reads the element at or after s[i] into *e and moves i past it; false
// when only blanks remain.  An unclosed quote runs to the end of s.
bool next_list_element(std::string_view s, std::size_t& i, ListElement* e);

std::vector<ListElement> split_list_elements(std::string_view s);

// The elements without their quotes, as separate strings.
std::vector<std::string> list_element_texts(std::string_view s);

// The same into *out (emptied first), where a quote left open is an error:
// false then.
bool read_closed_list(std::string_view s, std::vector<std::string>* out);

}  // namespace nuvra
