// Text import and export: outsheet and insheet (one observation a line,
// values separated by tabs or commas), outfile and infile (free format).
//
// Writers go through a temporary file in the target's directory that is
// renamed over the target only when everything has been written, so a
// failed export never leaves half a file under the user's name. Readers
// build the new data in a fresh dataset and swap it in at the end, so a
// file that cannot be read leaves the data in memory as they were.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "data/dataset.h"
#include "data/commands/dta_commands.h"
#include "data/dta/replace_file.h"
#include "data/expr/sample.h"
#include "data/format.h"
#include "data/missing.h"
#include "data/varlist.h"
#include "interp/interp.h"
#include "interp/messages.h"
#include "data/names.h"
#include "interp/parse.h"

namespace nuvra {

namespace {

using data::Dataset;

// The name with `ext` added when it has none, and "~/" read as the home
// directory.
std::string file_name(std::string_view name, const char* ext) {
  std::string s(name);
  std::size_t sep = s.find_last_of("/\\");
  std::size_t dot = s.rfind('.');
  if (!s.empty() && (dot == std::string::npos || (sep != std::string::npos && dot < sep))) s += ext;
  return s;
}

// A text file written beside its target and renamed over it on commit,
// with the lines gathered in a buffer between the writes.
class AtomicText {
 public:
  // 602 when the file exists and replace is off, 603 when the temporary
  // file cannot be made, 608 when the target is read-only.
  rc_t open(const std::string& path, bool replace, mode_t create_mode) {
    buf_.reserve(kFlushAt + 4096);
    return file_.open(path, replace, create_mode);
  }
  std::string& buffer() { return buf_; }
  // Writes the buffer out once it holds enough.
  void maybe_flush() {
    if (buf_.size() >= kFlushAt) flush();
  }
  // 0, or 699 (disk full) / 693 (any other failure); the temporary file is
  // gone on failure.
  rc_t commit() {
    flush();
    return file_.commit();
  }

