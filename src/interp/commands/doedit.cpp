// doedit [filename]: opens the do-file editor, on the file when one is
// named. A name without an extension gets ".do"; a file that does not
// exist yet opens as an empty text that Save creates.
#include <unistd.h>

#include <string>

#include "data/names.h"
#include "gui/window_side.h"
#include "interp/interp.h"
#include "interp/messages.h"
#include "interp/runner.h"

namespace nuvra {

namespace {

// The editor saves where the file was when it was opened, whatever
// directory the session moves to later.
std::string absolute(const std::string& path) {
  if (!path.empty() && path.front() == '/') return path;
  char buf[4096];
  if (!::getcwd(buf, sizeof buf)) return path;
  return std::string(buf) + "/" + path;
}

}  // namespace

rc_t cmd_doedit(Interp& ip) {
  std::string_view rest = ip.reader.rest();
  std::string path;
  std::string_view name = read_file_name(rest);
  if (!trim(rest).empty()) return msg_invalid(ip, "syntax");
  if (!name.empty()) path = absolute(do_file_name(name));
  int rc = ip.ws ? ip.ws->edit_file(path) : gui::WindowSide::kNoEditor;
  if (rc == gui::WindowSide::kNoEditor)
    return msg_quoting(ip.out, "", "", "the do-file editor is in the windowed edition only (xnuvra-mp)\n", 199);
  if (rc) return msg_quoting(ip.out, "file ", path, " could not be opened\n", 603);
  return 0;
}

}  // namespace nuvra
