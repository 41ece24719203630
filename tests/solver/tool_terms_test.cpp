// Spec: Part 4.5 (Tool contact and restraint terms in the iteration).
#include "solver/tool_terms.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "../test_drawbeads.h"
#include "../test_mesh.h"

namespace trevo {
namespace {

using test::OwnedBeads;
using test::OwnedMesh;

// nx x ny quads of size h, counter-clockwise from above, z = slope_x x + slope_y y.
OwnedMesh grid_mesh(int nx, int ny, double h, double slope_x = 0.0, double slope_y = 0.0) {
  OwnedMesh m = test::make_grid(nx, ny, h, h);
  for (int32_t n = 0; n < m.nn(); ++n) {
    const int i = n % (nx + 1), j = n / (nx + 1);
    m.z[n] = slope_x * i * h + slope_y * j * h;
  }
  return m;
}

// Per-node restraint arrays for nn nodes and L drawbead entries.
struct OwnedRestraint {
  std::vector<double> holding_force, element_count, normals, bead_force, node_force, contact_force;
  std::vector<int32_t> state, bead_node, bead_entries, bead_offset;
  OwnedRestraint(size_t nn, size_t entries, size_t beads)
      : holding_force(nn, 0.0), element_count(nn, 1.0), normals(3 * nn, 0.0), bead_force(entries, 0.0),
        node_force(2 * nn, 0.0), contact_force(3 * nn, 0.0), state(nn, 2), bead_node(entries, kNone),
        bead_entries(beads, 0), bead_offset(beads, 0) {
    for (size_t i = 0; i < nn; ++i) normals[2 * nn + i] = 1.0;  // flat: n = (0, 0, 1)
  }
  void set_normal(size_t i, double nx, double ny, double nz) {
    const size_t nn = state.size();
    normals[i] = nx, normals[nn + i] = ny, normals[2 * nn + i] = nz;
  }
  RestraintData view() {
    return {holding_force, state, element_count, normals, bead_node, bead_force,
            bead_entries, bead_offset, node_force, contact_force};
  }
};

// Beads given as rows (restraining, raising, x1, y1, z1, x2, y2, z2).
// The first element in order holding (X, Y) by the spec's scan over all elements.
std::optional<double> scan_height(const Mesh& m, double X, double Y, int32_t& hit) {
  for (int32_t e = 0; e < m.ne; ++e) {
    double xmin = 1e300, xmax = -1e300, ymin = 1e300, ymax = -1e300;
    for (int k = 0; k < 4; ++k) {
      const int32_t n = m.node(e, k);
      xmin = std::min(xmin, m.x[n]), xmax = std::max(xmax, m.x[n]);
      ymin = std::min(ymin, m.y[n]), ymax = std::max(ymax, m.y[n]);
    }
    if (!(X > xmin - 1e-8 && X < xmax + 1e-8 && Y > ymin - 1e-8 && Y < ymax + 1e-8)) continue;
    if (auto h = element_height(m, e, X, Y)) {
      hit = e;
      return h;
    }
  }
  return std::nullopt;
}

TEST(HeightSearch, PlaneHeightInsideEitherTriangleOfAQuad) {
  OwnedMesh owned = grid_mesh(1, 1, 10.0, 0.1, 0.2);
  const Mesh m = owned.view();
  for (const auto& [X, Y] : std::vector<std::pair<double, double>>{{7.0, 2.0}, {2.0, 7.0}, {5.0, 5.0}, {0.0, 0.0}}) {
    const auto h = element_height(m, 0, X, Y);
    ASSERT_TRUE(h.has_value()) << X << "," << Y;
    EXPECT_NEAR(*h, 0.1 * X + 0.2 * Y, 1e-12) << X << "," << Y;
  }
  EXPECT_FALSE(element_height(m, 0, 10.5, 5.0).has_value());
}

TEST(HeightSearch, RemembersTheElementOfTheFirstHit) {
  OwnedMesh owned = grid_mesh(3, 3, 1.0, 0.5, 0.0);
  const Mesh m = owned.view();
  const PlanGrid grid(m, 1e-8);
  int32_t last = kNone;
  const auto h = surface_height(m, grid, 2.5, 1.5, last);
  ASSERT_TRUE(h.has_value());
  EXPECT_NEAR(*h, 1.25, 1e-12);
  EXPECT_EQ(last, 5);
  // A point on the shared edge of elements 4 and 5: the remembered element 5 answers first.
  EXPECT_TRUE(surface_height(m, grid, 2.0, 1.5, last).has_value());
  EXPECT_EQ(last, 5);
  // A miss leaves the remembered element as it was.
  EXPECT_FALSE(surface_height(m, grid, 7.0, 1.5, last).has_value());
  EXPECT_EQ(last, 5);
}

// The grid must give exactly the first hit of the spec's scan over all elements.
TEST(HeightSearch, GridSearchFindsTheSameElementAsTheFullScan) {
  OwnedMesh owned = grid_mesh(7, 5, 1.3, 0.2, -0.1);
  for (size_t i = 0; i < owned.x.size(); ++i) {  // perturb the interior so boxes overlap
    owned.x[i] += 0.21 * std::sin(3.0 * i);
    owned.y[i] += 0.17 * std::cos(5.0 * i);
  }
  const Mesh m = owned.view();
  const PlanGrid grid(m, 1e-8);
  int checked = 0;
  for (int a = -3; a < 120; ++a)
    for (int b = -3; b < 90; ++b) {
      const double X = a * 0.0791, Y = b * 0.0807;
      int32_t expected_hit = kNone, hit = kNone;
      const auto expected = scan_height(m, X, Y, expected_hit);
      const auto got = surface_height(m, grid, X, Y, hit);
      ASSERT_EQ(got.has_value(), expected.has_value()) << X << "," << Y;
      ASSERT_EQ(hit, expected_hit) << X << "," << Y;
      if (got) {
        EXPECT_EQ(*got, *expected);
      }
      ++checked;
    }
  EXPECT_GT(checked, 10000);
}

// Part 4.5 edge case: outside the binder, Zb is kept with the fallback switch off.
TEST(BinderHeight, OutsideNodeKeepsItsBlankHeightWithoutFallback) {
  OwnedMesh owned = grid_mesh(2, 2, 1.0);
  for (double& z : owned.z) z = 5.0;
  const Mesh binder = owned.view();
  const PlanGrid grid(binder, 1e-8);
  std::vector<int32_t> neighbours(16, kNone), boundary = {0, 1, 2, 3};
  const std::vector<double> X = {0.5, 10.0}, Y = {0.5, 10.0};
  std::vector<int32_t> last(2, kNone);
  std::vector<double> zb = {7.0, 7.0};
  binder_heights(binder, grid, neighbours, boundary, false, X, Y, last, zb);
  EXPECT_DOUBLE_EQ(zb[0], 5.0);
  EXPECT_DOUBLE_EQ(zb[1], 7.0);
  binder_heights(binder, grid, neighbours, boundary, true, X, Y, last, zb);
  EXPECT_DOUBLE_EQ(zb[1], 5.0);  // flat binder: the plane of the nearest boundary element
}

// The slope that binder_heights keeps for the matrix (increment_reversals.h): the plane of the triangle
// hit, the fallback plane's (-nx / nz, -ny / nz), and for a node that keeps its Zb the slope it had.
TEST(BinderHeight, KeepsTheSlopeOfThePlaneEachHeightComesFrom) {
  OwnedMesh owned = grid_mesh(2, 2, 1.0, 0.1, 0.2);  // the plane z = 0.1 x + 0.2 y
  const Mesh binder = owned.view();
  const PlanGrid grid(binder, 1e-8);
  std::vector<int32_t> neighbours(16, kNone), boundary = {0, 1, 2, 3};
  const std::vector<double> X = {0.5, 10.0}, Y = {1.5, 10.0};
  std::vector<int32_t> last(2, kNone);
  std::vector<double> zb = {7.0, 7.0}, slope = {-1.0, -1.0, -1.0, -1.0};
  binder_heights(binder, grid, neighbours, boundary, false, X, Y, last, zb, slope);
  EXPECT_NEAR(slope[0], 0.1, 1e-12);
  EXPECT_NEAR(slope[1], 0.2, 1e-12);
  EXPECT_EQ(slope[2], -1.0);  // outside, no fallback: Zb and its slope are kept
  EXPECT_EQ(slope[3], -1.0);
  binder_heights(binder, grid, neighbours, boundary, true, X, Y, last, zb, slope);
  EXPECT_NEAR(slope[2], 0.1, 1e-12);  // the fallback plane of a boundary element of the same plane
  EXPECT_NEAR(slope[3], 0.2, 1e-12);
  EXPECT_NEAR(zb[1], 0.1 * 10.0 + 0.2 * 10.0, 1e-9);
}

// Part 4.5 edge case: the fallback plane is never steeper than nz = -0.707.
TEST(BinderHeight, FallbackIsNeverSteeperThanNzMinus0707) {
  // One clockwise quad tilted down: its normal has nz < -0.707 and points along +x, +y.
  OwnedMesh owned;
  owned.x = {0, 0, 1, 1}, owned.y = {0, 1, 1, 0}, owned.z = {0, 0.3, 0.5, 0.2};
  owned.conn = {0, 1, 2, 3}, owned.corners = {4};
  const Mesh binder = owned.view();
  const std::vector<int32_t> neighbours(4, kNone), boundary = {0};
  const double d13[3] = {1, 1, 0.5}, d24[3] = {1, -1, -0.1};
  double n[3] = {d13[1] * d24[2] - d13[2] * d24[1], d13[2] * d24[0] - d13[0] * d24[2], d13[0] * d24[1] - d13[1] * d24[0]};
  const double length = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
  ASSERT_LT(n[2] / length, -0.707);
  for (const double X : {2.0, 5.0, -3.0}) {
    const double Y = 0.25 * X + 0.1;
    const auto zb = binder_fallback_height(binder, neighbours, boundary, X, Y);
    ASSERT_TRUE(zb.has_value());
    // Plane through corner 1 (origin, z = 0) with normal tilted to nz = -0.707, same plan direction.
    const double plan = std::hypot(n[0], n[1]);
    const double tx = n[0] / plan * std::sqrt(0.500151), ty = n[1] / plan * std::sqrt(0.500151);
    EXPECT_NEAR(*zb, -(tx * X + ty * Y) / (-0.707 + 1e-30), 1e-9) << X;
    // Its slope along the steepest plan direction is that of nz = -0.707.
    const double rise = std::abs(*zb) / std::abs(tx * X + ty * Y) * std::sqrt(0.500151);
    EXPECT_NEAR(rise, std::sqrt(0.500151) / 0.707, 1e-9);
  }
}

TEST(BinderHeight, FallbackTakesTheElementWithTheNearestFreeEdgeMidpoint) {
  OwnedMesh owned = grid_mesh(2, 1, 1.0);
  owned.z = {1, 1, 3, 1, 1, 3};  // element 0 flat at 1 on its left; element 1 rises to 3 at x = 2
  const Mesh binder = owned.view();
  // Only the outer edges are free: element 0 edge 3 (x = 0), element 1 edge 1 (x = 2).
  std::vector<int32_t> neighbours(8, kNone);
  neighbours[1 * 2 + 0] = 1;  // element 0 edge 1 (n2-n3) borders element 1
  neighbours[3 * 2 + 1] = 0;  // element 1 edge 3 (n4-n1) borders element 0
  const std::vector<int32_t> boundary = {0, 1};
  const auto left = binder_fallback_height(binder, neighbours, boundary, -1.0, 0.5);
  const auto right = binder_fallback_height(binder, neighbours, boundary, 3.0, 0.5);
  ASSERT_TRUE(left && right);
  EXPECT_NEAR(*left, 1.0, 1e-12);   // flat element 0
  EXPECT_NEAR(*right, 1.0 + 2.0 * 2.0, 1e-9);  // element 1's plane z = 1 + 2 (x - 1) through corner 1
  const std::vector<int32_t> none = {kNone, kNone};  // no boundary element at all
  EXPECT_FALSE(binder_fallback_height(binder, neighbours, none, 3.0, 0.5).has_value());
}

TEST(HolderHeight, HeldNodesSearchThePartAndFallBackToZb) {
  OwnedMesh owned = grid_mesh(1, 1, 2.0, 1.0, 0.0);
  const Mesh part = owned.view();
  const PlanGrid grid(part, 1e-8);
  const std::vector<int32_t> state = {3, 2, 5, 4};
  const std::vector<double> X = {1.0, 1.0, 1.5, 9.0}, Y = {1.0, 1.0, 0.5, 9.0}, zb = {0.1, 0.2, 0.3, 0.4};
  std::vector<int32_t> last(4, kNone);
  std::vector<double> zh(4, -1.0);
  holder_heights(part, grid, state, X, Y, zb, last, zh);
  EXPECT_NEAR(zh[0], 1.0, 1e-12);
  EXPECT_EQ(zh[1], -1.0);  // free node: untouched
  EXPECT_NEAR(zh[2], 1.5, 1e-12);
  EXPECT_EQ(zh[3], 0.4);   // held node outside the part: Zb
}

// Part 4.5 edge case: a held node with u = 0 gets no friction and the capped stiffness.
TEST(HolderFriction, HeldNodeWithZeroDisplacementHasNoForceAndCappedStiffness) {
  OwnedRestraint r(1, 0, 0);
  r.state[0] = 3;
  r.holding_force[0] = 10.0;
  const std::vector<double> z = {2.0}, U = {0.0, 0.0}, zb = {0.0}, zh = {2.0};
  std::vector<double> external(2, 0.0), kb, kf(1, -1.0), kc(1, 0.0), block(3, 0.0);
  RunSettings s;
  const OwnedBeads beads;
  restraint_forces(z, U, zb, zh, r.view(), beads.view(), s, external, kb, kf);
  EXPECT_EQ(external[0], 0.0);
  EXPECT_EQ(external[1], 0.0);
  EXPECT_EQ(kf[0], 1.0e8);
  node_stiffness_blocks(z, U, zh, r.view(), beads.view(), s, {kb, kf, kc, block});
  EXPECT_EQ(block[0], 1.0e8);  // |u| < 1e-6: kf on both diagonal terms
  EXPECT_EQ(block[1], 0.0);
  EXPECT_EQ(block[2], 1.0e8);
}

TEST(HolderFriction, HeldAndPadNodesPullAgainstTheirDisplacement) {
  OwnedRestraint r(3, 0, 0);
  r.state = {4, 5, 5};
  r.holding_force = {10.0, 20.0, 0.0};
  r.element_count = {2.0, 4.0, 1.0};
  const std::vector<double> z = {1.0, 1.0, 1.0}, U = {3.0, 4.0, 0.6, -0.8, 1.0, 1.0}, zb = {0, 0, 0}, zh = {1.0, 1.0, 1.0};
  std::vector<double> external(6, 0.0), kb, kf(3, 0.0);
  RunSettings s;  // mu2 = 0.13, mu_p = 0.2
  const OwnedBeads beads;
  s.pad_flag = 0;
  restraint_forces(z, U, zb, zh, r.view(), beads.view(), s, external, kb, kf);
  EXPECT_NEAR(external[0], -2.0 * 0.13 * 10.0 * 0.6, 1e-12);
  EXPECT_NEAR(external[1], -2.0 * 0.13 * 10.0 * 0.8, 1e-12);
  EXPECT_NEAR(kf[0], 2.2 * 0.13 * 10.0 / 5.0 / 2.0, 1e-12);
  EXPECT_EQ(external[2], 0.0);  // state 5 without a pad: no pad friction
  EXPECT_EQ(kf[1], 0.0);
  s.pad_flag = 1;
  std::fill(external.begin(), external.end(), 0.0);
  restraint_forces(z, U, zb, zh, r.view(), beads.view(), s, external, kb, kf);
  EXPECT_NEAR(external[2], -2.0 * 0.2 * 20.0 * 0.6, 1e-12);
  EXPECT_NEAR(external[3], 2.0 * 0.2 * 20.0 * 0.8, 1e-12);
  EXPECT_NEAR(kf[1], 2.2 * 0.2 * 20.0 / 1.0 / 4.0, 1e-12);
  EXPECT_EQ(kf[2], 0.0);  // no holding force: no stiffness either
}

const std::vector<int32_t> free_node = {0};  // one node that has not stuck (mark_sticking_nodes)

// Part 4.5 edge case: on a vertical wall only the normal reaction acts.
TEST(ContactTerms, VerticalWallHasNoFrictionOnlyTheNormalReaction) {
  OwnedRestraint r(1, 0, 0);
  r.set_normal(0, 1.0, 0.0, 0.0);
  const std::vector<double> z = {5.0}, U = {0.3, 0.7}, zb = {0.0}, internal = {3.0, 4.0}, internal_z = {5.0};
  std::vector<double> external(2, 0.0), kc(1, -1.0);
  RunSettings s;
  contact_forces(z, U, zb, r.view(), internal, internal_z, s, free_node, external, kc);
  EXPECT_DOUBLE_EQ(external[0], 3.0);  // Fn = n . F = 3 added back along (nx, ny)
  EXPECT_DOUBLE_EQ(external[1], 0.0);
  EXPECT_EQ(kc[0], 0.0);
  // The residual keeps only the tangential part of the internal force.
  EXPECT_DOUBLE_EQ(external[0] - internal[0], 0.0);
}

TEST(ContactTerms, FlatContactFrictionOpposesTheDisplacement) {
  OwnedRestraint r(1, 0, 0);
  r.element_count[0] = 2.0;
  const std::vector<double> z = {0.0}, U = {3.0, -4.0}, zb = {0.0}, internal = {0.0, 0.0}, internal_z = {-10.0};
  std::vector<double> external(2, 0.0), kc(1, 0.0);
  RunSettings s;  // mu1 = 0.2
  contact_forces(z, U, zb, r.view(), internal, internal_z, s, free_node, external, kc);
  // Fn = -10, friction 0.2 * 10 = 2 along (3, -4) / 5 (tz = 0: length 1).
  EXPECT_NEAR(external[0], -2.0 * 0.6, 1e-12);
  EXPECT_NEAR(external[1], 2.0 * 0.8, 1e-12);
  EXPECT_NEAR(kc[0], 1.1 * 2.0 / 5.0 / 2.0, 1e-12);
  std::vector<double> block(3, 0.0), kb, kf(1, 0.0);
  node_stiffness_blocks(z, U, zb, r.view(), OwnedBeads().view(), s, {kb, kf, kc, block});
  EXPECT_NEAR(block[0], kc[0] * 0.36, 1e-12);
  EXPECT_NEAR(block[1], kc[0] * -0.48, 1e-12);
  EXPECT_NEAR(block[2], kc[0] * 0.64, 1e-12);
}

TEST(ContactTerms, SlopedContactScalesThePlanDirectionByTheTangentTilt) {
  OwnedRestraint r(1, 0, 0);
  const double c = std::sqrt(0.5);
  r.set_normal(0, -c, 0.0, c);  // 45 degree slope rising along +x
  const std::vector<double> z = {2.0}, U = {2.0, 0.0}, zb = {0.0}, internal = {0.0, 0.0}, internal_z = {-c * 10.0};
  std::vector<double> external(2, 0.0), kc(1, 0.0);
  RunSettings s;
  contact_forces(z, U, zb, r.view(), internal, internal_z, s, free_node, external, kc);
  // u = (2, 0, 2) lies in the surface: t = (c, 0, c), plan length sqrt(1 - tz^2) = c.
  const double fn = c * (-c * 10.0);  // -5
  EXPECT_NEAR(external[0], fn * -c - 0.2 * 5.0 * c, 1e-12);
  EXPECT_NEAR(external[1], 0.0, 1e-12);
}

TEST(ContactTerms, ContactAccumulatorEntersTheNormalForce) {
  OwnedRestraint r(1, 0, 0);
  r.contact_force = {1.0, 2.0, -4.0};
  const std::vector<double> z = {0.0}, U = {0.0, 0.0}, zb = {0.0}, internal = {0.0, 0.0}, internal_z = {0.0};
  std::vector<double> external(2, 0.0), kc(1, 0.0);
  RunSettings s;
  contact_forces(z, U, zb, r.view(), internal, internal_z, s, free_node, external, kc);
  // Fn = -4; with U = 0 the direction is t of u = 0, i.e. 0: only the accumulator's x, y remain.
  EXPECT_NEAR(external[0], 1.0, 1e-12);
  EXPECT_NEAR(external[1], 2.0, 1e-12);
}

// Departure from Part 4.5 (docs/decisions.md): a sticking node's friction stiffness measures
// its slip in the plan, not along u = (U, w), which would keep it small while w is large.
TEST(ContactTerms, StickingNodeMeasuresItsSlipInThePlan) {
  OwnedRestraint r(1, 0, 0);
  const double c = std::sqrt(0.5);
  r.set_normal(0, -c, 0.0, c);  // 45 degree slope rising along +x
  const std::vector<double> z = {30.0}, U = {0.01, 0.0}, zb = {0.0}, internal = {0.0, 0.0}, internal_z = {-c * 10.0};
  RunSettings s;
  const double friction = 0.2 * 5.0;  // mu1 |Fn|, Fn = -5
  // t' = (U, 0) less its normal part: (0.005, 0, 0.005) normalised, (c, 0, c).
  std::vector<double> external(2, 0.0), kc(1, 0.0);
  contact_forces(z, U, zb, r.view(), internal, internal_z, s, free_node, external, kc);
  EXPECT_NEAR(kc[0], 1.1 * friction / ((0.01 + 30.0) * c), 1e-12);  // u . t' with w = 30
  const std::vector<double> external_free = external;
  const std::vector<int32_t> stuck = {1};
  std::fill(external.begin(), external.end(), 0.0);
  contact_forces(z, U, zb, r.view(), internal, internal_z, s, stuck, external, kc);
  EXPECT_NEAR(kc[0], 1.1 * friction / (0.01 * c), 1e-9);
  EXPECT_EQ(external, external_free);  // the force, and so the residual, is Part 4.5's
}

TEST(StickingNodes, MarkedWhenThePlanDisplacementReversesAndKeptAfterwards) {
  const std::vector<double> U = {0.3, -0.1, 0.3, -0.1, 0.3, -0.1};
  const std::vector<double> dU = {-1.0, 0.0, 1.0, 1.0, -0.5, 0.3};
  std::vector<int32_t> sticking = {0, 0, 1};
  mark_sticking_nodes(U, dU, 0.5, sticking);
  EXPECT_EQ(sticking[0], 1);  // (0.3, -0.1) -> (-0.2, -0.1): reversed
  EXPECT_EQ(sticking[1], 0);  // (0.3, -0.1) -> (0.8, 0.4): turned, but by less than 90 degrees
  EXPECT_EQ(sticking[2], 1);  // (0.3, -0.1) -> (0.05, 0.05): not reversed, but marked before
}

// Part 4.5 edge case: an empty entry (node kNone) is skipped and not counted against its bead.
TEST(DrawbeadTerms, EmptyEntryIsSkippedAndNotCountedAgainstItsBead) {
  OwnedRestraint r(2, 3, 2);
  r.bead_node = {0, kNone, 1};
  r.bead_force = {5.0, 99.0, 7.0};
  r.bead_entries = {1, 1};
  r.bead_offset = {0, 1};
  r.state = {5, 5};
  OwnedBeads beads;
  beads.add(1.0, 0.0, 0, 0, 0, 10, 0, 0);  // along x: m = n x d = (0, 1, 0)
  beads.add(1.0, 0.0, 0, 0, 0, 0, 10, 0);  // along y: m = (-1, 0, 0)
  const std::vector<double> z = {0.0, 0.0}, U = {0.5, 0.5, 0.5, 0.5}, zb = {0.0, 0.0}, zh = {0.0, 0.0};
  std::vector<double> external(4, 0.0), kb(3, -1.0), kf(2, 0.0), kc(2, 0.0), block(6, 0.0);
  RunSettings s;
  restraint_forces(z, U, zb, zh, r.view(), beads.view(), s, external, kb, kf);
  EXPECT_EQ(kb[1], 0.0);
  EXPECT_NEAR(kb[0], 1.1 * 5.0 / 0.5, 1e-9);
  EXPECT_NEAR(kb[2], 1.1 * 7.0 / 0.5, 1e-9);
  // Node 0 (bead 0): s = 0.5, force 1.1 Fb along -m = (0, -1).
  EXPECT_NEAR(external[0], 0.0, 1e-9);
  EXPECT_NEAR(external[1], -1.1 * 5.0, 1e-9);
  // Node 1 counted in bead 1 (not bead 0): s = -0.5, force -1.1 Fb * m = (-7.7, 0).
  EXPECT_NEAR(external[2], -1.1 * 7.0, 1e-9);
  EXPECT_NEAR(external[3], 0.0, 1e-9);
  node_stiffness_blocks(z, U, zh, r.view(), beads.view(), s, {kb, kf, kc, block});
  EXPECT_NEAR(block[0], 0.25 * kb[0], 1e-9);  // node 0: kb m m^T + 0.25 kb d d^T, d = (1, 0)
  EXPECT_NEAR(block[4], kb[0], 1e-9);
  EXPECT_NEAR(block[1], kb[2], 1e-9);         // node 1: m = (-1, 0), d = (0, 1)
  EXPECT_NEAR(block[5], 0.25 * kb[2], 1e-9);
  EXPECT_NEAR(block[2] + block[3], 0.0, 1e-9);
}

TEST(DrawbeadTerms, StiffnessIsCappedAtOneE8) {
  OwnedRestraint r(1, 1, 1);
  r.bead_node = {0};
  r.bead_force = {5.0};
  r.bead_entries = {1};
  r.state = {5};
  OwnedBeads beads;
  beads.add(1.0, 0.0, 0, 0, 0, 10, 0, 0);
  const std::vector<double> z = {0.0}, U = {0.3, 0.0}, zb = {0.0};
  std::vector<double> external(2, 0.0), kb(1, 0.0), kf(1, 0.0);
  restraint_forces(z, U, zb, zb, r.view(), beads.view(), RunSettings{}, external, kb, kf);
  EXPECT_EQ(kb[0], 1.0e8);  // s = m . u = 0 (u along the bead)
  EXPECT_EQ(external[1], 0.0);
}

TEST(ToolStiffness, EachCornerGetsItsNodesBlockOnItsOwnDofs) {
  OwnedMesh owned = grid_mesh(1, 1, 1.0);
  owned.conn = {0, 1, 3, 3};  // a triangle (corner 4 repeats corner 3)
  owned.corners = {3};
  const Mesh part = owned.view();
  const std::vector<double> block = {1, 2, 3, 4, 10, 20, 30, 40, 100, 200, 300, 400};  // kxx | kxy | kyy
  std::array<double, 64> ke{};
  add_tool_stiffness(part, 0, block, ke);
  const int32_t nodes[3] = {0, 1, 3};
  for (int k = 0; k < 3; ++k) {
    const int a = 2 * k;
    EXPECT_EQ(ke[a + 8 * a], block[nodes[k]]) << k;
    EXPECT_EQ(ke[a + 8 * (a + 1)], block[4 + nodes[k]]) << k;
    EXPECT_EQ(ke[(a + 1) + 8 * a], block[4 + nodes[k]]) << k;
    EXPECT_EQ(ke[(a + 1) + 8 * (a + 1)], block[8 + nodes[k]]) << k;
  }
  double rest = 0.0;
  for (int b = 0; b < 8; ++b)
    for (int a = 6; a < 8; ++a) rest += std::abs(ke[a + 8 * b]) + std::abs(ke[b + 8 * a]);
  EXPECT_EQ(rest, 0.0);  // nothing on the unused dofs of a triangle
}

TEST(PunchForce, SumsTheInternalZForceOfFreeNodesOnly) {
  const std::vector<int32_t> state = {2, 3, 2, 5, 1, 4};
  const std::vector<double> fz = {1.5, 100.0, 2.5, 100.0, 100.0, 100.0};
  EXPECT_DOUBLE_EQ(punch_force(state, fz), 4.0);
  EXPECT_EQ(punch_force({}, {}), 0.0);
}

}  // namespace
}  // namespace trevo
