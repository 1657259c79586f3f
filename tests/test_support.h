// What the tests that touch files and processes share: a temporary directory, whole
// files as bytes, the program's fixed file names, the lines and records of a file, the
// diagnostic lines of the run-time library, and a child process started with its own
// working directory, environment, standard streams and time limit (run_in, the one way
// the tests of the program and of its companions start a program).
//
// Header-only and free of the test framework, so that the soak tool builds from it too.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

extern char** environ;

namespace kv::test {

namespace fs = std::filesystem;

inline constexpr const char* kGeneralData = "kalvorestine_2p0_dados_geral.txt";
inline constexpr const char* kPlotScript = "kalvorestine_2p0_curva_F-t.gnu";

#if defined(__SANITIZE_ADDRESS__)
inline constexpr bool kAddressSanitizer = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
inline constexpr bool kAddressSanitizer = true;
#else
inline constexpr bool kAddressSanitizer = false;
#endif
#else
inline constexpr bool kAddressSanitizer = false;
#endif

// The whole file, or "" when it cannot be read.
inline std::string read_bytes(const fs::path& p) {
  std::ifstream f(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
}

inline void write_bytes(const fs::path& p, std::string_view bytes) {
  std::ofstream f(p, std::ios::binary | std::ios::trunc);
  f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// The lines of a text, split at LF (a CR before it kept).
inline std::vector<std::string> lines(const std::string& text) {
  std::vector<std::string> out;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) out.push_back(line);
  return out;
}

// The records of a file as the program writes them: each ends with CR LF.
inline std::vector<std::string> records(const std::string& bytes) {
  std::vector<std::string> out;
  std::size_t start = 0;
  while (start < bytes.size()) {
    const auto end = bytes.find("\r\n", start);
    if (end == std::string::npos) {
      out.push_back(bytes.substr(start) + "<no CR LF>");
      break;
    }
    out.push_back(bytes.substr(start, end - start));
    start = end + 2;
  }
  return out;
}

// "forrtl: severe (NN): <text>, unit U, file <path>" and its line end.
inline std::string severe_line(int number, std::string_view text, int unit, std::string_view file) {
  return "forrtl: severe (" + std::to_string(number) + "): " + std::string(text) + ", unit " + std::to_string(unit) +
         ", file " + std::string(file) + "\n";
}

// The same for a failure that does not end the run: "forrtl: error (NN): ...".
inline std::string error_line(int number, std::string_view text, int unit, std::string_view file) {
  return "forrtl: error (" + std::to_string(number) + "): " + std::string(text) + ", unit " + std::to_string(unit) +
         ", file " + std::string(file) + "\n";
}

// A fresh directory `parent`/`prefix`XXXXXX (its canonical path), removed with
// everything in it when the object goes, even after a test took away its permissions.
class TempDir {
 public:
  explicit TempDir(std::string_view prefix = "kv_test_", const fs::path& parent = fs::temp_directory_path()) {
    std::string templ = (parent / (std::string(prefix) + "XXXXXX")).string();
    if (::mkdtemp(templ.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    dir_ = fs::canonical(templ);
  }
  ~TempDir() {
    std::error_code ec;
    fs::permissions(dir_, fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(dir_, ec);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const fs::path& dir() const { return dir_; }
  std::string path(std::string_view name) const { return (dir_ / name).string(); }

  void put(std::string_view name, std::string_view bytes) const { write_bytes(dir_ / name, bytes); }
  std::string get(std::string_view name) const { return read_bytes(dir_ / name); }
  bool has(std::string_view name) const { return fs::exists(dir_ / name); }

 private:
  fs::path dir_;
};

// A child process to start: its arguments (the first is the program's path), its
// environment, working directory, files for its standard streams, and a time limit.
struct Child {
  std::vector<std::string> argv;
  std::optional<std::vector<std::string>> env;  // NAME=value each; none: this process's own
  fs::path cwd;                                 // empty: this process's own
  std::string in, out, err;                     // files; empty: the stream of this process
  int timeout_ms = 0;  // 0: none; else the child leads a process group that is killed at the limit
};

struct ChildEnd {
  bool started = false;
  std::string spawn_error;  // why it could not be started
  bool timed_out = false;
  int wait_status = 0;  // as waitpid gives it
};

inline ChildEnd run_child_process(const Child& c) {
  std::vector<std::string> env_store = c.env ? *c.env : std::vector<std::string>{};
  std::vector<char*> envp;
  if (c.env) {
    for (auto& s : env_store) envp.push_back(s.data());
    envp.push_back(nullptr);
  }
  std::vector<std::string> args_store = c.argv;
  std::vector<char*> argv;
  for (auto& s : args_store) argv.push_back(s.data());
  argv.push_back(nullptr);

  posix_spawn_file_actions_t fa;
  posix_spawn_file_actions_init(&fa);
  if (!c.cwd.empty()) posix_spawn_file_actions_addchdir_np(&fa, c.cwd.c_str());
  if (!c.in.empty()) posix_spawn_file_actions_addopen(&fa, 0, c.in.c_str(), O_RDONLY, 0);
  if (!c.out.empty()) posix_spawn_file_actions_addopen(&fa, 1, c.out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (!c.err.empty()) posix_spawn_file_actions_addopen(&fa, 2, c.err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawnattr_t attr;
  posix_spawnattr_init(&attr);
  if (c.timeout_ms > 0) {
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETPGROUP);
    posix_spawnattr_setpgroup(&attr, 0);
  }

  ChildEnd e;
  pid_t pid = -1;
  const int rc = posix_spawn(&pid, argv[0], &fa, &attr, argv.data(), c.env ? envp.data() : environ);
  posix_spawn_file_actions_destroy(&fa);
  posix_spawnattr_destroy(&attr);
  if (rc != 0) {
    e.spawn_error = std::string("posix_spawn failed: ") + std::strerror(rc);
    return e;
  }
  e.started = true;
  int raw = 0;
  if (c.timeout_ms <= 0) {
    while (::waitpid(pid, &raw, 0) < 0 && errno == EINTR) {
    }
  } else {
    for (int waited = 0;;) {
      const pid_t r = ::waitpid(pid, &raw, WNOHANG);
      if (r == pid) break;
      if (r < 0 && errno != EINTR) break;
      if (waited >= c.timeout_ms) {
        e.timed_out = true;
        ::kill(-pid, SIGKILL);  // the child's own process group
        ::waitpid(pid, &raw, 0);
        break;
      }
      const int step = waited < 50 ? 1 : 5;
      const struct timespec ts{0, step * 1000000L};
      ::nanosleep(&ts, nullptr);
      waited += step;
    }
  }
  e.wait_status = raw;
  return e;
}

// How a run of a program ended.
struct Outcome {
  bool exited = false;
  int status = -1;  // exit status, when exited
  int signal = 0;   // the signal that ended it, when not
  bool timed_out = false;
  std::string out;
  std::string err;
};

// The changes a run makes to this process's environment: a name with a value sets it, a
// name without one unsets it.
using EnvChanges = std::map<std::string, std::optional<std::string>>;

// Runs the command `argv` (the first is the program's path) with `dir` as its working
// directory, standard input from /dev/null and the environment of this process changed
// by `env`. With a shell prefix (for example "ulimit -v 100000;") the command is started
// by /bin/sh after that text. The standard streams go to files beside `dir`. Every
// program the tests start, the program and its companions alike, runs through here.
inline Outcome run_in(const fs::path& dir, const std::vector<std::string>& argv, const EnvChanges& env = {},
                      int timeout_ms = 120000, const std::string& shell_prefix = "") {
  Child c;
  c.env.emplace();
  for (char** e = environ; *e; ++e) {
    const std::string entry = *e;
    if (!env.count(entry.substr(0, entry.find('=')))) c.env->push_back(entry);
  }
  for (const auto& [name, value] : env)
    if (value) c.env->push_back(name + "=" + *value);
  if (shell_prefix.empty()) {
    c.argv = argv;
  } else {
    c.argv = {"/bin/sh", "-c", shell_prefix + " exec \"$0\" \"$@\""};
    c.argv.insert(c.argv.end(), argv.begin(), argv.end());
  }
  c.cwd = dir;
  c.in = "/dev/null";
  c.out = dir.string() + ".stdout";
  c.err = dir.string() + ".stderr";
  c.timeout_ms = timeout_ms;

  Outcome o;
  const ChildEnd e = run_child_process(c);
  if (!e.started) {
    o.err = e.spawn_error;
    return o;
  }
  o.timed_out = e.timed_out;
  if (WIFEXITED(e.wait_status)) {
    o.exited = !o.timed_out;
    o.status = WEXITSTATUS(e.wait_status);
  } else if (WIFSIGNALED(e.wait_status)) {
    o.signal = WTERMSIG(e.wait_status);
  }
  o.out = read_bytes(c.out);
  o.err = read_bytes(c.err);
  std::error_code ec;
  fs::remove(c.out, ec);
  fs::remove(c.err, ec);
  return o;
}

// The program alone, with no arguments, as a run of the program is started.
inline Outcome run_program(const std::string& program, const fs::path& dir, int timeout_ms,
                           const std::string& shell_prefix = "", const EnvChanges& env = {}) {
  return run_in(dir, {program}, env, timeout_ms, shell_prefix);
}

// A command interpreter that starts nothing: the editor and the plotting program that a
// run launches never open.
inline const EnvChanges kNoLaunches = {{"COMSPEC", "/bin/true"}};

// A number with `decimals` places, for the texts the tests write.
inline std::string fixed(double v, int decimals) {
  char buf[64];
  const auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed, decimals);
  return std::string(buf, r.ptr);
}

}  // namespace kv::test
