// The corotational membrane of the pre-unfolding: rigid motions and a flat element in
// place are unstrained, a collapsed wall and an inverted triangle are driven to the
// element's own shape, the corner forces balance in force and in torque, the stiffness
// is symmetric.
// Spec: Part 5.2 (Membrane element; Left to the implementer: the membrane's integration).
#include "restraint/corotational_membrane.h"

#include <gtest/gtest.h>

#include <cmath>

namespace trevo {
namespace {

using Points = std::array<std::array<double, 3>, 4>;

const Points kTriangle = {{{0.0, 0.0, 0.0}, {4.0, 0.5, 0.0}, {1.0, 3.0, 0.0}, {1.0, 3.0, 0.0}}};
const Points kQuad = {{{0.0, 0.0, 0.0}, {4.0, 0.0, 0.0}, {4.5, 3.0, 0.0}, {-0.5, 2.5, 0.0}}};
// A wall in the plane x = 2: its projection onto the blank plane is a line.
const Points kWallTriangle = {{{2.0, 0.0, 0.0}, {2.0, 4.0, 0.5}, {2.0, 1.0, 3.0}, {2.0, 1.0, 3.0}}};
const Points kWallQuad = {{{2.0, 0.0, 0.0}, {2.0, 4.0, 0.0}, {2.0, 4.0, 3.0}, {2.0, 0.0, 3.0}}};

BlankCorners projection(const Points& p, int corners) {
  BlankCorners b;
  for (int k = 0; k < corners; ++k) b.X[k] = p[k][0], b.Y[k] = p[k][1];
  return b;
}

// The element's local shape turned by angle and moved by (tx, ty).
BlankCorners rigidly_moved(const ElementGeometry& g, double angle, double tx, double ty) {
  BlankCorners b;
  const double c = std::cos(angle), s = std::sin(angle);
  for (int k = 0; k < g.corners; ++k) {
    b.X[k] = tx + c * g.x[k] - s * g.y[k];
    b.Y[k] = ty + s * g.x[k] + c * g.y[k];
  }
  return b;
}

double largest_force(const CorotationalMembrane& m) {
  double largest = 0.0;
  for (double f : m.restoring) largest = std::max(largest, std::fabs(f));
  return largest;
}

double signed_area(const BlankCorners& b, int corners) {
  double twice = 0.0;
  for (int k = 0; k < corners; ++k) {
    const int next = (k + 1) % corners;
    twice += b.X[k] * b.Y[next] - b.X[next] * b.Y[k];
  }
  return 0.5 * twice;
}

// Relaxes the free element alone by steps f / trace(K) (below 2 / largest eigenvalue, so
// every strained mode shrinks).
BlankCorners relax_alone(const ElementGeometry& g, BlankCorners b, int steps) {
  for (int i = 0; i < steps; ++i) {
    const CorotationalMembrane m = corotational_membrane(g, 10000.0, 1.0, b);
    double diagonal = 0.0;
    for (int d = 0; d < 2 * g.corners; ++d) diagonal += m.stiffness[d * 8 + d];
    for (int k = 0; k < g.corners; ++k) {
      b.X[k] += m.restoring[2 * k] / diagonal;
      b.Y[k] += m.restoring[2 * k + 1] / diagonal;
    }
  }
  return b;
}

// Edge lengths of the blank corners against the element's own (local) shape.
void expect_own_shape(const ElementGeometry& g, const BlankCorners& b, double tolerance) {
  for (int k = 0; k < g.corners; ++k) {
    const int next = (k + 1) % g.corners;
    const double own = std::hypot(g.x[next] - g.x[k], g.y[next] - g.y[k]);
    const double blank = std::hypot(b.X[next] - b.X[k], b.Y[next] - b.Y[k]);
    EXPECT_NEAR(blank, own, tolerance) << "edge " << k;
  }
  EXPECT_NEAR(signed_area(b, g.corners), g.area, tolerance * std::sqrt(g.area)) << "orientation or size";
}

// Rigid motion in the plane strains nothing: zero force for any turn (also past 90 deg).
TEST(CorotationalMembrane, RigidMotionGivesZeroForce) {
  for (const auto& [points, corners] : {std::pair{kTriangle, 3}, std::pair{kQuad, 4}, std::pair{kWallTriangle, 3}}) {
    const ElementGeometry g = element_geometry(points, corners);
    for (double angle : {0.0, 0.3, 1.7, 3.1, -2.4}) {
      const CorotationalMembrane m = corotational_membrane(g, 10000.0, 1.3, rigidly_moved(g, angle, 5.0, -7.0));
      EXPECT_LT(largest_force(m), 1e-8) << "corners " << corners << " angle " << angle;
    }
  }
}

// Part 5.2 edge case (flat part): an element lying in the plane, in its own place, has no force.
TEST(CorotationalMembrane, FlatElementInPlaceHasZeroForce) {
  for (const auto& [points, corners] : {std::pair{kTriangle, 3}, std::pair{kQuad, 4}}) {
    const ElementGeometry g = element_geometry(points, corners);
    const CorotationalMembrane m = corotational_membrane(g, 10000.0, 1.0, projection(points, corners));
    EXPECT_LT(largest_force(m), 1e-8) << "corners " << corners;
  }
}

// A wall collapsed onto a line by the projection gets a finite force that opens it, and
// the element alone relaxes to its own shape with the part's orientation (positive area).
TEST(CorotationalMembrane, CollapsedWallIsLaidOut) {
  for (const auto& [points, corners] : {std::pair{kWallTriangle, 3}, std::pair{kWallQuad, 4}}) {
    const ElementGeometry g = element_geometry(points, corners);
    const BlankCorners collapsed = projection(points, corners);
    const CorotationalMembrane m = corotational_membrane(g, 10000.0, 1.0, collapsed);
    EXPECT_TRUE(std::isfinite(largest_force(m)));
    EXPECT_GT(largest_force(m), 1.0) << "corners " << corners;
    expect_own_shape(g, relax_alone(g, collapsed, 3000), 1e-6);
  }
}

// An inverted (mirrored) triangle is driven back to its own, positively oriented shape.
TEST(CorotationalMembrane, InvertedTriangleIsDrivenBack) {
  const ElementGeometry g = element_geometry(kTriangle, 3);
  BlankCorners inverted = projection(kTriangle, 3);
  for (int k = 0; k < 3; ++k) inverted.Y[k] = -inverted.Y[k] + 0.2 * inverted.X[k];
  ASSERT_LT(signed_area(inverted, 3), 0.0);
  expect_own_shape(g, relax_alone(g, inverted, 3000), 1e-6);
}

// The fix for the spinning blank: the corner forces of a distorted element sum to zero
// and carry no torque (rotation of the polar decomposition), so they never drive the
// whole blank's soft rigid rotation. A torque-carrying fit (corner Procrustes) made the
// triangle-meshed S-rail spin by about 3 degrees per iteration with DEPXY stuck at 4300.
// The quadrilateral's turn is refined until its forces carry no torque either.
TEST(CorotationalMembrane, DistortedElementForcesCarryNoTorque) {
  const Points slender = {{{0.0, 0.0, 0.0}, {9.0, 0.2, 0.0}, {3.0, 1.0, 0.0}, {3.0, 1.0, 0.0}}};
  const Points long_quad = {{{0.0, 0.0, 0.0}, {12.0, 0.0, 0.0}, {12.5, 2.0, 0.0}, {0.5, 3.0, 0.0}}};
  for (const auto& [points, corners] : {std::pair{kTriangle, 3}, std::pair{slender, 3}, std::pair{kWallTriangle, 3},
                                        std::pair{kQuad, 4}, std::pair{long_quad, 4}, std::pair{kWallQuad, 4}}) {
    const ElementGeometry g = element_geometry(points, corners);
    const BlankCorners distorted[] = {
        {{0.3, 5.0, 1.5, -0.5}, {0.0, 1.0, 2.5, 2.0}},   // stretched and sheared
        {{0.0, 2.0, 1.0, 0.2}, {0.0, 0.1, 3.0, 2.0}},    // squashed
        {{1.0, 3.0, 2.0, 1.5}, {1.0, 1.0, 1.0, 1.0}},    // collapsed onto a line
        {{0.0, 4.0, 1.0, 0.5}, {0.0, 0.5, -3.0, -2.0}},  // inverted
    };
    for (const BlankCorners& b : distorted) {
      const CorotationalMembrane m = corotational_membrane(g, 10000.0, 1.0, b);
      double fx = 0.0, fy = 0.0, torque = 0.0;
      for (int k = 0; k < corners; ++k) {
        fx += m.restoring[2 * k], fy += m.restoring[2 * k + 1];
        torque += b.X[k] * m.restoring[2 * k + 1] - b.Y[k] * m.restoring[2 * k];
      }
      const double scale = largest_force(m) * 10.0;
      EXPECT_NEAR(fx, 0.0, 1e-10 * scale);
      EXPECT_NEAR(fy, 0.0, 1e-10 * scale);
      EXPECT_NEAR(torque, 0.0, 1e-10 * scale) << "corners " << corners << " at " << b.X[0] << "," << b.Y[0] << " force " << scale;
    }
  }
}

// The blank-plane stiffness is symmetric, turns with the element and scales with E h0.
TEST(CorotationalMembrane, StiffnessSymmetricAndScaled) {
  const ElementGeometry g = element_geometry(kQuad, 4);
  const BlankCorners b = rigidly_moved(g, 0.9, 1.0, 2.0);
  const CorotationalMembrane m = corotational_membrane(g, 10000.0, 1.0, b);
  const CorotationalMembrane doubled = corotational_membrane(g, 20000.0, 1.5, b);
  for (int i = 0; i < 8; ++i) {
    for (int j = 0; j < 8; ++j) {
      EXPECT_NEAR(m.stiffness[i * 8 + j], m.stiffness[j * 8 + i], 1e-9 * m.stiffness[0]) << i << "," << j;
      EXPECT_NEAR(doubled.stiffness[i * 8 + j], 3.0 * m.stiffness[i * 8 + j], 1e-9 * m.stiffness[0]) << i << "," << j;
    }
  }
}

}  // namespace
}  // namespace trevo
