// The log lists of a stream: attach requests, the NMCL header, plain-text
// lines, the 512-byte buffers, positioning at end of file, failed writes,
// and what the print entry points send to logs under the threshold.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "output/output.h"

namespace nuvra::output {
namespace {

class TempDir {
 public:
  TempDir() {
    char tmpl[] = "/tmp/nuvra-logtest.XXXXXX";
    dir_ = ::mkdtemp(tmpl);
  }
  ~TempDir() { std::system(("rm -rf " + dir_).c_str()); }
  std::string path(const std::string& name) const { return dir_ + "/" + name; }

 private:
  std::string dir_;
};

std::string slurp(const std::string& path) {
  std::string s;
  if (std::FILE* f = std::fopen(path.c_str(), "rb")) {
    int c;
    while ((c = std::fgetc(f)) != EOF) s.push_back(static_cast<char>(c));
    std::fclose(f);
  }
  return s;
}

int open_new(const std::string& path, int extra = 0) {
  return ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | extra, 0644);
}

class LogLists : public ::testing::Test {
 protected:
  // The header written when an NMCL log is attached after `setup`.
  std::string header_after(std::string_view setup, int width = 79) {
    NmclStream s;
    s.set_width(width);
    s.feed(setup);
    std::string file = tmp.path("h.nmcl");
    int fd = open_new(file);
    EXPECT_TRUE(s.attach_nmcl_log(fd, kLogAdd));
    ::close(fd);
    return slurp(file);
  }
  TempDir tmp;
};

TEST_F(LogLists, AttachRequestsAndTheirRefusals) {
  NmclStream s;
  int fds[6];
  for (int i = 0; i < 6; ++i) fds[i] = open_new(tmp.path("n" + std::to_string(i)));
  for (int i = 0; i < 5; ++i) EXPECT_TRUE(s.attach_nmcl_log(fds[i], kLogAdd)) << i;
  EXPECT_FALSE(s.attach_nmcl_log(fds[5], kLogAdd));  // the list holds five
  EXPECT_EQ(s.nmcl_log_state(fds[5]), -1);
  // Adding a descriptor that is there already does nothing, not even a
  // second header.
  EXPECT_TRUE(s.attach_nmcl_log(fds[0], kLogAdd));
  EXPECT_EQ(slurp(tmp.path("n0")), "{nmcl}\n{txt}{sf}{ul off}");
  // The text list is separate and still has room.
  EXPECT_TRUE(s.attach_text_log(fds[5], kLogAdd));

  EXPECT_FALSE(s.attach_text_log(fds[0], kLogRemove));  // not in that list
  EXPECT_FALSE(s.attach_nmcl_log(fds[5], kLogRemoveNow));
  EXPECT_TRUE(s.attach_nmcl_log(fds[4], kLogRemove));
  EXPECT_EQ(s.nmcl_log_state(fds[4]), -1);

  // A closed stream refuses new logs but lets the attached ones go.
  s.set_closed(true);
  EXPECT_FALSE(s.attach_nmcl_log(fds[4], kLogAdd));
  EXPECT_TRUE(s.attach_nmcl_log(fds[3], kLogRemove));
  for (int fd : fds) ::close(fd);
}

TEST_F(LogLists, RemoveWritesOutOrDropsTheBuffer) {
  std::string a = tmp.path("a.log"), b = tmp.path("b.log");
  int fa = open_new(a), fb = open_new(b);
  NmclStream s;
  s.attach_text_log(fa, kLogAdd);
  s.attach_text_log(fb, kLogAdd);
  s.feed("one\n");
  ASSERT_TRUE(s.attach_text_log(fa, kLogRemoveNow));  // a never gets "one"
  s.feed("two\n");
  ASSERT_TRUE(s.attach_text_log(fb, kLogRemove));  // b gets both
  EXPECT_EQ(slurp(a), "");
  EXPECT_EQ(slurp(b), "one\ntwo\n");
  ::close(fa);
  ::close(fb);
}

TEST_F(LogLists, HeaderCarriesColourFontUnderlineAndMode) {
  EXPECT_EQ(header_after("{res}"), "{nmcl}\n{res}{sf}{ul off}");
  EXPECT_EQ(header_after("{com}"), "{nmcl}\n{com}{sf}{ul off}");
  EXPECT_EQ(header_after("{err}{it}{ul on}"), "{nmcl}\n{err}{it}{ul on}");
  // Link and highlight colours have no switch of their own.
  EXPECT_EQ(header_after("{hi}{bf}"), "{nmcl}\n{err}{bf}{ul off}");
  // A line under way keeps the colour it started in.
  EXPECT_EQ(header_after("{res}ab{txt}cd"), "{nmcl}\n{res}{sf}{ul off}");
  EXPECT_EQ(header_after("{asis}"), "{nmcl}\n{txt}{sf}{ul off}{asis}\n");
  EXPECT_EQ(header_after("{res}{s6hlp}"), "{nmcl}\n{txt}{sf}{ul off}{s6hlp}\n");
  EXPECT_EQ(header_after("{p 4 8 2}"), "{nmcl}\n{txt}{sf}{ul off}{p 4 8 2}\n");
  EXPECT_EQ(header_after("{pstd}"), "{nmcl}\n{txt}{sf}{ul off}{p 4 4 2}\n");
  // Once the first line of the paragraph is out, the next line starts at
  // the subsequent indent.  Width 40, right margin 2: "aaaa bbbb" fits,
  // and the second line is still open.
  EXPECT_EQ(header_after("{p 0 6 2}" + std::string(30, 'a') + " bbbbbbbbbb cc", 40),
            "{nmcl}\n{txt}{sf}{ul off}{p 6 6 2}\n");
  // The right margin is limited as the paragraph tag limits it:
  // min(30, max(0, 79 - 10 - 20)) = 30; min(60, 79 - 10 - 20) = 49.
  EXPECT_EQ(header_after("{p 10 10 30}"), "{nmcl}\n{txt}{sf}{ul off}{p 10 10 30}\n");
  EXPECT_EQ(header_after("{p 10 10 60}"), "{nmcl}\n{txt}{sf}{ul off}{p 10 10 49}\n");
}

TEST_F(LogLists, TextLogsGetFinishedLinesInPlainCharacters) {
  std::string file = tmp.path("t.log");
  int fd = open_new(file);
  NmclStream s;
  s.set_width(40);
  s.attach_text_log(fd, kLogAdd);
  s.feed("{c TLC}{hline 3}{c TT}{c TRC}\n{c LT}{c |}{c +}{c RT}\n{c BLC}{c BT}{c BRC}\n");
  s.feed("{bf:bold} {res}{ul:x}{c 0x41}\n");
  s.feed("open line");
  s.flush();
  // Tees go to '-' or '|', corners to '+'; styles leave no trace; the open
  // line is not a line yet.
  EXPECT_EQ(slurp(file), "+----+\n||+|\n+-+\nbold xA\n");
  // Nothing shows anywhere (no sink), yet the log gets the wrapped line.
  s.feed(std::string(45, 'z') + "\n");
  s.flush();
  EXPECT_EQ(slurp(file), "+----+\n||+|\n+-+\nbold xA\nopen line" + std::string(31, 'z') +
                             "\n> " + std::string(14, 'z') + "\n");
  ::close(fd);
}

TEST_F(LogLists, WritesGoOutInBufferSizedPieces) {
  std::string file = tmp.path("b.nmcl");
  int fd = open_new(file);
  NmclStream s;
  s.attach_nmcl_log(fd, kLogAdd);
  const std::string header = "{nmcl}\n{txt}{sf}{ul off}";
  std::string a(300, 'a'), b(300, 'b'), c(600, 'c');
  s.log_markup(a);
  EXPECT_EQ(slurp(file), header);  // held in the buffer
  s.log_markup(b);                 // would overflow: a goes out first
  EXPECT_EQ(slurp(file), header + a);
  s.log_markup(c);  // longer than the buffer: b, then c directly
  EXPECT_EQ(slurp(file), header + a + b + c);
  s.log_markup("d");
  s.flush();
  EXPECT_EQ(slurp(file), header + a + b + c + "d");
  ::close(fd);
}

TEST_F(LogLists, LogsSharingAFileStayInOrder) {
  // Two descriptors with their own offsets on one file: each write-out must
  // go to the end, or the text log would overwrite the header.
  std::string file = tmp.path("shared");
  int f1 = open_new(file);
  int f2 = ::open(file.c_str(), O_WRONLY);
  NmclStream s;
  s.attach_nmcl_log(f1, kLogAdd);
  s.attach_text_log(f2, kLogAdd);
  s.log_markup("{res}ab\n");
  s.feed("{res}ab\n");
  s.flush();
  s.log_markup("cd\n");
  s.feed("cd\n");
  s.flush();
  EXPECT_EQ(slurp(file), "{nmcl}\n{txt}{sf}{ul off}{res}ab\nab\ncd\ncd\n");
  ::close(f1);
  ::close(f2);
}

TEST_F(LogLists, AFailedWriteSilencesOnlyThatLog) {
  int full = ::open("/dev/full", O_WRONLY);
  if (full < 0) GTEST_SKIP() << "no /dev/full";
  std::string file = tmp.path("ok.log");
  int fd = open_new(file);
  NmclStream s;
  s.attach_text_log(full, kLogAdd);
  s.attach_text_log(fd, kLogAdd);
  s.feed("first\n");
  s.flush();
  EXPECT_EQ(s.text_log_state(full), 0);
  EXPECT_EQ(s.text_log_state(fd), 1);
  s.feed("second\n");
  s.flush();
  EXPECT_EQ(slurp(file), "first\nsecond\n");
  // The NMCL header itself can fail: the log is attached but silent.
  EXPECT_TRUE(s.attach_nmcl_log(full, kLogAdd));
  EXPECT_EQ(s.nmcl_log_state(full), 0);
  ::close(full);
  ::close(fd);
}

TEST_F(LogLists, DestroyingTheStreamWritesOutTheBuffers) {
  std::string file = tmp.path("d.log");
  int fd = open_new(file);
  {
    NmclStream s;
    s.attach_text_log(fd, kLogAdd);
    s.feed("kept\n");
    EXPECT_EQ(slurp(file), "");
  }
  EXPECT_EQ(slurp(file), "kept\n");
  ::close(fd);
}

TEST_F(LogLists, PrintEntryPointsAndTheThreshold) {
  std::string nm = tmp.path("p.nmcl"), tx = tmp.path("p.log");
  int fn = open_new(nm), ft = open_new(tx);
  Output out;
  out.stream().attach_nmcl_log(fn, kLogAdd);
  out.stream().attach_text_log(ft, kLogAdd);
  out.set_class(OutClass::Result);
  out.print_plain("{a}\n");
  out.set_threshold(kQuiet);
  out.print_markup("quiet result\n");
  out.set_class(OutClass::Error);
  out.print_markup("loud error\n");
  out.set_threshold(kSilent);
  out.print_markup("captured error\n");
  out.set_class(OutClass::Result);
  out.print_markup("captured result\n");
  out.set_threshold(kShowAll);
  out.print_markup("{asis}");
  out.print_plain("{b}\n");
  out.flush();
  EXPECT_EQ(slurp(nm),
            "{nmcl}\n{txt}{sf}{ul off}{res}{c -(}a{c )-}\n{err}loud error\n{asis}{b}\n");
  EXPECT_EQ(slurp(tx), "{a}\nloud error\n{b}\n");
  ::close(fn);
  ::close(ft);
}

TEST_F(LogLists, EchoRuleBarAndHighlight) {
  std::string nm = tmp.path("e.nmcl"), tx = tmp.path("e.log");
  int fn = open_new(nm), ft = open_new(tx);
  Output out;
  out.stream().set_width(40);
  out.stream().attach_nmcl_log(fn, kLogAdd);
  out.stream().attach_text_log(ft, kLogAdd);
  out.print_markup("{p 0 0 0}{bf}{ul on}word");  // a paragraph with a word pending
  out.begin_echo();
  out.print_plain(". x\n");
  out.begin_echo();  // nothing is needed a second time
  out.print_rule(OutClass::Text);
  out.print_bar(OutClass::Result);
  out.print_hilite("hi");
  out.print_markup("\n");
  out.flush();
  EXPECT_EQ(slurp(nm),
            "{nmcl}\n{txt}{sf}{ul off}{p 0 0 0}{bf}{ul on}word{nmcl}\n{com}{sf}{ul off}. x\n"
            "{txt}{.-}\n{res}{c |}{hilite:hi}\n");
  // The paragraph ends with its blank line; the rule fills the 40 columns.
  EXPECT_EQ(slurp(tx), "word\n\n. x\n" + std::string(40, '-') + "\n|hi\n");
  ::close(fn);
  ::close(ft);
}

}  // namespace
}  // namespace nuvra::output
