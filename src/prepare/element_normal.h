// The element normal and the unit nodal normals of a mesh.
// Element normal: unit vector of the cross product of the diagonals, d13 x d24, with 1e-80
// under the root so that a degenerate element has the zero vector; its z component is what
// every direction check compares with the punch direction +z. Nodal normal: unweighted sum
// of the unit normals of the elements using the node, divided by its length + 1e-50; the
// positioning and the restraint set-up use the same.
#pragma once
#include <array>
#include <cmath>
#include <span>

#include "core/mesh.h"

namespace trevo {

using Vec3 = std::array<double, 3>;

inline Vec3 element_normal(const Mesh& m, int32_t e) {
  const int32_t n1 = m.node(e, 0), n2 = m.node(e, 1), n3 = m.node(e, 2), n4 = m.node(e, 3);
  const double d13x = m.x[n3] - m.x[n1], d13y = m.y[n3] - m.y[n1], d13z = m.z[n3] - m.z[n1];
  const double d24x = m.x[n4] - m.x[n2], d24y = m.y[n4] - m.y[n2], d24z = m.z[n4] - m.z[n2];
  const double cx = d13y * d24z - d13z * d24y;
  const double cy = d13z * d24x - d13x * d24z;
  const double cz = d13x * d24y - d13y * d24x;
  const double length = std::sqrt(cx * cx + cy * cy + cz * cz + 1e-80);
  return {cx / length, cy / length, cz / length};
}

// nx, ny, nz: mesh.nn each. Element corner counts come from mesh.corners when
// present, else from the connectivity (a tool mesh carries no corner array).
inline void nodal_normals(const Mesh& m, std::span<double> nx, std::span<double> ny, std::span<double> nz) {
  for (int32_t i = 0; i < m.nn; ++i) nx[i] = ny[i] = nz[i] = 0.0;
  for (int32_t e = 0; e < m.ne; ++e) {
    const Vec3 n = element_normal(m, e);
    const int corners = element_corners(m, e);
    for (int k = 0; k < corners; ++k) {
      const int32_t i = m.node(e, k);
      nx[i] += n[0];
      ny[i] += n[1];
      nz[i] += n[2];
    }
  }
  for (int32_t i = 0; i < m.nn; ++i) {
    const double length = std::sqrt(nx[i] * nx[i] + ny[i] * ny[i] + nz[i] * nz[i]) + 1e-50;
    nx[i] /= length;
    ny[i] /= length;
    nz[i] /= length;
  }
}

}  // namespace trevo
