// The source text of the Lumo function library shipped with the system:
// one entry per lumo/NAME.lumo file, compiled into the executable by the
// build (the table is generated from those files).
#pragma once
#include <cstddef>
#include <string_view>

namespace nuvra::lumo {

struct LibrarySource {
  const char* name;  // the function the text defines
  const char* text;
};

extern const LibrarySource kLibrarySources[];
extern const size_t kLibrarySourceCount;

// The text defining the function of that name, or "" when the library has
// none.
std::string_view FindLibrarySource(std::string_view name);

}  // namespace nuvra::lumo
