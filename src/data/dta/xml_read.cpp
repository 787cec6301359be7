// The XML reader: the dataset form element by element in the order the
// writer puts them, and workbooks cell by cell.
#include "data/dta/xml_read.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <map>
#include <unordered_map>
#include <unordered_set>

#include "base/text.h"
#include "data/dta/read_file.h"
#include "data/dta/xml_scan.h"
#include "data/format.h"
#include "data/functions/dates.h"
#include "data/missing.h"

namespace nuvra::dta {

namespace {

using data::Dataset;
using xml::Scanner;
using xml::Token;
using xml::TokenKind;

std::string_view trimmed(std::string_view s) { return base::trim_line_blanks(s); }

bool blank_only(std::string_view s) { return trimmed(s).empty(); }

// A whole number, blanks around it allowed, nothing else.
bool parse_int(std::string_view s, std::int64_t* out) {
  s = trimmed(s);
  if (s.empty()) return false;
  auto r = std::from_chars(s.data(), s.data() + s.size(), *out);
  return r.ec == std::errc() && r.ptr == s.data() + s.size();
}

// `.` -> 0, `.a`..`.z` -> 1..26, anything else -1.
int missing_spelling(std::string_view s) {
  if (s == ".") return 0;
  if (s.size() == 2 && s[0] == '.' && s[1] >= 'a' && s[1] <= 'z') return s[1] - 'a' + 1;
  return -1;
}

// A decimal number as the writer spells it (no infinities, no NaN, no
// hexadecimal): digits, sign, point and exponent only.
bool parse_decimal(std::string_view s, double* out) {
  if (s.empty() || s.find_first_not_of("0123456789+-.eE") != std::string_view::npos) return false;
  if (s[0] == '+') s.remove_prefix(1);
  auto r = std::from_chars(s.data(), s.data() + s.size(), *out);
  return r.ec == std::errc() && r.ptr == s.data() + s.size() && std::isfinite(*out);
}

// The value of a numeric variable of type `type` from its text, stored at
// p. False when the text is no value of that type.
bool store_text(int type, std::string_view s, char* p) {
  s = trimmed(s);
  double v;
  int m = missing_spelling(s);
  if (m >= 0) {
    v = data::missing_value(m);
  } else if (type == data::kFloat) {
    // Read as a float so that the shortest float spelling comes back as
    // the same float, not as the double nearest to it rounded again.
    if (s.empty() || s.find_first_not_of("0123456789+-.eE") != std::string_view::npos) return false;
    if (s[0] == '+') s.remove_prefix(1);
    float f;
    auto r = std::from_chars(s.data(), s.data() + s.size(), f);
    if (r.ec != std::errc() || r.ptr != s.data() + s.size() || !std::isfinite(f)) return false;
    v = f;
    if (std::fabs(v) > data::type_max(type)) return false;
  } else {
    if (!parse_decimal(s, &v)) return false;
    if (v < data::type_min(type) || v > data::type_max(type)) return false;
    if (type != data::kDouble && v != std::trunc(v)) return false;
  }
  data::store_value(type, p, v);
  return true;
}

// Token handling common to both document kinds.
class Reader {
 public:
  explicit Reader(Scanner& sc) : sc_(sc) {}

  rc_t fail(std::string_view what) { return sc_.fail(tok_.line, what); }

  // The next token that is not blank text; other text is out of place.
  rc_t next_tag() {
    for (;;) {
      if (rc_t rc = sc_.next(&tok_)) return rc;
      if (tok_.kind != TokenKind::kText) return 0;
      if (!blank_only(tok_.text)) return fail("text \"" + std::string(trimmed(tok_.text).substr(0, 20)) + "\" where an element was expected");
    }
  }

  rc_t expect_start(std::string_view name) {
    if (rc_t rc = next_tag()) return rc;
    if (tok_.kind == TokenKind::kStart && tok_.name == name) return 0;
    return unexpected("<" + std::string(name) + ">");
  }

  rc_t expect_end(std::string_view name) {
    if (rc_t rc = next_tag()) return rc;
    if (tok_.kind == TokenKind::kEnd) return 0;
    return unexpected("</" + std::string(name) + ">");
  }

  rc_t unexpected(const std::string& wanted) {
    std::string found;
    switch (tok_.kind) {
      case TokenKind::kStart: found = "element <" + std::string(tok_.name) + ">"; break;
      case TokenKind::kEnd: found = "</" + std::string(tok_.name) + ">"; break;
      default: found = "the end of the document"; break;
    }
    return fail(found + " where " + wanted + " was expected");
  }

