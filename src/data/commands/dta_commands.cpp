// save, use and describe using: the commands around the dataset file
// reader and writer, with their messages and the S_FN / S_FNDATE globals.
#include <sys/stat.h>

#include <cstdlib>

#include "data/commands/commands.h"
#include "data/commands/dta_commands.h"
#include "data/dta/dta_read.h"
#include "data/dta/dta_write.h"
#include "interp/interp.h"
#include "interp/messages.h"
#include "data/names.h"
#include "interp/parse.h"
#include "output/logs.h"

namespace nuvra {

namespace dta {

std::string with_dta_suffix(std::string_view name, std::string_view ext) {
  std::string s(name);
  if (s.empty() || s.back() == ':') return s;
  std::size_t sep = s.find_last_of("/\\");
  std::size_t dot = s.rfind('.');
  if (dot == std::string::npos || (sep != std::string::npos && dot < sep)) s += ext;
  return s;
}

std::string local_path(const std::string& name) {
  if (name == "~" || name.starts_with("~/")) {
    if (const char* home = std::getenv("HOME")) return std::string(home) + name.substr(1);
  }
  return name;
}

rc_t file_message(Interp& ip, std::string_view shown, rc_t rc) {
  const char* text;
  switch (rc) {
    case 601: text = " not found"; break;
    case 602: text = " already exists"; break;
    case 603: text = " could not be opened"; break;
    case 608: text = " is read-only; cannot be modified or erased"; break;
    case 609: text = " xp format"; break;
    case 610: text = " not Nuvra format"; break;
    case 612: text = " unexpected end of file"; break;
    case 688: text = " is corrupt"; break;
    case 692: text = " I/O error on read"; break;
    case 693: text = " I/O error on write"; break;
    case 699: return msg_quoting(ip.out, "{p 0 4}insufficient disk space{p_end}\n", "", "", 699);
    default: {
      char buf[32];
      std::snprintf(buf, sizeof buf, " error %d", rc);
      return msg_quoting(ip.out, "{p 0 4}file ", shown, std::string(buf) + "{p_end}\n", rc);
    }
  }
  return msg_quoting(ip.out, "{p 0 4}file ", shown, std::string(text) + "{p_end}\n", rc);
}

rc_t newer_release_message(Interp& ip, std::string_view shown) {
  return msg_quoting(ip.out, "{p 0 4 4}file ", shown,
                     " from more recent version of Nuvra; type {nuvra update query:update query} to see if an "
                     "update to Nuvra is available and look at {browse \"https://www.nuvra.org/\":www.nuvra.org}"
                     " to see if a new version of Nuvra is available.{p_end}\n",
                     610);
}

void print_save_notes(Interp& ip, const data::Dataset& ds, const std::string& path, std::string_view shown,
                      bool replace) {
  ip.out.set_class(output::OutClass::Text);
  if (ds.nobs() == 0) ip.out.print_markup("(note: dataset contains 0 observations)\n");
  struct stat st{};
  if (replace && ::stat(path.c_str(), &st) != 0) {
    ip.out.print_markup("(note: file ");
    ip.out.print_plain(shown);
    ip.out.print_markup(" not found)\n");
  }
}

void print_saved(Interp& ip, std::string_view shown) {
  ip.out.set_class(output::OutClass::Text);
  ip.out.print_markup("file ");
  ip.out.print_plain(shown);
  ip.out.print_markup(" saved\n");
}

// Runs the standard parse over `text` as if it were the rest of the line.
rc_t parse_text(Interp& ip, const ParseSettings& st, std::string text, CommandLine* cl) {
  std::string saved = ip.cmdbuf;
  size_t pos = ip.reader.pos();
  ip.cmdbuf = std::move(text);
  ip.reader.attach(&ip.cmdbuf, 0);
  rc_t rc = standard_parse(ip, st, cl);
  ip.cmdbuf = std::move(saved);
  ip.reader.attach(&ip.cmdbuf, pos);
  return rc;
}

rc_t load_failure(Interp& ip, std::string_view shown, rc_t rc, const LoadResult& res, int newer) {
  if (res.printed) return rc;
  if (newer) return newer_release_message(ip, shown);
  switch (rc) {
    case 601: case 603: case 609: case 610: case 612: case 688: case 692:
      return file_message(ip, shown, rc);
    default:
      return rc_message(ip, rc);
  }
}

}  // namespace dta

namespace {

using dta::local_path;
using dta::parse_text;

// The first comma outside double quotes.
std::size_t comma_at(std::string_view s) {
  bool q = false;
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '"') q = !q;
    else if (s[i] == ',' && !q) return i;
  }
  return std::string_view::npos;
}

