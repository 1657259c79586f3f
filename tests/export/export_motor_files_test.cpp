// The motor files for the table of curves, each written and read back by the tests' own
// readers of the two simulators: the readers' rules hold, and what each reader shows -
// total impulse, peak, burn time, its own average - stays beside the NFPA 1125 figures
// the export prints; the shape survives the cut to 32 points; the .rse carries the same
// curve with the propellant left at each point.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "companion/errors.h"
#include "export/eng_file.h"
#include "export/export_run.h"
#include "export/motor_points.h"
#include "export/rse_file.h"
#include "motor_curves.h"
#include "simulator_readers.h"

namespace kv::exporter {
namespace {

using test::RaspFile;
using test::read_rasp;
using test::read_rse;
using test::TestCurve;

const EngHeader kHeader{"D12", 24, 70, "P", 0.018, 0.0424, "static-fire"};

// Within `share` of `measured`.
::testing::AssertionResult near_share(const char* what, double got, double measured, double share) {
  if (std::fabs(got - measured) <= share * std::fabs(measured)) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << what << " " << got << " is " << 100 * std::fabs(got / measured - 1)
                                       << " % off " << measured;
}

struct Written {
  NfpaFigures nfpa;
  MotorPoints points;
  std::string eng, rse;
};

// The curve written with at most `max_points` points; with `automatic`, more when those
// cannot keep every figure, as the export does when --points is not given.
Written write(const TestCurve& c, std::int64_t max_points, bool automatic = false) {
  Written w;
  w.nfpa = certification_figures(c.F, c.dt);
  const MeasuredFigures m = measured_figures(w.nfpa);
  w.points = export_motor_points(c.F, c.dt, m, max_points, !automatic);
  if (!w.points.problem.empty()) return w;
  EngHeader h = kHeader;
  h.name = w.nfpa.designation;
  w.eng = write_eng_text({"case: test", "title: " + c.name}, h, w.points, m, c.dt);
  w.rse = write_rse_text("a test curve", h, "single-use", w.points, m, c.dt);
  return w;
}

TEST(ExportMotorFiles, EveryCurveReadsInBothSimulatorsAsItsNfpaFigures) {
  for (const TestCurve& c : test::curves()) {
    SCOPED_TRACE(c.name);
    const Written w = write(c, 32, true);
    ASSERT_EQ(w.points.problem, "");
    // 32 points hold all but the noisiest curve sampled at 100 kHz.
    if (c.name != "1e5_points_100kHz") {
      EXPECT_LE(w.points.points.size(), 32u);
    }
    const RaspFile f = read_rasp(w.eng);
    EXPECT_TRUE(f.problems.empty()) << f.problems.front();
    EXPECT_TRUE(f.crlf);
    EXPECT_TRUE(f.closed) << "no ; line after the data";
    ASSERT_EQ(f.header.size(), 7u);
    // Times from 0.1 ms on, at least 0.1 ms apart.
    for (std::size_t k = 0; k < f.points.size(); ++k)
      ASSERT_GE(f.points[k].t - (k ? f.points[k - 1].t : 0.0), 1e-4 * (1 - 1e-9)) << "point " << k;

    const NfpaFigures& n = w.nfpa;
    const test::SimulatorView tc = test::thrustcurve_view(f.points);
    const test::SimulatorView orr = test::openrocket_view(f.points, f.header[0]);
    EXPECT_EQ(orr.name, n.designation);
    for (const test::SimulatorView* v : {&tc, &orr}) {
      EXPECT_TRUE(near_share("total impulse", v->total_impulse, n.total_impulse, 0.005));
      EXPECT_TRUE(near_share("peak", v->peak, n.peak, 0.01));
      EXPECT_TRUE(near_share("burn time", v->burn_time, n.burn_time, 0.003));
    }
    EXPECT_TRUE(near_share("ThrustCurve's average", tc.average, n.total_average(), 0.003));
    EXPECT_TRUE(near_share("OpenRocket's average", orr.average, n.average, 0.003));

    // The .rse: the same points after its t="0" f="0", the mass from the propellant's to 0.
    const test::RseFile r = read_rse(w.rse);
    EXPECT_TRUE(r.problems.empty()) << r.problems.front();
    ASSERT_EQ(r.points.size(), f.points.size() + 1);
    EXPECT_EQ(r.points[0].t, 0.0);
    EXPECT_EQ(r.points[0].F, 0.0);
    for (std::size_t k = 0; k < f.points.size(); ++k) {
      ASSERT_EQ(r.points[k + 1].t, f.points[k].t);
      ASSERT_EQ(r.points[k + 1].F, f.points[k].F);
    }
    EXPECT_EQ(r.masses.front(), 18.0);
    EXPECT_EQ(r.masses.back(), 0.0);
    for (std::size_t k = 1; k < r.masses.size(); ++k) ASSERT_LE(r.masses[k], r.masses[k - 1]) << "mass rises at " << k;
    EXPECT_EQ(r.engine.at("code"), n.designation);
    EXPECT_EQ(r.engine.at("auto-calc-mass"), "1");
    EXPECT_EQ(r.engine.at("auto-calc-cg"), "1");
    EXPECT_TRUE(near_share("Itot", r.number("Itot"), n.total_impulse, 1e-6));
    EXPECT_TRUE(near_share("avgThrust", r.number("avgThrust"), n.average, 1e-6));
    EXPECT_TRUE(near_share("burn-time", r.number("burn-time"), n.burn_time, 1e-6));
    const test::SimulatorView rtc = test::thrustcurve_view({r.points.begin() + 1, r.points.end()});
    EXPECT_TRUE(near_share(".rse burn time", rtc.burn_time, n.burn_time, 0.003));
  }
}

TEST(ExportMotorFiles, TheMassFallsInProportionToTheImpulseDelivered) {
  // 10 N for 1 s, then 20 N for 1 s, straight between: a third of the impulse in the
  // first half.
  const std::vector<EngPoint> pts = {{1e-4, 10}, {1.0, 10}, {1.0001, 20}, {2.0, 20}, {2.0001, 0}};
  const std::vector<double> m = propellant_left(pts, 30.0);
  ASSERT_EQ(m.size(), 6u);
  EXPECT_EQ(m[0], 30.0);
  EXPECT_NEAR(m[2], 30.0 * (1 - 10.0 / 30.0), 1e-3);
  EXPECT_EQ(m[5], 0.0);
}

TEST(ExportMotorFiles, ShapeSurvivesTheCut) {
  for (const TestCurve& c : test::curves()) {
    SCOPED_TRACE(c.name);
    const Written w = write(c, 32, true);
    ASSERT_EQ(w.points.problem, "");
    const RaspFile f = read_rasp(w.eng);
    ASSERT_FALSE(f.points.empty());
    const double origin = w.points.origin;
    const double end = origin + f.points.back().t;
    // The written curve starts at ignition and ends at burn-out, not before or after.
    EXPECT_NEAR(origin, c.ignition, 0.02 * (c.burnout - c.ignition) + c.dt);
    EXPECT_NEAR(end, c.burnout, 0.02 * (c.burnout - c.ignition) + c.dt + 1e-4);
    // Between them, it follows the curve (without its noise) at every sample.
    const std::vector<double>& shape = c.clean.empty() ? c.F : c.clean;
    double worst = 0.0, peak = 0.0;
    for (double v : c.F) peak = std::fmax(peak, v);
    for (std::size_t k = 0; k < shape.size(); ++k) {
      const double t = static_cast<double>(k) * c.dt - origin;
      if (t <= std::fmax(c.dt, 1e-4) || t >= f.points.back().t) continue;
      worst = std::fmax(worst, std::fabs(f.at(t) - test::cut(shape[k])));
    }
    EXPECT_LE(worst, c.shape_tolerance * peak) << "the written curve strays " << worst << " N";
  }
}

TEST(ExportMotorFiles, PointsZeroKeepsEverySampleOnAGridOfAtLeastATenthOfAMillisecond) {
  for (const TestCurve& c : test::curves()) {
    SCOPED_TRACE(c.name);
    const Written w = write(c, 0);
    ASSERT_EQ(w.points.problem, "");
    const RaspFile f = read_rasp(w.eng);
    EXPECT_TRUE(f.problems.empty()) << f.problems.front();
    const double step = c.dt >= 1e-4 ? c.dt : std::ceil(1e-4 / c.dt - 1e-9) * c.dt;
    // Every step on the grid, but where a reading of zero was left out, after a first
    // point 0.1 ms off the origin and before a zero 0.1 ms after a curve cut off.
    for (std::size_t k = 1; k < f.points.size(); ++k) {
      const double gap = (f.points[k].t - f.points[k - 1].t) / step;
      const bool last = k + 1 == f.points.size();
      ASSERT_TRUE(std::fabs(gap - std::round(gap)) < 1e-6 || (last && std::fabs(f.points[k].t - f.points[k - 1].t - 1e-4) < 1e-9))
          << "between points " << k - 1 << " and " << k << ": " << gap << " steps";
      ASSERT_GT(f.points[k - 1].F, 0.0);
    }
  }
}

TEST(ExportMotorFiles, EndsThatNeedAPointOfTheirOwn) {
  const auto points = [](const std::vector<double>& F, double dt) {
    const NfpaFigures n = certification_figures(F, dt);
    return motor_points(F, dt, measured_figures(n), 0);
  };
  {
    SCOPED_TRACE("first point above the no-thrust level: 0.1 ms off the origin, the rest after it");
    const MotorPoints e = points({50, 40, 30, 20, 10, 0}, 0.1);
    ASSERT_GE(e.points.size(), 2u);
    EXPECT_DOUBLE_EQ(e.points[0].t, 1e-4);
    EXPECT_EQ(e.points[0].F, 50);
    EXPECT_DOUBLE_EQ(e.points[1].t, 0.1001);
    EXPECT_FALSE(e.notes.empty());
  }
  {
    SCOPED_TRACE("last point above the level: a zero 0.1 ms after it");
    const MotorPoints e = points({0, 10, 20, 20}, 0.1);
    ASSERT_EQ(e.points.size(), 4u);
    EXPECT_DOUBLE_EQ(e.points[2].t, 0.3);
    EXPECT_DOUBLE_EQ(e.points[3].t, 0.3001);
    EXPECT_EQ(e.points[3].F, 0.0);
  }
  {
    SCOPED_TRACE("zero or negative thrust before the end is left out");
    const MotorPoints e = points({0, 10, 0, 10, -1, 10, 0}, 0.1);
    for (std::size_t k = 0; k + 1 < e.points.size(); ++k) EXPECT_GT(e.points[k].F, 0.0) << k;
    EXPECT_FALSE(e.notes.empty());
  }
}

TEST(ExportMotorFiles, TooFewPointsNameANumberThatHolds) {
  for (const std::int64_t limit : {2, 3, 6}) {
    SCOPED_TRACE(limit);
    const TestCurve c = test::long_regressive_burn();
    const Written w = write(c, limit);
    ASSERT_NE(w.points.problem, "");
    ASSERT_GT(w.points.points_needed, static_cast<std::size_t>(limit));
    const Written enough = write(c, static_cast<std::int64_t>(w.points.points_needed));
    EXPECT_EQ(enough.points.problem, "");
  }
  for (const std::vector<double>& F : {std::vector<double>{}, {0, 0, 0}, {-1, -3, 0}})
    EXPECT_THROW(motor_points(F, 0.01, MeasuredFigures{}, 32), companion::DataError);
}

TEST(ExportMotorFiles, TheWritersCheckRefusesTextsThatBreakTheReadersRules) {
  const std::string head = "D12 24 70 P 0.018 0.018 x\r\n";
  // Measured: 5 N from 0.05 s to 0.15 s with ramps of 0.05 s.
  const std::vector<double> F = {0, 5, 5, 0};
  const MeasuredFigures m = measured_figures(certification_figures(F, 0.05));
  struct Row {
    const char* name;
    std::string text;
  };
  const Row rows[] = {
      {"a point at time 0", head + "   0 5\r\n   0.1 5\r\n   0.15 0\r\n;\r\n"},
      {"two times 50 us apart", head + "   0.05 5\r\n   0.10005 5\r\n   0.1 5\r\n   0.15 0\r\n;\r\n"},
      {"no final zero", head + "   0.05 5\r\n   0.1 5\r\n;\r\n"},
      {"zero thrust before the end", head + "   0.05 5\r\n   0.07 0\r\n   0.1 5\r\n   0.15 0\r\n;\r\n"},
      {"no closing ;", head + "   0.05 5\r\n   0.1 5\r\n   0.15 0\r\n"},
      {"a byte other than ASCII", "; t\xE9st\r\n" + head + "   0.05 5\r\n   0.1 5\r\n   0.15 0\r\n;\r\n"},
      {"a bare CR in a comment", "; a\rD13 1 1 P 1 1 x\r\n" + head + "   0.05 5\r\n   0.1 5\r\n   0.15 0\r\n;\r\n"},
      {"a diameter in metres", "D12 0.024 70 P 0.018 0.018 x\r\n   0.05 5\r\n   0.1 5\r\n   0.15 0\r\n;\r\n"},
      {"propellant above the total", "D12 24 70 P 0.018 0.01 x\r\n   0.05 5\r\n   0.1 5\r\n   0.15 0\r\n;\r\n"},
      {"an exponent", head + "   5e-2 5\r\n   0.1 5\r\n   0.15 0\r\n;\r\n"},
      {"the impulse too far off", head + "   0.05 5\r\n   0.06 0\r\n;\r\n"},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    EXPECT_THROW(check_eng_text(r.text, m), companion::DataError);
  }
  EXPECT_NO_THROW(check_eng_text(head + "   0.05 5\r\n   0.1 5\r\n   0.15 0\r\n;\r\n", m));
}

TEST(ExportMotorFiles, HeaderValuesThatReadersRefuseOrMisread) {
  struct Row {
    const char* text;
    bool is_name;
    bool ok;
  };
  const Row fields[] = {
      {"D12", true, true},     {"1/2A3", true, true}, {"static-fire", false, true}, {"H128-W", true, false},
      {"D 12", true, false},   {"D\t12", false, false}, {"", true, false},          {"D\xE9", true, false},
      {"A;B", false, false},
  };
  for (const Row& r : fields) {
    SCOPED_TRACE(r.text);
    EXPECT_EQ(header_field_problem(r.text, r.is_name).empty(), r.ok);
  }
  for (const char* ok : {"P", "0", "3-5-7", "10", "98"}) EXPECT_EQ(delays_problem(ok), "") << ok;
  for (const char* bad : {"", "p", "-3", "3-", "3--5", "3 5", "P-3", "99", "3-120"}) EXPECT_NE(delays_problem(bad), "") << bad;
  struct Value {
    const char* name;
    std::string problem;
    bool ok;
  };
  const Value values[] = {
      {"24 mm", size_problem(24), true},          {"1 mm", size_problem(1), true},
      {"0.024 mm (metres)", size_problem(0.024), false}, {"1001 mm", size_problem(1001), false},
      {"NaN mm", size_problem(std::nan("")), false},  {"0.1 g", propellant_problem(0.0001), true},
      {"0.09 g", propellant_problem(0.00009), false}, {"1 g total", total_mass_problem(0.001, 0.0001), true},
      {"0.9 g total", total_mass_problem(0.0009, 0.0001), false},
      {"total below propellant", total_mass_problem(0.02, 0.03), false},
  };
  for (const Value& v : values) {
    SCOPED_TRACE(v.name);
    EXPECT_EQ(v.problem.empty(), v.ok) << v.problem;
  }
  EXPECT_NE(size_problem(0.024).find("millimetres"), std::string::npos);
}

TEST(ExportMotorFiles, TimesGetDigitsEnoughForTheSamplingRate) {
  struct Row {
    double dt;
    int decimals;
  };
  for (const Row& r : {Row{0.001, 6}, Row{0.01, 5}, Row{1.0 / 3.0, 4}, Row{1.0 / 3000.0, 7}, Row{1e-5, 8}, Row{1.0, 4}}) {
    SCOPED_TRACE(r.dt);
    EXPECT_EQ(time_decimals(r.dt), r.decimals);
  }
}

}  // namespace
}  // namespace kv::exporter
