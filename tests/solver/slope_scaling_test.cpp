// Tests of the Newton right-hand side with the residual's down-slope part restored (a departure recorded
// in docs/decisions.md). Spec: Part 4.5 (force terms, item 4), Part 4.4 (equation solution)
#include "solver/slope_scaling.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace trevo {
namespace {

// Normals of four nodes (3 x NN columns): flat, a 37 degree slope facing +x, a wall of nz 0.1, and a
// slope of nz 0.6 facing the plan direction (0.6, 0.8).
const std::vector<double> kNormals = {0.0, 0.6, 0.995, 0.48,    // nx
                                      0.0, 0.0, 0.0,   0.64,    // ny
                                      1.0, 0.8, 0.1,   0.6};    // nz

// The plan-normal component is divided by |nz| (at least kSlopeFloor); the level-line component and
// flat nodes keep their values.
TEST(SlopeScaledResidual, DividesThePlanNormalComponentByNz) {
  const std::vector<int32_t> free(4, 0);
  const std::vector<double> r = {1.0, 2.0, 1.0, 2.0, 1.0, 2.0, 0.0, 0.0};
  std::vector<double> rhs(8);
  std::vector<double> r4 = r;
  r4[6] = 0.6 * 3.0 - 0.8 * 0.5, r4[7] = 0.8 * 3.0 + 0.6 * 0.5;  // 3 along (0.6, 0.8), 0.5 along (-0.8, 0.6)
  slope_scaled_residual(kNormals, {free, free}, r4, rhs);
  EXPECT_DOUBLE_EQ(rhs[0], 1.0);
  EXPECT_DOUBLE_EQ(rhs[1], 2.0);
  EXPECT_NEAR(rhs[2], 1.0 / 0.8, 1e-15);
  EXPECT_NEAR(rhs[3], 2.0, 1e-15);
  EXPECT_NEAR(rhs[4], 1.0 / kSlopeFloor, 1e-12);  // nz 0.1 is steeper than the floor
  EXPECT_NEAR(rhs[5], 2.0, 1e-15);
  EXPECT_NEAR(0.6 * rhs[6] + 0.8 * rhs[7], 3.0 / 0.6, 1e-12);
  EXPECT_NEAR(-0.8 * rhs[6] + 0.6 * rhs[7], 0.5, 1e-12);
}

// On an undercut slope (nz < 0) the x-y part of a downhill force points against the plan direction of
// the normal, so the plan-normal component is divided by the signed nz: by nz -0.6 itself, and by
// -kSlopeFloor for the nearly vertical nz -0.05 (the recliner bracket's flanges).
TEST(SlopeScaledResidual, UndercutSlopeDividesByTheSignedNz) {
  const std::vector<double> normals = {0.48, 0.0,     // nx
                                       0.64, 0.99875,  // ny
                                       -0.6, -0.05};   // nz
  const std::vector<int32_t> free(2, 0);
  std::vector<double> r = {0.6 * 3.0 - 0.8 * 0.5, 0.8 * 3.0 + 0.6 * 0.5, 1.0, 2.0};
  std::vector<double> rhs(4);
  slope_scaled_residual(normals, {free, free}, r, rhs);
  EXPECT_NEAR(0.6 * rhs[0] + 0.8 * rhs[1], 3.0 / -0.6, 1e-12);
  EXPECT_NEAR(-0.8 * rhs[0] + 0.6 * rhs[1], 0.5, 1e-12);
  EXPECT_NEAR(rhs[2], 1.0, 1e-15);
  EXPECT_NEAR(rhs[3], 2.0 / -kSlopeFloor, 1e-12);
}

// A held dof stays 0 although the scaling turns its node's pair.
TEST(SlopeScaledResidual, HeldDofsStayZero) {
  const std::vector<int32_t> held_x = {0, 0, 0, 1}, held_y = {0, 1, 0, 0};
  const std::vector<double> r = {1.0, 0.0, 1.0, 2.0, 1.0, 2.0, 0.0, 4.0};
  std::vector<double> rhs(8);
  slope_scaled_residual(kNormals, {held_x, held_y}, r, rhs);
  EXPECT_EQ(rhs[1], 0.0);
  EXPECT_EQ(rhs[6], 0.0);
  EXPECT_NE(rhs[7], 0.0);
}

}  // namespace
}  // namespace trevo
