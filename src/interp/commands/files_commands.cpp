// Commands on files and directories: pwd, cd, dir, mkdir, rmdir, erase,
// copy, type and hexdump.  File names with blanks are given in double (or
// compound) quotes; "~/" at the start names the home directory.
#include <dirent.h>
#include <fcntl.h>
#include <fnmatch.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <string_view>
#include <vector>

#include "base/text.h"
#include "interp/builtins.h"
#include "interp/interp.h"
#include "interp/messages.h"
#include "data/names.h"
#include "interp/parse.h"

namespace nuvra {

namespace {

using base::is_blank;
using base::skip_blanks;

// One file name from the front of s: a quoted or compound-quoted string
// (quotes removed) or a run of non-blank characters.  False for an
// unclosed quote.
bool take_name(std::string_view& s, std::string* out) {
  out->clear();
  size_t i = skip_blanks(s, 0);
  if (i >= s.size()) {
    s = {};
    return true;
  }
  if (s[i] == '"') {
    size_t close = s.find('"', i + 1);
    if (close == std::string_view::npos) return false;
    out->assign(s.substr(i + 1, close - i - 1));
    s.remove_prefix(close + 1);
    return true;
  }
  if (s[i] == '`' && i + 1 < s.size() && s[i + 1] == '"') {
    size_t end = base::compound_quote_end(s, i);
    if (end == std::string_view::npos) return false;
    out->assign(s.substr(i + 2, end - i - 4));
    s.remove_prefix(end);
    return true;
  }
  size_t e = i;
  while (e < s.size() && !is_blank(s[e])) ++e;
  out->assign(s.substr(i, e - i));
  s.remove_prefix(e);
  return true;
}


// The arguments before the options, split into file names, and the
// options parsed by the standard routine.  `min`..`max` names are wanted.
rc_t read_arguments(Interp& ip, std::vector<std::string>* names, CommandLine* cl, size_t min, size_t max) {
  std::string_view args;
  if (rc_t rc = read_options(ip, ip.reader.rest(), &args, cl)) return rc;
  names->clear();
  while (skip_blanks(args, 0) < args.size()) {
    std::string name;
    if (!take_name(args, &name)) return msg_quoting(ip.out, "too few quotes\n", "", "", 132);
    if (name.empty()) return rc_message(ip, 7197);
    names->push_back(std::move(name));
  }
  if (names->size() < min || names->size() > max) return msg_invalid(ip, "syntax");
  return 0;
}

std::string expand_home(const std::string& path) {
  if (path == "~" || path.starts_with("~/")) {
    const char* home = std::getenv("HOME");
    if (home) return std::string(home) + path.substr(1);
  }
  return path;
}

// The reason of a failed system call, in the lower case of our messages.
std::string reason(int err) {
  std::string r = std::strerror(err);
  if (!r.empty() && r[0] >= 'A' && r[0] <= 'Z' && !(r.size() > 1 && r[1] >= 'A' && r[1] <= 'Z'))
    r[0] = static_cast<char>(r[0] - 'A' + 'a');
  return r;
}

rc_t not_found(Interp& ip, std::string_view shown) {
  return msg_quoting(ip.out, "file ", shown, " not found\n", 601);
}
rc_t already_exists(Interp& ip, std::string_view shown) {
  return msg_quoting(ip.out, "file ", shown, " already exists\n", 602);
}
rc_t cannot_open(Interp& ip, std::string_view shown) {
  return msg_quoting(ip.out, "file ", shown, " could not be opened\n", 603);
}

// The file a typed name stands for, opened for reading; "not found" or
// "could not be opened" when it cannot be.
rc_t open_named_file(Interp& ip, const std::string& name, FILE** f) {
  std::string path = expand_home(name);
  struct stat st;
  if (::stat(path.c_str(), &st) != 0) return not_found(ip, name);
  if (S_ISDIR(st.st_mode)) return cannot_open(ip, name);
  *f = std::fopen(path.c_str(), "rb");
  if (!*f) return cannot_open(ip, name);
  return 0;
}

rc_t os_failure(Interp& ip, std::string_view before, std::string_view shown, int err) {
  return msg_quoting(ip.out, before, shown, " (" + reason(err) + ")\n", 693);
}

std::string current_directory() {
  std::vector<char> buf(4096);
  while (!::getcwd(buf.data(), buf.size())) {
    if (errno != ERANGE) return ".";
    buf.resize(buf.size() * 2);
  }
  return buf.data();
}

std::string directory_of(const std::string& path) {
  size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

std::string base_name(const std::string& path) {
  size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool is_directory(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// Writes all of buf; false with errno set on failure.
bool write_all(int fd, const char* buf, size_t n) {
  while (n > 0) {
    ssize_t w = ::write(fd, buf, n);
    if (w < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    buf += w;
    n -= static_cast<size_t>(w);
  }
  return true;
}

mode_t process_umask() {
  mode_t u = ::umask(0);
  ::umask(u);
  return u;
}

// Expands tabs to the next multiple of 8 columns, or shows them as "<T>".
std::string untab(std::string_view line, bool show) {
  std::string out;
  for (char c : line) {
    if (c != '\t') {
      out += c;
    } else if (show) {
      out += "<T>";
    } else {
      do out += ' ';
      while (out.size() % 8 != 0);
    }
  }
  return out;
}

}  // namespace

// pwd: the working directory.
rc_t cmd_pwd(Interp& ip) {
  if (!ip.reader.at_end()) return msg_invalid(ip, "syntax");
  ip.out.print_plain(current_directory() + "\n");
  return 0;
}

// cd [directory] (also chdir): changes the working directory and shows
// the new one; with no directory, goes to the home directory.
rc_t cmd_cd(Interp& ip) {
  std::vector<std::string> names;
  CommandLine cl;
  if (rc_t rc = read_arguments(ip, &names, &cl, 0, 1)) return rc;
  if (rc_t rc = cl.leftover(ip)) return rc;
  std::string shown, path;
  if (names.empty()) {
    const char* home = std::getenv("HOME");
    if (!home || !*home) return msg_quoting(ip.out, "no home directory is set\n", "", "", 170);
    shown = path = home;
  } else {
    shown = names[0];
    path = expand_home(shown);
  }
  if (::chdir(path.c_str()) != 0) return msg_quoting(ip.out, "unable to change to ", shown, "\n", 170);
  ip.out.print_plain(current_directory() + "\n");
  return 0;
}

// dir [filespec] [, wide] (also ls): sizes, dates and names, one a line;
// `*` and `?` match in the last part of the name.
rc_t cmd_dir(Interp& ip) {
  std::vector<std::string> names;
  CommandLine cl;
  if (rc_t rc = read_arguments(ip, &names, &cl, 0, 1)) return rc;
  bool wide = cl.flag("wide", 1, 0) == 1;
  if (rc_t rc = cl.leftover(ip)) return rc;
  std::string shown = names.empty() ? "." : names[0];
  std::string target = expand_home(shown);
  std::string dir, pattern = "*";
  if (is_directory(target)) {
    dir = target;
  } else {
    dir = directory_of(target);
    pattern = base_name(target);
    bool wild = pattern.find_first_of("*?[") != std::string::npos;
    if (!wild && ::access(target.c_str(), F_OK) != 0) return not_found(ip, shown);
    if (!is_directory(dir)) return not_found(ip, shown);
  }
  DIR* d = ::opendir(dir.c_str());
  if (!d) return msg_quoting(ip.out, "directory ", shown, " could not be opened\n", 603);
  struct Entry {
    std::string name;
    bool is_dir;
    long long size;
    time_t mtime;
  };
  std::vector<Entry> entries;
  while (struct dirent* e = ::readdir(d)) {
    std::string name = e->d_name;
    if (name == "." || name == "..") continue;
    // Hidden files show only when the pattern asks for a leading dot.
    if (name[0] == '.' && pattern[0] != '.') continue;
    if (::fnmatch(pattern.c_str(), name.c_str(), FNM_PERIOD) != 0) continue;
    std::string full = dir == "/" ? "/" + name : dir + "/" + name;
    struct stat st;
    if (::stat(full.c_str(), &st) != 0 && ::lstat(full.c_str(), &st) != 0) continue;
    entries.push_back({name, S_ISDIR(st.st_mode) != 0, static_cast<long long>(st.st_size), st.st_mtime});
  }
  ::closedir(d);
  std::sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) { return a.name < b.name; });
  if (wide) {
    size_t width = 0;
    for (const Entry& e : entries) width = std::max(width, e.name.size() + (e.is_dir ? 1 : 0) + 2);
    size_t per_line = width ? std::max<size_t>(1, static_cast<size_t>(ip.linesize) / width) : 1;
    std::string line;
    for (size_t k = 0; k < entries.size(); ++k) {
      std::string n = entries[k].name + (entries[k].is_dir ? "/" : "");
      if (k % per_line == per_line - 1 || k + 1 == entries.size()) {
        line += n;
        ip.out.print_plain(line + "\n");
        line.clear();
      } else {
        line += n + std::string(width - n.size(), ' ');
      }
      if (ip.poll_break()) return kBreak;
    }
    return 0;
  }
  for (const Entry& e : entries) {
    char date[32];
    struct tm tmv;
    ::localtime_r(&e.mtime, &tmv);
    std::strftime(date, sizeof date, "%d %b %Y %H:%M", &tmv);
    std::string size = e.is_dir ? "<dir>" : std::to_string(e.size);
    ip.out.printf_markup("%12s  %s  ", size.c_str(), date);
    ip.out.print_plain(e.name + (e.is_dir ? "/" : "") + "\n");
    if (ip.poll_break()) return kBreak;
  }
  return 0;
}

// mkdir directory [, public]: `public` makes it readable and searchable
// by everyone; otherwise the process's file-creation mask decides.
rc_t cmd_mkdir(Interp& ip) {
  std::vector<std::string> names;
  CommandLine cl;
  if (rc_t rc = read_arguments(ip, &names, &cl, 1, 1)) return rc;
  bool pub = cl.flag("public", 1, 0) == 1;
  if (rc_t rc = cl.leftover(ip)) return rc;
  std::string path = expand_home(names[0]);
  if (::mkdir(path.c_str(), 0777) != 0) return os_failure(ip, "could not create directory ", names[0], errno);
  if (pub) {
    struct stat st;
    if (::stat(path.c_str(), &st) == 0)
      ::chmod(path.c_str(), (st.st_mode & 07777) | S_IRUSR | S_IXUSR | S_IRGRP | S_IXGRP | S_IROTH | S_IXOTH);
  }
  return 0;
}

// rmdir directory: removes an empty directory.
rc_t cmd_rmdir(Interp& ip) {
  std::vector<std::string> names;
  CommandLine cl;
  if (rc_t rc = read_arguments(ip, &names, &cl, 1, 1)) return rc;
  if (rc_t rc = cl.leftover(ip)) return rc;
  std::string path = expand_home(names[0]);
  if (::rmdir(path.c_str()) != 0) {
    if (errno == ENOENT) return msg_quoting(ip.out, "directory ", names[0], " not found\n", 601);
    return os_failure(ip, "could not remove directory ", names[0], errno);
  }
  return 0;
}

// erase filename (also rm).
rc_t cmd_erase(Interp& ip) {
  std::vector<std::string> names;
  CommandLine cl;
  if (rc_t rc = read_arguments(ip, &names, &cl, 1, 1)) return rc;
  if (rc_t rc = cl.leftover(ip)) return rc;
  std::string path = expand_home(names[0]);
  struct stat st;
  if (::lstat(path.c_str(), &st) != 0) return not_found(ip, names[0]);
  if (S_ISDIR(st.st_mode)) return os_failure(ip, "could not erase ", names[0], EISDIR);
  if (::unlink(path.c_str()) != 0) return os_failure(ip, "could not erase ", names[0], errno);
  return 0;
}

// copy from to [, replace public text binary] (also cp).  The copy is
// written to a temporary file beside the target and renamed over it only
// when complete, so a failure never leaves the target damaged.
rc_t cmd_copy(Interp& ip) {
  std::vector<std::string> names;
  CommandLine cl;
  if (rc_t rc = read_arguments(ip, &names, &cl, 2, 2)) return rc;
  bool replace = cl.flag("replace", 1, 0) == 1;
  bool pub = cl.flag("public", 1, 0) == 1;
  cl.flag("text", 1, 0);  // line ends are the same on this system
  cl.flag("binary", 1, 0);
  if (rc_t rc = cl.leftover(ip)) return rc;

  const std::string& from_shown = names[0];
  std::string from = expand_home(from_shown);
  std::string to_shown = names[1];
  std::string to = expand_home(to_shown);
  // A directory as the target receives the file under its own name.
  if (is_directory(to) || to.ends_with("/")) {
    std::string sep = to.ends_with("/") ? "" : "/";
    to += sep + base_name(from);
    to_shown += sep + base_name(from);
  }

  struct stat src_st;
  if (::stat(from.c_str(), &src_st) != 0) return not_found(ip, from_shown);
  if (S_ISDIR(src_st.st_mode)) return cannot_open(ip, from_shown);
  struct stat dst_st;
  bool target_exists = ::stat(to.c_str(), &dst_st) == 0;
  if (target_exists && !replace) return already_exists(ip, to_shown);
  if (target_exists && S_ISDIR(dst_st.st_mode)) return os_failure(ip, "could not replace ", to_shown, EISDIR);

  int in = ::open(from.c_str(), O_RDONLY);
  if (in < 0) return cannot_open(ip, from_shown);
  std::string tmp = directory_of(to) + "/.nuvracopy" + std::to_string(ip.pid) + "_XXXXXX";
  int out = ::mkstemp(tmp.data());
  if (out < 0) {
    ::close(in);
    return cannot_open(ip, to_shown);
  }
  mode_t mode = target_exists ? (dst_st.st_mode & 07777) : (0666 & ~process_umask());
  if (pub) mode |= S_IRUSR | S_IRGRP | S_IROTH;

  rc_t rc = 0;
  std::vector<char> buf(1 << 16);
  size_t since_poll = 0;
  while (true) {
    ssize_t n = ::read(in, buf.data(), buf.size());
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      rc = os_failure(ip, "could not read ", from_shown, errno);
      break;
    }
    if (n == 0) break;
    if (!write_all(out, buf.data(), static_cast<size_t>(n))) {
      rc = os_failure(ip, "could not write ", to_shown, errno);
      break;
    }
    // A long copy answers Break about every 16 megabytes.
    if (++since_poll >= 256) {
      since_poll = 0;
      if (ip.poll_break()) {
        rc = kBreak;
        break;
      }
    }
  }
  ::close(in);
  if (rc == 0 && (::fchmod(out, mode) != 0 || ::fsync(out) != 0)) rc = os_failure(ip, "could not write ", to_shown, errno);
  if (::close(out) != 0 && rc == 0) rc = os_failure(ip, "could not write ", to_shown, errno);
  if (rc == 0 && ::rename(tmp.c_str(), to.c_str()) != 0) rc = os_failure(ip, "could not replace ", to_shown, errno);
  if (rc != 0) ::unlink(tmp.c_str());
  return rc;
}

// type filename [, asis nmcl showtabs starbang lines(#)] (also cat).
// Files that begin with the "{nmcl}" line, and those named *.nmcl or
// *.hlp, are shown as NMCL; others exactly as written, braces and all.
// `nmcl` and `asis` force one way or the other.
rc_t cmd_type(Interp& ip) {
  std::vector<std::string> names;
  CommandLine cl;
  if (rc_t rc = read_arguments(ip, &names, &cl, 1, 1)) return rc;
  bool asis = cl.flag("asis", 1, 0) == 1;
  bool nmcl = cl.flag("nmcl", 1, 0) == 1;
  bool showtabs = cl.flag("showtabs", 5, 0) == 1;
  bool starbang = cl.flag("starbang", 8, 0) == 1;
  long long max_lines = cl.integer("lines", 1, -1);
  if (rc_t rc = cl.leftover(ip)) return rc;
  if (asis && nmcl)
    return msg_quoting(ip.out, "options asis and nmcl may not be combined\n", "", "", 184);

  FILE* f = nullptr;
  if (rc_t rc = open_named_file(ip, names[0], &f)) return rc;

  char* line = nullptr;
  size_t cap = 0;
  ssize_t len;
  long long shown = 0;
  bool first = true, as_markup = nmcl;
  rc_t rc = 0;
  while ((len = ::getline(&line, &cap, f)) >= 0) {
    std::string_view text(line, static_cast<size_t>(len));
    if (!text.empty() && text.back() == '\n') text.remove_suffix(1);
    if (!text.empty() && text.back() == '\r') text.remove_suffix(1);
    if (first) {
      first = false;
      if (!asis && !nmcl)
        as_markup = trim(text) == "{nmcl}" || names[0].ends_with(".nmcl") || names[0].ends_with(".hlp");
    }
    if (starbang && !text.starts_with("*!")) continue;
    if (max_lines >= 0 && shown >= max_lines) break;
    ++shown;
    if (as_markup && !showtabs) {
      ip.out.print_markup(std::string(text) + "\n");
    } else {
      ip.out.print_plain(untab(text, showtabs) + "\n");
    }
    if (shown % 64 == 0 && ip.poll_break()) {
      rc = kBreak;
      break;
    }
  }
  if (rc == 0 && std::ferror(f)) rc = os_failure(ip, "could not read ", names[0], errno);
  std::free(line);
  std::fclose(f);
  // Whatever mode the file left the stream in, later output starts in
  // line mode again.
  if (as_markup) ip.out.print_markup("{nmcl}\n");
  return rc;
}

// hexdump filename [, from(#) to(#)]: offsets, bytes in hexadecimal and
// the printable ones as characters, sixteen a line; from() is the first
// offset shown and to() the last.
rc_t cmd_hexdump(Interp& ip) {
  std::vector<std::string> names;
  CommandLine cl;
  if (rc_t rc = read_arguments(ip, &names, &cl, 1, 1)) return rc;
  long long from = cl.integer("from", 1, 0);
  long long to = cl.integer("to", 2, -1);
  if (rc_t rc = cl.leftover(ip)) return rc;
  if (from < 0 || (to >= 0 && to < from)) return msg_invalid(ip, "syntax");

  FILE* f = nullptr;
  if (rc_t rc = open_named_file(ip, names[0], &f)) return rc;
  if (from > 0 && std::fseek(f, static_cast<long>(from), SEEK_SET) != 0) {
    std::fclose(f);
    return cannot_open(ip, names[0]);
  }
  ip.out.print_markup("{txt}  offset   0  1  2  3  4  5  6  7   8  9  a  b  c  d  e  f  0123456789abcdef\n");
  unsigned char buf[16];
  long long offset = from;
  long long lines = 0;
  rc_t rc = 0;
  while (to < 0 || offset <= to) {
    size_t want = 16;
    if (to >= 0 && static_cast<long long>(want) > to - offset + 1) want = static_cast<size_t>(to - offset + 1);
    size_t n = std::fread(buf, 1, want, f);
    if (n == 0) break;
    std::string hex;
    char cell[4];
    for (size_t k = 0; k < 16; ++k) {
      if (k == 8) hex += ' ';
      if (k < n) {
        std::snprintf(cell, sizeof cell, "%02x ", buf[k]);
        hex += cell;
      } else {
        hex += "   ";
      }
    }
    std::string chars;
    for (size_t k = 0; k < n; ++k) chars += (buf[k] >= 32 && buf[k] < 127) ? static_cast<char>(buf[k]) : '.';
    ip.out.printf_markup("%8llx  %s ", offset, hex.c_str());
    ip.out.print_plain(chars + "\n");
    offset += static_cast<long long>(n);
    if (n < want) break;
    if (++lines % 64 == 0 && ip.poll_break()) {
      rc = kBreak;
      break;
    }
  }
  std::fclose(f);
  return rc;
}

}  // namespace nuvra
