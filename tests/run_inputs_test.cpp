// The run over odd or broken inputs: names with blanks, missing and short files, bad
// values, and sample arrays too small, empty or too large.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "run_fixture.h"

using namespace kv;
using namespace kv::test;

namespace {

// The case of the worked example with one value written otherwise.
CaseFile with(std::string CaseFile::*value, std::string written) {
  CaseFile c;
  c.*value = std::move(written);
  return c;
}

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
    ScriptedRun d;
    CaseFile c;
    c.original = n.original;
    c.caso = n.caso;
    c.titulo = n.titulo;
    d.put(kGeneralData, n.general + "\r\n");
    d.put(n.case_file, c.text());
    d.put(n.original_file, kWorkedExampleSamples);
    const ScriptedOutcome r = d.run();
    ASSERT_EQ(r.status, 0u) << r.err;
    EXPECT_EQ(r.err, "");
    const std::string base = n.caso_trimmed + "_saida_";
    const std::string banner4 = "#  Caso   = " + n.caso_trimmed;
    const std::string banner6 = w<"#  Título = ">() + n.titulo_trimmed;
    for (const char* x : {"H", "A", "B"}) {
      const auto recs = d.recs(base + x + ".txt");
      ASSERT_GT(recs.size(), 7u);
      EXPECT_EQ(recs[3], banner4);
      EXPECT_EQ(recs[5], banner6);
    }
    const auto report = d.recs(base + "A.txt");
    EXPECT_EQ(report[12], "   original = nome do arquivo de dados originais de empuxo versus tempo = " + n.original_file);
    const std::vector<std::string> commands = {"Notepad kalvorestine_2p0_dados_geral.txt", "notepad " + n.case_file,
                                               "Notepad " + base + "A.txt"};
    EXPECT_EQ(d.commands(), commands);
    if (n.caso_trimmed.size() == 90) {
      EXPECT_EQ(banner4.size(), 102u);
      EXPECT_EQ(banner6.size(), 102u);
    }
  }
}

// A run that a severe diagnostic ends: which file is named, what is left behind.
struct Failure {
  const char* what;
  CaseFile c;
  std::string samples;
  const char* missing;  // a file removed before the run, or null
  int number;
  const char* text;
  int unit;
  const char* file;
  std::string last_log_record;  // empty: no run log may exist
};

TEST(RunFailures, EndWithTheDiagnosticAndLeaveTheFilesAsTheyStand) {
  const std::string worked(kWorkedExampleSamples);
  const char* const kEof = "end-of-file during read";
  const char* const kSyntax = "list-directed I/O syntax error";
  const char* const kConversion = "input conversion error";
  CaseFile eleven_values;
  eleven_values.titulo = "";  // a blank record holds no value
  CaseFile one_record_early = eleven_values;  // no original: every value one record early
  one_record_early.original = "";
  one_record_early.titulo = "'Motor de teste'";
  const Failure failures[] = {
      {"missing general data file", CaseFile{}, worked, kGeneralData, 24, kEof, 5, kGeneralData, ""},
      {"missing case parameter file", CaseFile{}, worked, "caso1.txt", 24, kEof, 6, "caso1.txt", ""},
      {"eleven values", eleven_values, worked, nullptr, 24, kEof, 6, "caso1.txt", ""},
      {"file name one record too early", one_record_early, worked, nullptr, 59, kSyntax, 6, "caso1.txt", ""},
      {"text for a real", with(&CaseFile::tf, "abc"), worked, nullptr, 59, kSyntax, 6, "caso1.txt", ""},
      {"sign with no digits", with(&CaseFile::M, "-"), worked, nullptr, 59, kSyntax, 6, "caso1.txt", ""},
      {"two decimal points", with(&CaseFile::Fcor, "1.2.3"), worked, nullptr, 59, kSyntax, 6, "caso1.txt", ""},
      {"integer of eleven digits", with(&CaseFile::nmax, "99999999999"), worked, nullptr, 64, kConversion, 6,
       "caso1.txt", ""},
      {"integer 2^31", with(&CaseFile::w, "2147483648"), worked, nullptr, 64, kConversion, 6, "caso1.txt", ""},
      {"missing load-cell file", CaseFile{}, worked, "celula.txt", 24, kEof, 8, "celula.txt", kLogHeader},
      {"column titles in the load-cell file", CaseFile{}, "tempo empuxo\r\n0.0 0\r\n", nullptr, 59, kSyntax, 8,
       "celula.txt", kLogHeader},
      {"load-cell file ending inside the window", CaseFile{}, "-0.1 0\r\n0.0 0\r\n0.1 10\r\n0.2 20\r\n0.3 10\r\n",
       nullptr, 24, kEof, 8, "celula.txt", "    4      0.3000000  1.0000000E+01"},
      {"load-cell file ending after a time", CaseFile{}, "-0.1 0\r\n0.0 0\r\n0.1 10\r\n0.2\r\n", nullptr, 24, kEof, 8,
       "celula.txt", "    2      0.1000000  1.0000000E+01"},
  };
  for (const Failure& f : failures) {
    SCOPED_TRACE(f.what);
    ScriptedRun d;
    d.setup(f.c, f.samples);
    if (f.missing) d.os.remove(f.missing);
    const ScriptedOutcome r = d.run();
    EXPECT_EQ(r.status, io::severe_exit_status(f.number));
    EXPECT_EQ(r.err, d.severe_line(f.number, f.text, f.unit, f.file));
    if (f.missing) {
      EXPECT_TRUE(d.has(f.file));
      EXPECT_EQ(d.get(f.file), "") << "a missing input file is left behind empty";
    }
    if (f.last_log_record.empty()) {
      EXPECT_FALSE(d.has("teste1_saida_H.txt"));
    } else {
      EXPECT_EQ(last_record(d.get("teste1_saida_H.txt")), f.last_log_record);
    }
  }
}

