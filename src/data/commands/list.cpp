// list: the values of the observations in a table.
//
// Two layouts.
//
// Table: one line per observation inside a box.
//     +--------------------+
//     |  x      y   name   |      cells are separated by three blanks,
//     |--------------------|      with one blank inside each side of the
//  1. |  1    2.5   abc    |      box; the observation number stands
//  2. |  .    -.5   de     |      right-aligned before the box, in at
//     +--------------------+      least four columns
// A column is as wide as its widest cell or its header. A cell is the
// value rendered under the variable's format (or its value label) with
// the format's padding taken off; it is right-aligned unless the format
// is left-aligned (`%-...`), and the header follows its column. A header
// is the name, shortened with `~` to the larger of abbreviate(#) and the
// column's value width. A separator line follows every separator(#)
// observations (5 by default, 0 for none). `clean` prints the same lines
// without the box: its rules disappear and its bars become blanks.
//
// When the table is wider than the line, the variables are split into
// blocks of columns that fit and a table is printed for each block in
// turn (all observations of the first block, then the next block).
//
// Display: each observation gets a box of its own, the width of the line,
// in which the variables are packed into groups that fit: a line of names
// over a line of values, groups parted by a separator line. A value too
// long for the box is wrapped over as many lines as it needs. This layout
// is used when a single column cannot fit on the line, or when `display`
// is asked for (`table` forces the table and its blocks).
#include <algorithm>
#include <cstring>
#include <functional>

#include "data/commands/commands.h"
#include "data/commands/ts_terms.h"
#include "data/format.h"
#include "interp/interp.h"
#include "interp/messages.h"
#include "interp/parse.h"

namespace nuvra {
namespace {

struct ListOptions {
  bool clean = false;
  bool noobs = false;
  bool nolabel = false;
  long long separator = 5;
  long long abbreviate = 8;
  long long string_max = 0;  // 0: strings shown whole
};

struct ListColumn {
  int var = 0;
  std::string name;  // the term heading the column: x, or L.x for an operated one
  data::Format fmt;
  bool left = false;
  size_t width = 0;  // of the cells, then of the column
  std::string header;
};

class Lister {
 public:
  Lister(Interp& ip, const ListOptions& o) : ip_(ip), ds_(ip.dataset), o_(o) {}

  // The text shown for variable column c in observation i.
  std::string cell(const ListColumn& c, std::int64_t i) const {
    int j = c.var;
    if (ds_.is_string(j)) {
      std::string s = ds_.fetch_str(j, i);
      if (o_.string_max > 0 && s.size() > static_cast<size_t>(o_.string_max))
        s.resize(static_cast<size_t>(o_.string_max));
      return s;
    }
    double v = ds_.fetch(j, i);
    if (!o_.nolabel && !ds_.value_label_name(j).empty()) {
      if (const data::ValueLabel* vl = ds_.value_labels().get(ds_.value_label_name(j)))
        if (const char* t = vl->find_value(v)) return t;
    }
    char buf[data::kRenderBufferSize];
    size_t n = data::render_shown(c.fmt, v, buf, sizeof buf);
    std::string_view s(buf, std::min(n, sizeof buf - 1));
    size_t a = s.find_first_not_of(' ');
    if (a == std::string_view::npos) return std::string();
    size_t b = s.find_last_not_of(' ');
    return std::string(s.substr(a, b - a + 1));
  }

