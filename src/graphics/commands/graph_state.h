// What the graph commands keep between commands: the serset store and the
// graphs drawn in this session.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "base/rc.h"
#include "graphics/drawing.h"
#include "graphics/nmcl_printer.h"
#include "graphics/serset.h"

namespace nuvra {

class Interp;
class CommandLine;

namespace graphics {

struct NamedGraph {
  std::string name;
  std::string command;  // the command line that drew it
  Recording drawing;
  int serset = 0;       // the serset it drew from (0 none)
};

struct GraphState {
  SersetStore sersets;
  std::vector<NamedGraph> graphs;  // in the order drawn; "Graph" is the unnamed one
  int current = -1;                // the graph a bare export writes, or -1
  TextPage nmcl2ps, log2ps;        // the page settings of the two text printers
};

// The session's graph state, made on first use.
GraphState& graph_state(Interp& ip);

// A graph name: a letter or underscore, then letters, digits and
// underscores, at most 32 in all.
bool valid_graph_name(std::string_view n);

// Keeps a drawn graph under its name, replacing (and dropping the serset
// of) a graph of that name, makes it the current graph, and shows it in a
// window when there are windows.
void keep_graph(Interp& ip, NamedGraph g);
NamedGraph* find_graph(GraphState& gs, std::string_view name);

// The words of `s`, blank-separated, a word in double quotes (simple or
// compound) kept whole without its quotes; false when a quote is not
// closed.  For commands that name files before their options.
bool file_words(std::string_view s, std::vector<std::string>* out);
// The file words before the options comma of the command line and the
// options after it; "unmatched quote" (198) for a quote left open.
rc_t read_file_words(Interp& ip, std::vector<std::string>* words, CommandLine* cl);
// The whole file: 0, 601 (not found), 603 (a directory, or unreadable),
// 692 (a read failed).
rc_t read_whole_file(const std::string& path, std::vector<std::uint8_t>* bytes);

// graph save and graph use.
rc_t graph_save(Interp& ip);
rc_t graph_use(Interp& ip);

// Copies the variables `vars` of the observations marked in `touse` under
// the missing-value rule, ordered by `keys` when there are any.  0, or 1
// after a Break.
rc_t copy_to_serset(Interp& ip, const std::vector<int>& vars, const std::vector<int>& keys,
                    const std::vector<char>& touse, MissingRule rule, Serset* out);

}  // namespace graphics
}  // namespace nuvra
