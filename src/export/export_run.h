// One export: the case and the results of its finished run in, the motor files (.eng,
// .rse), the CSV curve and the figures out.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "analysis/budget.h"
#include "analysis/nfpa.h"
#include "companion/json.h"
#include "export/eng_file.h"
#include "export/motor_points.h"
#include "export/results_files.h"
#include "run/run_state.h"

namespace kv::exporter {

inline constexpr const char* kProgramVersion = "KALVORESTINE 2.0.6.2";
inline constexpr const char* kExportName = "kalvorestine_2p0_export";

struct Options {
  bool write_eng = true;
  std::optional<std::string> eng_path;  // default: <caso>.eng in the case folder
  std::optional<std::string> rse_path;  // no .rse unless given
  // How the outputs are named in what the export prints: the paths as the user gave
  // them, and the case folder before the default .eng name ("" for the current folder).
  std::string eng_shown, rse_shown, csv_shown, case_dir_shown;
  std::optional<std::string> name;  // UTF-8, as typed
  std::optional<double> diameter_mm;
  std::optional<double> length_mm;
  std::string delays = "P";
  std::optional<double> propellant_kg;
  std::optional<double> total_kg;
  std::string maker = "static-fire";  // UTF-8, as typed
  std::string type = "single-use";    // the .rse's motor type
  std::int64_t max_points = 32;
  // --points given: a hard limit. Else 32 points, or the fewest more that keep every
  // figure, with a warning.
  bool points_given = false;
  bool json = false;
  std::optional<std::string> csv_path;
  // What is known of the stand, for the uncertainty budget: the calibration slope's
  // standard uncertainty and the non-linearity bound, in % (the latter of full_scale_N),
  // and the propellant mass's standard uncertainty in g (default: half the last digit of
  // the case's M, rectangular).
  std::optional<double> slope_pct, nonlinearity_pct, full_scale_N, mass_u_g;
};

// The curve the motor files are made of: the thrust F[k] at t0 + k * dt seconds after
// the window's start ti, each reading cut off at Fcor as the program cuts it.
struct FiringCurve {
  std::vector<double> F;
  double dt = 0.0;
  double t0 = 0.0;
  bool whole_firing = false;  // from the load-cell record, beyond the window
  std::string source;         // which curve it is, in words (UTF-8)
};

// Everything the figures show.
struct Figures {
  std::string caso;   // UTF-8
  std::string title;  // UTF-8
  double ti = 0.0, tf = 0.0;
  WindowFigures window;
  NfpaFigures nfpa;           // of the firing curve; total impulse from the 5 % rise
  double curve_t0 = 0.0;      // s after ti of the firing curve's first point
  std::size_t curve_points = 0;
  std::string curve_source;
  bool has_eng = false, has_rse = false;
  std::string eng_path, eng_shown, rse_path, rse_shown;
  std::string eng_header;  // the header line as written
  EngSummary eng;
  double eng_origin = 0.0;  // s after the window's start where the motor file's time 0 lies
  std::string csv_path, csv_shown;
  std::size_t csv_points = 0;
  // The uncertainty of both sets of figures, with their budgets; none for a curve
  // without a burn.
  bool has_budget = false;
  Budget nfpa_budget, window_budget;
};

// What the export knows of the stand and the case for the uncertainty budget: the
// options, the propellant mass and the noise the firing curve shows between its 5 %
// crossings.
// With the case's record of how prepare made it, the calibration, the tare, the baseline's
// noise and the readings' step come from there; the options win over it.
BudgetInputs budget_inputs(const Options& o, double propellant_kg, std::span<const double> F, const NfpaFigures& n,
                           double dt, const companion::JsonValue* record = nullptr);

struct Outcome {
  std::string standard_output;        // the table, or the JSON object
  std::vector<std::string> warnings;  // one line each, for the standard error stream
};

// A finished run, as the export finds it in the current directory: the case, the
// program's figures from its summary report, the processed curve from its curve table,
// and the firing curve for the motor files.
struct FinishedRun {
  std::unique_ptr<RunState> s;  // the case, as the program reads it
  std::string case_file;        // the case parameter file's name
  WindowFigures window;
  ProcessedCurve curve;            // the curve table's: the window
  FiringCurve firing;              // the whole firing where the load-cell record holds it
  std::vector<std::string> notes;  // about the firing curve, for the warnings
  std::vector<std::string> files;  // every file of the case, which the export never writes
};

// Reads the run and makes sure its results are this case's finished run: the run log
// ends where a finished run ends, the summary report's echo of ti, tf, Fcor, M and w is
// the case's, and no result file is older than the case parameter file or the load-cell
// record. A DataError says what is missing or differs, and to run the program again.
FinishedRun read_finished_run();

// The firing curve: the load-cell record as the program processes it (the same Fcor,
// the samples every 1/w s from ti), where it holds the firing beyond the window and its
// samples inside the window are the curve table's; else the curve table. `notes` gets
// why the record was not used, where it was not.
FiringCurve firing_curve(const RunState& s, const ProcessedCurve& table, std::vector<std::string>& notes);

// The figures a motor file must keep, from certification_figures() of its curve.
MeasuredFigures measured_figures(const NfpaFigures& n);

// The uncertainty of both sets of figures of a finished run, from the options and the
// case's record where it still describes the case (`warnings` says when it does not, and
// when the class or the number printed holds with a probability under 95 %); none for a
// curve without a burn. `n` is certification_figures() of the run's firing curve.
struct RunBudgets {
  Budget nfpa, window;
};
std::optional<RunBudgets> run_budgets(const Options& o, const FinishedRun& r, const NfpaFigures& n,
                                      std::vector<std::string>& warnings);

// What a case name with a folder in it means for the user ("the case name \"sub/x\" holds
// a path: the program wrote its results in another folder"); "" for a plain name. The
// companions' own default files stay in the case folder, under the name's last part.
std::string case_name_note(const RunState& s);

// Whether a path names one of the run's own files.
bool names_case_file(const std::string& path, const FinishedRun& r);

// The .eng file's name: --eng, else <caso>.eng.
std::string eng_file(const Options& o, const FinishedRun& r);

// Runs the export over a finished run with options the command line has checked; the
// output paths are taken as they are. Nothing is written unless every check passed; each
// file is written to a temporary file and renamed into place. A DataError says what the
// data cannot give.
Outcome run_export(const Options& o, const FinishedRun& r);

// The readable table of the figures, and the same as one JSON object.
std::string figures_table(const Figures& f);
std::string figures_json(const Figures& f);

// The processed curve as CSV: "time_s,thrust_N", then one record per point, CR LF.
// Times are those of the curve table: from the start of the window, or the original
// times when the case asks for them (toB = 1). `sink` takes the text a block at a time.
template <class Sink>
void curve_csv(const ProcessedCurve& c, double time_shift, Sink sink);
std::string curve_csv(const ProcessedCurve& c, double time_shift);

}  // namespace kv::exporter
