// The XML forms of the dataset: the writer against documents written by
// hand from the element list, round trips that must give back the same
// bits, workbooks, and damaged documents that must leave the data alone.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <bit>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>

#include "data/dataset.h"
#include "data/dta/dta_write.h"
#include "data/dta/xml_read.h"
#include "data/dta/xml_write.h"
#include "interp/interp.h"
#include "test_side.h"

namespace nuvra {
namespace {

using data::Dataset;

std::string slurp(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(f), {});
}

void spit(const std::string& path, const std::string& text) {
  std::ofstream f(path, std::ios::binary);
  f << text;
}

class Xml : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/xml-test-XXXXXX";
    dir = mkdtemp(tmpl);
  }
  void TearDown() override { std::filesystem::remove_all(dir); }
  std::string dir;
};

std::tm stamp() {
  std::tm t{};
  t.tm_mday = 6;
  t.tm_mon = 11;
  t.tm_year = 126;
  t.tm_hour = 9;
  t.tm_min = 5;
  return t;
}

// The declaration and document type, written out from the element list.
const std::string kProlog =
    "<?xml version=\"1.0\" encoding=\"US-ASCII\" standalone=\"yes\"?>\n"
    "<!DOCTYPE dta [\n"
    "<!ELEMENT dta (header, descriptors, variable_labels, expansion, data, value_labels)>\n"
    "<!ELEMENT header (ds_format, byteorder, filetype, nvar, nobs, data_label, time_stamp)>\n"
    "<!ELEMENT ds_format (#PCDATA)>\n<!ELEMENT byteorder (#PCDATA)>\n<!ELEMENT filetype (#PCDATA)>\n"
    "<!ELEMENT nvar (#PCDATA)>\n<!ELEMENT nobs (#PCDATA)>\n<!ELEMENT data_label (#PCDATA)>\n"
    "<!ELEMENT time_stamp (#PCDATA)>\n"
    "<!ELEMENT descriptors (typelist, varlist, srtlist, fmtlist, lbllist)>\n"
    "<!ELEMENT typelist (type*)>\n<!ELEMENT type (#PCDATA)>\n<!ATTLIST type varname CDATA #REQUIRED>\n"
    "<!ELEMENT varlist (variable*)>\n<!ELEMENT variable EMPTY>\n<!ATTLIST variable varname CDATA #REQUIRED>\n"
    "<!ELEMENT srtlist (sort*)>\n<!ELEMENT sort EMPTY>\n<!ATTLIST sort varname CDATA #REQUIRED>\n"
    "<!ELEMENT fmtlist (fmt*)>\n<!ELEMENT fmt (#PCDATA)>\n<!ATTLIST fmt varname CDATA #REQUIRED>\n"
    "<!ELEMENT lbllist (lblname*)>\n<!ELEMENT lblname (#PCDATA)>\n<!ATTLIST lblname varname CDATA #REQUIRED>\n"
    "<!ELEMENT variable_labels (vlabel*)>\n<!ELEMENT vlabel (#PCDATA)>\n"
    "<!ATTLIST vlabel varname CDATA #REQUIRED>\n"
    "<!ELEMENT expansion (char*)>\n<!ELEMENT char (#PCDATA)>\n"
    "<!ATTLIST char name CDATA #REQUIRED vname CDATA #REQUIRED>\n"
    "<!ELEMENT data (o*)>\n<!ELEMENT o (v*)>\n<!ATTLIST o num CDATA #REQUIRED>\n"
    "<!ELEMENT v (#PCDATA)>\n<!ATTLIST v varname CDATA #REQUIRED>\n"
    "<!ELEMENT value_labels (vallab*)>\n<!ELEMENT vallab (label*)>\n"
    "<!ATTLIST vallab name CDATA #REQUIRED>\n"
    "<!ELEMENT label (#PCDATA)>\n<!ATTLIST label value CDATA #REQUIRED>\n"
    "]>\n";

