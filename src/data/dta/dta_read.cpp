// The dataset file reader: every accepted format, either byte order, the
// whole file or a subset of variables and observations.
#include "data/dta/dta_read.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <map>
#include <unordered_set>

#include "data/dta/dta_layout.h"
#include "data/dta/read_file.h"
#include "data/expr/sample.h"
#include "data/format.h"
#include "data/varlist.h"

namespace nuvra::dta {

namespace {

using data::Dataset;

// Largest single read. Records arrive straight in the data area; calls of
// this size cost a small fraction of the copy itself, where 16 KB calls add
// about 40% to the kernel's time on an 800 MB file.
constexpr std::uint64_t kReadChunk = std::uint64_t{1} << 20;

// Reverses a field of the width of U in place.
template <class U>
inline void swap_bytes_at(std::uint8_t* p) {
  U v;
  std::memcpy(&v, p, sizeof v);
  if constexpr (sizeof v == 2) v = __builtin_bswap16(v);
  else if constexpr (sizeof v == 4) v = __builtin_bswap32(v);
  else v = __builtin_bswap64(v);
  std::memcpy(p, &v, sizeof v);
}

// Reverses one numeric field of a HILO file in place.
inline void swap_field(std::uint8_t* p, std::uint32_t len) {
  switch (len) {
    case 2: swap_bytes_at<std::uint16_t>(p); break;
    case 4: swap_bytes_at<std::uint32_t>(p); break;
    case 8: swap_bytes_at<std::uint64_t>(p); break;
    default: reverse_bytes(p, static_cast<int>(len));
  }
}

// The bytes of the file, from a descriptor or from memory. Every read
// states how much it needs; asking for more than the file still holds is
// the caller's short-file error, never a read past the end.
class Input {
 public:
  Input(int fd, std::uint64_t size) : fd_(fd), size_(size) {}
  Input(const std::uint8_t* mem, std::uint64_t size) : mem_(mem), size_(size) {}

  std::uint64_t remaining() const { return size_ - pos_; }

  // 0, 612 when the file ends first, 692 when the system refuses.
  rc_t read(void* dst, std::uint64_t n) {
    if (n > remaining()) return 612;
    if (mem_) {
      if (n) std::memcpy(dst, mem_ + pos_, n);
      pos_ += n;
      return 0;
    }
    auto* p = static_cast<char*>(dst);
    while (n > 0) {
      ssize_t k = ::read(fd_, p, static_cast<std::size_t>(std::min(kReadChunk, n)));
      if (k < 0 && errno == EINTR) continue;
      if (k < 0) return 692;
      if (k == 0) return 612;  // the file shrank under us
      p += k;
      n -= static_cast<std::uint64_t>(k);
      pos_ += static_cast<std::uint64_t>(k);
    }
    return 0;
  }

  rc_t skip(std::uint64_t n) {
    if (n > remaining()) return 612;
    if (!mem_ && n > 0 && ::lseek(fd_, static_cast<off_t>(n), SEEK_CUR) < 0) return 692;
    pos_ += n;
    return 0;
  }

