#include "interp/macros.h"

#include <algorithm>

namespace nuvra {

const std::string* MacroStore::global(std::string_view name) const {
  auto it = globals_.find(name);
  return it == globals_.end() ? nullptr : &it->second;
}

void MacroStore::set_global(std::string_view name, std::string_view text) {
  auto it = globals_.find(name);
  if (it != globals_.end())
    it->second.assign(text);
  else
    globals_.emplace(std::string(name), std::string(text));
}

void MacroStore::drop_global(std::string_view name) { globals_.erase(std::string(name)); }

const std::string* MacroStore::local(std::string_view name) const {
  const Map& m = locals_.back();
  auto it = m.find(name);
  return it == m.end() ? nullptr : &it->second;
}

void MacroStore::set_local(std::string_view name, std::string_view text) {
  Map& m = locals_.back();
  auto it = m.find(name);
  if (it != m.end())
    it->second.assign(text);  // keeps the value's buffer: loops reset the same local each pass
  else
    m.emplace(std::string(name), std::string(text));
}

void MacroStore::drop_local(std::string_view name) { locals_.back().erase(std::string(name)); }

void MacroStore::set_caller_local(std::string_view name, std::string_view text) {
  Map& m = locals_.size() > 1 ? locals_[locals_.size() - 2] : locals_.back();
  m[std::string(name)].assign(text);
}

namespace {
template <class M>
std::vector<std::string> sorted_keys(const M& m) {
  std::vector<std::string> names;
  names.reserve(m.size());
  for (const auto& kv : m) names.push_back(kv.first);
  std::sort(names.begin(), names.end());
  return names;
}
}  // namespace

std::vector<std::string> MacroStore::global_names() const { return sorted_keys(globals_); }
std::vector<std::string> MacroStore::local_names() const { return sorted_keys(locals_.back()); }

}  // namespace nuvra
