// The one dataset in memory: observations by variables, the data area that
// holds them, the variables' attributes and the flags kept beside them.
//
// Nothing here prints. Every operation that can fail returns a return code
// (0 success). Where the failure has a text of its own that names something
// ("myv ambiguous abbreviation"), the text is left in *msg (no trailing
// newline) when the caller passes a string; otherwise the caller prints the
// standard text for the code (900-903 and 1010 carry their explanations
// there). A failing operation leaves the dataset exactly as it was.
//
// Variable and observation numbers are 1-based throughout.
//
// The data area is one block reserved as address space of the set-memory
// size; the kernel commits pages on first touch. For the current allotted
// width w (even, at least 4):
//
//   N_curmax = (size - 16) / (w + 8)
//   [0, 4 N_curmax)        slot index table: slot of observation i at [i-1]
//   [4 N_curmax, 8 N_curmax) scratch table of the same shape (reordering)
//   records                 at the next 16-byte boundary; slot s occupies
//                           [s w, (s + 1) w); variable j at offset(j)
//
// Only the first nobs slot entries are ever written; the entries beyond
// nobs count as the identity and are written when observations are added.
// Observations always occupy slots 0 .. nobs-1 in some order.
//
// Hot loops read columns through Column (see column() below) rather than
// fetch(j, i): it holds the record base, the slot table and the stride, so a
// pass over a numeric column costs one slot load, one multiply-add and one
// unaligned load per value, with no call or allocation.
#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "data/characteristics.h"
#include "data/storage.h"
#include "data/value_labels.h"

namespace nuvra::data {

inline constexpr std::size_t kMaxNameLength = 32;
inline constexpr std::size_t kMaxFormatLength = 48;
inline constexpr std::size_t kMaxVarLabelLength = 80;
inline constexpr std::size_t kMaxDataLabelLength = 80;
inline constexpr int kDefaultMaxvar = 5000;
inline constexpr int kMinMaxvar = 2048;
inline constexpr int kMaxMaxvar = 32767;
// Reserving address space is free; pages are committed only when touched.
// Kept moderate all the same because the generous growth of the width on a
// long dataset can touch up to half of the area.
inline constexpr std::size_t kDefaultMemory = std::size_t{1} << 30;

// The name the system reserves for its own marker variable, and the hidden
// estimation-sample variable (a name no user can type).
inline constexpr std::string_view kReservedName = "_delete";
inline constexpr std::string_view kEsampleName = "(e)";

// Name validation: at most 32 bytes, no blank, none of
// \!@#$%^&*()-+=[]{}:;,'"~<>?/|. and a letter or '_' first. Returns 0 or
// 198 with "nothing found where name expected" (empty) or "%s invalid name".
rc_t validate_name(std::string_view name, std::string* msg = nullptr);
// The further rules a new variable name obeys (length, reserved words,
// str#); 0 or 198 with the message. Does not look at existing variables.
rc_t validate_new_varname(std::string_view name, std::string* msg = nullptr);

// "x was int now long": the line replace and compress print.
std::string promotion_line(std::string_view name, int old_type, int new_type);

namespace detail {
// Moves n records of len bytes from stride ow at ob to stride nw at nb
// within one block, in place (the repartition's record move).
void move_records(char* ob, std::size_t ow, char* nb, std::size_t nw, std::int64_t n, std::size_t len);
}  // namespace detail

// Called every 100 observations (at most every 10 ms) by long loops; returns
// true when a Break was requested.
using BreakPoll = std::function<bool()>;

// A number no other variable made in this process has had; a variable
// keeps it through renaming, recasting and reordering, so that whoever
// refers to a variable by number can tell when the number has come to
// mean another one.
std::uint64_t new_variable_id();

struct Variable {
  std::string name;
  std::uint8_t type = kDouble;
  std::uint32_t offset = 0;
  std::string format;
  std::string value_label;  // attached value-label name, empty if none
  std::string label;        // variable label, empty if none
  std::uint64_t id = new_variable_id();
};

struct MemoryInfo {
  std::int64_t nobs = 0;           // N_cur
  std::int64_t n_curmax = 0;       // N_curmax
  int nvar = 0;                    // k_cur (hidden variables included)
  std::uint32_t width = 0;         // w_cur, the allotted width
  std::uint32_t used_width = 0;    // sum of the variables' widths
  std::size_t total = 0;           // M_total, the set memory
  std::size_t data_bytes = 0;      // nobs * used width
  std::size_t pointer_bytes = 0;   // nobs * 8, the slot and scratch entries
  std::int64_t n_repart = 0;       // repartitions done
  std::int64_t n_shift = 0;        // records moved by them
};

// A column for hot loops. Rows are 0-based here (row = observation - 1).
//
//   Column c = ds.column(j);
//   for (std::int64_t r = 0; r < ds.nobs(); ++r) sum += c.fetch(r);
//
// or, knowing the type, c.raw<double>(r) (no missing translation). When
// ds.in_slot_order() holds, c.at(r) == c.base + r * c.stride.
// A Column stays valid until variables are added, dropped, reordered or
// recast, observations are added or dropped, or memory is reset.
struct Column {
  char* base = nullptr;                 // records + offset of the variable
  const std::uint32_t* slot = nullptr;  // slot index table
  std::size_t stride = 0;               // allotted width w
  int type = 0;

