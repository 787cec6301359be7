// The debugging dump of the name table: one line per value record and
// function, the free-list counts, and the check of the running count of
// autoloaded code bytes.
#include <cstdio>
#include <string>

#include "lumo/value.h"

namespace nuvra::lumo {

namespace {

// The name's hashed look-up key (FNV-1a over its bytes).
uint32_t NameKey(const char* name) {
  uint32_t h = 2166136261u;
  for (const char* p = name; *p; ++p) h = (h ^ static_cast<unsigned char>(*p)) * 16777619u;
  return h;
}

// al: the kind; key: the name's hash; ukey: the place in the table; len:
// bytes of the data block; typ: eltype (for a function its result's
// compile-time eltype); lvl: level; u1, u2: rows and cols; cu2: the
// representation; cu3: inuse; lc: the reference count.
void DumpLine(std::string* out, const ValueRecord* v, int typ) {
  char buf[160];
  std::snprintf(buf, sizeof buf, "%2d ", v->kind);
  *out += buf;
  std::snprintf(buf, sizeof buf, "%8x %8x ", NameKey(v->name), v->table_index);
  *out += buf;
  std::string quoted = "\"" + std::string(v->name) + "\"";
  std::snprintf(buf, sizeof buf, "%-14s %8d %3d %3d %6d %6d %3d %3d %3d\n", quoted.c_str(), int(v->allocated), typ,
                v->level, v->rows, v->cols, v->representation, v->inuse, v->refcount);
  *out += buf;
}

}  // namespace

std::string Values::DumpSymbols() {
  std::string out = "al      key     ukey  name               len typ lvl     u1     u2 cu2 cu3  lc\n";
  for (const ValueRecord* v : live_) DumpLine(&out, v, v->eltype);
  size_t actual = 0;
  for (const FunctionRecord* f : functions()) {
    DumpLine(&out, f, f->result_el);
    if (f->autoloaded) actual += f->allocated;
  }
  char buf[96];
  std::snprintf(buf, sizeof buf, "%d scalars free\n%d headers free\n", int(free_blocks_.size()), int(free_headers_.size()));
  out += buf;
  if (actual == albytes_) {
    std::snprintf(buf, sizeof buf, "m_albytes = %d verified\n", int(albytes_));
  } else {
    std::snprintf(buf, sizeof buf, "m_albytes = %d  actual = %d; reset\n", int(albytes_), int(actual));
    albytes_ = actual;
  }
  out += buf;
  return out;
}

}  // namespace nuvra::lumo
