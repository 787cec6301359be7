// The log lists of a stream: up to five NMCL logs that receive the raw
// markup and five text logs that receive each finished line as plain text.
// Each list shares one 512-byte buffer; a write-out positions every
// descriptor at its end of file first, so several logs on one file (or a
// file also written by someone else) stay in order.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "output/nmcl_stream.h"

namespace nuvra::output {
namespace {

// Plain-text form of the drawing codes: tees to '-' or '|', corners to '+';
// the line and cross codes are already their characters.
constexpr uint8_t plain_drawing(uint8_t code) {
  switch (code) {
    case kDrawTopTee:
    case kDrawBottomTee:
      return '-';
    case kDrawLeftTee:
    case kDrawRightTee:
      return '|';
    case kDrawBottomRight:
    case kDrawBottomLeft:
    case kDrawTopRight:
    case kDrawTopLeft:
      return '+';
    default:
      return code;
  }
}

// True when all n bytes were written.  A descriptor opened for appending
// is positioned at the end by every write already.
bool write_fully(int fd, const char* s, size_t n, bool appends) {
  if (!appends && ::lseek(fd, 0, SEEK_END) < 0 && errno != ESPIPE) return false;
  while (n > 0) {
    ssize_t w = ::write(fd, s, n);
    if (w < 0 && errno == EINTR) continue;
    if (w <= 0) return false;
    s += w;
    n -= static_cast<size_t>(w);
  }
  return true;
}

}  // namespace

int NmclStream::list_state(const LogList& list, int fd) {
  for (int i = 0; i < list.count; ++i)
    if (list.fd[i] == fd) return list.enabled[i] ? 1 : 0;
  return -1;
}

void NmclStream::log_write_all(LogList& list, const char* s, size_t n) {
  for (int i = 0; i < list.count; ++i) {
    // A log that failed once stays silent: the session goes on without it.
    if (list.enabled[i] && !write_fully(list.fd[i], s, n, list.appends[i])) list.enabled[i] = 0;
  }
}

void NmclStream::log_write_out(LogList& list) {
  if (list.len == 0) return;
  uint32_t n = list.len;
  list.len = 0;
  log_write_all(list, list.buf, n);
}

void NmclStream::log_put(LogList& list, const char* s, size_t n) {
  if (n > kLogBufferSize) {
    log_write_out(list);
    log_write_all(list, s, n);
    return;
  }
  if (list.len + n > kLogBufferSize) log_write_out(list);
  std::memcpy(list.buf + list.len, s, n);
  list.len += static_cast<uint32_t>(n);
}

void NmclStream::flush_logs() {
  log_write_out(nmcl_logs_);
  log_write_out(text_logs_);
}

bool NmclStream::attach_nmcl_log(int fd, int request) { return attach_log(nmcl_logs_, fd, request, true); }
bool NmclStream::attach_text_log(int fd, int request) { return attach_log(text_logs_, fd, request, false); }

bool NmclStream::attach_log(LogList& list, int fd, int request, bool nmcl) {
  int at = -1;
  for (int i = 0; i < list.count; ++i)
    if (list.fd[i] == fd) at = i;
  switch (request) {
    case kLogAdd: {
      if (closed_) return false;
      if (at >= 0) return true;
      if (list.count >= kMaxLogsPerList) return false;
      // What the buffer holds was printed before this log existed.
      log_write_out(list);
      int flags = ::fcntl(fd, F_GETFL);
      list.fd[list.count] = fd;
      list.enabled[list.count] = 1;
      list.appends[list.count] = flags >= 0 && (flags & O_APPEND) ? 1 : 0;
      ++list.count;
      if (nmcl) {
        std::string header = nmcl_log_header();
        if (!write_fully(fd, header.data(), header.size(), list.appends[list.count - 1]))
          list.enabled[list.count - 1] = 0;
      }
      return true;
    }
    case kLogRemove:
    case kLogRemoveNow:
      if (at < 0) return false;
      if (request == kLogRemove) log_write_out(list);
      for (int i = at; i + 1 < list.count; ++i) {
        list.fd[i] = list.fd[i + 1];
        list.enabled[i] = list.enabled[i + 1];
        list.appends[i] = list.appends[i + 1];
      }
      --list.count;
      if (list.count == 0) list.len = 0;
      return true;
    default:
      return false;
  }
}

// The state a log needs to render what follows as this stream will:
// colour, font, underline and the mode.
std::string NmclStream::nmcl_log_header() const {
  uint8_t st = style();
  uint8_t colour = st & kStyleColourMask;
  // A line already under way keeps the colour it started in.
  if (!line_empty_ && nruns_ > 0) colour = run_style_[0] & kStyleColourMask;
  std::string h = "{nmcl}\n";
  switch (colour) {
    case kColourResult: h += "{res}"; break;
    case kColourText: h += "{txt}"; break;
    case kColourInput: h += "{com}"; break;
    default: h += "{err}"; break;
  }
  h += (st & kStyleItalic) ? "{it}" : (st & kStyleBold) ? "{bf}" : "{sf}";
  h += (st & kStyleUnderline) ? "{ul on}" : "{ul off}";
  switch (mode_) {
    case NmclMode::Asis: h += "{asis}\n"; break;
    case NmclMode::S6hlp: h += "{s6hlp}\n"; break;
    case NmclMode::Paragraph: {
      // Before the paragraph's first line is out its first indent still
      // applies; afterwards every new line takes the subsequent one.
      int first = para_lines_ == 0 && line_empty_ ? para_first_ : first_indent_;
      char p[64];
      std::snprintf(p, sizeof p, "{p %d %d %d}\n", first, sub_indent_, para_right_);
      h += p;
      break;
    }
    default:
      break;
  }
  return h;
}

// The finished line as plain text plus a newline, to every text log.  This
// runs for every line of every listing, so it works on the line buffers
// directly.
void NmclStream::text_log_line() {
  char line[kMaxLineWidth + 2];
  std::memcpy(line, text_, static_cast<size_t>(col_));
  int start = 0;
  for (int r = 0; r < nruns_; ++r) {
    int end = run_end_[r];
    if (run_style_[r] & kStyleDrawing)
      for (int c = start; c < end; ++c) line[c] = static_cast<char>(plain_drawing(text_[c]));
    start = end;
  }
  line[col_] = '\n';
  log_put(text_logs_, line, static_cast<size_t>(col_) + 1);
}

}  // namespace nuvra::output
