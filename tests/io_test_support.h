// Helpers for the tests of the record I/O layer: a scratch directory, whole-file
// reads and writes, and a child process that runs a piece of I/O and reports how it
// ended (exit status and the exact bytes it wrote to the standard error stream).
#pragma once

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <functional>
#include <stdexcept>
#include <string>

#include <gtest/gtest.h>

#include "io/files.h"
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

// How a child process ended.
struct ChildResult {
  bool exited = false;
  int status = -1;  // exit status (low 8 bits), when exited
  std::string err;  // everything written to its standard error stream
};

// Runs `body` in a forked child with its standard error stream sent to a file; a child
// whose body returns ends with status 0 after handing its output to the OS.
inline ChildResult run_child(const std::function<void()>& body) {
  char tmpl[] = "/tmp/kv_io_err_XXXXXX";
  const int errfd = ::mkstemp(tmpl);
  if (errfd < 0) throw std::runtime_error("mkstemp failed");
  const std::string errpath = tmpl;
  std::fflush(nullptr);
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::dup2(errfd, 2);
    ::close(errfd);
    int status = 0;
    try {
      body();
      kv::io::flush_all();
    } catch (const kv::io::Failure& f) {
      status = static_cast<int>(kv::io::end_run(f) & 0xFFu);
    }
    ::_exit(status);
  }
  ::close(errfd);
  ChildResult r;
  int ws = 0;
  ::waitpid(pid, &ws, 0);
  if (WIFEXITED(ws)) {
    r.exited = true;
    r.status = WEXITSTATUS(ws);
  }
  r.err = read_file(errpath);
  ::unlink(errpath.c_str());
  return r;
}

// The diagnostic line of a failure that ends the run.
using kv::test::severe_line;

}  // namespace kv::iotest
