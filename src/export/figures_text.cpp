// The figures as a readable table and as one JSON object.
#include <cmath>
#include <string>
#include <string_view>

#include "companion/number_text.h"
#include "export/export_run.h"

namespace kv::exporter {

using companion::json_number;
using companion::json_string;
using companion::signed_percent;
using companion::significant;

namespace {

// (NFPA - window) / window; NaN when the window's value gives no comparison.
double relative_difference(double nfpa, double window) {
  if (!(std::isfinite(nfpa) && std::isfinite(window)) || window == 0.0) return std::nan("");
  return (nfpa - window) / window;
}

std::string value(double v) { return std::isfinite(v) ? significant(v, 7) : "-"; }
std::string text_or_dash(const std::string& s) { return s.empty() ? "-" : s; }

std::string row(const std::string& label, const std::string& window, const std::string& nfpa, const std::string& diff) {
  std::string r = "  " + label;
  r.resize(24, ' ');
  r += window;
  r.resize(r.size() < 40 ? 40 : r.size() + 1, ' ');
  r += nfpa;
  if (!diff.empty()) {
    r.resize(r.size() < 56 ? 56 : r.size() + 1, ' ');
    r += diff;
  }
  return r + "\n";
}

std::string json_text_or_null(const std::string& s) { return s.empty() ? "null" : json_string(s); }

}  // namespace

std::string figures_table(const Figures& f) {
  const NfpaFigures& n = f.nfpa;
  const WindowFigures& w = f.window;
  std::string s;
  s += "Case " + f.caso + ": " + f.title + "\n\n";
  s += row("", "window", "NFPA 1125", "NFPA vs window");
  s += row("total impulse (N s)", value(w.total_impulse), value(n.total_impulse),
           signed_percent(relative_difference(n.total_impulse, w.total_impulse)));
  s += row("burn time (s)", value(w.burn_time), value(n.burn_time),
           signed_percent(relative_difference(n.burn_time, w.burn_time)));
  s += row("average thrust (N)", value(w.mean_thrust), value(n.average),
           signed_percent(relative_difference(n.average, w.mean_thrust)));
  s += row("peak thrust (N)", "", value(n.peak), "");
  s += row("designation", text_or_dash(w.designation), text_or_dash(n.designation), "");
  s += "\n";
  s += "  window:    burn time = the case's window, tf - ti = " + significant(f.tf, 7) + " s - " + significant(f.ti, 7) +
       " s;\n             average = total impulse / burn time\n";
  if (std::isfinite(n.burn_time)) {
    s += "  NFPA 1125: burn time from " + significant(n.burn_start, 6) + " s to " + significant(n.burn_end, 6) +
         " s after the window's start,\n             the first and last crossings of 5 % of the peak (" +
         significant(n.threshold, 6) + " N);\n             average = impulse between them (" +
         significant(n.burn_impulse, 7) + " N s) / burn time\n";
  } else {
    s += "  NFPA 1125: the curve has no positive thrust, hence no burn\n";
  }
  s += "  Both total impulses: trapezoid rule over the curve's " + std::to_string(f.curve_points) + " points\n";
  if (f.has_eng) {
    s += "\nRASP engine file " + f.eng_shown + "\n  " + f.eng_header + "\n  " + std::to_string(f.eng.points) +
         " points; its time 0 is " + significant(f.eng_origin, 6) + " s after the window's start, burn-out at " +
         significant(f.eng.burn_time, 6) + " s\n  total impulse " +
         significant(f.eng.total_impulse, 7) + " N s (" +
         signed_percent(relative_difference(f.eng.total_impulse, n.total_impulse)) + " from the curve's), peak " +
         significant(f.eng.peak, 7) + " N (" + signed_percent(relative_difference(f.eng.peak, n.peak)) + ")\n";
  }
  if (!f.csv_path.empty()) s += "\nCSV curve " + f.csv_shown + " (" + std::to_string(f.curve_points) + " points)\n";
  return s;
}

std::string figures_json(const Figures& f) {
  const NfpaFigures& n = f.nfpa;
  const WindowFigures& w = f.window;
  std::string s = "{\n";
  s += "  \"case\": " + json_string(f.caso) + ",\n";
  s += "  \"title\": " + json_string(f.title) + ",\n";
  s += "  \"nfpa\": {\n";
  s += "    \"total_impulse_Ns\": " + json_number(n.total_impulse) + ",\n";
  s += "    \"peak_thrust_N\": " + json_number(n.peak) + ",\n";
  s += "    \"burn_time_s\": " + json_number(n.burn_time) + ",\n";
  s += "    \"average_thrust_N\": " + json_number(n.average) + ",\n";
  s += "    \"designation\": " + json_text_or_null(n.designation) + ",\n";
  s += "    \"threshold_N\": " + json_number(n.threshold) + ",\n";
  s += "    \"burn_start_s\": " + json_number(n.burn_start) + ",\n";
  s += "    \"burn_end_s\": " + json_number(n.burn_end) + ",\n";
  s += "    \"burn_impulse_Ns\": " + json_number(n.burn_impulse) + "\n";
  s += "  },\n";
  s += "  \"window\": {\n";
  s += "    \"total_impulse_Ns\": " + json_number(w.total_impulse) + ",\n";
  s += "    \"burn_time_s\": " + json_number(w.burn_time) + ",\n";
  s += "    \"mean_thrust_N\": " + json_number(w.mean_thrust) + ",\n";
  s += "    \"designation\": " + json_text_or_null(w.designation) + ",\n";
  s += "    \"ti_s\": " + json_number(f.ti) + ",\n";
  s += "    \"tf_s\": " + json_number(f.tf) + "\n";
  s += "  },\n";
  s += "  \"relative_difference\": {\n";
  s += "    \"total_impulse\": " + json_number(relative_difference(n.total_impulse, w.total_impulse)) + ",\n";
  s += "    \"burn_time\": " + json_number(relative_difference(n.burn_time, w.burn_time)) + ",\n";
  s += "    \"average_thrust\": " + json_number(relative_difference(n.average, w.mean_thrust)) + "\n";
  s += "  },\n";
  if (f.has_eng) {
    s += "  \"eng\": {\n";
    s += "    \"file\": " + json_string(f.eng_shown) + ",\n";
    s += "    \"points\": " + std::to_string(f.eng.points) + ",\n";
    s += "    \"total_impulse_Ns\": " + json_number(f.eng.total_impulse) + ",\n";
    s += "    \"peak_thrust_N\": " + json_number(f.eng.peak) + ",\n";
    s += "    \"burn_time_s\": " + json_number(f.eng.burn_time) + ",\n";
    s += "    \"origin_s\": " + json_number(f.eng_origin) + "\n";
    s += "  },\n";
  } else {
    s += "  \"eng\": null,\n";
  }
  s += "  \"curve_points\": " + std::to_string(f.curve_points) + "\n";
  s += "}\n";
  return s;
}

}  // namespace kv::exporter
