// Wherever the reading of a long load-cell file stops, the run log holds the echo line of
// every point accepted before, in order, and nothing more.
#include <cstdio>
#include <string>

#include <gtest/gtest.h>

#include "run_fixture.h"

using namespace kv::test;

namespace {

// Samples every 1 ms from 0 to count - 1 ms, thrust rising by 0.001 N per sample.
std::string samples(int count, const std::string& tail) {
  std::string s;
  char buf[64];
  for (int i = 0; i < count; ++i) {
    std::snprintf(buf, sizeof buf, "%d.%03d\t%d.%03d\r\n", i / 1000, i % 1000, i / 1000, i % 1000);
    s += buf;
  }
  return s + tail;
}

std::string echo_of(int n) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%5d   %4d.%03d0000  %d.%07dE%+03d", n, (n - 1) / 1000, (n - 1) % 1000, 0, 0, 0);
  return buf;
}

TEST(RunEchoLines, EveryAcceptedLineIsInTheLogWhereverTheReadingStops) {
  struct Case {
    const char* what;
    int points;        // samples inside the window before the reading stops
    std::string tail;  // what follows them in the file
    std::string nmax;
    int status;
  };
  const Case cases[] = {
      {"file ends inside the window, one short of a batch", 8191, "", "100000", 24},
      {"file ends inside the window, on a batch", 8192, "", "100000", 24},
      {"file ends inside the window, past two batches", 16385, "", "100000", 24},
      {"a value the short path leaves to the full rules, then a bad one", 20000, "1D0 5\r\nabc 1\r\n", "100000", 59},
      {"more points than the arrays hold", 24580, "", "24577", 408 & 0xFF},
      {"window closed by a later sample", 9000, "999 0\r\n", "100000", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ScriptedRun d;
    CaseFile cf;
    cf.tf = "500                       tf (s)";
    cf.w = "1000                      w (Hz)";
    cf.nmax = c.nmax + "                    nmax";
    d.setup(cf, samples(c.points, c.tail));
    const ScriptedOutcome r = d.run();
    EXPECT_EQ(r.status & 0xFFu, static_cast<unsigned>(c.status)) << r.err;
    const auto log = d.recs("teste1_saida_H.txt");
    // Banner (7) and five progress lines come before the first echo line.
    const int accepted = c.status == (408 & 0xFF) ? 24577 : c.points + (c.tail.rfind("1D0", 0) == 0 ? 1 : 0);
    ASSERT_GE(log.size(), static_cast<std::size_t>(12 + accepted));
    if (c.status != 0) {
      EXPECT_EQ(log.size(), static_cast<std::size_t>(12 + accepted));
    }
    int bad = 0;
    for (int n = 1; n <= accepted && n <= c.points; ++n)
      if (log[static_cast<std::size_t>(11 + n)].substr(0, 20) != echo_of(n).substr(0, 20)) ++bad;
    EXPECT_EQ(bad, 0);
    if (c.status == 0) {
      EXPECT_EQ(log[static_cast<std::size_t>(12 + accepted)],
                " Terminou a leitura de t e F do arquivo original da c\xE9lula de carga");
    }
  }
}

}  // namespace