// Splits off the file name at the start of `s`: a double-quoted string or
// one unquoted word.  *after gets what follows it, trimmed.
std::string file_word(std::string_view s, std::string_view* after) {
  s = trim(s);
  std::size_t end;
  std::string name;
  if (!s.empty() && s.front() == '"') {
    std::size_t close = s.find('"', 1);
    if (close == std::string_view::npos) close = s.size();
    name = std::string(s.substr(1, close - 1));
    end = close < s.size() ? close + 1 : s.size();
  } else {
    end = 0;
    while (end < s.size() && s[end] != ' ' && s[end] != '\t') ++end;
    name = std::string(s.substr(0, end));
  }
  *after = trim(s.substr(end));
  return name;
}

bool is_word(std::string_view s, std::string_view w) {
  return s.starts_with(w) && (s.size() == w.size() || s[w.size()] == ' ' || s[w.size()] == '\t');
}

// Splits "main [, options]" and parses the options.
rc_t split_options(Interp& ip, std::string_view rest, std::string* main, CommandLine* cl) {
  std::size_t c = comma_at(rest);
  *main = std::string(trim(rest.substr(0, c)));
  ParseSettings st;
  return parse_text(ip, st, c == std::string_view::npos ? std::string() : std::string(rest.substr(c)), cl);
}

// Where the word `w` stands alone in s, outside quotes; npos if nowhere.
std::size_t find_word(std::string_view s, std::string_view w) {
  bool q = false;
  for (std::size_t i = 0; i + w.size() <= s.size(); ++i) {
    if (s[i] == '"') q = !q;
    if (q) continue;
    if (s.compare(i, w.size(), w) != 0) continue;
    bool left = i == 0 || s[i - 1] == ' ' || s[i - 1] == '\t';
    bool right = i + w.size() == s.size() || s[i + w.size()] == ' ' || s[i + w.size()] == '\t';
    if (left && right) return i;
  }
  return std::string_view::npos;
}

void print_notes(Interp& ip, const std::vector<dta::LoadNote>& notes) {
  ip.out.set_class(output::OutClass::Text);
  for (const auto& n : notes) {
    ip.out.print_markup(n.before);
    if (!n.user.empty()) ip.out.print_plain(n.user);
    ip.out.print_markup(n.after);
  }
}

// A fresh dataset with the settings of the one in memory.
void fresh_like(const data::Dataset& ds, data::Dataset* fresh) {
  fresh->set_maxvar(ds.maxvar());
  fresh->set_varabbrev(ds.varabbrev());
}


}  // namespace

// save [filename] [, replace nolabel orphans oldformat all emptyok]
rc_t cmd_save(Interp& ip) {
  std::string main;
  CommandLine cl;
  if (rc_t rc = split_options(ip, ip.reader.rest(), &main, &cl)) return rc;
  dta::SaveOptions opt;
  opt.replace = cl.flag("replace", 7, 0) == 1;
  opt.nolabel = cl.flag("nolabel", 3, 0) == 1;
  opt.orphans = cl.flag("orphans", 7, 0) == 1;
  opt.oldformat = cl.flag("oldformat", 9, 0) == 1;
  opt.all = cl.flag("all", 3, 0) == 1;
  bool emptyok = cl.flag("emptyok", 5, 0) == 1;
  if (rc_t rc = cl.leftover(ip)) return rc;
  // save writes the whole dataset: a subset is made with keep or drop first.
  std::string_view after;
  std::string name = file_word(main, &after);
  std::string_view head = trim(main);
  if (is_word(head, "if") || is_word(after, "if")) return msg_quoting(ip.out, "", "if", " not allowed\n", 101);
  if (is_word(head, "in") || is_word(after, "in"))
    return msg_quoting(ip.out, "", "in range", " not allowed\n", 101);
  if (!after.empty()) return rc_message(ip, 7197);
  if (name.empty()) {
    const std::string* fn = ip.macros.global("S_FN");
    if (!fn || fn->empty()) return rc_message(ip, 7197);
    name = *fn;
  }
  std::string shown = dta::with_dta_suffix(name);
  std::string path = local_path(shown);
  data::Dataset& ds = ip.dataset;
  if (ds.nvar() == 0 && !emptyok) return rc_message(ip, 111);

  dta::print_save_notes(ip, ds, path, shown, opt.replace);
  opt.stamp = output::log_clock();
  opt.create_mode = static_cast<mode_t>(0666 & ~ip.umask_value);
  opt.fail_after = dta::command_save_fail_after();
  if (rc_t rc = dta::save_file(ds, path, opt)) return dta::file_message(ip, shown, rc);

  dta::print_saved(ip, shown);
  ds.set_changed(false);
  ip.data_changed = false;
  ip.macros.set_global("S_FN", shown);
  ip.macros.set_global("S_FNDATE", dta::time_stamp_text(opt.stamp));
  return 0;
}

