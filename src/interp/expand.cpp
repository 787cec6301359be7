#include "interp/expand.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "class/commands/hooks.h"
#include "interp/builtins.h"
#include "interp/creturn.h"
#include "interp/interp.h"
#include "interp/macro_functions.h"
#include "interp/messages.h"
#include "data/names.h"
#include "interp/programs.h"
#include "interp/simple_expr.h"

namespace nuvra {

namespace {

constexpr int kMaxReexpansions = 20;
// A macro's text is expanded again where it lands, so a value that refers
// to itself inside nested quotes would nest without end, and two such
// references in one value would double the work at every level. Both are
// cut off with "too many macros": no real line nests this deep or makes
// this many substitutions.
constexpr int kMaxNesting = 100;
constexpr long kMaxSubstitutions = 1000000;
// Characters looked at while finding closing quotes and braces.  A
// reference scans only up to its own close, but an unclosed backquote
// scans to the end of the line, and a line whose substitutions keep reinserting unclosed
// backquotes rescans a growing line at every step: without a bound such a
// line runs for minutes.  This allows 25 unclosed backquotes in a line at
// the length limit, or 400 in a line of 10,000 characters.
constexpr long kMaxQuoteScan = 4L * 1024 * 1024;

size_t global_name_limit(const Interp& ip) { return ip.version >= 700 ? 32 : 8; }
size_t local_name_limit(const Interp& ip) { return ip.version >= 700 ? 31 : 7; }

std::string system_global(std::string_view name, bool* found) {
  *found = true;
  std::time_t now = std::time(nullptr);
  std::tm tm{};
  localtime_r(&now, &tm);
  char buf[32];
  if (name == "S_DATE") {
    std::strftime(buf, sizeof buf, "%e %b %Y", &tm);
    return buf;
  }
  if (name == "S_TIME") {
    std::snprintf(buf, sizeof buf, "%02d:%02d:%02d", tm.tm_hour, tm.tm_min, tm.tm_sec);
    return buf;
  }
  *found = false;
  return {};
}

// Text of the global `name`; names that begin with "_" reach the locals,
// which the store keeps under that prefix.
std::string global_text(Interp& ip, std::string_view name) {
  bool sys = false;
  std::string s = system_global(name, &sys);
  if (sys) return s;
  if (!name.empty() && name[0] == '_') {
    const std::string* l = ip.macros.local(name.substr(1));
    return l ? *l : std::string();
  }
  const std::string* g = ip.macros.global(name);
  return g ? *g : std::string();
}

rc_t local_not_found(Interp& ip, std::string_view name) {
  return msg_quoting(ip.out, "local macro `", name, "' not found\n", 111);
}

// `x++', `x--', `++x', `--x': change the local by one.
rc_t step_local(Interp& ip, std::string_view name, int delta, bool give_new, std::string* out) {
  const std::string* cur = ip.macros.local(name);
  if (!cur) return local_not_found(ip, name);
  std::string t(trim(*cur));
  char* end = nullptr;
  double v = std::strtod(t.c_str(), &end);
  if (t.empty() || end != t.c_str() + t.size()) return rc_message(ip, 109);
  std::string old = *cur;
  std::string updated = format_number_g(v + delta, 18);
  ip.macros.set_local(name, updated);
  *out = give_new ? updated : old;
  return 0;
}

// Resolves the text between a backquote and its closing quote (inner
// references already expanded).  *verbatim is set when the result must not
// be scanned again.
rc_t resolve_local(Interp& ip, std::string_view inner, std::string* out, bool* verbatim) {
  *verbatim = false;
  out->clear();
  if (inner == "*") {
    for (int k = 1;; ++k) {
      const std::string* a = ip.macros.local(std::to_string(k));
      if (!a) break;
      if (k > 1) out->push_back(' ');
      out->append(*a);
    }
    return 0;
  }
  if (!inner.empty() && inner[0] == '=') {
    ExprValue v;
    size_t used = 0;
    int saved = ip.out.threshold();
    ip.out.set_threshold(output::kSilent);
    rc_t rc = eval_expression(ip, inner.substr(1), &v, &used);
    ip.out.set_threshold(saved);
    if (rc == 0 && trim(inner.substr(1 + used)).empty())
      *out = v.is_string ? v.str : format_number_g(v.num, 18);
    return 0;
  }
  if (!inner.empty() && inner[0] == ':') {
    // A failing function gives empty text here, without its message;
    // one that is not built yet (199) is an error, never silent emptiness.
    int saved = ip.out.threshold();
    ip.out.set_threshold(output::kSilent);
    rc_t rc = macro_function(ip, inner.substr(1), out);
    ip.out.set_threshold(saved);
    if (rc == 199) {
      out->clear();
      return macro_function(ip, inner.substr(1), out);
    }
    if (rc) out->clear();
    if (out->size() > kMacroLengthLimit - 1) out->resize(kMacroLengthLimit - 1);
    return 0;
  }
  if (!inner.empty() && inner[0] == '.') {
    ClassMacroText(ip, inner, out);
    return 0;
  }
  if (inner.size() > 2 && (inner.starts_with("++") || inner.starts_with("--")))
    return step_local(ip, inner.substr(2), inner[0] == '+' ? 1 : -1, true, out);
  if (inner.size() > 2 && (inner.ends_with("++") || inner.ends_with("--")))
    return step_local(ip, inner.substr(0, inner.size() - 2), inner.back() == '+' ? 1 : -1, false,
                      out);
  size_t paren = inner.find('(');
  if (paren != std::string_view::npos && paren > 0 && inner.back() == ')') {
    std::string_view fn = inner.substr(0, paren);
    std::string_view arg = trim(inner.substr(paren + 1, inner.size() - paren - 2));
    if (fn == "macval") {
      const std::string* v = ip.macros.local(arg);
      if (v) *out = *v;
      *verbatim = true;
    } else if (fn == "r" || fn == "e" || fn == "s") {
      saved_result_text(ip, fn[0], arg, out);
    } else if (fn == "c") {
      *out = c_text(ip, arg);
    }
    return 0;
  }
  std::string_view name = inner.substr(0, std::min(inner.size(), local_name_limit(ip)));
  const std::string* v = ip.macros.local(name);
  if (v) *out = *v;
  return 0;
}

// The text of one level still to be scanned.  It is kept reversed, so
// that taking the next character and putting a substitution in front of
// the rest each cost the length of what is taken or put, not the length of
// the rest of the line: a line that substitutes many times stays linear.
class Pending {
 public:
  explicit Pending(const std::string& text) : rev_(text.rbegin(), text.rend()) {}
  size_t size() const { return rev_.size(); }
  // The k-th character from the front.
  char at(size_t k) const { return rev_[rev_.size() - 1 - k]; }
  std::string substr(size_t k, size_t n) const {
    std::string s(n, '\0');
    const char* last = rev_.data() + rev_.size() - k;
    std::reverse_copy(last - n, last, s.data());
    return s;
  }
  void drop(size_t n) { rev_.resize(rev_.size() - n); }
  void move_to(std::string* out, size_t n) {
    size_t at = out->size();
    out->resize(at + n);
    std::reverse_copy(rev_.data() + rev_.size() - n, rev_.data() + rev_.size(), out->data() + at);
    drop(n);
  }
  void put_front(std::string_view text) {
    size_t at = rev_.size();
    rev_.resize(at + text.size());
    std::reverse_copy(text.begin(), text.end(), rev_.data() + at);
  }
  // How many characters from the front are plain text: no backslash,
  // backquote or dollar sign.
  size_t plain_run() const {
    const char* p = rev_.data() + rev_.size();
    const char* first = rev_.data();
    while (p > first && p[-1] != '\\' && p[-1] != '`' && p[-1] != '$') --p;
    return static_cast<size_t>(rev_.data() + rev_.size() - p);
  }

