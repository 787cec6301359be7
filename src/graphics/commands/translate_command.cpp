// translate and translator: results and logs printed to PostScript files.
//
//   translate filein fileout.ps [, replace translator(nmcl2ps|log2ps)]
//   translator query [name]            the settings of one or both printers
//   translator set name setting value
//   translator reset name
//
// nmcl2ps lays out NMCL (an NMCL log, or any file starting with the reset
// line "{nmcl}"); log2ps prints plain text as it is.  Without
// translator() the file's first line decides.  Each translator keeps its
// own page settings for the session.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "base/text.h"
#include "data/commands/dta_commands.h"
#include "data/dta/replace_file.h"
#include "graphics/commands/graph_state.h"
#include "graphics/nmcl_printer.h"
#include "interp/builtins.h"
#include "interp/interp.h"
#include "interp/messages.h"
#include "interp/parse.h"

namespace nuvra {

namespace {

using graphics::TextPage;

struct PageSizeName {
  const char* name;
  double width, height;
};
constexpr PageSizeName kPageSizes[] = {{"letter", 8.5, 11}, {"legal", 8.5, 14}, {"a4", 8.27, 11.69}};

TextPage* translator_page(Interp& ip, std::string_view name) {
  graphics::GraphState& gs = graphics::graph_state(ip);
  if (name == "nmcl2ps") return &gs.nmcl2ps;
  if (name == "log2ps") return &gs.log2ps;
  return nullptr;
}

rc_t no_translator(Interp& ip, std::string_view name) {
  return msg_quoting(ip.out, "translator ", name, " not found; use nmcl2ps or log2ps\n", 111);
}

std::string suffix_of(const std::string& file) {
  std::size_t slash = file.find_last_of('/');
  std::size_t dot = file.find_last_of('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return "";
  std::string s = file.substr(dot + 1);
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

void show_settings(Interp& ip, const char* name, const TextPage& p) {
  ip.out.set_class(output::OutClass::Text);
  ip.out.printf_markup("{txt}  %s\n", name);
  std::string size = "custom";
  for (const PageSizeName& s : kPageSizes)
    if (s.width == p.width && s.height == p.height) size = s.name;
  ip.out.printf_markup("{txt}{col 7}pagesize{col 20}{res}%s\n", size.c_str());
  ip.out.printf_markup("{txt}{col 7}pagewidth{col 20}{res}%g\n", p.width);
  ip.out.printf_markup("{txt}{col 7}pageheight{col 20}{res}%g\n", p.height);
  ip.out.printf_markup("{txt}{col 7}lmargin{col 20}{res}%g\n", p.lmargin);
  ip.out.printf_markup("{txt}{col 7}rmargin{col 20}{res}%g\n", p.rmargin);
  ip.out.printf_markup("{txt}{col 7}tmargin{col 20}{res}%g\n", p.tmargin);
  ip.out.printf_markup("{txt}{col 7}bmargin{col 20}{res}%g\n", p.bmargin);
  ip.out.printf_markup("{txt}{col 7}fontsize{col 20}{res}%d\n", p.fontsize);
  ip.out.printf_markup("{txt}{col 7}header{col 20}{res}%s\n", p.header ? "on" : "off");
  ip.out.printf_markup("{txt}{col 7}printcolor{col 20}{res}%s\n", p.colour ? "on" : "off");
  ip.out.printf_markup("{txt}{col 7}cmyk{col 20}{res}%s\n", p.cmyk ? "on" : "off");
}

// A number in [lo, hi]: false when `text` is not one.
bool number_in(std::string_view text, double lo, double hi, double* out) {
  std::string t(text);
  char* end = nullptr;
  double v = std::strtod(t.c_str(), &end);
  if (t.empty() || end != t.c_str() + t.size() || !std::isfinite(v) || v < lo || v > hi) return false;
  *out = v;
  return true;
}

rc_t set_one(Interp& ip, TextPage* p, std::string_view setting, std::string_view value) {
  TextPage next = *p;
  double v = 0;
  auto on_off = [&](bool* flag) -> rc_t {
    if (value == "on") *flag = true;
    else if (value == "off") *flag = false;
    else return msg_quoting(ip.out, "", value, " invalid; specify on or off\n", 198);
    return 0;
  };
  auto length = [&](double* field, double lo, double hi) -> rc_t {
    if (!number_in(value, lo, hi, &v)) {
      char buf[96];
      std::snprintf(buf, sizeof buf, " invalid; specify inches from %g to %g\n", lo, hi);
      return msg_quoting(ip.out, "", value, buf, 198);
    }
    *field = v;
    return 0;
  };
  rc_t rc = 0;
  if (setting == "pagesize") {
    bool found = false;
    for (const PageSizeName& s : kPageSizes)
      if (value == s.name) next.width = s.width, next.height = s.height, found = true;
    if (!found) return msg_quoting(ip.out, "", value, " invalid; specify letter, legal or a4\n", 198);
  } else if (setting == "pagewidth") {
    rc = length(&next.width, 2, 100);
  } else if (setting == "pageheight") {
    rc = length(&next.height, 2, 100);
  } else if (setting == "lmargin") {
    rc = length(&next.lmargin, 0, 10);
  } else if (setting == "rmargin") {
    rc = length(&next.rmargin, 0, 10);
  } else if (setting == "tmargin") {
    rc = length(&next.tmargin, 0, 10);
  } else if (setting == "bmargin") {
    rc = length(&next.bmargin, 0, 10);
  } else if (setting == "fontsize") {
    if (!number_in(value, 4, 72, &v) || v != std::floor(v))
      return msg_quoting(ip.out, "", value, " invalid; specify whole points from 4 to 72\n", 198);
    next.fontsize = static_cast<int>(v);
  } else if (setting == "header") {
    rc = on_off(&next.header);
  } else if (setting == "printcolor") {
    rc = on_off(&next.colour);
  } else if (setting == "cmyk") {
    rc = on_off(&next.cmyk);
  } else {
    return msg_quoting(ip.out, "", setting, " is not a setting of the translator\n", 198);
  }
  if (rc) return rc;
  // The text must keep some room on the page.
  if (next.width - next.lmargin - next.rmargin < 1 || next.height - next.tmargin - next.bmargin < 1)
    return msg_quoting(ip.out, "", "", "margins leave less than an inch of the page\n", 198);
  *p = next;
  return 0;
}

}  // namespace

rc_t cmd_translator(Interp& ip) {
  std::string_view rest = ip.reader.rest();
  std::string_view sub = take_word(rest);
  std::string_view name = take_word(rest);
  if (abbreviates(sub, "query", 1)) {
    if (name.empty()) {
      show_settings(ip, "nmcl2ps", *translator_page(ip, "nmcl2ps"));
      show_settings(ip, "log2ps", *translator_page(ip, "log2ps"));
      return 0;
    }
    TextPage* p = translator_page(ip, name);
    if (!p) return no_translator(ip, name);
    show_settings(ip, std::string(name).c_str(), *p);
    return 0;
  }
  if (sub == "set" || sub == "reset") {
    if (name.empty()) return msg_required(ip, "translator name");
    TextPage* p = translator_page(ip, name);
    if (!p) return no_translator(ip, name);
    if (sub == "reset") {
      *p = TextPage();
      return 0;
    }
    std::string_view setting = take_word(rest);
    std::string_view value = base::trim_blanks(rest);
    if (setting.empty() || value.empty()) return msg_required(ip, "setting and value");
    return set_one(ip, p, setting, value);
  }
  if (sub.empty()) return msg_required(ip, "query, set or reset");
  return msg_quoting(ip.out, "translator ", sub, " not recognized; use query, set or reset\n", 199);
}

rc_t cmd_translate(Interp& ip) {
  std::vector<std::string> words;
  CommandLine cl;
  if (rc_t rc = graphics::read_file_words(ip, &words, &cl)) return rc;
  bool replace = cl.flag("replace", 7, 0) == 1;
  std::string chosen;
  bool named = cl.string("translator", 5, &chosen, 64, 1);
  if (rc_t rc = cl.leftover(ip)) return rc;
  if (words.size() != 2) return msg_quoting(ip.out, "", "", "translate filein fileout required\n", 198);
  const std::string& in = words[0];
  const std::string& outfile = words[1];
  if (suffix_of(outfile) != "ps")
    return msg_quoting(ip.out, "", outfile, ": translate writes PostScript; name the output file .ps\n", 198);
  std::string_view tname = base::trim_blanks(chosen);
  if (named && !translator_page(ip, tname)) return no_translator(ip, tname);

  std::vector<std::uint8_t> bytes;
  if (rc_t rc = graphics::read_whole_file(dta::local_path(in), &bytes)) return dta::file_message(ip, in, rc);
  std::string text(bytes.begin(), bytes.end());
  bool nmcl = named ? tname == "nmcl2ps" : text.starts_with("{nmcl}");
  TextPage page = *translator_page(ip, nmcl ? "nmcl2ps" : "log2ps");
  page.title = in;
  std::string ps;
  int pages = 0;
  graphics::nmcl_to_postscript(text, !nmcl, page, &ps, &pages);

  dta::ReplacingFile out;
  if (rc_t rc = out.open(dta::local_path(outfile), replace, 0666 & ~ip.umask_value))
    return dta::file_message(ip, outfile, rc);
  (void)out.write(ps.data(), ps.size());  // a failed write is reported by commit
  if (rc_t rc = out.commit()) return dta::file_message(ip, outfile, rc);
  ip.out.set_class(output::OutClass::Text);
  ip.out.print_markup("{txt}(file ");
  ip.out.print_plain(outfile);
  ip.out.printf_markup(" written in PostScript format, %d page%s)\n", pages, pages == 1 ? "" : "s");
  return 0;
}

}  // namespace nuvra
