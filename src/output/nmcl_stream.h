// NmclStream: the renderer that turns NMCL markup into display lines
// (LineRecords) and hands each finished line to a sink.
//
// All line state lives in fixed buffers inside the stream, so feeding text
// does not allocate; the stream is large (a few kilobytes) for that reason.
#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace nuvra::output {

// Sink kinds handed to a LineSink.
enum SinkKind : int {
  kSinkLine = 1,     // a finished line (rec is a LineRecord)
  kSinkPartial = 2,  // flush of the unfinished current line (rec is a LineRecord)
  kSinkFlush = 3,    // end of a burst of output (rec null)
  kSinkDestroy = 4,  // stream being destroyed (rec null)
  kSinkMore = 5,     // show the more prompt (rec is the more record); returns the key
};

using LineSink = int (*)(void* arg, const uint8_t* rec, int kind);

// Style byte: bits 0-2 colour class, bits 3-4 font, bit 5 underline,
// bit 7 marks a line-drawing code in the text.
inline constexpr uint8_t kColourResult = 1, kColourText = 2, kColourError = 4,
                         kColourInput = 5, kColourLink = 6, kColourHilite = 7;
inline constexpr uint8_t kStyleColourMask = 7, kStyleItalic = 8, kStyleBold = 16,
                         kStyleUnderline = 32, kStyleDrawing = 128;
inline constexpr uint8_t kStyleFontMask = kStyleItalic | kStyleBold;

// Drawing codes carried in the text of characters whose style has bit 7.
inline constexpr uint8_t kDrawTopTee = 1, kDrawBottomTee = 2, kDrawLeftTee = 3,
                         kDrawRightTee = 4, kDrawBottomRight = 5, kDrawBottomLeft = 6,
                         kDrawTopRight = 7, kDrawTopLeft = 8, kDrawHorizontal = 45,
                         kDrawVertical = 124, kDrawCross = 43;

// Inside paragraph text, a space that neither separates words nor collapses.
inline constexpr uint8_t kHardSpace = 19;

// Link kinds recorded in link entries.
inline constexpr uint8_t kLinkAdoDialog = 1, kLinkHelpDialog = 2, kLinkNetDialog = 3,
                         kLinkNetFromDialog = 4, kLinkSearchDialog = 5,
                         kLinkUpdateDialog = 6, kLinkViewDialog = 7, kLinkClearMore = 8,
                         kLinkBrowse = 9, kLinkAdoRm = 10, kLinkBack = 11, kLinkHelp = 12,
                         kLinkSearch = 14, kLinkNet = 15, kLinkAdo = 16, kLinkUpdate = 17,
                         kLinkRNetHelp = 18, kLinkView = 19, kLinkNews = 20,
                         kLinkNuvra = 21, kLinkLumo = 23, kLinkDialog = 25;

enum class NmclMode : uint8_t { NotStarted = 0, Asis = 1, Line = 2, Paragraph = 3, S6hlp = 4 };
enum class NmclCharset : uint8_t { Latin1, MacRoman };

// Size limits of the fixed buffers.
inline constexpr int kMaxLineWidth = 255;
inline constexpr int kLinkSectionMax = 765;  // count byte, entries and the two closing zeros
inline constexpr int kMarkerAreaMax = 100;
inline constexpr int kPartialTagMax = 1024;
inline constexpr int kMaxWordLength = 255;
inline constexpr int kRecordMax = 2048;
inline constexpr int kMaxLogsPerList = 5;
inline constexpr int kLogBufferSize = 512;

// Requests of attach_nmcl_log and attach_text_log.
enum LogRequest : int {
  kLogAdd = 1,        // add the descriptor (nothing if it is already there)
  kLogRemove = 2,     // write out the buffer, then remove the descriptor
  kLogRemoveNow = 3,  // remove the descriptor without writing out the buffer
};

struct NmclTagArgs;  // a parsed tag; defined with the tag table

