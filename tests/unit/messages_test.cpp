// The return-code table and the shared message routines.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "interp/messages.h"
#include "interp/rc_table.h"
#include "output/nmcl_stream.h"
#include "output/output.h"

namespace nuvra {
namespace {

struct Fixed {
  rc_t code;
  const char* text;
  rc_t returns;
};

// Message texts as the reference tabulates them, typed in by hand.
TEST(RcTable, TabulatedCodesPrintTheirTextAndReturnTheirCode) {
  const Fixed cases[] = {
      {2, "connection timed out -- see help {help r(2)} for troubleshooting\n", 2},
      {3, "no dataset in use\n", 3},
      {4, "no; data in memory would be lost\n", 4},
      {5, "not sorted\n", 5},
      {18, "you must start with an empty dataset\n", 18},
      {104, "nothing to input\n", 104},
      {109, "type mismatch\n", 109},
      {111, "no variables defined\n", 111},
      {119, "statement out of context\n", 119},
      {120, "invalid %format\n", 120},
      {121, "invalid numlist\n", 121},
      {130, "expression too long\n", 130},
      {131, "not possible with test\n", 131},
      {134, "too many values\n", 134},
      {1001, "too many values\n", 1001},
      {135, "not possible with weighted data\n", 135},
      {147, "term not in model\n", 147},
      {161, "ado-file has commands outside of program define ... end\n", 161},
      {162, "ado-file does not define command\n", 162},
      {184, "may not be combined\n", 184},
      {190, "request may not be combined with by\n", 190},
      {197, "invalid syntax\n", 197},
      {198, "invalid syntax\n", 198},
      {199, "unrecognized command\n", 199},
      {301, "last estimates not found\n", 301},
      {302, "last test not found\n", 302},
      {304, "ml model not found\n", 304},
      {305, "ml model not found\n", 305},
      {459, "something that should be true of your data is not\n", 459},
      {503, "conformability error\n", 503},
      {550, "invalid matrix stripe\n", 550},
      {604, "log file already open\n", 604},
      {606, "no log file open\n", 606},
      {621, "already preserved\n", 621},
      {622, "nothing to restore\n", 622},
      {691, "I/O error\n", 691},
      {920, "too many macros\n", 920},
      {1000, "system limit exceeded - see manual\n", 1000},
      {1002, "too many by variables\n", 1002},
      {1003, "too many options\n", 1003},
      {1004, "command too long\n", 1004},
      {1400, "numerical overflow\n", 1400},
      {3000, "Lumo compile-time error\n", 3000},
  };
  for (const Fixed& c : cases) {
    RcMessage m = rc_message_text(c.code);
    EXPECT_EQ(m.text, c.text) << "code " << c.code;
    EXPECT_EQ(m.code, c.returns) << "code " << c.code;
    EXPECT_FALSE(m.note) << "code " << c.code;
  }
}

TEST(RcTable, PairedAndNumberedMessages) {
  const Fixed cases[] = {
      {102, "too few variables specified\n", 102},
      {103, "too many variables specified\n", 103},
      {107, "not possible with numeric variable\n", 107},
      {108, "not possible with string variable\n", 108},
      {122, "invalid numlist has too few elements\n", 122},
      {123, "invalid numlist has too many elements\n", 123},
      {124, "invalid numlist has elements out of order\n", 124},
      {125, "invalid numlist has elements outside of allowed range\n", 125},
      {126, "invalid numlist has noninteger elements\n", 126},
      {127, "invalid numlist has missing values\n", 127},
      {140, "repeated categorical variable in term\n", 140},
      {141, "repeated term\n", 141},
      {142, "attempt to classify extraneous variable\n", 142},
      {143, "variable left unclassified\n", 143},
      {144, "variable classified inconsistently\n", 144},
      {145, "term contains more than 8 variables\n", 145},
      {148, "too few categories\n", 148},
      {149, "too many categories\n", 149},
      {151, "non r-class program may not set r()\n", 151},
      {152, "non e-class program may not set e()\n", 152},
      {153, "non s-class program may not set s()\n", 153},
      {611, "record too long\n", 611},
      {612, "unexpected end of file\n", 612},
      {613, "file does not contain dictionary\n", 613},
      {614, "dictionary invalid\n", 614},
  };
  for (const Fixed& c : cases) {
    RcMessage m = rc_message_text(c.code);
    EXPECT_EQ(m.text, c.text) << "code " << c.code;
    EXPECT_EQ(m.code, c.returns) << "code " << c.code;
  }
}

TEST(RcTable, CodesThatPrintAndReturnAnotherCode) {
  const Fixed cases[] = {
      {2000, "no observations\n", 0},
      {5101, "iweights not allowed with robust\n", 101},
      {6101, "time-series operators not allowed\n", 101},
      {7196, "invalid attempt to modify label\n", 180},
      {7197, "invalid file specification\n", 198},
      {7198, "multiple by's not allowed\n", 198},
  };
  for (const Fixed& c : cases) {
    RcMessage m = rc_message_text(c.code);
    EXPECT_EQ(m.text, c.text) << "code " << c.code;
    EXPECT_EQ(m.code, c.returns) << "code " << c.code;
    EXPECT_FALSE(m.note) << "code " << c.code;
  }
}

TEST(RcTable, NotesGoToTheTextClassAndSucceed) {
  const Fixed cases[] = {
      {8001, "irrelevant under Unix\n", 0},
      {8002, "request ignored because of batch mode\n", 0},
      {8005, "note: not possible in Nuvra(console)\n", 0},
  };
  for (const Fixed& c : cases) {
    RcMessage m = rc_message_text(c.code);
    EXPECT_EQ(m.text, c.text) << "code " << c.code;
    EXPECT_EQ(m.code, 0) << "code " << c.code;
    EXPECT_TRUE(m.note) << "code " << c.code;
  }
  // Neighbouring codes are not notes and print nothing.
  for (rc_t code : {8000, 8003, 8004, 8006}) {
    RcMessage m = rc_message_text(code);
    EXPECT_EQ(m.text, "") << "code " << code;
    EXPECT_EQ(m.code, code);
  }
}

TEST(RcTable, SuccessBreakAndUnlistedCodesPrintNothing) {
  for (rc_t code : {0, 1, -1, -198, 6, 17, 100, 101, 106, 110, 112, 118, 128, 132, 150, 154, 170,
                    174, 177, 180, 185, 189, 192, 200, 303, 306, 405, 408, 600, 601, 602, 603,
                    605, 608, 610, 617, 630, 642, 650, 659, 684, 692, 699, 701, 704, 904, 907,
                    911, 915, 1005, 1011, 2002, 4053, 4098, 4100, 5100, 7199, 9195, 9197,
                    10000}) {
    RcMessage m = rc_message_text(code);
    EXPECT_EQ(m.text, "") << "code " << code;
    EXPECT_EQ(m.code, code) << "code " << code;
    EXPECT_FALSE(m.note) << "code " << code;
  }
}

TEST(RcTable, EveryCodeWithItsOwnMessageHasOne) {
  std::vector<rc_t> codes = {147, 148, 149, 171, 172, 173, 175, 176, 181, 190, 191, 196, 304,
                             305, 310, 321, 322, 401, 402, 403, 404, 406, 407, 411, 412, 421,
                             422, 430, 450, 451, 459, 471, 481, 501, 503, 550, 604, 606, 607,
                             615, 616, 621, 622, 651, 691, 694, 695, 702, 703, 902, 903, 908,
                             909, 910, 912, 913, 914, 1010, 2001, 4099, 9196};
  for (rc_t c = 460; c <= 467; ++c) codes.push_back(c);
  for (rc_t c = 504; c <= 509; ++c) codes.push_back(c);
  for (rc_t c = 631; c <= 641; ++c) codes.push_back(c);
  for (rc_t c = 660; c <= 683; ++c) codes.push_back(c);
  for (rc_t c = 4000; c <= 4052; ++c) codes.push_back(c);
  for (rc_t code : codes) {
    RcMessage m = rc_message_text(code);
    ASSERT_FALSE(m.text.empty()) << "code " << code;
    EXPECT_EQ(m.text.back(), '\n') << "code " << code;
    EXPECT_EQ(m.code, code) << "code " << code;
    EXPECT_FALSE(m.note) << "code " << code;
  }
}

TEST(RcTable, LumoRunTimeErrorsCarryTheSuffix) {
  for (rc_t code : {3001, 3200, 3498, 3999}) {
    RcMessage m = rc_message_text(code);
    EXPECT_EQ(m.text, "Lumo run-time error\n") << "code " << code;
    EXPECT_EQ(m.code, code);
  }
  // The compile-time code and the codes either side of the range do not.
  EXPECT_EQ(rc_message_text(3000).text, "Lumo compile-time error\n");
  EXPECT_EQ(rc_message_text(4000).text.find("Lumo"), std::string::npos);
  EXPECT_EQ(rc_message_text(2999).text, "");
}

TEST(RcTable, TooManyVariablesAdvisesMatsizeOnlyBelowItsCeiling) {
  const std::string advice =
      "You can increase matsize using the\n{cmd:set matsize} command; see help {help matsize}.\n";
  for (int matsize : {10, 400, 10999}) {
    RcMessage m = rc_message_text(146, RcLimits{matsize, 5000});
    EXPECT_EQ(m.text.rfind("too many variables or values (matsize too small)\n", 0), 0u)
        << "matsize " << matsize;
    EXPECT_NE(m.text.find(advice), std::string::npos) << "matsize " << matsize;
    EXPECT_EQ(m.code, 146);
  }
  for (int matsize : {11000, 11001}) {
    RcMessage m = rc_message_text(146, RcLimits{matsize, 5000});
    EXPECT_EQ(m.text, "too many variables or values\n") << "matsize " << matsize;
  }
}

// The pieces of an explanation must follow each other in this order.
void expect_in_order(const std::string& text, const std::vector<std::string>& pieces) {
  size_t at = 0;
  for (const std::string& p : pieces) {
    size_t found = text.find(p, at);
    ASSERT_NE(found, std::string::npos) << "missing or out of order: \"" << p << "\" in\n" << text;
    at = found + p.size();
  }
}

TEST(RcTable, MemoryLimitExplanations) {
  RcMessage m900 = rc_message_text(900, RcLimits{400, 5000});
  EXPECT_EQ(m900.code, 900);
  expect_in_order(m900.text,
                  {"no room to add more variables\n", "{p 4 4}",
                   "An attempt was made to add a variable that would have\n",
                   "resulted in more than\n5000\nor\n4999\n",
                   "variables (Nuvra reserves one variable for its own use).\n",
                   "You have the following alternatives:\n", "{p 5 9}",
                   "1.  Drop some variables; see help {help drop}.\n", "{p 5 9}",
                   "2.  If you are using Nuvra/MP, increase maxvar;\n", "see help {help maxvar}.\n",
                   "{p_end}\n"});
  EXPECT_EQ(m900.text.rfind("no room to add more variables\n", 0), 0u);
  // maxvar is quoted from the setting in force.
  expect_in_order(rc_message_text(900, RcLimits{400, 32767}).text,
                  {"resulted in more than\n32767\nor\n32766\n"});

  RcMessage m901 = rc_message_text(901);
  expect_in_order(m901.text,
                  {"no room to add more observations\n", "{p 4 4}",
                   "An attempt was made to increase the number of\n",
                   "observations beyond what is currently possible.\n",
                   "You have the following alternatives:\n", "{p 5 9}",
                   "1.  Store your variables more efficiently;\n", "see help {help compress}.\n",
                   "(Think of Nuvra's data area as the area of a rectangle;\n",
                   "Nuvra can trade off width and length.)\n", "{p 5 9}",
                   "2.  Drop some variables or observations;\n", "see help {help drop}.\n",
                   "{p 5 9}", "3.  Increase the amount of memory allocated to the\n",
                   "data area using the {cmd:set memory} command;\n", "see help {help memory}.\n",
                   "{p_end}\n"});

  const std::vector<std::string> width_story = {
      "{p 4 4}",
      "An attempt was made to add a variable that would have increased\n",
      "the memory required to store an observation beyond\n",
      "what is currently possible.\n",
      "You have the following alternatives:\n",
      "{p 5 9}",
      "1.  Store existing variables more efficiently;\n",
      "see help {help compress}.\n",
      "{p 5 9}",
      "2.  Drop some variables or observations;\n",
      "see help {help drop}.\n",
      "(Think of Nuvra's data area as the area of a rectangle;\n",
      "Nuvra can trade off width and length.)\n",
      "{p 5 9}",
      "3.  Increase the amount of memory allocated to the\n",
      "data area using the {cmd:set memory} command;\n",
      "see help {help memory}.\n",
      "{p_end}\n"};
  RcMessage m902 = rc_message_text(902);
  EXPECT_EQ(m902.text.rfind("no room to add more variables because of width\n", 0), 0u);
  expect_in_order(m902.text, width_story);
  RcMessage m903 = rc_message_text(903);
  EXPECT_EQ(
      m903.text.rfind("no room to promote variable (e.g., change int to float) because of width\n", 0),
      0u);
  expect_in_order(m903.text, width_story);

  RcMessage m1010 = rc_message_text(1010, RcLimits{400, 5000});
  EXPECT_EQ(m1010.code, 1010);
  expect_in_order(m1010.text,
                  {"system limit exceeded -- width shortage\n", "{p 4 4}",
                   "An attempt was made to add a variable that would have increased\n",
                   " the memory required to store an observation beyond\n",
                   "60000\n bytes, the maximum width allowed.\n",
                   "You have the following alternatives:\n", "{p 5 9}",
                   "1.  Store existing variables more efficiently;\n", "see help {help compress}.\n",
                   "{p 5 9}", "2.  Drop some variables; see help {help drop}.\n", "{p 5 9}",
                   "3.  If you are using Nuvra/MP, increase the maximum width\n",
                   "by increasing maxvar;\n", "see help {help maxvar}.\n",
                   "The maximum width is set to 12*maxvar.\n", "{p_end}\n"});
  EXPECT_EQ(m1010.text.rfind("system limit exceeded -- width shortage\n", 0), 0u);
  expect_in_order(rc_message_text(1010, RcLimits{400, 32767}).text, {"\n393204\n bytes"});

  RcMessage m908 = rc_message_text(908, RcLimits{400, 5000});
  EXPECT_EQ(m908.text.rfind("matsize too small\n", 0), 0u);
  expect_in_order(m908.text, {"{p 4 4}", "\n400\n", "{cmd:set matsize}", "{p_end}\n"});
  EXPECT_EQ(m908.code, 908);
}

// ---- printing through an output stream

struct Captured {
  std::vector<output::DecodedLine> lines;
};

int capture_sink(void* arg, const uint8_t* rec, int kind) {
  auto* c = static_cast<Captured*>(arg);
  if ((kind == output::kSinkLine || kind == output::kSinkPartial) && rec)
    c->lines.push_back(output::decode_line_record(rec));
  return 0;
}

class MessagePrint : public ::testing::Test {
 protected:
  void SetUp() override { out.stream().set_sink(capture_sink, &cap); }
  std::vector<std::string> texts() {
    out.flush();
    std::vector<std::string> t;
    for (auto& l : cap.lines) t.push_back(l.text);
    return t;
  }
  static bool all_colour(const output::DecodedLine& l, uint8_t colour) {
    for (uint8_t s : l.style)
      if ((s & output::kStyleColourMask) != colour) return false;
    return !l.style.empty();
  }
  output::Output out;
  Captured cap;
};

TEST_F(MessagePrint, SharedRoutinesPrintTheirTextAndReturnTheirCode) {
  EXPECT_EQ(msg_invalid(out, "weight"), 198);
  EXPECT_EQ(msg_required(out, "varlist"), 100);
  EXPECT_EQ(msg_already_defined(out, "price"), 110);
  EXPECT_EQ(msg_ambiguous(out, "pr"), 111);
  EXPECT_EQ(msg_not_found(out, "variable mpg"), 111);
  EXPECT_EQ(msg_brace_line(out, true), 198);
  EXPECT_EQ(msg_brace_line(out, false), 198);
  EXPECT_EQ(msg_not_available(out, "graph"), 199);
  const std::vector<std::string> want = {
      "invalid weight",
      "varlist required",
      "price already defined",
      "pr ambiguous abbreviation",
      "variable mpg not found",
      "program error:  code follows on the same line as open brace",
      "program error:  code follows on the same line as close brace",
      "command graph not yet available",
  };
  EXPECT_EQ(texts(), want);
  for (auto& l : cap.lines) EXPECT_TRUE(all_colour(l, output::kColourError)) << l.text;
}

TEST_F(MessagePrint, UserTextIsShownLiterally) {
  // Braces that the user typed must not be taken for tags.
  EXPECT_EQ(msg_invalid(out, "{bf:x}"), 198);
  EXPECT_EQ(msg_required(out, "{"), 100);
  EXPECT_EQ(msg_not_found(out, "a}b{c"), 111);
  const std::vector<std::string> want = {"invalid {bf:x}", "{ required", "a}b{c not found"};
  EXPECT_EQ(texts(), want);
}

TEST_F(MessagePrint, MessageRoutineRendersMarkupAndRestoresTheClass) {
  out.set_class(output::OutClass::Result);
  EXPECT_EQ(rc_message(out, 2, RcLimits{}), 2);
  EXPECT_EQ(out.current_class(), output::OutClass::Result);
  EXPECT_EQ(rc_message(out, 2000, RcLimits{}), 0);
  EXPECT_EQ(rc_message(out, 3002, RcLimits{}), 3002);
  EXPECT_EQ(out.current_class(), output::OutClass::Result);
  const std::vector<std::string> want = {
      "connection timed out -- see help r(2) for troubleshooting",
      "no observations",
      "Lumo run-time error",
  };
  EXPECT_EQ(texts(), want);
  // The link text takes the link colour; everything else is in the error colour.
  ASSERT_EQ(cap.lines.size(), 3u);
  EXPECT_EQ(cap.lines[0].style[0] & output::kStyleColourMask, output::kColourError);
  EXPECT_TRUE(all_colour(cap.lines[1], output::kColourError));
  EXPECT_TRUE(all_colour(cap.lines[2], output::kColourError));
}

TEST_F(MessagePrint, NotesUseTheTextClass) {
  out.set_class(output::OutClass::Result);
  EXPECT_EQ(rc_message(out, 8002, RcLimits{}), 0);
  EXPECT_EQ(out.current_class(), output::OutClass::Result);
  ASSERT_EQ(texts(), std::vector<std::string>{"request ignored because of batch mode"});
  EXPECT_TRUE(all_colour(cap.lines[0], output::kColourText));
}

TEST_F(MessagePrint, SilentCodesAndCapturedOutputPrintNothingButKeepTheCode) {
  EXPECT_EQ(rc_message(out, 0, RcLimits{}), 0);
  EXPECT_EQ(rc_message(out, 1, RcLimits{}), 1);
  EXPECT_EQ(rc_message(out, 601, RcLimits{}), 601);
  out.set_threshold(output::kSilent);
  EXPECT_EQ(rc_message(out, 198, RcLimits{}), 198);
  EXPECT_EQ(rc_message(out, 7197, RcLimits{}), 198);
  EXPECT_EQ(msg_invalid(out, "x"), 198);
  EXPECT_TRUE(texts().empty());
}

}  // namespace
}  // namespace nuvra