 private:
  int fd_ = -1;
  const std::uint8_t* mem_ = nullptr;
  std::uint64_t size_ = 0;
  std::uint64_t pos_ = 0;
};

// Text of a fixed field: up to the first zero, never past the field.
std::string field_text(const std::uint8_t* p, std::size_t width) {
  const void* z = std::memchr(p, 0, width);
  std::size_t n = z ? static_cast<std::size_t>(static_cast<const std::uint8_t*>(z) - p) : width;
  return std::string(reinterpret_cast<const char*>(p), n);
}

struct Header {
  int format = 0;
  bool hilo = false;
  int filetype = 0;
  int nvar = 0;
  std::int64_t nobs = 0;
  std::string label;
  std::string stamp;
};

rc_t read_header(Input& in, const FileLayout& l, Header* h) {
  std::uint8_t b[kHeaderSize] = {};
  b[0] = static_cast<std::uint8_t>(l.format);
  // Anything short of a whole header is not a file of ours.
  if (in.read(b + 1, l.header - 1)) return 610;
  h->format = l.format;
  std::size_t label_at;
  if (!l.has_byteorder) {  // 102
    h->hilo = false;
    h->filetype = get16(b + 2, false);
    h->nvar = get16(b + 4, false);
    h->nobs = get16(b + 6, false);
    label_at = 8;
  } else {
    if (b[1] != kHilo && b[1] != kLohi) return 610;
    h->hilo = b[1] == kHilo;
    h->filetype = b[2];
    h->nvar = get16(b + 4, h->hilo);
    h->nobs = static_cast<std::int32_t>(get32(b + 6, h->hilo));
    label_at = 10;
  }
  h->label = field_text(b + label_at, l.data_label - 1);
  if (l.has_time_stamp) {
    const std::uint8_t* ts = b + label_at + l.data_label;
    if (ts[kTimeStampSize - 1] != 0) return 610;
    h->stamp = field_text(ts, kTimeStampSize - 1);
  }
  if (h->filetype != 1) return 609;
  if (h->nobs < 0) return 688;
  return 0;
}

// Old files allowed `.` in names; each becomes the first character of this
// list that gives a name not yet taken.
// Observations a file without variables may claim.
constexpr std::int64_t kMaxEmptyRecords = 1000000;

constexpr std::string_view kDotReplacements = "_1234567890ABCDEFGHIJKLMNOPQRSTUVWXYZ";

bool is_esample_slot(const std::vector<data::Variable>& vars, std::size_t k) {
  return k + 1 == vars.size() && vars[k].name == data::kEsampleName && vars[k].type == data::kByte;
}

// The value-label tables that follow the data.
class LabelReader {
 public:
  LabelReader(Input& in, const FileLayout& l, bool hilo, data::ValueLabelStore* store, LoadResult* res)
      : in_(in), l_(l), hilo_(hilo), store_(store), res_(res) {}

  rc_t run() {
    rc_t rc = l_.labels == LabelForm::kOldest ? oldest() : tables();
    if (rc) return rc;
    if (dropped_)
      note("{p 0 4}The maximum length of labels in this version of Nuvra is 32000; ", "",
           "the value labels named above were not loaded.{p_end}\n");
    return 0;
  }

 private:
  void note(std::string before, std::string user, std::string after) {
    res_->notes.push_back({std::move(before), std::move(user), std::move(after)});
  }

  // Stores a table unless one of that name is defined; a table with a text
  // beyond the limit is dropped with its paragraph.
  rc_t keep(const std::string& name, data::ValueLabel table) {
    if (data::validate_name(name)) return 688;
    if (store_->exists(name)) {
      note("(label ", name, " already defined)\n");
      return 0;
    }
    if (table.longest_text() > kMaxLabelTextLoaded) {
      note("{p 0 4}value label ", name, " contains labels longer than 32000 characters{p_end}\n");
      dropped_ = true;
      return 0;
    }
    if (store_->put(name, std::move(table))) {
      note("above message refers to value label ", name, "; value label not loaded\n");
    }
    return 0;
  }

  // 12-byte head (16-bit n, 10-byte name), n 16-bit values, n 8-byte texts,
  // to the end of the file.
  rc_t oldest() {
    while (in_.remaining() > 0) {
      std::uint8_t head[12];
      if (rc_t rc = in_.read(head, sizeof head)) return rc;
      int n = get16(head, hilo_);
      std::string name = field_text(head + 2, 9);
      if (static_cast<std::uint64_t>(n) * 10 > in_.remaining()) return 612;
      std::vector<std::uint8_t> body(static_cast<std::size_t>(n) * 10);
      if (rc_t rc = in_.read(body.data(), body.size())) return rc;
      std::map<std::int32_t, std::string> entries;
      for (int k = 0; k < n; ++k) {
        auto v = static_cast<std::int16_t>(get16(body.data() + 2 * k, hilo_));
        entries[v] = field_text(body.data() + 2 * static_cast<std::size_t>(n) + 8 * static_cast<std::size_t>(k), 8);
      }
      data::ValueLabel t;
      if (data::ValueLabel::encode(entries, &t)) return 950;
      if (rc_t rc = keep(name, std::move(t))) return rc;
    }
    return 0;
  }