  // names[k] heads the column of vars[k].
  rc_t run(const std::vector<int>& vars, const std::vector<std::string>& names, const std::vector<char>& sample,
           int layout) {
    for (std::int64_t i = 1; i <= ds_.nobs(); ++i)
      if (sample[static_cast<size_t>(i - 1)]) obs_.push_back(i);
    // Under `by` observations are numbered within their group.
    base_ = ip_.obs_first() - 1;
    std::int64_t last = obs_.empty() ? 0 : obs_.back() - base_;
    obsw_ = std::max<size_t>(4, std::to_string(last).size() + 1);
    if (o_.noobs) obsw_ = 0;
    for (size_t k = 0; k < vars.size(); ++k) {
      const int j = vars[k];
      ListColumn c;
      c.var = j;
      c.name = names[k];
      if (!data::parse_format(ds_.format(j), &c.fmt, true)) data::parse_format(ds_.is_string(j) ? "%9s" : "%9.0g", &c.fmt);
      c.left = c.fmt.align == data::FormatAlign::kLeft;
      cols_.push_back(c);
    }
    if (obs_.empty() || cols_.empty()) return 0;
    // Widths of the values, then of the headers.
    for (std::int64_t i : obs_) {
      if (ip_.poll_break()) return kBreak;
      for (auto& c : cols_) c.width = std::max(c.width, cell(c, i).size());
    }
    for (auto& c : cols_) {
      const std::string& name = c.name;
      size_t room = std::max(static_cast<size_t>(std::max<long long>(o_.abbreviate, 1)), c.width);
      c.header = datacmd::abbreviate_name(name, room);
      c.width = std::max(c.width, c.header.size());
    }
    size_t avail = line_room();
    bool too_wide_column = std::any_of(cols_.begin(), cols_.end(), [&](const ListColumn& c) { return c.width + 2 > avail; });
    if (layout == 2 || (layout == 0 && too_wide_column)) return display_layout();
    return table_layout();
  }

 private:
  // Interior columns a table may use: the line minus the number and bars.
  size_t line_room() const {
    size_t used = (obsw_ ? obsw_ + 1 : 0) + 2;
    size_t ls = static_cast<size_t>(ip_.linesize);
    return ls > used + 4 ? ls - used : 4;
  }

  std::string prefix(std::int64_t obs) const {
    if (!obsw_) return std::string();
    std::string s;
    if (obs > 0) {
      std::string n = std::to_string(obs - base_) + ".";
      s.assign(obsw_ - n.size(), ' ');
      s += n;
    } else {
      s.assign(obsw_, ' ');
    }
    return s + ' ';
  }

  void rule(const char* left, const char* right, size_t interior) {
    if (o_.clean) return;
    ip_.out.print_plain(prefix(0));
    ip_.out.printf_markup("{txt}{c %s}{hline %zu}{c %s}\n", left, interior, right);
  }

  // One line of the box: the bars around content already padded.
  void boxed(std::int64_t obs, const std::string& content, bool result) {
    std::string line = prefix(obs);
    ip_.out.print_markup("{txt}");
    ip_.out.print_plain(line);
    if (o_.clean) {
      std::string c = " " + content;
      while (!c.empty() && c.back() == ' ') c.pop_back();
      if (result) ip_.out.print_markup("{res}");
      ip_.out.print_plain(c);
      ip_.out.print_markup("{txt}\n");
      return;
    }
    ip_.out.print_markup("{c |}");
    if (result) ip_.out.print_markup("{res}");
    ip_.out.print_plain(content);
    ip_.out.print_markup("{txt}{c |}\n");
  }

  static std::string aligned(const std::string& s, size_t w, bool left) {
    if (s.size() >= w) return s;
    return left ? s + std::string(w - s.size(), ' ') : std::string(w - s.size(), ' ') + s;
  }

  std::string row(size_t from, size_t to, const std::function<std::string(const ListColumn&)>& text) const {
    std::string s = " ";
    for (size_t k = from; k < to; ++k) {
      if (k > from) s += "   ";
      s += aligned(text(cols_[k]), cols_[k].width, cols_[k].left);
    }
    return s + " ";
  }

  rc_t table_layout() {
    size_t avail = line_room();
    size_t k = 0;
    while (k < cols_.size()) {
      size_t end = k, width = 2;
      while (end < cols_.size()) {
        size_t add = cols_[end].width + (end > k ? 3 : 0);
        if (end > k && width + add > avail) break;
        width += add;
        ++end;
      }
      if (rc_t rc = table_block(k, end, width)) return rc;
      k = end;
    }
    return 0;
  }

  rc_t table_block(size_t from, size_t to, size_t interior) {
    ip_.out.print_markup("\n");
    rule("TLC", "TRC", interior);
    boxed(0, row(from, to, [](const ListColumn& c) { return c.header; }), false);
    rule("LT", "RT", interior);
    long long n = 0;
    for (std::int64_t i : obs_) {
      if (ip_.poll_break()) return kBreak;
      if (o_.separator > 0 && n > 0 && n % o_.separator == 0) rule("LT", "RT", interior);
      ++n;
      boxed(i, row(from, to, [&](const ListColumn& c) { return cell(c, i); }), true);
    }
    rule("BLC", "BRC", interior);
    return 0;
  }

