#include "prepare/summary.h"

#include <cmath>
#include <span>

#include "analysis/impulse.h"
#include "analysis/impulse_class.h"
#include "analysis/mass_flow.h"
#include "analysis/nfpa.h"
#include "analysis/window.h"
#include "companion/number_text.h"
#include "input/case_selection.h"
#include "output/plot_script.h"
#include "prepare/case_record.h"

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


}  // namespace


namespace {

// The decimals a time needs on a grid of `step` s, and one more for a time placed between
// points.
int decimals_for(double step, int more) {
  int d = 0;
  while (d < 9 && std::pow(10.0, -d) > step * (1 + 1e-9)) ++d;
  return std::min(9, d + more);
}

std::string seconds(double t, int decimals) { return companion::fixed_trimmed(t, decimals) + " s"; }

// Two columns side by side.
void row(std::string& s, std::string_view label, const std::string& left, const std::string& right) {
  std::string l = left;
  if (l.size() < 34) l.append(34 - l.size(), ' ');
  item(s, label, l + "  " + right);
}

}  // namespace

std::string summary(const SummaryInput& in) {
  const Scan& sc = *in.scan;
  const Layout& lay = sc.layout;
  const Prepared& p = *in.prepared;
  const ReadOptions& ro = *in.read;
  const int logger_digits = decimals_for(sc.step_median, 1);
  const int grid_digits = decimals_for(1.0 / p.rate, 0);
  std::string s = "kalvorestine_2p0_prepare: " + in.logger + " -> " + in.request->folder + "\n";

  std::string lines = plural(sc.lines, "line") + " read: " + std::to_string(sc.data_lines) + " data, " +
                      std::to_string(sc.skipped) + " skipped (blank, header, banner or comment)";
  if (sc.folded > 0)
    lines += "; " + plural(sc.folded, "line") + " with the time stamp of the line before averaged into it";
  item(s, "input", lines);
  if (sc.format.format != FileFormat::Delimited) {
    std::string f(format_name(sc.format.format));
    if (!sc.format.motor.empty()) f += ": motor " + sc.format.motor;
    if (sc.format.propellant_kg > 0) f += ", propellant " + significant(sc.format.propellant_kg, 6) + " kg";
    if (sc.format.diameter_mm > 0 && sc.format.length_mm > 0)
      f += ", casing " + significant(sc.format.diameter_mm, 6) + " x " + significant(sc.format.length_mm, 6) + " mm";
    if (sc.format.rate > 0 && lay.time_col < 0) f += ", " + significant(sc.format.rate, 8) + " Hz from its header";
    if (sc.format.declared_points > 0 && sc.format.declared_points != sc.data_lines)
      f += "; its header counts " + std::to_string(sc.format.declared_points) + " samples, the file holds " +
           std::to_string(sc.data_lines);
    item(s, "format", f);
  }

  std::string layout = "values separated by " + delimiter_name(lay.delimiter) +
                       (lay.delimiter_detected ? " (detected)" : "") + ", decimal " +
                       (lay.decimal_comma ? "comma" : "point") + (lay.decimal_comma_detected ? " (detected)" : "");
  if (lay.header_line > 0) layout += ", column names on line " + std::to_string(lay.header_line);
  if (lay.first_data_line > 1) layout += ", data from line " + std::to_string(lay.first_data_line);
  item(s, "layout", layout);

  std::string cols = lay.time_col >= 0 ? "time: column " + column_label(lay, lay.time_col) + " in " +
                                             std::string(unit_name(sc.time_unit)) +
                                             (sc.time_unit_from_file ? " (from the header)" : "")
                                       : "time: i / " + significant(sc.rate, 10) + " Hz (no time column)";
  cols += "; thrust: column " + column_label(lay, lay.thrust_col) + " in " + std::string(unit_name(sc.thrust_unit)) +
          (sc.thrust_unit_from_file ? " (from the header)" : "");
  if (ro.scale != 1 || ro.offset != 0)
    cols += ", = " + significant(ro.scale, 10) + " x raw " + (ro.offset < 0 ? "- " : "+ ") +
            significant(std::fabs(ro.offset), 10);
  item(s, "columns", cols);
  if (in.calibration)
    for (const std::string& l : calibration_lines(*in.calibration)) item(s, "calibration", l);
  if (sc.shift != 0)
    item(s, "clock", "absolute times: " + significant(sc.shift, 15) + " s subtracted, so that the record starts at 0");
  if (!sc.clock_wraps.empty()) {
    std::string at;
    for (const std::int64_t l : sc.clock_wraps) at += (at.empty() ? "" : ", ") + std::to_string(l);
    item(s, "clock", "the logger's 32-bit clock wrapped (started again at 0 after 2^32 counts) on line" +
                         std::string(sc.clock_wraps.size() == 1 ? " " : "s ") + at +
                         ": 4294967296 counts added to the times from there on");
  }
  if (ro.run > 0 && ro.run <= static_cast<int>(sc.runs.size())) {
    const Run& r = sc.runs[static_cast<std::size_t>(ro.run - 1)];
    item(s, "run", std::to_string(ro.run) + " of " + std::to_string(sc.runs.size()) + ": lines " +
                       std::to_string(r.first_line) + "-" + std::to_string(r.last_line));
  }

  std::string logger = "median step " + step_text(sc.step_median) + "; 90 % of the steps between " +
                       step_text(sc.step_p05) + " and " + step_text(sc.step_p95) + "; longest " +
                       step_text(sc.step_max) + " (line " + std::to_string(sc.step_max_line) + ")";
  item(s, "logger", logger);
  item(s, "record", seconds(sc.t_first, logger_digits) + " to " + seconds(sc.t_last, logger_digits) + ", " +
                        plural(sc.points, "point") + ", thrust " + significant(sc.F_min, 4) + " to " +
                        significant(sc.F_max, 4) + " N as read; noise " + significant(p.noise, 2) + " N where quietest");
  if (!p.events.empty()) {
    std::string ev = std::to_string(p.events.size()) + (p.events.size() == 1 ? " event" : " events");
    if (p.event >= 0) {
      const Event& e = p.events[static_cast<std::size_t>(p.event)];
      ev += "; the firing is event " + std::to_string(p.event + 1) + ", " + seconds(e.start, logger_digits - 1) + " to " +
            seconds(e.end, logger_digits - 1) + ", " + significant(e.impulse, 4) + " N s over the baseline";
    }
    item(s, "events", ev);
  }

  const auto span_text = [&](const Span& sp) {
    return "mean over " + seconds(sp.from, logger_digits - 1) + " to " + seconds(sp.to, logger_digits - 1) + " (" +
           plural(sp.count, "point") + ", sd " + significant(sp.sd, 3) + " N" + (sp.given ? ", as given" : "") + ")";
  };
  std::string tare;
  switch (p.tare) {
    case Tare::none: tare = "none: the thrust as read"; break;
    case Tare::pre: tare = "pre: " + significant(-p.pre->mean, 4) + " N added, the " + span_text(*p.pre) + " before ignition"; break;
    case Tare::linear:
      tare = "linear: the baseline goes from " + significant(p.pre->mean, 4) + " N (" + span_text(*p.pre) + ") to " +
             significant(p.post->mean, 4) + " N (" + span_text(*p.post) + "), subtracted as a straight line (" +
             significant(100 * p.drift_share, 2) + " % of the impulse)";
      break;
  }
  if (p.drift_known) tare += "; after the burn the thrust settles at " + significant(p.drift_after, 3) + " N";
  item(s, "tare", tare);
  item(s, "peak", significant(p.peak, 4) + " N at " + seconds(p.t_peak, logger_digits - 1));
  item(s, "burn", "ignition " + seconds(p.t_ignition, logger_digits) + ", burn-out " + seconds(p.t_burnout, logger_digits) +
                      " (" + seconds(p.t_burnout - p.t_ignition, logger_digits) + " above the threshold)");
  item(s, "window", std::string(p.window_given ? "as given: " : "") + "ti = " + seconds(p.ti, grid_digits) + ", tf = " +
                        seconds(p.tf, grid_digits) + ": " + plural(p.window_points(), "point") + " at w = " +
                        std::to_string(p.rate) + " Hz; the load-cell file holds " + plural(p.ib - p.ia + 1, "point") +
                        " from " + seconds(p.time(p.ia), grid_digits) + " to " + seconds(p.time(p.ib), grid_digits));

  // The figures as the program will compute them from the case, and as certification
  // defines them over the whole prepared curve.
  const double tq = burn_time(p.ti, p.tf);
  const double Fmed = mean_thrust(p.impulse_program, tq);
  const std::string motor = designation(impulse_class(p.impulse_program), Fmed);
  const double Is = specific_impulse(exhaust_velocity(p.impulse_program, in.request->mass));
  const NfpaFigures nf = certification_figures(std::span<const double>(p.F), sampling_interval(p.rate));
  item(s, "impulse", "over the logger's points " + significant(p.impulse_logger, 6) + " N s, over the prepared curve " +
                         significant(p.impulse_grid, 6) + " N s (" +
                         (p.impulse_logger != 0 ? fixed(100 * (p.impulse_grid - p.impulse_logger) / p.impulse_logger, 3)
                                                : std::string("-")) +
                         " %)");
  row(s, "figures", "the program will print", "NFPA 1125 over the prepared curve");
  row(s, "", "It = " + significant(p.impulse_program, 6) + " N s (ti to tf)",
      significant(nf.total_impulse, 6) + " N s (to the last measurable thrust)");
  row(s, "", "tq = " + seconds(tq, grid_digits), seconds(nf.burn_time, grid_digits + 1) + " (the 5 % crossings)");
  row(s, "", "Fmed = " + significant(Fmed, 5) + " N", significant(nf.average, 5) + " N (burn impulse / burn time)");
  row(s, "", motor.empty() ? std::string("no class") : motor, nf.designation.empty() ? std::string("no class") : nf.designation);
  item(s, "expect", "Is = " + significant(Is, 4) + " s with M = " + significant(in.request->mass, 6) + " kg");
  item(s, "files", std::string(kGeneralDataFile) + ", " + case_file_name(in.request->caso) + ", " +
                       load_cell_file_name(in.request->caso) + ", " +
                       (in.request->record ? record_file_name(in.request->caso) + ", " : std::string()) + kPlotScript +
                       (in.plot_script_kept ? " (kept)" : " (new)"));
  for (const auto& w : p.warnings) s += "  warning: " + w + "\n";
  return s;
}

}  // namespace kv::prepare
