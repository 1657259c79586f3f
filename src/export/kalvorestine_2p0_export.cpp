// kalvorestine_2p0_export: from a finished run of KALVORESTINE 2.0 to the simulators. It
// reads the case and its results, writes the thrust curve as a RASP .eng file and shows
// the program's figures beside the NFPA 1125 ones.
#include <CLI/CLI.hpp>

#include <charconv>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <new>
#include <optional>
#include <string>
#include <string_view>

#include "export/errors.h"
#include "export/export_run.h"
#include "export/number_text.h"
#include "io/diagnostics.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#endif

namespace {

namespace fs = std::filesystem;
using namespace kv::exporter;

constexpr int kOk = 0;
constexpr int kDataProblem = 1;
constexpr int kUsageError = 2;

void put(std::FILE* stream, std::string_view text) {
  std::fwrite(text.data(), 1, text.size(), stream);
  std::fflush(stream);
}

void complain(std::string_view text) { put(stderr, std::string(kExportName) + ": " + std::string(text) + "\n"); }

std::optional<double> decimal_option(const std::string& text, const char* option) {
  if (text.empty()) return std::nullopt;
  double v = 0.0;
  if (!parse_decimal(text, v)) throw UsageError(std::string(option) + " takes a number, not \"" + text + "\"");
  return v;
}

// A path given on the command line, made absolute before the export moves into the
// case folder.
std::string absolute(const std::string& path) {
  std::error_code ec;
  const fs::path p = fs::absolute(fs::path(path), ec);
  return ec ? path : p.string();
}

constexpr const char* kFooter = R"(
The case folder holds the general data file kalvorestine_2p0_dados_geral.txt, the case
parameter file it names and the results of a finished run (<caso>_saida_A.txt and
<caso>_saida_B.txt). None of them is changed.

The .eng file: the curve from ignition to burn-out (the readings below 1 % of the peak
thrust before and after it are left out, as long as they hold at most 0.1 % of the
impulse), its origin implicit, ending at zero thrust, cut down to --points points so that
the total impulse stays within 0.5 % and the peak within 1 % of the measured ones. A
simulator (OpenRocket, RockSim, ...) imports it as a motor.

The figures: the program's own (burn time = the case's window tf - ti) beside those of
NFPA 1125 as NAR, TRA, ThrustCurve and OpenRocket compute them (burn time between the
first and last crossings of 5 % of the peak thrust, average thrust = impulse between the
crossings / burn time).

Exit status: 0 done, 1 a problem with the case or its results (with its message),
2 a usage error.

Example:
  kalvorestine_2p0_export build/example-run --diameter 24 --length 70 --total-mass 0.0424
)";

int run(int argc, char** argv) {
  CLI::App app{"Writes the thrust curve of a finished KALVORESTINE 2.0 run as a RASP .eng motor file for rocket\n"
               "simulators, and shows the run's figures beside the NFPA 1125 certification figures.",
               kExportName};
  app.footer(kFooter);
  app.get_formatter()->column_width(30);

  std::string case_dir = ".";
  std::string eng, csv, name, diameter, length, propellant, total;
  std::string points = "32";
  Options o;
  bool no_eng = false, version = false;
  app.add_option("CASE_DIR", case_dir, "The case folder (default: the current folder)");
  app.add_option("--eng", eng, "The .eng file to write (default: <caso>.eng in the case folder)")->type_name("FILE");
  app.add_flag("--no-eng", no_eng, "Write no .eng file, only show the figures");
  app.add_option("--name", name, "The motor's name (default: the report's designation without blanks, e.g. D12)")
      ->type_name("TEXT");
  app.add_option("--diameter", diameter, "The motor's diameter in mm (required for the .eng)")->type_name("MM");
  app.add_option("--length", length, "The motor's length in mm (required for the .eng)")->type_name("MM");
  app.add_option("--delays", o.delays, "The ejection delays in s, dash-separated, or P for plugged (default: P)")
      ->type_name("LIST");
  app.add_option("--propellant-mass", propellant, "The propellant mass in kg (default: the case's M)")->type_name("KG");
  app.add_option("--total-mass", total, "The loaded motor's mass in kg (default: the propellant mass, with a warning)")
      ->type_name("KG");
  app.add_option("--maker", o.maker, "The maker's name (default: static-fire)")->type_name("TEXT");
  app.add_option("--points", points, "The most points the .eng holds; 0 keeps them all (default: 32)")->type_name("N");
  app.add_flag("--json", o.json, "Show the figures as one JSON object instead of the table");
  app.add_option("--csv", csv, "Also write the processed curve as CSV (time_s,thrust_N)")->type_name("FILE");
  app.add_flag("--version", version, "Show the version and end");

  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp&) {
    put(stdout, app.help());
    return kOk;
  } catch (const CLI::ParseError& e) {
    complain(std::string(e.what()) + "\nRun " + kExportName + " --help for the options.");
    return kUsageError;
  }
  if (version) {
    put(stdout, std::string(kExportName) + " (" + kProgramVersion + ")\n");
    return kOk;
  }

  try {
    o.write_eng = !no_eng;
    if (no_eng && !eng.empty()) throw UsageError("--eng and --no-eng exclude each other");
    o.diameter_mm = decimal_option(diameter, "--diameter");
    o.length_mm = decimal_option(length, "--length");
    o.propellant_kg = decimal_option(propellant, "--propellant-mass");
    o.total_kg = decimal_option(total, "--total-mass");
    if (!name.empty()) o.name = name;
    std::int64_t n = 0;
    const auto r = std::from_chars(points.data(), points.data() + points.size(), n);
    if (r.ec != std::errc{} || r.ptr != points.data() + points.size())
      throw UsageError("--points takes a whole number, not \"" + points + "\"");
    o.max_points = n;
    if (!eng.empty()) {
      o.eng_path = absolute(eng);
      o.eng_shown = eng;
    }
    if (!csv.empty()) {
      o.csv_path = absolute(csv);
      o.csv_shown = csv;
    }
    check_options(o);
    if (case_dir != ".") o.case_dir_shown = (fs::path(case_dir) / "").string();

    std::error_code ec;
    if (!fs::is_directory(case_dir, ec)) throw DataError("the case folder " + case_dir + " does not exist");
    fs::current_path(case_dir, ec);
    if (ec) throw DataError("cannot enter the case folder " + case_dir + ": " + ec.message());

    const Outcome out = run_export(o);
    for (const std::string& w : out.warnings) complain("warning: " + w);
    put(stdout, out.standard_output);
    return kOk;
  } catch (const UsageError& e) {
    complain(std::string(e.what()) + "\nRun " + kExportName + " --help for the options.");
    return kUsageError;
  } catch (const DataError& e) {
    complain(e.what());
    return kDataProblem;
  } catch (const kv::io::Failure& f) {
    complain(kv::io::severe_line(f));
    return kDataProblem;
  } catch (const std::bad_alloc&) {
    complain("not enough memory for the curve");
    return kDataProblem;
  }
}

}  // namespace

int main(int argc, char** argv) {
#ifdef _WIN32
  // The same bytes as on every other system: UTF-8 text, LF line ends.
  _setmode(_fileno(stdout), _O_BINARY);
  _setmode(_fileno(stderr), _O_BINARY);
  SetConsoleOutputCP(CP_UTF8);
#endif
  return run(argc, argv);
}
