// One firing as the report shows it: the figures of the program's window and the NFPA
// 1125 figures of the whole firing, the curve they come from, the points a motor file
// would hold, and what the report says about the case's files. Every figure is the
// program's or the export's own (firing_loader.cpp is the one place that asks them).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "analysis/budget.h"

namespace kv::report {

// The figures of one set, in the units the export prints them (N s, s, N, m/s, g/s).
struct FigureSet {
  double total_impulse = 0.0;
  double burn_time = 0.0;
  double average = 0.0;  // the set's average thrust
  double peak = 0.0;
  std::string designation;  // empty when none applies
  double specific_impulse = 0.0;  // s
  double exhaust_velocity = 0.0;  // m/s
  double mass_flow = 0.0;         // g/s, the propellant mass over the burn time
};

struct MotorPoint {
  double t = 0.0;  // s after the window's start ti
  double F = 0.0;  // N
};

struct InputFile {
  std::string role;  // "general data file", ...
  std::string name;  // as the case names it (UTF-8)
  std::string sha256;
};

struct CheckFinding {
  std::string where, text;
};

struct Firing {
  std::string folder;      // as given
  std::string case_name;   // UTF-8
  std::string title;       // UTF-8
  std::string run_date;    // when the summary report was written, "2026-12-10 17:40 UTC"
  double ti = 0.0, tf = 0.0;  // the window, s (original times)
  double M = 0.0;             // propellant, kg

  FigureSet window;  // the program's: burn time = tf - ti
  FigureSet nfpa;    // of the firing curve, from the 5 % rise
  double threshold = 0.0;     // N, 5 % of the peak
  double burn_start = 0.0;    // s after ti: the first 5 % crossing
  double burn_end = 0.0;      // s after ti: the last
  double peak_time = 0.0;     // s after ti
  double burn_impulse = 0.0;  // N s between the crossings
  double total_average = 0.0; // N, total impulse / burn time

  // The whole firing curve: F[k] at t0 + k * dt seconds after ti.
  std::vector<double> F;
  double dt = 0.0, t0 = 0.0;
  std::string curve_source;  // which curve it is, in words

  // Where the total impulse lies inside its class: "62 % of class E"; empty when none.
  std::string class_text;
  double class_share = 0.0;

  // The points the export writes (at most 32, or the fewest more that keep every
  // figure), the origin implicit at eng_origin; their impulse, and its difference from
  // the total impulse as a share of it. Empty when the curve cannot give them (why in
  // eng_problem).
  std::vector<MotorPoint> eng;
  double eng_origin = 0.0;  // s after ti
  double eng_impulse = 0.0;
  double eng_difference = 0.0;
  std::string eng_problem;

  // The uncertainty of both sets, as the export states it, with the budget of the NFPA
  // set; none for a curve without a burn.
  bool has_budget = false;
  Budget nfpa_budget, window_budget;

  std::vector<InputFile> inputs;
  std::vector<CheckFinding> findings;  // what prepare's check finds in the case
  std::vector<std::string> notes;      // about the firing curve
  std::vector<std::string> files;      // every file of the case, full paths: never written
  std::string page_path;               // <caso>_report.html in the case folder, full path
};

// Reads the finished run in `folder` (UTF-8): enters it, reads, and goes back to the
// current folder whatever happens. A DataError says what is missing, as the export does.
Firing load_firing(const std::string& folder);

// Writes `bytes` to `path` (shown as `shown`) through a temporary file renamed into
// place; a DataError when the path cannot take a file of the report's own.
void write_output(const std::string& path, const std::string& shown, std::string_view bytes);

// Whether `path` names one of the firing's case files.
bool names_case_file(const Firing& f, const std::string& path);

// The program's version, as the export names it: "KALVORESTINE 2.0.6.2".
std::string program_version();

// The text of a time in ns since 1970 (UTC): "2026-12-10 17:40 UTC".
std::string utc_text(std::int64_t ns);

}  // namespace kv::report
