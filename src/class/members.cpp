// The built-in members every object has after a dot: its class, key and
// type, the array operations, class tests, unique names, reference counts
// and the declaration of dynamic attributes.
#include <cstdio>

#include "base/text.h"
#include "class/engine.h"

namespace nuvra::cls {

namespace {

std::string Number(double v) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.15g", v);
  return buf;
}

bool ParseIndex(std::string_view text, int* out) {
  text = base::trim_blanks(text);
  if (text.empty() || text.size() > 9) return false;
  int v = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    v = v * 10 + (c - '0');
  }
  *out = v;
  return v >= 1;
}

}  // namespace

rc_t Engine::Builtin(Key obj, std::string_view member, std::string_view args, std::string* value,
                     bool* has_value) {
  // The object stays while its member works, whatever a program that the
  // member starts (a constructor in Declare or Arrpush) frees meanwhile.
  const uint64_t sweeps = sweeps_;
  pinned_.push_back(obj);
  rc_t rc = BuiltinOn(obj, member, args, value, has_value);
  Unpin(1, sweeps);
  return rc;
}

rc_t Engine::BuiltinOn(Key obj, std::string_view member, std::string_view args, std::string* value,
                       bool* has_value) {
  value->clear();
  *has_value = true;
  const Object* o = store_.Find(obj);
  if (!o) return Error(4012, "object not found");
  auto need_array = [&]() -> rc_t { return o->type == TypeCode::Array ? 0 : host_.Fail(4013); };
  auto no_args = [&]() -> rc_t {
    return args.empty() ? 0 : Error(198, std::string(args) + " invalid");
  };
  if (member == "classname") {
    if (rc_t rc = no_args()) return rc;
    if (o->type == TypeCode::Instance) *value = ClassName(obj);
    else if (o->type == TypeCode::Classtype) *value = o->name;
    return 0;
  }
  if (member == "objkey") {
    *value = ObjectStore::KeyName(obj);
    return no_args();
  }
  if (member == "objtype") {
    *value = TypeName(o->type);
    return no_args();
  }
  if (member == "_typecode") {
    *value = Number(static_cast<int>(o->type));
    return no_args();
  }
  if (member == "arrnels") {
    if (rc_t rc = need_array()) return rc;
    *value = Number(o->nels);
    return no_args();
  }
  if (member == "isofclass") {
    std::string_view name = base::trim_blanks(args);
    auto it = classes_.find(std::string(name));
    *value = it != classes_.end() && IsA(ClassOf(obj), it->second) ? "1" : "0";
    return 0;
  }
  if (member == "oncopy_src") {
    if (rc_t rc = no_args()) return rc;
    Key src = CopySourceOf(obj);
    if (src == kNullKey) return Error(4012, "oncopy_src: no copy of this object in progress");
    *value = ObjectStore::KeyName(src);
    return 0;
  }
  if (member == "uname") {
    char buf[32];
    std::snprintf(buf, sizeof buf, "__%06x", ++uname_counter_);
    *value = buf;
    return no_args();
  }
  if (member == "ref_n") {
    // Holders of the object: array slots and references.
    int n = 0;
    for (const auto& [k, other] : store_.All()) {
      if (other.type == TypeCode::KeyRef && other.target == obj) ++n;
      if (other.type == TypeCode::ArrayNode)
        for (Key el : other.keys) n += el == obj;
    }
    *value = Number(n);
    return no_args();
  }
  if (member == "arrindexof") {
    if (rc_t rc = need_array()) return rc;
    bool is_string = false;
    double num = 0;
    std::string str;
    if (rc_t rc = host_.Evaluate(args, &is_string, &num, &str)) return rc;
    int found = 0;
    for (int i = 1; i <= o->nels && !found; ++i) {
      const Object* el = store_.Find(Deref(store_.ArrayGet(obj, i)));
      if (!el) continue;
      if (is_string ? el->type == TypeCode::String && el->text == str
                    : el->type == TypeCode::Double && el->num == num)
        found = i;
    }
    *value = Number(found);
    return 0;
  }
  *has_value = false;
  if (member == "Arrpush") {
    if (rc_t rc = need_array()) return rc;
    Key v = kNullKey;
    if (rc_t rc = MakeValue(args, &v)) {
      dirty_ = true;
      return rc;
    }
    store_.ArrayPush(obj, v);
    return 0;
  }
  if (member == "Arrpop") {
    if (rc_t rc = need_array()) return rc;
    if (o->nels == 0) return host_.Fail(4015);
    store_.ArrayRemove(obj, o->nels);
    dirty_ = true;
    return no_args();
  }
  if (member == "Arrdropall") {
    if (rc_t rc = need_array()) return rc;
    while (store_.ArrayNels(obj) > 0) store_.ArrayRemove(obj, store_.ArrayNels(obj));
    dirty_ = true;
    return no_args();
  }
  if (member == "Arrdropel") {
    if (rc_t rc = need_array()) return rc;
    int idx = 0;
    if (!ParseIndex(args, &idx)) return host_.Fail(4016);
    if (idx > o->nels) return host_.Fail(4015);
    store_.ArrayRemove(obj, idx);
    dirty_ = true;
    return 0;
  }
  if (member == "Declare") {
    if (o->type != TypeCode::Instance) return host_.Fail(4014);
    Key dyn = o->dynamic_array;
    // Shadowing a declared attribute is allowed (lookup finds the dynamic
    // one first); declaring the same dynamic attribute twice is not.
    std::string_view decl = base::trim_blanks(args);
    size_t type_end = decl.find_first_of(" \t");
    if (type_end != std::string_view::npos) {
      std::string_view rest = base::trim_blanks(decl.substr(type_end));
      size_t name_end = rest.find_first_of(" \t=");
      std::string_view name = rest.substr(0, name_end);
      if (store_.ArrayFindName(dyn, name)) return host_.Fail(4029);
    }
    rc_t rc = Declare(dyn, args);
    store_.Find(obj)->num_dynamics = store_.ArrayNels(dyn);
    return rc;
  }
  if (member == "_set_to_active_context") {
    if (rc_t rc = no_args()) return rc;
    int id = -1;
    if (o->type == TypeCode::Context) {
      for (const auto& [cid, ctx] : contexts_)
        if (ctx == obj) id = cid;
    } else {
      id = ContextHolding(obj);
    }
    if (id < 0) return host_.Fail(4032);
    active_context_ = id;
    return 0;
  }
  if (member == "_clear_active_context") {
    if (rc_t rc = no_args()) return rc;
    if (active_context_ < 0) return host_.Fail(4033);
    active_context_ = -1;
    return 0;
  }
  // The undo log's members work on instances only.
  if (member == "_loglevel" || member == "_lref" || member == "allon" || member == "_undoLOG") {
    if (o->type != TypeCode::Instance) return host_.Fail(4014);
  }
  if (member == "_loglevel") {
    if (base::trim_blanks(args).empty()) {
      *has_value = true;
      *value = Number(LogArray(obj) != kNullKey ? LogLevel(obj) : 0);
      return 0;
    }
    int level = 0;
    if (base::trim_blanks(args) != "0" && !ParseIndex(args, &level))
      return Error(198, std::string(args) + " invalid log level");
    log_levels_[obj] = level;
    return 0;
  }
  if (member == "_lref") {
    if (base::trim_blanks(args).empty()) {
      *has_value = true;
      Key owner = LogOwner(obj);
      *value = LogArray(owner) != kNullKey ? ObjectStore::KeyName(owner) : std::string();
      return 0;
    }
    Slot s;
    if (rc_t rc = Resolve(base::trim_blanks(args), &s)) return rc;
    Key owner = Deref(s.obj);
    const Object* t = store_.Find(owner);
    if (!t || t->type != TypeCode::Instance) return host_.Fail(4014);
    if (owner == obj) log_refs_.erase(obj);
    else log_refs_[obj] = owner;
    return 0;
  }
  if (member == "allon") {
    if (rc_t rc = no_args()) return rc;
    if (LogArray(obj) == kNullKey) {
      Key dyn = o->dynamic_array;
      if (store_.ArrayFindName(dyn, "__LOG")) return Error(4021, "__LOG is not an array");
      if (rc_t rc = Declare(dyn, "array __LOG")) return rc;
      store_.Find(obj)->num_dynamics = store_.ArrayNels(dyn);
    }
    log_levels_[obj] = 1;
    log_refs_.erase(obj);
    return SetLogRefs(obj);
  }
  if (member == "_undoLOG") {
    int count = 1;
    if (!base::trim_blanks(args).empty() && !ParseIndex(args, &count))
      return Error(198, std::string(args) + " invalid count");
    return UndoLog(LogOwner(obj), count);
  }
  return Error(199, "class member " + std::string(member) + " not yet available");
}

}  // namespace nuvra::cls
