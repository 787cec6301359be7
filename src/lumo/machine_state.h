// What the built-ins keep from one call to the next on behalf of one
// machine: the open files, the last regular-expression match (when the
// host keeps none), the output style chosen by displayas(), and the
// `more` setting to restore.
#pragma once
#include <cstdint>
#include <string>

#include "data/functions/regex.h"
#include "lumo/host.h"
#include "lumo/status.h"

namespace nuvra::lumo {

inline constexpr int kMaxOpenFiles = 50;

// One file handle.  `depth` and `level` say which statement nesting and
// which call level opened it, for fautoclose().
struct OpenFile {
  int fd = -1;
  char mode = 0;  // 'r' read, 'w' write, 'u' read and write, 'a' append
  bool autoclose = false;
  int depth = 0;
  int level = 0;
  rc_t status = 0;  // 0, or the negative code of the last failure
  std::string path;
};

struct MachineState {
  MachineState() = default;
  ~MachineState();
  MachineState(const MachineState&) = delete;
  MachineState& operator=(const MachineState&) = delete;

  RegexMatch regex;
  OpenFile files[kMaxOpenFiles];
  Style style = Style::Text;
  // The `more` setting to go back to when the outermost statement ends
  // (setmoreonexit()); -1 for none.
  int more_on_exit = -1;

  // Closes the handles marked by fautoclose() that were opened at this
  // statement depth and at this call level or deeper.
  void CloseAutoFiles(int depth, int level);
};

}  // namespace nuvra::lumo