  char* at(std::int64_t r) const { return base + stride * slot[r]; }
  double fetch(std::int64_t r) const { return fetch_value(type, at(r)); }
  bool store(std::int64_t r, double v) const { return store_value(type, at(r), v); }
  template <class T>
  T raw(std::int64_t r) const {
    T v;
    std::memcpy(&v, at(r), sizeof v);
    return v;
  }
};

// Everything that makes up the data: the data area and its layout, the
// variables, labels, characteristics, sort list and flags. Kept as one
// struct so that Dataset::swap_contents exchanges it whole: a member added
// here cannot be left out of a swap.
struct DatasetContents {
  char* block_ = nullptr;
  std::size_t size_ = 0;
  bool mapped_ = false;
  std::uint32_t w_ = 4;
  std::int64_t ncurmax_ = 0;
  char* records_ = nullptr;
  std::uint32_t used_ = 0;

  std::vector<Variable> vars_;
  std::unordered_map<std::string, int> index_;  // name -> number, visible variables
  int nvar_visible_ = 0;
  bool has_esample_ = false;
  std::int64_t nobs_ = 0;
  std::string data_label_;
  std::vector<std::uint16_t> sort_list_;
  bool changed_ = false;
  bool has_temporaries_ = false;

  std::int64_t n_repart_ = 0;
  std::int64_t n_shift_ = 0;

  Characteristics chars_;
  ValueLabelStore labels_;
};

class Dataset : private DatasetContents {
 public:
  explicit Dataset(std::size_t memory_bytes = kDefaultMemory);
  ~Dataset();
  Dataset(const Dataset&) = delete;
  Dataset& operator=(const Dataset&) = delete;

  // ---- counts and attributes ------------------------------------------
  // Visible variables; the hidden `(e)` variable, when present, is number
  // nvar() + 1 and is counted by nvar_all() only.
  int nvar() const { return nvar_visible_; }
  int nvar_all() const { return static_cast<int>(vars_.size()); }
  std::int64_t nobs() const { return nobs_; }

  const Variable& var(int j) const { return vars_[j - 1]; }
  const std::string& name(int j) const { return vars_[j - 1].name; }
  int type(int j) const { return vars_[j - 1].type; }
  int width(int j) const { return type_width(vars_[j - 1].type); }
  std::uint32_t offset(int j) const { return vars_[j - 1].offset; }
  const std::string& format(int j) const { return vars_[j - 1].format; }
  const std::string& label(int j) const { return vars_[j - 1].label; }
  const std::string& value_label_name(int j) const { return vars_[j - 1].value_label; }
  bool is_string(int j) const { return is_string_type(vars_[j - 1].type); }

  // 120 when the format is empty, does not begin with '%' or exceeds 48
  // bytes; the grammar is checked by the format module before this.
  rc_t set_format(int j, std::string_view fmt);
  void set_label(int j, std::string_view text);  // cut to 80 bytes
  // Empty detaches; otherwise the name rules apply (198).
  rc_t set_value_label_name(int j, std::string_view name, std::string* msg = nullptr);

  const std::string& data_label() const { return data_label_; }
  void set_data_label(std::string_view text);  // cut to 80 bytes

