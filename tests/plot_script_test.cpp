// The plot script's update, end to end: the user's six head records kept byte for byte,
// the title and plot records written after them, the rest cut off, quotation that
// gnuplot reads back as typed, and a missing or short script.
#include <cstdlib>
#include <string>
#include <vector>

#include "launch_test_fixture.h"
#include "output/plot_script.h"

namespace {

using namespace kv::launch_test;

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
    Sandbox box;
    box.setup(Case{}, std::nullopt);
    box.put(kPlotScript, c.before);
    box.record_programs();
    ASSERT_EQ(box.run().status, 0) << c.label;
    // The head is everything up to the end of the sixth line.
    std::size_t end = 0;
    for (int i = 0; i < 6; ++i) end = c.before.find('\n', end) + 1;
    EXPECT_EQ(box.get(kPlotScript), c.before.substr(0, end) + tail("Motor de teste", "teste1_saida_B.txt"))
        << c.label;
  }
}

TEST(PlotScript, SecondRunLeavesTheSameFile) {
  Sandbox box;
  box.setup(Case{}, 12);
  box.record_programs();
  ASSERT_EQ(box.run().status, 0);
  const std::string first = box.get(kPlotScript);
  ASSERT_EQ(box.run().status, 0);
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
    Sandbox box;
    Case cs;
    cs.caso = c.caso;
    cs.titulo = c.titulo;
    box.setup(cs);
    box.record_programs();
    ASSERT_EQ(box.run().status, 0) << c.caso;
    EXPECT_EQ(box.get(kPlotScript), head_records(6) + c.expected) << c.caso;
  }
}

TEST(PlotScript, ApostrophesAreDoubledInsideTheQuotes) {
  EXPECT_EQ(kv::gnuplot_quoted_text("it's"), "it''s");
  EXPECT_EQ(kv::gnuplot_quoted_text("''"), "''''");
  EXPECT_EQ(kv::gnuplot_quoted_text("sem aspas `x` @y \"z\""), "sem aspas `x` @y \"z\"");

  Sandbox box;
  Case c;
  c.caso = "\"o'neil\"";
  c.titulo = "\"it's'; system 'touch pwned\"";
  box.setup(c);
  box.record_programs();
  ASSERT_EQ(box.run().status, 0);
  EXPECT_EQ(box.get(kPlotScript),
            head_records(6) + tail("it''s''; system ''touch pwned", "o''neil_saida_B.txt"));
}

TEST(PlotScript, GnuplotReadsTheTitleAndTheTableNameAsTyped) {
  if (std::system("command -v gnuplot >/dev/null 2>&1") != 0) GTEST_SKIP() << "gnuplot is not installed";
  Sandbox box;
  Case c;
  c.caso = "\"o'neil\"";
  c.titulo = "\"it's'; system 'touch pwned\"";
  box.setup(c, std::nullopt);
  box.put(kPlotScript, "set terminal dumb\r\nset output 'plot.txt'\r\nset grid\r\n#\r\n#\r\n#\r\n");
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
    Sandbox box;
    box.setup(Case{}, head);
    box.record_programs();
    const Result r = box.run();
    EXPECT_EQ(r.status, 24) << "the low byte of the status C0000018 (hex)";
    EXPECT_EQ(r.err, "forrtl: severe (24): end-of-file during read, unit 18, file " + box.path(kPlotScript) + "\n");
    // A missing script stays behind empty; a short one as it was.
    EXPECT_EQ(box.get(kPlotScript), head_records(head.value_or(0)));
    // Nothing after the failed read: no plot, no editor on the results.
    EXPECT_EQ(box.launches(), (std::vector<std::string>{"Notepad[kalvorestine_2p0_dados_geral.txt]", "notepad[caso.txt]"}));
    const std::string log = box.get("teste1_saida_H.txt");
    const std::string last_line = " vai come\xE7" "ar a gerar o gr\xE1" "fico de F-t.gnu\r\n";
    ASSERT_GE(log.size(), last_line.size());
    EXPECT_EQ(log.substr(log.size() - last_line.size()), last_line);
    EXPECT_TRUE(box.has("teste1_saida_A.txt") && box.has("teste1_saida_B.txt"));
  }
}

}  // namespace
