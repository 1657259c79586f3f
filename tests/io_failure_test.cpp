// Failures of the record I/O layer, each in a child process: the exact diagnostic line,
// the exit status (its low byte is the message number) and the files as they stand.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <string>

#include <gtest/gtest.h>

#include "io/files.h"
#include "io/layout.h"
#include "io/list_directed.h"
#include "io/record_writer.h"
#include "io/text_field.h"
#include "io_test_support.h"

using namespace kv;
using namespace kv::iotest;

namespace {

constexpr uid_t kNobody = 65534;

void expect_severe(const ChildResult& r, int number, const std::string& text, int unit, const std::string& path) {
  EXPECT_TRUE(r.exited);
  EXPECT_EQ(r.status, number);
  EXPECT_EQ(r.err, severe_line(number, text, unit, path));
}

void write_two_log_records(const std::string& log) {
  io::open(80, log);
  io::write_list(80, "Primeira fase");
  io::write(80, io::layout<R"(("valor", I5))">, {std::int32_t{12}});
}
const char* const kTwoLogRecords = " Primeira fase\r\nvalor   12\r\n";

TEST(OpenFailure, MissingDirectoryIsFileNotFound) {
  ScratchDir dir;
  const std::string log = dir / "run_saida_H.txt";
  write_file(dir / "plain.txt", "x\r\n");
  struct Case {
    std::string name;  // relative to the scratch directory, which is the working directory
    std::string shown;
  };
  const Case cases[] = {
      {"no_such_dir/data.txt", dir / "no_such_dir/data.txt"},
      {"./a/../no_such_dir/./b//data.txt", dir / "no_such_dir/b/data.txt"},
      {"plain.txt/data.txt", dir / "plain.txt/data.txt"},
      {dir / "gone/x.txt", dir / "gone/x.txt"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const auto r = run_child([&] {
      if (::chdir(dir.path().c_str()) != 0) ::_exit(100);
      write_two_log_records(log);
      io::open(6, c.name);
    });
    expect_severe(r, 29, "file not found", 6, c.shown);
    // The records written before the failure are in the file.
    EXPECT_EQ(read_file(log), kTwoLogRecords);
  }
}

TEST(OpenFailure, DirectoryIsPermissionDenied) {
  ScratchDir dir;
  ::mkdir((dir / "sub").c_str(), 0755);
  const auto r = run_child([&] { io::open(10, dir / "sub"); });
  expect_severe(r, 9, "permission to access file denied", 10, dir / "sub");
}

TEST(OpenFailure, FullPathLongerThan256IsANameError) {
  ScratchDir dir;
  // A full path of exactly 256 characters opens; one more is refused before the OS sees it.
  const std::size_t room = 256 - dir.path().size() - 1;
  const std::string ok = dir / std::string(room, 'n');
  const std::string too_long = dir / std::string(room + 1, 'n');
  ASSERT_EQ(ok.size(), 256u);
  const auto fine = run_child([&] {
    io::open(20, ok);
    io::write(20, io::layout<R"(("ok"))">);
    io::close(20);
  });
  EXPECT_EQ(fine.status, 0);
  EXPECT_EQ(fine.err, "");
  EXPECT_EQ(read_file(ok), "ok\r\n");

  const auto r = run_child([&] { io::open(20, too_long); });
  expect_severe(r, 43, "file name specification error", 20, too_long);
  EXPECT_FALSE(std::filesystem::exists(too_long));
}

TEST(OpenFailure, NameWithANulByteIsANameError) {
  // A name cut short at a NUL byte would open (and later overwrite) another file.
  ScratchDir dir;
  const std::string victim = dir / "dados.txt";
  write_file(victim, "keep\r\n");
  const std::string name = victim + std::string(1, '\0') + "_saida_A.txt";
  const auto r = run_child([&] {
    io::open(10, name);
    io::write(10, io::layout<R"(("overwritten"))">);
    io::close(10);
  });
  EXPECT_EQ(r.status, 43);
  EXPECT_EQ(r.err.rfind("forrtl: severe (43): file name specification error, unit 10, file ", 0), 0u) << r.err;
  EXPECT_EQ(read_file(victim), "keep\r\n");
}

// Permission cases need a user that the file modes apply to: the child gives up root.
class AsOtherUser : public ::testing::Test {
 protected:
  ScratchDir dir;
  void SetUp() override {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to switch to another user";
    ::chmod(dir.path().c_str(), 0755);
  }
  static void become_nobody() {
    if (::setgid(kNobody) != 0 || ::setuid(kNobody) != 0) ::_exit(101);
  }
};

TEST_F(AsOtherUser, FileInANonWritableDirectoryIsPermissionDenied) {
  ::mkdir((dir / "locked").c_str(), 0555);
  const auto r = run_child([&] {
    become_nobody();
    io::open(10, dir / "locked/report.txt");
  });
  expect_severe(r, 9, "permission to access file denied", 10, dir / "locked/report.txt");
}

TEST_F(AsOtherUser, UnreadableFileIsPermissionDenied) {
  write_file(dir / "secret.txt", "1\n");
  ::chmod((dir / "secret.txt").c_str(), 0000);
  const auto r = run_child([&] {
    become_nobody();
    io::open(8, dir / "secret.txt");
  });
  expect_severe(r, 9, "permission to access file denied", 8, dir / "secret.txt");
}

TEST_F(AsOtherUser, ReadOnlyInputFileOpensAndReads) {
  write_file(dir / "params.txt", "'caso 1'\r\n42\r\n");
  ::chmod((dir / "params.txt").c_str(), 0444);
  const auto r = run_child([&] {
    become_nobody();
    io::open(6, dir / "params.txt");
    io::TextField<90> caso;
    std::int32_t n = 0;
    io::read(6, {caso});
    io::read(6, {n});
    if (caso.trim() != "caso 1" || n != 42) ::_exit(102);
    io::close(6);
  });
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "");

  // Writing to it is refused, and the file keeps its content.
  const auto w = run_child([&] {
    become_nobody();
    io::open(6, dir / "params.txt");
    io::read(6, {});
    io::write(6, io::layout<R"(("x"))">);
    io::close(6);
  });
  expect_severe(w, 9, "permission to access file denied", 6, dir / "params.txt");
  EXPECT_EQ(read_file(dir / "params.txt"), "'caso 1'\r\n42\r\n");
}

TEST(WriteFailure, RefusedRecordEndsTheRunAndEarlierRecordsStay) {
  ScratchDir dir;
  const std::string log = dir / "run_saida_H.txt";
  const auto r = run_child([&] {
    write_two_log_records(log);
    io::open(10, "/dev/full");
    io::write(10, io::layout<R"(("Resultado", F12.7))">, {1.5});
    io::close(10);
    io::write_list(80, "never written");
  });
  expect_severe(r, 38, "error during write", 10, "/dev/full");
  EXPECT_EQ(read_file(log), kTwoLogRecords);
}

TEST(WriteFailure, NoOtherFileIsTouchedAfterARefusedRecord) {
  // The run log's record is refused; the run must not go on to open and rewrite the
  // next file, which keeps its old content.
  ScratchDir dir;
  const std::string report = dir / "run_saida_A.txt";
  write_file(report, "old report\r\n");
  const auto r = run_child([&] {
    io::open(80, "/dev/full");
    io::write_list(80, "Leu os dados principais");
    io::open(10, report);
    io::write(10, io::layout<R"(("new report"))">);
    io::close(10);
  });
  expect_severe(r, 38, "error during write", 80, "/dev/full");
  EXPECT_EQ(read_file(report), "old report\r\n");
}

TEST(ReadFailure, EndOfFileOnAFileCreatedByTheOpen) {
  // A missing input file is created empty by the open; the first read meets its end.
  ScratchDir dir;
  const std::string data = dir / "motor.txt";
  const std::string log = dir / "run_saida_H.txt";
  const auto r = run_child([&] {
    write_two_log_records(log);
    io::open(8, data);
    double t = 0.0, f = 0.0;
    io::read(8, {t, f});
  });
  expect_severe(r, 24, "end-of-file during read", 8, data);
  EXPECT_TRUE(std::filesystem::exists(data));
  EXPECT_EQ(read_file(data), "");
  EXPECT_EQ(read_file(log), kTwoLogRecords);
}

TEST(ReadFailure, BadValuesNameTheUnitAndFile) {
  ScratchDir dir;
  const std::string data = dir / "motor.txt";
  const std::string log = dir / "run_saida_H.txt";
  struct Case {
    const char* bytes;
    int number;
    const char* text;
  };
  const Case cases[] = {
      {"0.0 1.0\r\n0.1 1.2.3\r\n", 59, "list-directed I/O syntax error"},
      {"0.0 1.0\r\n0.1 -\r\n", 59, "list-directed I/O syntax error"},
      {"0.0 1.0\r\n0.1\r\n", 24, "end-of-file during read"},
      {"0.0 1.0\r\n0.1 99999999999\r\n", 64, "input conversion error"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.bytes);
    write_file(data, c.bytes);
    const auto r = run_child([&] {
      write_two_log_records(log);
      io::open(8, data);
      double t = 0.0, f = 0.0;
      std::int32_t n = 0;
      io::read(8, {t, f});
      io::write_list(80, "first record read");
      io::read(8, {t, n});
    });
    expect_severe(r, c.number, c.text, 8, data);
    EXPECT_EQ(read_file(log), std::string(kTwoLogRecords) + " first record read\r\n");
    EXPECT_EQ(read_file(data), c.bytes);
  }
}

}  // namespace
