#include "output/curve_table.h"

#include <string>

#include "io/files.h"
#include "io/layout.h"
#include "io/record_writer.h"
#include "run/program_files.h"
#include "run/run_log.h"

namespace kv {

void write_curve_table(RunState& s) {
  constexpr int u = unit::kCurveTable;
  io::open(u, curve_table_name(s.caso.trim()));
  write_banner(u, s);
  io::write(u, io::layout<kCurveTableHeading>);
  const auto n = static_cast<std::size_t>(s.nc > 0 ? s.nc : 0);
  SampleArrays& a = s.arrays;
  if (s.toB == 1)
    for (std::size_t i = 0; i < n; ++i) a.t[i] += s.ti;
  for (std::size_t i = 0; i < n; ++i)
    io::write(u, io::layout<kCurveTableRecord>, {a.t[i], a.F[i], a.I[i], a.fmi[i], a.Mi[i]});
  io::close(u);
}

}  // namespace kv
