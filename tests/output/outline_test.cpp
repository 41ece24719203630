// Tests of Part 7.1: boundary edges, loop chaining and the outline file.
#include "output/outline.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <numbers>
#include <sstream>

#include "readers.h"
#include "../test_mesh.h"

namespace trevo {
namespace {

using test::brute_force_neighbours;
using test::make_grid;
using test::make_mesh;
using test_readers::LinFile;
using test_readers::read_lin;

LinFile write_and_read(const OutlineLoops& loops, Mesh m, const FrameTransform& t = {},
                       std::string_view title = kFlatOutlineTitle) {
  std::stringstream s;
  write_outline(s, title, loops, m.x, m.y, m.z, t);
  return read_lin(s);
}

// A ring of n boundary edges i -> i+1 around a circle (nodes 0..n-1).
BoundaryEdges ring(int32_t n, int32_t first_node = 0) {
  BoundaryEdges b;
  for (int32_t i = 0; i < n; ++i) {
    b.first.push_back(first_node + i);
    b.second.push_back(first_node + (i + 1) % n);
  }
  return b;
}

test::OwnedMesh circle_nodes(int32_t n) {
  test::OwnedMesh m;
  for (int32_t i = 0; i < n; ++i) {
    const double a = 2.0 * std::numbers::pi * i / n;
    m.x.push_back(100.0 * std::cos(a));
    m.y.push_back(100.0 * std::sin(a));
    m.z.push_back(0.0);
  }
  return m;
}

// Part 7.1 Algorithms: element order, then edge order; edge k joins corners k and k+1.
TEST(BoundaryEdges, ElementOrderThenEdgeOrder) {
  auto g = make_grid(2, 1, 1.0, 1.0);  // nodes 0 1 2 / 3 4 5; elements (0 1 4 3), (1 2 5 4)
  const auto nb = brute_force_neighbours(g.view());
  const BoundaryEdges b = extract_boundary_edges(g.view(), nb);
  const std::vector<int32_t> first{0, 4, 3, 1, 2, 5}, second{1, 3, 0, 2, 5, 4};
  EXPECT_EQ(b.first, first);
  EXPECT_EQ(b.second, second);
}

// Part 7.1: a triangle (fourth corner = third) has three edges, the last back to corner 1.
TEST(BoundaryEdges, TriangleHasThreeEdges) {
  auto m = make_mesh({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {{0, 1, 2, 2}});
  const auto nb = brute_force_neighbours(m.view());
  const BoundaryEdges b = extract_boundary_edges(m.view(), nb);
  EXPECT_EQ(b.first, (std::vector<int32_t>{0, 1, 2}));
  EXPECT_EQ(b.second, (std::vector<int32_t>{1, 2, 0}));
  m.corners.clear();  // corner count from the connectivity when no corner array is given
  EXPECT_EQ(extract_boundary_edges(m.view(), nb).first.size(), 3u);
}

// Part 7.1 Edge cases: a blank with one hole gives two lines, each closed by repeating its first point.
TEST(OutlineFiles, OneHoleGivesTwoClosedLines) {
  auto g = make_grid(3, 3, 10.0, 10.0, {}, {4});  // 3 x 3 quadrilaterals without the middle one
  const auto nb = brute_force_neighbours(g.view());
  const OutlineLoops loops = chain_outline(extract_boundary_edges(g.view(), nb));
  const LinFile f = write_and_read(loops, g.view());
  ASSERT_EQ(f.error, "");
  EXPECT_EQ(f.header1, "ZOKA DATA (LARGE)");
  EXPECT_EQ(f.header2, "PART OUTLINE");
  ASSERT_EQ(f.lines.size(), 2u);
  EXPECT_EQ(f.lines[0].number, 1);
  EXPECT_EQ(f.lines[1].number, 2);
  EXPECT_EQ(f.lines[0].points.size(), 13u);  // 12 outer edges + closing point
  EXPECT_EQ(f.lines[1].points.size(), 5u);   // 4 hole edges + closing point
  for (const auto& line : f.lines) EXPECT_EQ(line.points.front(), line.points.back()) << "line " << line.number;
  // The outer loop starts at the first boundary edge of element 0: node 0 at the origin, then node 1.
  EXPECT_EQ(f.lines[0].points[0], (std::array<double, 3>{0, 0, 0}));
  EXPECT_EQ(f.lines[0].points[1], (std::array<double, 3>{10, 0, 0}));
}

// Part 7.1 Edge cases: a loop of 1,200 edges gives lines of 500, 500 and the rest,
// each continuation beginning with the last point of the previous line.
TEST(OutlineFiles, LoopOf1200EdgesGivesLinesOf500And500AndTheRest) {
  auto m = circle_nodes(1200);
  const LinFile f = write_and_read(chain_outline(ring(1200)), m.view());
  ASSERT_EQ(f.error, "");
  ASSERT_EQ(f.lines.size(), 3u);
  // Counted points per line: 500, 500 and 200 (+ the repeated continuation point and the closing point).
  EXPECT_EQ(f.lines[0].points.size(), 500u);
  EXPECT_EQ(f.lines[1].points.size(), 1u + 500u);
  EXPECT_EQ(f.lines[2].points.size(), 1u + 200u + 1u);
  EXPECT_EQ(f.lines[1].points.front(), f.lines[0].points.back());
  EXPECT_EQ(f.lines[2].points.front(), f.lines[1].points.back());
  EXPECT_EQ(f.lines[2].points.back(), f.lines[0].points.front());  // the loop still closes
  EXPECT_EQ(f.lines[0].number, 1);
  EXPECT_EQ(f.lines[1].number, 2);
  EXPECT_EQ(f.lines[2].number, 3);
}

// Part 7.1 Left to the implementer: the 500-point counter restarts with every loop, so
// two loops of 300 edges are two lines without continuations.
TEST(OutlineFiles, PointCounterRestartsPerLoop) {
  auto m = circle_nodes(600);
  BoundaryEdges b = ring(300);
  const BoundaryEdges second = ring(300, 300);
  b.first.insert(b.first.end(), second.first.begin(), second.first.end());
  b.second.insert(b.second.end(), second.second.begin(), second.second.end());
  const LinFile f = write_and_read(chain_outline(b), m.view());
  ASSERT_EQ(f.error, "");
  ASSERT_EQ(f.lines.size(), 2u);
  EXPECT_EQ(f.lines[0].points.size(), 301u);
  EXPECT_EQ(f.lines[1].points.size(), 301u);
}

// Part 7.1 step 8 at the boundary: a loop of exactly 500 edges reaches the count at its
// last edge, so the closing point goes on a continuation line after the repeated point.
TEST(OutlineFiles, LoopOfExactly500EdgesContinuesForItsClosingPoint) {
  auto m = circle_nodes(500);
  const LinFile f = write_and_read(chain_outline(ring(500)), m.view());
  ASSERT_EQ(f.lines.size(), 2u);
  EXPECT_EQ(f.lines[0].points.size(), 500u);
  ASSERT_EQ(f.lines[1].points.size(), 2u);
  EXPECT_EQ(f.lines[1].points[0], f.lines[0].points.back());
  EXPECT_EQ(f.lines[1].points[1], f.lines[0].points.front());
}

// Part 7.1 step 6: a chain that does not come back ends at its open end.
TEST(OutlineFiles, OpenChainEndsAtItsOpenEnd) {
  BoundaryEdges b;
  b.first = {0, 1};
  b.second = {1, 2};
  const OutlineLoops loops = chain_outline(b);
  ASSERT_EQ(loops.loop_count(), 1);
  EXPECT_EQ(loops.points, (std::vector<int32_t>{0, 1, 2}));
}

// Part 7.1 step 5: the first unused edge leaving the current node is taken, in list order.
TEST(OutlineFiles, ChainTakesFirstUnusedEdgeFromCurrentNode) {
  BoundaryEdges b;  // a figure eight through node 0: 0-1-0 and 0-2-0, listed as 0>1, 0>2, 1>0, 2>0
  b.first = {0, 0, 1, 2};
  b.second = {1, 2, 0, 0};
  const OutlineLoops loops = chain_outline(b);
  ASSERT_EQ(loops.loop_count(), 2);
  EXPECT_EQ(loops.points, (std::vector<int32_t>{0, 1, 0, 0, 2, 0}));
}

// Part 7.1 Failure handling: an empty edge list writes the two headers and one line header.
TEST(OutlineFiles, EmptyEdgeListWritesHeadersAndOneLineHeader) {
  std::stringstream s;
  write_outline(s, kBinderOutlineTitle, chain_outline({}), {}, {}, {}, {});
  EXPECT_EQ(s.str(), "ZOKA DATA (LARGE)\nPART OUTLN3D\nLINE      1\n");
}

// Part 7.1 Edge cases: zero tipping angles and zero levelling offset write the coordinates unchanged.
TEST(OutlineFiles, ZeroTransformWritesCoordinatesUnchanged) {
  auto m = make_mesh({{1.5, -2.25, 0.125}, {123.456789, 0.001, -7.0}}, {});
  BoundaryEdges b;
  b.first = {0, 1};
  b.second = {1, 0};
  const LinFile f = write_and_read(chain_outline(b), m.view());
  ASSERT_EQ(f.lines.size(), 1u);
  ASSERT_EQ(f.lines[0].points.size(), 3u);
  for (int k = 0; k < 3; ++k) {
    const double expected[3] = {m.x[k % 2], m.y[k % 2], m.z[k % 2]};
    for (int c = 0; c < 3; ++c)
      EXPECT_NEAR(f.lines[0].points[k][c], expected[c], 1e-9 * std::max(1.0, std::abs(expected[c]))) << k << "," << c;
  }
}

// Part 7.1 steps 1 and 9: the file shows the input frame; the working coordinates come back to the last bit.
TEST(OutlineFiles, TippedNodesWrittenInInputFrameAndRestoredExactly) {
  // Input-frame nodes, carried into the working frame by tipping and levelling.
  std::vector<double> x{10, 20, 20}, y{0, 0, 15}, z{3, 4, 5};
  const FrameTransform t{0.3, -0.2, -1.75};
  std::vector<double> wx = x, wy = y, wz = z;
  to_working_frame(wx, wy, wz, t);
  const std::vector<double> before_x = wx, before_y = wy, before_z = wz;
  BoundaryEdges b;
  b.first = {0, 1, 2};
  b.second = {1, 2, 0};
  std::stringstream s;
  write_outline(s, kFlatOutlineTitle, chain_outline(b), wx, wy, wz, t);
  const LinFile f = read_lin(s);
  ASSERT_EQ(f.lines.size(), 1u);
  for (int k = 0; k < 3; ++k) {
    EXPECT_NEAR(f.lines[0].points[k][0], x[k], 1e-8) << k;
    EXPECT_NEAR(f.lines[0].points[k][1], y[k], 1e-8) << k;
    EXPECT_NEAR(f.lines[0].points[k][2], z[k], 1e-8) << k;
  }
  EXPECT_EQ(std::memcmp(wx.data(), before_x.data(), 3 * sizeof(double)), 0);
  EXPECT_EQ(std::memcmp(wy.data(), before_y.data(), 3 * sizeof(double)), 0);
  EXPECT_EQ(std::memcmp(wz.data(), before_z.data(), 3 * sizeof(double)), 0);
}

// Part 7.1 File format: LINE + I7; point 3 x (4X, E16.9).
TEST(OutlineFiles, RecordLayouts) {
  EXPECT_EQ(line_header_record(12), "LINE     12");
  EXPECT_EQ(point_record(1.0, -250.5, 0.0),
            "     0.100000000E+01    -0.250500000E+03     0.000000000E+00");
}

}  // namespace
}  // namespace trevo
