#include "prepare/case_record.h"

#include <cmath>

#include "analysis/impulse.h"
#include "analysis/impulse_class.h"
#include "analysis/window.h"
#include "companion/number_text.h"
#include "prepare/logger_format.h"

namespace kv::prepare {

using companion::json_number;
using companion::json_string;

namespace {

// A JSON object written member by member, indented by its depth.
class Object {
 public:
  explicit Object(int depth) : pad_(static_cast<std::size_t>(2 * depth), ' ') {}
  Object& raw(std::string_view key, const std::string& value) {
    text_ += (first_ ? "{\n" : ",\n") + pad_ + "  " + json_string(key) + ": " + value;
    first_ = false;
    return *this;
  }
  Object& number(std::string_view key, double v) { return raw(key, json_number(v)); }
  Object& text(std::string_view key, std::string_view v) { return raw(key, json_string(v)); }
  Object& count(std::string_view key, std::int64_t v) { return raw(key, std::to_string(v)); }
  Object& flag(std::string_view key, bool v) { return raw(key, v ? "true" : "false"); }
  std::string done() const { return first_ ? "{}" : text_ + "\n" + pad_ + "}"; }

 private:
  std::string pad_;
  std::string text_;
  bool first_ = true;
};

std::string null_or(double v) { return std::isfinite(v) ? json_number(v) : "null"; }

std::string tare_mode(Tare t) {
  switch (t) {
    case Tare::pre: return "pre";
    case Tare::linear: return "linear";
    case Tare::none: return "none";
  }
  return "none";
}

std::string span(const std::optional<Span>& s, int depth) {
  if (!s) return "null";
  return Object(depth)
      .number("from_s", s->from)
      .number("to_s", s->to)
      .count("points", s->count)
      .number("mean_N", s->mean)
      .number("sd_N", s->sd)
      .flag("given", s->given)
      .done();
}

// The standard uncertainty of a span's mean: its deviation over the root of its count.
double mean_uncertainty(const std::optional<Span>& s) {
  if (!s || s->count < 1) return std::nan("");
  return s->sd / std::sqrt(static_cast<double>(s->count));
}

}  // namespace

std::string case_record(const RecordInput& in, const std::string& load_cell_name,
                        const companion::FileDigest& load_cell) {
  const Scan& sc = *in.scan;
  const Prepared& p = *in.prepared;
  const ReadOptions& ro = *in.read;

  std::string args = "[";
  for (std::size_t i = 0; i < in.arguments.size(); ++i) args += (i ? ", " : "") + json_string(in.arguments[i]);
  args += "]";

  const std::string columns_time = sc.layout.time_col >= 0 ? std::to_string(sc.layout.time_col + 1) : "null";
  const std::string resolved = Object(1)
                                   .text("format", format_name(sc.format.format))
                                   .text("delimiter", delimiter_name(sc.layout.delimiter))
                                   .flag("decimal_comma", sc.layout.decimal_comma)
                                   .raw("time_column", columns_time)
                                   .count("thrust_column", sc.layout.thrust_col + 1)
                                   .text("time_unit", unit_name(sc.time_unit))
                                   .text("thrust_unit", unit_name(sc.thrust_unit))
                                   .number("scale", ro.scale)
                                   .number("offset", ro.offset)
                                   .raw("rate_Hz", sc.layout.time_col >= 0 ? std::string("null") : json_number(sc.rate))
                                   .count("run", ro.run)
                                   .done();
  const std::string steps = Object(1)
                                .number("median_s", sc.step_median)
                                .number("p05_s", sc.step_p05)
                                .number("p95_s", sc.step_p95)
                                .number("min_s", sc.step_min)
                                .number("max_s", sc.step_max)
                                .count("points", sc.points)
                                .raw("stated_rate_Hz", sc.format.rate > 0 ? json_number(sc.format.rate) : std::string("null"))
                                .raw("stated_rate_off", null_or(stated_rate_disagreement(sc)))
                                .done();
  const double drift = p.pre && p.post ? p.post->mean - p.pre->mean : std::nan("");
  const std::string tare = Object(1)
                               .text("mode", tare_mode(p.tare))
                               .raw("before", span(p.pre, 2))
                               .raw("after", span(p.post, 2))
                               .raw("offset_N", p.pre ? json_number(-p.pre->mean) : std::string("null"))
                               .raw("offset_u_N", null_or(mean_uncertainty(p.pre)))
                               .raw("drift_N", null_or(drift))
                               .raw("drift_after_N", p.drift_known ? json_number(p.drift_after) : std::string("null"))
                               .number("drift_share_of_impulse", p.drift_share)
                               .done();
  const std::string baseline =
      Object(1).number("sd_N", p.noise).number("quantisation_N", p.resolution).done();

  std::string calibration = "null";
  if (in.calibration) {
    const Calibration& c = *in.calibration;
    std::string points = "[";
    for (std::size_t i = 0; i < c.points.size(); ++i) {
      const CalibrationPoint& q = c.points[i];
      Object o(3);
      o.count("line", q.line).number("raw", q.raw).number("load_N", q.load_N).text("load", q.load_text);
      if (q.from) o.number("from_s", *q.from).number("to_s", *q.to).count("readings", q.count);
      o.number("residual_N", c.residuals[i]);
      points += std::string(i ? ", " : "") + o.done();
    }
    points += "]";
    calibration = Object(1)
                      .text("file", c.file)
                      .number("K", c.K)
                      .number("B", c.B)
                      .raw("u_K", null_or(c.u_K))
                      .raw("u_B", null_or(c.u_B))
                      .raw("slope_share", null_or(c.u_K / std::fabs(c.K)))
                      .number("nonlinearity_pct", c.nonlinearity_pct)
                      .number("largest_load_N", c.largest_load_N)
                      .flag("through_zero", c.through_zero)
                      .raw("points", points)
                      .done();
  }

  std::string events = "[";
  for (std::size_t i = 0; i < p.events.size(); ++i) {
    const Event& e = p.events[i];
    events += std::string(i ? ", " : "") + Object(2)
                                                .number("start_s", e.start)
                                                .number("end_s", e.end)
                                                .number("peak_N", e.peak)
                                                .number("impulse_Ns", e.impulse)
                                                .done();
  }
  events += "]";

  const double tq = burn_time(p.ti, p.tf);
  const double Fmed = mean_thrust(p.impulse_program, tq);
  const std::string predicted = Object(1)
                                    .number("It_Ns", p.impulse_program)
                                    .number("tq_s", tq)
                                    .number("Fmed_N", Fmed)
                                    .text("designation", designation(impulse_class(p.impulse_program), Fmed))
                                    .done();
  const std::string window = Object(1)
                                 .number("ti_s", p.ti)
                                 .number("tf_s", p.tf)
                                 .count("rate_Hz", p.rate)
                                 .flag("given", p.window_given)
                                 .number("ignition_s", p.t_ignition)
                                 .number("burn_out_s", p.t_burnout)
                                 .done();

  Object top(0);
  top.text("record", companion::kRecordKind)
      .raw("record_version", kRecordVersion)
      .text("case", in.caso)
      .raw("logger", Object(1)
                         .text("name", in.logger)
                         .count("size", static_cast<std::int64_t>(in.logger_digest.size))
                         .text("sha256", in.logger_digest.sha256)
                         .done())
      .raw("arguments", args)
      .raw("resolved", resolved)
      .raw("steps", steps)
      .raw("tare", tare)
      .raw("baseline", baseline)
      .raw("calibration", calibration)
      .raw("slope_uncertainty_pct", in.slope_uncertainty_pct ? json_number(*in.slope_uncertainty_pct) : "null")
      .number("propellant_kg", in.mass)
      .raw("events", events)
      .raw("event_taken", std::to_string(p.event >= 0 ? p.event + 1 : 0))
      .raw("window", window)
      .raw("predicted", predicted)
      .raw("load_cell", Object(1)
                            .text("name", load_cell_name)
                            .count("size", static_cast<std::int64_t>(load_cell.size))
                            .text("sha256", load_cell.sha256)
                            .done());
  return top.done() + "\n";
}

}  // namespace kv::prepare