  // len, the name block, then the table as held in memory.
  rc_t tables() {
    const std::size_t name_block = l_.name + 3;
    for (;;) {
      std::uint8_t lenb[4];
      if (in_.remaining() < 4) return 0;  // the sequence ends with the file
      if (rc_t rc = in_.read(lenb, 4)) return rc;
      auto len = static_cast<std::int32_t>(get32(lenb, hilo_));
      if (len < 1) return 0;
      if (static_cast<std::uint64_t>(len) + name_block > in_.remaining()) return 612;
      std::uint8_t nb[kNameSize + 3];
      if (rc_t rc = in_.read(nb, name_block)) return rc;
      std::string name = field_text(nb, l_.name - 1);
      std::vector<std::uint8_t> table(static_cast<std::size_t>(len));
      if (rc_t rc = in_.read(table.data(), table.size())) return rc;
      if (len < 8) return 688;
      std::uint32_t n = get32(table.data(), hilo_);
      std::uint32_t txtlen = get32(table.data() + 4, hilo_);
      if (n > static_cast<std::uint32_t>(len) / 8 ||
          std::uint64_t{8} + std::uint64_t{8} * n + txtlen != static_cast<std::uint64_t>(len))
        return 688;
      if (hilo_)
        for (std::uint64_t k = 0; k < 2 + 2 * std::uint64_t{n}; ++k) reverse_bytes(table.data() + 4 * k, 4);
      data::ValueLabel t;
      if (data::ValueLabel::from_block(table.data(), table.size(), &t)) return 688;
      if (rc_t rc = keep(name, std::move(t))) return rc;
    }
  }

  Input& in_;
  const FileLayout& l_;
  bool hilo_;
  data::ValueLabelStore* store_;
  LoadResult* res_;
  bool dropped_ = false;
};

// One piece of a record: bytes [src, src + len) of the file's record go
// to [dst, dst + len) of the dataset's; numeric fields are reversed in a
// HILO file.
struct Piece {
  std::uint32_t src, dst, len;
  bool swap;
};

class Loader {
 public:
  Loader(expr::Env& env, Input& in, const LoadOptions& opt, Dataset* fresh, LoadResult* res, int* newer)
      : env_(env), in_(in), opt_(opt), ds_(*fresh), res_(res), newer_(newer) {}

  rc_t run() {
    std::uint8_t first = 0;
    if (in_.read(&first, 1)) return 610;
    if (!layout_of(first, &l_)) {
      if ((first == 115 || first == 116) && newer_) *newer_ = first;
      return 610;
    }
    Header h;
    if (rc_t rc = read_header(in_, l_, &h)) return rc;
    res_->format = h.format;
    res_->hilo = hilo_ = h.hilo;
    res_->file_nobs = h.nobs;
    res_->time_stamp = h.stamp;
    if (h.nvar > ds_.maxvar()) return 900;
    nvar_ = h.nvar;
    if (rc_t rc = read_descriptors()) return rc;
    if (rc_t rc = read_expansion()) return rc;
    if (!h.label.empty()) res_->notes.insert(res_->notes.begin(), LoadNote{"(", h.label, ")\n"});
    ds_.set_data_label(h.label);
    if (opt_.descriptors_only) {
      nobs_ = h.nobs;
      return 0;
    }
    if (rc_t rc = read_data(h.nobs)) return rc;
    if (!opt_.nolabel) {
      LabelReader lr(in_, l_, hilo_, &ds_.value_labels(), res_);
      if (rc_t rc = lr.run()) return rc;
    }
    return settle();
  }

  std::int64_t nobs() const { return nobs_; }

 private:
  void note(std::string before, std::string user, std::string after) {
    res_->notes.push_back({std::move(before), std::move(user), std::move(after)});
  }

