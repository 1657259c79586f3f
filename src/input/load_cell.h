// The load-cell data file, read one sample at a time: the first two values of a record
// are the sample's time and thrust, whatever follows them. What the samples become is
// the conductor's business; reading them is all this does.
#pragma once

#include "io/list_directed.h"
#include "run/program_files.h"
#include "run/run_state.h"

namespace kv {

// Opens the file named by trimmed original.
void open_load_cell_file(const RunState& s);

// The next sample: the plain record of two numbers without ceremony, any other record
// by the reader's full rules (which stop the run on one that holds no sample, and at
// the end of the file).
inline void read_sample(double& t, double& F) {
  if (!io::read_plain(unit::kLoadCell, {t, F})) io::read(unit::kLoadCell, {t, F});
}

void close_load_cell_file();

}  // namespace kv
