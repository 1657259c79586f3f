// The plot script: the user's six head records kept, the title and plot records
// rewritten, and the plotting program started on it.
#pragma once

#include "run/run_state.h"

namespace kv {

inline constexpr const char* kPlotScript = "kalvorestine_2p0_curva_F-t.gnu";

void update_plot_script_and_plot(const RunState& s);

}  // namespace kv
