// Writing and reading matrix files.
#include "lumo/matrix_file.h"

#include <cctype>

#include "lumo/binary_io.h"

namespace nuvra::lumo {

namespace {

constexpr unsigned char kMagic[4] = {'L', 'M', 'M', 0x1A};
constexpr uint16_t kVersion = 1;
constexpr size_t kNameBytes33 = 33;
constexpr size_t kEntryHeader = kNameBytes33 + 1 + 2 + 4 + 4;
constexpr size_t kMaxMatrixFileBytes = size_t(1) << 31;

int CodeOf(int eltype) { return eltype == kReal ? 0 : eltype == kComplex ? 1 : 2; }

bool ValidName(std::string_view s) {
  if (s.empty() || s.size() >= kNameBytes33) return false;
  if (!(std::isalpha((unsigned char)s[0]) || s[0] == '_')) return false;
  for (char c : s)
    if (!(std::isalnum((unsigned char)c) || c == '_')) return false;
  return true;
}

}  // namespace

rc_t EncodeMatrices(const std::vector<const ValueRecord*>& values, std::string* out, std::string* bad) {
  std::string b(reinterpret_cast<const char*>(kMagic), 4);
  PutU16(&b, kVersion);
  PutU16(&b, 0);
  PutU32(&b, uint32_t(values.size()));
  for (const ValueRecord* v : values) {
    if (v->eltype != kReal && v->eltype != kComplex && v->eltype != kString) {
      *bad = v->name;
      return 3256;
    }
    std::string name(v->name);
    name.resize(kNameBytes33, '\0');
    b += name;
    b.push_back(char(CodeOf(v->eltype)));
    PutU16(&b, 0);
    PutU32(&b, uint32_t(v->rows));
    PutU32(&b, uint32_t(v->cols));
    int64_t n = element_count(v);
    if (v->eltype == kString) {
      for (int64_t k = 0; k < n; ++k) {
        StringRef s = string_of(slots(v)[k]);
        PutU32(&b, s.length);
        b.append(s.bytes, s.length);
      }
    } else {
      int64_t parts = v->eltype == kComplex ? 2 * n : n;
      for (int64_t k = 0; k < parts; ++k) PutF64(&b, reals(v)[k]);
    }
  }
  PutU32(&b, CheckWord(b));
  *out = std::move(b);
  return 0;
}

rc_t DecodeMatrices(std::string_view bytes, std::vector<SavedMatrix>* out, std::string* why) {
  auto fail = [why](rc_t rc, const char* text) {
    *why = text;
    return rc;
  };
  const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
  if (bytes.size() < 6) return fail(612, "could not read");
  if (std::memcmp(p, kMagic, 4) != 0) return fail(610, "not lumo matrix file");
  uint16_t version = GetU16(p + 4);
  if (version > kVersion) return fail(610, "from a more recent version of Nuvra");
  if (version < 1) return fail(610, "not lumo matrix file");
  if (bytes.size() < 16) return fail(612, "could not read");
  size_t end = bytes.size() - 4;
  // A file cut short fails its check too.
  if (CheckWord(bytes.substr(0, end)) != GetU32(p + end)) return fail(610, "damaged");
  if (GetU16(p + 6) != 0) return fail(610, "damaged");
  uint64_t count = GetU32(p + 8);
  // Every entry takes at least its header.
  if (count > (end - 12) / kEntryHeader) return fail(610, "damaged");
  std::vector<SavedMatrix> mats;
  mats.reserve(size_t(count));
  size_t at = 12;
  for (uint64_t e = 0; e < count; ++e) {
    if (end - at < kEntryHeader) return fail(610, "damaged");
    SavedMatrix m;
    const char* name = reinterpret_cast<const char*>(p + at);
    size_t len = 0;
    while (len < kNameBytes33 && name[len]) ++len;
    m.name.assign(name, len);
    for (size_t k = len; k < kNameBytes33; ++k)
      if (name[k]) return fail(610, "damaged");
    int code = p[at + 33];
    if (!ValidName(m.name) || code > 2 || GetU16(p + at + 34) != 0) return fail(610, "damaged");
    for (const SavedMatrix& prior : mats)
      if (prior.name == m.name) return fail(610, "damaged");
    m.eltype = code == 0 ? kReal : code == 1 ? kComplex : kString;
    uint32_t r = GetU32(p + at + 36), c = GetU32(p + at + 40);
    if (r > INT32_MAX || c > INT32_MAX) return fail(610, "damaged");
    m.rows = int32_t(r);
    m.cols = int32_t(c);
    at += kEntryHeader;
    uint64_t cells = uint64_t(r) * c;
    if (m.eltype == kString) {
      if (cells > (end - at) / 4) return fail(610, "damaged");
      m.strings.reserve(size_t(cells));
      for (uint64_t k = 0; k < cells; ++k) {
        if (end - at < 4) return fail(610, "damaged");
        uint32_t l = GetU32(p + at);
        at += 4;
        if (l > end - at) return fail(610, "damaged");
        m.strings.emplace_back(bytes.substr(at, l));
        at += l;
      }
    } else {
      uint64_t parts = cells * (m.eltype == kComplex ? 2 : 1);
      if (parts > (end - at) / 8) return fail(610, "damaged");
      m.numbers.resize(size_t(parts));
      for (uint64_t k = 0; k < parts; ++k) m.numbers[size_t(k)] = GetF64(p + at + 8 * k);
      at += size_t(parts) * 8;
    }
    mats.push_back(std::move(m));
  }
  if (at != end) return fail(610, "damaged");
  *out = std::move(mats);
  return 0;
}

rc_t ReadMatrixFile(const std::string& path, std::vector<SavedMatrix>* out, std::string* message) {
  return ReadAndDecode(path, kMaxMatrixFileBytes, "matrix", message,
                       [out](std::string_view bytes, std::string* why) { return DecodeMatrices(bytes, out, why); });
}

rc_t RestoreMatrices(Values& values, const std::vector<SavedMatrix>& saved, bool replace, std::string* clash) {
  if (!replace)
    for (const SavedMatrix& m : saved)
      if (values.FindGlobal(m.name)) {
        *clash = m.name;
        return 110;
      }
  // Every value is built first; the globals change only once all exist.
  std::vector<ValueRecord*> made;
  auto drop = [&] {
    for (ValueRecord* v : made) values.Free(v);
    return rc_t(3900);
  };
  for (const SavedMatrix& m : saved) {
    ValueRecord* v = values.NewValue("", m.eltype, m.rows, m.cols);
    if (!v) return drop();
    made.push_back(v);
    ++v->refcount;
    if (m.eltype == kString) {
      for (size_t k = 0; k < m.strings.size(); ++k) {
        bool ok = true;
        slots(v)[k] = values.NewString(m.strings[k], &ok);
        if (!ok) return drop();
      }
    } else if (!m.numbers.empty()) {
      std::memcpy(v->data, m.numbers.data(), m.numbers.size() * 8);
    }
  }
  std::vector<ValueRecord*> globals;
  std::vector<std::string> created;
  for (const SavedMatrix& m : saved) {
    ValueRecord* g = values.FindGlobal(m.name);
    if (!g) {
      g = values.crexternal(m.name);
      if (!g) {
        for (const std::string& name : created) values.rmexternal(name);
        return drop();
      }
      created.push_back(m.name);
    }
    globals.push_back(g);
  }
  for (size_t k = 0; k < made.size(); ++k) {
    Values::Swap(globals[k], made[k]);
    std::swap(globals[k]->structdef, made[k]->structdef);
    values.Free(made[k]);
  }
  return 0;
}

}  // namespace nuvra::lumo