  // The next item of a list element: a <tag> element (*found), or the end
  // of the list (not *found); anything else is out of place.
  rc_t next_item(std::string_view tag, bool* found) {
    if (rc_t rc = next_tag()) return rc;
    *found = tok_.kind != TokenKind::kEnd;
    if (*found && (tok_.kind != TokenKind::kStart || tok_.name != tag)) return unexpected("<" + std::string(tag) + ">");
    return 0;
  }

  // The character data of the element whose start tag was just read, up
  // to its end tag; an element inside it is out of place.
  rc_t text_content(std::string* out) {
    std::string_view name = tok_.name;
    out->clear();
    for (;;) {
      if (rc_t rc = sc_.next(&tok_)) return rc;
      if (tok_.kind == TokenKind::kText) out->append(tok_.text);
      else if (tok_.kind == TokenKind::kEnd) return 0;
      else return fail("element <" + std::string(tok_.name) + "> inside <" + std::string(name) + ">");
    }
  }

  // All text inside the element just opened, whatever elements it holds.
  rc_t all_text(std::string* out) {
    out->clear();
    for (int depth = 1; depth > 0;) {
      if (rc_t rc = sc_.next(&tok_)) return rc;
      if (tok_.kind == TokenKind::kText) out->append(tok_.text);
      else if (tok_.kind == TokenKind::kStart) ++depth;
      else if (tok_.kind == TokenKind::kEnd) --depth;
    }
    return 0;
  }

  rc_t skip_element() {
    for (int depth = 1; depth > 0;) {
      if (rc_t rc = sc_.next(&tok_)) return rc;
      if (tok_.kind == TokenKind::kStart) ++depth;
      else if (tok_.kind == TokenKind::kEnd) --depth;
    }
    return 0;
  }

  // After the root element: nothing but the end.
  rc_t expect_eof() {
    if (rc_t rc = sc_.next(&tok_)) return rc;
    return tok_.kind == TokenKind::kEof ? 0 : fail("content after the root element");
  }

  // The attribute's value, or a failure naming what is missing.
  rc_t attribute(std::string_view name, std::string* out) {
    const std::string* v = tok_.attr(name);
    if (!v) return fail("<" + std::string(tok_.name) + "> without its " + std::string(name) + " attribute");
    out->assign(*v);
    return 0;
  }

 protected:
  Scanner& sc_;
  Token tok_;
};

// ---- the dataset form ------------------------------------------------------

class DtaLoader : public Reader {
 public:
  DtaLoader(Scanner& sc, Dataset& ds, XmlLoadResult* res, std::size_t size)
      : Reader(sc), ds_(ds), res_(res), size_(size) {}

  rc_t run() {
    if (rc_t rc = header()) return rc;
    if (rc_t rc = descriptors()) return rc;
    if (rc_t rc = expansion()) return rc;
    if (rc_t rc = data()) return rc;
    if (rc_t rc = value_labels()) return rc;
    if (rc_t rc = expect_end("dta")) return rc;
    return expect_eof();
  }

 private:
  rc_t field(std::string_view name, std::string* text) {
    if (rc_t rc = expect_start(name)) return rc;
    return text_content(text);
  }

  rc_t header() {
    std::string t;
    std::int64_t n;
    if (rc_t rc = expect_start("header")) return rc;
    if (rc_t rc = field("ds_format", &t)) return rc;
    if (!parse_int(t, &n) || n < 102 || n > 114 || n == 109) {
      res_->error = "ds_format " + std::string(trimmed(t)) + " is not a format of this release";
      return 610;
    }
    if (rc_t rc = field("byteorder", &t)) return rc;
    if (trimmed(t) != "LOHI" && trimmed(t) != "HILO") return fail("byteorder is neither LOHI nor HILO");
    if (rc_t rc = field("filetype", &t)) return rc;
    if (!parse_int(t, &n) || n != 1) return 609;
    if (rc_t rc = field("nvar", &t)) return rc;
    if (!parse_int(t, &n) || n < 0 || n > data::kMaxMaxvar) return fail("bad nvar");
    if (n > ds_.maxvar()) return 900;
    nvar_ = static_cast<int>(n);
    if (rc_t rc = field("nobs", &t)) return rc;
    if (!parse_int(t, &n) || n < 0 || n > 2147483647) return fail("bad nobs");
    nobs_ = n;
    if (rc_t rc = field("data_label", &t)) return rc;
    ds_.set_data_label(t);
    if (rc_t rc = field("time_stamp", &res_->time_stamp)) return rc;
    return expect_end("header");
  }

