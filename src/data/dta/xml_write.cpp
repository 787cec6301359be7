// The XML writer: the dataset form and the workbook form, written in
// pieces of about 64 KB through a temporary file.
#include "data/dta/xml_write.h"

#include <charconv>
#include <functional>
#include <string_view>

#include "data/dta/dta_layout.h"
#include "data/dta/dta_write.h"
#include "data/dta/replace_file.h"
#include "data/dta/xml_scan.h"
#include "data/missing.h"

namespace nuvra::dta {

namespace {

using data::Dataset;

constexpr std::size_t kSpillAt = std::size_t{1} << 16;

// The document type that the root `dta` declares: what the reader checks
// element by element.
constexpr std::string_view kDoctype =
    "<!DOCTYPE dta [\n"
    "<!ELEMENT dta (header, descriptors, variable_labels, expansion, data, value_labels)>\n"
    "<!ELEMENT header (ds_format, byteorder, filetype, nvar, nobs, data_label, time_stamp)>\n"
    "<!ELEMENT ds_format (#PCDATA)>\n"
    "<!ELEMENT byteorder (#PCDATA)>\n"
    "<!ELEMENT filetype (#PCDATA)>\n"
    "<!ELEMENT nvar (#PCDATA)>\n"
    "<!ELEMENT nobs (#PCDATA)>\n"
    "<!ELEMENT data_label (#PCDATA)>\n"
    "<!ELEMENT time_stamp (#PCDATA)>\n"
    "<!ELEMENT descriptors (typelist, varlist, srtlist, fmtlist, lbllist)>\n"
    "<!ELEMENT typelist (type*)>\n"
    "<!ELEMENT type (#PCDATA)>\n"
    "<!ATTLIST type varname CDATA #REQUIRED>\n"
    "<!ELEMENT varlist (variable*)>\n"
    "<!ELEMENT variable EMPTY>\n"
    "<!ATTLIST variable varname CDATA #REQUIRED>\n"
    "<!ELEMENT srtlist (sort*)>\n"
    "<!ELEMENT sort EMPTY>\n"
    "<!ATTLIST sort varname CDATA #REQUIRED>\n"
    "<!ELEMENT fmtlist (fmt*)>\n"
    "<!ELEMENT fmt (#PCDATA)>\n"
    "<!ATTLIST fmt varname CDATA #REQUIRED>\n"
    "<!ELEMENT lbllist (lblname*)>\n"
    "<!ELEMENT lblname (#PCDATA)>\n"
    "<!ATTLIST lblname varname CDATA #REQUIRED>\n"
    "<!ELEMENT variable_labels (vlabel*)>\n"
    "<!ELEMENT vlabel (#PCDATA)>\n"
    "<!ATTLIST vlabel varname CDATA #REQUIRED>\n"
    "<!ELEMENT expansion (char*)>\n"
    "<!ELEMENT char (#PCDATA)>\n"
    "<!ATTLIST char name CDATA #REQUIRED vname CDATA #REQUIRED>\n"
    "<!ELEMENT data (o*)>\n"
    "<!ELEMENT o (v*)>\n"
    "<!ATTLIST o num CDATA #REQUIRED>\n"
    "<!ELEMENT v (#PCDATA)>\n"
    "<!ATTLIST v varname CDATA #REQUIRED>\n"
    "<!ELEMENT value_labels (vallab*)>\n"
    "<!ELEMENT vallab (label*)>\n"
    "<!ATTLIST vallab name CDATA #REQUIRED>\n"
    "<!ELEMENT label (#PCDATA)>\n"
    "<!ATTLIST label value CDATA #REQUIRED>\n"
    "]>\n";

constexpr std::string_view kDeclaration = "<?xml version=\"1.0\" encoding=\"US-ASCII\" standalone=\"yes\"?>\n";
constexpr std::string_view kSheetNamespace = "urn:schemas-microsoft-com:office:spreadsheet";

// Appends markup to a buffer that is handed to `spill` whenever it grows
// past kSpillAt; indentation and line ends only when legible.
class Doc {
 public:
  Doc(std::string* out, bool legible, std::function<void(std::string*)> spill)
      : out_(*out), legible_(legible), spill_(std::move(spill)) {}

