#include "gui/console_side.h"

#include <histedit.h>
#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <csignal>
#include <cstring>

#include "output/nmcl_stream.h"

namespace nuvra::gui {

namespace {

// The only state a signal handler may touch.
volatile std::sig_atomic_t g_break_pending = 0;

void on_sigint(int) { g_break_pending = 1; }

const char* ansi_for(uint8_t style) {
  switch (style & output::kStyleColourMask) {
    case output::kColourResult:
      return "\033[1m";
    case output::kColourError:
      return "\033[31m";
    case output::kColourInput:
      return "\033[0m";
    case output::kColourLink:
      return "\033[4m";
    case output::kColourHilite:
      return "\033[1m";
    default:
      return "\033[0m";
  }
}

}  // namespace

struct ConsoleSide::Editor {
  EditLine* el = nullptr;
  History* hist = nullptr;
  int pending_fkey = 0;
  std::string prompt;

  ~Editor() {
    if (el) el_end(el);
    if (hist) history_end(hist);
  }

  static char* prompt_fn(EditLine* el) {
    void* data = nullptr;
    el_get(el, EL_CLIENTDATA, &data);
    return const_cast<char*>(static_cast<Editor*>(data)->prompt.c_str());
  }

  template <int N>
  static unsigned char fkey_fn(EditLine* el, int) {
    void* data = nullptr;
    el_get(el, EL_CLIENTDATA, &data);
    static_cast<Editor*>(data)->pending_fkey = N;
    return CC_NEWLINE;
  }

