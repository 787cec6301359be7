// One Lumo environment: its values and functions, the machine and the
// compiler, and the running of typed text (statements and definitions).
#pragma once
#include <string>
#include <string_view>

#include "lumo/autoload.h"
#include "lumo/compiler.h"
#include "lumo/host.h"
#include "lumo/value.h"
#include "lumo/vm.h"

namespace nuvra::lumo {

class Session {
 public:
  explicit Session(Host& host) : host_(host), machine_(values_, host), compiler_(host, values_), libraries_(host) {
    values_.data_host = &host;
    machine_.find_undefined = [this](std::string_view name) { return DefineFromObjectFile(name); };
    values_.loader = &libraries_;
  }

  enum class Outcome { kDone, kIncomplete };
  // Compiles the text and, for statements, runs them as "<istmt%d>".
  // kIncomplete (nothing done) when the text ends inside a statement.
  // *rc is 0, the compile failure's code (3000) or the run's code.
  Outcome Run(std::string_view text, rc_t* rc);
  // The code of the statements (not run) or of the definition (not
  // stored) in the text, listed; "" after printing a compile error.
  std::string DisassembleText(std::string_view text, bool* incomplete);
  // The listing of a stored function; "" when there is none.
  std::string DisassembleFunction(std::string_view name) const;

  // Defines the function of that name from name.mo, the first along the
  // ado-path, flagged autoloaded (functions in the libraries come first,
  // through the values' loader); null when there is none or it is refused (the message
  // is printed).
  FunctionRecord* DefineFromObjectFile(std::string_view name);

  Values& values() { return values_; }
  Machine& machine() { return machine_; }
  Compiler& compiler() { return compiler_; }
  // Where functions called but not defined are looked for.
  LibraryIndex& libraries() { return libraries_; }
  // Nesting of `lumo` environments (names the statement functions).
  int nesting = 1;

 private:
  Host& host_;
  Values values_;
  Machine machine_;
  Compiler compiler_;
  LibraryIndex libraries_;
};

// Return code of a compile error.
inline constexpr rc_t kCompileError = 3000;

}  // namespace nuvra::lumo
