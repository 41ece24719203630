// Spec: Part 5.2 (Binder-surface calculation; On-binder stage, inversion gate; Interfaces).
#include "restraint/binder_surface.h"

#include <gtest/gtest.h>

#include <cmath>
#include <sstream>
#include <vector>

#include "../solver/solver_test_matrix.h"
#include "../test_mesh.h"
#include "restraint/unfolding_schedule.h"
#include "solver/element_geometry.h"

namespace trevo {
namespace {

// Part 5.2: category 1 or 11 every diagonal entry, 2 or 12 the x dofs, 3 or 13 the y
// dofs, any other category none.
TEST(BinderSurface, DiagonalFactorFollowsTheRestraintCategory) {
  for (int32_t c : {1, 11}) EXPECT_TRUE(binder_diagonal_scaling(c).x && binder_diagonal_scaling(c).y) << c;
  for (int32_t c : {2, 12}) EXPECT_TRUE(binder_diagonal_scaling(c).x && !binder_diagonal_scaling(c).y) << c;
  for (int32_t c : {3, 13}) EXPECT_TRUE(!binder_diagonal_scaling(c).x && binder_diagonal_scaling(c).y) << c;
  for (int32_t c : {0, 4, 10, 14, 21}) EXPECT_TRUE(!binder_diagonal_scaling(c).x && !binder_diagonal_scaling(c).y) << c;
}

// The factor lands on the diagonal of the scaled free dofs only; off-diagonal entries and
// held dofs (whose prescribed increment must stay exact) keep their values.
TEST(BinderSurface, DiagonalFactorScalesFreeDiagonalsOfTheCategory) {
  test::OwnedMesh mesh = test::make_grid(2, 1);
  test::OwnedMatrix owned = test::matrix_pattern(mesh.view());
  for (size_t i = 0; i < owned.value.size(); ++i) owned.value[i] = 1.0 + static_cast<double>(i);
  const std::vector<double> before = owned.value;
  std::vector<int32_t> held_x(mesh.nn(), 0), held_y(mesh.nn(), 0);
  held_x[1] = 1;
  CsrMatrix k = owned.view();
  scale_binder_diagonal(binder_diagonal_scaling(2), {held_x, held_y}, k);
  std::vector<bool> scaled(owned.value.size(), false);
  for (int32_t node = 0; node < mesh.nn(); ++node)
    if (node != 1) scaled[static_cast<size_t>(owned.diagonal[2 * node])] = true;  // x dofs but the held one
  for (size_t i = 0; i < owned.value.size(); ++i) {
    const double expected = scaled[i] ? before[i] * kBinderDiagonalFactor : before[i];
    EXPECT_EQ(owned.value[i], expected) << "entry " << i;
  }
}

// Part 5.2 exit: ADP above the previous ADP, or ADP below 10 DEPS.
TEST(BinderSurface, ExitWhenAdpGrowsOrFallsBelowTenDeps) {
  EXPECT_TRUE(binder_surface_ends(1.0000001, 1.0, 1e-4));
  EXPECT_FALSE(binder_surface_ends(1.0, 1.0, 1e-4));  // equal is not growth
  EXPECT_FALSE(binder_surface_ends(0.5, 1.0, 1e-4));
  EXPECT_TRUE(binder_surface_ends(0.99e-3, 1.0, 1e-4));
  EXPECT_FALSE(binder_surface_ends(1.0e-3, 1.0, 1e-4));
}

// Part 5.2 inversion gate: the console has the message framed by empty lines, its second
// line with seven blanks in the text; the report has eight and only the trailing empty line.
TEST(BinderSurface, AbandonMessageDiffersOnConsoleAndReport) {
  std::ostringstream console, report;
  Reporter reporter(console, &report);
  RunSettings settings;
  report_binder_surface_abandoned(settings, reporter);
  EXPECT_EQ(console.str(),
            "\n"
            " ******* Due to lack of convergency, binder surface\n"
            "        calculation is not continued *******\n"
            "\n");
  EXPECT_EQ(report.str(),
            " ******* Due to lack of convergency, binder surface\n"
            "         calculation is not continued *******\n"
            "\n");
}

TEST(BinderSurface, AbandonMessageOnlyAtMessageLevelTwo) {
  std::ostringstream console, report;
  Reporter reporter(console, &report);
  RunSettings settings;
  settings.message_level = 1;
  report_binder_surface_abandoned(settings, reporter);
  EXPECT_TRUE(console.str().empty());
  EXPECT_TRUE(report.str().empty());
}

// Part 5.2 Interfaces: x := X, y := Y, z := Zb, then Zb := 0.
TEST(BinderSurface, BlankOnTheBinderBecomesThePart) {
  std::vector<double> X{1, 2}, Y{3, 4}, Zb{5, 6}, x(2), y(2), z(2);
  blank_on_binder_as_part(X, Y, Zb, x, y, z);
  EXPECT_EQ(x, X);
  EXPECT_EQ(y, Y);
  EXPECT_EQ(z, (std::vector<double>{5, 6}));
  EXPECT_EQ(Zb, (std::vector<double>{0, 0}));
}

// A strip of 6 x 3 nodes wrapped round a cylinder of radius R (axis along y), as a blank
// lying on a cylindrical binder, with everything the membrane reads.
struct WrappedStrip {
  static constexpr double kRadius = 4.0;
  test::OwnedMesh mesh = test::make_grid(5, 2, 1.0, 1.0, {3});  // one cell as two triangles
  Mesh part;
  test::OwnedMatrix matrix;
  std::vector<ElementGeometry> geometry;
  std::vector<double> h0;
  std::vector<int32_t> scatter, held_x, held_y;
  std::vector<double> X, Y, Zb, U, dU, R, cg[6];
  OneStepModel model;
  OneStepState state;
  RunSettings settings;

