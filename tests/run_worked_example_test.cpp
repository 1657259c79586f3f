// The whole run on the small worked firing: five points, It = 4 N s, Fmed = 10 N, class
// B10. The expected files in tests/golden/ were built record by record from the
// layouts of the run log, the summary report and the curve table.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "run_fixture.h"

using namespace kv;
using namespace kv::test;

namespace {

const std::vector<std::string> kBaseCommands = {
    "Notepad kalvorestine_2p0_dados_geral.txt", "notepad caso1.txt", "Notepad teste1_saida_A.txt"};

template <class Run>
void expect_golden_outputs(const Run& d) {
  EXPECT_EQ(d.get("teste1_saida_H.txt"), golden("worked_example_saida_H.txt"));
  EXPECT_EQ(d.get("teste1_saida_A.txt"), golden("worked_example_saida_A.txt"));
  EXPECT_EQ(d.get("teste1_saida_B.txt"), golden("worked_example_saida_B.txt"));
}

TEST(WorkedExample, WritesTheExpectedFilesAndLaunchesTheEditor) {
  // The real program, end to end.
  RunDir d;
  d.setup(CaseFile{});
  d.record_commands();
  const Outcome r = d.run();
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "");
  expect_golden_outputs(d);
  EXPECT_EQ(d.commands(), kBaseCommands);
  EXPECT_FALSE(d.has(kPlotScript));  // graf = 0: the script is never opened
}

TEST(WorkedExample, ReplacesLongerResultFilesOfAnEarlierRun) {
  ScriptedRun d;
  d.setup(CaseFile{});
  const std::string old(200000, 'x');
  for (const char* name : {"teste1_saida_H.txt", "teste1_saida_A.txt", "teste1_saida_B.txt"}) d.put(name, old);
  EXPECT_EQ(d.run().status, 0u);
  expect_golden_outputs(d);
  // A second run over its own files gives the same files again.
  EXPECT_EQ(d.run().status, 0u);
  expect_golden_outputs(d);
}

// Ways of writing the same inputs that must not change a byte of the results.
struct SameInputs {
  const char* what;
  const char* general;  // general data file
  CaseFile c;
  const char* samples;
};

CaseFile with_blank_lines_and_commas() {
  CaseFile c;
  c.original = "\r\n   \r\n'celula.txt', nome do arquivo";
  c.ti = "\t\r\n0.0, ti (s)";
  c.tf = "4.0E-1 tf";
  c.Fcor = "0";
  c.M = "1.0d-2 M (kg)";
  c.w = "10.9 w (Hz): a real is cut to its integer part";
  c.nmax = "1.0E2";
  c.caso = "  'teste1'  , caso";
  c.titulo = "\r\n\"Motor de teste\" titulo";
  return c;
}
CaseFile with_leading_blanks_in_names() {
  CaseFile c;
  c.original = "'   celula.txt   '";
  c.caso = "'   teste1   '";
  c.titulo = "'  Motor de teste  '";
  return c;
}

TEST(WorkedExample, SameResultsWhateverTheWayTheInputsAreWritten) {
  const SameInputs cases[] = {
      {"plain", "caso1.txt\r\n", CaseFile{}, nullptr},
      {"general data after blank records, LF only", "\n   \n  caso1.txt outros casos: caso2.txt\nnotas\n", CaseFile{},
       nullptr},
      {"blank lines, commas, exponents and quotes in the case file", "'caso1.txt'\r\n", with_blank_lines_and_commas(),
       nullptr},
      {"leading and trailing blanks inside quoted names", "caso1.txt\r\n", with_leading_blanks_in_names(), nullptr},
      {"samples split, spread and padded", "caso1.txt\r\n", CaseFile{},
       "\r\n-0.1\r\n0\r\n  0.0,0\r\n\r\n0.1\t10 0.15 99\r\n0.2\r\n\r\n20\r\n.3 1.0E1\r\n4E-1 0 x y\r\n0.5 0\r\nabc"},
      {"last record without its line end", "caso1.txt", CaseFile{},
       "-0.1 0\n0.0 0\n0.1 10\n0.2 20\n0.3 10\n0.4 0\n0.5 0"},
  };
  for (const SameInputs& c : cases) {
    SCOPED_TRACE(c.what);
    ScriptedRun d;
    d.setup(c.c, c.samples ? std::string_view(c.samples) : kWorkedExampleSamples);
    d.put(kGeneralData, c.general);
    const ScriptedOutcome r = d.run();
    EXPECT_EQ(r.status, 0u);
    EXPECT_EQ(r.err, "");
    expect_golden_outputs(d);
  }
}

