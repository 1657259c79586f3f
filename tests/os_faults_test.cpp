// Whole runs in this process over the scripted operating system, with the faults that a
// real system gives only now and then or only to root: calls interrupted by a signal,
// reads and writes that move less than asked, a disk that fills up in the middle of a
// record, and files refused, unreadable or replaced by a directory, on every unit.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "run_fixture.h"

using namespace kv::test;

namespace {

// A case that touches every unit: the plot script is rewritten and both result files
// are opened at the end.
CaseFile every_unit() {
  CaseFile c;
  c.graf = "1";
  c.abreB = "1";
  return c;
}

const char* const kFiles[] = {kGeneralData, "caso1.txt", "celula.txt", "teste1_saida_H.txt",
                              "teste1_saida_A.txt", "teste1_saida_B.txt", kPlotScript};

struct Clean {
  std::vector<std::string> files;
  std::vector<std::string> commands;
};

Clean clean_run() {
  ScriptedRun r;
  r.setup(every_unit(), kWorkedExampleSamples, kPlotHead);
  const ScriptedOutcome o = r.run();
  EXPECT_EQ(o.status, 0u) << o.err;
  EXPECT_EQ(o.err, "");
  Clean c;
  for (const char* f : kFiles) c.files.push_back(r.get(f));
  c.commands = r.commands();
  return c;
}

TEST(OsFaults, InterruptedAndShortCallsChangeNothing) {
  const Clean clean = clean_run();
  struct Row {
    const char* what;
    bool interrupt;
    std::size_t max_read, max_write;
  };
  const Row rows[] = {
      {"every call interrupted once", true, 0, 0},
      {"reads of one byte", false, 1, 0},
      {"writes of one byte", false, 0, 1},
      {"all at once, odd sizes", true, 7, 5},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    ScriptedRun r;
    r.setup(every_unit(), kWorkedExampleSamples, kPlotHead);
    r.os.interrupt_every_call = row.interrupt;
    r.os.max_read = row.max_read;
    r.os.max_write = row.max_write;
    const ScriptedOutcome o = r.run();
    EXPECT_EQ(o.status, 0u) << o.err;
    EXPECT_EQ(o.err, "");
    for (std::size_t i = 0; i < std::size(kFiles); ++i) EXPECT_EQ(r.get(kFiles[i]), clean.files[i]) << kFiles[i];
    EXPECT_EQ(r.commands(), clean.commands);
  }
}

TEST(OsFaults, DiskFullInTheMiddleOfARecordLeavesOnlyWholeRecords) {
  const Clean clean = clean_run();
  struct Row {
    std::size_t file;  // index into kFiles
    int unit;
    const std::string* log_end;  // the run log's last record; null: the run log is the file
  };
  const Row rows[] = {{3, 80, nullptr}, {4, 10, &kLogWritingA}, {5, 20, &kLogWritingB}, {6, 18, &kLogPlot}};
  for (const Row& row : rows) {
    const std::string name = kFiles[row.file];
    SCOPED_TRACE(name);
    const std::string& whole = clean.files[row.file];
    // The disk fills up halfway through what the run writes to the file (behind the
    // plot script's head), never on a record end.
    const std::size_t kept = name == kPlotScript ? kPlotHead.size() : 0;
    std::size_t quota = kept + (whole.size() - kept) / 2;
    if (whole.compare(quota - 2, 2, "\r\n") == 0) ++quota;
    ScriptedRun r;
    r.setup(every_unit(), kWorkedExampleSamples, kPlotHead);
    r.os.quota(name, quota);
    const ScriptedOutcome o = r.run();
    EXPECT_EQ(o.status, kv::io::severe_exit_status(38));
    EXPECT_EQ(o.err, r.severe_line(38, "error during write", row.unit, name));
    // The file is the start of what it would have been, cut back to its last whole record.
    const std::string left = r.get(name);
    EXPECT_EQ(left, whole.substr(0, whole.rfind("\r\n", quota - 1) + 2));
    if (row.log_end) {
      EXPECT_EQ(last_record(r.get("teste1_saida_H.txt")), *row.log_end);
    }
    // Nothing is launched after the failure.
    EXPECT_LT(r.commands().size(), clean.commands.size());
  }
}

TEST(OsFaults, RefusedUnreadableAndMissingFilesOnEveryUnit) {
  const Clean clean = clean_run();
  enum class Fault { WriteRefused, OpenRefused, Directory, ReadRefused };
  struct Row {
    std::size_t file;  // index into kFiles
    int unit;
    Fault fault;
    int number;  // 0: the run completes as if nothing were wrong
    const std::string* log_end;  // null: no run log may exist
  };
  const char* const kText9 = "permission to access file denied";
  const Row rows[] = {
      // The inputs: reading is all the run needs of them.
      {0, 5, Fault::WriteRefused, 0, &kLogLast},
      {0, 5, Fault::OpenRefused, 9, nullptr},
      {0, 5, Fault::Directory, 9, nullptr},
      {0, 5, Fault::ReadRefused, 39, nullptr},
      {1, 6, Fault::WriteRefused, 0, &kLogLast},
      {1, 6, Fault::OpenRefused, 9, nullptr},
      {1, 6, Fault::Directory, 9, nullptr},
      {1, 6, Fault::ReadRefused, 39, nullptr},
      {2, 8, Fault::WriteRefused, 0, &kLogLast},
      {2, 8, Fault::OpenRefused, 9, &kLogHeader},
      {2, 8, Fault::Directory, 9, &kLogHeader},
      {2, 8, Fault::ReadRefused, 39, &kLogHeader},
      // The outputs.
      {3, 80, Fault::WriteRefused, 9, nullptr},
      {3, 80, Fault::Directory, 9, nullptr},
      {4, 10, Fault::WriteRefused, 9, &kLogWritingA},
      {4, 10, Fault::Directory, 9, &kLogWritingA},
      {5, 20, Fault::WriteRefused, 9, &kLogWritingB},
      {5, 20, Fault::Directory, 9, &kLogWritingB},
      // The plot script is read, then written.
      {6, 18, Fault::WriteRefused, 9, &kLogPlot},
      {6, 18, Fault::OpenRefused, 9, &kLogPlot},
      {6, 18, Fault::Directory, 9, &kLogPlot},
      {6, 18, Fault::ReadRefused, 39, &kLogPlot},
  };
  for (const Row& row : rows) {
    const std::string name = kFiles[row.file];
    SCOPED_TRACE(name + " fault " + std::to_string(static_cast<int>(row.fault)));
    ScriptedRun r;
    r.setup(every_unit(), kWorkedExampleSamples, kPlotHead);
    switch (row.fault) {
      case Fault::WriteRefused: r.os.deny_write(name); break;
      case Fault::OpenRefused: r.os.deny_open(name); break;
      case Fault::Directory: r.os.mkdir(name); break;
      case Fault::ReadRefused: r.os.fail_reads_after(name, 0); break;
    }
    // An output refused for writing is one that exists already: it keeps what it holds.
    if (row.fault == Fault::WriteRefused && row.file >= 3 && row.file <= 5) r.put(name, "conte\xFA" "do antigo\r\n");
    const std::string before = r.get(name);
    const ScriptedOutcome o = r.run();
    if (row.number == 0) {
      EXPECT_EQ(o.status, 0u) << o.err;
      EXPECT_EQ(o.err, "");
      for (std::size_t i = 0; i < std::size(kFiles); ++i) EXPECT_EQ(r.get(kFiles[i]), clean.files[i]) << kFiles[i];
    } else {
      EXPECT_EQ(o.status, kv::io::severe_exit_status(row.number));
      EXPECT_EQ(o.err, r.severe_line(row.number, row.number == 9 ? kText9 : "error during read", row.unit, name));
      EXPECT_EQ(r.get(name), before) << "the file is left as it was";
    }
    if (row.fault == Fault::Directory) {
      EXPECT_TRUE(r.os.is_dir(name));
    }
    if (row.log_end) {
      EXPECT_EQ(last_record(r.get("teste1_saida_H.txt")), *row.log_end);
    } else if (row.unit != 80) {
      EXPECT_FALSE(r.has("teste1_saida_H.txt"));
    }
  }
}

}  // namespace
