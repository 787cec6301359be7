// Binary directives of file write and file read.  See file_binary.h.
#include "interp/file_binary.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "data/missing.h"
#include "data/storage.h"
#include "interp/interp.h"
#include "interp/messages.h"
#include "interp/parse.h"
#include "data/names.h"
#include "interp/simple_expr.h"

namespace nuvra {

namespace {

enum class Kind { kReal, kSigned, kUnsigned, kString };

struct Directive {
  Kind kind;
  int width;  // bytes
};

bool parse_directive(std::string_view w, Directive* d) {
  if (w.size() < 3 || w[0] != '%') return false;
  size_t i = 1;
  long long n = 0;
  while (i < w.size() && w[i] >= '0' && w[i] <= '9') {
    n = n * 10 + (w[i++] - '0');
    if (n > 100000) return false;
  }
  if (i == 1) return false;
  std::string_view tail = w.substr(i);
  if (tail == "z" && (n == 4 || n == 8)) {
    *d = {Kind::kReal, static_cast<int>(n)};
    return true;
  }
  if ((tail == "b" || tail == "bs" || tail == "bu") && (n == 1 || n == 2 || n == 4)) {
    *d = {tail == "bu" ? Kind::kUnsigned : Kind::kSigned, static_cast<int>(n)};
    return true;
  }
  if (tail == "s" && n >= 1) {
    *d = {Kind::kString, static_cast<int>(n)};
    return true;
  }
  return false;
}

int storage_type(const Directive& d) {
  if (d.kind == Kind::kReal) return d.width == 8 ? data::kDouble : data::kFloat;
  return d.width == 1 ? data::kByte : d.width == 2 ? data::kInt : data::kLong;
}

// The bytes of a number in the machine's order become the file's.
void to_order(unsigned char* p, int width, int byteorder) {
  if (byteorder != native_byteorder()) std::reverse(p, p + width);
}

rc_t out_of_range(Interp& ip, std::string_view directive) {
  return msg_quoting(ip.out, "value out of range for ", directive, "\n", 198);
}

// One field's bytes, in file order.
rc_t encode(Interp& ip, std::string_view word, const Directive& d, const ExprValue& v, int byteorder,
            std::string* out) {
  if ((d.kind == Kind::kString) != v.is_string) return rc_message(ip, 109);
  if (d.kind == Kind::kString) {
    if (v.str.size() > static_cast<size_t>(d.width))
      return msg_quoting(ip.out, "string longer than ", word, "\n", 198);
    std::string field = v.str;
    field.resize(static_cast<size_t>(d.width), '\0');
    *out += field;
    return 0;
  }
  unsigned char buf[8] = {0};
  double x = v.num;
  if (d.kind == Kind::kUnsigned) {
    const double top = d.width == 1 ? 255.0 : d.width == 2 ? 65535.0 : 4294967295.0;
    if (data::is_missing(x) || !(x >= 0 && x <= top)) return out_of_range(ip, word);
    auto u = static_cast<std::uint32_t>(std::trunc(x));
    for (int k = 0; k < d.width; ++k) buf[k] = static_cast<unsigned char>(u >> (8 * k));  // least significant first
    if (native_byteorder() == 1) std::reverse(buf, buf + d.width);                    // now the machine's order
  } else {
    const int t = storage_type(d);
    if (!data::is_missing(x) && (x < data::type_min(t) || x > data::type_max(t))) return out_of_range(ip, word);
    data::store_value(t, buf, x);
  }
  to_order(buf, d.width, byteorder);
  out->append(reinterpret_cast<const char*>(buf), static_cast<size_t>(d.width));
  return 0;
}

double decode(const Directive& d, unsigned char* buf, int byteorder) {
  to_order(buf, d.width, byteorder);  // the file's order back to the machine's
  if (d.kind == Kind::kUnsigned) {
    if (native_byteorder() == 1) std::reverse(buf, buf + d.width);
    std::uint32_t u = 0;
    for (int k = 0; k < d.width; ++k) u |= static_cast<std::uint32_t>(buf[k]) << (8 * k);
    return static_cast<double>(u);
  }
  return data::fetch_value(storage_type(d), buf);
}

}  // namespace

int native_byteorder() {
  const std::uint16_t one = 1;
  unsigned char first;
  std::memcpy(&first, &one, 1);
  return first == 1 ? 2 : 1;
}

bool is_binary_directive(std::string_view word) {
  Directive d;
  return parse_directive(word, &d);
}

rc_t file_write_binary(Interp& ip, OpenFile& of, std::string_view rest) {
  std::string bytes;
  rest = trim(rest);
  while (!rest.empty()) {
    std::string_view word = take_word(rest);
    rest = trim(rest);
    Directive d;
    if (!parse_directive(word, &d)) return msg_invalid(ip, "syntax");
    if (rest.empty()) return msg_invalid(ip, "syntax");
    ExprValue v;
    size_t used = 0;
    if (rc_t rc = eval_expression(ip, rest, &v, &used)) return rc;
    if (used == 0) return msg_invalid(ip, "syntax");
    rest = trim(rest.substr(used));
    if (rc_t rc = encode(ip, word, d, v, of.byteorder, &bytes)) return rc;
  }
  if (bytes.empty()) return msg_invalid(ip, "syntax");
  if (std::fwrite(bytes.data(), 1, bytes.size(), of.f) != bytes.size()) {
    of.failed = true;
    return rc_message(ip, 691);
  }
  return 0;
}

rc_t file_read_binary(Interp& ip, OpenFile& of, std::string_view rest) {
  struct Field {
    Directive d;
    std::string name;
  };
  std::vector<Field> fields;
  rest = trim(rest);
  while (!rest.empty()) {
    std::string_view word = take_word(rest);
    std::string_view name = take_word(rest);
    rest = trim(rest);
    Field f;
    if (!parse_directive(word, &f.d) || name.empty() || !is_valid_name(name)) return msg_invalid(ip, "syntax");
    f.name = std::string(name);
    fields.push_back(std::move(f));
  }
  if (fields.empty()) return msg_invalid(ip, "syntax");
  std::vector<unsigned char> buf;
  std::vector<double> nums(fields.size());
  std::vector<std::string> strs(fields.size());
  bool eof = false;
  for (size_t k = 0; k < fields.size() && !eof; ++k) {
    const Directive& d = fields[k].d;
    buf.assign(static_cast<size_t>(std::max(d.width, 8)), 0);
    size_t got = std::fread(buf.data(), 1, static_cast<size_t>(d.width), of.f);
    if (got != static_cast<size_t>(d.width)) {
      if (std::ferror(of.f)) {
        std::clearerr(of.f);
        return rc_message(ip, 691);
      }
      eof = true;
      break;
    }
    if (d.kind == Kind::kString) {
      const char* p = reinterpret_cast<const char*>(buf.data());
      strs[k].assign(p, strnlen(p, static_cast<size_t>(d.width)));
    } else {
      nums[k] = decode(d, buf.data(), of.byteorder);
    }
  }
  ip.r_results.clear();
  ip.r_results.scalars["eof"] = eof ? 1 : 0;
  if (eof) return 0;
  for (size_t k = 0; k < fields.size(); ++k) {
    if (fields[k].d.kind == Kind::kString) {
      ip.macros.set_local(fields[k].name, strs[k]);
    } else {
      ScalarValue s;
      s.num = nums[k];
      ip.scalars[fields[k].name] = s;
    }
  }
  return 0;
}

}  // namespace nuvra
