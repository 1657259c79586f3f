// The plot script: the user's six head records kept, the title and plot records
// rewritten.
#pragma once

#include <string>
#include <string_view>

#include "run/program_files.h"
#include "run/run_state.h"

namespace kv {

// A text as it goes between apostrophes in a gnuplot command: every apostrophe doubled,
// so that the text is shown as typed and cannot end the quotation.
std::string gnuplot_quoted_text(std::string_view text);

// Keeps the script's first six records, writes the title and plot records after them
// and cuts off the rest.
void update_plot_script(const RunState& s);

}  // namespace kv
