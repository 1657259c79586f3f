// kalvorestine_2p0_prepare: from a logger's file to a case that KALVORESTINE 2.0 reads,
// and the check of a case folder before a run.
//
//   kalvorestine_2p0_prepare [options] LOGGER_FILE
//   kalvorestine_2p0_prepare --check [CASE_DIR]
//
// Exit status: 0 success (a clean check), 1 a data problem (a problem found), 2 a usage
// error.

#include <CLI/CLI.hpp>

#include <cstdio>
#include <filesystem>
#include <iostream>
#include <new>
#include <string>
#include <vector>

#include "analysis/mass_flow.h"
#include "io/diagnostics.h"
#include "prepare/case_check.h"
#include "prepare/case_writer.h"
#include "prepare/condition.h"
#include "prepare/errors.h"
#include "prepare/logger_reader.h"
#include "prepare/summary.h"

#ifdef _WIN32
#include <windows.h>
#include <shellapi.h>
#endif

namespace fs = std::filesystem;
using namespace kv::prepare;

namespace {

constexpr const char* kProgram = "kalvorestine_2p0_prepare";

double number_option(const std::string& text, const char* option) {
  double v = 0;
  if (!parse_number(text, false, v)) throw UsageError(std::string(option) + " " + text + ": not a number");
  return v;
}

template <class E>
E choice(const std::string& text, const char* option, std::initializer_list<std::pair<const char*, E>> table) {
  std::string names;
  for (const auto& [name, value] : table) {
    if (text == name) return value;
    names += (names.empty() ? "" : ", ") + std::string(name);
  }
  throw UsageError(std::string(option) + " " + text + ": one of " + names);
}

struct Args {
  std::string logger;
  std::string check_dir;
  bool check = false;
  std::string delimiter, time_col, thrust_col, rate, time_unit, thrust_unit, scale, offset;
  bool decimal_comma = false;
  std::string tare = "pre", threshold, window, margin, cutoff;
  std::string out, caso, title, mass;
  bool force = false, quiet = false;
};

int prepare(const Args& a) {
  ReadOptions ro;
  if (!a.delimiter.empty())
    ro.layout.delimiter = choice<Delimiter>(a.delimiter, "--delimiter",
                                            {{"comma", Delimiter::Comma}, {",", Delimiter::Comma},
                                             {"semicolon", Delimiter::Semicolon}, {";", Delimiter::Semicolon},
                                             {"tab", Delimiter::Tab}, {"blanks", Delimiter::Blanks},
                                             {"space", Delimiter::Blanks}});
  ro.layout.decimal_comma = a.decimal_comma;
  ro.layout.time_col = a.time_col;
  ro.layout.thrust_col = a.thrust_col;
  if (!a.rate.empty()) {
    ro.rate = number_option(a.rate, "--rate");
    if (!(ro.rate >= 1 && ro.rate <= 1e7)) throw UsageError("--rate " + a.rate + ": between 1 and 10000000 Hz");
    ro.layout.rate_given = true;
  }
  if (!a.time_unit.empty()) {
    ro.time_unit = choice<TimeUnit>(a.time_unit, "--time-unit", {{"s", TimeUnit::s}, {"ms", TimeUnit::ms}, {"us", TimeUnit::us}});
    ro.time_unit_given = true;
  }
  if (!a.thrust_unit.empty())
    ro.thrust_unit = choice<ThrustUnit>(a.thrust_unit, "--thrust-unit",
                                        {{"N", ThrustUnit::N}, {"kN", ThrustUnit::kN}, {"kgf", ThrustUnit::kgf},
                                         {"gf", ThrustUnit::gf}, {"lbf", ThrustUnit::lbf}});
  if (!a.scale.empty()) ro.scale = number_option(a.scale, "--scale");
  if (!a.offset.empty()) ro.offset = number_option(a.offset, "--offset");
  if (ro.scale == 0) throw UsageError("--scale 0: every thrust would be the offset");

  ConditionOptions co;
  co.tare = choice<Tare>(a.tare, "--tare", {{"pre", Tare::pre}, {"linear", Tare::linear}, {"none", Tare::none}});
  if (!a.threshold.empty()) {
    co.threshold_pct = number_option(a.threshold, "--threshold");
    if (!(co.threshold_pct > 0 && co.threshold_pct < 100)) throw UsageError("--threshold: a percentage above 0 and below 100");
  }
  if (!a.window.empty()) {
    const auto comma = a.window.find(',');
    if (comma == std::string::npos) throw UsageError("--window " + a.window + ": give TI,TF in seconds");
    const double ti = number_option(a.window.substr(0, comma), "--window");
    const double tf = number_option(a.window.substr(comma + 1), "--window");
    if (!(tf > ti)) throw UsageError("--window " + a.window + ": TF must come after TI");
    co.window = std::make_pair(ti, tf);
  }
  if (!a.margin.empty()) {
    co.margin = number_option(a.margin, "--margin");
    if (!(co.margin >= 0 && co.margin <= 1)) throw UsageError("--margin: from 0 to 1 s");
  }
  if (!a.cutoff.empty()) co.cutoff = number_option(a.cutoff, "--cutoff");
  co.rate = ro.rate;

  CaseRequest request;
  request.mass = number_option(a.mass, "--mass");
  if (!(request.mass > 0 && request.mass < 1e4)) throw UsageError("--mass " + a.mass + ": the propellant mass in kg, above 0");
  request.cutoff = co.cutoff;
  const fs::path logger = utf8_path(a.logger);
  std::string stem = display_name(logger.stem());
  request.caso = a.caso;
  if (request.caso.empty()) {
    for (char c : stem) {
      const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '-' || c == '.';
      request.caso += ok ? c : '_';
    }
    while (!request.caso.empty() && (request.caso.front() == '.' || request.caso.front() == '-')) request.caso.erase(0, 1);
    if (request.caso.empty()) request.caso = "caso";
  }
  check_case_name(request.caso);
  request.titulo = title_to_cp1252(a.title.empty() ? request.caso : a.title);
  if (!a.out.empty()) {
    request.folder = utf8_path(a.out);
  } else {
    request.folder = utf8_path(stem);
    if (fs::absolute(request.folder) == fs::absolute(logger)) request.folder = utf8_path(stem + "_case");
  }
  request.force = a.force;
  request.source = display_name(logger.filename());

  std::error_code ec;
  if (fs::exists(request.folder, ec) && !request.force)
    throw DataError(display_name(request.folder) + ": the case folder exists already; give --force to replace its case "
                                                "files, or --out another folder");

  LoggerReader reader(logger, ro);
  const Scan& scan = reader.scan();
  if (scan.layout.time_col >= 0 && !ro.time_unit_given && scan.whole_times && scan.step_median >= 1)
    throw DataError(reader.name() + ": the times step by whole numbers (median step " + shortest(scan.step_median) +
                    "): they look like milliseconds; give --time-unit ms" +
                    (scan.step_median >= 1000 ? " or --time-unit us" : "") + " (or --time-unit s if they are seconds)");
  Prepared p = condition(reader, scan, co);
  const double Is = kv::specific_impulse(kv::exhaust_velocity(p.impulse_program, request.mass));
  if (Is > 350 || Is < 20)
    p.warnings.push_back("the specific impulse would be " + std::to_string(static_cast<long long>(Is)) +
                         " s, far from what propellants give (about 80 to 250 s): check --thrust-unit, --scale and --mass");

  const bool kept = fs::exists(request.folder / "kalvorestine_2p0_curva_F-t.gnu", ec);
  write_case(p, request);
  if (!a.quiet) {
    std::cout << summary({display_name(logger), &ro, &scan, &p, &request, kept});
    std::cout << "Next: cd " << display_name(request.folder) << " and run kalvorestine_2p0 there ("
              << kProgram << " --check " << display_name(request.folder) << " checks it first).\n";
  } else {
    for (const auto& w : p.warnings) std::cerr << kProgram << ": warning: " << w << "\n";
  }
  return 0;
}

int check(const Args& a) {
  const std::string dir = a.check_dir.empty() ? "." : a.check_dir;
  std::error_code ec;
  const fs::path d = utf8_path(dir);
  if (!fs::is_directory(d, ec)) throw UsageError("--check " + dir + ": no such folder");
  fs::current_path(d, ec);
  if (ec) throw UsageError("--check " + dir + ": cannot go into it (" + ec.message() + ")");
  const std::vector<Finding> found = check_case();
  for (const auto& f : found) std::cout << f.where << ": " << f.text << "\n";
  if (found.empty()) {
    if (!a.quiet) std::cout << "no problem found: the program can read this case\n";
    return 0;
  }
  if (!a.quiet) std::cout << found.size() << " problem" << (found.size() == 1 ? "" : "s") << " found\n";
  return 1;
}

int run(int argc, char** argv) {
  Args a;
  CLI::App app{
      "Prepares a case for KALVORESTINE 2.0 from a load-cell logger's file: reads it (separators, decimal commas, "
      "headers and units as found or as told), tares the thrust, resamples it onto a uniform grid, finds the "
      "firing's window and writes the case folder. With --check, reads a case as the program will and reports "
      "each problem, changing nothing.",
      kProgram};
  app.get_formatter()->column_width(30);
  app.footer(
      "Exit status: 0 success (--check: no problem), 1 a problem with the data (--check: a problem found), 2 a "
      "usage error.\n\nExample:\n  kalvorestine_2p0_prepare hx711_ensaio.csv --time-col 3 --thrust-col 2 --time-unit ms "
      "--thrust-unit gf --mass 0.028\n  kalvorestine_2p0_prepare --check hx711_ensaio");
  app.add_option("LOGGER_FILE", a.logger, "the logger's file");
  app.add_option("--check", a.check_dir, "check the case in CASE_DIR (default: this folder) and change nothing")
      ->expected(0, 1)
      ->type_name("[CASE_DIR]");
  auto* reading = "Reading the logger file";
  app.add_option("--delimiter", a.delimiter, "comma, semicolon, tab or blanks (default: found from the data)")
      ->type_name("SEP")->group(reading);
  app.add_option("--time-col", a.time_col, "time column: number from 1, header name, or none (default: the first numeric column)")
      ->type_name("N|NAME")->group(reading);
  app.add_option("--thrust-col", a.thrust_col, "thrust column: number from 1 or header name (default: the second numeric column)")
      ->type_name("N|NAME")->group(reading);
  app.add_option("--rate", a.rate, "the grid's rate in Hz (default 1000, or the logger's when higher); with a thrust "
                                   "column alone, also the logger's rate: time = i / rate")
      ->type_name("HZ")->group(reading);
  app.add_flag("--decimal-comma", a.decimal_comma, "numbers are written with a decimal comma (found by itself where "
                                                   "that is unambiguous)")
      ->group(reading);
  app.add_option("--time-unit", a.time_unit, "s, ms or us (default s; absolute clock times start at 0)")->type_name("UNIT")->group(reading);
  app.add_option("--thrust-unit", a.thrust_unit, "N, kN, kgf, gf (gram-force) or lbf (default N)")->type_name("UNIT")->group(reading);
  app.add_option("--scale", a.scale, "raw counts: thrust = K x raw + B, then the unit (default K = 1; -1 for a load "
                                     "cell that reads negative under thrust)")->type_name("K")->group(reading);
  app.add_option("--offset", a.offset, "raw counts: B of thrust = K x raw + B (default 0)")->type_name("B")->group(reading);
  auto* cond = "Conditioning";
  app.add_option("--tare", a.tare, "pre (default): subtract the mean before ignition; linear: a straight line from "
                                   "before ignition to after the burn (drift); none")
      ->type_name("MODE")->group(cond);
  app.add_option("--threshold", a.threshold, "ignition and burn-out where the thrust crosses PCT % of the peak (default 5)")
      ->type_name("PCT")->group(cond);
  app.add_option("--window", a.window, "the window in seconds on the logger's time axis, instead of the automatic one")
      ->type_name("TI,TF")->group(cond);
  app.add_option("--margin", a.margin, "room outside the automatic window, in s (default 0.002; one grid step at least)")
      ->type_name("S")->group(cond);
  auto* writing = "Writing the case";
  app.add_option("--out", a.out, "the case folder (default: a folder named after the logger file)")->type_name("DIR")->group(writing);
  app.add_option("--case", a.caso, "the case name, base of the result files' names (default: the logger file's name)")
      ->type_name("NAME")->group(writing);
  app.add_option("--title", a.title, "the case's title (default: the case name)")->type_name("TEXT")->group(writing);
  app.add_option("--mass", a.mass, "the propellant mass in kg (required)")->type_name("KG")->group(writing);
  app.add_option("--cutoff", a.cutoff, "Fcor, the cut-off thrust in N (default 0)")->type_name("N")->group(writing);
  app.add_flag("--force", a.force, "replace the case files of an existing case folder (other files stay)")->group(writing);
  app.add_flag("--quiet", a.quiet, "no summary on standard output (warnings go to standard error)");
  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp& e) {
    return app.exit(e);
  } catch (const CLI::ParseError& e) {
    std::cerr << kProgram << ": " << e.what() << " (see --help)\n";
    return 2;
  }
  a.check = app.count("--check") > 0;
  if (a.check) {
    if (!a.logger.empty()) throw UsageError("--check takes a case folder, not a logger file: give one or the other");
    return check(a);
  }
  if (a.logger.empty()) throw UsageError("no LOGGER_FILE given");
  if (a.mass.empty()) throw UsageError("--mass KG is required: the propellant mass in kg");
  return prepare(a);
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args_utf8;
  std::vector<char*> args;
#ifdef _WIN32
  // The arguments as UTF-8, whatever the console's code page.
  int wargc = 0;
  if (wchar_t** wargv = CommandLineToArgvW(GetCommandLineW(), &wargc)) {
    for (int i = 0; i < wargc; ++i) {
      const int n = WideCharToMultiByte(CP_UTF8, 0, wargv[i], -1, nullptr, 0, nullptr, nullptr);
      std::string s(static_cast<std::size_t>(n > 0 ? n - 1 : 0), '\0');
      if (n > 1) WideCharToMultiByte(CP_UTF8, 0, wargv[i], -1, s.data(), n, nullptr, nullptr);
      args_utf8.push_back(s);
    }
    LocalFree(wargv);
  }
#endif
  if (args_utf8.empty())
    for (int i = 0; i < argc; ++i) args_utf8.emplace_back(argv[i]);
  for (auto& s : args_utf8) args.push_back(s.data());
  try {
    return run(static_cast<int>(args.size()), args.data());
  } catch (const UsageError& e) {
    std::cerr << kProgram << ": " << e.what() << " (see --help)\n";
    return 2;
  } catch (const DataError& e) {
    std::cerr << kProgram << ": " << e.what() << "\n";
    return 1;
  } catch (const kv::io::Failure& f) {
    std::cerr << kProgram << ": " << kv::io::severe_line(f) << "\n";
    return 1;
  } catch (const std::bad_alloc&) {
    std::cerr << kProgram << ": out of memory\n";
    return 1;
  } catch (const std::exception& e) {
    std::cerr << kProgram << ": " << e.what() << "\n";
    return 1;
  }
}
