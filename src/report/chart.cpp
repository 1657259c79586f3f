#include "report/chart.h"

#include <algorithm>
#include <cmath>

#include "companion/number_text.h"

namespace kv::report {

using companion::append_fixed_trimmed;
using companion::significant;

std::vector<Point> decimate(std::span<const double> F, double t0, double dt, double x0, double x1,
                            std::size_t columns) {
  std::vector<Point> out;
  if (F.empty() || columns == 0 || !(x1 > x0)) return out;
  const double per_column = (x1 - x0) / static_cast<double>(columns);
  std::size_t k = 0;
  // The first sample at or after x0.
  if (t0 < x0) k = static_cast<std::size_t>(std::min(std::ceil((x0 - t0) / dt), static_cast<double>(F.size())));
  std::size_t column = 0, lo = k, hi = k;
  bool open = false;
  const auto flush = [&] {
    if (!open) return;
    const std::size_t a = std::min(lo, hi), b = std::max(lo, hi);
    out.push_back({t0 + static_cast<double>(a) * dt, F[a]});
    if (b != a) out.push_back({t0 + static_cast<double>(b) * dt, F[b]});
    open = false;
  };
  for (; k < F.size(); ++k) {
    const double t = t0 + static_cast<double>(k) * dt;
    if (t > x1) break;
    const double c = std::floor((t - x0) / per_column);
    const std::size_t col = c < 0 ? 0 : std::min(static_cast<std::size_t>(c), columns - 1);
    if (!open || col != column) {
      flush();
      column = col;
      lo = hi = k;
      open = true;
      continue;
    }
    if (F[k] < F[lo]) lo = k;
    if (F[k] > F[hi]) hi = k;
  }
  flush();
  return out;
}

double tick_step(double span, int ticks) {
  if (!(span > 0.0) || !std::isfinite(span)) return 1.0;
  const double raw = span / ticks;
  const double power = std::pow(10.0, std::floor(std::log10(raw)));
  for (const double m : {1.0, 2.0, 5.0})
    if (m * power >= raw) return m * power;
  return 10.0 * power;
}

std::string escape(std::string_view text) {
  std::string s;
  s.reserve(text.size());
  for (const char c : text) {
    switch (c) {
      case '&': s += "&amp;"; break;
      case '<': s += "&lt;"; break;
      case '>': s += "&gt;"; break;
      case '"': s += "&quot;"; break;
      default: s += c;
    }
  }
  return s;
}

std::string coordinate(double v) {
  std::string s;
  append_fixed_trimmed(s, v, 1);
  return s;
}

Chart::Chart(double width, double height, double x0, double x1, double y0, double y1)
    : width_(width), height_(height), left_(52), right_(width - 12), top_(10), bottom_(height - 34),
      x0_(x0), x1_(x1 > x0 ? x1 : x0 + 1), y0_(y0), y1_(y1 > y0 ? y1 : y0 + 1) {}

double Chart::x(double v) const { return left_ + (v - x0_) / (x1_ - x0_) * (right_ - left_); }
double Chart::y(double v) const { return bottom_ - (v - y0_) / (y1_ - y0_) * (bottom_ - top_); }

std::string Chart::open(double width_mm, double height_mm, std::string_view x_title, std::string_view y_title) const {
  std::string s = "<svg xmlns=\"http://www.w3.org/2000/svg\" viewBox=\"0 0 " + coordinate(width_) + " " +
                  coordinate(height_) + "\" width=\"" + coordinate(width_mm) + "mm\" height=\"" + coordinate(height_mm) +
                  "mm\" role=\"img\">\n";
  s += "<rect class=\"frame\" x=\"" + coordinate(left_) + "\" y=\"" + coordinate(top_) + "\" width=\"" +
       coordinate(right_ - left_) + "\" height=\"" + coordinate(bottom_ - top_) + "\"/>\n";
  const auto ticks = [&](double from, double to, int count, bool horizontal) {
    const double step = tick_step(to - from, count);
    for (double v = std::ceil(from / step) * step; v <= to + step * 1e-9; v += step) {
      const double shown = std::fabs(v) < step * 1e-9 ? 0.0 : v;
      const std::string label = significant(shown, 6);
      if (horizontal) {
        const std::string px = coordinate(x(shown));
        s += "<line class=\"grid\" x1=\"" + px + "\" y1=\"" + coordinate(top_) + "\" x2=\"" + px + "\" y2=\"" +
             coordinate(bottom_) + "\"/><text class=\"tick\" x=\"" + px + "\" y=\"" + coordinate(bottom_ + 12) +
             "\" text-anchor=\"middle\">" + label + "</text>\n";
      } else {
        const std::string py = coordinate(y(shown));
        s += "<line class=\"grid\" x1=\"" + coordinate(left_) + "\" y1=\"" + py + "\" x2=\"" + coordinate(right_) +
             "\" y2=\"" + py + "\"/><text class=\"tick\" x=\"" + coordinate(left_ - 4) + "\" y=\"" +
             coordinate(y(shown) + 3) + "\" text-anchor=\"end\">" + label + "</text>\n";
      }
    }
  };
  ticks(x0_, x1_, std::max(3, static_cast<int>(width_ / 76)), true);
  ticks(y0_, y1_, 6, false);
  s += "<text class=\"axis\" x=\"" + coordinate((left_ + right_) / 2) + "\" y=\"" + coordinate(height_ - 6) +
       "\" text-anchor=\"middle\">" + escape(x_title) + "</text>\n";
  s += "<text class=\"axis\" transform=\"translate(12 " + coordinate((top_ + bottom_) / 2) +
       ") rotate(-90)\" text-anchor=\"middle\">" + escape(y_title) + "</text>\n";
  return s;
}

namespace {
void append_points(std::string& s, std::span<const Point> points, const Chart& c) {
  for (const Point& p : points) {
    append_fixed_trimmed(s, c.x(p.x), 1);
    s += ',';
    append_fixed_trimmed(s, c.y(p.y), 1);
    s += ' ';
  }
  if (!points.empty()) s.pop_back();
}
}  // namespace

std::string Chart::polyline(std::span<const Point> points, std::string_view css_class) const {
  std::string s = "<polyline class=\"" + std::string(css_class) + "\" points=\"";
  append_points(s, points, *this);
  return s + "\"/>\n";
}

std::string Chart::polygon(std::span<const Point> points, std::string_view css_class) const {
  std::string s = "<polygon class=\"" + std::string(css_class) + "\" points=\"";
  append_points(s, points, *this);
  return s + "\"/>\n";
}

}  // namespace kv::report
