// Calibration from known loads and the record of how a case was made, end to end: a
// logger of raw counts converted with the line fitted to its dead-weight points (given as
// readings, or as spans of the file itself), the calibration files that cannot give a
// line, and the record, whose digests are those of the logger file and the load-cell file
// as written, and which --check holds the case's files against.
#include <cmath>
#include <string>
#include <vector>

#include "companion/sha256.h"
#include "export/json_reader.h"
#include "prepare_support.h"

namespace kv::test {
namespace {

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// An HX711-like logger at 1 kHz: raw = 8123 + 102 counts per newton, two counts of noise,
// the small motor firing from 1 s, the empty stand before and after.
constexpr double kZero = 8123.0, kCountsPerN = 102.0;
std::string raw_logger() {
  Noise noise(11);
  std::string s = "ms,raw\r\n";
  for (int i = 0; i < 4000; ++i) {
    const double t = i / 1000.0;
    s += std::to_string(i) + "," + std::to_string(std::lround(kZero + kCountsPerN * motor(t - 1.0) + noise(2.0))) + "\r\n";
  }
  return s;
}

double peak_of(const std::string& load_cell) {
  double peak = 0;
  for (const std::string& r : records(load_cell)) {
    const auto blank = r.find(' ');
    peak = std::max(peak, std::stod(r.substr(blank + 1)));
  }
  return peak;
}

TEST(PrepareCalibration, KnownLoadsConvertTheRawCounts) {
  const double g = 9.80665;
  const struct {
    const char* name;
    std::string points;
  } rows[] = {
      // The empty stand as a span of the file, then two weights as readings.
      {"span and readings", "# empty stand, then weights\n0.1..0.9 0 kg\n" + std::to_string(kZero + kCountsPerN * g) +
                                " 1 kg\n" + std::to_string(kZero + kCountsPerN * 2 * g) + " 2000 g  # two\n"},
      // The same line in newtons and pounds-force.
      {"newtons and pounds", std::to_string(kZero) + " 0 N\n" + std::to_string(kZero + kCountsPerN * 20) + " 20 N\n" +
                                 std::to_string(kZero + kCountsPerN * 4.4482216152605) + " 1 lbf\n"},
      // One point: the line through zero, above the empty stand, which the tare removes.
      {"one point", std::to_string(kCountsPerN * 10) + " 10 N\n"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    TempDir dir("kv_calibration_");
    dir.put("hx.csv", raw_logger());
    dir.put("cal.txt", row.points);
    const Outcome r = prepare(dir.dir(), {"hx.csv", "--time-unit", "ms", "--mass", "0.02", "--calibration", "cal.txt"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(contains(r.out, "calibration")) << r.out;
    // The motor's peak is 28 N; the noise is a few hundredths of a newton.
    EXPECT_NEAR(peak_of(dir.get("hx/hx_celula.txt")), 28.0, 0.05);
    ASSERT_EQ(program(dir.dir() / "hx").status, 0);
    const Outcome check = prepare(dir.dir(), {"--check", "hx"});
    EXPECT_EQ(check.status, 0) << check.out;
    const Json record = parse_json(dir.get("hx/hx_prepare.json"));
    EXPECT_NEAR(record["calibration"]["K"].number, 1.0 / kCountsPerN, 1e-4 / kCountsPerN);
  }
}

TEST(PrepareCalibration, FilesThatCannotGiveALineAreNamedByLine) {
  const struct {
    const char* points;
    const char* says;
  } rows[] = {
      {"8123 0 kg\n9123 1\n", "cal.txt:2: a calibration point is READING LOAD UNIT"},
      {"8123 0 kg\n9123 1 oz\n", "cal.txt:2: the unit oz is not one of kg, g, N, lbf"},
      {"8123 0 kg\n9123 -1 kg\n", "cal.txt:2: the load -1 is not a number of 0 or more"},
      {"# nothing\n", "cal.txt: holds no calibration point"},
      {"8123 0 kg\n8123 1 kg\n", "cal.txt: the points' readings are all the same"},
      {"7.0..5.0 0 kg\n9123 1 kg\n", "cal.txt:1: the span 7.0..5.0 is not two times T0..T1"},
      {"10..11 0 kg\n9123 1 kg\n", "cal.txt:1: hx.csv has no reading between 10 s and 11 s"},
      {"8123 0 kg\n", "cal.txt:1: a single point needs a load above 0"},
  };
  TempDir dir("kv_calibration_");
  dir.put("hx.csv", raw_logger());
  for (const auto& row : rows) {
    SCOPED_TRACE(row.points);
    dir.put("cal.txt", row.points);
    const Outcome r = prepare(dir.dir(), {"hx.csv", "--time-unit", "ms", "--mass", "0.02", "--calibration", "cal.txt"});
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_TRUE(contains(r.err, row.says)) << r.err;
    EXPECT_FALSE(dir.has("hx"));
  }
  dir.put("cal.txt", "8123 0 kg\n9123 1 kg\n");
  const Outcome both =
      prepare(dir.dir(), {"hx.csv", "--time-unit", "ms", "--mass", "0.02", "--calibration", "cal.txt", "--scale", "2"});
  EXPECT_EQ(both.status, 2) << both.err;
  EXPECT_TRUE(contains(both.err, "leave out --scale, --offset and --thrust-unit")) << both.err;
}

TEST(PrepareRecord, TheRecordNamesTheFilesItCameFromAndCheckHoldsTheCaseToIt) {
  TempDir dir("kv_record_");
  const std::string logger = raw_logger();
  dir.put("hx.csv", logger);
  const Outcome r = prepare(dir.dir(), {"hx.csv", "--time-unit", "ms", "--mass", "0.02", "--scale", "0.0098039215686",
                                        "--offset", "-79.637", "--slope-uncertainty", "0.3"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(contains(r.out, "hx_prepare.json")) << r.out;
  const Json j = parse_json(dir.get("hx/hx_prepare.json"));
  EXPECT_EQ(j["logger"]["name"].string, "hx.csv");
  EXPECT_EQ(j["logger"]["size"].number, static_cast<double>(logger.size()));
  EXPECT_EQ(j["logger"]["sha256"].string, companion::sha256_hex(logger));
  const std::string load_cell = dir.get("hx/hx_celula.txt");
  EXPECT_EQ(j["load_cell"]["name"].string, "hx_celula.txt");
  EXPECT_EQ(j["load_cell"]["sha256"].string, companion::sha256_hex(load_cell));
  EXPECT_EQ(j["slope_uncertainty_pct"].number, 0.3);
  EXPECT_EQ(j["resolved"]["time_unit"].string, "ms");
  ASSERT_EQ(j["arguments"].array.size(), 11u);
  EXPECT_EQ(j["arguments"].array.front().string, "hx.csv");
  EXPECT_EQ(j["arguments"].array.back().string, "0.3");
  EXPECT_EQ(j["events"].array.size(), 1u);
  EXPECT_EQ(j["event_taken"].number, 1.0);
  EXPECT_EQ(j["tare"]["mode"].string, "pre");
  // Two counts of uniform noise at 1/102 N a count: a deviation of about 0.011 N.
  EXPECT_NEAR(j["baseline"]["sd_N"].number, 2.0 / std::sqrt(3.0) / kCountsPerN, 0.004);
  EXPECT_EQ(j["calibration"].kind, Json::Kind::Null);
  EXPECT_EQ(j["window"]["ti_s"].number, record_number(dir.dir() / "hx" / "hx.txt", 2));

  EXPECT_EQ(prepare(dir.dir(), {"--check", "hx"}).status, 0);
  // One reading edited by hand: the case no longer is the one the record describes.
  std::string edited = load_cell;
  edited.replace(edited.find("\r\n") + 2, 1, "9");
  dir.put("hx/hx_celula.txt", edited);
  const Outcome check = prepare(dir.dir(), {"--check", "hx"});
  EXPECT_EQ(check.status, 1);
  EXPECT_TRUE(contains(check.out, "hx_celula.txt: has changed since prepare made the case (the same size, other bytes)"))
      << check.out;
  // A record that names another load-cell file says so.
  dir.put("hx/hx_celula.txt", load_cell);
  std::string other = dir.get("hx/hx_prepare.json");
  other.replace(other.find("\"hx_celula.txt\""), 15, "\"other_cell.txt\"");
  dir.put("hx/hx_prepare.json", other);
  const Outcome renamed = prepare(dir.dir(), {"--check", "hx"});
  EXPECT_EQ(renamed.status, 1);
  EXPECT_TRUE(contains(renamed.out, "describes the load-cell file other_cell.txt, but the case reads hx_celula.txt"))
      << renamed.out;
}

}  // namespace
}  // namespace kv::test
