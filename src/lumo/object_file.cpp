// Writing and reading object files.
#include "lumo/object_file.h"

#include <cctype>

#include "lumo/binary_io.h"
#include "lumo/compiler.h"
#include "lumo/mlib.h"

namespace nuvra::lumo {

namespace {

constexpr unsigned char kMagic[4] = {'L', 'M', 'O', 0x1A};
// No compiled function comes near this; a larger file is not one of ours.
constexpr size_t kMaxObjectBytes = size_t(1) << 28;

bool ValidName(std::string_view s) {
  if (s.empty() || s.size() >= kObjectNameBytes) return false;
  if (!(std::isalpha((unsigned char)s[0]) || s[0] == '_')) return false;
  for (char c : s)
    if (!(std::isalnum((unsigned char)c) || c == '_')) return false;
  return true;
}

}  // namespace

std::string EncodeObject(const FunctionRecord& f) {
  std::string out(reinterpret_cast<const char*>(kMagic), 4);
  PutU16(&out, kObjectVersion);
  out.push_back(char(f.result_el));
  out.push_back(char(f.result_org));
  std::string name(f.name);
  name.resize(kObjectNameBytes, '\0');
  out += name;
  out.append(3, '\0');
  size_t words = f.code_words();
  PutU32(&out, uint32_t(words));
  for (size_t k = 0; k < words; ++k) PutU32(&out, uint32_t(f.code()[k]));
  PutU32(&out, CheckWord(out));
  return out;
}

rc_t DecodeObject(std::string_view bytes, ObjectFunction* out, std::string* why) {
  auto fail = [why](rc_t rc, const char* text) {
    *why = text;
    return rc;
  };
  const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
  if (bytes.size() < 6) return fail(612, "could not read");
  if (std::memcmp(p, kMagic, 4) != 0) return fail(610, "not lumo object file");
  uint16_t version = GetU16(p + 4);
  if (version > kObjectVersion) return fail(610, "from a more recent version of Nuvra");
  if (version < 1) return fail(610, "not lumo object file");
  if (bytes.size() < kObjectHeaderBytes) return fail(612, "could not read");
  uint64_t words = GetU32(p + 44);
  uint64_t total = kObjectHeaderBytes + 4 * words + 4;
  if (bytes.size() < total) return fail(612, "could not read");
  if (bytes.size() > total) return fail(610, "damaged");
  if (CheckWord(bytes.substr(0, total - 4)) != GetU32(p + total - 4)) return fail(610, "damaged");
  ObjectFunction obj;
  obj.el = int8_t(p[6]);
  obj.org = int8_t(p[7]);
  const char* name = reinterpret_cast<const char*>(p + 8);
  size_t len = 0;
  while (len < kObjectNameBytes && name[len]) ++len;
  obj.name.assign(name, len);
  bool padded = true;
  for (size_t k = len; k < kObjectNameBytes + 3; ++k) padded = padded && p[8 + k] == 0;
  if (!ValidName(obj.name) || !padded) return fail(610, "damaged");
  if (obj.el < kCtStructdef || obj.el > kCtStruct || obj.org < kOrgMatrix || obj.org > kOrgVoid)
    return fail(610, "damaged");
  obj.code.resize(size_t(words));
  for (size_t k = 0; k < obj.code.size(); ++k) obj.code[k] = int32_t(GetU32(p + kObjectHeaderBytes + 4 * k));
  if (obj.code.size() < size_t(kCodeHeaderWords) || obj.code[0] < 0 || obj.code[1] < 0 || obj.code[1] > obj.code[0])
    return fail(610, "damaged");
  // A structure definition holds its members, which are read with their
  // own bounds checks; a function holds instructions.
  if (obj.el != kCtStructdef && !MlibCodeWalks(obj.code.data(), obj.code.size(), false)) return fail(610, "damaged");
  *out = std::move(obj);
  return 0;
}

rc_t ReadObjectFile(const std::string& path, ObjectFunction* out, std::string* message) {
  return ReadAndDecode(path, kMaxObjectBytes, "object", message,
                       [out](std::string_view bytes, std::string* why) { return DecodeObject(bytes, out, why); });
}

rc_t DefineObject(Values& values, ObjectFunction obj) {
  if (values.FindFunction(obj.name)) return 110;
  if (!values.AddFunction(obj.name, std::move(obj.code), obj.el, obj.org)) return 3900;
  return 0;
}

}  // namespace nuvra::lumo