// x byte {1, .a} labelled by yn; s str3 {"a<b", e-acute and a quote}.
void tiny(Dataset& ds) {
  ASSERT_EQ(ds.add_variable("x", data::kByte), 0);
  ASSERT_EQ(ds.add_variable("s", 3), 0);
  ASSERT_EQ(ds.set_obs(2), 0);
  ds.store(1, 1, 1);
  ds.store(1, 2, data::missing_value(1));
  ds.store_str(2, 1, "a<b");
  ds.store_str(2, 2, "\xE9\"");
  ds.set_label(1, "X & Y");
  ASSERT_EQ(ds.set_value_label_name(1, "yn"), 0);
  ASSERT_EQ(ds.value_labels().define("yn", 1, "yes"), 0);
  ASSERT_EQ(ds.value_labels().define("yn", 2, "no"), 0);
  ASSERT_EQ(ds.set_char("_dta", "note", "hi"), 0);
  ds.set_data_label("Tiny");
  ds.set_sort_list({1});
}

TEST_F(Xml, DocumentMatchesTheElementListByteForByte) {
  Dataset ds;
  tiny(ds);
  if (HasFatalFailure()) return;
  dta::XmlSaveOptions opt;
  opt.stamp = stamp();
  const std::string compact =
      kProlog +
      "<dta><header><ds_format>114</ds_format><byteorder>LOHI</byteorder><filetype>1</filetype>"
      "<nvar>2</nvar><nobs>2</nobs><data_label>Tiny</data_label><time_stamp> 6 Dec 2026 09:05</time_stamp>"
      "</header><descriptors><typelist><type varname=\"x\">byte</type><type varname=\"s\">str3</type></typelist>"
      "<varlist><variable varname=\"x\"/><variable varname=\"s\"/></varlist><srtlist><sort varname=\"x\"/></srtlist>"
      "<fmtlist><fmt varname=\"x\">%8.0g</fmt><fmt varname=\"s\">%9s</fmt></fmtlist>"
      "<lbllist><lblname varname=\"x\">yn</lblname><lblname varname=\"s\"></lblname></lbllist></descriptors>"
      "<variable_labels><vlabel varname=\"x\">X &amp; Y</vlabel><vlabel varname=\"s\"></vlabel></variable_labels>"
      "<expansion><char name=\"note\" vname=\"_dta\">hi</char></expansion>"
      "<data><o num=\"1\"><v varname=\"x\">1</v><v varname=\"s\">a&lt;b</v></o>"
      "<o num=\"2\"><v varname=\"x\">.a</v><v varname=\"s\">&#233;&quot;</v></o></data>"
      "<value_labels><vallab name=\"yn\"><label value=\"1\">yes</label><label value=\"2\">no</label></vallab>"
      "</value_labels></dta>\n";
  EXPECT_EQ(dta::xml_document(ds, opt), compact);

  opt.legible = true;
  const std::string legible = kProlog +
                              "<dta>\n"
                              "  <header>\n"
                              "    <ds_format>114</ds_format>\n"
                              "    <byteorder>LOHI</byteorder>\n"
                              "    <filetype>1</filetype>\n"
                              "    <nvar>2</nvar>\n"
                              "    <nobs>2</nobs>\n"
                              "    <data_label>Tiny</data_label>\n"
                              "    <time_stamp> 6 Dec 2026 09:05</time_stamp>\n"
                              "  </header>\n"
                              "  <descriptors>\n"
                              "    <typelist>\n"
                              "      <type varname=\"x\">byte</type>\n"
                              "      <type varname=\"s\">str3</type>\n"
                              "    </typelist>\n"
                              "    <varlist>\n"
                              "      <variable varname=\"x\"/>\n"
                              "      <variable varname=\"s\"/>\n"
                              "    </varlist>\n"
                              "    <srtlist>\n"
                              "      <sort varname=\"x\"/>\n"
                              "    </srtlist>\n"
                              "    <fmtlist>\n"
                              "      <fmt varname=\"x\">%8.0g</fmt>\n"
                              "      <fmt varname=\"s\">%9s</fmt>\n"
                              "    </fmtlist>\n"
                              "    <lbllist>\n"
                              "      <lblname varname=\"x\">yn</lblname>\n"
                              "      <lblname varname=\"s\"></lblname>\n"
                              "    </lbllist>\n"
                              "  </descriptors>\n"
                              "  <variable_labels>\n"
                              "    <vlabel varname=\"x\">X &amp; Y</vlabel>\n"
                              "    <vlabel varname=\"s\"></vlabel>\n"
                              "  </variable_labels>\n"
                              "  <expansion>\n"
                              "    <char name=\"note\" vname=\"_dta\">hi</char>\n"
                              "  </expansion>\n"
                              "  <data>\n"
                              "    <o num=\"1\">\n"
                              "      <v varname=\"x\">1</v>\n"
                              "      <v varname=\"s\">a&lt;b</v>\n"
                              "    </o>\n"
                              "    <o num=\"2\">\n"
                              "      <v varname=\"x\">.a</v>\n"
                              "      <v varname=\"s\">&#233;&quot;</v>\n"
                              "    </o>\n"
                              "  </data>\n"
                              "  <value_labels>\n"
                              "    <vallab name=\"yn\">\n"
                              "      <label value=\"1\">yes</label>\n"
                              "      <label value=\"2\">no</label>\n"
                              "    </vallab>\n"
                              "  </value_labels>\n"
                              "</dta>\n";
  EXPECT_EQ(dta::xml_document(ds, opt), legible);

  // The file holds the same bytes as the document, and nothing else is
  // left in the directory.
  std::string p = dir + "/t.xml";
  ASSERT_EQ(dta::xml_save_file(ds, p, opt), 0);
  EXPECT_EQ(slurp(p), legible);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir), {}), 1);
}

