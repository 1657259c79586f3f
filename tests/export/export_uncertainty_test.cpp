// The uncertainty the export states for its figures, end to end: the budget's lines from
// what the user gives, the sources it names as not in U, the warning when the class
// printed is not sure, and the options that go together.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "export_fixture.h"
#include "json_reader.h"

namespace kv::test {
namespace {

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

std::string joined(const Json& list) {
  std::string s;
  for (const Json& item : list.array) s += item.string + "\n";
  return s;
}

const Json& line(const Json& budget, const std::string& source) {
  for (const Json& t : budget.array)
    if (t["source"].string == source) return t;
  throw std::runtime_error("no budget line " + source);
}

class ExportUncertainty : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* name : {"kalvorestine_2p0_dados_geral.txt", "motor_d12.txt", "motor_d12_celula.txt",
                             "kalvorestine_2p0_curva_F-t.gnu"})
      dir.put(name, read_bytes(fs::path(KV_SOURCE_DIR) / "examples" / name));
    ASSERT_EQ(dir.run_program(), 0);
  }
  CaseDir dir;
};

TEST_F(ExportUncertainty, TheBudgetHoldsWhatIsGivenAndNamesWhatIsNot) {
  const Outcome r = dir.run_export({"--no-eng", "--json", "--slope-uncertainty", "0.3"});
  ASSERT_EQ(r.status, 0) << r.err;
  const Json j = parse_json(r.out);
  const Json& u = j["uncertainty"];
  const double It = j["nfpa"]["total_impulse_Ns"].number;
  // The figures the budget is of are the ones the export prints.
  EXPECT_EQ(u["nfpa"]["value"]["total_impulse_Ns"].number, It);
  EXPECT_EQ(u["nfpa"]["value"]["burn_time_s"].number, j["nfpa"]["burn_time_s"].number);
  EXPECT_EQ(u["nfpa"]["value"]["average_thrust_N"].number, j["nfpa"]["average_thrust_N"].number);
  EXPECT_EQ(u["window"]["value"]["total_impulse_Ns"].number, j["window"]["total_impulse_Ns"].number);
  EXPECT_EQ(u["window"]["value"]["burn_time_s"].number, 1.6);
  EXPECT_EQ(u["window"]["U"]["burn_time_s"].number, 0.0);
  // The slope's line is its share of each thrust figure; U is twice the combined u.
  const Json& slope = line(u["budget"], "calibration slope");
  EXPECT_NEAR(slope["u"].array[0].number, 0.003 * It, 1e-12 * It);
  EXPECT_EQ(slope["u"].array[1].number, 0.0);
  EXPECT_EQ(u["nfpa"]["U"]["total_impulse_Ns"].number, 2.0 * u["nfpa"]["u"]["total_impulse_Ns"].number);
  EXPECT_GE(u["nfpa"]["u"]["total_impulse_Ns"].number, slope["u"].array[0].number);
  // The case's M = 0.018 kg is known to half its last digit, 0.5 g: rectangular.
  const Json& mass = line(u["budget"], "propellant mass");
  EXPECT_NEAR(mass["u"].array[4].number / u["nfpa"]["value"]["specific_impulse_s"].number,
              0.0005 / std::sqrt(3.0) / 0.018, 1e-12);
  // A case made by hand holds no record: the tare and the clock are named, not hidden.
  const std::string left_out = joined(u["left_out"]);
  EXPECT_TRUE(contains(left_out, "tare offset and drift: no record")) << left_out;
  EXPECT_TRUE(contains(left_out, "clock")) << left_out;
  EXPECT_FALSE(contains(left_out, "calibration slope")) << left_out;

  const Outcome plain = dir.run_export({"--no-eng"});
  ASSERT_EQ(plain.status, 0) << plain.err;
  EXPECT_TRUE(contains(plain.out, "total impulse (N s)     18.97574 +- ")) << plain.out;
  EXPECT_TRUE(contains(plain.out, "not in U (give what each names to add it):\n"
                                  "    calibration slope: no calibration and no --slope-uncertainty"))
      << plain.out;
}

TEST(ExportUncertaintyOptions, TheNonLinearityNeedsItsFullScale) {
  CaseDir dir;
  dir.write_case(CaseSetup{}, samples(100, 0.0, 3.5, trapezoid_burn));
  ASSERT_EQ(dir.run_program(), 0);
  for (const std::vector<std::string>& args : {std::vector<std::string>{"--no-eng", "--nonlinearity", "0.1"},
                                               std::vector<std::string>{"--no-eng", "--full-scale", "100"}}) {
    const Outcome r = dir.run_export(args);
    EXPECT_EQ(r.status, 2) << r.err;
    EXPECT_TRUE(contains(r.err, "--full-scale")) << r.err;
  }
  const Outcome r = dir.run_export({"--no-eng", "--json", "--nonlinearity", "0.1", "--full-scale", "100"});
  ASSERT_EQ(r.status, 0) << r.err;
  const Json j = parse_json(r.out);
  // 0.1 % of 100 N, rectangular, at every reading: the peak moves by it.
  EXPECT_NEAR(line(j["uncertainty"]["budget"], "non-linearity and hysteresis")["u"].array[3].number,
              0.1 / std::sqrt(3.0), 1e-12);
}

