// The export as a user runs it: the real program on a case first, then the export on the
// case folder. The shipped example, a firing whose window figures and NFPA figures differ
// on purpose, the outputs, and the failures with their messages and statuses.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <charconv>
#include <functional>
#include <cmath>
#include <string>
#include <vector>

#include "export_fixture.h"
#include "json_reader.h"
#include "rasp_reader.h"
#include "run/program_files.h"
#include "simulator_readers.h"

namespace kv::test {
namespace {

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

double number_after(const std::string& text, const std::string& label) {
  const auto at = text.find(label);
  if (at == std::string::npos) return std::nan("");
  std::size_t from = at + label.size();
  while (from < text.size() && text[from] == ' ') ++from;
  double v = std::nan("");
  std::from_chars(text.data() + from, text.data() + text.size(), v);
  return v;
}

// The shipped example, run by the program in a fresh folder.
class ExportShippedExample : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* name : {"kalvorestine_2p0_dados_geral.txt", "motor_d12.txt", "motor_d12_celula.txt",
                             "kalvorestine_2p0_curva_F-t.gnu"})
      dir.put(name, read_bytes(fs::path(KV_SOURCE_DIR) / "examples" / name));
    ASSERT_EQ(dir.run_program(), 0);
    report = dir.get("motor_d12_saida_A.txt");
    table = dir.get("motor_d12_saida_B.txt");
    ASSERT_FALSE(report.empty());
  }
  CaseDir dir;
  std::string report, table;
};

TEST_F(ExportShippedExample, WritesAnEngOf32PointsKeepingTheImpulseAndChangesNothingElse) {
  const Outcome r = dir.run_export({"--diameter", "24", "--length", "70", "--total-mass", "0.0424"});
  ASSERT_EQ(r.status, 0) << r.err;
  const RaspFile f = read_rasp(dir.get("motor_d12.eng"));
  EXPECT_TRUE(f.problems.empty()) << f.problems.front();
  EXPECT_TRUE(f.crlf);
  EXPECT_EQ(f.header, (std::vector<std::string>{"D12", "24", "70", "P", "0.018", "0.0424", "static-fire"}));
  EXPECT_LE(f.points.size(), 32u);
  const double It = number_after(report, "   It  = impulso total real (Ns) = ");
  EXPECT_LE(std::fabs(f.impulse() - It), 0.005 * It) << f.impulse() << " against " << It;
  EXPECT_NEAR(f.peak(), 29.997, 0.01 * 29.997);  // the curve table's largest thrust

  // The comments name the case, the title and the program with its version.
  std::string comments;
  for (const auto& c : f.comments) comments += c + "\n";
  EXPECT_TRUE(contains(comments, "motor_d12")) << comments;
  // In ASCII, which both simulators show as written.
  EXPECT_TRUE(contains(comments, "Motor D12 - ensaio estatico 1")) << comments;
  EXPECT_TRUE(contains(comments, "the program's window: D12")) << comments;
  EXPECT_TRUE(contains(comments, "KALVORESTINE 2.0.6.2")) << comments;
  EXPECT_TRUE(contains(comments, "static firing")) << comments;

  // The program's files are as the program left them.
  EXPECT_EQ(dir.get("motor_d12_saida_A.txt"), report);
  EXPECT_EQ(dir.get("motor_d12_saida_B.txt"), table);
  // The table shows both sets of figures.
  EXPECT_TRUE(contains(r.out, "NFPA 1125")) << r.out;
  EXPECT_TRUE(contains(r.out, "18.97574")) << r.out;
  EXPECT_TRUE(contains(r.out, "D12")) << r.out;
  // The example's window closes 30 ms before the end of the tail-off; the load-cell record
  // holds the whole firing, and the motor file is made of it.
  EXPECT_FALSE(contains(r.err, "--total-mass")) << r.err;
  EXPECT_TRUE(contains(comments, "curve: the whole firing from the load-cell record")) << comments;
  EXPECT_TRUE(contains(r.out, "curve:     the whole firing from the load-cell record motor_d12_celula.txt")) << r.out;
  EXPECT_TRUE(contains(r.err, "'\xE2\x80\x93' as '-', '\xC3\xA1' as 'a'")) << r.err;
  EXPECT_TRUE(f.closed);
}

