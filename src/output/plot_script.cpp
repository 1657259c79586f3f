#include "output/plot_script.h"

#include <string>

#include "io/files.h"
#include "io/layout.h"
#include "io/list_directed.h"
#include "io/record_writer.h"
#include "run/launcher.h"
#include "run/run_log.h"

namespace kv {

void update_plot_script_and_plot(const RunState& s) {
  constexpr int u = unit::kPlotScript;
  progress("vai começar a gerar o gráfico de F-t.gnu"_w);
  io::open(u, kPlotScript);
  for (int i = 0; i < 6; ++i) io::read(u, {});
  io::write(u, io::layout<R"(("set title '", A, "'"))">, {s.titulo.trim()});
  const std::string table = std::string(s.caso.trim()) + "_saida_B.txt";
  io::write(u, io::layout<R"(("plot '", A, "' using 1:2 notitle"))">, {std::string_view(table)});
  io::close(u);
  run_command("Wgnuplot kalvorestine_2p0_curva_F-t.gnu");
}

}  // namespace kv