// Every storage type, `.`, `.a` and `.z`, a str244 value of 244 bytes,
// formats, labels, value labels (one attached, one not), characteristics
// and a sort list by two variables.
void fill(Dataset& ds) {
  const char* names[] = {"b", "i", "l", "f", "d", "s", "t"};
  int types[] = {data::kByte, data::kInt, data::kLong, data::kFloat, data::kDouble, 244, 3};
  for (int k = 0; k < 7; ++k) ASSERT_EQ(ds.add_variable(names[k], types[k]), 0);
  ASSERT_EQ(ds.set_obs(4), 0);
  double a = data::missing_value(1), z = data::missing_value(26), dot = data::kMissing;
  // The extremes of each type's non-missing range, and values that only
  // the shortest exact spelling brings back (0.1, 1/3, the largest double).
  double vals[5][4] = {{-127, dot, z, 100},
                       {-32767, a, 32740, 0},
                       {-2147483647.0, dot, z, 2147483620.0},
                       {2.5, a, dot, static_cast<float>(0.1)},
                       {0.1, z, 1.0 / 3.0, data::type_max(data::kDouble)}};
  for (int j = 1; j <= 5; ++j)
    for (int i = 1; i <= 4; ++i) ds.store(j, i, vals[j - 1][i - 1]);
  std::string big(244, 'x');
  big[0] = '<';
  big[243] = '\x01';
  ds.store_str(6, 1, big);
  ds.store_str(6, 3, "a b  ");  // blanks kept as they are
  ds.store_str(7, 1, "&;\xFF");
  ASSERT_EQ(ds.set_format(3, "%tc"), 0);
  ASSERT_EQ(ds.set_format(4, "%9.2f"), 0);
  ASSERT_EQ(ds.set_format(5, "%td"), 0);
  ds.set_label(2, "An \"int\"");
  ASSERT_EQ(ds.set_value_label_name(1, "yn"), 0);
  ASSERT_EQ(ds.value_labels().define("yn", 1, "yes"), 0);
  ASSERT_EQ(ds.value_labels().define("yn", -2, "<no>"), 0);
  ASSERT_EQ(ds.value_labels().define("orph", 5, "five"), 0);
  ASSERT_EQ(ds.set_char("_dta", "note1", "hello\nworld"), 0);
  ASSERT_EQ(ds.set_char("d", "unit", "days"), 0);
  ds.set_data_label("Test data");
  ds.set_sort_list({2, 1});
}

