// The pages as a browser shows them: headless Chromium prints each on one A4 page, takes
// a screenshot, and, with the network unreachable, renders the whole page without asking
// for anything outside it. Skipped where Chromium is not installed.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "report_fixture.h"

namespace kv::test {
namespace {

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

std::string pdf_pages(const fs::path& pdf) {
  const Outcome r = run_in(pdf.parent_path(), {"/usr/bin/pdfinfo", pdf.string()});
  for (const std::string& line : lines(r.out))
    if (line.rfind("Pages:", 0) == 0) return line.substr(line.find_first_not_of(' ', 6));
  return "no Pages line in: " + r.out + r.err;
}

// The requests a page itself made, in Chromium's network log: those of the file's own
// origin ("null"), apart from the browser's own background requests ("not an origin").
int page_requests(const std::string& netlog) {
  int n = 0;
  for (std::size_t at = netlog.find("\"initiator\":\"null\""); at != std::string::npos;
       at = netlog.find("\"initiator\":\"null\"", at + 1))
    ++n;
  return n;
}

struct Rendered {
  std::string pages, dom, netlog;
  std::uintmax_t screenshot_bytes = 0;
};

Rendered render(const fs::path& page) {
  const fs::path dir = page.parent_path();
  const std::string url = "file://" + page.string();
  Rendered r;
  const fs::path pdf = dir / "page.pdf";
  chromium(dir, {"--no-pdf-header-footer", "--print-to-pdf=" + pdf.string(), url});
  r.pages = pdf_pages(pdf);
  const fs::path png = dir / "page.png";
  chromium(dir, {"--hide-scrollbars", "--window-size=800,1130", "--screenshot=" + png.string(), url});
  if (fs::exists(png)) r.screenshot_bytes = fs::file_size(png);
  const fs::path net = dir / "net.json";
  r.dom = chromium(dir, {"--log-net-log=" + net.string(), "--dump-dom", url}).out;
  r.netlog = read_bytes(net);
  return r;
}

class Render : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!have_chromium()) GTEST_SKIP() << "chromium or pdfinfo is not installed";
  }
};

// The check itself sees a request when a page makes one.
TEST_F(Render, NetworkLogShowsARequestOfAPageThatMakesOne) {
  TempDir dir("kv_render_");
  dir.put("control.html", "<!DOCTYPE html><html><body><img src=\"http://example.invalid/a.png\"><p id=\"x\">x</p></body></html>");
  const Rendered r = render(dir.dir() / "control.html");
  EXPECT_GE(page_requests(r.netlog), 1) << "the network log no longer tells the page's requests apart";
}

TEST_F(Render, FiringPageIsOneA4PageAndAsksForNothing) {
  ReportDir dir;
  dir.put_example();
  ASSERT_EQ(dir.run_program(), 0);
  ASSERT_EQ(dir.run_report({"."}).status, 0);
  const Rendered r = render(dir.dir() / "motor_d12_report.html");
  EXPECT_EQ(r.pages, "1");
  EXPECT_GT(r.screenshot_bytes, 10000u);
  EXPECT_EQ(page_requests(r.netlog), 0);
  for (const char* id : {"nfpa-total-impulse", "window-total-impulse", "eng-points", "class-position", "findings"})
    EXPECT_TRUE(contains(r.dom, std::string("id=\"") + id + "\"")) << id;
  EXPECT_TRUE(contains(r.dom, "<polyline class=\"curve\""));
  EXPECT_TRUE(contains(r.dom, "18.97487"));
}

// A firing that the check finds faults in, and whose figures fall outside the window's:
// the findings and notes still leave it one page.
TEST_F(Render, FiringPageWithFindingsIsStillOneA4Page) {
  ReportDir dir;
  dir.put_example();
  dir.untare_example();
  ASSERT_EQ(dir.run_program(), 0);
  ASSERT_EQ(dir.run_report({"."}).status, 0);
  const std::string page = dir.get("motor_d12_report.html");
  ASSERT_TRUE(contains(page, "<ul id=\"findings\"")) << page;
  ASSERT_TRUE(contains(page, "id=\"budget\"")) << page;
  EXPECT_EQ(render(dir.dir() / "motor_d12_report.html").pages, "1");
}

// Twelve firings made from the example, with a delay each: the sheet still fits one page.
TEST_F(Render, TwelveFiringSeriesPageIsOneA4Page) {
  TempDir dir("kv_render_series_");
  const Outcome made = run_in(dir.dir(), {fs::path(KV_SOURCE_DIR) / "tools" / "example_series.sh", KV_PROGRAM,
                                          dir.path("s"), "12"});
  ASSERT_EQ(made.status, 0) << made.err;
  const Outcome r = run_in(dir.dir() / "s", {KV_REPORT, "--series", "series.txt"});
  ASSERT_EQ(r.status, 0) << r.err;
  const Rendered shown = render(dir.dir() / "s" / "series_report.html");
  EXPECT_EQ(shown.pages, "1");
  EXPECT_GT(shown.screenshot_bytes, 10000u);
  EXPECT_EQ(page_requests(shown.netlog), 0);
  EXPECT_TRUE(contains(shown.dom, "id=\"row-12\""));
  EXPECT_TRUE(contains(shown.dom, "id=\"std-percent\""));
  EXPECT_TRUE(contains(shown.dom, "class=\"band\""));
}

}  // namespace
}  // namespace kv::test
