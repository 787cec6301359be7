// file: reading and writing text files from programs, through handles.
//
//   file open handle using filename, read|write [text|binary] [replace|append]
//   file read handle localname        (r(eof) 1 once no line is left)
//   file write handle directives      (the directives of display)
//   file seek handle query|tof|eof|#  (query leaves r(loc))
//   file set handle byteorder hilo|lohi|1|2
// and the binary directives of file_binary.h for write and read.
//   file close handle|_all
//   file query
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

#include "data/commands/commands.h"
#include "interp/builtins.h"
#include "interp/file_binary.h"
#include "interp/file_handles.h"
#include "interp/interp.h"
#include "interp/macro_functions.h"
#include "interp/messages.h"
#include "data/names.h"
#include "interp/parse.h"

namespace nuvra {

OpenFile& OpenFile::operator=(OpenFile&& o) noexcept {
  if (this != &o) {
    close();
    f = std::exchange(o.f, nullptr);
    shown = std::move(o.shown);
    path = std::move(o.path);
    temp_path = std::move(o.temp_path);
    read = o.read, write = o.write, binary = o.binary, failed = o.failed, byteorder = o.byteorder;
    o.temp_path.clear();
  }
  return *this;
}

OpenFile::~OpenFile() { close(); }

bool OpenFile::close() {
  if (!f) return true;
  bool ok = !failed;
  if (write) {
    ok = std::fflush(f) == 0 && ok;
    ok = ::fsync(::fileno(f)) == 0 && ok;
  }
  ok = std::fclose(f) == 0 && ok;
  f = nullptr;
  if (!temp_path.empty()) {
    if (ok) ok = std::rename(temp_path.c_str(), path.c_str()) == 0;
    if (!ok) std::remove(temp_path.c_str());
    temp_path.clear();
  }
  return ok;
}

namespace {

using datacmd::next_word;

rc_t handle_not_found(Interp& ip, std::string_view h) {
  return msg_quoting(ip.out, "file handle ", h, " not found\n", 601);
}

// The next word without taking it.
std::string_view next_word_peek(std::string_view s) { return next_word(s); }

OpenFile* find_handle(Interp& ip, std::string_view h) {
  auto it = ip.open_files.find(std::string(h));
  return it == ip.open_files.end() ? nullptr : &it->second;
}

// A file name: "quoted" or one word.
bool file_name(std::string_view& s, std::string* out) {
  s = trim(s);
  if (!s.empty() && s.front() == '"') {
    size_t close = s.find('"', 1);
    if (close == std::string_view::npos) return false;
    out->assign(s.substr(1, close - 1));
    s.remove_prefix(close + 1);
    return true;
  }
  // An unquoted name is one word, ended by a blank or the options' comma.
  size_t n = 0;
  while (n < s.size() && s[n] != ' ' && s[n] != '\t' && s[n] != ',') ++n;
  out->assign(s.substr(0, n));
  s.remove_prefix(n);
  return !out->empty();
}

bool exists(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0;
}

// file open handle using filename, options
rc_t file_open(Interp& ip, std::string_view rest) {
  std::string handle(next_word(rest));
  if (handle.empty() || !is_valid_name(handle)) return msg_invalid(ip, "syntax");
  if (next_word(rest) != "using") return msg_required(ip, "using");
  std::string name;
  if (!file_name(rest, &name)) return msg_invalid(ip, "syntax");
  rest = trim(rest);
  if (rest.empty() || rest.front() != ',') return msg_quoting(ip.out, "option read or write required\n", "", "", 198);
  bool read = false, write = false, text = false, binary = false, replace = false, append = false;
  std::string_view opts = rest.substr(1);
  for (std::string_view w = next_word(opts); !w.empty(); w = next_word(opts)) {
    if (w == "read") read = true;
    else if (w == "write") write = true;
    else if (w == "text") text = true;
    else if (w == "binary") binary = true;
    else if (w == "replace") replace = true;
    else if (w == "append") append = true;
    else return msg_quoting(ip.out, "option ", w, " not allowed\n", 198);
  }
  if (!read && !write) return msg_quoting(ip.out, "option read or write required\n", "", "", 198);
  if (text && binary) return msg_quoting(ip.out, "options text and binary may not be combined\n", "", "", 198);
  if (replace && append) return msg_quoting(ip.out, "options replace and append may not be combined\n", "", "", 198);
  if ((replace || append) && !write) return msg_quoting(ip.out, "options replace and append go with write\n", "", "", 198);
  if (find_handle(ip, handle)) return msg_quoting(ip.out, "file handle ", handle, " already exists\n", 110);

  OpenFile of;
  of.shown = name;
  of.path = name;
  of.read = read;
  of.write = write;
  of.binary = binary;
  of.byteorder = native_byteorder();
  bool there = exists(name);
  if (read && !write) {
    if (!there) return msg_quoting(ip.out, "file ", name, " not found\n", 601);
    of.f = std::fopen(name.c_str(), "rb");
  } else if (read && write) {
    of.f = std::fopen(name.c_str(), there ? "r+b" : "w+b");
  } else if (append) {
    of.f = std::fopen(name.c_str(), "ab");
  } else {
    if (there && !replace) return msg_quoting(ip.out, "file ", name, " already exists\n", 602);
    if (there) {
      // The old file stays until close has written the new one in full.
      of.temp_path = name + ".nvtmp" + std::to_string(ip.pid);
      of.f = std::fopen(of.temp_path.c_str(), "wb");
      if (!of.f) of.temp_path.clear();
    } else {
      of.f = std::fopen(name.c_str(), "wb");
    }
  }
  if (!of.f) return msg_quoting(ip.out, "file ", name, " could not be opened\n", 603);
  ip.open_files.emplace(handle, std::move(of));
  return 0;
}

// file read handle localname
rc_t file_read(Interp& ip, std::string_view rest) {
  std::string_view handle = next_word(rest);
  if (is_binary_directive(next_word_peek(rest))) {
    OpenFile* of = find_handle(ip, handle);
    if (!of) return handle_not_found(ip, handle);
    if (!of->read) return msg_quoting(ip.out, "file handle ", handle, " not open for reading\n", 602);
    return file_read_binary(ip, *of, rest);
  }
  std::string_view local = next_word(rest);
  if (handle.empty() || local.empty() || !rest.empty() || !is_valid_name(local)) return msg_invalid(ip, "syntax");
  OpenFile* of = find_handle(ip, handle);
  if (!of) return handle_not_found(ip, handle);
  if (!of->read) return msg_quoting(ip.out, "file handle ", handle, " not open for reading\n", 602);
  std::string line;
  int c;
  bool any = false, newline = false;
  while ((c = std::getc(of->f)) != EOF) {
    any = true;
    if (c == '\n') {
      newline = true;
      break;
    }
    line.push_back(static_cast<char>(c));
  }
  if (std::ferror(of->f)) {
    std::clearerr(of->f);
    return rc_message(ip, 691);
  }
  if (!newline && !line.empty() && line.back() == '\r') line.pop_back();
  if (newline && !line.empty() && line.back() == '\r') line.pop_back();
  ip.macros.set_local(local, line);
  ip.r_results.clear();
  ip.r_results.scalars["eof"] = any ? 0 : 1;
  ip.r_results.scalars["status"] = !any ? -1 : newline ? 1 : 0;
  return 0;
}

// file write handle directives
rc_t file_write(Interp& ip, std::string_view rest) {
  std::string_view handle = next_word(rest);
  if (handle.empty()) return msg_invalid(ip, "syntax");
  OpenFile* of = find_handle(ip, handle);
  if (!of) return handle_not_found(ip, handle);
  if (!of->write) return msg_quoting(ip.out, "file handle ", handle, " not open for writing\n", 602);
  if (is_binary_directive(next_word_peek(rest))) return file_write_binary(ip, *of, rest);
  std::string text;
  if (rc_t rc = display_text(ip, rest, &text)) return rc;
  // Everything is checked before a byte is written.
  if (!text.empty() && std::fwrite(text.data(), 1, text.size(), of->f) != text.size()) {
    of->failed = true;
    return rc_message(ip, 691);
  }
  return 0;
}

// file seek handle query|tof|eof|#
rc_t file_seek(Interp& ip, std::string_view rest) {
  std::string_view handle = next_word(rest);
  std::string_view where = next_word(rest);
  if (handle.empty() || where.empty() || !rest.empty()) return msg_invalid(ip, "syntax");
  OpenFile* of = find_handle(ip, handle);
  if (!of) return handle_not_found(ip, handle);
  int rc = 0;
  if (where == "query") {
  } else if (where == "tof") {
    rc = std::fseek(of->f, 0, SEEK_SET);
  } else if (where == "eof") {
    rc = std::fseek(of->f, 0, SEEK_END);
  } else {
    char* end = nullptr;
    std::string w(where);
    long long pos = std::strtoll(w.c_str(), &end, 10);
    if (!end || *end != '\0' || pos < 0) return msg_invalid(ip, "syntax");
    rc = std::fseek(of->f, static_cast<long>(pos), SEEK_SET);
  }
  if (rc != 0) return rc_message(ip, 691);
  ip.r_results.clear();
  ip.r_results.scalars["loc"] = static_cast<double>(std::ftell(of->f));
  return 0;
}

// file close handle|_all
rc_t file_close(Interp& ip, std::string_view rest) {
  std::string_view handle = next_word(rest);
  if (handle.empty() || !rest.empty()) return msg_invalid(ip, "syntax");
  if (handle == "_all") {
    bool ok = true;
    for (auto& [name, of] : ip.open_files) ok = of.close() && ok;
    ip.open_files.clear();
    return ok ? 0 : rc_message(ip, 691);
  }
  auto it = ip.open_files.find(std::string(handle));
  if (it == ip.open_files.end()) return handle_not_found(ip, handle);
  bool replacing = !it->second.temp_path.empty();
  std::string shown = it->second.shown;
  bool ok = it->second.close();
  ip.open_files.erase(it);
  if (!ok) {
    if (replacing) return msg_quoting(ip.out, "file ", shown, " could not be written; the old file was kept\n", 691);
    return rc_message(ip, 691);
  }
  return 0;
}

// file set handle byteorder hilo|lohi|1|2
rc_t file_set(Interp& ip, std::string_view rest) {
  std::string_view handle = next_word(rest);
  std::string_view what = next_word(rest);
  std::string_view value = next_word(rest);
  if (handle.empty() || what != "byteorder" || value.empty() || !rest.empty()) return msg_invalid(ip, "syntax");
  OpenFile* of = find_handle(ip, handle);
  if (!of) return handle_not_found(ip, handle);
  if (value == "hilo" || value == "1") of->byteorder = 1;
  else if (value == "lohi" || value == "2") of->byteorder = 2;
  else return msg_quoting(ip.out, "byteorder ", value, " invalid; hilo, lohi, 1 or 2 expected\n", 198);
  return 0;
}

rc_t file_query(Interp& ip, std::string_view rest) {
  if (!trim(rest).empty()) return msg_invalid(ip, "syntax");
  ip.out.set_class(output::OutClass::Text);
  if (ip.open_files.empty()) {
    ip.out.print_markup("{txt}  no files open\n");
    return 0;
  }
  for (const auto& [name, of] : ip.open_files) {
    ip.out.print_markup("{txt}  ");
    std::string line = name + ":  " + (of.read && of.write ? "read/write" : of.read ? "read" : "write") + " " +
                       (of.binary ? "binary" : "text") + " " + of.shown;
    ip.out.print_plain(line);
    ip.out.print_markup("\n");
  }
  return 0;
}

}  // namespace

rc_t cmd_file(Interp& ip) {
  std::string_view rest = ip.reader.rest();
  std::string_view sub = next_word(rest);
  if (sub == "open") return file_open(ip, rest);
  if (sub == "read") return file_read(ip, rest);
  if (sub == "write") return file_write(ip, rest);
  if (sub == "seek") return file_seek(ip, rest);
  if (sub == "close") return file_close(ip, rest);
  if (sub == "query") return file_query(ip, rest);
  if (sub == "set") return file_set(ip, rest);
  if (sub.empty()) return msg_invalid(ip, "syntax");
  return msg_quoting(ip.out, "invalid file subcommand ", sub, "\n", 198);
}

}  // namespace nuvra
