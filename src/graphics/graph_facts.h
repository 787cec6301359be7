// What a graph's object says about its parts beside the drawing: values
// for attributes by dotted path below the object ("title", "xaxis.scale",
// "legend.keys"), kept with a saved graph so that using it makes the same
// object again.
#pragma once
#include <string>
#include <utility>
#include <vector>

namespace nuvra::graphics {

struct GraphFacts {
  std::vector<std::pair<std::string, std::string>> texts;
  std::vector<std::pair<std::string, double>> numbers;
  std::vector<std::pair<std::string, std::vector<std::string>>> lists;
  bool operator==(const GraphFacts&) const = default;
};

}  // namespace nuvra::graphics
