// The command launcher: runs one command line through the command interpreter and
// waits until it has ended.
#pragma once

#include <cstdint>
#include <string_view>

namespace kv {

// Longest command, after its trailing blanks are dropped.
inline constexpr std::size_t kMaxCommand = 1024;
// Longest interpreter path taken from COMSPEC.
inline constexpr std::size_t kMaxInterpreter = 260;

// Runs the command (its trailing blanks dropped) as "INTERPRETER /c COMMAND" on Windows
// or "INTERPRETER -c COMMAND" elsewhere; the interpreter is COMSPEC when set and not
// empty, else cmd.exe or /bin/sh. Every record written so far reaches its file first.
// Returns the child's exit code, or -1 when the launch failed (see last_launch_error).
// Never ends the run and prints nothing.
std::int32_t run_command(std::string_view command);

// Why the last launch failed: 7 command too long, 2 interpreter path too long or program
// not found, 8 not an executable, 12 any other reason; 0 after a successful launch.
int last_launch_error();

}  // namespace kv
