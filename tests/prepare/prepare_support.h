// What the prepare companion's tests share: running the companion and the program in a
// folder (through run_in, test_support.h), a motor's thrust curve to build logger files
// from, and an independent trapezoid over a fixture's own points.
#pragma once

#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <filesystem>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "case_folder.h"
#include "test_support.h"

namespace kv::test {

namespace fs = std::filesystem;

// Runs the companion in `cwd` with the arguments.
inline Outcome prepare(const fs::path& cwd, std::vector<std::string> args) {
  args.insert(args.begin(), KV_PREPARE);
  return run_in(cwd, args, kNoLaunches);
}

// Runs the program in a case folder.
inline Outcome program(const fs::path& folder) { return run_in(folder, {KV_PROGRAM}, kNoLaunches); }

// Runs the export in a case folder the program has run in.
inline Outcome export_run(const fs::path& folder, std::vector<std::string> args) {
  args.insert(args.begin(), KV_EXPORT);
  return run_in(folder, args, kNoLaunches);
}

// The value of a record that begins with `label` in a file of the program, as a number.
inline double value_after(const std::string& text, std::string_view label) {
  const auto at = text.find(label);
  if (at == std::string::npos) return NAN;
  std::size_t i = at + label.size();
  while (i < text.size() && text[i] == ' ') ++i;
  double v = NAN;
  std::from_chars(text.data() + i, text.data() + text.size(), v);
  return v;
}

// It from the program's summary report.
inline double program_impulse(const fs::path& folder, const std::string& caso) {
  return value_after(read_bytes(folder / (caso + "_saida_A.txt")), "It  = impulso total real (Ns) = ");
}

// The first value of record n (from 1) of a file, as a number (ti, tf of a case file).
inline double record_number(const fs::path& file, int n) {
  const auto recs = records(read_bytes(file));
  if (static_cast<int>(recs.size()) < n) return NAN;
  const std::string& r = recs[static_cast<std::size_t>(n) - 1];
  double v = NAN;
  std::from_chars(r.data(), r.data() + r.size(), v);
  return v;
}

struct Sample {
  double t, F;  // s, N
};

// The trapezoid over the points between a and b, the curve taken as straight between
// them (and flat beyond its ends).
inline double trapezoid(const std::vector<Sample>& pts, double a, double b) {
  auto value_at = [&](double x) {
    if (x <= pts.front().t) return pts.front().F;
    if (x >= pts.back().t) return pts.back().F;
    std::size_t k = 1;
    while (pts[k].t < x) ++k;
    const Sample& p = pts[k - 1];
    const Sample& q = pts[k];
    return p.F + (q.F - p.F) * (x - p.t) / (q.t - p.t);
  };
  double sum = 0, x0 = a, y0 = value_at(a);
  for (const Sample& p : pts) {
    if (p.t <= a) continue;
    if (p.t >= b) break;
    sum += (p.F + y0) * (p.t - x0) / 2;
    x0 = p.t;
    y0 = p.F;
  }
  return sum + (value_at(b) + y0) * (b - x0) / 2;
}

// A small motor's thrust (N) at s seconds after ignition: a quick rise to a peak, a
// regressive plateau and a short tail-off; `scale` makes it bigger.
inline double motor(double s, double scale = 1.0, double burn = 1.4) {
  if (s < 0) return 0;
  if (s < 0.03) return scale * 28.0 * s / 0.03;
  if (s < burn) return scale * (28.0 - 10.0 * (s - 0.03) / (burn - 0.03));
  if (s < burn + 0.06) return scale * 18.0 * (1 - (s - burn) / 0.06);
  return 0;
}

// Deterministic noise, uniform in [-a, a].
class Noise {
 public:
  explicit Noise(unsigned seed) : gen_(seed) {}
  double operator()(double a) { return a * (2.0 * static_cast<double>(gen_() % 1000001u) / 1000000.0 - 1.0); }

 private:
  std::mt19937 gen_;
};

}  // namespace kv::test
