// Characteristics: named text attached to the dataset (owner `_dta`) or to a
// variable (owner = the variable's name), addressed as owner[name].
//
// Entries keep their definition order per owner so that listings and saved
// files come out the same way every time. Storing empty contents deletes a
// characteristic; contents beyond kMaxCharLength bytes are cut.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "base/rc.h"

namespace nuvra::data {

inline constexpr std::size_t kMaxCharLength = 67783;

class Characteristics {
 public:
  struct Entry {
    std::string name;      // at most 32 bytes, a valid name
    std::string contents;  // at most kMaxCharLength bytes, never empty
  };

  // 0; 198 for an invalid characteristic name (message in *msg when given:
  // "%s invalid name" or "nothing found where name expected"); 950 when the
  // store cannot take the entry. The owner is not checked here.
  rc_t set(std::string_view owner, std::string_view name, std::string_view contents,
           std::string* msg = nullptr);
  // nullptr when undefined.
  const std::string* get(std::string_view owner, std::string_view name) const;
  // The entries of one owner in definition order (empty when none).
  const std::vector<Entry>& entries(std::string_view owner) const;
  // Owners that hold at least one characteristic, sorted.
  std::vector<std::string> owners() const;

  void drop_owner(const std::string& owner);
  // Moves everything owner `from` holds to owner `to`, replacing what `to`
  // held (used when a variable is renamed).
  void rename_owner(std::string_view from, std::string_view to);
  void clear() { map_.clear(); }
  bool empty() const { return map_.empty(); }

 private:
  std::unordered_map<std::string, std::vector<Entry>> map_;
};

}  // namespace nuvra::data
