// A calibration from known loads: a small text file of points, one a line,
//
//   READING LOAD UNIT      # a comment
//
// READING the raw reading of the logger under that load, or T0..T1 for the mean raw
// reading of the logger file between those times (s, as prepare shows them: an empty
// stand before ignition, a weight hung after the burn); LOAD a number and UNIT one of
// kg, g, N, lbf (a mass turned into a force with standard gravity). With two points or
// more the line thrust = K x raw + B is fitted by least squares; with one, the line goes
// through zero (B = 0) and the tare takes the stand's zero away.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "analysis/uncertainty.h"

namespace kv::prepare {

struct CalibrationPoint {
  int line = 0;
  std::optional<double> reading;             // a raw reading as given
  std::optional<double> from, to;            // or the span whose mean it is (s)
  std::int64_t count = 0;                    // the readings in that span
  double load_N = 0;                         // the load as a force
  std::string load_text;                     // "1 kg", as written
  double raw = 0;                            // the reading used
};

struct Calibration {
  std::string file;  // as the user named it
  std::vector<CalibrationPoint> points;
  double K = 0, B = 0;
  // Standard uncertainties of K and B (NaN where the points leave no degree of freedom:
  // one point, or two).
  double u_K = 0, u_B = 0;
  std::vector<double> residuals;  // N, load - (K raw + B) at each point
  double nonlinearity_pct = 0;    // the largest residual, in % of the largest load
  double largest_load_N = 0;
  bool through_zero = false;      // a single point
  bool needs_spans() const;       // a point is a span of the logger file
};

// Reads the points; a DataError names the file and line of what is wrong.
Calibration read_calibration(const std::string& file);

// Fits the line to the points, every reading known (the spans' means filled in). A
// DataError when the points cannot give a slope.
void fit_calibration(Calibration& c);

// What the summary shows of it, one line each.
std::vector<std::string> calibration_lines(const Calibration& c);

}  // namespace kv::prepare
