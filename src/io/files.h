// Files opened by name under a unit number.
//
// The program opens every file for reading and writing, positioned at its start, and
// created empty when missing; an existing file that may be read but not written is
// opened for reading. The first record written cuts the file off behind it. Records are
// kept in a buffer and handed to the OS in large blocks; flush_all() makes every record
// written so far reach its file, and runs wherever anything outside the program may look
// at a file: before a launched command, before a file is opened or cut, at close and at
// the end of the run.
//
// A failure throws a Failure (diagnostics.h) that names the unit and its file; the run's
// conductor (run_program()) hands it to end_run().
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "io/diagnostics.h"
#include "io/os.h"

namespace kv::io {

inline constexpr int kMaxUnit = 100;
// Full path names longer than this are refused as a file name error.
inline constexpr std::size_t kMaxFullPath = 256;

struct File {
  bool is_open = false;
  int handle = -1;
  int unit = 0;
  bool read_only = false;   // opened for reading only: a write is refused
  bool regular = true;      // a regular file: can be read and cut off
  std::string full_path;

  // Output: records not yet handed to the OS, and whether the file was cut off yet.
  std::string out;
  bool writing = false;

  // Input: a window on the file. in[pos..lim) is read but not yet consumed; in_base is
  // the file offset of in[0].
  std::unique_ptr<char[]> in;
  std::size_t cap = 0;
  std::size_t pos = 0;
  std::size_t lim = 0;
  std::int64_t in_base = 0;
  bool in_eof = false;             // the OS has no more bytes
  bool last_unterminated = false;  // the last record consumed ended at the end of the file without LF
};

// Opens a file under its unit number, as the program opens every file (Access::ReadWrite)
// or, for a tool that must change nothing, for reading only (Access::Read: a missing file
// is not created). A failure throws message 29, 9, 42, 43 or 30.
void open(int unit, std::string_view name, Access access = Access::ReadWrite);
// Ends the file: every record written is in it.
void close(int unit);
// The open file of a unit.
File& file(int unit);
// Hands every record written so far, on every open unit, and the buffered standard
// error stream to the OS.
void flush_all();

// The failure `number` for the file of f.
[[noreturn]] void fail(int number, const File& f);

// Closes every open file as it stands, without handing the OS what is still buffered.
void close_all_as_they_stand();

// Reports a failure at the end of a run and gives the exit status: every record written
// so far reaches its file first (a file that refuses them turns the report into message
// 38 for that file, since the run would have stopped at that write), then the diagnostic
// line goes to the standard error stream and every file is closed as it stands.
std::uint32_t end_run(const Failure& failure);

// Throws Interruption when the user or the system has interrupted the run (os.h). The
// writer asks before each formatted write, the reader before each read of the OS, so
// that the run ends between two records.
inline void stop_if_interrupted() {
  if (const int signal = interrupt_noted()) throw Interruption{signal};
}

// Ends a run that was interrupted: every record written so far reaches its file (one
// that refuses them is reported as message 38 would report it), every file is closed, and
// the process ends as the interruption would have ended it (os.h); what is returned is
// the exit status where the process is to end by returning.
std::uint32_t end_interrupted(const Interruption& interruption);

// Used by the reader: reads up to n bytes at the file's current offset; 0 at the end of
// the file. A failure throws message 39; a file that is not a regular file (a FIFO, a
// device) is not read at all and throws message 30, as a file that cannot be opened as
// an input.
std::size_t read_bytes(File& f, char* dst, std::size_t n);
// The same for a read that read_bytes may take again: a failure returns false and is
// left for the retry to report.
bool read_bytes_quietly(File& f, char* dst, std::size_t n, std::size_t& got);
// Used by the writer: before the first record, cut the file off at the position where
// writing starts.
void start_writing(File& f);
// Hands f.out to the OS; a refusal throws message 38.
void flush(File& f);

// Absolute, lexically normalised path name of a file name, as diagnostics show it.
std::string full_path_name(std::string_view name);

}  // namespace kv::io
