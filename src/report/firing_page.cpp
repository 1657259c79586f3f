// The page of one firing: who and what it is, the whole curve with its marks, the figures
// of the window beside those of NFPA 1125 with their definitions, the class, what the
// check of the case finds, and the input files by their digests.
#include <algorithm>
#include <cmath>
#include <string>

#include "analysis/mass_flow.h"
#include "companion/number_text.h"
#include "report/chart.h"
#include "report/page.h"

namespace kv::report {

using companion::fixed_trimmed;
using companion::signed_percent;
using companion::significant;

namespace {

constexpr const char* kStyle = R"(@page { size: A4; margin: 10mm; }
* { box-sizing: border-box; }
body { font: 8.5pt/1.3 "DejaVu Sans", Arial, Helvetica, sans-serif; color: #111; margin: 0 auto; width: 190mm; }
h1 { font-size: 15pt; margin: 0 0 1mm; }
h1 .des { color: #1f4e9e; margin-left: 3mm; }
h2 { font-size: 10pt; margin: 3mm 0 1mm; border-bottom: 0.3mm solid #999; }
p { margin: 0.8mm 0; }
.meta { color: #444; }
table { border-collapse: collapse; width: 100%; }
th, td { padding: 0.5mm 1.5mm; border-bottom: 0.2mm solid #ccc; text-align: left; }
td.num, th.num { text-align: right; font-variant-numeric: tabular-nums; }
td.u { color: #555; white-space: nowrap; }
table.budget { font-size: 6.8pt; }
table.budget th, table.budget td { padding: 0.15mm 1mm; }
table.budget td.num { white-space: nowrap; }
ul { margin: 0.5mm 0; padding-left: 5mm; }
li { margin: 0.3mm 0; }
.hash { font: 7pt "DejaVu Sans Mono", monospace; }
.small { font-size: 7.5pt; color: #333; }
.pass { color: #176b1f; font-weight: bold; }
.fail { color: #a51d1d; font-weight: bold; }
svg { display: block; margin: 1mm 0; }
svg text { font: 9px "DejaVu Sans", Arial, sans-serif; fill: #222; }
svg .tick { font-size: 8px; fill: #444; }
svg .frame { fill: none; stroke: #666; stroke-width: 0.8; }
svg .grid { stroke: #ddd; stroke-width: 0.5; }
svg .window { fill: #dfe9f8; }
svg .curve { fill: none; stroke: #1f4e9e; stroke-width: 1.1; stroke-linejoin: round; }
svg .threshold { stroke: #c0392b; stroke-width: 0.8; stroke-dasharray: 4 3; }
svg .cross { stroke: #c0392b; stroke-width: 0.6; stroke-dasharray: 2 2; }
svg .mark { fill: #c0392b; }
svg .peak { fill: #111; }
svg .eng { fill: none; stroke: #e67e22; stroke-width: 0.9; }
svg .engpt { fill: #e67e22; }
svg .band { fill: #1f4e9e; fill-opacity: 0.18; stroke: none; }
svg .mean { fill: none; stroke: #111; stroke-width: 1.4; }
svg .legend { font-size: 8.5px; }
table.sheet { font-size: 7.5pt; }
table.sheet th, table.sheet td { padding: 0.25mm 1.2mm; white-space: nowrap; }
table.sheet tr:first-child th { white-space: normal; vertical-align: bottom; }
table.verdicts td { padding: 0.3mm 1.2mm; vertical-align: top; }
table.verdicts td:nth-child(2) { white-space: nowrap; }
.charts { display: flex; justify-content: space-between; }
.charts svg { display: inline-block; }
@media print { body { width: auto; } }
)";

std::string or_dash(const std::string& s) { return s.empty() ? "-" : escape(s); }

// A row of the figures table: the window's and NFPA 1125's value, ids for each.
std::string row(const std::string& label, const std::string& id, const std::string& window, const std::string& nfpa,
                const std::string& window_U = "", const std::string& nfpa_U = "") {
  return "<tr><th>" + label + "</th><td class=\"num\" id=\"window-" + id + "\">" + window +
         "</td><td class=\"num u\" id=\"window-U-" + id + "\">" + window_U + "</td><td class=\"num\" id=\"nfpa-" + id +
         "\">" + nfpa + "</td><td class=\"num u\" id=\"nfpa-U-" + id + "\">" + nfpa_U + "</td></tr>\n";
}

// An expanded uncertainty as the export prints it: "+- 0.11"; empty where there is none.
std::string plus_minus(const Firing& f, const Budget& b, std::size_t k, bool exact = false) {
  if (!f.has_budget) return "";
  if (exact) return "set";
  return std::isfinite(b.U[k]) ? "&#177; " + significant(b.U[k], 2) : "";
}

// The budget of the NFPA 1125 figures, a line for each source, and what is not in U.
std::string budget_table(const Firing& f) {
  const Budget& b = f.nfpa_budget;
  std::string s = "<table class=\"budget\" id=\"budget\">\n<tr><th>"
                  "budget of the NFPA 1125 figures: source, standard uncertainty u</th>";
  const char* heads[kFigures] = {"It (N s)", "tb (s)", "avg (N)", "peak (N)", "Is (s)", "ve (m/s)"};
  for (const char* h : heads) s += std::string("<th class=\"num\">") + h + "</th>";
  s += "</tr>\n";
  const auto cells = [](const double* u) {
    std::string c;
    for (std::size_t k = 0; k < kFigures; ++k)
      c += "<td class=\"num\">" + (u[k] > 0.0 ? significant(u[k], 2) : std::string("0")) + "</td>";
    return c;
  };
  for (const BudgetTerm& t : b.terms)
    s += "<tr><td title=\"" + escape(t.model) + "\">" + escape(t.source) + "</td>" + cells(t.u) + "</tr>\n";
  s += "<tr><th>combined u (U = 2 u, about 95 %)</th>" + cells(b.u) + "</tr>\n</table>\n";
  if (!b.left_out.empty()) {
    s += "<p class=\"small\" id=\"left-out\">Not in U: ";
    for (std::size_t i = 0; i < b.left_out.size(); ++i) s += (i ? "; " : "") + escape(b.left_out[i]);
    s += ".</p>\n";
  }
  return s;
}

std::string curve_chart(const Firing& f) {
  const double n = static_cast<double>(f.F.empty() ? 0 : f.F.size() - 1);
  const double x0 = std::min(f.t0, 0.0);
  const double x1 = std::max(f.t0 + n * f.dt, f.tf - f.ti);
  double lo = 0.0, hi = 0.0;
  for (const double v : f.F) {
    lo = std::min(lo, v);
    hi = std::max(hi, v);
  }
  const double y1 = hi > 0 ? hi * 1.12 : 1.0;
  const Chart c(760, 270, x0, x1, lo, y1);
  std::string s = c.open(190, 67.5, "time after ti (s)", "thrust (N)");
  // The window, under everything else.
  const double wx0 = c.x(0.0), wx1 = c.x(f.tf - f.ti);
  s += "<rect class=\"window\" x=\"" + coordinate(wx0) + "\" y=\"" + coordinate(c.top()) + "\" width=\"" +
       coordinate(wx1 - wx0) + "\" height=\"" + coordinate(c.bottom() - c.top()) + "\"/>\n";
  const std::vector<Point> curve = decimate(f.F, f.t0, f.dt, x0, x1, static_cast<std::size_t>(c.right() - c.left()));
  s += c.polyline(curve, "curve");
  if (std::isfinite(f.threshold)) {
    const std::string ty = coordinate(c.y(f.threshold));
    s += "<line class=\"threshold\" x1=\"" + coordinate(c.left()) + "\" y1=\"" + ty + "\" x2=\"" +
         coordinate(c.right()) + "\" y2=\"" + ty + "\"/>\n";
    for (const double t : {f.burn_start, f.burn_end}) {
      const std::string tx = coordinate(c.x(t));
      s += "<line class=\"cross\" x1=\"" + tx + "\" y1=\"" + ty + "\" x2=\"" + tx + "\" y2=\"" +
           coordinate(c.bottom()) + "\"/><circle class=\"mark\" cx=\"" + tx + "\" cy=\"" + ty + "\" r=\"2.6\"/>\n";
    }
    s += "<text x=\"" + coordinate(c.x(f.burn_start) + 4) + "\" y=\"" + coordinate(c.y(f.threshold) - 4) + "\">" +
         significant(f.burn_start, 6) + " s</text>\n";
    s += "<text x=\"" + coordinate(c.x(f.burn_end) + 4) + "\" y=\"" + coordinate(c.y(f.threshold) - 4) + "\">" +
         significant(f.burn_end, 6) + " s</text>\n";
  }
  if (!f.eng.empty()) {
    std::vector<Point> pts{{f.eng_origin, 0.0}};
    for (const MotorPoint& p : f.eng) pts.push_back({p.t, p.F});
    s += c.polyline(pts, "eng");
    for (const MotorPoint& p : f.eng)
      s += "<circle class=\"engpt\" cx=\"" + coordinate(c.x(p.t)) + "\" cy=\"" + coordinate(c.y(p.F)) + "\" r=\"1.8\"/>";
    s += "\n";
  }
  if (f.nfpa.peak > 0) {
    const double px = c.x(f.peak_time), py = c.y(f.nfpa.peak);
    const bool right_side = px < (c.left() + c.right()) / 2;
    s += "<circle class=\"peak\" cx=\"" + coordinate(px) + "\" cy=\"" + coordinate(py) + "\" r=\"3\"/>";
    s += "<text x=\"" + coordinate(px + (right_side ? 6 : -6)) + "\" y=\"" + coordinate(py + 3) +
         "\" text-anchor=\"" + (right_side ? "start" : "end") + "\">peak " + figure(f.nfpa.peak) + " N at " +
         significant(f.peak_time, 6) + " s</text>\n";
  }
  // The legend, top right.
  const double lx = c.right() - 190, ly = c.top() + 12;
  const auto entry = [&](int i, const std::string& swatch, const std::string& text) {
    const double yy = ly + 12 * i;
    s += swatch.empty() ? "" : "<line class=\"" + swatch + "\" x1=\"" + coordinate(lx) + "\" y1=\"" + coordinate(yy - 3) +
                                   "\" x2=\"" + coordinate(lx + 16) + "\" y2=\"" + coordinate(yy - 3) + "\"/>";
    s += "<text class=\"legend\" x=\"" + coordinate(lx + 20) + "\" y=\"" + coordinate(yy) + "\">" + text + "</text>\n";
  };
  s += "<rect class=\"window\" x=\"" + coordinate(lx) + "\" y=\"" + coordinate(ly - 7) +
       "\" width=\"16\" height=\"7\"/>";
  entry(0, "", "the window, ti to tf");
  entry(1, "curve", "thrust, the whole firing");
  entry(2, "threshold", "5 % of the peak (" + significant(f.threshold, 6) + " N)");
  if (!f.eng.empty()) entry(3, "eng", ".eng points (" + std::to_string(f.eng.size()) + ")");
  return s + "</svg>\n";
}

}  // namespace

std::string figure(double v) { return std::isfinite(v) ? significant(v, 7) : "-"; }

std::string page_head(const std::string& title) {
  return "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n<title>" + escape(title) +
         "</title>\n<style>\n" + kStyle + "</style>\n</head>\n<body>\n";
}

std::string firing_page(const Firing& f) {
  std::string s = page_head(f.case_name + ": " + f.title);
  s += "<h1><span id=\"case\">" + escape(f.case_name) + "</span><span class=\"des\" id=\"designation\">" +
       or_dash(f.nfpa.designation) + "</span></h1>\n";
  s += "<p id=\"title\">" + escape(f.title) + "</p>\n";
  s += "<p class=\"meta\">Run files of <span id=\"run-date\">" + escape(f.run_date) + "</span>; made by " +
       std::string(kReportName) + " (" + program_version() + "). Times after ti = " + figure(f.ti) +
       " s; curve: " + escape(f.curve_source) + ".</p>\n";
  s += curve_chart(f);
  if (!f.eng.empty()) {
    s += "<p>The .eng file the export writes: <span id=\"eng-points\">" + std::to_string(f.eng.size()) +
         "</span> points, time 0 at " + significant(f.eng_origin, 6) + " s after ti, impulse <span id=\"eng-impulse\">" +
         figure(f.eng_impulse) + "</span> N s (<span id=\"eng-difference\">" + signed_percent(f.eng_difference) +
         "</span> against the total impulse).</p>\n";
  } else {
    s += "<p>No .eng points: " + escape(f.eng_problem) + ".</p>\n";
  }

  const Budget& wb = f.window_budget;
  const Budget& nb = f.nfpa_budget;
  s += "<h2>Figures</h2>\n<table>\n<tr><th></th><th class=\"num\">window</th><th class=\"num\">U (k = 2)</th>"
       "<th class=\"num\">NFPA 1125</th><th class=\"num\">U (k = 2)</th></tr>\n";
  s += row("total impulse (N s)", "total-impulse", figure(f.window.total_impulse), figure(f.nfpa.total_impulse),
           plus_minus(f, wb, kTotalImpulse), plus_minus(f, nb, kTotalImpulse));
  s += row("burn time (s)", "burn-time", figure(f.window.burn_time), figure(f.nfpa.burn_time),
           plus_minus(f, wb, kBurnTime, true), plus_minus(f, nb, kBurnTime));
  s += row("average thrust (N)", "average-thrust", figure(f.window.average), figure(f.nfpa.average),
           plus_minus(f, wb, kAverage), plus_minus(f, nb, kAverage));
  s += row("peak thrust (N)", "peak", figure(f.window.peak), figure(f.nfpa.peak), plus_minus(f, wb, kPeak),
           plus_minus(f, nb, kPeak));
  s += row("designation", "designation", or_dash(f.window.designation), or_dash(f.nfpa.designation));
  s += row("specific impulse (s)", "specific-impulse", figure(f.window.specific_impulse),
           figure(f.nfpa.specific_impulse), plus_minus(f, wb, kSpecificImpulse), plus_minus(f, nb, kSpecificImpulse));
  s += row("exhaust velocity (m/s)", "exhaust-velocity", figure(f.window.exhaust_velocity),
           figure(f.nfpa.exhaust_velocity), plus_minus(f, wb, kExhaustVelocity), plus_minus(f, nb, kExhaustVelocity));
  s += row("mean mass flow (g/s)", "mass-flow", figure(f.window.mass_flow), figure(f.nfpa.mass_flow));
  s += "</table>\n<ul class=\"small\">\n";
  s += "<li>Window: the program's figures over the case's window, burn time tf - ti = " + figure(f.tf) + " s - " +
       figure(f.ti) + " s; average thrust = total impulse / burn time.</li>\n";
  s += "<li>NFPA 1125 burn time: between the first and last crossings of 5 % of the peak (" + figure(f.threshold) +
       " N), from " + significant(f.burn_start, 6) + " s to " + significant(f.burn_end, 6) + " s after ti.</li>\n";
  s += "<li>NFPA 1125 total impulse: from the 5 % rise to the last measurable thrust.</li>\n";
  s += "<li>NFPA 1125 average thrust: impulse between the crossings (" + figure(f.burn_impulse) +
       " N s) / burn time; total impulse / burn time = " + figure(f.total_average) + " N.</li>\n";
  s += "<li>Exhaust velocity = total impulse / propellant mass (M = " + figure(f.M) +
       " kg); specific impulse = exhaust velocity / " + companion::shortest(go) +
       " m/s&#178;; mean mass flow = M / burn time.</li>\n";
  s += "<li>Designation: the impulse class of the total impulse, then the average thrust rounded to the newton.</li>\n";
  s += "</ul>\n";

  s += "<h2>Class and uncertainty</h2>\n<p id=\"class-position\">";
  if (!f.class_text.empty())
    s += "The total impulse " + figure(f.nfpa.total_impulse) + " N s is " + fixed_trimmed(100.0 * f.class_share, 0) +
         " % of class " + escape(f.class_text) + " (0 % at its lower bound, 100 % at its upper).";
  else
    s += "The total impulse gives no impulse class.";
  if (f.has_budget && !f.nfpa.designation.empty())
    s += " With the uncertainties above, the class holds with a probability of <span id=\"class-probability\">" +
         companion::percent(f.nfpa_budget.class_probability, 3) +
         "</span>, the designation's number with <span id=\"number-probability\">" +
         companion::percent(f.nfpa_budget.number_probability, 3) + "</span>.";
  s += "</p>\n";
  if (f.has_budget) s += budget_table(f);

  s += "<h2>Check of the case</h2>\n";
  if (f.findings.empty()) {
    s += "<p id=\"findings\">kalvorestine_2p0_prepare --check finds nothing in the case.</p>\n";
  } else {
    constexpr std::size_t kShown = 6;
    s += "<ul id=\"findings\" class=\"small\">\n";
    for (std::size_t i = 0; i < std::min(kShown, f.findings.size()); ++i)
      s += "<li>" + escape(f.findings[i].where) + ": " + escape(f.findings[i].text) + "</li>\n";
    if (f.findings.size() > kShown)
      s += "<li>and " + std::to_string(f.findings.size() - kShown) +
           " more: kalvorestine_2p0_prepare --check lists them all.</li>\n";
    s += "</ul>\n";
  }
  for (const std::string& note : f.notes) s += "<p class=\"small\">" + escape(note) + "</p>\n";

  s += "<h2>Input files (SHA-256)</h2>\n<table class=\"small\">\n";
  for (const InputFile& in : f.inputs)
    s += "<tr><td>" + escape(in.role) + "</td><td>" + escape(in.name) + "</td><td class=\"hash\">" + in.sha256 +
         "</td></tr>\n";
  s += "</table>\n";
  return s + kPageEnd;
}

}  // namespace kv::report
