#include "output/plot_script.h"

#include <string>
#include <string_view>

#include "io/files.h"
#include "io/layout.h"
#include "io/list_directed.h"
#include "io/record_writer.h"

namespace kv {

std::string gnuplot_quoted_text(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    out += c;
    if (c == '\'') out += '\'';
  }
  return out;
}

void update_plot_script(const RunState& s) {
  constexpr int u = unit::kPlotScript;
  io::open(u, kPlotScript);
  // The user's six head records stay as they are; whatever followed them goes.
  for (int i = 0; i < kPlotScriptHeadRecords; ++i) io::read(u, {});
  const std::string title = gnuplot_quoted_text(s.titulo.trim());
  io::write(u, io::layout<R"(("set title '", A, "'"))">, {std::string_view(title)});
  const std::string table = gnuplot_quoted_text(curve_table_name(s.caso.trim()));
  io::write(u, io::layout<R"(("plot '", A, "' using 1:2 notitle"))">, {std::string_view(table)});
  io::close(u);
}

}  // namespace kv
