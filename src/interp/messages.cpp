#include "interp/messages.h"

#include "interp/interp.h"
#include "output/output.h"

namespace nuvra {

// Each message switches to its class and puts the caller's back, so a
// failing command's later output keeps the colour it asked for.

rc_t rc_message(output::Output& out, rc_t code, const RcLimits& limits) {
  RcMessage m = rc_message_text(code, limits);
  if (!m.text.empty()) {
    output::ClassScope cls(out, m.note ? output::OutClass::Text : output::OutClass::Error);
    out.print_markup(m.text);
  }
  return m.code;
}

rc_t msg_quoting(output::Output& out, std::string_view before, std::string_view user,
                 std::string_view after, rc_t code) {
  output::ClassScope cls(out, output::OutClass::Error);
  if (!before.empty()) out.print_markup(before);
  if (!user.empty()) out.print_plain(user);
  if (!after.empty()) out.print_markup(after);
  return code;
}

rc_t msg_invalid(output::Output& out, std::string_view what) {
  return msg_quoting(out, "invalid ", what, "\n", 198);
}
rc_t msg_required(output::Output& out, std::string_view what) {
  return msg_quoting(out, "", what, " required\n", 100);
}
rc_t msg_already_defined(output::Output& out, std::string_view what) {
  return msg_quoting(out, "", what, " already defined\n", 110);
}
rc_t msg_ambiguous(output::Output& out, std::string_view what) {
  return msg_quoting(out, "", what, " ambiguous abbreviation\n", 111);
}
rc_t msg_not_found(output::Output& out, std::string_view what) {
  return msg_quoting(out, "", what, " not found\n", 111);
}
rc_t msg_brace_line(output::Output& out, bool open) {
  return msg_quoting(out,
                     open ? "program error:  code follows on the same line as open brace\n"
                          : "program error:  code follows on the same line as close brace\n",
                     "", "", 198);
}
rc_t msg_not_available(output::Output& out, std::string_view command) {
  return msg_quoting(out, "command ", command, " not yet available\n", 199);
}

rc_t rc_message(Interp& ip, rc_t code) {
  return rc_message(ip.out, code, RcLimits{ip.matsize, ip.maxvar});
}
rc_t msg_invalid(Interp& ip, std::string_view what) { return msg_invalid(ip.out, what); }
rc_t msg_required(Interp& ip, std::string_view what) { return msg_required(ip.out, what); }
rc_t msg_already_defined(Interp& ip, std::string_view what) {
  return msg_already_defined(ip.out, what);
}
rc_t msg_ambiguous(Interp& ip, std::string_view what) { return msg_ambiguous(ip.out, what); }
rc_t msg_not_found(Interp& ip, std::string_view what) { return msg_not_found(ip.out, what); }
rc_t msg_brace_line(Interp& ip, bool open) { return msg_brace_line(ip.out, open); }
rc_t msg_not_available(Interp& ip, std::string_view command) {
  return msg_not_available(ip.out, command);
}

}  // namespace nuvra
