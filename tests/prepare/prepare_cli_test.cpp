// The companion's command line: statuses and messages, the case it writes and how it
// puts it in place, and the warnings that keep wrong figures from passing silently.

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "input/case_selection.h"
#include "io/files.h"
#include "prepare_support.h"
#include "run/run_state.h"

namespace kv::test {
namespace {

// A clean logger record: t and F at 1 kHz, 1 s at rest, a 1.4 s burn, 1 s at rest.
std::string clean_record(double base = 0.0, double drift_per_s = 0.0, double scale = 1.0) {
  std::string s = "time,thrust\n";
  Noise noise(11);
  for (int i = 0; i < 3500; ++i) {
    const double t = i / 1000.0;
    s += fixed(t, 3) + "," + fixed(base + drift_per_s * t + motor(t - 1.0, scale) + noise(0.03), 4) + "\n";
  }
  return s;
}

std::map<std::string, std::string> snapshot(const fs::path& dir) {
  std::map<std::string, std::string> m;
  for (const auto& e : fs::recursive_directory_iterator(dir))
    if (e.is_regular_file()) m[fs::relative(e.path(), dir).string()] = read_bytes(e.path());
  return m;
}

TEST(PrepareCommandLine, HelpNamesTheOptionsAndEndsWithZero) {
  TempDir d("kv_cli_");
  const Outcome r = prepare(d.dir(), {"--help"});
  EXPECT_EQ(r.status, 0);
  for (const char* o : {"--check", "--delimiter", "--time-col", "--thrust-col", "--rate", "--decimal-comma", "--time-unit",
                        "--thrust-unit", "--scale", "--offset", "--tare", "--window", "--threshold", "--out", "--case",
                        "--title", "--mass", "--cutoff", "--force", "--quiet"})
    EXPECT_NE(r.out.find(o), std::string::npos) << o;
}

TEST(PrepareCommandLine, UsageErrorsEndWithTwoAndChangeNothing) {
  TempDir d("kv_cli_");
  d.put("log.csv", clean_record());
  const std::vector<std::vector<std::string>> bad = {
      {},
      {"--mass", "0.02"},
      {"log.csv"},
      {"--bogus", "log.csv", "--mass", "0.02"},
      {"log.csv", "--mass", "heavy"},
      {"log.csv", "--mass", "0.02", "--tare", "sometimes"},
      {"log.csv", "--mass", "0.02", "--thrust-unit", "stone"},
      {"log.csv", "--mass", "0.02", "--rate", "fast"},
      {"log.csv", "--mass", "0.02", "--window", "2.5"},
      {"log.csv", "--mass", "0.02", "--window", "2.5,1.0"},
      {"log.csv", "--mass", "0.02", "--case", "meu caso"},
      {"log.csv", "--mass", "0.02", "--title", "\xE6\x97\xA5\xE6\x9C\xAC"},
      {"log.csv", "--mass", "0.02", "--threshold", "150"},
      {"--check", ".", "log.csv"},
  };
  const auto before = snapshot(d.dir());
  for (const auto& args : bad) {
    const Outcome r = prepare(d.dir(), args);
    std::string shown;
    for (const auto& a : args) shown += a + " ";
    EXPECT_EQ(r.status, 2) << shown << "\n" << r.err;
    EXPECT_NE(r.err.find("kalvorestine_2p0_prepare: "), std::string::npos) << shown;
    EXPECT_EQ(r.out, "") << shown;
  }
  EXPECT_EQ(snapshot(d.dir()), before);
}

struct DataProblem {
  const char* name;
  std::string text;
  std::vector<std::string> args;
  std::string says;
};
void PrintTo(const DataProblem& c, std::ostream* os) { *os << c.name; }

class PrepareDataProblem : public ::testing::TestWithParam<DataProblem> {};

TEST_P(PrepareDataProblem, EndsWithOneNamingTheLineAndLeavesNoFolder) {
  const DataProblem& c = GetParam();
  TempDir d("kv_cli_");
  d.put("log.csv", c.text);
  std::vector<std::string> args = c.args;
  if (args.empty()) args.push_back("log.csv");
  args.insert(args.end(), {"--mass", "0.02"});
  const Outcome r = prepare(d.dir(), args);
  EXPECT_EQ(r.status, 1) << r.out << r.err;
  EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
  EXPECT_EQ(r.out, "");
  std::vector<std::string> left;
  for (const auto& e : fs::directory_iterator(d.dir())) left.push_back(e.path().filename().string());
  EXPECT_EQ(left, std::vector<std::string>{"log.csv"}) << "a case folder or a temporary one was left";
}

std::string with_line(std::string text, std::size_t at_line, const std::string& line) {
  std::size_t pos = 0;
  for (std::size_t i = 1; i < at_line; ++i) pos = text.find('\n', pos) + 1;
  return text.insert(pos, line + "\n");
}

INSTANTIATE_TEST_SUITE_P(
    Files, PrepareDataProblem,
    ::testing::Values(
        DataProblem{"MalformedLine", with_line(clean_record(), 1500, "1.4985;12.7"), {},
                    "log.csv:1500: '1.4985;12.7': expected the time in column 1 (time) and the thrust in column 2 "
                    "(thrust), found 1 field separated by comma"},
        DataProblem{"TruncatedLastLine", clean_record() + "3.5", {},
                    "log.csv:3502: '3.5': expected the time in column 1 (time) and the thrust in column 2 (thrust), found 1 "
                    "field"},
        DataProblem{"TimeGoesBack", with_line(clean_record(), 1001, "0.5,0.0"), {},
                    "log.csv: the file holds 2 runs (the clock starts again on line 1001): give --run N"},
        DataProblem{"ThrustThenTime", "12.5,0.000\n12.7,0.001\n11.9,0.002\n", {},
                    "Column 2 never decreases up to there: if it is the time, give --time-col 2 --thrust-col 1"},
        DataProblem{"Milliseconds", "0,0.1\n16,0.2\n33,0.1\n50,5.0\n66,9.0\n", {},
                    "log.csv: the times step by whole numbers (median step 17): they look like milliseconds; give --time-unit ms"},
        DataProblem{"NoFiring", "0.0,0.1\n0.1,0.1\n0.2,0.1\n0.3,0.1\n", {}, "no firing in the record"},
        DataProblem{"MissingFile", "", {"nowhere.csv"}, "nowhere.csv: no such file"},
        DataProblem{"EmptyFile", "", {}, "log.csv: the file is empty"}),
    [](const auto& p) { return std::string(p.param.name); });

TEST(PrepareCase, WritesWhatTheProgramReadsBack) {
  TempDir d("kv_cli_");
  d.put("meu ensaio.csv", clean_record(-2.0));
  const Outcome r = prepare(d.dir(), {"meu ensaio.csv", "--mass", "0.025", "--title", "Motor D'água – teste 1"});
  ASSERT_EQ(r.status, 0) << r.err;
  const fs::path folder = d.dir() / "meu ensaio";
  ASSERT_TRUE(fs::is_directory(folder)) << r.out;

  // The case as the program reads it.
  const fs::path here = fs::current_path();
  fs::current_path(folder);
  RunState s;
  read_general_data(s, io::Access::Read);
  read_case_parameters(s, io::Access::Read);
  fs::current_path(here);
  EXPECT_EQ(s.arqcaso.trim(), "meu_ensaio.txt");
  EXPECT_EQ(s.original.trim(), "meu_ensaio_celula.txt");
  EXPECT_EQ(s.caso.trim(), "meu_ensaio");
  EXPECT_EQ(s.titulo.trim(), "Motor D'\xE1gua \x96 teste 1");
  EXPECT_EQ(s.M, 0.025);
  EXPECT_EQ(s.w, 1000);
  EXPECT_EQ(s.Fcor, 0.0);
  EXPECT_EQ(s.graf, 1);
  EXPECT_EQ(s.abreB, 0);
  // ti and tf at the 5 % crossings, on the grid.
  EXPECT_GE(s.ti, 1.001);
  EXPECT_LE(s.ti, 1.002);
  EXPECT_GT(s.tf, 2.45);
  EXPECT_LT(s.tf, 2.47);
  const auto points = static_cast<std::int32_t>(std::llround((s.tf - s.ti) * 1000)) + 1;
  EXPECT_GE(s.nmax, points + 10);
  EXPECT_LE(s.nmax, points + points / 5 + 10);

  // The load-cell file: records of two numbers that read back exactly, times on the
  // uniform grid i / w, a sample before ti and one after tf.
  const auto recs = records(read_bytes(folder / "meu_ensaio_celula.txt"));
  ASSERT_GT(recs.size(), 100u);
  long first_i = -1;
  double before = NAN, after = NAN;
  for (std::size_t k = 0; k < recs.size(); ++k) {
    const std::string& rec = recs[k];
    ASSERT_EQ(rec.find(','), std::string::npos) << rec;
    const auto blank = rec.find(' ');
    ASSERT_NE(blank, std::string::npos) << rec;
    double t = NAN, F = NAN;
    ASSERT_EQ(std::from_chars(rec.data(), rec.data() + blank, t).ptr, rec.data() + blank) << rec;
    ASSERT_EQ(std::from_chars(rec.data() + blank + 1, rec.data() + rec.size(), F).ptr, rec.data() + rec.size()) << rec;
    if (k == 0) first_i = std::lround(t * 1000);
    EXPECT_EQ(t, static_cast<double>(first_i + static_cast<long>(k)) / 1000.0) << rec;
    if (k == 0) before = t;
    after = t;
  }
  EXPECT_LT(before, s.ti - 0.0005);
  EXPECT_GT(after, s.tf + 0.0005);

  // The plot script: six head records.
  EXPECT_EQ(records(read_bytes(folder / kPlotScript)).size(), 6u);
  const Outcome run = program(folder);
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_TRUE(fs::exists(folder / "meu_ensaio_saida_A.txt"));
}

TEST(PrepareCase, AnExistingFolderIsReplacedOnlyWithForceAndKeepsTheUsersFiles) {
  TempDir d("kv_cli_");
  d.put("run.csv", clean_record());
  ASSERT_EQ(prepare(d.dir(), {"run.csv", "--mass", "0.02"}).status, 0);
  const fs::path folder = d.dir() / "run";
  write_bytes(folder / kPlotScript, "set terminal dumb\r\n1\r\n2\r\n3\r\n4\r\n5\r\n");
  write_bytes(folder / "notas.txt", "minhas notas\r\n");
  const auto before = snapshot(d.dir());

  const Outcome refused = prepare(d.dir(), {"run.csv", "--mass", "0.03"});
  EXPECT_EQ(refused.status, 1);
  EXPECT_NE(refused.err.find("give --force"), std::string::npos) << refused.err;
  EXPECT_EQ(snapshot(d.dir()), before);

  const Outcome forced = prepare(d.dir(), {"run.csv", "--mass", "0.03", "--force"});
  EXPECT_EQ(forced.status, 0) << forced.err;
  EXPECT_NE(forced.out.find("kalvorestine_2p0_curva_F-t.gnu (kept)"), std::string::npos) << forced.out;
  EXPECT_EQ(read_bytes(folder / "notas.txt"), "minhas notas\r\n");
  EXPECT_EQ(read_bytes(folder / kPlotScript), "set terminal dumb\r\n1\r\n2\r\n3\r\n4\r\n5\r\n");
  EXPECT_NE(read_bytes(folder / "run.txt").find("0.03 "), std::string::npos);
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(d.dir())) names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"run", "run.csv"})) << "a temporary folder was left";
}

