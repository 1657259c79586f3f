// The run-wide state: everything a run knows, set by one phase and read by the later
// ones. Plain data; the phases (program/phases.h) are plain functions over it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "io/text_field.h"

namespace kv {

// The five sample arrays, nmax elements each. Point n of the processed curve (from 1)
// is element n - 1 of each array; element() reaches it by that number.
struct SampleArrays {
  std::int32_t size = 0;  // number of elements of each array
  std::unique_ptr<double[]> t;    // corrected time, s: (n - 1) * dt (shifted by ti when the curve table is written with toB = 1)
  std::unique_ptr<double[]> F;    // processed thrust, N: the sample's thrust, cut off from below at Fcor
  std::unique_ptr<double[]> I;    // cumulative impulse from the first point, N s
  std::unique_ptr<double[]> Mi;   // propellant mass consumed up to the point, g
  std::unique_ptr<double[]> fmi;  // mass flow over the interval that ends at the point, g/s
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
  // The general data file's first value: the name of the case parameter file.
  io::TextField<90> arqcaso;

  // The case parameters, as read.
  io::TextField<50> original;  // the load-cell data file's name
  double ti = 0.0;             // start of the window, s, on the load-cell file's clock
  double tf = 0.0;             // end of the window, s
  double Fcor = 0.0;           // cut-off thrust, N: a thrust below it counts as Fcor
  double M = 0.0;              // propellant mass, kg (reported in grams)
  std::int32_t w = 0;          // the logger's sampling frequency, Hz
  std::int32_t nmax = 0;       // points the sample arrays have room for
  std::int32_t toB = 0;        // 1: the curve table gives original times (from ti); else times from 0
  std::int32_t graf = 0;       // 1: rewrite the plot script's tail and plot; else neither
  std::int32_t abreB = 0;      // 1: open the curve table in the editor at the end too
  io::TextField<90> caso;      // the case name, the base of the result files' names
  io::TextField<90> titulo;    // the title of the reports and the plot

  SampleArrays arrays;

  // The last sample read from the load-cell data file: its original time (s) and thrust (N).
  double sample_t = 0.0;
  double sample_F = 0.0;

  // Derived from the window before the reading.
  double tq = 0.0;  // burn time, s: tf - ti
  double fm = 0.0;  // mean mass flow, g/s: M in grams over tq
  double dt = 0.0;  // interval between two samples, s: 1 / w

  // The processed curve so far.
  std::int32_t nc = 0;  // its number of points
  double Fmin = 0.0;    // smallest processed thrust, N (nmax until a point sets it)
  double tmin = 0.0;    // original time of the point that set Fmin, s
  double Fmax = 0.0;    // largest processed thrust, N
  double tmax = 0.0;    // original time of the point that set Fmax, s

  // Results.
  double It = 0.0;          // total impulse, N s
  double Fmed = 0.0;        // mean thrust over tq, N
  double c = 0.0;           // mean effective exhaust velocity, m/s
  double Is = 0.0;          // mean specific impulse, s
  io::TextField<4> classe;  // impulse class ("1/8A" or a letter, blank-padded); blanks until a class applies
};

}  // namespace kv
