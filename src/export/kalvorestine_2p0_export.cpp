// kalvorestine_2p0_export: from a finished run of KALVORESTINE 2.0 to the simulators. It
// reads the case and its results, writes the thrust curve as a RASP .eng file (and a
// RockSim .rse on request), shows the program's figures beside the NFPA 1125 ones, and
// checks anyone's motor file against the rules of the readers that load it.
#include <CLI/CLI.hpp>

#include <charconv>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

#include "companion/command_line.h"
#include "companion/entry.h"
#include "companion/number_text.h"
#include "companion/paths.h"
#include "export/ascii_text.h"
#include "export/export_run.h"
#include "export/motor_check.h"
#include "export/rse_file.h"
#include "io/files.h"

namespace {

using namespace kv::exporter;
using kv::companion::Companion;
using kv::companion::DataError;
using kv::companion::UsageError;

// A path given on the command line, made absolute before the export moves into the
// case folder.
std::string absolute(const std::string& path) { return kv::io::full_path_name(path); }

// A header text typed on the command line, as the file will hold it.
void check_header_text(const char* option, const std::string& text, bool is_name) {
  const AsciiText a = ascii_from_utf8(text);
  if (const std::string p = header_field_problem(a.text, is_name); !p.empty())
    throw UsageError(std::string(option) + " \"" + text + "\" cannot be used: " + p);
}

// The checks of options against one another, before any file is read.
void check_options(const Options& o) {
  if (o.nonlinearity_pct.has_value() != o.full_scale_N.has_value())
    throw UsageError(o.nonlinearity_pct ? "--nonlinearity needs --full-scale N, the force its percentage is of"
                                        : "--full-scale is the force --nonlinearity's percentage is of; give --nonlinearity PCT");
  if (o.max_points < 0 || o.max_points == 1)
    throw UsageError("--points must be 0 (every point) or at least 2 (the peak and the final zero)");
  const bool motor = o.write_eng || o.rse_path;
  if (!motor) return;
  const char* instead = o.write_eng ? " (or use --no-eng)" : "";
  if (!o.diameter_mm)
    throw UsageError(std::string("--diameter MM is required: a simulator needs the motor's diameter") + instead);
  if (!o.length_mm) throw UsageError(std::string("--length MM is required: a simulator needs the motor's length") + instead);
  if (o.name) check_header_text("--name", *o.name, true);
  check_header_text("--maker", o.maker, false);
  if (const std::string p = delays_problem(o.delays); !p.empty())
    throw UsageError("--delays \"" + o.delays + "\" cannot be used: " + p);
  if (o.propellant_kg && o.total_kg && *o.total_kg < *o.propellant_kg)
    throw UsageError("--total-mass must be at least the propellant mass");
}

// The checks of options against the case: an output never replaces one of its files nor
// another output, and the loaded motor weighs at least its propellant.
void check_against_run(const Options& o, const FinishedRun& r) {
  struct Output {
    const char* option;
    std::optional<std::string> path;
    const std::string& shown;
  };
  const Output outputs[] = {{"--eng", o.write_eng ? std::optional(eng_file(o, r)) : std::nullopt, o.eng_shown},
                            {"--rse", o.rse_path, o.rse_shown},
                            {"--csv", o.csv_path, o.csv_shown}};
  for (const Output& out : outputs)
    if (out.path && names_case_file(*out.path, r) && (out.option != std::string_view("--eng") || o.eng_path))
      throw UsageError(std::string(out.option) + " " + out.shown + " names one of the case's own files; choose another name");
  for (std::size_t a = 0; a < 3; ++a)
    for (std::size_t b = a + 1; b < 3; ++b)
      if (outputs[a].path && outputs[b].path &&
          kv::io::full_path_name(*outputs[a].path) == kv::io::full_path_name(*outputs[b].path))
        throw UsageError(std::string(outputs[a].option) + " and " + outputs[b].option + " name the same file");
  const double M = r.s->M;
  if ((o.write_eng || o.rse_path) && o.total_kg && (o.propellant_kg || (M > 0.0 && std::isfinite(M)))) {
    const double propellant = o.propellant_kg.value_or(M);
    if (*o.total_kg < propellant)
      throw UsageError("--total-mass (" + kv::companion::shortest_fixed(*o.total_kg) +
                       " kg) is less than the propellant mass (" + kv::companion::shortest_fixed(propellant) + " kg)");
  }
}

// --check-motor FILE: the report, and whether the file broke a rule.
int check_motor_file(const Companion& companion, const std::string& name) {
  std::string bytes;
  try {
    constexpr int u = unit::kEngFile;
    kv::io::open(u, name, kv::io::Access::Read);
    constexpr std::size_t kChunk = std::size_t{1} << 16;
    auto buffer = std::make_unique<char[]>(kChunk);
    for (;;) {
      const std::size_t got = kv::io::read_bytes(kv::io::file(u), buffer.get(), kChunk);
      if (got == 0) break;
      bytes.append(buffer.get(), got);
      if (bytes.size() > (std::size_t{64} << 20)) throw DataError("the motor file " + name + " is larger than 64 MiB: no motor file is");
    }
    kv::io::close(u);
  } catch (const kv::io::Failure& f) {
    kv::io::close_all_as_they_stand();
    throw DataError("cannot read the motor file " + kv::io::full_path_name(name) + ": " + kv::companion::failure_reason(f));
  }
  const MotorCheck c = check_motor(bytes);
  companion.out(motor_check_report(c, name));
  return c.problems.empty() ? kv::companion::kSuccess : kv::companion::kDataProblem;
}

constexpr const char* kFooter = R"(
The case folder holds the general data file kalvorestine_2p0_dados_geral.txt, the case
parameter file it names and the results of a finished run (<caso>_saida_A.txt,
<caso>_saida_B.txt and the run log <caso>_saida_H.txt). None of them is changed. The
export refuses results that are not the case's finished run: a run log that does not
end where a finished run ends, a summary report whose ti, tf, Fcor, M or w are not the
case's, results older than the case parameter file or the load-cell record.

The motor files (.eng, .rse): the whole firing where the load-cell record holds it
beyond the window (as the program processes it: the same Fcor, the samples every 1/w s
from ti), else the curve table; from ignition to burn-out (the readings at or below 1 %
of the peak before and after it are left out), the origin implicit, ending at zero
thrust, with no zero before the end, times at least 0.1 ms apart, cut down to --points
points so that the total impulse stays within 0.5 %, the peak within 1 %, and the burn
time and the average thrust as each simulator computes them from the file within 0.3 %
of the NFPA 1125 figures shown. The motor is named by its NFPA 1125 designation. Texts
are written in ASCII. Each file is written to a temporary file and renamed into place;
a symbolic link, a FIFO, a device or a folder is never replaced.

The figures: the program's own (burn time = the case's window tf - ti) beside those of
NFPA 1125 (burn time between the first and last crossings of 5 % of the peak thrust;
total impulse from the 5 % rise to the last measurable thrust). The two simulators'
averages differ: ThrustCurve divides the total impulse by the burn time; OpenRocket
divides the impulse between the 5 % crossings by the burn time (NFPA 1125's average).

--check-motor FILE reads a .eng or .rse (anyone's) as ThrustCurve and OpenRocket read it,
lists every rule it breaks with FILE:LINE and which reader rejects it or reads it
differently, then the figures each reader shows; status 0 when clean, 1 otherwise.

Exit status: 0 done, 1 a problem with the case or its results (with its message),
2 a usage error.

Examples:
  kalvorestine_2p0_export build/example-run --diameter 24 --length 70 --total-mass 0.0424
  kalvorestine_2p0_export build/example-run --diameter 24 --length 70 --total-mass 0.0424 --rse d12.rse
  kalvorestine_2p0_export --check-motor build/example-run/motor_d12.eng
)";

int run(const Companion& companion, const std::vector<std::string>& args) {
  using kv::companion::add_number;
  CLI::App app{"Writes the thrust curve of a finished KALVORESTINE 2.0 run as a RASP .eng (and RockSim .rse) motor\n"
               "file for rocket simulators, shows the run's figures beside the NFPA 1125 certification figures, and\n"
               "checks motor files against the simulators' rules.",
               kExportName};
  app.footer(kFooter);
  app.get_formatter()->column_width(30);

  std::string case_dir = ".";
  std::string eng, rse, csv, name, check_motor;
  Options o;
  bool no_eng = false, version = false;
  const kv::companion::NumberRule size{[](double v) { return v >= kMinSizeMm && v <= kMaxSizeMm; },
                                       "must be in millimetres, from 1 to 1000 (24 for a 24 mm motor)"};
  const kv::companion::NumberRule propellant{[](double v) { return v >= kMinPropellantKg && v < 1e6; },
                                             "must be in kilograms, at least 0.0001 (0.1 g)"};
  const kv::companion::NumberRule total{[](double v) { return v >= kMinTotalKg && v < 1e6; },
                                        "must be in kilograms, at least 0.001 (1 g)"};
  app.add_option("CASE_DIR", case_dir, "The case folder (default: the current folder)");
  app.add_option("--eng", eng, "The .eng file to write (default: <caso>.eng in the case folder)")->type_name("FILE");
  app.add_flag("--no-eng", no_eng, "Write no .eng file");
  app.add_option("--rse", rse, "Also write the curve as a RockSim .rse file")->type_name("FILE");
  app.add_option("--check-motor", check_motor, "Check a .eng or .rse file against the simulators' rules, and end")
      ->type_name("FILE");
  app.add_option("--name", name, "The motor's name (default: its NFPA 1125 designation, e.g. D12)")->type_name("TEXT");
  add_number(app, "--diameter", o.diameter_mm, "The motor's diameter in mm (required for a motor file)", size)
      ->type_name("MM");
  add_number(app, "--length", o.length_mm, "The motor's length in mm (required for a motor file)", size)->type_name("MM");
  app.add_option("--delays", o.delays, "The ejection delays in s (below 99), dash-separated, or P for plugged (default: P)")
      ->type_name("LIST");
  add_number(app, "--propellant-mass", o.propellant_kg, "The propellant mass in kg (default: the case's M)", propellant)
      ->type_name("KG");
  add_number(app, "--total-mass", o.total_kg, "The loaded motor's mass in kg (default: the propellant mass, with a warning)",
             total)
      ->type_name("KG");
  app.add_option("--maker", o.maker, "The maker's name (default: static-fire)")->type_name("TEXT");
  std::optional<std::string> type;
  kv::companion::add_choice<std::string>(app, "--type", type, "The .rse's motor type (default: single-use)",
                                         {{"single-use", "single-use"}, {"reloadable", "reloadable"}, {"hybrid", "hybrid"}})
      ->type_name("TYPE");
  app.add_option_function<std::string>(
         "--points",
         [&o](const std::string& text) {
           std::int64_t n = 0;
           const auto r = std::from_chars(text.data(), text.data() + text.size(), n);
           if (r.ec != std::errc{} || r.ptr != text.data() + text.size())
             throw UsageError("--points takes a whole number, not \"" + text + "\"");
           o.max_points = n;
           o.points_given = true;
         },
         "The most points the motor file holds; 0 keeps them all (default: 32, or the fewest more that keep every figure)")
      ->type_name("N");
  const auto* stand = "The stand, for the uncertainty of the figures";
  const kv::companion::NumberRule share{[](double v) { return v >= 0 && v < 100; }, "must be a percentage, from 0 to below 100"};
  add_number(app, "--slope-uncertainty", o.slope_pct,
             "The calibration slope's standard uncertainty, in % of the slope (default: not known, left out)", share)
      ->type_name("PCT")->group(stand);
  add_number(app, "--nonlinearity", o.nonlinearity_pct,
             "The load cell's non-linearity and hysteresis, in % of --full-scale (default: not known, left out)", share)
      ->type_name("PCT")->group(stand);
  add_number(app, "--full-scale", o.full_scale_N, "The load cell's full scale in N, for --nonlinearity",
             kv::companion::NumberRule{[](double v) { return v > 0 && v < 1e9; }, "must be a force in N, above 0"})
      ->type_name("N")->group(stand);
  add_number(app, "--mass-uncertainty", o.mass_u_g,
             "The propellant mass's standard uncertainty in g (default: half the last digit of the case's M)",
             kv::companion::NumberRule{[](double v) { return v >= 0 && v < 1e6; }, "must be a mass in g, 0 or more"})
      ->type_name("G")->group(stand);
  app.add_flag("--json", o.json, "Show the figures as one JSON object instead of the table");
  app.add_option("--csv", csv, "Also write the processed curve as CSV (time_s,thrust_N)")->type_name("FILE");
  app.add_flag("--version", version, "Show the version and end");
  if (!companion.parse(app, args)) return kv::companion::kSuccess;
  if (version) {
    companion.out(std::string(kExportName) + " (" + kProgramVersion + ")\n");
    return kv::companion::kSuccess;
  }
  if (!check_motor.empty()) {
    for (const char* other : {"CASE_DIR", "--eng", "--no-eng", "--rse", "--name", "--diameter", "--length", "--delays",
                              "--propellant-mass", "--total-mass", "--maker", "--type", "--points", "--json", "--csv",
                              "--slope-uncertainty", "--nonlinearity", "--full-scale", "--mass-uncertainty"})
      if (app.count(other) > 0) throw UsageError(std::string("--check-motor takes no other option (") + other + ")");
    return check_motor_file(companion, check_motor);
  }

  if (no_eng && !eng.empty()) throw UsageError("--eng and --no-eng exclude each other");
  o.write_eng = !no_eng;
  if (type) o.type = *type;
  if (!name.empty()) o.name = name;
  if (!eng.empty()) {
    o.eng_path = absolute(eng);
    o.eng_shown = eng;
  }
  if (!rse.empty()) {
    o.rse_path = absolute(rse);
    o.rse_shown = rse;
  }
  if (!csv.empty()) {
    o.csv_path = absolute(csv);
    o.csv_shown = csv;
  }
  check_options(o);
  const std::filesystem::path folder = kv::companion::utf8_path(case_dir);
  if (case_dir != ".") o.case_dir_shown = kv::companion::display_name(folder / "");

  const kv::io::FileStatus st = kv::io::os().status(case_dir, true);
  if (st.kind != kv::io::FileKind::Directory)
    throw DataError("the case folder " + case_dir +
                    (st.kind == kv::io::FileKind::Missing ? " does not exist" : " is not a folder"));
  std::error_code ec;
  std::filesystem::current_path(folder, ec);
  if (ec) throw DataError("cannot enter the case folder " + case_dir + ": " + ec.message());

  // SIGINT and SIGTERM are noted, so that a motor file half-written is taken away first.
  kv::io::os().catch_interrupts();
  const FinishedRun r = read_finished_run();
  check_against_run(o, r);
  const Outcome out = run_export(o, r);
  for (const std::string& w : out.warnings) companion.warn(w);
  companion.out(out.standard_output);
  return kv::companion::kSuccess;
}

}  // namespace

int main(int argc, char** argv) { return kv::companion::run(kExportName, argc, argv, run); }