class NmclStream {
 public:
  NmclStream();
  ~NmclStream();
  NmclStream(const NmclStream&) = delete;
  NmclStream& operator=(const NmclStream&) = delete;

  // Renders a chunk of markup; chunks may split lines and tags anywhere.
  void feed(std::string_view chunk);

  void set_width(int columns);  // clamped to 40..255
  int width() const { return width_; }
  void set_page_length(int lines) { page_length_ = lines < 0 ? 0 : lines; }
  int page_length() const { return page_length_; }
  void set_more_enabled(bool on) { more_enabled_ = on; }
  bool more_enabled() const { return more_enabled_; }
  bool more_active() const { return more_active_; }
  // Shows the more prompt now, as a full page would (the `more` command);
  // nothing when the prompt is switched off or pages are unlimited.
  void more_now() {
    if (page_length_ <= 0 || !more_enabled_) return;
    line_counter_ = page_length_ - 1;
    more_tick();
  }
  // The reader has seen everything so far (a new command line is being
  // typed): the next page starts now.
  void restart_page() { line_counter_ = 0; }
  void set_title_style(bool on) { title_style_ = on; }
  void set_charset(NmclCharset cs) { charset_ = cs; }
  NmclCharset charset() const { return charset_; }
  void set_link_kinds(uint8_t nuvra_kind, uint8_t lumo_kind) {
    nuvra_link_kind_ = nuvra_kind;
    lumo_link_kind_ = lumo_kind;
  }
  // When stopped, all further input is ignored.
  void set_stopped(bool on) { stopped_ = on; }
  bool stopped() const { return stopped_; }
  // When closed, log attach requests are refused (the logs use this).
  void set_closed(bool on) { closed_ = on; }
  bool closed() const { return closed_; }

  void set_sink(LineSink sink, void* arg);
  void detach();
  void reattach();
  void flush();
  // Ends the current mode as a final flush does (a paragraph ends, pending
  // words and an unfinished line go out), then flushes.
  void finish();

  // Logs: NMCL logs get the raw markup (log_markup), text logs every
  // finished line as plain text.  Attaching an NMCL log writes its header
  // at once.  False when the list is full, attachments are refused
  // (closed), or a descriptor to remove is not in the list.
  bool attach_nmcl_log(int fd, int request);
  bool attach_text_log(int fd, int request);
  // Raw markup to every enabled NMCL log; the print entry points call
  // this before feeding the same text.
  void log_markup(std::string_view text) {
    if (nmcl_logs_.count > 0) log_put(nmcl_logs_, text.data(), text.size());
  }
  // Writes out both log buffers.
  void flush_logs();
  // 1 attached and enabled, 0 attached but disabled by a failed write,
  // -1 not attached.
  int nmcl_log_state(int fd) const { return list_state(nmcl_logs_, fd); }
  int text_log_state(int fd) const { return list_state(text_logs_, fd); }
  // The header an NMCL log gets when it is attached now.
  std::string nmcl_log_header() const;

  // {ccl name} asks this hook for the value of c(name); without a hook the
  // value is empty.
  using CclHook = std::function<std::string(std::string_view name)>;
  void set_ccl_hook(CclHook hook) { ccl_hook_ = std::move(hook); }
  // Called when the more prompt is answered with interrupt or q.
  using BreakHook = void (*)(void* arg);
  void set_break_hook(BreakHook hook, void* arg) {
    break_hook_ = hook;
    break_arg_ = arg;
  }
  // True once after the more prompt asked for a break; clears the flag.
  bool take_more_break() {
    bool b = more_break_;
    more_break_ = false;
    return b;
  }

  uint8_t style() const { return static_cast<uint8_t>(style_ & ~kLinkBit); }
  NmclMode mode() const { return mode_; }
  // True when a partial tag, a prefix of the reset line or a pending word
  // is held back.
  bool has_pending() const;
  int column() const { return col_; }
  int nesting_depth() const { return nesting_; }

