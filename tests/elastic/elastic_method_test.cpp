// The elastic approximation method on small parts with known developments: the circle
// construction of a new node, the element-angle and orientation checks with their messages, the
// unfolded blank of developable parts (overhanging ones included) against their exact
// development, the band a stage relaxes around its front, and the final relaxation that puts
// constrained nodes where their lines say.
#include "elastic/elastic_method.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numeric>

#include "../test_mesh.h"
#include "core/run_stop.h"
#include "prepare/matrix_pattern.h"
#include "elastic/band_relaxation.h"
#include "elastic/circle_placement.h"
#include "elastic/elastic_checks.h"
#include "elastic/progressive_unfolding.h"
#include "solver/iteration_control.h"

namespace trevo {
namespace {

constexpr double kPi = 3.14159265358979323846;

// Triangles A, B, Q with Q left of A->B, in every direction of A->B (both solve orders), placed
// from the exact side lengths: Q comes back; from A and B twice as far apart: the sides scale by
// 2^0.618 (no widening: the triangle is not flat).
TEST(CirclePlacement, ThirdCornerFromSideLengths) {
  struct Case { PlanePoint a, b, q; };
  const std::vector<Case> cases = {{{0, 0}, {3, 0}, {1, 2}},     {{0, 0}, {0.2, 3}, {-2, 1}},
                                   {{1, 1}, {-2, -1}, {0, -3}},  {{5, -2}, {5.5, -6}, {8, -3}},
                                   {{0, 0}, {1, 1}, {-0.2, 2}},  {{2, 3}, {2, 7}, {0, 5}}};
  for (size_t i = 0; i < cases.size(); ++i) {
    const Case& c = cases[i];
    auto dist = [](PlanePoint p, PlanePoint q) { return std::hypot(p.X - q.X, p.Y - q.Y); };
    const double ab = dist(c.a, c.b), aq = dist(c.a, c.q), bq = dist(c.b, c.q);
    const PlacedNode p = place_new_node(c.a, c.b, ab, aq, bq);
    EXPECT_NEAR(p.q.X, c.q.X, 1e-9) << i;
    EXPECT_NEAR(p.q.Y, c.q.Y, 1e-9) << i;
    EXPECT_EQ(p.warning, PlacementWarning::none) << i;
    const PlanePoint far{c.a.X + 2 * (c.b.X - c.a.X), c.a.Y + 2 * (c.b.Y - c.a.Y)};
    const PlacedNode s = place_new_node(c.a, far, ab, aq, bq);
    EXPECT_NEAR(dist(c.a, s.q), std::pow(2.0, 0.618) * aq, 1e-9) << i;
    EXPECT_NEAR(dist(far, s.q), std::pow(2.0, 0.618) * bq, 1e-9) << i;
    EXPECT_GT((far.X - c.a.X) * (s.q.Y - c.a.Y) - (far.Y - c.a.Y) * (s.q.X - c.a.X), 0.0) << i;
  }
  // A flat triangle: the point is placed all the same, with the line of its solve order.
  EXPECT_EQ(place_new_node({0, 0}, {2, 0}, 2, 1, 1).warning, PlacementWarning::collinear_y_first);
  EXPECT_EQ(place_new_node({0, 0}, {0, 2}, 2, 1, 1).warning, PlacementWarning::collinear_x_first);
  EXPECT_STREQ(placement_warning_text(PlacementWarning::collinear_y_first), "*******  ERROR *******");
  EXPECT_STREQ(placement_warning_text(PlacementWarning::collinear_x_first), "******* ERROR *******");
}

// Triangles with a corner of `deg` at node 1 (or node 2): reported with that angle below 2 deg and
// above 178 deg, with the exact console and report records; a corner of 3 deg is not.
TEST(ElementAngleCheck, SharpAndFlatCornersAtTheFirstTwoNodes) {
  struct Case { double deg; int at; bool reported; std::string angle13, angle12; };
  const std::vector<Case> cases = {{1.0, 0, true, "   1.0000    ", "  1.0000    "},
                                   {179.0, 0, true, "   179.00    ", "  179.00    "},
                                   {1.5, 1, true, "   1.5000    ", "  1.5000    "},
                                   {3.0, 0, false, "", ""},
                                   {3.0, 1, false, "", ""}};
  for (const Case& c : cases) {
    const double t = c.deg * kPi / 180.0;  // the second triangle's corner at the origin: one side along x, one at t
    test::OwnedMesh m = test::make_mesh({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {10.0 * c.at, 0, 0}, {10.0 - 10.0 * c.at, 0, 0},
                                         {10 * std::cos(t), 10 * std::sin(t), 0}}, {{0, 1, 2, 2}, {3, 4, 5, 5}});
    test::Captured out;
    element_angle_check(m.view(), 2, out.reporter);
    const std::string head = "    2 bad elements in the model, that may affect accuracy.........";
    EXPECT_EQ(out.console.str(), c.reported ? head + "\nAngle is," + c.angle13 + "\n" : "") << c.deg;
    EXPECT_EQ(out.report.str(), c.reported ? head + "  Angle," + c.angle12 + "\n" : "") << c.deg;
    EXPECT_NEAR(reported_corner_angle(m.view(), 1), c.reported ? c.deg : -1.0, 1e-6) << c.deg;
  }
}

// A flat grid given partly the wrong way round comes out oriented upwards; two pieces with no
// shared edge stop the run with the overlap lines (their texts end to end in
// tests/e2e/elastic_method_e2e_test.cpp), at message level 2 only.
TEST(OrientationAndOverlap, OrientsConnectedPartsAndStopsOnSeparatePieces) {
  test::OwnedMesh m = test::make_grid(4, 3, 1, 1, {2, 7});
  for (int32_t e : {0, 3, 5, 8}) test::reverse_row(m, e);
  std::vector<int32_t> nb = test::brute_force_neighbours(m.view());
  std::vector<double> nz(m.ne());
  std::vector<int32_t> mark(m.ne());
  Mesh view = m.view();
  EXPECT_TRUE(orient_for_unfolding(view, nb, nz, mark));
  EXPECT_TRUE(test::agreeing(view, nb));
  unfolding_seed(view, nz);
  for (int32_t e = 0; e < m.ne(); ++e) EXPECT_GT(nz[e], 0.99) << e;
  test::add_grid(m, 2, 2, 10.0, 0.0);  // a second piece
  nb = test::brute_force_neighbours(m.view()), nz.assign(m.ne(), 0.0), mark.assign(m.ne(), 0), view = m.view();
  test::Captured out, quiet;
  EXPECT_THROW(orientation_and_overlap_check(view, nb, nz, mark, 2, out.reporter), RunStopped);
  EXPECT_NO_THROW(orientation_and_overlap_check(view, nb, nz, mark, 1, quiet.reporter));
  EXPECT_EQ(quiet.console.str(), "");
}

// A strip of nx x ny cells on an arc of a cylinder about the x axis (radius r) from angle -span/2
// to span/2, centred on the top: past 180 deg its ends overhang (normals down to cos(span/2)).
test::OwnedMesh arc_strip(int nx, int ny, double r, double span, const std::set<int32_t>& split) {
  test::OwnedMesh m = test::make_grid(nx, ny, 1.0, r * span / ny, split);
  for (int32_t i = 0; i < m.nn(); ++i) {
    const double phi = m.y[i] / r - span / 2;
    m.y[i] = r * std::sin(phi), m.z[i] = r * std::cos(phi);
  }
  return m;
}

// On a flat 5 x 5 grid whose top row is not yet unfolded, the band around the corner element:
// one ring holds the 4 elements at its nodes, two rings 9, and the band meets the rest of the
// region at 5 nodes; the marks are clear again afterwards. Relaxed with those nodes held, a
// band whose middle node was pushed aside puts it back where the flat part has it.
TEST(BandRelaxation, BandAroundTheFrontAndItsHeldEdge) {
  test::OwnedMesh m = test::make_grid(5, 5);
  const Mesh part = m.view();
  std::vector<int32_t> pointer(part.nn + 1), node_marks(part.nn), element_marks(part.ne), in_region(part.ne, 1);
  std::vector<int32_t> list(node_element_pointer(part, pointer));
  node_element_list(part, pointer, list);
  for (int32_t e = 20; e < 25; ++e) in_region[e] = 0;
  const NodeElementIndex index{pointer, list};
  const BandMarks marks{node_marks, element_marks};
  const std::vector<int32_t> front = {0};
  EXPECT_EQ(band_elements(part, index, in_region, front, 1, marks), (std::vector<int32_t>{0, 1, 5, 6}));
  EXPECT_EQ(band_elements(part, index, in_region, front, 2, marks).size(), 9u);
  const std::vector<int32_t> band = band_elements(part, index, in_region, front, 1, marks);
  std::vector<int32_t> boundary = band_boundary(part, index, in_region, band, marks);
  std::sort(boundary.begin(), boundary.end());
  EXPECT_EQ(boundary, (std::vector<int32_t>{2, 8, 12, 13, 14}));
  EXPECT_EQ(std::count(node_marks.begin(), node_marks.end(), 0), part.nn);
  EXPECT_EQ(std::count(element_marks.begin(), element_marks.end(), 0), part.ne);

  ElasticSystem whole;
  whole.part = part;
  std::vector<double> X(m.x), Y(m.y);
  X[7] += 0.3, Y[7] -= 0.2;  // the band's middle node
  std::vector<PrescribedDisplacement> held;
  for (int32_t n : boundary) held.push_back({2 * n, 0.0}), held.push_back({2 * n + 1, 0.0});
  test::Captured out;
  const RelaxationOutcome r = subregion_relaxation(whole, band, held, marks, X, Y, StageControls{}, 2, out.reporter);
  EXPECT_TRUE(r.settled);
  EXPECT_NEAR(X[7], m.x[7], 1e-6);
  EXPECT_NEAR(Y[7], m.y[7], 1e-6);
  for (int32_t n : boundary) EXPECT_TRUE(X[n] == m.x[n] && Y[n] == m.y[n]) << "held node " << n << " moved";
  EXPECT_EQ(X[20], m.x[20]);  // outside the band
}

struct Unfolded {
  std::vector<double> X, Y;
  std::string console;
  ElasticMethodResult result;
};

Unfolded run_method(test::OwnedMesh& m, const std::vector<ConstraintLine>& lines = {}) {
  std::vector<int32_t> nb = test::brute_force_neighbours(m.view());
  WorkArray work(2'000'000);
  test::Captured out;
  Unfolded u;
  u.X.assign(m.nn(), 0.0), u.Y.assign(m.nn(), 0.0);
  u.result = elastic_approximation_method({m.view(), nb, lines}, work, 1, 2, out.reporter, u.X, u.Y);
  u.console = out.console.str();
  return u;
}

// Largest difference between the blank's edge lengths and the part's (the development keeps them).
double edge_length_error(const test::OwnedMesh& m, const Unfolded& u) {
  double worst = 0;
  for (int32_t e = 0; e < m.ne(); ++e)
    for (int k = 0; k < m.corners[e]; ++k) {
      const int32_t a = m.conn[k * m.ne() + e], b = m.conn[((k + 1) % m.corners[e]) * m.ne() + e];
      const double part = std::hypot(m.x[a] - m.x[b], m.y[a] - m.y[b], m.z[a] - m.z[b]);
      worst = std::max(worst, std::fabs(std::hypot(u.X[a] - u.X[b], u.Y[a] - u.Y[b]) - part));
    }
  return worst;
}

// Developable strips, shallow, half round and overhanging (up to 300 deg of arc), quadrilaterals and
// triangles: the blank keeps every edge length, no element is inverted, no placement is reported; turned
// about z, the part gives the same blank turned.
TEST(ElasticMethod, DevelopableStripsUnfoldToTheirDevelopment) {
  struct Case { double span_deg; std::set<int32_t> split; };
  const std::vector<Case> cases = {{60, {}}, {180, {}}, {250, {1, 5, 9, 30}}, {300, {}}};
  for (const Case& c : cases) {
    test::OwnedMesh m = arc_strip(6, 24, 10.0, c.span_deg * kPi / 180.0, c.split);
    const Unfolded u = run_method(m);
    EXPECT_TRUE(u.result.complete) << c.span_deg;
    EXPECT_FALSE(u.result.relaxed);
    EXPECT_LT(edge_length_error(m, u), 1e-6) << c.span_deg << "\n" << u.console;
    EXPECT_EQ(inverted_element_count(m.view(), u.X, u.Y), 0) << c.span_deg;
    EXPECT_EQ(u.console.find("ERROR"), std::string::npos) << u.console;

    test::OwnedMesh turned = m;
    const double t = 0.7;
    for (int32_t i = 0; i < m.nn(); ++i)
      turned.x[i] = std::cos(t) * m.x[i] - std::sin(t) * m.y[i], turned.y[i] = std::sin(t) * m.x[i] + std::cos(t) * m.y[i];
    const Unfolded v = run_method(turned);
    double worst = 0;  // pairwise distances agree, so the blanks differ by a rigid motion
    for (int32_t i = 0; i < m.nn(); i += 7)
      for (int32_t j = i + 1; j < m.nn(); j += 5)
        worst = std::max(worst, std::fabs(std::hypot(u.X[i] - u.X[j], u.Y[i] - u.Y[j]) -
                                          std::hypot(v.X[i] - v.X[j], v.Y[i] - v.Y[j])));
    EXPECT_LT(worst, 1e-6) << c.span_deg;
  }
}

// CONTRATX / CONTRATY lines: the final relaxation runs and puts each held node at its part coordinate
// plus the value (value 0: at its part x), keeping the blank's shape; its progress lines follow the
// unfolding's.
TEST(ElasticMethod, FinalRelaxationPutsHeldNodesWhereTheirLinesSay) {
  test::OwnedMesh m = arc_strip(4, 12, 10.0, kPi, {});
  const std::vector<ConstraintLine> lines = {{0, "1 3 0.0"}, {1, "1 3 2.5"}, {0, "2 40 0.2"}};
  const Unfolded held = run_method(m, lines);
  EXPECT_TRUE(held.result.relaxed);
  EXPECT_NEAR(held.X[2], m.x[2], 1e-4);
  EXPECT_NEAR(held.Y[2], m.y[2] + 2.5, 1e-4);
  EXPECT_NEAR(held.X[39], m.x[39] + 0.2, 1e-4);
  EXPECT_NE(held.console.find(" NN1=  1  DEPXY="), std::string::npos);
  EXPECT_EQ(held.console.find("Failed to complete"), std::string::npos) << held.console;
  // Two X holds 0.2 mm further apart than the development: the blank is stretched, not broken.
  EXPECT_LT(edge_length_error(m, held), 0.2);
  EXPECT_EQ(inverted_element_count(m.view(), held.X, held.Y), 0);
}

// Counting and reading the constraint lines: rows by their index, a bad index or value reported by
// the position of its line.
TEST(ConstraintLines, CountedAndReadByIndex) {
  const std::vector<ConstraintLine> lines = {{0, "2 17 1.5"}, {1, "1 4 -2"}, {0, "1 9 0"}, {1, "3, 5, 0.25"}};
  EXPECT_EQ(count_constraint_lines(lines, 0), 2);
  EXPECT_EQ(count_constraint_lines(lines, 1), 2);
  std::vector<int32_t> nodes(2);
  std::vector<double> values(2);
  EXPECT_EQ(read_constraint_lines(lines, 0, {nodes, values}), -1);
  EXPECT_EQ(nodes, (std::vector<int32_t>{9, 17}));
  EXPECT_EQ(values, (std::vector<double>{0.0, 1.5}));
  EXPECT_EQ(read_constraint_lines(lines, 1, {nodes, values}), 3) << "index 3 of 2 rows";
  const std::vector<ConstraintLine> bad = {{0, "1 x 2"}};
  EXPECT_EQ(read_constraint_lines(bad, 0, {std::span(nodes).first(1), std::span(values).first(1)}), 0);
}

}  // namespace
}  // namespace trevo