  // One entry per variable, each naming its variable in order.
  template <class F>
  rc_t per_variable(std::string_view list, std::string_view item, F&& take) {
    if (rc_t rc = expect_start(list)) return rc;
    std::string text, name;
    for (int k = 0; k < nvar_; ++k) {
      if (rc_t rc = expect_start(item)) return rc;
      if (rc_t rc = attribute("varname", &name)) return rc;
      if (!vars_.empty() && name != vars_[static_cast<std::size_t>(k)].name)
        return fail("<" + std::string(item) + "> of " + name + " where " + vars_[static_cast<std::size_t>(k)].name + " was expected");
      if (rc_t rc = text_content(&text)) return rc;
      if (rc_t rc = take(static_cast<std::size_t>(k), name, text)) return rc;
    }
    return expect_end(list);
  }

  rc_t descriptors() {
    if (rc_t rc = expect_start("descriptors")) return rc;
    std::vector<data::Variable> vars(static_cast<std::size_t>(nvar_));
    std::unordered_map<std::string, int> number;
    rc_t rc = per_variable("typelist", "type", [&](std::size_t k, const std::string& name, const std::string& text) -> rc_t {
      int t = data::parse_type_name(trimmed(text));
      if (t == 0) return fail("type \"" + text + "\" of " + name + " is no storage type");
      if (data::validate_name(name)) return fail(name + " is not a valid variable name");
      if (!number.emplace(name, static_cast<int>(k) + 1).second) return fail("variable " + name + " given twice");
      vars[k].name = name;
      vars[k].type = static_cast<std::uint8_t>(t);
      vars[k].format = data::default_format(t);
      return 0;
    });
    if (rc) return rc;
    vars_ = vars;
    if ((rc = per_variable("varlist", "variable", [](std::size_t, const std::string&, const std::string&) { return 0; })))
      return rc;
    if ((rc = expect_start("srtlist"))) return rc;
    std::vector<int> sort;
    std::string name, text;
    for (bool found = true;;) {
      if ((rc = next_item("sort", &found))) return rc;
      if (!found) break;
      if ((rc = attribute("varname", &name))) return rc;
      auto it = number.find(name);
      if (it == number.end()) return fail("sort by " + name + ", which is no variable");
      if (std::find(sort.begin(), sort.end(), it->second) != sort.end()) return fail("sort by " + name + " twice");
      sort.push_back(it->second);
      if ((rc = text_content(&text))) return rc;
    }
    rc = per_variable("fmtlist", "fmt", [&](std::size_t k, const std::string&, const std::string& f) -> rc_t {
      data::Format parsed;
      // A format that does not suit the variable gets the type's own, as
      // the binary reader does.
      if (f.size() <= data::kMaxFormatLength && data::parse_format(f, &parsed, true) &&
          data::valid_for_type(parsed, data::is_string_type(vars_[k].type)))
        vars_[k].format = f;
      return 0;
    });
    if (rc) return rc;
    rc = per_variable("lbllist", "lblname", [&](std::size_t k, const std::string& name, const std::string& l) -> rc_t {
      if (!l.empty() && data::validate_name(l)) return fail("value-label name \"" + l + "\" of " + name + " is not a name");
      vars_[k].value_label = l;
      return 0;
    });
    if (rc) return rc;
    if ((rc = expect_end("descriptors"))) return rc;
    rc = per_variable("variable_labels", "vlabel", [&](std::size_t k, const std::string&, const std::string& l) -> rc_t {
      vars_[k].label = l.substr(0, data::kMaxVarLabelLength);
      return 0;
    });
    if (rc) return rc;
    if ((rc = ds_.install_variables(vars_))) return rc;
    ds_.set_sort_list(sort);
    return 0;
  }

  rc_t expansion() {
    if (rc_t rc = expect_start("expansion")) return rc;
    std::string name, owner, text;
    for (bool found = true;;) {
      if (rc_t rc = next_item("char", &found)) return rc;
      if (!found) return 0;
      if (rc_t rc = attribute("name", &name)) return rc;
      if (rc_t rc = attribute("vname", &owner)) return rc;
      if (rc_t rc = text_content(&text)) return rc;
      if (owner != "_dta" && !ds_.find_exact(owner)) return fail("characteristic of " + owner + ", which is no variable");
      rc_t rc = ds_.chars().set(owner, name, text);
      if (rc == 950) return rc;
      if (rc) return fail("characteristic name \"" + name + "\" is not a name");
    }
  }

