// --check-motor over a seeded file per rule: each broken rule is found on its line and
// put down to the reader that rejects the file or reads it differently; a clean file, and
// every file the export writes, pass; the figures are those each reader shows.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "export/motor_check.h"

namespace kv::exporter {
namespace {

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

const std::string kHead = "; a motor\r\nD12 24 70 P 0.018 0.0424 maker\r\n";
const std::string kPoints = "   0.05 10\r\n   0.1 30\r\n   1.5 10\r\n   1.6 0\r\n";
const std::string kClean = kHead + kPoints + ";\r\n";

const std::string kRseHead =
    "<engine-database>\r\n<engine-list>\r\n<engine code=\"D12\" mfg=\"m\" delays=\"P\" dia=\"24\" len=\"70\" "
    "initWt=\"42.4\" propWt=\"18\" Type=\"single-use\" Itot=\"19\" avgThrust=\"12\" peakThrust=\"30\" "
    "burn-time=\"1.5\" massFrac=\"42\" Isp=\"107\" auto-calc-mass=\"1\" auto-calc-cg=\"1\">\r\n<data>\r\n";
const std::string kRseData =
    "<eng-data t=\"0\" f=\"0\" m=\"18\"/>\r\n<eng-data t=\"0.05\" f=\"10\" m=\"17.9\"/>\r\n"
    "<eng-data t=\"0.1\" f=\"30\" m=\"17\"/>\r\n<eng-data t=\"1.6\" f=\"0\" m=\"0\"/>\r\n";
const std::string kRseTail = "</data>\r\n</engine>\r\n</engine-list>\r\n</engine-database>\r\n";

TEST(ExportCheckMotor, EachBrokenRuleIsFoundOnItsLineAndPutDownToItsReader) {
  struct Row {
    const char* rule;
    std::string text;
    std::size_t line;
    const char* says;
    const char* reader;
  };
  const Row rows[] = {
      {"a header of 6 fields", "D12 24 70 P 0.018 0.0424\r\n" + kPoints, 1, "6 fields, not 7", "ThrustCurve and OpenRocket reject"},
      {"a blank inside the maker", "D12 24 70 P 0.018 0.0424 my shop\r\n" + kPoints, 1, "8 fields", "reject"},
      {"an exponent", kHead + "   5e-2 10\r\n   0.1 30\r\n   1.6 0\r\n", 3, "has an exponent", "ThrustCurve rejects"},
      {"a number no reader parses", kHead + "   0,05 10\r\n   0.1 30\r\n   1.6 0\r\n", 3, "is no number", "reject"},
      {"a repeated time", kHead + "   0.05 10\r\n   0.05 30\r\n   1.6 0\r\n", 4, "a time repeated", "not after previous point"},
      {"a time that goes back", kHead + "   0.1 10\r\n   0.05 30\r\n   1.6 0\r\n", 4, "goes back", "ThrustCurve rejects"},
      {"a step under 10 us", kHead + "   0.05 10\r\n   0.050005 30\r\n   1.6 0\r\n", 4, "under 10 us", "ThrustCurve rejects"},
      {"a step under 50 us", kHead + "   0.05 10\r\n   0.05003 30\r\n   1.6 0\r\n", 4, "under 50 us", "merges"},
      {"an explicit (0, 0)", kHead + "   0 0\r\n" + kPoints, 3, "explicit (0, 0)", "first time ... not positive"},
      {"a first point at 0 s", kHead + "   0 5\r\n" + kPoints, 3, "a first point at 0 s", "ThrustCurve rejects"},
      {"zero thrust before the end", kHead + "   0.05 10\r\n   0.1 0\r\n   0.2 30\r\n   1.6 0\r\n", 4,
       "zero thrust before the end", "take it for the end of the burn"},
      {"no closing zero", kHead + "   0.05 10\r\n   0.1 30\r\n   1.6 5\r\n", 5, "the last thrust is not zero", "closing zero"},
      {"more than 32 points",
       [] {
         std::string s = kHead;
         for (int k = 1; k <= 40; ++k) s += "   " + std::to_string(k) + " " + (k == 40 ? "0" : "10") + "\r\n";
         return s;
       }(),
       0, "40 points, more than 32", "old RASP readers"},
      {"a tab between time and thrust", kHead + "   0.05\t10\r\n   0.1 30\r\n   1.6 0\r\n", 3, "a tab", "crashed on tabs"},
      {"a diameter in metres", "D12 0.024 70 P 0.018 0.0424 m\r\n" + kPoints, 1, "below 1 mm", "ThrustCurve rejects"},
      {"a propellant mass under 0.1 g", "D12 24 70 P 0.00001 0.0424 m\r\n" + kPoints, 1, "below 0.1 g", "ThrustCurve rejects"},
      {"a total mass under 1 g", "D12 24 70 P 0.0001 0.0005 m\r\n" + kPoints, 1, "below 1 g", "ThrustCurve rejects"},
      {"propellant above the total mass", "D12 24 70 P 0.05 0.0424 m\r\n" + kPoints, 1, "above the total mass",
       "OpenRocket rejects"},
      {"a delay of 99 s", "D12 24 70 3-99 0.018 0.0424 m\r\n" + kPoints, 1, "a delay of 99 s", "OpenRocket drops it"},
      {"text in Windows-1252", "; Motor D12 \x96 ensaio\r\n" + kHead + kPoints, 1, "text other than ASCII", "UTF-8"},
      {"a bare CR in a comment", "; title\rD99 1 1 P 1 1 x\r\n" + kHead + kPoints, 1, "control character", "CR"},
      {"a second motor without a ; line", kHead + kPoints + "E20 24 70 P 0.02 0.05 m\r\n   0.1 20\r\n   1 0\r\n", 7,
       "not a point", "Data should only have 2 entries"},
      {"a .rse with two engines",
       kRseHead + kRseData + "</data>\r\n</engine>\r\n<engine code=\"E1\" mfg=\"m\">\r\n<data>\r\n" + kRseData + kRseTail, 11,
       "a second <engine>", "ThrustCurve rejects"},
      {"a .rse without propWt", [] {
         std::string s = kRseHead + kRseData + kRseTail;
         s.erase(s.find(" propWt=\"18\""), 12);
         return s;
       }(), 3, "no propWt", "reject"},
      {"a .rse without code", [] {
         std::string s = kRseHead + kRseData + kRseTail;
         s.erase(s.find(" code=\"D12\""), 11);
         return s;
       }(), 3, "no code", "OpenRocket rejects"},
      {"a .rse whose time goes back",
       kRseHead + "<eng-data t=\"0\" f=\"0\" m=\"18\"/>\r\n<eng-data t=\"0.1\" f=\"10\" m=\"17\"/>\r\n"
                  "<eng-data t=\"0.05\" f=\"30\" m=\"16\"/>\r\n<eng-data t=\"1.6\" f=\"0\" m=\"0\"/>\r\n" + kRseTail,
       7, "goes back", "OpenRocket"},
      {"a .rse whose mass rises",
       kRseHead + "<eng-data t=\"0\" f=\"0\" m=\"18\"/>\r\n<eng-data t=\"0.1\" f=\"10\" m=\"19\"/>\r\n"
                  "<eng-data t=\"1.6\" f=\"0\" m=\"0\"/>\r\n" + kRseTail,
       6, "the mass m rises", "gains propellant"},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.rule);
    const MotorCheck c = check_motor(r.text);
    bool found = false;
    for (const MotorProblem& p : c.problems)
      if (contains(p.rule, r.says)) {
        found = true;
        EXPECT_EQ(p.line, r.line) << p.rule;
        EXPECT_TRUE(contains(p.readers, r.reader)) << p.readers;
      }
    EXPECT_TRUE(found) << motor_check_report(c, "f");
    // The report gives the file and the line of each.
    if (r.line > 0) {
      EXPECT_TRUE(contains(motor_check_report(c, "f.eng"), "f.eng:" + std::to_string(r.line) + ": "));
    }
  }
}

TEST(ExportCheckMotor, ACleanFileBreaksNoRuleAndShowsWhatEachReaderShows) {
  const MotorCheck c = check_motor(kClean);
  EXPECT_TRUE(c.problems.empty()) << c.problems.front().rule;
  EXPECT_TRUE(c.notes.empty());
  EXPECT_EQ(c.name, "D12");
  // 0.05 s up to 10 N, 0.05 s up to 30 N, 1.4 s down to 10 N, 0.1 s to 0: 0.25 + 1 + 28 + 0.5.
  EXPECT_NEAR(c.openrocket.total_impulse, 29.75, 1e-12);
  EXPECT_NEAR(c.thrustcurve.total_impulse, 29.75, 1e-12);
  EXPECT_EQ(c.openrocket.peak, 30.0);
  // 5 % of 30 N = 1.5 N: crossed at 0.0075 s and 1.585 s.
  EXPECT_NEAR(c.openrocket.burn_time, 1.585 - 0.0075, 1e-12);
  EXPECT_NEAR(c.thrustcurve.average, 29.75 / (1.585 - 0.0075), 1e-9);
  EXPECT_LT(c.openrocket.average, c.thrustcurve.average);
  // ThrustCurve names it from the total impulse over the last point's time: E19.
  EXPECT_EQ(c.thrustcurve_name, "E19");
  const std::string report = motor_check_report(c, "d12.eng");
  EXPECT_TRUE(contains(report, "no problem found")) << report;
  EXPECT_TRUE(contains(report, "ThrustCurve")) << report;

  const MotorCheck r = check_motor(kRseHead + kRseData + kRseTail);
  EXPECT_TRUE(r.problems.empty()) << r.problems.front().rule;
  EXPECT_TRUE(r.rse);
  EXPECT_EQ(r.points.size(), 4u);
}

TEST(ExportCheckMotor, AFileWithoutAClosingSemicolonGetsANoteOnly) {
  const MotorCheck c = check_motor(kHead + kPoints);
  EXPECT_TRUE(c.problems.empty());
  ASSERT_EQ(c.notes.size(), 1u);
  EXPECT_TRUE(contains(c.notes[0].readers, "OpenRocket")) << c.notes[0].readers;
}

}  // namespace
}  // namespace kv::exporter
