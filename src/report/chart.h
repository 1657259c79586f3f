// The pieces of the pages' inline SVG charts: a plot area with its axes, a curve cut down
// to what a column of the drawing can show, and the marks drawn on it.
#pragma once

#include <cstddef>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace kv::report {

struct Point {
  double x = 0.0, y = 0.0;
};

// The samples F[k] at t0 + k * dt cut down for a drawing `columns` columns wide over
// [x0, x1]: in each column its lowest and its highest sample, in the order they come, so
// that every peak and every dip of the curve stays in the drawing however many samples
// fall on one column. Samples outside [x0, x1] are left out.
std::vector<Point> decimate(std::span<const double> F, double t0, double dt, double x0, double x1,
                            std::size_t columns);

// A step for an axis from 0 to `span` with about `ticks` marks: 1, 2 or 5 times a power of ten.
double tick_step(double span, int ticks);

// Text for an attribute or an element's content.
std::string escape(std::string_view text);

// A plot area in the SVG's own units, and the values it shows.
class Chart {
 public:
  Chart(double width, double height, double x0, double x1, double y0, double y1);

  double x(double v) const;
  double y(double v) const;

  // The opening <svg> element (with its size in mm on the page), the frame, the grid
  // with the ticks' numbers and the axes' titles.
  std::string open(double width_mm, double height_mm, std::string_view x_title, std::string_view y_title) const;
  // A polyline through the points.
  std::string polyline(std::span<const Point> points, std::string_view css_class) const;
  // A closed polygon through the points.
  std::string polygon(std::span<const Point> points, std::string_view css_class) const;

  double left() const { return left_; }
  double right() const { return right_; }
  double top() const { return top_; }
  double bottom() const { return bottom_; }

 private:
  double width_, height_, left_, right_, top_, bottom_;
  double x0_, x1_, y0_, y1_;
};

// A coordinate as the SVG holds it: one decimal.
std::string coordinate(double v);

}  // namespace kv::report
