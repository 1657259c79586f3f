// The operating system as the programs see it: the file operations of the record layer,
// the folders, renames and temporary files of the companions, the standard error stream,
// the environment, interruptions and the launch of a command. The programs run on the
// real one; a test may put a scripted one in its place.
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
#include <vector>

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
  Exists,        // the name is taken already
  Loop,          // symbolic links that lead back to themselves
  NotEmpty,      // a folder that still holds something
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
  CreateNew,  // writing a file created now: refused (Exists) when the name is taken, also
              // by a symbolic link
};

// What a name stands for.
enum class FileKind : std::uint8_t { Missing, Regular, Directory, Link, Fifo, Device, Other };

struct FileStatus {
  FileKind kind = FileKind::Missing;
  OsError error = OsError::None;  // why the status could not be had (kind Missing then)
  std::int64_t size = 0;          // bytes, of a regular file
  std::int64_t modified_ns = 0;   // the last change of its content, ns since 1970 (UTC)
  // Which file it is: two names of one file (links, hard links, two spellings of a path)
  // give the same pair.
  std::uint64_t device = 0, id = 0;
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
  // Positions a regular file at `offset` bytes from its start, for a reader that reads a
  // stretch of it again; false where the OS cannot (the caller then opens it anew).
  virtual bool seek(int handle, std::int64_t offset) {
    (void)handle;
    (void)offset;
    return false;
  }
  virtual void close(int handle) = 0;
  // The name made absolute against the working directory and lexically normalised
  // ("." and ".." taken out, separators as the platform writes them), in the same
  // single-byte characters as the name: the full path name that diagnostics show.
  virtual std::string full_path(std::string_view name) = 0;
  // Whether a directory of that name exists.
  virtual bool is_directory(const std::string& name) = 0;
  // What the name stands for; with `follow`, what a symbolic link leads to (a link that
  // leads nowhere is Missing, one that leads back to itself the error Loop), without it
  // the link itself.
  virtual FileStatus status(const std::string& name, bool follow) = 0;
  // Makes a folder; Exists when the name is taken.
  virtual OsError make_directory(const std::string& name) = 0;
  // Gives a file or a folder another name in one step, in the same file system; a file
  // that has the new name already is replaced (a folder is not: Exists or NotEmpty).
  virtual OsError rename(const std::string& from, const std::string& to) = 0;
  // Removes a file (or a symbolic link, not what it leads to); a folder, when empty.
  virtual OsError remove_file(const std::string& name) = 0;
  virtual OsError remove_directory(const std::string& name) = 0;
  // The names in a folder, "." and ".." left out, in no particular order.
  virtual std::vector<std::string> list_directory(const std::string& name, OsError& error) = 0;
  // Makes what was written to the file durable, so that a rename never puts in place a
  // file that a crash would leave empty.
  virtual bool sync(int handle) = 0;
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

  // Interruptions by the user or the system: SIGINT and SIGTERM on POSIX systems; Ctrl-C,
  // Ctrl-Break and the closing of the console on Windows. Once caught, an interruption no
  // longer ends the process where it comes: it is noted (interrupt_noted() below), and
  // the program ends on it at a point of its own choosing, between two records.
  virtual void catch_interrupts() = 0;
  // Ends the process as the interruption would have: the signal's own default action on
  // POSIX systems (so that the parent sees the process ended by that signal). Where the
  // process is to end by returning, the exit status to return instead: on Windows that of
  // a process interrupted from the console (C000013A, hex); a scripted system gives what
  // a POSIX shell shows, 128 + the signal.
  virtual std::uint32_t end_by_interrupt(int signal) = 0;
};

// The encoding of the names handed to the real system. POSIX systems take names as bytes.
// On Windows the program's own names are in the ANSI code page, as its files hold them;
// a companion that takes names from a UTF-8 command line sets Utf8 (a name that is not
// valid UTF-8, such as one read from the program's Windows-1252 files, is still taken in
// the ANSI code page, and names that the system gives back come as UTF-8).
enum class NameEncoding : std::uint8_t { Ansi, Utf8 };
void use_name_encoding(NameEncoding encoding);

// The interruption noted so far: 0 while none has come, else its signal (SIGINT, SIGTERM).
int interrupt_noted();
// Notes an interruption (0: forgets one); safe inside a signal handler.
void note_interrupt(int signal);

// Writes n bytes through `os`, asking again after an interruption and after a write that
// moved only part of them; `done` receives how many were written, all of them on success.
bool write_fully(Os& os, int handle, const char* src, std::size_t n, std::size_t& done);

// The system in use: the real one unless a test put another in its place.
Os& os();
// Puts `replacement` in place (nullptr: the real one again); returns the one before.
Os* use_os(Os* replacement);

}  // namespace kv::io
