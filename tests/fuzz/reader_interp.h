// The interpreter the file-reader fuzz targets load into: a small dataset
// with a value, a string, a value label and a characteristic, in a data
// area of 64 MB — enough for any input the fuzzer makes, small enough that
// a claim of more observations than the input holds shows up.  Each
// target checks that a rejected input leaves this dataset as it was.
#pragma once
#include <cstddef>

#include "data/dataset.h"
#include "gui/null_side.h"
#include "interp/interp.h"

inline constexpr std::size_t kReaderMemory = std::size_t{64} << 20;

inline nuvra::Interp& reader_interp() {
  static nuvra::gui::NullSide side;
  static nuvra::Interp* ip = [] {
    auto* p = new nuvra::Interp(&side);
    p->dataset.set_memory(kReaderMemory);
    nuvra::data::Dataset& ds = p->dataset;
    ds.add_variable("a", nuvra::data::kDouble);
    ds.add_variable("s", 4);
    ds.set_obs(3);
    ds.store(1, 2, 7.5);
    ds.store_str(2, 3, "abcd");
    ds.value_labels().define("lab", 1, "one");
    ds.set_char("_dta", "c", "text");
    return p;
  }();
  return *ip;
}
