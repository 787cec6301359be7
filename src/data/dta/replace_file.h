// A file written under a temporary name in its directory and renamed over
// the target only once everything is on the disk: the dataset file, its
// XML forms, text files and graphs.
//
// A write that fails, or a writer that gives up, leaves the previous file
// untouched and no temporary file behind.
#pragma once
#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "base/rc.h"

namespace nuvra::dta {

class ReplacingFile {
 public:
  ReplacingFile() = default;
  ReplacingFile(const ReplacingFile&) = delete;
  ReplacingFile& operator=(const ReplacingFile&) = delete;
  ~ReplacingFile();  // removes the temporary file unless committed

  // 0; 602 (exists, no replace); 603 (a directory, or no temporary file);
  // 608 (read-only). A replaced file keeps its permissions; a new one gets
  // create_mode.
  rc_t open(const std::string& path, bool replace, mode_t create_mode);
  // Writes everything; an amount over twice the call size goes in system
  // calls of that size (16384 bytes unless set).  After the first failure
  // nothing more is written. `fail_after` >= 0 makes the writes fail as on
  // a full disk once that many bytes are out (tests).
  bool write(const void* data, std::size_t n);
  void set_call_size(std::size_t n) { call_size_ = n; }
  void set_fail_after(std::int64_t n) { limit_ = n; }
  std::int64_t written() const { return written_; }
  bool failed() const { return err_ != 0; }
  // For a writer with its own write loop: the open descriptor, and the
  // errno of its first failed write (commit then fails; the first error
  // recorded wins).
  int descriptor() const { return fd_; }
  void fail(int err) {
    if (err_ == 0) err_ = err;
  }
  // Flushes to the disk and renames over the target: 0, 699 (disk full),
  // 693 (any other failure).  `fsync_seconds`, when given, receives how
  // long the flush took.
  rc_t commit(double* fsync_seconds = nullptr);

 private:
  int fd_ = -1;
  std::string path_, tmp_, dir_;
  int err_ = 0;
  std::int64_t written_ = 0;
  std::int64_t limit_ = -1;
  std::size_t call_size_ = 16384;
};

}  // namespace nuvra::dta
