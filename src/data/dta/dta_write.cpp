// The dataset file writer: header, descriptors, characteristics, records
// and value labels, through a temporary file renamed over the target.
#include "data/dta/dta_write.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <set>

#include "data/dta/dta_layout.h"
#include "data/dta/replace_file.h"

namespace nuvra::dta {

static_assert(std::endian::native == std::endian::little,
              "records are written as held, which this byte-order mark describes");

namespace {

using data::Dataset;

// Appends fixed-width zero-padded fields to an image.
struct Image {
  std::vector<std::uint8_t> b;
  void byte(std::uint8_t v) { b.push_back(v); }
  void u16(std::uint16_t v) {
    b.push_back(static_cast<std::uint8_t>(v));
    b.push_back(static_cast<std::uint8_t>(v >> 8));
  }
  void u32(std::uint32_t v) {
    for (int k = 0; k < 4; ++k) b.push_back(static_cast<std::uint8_t>(v >> (8 * k)));
  }
  // Text cut to width - 1 bytes, then zeros to the width.
  void field(std::string_view s, std::size_t width) {
    std::size_t n = std::min(s.size(), width - 1);
    b.insert(b.end(), s.begin(), s.begin() + static_cast<std::ptrdiff_t>(n));
    b.insert(b.end(), width - n, 0);
  }
};

// Variables that go into the file: the visible ones, and the hidden
// estimation-sample variable (always last) with `all`.
int file_nvar(const Dataset& ds, const SaveOptions& opt) {
  return opt.all && ds.esample_var() ? ds.nvar_all() : ds.nvar();
}

// Largest single write, and how much is written between requests that the
// kernel start sending the pages to the disk.
constexpr std::size_t kWriteChunk = std::size_t{1} << 20;
constexpr std::int64_t kWritebackStep = std::int64_t{32} << 20;

// Writes the file in calls of kWriteChunk bytes, reporting the progress
// after each.  Writeback of each finished stretch is started while the
// rest is still being written, so that the closing fsync waits only for
// the tail instead of the whole file.
class Writer {
 public:
  Writer(ReplacingFile& out, const SaveOptions& opt) : out_(out), opt_(opt) {
    out.set_call_size(kWriteChunk);
    out.set_fail_after(opt.fail_after);
  }
  bool write(const void* data, std::size_t n) {
    const auto* p = static_cast<const char*>(data);
    while (n > 0) {
      std::size_t want = std::min(kWriteChunk, n);
      if (!out_.write(p, want)) return false;
      p += want;
      n -= want;
      const std::int64_t written = out_.written();
      if (opt_.on_written) opt_.on_written(written, opt_.on_written_arg);
      if (written - started_ >= kWritebackStep) {
        // A hint: a file system without it simply leaves everything to fsync.
        ::sync_file_range(out_.descriptor(), started_, written - started_, SYNC_FILE_RANGE_WRITE);
        started_ = written;
      }
    }
    return true;
  }

