// The flanging way of finding the tipping angles: level the binder; only if the part would then
// undercut the punch, tip on by the least amount that clears it.
#include "prepare/flanging_tipping.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "core/frame_transform.h"
#include "fortran/edit.h"

namespace trevo {

namespace {

constexpr double kPi = 3.1415926535898;                  // as every angle in the input converts
constexpr double kStep = 0.0174532925199433;             // 1 degree, the fine step of the tipping search
constexpr int kMostRounds = 180;                         // 180 steps: half a turn at most
constexpr double kShortestNormal = 0.01;                 // an area normal under 1 % of the area: no direction

// Smallest z of the unit normals tipped by `a`, without keeping them.
double smallest_tipped_z(const std::vector<Vec3>& normals, const TippingAngles& a) {
  double smallest = 2.0;
  for (Vec3 n : normals) {
    rotate_about_x(a.alpha, n[1], n[2]);
    rotate_about_y(a.beta, n[0], n[2]);
    smallest = std::min(smallest, n[2]);
  }
  return smallest;
}

// From `a`, 1-degree steps of the angle pair, each round the one of the four (alpha up or down, beta
// up or down) that raises the smallest normal z most, until it lies above `limit` or no step raises
// it: the least tip out of the undercut, about the axis that clears it. Tipping the pair from the
// input pose, rather than turning the normals step by step, keeps the angles exactly those of the
// pose they were judged in.
TippingAngles tip_out_of_undercut(const std::vector<Vec3>& normals, TippingAngles a, double limit) {
  double m = smallest_tipped_z(normals, a);
  for (int round = 0; round < kMostRounds && m <= limit; ++round) {
    const TippingAngles steps[] = {{a.alpha + kStep, a.beta}, {a.alpha - kStep, a.beta},
                                   {a.alpha, a.beta - kStep}, {a.alpha, a.beta + kStep}};
    const TippingAngles* best = nullptr;
    for (const TippingAngles& step : steps) {
      if (const double t = smallest_tipped_z(normals, step); t > m) best = &step, m = t;
    }
    if (best == nullptr) break;
    a = *best;
  }
  return a;
}

// (d13 x d24) / 2: the element's area times its unit normal when the element is flat.
Vec3 half_diagonal_cross(const Mesh& m, int32_t e) {
  const int32_t n1 = m.node(e, 0), n2 = m.node(e, 1), n3 = m.node(e, 2), n4 = m.node(e, 3);
  const double ax = m.x[n3] - m.x[n1], ay = m.y[n3] - m.y[n1], az = m.z[n3] - m.z[n1];
  const double bx = m.x[n4] - m.x[n2], by = m.y[n4] - m.y[n2], bz = m.z[n4] - m.z[n2];
  return {0.5 * (ay * bz - az * by), 0.5 * (az * bx - ax * bz), 0.5 * (ax * by - ay * bx)};
}

}  // namespace

Vec3 area_normal(const Mesh& m) {
  Vec3 sum{0.0, 0.0, 0.0};
  for (int32_t e = 0; e < m.ne; ++e) {
    const Vec3 c = half_diagonal_cross(m, e);
    for (int k = 0; k < 3; ++k) sum[k] += c[k];
  }
  return sum;
}

TippingAngles levelling_angles(const Vec3& n) {
  return {std::atan2(n[1], n[2]), std::atan2(-n[0], std::hypot(n[1], n[2]))};
}

FlangingTipping flanging_tipping(const Mesh& part, const Mesh& binder, double undercut_tolerance,
                                 std::span<double> nx, std::span<double> ny, std::span<double> nz) {
  // The binder has been turned upwards and made consistent, so its area normal points to the side
  // the punch comes from; a binder folded back on itself (area normal far shorter than its area)
  // gives no direction, and the part's normals decide.
  double area = 0.0;
  for (int32_t e = 0; e < binder.ne; ++e) {
    const Vec3 c = half_diagonal_cross(binder, e);
    area += std::hypot(c[0], c[1], c[2]);
  }
  if (const Vec3 n = area_normal(binder); area > 0.0 && std::hypot(n[0], n[1], n[2]) > kShortestNormal * area) {
    const TippingAngles level = levelling_angles(n);
    std::vector<Vec3> normals(static_cast<size_t>(part.ne));
    for (int32_t e = 0; e < part.ne; ++e) normals[e] = element_normal(part, e);
    if (smallest_tipped_z(normals, level) > undercut_tolerance) return {level, TippingSource::binder};
    return {tip_out_of_undercut(normals, level, undercut_tolerance), TippingSource::binder_and_part};
  }
  nodal_normals(part, nx, ny, nz);
  return {tipping_search(nx, ny, nz), TippingSource::part};
}

std::string flanging_tipping_line(const FlangingTipping& t) {
  const char* from = t.source == TippingSource::binder ? "the binder's mean normal"
                     : t.source == TippingSource::part ? "the part's nodal normals"
                                                       : "the binder's mean normal and the part's undercut";
  // An angle that rounds to 0.000 is written without a sign.
  auto degrees = [](double angle) { return std::abs(angle) * 180.0 / kPi < 5e-4 ? 0.0 : angle * 180.0 / kPi; };
  return std::string("Flanging tipping from ") + from + ": about x" + fortran::edit_f(degrees(t.angles.alpha), 8, 3) +
         " deg, about y" + fortran::edit_f(degrees(t.angles.beta), 8, 3) + " deg";
}

}  // namespace trevo
