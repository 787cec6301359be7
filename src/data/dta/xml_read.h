// Reading the XML documents back: the dataset form, restored exactly, and
// spreadsheet workbooks, whose columns become variables.
//
// The document is read into a fresh dataset that the caller hands in; the
// one in memory is untouched, so any failure leaves it as it was.
#pragma once
#include <cstddef>
#include <string>
#include <vector>

#include "data/dataset.h"

namespace nuvra::dta {

enum class DocType { kAuto, kDta, kExcel };

struct XmlLoadOptions {
  DocType doctype = DocType::kAuto;  // by the root element when kAuto
  // Workbooks only.
  std::string sheet;       // the worksheet's name; the first when empty
  // cells(): 1-based inclusive bounds; a last row or column of 0 means
  // "as far as the worksheet goes".
  int first_row = 1, first_col = 1, last_row = 0, last_col = 0;
  bool firstrow = false;   // names from the first row of the range
  bool missing = false;    // text cells of numeric columns become `.`
  bool allstring = false;  // every column a string variable
  bool datestring = false; // date-time cells kept as their text
  bool nocompress = false; // numeric columns stay double
};

struct XmlLoadResult {
  std::string time_stamp;  // the dataset form's time stamp
  std::string error;       // for 688 and 111: what was wrong, and where
  std::vector<std::string> notes;  // printed after a successful load
};

// Upper bounds of a worksheet; a cell beyond them is damage.
inline constexpr int kMaxSheetRows = 1048576;
inline constexpr int kMaxSheetCols = 16384;

// Reads "A1:D10" (or just "B3", the top-left corner) into the options;
// false when it is not a range.
bool parse_cell_range(std::string_view text, XmlLoadOptions* opt);

// 0, or: 610 (not an XML document of either kind), 609 (filetype not 1),
// 688 (malformed, with res->error), 111 (no such worksheet, res->error),
// and the dataset's own codes (900, 901, 950).
rc_t load_xml_bytes(const char* data, std::size_t size, const XmlLoadOptions& opt, data::Dataset* fresh,
                    XmlLoadResult* res);
// The same over a file: 601 when it cannot be read.
rc_t load_xml_file(const std::string& path, const XmlLoadOptions& opt, data::Dataset* fresh, XmlLoadResult* res);

}  // namespace nuvra::dta
