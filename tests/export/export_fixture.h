// A case folder for the export's end-to-end tests: the general data file, a case
// parameter file and a load-cell record (case_folder.h), the real program run on it
// (with a command interpreter that starts nothing), then the export.
#pragma once

#include <string>
#include <vector>

#include "case_folder.h"
#include "test_support.h"

namespace kv::test {

// The value of a case parameter, as the twelve records of the file give them.
struct CaseSetup {
  std::string ti = "0.5";
  std::string tf = "3.0";
  std::string Fcor = "0.0";
  std::string M = "0.030";
  std::string w = "100";
  std::string nmax = "100000";
  std::string toB = "0";
  std::string caso = "firing";
  std::string titulo = "'Static firing \xE9 1'";  // Windows-1252, as the program's files are
};

class CaseDir : public TempDir {
 public:
  CaseDir() : TempDir("kv_export_") {}

  // Writes the case: the general data file names case.txt, which names cell.txt.
  void write_case(const CaseSetup& c, const std::string& samples) const {
    CaseFile f;
    f.original = "'cell.txt'";
    f.ti = c.ti;
    f.tf = c.tf;
    f.Fcor = c.Fcor;
    f.M = c.M;
    f.w = c.w;
    f.nmax = c.nmax;
    f.toB = c.toB;
    f.caso = c.caso;
    f.titulo = c.titulo;
    put_case_folder(*this, f, samples, std::nullopt, "case.txt", "cell.txt");
  }

  // Runs the program in the folder; its status.
  int run_program() const { return run_in(dir(), {KV_PROGRAM}, kNoLaunches).status; }

  // Runs the export with `args`, from `cwd` (the folder itself when empty).
  Outcome run_export(const std::vector<std::string>& args, const fs::path& cwd = {}) const {
    std::vector<std::string> argv = {KV_EXPORT};
    argv.insert(argv.end(), args.begin(), args.end());
    return run_in(cwd.empty() ? dir() : cwd, argv, kNoLaunches);
  }
};

// A load-cell record sampled at w Hz from t0 to t1 (both included), "t F" per line,
// CR LF; F(t) from the function.
template <class Thrust>
std::string samples(double w, double t0, double t1, Thrust thrust) {
  std::string s;
  const long n0 = static_cast<long>(t0 * w + 0.5), n1 = static_cast<long>(t1 * w + 0.5);
  for (long n = n0; n <= n1; ++n) {
    const double t = static_cast<double>(n) / w;
    s += fixed(t, 4) + "  " + fixed(thrust(t), 5) + "\r\n";
  }
  return s;
}

// A trapezoid burn from 1 s: up to 40 N in 0.2 s, 0.6 s flat, down in 0.4 s (36 N s).
inline double trapezoid_burn(double t) {
  const double s = t - 1.0;
  if (s <= 0 || s >= 1.2) return 0.0;
  if (s < 0.2) return 200.0 * s;
  if (s <= 0.8) return 40.0;
  return 100.0 * (1.2 - s);
}

}  // namespace kv::test
