// The run's results on small firings built for one behaviour each: the window, the
// cut-off, the impulse class and its designation, and non-finite values.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "analysis/impulse_class.h"
#include "run_fixture.h"

using namespace kv;
using namespace kv::test;

namespace {

const std::string kClassLabel = w<"   classe = classificação do motor =   ">();

// Two points one second apart with the same thrust a: It = a exactly, Fmed = a / tq.
template <class Run>
auto run_flat_pair(Run& d, const std::string& a) {
  CaseFile c;
  c.w = "1";
  c.tf = "1";
  c.Fcor = "-1000";
  c.nmax = "10";
  d.setup(c, "0 " + a + "\r\n1 " + a + "\r\n1000 0\r\n");
  return d.run();
}

// Every bound of the class table, from both sides: an interval excludes its lower bound
// and includes its upper one.
TEST(ImpulseClass, EveryBoundFromBothSides) {
  const char* const texts[] = {"1/8A", "1/4A", "1/2A", "A", "B", "C", "D", "E", "F",
                               "G",    "H",    "I",    "J", "K", "L", "M", "N"};
  double upper = 0.3125;
  for (std::size_t k = 0; k < std::size(texts); ++k, upper *= 2) {
    SCOPED_TRACE(upper);
    const double lower = upper / 2;
    EXPECT_EQ(impulse_class(upper), texts[k]);
    EXPECT_EQ(impulse_class(std::nextafter(upper, 1e9)), k + 1 < std::size(texts) ? texts[k + 1] : "");
    EXPECT_EQ(impulse_class(std::nextafter(lower, 1e9)), texts[k]);
    EXPECT_EQ(impulse_class((lower + upper) / 2), texts[k]);
  }
  EXPECT_EQ(upper, 40960.0);
  for (const double none : {0.0, -0.0, -1.0, 20480.001, 1e300, std::nan(""), std::numeric_limits<double>::infinity()})
    EXPECT_EQ(impulse_class(none), "") << none;
  EXPECT_EQ(impulse_class(std::nextafter(0.0, 1.0)), "1/8A");
}

// The class number: the mean thrust rounded to a whole number, halves away from zero;
// none for a value that is not finite or lies beyond 32 bits.
TEST(ImpulseClass, ClassNumber) {
  struct Case {
    double Fmed;
    std::optional<std::int32_t> number;
  };
  const Case cases[] = {
      {0.0, 0},          {0.4, 0},          {0.5, 1},           {-0.5, -1},          {2.5, 3},
      {12.5, 13},        {99.4, 99},        {99.5, 100},        {-9.5, -10},         {1450.2, 1450},
      {2147483647.4, 2147483647},           {-2147483648.4, -2147483647 - 1},        {2147483647.5, std::nullopt},
      {3e9, std::nullopt}, {std::numeric_limits<double>::infinity(), std::nullopt}, {std::nan(""), std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Fmed);
    std::int32_t n = 12345;
    EXPECT_EQ(class_number(c.Fmed, n), c.number.has_value());
    if (c.number) {
      EXPECT_EQ(n, *c.number);
    }
  }
}

// The designation as the summary report writes it: the class, cut after its last
// non-blank character, and the class number in I2, or in full when it needs more.
TEST(RunClass, DesignationInTheReport) {
  struct Case {
    const char* thrust;  // It and Fmed, N s and N
    const char* designation;
  };
  const Case cases[] = {
      {"0.3125", "1/8A 0"}, {"2.5000001", "B 3"}, {"160", "G160"},     {"20480", "N20480"},
      {"20480.001", "20480"},  // no class: nothing before the number
      {"0", " 0"},         {"-1", "-1"},         {"9.5", "C10"},      {"99.4", "G99"},
      {"99.5", "G100"},    {"1450.2", "K1450"},  {"-9", "-9"},        {"-9.5", "-10"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.thrust);
    ScriptedRun d;
    const ScriptedOutcome r = run_flat_pair(d, c.thrust);
    ASSERT_EQ(r.status, 0u) << r.err;
    EXPECT_EQ(r.err, "") << "no conversion error for a class number that is written whole";
    const std::string report = d.get("teste1_saida_A.txt");
    EXPECT_EQ(report.find('\0'), std::string::npos);
    const auto recs = records(report);
    ASSERT_EQ(recs.size(), 55u);
    EXPECT_EQ(recs[41], kClassLabel + c.designation);
  }
  // The same through the real program, once.
  RunDir d;
  const Outcome r = run_flat_pair(d, "1450.2");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(d.recs("teste1_saida_A.txt")[41], kClassLabel + "K1450");
}

TEST(RunClass, MeanThrustBeyondThirtyTwoBitsKeepsTheStars) {
  ScriptedRun d;
  const ScriptedOutcome r = run_flat_pair(d, "3e9");
  ASSERT_EQ(r.status, 0u);
  EXPECT_EQ(r.err, d.error_line(63, "output conversion error", 10, "teste1_saida_A.txt"));
  EXPECT_EQ(d.recs("teste1_saida_A.txt")[41], kClassLabel + "**");
}

// A burn time of zero: the mean thrust, and what is divided by it, are not finite.
TEST(RunClass, NonFiniteMeanThrustKeepsTheStarsAndReportsThem) {
  struct Case {
    const char* thrust;
    const char* M;
    const char* designation;
    const char* Fmed;    // E15.6 of Fmed
    const char* ratios;  // E15.6 of Fmax/Fmed and Fmin/Fmed
    const char* fm;      // E15.6 of fm in the run log
  };
  const Case cases[] = {
      {"5", "0.01", "B**", " Infinity      ", "   0.000000E+00", " Infinity      "},
      {"0", "0.01", "**", " NaN           ", " NaN           ", " Infinity      "},
      {"0", "0", "**", " NaN           ", " NaN           ", " NaN           "},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.thrust) + " N, M " + c.M);
    ScriptedRun d;
    CaseFile cf;
    cf.w = "1";
    cf.tf = "0";  // tf = ti
    cf.M = c.M;
    d.setup(cf, std::string("0 ") + c.thrust + "\r\n0.25 " + c.thrust + "\r\n1000 0\r\n");
    const ScriptedOutcome r = d.run();
    ASSERT_EQ(r.status, 0u) << r.err;
    EXPECT_EQ(r.err, d.error_line(63, "output conversion error", 10, "teste1_saida_A.txt"));
    const auto rep = d.recs("teste1_saida_A.txt");
    ASSERT_EQ(rep.size(), 55u);
    EXPECT_EQ(rep[37], w<"   Fmed   = empuxo médio (N) = ">() + c.Fmed);
    EXPECT_EQ(rep[39], "   tq     = tempo de queima (s) =   0.0000000E+00");
    EXPECT_EQ(rep[41], kClassLabel + c.designation);
    const std::string thrust = std::string(c.thrust) == "5" ? "   5.000000E+00" : "   0.000000E+00";
    EXPECT_EQ(rep[54], std::string(" F real [N] .....   ") + c.Fmed + "   " + thrust + "   " + thrust + "   " +
                           c.ratios + "   " + c.ratios);
    const auto log = d.recs("teste1_saida_H.txt");
    ASSERT_GT(log.size(), 15u);
    EXPECT_EQ(log[15], w<"fm  = fluxo de massa médio = M/tq (g/s) = ">() + c.fm);
  }
}

