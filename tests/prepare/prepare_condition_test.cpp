// prepare's conditioning in this process, over the points of a record as a table of
// cases: the tare, the burn, the window on the grid and the impulses, each against what
// the record was made of.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "companion/errors.h"
#include "prepare/condition.h"
#include "prepare_support.h"

namespace kv::prepare {
namespace {

// The motor of prepare_support.h, ignited at 1 s: 0.42 + 31.51 + 0.54 N s.
constexpr double kImpulse = 0.5 * 28.0 * 0.03 + 0.5 * (28.0 + 18.0) * 1.37 + 0.5 * 18.0 * 0.06;

// A record from 0 to 3.5 s every `step` seconds: a baseline of `base` N drifting by
// `drift` N/s, the motor (scaled), and a little noise.
std::vector<Point> record(double step, double base = 0.0, double drift = 0.0, double scale = 1.0) {
  std::vector<Point> pts;
  test::Noise noise(7);
  for (long i = 0;; ++i) {
    const double t = static_cast<double>(i) * step;
    if (t > 3.5) break;
    pts.push_back({t, base + drift * t + test::motor(t - 1.0, scale) + noise(0.02)});
  }
  return pts;
}

struct Case {
  const char* name;
  std::vector<Point> points;
  double step;
  ConditionOptions options;
  std::function<void(const Prepared&)> check;
};
void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

ConditionOptions with(std::function<void(ConditionOptions&)> set) {
  ConditionOptions o;
  set(o);
  return o;
}

bool says(const Prepared& p, const std::string& text) {
  for (const std::string& w : p.warnings)
    if (w.find(text) != std::string::npos) return true;
  return false;
}

std::vector<Case> cases() {
  return {
      {"OffsetTaredBeforeIgnition", record(0.001, -2.0), 0.001, {},
       [](const Prepared& p) {
         EXPECT_EQ(p.tare, Tare::pre);
         ASSERT_TRUE(p.pre);
         EXPECT_NEAR(p.pre->mean, -2.0, 0.01);
         EXPECT_NEAR(p.t_ignition, 1.0015, 0.0005);  // 5 % of the 28 N peak, on the rise
         EXPECT_NEAR(p.t_burnout, 2.4 + 0.06 * (1 - 1.4 / 18.0), 0.002);  // 5 % on the tail-off
         EXPECT_EQ(p.rate, 1000);
         EXPECT_NEAR(p.ti, p.t_ignition, 0.0005 + 1e-9);  // the crossing's nearest point of the grid
         EXPECT_NEAR(p.impulse_program, kImpulse, 0.002 * kImpulse);
         EXPECT_TRUE(p.warnings.empty()) << p.warnings.front();
       }},
      {"DriftTakenOutByTheLinearTare", record(0.001, 0.5, 0.4), 0.001, with([](ConditionOptions& o) { o.tare = Tare::linear; }),
       [](const Prepared& p) {
         EXPECT_EQ(p.tare, Tare::linear);
         ASSERT_TRUE(p.pre && p.post);
         EXPECT_NEAR(p.impulse_program, kImpulse, 0.003 * kImpulse);
         EXPECT_FALSE(says(p, "drifted"));
       }},
      {"DriftLeftInByTheTareBeforeIgnition", record(0.001, 0.5, 0.4), 0.001,
       with([](ConditionOptions& o) { o.tare_given = true; }),
       [](const Prepared& p) {
         EXPECT_EQ(p.tare, Tare::pre);
         EXPECT_TRUE(says(p, "--tare linear"));
       }},
      {"NoTare", record(0.001), 0.001, with([](ConditionOptions& o) { o.tare = Tare::none; }),
       [](const Prepared& p) {
         EXPECT_EQ(p.tare, Tare::none);
         EXPECT_FALSE(p.pre);
         EXPECT_NEAR(p.impulse_program, kImpulse, 0.002 * kImpulse);
       }},
      {"WindowGiven", record(0.001), 0.001, with([](ConditionOptions& o) { o.window = std::make_pair(0.9, 2.6); }),
       [](const Prepared& p) {
         EXPECT_TRUE(p.window_given);
         EXPECT_EQ(p.ti, 0.9);
         EXPECT_EQ(p.tf, 2.6);
         EXPECT_EQ(p.window_points(), 1701);
         EXPECT_NEAR(p.impulse_program, kImpulse, 0.002 * kImpulse);
       }},
      {"AFastLoggerKeepsItsRate", record(0.0002), 0.0002, {},
       [](const Prepared& p) {
         EXPECT_EQ(p.rate, 5000);
       }},
      {"ASlowLoggerOnTheDefaultGrid", record(1.0 / 50), 1.0 / 50, {},
       [](const Prepared& p) {
         EXPECT_EQ(p.rate, 1000);
         // Resampled linearly, the grid keeps the logger's own trapezoid.
         EXPECT_NEAR(p.impulse_grid, p.impulse_logger, 1e-6 * p.impulse_logger);
       }},
      {"TheCutOffRaisesTheProgramsImpulse", record(0.001, -2.0), 0.001, with([](ConditionOptions& o) { o.cutoff = 1.0; }),
       [](const Prepared& p) { EXPECT_GT(p.impulse_program, p.impulse_grid); }},
  };
}

class PrepareCondition : public ::testing::TestWithParam<Case> {};

TEST_P(PrepareCondition, TareBurnWindowAndGrid) {
  const Case& c = GetParam();
  const Prepared p = condition_points(c.points, c.step, c.options, "log.csv");
  // Whatever the case, the window lies on the grid, the written points reach beyond it,
  // and the grid's trapezoid follows the logger's.
  EXPECT_EQ(p.ti, p.time(p.i0));
  EXPECT_EQ(p.tf, p.time(p.i1));
  EXPECT_LT(p.ia, p.i0);
  EXPECT_GT(p.ib, p.i1);
  EXPECT_EQ(p.F.size(), static_cast<std::size_t>(p.ib - p.ia + 1));
  EXPECT_NEAR(p.impulse_grid, p.impulse_logger, 0.001 * std::abs(p.impulse_logger));
  c.check(p);
}

INSTANTIATE_TEST_SUITE_P(Records, PrepareCondition, ::testing::ValuesIn(cases()),
                         [](const auto& p) { return std::string(p.param.name); });

TEST(PrepareCondition, RecordsWithoutAFiringAreDataProblems) {
  struct Row {
    const char* name;
    std::vector<Point> points;
    const char* says;
  };
  const Row rows[] = {
      {"flat", {{0.0, 1.0}, {0.1, 1.0}, {0.2, 1.0}, {0.3, 1.0}}, "no firing in the record"},
      {"one point", {{0.0, 1.0}}, "fewer than two points"},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    try {
      condition_points(r.points, 0.001, {}, "log.csv");
      ADD_FAILURE() << "no refusal";
    } catch (const companion::DataError& e) {
      EXPECT_NE(std::string(e.what()).find(r.says), std::string::npos) << e.what();
    }
  }
}

}  // namespace
}  // namespace kv::prepare
