// File handles and the file system.  At most kMaxOpenFiles files are open
// at once; a handle is its slot number plus one.  The plain forms end the
// Lumo code on failure; the underscore forms return the code negated (or
// 0) and leave it in fstatus().
#include "lumo/builtins_file.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "data/expr/strfuncs.h"
#include "data/missing.h"
#include "lumo/builtin_args.h"
#include "lumo/machine_state.h"

namespace nuvra::lumo {

MachineState::~MachineState() {
  for (OpenFile& f : files)
    if (f.fd >= 0) ::close(f.fd);
}

void MachineState::CloseAutoFiles(int depth, int level) {
  for (OpenFile& f : files)
    if (f.fd >= 0 && f.autoclose && f.depth == depth && f.level >= level) {
      ::close(f.fd);
      f = OpenFile{};
    }
}

namespace {

using data::is_missing;

std::string_view Text(const ValueRecord* v, int64_t k = 0) {
  StringRef s = string_of(slots(v)[k]);
  return {s.bytes, s.length};
}

bool StringScalar(Machine& m, const ValueRecord* v, std::string* out) {
  if (!m.CheckMatrix(v) || !m.CheckString(v) || !m.CheckScalar(v)) return false;
  *out = std::string(Text(v));
  return true;
}

// J(0, 0, ""): what a read at the end of the file gives.
void ReturnNoString(Machine& m, int n) { BiReturn(m, n, m.values().NewValue("", kString, 0, 0)); }

// The code for the system's error number after a failed call.
rc_t ErrnoCode(int e, rc_t otherwise) {
  switch (e) {
    case ENOENT:
    case ENOTDIR: return 601;
    case EEXIST: return 602;
    case EACCES:
    case EPERM:
    case EROFS: return 608;
    case ENOSPC:
    case EDQUOT: return 699;
    case EMFILE:
    case ENFILE: return 3611;
    case EFBIG: return 3612;
    case EIO: return 691;
    default: return otherwise;
  }
}

// How a failure ends: the plain form raises it, the underscore form
// returns its negation.  Either way the handle's status records it.
void Fail(Machine& m, int n, bool soft, rc_t code, OpenFile* f = nullptr) {
  if (f) f->status = -code;
  if (soft) return BiReturn(m, n, m.values().NewScalar(-double(code)));
  if (code == 3611) return m.RaiseError(code, "too many open files (could not alloc)");
  m.RaiseError(code, Machine::MessageFor(code));
}

void Succeed(Machine& m, int n, bool soft, OpenFile* f = nullptr) {
  if (f) f->status = 0;
  if (soft) return BiReturn(m, n, m.values().NewScalar(0));
  BiReturnVoid(m, n);
}

// The open file a handle names; false after raising 3601 (a handle is
// checked before anything else, underscore forms included).
bool HandleArg(Machine& m, int n, int k, OpenFile** out) {
  double d;
  if (!BiRealScalar(m, BiArg(m, n, k), &d)) return false;
  if (!(d >= 1 && d <= kMaxOpenFiles && d == std::floor(d))) return BiFail(m, 3601);
  OpenFile& f = m.state().files[int(d) - 1];
  if (f.fd < 0) return BiFail(m, 3601);
  *out = &f;
  return true;
}

bool CanRead(const OpenFile& f) { return f.mode == 'r' || f.mode == 'u'; }
bool CanWrite(const OpenFile& f) { return f.mode != 'r'; }

bool WriteAll(int fd, const char* p, size_t len, int* err) {
  while (len > 0) {
    ssize_t w = ::write(fd, p, len);
    if (w < 0) {
      if (errno == EINTR) continue;
      *err = errno;
      return false;
    }
    p += w;
    len -= size_t(w);
  }
  return true;
}

// Reads up to len bytes; false on an I/O error.
bool ReadUpTo(int fd, size_t len, std::string* out, int* err) {
  out->resize(len);
  size_t got = 0;
  while (got < len) {
    ssize_t r = ::read(fd, out->data() + got, len - got);
    if (r < 0) {
      if (errno == EINTR) continue;
      *err = errno;
      return false;
    }
    if (r == 0) break;
    got += size_t(r);
  }
  out->resize(got);
  return true;
}

// fopen(file, mode [, "public"]): modes "r" (the file must exist), "w" (it
// must not: writing never overwrites a file by accident), "rw" (opened or
// made, for reading and writing) and "a" (opened or made, written at the
// end).
void Open(Machine& m, int n, bool soft) {
  std::string name, mode, pub;
  if (!StringScalar(m, BiArg(m, n, 0), &name) || !StringScalar(m, BiArg(m, n, 1), &mode)) return;
  if (n == 3 && !StringScalar(m, BiArg(m, n, 2), &pub)) return;
  if (n == 3 && pub != "public" && !pub.empty()) return (void)BiFail(m, 3300);
  if (name.empty() || name.find('\0') != std::string::npos) return Fail(m, n, soft, 3602);
  int flags;
  char kind;
  if (mode == "r") flags = O_RDONLY, kind = 'r';
  else if (mode == "w") flags = O_WRONLY | O_CREAT | O_EXCL, kind = 'w';
  else if (mode == "rw") flags = O_RDWR | O_CREAT, kind = 'u';
  else if (mode == "a") flags = O_WRONLY | O_CREAT | O_APPEND, kind = 'a';
  else return Fail(m, n, soft, 3603);
  MachineState& st = m.state();
  int slot = -1;
  for (int k = 0; k < kMaxOpenFiles && slot < 0; ++k)
    if (st.files[k].fd < 0) slot = k;
  if (slot < 0) return Fail(m, n, soft, 3611);
  int fd = ::open(name.c_str(), flags | O_CLOEXEC, pub == "public" ? 0644 : 0666);
  if (fd < 0) return Fail(m, n, soft, ErrnoCode(errno, 603));
  struct stat sb;
  if (::fstat(fd, &sb) == 0 && S_ISDIR(sb.st_mode)) {
    ::close(fd);
    return Fail(m, n, soft, 603);
  }
  OpenFile& f = st.files[slot];
  f.fd = fd;
  f.mode = kind;
  f.autoclose = false;
  f.depth = m.statement_depth();
  f.level = m.level();
  f.status = 0;
  f.path = name;
  BiReturn(m, n, m.values().NewScalar(slot + 1));
}

void Close(Machine& m, int n, bool soft) {
  OpenFile* f;
  if (!HandleArg(m, n, 0, &f)) return;
  int rc = ::close(f->fd);
  int e = errno;
  *f = OpenFile{};
  if (rc != 0) return Fail(m, n, soft, ErrnoCode(e, 691));
  Succeed(m, n, soft);
}

// A line: bytes up to and including the next newline (or the end of the
// file), at most maxlen of them.  Read a block at a time, then the file
// position is put back after the line.
bool ReadLine(OpenFile& f, size_t maxlen, std::string* line, bool* eof, int* err) {
  line->clear();
  *eof = false;
  char buf[4096];
  while (line->size() < maxlen) {
    ssize_t r = ::read(f.fd, buf, std::min(sizeof buf, maxlen - line->size()));
    if (r < 0) {
      if (errno == EINTR) continue;
      *err = errno;
      return false;
    }
    if (r == 0) {
      *eof = line->empty();
      return true;
    }
    const char* nl = static_cast<const char*>(std::memchr(buf, '\n', size_t(r)));
    size_t take = nl ? size_t(nl - buf) + 1 : size_t(r);
    line->append(buf, take);
    if (take < size_t(r) && ::lseek(f.fd, off_t(take) - off_t(r), SEEK_CUR) < 0) {
      *err = errno;
      return false;
    }
    if (nl) return true;
  }
  return true;
}

void GetLine(Machine& m, int n, bool soft, bool keep_newline) {
  OpenFile* f;
  if (!HandleArg(m, n, 0, &f)) return;
  double maxlen = 32768;
  if (n == 2) {
    if (!BiRealScalar(m, BiArg(m, n, 1), &maxlen)) return;
    if (is_missing(maxlen) || maxlen < 1 || maxlen != std::floor(maxlen)) return (void)BiFail(m, 3300);
  }
  if (!CanRead(*f)) {
    f->status = -3622;
    if (soft) return ReturnNoString(m, n);
    return (void)BiFail(m, 3622);
  }
  std::string line;
  bool eof;
  int err = 0;
  if (!ReadLine(*f, size_t(std::min(maxlen, 1e9)), &line, &eof, &err)) {
    f->status = -ErrnoCode(err, 691);
    if (soft) return ReturnNoString(m, n);
    return (void)BiFail(m, -f->status);
  }
  f->status = eof ? -1 : 0;
  if (eof) return ReturnNoString(m, n);
  if (!keep_newline) {
    if (!line.empty() && line.back() == '\n') line.pop_back();
    if (!line.empty() && line.back() == '\r') line.pop_back();
  }
  BiReturnString(m, n, line);
}

void Write(Machine& m, int n, bool soft, bool newline) {
  OpenFile* f;
  std::string s;
  if (!HandleArg(m, n, 0, &f) || !StringScalar(m, BiArg(m, n, 1), &s)) return;
  if (!CanWrite(*f)) return Fail(m, n, soft, 3621, f);
  if (newline) s += '\n';
  int err = 0;
  if (!WriteAll(f->fd, s.data(), s.size(), &err)) return Fail(m, n, soft, ErrnoCode(err, 691), f);
  Succeed(m, n, soft, f);
}

// fseek(fh, offset, whence): whence -1 from the start, 0 from where the
// file is, 1 from the end.
void Seek(Machine& m, int n, bool soft) {
  OpenFile* f;
  double off, whence;
  if (!HandleArg(m, n, 0, &f) || !BiRealScalar(m, BiArg(m, n, 1), &off) || !BiRealScalar(m, BiArg(m, n, 2), &whence))
    return;
  if (is_missing(off) || off != std::floor(off) || !(whence == -1 || whence == 0 || whence == 1))
    return (void)BiFail(m, 3300);
  if (f->mode == 'a') return Fail(m, n, soft, 3623, f);
  int how = whence == -1 ? SEEK_SET : whence == 0 ? SEEK_CUR : SEEK_END;
  if (::lseek(f->fd, off_t(off), how) < 0) return Fail(m, n, soft, 3698, f);
  Succeed(m, n, soft, f);
}

void Truncate(Machine& m, int n, bool soft) {
  OpenFile* f;
  if (!HandleArg(m, n, 0, &f)) return;
  if (!CanWrite(*f)) return Fail(m, n, soft, 3621, f);
  off_t at = ::lseek(f->fd, 0, SEEK_CUR);
  if (at < 0 || ::ftruncate(f->fd, at) != 0) return Fail(m, n, soft, ErrnoCode(errno, 691), f);
  Succeed(m, n, soft, f);
}

// The binary form of a matrix: a 20-byte header ("LMX1", a byte-order
// mark, the eltype code, rows and cols, each a 32-bit word in this
// machine's order), then the elements row by row: 8-byte doubles, 16-byte
// complex pairs, or strings as a 32-bit length and the bytes.
constexpr char kMatrixMagic[4] = {'L', 'M', 'X', '1'};
constexpr uint32_t kOrderMark = 0x01020304;

void PutWord(std::string* out, uint32_t w) { out->append(reinterpret_cast<const char*>(&w), 4); }

void PutMatrix(Machine& m, int n, bool soft) {
  OpenFile* f;
  if (!HandleArg(m, n, 0, &f)) return;
  ValueRecord* x = BiArg(m, n, 1);
  if (!m.CheckMatrix(x)) return;
  if (x->eltype != kReal && x->eltype != kComplex && x->eltype != kString) return (void)BiFail(m, 3256);
  if (!CanWrite(*f)) return Fail(m, n, soft, 3621, f);
  std::string out(kMatrixMagic, 4);
  PutWord(&out, kOrderMark);
  PutWord(&out, uint32_t(int32_t(x->eltype)));
  PutWord(&out, uint32_t(x->rows));
  PutWord(&out, uint32_t(x->cols));
  if (x->eltype == kString) {
    for (int64_t k = 0; k < element_count(x); ++k) {
      std::string_view s = Text(x, k);
      PutWord(&out, uint32_t(s.size()));
      out.append(s);
    }
  } else {
    out.append(static_cast<const char*>(x->data), size_t(element_count(x)) * element_width(x->eltype));
  }
  int err = 0;
  if (!WriteAll(f->fd, out.data(), out.size(), &err)) return Fail(m, n, soft, ErrnoCode(err, 691), f);
  Succeed(m, n, soft, f);
}

// Reads what PutMatrix wrote; a file that holds no such matrix at this
// point is 610 ("file format error"), the end of the file J(0, 0, .).
void GetMatrix(Machine& m, int n, bool soft) {
  OpenFile* f;
  if (!HandleArg(m, n, 0, &f)) return;
  auto fail = [&](rc_t code) {
    f->status = -code;
    if (soft) return BiReturn(m, n, m.values().NewValue("", kReal, 0, 0));
    m.RaiseError(code, Machine::MessageFor(code));
  };
  if (!CanRead(*f)) return fail(3622);
  std::string head;
  int err = 0;
  if (!ReadUpTo(f->fd, 20, &head, &err)) return fail(ErrnoCode(err, 691));
  if (head.empty()) {
    f->status = -1;
    return BiReturn(m, n, m.values().NewValue("", kReal, 0, 0));
  }
  uint32_t w[4];
  if (head.size() < 20 || std::memcmp(head.data(), kMatrixMagic, 4) != 0) return fail(610);
  std::memcpy(w, head.data() + 4, 16);
  int32_t el = int32_t(w[1]), rows = int32_t(w[2]), cols = int32_t(w[3]);
  if (w[0] != kOrderMark || (el != kReal && el != kComplex && el != kString) || rows < 0 || cols < 0) return fail(610);
  // A header whose size disagrees with the file is refused before any
  // memory is asked for.
  struct stat sb;
  off_t at = ::lseek(f->fd, 0, SEEK_CUR);
  uint64_t cells = uint64_t(rows) * uint64_t(cols);
  uint64_t least = cells * (el == kString ? 4 : element_width(el));
  if (::fstat(f->fd, &sb) != 0 || at < 0 || least > uint64_t(sb.st_size - at)) return fail(610);
  ValueRecord* r = m.values().NewValue("", el, rows, cols);
  if (!r) return m.RaiseAllocation();
  std::string body;
  if (el != kString) {
    if (!ReadUpTo(f->fd, size_t(least), &body, &err) || body.size() != least) {
      m.values().Free(r);
      return fail(err ? ErrnoCode(err, 691) : 610);
    }
    if (least) std::memcpy(r->data, body.data(), size_t(least));
  } else {
    for (uint64_t k = 0; k < cells; ++k) {
      std::string len;
      uint32_t l = 0;
      bool ok = ReadUpTo(f->fd, 4, &len, &err) && len.size() == 4;
      if (ok) std::memcpy(&l, len.data(), 4);
      ok = ok && uint64_t(l) <= uint64_t(sb.st_size) && ReadUpTo(f->fd, l, &body, &err) && body.size() == l;
      bool made = false;
      if (ok) slots(r)[k] = m.values().NewString(body, &made);
      if (!ok || !made) {
        m.values().Free(r);
        if (ok) return m.RaiseAllocation();
        return fail(err ? ErrnoCode(err, 691) : 610);
      }
    }
  }
  f->status = 0;
  BiReturn(m, n, r);
}

void Unlink(Machine& m, int n, bool soft) {
  std::string name;
  if (!StringScalar(m, BiArg(m, n, 0), &name)) return;
  if (name.empty()) return Fail(m, n, soft, 3602);
  if (::unlink(name.c_str()) != 0 && errno != ENOENT) return Fail(m, n, soft, ErrnoCode(errno, 691));
  Succeed(m, n, soft);
}

bool IsDirectory(const std::string& path) {
  struct stat sb;
  return ::stat(path.c_str(), &sb) == 0 && S_ISDIR(sb.st_mode);
}

// fread(fh, len): the next len bytes (fewer at the end of the file);
// J(0, 0, "") at the end.  _fread returns the negated code of a failed
// read instead of failing.
void Read(Machine& m, int n, bool soft) {
  OpenFile* f;
  double len;
  if (!HandleArg(m, n, 0, &f) || !BiRealScalar(m, BiArg(m, n, 1), &len)) return;
  if (is_missing(len) || len < 0 || len != std::floor(len) || len > 2147483647.0) return (void)BiFail(m, 3300);
  if (!CanRead(*f)) return Fail(m, n, soft, 3622, f);
  std::string s;
  int err = 0;
  if (!ReadUpTo(f->fd, size_t(len), &s, &err)) return Fail(m, n, soft, ErrnoCode(err, 691), f);
  f->status = s.empty() && len > 0 ? -1 : 0;
  if (s.empty() && len > 0) return ReturnNoString(m, n);
  BiReturnString(m, n, s);
}

}  // namespace

void BiFopen(Machine& m, int n) { Open(m, n, false); }
void BiFopenRc(Machine& m, int n) { Open(m, n, true); }
void BiFclose(Machine& m, int n) { Close(m, n, false); }
void BiFcloseRc(Machine& m, int n) { Close(m, n, true); }

// fautoclose(fh): the handle is closed when the function that opened it
// ends by an error (or Break) rather than by returning.
void BiFautoclose(Machine& m, int n) {
  OpenFile* f;
  if (!HandleArg(m, n, 0, &f)) return;
  f->autoclose = true;
  BiReturnVoid(m, n);
}

// fget(fh): the next line without its end-of-line; fgetnl(fh [, max])
// with it.  J(0, 0, "") at the end of the file.
void BiFget(Machine& m, int n) { GetLine(m, n, false, false); }
void BiFgetRc(Machine& m, int n) { GetLine(m, n, true, false); }
void BiFgetnl(Machine& m, int n) { GetLine(m, n, false, true); }
void BiFgetnlRc(Machine& m, int n) { GetLine(m, n, true, true); }
void BiFread(Machine& m, int n) { Read(m, n, false); }
void BiFreadRc(Machine& m, int n) { Read(m, n, true); }

// fstatus(fh): 0 when the last read or write went well, -1 after a read
// at the end of the file, else the negated code of the failure.
void BiFstatus(Machine& m, int n) {
  OpenFile* f;
  if (!HandleArg(m, n, 0, &f)) return;
  BiReturn(m, n, m.values().NewScalar(f->status));
}

void BiFwrite(Machine& m, int n) { Write(m, n, false, false); }
void BiFwriteRc(Machine& m, int n) { Write(m, n, true, false); }
void BiFput(Machine& m, int n) { Write(m, n, false, true); }
void BiFputRc(Machine& m, int n) { Write(m, n, true, true); }
void BiFseek(Machine& m, int n) { Seek(m, n, false); }
void BiFseekRc(Machine& m, int n) { Seek(m, n, true); }
void BiFtruncate(Machine& m, int n) { Truncate(m, n, false); }
void BiFtruncateRc(Machine& m, int n) { Truncate(m, n, true); }
void BiFputmatrix(Machine& m, int n) { PutMatrix(m, n, false); }
void BiFputmatrixRc(Machine& m, int n) { PutMatrix(m, n, true); }
void BiFgetmatrix(Machine& m, int n) { GetMatrix(m, n, false); }
void BiFgetmatrixRc(Machine& m, int n) { GetMatrix(m, n, true); }

// unlink(file): the file is removed; one that does not exist is no error.
void BiUnlink(Machine& m, int n) { Unlink(m, n, false); }
void BiUnlinkRc(Machine& m, int n) { Unlink(m, n, true); }

// tmpfilename(): a name for a temporary file, unique in this session.
void BiTmpfilename(Machine& m, int n) {
  static unsigned counter = 0;
  char buf[40];
  std::snprintf(buf, sizeof buf, "LM%05u_%06u.tmp", unsigned(::getpid() % 100000), ++counter);
  BiReturnString(m, n, buf);
}

// pwd(): the working directory, ending in "/".
void BiPwd(Machine& m, int n) {
  std::vector<char> buf(4096);
  while (!::getcwd(buf.data(), buf.size())) {
    if (errno != ERANGE || buf.size() > (1u << 20)) return (void)BiFail(m, 3598);
    buf.resize(buf.size() * 2);
  }
  std::string dir(buf.data());
  if (dir.empty() || dir.back() != '/') dir += '/';
  BiReturnString(m, n, dir);
}

// _chdir(dir), _rmdir(dir), _mkdir(dir [, public]): 0, or the negated
// code (170 a directory that cannot be entered, 693 one that cannot be
// made or removed).
void BiChdirRc(Machine& m, int n) {
  std::string dir;
  if (!StringScalar(m, BiArg(m, n, 0), &dir)) return;
  BiReturn(m, n, m.values().NewScalar(dir.empty() || ::chdir(dir.c_str()) != 0 ? -170 : 0));
}
void BiRmdirRc(Machine& m, int n) {
  std::string dir;
  if (!StringScalar(m, BiArg(m, n, 0), &dir)) return;
  BiReturn(m, n, m.values().NewScalar(dir.empty() || ::rmdir(dir.c_str()) != 0 ? -693 : 0));
}
void BiMkdirRc(Machine& m, int n) {
  std::string dir;
  if (!StringScalar(m, BiArg(m, n, 0), &dir)) return;
  bool pub = false;
  if (n == 2) {
    double d;
    if (!BiRealScalar(m, BiArg(m, n, 1), &d)) return;
    pub = d != 0;
  }
  BiReturn(m, n, m.values().NewScalar(dir.empty() || ::mkdir(dir.c_str(), pub ? 0755 : 0777) != 0 ? -693 : 0));
}

void BiDirexists(Machine& m, int n) {
  std::string dir;
  if (!StringScalar(m, BiArg(m, n, 0), &dir)) return;
  BiReturn(m, n, m.values().NewScalar(!dir.empty() && IsDirectory(dir)));
}

// dir(dirname, "files" | "dirs" | "other" [, pattern]): the names of that
// kind in the directory that match the pattern (* and ?), sorted; "." and
// ".." are never listed.  A directory that cannot be read gives none.
void BiDir(Machine& m, int n) {
  std::string dir, type, pattern = "*";
  if (!StringScalar(m, BiArg(m, n, 0), &dir) || !StringScalar(m, BiArg(m, n, 1), &type)) return;
  if (n == 3 && !StringScalar(m, BiArg(m, n, 2), &pattern)) return;
  if (type != "files" && type != "dirs" && type != "other") return (void)BiFail(m, 3300);
  if (dir.empty()) dir = ".";
  std::vector<std::string> names;
  if (DIR* d = ::opendir(dir.c_str())) {
    while (dirent* e = ::readdir(d)) {
      std::string name = e->d_name;
      if (name == "." || name == ".." || !expr::str_match(name, pattern)) continue;
      struct stat sb;
      if (::stat((dir + "/" + name).c_str(), &sb) != 0) continue;
      bool want = type == "files" ? S_ISREG(sb.st_mode) : type == "dirs" ? S_ISDIR(sb.st_mode)
                                                                         : !S_ISREG(sb.st_mode) && !S_ISDIR(sb.st_mode);
      if (want) names.push_back(name);
    }
    ::closedir(d);
  }
  std::sort(names.begin(), names.end());
  ValueRecord* r = m.values().NewValue("", kString, int32_t(names.size()), 1);
  if (!r) return m.RaiseAllocation();
  for (size_t k = 0; k < names.size(); ++k) {
    bool ok;
    slots(r)[k] = m.values().NewString(names[k], &ok);
    if (!ok) {
      m.values().Free(r);
      return m.RaiseAllocation();
    }
  }
  BiReturn(m, n, r);
}

}  // namespace nuvra::lumo
