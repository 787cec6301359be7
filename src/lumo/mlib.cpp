// Library files: reading the index, creating a library, appending a
// member in both byte orders, and loading a member.
#include "lumo/mlib.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <bit>
#include <cerrno>
#include <cstring>
#include <new>

#include "data/dta/replace_file.h"

namespace nuvra::lumo {

namespace {

constexpr bool kNativeLittle = std::endian::native == std::endian::little;

uint32_t Swap32(uint32_t w) { return __builtin_bswap32(w); }
uint16_t Swap16(uint16_t w) { return __builtin_bswap16(w); }

// Reads exactly n bytes at an offset; false on a short read.
bool ReadAt(int fd, void* buf, size_t n, off_t at) {
  auto* p = static_cast<unsigned char*>(buf);
  while (n > 0) {
    ssize_t got = pread(fd, p, n, at);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return false;
    p += got;
    n -= size_t(got);
    at += got;
  }
  return true;
}

// Writes through a budget that a test can set, as a full disk would
// refuse what goes past it.
struct Writer {
  int fd;
  int64_t budget;  // < 0: no limit
  bool WriteAt(const void* buf, size_t n, off_t at) {
    const auto* p = static_cast<const unsigned char*>(buf);
    while (n > 0) {
      size_t chunk = n;
      if (budget >= 0 && int64_t(chunk) > budget) chunk = size_t(budget);
      if (chunk == 0) return false;
      ssize_t put = pwrite(fd, p, chunk, at);
      if (put < 0 && errno == EINTR) continue;
      if (put <= 0) return false;
      if (budget >= 0) budget -= put;
      p += put;
      n -= size_t(put);
      at += put;
    }
    return true;
  }
};

uint32_t Get32(const unsigned char* p, bool swap) {
  uint32_t w;
  std::memcpy(&w, p, 4);
  return swap ? Swap32(w) : w;
}
uint16_t Get16(const unsigned char* p, bool swap) {
  uint16_t w;
  std::memcpy(&w, p, 2);
  return swap ? Swap16(w) : w;
}
void Put32(std::string& s, uint32_t w, bool swap) {
  if (swap) w = Swap32(w);
  s.append(reinterpret_cast<const char*>(&w), 4);
}
void Put16(std::string& s, uint16_t w, bool swap) {
  if (swap) w = Swap16(w);
  s.append(reinterpret_cast<const char*>(&w), 2);
}

// Whether numbers of a file written in this byte order need swapping here.
bool Foreign(bool big) { return big == kNativeLittle; }

// The header of one copy of a member, in the copy's byte order.
std::string MemberHeader(const FunctionRecord& f, bool swap) {
  std::string h;
  Put32(h, f.allocated, swap);
  Put32(h, f.allocated / 4, swap);
  Put32(h, uint32_t(int32_t(f.result_el)), swap);
  Put16(h, uint16_t(f.result_org), swap);
  Put16(h, uint16_t(kMlibFunction), swap);
  Put16(h, uint16_t(uint32_t(f.code()[0]) & 0xFFFFu), swap);
  return h;
}

off_t FileSize(int fd) {
  struct stat st;
  return fstat(fd, &st) == 0 ? st.st_size : -1;
}

}  // namespace

std::string MlibIndex::name(int32_t slot) const {
  const std::string& raw = names[size_t(slot)];
  return raw.substr(0, strnlen(raw.data(), raw.size()));
}

int32_t MlibIndex::Find(std::string_view member) const {
  for (int32_t k = 0; k < count; ++k)
    if (name(k) == member) return k;
  return -1;
}

std::string MlibIndex::Encode() const {
  bool swap = Foreign(big_endian());
  std::string s(reinterpret_cast<const char*>(kMlibMagic), 4);
  s += char(byteorder);
  s += char(spare);
  Put16(s, uint16_t(version), swap);
  Put32(s, uint32_t(count), swap);
  Put32(s, uint32_t(capacity), swap);
  // Slots past count are written back as they were read.
  for (int32_t k = 0; k < capacity; ++k) Put32(s, bigoffsets[size_t(k)], swap && k < count);
  for (int32_t k = 0; k < capacity; ++k) Put32(s, littleoffsets[size_t(k)], swap && k < count);
  for (int32_t k = 0; k < capacity; ++k) s += names[size_t(k)];
  return s;
}

rc_t MlibReadIndex(int fd, const std::string& shown, const MlibReport& report, MlibIndex* index) {
  auto could_not_read = [&] {
    report.Error("could not read " + shown + "\n");
    return rc_t{612};
  };
  auto not_library = [&](const char* why) {
    report.Error(shown + why);
    return rc_t{610};
  };
  unsigned char head[kMlibHeaderBytes];
  if (!ReadAt(fd, head, 4, 0)) return could_not_read();
  if (std::memcmp(head, kMlibMagic, 4) != 0) return not_library(" not lumo library\n");
  if (!ReadAt(fd, head + 4, 4, 4)) return could_not_read();
  MlibIndex ix;
  ix.byteorder = head[4];
  ix.spare = head[5];
  bool swap = Foreign(ix.big_endian());
  ix.version = int16_t(Get16(head + 6, swap));
  if (ix.version > kMlibVersion) return not_library(" from a more recent version of Nuvra\n");
  if (ix.version < 2) return not_library(" from a older version of Nuvra\n");
  if (!ReadAt(fd, head + 8, 8, 8)) return could_not_read();
  ix.count = int32_t(Get32(head + 8, swap));
  ix.capacity = int32_t(Get32(head + 12, swap));
  if (ix.capacity < 0 || ix.capacity > kMlibMaxSlots || ix.count < 0 || ix.count > ix.capacity)
    return not_library(" not lumo library\n");
  // The index is read only once the file is known to hold it all.
  size_t cap = size_t(ix.capacity);
  off_t size = FileSize(fd);
  if (size < 0 || size_t(size) < kMlibHeaderBytes + cap * kMlibSlotBytes) return could_not_read();
  std::vector<unsigned char> raw(cap * kMlibSlotBytes);
  if (!raw.empty() && !ReadAt(fd, raw.data(), raw.size(), kMlibHeaderBytes)) return could_not_read();
  ix.bigoffsets.resize(cap);
  ix.littleoffsets.resize(cap);
  ix.names.resize(cap);
  for (size_t k = 0; k < cap; ++k) {
    bool swap_slot = swap && k < size_t(ix.count);
    ix.bigoffsets[k] = Get32(&raw[4 * k], swap_slot);
    ix.littleoffsets[k] = Get32(&raw[4 * (cap + k)], swap_slot);
    ix.names[k].assign(reinterpret_cast<const char*>(&raw[8 * cap + kMlibNameBytes * k]), kMlibNameBytes);
    if (k < size_t(ix.count) && (ix.names[k][0] == 0 || ix.names[k].back() != 0)) return not_library(" not lumo library\n");
  }
  *index = std::move(ix);
  return 0;
}

rc_t MlibOpen(const std::string& path, const std::string& shown, const MlibReport& report, MlibIndex* index) {
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    report.Error("could not read " + shown + "\n");
    return 612;
  }
  rc_t rc = MlibReadIndex(fd, shown, report, index);
  close(fd);
  return rc;
}

