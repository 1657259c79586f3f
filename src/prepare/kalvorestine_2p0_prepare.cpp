// kalvorestine_2p0_prepare: from a logger's file to a case that KALVORESTINE 2.0 reads,
// and the check of a case folder before a run.
//
//   kalvorestine_2p0_prepare [options] LOGGER_FILE
//   kalvorestine_2p0_prepare --check [CASE_DIR]
//
// Exit status: 0 success (a clean check), 1 a data problem (a problem found), 2 a usage
// error.

#include <CLI/CLI.hpp>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "analysis/mass_flow.h"
#include "companion/command_line.h"
#include "companion/entry.h"
#include "companion/number_text.h"
#include "companion/paths.h"
#include "prepare/case_check.h"
#include "prepare/case_writer.h"
#include "prepare/condition.h"
#include "prepare/logger_reader.h"
#include "io/diagnostics.h"
#include "io/os.h"
#include "prepare/os_files.h"
#include "prepare/summary.h"
#include "run/program_files.h"

namespace {

using namespace kv::prepare;
using kv::companion::Companion;
using kv::companion::DataError;
using kv::companion::UsageError;

constexpr const char* kProgram = "kalvorestine_2p0_prepare";

// The command line, as read.
struct Args {
  std::string logger;
  std::string check_dir;  // --check: its folder, or "" for this one
  std::optional<Delimiter> delimiter;
  std::string time_col, thrust_col;
  std::optional<double> rate, scale, offset;
  bool decimal_comma = false;
  std::optional<TimeUnit> time_unit;
  std::optional<ThrustUnit> thrust_unit;
  std::optional<Tare> tare;
  std::optional<double> threshold, margin, cutoff, mass;
  std::optional<std::pair<double, double>> window;
  std::string out, caso, title;
  bool force = false, quiet = false;
};

std::string lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

// A column given by number (from 1), by the header's name, or "none" where allowed.
CLI::Validator column_check(const std::string& option, bool none_allowed) {
  return CLI::Validator(
      [option, none_allowed](std::string& text) -> std::string {
        const bool digits = !text.empty() && std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
        if ((lower(text) == "none" || text == "0") && !none_allowed)
          throw UsageError(option + " " + text + ": the thrust needs a column");
        if (digits && text.size() > kColumnDigits) throw UsageError(option + " " + text + ": no such column");
        return {};
      },
      "");
}

// --window TI,TF: two numbers, each with a decimal point, or each with a decimal comma
// ("2,5,3,7"): the comma between them is the one in the middle then.
std::pair<double, double> window_option(const std::string& text) {
  std::vector<std::size_t> commas;
  for (std::size_t i = 0; i < text.size(); ++i)
    if (text[i] == ',') commas.push_back(i);
  if (commas.size() != 1 && commas.size() != 3) throw UsageError("--window " + text + ": give TI,TF in seconds");
  const std::size_t at = commas[commas.size() / 2];
  const auto ti = kv::companion::user_number(std::string_view(text).substr(0, at));
  const auto tf = kv::companion::user_number(std::string_view(text).substr(at + 1));
  if (!ti || !tf) throw UsageError("--window " + text + ": give TI,TF in seconds");
  if (!(*tf > *ti)) throw UsageError("--window " + text + ": TF must come after TI");
  return {*ti, *tf};
}

// The case name a logger file's name makes: its letters, digits, '_', '-' and '.', each
// other byte as '_', and no '.' or '-' in front.
std::string case_name_from(const std::string& stem) {
  std::string caso;
  for (char c : stem) caso += case_name_character(c) ? c : '_';
  while (!caso.empty() && (caso.front() == '.' || caso.front() == '-')) caso.erase(0, 1);
  return caso.empty() ? "caso" : caso;
}

int prepare(const Companion& companion, const Args& a) {
  ReadOptions ro;
  ro.layout.delimiter = a.delimiter;
  ro.layout.decimal_comma = a.decimal_comma;
  ro.layout.time_col = a.time_col;
  ro.layout.thrust_col = a.thrust_col;
  if (a.rate) {
    ro.rate = *a.rate;
    ro.layout.rate_given = true;
  }
  if (a.time_unit) {
    ro.time_unit = *a.time_unit;
    ro.time_unit_given = true;
  }
  if (a.thrust_unit) ro.thrust_unit = *a.thrust_unit;
  ro.scale = a.scale.value_or(1.0);
  ro.offset = a.offset.value_or(0.0);

  ConditionOptions co;
  co.tare = a.tare.value_or(Tare::pre);
  co.threshold_pct = a.threshold.value_or(co.threshold_pct);
  co.window = a.window;
  co.margin = a.margin.value_or(co.margin);
  co.cutoff = a.cutoff.value_or(0.0);
  co.rate = ro.rate;

  CaseRequest request;
  request.mass = *a.mass;
  request.cutoff = co.cutoff;
  const std::string stem(stem_of(a.logger));
  if (!a.caso.empty()) {
    request.caso = a.caso;
  } else {
    request.caso = case_name_from(stem);
    if (const std::string problem = case_name_problem(request.caso); !problem.empty())
      throw DataError(a.logger + ": its name makes the case name " + request.caso + ", which cannot be one (" + problem +
                      "): give --case NAME");
  }
  request.titulo = *kv::companion::cp1252_from_utf8(a.title.empty() ? request.caso : a.title);
  request.logger = regular_input(a.logger);
  if (!a.out.empty()) {
    request.folder = without_trailing_separators(a.out);
  } else {
    // In this folder, named after the logger file; never the logger file itself.
    request.folder = stem;
    const kv::io::FileStatus there = kv::io::os().status(stem, true);
    if (there.device == request.logger.device && there.id == request.logger.id) request.folder += "_case";
  }
  request.force = a.force;
  request.source = std::string(last_part(a.logger));
  check_target(request);

  LoggerReader reader(a.logger, ro);
  const Scan& scan = reader.scan();
  if (scan.layout.time_col >= 0 && !ro.time_unit_given && scan.whole_times && scan.step_median >= 1)
    throw DataError(reader.name() + ": the times step by whole numbers (median step " +
                    kv::companion::shortest(scan.step_median) + "): they look like milliseconds; give --time-unit ms" +
                    (scan.step_median >= 1000 ? " or --time-unit us" : "") + " (or --time-unit s if they are seconds)");
  Prepared p = condition(reader, scan, co);
  const double Is = kv::specific_impulse(kv::exhaust_velocity(p.impulse_program, request.mass));
  if (!(Is <= 350 && Is >= 20))
    p.warnings.push_back("the specific impulse would be " + kv::companion::significant(Is, 3) +
                         " s, far from what propellants give (about 80 to 250 s): check --thrust-unit, --scale and --mass");

  const WriteReport written = write_case(p, request);
  for (const std::string& note : written.notes) companion.warn(note);
  if (!a.quiet) {
    companion.out(summary({a.logger, &ro, &scan, &p, &request, written.plot_script_kept}));
    companion.out("Next: cd " + request.folder + " and run kalvorestine_2p0 there (" + kProgram + " --check " +
                  request.folder + " checks it first).\n");
  } else {
    for (const auto& w : p.warnings) companion.warn(w);
  }
  return kv::companion::kSuccess;
}

int check(const Companion& companion, const Args& a) {
  const std::string dir = a.check_dir.empty() ? "." : a.check_dir;
  std::error_code ec;
  std::filesystem::current_path(kv::companion::utf8_path(dir), ec);
  if (ec) throw DataError(dir + ": cannot go into the case folder (" + ec.message() + ")");
  const std::vector<Finding> found = check_case();
  std::string report;
  for (const auto& f : found) report += f.where + ": " + f.text + "\n";
  if (found.empty()) {
    if (!a.quiet) companion.out("no problem found: the program can read this case\n");
    return kv::companion::kSuccess;
  }
  if (!a.quiet) report += std::to_string(found.size()) + " problem" + (found.size() == 1 ? "" : "s") + " found\n";
  companion.out(report);
  return kv::companion::kDataProblem;
}

int checked_prepare(const Companion& companion, const Args& a);

int run(const Companion& companion, const std::vector<std::string>& args) {
  using kv::companion::add_choice;
  using kv::companion::add_number;
  Args a;
  CLI::App app{
      "Prepares a case for KALVORESTINE 2.0 from a load-cell logger's file: reads it (separators, decimal commas, "
      "headers and units as found or as told), tares the thrust, resamples it onto a uniform grid, finds the "
      "firing's window and writes the case folder. With --check, reads a case as the program will and reports "
      "each problem, changing nothing.",
      kProgram};
  app.get_formatter()->column_width(30);
  app.footer(
      "Numbers take a decimal point or a decimal comma.\n\nExit status: 0 success (--check: no problem), 1 a problem "
      "with the data (--check: a problem found), 2 a usage error.\n\nExample:\n  kalvorestine_2p0_prepare "
      "hx711_ensaio.csv --time-col 3 --thrust-col 2 --time-unit ms --thrust-unit gf --mass 0.028\n  "
      "kalvorestine_2p0_prepare --check hx711_ensaio");
  auto* logger = app.add_option("LOGGER_FILE", a.logger, "the logger's file");
  auto* check_option =
      app.add_option("--check", a.check_dir, "check the case in CASE_DIR (default: this folder) and change nothing")
          ->expected(0, 1)
          ->type_name("[CASE_DIR]")
          ->check(kv::companion::existing_folder("--check"))
          ->excludes(logger);
  const auto* reading = "Reading the logger file";
  add_choice<Delimiter>(app, "--delimiter", a.delimiter, "comma, semicolon, tab or blanks (default: found from the data)",
                        {{"comma", Delimiter::Comma}, {",", Delimiter::Comma}, {"semicolon", Delimiter::Semicolon},
                         {";", Delimiter::Semicolon}, {"tab", Delimiter::Tab}, {"blanks", Delimiter::Blanks},
                         {"space", Delimiter::Blanks}})
      ->type_name("SEP")->group(reading);
  app.add_option("--time-col", a.time_col, "time column: number from 1, header name, or none (default: the first numeric column)")
      ->type_name("N|NAME")->check(column_check("--time-col", true))->group(reading);
  app.add_option("--thrust-col", a.thrust_col, "thrust column: number from 1 or header name (default: the second numeric column)")
      ->type_name("N|NAME")->check(column_check("--thrust-col", false))->group(reading);
  add_number(app, "--rate", a.rate,
             "the grid's rate in Hz (default 1000, or the logger's when higher); with a thrust column alone, also the "
             "logger's rate: time = i / rate",
             kv::companion::NumberRule{[](double v) { return v >= 1 && v <= 1e7; }, "must be between 1 and 10000000 Hz"})
      ->type_name("HZ")->group(reading);
  app.add_flag("--decimal-comma", a.decimal_comma, "numbers are written with a decimal comma (found by itself where "
                                                   "that is unambiguous)")
      ->group(reading);
  add_choice<TimeUnit>(app, "--time-unit", a.time_unit, "s, ms or us (default s; absolute clock times start at 0)",
                       {{"s", TimeUnit::s}, {"ms", TimeUnit::ms}, {"us", TimeUnit::us}})
      ->type_name("UNIT")->group(reading);
  add_choice<ThrustUnit>(app, "--thrust-unit", a.thrust_unit, "N, kN, kgf, gf (gram-force) or lbf (default N)",
                         {{"N", ThrustUnit::N}, {"kN", ThrustUnit::kN}, {"kgf", ThrustUnit::kgf}, {"gf", ThrustUnit::gf},
                          {"lbf", ThrustUnit::lbf}})
      ->type_name("UNIT")->group(reading);
  add_number(app, "--scale", a.scale,
             "raw counts: thrust = K x raw + B, then the unit (default K = 1; -1 for a load cell that reads negative "
             "under thrust)",
             kv::companion::NumberRule{[](double v) { return v != 0; }, "must not be 0: every thrust would be the offset"})
      ->type_name("K")->group(reading);
  add_number(app, "--offset", a.offset, "raw counts: B of thrust = K x raw + B (default 0)")->type_name("B")->group(reading);
  const auto* cond = "Conditioning";
  add_choice<Tare>(app, "--tare", a.tare,
                   "pre (default): subtract the mean before ignition; linear: a straight line from before ignition to "
                   "after the burn (drift); none",
                   {{"pre", Tare::pre}, {"linear", Tare::linear}, {"none", Tare::none}})
      ->type_name("MODE")->group(cond);
  add_number(app, "--threshold", a.threshold,
             "ignition and burn-out where the thrust crosses PCT % of the peak (default 5)",
             kv::companion::NumberRule{[](double v) { return v > 0 && v < 100; },
                                       "must be a percentage above 0 and below 100"})
      ->type_name("PCT")->group(cond);
  app.add_option_function<std::string>(
         "--window", [&a](const std::string& text) { a.window = window_option(text); },
         "the window in seconds on the logger's time axis, instead of the automatic one")
      ->type_name("TI,TF")->group(cond);
  add_number(app, "--margin", a.margin, "room outside the automatic window, in s (default 0.002; one grid step at least)",
             kv::companion::NumberRule{[](double v) { return v >= 0 && v <= 1; }, "must be from 0 to 1 s"})
      ->type_name("S")->group(cond);
  const auto* writing = "Writing the case";
  app.add_option("--out", a.out, "the case folder (default: a folder named after the logger file)")->type_name("DIR")->group(writing);
  app.add_option("--case", a.caso, "the case name, base of the result files' names (default: the logger file's name)")
      ->type_name("NAME")
      ->check(CLI::Validator(
          [](std::string& text) -> std::string {
            if (const std::string problem = case_name_problem(text); !problem.empty())
              throw UsageError("--case " + text + ": " + problem);
            return {};
          },
          ""))
      ->group(writing);
  app.add_option("--title", a.title, "the case's title (default: the case name)")
      ->type_name("TEXT")
      ->check(CLI::Validator(
          [](std::string& text) -> std::string {
            if (const std::string problem = title_problem(text); !problem.empty()) throw UsageError("--title: " + problem);
            return {};
          },
          ""))
      ->group(writing);
  add_number(app, "--mass", a.mass, "the propellant mass in kg (required)",
             kv::companion::NumberRule{[](double v) { return v > 0 && v < 1e4; },
                                       "must be the propellant mass in kg, above 0 and below 10000"})
      ->type_name("KG")->group(writing);
  add_number(app, "--cutoff", a.cutoff, "Fcor, the cut-off thrust in N (default 0)")->type_name("N")->group(writing);
  app.add_flag("--force", a.force, "replace the case files of an existing case folder (other files stay)")->group(writing);
  app.add_flag("--quiet", a.quiet, "no summary on standard output (warnings go to standard error)");
  if (!companion.parse(app, args)) return kv::companion::kSuccess;

  // SIGINT and SIGTERM are noted, so that what is half-written is taken away first.
  kv::io::os().catch_interrupts();
  try {
    if (check_option->count() > 0) return check(companion, a);
    return checked_prepare(companion, a);
  } catch (const kv::io::Interruption& i) {
    return static_cast<int>(kv::io::os().end_by_interrupt(i.signal));
  }
}

int checked_prepare(const Companion& companion, const Args& a) {
  if (a.logger.empty()) throw UsageError("no LOGGER_FILE given");
  if (!a.mass) throw UsageError("--mass KG is required: the propellant mass in kg");
  if (lower(a.time_col) == "none" || a.time_col == "0") {
    if (!a.rate) throw UsageError("--time-col none: the times then come from --rate HZ, which is missing");
  }
  if (!a.time_col.empty() && lower(a.time_col) == lower(a.thrust_col))
    throw UsageError("--time-col and --thrust-col name the same column");
  return prepare(companion, a);
}

}  // namespace

int main(int argc, char** argv) { return kv::companion::run(kProgram, argc, argv, run); }
