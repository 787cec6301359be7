// Output and the session.  Text goes to the host in the style displayas()
// chose last (printf() uses it too); the stopwatches are the `timer`
// command's own, so Lumo code and do-files time on the same clocks.
#include "lumo/builtins_output.h"

#include <cmath>
#include <string>
#include <string_view>

#include "data/missing.h"
#include "lumo/builtin_args.h"
#include "lumo/machine_state.h"

namespace nuvra::lumo {

namespace {

using data::is_missing;

bool StringScalar(Machine& m, const ValueRecord* v, std::string* out) {
  if (!m.CheckMatrix(v) || !m.CheckString(v) || !m.CheckScalar(v)) return false;
  StringRef s = string_of(slots(v)[0]);
  out->assign(s.bytes, s.length);
  return true;
}

// A timer number from 1 to 100.
bool TimerArg(Machine& m, int n, int k, int* out) {
  double d;
  if (!BiRealScalar(m, BiArg(m, n, k), &d)) return false;
  if (!(d >= 1 && d <= 100 && d == std::floor(d))) return BiFail(m, 3300);
  *out = int(d);
  return true;
}

// Braces shown as themselves rather than read as tags.
std::string Escaped(std::string_view s) {
  std::string out;
  for (char c : s) {
    if (c == '{') out += "{c -(}";
    else if (c == '}') out += "{c )-}";
    else out += c;
  }
  return out;
}

}  // namespace

// display(s [, asis]): s and a new line, read as markup unless asis is
// nonzero, in the current output style.  A string vector or matrix shows
// one element a line.
void BiDisplay(Machine& m, int n) {
  ValueRecord* s = BiArg(m, n, 0);
  if (!m.CheckMatrix(s) || !m.CheckString(s)) return;
  double asis = 0;
  if (n == 2 && !BiRealScalar(m, BiArg(m, n, 1), &asis)) return;
  std::string text;
  for (int64_t k = 0; k < element_count(s); ++k) {
    StringRef r = string_of(slots(s)[k]);
    std::string_view line(r.bytes, r.length);
    text += asis != 0 ? Escaped(line) : std::string(line);
    text += '\n';
  }
  m.host().Print(m.state().style, text);
  BiReturnVoid(m, n);
}

// displayas(style): "result", "text", "error" or "input" (or "res",
// "txt", "err", "inp") for the output that follows.
void BiDisplayas(Machine& m, int n) {
  std::string s;
  if (!StringScalar(m, BiArg(m, n, 0), &s)) return;
  Style style;
  if (s == "result" || s == "res") style = Style::Result;
  else if (s == "text" || s == "txt") style = Style::Text;
  else if (s == "error" || s == "err") style = Style::Error;
  else if (s == "input" || s == "inp") style = Style::Input;
  else return (void)BiFail(m, 3300);
  m.state().style = style;
  BiReturnVoid(m, n);
}

// displayflush(): output already reaches the results window a line at a
// time; nothing is held back to flush.
void BiDisplayflush(Machine& m, int n) { BiReturnVoid(m, n); }

// timer_clear([t]): stopwatch t, or all of them, back to zero.
void BiTimerClear(Machine& m, int n) {
  int t = 0;
  if (n == 1 && !TimerArg(m, n, 0, &t)) return;
  m.host().TimerClear(t);
  BiReturnVoid(m, n);
}
void BiTimerOn(Machine& m, int n) {
  int t;
  if (!TimerArg(m, n, 0, &t)) return;
  m.host().TimerOn(t);
  BiReturnVoid(m, n);
}
void BiTimerOff(Machine& m, int n) {
  int t;
  if (!TimerArg(m, n, 0, &t)) return;
  m.host().TimerOff(t);
  BiReturnVoid(m, n);
}
// timer_value(t): (seconds, times started and stopped).
void BiTimerValue(Machine& m, int n) {
  int t;
  if (!TimerArg(m, n, 0, &t)) return;
  double secs, count;
  m.host().TimerValue(t, &secs, &count);
  ValueRecord* r = m.values().NewValue("", kReal, 1, 2);
  if (!r) return m.RaiseAllocation();
  reals(r)[0] = secs;
  reals(r)[1] = count;
  BiReturn(m, n, r);
}

// breakkey(): 1 when Break was pressed (with interruption off, code polls
// this itself); breakkeyreset() forgets the press.
void BiBreakkey(Machine& m, int n) { BiReturn(m, n, m.values().NewScalar(m.host().BreakPending())); }
void BiBreakkeyreset(Machine& m, int n) {
  m.host().BreakReset();
  BiReturnVoid(m, n);
}
// setbreakintr(onoff): whether Break stops the code; the previous setting.
void BiSetbreakintr(Machine& m, int n) {
  double d;
  if (!BiRealScalar(m, BiArg(m, n, 0), &d)) return;
  bool was = m.host().SetBreakInterrupts(d != 0);
  BiReturn(m, n, m.values().NewScalar(was));
}
void BiQuerybreakintr(Machine& m, int n) {
  Host& h = m.host();
  bool now = h.SetBreakInterrupts(true);
  h.SetBreakInterrupts(now);
  BiReturn(m, n, m.values().NewScalar(now));
}

// nuvraversion(): the interpretation version x 100; nuvrasetversion(v)
// sets it (the host refuses versions it cannot run).
void BiNuvraversion(Machine& m, int n) { BiReturn(m, n, m.values().NewScalar(m.host().Version())); }
void BiNuvrasetversion(Machine& m, int n) {
  double d;
  if (!BiRealScalar(m, BiArg(m, n, 0), &d)) return;
  if (is_missing(d) || d != std::floor(d) || d < 100) return (void)BiFail(m, 3300);
  if (rc_t rc = m.host().SetVersion(int(d))) return (void)BiFail(m, rc == 3598 ? 3300 : rc);
  BiReturnVoid(m, n);
}
void BiCallersversion(Machine& m, int n) { BiReturn(m, n, m.values().NewScalar(m.host().CallerVersion())); }

// c(name): the system value, a real or a string scalar; `.` for a name
// that is none.
void BiCvalue(Machine& m, int n) {
  std::string name;
  if (!StringScalar(m, BiArg(m, n, 0), &name)) return;
  bool is_string = false;
  double num = data::kMissing;
  std::string text;
  if (!m.host().GetCValue(name, &is_string, &num, &text)) is_string = false, num = data::kMissing;
  if (!is_string) return BiReturn(m, n, m.values().NewScalar(num));
  BiReturnString(m, n, text);
}

}  // namespace nuvra::lumo