TEST(PrepareCase, QuietPrintsNothingButWarnings) {
  TempDir d("kv_cli_");
  d.put("run.csv", clean_record());
  const Outcome r = prepare(d.dir(), {"run.csv", "--mass", "0.02", "--quiet"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "");
  d.put("heavy.csv", clean_record(0.0, 0.0, 100.0));
  const Outcome w = prepare(d.dir(), {"heavy.csv", "--mass", "0.02", "--quiet", "--accept", "isp"});
  EXPECT_EQ(w.status, 0);
  EXPECT_EQ(w.out, "");
  EXPECT_NE(w.err.find("warning: the specific impulse would be"), std::string::npos) << w.err;
}

struct Warned {
  const char* name;
  std::string text;
  std::vector<std::string> args;
  std::string says;
};
void PrintTo(const Warned& c, std::ostream* os) { *os << c.name; }

class PrepareWarning : public ::testing::TestWithParam<Warned> {};

TEST_P(PrepareWarning, IsInTheSummary) {
  const Warned& c = GetParam();
  TempDir d("kv_cli_");
  d.put("log.csv", c.text);
  std::vector<std::string> args = c.args;
  args.insert(args.end(), {"log.csv", "--mass", "0.02"});
  const Outcome r = prepare(d.dir(), args);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("  warning: " + c.says), std::string::npos) << r.out;
}

