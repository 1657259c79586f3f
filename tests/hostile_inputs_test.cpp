// Inputs that are not files to be read: a FIFO or a device in place of the general data
// file, the case parameter file, the load-cell record or the plot script. Each stops the
// run at its own step with message 30 naming it, instead of waiting for ever or reading
// without end; the files written before it stay whole.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>

#include "run_fixture.h"

namespace kv::test {
namespace {

struct NotAFile {
  const char* name;  // the input made a FIFO or a device
  int unit;
  bool results;      // the summary report and the curve table are written before it
};

const NotAFile kInputs[] = {
    {kGeneralData, 5, false},
    {"caso1.txt", 6, false},
    {"celula.txt", 8, false},
    {kPlotScript, 18, true},
};

// The run log's last record when the input stops the run; none exists before unit 8.
std::string expected_log_end(const NotAFile& r) { return r.unit == 8 ? kLogHeader : kLogPlot; }

TEST(NotARegularFile, EachInputStopsTheRunAtItsStepWithMessage30) {
  for (const NotAFile& r : kInputs) {
    SCOPED_TRACE(r.name);
    ScriptedRun run;
    CaseFile c;
    c.graf = "1";
    run.setup(c, kWorkedExampleSamples, kPlotHead);
    run.os.not_regular(r.name);
    const ScriptedOutcome o = run.run();
    EXPECT_EQ(o.status, io::severe_exit_status(30));
    EXPECT_EQ(o.err, run.severe_line(30, "open failure", r.unit, r.name));
    EXPECT_EQ(run.has("teste1_saida_H.txt"), r.unit == 8 || r.unit == 18);
    if (r.unit == 8 || r.unit == 18) {
      EXPECT_EQ(last_record(run.get("teste1_saida_H.txt")), expected_log_end(r));
    }
    EXPECT_EQ(run.has("teste1_saida_A.txt"), r.results);
    EXPECT_EQ(run.has("teste1_saida_B.txt"), r.results);
  }
}

TEST(NotARegularFile, AnOutputThatIsADeviceIsStillWritten) {
  // The outputs are only written: a device there is written to as before (a full disk
  // reported as such, a terminal shown), and the run completes.
  ScriptedRun run;
  run.setup(CaseFile{});
  run.put("teste1_saida_A.txt", "");
  run.os.not_regular("teste1_saida_A.txt");
  const ScriptedOutcome o = run.run();
  EXPECT_EQ(o.status, 0u) << o.err;
}

// The real system: FIFOs nobody writes to, and /dev/zero, which never ends.
TEST(NotARegularFile, RealFifosAndDevicesEndTheRunAtOnce) {
  for (const NotAFile& r : kInputs) {
    for (const bool fifo : {true, false}) {
      SCOPED_TRACE(std::string(r.name) + (fifo ? " as a FIFO" : " as /dev/zero"));
      RunDir d;
      CaseFile c;
      c.graf = "1";
      d.setup(c, kWorkedExampleSamples, kPlotHead);
      fs::remove(d.dir() / r.name);
      if (fifo)
        ASSERT_EQ(::mkfifo(d.path(r.name).c_str(), 0644), 0);
      else
        fs::create_symlink("/dev/zero", d.dir() / r.name);
      const Outcome o = d.run();
      ASSERT_FALSE(o.timed_out);
      EXPECT_EQ(o.status, severe_status(30));
      EXPECT_EQ(o.err, d.severe_line(30, "open failure", r.unit, r.name));
      if (r.unit == 8 || r.unit == 18) {
        EXPECT_EQ(last_record(d.get("teste1_saida_H.txt")), expected_log_end(r));
      }
      EXPECT_EQ(d.has("teste1_saida_A.txt"), r.results);
    }
  }
}

}  // namespace
}  // namespace kv::test
