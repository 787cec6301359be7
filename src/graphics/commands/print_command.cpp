// print: sends results, a log, a text file or a graph to the printer as
// PostScript, made exactly as translate and graph export make it.
//
//   print filename [, translator(nmcl2ps|log2ps)]   results, logs, text
//   print filename.gph                              a saved graph
//   print @name                                     a graph in memory (@Graph)
//
// The PostScript reaches the printer command (the setting printcommand,
// lpr unless changed) on its standard input.  It is written to a
// temporary file first and the command reads it from there, so a command
// that is missing or stops reading early cannot break the write; the file
// is removed whatever happens.
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "base/text.h"
#include "graphics/commands/graph_state.h"
#include "interp/builtins.h"
#include "interp/interp.h"
#include "interp/messages.h"
#include "interp/parse.h"

namespace nuvra {

namespace {

// `s` in single quotes for the shell.
std::string shell_quoted(const std::string& s) {
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

std::string suffix_of(const std::string& file) {
  std::size_t slash = file.find_last_of('/');
  std::size_t dot = file.find_last_of('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return "";
  return file.substr(dot + 1);
}

// Runs the printer command on `ps`; what it prints is shown as text.
rc_t send_to_printer(Interp& ip, const std::string& ps) {
  const std::string command(base::trim_blanks(ip.print_command));
  if (command.empty()) return msg_quoting(ip.out, "", "", "no printer command; set printcommand\n", 198);
  std::string path = (ip.tmpdir.empty() ? std::string("/tmp") : ip.tmpdir) + "/nuvraprint.XXXXXX";
  int fd = ::mkstemp(path.data());
  if (fd < 0) return rc_message(ip, 603);
  std::size_t done = 0;
  while (done < ps.size()) {
    ssize_t n = ::write(fd, ps.data() + done, ps.size() - done);
    if (n <= 0) break;
    done += static_cast<std::size_t>(n);
  }
  bool written = ::close(fd) == 0 && done == ps.size();
  if (!written) {
    ::unlink(path.c_str());
    return rc_message(ip, 691);
  }
  ip.out.flush();
  std::string line = "(" + command + ") < " + shell_quoted(path) + " 2>&1";
  std::FILE* p = ::popen(line.c_str(), "r");
  if (!p) {
    ::unlink(path.c_str());
    return rc_message(ip, 702);
  }
  std::string said;
  char buf[4096];
  std::size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) said.append(buf, n);
  int status = ::pclose(p);
  ::unlink(path.c_str());
  int code = status == -1 ? -1 : WIFEXITED(status) ? WEXITSTATUS(status) : 128;
  // The shell's own complaint about a command it cannot find says no more
  // than the message does.
  if (code == 126 || code == 127)
    return msg_quoting(ip.out, "printer command ", command, " could not be run; set printcommand\n", 702);
  ip.out.set_class(output::OutClass::Text);
  ip.out.print_plain(said);
  if (code != 0) {
    char tail[64];
    std::snprintf(tail, sizeof tail, " failed (exit status %d); nothing printed\n", code);
    return msg_quoting(ip.out, "printer command ", command, tail, 691);
  }
  return 0;
}

}  // namespace

rc_t cmd_print(Interp& ip) {
  std::vector<std::string> words;
  CommandLine cl;
  if (rc_t rc = graphics::file_command_line(ip, &words, &cl)) return rc;
  std::string translator;
  bool named = cl.string("translator", 5, &translator, 64, 1);
  if (rc_t rc = cl.leftover(ip)) return rc;
  if (words.size() != 1) return msg_quoting(ip.out, "", "", "print filename or print @graphname required\n", 198);
  const std::string& what = words[0];
  const bool graph = what.starts_with("@") || suffix_of(what) == "gph";
  if (graph && named) return msg_quoting(ip.out, "", "", "option translator() not allowed with a graph\n", 198);

  std::string ps;
  if (what.starts_with("@")) {
    const graphics::KeptGraph* g = graphics::find_graph(ip, std::string_view(what).substr(1));
    if (!g) return msg_quoting(ip.out, "graph ", what.substr(1), " not found\n", 111);
    graphics::graph_postscript(g->drawing, {}, &ps);
  } else if (graph) {
    graphics::SavedGraph saved;
    if (rc_t rc = graphics::load_gph(ip, what, &saved)) return rc;
    graphics::graph_postscript(saved.drawing, {}, &ps);
  } else {
    int pages = 0;
    if (rc_t rc = graphics::text_postscript(ip, what, named ? base::trim_blanks(translator) : "", &ps, &pages))
      return rc;
  }
  if (rc_t rc = send_to_printer(ip, ps)) return rc;
  ip.out.set_class(output::OutClass::Text);
  ip.out.print_markup("{txt}(");
  ip.out.print_plain(what);
  ip.out.print_markup(" sent to the printer)\n");
  return 0;
}

}  // namespace nuvra
