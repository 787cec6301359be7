// The object store: keys, arrays as chains of nodes, the structural check.
#include "class/store.h"

#include <cstdio>

namespace nuvra::cls {

std::string_view TypeName(TypeCode t) {
  switch (t) {
    case TypeCode::Double: return "double";
    case TypeCode::String: return "string";
    case TypeCode::Instance: return "class";
    case TypeCode::Code: return "code";
    case TypeCode::KeyRef: return "key";
    case TypeCode::Array: return "array";
    case TypeCode::Classtype: return "classtype";
    case TypeCode::Attribute: return "attribute";
    case TypeCode::Context: return "context";
    case TypeCode::ArrayNode: return "array node";
    case TypeCode::Encoding: return "encoding";
    case TypeCode::TmpString: return "tmpstring";
    case TypeCode::Blob: return "blob";
  }
  return "unknown";
}

int Object::Length() const {
  switch (type) {
    case TypeCode::Double: return 8;
    case TypeCode::String:
    case TypeCode::Code:
    case TypeCode::TmpString:
    case TypeCode::Blob: return static_cast<int>(text.size());
    case TypeCode::KeyRef: return 4;
    case TypeCode::Instance: return 20;
    case TypeCode::Classtype: return 20;
    case TypeCode::Array: return 16;
    case TypeCode::ArrayNode: return static_cast<int>(4 * keys.size() + 4);
    case TypeCode::Context: return 4;
    default: return 0;
  }
}

void Object::Children(std::vector<Key>* out) const {
  auto add = [out](Key k) {
    if (k != kNullKey) out->push_back(k);
  };
  switch (type) {
    case TypeCode::KeyRef: add(target); break;
    case TypeCode::Instance:
      add(classtype);
      add(attrib_array);
      add(dynamic_array);
      break;
    case TypeCode::Classtype:
      add(prototype);
      add(inherits_array);
      add(class_attrib_array);
      break;
    case TypeCode::Array: add(node0); break;
    case TypeCode::ArrayNode:
      for (Key k : keys) add(k);
      add(next);
      break;
    case TypeCode::Context: add(array); break;
    default: break;
  }
}

Key ObjectStore::Make(TypeCode t, std::string_view name) {
  Key k = next_key_++;
  Object& o = objects_[k];
  o.type = t;
  o.name.assign(name);
  o.own_key = k;
  if (t == TypeCode::Context) {
    Key arr = Make(TypeCode::Array);
    objects_[k].array = arr;
  }
  return k;
}

Object* ObjectStore::Find(Key k) {
  auto it = objects_.find(k);
  return it == objects_.end() ? nullptr : &it->second;
}

const Object* ObjectStore::Find(Key k) const {
  auto it = objects_.find(k);
  return it == objects_.end() ? nullptr : &it->second;
}

Key ObjectStore::ArrayGet(Key array, int idx) const {
  const Object* a = Find(array);
  if (!a || a->type != TypeCode::Array || idx < 1 || idx > a->nels) return kNullKey;
  int pos = idx - 1;
  Key node = a->node0;
  while (node != kNullKey && pos >= a->keys_per_node) {
    node = Find(node)->next;
    pos -= a->keys_per_node;
  }
  const Object* n = Find(node);
  return n ? n->keys[static_cast<size_t>(pos)] : kNullKey;
}

void ObjectStore::ArraySet(Key array, int idx, Key value) {
  if (idx < 1) return;
  Object* a = Find(array);
  if (!a || a->type != TypeCode::Array) return;
  const int per = a->keys_per_node;
  // Grow the chain until it has room for idx.
  while (a->size < idx) {
    Key node = Make(TypeCode::ArrayNode);
    Find(node)->keys.assign(static_cast<size_t>(per), kNullKey);
    if (a->node0 == kNullKey) {
      a->node0 = node;
    } else {
      Key last = a->node0;
      while (Find(last)->next != kNullKey) last = Find(last)->next;
      Find(last)->next = node;
    }
    a->size += per;
  }
  int pos = idx - 1;
  Key node = a->node0;
  while (pos >= per) {
    node = Find(node)->next;
    pos -= per;
  }
  Find(node)->keys[static_cast<size_t>(pos)] = value;
  if (idx > a->nels) a->nels = idx;
}

int ObjectStore::ArrayNels(Key array) const {
  const Object* a = Find(array);
  return a && a->type == TypeCode::Array ? a->nels : 0;
}

Key ObjectStore::ArrayRemove(Key array, int idx) {
  int n = ArrayNels(array);
  if (idx < 1 || idx > n) return kNullKey;
  Key removed = ArrayGet(array, idx);
  for (int i = idx; i < n; ++i) ArraySet(array, i, ArrayGet(array, i + 1));
  ArraySet(array, n, kNullKey);
  Find(array)->nels = n - 1;
  return removed;
}

int ObjectStore::ArrayFindName(Key array, std::string_view name) const {
  int n = ArrayNels(array);
  for (int i = 1; i <= n; ++i) {
    const Object* o = Find(ArrayGet(array, i));
    if (o && o->name == name) return i;
  }
  return 0;
}

std::string ObjectStore::KeyName(Key k) { return "__key(" + KeyHex(k) + ")"; }

std::string ObjectStore::KeyHex(Key k) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%x", k);
  return buf;
}

