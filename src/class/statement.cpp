// Dotted statements: assignment of values, references and new instances,
// calls of member programs, built-in members, and the text of `.a.b' in
// macro expansion.
#include <cstdio>

#include "base/text.h"
#include "class/engine.h"
#include "data/format.h"

namespace nuvra::cls {

namespace {

constexpr std::string_view kBuiltinMembers[] = {
    "classname", "Declare", "arrindexof", "isofclass", "uname", "_loglevel", "_lref",
    "allon", "arrnels", "Arrpop", "Arrdropall", "Arrpush", "ref_n", "objkey", "oncopy_src",
    "objtype", "_typecode", "Arrdropel", "_set_to_active_context", "_clear_active_context",
    "_undoLOG",
};

// Splits a path into everything before its last ".name" and that name.
bool SplitLast(std::string_view path, std::string_view* head, std::string_view* last) {
  size_t dot = path.find_last_of('.');
  if (dot == std::string_view::npos || dot == 0) return false;
  if (path.find_first_of("[]()", dot) != std::string_view::npos) return false;
  *head = path.substr(0, dot);
  *last = path.substr(dot + 1);
  return true;
}

std::string FormatDouble(double v) {
  std::string s = data::format_number("%18.0g", v);
  return std::string(base::trim_blanks(s));
}

}  // namespace

void SplitPath(std::string_view text, std::string_view* path, std::string_view* rest) {
  size_t i = 0;
  int depth = 0;
  while (i < text.size()) {
    char c = text[i];
    if (c == '[' || c == '(') ++depth;
    if (c == ']' || c == ')') --depth;
    if (depth <= 0 && (base::is_blank(c) || c == '=')) break;
    ++i;
  }
  *path = text.substr(0, i);
  *rest = base::trim_blanks(text.substr(i));
}

bool IsBuiltinMember(std::string_view name) {
  for (std::string_view b : kBuiltinMembers)
    if (b == name) return true;
  return false;
}

std::string Engine::ValueText(Key k) const {
  k = Deref(k);
  const Object* o = store_.Find(k);
  if (!o) return {};
  switch (o->type) {
    case TypeCode::Double: return FormatDouble(o->num);
    case TypeCode::String:
    case TypeCode::TmpString: return o->text;
    case TypeCode::Attribute: return {};
    default: return ObjectStore::KeyName(k);
  }
}

rc_t Engine::Display(Key k) {
  host_.Print(Style::Result, ValueText(k) + "\n");
  return 0;
}

// value := ".new" classname [args] | dotted name (copied) | expression
rc_t Engine::MakeValue(std::string_view rhs, Key* out) {
  *out = kNullKey;
  rhs = base::trim_blanks(rhs);
  if (rhs.empty()) return Error(198, "nothing found where value expected");
  if (rhs.starts_with(".new") && (rhs.size() == 4 || base::is_blank(rhs[4]))) {
    std::string_view rest = base::trim_blanks(rhs.substr(4));
    size_t n = 0;
    while (n < rest.size() && !base::is_blank(rest[n])) ++n;
    if (n == 0) return Error(198, "class name required after .new");
    return NewInstance(std::string(rest.substr(0, n)), base::trim_blanks(rest.substr(n)), out);
  }
  if (rhs[0] == '.' && rhs.size() > 1 && rhs[1] != '.' && !(rhs[1] >= '0' && rhs[1] <= '9')) {
    std::string_view path, args;
    SplitPath(rhs, &path, &args);
    std::string_view head, last;
    if (SplitLast(path, &head, &last) && IsBuiltinMember(last)) {
      Slot s;
      if (rc_t rc = Resolve(head, &s)) return rc;
      std::string value;
      bool has = false;
      if (rc_t rc = Builtin(Deref(s.obj), last, args, &value, &has)) return rc;
      Key k = store_.Make(TypeCode::String);
      store_.Find(k)->text = value;
      *out = k;
      return 0;
    }
    if (!args.empty()) return Error(198, std::string(args) + " invalid");
    Slot s;
    if (rc_t rc = Resolve(path, &s)) return rc;
    Key src = Deref(s.obj);
    if (src == kNullKey) return Unresolved(path, false);
    const Object* o = store_.Find(src);
    if (o && o->type == TypeCode::Attribute) return Unresolved(path, false);
    return Copy(src, out);
  }
  bool is_string = false;
  double num = 0;
  std::string str;
  if (rc_t rc = host_.Evaluate(rhs, &is_string, &num, &str)) return rc;
  Key k = store_.Make(is_string ? TypeCode::String : TypeCode::Double);
  Object* o = store_.Find(k);
  o->num = num;
  o->text = std::move(str);
  *out = k;
  return 0;
}

rc_t Engine::Overwrite(Key dest, Key value) {
  Object* d = store_.Find(dest);
  Object* s = store_.Find(value);
  if (!d || !s) return host_.Fail(4017);
  dirty_ = true;
  if (d->type == TypeCode::Double && s->type == TypeCode::Double) {
    d->num = s->num;
    return 0;
  }
  if (d->type == TypeCode::String && s->type == TypeCode::String) {
    d->text = s->text;
    return 0;
  }
  if (d->type == TypeCode::Instance && s->type == TypeCode::Instance) {
    if (!IsA(s->classtype, d->classtype)) return host_.Fail(4010);
    // The old contents go to the source shell, which nothing holds: the
    // collector destroys them as the value that was replaced.
    std::swap(d->classtype, s->classtype);
    std::swap(d->attrib_array, s->attrib_array);
    std::swap(d->dynamic_array, s->dynamic_array);
    std::swap(d->num_attribs, s->num_attribs);
    std::swap(d->num_dynamics, s->num_dynamics);
    s->destructed = false;
    return 0;
  }
  if (d->type == TypeCode::Array && s->type == TypeCode::Array) {
    std::swap(d->node0, s->node0);
    std::swap(d->size, s->size);
    std::swap(d->nels, s->nels);
    return 0;
  }
  return Error(4021, std::string(TypeName(s->type)) + " may not be assigned to an attribute of type " +
                         std::string(TypeName(d->type)));
}

rc_t Engine::StoreValue(Slot dest, Key value, bool top_level) {
  dirty_ = true;
  Object* existing = store_.Find(dest.obj);
  if (existing && existing->type == TypeCode::KeyRef) {
    // Assignment through a reference changes the object referred to.
    Key target = Deref(dest.obj);
    if (target == kNullKey || !store_.Exists(target)) return Error(4012, "reference leads nowhere");
    return Overwrite(target, value);
  }
  if (!existing || existing->type == TypeCode::Attribute || top_level) {
    if (existing) store_.Find(value)->name = existing->name;
    LogSlotChange(dest, dest.obj);
    store_.ArraySet(dest.holder, dest.pos, value);
    return 0;
  }
  // A double or string is changed in place, so the log keeps a copy of
  // the old value; an instance or array swaps its contents into `value`,
  // which then holds the old ones.
  Key before = kNullKey;
  if (logs_declared_ && (existing->type == TypeCode::Double || existing->type == TypeCode::String)) {
    TypeCode t = existing->type;
    double num = existing->num;
    std::string text = existing->text;
    before = store_.Make(t);
    store_.Find(before)->num = num;
    store_.Find(before)->text = std::move(text);
  }
  rc_t rc = Overwrite(dest.obj, value);
  if (rc == 0 && logs_declared_) {
    const Object* d = store_.Find(dest.obj);
    LogSlotChange(dest, d->type == TypeCode::Instance || d->type == TypeCode::Array ? value : before);
  }
  return rc;
}

rc_t Engine::AssignRef(const Slot& dest, std::string_view rhs_path) {
  Slot src;
  if (rc_t rc = Resolve(rhs_path, &src)) return rc;
  Key target = Deref(src.obj);
  const Object* t = store_.Find(target);
  if (!t || t->type == TypeCode::Attribute) return Unresolved(rhs_path, false);
  Key current = Deref(dest.obj);
  const Object* c = store_.Find(current);
  if (c && c->type == TypeCode::Instance && t->type == TypeCode::Instance) {
    if (!IsA(t->classtype, c->classtype)) {
      if (IsA(c->classtype, t->classtype)) return host_.Fail(4009);
      return host_.Fail(4010);
    }
  } else if (c && c->type != TypeCode::Attribute && c->type != t->type) {
    return Error(4021, std::string(TypeName(t->type)) + " may not be referred to by an attribute of type " +
                           std::string(TypeName(c->type)));
  }
  Key ref = store_.Make(TypeCode::KeyRef);
  Object* r = store_.Find(ref);
  r->target = target;
  if (const Object* old = store_.Find(dest.obj)) r->name = old->name;
  LogSlotChange(dest, dest.obj);
  store_.ArraySet(dest.holder, dest.pos, ref);
  dirty_ = true;
  return 0;
}

// assignment := path ["." "ref"] "=" value | path ".ref" "=" path ".ref"
rc_t Engine::Assign(std::string_view lhs, bool lhs_ref, std::string_view rhs) {
  rhs = base::trim_blanks(rhs);
  bool rhs_ref = rhs.size() > 5 && rhs[0] == '.' && rhs.ends_with(".ref") &&
                 rhs.find_first_of(" \t") == std::string_view::npos;
  if (lhs_ref != rhs_ref) return Error(4011, "= assigment of a reference is not allowed");
  std::vector<Segment> segs;
  Key start = kNullKey;
  bool single = ParsePath(lhs, &segs, &start) == 0 && start == kNullKey && segs.size() == 1;
  Slot dest;
  bool top_level = false;
  rc_t rc = Resolve(lhs, &dest, true);
  if (rc == 4012 && single) {
    // A new top-level object of the running context.
    dest = {CurrentContextArray(), 0, kNullKey};
    dest.pos = store_.ArrayNels(dest.holder) + 1;
    top_level = true;
  } else if (rc) {
    return Resolve(lhs, &dest);  // again, to say why
  } else if (dest.holder == kNullKey) {
    return Error(4026, std::string(lhs) + " may not be assigned");
  } else {
    for (const auto& [id, ctx] : contexts_)
      if (store_.Find(ctx)->array == dest.holder) top_level = true;
  }
  if (rhs_ref) {
    rc = AssignRef(dest, rhs.substr(0, rhs.size() - 4));
    // A new top-level reference is found by its name like any other object.
    if (rc == 0 && top_level && dest.obj == kNullKey)
      store_.Find(store_.ArrayGet(dest.holder, dest.pos))->name = segs[0].name;
    Collect();  // the slot's previous object may be unreachable now
    return rc;
  }
  Key value = kNullKey;
  if (rc_t vrc = MakeValue(rhs, &value)) {
    dirty_ = true;
    Collect();
    return vrc;
  }
  pinned_.push_back(value);
  if (top_level && dest.obj == kNullKey) store_.Find(value)->name = segs[0].name;
  rc = StoreValue(dest, value, top_level);
  pinned_.pop_back();
  Collect();
  return rc;
}

rc_t Engine::Statement(std::string_view text) {
  BeginCommand();
  rc_t rc = StatementBody(text);
  EndCommand();
  return rc;
}

rc_t Engine::StatementBody(std::string_view text) {
  text = base::trim_blanks(text);
  std::string_view path, rest;
  SplitPath(text, &path, &rest);
  if (path.empty() || path == ".") return Error(198, "dotted name required");
  if (rest.starts_with("=") && !rest.starts_with("==")) {
    bool lhs_ref = path.ends_with(".ref");
    if (lhs_ref) path.remove_suffix(4);
    return Assign(path, lhs_ref, rest.substr(1));
  }
  std::string_view head, last;
  bool has_head = SplitLast(path, &head, &last);
  if (has_head && IsBuiltinMember(last)) {
    Slot s;
    if (rc_t rc = Resolve(head, &s)) return rc;
    std::string value;
    bool has = false;
    rc_t rc = Builtin(Deref(s.obj), last, rest, &value, &has);
    if (rc == 0 && has) host_.Print(Style::Result, value + "\n");
    Collect();
    return rc;
  }
  // A member program: of the object before the last name, or of the
  // instance whose program is running.
  Key inst = kNullKey;
  std::string_view prog;
  if (has_head) {
    Slot s;
    if (Resolve(head, &s, true) == 0) inst = Deref(s.obj);
    prog = last;
  } else if (!this_stack_.empty()) {
    inst = this_stack_.back();
    prog = path.substr(1);
  }
  if (inst != kNullKey) {
    if (Key code = MemberProgram(inst, prog)) {
      rc_t rc = CallMember(inst, code, rest);
      // The program may have replaced the very object it ran on; that
      // object stayed alive only while it ran.
      dirty_ = true;
      Collect();
      return rc;
    }
    // The style members, unless the class has programs of its own for them.
    bool handled = false;
    rc_t rc = StyleMember(inst, prog, rest, &handled);
    if (handled) {
      dirty_ = true;
      Collect();
      return rc;
    }
  }
  Slot s;
  if (rc_t rc = Resolve(path, &s)) return rc;
  if (!rest.empty()) {
    const Object* o = store_.Find(Deref(s.obj));
    if (o && o->type != TypeCode::Code) return host_.Fail(4024);
    return Error(198, std::string(rest) + " invalid");
  }
  return Display(s.obj);
}

rc_t Engine::MacroText(std::string_view text, std::string* out) {
  out->clear();
  text = base::trim_blanks(text);
  std::string_view path, rest;
  SplitPath(text, &path, &rest);
  std::string_view head, last;
  if (SplitLast(path, &head, &last) && IsBuiltinMember(last)) {
    Slot s;
    if (rc_t rc = Resolve(head, &s, true)) return rc;
    bool has = false;
    rc_t rc = Builtin(Deref(s.obj), last, rest, out, &has);
    // A member such as Arrpop may have let go of objects.
    Collect();
    return rc;
  }
  if (!rest.empty()) return 198;
  Slot s;
  if (rc_t rc = Resolve(path, &s, true)) return rc;
  *out = ValueText(s.obj);
  return 0;
}

}  // namespace nuvra::cls
