// kalvorestine_2p0_report: one page for a finished run of KALVORESTINE 2.0, and the data
// sheet of a series of firings.
#include <CLI/CLI.hpp>

#include <optional>
#include <string>
#include <vector>

#include "companion/command_line.h"
#include "companion/entry.h"
#include "companion/errors.h"
#include "companion/number_text.h"
#include "io/files.h"
#include "report/firing.h"
#include "report/page.h"

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

// The one-firing page.
int firing_report(const Companion& companion, const Options& o) {
  const Firing f = load_firing(o.folders.front());
  const std::string path = o.html.empty() ? f.page_path : kv::io::full_path_name(o.html);
  const std::string shown = o.html.empty() ? kv::companion::utf8_from_cp1252(path) : o.html;
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
  if (!companion.parse(app, args)) return kv::companion::kSuccess;

  const bool series = !o.series.empty() || o.folders.size() >= 2;
  if (!series) {
    if (o.folders.empty()) throw UsageError("name a case folder (or two or more, or --series FILE, for a series)");
    for (const char* option : {"--json", "--label-thrust", "--eng", "--rse"})
      if (app.count(option) > 0)
        throw UsageError(std::string(option) + " is for a series of firings (two or more case folders, or --series)");
    return firing_report(companion, o);
  }
  throw DataError("a series needs the series sheet, which this build does not have yet");
}

}  // namespace

int main(int argc, char** argv) { return kv::companion::run(kReportName, argc, argv, run); }
