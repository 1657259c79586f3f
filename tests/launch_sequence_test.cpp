// The launches of a whole run, end to end: which commands, in which order, with which
// file names, what the launched programs find in the files, and that nothing a launch
// does (or fails to do) changes the run.
#include <ostream>
#include <string>
#include <vector>

#include "launch_test_fixture.h"

namespace {

using namespace kv::launch_test;

struct Switches {
  int graf;
  int abreB;
};

void PrintTo(const Switches& s, std::ostream* os) { *os << "graf " << s.graf << ", abreB " << s.abreB; }

class LaunchSequence : public ::testing::TestWithParam<Switches> {};

TEST_P(LaunchSequence, CommandsInOrder) {
  const auto [graf, abreB] = GetParam();
  Sandbox box;
  Case c;
  c.graf = graf;
  c.abreB = abreB;
  box.setup(c);
  box.record_programs();
  box.record_commands();
  const std::string script_before = box.get(kPlotScript);

  const Result r = box.run();
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "");

  std::vector<std::string> commands = {"Notepad kalvorestine_2p0_dados_geral.txt", "notepad caso.txt"};
  std::vector<std::string> launches = {"Notepad[kalvorestine_2p0_dados_geral.txt]", "notepad[caso.txt]"};
  if (graf == 1) {
    commands.push_back("Wgnuplot kalvorestine_2p0_curva_F-t.gnu");
    launches.push_back("Wgnuplot[kalvorestine_2p0_curva_F-t.gnu]");
  }
  commands.push_back("Notepad teste1_saida_A.txt");
  launches.push_back("Notepad[teste1_saida_A.txt]");
  if (abreB == 1) {
    commands.push_back("Notepad teste1_saida_B.txt");
    launches.push_back("Notepad[teste1_saida_B.txt]");
  }
  EXPECT_EQ(box.commands(), commands);
  EXPECT_EQ(box.launches(), launches);
  if (graf != 1) {
    EXPECT_EQ(box.get(kPlotScript), script_before);
  }
}

INSTANTIATE_TEST_SUITE_P(GrafAndAbreB, LaunchSequence,
                         ::testing::Values(Switches{0, 0}, Switches{0, 1}, Switches{0, 2}, Switches{1, 0},
                                           Switches{1, 1}, Switches{1, 2}, Switches{2, 0}, Switches{2, 1},
                                           Switches{2, 2}),
                         [](const auto& param_info) {
                           return "graf" + std::to_string(param_info.param.graf) + "_abreB" +
                                  std::to_string(param_info.param.abreB);
                         });

TEST(LaunchSequence, PlottingProgramFindsTheScriptAndTheRunLogUpToDate) {
  Sandbox box;
  box.setup(Case{});
  box.record_programs();
  ASSERT_EQ(box.run().status, 0);
  // The script is complete, and the run log, still open, holds every line so far.
  EXPECT_EQ(box.get("script_at_plot.gnu"), box.get(kPlotScript));
  const std::string log_at_plot = box.get("log_at_plot.txt");
  const std::string last_line = " vai come\xE7" "ar a gerar o gr\xE1" "fico de F-t.gnu\r\n";
  ASSERT_GE(log_at_plot.size(), last_line.size());
  EXPECT_EQ(log_at_plot.substr(log_at_plot.size() - last_line.size()), last_line);
  EXPECT_EQ(box.get("teste1_saida_H.txt").substr(0, log_at_plot.size()), log_at_plot);
}

TEST(LaunchSequence, CaseNameWithInnerAndLeadingBlanks) {
  Sandbox box;
  Case c;
  c.caso = "'  my  case'";
  box.setup(c);
  box.record_programs();
  box.record_commands();
  ASSERT_EQ(box.run().status, 0);
  const std::vector<std::string> commands = box.commands();
  ASSERT_EQ(commands.size(), 5u);
  EXPECT_EQ(commands[3], "Notepad my  case_saida_A.txt");
  EXPECT_EQ(commands[4], "Notepad my  case_saida_B.txt");
  // Passed without quotes, the name splits into words at its blanks.
  const std::vector<std::string> launches = box.launches();
  ASSERT_EQ(launches.size(), 5u);
  EXPECT_EQ(launches[3], "Notepad[my][case_saida_A.txt]");
  for (const char* file : {"my  case_saida_A.txt", "my  case_saida_B.txt", "my  case_saida_H.txt"})
    EXPECT_TRUE(box.has(file)) << file;
}

