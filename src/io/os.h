// The operating system as the program sees it: the few file operations of the record
// layer, the standard error stream, the environment and the launch of a command. The
// program runs on the real one; a test may put a scripted one in its place.
//
// Each file operation does one thing once and reports what the OS said: retrying after
// an interruption, finishing a short write and turning a refusal into a diagnostic are
// the callers' business, so that a scripted system can make every such path happen. A
// launch is whole: it waits for the command through any interruption and reports only
// how the command ended.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace kv::io {

// Why the OS refused an operation, in the terms the program tells apart.
enum class OsError : std::uint8_t {
  None,
  Interrupted,   // a signal came first; the same call may be made again
  NotFound,      // the file, or a directory of its path, does not exist
  AccessDenied,  // permission refused, or the medium is write-protected
  IsDirectory,   // a directory stands where a file is wanted
  NoDevice,      // invalid drive or device
  BadName,       // invalid name, or a name too long
  NoSpace,       // the disk is full
  Other,
};

// Bytes moved, or why none were.
struct OsResult {
  std::size_t bytes = 0;
  OsError error = OsError::None;
};

enum class Access : std::uint8_t {
  ReadWrite,  // reading and writing, created empty when missing
  Read,       // reading only; a missing file stays missing
};

struct OpenResult {
  int handle = -1;
  OsError error = OsError::None;
};

// How a launched command ended: its exit code, or why it could not be started.
enum class LaunchFailure : std::uint8_t { None, NotFound, NotExecutable, Other };
struct LaunchResult {
  LaunchFailure failure = LaunchFailure::None;
  std::int32_t exit_code = 0;
};

// The handle of the standard error stream.
inline constexpr int kStandardError = 2;

class Os {
 public:
  virtual ~Os() = default;

  // Opens a file positioned at its start.
  virtual OpenResult open(const std::string& name, Access access) = 0;
  virtual OsResult read(int handle, char* dst, std::size_t n) = 0;
  virtual OsResult write(int handle, const char* src, std::size_t n) = 0;
  // Cuts the file off after `size` bytes and positions it there.
  virtual bool truncate(int handle, std::int64_t size) = 0;
  // The current position; negative when the OS cannot tell.
  virtual std::int64_t position(int handle) = 0;
  // A regular file, which can be cut off (not a terminal, pipe or device).
  virtual bool is_regular(int handle) = 0;
  virtual void close(int handle) = 0;
  // The name made absolute against the working directory and lexically normalised
  // ("." and ".." taken out, separators as the platform writes them), in the same
  // single-byte characters as the name: the full path name that diagnostics show.
  virtual std::string full_path(std::string_view name) = 0;
  // Whether a directory of that name exists.
  virtual bool is_directory(const std::string& name) = 0;
  // The full path name of the running program's executable file; empty when the OS
  // cannot tell.
  virtual std::string executable_path() = 0;

  // The value of an environment variable, when it is set.
  virtual std::optional<std::string> environment(const char* name) = 0;
  // Runs `command` through `interpreter` as this platform's interpreter takes one
  // command ("INTERPRETER /c COMMAND" on Windows, INTERPRETER -c COMMAND elsewhere),
  // sharing the program's console, and waits without time limit until it has ended.
  // The child has the program's environment, but for PATH when `child_path` is given.
  virtual LaunchResult launch(const std::string& interpreter, const std::string& command,
                              const std::optional<std::string>& child_path) = 0;
};

// Writes n bytes through `os`, asking again after an interruption and after a write that
// moved only part of them; `done` receives how many were written, all of them on success.
bool write_fully(Os& os, int handle, const char* src, std::size_t n, std::size_t& done);

// The system in use: the real one unless a test put another in its place.
Os& os();
// Puts `replacement` in place (nullptr: the real one again); returns the one before.
Os* use_os(Os* replacement);

}  // namespace kv::io
