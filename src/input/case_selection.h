// The general data file, which names the case parameter file, and the twelve case
// parameters.
#pragma once

#include "io/os.h"
#include "run/program_files.h"
#include "run/run_state.h"

namespace kv {

// Reads arqcaso, the first value of the general data file.
// The program opens the file as it opens every file (created empty when missing); a
// tool that must change nothing reads the same values with io::Access::Read.
void read_general_data(RunState& s, io::Access access = io::Access::ReadWrite);
// Reads the twelve values of the case parameter file named by trimmed arqcaso, each by
// a read of its own, in the order of kCaseParameters. Where a failure stops the reading,
// `reading` (when given) points at the value being read, or is null when the file did
// not open.
void read_case_parameters(RunState& s, io::Access access = io::Access::ReadWrite,
                          const CaseParameter** reading = nullptr);

}  // namespace kv
