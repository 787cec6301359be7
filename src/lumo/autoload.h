// Autoloading: the index of which library holds which function, built
// from the libraries to be searched, and the loading of a function that is
// called but not defined.
#pragma once
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "lumo/host.h"
#include "lumo/value.h"

namespace nuvra::lumo {

struct LibraryFile {
  std::string name;  // "lmylib"
  std::string path;  // where it was found
};

class LibraryIndex : public FunctionLoader {
 public:
  explicit LibraryIndex(Host& host) : host_(host) {}
  // The libraries to search, in order; asked when the index is first
  // needed after it was made stale.
  std::function<std::vector<LibraryFile>()> locate;
  // What the list of libraries depends on (the setting and the path): the
  // index is built again when it changes.
  std::function<std::string()> fingerprint;

  // Reads the index of each library (silently: one that cannot be read is
  // left out); a function held by several libraries comes from the first.
  void Build(std::vector<LibraryFile> libraries);
  // The libraries changed (or the list of them): built again when needed.
  void MakeStale() { built_ = false; }
  // Builds the index unless it is up to date.
  void Ensure();
  const std::vector<LibraryFile>& libraries() const { return libraries_; }
  // The library holding a function, or null.
  const LibraryFile* Holder(std::string_view name) const;

  FunctionRecord* Load(Values& values, std::string_view name) override;
  Host& host() { return host_; }

  // The file an autoloaded function was read from ("llumobase.mlib",
  // "cube.mo"), noted when it was loaded; "" for one never loaded.
  const std::string& Origin(std::string_view name) const;
  void NoteOrigin(std::string_view name, std::string file) { origins_[std::string(name)] = std::move(file); }

 private:
  struct Entry {
    size_t library;
    int32_t slot;
  };
  Host& host_;
  bool built_ = false;
  std::string built_for_;
  std::vector<LibraryFile> libraries_;
  std::unordered_map<std::string, Entry> entries_;
  std::unordered_map<std::string, std::string> origins_;
};

}  // namespace nuvra::lumo
