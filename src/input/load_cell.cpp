#include "input/load_cell.h"

#include <cstddef>
#include <functional>
#include <future>
#include <new>
#include <string>
#include <system_error>

#include "analysis/conditioning.h"
#include "io/diagnostics.h"
#include "io/files.h"
#include "io/list_directed.h"
#include "io/record_writer.h"
#include "run/run_log.h"

namespace kv {
namespace {

// The echo lines of the accepted points are formatted in batches on a second thread
// while the reading goes on, and handed to the run log in order. Before anything that
// can end the run (a read by the full rules, a point beyond the arrays) and at the end
// of the reading, every accepted point has its line in the run log, exactly as if each
// had been written when its point was accepted.
constexpr std::int32_t kEchoBatch = 8192;

struct EchoLines {
  std::int32_t written = 0;  // points whose lines are in the run log
  std::int32_t handed = 0;   // points whose lines are formatted or being formatted
  std::future<std::size_t> job;
  std::string lines;
};

// The lines of points [from, to) (0-based) into out; how many had a field too narrow.
std::size_t format_echo_lines(const double* t, const double* F, std::int32_t from, std::int32_t to, std::string& out) {
  out.clear();
  std::size_t errors = 0;
  for (std::int32_t i = from; i < to; ++i) {
    const auto k = static_cast<std::size_t>(i);
    if (!format_echo_line(out, i + 1, t[k], F[k])) ++errors;
  }
  return errors;
}

// No memory for the lines ends the run as a record that cannot be held does.
[[noreturn]] void no_memory_for_lines() { io::severe(io::kRecordOverflow, unit::kRunLog); }

void collect(EchoLines& e) {
  if (!e.job.valid()) return;
  std::size_t errors = 0;
  try {
    errors = e.job.get();
  } catch (const std::bad_alloc&) {
    no_memory_for_lines();
  }
  io::write_formatted(unit::kRunLog, e.lines, errors);
  e.written = e.handed;
}

// After a point is accepted: a full batch goes to the second thread.
void hand_off(EchoLines& e, const RunState& s) {
  if (s.nc - e.handed < kEchoBatch) return;
  collect(e);
  try {
    e.job = std::async(std::launch::async, format_echo_lines, s.arrays.t.get(), s.arrays.F.get(), e.handed, s.nc,
                       std::ref(e.lines));
    e.handed = s.nc;
  } catch (const std::system_error&) {
    // No second thread to be had: the lines are formatted here, at the next catch-up.
  }
}

// Every accepted point's line into the run log.
void catch_up(EchoLines& e, const RunState& s) {
  collect(e);
  if (e.written < s.nc) {
    std::size_t errors = 0;
    try {
      errors = format_echo_lines(s.arrays.t.get(), s.arrays.F.get(), e.written, s.nc, e.lines);
    } catch (const std::bad_alloc&) {
      no_memory_for_lines();
    }
    io::write_formatted(unit::kRunLog, e.lines, errors);
  }
  e.written = e.handed = s.nc;
}

void read_samples(RunState& s, EchoLines& echo) {
  for (;;) {
    if (!io::read_plain(unit::kLoadCell, {s.sample_t, s.sample_F})) {
      catch_up(echo, s);  // the full rules may end the run
      io::read(unit::kLoadCell, {s.sample_t, s.sample_F});
    }
    if (sample_in_window(s, s.sample_t)) {
      if (s.nc >= s.arrays.size) catch_up(echo, s);  // a point beyond the arrays ends the run
      add_point(s, s.sample_F);
      hand_off(echo, s);
      update_extremes(s, s.sample_t);
    }
    if (past_window(s, s.sample_t)) break;
  }
}

}  // namespace

void read_load_cell_data(RunState& s) {
  progress("Vai iniciar a leitura de t e F do arquivo original da célula de carga"_w);
  progress(" ponto    t (s)      F (N)");
  io::open(unit::kLoadCell, s.original.trim());
  EchoLines echo;
  try {
    read_samples(s, echo);
  } catch (const std::bad_alloc&) {
    catch_up(echo, s);  // memory ran out in the reader: the run ends with every line written
    throw;
  }
  catch_up(echo, s);
  io::close(unit::kLoadCell);
  progress("Terminou a leitura de t e F do arquivo original da célula de carga"_w);
}

}  // namespace kv