  // Variables the data are known to be sorted by, in order; empty when the
  // order is unknown.
  const std::vector<std::uint16_t>& sort_list() const { return sort_list_; }
  void set_sort_list(const std::vector<int>& vars);
  // Room for a sort list of n variables, so that setting it after the
  // observations have moved allocates nothing.
  void reserve_sort_list(std::size_t n) { sort_list_.reserve(n); }
  void clear_sort_list() { sort_list_.clear(); }
  // Values of variable j changed in place: the data stay sorted by the
  // keys before j, but no longer by j or any key after it.
  void cut_sort_list_at(int j) {
    for (std::size_t k = 0; k < sort_list_.size(); ++k)
      if (sort_list_[k] == j) {
        sort_list_.resize(k);
        return;
      }
  }

  // Set by structural changes made here; the store functions leave it to
  // their callers (one mark per command, not per value).
  bool changed() const { return changed_; }
  void set_changed(bool on) { changed_ = on; }
  // A name beginning with two underscores was added since the last clear.
  bool has_temporaries() const { return has_temporaries_; }

  // ---- settings --------------------------------------------------------
  int maxvar() const { return maxvar_; }
  std::uint32_t max_width() const { return 12u * static_cast<std::uint32_t>(maxvar_); }
  // 198 outside 2048..32767 (caller prints "# must be between 2048 and
  // 32767"); 900 when fewer than the variables in memory; 1010 when the
  // allotted width would exceed the new maximum width.
  rc_t set_maxvar(int n);
  bool varabbrev() const { return varabbrev_; }
  void set_varabbrev(bool on) { varabbrev_ = on; }
  std::size_t memory() const { return size_; }
  // Moves the data to a new area of the given size. 901 when the current
  // observations would not fit at the current width, 950 when the area
  // cannot be reserved.
  rc_t set_memory(std::size_t bytes);

  // ---- the data area ---------------------------------------------------
  std::uint32_t allotted_width() const { return w_; }
  std::uint32_t used_width() const { return used_; }
  std::int64_t n_curmax() const { return ncurmax_; }
  MemoryInfo memory_info() const;

  // Slot index table (nobs valid entries) and scratch table (n_curmax
  // entries, contents undefined), for reordering observations. A reorder
  // must leave the first nobs slot entries a permutation of 0..nobs-1.
  std::uint32_t* slot_table() { return reinterpret_cast<std::uint32_t*>(block_); }
  const std::uint32_t* slot_table() const { return reinterpret_cast<const std::uint32_t*>(block_); }
  std::uint32_t* scratch_table() { return slot_table() + ncurmax_; }
  bool in_slot_order() const;
  // Moves the records so that observation i lies in slot i - 1, one record
  // buffer per cycle of the permutation. 950 if the buffer cannot be had.
  // `tick`, when given, is called after every few thousand records moved
  // (a long move keeps the windows answering).
  rc_t put_in_slot_order(const std::function<void()>& tick = {});

  // ---- values ----------------------------------------------------------
  double fetch(int j, std::int64_t i) const {
    return fetch_value(vars_[j - 1].type, value_ptr(j, i));
  }
  // Through store_value: out-of-range values become missing and the type
  // is never promoted; true when the value turned into a missing value.
  // Neither store marks the dataset changed.
  bool store(int j, std::int64_t i, double v) {
    return store_value(vars_[j - 1].type, value_ptr(j, i), v);
  }
  std::string fetch_str(int j, std::int64_t i) const {
    return fetch_string(value_ptr(j, i), vars_[j - 1].type);
  }
  void store_str(int j, std::int64_t i, std::string_view s) {
    store_string(value_ptr(j, i), vars_[j - 1].type, s);
  }
  // Whole records (used width bytes) through the slot index.
  void fetch_record(std::int64_t i, void* buf) const;
  void store_record(std::int64_t i, const void* buf);

  Column column(int j);
  const char* value_ptr(int j, std::int64_t i) const {
    return records_ + static_cast<std::size_t>(w_) * slot_table()[i - 1] + vars_[j - 1].offset;
  }
  char* value_ptr(int j, std::int64_t i) {
    return records_ + static_cast<std::size_t>(w_) * slot_table()[i - 1] + vars_[j - 1].offset;
  }