  rc_t read_descriptors() {
    const std::size_t nv = static_cast<std::size_t>(nvar_);
    if (descriptor_bytes(l_, nv) > in_.remaining()) return 612;
    std::vector<std::uint8_t> b(descriptor_bytes(l_, nv));
    if (rc_t rc = in_.read(b.data(), b.size())) return rc;
    const std::uint8_t* typ = b.data();
    const std::uint8_t* names = typ + nv;
    const std::uint8_t* srt = names + nv * l_.name;
    const std::uint8_t* fmts = srt + (nv + 1) * 2;
    const std::uint8_t* lbls = fmts + nv * l_.fmt;
    const std::uint8_t* vlabs = lbls + nv * l_.name;

    file_vars_.resize(nv);
    for (std::size_t k = 0; k < nv; ++k) {
      auto& v = file_vars_[k];
      int t = l_.letter_types ? type_from_letter(typ[k]) : typ[k];
      if (!data::is_valid_type(t) || data::is_legacy_type(t)) return 688;
      if (l_.legacy_missing && data::is_numeric_type(t)) t -= 5;  // the legacy-coded variant
      v.type = static_cast<std::uint8_t>(t);
      v.name = field_text(names + k * l_.name, l_.name - 1);
      std::string f = field_text(fmts + k * l_.fmt, l_.fmt - 1);
      data::Format parsed;
      if (!data::parse_format(f, &parsed, true) || !data::valid_for_type(parsed, data::is_string_type(t)))
        f = data::default_format(t);
      v.format = f;
      std::string vl = field_text(lbls + k * l_.name, l_.name - 1);
      v.value_label = data::validate_name(vl) ? std::string() : vl;
      v.label = field_text(vlabs + k * l_.var_label, std::min(l_.var_label, data::kMaxVarLabelLength + 1) - 1);
    }
    for (std::size_t k = 0; k <= nv; ++k) {
      int j = get16(srt + 2 * k, hilo_);
      if (j == 0 || j > nvar_) break;
      sort_.push_back(j);
    }
    if (l_.format <= 106) rename_dotted();
    std::unordered_set<std::string> seen;
    for (std::size_t k = 0; k < nv; ++k) {
      const std::string& n = file_vars_[k].name;
      if (data::validate_name(n) && !is_esample_slot(file_vars_, k)) return 688;
      if (!seen.insert(n).second) return 688;
    }
    return choose_variables();
  }

  void rename_dotted() {
    std::unordered_set<std::string> taken;
    for (const auto& v : file_vars_) taken.insert(v.name);
    for (auto& v : file_vars_) {
      if (v.name.find('.') == std::string::npos) continue;
      for (char c : kDotReplacements) {
        std::string n = v.name;
        std::replace(n.begin(), n.end(), '.', c);
        if (taken.count(n)) continue;
        note("Warning:  renamed ", v.name, "");
        note(" to ", n, "\n");
        taken.insert(n);
        v.name = n;
        break;
      }
    }
  }

  // The variables to load (all, or the varlist read against the file's
  // variables, kept in file order) and the pieces that copy them.
  rc_t choose_variables() {
    keep_.assign(file_vars_.size(), 1);
    if (!opt_.varlist_text.empty()) {
      // The names are looked up in a dataset of the file's variables and
      // no observations (no data area is touched).
      Dataset names(ds_.memory());
      names.set_maxvar(ds_.maxvar());
      names.set_varabbrev(ds_.varabbrev());
      std::vector<data::Variable> vs = file_vars_;
      for (auto& v : vs) v.type = static_cast<std::uint8_t>(data::modern_type(v.type));
      if (rc_t rc = names.install_variables(vs)) return rc;
      std::vector<int> picked;
      data::VarlistFailure fail;
      if (rc_t rc = data::read_varlist(names, opt_.varlist_text, &picked, &fail)) {
        env_.report_quoting("", fail.message, "\n", rc);
        res_printed_ = true;
        return rc;
      }
      std::fill(keep_.begin(), keep_.end(), 0);
      for (int j : picked) keep_[static_cast<std::size_t>(j - 1)] = 1;
    }
    std::uint32_t src = 0, dst = 0;
    std::vector<int> new_number(file_vars_.size(), 0);
    for (std::size_t k = 0; k < file_vars_.size(); ++k) {
      auto w = static_cast<std::uint32_t>(data::type_width(file_vars_[k].type));
      if (keep_[k]) {
        bool sw = hilo_ && data::is_numeric_type(file_vars_[k].type) && w > 1;
        if (!sw && !pieces_.empty() && !pieces_.back().swap && pieces_.back().src + pieces_.back().len == src &&
            pieces_.back().dst + pieces_.back().len == dst)
          pieces_.back().len += w;
        else
          pieces_.push_back({src, dst, w, sw});
        dst += w;
        vars_.push_back(file_vars_[k]);
        new_number[k] = static_cast<int>(vars_.size());
      }
      src += w;
    }
    file_width_ = src;
    for (int j : sort_) {
      if (!new_number[static_cast<std::size_t>(j - 1)]) break;
      kept_sort_.push_back(new_number[static_cast<std::size_t>(j - 1)]);
    }
    if (rc_t rc = ds_.install_variables(vars_)) return rc;
    ds_.set_sort_list(kept_sort_);
    return 0;
  }

