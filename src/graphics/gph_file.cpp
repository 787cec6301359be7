#include "graphics/gph_file.h"

#include <zlib.h>

#include <algorithm>
#include <bit>
#include <cctype>
#include <cmath>
#include <cstring>
#include <vector>

namespace nuvra::graphics {

namespace {

constexpr char kMagicPrefix[] = "*! nuvra graph file ";
constexpr std::size_t kMagicPrefixLen = sizeof kMagicPrefix - 1;
// Coordinates and sizes a device can add and scale without overflow.
constexpr std::int32_t kMaxCoordinate = 1 << 28;
constexpr float kMaxAngle = 1e6f;
constexpr float kMaxLineWidth = 1000.0f;
constexpr std::size_t kMaxFormat = 48;
constexpr std::size_t kMaxName = 32;
// A dotted path below a graph object.
constexpr std::size_t kMaxFactPath = 128;

class Writer {
 public:
  explicit Writer(std::string* out) : out_(out) {}
  void u8(std::uint8_t v) { out_->push_back(static_cast<char>(v)); }
  void u32(std::uint32_t v) {
    for (int i = 0; i < 4; ++i) u8(static_cast<std::uint8_t>(v >> (8 * i)));
  }
  void u64(std::uint64_t v) {
    for (int i = 0; i < 8; ++i) u8(static_cast<std::uint8_t>(v >> (8 * i)));
  }
  void i32(std::int32_t v) { u32(static_cast<std::uint32_t>(v)); }
  void f32(float v) { u32(std::bit_cast<std::uint32_t>(v)); }
  void f64(double v) { u64(std::bit_cast<std::uint64_t>(v)); }
  void str(const std::string& s) {
    u32(static_cast<std::uint32_t>(s.size()));
    out_->append(s);
  }
  void rgb(Rgb c) {
    u8(c.r);
    u8(c.g);
    u8(c.b);
  }

 private:
  std::string* out_;
};

// Reads from a bounded buffer; after the first short read every read
// fails and returns zeros, so callers check `ok()` once per record.
class Reader {
 public:
  Reader(const std::uint8_t* p, std::size_t n) : p_(p), end_(p + n) {}
  std::size_t left() const { return static_cast<std::size_t>(end_ - p_); }
  bool ok() const { return ok_; }
  bool need(std::size_t n) {
    if (!ok_ || left() < n) ok_ = false;
    return ok_;
  }
  std::uint8_t u8() { return need(1) ? *p_++ : 0; }
  std::uint32_t u32() {
    if (!need(4)) return 0;
    std::uint32_t v = 0;
    for (int i = 0; i < 4; ++i) v |= static_cast<std::uint32_t>(p_[i]) << (8 * i);
    p_ += 4;
    return v;
  }
  std::uint64_t u64() {
    if (!need(8)) return 0;
    std::uint64_t v = 0;
    for (int i = 0; i < 8; ++i) v |= static_cast<std::uint64_t>(p_[i]) << (8 * i);
    p_ += 8;
    return v;
  }
  std::int32_t i32() { return static_cast<std::int32_t>(u32()); }
  float f32() { return std::bit_cast<float>(u32()); }
  double f64() { return std::bit_cast<double>(u64()); }
  Rgb rgb() {
    Rgb c;
    c.r = u8();
    c.g = u8();
    c.b = u8();
    return c;
  }
  // A string of at most `max` bytes; false (and nothing read) otherwise.
  bool str(std::string* s, std::size_t max) {
    std::uint32_t n = u32();
    if (!ok_ || n > max || !need(n)) return ok_ = false;
    s->assign(reinterpret_cast<const char*>(p_), n);
    p_ += n;
    return true;
  }

