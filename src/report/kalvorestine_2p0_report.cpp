// kalvorestine_2p0_report: one page for a finished run of KALVORESTINE 2.0, and the data
// sheet of a series of firings.
#include <CLI/CLI.hpp>

#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "companion/command_line.h"
#include "companion/entry.h"
#include "companion/errors.h"
#include "companion/number_text.h"
#include "companion/paths.h"
#include "io/files.h"
#include "report/firing.h"
#include "report/page.h"
#include "report/series.h"
#include "report/series_page.h"
#include "run/program_files.h"

namespace {

using kv::companion::Companion;
using kv::companion::DataError;
using kv::companion::UsageError;
using namespace kv::report;

struct Options {
  std::vector<std::string> folders;
  std::string html, series;
  bool json = false;
  std::optional<double> label_thrust;
  std::string eng, rse;
  // The representative motor's header, as the export takes it.
  std::optional<double> diameter_mm, length_mm, propellant_kg, total_kg;
  std::string name, delays = "P";
};

constexpr const char* kFooter = R"(
One case folder: the page <caso>_report.html in the case folder (or --html FILE), one
self-contained HTML file that prints on one A4 page: the case, its title, the motor's
NFPA 1125 designation, the date of the run files, the SHA-256 of the input files; the
whole firing's thrust curve with the window shaded, the 5 % threshold and its two
crossings, the peak and the points of the .eng file that kalvorestine_2p0_export writes;
the window's figures beside the NFPA 1125 ones; where the total impulse lies in its
class; what kalvorestine_2p0_prepare --check finds in the case. Every figure is the one
the program's summary report or the export prints. No file of the case is changed.

Two or more case folders, or --series FILE: the series' data sheet (series_report.html
in the current folder, or --html FILE; series.csv beside it), and its table on the
standard output (one JSON object with --json).

Exit status: 0 done, 1 a problem with a case or its results (with its message),
2 a usage error.

Examples:
  kalvorestine_2p0_report build/example-run
  kalvorestine_2p0_report build/example-run --html d12.html
)";

// The sheet of a series: the firings from --series or the command line, each read as its
// page reads it.
int series_report(const Companion& companion, const Options& o) {
  std::vector<SeriesEntry> entries;
  if (!o.series.empty()) {
    if (!o.folders.empty()) throw UsageError("--series names the firings: give no case folder besides it");
    entries = read_series_file(o.series);
  } else {
    for (const std::string& folder : o.folders) {
      entries.emplace_back();
      entries.back().folder = folder;
    }
  }
  if ((!o.eng.empty() || !o.rse.empty()) && (!o.diameter_mm || !o.length_mm))
    throw UsageError("--eng and --rse need --diameter MM and --length MM: a simulator needs the motor's size");
  const std::string html = kv::io::full_path_name(o.html.empty() ? std::string("series_report.html") : o.html);
  const std::string html_shown = o.html.empty() ? "series_report.html" : o.html;
  const std::filesystem::path csv_path = std::filesystem::path(html).parent_path() / "series.csv";
  double propellant = 0.0;
  for (SeriesEntry& e : entries) {
    Firing f = load_firing(e.folder);
    // The sheet never takes the place of a firing's own file.
    for (const auto& [option, path] : {std::pair{"--html", html}, std::pair{"series.csv", csv_path.string()}})
      if (names_case_file(f, path))
        throw DataError(std::string(option) + " " + path + " names one of the files of the case " + e.folder +
                         "; choose another name");
    e.file = f.inputs.size() > 2 ? f.inputs[2].name : "";
    if (e.motor.empty()) e.motor = f.nfpa.designation;
    e.total_impulse = f.nfpa.total_impulse;
    e.peak = f.nfpa.peak;
    e.burn_time = f.nfpa.burn_time;
    if (f.has_budget) {
      e.impulse_u = f.nfpa_budget.u[kv::kTotalImpulse];
      e.impulse_u_own = own_uncertainty(f.nfpa_budget, kv::kTotalImpulse);
      e.own_left_out = f.nfpa_budget.own_left_out;
    }
    e.F = std::move(f.F);
    e.dt = f.dt;
    e.rise = f.burn_start - f.t0;
    propellant += f.M / static_cast<double>(entries.size());
  }
  SeriesOptions so;
  so.label_thrust = o.label_thrust;
  const SeriesResult r = analyse_series(entries, so);

  std::vector<std::string> notes;
  if (!o.eng.empty() || !o.rse.empty()) {
    RepresentativeMotor m;
    m.name = o.name;
    m.diameter_mm = *o.diameter_mm;
    m.length_mm = *o.length_mm;
    m.delays = o.delays;
    m.propellant_kg = o.propellant_kg.value_or(propellant);
    m.total_kg = o.total_kg.value_or(m.propellant_kg);
    const auto given = [](const std::string& p) {
      return p.empty() ? std::optional<std::string>() : std::optional(kv::io::full_path_name(p));
    };
    notes = write_representative(entries, r, given(o.eng), given(o.rse), m);
  }
  write_output(html, html_shown, series_page(entries, r));
  write_output(csv_path.string(), kv::companion::display_name(csv_path), series_csv(r));
  for (const std::string& n : notes) companion.warn(n);
  companion.out(o.json ? series_json(r) : series_text(r));
  return kv::companion::kSuccess;
}