  rc_t read_expansion() {
    if (l_.expansion_len == 0) return 0;
    const std::size_t head = 1 + l_.expansion_len;
    std::vector<std::uint8_t> buf;
    for (;;) {
      std::uint8_t h[5];
      if (rc_t rc = in_.read(h, head)) return rc;
      std::uint32_t len = l_.expansion_len == 2 ? get16(h + 1, hilo_) : get32(h + 1, hilo_);
      if (h[0] == kExpansionEnd) return 0;
      if (len > in_.remaining()) return 612;
      if (h[0] != kExpansionChar || len < 2 * l_.name) {
        if (rc_t rc = in_.skip(len)) return rc;
        continue;
      }
      buf.resize(len);
      if (rc_t rc = in_.read(buf.data(), len)) return rc;
      std::string owner = field_text(buf.data(), l_.name - 1);
      std::string name = field_text(buf.data() + l_.name, l_.name - 1);
      std::string text = field_text(buf.data() + 2 * l_.name, len - 2 * l_.name);
      if (text.size() > data::kMaxCharLength) text.resize(data::kMaxCharLength);
      if (owner != "_dta" && !ds_.find_exact(owner)) continue;
      if (text.empty() || ds_.chars().get(owner, name)) continue;
      if (ds_.chars().set(owner, name, text) == 950) return 950;  // invalid names are skipped
    }
  }

  rc_t read_data(std::int64_t nobs) {
    std::uint64_t bytes = static_cast<std::uint64_t>(nobs) * file_width_;
    if (bytes > in_.remaining()) return 612;
    // Records of no bytes cost the file nothing but the data area 8 bytes
    // each: a count beyond any real use is taken as damage.
    if (file_width_ == 0 && nobs > kMaxEmptyRecords) return 688;
    std::int64_t first = 1, last = nobs;
    if (!opt_.in_text.empty()) {
      if (rc_t rc = expr::read_in_range(env_, opt_.in_text, nobs, &first, &last)) {
        res_printed_ = true;
        return rc;
      }
    }
    std::int64_t room = last - first + 1;
    if (rc_t rc = ds_.prepare_load(room)) return rc;
    if (rc_t rc = in_.skip(static_cast<std::uint64_t>(first - 1) * file_width_)) return rc;

    const std::uint32_t used = ds_.used_width();
    // Every variable kept, and records as tight in memory as in the file.
    bool whole = used == file_width_ && ds_.allotted_width() == used;
    std::int64_t kept = 0;
    if (opt_.if_text.empty() && whole && room > 0) {
      if (rc_t rc = read_straight(room)) return rc;
      kept = room;
    } else if (room > 0 && file_width_ > 0) {
      rc_t rc = copy_records(room, &kept);
      if (rc) return rc;
    } else {
      kept = room;
    }
    if (rc_t rc = in_.skip(static_cast<std::uint64_t>(nobs - last) * file_width_)) return rc;
    ds_.finish_load(kept);
    nobs_ = kept;
    return 0;
  }

  // The records go straight into the data area with large reads; a HILO
  // file's numeric fields are then reversed in place, a block at a time
  // while the block is still in cache.
  rc_t read_straight(std::int64_t room) {
    const std::uint64_t total = static_cast<std::uint64_t>(room) * file_width_;
    std::vector<Piece> swaps;
    for (const Piece& p : pieces_)
      if (p.swap) swaps.push_back(p);
    auto* area = reinterpret_cast<std::uint8_t*>(ds_.load_slot(0));
    if (swaps.empty()) return in_.read(area, total);
    const std::uint64_t block = std::max<std::uint64_t>(1, (std::uint64_t{1} << 20) / file_width_) * file_width_;
    for (std::uint64_t done = 0; done < total;) {
      std::uint64_t n = std::min(block, total - done);
      if (rc_t rc = in_.read(area + done, n)) return rc;
      for (std::uint8_t* rec = area + done; rec < area + done + n; rec += file_width_)
        for (const Piece& p : swaps) swap_field(rec + p.dst, p.len);
      done += n;
    }
    return 0;
  }

