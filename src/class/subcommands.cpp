// The `class` command's subcommands: dotted statements, free, inspect,
// new, nuvra, exit, the store summary, and describe by key; the others
// are in directory.cpp and undo_log.cpp.
#include <cstdio>

#include "base/text.h"
#include "class/engine.h"
#include "data/format.h"

namespace nuvra::cls {

namespace {

bool Abbreviates(std::string_view word, std::string_view full, size_t min) {
  return word.size() >= min && word.size() <= full.size() && full.substr(0, word.size()) == word;
}

std::string_view NextWord(std::string_view* s) {
  *s = base::trim_blanks(*s);
  size_t n = 0;
  while (n < s->size() && !base::is_blank((*s)[n])) ++n;
  std::string_view w = s->substr(0, n);
  *s = base::trim_blanks(s->substr(n));
  return w;
}

// Overhead of one store entry beyond its data and name: key, type code,
// length and the name's own length.
constexpr int kEntryOverhead = 16;

}  // namespace

rc_t Engine::Command(std::string_view line) {
  BeginCommand();
  rc_t rc = Subcommand(line);
  EndCommand();
  return rc;
}

rc_t Engine::Subcommand(std::string_view line) {
  line = base::trim_blanks(line);
  if (line.starts_with(".")) return Statement(line);
  if (line.starts_with("*")) return 0;
  std::string_view rest = line;
  std::string_view word = NextWord(&rest);
  if (word.empty() || rest.ends_with("{"))
    return Error(198, "class command must be followed by a name or command must appear in an class-file.");
  if (Abbreviates(word, "exit", 4)) return host_.Exit(rest);
  if (Abbreviates(word, "free", 4)) return Free(rest);
  if (Abbreviates(word, "inspect", 7)) return Inspect(rest);
  if (Abbreviates(word, "new", 3)) return NewCommand(rest);
  if (Abbreviates(word, "nuvra", 5)) return host_.RunCommand(rest);
  if (Abbreviates(word, "modify", 6)) return Modify(rest);
  if (Abbreviates(word, "nameoflocal", 11)) return NameOf(rest, true);
  if (Abbreviates(word, "nameof", 6)) return NameOf(rest, false);
  if (Abbreviates(word, "set", 3)) return SetCommand(rest);
  if (Abbreviates(word, "toplevel", 8)) return TopLevelList(rest);
  if (Abbreviates(word, "try", 3)) return SelfTest(rest);
  if (Abbreviates(word, "undo", 4)) return UndoCommand(rest);
  if (Abbreviates(word, "_dmm", 4)) return DumpStore(rest);
  if (Abbreviates(word, "pgmdir", 6)) return ProgramDirectory(rest);
  if (classes_.count(std::string(word))) {
    std::string_view sub = NextWord(&rest);
    return Error(198, std::string(sub) + " is not a class subcommand of " + std::string(word));
  }
  return Error(198, "not a class definition or subcommand");
}

rc_t Engine::NewCommand(std::string_view args) {
  std::string_view rest = args;
  NextWord(&rest);  // the type, which Declare reads
  std::string_view name = NextWord(&rest);
  if (!name.empty() && TopLevel(name).holder != kNullKey)
    return Error(4007, "." + std::string(name) + " already exists");
  rc_t rc = Declare(CurrentContextArray(), args);
  dirty_ = true;
  Collect();
  return rc;
}

rc_t Engine::Free(std::string_view args) {
  args = base::trim_blanks(args);
  if (args.empty() || args == "context") {
    EndContext(host_.ContextId());
    return 0;
  }
  if (args == "_all") {
    contexts_.clear();
    active_context_ = -1;
    log_history_.clear();
    classes_.clear();
    dirty_ = true;
    Collect();
    return 0;
  }
  Slot s;
  if (rc_t rc = Resolve(args, &s)) return rc;
  const Object* o = store_.Find(s.obj);
  if (!o) return host_.Fail(4012);
  // Array nodes and contexts belong to their array or program and are
  // never taken out of the store on their own.
  if (o->type == TypeCode::ArrayNode) return Error(4014, "attempt to cls_unlink() an array node");
  if (o->type == TypeCode::Context) return Error(4014, "attempt to cls_unlink() a context");
  if (TypeName(o->type) == "unknown") return Error(4006, "attempt to cls_unlink() an object of unknown type");
  if (o->type != TypeCode::Instance) return host_.Fail(4014);
  // Only a top-level object may go, whether named or given by key; one
  // held inside another goes with its holder.
  for (const auto& [id, ctx] : contexts_) {
    Key arr = store_.Find(ctx)->array;
    for (int i = 1; i <= store_.ArrayNels(arr); ++i) {
      if (store_.ArrayGet(arr, i) != s.obj) continue;
      store_.ArrayRemove(arr, i);
      dirty_ = true;
      Collect();
      return 0;
    }
  }
  return Error(4034, std::string(args) + " is held by another object; may not be freed");
}

rc_t Engine::Summary() {
  long data = 0, names = 0;
  for (const auto& [k, o] : store_.All()) {
    data += o.Length();
    names += static_cast<long>(o.name.size());
  }
  long overhead = static_cast<long>(store_.Count()) * kEntryOverhead;
  char buf[200];
  host_.Print(Style::Text, "cls system summary:\n");
  std::snprintf(buf, sizeof buf, "   Number of items/objects=%-8d\n", static_cast<int>(store_.Count()));
  host_.Print(Style::Text, buf);
  std::snprintf(buf, sizeof buf, "   Sizes:  total=%-8d  data=%-8d  overhead=%-8d  names=%-8d\n",
                static_cast<int>(data + overhead + names), static_cast<int>(data),
                static_cast<int>(overhead), static_cast<int>(names));
  host_.Print(Style::Text, buf);
  return 0;
}

rc_t Engine::Inspect(std::string_view args) {
  std::string_view rest = args;
  std::string_view word = NextWord(&rest);
  if (word.empty()) return Summary();
  Key k = kNullKey;
  std::string shown(args);
  if (word == "class" || word == "classtype") {
    std::string name(NextWord(&rest));
    if (name.empty() || !rest.empty()) return Error(198, "class name required");
    if (rc_t rc = LoadClass(name, &k)) return rc;
    if (word == "class") k = store_.Find(k)->prototype;
    shown = name;
  } else {
    if (!rest.empty()) return Error(198, std::string(rest) + " invalid");
    Slot s;
    if (rc_t rc = Resolve(word, &s)) return rc;
    k = Deref(s.obj);
  }
  const Object* o = store_.Find(k);
  if (!o) return host_.Fail(4012);
  auto line = [this](const std::string& text) { host_.Print(Style::Text, text + "\n"); };
  line("Inspecting: " + shown);
  line("Object type: " + std::string(TypeName(o->type)));
  line("Reference: " + ObjectStore::KeyHex(k));
  const Object* ct = o->type == TypeCode::Instance ? store_.Find(o->classtype)
                     : o->type == TypeCode::Classtype ? o : nullptr;
  if (!ct) {
    if (o->type == TypeCode::Double || o->type == TypeCode::String) line("Value: " + ValueText(k));
    return 0;
  }
  const Object* proto = store_.Find(ct->prototype);
  if (o->type == TypeCode::Instance) {
    line("Attributes: " + std::to_string(o->num_attribs));
    line("Dynamic Attribs: " + std::to_string(o->num_dynamics));
  }
  line("Classtype: " + ct->name);
  line("Classtype reference: " + ObjectStore::KeyHex(ct->own_key));
  line("Class attrib array reference: " + ObjectStore::KeyHex(ct->class_attrib_array));
  if (o->type == TypeCode::Instance) {
    line("Attribute array reference: " + ObjectStore::KeyHex(o->attrib_array));
    line("Dynamic attrib array reference: " + ObjectStore::KeyHex(o->dynamic_array));
  }
  line("Prototype reference: " + ObjectStore::KeyHex(ct->prototype));
  line("Prototype array reference: " + ObjectStore::KeyHex(proto ? proto->attrib_array : kNullKey));
  auto row = [&](const std::string& name, Key el) {
    Key target = Deref(el);
    const Object* e = store_.Find(target);
    std::string type = e ? std::string(TypeName(e->type)) : "null";
    if (e && e->type == TypeCode::Attribute) type = "null";
    std::string value;
    if (e && e->type == TypeCode::Double) value = data::format_number("%14.0g", e->num);
    else if (e && e->type == TypeCode::String) value = "\"" + e->text + "\"";
    else if (e && e->type == TypeCode::Instance) value = ClassName(target);
    else if (e && e->type == TypeCode::Array) value = std::to_string(e->nels) + " elements";
    char buf[320];
    std::snprintf(buf, sizeof buf, "  %-20s %-8s %-9s %s\n", name.c_str(), ObjectStore::KeyHex(el).c_str(),
                  type.c_str(), value.c_str());
    host_.Print(Style::Text, buf);
  };
  char head[160];
  std::snprintf(head, sizeof head, "  %-20s %-8s %-9s %s\n", "name", "reference", "type", "value");
  line("");
  line("Class attributes:");
  host_.Print(Style::Text, head);
  for (int i = 1; i <= ct->num_class_attribs; ++i) {
    Key el = store_.ArrayGet(ct->class_attrib_array, i);
    row(store_.Find(el)->name, el);
  }
  line("Instance attributes:");
  host_.Print(Style::Text, head);
  if (o->type == TypeCode::Instance && proto) {
    for (int i = 1; i <= o->num_attribs; ++i)
      row(store_.Find(store_.ArrayGet(proto->attrib_array, i))->name,
          store_.ArrayGet(o->attrib_array, i));
    for (int i = 1; i <= o->num_dynamics; ++i) {
      Key el = store_.ArrayGet(o->dynamic_array, i);
      row(store_.Find(el)->name, el);
    }
  }
  return 0;
}

rc_t Engine::Describe(std::string_view key_text) {
  key_text = base::trim_blanks(key_text);
  Key k = kNullKey;
  size_t used = ObjectStore::ParseKeyName(key_text, &k);
  if (used == 0) used = ObjectStore::ParseKeyName("__key(" + std::string(key_text) + ")", &k) ? key_text.size() : 0;
  if (used != key_text.size() || k == kNullKey) return host_.Fail(4046);
  for (int hops = 0; hops < 2; ++hops) {
    const Object* o = store_.Find(k);
    if (!o) return Error(4017, "object " + ObjectStore::KeyName(k) + " not found");
    if (o->type == TypeCode::Code) {
      host_.Print(Style::Text, "Codes not yet implemented\n");
      return 0;
    }
    host_.SetResult("type", std::string(TypeName(o->type)));
    host_.SetResult("length", std::to_string(o->Length()));
    host_.SetResult("typecode", std::to_string(static_cast<int>(o->type)));
    host_.SetResult("name", o->name);
    host_.SetResult("own_key", ObjectStore::KeyHex(k));
    switch (o->type) {
      case TypeCode::Double:
      case TypeCode::String: host_.SetResult("value", ValueText(k)); break;
      case TypeCode::Instance:
        host_.SetResult("classtype", ObjectStore::KeyHex(o->classtype));
        host_.SetResult("attrib_array", ObjectStore::KeyHex(o->attrib_array));
        host_.SetResult("dynamic_array", ObjectStore::KeyHex(o->dynamic_array));
        host_.SetResult("num_attribs", std::to_string(o->num_attribs));
        host_.SetResult("num_dynamics", std::to_string(o->num_dynamics));
        break;
      case TypeCode::Array: {
        host_.SetResult("keys_per_node", std::to_string(o->keys_per_node));
        host_.SetResult("size", std::to_string(o->size));
        host_.SetResult("nels", std::to_string(o->nels));
        host_.SetResult("node0", ObjectStore::KeyHex(o->node0));
        std::string keys;
        for (int i = 1; i <= o->nels; ++i) {
          Key el = store_.ArrayGet(k, i);
          std::string word = el == kNullKey ? "null" : ObjectStore::KeyHex(el);
          if (keys.size() + word.size() + 1 > 4000) {
            host_.Print(Style::Text, "note: too many keys for macro\n");
            break;
          }
          if (!keys.empty()) keys += ' ';
          keys += word;
        }
        host_.SetResult("array_keys", keys);
        break;
      }
      case TypeCode::Classtype:
        host_.SetResult("prototype", ObjectStore::KeyHex(o->prototype));
        host_.SetResult("inherits_array", ObjectStore::KeyHex(o->inherits_array));
        host_.SetResult("class_attrib_array", ObjectStore::KeyHex(o->class_attrib_array));
        host_.SetResult("num_inherits", std::to_string(o->num_inherits));
        host_.SetResult("num_class_attribs", std::to_string(o->num_class_attribs));
        break;
      case TypeCode::KeyRef:
        host_.SetResult("data_key", ObjectStore::KeyHex(o->target));
        host_.SetResult("key_name", store_.Find(o->target) ? store_.Find(o->target)->name : "");
        host_.SetResult("key_key", ObjectStore::KeyHex(o->target));
        // Then the target itself is described.
        k = o->target;
        continue;
      default: break;
    }
    return 0;
  }
  return 0;
}

}  // namespace nuvra::cls
