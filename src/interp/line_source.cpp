#include "interp/line_source.h"

#include "interp/interp.h"
#include "data/names.h"
#include "data/storage.h"

namespace nuvra {

namespace {

void show_prompt(Interp& ip, std::string_view prompt) {
  // Whatever mode the last command's output left the renderer in, the
  // echo starts clean.
  ip.out.begin_echo();
  ip.out.print_plain(prompt);
  ip.out.flush();
}

void show_echo(Interp& ip, std::string_view line) {
  ip.out.set_class(output::OutClass::Input);
  ip.out.print_plain(line);
  ip.out.print_markup("\n");
}

std::string_view strip_trailing(std::string_view s) {
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
    s.remove_suffix(1);
  return s;
}

// "#review [n1 [n2]]": the last n2 of the last n1 submitted lines.
void review_directive(Interp& ip, std::string_view args) {
  long n1 = 5, n2 = -1;
  std::string a(args);
  char* end = nullptr;
  const char* p = a.c_str();
  long v = std::strtol(p, &end, 10);
  if (end != p) {
    n1 = v;
    p = end;
    long w = std::strtol(p, &end, 10);
    if (end != p) n2 = w;
  }
  if (n1 < 0) n1 = 5;
  if (n1 > 100) n1 = 100;
  if (n2 < 1 || n2 > n1) n2 = n1;
  long have = static_cast<long>(ip.review.size());
  long first = have - n1 < 0 ? 0 : have - n1;
  long count = have - first;
  long skip = count - n2 < 0 ? 0 : count - n2;
  ip.out.set_class(output::OutClass::Text);
  for (long i = first + skip; i < have; ++i) {
    ip.out.printf_markup("%ld ", i + 1);
    ip.out.print_plain(ip.review[static_cast<size_t>(i)]);
    ip.out.print_markup("\n");
  }
}

// Handles a line that begins with "#"; `semicolon` is the do-file's
// delimiter state, null outside do-files.
void run_directive(Interp& ip, std::string_view line, bool* semicolon) {
  line = trim(line);
  line.remove_prefix(1);
  line = trim(line);
  size_t end = 0;
  while (end < line.size() && line[end] != ' ' && line[end] != '\t' && line[end] != ';') ++end;
  std::string_view word = line.substr(0, end);
  std::string_view args = trim(line.substr(end));
  auto abbrev = [&](std::string_view full) {
    return !word.empty() && word.size() <= full.size() && full.substr(0, word.size()) == word;
  };
  ip.out.set_class(output::OutClass::Text);
  if (semicolon && abbrev("delimit")) {
    *semicolon = args.substr(0, 1) == ";";
    ip.out.print_markup(*semicolon ? "delimiter now ;\n" : "delimiter now cr\n");
  } else if (abbrev("review")) {
    review_directive(ip, args);
  } else {
    ip.out.print_markup("Unknown #command\n");
  }
}

}  // namespace

bool LineSource::read(Interp& ip, std::string& line, std::string_view prompt) {
  if (pending_) {
    line = std::move(*pending_);
    pending_.reset();
    return true;
  }
  return read_raw(ip, line, prompt);
}

namespace {

void refresh_variables(Interp& ip) {
  if (!ip.ws->wants_variables()) return;
  std::vector<gui::VariableRow> rows;
  rows.reserve(static_cast<size_t>(ip.dataset.nvar()));
  for (int j = 1; j <= ip.dataset.nvar(); ++j)
    rows.push_back({ip.dataset.name(j), ip.dataset.label(j), data::type_name(ip.dataset.type(j))});
  ip.ws->show_variables(rows);
}

}  // namespace

bool WindowSource::read_raw(Interp& ip, std::string& line, std::string_view prompt) {
  gui::WindowSide* ws = ip.ws;
  ip.out.stream().restart_page();
  refresh_variables(ip);
  for (;;) {
    bool own_echo = ws->shows_own_echo();
    if (!own_echo) show_prompt(ip, prompt);
    ws->begin_line(prompt);
    std::string buf;
    bool silent = false;
    bool ended = false;
    for (;;) {
      int key = ws->read_key();
      if (key == gui::kKeyEndOfInput) {
        ended = true;
        break;
      }
      if (key == gui::kKeySilent) {
        silent = true;
      } else if (key == gui::kKeyEndOfLine) {
        break;
      } else if (key == gui::kKeyKillLine) {
        buf.clear();
      } else if (key >= gui::kKeyF1 && key < gui::kKeyF1 + 10) {
        // The key types the text of its macro; a text ending in ";"
        // submits the line.  A key without a macro types nothing.
        std::string name = "F" + std::to_string(key - gui::kKeyF1 + 1);
        const std::string* text = ip.macros.global(name);
        std::string_view t = text ? std::string_view(*text) : std::string_view();
        bool submit = !t.empty() && t.back() == ';';
        if (submit) t.remove_suffix(1);
        buf.append(t);
        if (submit) break;
        for (char c : buf) ws->append_char(static_cast<unsigned char>(c));
      } else if (key > 0 && key < 256) {
        buf.push_back(static_cast<char>(key));
      }
    }
    if (ended && buf.empty()) {
      return false;
    }
    std::string_view l = strip_trailing(buf);
    if (!silent) ip.out.logs().record_command(ip.out, l);
    if (!l.empty() && !silent) {
      ws->review_add(l);
      ip.review.emplace_back(l);
    }
    if (!silent && !own_echo) show_echo(ip, l);
    if (!trim(l).empty() && trim(l).front() == '#') {
      run_directive(ip, l, nullptr);
      if (ended) return false;
      continue;
    }
    line.assign(l);
    return true;
  }
}

FileSource::~FileSource() {
  if (file_) std::fclose(file_);
}

bool FileSource::physical_line(std::string& line) {
  line.clear();
  int c;
  bool any = false;
  while ((c = std::fgetc(file_)) != EOF) {
    any = true;
    if (c == '\n') break;
    line.push_back(static_cast<char>(c));
  }
  if (!any) return false;
  line.assign(strip_trailing(line));
  return true;
}

bool FileSource::read_raw(Interp& ip, std::string& line, std::string_view prompt) {
  for (;;) {
    if (echo_) show_prompt(ip, prompt);
    std::string phys;
    if (!carry_.empty()) {
      phys = std::move(carry_);
      carry_.clear();
    } else if (!physical_line(phys)) {
      return false;
    }
    if (echo_) show_echo(ip, phys);
    if (!trim(phys).empty() && trim(phys).front() == '#') {
      run_directive(ip, phys, &semicolon_);
      continue;
    }
    if (!semicolon_) {
      line = std::move(phys);
      return true;
    }
    // With ';' as the delimiter a command runs to the next ';' outside
    // quotes, across as many physical lines as it takes.
    std::string cmd;
    for (;;) {
      bool in_quote = false;
      size_t cut = std::string::npos;
      for (size_t i = 0; i < phys.size(); ++i) {
        if (phys[i] == '"') in_quote = !in_quote;
        if (phys[i] == ';' && !in_quote) {
          cut = i;
          break;
        }
      }
      if (cut != std::string::npos) {
        cmd += phys.substr(0, cut);
        carry_ = std::string(trim(std::string_view(phys).substr(cut + 1)));
        break;
      }
      cmd += phys;
      cmd += ' ';
      if (echo_) show_prompt(ip, "> ");
      if (!physical_line(phys)) break;
      if (echo_) show_echo(ip, phys);
    }
    line.assign(strip_trailing(cmd));
    return true;
  }
}

bool BlockSource::read_raw(Interp&, std::string& line, std::string_view) {
  if (next_ >= lines_->size()) return false;
  line = (*lines_)[next_++];
  return true;
}

SourceGuard::SourceGuard(Interp& ip, LineSource* src) : ip_(ip) { ip.sources.push_back(src); }
SourceGuard::~SourceGuard() { ip_.sources.pop_back(); }

bool next_command_line(Interp& ip, LineSource& src, std::string& line) {
  for (;;) {
    if (!src.read(ip, line, ". ")) return false;
    std::string_view t = trim(line);
    if (t.empty() || t.front() == '*') continue;
    line.assign(t);
    return true;
  }
}

}  // namespace nuvra
