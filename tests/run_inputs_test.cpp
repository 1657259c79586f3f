// The run over odd or broken inputs: names with blanks, missing and short files, bad
// values, and sample arrays too small, empty or too large.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "run_fixture.h"

using namespace kv;
using namespace kv::test;

namespace {

struct Names {
  const char* what;
  std::string general;        // first record of the general data file
  std::string case_file;      // the name under which the case file is stored
  std::string original;       // the value as written in the case file
  std::string original_file;  // the name under which the load-cell file is stored
  std::string caso;           // as written
  std::string caso_trimmed;
  std::string titulo;  // as written
  std::string titulo_trimmed;
};

TEST(RunNames, QuotedUnquotedAndLongNamesGiveTheTrimmedFileNames) {
  const std::string c90 = "Ensaio " + std::string(83, 'C');                  // 90 characters
  const std::string t90 = "Motor de teste " + std::string(75, 'T');          // 90 characters
  const std::string orig60 = std::string(45, 'a') + std::string(15, 'b');    // cut to 50
  const Names cases[] = {
      {"blanks inside quoted names", "'caso um.txt'  nota", "caso um.txt", "'  dados da celula.txt'",
       "dados da celula.txt", "'  meu caso  '", "meu caso", "Motor de teste", "Motor"},
      {"empty case name and title", "caso1.txt", "caso1.txt", "celula.txt", "celula.txt", "''", "", "''", ""},
      {"90 characters, and more cut to 90; a file name cut to 50", "caso1.txt", "caso1.txt", orig60,
       orig60.substr(0, 50), "'" + c90 + "XYZ'", c90, "'" + t90 + "XYZ'", t90},
  };
  for (const Names& n : cases) {
    SCOPED_TRACE(n.what);
    RunDir d;
    CaseFile c;
    c.original = n.original;
    c.caso = n.caso;
    c.titulo = n.titulo;
    d.put(kGeneralData, n.general + "\r\n");
    d.put(n.case_file, c.text());
    d.put(n.original_file, kWorkedExampleSamples);
    d.record_launches();
    const RunResult r = d.run();
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    const std::string base = n.caso_trimmed + "_saida_";
    const std::string banner4 = "#  Caso   = " + n.caso_trimmed;
    const std::string banner6 = std::string("#  Título = "_w) + n.titulo_trimmed;
    for (const char* x : {"H", "A", "B"}) {
      const auto recs = d.recs(base + x + ".txt");
      ASSERT_GT(recs.size(), 7u);
      EXPECT_EQ(recs[3], banner4);
      EXPECT_EQ(recs[5], banner6);
    }
    const auto report = d.recs(base + "A.txt");
    EXPECT_EQ(report[12], "   original = nome do arquivo de dados originais de empuxo versus tempo = " +
                              fs::path(n.original_file).string());
    const std::vector<std::string> launches = {"Notepad kalvorestine_2p0_dados_geral.txt", "notepad " + n.case_file,
                                               "Notepad " + base + "A.txt"};
    EXPECT_EQ(lines(d.get("launches.txt")), launches);
    if (n.caso_trimmed.size() == 90) {
      EXPECT_EQ(banner4.size(), 102u);
      EXPECT_EQ(banner6.size(), 102u);
    }
  }
}

// A run that a severe diagnostic ends: which file is named, what is left behind.
struct Failure {
  const char* what;
  void (*prepare)(RunDir&);
  int number;
  const char* text;
  int unit;
  const char* file;
  std::string last_log_record;  // empty: no run log may exist
};

void missing_general(RunDir& d) {
  d.setup(CaseFile{});
  std::filesystem::remove(d.dir() / kGeneralData);
}
void missing_case(RunDir& d) {
  d.setup(CaseFile{});
  std::filesystem::remove(d.dir() / "caso1.txt");
}
void missing_load_cell(RunDir& d) {
  d.setup(CaseFile{});
  std::filesystem::remove(d.dir() / "celula.txt");
}
void eleven_values(RunDir& d) {
  CaseFile c;
  c.titulo = "";  // a blank record holds no value
  d.setup(c);
}
void name_one_record_early(RunDir& d) {
  CaseFile c;
  std::string text = c.text();
  text.erase(0, text.find('\n') + 1);  // no original: every value one record early
  d.setup(c);
  d.put("caso1.txt", text);
}
void text_for_a_real(RunDir& d) {
  CaseFile c;
  c.tf = "abc tf (s)";
  d.setup(c);
}
void sign_alone(RunDir& d) {
  CaseFile c;
  c.M = "-  M (kg)";
  d.setup(c);
}
void two_points(RunDir& d) {
  CaseFile c;
  c.Fcor = "1.2.3";
  d.setup(c);
}
void integer_too_large(RunDir& d) {
  CaseFile c;
  c.nmax = "99999999999";
  d.setup(c);
}
void integer_just_too_large(RunDir& d) {
  CaseFile c;
  c.w = "2147483648";
  d.setup(c);
}
void header_in_load_cell(RunDir& d) { d.setup(CaseFile{}, "tempo empuxo\r\n0.0 0\r\n"); }
void ends_inside_window(RunDir& d) { d.setup(CaseFile{}, "-0.1 0\r\n0.0 0\r\n0.1 10\r\n0.2 20\r\n0.3 10\r\n"); }
void ends_with_half_a_sample(RunDir& d) { d.setup(CaseFile{}, "-0.1 0\r\n0.0 0\r\n0.1 10\r\n0.2\r\n"); }
void no_plot_script(RunDir& d) {
  CaseFile c;
  c.graf = "1";
  d.setup(c);
}

const char* const kEof = "end-of-file during read";
const char* const kSyntax = "list-directed I/O syntax error";
const char* const kConversion = "input conversion error";

const Failure kFailures[] = {
    {"missing general data file", missing_general, 24, kEof, 5, "kalvorestine_2p0_dados_geral.txt", ""},
    {"missing case parameter file", missing_case, 24, kEof, 6, "caso1.txt", ""},
    {"eleven values", eleven_values, 24, kEof, 6, "caso1.txt", ""},
    {"file name one record too early", name_one_record_early, 59, kSyntax, 6, "caso1.txt", ""},
    {"text for a real", text_for_a_real, 59, kSyntax, 6, "caso1.txt", ""},
    {"sign with no digits", sign_alone, 59, kSyntax, 6, "caso1.txt", ""},
    {"two decimal points", two_points, 59, kSyntax, 6, "caso1.txt", ""},
    {"integer of eleven digits", integer_too_large, 64, kConversion, 6, "caso1.txt", ""},
    {"integer 2^31", integer_just_too_large, 64, kConversion, 6, "caso1.txt", ""},
    {"missing load-cell file", missing_load_cell, 24, kEof, 8, "celula.txt", "  ponto    t (s)      F (N)"},
    {"column titles in the load-cell file", header_in_load_cell, 59, kSyntax, 8, "celula.txt",
     "  ponto    t (s)      F (N)"},
    {"load-cell file ending inside the window", ends_inside_window, 24, kEof, 8, "celula.txt",
     "    4      0.3000000  1.0000000E+01"},
    {"load-cell file ending after a time", ends_with_half_a_sample, 24, kEof, 8, "celula.txt",
     "    2      0.1000000  1.0000000E+01"},
    {"missing plot script", no_plot_script, 24, kEof, 18, "kalvorestine_2p0_curva_F-t.gnu",
     w<" vai começar a gerar o gráfico de F-t.gnu">()},
};

TEST(RunFailures, EndWithTheDiagnosticAndLeaveTheFilesAsTheyStand) {
  for (const Failure& f : kFailures) {
    SCOPED_TRACE(f.what);
    RunDir d;
    f.prepare(d);
    const bool existed = d.has(f.file);
    const RunResult r = d.run();
    EXPECT_EQ(r.status, severe_status(f.number));
    EXPECT_EQ(r.err, d.severe_line(f.number, f.text, f.unit, f.file));
    EXPECT_EQ(r.out, "");
    if (!existed) {
      EXPECT_EQ(d.get(f.file), "") << "a missing input file is left behind empty";
    }
    if (f.last_log_record.empty()) {
      EXPECT_FALSE(d.has("teste1_saida_H.txt"));
    } else {
      const auto log = d.recs("teste1_saida_H.txt");
      ASSERT_FALSE(log.empty());
      EXPECT_EQ(log.back(), f.last_log_record);
    }
  }
}

TEST(RunFailures, PlotScriptFailureComesAfterBothResultFiles) {
  RunDir d;
  CaseFile c;
  c.graf = "1";
  d.setup(c);
  d.record_launches();
  const RunResult r = d.run();
  EXPECT_EQ(r.status, severe_status(24));
  EXPECT_EQ(d.recs("teste1_saida_H.txt").back(), w<" vai começar a gerar o gráfico de F-t.gnu">());
  EXPECT_EQ(d.get("teste1_saida_A.txt"), golden("worked_example_saida_A.txt"));
  EXPECT_EQ(d.get("teste1_saida_B.txt"), golden("worked_example_saida_B.txt"));
  EXPECT_EQ(d.get(kPlotScript), "");
  // The editor is not started on the result files.
  EXPECT_EQ(lines(d.get("launches.txt")),
            (std::vector<std::string>{"Notepad kalvorestine_2p0_dados_geral.txt", "notepad caso1.txt"}));
}

// An index outside the sample arrays is never carried out: the run stops with a
// diagnostic that names the array, the index and the bound, and the run log keeps
// every line written before.
struct OutOfRange {
  const char* what;
  const char* nmax;
  const char* samples;
  std::vector<std::string> in_diagnostic;
  std::string last_log_record;
};

TEST(RunArrays, IndexOutsideTheArraysStopsTheRun) {
  const OutOfRange cases[] = {
      {"no point in the window", "100", "-0.1 0\r\n0.5 0\r\n", {"array I", "value 0", "lower bound of 1"},
       w<" vai começar o cálculo de Ii e It">()},
      {"more points than nmax", "3", nullptr, {"array T", "value 4", "upper bound of 3"},
       "    3      0.2000000  2.0000000E+01"},
      {"nmax 0", "0", nullptr, {"array T", "value 1", "upper bound of 0"}, "  ponto    t (s)      F (N)"},
      {"nmax negative", "-5", nullptr, {"array T", "value 1", "upper bound of 0"}, "  ponto    t (s)      F (N)"},
  };
  for (const OutOfRange& c : cases) {
    SCOPED_TRACE(c.what);
    RunDir d;
    CaseFile cf;
    cf.nmax = c.nmax;
    d.setup(cf, c.samples ? std::string_view(c.samples) : kWorkedExampleSamples);
    const RunResult r = d.run();
    EXPECT_NE(r.status, 0);
    EXPECT_EQ(r.err.rfind("forrtl: severe (", 0), 0u) << r.err;
    EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << "one line";
    for (const std::string& part : c.in_diagnostic) EXPECT_NE(r.err.find(part), std::string::npos) << part;
    EXPECT_EQ(d.recs("teste1_saida_H.txt").back(), c.last_log_record);
    EXPECT_FALSE(d.has("teste1_saida_A.txt"));
  }
}

TEST(RunArrays, NoPointInTheWindowStillWritesTheExtremesBlock) {
  RunDir d;
  CaseFile c;
  c.ti = "1.0";
  c.tf = "1.4";
  d.setup(c, "0.5 7\r\n1.5 3\r\n1.2 9\r\n");
  d.run();
  const auto log = d.recs("teste1_saida_H.txt");
  ASSERT_EQ(log.size(), 7u + 5u + 1u + 9u + 1u);
  EXPECT_EQ(log[11], "  ponto    t (s)      F (N)");
  EXPECT_EQ(log[12], w<" Terminou a leitura de t e F do arquivo original da célula de carga">());
  EXPECT_EQ(log[14], w<"Fmin = empuxo mínimo (N) =    1.000000E+02">());
  EXPECT_EQ(log[15], w<"tmin-ti = tempo corrigido do empuxo mínimo (s) =  -1.0000000E+00">());
  EXPECT_EQ(log[16], w<"tmin    = tempo original do empuxo mínimo (s)  =   0.0000000E+00">());
  EXPECT_EQ(log[17], w<"Fmax = empuxo máximo (N) =    0.000000E+00">());
  EXPECT_EQ(log[21], w<"nc = número de pontos da curva processada =      0">());
}

TEST(RunArrays, ArraysTooLargeStopAfterTheAllocationLine) {
  struct Case {
    const char* nmax;
    std::string prefix;
    int number;
    const char* text;
  };
  // Memory is limited for the child only: by the address-space limit, or, where the
  // address sanitizer needs the whole address space, by its allocation limit.
  const std::string limited = kAddressSanitizer
                                  ? "ASAN_OPTIONS=allocator_may_return_null=1:detect_leaks=0:max_allocation_size_mb=256:log_path=asan_log"
                                  : "ulimit -v 1000000 &&";
  const Case cases[] = {
      {"536870912", "", 179, "Cannot allocate array - overflow on array size calculation."},
      {"2147483647", "", 179, "Cannot allocate array - overflow on array size calculation."},
      {"536870911", limited, 41, "insufficient virtual memory"},
      {"200000000", limited, 41, "insufficient virtual memory"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.nmax);
    RunDir d;
    CaseFile cf;
    cf.nmax = c.nmax;
    d.setup(cf);
    const RunResult r = d.run(c.prefix);
    EXPECT_EQ(r.status, severe_status(c.number));
    EXPECT_EQ(r.err, "forrtl: severe (" + std::to_string(c.number) + "): " + c.text + "\n");
    EXPECT_EQ(d.recs("teste1_saida_H.txt").back(), w<" Vai alocar memória para os vetores">());
  }
}

TEST(RunArrays, NmaxEqualToThePointsOfTheWindowIsEnough) {
  RunDir d;
  CaseFile c;
  c.nmax = "5";
  d.setup(c);
  const RunResult r = d.run();
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(d.get("teste1_saida_B.txt"), golden("worked_example_saida_B.txt"));
}

}  // namespace