  template <int N>
  void add_fkey(const char* seq1, const char* seq2) {
    // The editor keeps the name pointer, so the names must outlive it.
    static const char* const kNames[] = {"nuvra-f1", "nuvra-f2", "nuvra-f3", "nuvra-f4",
                                         "nuvra-f5", "nuvra-f6", "nuvra-f7", "nuvra-f8",
                                         "nuvra-f9", "nuvra-f10"};
    const char* name = kNames[N - 1];
    el_set(el, EL_ADDFN, name, name, &Editor::fkey_fn<N>);
    el_set(el, EL_BIND, seq1, name, nullptr);
    if (seq2) el_set(el, EL_BIND, seq2, name, nullptr);
  }
};

ConsoleSide::ConsoleSide(std::FILE* out, bool line_editing, bool colour)
    : out_(out), colour_(colour) {
  if (!line_editing) return;
  auto ed = std::make_unique<Editor>();
  ed->el = el_init("nuvra", stdin, stdout, stderr);
  if (!ed->el) return;
  ed->hist = history_init();
  HistEvent ev;
  history(ed->hist, &ev, H_SETSIZE, 1000);
  el_set(ed->el, EL_CLIENTDATA, ed.get());
  el_set(ed->el, EL_PROMPT, &Editor::prompt_fn);
  el_set(ed->el, EL_EDITOR, "emacs");
  el_set(ed->el, EL_HIST, history, ed->hist);
  // Function keys in both the xterm and the VT220 encodings.
  // The key sequences are written in the editor's own notation ("\e").
  ed->add_fkey<1>("\\eOP", "\\e[11~");
  ed->add_fkey<2>("\\eOQ", "\\e[12~");
  ed->add_fkey<3>("\\eOR", "\\e[13~");
  ed->add_fkey<4>("\\eOS", "\\e[14~");
  ed->add_fkey<5>("\\e[15~", nullptr);
  ed->add_fkey<6>("\\e[17~", nullptr);
  ed->add_fkey<7>("\\e[18~", nullptr);
  ed->add_fkey<8>("\\e[19~", nullptr);
  ed->add_fkey<9>("\\e[20~", nullptr);
  ed->add_fkey<10>("\\e[21~", nullptr);
  editor_ = std::move(ed);
}

ConsoleSide::~ConsoleSide() { finish(); }

void ConsoleSide::install_break_handler() {
  struct sigaction sa;
  std::memset(&sa, 0, sizeof sa);
  sa.sa_handler = on_sigint;
  sigemptyset(&sa.sa_mask);
  sa.sa_flags = 0;  // no SA_RESTART: a read waiting for input returns
  sigaction(SIGINT, &sa, nullptr);
}

bool ConsoleSide::take_break() {
  if (!g_break_pending) return false;
  g_break_pending = 0;
  return true;
}

void ConsoleSide::begin_line(std::string_view prompt) { prompt_.assign(prompt); }

void ConsoleSide::append_char(int code) {
  if (editor_) preinsert_.push_back(static_cast<char>(code));
}

void ConsoleSide::fill_from_editor() {
  Editor& ed = *editor_;
  ed.prompt = prompt_;
  ed.pending_fkey = 0;
  if (!preinsert_.empty()) {
    // The line so far is shown again for editing; the loop's copy is
    // replaced by what comes back.
    el_push(ed.el, preinsert_.c_str());
    preinsert_.clear();
    std::fputs("\r\033[K", stdout);  // redraw the line in place
    keys_.push_back(kKeyKillLine);
  }
  int count = 0;
  const char* line = el_gets(ed.el, &count);
  if (!line) {
    if (take_break()) {
      g_break_pending = 1;
      std::fputc('\n', stdout);
      keys_.push_back(kKeyEndOfLine);
      return;
    }
    eof_ = true;
    return;
  }
  std::string text(line, static_cast<size_t>(count));
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  if (!text.empty() && ed.pending_fkey == 0) {
    HistEvent ev;
    history(ed.hist, &ev, H_ENTER, text.c_str());
  }
  for (unsigned char c : text) keys_.push_back(c);
  keys_.push_back(ed.pending_fkey ? kKeyF1 + ed.pending_fkey - 1 : kKeyEndOfLine);
}

void ConsoleSide::fill_from_stream() {
  int c;
  bool any = false;
  while ((c = std::fgetc(stdin)) != EOF) {
    any = true;
    if (c == '\n') {
      keys_.push_back(kKeyEndOfLine);
      return;
    }
    keys_.push_back(c);
  }
  if (!any) eof_ = true;
}

int ConsoleSide::read_key() {
  if (keys_.empty() && !eof_) {
    std::fflush(out_);
    if (editor_)
      fill_from_editor();
    else
      fill_from_stream();
  }
  if (keys_.empty()) return kKeyEndOfInput;
  int k = keys_.front();
  keys_.pop_front();
  return k;
}

void ConsoleSide::alert(const std::array<std::string, 4>& lines) {
  for (const std::string& l : lines)
    if (!l.empty()) std::fprintf(stderr, "%s\n", l.c_str());
}

void ConsoleSide::write_styled(const std::string& text, const std::vector<uint8_t>& style,
                               size_t from) {
  uint8_t current = 0xFF;
  for (size_t i = from; i < text.size(); ++i) {
    if (colour_ && (style[i] & output::kStyleColourMask) != current) {
      current = style[i] & output::kStyleColourMask;
      std::fputs(ansi_for(current), out_);
    }
    std::fputc(text[i], out_);
  }
  if (colour_ && current != 0xFF) std::fputs("\033[0m", out_);
}

int ConsoleSide::sink(const uint8_t* rec, int kind) {
  switch (kind) {
    case output::kSinkLine:
    case output::kSinkPartial: {
      output::DecodedLine line = output::decode_line_record(rec);
      std::string plain = output::plain_text(rec);
      if (written_ > plain.size()) written_ = 0;
      write_styled(plain, line.style, written_);
      if (kind == output::kSinkLine) {
        std::fputc('\n', out_);
        written_ = 0;
      } else {
        written_ = plain.size();
      }
      return 0;
    }
    case output::kSinkFlush:
      std::fflush(out_);
      return 0;
    case output::kSinkMore: {
      // Pipes and logs have no one to press a key: carry on at once.
      if (!editor_ || !rec) return ' ';
      std::string prompt = output::plain_text(rec);
      std::fputs(prompt.c_str(), out_);
      std::fflush(out_);
      struct termios saved, raw;
      int key = ' ';
      if (::tcgetattr(STDIN_FILENO, &saved) == 0) {
        raw = saved;
        raw.c_lflag &= static_cast<tcflag_t>(~(ICANON | ECHO));
        raw.c_cc[VMIN] = 1;
        raw.c_cc[VTIME] = 0;
        ::tcsetattr(STDIN_FILENO, TCSANOW, &raw);
        unsigned char c;
        ssize_t got = ::read(STDIN_FILENO, &c, 1);
        key = got == 1 ? c : 'q';
        ::tcsetattr(STDIN_FILENO, TCSANOW, &saved);
      }
      // Take the prompt off the screen again.
      std::fprintf(out_, "\r%*s\r", static_cast<int>(prompt.size()), "");
      std::fflush(out_);
      return key;
    }
    default:
      return 0;
  }
}

void ConsoleSide::finish() {
  if (written_ > 0) {
    std::fputc('\n', out_);
    written_ = 0;
  }
  std::fflush(out_);
}

}  // namespace nuvra::gui
