// graph save and graph use: a graph with its serset to a .gph file and back.
//
//   graph save [graphname] filename [, replace]
//   graph use filename [, name(newname)]
//
// A graph used from a file is redrawn from its recorded operations, not by
// running its command again, so it looks exactly as it did when saved
// whatever the data in memory now.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <vector>

#include "data/commands/dta_commands.h"
#include "data/dta/replace_file.h"
#include "graphics/commands/graph_state.h"
#include "graphics/gph_file.h"
#include "interp/interp.h"
#include "interp/messages.h"
#include "interp/parse.h"

namespace nuvra::graphics {

bool file_words(std::string_view s, std::vector<std::string>* out) {
  std::size_t i = 0;
  while (i < s.size()) {
    if (s[i] == ' ' || s[i] == '\t') {
      ++i;
      continue;
    }
    if (s[i] == '"' || (s[i] == '`' && i + 1 < s.size() && s[i + 1] == '"')) {
      bool compound = s[i] == '`';
      std::size_t open = i + (compound ? 2 : 1);
      std::size_t close = compound ? s.find("\"'", open) : s.find('"', open);
      if (close == std::string_view::npos) return false;
      out->emplace_back(s.substr(open, close - open));
      i = close + (compound ? 2 : 1);
      continue;
    }
    std::size_t end = s.find_first_of(" \t", i);
    if (end == std::string_view::npos) end = s.size();
    out->emplace_back(s.substr(i, end - i));
    i = end;
  }
  return true;
}

rc_t read_file_words(Interp& ip, std::vector<std::string>* words, CommandLine* cl) {
  std::string_view rest = ip.reader.rest();
  std::size_t comma = options_comma(rest);
  if (!file_words(rest.substr(0, comma), words)) return msg_quoting(ip.out, "", "", "unmatched quote\n", 198);
  return parse_options(ip, rest, comma, cl);
}

rc_t read_whole_file(const std::string& path, std::vector<std::uint8_t>* bytes) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return errno == ENOENT ? 601 : 603;
  struct stat st;
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    return 603;
  }
  bytes->clear();
  bytes->reserve(static_cast<std::size_t>(st.st_size));
  std::uint8_t buf[65536];
  for (;;) {
    ssize_t n = ::read(fd, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      ::close(fd);
      return 692;
    }
    if (n == 0) break;
    bytes->insert(bytes->end(), buf, buf + n);
  }
  ::close(fd);
  return 0;
}

rc_t graph_save(Interp& ip) {
  std::vector<std::string> words;
  CommandLine cl;
  if (rc_t rc = read_file_words(ip, &words, &cl)) return rc;
  bool replace = cl.flag("replace", 7, 0) == 1;
  if (rc_t rc = cl.leftover(ip)) return rc;
  if (words.empty()) return msg_invalid(ip, "file specification");
  if (words.size() > 2) return msg_quoting(ip.out, "", words[2], " invalid; graph save [graphname] filename\n", 198);
  GraphState& gs = graph_state(ip);
  const NamedGraph* g = nullptr;
  if (words.size() == 2) {
    g = find_graph(gs, words[0]);
    if (!g) return msg_quoting(ip.out, "graph ", words[0], " not found\n", 111);
  } else if (gs.current >= 0) {
    g = &gs.graphs[gs.current];
  }
  if (!g) return msg_quoting(ip.out, "no graph in memory\n", "", "", 111);
  std::string file = dta::with_dta_suffix(words.back(), ".gph");

  SavedGraph saved;
  saved.name = g->name;
  saved.command = g->command;
  saved.drawing = g->drawing;
  if (const Serset* s = gs.sersets.find(g->serset)) {
    saved.has_serset = true;
    saved.serset = *s;
  }
  std::string bytes = write_gph(saved);
  dta::ReplacingFile out;
  if (rc_t rc = out.open(dta::local_path(file), replace, 0666 & ~ip.umask_value)) return dta::file_message(ip, file, rc);
  (void)out.write(bytes.data(), bytes.size());  // a failed write is reported by commit
  if (rc_t rc = out.commit()) return dta::file_message(ip, file, rc);
  ip.out.set_class(output::OutClass::Text);
  ip.out.print_markup("{txt}(file ");
  ip.out.print_plain(file);
  ip.out.print_markup(" saved)\n");
  return 0;
}

rc_t graph_use(Interp& ip) {
  std::vector<std::string> words;
  CommandLine cl;
  if (rc_t rc = read_file_words(ip, &words, &cl)) return rc;
  std::string name;
  bool named = cl.string("name", 4, &name, 64, 1);
  if (rc_t rc = cl.leftover(ip)) return rc;
  if (words.empty()) return msg_invalid(ip, "file specification");
  if (words.size() > 1) return msg_quoting(ip.out, "", words[1], " invalid; graph use filename\n", 198);
  if (named && !valid_graph_name(name)) return msg_quoting(ip.out, "", name, " invalid name\n", 198);
  std::string file = dta::with_dta_suffix(words[0], ".gph");

  std::vector<std::uint8_t> bytes;
  if (rc_t rc = read_whole_file(dta::local_path(file), &bytes)) return dta::file_message(ip, file, rc);
  SavedGraph saved;
  std::string why;
  switch (read_gph(bytes.data(), bytes.size(), &saved, &why)) {
    case GphFault::kNone:
      break;
    case GphFault::kNotGraph:
      return msg_quoting(ip.out, "{p 0 4}file ", file, " is not a graph file{p_end}\n", 610);
    case GphFault::kNewer:
      return msg_quoting(ip.out, "{p 0 4}file ", file, " is a graph file of a later format than this release reads{p_end}\n",
                         610);
    case GphFault::kTruncated:
      return dta::file_message(ip, file, 612);
    case GphFault::kCorrupt:
      return msg_quoting(ip.out, "{p 0 4}file ", file, " is corrupt (" + why + "); graph not loaded{p_end}\n", 688);
  }

  // Only now, with the whole file read and checked, does anything change.
  NamedGraph g;
  g.name = named ? name : saved.name;
  g.command = std::move(saved.command);
  g.drawing = std::move(saved.drawing);
  if (saved.has_serset) g.serset = graph_state(ip).sersets.add(std::move(saved.serset));
  keep_graph(ip, std::move(g));
  return 0;
}

}  // namespace nuvra::graphics
