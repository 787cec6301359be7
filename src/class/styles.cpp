// Styles and schemes on instances: the scheme files read along the ado
// path, the class's list of style names (`__STYLES`), the instance's index
// into it (`styledex`), and filling attributes from a style.  Whatever
// goes wrong here is a note: styling never stops a command.
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "base/text.h"
#include "class/engine.h"

namespace nuvra::cls {

namespace {

std::string Wrapped(const std::string& text) { return "{p 0 4}{txt}" + text + "{p_end}\n"; }

bool IsSchemeName(std::string_view s) {
  if (s.empty() || s.size() > 32) return false;
  for (char c : s)
    if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_'))
      return false;
  return true;
}

}  // namespace

rc_t Engine::FindScheme(const std::string& name, const Scheme** out) {
  *out = nullptr;
  if (auto it = schemes_.find(name); it != schemes_.end()) {
    *out = &it->second;
    return 0;
  }
  if (!IsSchemeName(name)) return Error(4039, "scheme " + name + " not found");
  if (schemes_loading_.count(name)) return Error(198, "scheme " + name + " inherits from itself");
  std::string path;
  if (!host_.FindFile(SchemeFileName(name), &path)) return Error(4039, "scheme " + name + " not found");
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  if (!in.good() && !in.eof()) return Error(4039, "scheme " + name + " could not be read");
  return KeepScheme(name, text.str(), out);
}

rc_t Engine::DefineScheme(const std::string& name, std::string_view text) {
  if (!IsSchemeName(name)) return Error(4039, "scheme " + name + " not found");
  if (schemes_.count(name)) return Error(198, "scheme " + name + " already read");
  const Scheme* s = nullptr;
  return KeepScheme(name, text, &s);
}

rc_t Engine::KeepScheme(const std::string& name, std::string_view text, const Scheme** out) {
  schemes_loading_.insert(name);
  Scheme scheme;
  std::string why;
  rc_t rc = ParseScheme(
      text, [this](const std::string& parent, const Scheme** p) { return FindScheme(parent, p); },
      &scheme, &why);
  schemes_loading_.erase(name);
  if (rc) return Error(rc, why + " in " + SchemeFileName(name));
  if (scheme.name != name)
    return Error(198, SchemeFileName(name) + " declares scheme " + scheme.name + ", not " + name);
  *out = &schemes_.emplace(name, std::move(scheme)).first->second;
  return 0;
}

rc_t Engine::UseScheme(const std::string& name) {
  const Scheme* s = nullptr;
  if (rc_t rc = FindScheme(name, &s)) return rc;
  scheme_name_ = name;
  return 0;
}

const Scheme* Engine::CurrentScheme() {
  if (auto it = schemes_.find(scheme_name_); it != schemes_.end()) return &it->second;
  std::string path;
  // A missing scheme file is not an error here: the notes say so.
  if (!host_.FindFile(SchemeFileName(scheme_name_), &path)) return nullptr;
  const Scheme* s = nullptr;
  return FindScheme(scheme_name_, &s) == 0 ? s : nullptr;
}

void Engine::StyleNote(const std::string& text) { host_.Print(Style::Text, Wrapped(text)); }

const StyleDef* Engine::FindStyleFor(Key classtype, std::string_view style, std::string* cls_used) {
  const Scheme* scheme = CurrentScheme();
  if (!scheme) return nullptr;
  // The class itself, then its superclasses depth first: the first class
  // the scheme has styles for is the one styled.
  std::vector<Key> todo{classtype};
  std::set<Key> seen;
  while (!todo.empty()) {
    Key k = todo.front();
    todo.erase(todo.begin());
    if (!seen.insert(k).second) continue;
    const Object* ct = store_.Find(k);
    if (!ct || ct->type != TypeCode::Classtype) continue;
    if (!scheme->StyleNames(ct->name).empty()) {
      *cls_used = ct->name;
      return style.empty() ? nullptr : scheme->FindStyle(ct->name, style);
    }
    for (int i = ct->num_inherits; i >= 1; --i)
      todo.insert(todo.begin(), store_.ArrayGet(ct->inherits_array, i));
  }
  cls_used->clear();
  return nullptr;
}

Key Engine::ClassStyleNames(Key classtype) {
  Object* ct = store_.Find(classtype);
  if (!ct || ct->type != TypeCode::Classtype) return kNullKey;
  if (int pos = store_.ArrayFindName(ct->class_attrib_array, "__STYLES")) {
    Key k = Deref(store_.ArrayGet(ct->class_attrib_array, pos));
    const Object* o = store_.Find(k);
    return o && o->type == TypeCode::Array ? k : kNullKey;
  }
  Key arr = store_.Make(TypeCode::Array, "__STYLES");
  ct = store_.Find(classtype);
  store_.ArrayPush(ct->class_attrib_array, arr);
  ct->num_class_attribs = store_.ArrayNels(ct->class_attrib_array);
  return arr;
}

void Engine::ReadStyle(Key inst, const StyleDef& def) {
  for (const StyleEntry& e : def.entries) {
    Slot s;
    // Entries for attributes this instance does not have are for other
    // members of the class family: they are passed over.
    if (Resolve(ObjectStore::KeyName(inst) + "." + e.attribute, &s, true) != 0) continue;
    Object* o = store_.Find(Deref(s.obj));
    if (!o) continue;
    if (o->type == TypeCode::Double) {
      char* end = nullptr;
      double v = std::strtod(e.value.c_str(), &end);
      if (end != e.value.c_str() && *end == '\0') o->num = v;
    } else if (o->type == TypeCode::String) {
      o->text = e.value;
    }
  }
}

rc_t Engine::StyleMember(Key inst, std::string_view member, std::string_view args, bool* handled) {
  *handled = member == "setstyle" || member == "_restyle" || member == "_populate_stylenames" ||
             member == "_read_style";
  if (!*handled) return 0;
  const Object* o = store_.Find(inst);
  if (!o || o->type != TypeCode::Instance) return host_.Fail(4014);
  Key classtype = o->classtype;
  std::string cls = ClassName(inst);
  std::string style(base::trim_blanks(args));
  if (style.find_first_of(" \t") != std::string::npos) return Error(198, style + " invalid style name");
  if (member == "_restyle" && !style.empty()) return Error(198, style + " invalid");

  // The class's style names, from the current scheme; names already
  // listed keep their index, so a `styledex` stays valid across schemes.
  std::string cls_used;
  FindStyleFor(classtype, {}, &cls_used);
  // A class the scheme has no styles for is left as it was, without a
  // list of style names.
  Key names = cls_used.empty() ? kNullKey : ClassStyleNames(classtype);
  if (names == kNullKey) {
    StyleNote("(note:  could not create style for class " + cls + " in the current scheme)");
    return 0;
  }
  for (const std::string& n : CurrentScheme()->StyleNames(cls_used)) {
    bool listed = false;
    for (int i = 1; i <= store_.ArrayNels(names) && !listed; ++i) {
      const Object* el = store_.Find(store_.ArrayGet(names, i));
      listed = el && el->text == n;
    }
    if (!listed) {
      Key k = store_.Make(TypeCode::String);
      store_.Find(k)->text = n;
      store_.ArrayPush(names, k);
    }
  }
  if (member == "_populate_stylenames") return 0;

  auto index_of = [&](std::string_view n) {
    for (int i = 1; i <= store_.ArrayNels(names); ++i) {
      const Object* el = store_.Find(store_.ArrayGet(names, i));
      if (el && el->text == n) return i;
    }
    return 0;
  };
  Slot dex_slot = Member(inst, "styledex");
  Object* dex = store_.Find(Deref(dex_slot.obj));
  if (dex && dex->type != TypeCode::Double) dex = nullptr;

  if (member == "_restyle") {
    // Only a whole number within the list indexes a style.
    double d = dex ? dex->num : 0;
    int idx = d >= 1 && d <= store_.ArrayNels(names) && d == static_cast<int>(d) ? static_cast<int>(d) : 0;
    const Object* el = idx ? store_.Find(store_.ArrayGet(names, idx)) : nullptr;
    const StyleDef* def = el ? FindStyleFor(classtype, el->text, &cls_used) : nullptr;
    if (!def) {
      std::string shown = dex ? ValueText(dex->own_key) : std::string(".");
      StyleNote("(note:  _restyle could not find style indexed " + shown +
                " in the current scheme for class " + cls + ")");
      return 0;
    }
    ReadStyle(inst, *def);
    return 0;
  }

  if (style.empty()) style = "default";
  const StyleDef* def = FindStyleFor(classtype, style, &cls_used);
  if (!def) {
    StyleNote("(note:  named style " + style + " not found in class " + cls +
              ",  default attributes used)");
    if (member == "_read_style") return 0;
    style = "default";
    def = FindStyleFor(classtype, style, &cls_used);
  }
  if (member == "setstyle" && def) {
    int idx = index_of(style);
    if (!dex) {
      // The instance keeps its index as a dynamic attribute.
      Key k = store_.Make(TypeCode::Double, "styledex");
      Object* in = store_.Find(inst);
      store_.ArrayPush(in->dynamic_array, k);
      in->num_dynamics = store_.ArrayNels(in->dynamic_array);
      dex = store_.Find(k);
    }
    dex->num = idx;
  }
  if (def) ReadStyle(inst, *def);
  return 0;
}

rc_t Engine::SetStyle(Key inst, std::string_view style) {
  bool handled = false;
  BeginCommand();
  rc_t rc = StyleMember(inst, "setstyle", style, &handled);
  EndCommand();
  return rc;
}

rc_t Engine::Restyle(Key inst) {
  bool handled = false;
  BeginCommand();
  rc_t rc = StyleMember(inst, "_restyle", {}, &handled);
  EndCommand();
  return rc;
}

}  // namespace nuvra::cls