// The one-firing page.
int firing_report(const Companion& companion, const Options& o) {
  const Firing f = load_firing(o.folders.front());
  const std::string path = o.html.empty() ? f.page_path : kv::io::full_path_name(o.html);
  // Named as the user knows it: the option's text, or the name in the case folder.
  const std::string shown =
      o.html.empty() ? std::string(kv::case_own_name(f.case_name)) + "_report.html in the case folder " + o.folders.front()
                     : o.html;
  if (names_case_file(f, path)) throw DataError("--html " + shown + " names one of the case's own files; choose another name");
  write_output(path, shown, firing_page(f));
  companion.out("The page of " + f.case_name + " (" + (f.nfpa.designation.empty() ? "no designation" : f.nfpa.designation) +
                "): " + shown + "\n");
  return kv::companion::kSuccess;
}

int run(const Companion& companion, const std::vector<std::string>& args) {
  CLI::App app{"Makes the one-page report of a finished KALVORESTINE 2.0 run, and the data sheet of a series of\n"
               "firings (per-firing table, statistics, NFPA 1125 verdicts, the typical thrust curve).",
               kReportName};
  app.footer(kFooter);
  app.get_formatter()->column_width(30);
  Options o;
  app.add_option("CASE_DIR", o.folders, "The case folders: one for a firing's page, two or more for a series");
  app.add_option("--html", o.html, "The page to write (default: <caso>_report.html in the case folder, or "
                                   "series_report.html)")
      ->type_name("FILE");
  app.add_option("--series", o.series, "The series file naming the firings, each with its labels")->type_name("FILE");
  app.add_flag("--json", o.json, "A series: its sheet as one JSON object on the standard output instead of the table");
  kv::companion::add_number(app, "--label-thrust", o.label_thrust,
                            "A series: the labelled average thrust in N (default: the designation's number)",
                            kv::companion::NumberRule{[](double v) { return v > 0; }, "must be a positive number of newtons"})
      ->type_name("N");
  app.add_option("--eng", o.eng, "A series: write the representative motor as a RASP .eng file")->type_name("FILE");
  app.add_option("--rse", o.rse, "A series: write the representative motor as a RockSim .rse file")->type_name("FILE");
  const kv::companion::NumberRule size{[](double v) { return v >= 1 && v <= 1000; },
                                       "must be in millimetres, from 1 to 1000 (24 for a 24 mm motor)"};
  const kv::companion::NumberRule mass{[](double v) { return v > 0 && v < 1e6; }, "must be a positive mass in kilograms"};
  kv::companion::add_number(app, "--diameter", o.diameter_mm, "A series' motor file: the motor's diameter in mm", size)
      ->type_name("MM");
  kv::companion::add_number(app, "--length", o.length_mm, "A series' motor file: the motor's length in mm", size)
      ->type_name("MM");
  kv::companion::add_number(app, "--propellant-mass", o.propellant_kg,
                            "A series' motor file: the propellant mass in kg (default: the cases' mean M)", mass)
      ->type_name("KG");
  kv::companion::add_number(app, "--total-mass", o.total_kg,
                            "A series' motor file: the loaded motor's mass in kg (default: the propellant mass)", mass)
      ->type_name("KG");
  app.add_option("--name", o.name, "A series' motor file: the motor's name (default: the series designation)")
      ->type_name("TEXT");
  app.add_option("--delays", o.delays, "A series' motor file: the delays, dash-separated, or P (default: P)")
      ->type_name("LIST");
  if (!companion.parse(app, args)) return kv::companion::kSuccess;

  const bool series = !o.series.empty() || o.folders.size() >= 2;
  if (!series) {
    if (o.folders.empty()) throw UsageError("name a case folder (or two or more, or --series FILE, for a series)");
    for (const char* option : {"--json", "--label-thrust", "--eng", "--rse", "--diameter", "--length",
                               "--propellant-mass", "--total-mass", "--name", "--delays"})
      if (app.count(option) > 0)
        throw UsageError(std::string(option) + " is for a series of firings (two or more case folders, or --series)");
    return firing_report(companion, o);
  }
  return series_report(companion, o);
}

}  // namespace

int main(int argc, char** argv) { return kv::companion::run(kReportName, argc, argv, run); }