void expect_same_dataset(const Dataset& got, const Dataset& want) {
  EXPECT_EQ(got.checksum(), want.checksum());
  EXPECT_EQ(got.data_label(), want.data_label());
  EXPECT_EQ(got.sort_list(), want.sort_list());
  ASSERT_EQ(got.nvar(), want.nvar());
  for (int j = 1; j <= want.nvar(); ++j) {
    EXPECT_EQ(got.type(j), want.type(j));
    EXPECT_EQ(got.format(j), want.format(j));
    EXPECT_EQ(got.label(j), want.label(j));
    EXPECT_EQ(got.value_label_name(j), want.value_label_name(j));
  }
  EXPECT_EQ(got.value_labels().names(), want.value_labels().names());
  for (const std::string& n : want.value_labels().names())
    EXPECT_EQ(got.value_labels().get(n)->decode(), want.value_labels().get(n)->decode()) << n;
  EXPECT_EQ(got.chars().owners(), want.chars().owners());
  for (const std::string& o : want.chars().owners()) {
    ASSERT_EQ(got.chars().entries(o).size(), want.chars().entries(o).size());
    for (std::size_t k = 0; k < want.chars().entries(o).size(); ++k) {
      EXPECT_EQ(got.chars().entries(o)[k].name, want.chars().entries(o)[k].name);
      EXPECT_EQ(got.chars().entries(o)[k].contents, want.chars().entries(o)[k].contents);
    }
  }
  for (int j = 1; j <= want.nvar(); ++j)
    for (std::int64_t i = 1; i <= want.nobs(); ++i) {
      if (want.is_string(j)) continue;
      EXPECT_EQ(std::bit_cast<std::uint64_t>(got.fetch(j, i)), std::bit_cast<std::uint64_t>(want.fetch(j, i)))
          << j << "," << i;
    }
}

TEST_F(Xml, RoundTripThroughCommandsGivesTheSameDataset) {
  ::setenv("NUVRA_FIXED_TIME", "2026-12-06T12:00:00", 1);
  testing::CaptureSide side;
  Interp ip(&side);
  fill(ip.dataset);
  if (HasFatalFailure()) return;
  Dataset want;
  fill(want);
  for (const char* form : {"", " legible"}) {
    ASSERT_EQ(ip.execute_line(std::string("xmlsave \"") + dir + "/r\", replace" + form), 0);
    // The binary file of the same data, for comparison.
    ASSERT_EQ(ip.execute_line("save \"" + dir + "/r\", replace orphans"), 0);
    ASSERT_EQ(ip.execute_line("clear"), 0);
    ASSERT_EQ(ip.execute_line("xmluse \"" + dir + "/r\""), 0);
    EXPECT_EQ(*ip.macros.global("S_FN"), dir + "/r.xml");
    EXPECT_EQ(*ip.macros.global("S_FNDATE"), " 6 Dec 2026 12:00");
    EXPECT_FALSE(ip.dataset.changed());
    expect_same_dataset(ip.dataset, want);
    Dataset bin;
    bin.swap_contents(ip.dataset);
    ASSERT_EQ(ip.execute_line("use \"" + dir + "/r.dta\""), 0);
    EXPECT_EQ(ip.dataset.checksum(), bin.checksum());
  }

  // Zero observations: the descriptors come back.
  ASSERT_EQ(ip.execute_line("drop in 1/l"), 0);
  ASSERT_EQ(ip.execute_line("xmlsave \"" + dir + "/e\""), 0);
  EXPECT_NE(side.text.find("(note: dataset contains 0 observations)"), std::string::npos);
  ASSERT_EQ(ip.execute_line("xmluse \"" + dir + "/e\", clear"), 0);
  EXPECT_EQ(ip.dataset.nobs(), 0);
  EXPECT_EQ(ip.dataset.nvar(), 7);
  EXPECT_EQ(ip.dataset.sort_list(), want.sort_list());
  ::unsetenv("NUVRA_FIXED_TIME");
}

