// Helpers for the tests of the record I/O layer: a scratch directory, whole-file reads
// and writes, and a piece of I/O run as the program's entry runs it (scripted_os.h).
#pragma once

#include <string>

#include <gtest/gtest.h>

#include "io/files.h"
#include "scripted_os.h"
#include "test_support.h"

namespace kv::iotest {

// A fresh directory under /tmp, removed with everything in it at the end of the test;
// its path as a string, and `dir / name` the path of a file in it.
class ScratchDir : public kv::test::TempDir {
 public:
  ScratchDir() : TempDir("kv_io_", "/tmp"), path_(dir().string()) {}

  const std::string& path() const { return path_; }
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

inline constexpr auto& read_file = kv::test::read_bytes;
inline constexpr auto& write_file = kv::test::write_bytes;

using kv::test::IoOutcome;
using kv::test::run_io;
using kv::test::ScriptedOs;
// The diagnostic line of a failure that ends the run.
using kv::test::severe_line;

}  // namespace kv::iotest
