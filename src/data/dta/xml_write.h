// Writing the dataset as an XML document: the dataset form (root `dta`,
// the same content as the binary file) or a spreadsheet workbook.
#pragma once
#include <sys/types.h>

#include <cstdint>
#include <ctime>
#include <string>

#include "data/dataset.h"

namespace nuvra::dta {

struct XmlSaveOptions {
  bool legible = false;  // indented, one element to a line
  bool excel = false;    // a workbook instead of the dataset form
  bool replace = false;
  std::tm stamp{};       // the time stamp of the header
  mode_t create_mode = 0644;
  std::int64_t fail_after = -1;  // test hook, as for the binary file
};

// The whole document as text (the tests compare it with one written by
// hand; the file writer below produces the same bytes in pieces).
std::string xml_document(const data::Dataset& ds, const XmlSaveOptions& opt);

// Writes the document through a temporary file renamed over `path`: 0;
// 602 (exists, no replace); 603; 608 (read-only); 699 (disk full); 693.
rc_t xml_save_file(const data::Dataset& ds, const std::string& path, const XmlSaveOptions& opt);

}  // namespace nuvra::dta
