// What the graph commands keep between commands: the serset store and the
// graphs drawn in this session.
#pragma once
#include <memory>
#include <string>
#include <vector>

#include "base/rc.h"
#include "graphics/drawing.h"
#include "graphics/serset.h"

namespace nuvra {

class Interp;

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
};

// The session's graph state, made on first use.
GraphState& graph_state(Interp& ip);

// Copies the variables `vars` of the observations marked in `touse` under
// the missing-value rule, ordered by `keys` when there are any.  0, or 1
// after a Break.
rc_t copy_to_serset(Interp& ip, const std::vector<int>& vars, const std::vector<int>& keys,
                    const std::vector<char>& touse, MissingRule rule, Serset* out);

}  // namespace graphics
}  // namespace nuvra