size_t ObjectStore::ParseKeyName(std::string_view text, Key* out) {
  constexpr std::string_view kOpen = "__key(";
  if (!text.starts_with(kOpen)) return 0;
  size_t i = kOpen.size();
  uint64_t v = 0;
  size_t digits = 0;
  while (i < text.size() && digits < 9) {
    char c = text[i];
    int d = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10
                                           : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
    if (d < 0) break;
    v = v * 16 + static_cast<uint64_t>(d);
    ++i;
    ++digits;
  }
  if (digits == 0 || digits > 8 || i >= text.size() || text[i] != ')') return 0;
  *out = static_cast<Key>(v);
  return i + 1;
}

std::string ObjectStore::Check() const {
  char buf[160];
  for (const auto& [k, o] : objects_) {
    std::vector<Key> kids;
    o.Children(&kids);
    for (Key c : kids) {
      if (!Exists(c)) {
        std::snprintf(buf, sizeof buf, "object %x holds missing key %x", k, c);
        return buf;
      }
    }
    if (o.own_key != k) {
      std::snprintf(buf, sizeof buf, "object %x records own key %x", k, o.own_key);
      return buf;
    }
    if (o.type == TypeCode::Array) {
      int slots = 0;
      for (Key n = o.node0; n != kNullKey; n = Find(n)->next) {
        const Object* node = Find(n);
        if (!node || node->type != TypeCode::ArrayNode ||
            node->keys.size() != static_cast<size_t>(o.keys_per_node)) {
          std::snprintf(buf, sizeof buf, "array %x has a bad node %x", k, n);
          return buf;
        }
        slots += o.keys_per_node;
        if (slots > 1 << 28) return "array node chain loops";
      }
      if (slots != o.size || o.nels > o.size || o.nels < 0) {
        std::snprintf(buf, sizeof buf, "array %x: size %d, nels %d, %d slots", k, o.size,
                      o.nels, slots);
        return buf;
      }
    }
    if (o.type == TypeCode::Instance) {
      const Object* ct = Find(o.classtype);
      if (!ct || ct->type != TypeCode::Classtype) {
        std::snprintf(buf, sizeof buf, "instance %x has no classtype", k);
        return buf;
      }
      if (ArrayNels(o.attrib_array) != o.num_attribs ||
          ArrayNels(o.dynamic_array) != o.num_dynamics) {
        std::snprintf(buf, sizeof buf, "instance %x: attribute counts disagree", k);
        return buf;
      }
      const Object* proto = Find(ct->prototype);
      if (proto && proto->num_attribs != o.num_attribs) {
        std::snprintf(buf, sizeof buf, "instance %x: %d attributes, prototype %d", k,
                      o.num_attribs, proto->num_attribs);
        return buf;
      }
    }
    if (o.type == TypeCode::Classtype) {
      if (ArrayNels(o.inherits_array) != o.num_inherits ||
          ArrayNels(o.class_attrib_array) != o.num_class_attribs) {
        std::snprintf(buf, sizeof buf, "classtype %x: counts disagree", k);
        return buf;
      }
    }
  }
  return {};
}

}  // namespace nuvra::cls