// use filename [, clear nolabel]
// use [varlist] [if] [in] using filename [, clear nolabel]
rc_t cmd_use(Interp& ip) {
  std::string main;
  CommandLine opts;
  if (rc_t rc = split_options(ip, ip.reader.rest(), &main, &opts)) return rc;
  bool clear = opts.flag("clear", 5, 0) == 1;
  bool replace = opts.flag("replace", 7, 0) == 1;
  dta::LoadOptions lo;
  lo.nolabel = opts.flag("nolabel", 3, 0) == 1;
  if (rc_t rc = opts.leftover(ip)) return rc;

  std::string name;
  std::string_view after;
  std::size_t u = find_word(main, "using");
  if (u == std::string::npos) {
    name = file_word(main, &after);
    if (!after.empty()) return rc_message(ip, 7197);
  } else {
    name = file_word(std::string_view(main).substr(u + 5), &after);
    if (!after.empty()) return rc_message(ip, 7197);
    std::string head = main.substr(0, u);
    // The `in` range is read against the file's observations, so it is
    // taken out before the standard parse sees it.
    std::size_t in = find_word(head, "in");
    if (in != std::string::npos) {
      std::size_t b = in + 2;
      while (b < head.size() && head[b] == ' ') ++b;
      std::size_t e = b;
      while (e < head.size() && head[e] != ' ') ++e;
      lo.in_text = head.substr(b, e - b);
      if (lo.in_text.empty()) return msg_invalid(ip, "syntax");
      head.erase(in, e - in);
    }
    ParseSettings st{.varlist = true, .allow_if = true, .allow_options = false};
    CommandLine cl;
    if (rc_t rc = parse_text(ip, st, head, &cl)) return rc;
    lo.varlist_text = cl.varlist_text;
    lo.if_text = cl.if_text;
  }
  if (name.empty()) return rc_message(ip, 7197);
  std::string shown = dta::with_dta_suffix(name);
  data::Dataset& ds = ip.dataset;
  if ((ds.changed() || ip.data_changed) && !clear && !replace) return rc_message(ip, 4);

  data::Dataset fresh(ds.memory());
  fresh_like(ds, &fresh);
  dta::LoadResult res;
  int newer = 0;
  if (rc_t rc = dta::load_file(ip, local_path(shown), lo, &fresh, &res, &newer))
    return dta::load_failure(ip, shown, rc, res, newer);
  ds.swap_contents(fresh);
  ds.set_changed(false);
  ip.data_changed = false;
  print_notes(ip, res.notes);
  ip.macros.set_global("S_FN", shown);
  ip.macros.set_global("S_FNDATE", res.time_stamp);
  return 0;
}

// describe using filename: the file's header and variables, without
// loading its data.
rc_t describe_using(Interp& ip, const std::string& file, bool is_short, bool simple) {
  std::string shown = dta::with_dta_suffix(file);
  data::Dataset fresh(ip.dataset.memory());
  fresh_like(ip.dataset, &fresh);
  dta::LoadOptions lo;
  lo.descriptors_only = true;
  dta::LoadResult res;
  int newer = 0;
  if (rc_t rc = dta::load_file(ip, local_path(shown), lo, &fresh, &res, &newer))
    return dta::load_failure(ip, shown, rc, res, newer);
  datacmd::DescribeHeader h;
  h.file = shown;
  h.date = res.time_stamp;
  h.nobs = res.file_nobs;
  h.size = res.file_nobs * static_cast<std::int64_t>(fresh.used_width());
  datacmd::describe_dataset(ip, fresh, h, is_short, simple);
  ip.r_results.clear();
  ip.r_results.scalars["N"] = static_cast<double>(res.file_nobs);
  ip.r_results.scalars["k"] = fresh.nvar();
  ip.r_results.scalars["width"] = fresh.used_width();
  return 0;
}

}  // namespace nuvra