  void raw(std::string_view s) { out_.append(s); }
  void text(std::string_view s) { xml::append_escaped(&out_, s); }
  void indent() {
    if (legible_) out_.append(2 * static_cast<std::size_t>(depth_), ' ');
  }
  void eol() {
    if (legible_) out_.push_back('\n');
    if (out_.size() >= kSpillAt && spill_) spill_(&out_);
  }
  // <tag a="v"> on a line of its own, the content indented below it.
  void open(std::string_view tag, std::string_view attr = {}, std::string_view value = {}) {
    indent();
    begin(tag, attr, value);
    out_.push_back('>');
    eol();
    ++depth_;
  }
  void close(std::string_view tag) {
    --depth_;
    indent();
    end(tag);
    eol();
  }
  // <tag a="v">text</tag> on one line.
  void leaf(std::string_view tag, std::string_view attr, std::string_view value, std::string_view content) {
    leaf_of(tag, attr, value, content, true);
  }
  // The same with the content already spelled (numbers).
  void leaf_raw(std::string_view tag, std::string_view attr, std::string_view value, std::string_view content) {
    leaf_of(tag, attr, value, content, false);
  }
  void leaf_of(std::string_view tag, std::string_view attr, std::string_view value, std::string_view content,
               bool escape) {
    indent();
    begin(tag, attr, value);
    out_.push_back('>');
    if (escape)
      text(content);
    else
      raw(content);
    end(tag);
    eol();
  }
  void empty(std::string_view tag, std::string_view attr = {}, std::string_view value = {}) {
    indent();
    begin(tag, attr, value);
    out_.append("/>");
    eol();
  }
  void begin(std::string_view tag, std::string_view attr, std::string_view value) {
    out_.push_back('<');
    out_.append(tag);
    if (!attr.empty()) {
      out_.push_back(' ');
      out_.append(attr);
      out_.append("=\"");
      text(value);
      out_.push_back('"');
    }
  }
  void end(std::string_view tag) {
    out_.append("</");
    out_.append(tag);
    out_.push_back('>');
  }

