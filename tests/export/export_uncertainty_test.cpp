// The uncertainty the export states for its figures, end to end: the budget's lines from
// what the user gives, the sources it names as not in U, the warning when the class
// printed is not sure, and the options that go together.
#include <gtest/gtest.h>

#include <cmath>
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

}  // namespace
}  // namespace kv::test