std::string cut(const std::string& text, double from, double to) {
  std::string out;
  std::size_t pos = 0;
  while (pos < text.size()) {
    const auto end = text.find('\n', pos);
    const std::string line = text.substr(pos, end - pos);
    double t = NAN;
    std::from_chars(line.data(), line.data() + line.size(), t);
    if (std::isnan(t) || (t >= from && t <= to)) out += line + "\n";
    pos = end + 1;
  }
  return out;
}

INSTANTIATE_TEST_SUITE_P(
    Records, PrepareWarning,
    ::testing::Values(
        Warned{"DriftKept", clean_record(-80.0, 12.0, 20.0), {"--tare", "pre", "--accept", "isp"}, "the baseline drifts by"},
        Warned{"IspAccepted", clean_record(0.0, 0.0, 1.0 / 0.00980665), {"--accept", "isp"}, "the specific impulse would be"},
        Warned{"StartsBurningAccepted", cut(clean_record(), 1.2, 3.5), {"--accept", "cut"}, "the record starts during"},
        Warned{"NothingToTareBefore", cut(clean_record(), 1.0, 3.5), {}, "no span before ignition: the tare is the mean after"},
        Warned{"CoarseGrid", clean_record(), {"--rate", "20"}, "the prepared curve's impulse differs"}),
    [](const auto& p) { return std::string(p.param.name); });

