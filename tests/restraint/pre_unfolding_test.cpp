// Pre-unfolding: a flat part stays exact; a triangle-meshed hat section whose vertical
// walls the projection collapses onto lines is laid out to its developed width; a rigid
// turn left in the solver's warm start does not keep the blank turning.
// Spec: Part 5.2 (Pre-unfolding; Edge cases; Left to the implementer: the membrane).
#include "restraint/pre_unfolding.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <sstream>
#include <vector>

#include "../solver/solver_test_matrix.h"
#include "../test_mesh.h"
#include "solver/iteration_control.h"

namespace trevo {
namespace {

// Developed length s across the hat (0..24, grid column) to (x, z): flange 0..4 at z 4,
// vertical wall 4..8, bottom 8..16 at z 0, vertical wall 16..20, flange 20..24.
void hat_profile(double s, double& x, double& z) {
  if (s <= 4.0) x = s, z = 4.0;
  else if (s <= 8.0) x = 4.0, z = 8.0 - s;
  else if (s <= 16.0) x = s - 4.0, z = 0.0;
  else if (s <= 20.0) x = 12.0, z = s - 16.0;
  else x = s - 8.0, z = 4.0;
}

// Every cell split into two triangles (a, b, c), (a, c, d): counter-clockwise from above.
test::OwnedMesh hat_mesh() {
  std::set<int32_t> all;
  for (int32_t cell = 0; cell < 24 * 8; ++cell) all.insert(cell);
  test::OwnedMesh m = test::make_grid(24, 8, 1.0, 1.0, all);
  for (int32_t i = 0; i < m.nn(); ++i) hat_profile(m.x[i], m.x[i], m.z[i]);
  return m;
}

test::OwnedMesh flat_mesh() {
  test::OwnedMesh m = test::make_grid(10, 6, 1.0, 1.0, {3, 8, 20, 41});
  for (int32_t i = 0; i < m.nn(); ++i) m.x[i] *= 2.0, m.z[i] = 5.0;
  return m;
}

// Model, state and settings of a pre-unfolding run (method 1: tol = 0.5).
struct UnfoldingRun {
  test::OwnedMesh mesh;
  Mesh part = mesh.view();
  test::OwnedMatrix matrix = test::matrix_pattern(part);
  std::vector<ElementGeometry> geometry = std::vector<ElementGeometry>(part.ne);
  std::vector<double> h0 = std::vector<double>(part.ne, 1.0);
  std::vector<int32_t> scatter = std::vector<int32_t>(scatter_map_size(part.ne));
  std::vector<int32_t> held_x = std::vector<int32_t>(part.nn, 0), held_y = std::vector<int32_t>(part.nn, 0);
  std::vector<double> X = std::vector<double>(part.nn), Y = X, Zb = X;
  std::vector<double> dU = std::vector<double>(2 * part.nn), R = dU, cx = dU, cz = dU, cd = dU, cp = dU, cw = dU,
                      cs = dU;
  OneStepModel model;
  OneStepState state;
  RunSettings settings;
  std::ostringstream console;
  Reporter reporter{console, nullptr};

  explicit UnfoldingRun(test::OwnedMesh m) : mesh(std::move(m)) {
    element_geometries(part, geometry);
    scatter_map(part, matrix.view(), scatter);
    model.part = part;
    model.geometry = geometry;
    model.h0 = h0;
    model.scatter = scatter;
    model.held = {held_x, held_y};
    state.X = X, state.Y = Y, state.Zb = Zb, state.dU = dU, state.R = R;
    state.k = matrix.view();
    state.cg = {cx, cz, cd, cp, cw, cs};
    settings.method = 1;
    settings.smallest_nz = 0.0;
  }

