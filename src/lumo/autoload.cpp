// The index of functions in the libraries to be searched, and autoloading
// from it.
#include "lumo/autoload.h"

#include <fcntl.h>
#include <unistd.h>

#include "lumo/mlib.h"

namespace nuvra::lumo {

void LibraryIndex::Build(std::vector<LibraryFile> libraries) {
  libraries_.clear();
  entries_.clear();
  MlibReport silent{host_, true};
  for (LibraryFile& lib : libraries) {
    MlibIndex ix;
    if (MlibOpen(lib.path, lib.name + ".mlib", silent, &ix) != 0) continue;
    size_t at = libraries_.size();
    libraries_.push_back(std::move(lib));
    for (int32_t k = 0; k < ix.count; ++k) entries_.try_emplace(ix.name(k), Entry{at, k});
  }
  built_ = true;
}

void LibraryIndex::Ensure() {
  std::string key = fingerprint ? fingerprint() : std::string();
  if (built_ && key == built_for_) return;
  Build(locate ? locate() : std::vector<LibraryFile>{});
  built_for_ = std::move(key);
}

const LibraryFile* LibraryIndex::Holder(std::string_view name) const {
  auto it = entries_.find(std::string(name));
  return it == entries_.end() ? nullptr : &libraries_[it->second.library];
}

FunctionRecord* LibraryIndex::Load(Values& values, std::string_view name) {
  Ensure();
  auto it = entries_.find(std::string(name));
  if (it == entries_.end()) return nullptr;
  const LibraryFile& lib = libraries_[it->second.library];
  MlibReport report{host_, false};
  int fd = open(lib.path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    report.Error("could not read " + lib.name + ".mlib\n");
    return nullptr;
  }
  MlibIndex ix;
  FunctionRecord* f = nullptr;
  if (MlibReadIndex(fd, lib.name + ".mlib", report, &ix) == 0) {
    int32_t slot = it->second.slot;
    // The library was rewritten since the index was built: find the
    // function again.
    if (slot >= ix.count || ix.name(slot) != name) slot = ix.Find(name);
    if (slot >= 0) MlibLoad(fd, ix, slot, values, report, &f);
  }
  close(fd);
  if (f) NoteOrigin(name, lib.name + ".mlib");
  return f;
}

const std::string& LibraryIndex::Origin(std::string_view name) const {
  static const std::string kNone;
  auto it = origins_.find(std::string(name));
  return it == origins_.end() ? kNone : it->second;
}

}  // namespace nuvra::lumo
