// What the graph commands keep between commands: the serset store and the
// graphs drawn in this session.  Each graph is an instance of the class
// grgraph (ado/base/g/grgraph.class) kept at the top level of the class
// store under the graph's name, so `.Graph.title' and class inspect reach
// it; the store decides which graphs exist and in what order, and this
// side keeps only what a class attribute cannot hold: the recorded
// drawing and the serset the graph drew from.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "base/rc.h"
#include "class/store.h"
#include "graphics/drawing.h"
#include "graphics/gph_file.h"
#include "graphics/graph_facts.h"
#include "graphics/nmcl_printer.h"
#include "graphics/render.h"
#include "graphics/serset.h"

namespace nuvra {

class Interp;
class CommandLine;

namespace graphics {

// A graph on its way to being kept.
struct NamedGraph {
  std::string name;
  std::string command;  // the command line that drew it
  Recording drawing;
  GraphFacts facts;
};

// A graph kept: its object in the class store, its picture here.
struct KeptGraph {
  cls::Key object = cls::kNullKey;
  Recording drawing;
  int serset = 0;  // the serset it drew from (0 none)
};

struct GraphState {
  SersetStore sersets;
  std::vector<KeptGraph> graphs;   // in no particular order: the store orders them
  cls::Key current = cls::kNullKey;  // the graph a bare export writes
  TextPage nmcl2ps, log2ps;        // the page settings of the two text printers
};

// The session's graph state, made on first use.
GraphState& graph_state(Interp& ip);

// A graph name: a letter or underscore, then letters, digits and
// underscores, at most 32 in all.
bool valid_graph_name(std::string_view n);

// What a graph drawn from `spec` by `graph type` shows: its titles, its
// plots, axes and legend.
GraphFacts spec_facts(std::string_view type, const GraphSpec& spec);

// Keeps a drawn graph under its name: makes its object, then adds
// `serset` (when not null) to the serset store, replaces a graph of that
// name (dropping its serset), makes it the current graph, and shows it in
// a window when there are windows.  Nothing changes when the object
// cannot be made or the name belongs to a class object that is not a
// graph.
rc_t keep_graph(Interp& ip, NamedGraph g, Serset* serset);
// The graphs, in the order their objects stand in the class store.  A
// graph whose object was freed or replaced through the class system is
// gone, and its serset with it.
std::vector<KeptGraph*> kept_graphs(Interp& ip);
// The graph of that name, or with an empty name the current graph; null
// when there is none.
KeptGraph* find_graph(Interp& ip, std::string_view name);
// Drops the graph of that object: frees the object and the serset.
void drop_graph(Interp& ip, cls::Key object);
// The name of a graph: the name its object is kept under.
std::string graph_name(Interp& ip, const KeptGraph& g);
// The facts of a graph's object, read from it, apart from those the graph
// itself gives (command, size, drawing and serset): what a saved graph
// keeps.
GraphFacts object_facts(Interp& ip, const KeptGraph& g);
// An attribute of a graph's object: text (empty when it has none) and
// number (0 when it has none).
std::string graph_text(Interp& ip, const KeptGraph& g, std::string_view path);
double graph_number(Interp& ip, const KeptGraph& g, std::string_view path);

// The words of `s`, blank-separated, a word in double quotes (simple or
// compound) kept whole without its quotes; false when a quote is not
// closed.  For commands that name files before their options.
bool file_words(std::string_view s, std::vector<std::string>* out);
// The command line of a command that names files and then takes options:
// the file words and the parsed options.  Prints why and returns the code
// on a quote left open or options that do not parse.
rc_t file_command_line(Interp& ip, std::vector<std::string>* words, CommandLine* cl);
// The whole file: 0, 601 (not found), 603 (a directory, or unreadable),
// 692 (a read failed).
rc_t read_whole_file(const std::string& path, std::vector<std::uint8_t>* bytes);

// The PostScript of a drawing, as graph export writes it.
struct PsOptions {
  bool eps = false;
  bool cmyk = false;
  bool landscape = false;
};
void graph_postscript(const Recording& drawing, const PsOptions& o, std::string* out);

// The PostScript of a results or log file, as translate writes it: with
// `translator` empty the file's first line picks nmcl2ps or log2ps.
// Prints its message and returns the code when the file cannot be read
// or the translator is unknown.
rc_t text_postscript(Interp& ip, const std::string& file, std::string_view translator, std::string* ps,
                     int* pages);

// Reads and checks a saved graph file; prints why and returns the code
// when it is refused.
rc_t load_gph(Interp& ip, const std::string& file, SavedGraph* out);

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