  double unfold() { return pre_unfold(model, state, {}, settings, reporter); }
};

double width_along_x(const UnfoldingRun& r, int32_t row) {
  const int32_t first = row * 25, last = first + 24;
  return std::hypot(r.X[last] - r.X[first], r.Y[last] - r.Y[first]);
}

// Part 5.2 edge case: a flat part is its own blank, ADP below tol at the first iteration,
// no restart message.
TEST(PreUnfoldingPass, FlatPartIsExactAtFirstIteration) {
  UnfoldingRun r(flat_mesh());
  r.settings.smallest_nz = 1.0;
  const double adp = r.unfold();
  EXPECT_LT(adp, 0.5);
  EXPECT_NE(r.console.str().find("NN1=  1"), std::string::npos) << r.console.str();
  EXPECT_EQ(r.console.str().find("NN1=  2"), std::string::npos) << "more than one iteration:\n" << r.console.str();
  EXPECT_EQ(r.console.str().find("new iteration"), std::string::npos) << r.console.str();
  for (int32_t i = 0; i < r.part.nn; ++i) {
    EXPECT_NEAR(r.X[i], r.part.x[i], 1e-9) << "node " << i;
    EXPECT_NEAR(r.Y[i], r.part.y[i], 1e-9) << "node " << i;
  }
}

// Part 5.2 edge case: with the method setting 0 and r0 = 0.3 (a flat part) the maximum
// relaxation becomes min(1.5 r0, 0.35) = 0.35 for the rest of the run; method 1 leaves it.
TEST(PreUnfolding, MethodZeroCapsTheMaximumRelaxationAtPointThreeFive) {
  UnfoldingRun r(flat_mesh());
  r.settings.smallest_nz = 1.0;
  r.settings.method = 0;
  r.unfold();
  EXPECT_EQ(r.settings.max_relax, 0.35);
  UnfoldingRun method_one(flat_mesh());
  method_one.settings.smallest_nz = 1.0;
  method_one.unfold();
  EXPECT_EQ(method_one.settings.max_relax, 1.0);
}

// Part 5.2 edge case: a pre-unfolding that ends with inverted elements after both passes, without a
// binder mesh, prints the restart line, then the orientation message, and sets the iteration
// limit and the method setting to 0. Here every element is given clockwise (its blank, the
// projection, is inverted) and every node is held, so neither pass can turn it.
TEST(PreUnfolding, InvertedTwiceWithoutBinderPrintsTheOrientationMessageAndStopsTheIteration) {
  test::OwnedMesh m = flat_mesh();
  for (int32_t e = 0; e < m.ne(); ++e) test::reverse_row(m, e);
  UnfoldingRun r(std::move(m));
  std::fill(r.held_x.begin(), r.held_x.end(), 1);
  std::fill(r.held_y.begin(), r.held_y.end(), 1);
  r.settings.smallest_nz = 1.0;
  r.unfold();
  EXPECT_GT(inverted_element_count(r.part, r.X, r.Y), 0);
  const std::string text = r.console.str();
  const size_t restart = text.find("....... Start a new iteration .......");
  const size_t failure = text.find(" ******* TREVO failed due to model orientation.\n"
                                   "          Tip the part and try again *******.\n");
  ASSERT_NE(restart, std::string::npos) << text;
  ASSERT_NE(failure, std::string::npos) << text;
  EXPECT_LT(restart, failure);
  EXPECT_EQ(r.settings.iteration_limit, 0);
  EXPECT_EQ(r.settings.method, 0);
}

// Vertical triangle walls collapsed by the projection are laid out: the pass ends on a
// small ADP without inverted elements, and every row spans the developed width 24 (to
// 2 %: the pass stops at ADP < tol = 0.5, a little short of the balance; the projection
// spans 16).
TEST(PreUnfoldingPass, TriangleWallsCollapsedByProjectionAreLaidOut) {
  UnfoldingRun r(hat_mesh());
  const double adp = r.unfold();
  EXPECT_LT(adp, 0.5) << r.console.str();
  EXPECT_EQ(inverted_element_count(r.part, r.X, r.Y), 0);
  EXPECT_EQ(r.console.str().find("new iteration"), std::string::npos) << r.console.str();
  for (int32_t row = 0; row < 9; ++row) EXPECT_NEAR(width_along_x(r, row), 24.0, 0.4) << "row " << row;
}

// The fix for the turning blank: the free membrane is singular in rigid motion, and the
// warm-started solver kept any rigid turn in its starting guess forever (ADP stuck, the
// blank turning at every iteration). With the rigid part removed from each increment, a
// turn planted in the starting guess has no effect: the blank keeps the projection's
// centroid and the rows keep the direction of the part's x axis.
TEST(PreUnfoldingPass, RigidTurnInWarmStartDoesNotPersist) {
  UnfoldingRun r(hat_mesh());
  for (int32_t i = 0; i < r.part.nn; ++i) {  // a turn of 0.05 rad about the middle of the part
    r.cx[2 * i] = -0.05 * (r.part.y[i] - 4.0);
    r.cx[2 * i + 1] = 0.05 * (r.part.x[i] - 8.0);
  }
  const double adp = r.unfold();
  EXPECT_LT(adp, 0.5) << r.console.str();
  double dx = 0.0, dy = 0.0;
  for (int32_t i = 0; i < r.part.nn; ++i) dx += r.X[i] - r.part.x[i], dy += r.Y[i] - r.part.y[i];
  EXPECT_NEAR(dx / r.part.nn, 0.0, 1e-9) << "the blank drifted";
  EXPECT_NEAR(dy / r.part.nn, 0.0, 1e-9) << "the blank drifted";
  for (int32_t row = 0; row < 9; ++row) {
    const double turn = std::atan2(r.Y[row * 25 + 24] - r.Y[row * 25], r.X[row * 25 + 24] - r.X[row * 25]);
    EXPECT_NEAR(turn, 0.0, 3e-3) << "row " << row;
    EXPECT_NEAR(width_along_x(r, row), 24.0, 0.4) << "row " << row;
  }
}

}  // namespace
}  // namespace trevo