TEST(PrepareCase, APublishedCurveThatEndsAtBurnOutRunsThroughTheProgram) {
  // A manufacturer's curve: a dozen points from ignition to burn-out, thrust 0 at both
  // ends, nothing before or after.
  const std::vector<Sample> pts = {{0.0, 0.0},   {0.03, 9.1},  {0.1, 16.0}, {0.2, 14.5}, {0.4, 12.8}, {0.6, 11.9},
                                   {0.8, 11.0},  {1.0, 10.4},  {1.2, 9.6},  {1.35, 5.1}, {1.45, 1.2}, {1.5, 0.0}};
  std::string text = "; Motor X12 (manufacturer's curve)\n";
  for (const auto& p : pts) text += fixed(p.t, 3) + " " + fixed(p.F, 1) + "\n";
  TempDir d("kv_cli_");
  d.put("X12.eng", text);
  const Outcome r = prepare(d.dir(), {"X12.eng", "--mass", "0.012", "--tare", "none"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out.find("warning"), std::string::npos) << r.out;
  const Outcome run = program(d.dir() / "X12");
  ASSERT_EQ(run.status, 0) << run.err;
  const double expected = trapezoid(pts, 0.0, 1.5);
  EXPECT_NEAR(program_impulse(d.dir() / "X12", "X12"), expected, 0.005 * expected);
}

}  // namespace
}  // namespace kv::test
