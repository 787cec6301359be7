// Built-ins over the global name space.
#include "lumo/builtins_external.h"

#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

#include "lumo/builtin_args.h"
#include "lumo/value.h"
#include "lumo/vm.h"

namespace nuvra::lumo {

namespace {

// A name a global may have: a letter or underscore, then letters, digits
// and underscores, short enough for the record's name field.
bool ValidName(std::string_view s) {
  if (s.empty() || s.size() >= kNameBytes - 2) return false;
  auto letter = [](char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_'; };
  if (!letter(s[0])) return false;
  for (char c : s)
    if (!letter(c) && !(c >= '0' && c <= '9')) return false;
  return true;
}

// The name argument (a string scalar); false after raising the error.
bool NameArg(Machine& m, ValueRecord* v, std::string* out) {
  if (!m.CheckMatrix(v) || !m.CheckString(v) || !m.CheckScalar(v)) return false;
  StringRef s = string_of(slots(v)[0]);
  out->assign(s.bytes, s.length);
  return true;
}

void Result(Machine& m, int n, ValueRecord* r) {
  if (!r) return m.RaiseAllocation();
  m.ReplaceTop(n, r);
}

// A 1 x 1 pointer to target (NULL when target is null).
void ReturnPointer(Machine& m, int n, ValueRecord* target) {
  ValueRecord* p = m.values().NewValue("", kPointer, 1, 1);
  if (p && target) m.values().SetPointer(p, 0, target);
  Result(m, n, p);
}

// * any run of characters, ? one character.
bool Matches(std::string_view pat, std::string_view s) {
  if (pat.empty()) return s.empty();
  if (pat[0] == '*') {
    for (size_t k = 0; k <= s.size(); ++k)
      if (Matches(pat.substr(1), s.substr(k))) return true;
    return false;
  }
  return !s.empty() && (pat[0] == '?' || pat[0] == s[0]) && Matches(pat.substr(1), s.substr(1));
}

}  // namespace

// crexternal(name): a new 0 x 0 real global, or NULL when one exists.
void BiCrexternal(Machine& m, int n) {
  std::string name;
  if (!NameArg(m, m.Top(0), &name)) return;
  if (!ValidName(name)) return m.RaiseError(3300, Machine::MessageFor(3300));
  if (m.values().FindGlobal(name)) return ReturnPointer(m, n, nullptr);
  ValueRecord* g = m.values().crexternal(name);
  if (!g) return m.RaiseAllocation();
  ReturnPointer(m, n, g);
}

// findexternal(name): the global, or for "name()" the function; NULL
// when there is none.
void BiFindexternal(Machine& m, int n) {
  std::string name;
  if (!NameArg(m, m.Top(0), &name)) return;
  bool function = name.size() > 2 && name.compare(name.size() - 2, 2, "()") == 0;
  std::string bare = function ? name.substr(0, name.size() - 2) : name;
  if (!ValidName(bare)) return m.RaiseError(3300, Machine::MessageFor(3300));
  ValueRecord* target = function ? m.values().FindFunction(bare) : m.values().FindGlobal(bare);
  ReturnPointer(m, n, target);
}

// rmexternal(name): the global is removed (nothing when there is none).
void BiRmexternal(Machine& m, int n) {
  std::string name;
  if (!NameArg(m, m.Top(0), &name)) return;
  if (!ValidName(name)) return m.RaiseError(3300, Machine::MessageFor(3300));
  m.values().rmexternal(name);
  Result(m, n, m.values().NewValue("", kReal, 0, 0));
}

// direxternal([pattern]): the names of the globals, sorted, as a column.
void BiDirexternal(Machine& m, int n) {
  std::string pattern = "*";
  if (n == 1 && !NameArg(m, m.Top(0), &pattern)) return;
  std::vector<std::string> names = m.values().direxternal();
  names.erase(std::remove_if(names.begin(), names.end(), [&](const std::string& s) { return !Matches(pattern, s); }),
              names.end());
  ValueRecord* r = m.values().NewValue("", kString, int32_t(names.size()), 1);
  if (!r) return m.RaiseAllocation();
  for (size_t k = 0; k < names.size(); ++k) {
    bool ok;
    slots(r)[k] = m.values().NewString(names[k], &ok);
    if (!ok) {
      m.values().Free(r);
      return m.RaiseAllocation();
    }
  }
  if (n == 0) m.PushNew(r);
  else Result(m, n, r);
}

// nameexternal(p): the name of the global or function p points to ("()"
// after a function's), or "" for anything else.
void BiNameexternal(Machine& m, int n) {
  ValueRecord* p = m.Top(0);
  if (!m.CheckMatrix(p)) return;
  if (p->eltype != kPointer) return m.FoundWhere(p, "pointer", 3257);
  if (!m.CheckScalar(p)) return;
  auto* t = static_cast<ValueRecord*>(slots(p)[0]);
  std::string name;
  if (t && t->kind == kKindFunction) name = std::string(t->name) + "()";
  else if (t && t->level == -1 && t->name[0] && m.values().FindGlobal(t->name) == t) name = t->name;
  BiReturnString(m, n, name);
}

// valofexternal(name): a copy of the global's value (a view's cells as they
// are now); J(0, 0, .) when there is no global of that name.
void BiValofexternal(Machine& m, int n) {
  std::string name;
  if (!NameArg(m, m.Top(0), &name)) return;
  if (!ValidName(name)) return m.RaiseError(3300, Machine::MessageFor(3300));
  ValueRecord* r = m.values().NewValue("", kReal, 0, 0);
  if (!r) return m.RaiseAllocation();
  if (ValueRecord* g = m.values().FindGlobal(name))
    if (rc_t rc = m.values().Copy(r, g, false)) {
      m.values().Free(r);
      return rc == 3900 ? m.RaiseAllocation() : (void)BiFail(m, rc);
    }
  Result(m, n, r);
}

}  // namespace nuvra::lumo