TEST_F(ExportShippedExample, JsonCarriesTheThreeSetsAndAgreesWithTheFiles) {
  const Outcome r = dir.run_export({"--diameter", "24", "--length", "70", "--json", "--eng", "out.eng"});
  ASSERT_EQ(r.status, 0) << r.err;
  const Json j = parse_json(r.out);
  const Json& n = j["nfpa"];
  const Json& w = j["window"];
  const Json& e = j["eng"];
  EXPECT_EQ(w["designation"].string, "D12");
  EXPECT_EQ(w["total_impulse_Ns"].number, number_after(report, "   It  = impulso total real (Ns) = "));
  EXPECT_EQ(w["burn_time_s"].number, 1.6);
  // The whole firing from its 5 % rise: the window's impulse, less the few readings before
  // the rise, with the 30 ms of tail-off after the window.
  EXPECT_NEAR(n["total_impulse_Ns"].number, w["total_impulse_Ns"].number, 1e-4 * w["total_impulse_Ns"].number);
  EXPECT_TRUE(j["curve"]["whole_firing"].boolean);
  EXPECT_EQ(n["peak_thrust_N"].number, 29.997);
  EXPECT_EQ(n["designation"].string, "D12");
  // The average is the impulse between the crossings over the burn time between them.
  EXPECT_NEAR(n["average_thrust_N"].number, n["burn_impulse_Ns"].number / n["burn_time_s"].number, 1e-12);
  EXPECT_NEAR(n["burn_time_s"].number, n["burn_end_s"].number - n["burn_start_s"].number, 1e-12);
  const RaspFile f = read_rasp(dir.get("out.eng"));
  EXPECT_EQ(e["points"].number, static_cast<double>(f.points.size()));
  EXPECT_NEAR(e["total_impulse_Ns"].number, f.impulse(), 1e-9 * f.impulse());
  EXPECT_EQ(e["file"].string, "out.eng");
  EXPECT_FALSE(dir.has("motor_d12.eng")) << "--eng names the file instead";
  // The warning about the missing total mass goes to the standard error stream only.
  EXPECT_TRUE(contains(r.err, "--total-mass")) << r.err;
}

TEST_F(ExportShippedExample, CsvHoldsTheProcessedCurveAsTheCurveTableGivesIt) {
  const Outcome r = dir.run_export({"--no-eng", "--csv", "curve.csv"});
  ASSERT_EQ(r.status, 0) << r.err;
  const std::vector<std::string> csv = records(dir.get("curve.csv"));
  std::vector<std::string> rows;
  for (const std::string& rec : records(table))
    if (!rec.starts_with("#")) rows.push_back(rec);
  ASSERT_EQ(csv.size(), rows.size() + 1);
  EXPECT_EQ(csv[0], "time_s,thrust_N");
  for (std::size_t k = 0; k < rows.size(); ++k) {
    double t = 0, F = 0, tc = 0, Fc = 0;
    const char* p = rows[k].data();
    const char* end = p + rows[k].size();
    while (*p == ' ') ++p;
    p = std::from_chars(p, end, t).ptr;
    while (*p == ' ') ++p;
    std::from_chars(p, end, F);
    const std::string& c = csv[k + 1];
    const auto comma = c.find(',');
    std::from_chars(c.data(), c.data() + comma, tc);
    std::from_chars(c.data() + comma + 1, c.data() + c.size(), Fc);
    ASSERT_NEAR(tc, t, 0.51e-7) << c;  // the example asks for the original times (toB = 1)
    ASSERT_EQ(Fc, F) << c;
  }
  EXPECT_FALSE(dir.has("motor_d12.eng"));
}

TEST_F(ExportShippedExample, TooFewPointsForTheImpulseWritesNothing) {
  const Outcome r = dir.run_export({"--diameter", "24", "--length", "70", "--points", "3", "--csv", "c.csv"});
  EXPECT_EQ(r.status, 1);
  EXPECT_TRUE(contains(r.err, "--points")) << r.err;
  EXPECT_FALSE(dir.has("motor_d12.eng"));
  EXPECT_FALSE(dir.has("c.csv"));
}

