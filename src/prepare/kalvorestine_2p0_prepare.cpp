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
#include <thread>
#include <utility>
#include <vector>

#include "analysis/mass_flow.h"
#include "companion/command_line.h"
#include "companion/entry.h"
#include "companion/number_text.h"
#include "companion/paths.h"
#include "companion/sha256.h"
#include "prepare/calibration.h"
#include "prepare/case_check.h"
#include "prepare/case_record.h"
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
  std::optional<std::int64_t> skip_lines;
  std::optional<int> run, event;
  std::vector<double> tare_spans;
  Accepted accept;
  std::string out, caso, title;
  std::string calibration;  // --calibration FILE
  std::optional<double> slope_uncertainty;  // --slope-uncertainty PCT, kept in the record
  std::vector<std::string> arguments;       // as given, for the record
  bool force = false, quiet = false;
};

// Numbers separated by commas, each with a decimal point, or each with a decimal comma
// (then every other comma separates them): "2.5,3.7" or "2,5,3,7".
std::vector<double> number_list(const std::string& option, const std::string& text, std::size_t count,
                                const char* what) {
  std::vector<std::size_t> commas;
  for (std::size_t i = 0; i < text.size(); ++i)
    if (text[i] == ',') commas.push_back(i);
  std::vector<std::size_t> cuts;
  if (commas.size() == count - 1) cuts = commas;
  else if (commas.size() == 2 * count - 1)
    for (std::size_t k = 1; k < commas.size(); k += 2) cuts.push_back(commas[k]);
  else
    throw UsageError(option + " " + text + ": give " + what);
  std::vector<double> out;
  std::size_t from = 0;
  cuts.push_back(text.size());
  for (const std::size_t at : cuts) {
    const auto v = kv::companion::user_number(std::string_view(text).substr(from, at - from));
    if (!v) throw UsageError(option + " " + text + ": give " + what);
    out.push_back(*v);
    from = at + 1;
  }
  return out;
}

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
  const std::vector<double> v = number_list("--window", text, 2, "TI,TF in seconds");
  if (!(v[1] > v[0])) throw UsageError("--window " + text + ": TF must come after TI");
  return {v[0], v[1]};
}

std::vector<double> tare_span_option(const std::string& text) {
  const char* what = "A,B (a quiet span before ignition) or A,B,C,D (and one after the burn), in seconds";
  const auto ordered = [](const std::vector<double>& v) {
    for (std::size_t k = 1; k < v.size(); ++k)
      if (!(v[k] > v[k - 1])) return false;
    return true;
  };
  const auto commas = std::count(text.begin(), text.end(), ',');
  std::vector<double> v;
  if (commas == 3) {
    // Four numbers with points, or two with decimal commas ("0,5,1,5").
    v = number_list("--tare-span", text, 4, what);
    if (!ordered(v)) v = number_list("--tare-span", text, 2, what);
  } else {
    v = number_list("--tare-span", text, commas <= 1 ? 2 : 4, what);
  }
  if (!ordered(v)) throw UsageError("--tare-span " + text + ": the times must follow one another, each span after its start");
  return v;
}

// The case name a logger file's name makes: its letters, digits, '_', '-' and '.', each
// other byte as '_', and no '.' or '-' in front.
std::string case_name_from(const std::string& stem) {
  std::string caso;
  for (char c : stem) caso += case_name_character(c) ? c : '_';
  while (!caso.empty() && (caso.front() == '.' || caso.front() == '-')) caso.erase(0, 1);
  return caso.empty() ? "caso" : caso;
}

