// lumo mlib create|add|index|query: libraries of compiled functions, and
// the list of libraries that autoloading searches.
//
// A library is named "l" followed by its own name, in a file of that name
// with the suffix ".mlib".  The libraries searched are, in this order, the
// shipped libraries the lumolib setting names ("base" stands for
// "llumobase.mlib"), then every other library along the ado-path, in path
// order and by name within a directory; a function held by several comes
// from the first.
#include <algorithm>
#include <cctype>
#include <filesystem>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "interp/builtins.h"
#include "interp/interp.h"
#include "interp/messages.h"
#include "interp/parse.h"
#include "interp/runner.h"
#include "lumo/commands/lumo_session.h"
#include "lumo/mlib.h"

namespace nuvra {

namespace {

using output::OutClass;

constexpr std::string_view kOfficialPrefix = "llumo";
constexpr std::string_view kSuffix = ".mlib";

void Error(Interp& ip, std::string_view text) { ip.out.markup(OutClass::Error, text); }

std::vector<lumo::LibraryFile> FindLibraries(Interp& ip) {
  std::vector<lumo::LibraryFile> out;
  std::set<std::string> seen;
  auto add = [&](const std::string& name, const std::string& path) {
    if (seen.insert(name).second) out.push_back({name, path});
  };
  std::string_view list = ip.lumolib;
  while (!list.empty()) {
    size_t cut = std::min(list.find(';'), list.size());
    std::string_view entry = list.substr(0, cut);
    list.remove_prefix(std::min(cut + 1, list.size()));
    while (!entry.empty() && entry.front() == ' ') entry.remove_prefix(1);
    while (!entry.empty() && entry.back() == ' ') entry.remove_suffix(1);
    if (entry.empty()) continue;
    std::string name = std::string(kOfficialPrefix) + std::string(entry), path;
    if (find_file_along_path(ip, name + std::string(kSuffix), 1, &path)) add(name, path);
  }
  for (const std::string& dir : search_path_dirs(ip)) {
    for (const std::string& where : {dir, dir + "l/"}) {
      std::error_code ec;
      std::vector<std::string> names;
      for (std::filesystem::directory_iterator it(where, ec), end; !ec && it != end; it.increment(ec)) {
        std::string file = it->path().filename().string();
        if (file.size() > kSuffix.size() + 1 && file[0] == 'l' && file.ends_with(kSuffix) && it->is_regular_file(ec))
          names.push_back(file.substr(0, file.size() - kSuffix.size()));
      }
      std::sort(names.begin(), names.end());
      for (const std::string& name : names) add(name, where + name + std::string(kSuffix));
    }
  }
  return out;
}

// The option through which the build writes the shipped libraries, whose
// prefix is refused to everyone else.  Not documented: a user has no use
// for it.
constexpr std::string_view kOfficialOption = "_official";

// A library name as typed (with or without the suffix), checked; the
// reserved prefix only when `official`.
rc_t LibraryName(Interp& ip, std::string_view word, bool official, std::string* name) {
  if (word.ends_with(kSuffix)) word.remove_suffix(kSuffix.size());
  if (word.empty() || word[0] != 'l') {
    Error(ip, "library names must start with letter lowercase l\n");
    return 198;
  }
  if (word.starts_with(kOfficialPrefix) && !official) {
    Error(ip, "prefix llumo reserved for official libraries\n");
    return 198;
  }
  bool valid = word.size() < lumo::kMlibNameBytes &&
               std::all_of(word.begin(), word.end(), [](char c) { return std::isalnum((unsigned char)c) || c == '_'; });
  if (!valid) {
    Error(ip, std::string(word) + " invalid name\n");
    return 198;
  }
  *name = std::string(word);
  return 0;
}

void ListLibraries(Interp& ip, lumo::Session& session, const char* heading) {
  std::string out = std::string("{txt}") + heading + "\n";
  for (const lumo::LibraryFile& lib : session.libraries().libraries()) out += "    " + lib.name + "\n";
  ip.out.markup(OutClass::Text, out);
}

// create lname [, replace capacity(#)]
rc_t Create(Interp& ip, std::string_view args) {
  size_t comma = options_comma(args);
  std::string_view words = args.substr(0, std::min(comma, args.size()));
  std::string_view word = take_word(words);
  if (word.empty() || !take_word(words).empty()) return msg_invalid(ip, "syntax");
  CommandLine cl;
  if (rc_t rc = parse_options(ip, args, comma, &cl)) return rc;
  bool replace = cl.flag("replace", 7, 0) == 1;
  long long capacity = cl.integer("capacity", 3, lumo::kMlibDefaultCapacity);
  bool official = cl.flag(kOfficialOption, kOfficialOption.size(), 0) == 1;
  if (rc_t rc = cl.leftover(ip)) return rc;
  std::string name;
  if (rc_t rc = LibraryName(ip, word, official, &name)) return rc;
  if (capacity < 1 || capacity > lumo::kMlibMaxSlots) {
    Error(ip, "capacity() must be between 1 and " + std::to_string(lumo::kMlibMaxSlots) + "\n");
    return 198;
  }
  std::string file = name + std::string(kSuffix);
  if (rc_t rc = lumo::MlibCreate(file, int32_t(capacity), replace, lumo::MlibReport{lumo_session(ip).libraries().host()}))
    return rc;
  lumo_session(ip).libraries().MakeStale();
  ip.out.markup(OutClass::Text, "{txt}(file " + file + " created)\n");
  return 0;
}

// add lname fcnname[()] ...: every name is checked before anything is
// written; each function is then added on its own.
rc_t Add(Interp& ip, std::string_view args) {
  size_t comma = options_comma(args);
  std::string_view rest = args.substr(0, std::min(comma, args.size()));
  CommandLine cl;
  if (rc_t rc = parse_options(ip, args, comma, &cl)) return rc;
  bool official = cl.flag(kOfficialOption, kOfficialOption.size(), 0) == 1;
  if (rc_t rc = cl.leftover(ip)) return rc;
  std::string name;
  if (rc_t rc = LibraryName(ip, take_word(rest), official, &name)) return rc;
  std::string file = name + std::string(kSuffix), path = file;
  if (!std::filesystem::exists(path) && !find_file_along_path(ip, file, 1, &path)) {
    Error(ip, file + " not found\n");
    return 601;
  }
  lumo::Session& session = lumo_session(ip);
  lumo::Values& values = session.values();
  std::vector<const lumo::FunctionRecord*> fns;
  for (std::string_view w = take_word(rest); !w.empty(); w = take_word(rest)) {
    std::string fname(w);
    bool parens = fname.size() > 2 && fname.ends_with("()");
    if (parens) fname.resize(fname.size() - 2);
    if (const lumo::FunctionRecord* f = values.FindFunction(fname)) {
      fns.push_back(f);
      continue;
    }
    bool matrix = !parens && values.FindGlobal(fname);
    Error(ip, matrix ? fname + ":  only functions may be written in libraries\n" : "function " + fname + "() not found\n");
    Error(ip, "nothing added; library unchanged\n");
    return matrix ? 198 : 111;
  }
  if (fns.empty()) return msg_invalid(ip, "syntax");
  lumo::MlibReport report{session.libraries().host()};
  for (const lumo::FunctionRecord* f : fns) {
    lumo::MlibIndex ix;
    if (rc_t rc = lumo::MlibOpen(path, file, report, &ix)) return rc;
    if (ix.Find(f->name) >= 0) {
      ip.out.markup(OutClass::Text, "{txt}" + std::string(f->name) + "() already in library\n");
      continue;
    }
    rc_t rc = lumo::MlibAdd(path, file, *f, report);
    session.libraries().MakeStale();
    if (rc) return rc;
    ip.out.markup(OutClass::Text, "{txt}(function " + std::string(f->name) + "() added)\n");
  }
  return 0;
}

}  // namespace

void attach_libraries(Interp& ip, lumo::Session& session) {
  session.libraries().locate = [&ip] { return FindLibraries(ip); };
  session.libraries().fingerprint = [&ip] {
    const std::string* path = ip.macros.global("S_ADO");
    return ip.lumolib + "\n" + (path ? *path : std::string());
  };
}

rc_t cmd_lumo_mlib(Interp& ip) {
  std::string_view rest = ip.reader.rest();
  std::string_view sub = take_word(rest);
  lumo::Session& session = lumo_session(ip);
  if (sub == "create") return Create(ip, rest);
  if (sub == "add") return Add(ip, rest);
  if (sub == "index" || sub == "query") {
    if (!take_word(rest).empty()) return msg_invalid(ip, "syntax");
    if (sub == "index") session.libraries().MakeStale();
    session.libraries().Ensure();
    ListLibraries(ip, session, sub == "index" ? ".mlib libraries to be searched are now" : ".mlib libraries to be searched are");
    return 0;
  }
  Error(ip, std::string(sub) + ":  invalid mlib subcommand\n");
  return 198;
}

}  // namespace nuvra