  // Through a buffer of whole records: pieces copied (and reversed), the
  // `if` condition tested on each record once it is in place; a record
  // that fails leaves its slot to the next one.
  rc_t copy_records(std::int64_t room, std::int64_t* kept) {
    std::size_t per = std::max<std::size_t>(1, (std::size_t{1} << 20) / file_width_);
    std::vector<std::uint8_t> buf(per * file_width_);
    bool filter = !opt_.if_text.empty();
    expr::Condition cond;
    if (filter) {
      // The condition is compiled and run against the dataset being built.
      env_.data_in_memory().swap_contents(ds_);
      rc_t rc = expr::compile_condition(env_, opt_.if_text, &cond);
      if (rc) {
        env_.data_in_memory().swap_contents(ds_);
        res_printed_ = true;
        return rc;
      }
    }
    std::int64_t k = 0;
    rc_t rc = 0;
    for (std::int64_t done = 0; done < room && rc == 0;) {
      std::size_t n = static_cast<std::size_t>(std::min<std::int64_t>(static_cast<std::int64_t>(per), room - done));
      rc = in_.read(buf.data(), n * file_width_);
      if (rc) break;
      Dataset& target = filter ? env_.data_in_memory() : ds_;
      for (std::size_t r = 0; r < n; ++r) {
        std::uint8_t* src = buf.data() + r * file_width_;
        auto* dst = reinterpret_cast<std::uint8_t*>(target.load_slot(k));
        for (const Piece& p : pieces_) {
          std::memcpy(dst + p.dst, src + p.src, p.len);
          if (p.swap) swap_field(dst + p.dst, p.len);
        }
        if (!filter || cond.test(k + 1)) ++k;
      }
      done += static_cast<std::int64_t>(n);
    }
    if (filter) env_.data_in_memory().swap_contents(ds_);
    *kept = k;
    return rc;
  }

  // The old formats' adjustments once everything is in.
  rc_t settle() {
    if (l_.format <= 107) {
      // Doubles of these files may carry values at and beyond the old
      // missing value; once they are `.` the recorded order by such a
      // variable no longer holds.
      std::string by;
      bool dbl = false;
      for (std::uint16_t j : ds_.sort_list()) {
        by += " " + ds_.name(j);
        dbl = dbl || ds_.type(j) == data::kLegacyDouble;
      }
      if (dbl) {
        note("Warning:  old-format data was sorted by", by, "\n");
        note("because of changes in Nuvra, the sort information had to be cleared\n", "", "");
        note("in this case; you must reissue the sort command if you care\n", "", "");
        ds_.clear_sort_list();
      }
    }
    if (l_.legacy_missing) return ds_.settle_legacy_variables();
    return 0;
  }

 public:
  bool res_printed_ = false;

 private:
  expr::Env& env_;
  Input& in_;
  const LoadOptions& opt_;
  Dataset& ds_;
  LoadResult* res_;
  int* newer_;
  FileLayout l_;
  bool hilo_ = false;
  int nvar_ = 0;
  std::int64_t nobs_ = 0;
  std::vector<data::Variable> file_vars_, vars_;
  std::vector<char> keep_;
  std::vector<int> sort_, kept_sort_;
  std::vector<Piece> pieces_;
  std::uint32_t file_width_ = 0;
};

rc_t run_loader(expr::Env& env, Input& in, const LoadOptions& opt, Dataset* fresh, LoadResult* res, int* newer) {
  if (newer) *newer = 0;
  Loader ld(env, in, opt, fresh, res, newer);
  rc_t rc = ld.run();
  res->printed = ld.res_printed_;
  if (rc == 0) fresh->set_changed(false);
  return rc;
}

}  // namespace

rc_t load_bytes(expr::Env& env, const std::uint8_t* data, std::size_t size, const LoadOptions& opt, Dataset* fresh,
                LoadResult* res, int* newer_format) {
  Input in(data, size);
  return run_loader(env, in, opt, fresh, res, newer_format);
}

rc_t load_file(expr::Env& env, const std::string& path, const LoadOptions& opt, Dataset* fresh, LoadResult* res,
               int* newer_format) {
  return with_file_for_reading(path, [&](int fd, std::uint64_t size) {
    Input in(fd, size);
    return run_loader(env, in, opt, fresh, res, newer_format);
  });
}

}  // namespace nuvra::dta
