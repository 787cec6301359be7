// A small pull reader for the XML documents that xmluse reads: elements,
// attributes and character data, nothing more.
//
// The document is held in memory; the reader walks it once and hands out
// one token at a time (a start tag with its attributes, an end tag, or a
// run of character data with the references resolved). The prolog (the
// declaration, a document type with its internal subset, comments and
// processing instructions) is passed over. Entities other than the five
// predefined ones and character references are not expanded: a document
// that uses them is refused.
//
// Every malformed construct ends the walk with 688 and a short
// description of what was wrong and on which line; the reader never reads
// past the buffer and nests at most kMaxDepth elements deep, so a hostile
// document costs no more than its own size.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "base/rc.h"

namespace nuvra::xml {

inline constexpr int kMaxDepth = 64;
inline constexpr std::size_t kMaxAttributes = 64;

struct Attribute {
  std::string_view name;  // as written, prefix included
  std::string value;      // references resolved
};

enum class TokenKind : std::uint8_t { kStart, kEnd, kText, kEof };

struct Token {
  TokenKind kind = TokenKind::kEof;
  std::string_view name;  // element name as written (start and end tags)
  // The first nattr entries are this tag's attributes; the vector keeps
  // the others so that their buffers are reused tag after tag.
  std::vector<Attribute> attrs;
  std::size_t nattr = 0;
  std::string text;  // character data (kText)
  int line = 0;      // where the token begins

  // The local part of the element name: "ss:Row" -> "Row".
  std::string_view local() const;
  // The value of the attribute whose local name is `name`, or nullptr.
  const std::string* attr(std::string_view name) const;
};

class Scanner {
 public:
  Scanner(const char* data, std::size_t size);

  // Passes over the prolog up to the root element. 0, or 610 when the
  // document does not begin as XML at all, 688 when the prolog is broken.
  rc_t start();
  // The next token. A self-closing tag gives a start and then an end.
  // After the root element closes, only comments, processing instructions
  // and blanks may follow; then kEof.
  rc_t next(Token* t);

  // What was wrong, with the line: filled when a call returned non-zero.
  const std::string& error() const { return error_; }
  rc_t fail(int line, std::string_view what);
  int line() const { return line_; }

 private:
  bool at(std::string_view s) const { return end_ - p_ >= static_cast<std::ptrdiff_t>(s.size()) && std::string_view(p_, s.size()) == s; }
  void advance(std::size_t n);
  bool skip_blanks();
  rc_t skip_until(std::string_view close, std::string_view what);
  rc_t skip_doctype();
  rc_t read_name(std::string_view* out);
  rc_t resolve(std::string_view raw, std::string* out, int line);
  rc_t read_tag(Token* t);

  const char* p_;
  const char* end_;
  int line_ = 1;
  std::vector<std::string_view> open_;
  bool pending_end_ = false;  // a self-closing tag's end is due
  bool root_done_ = false;
  std::string error_;
};

// Bytes from a character reference: values up to 255 are the byte itself
// (the writer spells every byte outside printable ASCII this way); larger
// code points are encoded as UTF-8. False for 0x110000 and beyond.
bool append_code_point(std::uint32_t c, std::string* out);

// Appends `s` with & < > " and every byte outside printable ASCII written
// as references, so that the result is US-ASCII and survives as character
// data or as an attribute value.
void append_escaped(std::string* out, std::string_view s);

}  // namespace nuvra::xml
