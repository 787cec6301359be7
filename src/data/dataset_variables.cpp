// Variables: names, adding, finding, dropping, renaming, reordering, the
// hidden estimation-sample variable and the attributes.
#include <algorithm>
#include <atomic>
#include <cstring>
#include <new>

#include "base/text.h"
#include "data/dataset.h"

namespace nuvra::data {

namespace {

constexpr std::string_view kForbidden = "\\!@#$%^&*()-+=[]{}:;,'\"~<>?/|.";

using base::is_ascii_space;

// Words that look like names but mean something in expressions and command
// lines, so a variable may not take them.
constexpr std::string_view kReservedWords[] = {
    "with", "using", "if", "in", "%", "=", ",", "_pred", "_b", "_n", "_N", "float", "double",
    "int", "long", "_uniform", "_coef", "_rc", "_pi", "byte", "_cons",
};

void say(std::string* msg, std::string_view name, std::string_view tail) {
  if (msg) {
    msg->assign(name);
    msg->append(tail);
  }
}

rc_t reserved_word_check(std::string_view name, std::string* msg) {
  for (auto w : kReservedWords) {
    if (name == w) {
      say(msg, name, " invalid varname");
      return 198;
    }
  }
  if (name.size() >= 4 && name.substr(0, 3) == "str" && name[3] >= '1' && name[3] <= '9' &&
      std::all_of(name.begin() + 4, name.end(), [](char c) { return c >= '0' && c <= '9'; })) {
    say(msg, name, " invalid variable name");
    return 198;
  }
  return 0;
}

}  // namespace

std::uint64_t new_variable_id() {
  static std::atomic<std::uint64_t> next{1};
  return next.fetch_add(1, std::memory_order_relaxed);
}

rc_t validate_name(std::string_view name, std::string* msg) {
  if (name.empty()) {
    if (msg) *msg = "nothing found where name expected";
    return 198;
  }
  bool ok = std::none_of(name.begin(), name.end(), is_ascii_space) && name.size() <= kMaxNameLength &&
            name.find_first_of(kForbidden) == std::string_view::npos;
  char c = name[0];
  ok = ok && (c == '_' || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'));
  if (ok) return 0;
  say(msg, name, " invalid name");
  return 198;
}

rc_t validate_new_varname(std::string_view name, std::string* msg) {
  if (name.size() > kMaxNameLength) {
    say(msg, name, " invalid varname");
    return 198;
  }
  if (rc_t rc = validate_name(name, msg)) return rc;
  return reserved_word_check(name, msg);
}

std::string promotion_line(std::string_view name, int old_type, int new_type) {
  std::string s(name);
  s += " was " + type_name(old_type) + " now " + type_name(new_type);
  return s;
}

rc_t Dataset::check_new_name(std::string_view name, std::string* msg) const {
  if (name.size() > kMaxNameLength) {
    say(msg, name, " invalid varname");
    return 198;
  }
  if (rc_t rc = validate_name(name, msg)) return rc;
  if (find_exact(name)) {
    say(msg, name, " already defined");
    return 110;
  }
  return reserved_word_check(name, msg);
}

void Dataset::rebuild_index() {
  index_.clear();
  for (int j = 1; j <= nvar_visible_; ++j) index_.emplace(vars_[j - 1].name, j);
}

int Dataset::find_by_id(std::uint64_t id) const {
  for (int j = 1; j <= nvar_visible_; ++j)
    if (vars_[static_cast<std::size_t>(j - 1)].id == id) return j;
  return 0;
}

int Dataset::find_exact(std::string_view name) const {
  auto it = index_.find(std::string(name));
  return it == index_.end() ? 0 : it->second;
}

rc_t Dataset::find(std::string_view name, int* j, std::string* msg) const {
  if (name.empty()) {
    if (msg) *msg = "nothing found where name expected";
    return 198;
  }
  if (int k = find_exact(name)) {
    *j = k;
    return 0;
  }
  int found = 0, count = 0;
  if (varabbrev_) {
    for (int k = 1; k <= nvar_visible_; ++k) {
      if (vars_[k - 1].name.compare(0, name.size(), name) == 0) {
        if (++count == 1) found = k;
      }
    }
  }
  if (count == 1) {
    *j = found;
    return 0;
  }
  if (count > 1) say(msg, name, " ambiguous abbreviation");
  else if (msg) *msg = "variable " + std::string(name) + " not found";
  return 111;
}

rc_t Dataset::make_room(int b, bool reserved) {
  Layout l = layout_for(w_);
  std::uint64_t after = std::uint64_t{used_} + static_cast<std::uint64_t>(b);
  // An ordinary variable may not fill the width exactly: that last slack is
  // what the system's own variable is allowed.
  bool widen = reserved ? after > w_ : after >= w_;
  if (widen) {
    std::uint64_t target = reserved ? after : after + 1;
    target = (target + 1) & ~std::uint64_t{1};
    std::uint64_t need = target - w_;
    if (need > max_width()) return 1010;
    if (rc_t rc = plan_widen(static_cast<std::uint32_t>(need), &l)) return rc;
  }
  auto limit = static_cast<int>(std::min<std::int64_t>(l.w, maxvar_)) - (reserved ? 0 : 1);
  if (nvar_all() >= limit) return 900;
  if (widen) apply_layout(l);
  return 0;
}

Dataset::IndexNode Dataset::make_index_node(std::string_view name) {
  std::unordered_map<std::string, int> one;
  one.emplace(std::string(name), 0);
  return one.extract(one.begin());
}

rc_t Dataset::append_variable(std::string_view name, int type, bool reserved, int* j, bool fill) {
  if (!is_valid_type(type)) return 198;
  int b = type_width(type);
  Variable v;
  IndexNode node;
  try {
    node = make_index_node(name);
    v.name.assign(name);
    v.format = default_format(type);
    // Room for the newcomer before anything changes; grown geometrically.
    if (vars_.size() == vars_.capacity()) vars_.reserve(2 * vars_.size() + 8);
    if (static_cast<double>(index_.size() + 1) > static_cast<double>(index_.bucket_count()) * index_.max_load_factor())
      index_.reserve(2 * index_.size() + 8);
  } catch (const std::bad_alloc&) {
    return 950;
  }
  if (rc_t rc = make_room(b, reserved)) return rc;
  v.type = static_cast<std::uint8_t>(type);
  if (has_esample_) {
    // The hidden variable stays last: its byte moves up past the newcomer.
    Variable& e = vars_.back();
    v.offset = e.offset;
    for (std::int64_t s = 0; s < nobs_; ++s) {
      char* rec = records_ + static_cast<std::size_t>(s) * w_;
      rec[e.offset + b] = rec[e.offset];
    }
    e.offset += static_cast<std::uint32_t>(b);
    vars_.insert(vars_.begin() + nvar_visible_, std::move(v));
  } else {
    v.offset = used_;
    vars_.push_back(std::move(v));
  }
  used_ += static_cast<std::uint32_t>(b);
  int k = ++nvar_visible_;
  const Variable& nv = vars_[k - 1];
  if (fill) {
    char missing[kStrMax];
    store_missing(type, missing);
    for (std::int64_t s = 0; s < nobs_; ++s)
      std::memcpy(records_ + static_cast<std::size_t>(s) * w_ + nv.offset, missing, static_cast<std::size_t>(b));
  }
  node.mapped() = k;
  index_.insert(std::move(node));
  if (nv.name.size() >= 2 && nv.name[0] == '_' && nv.name[1] == '_') has_temporaries_ = true;
  changed_ = true;
  if (j) *j = k;
  return 0;
}

rc_t Dataset::add_variable(std::string_view name, int type, int* j, std::string* msg) {
  InvariantGuard guard{*this};
  if (rc_t rc = check_new_name(name, msg)) return rc;
  return append_variable(name, type, false, j);
}

rc_t Dataset::add_variable_unfilled(std::string_view name, int type, int* j, std::string* msg) {
  if (rc_t rc = check_new_name(name, msg)) return rc;
  return append_variable(name, type, false, j, false);
}

rc_t Dataset::add_reserved_variable(int type, int* j) {
  InvariantGuard guard{*this};
  if (find_exact(kReservedName)) return 110;
  return append_variable(kReservedName, type, true, j);
}

rc_t Dataset::install_variables(std::vector<Variable> vars) {
  InvariantGuard guard{*this};
  if (!vars_.empty() || nobs_ != 0) return 198;
  std::uint64_t total = 0;
  for (std::size_t k = 0; k < vars.size(); ++k) {
    auto& v = vars[k];
    if (!is_valid_type(v.type)) return 198;
    if (v.name == kEsampleName && k + 1 != vars.size()) return 198;
    v.offset = static_cast<std::uint32_t>(total);
    total += static_cast<std::uint64_t>(type_width(v.type));
    if (v.format.empty()) v.format = default_format(v.type);
  }
  if (total > max_width()) return 1010;
  Layout l = layout_for(w_);
  bool widen = total > w_;
  if (widen) {
    if (rc_t rc = plan_widen(static_cast<std::uint32_t>(total - w_ + 2), &l)) return rc;
  }
  if (static_cast<std::int64_t>(vars.size()) > std::min<std::int64_t>(l.w, maxvar_) - 1) return 900;
  if (widen) apply_layout(l);
  vars_ = std::move(vars);
  used_ = static_cast<std::uint32_t>(total);
  has_esample_ = !vars_.empty() && vars_.back().name == kEsampleName;
  nvar_visible_ = nvar_all() - (has_esample_ ? 1 : 0);
  has_temporaries_ = std::any_of(vars_.begin(), vars_.end(), [](const Variable& v) {
    return v.name.size() >= 2 && v.name[0] == '_' && v.name[1] == '_';
  });
  rebuild_index();
  changed_ = true;
  return 0;
}

void Dataset::recompute_offsets() {
  std::uint32_t off = 0;
  for (auto& v : vars_) {
    v.offset = off;
    off += static_cast<std::uint32_t>(type_width(v.type));
  }
  used_ = off;
}

// old_to_new[j - 1] is the new number of old variable j, 0 if dropped.
// Both are made before the variables change, so that putting them in place
// afterwards cannot fail.
std::vector<std::uint16_t> Dataset::renumbered_sort_list(const std::vector<int>& old_to_new,
                                                         bool cut_sort_list) const {
  std::vector<std::uint16_t> list;
  list.reserve(sort_list_.size());
  for (std::uint16_t j : sort_list_) {
    int n = j >= 1 && j <= static_cast<int>(old_to_new.size()) ? old_to_new[j - 1] : 0;
    if (n == 0) {
      if (cut_sort_list) break;
      continue;
    }
    list.push_back(static_cast<std::uint16_t>(n));
  }
  return list;
}

std::unordered_map<std::string, int> Dataset::renumbered_index(const std::vector<int>& old_to_new) const {
  std::unordered_map<std::string, int> index;
  index.reserve(index_.size());
  for (int j = 1; j <= nvar_visible_; ++j)
    if (int n = old_to_new[static_cast<std::size_t>(j - 1)]) index.emplace(vars_[static_cast<std::size_t>(j - 1)].name, n);
  return index;
}

rc_t Dataset::drop_variables(const std::vector<int>& js) {
  InvariantGuard guard{*this};
  int all = nvar_all();
  std::vector<char> drop(static_cast<std::size_t>(all), 0);
  for (int j : js) {
    if (j < 1 || j > all) return 198;
    drop[static_cast<std::size_t>(j - 1)] = 1;
  }
  if (std::none_of(drop.begin(), drop.end(), [](char c) { return c != 0; })) return 0;
  std::vector<Segment> segs;
  std::vector<int> old_to_new(static_cast<std::size_t>(all), 0);
  std::uint32_t dst = 0;
  int next = 0;
  for (int j = 1; j <= all; ++j) {
    if (drop[static_cast<std::size_t>(j - 1)]) continue;
    const Variable& v = vars_[static_cast<std::size_t>(j - 1)];
    auto len = static_cast<std::uint32_t>(type_width(v.type));
    if (!segs.empty() && segs.back().src + segs.back().len == v.offset) segs.back().len += len;
    else segs.push_back(Segment{v.offset, dst, len});
    dst += len;
    old_to_new[static_cast<std::size_t>(j - 1)] = ++next;
  }
  std::vector<Variable> kept;
  kept.reserve(static_cast<std::size_t>(next));
  std::vector<std::uint16_t> sort_list = renumbered_sort_list(old_to_new, true);
  std::unordered_map<std::string, int> index = renumbered_index(old_to_new);
  if (rc_t rc = remap_records(segs, dst)) return rc;
  int visible = 0;
  bool esample = false;
  for (int j = 1; j <= all; ++j) {
    Variable& v = vars_[static_cast<std::size_t>(j - 1)];
    if (drop[static_cast<std::size_t>(j - 1)]) {
      chars_.drop_owner(v.name);
      continue;
    }
    if (has_esample_ && j == all) esample = true;
    else ++visible;
    kept.push_back(std::move(v));
  }
  vars_ = std::move(kept);
  nvar_visible_ = visible;
  has_esample_ = esample;
  recompute_offsets();
  sort_list_ = std::move(sort_list);
  index_.swap(index);
  changed_ = true;
  return 0;
}

rc_t Dataset::rename_variable(int j, std::string_view new_name, std::string* msg) {
  if (j < 1 || j > nvar_visible_) return 198;
  Variable& v = vars_[static_cast<std::size_t>(j - 1)];
  if (v.name == new_name) return 0;
  if (rc_t rc = check_new_name(new_name, msg)) return rc;
  // Everything that allocates comes first; the switch itself cannot fail.
  std::string name(new_name);
  IndexNode node = make_index_node(new_name);
  node.mapped() = j;
  chars_.rename_owner(v.name, new_name);
  index_.erase(v.name);
  index_.insert(std::move(node));  // one out, one in: no rehash
  v.name.swap(name);
  if (v.name.size() >= 2 && v.name[0] == '_' && v.name[1] == '_') has_temporaries_ = true;
  changed_ = true;
  return 0;
}

rc_t Dataset::reorder_variables(const std::vector<int>& new_order) {
  InvariantGuard guard{*this};
  if (static_cast<int>(new_order.size()) != nvar_visible_) return 198;
  std::vector<int> old_to_new(static_cast<std::size_t>(nvar_all()), 0);
  for (std::size_t k = 0; k < new_order.size(); ++k) {
    int j = new_order[k];
    if (j < 1 || j > nvar_visible_ || old_to_new[static_cast<std::size_t>(j - 1)]) return 198;
    old_to_new[static_cast<std::size_t>(j - 1)] = static_cast<int>(k) + 1;
  }
  if (has_esample_) old_to_new.back() = nvar_all();
  std::vector<Segment> segs;
  std::vector<Variable> nv;
  try {
    nv.reserve(vars_.size());
  } catch (const std::bad_alloc&) {
    return 950;
  }
  std::uint32_t dst = 0;
  auto take = [&](int j) {
    const Variable& v = vars_[static_cast<std::size_t>(j - 1)];
    auto len = static_cast<std::uint32_t>(type_width(v.type));
    if (!segs.empty() && segs.back().src + segs.back().len == v.offset) segs.back().len += len;
    else segs.push_back(Segment{v.offset, dst, len});
    dst += len;
  };
  for (int j : new_order) take(j);
  if (has_esample_) take(nvar_all());
  std::vector<std::uint16_t> sort_list = renumbered_sort_list(old_to_new, false);
  std::unordered_map<std::string, int> index = renumbered_index(old_to_new);
  if (rc_t rc = remap_records(segs, dst)) return rc;
  for (int j : new_order) nv.push_back(std::move(vars_[static_cast<std::size_t>(j - 1)]));
  if (has_esample_) nv.push_back(std::move(vars_.back()));
  vars_ = std::move(nv);
  recompute_offsets();
  sort_list_ = std::move(sort_list);
  index_.swap(index);
  changed_ = true;
  return 0;
}

rc_t Dataset::ensure_esample() {
  InvariantGuard guard{*this};
  if (has_esample_) return 0;
  if (rc_t rc = make_room(1, false)) return rc;
  Variable v;
  v.name.assign(kEsampleName);
  v.type = kByte;
  v.offset = used_;
  v.format = default_format(kByte);
  vars_.push_back(std::move(v));
  for (std::int64_t s = 0; s < nobs_; ++s) records_[static_cast<std::size_t>(s) * w_ + used_] = 0;
  used_ += 1;
  has_esample_ = true;
  return 0;
}

void Dataset::drop_esample() {
  InvariantGuard guard{*this};
  if (!has_esample_) return;
  vars_.pop_back();
  used_ -= 1;
  has_esample_ = false;
}

rc_t Dataset::set_format(int j, std::string_view fmt) {
  if (fmt.empty() || fmt[0] != '%' || fmt.size() > kMaxFormatLength) return 120;
  vars_[static_cast<std::size_t>(j - 1)].format.assign(fmt);
  changed_ = true;
  return 0;
}

void Dataset::set_label(int j, std::string_view text) {
  vars_[static_cast<std::size_t>(j - 1)].label.assign(text.substr(0, kMaxVarLabelLength));
  changed_ = true;
}

rc_t Dataset::set_value_label_name(int j, std::string_view name, std::string* msg) {
  if (!name.empty())
    if (rc_t rc = validate_name(name, msg)) return rc;
  vars_[static_cast<std::size_t>(j - 1)].value_label.assign(name);
  changed_ = true;
  return 0;
}

void Dataset::set_data_label(std::string_view text) {
  data_label_.assign(text.substr(0, kMaxDataLabelLength));
  changed_ = true;
}

void Dataset::set_sort_list(const std::vector<int>& vars) {
  sort_list_.clear();
  for (int j : vars) {
    if (j < 1 || j > nvar_all()) break;
    sort_list_.push_back(static_cast<std::uint16_t>(j));
  }
}

rc_t Dataset::set_char(std::string_view owner, std::string_view name, std::string_view contents,
                       std::string* msg) {
  if (owner != "_dta" && !find_exact(owner)) {
    if (msg) *msg = "variable " + std::string(owner) + " not found";
    return 111;
  }
  if (rc_t rc = chars_.set(owner, name, contents, msg)) return rc;
  changed_ = true;
  return 0;
}

}  // namespace nuvra::data