  rc_t data() {
    if (rc_t rc = expect_start("data")) return rc;
    // Every observation costs the document at least the 15 bytes of
    // <o num="1"></o>: a count beyond that is not believed, before any
    // room is made for it.
    if (nobs_ > static_cast<std::int64_t>(size_ / 15))
      return fail("nobs " + std::to_string(nobs_) + " is more than the document holds");
    if (rc_t rc = ds_.prepare_load(nobs_)) return rc;
    const int nv = ds_.nvar();
    std::string num;
    char buf[24];
    for (std::int64_t i = 1; i <= nobs_; ++i) {
      if (rc_t rc = next_tag()) return rc;
      if (tok_.kind == TokenKind::kEnd)
        return fail("nobs is " + std::to_string(nobs_) + " but the data hold " + std::to_string(i - 1) + " observations");
      if (tok_.kind != TokenKind::kStart || tok_.name != "o") return unexpected("<o>");
      const std::string* n = tok_.attr("num");
      auto r = std::to_chars(buf, buf + sizeof buf, i);
      if (!n || *n != std::string_view(buf, static_cast<std::size_t>(r.ptr - buf)))
        return fail("<o> numbered other than " + std::string(buf, static_cast<std::size_t>(r.ptr - buf)));
      char* rec = ds_.load_slot(i - 1);
      for (int j = 1; j <= nv; ++j) {
        if (rc_t rc = next_tag()) return rc;
        if (tok_.kind != TokenKind::kStart || tok_.name != "v") return unexpected("<v> of " + ds_.name(j));
        const std::string* vn = tok_.attr("varname");
        if (!vn || *vn != ds_.name(j)) return fail("<v> of observation " + std::to_string(i) + " where " + ds_.name(j) + " was expected");
        if (rc_t rc = text_content(&value_)) return rc;
        char* p = rec + ds_.offset(j);
        const int t = ds_.type(j);
        if (data::is_string_type(t)) {
          if (value_.size() > static_cast<std::size_t>(t))
            return fail("value of " + ds_.name(j) + " longer than " + data::type_name(t));
          std::memcpy(p, value_.data(), value_.size());
          std::memset(p + value_.size(), 0, static_cast<std::size_t>(t) - value_.size());
        } else if (!store_text(t, value_, p)) {
          return fail("\"" + value_.substr(0, 30) + "\" is no " + data::type_name(t) + " value (" + ds_.name(j) + ")");
        }
      }
      if (rc_t rc = expect_end("o")) return rc;
    }
    if (rc_t rc = next_tag()) return rc;
    if (tok_.kind == TokenKind::kStart && tok_.name == "o")
      return fail("more observations than nobs " + std::to_string(nobs_));
    if (tok_.kind != TokenKind::kEnd) return unexpected("</data>");
    ds_.finish_load(nobs_);
    return 0;
  }

  rc_t value_labels() {
    if (rc_t rc = expect_start("value_labels")) return rc;
    std::string name, value, text;
    for (bool found = true;;) {
      if (rc_t rc = next_item("vallab", &found)) return rc;
      if (!found) return 0;
      if (rc_t rc = attribute("name", &name)) return rc;
      if (data::validate_name(name)) return fail("value-label name \"" + name + "\" is not a name");
      if (ds_.value_labels().exists(name)) return fail("value label " + name + " given twice");
      std::map<std::int32_t, std::string> entries;
      for (bool found = true;;) {
        if (rc_t rc = next_item("label", &found)) return rc;
        if (!found) break;
        if (rc_t rc = attribute("value", &value)) return rc;
        std::int64_t v;
        if (!parse_int(value, &v) || v < INT32_MIN || v > INT32_MAX) return fail("label value \"" + value + "\" is not an integer");
        if (rc_t rc = text_content(&text)) return rc;
        if (!entries.emplace(static_cast<std::int32_t>(v), text).second) return fail("value " + value + " labelled twice in " + name);
      }
      data::ValueLabel table;
      if (data::ValueLabel::encode(entries, &table)) return 950;
      if (ds_.value_labels().put(name, std::move(table))) return 950;
    }
  }