// A burn whose total impulse lies 0.1 % under the E/F bound of 40 N s: with a 1 % slope
// uncertainty the class printed is a coin toss, and the export says so.
TEST(ExportUncertaintyOptions, AClassThatIsNotSureIsAWarning) {
  CaseDir dir;
  dir.write_case(CaseSetup{}, samples(100, 0.0, 3.5, [](double t) { return 1.1101 * trapezoid_burn(t); }));
  ASSERT_EQ(dir.run_program(), 0);
  const Outcome sure = dir.run_export({"--no-eng"});
  ASSERT_EQ(sure.status, 0) << sure.err;
  EXPECT_FALSE(contains(sure.err, "class bound")) << sure.err;
  const Outcome r = dir.run_export({"--no-eng", "--json", "--slope-uncertainty", "1"});
  ASSERT_EQ(r.status, 0) << r.err;
  const Json j = parse_json(r.out);
  ASSERT_LT(j["nfpa"]["total_impulse_Ns"].number, 40.0);
  ASSERT_GT(j["nfpa"]["total_impulse_Ns"].number, 39.8);
  EXPECT_TRUE(contains(r.err, "lies near a class bound: the class printed holds with a probability of")) << r.err;
  EXPECT_LT(j["uncertainty"]["class_probability"].number, 0.95);
}

// A logger of raw counts whose baseline drifts by `drift` N over its 5 s, with noise,
// the burn from 1.5 s: the small D-class curve of 28 N peak. `step`: the logger's own
// time step, s; `head`: what stands before the readings.
std::string drifting_logger(double drift, double step = 0.001, std::string head = "t,F\r\n",
                            const char* separator = ",") {
  std::mt19937_64 random(5);
  std::normal_distribution<double> noise(0.0, 0.02);
  std::string s = std::move(head);
  for (int i = 0; i <= 5000; ++i) {
    const double t = i * step;
    const double s1 = t - 1.5;
    const double F = s1 < 0 ? 0 : s1 < 0.03 ? 28.0 * s1 / 0.03 : s1 < 1.4 ? 28.0 - 10.0 * (s1 - 0.03) / 1.37
                     : s1 < 1.46 ? 18.0 * (1 - (s1 - 1.4) / 0.06) : 0;
    s += fixed(t, 6) + separator + fixed(F + drift * t / 5.0 + noise(random), 4) + "\r\n";
  }
  return s;
}

Outcome prepare_in(const CaseDir& dir, std::vector<std::string> args) {
  args.insert(args.begin(), KV_PREPARE);
  return run_in(dir.dir(), args, kNoLaunches);
}

// A case prepare made holds its record: the export takes the tare, the baseline's noise
// and the slope's uncertainty from it, and the mass's digits as they were typed.
TEST(ExportUncertaintyRecord, ThePreparedCasesRecordGivesTheTareNoiseAndSlope) {
  CaseDir dir;
  dir.put("log.csv", drifting_logger(0.0));
  ASSERT_EQ(prepare_in(dir, {"log.csv", "--mass", "0.0200", "--slope-uncertainty", "0.3", "--quiet"}).status, 0);
  ASSERT_EQ(run_in(dir.dir() / "log", {KV_PROGRAM}, kNoLaunches).status, 0);
  const Outcome r = dir.run_export({"--no-eng", "--json"}, dir.dir() / "log");
  ASSERT_EQ(r.status, 0) << r.err;
  const Json u = parse_json(r.out)["uncertainty"];
  // Without a calibration, the non-linearity; the clock always.
  EXPECT_EQ(joined(u["left_out"]),
            "non-linearity and hysteresis: no calibration and no --nonlinearity with --full-scale\n"
            "clock: the logger's rate is not checked against a reference clock\n");
  EXPECT_EQ(line(u["budget"], "calibration slope")["from"].string, "prepare's --slope-uncertainty, in the case's record");
  EXPECT_EQ(line(u["budget"], "noise")["from"].string, "the quiet baseline's deviation, in the case's record");
  EXPECT_NEAR(line(u["budget"], "noise")["u"].array[3].number, 0.02, 0.003);
  line(u["budget"], "tare offset");
  // "0.0200" kg: known to half of 0.1 g.
  const Json& mass = line(u["budget"], "propellant mass");
  EXPECT_NEAR(mass["u"].array[4].number / u["nfpa"]["value"]["specific_impulse_s"].number,
              0.00005 / std::sqrt(3.0) / 0.02, 1e-9);

  // The load-cell file edited since: the record no longer describes it, and says so.
  std::string cell = read_bytes(dir.dir() / "log" / "log_celula.txt");
  cell[cell.find("\r\n") + 2] = cell[cell.find("\r\n") + 2] == '0' ? '1' : '0';
  write_bytes(dir.dir() / "log" / "log_celula.txt", cell);
  ASSERT_EQ(run_in(dir.dir() / "log", {KV_PROGRAM}, kNoLaunches).status, 0);
  const Outcome stale = dir.run_export({"--no-eng"}, dir.dir() / "log");
  ASSERT_EQ(stale.status, 0) << stale.err;
  EXPECT_TRUE(contains(stale.err, "log_celula.txt has changed since prepare made the case")) << stale.err;
  EXPECT_TRUE(contains(stale.out, "tare offset and drift: no record")) << stale.out;
}