 private:
  ReplacingFile& out_;
  const SaveOptions& opt_;
  std::int64_t started_ = 0;  // writeback requested up to here
};

}  // namespace

std::string time_stamp_text(const std::tm& t) {
  static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                        "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  char buf[64];
  std::snprintf(buf, sizeof buf, "%2d %s%5d %02d:%02d", t.tm_mday, kMonths[((t.tm_mon % 12) + 12) % 12],
                t.tm_year + 1900, t.tm_hour, t.tm_min);
  std::string s = buf;
  s.resize(17, ' ');  // a year beyond five digits cannot widen the field
  return s;
}

// Format 113 predates the date formats of this release. A date format is
// written as the older format of its unit: %td, %tw, %tm, %tq, %th and %ty
// were all known then (without the detail codes); clock formats had no
// counterpart and become wide enough to show the milliseconds as a
// number; any other unit gets the default double format.
std::string old_format(std::string_view fmt) {
  std::size_t k = 1;
  if (fmt.size() > k && (fmt[k] == '-' || fmt[k] == '~')) ++k;
  char unit = 0;
  if (fmt.size() > k + 1 && fmt[0] == '%' && fmt[k] == 't') unit = fmt[k + 1];
  else if (fmt.size() > k && fmt[0] == '%' && fmt[k] == 'd') unit = 'd';
  if (unit == 0) return std::string(fmt.substr(0, kOldFormatSize - 1));
  switch (unit) {
    case 'C':
    case 'c': return "%15.0g";
    case 'd': return "%td";
    case 'w': return "%tw";
    case 'm': return "%tm";
    case 'q': return "%tq";
    case 'h': return "%th";
    case 'y': return "%ty";
    default: return "%10.0g";
  }
}

std::vector<std::uint8_t> file_prefix(const Dataset& ds, const SaveOptions& opt) {
  const int nv = file_nvar(ds, opt);
  Image im;
  // Header.
  im.byte(static_cast<std::uint8_t>(opt.oldformat ? kFormatOld : kFormatNewest));
  im.byte(kLohi);
  im.byte(1);  // filetype
  im.byte(0);
  im.u16(static_cast<std::uint16_t>(nv));
  im.u32(static_cast<std::uint32_t>(ds.nobs()));
  im.field(ds.data_label(), kDataLabelSize);
  im.field(time_stamp_text(opt.stamp), kTimeStampSize);
  // Descriptors.
  for (int j = 1; j <= nv; ++j) im.byte(static_cast<std::uint8_t>(ds.type(j)));
  for (int j = 1; j <= nv; ++j) im.field(ds.name(j), kNameSize);
  int nsort = 0;
  for (std::uint16_t j : ds.sort_list()) {
    if (j == 0 || j > nv) break;
    im.u16(j);
    ++nsort;
  }
  for (int k = nsort; k <= nv; ++k) im.u16(0);
  for (int j = 1; j <= nv; ++j) {
    if (opt.oldformat) im.field(old_format(ds.format(j)), kOldFormatSize);
    else im.field(ds.format(j), kFormatSize);
  }
  for (int j = 1; j <= nv; ++j) im.field(ds.value_label_name(j), kNameSize);
  for (int j = 1; j <= nv; ++j) im.field(ds.label(j), kVarLabelSize);
  // Expansion fields: the dataset's characteristics, then each variable's.
  auto put_chars = [&](const std::string& owner) {
    for (const auto& e : ds.chars().entries(owner)) {
      im.byte(kExpansionChar);
      im.u32(static_cast<std::uint32_t>(2 * kNameSize + e.contents.size() + 1));
      im.field(owner, kNameSize);
      im.field(e.name, kNameSize);
      im.b.insert(im.b.end(), e.contents.begin(), e.contents.end());
      im.byte(0);
    }
  };
  put_chars("_dta");
  for (int j = 1; j <= nv; ++j) put_chars(ds.name(j));
  im.byte(kExpansionEnd);
  im.u32(0);
  return std::move(im.b);
}

std::int64_t& command_save_fail_after() {
  static std::int64_t fail_after = -1;
  return fail_after;
}

rc_t save_file(const Dataset& ds, const std::string& path, const SaveOptions& opt) {
  // A failure anywhere before the commit leaves the previous file as it
  // was and removes the temporary one.
  ReplacingFile out;
  if (rc_t rc = out.open(path, opt.replace, opt.create_mode)) return rc;

  Writer w(out, opt);
  const int nv = file_nvar(ds, opt);
  std::vector<std::uint8_t> prefix = file_prefix(ds, opt);
  w.write(prefix.data(), prefix.size());

  // Records. Held in observation order with no slack and all of them
  // written, they go straight from the data area; otherwise whole records
  // are gathered through the slot table into a buffer of about 1 MB.
  std::uint32_t width = 0;
  for (int j = 1; j <= nv; ++j) width += static_cast<std::uint32_t>(ds.width(j));
  if (width > 0 && ds.nobs() > 0) {
    const auto nobs = static_cast<std::size_t>(ds.nobs());
    if (width == ds.used_width() && ds.allotted_width() == width && ds.in_slot_order()) {
      // Observation 1 lies in slot 0, and the first variable at offset 0.
      w.write(ds.value_ptr(1, 1), nobs * width);
    } else {
      std::size_t per = std::max<std::size_t>(1, kWriteChunk / width);
      std::vector<char> buf;
      try {
        buf.resize(per * width);
      } catch (const std::bad_alloc&) {
        return 950;
      }
      // The records hold the hidden variable last; without `all` only the
      // leading `width` bytes of each are written.
      std::size_t fill = 0;
      for (std::size_t i = 1; i <= nobs && !out.failed(); ++i) {
        std::memcpy(buf.data() + fill * width, ds.value_ptr(1, static_cast<std::int64_t>(i)), width);
        if (++fill == per) {
          w.write(buf.data(), fill * width);
          fill = 0;
        }
      }
      if (fill) w.write(buf.data(), fill * width);
    }
  }

  // Value labels: the tables attached to a saved variable, or all.
  if (!opt.nolabel) {
    std::set<std::string> attached;
    for (int j = 1; j <= nv; ++j)
      if (!ds.value_label_name(j).empty()) attached.insert(ds.value_label_name(j));
    for (const std::string& name : ds.value_labels().names()) {
      if (!opt.orphans && !attached.count(name)) continue;
      const auto& block = ds.value_labels().get(name)->block();
      Image head;
      head.u32(static_cast<std::uint32_t>(block.size()));
      head.field(name, kNameSize);
      head.b.insert(head.b.end(), 3, 0);
      w.write(head.b.data(), head.b.size());
      w.write(block.data(), block.size());
    }
  }

  return out.commit(opt.fsync_seconds);
}

}  // namespace nuvra::dta