TEST(RunWindow, SamplesOnTheEdgesAndOutOfOrder) {
  // dt = 0.25 s, window 0.875 < t < 2.125: the edges themselves are outside; a sample
  // on the upper edge does not end the reading, the next one beyond it does.
  ScriptedRun d;
  CaseFile c;
  c.ti = "1";
  c.tf = "2";
  c.w = "4";
  d.setup(c, "0.875 1\r\n1.0 2\r\n0.5 9\r\n2.0 3\r\n2.125 4\r\n2.25 5\r\n1.5 6\r\n");
  ASSERT_EQ(d.run().status, 0u);
  const auto log = d.recs("teste1_saida_H.txt");
  ASSERT_EQ(log.size(), 31u + 2u);
  EXPECT_EQ(log[12], "    1      0.0000000  2.0000000E+00");
  EXPECT_EQ(log[13], "    2      0.2500000  3.0000000E+00");
  EXPECT_EQ(log[14], kLogReadDone);
  EXPECT_EQ(log[17], w<"tmin-ti = tempo corrigido do empuxo mínimo (s) =   0.0000000E+00">());
  EXPECT_EQ(log[20], w<"tmax-ti = tempo corrigido do empuxo máximo (s) =   1.0000000E+00">());
  EXPECT_EQ(log[21], w<"tmax    = tempo original do empuxo máximo (s)  =   2.0000000E+00">());
}

