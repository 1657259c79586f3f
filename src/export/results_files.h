// The results of a finished run, read without changing anything: the summary report
// (<caso>_saida_A.txt) and the curve table (<caso>_saida_B.txt).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "run/run_state.h"

namespace kv::exporter {

// Unit numbers for the files the export opens itself, apart from the program's.
namespace unit {
inline constexpr int kSummaryReport = 41;
inline constexpr int kCurveTable = 42;
inline constexpr int kEngFile = 43;
inline constexpr int kCsvFile = 44;
inline constexpr int kRunLog = 45;
}  // namespace unit

// The program's own figures, as the summary report gives them.
struct WindowFigures {
  double total_impulse = 0.0;  // It, N s
  double mean_thrust = 0.0;    // Fmed, N
  double burn_time = 0.0;      // tq, s: the window
  std::string designation;     // class and class number, blanks removed ("D12", "1/2A1")
  std::string class_text;      // the class alone ("D", "1/2A"; empty when none applied)
  std::int32_t points = 0;     // nc; -1 when the report could not show it
  // The report's echo of the case's values, as written (blanks around them removed):
  // ti, tf, Fcor, M (g) and w.
  std::string echo[5];
};

// The names of the echoed values, in the order of WindowFigures::echo.
inline constexpr const char* kEchoNames[5] = {"ti", "tf", "Fcor", "M", "w"};

// The echo the summary report of a run of the case `s` holds, in the order of
// WindowFigures::echo: its values formatted as the report formats them.
void expected_echo(const RunState& s, std::string (&echo)[5]);

// The processed curve: thrust F[i] at corrected time i * dt.
struct ProcessedCurve {
  double dt = 0.0;
  std::vector<double> F;
};

// Reads the figures from the summary report; a DataError names the file and what is
// missing, or which figure is not a finite number. A failure to open or read it is an io::Failure.
WindowFigures read_summary_report(const std::string& name);

// Reads the curve table: its banner and column header, then one point per record. The
// times must be those of the case (ti, w, toB) and there must be `points` of them (when
// not -1), or the
// results are not this case's; a DataError says so. A failure to open or read it is an
// io::Failure.
ProcessedCurve read_curve_table(const std::string& name, const RunState& s, std::int32_t points);

// The records of a text, split at LF, a CR before it dropped.
std::vector<std::string_view> text_records(std::string_view text);

}  // namespace kv::exporter
