// The Keeler–Brazier forming-limit curve (Keeler & Brazier 1977) and principal strains.
#include "output/forming_limit.h"

#include <algorithm>
#include <cmath>

namespace trevo {

namespace {
constexpr double kLevelAtN = 0.21;         // n at and above which the curve no longer rises
constexpr double kStretchingSlope = 0.6;  // engineering major per engineering minor, minor > 0
constexpr double kCurveStart = -0.4, kCurveStep = 0.05;
constexpr int kCurvePoints = 17;
}  // namespace

FormingLimit forming_limit(double n, double thickness_mm) {
  const double percent = (23.3 + 14.13 * thickness_mm) * std::min(n, kLevelAtN) / kLevelAtN;
  return {n, thickness_mm, std::log1p(percent / 100.0)};
}

double limit_major_strain(const FormingLimit& limit, double minor) {
  if (minor <= 0.0) return limit.flc0 - minor;
  const double e0 = std::expm1(limit.flc0), e2 = std::expm1(minor);
  return std::log1p(e0 + kStretchingSlope * e2);
}

std::vector<std::array<double, 2>> limit_curve(const FormingLimit& limit) {
  std::vector<std::array<double, 2>> rows;
  for (int k = 0; k < kCurvePoints; ++k) {
    const double minor = kCurveStart + k * kCurveStep;
    rows.push_back({minor, limit_major_strain(limit, minor)});
  }
  return rows;
}

std::array<double, 2> principal_strains(double exx, double eyy, double exy) {
  const double mean = 0.5 * (exx + eyy), radius = std::hypot(0.5 * (exx - eyy), exy);
  return {mean + radius, mean - radius};
}

}  // namespace trevo
