// Structure definitions: encoding of the member list, and instances.
#include "lumo/structdef.h"

#include <cstring>

#include "data/missing.h"
#include "lumo/compiler.h"

namespace nuvra::lumo {

namespace {

// A name entry: the tag, a word counting itself and the bytes, then the
// NUL-padded bytes.
void PutName(std::vector<int32_t>& w, std::string_view s) {
  size_t n = (s.size() + 4) / 4;  // room for the NUL
  w.push_back(kStructEntryName);
  w.push_back(int32_t(n + 1));
  size_t at = w.size();
  w.resize(at + n, 0);
  std::memcpy(&w[at], s.data(), s.size());
}

bool GetName(const int32_t* w, size_t words, size_t* pc, std::string* out) {
  if (*pc + 2 > words || w[*pc] != kStructEntryName || w[*pc + 1] < 1) return false;
  size_t n = size_t(w[*pc + 1]) - 1;
  if (n > words - *pc - 2) return false;
  const char* b = reinterpret_cast<const char*>(w + *pc + 2);
  *out = std::string(b, strnlen(b, n * 4));
  *pc += 2 + n;
  return true;
}

}  // namespace

std::vector<int32_t> EncodeMembers(const std::vector<MemberDecl>& members) {
  std::vector<int32_t> w;
  w.push_back(kStructMarker);
  w.push_back(int32_t(members.size()));
  for (const MemberDecl& m : members) {
    w.push_back(kStructEntryType);
    w.push_back(m.el);
    w.push_back(m.org);
    PutName(w, m.name);
    PutName(w, m.struct_name);
  }
  w.push_back(kStructEntryEnd);
  return w;
}

std::vector<MemberDecl> DecodeMembers(const FunctionRecord* def) {
  std::vector<MemberDecl> out;
  const int32_t* w = def->code();
  size_t words = def->code_words();
  size_t pc = kCodeHeaderWords;
  if (pc + 2 > words || w[pc] != kStructMarker) return out;
  int32_t n = w[pc + 1];
  pc += 2;
  for (int32_t k = 0; k < n; ++k) {
    MemberDecl m;
    if (pc + 3 > words || w[pc] != kStructEntryType) return {};
    m.el = int8_t(w[pc + 1]);
    m.org = int8_t(w[pc + 2]);
    pc += 3;
    if (!GetName(w, words, &pc, &m.name) || !GetName(w, words, &pc, &m.struct_name)) return {};
    out.push_back(std::move(m));
  }
  return out;
}

int MemberIndex(const FunctionRecord* def, std::string_view name) {
  std::vector<MemberDecl> members = DecodeMembers(def);
  for (size_t k = 0; k < members.size(); ++k)
    if (members[k].name == name) return int(k);
  return -1;
}

namespace {

ValueRecord* Build(Values& values, FunctionRecord* def, int depth, rc_t* code, std::string* message);

bool Fail(rc_t c, std::string msg, rc_t* code, std::string* message) {
  *code = c;
  *message = std::move(msg);
  return false;
}

// The value of one member, by its declaration.
ValueRecord* MemberValue(Values& values, const MemberDecl& m, int depth, rc_t* code, std::string* message) {
  int32_t rows = 0, cols = 0;
  switch (m.org) {
    case kOrgScalar: rows = cols = 1; break;
    case kOrgVector:
    case kOrgRowvector: rows = 1; break;
    case kOrgColvector: cols = 1; break;
    case kOrgMatrix: break;
    default: Fail(3999, "", code, message); return nullptr;
  }
  int eltype;
  switch (m.el) {
    case kCtTransmorphic:
    case kCtReal:
    case kCtNumeric: eltype = kReal; break;
    case kCtComplex: eltype = kComplex; break;
    case kCtString: eltype = kString; break;
    case kCtPointer: eltype = kPointer; break;
    case kCtStruct: eltype = kStruct; break;
    default: Fail(3999, "", code, message); return nullptr;
  }
  ValueRecord* v = values.NewValue("", eltype, rows, cols);
  if (!v) {
    Fail(3900, values.take_error(), code, message);
    return nullptr;
  }
  if (rows == 1 && cols == 1) {
    if (eltype == kReal) reals(v)[0] = data::kMissing;
    if (eltype == kComplex) reals(v)[0] = reals(v)[1] = data::kMissing;
    if (eltype == kStruct) {
      FunctionRecord* sub = values.FindOrLoadFunction(m.struct_name);
      if (!sub || !IsStructDef(sub)) {
        values.Free(v);
        Fail(3499, sub ? m.struct_name + "() not struct definition" : "struct " + m.struct_name + " not found", code, message);
        return nullptr;
      }
      ValueRecord* inst = Build(values, sub, depth + 1, code, message);
      if (!inst) {
        values.Free(v);
        return nullptr;
      }
      values.SetPointer(v, 0, inst);
    }
  }
  return v;
}

ValueRecord* Build(Values& values, FunctionRecord* def, int depth, rc_t* code, std::string* message) {
  if (depth > kMaxStructNesting) {
    Fail(3304, "struct nested too deeply", code, message);
    return nullptr;
  }
  std::vector<MemberDecl> members = DecodeMembers(def);
  ValueRecord* inst = values.NewValue("", kPointer, int32_t(members.size()), 1);
  if (!inst) {
    Fail(3900, values.take_error(), code, message);
    return nullptr;
  }
  inst->structdef = def;
  ++def->refcount;
  // Held while the members are built, so that a failure frees it whole.
  ++inst->refcount;
  for (size_t k = 0; k < members.size(); ++k) {
    ValueRecord* m = MemberValue(values, members[k], depth, code, message);
    if (!m) {
      values.Release(inst);
      return nullptr;
    }
    values.SetPointer(inst, int64_t(k), m);
  }
  --inst->refcount;
  return inst;
}

}  // namespace

ValueRecord* NewInstance(Values& values, FunctionRecord* def, rc_t* code, std::string* message) {
  return Build(values, def, 1, code, message);
}

ValueRecord* NewStructScalar(Values& values, FunctionRecord* def, rc_t* code, std::string* message) {
  ValueRecord* inst = NewInstance(values, def, code, message);
  if (!inst) return nullptr;
  ValueRecord* v = values.NewValue("", kStruct, 1, 1);
  if (!v) {
    values.Free(inst);
    Fail(3900, values.take_error(), code, message);
    return nullptr;
  }
  values.SetPointer(v, 0, inst);
  return v;
}

}  // namespace nuvra::lumo
