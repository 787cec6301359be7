// The class engine's core: name resolution and member lookup, copying and
// references, instances, contexts and the collector that frees objects
// with their destructors.
#include "class/engine.h"

#include <algorithm>

#include "base/text.h"

namespace nuvra::cls {

namespace {

bool IsNameChar(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
}

// A reference chain longer than this is a loop of references.
constexpr int kMaxRefChain = 64;
// Instances nested inside instances by their declarations, at most.
constexpr int kMaxCopyDepth = 64;

}  // namespace

void Engine::PrintLine(Style style, const std::string& text) { host_.Print(style, text + "\n"); }

rc_t Engine::Error(rc_t code, const std::string& text) {
  host_.Print(Style::Error, text + "\n");
  return code;
}

Key Engine::Deref(Key k) const {
  for (int hops = 0; hops < kMaxRefChain; ++hops) {
    const Object* o = store_.Find(k);
    if (!o || o->type != TypeCode::KeyRef) return k;
    k = o->target;
  }
  return kNullKey;
}

Key Engine::ClassOf(Key instance) const {
  const Object* o = store_.Find(Deref(instance));
  return o && o->type == TypeCode::Instance ? o->classtype : kNullKey;
}

std::string Engine::ClassName(Key instance) const {
  const Object* ct = store_.Find(ClassOf(instance));
  return ct ? ct->name : std::string();
}

bool Engine::IsA(Key sub, Key super) const {
  if (sub == kNullKey || super == kNullKey) return false;
  if (sub == super) return true;
  const Object* ct = store_.Find(sub);
  if (!ct || ct->type != TypeCode::Classtype) return false;
  for (int i = 1; i <= ct->num_inherits; ++i)
    if (IsA(store_.ArrayGet(ct->inherits_array, i), super)) return true;
  return false;
}

Slot Engine::ClassAttribute(Key classtype, std::string_view name) const {
  const Object* ct = store_.Find(classtype);
  if (!ct || ct->type != TypeCode::Classtype) return {};
  if (int pos = store_.ArrayFindName(ct->class_attrib_array, name))
    return {ct->class_attrib_array, pos, store_.ArrayGet(ct->class_attrib_array, pos)};
  // Class attributes and member programs of the superclasses, in order.
  for (int i = 1; i <= ct->num_inherits; ++i) {
    Slot s = ClassAttribute(store_.ArrayGet(ct->inherits_array, i), name);
    if (s.holder != kNullKey) return s;
  }
  return {};
}

Slot Engine::Member(Key inst_key, std::string_view name) const {
  const Object* inst = store_.Find(inst_key);
  if (!inst || inst->type != TypeCode::Instance) return {};
  if (name == "dynamicmv") return {kNullKey, 0, inst->dynamic_array};
  if (name == "instancemv") return {kNullKey, 0, inst->attrib_array};
  if (inst->num_dynamics > 0) {
    if (int pos = store_.ArrayFindName(inst->dynamic_array, name))
      return {inst->dynamic_array, pos, store_.ArrayGet(inst->dynamic_array, pos)};
  }
  const Object* ct = store_.Find(inst->classtype);
  if (!ct) return {};
  if (name == "classmv") return {kNullKey, 0, ct->class_attrib_array};
  if (name == "superclass") return {kNullKey, 0, ct->inherits_array};
  const Object* proto = store_.Find(ct->prototype);
  if (proto) {
    if (int pos = store_.ArrayFindName(proto->attrib_array, name))
      return {inst->attrib_array, pos, store_.ArrayGet(inst->attrib_array, pos)};
  }
  return ClassAttribute(inst->classtype, name);
}

Key Engine::MemberProgram(Key inst, std::string_view name) const {
  Slot s = ClassAttribute(ClassOf(inst), name);
  const Object* o = store_.Find(s.obj);
  return o && o->type == TypeCode::Code ? s.obj : kNullKey;
}

Key Engine::CopySourceOf(Key inst) const {
  for (size_t i = copy_dst_stack_.size(); i-- > 0;)
    if (copy_dst_stack_[i] == inst) return copy_src_stack_[i];
  return kNullKey;
}

Key Engine::ContextArray(int id) {
  auto it = contexts_.find(id);
  if (it == contexts_.end()) it = contexts_.emplace(id, store_.Make(TypeCode::Context)).first;
  return store_.Find(it->second)->array;
}

Slot Engine::TopLevel(std::string_view name) {
  for (Key arr : ContextArrays())
    if (int pos = store_.ArrayFindName(arr, name)) return {arr, pos, store_.ArrayGet(arr, pos)};
  return {};
}

rc_t Engine::ParsePath(std::string_view path, std::vector<Segment>* segs, Key* start_key) const {
  *start_key = kNullKey;
  size_t i = 0;
  if (path.starts_with(".")) ++i;
  if (size_t used = ObjectStore::ParseKeyName(path.substr(i), start_key)) {
    i += used;
    if (*start_key == kNullKey) return 4046;
  }
  bool first = *start_key == kNullKey;
  while (i < path.size()) {
    if (path[i] == '[') {
      size_t close = path.find(']', i);
      if (close == std::string_view::npos || first) return 198;
      std::string_view num = base::trim_blanks(path.substr(i + 1, close - i - 1));
      int v = 0;
      if (num.empty() || num.size() > 9) return 4016;
      for (char c : num) {
        if (c < '0' || c > '9') return 4016;
        v = v * 10 + (c - '0');
      }
      if (v < 1) return 4016;
      segs->push_back({std::string(), v});
      i = close + 1;
      continue;
    }
    if (!first) {
      if (path[i] != '.') return 198;
      ++i;
    }
    size_t start = i;
    while (i < path.size() && IsNameChar(path[i])) ++i;
    if (i == start || (path[start] >= '0' && path[start] <= '9')) return 198;
    segs->push_back({std::string(path.substr(start, i - start)), 0});
    first = false;
  }
  if (segs->empty() && *start_key == kNullKey) return 198;
  return 0;
}

rc_t Engine::Unresolved(std::string_view path, bool quiet) {
  if (quiet) return 4012;
  return Error(4012, std::string(path) + " not found");
}

rc_t Engine::Resolve(std::string_view path, Slot* out, bool quiet) {
  std::vector<Segment> segs;
  Key start = kNullKey;
  if (rc_t rc = ParsePath(path, &segs, &start)) {
    if (quiet) return rc;
    if (rc == 4046) return host_.Fail(4046);
    if (rc == 4016) return host_.Fail(4016);
    return Error(198, std::string(path) + " invalid dotted name");
  }
  Slot cur;
  size_t next = 0;
  if (start != kNullKey) {
    if (!store_.Exists(start)) {
      if (quiet) return 4017;
      return Error(4017, "object " + ObjectStore::KeyName(start) + " not found");
    }
    cur = {kNullKey, 0, start};
  } else {
    const std::string& first = segs[0].name;
    next = 1;
    if (first == "oncopy_src" && !copy_src_stack_.empty()) {
      cur = {kNullKey, 0, copy_src_stack_.back()};
    } else {
      Slot found;
      if (!this_stack_.empty()) found = Member(this_stack_.back(), first);
      if (found.holder == kNullKey && found.obj == kNullKey) found = TopLevel(first);
      if (found.holder == kNullKey && found.obj == kNullKey) return Unresolved(path, quiet);
      cur = found;
    }
  }
  for (; next < segs.size(); ++next) {
    Key obj = Deref(cur.obj);
    const Object* o = store_.Find(obj);
    if (!o) return Unresolved(path, quiet);
    const Segment& seg = segs[next];
    if (seg.name.empty()) {
      if (o->type != TypeCode::Array) return quiet ? 4013 : host_.Fail(4013);
      cur = {obj, seg.index, store_.ArrayGet(obj, seg.index)};
      continue;
    }
    if (o->type != TypeCode::Instance) return Unresolved(path, quiet);
    // An instance being copied names its source below it too.
    if (seg.name == "oncopy_src") {
      if (Key src = CopySourceOf(obj)) {
        cur = {kNullKey, 0, src};
        continue;
      }
    }
    Slot s = Member(obj, seg.name);
    if (s.holder == kNullKey && s.obj == kNullKey) return Unresolved(path, quiet);
    cur = s;
  }
  *out = cur;
  return 0;
}

// ---- copy

rc_t Engine::Copy(Key src, Key* out, int depth) {
  *out = kNullKey;
  if (src == kNullKey) return 0;
  if (depth > kMaxCopyDepth) return host_.Fail(4031);
  const Object* o = store_.Find(src);
  if (!o) return host_.Fail(4017);
  Object snapshot = *o;  // the store may grow while copying
  switch (snapshot.type) {
    case TypeCode::Double:
    case TypeCode::String:
    case TypeCode::Code:
    case TypeCode::KeyRef:
    case TypeCode::TmpString:
    case TypeCode::Attribute:
    case TypeCode::Blob: {
      Key k = store_.Make(snapshot.type, snapshot.name);
      Object* n = store_.Find(k);
      n->num = snapshot.num;
      n->text = snapshot.text;
      n->target = snapshot.target;
      *out = k;
      return 0;
    }
    case TypeCode::Array: {
      Key k = store_.Make(TypeCode::Array, snapshot.name);
      // Source and copy both stay while the elements are copied, whatever
      // an oncopy program frees meanwhile.
      const uint64_t sweeps = sweeps_;
      pinned_.push_back(src);
      pinned_.push_back(k);
      for (int i = 1; i <= snapshot.nels; ++i) {
        Key el = kNullKey;
        if (rc_t rc = Copy(store_.ArrayGet(src, i), &el, depth + 1)) {
          Unpin(2, sweeps);
          return rc;
        }
        store_.ArraySet(k, i, el);
      }
      store_.Find(k)->nels = snapshot.nels;
      Unpin(2, sweeps);
      *out = k;
      return 0;
    }
    case TypeCode::Instance: {
      Key k = store_.Make(TypeCode::Instance, snapshot.name);
      const uint64_t sweeps = sweeps_;
      pinned_.push_back(src);
      pinned_.push_back(k);
      Key attribs = kNullKey, dyn = kNullKey;
      rc_t rc = Copy(snapshot.attrib_array, &attribs, depth + 1);
      if (rc == 0) rc = Copy(snapshot.dynamic_array, &dyn, depth + 1);
      Object* n = store_.Find(k);
      n->classtype = snapshot.classtype;
      n->attrib_array = attribs != kNullKey ? attribs : store_.Make(TypeCode::Array);
      n = store_.Find(k);
      n->dynamic_array = dyn != kNullKey ? dyn : store_.Make(TypeCode::Array);
      n = store_.Find(k);
      n->num_attribs = store_.ArrayNels(n->attrib_array);
      n->num_dynamics = store_.ArrayNels(n->dynamic_array);
      // The source's undo log names the source's attributes: undoing it
      // on the copy would change the source.  A copy's log starts empty.
      if (Key log = LogArray(k)) {
        while (store_.ArrayNels(log) > 0) store_.ArrayRemove(log, store_.ArrayNels(log));
        dirty_ = true;
      }
      if (rc == 0) {
        // The class's oncopy program sees the new instance as itself and
        // the source as oncopy_src.
        if (Key code = MemberProgram(k, "oncopy")) {
          copy_src_stack_.push_back(src);
          copy_dst_stack_.push_back(k);
          rc = CallMember(k, code, "");
          copy_dst_stack_.pop_back();
          copy_src_stack_.pop_back();
        }
      }
      Unpin(2, sweeps);
      if (rc) return rc;
      *out = k;
      return 0;
    }
    default:
      return Error(4006, "object of type " + std::string(TypeName(snapshot.type)) +
                             " may not be copied");
  }
}

// ---- instances

rc_t Engine::NewInstance(const std::string& cls, std::string_view args, Key* out) {
  *out = kNullKey;
  Key ct = kNullKey;
  if (rc_t rc = LoadClass(cls, &ct)) return rc;
  const Object* cto = store_.Find(ct);
  Key proto = cto->prototype;
  Key attribs = kNullKey;
  Key inst = store_.Make(TypeCode::Instance);
  // The class stays while its prototype is copied, whatever an oncopy
  // program frees meanwhile.
  const uint64_t sweeps = sweeps_;
  pinned_.push_back(ct);
  pinned_.push_back(inst);
  rc_t rc = Copy(store_.Find(proto)->attrib_array, &attribs);
  if (rc) {
    Unpin(2, sweeps);
    return rc;
  }
  // Instance attributes carry no names: the names live in the prototype.
  int n = store_.ArrayNels(attribs);
  for (int i = 1; i <= n; ++i)
    if (Object* a = store_.Find(store_.ArrayGet(attribs, i))) a->name.clear();
  Key dyn = store_.Make(TypeCode::Array);
  Object* o = store_.Find(inst);
  o->classtype = ct;
  o->attrib_array = attribs;
  o->dynamic_array = dyn;
  o->num_attribs = n;
  if (Key code = MemberProgram(inst, "new")) rc = CallMember(inst, code, args);
  Unpin(2, sweeps);
  if (rc) {
    dirty_ = true;
    Collect();
    return rc;
  }
  *out = inst;
  return 0;
}

rc_t Engine::CallMember(Key inst, Key code, std::string_view args) {
  std::string program = store_.Find(code)->text;
  this_stack_.push_back(inst);
  rc_t rc = host_.RunProgram(program, args);
  this_stack_.pop_back();
  return rc;
}

// ---- contexts and the collector

void Engine::EndContext(int id) {
  auto it = contexts_.find(id);
  if (it == contexts_.end()) return;
  contexts_.erase(it);
  if (active_context_ == id) active_context_ = -1;
  dirty_ = true;
  Collect();
}

namespace {

void Mark(const ObjectStore& store, Key root, std::set<Key>* marked) {
  std::vector<Key> todo{root};
  std::vector<Key> kids;
  while (!todo.empty()) {
    Key k = todo.back();
    todo.pop_back();
    if (k == kNullKey || !marked->insert(k).second) continue;
    const Object* o = store.Find(k);
    if (!o) continue;
    kids.clear();
    o->Children(&kids);
    todo.insert(todo.end(), kids.begin(), kids.end());
  }
}

}  // namespace

void Engine::Collect() {
  if (collecting_ || !dirty_) return;
  collecting_ = true;
  auto mark_all = [this](std::set<Key>* marked) {
    for (const auto& [id, k] : contexts_) Mark(store_, k, marked);
    for (const auto& [name, k] : classes_) Mark(store_, k, marked);
    for (Key k : this_stack_) Mark(store_, k, marked);
    for (Key k : copy_src_stack_) Mark(store_, k, marked);
    for (Key k : pinned_) Mark(store_, k, marked);
  };
  // Destructors first, while every object they might look at still exists;
  // a destructor may itself drop objects, so go round until none is left.
  for (int round = 0; round < 100; ++round) {
    dirty_ = false;
    std::set<Key> marked;
    mark_all(&marked);
    std::vector<std::pair<Key, Key>> doomed;  // instance, destructor
    for (const auto& [k, o] : store_.All()) {
      if (marked.count(k) || o.type != TypeCode::Instance || o.destructed) continue;
      const Object* ct = store_.Find(o.classtype);
      if (ct && ct->prototype == k) continue;  // a prototype is not a live instance
      if (Key code = MemberProgram(k, "destructor")) doomed.emplace_back(k, code);
    }
    if (doomed.empty()) break;
    for (auto [inst, code] : doomed) {
      Object* o = store_.Find(inst);
      if (!o || o->destructed) continue;
      o->destructed = true;
      pinned_.push_back(inst);
      CallMember(inst, code, "");
      pinned_.pop_back();
    }
  }
  std::set<Key> marked;
  mark_all(&marked);
  std::vector<Key> gone;
  for (const auto& [k, o] : store_.All())
    if (!marked.count(k)) gone.push_back(k);
  for (Key k : gone) {
    store_.Erase(k);
    log_levels_.erase(k);
    log_refs_.erase(k);
  }
  dirty_ = false;
  collecting_ = false;
  ++sweeps_;
}

std::string Engine::Check() const {
  std::string why = store_.Check();
  if (!why.empty()) return why;
  std::set<Key> marked;
  for (const auto& [id, k] : contexts_) Mark(store_, k, &marked);
  for (const auto& [name, k] : classes_) Mark(store_, k, &marked);
  for (Key k : this_stack_) Mark(store_, k, &marked);
  for (Key k : copy_src_stack_) Mark(store_, k, &marked);
  for (Key k : pinned_) Mark(store_, k, &marked);
  for (const auto& [k, o] : store_.All())
    if (!marked.count(k)) return "object " + ObjectStore::KeyName(k) + " is reached by nothing";
  for (const auto& [name, k] : classes_) {
    const Object* ct = store_.Find(k);
    if (!ct || ct->type != TypeCode::Classtype || ct->name != name)
      return "class " + name + " has a bad classtype";
  }
  return {};
}

}  // namespace nuvra::cls