 private:
  std::string rev_;
};

// Finds the quote that closes the backquote at `open`: backquotes and
// single quotes nest.  Adds the characters it looked at to *scanned.
size_t matching_close(const Pending& in, size_t open, long* scanned) {
  int depth = 0;
  size_t close = std::string::npos;
  for (size_t i = open; i < in.size(); ++i) {
    char c = in.at(i);
    if (c == '`') {
      if (i + 1 < in.size() && in.at(i + 1) == '"' && i != open) {
        i += 1;  // a compound quote inside is text, not a reference
        continue;
      }
      ++depth;
    } else if (c == '\'' && --depth == 0) {
      close = i;
      break;
    }
  }
  *scanned += static_cast<long>((close == std::string::npos ? in.size() : close) - open);
  return close;
}

class Expander {
 public:
  explicit Expander(Interp& ip) : ip_(ip) {}

  rc_t run(std::string& buf) {
    if (depth_ >= kMaxNesting) return rc_message(ip_, 920);
    ++depth_;
    rc_t rc = run_level(buf);
    --depth_;
    return rc;
  }

 private:
  // The local reference whose backquote stands at `open` of `in`: the
  // quote that closes it in *close (npos when none does), and its value,
  // the name inside expanded first.
  rc_t local_reference(const Pending& in, size_t open, size_t* close, std::string* value, bool* verbatim) {
    *close = matching_close(in, open, &scanned_);
    if (scanned_ > kMaxQuoteScan) return rc_message(ip_, 920);
    if (*close == std::string::npos) return 0;
    std::string inner = in.substr(open + 1, *close - open - 1);
    if (rc_t rc = run(inner)) return rc;
    return resolve_local(ip_, inner, value, verbatim);
  }

