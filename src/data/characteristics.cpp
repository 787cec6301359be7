#include "data/characteristics.h"

#include <algorithm>
#include <new>

#include "data/dataset.h"

namespace nuvra::data {

rc_t Characteristics::set(std::string_view owner, std::string_view name,
                          std::string_view contents, std::string* msg) {
  if (rc_t rc = validate_name(name, msg)) return rc;
  if (contents.size() > kMaxCharLength) contents = contents.substr(0, kMaxCharLength);
  auto it = map_.find(std::string(owner));
  if (contents.empty()) {
    if (it == map_.end()) return 0;
    auto& v = it->second;
    v.erase(std::remove_if(v.begin(), v.end(), [&](const Entry& e) { return e.name == name; }),
            v.end());
    if (v.empty()) map_.erase(it);
    return 0;
  }
  try {
    if (it == map_.end()) it = map_.emplace(std::string(owner), std::vector<Entry>{}).first;
    for (auto& e : it->second) {
      if (e.name == name) {
        e.contents.assign(contents);
        return 0;
      }
    }
    it->second.push_back(Entry{std::string(name), std::string(contents)});
  } catch (const std::bad_alloc&) {
    return 950;
  }
  return 0;
}

const std::string* Characteristics::get(std::string_view owner, std::string_view name) const {
  auto it = map_.find(std::string(owner));
  if (it == map_.end()) return nullptr;
  for (const auto& e : it->second)
    if (e.name == name) return &e.contents;
  return nullptr;
}

const std::vector<Characteristics::Entry>& Characteristics::entries(std::string_view owner) const {
  static const std::vector<Entry> kNone;
  auto it = map_.find(std::string(owner));
  return it == map_.end() ? kNone : it->second;
}

std::vector<std::string> Characteristics::owners() const {
  std::vector<std::string> out;
  out.reserve(map_.size());
  for (const auto& [k, v] : map_) out.push_back(k);
  std::sort(out.begin(), out.end());
  return out;
}

// Takes the owner's name as the key itself, so that it allocates nothing: a
// drop calls it after the data have moved.
void Characteristics::drop_owner(const std::string& owner) { map_.erase(owner); }

void Characteristics::rename_owner(std::string_view from, std::string_view to) {
  if (from == to) return;
  // The keys are made first: after them nothing allocates, so a failure
  // leaves the characteristics as they were.
  std::string from_key(from), to_key(to);
  auto it = map_.find(from_key);
  map_.erase(to_key);
  if (it == map_.end()) return;
  auto node = map_.extract(it);
  node.key().swap(to_key);
  map_.insert(std::move(node));  // no more entries than before: no rehash
}

}  // namespace nuvra::data
