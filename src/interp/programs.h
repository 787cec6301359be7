// Defined programs: the store, `program define|dir|list|drop`, running a
// program in a frame of its own, and the results programs return.
#pragma once
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "interp/rc.h"
#include "stats/matrix.h"

namespace nuvra {

class Interp;

enum class ProgramClass { None, R, E, S };

struct Program {
  std::string name;
  std::vector<std::string> lines;
  ProgramClass cls = ProgramClass::None;
  bool from_ado = false;
  bool sortpreserve = false;
  int byable = 0;  // 0 no, 1 recall, 2 onecall
  bool byable_noheader = false;
  std::string plugin_file;  // set for plug-in programs
  int version = 0;          // version in force when the program was defined
  uint32_t last_use = 0;    // command serial number of the last call
  size_t size_bytes() const;
};

// What the frame stack keeps of a running program.
struct RunningProgram {
  std::string name;
  ProgramClass cls;
};

// Saved results of one class: scalars and macros by name.
struct SavedResults {
  std::map<std::string, double> scalars;
  std::map<std::string, std::string> macros;
  std::map<std::string, stats::Matrix> matrices;
  // Estimation results only: the kind of model that posted them (which
  // commands may replay them), and numbers kept for the replay display.
  int kind = 0;
  std::vector<double> aux;
  void clear() {
    scalars.clear();
    macros.clear();
    matrices.clear();
    kind = 0;
    aux.clear();
  }
  bool empty() const { return scalars.empty() && macros.empty() && matrices.empty(); }
};

// Estimation results kept under a name by `estimates store`, with the
// sample they were fitted on (one byte per observation at store time).
struct StoredEstimates {
  std::string name;
  SavedResults e;
  bool has_sample = false;
  std::vector<signed char> sample;
};

// A linear constraint of the last `test`, kept by coefficient name so that
// `test ..., accumulate` can add to it.
struct TestConstraint {
  std::vector<std::pair<std::string, double>> terms;
  double rhs = 0;
};

class ProgramStore {
 public:
  Program* find(std::string_view name);
  // Adds or replaces; the caller has checked that replacing is allowed.
  Program* add(Program p);
  bool drop(std::string_view name);
  void drop_ado_loaded();
  void clear() { programs_.clear(); }
  // Names in alphabetical order.
  std::vector<const Program*> all() const;

 private:
  std::map<std::string, std::unique_ptr<Program>, std::less<>> programs_;
};

// Runs `prog` with `args` as its command line after the name.
rc_t run_program(Interp& ip, Program& prog, std::string_view args);

// r(), e() and s() as seen by expressions and macro references: the text of
// a macro, or a scalar formatted as a number; false when there is none.
bool saved_result_text(Interp& ip, char cls, std::string_view name, std::string* out);
bool saved_result_scalar(Interp& ip, char cls, std::string_view name, double* out);

}  // namespace nuvra