TEST_F(ExportShippedExample, OutputsThatWouldReplaceTheCasesFilesAreRefused) {
  for (const char* target : {"motor_d12_saida_A.txt", "motor_d12.txt", "./motor_d12_celula.txt"}) {
    SCOPED_TRACE(target);
    for (const char* option : {"--eng", "--csv"}) {
      const Outcome r = dir.run_export({"--diameter", "24", "--length", "70", option, target});
      EXPECT_EQ(r.status, 2) << r.err;
    }
  }
  EXPECT_EQ(dir.get("motor_d12_saida_A.txt"), report);
}

TEST_F(ExportShippedExample, PathsOnTheCommandLineAreTheUsersAndTheDefaultEngGoesBesideTheResults) {
  // Run from the folder above: CASE_DIR names the case, --csv is relative to where the
  // user stands.
  const fs::path above = dir.dir().parent_path();
  const std::string csv_name = dir.dir().filename().string() + "_curve.csv";
  const Outcome r = dir.run_export({dir.dir().filename().string(), "--diameter", "24,5", "--length", "70", "--csv", csv_name},
                               above);
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(fs::exists(above / csv_name));
  EXPECT_FALSE(dir.has(csv_name));
  fs::remove(above / csv_name);
  const RaspFile f = read_rasp(dir.get("motor_d12.eng"));
  ASSERT_EQ(f.header.size(), 7u);
  EXPECT_EQ(f.header[1], "24.5") << "a decimal comma is read";
  EXPECT_TRUE(contains(r.out, (dir.dir().filename() / "motor_d12.eng").string())) << r.out;
}

TEST_F(ExportShippedExample, OutputsThatAreNotRegularFilesAreRefusedAndLeftAsTheyAre) {
  // A FIFO would keep the export waiting, a device or /dev/stdout cannot take a rename,
  // and a rename over a symbolic link would put a file in the link's place.
  ASSERT_EQ(::mkfifo((dir.dir() / "pipe.eng").c_str(), 0644), 0);
  dir.put("target.csv", "mine\r\n");
  fs::create_symlink(dir.dir() / "target.csv", dir.dir() / "link.csv");
  fs::create_directory(dir.dir() / "folder.rse");
  struct Row {
    std::vector<std::string> args;
    const char* says;
  };
  const Row rows[] = {
      {{"--eng", "pipe.eng"}, "it is a FIFO, not a regular file"},
      {{"--csv", "/dev/stdout", "--no-eng"}, "a symbolic link"},
      {{"--csv", "/dev/null", "--no-eng"}, "it is a device, not a regular file"},
      {{"--csv", "link.csv", "--no-eng"}, "a symbolic link (to a regular file)"},
      {{"--rse", "folder.rse"}, "it is a folder"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.args[1]);
    std::vector<std::string> args = {"--diameter", "24", "--length", "70"};
    args.insert(args.end(), row.args.begin(), row.args.end());
    const Outcome r = dir.run_export(args);
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_TRUE(contains(r.err, row.says)) << r.err;
    EXPECT_EQ(r.out, "");
  }
  EXPECT_TRUE(fs::is_fifo(dir.dir() / "pipe.eng"));
  EXPECT_TRUE(fs::is_symlink(dir.dir() / "link.csv"));
  EXPECT_EQ(dir.get("target.csv"), "mine\r\n");
  EXPECT_FALSE(dir.has("motor_d12.eng"));
  for (const auto& e : fs::directory_iterator(dir.dir()))
    EXPECT_EQ(e.path().filename().string().find(".tmp"), std::string::npos) << e.path();
}

