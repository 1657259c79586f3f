#include "output/curve_table.h"

#include <algorithm>
#include <cstddef>
#include <future>
#include <new>
#include <string>
#include <system_error>

#include "io/diagnostics.h"
#include "io/files.h"
#include "io/layout.h"
#include "io/record_writer.h"
#include "run/run_log.h"

namespace kv {
namespace {

constexpr io::LayoutView kDataRecord = io::layout<"(F12.7, 8(1P, E15.6))">;

// Records per block. Two blocks are formatted at once, one on a second thread, and then
// written in order, so the file and the diagnostics are exactly those of one write per
// record; a block of 72-character records stays near one megabyte.
constexpr std::size_t kBlock = 16384;

// The data records of points [from, to) into out; returns how many had a field too
// narrow for its value.
std::size_t format_block(const RunState& s, std::size_t from, std::size_t to, std::string& out) {
  out.clear();
  std::size_t errors = 0;
  for (std::size_t i = from; i < to; ++i)
    if (!io::format_records(out, kDataRecord,
                            {s.arrays.t[i], s.arrays.F[i], s.arrays.I[i], s.arrays.fmi[i], s.arrays.Mi[i]}))
      ++errors;
  return errors;
}

void write_data_records(const RunState& s, int u, std::size_t n) {
  std::string first, second;
  try {
    first.reserve(kBlock * 80);
    second.reserve(kBlock * 80);
    for (std::size_t i = 0; i < n; i += 2 * kBlock) {
      const std::size_t mid = std::min(i + kBlock, n);
      const std::size_t end = std::min(mid + kBlock, n);
      std::size_t second_errors = 0;
      std::future<std::size_t> other;
      if (mid < end) {
        try {
          other = std::async(std::launch::async, format_block, std::cref(s), mid, end, std::ref(second));
        } catch (const std::system_error&) {
          // No second thread to be had: this one formats both blocks.
        }
      }
      const std::size_t first_errors = format_block(s, i, mid, first);
      if (other.valid())
        second_errors = other.get();
      else
        second_errors = format_block(s, mid, end, second);
      io::write_formatted(u, first, first_errors);
      io::write_formatted(u, second, second_errors);
    }
  } catch (const std::bad_alloc&) {
    io::severe(io::kRecordOverflow, u);
  }
}

}  // namespace

void write_curve_table(RunState& s) {
  constexpr int u = unit::kCurveTable;
  io::open(u, std::string(s.caso.trim()) + "_saida_B.txt");
  write_banner(u, s);
  io::write(u, io::layout<R"(("#", T4, "t [s]", T16, "F [N]", T31, "I [Ns]", T46, "fm [g/s]", T61, "M [g]"))">);
  const auto n = static_cast<std::size_t>(s.nc > 0 ? s.nc : 0);
  double* t = s.arrays.t.get();
  if (s.toB == 1)
    for (std::size_t i = 0; i < n; ++i) t[i] += s.ti;
  write_data_records(s, u, n);
  io::close(u);
}

}  // namespace kv
