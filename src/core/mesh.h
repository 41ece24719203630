// A shell mesh as every subsystem passes it: node coordinates and a 4-column connectivity.
// Indices are 0-based inside trevo: node numbers 0..nn-1, elements 0..ne-1; files
// and messages show them +1. "None" (no neighbour, no node) is kNone = -1.
// Connectivity is column by column with leading dimension ne: corner k (0..3) of
// element e is conn[k * ne + e]; a triangle repeats corner 2 as corner 3.
#pragma once
#include <cstdint>
#include <span>

namespace trevo {

inline constexpr int32_t kNone = -1;

struct Mesh {
  int32_t nn = 0;  // node count
  int32_t ne = 0;  // element count (= leading dimension of conn)
  std::span<double> x, y, z;     // nn each
  std::span<int32_t> conn;       // 4 * ne, column-major
  std::span<int32_t> corners;    // ne: 3 or 4 (may be empty for tool meshes: use corner_count)

  int32_t node(int32_t e, int k) const { return conn[static_cast<size_t>(k) * ne + e]; }
  int32_t& node(int32_t e, int k) { return conn[static_cast<size_t>(k) * ne + e]; }
};

// The same elements over other node coordinates (the blank, a copy of the part).
inline Mesh with_coordinates(const Mesh& m, std::span<double> x, std::span<double> y, std::span<double> z) {
  Mesh other = m;
  other.x = x;
  other.y = y;
  other.z = z;
  return other;
}

// Corner count of an element from its connectivity: a triangle has node 4 equal to node 3.
inline int corner_count(const Mesh& m, int32_t e) { return m.node(e, 3) == m.node(e, 2) ? 3 : 4; }

// Corner count of an element as the mesh keeps it, else from its connectivity (a fourth
// corner that names no node makes a triangle too).
inline int element_corners(const Mesh& m, int32_t e) {
  if (!m.corners.empty()) return m.corners[static_cast<size_t>(e)];
  return m.node(e, 3) == m.node(e, 2) || m.node(e, 3) == kNone ? 3 : 4;
}

}  // namespace trevo
