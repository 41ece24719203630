// Displacement measure, stabilisation coefficients, inversion count, backtracks and stop tests.
#include "solver/iteration_control.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "core/run_stop.h"

namespace trevo {

bool all_finite(std::span<const double> values) {
  return std::all_of(values.begin(), values.end(), [](double v) { return std::isfinite(v); });
}

void stop_unless_finite(bool finite, int32_t message_level, Reporter& reporter) {
  if (finite) return;
  if (message_level == 2) reporter.message("******* TREVO calculation ERROR");
  stop_run();
}

namespace {

struct Extent {
  double x = 0.0, y = 0.0;
};

Extent blank_extent(std::span<const double> blank_x, std::span<const double> blank_y) {
  if (blank_x.empty()) return {};
  auto [xmin, xmax] = std::minmax_element(blank_x.begin(), blank_x.end());
  auto [ymin, ymax] = std::minmax_element(blank_y.begin(), blank_y.end());
  return {*xmax - *xmin, *ymax - *ymin};
}

}  // namespace

double displacement_measure(std::span<const double> increment, std::span<const double> blank_x,
                            std::span<const double> blank_y) {
  double sum = 0.0;
  for (double d : increment) sum += d * d;
  const Extent e = blank_extent(blank_x, blank_y);
  return sum / (std::sqrt(e.x * e.x + e.y * e.y) + 1.0e-50);
}

double stabilisation_coefficient(double u, double extent) {
  // Breakpoints L/80, L/40, L/20, L/10 with values 1e-4, 1e-5, 1e-6, 1e-7, then 0.
  constexpr double kValues[] = {1.0e-4, 1.0e-5, 1.0e-6, 1.0e-7};
  constexpr double kDivisors[] = {80.0, 40.0, 20.0, 10.0};
  if (u <= extent / kDivisors[0]) return kValues[0];
  for (int segment = 1; segment < 4; ++segment) {
    const double from = extent / kDivisors[segment - 1], to = extent / kDivisors[segment];
    if (u <= to) {
      const double slope = (kValues[segment] - kValues[segment - 1]) / (to - from);
      return kValues[segment - 1] + slope * (u - from);
    }
  }
  return 0.0;
}

void stabilisation_coefficients(std::span<const double> displacement, std::span<const double> blank_x,
                                std::span<const double> blank_y, std::span<double> kx, std::span<double> ky) {
  const Extent e = blank_extent(blank_x, blank_y);
  for (std::size_t i = 0; i < kx.size(); ++i) {
    kx[i] = stabilisation_coefficient(std::fabs(displacement[2 * i]), e.x);
    ky[i] = stabilisation_coefficient(std::fabs(displacement[2 * i + 1]), e.y);
  }
}

int32_t inverted_element_count(const Mesh& part, std::span<const double> blank_x, std::span<const double> blank_y) {
  int32_t count = 0;
  for (int32_t e = 0; e < part.ne; ++e) {
    const int32_t n1 = part.node(e, 0), n2 = part.node(e, 1), n3 = part.node(e, 2), n4 = part.node(e, 3);
    const double area2 = (blank_x[n3] - blank_x[n1]) * (blank_y[n4] - blank_y[n2]) -
                         (blank_x[n4] - blank_x[n2]) * (blank_y[n3] - blank_y[n1]);
    if (area2 < -1.0e-5) ++count;
  }
  return count;
}

double first_backtrack(double f0, double g, double f1) { return -g / (2.0 * (f1 - f0 - g)); }

double cubic_backtrack(double f0, double g, double lambda, double f_lambda, double lambda_prev, double f_prev) {
  const double r1 = (f_lambda - f0 - g * lambda) / (lambda * lambda);
  const double r2 = (f_prev - f0 - g * lambda_prev) / (lambda_prev * lambda_prev);
  const double a = 3.0 * (r1 - r2) / (lambda - lambda_prev);
  const double b = (-lambda_prev * r1 + lambda * r2) / (lambda - lambda_prev);
  const double next = (std::sqrt(b * b - g * a) - b) / a;
  return std::isfinite(next) ? next : std::numeric_limits<double>::quiet_NaN();
}

int stop_test(const StopState& s, const StopLimits& limits) {
  const double maxp = std::fabs(s.maxp_value);
  if (s.adp > 10.0 * s.first_adp && s.adp > 10000.0) return 1;  // divergence
  if (s.inversion_count >= 50) return 2;
  if (s.adp < 0.01 && s.inversion_count >= 6) return 3;
  if (s.adp < limits.displacement_tolerance) return 4;  // converged
  if (maxp < limits.force_tolerance) return 5;          // converged
  if (maxp < 5.0 * limits.force_tolerance && s.iteration >= 400) return 6;
  return 0;
}

}  // namespace trevo
