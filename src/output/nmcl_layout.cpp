// Placement of rendered text on the line under construction: line-mode
// wrapping, paragraph words and separators, links and markers, finishing
// lines, mode changes and the s6hlp reader.
#include <algorithm>
#include <cstring>

#include "output/nmcl_stream.h"

namespace nuvra::output {
namespace {

constexpr char kSpaces[kMaxLineWidth + 1] =
    "                                                                                "
    "                                                                                "
    "                                                                                "
    "               ";

bool ends_sentence(uint8_t c) { return c == '.' || c == '!' || c == '?' || c == ':'; }

}  // namespace

// ---------------------------------------------------------------------------
// Characters on the line

size_t NmclStream::place_text(const char* s, size_t n, bool outer) {
  if (mode_ == NmclMode::Paragraph) return place_para_text(s, n, outer);
  place_line_text(s, n);
  return n;
}

void NmclStream::place_line_text(const char* s, size_t n) {
  size_t i = 0;
  while (i < n) {
    size_t j = i;
    while (j < n && s[j] != '\n' && s[j] != '\t') ++j;
    if (j > i) put_span(s + i, j - i, style_);
    if (j >= n) break;
    if (s[j] == '\n')
      line_newline();
    else
      pad(8 - col_ % 8);
    i = j + 1;
  }
}

void NmclStream::line_newline() {
  if (!newline_pending_) {
    newline_pending_ = true;
    return;
  }
  finish_line();
}

// Appends text in one style, starting a continuation line whenever the
// line is full. This is the hot path of plain output.
void NmclStream::put_span(const char* s, size_t n, uint8_t st) {
  const uint8_t run = static_cast<uint8_t>(st & ~kLinkBit);
  while (n > 0) {
    if (col_ >= width_) wrap_line();
    size_t k = std::min(n, static_cast<size_t>(width_ - col_));
    link_track(st);
    std::memcpy(text_ + col_, s, k);
    col_ += static_cast<int>(k);
    if (nruns_ > 0 && run_style_[nruns_ - 1] == run) {
      run_end_[nruns_ - 1] = static_cast<uint8_t>(col_);
    } else {
      run_style_[nruns_] = run;
      run_end_[nruns_] = static_cast<uint8_t>(col_);
      ++nruns_;
    }
    placed_ += static_cast<int>(k);
    line_empty_ = false;
    s += k;
    n -= k;
  }
}

void NmclStream::put_glyph(uint8_t c, uint8_t st) {
  char ch = static_cast<char>(c);
  put_span(&ch, 1, st);
}

// Indents and continuation marks: no wrapping, no link bookkeeping, and
// they do not make the line count as holding anything.
void NmclStream::put_raw(uint8_t c, uint8_t st) {
  if (col_ >= kMaxLineWidth) return;
  st = static_cast<uint8_t>(st & ~kLinkBit);
  text_[col_++] = c;
  if (nruns_ > 0 && run_style_[nruns_ - 1] == st) {
    run_end_[nruns_ - 1] = static_cast<uint8_t>(col_);
  } else {
    run_style_[nruns_] = st;
    run_end_[nruns_] = static_cast<uint8_t>(col_);
    ++nruns_;
  }
}

void NmclStream::wrap_line() {
  finish_line();
  uint8_t st = static_cast<uint8_t>(style_ & ~kLinkBit);
  put_raw('>', st);
  put_raw(' ', st);
}

// One character of rendered output: straight onto the line, or into the
// pending word in paragraph mode.
void NmclStream::emit_glyph(uint8_t c, uint8_t st) {
  if (mode_ == NmclMode::Paragraph)
    pend_append(c, st);
  else
    put_glyph(c, st);
}

void NmclStream::pad(int n) {
  if (n <= 0) return;
  if (mode_ == NmclMode::Paragraph) {
    for (int i = 0; i < n; ++i) pend_append(kHardSpace, style_);
    return;
  }
  while (n > 0) {
    int k = std::min(n, kMaxLineWidth);
    put_span(kSpaces, static_cast<size_t>(k), style_);
    n -= k;
  }
}

// Spaces placed directly on the line up to a 0-based column; in paragraph
// mode never past the line width.
void NmclStream::pad_direct_to(int column) {
  if (mode_ == NmclMode::Paragraph) column = std::min(column, width_);
  for (int n = column - col_; n > 0; n -= kMaxLineWidth)
    put_span(kSpaces, static_cast<size_t>(std::min(n, kMaxLineWidth)), style_);
}

void NmclStream::draw_rule(int n) {
  uint8_t st = static_cast<uint8_t>(style_ | kStyleDrawing);
  for (int i = 0; i < n; ++i) put_glyph(kDrawHorizontal, st);
}

// ---------------------------------------------------------------------------
// Links and markers

void NmclStream::open_link_entry(int column) {
  int size = 4 + link_target_len_ + 1;
  if (link_kind_ == 0 || 1 + links_len_ + size + 2 > kLinkSectionMax) return;
  uint8_t* e = links_ + links_len_;
  e[0] = static_cast<uint8_t>(column);
  e[1] = static_cast<uint8_t>(column);
  e[2] = link_kind_;
  e[3] = static_cast<uint8_t>(link_target_len_ + 1);
  std::memcpy(e + 4, link_target_, static_cast<size_t>(link_target_len_));
  e[4 + link_target_len_] = 0;
  open_entry_ = links_len_;
  links_len_ += size;
  ++link_count_;
}

void NmclStream::close_link_entry(int column) {
  if (links_[open_entry_] == column) {
    // The entry is always the last one, so dropping it truncates the table.
    links_len_ = open_entry_;
    --link_count_;
  } else {
    links_[open_entry_ + 1] = static_cast<uint8_t>(column);
  }
  open_entry_ = -1;
}

// Prepares the link state for a link's text; returns false when the target
// cannot be recorded (the text then shows without a link).
bool NmclStream::begin_link(uint8_t kind, std::string_view target) {
  if (target.size() >= 255) return false;
  link_kind_ = kind;
  link_target_len_ = static_cast<int>(target.size());
  std::memcpy(link_target_, target.data(), target.size());
  return true;
}

void NmclStream::end_link() {
  link_live_ = false;
  if (mode_ != NmclMode::Paragraph && open_entry_ >= 0) close_link_entry(col_);
}

void NmclStream::add_marker(std::string_view name) {
  // Names are stored NUL-terminated one after another, so a NUL inside a
  // name would end it there and leave the rest as a stray name.
  if (size_t nul = name.find('\0'); nul != std::string_view::npos) name = name.substr(0, nul);
  if (name.size() > 32) name = name.substr(0, 32);
  int need = static_cast<int>(name.size()) + 1;
  if (name.empty() || markers_len_ + need >= kMarkerAreaMax) return;
  std::memcpy(markers_ + markers_len_, name.data(), name.size());
  markers_len_ += need;
  markers_[markers_len_ - 1] = 0;
}

// ---------------------------------------------------------------------------
// Line ends

void NmclStream::finish_line() {
  if (open_entry_ >= 0) {
    bool more_to_come = link_live_ || pend_link_chars_ > 0;
    close_link_entry(col_);
    continued_ = more_to_come;
  }
  if (mode_ == NmclMode::Paragraph) ++para_lines_;
  if (text_logs_.count > 0) text_log_line();
  if (sink_) {
    send_line(kSinkLine);
    more_tick();
  }
  new_line();
}

void NmclStream::new_line() {
  col_ = 0;
  nruns_ = 0;
  markers_len_ = 0;
  links_len_ = 0;
  link_count_ = 0;
  open_entry_ = -1;
  line_empty_ = true;
  if (continued_) {
    continued_ = false;
    open_link_entry(0);
  }
  if (mode_ == NmclMode::Paragraph) {
    if (first_indent_ > 0 && first_indent_ < width_ - 5)
      for (int i = 0; i < first_indent_; ++i) put_raw(' ', kColourText);
    first_indent_ = sub_indent_;
  }
}

// ---------------------------------------------------------------------------
// Paragraph mode

size_t NmclStream::place_para_text(const char* s, size_t n, bool outer) {
  for (size_t i = 0; i < n; ++i) {
    char c = s[i];
    if (c == '\n') {
      if (!newline_pending_) {
        newline_pending_ = true;
        continue;
      }
      if (outer) {
        if (at_line_start_) {
          // A blank line ends the paragraph.
          change_mode(NmclMode::Line);
          return i + 1;
        }
        at_line_start_ = true;
      }
      para_spaces(1);
    } else if (c == ' ' || c == '\t') {
      int count = c == '\t' ? 2 : 1;
      if (bind_depth_ > 0) {
        for (int k = 0; k < count; ++k) pend_append(kHardSpace, style_);
      } else {
        para_spaces(count);
      }
    } else {
      if (outer) at_line_start_ = false;
      pend_append(static_cast<uint8_t>(c), style_);
    }
  }
  return n;
}

void NmclStream::para_spaces(int n) {
  if (pend_len_ > 0) place_pending();
  if (sep_spaces_ == 0) sep_style_ = style_;
  sep_spaces_ += n;
}

void NmclStream::pend_append(uint8_t c, uint8_t st) {
  if (pend_len_ >= kMaxWordLength) place_pending_forced();
  pend_c_[pend_len_] = c;
  pend_s_[pend_len_] = st;
  ++pend_len_;
  if (st & kLinkBit) ++pend_link_chars_;
}

// Places the pending word with the separator the spaces before it call for,
// breaking the line first when it does not fit.
void NmclStream::place_pending() {
  int len = pend_len_;
  if (len == 0) return;
  int sep;
  if (line_empty_)
    sep = 0;
  else if (sep_prev_ == 2)
    sep = sep_spaces_ > 0 ? 1 : 0;
  else if (sep_prev_ == 1 && sep_spaces_ >= 2)
    sep = 2;
  else
    sep = 1;
  if (col_ + sep + len > width_ && !line_empty_) {
    finish_line();
    sep = 0;
  }
  for (int i = 0; i < sep; ++i) put_glyph(' ', sep_style_);
  pend_len_ = 0;  // a wrap inside a long word must not see it again
  for (int i = 0; i < len; ++i) {
    uint8_t c = pend_c_[i];
    put_glyph(c == kHardSpace ? ' ' : c, pend_s_[i]);
    if (pend_s_[i] & kLinkBit) --pend_link_chars_;
  }
  pend_link_chars_ = 0;
  sep_prev_ = ends_sentence(pend_c_[len - 1]) ? 1 : 0;
  sep_spaces_ = 0;
}

// A word that outgrew the pending buffer goes out at once on a line of its
// own; what follows continues it without a separator.
void NmclStream::place_pending_forced() {
  if (!line_empty_) finish_line();
  sep_prev_ = 2;
  sep_spaces_ = 0;
  place_pending();
  sep_prev_ = 2;
  sep_spaces_ = 0;
}

// ---------------------------------------------------------------------------
// Modes

void NmclStream::change_mode(NmclMode to) {
  end_mode();
  mode_ = to;
  header_match_ = 0;
  newline_pending_ = true;
  first_chunk_ = true;
  at_line_start_ = false;
  new_line();
  if (to == NmclMode::S6hlp) style_ = static_cast<uint8_t>((style_ & ~kStyleColourMask) | kColourText);
}

void NmclStream::end_mode() {
  release_partial();
  switch (mode_) {
    case NmclMode::Paragraph:
      end_paragraph(blank_after_);
      break;
    case NmclMode::S6hlp:
      if (s6_len_ > 0) {
        int n = s6_len_;
        s6_len_ = 0;
        s6_line(s6_buf_, static_cast<size_t>(n));
      }
      if (!line_empty_) finish_line();
      break;
    default:
      if (!line_empty_) finish_line();
      break;
  }
}

void NmclStream::end_paragraph(bool blank_after) {
  place_pending();
  if (!line_empty_) finish_line();
  mode_ = NmclMode::Line;
  new_line();  // drops the indent already drawn for the next line
  width_ = saved_width_;
  if (blank_after) finish_line();
  blank_after_ = false;
  para_lines_ = 0;
  sep_prev_ = 2;
  sep_spaces_ = 0;
}

// Steps shared by {p} and the presets; a and b are checked here, the other
// values are clipped.
bool NmclStream::start_paragraph(int a, int b, int r, int w, bool w_given) {
  if (a < 0 || b < 0 || r < 0 || w < 0 || a > 255 || b > 255) return false;
  // Anchors already on the still-empty line survive the switch.
  char kept[kMarkerAreaMax];
  int kept_len = 0;
  if (line_empty_) {
    kept_len = markers_len_;
    std::memcpy(kept, markers_, static_cast<size_t>(kept_len));
  }
  end_mode();
  int W = width_;
  if (w_given && w != 0) {
    W = std::min(w, kMaxLineWidth);
    if (W < 41) W = 40;
  }
  int first = std::min(a, W - 20);
  int sub = std::min(b, W - 20);
  int right = std::min(r, std::max(0, W - std::max(first, sub) - 20));

  saved_width_ = width_;
  mode_ = NmclMode::Paragraph;
  blank_after_ = true;
  sep_prev_ = 2;
  sep_spaces_ = 0;
  pend_len_ = 0;
  pend_link_chars_ = 0;
  para_lines_ = 0;
  header_match_ = 0;
  newline_pending_ = true;
  first_chunk_ = true;
  at_line_start_ = false;
  if (w_given) width_ = W;
  width_ -= right;
  first_indent_ = para_first_ = first;
  sub_indent_ = sub;
  para_right_ = right;
  new_line();
  std::memcpy(markers_, kept, static_cast<size_t>(kept_len));
  markers_len_ = kept_len;
  return true;
}

// ---------------------------------------------------------------------------
// The s6hlp reader: whole lines, ^highlight^ and @topic@ links.

void NmclStream::s6_feed(const char* s, size_t n) {
  for (size_t i = 0; i < n; ++i) {
    char c = s[i];
    if (first_chunk_) {
      first_chunk_ = false;
      if (c == '\n') continue;
    }
    if (c == '\n') {
      int len = s6_len_;
      s6_len_ = 0;
      s6_line(s6_buf_, static_cast<size_t>(len));
      line_newline();
      continue;
    }
    s6_buf_[s6_len_++] = c;
    if (s6_len_ == static_cast<int>(sizeof s6_buf_) - 1) {
      int len = s6_len_;
      s6_len_ = 0;
      s6_line(s6_buf_, static_cast<size_t>(len));
    }
  }
}

void NmclStream::s6_line(const char* s, size_t n) {
  // ". -" with optional blanks draws a full-width rule.
  if (n >= 2 && s[0] == '.') {
    size_t j = 1;
    while (j < n && s[j] == ' ') ++j;
    if (j < n && s[j] == '-') {
      ++j;
      while (j < n && s[j] == ' ') ++j;
      if (j == n) {
        if (!line_empty_) finish_line();
        draw_rule(width_ - col_);
        return;
      }
    }
  }
  size_t i = 0;
  while (i < n) {
    size_t k = i;
    while (k < n && s[k] != '^' && s[k] != '@') ++k;
    if (k > i) place_line_text(s + i, k - i);
    if (k >= n) break;
    char marker = s[k];
    const void* other = std::memchr(s + k + 1, marker, n - k - 1);
    if (!other) {
      place_line_text(s + k, 1);
      i = k + 1;
      continue;
    }
    size_t e = static_cast<size_t>(static_cast<const char*>(other) - s);
    std::string_view inner(s + k + 1, e - k - 1);
    uint8_t old = style_;
    if (marker == '^') {
      style_ = static_cast<uint8_t>((style_ & ~kStyleColourMask) | kColourHilite);
      place_line_text(inner.data(), inner.size());
    } else {
      bool recorded = !link_live_ && begin_link(kLinkHelp, inner);
      style_ = static_cast<uint8_t>((style_ & ~kStyleColourMask) | kColourLink |
                                    (recorded ? kLinkBit : 0));
      link_live_ = recorded;
      place_line_text(inner.data(), inner.size());
      if (recorded) end_link();
    }
    style_ = old;
    i = e + 1;
  }
}

}  // namespace nuvra::output
