// The compile-time tables of one compilation: declared types, the literal
// pools and the local symbols of the function being compiled.  A table
// that overflows prints its message and abandons the compilation.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "lumo/host.h"
#include "lumo/value.h"

namespace nuvra::lumo {

// Thrown only inside the compiler, caught at its entry points: the
// message has been printed and the unit is abandoned.
struct CompileAbort {};
// The text ended inside an unfinished statement.
struct CompileIncomplete {};
// Break was pressed while compiling ("--Break--" has been printed).
struct CompileBreak {};

// Prints a compile error in the error style and abandons the unit.
[[noreturn]] void CompileFail(Host& host, std::string_view message);

struct TypeEntry {
  int8_t el;
  int8_t org;
  uint8_t isfunction;
  int32_t to;    // pointer target type, or -1
  int32_t name;  // struct name offset in the pool, or -1
};

class TypeTable {
 public:
  static constexpr size_t kMaxEntries = 500;
  static constexpr size_t kPoolBytes = 4000;
  explicit TypeTable(Host& host) : host_(host) {}
  int Plain(int el, int org, bool isfunction = false);
  int Pointer(int org, bool isfunction, int target = -1);
  void SetTarget(int pointer, int target) { entries_[pointer].to = target; }
  int Struct(std::string_view name, int org, bool isfunction);
  const TypeEntry& at(int k) const { return entries_[k]; }
  // Same type: same index, or agreeing eltypes (and, when asked, org and
  // isfunction), pointers comparing their targets, structs their names.
  bool Same(int a, int b, bool full) const;
  std::string Describe(int k) const;  // "real scalar"
  // The structure name of a struct entry ("" for any other).
  std::string StructName(int k) const {
    const TypeEntry& e = entries_[k];
    return (e.el == kCtStruct || e.el == kCtStructdef) && e.name >= 0 ? std::string(pool_.c_str() + e.name) : std::string();
  }
  std::string Dump() const;
  size_t size() const { return entries_.size(); }

 private:
  int Add(TypeEntry e);
  Host& host_;
  std::vector<TypeEntry> entries_;
  std::string pool_;
};

class LiteralPool {
 public:
  static constexpr size_t kMaxDoubles = 100;
  static constexpr size_t kMaxStrings = 499;
  explicit LiteralPool(Host& host) : host_(host) {}
  int Double(double d);
  int String(std::string s);
  const std::vector<double>& doubles() const { return doubles_; }
  const std::vector<std::string>& strings() const { return strings_; }

 private:
  Host& host_;
  std::vector<double> doubles_;
  std::vector<std::string> strings_;
};

enum class SymClass : uint8_t { Argument = 0, Undeclared = 1, Declared = 2, External = 3 };

struct LocalSymbol {
  std::string name;  // functions carry "()" after the name
  SymClass cls = SymClass::Undeclared;
  int8_t kind = 0;  // 2 for a function name
  int32_t type = 0;
  bool declared = false, set = false, used = false, usedbeforeset = false;
  bool pragma_unused = false, pragma_unset = false;
};

class LocalSymbols {
 public:
  static constexpr size_t kMaxSymbols = 200;
  explicit LocalSymbols(Host& host) : host_(host) {}
  // Adds a symbol; "symbol %s multiply defined" when declared twice.
  int Add(std::string_view name, SymClass cls, int kind, int type, bool declared);
  int Find(std::string_view name) const;
  LocalSymbol& at(int k) { return syms_[k]; }
  const LocalSymbol& at(int k) const { return syms_[k]; }
  void MarkSet(int k) { syms_[k].set = true; }
  void MarkUsed(int k) {
    if (!syms_[k].set && !syms_[k].used) syms_[k].usedbeforeset = true;
    syms_[k].used = true;
  }
  size_t size() const { return syms_.size(); }
  int nargs = 0;

 private:
  Host& host_;
  std::vector<LocalSymbol> syms_;
};

}  // namespace nuvra::lumo