  Dataset& ds_;
  XmlLoadResult* res_;
  std::size_t size_;
  int nvar_ = 0;
  std::int64_t nobs_ = 0;
  std::vector<data::Variable> vars_;
  std::string value_;
};

// ---- workbooks -------------------------------------------------------------

std::string column_letters(int c) {
  std::string s;
  for (; c > 0; c = (c - 1) / 26) s.insert(s.begin(), static_cast<char>('A' + (c - 1) % 26));
  return s;
}

struct Cell {
  int row = 0, col = 0;
  char kind = 'S';  // N number, S string, B boolean, D date-time, E error
  std::string text;
};

// "yyyy-mm-ddThh:mm:ss.fff" (the time optional): days since 1 Jan 1960
// and the milliseconds into the day.
bool parse_datetime(std::string_view s, double* day, double* ms) {
  s = trimmed(s);
  int y, mo, d, h = 0, mi = 0;
  double sec = 0;
  auto num = [&](std::size_t at, std::size_t n, int* out) {
    if (at + n > s.size()) return false;
    auto r = std::from_chars(s.data() + at, s.data() + at + n, *out);
    return r.ec == std::errc() && r.ptr == s.data() + at + n;
  };
  if (s.size() < 10 || !num(0, 4, &y) || s[4] != '-' || !num(5, 2, &mo) || s[7] != '-' || !num(8, 2, &d)) return false;
  if (s.size() > 10) {
    if (s[10] != 'T' || !num(11, 2, &h) || s.size() < 16 || s[13] != ':' || !num(14, 2, &mi)) return false;
    if (s.size() > 16) {
      if (s[16] != ':' || s.size() < 19) return false;
      std::string_view rest = s.substr(17);
      if (rest.find_first_not_of("0123456789.") != std::string_view::npos) return false;
      auto r = std::from_chars(rest.data(), rest.data() + rest.size(), sec);
      if (r.ec != std::errc() || r.ptr != rest.data() + rest.size()) return false;
    }
  }
  if (h > 23 || mi > 59 || sec >= 60) return false;
  *day = dates::mdy(mo, d, y);
  if (data::is_missing(*day)) return false;
  *ms = std::round(((h * 60.0 + mi) * 60.0 + sec) * 1000.0);
  return true;
}

class SheetLoader : public Reader {
 public:
  SheetLoader(Scanner& sc, const XmlLoadOptions& opt, Dataset& ds, XmlLoadResult* res)
      : Reader(sc), opt_(opt), ds_(ds), res_(res) {}

  rc_t run() {
    bool found = false;
    std::string name;
    for (;;) {
      if (rc_t rc = next_tag()) return rc;
      if (tok_.kind == TokenKind::kEnd) break;
      const std::string* n = tok_.attr("Name");
      if (tok_.local() == "Worksheet" && !found && (opt_.sheet.empty() || (n && *n == opt_.sheet))) {
        found = true;
        if (rc_t rc = worksheet()) return rc;
      } else if (rc_t rc = skip_element()) {
        return rc;
      }
    }
    if (rc_t rc = expect_eof()) return rc;
    if (!found) {
      if (opt_.sheet.empty()) return fail("the workbook holds no worksheet");
      res_->error = "worksheet " + opt_.sheet + " not found";
      return 111;
    }
    return build();
  }

 private:
  // A positive index attribute (ss:Index) that moves forward: 0 when
  // absent, -1 when bad.
  int index_attr(int after, int limit) {
    const std::string* s = tok_.attr("Index");
    if (!s) return 0;
    std::int64_t v;
    if (!parse_int(*s, &v) || v <= after || v > limit) return -1;
    return static_cast<int>(v);
  }

  // Opens the next child element called `local`, skipping the others;
  // *found is false when the parent ends first.
  rc_t next_child(std::string_view local, bool* found) {
    for (;;) {
      if (rc_t rc = next_tag()) return rc;
      if (tok_.kind == TokenKind::kEnd) {
        *found = false;
        return 0;
      }
      if (tok_.local() == local) {
        *found = true;
        return 0;
      }
      if (rc_t rc = skip_element()) return rc;
    }
  }

  // Moves *at to the place of the row or cell just opened: its index
  // attribute, or the one after *at.
  rc_t advance_index(int* at, int limit, std::string_view item, std::string_view items) {
    int idx = index_attr(*at, limit);
    if (idx < 0) return fail("bad " + std::string(item) + " index");
    *at = idx ? idx : *at + 1;
    if (*at > limit) return fail("more " + std::string(items) + " than a worksheet holds");
    return 0;
  }

  rc_t worksheet() {
    for (bool found = true;;) {
      if (rc_t rc = next_child("Table", &found)) return rc;
      if (!found) return 0;
      if (rc_t rc = table()) return rc;
    }
  }

  rc_t table() {
    int row = 0;
    for (bool found = true;;) {
      if (rc_t rc = next_child("Row", &found)) return rc;
      if (!found) return 0;
      if (rc_t rc = advance_index(&row, kMaxSheetRows, "row", "rows")) return rc;
      if (rc_t rc = cells(row)) return rc;
    }
  }

