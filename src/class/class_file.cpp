// Class files: reading NAME.class along the ado path and defining the
// class it declares.
//
//   file      := { comment | "version" ... } classdef { program }
//   classdef  := "class" name [ "," "inherit(" names ")" ] "{"
//                  { section | comment | "_cls" command | declaration }
//                "}"
//   section   := "classwide:" (down to "class:")
//              | "instancespecific:" (down to "instance:")
//   declaration := type name [ "=" value ]
//   type      := "double" | "number" | "string" | "array" | "class" | "code"
//   program   := "program" ["define"] "." name  lines  "end"
//
// A member program named `new` runs when an instance is made, `oncopy`
// when one is copied, `destructor` when one is freed.
#include <fstream>
#include <sstream>

#include "base/text.h"
#include "class/engine.h"

namespace nuvra::cls {

namespace {

bool IsName(std::string_view s) {
  if (s.empty() || s.size() > 32 || (s[0] >= '0' && s[0] <= '9')) return false;
  for (char c : s)
    if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_'))
      return false;
  return true;
}

// The next word of `s` (blank-separated); `s` keeps what follows.
std::string_view NextWord(std::string_view* s) {
  *s = base::trim_blanks(*s);
  size_t n = 0;
  while (n < s->size() && !base::is_blank((*s)[n]) && (*s)[n] != '=') ++n;
  std::string_view w = s->substr(0, n);
  *s = base::trim_blanks(s->substr(n));
  return w;
}

// `word` is `full` abbreviated to at least `min` letters, followed by ":".
bool IsSection(std::string_view word, std::string_view full, size_t min) {
  if (!word.ends_with(":")) return false;
  word.remove_suffix(1);
  return word.size() >= min && word.size() <= full.size() && full.substr(0, word.size()) == word;
}

}  // namespace

rc_t Engine::Declare(Key array, std::string_view decl) {
  std::string_view rest = decl;
  std::string_view type = NextWord(&rest);
  TypeCode code;
  if (type == "double" || type == "number") code = TypeCode::Double;
  else if (type == "string") code = TypeCode::String;
  else if (type == "array") code = TypeCode::Array;
  else if (type == "class") code = TypeCode::Instance;
  else if (type == "code") code = TypeCode::Code;
  else return Error(198, std::string(type) + " not a valid attribute type");
  std::string_view name = NextWord(&rest);
  if (name.empty()) return Error(198, "attribute declaration requires a name");
  if (!IsName(name)) return Error(198, std::string(name) + " invalid attribute name");
  if (store_.ArrayFindName(array, name)) return Error(4007, std::string(name) + " already declared");
  std::string_view value;
  if (!rest.empty()) {
    if (rest[0] != '=') return Error(198, std::string(rest) + " invalid");
    value = base::trim_blanks(rest.substr(1));
    if (value.empty()) return host_.Fail(4041);
  }
  Key k = kNullKey;
  switch (code) {
    case TypeCode::Double:
    case TypeCode::String: {
      if (!value.empty()) {
        if (rc_t rc = MakeValue(value, &k)) return rc;
        if (store_.Find(k)->type != code) {
          dirty_ = true;
          return Error(4041, std::string(value) + ": initial value is not a " + std::string(type));
        }
      } else {
        k = store_.Make(code);
      }
      break;
    }
    case TypeCode::Array:
      if (!value.empty()) return host_.Fail(4041);
      k = store_.Make(TypeCode::Array);
      break;
    case TypeCode::Instance:
      if (!value.empty()) {
        if (!value.starts_with(".new")) return host_.Fail(4041);
        if (rc_t rc = MakeValue(value, &k)) return rc;
      } else {
        k = store_.Make(TypeCode::Attribute);  // an empty slot for an instance
      }
      break;
    default:
      if (!value.empty()) return host_.Fail(4041);
      k = store_.Make(TypeCode::Attribute);
      break;
  }
  store_.Find(k)->name.assign(name);
  store_.ArrayPush(array, k);
  if (name == "__LOG") logs_declared_ = true;
  return 0;
}

rc_t Engine::LoadClass(const std::string& name, Key* out) {
  *out = kNullKey;
  auto it = classes_.find(name);
  if (it != classes_.end()) {
    *out = it->second;
    return 0;
  }
  if (!IsName(name)) return Error(4004, name + " invalid class name");
  if (loading_.count(name)) return Error(4020, "class " + name + " inherits from itself");
  std::string path;
  if (!host_.FindFile(name + ".class", &path))
    return Error(4001, "class " + name + " not found");
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  if (!in.good() && !in.eof()) return Error(4002, "system failure in .class files");
  if (rc_t rc = DefineFromText(name, text.str())) return rc;
  *out = classes_[name];
  return 0;
}

rc_t Engine::DefineFromText(const std::string& name, std::string_view text) {
  if (classes_.count(name)) return host_.Fail(4003);
  if (!IsName(name)) return Error(4004, name + " invalid class name");
  loading_.insert(name);
  Key ct = store_.Make(TypeCode::Classtype, name);
  Key proto = store_.Make(TypeCode::Instance);
  Key inherits = store_.Make(TypeCode::Array);
  Key class_attribs = store_.Make(TypeCode::Array);
  Key proto_attribs = store_.Make(TypeCode::Array);
  Key proto_dyn = store_.Make(TypeCode::Array);
  Object* c = store_.Find(ct);
  c->prototype = proto;
  c->inherits_array = inherits;
  c->class_attrib_array = class_attribs;
  Object* p = store_.Find(proto);
  p->classtype = ct;
  p->attrib_array = proto_attribs;
  p->dynamic_array = proto_dyn;
  pinned_.push_back(ct);
  std::vector<std::string> programs;
  rc_t rc = ParseClassBody(name, text, ct, &programs);
  pinned_.pop_back();
  loading_.erase(name);
  if (rc) {
    for (const std::string& prog : programs) host_.DropProgram(prog);
    dirty_ = true;
    Collect();
    return rc;
  }
  classes_[name] = ct;
  return 0;
}

rc_t Engine::ParseClassBody(const std::string& name, std::string_view text, Key ct,
                            std::vector<std::string>* programs) {
  enum class State { Before, Body, After, Program } state = State::Before;
  bool classwide = false;
  std::string program_name;
  std::vector<std::string> program_lines;
  size_t pos = 0;
  int line_no = 0;
  auto fail = [&](rc_t code, const std::string& what) {
    return Error(code, what + " (line " + std::to_string(line_no) + " of " + name + ".class)");
  };
  while (pos < text.size()) {
    size_t eol = text.find('\n', pos);
    if (eol == std::string_view::npos) eol = text.size();
    std::string_view raw = text.substr(pos, eol - pos);
    pos = eol + 1;
    ++line_no;
    std::string_view line = base::trim_line_blanks(raw);
    if (state == State::Program) {
      if (line == "end") {
        if (rc_t rc = host_.DefineProgram(program_name, program_lines)) return rc;
        programs->push_back(program_name);
        state = State::After;
      } else {
        program_lines.emplace_back(raw.ends_with('\r') ? raw.substr(0, raw.size() - 1) : raw);
      }
      continue;
    }
    if (line.empty() || line[0] == '*' || line.starts_with("//")) continue;
    std::string_view rest = line;
    std::string_view word = NextWord(&rest);
    if (state == State::Before) {
      if (word == "version") continue;
      if (word != "class") return fail(4018, "class definition expected");
      std::string_view head = rest;
      if (!head.ends_with("{")) return fail(198, "{ required");
      head = base::trim_blanks(head.substr(0, head.size() - 1));
      size_t comma = head.find(',');
      std::string_view cname = base::trim_blanks(head.substr(0, comma));
      if (cname != name) return fail(4018, "file defines class " + std::string(cname) + ", not " + name);
      if (comma != std::string_view::npos) {
        std::string_view opt = base::trim_blanks(head.substr(comma + 1));
        if (!opt.starts_with("inherit(") || !opt.ends_with(")"))
          return fail(198, "option " + std::string(opt) + " not allowed");
        std::string_view supers = opt.substr(8, opt.size() - 9);
        while (true) {
          std::string_view super = NextWord(&supers);
          if (super.empty()) break;
          Key sct = kNullKey;
          if (rc_t rc = LoadClass(std::string(super), &sct)) return rc;
          // The superclass's instance layout comes first, so that a
          // subclass instance lines up with its superclass by position.
          Object* c = store_.Find(ct);
          Key proto_attribs = store_.Find(c->prototype)->attrib_array;
          Key super_attribs = store_.Find(store_.Find(sct)->prototype)->attrib_array;
          for (int i = 1; i <= store_.ArrayNels(super_attribs); ++i) {
            Key el = store_.ArrayGet(super_attribs, i);
            if (store_.ArrayFindName(proto_attribs, store_.Find(el)->name))
              return fail(4051, store_.Find(el)->name + " declared by two superclasses");
            Key copy = kNullKey;
            if (rc_t rc = Copy(el, &copy)) return rc;
            store_.ArrayPush(proto_attribs, copy);
          }
          store_.ArrayPush(c->inherits_array, sct);
          c = store_.Find(ct);
          c->num_inherits = store_.ArrayNels(c->inherits_array);
          Object* p = store_.Find(c->prototype);
          p->num_attribs = store_.ArrayNels(p->attrib_array);
        }
      }
      state = State::Body;
      continue;
    }
    if (state == State::Body) {
      if (line == "}") {
        state = State::After;
        continue;
      }
      if (IsSection(word, "classwide", 5) && rest.empty()) {
        classwide = true;
        continue;
      }
      if (IsSection(word, "instancespecific", 8) && rest.empty()) {
        classwide = false;
        continue;
      }
      if (word == "_cls") {
        if (rc_t rc = Command(rest)) return rc;
        continue;
      }
      Object* c = store_.Find(ct);
      Key array = classwide ? c->class_attrib_array : store_.Find(c->prototype)->attrib_array;
      if (rc_t rc = Declare(array, line)) return rc;
      c = store_.Find(ct);
      c->num_class_attribs = store_.ArrayNels(c->class_attrib_array);
      Object* p = store_.Find(c->prototype);
      p->num_attribs = store_.ArrayNels(p->attrib_array);
      continue;
    }
    // After the class: member programs.
    if (word != "program") return fail(4043, std::string(word) + " not allowed after the class definition");
    std::string_view pname = NextWord(&rest);
    if (pname == "define" || pname == "def" || pname == "de") pname = NextWord(&rest);
    if (!rest.empty() || !pname.starts_with(".") || !IsName(pname.substr(1)))
      return fail(198, "program .name required");
    pname.remove_prefix(1);
    Object* c = store_.Find(ct);
    if (store_.ArrayFindName(c->class_attrib_array, pname))
      return fail(4007, std::string(pname) + " already declared");
    program_name = name + "." + std::string(pname);
    program_lines.clear();
    Key code = store_.Make(TypeCode::Code, pname);
    store_.Find(code)->text = program_name;
    c = store_.Find(ct);
    store_.ArrayPush(c->class_attrib_array, code);
    c->num_class_attribs = store_.ArrayNels(c->class_attrib_array);
    state = State::Program;
  }
  if (state == State::Before) return fail(4018, "no class definition");
  if (state == State::Body) return fail(4042, "class definition not closed by }");
  if (state == State::Program) return fail(4042, "program ." + program_name + " not closed by end");
  return 0;
}

}  // namespace nuvra::cls
