#include "input/load_cell.h"

#include "io/files.h"

namespace kv {

void open_load_cell_file(const RunState& s) { io::open(unit::kLoadCell, s.original.trim()); }

void close_load_cell_file() { io::close(unit::kLoadCell); }

}  // namespace kv