// A header that states the logger's rate gives the clock its line: how far the stated
// rate lies from the logger's own times, rectangular, moving the impulse and the burn
// time by that share and the average not at all. Without a stated rate the clock is
// named as not in U (above).
TEST(ExportUncertaintyRecord, AStatedRateAgainstTheLoggersTimesGivesTheClockLine) {
  CaseDir dir;
  const std::string head = "LabVIEW Measurement\t\r\nSeparator\tTab\r\nDecimal_Separator\t.\r\n***End_of_Header***\t\r\n\r\n"
                           "Channels\t1\t\r\nY_Unit_Label\tN\t\r\nDelta_X\t0.001000\t\r\n***End_of_Header***\t\r\n"
                           "X_Value\tForce\r\n";
  // Times that step 0.05 % longer than Delta_X says: below what prepare warns of.
  dir.put("log.lvm", drifting_logger(0.0, 0.0010005, head, "\t"));
  const Outcome made = prepare_in(dir, {"log.lvm", "--mass", "0.020", "--quiet"});
  ASSERT_EQ(made.status, 0) << made.err;
  ASSERT_EQ(run_in(dir.dir() / "log", {KV_PROGRAM}, kNoLaunches).status, 0);
  const Outcome r = dir.run_export({"--no-eng", "--json"}, dir.dir() / "log");
  ASSERT_EQ(r.status, 0) << r.err;
  const Json j = parse_json(r.out);
  const Json& u = j["uncertainty"];
  EXPECT_FALSE(contains(joined(u["left_out"]), "clock")) << joined(u["left_out"]);
  const Json& clock = line(u["budget"], "clock");
  EXPECT_TRUE(contains(clock["from"].string, "the rate the logger's header states against its own times"));
  const double share = 0.0005 / std::sqrt(3.0);
  EXPECT_NEAR(clock["u"].array[0].number, share * j["nfpa"]["total_impulse_Ns"].number, 1e-3 * share * 27.0);
  EXPECT_NEAR(clock["u"].array[1].number, share * j["nfpa"]["burn_time_s"].number, 1e-3 * share * 1.5);
  EXPECT_EQ(clock["u"].array[2].number, 0.0);
}

// A baseline that drifts between the tare spans: the tare line of the budget holds the
// impulse the drift takes away from the firing, within its expanded uncertainty.
TEST(ExportUncertaintyRecord, ADriftOfTheBaselineAppearsAsTheTareLine) {
  double clean_It = 0;
  for (const double drift : {0.0, 0.5}) {
    SCOPED_TRACE(drift);
    CaseDir dir;
    dir.put("log.csv", drifting_logger(drift));
    // Kept on purpose: prepare stops on such a drift unless told which tare to take.
    ASSERT_EQ(prepare_in(dir, {"log.csv", "--mass", "0.020", "--tare", "pre", "--quiet"}).status, 0);
    ASSERT_EQ(run_in(dir.dir() / "log", {KV_PROGRAM}, kNoLaunches).status, 0);
    const Outcome r = dir.run_export({"--no-eng", "--json"}, dir.dir() / "log");
    ASSERT_EQ(r.status, 0) << r.err;
    const Json j = parse_json(r.out);
    const double It = j["nfpa"]["total_impulse_Ns"].number;
    if (drift == 0.0) {
      clean_It = It;
      continue;
    }
    const double tare_u = line(j["uncertainty"]["budget"], "tare drift")["u"].array[0].number;
    const double error = std::fabs(It - clean_It);
    EXPECT_GT(error, 0.05) << "the drift moves the impulse";
    EXPECT_LT(error, 2.0 * tare_u) << "within U of the tare line";
    EXPECT_GT(error, 0.5 * tare_u) << "the line is not far larger than what the drift does";
  }
}

}  // namespace
}  // namespace kv::test
