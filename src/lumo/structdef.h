// Structure definitions: the member list a definition keeps in its
// function record, and the building of instances from it.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "lumo/value.h"

namespace nuvra::lumo {

// One declared member: its name, compile-time eltype and organisation,
// and for a struct member the name of its structure.
struct MemberDecl {
  std::string name;
  int8_t el = kCtTransmorphic;
  int8_t org = kOrgMatrix;
  std::string struct_name;
};

// The words a definition's record holds after the code header: a marker,
// the member count, then entries, each a tag word and its operands.  Per
// member: a type entry (eltype, organisation), then two name entries (the
// member's name and, for a struct member, its structure's); an end entry
// closes the list.  Entry 1 (five words) is part of the format that
// libraries carry but is not written here.
inline constexpr int32_t kStructMarker = 139;
enum StructEntry : int32_t { kStructEntryType = 0, kStructEntryWide = 1, kStructEntryName = 2, kStructEntryEnd = 3 };
std::vector<int32_t> EncodeMembers(const std::vector<MemberDecl>& members);
// The members of a definition record (empty when the words are damaged).
std::vector<MemberDecl> DecodeMembers(const FunctionRecord* def);
// Index of the named member, or -1.
int MemberIndex(const FunctionRecord* def, std::string_view name);
inline bool IsStructDef(const ValueRecord* v) {
  return v && v->kind == kKindFunction && static_cast<const FunctionRecord*>(v)->result_el == kCtStructdef;
}

// Deepest nesting of scalar structure members an instance may have.
inline constexpr int kMaxStructNesting = 500;

}  // namespace nuvra::lumo

namespace nuvra::lumo {

// A new instance of def: a pointer column with one element per member,
// each member built by its declared organisation and eltype (a scalar
// struct member holding a new instance of its own, recursively).  Null
// on failure with *code (3304 too deep, 3499 an unknown structure, 3900
// no memory, 3999 a member type that cannot be built) and *message.
ValueRecord* NewInstance(Values& values, FunctionRecord* def, rc_t* code, std::string* message);
// A 1 x 1 struct value holding a new instance of def; as NewInstance.
ValueRecord* NewStructScalar(Values& values, FunctionRecord* def, rc_t* code, std::string* message);

}  // namespace nuvra::lumo
