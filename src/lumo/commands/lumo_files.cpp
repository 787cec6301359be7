// lumo mosave, matsave, matuse, matdescribe.
#include "lumo/commands/lumo_files.h"

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "data/dta/replace_file.h"
#include "interp/interp.h"
#include "interp/messages.h"
#include "lumo/commands/lumo_session.h"
#include "lumo/matrix_file.h"
#include "lumo/object_file.h"
#include "lumo/session.h"

namespace nuvra {

namespace {

using output::OutClass;

// The words before the comma (a quoted word kept whole, without its
// quotes) and the options after it.
struct Parsed {
  std::vector<std::string> words;
  bool replace = false;
  bool has_dir = false;
  std::string dir;
  std::string bad;  // an option not understood
};

Parsed Parse(std::string_view s) {
  Parsed p;
  size_t i = 0;
  auto blank = [&] { return i < s.size() && (s[i] == ' ' || s[i] == '\t'); };
  while (i < s.size() && s[i] != ',') {
    while (blank()) ++i;
    if (i >= s.size() || s[i] == ',') break;
    std::string w;
    if (s[i] == '"') {
      size_t close = s.find('"', i + 1);
      if (close == std::string_view::npos) close = s.size();
      w.assign(s.substr(i + 1, close - i - 1));
      i = close + 1;
    } else {
      while (i < s.size() && s[i] != ' ' && s[i] != '\t' && s[i] != ',') w += s[i++];
    }
    p.words.push_back(w);
  }
  if (i < s.size() && s[i] == ',') ++i;
  while (i < s.size()) {
    while (blank()) ++i;
    if (i >= s.size()) break;
    size_t start = i;
    while (i < s.size() && s[i] != ' ' && s[i] != '\t' && s[i] != '(') ++i;
    std::string_view word = s.substr(start, i - start);
    if (word == "replace") {
      p.replace = true;
    } else if (word == "dir" && i < s.size() && s[i] == '(') {
      size_t close = s.find(')', i);
      if (close == std::string_view::npos) {
        p.bad = std::string(s.substr(start));
        break;
      }
      std::string_view d = s.substr(i + 1, close - i - 1);
      while (!d.empty() && d.front() == ' ') d.remove_prefix(1);
      while (!d.empty() && d.back() == ' ') d.remove_suffix(1);
      if (d.size() >= 2 && d.front() == '"' && d.back() == '"') d = d.substr(1, d.size() - 2);
      p.dir = std::string(d);
      p.has_dir = true;
      i = close + 1;
    } else {
      if (i < s.size() && s[i] == '(') {
        size_t close = s.find(')', i);
        i = close == std::string_view::npos ? s.size() : close + 1;
      }
      p.bad = std::string(s.substr(start, i - start));
      break;
    }
  }
  return p;
}

rc_t Error(Interp& ip, const std::string& text, rc_t rc) {
  ip.out.markup(OutClass::Error, text);
  return rc;
}

rc_t BadOption(Interp& ip, const std::string& opt) {
  return msg_quoting(ip.out, "option ", opt, " not allowed\n", 198);
}

// The file name with the suffix added when it has none.
std::string WithSuffix(const std::string& name, const char* suffix) {
  size_t slash = name.rfind('/');
  size_t dot = name.rfind('.');
  if (dot != std::string::npos && (slash == std::string::npos || dot > slash)) return name;
  return name + suffix;
}

// Writes the bytes through a file that replaces the old one only once
// complete; prints why when it cannot.
rc_t WriteFile(Interp& ip, const std::string& path, const std::string& bytes, bool replace) {
  dta::ReplacingFile f;
  rc_t rc = f.open(path, replace, 0666);
  if (rc == 602) return msg_quoting(ip.out, "file ", path, " already exists\n", 602);
  if (rc) return msg_quoting(ip.out, "file ", path, " could not be opened\n", rc);
  f.write(bytes.data(), bytes.size());
  if (rc_t c = f.commit()) return msg_quoting(ip.out, "could not write ", path, "\n", c);
  return 0;
}

std::string Extent(int32_t r, int32_t c) {
  char buf[48];
  std::snprintf(buf, sizeof buf, "[%d,%d]", r, c);
  return buf;
}

const char* OrgName(int32_t r, int32_t c) {
  if (r == 1 && c == 1) return "scalar";
  if (r == 1) return "rowvector";
  if (c == 1) return "colvector";
  return "matrix";
}

}  // namespace

// lumo mosave name() [, dir(path) replace]: the function to name.mo.
rc_t lumo_mosave(Interp& ip, std::string_view args) {
  Parsed p = Parse(args);
  if (!p.bad.empty()) return BadOption(ip, p.bad);
  if (p.words.size() != 1 || p.words[0].size() < 3 || !p.words[0].ends_with("()"))
    return Error(ip, "syntax is {cmd:lumo mosave} {it:fcnname}{cmd:()} [{cmd:,} {cmd:dir(}{it:path}{cmd:)} {cmd:replace}]\n", 198);
  std::string name = p.words[0].substr(0, p.words[0].size() - 2);
  const lumo::FunctionRecord* f = lumo_session(ip).values().FindFunction(name);
  if (!f) return msg_quoting(ip.out, "function ", name, "() not found\n", 111);
  std::string dir = p.has_dir && !p.dir.empty() ? p.dir : ".";
  if (dir.back() != '/') dir += '/';
  std::string path = dir + name + ".mo";
  std::error_code ec;
  bool existed = std::filesystem::exists(path, ec);
  if (rc_t rc = WriteFile(ip, path, lumo::EncodeObject(*f), p.replace)) return rc;
  ip.out.markup(OutClass::Text, "{txt}(file ");
  ip.out.set_class(OutClass::Text);
  ip.out.print_plain(path);
  ip.out.markup(OutClass::Text, existed ? " replaced)\n" : " created)\n");
  return 0;
}

// lumo matsave file names [, replace]: the globals to file.mmat.
rc_t lumo_matsave(Interp& ip, std::string_view args) {
  Parsed p = Parse(args);
  if (!p.bad.empty()) return BadOption(ip, p.bad);
  if (p.has_dir) return BadOption(ip, "dir()");
  if (p.words.size() < 2)
    return Error(ip, "syntax is {cmd:lumo matsave} {it:filename} {it:namelist} [{cmd:,} {cmd:replace}]\n", 198);
  lumo::Values& values = lumo_session(ip).values();
  std::vector<const lumo::ValueRecord*> saved;
  for (size_t k = 1; k < p.words.size(); ++k) {
    const lumo::ValueRecord* v = values.FindGlobal(p.words[k]);
    if (!v) return msg_quoting(ip.out, "", p.words[k], " not found\n", 111);
    for (const lumo::ValueRecord* s : saved)
      if (s == v) return msg_quoting(ip.out, "", p.words[k], " named twice\n", 198);
    saved.push_back(v);
  }
  std::string bytes, bad;
  if (lumo::EncodeMatrices(saved, &bytes, &bad))
    return msg_quoting(ip.out, "", bad, ":  only real, complex and string matrices can be saved\n", 3256);
  std::string path = WithSuffix(p.words[0], ".mmat");
  if (rc_t rc = WriteFile(ip, path, bytes, p.replace)) return rc;
  for (const lumo::ValueRecord* v : saved)
    ip.out.markup(OutClass::Text, "{txt}(saving " + std::string(v->name) + Extent(v->rows, v->cols) + ")\n");
  ip.out.markup(OutClass::Text, "{txt}file ");
  ip.out.set_class(OutClass::Text);
  ip.out.print_plain(path);
  ip.out.markup(OutClass::Text, " saved\n");
  return 0;
}

// lumo matuse file [, replace]: the matrices of file.mmat become globals.
rc_t lumo_matuse(Interp& ip, std::string_view args) {
  Parsed p = Parse(args);
  if (!p.bad.empty()) return BadOption(ip, p.bad);
  if (p.has_dir) return BadOption(ip, "dir()");
  if (p.words.size() != 1) return Error(ip, "syntax is {cmd:lumo matuse} {it:filename} [{cmd:,} {cmd:replace}]\n", 198);
  std::string path = WithSuffix(p.words[0], ".mmat"), msg;
  std::vector<lumo::SavedMatrix> mats;
  if (rc_t rc = lumo::ReadMatrixFile(path, &mats, &msg)) return msg_quoting(ip.out, "", msg, "\n", rc);
  std::string clash;
  rc_t rc = lumo::RestoreMatrices(lumo_session(ip).values(), mats, p.replace, &clash);
  if (rc == 110) return msg_quoting(ip.out, "", clash, " already exists; specify option {cmd:replace}\n", 110);
  if (rc) return rc_message(ip, rc);
  for (const lumo::SavedMatrix& m : mats)
    ip.out.markup(OutClass::Text, "{txt}(loading " + m.name + Extent(m.rows, m.cols) + ")\n");
  return 0;
}

// lumo matdescribe file: what file.mmat holds.
rc_t lumo_matdescribe(Interp& ip, std::string_view args) {
  Parsed p = Parse(args);
  if (!p.bad.empty()) return BadOption(ip, p.bad);
  if (p.has_dir || p.replace) return BadOption(ip, p.has_dir ? "dir()" : "replace");
  if (p.words.size() != 1) return Error(ip, "syntax is {cmd:lumo matdescribe} {it:filename}\n", 198);
  std::string path = WithSuffix(p.words[0], ".mmat"), msg;
  std::vector<lumo::SavedMatrix> mats;
  if (rc_t rc = lumo::ReadMatrixFile(path, &mats, &msg)) return msg_quoting(ip.out, "", msg, "\n", rc);
  std::string out = "\n{txt}   type{col 24}name and extent\n{hline 79}\n";
  for (const lumo::SavedMatrix& m : mats) {
    const char* el = m.eltype == lumo::kReal ? "real" : m.eltype == lumo::kComplex ? "complex" : "string";
    char buf[120];
    std::snprintf(buf, sizeof buf, "{txt}   %-20s{res}%s%s\n", (std::string(el) + " " + OrgName(m.rows, m.cols)).c_str(),
                  m.name.c_str(), Extent(m.rows, m.cols).c_str());
    out += buf;
  }
  out += "{txt}{hline 79}\n";
  ip.out.markup(OutClass::Text, out);
  return 0;
}

rc_t cmd_lumo_mosave(Interp& ip) { return lumo_mosave(ip, ip.reader.rest()); }
rc_t cmd_lumo_matsave(Interp& ip) { return lumo_matsave(ip, ip.reader.rest()); }
rc_t cmd_lumo_matuse(Interp& ip) {
  if (rc_t rc = RefuseInsideLumo(ip)) return rc;
  return lumo_matuse(ip, ip.reader.rest());
}
rc_t cmd_lumo_matdescribe(Interp& ip) { return lumo_matdescribe(ip, ip.reader.rest()); }

}  // namespace nuvra
