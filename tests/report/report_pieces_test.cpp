// The pieces of the pages: the curve cut down for drawing keeps every extreme, the axes'
// steps, the texts escaped, the dates; and a large firing's page stays small.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "report/chart.h"
#include "report/firing.h"
#include "report_fixture.h"

namespace kv::report {
namespace {

// A one-sample spike and a one-sample dip among 10^5 noisy samples, and a curve that
// starts before the drawing: the spike and the dip are drawn, nothing outside the range
// is, and no column holds more than two points.
TEST(Decimate, KeepsEveryColumnsExtremesInOrder) {
  std::vector<double> F(100000);
  for (std::size_t k = 0; k < F.size(); ++k) F[k] = 10.0 + std::sin(static_cast<double>(k) * 0.37);
  F[31234] = 55.0;
  F[77777] = -8.0;
  const double t0 = -0.5, dt = 1e-4;  // -0.5 s to 9.5 s
  const std::vector<Point> p = decimate(F, t0, dt, 0.0, 9.0, 700);
  ASSERT_FALSE(p.empty());
  EXPECT_LE(p.size(), 1400u);
  bool spike = false, dip = false;
  for (std::size_t i = 0; i < p.size(); ++i) {
    EXPECT_GE(p[i].x, 0.0);
    EXPECT_LE(p[i].x, 9.0);
    if (i > 0) {
      EXPECT_GT(p[i].x, p[i - 1].x) << "points in time order";
    }
    spike = spike || p[i].y == 55.0;
    dip = dip || p[i].y == -8.0;
  }
  EXPECT_TRUE(spike);
  EXPECT_TRUE(dip);
  // Fewer samples than columns: every sample stays.
  const std::vector<double> few = {0, 3, 1, 4};
  EXPECT_EQ(decimate(few, 0.0, 1.0, 0.0, 3.0, 700).size(), 4u);
  EXPECT_TRUE(decimate({}, 0.0, 1.0, 0.0, 3.0, 700).empty());
}

TEST(ChartText, StepsEscapesAndDates) {
  const struct {
    double span;
    int ticks;
    double step;
  } steps[] = {{3.5, 10, 0.5}, {30, 6, 5}, {1, 10, 0.1}, {0.012, 6, 0.002}, {1200, 6, 200}, {0, 6, 1}};
  for (const auto& c : steps) EXPECT_DOUBLE_EQ(tick_step(c.span, c.ticks), c.step) << c.span;
  EXPECT_EQ(escape("a<b & \"c\">"), "a&lt;b &amp; &quot;c&quot;&gt;");
  const struct {
    std::int64_t ns;
    const char* text;
  } dates[] = {{0, "1970-01-01 00:00 UTC"},
               {951782400LL * 1000000000, "2000-02-29 00:00 UTC"},
               {1797000000LL * 1000000000 + 999999999, "2026-12-11 14:40 UTC"},
               {-1 * 1000000000LL, "1969-12-31 23:59 UTC"}};
  for (const auto& d : dates) EXPECT_EQ(utc_text(d.ns), d.text) << d.ns;
}

// 10^5 samples at 10 kHz: the page stays under 300 kB, whatever the curve's length.
TEST(FiringPage, LargeFiringGivesASmallPage) {
  test::ReportDir dir;
  test::CaseFile c;
  c.original = "'cell.txt'";
  c.ti = "0.5";
  c.tf = "9.0";
  c.w = "10000";
  c.nmax = "200000";
  c.M = "0.030";
  c.caso = "large";
  std::string samples;
  for (long n = 0; n < 100000; ++n) {
    const double t = static_cast<double>(n) / 10000.0;
    const double s = t - 1.0;
    const double F = s <= 0 || s >= 7.0 ? 0.01 * std::sin(t * 91.0) : 40.0 * (1.0 - s / 8.0) + 0.3 * std::sin(t * 917.0);
    samples += test::fixed(t, 4) + "  " + test::fixed(F, 5) + "\r\n";
  }
  test::put_case_folder(dir, c, samples, std::nullopt, "case.txt", "cell.txt");
  ASSERT_EQ(dir.run_program(), 0);
  const test::Outcome r = dir.run_report({"."});
  ASSERT_EQ(r.status, 0) << r.err;
  const std::string page = dir.get("large_report.html");
  EXPECT_LT(page.size(), 300000u);
  EXPECT_NE(page.find("<polyline class=\"curve\""), std::string::npos);
}

}  // namespace
}  // namespace kv::report
