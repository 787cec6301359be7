// log and cmdlog: opening, pausing, resuming, closing and querying logs,
// and the translation of NMCL files to plain text and HTML.
#include "output/commands/log_commands.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <vector>

#include "interp/interp.h"
#include "interp/list_elements.h"
#include "interp/messages.h"
#include "data/names.h"
#include "interp/parse.h"
#include "output/logs.h"

namespace nuvra {
namespace {

using output::LogRecord;
using output::OutClass;

// Position of the first comma outside quotes, or npos.
size_t options_comma(std::string_view s) {
  bool quoted = false;
  int compound = 0;
  for (size_t i = 0; i < s.size(); ++i) {
    if (s.substr(i, 2) == "`\"") {
      ++compound;
      ++i;
    } else if (compound > 0 && s.substr(i, 2) == "\"'") {
      --compound;
      ++i;
    } else if (compound == 0 && s[i] == '"') {
      quoted = !quoted;
    } else if (!quoted && compound == 0 && s[i] == ',') {
      return i;
    }
  }
  return std::string_view::npos;
}

// Reads what follows a subcommand: its words, and its options through the
// standard parse.
rc_t read_arguments(Interp& ip, std::vector<std::string>* words, CommandLine* cl) {
  std::string_view rest = ip.reader.rest();
  size_t comma = options_comma(rest);
  std::string_view before = rest.substr(0, comma);
  if (!read_closed_list(before, words)) return msg_invalid(ip, "syntax");
  ParseSettings st;
  if (comma == std::string_view::npos) {
    *cl = CommandLine{};
    return 0;
  }
  size_t at = static_cast<size_t>(rest.data() - ip.cmdbuf.data()) + comma;
  ip.reader.set_pos(at);
  return standard_parse(ip, st, cl);
}

rc_t file_exists_message(Interp& ip, std::string_view file) {
  return msg_quoting(ip.out, "file ", file, " already exists\n", 602);
}
rc_t file_not_opened_message(Interp& ip, std::string_view file) {
  return msg_quoting(ip.out, "file ", file, " could not be opened\n", 603);
}
rc_t file_not_found_message(Interp& ip, std::string_view file) {
  return msg_quoting(ip.out, "file ", file, " not found\n", 601);
}

// Opens a log file for writing: replace truncates, append keeps what is
// there, neither insists on a new file.  Returns the descriptor or -1
// after printing the message (602 or 603 in *rc).
int open_for_writing(Interp& ip, const std::string& file, bool append, bool replace, rc_t* rc) {
  // Appending mode puts every write at the end of the file, as the logs
  // require, without a separate positioning call per write.
  int flags = O_WRONLY | O_CREAT | O_APPEND;
  if (replace)
    flags |= O_TRUNC;
  else if (!append)
    flags |= O_EXCL;
  int fd = ::open(file.c_str(), flags | O_CLOEXEC, 0666);
  if (fd < 0) {
    *rc = errno == EEXIST ? file_exists_message(ip, file) : file_not_opened_message(ip, file);
    return -1;
  }
  return fd;
}

bool attach(Interp& ip, const LogRecord& r, int request) {
  output::NmclStream& s = ip.out.stream();
  return r.nmcl ? s.attach_nmcl_log(r.fd, request) : s.attach_text_log(r.fd, request);
}

rc_t refused(Interp& ip) {
  return msg_quoting(ip.out, "nmcl refused log request -- log not opened\n", "", "", 603);
}

void set_results(Interp& ip, const std::string& file, std::string_view status, std::string_view type) {
  ip.r_results.clear();
  if (!file.empty()) ip.r_results.macros["filename"] = file;
  ip.r_results.macros["status"] = std::string(status);
  if (!type.empty()) ip.r_results.macros["type"] = std::string(type);
}

// ---------------------------------------------------------------------------
// log

// What `log using` and `cmdlog using` share: the file, and the options
// append and replace.
rc_t parse_using(Interp& ip, CommandLine* cl, bool* append, bool* replace) {
  ParseSettings st{.allow_using = true};
  if (rc_t rc = standard_parse(ip, st, cl)) return rc;
  if (!cl->has_using) return msg_invalid(ip, "syntax");
  *append = cl->flag("append", 6, 0) == 1;
  *replace = cl->flag("replace", 7, 0) == 1;
  return 0;
}

rc_t log_using(Interp& ip) {
  CommandLine cl;
  bool append, replace;
  if (rc_t rc = parse_using(ip, &cl, &append, &replace)) return rc;
  bool text = cl.flag("text", 4, 0) == 1;
  bool nmcl = cl.flag("nmcl", 4, 0) == 1;
  std::string name;
  cl.string("name", 4, &name, 256, 1);
  if (rc_t rc = cl.leftover(ip)) return rc;
  if (append && replace)
    return msg_quoting(ip.out, "options append and replace may not be combined\n", "", "", 198);
  if (text && nmcl)
    return msg_quoting(ip.out, "options text and nmcl may not be combined\n", "", "", 198);
  if (!name.empty() && !is_valid_name(name)) return msg_quoting(ip.out, "", name, " invalid name\n", 198);

  output::Logs& logs = ip.out.logs();
  bool is_nmcl = nmcl ? true : text ? false : logs.logtype == output::kLogTypeNmcl;
  std::string file = cl.using_file;
  if (!output::has_suffix(file)) {
    file += is_nmcl ? ".nmcl" : ".log";
  } else if (!text && !nmcl) {
    if (file.ends_with(".log"))
      is_nmcl = false;
    else if (file.ends_with(".nmcl"))
      is_nmcl = true;
  }
  if (LogRecord* open = logs.find(name); open && open->is_open()) return rc_message(ip, 604);

  rc_t rc = 0;
  int fd = open_for_writing(ip, file, append, replace, &rc);
  if (fd < 0) return rc;
  ip.out.flush();
  LogRecord r;
  r.fd = fd;
  r.nmcl = is_nmcl;
  r.on = true;
  r.file = file;
  r.name = name;
  if (!attach(ip, r, output::kLogAdd)) {
    ::close(fd);
    return refused(ip);
  }
  LogRecord& kept = logs.record(name);
  kept = r;
  output::print_log_block(ip.out, kept, "opened");
  set_results(ip, kept.file, "on", kept.nmcl ? "nmcl" : "text");
  return 0;
}

// The optional log name after close, off, on and query.
rc_t log_name_argument(Interp& ip, std::string* name) {
  std::vector<std::string> words;
  CommandLine cl;
  if (rc_t rc = read_arguments(ip, &words, &cl)) return rc;
  if (rc_t rc = cl.leftover(ip)) return rc;
  if (words.size() > 1) return msg_invalid(ip, "syntax");
  name->clear();
  if (!words.empty()) {
    if (!is_valid_name(words[0])) return msg_quoting(ip.out, "", words[0], " invalid name\n", 198);
    *name = words[0];
  }
  return 0;
}

rc_t log_close(Interp& ip, const std::string& name) {
  output::Logs& logs = ip.out.logs();
  LogRecord* r = logs.find(name);
  if (!r || !r->is_open()) return rc_message(ip, 606);
  output::print_log_block(ip.out, *r, "closed");
  ip.out.flush();
  if (r->on) attach(ip, *r, output::kLogRemove);
  ::close(r->fd);
  logs.clear(*r);
  return 0;
}

rc_t log_off(Interp& ip, const std::string& name) {
  LogRecord* r = ip.out.logs().find(name);
  if (!r || !r->is_open()) return rc_message(ip, 606);
  if (!r->on) {
    ip.out.markup(OutClass::Text, "{txt}(log already off)\n");
    return 0;
  }
  output::print_log_block(ip.out, *r, "paused");
  ip.out.flush();
  attach(ip, *r, output::kLogRemove);
  r->on = false;
  return 0;
}

rc_t log_on(Interp& ip, const std::string& name) {
  LogRecord* r = ip.out.logs().find(name);
  if (!r || !r->is_open()) return rc_message(ip, 606);
  if (r->on) {
    ip.out.markup(OutClass::Text, "{txt}(log already on)\n");
    return 0;
  }
  ip.out.flush();
  if (!attach(ip, *r, output::kLogAdd)) return refused(ip);
  r->on = true;
  output::print_log_block(ip.out, *r, "resumed");
  return 0;
}

void query_line(Interp& ip, std::string_view label, std::string_view value, bool plain) {
  ip.out.set_class(OutClass::Text);
  ip.out.print_markup(label);
  ip.out.set_class(OutClass::Result);
  if (plain)
    ip.out.print_plain(value);
  else
    ip.out.print_markup(value);
}

rc_t log_query(Interp& ip, const std::string& name) {
  LogRecord* r = ip.out.logs().find(name);
  if (!r || !r->is_open()) {
    ip.out.set_class(OutClass::Text);
    if (name.empty()) {
      ip.out.print_markup("(no log open)\n");
    } else {
      ip.out.print_markup("(log ");
      ip.out.print_plain(name);
      ip.out.print_markup(" closed)\n");
    }
    set_results(ip, "", "closed", "");
    return 0;
  }
  if (!r->name.empty()) {
    query_line(ip, "      name:  ", r->name, true);
    ip.out.print_markup("\n");
  }
  query_line(ip, "       log:  ", r->file, true);
  ip.out.set_class(OutClass::Text);
  ip.out.print_markup(", ");
  ip.out.set_class(OutClass::Result);
  ip.out.print_markup(r->on ? "on\n" : "off\n");
  query_line(ip, "  log type:  ", r->nmcl ? "nmcl\n" : "text\n", false);
  ip.out.set_class(OutClass::Text);
  set_results(ip, r->file, r->on ? "on" : "off", r->nmcl ? "nmcl" : "text");
  return 0;
}

// ---------------------------------------------------------------------------
// Translation

// A whole file, or false.
bool read_file(const std::string& path, std::string* out) {
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return false;
  out->clear();
  char buf[8192];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) out->append(buf, n);
  std::fclose(f);
  return true;
}

bool is_regular_file(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// The HTML form: each line's pieces of one style (and one link) become a
// span, wrapped in an anchor when the piece belongs to a link.
struct HtmlOptions {
  bool fragment = false;  // the web form: no document around the lines
  bool book = false;      // no colours, for printing
  bool yebf = false;      // results in bold
  bool whbf = false;      // input in bold
  std::string helpcgi = "/help.cgi", searchcgi = "/search.cgi";
};

struct HtmlSink {
  std::string html;
  const HtmlOptions* opt;

  static void escape(std::string& out, uint8_t c, bool drawing) {
    if (drawing) {
      static const char* const kBox[] = {nullptr,    "&#9516;", "&#9524;", "&#9500;", "&#9508;",
                                         "&#9496;",  "&#9492;", "&#9488;", "&#9484;"};
      if (c >= 1 && c <= 8) {
        out += kBox[c];
        return;
      }
      if (c == '-') out += "&#9472;";
      else if (c == '|') out += "&#9474;";
      else if (c == '+') out += "&#9532;";
      else out += static_cast<char>(c);
      return;
    }
    switch (c) {
      case '&': out += "&amp;"; return;
      case '<': out += "&lt;"; return;
      case '>': out += "&gt;"; return;
      case '"': out += "&quot;"; return;
      default: break;
    }
    if (c >= 128 || c < 32) {
      // The text is Latin-1; numeric references keep the page encoding-free.
      out += "&#" + std::to_string(c == 128 ? 8364 : c) + ";";
      return;
    }
    out += static_cast<char>(c);
  }

  static std::string url_escape(std::string_view s) {
    static const char* hex = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : s) {
      if (std::isalnum(c) || c == '-' || c == '_' || c == '.' || c == '~') {
        out += static_cast<char>(c);
      } else {
        out += '%';
        out += hex[c >> 4];
        out += hex[c & 15];
      }
    }
    return out;
  }

  std::string href(const output::DecodedLink& l) const {
    std::string h;
    switch (l.kind) {
      case output::kLinkBrowse: h = l.target; break;
      case output::kLinkSearch: h = opt->searchcgi + "?" + url_escape(l.target); break;
      default: h = opt->helpcgi + "?" + url_escape(l.target); break;
    }
    std::string out;
    for (char c : h) escape(out, static_cast<uint8_t>(c), false);
    return out;
  }

  static std::string classes(uint8_t st) {
    static const char* const kColour[] = {"txt", "res", "txt", "txt", "err", "com", "lnk", "hi"};
    std::string c = kColour[st & output::kStyleColourMask];
    if (st & output::kStyleItalic) c += " it";
    if (st & output::kStyleBold) c += " bf";
    if (st & output::kStyleUnderline) c += " ul";
    return c;
  }

  void line(const uint8_t* rec) {
    output::DecodedLine d = output::decode_line_record(rec);
    size_t n = d.text.size();
    auto link_at = [&](size_t col) -> const output::DecodedLink* {
      for (const auto& l : d.links)
        if (static_cast<size_t>(l.start) <= col && col < static_cast<size_t>(l.end)) return &l;
      return nullptr;
    };
    size_t i = 0;
    while (i < n) {
      uint8_t st = d.style[i];
      const output::DecodedLink* link = link_at(i);
      size_t j = i + 1;
      while (j < n && d.style[j] == st && link_at(j) == link) ++j;
      if (link) html += "<a href=\"" + href(*link) + "\">";
      html += "<span class=\"" + classes(st) + "\">";
      for (size_t k = i; k < j; ++k)
        escape(html, static_cast<uint8_t>(d.text[k]), (st & output::kStyleDrawing) != 0);
      html += "</span>";
      if (link) html += "</a>";
      i = j;
    }
    html += '\n';
  }

  static int sink(void* arg, const uint8_t* rec, int kind) {
    if (kind == output::kSinkLine) static_cast<HtmlSink*>(arg)->line(rec);
    return ' ';
  }
};

std::string html_style(const HtmlOptions& o) {
  std::string css =
      "pre.nmcl { font-family: monospace; }\n"
      "pre.nmcl span.it { font-style: italic; }\n"
      "pre.nmcl span.bf { font-weight: bold; }\n"
      "pre.nmcl span.ul { text-decoration: underline; }\n"
      "pre.nmcl a { text-decoration: none; }\n";
  if (!o.book) {
    css +=
        "pre.nmcl { background: #ffffff; color: #000000; }\n"
        "pre.nmcl span.res { color: #000000; }\n"
        "pre.nmcl span.txt { color: #000000; }\n"
        "pre.nmcl span.err { color: #c00000; }\n"
        "pre.nmcl span.com { color: #000000; }\n"
        "pre.nmcl span.lnk { color: #0000c0; }\n"
        "pre.nmcl span.hi { color: #000000; font-weight: bold; }\n";
  }
  if (o.yebf) css += "pre.nmcl span.res { font-weight: bold; }\n";
  if (o.whbf) css += "pre.nmcl span.com { font-weight: bold; }\n";
  return css;
}

rc_t write_whole(Interp& ip, const std::string& target, std::string_view data) {
  int fd = ::open(target.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0) return file_not_opened_message(ip, target);
  bool ok = true;
  while (!data.empty()) {
    ssize_t w = ::write(fd, data.data(), data.size());
    if (w < 0 && errno == EINTR) continue;
    if (w <= 0) {
      ok = false;
      break;
    }
    data.remove_prefix(static_cast<size_t>(w));
  }
  ::close(fd);
  if (!ok) return msg_quoting(ip.out, "file ", target, " I/O error on write\n", 693);
  return 0;
}

rc_t translate_to_html(Interp& ip, const std::string& source, const std::string& target, int width,
                       const HtmlOptions& opt) {
  std::string markup;
  if (!read_file(source, &markup)) return file_not_opened_message(ip, source);
  HtmlSink sink;
  sink.opt = &opt;
  {
    output::NmclStream s;
    s.set_width(width);
    s.set_sink(HtmlSink::sink, &sink);
    s.feed(markup);
    s.finish();
  }
  std::string page;
  if (!opt.fragment) {
    std::string title;
    for (char c : source) HtmlSink::escape(title, static_cast<uint8_t>(c), false);
    page = "<!DOCTYPE html>\n<html>\n<head>\n<meta charset=\"utf-8\">\n<title>" + title +
           "</title>\n<style>\n" + html_style(opt) + "</style>\n</head>\n<body>\n";
  } else {
    page = "<style>\n" + html_style(opt) + "</style>\n";
  }
  page += "<pre class=\"nmcl\">\n" + sink.html + "</pre>\n";
  if (!opt.fragment) page += "</body>\n</html>\n";
  return write_whole(ip, target, page);
}

// log translate|html|webhtml|texman source [target] [, options]
rc_t log_translate(Interp& ip, std::string_view form) {
  std::vector<std::string> words;
  CommandLine cl;
  if (rc_t rc = read_arguments(ip, &words, &cl)) return rc;
  bool replace = cl.flag("replace", 7, 0) == 1;
  long long ll = cl.integer("ll", 2, 79);
  HtmlOptions html;
  html.fragment = form == "webhtml";
  if (form == "html" || form == "webhtml") {
    html.book = cl.flag("book", 4, 0) == 1;
    html.yebf = cl.flag("yebf", 4, 0) == 1;
    html.whbf = cl.flag("whbf", 4, 0) == 1;
  }
  if (form == "webhtml") {
    cl.flag("links", 5, 0);
    std::string v;
    if (cl.string("helpcgi", 7, &v, 500, 1)) html.helpcgi = v;
    if (cl.string("searchcgi", 9, &v, 500, 1)) html.searchcgi = v;
  }
  if (rc_t rc = cl.leftover(ip)) return rc;
  if (words.empty() || words.size() > 2) return msg_invalid(ip, "syntax");
  if (ll < 40 || ll > 255) return msg_quoting(ip.out, "ll() must be between 40 and 255\n", "", "", 198);
  if (form == "texman") return msg_not_available(ip, "log texman");

  std::string source = words[0];
  std::string target;
  const char* out_suffix = form == "translate" ? ".log" : ".html";
  if (words.size() == 2) {
    target = words[1];
  } else {
    if (output::has_suffix(source))
      return msg_quoting(ip.out, "must specify file to be written if source has .suffix\n", "", "",
                         198);
    target = source + out_suffix;
    source += ".nmcl";
  }
  if (!is_regular_file(source)) return file_not_found_message(ip, source);
  if (!replace && ::access(target.c_str(), F_OK) == 0) return file_exists_message(ip, target);
  rc_t rc = form == "translate" ? translate_to_text(ip, source, target, static_cast<int>(ll))
                                : translate_to_html(ip, source, target, static_cast<int>(ll), html);
  if (rc) return rc;
  ip.out.set_class(OutClass::Text);
  ip.out.print_markup("(file ");
  ip.out.print_plain(target);
  ip.out.print_markup(" written)\n");
  return 0;
}

// ---------------------------------------------------------------------------
// cmdlog

rc_t cmdlog_using(Interp& ip) {
  CommandLine cl;
  bool append, replace;
  if (rc_t rc = parse_using(ip, &cl, &append, &replace)) return rc;
  if (rc_t rc = cl.leftover(ip)) return rc;
  if (append && replace)
    return msg_quoting(ip.out, "options append and replace may not be combined\n", "", "", 198);
  output::CommandLog& c = ip.out.logs().cmdlog;
  if (c.is_open()) return rc_message(ip, 604);
  std::string file = cl.using_file;
  if (!output::has_suffix(file)) file += ".txt";
  rc_t rc = 0;
  int fd = open_for_writing(ip, file, append, replace, &rc);
  if (fd < 0) return rc;
  c.fd = fd;
  c.on = true;
  c.write_enabled = true;
  c.file = file;
  ip.out.set_class(OutClass::Text);
  ip.out.print_markup("(cmdlog ");
  ip.out.print_plain(file);
  ip.out.print_markup(" opened)\n");
  set_results(ip, file, "on", "text");
  return 0;
}

void cmdlog_message(Interp& ip, std::string_view file, std::string_view what) {
  ip.out.set_class(OutClass::Text);
  ip.out.print_markup("(cmdlog ");
  ip.out.print_plain(file);
  ip.out.print_markup(" ");
  ip.out.print_markup(what);
  ip.out.print_markup(")\n");
}

rc_t cmdlog_command(Interp& ip, std::string_view sub) {
  std::vector<std::string> words;
  CommandLine cl;
  if (rc_t rc = read_arguments(ip, &words, &cl)) return rc;
  if (rc_t rc = cl.leftover(ip)) return rc;
  if (!words.empty()) return msg_invalid(ip, "syntax");
  output::CommandLog& c = ip.out.logs().cmdlog;
  if (sub == "query") {
    if (!c.is_open()) {
      ip.out.markup(OutClass::Text, "(no cmdlog open)\n");
      set_results(ip, "", "closed", "");
      return 0;
    }
    query_line(ip, "    cmdlog:  ", c.file, true);
    ip.out.set_class(OutClass::Text);
    ip.out.print_markup(", ");
    ip.out.set_class(OutClass::Result);
    ip.out.print_markup(c.on ? "on\n" : "off\n");
    query_line(ip, "  log type:  ", "text\n", false);
    ip.out.set_class(OutClass::Text);
    set_results(ip, c.file, c.on ? "on" : "off", "text");
    return 0;
  }
  if (!c.is_open()) return rc_message(ip, 607);
  if (sub == "close") {
    std::string file = c.file;
    ::close(c.fd);
    c = output::CommandLog{};
    cmdlog_message(ip, file, "closed");
  } else if (sub == "off") {
    if (!c.on) {
      ip.out.markup(OutClass::Text, "{txt}(cmdlog already off)\n");
      return 0;
    }
    c.on = false;
    cmdlog_message(ip, c.file, "paused");
  } else {
    if (c.on) {
      ip.out.markup(OutClass::Text, "{txt}(cmdlog already on)\n");
      return 0;
    }
    c.on = true;
    cmdlog_message(ip, c.file, "resumed");
  }
  return 0;
}

bool word_is(std::string_view word, std::string_view full, size_t min) {
  return word.size() >= min && word.size() <= full.size() && full.substr(0, word.size()) == word;
}

}  // namespace

