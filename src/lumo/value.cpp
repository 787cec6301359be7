// Value records: allocation through the two free lists, reshaping,
// copying with storage moves, release with the cycle guard, globals and
// the function name space.
#include "lumo/value.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "lumo/host.h"
#include "lumo/view.h"

namespace nuvra::lumo {

const char* eltype_name(int eltype) {
  switch (eltype) {
    case kReal: return "real";
    case kComplex: return "complex";
    case kString: return "string";
    case kPointer: return "pointer";
    case kStruct: return "struct";
    default: return "unknown";
  }
}

const char* ct_el_name(int el) {
  static const char* const kNames[] = {"structdef", "transmorphic", "real", "string", "complex", "numeric", "pointer", "struct"};
  return el >= -1 && el <= 6 ? kNames[el + 1] : "?";
}

const char* ct_org_name(int org) {
  static const char* const kNames[] = {"matrix", "scalar", "vector", "rowvector", "colvector", "void"};
  return org >= 0 && org <= 5 ? kNames[org] : "?";
}

int compare_strings(StringRef a, StringRef b) {
  int c = std::memcmp(a.bytes, b.bytes, std::min(a.length, b.length));
  if (c != 0) return c;
  return a.length < b.length ? -1 : a.length > b.length ? 1 : 0;
}

Values::~Values() {
  for (auto& [name, f] : functions_) {
    std::free(f->data);
    delete f;
  }
  functions_.clear();
  // Records still alive at shutdown are freed without regard to counts;
  // pointer elements are not followed, since every record goes anyway.
  for (ValueRecord* v : live_) {
    if (v->eltype == kString && v->representation == kArray) {
      void** s = slots(v);
      for (int64_t k = 0; k < element_count(v); ++k) std::free(s[k]);
    }
    std::free(v->data);
    delete v;
  }
  live_.clear();
  TrimFreeLists();
}

void Values::TrimFreeLists() {
  for (void* p : free_blocks_) std::free(p);
  free_blocks_.clear();
  std::free(spare_block_);
  spare_block_ = nullptr;
  spare_bytes_ = 0;
  for (ValueRecord* v : free_headers_) delete v;
  free_headers_.clear();
}

ValueRecord* Values::NewHeader(std::string_view name) {
  ValueRecord* v;
  if (!free_headers_.empty()) {
    v = free_headers_.back();
    free_headers_.pop_back();
    *v = ValueRecord{};
  } else {
    v = new ValueRecord{};
  }
  v->inuse = 1;
  size_t n = std::min(name.size(), kNameBytes - 1);
  std::memcpy(v->name, name.data(), n);
  v->name[n] = 0;
  v->table_index = static_cast<uint32_t>(live_.size());
  live_.push_back(v);
  return v;
}

void Values::ReleaseHeader(ValueRecord* v) {
  uint32_t idx = v->table_index;
  live_[idx] = live_.back();
  live_[idx]->table_index = idx;
  live_.pop_back();
  v->inuse = 0;
  v->data = nullptr;
  v->view_ids = {};
  if (free_headers_.size() < kMaxFreeHeaders) free_headers_.push_back(v);
  else delete v;
}

void* Values::AllocBlock(size_t bytes) {
  if (bytes > block_limit) return nullptr;
  if (bytes == 8 && !free_blocks_.empty()) {
    void* p = free_blocks_.back();
    free_blocks_.pop_back();
    return p;
  }
  if (bytes == spare_bytes_ && spare_block_) {
    void* p = spare_block_;
    spare_block_ = nullptr;
    spare_bytes_ = 0;
    return p;
  }
  return std::malloc(bytes);
}

void Values::FreeBlock(void* p, size_t bytes) {
  if (!p) return;
  if (bytes == 8 && free_blocks_.size() < kMaxFreeBlocks) {
    free_blocks_.push_back(p);
  } else if (bytes >= kSpareMin && bytes <= kSpareMax) {
    std::free(spare_block_);
    spare_block_ = p;
    spare_bytes_ = bytes;
  } else {
    std::free(p);
  }
}

// Sets up v's data block for rows x cols of eltype; false (message kept)
// when the size overflows or the block cannot be had.
bool Values::AllocData(ValueRecord* v, int eltype, int32_t rows, int32_t cols, std::string_view name) {
  uint64_t width = element_width(eltype);
  uint64_t bytes = 0;
  bool overflow = rows < 0 || cols < 0;
  if (!overflow) {
    bytes = uint64_t(uint32_t(rows)) * uint32_t(cols) * width;
    overflow = bytes > UINT32_MAX;
  }
  void* block = nullptr;
  if (!overflow) {
    if (bytes == 0) bytes = 8;
    block = AllocBlock(bytes);
  }
  if (!block) {
    char buf[128];
    std::snprintf(buf, sizeof buf, "unable to allocate %s %s[%d,%d]", eltype_name(eltype),
                  name.empty() ? "<tmp>" : std::string(name).c_str(), rows, cols);
    error_ = buf;
    return false;
  }
  v->data = block;
  v->allocated = static_cast<uint32_t>(bytes);
  v->rows = rows;
  v->cols = cols;
  v->eltype = static_cast<int16_t>(eltype);
  v->representation = kArray;
  if (eltype == kString || eltype == kPointer || eltype == kStruct)
    std::memset(block, 0, bytes);
  return true;
}

ValueRecord* Values::NewValue(std::string_view name, int eltype, int32_t rows, int32_t cols) {
  ValueRecord* v = NewHeader(name);
  if (!AllocData(v, eltype, rows, cols, name)) {
    ReleaseHeader(v);
    return nullptr;
  }
  v->level = name.empty() ? level : -1;
  v->refcount = 0;
  return v;
}

ValueRecord* Values::NewGlobal(std::string_view name, int eltype, int32_t rows, int32_t cols) {
  ValueRecord* v = NewValue(name, eltype, rows, cols);
  if (v) {
    v->refcount = 1;
    v->level = -1;
  }
  return v;
}

ValueRecord* Values::NewScalar(double d) {
  ValueRecord* v = NewValue("", kReal, 1, 1);
  if (v) reals(v)[0] = d;
  return v;
}

ValueRecord* Values::NewScratch(size_t bytes) {
  if (bytes == 0) bytes = 8;
  ValueRecord* v = NewHeader("");
  void* block = bytes > UINT32_MAX ? nullptr : AllocBlock(bytes);
  if (!block) {
    error_ = "unable to allocate <tmp> of " + std::to_string(bytes) + " bytes";
    ReleaseHeader(v);
    return nullptr;
  }
  v->data = block;
  v->allocated = static_cast<uint32_t>(bytes);
  v->rows = v->cols = 1;
  v->eltype = kUnknown;
  v->level = level;
  return v;
}

void* Values::NewString(std::string_view text, bool* ok) {
  *ok = true;
  if (text.empty()) return nullptr;
  if (text.size() > UINT32_MAX - 8 || text.size() > block_limit) {
    *ok = false;
    error_ = "unable to allocate string";
    return nullptr;
  }
  auto* b = static_cast<unsigned char*>(std::calloc(text.size() + 5, 1));
  if (!b) {
    *ok = false;
    error_ = "unable to allocate string";
    return nullptr;
  }
  uint32_t n = static_cast<uint32_t>(text.size() + 1);
  std::memcpy(b, &n, 4);
  std::memcpy(b + 4, text.data(), text.size());
  return b;
}

// Frees the string blocks, or drops the references, that v's elements own.
void Values::ReleaseElements(ValueRecord* v) {
  if (v->representation != kArray || !v->data) return;
  int64_t n = element_count(v);
  if (v->eltype == kString) {
    void** s = slots(v);
    for (int64_t k = 0; k < n; ++k) {
      std::free(s[k]);
      s[k] = nullptr;
    }
  } else if (v->eltype == kPointer || v->eltype == kStruct) {
    // The guard: while the targets are released, v cannot reach a count
    // below 1 through a cycle that leads back to it.
    int32_t old = v->refcount;
    v->refcount = INT32_MAX;
    void** s = slots(v);
    for (int64_t k = 0; k < n; ++k) {
      auto* t = static_cast<ValueRecord*>(s[k]);
      s[k] = nullptr;
      if (t) Release(t);
    }
    int32_t removed = INT32_MAX - v->refcount;
    v->refcount = std::max(0, old - removed);
  }
}

void Values::Free(ValueRecord* v) {
  if (v->kind == kKindFunction) {
    FreeFunction(static_cast<FunctionRecord*>(v));
    return;
  }
  if (!v->inuse) return;
  ReleaseElements(v);
  FreeBlock(v->data, v->allocated);
  v->data = nullptr;
  ValueRecord* def = v->structdef;
  v->structdef = nullptr;
  ReleaseHeader(v);
  if (def) Release(def);
}

rc_t Values::Reshape(ValueRecord* v, int eltype, int32_t rows, int32_t cols, int representation) {
  ReleaseElements(v);
  uint64_t bytes;
  if (representation == kView1) bytes = 4 * (uint64_t(cols) + 1);
  else if (representation == kView2) bytes = 4 * (uint64_t(rows) + uint64_t(cols));
  else if (rows < 0 || cols < 0) return 3900;
  else bytes = uint64_t(uint32_t(rows)) * uint32_t(cols) * element_width(eltype);
  if (bytes > UINT32_MAX) return 3900;
  if (bytes == 0) bytes = 8;
  if (bytes != v->allocated || !v->data) {
    void* block = AllocBlock(bytes);
    if (!block) return 3900;
    FreeBlock(v->data, v->allocated);
    v->data = block;
    v->allocated = static_cast<uint32_t>(bytes);
  }
  v->rows = rows;
  v->cols = cols;
  v->eltype = static_cast<int16_t>(eltype);
  v->representation = static_cast<int8_t>(representation);
  v->view_ids.clear();
  if (eltype == kString || eltype == kPointer || eltype == kStruct) std::memset(v->data, 0, v->allocated);
  return 0;
}

void Values::Swap(ValueRecord* a, ValueRecord* b) {
  std::swap(a->data, b->data);
  std::swap(a->allocated, b->allocated);
  std::swap(a->rows, b->rows);
  std::swap(a->cols, b->cols);
  std::swap(a->representation, b->representation);
  std::swap(a->eltype, b->eltype);
  std::swap(a->view_ids, b->view_ids);
}

namespace {
// Stands in for the system when no dataset is attached: every view cell
// then lies outside the dataset.
class NoDataHost : public Host {
 public:
  void Print(Style, std::string_view) override {}
  bool PollBreak() override { return false; }
};
}  // namespace

ValueRecord* Values::ReadView(const ValueRecord* view) {
  static NoDataHost none;
  return ViewToArray(*this, data_host ? *data_host : none, view);
}

rc_t Values::Copy(ValueRecord* d, ValueRecord* s, bool maysteal) {
  if (s->representation != kArray) {
    // The cells are read once, into an array, which then becomes d's
    // value (a view copied onto itself turns into an array in place).
    ValueRecord* a = ReadView(s);
    if (!a) return take_error_code();
    a->refcount = 1;
    Swap(d, a);
    Free(a);
    return 0;
  }
  if (d == s) return 0;
  if (s->representation == kArray && maysteal && s->refcount == 1) {
    Swap(d, s);
    return 0;
  }
  if (!(d->representation == kArray && d->rows == s->rows && d->cols == s->cols && d->eltype == s->eltype)) {
    if (rc_t rc = Reshape(d, s->eltype, s->rows, s->cols, kArray)) return rc;
  } else {
    ReleaseElements(d);
  }
  int64_t n = element_count(s);
  if (s->eltype == kReal || s->eltype == kComplex || s->eltype == kUnknown) {
    size_t bytes = s->eltype == kUnknown ? std::min(s->allocated, d->allocated) : size_t(n) * element_width(s->eltype);
    if (bytes) std::memcpy(d->data, s->data, bytes);
    return 0;
  }
  void** ds = slots(d);
  void* const* ss = slots(s);
  if (s->eltype == kString) {
    for (int64_t k = 0; k < n; ++k) {
      bool ok;
      ds[k] = NewString(std::string_view(string_of(ss[k]).bytes, string_of(ss[k]).length), &ok);
      if (!ok) return 3900;
    }
    return 0;
  }
  for (int64_t k = 0; k < n; ++k) {
    ds[k] = ss[k];
    if (ds[k]) AddRef(static_cast<ValueRecord*>(ds[k]));
  }
  return 0;
}

void Values::SetPointer(ValueRecord* v, int64_t k, ValueRecord* target) {
  auto* old = static_cast<ValueRecord*>(slots(v)[k]);
  if (target) AddRef(target);
  slots(v)[k] = target;
  if (old) Release(old);
}

ValueRecord* Values::FindGlobal(std::string_view name) const {
  for (ValueRecord* v : live_)
    if (v->inuse && v->level == -1 && name == v->name) return v;
  return nullptr;
}

ValueRecord* Values::crexternal(std::string_view name) {
  if (FindGlobal(name)) return nullptr;
  return NewGlobal(name, kReal, 0, 0);
}

bool Values::rmexternal(std::string_view name) {
  ValueRecord* v = FindGlobal(name);
  if (!v) return false;
  // The global table gives up its reference; a record that something else
  // still holds becomes an ordinary temporary of that holder.
  v->name[0] = 0;
  v->level = 0;
  Release(v);
  return true;
}

std::vector<std::string> Values::direxternal() const {
  std::vector<std::string> out;
  for (ValueRecord* v : live_)
    if (v->level == -1 && v->name[0]) out.emplace_back(v->name);
  std::sort(out.begin(), out.end());
  return out;
}

void Values::Sweep() {
  // Freeing one record can free others (the targets of its pointers), so
  // the walk starts again after each one.
  for (bool again = true; again;) {
    again = false;
    for (size_t k = live_.size(); k-- > 0;) {
      if (live_[k]->refcount < 1) {
        Free(live_[k]);
        again = true;
        break;
      }
    }
  }
}

FunctionRecord* Values::FindFunction(std::string_view name) const {
  auto it = functions_.find(std::string(name));
  return it == functions_.end() ? nullptr : it->second;
}

static FunctionRecord* MakeFunction(std::string_view name, std::vector<int32_t>& code) {
  auto* f = new FunctionRecord{};
  f->kind = kKindFunction;
  f->inuse = 1;
  f->level = -1;
  size_t n = std::min(name.size(), kNameBytes - 1);
  std::memcpy(f->name, name.data(), n);
  size_t bytes = std::max<size_t>(code.size() * 4, 4);
  f->data = std::malloc(bytes);
  if (!f->data) {
    delete f;
    return nullptr;
  }
  if (!code.empty()) std::memcpy(f->data, code.data(), code.size() * 4);
  f->allocated = static_cast<uint32_t>(code.size() * 4);
  f->rows = f->cols = 1;
  return f;
}

FunctionRecord* Values::AddFunction(std::string_view name, std::vector<int32_t> code, int8_t el, int8_t org) {
  FunctionRecord* f = MakeFunction(name, code);
  if (!f) return nullptr;
  f->refcount = 1;
  f->result_el = el;
  f->result_org = org;
  functions_[std::string(name)] = f;
  return f;
}

FunctionRecord* Values::FindOrLoadFunction(std::string_view name) {
  if (FunctionRecord* f = FindFunction(name)) return f;
  return loader ? loader->Load(*this, name) : nullptr;
}

FunctionRecord* Values::AddAutoloaded(std::string_view name, std::vector<int32_t> code, int8_t el, int8_t org) {
  FunctionRecord* f = AddFunction(name, std::move(code), el, org);
  if (!f) return nullptr;
  f->autoloaded = true;
  albytes_ += f->allocated;
  return f;
}

FunctionRecord* Values::NewStatementFunction(std::string_view name, std::vector<int32_t> code) {
  FunctionRecord* f = MakeFunction(name, code);
  if (f) f->refcount = 0;
  return f;
}

void Values::FreeFunction(FunctionRecord* f) {
  auto it = functions_.find(f->name);
  if (it != functions_.end() && it->second == f) functions_.erase(it);
  if (f->autoloaded) albytes_ -= f->allocated;
  std::free(f->data);
  delete f;
}

bool Values::DropFunction(std::string_view name) {
  FunctionRecord* f = FindFunction(name);
  if (!f) return false;
  functions_.erase(std::string(name));
  Release(f);
  return true;
}

std::vector<const FunctionRecord*> Values::functions() const {
  std::vector<const FunctionRecord*> out;
  for (auto& [n, f] : functions_) out.push_back(f);
  std::sort(out.begin(), out.end(), [](auto* a, auto* b) { return std::strcmp(a->name, b->name) < 0; });
  return out;
}

size_t Values::ValueBytes(const ValueRecord* v) {
  size_t n = v->allocated;
  if (v->eltype == kString && v->representation == kArray)
    for (int64_t k = 0; k < element_count(v); ++k) n += string_of(slots(v)[k]).length;
  return n;
}

Values::MemoryStats Values::Memory() const {
  MemoryStats st;
  for (const auto& [name, f] : functions_) {
    MemoryClass c = f->autoloaded ? kAutoloaded : f->adofunction ? kAdo : kDefined;
    ++st.count[c];
    st.bytes[c] += f->allocated;
  }
  for (const ValueRecord* v : live_) {
    ++st.count[kMatrices];
    st.bytes[kMatrices] += ValueBytes(v);
  }
  for (int c = 0; c < kMemoryClasses; ++c) {
    st.total_count += st.count[c];
    st.total_bytes += st.bytes[c];
  }
  st.overhead = kRecordOverhead * st.total_count;
  st.total_bytes += st.overhead;
  return st;
}

}  // namespace nuvra::lumo
