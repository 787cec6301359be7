// The files that `file open` holds open, by handle name.
//
// A file opened for writing with `replace` is written to a new file beside
// the old one, which takes the old one's place only when `file close`
// succeeds: a write that fails on the way leaves the old file as it was.
#pragma once
#include <cstdio>
#include <map>
#include <string>

namespace nuvra {

struct OpenFile {
  std::FILE* f = nullptr;
  std::string shown;      // the name as the user wrote it
  std::string path;       // the file the handle stands for
  std::string temp_path;  // replace: the new file, renamed onto path at close
  bool read = false, write = false, binary = false;
  bool failed = false;    // a write failed: close keeps the old file
  int byteorder = 0;      // of binary numbers: 1 HILO, 2 LOHI, 0 the machine's own

  OpenFile() = default;
  OpenFile(const OpenFile&) = delete;
  OpenFile& operator=(const OpenFile&) = delete;
  OpenFile(OpenFile&& o) noexcept { *this = std::move(o); }
  OpenFile& operator=(OpenFile&& o) noexcept;
  ~OpenFile();

  // Closes the stream and, for replace, puts the new file in place.  False
  // when something failed (the old file is then kept).
  bool close();
};

using OpenFiles = std::map<std::string, OpenFile>;

}  // namespace nuvra