 private:
  std::string& out_;
  bool legible_;
  int depth_ = 0;
  std::function<void(std::string*)> spill_;
};

// The text of a string value: its bytes up to the first NUL or the width
// of its type.
std::string_view string_value(const Dataset& ds, int j, std::int64_t i) {
  const char* p = ds.value_ptr(j, i);
  const auto width = static_cast<std::size_t>(ds.type(j));
  std::size_t n = 0;
  while (n < width && p[n]) ++n;
  return std::string_view(p, n);
}

// A value as the reader takes it back to the same stored bits: `.` and
// `.a`..`.z` for missing values, integers as integers, float and double
// values in the shortest form that reads back to the same number of
// their type.
std::string_view number_text(int type, double v, char (&buf)[40]) {
  int m = data::missing_code(v);
  if (m >= 0) {
    buf[0] = '.';
    buf[1] = static_cast<char>('a' + m - 1);
    return std::string_view(buf, m ? 2 : 1);
  }
  std::to_chars_result r{};
  if (type == data::kFloat) r = std::to_chars(buf, buf + sizeof buf, static_cast<float>(v));
  else if (type == data::kDouble) r = std::to_chars(buf, buf + sizeof buf, v);
  else r = std::to_chars(buf, buf + sizeof buf, static_cast<long long>(v));
  return std::string_view(buf, static_cast<std::size_t>(r.ptr - buf));
}

void write_dta(const Dataset& ds, const XmlSaveOptions& opt, Doc& d) {
  const int nv = ds.nvar();
  char buf[40];
  d.raw(kDeclaration);
  d.raw(kDoctype);
  d.open("dta");
  d.open("header");
  d.leaf_raw("ds_format", {}, {}, std::to_string(kFormatNewest));
  d.leaf_raw("byteorder", {}, {}, "LOHI");
  d.leaf_raw("filetype", {}, {}, "1");
  d.leaf_raw("nvar", {}, {}, std::to_string(nv));
  d.leaf_raw("nobs", {}, {}, std::to_string(ds.nobs()));
  d.leaf("data_label", {}, {}, ds.data_label());
  d.leaf("time_stamp", {}, {}, time_stamp_text(opt.stamp));
  d.close("header");

  d.open("descriptors");
  d.open("typelist");
  for (int j = 1; j <= nv; ++j) d.leaf("type", "varname", ds.name(j), data::type_name(ds.type(j)));
  d.close("typelist");
  d.open("varlist");
  for (int j = 1; j <= nv; ++j) d.empty("variable", "varname", ds.name(j));
  d.close("varlist");
  d.open("srtlist");
  for (std::uint16_t j : ds.sort_list()) {
    if (j == 0 || j > nv) break;
    d.empty("sort", "varname", ds.name(j));
  }
  d.close("srtlist");
  d.open("fmtlist");
  for (int j = 1; j <= nv; ++j) d.leaf("fmt", "varname", ds.name(j), ds.format(j));
  d.close("fmtlist");
  d.open("lbllist");
  for (int j = 1; j <= nv; ++j) d.leaf("lblname", "varname", ds.name(j), ds.value_label_name(j));
  d.close("lbllist");
  d.close("descriptors");

  d.open("variable_labels");
  for (int j = 1; j <= nv; ++j) d.leaf("vlabel", "varname", ds.name(j), ds.label(j));
  d.close("variable_labels");

  d.open("expansion");
  auto put_chars = [&](const std::string& owner) {
    for (const auto& e : ds.chars().entries(owner)) {
      d.indent();
      d.begin("char", "name", e.name);
      d.raw(" vname=\"");
      d.text(owner);
      d.raw("\">");
      d.text(e.contents);
      d.end("char");
      d.eol();
    }
  };
  put_chars("_dta");
  for (int j = 1; j <= nv; ++j) put_chars(ds.name(j));
  d.close("expansion");

  d.open("data");
  std::string scratch;
  for (std::int64_t i = 1; i <= ds.nobs(); ++i) {
    auto r = std::to_chars(buf, buf + sizeof buf, i);
    d.open("o", "num", std::string_view(buf, static_cast<std::size_t>(r.ptr - buf)));
    for (int j = 1; j <= nv; ++j) {
      const int t = ds.type(j);
      if (data::is_string_type(t)) {
        d.leaf("v", "varname", ds.name(j), string_value(ds, j, i));
      } else {
        d.leaf_raw("v", "varname", ds.name(j), number_text(t, ds.fetch(j, i), buf));
      }
    }
    d.close("o");
  }
  d.close("data");

  // Every table goes out, attached or not, so that the document carries
  // the whole of what the dataset holds.
  d.open("value_labels");
  for (const std::string& name : ds.value_labels().names()) {
    const data::ValueLabel* t = ds.value_labels().get(name);
    d.open("vallab", "name", name);
    for (std::int32_t k = 0; k < t->size(); ++k) {
      auto r = std::to_chars(buf, buf + sizeof buf, t->value_at(k));
      d.leaf("label", "value", std::string_view(buf, static_cast<std::size_t>(r.ptr - buf)), t->text_at(k));
    }
    d.close("vallab");
  }
  d.close("value_labels");
  d.close("dta");
  if (!opt.legible) d.raw("\n");
}

// One worksheet: the first row holds the names; numbers as Number cells,
// strings as String cells; `.` as an empty cell and `.a`..`.z` as the
// String cells ".a".."..z" that the reader takes back as missing values.
void write_workbook(const Dataset& ds, Doc& d) {
  const int nv = ds.nvar();
  char buf[40];
  d.raw(kDeclaration);
  d.indent();
  d.raw("<Workbook xmlns=\"");
  d.raw(kSheetNamespace);
  d.raw("\" xmlns:ss=\"");
  d.raw(kSheetNamespace);
  d.raw("\">");
  d.eol();
  d.open("Worksheet", "ss:Name", "Sheet1");
  d.open("Table");
  auto cell = [&](std::string_view type, std::string_view content, bool escape) {
    d.indent();
    d.raw("<Cell><Data ss:Type=\"");
    d.raw(type);
    d.raw("\">");
    if (escape) d.text(content);
    else d.raw(content);
    d.raw("</Data></Cell>");
    d.eol();
  };
  d.open("Row");
  for (int j = 1; j <= nv; ++j) cell("String", ds.name(j), true);
  d.close("Row");
  for (std::int64_t i = 1; i <= ds.nobs(); ++i) {
    d.open("Row");
    for (int j = 1; j <= nv; ++j) {
      const int t = ds.type(j);
      if (data::is_string_type(t)) {
        cell("String", string_value(ds, j, i), true);
        continue;
      }
      double v = ds.fetch(j, i);
      int m = data::missing_code(v);
      if (m == 0) d.empty("Cell");
      else cell(m > 0 ? "String" : "Number", number_text(t, v, buf), false);
    }
    d.close("Row");
  }
  d.close("Table");
  d.close("Worksheet");
  d.raw("</Workbook>\n");
}

void write_document(const Dataset& ds, const XmlSaveOptions& opt, Doc& d) {
  if (opt.excel) write_workbook(ds, d);
  else write_dta(ds, opt, d);
}

}  // namespace

std::string xml_document(const Dataset& ds, const XmlSaveOptions& opt) {
  std::string out;
  Doc d(&out, opt.legible, nullptr);
  write_document(ds, opt, d);
  return out;
}

rc_t xml_save_file(const Dataset& ds, const std::string& path, const XmlSaveOptions& opt) {
  ReplacingFile f;
  if (rc_t rc = f.open(path, opt.replace, opt.create_mode)) return rc;
  f.set_fail_after(opt.fail_after);
  std::string out;
  out.reserve(kSpillAt + 4096);
  Doc d(&out, opt.legible, [&f](std::string* b) {
    f.write(b->data(), b->size());
    b->clear();
  });
  write_document(ds, opt, d);
  f.write(out.data(), out.size());
  return f.commit();
}

}  // namespace nuvra::dta
