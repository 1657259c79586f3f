// The figures that motor certification gives a thrust curve (NFPA 1125, as NAR and TRA
// apply it): the burn runs from the first to the last crossing of 5 % of the peak
// thrust, and the average thrust is the impulse inside that span over its length.
#pragma once

#include <span>
#include <string>

namespace kv::exporter {

struct NfpaFigures {
  double total_impulse = 0.0;  // N s, trapezoid rule over the whole curve
  double peak = 0.0;           // N
  double peak_time = 0.0;      // s, the first point at the peak
  double threshold = 0.0;      // N, 5 % of the peak
  double burn_start = 0.0;     // s, first crossing of the threshold
  double burn_end = 0.0;       // s, last crossing
  double burn_time = 0.0;      // s, burn_end - burn_start
  double burn_impulse = 0.0;   // N s, between the two crossings
  double average = 0.0;        // N, burn_impulse / burn_time
  std::string designation;     // class letter and average thrust, e.g. "D12"; empty when none
};

// The figures of a curve sampled every dt seconds from time 0, thrust F[i] at i * dt.
// A crossing between two samples is placed by linear interpolation; a curve that starts
// (ends) at or above the threshold starts (ends) its burn at its first (last) point. A
// curve without positive thrust has no burn: its burn figures are NaN.
NfpaFigures nfpa_figures(std::span<const double> F, double dt);

// The impulse class of a total impulse: the program's classes from 1/8A to N, and past N
// each further letter doubles the impulse again (O up to 40960 N s, P up to 81920 N s,
// and so on to Z); upper bounds belong to their class. Empty when no class applies.
std::string impulse_class_continued(double total_impulse);

// The designation: the class of the total impulse followed by the average thrust rounded
// to the newton ("D12", "1/2A3", "O3400"). Empty when either has no value.
std::string designation(double total_impulse, double average);

}  // namespace kv::exporter