  rc_t display_layout() {
    size_t interior = line_room();
    size_t content = interior - 2;
    auto pad = [&](std::string s) {
      if (s.size() < content) s.append(content - s.size(), ' ');
      return " " + s + " ";
    };
    ip_.out.print_markup("\n");
    for (std::int64_t i : obs_) {
      if (ip_.poll_break()) return kBreak;
      rule("TLC", "TRC", interior);
      std::vector<std::string> cells;
      for (const auto& c : cols_) cells.push_back(cell(c, i));
      bool first_line = true;
      size_t k = 0;
      while (k < cols_.size()) {
        if (k > 0) rule("LT", "RT", interior);
        // Pack the fields that fit, each as wide as its name or value.
        size_t end = k, width = 0;
        while (end < cols_.size()) {
          size_t fw = std::max(cols_[end].header.size(), cells[end].size());
          size_t add = fw + (end > k ? 3 : 0);
          if (end > k && width + add > content) break;
          width += add;
          ++end;
        }
        std::string names, values;
        for (size_t m = k; m < end; ++m) {
          size_t fw = std::max(cols_[m].header.size(), cells[m].size());
          if (m > k) names += "   ", values += "   ";
          // A field wider than the box stands alone: its name at the left
          // and its value wrapped below.
          bool wide = fw > content;
          names += wide ? cols_[m].header : aligned(cols_[m].header, fw, cols_[m].left);
          values += wide ? cells[m] : aligned(cells[m], fw, cols_[m].left);
        }
        boxed(first_line ? i : 0, pad(names), false);
        first_line = false;
        // A single value too long for the box is wrapped over lines.
        for (size_t p = 0; p < values.size() || p == 0; p += content) {
          boxed(0, pad(values.substr(p, content)), true);
          if (values.size() <= content) break;
        }
        k = end;
      }
      rule("BLC", "BRC", interior);
    }
    return 0;
  }

  Interp& ip_;
  const data::Dataset& ds_;
  ListOptions o_;
  std::vector<std::int64_t> obs_;
  std::vector<ListColumn> cols_;
  size_t obsw_ = 0;
  std::int64_t base_ = 0;  // observations are numbered from base_ + 1
};

}  // namespace

rc_t cmd_list(Interp& ip) {
  ParseSettings st{.varlist = true, .allow_if = true, .allow_in = true};
  CommandLine cl;
  if (rc_t rc = standard_parse(ip, st, &cl)) return rc;
  ListOptions o;
  o.clean = cl.flag("clean", 5, 0);
  o.noobs = !cl.flag("obs", 3, 1);
  o.nolabel = cl.flag("nolabel", 3, 0);
  bool table = cl.flag("table", 3, 0);
  bool display = cl.flag("display", 4, 0);
  const long long kUnset = -2147483647LL - 1;
  long long sep = cl.integer("separator", 3, kUnset);
  long long ab = cl.integer("abbreviate", 2, kUnset);
  long long sm = cl.integer("string", 3, kUnset);
  if (rc_t rc = cl.leftover(ip)) return rc;
  if (table && display) return datacmd::fail_quoting(ip, "options table and display may not be combined", "", "\n", 198);
  if (sep != kUnset) {
    if (sep < 0) return datacmd::fail_quoting(ip, "separator() must be 0 or more", "", "\n", 198);
    o.separator = sep;
  }
  if (ab != kUnset) {
    if (ab < 1 || ab > 32) return datacmd::fail_quoting(ip, "abbreviate() must be between 1 and 32", "", "\n", 198);
    o.abbreviate = ab;
  }
  if (sm != kUnset) {
    if (sm < 1 || sm > data::kStrMax) return datacmd::fail_quoting(ip, "string() must be between 1 and 244", "", "\n", 198);
    o.string_max = sm;
  }
  std::vector<int> vars;
  std::vector<std::string> names;
  datacmd::TsTemps temps(ip);
  if (rc_t rc = datacmd::ts_varlist_or_all(ip, cl.varlist_text, &vars, &names, &temps)) return rc;
  std::vector<char> sample;
  if (rc_t rc = datacmd::mark_sample(ip, cl, &sample)) return rc;
  ip.out.set_class(output::OutClass::Text);
  Lister lister(ip, o);
  return lister.run(vars, names, sample, table ? 1 : display ? 2 : 0);
}

}  // namespace nuvra