// An index outside the sample arrays is never carried out: the run stops with a
// diagnostic that names the array, the index and the bound, and the run log keeps
// every line written before.
struct OutOfRange {
  const char* what;
  const char* nmax;
  const char* samples;
  std::string diagnostic;
  std::string last_log_record;
};

TEST(RunArrays, IndexOutsideTheArraysStopsTheRun) {
  const std::string subscript = "forrtl: severe (408): fort: (2): Subscript #1 of the array ";
  const OutOfRange cases[] = {
      {"no point in the window", "100", "-0.1 0\r\n0.5 0\r\n", subscript + "I has value 0 which is less than the lower bound of 1\n",
       kLogImpulse},
      {"more points than nmax", "3", nullptr,
       subscript + "T has value 4 which is greater than the upper bound of 3\n", "    3      0.2000000  2.0000000E+01"},
      {"nmax 0", "0", nullptr, subscript + "T has value 1 which is greater than the upper bound of 0\n", kLogHeader},
      {"nmax negative", "-5", nullptr, subscript + "T has value 1 which is greater than the upper bound of 0\n",
       kLogHeader},
  };
  for (const OutOfRange& c : cases) {
    SCOPED_TRACE(c.what);
    ScriptedRun d;
    d.setup(with(&CaseFile::nmax, c.nmax), c.samples ? std::string_view(c.samples) : kWorkedExampleSamples);
    const ScriptedOutcome r = d.run();
    EXPECT_EQ(r.status, io::severe_exit_status(408));
    EXPECT_EQ(r.err, c.diagnostic);
    EXPECT_EQ(last_record(d.get("teste1_saida_H.txt")), c.last_log_record);
    EXPECT_FALSE(d.has("teste1_saida_A.txt"));
  }
}

TEST(RunArrays, NoPointInTheWindowStillWritesTheExtremesBlock) {
  ScriptedRun d;
  CaseFile c;
  c.ti = "1.0";
  c.tf = "1.4";
  d.setup(c, "0.5 7\r\n1.5 3\r\n1.2 9\r\n");
  d.run();
  const auto log = d.recs("teste1_saida_H.txt");
  ASSERT_EQ(log.size(), 7u + 5u + 1u + 9u + 1u);
  EXPECT_EQ(log[11], kLogHeader);
  EXPECT_EQ(log[12], kLogReadDone);
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
    d.setup(with(&CaseFile::nmax, c.nmax));
    const Outcome r = d.run(c.prefix);
    EXPECT_EQ(r.status, severe_status(c.number));
    EXPECT_EQ(r.err, "forrtl: severe (" + std::to_string(c.number) + "): " + c.text + "\n");
    EXPECT_EQ(last_record(d.get("teste1_saida_H.txt")), kLogAllocating);
  }
}

TEST(RunArrays, NmaxEqualToThePointsOfTheWindowIsEnough) {
  ScriptedRun d;
  d.setup(with(&CaseFile::nmax, "5"));
  const ScriptedOutcome r = d.run();
  EXPECT_EQ(r.status, 0u) << r.err;
  EXPECT_EQ(d.get("teste1_saida_B.txt"), golden("worked_example_saida_B.txt"));
}

}  // namespace
