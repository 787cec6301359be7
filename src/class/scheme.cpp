// Reading scheme files and looking styles up in them.
#include "class/scheme.h"

#include "base/text.h"

namespace nuvra::cls {

namespace {

bool IsStyleName(std::string_view s) {
  if (s.empty() || s.size() > 32 || (s[0] >= '0' && s[0] <= '9')) return false;
  for (char c : s)
    if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_'))
      return false;
  return true;
}

// An attribute: names joined by dots.
bool IsAttributePath(std::string_view s) {
  while (true) {
    size_t dot = s.find('.');
    if (!IsStyleName(s.substr(0, dot))) return false;
    if (dot == std::string_view::npos) return true;
    s.remove_prefix(dot + 1);
  }
}

std::string_view NextWord(std::string_view* s) {
  *s = base::trim_blanks(*s);
  size_t n = 0;
  while (n < s->size() && !base::is_blank((*s)[n])) ++n;
  std::string_view w = s->substr(0, n);
  *s = base::trim_blanks(s->substr(n));
  return w;
}

void SetEntry(StyleDef* def, const std::string& attribute, std::string value) {
  for (StyleEntry& e : def->entries) {
    if (e.attribute == attribute) {
      e.value = std::move(value);
      return;
    }
  }
  def->entries.push_back({attribute, std::move(value)});
}

}  // namespace

const std::string* StyleDef::Find(std::string_view attribute) const {
  for (const StyleEntry& e : entries)
    if (e.attribute == attribute) return &e.value;
  return nullptr;
}

const StyleDef* Scheme::FindStyle(std::string_view cls, std::string_view style) const {
  auto it = classes.find(cls);
  if (it == classes.end()) return nullptr;
  for (const StyleDef& d : it->second)
    if (d.name == style) return &d;
  return nullptr;
}

std::vector<std::string> Scheme::StyleNames(std::string_view cls) const {
  std::vector<std::string> names;
  auto it = classes.find(cls);
  if (it != classes.end())
    for (const StyleDef& d : it->second) names.push_back(d.name);
  return names;
}

const std::string* Scheme::Lookup(std::string_view cls, std::string_view style,
                                  std::string_view attribute) const {
  const StyleDef* d = FindStyle(cls, style);
  return d ? d->Find(attribute) : nullptr;
}

std::string SchemeFileName(std::string_view name) {
  return "scheme-" + std::string(name) + ".scheme";
}

rc_t ParseScheme(std::string_view text,
                 const std::function<rc_t(const std::string&, const Scheme**)>& load_parent,
                 Scheme* out, std::string* error) {
  *out = Scheme();
  error->clear();
  int line_no = 0;
  bool named = false;
  StyleDef* open = nullptr;
  auto fail = [&](const std::string& what) {
    *error = what + " (line " + std::to_string(line_no) + ")";
    return rc_t{198};
  };
  size_t pos = 0;
  while (pos < text.size()) {
    size_t eol = text.find('\n', pos);
    if (eol == std::string_view::npos) eol = text.size();
    std::string_view line = base::trim_line_blanks(text.substr(pos, eol - pos));
    pos = eol + 1;
    ++line_no;
    if (line.empty() || line[0] == '*') continue;
    std::string_view rest = line;
    if (open) {
      if (line == "}") {
        open = nullptr;
        continue;
      }
      std::string attribute(NextWord(&rest));
      if (!IsAttributePath(attribute)) return fail(attribute + " invalid attribute name");
      if (rest.empty()) return fail("value required after " + attribute);
      std::string_view value = rest;
      if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
        value = value.substr(1, value.size() - 2);
      SetEntry(open, attribute, std::string(value));
      continue;
    }
    std::string_view word = NextWord(&rest);
    if (!named) {
      if (word != "scheme") return fail("scheme NAME expected");
      std::string_view head = rest;
      size_t comma = head.find(',');
      std::string_view name = base::trim_blanks(head.substr(0, comma));
      if (!IsStyleName(name)) return fail("scheme name required");
      if (comma != std::string_view::npos) {
        std::string_view opt = base::trim_blanks(head.substr(comma + 1));
        if (!opt.starts_with("inherit(") || !opt.ends_with(")"))
          return fail("option " + std::string(opt) + " not allowed");
        std::string parent(base::trim_blanks(opt.substr(8, opt.size() - 9)));
        if (!IsStyleName(parent)) return fail("inherit() requires one scheme name");
        const Scheme* p = nullptr;
        if (rc_t rc = load_parent(parent, &p)) {
          *error = "scheme " + parent + " could not be read (line " + std::to_string(line_no) + ")";
          return rc;
        }
        out->classes = p->classes;
        out->parent = parent;
      }
      out->name.assign(name);
      named = true;
      continue;
    }
    if (word != "style") return fail(std::string(word) + " not allowed; style CLASS NAME { expected");
    std::string cls(NextWord(&rest));
    std::string style(NextWord(&rest));
    if (!IsStyleName(cls) || !IsStyleName(style) || rest != "{")
      return fail("style CLASS NAME { expected");
    std::vector<StyleDef>& styles = out->classes[cls];
    for (StyleDef& d : styles)
      if (d.name == style) open = &d;
    if (!open) {
      styles.push_back({style, {}});
      open = &styles.back();
    }
  }
  if (!named) return fail("scheme NAME expected");
  if (open) return fail("style " + open->name + " not closed by }");
  return 0;
}

}  // namespace nuvra::cls
