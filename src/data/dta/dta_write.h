// Writing the dataset to a file of format 114 (or 113).
//
// The file never goes straight to its name: it is written to a temporary
// file in the same directory, flushed to the disk, and renamed over the
// target. A save that fails, or a process killed while saving, leaves the
// file that was there before untouched; a failure also removes the
// temporary file.
#pragma once
#include <sys/types.h>

#include <cstdint>
#include <ctime>
#include <string>
#include <string_view>
#include <vector>

#include "data/dataset.h"

namespace nuvra::dta {

struct SaveOptions {
  bool oldformat = false;  // format 113 with 12-byte display formats
  bool nolabel = false;    // no value-label tables
  bool orphans = false;    // every table, not just the attached ones
  bool all = false;        // keep the hidden estimation-sample variable
  bool replace = false;
  std::tm stamp{};         // the time stamp written into the header
  mode_t create_mode = 0644;  // permissions of a new file
  // A test hook: when >= 0, writing fails as on a full disk once this many
  // bytes have gone to the file.
  std::int64_t fail_after = -1;
  // A test hook: when set, called with the bytes written so far after each
  // piece of the file goes out, so a test can stop a save part way.
  void (*on_written)(std::int64_t bytes, void* arg) = nullptr;
  void* on_written_arg = nullptr;
  // When set, receives the seconds the final flush to the disk took.
  double* fsync_seconds = nullptr;
};

// The `fail_after` the save commands pass on: -1, so a save never fails on
// purpose. It is a variable rather than a setting so that unit tests can
// drive a command into a full-disk failure while the program offers no way
// to do so.
std::int64_t& command_save_fail_after();

// "dd Mon yyyy hh:mm" (the day as %2d, the year as %5d): the 17 characters
// of the header's time stamp.
std::string time_stamp_text(const std::tm& t);

// The 12-byte older form of a display format (format 113): date formats
// become a fixed older format chosen by their letter, others are copied.
std::string old_format(std::string_view fmt);

// Everything the file holds before the data records: header, descriptors
// and expansion fields. Exposed so that tests can compare it with an image
// built by hand.
std::vector<std::uint8_t> file_prefix(const data::Dataset& ds, const SaveOptions& opt);

// Writes the file. 0; 602 (exists, no replace); 608 (read-only); 603 (the
// temporary file cannot be made); 699 (disk full); 693 (any other write or
// rename failure). Nothing is left behind on failure.
rc_t save_file(const data::Dataset& ds, const std::string& path, const SaveOptions& opt);

}  // namespace nuvra::dta
