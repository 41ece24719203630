// The height search of the tool terms.
#include "solver/tool_terms.h"

#include <gtest/gtest.h>

#include <cmath>

#include "../test_drawbeads.h"
#include "../test_mesh.h"

namespace trevo {
namespace {

// A perturbed grid on the plane z = 0.2 x - 0.1 y: every hit lies on that plane, and the grid search
// must find the first element (in element order) that a scan of every element holding the point finds.
TEST(HeightSearch, FindsTheFirstElementOfTheScanAndItsPlane) {
  test::OwnedMesh owned = test::make_grid(7, 5, 1.3, 1.3);
  for (int32_t i = 0; i < owned.nn(); ++i) {
    owned.x[i] += 0.21 * std::sin(3.0 * i), owned.y[i] += 0.17 * std::cos(5.0 * i);
    owned.z[i] = 0.2 * owned.x[i] - 0.1 * owned.y[i];
  }
  const Mesh m = owned.view();
  const PlanGrid grid(m, 1e-8);
  int32_t hits = 0;
  for (int a = -3; a < 120; ++a)
    for (int b = -3; b < 90; ++b) {
      const double X = a * 0.0791, Y = b * 0.0807;
      int32_t first = kNone, hit = kNone;
      for (int32_t e = 0; e < m.ne && first == kNone; ++e)
        if (element_height(m, e, X, Y)) first = e;
      const auto h = surface_height(m, grid, X, Y, hit);
      ASSERT_EQ(hit, first) << X << ", " << Y;
      if (h) {
        ++hits;
        ASSERT_NEAR(*h, 0.2 * X - 0.1 * Y, 1e-12);
      }
    }
  EXPECT_GT(hits, 5000);
  std::vector<int32_t> neighbours(4 * m.ne, kNone), boundary(m.ne), last{kNone, kNone};
  for (int32_t e = 0; e < m.ne; ++e) boundary[e] = e;
  std::vector<double> X{4.0, 30.0}, Y{3.0, 2.0}, zb{7.0, 7.0}, slope(4, -1.0);
  binder_heights(m, grid, neighbours, boundary, false, X, Y, last, zb, slope);
  EXPECT_NEAR(std::hypot(zb[0] - 0.5, slope[0] - 0.2, slope[1] + 0.1), 0.0, 1e-12);
  EXPECT_TRUE(zb[1] == 7.0 && slope[2] == -1.0);  // outside the binder without the fallback: both kept
}

// Holder and pad friction pulls straight against each node's plan displacement, whatever its
// direction; the punch force counts the free nodes (state 2) only.
TEST(ToolTerms, HolderAndPadFrictionPullAgainstTheMotionAndPunchForceCountsFreeNodes) {
  const size_t nn = 8;
  std::vector<double> holding(nn, 30.0), count(nn, 2.0), normals(3 * nn, 0.0), node_force(2 * nn), contact(3 * nn);
  std::vector<int32_t> state = {4, 5, 4, 5, 4, 5, 4, 5}, none;
  std::vector<double> bead_force;
  for (size_t i = 0; i < nn; ++i) normals[2 * nn + i] = 1.0;
  const RestraintData r{holding, state, count, normals, {}, bead_force, none, none, node_force, contact};
  std::vector<double> z(nn, 1.0), zb(nn, 0.0), zh(nn, 1.0), U(2 * nn), external(2 * nn, 0.0), kb, kf(nn, 0.0);
  for (size_t i = 0; i < nn; ++i) U[2 * i] = std::cos(0.8 * i + 0.3), U[2 * i + 1] = std::sin(0.8 * i + 0.3);
  RunSettings s;
  s.pad_flag = 1;
  restraint_forces(z, U, zb, zh, r, test::OwnedBeads{}.view(), s, external, kb, kf);
  for (size_t i = 0; i < nn; ++i) {
    const double cross = external[2 * i] * U[2 * i + 1] - external[2 * i + 1] * U[2 * i];
    const double dot = external[2 * i] * U[2 * i] + external[2 * i + 1] * U[2 * i + 1];
    EXPECT_NEAR(cross, 0.0, 1e-9 * std::abs(dot)) << "node " << i;
    EXPECT_LT(dot, 0.0) << "node " << i;
  }
  const std::vector<int32_t> states = {2, 3, 2, 5, 1, 4};
  EXPECT_DOUBLE_EQ(punch_force(states, std::vector<double>{1.5, 100.0, 2.5, 100.0, 100.0, 100.0}), 4.0);
}

}  // namespace
}  // namespace trevo
