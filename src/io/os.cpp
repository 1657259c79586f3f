// The real operating system, for POSIX systems and for Windows. The main program calls
// the OS here and nowhere else; the companions also read and write their own files
// through std::filesystem and the C++ streams, and meet Windows in companion/system.cpp.
#include "io/os.h"

#include <cerrno>
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
#include <sys/wait.h>
#include <unistd.h>
extern char** environ;
#endif

namespace kv::io {
namespace {

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
    default:
      return OsError::Other;
  }
}

OsResult moved(long long r) {
  if (r < 0) return {0, error_of(errno)};
  return {static_cast<std::size_t>(r), OsError::None};
}

#ifdef _WIN32
// One call moves at most this much.
constexpr unsigned kChunk = 1u << 30;
unsigned chunk(std::size_t n) { return static_cast<unsigned>(n > kChunk ? kChunk : n); }

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
                                                  : (_O_RDONLY | _O_BINARY | _O_NOINHERIT);
    const int fd = ::_open(name.c_str(), flags, _S_IREAD | _S_IWRITE);
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
  bool is_regular(int handle) override {
    struct _stat64 st;
    return ::_fstat64(handle, &st) == 0 && (st.st_mode & _S_IFREG) != 0;
  }
  void close(int handle) override { ::_close(handle); }
#else
  OpenResult open(const std::string& name, Access access) override {
    const int flags = access == Access::ReadWrite ? (O_RDWR | O_CREAT | O_CLOEXEC) : (O_RDONLY | O_CLOEXEC);
    const int fd = ::open(name.c_str(), flags, 0666);
    if (fd < 0) return {-1, error_of(errno)};
    return {fd, OsError::None};
  }
  OsResult read(int handle, char* dst, std::size_t n) override { return moved(::read(handle, dst, n)); }
  OsResult write(int handle, const char* src, std::size_t n) override { return moved(::write(handle, src, n)); }
  bool truncate(int handle, std::int64_t size) override {
    return ::ftruncate(handle, static_cast<off_t>(size)) == 0 &&
           ::lseek(handle, static_cast<off_t>(size), SEEK_SET) == size;
  }
  std::int64_t position(int handle) override { return static_cast<std::int64_t>(::lseek(handle, 0, SEEK_CUR)); }
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
    const DWORD a = GetFileAttributesA(name.c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY) != 0;
  }
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

Os& os() { return *g_os; }

Os* use_os(Os* replacement) {
  Os* before = g_os;
  g_os = replacement ? replacement : &g_real;
  return before;
}

}  // namespace kv::io
