// kalvorestine_2p0_export: from a finished run of KALVORESTINE 2.0 to the simulators. It
// reads the case and its results, writes the thrust curve as a RASP .eng file and shows
// the program's figures beside the NFPA 1125 ones.
#include <CLI/CLI.hpp>

#include <charconv>
#include <filesystem>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

#include "companion/command_line.h"
#include "companion/entry.h"
#include "companion/number_text.h"
#include "companion/paths.h"
#include "export/export_run.h"

namespace {

namespace fs = std::filesystem;
using namespace kv::exporter;
using kv::companion::Companion;
using kv::companion::DataError;
using kv::companion::UsageError;

// A path given on the command line, made absolute before the export moves into the
// case folder.
std::string absolute(const std::string& path) {
  std::error_code ec;
  const fs::path p = fs::absolute(kv::companion::utf8_path(path), ec);
  return ec ? path : kv::companion::display_name(p);
}

// The checks of options against one another, before any file is read.
void check_options(const Options& o) {
  if (o.max_points < 0 || o.max_points == 1)
    throw UsageError("--points must be 0 (every point) or at least 2 (the peak and the final zero)");
  if (!o.write_eng) return;
  if (!o.diameter_mm)
    throw UsageError("--diameter MM is required: a simulator needs the motor's diameter (or use --no-eng)");
  if (!o.length_mm) throw UsageError("--length MM is required: a simulator needs the motor's length (or use --no-eng)");
  if (o.name) {
    const std::string p = header_field_problem(*o.name, true);
    if (!p.empty()) throw UsageError("--name \"" + *o.name + "\" cannot be used: " + p);
  }
  if (const std::string p = header_field_problem(o.maker, false); !p.empty())
    throw UsageError("--maker \"" + o.maker + "\" cannot be used: " + p);
  if (const std::string p = delays_problem(o.delays); !p.empty())
    throw UsageError("--delays \"" + o.delays + "\" cannot be used: " + p);
  if (o.propellant_kg && o.total_kg && *o.total_kg < *o.propellant_kg)
    throw UsageError("--total-mass must be at least the propellant mass");
}

// The checks of options against the case: an output never replaces one of its files,
// and the loaded motor weighs at least its propellant.
void check_against_run(const Options& o, const FinishedRun& r) {
  if (o.eng_path && names_case_file(*o.eng_path, r))
    throw UsageError("--eng " + o.eng_shown + " names one of the case's own files; choose another name");
  if (o.csv_path && names_case_file(*o.csv_path, r))
    throw UsageError("--csv " + o.csv_shown + " names one of the case's own files; choose another name");
  if (o.write_eng && o.csv_path) {
    std::error_code ec;
    if (fs::weakly_canonical(*o.csv_path, ec) == fs::weakly_canonical(eng_file(o, r), ec))
      throw UsageError("--csv and the .eng file name the same file");
  }
  const double M = r.s->M;
  if (o.write_eng && o.total_kg && (o.propellant_kg || (M > 0.0 && std::isfinite(M)))) {
    const double propellant = o.propellant_kg.value_or(M);
    if (*o.total_kg < propellant)
      throw UsageError("--total-mass (" + kv::companion::shortest_fixed(*o.total_kg) +
                       " kg) is less than the propellant mass (" + kv::companion::shortest_fixed(propellant) + " kg)");
  }
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

int run(const Companion& companion, const std::vector<std::string>& args) {
  using kv::companion::add_number;
  CLI::App app{"Writes the thrust curve of a finished KALVORESTINE 2.0 run as a RASP .eng motor file for rocket\n"
               "simulators, and shows the run's figures beside the NFPA 1125 certification figures.",
               kExportName};
  app.footer(kFooter);
  app.get_formatter()->column_width(30);

  std::string case_dir = ".";
  std::string eng, csv, name;
  Options o;
  bool no_eng = false, version = false;
  const kv::companion::NumberRule positive{[](double v) { return v > 0.0; }, "must be a positive number"};
  app.add_option("CASE_DIR", case_dir, "The case folder (default: the current folder)");
  app.add_option("--eng", eng, "The .eng file to write (default: <caso>.eng in the case folder)")->type_name("FILE");
  app.add_flag("--no-eng", no_eng, "Write no .eng file, only show the figures");
  app.add_option("--name", name, "The motor's name (default: the report's designation without blanks, e.g. D12)")
      ->type_name("TEXT");
  add_number(app, "--diameter", o.diameter_mm, "The motor's diameter in mm (required for the .eng)", positive)
      ->type_name("MM");
  add_number(app, "--length", o.length_mm, "The motor's length in mm (required for the .eng)", positive)->type_name("MM");
  app.add_option("--delays", o.delays, "The ejection delays in s, dash-separated, or P for plugged (default: P)")
      ->type_name("LIST");
  add_number(app, "--propellant-mass", o.propellant_kg, "The propellant mass in kg (default: the case's M)", positive)
      ->type_name("KG");
  add_number(app, "--total-mass", o.total_kg, "The loaded motor's mass in kg (default: the propellant mass, with a warning)",
             positive)
      ->type_name("KG");
  app.add_option("--maker", o.maker, "The maker's name (default: static-fire)")->type_name("TEXT");
  app.add_option_function<std::string>(
         "--points",
         [&o](const std::string& text) {
           std::int64_t n = 0;
           const auto r = std::from_chars(text.data(), text.data() + text.size(), n);
           if (r.ec != std::errc{} || r.ptr != text.data() + text.size())
             throw UsageError("--points takes a whole number, not \"" + text + "\"");
           o.max_points = n;
         },
         "The most points the .eng holds; 0 keeps them all (default: 32)")
      ->type_name("N");
  app.add_flag("--json", o.json, "Show the figures as one JSON object instead of the table");
  app.add_option("--csv", csv, "Also write the processed curve as CSV (time_s,thrust_N)")->type_name("FILE");
  app.add_flag("--version", version, "Show the version and end");
  if (!companion.parse(app, args)) return kv::companion::kSuccess;
  if (version) {
    companion.out(std::string(kExportName) + " (" + kProgramVersion + ")\n");
    return kv::companion::kSuccess;
  }

  if (no_eng && !eng.empty()) throw UsageError("--eng and --no-eng exclude each other");
  o.write_eng = !no_eng;
  if (!name.empty()) o.name = name;
  if (!eng.empty()) {
    o.eng_path = absolute(eng);
    o.eng_shown = eng;
  }
  if (!csv.empty()) {
    o.csv_path = absolute(csv);
    o.csv_shown = csv;
  }
  check_options(o);
  const fs::path folder = kv::companion::utf8_path(case_dir);
  if (case_dir != ".") o.case_dir_shown = kv::companion::display_name(folder / "");

  std::error_code ec;
  if (!fs::is_directory(folder, ec)) throw DataError("the case folder " + case_dir + " does not exist");
  fs::current_path(folder, ec);
  if (ec) throw DataError("cannot enter the case folder " + case_dir + ": " + ec.message());

  const FinishedRun r = read_finished_run();
  check_against_run(o, r);
  const Outcome out = run_export(o, r);
  for (const std::string& w : out.warnings) companion.warn(w);
  companion.out(out.standard_output);
  return kv::companion::kSuccess;
}

}  // namespace

int main(int argc, char** argv) { return kv::companion::run(kExportName, argc, argv, run); }
