// Mesh topology: quadrilateral shape rules and splitting, element reversal, upward tools,
// edge and neighbour tables.
#include "prepare/topology.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "prepare/element_normal.h"

namespace trevo {

namespace {

constexpr double kLargeCorner = 2.7925268;   // 160 degrees
constexpr double kConcaveArea = 0.001;       // area difference of the concavity test

struct Vec {
  double x, y, z;
};
Vec position(const Mesh& m, int32_t node) { return {m.x[node], m.y[node], m.z[node]}; }
Vec minus(Vec a, Vec b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
double dot(Vec a, Vec b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
Vec cross(Vec a, Vec b) { return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x}; }

// The four triangle areas of the concavity test: for a convex quadrilateral both diagonals
// split it into the same total area.
struct QuadAreas {
  double a124, a123, a234, a134;
  bool concave() const { return std::abs(a124 - a123 + a234 - a134) >= kConcaveArea; }
};
QuadAreas quad_areas(const QuadPlane& q) {
  return {std::abs(0.5 * q.x2 * q.y4), std::abs(0.5 * q.x2 * q.y3),
          std::abs(0.5 * (q.x2 * q.y3 + q.x3 * q.y4 - q.x2 * q.y4 - q.x4 * q.y3)),
          std::abs(0.5 * (q.x3 * q.y4 - q.x4 * q.y3))};
}

// One sum of opposite corners more than twice the other (both passes test it first).
bool lopsided(const std::array<double, 4>& a) {
  const double s13 = a[0] + a[2], s24 = a[1] + a[3];
  return s13 > 2.0 * s24 || s24 > 2.0 * s13;
}

enum class Split { kNone, kDiagonal13, kDiagonal24 };

// The splitting pass's decision: a corner above 160 degrees with lopsided corner sums splits
// along the diagonal through that corner pair; otherwise a concave element splits along the
// diagonal inside it. It is "bad" exactly when the counting pass counts the element: same
// thresholds, other corner order.
Split split_of(const Mesh& m, int32_t e) {
  const QuadPlane q = quad_plane(m, e);
  const std::array<double, 4> a = corner_angles(q);
  if ((a[0] > kLargeCorner || a[2] > kLargeCorner) && lopsided(a)) return Split::kDiagonal13;
  if ((a[1] > kLargeCorner || a[3] > kLargeCorner) && lopsided(a)) return Split::kDiagonal24;
  const QuadAreas areas = quad_areas(q);
  if (!areas.concave()) return Split::kNone;
  // The diagonal whose two triangles have the smaller total area lies inside the element.
  return areas.a124 + areas.a234 > areas.a123 + areas.a134 ? Split::kDiagonal13 : Split::kDiagonal24;
}

bool counted_bad(const Mesh& m, int32_t e) {
  const QuadPlane q = quad_plane(m, e);
  const std::array<double, 4> a = corner_angles(q);
  const bool large = std::any_of(a.begin(), a.end(), [](double angle) { return angle > kLargeCorner; });
  if (large && lopsided(a)) return true;
  return quad_areas(q).concave();
}

void set_triangle(Mesh& m, int32_t e, int32_t n1, int32_t n2, int32_t n3) {
  m.node(e, 0) = n1;
  m.node(e, 1) = n2;
  m.node(e, 2) = n3;
  m.node(e, 3) = n3;
  m.corners[e] = 3;
}

}  // namespace

QuadPlane quad_plane(const Mesh& m, int32_t e) {
  const Vec p1 = position(m, m.node(e, 0));
  const Vec d12 = minus(position(m, m.node(e, 1)), p1);
  const Vec d13 = minus(position(m, m.node(e, 2)), p1);
  const Vec d14 = minus(position(m, m.node(e, 3)), p1);
  const Vec d24 = minus(position(m, m.node(e, 3)), position(m, m.node(e, 1)));
  const double x2 = std::sqrt(dot(d12, d12));
  // 1e-50 keeps a zero-length first edge from dividing by zero, as in the membrane element.
  const Vec ex{d12.x / (x2 + 1e-50), d12.y / (x2 + 1e-50), d12.z / (x2 + 1e-50)};
  const Vec c = cross(d13, d24);
  const double c_length = std::sqrt(dot(c, c) + 1e-80);
  const Vec ez{c.x / c_length, c.y / c_length, c.z / c_length};
  const Vec ey = cross(ez, ex);
  const double x3 = dot(d13, ex);
  // Rounding may make |d13|^2 - x3^2 slightly negative; the root is then 0.
  const double y3 = std::sqrt(std::max(0.0, dot(d13, d13) - x3 * x3));
  return {x2, x3, y3, dot(d14, ex), dot(d14, ey)};
}

std::array<double, 4> corner_angles(const QuadPlane& q) {
  const double px[4] = {0.0, q.x2, q.x3, q.x4};
  const double py[4] = {0.0, 0.0, q.y3, q.y4};
  std::array<double, 4> angle{};
  for (int i = 0; i < 4; ++i) {
    const int previous = (i + 3) % 4, next = (i + 1) % 4;
    const double ax = px[previous] - px[i], ay = py[previous] - py[i];
    const double bx = px[next] - px[i], by = py[next] - py[i];
    const double cosine = (ax * bx + ay * by) / (std::sqrt(ax * ax + ay * ay) + 1e-50) /
                          (std::sqrt(bx * bx + by * by) + 1e-50);
    // Rounding may push the cosine a hair past +-1; acos would then give NaN.
    angle[i] = std::acos(std::clamp(cosine, -1.0, 1.0));
  }
  return angle;
}

int32_t count_bad_quadrilaterals(const Mesh& part) {
  int32_t count = 0;
  for (int32_t e = 0; e < part.ne; ++e) {
    if (element_corners(part, e) == 4 && counted_bad(part, e)) ++count;
  }
  return count;
}

int32_t split_bad_quadrilaterals(Mesh& part, int32_t ne_read, std::span<double> element_value,
                                 std::span<int32_t> material, std::span<int32_t> labels) {
  int32_t added = 0;
  for (int32_t e = 0; e < ne_read && ne_read + added < part.ne; ++e) {
    if (part.corners[e] != 4) continue;
    const Split split = split_of(part, e);
    if (split == Split::kNone) continue;
    const int32_t n1 = part.node(e, 0), n2 = part.node(e, 1), n3 = part.node(e, 2), n4 = part.node(e, 3);
    const int32_t fresh = ne_read + added;
    if (split == Split::kDiagonal13) {
      set_triangle(part, e, n1, n2, n3);
      set_triangle(part, fresh, n1, n3, n4);
    } else {
      set_triangle(part, e, n2, n3, n4);
      set_triangle(part, fresh, n1, n2, n4);
    }
    element_value[fresh] = element_value[e];
    material[fresh] = material[e];
    labels[fresh] = 0;
    ++added;
  }
  return added;
}

void tool_corner_counts(const Mesh& tool, std::span<int32_t> corners) {
  for (int32_t e = 0; e < tool.ne; ++e) {
    corners[e] = tool.node(e, 3) == tool.node(e, 2) || tool.node(e, 3) == kNone ? 3 : 4;
  }
}

void reverse_element(Mesh& m, int32_t e, std::span<int32_t> neighbours) {
  const bool quadrilateral = element_corners(m, e) == 4;
  const int32_t old_n1 = m.node(e, 0), old_n3 = m.node(e, 2);
  const bool triangle_connectivity = m.node(e, 3) == old_n3 || m.node(e, 3) == kNone;
  m.node(e, 0) = old_n3;
  m.node(e, 2) = old_n1;
  if (triangle_connectivity) m.node(e, 3) = old_n1;
  if (neighbours.empty()) return;
  // Swapping nodes 1 and 3 turns edge 1 into the old edge 2 and, for a quadrilateral, edge 3
  // into the old edge 4.
  const size_t ne = static_cast<size_t>(m.ne);
  std::swap(neighbours[e], neighbours[ne + e]);
  if (quadrilateral) std::swap(neighbours[2 * ne + e], neighbours[3 * ne + e]);
}

void orient_tool_upwards(Mesh& tool) {
  for (int32_t e = 0; e < tool.ne; ++e) {
    if (element_normal(tool, e)[2] < 0.0) reverse_element(tool, e, {});
  }
}

void edge_table(const Mesh& m, std::span<int32_t> edges) {
  for (int32_t e = 0; e < m.ne; ++e) {
    const int corners = element_corners(m, e);
    for (int k = 0; k < 4; ++k) {
      const size_t s = 4 * static_cast<size_t>(e) + k;
      if (k < corners) {
        edges[2 * s] = m.node(e, k);
        edges[2 * s + 1] = m.node(e, (k + 1) % corners);
      } else {
        edges[2 * s] = edges[2 * s + 1] = kNone;
      }
    }
  }
}

// Scanning, for every slot s, all later slots for the first uncleared copy of its edge is
// quadratic. Grouping the slots by edge (bucketed by lower node, then by higher node,
// keeping slot order) gives the same pairs: a scanning slot that is still uncleared finds
// the very next copy of its edge, so copies pair off 1st-2nd, 3rd-4th, ...; a copy that
// cannot scan (a slot of the last element) stays unpaired and the next copy scans instead.
void edge_neighbours(std::span<int32_t> edges, int32_t ne, int32_t nn, std::span<int32_t> neighbours) {
  std::fill(neighbours.begin(), neighbours.begin() + 4 * static_cast<size_t>(ne), kNone);
  const int32_t slots = 4 * ne;
  const int32_t last_scanner = slots - 4;  // slots from here on (the last element) never scan
  auto lower = [&](int32_t s) { return std::min(edges[2 * s], edges[2 * s + 1]); };
  auto higher = [&](int32_t s) { return std::max(edges[2 * s], edges[2 * s + 1]); };
  auto empty = [&](int32_t s) { return edges[2 * s] == kNone || edges[2 * s + 1] == kNone; };

  // Counting sort of the slots by lower node; stable, so each bucket is in slot order.
  std::vector<int32_t> start(static_cast<size_t>(nn) + 1, 0);
  for (int32_t s = 0; s < slots; ++s) {
    if (!empty(s)) ++start[lower(s) + 1];
  }
  for (int32_t i = 0; i < nn; ++i) start[i + 1] += start[i];
  std::vector<int32_t> order(start[nn]);
  {
    std::vector<int32_t> cursor(start.begin(), start.end() - 1);
    for (int32_t s = 0; s < slots; ++s) {
      if (!empty(s)) order[cursor[lower(s)]++] = s;
    }
  }

  auto pair = [&](int32_t s1, int32_t s2) {
    const int32_t e1 = s1 / 4, k1 = s1 % 4, e2 = s2 / 4, k2 = s2 % 4;
    neighbours[static_cast<size_t>(k1) * ne + e1] = e2;
    neighbours[static_cast<size_t>(k2) * ne + e2] = e1;
    edges[2 * s2] = edges[2 * s2 + 1] = kNone;  // the found slot is cleared
  };
  for (int32_t node = 0; node < nn; ++node) {
    const auto first = order.begin() + start[node], last = order.begin() + start[node + 1];
    // Group by higher node, keeping slot order within a group (buckets are short).
    for (auto it = first; it != last; ++it) {  // stable insertion sort
      const int32_t slot = *it;
      auto hole = it;
      for (; hole != first && higher(*(hole - 1)) > higher(slot); --hole) *hole = *(hole - 1);
      *hole = slot;
    }
    for (auto g = first; g != last;) {
      auto group_end = g;
      while (group_end != last && higher(*group_end) == higher(*g)) ++group_end;
      for (auto it = g; it != group_end;) {
        if (*it < last_scanner && it + 1 != group_end) {
          pair(*it, *(it + 1));
          it += 2;
        } else {
          ++it;
        }
      }
      g = group_end;
    }
  }
}

}  // namespace trevo
