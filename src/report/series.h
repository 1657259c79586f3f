// A series of firings of one motor: the certification data sheet's per-firing table and
// its statistics, the NFPA 1125 verdicts on the series, its designation, the curves
// aligned at their 5 % rise with their mean and a +-1 sigma band, and the representative
// motor file made of the mean curve.
//
// The series file (--series FILE) names the firings, one a line:
//
//     # G80 series, lot 12, fired in May
//     firing1  motor=G80 delay=7 measured=7.4 lot=12 temp=18
//     firing2  motor=G80 delay=7 measured=6.9 lot=12 temp=21
//     "firing 3"  motor=G80 delay=7 measured=8.1 lot=12 temp="21 C"
//
// - first the case folder, relative to the series file's folder (an absolute one as it
//   is), then labels key=value, in any order, each at most once:
//   motor=    the motor's name (default: the firing's NFPA designation),
//   delay=    the labelled delay, s (a number),
//   measured= the measured delay, s (a number; needs delay=),
//   lot=      the propellant lot,
//   temp=     the temperature of the firing;
// - a folder or a value with blanks, '#' or '"' goes between quotation marks, and a
//   quotation mark inside them is written twice;
// - '#' starts a comment to the end of the line (outside quotation marks); blank lines
//   are passed over; UTF-8 text, LF or CR LF line ends, a leading byte order mark is
//   passed over.
// A line that breaks a rule is a DataError that names the file and the line.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace kv::report {

// One firing of the series, as --series or the folder gives it.
struct SeriesEntry {
  std::string folder;            // the case folder (from a series file: joined to its folder)
  std::string file;              // the load-cell file's name
  std::size_t line = 0;          // its line in the series file; 0 from the command line
  std::string motor;             // label: the motor (default the firing's NFPA designation)
  std::string delay_label;       // the labelled delay in s as text, "" when none
  std::optional<double> delay;   // the measured delay, s
  std::string lot, temperature;  // labels, "" when none
  // The NFPA 1125 figures, as the firing's page prints them.
  double total_impulse = 0.0;  // N s, from the 5 % rise to the last measurable thrust
  double peak = 0.0;           // N
  double burn_time = 0.0;      // s, between the 5 % crossings
  // The total impulse's standard uncertainty as the firing's page states it, and the part
  // of it that differs from firing to firing (without the terms alike in every firing on
  // one stand); the sources of that part left out of the firing's budget. None where the
  // firing has no budget.
  std::optional<double> impulse_u, impulse_u_own;
  std::vector<std::string> own_left_out;
  // The whole firing curve: F[k] at k * dt s; rise: its first 5 % crossing, s on that axis.
  std::vector<double> F;
  double dt = 0.0;
  double rise = 0.0;
};

struct SeriesOptions {
  std::optional<double> label_thrust;  // --label-thrust N: the labelled average thrust
};

// One column of the sheet over the firings that have a value in it.
struct ColumnStatistics {
  std::size_t n = 0;
  double mean = 0.0;
  double std_population = 0.0;  // STD, dividing by N, as the committee does
  double std_percent = 0.0;     // STD % = STD / AVG x 100
  double std_sample = 0.0;      // dividing by N - 1
  double ci_half = 0.0;         // half width of the 95 % confidence interval of the mean
  double ci_low = 0.0, ci_high = 0.0;
};

// One firing's row of the sheet.
struct SeriesRow {
  std::string folder, file, motor, delay_label, lot, temperature;
  std::size_t line = 0;
  double total_impulse = 0.0;  // N s
  double peak = 0.0;           // N, the maximum thrust
  double average = 0.0;        // N, total impulse / burn time
  double burn_time = 0.0;      // s, at 5 %
  std::optional<double> delay;               // s, measured
  std::optional<double> delay_low, delay_high;  // its allowable range, from the label
  double impulse_deviation = 0.0;  // (total impulse - mean) / mean
  std::optional<double> impulse_U;  // N s, the total impulse's expanded uncertainty (k = 2)
};