TEST(LaunchSequence, MissingProgramsChangeNothingInTheRun) {
  // Editors present but no plotting program; then nothing at all on PATH.
  for (const bool editors : {true, false}) {
    Sandbox box;
    box.setup(Case{});
    if (editors) box.record_programs(/*with_plotter=*/false);
    const Result r = box.run();
    EXPECT_EQ(r.status, 0) << r.err;
    if (editors) {
      EXPECT_EQ(box.launches(), (std::vector<std::string>{"Notepad[kalvorestine_2p0_dados_geral.txt]",
                                                          "notepad[caso.txt]", "Notepad[teste1_saida_A.txt]",
                                                          "Notepad[teste1_saida_B.txt]"}));
    }
    EXPECT_EQ(box.get(kPlotScript), head_records(6) + "set title 'Motor de teste'\r\nplot 'teste1_saida_B.txt' using 1:2 notitle\r\n");
    const std::string log = box.get("teste1_saida_H.txt");
    EXPECT_NE(log.find(" vai come\xE7" "ar a abrir os arquivos de sa\xED" "da\r\n"), std::string::npos);
    EXPECT_TRUE(box.has("teste1_saida_A.txt") && box.has("teste1_saida_B.txt"));
  }
}

TEST(LaunchSequence, InterpreterPathTooLongLaunchesNothing) {
  Sandbox box;
  box.setup(Case{});
  box.record_programs();
  box.set_env("COMSPEC", std::string(300, 'c'));
  const Result r = box.run();
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "");
  EXPECT_FALSE(box.has("launches.log"));
  EXPECT_TRUE(box.has("teste1_saida_A.txt") && box.has("teste1_saida_B.txt"));
  EXPECT_NE(box.get(kPlotScript).find("plot 'teste1_saida_B.txt'"), std::string::npos);
}

// Names from a case file that someone else may have written: each reaches the editor
// as one file name and runs nothing.
struct UnsafeName {
  const char* label;
  std::string written;  // as in the case parameter file
  std::string name;     // the case name it gives
};

void PrintTo(const UnsafeName& u, std::ostream* os) { *os << u.name; }

class LaunchUnsafeName : public ::testing::TestWithParam<UnsafeName> {};

TEST_P(LaunchUnsafeName, RunsNothingElse) {
  const UnsafeName& u = GetParam();
  Sandbox box;
  Case c;
  c.caso = u.written;
  box.setup(c);
  box.record_programs();
  box.record_commands();
  const Result r = box.run();
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(box.files_starting_with("pwned"), std::vector<std::string>{});
  const std::vector<std::string> launches = box.launches();
  ASSERT_EQ(launches.size(), 5u);
  EXPECT_EQ(launches[3], "Notepad[" + u.name + "_saida_A.txt]");
  EXPECT_EQ(launches[4], "Notepad[" + u.name + "_saida_B.txt]");
  EXPECT_TRUE(box.has(u.name + "_saida_A.txt"));
}

INSTANTIATE_TEST_SUITE_P(
    Names, LaunchUnsafeName,
    ::testing::Values(UnsafeName{"semicolon", "'x;touch pwned'", "x;touch pwned"},
                      UnsafeName{"ampersand", "'x&echo pwned'", "x&echo pwned"},
                      UnsafeName{"pipe", "'x|touch pwned'", "x|touch pwned"},
                      UnsafeName{"substitution", "'$(touch pwned)'", "$(touch pwned)"},
                      UnsafeName{"backquotes", "'`touch pwned`'", "`touch pwned`"},
                      UnsafeName{"apostrophe", "\"it's';touch pwned;'\"", "it's';touch pwned;'"}),
    [](const auto& param_info) { return std::string(param_info.param.label); });

TEST(LaunchUnsafeName, CaseFileNameRunsNothingElse) {
  Sandbox box;
  box.setup(Case{}, 6, "'c;touch pwned.txt'");
  box.record_programs();
  box.record_commands();
  const Result r = box.run();
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(box.files_starting_with("pwned"), std::vector<std::string>{});
  const std::vector<std::string> commands = box.commands();
  ASSERT_GE(commands.size(), 2u);
  EXPECT_EQ(commands[1], "notepad 'c;touch pwned.txt'");
  EXPECT_EQ(box.launches().at(1), "notepad[c;touch pwned.txt]");
  EXPECT_TRUE(box.has("teste1_saida_A.txt")) << "the case file was read";
}

}  // namespace