// Arbitrary bit patterns of double and float values come back bit for bit.
TEST_F(Xml, EveryNumberComesBackExactly) {
  Dataset ds;
  ASSERT_EQ(ds.add_variable("d", data::kDouble), 0);
  ASSERT_EQ(ds.add_variable("f", data::kFloat), 0);
  const int n = 20000;
  ASSERT_EQ(ds.set_obs(n), 0);
  std::mt19937_64 gen(12345);
  for (int i = 1; i <= n; ++i) {
    double d;
    do d = std::bit_cast<double>(gen());
    while (std::isnan(d) || data::is_missing(d) || d <= data::type_min(data::kDouble));
    std::uint32_t fb;
    do fb = static_cast<std::uint32_t>(gen());
    while (((fb >> 23) & 0xFF) >= 0xFE);  // the float missing range and beyond
    ds.store(1, i, d);
    ds.store(2, i, std::bit_cast<float>(fb));
  }
  std::string doc = dta::xml_document(ds, {});
  Dataset back;
  dta::XmlLoadResult res;
  ASSERT_EQ(dta::load_xml_bytes(doc.data(), doc.size(), {}, &back, &res), 0) << res.error;
  EXPECT_EQ(back.checksum(), ds.checksum());
}

// Damaged documents: each load fails with its code and a description, and
// the dataset in memory is exactly what it was.
TEST_F(Xml, DamagedDocumentsLeaveTheDataAlone) {
  Dataset ds;
  tiny(ds);
  if (HasFatalFailure()) return;
  dta::XmlSaveOptions so;
  so.legible = true;
  const std::string good = dta::xml_document(ds, so);
  auto edit = [&](std::string_view from, std::string_view to) {
    std::string d = good;
    std::size_t at = d.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    if (at != std::string::npos) d.replace(at, from.size(), to);
    return d;
  };
  struct Case {
    std::string doc;
    rc_t rc;
    std::string says;
  };
  const std::string v1 = "<v varname=\"x\">1</v>";
  std::string many;
  for (int k = 0; k < 70; ++k) many += " a" + std::to_string(k) + "=\"\"";
  std::vector<Case> cases = {
      {edit("<nobs>2</nobs>", "<nobs>3</nobs>"), 688, "the data hold 2 observations"},
      {edit("<nobs>2</nobs>", "<nobs>1</nobs>"), 688, "more observations than nobs 1"},
      {edit("<nobs>2</nobs>", "<nobs>99999999</nobs>"), 688, "more than the document holds"},
      {edit("<nobs>2</nobs>", "<nobs>-1</nobs>"), 688, "bad nobs"},
      {edit(v1, "<v varname=\"x\">1x</v>"), 688, "\"1x\" is no byte value"},
      {edit(v1, "<v varname=\"x\">101</v>"), 688, "\"101\" is no byte value"},
      {edit(v1, "<v varname=\"x\">1.5</v>"), 688, "is no byte value"},
      {edit(v1, "<v varname=\"x\">.A</v>"), 688, "is no byte value"},
      {edit(v1, "<v varname=\"x\">inf</v>"), 688, "is no byte value"},
      {edit(v1, "<v varname=\"s\">1</v>"), 688, "where x was expected"},
      {edit(v1, "<w varname=\"x\">1</w>"), 688, "element <w> where <v> of x was expected"},
      {edit("<expansion>", "<expansion><junk/>"), 688, "element <junk> where <char> was expected"},
      {edit("a&lt;b", "a&lt;bcd"), 688, "longer than str3"},
      {edit("a&lt;b", "a&foo;b"), 688, "unknown entity &foo;"},
      {edit("a&lt;b", "a<b"), 688, ""},
      {edit("<type varname=\"s\">str3</type>", "<type varname=\"s\">str245</type>"), 688, "is no storage type"},
      {edit("<type varname=\"s\">", "<type varname=\"x\">"), 688, "given twice"},
      {edit("</srtlist>", "<sort varname=\"q\"/></srtlist>"), 688, "which is no variable"},
      {edit("<label value=\"2\">", "<label value=\"1\">"), 688, "labelled twice"},
      {edit("<filetype>1<", "<filetype>2<"), 609, ""},
      {edit("<ds_format>114<", "<ds_format>109<"), 610, "not a format"},
      {edit("</dta>", "</dta><dta/>"), 688, "content after the root element"},
      {edit("<o num=\"1\">", "<o num=\"1\"" + many + ">"), 688, "too many attributes in <o>"},
      {edit("<o num=\"1\">", "<o num=\"1\" num=\"1\">"), 688, "attribute num given twice"},
      {edit("<o num=\"1\">", "<o num=\"2\">"), 688, "<o> numbered other than 1"},
      {edit("<dta>", "<atd>"), 610, ""},
      {"plain text", 610, ""},
      {"", 610, ""},
  };
  // Every cut of the document short of its end (the last line end aside).
  for (std::size_t cut = 0; cut + 1 < good.size(); cut += 7) cases.push_back({good.substr(0, cut), -1, ""});

  testing::CaptureSide side;
  Interp ip(&side);
  tiny(ip.dataset);
  if (HasFatalFailure()) return;
  const std::uint64_t before = ip.dataset.checksum();
  for (const Case& c : cases) {
    std::string p = dir + "/bad.xml";
    spit(p, c.doc);
    side.text.clear();
    rc_t rc = ip.execute_line("xmluse \"" + p + "\", clear");
    if (c.rc >= 0) EXPECT_EQ(rc, c.rc) << c.doc;
    else EXPECT_TRUE(rc == 610 || rc == 688) << rc << " for a cut at " << c.doc.size();
    EXPECT_NE(side.text.find(c.says), std::string::npos) << side.text;
    EXPECT_EQ(ip.dataset.checksum(), before);
    EXPECT_EQ(ip.dataset.value_labels().names(), std::vector<std::string>{"yn"});
    EXPECT_EQ(*ip.dataset.chars().get("_dta", "note"), "hi");
  }
}

