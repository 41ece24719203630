// Tests of Part 3.3: binder-mesh preparation.
#include "prepare/binder_preparation.h"

#include <gtest/gtest.h>

#include <cmath>

#include "prep_test_mesh.h"
#include "prepare/element_normal.h"

namespace trevo {
namespace {

using test::OwnedMesh;
using test::reverse_row;

struct Prepared {
  std::vector<int32_t> edges, neighbours, node_table, flags;
  double c = 0.0;
};
Prepared prepare(Mesh& m) {
  Prepared p;
  p.edges.resize(8 * static_cast<size_t>(m.ne));
  p.neighbours.resize(4 * static_cast<size_t>(m.ne));
  p.node_table.assign(m.nn, 77);
  p.flags.resize(m.ne);
  p.c = prepare_binder(m, p.edges, p.neighbours, p.node_table, p.flags);
  return p;
}

// Binder meshes come with a corner array that the preparation fills (Part 3.3 step 1).
Mesh binder_view(OwnedMesh& o) {
  Mesh m = o.view();
  std::fill(o.corners.begin(), o.corners.end(), 0);
  return m;
}

void expect_upward_and_agreeing(const Mesh& m, const std::vector<int32_t>& nb) {
  for (int32_t e = 0; e < m.ne; ++e) {
    EXPECT_GT(element_normal(m, e)[2], 0.0) << "element " << e;
    for (int k = 0; k < m.corners[e]; ++k) {
      const int32_t other = nb[k * m.ne + e];
      if (other == kNone) continue;
      const int32_t a = m.node(e, k), b = m.node(e, (k + 1) % m.corners[e]);
      bool opposite = false;
      for (int j = 0; j < m.corners[other]; ++j) {
        opposite |= m.node(other, j) == b && m.node(other, (j + 1) % m.corners[other]) == a;
      }
      EXPECT_TRUE(opposite) << "elements " << e << " and " << other;
    }
  }
}

// Part 3.3 edge case: mixed orientations come out upwards and agreeing (no Reporter at all).
TEST(PrepareBinder, MixedOrientationsComeOutUpwards) {
  OwnedMesh o;
  test::add_grid(o, 5, 4, 0, 0);
  const int32_t c = o.add_node(2.5, -1, 0);
  o.add_element(0, 1, c, c);
  for (int32_t e = 0; e < o.ne(); e += 2) reverse_row(o, e);
  Mesh m = binder_view(o);
  const Prepared p = prepare(m);
  EXPECT_EQ(m.corners[m.ne - 1], 3);
  EXPECT_EQ(m.corners[0], 4);
  expect_upward_and_agreeing(m, p.neighbours);
}

// Part 3.3 edge case: two separate pieces are both oriented.
TEST(PrepareBinder, TwoSeparatePiecesBothOriented) {
  OwnedMesh o;
  test::add_grid(o, 3, 3, 0, 0);
  test::add_grid(o, 2, 4, 10, 0);
  for (int32_t e = 1; e < o.ne(); e += 3) reverse_row(o, e);
  Mesh m = binder_view(o);
  const Prepared p = prepare(m);
  expect_upward_and_agreeing(m, p.neighbours);
}

// Part 3.3 edge case: a single quadrilateral has four free edges, is flagged (the spec's
// flag 1 is its own 0-based number 0 here), and c = 0.2 * mean edge / (1 + 1e-10).
TEST(PrepareBinder, SingleQuadrilateral) {
  OwnedMesh o;
  o.add_node(0, 0, 0), o.add_node(2, 0, 0), o.add_node(2, 1, 0), o.add_node(0, 1, 0);
  o.add_element(0, 1, 2, 3);
  Mesh m = binder_view(o);
  const Prepared p = prepare(m);
  for (int k = 0; k < 4; ++k) EXPECT_EQ(p.neighbours[k], kNone) << k;
  EXPECT_EQ(p.flags[0], 0);
  EXPECT_DOUBLE_EQ(p.c, 0.2 * 1.5 / (1 + 1e-10));
  EXPECT_EQ(p.node_table, (std::vector<int32_t>{0, 0, 0, 0}));  // cleared (flanging not specified)
}

// Part 3.3 step 6: interior elements are not flagged (kNone), boundary ones carry their number.
TEST(PrepareBinder, BoundaryFlagsOwnNumberOrNone) {
  OwnedMesh o;
  test::add_grid(o, 3, 3, 0, 0);
  Mesh m = binder_view(o);
  const Prepared p = prepare(m);
  for (int32_t e = 0; e < m.ne; ++e) EXPECT_EQ(p.flags[e], e == 4 ? kNone : e) << "element " << e;
}

// Part 3.3 step 3: a piece without any upward element (vertical) is still seeded and oriented.
TEST(PrepareBinder, VerticalPieceIsSeeded) {
  OwnedMesh o;
  for (int i = 0; i < 4; ++i) o.add_node(i, 0, 0), o.add_node(i, 0, 1);
  for (int i = 0; i < 3; ++i) o.add_element(2 * i, 2 * i + 2, 2 * i + 3, 2 * i + 1);
  reverse_row(o, 1);
  Mesh m = binder_view(o);
  const Prepared p = prepare(m);
  EXPECT_EQ(p.neighbours[1 * m.ne + 0], 1);
  const int32_t a = m.node(0, 1), b = m.node(0, 2);  // element 0 runs a -> b along the shared edge
  bool opposite = false;
  for (int j = 0; j < 4; ++j) opposite |= m.node(1, j) == b && m.node(1, (j + 1) % 4) == a;
  EXPECT_TRUE(opposite);
}

}  // namespace
}  // namespace trevo