TEST_F(ExportShippedExample, RewritingAnEngReplacesItWholeAndLeavesNoTemporaryFile) {
  ASSERT_EQ(dir.run_export({"--diameter", "24", "--length", "70", "--total-mass", "0.0424"}).status, 0);
  const std::string first = dir.get("motor_d12.eng");
  const Outcome r = dir.run_export({"--diameter", "24", "--length", "70", "--total-mass", "0.0424", "--points", "20"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(dir.get("motor_d12.eng"), first);
  EXPECT_EQ(read_rasp(dir.get("motor_d12.eng")).points.size(), 20u);
  for (const auto& e : fs::directory_iterator(dir.dir()))
    EXPECT_EQ(e.path().filename().string().find(".tmp"), std::string::npos) << e.path();
}

TEST_F(ExportShippedExample, CheckMotorPassesWhatTheExportWritesAndNamesTheRulesOfOthers) {
  ASSERT_EQ(dir.run_export({"--diameter", "24", "--length", "70", "--total-mass", "0.0424", "--rse", "d12.rse"}).status, 0);
  for (const char* file : {"motor_d12.eng", "d12.rse"}) {
    SCOPED_TRACE(file);
    const Outcome c = dir.run_export({"--check-motor", file});
    EXPECT_EQ(c.status, 0) << c.out;
    EXPECT_TRUE(contains(c.out, "no problem found")) << c.out;
    EXPECT_TRUE(contains(c.out, "D12")) << c.out;
  }
  dir.put("theirs.eng", "; Motor D12 \x96 ensaio\r\nD12 0.024 70 P 0.018 0.0424 m\r\n   0 0\r\n   0.1 30\r\n   1.6 5\r\n");
  const Outcome c = dir.run_export({"--check-motor", "theirs.eng"});
  EXPECT_EQ(c.status, 1) << c.out;
  for (const char* line : {"theirs.eng:1: text other than ASCII", "theirs.eng:2: the diameter 0.024 mm is below 1 mm",
                           "theirs.eng:3: an explicit (0, 0) point", "theirs.eng:5: the last thrust is not zero"})
    EXPECT_TRUE(contains(c.out, line)) << c.out;
  const Outcome missing = dir.run_export({"--check-motor", "nowhere.eng"});
  EXPECT_EQ(missing.status, 1);
  EXPECT_TRUE(contains(missing.err, "nowhere.eng: no such file")) << missing.err;
}

TEST_F(ExportShippedExample, ARunThatStoppedAfterTheResultsOfAnEarlierOneIsRefused) {
  // tf moved past the record's end: the next run stops with message 24 while reading the
  // samples, and the summary report and curve table of the first run are still there.
  std::string c = dir.get("motor_d12.txt");
  c.replace(c.find("2.10"), 4, "9.10");
  dir.put("motor_d12.txt", c);
  EXPECT_NE(dir.run_program(), 0);
  EXPECT_EQ(dir.get("motor_d12_saida_A.txt"), report);
  const Outcome r = dir.run_export({"--diameter", "24", "--length", "70"});
  EXPECT_EQ(r.status, 1);
  EXPECT_TRUE(contains(r.err, "the last run of the case stopped there")) << r.err;
  EXPECT_TRUE(contains(r.err, "run the program again")) << r.err;
  EXPECT_FALSE(dir.has("motor_d12.eng"));
}

// The trapezoid burn of export_fixture.h inside the default window, twice as long as the
// burn: the window's figures and the NFPA figures differ on purpose.

TEST(ExportWindowAgainstNfpa, AWideWindowHalvesTheMeanThrustThatNfpaKeeps) {
  CaseDir dir;
  dir.write_case(CaseSetup{}, samples(100, 0.0, 3.5, trapezoid_burn));
  ASSERT_EQ(dir.run_program(), 0);
  const Outcome r = dir.run_export({"--diameter", "29", "--length", "124", "--json"});
  ASSERT_EQ(r.status, 0) << r.err;
  const Json j = parse_json(r.out);
  // The window, 0.5 s to 3.0 s: 36 N s over 2.5 s.
  EXPECT_NEAR(j["window"]["total_impulse_Ns"].number, 36.0, 1e-5);
  EXPECT_EQ(j["window"]["burn_time_s"].number, 2.5);
  EXPECT_NEAR(j["window"]["mean_thrust_N"].number, 14.4, 1e-5);
  EXPECT_EQ(j["window"]["designation"].string, "E14");
  // NFPA: 5 % of 40 N is crossed at 0.01 s into the rise and 0.02 s before the end of the
  // fall, so the burn is 1.17 s and holds 36 - 0.01 - 0.02 N s.
  const Json& n = j["nfpa"];
  // The total impulse from the 5 % rise: less the 0.01 N s of the rise below it.
  EXPECT_NEAR(n["total_impulse_Ns"].number, 35.99, 1e-9);
  EXPECT_NEAR(n["burn_start_s"].number, 0.51, 1e-9);
  EXPECT_NEAR(n["burn_time_s"].number, 1.17, 1e-9);
  EXPECT_NEAR(n["average_thrust_N"].number, 35.97 / 1.17, 1e-9);
  EXPECT_EQ(n["designation"].string, "E31");
  EXPECT_NEAR(j["relative_difference"]["burn_time"].number, 1.17 / 2.5 - 1, 1e-9);
  EXPECT_NEAR(j["relative_difference"]["average_thrust"].number, (35.97 / 1.17) / 14.4 - 1, 1e-6);

  // The table puts them side by side with the difference.
  const Outcome t = dir.run_export({"--no-eng"});
  ASSERT_EQ(t.status, 0) << t.err;
  EXPECT_TRUE(contains(t.out, "E14")) << t.out;
  EXPECT_TRUE(contains(t.out, "E31")) << t.out;
  EXPECT_TRUE(contains(t.out, "-53.20 %")) << t.out;   // burn time 1.17 s against 2.5 s
  EXPECT_TRUE(contains(t.out, "+113.50 %")) << t.out;  // average 30.74 N against 14.4 N
}

TEST(ExportWindowAgainstNfpa, OriginalTimesTooWideForTheCurveTableGiveTheSameFigures) {
  // The same burn 10000 s later, the curve table asked for the original times: they
  // do not fit its time field and are written as asterisks.
  CaseDir late, early;
  CaseSetup c;
  early.write_case(c, samples(100, 0.0, 3.5, trapezoid_burn));
  c.ti = "10000.5";
  c.tf = "10003.0";
  c.toB = "1";
  late.write_case(c, samples(100, 10000.0, 10003.5, [](double t) { return trapezoid_burn(t - 10000.0); }));
  ASSERT_EQ(early.run_program(), 0);
  ASSERT_EQ(late.run_program(), 0);
  ASSERT_TRUE(contains(late.get("firing_saida_B.txt"), "************"));
  const Outcome a = early.run_export({"--diameter", "29", "--length", "124", "--json", "--csv", "c.csv"});
  const Outcome b = late.run_export({"--diameter", "29", "--length", "124", "--json", "--csv", "c.csv"});
  ASSERT_EQ(a.status, 0) << a.err;
  ASSERT_EQ(b.status, 0) << b.err;
  const Json ja = parse_json(a.out), jb = parse_json(b.out);
  for (const char* key : {"total_impulse_Ns", "burn_time_s", "average_thrust_N", "burn_start_s"})
    EXPECT_NEAR(ja["nfpa"][key].number, jb["nfpa"][key].number, 1e-9) << key;
  EXPECT_EQ(early.get("firing.eng"), late.get("firing.eng"));
  // The CSV gives the original times in full.
  const std::vector<std::string> csv = records(late.get("c.csv"));
  ASSERT_GT(csv.size(), 2u);
  EXPECT_EQ(csv[1].substr(0, csv[1].find(',')), "10000.5");
}

TEST(ExportWindowAgainstNfpa, AFloorAboveTheNoThrustLevelIsRefusedWithWhatSettlesIt) {
  // Fcor = 0.5 N (1.25 % of the peak) floors the second before ignition and the 1.3 s
  // after burn-out in the record: 0.5 N s before the rise, which the NFPA total impulse
  // leaves out and a motor file would hold (ThrustCurve's average 1.4 % too high).
  CaseDir dir;
  CaseSetup c;
  c.Fcor = "0.5";
  dir.write_case(c, samples(100, 0.0, 3.5, trapezoid_burn));
  ASSERT_EQ(dir.run_program(), 0);
  const Outcome r = dir.run_export({"--diameter", "29", "--length", "124", "--total-mass", "0.08"});
  EXPECT_EQ(r.status, 1) << r.err;
  EXPECT_TRUE(contains(r.err, "as ThrustCurve computes it")) << r.err;
  EXPECT_TRUE(contains(r.err, "before the thrust reaches 5 % of its peak")) << r.err;
  EXPECT_TRUE(contains(r.err, "a lower Fcor")) << r.err;
  EXPECT_FALSE(dir.has("firing.eng"));
  // With every point already allowed, the message says so and advises no more points.
  const Outcome all = dir.run_export({"--diameter", "29", "--length", "124", "--total-mass", "0.08", "--points", "0"});
  EXPECT_EQ(all.status, 1) << all.err;
  EXPECT_TRUE(contains(all.err, "even with every point (--points 0), ")) << all.err;
  EXPECT_FALSE(contains(all.err, "points hold every figure")) << all.err;
  EXPECT_FALSE(contains(all.err, "allow more points")) << all.err;
}

TEST(ExportWindowAgainstNfpa, TheDefaultNameIsTheNfpaDesignationAndContinuesPastN) {
  struct Row {
    double scale;           // of the trapezoid burn's thrust
    const char* window;     // the report's designation
    const char* nfpa;       // the motor file's name
  };
  const Row rows[] = {
      {1.0, "E14", "E31"},
      {0.025, "1/2A0", "1/2A1"},  // the report writes "1/2A 0"
      // 36000 N s: past N, where the report gives the number alone.
      {1000.0, "14400", "O30744"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.window);
    CaseDir dir;
    dir.write_case(CaseSetup{}, samples(100, 0.0, 3.5, [&](double t) { return row.scale * trapezoid_burn(t); }));
    ASSERT_EQ(dir.run_program(), 0);
    const Outcome r = dir.run_export({"--diameter", "29", "--length", "124", "--json", "--rse", "m.rse"});
    ASSERT_EQ(r.status, 0) << r.err;
    const Json j = parse_json(r.out);
    EXPECT_EQ(j["window"]["designation"].string, row.window);
    EXPECT_EQ(j["nfpa"]["designation"].string, row.nfpa);
    const RaspFile f = read_rasp(dir.get("firing.eng"));
    ASSERT_EQ(f.header.size(), 7u);
    EXPECT_EQ(f.header[0], row.nfpa);
    EXPECT_EQ(read_rse(dir.get("m.rse")).engine["code"], row.nfpa);
    // The window's designation stays in a comment.
    std::string comments;
    for (const auto& c : f.comments) comments += c + "\n";
    EXPECT_TRUE(contains(comments, std::string("the program's window: ") + row.window)) << comments;
  }
}

// A case folder with the program's results, for the failures.
class ExportFailures : public ::testing::Test {
 protected:
  void SetUp() override {
    dir.write_case(CaseSetup{}, samples(100, 0.0, 3.5, trapezoid_burn));
    ASSERT_EQ(dir.run_program(), 0);
  }
  CaseDir dir;
};

TEST_F(ExportFailures, MissingOrForeignResultsNameTheFileAndEndWithStatus1) {
  struct Row {
    const char* name;
    std::function<void(const CaseDir&)> spoil;
    const char* message;
  };
  const std::string table = dir.get("firing_saida_B.txt");
  const std::string report = dir.get("firing_saida_A.txt");
  const std::string case_file = dir.get("case.txt");
  const Row rows[] = {
      {"no general data file", [](const CaseDir& d) { fs::remove(d.dir() / "kalvorestine_2p0_dados_geral.txt"); },
       "kalvorestine_2p0_dados_geral.txt: no such file"},
      {"no case parameter file", [](const CaseDir& d) { fs::remove(d.dir() / "case.txt"); }, "case.txt: no such file"},
      {"no summary report", [](const CaseDir& d) { fs::remove(d.dir() / "firing_saida_A.txt"); },
       "firing_saida_A.txt: no such file; run the program on the case first"},
      {"no curve table", [](const CaseDir& d) { fs::remove(d.dir() / "firing_saida_B.txt"); },
       "firing_saida_B.txt: no such file; run the program on the case first"},
      {"a report without its figures",
       [&](const CaseDir& d) { d.put("firing_saida_A.txt", report.substr(0, report.find("   It  ="))); },
       "has no record with the total impulse"},
      {"a curve table cut short",
       [&](const CaseDir& d) { d.put("firing_saida_B.txt", table.substr(0, table.find("\r\n", table.size() / 2) + 2)); },
       "from different runs"},
      {"a curve table cut after the time of its last record",  // F12.7 and four E15.6, CR LF
       [&](const CaseDir& d) { d.put("firing_saida_B.txt", table.substr(0, table.size() - 4 * 15 - 2)); },
       "firing_saida_B.txt: it ends before all its values are read"},
      {"a thrust that is no number",
       [&](const CaseDir& d) {
         std::string t = table;
         t.replace(t.find("   4.000000E+01"), 15, "   4.0000x0E+01");
         d.put("firing_saida_B.txt", t);
       },
       "firing_saida_B.txt: a value is not a number"},
      {"a curve table without its heading",
       [&](const CaseDir& d) { d.put("firing_saida_B.txt", table.substr(table.find("\r\n") + 2)); },
       "heading"},
      {"the case's rate changed after the run",
       [&](const CaseDir& d) {
         std::string c = case_file;
         c.replace(c.find("\r\n100 ") + 2, 3, "200");
         d.put("case.txt", c);
       },
       "run the program again"},
      {"a window that took no sample",
       [&](const CaseDir& d) {
         std::string t = table.substr(0, table.find("\r\n   ") + 2);
         std::string a = report;
         a.replace(a.find("curva processada = ") + 19, 6, "     0");
         d.put("firing_saida_B.txt", t);
         d.put("firing_saida_A.txt", a);
       },
       "holds no point"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    CaseDir d;
    for (const auto& e : fs::directory_iterator(dir.dir())) fs::copy(e.path(), d.dir() / e.path().filename());
    row.spoil(d);
    const Outcome r = d.run_export({"--diameter", "29", "--length", "124"});
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_TRUE(contains(r.err, row.message)) << r.err;
    EXPECT_EQ(r.out, "");
    EXPECT_FALSE(d.has("firing.eng"));
  }
}

TEST_F(ExportFailures, UsageErrorsEndWithStatus2AndSayWhatIsWrong) {
  struct Row {
    std::vector<std::string> args;
    const char* message;
  };
  const Row rows[] = {
      {{"--length", "124"}, "--diameter MM is required"},
      {{"--diameter", "29"}, "--length MM is required"},
      {{"--diameter", "abc", "--length", "124"}, "--diameter takes a number"},
      {{"--diameter", "-29", "--length", "124"}, "--diameter must be in millimetres"},
      {{"--diameter", "0.024", "--length", "124"}, "--diameter must be in millimetres, from 1 to 1000"},
      {{"--diameter", "29", "--length", "124", "--delays", "3-99"}, "99 s"},
      {{"--diameter", "29", "--length", "124", "--propellant-mass", "0.00005"}, "at least 0.0001 (0.1 g)"},
      {{"--diameter", "29", "--length", "124", "--total-mass", "0.0005"}, "at least 0.001 (1 g)"},
      {{"--diameter", "29", "--length", "124", "--type", "solid"}, "--type takes"},
      {{"--check-motor", "x.eng", "--json"}, "--check-motor takes no other option"},
      {{"--diameter", "29", "--length", "124", "--rse", "a.x", "--csv", "a.x"}, "name the same file"},
      {{"--diameter", "29", "--length", "124", "--points", "1"}, "--points must be 0"},
      {{"--diameter", "29", "--length", "124", "--points", "many"}, "--points takes a whole number"},
      {{"--diameter", "29", "--length", "124", "--name", "H128-W"}, "dash"},
      {{"--diameter", "29", "--length", "124", "--name", "E 31"}, "blank"},
      {{"--diameter", "29", "--length", "124", "--maker", "my shop"}, "blank"},
      {{"--diameter", "29", "--length", "124", "--delays", "long"}, "--delays"},
      {{"--diameter", "29", "--length", "124", "--total-mass", "0.01"}, "less than the propellant mass"},
      {{"--diameter", "29", "--length", "124", "--propellant-mass", "0.05", "--total-mass", "0.04"}, "--total-mass"},
      {{"--eng", "x.eng", "--no-eng"}, "exclude each other"},
      {{"--diameter", "29", "--length", "124", "--colour", "red"}, "--colour"},
      {{"--diameter", "29", "--length", "124", ".", "extra"}, "extra"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.args.back());
    const Outcome r = dir.run_export(row.args);
    EXPECT_EQ(r.status, 2) << r.err;
    EXPECT_TRUE(contains(r.err, row.message)) << r.err;
    EXPECT_TRUE(contains(r.err, "--help")) << r.err;
    EXPECT_FALSE(dir.has("firing.eng"));
  }
}

TEST_F(ExportFailures, HelpAndVersionEndWithStatus0) {
  const Outcome help = dir.run_export({"--help"});
  EXPECT_EQ(help.status, 0);
  for (const char* option : {"--eng", "--name", "--diameter", "--length", "--delays", "--propellant-mass",
                             "--total-mass", "--maker", "--points", "--json", "--csv", "CASE_DIR"})
    EXPECT_TRUE(contains(help.out, option)) << option;
  const Outcome version = dir.run_export({"--version"});
  EXPECT_EQ(version.status, 0);
  EXPECT_TRUE(contains(version.out, "KALVORESTINE 2.0.6.2")) << version.out;
}

TEST_F(ExportFailures, AMissingCaseFolderIsADataProblem) {
  const Outcome r = dir.run_export({(dir.dir() / "nowhere").string(), "--no-eng"});
  EXPECT_EQ(r.status, 1);
  EXPECT_TRUE(contains(r.err, "nowhere")) << r.err;
}

TEST_F(ExportFailures, ACurveWithoutThrustHasNothingToExport) {
  CaseDir d;
  d.write_case(CaseSetup{}, samples(100, 0.0, 3.5, [](double) { return 0.0; }));
  ASSERT_EQ(d.run_program(), 0);
  const Outcome figures = d.run_export({"--no-eng"});
  EXPECT_EQ(figures.status, 0) << figures.err;
  const Outcome r = d.run_export({"--diameter", "29", "--length", "124"});
  EXPECT_EQ(r.status, 1);
  EXPECT_TRUE(contains(r.err, "no positive thrust")) << r.err;
}

// A case name with a folder in it: the program writes its results there, and the export
// reads them from there, but its own default files stay in the case folder, with a
// warning that says where the results are.
TEST(ExportCaseNameWithAFolder, TheDefaultMotorFileStaysInTheCaseFolder) {
  CaseDir dir;
  CaseSetup c;
  c.caso = "'sub/fora'";
  dir.write_case(c, samples(100, 0.0, 3.5, trapezoid_burn));
  fs::create_directory(dir.path("sub"));
  ASSERT_EQ(dir.run_program(), 0);
  ASSERT_TRUE(fs::exists(dir.dir() / "sub" / "fora_saida_A.txt"));
  const Outcome r = dir.run_export({"--diameter", "24", "--length", "70"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(dir.has("fora.eng"));
  EXPECT_FALSE(fs::exists(dir.dir() / "sub" / "fora.eng"));
  EXPECT_TRUE(contains(r.err, "the case name \"sub/fora\" holds a path: the program wrote its results in another folder, "
                              "and the .eng goes to the case folder as fora.eng"))
      << r.err;
  // Where such names put the results, and the name the companions' own files take.
  const struct {
    const char* caso;
    CaseNamePlace place;
    const char* own;
  } names[] = {{"fora", CaseNamePlace::Here, "fora"},          {"sub/fora", CaseNamePlace::Elsewhere, "fora"},
               {"sub\\fora", CaseNamePlace::Elsewhere, "fora"}, {"../fora", CaseNamePlace::Outside, "fora"},
               {"a/../../fora", CaseNamePlace::Outside, "fora"},  {"/tmp/fora", CaseNamePlace::Outside, "fora"},
               {"C:fora", CaseNamePlace::Outside, "fora"},        {"..fora", CaseNamePlace::Here, "..fora"}};
  for (const auto& n : names) {
    EXPECT_EQ(case_name_place(n.caso), n.place) << n.caso;
    EXPECT_EQ(case_own_name(n.caso), n.own) << n.caso;
  }
}

}  // namespace
}  // namespace kv::test
