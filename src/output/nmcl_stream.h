#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>
namespace nuvra::output {
enum SinkKind : int { kSinkLine = 1, kSinkPartial = 2, kSinkFlush = 3, kSinkDestroy = 4, kSinkMore = 5 };
using LineSink = int (*)(void* arg, const uint8_t* rec, int kind);
inline constexpr uint8_t kColourResult = 1, kColourText = 2, kColourError = 4, kColourInput = 5, kColourLink = 6, kColourHilite = 7;
inline constexpr uint8_t kStyleColourMask = 7, kStyleItalic = 8, kStyleBold = 16, kStyleUnderline = 32, kStyleDrawing = 128;
class NmclStream {
 public:
  NmclStream();
  ~NmclStream();
  NmclStream(const NmclStream&) = delete;
  NmclStream& operator=(const NmclStream&) = delete;
  void feed(std::string_view chunk);
  void set_width(int columns);
  int width() const { return width_; }
  void set_page_length(int lines) { page_length_ = lines; }
  void set_title_style(bool on) { title_style_ = on; }
  void set_sink(LineSink sink, void* arg);
  void detach();
  void reattach();
  void flush();
  uint8_t style() const { return style_; }
  bool has_pending() const { return !partial_.empty(); }
  int column() const { return static_cast<int>(text_.size()); }
 private:
  void place_text(std::string_view text);
  void place_char(uint8_t c, uint8_t style);
  void end_line(int kind);
  bool run_tag(std::string_view tag);
  void render_nested(std::string_view text);
  LineSink sink_ = nullptr, saved_sink_ = nullptr;
  void* sink_arg_ = nullptr;
  int width_ = 79;
  int page_length_ = 0;
  bool title_style_ = false;
  bool newline_pending_ = true;
  uint8_t style_ = kColourText;
  std::string partial_;
  std::string text_;
  std::vector<uint8_t> styles_;
};
struct DecodedLine { std::string text; std::vector<uint8_t> style; bool continuation = false; };
DecodedLine decode_line_record(const uint8_t* rec);
std::string plain_text(const uint8_t* rec);
}
