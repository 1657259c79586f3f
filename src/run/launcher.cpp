#include "run/launcher.h"

#include <cstdlib>
#include <string>
#include <utility>

#include "io/files.h"

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#else
#include <cerrno>
#include <spawn.h>
#include <sys/wait.h>
extern char** environ;
#endif

namespace kv {
namespace {

int g_last_error = 0;

std::int32_t failed(int error_number) {
  g_last_error = error_number;
  return -1;
}

#ifdef _WIN32
int error_number_of(DWORD code) {
  switch (code) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
      return 2;
    case ERROR_BAD_FORMAT:
    case ERROR_BAD_EXE_FORMAT:
      return 8;
    default:
      return 12;
  }
}
#else
int error_number_of(int code) {
  switch (code) {
    case ENOENT:
    case ENOTDIR:
      return 2;
    case ENOEXEC:
    case EACCES:
      return 8;
    default:
      return 12;
  }
}
#endif

bool is_control(char c) {
  const auto u = static_cast<unsigned char>(c);
  return u < 0x20 || u == 0x7F;
}

// Characters the POSIX shell gives a meaning of its own somewhere in a word: operators,
// quoting, expansions, patterns, comments, the home directory, braces (bash).
bool special_to_shell(char c) {
  if (is_control(c)) return true;
  switch (c) {
    case ';': case '&': case '|': case '<': case '>': case '(': case ')': case '$':
    case '`': case '\\': case '"': case '\'': case '*': case '?': case '[': case ']':
    case '#': case '~': case '{': case '}':
      return true;
    default:
      return false;
  }
}

// Characters of cmd that quotation marks make literal.
bool quotable_for_cmd(char c) {
  return c == '&' || c == '|' || c == '<' || c == '>' || c == '^';
}

// Characters that cmd expands or ends a quotation on even between quotation marks.
bool unquotable_for_cmd(char c) { return c == '\0' || c == '%' || c == '"' || is_control(c); }

}  // namespace

std::optional<std::string> command_word(std::string_view file_name, Interpreter kind) {
  if (kind == Interpreter::PosixShell) {
    if (file_name.find('\0') != std::string_view::npos) return std::nullopt;
    bool special = false;
    for (char c : file_name) special = special || special_to_shell(c);
    if (!special) return std::string(file_name);
    std::string word = "'";
    for (char c : file_name) {
      if (c == '\'')
        word += "'\\''";
      else
        word += c;
    }
    word += '\'';
    return word;
  }
  bool special = false;
  for (char c : file_name) {
    if (unquotable_for_cmd(c)) return std::nullopt;
    special = special || quotable_for_cmd(c);
  }
  if (!special) return std::string(file_name);
  return '"' + std::string(file_name) + '"';
}

int last_launch_error() { return g_last_error; }

std::int32_t run_command(std::string_view program, std::string_view file_name) {
  const std::optional<std::string> word = command_word(file_name, kInterpreter);
  if (!word) return failed(12);
  std::string command(program);
  command += ' ';
  command += *word;
  return run_command(command);
}

std::int32_t run_command(std::string_view command) {
  const auto last = command.find_last_not_of(' ');
  command = last == std::string_view::npos ? std::string_view{} : command.substr(0, last + 1);
  if (command.size() > kMaxCommand) return failed(7);
  g_last_error = 0;
  io::flush_all();

#ifdef _WIN32
  std::string line(command.size() + 265, '\0');
  DWORD n = GetEnvironmentVariableA("COMSPEC", line.data(), static_cast<DWORD>(kMaxInterpreter + 1));
  if (n > kMaxInterpreter) return failed(2);
  if (n == 0) {
    line.replace(0, 7, "cmd.exe");
    n = 7;
  }
  line.resize(n);
  line.append(" /c ").append(command);
  STARTUPINFOA si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi))
    return failed(error_number_of(GetLastError()));
  WaitForSingleObject(pi.hProcess, INFINITE);
  DWORD code = 0;
  GetExitCodeProcess(pi.hProcess, &code);
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  return static_cast<std::int32_t>(code);
#else
  const char* comspec = std::getenv("COMSPEC");
  std::string interpreter = comspec && *comspec ? comspec : "/bin/sh";
  if (interpreter.size() > kMaxInterpreter) return failed(2);
  std::string text(command);
  char dash_c[] = "-c";
  char* argv[] = {interpreter.data(), dash_c, text.data(), nullptr};
  pid_t pid = 0;
  const int err = posix_spawnp(&pid, interpreter.c_str(), nullptr, nullptr, argv, environ);
  if (err != 0) return failed(error_number_of(err));
  int status = 0;
  pid_t waited = 0;
  do waited = waitpid(pid, &status, 0);
  while (waited < 0 && errno == EINTR);
  if (waited < 0) return failed(12);
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  return WIFSIGNALED(status) ? 128 + WTERMSIG(status) : -1;
#endif
}

}  // namespace kv