  // The pre-rendered more prompt record (null until the first stream exists).
  static const uint8_t* more_prompt_record();

 private:
  // Internal style bit marking characters that belong to link text; never
  // reaches a LineRecord.
  static constexpr uint8_t kLinkBit = 64;

  struct MeasureTag {};
  explicit NmclStream(MeasureTag);

  // --- input side (nmcl_stream.cpp) ---
  void process_segment(const char* s, size_t n, bool ends_newline);
  size_t scan(const char* s, size_t n, size_t limit, bool outer, bool may_hold);
  static size_t match_brace(const char* s, size_t from, size_t n);
  void render_nested(std::string_view text);
  void render_literal(std::string_view text);
  int measure(std::string_view text);
  void reset_line();
  void release_partial();

  // --- logs (nmcl_logs.cpp) ---
  struct LogList {
    int fd[kMaxLogsPerList] = {};
    uint8_t enabled[kMaxLogsPerList] = {};
    uint8_t appends[kMaxLogsPerList] = {};  // opened for appending: the system positions each write
    int count = 0;
    uint32_t len = 0;
    char buf[kLogBufferSize] = {};
  };
  bool attach_log(LogList& list, int fd, int request, bool nmcl);
  static void log_put(LogList& list, const char* s, size_t n);
  static void log_write_out(LogList& list);
  static void log_write_all(LogList& list, const char* s, size_t n);
  static int list_state(const LogList& list, int fd);
  void text_log_line();

  // --- placement (nmcl_layout.cpp) ---
  size_t place_text(const char* s, size_t n, bool outer);
  void place_line_text(const char* s, size_t n);
  size_t place_para_text(const char* s, size_t n, bool outer);
  void put_span(const char* s, size_t n, uint8_t st);
  void put_glyph(uint8_t c, uint8_t st);
  void put_raw(uint8_t c, uint8_t st);
  void emit_glyph(uint8_t c, uint8_t st);
  void pad(int n);
  void pad_direct_to(int column);
  void wrap_line();
  void line_newline();
  void link_track(uint8_t st) {
    if (st & kLinkBit) {
      if (open_entry_ < 0) open_link_entry(col_);
    } else if (open_entry_ >= 0) {
      close_link_entry(col_);
    }
  }
  void open_link_entry(int column);
  void close_link_entry(int column);
  bool begin_link(uint8_t kind, std::string_view target);
  void end_link();
  void add_marker(std::string_view name);
  void finish_line();
  void new_line();
  void send_line(int kind);
  int build_record(uint8_t* out, bool finishing) const;
  void more_tick();
  void pend_append(uint8_t c, uint8_t st);
  void para_spaces(int n);
  void place_pending();
  void place_pending_forced();
  void change_mode(NmclMode to);
  void end_mode();
  void end_paragraph(bool blank_after);
  bool start_paragraph(int a, int b, int r, int w, bool w_given);
  void s6_feed(const char* s, size_t n);
  void s6_line(const char* s, size_t n);
  void draw_rule(int n);

  // --- tags (nmcl_tags.cpp) ---
  using TagArgs = NmclTagArgs;
  bool run_tag(std::string_view tag);
  bool run_known_tag(int id, const TagArgs& t);
  bool tag_link(int id, const TagArgs& t);
  bool tag_paragraph(int id, const TagArgs& t);
  bool tag_two_column(int id, const TagArgs& t);
  bool tag_syntax(int id, const TagArgs& t);
  bool tag_align(int id, const TagArgs& t);
  bool p2col_start(int c1, int c2, int c3, int c4, std::string_view first);
  void render_with_style(uint8_t mask, uint8_t bits, std::string_view text);

