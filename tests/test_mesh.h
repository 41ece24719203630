// Test-only owning meshes: arrays owned here behind a trevo::Mesh view, the builders the tests
// share (elements row by row, grids) and a brute-force neighbour table.
// Spec: Overview (Shared types), Part 3.1 (a triangle repeats corner 3 as corner 4).
// Indices are 0-based (nodes 0..nn-1, elements 0..ne-1); conn is column-major, 4 x ne.
#pragma once
#include <array>
#include <cstdint>
#include <set>
#include <utility>
#include <vector>

#include "frame/mesh.h"

namespace trevo::test {

using Row = std::array<int32_t, 4>;  // one element's corners 1..4; a triangle repeats corner 3

struct OwnedMesh {
  std::vector<double> x, y, z;    // nn each
  std::vector<int32_t> conn;      // 4 x ne, column-major: the element count is conn.size() / 4
  std::vector<int32_t> corners;   // ne: 3 or 4 (a test may clear it: tool meshes carry none)
  std::vector<int32_t> labels;    // ne: element labels, 1..ne unless a test sets them

  int32_t nn() const { return static_cast<int32_t>(x.size()); }
  int32_t ne() const { return static_cast<int32_t>(conn.size() / 4); }
  Mesh view() { return Mesh{nn(), ne(), x, y, z, conn, corners}; }
  int32_t& node(int32_t e, int k) { return conn[static_cast<size_t>(k) * ne() + e]; }

  int32_t add_node(double px, double py, double pz) {
    x.push_back(px);
    y.push_back(py);
    z.push_back(pz);
    return nn() - 1;
  }
  // Appends elements (corner count 3 where corner 4 repeats corner 3, labels continuing 1..ne).
  // Re-lays conn for the new leading dimension: O(ne) a call, so give many rows at once.
  void add_elements(const std::vector<Row>& rows) {
    const size_t old = conn.size() / 4, total = old + rows.size();
    std::vector<int32_t> laid(4 * total);
    for (size_t k = 0; k < 4; ++k) {
      for (size_t e = 0; e < old; ++e) laid[k * total + e] = conn[k * old + e];
      for (size_t r = 0; r < rows.size(); ++r) laid[k * total + old + r] = rows[r][k];
    }
    conn = std::move(laid);
    for (const Row& r : rows) {
      corners.push_back(r[3] == r[2] ? 3 : 4);
      labels.push_back(static_cast<int32_t>(labels.size()) + 1);
    }
  }
  void add_element(int32_t n1, int32_t n2, int32_t n3, int32_t n4) { add_elements({{n1, n2, n3, n4}}); }
  // Replaces all elements (the nodes stay).
  void set_elements(const std::vector<Row>& rows) {
    conn.clear();
    corners.clear();
    labels.clear();
    add_elements(rows);
  }
};

// Element e given the other way round: corners 1 and 3 swap (a triangle keeps corner 4 = corner 3).
inline void reverse_row(OwnedMesh& o, int32_t e) {
  const bool triangle = o.node(e, 3) == o.node(e, 2);
  std::swap(o.node(e, 0), o.node(e, 2));
  if (triangle) o.node(e, 3) = o.node(e, 2);
}

// Nodes given as (x, y, z), elements row by row.
inline OwnedMesh make_mesh(const std::vector<std::array<double, 3>>& nodes, const std::vector<Row>& elements) {
  OwnedMesh m;
  for (const auto& p : nodes) m.add_node(p[0], p[1], p[2]);
  m.add_elements(elements);
  return m;
}

// nx x ny cells of size sx x sy from (x0, y0) at z = 0, counter-clockwise seen from +z, appended
// to o: node (i, j) = first + j * (nx + 1) + i, cells c = j * nx + i in that order. A cell in
// `split` becomes the triangles (a, b, c) and (a, c, d); a cell in `holes` is left out.
inline void add_grid(OwnedMesh& o, int nx, int ny, double x0, double y0, double sx = 1.0, double sy = 1.0,
                     const std::set<int32_t>& split = {}, const std::set<int32_t>& holes = {}) {
  const int32_t first = o.nn();
  for (int j = 0; j <= ny; ++j) {
    for (int i = 0; i <= nx; ++i) o.add_node(x0 + i * sx, y0 + j * sy, 0.0);
  }
  std::vector<Row> rows;
  for (int j = 0; j < ny; ++j) {
    for (int i = 0; i < nx; ++i) {
      const int32_t cell = j * nx + i, a = first + j * (nx + 1) + i, b = a + 1, c = b + nx + 1, d = a + nx + 1;
      if (holes.count(cell) != 0) continue;
      if (split.count(cell) != 0) {
        rows.push_back({a, b, c, c});
        rows.push_back({a, c, d, d});
      } else {
        rows.push_back({a, b, c, d});
      }
    }
  }
  o.add_elements(rows);
}

// The grid of add_grid on its own, from the origin.
inline OwnedMesh make_grid(int nx, int ny, double sx = 1.0, double sy = 1.0, const std::set<int32_t>& split = {},
                           const std::set<int32_t>& holes = {}) {
  OwnedMesh o;
  add_grid(o, nx, ny, 0.0, 0.0, sx, sy, split, holes);
  return o;
}

// Neighbour table ne x 4 column-major by comparing every pair of element edges (independent of
// Part 3.1's implementation); needs the corner array.
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

}  // namespace trevo::test