TEST_F(Xml, CommandRefusals) {
  testing::CaptureSide side;
  Interp ip(&side);
  tiny(ip.dataset);
  if (HasFatalFailure()) return;
  std::string p = dir + "/k.xml";
  spit(p, "previous");
  EXPECT_EQ(ip.execute_line("xmlsave \"" + p + "\""), 602);
  EXPECT_EQ(slurp(p), "previous");
  // A full disk part way: 699, the old file whole, no temporary file.
  dta::command_save_fail_after() = 100;
  EXPECT_EQ(ip.execute_line("xmlsave \"" + p + "\", replace"), 699);
  dta::command_save_fail_after() = -1;
  EXPECT_EQ(slurp(p), "previous");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir), {}), 1);

  EXPECT_EQ(ip.execute_line("xmlsave \"" + p + "\", replace doctype(csv)"), 198);
  ip.dataset.set_changed(true);
  ASSERT_EQ(ip.execute_line("xmlsave \"" + dir + "/ok\""), 0);
  EXPECT_FALSE(ip.dataset.changed());
  ip.dataset.set_changed(true);
  EXPECT_EQ(ip.execute_line("xmluse \"" + dir + "/ok\""), 4);
  EXPECT_EQ(ip.execute_line("xmluse \"" + dir + "/none\", clear"), 601);
  EXPECT_EQ(ip.execute_line("xmluse \"" + dir + "/ok\", clear doctype(excel)"), 610);
  EXPECT_EQ(ip.execute_line("xmluse \"" + dir + "/ok\", clear cells(1A)"), 198);
  EXPECT_EQ(ip.execute_line("xmluse \"" + dir + "/ok\", clear doctype(dta)"), 0);
}

// ---- workbooks -------------------------------------------------------------

std::string workbook(const std::string& rows, const std::string& more_sheets = "") {
  return "<?xml version=\"1.0\"?>\n<?progid x?>\n"
         "<Workbook xmlns=\"urn:schemas-microsoft-com:office:spreadsheet\" "
         "xmlns:ss=\"urn:schemas-microsoft-com:office:spreadsheet\">\n"
         "<Styles><Style ss:ID=\"s1\"/></Styles>\n" +
         more_sheets + "<Worksheet ss:Name=\"Data\"><Table>\n" + rows + "</Table></Worksheet></Workbook>\n";
}

std::string num(const std::string& v) { return "<Cell><Data ss:Type=\"Number\">" + v + "</Data></Cell>"; }
std::string str(const std::string& v) { return "<Cell><Data ss:Type=\"String\">" + v + "</Data></Cell>"; }
std::string date(const std::string& v) { return "<Cell><Data ss:Type=\"DateTime\">" + v + "</Data></Cell>"; }

rc_t load(const std::string& doc, const dta::XmlLoadOptions& opt, Dataset* ds, dta::XmlLoadResult* res) {
  return dta::load_xml_bytes(doc.data(), doc.size(), opt, ds, res);
}

