// The macro store: global macros by name, and one local name space per
// running program or do-file (level 0 is the top level).
#pragma once
#include <string>
#include <string_view>
#include <functional>
#include <unordered_map>
#include <vector>

namespace nuvra {

class MacroStore {
 public:
  MacroStore() : locals_(1) {}

  const std::string* global(std::string_view name) const;
  void set_global(std::string_view name, std::string_view text);
  void drop_global(std::string_view name);

  const std::string* local(std::string_view name) const;
  void set_local(std::string_view name, std::string_view text);
  void drop_local(std::string_view name);
  // The caller's name space (one level up), used by c_local.
  void set_caller_local(std::string_view name, std::string_view text);

  void push_level() { locals_.emplace_back(); }
  void pop_level() {
    if (locals_.size() > 1) locals_.pop_back();
  }
  size_t level() const { return locals_.size() - 1; }

  // Names of the globals, or of the running level's locals, sorted.
  std::vector<std::string> global_names() const;
  std::vector<std::string> local_names() const;

 private:
  // Looked up by string_view without making a key string: every macro
  // reference and every loop pass goes through here.
  struct NameHash {
    using is_transparent = void;
    size_t operator()(std::string_view s) const { return std::hash<std::string_view>{}(s); }
  };
  using Map = std::unordered_map<std::string, std::string, NameHash, std::equal_to<>>;
  Map globals_;
  std::vector<Map> locals_;
};

}  // namespace nuvra