// The calibration of the file's raw readings: its points, the mean raw reading over each
// span of the logger file they name (read as the file has them: no scale, no offset,
// no unit), and the line fitted to them.
Calibration calibrated(const std::string& logger, const ReadOptions& ro, const std::string& file) {
  Calibration c = read_calibration(file);
  if (c.needs_spans()) {
    ReadOptions raw = ro;
    raw.scale = 1.0;
    raw.offset = 0.0;
    raw.thrust_unit = ThrustUnit::N;
    raw.thrust_unit_given = true;
    LoggerReader reader(logger, raw);
    const Scan& scan = reader.scan();
    for (CalibrationPoint& p : c.points) {
      if (p.reading) continue;
      const kv::prepare::Curve points = reader.points_between(*p.from, *p.to);
      if (points.F.empty())
        throw DataError(file + ":" + std::to_string(p.line) + ": " + logger + " has no reading between " +
                        kv::companion::significant(*p.from, 6) + " s and " + kv::companion::significant(*p.to, 6) +
                        " s (it runs from " + kv::companion::significant(scan.t_first, 6) + " s to " +
                        kv::companion::significant(scan.t_last, 6) + " s)");
      double sum = 0.0;
      for (const double F : points.F) sum += F;
      p.count = static_cast<std::int64_t>(points.F.size());
      p.raw = sum / static_cast<double>(points.F.size());
    }
  }
  for (CalibrationPoint& p : c.points)
    if (p.reading) p.raw = *p.reading;
  fit_calibration(c);
  return c;
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
  if (a.thrust_unit) {
    ro.thrust_unit = *a.thrust_unit;
    ro.thrust_unit_given = true;
  }
  ro.layout.skip_lines = a.skip_lines.value_or(0);
  ro.run = a.run.value_or(0);
  ro.scale = a.scale.value_or(1.0);
  ro.offset = a.offset.value_or(0.0);

  ConditionOptions co;
  co.tare = a.tare.value_or(Tare::pre);
  co.tare_given = a.tare.has_value();
  co.tare_spans = a.tare_spans;
  co.event = a.event.value_or(0);
  co.accept = a.accept;
  co.threshold_pct = a.threshold.value_or(co.threshold_pct);
  co.window = a.window;
  co.margin = a.margin.value_or(co.margin);
  co.cutoff = a.cutoff.value_or(0.0);

  CaseRequest request;
  request.mass = a.mass.value_or(0.0);
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
  // The logger file's SHA-256, for the case's record, on the other core while the file
  // is read and conditioned here: a file of 10^7 lines takes a fifth of a second.
  std::optional<kv::companion::FileDigest> logger_digest;
  std::jthread digesting([&logger_digest, name = a.logger] {
    try {
      logger_digest = kv::companion::file_digest(name);
    } catch (const std::bad_alloc&) {
      logger_digest.reset();
    }
  });

  std::optional<Calibration> calibration;
  if (!a.calibration.empty()) {
    if (a.scale || a.offset || a.thrust_unit)
      throw UsageError("--calibration gives K and B and the unit (N) itself: leave out --scale, --offset and --thrust-unit");
    calibration = calibrated(a.logger, ro, a.calibration);
    ro.scale = calibration->K;
    ro.offset = calibration->B;
    ro.thrust_unit = ThrustUnit::N;
    ro.thrust_unit_given = true;
  }

  LoggerReader reader(a.logger, ro);
  const Scan& scan = reader.scan();
  // What the file says of the motor stands where the user said nothing.
  if (!a.mass) {
    if (!(scan.format.propellant_kg > 0 && scan.format.propellant_kg < 1e4))
      throw UsageError("--mass KG is required: the propellant mass in kg (" + a.logger + " does not give it)");
    request.mass = scan.format.propellant_kg;
  }
  std::string title = a.title;
  if (title.empty() && !scan.format.motor.empty() && title_problem(scan.format.motor).empty()) title = scan.format.motor;
  request.titulo = *kv::companion::cp1252_from_utf8(title.empty() ? request.caso : title);
  co.published_curve = scan.format.published_curve;
  // --rate is the grid's rate where the file has times; without them, the logger's.
  if (scan.layout.time_col >= 0) co.rate = ro.rate;
  if (scan.layout.time_col >= 0 && !ro.time_unit_given && !scan.time_unit_from_file && scan.whole_times &&
      scan.step_median >= 1)
    throw DataError(reader.name() + ": the times step by whole numbers (median step " +
                    kv::companion::shortest(scan.step_median) + "): they look like milliseconds; give --time-unit ms" +
                    (scan.step_median >= 1000 ? " or --time-unit us" : "") + " (or --time-unit s if they are seconds)");
  const std::string rate_warning = check_stated_rate(scan, ro.rate, !a.time_col.empty(), reader.name());
  Prepared p = condition(reader, scan, co);
  if (!rate_warning.empty()) p.warnings.insert(p.warnings.begin(), rate_warning);
  const double Is = kv::specific_impulse(kv::exhaust_velocity(p.impulse_program, request.mass));
  if (!(Is <= 350 && Is >= 20)) {
    const std::string says = "the specific impulse would be " + kv::companion::significant(Is, 3) +
                             " s, far from what propellants give (about 80 to 250 s): check --thrust-unit, --scale and "
                             "--mass";
    if (!a.accept.isp) throw DataError(reader.name() + ": " + says + " (--accept isp if they are right)");
    p.warnings.push_back(says);
  }

  // The record of how the case is made: the logger file as read, the options, what was
  // found and done.
  digesting.join();
  if (!logger_digest) throw DataError(reader.name() + ": cannot be read again for its SHA-256");
  RecordInput record;
  record.logger = a.logger;
  record.logger_digest = *logger_digest;
  record.arguments = a.arguments;
  record.read = &ro;
  record.scan = &scan;
  record.prepared = &p;
  record.calibration = calibration ? &*calibration : nullptr;
  record.slope_uncertainty_pct = a.slope_uncertainty;
  record.mass = request.mass;
  record.caso = request.caso;
  request.record = [&record](const std::string& name, const kv::companion::FileDigest& load_cell) {
    return case_record(record, name, load_cell);
  };
  const WriteReport written = write_case(p, request);
  for (const std::string& note : written.notes) companion.warn(note);
  if (!a.quiet) {
    companion.out(summary({a.logger, &ro, &scan, &p, &request, written.plot_script_kept,
                           calibration ? &*calibration : nullptr}));
    std::string next = "Next: cd " + request.folder + " and run kalvorestine_2p0 there (" + kProgram + " --check " +
                       request.folder + " checks it first)";
    // The casing the file gives is what the export asks for its motor file.
    if (scan.format.diameter_mm > 0 && scan.format.length_mm > 0)
      next += "; then kalvorestine_2p0_export --diameter " + kv::companion::shortest(scan.format.diameter_mm) +
              " --length " + kv::companion::shortest(scan.format.length_mm) + " writes its motor file";
    companion.out(next + ".\n");
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
  a.arguments = args;
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
  app.add_option_function<std::string>(
         "--delimiter",
         [&a](const std::string& text) {
           a.delimiter = delimiter_named(text);
           if (!a.delimiter)
             throw UsageError("--delimiter " + text + ": give comma, semicolon, tab, blanks, colon or one other character");
         },
         "comma, semicolon, tab, blanks, colon or any one character (default: found from the data)")
      ->type_name("SEP")->group(reading);
  app.add_option_function<std::int64_t>(
         "--skip-lines", [&a](const std::int64_t& n) {
           if (n < 0) throw UsageError("--skip-lines must be 0 or more");
           a.skip_lines = n;
         },
         "the lines before the data, whatever they hold (default: found from the file's shape)")
      ->type_name("N")->group(reading);
  app.add_option_function<int>(
         "--run", [&a](const int& n) {
           if (n < 1) throw UsageError("--run must be 1 or more");
           a.run = n;
         },
         "the run to prepare, of a file that holds several (the clock starts again)")
      ->type_name("N")->group(reading);
  app.add_option("--time-col", a.time_col, "time column: number from 1, header name, or none (default: the first numeric column)")
      ->type_name("N|NAME")->check(column_check("--time-col", true))->group(reading);
  app.add_option("--thrust-col", a.thrust_col, "thrust column: number from 1 or header name (default: the second numeric column)")
      ->type_name("N|NAME")->check(column_check("--thrust-col", false))->group(reading);
  add_number(app, "--rate", a.rate,
             "with a thrust column alone, the logger's rate: time = i / rate; with a time column, the grid's rate "
             "(default: 1000 Hz, the logger's when higher, finer for a short burn)",
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
  add_number(app, "--slope-uncertainty", a.slope_uncertainty,
             "the scale factor's standard uncertainty in % of it, where no --calibration gives it; kept in the case's "
             "record for the uncertainty of the figures",
             kv::companion::NumberRule{[](double v) { return v >= 0 && v < 100; },
                                       "must be a percentage, from 0 to below 100"})
      ->type_name("PCT")->group(reading);
  app.add_option("--calibration", a.calibration,
                 "raw counts: known loads, one a line READING LOAD UNIT (READING a raw reading, or T0..T1 for the mean "
                 "over those times of this file; UNIT kg, g, N or lbf): K and B fitted by least squares, in place of "
                 "--scale, --offset and --thrust-unit")
      ->type_name("FILE")->group(reading);
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
         "the window in seconds on the logger's time axis, instead of the firing found")
      ->type_name("TI,TF")->group(cond);
  app.add_option_function<int>(
         "--event", [&a](const int& n) {
           if (n < 1) throw UsageError("--event must be 1 or more");
           a.event = n;
         },
         "the event to prepare, of a record that holds several of comparable impulse (they are listed)")
      ->type_name("N")->group(cond);
  app.add_option_function<std::string>(
         "--tare-span", [&a](const std::string& text) { a.tare_spans = tare_span_option(text); },
         "the quiet span before ignition to tare on, in s; A,B,C,D: and the one after the burn (--tare linear)")
      ->type_name("A,B[,C,D]")->group(cond);
  app.add_option_function<std::string>(
         "--accept",
         [&a](const std::string& text) {
           std::size_t from = 0;
           for (;;) {
             const std::size_t at = std::min(text.find(',', from), text.size());
             const std::string what = text.substr(from, at - from);
             if (what == "clipped") a.accept.clipped = true;
             else if (what == "cut") a.accept.cut = true;
             else if (what == "isp") a.accept.isp = true;
             else throw UsageError("--accept takes clipped, cut or isp, not \"" + what + "\"");
             if (at >= text.size()) break;
             from = at + 1;
           }
         },
         "go on where prepare would stop: clipped (a flat peak is the motor's), cut (the record starts or ends in the "
         "burn), isp (a specific impulse far from propellants')")
      ->type_name("WHAT")->group(cond);
  add_number(app, "--margin", a.margin, "room outside the window at the threshold's crossings, in s (default 0)",
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
  add_number(app, "--mass", a.mass, "the propellant mass in kg (required, unless the file gives it)",
             kv::companion::NumberRule{[](double v) { return v > 0 && v < 1e4; },
                                       "must be the propellant mass in kg, above 0 and below 10000"})
      ->type_name("KG")->group(writing);
  add_number(app, "--cutoff", a.cutoff, "Fcor, the cut-off thrust in N (default 0)")->type_name("N")->group(writing);
  app.add_flag("--force", a.force, "replace the case files of an existing case folder (other files stay)")->group(writing);
  app.add_flag("--quiet", a.quiet, "no summary on standard output (warnings go to standard error)");
  if (!companion.parse(app, args)) return kv::companion::kSuccess;

  // SIGINT and SIGTERM are noted, so that what is half-written is taken away first.
  kv::io::os().catch_interrupts();
  if (check_option->count() > 0) return check(companion, a);
  return checked_prepare(companion, a);
}

int checked_prepare(const Companion& companion, const Args& a) {
  if (a.logger.empty()) throw UsageError("no LOGGER_FILE given");
  if (lower(a.time_col) == "none" || a.time_col == "0") {
    if (!a.rate) throw UsageError("--time-col none: the times then come from --rate HZ, which is missing");
  }
  if (a.window && a.event) throw UsageError("--window and --event: give one of them");
  if (!a.time_col.empty() && lower(a.time_col) == lower(a.thrust_col))
    throw UsageError("--time-col and --thrust-col name the same column");
  return prepare(companion, a);
}

}  // namespace

int main(int argc, char** argv) { return kv::companion::run(kProgram, argc, argv, run); }
