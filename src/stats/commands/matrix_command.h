// Pieces of the matrix command shared between its files.
#pragma once
#include <string>
#include <string_view>
#include <vector>

#include "interp/rc.h"
#include "stats/matrix.h"

namespace nuvra {
class Interp;
}

namespace nuvra::stats {

// Blank-separated words; a double-quoted word loses its quotes.
std::vector<std::string> split_words(std::string_view s);

// The options after a comma: name or name(args) (args trimmed, outer
// quotes removed).
struct MatOption {
  std::string name;
  std::string args;
  bool has_args = false;
};
std::vector<MatOption> split_matrix_options(std::string_view s);

// 908 (with its message) when the matrix exceeds matsize in either
// dimension.
rc_t check_matsize(Interp& ip, const Matrix& m);
// Checks the size and stores the matrix under `name`, replacing any.
rc_t store_matrix(Interp& ip, const std::string& name, Matrix m);

// matrix accum, vecaccum and score: `rest` is the text after the
// subcommand, a view into the command buffer.
rc_t matrix_accum(Interp& ip, std::string_view rest);
rc_t matrix_vecaccum(Interp& ip, std::string_view rest);
rc_t matrix_score(Interp& ip, std::string_view rest);

}  // namespace nuvra::stats
