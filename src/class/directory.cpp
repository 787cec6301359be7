// The `class` subcommands that change one named object (modify, set) or
// look around the store (nameof, nameoflocal, toplevel, try, _dmm,
// pgmdir).
#include <cstdio>
#include <deque>

#include "base/text.h"
#include "class/engine.h"
#include "data/format.h"

namespace nuvra::cls {

namespace {

// Splits ".path = value" at the "=" that follows the path.
bool SplitAssignment(std::string_view text, std::string_view* path, std::string_view* rhs) {
  std::string_view rest;
  SplitPath(base::trim_blanks(text), path, &rest);
  if (!path->starts_with(".") || !rest.starts_with("=") || rest.starts_with("==")) return false;
  *rhs = base::trim_blanks(rest.substr(1));
  return true;
}

}  // namespace

std::vector<Key> Engine::ContextArrays() const {
  std::vector<Key> out;
  auto add = [&](int id) {
    auto it = contexts_.find(id);
    if (it == contexts_.end()) return;
    Key arr = store_.Find(it->second)->array;
    for (Key k : out)
      if (k == arr) return;
    out.push_back(arr);
  };
  if (active_context_ >= 0) add(active_context_);
  add(host_.ContextId());
  add(0);
  return out;
}

int Engine::ContextHolding(Key obj) const {
  for (const auto& [id, ctx] : contexts_) {
    Key arr = store_.Find(ctx)->array;
    int n = store_.ArrayNels(arr);
    for (int i = 1; i <= n; ++i) {
      Key el = store_.ArrayGet(arr, i);
      if (el == obj || Deref(el) == obj) return id;
    }
  }
  return -1;
}

std::string Engine::PathTo(Key target, Key from) const {
  if (target == kNullKey) return {};
  struct Step {
    Key obj;
    std::string path;
  };
  std::deque<Step> todo;
  std::set<Key> seen;
  // Offers the element `el` reached by `path`; true when it is the target.
  auto offer = [&](Key el, std::string path) {
    Key k = Deref(el);
    if (k == target) return true;
    if (k != kNullKey && seen.insert(k).second) todo.push_back({k, std::move(path)});
    return false;
  };
  if (from != kNullKey) {
    seen.insert(from);
    todo.push_back({from, ""});
  } else {
    for (Key arr : ContextArrays()) {
      int n = store_.ArrayNels(arr);
      for (int i = 1; i <= n; ++i) {
        Key el = store_.ArrayGet(arr, i);
        const Object* o = store_.Find(el);
        if (o && offer(el, "." + o->name)) return "." + o->name;
      }
    }
  }
  // Breadth first, so the name found is one of the shortest.
  while (!todo.empty()) {
    Step step = std::move(todo.front());
    todo.pop_front();
    const Object* o = store_.Find(step.obj);
    if (!o) continue;
    if (o->type == TypeCode::Array) {
      for (int i = 1; i <= o->nels; ++i) {
        std::string path = step.path + "[" + std::to_string(i) + "]";
        if (offer(store_.ArrayGet(step.obj, i), path)) return path;
      }
      continue;
    }
    if (o->type != TypeCode::Instance) continue;
    const Object* ct = store_.Find(o->classtype);
    const Object* proto = ct ? store_.Find(ct->prototype) : nullptr;
    for (int i = 1; i <= o->num_attribs && proto; ++i) {
      const Object* named = store_.Find(store_.ArrayGet(proto->attrib_array, i));
      std::string path = step.path + "." + (named ? named->name : std::string());
      if (offer(store_.ArrayGet(o->attrib_array, i), path)) return path;
    }
    for (int i = 1; i <= o->num_dynamics; ++i) {
      Key el = store_.ArrayGet(o->dynamic_array, i);
      const Object* d = store_.Find(el);
      std::string path = step.path + "." + (d ? d->name : std::string());
      if (offer(el, path)) return path;
    }
    for (int i = 1; ct && i <= ct->num_class_attribs; ++i) {
      Key el = store_.ArrayGet(ct->class_attrib_array, i);
      const Object* c = store_.Find(el);
      if (!c || c->type == TypeCode::Code) continue;
      std::string path = step.path + "." + c->name;
      if (offer(el, path)) return path;
    }
  }
  return {};
}

rc_t Engine::Modify(std::string_view args) {
  std::string_view path, rhs;
  if (!SplitAssignment(args, &path, &rhs))
    return Error(198, "class modify requires .name = value");
  bool ref = path.ends_with(".ref");
  std::string_view target = ref ? path.substr(0, path.size() - 4) : path;
  // Only an object that is already there may be modified.
  Slot dest;
  if (rc_t rc = Resolve(target, &dest)) return rc;
  if (ref) return StatementBody(args);
  const Object* cur = store_.Find(dest.obj);
  if (!cur || cur->type == TypeCode::Attribute) return host_.Fail(4012);
  if (cur->type == TypeCode::Code) return host_.Fail(4025);
  Key value = kNullKey;
  if (rc_t rc = MakeValue(rhs, &value)) {
    dirty_ = true;
    Collect();
    return rc;
  }
  pinned_.push_back(value);
  // StoreValue with top_level false changes the object in place, keeping
  // its type: a top-level double stays a double.
  rc_t rc = StoreValue(dest, value, false);
  pinned_.pop_back();
  dirty_ = true;
  Collect();
  return rc;
}

rc_t Engine::SetCommand(std::string_view args) {
  std::string_view path, rhs;
  if (!SplitAssignment(args, &path, &rhs)) return Error(198, "class set requires .name = value");
  if (path.ends_with(".ref")) return StatementBody(args);
  std::vector<Segment> segs;
  Key start = kNullKey;
  bool single = ParsePath(path, &segs, &start) == 0 && start == kNullKey && segs.size() == 1;
  Slot dest;
  rc_t rc = Resolve(path, &dest, true);
  if (rc == 4012 && single) {
    dest = {CurrentContextArray(), 0, kNullKey};
    dest.pos = store_.ArrayNels(dest.holder) + 1;
  } else if (rc) {
    return Resolve(path, &dest);  // again, to say why
  } else if (dest.holder == kNullKey) {
    return Error(4026, std::string(path) + " may not be assigned");
  }
  if (const Object* cur = store_.Find(dest.obj); cur && cur->type == TypeCode::Code)
    return host_.Fail(4025);
  Key value = kNullKey;
  if (rc_t vrc = MakeValue(rhs, &value)) {
    dirty_ = true;
    Collect();
    return vrc;
  }
  // The slot gets the new object whatever it held before; the old one is
  // dropped (or kept by the undo log).
  const Object* cur = store_.Find(dest.obj);
  store_.Find(value)->name = cur ? cur->name : segs.empty() ? std::string() : segs.back().name;
  LogSlotChange(dest, dest.obj);
  store_.ArraySet(dest.holder, dest.pos, value);
  dirty_ = true;
  Collect();
  return 0;
}

rc_t Engine::NameOf(std::string_view args, bool local) {
  args = base::trim_blanks(args);
  if (args.empty() || args.find_first_of(" \t") != std::string_view::npos)
    return Error(198, std::string(local ? "class nameoflocal" : "class nameof") +
                          " requires one dotted name or object key");
  Slot s;
  if (rc_t rc = Resolve(args, &s)) return rc;
  Key target = Deref(s.obj);
  if (target == kNullKey || !store_.Exists(target)) return host_.Fail(4012);
  std::string name;
  if (local && !this_stack_.empty()) name = PathTo(target, this_stack_.back());
  if (name.empty()) name = PathTo(target, kNullKey);
  if (name.empty()) name = ObjectStore::KeyName(target);
  host_.Print(Style::Result, name + "\n");
  host_.SetResult("name", name);
  return 0;
}

rc_t Engine::TopLevelList(std::string_view args) {
  if (!base::trim_blanks(args).empty()) return Error(198, std::string(base::trim_blanks(args)) + " invalid");
  char buf[320];
  std::snprintf(buf, sizeof buf, "  %-20s %-9s %-9s %s\n", "name", "reference", "type", "value");
  host_.Print(Style::Text, buf);
  std::string names;
  for (Key arr : ContextArrays()) {
    int n = store_.ArrayNels(arr);
    for (int i = 1; i <= n; ++i) {
      Key el = store_.ArrayGet(arr, i);
      const Object* o = store_.Find(el);
      if (!o) continue;
      Key target = Deref(el);
      const Object* t = store_.Find(target);
      std::string type = t ? std::string(TypeName(t->type)) : "null";
      std::string value;
      if (t && t->type == TypeCode::Instance) value = ClassName(target);
      else if (t && t->type == TypeCode::Array) value = std::to_string(t->nels) + " elements";
      else if (t && (t->type == TypeCode::Double || t->type == TypeCode::String)) value = ValueText(target);
      if (o->type == TypeCode::KeyRef) type = "key";
      std::snprintf(buf, sizeof buf, "  %-20s %-9s %-9s %s\n", o->name.c_str(), ObjectStore::KeyHex(el).c_str(),
                    type.c_str(), value.c_str());
      host_.Print(Style::Text, buf);
      if (!names.empty()) names += ' ';
      names += o->name;
    }
  }
  host_.SetResult("names", names);
  return 0;
}

rc_t Engine::SelfTest(std::string_view args) {
  if (!base::trim_blanks(args).empty()) return Error(198, std::string(base::trim_blanks(args)) + " invalid");
  std::string why = Check();
  if (!why.empty()) return Error(4052, "class system self-test failed: " + why);
  PrintLine(Style::Text, "class system self-test passed: " + std::to_string(store_.Count()) +
                             " objects consistent");
  return 0;
}

rc_t Engine::DumpStore(std::string_view args) {
  if (!base::trim_blanks(args).empty()) return Error(198, std::string(base::trim_blanks(args)) + " invalid");
  char buf[320];
  std::snprintf(buf, sizeof buf, "  %8s  %-10s %8s  %s\n", "key", "type", "length", "name");
  host_.Print(Style::Text, buf);
  for (const auto& [k, o] : store_.All()) {
    std::snprintf(buf, sizeof buf, "  %8s  %-10s %8d  %s\n", ObjectStore::KeyHex(k).c_str(),
                  std::string(TypeName(o.type)).c_str(), o.Length(), o.name.c_str());
    host_.Print(Style::Text, buf);
  }
  return 0;
}

rc_t Engine::ProgramDirectory(std::string_view args) {
  std::vector<std::string> names;
  std::string_view rest = base::trim_blanks(args);
  while (!rest.empty()) {
    size_t n = rest.find_first_of(" \t");
    names.emplace_back(rest.substr(0, n));
    rest = n == std::string_view::npos ? std::string_view() : base::trim_blanks(rest.substr(n));
  }
  if (names.empty())
    for (const auto& [name, k] : classes_) names.push_back(name);
  char buf[320];
  for (const std::string& name : names) {
    Key ct = kNullKey;
    if (rc_t rc = LoadClass(name, &ct)) return rc;
    const Object* c = store_.Find(ct);
    std::string head = "class " + name;
    for (int i = 1; i <= c->num_inherits; ++i) {
      const Object* super = store_.Find(store_.ArrayGet(c->inherits_array, i));
      head += (i == 1 ? ", inherits " : " ") + (super ? super->name : std::string());
    }
    PrintLine(Style::Text, head);
    int shown = 0;
    for (int i = 1; i <= c->num_class_attribs; ++i) {
      const Object* code = store_.Find(store_.ArrayGet(c->class_attrib_array, i));
      if (!code || code->type != TypeCode::Code) continue;
      std::snprintf(buf, sizeof buf, "  .%-20s %s\n", code->name.c_str(), code->text.c_str());
      host_.Print(Style::Text, buf);
      ++shown;
    }
    if (shown == 0) PrintLine(Style::Text, "  (no member programs)");
  }
  return 0;
}

}  // namespace nuvra::cls
