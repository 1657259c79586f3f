#include "prepare/summary.h"

#include <charconv>
#include <cmath>

#include "analysis/impulse.h"
#include "analysis/impulse_class.h"
#include "input/case_selection.h"
#include "output/plot_script.h"
#include "analysis/mass_flow.h"
#include "analysis/window.h"

namespace kv::prepare {

namespace {

std::string num(double v, int digits = 4) {
  if (v == 0) return "0";
  char buf[48];
  const auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::general, digits);
  return std::string(buf, r.ptr);
}

// A percentage with three decimals.
std::string percent(double v) {
  char buf[48];
  const auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed, 3);
  std::string t(buf, r.ptr);
  return t == "-0.000" ? "0.000" : t;
}

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
  return "mean over " + num(sp.from, 6) + " to " + num(sp.to, 6) + " s (" + plural(sp.count, "point") + ", sd " +
         num(sp.sd, 3) + " N)";
}

}  // namespace

std::string step_text(double seconds) {
  if (seconds >= 0.9995) return num(seconds, 4) + " s (" + num(1 / seconds, 4) + " Hz)";
  if (seconds >= 0.9995e-3) return num(seconds * 1e3, 4) + " ms (" + num(1 / seconds, 4) + " Hz)";
  return num(seconds * 1e6, 4) + " us (" + num(1 / seconds, 5) + " Hz)";
}

std::string summary(const SummaryInput& in) {
  const Scan& sc = *in.scan;
  const Layout& lay = sc.layout;
  const Prepared& p = *in.prepared;
  const ReadOptions& ro = *in.read;
  std::string s = "kalvorestine_2p0_prepare: " + in.logger + " -> " + display_name(in.request->folder) + "\n";

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
                                       : "time: i / " + num(ro.rate, 10) + " Hz (no time column)";
  cols += "; thrust: column " + column_label(lay, lay.thrust_col) + " in " + std::string(unit_name(ro.thrust_unit));
  if (ro.scale != 1 || ro.offset != 0) cols += ", = " + num(ro.scale, 10) + " x raw + " + num(ro.offset, 10);
  item(s, "columns", cols);
  if (sc.shift != 0)
    item(s, "clock", "absolute times: " + num(sc.shift, 15) + " s subtracted, so that the record starts at 0");

  std::string logger = "median step " + step_text(sc.step_median) + "; 90 % of the steps between " +
                       step_text(sc.step_p05) + " and " + step_text(sc.step_p95) + "; longest " +
                       step_text(sc.step_max) + " (line " + std::to_string(sc.step_max_line) + ")";
  item(s, "logger", logger);
  item(s, "record", num(sc.t_first, 6) + " to " + num(sc.t_last, 6) + " s, " + plural(sc.points, "point") +
                        ", thrust " + num(sc.F_min) + " to " + num(sc.F_max) + " N as read");

  std::string tare;
  switch (p.tare) {
    case Tare::none: tare = "none: the thrust as read"; break;
    case Tare::pre: tare = "pre: " + num(-p.pre->mean) + " N added, the " + span_text(*p.pre) + " before ignition"; break;
    case Tare::linear:
      tare = "linear: the baseline goes from " + num(p.pre->mean) + " N (" + span_text(*p.pre) + ") to " +
             num(p.post->mean) + " N (" + span_text(*p.post) + "), subtracted as a straight line";
      break;
  }
  if (p.drift_known) tare += "; after the burn the thrust settles at " + num(p.drift_after, 3) + " N";
  item(s, "tare", tare);
  item(s, "peak", num(p.peak) + " N at " + num(p.t_peak, 6) + " s");
  item(s, "burn", "ignition " + num(p.t_ignition, 6) + " s, burn-out " + num(p.t_burnout, 6) + " s (" +
                      num(p.t_burnout - p.t_ignition, 4) + " s above the threshold)");
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
  item(s, "impulse", "over the logger's points " + num(p.impulse_logger, 6) + " N s, over the prepared curve " +
                         num(p.impulse_grid, 6) + " N s (" +
                         (p.impulse_logger != 0 ? percent(100 * (p.impulse_grid - p.impulse_logger) / p.impulse_logger)
                                                : std::string("-")) +
                         " %)");
  item(s, "expect", "the program: It = " + num(p.impulse_program, 6) + " N s, Fmed = " + num(Fmed, 5) + " N over tq = " +
                        num(tq, 6) + " s" + (motor.empty() ? "" : ", " + motor) + ", Is = " +
                        num(Is, 4) + " s");
  item(s, "files", std::string(kGeneralDataFile) + ", " + case_file_name(in.request->caso) + ", " +
                       load_cell_file_name(in.request->caso) + ", " + kPlotScript +
                       (in.plot_script_kept ? " (kept)" : " (new)"));
  for (const auto& w : p.warnings) s += "  warning: " + w + "\n";
  return s;
}

}  // namespace kv::prepare
