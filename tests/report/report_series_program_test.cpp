// The series as a user runs it: firings made from the example, then the report on their
// folders or on a series file; the sheet's page, its CSV and its table agree, and the
// representative motor file passes the export's own check.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "report_fixture.h"

namespace kv::test {
namespace {

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

class ReportSeries : public ::testing::Test {
 protected:
  void SetUp() override {
    const Outcome made = run_in(dir.dir(), {fs::path(KV_SOURCE_DIR) / "tools" / "example_series.sh", KV_PROGRAM,
                                            dir.path("s"), "4"});
    ASSERT_EQ(made.status, 0) << made.err;
  }
  Outcome report(const std::vector<std::string>& args) const {
    std::vector<std::string> argv = {KV_REPORT};
    argv.insert(argv.end(), args.begin(), args.end());
    return run_in(dir.dir() / "s", argv, kNoLaunches);
  }
  TempDir dir{"kv_report_series_"};
};

// Each firing's total impulse in the page is the one its own firing page prints, and the
// page's AVG is the table's.
TEST_F(ReportSeries, SheetAgreesWithEachFiringsPageAndTheTable) {
  const Outcome r = report({"firing1", "firing2", "firing3", "firing4"});
  ASSERT_EQ(r.status, 0) << r.err;
  const std::string page = read_bytes(dir.dir() / "s" / "series_report.html");
  const std::string csv = read_bytes(dir.dir() / "s" / "series.csv");
  ASSERT_FALSE(page.empty());
  EXPECT_TRUE(contains(csv, "\r\n"));
  for (int k = 1; k <= 4; ++k) {
    const std::string folder = (dir.dir() / "s" / ("firing" + std::to_string(k))).string();
    ASSERT_EQ(report({folder, "--html", dir.path("one.html")}).status, 0);
    const std::string one = read_bytes(dir.path("one.html"));
    const std::string impulse = element_text(one, "nfpa-total-impulse");
    const auto row = page.find("id=\"row-" + std::to_string(k) + "\"");
    ASSERT_NE(row, std::string::npos);
    EXPECT_NE(page.find(">" + impulse + "<", row), std::string::npos) << "firing " << k << ": " << impulse;
    // Its U, as its page states it, beside it.
    const std::string U = element_text(one, "nfpa-U-total-impulse");
    ASSERT_FALSE(U.empty());
    EXPECT_NE(page.find(">" + U + "<", row), std::string::npos) << "firing " << k << ": " << U;
    EXPECT_TRUE(contains(r.out, " " + impulse + " ")) << impulse;
  }
  const auto avg = page.find("id=\"avg\"");
  ASSERT_NE(avg, std::string::npos);
  const auto cell = page.find("<td class=\"num\">", avg) + 16;
  const std::string mean = page.substr(cell, page.find('<', cell) - cell);
  std::string table_avg;
  for (const std::string& line : lines(r.out))
    if (line.rfind("  AVG ", 0) == 0) table_avg = line;
  EXPECT_TRUE(contains(table_avg, " " + mean + " ")) << mean << " | " << table_avg;
  // What the stand makes of the spread, the same in the page and the table.
  const std::string stand = element_text(page, "stand");
  EXPECT_TRUE(contains(stand, "The stand: its uncertainty from firing to firing")) << stand;
  EXPECT_TRUE(contains(r.out, "  the stand: its uncertainty from firing to firing")) << r.out;
}

TEST_F(ReportSeries, SeriesFileJsonAndRepresentativeMotor) {
  const Outcome r = report({"--series", "series.txt", "--json", "--eng", "d12_series.eng", "--diameter", "24",
                            "--length", "70", "--total-mass", "0.0424"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out.front(), '{');
  EXPECT_TRUE(contains(r.out, "\"designation\": \"D12\"")) << r.out.substr(0, 400);
  const Outcome check = run_in(dir.dir() / "s", {KV_EXPORT, "--check-motor", "d12_series.eng"});
  EXPECT_EQ(check.status, 0) << check.out << check.err;
}

TEST_F(ReportSeries, ErrorsAndTheirStatuses) {
  write_bytes(dir.dir() / "s" / "one.txt", "firing1 motor=D12\n");
  const struct {
    std::vector<std::string> args;
    int status;
    const char* says;
  } cases[] = {
      {{"--series", "one.txt"}, 1, ""},
      {{"--series", "series.txt", "firing1"}, 2, "give no case folder besides it"},
      {{"firing1", "firing2", "--eng", "x.eng"}, 2, "--diameter"},
      {{"firing1", "no-such-folder"}, 1, "does not exist"},
      {{"firing1", "firing2", "--html", "firing2/motor_d12.txt"}, 1, "names one of the files of the case firing2"},
  };
  for (const auto& c : cases) {
    const Outcome r = report(c.args);
    EXPECT_EQ(r.status, c.status) << c.args.front() << ": " << r.err;
    EXPECT_TRUE(contains(r.err, c.says)) << r.err;
    EXPECT_FALSE(fs::exists(dir.dir() / "s" / "series_report.html")) << c.args.front();
    EXPECT_FALSE(fs::exists(dir.dir() / "s" / "x.eng"));
  }
  EXPECT_EQ(read_bytes(dir.dir() / "s" / "firing2" / "motor_d12.txt"),
            read_bytes(fs::path(KV_SOURCE_DIR) / "examples" / "motor_d12.txt"));
}

}  // namespace
}  // namespace kv::test
