// Reading dataset files of formats 102 to 114 (109 excepted), in either
// byte order.
//
// The file is read into a fresh dataset that the caller hands in; the one
// in memory is not touched, so a failure at any point leaves it as it was.
// Every count, length and offset taken from the file is checked against
// the bytes the file still holds and against the limits before it is used:
// a hostile file cannot make the reader allocate more than its own size
// justifies, read out of bounds, or loop without end.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "data/dataset.h"
#include "base/rc.h"
#include "data/expr/env.h"

namespace nuvra::dta {

struct LoadOptions {
  bool nolabel = false;
  // `use varlist if in using`: the variables to load (empty: all), the
  // condition a record must meet, and the `in` range as typed (read
  // against the file's observation count).
  std::string varlist_text;
  std::string if_text;
  std::string in_text;
  // Only the header and descriptors (describe using): no records, no
  // value labels, no settling.
  bool descriptors_only = false;
};

// What the caller prints after a successful load: the data label, the
// labels already defined, renamed variables and the other notes, in order.
// Each is markup around a piece of user text shown literally.
struct LoadNote {
  std::string before, user, after;
};

struct LoadResult {
  int format = 0;
  bool hilo = false;
  std::int64_t file_nobs = 0;  // observations in the file
  std::string time_stamp;      // the 17 characters, as in the file
  std::vector<LoadNote> notes;
  // The failure's message has been printed already (varlist, `if`, `in`).
  bool printed = false;
};

// Reads `path` into `fresh` (an empty dataset with the memory size and
// maxvar of the one in memory). Prints nothing: returns 0 or the code,
// and the caller prints the file message for 601, 603, 609, 610, 612, 688
// and 692 (for 115 and 116 the newer-release paragraph, code 610).
// Codes of the dataset (900, 901, 1000, 1010, 950) and of the varlist and
// `if` (111, 198, ...) have printed their own message when `env` reported
// them. `env` is used to compile and run the `if` condition, during which
// `fresh` is swapped into the dataset in memory and back.
rc_t load_file(expr::Env& env, const std::string& path, const LoadOptions& opt, data::Dataset* fresh,
               LoadResult* res, int* newer_format = nullptr);

// The same over bytes in memory (the fuzz target and the unit tests).
rc_t load_bytes(expr::Env& env, const std::uint8_t* data, std::size_t size, const LoadOptions& opt,
                data::Dataset* fresh, LoadResult* res, int* newer_format = nullptr);

}  // namespace nuvra::dta
