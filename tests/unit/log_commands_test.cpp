// log and cmdlog as commands: file names and types, the blocks written at
// each change of state, return codes, saved results, the command log's
// recording rule, translation, and help files found along the ado path.
#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "interp/interp.h"
#include "output/commands/log_commands.h"
#include "output/logs.h"
#include "test_side.h"

namespace nuvra {
namespace {

std::string slurp(const std::string& path) {
  std::string s;
  if (std::FILE* f = std::fopen(path.c_str(), "rb")) {
    int c;
    while ((c = std::fgetc(f)) != EOF) s.push_back(static_cast<char>(c));
    std::fclose(f);
  }
  return s;
}

void spit(const std::string& path, const std::string& text) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  ASSERT_NE(f, nullptr);
  std::fputs(text.c_str(), f);
  std::fclose(f);
}

int open_descriptors() {
  int n = 0;
  if (DIR* d = ::opendir("/proc/self/fd")) {
    while (::readdir(d)) ++n;
    ::closedir(d);
  }
  return n;
}

const std::string kRule(79, '-');

class LogCommands : public ::testing::Test {
 protected:
  LogCommands() : ip(&side) {
    char tmpl[] = "/tmp/nuvra-logcmd.XXXXXX";
    dir = ::mkdtemp(tmpl);
    dir += "/";
    ::setenv("NUVRA_FIXED_TIME", "2026-01-05T07:08:09", 1);
  }
  ~LogCommands() override {
    ip.out.logs().close_files();
    std::system(("rm -rf " + dir).c_str());
  }

  // Runs a built-in with `args` as the rest of its line, as the dispatcher
  // would.
  rc_t run(std::string_view command, std::string_view args) {
    ip.cmdbuf = std::string(command) + " " + std::string(args);
    ip.reader.attach(&ip.cmdbuf, 0);
    ip.token = std::string(ip.reader.next());
    ip.command_name = std::string(command);
    side.text.clear();
    rc_t rc = command == "view"    ? cmd_view(ip)
              : command == "chelp" ? cmd_chelp(ip)
                                   : cmd_log(ip);
    ip.out.flush();
    return rc;
  }
  std::string r(const char* name) { return ip.r_results.macros[name]; }

