// Mesh topology (bad-shape splits, neighbour tables, element orientation, the matrix pattern) and the
// model checks (orientation, punch direction, undercut and element angles).
#include "prepare/topology.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>

#include "../solver/solver_fixtures.h"
#include "prepare/element_normal.h"
#include "prepare/matrix_pattern.h"
#include "prepare/model_checks.h"

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
    std::vector<int32_t> row_start(2 * nn + 1), diagonal(2 * nn);
    CsrMatrix k{2 * m.nn, row_start, {}, {}, diagonal, {}};
    matrix_pattern(adjacency_pointer, adjacency, own, k);
    const test::OwnedMatrix expected = test::matrix_pattern(m);
    EXPECT_EQ(row_start, expected.row_start) << nn << " nodes";
    EXPECT_EQ(std::vector<int32_t>(k.column.begin(), k.column.end()), expected.column) << nn << " nodes";
    EXPECT_EQ(std::vector<int32_t>(k.first_upper.begin(), k.first_upper.end()), expected.first_upper) << nn << " nodes";
    EXPECT_EQ(diagonal, expected.diagonal) << nn << " nodes";
    // Entry by entry, each row lists the columns 2j, 2j+1 of its node's adjacent nodes j >= its node.
    for (int32_t r = 0; r < k.neq; ++r) {
      std::vector<int32_t> columns, defined;
      for (int32_t q = k.row_start[r]; q < k.row_start[r + 1]; ++q) columns.push_back(k.column_of(r, q));
      for (int32_t q = adjacency_pointer[r / 2]; q < adjacency_pointer[r / 2 + 1]; ++q)
        if (adjacency[q] >= r / 2) defined.push_back(2 * adjacency[q]), defined.push_back(2 * adjacency[q] + 1);
      EXPECT_EQ(columns, defined) << "row " << r << " of " << nn << " nodes";
    }
  }
}

using Lines = std::vector<std::string>;

