// view and chelp/man: NMCL files and help files rendered in the results.
#include <sys/stat.h>

#include <cstdio>
#include <string>

#include "interp/interp.h"
#include "interp/messages.h"
#include "data/names.h"
#include "interp/runner.h"
#include "output/commands/log_commands.h"

namespace nuvra {
namespace {

// Renders a whole NMCL file in the results (and the logs).  The file may
// leave the stream in any mode or style, so the reset line and {reset}
// after it put the stream back for whatever is printed next.
rc_t render_file(Interp& ip, const std::string& path, std::string_view shown) {
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return msg_quoting(ip.out, "file ", shown, " could not be opened\n", 603);
  output::Output& out = ip.out;
  out.set_class(output::OutClass::Text);
  out.print_markup("{nmcl}\n");
  char buf[8192];
  size_t n;
  bool ended_newline = true;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) {
    out.print_markup(std::string_view(buf, n));
    ended_newline = buf[n - 1] == '\n';
    if (ip.poll_break()) break;
  }
  std::fclose(f);
  if (!ended_newline) out.print_markup("\n");
  out.print_markup("{nmcl}\n{reset}");
  out.set_class(output::OutClass::Text);
  return ip.poll_break() ? kBreak : 0;
}

std::string_view first_word(std::string_view s) {
  s = trim(s);
  size_t end = s.find_first_of(" \t");
  return end == std::string_view::npos ? s : s.substr(0, end);
}

rc_t show_help(Interp& ip, std::string_view topic) {
  std::string name = topic.empty() ? "contents" : std::string(topic);
  const std::string shown = name;
  // name() is a Lumo function; its help file is lf_name.hlp.
  if (name.size() > 2 && name.ends_with("()")) name = "lf_" + name.substr(0, name.size() - 2);
  std::string path;
  // A topic names a file in the ado tree; path characters would let it
  // name any file.
  bool plain = name.find('/') == std::string::npos;
  if (!plain || !find_file_along_path(ip, name + ".hlp", 1, &path))
    return msg_quoting(ip.out, "help for {bf:", shown, "} not found\n", 111);
  if (ip.ws && ip.ws->show_file(path, name)) return 0;
  return render_file(ip, path, name + ".hlp");
}

}  // namespace

rc_t cmd_view(Interp& ip) {
  std::string_view rest = trim(ip.reader.rest());
  std::string_view word = first_word(rest);
  if (word == "help") return show_help(ip, first_word(trim(rest.substr(4))));
  if (word == "file") rest = trim(rest.substr(4));
  if (rest.size() >= 2 && rest.front() == '"' && rest.back() == '"') rest = rest.substr(1, rest.size() - 2);
  if (rest.empty()) return rc_message(ip, 7197);
  std::string path(rest);
  struct stat st;
  if (::stat(path.c_str(), &st) != 0 || S_ISDIR(st.st_mode))
    return msg_quoting(ip.out, "file ", path, " not found\n", 601);
  if (ip.ws && ip.ws->show_file(path, path)) return 0;
  return render_file(ip, path, path);
}

rc_t cmd_chelp(Interp& ip) { return show_help(ip, first_word(ip.reader.rest())); }

}  // namespace nuvra
