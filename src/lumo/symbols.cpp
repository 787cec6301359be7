// Type table, literal pools and local symbols of one compilation.
#include "lumo/symbols.h"

#include <cstring>

#include "lumo/value.h"

namespace nuvra::lumo {

void CompileFail(Host& host, std::string_view message) {
  host.Print(Style::Error, message);
  throw CompileAbort{};
}

int TypeTable::Add(TypeEntry e) {
  if (entries_.size() >= kMaxEntries) CompileFail(host_, "no room to add more types\n");
  entries_.push_back(e);
  return static_cast<int>(entries_.size() - 1);
}

int TypeTable::Plain(int el, int org, bool isfunction) {
  for (size_t k = 0; k < entries_.size(); ++k) {
    const TypeEntry& e = entries_[k];
    if (e.el == el && e.org == org && e.isfunction == isfunction && el != kCtPointer && el != kCtStruct && el != kCtStructdef)
      return static_cast<int>(k);
  }
  return Add(TypeEntry{int8_t(el), int8_t(org), uint8_t(isfunction), -1, -1});
}

int TypeTable::Pointer(int org, bool isfunction, int target) {
  if (target >= 0) {
    for (size_t k = 0; k < entries_.size(); ++k) {
      const TypeEntry& e = entries_[k];
      if (e.el == kCtPointer && e.org == org && e.isfunction == isfunction && e.to == target) return int(k);
    }
    return Add(TypeEntry{kCtPointer, int8_t(org), uint8_t(isfunction), target, -1});
  }
  int plain = Plain(kCtTransmorphic, kOrgMatrix);
  return Add(TypeEntry{kCtPointer, int8_t(org), uint8_t(isfunction), plain, -1});
}

int TypeTable::Struct(std::string_view name, int org, bool isfunction) {
  int offset = -1;
  for (size_t p = 0; p < pool_.size(); p += std::strlen(pool_.c_str() + p) + 1)
    if (name == pool_.c_str() + p) offset = int(p);
  if (offset < 0) {
    if (pool_.size() + name.size() + 1 >= kPoolBytes) CompileFail(host_, "no room to record more structure names\n");
    offset = int(pool_.size());
    pool_.append(name);
    pool_.push_back('\0');
  }
  for (size_t k = 0; k < entries_.size(); ++k) {
    const TypeEntry& e = entries_[k];
    if (e.el == kCtStruct && e.name == offset && e.org == org && e.isfunction == isfunction) return int(k);
  }
  return Add(TypeEntry{kCtStruct, int8_t(org), uint8_t(isfunction), -1, offset});
}

bool TypeTable::Same(int a, int b, bool full) const {
  if (a == b) return true;
  const TypeEntry& x = entries_[a];
  const TypeEntry& y = entries_[b];
  if (x.el != y.el) return false;
  if (full && (x.org != y.org || x.isfunction != y.isfunction)) return false;
  if (x.el == kCtPointer) return Same(x.to, y.to, true);
  if (x.el == kCtStruct || x.el == kCtStructdef) return x.name == y.name;
  return true;
}

std::string TypeTable::Describe(int k) const {
  const TypeEntry& e = entries_[k];
  std::string s = ct_el_name(e.el);
  if (e.el == kCtStruct && e.name >= 0) s += std::string(" ") + (pool_.c_str() + e.name);
  s += " ";
  s += ct_org_name(e.org);
  if (e.isfunction) s += " function";
  return s;
}

std::string TypeTable::Dump() const {
  std::string out = "Type table:\n";
  char buf[64];
  for (size_t k = 0; k < entries_.size(); ++k) {
    const TypeEntry& e = entries_[k];
    std::snprintf(buf, sizeof buf, "%d. el=%d org=%d", int(k), e.el, e.org);
    out += buf;
    if (e.el == kCtPointer) {
      std::snprintf(buf, sizeof buf, " to=%d\n", e.to);
      out += buf;
    } else if ((e.el == kCtStruct || e.el == kCtStructdef) && e.name >= 0) {
      out += std::string(" name=|") + (pool_.c_str() + e.name) + "|\n";
    } else {
      out += "\n";
    }
  }
  return out + "end type table\n";
}

int LiteralPool::Double(double d) {
  for (size_t k = 0; k < doubles_.size(); ++k)
    if (std::memcmp(&doubles_[k], &d, sizeof d) == 0) return int(k);
  if (doubles_.size() >= kMaxDoubles) CompileFail(host_, "no room to add more double literals\n");
  doubles_.push_back(d);
  return int(doubles_.size() - 1);
}

int LiteralPool::String(std::string s) {
  for (size_t k = 0; k < strings_.size(); ++k)
    if (strings_[k] == s) return int(k);
  if (strings_.size() >= kMaxStrings) CompileFail(host_, "too many string literals\n");
  strings_.push_back(std::move(s));
  return int(strings_.size() - 1);
}

int LocalSymbols::Add(std::string_view name, SymClass cls, int kind, int type, bool declared) {
  int k = Find(name);
  if (k >= 0) {
    if (declared && syms_[k].declared) CompileFail(host_, "symbol " + std::string(name) + " multiply defined\n");
    return k;
  }
  if (syms_.size() >= kMaxSymbols) CompileFail(host_, "no room to add more symbols\n");
  LocalSymbol s;
  s.name = std::string(name);
  s.cls = cls;
  s.kind = int8_t(kind);
  s.type = type;
  s.declared = declared;
  syms_.push_back(std::move(s));
  return int(syms_.size() - 1);
}

int LocalSymbols::Find(std::string_view name) const {
  for (size_t k = 0; k < syms_.size(); ++k)
    if (syms_[k].name == name) return int(k);
  return -1;
}

}  // namespace nuvra::lumo
