#include "input/load_cell.h"

#include "analysis/conditioning.h"
#include "io/cp1252.h"
#include "io/files.h"
#include "io/list_directed.h"
#include "run/run_log.h"

namespace kv {

void read_load_cell_data(RunState& s) {
  progress("Vai iniciar a leitura de t e F do arquivo original da célula de carga"_w);
  progress(" ponto    t (s)      F (N)");
  io::open(unit::kLoadCell, s.original.trim());
  for (;;) {
    if (!io::read_plain(unit::kLoadCell, {s.sample_t, s.sample_F}))
      io::read(unit::kLoadCell, {s.sample_t, s.sample_F});
    if (sample_in_window(s, s.sample_t)) {
      add_point(s, s.sample_F);
      echo_line(s.nc, s.arrays.t[static_cast<std::size_t>(s.nc) - 1], s.arrays.F[static_cast<std::size_t>(s.nc) - 1]);
      update_extremes(s, s.sample_t);
    }
    if (past_window(s, s.sample_t)) break;
  }
  io::close(unit::kLoadCell);
  progress("Terminou a leitura de t e F do arquivo original da célula de carga"_w);
}

}  // namespace kv
