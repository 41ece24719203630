// The Newton right-hand side with the residual's down-slope part restored (see slope_scaling.h).
#include "solver/slope_scaling.h"

#include <algorithm>
#include <cmath>

namespace trevo {

void slope_scaled_residual(std::span<const double> normals, const NodeConstraints& held, std::span<const double> r,
                           std::span<double> rhs) {
  const std::size_t nn = r.size() / 2;
  for (std::size_t i = 0; i < nn; ++i) {
    const double nx = normals[i], ny = normals[nn + i], nz = normals[2 * nn + i];
    const double plan = std::sqrt(nx * nx + ny * ny);
    double rx = r[2 * i], ry = r[2 * i + 1];
    if (plan > 0.0) {
      const double vx = nx / plan, vy = ny / plan;
      const double size = std::max(std::abs(nz), kSlopeFloor);
      const double divisor = nz < 0.0 ? -size : size;  // a vertical wall (nz = 0 or -0) counts as not undercut
      const double along_normal = (rx * vx + ry * vy) * (1.0 / divisor - 1.0);
      rx += along_normal * vx;
      ry += along_normal * vy;
    }
    rhs[2 * i] = rx;
    rhs[2 * i + 1] = ry;
  }
  constrain_residual(held, rhs);  // the scaling turns a node's pair, so a held dof is cleared again
}

}  // namespace trevo
