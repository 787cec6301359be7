#include "interp/preferences.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>

namespace nuvra {

namespace {

bool make_directories(const std::string& dir) {
  if (dir.empty()) return false;
  for (size_t slash = dir.find('/', 1);; slash = dir.find('/', slash + 1)) {
    std::string part = dir.substr(0, slash);
    if (::mkdir(part.c_str(), 0755) != 0 && errno != EEXIST) return false;
    if (slash == std::string::npos) break;
  }
  return true;
}

}  // namespace

std::string Preferences::default_directory() {
  if (const char* p = std::getenv("NUVRA_PREF_DIR")) return p;
  const char* home = std::getenv("HOME");
  if (!home) return {};
  const char* display = std::getenv("DISPLAY");
  return std::string(home) + "/.nuvra10/" + (display ? display : "gui");
}

bool Preferences::load(const std::string& dir) {
  if (!make_directories(dir)) return false;
  path_ = dir + "/nuvra10.rc";
  loaded_ = true;
  std::FILE* f = std::fopen(path_.c_str(), "r");
  if (!f) return true;
  char line[1024];
  while (std::fgets(line, sizeof line, f)) {
    std::string s(line);
    while (!s.empty() && (s.back() == '\n' || s.back() == '\r')) s.pop_back();
    size_t sp = s.find(' ');
    if (sp == std::string::npos || sp == 0) continue;
    values_[s.substr(0, sp)] = s.substr(sp + 1);
  }
  std::fclose(f);
  return true;
}

bool Preferences::save() {
  if (!dirty_ || path_.empty()) return true;
  std::string tmp = path_ + ".tmp" + std::to_string(::getpid());
  std::FILE* f = std::fopen(tmp.c_str(), "w");
  if (!f) return false;
  bool ok = true;
  for (const auto& [name, value] : values_)
    ok = ok && std::fprintf(f, "%s %s\n", name.c_str(), value.c_str()) > 0;
  ok = (std::fflush(f) == 0) && ok;
  ok = (::fsync(::fileno(f)) == 0) && ok;
  ok = (std::fclose(f) == 0) && ok;
  if (!ok || std::rename(tmp.c_str(), path_.c_str()) != 0) {
    std::remove(tmp.c_str());
    return false;
  }
  dirty_ = false;
  return true;
}

const std::string* Preferences::get(const std::string& name) const {
  auto it = values_.find(name);
  return it == values_.end() ? nullptr : &it->second;
}

void Preferences::set(const std::string& name, const std::string& value) {
  auto it = values_.find(name);
  if (it != values_.end() && it->second == value) return;
  values_[name] = value;
  dirty_ = true;
}

void Preferences::set_default(const std::string& name, const std::string& value) {
  values_.emplace(name, value);
}

}  // namespace nuvra
