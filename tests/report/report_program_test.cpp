// The report as a user runs it: the real program on the shipped example first, then the
// report on the case folder. The page's numbers against the summary report's and the
// export's, the page standing alone, the case left as it was, and the command line's
// errors.
#include <gtest/gtest.h>

#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "companion/number_text.h"
#include "companion/sha256.h"
#include "report_fixture.h"

namespace kv::test {
namespace {

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

std::string trim(std::string s) {
  const auto a = s.find_first_not_of(' ');
  if (a == std::string::npos) return "";
  return s.substr(a, s.find_last_not_of(' ') - a + 1);
}

// A row of the export's figures table: its window and NFPA 1125 columns, as printed.
std::pair<std::string, std::string> table_row(const std::string& table, const std::string& label) {
  for (const std::string& line : lines(table))
    if (line.rfind("  " + label, 0) == 0 && line.size() > 40)
      return {trim(line.substr(24, 16)), trim(line.substr(40, 16))};
  return {};
}

// A number of the summary report as the export's table prints it: 7 significant digits.
std::string report_figure(const std::string& report, const std::string& label) {
  return companion::significant(number_after(report, label), 7);
}

class ReportShippedExample : public ::testing::Test {
 protected:
  void SetUp() override {
    dir.put_example();
    ASSERT_EQ(dir.run_program(), 0);
    for (const auto& e : fs::directory_iterator(dir.dir())) before[e.path().filename().string()] = read_bytes(e.path());
    const Outcome r = dir.run_report({"."});
    ASSERT_EQ(r.status, 0) << r.err;
    page = dir.get("motor_d12_report.html");
    ASSERT_FALSE(page.empty());
    report = dir.get("motor_d12_saida_A.txt");
  }
  ReportDir dir;
  std::map<std::string, std::string> before;
  std::string page, report;
};

// Every figure that the export's table also prints is printed with the same digits, in
// both columns; the window's other figures are the summary report's.
TEST_F(ReportShippedExample, FiguresAreTheExportsAndTheSummaryReportsDigitForDigit) {
  const Outcome e = dir.run_export({"--no-eng"});
  ASSERT_EQ(e.status, 0) << e.err;
  const struct {
    const char* label;
    const char* id;
  } rows[] = {{"total impulse (N s)", "total-impulse"}, {"burn time (s)", "burn-time"},
              {"average thrust (N)", "average-thrust"}, {"designation", "designation"}};
  for (const auto& row : rows) {
    const auto [window, nfpa] = table_row(e.out, row.label);
    ASSERT_FALSE(nfpa.empty()) << row.label << "\n" << e.out;
    EXPECT_EQ(element_text(page, std::string("window-") + row.id), window) << row.label;
    EXPECT_EQ(element_text(page, std::string("nfpa-") + row.id), nfpa) << row.label;
  }
  EXPECT_EQ(element_text(page, "nfpa-peak"), table_row(e.out, "peak thrust (N)").second);
  EXPECT_EQ(element_text(page, "designation"), "D12");

  EXPECT_EQ(element_text(page, "window-total-impulse"), report_figure(report, "It  = impulso total real (Ns) ="));
  EXPECT_EQ(element_text(page, "window-average-thrust"), report_figure(report, "Fmed   = empuxo m\xE9" "dio (N) ="));
  EXPECT_EQ(element_text(page, "window-exhaust-velocity"),
            report_figure(report, "c   = velocidade de exaust\xE3o efetiva m\xE9" "dia (m/s) ="));
  EXPECT_EQ(element_text(page, "window-specific-impulse"),
            report_figure(report, "Is  = impulso espec\xED" "fico m\xE9" "dio (s) ="));
  EXPECT_EQ(element_text(page, "window-peak"), report_figure(report, "F real [N] .....      1.185984E+01"));
}

// The expanded uncertainties beside the figures are the export's, in both columns, and so
// are the probabilities of the class and of the designation's number.
TEST_F(ReportShippedExample, UncertaintiesAreTheExports) {
  const Outcome e = dir.run_export({"--no-eng"});
  ASSERT_EQ(e.status, 0) << e.err;
  const std::string table = e.out.substr(e.out.find("Uncertainty: figure +- U"));
  // "  total impulse (N s)     18.97574 +- 0.0033      18.97487 +- 0.0033": the two U.
  const auto both_U = [&](const std::string& label) {
    std::vector<std::string> U;
    for (const std::string& line : lines(table))
      if (line.rfind("  " + label, 0) == 0) {
        for (auto at = line.find("+- "); at != std::string::npos; at = line.find("+- ", at + 1))
          U.push_back(line.substr(at + 3, line.find(' ', at + 3) - at - 3));
        break;
      }
    return U;
  };
  const struct {
    const char* label;
    const char* id;
  } rows[] = {{"total impulse (N s)", "total-impulse"},       {"average thrust (N)", "average-thrust"},
              {"peak thrust (N)", "peak"},                    {"specific impulse (s)", "specific-impulse"},
              {"exhaust velocity (m/s)", "exhaust-velocity"}};
  for (const auto& row : rows) {
    const std::vector<std::string> U = both_U(row.label);
    ASSERT_EQ(U.size(), 2u) << row.label << "\n" << table;
    EXPECT_EQ(element_text(page, std::string("window-U-") + row.id), "&#177; " + U[0]) << row.label;
    EXPECT_EQ(element_text(page, std::string("nfpa-U-") + row.id), "&#177; " + U[1]) << row.label;
  }
  // The window's burn time is set by the user; only NFPA 1125's has an uncertainty.
  ASSERT_EQ(both_U("burn time (s)").size(), 1u);
  EXPECT_EQ(element_text(page, "window-U-burn-time"), "set");
  EXPECT_EQ(element_text(page, "nfpa-U-burn-time"), "&#177; " + both_U("burn time (s)")[0]);
  EXPECT_TRUE(contains(table, "class D with a probability of " + element_text(page, "class-probability") +
                                  ", the number with " + element_text(page, "number-probability")))
      << table;
  // Each budget line, and what is left out of U.
  EXPECT_TRUE(contains(page, ">noise</td><td class=\"num\">0.0016</td>")) << page;
  EXPECT_TRUE(contains(element_text(page, "left-out"), "calibration slope: no calibration and no --slope-uncertainty"));
}

// The .eng points drawn are those the export writes, with their impulse.
TEST_F(ReportShippedExample, EngPointsAreThoseTheExportWrites) {
  TempDir other("kv_report_eng_");
  const std::string eng = other.path("d12.eng");
  const Outcome e = dir.run_export({"--diameter", "24", "--length", "70", "--total-mass", "0.0424", "--eng", eng});
  ASSERT_EQ(e.status, 0) << e.err;
  std::string points;
  for (const std::string& line : lines(e.out))
    if (contains(line, " points; its time 0 is")) points = trim(line.substr(0, line.find(" points")));
  EXPECT_EQ(element_text(page, "eng-points"), points) << e.out;
  const std::string eng_text = other.get("d12.eng");
  int records = 0;
  for (const std::string& line : lines(eng_text))
    if (!line.empty() && line[0] == ' ') ++records;
  EXPECT_EQ(std::to_string(records), element_text(page, "eng-points"));
  EXPECT_EQ(element_text(page, "eng-impulse"),
            companion::significant(number_after(e.out, "as ThrustCurve reads it: total impulse"), 7));
  EXPECT_TRUE(contains(page, "<circle class=\"engpt\""));
}

// The page names its inputs by their digests and changes none of the case's files.
TEST_F(ReportShippedExample, NamesTheInputsByDigestAndLeavesTheCaseAsItWas) {
  for (const char* name : {"kalvorestine_2p0_dados_geral.txt", "motor_d12.txt", "motor_d12_celula.txt"})
    EXPECT_TRUE(contains(page, companion::sha256_hex(dir.get(name)))) << name;
  std::map<std::string, std::string> after;
  for (const auto& e : fs::directory_iterator(dir.dir()))
    if (e.path().filename() != "motor_d12_report.html") after[e.path().filename().string()] = read_bytes(e.path());
  EXPECT_EQ(after, before);
  EXPECT_TRUE(contains(page, "KALVORESTINE 2.0.6.2"));
  EXPECT_TRUE(contains(page, "Motor D12 \xE2\x80\x93 ensaio est\xC3\xA1tico 1")) << "the title in UTF-8";
  EXPECT_TRUE(contains(element_text(page, "class-position"), "90 % of class D"));
  EXPECT_TRUE(contains(element_text(page, "findings"), "finds nothing"));
}

// Nothing in the page reaches outside it: no script, no source, no link but to itself,
// no style that fetches.
TEST_F(ReportShippedExample, StandsAlone) {
  for (const char* banned : {"<script", "src=", "url(", "@import", "<link", "<iframe", "<object", "<embed", "<img"})
    EXPECT_FALSE(contains(page, banned)) << banned;
  for (std::size_t at = page.find("href="); at != std::string::npos; at = page.find("href=", at + 1))
    EXPECT_EQ(page.substr(at, 7), "href=\"#") << page.substr(at, 40);
  // The one URL is the SVG namespace's name, which nothing fetches.
  std::string rest = page;
  for (std::size_t at; (at = rest.find("xmlns=\"http://www.w3.org/2000/svg\"")) != std::string::npos;) rest.erase(at, 34);
  EXPECT_FALSE(contains(rest, "http:"));
  EXPECT_FALSE(contains(rest, "https:"));
}

TEST_F(ReportShippedExample, HtmlOptionWritesElsewhereAndNeverOverACaseFile) {
  TempDir other("kv_report_out_");
  const Outcome r = dir.run_report({".", "--html", other.path("page.html")});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(other.get("page.html").substr(0, 15), "<!DOCTYPE html>");
  for (const char* own : {"motor_d12.txt", "motor_d12_saida_A.txt", "motor_d12_celula.txt"}) {
    const Outcome bad = dir.run_report({".", "--html", own});
    EXPECT_EQ(bad.status, 1) << own;
    EXPECT_TRUE(contains(bad.err, "names one of the case's own files")) << bad.err;
    EXPECT_EQ(dir.get(own), before[own]);
  }
}

TEST(ReportCommandLine, ErrorsAndTheirStatuses) {
  ReportDir dir;
  dir.put_example();  // not run: no results
  TempDir empty("kv_report_empty_");
  const struct {
    std::vector<std::string> args;
    int status;
    const char* says;
  } cases[] = {
      {{}, 2, "name a case folder"},
      {{".", "--json"}, 2, "--json is for a series"},
      {{".", "--label-thrust", "80"}, 2, "--label-thrust is for a series"},
      {{".", "--eng", "x.eng"}, 2, "--eng is for a series"},
      {{".", "--label-thrust", "-3"}, 2, "--label-thrust"},
      {{"--bogus"}, 2, "--bogus"},
      {{"no-such-folder"}, 1, "does not exist"},
      {{"motor_d12.txt"}, 1, "is not a folder"},
      {{"."}, 1, "run the program"},
      {{empty.dir().string()}, 1, "kalvorestine_2p0_dados_geral.txt"},
  };
  for (const auto& c : cases) {
    const Outcome r = dir.run_report(c.args);
    std::string shown;
    for (const std::string& a : c.args) shown += a + " ";
    EXPECT_EQ(r.status, c.status) << shown << r.err;
    EXPECT_TRUE(contains(r.err, c.says)) << shown << ": " << r.err;
    EXPECT_FALSE(dir.has("motor_d12_report.html")) << shown;
  }
  const Outcome help = dir.run_report({"--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_TRUE(contains(help.out, "--series"));
}

}  // namespace
}  // namespace kv::test

namespace kv::test {
namespace {

// A load cell not tared (1 N on every reading), which the program runs through: the
// page lists what prepare's check says of it, in the check's own words.
TEST(ReportFindings, PageListsWhatTheCheckFinds) {
  ReportDir dir;
  dir.put_example();
  dir.untare_example();
  ASSERT_EQ(dir.run_program(), 0);
  const Outcome check = run_in(dir.dir(), {KV_PREPARE, "--check", "."});
  ASSERT_EQ(check.status, 1) << check.out << check.err;
  ASSERT_EQ(dir.run_report({"."}).status, 0);
  const std::string page = dir.get("motor_d12_report.html");
  const auto at = page.find("id=\"findings\"");
  ASSERT_NE(at, std::string::npos);
  const std::string findings = page.substr(at, page.find("</ul>", at) - at);
  int found = 0;
  for (const std::string& line : lines(check.out))
    if (line.rfind("motor_d12_celula.txt:", 0) == 0) {
      ++found;
      EXPECT_TRUE(contains(findings, "<li>" + line + "</li>")) << line << "\n" << findings;
    }
  EXPECT_GE(found, 1) << check.out;
  EXPECT_TRUE(contains(findings, "the thrust before ti stands at")) << findings;
}

}  // namespace
}  // namespace kv::test
