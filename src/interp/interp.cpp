#include "interp/interp.h"

#include <sys/time.h>

#include <cstdio>
#include <ctime>
#include <new>
#include <thread>

#include "data/format.h"
#include "data/functions/leapseconds.h"
#include "interp/blocks.h"
#include "interp/creturn.h"
#include "interp/expand.h"
#include "interp/line_source.h"
#include "interp/messages.h"
#include "data/names.h"
#include "interp/runner.h"

namespace nuvra {

namespace {

int sink_trampoline(void* arg, const uint8_t* rec, int kind) {
  auto* ip = static_cast<Interp*>(arg);
  try {
    return ip->ws->sink(rec, kind);
  } catch (const std::bad_alloc&) {
    ++ip->output_lines_lost;
    return 0;
  }
}

// Saves the command buffer, reader position and command token of the
// command that runs a nested line, and puts them back afterwards.
class CommandState {
 public:
  explicit CommandState(Interp& ip)
      : ip_(ip),
        buf_(std::move(ip.cmdbuf)),
        pos_(ip.reader.pos()),
        token_(std::move(ip.token)),
        name_(std::move(ip.command_name)),
        expanded_(ip.line_was_expanded) {}
  ~CommandState() {
    ip_.cmdbuf = std::move(buf_);
    ip_.reader.attach(&ip_.cmdbuf, pos_);
    ip_.token = std::move(token_);
    ip_.command_name = std::move(name_);
    ip_.line_was_expanded = expanded_;
  }

 private:
  Interp& ip_;
  std::string buf_;
  size_t pos_;
  std::string token_;
  std::string name_;
  bool expanded_;
};

}  // namespace

void SessionClock::wait(std::chrono::steady_clock::duration d) { std::this_thread::sleep_for(d); }

int executable_build_date() {
#ifdef NUVRA_BUILD_DATE
  return NUVRA_BUILD_DATE;
#else
  return 20261206;
#endif
}

namespace {

// The leap-second table is read along the search path the first time a
// leap-second clock needs it; its messages go to this interpreter.
void load_leap_seconds(void* ctx, dates::LeapTable* table) {
  Interp& ip = *static_cast<Interp*>(ctx);
  std::string path;
  if (!find_file_along_path(ip, "leapseconds.maint", 1, &path)) path.clear();
  dates::read_leap_file(
      path, table,
      [](void* c, const char* text) { msg_quoting(static_cast<Interp*>(c)->out, text, "", "", 0); }, &ip);
}

}  // namespace

Interp::Interp(gui::WindowSide* window_side) : ws(window_side) {
  dates::set_leap_loader(load_leap_seconds, this);
  // Every session starts with the period as the decimal point.
  data::set_decimal_comma(false);
  out.stream().set_width(linesize);
  if (ws) out.stream().set_sink(sink_trampoline, this);
  out.stream().set_page_length(pagesize);
  // {ccl name} shows c(name).
  out.stream().set_ccl_hook([this](std::string_view name) { return c_text(*this, name); });
  // "q" at the more prompt stops the running command as a Break would.
  out.stream().set_break_hook([](void* self) { static_cast<Interp*>(self)->break_request = true; }, this);
}

Interp::~Interp() {
  dates::clear_leap_loader(this);
  for (const auto& frame : temp_files)
    for (const std::string& f : frame) std::remove(f.c_str());
}

bool Interp::poll_break() {
  // Every loop that answers Break passes here, so this is also where the
  // windows get their events handled while a long command runs.
  if (ws) {
    ws->process_events();
    if (ws->take_break()) break_request = true;
  }
  return break_request && break_allowed;
}

rc_t Interp::execute_line(std::string_view line) {
  CommandState saved(*this);
  if (line.size() >= kCommandLengthLimit) return rc_message(*this, 1004);
  // Reading and expanding the line change nothing a failure must undo: the
  // saved command state is put back however this returns.
  try {
    cmdbuf.assign(line);
    reader.attach(&cmdbuf, 0);
    line_was_expanded = false;
    bool tracing = trace && frame_depth > 0 && frame_depth <= tracedepth && exec_flag;
    if (tracing) trace_line('-', line);
    if (!starts_loop(cmdbuf)) {
      if (rc_t rc = expand_macros(*this, cmdbuf)) return rc;
      line_was_expanded = exec_flag;
      if (tracing && cmdbuf != trim(line)) trace_line('=', cmdbuf);
    }
    reader.attach(&cmdbuf, 0);
    token.assign(reader.next());
  } catch (const std::bad_alloc&) {
    return rc_message(*this, 909);
  }
  return dispatch();
}

void Interp::trace_line(char mark, std::string_view text) {
  output::ClassScope text_class(out, output::OutClass::Text);
  for (int k = 1; k < frame_depth; ++k) out.print_markup("  ");
  char head[3] = {mark, ' ', 0};
  out.print_markup(head);
  out.print_plain(trim(text));
  out.print_markup("\n");
}

rc_t Interp::execute_top_level(std::string_view line) {
  ws->busy(true);
  break_request = false;
  exit_request = false;
  command_start = std::chrono::steady_clock::now();
  rc_t rc = execute_line(line);
  last_rc = rc;
  if (exit_request) {
    ws->busy(false);
    return rc;
  }
  end_of_command_report(rc);
  ws->busy(false);
  return rc;
}

void Interp::end_of_command_report(rc_t rc) {
  int saved = out.threshold();
  out.set_threshold(output::kShowAll);
  double elapsed = 0;
  if (rmsg) {
    elapsed =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - command_start).count();
  }
  if (rc == 0 && rmsg) {
    out.set_class(output::OutClass::Text);
    out.print_markup("r;");
  }
  if (rc == kBreak) {
    out.set_class(output::OutClass::Error);
    out.print_markup("\n{hline 2}Break{hline 2}\n");
  }
  if (rc != 0) {
    out.set_class(output::OutClass::Text);
    out.printf_markup("\n{search r(%d):r(%d);}", rc, rc);
    if (!rmsg) out.print_markup("\n");
  }
  if (rmsg) {
    long hundredths = static_cast<long>(elapsed * 100.0);
    std::time_t now = std::time(nullptr);
    std::tm tm{};
    localtime_r(&now, &tm);
    out.printf_markup(" t=%ld.%02ld %d:%02d:%02d\n", hundredths / 100, hundredths % 100, tm.tm_hour,
                      tm.tm_min, tm.tm_sec);
    last_elapsed = static_cast<double>(hundredths) / 100.0;
  }
  out.set_class(output::OutClass::Text);
  out.set_threshold(saved);
}

}  // namespace nuvra
