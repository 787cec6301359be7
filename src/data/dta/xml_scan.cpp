// The pull reader over an XML document held in memory.
#include "data/dta/xml_scan.h"

#include <algorithm>
#include <cctype>
#include <cstring>

namespace nuvra::xml {

namespace {

bool name_start(unsigned char c) { return std::isalpha(c) || c == '_' || c == ':' || c >= 0x80; }
bool name_char(unsigned char c) { return name_start(c) || std::isdigit(c) || c == '-' || c == '.'; }
bool blank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

}  // namespace

std::string_view Token::local() const {
  std::size_t colon = name.rfind(':');
  return colon == std::string_view::npos ? name : name.substr(colon + 1);
}

const std::string* Token::attr(std::string_view want) const {
  for (std::size_t k = 0; k < nattr; ++k) {
    const Attribute& a = attrs[k];
    std::size_t colon = a.name.rfind(':');
    std::string_view local = colon == std::string_view::npos ? a.name : a.name.substr(colon + 1);
    // Namespace declarations are not attributes of the element's content.
    if (a.name.starts_with("xmlns")) continue;
    if (local == want) return &a.value;
  }
  return nullptr;
}

bool append_code_point(std::uint32_t c, std::string* out) {
  if (c < 0x100) {
    out->push_back(static_cast<char>(c));
  } else if (c < 0x800) {
    out->push_back(static_cast<char>(0xC0 | (c >> 6)));
    out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else if (c < 0x10000) {
    out->push_back(static_cast<char>(0xE0 | (c >> 12)));
    out->push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else if (c < 0x110000) {
    out->push_back(static_cast<char>(0xF0 | (c >> 18)));
    out->push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else {
    return false;
  }
  return true;
}

void append_escaped(std::string* out, std::string_view s) {
  for (char ch : s) {
    auto c = static_cast<unsigned char>(ch);
    switch (c) {
      case '&': out->append("&amp;"); break;
      case '<': out->append("&lt;"); break;
      case '>': out->append("&gt;"); break;
      case '"': out->append("&quot;"); break;
      default:
        if (c < 0x20 || c >= 0x7F) {
          char buf[8];
          int n = 0;
          buf[n++] = '&';
          buf[n++] = '#';
          if (c >= 100) buf[n++] = static_cast<char>('0' + c / 100);
          if (c >= 10) buf[n++] = static_cast<char>('0' + c / 10 % 10);
          buf[n++] = static_cast<char>('0' + c % 10);
          buf[n++] = ';';
          out->append(buf, static_cast<std::size_t>(n));
        } else {
          out->push_back(ch);
        }
    }
  }
}

Scanner::Scanner(const char* data, std::size_t size) : p_(data), end_(data + size) {}

rc_t Scanner::fail(int line, std::string_view what) {
  error_ = "line " + std::to_string(line) + ": " + std::string(what);
  return 688;
}

void Scanner::advance(std::size_t n) {
  line_ += static_cast<int>(std::count(p_, p_ + n, '\n'));
  p_ += n;
}

bool Scanner::skip_blanks() {
  const char* q = p_;
  while (q < end_ && blank(*q)) ++q;
  bool any = q != p_;
  advance(static_cast<std::size_t>(q - p_));
  return any;
}

rc_t Scanner::skip_until(std::string_view close, std::string_view what) {
  int from = line_;
  std::string_view rest(p_, static_cast<std::size_t>(end_ - p_));
  std::size_t k = rest.find(close);
  if (k == std::string_view::npos) return fail(from, std::string(what) + " is not closed");
  advance(k + close.size());
  return 0;
}

rc_t Scanner::skip_doctype() {
  int from = line_;
  advance(9);  // <!DOCTYPE
  bool subset = false;
  char quote = 0;
  while (p_ < end_) {
    char c = *p_;
    if (quote) {
      if (c == quote) quote = 0;
    } else if (c == '"' || c == '\'') {
      quote = c;
    } else if (subset && at("<!--")) {
      if (rc_t rc = skip_until("-->", "comment")) return rc;
      continue;
    } else if (c == '[') {
      if (subset) return fail(line_, "nested [ in the document type");
      subset = true;
    } else if (c == ']') {
      subset = false;
    } else if (c == '>' && !subset) {
      advance(1);
      return 0;
    }
    advance(1);
  }
  return fail(from, "document type declaration is not closed");
}

rc_t Scanner::start() {
  if (at("\xEF\xBB\xBF")) advance(3);
  skip_blanks();
  if (!at("<")) return 610;
  if (at("<?xml") && end_ - p_ > 5 && (blank(p_[5]) || p_[5] == '?')) {
    if (rc_t rc = skip_until("?>", "XML declaration")) return rc;
  }
  for (;;) {
    skip_blanks();
    if (p_ == end_) return fail(line_, "no root element");
    if (at("<!--")) {
      if (rc_t rc = skip_until("-->", "comment")) return rc;
    } else if (at("<?")) {
      if (rc_t rc = skip_until("?>", "processing instruction")) return rc;
    } else if (at("<!DOCTYPE")) {
      if (rc_t rc = skip_doctype()) return rc;
    } else if (*p_ == '<' && end_ - p_ > 1 && name_start(static_cast<unsigned char>(p_[1]))) {
      return 0;
    } else {
      return fail(line_, "text or markup where the root element should begin");
    }
  }
}

rc_t Scanner::read_name(std::string_view* out) {
  const char* q = p_;
  if (q == end_ || !name_start(static_cast<unsigned char>(*q))) return fail(line_, "a name was expected");
  while (q < end_ && name_char(static_cast<unsigned char>(*q))) ++q;
  *out = std::string_view(p_, static_cast<std::size_t>(q - p_));
  p_ = q;  // names hold no newlines
  return 0;
}

rc_t Scanner::resolve(std::string_view raw, std::string* out, int line) {
  // Most values hold no reference and no carriage return: one copy.
  if (raw.find_first_of("&\r") == std::string_view::npos) {
    out->append(raw);
    return 0;
  }
  for (std::size_t i = 0; i < raw.size(); ++i) {
    char c = raw[i];
    if (c == '\r') {
      // Line ends are read as a single newline, whatever wrote them.
      out->push_back('\n');
      if (i + 1 < raw.size() && raw[i + 1] == '\n') ++i;
      continue;
    }
    if (c == '\n') ++line;
    if (c != '&') {
      out->push_back(c);
      continue;
    }
    std::size_t semi = raw.find(';', i + 1);
    if (semi == std::string_view::npos || semi - i > 12) return fail(line, "& that begins no reference");
    std::string_view ref = raw.substr(i + 1, semi - i - 1);
    if (ref == "amp") out->push_back('&');
    else if (ref == "lt") out->push_back('<');
    else if (ref == "gt") out->push_back('>');
    else if (ref == "quot") out->push_back('"');
    else if (ref == "apos") out->push_back('\'');
    else if (ref.size() >= 2 && ref[0] == '#') {
      bool hex = ref[1] == 'x';
      std::string_view digits = ref.substr(hex ? 2 : 1);
      if (digits.empty()) return fail(line, "empty character reference");
      std::uint32_t v = 0;
      for (char d : digits) {
        int k;
        if (d >= '0' && d <= '9') k = d - '0';
        else if (hex && d >= 'a' && d <= 'f') k = d - 'a' + 10;
        else if (hex && d >= 'A' && d <= 'F') k = d - 'A' + 10;
        else return fail(line, "bad character reference &" + std::string(ref) + ";");
        v = v * (hex ? 16 : 10) + static_cast<std::uint32_t>(k);
        if (v >= 0x110000) return fail(line, "character reference beyond the code space");
      }
      append_code_point(v, out);
    } else {
      return fail(line, "unknown entity &" + std::string(ref) + ";");
    }
    i = semi;
  }
  return 0;
}

rc_t Scanner::read_tag(Token* t) {
  t->line = line_;
  t->nattr = 0;
  if (at("</")) {
    advance(2);
    std::string_view name;
    if (rc_t rc = read_name(&name)) return rc;
    skip_blanks();
    if (p_ == end_ || *p_ != '>') return fail(line_, "end tag </" + std::string(name) + " is not closed");
    advance(1);
    if (open_.empty() || open_.back() != name) {
      std::string what = "</" + std::string(name) + "> where ";
      what += open_.empty() ? std::string("no element is open") : "</" + std::string(open_.back()) + "> was expected";
      return fail(t->line, what);
    }
    open_.pop_back();
    if (open_.empty()) root_done_ = true;
    t->kind = TokenKind::kEnd;
    t->name = name;
    return 0;
  }
  advance(1);
  std::string_view name;
  if (rc_t rc = read_name(&name)) return rc;
  for (;;) {
    bool gap = skip_blanks();
    if (p_ == end_) return fail(t->line, "tag <" + std::string(name) + " is not closed");
    if (*p_ == '>') {
      advance(1);
      break;
    }
    if (at("/>")) {
      advance(2);
      pending_end_ = true;
      break;
    }
    if (!gap) return fail(line_, "no blank before an attribute of <" + std::string(name) + ">");
    // The duplicate check below is quadratic; no document of ours needs
    // more than a handful.
    if (t->nattr == kMaxAttributes) return fail(line_, "too many attributes in <" + std::string(name) + ">");
    if (t->nattr == t->attrs.size()) t->attrs.emplace_back();
    Attribute& a = t->attrs[t->nattr];
    a.value.clear();
    if (rc_t rc = read_name(&a.name)) return rc;
    skip_blanks();
    if (p_ == end_ || *p_ != '=') return fail(line_, "attribute " + std::string(a.name) + " has no value");
    advance(1);
    skip_blanks();
    if (p_ == end_ || (*p_ != '"' && *p_ != '\'')) return fail(line_, "attribute value is not quoted");
    char q = *p_;
    advance(1);
    const char* close = static_cast<const char*>(std::memchr(p_, q, static_cast<std::size_t>(end_ - p_)));
    if (!close) return fail(line_, "attribute value is not closed");
    std::string_view raw(p_, static_cast<std::size_t>(close - p_));
    if (raw.find('<') != std::string_view::npos) return fail(line_, "< inside an attribute value");
    int at_line = line_;
    advance(raw.size() + 1);
    if (rc_t rc = resolve(raw, &a.value, at_line)) return rc;
    // Blanks written literally in a value stand for spaces.
    std::replace_if(a.value.begin(), a.value.end(), [](char c) { return c == '\n' || c == '\t'; }, ' ');
    for (std::size_t k = 0; k < t->nattr; ++k)
      if (t->attrs[k].name == a.name) return fail(at_line, "attribute " + std::string(a.name) + " given twice");
    ++t->nattr;
  }
  if (static_cast<int>(open_.size()) >= kMaxDepth) return fail(t->line, "elements nested too deeply");
  open_.push_back(name);
  t->kind = TokenKind::kStart;
  t->name = name;
  return 0;
}

rc_t Scanner::next(Token* t) {
  t->text.clear();
  if (pending_end_) {
    pending_end_ = false;
    t->kind = TokenKind::kEnd;
    t->name = open_.back();
    t->nattr = 0;
    open_.pop_back();
    if (open_.empty()) root_done_ = true;
    return 0;
  }
  if (root_done_) {
    for (;;) {
      skip_blanks();
      if (p_ == end_) {
        t->kind = TokenKind::kEof;
        return 0;
      }
      if (at("<!--")) {
        if (rc_t rc = skip_until("-->", "comment")) return rc;
      } else if (at("<?")) {
        if (rc_t rc = skip_until("?>", "processing instruction")) return rc;
      } else {
        return fail(line_, "content after the root element");
      }
    }
  }
  bool have_text = false;
  t->line = line_;
  for (;;) {
    if (p_ == end_) {
      if (open_.empty()) return fail(line_, "no root element");
      return fail(line_, "the document ends inside <" + std::string(open_.back()) + ">");
    }
    if (*p_ == '<') {
      if (at("<!--")) {
        if (rc_t rc = skip_until("-->", "comment")) return rc;
        continue;
      }
      if (at("<![CDATA[")) {
        int from = line_;
        advance(9);
        std::string_view rest(p_, static_cast<std::size_t>(end_ - p_));
        std::size_t k = rest.find("]]>");
        if (k == std::string_view::npos) return fail(from, "CDATA section is not closed");
        t->text.append(p_, k);
        advance(k + 3);
        have_text = true;
        continue;
      }
      if (at("<?")) {
        if (rc_t rc = skip_until("?>", "processing instruction")) return rc;
        continue;
      }
      if (have_text) {
        t->kind = TokenKind::kText;
        return 0;
      }
      if (at("<!")) return fail(line_, "markup declaration inside the document");
      return read_tag(t);
    }
    const char* q = static_cast<const char*>(std::memchr(p_, '<', static_cast<std::size_t>(end_ - p_)));
    if (!q) q = end_;
    std::string_view raw(p_, static_cast<std::size_t>(q - p_));
    int from = line_;
    advance(raw.size());
    if (rc_t rc = resolve(raw, &t->text, from)) return rc;
    have_text = true;
  }
}

}  // namespace nuvra::xml
