// The object store of the class system: every object (number, string,
// instance, member program, reference, array, classtype, context...) is an
// entry under an unsigned key, written in hexadecimal.  Key 0 is the null
// key: an empty slot, a missing member.
#pragma once
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace nuvra::cls {

using Key = uint32_t;
inline constexpr Key kNullKey = 0;

enum class TypeCode : uint8_t {
  Double = 1,
  String = 2,
  Instance = 3,
  Code = 4,       // a member program; `text` is the program's name
  KeyRef = 5,     // a reference made by `.ref`; `target` is the object reached
  Array = 6,
  Classtype = 7,
  Attribute = 8,
  Context = 9,    // `array` holds the top-level objects of one program context
  ArrayNode = 10,
  Encoding = 11,
  TmpString = 12,
  Blob = 13,
};

// The word `objtype` and describe give for a type code.
std::string_view TypeName(TypeCode t);

// Elements per array node.
inline constexpr int kKeysPerNode = 8;

struct Object {
  TypeCode type = TypeCode::Double;
  std::string name;  // own name: attribute names in prototypes and class arrays
  Key own_key = kNullKey;
  // Double and String (and Code: the program name; Blob: the bytes).
  double num = 0;
  std::string text;
  // KeyRef.
  Key target = kNullKey;
  // Instance: classtype, positional attributes, attributes added at run time.
  Key classtype = kNullKey;
  Key attrib_array = kNullKey;
  Key dynamic_array = kNullKey;
  int num_attribs = 0;
  int num_dynamics = 0;
  // Classtype (its name is the class name).
  Key prototype = kNullKey;
  Key inherits_array = kNullKey;
  Key class_attrib_array = kNullKey;
  int num_inherits = 0;
  int num_class_attribs = 0;
  // Array: elements live in a chain of nodes of keys_per_node keys each.
  int keys_per_node = kKeysPerNode;
  int size = 0;  // slots in the chain
  int nels = 0;  // elements in use, 1..nels
  Key node0 = kNullKey;
  // ArrayNode.
  std::vector<Key> keys;
  Key next = kNullKey;
  // Context: the array of its named top-level objects.
  Key array = kNullKey;
  // Bookkeeping of the collector: the destructor has been run.
  bool destructed = false;

  // Bytes of data the entry carries (describe's `length`).
  int Length() const;
  // The keys this object holds and so keeps alive, references included.
  void Children(std::vector<Key>* out) const;
};

class ObjectStore {
 public:
  // A new object of type `t`; arrays and contexts come with their nodes.
  Key Make(TypeCode t, std::string_view name = {});
  Object* Find(Key k);
  const Object* Find(Key k) const;
  bool Exists(Key k) const { return objects_.count(k) != 0; }
  // Removes one entry (not what it holds).
  void Erase(Key k) { objects_.erase(k); }
  size_t Count() const { return objects_.size(); }
  const std::map<Key, Object>& All() const { return objects_; }

  // Arrays: elements 1..nels; an element past nels is the null key.
  Key ArrayGet(Key array, int idx) const;
  // Sets element idx (1-based), growing the chain and nels as needed.
  void ArraySet(Key array, int idx, Key value);
  int ArrayNels(Key array) const;
  void ArrayPush(Key array, Key value) { ArraySet(array, ArrayNels(array) + 1, value); }
  // Removes element idx, moving the later ones down; returns it.
  Key ArrayRemove(Key array, int idx);
  // Position (1-based) of the element whose object has `name`, or 0.
  int ArrayFindName(Key array, std::string_view name) const;

  // "__key(%x)".
  static std::string KeyName(Key k);
  // The key alone, in hexadecimal, as the listings show it.
  static std::string KeyHex(Key k);
  // Reads "__key(hex)" at the start of `text`; returns the characters used, 0 if none.
  static size_t ParseKeyName(std::string_view text, Key* out);

  // Every structural rule of the store holds: nodes chained and sized as
  // their arrays say, every key held names an object, instances as long as
  // their prototypes.  Returns an empty text, or what is wrong.
  std::string Check() const;

 private:
  std::map<Key, Object> objects_;
  Key next_key_ = 1;
};

}  // namespace nuvra::cls
