// The undo log: what changes to instance attributes are recorded, how one
// command's changes are grouped, and how a group is rolled back.
#include <algorithm>
#include <map>

#include "base/text.h"
#include "class/engine.h"

namespace nuvra::cls {

namespace {

constexpr std::string_view kBegin = "<BeginCmd>";
constexpr std::string_view kEnd = "<EndCmd>";

// Markers are unnamed strings; every entry carries the name of its slot.
bool IsMarker(const Object* o, std::string_view which) {
  return o && o->type == TypeCode::String && o->name.empty() && o->text == which;
}

}  // namespace

Key Engine::LogOwner(Key inst) const {
  auto it = log_refs_.find(inst);
  if (it != log_refs_.end() && store_.Exists(it->second)) return it->second;
  return inst;
}

Key Engine::LogArray(Key owner) const {
  const Object* o = store_.Find(owner);
  if (!o || o->type != TypeCode::Instance) return kNullKey;
  Slot s = Member(owner, "__LOG");
  Key log = Deref(s.obj);
  const Object* l = store_.Find(log);
  return l && l->type == TypeCode::Array ? log : kNullKey;
}

int Engine::LogLevel(Key owner) const {
  auto it = log_levels_.find(owner);
  return it == log_levels_.end() ? 1 : it->second;
}

void Engine::LogSlotChange(const Slot& slot, Key old_value) {
  if (!logs_declared_ || undoing_ || slot.holder == kNullKey) return;
  // The instance whose attribute this slot is.
  Key inst = kNullKey;
  std::string attribute;
  for (const auto& [k, o] : store_.All()) {
    if (o.type != TypeCode::Instance) continue;
    if (o.attrib_array == slot.holder) {
      const Object* ct = store_.Find(o.classtype);
      if (!ct || ct->prototype == k) return;  // prototypes keep no log
      const Object* named = store_.Find(store_.ArrayGet(store_.Find(ct->prototype)->attrib_array, slot.pos));
      if (named) attribute = named->name;
      inst = k;
      break;
    }
    if (o.dynamic_array == slot.holder) {
      const Object* el = store_.Find(store_.ArrayGet(slot.holder, slot.pos));
      if (el) attribute = el->name;
      inst = k;
      break;
    }
  }
  if (inst == kNullKey || attribute.empty() || attribute == "__LOG") return;
  Key owner = LogOwner(inst);
  Key log = LogArray(owner);
  if (log == kNullKey || LogLevel(owner) <= 0) return;
  if (std::find(open_logs_.begin(), open_logs_.end(), owner) == open_logs_.end()) {
    Key begin = store_.Make(TypeCode::String);
    store_.Find(begin)->text = kBegin;
    store_.ArrayPush(log, begin);
    open_logs_.push_back(owner);
  }
  // An attribute that held nothing is restored to an empty slot.
  Key entry = old_value != kNullKey ? old_value : store_.Make(TypeCode::Attribute);
  store_.Find(entry)->name = ObjectStore::KeyName(inst) + "." + attribute;
  store_.ArrayPush(log, entry);
}

void Engine::EndCommand() {
  if (--command_depth_ > 0) return;
  command_depth_ = 0;
  for (Key owner : open_logs_) {
    Key log = LogArray(owner);
    if (log == kNullKey) continue;
    Key end = store_.Make(TypeCode::String);
    store_.Find(end)->text = kEnd;
    store_.ArrayPush(log, end);
    log_history_.push_back(owner);
  }
  open_logs_.clear();
}

rc_t Engine::RestoreEntry(Key entry) {
  const Object* e = store_.Find(entry);
  if (!e) return 0;
  Slot slot;
  // The instance may have gone since; then there is nothing to restore.
  if (Resolve(e->name, &slot, true) != 0 || slot.holder == kNullKey) return 0;
  Object* cur = store_.Find(slot.obj);
  Object* old = store_.Find(entry);
  if (cur && cur->type == old->type && cur->type != TypeCode::KeyRef) {
    // Changed in place: put the old value back in place, so references to
    // the object see the restored value too.
    switch (cur->type) {
      case TypeCode::Double: cur->num = old->num; return 0;
      case TypeCode::String: cur->text = old->text; return 0;
      case TypeCode::Instance:
        std::swap(cur->classtype, old->classtype);
        std::swap(cur->attrib_array, old->attrib_array);
        std::swap(cur->dynamic_array, old->dynamic_array);
        std::swap(cur->num_attribs, old->num_attribs);
        std::swap(cur->num_dynamics, old->num_dynamics);
        old->destructed = false;
        return 0;
      case TypeCode::Array:
        std::swap(cur->node0, old->node0);
        std::swap(cur->size, old->size);
        std::swap(cur->nels, old->nels);
        return 0;
      default: break;
    }
  }
  old->name = cur ? cur->name : std::string();
  store_.ArraySet(slot.holder, slot.pos, entry);
  return 0;
}

void Engine::CloseOpenGroup(Key owner) {
  auto open = std::find(open_logs_.begin(), open_logs_.end(), owner);
  if (open == open_logs_.end()) return;
  open_logs_.erase(open);
  Key log = LogArray(owner);
  if (log == kNullKey) return;
  Key end = store_.Make(TypeCode::String);
  store_.Find(end)->text = kEnd;
  store_.ArrayPush(log, end);
  log_history_.push_back(owner);
}

rc_t Engine::FindGroups(Key log, int count, std::vector<std::pair<int, int>>* groups) const {
  groups->clear();
  int n = store_.ArrayNels(log);
  while (static_cast<int>(groups->size()) < count && n > 0) {
    if (!IsMarker(store_.Find(store_.ArrayGet(log, n)), kEnd)) return 4036;
    int j = n - 1;
    while (j >= 1 && !IsMarker(store_.Find(store_.ArrayGet(log, j)), kBegin)) {
      if (IsMarker(store_.Find(store_.ArrayGet(log, j)), kEnd)) return 4036;
      --j;
    }
    if (j < 1) return 4036;
    groups->emplace_back(j, n);
    n = j - 1;
  }
  return 0;
}

void Engine::ApplyGroups(Key owner, Key log, const std::vector<std::pair<int, int>>& groups) {
  undoing_ = true;
  // Latest group first, and within a group the latest change first; the
  // groups lie from the end of the log, so earlier positions stay valid.
  for (auto [begin, end] : groups) {
    for (int i = end - 1; i > begin; --i) RestoreEntry(store_.ArrayGet(log, i));
    for (int i = end; i >= begin; --i) store_.ArrayRemove(log, i);
    auto it = std::find(log_history_.rbegin(), log_history_.rend(), owner);
    if (it != log_history_.rend()) log_history_.erase(std::next(it).base());
  }
  undoing_ = false;
  dirty_ = true;
}

rc_t Engine::UndoLog(Key owner, int count) {
  Key log = LogArray(owner);
  if (log == kNullKey) return host_.Fail(4035);
  // Undo from within a command that has changed this log already: what it
  // has done so far is a group of its own, and the latest.
  CloseOpenGroup(owner);
  // Check every group first, so that a damaged log changes nothing.
  std::vector<std::pair<int, int>> groups;
  if (rc_t rc = FindGroups(log, count, &groups)) return host_.Fail(rc);
  if (groups.empty()) return host_.Fail(4037);
  ApplyGroups(owner, log, groups);
  Collect();
  return 0;
}

rc_t Engine::UndoRecent(int count) {
  // What this command has changed so far counts as the latest groups.
  std::vector<Key> open = open_logs_;
  for (Key owner : open) CloseOpenGroup(owner);
  // The owners of the latest `count` groups, latest first.
  std::vector<Key> sequence;
  std::map<Key, int> wanted;
  for (size_t i = log_history_.size(); i-- > 0 && static_cast<int>(sequence.size()) < count;) {
    if (LogArray(log_history_[i]) == kNullKey) continue;
    sequence.push_back(log_history_[i]);
    ++wanted[log_history_[i]];
  }
  // Every log is checked before any is changed.
  std::map<Key, std::vector<std::pair<int, int>>> groups;
  size_t found = 0;
  for (const auto& [owner, n] : wanted) {
    if (rc_t rc = FindGroups(LogArray(owner), n, &groups[owner])) return host_.Fail(rc);
    found += groups[owner].size();
  }
  if (found == 0) return host_.Fail(4037);
  // In the order the groups were made, latest first, so that a slot
  // changed under two logs gets its oldest value back last.
  std::map<Key, size_t> next;
  for (Key owner : sequence) {
    size_t& i = next[owner];
    if (i < groups[owner].size()) ApplyGroups(owner, LogArray(owner), {groups[owner][i]});
    ++i;
  }
  Collect();
  return 0;
}

rc_t Engine::UndoCommand(std::string_view args) {
  std::string_view rest = base::trim_blanks(args);
  Key owner = kNullKey;
  int count = 1;
  while (!rest.empty()) {
    size_t n = rest.find_first_of(" \t");
    std::string_view word = rest.substr(0, n);
    rest = n == std::string_view::npos ? std::string_view() : base::trim_blanks(rest.substr(n));
    if (word[0] >= '0' && word[0] <= '9') {
      if (word.size() > 6) return Error(198, std::string(word) + " invalid count");
      count = 0;
      for (char c : word) {
        if (c < '0' || c > '9') return Error(198, std::string(word) + " invalid count");
        count = count * 10 + (c - '0');
      }
      if (count < 1) return Error(198, std::string(word) + " invalid count");
      continue;
    }
    if (owner != kNullKey) return Error(198, std::string(word) + " invalid");
    Slot s;
    if (rc_t rc = Resolve(word, &s)) return rc;
    Key inst = Deref(s.obj);
    const Object* o = store_.Find(inst);
    if (!o || o->type != TypeCode::Instance) return host_.Fail(4014);
    owner = LogOwner(inst);
  }
  if (owner != kNullKey) return UndoLog(owner, count);
  return UndoRecent(count);
}

rc_t Engine::SetLogRefs(Key owner) {
  // Every instance held below the owner logs into the owner's log.
  std::vector<Key> todo{owner};
  std::set<Key> seen{owner};
  while (!todo.empty()) {
    Key k = todo.back();
    todo.pop_back();
    const Object* o = store_.Find(k);
    if (!o) continue;
    std::vector<Key> arrays;
    if (o->type == TypeCode::Instance) {
      if (k != owner) log_refs_[k] = owner;
      arrays = {o->attrib_array, o->dynamic_array};
    } else if (o->type == TypeCode::Array) {
      arrays = {k};
    }
    for (Key arr : arrays) {
      int n = store_.ArrayNels(arr);
      for (int i = 1; i <= n; ++i) {
        Key el = store_.ArrayGet(arr, i);
        const Object* e = store_.Find(el);
        // References lead to objects that belong elsewhere.
        if (!e || e->type == TypeCode::KeyRef) continue;
        if ((e->type == TypeCode::Instance || e->type == TypeCode::Array) && seen.insert(el).second)
          todo.push_back(el);
      }
    }
  }
  return 0;
}

}  // namespace nuvra::cls
