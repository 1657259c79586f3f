// The .eng curve for a table of curves, each written and read back by the test's own
// RASP reader: the readers' rules hold, the impulse and the peak stay within their
// tolerances, and the shape - ignition spike, peak, tail-off - survives the cut to 32
// points.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "export/eng_curve.h"
#include "export/eng_file.h"
#include "companion/errors.h"
#include "rasp_reader.h"

namespace kv::exporter {
namespace {

using test::RaspFile;
using test::read_rasp;

// Deterministic noise: SplitMix64, then a sum of uniforms for a rough Gaussian.
struct Noise {
  std::uint64_t s;
  double operator()(double sigma) {
    double sum = 0.0;
    for (int k = 0; k < 12; ++k) {
      std::uint64_t z = (s += 0x9E3779B97F4A7C15ull);
      z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
      z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
      z ^= z >> 31;
      sum += static_cast<double>(z >> 11) * 0x1p-53;
    }
    return (sum - 6.0) * sigma;
  }
};

struct TestCurve {
  std::string name;
  double dt;
  std::vector<double> F;
  double ignition;  // s: where the thrust starts to rise
  double burnout;   // s: where it is back at zero (or the curve's end)
  double shape_tolerance;  // share of the peak the written curve may stray from the curve
  std::vector<double> clean;  // a noisy curve without its noise, for the shape
};

// The thrust as the program keeps it: cut off from below at 0.
double cut(double v) { return v < 0.0 ? 0.0 : v; }

TestCurve short_spike() {
  // An igniter-sized burst: 12 ms at 1 kHz between zeros, 21 points in all.
  TestCurve c{"short_spike", 0.001, {}, 0.004, 0.016, 1e-12, {}};
  const double shape[] = {0, 0, 0, 0, 0, 6, 18, 25, 22, 15, 10, 7, 5, 3, 2, 1, 0, 0, 0, 0, 0};
  c.F.assign(std::begin(shape), std::end(shape));
  return c;
}

TestCurve long_regressive_burn() {
  // 8 s at 1 kHz: up to 120 N in 50 ms, regressing to 30 N, a quadratic tail-off of 0.4 s.
  TestCurve c{"long_regressive_burn", 0.001, {}, 0.1, 7.9, 0.03, {}};
  for (int i = 0; i <= 8100; ++i) {
    const double t = i * c.dt;
    double v = 0.0;
    if (t > 0.1 && t <= 0.15) v = 120.0 * (t - 0.1) / 0.05;
    else if (t > 0.15 && t <= 7.5) v = 30.0 + 90.0 * std::exp(-(t - 0.15) / 2.0) - 90.0 * std::exp(-7.35 / 2.0) * (t - 0.15) / 7.35;
    else if (t > 7.5 && t < 7.9) v = 30.0 * std::pow((7.9 - t) / 0.4, 2);
    c.F.push_back(v);
  }
  return c;
}

TestCurve hundred_thousand_points() {
  // 10^5 samples at 100 kHz: a D-class firing with its ignition spike and noise, the
  // readings below zero cut off as the program does. The quadratic tail-off falls below
  // 1 % of the peak 29.5 ms before it ends.
  TestCurve c{"1e5_points", 1e-5, {}, 0.02, 0.9305, 0.03, {}};
  Noise noise{42};
  for (int i = 0; i < 100000; ++i) {
    const double t = i * c.dt;
    const double s = t - 0.02;
    double v = 0.0;
    if (s >= 0 && s < 0.025) v = 30.0 * std::sin(0.5 * M_PI * s / 0.025);
    else if (s >= 0.025 && s < 0.2) v = 13.0 + 17.0 * std::exp(-(s - 0.025) / 0.04);
    else if (s >= 0.2 && s < 0.76) v = 13.0 - 1.8 * (s - 0.2) / 0.56;
    else if (s >= 0.76 && s < 0.94) v = 11.2 * std::pow(1.0 - (s - 0.76) / 0.18, 2);
    c.F.push_back(cut(v + noise(0.05)));
    c.clean.push_back(v);
  }
  return c;
}

TestCurve long_zero_tail() {
  // A 1 s trapezoid burn followed by 30 s of zeros (1 % of the peak is 2.5 ms before the
  // end of the ramp down).
  TestCurve c{"long_zero_tail", 0.001, {}, 0.05, 1.2475, 0.03, {}};
  for (int i = 0; i <= 31250; ++i) {
    const double t = i * c.dt;
    double v = 0.0;
    if (t > 0.05 && t <= 0.15) v = 50.0 * (t - 0.05) / 0.1;
    else if (t > 0.15 && t <= 1.0) v = 50.0;
    else if (t > 1.0 && t < 1.25) v = 50.0 * (1.25 - t) / 0.25;
    c.F.push_back(v);
  }
  return c;
}

TestCurve peak_first() {
  // The window opened after the rise: the first point is the peak, then an exponential
  // decay, below 1 % of the peak after 0.3 ln 100 = 1.38 s. The stretch after that holds
  // more than 0.1 % of the impulse, so the curve ends only where what is left of it does
  // not: 80 * 0.3 * (exp(-t / 0.3) - exp(-5)) = 0.1 % of 24 (1 - exp(-5)), t = 1.459 s.
  TestCurve c{"peak_first", 0.001, {}, 0.0, 1.459, 0.03, {}};
  for (int i = 0; i <= 1500; ++i) c.F.push_back(80.0 * std::exp(-(i * c.dt) / 0.3));
  return c;
}

TestCurve cut_off_by_the_window() {
  // The window closed before the tail-off: the curve ends at full thrust.
  TestCurve c{"cut_off_by_the_window", 0.01, {}, 0.1, 2.0, 0.03, {}};
  for (int i = 0; i <= 200; ++i) {
    const double t = i * c.dt;
    c.F.push_back(t <= 0.1 ? 0.0 : t <= 0.2 ? 20.0 * (t - 0.1) / 0.1 : 20.0 - 2.0 * (t - 0.2));
  }
  return c;
}

TestCurve one_sample_ignition_spike() {
  // 2 s at 5 kHz, 10 N flat but for one sample of 25 N at ignition: the peak carries
  // almost no impulse, and still must stay.
  TestCurve c{"one_sample_ignition_spike", 0.0002, {}, 0.1, 2.1, 0.03, {}};
  for (int i = 0; i <= 11000; ++i) {
    const double t = i * c.dt;
    c.F.push_back(i == 600 ? 25.0 : t > 0.1 && t < 2.1 ? 10.0 : 0.0);
  }
  return c;
}

TestCurve noisy_plateau_with_a_narrow_spike() {
  // 2 s at 5 kHz of 20 N with noise of 0.4 N, and a one-sample ignition spike of 23.5 N:
  // the noise's zigzags carry as much impulse as the spike, which must still stay.
  TestCurve c{"noisy_plateau_with_a_narrow_spike", 0.0002, {}, 0.1, 2.1, 0.05, {}};
  Noise noise{7};
  for (int i = 0; i <= 11000; ++i) {
    const double t = i * c.dt;
    const double v = i == 600 ? 23.5 : t > 0.1 && t < 2.1 ? 20.0 : 0.0;
    c.F.push_back(i == 600 || v == 0.0 ? v : v + noise(0.4));
    c.clean.push_back(v);
  }
  return c;
}

TestCurve floor_before_ignition() {
  // The case's cut-off Fcor = 0.4 N (0.8 % of the peak) floors 3 s of readings before
  // ignition and 0.5 s after burn-out. Dropping them would lose 2.5 % of the impulse:
  // only the first and last 0.1 % of it go, 0.1 % of 55.175 N s at 0.4 N being 0.138 s.
  TestCurve c{"floor_before_ignition", 0.001, {}, 0.138, 4.65 - 0.138, 0.03, {}};
  for (int i = 0; i <= 4650; ++i) {
    const double t = i * c.dt;
    double v = 0.4;
    if (t > 3.0 && t <= 3.05) v = 0.4 + 49.6 * (t - 3.0) / 0.05;
    else if (t > 3.05 && t <= 4.05) v = 50.0;
    else if (t > 4.05 && t < 4.15) v = 0.4 + 49.6 * (4.15 - t) / 0.1;
    c.F.push_back(v);
  }
  return c;
}

std::vector<TestCurve> curves() {
  return {short_spike(),    long_regressive_burn(),         hundred_thousand_points(), long_zero_tail(),
          peak_first(),     cut_off_by_the_window(),        one_sample_ignition_spike(),
          noisy_plateau_with_a_narrow_spike(),                floor_before_ignition()};
}

double trapezoid(const std::vector<double>& F, double dt) {
  double I = 0.0;
  for (std::size_t k = 1; k < F.size(); ++k) I += (F[k] + F[k - 1]) / 2.0 * dt;
  return I;
}

double peak_of(const std::vector<double>& F) {
  double m = 0.0;
  for (double v : F) m = v > m ? v : m;
  return m;
}

const EngHeader kHeader{"D12", 24, 70, "P", 0.018, 0.0424, "static-fire"};

// The curve written with at most `points` points, checked by the writer and read back.
RaspFile write_and_read(const TestCurve& c, std::int64_t points, EngSummary* summary = nullptr, double* origin = nullptr) {
  const EngCurve e = eng_curve(c.F, c.dt, points);
  if (origin) *origin = e.origin;
  const std::string text = eng_text({"case: test", "title: a test curve"}, kHeader, e.points, time_decimals(c.dt));
  const EngSummary s = check_eng_text(text, trapezoid(c.F, c.dt), peak_of(c.F));
  if (summary) *summary = s;
  // Plain decimals only: no exponent, no sign, no other character on a point line.
  bool header = false;
  for (std::size_t at = 0; at < text.size();) {
    const std::size_t end = text.find("\r\n", at);
    const std::string line = text.substr(at, end - at);
    at = end + 2;
    if (line[0] == ';') continue;
    if (!header) {
      header = true;
      continue;
    }
    EXPECT_EQ(line.find_first_not_of(" .0123456789"), std::string::npos) << line;
  }
  return read_rasp(text);
}

TEST(ExportEngCurve, EveryCurveReadsBackWithinTheTolerancesInAtMost32Points) {
  for (const TestCurve& c : curves()) {
    SCOPED_TRACE(c.name);
    EngSummary summary;
    const RaspFile f = write_and_read(c, 32, &summary);
    EXPECT_TRUE(f.problems.empty()) << f.problems.front();
    EXPECT_TRUE(f.crlf);
    ASSERT_EQ(f.header.size(), 7u);
    EXPECT_EQ(f.header[0], "D12");
    EXPECT_LE(f.points.size(), 32u);
    EXPECT_EQ(summary.points, f.points.size());

    const double I = trapezoid(c.F, c.dt);
    EXPECT_LE(std::fabs(f.impulse() - I), 0.005 * I) << f.impulse() << " against " << I;
    EXPECT_NEAR(summary.total_impulse, f.impulse(), 1e-9 * I);
    EXPECT_LE(std::fabs(f.peak() - peak_of(c.F)), 0.01 * peak_of(c.F));
  }
}

TEST(ExportEngCurve, IgnitionSpikePeakAndTailOffSurviveTheCut) {
  for (const TestCurve& c : curves()) {
    SCOPED_TRACE(c.name);
    double origin = 0.0;
    const RaspFile f = write_and_read(c, 32, nullptr, &origin);
    ASSERT_FALSE(f.points.empty());
    const double end = origin + f.points.back().t;
    // The written curve starts at ignition and ends at burn-out, not before or after.
    EXPECT_NEAR(origin, c.ignition, 0.02 * (c.burnout - c.ignition) + c.dt);
    EXPECT_NEAR(end, c.burnout, 0.02 * (c.burnout - c.ignition) + c.dt);
    // Between them, it follows the curve (without its noise) at every sample.
    const std::vector<double>& shape = c.clean.empty() ? c.F : c.clean;
    double worst = 0.0;
    for (std::size_t k = 0; k < shape.size(); ++k) {
      const double t = static_cast<double>(k) * c.dt - origin;
      if (t <= c.dt || t >= f.points.back().t) continue;
      worst = std::fmax(worst, std::fabs(f.at(t) - cut(shape[k])));
    }
    EXPECT_LE(worst, c.shape_tolerance * peak_of(c.F)) << "the written curve strays " << worst << " N";
  }
}

TEST(ExportEngCurve, PointsZeroKeepsEverySampleFromIgnitionToBurnout) {
  for (const TestCurve& c : curves()) {
    SCOPED_TRACE(c.name);
    double origin = 0.0;
    const RaspFile f = write_and_read(c, 0, nullptr, &origin);
    EXPECT_TRUE(f.problems.empty()) << f.problems.front();
    // No sample skipped: one dt between written points, but after a first point moved
    // off the origin (0.9 dt) and before a zero added after a cut-off curve (dt/10).
    ASSERT_GE(f.points.size(), 2u);
    EXPECT_LE(f.points[0].t, c.dt * (1 + 1e-9));
    for (std::size_t k = 1; k < f.points.size(); ++k) {
      const double gap = (f.points[k].t - f.points[k - 1].t) / c.dt;
      const bool last = k + 1 == f.points.size();
      ASSERT_TRUE(std::fabs(gap - 1) < 1e-6 || (k == 1 && std::fabs(gap - 0.9) < 1e-6) || (last && std::fabs(gap - 0.1) < 1e-6))
          << "between points " << k - 1 << " and " << k << ": " << gap << " dt";
    }
    // (A curve that starts above the no-thrust level has its first point moved off the
    // origin: the others stand on their samples.)
    for (std::size_t k = 1; k + 1 < f.points.size(); ++k) {
      const double sample = (f.points[k].t + origin) / c.dt;
      ASSERT_NEAR(sample, std::round(sample), 1e-3) << "point " << k << " is not on a sample";
      ASSERT_EQ(f.points[k].F, cut(c.F[static_cast<std::size_t>(std::lround(sample))]));
    }
  }
}

TEST(ExportEngCurve, EndsThatNeedAPointOfTheirOwn) {
  {
    SCOPED_TRACE("first point above the no-thrust level: moved off the origin");
    const EngCurve e = eng_curve(std::vector<double>{50, 40, 30, 20, 10, 0}, 0.1, 0);
    ASSERT_GE(e.points.size(), 2u);
    EXPECT_DOUBLE_EQ(e.points[0].t, 0.01);
    EXPECT_EQ(e.points[0].F, 50);
    EXPECT_DOUBLE_EQ(e.points[1].t, 0.1);
    EXPECT_EQ(e.notes.size(), 1u);
  }
  {
    SCOPED_TRACE("last point above the level: a zero dt/10 after it");
    const EngCurve e = eng_curve(std::vector<double>{0, 10, 20, 20}, 0.1, 0);
    ASSERT_EQ(e.points.size(), 4u);
    EXPECT_DOUBLE_EQ(e.points[2].t, 0.3);
    EXPECT_DOUBLE_EQ(e.points[3].t, 0.31);
    EXPECT_EQ(e.points[3].F, 0.0);
  }
  {
    SCOPED_TRACE("negative thrust between the ends is written as 0");
    const EngCurve e = eng_curve(std::vector<double>{0, 10, -1, 10, 0}, 0.1, 0);
    ASSERT_EQ(e.points.size(), 4u);
    EXPECT_EQ(e.points[1].F, 0.0);
    EXPECT_EQ(e.notes.size(), 1u);
  }
  {
    SCOPED_TRACE("two points: the peak and the final zero");
    const TestCurve c = long_regressive_burn();
    const EngCurve e = eng_curve(c.F, c.dt, 2);
    ASSERT_EQ(e.points.size(), 2u);
    EXPECT_EQ(e.points[0].F, peak_of(c.F));
    EXPECT_EQ(e.points[1].F, 0.0);
  }
}

TEST(ExportEngCurve, RefusesWhatCannotBeWritten) {
  for (const std::vector<double>& F : {std::vector<double>{}, {0, 0, 0}, {-1, -3, 0}}) {
    EXPECT_THROW(eng_curve(F, 0.01, 32), companion::DataError);
  }
  // Too few points for the impulse: the check says so and points to --points.
  const TestCurve c = long_regressive_burn();
  const EngCurve e = eng_curve(c.F, c.dt, 3);
  const std::string text = eng_text({}, kHeader, e.points, time_decimals(c.dt));
  try {
    check_eng_text(text, trapezoid(c.F, c.dt), peak_of(c.F));
    FAIL() << "three points passed the impulse check";
  } catch (const companion::DataError& error) {
    EXPECT_NE(std::string(error.what()).find("--points"), std::string::npos) << error.what();
  }
}

TEST(ExportEngCurve, CheckRejectsTextsThatBreakTheReadersRules) {
  const std::string head = "D12 24 70 P 0.018 0.018 x\r\n";
  struct Row {
    const char* name;
    std::string points;
  };
  const Row rows[] = {
      {"a point at time 0", "   0 5\r\n   0.1 5\r\n   0.2 0\r\n"},
      {"two equal times", "   0.1 5\r\n   0.1 6\r\n   0.2 0\r\n"},
      {"no final zero", "   0.1 5\r\n   0.2 5\r\n"},
      {"a negative thrust", "   0.1 5\r\n   0.15 -1\r\n   0.2 0\r\n"},
      {"impulse too far off", "   0.1 5\r\n   0.12 0\r\n"},
      {"peak too far off", "   0.05 5.1\r\n   0.15 4.9\r\n   0.2 0\r\n"},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    // Measured: 5 N from 0.05 s to 0.15 s with ramps of 0.05 s, 0.75 N s.
    EXPECT_THROW(check_eng_text(head + r.points, 0.75, 5.0), companion::DataError);
  }
  EXPECT_NO_THROW(check_eng_text(head + "   0.05 5\r\n   0.15 5\r\n   0.2 0\r\n", 0.75, 5.0));
}

TEST(ExportEngCurve, HeaderFieldsThatReadersWouldSplitOrMisread) {
  struct Row {
    const char* text;
    bool is_name;
    bool ok;
  };
  const Row rows[] = {
      {"D12", true, true},        {"1/2A3", true, true},      {"static-fire", false, true},
      {"H128-W", true, false},    {"D 12", true, false},      {"D\t12", false, false},
      {"", true, false},          {"D\xE9", true, false},     {"A;B", false, false},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.text);
    EXPECT_EQ(header_field_problem(r.text, r.is_name).empty(), r.ok);
  }
  for (const char* ok : {"P", "0", "3-5-7", "10"}) EXPECT_EQ(delays_problem(ok), "") << ok;
  for (const char* bad : {"", "p", "-3", "3-", "3--5", "3 5", "P-3"}) EXPECT_NE(delays_problem(bad), "") << bad;
}

TEST(ExportEngCurve, TimesGetDigitsEnoughForTheSamplingRate) {
  struct Row {
    double dt;
    int decimals;
  };
  for (const Row& r : {Row{0.001, 6}, Row{0.01, 5}, Row{1.0 / 3.0, 4}, Row{1.0 / 3000.0, 7}, Row{1e-5, 8}}) {
    SCOPED_TRACE(r.dt);
    EXPECT_EQ(time_decimals(r.dt), r.decimals);
  }
}

}  // namespace
}  // namespace kv::exporter