rc_t translate_to_text(Interp& ip, const std::string& source, const std::string& target,
                       int width) {
  std::FILE* in = std::fopen(source.c_str(), "rb");
  if (!in) return file_not_opened_message(ip, source);
  int fd = ::open(target.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0) {
    std::fclose(in);
    return file_not_opened_message(ip, target);
  }
  bool ok;
  {
    // A private stream with the target as its only text log renders the
    // file exactly as a text log would have received it.
    output::NmclStream s;
    s.set_width(width);
    s.attach_text_log(fd, output::kLogAdd);
    char buf[8192];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, in)) > 0) s.feed(std::string_view(buf, n));
    s.finish();
    ok = s.text_log_state(fd) == 1;  // finish() wrote out the buffer
    s.attach_text_log(fd, output::kLogRemoveNow);
  }
  std::fclose(in);
  bool closed = ::close(fd) == 0;
  if (!ok || !closed) return msg_quoting(ip.out, "file ", target, " I/O error on write\n", 693);
  return 0;
}

rc_t set_logtype(Interp& ip, std::string_view value) {
  output::Logs& logs = ip.out.logs();
  if (value == "text")
    logs.logtype = output::kLogTypeText;
  else if (value == "nmcl")
    logs.logtype = output::kLogTypeNmcl;
  else
    return msg_invalid(ip, "syntax");
  return 0;
}

rc_t cmd_log(Interp& ip) {
  bool cmdlog = ip.command_name == "cmdlog";
  std::string_view sub = ip.reader.peek();
  if (sub == "using") return cmdlog ? cmdlog_using(ip) : log_using(ip);
  std::string word(sub);
  if (!word.empty()) ip.reader.next();
  if (word.empty() || word == ",") {
    if (word == ",") return msg_invalid(ip, "syntax");
    word = "query";
  }
  if (cmdlog) {
    if (word == "close" || word == "off" || word == "on" || word == "query")
      return cmdlog_command(ip, word);
    return msg_invalid(ip, "syntax");
  }
  if (word_is(word, "translate", 2)) return log_translate(ip, "translate");
  if (word == "html" || word == "webhtml" || word == "texman") return log_translate(ip, word);
  if (word == "close" || word == "off" || word == "on" || word == "query") {
    std::string name;
    if (rc_t rc = log_name_argument(ip, &name)) return rc;
    if (word == "close") return log_close(ip, name);
    if (word == "off") return log_off(ip, name);
    if (word == "on") return log_on(ip, name);
    return log_query(ip, name);
  }
  return msg_invalid(ip, "syntax");
}

}  // namespace nuvra
