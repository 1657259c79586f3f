// One export: the case and the results of its finished run in, the .eng file, the CSV
// curve and the figures out.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "analysis/nfpa.h"
#include "export/eng_file.h"
#include "export/results_files.h"
#include "run/run_state.h"

namespace kv::exporter {

inline constexpr const char* kProgramVersion = "KALVORESTINE 2.0.6.2";
inline constexpr const char* kExportName = "kalvorestine_2p0_export";

struct Options {
  bool write_eng = true;
  std::optional<std::string> eng_path;  // default: <caso>.eng in the case folder
  // How the outputs are named in what the export prints: the paths as the user gave
  // them, and the case folder before the default .eng name ("" for the current folder).
  std::string eng_shown, csv_shown, case_dir_shown;
  std::optional<std::string> name;
  std::optional<double> diameter_mm;
  std::optional<double> length_mm;
  std::string delays = "P";
  std::optional<double> propellant_kg;
  std::optional<double> total_kg;
  std::string maker = "static-fire";
  std::int64_t max_points = 32;
  bool json = false;
  std::optional<std::string> csv_path;
};

// Everything the figures show.
struct Figures {
  std::string caso;   // UTF-8
  std::string title;  // UTF-8
  double ti = 0.0, tf = 0.0;
  WindowFigures window;
  NfpaFigures nfpa;
  std::size_t curve_points = 0;
  bool has_eng = false;
  std::string eng_path, eng_shown;
  std::string eng_header;  // the header line as written
  EngSummary eng;
  double eng_origin = 0.0;  // s after the window's start where the .eng's time 0 lies
  std::string csv_path, csv_shown;
};

struct Outcome {
  std::string standard_output;      // the table, or the JSON object
  std::vector<std::string> warnings;  // one line each, for the standard error stream
};

// A finished run, as the export finds it in the current directory: the case, the
// program's figures from its summary report and the processed curve from its curve table.
struct FinishedRun {
  std::unique_ptr<RunState> s;  // the case, as the program reads it
  std::string case_file;        // the case parameter file's name
  WindowFigures window;
  ProcessedCurve curve;
  std::vector<std::string> files;  // every file of the case, which the export never writes
};

// Reads the run; a DataError says what is missing or does not belong to the case.
FinishedRun read_finished_run();

// Whether a path names one of the run's own files.
bool names_case_file(const std::string& path, const FinishedRun& r);

// The .eng file's name: --eng, else <caso>.eng.
std::string eng_file(const Options& o, const FinishedRun& r);

// Runs the export over a finished run with options the command line has checked; the
// output paths are taken as they are. Nothing is written unless every check passed. A
// DataError says what the data cannot give.
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