rc_t MlibCreate(const std::string& path, int32_t capacity, bool replace, const MlibReport& report) {
  MlibIndex ix;
  ix.byteorder = kNativeLittle ? kMlibLittle : kMlibBig;
  ix.capacity = capacity;
  ix.bigoffsets.assign(size_t(capacity), 0);
  ix.littleoffsets.assign(size_t(capacity), 0);
  ix.names.assign(size_t(capacity), std::string(kMlibNameBytes, '\0'));
  std::string bytes = ix.Encode();
  dta::ReplacingFile file;
  rc_t rc = file.open(path, replace, 0666);
  if (rc == 0 && !file.write(bytes.data(), bytes.size())) rc = 693;
  if (rc == 0) rc = file.commit();
  switch (rc) {
    case 0: return 0;
    case 602: report.Error("file " + path + " already exists\n"); break;
    case 603: report.Error("file " + path + " could not be opened\n"); break;
    case 608: report.Error("file " + path + " is read-only; cannot be modified or erased\n"); break;
    default: report.Error("could not write into library\n"); break;
  }
  return rc;
}

rc_t MlibAdd(const std::string& path, const std::string& shown, const FunctionRecord& f, const MlibReport& report,
             int64_t fail_after) {
  int fd = open(path.c_str(), O_RDWR | O_CLOEXEC);
  if (fd < 0) {
    if (errno == EACCES || errno == EROFS) {
      report.Error("file " + shown + " is read-only; cannot be modified or erased\n");
      return 608;
    }
    report.Error("could not read " + shown + "\n");
    return 612;
  }
  struct Closer {
    int fd;
    ~Closer() { close(fd); }
  } closer{fd};
  MlibIndex ix;
  if (rc_t rc = MlibReadIndex(fd, shown, report, &ix)) return rc;
  if (ix.version != kMlibVersion) {
    report.Error("cannot add members to old-format libarary\n");
    return 610;
  }
  if (ix.count >= ix.capacity) {
    report.Error("library is full\n");
    return 611;
  }
  std::string name(f.name);
  if (name.size() >= kMlibNameBytes) {
    report.Error(name + "():  name too long for a library\n");
    return 198;
  }
  if (ix.Find(name) >= 0) {
    report.Error(name + " already member of library\n");
    return 602;
  }
  if (f.allocated == 0) {
    report.Error("unexpected 0-length function\n");
    return 9777;
  }
  size_t words = f.allocated / 4;
  bool structdef = f.result_el == kCtStructdef;
  std::string native, other;
  try {
    std::vector<unsigned char> reversed;
    std::string message;
    if (rc_t rc = MlibReverseCode(f.code(), words, structdef, &reversed, &message)) {
      report.Error(message);
      return rc;
    }
    native = MemberHeader(f, false);
    native.append(static_cast<const char*>(f.data), words * 4);
    other = MemberHeader(f, true);
    other.append(reinterpret_cast<const char*>(reversed.data()), reversed.size());
  } catch (const std::bad_alloc&) {
    report.Error("no room to convert " + name + "() to the other byte order\n");
    return 9710;
  }
  off_t old_size = FileSize(fd);
  std::string old_header(kMlibHeaderBytes + size_t(ix.capacity) * kMlibSlotBytes, '\0');
  if (old_size < 0 || uint64_t(old_size) + native.size() + other.size() > UINT32_MAX ||
      !ReadAt(fd, old_header.data(), old_header.size(), 0)) {
    report.Error("could not write into library\n");
    return 693;
  }
  uint32_t native_at = uint32_t(old_size), other_at = uint32_t(old_size + off_t(native.size()));
  size_t slot = size_t(ix.count);
  (kNativeLittle ? ix.littleoffsets : ix.bigoffsets)[slot] = native_at;
  (kNativeLittle ? ix.bigoffsets : ix.littleoffsets)[slot] = other_at;
  ix.names[slot] = name;
  ix.names[slot].resize(kMlibNameBytes, '\0');
  ++ix.count;
  std::string header = ix.Encode();
  Writer w{fd, fail_after};
  if (!w.WriteAt(native.data(), native.size(), native_at) || !w.WriteAt(other.data(), other.size(), other_at) ||
      !w.WriteAt(header.data(), header.size(), 0)) {
    // Back to the file as it was: its old length and its old index.
    if (ftruncate(fd, old_size) != 0) {}
    Writer undo{fd, -1};
    undo.WriteAt(old_header.data(), old_header.size(), 0);
    report.Error("could not write into library\n");
    return 693;
  }
  return 0;
}