  testing::CaptureSide side;
  Interp ip;
  std::string dir;
};

TEST_F(LogCommands, SuffixAndTypeRules) {
  struct Case {
    const char* file;
    const char* options;
    int logtype;
    const char* opened;
    const char* type;
  } cases[] = {
      {"a", "", output::kLogTypeNmcl, "a.nmcl", "nmcl"},
      {"b", "", output::kLogTypeText, "b.log", "text"},
      {"c", ", text", output::kLogTypeNmcl, "c.log", "text"},
      {"d", ", nmcl", output::kLogTypeText, "d.nmcl", "nmcl"},
      {"e.log", "", output::kLogTypeNmcl, "e.log", "text"},
      {"f.nmcl", "", output::kLogTypeText, "f.nmcl", "nmcl"},
      {"g.txt", "", output::kLogTypeText, "g.txt", "text"},
      {"h.txt", "", output::kLogTypeNmcl, "h.txt", "nmcl"},
      {"i.log", ", nmcl", output::kLogTypeText, "i.log", "nmcl"},
      {"j.nmcl", ", text", output::kLogTypeNmcl, "j.nmcl", "text"},
  };
  for (const Case& c : cases) {
    ip.out.logs().logtype = c.logtype;
    ASSERT_EQ(run("log", "using " + dir + c.file + c.options), 0) << c.file << side.text;
    EXPECT_EQ(r("filename"), dir + c.opened) << c.file;
    EXPECT_EQ(r("type"), c.type) << c.file;
    EXPECT_EQ(r("status"), "on");
    ASSERT_EQ(run("log", "close"), 0);
    EXPECT_EQ(access((dir + c.opened).c_str(), F_OK), 0) << c.opened;
  }
  EXPECT_EQ(run("log", "using " + dir + "k, text nmcl"), 198);
  EXPECT_EQ(run("log", "using " + dir + "k, append replace"), 198);
  EXPECT_EQ(run("log", "using " + dir + "k, bogus"), 198);
  EXPECT_EQ(set_logtype(ip, "html"), 198);
  EXPECT_EQ(set_logtype(ip, "text"), 0);
  EXPECT_EQ(ip.out.logs().logtype, output::kLogTypeText);
}

TEST_F(LogCommands, TextLogBlocksThroughOffOnAndClose) {
  std::string f = dir + "s.log";
  ASSERT_EQ(run("log", "using " + f), 0);
  // Opening writes the block and nothing else to the screen.
  const std::string when = " 5 Jan 2026, 07:08:09";
  std::string opened = kRule + "\n       log:  " + f + "\n  log type:  text\n opened on:  " + when + "\n\n";
  EXPECT_EQ(side.text, opened);
  ip.out.markup(output::OutClass::Result, "{txt}{hline 3}{c +}{hline 2}\nseen\n");
  ASSERT_EQ(run("log", "off"), 0);
  EXPECT_EQ(run("log", "off"), 0);
  EXPECT_EQ(side.text, "(log already off)\n");
  EXPECT_EQ(r("status"), "on");  // off does not touch r()
  ip.out.markup(output::OutClass::Result, "unseen\n");
  ASSERT_EQ(run("log", "on"), 0);
  EXPECT_EQ(run("log", "on"), 0);
  EXPECT_EQ(side.text, "(log already on)\n");
  ASSERT_EQ(run("log", "query"), 0);
  EXPECT_EQ(side.text, "       log:  " + f + ", on\n  log type:  text\n");
  ASSERT_EQ(run("log", "close"), 0);
  std::string want = opened + "---+--\nseen\n" +                                         //
                     "       log:  " + f + "\n  log type:  text\n paused on:  " + when + "\n" + kRule + "\n" +
                     kRule + "\n       log:  " + f + "\n  log type:  text\nresumed on:  " + when + "\n\n" +
                     "(log already on)\n" +                                                 //
                     "       log:  " + f + ", on\n  log type:  text\n" +                   //
                     "       log:  " + f + "\n  log type:  text\n closed on:  " + when + "\n" + kRule + "\n";
  EXPECT_EQ(slurp(f), want);
  EXPECT_EQ(run("log", "close"), 606);
  EXPECT_EQ(run("log", "off"), 606);
  EXPECT_EQ(run("log", "on"), 606);
  ASSERT_EQ(run("log", "query"), 0);
  EXPECT_EQ(r("status"), "closed");
}

TEST_F(LogCommands, NmclLogPausedAndResumedGetsASecondHeader) {
  std::string f = dir + "n.nmcl";
  ip.out.set_class(output::OutClass::Result);
  ASSERT_EQ(run("log", "using " + f + ", name(main)"), 0);
  ASSERT_EQ(run("log", "off main"), 0);
  ip.out.set_class(output::OutClass::Error);
  ASSERT_EQ(run("log", "on main"), 0);
  ASSERT_EQ(run("log", "close main"), 0);
  std::string when = "{res} 5 Jan 2026, 07:08:09";
  std::string body = "       log:  {res}" + f + "\n{txt}  log type:  {res}nmcl\n{txt}";
  EXPECT_EQ(slurp(f), "{nmcl}\n{res}{sf}{ul off}{txt}{.-}\n" + body + " opened on:  " + when +
                          "\n{txt}\n" + body + " paused on:  " + when + "{txt}{.-}\n" +
                          "{nmcl}\n{err}{sf}{ul off}{txt}{.-}\n" + body + "resumed on:  " + when +
                          "\n{txt}\n" + body + " closed on:  " + when + "{txt}{.-}\n");
}

TEST_F(LogCommands, ReturnCodesAndNothingLeftOpen) {
  std::string f = dir + "x.log";
  spit(f, "old\n");
  EXPECT_EQ(run("log", "using " + f), 602);
  EXPECT_EQ(side.text, "file " + f + " already exists\n");
  ASSERT_EQ(run("log", "using " + f + ", append"), 0);
  EXPECT_EQ(run("log", "using " + dir + "other"), 604);  // the unnamed log is open
  ASSERT_EQ(run("log", "close"), 0);
  EXPECT_EQ(slurp(f).substr(0, 4 + 80), "old\n" + kRule + "\n");
  ASSERT_EQ(run("log", "using " + f + ", replace"), 0);
  ASSERT_EQ(run("log", "close"), 0);
  EXPECT_EQ(slurp(f).substr(0, 80), kRule + "\n");

  int before = open_descriptors();
  EXPECT_EQ(run("log", "using " + dir + "nosuchdir/y"), 603);
  EXPECT_EQ(side.text, "file " + dir + "nosuchdir/y.nmcl could not be opened\n");
  EXPECT_FALSE(ip.out.logs().find("")->is_open());

  // Five NMCL logs fill the list; the sixth is refused and closed again.
  for (int i = 0; i < 5; ++i)
    ASSERT_EQ(run("log", "using " + dir + "m" + std::to_string(i) + ", name(m" + std::to_string(i) + ")"), 0);
  int with_five = open_descriptors();
  EXPECT_EQ(with_five, before + 5);
  EXPECT_EQ(run("log", "using " + dir + "m5, name(m5)"), 603);
  EXPECT_EQ(side.text, "nmcl refused log request -- log not opened\n");
  EXPECT_EQ(open_descriptors(), with_five);
  EXPECT_EQ(ip.out.logs().find("m5"), nullptr);
  // A text log still fits, and the unnamed log is still free.
  EXPECT_EQ(run("log", "using " + dir + "t, text"), 0);
  EXPECT_EQ(run("log", "using " + dir + "m0b, name(m0)"), 604);
  EXPECT_EQ(run("log", "close nosuch"), 606);
  EXPECT_EQ(run("log", "close 1bad"), 198);
  for (int i = 0; i < 5; ++i) ASSERT_EQ(run("log", "close m" + std::to_string(i)), 0);
  ASSERT_EQ(run("log", "close"), 0);
  EXPECT_EQ(open_descriptors(), before);
}

TEST_F(LogCommands, CommandLogRecordsTypedLinesButNotItself) {
  EXPECT_EQ(run("cmdlog", "close"), 607);
  EXPECT_EQ(run("cmdlog", "on"), 607);
  ASSERT_EQ(run("cmdlog", "using " + dir + "c"), 0);
  EXPECT_EQ(side.text, "(cmdlog " + dir + "c.txt opened)\n");
  EXPECT_EQ(r("type"), "text");
  EXPECT_EQ(run("cmdlog", "using " + dir + "d"), 604);
  output::Logs& logs = ip.out.logs();
  for (const char* line : {"display 1", "cmdlog close", "  cmdlog off", "cmdlog", "cmdlog\tquery",
                           "cmdlogger", "   list x", ""})
    logs.record_command(ip.out, line);
  ASSERT_EQ(run("cmdlog", "off"), 0);
  EXPECT_EQ(side.text, "(cmdlog " + dir + "c.txt paused)\n");
  logs.record_command(ip.out, "while off");
  ASSERT_EQ(run("cmdlog", "on"), 0);
  EXPECT_EQ(side.text, "(cmdlog " + dir + "c.txt resumed)\n");
  EXPECT_EQ(run("cmdlog", "on"), 0);
  EXPECT_EQ(side.text, "(cmdlog already on)\n");
  ip.out.set_threshold(output::kSilent);  // under capture, input is suppressed
  logs.record_command(ip.out, "captured");
  ip.out.set_threshold(output::kQuiet);  // under quietly it is not
  logs.record_command(ip.out, "quiet");
  ip.out.set_threshold(output::kShowAll);
  ASSERT_EQ(run("cmdlog", "close"), 0);
  EXPECT_EQ(side.text, "(cmdlog " + dir + "c.txt closed)\n");
  EXPECT_EQ(slurp(dir + "c.txt"), "display 1\ncmdlogger\n   list x\n\nquiet\n");
}

TEST_F(LogCommands, TranslateRendersAsATextLogWould) {
  std::string src = dir + "p.nmcl";
  spit(src, "{nmcl}\n{p 0 4 2}one two three four five six seven eight nine ten eleven twelve{p_end}\n"
            "{txt}{hline 5}{c +}{hline 2}\n{asis}{c |}");
  EXPECT_EQ(run("log", "translate " + src), 198);
  EXPECT_EQ(side.text, "must specify file to be written if source has .suffix\n");
  EXPECT_EQ(run("log", "translate " + src + " " + dir + "p.txt, ll(39)"), 198);
  ASSERT_EQ(run("log", "tr " + src + " " + dir + "p.txt, ll(40)"), 0);
  EXPECT_EQ(side.text, "(file " + dir + "p.txt written)\n");
  // Width 40 less the right margin 2: 38 columns for the paragraph.
  EXPECT_EQ(slurp(dir + "p.txt"),
            "one two three four five six seven\n"
            "    eight nine ten eleven twelve\n"
            "-----+--\n"
            "{c |}\n");
  EXPECT_EQ(run("log", "translate " + src + " " + dir + "p.txt"), 602);
  // Without a target the source is NAME.nmcl and the target NAME.log.
  ASSERT_EQ(run("log", "translate " + dir + "p, replace"), 0);
  EXPECT_EQ(slurp(dir + "p.log").substr(0, 34), "one two three four five six seven ");
  EXPECT_EQ(run("log", "translate " + dir + "nosuch.nmcl " + dir + "q.txt"), 601);
}

TEST_F(LogCommands, HtmlKeepsStylesAndLinks) {
  std::string src = dir + "h.nmcl";
  spit(src, "{res}5 < 6 & {bf:bold}\n{help regress:see <regress>}\n");
  ASSERT_EQ(run("log", "html " + src + " " + dir + "h.html"), 0);
  std::string html = slurp(dir + "h.html");
  EXPECT_NE(html.find("<span class=\"res\">5 &lt; 6 &amp; </span><span class=\"res bf\">bold</span>\n"),
            std::string::npos)
      << html;
  EXPECT_NE(html.find("<a href=\"/help.cgi?regress\"><span class=\"lnk\">see &lt;regress&gt;</span></a>"),
            std::string::npos)
      << html;
  EXPECT_EQ(html.substr(0, 15), "<!DOCTYPE html>");
  EXPECT_EQ(html.substr(html.size() - 16), "</body>\n</html>\n");
}

TEST_F(LogCommands, HelpFilesAlongTheAdoPath) {
  // The personal directory is on the path; help files sit in one-letter
  // subdirectories.
  ::mkdir((dir + "w").c_str(), 0755);
  spit(dir + "w/widget.hlp", "{nmcl}\n{title:Widget}\n{pstd}Makes widgets.\n");
  ip.macros.set_global("S_ADO", dir);
  ASSERT_EQ(run("chelp", "widget"), 0);
  EXPECT_EQ(side.text, "Widget\n    Makes widgets.\n\n");
  EXPECT_EQ(run("chelp", "nosuch"), 111);
  EXPECT_EQ(side.text, "help for nosuch not found\n");
  EXPECT_EQ(run("chelp", "../w/widget"), 111);
  // view renders a file by name, and leaves the stream in line mode.
  spit(dir + "v.nmcl", "{asis}{bf}");
  ASSERT_EQ(run("view", dir + "v.nmcl"), 0);
  EXPECT_EQ(side.text, "{bf}\n");
  EXPECT_EQ(ip.out.stream().mode(), output::NmclMode::Line);
  EXPECT_EQ(ip.out.stream().style(), output::kColourText);
  EXPECT_EQ(run("view", dir + "none.nmcl"), 601);
}

TEST(LogClock, DateAndTimeFormats) {
  std::tm t{};
  t.tm_year = 2026 - 1900;
  t.tm_mon = 11;
  t.tm_mday = 6;
  t.tm_hour = 9;
  t.tm_min = 5;
  t.tm_sec = 3;
  EXPECT_EQ(output::log_date(t), " 6 Dec 2026");
  EXPECT_EQ(output::log_time(t), "09:05:03");
  t.tm_mday = 31;
  t.tm_year = 99 - 1900;  // the year takes five columns
  EXPECT_EQ(output::log_date(t), "31 Dec   99");
  ::setenv("NUVRA_FIXED_TIME", "2027-02-14T23:59:58", 1);
  std::tm f = output::log_clock();
  EXPECT_EQ(output::log_date(f) + ", " + output::log_time(f), "14 Feb 2027, 23:59:58");
}

}  // namespace
}  // namespace nuvra
