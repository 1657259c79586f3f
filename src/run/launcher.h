// The command launcher: runs one command line through the command interpreter and
// waits until it has ended.
//
// A file name that comes from the user's files (the case parameter file's name, the case
// name) is handed over as a separate part, never pasted into a command by the caller:
// the launcher alone decides how the interpreter gets to see it, so that a name can only
// ever name a file and never run a command of its own.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace kv {

// Longest command, after its trailing blanks are dropped.
inline constexpr std::size_t kMaxCommand = 1024;
// Longest interpreter path taken from COMSPEC.
inline constexpr std::size_t kMaxInterpreter = 260;

// The command interpreters the launcher knows: the POSIX shell, run as
// "INTERPRETER -c COMMAND", and the Windows command processor, run as
// "INTERPRETER /c COMMAND".
enum class Interpreter { PosixShell, WindowsCmd };

// The interpreter that run_command uses on this platform. Whatever COMSPEC names is
// started with the switch of this platform's interpreter and so must follow its rules.
#ifdef _WIN32
inline constexpr Interpreter kInterpreter = Interpreter::WindowsCmd;
#else
inline constexpr Interpreter kInterpreter = Interpreter::PosixShell;
#endif

// The file name as one word of a command line for the interpreter:
// - the name itself when it holds nothing the interpreter treats specially (blanks
//   included: a name with blanks is passed as it is, and splits into words as the
//   interpreter splits it);
// - otherwise the name quoted so that the interpreter takes every character literally:
//   between apostrophes for the shell (an apostrophe written '\''), between quotation
//   marks for cmd;
// - nothing when it cannot be quoted safely: for the shell a zero byte; for cmd a zero
//   byte, a control character, '%' or '"'.
std::optional<std::string> command_word(std::string_view file_name, Interpreter kind);

// Why command_word gives nothing for the name: a sentence for the user; empty when the
// name can be passed.
std::string_view unpassable(std::string_view file_name, Interpreter kind);

// The programs a run starts by name (Notepad, notepad, Wgnuplot) are the user's own where
// their PATH has them. Outside Windows the program ships stand-ins for them, installed
// in a folder of their own (KV_STANDINS_FROM_BINDIR, relative to the program's folder) or,
// in a build tree, in tools/shims beside the program; the first of those folders that
// exists is appended to the PATH of every command the program starts, so that a name the
// user's PATH does not resolve still finds its stand-in. The command text stays as it is.
//
// The PATH for a command started by the program at `executable` when the user's PATH is
// `user_path` (nullopt: unset); nullopt when the command keeps the program's environment
// as it is (on Windows, or when no stand-ins' folder is found).
std::optional<std::string> child_path(std::string_view executable, const std::optional<std::string>& user_path);

// The search path of a POSIX shell whose PATH is unset.
inline constexpr std::string_view kDefaultPath = "/usr/local/bin:/usr/bin:/bin";

// Runs the command (its trailing blanks dropped) as "INTERPRETER /c COMMAND" on Windows
// or "INTERPRETER -c COMMAND" elsewhere; the interpreter is COMSPEC when set and not
// empty, else cmd.exe or /bin/sh. Returns the child's exit code, or -1 when the launch
// failed (see last_launch_error). Waits without time limit and prints nothing.
//
// Every record written so far reaches its file first, so that the command sees whole
// files; a write that the OS refuses there stops the run (io::Failure, message 38)
// before anything is launched. Nothing about the launch itself ever stops the run.
std::int32_t run_command(std::string_view command);

// Runs "PROGRAM FILE_NAME": the program, one blank, and the file name as command_word
// gives it for this platform's interpreter. A name that cannot be passed safely is not
// launched: the result is -1 with error number 12, and, but for a name with a zero byte
// (which no file has), a line on the standard error stream tells the user which file was
// not opened and why:
//   kalvorestine_2p0: Notepad was not started on motor%1_saida_A.txt: <reason>
std::int32_t run_command(std::string_view program, std::string_view file_name);

// Why the last launch failed: 7 command too long, 2 interpreter path too long or program
// not found, 8 not an executable, 12 any other reason (a file name that cannot be passed
// safely among them); 0 after a successful launch.
int last_launch_error();

}  // namespace kv
