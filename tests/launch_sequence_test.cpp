// The launches of a whole run through the real shell, end to end: the file names the
// launched programs get, what they find in the files, and that nothing a launch does (or
// fails to do) changes the run. Which commands a run launches, and in which order, is
// tested in process with the switches (run_worked_example_test.cpp).
#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

#include "run_fixture.h"

namespace {

using namespace kv::test;

// Plot and open both result files: every launch a run has.
CaseFile all_launches() {
  CaseFile c;
  c.graf = "1";
  c.abreB = "1";
  return c;
}

TEST(LaunchSequence, PlottingProgramFindsTheScriptAndTheRunLogUpToDate) {
  RunDir box;
  box.setup(all_launches(), kWorkedExampleSamples, head_records(6));
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
  RunDir box;
  CaseFile c = all_launches();
  c.caso = "'  my  case'";
  box.setup(c, kWorkedExampleSamples, head_records(6));
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

TEST(LaunchSequence, ProgramsTheUserLacksAreTheStandInsBesideTheProgram) {
  // The user's Notepad and notepad come first; Wgnuplot, which the user lacks, is the
  // stand-in of the build tree, whose folder ends the PATH of every command.
  RunDir box;
  box.setup(all_launches(), kWorkedExampleSamples, head_records(6));
  box.record_programs(/*with_plotter=*/false);
  box.script(box.dir() / "bin" / "interpreter",
             "printf '%s|%s\\n' \"$2\" \"$PATH\" >> '" + box.path("paths.log") + "'\nexec /bin/sh -c \"$2\"\n");
  box.set_env("COMSPEC", box.path("bin/interpreter"));
  ASSERT_EQ(box.run().status, 0);
  const std::string standins =
      std::filesystem::canonical(KV_PROGRAM).parent_path().string() + "/tools/shims";
  ASSERT_TRUE(std::filesystem::is_regular_file(standins + "/Wgnuplot"));
  const std::string path = box.path("bin") + ":/usr/bin:/bin:" + standins;
  EXPECT_EQ(lines(box.get("paths.log")),
            (std::vector<std::string>{"Notepad kalvorestine_2p0_dados_geral.txt|" + path, "notepad caso1.txt|" + path,
                                      "Wgnuplot kalvorestine_2p0_curva_F-t.gnu|" + path,
                                      "Notepad teste1_saida_A.txt|" + path, "Notepad teste1_saida_B.txt|" + path}));
  EXPECT_EQ(box.launches(), (std::vector<std::string>{"Notepad[kalvorestine_2p0_dados_geral.txt]", "notepad[caso1.txt]",
                                                      "Notepad[teste1_saida_A.txt]", "Notepad[teste1_saida_B.txt]"}));
}

TEST(LaunchSequence, MissingProgramsChangeNothingInTheRun) {
  // Editors present but no plotting program of the user's, so that the stand-in plots
  // (or says that gnuplot is missing); then no program of the user's at all.
  for (const bool editors : {true, false}) {
    RunDir box;
    box.setup(all_launches(), kWorkedExampleSamples, head_records(6));
    box.record_programs(/*with_plotter=*/false);
    if (!editors) std::filesystem::remove_all(box.dir() / "bin");
    const Outcome r = box.run();
    EXPECT_EQ(r.status, 0) << r.err;
    if (editors) {
      EXPECT_EQ(box.launches(), (std::vector<std::string>{"Notepad[kalvorestine_2p0_dados_geral.txt]",
                                                          "notepad[caso1.txt]", "Notepad[teste1_saida_A.txt]",
                                                          "Notepad[teste1_saida_B.txt]"}));
    }
    EXPECT_EQ(box.get(kPlotScript), head_records(6) + "set title 'Motor de teste'\r\nplot 'teste1_saida_B.txt' using 1:2 notitle\r\n");
    const std::string log = box.get("teste1_saida_H.txt");
    EXPECT_NE(log.find(" vai come\xE7" "ar a abrir os arquivos de sa\xED" "da\r\n"), std::string::npos);
    EXPECT_TRUE(box.has("teste1_saida_A.txt") && box.has("teste1_saida_B.txt"));
  }
}

TEST(LaunchSequence, InterpreterPathTooLongLaunchesNothing) {
  RunDir box;
  box.setup(all_launches(), kWorkedExampleSamples, head_records(6));
  box.record_programs();
  box.set_env("COMSPEC", std::string(300, 'c'));
  const Outcome r = box.run();
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
  RunDir box;
  CaseFile c = all_launches();
  c.caso = u.written;
  box.setup(c, kWorkedExampleSamples, head_records(6));
  box.record_programs();
  box.record_commands();
  const Outcome r = box.run();
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
  RunDir box;
  box.setup(all_launches(), kWorkedExampleSamples, head_records(6), "'c;touch pwned.txt'");
  box.record_programs();
  box.record_commands();
  const Outcome r = box.run();
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(box.files_starting_with("pwned"), std::vector<std::string>{});
  const std::vector<std::string> commands = box.commands();
  ASSERT_GE(commands.size(), 2u);
  EXPECT_EQ(commands[1], "notepad 'c;touch pwned.txt'");
  EXPECT_EQ(box.launches().at(1), "notepad[c;touch pwned.txt]");
  EXPECT_TRUE(box.has("teste1_saida_A.txt")) << "the case file was read";
}

}  // namespace
