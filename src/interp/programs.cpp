#include "interp/programs.h"

#include <cstdio>

#include "class/commands/hooks.h"
#include "data/commands/sort.h"
#include "interp/builtins.h"
#include "interp/interp.h"
#include "interp/line_source.h"
#include "interp/messages.h"
#include "data/names.h"
#include "interp/runner.h"
#include "interp/simple_expr.h"
#include "stats/commands/postest.h"

namespace nuvra {

size_t Program::size_bytes() const {
  size_t n = 0;
  for (const std::string& l : lines) n += l.size() + 1;
  return n;
}

Program* ProgramStore::find(std::string_view name) {
  auto it = programs_.find(name);
  return it == programs_.end() ? nullptr : it->second.get();
}

Program* ProgramStore::add(Program p) {
  auto owned = std::make_unique<Program>(std::move(p));
  Program* raw = owned.get();
  programs_[raw->name] = std::move(owned);
  return raw;
}

bool ProgramStore::drop(std::string_view name) {
  auto it = programs_.find(name);
  if (it == programs_.end()) return false;
  programs_.erase(it);
  return true;
}

void ProgramStore::drop_ado_loaded() {
  for (auto it = programs_.begin(); it != programs_.end();) {
    if (it->second->from_ado) it = programs_.erase(it);
    else ++it;
  }
}

std::vector<const Program*> ProgramStore::all() const {
  std::vector<const Program*> out;
  for (const auto& [name, p] : programs_) out.push_back(p.get());
  return out;
}

namespace {

std::string_view next_word(std::string_view& s) {
  s = trim(s);
  size_t n = 0;
  int depth = 0;
  while (n < s.size() && (depth > 0 || (s[n] != ' ' && s[n] != '\t' && s[n] != ','))) {
    if (s[n] == '(') ++depth;
    if (s[n] == ')') --depth;
    ++n;
  }
  if (n == 0 && !s.empty() && s[0] == ',') n = 1;
  std::string_view w = s.substr(0, n);
  s.remove_prefix(n);
  return w;
}

SavedResults& results_of(Interp& ip, char cls) {
  return cls == 'r' ? ip.r_results : cls == 'e' ? ip.e_results : ip.s_results;
}

// Reads a program body up to its `end` line from the current source.
rc_t capture_body(Interp& ip, std::vector<std::string>* lines) {
  if (ip.sources.empty()) return rc_message(ip, 612);
  LineSource* src = ip.sources.back();
  for (int n = 1;; ++n) {
    char prompt[24];
    std::snprintf(prompt, sizeof prompt, "%3d. ", n);
    std::string line;
    if (!src->read(ip, line, prompt)) return msg_quoting(ip.out, "\nunexpected end of file\n", "", "", 612);
    if (trim(line) == "end") return 0;
    lines->push_back(std::move(line));
  }
}

rc_t program_define(Interp& ip, std::string_view rest) {
  std::string_view name_part = next_word(rest);
  std::string name(name_part);
  if (!is_valid_name(name)) return msg_quoting(ip.out, "", name, " invalid name\n", 198);
  Program p;
  p.name = name;
  p.version = ip.version;
  p.from_ado = ip.load_depth > 0;
  rest = trim(rest);
  if (!rest.empty()) {
    if (rest.front() != ',') return msg_invalid(ip, "syntax");
    rest.remove_prefix(1);
    for (std::string_view opt; !(opt = next_word(rest)).empty();) {
      size_t paren = opt.find('(');
      std::string_view word = opt.substr(0, paren);
      if (paren == std::string_view::npos && abbreviates(word, "rclass", 1)) p.cls = ProgramClass::R;
      else if (paren == std::string_view::npos && abbreviates(word, "return", 2)) p.cls = ProgramClass::R;
      else if (paren == std::string_view::npos && abbreviates(word, "eclass", 1)) p.cls = ProgramClass::E;
      else if (paren == std::string_view::npos && abbreviates(word, "sclass", 1)) p.cls = ProgramClass::S;
      else if (paren == std::string_view::npos && abbreviates(word, "nclass", 1)) p.cls = ProgramClass::None;
      else if (paren == std::string_view::npos && abbreviates(word, "sortpreserve", 4)) p.sortpreserve = true;
      else if (paren == std::string_view::npos && abbreviates(word, "plugin", 4)) p.plugin_file = "(plugin)";
      else if (paren != std::string_view::npos && abbreviates(word, "byable", 2) && opt.back() == ')') {
        std::string_view inner = opt.substr(paren + 1, opt.size() - paren - 2);
        for (std::string_view w; !(w = next_word(inner)).empty();) {
          if (w == "recall") p.byable = 1;
          else if (w == "onecall") p.byable = 2;
          else if (w == "noheader") p.byable_noheader = true;
          else return msg_quoting(ip.out, "option byable(", inner, ") invalid\n", 198);
        }
        if (p.byable == 0) return msg_quoting(ip.out, "option byable() invalid", "", "\n", 198);
      } else {
        return msg_quoting(ip.out, "option ", opt, " not allowed\n", 198);
      }
    }
  }
  if (!p.plugin_file.empty()) {
    // The plug-in loader comes later; define nothing rather than a program
    // that would fail at every call.
    return msg_not_available(ip, "plug-in programs");
  }
  // The body is read before the name is judged, so a refused definition
  // never runs its lines as commands.
  if (rc_t rc = capture_body(ip, &p.lines)) return rc;
  if (ip.programs.find(name)) return msg_quoting(ip.out, "program ", name, " already defined\n", 110);
  ip.programs.add(std::move(p));
  return 0;
}

rc_t program_dir(Interp& ip) {
  ip.out.set_class(output::OutClass::Text);
  size_t total = 0;
  for (const Program* p : ip.programs.all()) {
    if (!p->plugin_file.empty()) continue;
    total += p->size_bytes();
    ip.out.printf_markup("%5s %8zu  ", p->from_ado ? "ado" : "", p->size_bytes());
    ip.out.print_plain(p->name);
    ip.out.print_markup("\n");
  }
  if (total != 0) ip.out.printf_markup("      {hline 8}\n      %8zu\n", total);
  for (const Program* p : ip.programs.all()) {
    if (p->plugin_file.empty()) continue;
    ip.out.printf_markup("%-17s     |%s|\n", p->name.c_str(), p->plugin_file.c_str());
  }
  return 0;
}

rc_t program_list(Interp& ip, std::string_view names) {
  std::vector<const Program*> which;
  if (trim(names).empty() || trim(names) == "_all") {
    which = ip.programs.all();
  } else {
    for (std::string_view w; !(w = next_word(names)).empty();) {
      const Program* p = ip.programs.find(w);
      if (!p) return msg_quoting(ip.out, "program ", w, " not found\n", 111);
      which.push_back(p);
    }
  }
  ip.out.set_class(output::OutClass::Text);
  for (const Program* p : which) {
    static const char* const kClass[] = {"", ", rclass", ", eclass", ", sclass"};
    ip.out.print_markup("\n");
    ip.out.print_plain(p->name);
    ip.out.print_markup(kClass[static_cast<int>(p->cls)]);
    ip.out.print_markup(":\n");
    int n = 0;
    for (const std::string& line : p->lines) {
      ip.out.printf_markup("%3d. ", ++n);
      ip.out.print_plain(line);
      ip.out.print_markup("\n");
    }
  }
  return 0;
}

rc_t program_drop(Interp& ip, std::string_view names) {
  if (trim(names).empty()) return msg_invalid(ip, "syntax");
  // Check every name first so that a bad one drops nothing.
  std::vector<std::string> drop;
  for (std::string_view w; !(w = next_word(names)).empty();) {
    if (w == "_all") {
      ip.programs.clear();
      return 0;
    }
    if (w == "_allado") {
      ip.programs.drop_ado_loaded();
      continue;
    }
    if (!ip.programs.find(w)) return msg_quoting(ip.out, "program ", w, " not found\n", 111);
    drop.emplace_back(w);
  }
  for (const std::string& n : drop) ip.programs.drop(n);
  return 0;
}

void list_results(Interp& ip, char cls) {
  const SavedResults& r = results_of(ip, cls);
  ip.out.set_class(output::OutClass::Text);
  if (!r.scalars.empty()) {
    ip.out.print_markup("\nscalars:\n");
    for (const auto& [name, v] : r.scalars) {
      std::string label = std::string(1, cls) + "(" + name + ")";
      ip.out.printf_markup("{txt}%22s = {res}%s\n", label.c_str(), shown_number_g(v, 18).c_str());
    }
  }
  if (!r.macros.empty()) {
    ip.out.print_markup("\nmacros:\n");
    for (const auto& [name, text] : r.macros) {
      std::string label = std::string(1, cls) + "(" + name + ")";
      ip.out.printf_markup("{txt}%22s : {res}\"", label.c_str());
      ip.out.print_plain(text);
      ip.out.print_markup("\"\n");
    }
  }
  if (!r.matrices.empty()) {
    ip.out.print_markup("\nmatrices:\n");
    for (const auto& [name, m] : r.matrices) {
      std::string label = std::string(1, cls) + "(" + name + ")";
      ip.out.printf_markup("{txt}%22s : {res}%d x %d\n", label.c_str(), m.rows, m.cols);
    }
  }
}

// Moves (or with `copy`, copies) a named matrix into results:
// "name [=] matname [, copy]".
rc_t set_matrix_result(Interp& ip, SavedResults& into, std::string_view rest) {
  std::string_view opts;
  size_t comma = rest.find(',');
  if (comma != std::string_view::npos) {
    opts = trim(rest.substr(comma + 1));
    rest = rest.substr(0, comma);
  }
  bool copy = false;
  if (!opts.empty()) {
    if (opts != "copy") return msg_quoting(ip.out, "option ", opts, " not allowed\n", 198);
    copy = true;
  }
  std::string_view after = rest;
  std::string name(cut_name(after));
  if (!is_valid_name(name)) return msg_invalid(ip, "name");
  if (!after.empty() && after.front() == '=') after = trim(after.substr(1));
  std::string source(after);
  auto it = ip.matrices.find(source);
  if (it == ip.matrices.end()) return msg_quoting(ip.out, "matrix ", source, " not found\n", 111);
  if (copy) {
    into.matrices[name] = it->second;
  } else {
    into.matrices[name] = std::move(it->second);
    ip.matrices.erase(it);
  }
  return 0;
}

// Sets a scalar or macro result: "name = exp" or "name text".
rc_t set_result(Interp& ip, SavedResults& into, bool scalar, std::string_view rest) {
  std::string_view after = rest;
  std::string name(cut_name(after));
  if (!is_valid_name(name)) return msg_invalid(ip, "name");
  if (scalar) {
    if (after.empty() || after.front() != '=') return msg_invalid(ip, "syntax");
    ExprValue v;
    size_t used = 0;
    if (rc_t rc = eval_expression(ip, after.substr(1), &v, &used)) return rc;
    if (v.is_string) return rc_message(ip, 109);
    into.scalars[name] = v.num;
    return 0;
  }
  std::string text;
  if (!after.empty() && after.front() == '=') {
    ExprValue v;
    size_t used = 0;
    if (rc_t rc = eval_expression(ip, after.substr(1), &v, &used)) return rc;
    text = v.is_string ? v.str : format_number_g(v.num, 18);
  } else {
    if (after.size() >= 2 && after.front() == '"' && after.back() == '"')
      after = after.substr(1, after.size() - 2);
    else if (after.size() >= 4 && after.starts_with("`\"") && after.ends_with("\"'"))
      after = after.substr(2, after.size() - 4);
    text = after;
  }
  into.macros[name] = text;
  return 0;
}

// The class of the program running now; None at top level and in do-files.
ProgramClass current_class(Interp& ip) {
  return ip.program_stack.empty() ? ProgramClass::None : ip.program_stack.back().cls;
}

// The rule that frames a traced program's lines.
void trace_boundary(Interp& ip, const char* what, const std::string& name) {
  output::ClassScope text(ip.out, output::OutClass::Text);
  for (int k = 1; k < ip.frame_depth; ++k) ip.out.print_markup("  ");
  ip.out.printf_markup("{hline 16} %s ", what);
  ip.out.print_plain(name);
  ip.out.print_markup(" {hline 3}\n");
}

}  // namespace

rc_t run_program(Interp& ip, Program& prog, std::string_view args) {
  if (ip.frame_depth >= kMaxFrames) return rc_message(ip, 1000);
  prog.last_use = ip.serial;
  // Copies, so that a program may drop or redefine itself while it runs.
  std::vector<std::string> lines = prog.lines;
  std::string name = prog.name;
  ProgramClass cls = prog.cls;
  int version = prog.version;

  int caller_threshold = ip.out.threshold();
  // Declared before the frame, so the order comes back after the frame's
  // own clean-up has restored anything the program preserved.
  SortPreserve keep_order(ip, prog.sortpreserve);
  Frame frame(ip, false);
  ip.noisy_level = caller_threshold;
  ip.in_program = true;
  ip.version = version;
  ip.modern_missing = version >= 800;
  ip.program_stack.push_back({name, cls});
  if (cls == ProgramClass::R) {
    ip.r_results.clear();
    ip.pending_returns.emplace_back();
  }
  rc_t rc = set_argument_locals(ip, args);
  bool tracing = ip.trace && ip.frame_depth <= ip.tracedepth;
  if (tracing) trace_boundary(ip, "begin", name);
  if (rc == 0) {
    BlockSource src(&lines);
    SourceGuard guard(ip, &src);
    rc = run_lines(ip, src, true, false);
  }
  if (tracing) trace_boundary(ip, "end", name);
  rc = frame.result(rc);
  if (cls == ProgramClass::R) {
    if (rc == 0) ip.r_results = std::move(ip.pending_returns.back());
    ip.pending_returns.pop_back();
  }
  ip.program_stack.pop_back();
  EndClassContext(ip, static_cast<int>(ip.program_stack.size()) + 1);
  return rc;
}

bool saved_result_scalar(Interp& ip, char cls, std::string_view name, double* out) {
  const SavedResults& r = results_of(ip, cls);
  auto it = r.scalars.find(std::string(name));
  if (it == r.scalars.end()) return false;
  *out = it->second;
  return true;
}

bool saved_result_text(Interp& ip, char cls, std::string_view name, std::string* out) {
  const SavedResults& r = results_of(ip, cls);
  auto m = r.macros.find(std::string(name));
  if (m != r.macros.end()) {
    *out = m->second;
    return true;
  }
  double v;
  if (saved_result_scalar(ip, cls, name, &v)) {
    *out = format_number_g(v, 18);
    return true;
  }
  return false;
}

// program [define] name [, options] | program dir | program list [names] |
// program drop names
rc_t cmd_program(Interp& ip) {
  std::string_view rest = ip.reader.rest();
  std::string_view probe = rest;
  std::string_view first = next_word(probe);
  if (first == "drop") return program_drop(ip, probe);
  if (abbreviates(first, "dir", 2)) {
    if (!trim(probe).empty()) return msg_invalid(ip, "syntax");
    return program_dir(ip);
  }
  if (abbreviates(first, "list", 1)) return program_list(ip, probe);
  if (abbreviates(first, "define", 2)) return program_define(ip, probe);
  return program_define(ip, rest);
}

// return scalar|local|clear|add|list
rc_t cmd_return(Interp& ip) {
  std::string_view rest = ip.reader.rest();
  std::string_view sub = next_word(rest);
  if (abbreviates(sub, "list", 1)) {
    list_results(ip, 'r');
    return 0;
  }
  if (current_class(ip) != ProgramClass::R || ip.pending_returns.empty()) return rc_message(ip, 151);
  SavedResults& pending = ip.pending_returns.back();
  if (abbreviates(sub, "scalar", 2)) return set_result(ip, pending, true, rest);
  if (abbreviates(sub, "local", 3)) return set_result(ip, pending, false, rest);
  if (sub == "clear") {
    pending.clear();
    return 0;
  }
  if (sub == "add") {
    for (const auto& [k, v] : ip.r_results.scalars) pending.scalars.emplace(k, v);
    for (const auto& [k, v] : ip.r_results.macros) pending.macros.emplace(k, v);
    for (const auto& [k, v] : ip.r_results.matrices) pending.matrices.emplace(k, v);
    return 0;
  }
  if (abbreviates(sub, "matrix", 3)) return set_matrix_result(ip, pending, rest);
  return msg_invalid(ip, "syntax");
}

// ereturn local|scalar|matrix|clear|list|post|repost|display
rc_t cmd_ereturn(Interp& ip) {
  if (ip.command_name != "ereturn") return msg_not_available(ip, ip.command_name);
  std::string_view rest = ip.reader.rest();
  std::string_view sub = next_word(rest);
  if (abbreviates(sub, "list", 1)) {
    list_results(ip, 'e');
    return 0;
  }
  if (abbreviates(sub, "display", 2)) return ereturn_display(ip, rest);
  if (current_class(ip) != ProgramClass::E) return rc_message(ip, 152);
  if (sub == "post") return ereturn_post(ip, rest);
  if (sub == "repost") return ereturn_repost(ip, rest);
  if (abbreviates(sub, "scalar", 2)) return set_result(ip, ip.e_results, true, rest);
  if (abbreviates(sub, "local", 3)) return set_result(ip, ip.e_results, false, rest);
  if (abbreviates(sub, "matrix", 3)) return set_matrix_result(ip, ip.e_results, rest);
  if (sub == "clear") {
    ip.e_results.clear();
    return 0;
  }
  return msg_not_available(ip, "ereturn " + std::string(sub));
}

// sreturn local|clear|list
rc_t cmd_sreturn(Interp& ip) {
  std::string_view rest = ip.reader.rest();
  std::string_view sub = next_word(rest);
  if (abbreviates(sub, "list", 1)) {
    list_results(ip, 's');
    return 0;
  }
  if (current_class(ip) != ProgramClass::S) return rc_message(ip, 153);
  if (abbreviates(sub, "local", 3)) return set_result(ip, ip.s_results, false, rest);
  if (sub == "clear") {
    ip.s_results.clear();
    return 0;
  }
  return msg_invalid(ip, "syntax");
}

// which name: a built-in, or the ado-file's path and its first "*!" line.
rc_t cmd_which(Interp& ip) {
  std::string_view rest = ip.reader.rest();
  std::string name(next_word(rest));
  if (name.empty() || !trim(rest).empty()) return msg_invalid(ip, "syntax");
  ip.out.set_class(output::OutClass::Text);
  if (const Builtin* b = find_builtin(name, ip.version)) {
    ip.out.print_markup("built-in command:  ");
    ip.out.print_plain(b->name);
    ip.out.print_markup("\n");
    return 0;
  }
  std::string path;
  if (!find_file_along_path(ip, name + ".ado", 1, &path))
    return msg_quoting(ip.out, "command ", name, " not found as either built-in or ado-file\n", 111);
  ip.out.print_plain(path);
  ip.out.print_markup("\n");
  if (std::FILE* f = std::fopen(path.c_str(), "r")) {
    char line[1024];
    while (std::fgets(line, sizeof line, f)) {
      std::string_view l = trim(line);
      while (!l.empty() && (l.back() == '\n' || l.back() == '\r')) l.remove_suffix(1);
      if (l.starts_with("*!")) {
        ip.out.print_plain(l);
        ip.out.print_markup("\n");
        break;
      }
    }
    std::fclose(f);
  }
  return 0;
}

// discard: drops the programs loaded from ado-files, so edited files are
// read again at their next use.
rc_t cmd_discard(Interp& ip) {
  if (!ip.reader.at_end()) return msg_invalid(ip, "syntax");
  ip.programs.drop_ado_loaded();
  return 0;
}

}  // namespace nuvra