rc_t MlibLoad(int fd, const MlibIndex& index, int32_t slot, Values& values, const MlibReport& report,
              FunctionRecord** out) {
  auto corrupt = [&](const char* what) {
    report.Error(std::string("unable to ") + what + "; library is corrupt\n");
    return rc_t{610};
  };
  if (slot < 0 || slot >= index.count) return corrupt("seek");
  uint32_t at = (kNativeLittle ? index.littleoffsets : index.bigoffsets)[size_t(slot)];
  off_t size = FileSize(fd);
  if (size < 0 || off_t(at) > size) return corrupt("seek");
  unsigned char h[kMlibMemberHeaderBytes];
  if (!ReadAt(fd, h, sizeof h, off_t(at))) return corrupt("read");
  uint32_t codebytes = Get32(h, false), codewords = Get32(h + 4, false);
  int32_t el = int32_t(Get32(h + 8, false));
  int16_t org = int16_t(Get16(h + 12, false)), kind = int16_t(Get16(h + 14, false));
  // Nothing is allocated beyond what the file can hold.
  uint64_t room = uint64_t(size) - at - sizeof h;
  if (kind != kMlibFunction || codebytes != uint64_t(codewords) * 4 || codebytes > room ||
      codewords < 2 || el < kCtStructdef || el > kCtStruct || org < kOrgMatrix || org > kOrgVoid)
    return corrupt("read");
  std::vector<int32_t> code(codewords);
  if (!ReadAt(fd, code.data(), codebytes, off_t(at + sizeof h))) return corrupt("read");
  if (!MlibCodeWalks(code.data(), code.size(), el == kCtStructdef)) return corrupt("read");
  std::string name = index.name(slot);
  if (FunctionRecord* have = values.FindFunction(name)) {
    *out = have;
    return 0;
  }
  FunctionRecord* f = values.AddAutoloaded(name, std::move(code), int8_t(el), int8_t(org));
  if (!f) {
    report.Error("unable to allocate function\n");
    return 3900;
  }
  *out = f;
  return 0;
}

}  // namespace nuvra::lumo
