// Tests of the model positioning phase: tipping, offset, levelling, drawbead ends, settings.
// Spec: Part 3.4.
#include "prepare/positioning.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "frame/frame_transform.h"
#include "prepare/element_normal.h"
#include "prepare/topology.h"

namespace trevo {
namespace {

constexpr double kDeg = 3.1415926535898 / 180.0;

struct Point {
  double x, y, z;
};

// A part mesh with its copy, tables and scratch, optional blank-holder quad and drawbeads.
// Built in place (the Mesh views point into the vectors): do not copy or move.
struct Model {
  std::vector<double> x, y, z, xc, yc, zc, nx, ny, nz;
  std::vector<int32_t> conn, corners, labels, neighbours;
  std::vector<double> hx, hy, hz;  // blank-holder nodes
  std::vector<int32_t> hconn;
  std::vector<double> bx1, by1, bz1, bx2, by2, bz2;
  Mesh part, binder, blank_holder, pad;

  Model() = default;
  Model(const Model&) = delete;

  // Quadrilaterals (i, j), (i+1, j), (i+1, j+1), (i, j+1) over a grid of (ni+1) x (nj+1) nodes.
  void grid(int ni, int nj, const std::function<Point(int, int)>& position) {
    for (int j = 0; j <= nj; ++j) {
      for (int i = 0; i <= ni; ++i) add_node(position(i, j));
    }
    std::vector<std::array<int32_t, 4>> quads;
    for (int j = 0; j < nj; ++j) {
      for (int i = 0; i < ni; ++i) {
        const int32_t n = i + (ni + 1) * j;
        quads.push_back({n, n + 1, n + ni + 2, n + ni + 1});
      }
    }
    set_elements(quads);
  }

  void add_node(Point p) {
    x.push_back(p.x);
    y.push_back(p.y);
    z.push_back(p.z);
  }

  // Sets the connectivity (column-major), labels 1..ne, the copy, the neighbour table and scratch.
  void set_elements(const std::vector<std::array<int32_t, 4>>& elements) {
    const auto ne = static_cast<int32_t>(elements.size()), nn = static_cast<int32_t>(x.size());
    conn.assign(4 * static_cast<size_t>(ne), 0);
    for (int32_t e = 0; e < ne; ++e) {
      for (int k = 0; k < 4; ++k) conn[static_cast<size_t>(k) * ne + e] = elements[e][k];
      corners.push_back(elements[e][3] == elements[e][2] ? 3 : 4);
      labels.push_back(e + 1);
    }
    xc = x;
    yc = y;
    zc = z;
    nx.assign(nn, 0.0);
    ny.assign(nn, 0.0);
    nz.assign(nn, 0.0);
    part = Mesh{nn, ne, x, y, z, conn, corners};
    std::vector<int32_t> edges(8 * static_cast<size_t>(ne));
    neighbours.assign(4 * static_cast<size_t>(ne), kNone);
    edge_table(part, edges);
    edge_neighbours(edges, ne, nn, neighbours);
  }

  // A flat blank-holder quadrilateral at height h around the part.
  void add_blank_holder(double h) {
    hx = {-50, 60, 60, -50};
    hy = {-50, -50, 60, 60};
    hz = {h, h + 1, h + 2, h};
    hconn = {0, 1, 2, 3};
    blank_holder = Mesh{4, 1, hx, hy, hz, hconn, {}};
  }

  void add_drawbead(Point p1, Point p2) {
    bx1.push_back(p1.x), by1.push_back(p1.y), bz1.push_back(p1.z);
    bx2.push_back(p2.x), by2.push_back(p2.y), bz2.push_back(p2.z);
  }

  DrawbeadEnds beads() { return {bx1, by1, bz1, bx2, by2, bz2}; }