// Given partly clockwise: one grid; two grids; three triangles sharing at most a node; a grid and a strip
// of vertical quadrilaterals (a region without any upward element, seeded at its largest nz); 5000
// separate triangles (which must not take 5000 x (NE + 100) sweeps).
TEST(OrientationCheck, ConsistentAndUpwardsWithOverlapLinesPerFurtherRegion) {
  std::vector<std::pair<test::OwnedMesh, int>> cases;
  cases.push_back({test::make_grid(6, 5), 1});
  cases.push_back({test::make_grid(4, 3), 2});
  test::add_grid(cases.back().first, 3, 3, 10, 0);
  cases.push_back({test::make_mesh({{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {2, 1, 0}, {2, 2, 0}, {5, 5, 0}, {6, 5, 0},
                                    {6, 6, 0}},
                                   {{0, 1, 2, 2}, {2, 4, 3, 3}, {5, 6, 7, 7}}), 3});
  cases.push_back({test::make_grid(2, 2), 2});
  for (int i = 0; i < 4; ++i) cases.back().first.add_node(i, 10, 0), cases.back().first.add_node(i, 10, 1);
  for (int i = 0; i < 3; ++i) cases.back().first.add_element(9 + 2 * i, 11 + 2 * i, 12 + 2 * i, 10 + 2 * i);
  test::OwnedMesh many;
  for (int e = 0; e < 5000; ++e) {
    many.add_node(3 * e, 0, 0), many.add_node(3 * e + 1, 0, 0), many.add_node(3 * e, 1, 0.001 * (e % 7));
    many.add_element(3 * e, 3 * e + 1, 3 * e + 2, 3 * e + 2);
  }
  cases.push_back({many, 5000});
  for (auto& [o, regions] : cases) {
    for (int32_t e = 1; e < o.ne(); e += 3) test::reverse_row(o, e);
    Mesh m = o.view();
    std::vector<int32_t> nb = neighbour_table(m);
    test::Captured out;
    orientation_check(m, nb, o.labels, RunSettings{}, out.reporter);
    for (int32_t e = 0; e < m.ne; ++e)  // vertical elements aside
      ASSERT_TRUE(std::fabs(element_normal(m, e)[2]) < 1e-9 || element_normal(m, e)[2] > 0.0) << "element " << e;
    EXPECT_TRUE(test::agreeing(m, nb));
    EXPECT_EQ(nb, neighbour_table(m));
    Lines overlap;
    for (int r = 1; r < regions; ++r)
      overlap.insert(overlap.end(), {" ....... Overlap elements are found in the model.",
                                     "         Check the model and run again ......."});
    EXPECT_EQ(test::lines(out.console), overlap) << regions << " regions";
    EXPECT_EQ(test::lines(out.report), overlap) << regions << " regions";
  }
}

// Punch-direction, undercut and element-angle checks on: a flat quadrilateral with a wall leaning in over
// it (nz -0.5, label 12) or out; a clean grid with the method given as 3 or 0; triangles with corners of
// 4 degrees (reported) and 8 (listed).
TEST(ModelChecks, ExactTextsAndMethodOfEachCheck) {
  const auto wall = [](double top_x) {
    test::OwnedMesh o = test::make_mesh({{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}, {top_x, 0, 1.7320508075688772},
                                         {top_x, 1, 1.7320508075688772}}, {{0, 1, 2, 3}, {1, 4, 5, 2}});
    o.labels = {11, 12};
    return o;
  };
  test::OwnedMesh triangles, clean = test::make_grid(2, 2);
  for (const auto& [x0, alpha, beta] : {std::array{0.0, 60.0, 60.0}, {10.0, 4.0, 86.0}, {20.0, 8.0, 86.0}}) {
    const double a = alpha * M_PI / 180.0, t = std::sin(beta * M_PI / 180.0) / std::sin(a + beta * M_PI / 180.0);
    const int32_t n = triangles.add_node(x0, 0, 0);
    triangles.add_node(x0 + 1, 0, 0), triangles.add_node(x0 + t * std::cos(a), t * std::sin(a), 0);
    triangles.add_element(n, n + 1, n + 2, n + 2);
  }
  triangles.labels = {501, 502, 503};
  const auto pad79 = [](const std::string& t) { return " " + t + std::string(79 - t.size(), ' '); };
  const Lines elastic{"", pad79("...... Undercut situation encountered....."),
                      pad79("...... Blank shape will be calculated with elastic approximate method ....."), ""},
      punch{" ******** Due to error of the punch\"s direction, the model has negative",
            "          angle. Please check the direction and run again ********",
            " ******** Due to the multi-procedure stamping, TREVO will calculate the",
            "          blank shape with elastic approximate method ********"},
      undercut{" ******* Due to error in punch direction. Die", "         has negative angle.",
               "         Check direction and try again", " ******* Due to multi-stage stamping, TREVO will",
               "         calculate blank shape with elastic", "         approximation method *******"};
  const std::string condition = " ....... Undercut condition encountered.....",
                    method = " Blank shape will be calculated with elastic approximation method.......";
  const auto join = [](std::initializer_list<Lines> parts) {
    Lines all;
    for (const Lines& p : parts) all.insert(all.end(), p.begin(), p.end());
    return all;
  };
  const Lines wall_punch{"    1 element normal vectors are in error. Possibly due to undercut ********",
                         " The largest negative angle in element    12, values is  -0.50000    "},
      wall_undercut{"    1 Error in element normal. Possible undercut condition. *******",
                    " Largest negative angle in element    12 value is   -0.50000    "},
      bad{"    2- bad element that may affect accuracy.......", "",
          "    2 bad elements that may affect accuracy.......",
          " Repair these elements and try again .......", "     502     503", ""};
  enum Check { kPunch, kUndercut, kAngles };
  struct Case {  // name, mesh, method given, check, console and report lines, method and iteration limit after
    const char* name;
    test::OwnedMesh mesh;
    int32_t method_in;
    Check check;
    Lines console, report;
    int32_t method, limit;
  };
  const Case cases[] = {
      {"walls leaning in", wall(0), 1, kPunch, join({wall_punch, punch, {"      12"}, elastic}),
       join({{""}, wall_punch, punch, {"      12"}, elastic}), 3, 300},
      {"method 3 given", clean, 3, kPunch, elastic, elastic, 3, 300},
      {"walls leaning out", wall(1.5), 1, kPunch, {}, {}, 1, 300},
      {"undercut", wall(0), 1, kUndercut,
       join({{""}, wall_undercut, undercut, {"      12", "", condition, " ......." + method}}),
       join({{""}, wall_undercut, undercut, {"      12", "", condition, " ......" + method}}), 0, 0},
      {"method 0 given", clean, 0, kUndercut, {"", condition, " ......." + method}, {"", condition, " ......" + method},
       0, 0},
      {"no undercut", wall(1.5), 1, kUndercut, {}, {}, 1, 300},
      {"acute triangles", triangles, 1, kAngles, bad, bad, 1, 300},
      {"good angles", clean, 1, kAngles, {}, {}, 1, 300}};
  for (const Case& c : cases) {
    test::OwnedMesh o = c.mesh;
    RunSettings s;
    test::Captured out;
    s.method = c.method_in;
    if (c.check == kPunch) punch_direction_check(o.view(), o.labels, s, out.reporter);
    if (c.check == kUndercut) undercut_check(o.view(), o.labels, s, out.reporter);
    if (c.check == kAngles) element_angle_check(o.view(), o.labels, s, out.reporter);
    EXPECT_EQ(test::lines(out.console), c.console) << c.name;
    EXPECT_EQ(test::lines(out.report), c.report) << c.name;
    EXPECT_TRUE(s.method == c.method && s.iteration_limit == c.limit) << c.name << ": " << s.iteration_limit;
  }
}

}  // namespace
}  // namespace trevo