  // ---- variables -------------------------------------------------------
  // Exact name first, then (with varabbrev on) the unique variable whose
  // name begins with `name`. 111 with "variable %s not found" or "%s
  // ambiguous abbreviation"; 198 "nothing found where name expected" for
  // an empty name. Hidden variables are never found.
  rc_t find(std::string_view name, int* j, std::string* msg = nullptr) const;
  // Exact match only; 0 when absent.
  int find_exact(std::string_view name) const;
  // The visible variable with that identity (Variable::id), or 0.
  int find_by_id(std::uint64_t id) const;
  // The checks a new variable's name passes, in order: longer than 32
  // bytes "%s invalid varname"; the name rules; an existing variable of
  // that name "%s already defined" (110); a reserved word "%s invalid
  // varname"; str followed by a number "%s invalid variable name" (198).
  rc_t check_new_name(std::string_view name, std::string* msg = nullptr) const;

  // Appends a variable as number nvar() + 1 with the default format and
  // empty labels; all observations get `.` (or the empty string). Checks
  // the name rules (198), clashes (110, "%s already defined"), the width
  // (repartition: 901, 902, 1010) and the count (900).
  rc_t add_variable(std::string_view name, int type, int* j = nullptr, std::string* msg = nullptr);
  // The same for a caller that stores a value into every observation of
  // the new variable before anything reads it (generate without if or
  // in): the values are left as the data area holds them instead of being
  // set to `.` first, which would cost a pass over every record.
  rc_t add_variable_unfilled(std::string_view name, int type, int* j = nullptr, std::string* msg = nullptr);
  // The system's own marker variable `_delete`: no name rules, and one more
  // variable and the full width allowed. 110 when it exists already.
  rc_t add_reserved_variable(int type, int* j = nullptr);
  // Replaces the variables of an empty dataset (no variables, no
  // observations) with the given ones, offsets assigned in order; used by
  // the file reader, whose names and codes (legacy ones included) are taken
  // as they come. 198 for an unknown type code; repartition codes; 900.
  rc_t install_variables(std::vector<Variable> vars);

  // Drops the listed variables (any order, repeats ignored). Their
  // characteristics go with them; the sort list is cut at the first dropped
  // variable.
  rc_t drop_variables(const std::vector<int>& js);
  // Same name rules as add_variable; characteristics follow the variable.
  rc_t rename_variable(int j, std::string_view new_name, std::string* msg = nullptr);
  // new_order is a permutation of 1..nvar(); variable new_order[k] becomes
  // number k + 1. The records are rewritten so offsets stay in variable
  // order. 198 when new_order is not a permutation.
  rc_t reorder_variables(const std::vector<int>& new_order);

  // The hidden estimation-sample variable: 0 when absent, else its number.
  int esample_var() const { return has_esample_ ? nvar_all() : 0; }
  // Creates it (a byte, 0 in every observation) if absent.
  rc_t ensure_esample();
  void drop_esample();

  // ---- types -----------------------------------------------------------
  // The type a numeric variable of type t must take to hold v (replace's
  // promotion): float and double never change, missing v never changes.
  static int promoted_type(int t, double v);
  // Changes variable j to type t for all observations; 109 between string
  // and numeric; 1 (Break) leaves j and every value as they were (the
  // allotted width keeps any growth made for the copy). Repartition codes
  // and 900 when the temporary copy does not fit; the copy counts as the
  // system's own variable, so a dataset at maxvar - 1 variables can still
  // promote. Recasting to the same type does nothing.
  rc_t recast(int j, int t, const BreakPoll& poll = nullptr);
  // Promotes j if v needs it: *new_type receives the type j has afterwards.
  // Width failures are reported as 903.
  rc_t promote_for_value(int j, double v, int* new_type, const BreakPoll& poll = nullptr);
  // Number of observations whose value would change if j were recast to t
  // (numbers altered or turned missing, strings cut).
  std::int64_t count_lossy(int j, int t) const;
  // After loading an old file: every variable with a legacy code gets its
  // ordinary code, being recast to the next type when a value is beyond the
  // new largest non-missing value; float and double values at or above the
  // old missing thresholds become `.`.
  rc_t settle_legacy_variables(const BreakPoll& poll = nullptr);

  // ---- observations ----------------------------------------------------
  // Grows (new observations hold `.` and empty strings) or shrinks nobs.
  // Beyond N_curmax the width is narrowed if the variables allow; else 901.
  // 198 for a negative count; 950 when the area cannot be reserved.
  rc_t set_obs(std::int64_t n);
  // Keeps the observations whose keep[i - 1] is nonzero, in order.
  rc_t keep_observations(const std::vector<char>& keep);
  // Drops observations first..last (inclusive).
  rc_t drop_observations(std::int64_t first, std::int64_t last);

