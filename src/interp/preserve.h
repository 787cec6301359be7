// preserve and restore: a copy of the whole dataset kept by a frame and put
// back when the frame ends (or when asked).
#pragma once
#include <memory>

#include "interp/rc.h"

namespace nuvra {

class Interp;

// A copy of everything `restore` puts back.
struct DataSnapshot;
void destroy_snapshot(DataSnapshot* s);
struct SnapshotDeleter {
  void operator()(DataSnapshot* s) const { destroy_snapshot(s); }
};
using SnapshotPtr = std::unique_ptr<DataSnapshot, SnapshotDeleter>;

// Called as a frame ends: data preserved within it are put back, and the
// variables made under its tempvar names are dropped.
void restore_at_frame_end(Interp& ip);
void drop_frame_tempvars(Interp& ip);

}  // namespace nuvra
