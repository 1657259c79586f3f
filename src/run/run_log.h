// The run log: banner, progress lines, echo lines and the block of extremes.
#pragma once

#include <cstdint>
#include <string_view>

#include "io/cp1252.h"
#include "run/run_state.h"

namespace kv {

// The seven records that open the run log, the summary report and the curve table.
void write_banner(int unit, const RunState& s);

// Creates or replaces the run log, trimmed caso + "_saida_H.txt", and writes the banner.
void open_run_log(const RunState& s);
void close_run_log();

// One progress line: a blank, then the text (Windows-1252 bytes).
void progress(std::string_view text);

// The echo of point nc: (I5, 3X, F12.7, 1P, E15.7).
void echo_line(std::int32_t nc, double t, double F);

// The nine records of the extremes of the processed curve.
void write_extremes_block(const RunState& s);

}  // namespace kv
