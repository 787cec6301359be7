// A dataset file opened for reading, closed when the object goes.  The
// readers of both file forms open their input through it so that they
// refuse the same things the same way.
#pragma once
#include <cstdint>
#include <string>

#include "base/rc.h"

namespace nuvra::dta {

class OpenedFile {
 public:
  OpenedFile() = default;
  OpenedFile(const OpenedFile&) = delete;
  OpenedFile& operator=(const OpenedFile&) = delete;
  ~OpenedFile();

  // 0; 601 when the file cannot be opened or is a directory.
  rc_t open(const std::string& path);
  int descriptor() const { return fd_; }
  // The size the file had when it was opened.
  std::uint64_t size() const { return size_; }

 private:
  int fd_ = -1;
  std::uint64_t size_ = 0;
};

}  // namespace nuvra::dta