  // Scans `buf` once: what is scanned moves to `out`, a substitution goes
  // in front of the text still to be scanned, so it is scanned in turn.
  rc_t run_level(std::string& buf) {
    Pending in(buf);
    std::string out;
    out.reserve(buf.size());
    int repeats = 0;
    while (in.size() > 0) {
      char c = in.at(0);
      if (c == '\\' && in.size() > 1) {
        char n = in.at(1);
        bool doubled = n == '\\' && (ip_.version < 900 ||
                                     (in.size() > 2 && (in.at(2) == '$' || in.at(2) == '`')));
        if (n == '$' || n == '`' || doubled) in.drop(1);
        in.move_to(&out, 1);
        repeats = 0;
        continue;
      }
      if (c == '`' && !(in.size() > 1 && in.at(1) == '"')) {
        size_t close = 0;
        std::string value;
        bool verbatim = false;
        if (rc_t rc = local_reference(in, 0, &close, &value, &verbatim)) return rc;
        if (close == std::string::npos) {
          in.move_to(&out, 1);
          continue;
        }
        if (rc_t rc = replace(out, in, 0, close + 1, value)) return rc;
        if (verbatim) {
          in.move_to(&out, value.size());
          repeats = 0;
          continue;
        }
        if (!value.empty() && (value[0] == '$' || value[0] == '`')) {
          if (++repeats > kMaxReexpansions) return rc_message(ip_, 920);
        } else {
          repeats = 0;
        }
        continue;
      }
      if (c == '$' && in.size() > 1) {
        size_t len = 0;
        std::string name;
        char n = in.at(1);
        if (n == '`') {
          // The global's name is built by a local reference: expand it first.
          size_t close = 0;
          std::string value;
          bool verbatim = false;
          if (rc_t rc = local_reference(in, 1, &close, &value, &verbatim)) return rc;
          if (close == std::string::npos) {
            in.move_to(&out, 1);
            continue;
          }
          if (rc_t rc = replace(out, in, 1, close, value)) return rc;
          continue;  // look at the "$" again with the built name
        }
        if (n == '{') {
          int depth = 0;
          size_t j = 1;
          for (; j < in.size(); ++j) {
            if (in.at(j) == '{') ++depth;
            if (in.at(j) == '}' && --depth == 0) break;
          }
          scanned_ += static_cast<long>(j);
          if (scanned_ > kMaxQuoteScan) return rc_message(ip_, 920);
          if (j >= in.size()) {
            in.move_to(&out, 1);
            continue;
          }
          name = in.substr(2, j - 2);
          if (rc_t rc = run(name)) return rc;
          len = j + 1;
        } else if (is_name_start(n)) {
          size_t j = 1;
          while (j < in.size() && is_name_char(in.at(j)) && j - 1 < global_name_limit(ip_)) ++j;
          name = in.substr(1, j - 1);
          len = j;
        } else {
          in.move_to(&out, 1);
          repeats = 0;
          continue;
        }
        std::string value = global_text(ip_, name);
        if (rc_t rc = replace(out, in, 0, len, value)) return rc;
        if (!value.empty() && (value[0] == '$' || value[0] == '`')) {
          if (++repeats > kMaxReexpansions) return rc_message(ip_, 920);
        } else {
          repeats = 0;
        }
        continue;
      }
      in.move_to(&out, std::max<size_t>(1, in.plain_run()));
      repeats = 0;
    }
    buf = std::move(out);
    return 0;
  }

  // Replaces the `len` characters that follow the first `skip` ones of the
  // pending text by `value`.
  rc_t replace(const std::string& out, Pending& in, size_t skip, size_t len,
               const std::string& value) {
    if (++substitutions_ > kMaxSubstitutions) return rc_message(ip_, 920);
    if (out.size() + in.size() - len + value.size() >= kCommandLengthLimit)
      return rc_message(ip_, 920);
    std::string kept = in.substr(0, skip);
    in.drop(skip + len);
    in.put_front(value);
    in.put_front(kept);
    return 0;
  }

