// The diagnostics of the record reader and writer for the fuzz targets: a severe
// message throws instead of ending the process, so that one process can run many
// whole-file reads. Everything else behaves as in the program.
#include <string>
#include <string_view>

#include "fuzz/severe_thrown.h"
#include "io/diagnostics.h"
#include "io/files.h"

namespace kv::io {

void severe(int number, int unit) { throw fuzz::SevereThrown{number, unit}; }
void severe_text(int number, std::string_view) { throw fuzz::SevereThrown{number, 0}; }
void error(int, int) {}
void stderr_append(std::string_view) {}
void stderr_flush() {}

}  // namespace kv::io
