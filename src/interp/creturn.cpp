#include "interp/creturn.h"

#include <unistd.h>

#include <cctype>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <vector>

#include "data/dataset.h"
#include "data/format.h"
#include "data/limits.h"
#include "data/missing.h"
#include "interp/builtins.h"
#include "interp/interp.h"
#include "interp/messages.h"
#include "interp/runner.h"
#include "interp/simple_expr.h"

namespace nuvra {

namespace {

CValue num(double v) {
  CValue c;
  c.num = v;
  return c;
}
CValue text(std::string s) {
  CValue c;
  c.is_string = true;
  c.str = std::move(s);
  return c;
}
std::string on_off(bool on) { return on ? "on" : "off"; }

}  // namespace

// The settings, from settings.def.
const Setting kSettings[] = {
#define SETTING(name, kind, shortest, group, permanent, fallback, allowed, value)                       \
  {#name, shortest, group, permanent != 0, fallback, allowed, []([[maybe_unused]] Interp& ip) { return kind(value); }},
#define NUM num
#define WORD text
#define ONOFF Allowed::kOnOff, 0, 0, "on off", nullptr
#define WORDS(words, message) Allowed::kWords, 0, 0, words, message
#define INTEGER(lo, hi, message) Allowed::kInteger, lo, hi, nullptr, message
#define WHOLE(lo, hi, message) Allowed::kWhole, lo, hi, nullptr, message
#define REAL(lo, hi, message) Allowed::kReal, lo, hi, nullptr, message
#define OWN Allowed::kOwn, 0, 0, nullptr, nullptr
#include "interp/settings.def"
#undef OWN
#undef REAL
#undef WHOLE
#undef INTEGER
#undef WORDS
#undef ONOFF
#undef WORD
#undef NUM
#undef SETTING
};

const std::size_t kSettingCount = sizeof kSettings / sizeof kSettings[0];

const Setting* find_setting(std::string_view name) {
  for (const Setting& s : kSettings)
    if (name == s.name) return &s;
  return nullptr;
}

const Setting* find_set_name(std::string_view name) {
  for (const Setting& s : kSettings) {
    if (name == s.name) return &s;
    if (s.shortest > 0 && abbreviates(name, s.name, s.shortest)) return &s;
  }
  return nullptr;
}

namespace {

// The names creturn list shows, in its order.
constexpr const char* kListed[] = {
    "current_date", "current_time", "rmsg_time", "version", "born_date", "flavor", "os",
    "machine_type", "processors", "sysdir_nuvra", "sysdir_updates", "sysdir_base", "sysdir_site",
    "sysdir_plus", "sysdir_personal", "sysdir_oldplace", "adopath", "pwd", "dirsep", "N", "k",
    "width", "changed", "filename", "memory", "maxvar", "matsize", "varabbrev", "linesize",
    "pagesize", "more", "rmsg", "trace", "tracedepth", "type", "pi", "maxbyte", "minbyte",
    "maxint", "minint", "maxlong", "minlong", "maxfloat", "minfloat", "maxdouble", "mindouble",
    "epsfloat", "epsdouble", "rc"};

}  // namespace

bool c_value(Interp& ip, std::string_view name, CValue* out) {
  std::time_t now = std::time(nullptr);
  std::tm tm{};
  localtime_r(&now, &tm);
  char buf[64];
  const data::Dataset& ds = ip.dataset;
  if (const Setting* s = find_setting(name)) {
    *out = s->value(ip);
    return true;
  }
  if (name == "current_date") {
    std::strftime(buf, sizeof buf, "%e %b %Y", &tm);
    *out = text(buf[0] == ' ' ? buf + 1 : buf);
  } else if (name == "current_time") {
    std::strftime(buf, sizeof buf, "%H:%M:%S", &tm);
    *out = text(buf);
  } else if (name == "rmsg_time") {
    *out = num(ip.last_elapsed);
  } else if (name == "version") {
    *out = num(ip.version / 100.0);
  } else if (name == "born_date") {
    int d = executable_build_date();
    static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                          "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    std::snprintf(buf, sizeof buf, "%d %s %d", d % 100, kMonths[(d / 100) % 100 - 1], d / 10000);
    *out = text(buf);
  } else if (name == "flavor") {
    *out = text("MP");
  } else if (name == "os") {
    *out = text("Unix");
  } else if (name == "machine_type") {
    *out = text("PC (64-bit x86-64)");
  } else if (name == "sysdir_nuvra") {
    *out = text(ip.sysdir);
  } else if (name.starts_with("sysdir_")) {
    std::string n(name.substr(7));
    for (char& c : n) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    bool known = false;
    for (const char* k : kSystemDirectoryNames) known = known || n == k;
    if (!known) return false;
    *out = text(system_directory(ip, n));
  } else if (name == "adopath") {
    const std::string* p = ip.macros.global("S_ADO");
    *out = text(p ? *p : "");
  } else if (name == "pwd") {
    char cwd[4096];
    *out = text(::getcwd(cwd, sizeof cwd) ? cwd : "");
  } else if (name == "dirsep") {
    *out = text("/");
  } else if (name == "N") {
    *out = num(static_cast<double>(ds.nobs()));
  } else if (name == "k") {
    *out = num(ds.nvar());
  } else if (name == "width") {
    *out = num(ds.used_width());
  } else if (name == "changed") {
    *out = num(ds.changed() || ip.data_changed ? 1 : 0);
  } else if (name == "filename") {
    const std::string* f = ip.macros.global("S_FN");
    *out = text(f ? *f : "");
  } else if (name == "pi") {
    *out = num(3.14159265358979323846);
  } else if (name == "rc") {
    *out = num(ip.captured_rc);
  } else if (const data::StorageLimit* l = data::find_storage_limit(name)) {
    *out = num(l->value);
  } else {
    return false;
  }
  return true;
}

std::string c_text(Interp& ip, std::string_view name) {
  CValue v;
  if (!c_value(ip, name, &v)) return {};
  if (v.is_string) return v.str;
  // Expanded text is read again as a number, so it must give back the same
  // double: c(maxfloat) in a comparison with maxfloat() has to be equal.
  std::string text = format_number_g(v.num, 18);
  if (std::strtod(text.c_str(), nullptr) == v.num) return text;
  char buf[32];
  auto res = std::to_chars(buf, buf + sizeof buf, v.num);
  return std::string(buf, res.ptr);
}

// creturn list
rc_t cmd_creturn(Interp& ip) {
  std::string_view rest = ip.reader.rest();
  if (rest != "list" && rest != "l" && rest != "li" && rest != "lis") return msg_invalid(ip, "syntax");
  for (const char* name : kListed) {
    CValue v;
    if (!c_value(ip, name, &v)) continue;
    ip.out.set_class(output::OutClass::Text);
    ip.out.printf_markup("{ralign 20:c(%s)} = ", name);
    ip.out.set_class(output::OutClass::Result);
    if (v.is_string) {
      ip.out.print_markup("\"");
      ip.out.print_plain(v.str);
      ip.out.print_markup("\"");
    } else {
      ip.out.print_plain(shown_number_g(v.num, 18));
    }
    ip.out.print_markup("\n");
  }
  return 0;
}

}  // namespace nuvra

namespace nuvra {

// query: the settings, grouped, each with its current value.
rc_t cmd_query(Interp& ip) {
  if (!ip.reader.at_end()) return msg_invalid(ip, "syntax");
  // Each group once, in order of its first setting.
  std::vector<std::string_view> groups;
  for (const Setting& s : kSettings) {
    if (!s.query_group) continue;
    bool seen = false;
    for (std::string_view g : groups) seen = seen || g == s.query_group;
    if (!seen) groups.push_back(s.query_group);
  }
  for (std::string_view group : groups) {
    ip.out.set_class(output::OutClass::Text);
    ip.out.printf_markup("{hline 4} %s {hline}\n", std::string(group).c_str());
    for (const Setting& s : kSettings) {
      if (!s.query_group || group != s.query_group) continue;
      const char* name = s.name;
      ip.out.set_class(output::OutClass::Text);
      ip.out.printf_markup("    %-16s", name);
      ip.out.set_class(output::OutClass::Result);
      ip.out.print_plain(c_text(ip, name));
      ip.out.print_markup("\n");
    }
    ip.out.print_markup("\n");
  }
  return 0;
}

}  // namespace nuvra
