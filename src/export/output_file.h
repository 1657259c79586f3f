// A file the export writes for the user (a motor file, a CSV curve): written whole to a
// temporary file in the target's folder, made durable, and only then renamed into place,
// so that a full disk, a refused write or a crash leaves the previous file as it was and
// never a file cut short that looks whole.
#pragma once

#include <string>
#include <string_view>

namespace kv::exporter {

// Why a target cannot be replaced by a file of the export's own, in words; empty when it
// can: it does not exist yet, or it is a regular file. A symbolic link, a folder, a FIFO,
// a device (--csv /dev/stdout) is never replaced: a rename would put a file where the
// user has something else.
std::string target_problem(const std::string& target);

class OutputFile {
 public:
  // `target` is the name handed to the system, `shown` the name as the user gave it.
  // Throws a DataError naming the file when target_problem() finds one, or when the
  // temporary file cannot be made.
  OutputFile(std::string target, std::string shown);
  // Removes the temporary file unless it was put in place.
  ~OutputFile();
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  // The next bytes of the file. A refused write throws a DataError that names the file
  // and the reason (the disk is full, ...); the temporary file is gone then.
  void append(std::string_view bytes);
  // Everything written reaches the disk and the temporary file is closed.
  void finish();
  // Puts the finished file in place of the target.
  void commit();

  const std::string& target() const { return target_; }

 private:
  [[noreturn]] void fail(const std::string& doing, const std::string& reason);
  void discard();

  std::string target_, shown_, temporary_;
  int handle_ = -1;
  bool committed_ = false;
};

}  // namespace kv::exporter
