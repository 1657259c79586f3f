// The run-wide state: everything a run knows, set by one phase and read by the later
// ones. Plain data; the phases are plain functions over it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "io/text_field.h"

namespace kv {

// Unit numbers of the files of a run, as the diagnostics name them.
namespace unit {
inline constexpr int kGeneralData = 5;
inline constexpr int kCaseParameters = 6;
inline constexpr int kLoadCell = 8;
inline constexpr int kSummaryReport = 10;
inline constexpr int kPlotScript = 18;
inline constexpr int kCurveTable = 20;
inline constexpr int kRunLog = 80;
}  // namespace unit

// Standard gravity at sea level, m/s².
inline constexpr double go = 9.80665;

// The five sample arrays, indexed from 1 to nmax.
struct SampleArrays {
  std::int32_t size = 0;  // number of elements of each array
  std::unique_ptr<double[]> t, F, I, Mi, fmi;
};

// An index outside 1..size is never carried out: the run stops with message 408, naming
// the array, the index and the bound it passed.
[[noreturn]] void subscript_out_of_range(const char* array, std::int32_t n, std::int32_t size);

// Element n (from 1) of one of the arrays, checked against their size.
inline double& element(const std::unique_ptr<double[]>& a, const char* name, std::int32_t n, std::int32_t size) {
  if (n < 1 || n > size) subscript_out_of_range(name, n, size);
  return a[static_cast<std::size_t>(n) - 1];
}

struct RunState {
  // Case selection and case parameters, as read.
  io::TextField<90> arqcaso;
  io::TextField<50> original;
  double ti = 0.0;
  double tf = 0.0;
  double Fcor = 0.0;
  double M = 0.0;
  std::int32_t w = 0;
  std::int32_t nmax = 0;
  std::int32_t toB = 0;
  std::int32_t graf = 0;
  std::int32_t abreB = 0;
  io::TextField<90> caso;
  io::TextField<90> titulo;

  SampleArrays arrays;

  // The last sample read from the load-cell data file.
  double sample_t = 0.0;
  double sample_F = 0.0;

  // Curve conditioning.
  double tq = 0.0;
  double fm = 0.0;
  double dt = 0.0;
  std::int32_t nc = 0;
  double Fmin = 0.0;
  double tmin = 0.0;
  double Fmax = 0.0;
  double tmax = 0.0;

  // Results.
  double It = 0.0;
  double Fmed = 0.0;
  double c = 0.0;
  double Is = 0.0;
  io::TextField<4> classe;  // blanks until a class applies
};

}  // namespace kv
