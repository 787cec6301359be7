// Value labels: named tables mapping 32-bit integers to text.
//
// A table is held as the one contiguous block that dataset files carry
// verbatim, all fields little-endian 32-bit:
//
//   n        number of entries
//   txtlen   length of the text area
//   off[n]   offset of entry i's text in the text area
//   val[n]   value of entry i
//   txt      the texts, each zero-terminated
//
// Tables built here keep the entries ordered by value with the texts in the
// same order; a block read from a file is kept byte for byte as it came.
#pragma once
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "base/rc.h"
#include "data/limits.h"

namespace nuvra::data {

inline constexpr std::size_t kMaxValueLabelText = 32000;

// Labels are kept for whole numbers up to kLargestLabelled and for the
// extended missing values .a to .z, which take the integer codes a dataset
// file gives them in a long: kMissingLongCode + 1 (.a) to + 26 (.z).
inline constexpr std::int32_t kLargestLabelled = kLongMax;
inline constexpr std::int32_t kMissingLongCode = kLongDot;

// The table key of a value: true with *key set for a whole number from
// -2147483647 to kLargestLabelled or for .a to .z; false for anything
// that cannot carry a label (fractions, `.`, larger numbers).
bool label_key(double v, std::int32_t* key);
// The text ".a" to ".z" for a key above kMissingLongCode, else the number.
std::string label_key_text(std::int32_t key);

class ValueLabel {
 public:
  ValueLabel();  // the empty table (n = 0, txtlen = 0)

  // Builds the block from value -> text pairs; texts longer than
  // kMaxValueLabelText are cut. Returns 950 when memory runs out.
  static rc_t encode(const std::map<std::int32_t, std::string>& entries, ValueLabel* out);
  // Takes a block as read from a file. 0, or 198 when the block is not
  // well formed (sizes disagree, an offset outside the text area, a text
  // without its terminator).
  static rc_t from_block(const void* data, std::size_t len, ValueLabel* out);

  std::map<std::int32_t, std::string> decode() const;

  std::int32_t size() const;                 // n
  std::int32_t value_at(std::int32_t i) const;  // val[i], 0-based
  std::string_view text_at(std::int32_t i) const;
  // The text for a value, or nullptr when the value has no label.
  const char* find(std::int32_t value) const;
  // The text for a value as stored in the data, through label_key().
  const char* find_value(double v) const {
    std::int32_t key;
    return label_key(v, &key) ? find(key) : nullptr;
  }
  // Length of the longest text (file loading drops tables beyond the limit).
  std::size_t longest_text() const;

  const std::vector<char>& block() const { return block_; }

 private:
  std::int32_t field(std::size_t index) const;  // 32-bit field number index
  void index();

  std::vector<char> block_;
  bool sorted_ = true;  // values ascending: lookups can bisect
};

// The store of value-label tables by name.
class ValueLabelStore {
 public:
  // Replaces or creates the table. 198 for an invalid name (message in
  // *msg when given), 950 when memory runs out.
  rc_t put(std::string_view name, ValueLabel table, std::string* msg = nullptr);
  const ValueLabel* get(std::string_view name) const;
  bool exists(std::string_view name) const { return get(name) != nullptr; }
  bool drop(std::string_view name);  // false when there was none
  std::vector<std::string> names() const;  // sorted
  void clear() { map_.clear(); }
  std::size_t count() const { return map_.size(); }

  // `label define` with add / modify: sets value -> text in the named table
  // (creating it), or removes the value when text is empty.
  rc_t define(std::string_view name, std::int32_t value, std::string_view text,
              std::string* msg = nullptr);

 private:
  std::unordered_map<std::string, ValueLabel> map_;
};

}  // namespace nuvra::data
