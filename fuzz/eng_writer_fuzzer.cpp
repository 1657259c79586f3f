// Fuzz target: the motor files' writer over any curve.
//
// The input's first bytes choose the sampling interval and the most points; the rest are
// the thrusts, two bytes each (0 to 6553.5 N, a few negative). The export's figures, the
// point selection and the .eng and .rse writers run over the curve; each may refuse with
// a DataError, but what they write must read back with no broken rule, its figures as
// each simulator computes them within the tolerances of the measured ones (more than 32
// points, which only old RASP readers cut, aside).
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "companion/errors.h"
#include "export/eng_file.h"
#include "export/export_run.h"
#include "export/motor_check.h"
#include "export/rse_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace kv::exporter;
  if (size < 3) return 0;
  static const double kSteps[] = {1e-5, 5e-5, 1e-4, 2e-4, 1e-3, 1e-2, 0.1, 1.0 / 3.0};
  const double dt = kSteps[data[0] % 8];
  const std::int64_t max_points = data[1] % 4 == 0 ? 0 : 2 + data[1] % 61;
  std::vector<double> F;
  for (std::size_t k = 2; k + 1 < size; k += 2) {
    const int raw = data[k] | (data[k + 1] << 8);
    F.push_back(raw >= 65000 ? -static_cast<double>(raw - 65000) / 10.0 : raw / 10.0);
  }
  try {
    const kv::NfpaFigures n = kv::certification_figures(F, dt);
    const MeasuredFigures m = measured_figures(n);
    const MotorPoints p = motor_points(F, dt, m, max_points);
    if (!p.problem.empty()) return 0;
    const EngHeader h{n.designation.empty() ? "X" : n.designation, 24, 70, "P", 0.01, 0.05, "fuzz"};
    const std::string eng = write_eng_text({"fuzz"}, h, p, m, dt);
    const std::string rse = write_rse_text("fuzz", h, "single-use", p, m, dt);
    for (const std::string* text : {&eng, &rse}) {
      const MotorCheck c = check_motor(*text);
      // Only the old RASP readers' limit of 32 points may be passed, with --points 0.
      for (const MotorProblem& problem : c.problems)
        if (problem.rule.find("more than 32") == std::string::npos) std::abort();
      if (figures_problem(m, c.thrustcurve.total_impulse, c.thrustcurve, c.openrocket) != "") std::abort();
    }
  } catch (const kv::companion::DataError&) {
  }
  return 0;
}
