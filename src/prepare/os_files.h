// prepare's own files, read and written through the OS seam (io/os.h): what a name
// stands for, a file read in blocks, a file written whole, names in a folder, and the
// reasons the system gives, in words. Every name is as the user typed it (UTF-8), and
// every message names the user's file, never a temporary one.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "io/os.h"

namespace kv::prepare {

// Why the system refused, in words: "no such file", "the disk is full".
std::string reason(io::OsError e);

// What a name stands for, links followed; a DataError that names the real cause unless it
// is a regular file: missing, a folder, a FIFO, a device, a loop of symbolic links.
io::FileStatus regular_input(const std::string& name);

// Throws io::Interruption once SIGINT or SIGTERM has come (os.h), so that whoever
// wrote something on the way can take it away before the companion ends.
void stop_if_interrupted();

// A regular file open for reading; closed when it goes.
class InputFile {
 public:
  // A file that is not a regular file, or cannot be opened, is a DataError.
  explicit InputFile(std::string name);
  ~InputFile();
  InputFile(const InputFile&) = delete;
  InputFile& operator=(const InputFile&) = delete;

  // Up to n bytes, 0 at the end; a refusal is a DataError.
  std::size_t read(char* dst, std::size_t n);
  // Reads again from `offset`.
  void seek(std::uint64_t offset);

  const std::string& name() const { return name_; }
  const io::FileStatus& status() const { return status_; }

 private:
  void open();

  std::string name_;
  io::FileStatus status_;
  int handle_ = -1;
};

// The name's last part ("log.csv" of "runs/log.csv"), and that part without its last
// extension ("log").
std::string_view last_part(std::string_view name);
std::string_view stem_of(std::string_view name);
// The folder a name is in ("runs" of "runs/log.csv", "." of "log.csv").
std::string folder_of(std::string_view name);
// A name in a folder.
std::string joined(std::string_view folder, std::string_view name);
// The name without the separators a shell's completion leaves at its end ("case/").
std::string without_trailing_separators(std::string name);

// A file being made under a name of its own, block by block: opened exclusively, each
// block handed to the OS whole, then made durable. On a failure, or when it goes
// without finish(), the file is removed.
class NewFile {
 public:
  explicit NewFile(std::string name);
  ~NewFile();
  NewFile(const NewFile&) = delete;
  NewFile& operator=(const NewFile&) = delete;

  // None, or why the file could not be made.
  io::OsError opened() const { return error_; }
  // Appends the bytes; false (error() says why) when the system refused them.
  bool write(std::string_view bytes);
  // Makes the file durable and closes it; false when the system refused.
  bool finish();
  // Forgets the file: it stays (it has been renamed to its place).
  void keep() { keep_ = true; }
  io::OsError error() const { return error_; }
  const std::string& name() const { return name_; }

 private:
  std::string name_;
  int handle_ = -1;
  io::OsError error_ = io::OsError::None;
  bool keep_ = false;
};

}  // namespace kv::prepare