  rc_t cells(int row) {
    int col = 0;
    for (bool found = true;;) {
      if (rc_t rc = next_child("Cell", &found)) return rc;
      if (!found) return 0;
      if (rc_t rc = advance_index(&col, kMaxSheetCols, "cell", "columns")) return rc;
      std::int64_t merge = 0;
      if (const std::string* m = tok_.attr("MergeAcross"); m && (!parse_int(*m, &merge) || merge < 0 || merge > kMaxSheetCols))
        return fail("bad MergeAcross");
      if (rc_t rc = cell(row, col)) return rc;
      col += static_cast<int>(merge);
    }
  }

  rc_t cell(int row, int col) {
    for (bool found = true;;) {
      if (rc_t rc = next_child("Data", &found)) return rc;
      if (!found) return 0;
      const std::string* type = tok_.attr("Type");
      char kind = 'S';
      if (type) {
        if (*type == "Number") kind = 'N';
        else if (*type == "Boolean") kind = 'B';
        else if (*type == "DateTime") kind = 'D';
        else if (*type == "Error") kind = 'E';
      }
      std::string text;
      if (rc_t rc = all_text(&text)) return rc;
      bool inside = row >= opt_.first_row && col >= opt_.first_col && (opt_.last_row == 0 || row <= opt_.last_row) &&
                    (opt_.last_col == 0 || col <= opt_.last_col);
      if (inside && kind != 'E') cells_.push_back(Cell{row, col, kind, std::move(text)});
    }
  }

  std::string where(const Cell& c) { return "cell " + column_letters(c.col) + std::to_string(c.row); }

  rc_t bad_cell(const Cell& c, std::string_view what) {
    res_->error = where(c) + ": " + std::string(what) + " \"" + c.text.substr(0, 30) + "\"";
    return 688;
  }

  // A variable name from a heading: letters, digits and underscores, not
  // beginning with a digit, at most 32 characters.
  static std::string name_from(std::string_view h) {
    std::string n;
    for (char c : trimmed(h)) {
      if (std::isalnum(static_cast<unsigned char>(c)) || c == '_') n.push_back(c);
      else if (!n.empty() && n.back() != '_') n.push_back('_');
    }
    while (!n.empty() && n.back() == '_' && n.size() > 1) n.pop_back();
    if (!n.empty() && std::isdigit(static_cast<unsigned char>(n[0]))) n.insert(n.begin(), '_');
    if (n.size() > data::kMaxNameLength) n.resize(data::kMaxNameLength);
    return n;
  }

  // The number a cell of a numeric column stands for.
  double cell_number(const Cell& c, bool days) const {
    double x = data::kMissing, day, ms;
    if (c.kind == 'N' || c.kind == 'B') {
      parse_decimal(trimmed(c.text), &x);
    } else if (c.kind == 'D') {
      // With datestring a date is text, and text in a numeric column is `.`.
      if (!opt_.datestring && parse_datetime(c.text, &day, &ms)) x = days ? day : day * 86400000.0 + ms;
    } else {
      int m = missing_spelling(trimmed(c.text));
      x = data::missing_value(m < 0 ? 0 : m);
    }
    return x;
  }

  // The text a cell of a string column holds: numbers as written.
  static std::string_view cell_text(const Cell& c) {
    std::string_view s = c.kind == 'N' ? trimmed(c.text) : std::string_view(c.text);
    return s.substr(0, data::kStrMax);
  }

