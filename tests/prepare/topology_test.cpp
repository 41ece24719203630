// Tests of Part 3.1: shape splits, tool orientation, edge and neighbour tables.
#include "prepare/topology.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "prep_test_mesh.h"
#include "prepare/element_normal.h"

namespace trevo {
namespace {

using test::OwnedMesh;

std::array<int32_t, 4> row(const Mesh& m, int32_t e) { return {m.node(e, 0), m.node(e, 1), m.node(e, 2), m.node(e, 3)}; }

// Splits with one spare slot per quadrilateral, as the driver lays out after counting.
struct SplitResult {
  int32_t counted, added;
  std::vector<std::array<int32_t, 4>> rows;
  std::vector<int32_t> corners, labels;
  std::vector<double> values;
  std::vector<int32_t> materials;
};
SplitResult count_and_split(OwnedMesh& o) {
  const int32_t ne_read = o.ne();
  Mesh first = o.view();
  const int32_t counted = count_bad_quadrilaterals(first);
  for (int32_t i = 0; i < counted; ++i) o.add_element(0, 0, 0, 0);  // spare slots
  Mesh part = o.view();
  std::vector<double> values(part.ne, 0.0);
  std::vector<int32_t> materials(part.ne, 0);
  for (int32_t e = 0; e < ne_read; ++e) {
    values[e] = 1.5 + e;
    materials[e] = 7 + e;
  }
  const int32_t added = split_bad_quadrilaterals(part, ne_read, values, materials, o.labels);
  SplitResult r{counted, added, {}, o.corners, o.labels, values, materials};
  for (int32_t e = 0; e < part.ne; ++e) r.rows.push_back(row(part, e));
  return r;
}

// A quadrilateral with a 170-degree corner at local corner `large` (0..3): nodes of the
// kite (0,0), (5,-0.44), (10,0), (5,4) listed starting so that (5,-0.44) is corner `large`.
OwnedMesh kite(int large) {
  OwnedMesh o;
  const double p[4][2] = {{0, 0}, {5, -0.44}, {10, 0}, {5, 4}};
  int32_t id[4];
  for (int k = 0; k < 4; ++k) id[k] = o.add_node(p[k][0], p[k][1], 0.0);
  int32_t n[4];
  for (int k = 0; k < 4; ++k) n[k] = id[(k + 1 - large + 4) % 4];
  o.add_element(n[0], n[1], n[2], n[3]);
  return o;
}

// Part 3.1 edge case: a rectangle, or any convex quadrilateral with corners <= 160 degrees, stays.
TEST(SplitBadQuadrilaterals, RectangleAndConvexQuadrilateralStay) {
  OwnedMesh o;
  o.add_node(0, 0, 0), o.add_node(3, 0, 0), o.add_node(3, 2, 0), o.add_node(0, 2, 0);
  o.add_node(5, 0, 1), o.add_node(9, 1, 1), o.add_node(8, 4, 2), o.add_node(4, 3, 1);
  o.add_element(0, 1, 2, 3);
  o.add_element(4, 5, 6, 7);
  const SplitResult r = count_and_split(o);
  EXPECT_EQ(r.counted, 0);
  EXPECT_EQ(r.added, 0);
  EXPECT_EQ(r.rows[0], (std::array<int32_t, 4>{0, 1, 2, 3}));
  EXPECT_EQ(r.rows[1], (std::array<int32_t, 4>{4, 5, 6, 7}));
}

// Part 3.1 edge case: a 170-degree corner at corner 1 or 3 splits along N1-N3, at 2 or 4 along N2-N4.
TEST(SplitBadQuadrilaterals, LargeCornerSplitsThroughIt) {
  for (int large = 0; large < 4; ++large) {
    OwnedMesh o = kite(large);
    const std::array<int32_t, 4> n = row(o.view(), 0);
    const QuadPlane q = quad_plane(o.view(), 0);
    EXPECT_NEAR(corner_angles(q)[large] * 180.0 / M_PI, 170.0, 0.1) << "corner " << large;
    const SplitResult r = count_and_split(o);
    ASSERT_EQ(r.counted, 1) << "corner " << large;
    ASSERT_EQ(r.added, 1) << "corner " << large;
    if (large % 2 == 0) {
      EXPECT_EQ(r.rows[0], (std::array<int32_t, 4>{n[0], n[1], n[2], n[2]})) << "corner " << large;
      EXPECT_EQ(r.rows[1], (std::array<int32_t, 4>{n[0], n[2], n[3], n[3]})) << "corner " << large;
    } else {
      EXPECT_EQ(r.rows[0], (std::array<int32_t, 4>{n[1], n[2], n[3], n[3]})) << "corner " << large;
      EXPECT_EQ(r.rows[1], (std::array<int32_t, 4>{n[0], n[1], n[3], n[3]})) << "corner " << large;
    }
    EXPECT_EQ(r.corners[0], 3);
    EXPECT_EQ(r.corners[1], 3);
    EXPECT_EQ(r.labels[1], 0);  // a split triangle carries label 0
    EXPECT_EQ(r.values[1], r.values[0]);
    EXPECT_EQ(r.materials[1], r.materials[0]);
  }
}

double signed_area(const OwnedMesh& o, const std::array<int32_t, 4>& t) {
  return 0.5 * ((o.x[t[1]] - o.x[t[0]]) * (o.y[t[2]] - o.y[t[0]]) - (o.y[t[1]] - o.y[t[0]]) * (o.x[t[2]] - o.x[t[0]]));
}

// Part 3.1 edge case: an arrow-shaped quadrilateral with its reflex corner at node 3 splits
// along N1-N3 into two triangles that cover it without overlap.
TEST(SplitBadQuadrilaterals, ConcaveArrowSplitsAlongInnerDiagonal) {
  OwnedMesh o;
  o.add_node(0, 3, 0), o.add_node(-2, 0, 0), o.add_node(0, 1, 0), o.add_node(2, 0, 0);  // tip, left, notch, right
  o.add_element(0, 1, 2, 3);
  const SplitResult r = count_and_split(o);
  ASSERT_EQ(r.counted, 1);
  ASSERT_EQ(r.added, 1);
  EXPECT_EQ(r.rows[0], (std::array<int32_t, 4>{0, 1, 2, 2}));
  EXPECT_EQ(r.rows[1], (std::array<int32_t, 4>{0, 2, 3, 3}));
  // Both triangles counter-clockwise and their areas add up to the arrow's area 4.
  EXPECT_GT(signed_area(o, r.rows[0]), 0.0);
  EXPECT_GT(signed_area(o, r.rows[1]), 0.0);
  EXPECT_NEAR(signed_area(o, r.rows[0]) + signed_area(o, r.rows[1]), 4.0, 1e-12);
}

// Part 3.1 edge case: a mesh of triangles only is neither counted nor split.
TEST(SplitBadQuadrilaterals, TrianglesOnlyNothingCounted) {
  OwnedMesh o;
  o.add_node(0, 0, 0), o.add_node(1, 0, 0), o.add_node(0.5, 0.01, 0), o.add_node(0, 1, 0);
  o.add_element(0, 1, 2, 2);  // very flat: would be bad as a quadrilateral
  o.add_element(0, 2, 3, 3);
  const SplitResult r = count_and_split(o);
  EXPECT_EQ(r.counted, 0);
  EXPECT_EQ(r.added, 0);
}

// Part 3.1: the counting and splitting passes agree (same thresholds), on random quadrilaterals.
TEST(SplitBadQuadrilaterals, CountEqualsSplits) {
  std::mt19937 rng(5);
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  OwnedMesh o;
  for (int e = 0; e < 400; ++e) {
    const int32_t b = static_cast<int32_t>(o.x.size());
    o.add_node(0, 0, 0.1 * u(rng));
    o.add_node(2 + u(rng), u(rng), 0.1 * u(rng));
    o.add_node(2 + u(rng), 2 + u(rng), 0.1 * u(rng));
    o.add_node(u(rng), 2 + u(rng), 0.1 * u(rng));
    o.add_element(b, b + 1, b + 2, b + 3);
  }
  const SplitResult r = count_and_split(o);
  EXPECT_GT(r.counted, 0);
  EXPECT_EQ(r.added, r.counted);
}

// Part 3.1 edge case: two elements sharing an edge, listed (a, b) and (b, a) or both (a, b),
// become each other's neighbours across the right local edges.
TEST(EdgeNeighbours, SharedEdgeInEitherOrder) {
  for (bool same_direction : {false, true}) {
    OwnedMesh o;
    test::add_grid(o, 1, 1, 0, 0);  // nodes 0 1 / 2 3 (rows), element (0, 1, 3, 2)
    const int32_t a = 1, b = 3;     // its edge 2 (local 1) runs a -> b
    const int32_t p = o.add_node(2, 0, 0), q = o.add_node(2, 1, 0);
    if (same_direction) {
      o.add_element(a, b, q, p);  // clockwise: local edge 0 runs a -> b, the same way
    } else {
      o.add_element(a, p, q, b);  // counter-clockwise: local edge 3 runs b -> a
    }
    Mesh m = o.view();
    const std::vector<int32_t> nb = test::neighbour_table(m);
    const int k_second = same_direction ? 0 : 3;
    EXPECT_EQ(nb[1 * m.ne + 0], 1) << "same direction " << same_direction;
    EXPECT_EQ(nb[k_second * m.ne + 1], 0) << "same direction " << same_direction;
    for (int k = 0; k < 4; ++k) {
      if (k != 1) {
        EXPECT_EQ(nb[k * m.ne + 0], kNone) << k;
      }
      if (k != k_second) {
        EXPECT_EQ(nb[k * m.ne + 1], kNone) << k;
      }
    }
  }
}

// The spec's literal pairing (Part 3.1): for each slot, scan the later slots for the first
// uncleared copy, clear it and pair; the last element's slots never scan.
std::vector<int32_t> literal_neighbours(std::vector<int32_t>& edges, int32_t ne) {
  std::vector<int32_t> nb(4 * static_cast<size_t>(ne), kNone);
  const int32_t slots = 4 * ne;
  for (int32_t s = 0; s < slots - 4; ++s) {
    if (edges[2 * s] == kNone) continue;
    for (int32_t t = s + 1; t < slots; ++t) {
      const bool same = edges[2 * t] == edges[2 * s] && edges[2 * t + 1] == edges[2 * s + 1];
      const bool opposite = edges[2 * t] == edges[2 * s + 1] && edges[2 * t + 1] == edges[2 * s];
      if (!same && !opposite) continue;
      edges[2 * t] = edges[2 * t + 1] = kNone;
      nb[(s % 4) * ne + s / 4] = t / 4;
      nb[(t % 4) * ne + t / 4] = s / 4;
      break;
    }
  }
  return nb;
}

// Part 3.1: an edge shared by 3 or 4 elements pairs 1st with 2nd and 3rd with 4th.
TEST(EdgeNeighbours, EdgeOfThreeAndFourElements) {
  for (int sharing : {3, 4}) {
    OwnedMesh o;
    const int32_t a = o.add_node(0, 0, 0), b = o.add_node(1, 0, 0);
    for (int i = 0; i < sharing; ++i) {
      const int32_t c = o.add_node(0.5, std::cos(i), std::sin(i));
      if (i % 2 == 0) o.add_element(a, b, c, c);
      else o.add_element(b, a, c, c);
    }
    Mesh m = o.view();
    const std::vector<int32_t> nb = test::neighbour_table(m);
    EXPECT_EQ(nb[0 * m.ne + 0], 1);
    EXPECT_EQ(nb[0 * m.ne + 1], 0);
    EXPECT_EQ(nb[0 * m.ne + 2], sharing == 4 ? 3 : kNone);
    if (sharing == 4) {
      EXPECT_EQ(nb[0 * m.ne + 3], 2);
    }
  }
}

// Part 3.1: the hashed pairing equals the literal scan, also with edges of many copies and
// elements that repeat an edge, and leaves the same cleared slots.
TEST(EdgeNeighbours, EqualsLiteralScan) {
  std::mt19937 rng(11);
  for (int trial = 0; trial < 200; ++trial) {
    OwnedMesh o;
    const int32_t nn = 2 + static_cast<int32_t>(rng() % 6);
    for (int32_t i = 0; i < nn; ++i) o.add_node(i, i * i, 0);
    const int ne = 1 + static_cast<int>(rng() % 12);
    for (int e = 0; e < ne; ++e) {
      int32_t n[4];
      for (auto& v : n) v = static_cast<int32_t>(rng() % nn);
      if (rng() % 3 == 0) n[3] = n[2];
      o.add_element(n[0], n[1], n[2], n[3]);
    }
    Mesh m = o.view();
    std::vector<int32_t> edges(8 * static_cast<size_t>(m.ne)), nb(4 * static_cast<size_t>(m.ne));
    edge_table(m, edges);
    std::vector<int32_t> literal_edges = edges;
    const std::vector<int32_t> expected = literal_neighbours(literal_edges, m.ne);
    edge_neighbours(edges, m.ne, m.nn, nb);
    ASSERT_EQ(nb, expected) << "trial " << trial;
    ASSERT_EQ(edges, literal_edges) << "trial " << trial;  // the same slots cleared
  }
}

// Part 3.1 edge case: a tool element given clockwise comes out with nodes 1 and 3 exchanged;
// a triangle (1, 2, 3, 3) comes out as (3, 2, 1, 1).
TEST(OrientToolUpwards, ClockwiseElementsAreReversed) {
  OwnedMesh o;
  o.add_node(0, 0, 0), o.add_node(1, 0, 0), o.add_node(1, 1, 0), o.add_node(0, 1, 0);
  o.add_element(0, 3, 2, 1);  // clockwise quadrilateral
  o.add_element(0, 2, 1, 1);  // clockwise triangle
  o.add_element(0, 1, 2, 3);  // counter-clockwise: stays
  Mesh m = o.view();
  m.corners = {};  // tool meshes carry no corner array
  orient_tool_upwards(m);
  EXPECT_EQ(row(m, 0), (std::array<int32_t, 4>{2, 3, 0, 1}));
  EXPECT_EQ(row(m, 1), (std::array<int32_t, 4>{1, 2, 0, 0}));
  EXPECT_EQ(row(m, 2), (std::array<int32_t, 4>{0, 1, 2, 3}));
  for (int32_t e = 0; e < m.ne; ++e) EXPECT_GT(element_normal(m, e)[2], 0.0) << e;
  std::vector<int32_t> corners(m.ne);
  tool_corner_counts(m, corners);
  EXPECT_EQ(corners, (std::vector<int32_t>{4, 3, 4}));
}

// Part 3.1: reversing part elements keeps the neighbour table equal to a rebuilt one.
TEST(ReverseElement, KeepsNeighbourTableRight) {
  OwnedMesh o;
  test::add_grid(o, 3, 2, 0, 0);
  const int32_t c = o.add_node(1.5, -1, 0);
  o.add_element(1, 0, c, c);  // a triangle below the first row
  Mesh m = o.view();
  std::vector<int32_t> nb = test::neighbour_table(m);
  for (int32_t e : {0, 4, 6}) reverse_element(m, e, nb);
  EXPECT_EQ(nb, test::neighbour_table(m));
}

}  // namespace
}  // namespace trevo