  PositioningInput input() {
    return {part, neighbours, labels, xc, yc, zc, binder, blank_holder, pad, beads(), nx, ny, nz};
  }
};

// A flat square plate of n x n unit quadrilaterals in z = 0 at [0, n] x [0, n].
void flat_plate(Model& m, int n) {
  m.grid(n, n, [](int i, int j) { return Point{double(i), double(j), 0.0}; });
}

std::vector<std::string> lines_of(const std::ostringstream& out) {
  std::vector<std::string> lines;
  std::istringstream in(out.str());
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// --- automatic tipping search ---

// Part 3.4 edge case: a flat part -> the search returns (0, 0) at once and nothing is tipped.
TEST(TippingSearch, FlatPartReturnsZeroAtOnce) {
  Model m;
  flat_plate(m, 4);
  nodal_normals(m.part, m.nx, m.ny, m.nz);
  const TippingAngles angles = tipping_search(m.nx, m.ny, m.nz);
  EXPECT_EQ(angles.alpha, 0.0);
  EXPECT_EQ(angles.beta, 0.0);
  for (double v : m.nz) EXPECT_EQ(v, 1.0);

  RunSettings s;
  s.autonoml = 1;
  std::ostringstream console;
  Reporter r(console, nullptr);
  const std::vector<double> x0 = m.x, y0 = m.y;
  auto in = m.input();
  position_model(in, s, r);
  EXPECT_EQ(s.tipping_alpha, 0.0);
  EXPECT_EQ(s.tipping_beta, 0.0);
  EXPECT_EQ(m.x, x0);
  EXPECT_EQ(m.y, y0);
}

// Cylindrical strip, radius 50, angles -60..60 deg in the xy plane, 40 mm tall along z, normals
// (sin phi, cos phi, 0): a part lying on its side. Turned 3 deg about x so that every nz > 0.
void part_on_its_side(Model& m) {
  m.grid(4, 12, [](int i, int j) {
    const double phi = (-60.0 + 10.0 * j) * kDeg;
    double px = 50.0 * std::sin(phi), py = 50.0 * std::cos(phi), pz = 10.0 * i;
    rotate_about_x(3.0 * kDeg, py, pz);
    return Point{px, py, pz};
  });
}

// Part 3.4 edge case: a part lying on its side is tipped by the coarse 88 deg step about x, the
// fine steps finish the job (here one step of -1 deg), and the tipping angles record the total.
TEST(TippingSearch, PartOnItsSideIsTippedByCoarseThenFineSteps) {
  Model m;
  part_on_its_side(m);
  for (int32_t e = 0; e < m.part.ne; ++e) {
    const Vec3 n = element_normal(m.part, e);
    ASSERT_GT(n[1], 0.45) << "fixture: element " << e << " faces +y";
    ASSERT_GT(n[2], 0.0) << "fixture: element " << e;
  }
  nodal_normals(m.part, m.nx, m.ny, m.nz);
  const TippingAngles angles = tipping_search(m.nx, m.ny, m.nz);
  EXPECT_EQ(angles.alpha, 1.5358897417550104 + -0.0174532925199433);
  EXPECT_EQ(angles.beta, 0.0);

  Model whole;
  part_on_its_side(whole);
  RunSettings s;
  s.autonoml = 1;
  std::ostringstream console;
  Reporter r(console, nullptr);
  auto in = whole.input();
  position_model(in, s, r);
  EXPECT_EQ(s.tipping_alpha, angles.alpha);
  EXPECT_EQ(s.tipping_beta, 0.0);
  EXPECT_GT(smallest_element_nz(whole.part), 0.57);
  EXPECT_EQ(s.smallest_nz, smallest_element_nz(whole.part));
  EXPECT_EQ(s.method, 1);
}

// Part 3.4 step 6, taken literally: with method 0 the second search runs on the tipped part; it finds
// nothing more, tips by (0, 0), the result is kept (s >= -0.866), and the tipping angles become the
// angles applied last, (0, 0), although the part stays tipped by the first search.
TEST(AutomaticTipping, SecondAttemptWithMethodZeroRecordsTheAnglesItApplied) {
  Model m;
  part_on_its_side(m);
  RunSettings s;
  s.autonoml = 1;
  s.method = 0;
  std::ostringstream console;
  Reporter r(console, nullptr);
  auto in = m.input();
  position_model(in, s, r);
  EXPECT_EQ(s.iteration_limit, 0) << "check 3 with method 0";
  EXPECT_GT(smallest_element_nz(m.part), 0.57) << "still tipped by the first search";
  EXPECT_EQ(s.tipping_alpha, 0.0);
  EXPECT_EQ(s.tipping_beta, 0.0);
  EXPECT_EQ(s.smallest_nz, smallest_element_nz(m.part)) << "s of step 6 (element normals of Part 3.1)";
}

// Part 3.4 steps 3 and 4 (Left to the implementer): with the flat-blank-only switch 1 the flanging way
// of finding the angles is not provided, so the angles stay 0 and nothing is tipped.
TEST(AutomaticTipping, FlatBlankOnlySwitchLeavesAnglesZero) {
  Model m;
  part_on_its_side(m);
  const std::vector<double> y0 = m.y;
  RunSettings s;
  s.autonoml = 1;
  s.flat_blank_only = 1;
  std::ostringstream console;
  Reporter r(console, nullptr);
  auto in = m.input();
  position_model(in, s, r);
  EXPECT_EQ(s.tipping_alpha, 0.0);
  EXPECT_EQ(s.tipping_beta, 0.0);
  EXPECT_EQ(m.y, y0);
}

// Part 3.4 step 2: MANUNOML is not used when AUTONOML is 1.
TEST(ManualTipping, IgnoredWithAutomaticTipping) {
  Model m;
  flat_plate(m, 3);
  RunSettings s;
  s.autonoml = 1;
  s.manunoml = {20.0, 0.0};
  std::ostringstream console;
  Reporter r(console, nullptr);
  auto in = m.input();
  position_model(in, s, r);
  EXPECT_EQ(s.tipping_alpha, 0.0);
  EXPECT_EQ(smallest_element_nz(m.part), 1.0);
}

// Part 3.4: the search stops when m exceeds the single-precision target 0.707 after the coarse step.
TEST(TippingSearch, CoarseStepAloneWhenTargetReached) {
  // Unit normals all along +y except one slightly up: +88 deg about x gives nz = sin 88 > 0.707.
  std::vector<double> nx{0.0, 0.0}, ny{1.0, 0.99}, nz{0.0, std::sqrt(1.0 - 0.99 * 0.99)};
  const TippingAngles angles = tipping_search(nx, ny, nz);
  EXPECT_EQ(angles.alpha, 1.5358897417550104);
  EXPECT_EQ(angles.beta, 0.0);
}

// Part 3.4: a part tilted downwards about y is found with the coarse -88 deg y step.
TEST(TippingSearch, CoarseYStepForPartFacingPlusX) {
  std::vector<double> nx{1.0, 0.98}, ny{0.0, 0.0}, nz{0.0, std::sqrt(1.0 - 0.98 * 0.98)};
  const TippingAngles angles = tipping_search(nx, ny, nz);
  EXPECT_EQ(angles.alpha, 0.0);
  EXPECT_EQ(angles.beta, -1.5358897417550104);
}

// --- manual tipping ---

// Part 3.4 edge case: MANUNOML 0.00005 and 0.00009 degrees are below 1e-4: no tipping.
TEST(ManualTipping, BelowThresholdDoesNothing) {
  Model m;
  m.grid(3, 3, [](int i, int j) { return Point{double(i), double(j), 0.3 * i * j}; });
  m.add_blank_holder(-2.0);
  RunSettings s;
  s.manunoml = {0.00005, -0.00009};
  std::ostringstream console;
  Reporter r(console, nullptr);
  const std::vector<double> x0 = m.x, y0 = m.y, hx0 = m.hx;
  auto in = m.input();
  position_model(in, s, r);
  EXPECT_EQ(s.tipping_alpha, 0.0);
  EXPECT_EQ(s.tipping_beta, 0.0);
  EXPECT_EQ(m.x, x0);
  EXPECT_EQ(m.y, y0);
  EXPECT_EQ(m.hx, hx0);
}

// Part 3.4 step 2 and the rotation rule: MANUNOML degrees are converted with 3.1415926535898/180,
// the part, its copy, tool nodes and drawbead ends are all tipped (and then levelled) alike.
TEST(ManualTipping, ToolNodesAndDrawbeadEndsMoveWithThePart) {
  Model m;
  flat_plate(m, 10);
  m.add_blank_holder(-3.0);
  m.add_drawbead({2.5, 3.5, 1.0}, {7.5, 6.5, 1.0});
  RunSettings s;
  s.manunoml = {10.0, -5.0};
  s.drawbead_count = 1;
  std::ostringstream console;
  Reporter r(console, nullptr);

  Model expected;
  flat_plate(expected, 10);
  expected.add_blank_holder(-3.0);
  expected.add_drawbead({2.5, 3.5, 1.0}, {7.5, 6.5, 1.0});
  const double alpha = 10.0 * 3.1415926535898 / 180.0, beta = -5.0 * 3.1415926535898 / 180.0;
  auto ein = expected.input();
  tip_model(ein, alpha, beta);
  const double lowest = *std::min_element(expected.z.begin(), expected.z.end());

  auto in = m.input();
  position_model(in, s, r);
  EXPECT_EQ(s.tipping_alpha, alpha);
  EXPECT_EQ(s.tipping_beta, beta);
  EXPECT_EQ(s.lowest_z, lowest);
  for (size_t i = 0; i < m.x.size(); ++i) {
    EXPECT_EQ(m.x[i], expected.x[i]) << "node " << i;
    EXPECT_EQ(m.z[i], expected.z[i] - lowest) << "node " << i;
    EXPECT_EQ(m.zc[i], expected.zc[i] - lowest) << "copy node " << i;
  }
  for (size_t i = 0; i < m.hx.size(); ++i) {
    EXPECT_EQ(m.hx[i], expected.hx[i]) << "blank-holder node " << i;
    EXPECT_EQ(m.hy[i], expected.hy[i]) << "blank-holder node " << i;
    EXPECT_EQ(m.hz[i], expected.hz[i] - lowest) << "blank-holder node " << i;
  }
  EXPECT_EQ(m.bx1[0], expected.bx1[0]);
  EXPECT_EQ(m.by2[0], expected.by2[0]);
  EXPECT_EQ(m.bz1[0], expected.bz1[0] - lowest);
  EXPECT_EQ(m.bz2[0], expected.bz2[0] - lowest);
}

// --- offset ---

// Part 3.4 edge case: OFFSET -0.5 -> "Automatic entad offset" with 0.500; console and report differ.
TEST(Offset, NegativeOffsetWritesEntadLineAndMovesAgainstNormals) {
  Model m;
  flat_plate(m, 3);
  RunSettings s;
  s.offset = -0.5;
  std::ostringstream console, report;
  Reporter r(console, &report);
  auto in = m.input();
  position_model(in, s, r);
  EXPECT_EQ(report.str(), "Automatic entad offset 0.500mm ........\n");
  const auto lines = lines_of(console);
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0], "");
  EXPECT_EQ(lines[1], " Automatic entad offset 0.500mm ........");
  EXPECT_EQ(lines[2], "");
  EXPECT_EQ(s.lowest_z, -0.5) << "every node moved 0.5 against its normal (0, 0, 1)";
  for (size_t i = 0; i < m.z.size(); ++i) EXPECT_EQ(m.zc[i], 0.0) << "copy node " << i;
}

// Part 3.4 Failure handling: a positive offset writes the "forth" line.
TEST(Offset, PositiveOffsetWritesForthLine) {
  RunSettings s;
  std::ostringstream console, report;
  Reporter r(console, &report);
  write_offset_lines(1.25, s, r);
  EXPECT_EQ(report.str(), "Automatic forth offset 1.250mm ........\n");
  EXPECT_EQ(console.str(), "\n Automatic forth offset 1.250mm ........\n\n");
}

// Part 3.4 step 7: |OFFSET| <= 1e-4 writes nothing and moves nothing.
TEST(Offset, TinyOffsetIsIgnored) {
  Model m;
  flat_plate(m, 2);
  RunSettings s;
  s.offset = 0.0001;
  std::ostringstream console;
  Reporter r(console, nullptr);
  auto in = m.input();
  position_model(in, s, r);
  EXPECT_EQ(console.str(), "");
  EXPECT_EQ(s.lowest_z, 0.0);
}

// --- levelling and draw depth ---

// Part 3.4 edge case: after levelling the smallest part z is exactly 0 and the draw depth equals
// the part's height; tools and drawbead ends are lowered by the same amount.
TEST(Levelling, SmallestZIsExactlyZeroAndDrawDepthIsHeight) {
  Model m;
  m.grid(6, 5, [](int i, int j) { return Point{double(i), double(j), 3.7 + 0.1 * i * i + 0.07 * j}; });
  m.add_blank_holder(1.3);
  m.add_drawbead({1.5, 1.5, 4.1}, {4.5, 3.5, 4.4});
  const double lowest = 3.7, highest = 3.7 + 0.1 * 6 * 6 + 0.07 * 5;
  const std::vector<double> hz0 = m.hz;
  RunSettings s;
  s.drawbead_count = 1;
  std::ostringstream console;
  Reporter r(console, nullptr);
  auto in = m.input();
  position_model(in, s, r);
  EXPECT_EQ(s.lowest_z, lowest);
  EXPECT_EQ(*std::min_element(m.z.begin(), m.z.end()), 0.0);
  EXPECT_EQ(*std::min_element(m.zc.begin(), m.zc.end()), 0.0);
  EXPECT_EQ(s.draw_depth, highest - lowest);
  for (size_t i = 0; i < hz0.size(); ++i) EXPECT_EQ(m.hz[i], hz0[i] - lowest) << "blank-holder node " << i;
  EXPECT_EQ(m.bz1[0], 4.1 - lowest);
  EXPECT_EQ(m.bz2[0], 4.4 - lowest);
}

// --- drawbead ends ---

// Part 3.4 edge case: a drawbead whose first end lies 0.35 mm outside the part edge: that end moves
// inwards in steps of 0.1 mm until it lies over an element (4 steps: -0.25, -0.15, -0.05, +0.05).
TEST(DrawbeadEnds, EndOutsideMovesInStepsUntilOverAnElement) {
  Model m;
  flat_plate(m, 10);
  m.add_drawbead({-0.35, 5.3, 0.0}, {8.5, 5.3, 0.0});
  RunSettings s;
  std::ostringstream console;
  Reporter r(console, nullptr);
  pull_drawbead_ends(m.part, m.beads(), s, r);
  double expected = -0.35;
  for (int step = 0; step < 4; ++step) expected += 0.1 * (8.5 - expected) / std::sqrt(std::pow(8.5 - expected, 2) + 1e-80);
  EXPECT_EQ(m.bx1[0], expected);
  EXPECT_NEAR(m.bx1[0], 0.05, 1e-12);
  EXPECT_EQ(m.by1[0], 5.3);
  EXPECT_EQ(m.bx2[0], 8.5) << "the second end lay over an element already";
  EXPECT_EQ(console.str(), "");
}

// Part 3.4 drawbead step 3 with P2: the second end moves towards the first (P2 -= step u).
TEST(DrawbeadEnds, SecondEndMovesTowardsFirst) {
  Model m;
  flat_plate(m, 10);
  m.add_drawbead({2.3, 2.3, 0.0}, {10.25, 10.25, 0.0});
  RunSettings s;
  std::ostringstream console;
  Reporter r(console, nullptr);
  pull_drawbead_ends(m.part, m.beads(), s, r);
  EXPECT_EQ(m.bx1[0], 2.3);
  EXPECT_NEAR(m.bx2[0], 10.25 - 0.4 / std::sqrt(2.0), 1e-12);
  EXPECT_NEAR(m.by2[0], m.bx2[0], 1e-12);
  EXPECT_LT(m.bx2[0], 10.0);
}

// Part 3.4 drawbead step 4 (nudge cycle, Left to the implementer): an end on a shared element edge
// is nudged by (+step, +step) first and then lies inside an element.
TEST(DrawbeadEnds, EndOnSharedEdgeIsNudgedDiagonally) {
  Model m;
  flat_plate(m, 10);
  m.add_drawbead({5.0, 5.5, 0.0}, {8.5, 5.5, 0.0});
  RunSettings s;
  std::ostringstream console;
  Reporter r(console, nullptr);
  pull_drawbead_ends(m.part, m.beads(), s, r);
  EXPECT_EQ(m.bx1[0], 5.0 + 0.1);
  EXPECT_EQ(m.by1[0], 5.5 + 0.1);
}

// Part 3.4 drawbead step 4: an end on the corner of the part, where (+step, +step) lands outside, takes
// the next diagonal of the cycle (-step, +step) ... and ends over an element.
TEST(DrawbeadEnds, EndOnPartCornerTakesTheDiagonalThatLandsInside) {
  Model m;
  flat_plate(m, 10);
  m.add_drawbead({10.0, 0.0, 0.0}, {10.0, -5.0, 0.0});  // the other end lies outside: no step inwards helps
  RunSettings s;
  std::ostringstream console;
  Reporter r(console, nullptr);
  pull_drawbead_ends(m.part, m.beads(), s, r);
  EXPECT_EQ(m.bx1[0], 10.0 - 0.1);
  EXPECT_EQ(m.by1[0], 0.0 + 0.1);
}

// Part 3.4 Failure handling: a drawbead entirely outside the part is given up when it gets shorter than
// the minimum length; the message appears only at message level 1, never in a normal run (level 2).
TEST(DrawbeadEnds, BeadOutsidePartIsGivenUpWithMessageOnlyAtLevel1) {
  for (int32_t level : {2, 1}) {
    Model m;
    flat_plate(m, 10);
    m.add_drawbead({20.05, 5.5, 0.0}, {25.05, 5.5, 0.0});
    m.add_drawbead({2.5, 2.5, 0.0}, {30.0, 40.0, 0.0});
    RunSettings s;
    s.message_level = level;
    std::ostringstream console, report;
    Reporter r(console, &report);
    pull_drawbead_ends(m.part, m.beads(), s, r);
    if (level == 2) {
      EXPECT_EQ(console.str(), "");
    } else {
      const std::string line = "******* The  1 th drawbead\"s position is incorrect *******\n";
      EXPECT_EQ(console.str(), line + line) << "both ends of drawbead 1 given up";
      EXPECT_EQ(report.str(), console.str());
    }
    EXPECT_LT(std::hypot(m.bx2[0] - m.bx1[0], m.by2[0] - m.by1[0]), 2 * s.drawbead_min_length);
    EXPECT_LE(m.bx2[1], 10.0) << "drawbead 2's second end pulled over the part";
    EXPECT_LE(m.by2[1], 10.0);
  }
}

// Part 3.4 drawbead procedure (termination, Left to the implementer): with a minimum length below the
// step an end would swing about the other end for ever; it is given up instead.
TEST(DrawbeadEnds, MinimumLengthBelowStepStillTerminates) {
  Model m;
  flat_plate(m, 10);
  m.add_drawbead({20.0, 5.5, 0.0}, {20.93, 5.5, 0.0});
  RunSettings s;
  s.drawbead_min_length = 0.001;
  std::ostringstream console;
  Reporter r(console, nullptr);
  pull_drawbead_ends(m.part, m.beads(), s, r);
  EXPECT_GT(m.bx1[0], 20.0);
}

// Part 3.4 drawbead step 4: an end outside the part but on the line through element edges (y = 5)
// is nudged, then keeps stepping towards the other end until it lies over an element.
TEST(DrawbeadEnds, EndOnEdgeLineOutsidePartStepsInwards) {
  Model m;
  flat_plate(m, 10);
  m.add_drawbead({-1.0, 5.0, 0.0}, {6.0, 5.0, 0.0});
  RunSettings s;
  std::ostringstream console;
  Reporter r(console, nullptr);
  pull_drawbead_ends(m.part, m.beads(), s, r);
  EXPECT_GT(m.bx1[0], 0.0);
  EXPECT_LT(m.bx1[0], 0.25);
  EXPECT_NE(m.by1[0], 5.0) << "nudged off the edge line into an element";
}

// --- restraint category and binder steepness ---

// Part 3.4 step 11.
TEST(RestraintCategory, FromContractionLinesAndRestraints) {
  RunSettings s;  // defaults: friction2 0.13, bhforce 0, pad_coefficient 0.2, holforce 0
  EXPECT_EQ(restraint_category(s), 11);
  s.contraty_count = 2;
  EXPECT_EQ(restraint_category(s), 12);
  s.contraty_count = 0;
  s.contratx_count = 1;
  EXPECT_EQ(restraint_category(s), 13);
  s.contraty_count = 1;
  EXPECT_EQ(restraint_category(s), 0);
  s.contratx_count = s.contraty_count = 0;
  s.drawbead_count = 1;
  EXPECT_EQ(restraint_category(s), 1);
  s.drawbead_count = 0;
  s.bhforce = 10.0;
  EXPECT_EQ(restraint_category(s), 1);
  s.friction2 = 0.0009;
  EXPECT_EQ(restraint_category(s), 11);
  s.holforce = 10.0;
  EXPECT_EQ(restraint_category(s), 1);
  s.pad_coefficient = 0.0;
  EXPECT_EQ(restraint_category(s), 11);
}

// Part 3.4 step 13: thresholds 0.8, 0.7, 0.6, 0.4 on the binder's smallest element nz.
TEST(BinderSteepness, FactorFromSmallestBinderNormalZ) {
  const std::vector<std::pair<double, double>> cases{{0.95, 0.77}, {0.8, 0.77}, {0.75, 0.9}, {0.65, 0.5},
                                                     {0.5, 0.2},   {0.3, 0.1}};
  for (const auto& [nz, factor] : cases) {
    // A quadrilateral (0,0,0) (1,0,0) (1,1,h) (0,1,h) has nz = 1 / sqrt(1 + h^2).
    const double h = std::sqrt(1.0 / (nz * nz) - 1.0);
    std::vector<double> x{0, 1, 1, 0}, y{0, 0, 1, 1}, z{0, 0, h, h};
    std::vector<int32_t> conn{0, 1, 2, 3};
    const Mesh binder{4, 1, x, y, z, conn, {}};
    if (nz == 0.8) {
      ASSERT_EQ(smallest_element_nz(binder), 0.8) << "the threshold itself keeps the factor";
    }
    EXPECT_EQ(binder_steepness_factor(binder, 0.77), factor) << "binder nz " << smallest_element_nz(binder);
  }
}

// --- generated tilted parts ---

// Reads SHETNODE and SHETQUAD lines of a generated part (test-only: ids mapped to 0-based indices).
void read_generated_part(const std::string& path, Model& m) {
  std::ifstream file(path);
  ASSERT_TRUE(file) << path;
  std::map<long, int32_t> node_index;
  std::vector<std::array<long, 4>> element_ids;
  for (std::string line; std::getline(file, line);) {
    std::istringstream fields(line);
    std::string keyword;
    fields >> keyword;
    if (keyword == "SHETNODE") {
      long id;
      Point p;
      fields >> id >> p.x >> p.y >> p.z;
      node_index[id] = static_cast<int32_t>(m.x.size());
      m.add_node(p);
    } else if (keyword == "SHETQUAD") {
      long id;
      std::array<long, 4> n;
      fields >> id >> n[0] >> n[1] >> n[2] >> n[3];
      element_ids.push_back(n);
    }
  }
  std::vector<std::array<int32_t, 4>> elements;
  for (const auto& n : element_ids) elements.push_back({node_index[n[0]], node_index[n[1]], node_index[n[2]], node_index[n[3]]});
  m.set_elements(elements);
}

// The number after "key": in a ref.json file (test-only: the first occurrence).
double json_number(const std::string& path, const std::string& key) {
  std::ifstream file(path);
  std::stringstream text;
  text << file.rdbuf();
  const std::string all = text.str();
  const size_t at = all.find("\"" + key + "\":");
  EXPECT_NE(at, std::string::npos) << key << " in " << path;
  return at == std::string::npos ? 0.0 : std::stod(all.substr(at + key.size() + 3));
}

// Part 3.4 (automatic tipping) on the generated tilted parts: cup_tilted (15 deg about x, then
// 10 deg about y) and box_tilted (turned about z, then 20 deg about y) are tipped back by the search
// so that the smallest element nz, about -0.3 as given, rises above the undercut tolerance; the
// whole-degree tilts are found exactly (the vertical walls of the canonical pose have nz = 0).
TEST(AutomaticTipping, GeneratedTiltedPartsAreTippedBack) {
  for (const std::string name : {"cup_tilted", "box_tilted"}) {
    const std::string base = std::string(TREVO_SHARED_DIR) + "/validation/generated/" + name;
    const double tilt_x = json_number(base + ".ref.json", "tilt_x_deg");
    const double tilt_y = json_number(base + ".ref.json", "tilt_y_deg");
    Model m;
    read_generated_part(base + ".dat", m);
    ASSERT_GT(m.part.ne, 1000) << name;
    EXPECT_LT(smallest_element_nz(m.part), -0.3) << name;
    RunSettings s;
    s.autonoml = 1;
    std::ostringstream console;
    Reporter r(console, nullptr);
    auto in = m.input();
    position_model(in, s, r);
    const double after = smallest_element_nz(m.part);
    EXPECT_GT(after, s.undercut_tolerance) << name;
    EXPECT_GT(after, -1e-6) << name;
    EXPECT_NEAR(s.tipping_alpha, -tilt_x * kDeg, 1e-12) << name;
    EXPECT_NEAR(s.tipping_beta, -tilt_y * kDeg, 1e-12) << name;
    EXPECT_EQ(s.method, 1) << name;
    EXPECT_NEAR(s.smallest_nz, after, 1e-12) << name << ": from check 3";
    EXPECT_EQ(*std::min_element(m.z.begin(), m.z.end()), 0.0) << name;
    EXPECT_NEAR(s.draw_depth, json_number(base + ".ref.json", "depth"), 1e-6) << name;
  }
}

}  // namespace
}  // namespace trevo
