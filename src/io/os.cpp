// The real operating system, for POSIX systems and for Windows. The main program calls
// the OS here and nowhere else; the companions also read and write their own files
// through std::filesystem and the C++ streams, and meet Windows in companion/system.cpp.
#include "io/os.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <vector>

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <dirent.h>
#include <sys/wait.h>
#include <unistd.h>
extern char** environ;
#endif

namespace kv::io {
namespace {

// Written by a signal handler (POSIX) or by the console's control thread (Windows).
std::atomic<int> g_interrupt{0};
static_assert(std::atomic<int>::is_always_lock_free, "the interruption flag is set inside a signal handler");

OsError error_of(int err) {
  switch (err) {
    case EINTR:
      return OsError::Interrupted;
    case ENOENT:
    case ENOTDIR:
      return OsError::NotFound;
    case EACCES:
    case EPERM:
    case EROFS:
#ifdef ETXTBSY
    case ETXTBSY:
#endif
      return OsError::AccessDenied;
    case EISDIR:
      return OsError::IsDirectory;
    case ENXIO:
    case ENODEV:
      return OsError::NoDevice;
    case ENAMETOOLONG:
    case EINVAL:
#ifdef EILSEQ
    case EILSEQ:
#endif
      return OsError::BadName;
    case ENOSPC:
      return OsError::NoSpace;
    case EEXIST:
      return OsError::Exists;
    case ELOOP:
      return OsError::Loop;
    case ENOTEMPTY:
      return OsError::NotEmpty;
    default:
      return OsError::Other;
  }
}

NameEncoding g_names = NameEncoding::Ansi;

OsResult moved(long long r) {
  if (r < 0) return {0, error_of(errno)};
  return {static_cast<std::size_t>(r), OsError::None};
}

#ifdef _WIN32
// One call moves at most this much.
constexpr unsigned kChunk = 1u << 30;
unsigned chunk(std::size_t n) { return static_cast<unsigned>(n > kChunk ? kChunk : n); }

BOOL WINAPI on_console_event(DWORD event) {
  switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
      note_interrupt(SIGINT);
      return TRUE;
    case CTRL_CLOSE_EVENT:
      // The system ends the process when this returns: give the program the seconds it is
      // allowed to put its records in their files first.
      note_interrupt(SIGTERM);
      Sleep(4000);
      return TRUE;
    default:
      return FALSE;
  }
}

OsError win_error_of(DWORD code) {
  switch (code) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
      return OsError::NotFound;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_WRITE_PROTECT:
      return OsError::AccessDenied;
    case ERROR_INVALID_DRIVE:
    case ERROR_NOT_READY:
    case ERROR_BAD_UNIT:
      return OsError::NoDevice;
    case ERROR_INVALID_NAME:
    case ERROR_BAD_PATHNAME:
    case ERROR_FILENAME_EXCED_RANGE:
    case ERROR_DIRECTORY:
      return OsError::BadName;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
      return OsError::NoSpace;
    case ERROR_ALREADY_EXISTS:
    case ERROR_FILE_EXISTS:
      return OsError::Exists;
    case ERROR_CANT_RESOLVE_FILENAME:
      return OsError::Loop;
    case ERROR_DIR_NOT_EMPTY:
      return OsError::NotEmpty;
    default:
      return OsError::Other;
  }
}

// A name as the wide functions take it, and back: in the ANSI code page, or as UTF-8 when
// a companion asked for it and the name is valid UTF-8.
std::wstring wide(std::string_view name) {
  if (name.empty()) return {};
  const int n = static_cast<int>(name.size());
  UINT page = CP_ACP;
  DWORD flags = 0;
  if (g_names == NameEncoding::Utf8 && MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, name.data(), n, nullptr, 0) > 0) {
    page = CP_UTF8;
    flags = MB_ERR_INVALID_CHARS;
  }
  const int len = MultiByteToWideChar(page, flags, name.data(), n, nullptr, 0);
  std::wstring w(static_cast<std::size_t>(len > 0 ? len : 0), L'\0');
  if (len > 0) MultiByteToWideChar(page, flags, name.data(), n, w.data(), len);
  return w;
}
std::string narrow(std::wstring_view w) {
  if (w.empty()) return {};
  const UINT page = g_names == NameEncoding::Utf8 ? CP_UTF8 : CP_ACP;
  const int n = static_cast<int>(w.size());
  const int len = WideCharToMultiByte(page, 0, w.data(), n, nullptr, 0, nullptr, nullptr);
  std::string s(static_cast<std::size_t>(len > 0 ? len : 0), '\0');
  if (len > 0) WideCharToMultiByte(page, 0, w.data(), n, s.data(), len, nullptr, nullptr);
  return s;
}

