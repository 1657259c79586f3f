#include "io/files.h"

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "io/diagnostics.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace kv::io {
namespace {

File g_units[kMaxUnit];

#ifdef _WIN32
int os_open(const std::string& name, bool writable) {
  const int flags = writable ? (_O_RDWR | _O_CREAT | _O_BINARY | _O_NOINHERIT) : (_O_RDONLY | _O_BINARY | _O_NOINHERIT);
  return ::_open(name.c_str(), flags, _S_IREAD | _S_IWRITE);
}
long long os_read(int fd, char* dst, std::size_t n) {
  return ::_read(fd, dst, static_cast<unsigned>(n > (1u << 30) ? (1u << 30) : n));
}
long long os_write(int fd, const char* src, std::size_t n) {
  return ::_write(fd, src, static_cast<unsigned>(n > (1u << 30) ? (1u << 30) : n));
}
bool os_cut(int fd, std::int64_t at) { return ::_chsize_s(fd, at) == 0 && ::_lseeki64(fd, at, SEEK_SET) == at; }
std::int64_t os_tell(int fd) { return ::_lseeki64(fd, 0, SEEK_CUR); }
bool os_is_regular(int fd) {
  struct _stat64 st;
  return ::_fstat64(fd, &st) == 0 && (st.st_mode & _S_IFREG) != 0;
}
void os_close(int fd) { ::_close(fd); }
#else
int os_open(const std::string& name, bool writable) {
  const int flags = writable ? (O_RDWR | O_CREAT | O_CLOEXEC) : (O_RDONLY | O_CLOEXEC);
  int fd;
  do fd = ::open(name.c_str(), flags, 0666);
  while (fd < 0 && errno == EINTR);
  return fd;
}
long long os_read(int fd, char* dst, std::size_t n) {
  long long r;
  do r = ::read(fd, dst, n);
  while (r < 0 && errno == EINTR);
  return r;
}
long long os_write(int fd, const char* src, std::size_t n) {
  long long r;
  do r = ::write(fd, src, n);
  while (r < 0 && errno == EINTR);
  return r;
}
bool os_cut(int fd, std::int64_t at) {
  return ::ftruncate(fd, static_cast<off_t>(at)) == 0 && ::lseek(fd, static_cast<off_t>(at), SEEK_SET) == at;
}
std::int64_t os_tell(int fd) { return static_cast<std::int64_t>(::lseek(fd, 0, SEEK_CUR)); }
bool os_is_regular(int fd) {
  struct stat st;
  return ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
}
void os_close(int fd) { ::close(fd); }
#endif

// The reason the OS gave for a failed open, as the message that reports it.
int open_failure_message(int err) {
  switch (err) {
    case ENOENT:
    case ENOTDIR:
      return kFileNotFound;
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:
#ifdef ETXTBSY
    case ETXTBSY:
#endif
      return kPermissionDenied;
    case ENXIO:
    case ENODEV:
      return kNoSuchDevice;
    case ENAMETOOLONG:
    case EINVAL:
#ifdef EILSEQ
    case EILSEQ:
#endif
      return kFileNameError;
    default:
      return kOpenFailure;
  }
}

// Writes n bytes; `done` receives how many reached the file, all of them on success.
bool write_all(int fd, const char* p, std::size_t n, std::size_t& done) {
  done = 0;
  while (n > 0) {
    const long long r = os_write(fd, p, n);
    if (r <= 0) return false;
    p += r;
    n -= static_cast<std::size_t>(r);
    done += static_cast<std::size_t>(r);
  }
  return true;
}

}  // namespace

std::string full_path_name(std::string_view name) {
  std::error_code ec;
  const std::filesystem::path p(name);
  std::filesystem::path abs = std::filesystem::absolute(p, ec);
  if (ec) abs = p;
  return abs.lexically_normal().string();
}

File& file(int unit) { return g_units[unit]; }

void open(int unit, std::string_view name) {
  // The records written so far reach their files before another file is created or
  // cut: a record the OS refuses ends the run before anything else is touched.
  flush_all();
  File& f = g_units[unit];
  if (f.is_open) close(unit);  // a unit opened again lets go of its earlier file first
  f = File{};
  f.unit = unit;
  f.full_path = full_path_name(name);
  f.is_open = true;  // so that a diagnostic can name the file
  // A NUL byte would cut the name short and open another file.
  if (f.full_path.size() > kMaxFullPath || name.find('\0') != std::string_view::npos) {
    f.is_open = false;
    severe(kFileNameError, unit);
  }
  const std::string path(name);
  int fd = path.empty() ? (errno = ENOENT, -1) : os_open(path, true);
  if (fd < 0 && (errno == EACCES || errno == EPERM || errno == EROFS)) {
    // A file that may be read but not written: the run only needs to read it.
    const int saved = errno;
    fd = os_open(path, false);
    if (fd >= 0)
      f.read_only = true;
    else
      errno = saved;
  }
  if (fd < 0) {
    const int msg = open_failure_message(errno);
    f.is_open = false;
    severe(msg, unit);
  }
  f.fd = fd;
  f.regular = os_is_regular(fd);
}

bool read_bytes_quietly(File& f, char* dst, std::size_t n, std::size_t& got) {
  const long long r = os_read(f.fd, dst, n);
  if (r < 0) return false;
  got = static_cast<std::size_t>(r);
  return true;
}

std::size_t read_bytes(File& f, char* dst, std::size_t n) {
  const long long r = os_read(f.fd, dst, n);
  if (r < 0) severe(kReadError, f.unit);
  return static_cast<std::size_t>(r);
}

void start_writing(File& f) {
  if (f.read_only) severe(kPermissionDenied, f.unit);
  flush_all();  // as at an open: nothing is cut while other records are still pending
  const std::int64_t at = f.in ? f.in_base + static_cast<std::int64_t>(f.pos) : 0;
  if (f.regular && !os_cut(f.fd, at)) severe(kWriteError, f.unit);
  // A last record read without its line end gets one, so the first record written
  // starts a line of its own.
  if (f.last_unterminated) f.out.append("\r\n");
  f.writing = true;
}

bool try_flush(File& f) {
  if (f.out.empty()) return true;
  std::size_t done = 0;
  const bool ok = write_all(f.fd, f.out.data(), f.out.size(), done);
  if (!ok && done > 0 && f.regular) {
    // The disk filled up part of the way through: the file keeps only whole records, so
    // it is cut back behind the last record that reached it completely (the buffer
    // holds whole records, each ending with CR LF).
    std::size_t whole = 0;
    for (std::size_t i = done; i >= 2; --i)
      if (f.out[i - 2] == '\r' && f.out[i - 1] == '\n') {
        whole = i;
        break;
      }
    const std::int64_t end = os_tell(f.fd);
    if (end >= 0) os_cut(f.fd, end - static_cast<std::int64_t>(done - whole));
  }
  f.out.clear();
  return ok;
}

void flush(File& f) {
  if (!try_flush(f)) severe(kWriteError, f.unit);
}

void flush_all() {
  for (File& f : g_units)
    if (f.is_open) flush(f);
  stderr_flush();
}

void close(int unit) {
  File& f = g_units[unit];
  if (!f.is_open) return;
  flush(f);
  os_close(f.fd);
  f = File{};
}

void close_all_as_they_stand() {
  for (File& f : g_units)
    if (f.is_open) {
      os_close(f.fd);
      f = File{};
    }
}

}  // namespace kv::io
