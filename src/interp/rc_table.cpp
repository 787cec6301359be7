#include "interp/rc_table.h"

#include <algorithm>
#include <array>
#include <cstdint>

namespace nuvra {
namespace {

// How an entry's text is finished beyond its fixed part.
enum class Extra : uint8_t {
  None,
  Note,        // shown in the text class, returns 0
  Matsize146,  // "(matsize too small)" and advice unless matsize is at its ceiling
  Room900,     // memory-limit explanations, quoting maxvar or matsize
  Room901,
  Room902,
  Matsize908,
  Width1010,
};

constexpr rc_t kSame = -1;

struct Entry {
  rc_t lo, hi;       // inclusive range of codes sharing the text
  const char* text;  // fixed part of the message
  rc_t maps_to;      // kSame, or the code returned instead
  Extra extra;
};

constexpr Entry E(rc_t code, const char* text, rc_t maps_to = kSame, Extra extra = Extra::None) {
  return Entry{code, code, text, maps_to, extra};
}
constexpr Entry R(rc_t lo, rc_t hi, const char* text) { return Entry{lo, hi, text, kSame, Extra::None}; }
constexpr Entry X(rc_t code, const char* text, Extra extra) { return Entry{code, code, text, kSame, extra}; }

// Sorted by code, ranges never overlapping (checked below at compile time).
constexpr Entry kTable[] = {
    E(2, "connection timed out -- see help {help r(2)} for troubleshooting\n"),
    E(3, "no dataset in use\n"),
    E(4, "no; data in memory would be lost\n"),
    E(5, "not sorted\n"),
    E(18, "you must start with an empty dataset\n"),
    E(102, "too few variables specified\n"),
    E(103, "too many variables specified\n"),
    E(104, "nothing to input\n"),
    E(107, "not possible with numeric variable\n"),
    E(108, "not possible with string variable\n"),
    E(109, "type mismatch\n"),
    E(111, "no variables defined\n"),
    E(119, "statement out of context\n"),
    E(120, "invalid %format\n"),
    E(121, "invalid numlist\n"),
    E(122, "invalid numlist has too few elements\n"),
    E(123, "invalid numlist has too many elements\n"),
    E(124, "invalid numlist has elements out of order\n"),
    E(125, "invalid numlist has elements outside of allowed range\n"),
    E(126, "invalid numlist has noninteger elements\n"),
    E(127, "invalid numlist has missing values\n"),
    E(130, "expression too long\n"),
    E(131, "not possible with test\n"),
    E(134, "too many values\n"),
    E(135, "not possible with weighted data\n"),
    E(140, "repeated categorical variable in term\n"),
    E(141, "repeated term\n"),
    E(142, "attempt to classify extraneous variable\n"),
    E(143, "variable left unclassified\n"),
    E(144, "variable classified inconsistently\n"),
    E(145, "term contains more than 8 variables\n"),
    X(146, "too many variables or values", Extra::Matsize146),
    E(147, "term not in model\n"),
    E(148, "too few categories\n"),
    E(149, "too many categories\n"),
    E(151, "non r-class program may not set r()\n"),
    E(152, "non e-class program may not set e()\n"),
    E(153, "non s-class program may not set s()\n"),
    E(161, "ado-file has commands outside of program define ... end\n"),
    E(162, "ado-file does not define command\n"),
    E(171, "factor-variable term could not be expanded\n"),
    E(172, "factor-variable base level not found\n"),
    E(173, "factor-variable levels changed since the term was expanded\n"),
    E(175, "factor-variable and time-series operators may not be combined\n"),
    E(176, "time-series operators not allowed on factor variables\n"),
    E(181, "only one of these options may be specified\n"),
    E(184, "may not be combined\n"),
    E(190, "request may not be combined with by\n"),
    E(191, "request may not be combined with by() option\n"),
    E(196, "could not restore sort order because variables were dropped\n"),
    R(197, 198, "invalid syntax\n"),
    E(199, "unrecognized command\n"),
    E(301, "last estimates not found\n"),
    E(302, "last test not found\n"),
    R(304, 305, "ml model not found\n"),
    E(310, "not possible because object in use\n"),
    E(321, "requested action not valid after most recent estimation command\n"),
    E(322, "something that should be true of your estimation results is not\n"),
    E(401, "may not use noninteger frequency weights\n"),
    E(402, "negative weights encountered\n"),
    E(403, "weights must be constant within group\n"),
    E(404, "not possible with pweighted data\n"),
    E(406, "not possible with analytic weights\n"),
    E(407, "zero weights encountered\n"),
    E(411, "nonpositive values encountered\n"),
    E(412, "value outside of allowed range\n"),
    E(421, "could not determine error term\n"),
    E(422, "could not determine repeated-measures unit\n"),
    E(430, "convergence not achieved\n"),
    E(450, "variable must take on only the values 0 and 1\n"),
    E(451, "invalid values for time variable\n"),
    E(459, "something that should be true of your data is not\n"),
    E(460, "data not declared as this command requires\n"),
    E(461, "too few observations for this command\n"),
    E(462, "data contain gaps\n"),
    E(463, "observations not in the required order\n"),
    E(464, "panel variable not set\n"),
    E(465, "time variable not set\n"),
    E(466, "repeated time values within panel\n"),
    E(467, "variable does not vary\n"),
    E(471, "estimation sample invalid\n"),
    E(481, "model not identified\n"),
    E(501, "matrix operation not found\n"),
    E(503, "conformability error\n"),
    E(504, "matrix has missing values\n"),
    E(505, "matrix not symmetric\n"),
    E(506, "matrix not positive definite\n"),
    E(507, "name conflict\n"),
    E(508, "matrix has zero values\n"),
    E(509, "matrix operators that return matrices not allowed in this context\n"),
    E(550, "invalid matrix stripe\n"),
    E(604, "log file already open\n"),
    E(606, "no log file open\n"),
    E(607, "no cmdlog file open\n"),
    E(611, "record too long\n"),
    E(612, "unexpected end of file\n"),
    E(613, "file does not contain dictionary\n"),
    E(614, "dictionary invalid\n"),
    E(615, "could not determine the delimiter of the file\n"),
    E(616, "wrong number of values in record\n"),
    E(621, "already preserved\n"),
    E(622, "nothing to restore\n"),
    E(631, "host not found\n"),
    R(632, 633, "web file not allowed in this context\n"),
    E(634, "request to send query failed\n"),
    E(635, "server did not answer the request\n"),
    E(636, "file transmission interrupted\n"),
    E(637, "unexpected end of transmission\n"),
    E(638, "too many redirections\n"),
    E(639, "file transmission error (checksums do not match)\n"),
    E(640, "package file too long\n"),
    E(641, "package file invalid\n"),
    E(651, "may not seek past end of file\n"),
    E(660, "proxy host not found\n"),
    E(661, "host not found by proxy\n"),
    E(662, "proxy server refused request to send\n"),
    E(663, "remote connection to proxy failed\n"),
    E(664, "connection to proxy timed out\n"),
    E(665, "could not set socket nonblocking\n"),
    E(666, "could not set socket blocking\n"),
    R(667, 668, "operating system refused network request\n"),
    E(669, "invalid URL\n"),
    E(670, "invalid network port number\n"),
    E(671, "unknown network protocol\n"),
    E(672, "server refused to send file\n"),
    E(673, "authorization required by server\n"),
    E(674, "unexpected response from server\n"),
    E(675, "server reported server error\n"),
    E(676, "server refused to accept file\n"),
    E(677, "remote connection failed\n"),
    E(678, "could not open local network socket\n"),
    E(679, "unexpected web error\n"),
    E(680, "could not communicate with ODBC driver manager\n"),
    E(681, "too many open ODBC connections\n"),
    E(682, "could not connect to ODBC data source\n"),
    E(683, "could not fetch variable in ODBC table\n"),
    E(691, "I/O error\n"),
    E(694, "could not rename file\n"),
    E(695, "could not copy file\n"),
    E(702, "operating system refused to start new process\n"),
    E(703, "operating system refused to open pipe\n"),
    X(900, "no room to add more variables\n", Extra::Room900),
    X(901, "no room to add more observations\n", Extra::Room901),
    X(902, "no room to add more variables because of width\n", Extra::Room902),
    X(903, "no room to promote variable (e.g., change int to float) because of width\n",
      Extra::Room902),
    X(908, "matsize too small\n", Extra::Matsize908),
    E(909, "operating system refused to provide memory\n"),
    E(910, "value too small\n"),
    E(912, "value too large\n"),
    E(913, "operating system refused to allocate the data area\n"),
    E(914, "could not open a temporary file\n"),
    E(920, "too many macros\n"),
    E(1000, "system limit exceeded - see manual\n"),
    E(1001, "too many values\n"),
    E(1002, "too many by variables\n"),
    E(1003, "too many options\n"),
    E(1004, "command too long\n"),
    X(1010, "system limit exceeded -- width shortage\n", Extra::Width1010),
    E(1400, "numerical overflow\n"),
    E(2000, "no observations\n", 0),
    E(2001, "insufficient observations\n"),
    E(3000, "Lumo compile-time error\n"),
    // The class system's own failures.
    E(4000, "class system:  unexpected failure\n"),
    E(4001, "class not found\n"),
    E(4002, "class file could not be read\n"),
    E(4003, "class already defined\n"),
    E(4004, "invalid class name\n"),
    E(4005, "invalid attribute name\n"),
    E(4006, "object has an invalid type code\n"),
    E(4007, "attribute already declared\n"),
    E(4008, "member program not found\n"),
    E(4009, "may not use reference option when source class is a super class\n"),
    E(4010, "may not assign instances of incompatible classes\n"),
    E(4011, "= assignment of a reference is not allowed\n"),
    E(4012, "dotted name does not resolve to an object\n"),
    E(4013, "object is not an array\n"),
    E(4014, "object is not a class instance\n"),
    E(4015, "array index out of range\n"),
    E(4016, "invalid array index\n"),
    E(4017, "object key not found\n"),
    E(4018, "class declaration failed\n"),
    E(4019, "superclass not found\n"),
    E(4020, "class may not inherit from itself\n"),
    E(4021, "attribute type mismatch\n"),
    E(4022, "attribute is not a double\n"),
    E(4023, "attribute is not a string\n"),
    E(4024, "attribute is not a member program\n"),
    E(4025, "member program may not be assigned\n"),
    E(4026, "built-in member may not be assigned\n"),
    E(4027, "built-in member not allowed on this object\n"),
    E(4028, "too many arguments to member program\n"),
    E(4029, "dynamic attribute already declared\n"),
    E(4030, "class-wide attribute may not be declared on an instance\n"),
    E(4031, "instance could not be created\n"),
    E(4032, "context not found\n"),
    E(4033, "no active context\n"),
    E(4034, "object in use; may not be freed\n"),
    E(4035, "undo log not found\n"),
    E(4036, "undo log invalid\n"),
    E(4037, "nothing to undo\n"),
    E(4038, "style not found\n"),
    E(4039, "scheme not found\n"),
    E(4040, "invalid attribute type\n"),
    E(4041, "invalid initial value\n"),
    E(4042, "class file ended inside a declaration\n"),
    E(4043, "statement not allowed in class file\n"),
    E(4044, "object name too long\n"),
    E(4045, "object store full\n"),
    E(4046, "invalid object key\n"),
    E(4047, "array node invalid\n"),
    E(4048, "classtype invalid\n"),
    E(4049, "prototype invalid\n"),
    E(4050, "too many superclasses\n"),
    E(4051, "member name ambiguous among superclasses\n"),
    E(4052, "object store corrupt\n"),
    E(4099, "class system failure\n"),
    E(5101, "iweights not allowed with robust\n", 101),
    E(6101, "time-series operators not allowed\n", 101),
    E(7196, "invalid attempt to modify label\n", 180),
    E(7197, "invalid file specification\n", 198),
    E(7198, "multiple by's not allowed\n", 198),
    Entry{8001, 8001, "irrelevant under Unix\n", 0, Extra::Note},
    Entry{8002, 8002, "request ignored because of batch mode\n", 0, Extra::Note},
    Entry{8005, 8005, "note: not possible in Nuvra(console)\n", 0, Extra::Note},
    E(9196, "internal error:  unexpected state; please report\n"),
};

constexpr bool table_is_ordered() {
  for (size_t i = 0; i < std::size(kTable); ++i) {
    if (kTable[i].lo > kTable[i].hi) return false;
    if (i > 0 && kTable[i - 1].hi >= kTable[i].lo) return false;
  }
  return true;
}
static_assert(table_is_ordered(), "return-code table must be sorted and free of overlaps");

// matsize cannot be set above this, so advising to raise it is pointless.
constexpr int kMatsizeCeiling = 11000;

const Entry* find(rc_t code) {
  auto it = std::upper_bound(std::begin(kTable), std::end(kTable), code,
                             [](rc_t c, const Entry& e) { return c < e.lo; });
  if (it == std::begin(kTable)) return nullptr;
  --it;
  return code <= it->hi ? &*it : nullptr;
}

// The explanations below are paragraphs: the opening one indented, each
// numbered alternative its own hanging paragraph; starting the next
// paragraph ends the previous one with a blank line, and {p_end} closes the
// last without one.
constexpr const char* kOpen = "{p 4 4}\n";
constexpr const char* kAlt = "{p 5 9}\n";
constexpr const char* kClose = "{p_end}\n";

void room_900(std::string& s, const RcLimits& lim) {
  s += kOpen;
  s += "An attempt was made to add a variable that would have\n";
  s += "resulted in more than\n";
  s += std::to_string(lim.maxvar) + "\n";
  s += "or\n";
  s += std::to_string(lim.maxvar - 1) + "\n";
  s += "variables (Nuvra reserves one variable for its own use).\n";
  s += "You have the following alternatives:\n";
  s += kAlt;
  s += "1.  Drop some variables; see help {help drop}.\n";
  s += kAlt;
  s += "2.  If you are using Nuvra/MP, increase maxvar;\n";
  s += "see help {help maxvar}.\n";
  s += kClose;
}

void room_901(std::string& s) {
  s += kOpen;
  s += "An attempt was made to increase the number of\n";
  s += "observations beyond what is currently possible.\n";
  s += "You have the following alternatives:\n";
  s += kAlt;
  s += "1.  Store your variables more efficiently;\n";
  s += "see help {help compress}.\n";
  s += "(Think of Nuvra's data area as the area of a rectangle;\n";
  s += "Nuvra can trade off width and length.)\n";
  s += kAlt;
  s += "2.  Drop some variables or observations;\n";
  s += "see help {help drop}.\n";
  s += kAlt;
  s += "3.  Increase the amount of memory allocated to the\n";
  s += "data area using the {cmd:set memory} command;\n";
  s += "see help {help memory}.\n";
  s += kClose;
}

void room_902(std::string& s) {
  s += kOpen;
  s += "An attempt was made to add a variable that would have increased\n";
  s += "the memory required to store an observation beyond\n";
  s += "what is currently possible.\n";
  s += "You have the following alternatives:\n";
  s += kAlt;
  s += "1.  Store existing variables more efficiently;\n";
  s += "see help {help compress}.\n";
  s += kAlt;
  s += "2.  Drop some variables or observations;\n";
  s += "see help {help drop}.\n";
  s += "(Think of Nuvra's data area as the area of a rectangle;\n";
  s += "Nuvra can trade off width and length.)\n";
  s += kAlt;
  s += "3.  Increase the amount of memory allocated to the\n";
  s += "data area using the {cmd:set memory} command;\n";
  s += "see help {help memory}.\n";
  s += kClose;
}

void matsize_908(std::string& s, const RcLimits& lim) {
  s += kOpen;
  s += "You have attempted to create a matrix, or to fit a model,\n";
  s += "that needs more rows or columns than the current matsize of\n";
  s += std::to_string(lim.matsize) + "\n";
  s += "allows; a model needs two rows beyond its regressors.\n";
  if (lim.matsize < kMatsizeCeiling) {
    s += "You can increase matsize using the\n";
    s += "{cmd:set matsize} command; see help {help matsize}.\n";
  }
  s += kClose;
}

void width_1010(std::string& s, const RcLimits& lim) {
  s += kOpen;
  s += "An attempt was made to add a variable that would have increased\n";
  s += " the memory required to store an observation beyond\n";
  s += std::to_string(12LL * lim.maxvar) + "\n";
  s += " bytes, the maximum width allowed.\n";
  s += "You have the following alternatives:\n";
  s += kAlt;
  s += "1.  Store existing variables more efficiently;\n";
  s += "see help {help compress}.\n";
  s += kAlt;
  s += "2.  Drop some variables; see help {help drop}.\n";
  s += kAlt;
  s += "3.  If you are using Nuvra/MP, increase the maximum width\n";
  s += "by increasing maxvar;\n";
  s += "see help {help maxvar}.\n";
  s += "The maximum width is set to 12*maxvar.\n";
  s += kClose;
}

}  // namespace

RcMessage rc_message_text(rc_t code, const RcLimits& limits) {
  RcMessage m;
  m.code = code;
  if (code == kOk || code == kBreak) return m;

  if (const Entry* e = find(code)) {
    m.text = e->text;
    if (e->maps_to != kSame) m.code = e->maps_to;
    switch (e->extra) {
      case Extra::None: break;
      case Extra::Note: m.note = true; break;
      case Extra::Matsize146:
        if (limits.matsize < kMatsizeCeiling) {
          m.text += " (matsize too small)\n";
          m.text += kOpen;
          m.text += "You can increase matsize using the\n";
          m.text += "{cmd:set matsize} command; see help {help matsize}.\n";
          m.text += kClose;
        } else {
          m.text += "\n";
        }
        break;
      case Extra::Room900: room_900(m.text, limits); break;
      case Extra::Room901: room_901(m.text); break;
      case Extra::Room902: room_902(m.text); break;
      case Extra::Matsize908: matsize_908(m.text, limits); break;
      case Extra::Width1010: width_1010(m.text, limits); break;
    }
  }
  if (code >= 3001 && code <= 3999) m.text += "Lumo run-time error\n";
  return m;
}

}  // namespace nuvra
