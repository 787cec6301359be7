#include "output/nmcl_stream.h"
#include <cstdlib>
#include <cstring>
namespace nuvra::output {
namespace {
void put16(std::vector<uint8_t>& b, size_t at, unsigned v) { b[at] = v & 0xFF; b[at + 1] = v >> 8; }
std::vector<uint8_t> encode_record(const std::string& text, const std::vector<uint8_t>& styles) {
  std::vector<uint8_t> b(10, 0);
  b[9] = static_cast<uint8_t>(text.size() + 1);
  b.push_back(0); b.push_back(0); b.push_back(0);
  put16(b, 2, b.size()); b.push_back(0); put16(b, 4, b.size());
  std::vector<std::pair<uint8_t, uint8_t>> runs;
  for (size_t i = 0; i < styles.size(); ++i) {
    if (runs.empty() || runs.back().first != styles[i]) runs.push_back({styles[i], static_cast<uint8_t>(i + 1)});
    else runs.back().second = static_cast<uint8_t>(i + 1);
  }
  if (runs.empty()) runs.push_back({kColourText, 0});
  b.push_back(static_cast<uint8_t>(runs.size() - 1)); b.push_back(0);
  for (auto& r : runs) { b.push_back(r.first); b.push_back(r.second); }
  put16(b, 6, b.size());
  b.insert(b.end(), text.begin(), text.end()); b.push_back(0);
  put16(b, 0, b.size());
  return b;
}
uint8_t colour_of(std::string_view n) {
  if (n == "txt" || n == "text" || n == "green" || n == "gr") return kColourText;
  if (n == "res" || n == "result" || n == "yellow" || n == "ye") return kColourResult;
  if (n == "err" || n == "error" || n == "red" || n == "re") return kColourError;
  if (n == "inp" || n == "input" || n == "com" || n == "command" || n == "white" || n == "wh") return kColourInput;
  if (n == "cmd" || n == "hilite" || n == "hi") return kColourHilite;
  return 0;
}
bool is_link_tag(std::string_view n) { return n == "help" || n == "helpb" || n == "search" || n == "browse" || n == "view" || n == "net" || n == "ado" || n == "update" || n == "nuvra"; }
bool parse_uint(std::string_view s, int& v) {
  if (s.empty() || s.size() > 6) return false;
  int r = 0;
  for (char c : s) { if (c < '0' || c > '9') return false; r = r * 10 + (c - '0'); }
  v = r; return true;
}
}
NmclStream::NmclStream() = default;
NmclStream::~NmclStream() { if (sink_) { sink_(sink_arg_, nullptr, kSinkFlush); sink_(sink_arg_, nullptr, kSinkDestroy); } }
void NmclStream::set_width(int c) { width_ = c < 40 ? 40 : c > 255 ? 255 : c; }
void NmclStream::set_sink(LineSink s, void* a) { sink_ = saved_sink_ = s; sink_arg_ = a; }
void NmclStream::detach() { flush(); sink_ = nullptr; }
void NmclStream::reattach() { flush(); sink_ = saved_sink_; }
void NmclStream::flush() {
  if (!sink_) return;
  if (!text_.empty()) { auto rec = encode_record(text_, styles_); sink_(sink_arg_, rec.data(), kSinkPartial); }
  sink_(sink_arg_, nullptr, kSinkFlush);
}
void NmclStream::end_line(int kind) {
  if (sink_) { auto rec = encode_record(text_, styles_); sink_(sink_arg_, rec.data(), kind); }
  text_.clear(); styles_.clear();
}
void NmclStream::place_char(uint8_t c, uint8_t style) {
  if (text_.size() >= 255) end_line(kSinkLine);
  text_.push_back(static_cast<char>(c)); styles_.push_back(style);
}
void NmclStream::place_text(std::string_view text) {
  for (char ch : text) {
    if (ch == '\n') { if (newline_pending_) end_line(kSinkLine); else newline_pending_ = true; }
    else if (ch == '\t') { do place_char(' ', style_); while (text_.size() % 8 != 0); }
    else place_char(static_cast<uint8_t>(ch), style_);
  }
}
void NmclStream::render_nested(std::string_view text) {
  size_t pos = 0;
  while (pos < text.size()) {
    size_t open = text.find('{', pos);
    if (open == std::string_view::npos) { place_text(text.substr(pos)); return; }
    place_text(text.substr(pos, open - pos));
    int depth = 0; size_t close = open;
    for (; close < text.size(); ++close) { if (text[close] == '{') ++depth; if (text[close] == '}' && --depth == 0) break; }
    if (close >= text.size() || !run_tag(text.substr(open + 1, close - open - 1))) { place_char('{', style_); pos = open + 1; }
    else pos = close + 1;
  }
}
bool NmclStream::run_tag(std::string_view tag) {
  while (!tag.empty() && tag.front() == ' ') tag.remove_prefix(1);
  if (!tag.empty() && tag.front() == '*') return true;
  size_t ne = tag.find_first_of(" :");
  std::string_view name = tag.substr(0, ne), args, body; bool has_body = false;
  if (ne != std::string_view::npos) {
    std::string_view rest = tag.substr(ne); size_t colon = rest.find(':');
    if (colon != std::string_view::npos) { has_body = true; body = rest.substr(colon + 1); rest = rest.substr(0, colon); }
    while (!rest.empty() && rest.front() == ' ') rest.remove_prefix(1);
    while (!rest.empty() && rest.back() == ' ') rest.remove_suffix(1);
    args = rest;
  }
  if (name.empty() || name.size() > 13) return false;
  if (uint8_t colour = colour_of(name)) {
    if (!args.empty()) return false;
    uint8_t old = style_; style_ = (style_ & ~kStyleColourMask) | colour;
    if (has_body) { render_nested(body); style_ = old; }
    return true;
  }
  if (name == "hline" && !has_body) {
    int n = 0;
    if (args.empty()) n = width_ - (int)text_.size();
    else if (args.front() == '-') { if (!parse_uint(args.substr(1), n)) return false; n = width_ - n - (int)text_.size(); }
    else if (!parse_uint(args, n)) return false;
    if (n < 0 || n > 255) return false;
    for (int i = 0; i < n; ++i) place_char('-', style_ | kStyleDrawing);
    return true;
  }
  if ((name == "c" || name == "char") && !has_body) {
    uint8_t d = 0, c = 0;
    if (args == "-(") c = '{'; else if (args == ")-") c = '}'; else if (args == "'g") c = '`';
    else if (args == "-") d = 45; else if (args == "|") d = 124; else if (args == "+") d = 43;
    else if (args == "TT") d = 1; else if (args == "BT") d = 2; else if (args == "LT") d = 3; else if (args == "RT") d = 4;
    else return false;
    if (d) place_char(d, style_ | kStyleDrawing); else place_char(c, style_);
    return true;
  }
  if ((name == "col" || name == "space") && !has_body) {
    int n; if (!parse_uint(args, n) || n > 255) return false;
    if (name == "space") for (int i = 0; i < n; ++i) place_char(' ', style_);
    else while ((int)text_.size() < n - 1) place_char(' ', style_);
    return true;
  }
  if ((name == "ralign" || name == "lalign") && has_body) {
    int n; if (!parse_uint(args, n)) return false;
    NmclStream m; m.render_nested(body); int len = m.column();
    if (name == "ralign") for (int i = len; i < n; ++i) place_char(' ', style_);
    render_nested(body);
    if (name == "lalign") for (int i = len; i < n; ++i) place_char(' ', style_);
    return true;
  }
  if ((name == "p" || name == "p_end" || name == "pstd" || name == "break")) { if (name == "break" && !text_.empty()) end_line(kSinkLine); return !has_body; }
  if (is_link_tag(name)) { uint8_t old = style_; style_ = (style_ & ~kStyleColourMask) | kColourLink; render_nested(has_body ? body : args); style_ = old; return true; }
  return false;
}
void NmclStream::feed(std::string_view chunk) {
  std::string joined;
  if (!partial_.empty()) { joined = partial_; joined.append(chunk); partial_.clear(); chunk = joined; }
  int depth = 0; size_t last_open = std::string_view::npos;
  for (size_t i = 0; i < chunk.size(); ++i) { if (chunk[i] == '{') { if (depth == 0) last_open = i; ++depth; } else if (chunk[i] == '}' && depth > 0) --depth; }
  if (depth > 0 && chunk.back() != '\n' && chunk.size() - last_open < 1024) { partial_.assign(chunk.substr(last_open)); chunk = chunk.substr(0, last_open); }
  render_nested(chunk);
}
DecodedLine decode_line_record(const uint8_t* rec) {
  DecodedLine out;
  unsigned so = rec[4] | (rec[5] << 8), to = rec[6] | (rec[7] << 8), len = rec[9] ? rec[9] - 1u : 0u;
  out.text.assign((const char*)(rec + to), len); out.style.assign(len, kColourText);
  const uint8_t* runs = rec + so; unsigned last = runs[0], start = runs[1];
  for (unsigned r = 0; r <= last; ++r) { uint8_t st = runs[2 + 2 * r]; unsigned end = runs[3 + 2 * r]; for (unsigned c = start; c < end && c < len; ++c) out.style[c] = st; start = end; }
  return out;
}
std::string plain_text(const uint8_t* rec) {
  DecodedLine l = decode_line_record(rec);
  for (size_t i = 0; i < l.text.size(); ++i) {
    if (!(l.style[i] & kStyleDrawing)) continue;
    uint8_t c = l.text[i];
    if (c == 1 || c == 2) l.text[i] = '-'; else if (c == 3 || c == 4) l.text[i] = '|'; else if (c >= 5 && c <= 8) l.text[i] = '+';
  }
  return l.text;
}
}
