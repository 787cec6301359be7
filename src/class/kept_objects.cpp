// Objects kept for the session in the outermost context, whatever program
// is running when they are made.
#include "class/engine.h"

namespace nuvra::cls {

rc_t Engine::KeepTopLevel(const std::string& name, Key obj) {
  Key arr = ContextArray(0);
  int pos = store_.ArrayFindName(arr, name);
  if (pos) {
    Key old = store_.ArrayGet(arr, pos);
    const Object* o = store_.Find(old);
    if (!o || o->type != TypeCode::Instance || o->classtype != ClassOf(obj)) {
      dirty_ = true;
      Collect();  // `obj`, held by nothing, goes
      return 110;
    }
  } else {
    pos = store_.ArrayNels(arr) + 1;
  }
  store_.Find(obj)->name = name;
  store_.ArraySet(arr, pos, obj);
  dirty_ = true;
  Collect();
  return 0;
}

void Engine::DropTopLevel(Key obj) {
  auto it = contexts_.find(0);
  if (it != contexts_.end()) {
    Key arr = store_.Find(it->second)->array;
    int n = store_.ArrayNels(arr);
    for (int i = 1; i <= n; ++i)
      if (store_.ArrayGet(arr, i) == obj) {
        store_.ArrayRemove(arr, i);
        break;
      }
  }
  dirty_ = true;
  Collect();
}

std::vector<Key> Engine::OutermostObjects() const {
  std::vector<Key> out;
  auto it = contexts_.find(0);
  if (it == contexts_.end()) return out;
  Key arr = store_.Find(it->second)->array;
  int n = store_.ArrayNels(arr);
  for (int i = 1; i <= n; ++i) out.push_back(store_.ArrayGet(arr, i));
  return out;
}

}  // namespace nuvra::cls