std::int64_t unix_ns(FILETIME t) {
  const std::uint64_t ticks = (static_cast<std::uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime;
  return (static_cast<std::int64_t>(ticks) - 116444736000000000LL) * 100;  // 100 ns since 1601
}

LaunchFailure launch_failure_of(DWORD code) {
  switch (code) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
      return LaunchFailure::NotFound;
    case ERROR_BAD_FORMAT:
    case ERROR_BAD_EXE_FORMAT:
      return LaunchFailure::NotExecutable;
    default:
      return LaunchFailure::Other;
  }
}
#else
void on_signal(int signal) { note_interrupt(signal); }

LaunchFailure launch_failure_of(int code) {
  switch (code) {
    case ENOENT:
    case ENOTDIR:
      return LaunchFailure::NotFound;
    case ENOEXEC:
    case EACCES:
      return LaunchFailure::NotExecutable;
    default:
      return LaunchFailure::Other;
  }
}
#endif

class RealOs final : public Os {
 public:
#ifdef _WIN32
  OpenResult open(const std::string& name, Access access) override {
    const int flags = access == Access::ReadWrite ? (_O_RDWR | _O_CREAT | _O_BINARY | _O_NOINHERIT)
                      : access == Access::Read    ? (_O_RDONLY | _O_BINARY | _O_NOINHERIT)
                                                  : (_O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY | _O_NOINHERIT);
    const int fd = g_names == NameEncoding::Utf8 ? ::_wopen(wide(name).c_str(), flags, _S_IREAD | _S_IWRITE)
                                                 : ::_open(name.c_str(), flags, _S_IREAD | _S_IWRITE);
    if (fd < 0) return {-1, error_of(errno)};
    return {fd, OsError::None};
  }
  OsResult read(int handle, char* dst, std::size_t n) override { return moved(::_read(handle, dst, chunk(n))); }
  OsResult write(int handle, const char* src, std::size_t n) override {
    return moved(::_write(handle, src, chunk(n)));
  }
  bool truncate(int handle, std::int64_t size) override {
    return ::_chsize_s(handle, size) == 0 && ::_lseeki64(handle, size, SEEK_SET) == size;
  }
  std::int64_t position(int handle) override { return ::_lseeki64(handle, 0, SEEK_CUR); }
  bool seek(int handle, std::int64_t offset) override { return ::_lseeki64(handle, offset, SEEK_SET) == offset; }
  bool is_regular(int handle) override {
    struct _stat64 st;
    return ::_fstat64(handle, &st) == 0 && (st.st_mode & _S_IFREG) != 0;
  }
  void close(int handle) override { ::_close(handle); }
#else
  OpenResult open(const std::string& name, Access access) override {
    // Without O_NONBLOCK, opening a FIFO for reading waits for a writer that may never
    // come. A regular file, the only kind the program reads, goes back to blocking I/O.
    const int kind = access == Access::ReadWrite ? (O_RDWR | O_CREAT)
                     : access == Access::Read    ? O_RDONLY
                                                 : (O_WRONLY | O_CREAT | O_EXCL);
    const int flags = kind | O_CLOEXEC | O_NONBLOCK;
    const int fd = ::open(name.c_str(), flags, 0666);
    if (fd < 0) return {-1, error_of(errno)};
    struct stat st;
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return {fd, OsError::None};
  }
  OsResult read(int handle, char* dst, std::size_t n) override { return moved(::read(handle, dst, n)); }
  OsResult write(int handle, const char* src, std::size_t n) override { return moved(::write(handle, src, n)); }
  bool truncate(int handle, std::int64_t size) override {
    return ::ftruncate(handle, static_cast<off_t>(size)) == 0 &&
           ::lseek(handle, static_cast<off_t>(size), SEEK_SET) == size;
  }
  std::int64_t position(int handle) override { return static_cast<std::int64_t>(::lseek(handle, 0, SEEK_CUR)); }
  bool seek(int handle, std::int64_t offset) override {
    return ::lseek(handle, static_cast<off_t>(offset), SEEK_SET) == static_cast<off_t>(offset);
  }
  bool is_regular(int handle) override {
    struct stat st;
    return ::fstat(handle, &st) == 0 && S_ISREG(st.st_mode);
  }
  void close(int handle) override { ::close(handle); }
#endif

#ifdef _WIN32
  // The ANSI functions keep the name in the bytes the program holds; std::filesystem
  // would take them for UTF-8 and give back another text.
  std::string full_path(std::string_view name) override {
    // An empty name stands for the working directory, as it does on POSIX systems.
    const std::string n = name.empty() ? std::string(".\\") : std::string(name);
    if (g_names == NameEncoding::Utf8) {
      const std::wstring w = wide(n);
      std::wstring full(MAX_PATH, L'\0');
      for (;;) {
        const DWORD got = GetFullPathNameW(w.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
        if (got == 0) return n;
        if (got < full.size()) return narrow(std::wstring_view(full.data(), got));
        full.resize(got);
      }
    }
    std::string full(MAX_PATH, '\0');
    for (;;) {
      const DWORD got = GetFullPathNameA(n.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
      if (got == 0) return n;
      if (got < full.size()) {
        full.resize(got);
        return full;
      }
      full.resize(got);  // got counts the terminating zero when the path did not fit
    }
  }
  bool is_directory(const std::string& name) override {
    const DWORD a = g_names == NameEncoding::Utf8 ? GetFileAttributesW(wide(name).c_str()) : GetFileAttributesA(name.c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY) != 0;
  }

  FileStatus status(const std::string& name, bool follow) override {
    FileStatus st;
    const std::wstring w = wide(name);
    const DWORD flags = FILE_FLAG_BACKUP_SEMANTICS | (follow ? 0 : FILE_FLAG_OPEN_REPARSE_POINT);
    const HANDLE h = CreateFileW(w.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                 nullptr, OPEN_EXISTING, flags, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
      st.error = win_error_of(GetLastError());
      return st;
    }
    BY_HANDLE_FILE_INFORMATION info{};
    const DWORD type = GetFileType(h);
    const bool known = GetFileInformationByHandle(h, &info) != 0;
    CloseHandle(h);
    if (type == FILE_TYPE_PIPE) st.kind = FileKind::Fifo;
    else if (type == FILE_TYPE_CHAR) st.kind = FileKind::Device;
    else if (!known) st.kind = FileKind::Other;
    else if (!follow && (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) st.kind = FileKind::Link;
    else if (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) st.kind = FileKind::Directory;
    else st.kind = FileKind::Regular;
    if (known) {
      st.size = static_cast<std::int64_t>((static_cast<std::uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow);
      st.modified_ns = unix_ns(info.ftLastWriteTime);
      st.device = info.dwVolumeSerialNumber;
      st.id = (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    }
    return st;
  }
  OsError make_directory(const std::string& name) override {
    return CreateDirectoryW(wide(name).c_str(), nullptr) ? OsError::None : win_error_of(GetLastError());
  }
  OsError rename(const std::string& from, const std::string& to) override {
    return MoveFileExW(wide(from).c_str(), wide(to).c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)
               ? OsError::None
               : win_error_of(GetLastError());
  }
  OsError remove_file(const std::string& name) override {
    return DeleteFileW(wide(name).c_str()) ? OsError::None : win_error_of(GetLastError());
  }
  OsError remove_directory(const std::string& name) override {
    return RemoveDirectoryW(wide(name).c_str()) ? OsError::None : win_error_of(GetLastError());
  }
  std::vector<std::string> list_directory(const std::string& name, OsError& error) override {
    std::vector<std::string> out;
    WIN32_FIND_DATAW d;
    std::string pattern = name.empty() ? std::string(".") : name;
    if (pattern.back() != '\\' && pattern.back() != '/') pattern += '\\';
    pattern += '*';
    const HANDLE h = FindFirstFileW(wide(pattern).c_str(), &d);
    if (h == INVALID_HANDLE_VALUE) {
      error = win_error_of(GetLastError());
      return out;
    }
    error = OsError::None;
    do {
      const std::wstring_view n(d.cFileName);
      if (n != L"." && n != L"..") out.push_back(narrow(n));
    } while (FindNextFileW(h, &d));
    FindClose(h);
    return out;
  }
  bool sync(int handle) override { return ::_commit(handle) == 0; }
  std::string executable_path() override {
    std::string path(MAX_PATH, '\0');
    for (;;) {
      const DWORD got = GetModuleFileNameA(nullptr, path.data(), static_cast<DWORD>(path.size()));
      if (got == 0) return {};
      if (got < path.size()) {
        path.resize(got);
        return path;
      }
      path.resize(path.size() * 2);
    }
  }
#else
  // POSIX paths are bytes, which std::filesystem keeps as they are.
  std::string full_path(std::string_view name) override {
    std::error_code ec;
    const std::filesystem::path p(name);
    std::filesystem::path abs = std::filesystem::absolute(p, ec);
    if (ec) abs = p;
    return abs.lexically_normal().string();
  }
  bool is_directory(const std::string& name) override {
    struct stat st;
    return ::stat(name.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
  }

  FileStatus status(const std::string& name, bool follow) override {
    FileStatus out;
    struct stat st;
    if ((follow ? ::stat(name.c_str(), &st) : ::lstat(name.c_str(), &st)) != 0) {
      out.error = error_of(errno);
      return out;
    }
    if (S_ISREG(st.st_mode)) out.kind = FileKind::Regular;
    else if (S_ISDIR(st.st_mode)) out.kind = FileKind::Directory;
    else if (S_ISLNK(st.st_mode)) out.kind = FileKind::Link;
    else if (S_ISFIFO(st.st_mode)) out.kind = FileKind::Fifo;
    else if (S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode)) out.kind = FileKind::Device;
    else out.kind = FileKind::Other;
    out.size = static_cast<std::int64_t>(st.st_size);
    out.modified_ns = static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    out.device = static_cast<std::uint64_t>(st.st_dev);
    out.id = static_cast<std::uint64_t>(st.st_ino);
    return out;
  }
  OsError make_directory(const std::string& name) override {
    return ::mkdir(name.c_str(), 0777) == 0 ? OsError::None : error_of(errno);
  }
  OsError rename(const std::string& from, const std::string& to) override {
    return ::rename(from.c_str(), to.c_str()) == 0 ? OsError::None : error_of(errno);
  }
  OsError remove_file(const std::string& name) override {
    return ::unlink(name.c_str()) == 0 ? OsError::None : error_of(errno);
  }
  OsError remove_directory(const std::string& name) override {
    return ::rmdir(name.c_str()) == 0 ? OsError::None : error_of(errno);
  }
  std::vector<std::string> list_directory(const std::string& name, OsError& error) override {
    std::vector<std::string> out;
    DIR* d = ::opendir(name.empty() ? "." : name.c_str());
    if (d == nullptr) {
      error = error_of(errno);
      return out;
    }
    error = OsError::None;
    while (const dirent* e = ::readdir(d)) {
      const std::string_view n(e->d_name);
      if (n != "." && n != "..") out.emplace_back(n);
    }
    ::closedir(d);
    return out;
  }
  bool sync(int handle) override { return ::fsync(handle) == 0; }
  std::string executable_path() override {
    std::error_code ec;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::string() : self.string();
  }
#endif

#ifdef _WIN32
  std::optional<std::string> environment(const char* name) override {
    std::string value(64, '\0');
    for (;;) {
      SetLastError(ERROR_SUCCESS);
      const DWORD n = GetEnvironmentVariableA(name, value.data(), static_cast<DWORD>(value.size()));
      if (n == 0) {
        if (GetLastError() == ERROR_ENVVAR_NOT_FOUND) return std::nullopt;
        return std::string();
      }
      if (n < value.size()) {
        value.resize(n);
        return value;
      }
      value.resize(n);  // n counts the terminating zero when the value did not fit
    }
  }
#else
  std::optional<std::string> environment(const char* name) override {
    const char* v = std::getenv(name);
    if (v == nullptr) return std::nullopt;
    return std::string(v);
  }
#endif

#ifdef _WIN32
  LaunchResult launch(const std::string& interpreter, const std::string& command,
                      const std::optional<std::string>& child_path) override {
    std::string line = interpreter + " /c " + command;
    STARTUPINFOA si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    // The child's environment block: the program's, with PATH replaced when asked.
    std::string block;
    if (child_path) {
      char* const env = GetEnvironmentStringsA();
      for (const char* e = env; e != nullptr && *e != '\0'; e += std::strlen(e) + 1)
        if (_strnicmp(e, "PATH=", 5) != 0) block.append(e).push_back('\0');
      if (env != nullptr) FreeEnvironmentStringsA(env);
      block.append("PATH=").append(*child_path).push_back('\0');
      block.push_back('\0');
    }
    if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, TRUE, 0, child_path ? block.data() : nullptr, nullptr,
                        &si, &pi))
      return {launch_failure_of(GetLastError()), -1};
    WaitForSingleObject(pi.hProcess, INFINITE);
    DWORD code = 0;
    GetExitCodeProcess(pi.hProcess, &code);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return {LaunchFailure::None, static_cast<std::int32_t>(code)};
  }
#else
  LaunchResult launch(const std::string& interpreter, const std::string& command,
                      const std::optional<std::string>& child_path) override {
    std::string program = interpreter;
    std::string text = command;
    char dash_c[] = "-c";
    char* argv[] = {program.data(), dash_c, text.data(), nullptr};
    // The child's environment: the program's, with PATH replaced when asked.
    std::vector<char*> env;
    std::string path_entry;
    for (char** e = environ; *e != nullptr; ++e)
      if (!child_path || std::strncmp(*e, "PATH=", 5) != 0) env.push_back(*e);
    if (child_path) {
      path_entry = "PATH=" + *child_path;
      env.push_back(path_entry.data());
    }
    env.push_back(nullptr);
    pid_t pid = 0;
    const int err = posix_spawnp(&pid, program.c_str(), nullptr, nullptr, argv, env.data());
    if (err != 0) return {launch_failure_of(err), -1};
    int status = 0;
    pid_t waited = 0;
    do waited = waitpid(pid, &status, 0);
    while (waited < 0 && errno == EINTR);
    if (waited < 0) return {LaunchFailure::Other, -1};
    if (WIFEXITED(status)) return {LaunchFailure::None, WEXITSTATUS(status)};
    return {LaunchFailure::None, WIFSIGNALED(status) ? 128 + WTERMSIG(status) : -1};
  }
#endif

#ifdef _WIN32
  void catch_interrupts() override { SetConsoleCtrlHandler(on_console_event, TRUE); }
  std::uint32_t end_by_interrupt(int) override { return 0xC000013Au; }  // STATUS_CONTROL_C_EXIT
#else
  void catch_interrupts() override {
    struct sigaction sa {};
    sa.sa_handler = on_signal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;  // no call is cut short: the program looks at the flag itself
    for (const int signal : {SIGINT, SIGTERM}) ::sigaction(signal, &sa, nullptr);
  }
  std::uint32_t end_by_interrupt(int signal) override {
    struct sigaction sa {};
    sa.sa_handler = SIG_DFL;
    sigemptyset(&sa.sa_mask);
    ::sigaction(signal, &sa, nullptr);
    ::raise(signal);
    // Still here: the signal is blocked, as the parent may have asked.
    return 128u + static_cast<std::uint32_t>(signal);
  }
#endif
};

RealOs g_real;
Os* g_os = &g_real;

}  // namespace

bool write_fully(Os& os, int handle, const char* src, std::size_t n, std::size_t& done) {
  done = 0;
  while (n > 0) {
    const OsResult r = os.write(handle, src, n);
    if (r.error == OsError::Interrupted) continue;
    if (r.error != OsError::None || r.bytes == 0) return false;
    src += r.bytes;
    n -= r.bytes;
    done += r.bytes;
  }
  return true;
}

void use_name_encoding(NameEncoding encoding) { g_names = encoding; }

int interrupt_noted() { return g_interrupt.load(std::memory_order_relaxed); }
void note_interrupt(int signal) { g_interrupt.store(signal, std::memory_order_relaxed); }

Os& os() { return *g_os; }

Os* use_os(Os* replacement) {
  Os* before = g_os;
  g_os = replacement ? replacement : &g_real;
  return before;
}

}  // namespace kv::io
