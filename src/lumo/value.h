// Lumo values: the value record every datum lives in, its element
// encodings, the store of records with its free lists, copying with
// storage moves, release with the cycle guard, globals and functions.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "lumo/status.h"

namespace nuvra::lumo {

class Host;
class Values;
struct FunctionRecord;

// Where functions called but not defined come from.
class FunctionLoader {
 public:
  virtual ~FunctionLoader() = default;
  // The function stored under name, or null (nothing printed) when no
  // library holds it; a library that holds it but cannot be read prints
  // why and gives null.
  virtual FunctionRecord* Load(Values& values, std::string_view name) = 0;
};

// Kinds of the entries of the name table.
inline constexpr uint8_t kKindValue = 43;
inline constexpr uint8_t kKindFunction = 44;

// Run-time element types.
enum ElType : int16_t {
  kReal = 0,
  kComplex = -1,
  kUnknown = -2,
  kString = -3,
  kPointer = -4,
  kStruct = -5,
};

enum Representation : int8_t { kArray = 0, kView1 = 1, kView2 = 2 };

inline constexpr size_t kNameBytes = 34;

struct ValueRecord {
  void* data = nullptr;    // element block; never null for a live array
  uint32_t allocated = 0;  // bytes of the data block
  int32_t refcount = 0;    // stack slots, variables, pointer elements, the global table
  int32_t rows = 0;
  int32_t cols = 0;
  int32_t level = 0;  // -1 for a global; else the call level that made it
  int16_t eltype = kReal;
  int8_t representation = kArray;
  uint8_t inuse = 0;
  char name[kNameBytes] = {};  // empty for a temporary
  // The name-table entry's own fields: the kind, and where the record sits
  // in the table (so that freeing it is constant time).
  uint8_t kind = kKindValue;
  uint32_t table_index = 0;
  // For a structure instance, the definition it was built from (which it
  // holds a reference on).
  ValueRecord* structdef = nullptr;
  // For a view, the identity of each column's variable (see view.h).
  std::vector<uint64_t> view_ids;
};

// Compile-time element types and organisations.
enum CtEl : int8_t { kCtStructdef = -1, kCtTransmorphic = 0, kCtReal, kCtString, kCtComplex, kCtNumeric, kCtPointer, kCtStruct };
enum CtOrg : int8_t { kOrgMatrix = 0, kOrgScalar, kOrgVector, kOrgRowvector, kOrgColvector, kOrgVoid };
const char* ct_el_name(int el);
const char* ct_org_name(int org);

// A compiled function: a record of kind 44 whose data is its code.
struct FunctionRecord : ValueRecord {
  int8_t result_el = kCtTransmorphic;
  int8_t result_org = kOrgMatrix;
  bool autoloaded = false;
  bool adofunction = false;
  const int32_t* code() const { return static_cast<const int32_t*>(data); }
  size_t code_words() const { return allocated / 4; }
};

// A string element points to a block: a u32 holding length + 1, then the
// bytes.  A null pointer is the empty string.
struct StringRef {
  const char* bytes;
  uint32_t length;
};
inline StringRef string_of(const void* block) {
  if (!block) return {"", 0};
  const auto* b = static_cast<const unsigned char*>(block);
  uint32_t n;
  __builtin_memcpy(&n, b, 4);
  return {reinterpret_cast<const char*>(b + 4), n - 1};
}
// Bytewise on the common prefix, then by length: <0, 0 or >0.
int compare_strings(StringRef a, StringRef b);

// Width in bytes of one element of an eltype.
inline size_t element_width(int eltype) { return eltype == kComplex ? 16 : 8; }
const char* eltype_name(int eltype);
inline int64_t element_count(const ValueRecord* v) { return int64_t{v->rows} * v->cols; }
inline double* reals(ValueRecord* v) { return static_cast<double*>(v->data); }
inline const double* reals(const ValueRecord* v) { return static_cast<const double*>(v->data); }
inline void** slots(ValueRecord* v) { return static_cast<void**>(v->data); }
inline void* const* slots(const ValueRecord* v) { return static_cast<void* const*>(v->data); }
inline std::string_view record_name(const ValueRecord* v) {
  return v->name[0] ? std::string_view(v->name) : std::string_view("<tmp>");
}

// The value records and functions of one Lumo environment.
class Values {
 public:
  static constexpr size_t kMaxFreeBlocks = 250;
  static constexpr size_t kMaxFreeHeaders = 500;

  Values() = default;
  ~Values();
  Values(const Values&) = delete;
  Values& operator=(const Values&) = delete;

  // A new array record; null with 3900 and a message (take_error) on
  // failure.  Strings start empty, pointers and structs null; numbers are
  // not initialised.  A named record is a global (level -1); an unnamed one
  // a temporary of the current level with refcount 0.
  ValueRecord* NewValue(std::string_view name, int eltype, int32_t rows, int32_t cols);
  ValueRecord* NewGlobal(std::string_view name, int eltype, int32_t rows, int32_t cols);
  ValueRecord* NewScalar(double d);
  ValueRecord* NewScratch(size_t bytes);
  // A string block for the text, or null for the empty string; *ok false
  // when the block cannot be had.
  void* NewString(std::string_view text, bool* ok);

