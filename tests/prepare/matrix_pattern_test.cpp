// Tests of Part 3.6: node-to-element index, node adjacency and the CSR pattern.
#include "prepare/matrix_pattern.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "prep_test_mesh.h"

namespace trevo {
namespace {

using test::OwnedMesh;

struct Pattern {
  int64_t t = 0, a = 0;
  std::vector<int32_t> pointer, list, adjacency_pointer, adjacency, own, row_start, column, diagonal;
  CsrMatrix matrix;
};

Pattern build(const Mesh& m) {
  Pattern p;
  const size_t nn = static_cast<size_t>(m.nn);
  p.pointer.resize(nn + 1);
  p.t = node_element_pointer(m, p.pointer);
  p.list.resize(p.t);
  node_element_list(m, p.pointer, p.list);
  std::vector<int32_t> marker(nn);
  p.adjacency_pointer.resize(nn + 1);
  p.a = node_adjacency_pointer(m, p.pointer, p.list, p.adjacency_pointer, marker);
  p.adjacency.resize(p.a);
  p.own.resize(nn);
  node_adjacency(m, p.pointer, p.list, p.adjacency_pointer, p.adjacency, p.own, marker);
  p.row_start.resize(2 * nn + 1);
  p.column.resize(4 * p.a);
  p.diagonal.resize(2 * nn);
  p.matrix.neq = 2 * m.nn;
  p.matrix.row_start = p.row_start;
  p.matrix.column = p.column;
  p.matrix.diagonal = p.diagonal;
  matrix_pattern(p.adjacency_pointer, p.adjacency, p.own, p.matrix);
  return p;
}

// Part 3.6 edge case: a single quadrilateral: every node adjacent to all 4, A = 16, every
// row has 8 entries, the diagonal of row 1 at 1 and of row 2 at 10 (0-based: 0 and 9).
TEST(MatrixPattern, SingleQuadrilateral) {
  OwnedMesh o;
  test::add_grid(o, 1, 1, 0, 0);
  const Pattern p = build(o.view());
  EXPECT_EQ(p.t, 4);
  EXPECT_EQ(p.a, 16);
  for (int32_t i = 0; i < 4; ++i) {
    EXPECT_EQ(std::vector<int32_t>(p.adjacency.begin() + 4 * i, p.adjacency.begin() + 4 * i + 4),
              (std::vector<int32_t>{0, 1, 2, 3}))
        << "node " << i;
  }
  for (int32_t r = 0; r < 8; ++r) EXPECT_EQ(p.row_start[r + 1] - p.row_start[r], 8) << "row " << r;
  EXPECT_EQ(p.diagonal[0], 0);
  EXPECT_EQ(p.diagonal[1], 9);
  EXPECT_EQ(p.row_start[8], 64);
}

// Part 3.6 edge case: a single triangle: 3 nodes adjacent to all 3, A = 9; the repeated
// fourth connectivity entry is never visited (here it names a fourth node, which stays alone).
TEST(MatrixPattern, SingleTriangle) {
  OwnedMesh o;
  o.add_node(0, 0, 0), o.add_node(1, 0, 0), o.add_node(0, 1, 0), o.add_node(5, 5, 0);
  o.add_element(0, 1, 2, 2);
  o.node(0, 3) = 3;  // corner count 3 says it is a triangle; entry 4 must not be read
  const Pattern p = build(o.view());
  EXPECT_EQ(p.t, 3);
  EXPECT_EQ(p.a, 9 + 1);  // + the lone node's run of itself
  for (int32_t i = 0; i < 3; ++i) EXPECT_EQ(p.adjacency_pointer[i + 1] - p.adjacency_pointer[i], 3) << i;
}

// Part 3.6, Left to the implementer: a node used by no element gets an adjacency run holding
// only itself, so its two rows hold a diagonal (the spec's pattern would leave them empty).
TEST(MatrixPattern, UnusedNodeHoldsOnlyItself) {
  OwnedMesh o;
  o.add_node(9, 9, 0);  // node 0: used by no element
  o.add_node(0, 0, 0), o.add_node(1, 0, 0), o.add_node(0, 1, 0);
  o.add_element(1, 2, 3, 3);
  const Pattern p = build(o.view());
  EXPECT_EQ(p.pointer[1] - p.pointer[0], 0);
  ASSERT_EQ(p.adjacency_pointer[1] - p.adjacency_pointer[0], 1);
  EXPECT_EQ(p.adjacency[0], 0);
  EXPECT_EQ(p.own[0], 0);
  EXPECT_EQ(std::vector<int32_t>(p.column.begin(), p.column.begin() + 4), (std::vector<int32_t>{0, 1, 0, 1}));
  EXPECT_EQ(p.row_start[1], 2);
  EXPECT_EQ(p.diagonal[0], 0);
  EXPECT_EQ(p.diagonal[1], 3);
}

// Part 3.6: on a mixed mesh every row is ascending, holds its diagonal at the stated
// position, and the pattern is symmetric; element runs are ascending.
TEST(MatrixPattern, SymmetricAscendingWithDiagonals) {
  OwnedMesh o;
  test::add_grid(o, 5, 4, 0, 0);
  const int32_t c = o.add_node(2.5, -1, 0);
  o.add_element(1, 0, c, c);
  o.add_element(2, 1, c, c);
  const Pattern p = build(o.view());
  const int32_t neq = 2 * static_cast<int32_t>(o.x.size());
  for (int32_t i = 0; i + 1 < static_cast<int32_t>(p.pointer.size()); ++i) {
    EXPECT_TRUE(std::is_sorted(p.list.begin() + p.pointer[i], p.list.begin() + p.pointer[i + 1])) << "node " << i;
  }
  for (int32_t r = 0; r < neq; ++r) {
    const auto first = p.column.begin() + p.row_start[r], last = p.column.begin() + p.row_start[r + 1];
    EXPECT_TRUE(std::adjacent_find(first, last, std::greater_equal<>()) == last) << "row " << r;
    EXPECT_EQ(p.column[p.diagonal[r]], r) << "row " << r;
    for (auto it = first; it != last; ++it) {
      const int32_t col = *it;
      const auto cf = p.column.begin() + p.row_start[col], cl = p.column.begin() + p.row_start[col + 1];
      EXPECT_TRUE(std::binary_search(cf, cl, r)) << "(" << r << ", " << col << ") without its mirror";
    }
  }
  EXPECT_EQ(p.row_start[neq], 4 * p.a);
}

}  // namespace
}  // namespace trevo