 private:
  const std::uint8_t* p_;
  const std::uint8_t* end_;
  bool ok_ = true;
};

void write_operands(Writer& w, int code, const Operands& o) {
  w.i32(code);
  for (std::int32_t v : {o.x0, o.y0, o.x1, o.y1, o.r, o.marker_r, o.size}) w.i32(v);
  w.f32(o.angle);
  w.f32(o.a0);
  w.f32(o.a1);
  w.u8(o.fill);
  w.u8(o.symbol);
  w.u8(o.align);
  w.u8(o.sub);
  w.rgb(o.line);
  w.rgb(o.fill_colour);
  w.rgb(o.text_colour);
  w.f32(o.line_width);
  w.u32(o.text);
}

bool valid_name(const std::string& n) {
  if (n.empty() || n.size() > kMaxName) return false;
  if (!(std::isalpha(static_cast<unsigned char>(n[0])) || n[0] == '_')) return false;
  for (char c : n)
    if (!(std::isalnum(static_cast<unsigned char>(c)) || c == '_')) return false;
  return true;
}

bool coordinate(std::int32_t v) { return v >= -kMaxCoordinate && v <= kMaxCoordinate; }
bool extent(std::int32_t v) { return v >= 0 && v <= kMaxCoordinate; }
bool angle(float a) { return std::isfinite(a) && std::fabs(a) <= kMaxAngle; }

// One operation record; false when a field is out of its range.
bool read_operation(Reader& r, std::size_t text_count, int* code, Operands* o) {
  *code = r.i32();
  o->x0 = r.i32();
  o->y0 = r.i32();
  o->x1 = r.i32();
  o->y1 = r.i32();
  o->r = r.i32();
  o->marker_r = r.i32();
  o->size = r.i32();
  o->angle = r.f32();
  o->a0 = r.f32();
  o->a1 = r.f32();
  o->fill = r.u8();
  std::uint8_t symbol = r.u8();
  std::uint8_t align = r.u8();
  o->sub = r.u8();
  o->line = r.rgb();
  o->fill_colour = r.rgb();
  o->text_colour = r.rgb();
  o->line_width = r.f32();
  o->text = r.u32();
  if (!r.ok() || !is_driver_op(*code)) return false;
  if (symbol >= kMarkerCount || align > kAlignRight || o->fill > 1) return false;
  o->symbol = static_cast<Marker>(symbol);
  o->align = static_cast<TextAlign>(align);
  if (!coordinate(o->x0) || !coordinate(o->y0) || !coordinate(o->x1) || !coordinate(o->y1)) return false;
  if (!extent(o->r) || !extent(o->marker_r) || !extent(o->size)) return false;
  if (!angle(o->angle) || !angle(o->a0) || !angle(o->a1)) return false;
  if (!(o->line_width >= 0 && o->line_width <= kMaxLineWidth)) return false;
  if (is_text_op(*code) && o->text >= text_count) return false;
  return true;
}

bool read_serset(Reader& r, Serset* s, std::string* why) {
  std::uint64_t nobs = r.u64();
  std::uint32_t nvars = r.u32();
  if (!r.ok()) return false;
  if (nvars == 0 || nvars > static_cast<std::uint32_t>(kSersetMaxVars)) {
    *why = "serset of no or more than 100 variables";
    return false;
  }
  // Each observation takes at least 4 bytes (an empty string) per variable.
  if (nobs > r.left() / 4) {
    *why = "serset larger than the file";
    return false;
  }
  s->nobs = static_cast<std::int64_t>(nobs);
  s->vars.clear();
  s->vars.reserve(nvars);
  for (std::uint32_t j = 0; j < nvars; ++j) {
    SersetVar v;
    if (!r.str(&v.name, kMaxName) || !valid_name(v.name) || !r.str(&v.format, kMaxFormat) || v.format.empty() ||
        v.format[0] != '%') {
      *why = "serset variable name or format";
      return false;
    }
    std::uint8_t type = r.u8();
    if (!r.ok() || type > 1) return false;
    v.is_string = type == 1;
    if (v.is_string) {
      if (nobs > r.left() / 4) return false;
      v.str.resize(nobs);
      for (std::uint64_t i = 0; i < nobs; ++i)
        if (!r.str(&v.str[i], kGphMaxStrlen)) return false;
    } else {
      if (nobs > r.left() / 8) return false;
      v.num.resize(nobs);
      for (std::uint64_t i = 0; i < nobs; ++i) {
        v.num[i] = r.f64();
        if (std::isnan(v.num[i]) || std::isinf(v.num[i])) {
          *why = "serset value not a number";
          return false;
        }
      }
    }
    s->vars.push_back(std::move(v));
  }
  return r.ok();
}

bool read_facts(Reader& r, GraphFacts* f) {
  std::uint32_t n = r.u32();
  // Each fact takes at least a kind and an empty path.
  if (!r.ok() || n > r.left() / 5) return false;
  std::uint8_t last_kind = 0;
  for (std::uint32_t i = 0; i < n; ++i) {
    // Texts, then numbers, then lists, as they are written.
    std::uint8_t kind = r.u8();
    if (kind < last_kind) return false;
    last_kind = kind;
    std::string path;
    if (!r.str(&path, kMaxFactPath) || path.empty()) return false;
    if (kind == 0) {
      std::string text;
      if (!r.str(&text, kGphMaxStrlen)) return false;
      f->texts.emplace_back(std::move(path), std::move(text));
    } else if (kind == 1) {
      double v = r.f64();
      if (!r.ok() || !std::isfinite(v)) return false;
      f->numbers.emplace_back(std::move(path), v);
    } else if (kind == 2) {
      std::uint32_t count = r.u32();
      if (!r.ok() || count > r.left() / 4) return false;
      std::vector<std::string> items(count);
      for (std::string& item : items)
        if (!r.str(&item, kGphMaxStrlen)) return false;
      f->lists.emplace_back(std::move(path), std::move(items));
    } else {
      return false;
    }
  }
  return r.ok();
}

GphFault read_payload(Reader& r, long version, SavedGraph* out, std::string* why) {
  if (!r.str(&out->name, kMaxName) || !valid_name(out->name)) {
    *why = "graph name";
    return GphFault::kCorrupt;
  }
  if (!r.str(&out->command, r.left())) return GphFault::kCorrupt;
  std::int32_t width = r.i32(), height = r.i32();
  Rgb background = r.rgb();
  if (!r.ok() || width < 1 || height < 1 || width > kGphMaxExtent || height > kGphMaxExtent) {
    *why = "graph size";
    return GphFault::kCorrupt;
  }
  std::uint8_t has_serset = r.u8();
  if (!r.ok() || has_serset > 1) return GphFault::kCorrupt;
  out->has_serset = has_serset == 1;
  out->serset = Serset();
  if (out->has_serset && !read_serset(r, &out->serset, why)) return GphFault::kCorrupt;

  std::uint32_t ntexts = r.u32();
  if (!r.ok() || ntexts > r.left() / 4) return GphFault::kCorrupt;
  std::vector<std::string> texts(ntexts);
  for (std::string& t : texts)
    if (!r.str(&t, kGphMaxStrlen)) return GphFault::kCorrupt;

  std::uint32_t nops = r.u32();
  if (!r.ok() || nops > r.left() / kGphOpBytes) {
    *why = "drawing larger than the file";
    return GphFault::kCorrupt;
  }
  std::vector<int> codes(nops);
  std::vector<Operands> operands(nops);
  for (std::uint32_t i = 0; i < nops; ++i)
    if (!read_operation(r, ntexts, &codes[i], &operands[i])) {
      *why = "drawing operation " + std::to_string(i + 1);
      return GphFault::kCorrupt;
    }
  out->facts = GraphFacts();
  if (version >= 2 && !read_facts(r, &out->facts)) {
    *why = "facts about the graph";
    return GphFault::kCorrupt;
  }
  if (r.left() != 0) {
    *why = "bytes after the drawing";
    return GphFault::kCorrupt;
  }
  // A drawing opens the file once, first, and ends it once, last, so that
  // every device writes a whole file from it.
  auto is_end = [](int c) { return c == kOpEndPage || c == kOpEndOnce; };
  bool framed = nops >= 2 && codes.front() == kOpBeginFile && is_end(codes.back());
  for (std::uint32_t i = 1; framed && i + 1 < nops; ++i)
    if (codes[i] == kOpBeginFile || is_end(codes[i]) || codes[i] == kOpRearm) framed = false;
  if (!framed) {
    *why = "drawing not a whole page";
    return GphFault::kCorrupt;
  }
  out->drawing.width = width;
  out->drawing.height = height;
  out->drawing.background = background;
  if (!out->drawing.assign(std::move(codes), std::move(operands), std::move(texts))) return GphFault::kCorrupt;
  return GphFault::kNone;
}

}  // namespace

std::string write_gph(const SavedGraph& g) {
  std::string payload;
  Writer w(&payload);
  w.str(g.name);
  w.str(g.command);
  w.i32(g.drawing.width);
  w.i32(g.drawing.height);
  w.rgb(g.drawing.background);
  w.u8(g.has_serset ? 1 : 0);
  if (g.has_serset) {
    const Serset& s = g.serset;
    w.u64(static_cast<std::uint64_t>(s.nobs));
    w.u32(static_cast<std::uint32_t>(s.vars.size()));
    for (const SersetVar& v : s.vars) {
      w.str(v.name);
      w.str(v.format);
      w.u8(v.is_string ? 1 : 0);
      if (v.is_string)
        for (const std::string& t : v.str) w.str(t);
      else
        for (double d : v.num) w.f64(d);
    }
  }
  w.u32(static_cast<std::uint32_t>(g.drawing.text_count()));
  for (std::size_t i = 0; i < g.drawing.text_count(); ++i) w.str(g.drawing.text(static_cast<std::uint32_t>(i)));
  w.u32(static_cast<std::uint32_t>(g.drawing.size()));
  for (std::size_t i = 0; i < g.drawing.size(); ++i) write_operands(w, g.drawing.code(i), g.drawing.operands(i));
  const GraphFacts& f = g.facts;
  w.u32(static_cast<std::uint32_t>(f.texts.size() + f.numbers.size() + f.lists.size()));
  for (const auto& [path, text] : f.texts) {
    w.u8(0);
    w.str(path);
    w.str(text);
  }
  for (const auto& [path, v] : f.numbers) {
    w.u8(1);
    w.str(path);
    w.f64(v);
  }
  for (const auto& [path, items] : f.lists) {
    w.u8(2);
    w.str(path);
    w.u32(static_cast<std::uint32_t>(items.size()));
    for (const std::string& item : items) w.str(item);
  }

  std::string file = kMagicPrefix + std::to_string(kGphVersion) + "\n";
  Writer h(&file);
  h.u64(payload.size());
  h.u32(static_cast<std::uint32_t>(
      crc32(0L, reinterpret_cast<const Bytef*>(payload.data()), static_cast<uInt>(payload.size()))));
  file += payload;
  return file;
}

GphFault read_gph(const std::uint8_t* data, std::size_t size, SavedGraph* out, std::string* why) {
  why->clear();
  if (size < kMagicPrefixLen || std::memcmp(data, kMagicPrefix, kMagicPrefixLen) != 0) return GphFault::kNotGraph;
  // The version: decimal digits up to the newline, at most 9 of them.
  std::size_t p = kMagicPrefixLen;
  long version = 0;
  std::size_t digits = 0;
  while (p < size && digits < 10 && data[p] >= '0' && data[p] <= '9') {
    version = version * 10 + (data[p] - '0');
    ++p, ++digits;
  }
  if (digits == 0 || digits > 9 || p >= size || data[p] != '\n') {
    if (p >= size) return GphFault::kTruncated;
    return GphFault::kNotGraph;
  }
  ++p;
  if (version > kGphVersion) return GphFault::kNewer;
  if (version < 1) return GphFault::kNotGraph;
  Reader head(data + p, size - p);
  std::uint64_t length = head.u64();
  std::uint32_t crc = head.u32();
  if (!head.ok()) return GphFault::kTruncated;
  p += 12;
  if (length > size - p) return GphFault::kTruncated;
  if (length < size - p) {
    *why = "bytes after the payload";
    return GphFault::kCorrupt;
  }
  // zlib's crc32 takes its length as uInt: sum in pieces.
  uLong sum = crc32(0L, Z_NULL, 0);
  for (std::size_t done = 0; done < length;) {
    std::size_t n = std::min<std::size_t>(length - done, 1u << 30);
    sum = crc32(sum, data + p + done, static_cast<uInt>(n));
    done += n;
  }
  if (static_cast<std::uint32_t>(sum) != crc) {
    *why = "checksum";
    return GphFault::kCorrupt;
  }
  Reader r(data + p, static_cast<std::size_t>(length));
  GphFault f = read_payload(r, version, out, why);
  if (f == GphFault::kCorrupt && why->empty()) *why = "contents";
  return f;
}

}  // namespace nuvra::graphics
