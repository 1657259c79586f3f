// The series' data sheet as a page: the per-firing table and its statistics in the
// certification sheet's columns, the NFPA 1125 verdicts, the designation, and the curves:
// all of them aligned at their 5 % rise, and their mean with a +-1 sigma band on the
// burn's own time.
#include <algorithm>
#include <cmath>
#include <string>

#include "companion/number_text.h"
#include "report/chart.h"
#include "report/page.h"
#include "report/series.h"
#include "report/series_page.h"

namespace kv::report {

using companion::fixed;

namespace {

constexpr const char* kColours[] = {"#1f4e9e", "#c0392b", "#27ae60", "#8e44ad", "#e67e22", "#16a085",
                                    "#7f8c8d", "#d35400", "#2c3e50", "#b7950b", "#c71585", "#2e86c1"};

std::string colour(std::size_t k) { return kColours[k % (sizeof kColours / sizeof kColours[0])]; }

std::string opt_figure(const std::optional<double>& v) { return v ? figure(*v) : "-"; }

std::string stat_cell(const ColumnStatistics& c, double ColumnStatistics::*member, bool percent) {
  if (c.n == 0) return "<td class=\"num\">-</td>";
  return "<td class=\"num\">" + (percent ? fixed(c.*member, 2) : figure(c.*member)) + "</td>";
}

std::string stat_row(const SeriesResult& r, const std::string& label, const std::string& id,
                     double ColumnStatistics::*member, bool percent = false) {
  std::string s = "<tr class=\"stat\" id=\"" + id + "\"><th colspan=\"3\">" + label + "</th>";
  for (const ColumnStatistics* c : {&r.total_impulse, &r.peak, &r.average, &r.burn_time, &r.delay}) {
    s += stat_cell(*c, member, percent);
    if (c == &r.total_impulse) s += "<td></td>";  // beside the column of U
  }
  return s + "</tr>\n";
}

// Every firing's curve on t - its 5 % rise.
std::string aligned_chart(std::span<const SeriesEntry> entries) {
  double x0 = 0.0, x1 = 0.0, hi = 0.0, lo = 0.0;
  for (const SeriesEntry& e : entries) {
    x0 = std::min(x0, -e.rise);
    x1 = std::max(x1, static_cast<double>(e.F.empty() ? 0 : e.F.size() - 1) * e.dt - e.rise);
    for (const double v : e.F) {
      hi = std::max(hi, v);
      lo = std::min(lo, v);
    }
  }
  // From a little before the rise to a little after the longest burn: the stretches of
  // no thrust around the firings would only squeeze the curves.
  double longest = 0.0;
  for (const SeriesEntry& e : entries) longest = std::max(longest, e.burn_time);
  x0 = std::max(x0, -0.15 * longest);
  x1 = std::min(x1, 1.25 * longest);
  const Chart c(380, 260, x0, x1, lo, hi > 0 ? hi * 1.08 : 1.0);
  std::string s = c.open(94, 64.3, "time after each firing's 5 % rise (s)", "thrust (N)");
  const auto columns = static_cast<std::size_t>(c.right() - c.left());
  for (std::size_t k = 0; k < entries.size(); ++k) {
    const SeriesEntry& e = entries[k];
    std::string line = c.polyline(decimate(e.F, -e.rise, e.dt, x0, x1, columns), "curve");
    line.insert(line.find(" points="), " style=\"stroke:" + colour(k) + ";stroke-width:0.8\"");
    s += line;
  }
  return s + "</svg>\n";
}

// The mean curve and its band on tau, the firings thin beneath.
std::string mean_chart(const SeriesResult& r) {
  const SeriesCurves& sc = r.curves;
  double hi = 0.0;
  for (std::size_t k = 0; k < sc.mean.size(); ++k) hi = std::max(hi, sc.mean[k] + sc.sigma[k]);
  for (const auto& f : sc.F)
    for (const double v : f) hi = std::max(hi, v);
  const Chart c(380, 260, kTauFirst, kTauLast, 0.0, hi > 0 ? hi * 1.08 : 1.0);
  std::string s = c.open(94, 64.3, "time from the 5 % rise / burn time", "thrust (N)");
  std::vector<Point> band;
  for (std::size_t k = 0; k < sc.tau.size(); ++k) band.push_back({sc.tau[k], sc.mean[k] + sc.sigma[k]});
  for (std::size_t k = sc.tau.size(); k-- > 0;) band.push_back({sc.tau[k], std::max(0.0, sc.mean[k] - sc.sigma[k])});
  s += c.polygon(band, "band");
  for (std::size_t j = 0; j < sc.F.size(); ++j) {
    std::vector<Point> pts;
    for (std::size_t k = 0; k < sc.tau.size(); ++k) pts.push_back({sc.tau[k], sc.F[j][k]});
    std::string line = c.polyline(pts, "curve");
    line.insert(line.find(" points="), " style=\"stroke:" + colour(j) + ";stroke-width:0.5;stroke-opacity:0.6\"");
    s += line;
  }
  std::vector<Point> mean;
  for (std::size_t k = 0; k < sc.tau.size(); ++k) mean.push_back({sc.tau[k], sc.mean[k]});
  s += c.polyline(mean, "mean");
  const double lx = c.right() - 150, ly = c.top() + 12;
  s += "<line class=\"mean\" x1=\"" + coordinate(lx) + "\" y1=\"" + coordinate(ly - 3) + "\" x2=\"" +
       coordinate(lx + 16) + "\" y2=\"" + coordinate(ly - 3) + "\"/><text class=\"legend\" x=\"" +
       coordinate(lx + 20) + "\" y=\"" + coordinate(ly) + "\">mean curve</text>\n";
  s += "<rect class=\"band\" x=\"" + coordinate(lx) + "\" y=\"" + coordinate(ly + 5) +
       "\" width=\"16\" height=\"7\"/><text class=\"legend\" x=\"" + coordinate(lx + 20) + "\" y=\"" +
       coordinate(ly + 12) + "\">mean +- 1 sigma (population)</text>\n";
  return s + "</svg>\n";
}

}  // namespace

std::string series_page(std::span<const SeriesEntry> entries, const SeriesResult& r) {
  std::string s = page_head("Series of " + std::to_string(r.rows.size()) + " firings: " + r.designation);
  s += "<h1>Series of " + std::to_string(r.rows.size()) + " firings<span class=\"des\" id=\"designation\">" +
       (r.designation.empty() ? std::string("-") : escape(r.designation)) + "</span></h1>\n";
  s += "<p class=\"meta\">" + std::string(r.model_motor ? "Model rocket motor" : "High-power motor") +
       "; average thrust as mean total impulse / mean burn time: <span id=\"mean-average\">" + figure(r.mean_average) +
       "</span> N. Made by " + std::string(kReportName) + " (" + program_version() + ").</p>\n";
  for (const std::string& n : r.notes) s += "<p class=\"small\">Note: " + escape(n) + "</p>\n";

  s += "<table class=\"sheet\">\n<tr><th>#</th><th>file</th><th>motor</th><th class=\"num\">total impulse (N s)</th><th class=\"num\">U (k = 2)</th>"
       "<th class=\"num\">max thrust (N)</th><th class=\"num\">average thrust (N)</th><th class=\"num\">burn time "
       "at 5 % (s)</th><th class=\"num\">delay (s)</th></tr>\n";
  for (std::size_t k = 0; k < r.rows.size(); ++k) {
    const SeriesRow& row = r.rows[k];
    s += "<tr id=\"row-" + std::to_string(k + 1) + "\"><td><span style=\"color:" + colour(k) + "\">&#9632;</span> " +
         std::to_string(k + 1) + "</td><td>" + escape(row.file.empty() ? row.folder : row.file) + "</td><td>" +
         (row.motor.empty() ? std::string("-") : escape(row.motor)) + "</td><td class=\"num\">" +
         figure(row.total_impulse) + "</td><td class=\"num u\">" +
         (row.impulse_U ? "&#177; " + companion::significant(*row.impulse_U, 2) : std::string("-")) +
         "</td><td class=\"num\">" + figure(row.peak) + "</td><td class=\"num\">" +
         figure(row.average) + "</td><td class=\"num\">" + figure(row.burn_time) + "</td><td class=\"num\">" +
         opt_figure(row.delay) + (row.delay_label.empty() ? "" : " (" + escape(row.delay_label) + ")") + "</td></tr>\n";
  }
  s += stat_row(r, "AVG", "avg", &ColumnStatistics::mean);
  s += stat_row(r, "STD", "std", &ColumnStatistics::std_population);
  s += stat_row(r, "STD %", "std-percent", &ColumnStatistics::std_percent, true);
  s += stat_row(r, "sample STD (N - 1)", "std-sample", &ColumnStatistics::std_sample);
  s += stat_row(r, "95 % CI of the mean, low", "ci-low", &ColumnStatistics::ci_low);
  s += stat_row(r, "95 % CI of the mean, high", "ci-high", &ColumnStatistics::ci_high);
  s += "</table>\n<p class=\"small\">AVG, STD, STD %: the mean of each column, the population standard deviation "
       "(divided by N) and STD / AVG x 100, as the certification sheet computes them; the sample STD divides by "
       "N - 1; the 95 % confidence interval of the mean uses Student's t with N - 1 degrees of freedom. Average "
       "thrust = total impulse / burn time; burn time between the 5 % crossings; delay: measured (label); U: the "
       "total impulse's expanded uncertainty (k = 2, about 95 %), as each firing's page states it.</p>\n";
  s += "<p class=\"small\" id=\"stand\">The stand: " + escape(stand_share_text(r)) + ".</p>\n";

  s += "<h2>NFPA 1125</h2>\n<table class=\"small verdicts\">\n";
  for (const Verdict& v : r.verdicts)
    s += std::string("<tr><td class=\"") + (v.pass ? "pass\">PASS" : "fail\">FAIL") + "</td><td>" + escape(v.what) +
         "</td><td>" + escape(v.numbers) + "</td></tr>\n";
  s += "</table>\n";

  s += "<h2>Thrust curves</h2>\n";
  s += "<div class=\"charts\">\n" + aligned_chart(entries) + mean_chart(r) + "</div>\n";
  return s + kPageEnd;
}

}  // namespace kv::report
