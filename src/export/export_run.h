// One export: the case and the results of its finished run in, the .eng file, the CSV
// curve and the figures out.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "analysis/nfpa.h"
#include "export/eng_file.h"
#include "export/results_files.h"

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

// Checks the options that need no file; a UsageError says what is wrong.
void check_options(const Options& o);

// Runs the export in the current directory, which holds the case and its results; the
// output paths are taken as they are. Nothing is written unless every check passed. Throws
// DataError (status 1) or UsageError (status 2).
Outcome run_export(const Options& o);

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