// The three switches are on only when they equal 1: every pair of graf and abreB among
// 0, 1 and 2, and -1.
struct Switches {
  int toB, graf, abreB;
};

TEST(WorkedExample, SwitchesActOnlyWhenOne) {
  const Switches cases[] = {{0, 0, 0}, {1, 0, 1}, {2, 0, 2}, {0, 1, 0}, {1, 1, 1},
                            {2, 1, 2}, {-1, 2, 0}, {0, 2, 1}, {1, 2, 2}, {-1, -1, -1}};
  // The same firing at ti = 2.5 s, so that original and corrected times differ.
  const std::string samples = "2.4 0\r\n2.5 0\r\n2.6 10\r\n2.7 20\r\n2.8 10\r\n2.9 0\r\n3.0 0\r\n3.1 5\r\n";
  for (const Switches& sw : cases) {
    SCOPED_TRACE("toB " + std::to_string(sw.toB) + " graf " + std::to_string(sw.graf) + " abreB " +
                 std::to_string(sw.abreB));
    ScriptedRun d;
    CaseFile c;
    c.ti = "2.5";
    c.tf = "2.9";
    c.toB = std::to_string(sw.toB);
    c.graf = std::to_string(sw.graf);
    c.abreB = std::to_string(sw.abreB);
    d.setup(c, samples, kPlotHead);
    const ScriptedOutcome r = d.run();
    ASSERT_EQ(r.status, 0u) << r.err;
    EXPECT_EQ(r.err, "");

    std::vector<std::string> expected = {kBaseCommands[0], kBaseCommands[1]};
    if (sw.graf == 1) expected.push_back("Wgnuplot kalvorestine_2p0_curva_F-t.gnu");
    expected.push_back(kBaseCommands[2]);
    if (sw.abreB == 1) expected.push_back("Notepad teste1_saida_B.txt");
    EXPECT_EQ(d.commands(), expected);

    const auto log = d.recs("teste1_saida_H.txt");
    const bool plotted = std::find(log.begin(), log.end(), kLogPlot) != log.end();
    EXPECT_EQ(plotted, sw.graf == 1);
    EXPECT_EQ(log.size(), sw.graf == 1 ? 32u + 5u : 31u + 5u);
    ASSERT_GE(log.size(), 3u);
    EXPECT_EQ(log[log.size() - 2], sw.graf == 1 ? kLogPlot : kLogWritingB);
    EXPECT_EQ(log.back(), kLogLast);
    // The plot script is not even opened unless graf = 1.
    if (sw.graf == 1) {
      EXPECT_EQ(d.get(kPlotScript), kPlotHead + "set title 'Motor de teste'\r\nplot 'teste1_saida_B.txt' using 1:2 notitle\r\n");
    } else {
      EXPECT_EQ(d.get(kPlotScript), kPlotHead);
    }

    // The echo lines always show corrected times; the table shows original ones for toB = 1.
    EXPECT_EQ(log[12], "    1      0.0000000  0.0000000E+00");
    EXPECT_EQ(log[16], "    5      0.4000000  0.0000000E+00");
    const auto table = d.recs("teste1_saida_B.txt");
    ASSERT_EQ(table.size(), 8u + 5u);
    const char* first[] = {"   0.0000000", "   0.1000000", "   0.2000000", "   0.3000000", "   0.4000000"};
    const char* shifted[] = {"   2.5000000", "   2.6000000", "   2.7000000", "   2.8000000", "   2.9000000"};
    for (std::size_t i = 0; i < 5; ++i) {
      EXPECT_EQ(table[8 + i].substr(0, 12), sw.toB == 1 ? shifted[i] : first[i]);
      EXPECT_EQ(table[8 + i].size(), 72u);
    }
  }
}

}  // namespace
