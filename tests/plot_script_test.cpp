// The plot script's update, end to end: the user's six head records kept byte for byte,
// the title and plot records written after them, the rest cut off, quotation that
// gnuplot reads back as typed, and a missing or short script.
#include <cstdlib>
#include <string>
#include <vector>

#include "output/plot_script.h"
#include "run_fixture.h"

namespace {

using namespace kv::test;

CaseFile plotted(std::string caso = "teste1", std::string titulo = "'Motor de teste'") {
  CaseFile c;
  c.graf = "1";
  c.caso = std::move(caso);
  c.titulo = std::move(titulo);
  return c;
}

std::string tail(const std::string& title, const std::string& table) {
  return "set title '" + title + "'\r\nplot '" + table + "' using 1:2 notitle\r\n";
}

TEST(PlotScript, HeadIsKeptAndTheRestReplaced) {
  const struct {
    const char* label;
    std::string before;
  } cases[] = {
      {"six records", head_records(6)},
      {"twenty records", head_records(20)},
      {"eight records of an earlier run", head_records(6) + tail("Outro", "outro_saida_B.txt")},
      {"head with LF only, blanks and odd bytes",
       "set terminal pngcairo\n\r\n   \r\nset output 'x.png'  \r\n\t# \xE7\xE3o\r\nset grid\r\nold 7\r\n"},
  };
  for (const auto& c : cases) {
    ScriptedRun box;
    box.setup(plotted(), kWorkedExampleSamples, c.before);
    ASSERT_EQ(box.run().status, 0u) << c.label;
    // The head is everything up to the end of the sixth line.
    std::size_t end = 0;
    for (int i = 0; i < 6; ++i) end = c.before.find('\n', end) + 1;
    EXPECT_EQ(box.get(kPlotScript), c.before.substr(0, end) + tail("Motor de teste", "teste1_saida_B.txt"))
        << c.label;
  }
}

TEST(PlotScript, SecondRunLeavesTheSameFile) {
  ScriptedRun box;
  box.setup(plotted(), kWorkedExampleSamples, head_records(12));
  ASSERT_EQ(box.run().status, 0u);
  const std::string first = box.get(kPlotScript);
  ASSERT_EQ(box.run().status, 0u);
  EXPECT_EQ(box.get(kPlotScript), first);
  EXPECT_EQ(first, head_records(6) + tail("Motor de teste", "teste1_saida_B.txt"));
}

TEST(PlotScript, TitleAndCaseNameTrimmedWithInnerBlanksKept) {
  const struct {
    std::string caso, titulo, expected;
  } cases[] = {
      {"' teste1'", "'  Ensaio 3  '", tail("Ensaio 3", "teste1_saida_B.txt")},
      {"'  meu  caso '", "'Motor   de teste'", tail("Motor   de teste", "meu  caso_saida_B.txt")},
      {"teste1", "'   '", tail("", "teste1_saida_B.txt")},
  };
  for (const auto& c : cases) {
    ScriptedRun box;
    box.setup(plotted(c.caso, c.titulo), kWorkedExampleSamples, head_records(6));
    ASSERT_EQ(box.run().status, 0u) << c.caso;
    EXPECT_EQ(box.get(kPlotScript), head_records(6) + c.expected) << c.caso;
  }
}

TEST(PlotScript, ApostrophesAreDoubledInsideTheQuotes) {
  EXPECT_EQ(kv::gnuplot_quoted_text("it's"), "it''s");
  EXPECT_EQ(kv::gnuplot_quoted_text("''"), "''''");
  EXPECT_EQ(kv::gnuplot_quoted_text("sem aspas `x` @y \"z\""), "sem aspas `x` @y \"z\"");

  ScriptedRun box;
  box.setup(plotted("\"o'neil\"", "\"it's'; system 'touch pwned\""), kWorkedExampleSamples, head_records(6));
  ASSERT_EQ(box.run().status, 0u);
  EXPECT_EQ(box.get(kPlotScript),
            head_records(6) + tail("it''s''; system ''touch pwned", "o''neil_saida_B.txt"));
}

TEST(PlotScript, GnuplotReadsTheTitleAndTheTableNameAsTyped) {
  if (std::system("command -v gnuplot >/dev/null 2>&1") != 0) GTEST_SKIP() << "gnuplot is not installed";
  RunDir box;
  box.setup(plotted("\"o'neil\"", "\"it's'; system 'touch pwned\""), kWorkedExampleSamples,
            "set terminal dumb\r\nset output 'plot.txt'\r\nset grid\r\n#\r\n#\r\n#\r\n");
  box.record_programs();
  box.script(box.dir() / "bin" / "Wgnuplot",
             "exec gnuplot -e \"load '$1'; show title\" 2>gnuplot_said.txt\n");
  ASSERT_EQ(box.run().status, 0);
  const std::string said = box.get("gnuplot_said.txt");
  EXPECT_NE(said.find("title is \"it's'; system 'touch pwned\""), std::string::npos) << said;
  EXPECT_EQ(said.find("arning"), std::string::npos) << said;
  EXPECT_GT(box.get("plot.txt").size(), 100u) << "gnuplot plotted the curve table";
  EXPECT_EQ(box.files_starting_with("pwned"), std::vector<std::string>{});
}

TEST(PlotScript, MissingOrShortScriptEndsTheRunWithMessage24) {
  for (const std::optional<int> head : {std::optional<int>{}, std::optional<int>{0}, std::optional<int>{5}}) {
    SCOPED_TRACE(head ? std::to_string(*head) + " records" : "missing");
    ScriptedRun box;
    box.setup(plotted(), kWorkedExampleSamples);
    if (head) box.put(kPlotScript, head_records(*head));
    const ScriptedOutcome r = box.run();
    EXPECT_EQ(r.status, kv::io::severe_exit_status(24));
    EXPECT_EQ(r.err, box.severe_line(24, "end-of-file during read", 18, kPlotScript));
    // A missing script stays behind empty; a short one as it was.
    EXPECT_TRUE(box.has(kPlotScript));
    EXPECT_EQ(box.get(kPlotScript), head_records(head.value_or(0)));
    // Nothing after the failed read: no plot, no editor on the results.
    EXPECT_EQ(box.commands(), (std::vector<std::string>{"Notepad kalvorestine_2p0_dados_geral.txt", "notepad caso1.txt"}));
    EXPECT_EQ(last_record(box.get("teste1_saida_H.txt")), kLogPlot);
    // Both result files are complete.
    EXPECT_EQ(box.get("teste1_saida_A.txt"), golden("worked_example_saida_A.txt"));
    EXPECT_EQ(box.get("teste1_saida_B.txt"), golden("worked_example_saida_B.txt"));
  }
}

}  // namespace