TEST(RunWindow, CutOffAndEarliestExtremes) {
  ScriptedRun d;
  CaseFile c;
  c.Fcor = "1.5";
  c.nmax = "20";
  d.setup(c, "0.0 0\r\n0.1 -3\r\n0.2 20\r\n0.3 20\r\n0.4 1.5\r\n0.5 0\r\n");
  ASSERT_EQ(d.run().status, 0u);
  const auto log = d.recs("teste1_saida_H.txt");
  ASSERT_EQ(log.size(), 31u + 5u);
  const char* thrusts[] = {"1.5000000E+00", "1.5000000E+00", "2.0000000E+01", "2.0000000E+01", "1.5000000E+00"};
  for (int i = 0; i < 5; ++i) EXPECT_EQ(log[12 + static_cast<std::size_t>(i)].substr(22), thrusts[i]);
  EXPECT_EQ(log[19], w<"Fmin = empuxo mínimo (N) =    1.500000E+00">());
  EXPECT_EQ(log[21], w<"tmin    = tempo original do empuxo mínimo (s)  =   0.0000000E+00">());
  EXPECT_EQ(log[22], w<"Fmax = empuxo máximo (N) =    2.000000E+01">());
  EXPECT_EQ(log[24], w<"tmax    = tempo original do empuxo máximo (s)  =   2.0000000E-01">());
}

