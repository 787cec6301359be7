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

// The words a definition's record holds after the code header: the
// member count, then per member its eltype, organisation, and the two
// names as a word count followed by the NUL-padded bytes.
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