  WrappedStrip() {
    for (int32_t i = 0; i < mesh.nn(); ++i) {
      const double u = mesh.x[i];
      mesh.x[i] = kRadius * std::sin(u / kRadius);
      mesh.z[i] = kRadius - kRadius * std::cos(u / kRadius);
    }
    part = mesh.view();
    matrix = test::matrix_pattern(part);
    geometry.resize(part.ne);
    element_geometries(part, geometry);
    h0.assign(part.ne, 1.0);
    scatter.resize(scatter_map_size(part.ne));
    scatter_map(part, matrix.view(), scatter);
    held_x.assign(part.nn, 0);
    held_y.assign(part.nn, 0);
    const size_t neq = 2 * static_cast<size_t>(part.nn);
    X.assign(part.nn, 0.0), Y.assign(part.nn, 0.0), Zb.assign(part.nn, 7.0);
    dU.assign(neq, 0.0), R.assign(neq, 0.0);
    for (auto& v : cg) v.assign(neq, 0.0);
    model.part = part;
    model.geometry = geometry;
    model.h0 = h0;
    model.scatter = scatter;
    model.held = {held_x, held_y};
    state.X = X, state.Y = Y, state.Zb = Zb, state.dU = dU, state.R = R;
    state.k = matrix.view();
    state.cg = {cg[0], cg[1], cg[2], cg[3], cg[4], cg[5]};
    settings.restraint_category = 11;
    settings.displacement_tolerance = 1e-12;
  }
};

double distance_3d(const Mesh& m, int32_t a, int32_t b) {
  return std::hypot(m.x[a] - m.x[b], m.y[a] - m.y[b], m.z[a] - m.z[b]);
}

// Part 5.2: the calculation unfolds the blank on the binder into the plane. A surface
// wrapped onto a cylinder is developable, so every element edge keeps its length in the
// flat blank (the membrane's zero-strain state), Zb ends 0, and the closing line is written.
TEST(BinderSurface, WrappedStripUnfoldsWithEdgeLengthsKept) {
  WrappedStrip s;
  std::ostringstream console, report;
  Reporter reporter(console, &report);
  const PrescribedMotion none;
  const BinderSurfaceResult r = binder_surface(s.model, s.state, none, s.settings, reporter);
  EXPECT_GE(r.iterations, 2);
  EXPECT_LE(r.iterations, kBinderSurfaceIterations);
  for (double z : s.Zb) EXPECT_EQ(z, 0.0);
  for (int32_t e = 0; e < s.part.ne; ++e) {
    const int corners = corner_count(s.part, e);
    for (int k = 0; k < corners; ++k) {
      const int32_t a = s.part.node(e, k), b = s.part.node(e, (k + 1) % corners);
      const double flat = std::hypot(s.X[a] - s.X[b], s.Y[a] - s.Y[b]);
      EXPECT_NEAR(flat, distance_3d(s.part, a, b), 1e-6) << "element " << e << " edge " << k;
    }
  }
  const std::string closing = unfolding_progress_line(r.iterations, r.adp, 1.0) + "\n";
  ASSERT_GE(console.str().size(), closing.size());
  EXPECT_EQ(console.str().substr(console.str().size() - closing.size()), closing);
  EXPECT_EQ(console.str().rfind(unfolding_progress_line(1, 0.0, 1.0).substr(0, 9), 0), 0u) << console.str();
  EXPECT_EQ(console.str(), report.str());
}

// Part 5.2 Edge case: a blank on a flat binder is already flat; the first increment is 0,
// so ADP = 0 < 10 DEPS ends the loop at k = 1, with the progress line and the closing line.
TEST(BinderSurface, FlatBlankOnTheBinderEndsAtTheFirstIteration) {
  WrappedStrip s;
  for (int32_t i = 0; i < s.part.nn; ++i) s.mesh.x[i] = static_cast<double>(i % 6), s.mesh.z[i] = 3.0;
  element_geometries(s.part, s.geometry);
  s.settings.displacement_tolerance = 1e-4;
  std::ostringstream console;
  Reporter reporter(console, nullptr);
  const BinderSurfaceResult r = binder_surface(s.model, s.state, PrescribedMotion{}, s.settings, reporter);
  EXPECT_EQ(r.iterations, 1);
  EXPECT_LT(r.adp, 1e-3);
  const std::string line = unfolding_progress_line(1, r.adp, 1.0) + "\n";
  EXPECT_EQ(console.str(), line + line);
  for (int32_t i = 0; i < s.part.nn; ++i) EXPECT_NEAR(s.X[i], static_cast<double>(i % 6), 1e-9) << "node " << i;
}

// The strip laid flat at z = 0, node 0 held in x with the prescribed increment `value`, DEPS too
// small to end the loop: it runs until ADP grows or k = 50.
BinderSurfaceResult run_flat_strip_with_prescribed_x(WrappedStrip& s, double value) {
  for (int32_t i = 0; i < s.part.nn; ++i) s.mesh.x[i] = static_cast<double>(i % 6), s.mesh.z[i] = 0.0;
  element_geometries(s.part, s.geometry);
  s.held_x[0] = 1;
  const std::vector<int32_t> nodes{0};
  const std::vector<double> values{value};
  const PrescribedMotion prescribed{nodes, {}, values, {}};
  s.settings.displacement_tolerance = 1e-14;
  std::ostringstream console;
  Reporter reporter(console, nullptr);
  return binder_surface(s.model, s.state, prescribed, s.settings, reporter);
}

// Part 5.2: the prescribed increment of a constrained dof applies at every iteration (the
// pre-unfolding applies it at the first only), with the diagonal factor on.
TEST(BinderSurface, PrescribedIncrementAppliesAtEveryIteration) {
  WrappedStrip s;
  const BinderSurfaceResult r = run_flat_strip_with_prescribed_x(s, 0.01);
  ASSERT_GE(r.iterations, 2);
  // The held node moves by the prescribed value at each of the iterations run (to the
  // conjugate-gradient tolerance).
  EXPECT_NEAR(s.X[0], 0.01 * r.iterations, 1e-6) << r.iterations << " iterations";
}

// Part 5.2 edge case: an iteration whose ADP exceeds the previous one ends the loop after its
// step has been applied. The held node's prescribed increment of -0.01 shrinks the blank, so its
// diagonal D falls and ADP = |dU|^2 / D grows at iteration 2 (DEPS is too small to end the loop
// otherwise): the loop ends there, and the node has moved by both increments.
TEST(BinderSurface, GrowingAdpEndsTheLoopAfterItsStep) {
  WrappedStrip s;
  const BinderSurfaceResult r = run_flat_strip_with_prescribed_x(s, -0.01);
  EXPECT_EQ(r.iterations, 2);
  EXPECT_NEAR(s.X[0], -0.01 * 2, 1e-6);
}

}  // namespace
}  // namespace trevo