// The extremes are thrusts of the curve even when every thrust lies above nmax (the
// starting minimum) or below zero (the starting maximum).
TEST(RunWindow, ExtremesAreAlwaysPointsOfTheCurve) {
  struct Case {
    const char* what;
    const char* Fcor;
    const char* samples;  // ti = 1, tf = 1.4, nmax = 100
    const char* Fmin;
    const char* tmin_corrected;
    const char* tmin;
    const char* Fmax;
    const char* tmax;
    const char* stats;  // the statistics row of the summary report
  };
  const Case cases[] = {
      {"all above nmax", "0", "1.0 150\r\n1.1 300\r\n1.2 200\r\n1.3 150\r\n1.4 250\r\n1.5 0\r\n", "1.500000E+02",
       "0.0000000E+00", "1.0000000E+00", "3.000000E+02", "1.1000000E+00",
       " F real [N] .....      2.125000E+02      3.000000E+02      1.500000E+02      1.411765E+00      7.058824E-01"},
      {"all below zero", "-50", "1.0 -10\r\n1.1 -5\r\n1.2 -20\r\n1.3 -5\r\n1.4 -80\r\n1.5 0\r\n", "-5.000000E+01",
       "4.0000000E-01", "1.4000000E+00", "-5.000000E+00", "1.1000000E+00",
       " F real [N] .....     -1.500000E+01     -5.000000E+00     -5.000000E+01      3.333333E-01      3.333333E+00"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ScriptedRun d;
    CaseFile cf;
    cf.ti = "1.0";
    cf.tf = "1.4";
    cf.Fcor = c.Fcor;
    d.setup(cf, c.samples);
    ASSERT_EQ(d.run().status, 0u);
    const auto log = d.recs("teste1_saida_H.txt");
    ASSERT_EQ(log.size(), 31u + 5u);
    auto field = [](const char* v, std::size_t width) { return std::string(width - std::strlen(v), ' ') + v; };
    EXPECT_EQ(log[19], w<"Fmin = empuxo mínimo (N) = ">() + field(c.Fmin, 15));
    EXPECT_EQ(log[20], w<"tmin-ti = tempo corrigido do empuxo mínimo (s) = ">() + field(c.tmin_corrected, 15));
    EXPECT_EQ(log[21], w<"tmin    = tempo original do empuxo mínimo (s)  = ">() + field(c.tmin, 15));
    EXPECT_EQ(log[22], w<"Fmax = empuxo máximo (N) = ">() + field(c.Fmax, 15));
    EXPECT_EQ(log[24], w<"tmax    = tempo original do empuxo máximo (s)  = ">() + field(c.tmax, 15));
    EXPECT_EQ(d.recs("teste1_saida_A.txt")[54], c.stats);
  }
}

TEST(RunWindow, DecimalCommasSplitTheNumbers) {
  // "0,1 10" is the time 0 and the thrust 1: every sample lands at time 0.
  ScriptedRun d;
  d.setup(CaseFile{}, "0,0 0\r\n0,1 10\r\n0,2 20\r\n1,0 0\r\n");
  ASSERT_EQ(d.run().status, 0u);
  const auto log = d.recs("teste1_saida_H.txt");
  ASSERT_EQ(log.size(), 31u + 3u);
  EXPECT_EQ(log[12], "    1      0.0000000  0.0000000E+00");
  EXPECT_EQ(log[13], "    2      0.1000000  1.0000000E+00");
  EXPECT_EQ(log[14], "    3      0.2000000  2.0000000E+00");
  EXPECT_EQ(log[22], w<"tmax    = tempo original do empuxo máximo (s)  =   0.0000000E+00">());
}

TEST(RunWindow, OnePointGivesOneTableRecord) {
  ScriptedRun d;
  d.setup(CaseFile{}, "0.0 5\r\n0.5 0\r\n");
  const ScriptedOutcome r = d.run();
  ASSERT_EQ(r.status, 0u);
  EXPECT_EQ(r.err, "");
  const auto table = d.recs("teste1_saida_B.txt");
  ASSERT_EQ(table.size(), 9u);
  // It = 0: the consumed mass is 0/0.
  EXPECT_EQ(table[8], "   0.0000000   5.000000E+00   0.000000E+00   0.000000E+00 NaN           ");
  EXPECT_EQ(d.recs("teste1_saida_A.txt")[41], kClassLabel + " 0");
}

TEST(RunWindow, ZeroFrequencyAcceptsEverySampleUntilTheFileEnds) {
  ScriptedRun d;
  CaseFile c;
  c.w = "0";
  d.setup(c, "0 1\r\n5 2\r\n-3 4\r\n");
  const ScriptedOutcome r = d.run();
  EXPECT_EQ(r.status, io::severe_exit_status(24));
  EXPECT_EQ(r.err, d.severe_line(24, "end-of-file during read", 8, "celula.txt"));
  const auto log = d.recs("teste1_saida_H.txt");
  ASSERT_EQ(log.size(), 12u + 3u);
  EXPECT_EQ(log[12], "    1    NaN          1.0000000E+00");
  EXPECT_EQ(log[13], "    2    Infinity     2.0000000E+00");
  EXPECT_EQ(log[14], "    3    Infinity     4.0000000E+00");
}

}  // namespace

namespace {

TEST(RunTable, OriginalTimesTooWideForTheFieldAreStarredAndTheTableCompleted) {
  ScriptedRun d;
  CaseFile c;
  c.ti = "10000";
  c.tf = "10000.2";
  c.toB = "1";
  d.setup(c, "9999.9 1\r\n10000.0 2\r\n10000.1 3\r\n10000.2 4\r\n10000.3 5\r\n");
  const ScriptedOutcome r = d.run();
  ASSERT_EQ(r.status, 0u);
  const std::string line = d.error_line(63, "output conversion error", 20, "teste1_saida_B.txt");
  EXPECT_EQ(r.err, line + line + line);
  const auto table = d.recs("teste1_saida_B.txt");
  ASSERT_EQ(table.size(), 8u + 3u);
  EXPECT_EQ(table[8], "************   2.000000E+00   0.000000E+00   0.000000E+00   0.000000E+00");
  EXPECT_EQ(table[10].substr(0, 27), "************   4.000000E+00");
  // The run log shows corrected times, which fit.
  EXPECT_EQ(d.recs("teste1_saida_H.txt")[14], "    3      0.2000000  4.0000000E+00");
}

}  // namespace
