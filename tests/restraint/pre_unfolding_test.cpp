// The pre-unfolding and its corotational membrane.
#include "restraint/pre_unfolding.h"

#include <gtest/gtest.h>

#include <cmath>

#include "../solver/solver_fixtures.h"
#include "restraint/corotational_membrane.h"
#include "solver/iteration_control.h"

namespace trevo {
namespace {

using Points = std::array<std::array<double, 3>, 4>;

double largest_force(const CorotationalMembrane& m) {
  double largest = 0.0;
  for (double f : m.restoring) largest = std::max(largest, std::fabs(f));
  return largest;
}

// Triangles (a slender one, a wall in the plane x = 2 that the projection collapses onto a line) and
// quadrilaterals (one a wall).
TEST(CorotationalMembrane, RigidMotionGivesNoForceAndAnyDistortionNoNetForceOrTorque) {
  for (const Points& p : {Points{{{0, 0, 0}, {4, 0.5, 0}, {1, 3, 0}, {1, 3, 0}}},
                          {{{0, 0, 0}, {9, 0.2, 0}, {3, 1, 0}, {3, 1, 0}}},
                          {{{2, 0, 0}, {2, 4, 0.5}, {2, 1, 3}, {2, 1, 3}}},
                          {{{0, 0, 0}, {4, 0, 0}, {4.5, 3, 0}, {-0.5, 2.5, 0}}},
                          {{{2, 0, 0}, {2, 4, 0}, {2, 4, 3}, {2, 0, 3}}}}) {
    const ElementGeometry g = element_geometry(p, p[2] == p[3] ? 3 : 4);
    for (const double angle : {0.0, 0.3, 1.7, 3.1, -2.4}) {
      BlankCorners moved;
      for (int k = 0; k < g.corners; ++k)
        moved.X[k] = 5.0 + std::cos(angle) * g.x[k] - std::sin(angle) * g.y[k],
        moved.Y[k] = -7.0 + std::sin(angle) * g.x[k] + std::cos(angle) * g.y[k];
      EXPECT_LT(largest_force(corotational_membrane(g, 10000.0, 1.3, moved)), 1e-8) << "angle " << angle;
    }
    const BlankCorners distorted[] = {{{0.3, 5.0, 1.5, -0.5}, {0.0, 1.0, 2.5, 2.0}},    // stretched and sheared
                                      {{0.0, 2.0, 1.0, 0.2}, {0.0, 0.1, 3.0, 2.0}},     // squashed
                                      {{1.0, 3.0, 2.0, 1.5}, {1.0, 1.0, 1.0, 1.0}},     // on a line
                                      {{0.0, 4.0, 1.0, 0.5}, {0.0, 0.5, -3.0, -2.0}}};  // inverted
    for (const BlankCorners& b : distorted) {
      const CorotationalMembrane m = corotational_membrane(g, 10000.0, 1.0, b);
      double fx = 0.0, fy = 0.0, torque = 0.0;
      for (int k = 0; k < g.corners; ++k) {
        fx += m.restoring[2 * k], fy += m.restoring[2 * k + 1];
        torque += b.X[k] * m.restoring[2 * k + 1] - b.Y[k] * m.restoring[2 * k];
      }
      const double scale = 10.0 * largest_force(m);
      EXPECT_GT(scale, 1.0);
      EXPECT_LT(std::hypot(fx, fy, torque), 1e-10 * scale) << g.corners << " corners at " << b.X[0] << ", " << b.Y[0];
      for (int i = 0; i < 8; ++i)
        for (int j = 0; j < 8; ++j) EXPECT_NEAR(m.stiffness[i * 8 + j], m.stiffness[j * 8 + i], 1e-9 * m.stiffness[0]);
    }
  }
}

test::OwnedMesh flat() {
  test::OwnedMesh m = test::make_grid(10, 6, 2.0, 1.0, {3, 8, 20, 41});
  for (double& z : m.z) z = 5.0;
  return m;
}

struct Unfolding : test::OneStepRun {
  explicit Unfolding(test::OwnedMesh m) : OneStepRun(std::move(m)) { settings.method = 1, settings.smallest_nz = 0.0; }
  test::Captured out;
  double unfold() { return pre_unfold(model, state, {}, settings, out.reporter); }
};

// The projection spans 16; every row of the blank spans the developed 24 (to 2 %: the pass stops at
// ADP < 0.5, a little short of the balance), without inverted elements, keeping the projection's
// centroid and the direction of the part's x axis, with or without a turn of 0.05 in the warm start.
TEST(PreUnfolding, CollapsedWallsAreLaidOutWithoutTurningTheBlank) {
  for (const double turn : {0.0, 0.05}) {
    std::set<int32_t> all;  // every cell as two triangles
    for (int32_t cell = 0; cell < 24 * 8; ++cell) all.insert(cell);
    Unfolding r(test::hat_section(test::make_grid(24, 8, 1.0, 1.0, all)));
    for (size_t i = 0; i < r.nn; ++i)
      r.cg[0][2 * i] = -turn * (r.part.y[i] - 4.0), r.cg[0][2 * i + 1] = turn * (r.part.x[i] - 8.0);
    EXPECT_LT(r.unfold(), 0.5) << r.out.console.str();
    EXPECT_EQ(inverted_element_count(r.part, r.X, r.Y), 0);
    EXPECT_EQ(r.out.console.str().find("new iteration"), std::string::npos) << r.out.console.str();
    double dx = 0.0, dy = 0.0;
    for (size_t i = 0; i < r.nn; ++i) dx += r.X[i] - r.part.x[i], dy += r.Y[i] - r.part.y[i];
    EXPECT_NEAR(dx / r.nn, 0.0, 1e-9);
    EXPECT_NEAR(dy / r.nn, 0.0, 1e-9);
    for (int32_t row = 0; row < 9; ++row) {
      const int32_t a = row * 25, b = a + 24;
      EXPECT_NEAR(std::hypot(r.X[b] - r.X[a], r.Y[b] - r.Y[a]), 24.0, 0.4) << "row " << row;
      EXPECT_NEAR(std::atan2(r.Y[b] - r.Y[a], r.X[b] - r.X[a]), 0.0, 3e-3) << "row " << row;
    }
  }
}

// Every element given clockwise (its projection inverted) and every node held: neither pass can turn
// it, so the restart line is followed by the orientation message, and the iteration is stopped.
TEST(PreUnfolding, InvertedTwiceWithoutBinderStopsTheIteration) {
  test::OwnedMesh m = flat();
  for (int32_t e = 0; e < m.ne(); ++e) test::reverse_row(m, e);
  Unfolding r(std::move(m));
  std::fill(r.held_x.begin(), r.held_x.end(), 1);
  std::fill(r.held_y.begin(), r.held_y.end(), 1);
  r.settings.smallest_nz = 1.0;
  r.unfold();
  EXPECT_GT(inverted_element_count(r.part, r.X, r.Y), 0);
  const std::string text = r.out.console.str();
  const size_t restart = text.find("....... Start a new iteration .......");
  ASSERT_NE(restart, std::string::npos) << text;
  const std::string failed = " ******* TREVO failed due to model orientation.\n          Tip the part and try again";
  EXPECT_NE(text.find(failed + " *******.\n", restart), std::string::npos) << text;
  EXPECT_EQ(r.settings.iteration_limit, 0);
  EXPECT_EQ(r.settings.method, 0);
}

}  // namespace
}  // namespace trevo