  // stream fields
  NmclMode mode_ = NmclMode::Line;
  bool stopped_ = false;
  bool closed_ = false;
  LineSink sink_ = nullptr, saved_sink_ = nullptr;
  void* sink_arg_ = nullptr;
  int width_ = 79;
  int header_match_ = 0;
  uint8_t style_ = kColourText;
  bool newline_pending_ = true;
  bool first_chunk_ = true;
  bool title_style_ = false;
  bool more_active_ = false;
  uint8_t nuvra_link_kind_ = kLinkNuvra;
  uint8_t lumo_link_kind_ = kLinkLumo;
  int page_length_ = 0;
  int line_counter_ = 0;
  bool more_enabled_ = true;
  bool more_break_ = false;
  int nesting_ = 1;
  bool skip_newline_ = false;
  bool at_line_start_ = false;  // paragraph mode: only blanks since the last newline
  int first_indent_ = 0, sub_indent_ = 0;
  int para_first_ = 0, para_right_ = 0;  // first indent and right margin as the paragraph began
  int para_lines_ = 0;
  int saved_width_ = 79;
  bool blank_after_ = false;
  NmclCharset charset_ = NmclCharset::Latin1;
  int p2_[5] = {1, 31, 35, 0, 2};
  CclHook ccl_hook_;
  BreakHook break_hook_ = nullptr;
  void* break_arg_ = nullptr;
  const CclHook* parent_ccl_ = nullptr;  // measuring streams ask their parent's hook
  bool measuring_ = false;
  static constexpr int kMeasureBudget = 64;
  int own_measure_budget_ = kMeasureBudget;
  int* measure_budget_ = &own_measure_budget_;  // shared with measuring streams
  int bind_depth_ = 0;
  int placed_ = 0;  // glyphs placed, for measuring

  // separator state (paragraph mode)
  int sep_prev_ = 2;  // 0 word, 1 sentence end, 2 tag boundary or start
  int sep_spaces_ = 0;
  uint8_t sep_style_ = kColourText;

  // link state
  bool link_live_ = false;   // a link's text is being rendered
  bool continued_ = false;   // re-record the link at column 0 of the next line
  uint8_t link_kind_ = 0;
  int link_target_len_ = 0;
  char link_target_[256] = {};
  int pend_link_chars_ = 0;  // link characters not yet placed

  // the line under construction
  bool line_empty_ = true;
  int col_ = 0;
  uint8_t text_[kMaxLineWidth + 1] = {};
  int nruns_ = 0;
  uint8_t run_style_[kMaxLineWidth + 1] = {};
  uint8_t run_end_[kMaxLineWidth + 1] = {};
  int links_len_ = 0;
  int link_count_ = 0;
  int open_entry_ = -1;
  uint8_t links_[kLinkSectionMax] = {};
  int markers_len_ = 0;
  char markers_[kMarkerAreaMax] = {};

  // pending word (paragraph mode)
  int pend_len_ = 0;
  uint8_t pend_c_[kMaxWordLength + 1] = {};
  uint8_t pend_s_[kMaxWordLength + 1] = {};

  // partial tag held across chunks
  int partial_len_ = 0;
  char partial_[kPartialTagMax] = {};

  // s6hlp line held across chunks
  int s6_len_ = 0;
  char s6_buf_[1024] = {};

  mutable uint8_t rec_[kRecordMax] = {};

  LogList nmcl_logs_, text_logs_;
};

// A LineRecord read back: the text (drawing codes left as codes) with one
// style byte per character, its links and markers.
struct DecodedLink {
  int start = 0, end = 0, kind = 0;
  std::string target;
};
struct DecodedLine {
  std::string text;
  std::vector<uint8_t> style;
  bool continuation = false;
  std::vector<DecodedLink> links;
  std::vector<std::string> markers;
};
DecodedLine decode_line_record(const uint8_t* rec);

// The line as plain text, drawing codes reduced to '-', '|' and '+'.
std::string plain_text(const uint8_t* rec);

}  // namespace nuvra::output
