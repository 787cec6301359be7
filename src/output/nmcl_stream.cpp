// The input side of NmclStream: life cycle, the reset line, chunk scanning
// with tags held across chunks, recursive rendering of tag text, LineRecord
// encoding and the more prompt.
#include "output/nmcl_stream.h"

#include <algorithm>
#include <cstring>

namespace nuvra::output {
namespace {

// The reset line: always honoured, even in asis mode, and never shown.
constexpr char kResetLine[] = "{nmcl}\n";
constexpr int kResetLen = 7;

// The more prompt is rendered once, by the first stream ever created.
uint8_t g_more_record[kRecordMax];
int g_more_length = 0;
bool g_more_rendering = false;

int store_more_record(void*, const uint8_t* rec, int kind) {
  if (kind == kSinkLine && g_more_length == 0 && rec != nullptr) {
    int len = rec[0] | (rec[1] << 8);
    std::memcpy(g_more_record, rec, static_cast<size_t>(len));
    g_more_length = len;
  }
  return 0;
}

// Position of the reset line in p[0..n), or npos.  Every chunk is searched,
// so this checks the byte after each brace before comparing the rest.
size_t find_reset(const char* p, size_t n) {
  if (n < static_cast<size_t>(kResetLen)) return std::string_view::npos;
  const size_t last = n - static_cast<size_t>(kResetLen);
  for (size_t i = 0; i <= last; ++i) {
    if (p[i] == '{' && p[i + 1] == 'n' && std::memcmp(p + i, kResetLine, kResetLen) == 0) return i;
  }
  return std::string_view::npos;
}

void put16(uint8_t* p, int v) {
  p[0] = static_cast<uint8_t>(v & 0xFF);
  p[1] = static_cast<uint8_t>((v >> 8) & 0xFF);
}

unsigned get16(const uint8_t* p) { return p[0] | (p[1] << 8); }

}  // namespace

NmclStream::NmclStream() {
  if (g_more_length == 0 && !g_more_rendering) {
    g_more_rendering = true;
    {
      NmclStream prompt;
      prompt.set_sink(store_more_record, nullptr);
      prompt.feed("{clearmore:{hline 2}more{hline 2}}\n");
    }
    g_more_rendering = false;
  }
}

NmclStream::NmclStream(MeasureTag) { measuring_ = true; }

NmclStream::~NmclStream() {
  if (sink_) {
    sink_(sink_arg_, nullptr, kSinkFlush);
    sink_(sink_arg_, nullptr, kSinkDestroy);
  }
  flush_logs();
}

const uint8_t* NmclStream::more_prompt_record() {
  return g_more_length > 0 ? g_more_record : nullptr;
}

void NmclStream::set_width(int columns) { width_ = std::clamp(columns, 40, kMaxLineWidth); }

void NmclStream::set_sink(LineSink sink, void* arg) {
  sink_ = saved_sink_ = sink;
  sink_arg_ = arg;
}

void NmclStream::detach() {
  flush();
  sink_ = nullptr;
}

void NmclStream::reattach() {
  flush();
  sink_ = saved_sink_;
}

void NmclStream::flush() {
  if (sink_) {
    if (!line_empty_) send_line(kSinkPartial);
    sink_(sink_arg_, nullptr, kSinkFlush);
  }
  flush_logs();
}

void NmclStream::finish() {
  // A held prefix of the reset line will not be completed now.
  if (header_match_ > 0) {
    int held = header_match_;
    header_match_ = 0;
    process_segment(kResetLine, static_cast<size_t>(held), false);
  }
  change_mode(NmclMode::Line);
  flush();
}

bool NmclStream::has_pending() const {
  return partial_len_ > 0 || pend_len_ > 0 || header_match_ > 0;
}

// ---------------------------------------------------------------------------
// Feeding

void NmclStream::feed(std::string_view chunk) {
  if (stopped_ || chunk.empty()) return;
  const char* p = chunk.data();
  size_t n = chunk.size();

  // A prefix of the reset line held back from the previous chunk is either
  // completed here or released as ordinary input.
  if (header_match_ > 0) {
    size_t k = 0;
    while (header_match_ + static_cast<int>(k) < kResetLen && k < n &&
           p[k] == kResetLine[header_match_ + static_cast<int>(k)])
      ++k;
    if (header_match_ + static_cast<int>(k) == kResetLen) {
      header_match_ = 0;
      reset_line();
      p += k;
      n -= k;
    } else if (k == n) {
      header_match_ += static_cast<int>(k);
      return;
    } else {
      int held = header_match_;
      header_match_ = 0;
      process_segment(kResetLine, static_cast<size_t>(held), false);
    }
  }

  while (n > 0) {
    size_t pos = find_reset(p, n);
    if (pos != std::string_view::npos) {
      if (pos > 0) process_segment(p, pos, true);
      reset_line();
      p += pos + kResetLen;
      n -= pos + kResetLen;
      continue;
    }
    int hold = 0;
    for (int k = static_cast<int>(std::min<size_t>(n, kResetLen - 1)); k >= 1; --k) {
      if (p[n - static_cast<size_t>(k)] == '{' &&
          std::memcmp(p + n - static_cast<size_t>(k), kResetLine, static_cast<size_t>(k)) == 0) {
        hold = k;
        break;
      }
    }
    size_t body = n - static_cast<size_t>(hold);
    if (body > 0) process_segment(p, body, hold == 0 && p[n - 1] == '\n');
    header_match_ = hold;
    return;
  }
}

void NmclStream::reset_line() { change_mode(NmclMode::Line); }

// One stretch of outermost input in whatever mode the stream is in.
void NmclStream::process_segment(const char* s, size_t n, bool ends_newline) {
  size_t off = 0;
  while (off < n) {
    if (mode_ == NmclMode::Asis) {
      place_line_text(s + off, n - off);
      return;
    }
    if (mode_ == NmclMode::S6hlp) {
      s6_feed(s + off, n - off);
      return;
    }
    if (partial_len_ > 0) {
      // Join the held tag with at most 1024 bytes of the new input and
      // rescan; anything the held bytes start is finished inside the join.
      size_t take = std::min(n - off, static_cast<size_t>(kPartialTagMax));
      char join[2 * kPartialTagMax];
      size_t held = static_cast<size_t>(partial_len_);
      std::memcpy(join, partial_, held);
      std::memcpy(join + held, s + off, take);
      partial_len_ = 0;
      bool whole = off + take == n;
      size_t q = scan(join, held + take, held, true, whole && !ends_newline);
      off += q >= held + take ? take : q - held;
      continue;
    }
    off += scan(s + off, n - off, n - off, true, !ends_newline);
  }
}

size_t NmclStream::match_brace(const char* s, size_t from, size_t n) {
  int depth = 0;
  for (size_t i = from; i < n; ++i) {
    if (s[i] == '{') {
      ++depth;
    } else if (s[i] == '}') {
      if (--depth == 0) return i;
    }
  }
  return std::string_view::npos;
}

// Scans s[0..n) for text and tags, handling every item that starts before
// `limit`. Returns the position after the last item handled (n once the
// stream has switched to asis or s6hlp, which takes the rest).
size_t NmclStream::scan(const char* s, size_t n, size_t limit, bool outer, bool may_hold) {
  size_t i = 0;
  while (i < limit) {
    if (mode_ == NmclMode::Asis) {
      place_line_text(s + i, n - i);
      return n;
    }
    if (mode_ == NmclMode::S6hlp) {
      s6_feed(s + i, n - i);
      return n;
    }
    if (outer && skip_newline_) {
      skip_newline_ = false;
      if (mode_ == NmclMode::Line && s[i] == '\n') {
        ++i;
        continue;
      }
    }
    const void* brace = std::memchr(s + i, '{', limit - i);
    size_t end = brace ? static_cast<size_t>(static_cast<const char*>(brace) - s) : limit;
    if (end > i) {
      i += place_text(s + i, end - i, outer);
      continue;
    }
    if (outer) at_line_start_ = false;
    size_t close = match_brace(s, i, n);
    if (close == std::string_view::npos) {
      if (may_hold && n - i < static_cast<size_t>(kPartialTagMax)) {
        std::memcpy(partial_, s + i, n - i);
        partial_len_ = static_cast<int>(n - i);
        return n;
      }
      place_text(s + i, 1, outer);
      ++i;
      continue;
    }
    if (run_tag(std::string_view(s + i + 1, close - i - 1))) {
      i = close + 1;
    } else {
      place_text(s + i, 1, outer);
      ++i;
    }
  }
  return i;
}

void NmclStream::render_nested(std::string_view text) {
  ++nesting_;
  scan(text.data(), text.size(), text.size(), false, false);
  --nesting_;
}

void NmclStream::render_literal(std::string_view text) {
  if (mode_ == NmclMode::Paragraph)
    place_para_text(text.data(), text.size(), false);
  else
    place_line_text(text.data(), text.size());
}

// A held partial tag that will never be completed shows as typed.
void NmclStream::release_partial() {
  if (partial_len_ == 0) return;
  char held[kPartialTagMax];
  size_t n = static_cast<size_t>(partial_len_);
  std::memcpy(held, partial_, n);
  partial_len_ = 0;
  render_literal(std::string_view(held, n));
}

// Columns the text would take when rendered here, measured on a private
// line-mode stream so nothing reaches this stream's line.
int NmclStream::measure(std::string_view text) {
  bool plain = true;
  for (char c : text) plain = plain && c != '{' && c != '\t' && c != '\n';
  if (plain) return static_cast<int>(text.size());
  // Every nested alignment measures its own text again, so the cost doubles
  // per level; each outermost tag gets a fixed number of measurements, and
  // past that the raw length has to do.
  if (*measure_budget_ <= 0) return static_cast<int>(text.size());
  --*measure_budget_;
  NmclStream m{MeasureTag{}};
  m.measure_budget_ = measure_budget_;
  m.width_ = kMaxLineWidth;
  m.style_ = static_cast<uint8_t>(style_ & ~kLinkBit);
  m.charset_ = charset_;
  m.title_style_ = title_style_;
  m.parent_ccl_ = ccl_hook_ ? &ccl_hook_ : parent_ccl_;
  m.nesting_ = nesting_;
  std::copy(std::begin(p2_), std::end(p2_), std::begin(m.p2_));
  m.render_nested(text);
  return m.placed_;
}

// ---------------------------------------------------------------------------
// LineRecords and the sink

int NmclStream::build_record(uint8_t* out, bool finishing) const {
  int p = 10;
  out[p++] = static_cast<uint8_t>(link_count_);
  std::memcpy(out + p, links_, static_cast<size_t>(links_len_));
  p += links_len_;
  out[p++] = 0;
  out[p++] = 0;
  int marker_off = p;
  std::memcpy(out + p, markers_, static_cast<size_t>(markers_len_));
  p += markers_len_;
  out[p++] = 0;
  int style_off = p;
  if (nruns_ == 0) {
    out[p++] = 0;
    out[p++] = 0;
    out[p++] = static_cast<uint8_t>(style_ & ~kLinkBit);
    out[p++] = 0;
  } else {
    out[p++] = static_cast<uint8_t>(nruns_ - 1);
    out[p++] = 0;
    for (int r = 0; r < nruns_; ++r) {
      out[p++] = run_style_[r];
      out[p++] = run_end_[r];
    }
  }
  int text_off = p;
  std::memcpy(out + p, text_, static_cast<size_t>(col_));
  p += col_;
  out[p++] = 0;
  put16(out, p);
  put16(out + 2, marker_off);
  put16(out + 4, style_off);
  put16(out + 6, text_off);
  // A line being finished has already been counted; an open line is the
  // next one.
  int line_no = para_lines_ + (finishing ? 0 : 1);
  out[8] = mode_ == NmclMode::Paragraph && line_no >= 2 ? 1 : 0;
  out[9] = static_cast<uint8_t>((col_ + 1) & 0xFF);
  return p;
}

void NmclStream::send_line(int kind) {
  if (!sink_) return;
  build_record(rec_, kind == kSinkLine);
  sink_(sink_arg_, rec_, kind);
}

void NmclStream::more_tick() {
  if (page_length_ <= 0 || !more_enabled_) return;
  if (++line_counter_ < page_length_) return;
  const uint8_t* prompt = more_prompt_record();
  if (!sink_ || !prompt) return;
  more_active_ = true;
  int key = sink_(sink_arg_, prompt, kSinkMore);
  more_active_ = false;
  if (key == 3 || key == 'q') {
    line_counter_ = 0;
    more_break_ = true;
    if (break_hook_) break_hook_(break_arg_);
  } else if (key == '\n' || key == '\r' || key == 'l') {
    line_counter_ = page_length_;  // the prompt returns after one more line
  } else {
    line_counter_ = 0;
  }
}

// ---------------------------------------------------------------------------
// Reading records back

DecodedLine decode_line_record(const uint8_t* rec) {
  DecodedLine out;
  unsigned total = get16(rec);
  unsigned marker_off = get16(rec + 2);
  unsigned style_off = get16(rec + 4);
  unsigned text_off = get16(rec + 6);
  unsigned len = total > text_off ? total - text_off - 1 : 0;
  out.continuation = rec[8] != 0;
  out.text.assign(reinterpret_cast<const char*>(rec + text_off), len);
  out.style.assign(len, kColourText);

  const uint8_t* runs = rec + style_off;
  unsigned last = runs[0];
  unsigned start = runs[1];
  for (unsigned r = 0; r <= last; ++r) {
    uint8_t style = runs[2 + 2 * r];
    unsigned end = runs[3 + 2 * r];
    for (unsigned c = start; c < end && c < len; ++c) out.style[c] = style;
    start = end;
  }

  unsigned p = 11;
  for (unsigned i = 0; i < rec[10]; ++i) {
    DecodedLink link;
    link.start = rec[p];
    link.end = rec[p + 1];
    link.kind = rec[p + 2];
    unsigned tlen = rec[p + 3];
    link.target.assign(reinterpret_cast<const char*>(rec + p + 4), tlen ? tlen - 1 : 0);
    out.links.push_back(std::move(link));
    p += 4 + tlen;
  }

  for (unsigned q = marker_off; rec[q] != 0;) {
    std::string name(reinterpret_cast<const char*>(rec + q));
    q += static_cast<unsigned>(name.size()) + 1;
    out.markers.push_back(std::move(name));
  }
  return out;
}

std::string plain_text(const uint8_t* rec) {
  DecodedLine line = decode_line_record(rec);
  for (size_t i = 0; i < line.text.size(); ++i) {
    if (!(line.style[i] & kStyleDrawing)) continue;
    uint8_t code = static_cast<uint8_t>(line.text[i]);
    if (code == kDrawTopTee || code == kDrawBottomTee)
      line.text[i] = '-';
    else if (code == kDrawLeftTee || code == kDrawRightTee)
      line.text[i] = '|';
    else if (code >= kDrawBottomRight && code <= kDrawTopLeft)
      line.text[i] = '+';
  }
  return line.text;
}

}  // namespace nuvra::output
