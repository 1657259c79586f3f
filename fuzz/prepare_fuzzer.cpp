// Fuzz target: prepare's reading and conditioning of a logger's file.
//
// The input's first two bytes choose what a user might say on the command line (the
// delimiter, a decimal comma, the time and thrust units, a scale, the tare, a window);
// the rest is the logger's file, in the scripted system's memory. The reading must end
// in a prepared curve or in a DataError, never anything else: every value prepared is
// finite, the window lies inside the points written, and the case parameter file and the
// summary can be made from it. What the sanitizers see on the way (a double converted to
// an integer out of range, an overflow) is a finding too.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "companion/errors.h"
#include "prepare/case_writer.h"
#include "prepare/condition.h"
#include "prepare/logger_reader.h"
#include "prepare/summary.h"
#include "tests/scripted_os.h"

namespace {

using namespace kv::prepare;

void require(bool holds) {
  if (!holds) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2 || size > 65536) return 0;
  const unsigned a = data[0], b = data[1];
  kv::test::ScriptedOs os;
  os.put("log.txt", std::string(reinterpret_cast<const char*>(data) + 2, size - 2));

  ReadOptions ro;
  static constexpr Delimiter kDelimiters[] = {Delimiter::Comma, Delimiter::Semicolon, Delimiter::Tab, Delimiter::Blanks,
                                              Delimiter::Colon, Delimiter{'|'}, Delimiter{'/'}};
  if (a & 7u) ro.layout.delimiter = kDelimiters[(a & 7u) - 1];
  ro.layout.decimal_comma = (a & 8u) != 0;
  if (a & 16u) {
    ro.time_unit = (a & 32u) ? TimeUnit::ms : TimeUnit::us;
    ro.time_unit_given = true;
  }
  ro.thrust_unit = static_cast<ThrustUnit>((b & 7u) % 5u);
  ro.thrust_unit_given = (b & 7u) != 0;
  if (b & 8u) ro.scale = -1;
  if (b & 16u) {
    ro.layout.time_col = "none";
    ro.rate = (b & 32u) ? 10 : 1000;
    ro.layout.rate_given = true;
  }
  ConditionOptions co;
  co.tare = static_cast<Tare>(((b >> 6) & 3u) % 3u);
  co.rate = ro.rate;
  if (a & 64u) co.window = std::pair<double, double>{0.5, 1.5};
  if (a & 128u) co.threshold_pct = 50;
  // What a user gives after a stop: a run, an event, tare spans, the conditions accepted.
  if ((b & 48u) == 48u) {
    ro.run = 2;
    co.event = 2;
    co.tare_spans = {0.0, 0.4};
    co.accept = {true, true, true};
  }

  try {
    LoggerReader reader("log.txt", ro);
    const Scan& scan = reader.scan();
    require(std::isfinite(scan.t_first) && std::isfinite(scan.t_last) && std::isfinite(scan.F_min) &&
            std::isfinite(scan.F_max) && scan.t_first <= scan.t_last);
    // A record of days at the grid's rate would make a curve of gigabytes: that is not
    // what is looked for here.
    if (scan.t_last - scan.t_first > 600) return 0;
    co.published_curve = scan.format.published_curve;
    if (scan.layout.time_col < 0) co.rate = 0;
    const Prepared p = condition(reader, scan, co);
    require(p.rate >= 1 && p.ia < p.i0 && p.i0 < p.i1 && p.i1 < p.ib);
    require(p.F.size() == static_cast<std::size_t>(p.ib - p.ia + 1));
    for (const double f : p.F) require(std::isfinite(f));
    require(std::isfinite(p.ti) && std::isfinite(p.tf) && p.ti < p.tf);
    require(std::isfinite(p.impulse_grid) && std::isfinite(p.impulse_program) && std::isfinite(p.peak));
    CaseRequest request;
    request.folder = "case";
    request.caso = "caso";
    request.titulo = "t";
    request.mass = 0.02;
    require(!case_parameters(p, request).empty());
    require(!summary({"log.txt", &ro, &scan, &p, &request, false}).empty());
  } catch (const kv::companion::DataError&) {
  }
  return 0;
}
