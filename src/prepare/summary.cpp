#include "prepare/summary.h"

#include <cmath>

#include "analysis/impulse.h"
#include "analysis/impulse_class.h"
#include "analysis/mass_flow.h"
#include "analysis/window.h"
#include "companion/number_text.h"
#include "input/case_selection.h"
#include "output/plot_script.h"

namespace kv::prepare {

using companion::fixed;
using companion::shortest;
using companion::significant;

namespace {

std::string plural(std::int64_t n, const char* word) {
  return std::to_string(n) + " " + word + (n == 1 ? "" : "s");
}

void item(std::string& s, std::string_view label, const std::string& text) {
  s += "  ";
  s += label;
  s.append(label.size() < 9 ? 9 - label.size() : 1, ' ');
  s += text;
  s += '\n';
}

std::string span_text(const Span& sp) {
  return "mean over " + significant(sp.from, 6) + " to " + significant(sp.to, 6) + " s (" + plural(sp.count, "point") + ", sd " +
         significant(sp.sd, 3) + " N)";
}

}  // namespace

std::string step_text(double seconds) {
  if (seconds >= 0.9995) return significant(seconds, 4) + " s (" + significant(1 / seconds, 4) + " Hz)";
  if (seconds >= 0.9995e-3) return significant(seconds * 1e3, 4) + " ms (" + significant(1 / seconds, 4) + " Hz)";
  return significant(seconds * 1e6, 4) + " us (" + significant(1 / seconds, 5) + " Hz)";
}

std::string summary(const SummaryInput& in) {
  const Scan& sc = *in.scan;
  const Layout& lay = sc.layout;
  const Prepared& p = *in.prepared;
  const ReadOptions& ro = *in.read;
  std::string s = "kalvorestine_2p0_prepare: " + in.logger + " -> " + in.request->folder + "\n";

  std::string lines = plural(sc.lines, "line") + " read: " + std::to_string(sc.data_lines) + " data, " +
                      std::to_string(sc.skipped) + " skipped (blank, header, banner or comment)";
  if (sc.folded > 0)
    lines += "; " + plural(sc.folded, "line") + " with the time stamp of the line before averaged into it";
  item(s, "input", lines);

  std::string layout = "values separated by " + std::string(delimiter_name(lay.delimiter)) +
                       (lay.delimiter_detected ? " (detected)" : "") + ", decimal " +
                       (lay.decimal_comma ? "comma" : "point") + (lay.decimal_comma_detected ? " (detected)" : "");
  if (lay.header_line > 0) layout += ", column names on line " + std::to_string(lay.header_line);
  item(s, "layout", layout);

  std::string cols = lay.time_col >= 0 ? "time: column " + column_label(lay, lay.time_col) + " in " +
                                             std::string(unit_name(ro.time_unit))
                                       : "time: i / " + significant(ro.rate, 10) + " Hz (no time column)";
  cols += "; thrust: column " + column_label(lay, lay.thrust_col) + " in " + std::string(unit_name(ro.thrust_unit));
  if (ro.scale != 1 || ro.offset != 0) cols += ", = " + significant(ro.scale, 10) + " x raw + " + significant(ro.offset, 10);
  item(s, "columns", cols);
  if (sc.shift != 0)
    item(s, "clock", "absolute times: " + significant(sc.shift, 15) + " s subtracted, so that the record starts at 0");

  if (!sc.clock_wraps.empty()) {
    std::string at;
    for (const std::int64_t l : sc.clock_wraps) at += (at.empty() ? "" : ", ") + std::to_string(l);
    item(s, "clock", "the logger's 32-bit clock wrapped (started again at 0 after 2^32 counts) on line" +
                         std::string(sc.clock_wraps.size() == 1 ? " " : "s ") + at +
                         ": 4294967296 counts added to the times from there on");
  }
  std::string logger = "median step " + step_text(sc.step_median) + "; 90 % of the steps between " +
                       step_text(sc.step_p05) + " and " + step_text(sc.step_p95) + "; longest " +
                       step_text(sc.step_max) + " (line " + std::to_string(sc.step_max_line) + ")";
  item(s, "logger", logger);
  item(s, "record", significant(sc.t_first, 6) + " to " + significant(sc.t_last, 6) + " s, " + plural(sc.points, "point") +
                        ", thrust " + significant(sc.F_min, 4) + " to " + significant(sc.F_max, 4) + " N as read");

  std::string tare;
  switch (p.tare) {
    case Tare::none: tare = "none: the thrust as read"; break;
    case Tare::pre: tare = "pre: " + significant(-p.pre->mean, 4) + " N added, the " + span_text(*p.pre) + " before ignition"; break;
    case Tare::linear:
      tare = "linear: the baseline goes from " + significant(p.pre->mean, 4) + " N (" + span_text(*p.pre) + ") to " +
             significant(p.post->mean, 4) + " N (" + span_text(*p.post) + "), subtracted as a straight line";
      break;
  }
  if (p.drift_known) tare += "; after the burn the thrust settles at " + significant(p.drift_after, 3) + " N";
  item(s, "tare", tare);
  item(s, "peak", significant(p.peak, 4) + " N at " + significant(p.t_peak, 6) + " s");
  item(s, "burn", "ignition " + significant(p.t_ignition, 6) + " s, burn-out " + significant(p.t_burnout, 6) + " s (" +
                      significant(p.t_burnout - p.t_ignition, 4) + " s above the threshold)");
  item(s, "window", std::string(p.window_given ? "as given: " : "") + "ti = " + shortest(p.ti) + " s, tf = " +
                        shortest(p.tf) + " s: " + plural(p.window_points(), "point") + " at w = " +
                        std::to_string(p.rate) + " Hz" + (p.rate_from_logger ? " (the logger's rate)" : "") +
                        "; the load-cell file holds " + plural(p.ib - p.ia + 1, "point") + " from " +
                        shortest(p.time(p.ia)) + " to " + shortest(p.time(p.ib)) + " s");

  // The figures as the program will compute them from the case.
  const double tq = burn_time(p.ti, p.tf);
  const double Fmed = mean_thrust(p.impulse_program, tq);
  const std::string motor = designation(impulse_class(p.impulse_program), Fmed);
  const double Is = specific_impulse(exhaust_velocity(p.impulse_program, in.request->mass));
  item(s, "impulse", "over the logger's points " + significant(p.impulse_logger, 6) + " N s, over the prepared curve " +
                         significant(p.impulse_grid, 6) + " N s (" +
                         (p.impulse_logger != 0 ? fixed(100 * (p.impulse_grid - p.impulse_logger) / p.impulse_logger, 3)
                                                : std::string("-")) +
                         " %)");
  item(s, "expect", "the program: It = " + significant(p.impulse_program, 6) + " N s, Fmed = " + significant(Fmed, 5) + " N over tq = " +
                        significant(tq, 6) + " s" + (motor.empty() ? "" : ", " + motor) + ", Is = " +
                        significant(Is, 4) + " s");
  item(s, "files", std::string(kGeneralDataFile) + ", " + case_file_name(in.request->caso) + ", " +
                       load_cell_file_name(in.request->caso) + ", " + kPlotScript +
                       (in.plot_script_kept ? " (kept)" : " (new)"));
  for (const auto& w : p.warnings) s += "  warning: " + w + "\n";
  return s;
}

}  // namespace kv::prepare
