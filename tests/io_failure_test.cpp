// Failures of the record I/O layer, run as the program's entry runs them: the exact
// diagnostic line, the exit status (its low byte is the message number) and the files as
// they stand. The OS's own refusals come from the real system where any machine can give
// them, and from the scripted one where they would need another user or root.
#include <sys/stat.h>

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

void expect_severe(const IoOutcome& r, int number, const std::string& text, int unit, const std::string& path) {
  EXPECT_EQ(r.status, number);
  EXPECT_EQ(r.err, severe_line(number, text, unit, path));
}

void write_two_log_records(const std::string& log) {
  io::open(80, log);
  io::write_list(80, "Primeira fase");
  io::write(80, io::layout<R"(("valor", I5))">, {std::int32_t{12}});
}
const char* const kTwoLogRecords = " Primeira fase\r\nvalor   12\r\n";

TEST(OpenFailure, MissingDirectoryIsFileNotFoundAndNamesTheNormalisedPath) {
  ScriptedOs os;  // working directory /run
  os.put("plain.txt", "x\r\n");
  struct Case {
    std::string name;
    std::string shown;
  };
  const Case cases[] = {
      {"no_such_dir/data.txt", "/run/no_such_dir/data.txt"},
      {"./a/../no_such_dir/./b//data.txt", "/run/no_such_dir/b/data.txt"},
      {"plain.txt/data.txt", "/run/plain.txt/data.txt"},
      {"/run/gone/x.txt", "/run/gone/x.txt"},
      {"", "/run/"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const auto r = run_io(os.err, [&] {
      write_two_log_records("run_saida_H.txt");
      io::open(6, c.name);
    });
    expect_severe(r, 29, "file not found", 6, c.shown);
    // The records written before the failure are in the file.
    EXPECT_EQ(os.get("run_saida_H.txt"), kTwoLogRecords);
    EXPECT_FALSE(os.has("no_such_dir"));
  }
}

TEST(OpenFailure, TheRealSystemsRefusals) {
  ScratchDir dir;
  ::mkdir((dir / "sub").c_str(), 0755);
  const auto missing = run_io([&] { io::open(8, dir / "no_such_dir/celula.txt"); });
  expect_severe(missing, 29, "file not found", 8, dir / "no_such_dir/celula.txt");
  const auto directory = run_io([&] { io::open(10, dir / "sub"); });
  expect_severe(directory, 9, "permission to access file denied", 10, dir / "sub");
  const auto full = run_io([&] {
    write_two_log_records(dir / "run_saida_H.txt");
    io::open(10, "/dev/full");
    io::write(10, io::layout<R"(("Resultado", F12.7))">, {1.5});
    io::close(10);
    io::write_list(80, "never written");
  });
  expect_severe(full, 38, "error during write", 10, "/dev/full");
  EXPECT_EQ(read_file(dir / "run_saida_H.txt"), kTwoLogRecords);
}

TEST(OpenFailure, FullPathLongerThan256IsANameError) {
  ScratchDir dir;
  // A full path of exactly 256 characters opens; one more is refused before the OS sees it.
  const std::size_t room = 256 - dir.path().size() - 1;
  const std::string ok = dir / std::string(room, 'n');
  const std::string too_long = dir / std::string(room + 1, 'n');
  ASSERT_EQ(ok.size(), 256u);
  const auto fine = run_io([&] {
    io::open(20, ok);
    io::write(20, io::layout<R"(("ok"))">);
    io::close(20);
  });
  EXPECT_EQ(fine.status, 0);
  EXPECT_EQ(fine.err, "");
  EXPECT_EQ(read_file(ok), "ok\r\n");

  const auto r = run_io([&] { io::open(20, too_long); });
  expect_severe(r, 43, "file name specification error", 20, too_long);
  EXPECT_FALSE(std::filesystem::exists(too_long));
}

TEST(OpenFailure, NameWithANulByteIsANameError) {
  // A name cut short at a NUL byte would open (and later overwrite) another file.
  ScratchDir dir;
  const std::string victim = dir / "dados.txt";
  write_file(victim, "keep\r\n");
  const std::string name = victim + std::string(1, '\0') + "_saida_A.txt";
  const auto r = run_io([&] {
    io::open(10, name);
    io::write(10, io::layout<R"(("overwritten"))">);
    io::close(10);
  });
  EXPECT_EQ(r.status, 43);
  EXPECT_EQ(r.err.rfind("forrtl: severe (43): file name specification error, unit 10, file ", 0), 0u) << r.err;
  EXPECT_EQ(read_file(victim), "keep\r\n");
}

TEST(OpenFailure, WhatTheSystemSaysBecomesTheMessage) {
  struct Case {
    io::OsError said;
    int number;
    const char* text;
  };
  const Case cases[] = {
      {io::OsError::NotFound, 29, "file not found"},
      {io::OsError::AccessDenied, 9, "permission to access file denied"},
      {io::OsError::IsDirectory, 9, "permission to access file denied"},
      {io::OsError::NoDevice, 42, "no such device"},
      {io::OsError::BadName, 43, "file name specification error"},
      {io::OsError::NoSpace, 30, "open failure"},
      {io::OsError::Other, 30, "open failure"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    ScriptedOs os;
    os.put("dados.txt", "1\r\n");
    os.deny_open("dados.txt", c.said);
    const auto r = run_io(os.err, [&] { io::open(8, "dados.txt"); });
    expect_severe(r, c.number, c.text, 8, "/run/dados.txt");
  }
}

TEST(Permissions, AFileThatMayOnlyBeReadIsReadAndNotWritten) {
  ScriptedOs os;
  os.put("params.txt", "'caso 1'\r\n42\r\n");
  os.deny_write("params.txt");
  const auto r = run_io(os.err, [&] {
    io::open(6, "params.txt");
    io::TextField<90> caso;
    std::int32_t n = 0;
    io::read(6, {caso});
    io::read(6, {n});
    EXPECT_EQ(caso.trim(), "caso 1");
    EXPECT_EQ(n, 42);
    io::close(6);
  });
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "");

  // Writing to it is refused, and the file keeps its content.
  const auto w = run_io(os.err, [&] {
    io::open(6, "params.txt");
    io::read(6, {});
    io::write(6, io::layout<R"(("x"))">);
    io::close(6);
  });
  expect_severe(w, 9, "permission to access file denied", 6, "/run/params.txt");
  EXPECT_EQ(os.get("params.txt"), "'caso 1'\r\n42\r\n");
}

TEST(Permissions, RefusedFilesAndDirectories) {
  ScriptedOs os;
  os.mkdir("locked");
  os.deny_open("locked/report.txt");  // a directory that may not be written
  os.put("secret.txt", "1\n");
  os.deny_open("secret.txt");         // a file that may not be read
  const auto locked = run_io(os.err, [&] { io::open(10, "locked/report.txt"); });
  expect_severe(locked, 9, "permission to access file denied", 10, "/run/locked/report.txt");
  const auto secret = run_io(os.err, [&] { io::open(8, "secret.txt"); });
  expect_severe(secret, 9, "permission to access file denied", 8, "/run/secret.txt");
}

TEST(WriteFailure, NoOtherFileIsTouchedAfterARefusedRecord) {
  // The run log's record is refused; the run must not go on to open and rewrite the
  // next file, which keeps its old content.
  ScriptedOs os;
  os.put("run_saida_A.txt", "old report\r\n");
  os.quota("run_saida_H.txt", 0);
  const auto r = run_io(os.err, [&] {
    io::open(80, "run_saida_H.txt");
    io::write_list(80, "Leu os dados principais");
    io::open(10, "run_saida_A.txt");
    io::write(10, io::layout<R"(("new report"))">);
    io::close(10);
  });
  expect_severe(r, 38, "error during write", 80, "/run/run_saida_H.txt");
  EXPECT_EQ(os.get("run_saida_A.txt"), "old report\r\n");
}

TEST(ReadFailure, EndOfFileOnAFileCreatedByTheOpen) {
  // A missing input file is created empty by the open; the first read meets its end.
  ScriptedOs os;
  const auto r = run_io(os.err, [&] {
    write_two_log_records("run_saida_H.txt");
    io::open(8, "motor.txt");
    double t = 0.0, f = 0.0;
    io::read(8, {t, f});
  });
  expect_severe(r, 24, "end-of-file during read", 8, "/run/motor.txt");
  EXPECT_TRUE(os.has("motor.txt"));
  EXPECT_EQ(os.get("motor.txt"), "");
  EXPECT_EQ(os.get("run_saida_H.txt"), kTwoLogRecords);
}

TEST(ReadFailure, BadValuesAndRefusedReadsNameTheUnitAndFile) {
  struct Case {
    const char* bytes;
    int number;
    const char* text;
    std::size_t refuse_after = 0;  // the OS refuses reads after this many bytes; 0: never
  };
  const Case cases[] = {
      {"0.0 1.0\r\n0.1 1.2.3\r\n", 59, "list-directed I/O syntax error"},
      {"0.0 1.0\r\n0.1 -\r\n", 59, "list-directed I/O syntax error"},
      {"0.0 1.0\r\n0.1\r\n", 24, "end-of-file during read"},
      {"0.0 1.0\r\n0.1 99999999999\r\n", 64, "input conversion error"},
      {"0.0 1.0\r\n0.1 2.0\r\n", 39, "error during read", 9},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.bytes);
    ScriptedOs os;
    os.put("motor.txt", c.bytes);
    os.max_read = 9;  // one record per read, so that a refusal falls on the second
    if (c.refuse_after) os.fail_reads_after("motor.txt", c.refuse_after);
    const auto r = run_io(os.err, [&] {
      write_two_log_records("run_saida_H.txt");
      io::open(8, "motor.txt");
      double t = 0.0, f = 0.0;
      std::int32_t n = 0;
      io::read(8, {t, f});
      io::write_list(80, "first record read");
      io::read(8, {t, n});
    });
    expect_severe(r, c.number, c.text, 8, "/run/motor.txt");
    EXPECT_EQ(os.get("run_saida_H.txt"), std::string(kTwoLogRecords) + " first record read\r\n");
    EXPECT_EQ(os.get("motor.txt"), c.bytes);
  }
}

}  // namespace
