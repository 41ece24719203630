// The blank summary: area, weight and least enclosing rectangle.
#include "output/blank_summary.h"

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "fortran/edit.h"

namespace trevo {

namespace {

constexpr double kDegree = 0.0174532925199433;  // radians per degree, to 15 digits
constexpr int kTurns = 90;                      // k = 0 .. 89
constexpr double kGramsPerKilogram = 1000.0;

// Corner k of element e; a fourth corner kNone stands for the repeated third one.
size_t corner(const Mesh& m, int32_t e, int k) {
  const int32_t n = m.node(e, k);
  return static_cast<size_t>(n == kNone ? m.node(e, 2) : n);
}

double element_area(const Mesh& m, int32_t e) {
  double twice = 0.0;
  for (int k = 0; k < 4; ++k) {
    const size_t a = corner(m, e, k), b = corner(m, e, (k + 1) % 4);
    twice += m.x[a] * m.y[b] - m.x[b] * m.y[a];
  }
  return 0.5 * std::abs(twice);
}

double bounding_box_area(const Mesh& m, double angle) {
  const double c = std::cos(angle), s = std::sin(angle);
  double min_x = 1.0e80, max_x = -1.0e80, min_y = 1.0e80, max_y = -1.0e80;
  for (int32_t n = 0; n < m.nn; ++n) {
    const auto i = static_cast<size_t>(n);
    const double x = c * m.x[i] - s * m.y[i], y = s * m.x[i] + c * m.y[i];
    min_x = std::min(min_x, x);
    max_x = std::max(max_x, x);
    min_y = std::min(min_y, y);
    max_y = std::max(max_y, y);
  }
  return (max_x - min_x) * (max_y - min_y);
}

}  // namespace

BlankSummary blank_summary(const Mesh& blank, std::span<const double> thickness) {
  BlankSummary s;
  double volume = 0.0;
  for (int32_t e = 0; e < blank.ne; ++e) {
    const double a = element_area(blank, e);
    s.area += a;
    volume += a * thickness[static_cast<size_t>(e)];
  }
  s.weight = volume * kSheetDensity / kGramsPerKilogram;
  s.rectangle_area = 1.0e80;
  for (int k = 0; k < kTurns; ++k) {
    const double area = bounding_box_area(blank, k * kDegree);
    if (area < s.rectangle_area) {  // strictly smaller: on equal areas the smaller angle stays
      s.rectangle_area = area;
      s.rectangle_angle = k;
    }
  }
  const double first_thickness = thickness.empty() ? 0.0 : thickness[0];
  s.rectangle_weight = s.rectangle_area * first_thickness * kSheetDensity / kGramsPerKilogram;
  return s;
}

void print_blank_summary(const BlankSummary& summary, Reporter& reporter) {
  using fortran::edit_g;
  const std::string lines[] = {
      " Area of the blank is" + edit_g(summary.area, 14, 8) + "sq.mm.",
      " Weight of the blank is" + edit_g(summary.weight, 14, 8) + " kilogram",
      " Area of the blank least rectangle is" + edit_g(summary.rectangle_area, 14, 8) + "sq.mm.",
      "counter-rotate" + fortran::edit_i(summary.rectangle_angle, 3) + " degree",
  };
  reporter.console("");
  for (const std::string& line : lines) reporter.console(line);
  reporter.console("");
  reporter.report("");
  for (const std::string& line : lines) reporter.report(line);
  reporter.report("");
}

}  // namespace trevo
