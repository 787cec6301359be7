// The Lumo compiler: source text to function records.  A definition is
// stored in the function name space; statements typed at the prompt are
// compiled into one statement function that the caller runs once.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "lumo/host.h"
#include "lumo/value.h"

namespace nuvra::lumo {

enum class CompileStatus { kOk, kError, kIncomplete, kBreak };

struct CompiledUnit {
  bool is_definition = false;
  std::string name;           // the function defined
  std::vector<int32_t> code;  // a statement's code
};

// Code header: word 0 the number of arguments, word 1 the number that
// must be passed; instructions start at word 2.
inline constexpr int kCodeHeaderWords = 2;

class Compiler {
 public:
  Compiler(Host& host, Values& values) : host_(host), values_(values) {}
  // Compiles one unit of text: a function definition (stored unless
  // `store` is false, in which case its code is returned), or any number
  // of statements.  kIncomplete when the text ends inside a statement;
  // kError after printing the message.
  CompileStatus Compile(std::string_view text, CompiledUnit* unit, bool store = true);
  // Emit opcode 89 with each statement's line.
  bool record_lines = false;
  // Print the notes about unused and unset symbols.
  bool notes = true;

 private:
  Host& host_;
  Values& values_;
};

// The text starts a definition (`function`, a type word, or `struct`).
bool StartsDefinition(std::string_view text);

}  // namespace nuvra::lumo