  // ---- loading from a file ---------------------------------------------
  // For the file reader, on a dataset whose variables were just installed
  // and that holds no observations yet: narrows the allotted width to the
  // used width (so that records can arrive in one piece), makes room for n
  // observations in slots 0 .. n-1 without writing them, and counts them
  // (nobs() is n until finish_load). 901 when they do not fit.
  rc_t prepare_load(std::int64_t n);
  // The record of slot s (0-based) while loading.
  char* load_slot(std::int64_t s) { return records_ + static_cast<std::size_t>(s) * w_; }
  // Ends a load: the first n slots hold the observations in order.
  void finish_load(std::int64_t n);
  // Exchanges everything that makes up the data (data area, variables,
  // labels, characteristics, sort list, flags) with another dataset; the
  // settings (maxvar, varabbrev) stay where they are.
  void swap_contents(Dataset& other);

  // Empties the dataset: no variables, no observations, labels,
  // characteristics and flags cleared; settings kept.
  void clear();

  // ---- the stores beside the data ------------------------------------
  // Changes made through chars() and value_labels() directly do not mark
  // the dataset changed; set_char does, and commands that define labels
  // call set_changed(true).
  Characteristics& chars() { return chars_; }
  const Characteristics& chars() const { return chars_; }
  ValueLabelStore& value_labels() { return labels_; }
  const ValueLabelStore& value_labels() const { return labels_; }
  // owner is `_dta` or an existing variable's exact name (111 otherwise).
  rc_t set_char(std::string_view owner, std::string_view name, std::string_view contents,
                std::string* msg = nullptr);

  // A hash of everything that makes the dataset what it is: the variables
  // with their attributes, and each observation's used bytes in
  // observation order. Lets commands (and tests) prove that a failure left
  // the data alone.
  std::uint64_t checksum() const;

  // Debug builds: aborts when the data area breaks its invariants (the
  // allotted width is even and at least 4, the used width fits it, the
  // variables' offsets ascend without overlap inside the used width,
  // N_curmax records fit the block, nobs <= N_curmax, and the first nobs
  // slot entries are a permutation of 0 .. nobs-1). Every operation that
  // changes the data area checks on its way out. Does nothing under NDEBUG.
  void check_invariants() const;

 private:
  struct Layout {
    std::uint32_t w = 0;
    std::int64_t ncurmax = 0;
    std::size_t records = 0;  // byte offset of the records in the block
  };
  Layout layout_for(std::uint32_t w) const;
  rc_t ensure_block();
  // Plans a width larger by need bytes (generous first, then exact).
  rc_t plan_widen(std::uint32_t need, Layout* out) const;
  rc_t check_layout(std::uint32_t w, Layout* out) const;
  void apply_layout(const Layout& l);
  void release_unused();
  // Width and count test for one more variable of width b.
  rc_t make_room(int b, bool reserved);
  rc_t append_variable(std::string_view name, int type, bool reserved, int* j, bool fill = true);
  using IndexNode = std::unordered_map<std::string, int>::node_type;
  // An index entry made before a change, so that entering it afterwards
  // allocates nothing and cannot fail half way.
  static IndexNode make_index_node(std::string_view name);
  // Rewrites every used record: segments {src, dst, len}.
  struct Segment {
    std::uint32_t src, dst, len;
  };
  rc_t remap_records(const std::vector<Segment>& segs, std::uint32_t new_used);
  std::vector<std::uint16_t> renumbered_sort_list(const std::vector<int>& old_to_new, bool cut_sort_list) const;
  std::unordered_map<std::string, int> renumbered_index(const std::vector<int>& old_to_new) const;
  void recompute_offsets();

  void rebuild_index();
  // Runs check_invariants() when the operation that made it returns.
  struct InvariantGuard {
    const Dataset& ds;
    ~InvariantGuard() { ds.check_invariants(); }
  };

  // The settings: they stay with the dataset object when its contents are
  // swapped. Everything else belongs in DatasetContents.
  int maxvar_ = kDefaultMaxvar;
  bool varabbrev_ = true;
};

}  // namespace nuvra::data