TEST_F(Xml, WorkbookColumnsGetTheNarrowestType) {
  const std::string doc = workbook(
      "<Row>" + str("id") + str("2 wt") + str("name") + str("when") + str("mixed") + str("big") + "</Row>\n" +
      "<Row>" + num("1") + num("0.1") + str("Ann") + date("1960-01-02T00:00:00.000") + num("3") + num("40000") +
      "</Row>\n" + "<Row>" + num("-127") + num("1e10") +
      "<Cell ss:Index=\"4\"><Data ss:Type=\"DateTime\">1961-01-01T00:00:00.000</Data></Cell>" +
      str("n/a") + num("2147483620") + "</Row>\n" + "<Row ss:Index=\"5\">" + num("100") + str(".b") + str("Bo &amp; Cy") +
      "</Row>\n");
  dta::XmlLoadOptions opt;
  opt.firstrow = true;
  Dataset ds;
  dta::XmlLoadResult res;
  ASSERT_EQ(load(doc, opt, &ds, &res), 0) << res.error;
  ASSERT_EQ(ds.nvar(), 6);
  ASSERT_EQ(ds.nobs(), 4);  // rows 2..5, row 4 empty
  EXPECT_EQ(ds.name(1), "id");
  EXPECT_EQ(ds.name(2), "_2_wt");
  EXPECT_EQ(ds.label(2), "2 wt");
  EXPECT_EQ(ds.type(1), data::kByte);    // -127 .. 100
  EXPECT_EQ(ds.type(2), data::kDouble);  // 0.1 needs a double; .b is a missing value
  EXPECT_EQ(ds.type(3), 7);              // "Bo & Cy"
  EXPECT_EQ(ds.type(4), data::kInt);     // days 1 and 366
  EXPECT_EQ(ds.format(4), "%td");
  EXPECT_EQ(ds.type(5), 3);              // a text cell makes the column a string
  EXPECT_EQ(ds.type(6), data::kLong);
  EXPECT_EQ(ds.fetch(2, 4), data::missing_value(2));
  EXPECT_EQ(ds.fetch(4, 1), 1);
  EXPECT_EQ(ds.fetch(4, 2), 366);
  EXPECT_TRUE(data::is_missing(ds.fetch(1, 3)));
  EXPECT_EQ(ds.fetch_str(3, 4), "Bo & Cy");
  EXPECT_EQ(ds.fetch_str(5, 1), "3");
  EXPECT_EQ(ds.fetch_str(5, 2), "n/a");

  // missing: the text cell becomes `.` and the column stays numeric;
  // nocompress keeps every numeric column double.
  opt.missing = true;
  opt.nocompress = true;
  Dataset m;
  ASSERT_EQ(load(doc, opt, &m, &res), 0);
  EXPECT_EQ(m.type(5), data::kDouble);
  EXPECT_EQ(m.type(1), data::kDouble);
  EXPECT_EQ(m.fetch(5, 1), 3);
  EXPECT_EQ(m.fetch(5, 2), data::kMissing);

  // allstring, without firstrow: names are the column letters.
  dta::XmlLoadOptions all;
  all.allstring = true;
  all.datestring = true;
  Dataset s;
  ASSERT_EQ(load(doc, all, &s, &res), 0);
  EXPECT_EQ(s.name(1), "A");
  EXPECT_EQ(s.nobs(), 5);
  EXPECT_EQ(s.fetch_str(2, 3), "1e10");
  EXPECT_EQ(s.fetch_str(4, 2), "1960-01-02T00:00:00.000");

  // cells(): columns B to C of rows 2 and 3.
  dta::XmlLoadOptions part;
  ASSERT_TRUE(dta::parse_cell_range("B2:C3", &part));
  Dataset c;
  ASSERT_EQ(load(doc, part, &c, &res), 0);
  EXPECT_EQ(c.nvar(), 2);
  EXPECT_EQ(c.nobs(), 2);
  EXPECT_EQ(c.name(1), "B");
  EXPECT_EQ(c.fetch(1, 2), 1e10);
  EXPECT_EQ(c.fetch_str(2, 1), "Ann");
  EXPECT_FALSE(dta::parse_cell_range("C3:B2", &part));
  EXPECT_FALSE(dta::parse_cell_range("A0", &part));
}