  // Gives v storage for rows x cols of eltype, releasing what its old
  // elements own; 0 or 3900.
  rc_t Reshape(ValueRecord* v, int eltype, int32_t rows, int32_t cols, int representation = kArray);
  // d receives the value of s (by moving s's storage when allowed and s
  // is a temporary that no one else holds); 0 or 3900.
  rc_t Copy(ValueRecord* d, ValueRecord* s, bool maysteal);
  static void Swap(ValueRecord* a, ValueRecord* b);
  // A new array temporary holding a view's cells as they are now; null
  // (message kept) when it cannot be had.
  ValueRecord* ReadView(const ValueRecord* view);
  static void AddRef(ValueRecord* v) { ++v->refcount; }
  // Drops one reference; frees the record when none remain.
  void Release(ValueRecord* v) {
    if (--v->refcount < 1) Free(v);
  }
  // Points element k of a pointer (or struct) array at target: the new
  // target gains its reference before the old one loses its own.
  void SetPointer(ValueRecord* v, int64_t k, ValueRecord* target);
  // Frees a record whatever its count (dropping it by name).
  void Free(ValueRecord* v);

  // Globals.
  ValueRecord* FindGlobal(std::string_view name) const;
  ValueRecord* crexternal(std::string_view name);
  bool rmexternal(std::string_view name);
  std::vector<std::string> direxternal() const;
  // Frees every value record that no one references.
  void Sweep();

  // Functions, by name.
  FunctionRecord* FindFunction(std::string_view name) const;
  // As FindFunction, but a function not defined is asked of the loader
  // (the libraries), which stores it when it has it.
  FunctionRecord* FindOrLoadFunction(std::string_view name);
  // Stores a function read from a library: flagged autoloaded, its code
  // counted in the autoloaded bytes.
  FunctionRecord* AddAutoloaded(std::string_view name, std::vector<int32_t> code, int8_t el, int8_t org);
  // Stores a new function of that name (the caller has checked that the
  // name is free); takes the code words.
  FunctionRecord* AddFunction(std::string_view name, std::vector<int32_t> code, int8_t el, int8_t org);
  // A function record for running once (an interactive statement): not
  // entered in the function name space.
  FunctionRecord* NewStatementFunction(std::string_view name, std::vector<int32_t> code);
  // Flags a stored function as loaded from a library, counting its code
  // among the autoloaded bytes.
  void MarkAutoloaded(FunctionRecord* f) {
    if (f->autoloaded) return;
    f->autoloaded = true;
    albytes_ += f->allocated;
  }
  void FreeFunction(FunctionRecord* f);
  bool DropFunction(std::string_view name);
  std::vector<const FunctionRecord*> functions() const;

  // Memory statistics.
  static size_t ValueBytes(const ValueRecord* v);
  // Each record costs this much beyond its own bytes in the name table.
  static constexpr size_t kRecordOverhead = 68;
  enum MemoryClass { kAutoloaded, kAdo, kDefined, kMatrices, kMemoryClasses };
  struct MemoryStats {
    size_t count[kMemoryClasses] = {};
    size_t bytes[kMemoryClasses] = {};
    size_t overhead = 0;
    size_t total_count = 0;
    size_t total_bytes = 0;  // every class's bytes and the overhead
  };
  MemoryStats Memory() const;
  size_t record_count() const { return live_.size(); }
  const std::vector<ValueRecord*>& records() const { return live_; }
  size_t free_blocks() const { return free_blocks_.size(); }
  size_t free_headers() const { return free_headers_.size(); }
  size_t autoloaded_bytes() const { return albytes_; }
  // The debugging listing of every record, the free-list counts and the
  // autoloaded byte count, which it checks against the functions (and
  // corrects when they disagree).
  std::string DumpSymbols();
  // Hands both free lists back to the allocator.
  void TrimFreeLists();

  // The largest block handed out (a request above it fails like one
  // the allocator refuses); the fuzz target lowers it.
  size_t block_limit = SIZE_MAX;

  // Where views read their cells; without one a view's cells are all
  // outside the dataset.
  Host* data_host = nullptr;
  // Set once any view has been made, so that the machine looks for views
  // among operands only in environments that use them.
  bool views_made = false;

  // Consulted for functions that are called but not defined (null: none).
  FunctionLoader* loader = nullptr;

  // The call level new temporaries belong to (the machine keeps it).
  int32_t level = -1;

  // The message of the last failed allocation ("" when none), and its
  // code: 3900, or the code of a view that can no longer be read.
  std::string take_error() { return std::move(error_); }
  rc_t take_error_code() { return std::exchange(error_code_, 3900); }
  void set_error(rc_t code, std::string message) {
    error_code_ = code;
    error_ = std::move(message);
  }

 private:
  ValueRecord* NewHeader(std::string_view name);
  void ReleaseHeader(ValueRecord* v);
  void* AllocBlock(size_t bytes);
  void FreeBlock(void* p, size_t bytes);
  void ReleaseElements(ValueRecord* v);
  bool AllocData(ValueRecord* v, int eltype, int32_t rows, int32_t cols, std::string_view name);

  std::vector<ValueRecord*> live_;  // kind-43 records in use
  std::vector<ValueRecord*> free_headers_;
  std::vector<void*> free_blocks_;
  // The last large block freed, kept for the next request of its size: a
  // matrix statement run in a loop makes and drops a result of the same
  // size each time, and a block fresh from the system costs a page fault
  // for every page on first use.
  static constexpr size_t kSpareMin = size_t{1} << 16, kSpareMax = size_t{1} << 26;
  void* spare_block_ = nullptr;
  size_t spare_bytes_ = 0;
  std::unordered_map<std::string, FunctionRecord*> functions_;
  size_t albytes_ = 0;
  std::string error_;
  rc_t error_code_ = 3900;
};

}  // namespace nuvra::lumo
