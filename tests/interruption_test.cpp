// Ctrl-C and SIGTERM: the run ends between two records, every record written before
// the interruption reaches its file, the run log's last line shows the phase reached,
// and the process ends as the signal ends it.
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <thread>

#include "run_fixture.h"

namespace kv::test {
namespace {

// A window of n samples at 1 kHz with a steady thrust, and a sample beyond it.
std::string steady_samples(int n) {
  std::string s;
  s.reserve(static_cast<std::size_t>(n) * 16);
  for (int i = 0; i <= n; ++i) s += std::to_string(i / 1000) + "." + std::to_string(1000 + i % 1000).substr(1) + " 12.5\r\n";
  return s;
}

CaseFile steady_case(int n) {
  CaseFile c;
  c.w = "1000";
  c.tf = std::to_string((n - 1) / 1000) + "." + std::to_string(1000 + (n - 1) % 1000).substr(1);
  c.nmax = std::to_string(n + 10);
  c.abreB = "1";
  return c;
}

// The run log's last record after the interruption: none (no run log yet), a point's
// echo line, or the progress line of the phase reached.
enum class LogEnd { None, Echo, WritingB, Last };

struct Moment {
  const char* what;
  const char* file;       // opened (bytes 0) or read up to `bytes` when the user interrupts;
                          // null: while the launch numbered `bytes` runs
  std::size_t bytes;
  int signal;
  LogEnd log_end;
  bool summary_written;   // the summary report is whole
};

TEST(Interruption, TheRunEndsBetweenRecordsWithEverythingWrittenInItsFile) {
  constexpr int kPoints = 20000;
  const CaseFile c = steady_case(kPoints);
  const std::string samples = steady_samples(kPoints);
  std::string full_log, full_A;
  {
    ScriptedRun ref;
    ref.setup(c, samples);
    ASSERT_EQ(ref.run().status, 0u);
    full_log = ref.get("teste1_saida_H.txt");
    full_A = ref.get("teste1_saida_A.txt");
  }
  const Moment moments[] = {
      {"while the case file opens", "caso1.txt", 0, SIGINT, LogEnd::None, false},
      {"while the load-cell file is read", "celula.txt", 150000, SIGTERM, LogEnd::Echo, false},
      {"as the curve table opens", "teste1_saida_B.txt", 0, SIGINT, LogEnd::WritingB, true},
      {"while the summary report is shown", nullptr, 3, SIGTERM, LogEnd::Last, true},
  };
  for (const Moment& m : moments) {
    SCOPED_TRACE(m.what);
    ScriptedRun run;
    run.setup(c, samples);
    run.os.max_read = 4096;  // the reading goes on a block at a time
    if (m.file == nullptr)
      run.os.interrupt_at_launch(m.bytes, m.signal);
    else if (m.bytes == 0)
      run.os.interrupt_at_open(m.file, m.signal);
    else
      run.os.interrupt_after_read(m.file, m.bytes, m.signal);
    const ScriptedOutcome o = run.run();
    EXPECT_TRUE(run.os.interrupts_caught);
    EXPECT_EQ(run.os.ended_by, m.signal);
    EXPECT_EQ(o.status, 128u + static_cast<unsigned>(m.signal));
    EXPECT_EQ(o.err, "");
    EXPECT_EQ(run.has("teste1_saida_H.txt"), m.log_end != LogEnd::None);
    if (m.log_end != LogEnd::None) {
      const std::string log = run.get("teste1_saida_H.txt");
      ASSERT_LE(log.size(), full_log.size());
      EXPECT_EQ(full_log.compare(0, log.size(), log), 0) << "the run log is the complete run's, cut after a record";
      const std::string last = last_record(log);
      if (m.log_end == LogEnd::Echo) {
        EXPECT_EQ(last.size(), 35u) << last;  // (I5, 3X, F12.7, 1P, E15.7)
        // Some 10000 points were read and echoed before the interruption, all of them
        // still in the buffer (it goes to the file a MiB at a time).
        EXPECT_GT(log.size(), 300000u) << "every point echoed before the interruption is in the log";
      } else {
        EXPECT_EQ(last, m.log_end == LogEnd::WritingB ? kLogWritingB : kLogLast);
      }
    }
    EXPECT_EQ(run.has("teste1_saida_A.txt") && run.get("teste1_saida_A.txt") == full_A, m.summary_written);
    // Nothing is launched after the interruption: the editors would show unfinished files,
    // and the user asked for the run to end.
    if (m.file == nullptr) {
      EXPECT_EQ(run.commands().size(), m.bytes);
    } else {
      for (const std::string& cmd : run.commands()) EXPECT_EQ(cmd.find("_saida_"), std::string::npos) << cmd;
    }
  }
}

TEST(Interruption, AFullDiskAtTheEndIsStillReported) {
  constexpr int kPoints = 20000;
  ScriptedRun run;
  run.setup(steady_case(kPoints), steady_samples(kPoints));
  run.os.max_read = 4096;
  run.os.interrupt_after_read("celula.txt", 200000, SIGINT);
  run.os.quota("teste1_saida_H.txt", 100000);
  const ScriptedOutcome o = run.run();
  EXPECT_EQ(run.os.ended_by, SIGINT);
  EXPECT_EQ(o.err, run.severe_line(38, "error during write", 80, "teste1_saida_H.txt"));
  EXPECT_EQ(run.get("teste1_saida_H.txt").substr(run.get("teste1_saida_H.txt").size() - 2), "\r\n");
}

// The real program, as a user's Ctrl-C or a system's SIGTERM reaches it in the middle of
// a long run: it ends by that signal, and its run log holds every record written before.
TEST(Interruption, RealSignalsEndTheProgramByTheSignalWithWholeRecords) {
  constexpr int kPoints = 1500000;
  const CaseFile c = steady_case(kPoints);
  const std::string samples = steady_samples(kPoints);
  for (const int signal : {SIGINT, SIGTERM}) {
    SCOPED_TRACE(signal == SIGINT ? "SIGINT" : "SIGTERM");
    RunDir d;
    d.setup(c, samples);
    const std::string log_path = d.path("teste1_saida_H.txt");
    const std::string program = KV_PROGRAM;
    char* argv[] = {const_cast<char*>(program.c_str()), nullptr};
    std::string comspec = "COMSPEC=/bin/true";
    std::vector<char*> envp = {comspec.data(), nullptr};
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_addchdir_np(&fa, d.dir().c_str());
    posix_spawn_file_actions_addopen(&fa, 0, "/dev/null", O_RDONLY, 0);
    pid_t pid = -1;
    ASSERT_EQ(posix_spawn(&pid, argv[0], &fa, nullptr, argv, envp.data()), 0);
    posix_spawn_file_actions_destroy(&fa);
    // The run log reaches the disk as the load-cell file opens (its first 337 bytes), and
    // then a MiB of echo lines at a time. As soon as the first such block is there, the run
    // is in the middle of the reading, with records in the buffer not yet in the file.
    const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    std::error_code ec;
    std::uintmax_t on_disk = 0;
    while (std::chrono::steady_clock::now() < give_up && !((on_disk = fs::file_size(log_path, ec)) > 1000 && !ec))
      std::this_thread::sleep_for(std::chrono::microseconds(200));
    ASSERT_EQ(::kill(pid, signal), 0);
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    if (WIFEXITED(status) && WEXITSTATUS(status) == 0) GTEST_SKIP() << "the run ended before the signal came";
    ASSERT_TRUE(WIFSIGNALED(status)) << "exit status " << WEXITSTATUS(status);
    EXPECT_EQ(WTERMSIG(status), signal);
    const std::string log = d.get("teste1_saida_H.txt");
    EXPECT_GT(log.size(), on_disk) << "the records still in the buffer when the signal came are in the file";
    ASSERT_GE(log.size(), 2u);
    EXPECT_EQ(log.substr(log.size() - 2), "\r\n") << "the run log ends with a whole record";
    // Whole records, in order: the echo lines after the column header count the points
    // from 1 (asterisks past 99999), with none lost between them.
    const std::vector<std::string> recs = records(log);
    const auto header = std::find(recs.begin(), recs.end(), kLogHeader);
    ASSERT_NE(header, recs.end());
    std::size_t n = 0;
    for (auto r = header + 1; r != recs.end() && r->size() == 35; ++r) {
      ++n;
      const std::string number = n <= 99999 ? std::to_string(n) : "*****";
      ASSERT_EQ(r->substr(0, 5), std::string(5 - number.size(), ' ') + number) << "point " << n;
    }
    EXPECT_GT(n, 0u);
  }
}

}  // namespace
}  // namespace kv::test