  // Two passes over the cells, column by column: the first decides each
  // variable's name, type and format; the second stores the values straight
  // into the data area, so that nothing beside the dataset grows with the
  // number of rows times columns the worksheet claims.
  rc_t build() {
    int maxr = 0, maxc = 0;
    for (const Cell& c : cells_) maxr = std::max(maxr, c.row), maxc = std::max(maxc, c.col);
    const int r1 = opt_.first_row, c1 = opt_.first_col;
    const int r2 = opt_.last_row ? std::min(opt_.last_row, maxr) : maxr;
    const int c2 = opt_.last_col ? std::min(opt_.last_col, maxc) : maxc;
    const int nv = c2 >= c1 ? c2 - c1 + 1 : 0;
    if (nv > ds_.maxvar()) return 900;
    const int d1 = opt_.firstrow ? r1 + 1 : r1;
    const std::int64_t nobs = nv > 0 && r2 >= d1 ? r2 - d1 + 1 : 0;
    std::stable_sort(cells_.begin(), cells_.end(),
                     [](const Cell& a, const Cell& b) { return a.col != b.col ? a.col < b.col : a.row < b.row; });

    std::vector<data::Variable> vars(static_cast<std::size_t>(nv));
    std::vector<std::size_t> begin(static_cast<std::size_t>(nv) + 1);
    std::vector<char> days(static_cast<std::size_t>(nv), 0);
    std::unordered_set<std::string> taken;
    std::size_t cut = 0;
    std::size_t at = 0;
    for (int k = 0; k < nv; ++k) {
      const int col = c1 + k;
      const std::size_t from = at;
      begin[static_cast<std::size_t>(k)] = from;
      while (at < cells_.size() && cells_[at].col == col) ++at;
      std::string heading;
      bool any_num = false, any_text = false, any_date = false, all_days = true;
      for (std::size_t i = from; i < at; ++i) {
        const Cell& c = cells_[i];
        if (c.row > r2) continue;
        if (opt_.firstrow && c.row == r1) {
          heading = c.text;
          continue;
        }
        double day, ms;
        switch (c.kind) {
          case 'N':
          case 'B': {
            double v;
            if (!parse_decimal(trimmed(c.text), &v) || v >= data::kMissing) return bad_cell(c, "bad number");
            any_num = true;
            break;
          }
          case 'D':
            if (opt_.datestring) {
              any_text = true;
              break;
            }
            if (!parse_datetime(c.text, &day, &ms)) return bad_cell(c, "bad date-time");
            any_num = any_date = true;
            all_days = all_days && ms == 0;
            break;
          default:
            if (missing_spelling(trimmed(c.text)) < 0) any_text = true;
        }
      }
      data::Variable& v = vars[static_cast<std::size_t>(k)];
      // The name: the heading made into a name, else the column's letters,
      // else v and the column number; never one taken already.
      std::vector<std::string> candidates;
      if (opt_.firstrow) candidates.push_back(name_from(heading));
      candidates.push_back(column_letters(col));
      candidates.push_back("v" + std::to_string(col));
      for (const std::string& cand : candidates) {
        if (!cand.empty() && !data::validate_new_varname(cand) && !taken.count(cand)) {
          v.name = cand;
          break;
        }
      }
      for (int s = 2; v.name.empty(); ++s) {
        std::string cand = "v" + std::to_string(col) + "_" + std::to_string(s);
        if (!taken.count(cand)) v.name = cand;
      }
      taken.insert(v.name);
      if (opt_.firstrow && !heading.empty() && heading != v.name) v.label = heading.substr(0, data::kMaxVarLabelLength);

      if (opt_.allstring || (any_text && (!opt_.missing || !any_num))) {
        std::size_t width = 1;
        for (std::size_t i = from; i < at; ++i) {
          const Cell& c = cells_[i];
          if (c.row < d1 || c.row > r2) continue;
          std::size_t n = c.kind == 'N' ? trimmed(c.text).size() : c.text.size();
          if (n > data::kStrMax) ++cut;
          width = std::max(width, std::min<std::size_t>(n, data::kStrMax));
        }
        v.type = static_cast<std::uint8_t>(width);
        v.format = data::default_format(v.type);
        continue;
      }
      days[static_cast<std::size_t>(k)] = all_days;
      // The narrowest storage type that holds every value exactly: byte,
      // int or long for whole numbers in their ranges, float when each
      // value survives the trip through a float, else double.
      bool whole = true, fits_float = true;
      double lo = 0, hi = 0;
      for (std::size_t i = from; i < at; ++i) {
        const Cell& c = cells_[i];
        if (c.row < d1 || c.row > r2) continue;
        double x = cell_number(c, all_days);
        if (data::is_missing(x)) continue;
        whole = whole && x == std::trunc(x);
        lo = std::min(lo, x), hi = std::max(hi, x);
        fits_float = fits_float && std::fabs(x) <= data::type_max(data::kFloat) &&
                     static_cast<double>(static_cast<float>(x)) == x;
      }
      int t = fits_float ? data::kFloat : data::kDouble;
      if (whole) {
        for (int w : {data::kLong, data::kInt, data::kByte})
          if (lo >= data::type_min(w) && hi <= data::type_max(w)) t = w;
      }
      v.type = static_cast<std::uint8_t>(opt_.nocompress ? data::kDouble : t);
      if (any_date) v.format = all_days ? "%td" : "%tc";
      else v.format = data::default_format(v.type);
    }
    begin[static_cast<std::size_t>(nv)] = at;

    if (rc_t rc = ds_.install_variables(vars)) return rc;
    if (rc_t rc = ds_.prepare_load(nobs)) return rc;
    // Every value empty first ...
    for (std::int64_t i = 0; i < nobs; ++i) {
      char* rec = ds_.load_slot(i);
      for (int j = 1; j <= nv; ++j) {
        char* p = rec + ds_.offset(j);
        const int t = ds_.type(j);
        if (data::is_string_type(t)) std::memset(p, 0, static_cast<std::size_t>(t));
        else data::store_value(t, p, data::kMissing);
      }
    }
    // ... then the cells that hold something.
    for (int j = 1; j <= nv; ++j) {
      const int t = ds_.type(j);
      const std::uint32_t off = ds_.offset(j);
      for (std::size_t i = begin[static_cast<std::size_t>(j - 1)]; i < begin[static_cast<std::size_t>(j)]; ++i) {
        const Cell& c = cells_[i];
        if (c.row < d1 || c.row > r2) continue;
        char* p = ds_.load_slot(c.row - d1) + off;
        if (data::is_string_type(t)) {
          std::string_view s = cell_text(c);
          std::memcpy(p, s.data(), s.size());
        } else {
          data::store_value(t, p, cell_number(c, days[static_cast<std::size_t>(j - 1)]));
        }
      }
    }
    ds_.finish_load(nobs);
    if (cut) res_->notes.push_back("(note: " + std::to_string(cut) + " text cells longer than 244 characters were cut)");
    return 0;
  }

