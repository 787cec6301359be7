#include "data/value_labels.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>

#include "data/dataset.h"
#include "data/missing.h"

namespace nuvra::data {

namespace {

void put32(std::vector<char>& b, std::size_t pos, std::int32_t v) {
  auto u = static_cast<std::uint32_t>(v);
  for (int k = 0; k < 4; ++k) b[pos + k] = static_cast<char>((u >> (8 * k)) & 0xFF);
}

std::int32_t get32(const char* p) {
  std::uint32_t u = 0;
  for (int k = 0; k < 4; ++k) u |= static_cast<std::uint32_t>(static_cast<unsigned char>(p[k])) << (8 * k);
  return static_cast<std::int32_t>(u);
}

}  // namespace

ValueLabel::ValueLabel() : block_(8, 0) {}

std::int32_t ValueLabel::field(std::size_t index) const { return get32(block_.data() + 4 * index); }

std::int32_t ValueLabel::size() const { return field(0); }

std::int32_t ValueLabel::value_at(std::int32_t i) const { return field(2 + size() + i); }

std::string_view ValueLabel::text_at(std::int32_t i) const {
  std::int32_t n = size();
  const char* txt = block_.data() + 8 + 8 * static_cast<std::size_t>(n);
  return std::string_view(txt + field(2 + i));
}

void ValueLabel::index() {
  std::int32_t n = size();
  sorted_ = true;
  for (std::int32_t i = 1; i < n && sorted_; ++i)
    if (value_at(i - 1) >= value_at(i)) sorted_ = false;
}

bool label_key(double v, std::int32_t* key) {
  int code = missing_code(v);
  if (code > 0) {
    *key = kMissingLongCode + code;
    return true;
  }
  if (code == 0 || v != std::floor(v) || v < kLongMin || v > kLargestLabelled) return false;
  *key = static_cast<std::int32_t>(v);
  return true;
}

std::string label_key_text(std::int32_t key) {
  if (key > kMissingLongCode) return std::string(".") + static_cast<char>('a' + (key - kMissingLongCode - 1));
  return std::to_string(key);
}

const char* ValueLabel::find(std::int32_t value) const {
  std::int32_t n = size();
  std::size_t txt = 8 + 8 * static_cast<std::size_t>(n);
  if (sorted_) {
    std::int32_t lo = 0, hi = n;
    while (lo < hi) {
      std::int32_t mid = lo + (hi - lo) / 2;
      if (value_at(mid) < value) lo = mid + 1;
      else hi = mid;
    }
    if (lo < n && value_at(lo) == value) return block_.data() + txt + field(2 + lo);
    return nullptr;
  }
  for (std::int32_t i = 0; i < n; ++i)
    if (value_at(i) == value) return block_.data() + txt + field(2 + i);
  return nullptr;
}

std::size_t ValueLabel::longest_text() const {
  std::size_t m = 0;
  for (std::int32_t i = 0; i < size(); ++i) m = std::max(m, text_at(i).size());
  return m;
}

rc_t ValueLabel::encode(const std::map<std::int32_t, std::string>& entries, ValueLabel* out) {
  try {
    std::size_t n = entries.size(), txtlen = 0;
    for (const auto& [v, t] : entries) txtlen += std::min(t.size(), kMaxValueLabelText) + 1;
    std::vector<char> b(8 + 8 * n + txtlen);
    put32(b, 0, static_cast<std::int32_t>(n));
    put32(b, 4, static_cast<std::int32_t>(txtlen));
    std::size_t i = 0, pos = 0, txt = 8 + 8 * n;
    for (const auto& [v, t] : entries) {
      std::size_t len = std::min(t.size(), kMaxValueLabelText);
      put32(b, 8 + 4 * i, static_cast<std::int32_t>(pos));
      put32(b, 8 + 4 * n + 4 * i, v);
      std::memcpy(b.data() + txt + pos, t.data(), len);
      b[txt + pos + len] = 0;
      pos += len + 1;
      ++i;
    }
    out->block_ = std::move(b);
    out->sorted_ = true;
  } catch (const std::bad_alloc&) {
    return 950;
  }
  return 0;
}

rc_t ValueLabel::from_block(const void* data, std::size_t len, ValueLabel* out) {
  const char* p = static_cast<const char*>(data);
  if (len < 8) return 198;
  std::int32_t n = get32(p), txtlen = get32(p + 4);
  if (n < 0 || txtlen < 0) return 198;
  if (len != 8 + 8 * static_cast<std::size_t>(n) + static_cast<std::size_t>(txtlen)) return 198;
  if (n > 0 && (txtlen == 0 || p[len - 1] != 0)) return 198;
  for (std::int32_t i = 0; i < n; ++i) {
    std::int32_t off = get32(p + 8 + 4 * static_cast<std::size_t>(i));
    if (off < 0 || off >= txtlen) return 198;
  }
  try {
    out->block_.assign(p, p + len);
  } catch (const std::bad_alloc&) {
    return 950;
  }
  out->index();
  return 0;
}

std::map<std::int32_t, std::string> ValueLabel::decode() const {
  std::map<std::int32_t, std::string> m;
  for (std::int32_t i = 0; i < size(); ++i) m.emplace(value_at(i), std::string(text_at(i)));
  return m;
}

rc_t ValueLabelStore::put(std::string_view name, ValueLabel table, std::string* msg) {
  if (rc_t rc = validate_name(name, msg)) return rc;
  try {
    map_.insert_or_assign(std::string(name), std::move(table));
  } catch (const std::bad_alloc&) {
    return 950;
  }
  return 0;
}

const ValueLabel* ValueLabelStore::get(std::string_view name) const {
  auto it = map_.find(std::string(name));
  return it == map_.end() ? nullptr : &it->second;
}

bool ValueLabelStore::drop(std::string_view name) { return map_.erase(std::string(name)) > 0; }

std::vector<std::string> ValueLabelStore::names() const {
  std::vector<std::string> out;
  for (const auto& [k, v] : map_) out.push_back(k);
  std::sort(out.begin(), out.end());
  return out;
}

rc_t ValueLabelStore::define(std::string_view name, std::int32_t value, std::string_view text,
                             std::string* msg) {
  if (rc_t rc = validate_name(name, msg)) return rc;
  std::map<std::int32_t, std::string> m;
  if (const ValueLabel* old = get(name)) m = old->decode();
  if (text.empty()) m.erase(value);
  else m[value] = std::string(text);
  ValueLabel t;
  if (rc_t rc = ValueLabel::encode(m, &t)) return rc;
  return put(name, std::move(t));
}

}  // namespace nuvra::data
