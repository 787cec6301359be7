// Finding a function's text in the shipped library.
#include "lumo/library_source.h"

#include <algorithm>

namespace nuvra::lumo {

std::string_view FindLibrarySource(std::string_view name) {
  const LibrarySource* end = kLibrarySources + kLibrarySourceCount;
  const LibrarySource* it = std::lower_bound(kLibrarySources, end, name, [](const LibrarySource& s, std::string_view n) {
    return std::string_view(s.name) < n;
  });
  return it != end && it->name == name ? std::string_view(it->text) : std::string_view();
}

}  // namespace nuvra::lumo