  const XmlLoadOptions& opt_;
  Dataset& ds_;
  XmlLoadResult* res_;
  std::vector<Cell> cells_;
};

}  // namespace

bool parse_cell_range(std::string_view text, XmlLoadOptions* opt) {
  auto corner = [](std::string_view s, int* row, int* col) {
    std::size_t k = 0;
    std::int64_t c = 0;
    while (k < s.size() && std::isalpha(static_cast<unsigned char>(s[k]))) {
      c = c * 26 + (std::toupper(static_cast<unsigned char>(s[k])) - 'A' + 1);
      if (c > kMaxSheetCols) return false;
      ++k;
    }
    std::int64_t r;
    if (k == 0 || k == s.size() || !std::isdigit(static_cast<unsigned char>(s[k]))) return false;
    auto res = std::from_chars(s.data() + k, s.data() + s.size(), r);
    if (res.ec != std::errc() || res.ptr != s.data() + s.size() || r < 1 || r > kMaxSheetRows) return false;
    *row = static_cast<int>(r);
    *col = static_cast<int>(c);
    return true;
  };
  text = trimmed(text);
  std::size_t colon = text.find(':');
  XmlLoadOptions o = *opt;
  if (!corner(text.substr(0, colon), &o.first_row, &o.first_col)) return false;
  o.last_row = o.last_col = 0;
  if (colon != std::string_view::npos) {
    if (!corner(text.substr(colon + 1), &o.last_row, &o.last_col)) return false;
    if (o.last_row < o.first_row || o.last_col < o.first_col) return false;
  }
  *opt = o;
  return true;
}

rc_t load_xml_bytes(const char* data, std::size_t size, const XmlLoadOptions& opt, Dataset* fresh,
                    XmlLoadResult* res) {
  Scanner sc(data, size);
  rc_t rc = sc.start();
  if (rc == 0) {
    Token root;
    rc = sc.next(&root);
    if (rc == 0) {
      std::string_view local = root.local();
      bool dta = root.name == "dta" && opt.doctype != DocType::kExcel;
      bool book = local == "Workbook" && opt.doctype != DocType::kDta;
      if (dta) {
        DtaLoader ld(sc, *fresh, res, size);
        rc = ld.run();
      } else if (book) {
        SheetLoader ld(sc, opt, *fresh, res);
        rc = ld.run();
      } else {
        res->error = "the root element <" + std::string(root.name) + "> is not " +
                     (opt.doctype == DocType::kExcel ? "a workbook" : opt.doctype == DocType::kDta ? "<dta>" : "<dta> or a workbook");
        rc = 610;
      }
    }
  }
  if (rc == 688 && res->error.empty()) res->error = sc.error();
  if (rc == 0) fresh->set_changed(false);
  return rc;
}

rc_t load_xml_file(const std::string& path, const XmlLoadOptions& opt, Dataset* fresh, XmlLoadResult* res) {
  std::string buf;
  rc_t rc = with_file_for_reading(path, [&buf](int fd, std::uint64_t size) -> rc_t {
    try {
      buf.resize(static_cast<std::size_t>(size));
    } catch (const std::bad_alloc&) {
      return 950;
    }
    std::size_t got = 0;
    while (got < buf.size()) {
      ssize_t k = ::read(fd, buf.data() + got, std::min<std::size_t>(buf.size() - got, 16384));
      if (k < 0 && errno == EINTR) continue;
      if (k < 0) return 692;
      if (k == 0) break;
      got += static_cast<std::size_t>(k);
    }
    buf.resize(got);
    return 0;
  });
  if (rc) return rc;
  return load_xml_bytes(buf.data(), buf.size(), opt, fresh, res);
}

}  // namespace nuvra::dta
