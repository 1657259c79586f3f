// A realistic firing: 100,000 samples at 10 kHz, with a ramp, a noisy plateau and a
// tail, read into arrays of exactly the window's size.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "run_fixture.h"

using namespace kv;
using namespace kv::test;

namespace {

std::string realistic_samples() {
  std::string s;
  char line[64];
  unsigned noise = 12345;
  for (int k = -300; k <= 100200; ++k) {
    const double t = k / 10000.0;
    double F = 0.0;
    if (t > 0.0 && t < 0.3) F = 190.0 * t / 0.3;
    else if (t >= 0.3 && t < 8.0) F = 160.0 + 5.0 * std::sin(t * 7.0);
    else if (t >= 8.0) F = 160.0 * std::exp(-(t - 8.0) * 2.5);
    noise = noise * 1103515245u + 12345u;
    F += (static_cast<double>((noise >> 16) & 0x3FF) - 512.0) / 512.0 * 0.8 - 0.2;
    std::snprintf(line, sizeof line, "%.4f\t%.5f\r\n", t, F);
    s += line;
  }
  return s;
}

TEST(RunLarge, HundredThousandSamples) {
  ScriptedRun d;
  CaseFile c;
  c.tf = "9.9999";
  c.w = "10000";
  c.nmax = "100000";
  c.M = "0.75";
  c.graf = "1";
  c.caso = "ensaio_longo";
  d.setup(c, realistic_samples());
  d.put(kPlotScript, kPlotHead);
  const ScriptedOutcome r = d.run();
  ASSERT_EQ(r.status, 0u) << r.err;
  // Point 100000 does not fit the five columns of its echo line: one conversion error.
  EXPECT_EQ(r.err, d.error_line(63, "output conversion error", 80, "ensaio_longo_saida_H.txt"));

  constexpr std::size_t nc = 100000;
  const auto table = d.recs("ensaio_longo_saida_B.txt");
  ASSERT_EQ(table.size(), 8 + nc);
  for (std::size_t i = 0; i < 8; ++i) EXPECT_EQ(table[i][0], '#');
  const auto log = d.recs("ensaio_longo_saida_H.txt");
  ASSERT_EQ(log.size(), 32 + nc);

  // Every point appears in both files with the same time, on the same 0.1 ms grid.
  std::size_t bad = 0;
  for (std::size_t i = 0; i < nc; ++i) {
    const std::string& rec = table[8 + i];
    const std::string& echo = log[12 + i];
    if (rec.size() != 72 || echo.size() != 35 || echo.substr(8, 12) != rec.substr(0, 12)) ++bad;
  }
  EXPECT_EQ(bad, 0u);
  EXPECT_EQ(table[8].substr(0, 12), "   0.0000000");
  EXPECT_EQ(table[8 + nc - 1].substr(0, 12), "   9.9999000");
  EXPECT_EQ(log[12 + nc - 2].substr(0, 5), "99999");
  EXPECT_EQ(log[12 + nc - 1].substr(0, 8), "*****   ");
  // The consumed mass ends at the whole propellant mass, and starts at zero.
  EXPECT_EQ(table[8].substr(57), "   0.000000E+00");
  EXPECT_EQ(table[8 + nc - 1].substr(57), "   7.500000E+02");

  const auto rep = d.recs("ensaio_longo_saida_A.txt");
  ASSERT_EQ(rep.size(), 55u);
  EXPECT_EQ(rep[28].substr(59), "  100000");
  EXPECT_EQ(rep[29].substr(47), "100000");
  // About 160 N over 10 s: a class K motor with a mean thrust of some 130 N.
  const std::string classe = rep[41].substr(39);
  EXPECT_EQ(classe.size(), 4u);
  EXPECT_EQ(classe[0], 'K');
}

}  // namespace
