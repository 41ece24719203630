// Mesh topology: bad-shape splits, neighbour tables, element orientation and the matrix pattern.
#include "prepare/topology.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "../solver/solver_fixtures.h"
#include "prepare/element_normal.h"
#include "prepare/matrix_pattern.h"

namespace trevo {
namespace {

std::vector<int32_t> neighbour_table(const Mesh& m) {
  std::vector<int32_t> edges(8 * static_cast<size_t>(m.ne)), neighbours(4 * static_cast<size_t>(m.ne));
  edge_table(m, edges);
  edge_neighbours(edges, m.ne, m.nn, neighbours);
  return neighbours;
}

double area(const test::OwnedMesh& o, int32_t e) {  // signed, in the plan
  double twice = 0.0;
  for (int k = 0; k < o.corners[e]; ++k) {
    const int32_t a = o.conn[k * o.ne() + e], b = o.conn[(k + 1) % o.corners[e] * o.ne() + e];
    twice += o.x[a] * o.y[b] - o.x[b] * o.y[a];
  }
  return 0.5 * twice;
}

// A kite with a 170-degree corner at each of its corners in turn and an arrow with a reflex corner (3)
// split, into a spare slot, into two counter-clockwise triangles with the quadrilateral's area, both
// holding its bad corner, the second labelled 0 with the first's value and material; a rectangle and
// flat triangles stay.
TEST(SplitBadQuadrilaterals, SplitsThroughTheBadCornerIntoTwoCoveringTriangles) {
  std::vector<std::pair<test::OwnedMesh, int>> cases;  // mesh, bad corner (-1: none)
  for (int bad = 0; bad < 4; ++bad) {
    const double kite[4][2] = {{0, 0}, {5, -0.44}, {10, 0}, {5, 4}};
    std::vector<std::array<double, 3>> nodes;
    for (int k = 0; k < 4; ++k) nodes.push_back({kite[(k + 5 - bad) % 4][0], kite[(k + 5 - bad) % 4][1], 0.0});
    cases.push_back({test::make_mesh(nodes, {{0, 1, 2, 3}}), bad});
  }
  cases.push_back({test::make_mesh({{0, 3, 0}, {-2, 0, 0}, {0, 1, 0}, {2, 0, 0}}, {{0, 1, 2, 3}}), 2});
  cases.push_back({test::make_mesh({{0, 0, 0}, {3, 0, 0}, {3, 2, 0}, {0, 2, 0}}, {{0, 1, 2, 3}}), -1});
  cases.push_back({test::make_mesh({{0, 0, 0}, {1, 0, 0}, {0.5, 0.01, 0}, {0, 1, 0}}, {{0, 1, 2, 2}, {0, 2, 3, 3}}),
                   -1});
  for (auto& [o, bad] : cases) {
    const int32_t ne = o.ne(), counted = count_bad_quadrilaterals(o.view());
    ASSERT_EQ(counted, bad == -1 ? 0 : 1) << "bad corner " << bad;
    const std::vector<int32_t> before = o.conn;
    const double whole = area(o, 0);
    std::vector<double> value{1.5, 0.0};
    std::vector<int32_t> material{7, 0};
    if (counted) o.add_element(0, 0, 0, 0);  // the spare slot
    Mesh m = o.view();
    ASSERT_EQ(split_bad_quadrilaterals(m, ne, value, material, o.labels), counted);
    EXPECT_TRUE(bad != -1 || o.conn == before);
    if (bad == -1) continue;
    EXPECT_TRUE(area(o, 0) > 0.0 && area(o, 1) > 0.0) << "bad corner " << bad;
    EXPECT_NEAR(area(o, 0) + area(o, 1), whole, 1e-12) << "bad corner " << bad;
    EXPECT_TRUE(o.labels[1] == 0 && value[1] == 1.5 && material[1] == 7) << "bad corner " << bad;
    int uses = 0;
    for (int k = 0; k < 3; ++k) uses += (o.node(0, k) == before[bad]) + (o.node(1, k) == before[bad]);
    EXPECT_EQ(uses, 2) << "the diagonal misses the bad corner " << bad;
  }
}

// Renumbered grids with triangles and holes, some elements given clockwise.
TEST(EdgeNeighbours, EqualTheTableOfTheEdgeMap) {
  std::mt19937 rng(11);
  for (int trial = 0; trial < 20; ++trial) {
    test::OwnedMesh o = test::make_grid(6, 5, 1.0, 1.0, {2, 7, 11, 19}, {trial, 23});
    std::vector<int32_t> order(o.nn());
    for (int32_t i = 0; i < o.nn(); ++i) order[i] = i;
    std::shuffle(order.begin(), order.end(), rng);
    for (int32_t& n : o.conn) n = order[n];
    for (int32_t e = trial % 3; e < o.ne(); e += 3) test::reverse_row(o, e);
    ASSERT_EQ(neighbour_table(o.view()), test::brute_force_neighbours(o.view())) << "trial " << trial;
  }
}

// Clockwise tool elements come out with corners 1 and 3 exchanged, facing upwards; reversing part
// elements keeps the neighbour table equal to a rebuilt one.
TEST(ElementOrientation, ToolsFaceUpwardsAndReversalKeepsTheNeighbourTable) {
  test::OwnedMesh tool =
      test::make_mesh({{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}}, {{0, 3, 2, 1}, {0, 2, 1, 1}, {0, 1, 2, 3}});
  Mesh t = tool.view();
  t.corners = {};  // tool meshes carry no corner array
  orient_tool_upwards(t);
  EXPECT_EQ(tool.conn, (std::vector<int32_t>{2, 1, 0, 3, 2, 1, 0, 0, 2, 1, 0, 3}));
  for (int32_t e = 0; e < t.ne; ++e) EXPECT_GT(element_normal(t, e)[2], 0.0) << e;
  std::vector<int32_t> corners(t.ne);
  tool_corner_counts(t, corners);
  EXPECT_EQ(corners, (std::vector<int32_t>{4, 3, 4}));
  test::OwnedMesh part = test::make_grid(3, 2);
  const int32_t tip = part.add_node(1.5, -1, 0);
  part.add_element(1, 0, tip, tip);
  Mesh m = part.view();
  std::vector<int32_t> nb = neighbour_table(m);
  for (const int32_t e : {0, 4, 6}) reverse_element(m, e, nb);
  EXPECT_EQ(nb, neighbour_table(m));
}

// The CSR pattern equals the one built from its definition alone, for a single quadrilateral, a triangle
// whose unused fourth entry names another node, and a grid with triangles and a node used by no element.
TEST(MatrixPattern, EqualsThePatternOfTheDefinition) {
  test::OwnedMesh triangle = test::make_mesh({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {5, 5, 0}}, {{0, 1, 2, 2}});
  triangle.node(0, 3) = 3;  // the corner count says triangle: entry 4 must not be read
  test::OwnedMesh grid = test::make_grid(5, 4, 1.0, 1.0, {2, 9, 13});
  grid.add_node(9, 9, 0);
  test::OwnedMesh quad = test::make_grid(1, 1);
  for (test::OwnedMesh* o : {&quad, &triangle, &grid}) {
    const Mesh m = o->view();
    const size_t nn = m.nn;
    std::vector<int32_t> pointer(nn + 1), adjacency_pointer(nn + 1), marker(nn), own(nn);
    std::vector<int32_t> list(node_element_pointer(m, pointer));
    node_element_list(m, pointer, list);
    std::vector<int32_t> adjacency(node_adjacency_pointer(m, pointer, list, adjacency_pointer, marker));
    node_adjacency(m, pointer, list, adjacency_pointer, adjacency, own, marker);
    std::vector<int32_t> row_start(2 * nn + 1), column(4 * adjacency.size()), diagonal(2 * nn);
    CsrMatrix k{2 * m.nn, row_start, column, diagonal, {}};
    matrix_pattern(adjacency_pointer, adjacency, own, k);
    const test::OwnedMatrix expected = test::matrix_pattern(m);
    EXPECT_EQ(row_start, expected.row_start) << nn << " nodes";
    EXPECT_EQ(column, expected.column) << nn << " nodes";
    EXPECT_EQ(diagonal, expected.diagonal) << nn << " nodes";
  }
}

}  // namespace
}  // namespace trevo