TEST_F(Xml, WorkbookSheetsTimesAndDamage) {
  const std::string other = "<Worksheet ss:Name=\"First\"><Table><Row>" + num("9") + "</Row></Table></Worksheet>\n";
  const std::string doc = workbook("<Row>" + date("2000-01-01T12:00:00.000") + "</Row>", other);
  Dataset ds;
  dta::XmlLoadResult res;
  dta::XmlLoadOptions opt;
  ASSERT_EQ(load(doc, opt, &ds, &res), 0);
  EXPECT_EQ(ds.fetch(1, 1), 9);  // the first worksheet
  opt.sheet = "Data";
  Dataset t;
  ASSERT_EQ(load(doc, opt, &t, &res), 0);
  // 1 Jan 2000 is day 14610 (40 years from 1960 hold 10 leap days:
  // 40 * 365 + 10); noon adds 43200000 ms.
  EXPECT_EQ(t.fetch(1, 1), 14610.0 * 86400000.0 + 43200000.0);
  EXPECT_EQ(t.format(1), "%tc");
  EXPECT_EQ(t.type(1), data::kDouble);
  opt.sheet = "None";
  Dataset u;
  EXPECT_EQ(load(doc, opt, &u, &res), 111);
  EXPECT_EQ(res.error, "worksheet None not found");

  struct Bad {
    std::string doc;
    std::string says;
  };
  for (const Bad& b : std::vector<Bad>{
           {workbook("<Row>" + num("12x") + "</Row>"), "cell A1: bad number"},
           {workbook("<Row>" + date("2000-13-01") + "</Row>"), "cell A1: bad date-time"},
           {workbook("<Row ss:Index=\"0\"/>"), "bad row index"},
           {workbook("<Row ss:Index=\"1048577\"/>"), "bad row index"},
           {workbook("<Row><Cell ss:Index=\"16385\"/></Row>"), "bad cell index"},
           {workbook("<Row>"), "</Table> where </Row> was expected"},
       }) {
    dta::XmlLoadResult r;
    Dataset d;
    EXPECT_EQ(load(b.doc, {}, &d, &r), 688) << b.doc;
    EXPECT_NE(r.error.find(b.says), std::string::npos) << r.error;
  }

  // A few bytes that claim a vast worksheet cost no more than the dataset
  // it claims: too many columns for maxvar (900), too many rows for the
  // memory (901).
  dta::XmlLoadResult r;
  Dataset wide;
  EXPECT_EQ(load(workbook("<Row><Cell ss:Index=\"16384\">" + std::string(num("1")).substr(6) + "</Row>"), {}, &wide, &r), 900);
  Dataset small(std::size_t{8} << 20);
  EXPECT_EQ(load(workbook("<Row ss:Index=\"1048576\"><Cell ss:Index=\"100\">" + std::string(num("1")).substr(6) + "</Row>"),
                 {}, &small, &r),
            901);
}

// A workbook written by xmlsave reads back with the names, the values and
// the kinds of missing value.
TEST_F(Xml, WorkbookRoundTrip) {
  testing::CaptureSide side;
  Interp ip(&side);
  tiny(ip.dataset);
  if (HasFatalFailure()) return;
  ASSERT_EQ(ip.execute_line("xmlsave \"" + dir + "/w\", doctype(excel) legible"), 0);
  ASSERT_EQ(ip.execute_line("xmluse \"" + dir + "/w\", clear firstrow"), 0);
  ASSERT_EQ(ip.dataset.nvar(), 2);
  EXPECT_EQ(ip.dataset.name(1), "x");
  EXPECT_EQ(ip.dataset.type(1), data::kByte);
  EXPECT_EQ(ip.dataset.fetch(1, 1), 1);
  EXPECT_EQ(ip.dataset.fetch(1, 2), data::missing_value(1));
  EXPECT_EQ(ip.dataset.fetch_str(2, 1), "a<b");
  EXPECT_EQ(ip.dataset.fetch_str(2, 2), "\xE9\"");
}

}  // namespace
}  // namespace nuvra
