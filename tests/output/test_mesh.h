// Owned meshes for the output tests: grids, single elements and a brute-force
// neighbour table (independent of Part 3.1's implementation). Indices 0-based.
#pragma once
#include <array>
#include <cstdint>
#include <vector>

#include "frame/mesh.h"

namespace trevo::output_test {

struct OwnedMesh {
  std::vector<double> x, y, z;
  std::vector<int32_t> conn, corners;  // conn column-major 4 x ne
  int32_t ne = 0;
  Mesh view() {
    return Mesh{static_cast<int32_t>(x.size()), ne, x, y, z, conn, corners};
  }
};

// Elements given row-wise as 4 corners each (a triangle repeats its third).
inline OwnedMesh make_mesh(std::vector<std::array<double, 3>> nodes, std::vector<std::array<int32_t, 4>> elements) {
  OwnedMesh m;
  for (auto& p : nodes) {
    m.x.push_back(p[0]);
    m.y.push_back(p[1]);
    m.z.push_back(p[2]);
  }
  m.ne = static_cast<int32_t>(elements.size());
  m.conn.resize(4 * elements.size());
  for (size_t e = 0; e < elements.size(); ++e) {
    for (size_t k = 0; k < 4; ++k) m.conn[k * elements.size() + e] = elements[e][k];
    m.corners.push_back(elements[e][3] == elements[e][2] ? 3 : 4);
  }
  return m;
}

// nx x ny unit quadrilaterals of size sx x sy at z = 0, counter-clockwise;
// node (i, j) = j * (nx + 1) + i; element (i, j) = j * nx + i. Elements listed in
// `skip` (by index) are left out (holes).
inline OwnedMesh make_grid(int nx, int ny, double sx, double sy, std::vector<int> skip = {}) {
  std::vector<std::array<double, 3>> nodes;
  for (int j = 0; j <= ny; ++j)
    for (int i = 0; i <= nx; ++i) nodes.push_back({i * sx, j * sy, 0.0});
  std::vector<std::array<int32_t, 4>> elements;
  for (int j = 0; j < ny; ++j)
    for (int i = 0; i < nx; ++i) {
      bool skipped = false;
      for (int s : skip) skipped = skipped || s == j * nx + i;
      if (skipped) continue;
      const int32_t n = j * (nx + 1) + i;
      elements.push_back({n, n + 1, n + 1 + nx + 1, n + nx + 1});
    }
  return make_mesh(nodes, elements);
}

// Neighbour table ne x 4 column-major by comparing every pair of element edges.
inline std::vector<int32_t> brute_force_neighbours(Mesh m) {
  std::vector<int32_t> nb(4 * static_cast<size_t>(m.ne), kNone);
  auto edge = [&](int32_t e, int k, int32_t& a, int32_t& b) {
    const int c = m.corners[static_cast<size_t>(e)];
    if (k >= c) return false;
    a = m.node(e, k);
    b = m.node(e, (k + 1) % c);
    return true;
  };
  for (int32_t e = 0; e < m.ne; ++e)
    for (int k = 0; k < 4; ++k) {
      int32_t a, b;
      if (!edge(e, k, a, b)) continue;
      for (int32_t f = 0; f < m.ne; ++f)
        for (int l = 0; l < 4; ++l) {
          int32_t c, d;
          if (f == e || !edge(f, l, c, d)) continue;
          if ((a == c && b == d) || (a == d && b == c)) nb[static_cast<size_t>(k) * m.ne + e] = f;
        }
    }
  return nb;
}

}  // namespace trevo::output_test