// What part of the firings' spread in total impulse the stand explains: the variance the
// stand's firing-to-firing uncertainty gives, against the spread's (the sample variance).
// Terms alike in every firing (one calibration, one logger) move the mean and explain
// none of the spread.
struct StandShare {
  bool known = false;         // every firing has a budget
  double u_own = 0.0;         // N s, root mean square of the firings' own uncertainty
  double u_common = 0.0;      // N s, root mean square of the part alike in every firing
  double spread = 0.0;        // N s, the sample STD of the total impulse
  double share = 0.0;         // u_own^2 / spread^2: may pass 1 (infinite for no spread)
  double motors = 0.0;        // N s, what is left to the motors: sqrt(spread^2 - u_own^2), 0 below
  std::vector<std::string> left_out;  // own sources left out of some firing's budget
};

// A verdict: what was checked, PASS or FAIL, and the numbers that decide it.
struct Verdict {
  std::string what;     // "enough firings", ...
  bool pass = false;
  std::string numbers;  // "10 firings, 10 needed for a model rocket motor (...)"
};

// The curves on the burn's own time, tau = (t - rise) / burn time, on kTauPoints points
// from kTauFirst to kTauLast; each firing interpolated linearly, 0 outside its record.
inline constexpr std::size_t kTauPoints = 200;
inline constexpr double kTauFirst = -0.05;
inline constexpr double kTauLast = 1.15;
double tau_at(std::size_t k);

struct SeriesCurves {
  std::vector<double> tau;                 // the grid
  std::vector<std::vector<double>> F;      // per firing, N, on the grid
  std::vector<double> mean, sigma;         // N, per point: mean and population STD
};

struct SeriesResult {
  std::vector<SeriesRow> rows;
  // The sheet's columns.
  ColumnStatistics total_impulse, peak, average, burn_time, delay;  // delay.n == 0: none measured
  double mean_average = 0.0;  // N, mean total impulse / mean burn time: the one NFPA 1125 compares
  bool model_motor = false;   // mean total impulse <= 160 N s and mean_average <= 80 N
  double label_thrust = 0.0;  // N, the label it is compared with
  std::string label_source;   // where that label comes from, in words
  std::vector<Verdict> verdicts;
  std::string designation;           // class of the mean total impulse, number of mean_average
  std::vector<std::string> notes;    // the firings straddle a class bound or a number
  StandShare stand;
  SeriesCurves curves;
};

// The sheet for two or more firings; a DataError when fewer, or when a firing has no
// burn, or a measured delay without a labelled one.
SeriesResult analyse_series(std::span<const SeriesEntry> entries, const SeriesOptions& options);

// The series file's firings, labels only (the folders joined to the file's folder); the
// figures are for the caller to fill. A DataError names the file and the line.
std::vector<SeriesEntry> read_series_file(const std::string& path);
// The same from the text of a file named `shown`, folders joined to `folder`.
std::vector<SeriesEntry> parse_series_text(std::string_view text, const std::string& shown,
                                           const std::string& folder);

// What the stand makes of the spread, in words: "its uncertainty from firing to firing,
// u = ... N s, ...: the stand explains 31 % of the spread's variance, ...".
std::string stand_share_text(const SeriesResult& r);

// The sheet as text (standard output), as CSV (series.csv: UTF-8, CR LF) and as one JSON
// object.
std::string series_text(const SeriesResult& r);
std::string series_csv(const SeriesResult& r);
std::string series_json(const SeriesResult& r);

// The representative motor: the mean curve on the mean burn time, scaled to the mean
// total impulse. The header's values come from the command line as for the export.
struct RepresentativeMotor {
  std::string name;  // default: the series designation
  double diameter_mm = 0.0, length_mm = 0.0;
  std::string delays = "P";
  double propellant_kg = 0.0, total_kg = 0.0;
  std::string maker = "static-fire";
  std::string type = "single-use";  // the .rse's
  std::int64_t max_points = 32;
  bool points_given = false;
};
// The curve it is made of: F[k] at k * dt s, from tau = kTauFirst on.
struct RepresentativeCurve {
  std::vector<double> F;
  double dt = 0.0;
  double scale = 1.0;  // the factor that brought its impulse to the mean total impulse
};
RepresentativeCurve representative_curve(std::span<const SeriesEntry> entries, const SeriesResult& r);

// Writes the .eng and/or the .rse through export's writers, checks and output files:
// nothing is written unless every check passes. `eng_shown`/`rse_shown` name them in
// messages. Returns what a user should know (the export's notes), one line each.
std::vector<std::string> write_representative(std::span<const SeriesEntry> entries, const SeriesResult& r,
                                              const std::optional<std::string>& eng,
                                              const std::optional<std::string>& rse,
                                              const RepresentativeMotor& motor);

}  // namespace kv::report