  Interp& ip_;
  int depth_ = 0;
  long substitutions_ = 0;
  long scanned_ = 0;
};

// The text of a definition: quotes around the whole are removed.
rc_t definition_text(Interp& ip, std::string_view rest, std::string* out) {
  rest = trim(rest);
  if (rest.starts_with("`\"")) {
    if (!rest.ends_with("\"'") || rest.size() < 4) return msg_invalid(ip, "syntax");
    rest = rest.substr(2, rest.size() - 4);
  } else if (rest.starts_with("\"")) {
    if (rest.size() < 2 || !rest.ends_with("\"")) return msg_invalid(ip, "syntax");
    rest = rest.substr(1, rest.size() - 2);
  }
  if (rest.size() > kMacroLengthLimit - 1) rest = rest.substr(0, kMacroLengthLimit - 1);
  out->assign(rest);
  return 0;
}

enum class MacroKind { Local, Global, CallerLocal };

rc_t define_macro(Interp& ip, MacroKind kind) {
  std::string_view rest = ip.reader.rest();
  // local ++name / --name
  if (rest.starts_with("++") || rest.starts_with("--")) {
    if (kind != MacroKind::Local) return msg_invalid(ip, "syntax");
    std::string_view name = trim(rest.substr(2));
    if (!is_valid_name(name)) return msg_invalid(ip, "syntax");
    std::string ignored;
    return step_local(ip, name, rest[0] == '+' ? 1 : -1, true, &ignored);
  }
  size_t end = 0;
  while (end < rest.size() && is_name_char(rest[end])) ++end;
  std::string name(rest.substr(0, end));
  std::string_view after = rest.substr(end);
  if (kind == MacroKind::Global && !name.empty() && name[0] == '_')
    return msg_invalid(ip, "syntax");
  // Local names may begin with a digit: the positional arguments are the
  // locals 0, 1, 2, ... and programs set them too.
  bool first_ok = !name.empty() && (is_name_start(name[0]) || kind != MacroKind::Global);
  if (!first_ok || (kind == MacroKind::Global && name.size() > 32) ||
      (kind != MacroKind::Global && name.size() > 31)) {
    return msg_quoting(ip.out, "", name.empty() ? std::string(trim(rest).substr(0, 32)) : name,
                       " invalid name\n", 198);
  }
  if (!after.empty() && after[0] != ' ' && after[0] != '\t' && after[0] != '=' && after[0] != ':')
    return msg_invalid(ip, "syntax");
  after = trim(after);
  std::string text;
  bool remove = false;
  if (after.empty()) {
    remove = true;
  } else if (after[0] == '=') {
    ExprValue v;
    size_t used = 0;
    if (rc_t rc = eval_expression(ip, after.substr(1), &v, &used)) return rc;
    if (!trim(after.substr(1 + used)).empty()) return msg_invalid(ip, "syntax");
    text = v.is_string ? v.str : format_number_g(v.num, 18);
  } else if (after[0] == ':') {
    if (rc_t rc = macro_function(ip, after.substr(1), &text)) return rc;
    if (text.size() > kMacroLengthLimit - 1) text.resize(kMacroLengthLimit - 1);
  } else if (rc_t rc = definition_text(ip, after, &text)) {
    return rc;
  }
  switch (kind) {
    case MacroKind::Local:
      if (remove)
        ip.macros.drop_local(name);
      else
        ip.macros.set_local(name, text);
      break;
    case MacroKind::CallerLocal:
      ip.macros.set_caller_local(name, text);
      break;
    case MacroKind::Global:
      if (remove)
        ip.macros.drop_global(name);
      else
        ip.macros.set_global(name, text);
      break;
  }
  return 0;
}

}  // namespace

rc_t expand_macros(Interp& ip, std::string& buf) {
  if (!ip.exec_flag) return 0;
  Expander e(ip);
  rc_t rc = e.run(buf);
  if (rc) return rc;
  std::string_view t = trim(buf);
  if (t.size() != buf.size()) buf.assign(t);
  return 0;
}

rc_t cmd_local(Interp& ip) { return define_macro(ip, MacroKind::Local); }
rc_t cmd_global(Interp& ip) { return define_macro(ip, MacroKind::Global); }
rc_t cmd_c_local(Interp& ip) { return define_macro(ip, MacroKind::CallerLocal); }

}  // namespace nuvra