 private:
  static constexpr std::size_t kFlushAt = 1 << 16;
  void flush() {
    file_.write(buf_.data(), buf_.size());
    buf_.clear();
  }
  dta::ReplacingFile file_;
  std::string buf_;
};

// Reads a whole file; 601 when absent, 603 when it cannot be read.
rc_t read_whole(const std::string& path, std::string* out) {
  struct stat st{};
  if (::stat(path.c_str(), &st) != 0) return 601;
  if (S_ISDIR(st.st_mode)) return 603;
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return 603;
  out->clear();
  char buf[1 << 16];
  std::size_t k;
  while ((k = std::fread(buf, 1, sizeof buf, f)) > 0) out->append(buf, k);
  bool bad = std::ferror(f) != 0;
  std::fclose(f);
  return bad ? 692 : 0;
}

// A value of a number field: true with *v when the text is a number or a
// missing value (`.`, `.a` .. `.z`; empty is `.`).
bool read_number(std::string_view t, double* v) {
  if (t.empty() || t == ".") {
    *v = data::kMissing;
    return true;
  }
  if (t.size() == 2 && t[0] == '.' && t[1] >= 'a' && t[1] <= 'z') {
    *v = data::missing_value(t[1] - 'a' + 1);
    return true;
  }
  if (t[0] == '+') t.remove_prefix(1);
  if (t.empty()) return false;
  auto r = std::from_chars(t.data(), t.data() + t.size(), *v);
  return r.ec == std::errc() && r.ptr == t.data() + t.size() && std::isfinite(*v);
}

// Cells read from a text file, kept in one buffer: cell c is
// text[start[c] .. start[c + 1]).
struct Cells {
  std::string text;
  std::vector<std::size_t> start{0};
  std::vector<std::size_t> row_first;  // first cell of each row
  std::size_t count() const { return start.size() - 1; }
  std::string_view cell(std::size_t c) const { return {text.data() + start[c], start[c + 1] - start[c]}; }
  void end_cell() { start.push_back(text.size()); }
};

std::string_view trim_blanks(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t' || s.front() == '\r')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
  return s;
}

// Splits delimited text into rows of cells. A field that begins with a
// double quote runs to the closing quote (delimiters and line ends inside
// it belong to it, and "" stands for one quote); other fields are trimmed
// of blanks. Empty lines are skipped.
void split_delimited(std::string_view s, char delim, Cells* out) {
  std::size_t i = 0, n = s.size();
  while (i < n) {
    // Skip an empty line.
    std::size_t e = i;
    while (e < n && s[e] == '\r') ++e;
    if (e < n && s[e] == '\n') {
      i = e + 1;
      continue;
    }
    if (e == n) break;
    out->row_first.push_back(out->count());
    while (true) {
      std::size_t p = i;
      while (p < n && s[p] == ' ' && delim != ' ') ++p;
      if (p < n && s[p] == '"') {
        ++p;
        while (p < n) {
          if (s[p] == '"') {
            if (p + 1 < n && s[p + 1] == '"') {
              out->text.push_back('"');
              p += 2;
              continue;
            }
            ++p;
            break;
          }
          out->text.push_back(s[p++]);
        }
        // Anything between the closing quote and the delimiter belongs to
        // the field as well.
        std::size_t q = p;
        while (q < n && s[q] != delim && s[q] != '\n') ++q;
        out->text.append(trim_blanks(s.substr(p, q - p)));
        p = q;
      } else {
        std::size_t q = p;
        while (q < n && s[q] != delim && s[q] != '\n') ++q;
        out->text.append(trim_blanks(s.substr(p, q - p)));
        p = q;
      }
      out->end_cell();
      if (p < n && s[p] == delim) {
        i = p + 1;
        continue;
      }
      i = p < n ? p + 1 : n;  // past the line end
      break;
    }
  }
}

// A usable variable name made from a heading: other characters than
// letters, digits and _ become _, a leading digit gets a _ before it, and
// the name is cut to 32 bytes. Empty when nothing usable remains.
std::string name_from_heading(std::string_view h) {
  std::string s;
  for (char c : h) {
    bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
    s.push_back(ok ? c : '_');
  }
  if (!s.empty() && s[0] >= '0' && s[0] <= '9') s.insert(s.begin(), '_');
  if (s.size() > data::kMaxNameLength) s.resize(data::kMaxNameLength);
  if (data::validate_new_varname(s) != 0) return {};
  return s;
}

// What a column's values need: numbers all, integers all, the range, and
// the longest text.
struct ColumnScan {
  bool numeric = true, integer = true, any = false;
  double lo = 0, hi = 0;
  std::size_t longest = 0;
  void see(std::string_view t) {
    longest = std::max(longest, t.size());
    if (!numeric) return;
    double v;
    if (!read_number(t, &v)) {
      numeric = false;
      return;
    }
    if (data::is_missing(v)) return;
    if (v != std::floor(v)) integer = false;
    if (!any) lo = hi = v;
    lo = std::min(lo, v);
    hi = std::max(hi, v);
    any = true;
  }
  // The narrowest type that holds every value.
  int type(bool want_double) const {
    if (!numeric) return static_cast<int>(std::clamp<std::size_t>(longest, 1, data::kStrMax));
    if (!any) return data::kByte;
    if (integer) {
      for (int t : {data::kByte, data::kInt, data::kLong})
        if (lo >= data::type_min(t) && hi <= data::type_max(t)) return t;
    }
    if (want_double) return data::kDouble;
    if (lo < data::type_min(data::kFloat) || hi > data::type_max(data::kFloat)) return data::kDouble;
    return data::kFloat;
  }
};

// Stores cell text t into variable j of row r while loading: numbers (or
// missing when the text is not one) or the string cut to the width.
// Returns false when the text did not fit the variable as it stands.
bool store_cell(Dataset& ds, int j, std::int64_t r, std::string_view t) {
  char* p = ds.load_slot(r) + ds.offset(j);
  int type = ds.type(j);
  if (data::is_string_type(type)) {
    data::store_string(p, type, t.substr(0, static_cast<std::size_t>(type)));
    return t.size() <= static_cast<std::size_t>(type);
  }
  double v;
  if (!read_number(t, &v)) {
    data::store_missing(type, p);
    return false;
  }
  data::store_value(type, p, v);
  return true;
}

rc_t file_failure(Interp& ip, const std::string& shown, rc_t rc) { return dta::file_message(ip, shown, rc); }

// ---- writing values --------------------------------------------------------

struct OutColumn {
  int j = 0;
  bool string = false;
  data::Format fmt;
  const data::ValueLabel* labels = nullptr;
};

rc_t prepare_columns(Interp& ip, const std::string& varlist_text, bool nolabel, bool keep_grouping,
                     std::vector<OutColumn>* cols) {
  const Dataset& ds = ip.dataset;
  std::vector<int> js;
  data::VarlistFailure f;
  if (rc_t rc = data::read_varlist(ds, varlist_text.empty() ? "_all" : varlist_text, &js, &f))
    return msg_quoting(ip.out, "", f.message, "\n", rc);
  for (int j : js) {
    OutColumn c;
    c.j = j;
    c.string = ds.is_string(j);
    if (!data::parse_format(ds.format(j), &c.fmt, true)) data::parse_format(data::default_format(ds.type(j)), &c.fmt);
    if (!keep_grouping && !c.string) {
      // A number written for another program to read back: no thousands
      // separators, and the period as the decimal sign.
      c.fmt.thousands = false;
      c.fmt.comma = false;
    }
    if (!nolabel && !c.string && !ds.value_label_name(j).empty())
      c.labels = ds.value_labels().get(ds.value_label_name(j));
    cols->push_back(c);
  }
  return 0;
}

void put_quoted(std::string& b, std::string_view s, bool quote) {
  if (!quote) {
    b.append(s);
    return;
  }
  b.push_back('"');
  for (char c : s) {
    if (c == '"') b.push_back('"');
    b.push_back(c);
  }
  b.push_back('"');
}

// One value as it is written: a label, the number in its display format
// (trimmed unless `padded`), or the missing value (empty for `.` when
// `empty_missing`).
void put_value(std::string& b, const Dataset& ds, const OutColumn& c, std::int64_t i, bool quote, bool padded,
               bool empty_missing) {
  if (c.string) {
    const char* p = ds.value_ptr(c.j, i);
    put_quoted(b, {p, data::stored_string_length(p, ds.type(c.j))}, quote);
    return;
  }
  double v = ds.fetch(c.j, i);
  if (c.labels) {
    if (const char* text = c.labels->find_value(v)) {
      put_quoted(b, text, quote);
      return;
    }
  }
  int mc = data::missing_code(v);
  if (mc == 0 && empty_missing) return;
  if (mc >= 0 && !padded) {
    b.push_back('.');
    if (mc > 0) b.push_back(static_cast<char>('a' + mc - 1));
    return;
  }
  char buf[data::kRenderBufferSize];
  std::size_t n = data::render_number(c.fmt, v, buf, sizeof buf);
  std::string_view t(buf, std::min(n, sizeof buf - 1));
  b.append(padded ? t : trim_blanks(t));
}

// Splits the varlist words of `infile`/`insheet` text off an `in` range,
// which counts the observations of the file, not of memory.
rc_t take_in_range(Interp& ip, std::string* line, std::string* in_text) {
  std::string& s = *line;
  bool q = false;
  for (std::size_t i = 0; i + 2 <= s.size(); ++i) {
    if (s[i] == '"') q = !q;
    if (q || s[i] == ',') {
      if (s[i] == ',' && !q) break;
      continue;
    }
    if (s.compare(i, 2, "in") != 0) continue;
    bool left = i == 0 || s[i - 1] == ' ';
    bool right = i + 2 == s.size() || s[i + 2] == ' ';
    if (!left || !right) continue;
    std::size_t b = i + 2;
    while (b < s.size() && s[b] == ' ') ++b;
    std::size_t e = b;
    while (e < s.size() && s[e] != ' ' && s[e] != ',') ++e;
    *in_text = s.substr(b, e - b);
    if (in_text->empty()) return msg_invalid(ip, "syntax");
    s.erase(i, e - i);
    return 0;
  }
  return 0;
}

// Keeps the observations of `fresh` that pass `if` and fall in the range:
// the fresh data are put in memory for the evaluation and moved back.
rc_t select_loaded(Interp& ip, Dataset& fresh, const std::string& if_text, const std::string& in_text) {
  if (if_text.empty() && in_text.empty()) return 0;
  std::int64_t first = 1, last = fresh.nobs();
  ip.dataset.swap_contents(fresh);
  rc_t rc = 0;
  if (!in_text.empty()) rc = read_in_range(ip, in_text, ip.dataset.nobs(), &first, &last);
  std::vector<char> mask(static_cast<std::size_t>(ip.dataset.nobs()), 0);
  if (!rc) {
    if (!if_text.empty()) {
      rc = expr::mark_sample(ip, if_text, first, last, &mask);
    } else {
      for (std::int64_t i = first; i <= last; ++i) mask[static_cast<std::size_t>(i - 1)] = 1;
    }
  }
  ip.dataset.swap_contents(fresh);
  if (rc) return rc;
  if (rc_t k = fresh.keep_observations(mask)) return rc_message(ip, k);
  return 0;
}

// How outsheet and outfile lay out their lines.
struct LineLayout {
  char sep;      // between values
  bool names;    // a first line of variable names
  bool quote;    // strings in double quotes
  bool pad;      // values padded to their display width
  bool empty_missing;  // `.` written as an empty field
};

// What outsheet and outfile share: the columns, the sample, and a line per
// observation written through a file that replaces the target only once
// everything is on the disk.
// The command line of a text-file writer, [varlist] using filename [if]
// [in] [, options]; write_lines checks it once the options are read.
rc_t parse_writer(Interp& ip, CommandLine* cl) {
  ParseSettings st{.varlist = true, .allow_if = true, .allow_in = true, .allow_using = true};
  return standard_parse(ip, st, cl);
}

rc_t write_lines(Interp& ip, CommandLine& cl, const char* ext, bool nolabel, bool replace, const LineLayout& L) {
  if (rc_t rc = cl.leftover(ip)) return rc;
  if (!cl.has_using) return msg_required(ip, "using");
  std::vector<OutColumn> cols;
  if (rc_t rc = prepare_columns(ip, cl.varlist_text, nolabel, false, &cols)) return rc;
  std::vector<char> mask;
  if (rc_t rc = expr::mark_sample(ip, cl, &mask)) return rc;

  std::string shown = file_name(cl.using_file, ext);
  AtomicText f;
  const auto mode = static_cast<mode_t>(0666 & ~ip.umask_value);
  if (rc_t rc = f.open(dta::local_path(shown), replace, mode)) return file_failure(ip, shown, rc);
  const Dataset& ds = ip.dataset;
  std::string& b = f.buffer();
  if (L.names) {
    for (std::size_t k = 0; k < cols.size(); ++k) {
      if (k) b.push_back(L.sep);
      b.append(ds.name(cols[k].j));
    }
    b.push_back('\n');
  }
  for (std::int64_t i = 1; i <= ds.nobs(); ++i) {
    if (!mask[static_cast<std::size_t>(i - 1)]) continue;
    for (std::size_t k = 0; k < cols.size(); ++k) {
      if (k) b.push_back(L.sep);
      put_value(b, ds, cols[k], i, L.quote, L.pad, L.empty_missing);
    }
    b.push_back('\n');
    f.maybe_flush();
  }
  if (rc_t rc = f.commit()) return file_failure(ip, shown, rc);
  return 0;
}

// What insheet and infile do before they read a value: the names given
// for the columns (read as new names against an empty dataset, since the
// file's data replace those in memory), the check that the data in memory
// may go, and the whole text of the file (".raw" added to its name).
rc_t start_text_load(Interp& ip, const CommandLine& cl, bool clear, std::vector<data::NewVariable>* names,
                     std::string* shown, std::string* text) {
  Dataset& ds = ip.dataset;
  if (!cl.varlist_text.empty()) {
    Dataset none(ds.memory());
    data::VarlistFailure f;
    if (rc_t rc = data::read_new_varlist(none, cl.varlist_text, data::kFloat, names, &f))
      return msg_quoting(ip.out, "", f.message, "\n", rc);
  }
  if ((ds.changed() || ip.data_changed) && !clear) return rc_message(ip, 4);
  *shown = file_name(cl.using_file, ".raw");
  if (rc_t rc = read_whole(dta::local_path(*shown), text)) return file_failure(ip, *shown, rc);
  return 0;
}

}  // namespace

// outsheet [varlist] using filename [if] [in] [, comma nonames nolabel noquote replace]
rc_t cmd_outsheet(Interp& ip) {
  CommandLine cl;
  if (rc_t rc = parse_writer(ip, &cl)) return rc;
  bool comma = cl.flag("comma", 5, 0) == 1;
  bool names = cl.flag("names", 5, 1) == 1;
  bool nolabel = cl.flag("nolabel", 5, 0) == 1;
  bool quote = cl.flag("quote", 5, 1) == 1;
  bool replace = cl.flag("replace", 7, 0) == 1;
  return write_lines(ip, cl, ".out", nolabel, replace, {comma ? ',' : '\t', names, quote, false, true});
}

// outfile [varlist] using filename [if] [in] [, comma replace nolabel wide]
rc_t cmd_outfile(Interp& ip) {
  CommandLine cl;
  if (rc_t rc = parse_writer(ip, &cl)) return rc;
  bool comma = cl.flag("comma", 5, 0) == 1;
  bool replace = cl.flag("replace", 7, 0) == 1;
  bool nolabel = cl.flag("nolabel", 5, 0) == 1;
  cl.flag("wide", 4, 0);  // every observation is one line already
  return write_lines(ip, cl, ".raw", nolabel, replace, {comma ? ',' : ' ', false, true, !comma, false});
}

// insheet [newvarlist] using filename [, comma tab names nonames clear double]
rc_t cmd_insheet(Interp& ip) {
  ParseSettings st{.varlist = true, .allow_using = true};
  CommandLine cl;
  if (rc_t rc = standard_parse(ip, st, &cl)) return rc;
  bool comma = cl.flag("comma", 5, 0) == 1;
  bool tab = cl.flag("tab", 3, 0) == 1;
  int names = cl.flag("names", 5, -1);
  bool clear = cl.flag("clear", 5, 0) == 1;
  bool want_double = cl.flag("double", 6, 0) == 1;
  if (rc_t rc = cl.leftover(ip)) return rc;
  if (!cl.has_using) return msg_required(ip, "using");
  if (comma && tab) return msg_quoting(ip.out, "options comma and tab may not be combined\n", "", "", 198);
  Dataset& ds = ip.dataset;

  std::vector<data::NewVariable> given;
  std::string shown, text;
  if (rc_t rc = start_text_load(ip, cl, clear, &given, &shown, &text)) return rc;

  // The separator: as told, else a tab if the first line has one, else a
  // comma if it has one.
  char delim = '\t';
  if (comma) {
    delim = ',';
  } else if (!tab) {
    std::string_view first(text.data(), std::min(text.find('\n'), text.size()));
    if (first.find('\t') == std::string_view::npos && first.find(',') != std::string_view::npos) delim = ',';
  }
  Cells cells;
  split_delimited(text, delim, &cells);
  std::string().swap(text);
  const std::size_t nrows_all = cells.row_first.size();
  cells.row_first.push_back(cells.count());
  auto row_size = [&](std::size_t r) { return cells.row_first[r + 1] - cells.row_first[r]; };

  // Headings: with `names`; or, unless told otherwise, when every field
  // of the first line is a valid new name and no two are the same.
  bool header = false;
  if (nrows_all > 0) {
    if (names == 1) {
      header = true;
    } else if (names == -1 && given.empty()) {
      header = true;
      std::vector<std::string_view> seen;
      for (std::size_t c = cells.row_first[0]; c < cells.row_first[1]; ++c) {
        std::string_view h = cells.cell(c);
        if (data::validate_new_varname(h) != 0 || std::find(seen.begin(), seen.end(), h) != seen.end()) {
          header = false;
          break;
        }
        seen.push_back(h);
      }
    }
  }
  const std::size_t r0 = header ? 1 : 0;
  std::size_t ncol = 0;
  for (std::size_t r = 0; r < nrows_all; ++r) ncol = std::max(ncol, row_size(r));
  if (ncol == 0) return msg_quoting(ip.out, "no data in file ", shown, "\n", 2000);
  if (!given.empty() && given.size() != ncol) {
    return msg_quoting(ip.out, "{p 0 4}", shown,
                       " has " + std::to_string(ncol) + " columns but the varlist names " +
                           std::to_string(given.size()) + "{p_end}\n",
                       198);
  }
  const auto nobs = static_cast<std::int64_t>(nrows_all - r0);

  // Names, then each column's type from all its values.
  std::vector<std::string> vnames(ncol);
  for (std::size_t c = 0; c < ncol; ++c) {
    if (!given.empty()) vnames[c] = given[c].name;
    else if (header && c < row_size(0)) vnames[c] = name_from_heading(cells.cell(cells.row_first[0] + c));
  }
  for (std::size_t c = 0; c < ncol; ++c) {
    bool clash = vnames[c].empty();
    for (std::size_t d = 0; d < c && !clash; ++d) clash = vnames[d] == vnames[c];
    if (!clash) continue;
    for (std::size_t k = c + 1;; ++k) {
      std::string v = "v" + std::to_string(k);
      if (std::find(vnames.begin(), vnames.end(), v) == vnames.end()) {
        vnames[c] = v;
        break;
      }
    }
  }
  std::vector<ColumnScan> scan(ncol);
  for (std::size_t r = r0; r < nrows_all; ++r)
    for (std::size_t c = 0; c < row_size(r); ++c) scan[c].see(cells.cell(cells.row_first[r] + c));
  std::vector<data::Variable> vars(ncol);
  for (std::size_t c = 0; c < ncol; ++c) {
    vars[c].name = vnames[c];
    vars[c].type = static_cast<std::uint8_t>(scan[c].type(want_double));
    vars[c].format = data::default_format(vars[c].type);
  }

  Dataset fresh(ds.memory());
  fresh.set_maxvar(ds.maxvar());
  fresh.set_varabbrev(ds.varabbrev());
  if (rc_t rc = fresh.install_variables(vars)) return rc_message(ip, rc);
  if (rc_t rc = fresh.prepare_load(nobs)) return rc_message(ip, rc);
  std::vector<std::int64_t> cut(ncol, 0);
  for (std::int64_t i = 0; i < nobs; ++i) {
    std::size_t r = r0 + static_cast<std::size_t>(i);
    for (std::size_t c = 0; c < ncol; ++c) {
      int j = static_cast<int>(c) + 1;
      if (c < row_size(r)) {
        if (!store_cell(fresh, j, i, cells.cell(cells.row_first[r] + c))) ++cut[c];
      } else {
        data::store_missing(fresh.type(j), fresh.load_slot(i) + fresh.offset(j));
      }
    }
  }
  fresh.finish_load(nobs);

  ds.swap_contents(fresh);
  ds.set_changed(false);
  ip.data_changed = false;
  ip.out.set_class(output::OutClass::Text);
  for (std::size_t c = 0; c < ncol; ++c) {
    if (!cut[c]) continue;
    ip.out.print_markup("(note: " + std::to_string(cut[c]) + " values of ");
    ip.out.print_plain(vnames[c]);
    ip.out.print_markup(" cut to " + std::to_string(data::kStrMax) + " characters)\n");
  }
  ip.out.print_markup("(" + std::to_string(ncol) + (ncol == 1 ? " var, " : " vars, ") + std::to_string(nobs) +
                      (nobs == 1 ? " obs)\n" : " obs)\n"));
  return 0;
}

// infile newvarlist using filename [if] [in] [, clear]: free format,
// values separated by blanks, line ends or commas, strings in double
// quotes when they hold blanks; values fill the variables in turn,
// observation after observation, whatever the lines.
rc_t cmd_infile(Interp& ip) {
  std::string line(ip.reader.rest());
  std::string in_text;
  if (rc_t rc = take_in_range(ip, &line, &in_text)) return rc;
  ParseSettings st{.varlist = true, .allow_if = true, .allow_using = true};
  CommandLine cl;
  if (rc_t rc = dta::parse_text(ip, st, line, &cl)) return rc;
  bool clear = cl.flag("clear", 5, 0) == 1;
  cl.flag("automatic", 4, 0);
  if (rc_t rc = cl.leftover(ip)) return rc;
  if (!cl.has_using) return msg_required(ip, "using");
  Dataset& ds = ip.dataset;
  if (cl.varlist_text.empty() || cl.varlist_text.starts_with("using") || cl.varlist_text == "dictionary")
    return msg_quoting(ip.out, "varlist required; this system reads free-format files only\n", "", "", 100);
  std::vector<data::NewVariable> nv;
  std::string shown, text;
  if (rc_t rc = start_text_load(ip, cl, clear, &nv, &shown, &text)) return rc;

  // Values: runs of non-blanks, or quoted text; a comma ends a value, and
  // a comma with nothing before it since the last one stands for a
  // missing value.
  Cells cells;
  {
    std::string_view s = text;
    std::size_t i = 0, n = s.size();
    bool after_comma = false;
    while (i < n) {
      char ch = s[i];
      if (ch == ' ' || ch == '\t' || ch == '\r' || ch == '\n') {
        ++i;
        continue;
      }
      if (ch == ',') {
        if (after_comma) cells.end_cell();
        after_comma = true;
        ++i;
        continue;
      }
      after_comma = false;
      if (ch == '"') {
        // Inside quotes "" stands for one quote, as outfile writes it.
        std::size_t q = i + 1;
        while (q < n) {
          if (s[q] == '"') {
            if (q + 1 < n && s[q + 1] == '"') {
              cells.text.push_back('"');
              q += 2;
              continue;
            }
            break;
          }
          cells.text.push_back(s[q++]);
        }
        i = q < n ? q + 1 : n;
      } else {
        std::size_t q = i;
        while (q < n && s[q] != ' ' && s[q] != '\t' && s[q] != '\r' && s[q] != '\n' && s[q] != ',') ++q;
        cells.text.append(s.substr(i, q - i));
        i = q;
      }
      cells.end_cell();
    }
  }
  std::string().swap(text);
  const std::size_t k = nv.size();
  const std::size_t nvals = cells.count();
  const auto nobs = static_cast<std::int64_t>((nvals + k - 1) / k);

  std::vector<data::Variable> vars(k);
  for (std::size_t c = 0; c < k; ++c) {
    vars[c].name = nv[c].name;
    vars[c].type = static_cast<std::uint8_t>(nv[c].type);
    vars[c].format = data::default_format(nv[c].type);
  }
  Dataset fresh(ds.memory());
  fresh.set_maxvar(ds.maxvar());
  fresh.set_varabbrev(ds.varabbrev());
  if (rc_t rc = fresh.install_variables(vars)) return rc_message(ip, rc);
  if (rc_t rc = fresh.prepare_load(nobs)) return rc_message(ip, rc);
  std::int64_t bad = 0;
  std::string first_bad;
  for (std::int64_t i = 0; i < nobs; ++i) {
    for (std::size_t c = 0; c < k; ++c) {
      int j = static_cast<int>(c) + 1;
      std::size_t at = static_cast<std::size_t>(i) * k + c;
      if (at >= nvals) {
        data::store_missing(fresh.type(j), fresh.load_slot(i) + fresh.offset(j));
        continue;
      }
      if (!store_cell(fresh, j, i, cells.cell(at)) && !fresh.is_string(j)) {
        if (bad++ == 0)
          first_bad = "'" + std::string(cells.cell(at)) + "' cannot be read as a number for " + fresh.name(j) + "[" +
                      std::to_string(i + 1) + "]";
      }
    }
  }
  fresh.finish_load(nobs);
  if (rc_t rc = select_loaded(ip, fresh, cl.if_text, in_text)) return rc;

  ds.swap_contents(fresh);
  ds.set_changed(false);
  ip.data_changed = false;
  ip.out.set_class(output::OutClass::Text);
  if (bad) {
    ip.out.print_plain(first_bad);
    if (bad > 1) ip.out.print_markup(" (and " + std::to_string(bad - 1) + " more)");
    ip.out.print_markup("; set to missing\n");
  }
  if (nvals % k) ip.out.print_markup("(eof not at end of obs)\n");
  std::int64_t n = ds.nobs();
  ip.out.print_markup("(" + std::to_string(n) + (n == 1 ? " observation read)\n" : " observations read)\n"));
  return 0;
}

}  // namespace nuvra
