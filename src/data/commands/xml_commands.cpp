// xmlsave and xmluse: the dataset as an XML document and back.
#include <sys/stat.h>


#include "data/commands/dta_commands.h"
#include "data/dta/dta_write.h"
#include "data/dta/xml_read.h"
#include "data/dta/xml_write.h"
#include "interp/interp.h"
#include "interp/messages.h"
#include "interp/parse.h"
#include "output/logs.h"

namespace nuvra {

namespace {

// doctype(dta|excel): 0 when absent or valid, else the option's message.
rc_t read_doctype(Interp& ip, CommandLine& cl, dta::DocType* out) {
  std::string t;
  if (!cl.string("doctype", 7, &t, 16, 1)) return 0;  // absent; malformed is left over
  if (t == "dta") *out = dta::DocType::kDta;
  else if (t == "excel") *out = dta::DocType::kExcel;
  else return msg_quoting(ip.out, "option ", "doctype", "() incorrectly specified\n", 198);
  return 0;
}

// The file name before the comma, and the options after it.
rc_t read_line(Interp& ip, std::string* name, CommandLine* cl) {
  std::string_view before;
  rc_t rc = read_options(ip, ip.reader.rest(), &before, cl);
  *name = std::string(unquote_whole(before));
  return rc;
}

}  // namespace

// xmlsave filename [, replace legible doctype(dta|excel)]
rc_t cmd_xmlsave(Interp& ip) {
  std::string name;
  CommandLine cl;
  if (rc_t rc = read_line(ip, &name, &cl)) return rc;
  dta::XmlSaveOptions opt;
  opt.replace = cl.flag("replace", 7, 0) == 1;
  opt.legible = cl.flag("legible", 7, 0) == 1;
  dta::DocType doctype = dta::DocType::kDta;
  if (rc_t rc = read_doctype(ip, cl, &doctype)) return rc;
  opt.excel = doctype == dta::DocType::kExcel;
  if (rc_t rc = cl.leftover(ip)) return rc;
  if (name.empty()) return msg_invalid(ip, "file specification");
  std::string shown = dta::with_dta_suffix(name, ".xml");
  std::string path = dta::local_path(shown);
  data::Dataset& ds = ip.dataset;
  if (ds.nvar() == 0) return rc_message(ip, 111);

  dta::print_save_notes(ip, ds, path, shown, opt.replace);
  opt.stamp = output::log_clock();
  opt.create_mode = static_cast<mode_t>(0666 & ~ip.umask_value);
  opt.fail_after = dta::command_save_fail_after();
  if (rc_t rc = dta::xml_save_file(ds, path, opt)) return dta::file_message(ip, shown, rc);

  dta::print_saved(ip, shown);
  // Only the dataset form holds everything; a workbook leaves the labels,
  // formats and missing-value kinds behind, so the data still count as
  // unsaved.
  if (!opt.excel) {
    ds.set_changed(false);
    ip.data_changed = false;
  }
  ip.macros.set_global("S_FN", shown);
  ip.macros.set_global("S_FNDATE", dta::time_stamp_text(opt.stamp));
  return 0;
}

// xmluse filename [, clear doctype(dta|excel) sheet("name") cells(A1:D10)
//   firstrow missing allstring datestring nocompress]
rc_t cmd_xmluse(Interp& ip) {
  std::string name;
  CommandLine cl;
  if (rc_t rc = read_line(ip, &name, &cl)) return rc;
  dta::XmlLoadOptions opt;
  bool clear = cl.flag("clear", 5, 0) == 1;
  if (rc_t rc = read_doctype(ip, cl, &opt.doctype)) return rc;
  cl.string("sheet", 5, &opt.sheet, 256, 64);
  std::string range;
  if (cl.string("cells", 5, &range, 64, 1) && !dta::parse_cell_range(range, &opt))
    return msg_quoting(ip.out, "option ", "cells", "() incorrectly specified\n", 198);
  opt.firstrow = cl.flag("firstrow", 8, 0) == 1;
  opt.missing = cl.flag("missing", 7, 0) == 1;
  opt.allstring = cl.flag("allstring", 9, 0) == 1;
  opt.datestring = cl.flag("datestring", 10, 0) == 1;
  opt.nocompress = cl.flag("nocompress", 10, 0) == 1;
  if (rc_t rc = cl.leftover(ip)) return rc;
  if (name.empty()) return msg_invalid(ip, "file specification");
  std::string shown = dta::with_dta_suffix(name, ".xml");
  data::Dataset& ds = ip.dataset;
  if ((ds.changed() || ip.data_changed) && !clear) return rc_message(ip, 4);

  data::Dataset fresh(ds.memory());
  fresh.set_maxvar(ds.maxvar());
  fresh.set_varabbrev(ds.varabbrev());
  dta::XmlLoadResult res;
  rc_t rc = dta::load_xml_file(dta::local_path(shown), opt, &fresh, &res);
  if (rc) {
    if (!res.error.empty()) {
      // The detail first, shown as it is (it quotes the document).
      msg_quoting(ip.out, "", res.error, "\n", rc);
    }
    switch (rc) {
      case 111: return 111;
      case 601: case 603: case 609: case 610: case 612: case 688: case 692:
        return dta::file_message(ip, shown, rc);
      default:
        return rc_message(ip, rc);
    }
  }
  ds.swap_contents(fresh);
  ds.set_changed(false);
  ip.data_changed = false;
  ip.out.set_class(output::OutClass::Text);
  if (!ds.data_label().empty()) {
    ip.out.print_markup("(");
    ip.out.print_plain(ds.data_label());
    ip.out.print_markup(")\n");
  }
  for (const std::string& n : res.notes) {
    ip.out.print_plain(n);
    ip.out.print_markup("\n");
  }
  ip.macros.set_global("S_FN", shown);
  ip.macros.set_global("S_FNDATE", res.time_stamp);
  return 0;
}

}  // namespace nuvra
