#include "run/launcher.h"

#include <string>

#include "io/files.h"
#include "io/os.h"

namespace kv {
namespace {

int g_last_error = 0;

std::int32_t failed(int error_number) {
  g_last_error = error_number;
  return -1;
}

// The error number of a launch the OS could not start.
int error_number_of(io::LaunchFailure f) {
  switch (f) {
    case io::LaunchFailure::NotFound:
      return 2;
    case io::LaunchFailure::NotExecutable:
      return 8;
    default:
      return 12;
  }
}

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

}  // namespace

std::string_view unpassable(std::string_view file_name, Interpreter kind) {
  if (file_name.find('\0') != std::string_view::npos) return "the name holds a zero byte, which ends a command line";
  if (kind == Interpreter::PosixShell) return {};
  for (char c : file_name) {
    if (c == '%') return "cmd.exe would take the % in the name for the start of a variable and open another file";
    if (c == '"') return "cmd.exe cannot be given a name that holds a quotation mark";
    if (is_control(c)) return "cmd.exe cannot be given a name that holds a control character";
  }
  return {};
}

std::optional<std::string> command_word(std::string_view file_name, Interpreter kind) {
  if (!unpassable(file_name, kind).empty()) return std::nullopt;
  if (kind == Interpreter::PosixShell) {
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
  for (char c : file_name) special = special || quotable_for_cmd(c);
  if (!special) return std::string(file_name);
  return '"' + std::string(file_name) + '"';
}

int last_launch_error() { return g_last_error; }

std::optional<std::string> child_path(std::string_view executable, const std::optional<std::string>& user_path) {
  if (kInterpreter == Interpreter::WindowsCmd) return std::nullopt;
  const auto slash = executable.find_last_of('/');
  if (slash == std::string_view::npos) return std::nullopt;
  const std::string folder(executable.substr(0, slash + 1));
  for (std::string_view place : {std::string_view(KV_STANDINS_FROM_BINDIR), std::string_view("tools/shims")}) {
    const std::string standins = io::os().full_path(folder + std::string(place));
    // A folder whose name holds the separator of PATH cannot be put on it.
    if (standins.find(':') != std::string::npos || !io::os().is_directory(standins)) continue;
    if (!user_path) return std::string(kDefaultPath) + ":" + standins;
    if (user_path->empty()) return standins;
    return *user_path + ":" + standins;
  }
  return std::nullopt;
}

std::int32_t run_command(std::string_view program, std::string_view file_name) {
  const std::optional<std::string> word = command_word(file_name, kInterpreter);
  if (!word) {
    // The run goes on without this file in the editor; the user learns why it did not open
    // (a name with a zero byte names no file at all: the open of it reports that).
    if (file_name.find('\0') != std::string_view::npos) return failed(12);
    std::string line = "kalvorestine_2p0: ";
    line.append(program).append(" was not started on ");
    for (char c : file_name) {
      if (is_control(c)) {
        constexpr char kHex[] = "0123456789ABCDEF";
        const auto u = static_cast<unsigned char>(c);
        line.append("\\x").push_back(kHex[u >> 4]);
        line.push_back(kHex[u & 0xF]);
      } else {
        line.push_back(c);
      }
    }
    line.append(": ").append(unpassable(file_name, kInterpreter)).append("\n");
    io::stderr_append(line);
    return failed(12);
  }
  std::string command(program);
  command += ' ';
  command += *word;
  return run_command(command);
}

std::int32_t run_command(std::string_view command) {
  const auto last = command.find_last_not_of(' ');
  command = last == std::string_view::npos ? std::string_view{} : command.substr(0, last + 1);
  if (command.size() > kMaxCommand) return failed(7);
  io::stop_if_interrupted();  // nothing more is started once the user has interrupted the run
  g_last_error = 0;
  io::flush_all();
  const std::optional<std::string> comspec = io::os().environment("COMSPEC");
#ifdef _WIN32
  const char* const fallback = "cmd.exe";
#else
  const char* const fallback = "/bin/sh";
#endif
  const std::string interpreter = comspec && !comspec->empty() ? *comspec : fallback;
  if (interpreter.size() > kMaxInterpreter) return failed(2);
  const io::LaunchResult r = io::os().launch(
      interpreter, std::string(command), child_path(io::os().executable_path(), io::os().environment("PATH")));
  if (r.failure != io::LaunchFailure::None) return failed(error_number_of(r.failure));
  return r.exit_code;
}

}  // namespace kv
