// Tests of the element formulation: geometry, strains, thickness, forces, stiffness, stabilisation, membrane.
// Spec: Part 4.2 (Part 4.3 for the stress, Part 5.2 for the membrane element)
#include "solver/element.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

namespace trevo {
namespace {

using Points = std::array<std::array<double, 3>, 4>;

// Corner displacements part minus blank; blank[k] = (X, Y, Zb).
CornerDisplacements displacements(const Points& part, const Points& blank) {
  CornerDisplacements u;
  for (int k = 0; k < 4; ++k) {
    u.ux[k] = part[k][0] - blank[k][0];
    u.uy[k] = part[k][1] - blank[k][1];
    u.uz[k] = part[k][2] - blank[k][2];
  }
  return u;
}

// Points turned about z by angle and shifted in the plane (a rigid in-plane motion of a blank).
Points planar_motion(const Points& p, double angle, double dx, double dy) {
  Points q;
  const double c = std::cos(angle), s = std::sin(angle);
  for (int k = 0; k < 4; ++k) q[k] = {c * p[k][0] - s * p[k][1] + dx, s * p[k][0] + c * p[k][1] + dy, p[k][2]};
  return q;
}

// Flat points turned about x by ax then about y by ay and shifted: a tilted part element.
Points tilt(const Points& p, double ax, double ay, double dz) {
  Points q;
  for (int k = 0; k < 4; ++k) {
    const double x = p[k][0], y = std::cos(ax) * p[k][1] - std::sin(ax) * p[k][2],
                 z = std::sin(ax) * p[k][1] + std::cos(ax) * p[k][2];
    q[k] = {std::cos(ay) * x + std::sin(ay) * z, y, -std::sin(ay) * x + std::cos(ay) * z + dz};
  }
  return q;
}

// An irregular flat triangle (corner 3 repeated as 4) and quadrilateral.
const Points kTriangle = {{{0.3, 0.1, 0.0}, {4.1, 0.7, 0.0}, {1.6, 3.2, 0.0}, {1.6, 3.2, 0.0}}};
const Points kQuad = {{{0.2, 0.1, 0.0}, {4.3, 0.4, 0.0}, {4.9, 3.6, 0.0}, {0.6, 3.1, 0.0}}};
const MaterialRow kDefaults;

// Symmetric eigenvalues by cyclic Jacobi rotations (a: n x n row-major with stride 8).
std::vector<double> eigenvalues(const ElementMatrix& k, int n) {
  std::vector<double> a(n * n);
  for (int i = 0; i < n; ++i)
    for (int j = 0; j < n; ++j) a[i * n + j] = k[i * 8 + j];
  for (int sweep = 0; sweep < 100; ++sweep) {
    double off = 0.0;
    for (int p = 0; p < n; ++p)
      for (int q = p + 1; q < n; ++q) off += a[p * n + q] * a[p * n + q];
    if (off < 1e-30) break;
    for (int p = 0; p < n; ++p) {
      for (int q = p + 1; q < n; ++q) {
        if (a[p * n + q] == 0.0) continue;
        const double theta = 0.5 * (a[q * n + q] - a[p * n + p]) / a[p * n + q];
        const double t = (theta >= 0 ? 1.0 : -1.0) / (std::fabs(theta) + std::sqrt(theta * theta + 1.0));
        const double c = 1.0 / std::sqrt(t * t + 1.0), s = t * c;
        for (int r = 0; r < n; ++r) {  // columns p, q
          const double arp = a[r * n + p], arq = a[r * n + q];
          a[r * n + p] = c * arp - s * arq;
          a[r * n + q] = s * arp + c * arq;
        }
        for (int r = 0; r < n; ++r) {  // rows p, q
          const double apr = a[p * n + r], aqr = a[q * n + r];
          a[p * n + r] = c * apr - s * aqr;
          a[q * n + r] = s * apr + c * aqr;
        }
      }
    }
  }
  std::vector<double> ev(n);
  for (int i = 0; i < n; ++i) ev[i] = a[i * n + i];
  std::sort(ev.begin(), ev.end());
  return ev;
}

double max_abs(const ElementMatrix& k) {
  double m = 0.0;
  for (double v : k) m = std::max(m, std::fabs(v));
  return m;
}

// Internal forces and stiffness of the one-step element at the corner displacements u.
ElementForces forces_at(const ElementGeometry& g, const CornerDisplacements& u, double h0 = 1.0) {
  const ElementStrain st = evaluate_element(g, u, kDefaults, h0);
  return element_internal_forces(g, st.sxx, st.syy, st.sxy, st.h, h0);
}
ElementMatrix stiffness_at(const ElementGeometry& g, const CornerDisplacements& u, double s2 = 1.0) {
  const ElementStrain st = evaluate_element(g, u, kDefaults, 1.0);
  return element_stiffness(g, stress_matrix(st.epsbar, kDefaults), st.h, 1.0, s2, serendipity_tables());
}

// The u3 terms: dU^T k dU = weight * volume * (d11 (a^2 + b^2) + 2 d12 a b + d33 / 2 c^2) with the changes
// a = u3,x d(u3,x), b = u3,y d(u3,y), c = u3,x d(u3,y) + u3,y d(u3,x) and d(u3) = e3 . (dU, 0); none
// where u3 is constant (here: the blank in the part's place).
TEST(NormalDisplacementStiffness, LinearisesTheU3TermsOfTheMetric) {
  const Points part = tilt(kTriangle, 0.9, 0.4, 2.0);  // a steep element: the u3 terms act
  const ElementGeometry g = element_geometry(part, 3);
  Points blank = part;
  for (int k = 0; k < 4; ++k) blank[k] = {0.97 * part[k][0] + 0.1, 1.02 * part[k][1], 0.0};
  const CornerDisplacements u = displacements(part, blank);
  const StressMatrix ds = stress_matrix(0.05, kDefaults);
  ElementMatrix k{};
  add_normal_displacement_stiffness(g, u, ds, 2.5, 0.5, k);
  const std::array<double, 6> d = {0.3, -0.1, 0.0, 0.4, -0.2, 0.25};
  double u3x = 0, u3y = 0, du3x = 0, du3y = 0;
  for (int c = 0; c < 3; ++c) {
    const double u3 = g.e3[0] * u.ux[c] + g.e3[1] * u.uy[c] + g.e3[2] * u.uz[c];
    const double du3 = g.e3[0] * d[2 * c] + g.e3[1] * d[2 * c + 1];
    u3x += g.dndx[0][c] * u3, u3y += g.dndy[0][c] * u3;
    du3x += g.dndx[0][c] * du3, du3y += g.dndy[0][c] * du3;
  }
  const double a = u3x * du3x, b = u3y * du3y, c = u3x * du3y + u3y * du3x;
  const double expected = 0.5 * 2.5 * (ds.d11 * (a * a + b * b) + 2 * ds.d12 * a * b + 0.5 * ds.d33 * c * c);
  double q = 0.0;
  for (int i = 0; i < 6; ++i)
    for (int j = 0; j < 6; ++j) {
      q += d[i] * k[i * 8 + j] * d[j];
      EXPECT_DOUBLE_EQ(k[i * 8 + j], k[j * 8 + i]);
    }
  ASSERT_GT(expected, 0.0);
  EXPECT_NEAR(q, expected, 1e-12 * expected);

  ElementMatrix parallel{};
  add_normal_displacement_stiffness(g, displacements(part, part), ds, 2.5, 0.5, parallel);
  EXPECT_EQ(max_abs(parallel), 0.0);
}

// Part 4.2 edge case: a triangle stored with its third node repeated is evaluated as a triangle.
TEST(ElementGeometry, RepeatedThirdNodeIsTriangle) {
  std::vector<double> x = {0.3, 4.1, 1.6}, y = {0.1, 0.7, 3.2}, z = {0.0, 0.0, 0.0};
  std::vector<int32_t> conn = {0, 1, 2, 2};
  const Mesh part{3, 1, x, y, z, conn, {}};
  const ElementGeometry g = element_geometry(part, 0);
  EXPECT_EQ(g.corners, 3);
  const double area = 0.5 * ((4.1 - 0.3) * (3.2 - 0.1) - (1.6 - 0.3) * (0.7 - 0.1));
  EXPECT_NEAR(g.area, area, 1e-12);
  // A degenerate quadrilateral's centre Jacobian would give another area; the triangle's gradients sum to 0.
  EXPECT_NEAR(g.dndx[0][0] + g.dndx[0][1] + g.dndx[0][2], 0.0, 1e-15);
  EXPECT_NEAR(g.dndy[0][0] + g.dndy[0][1] + g.dndy[0][2], 0.0, 1e-15);
  EXPECT_EQ(g.dndx[1][0], 0.0);
  // Stretched by 10 % in x: the triangle's strain, not a degenerate quadrilateral's.
  Points blank = kTriangle;
  for (auto& p : blank) p[0] /= 1.1;
  const ElementStrain st = evaluate_element(g, displacements(kTriangle, blank), kDefaults, 1.0);
  EXPECT_NEAR(st.lambda1, 1.1, 1e-12);
  EXPECT_NEAR(st.lambda2, 1.0, 1e-12);
}

TEST(ElementGeometry, FrameIsOrthonormalAndLocalCornersKeepLengths) {
  for (const Points& flat : {kTriangle, kQuad}) {
    const int corners = &flat == &kTriangle ? 3 : 4;
    const Points p = tilt(flat, 0.7, -0.4, 3.0);
    const ElementGeometry g = element_geometry(p, corners);
    const double* axes[3] = {g.e1, g.e2, g.e3};
    for (int a = 0; a < 3; ++a)
      for (int b = 0; b < 3; ++b) {
        const double d = axes[a][0] * axes[b][0] + axes[a][1] * axes[b][1] + axes[a][2] * axes[b][2];
        EXPECT_NEAR(d, a == b ? 1.0 : 0.0, 1e-14) << "axes " << a << " " << b;
      }
    EXPECT_EQ(g.y[1], 0.0);
    for (int k = 1; k < corners; ++k) {
      const double dx = p[k][0] - p[0][0], dy = p[k][1] - p[0][1], dz = p[k][2] - p[0][2];
      EXPECT_NEAR(std::hypot(g.x[k], g.y[k]), std::sqrt(dx * dx + dy * dy + dz * dz), 1e-12) << "corner " << k;
    }
  }
}

// Part 4.2 edge case: blank positions (X, Y, Zb) equal to the part positions: lambda1 = lambda2 = 1, zero
// strain, h = h0, direction (1, 0). Flat and tilted elements.
TEST(EvaluateElement, UndeformedGivesUnitStretchesAndDirectionOneZero) {
  for (const Points& p : {kTriangle, kQuad, tilt(kTriangle, 0.5, 0.3, 2.0), tilt(kQuad, -1.2, 0.2, 5.0)}) {
    const int corners = p[2] == p[3] ? 3 : 4;
    const ElementGeometry g = element_geometry(p, corners);
    const ElementStrain st = evaluate_element(g, displacements(p, p), kDefaults, 0.8);
    EXPECT_EQ(st.lambda1, 1.0);
    EXPECT_EQ(st.lambda2, 1.0);
    EXPECT_EQ(st.exx, 0.0);
    EXPECT_EQ(st.eyy, 0.0);
    EXPECT_EQ(st.exy, 0.0);
    EXPECT_EQ(st.h, 0.8);
    EXPECT_EQ(st.c, 1.0);
    EXPECT_EQ(st.s, 0.0);
    EXPECT_EQ(st.sxx, 0.0);
  }
}

// Part 4.2 edge case: equal stretch in all directions gives direction (1, 0) from the near-equal test.
TEST(EvaluateElement, EqualStretchGivesDirectionOneZero) {
  for (const Points& p : {kTriangle, kQuad}) {
    const int corners = p[2] == p[3] ? 3 : 4;
    Points blank = planar_motion(p, 0.3, 1.0, -2.0);
    for (auto& b : blank) b[0] *= 0.8, b[1] *= 0.8;
    const ElementStrain st = evaluate_element(element_geometry(p, corners), displacements(p, blank), kDefaults, 1.0);
    EXPECT_EQ(st.c, 1.0);
    EXPECT_EQ(st.s, 0.0);
    EXPECT_NEAR(st.lambda1, 1.25, 1e-12);
    EXPECT_NEAR(st.lambda2, 1.25, 1e-12);
    EXPECT_NEAR(st.exx, std::log(1.25), 1e-12);
    EXPECT_NEAR(st.eyy, std::log(1.25), 1e-12);
    EXPECT_NEAR(st.exy, 0.0, 1e-12);
  }
}

// Part 4.2 step 5 (deviation documented in element.cpp): a stretch along the local y axis keeps its strain
// on y. The literal guard "(1, 0) when |G11 - 1/lambda2^2| < 1e-6" would report exx = ln 1.2 here.
TEST(EvaluateElement, StretchAlongLocalYStaysOnY) {
  const Points square = {{{0, 0, 0}, {2, 0, 0}, {2, 2, 0}, {0, 2, 0}}};
  Points blank = square;
  for (auto& b : blank) b[1] /= 1.2;
  const ElementGeometry g = element_geometry(square, 4);
  const ElementStrain st = evaluate_element(g, displacements(square, blank), kDefaults, 1.0);
  EXPECT_NEAR(st.exx, 0.0, 1e-12);
  EXPECT_NEAR(st.eyy, std::log(1.2), 1e-12);
  EXPECT_NEAR(std::fabs(st.s), 1.0, 1e-12);
  // Continuity: a slight shear that leaves the guard gives nearly the same strains.
  Points sheared = blank;
  for (auto& b : sheared) b[0] += 1e-4 * b[1];
  const ElementStrain near = evaluate_element(g, displacements(square, sheared), kDefaults, 1.0);
  EXPECT_NEAR(near.exx, st.exx, 1e-4);
  EXPECT_NEAR(near.eyy, st.eyy, 1e-4);
}

// Part 4.2 steps 6-7: principal strains, and the thickness h = h0 / (lambda1 lambda2) (incompressibility).
TEST(EvaluateElement, ThicknessFromIncompressibility) {
  for (const Points& flat : {kTriangle, kQuad}) {
    const int corners = flat[2] == flat[3] ? 3 : 4;
    Points blank = flat;
    for (auto& b : blank) b[0] /= 1.3, b[1] /= 1.1;
    const Points part = tilt(flat, 0.4, 0.9, 1.0);
    blank = planar_motion(blank, -0.7, 3.0, 4.0);
    for (auto& b : blank) b[2] = 0.0;
    const ElementStrain st = evaluate_element(element_geometry(part, corners), displacements(part, blank), kDefaults, 1.5);
    EXPECT_NEAR(st.lambda1, 1.3, 1e-12);
    EXPECT_NEAR(st.lambda2, 1.1, 1e-12);
    EXPECT_NEAR(st.h, 1.5 / (1.3 * 1.1), 1e-12);
    EXPECT_NEAR(st.e3, -std::log(1.3 * 1.1), 1e-12);
    EXPECT_NEAR(st.exx + st.eyy + st.e3, 0.0, 1e-12);
    // The local frame's strain tensor has the principal values ln 1.3 and ln 1.1.
    const double mean = 0.5 * (st.exx + st.eyy);
    const double radius = std::sqrt(0.25 * (st.exx - st.eyy) * (st.exx - st.eyy) + st.exy * st.exy);
    EXPECT_NEAR(mean + radius, std::log(1.3), 1e-12);
    EXPECT_NEAR(mean - radius, std::log(1.1), 1e-12);
    // Part 4.3: sigma = Ds eps at the element's epsbar.
    const StressMatrix ds = stress_matrix(st.epsbar, kDefaults);
    EXPECT_NEAR(st.sxx, ds.d11 * st.exx + ds.d12 * st.eyy, 1e-9);
    EXPECT_NEAR(st.syy, ds.d12 * st.exx + ds.d11 * st.eyy, 1e-9);
    EXPECT_NEAR(st.sxy, ds.d33 * st.exy, 1e-9);
    EXPECT_NEAR(st.epsbar, equivalent_strain(st.exx, st.eyy, st.exy, st.e3, 1.0, 1.0, 1.0), 1e-15);
  }
}

// Rigid translation and in-plane rotation of the blank give zero strain and zero internal force; for a
// tilted part element the blank is the element laid flat and then moved rigidly in the plane.
TEST(EvaluateElement, RigidBlankMotionGivesNoStrainNoForce) {
  for (const Points& flat : {kTriangle, kQuad}) {
    const int corners = flat[2] == flat[3] ? 3 : 4;
    for (double ax : {0.0, 0.6, 1.5707963267948966, 2.0}) {
      const Points part = tilt(flat, ax, 0.3 * ax, 7.0);
      const Points blank = planar_motion(flat, 0.9, -5.0, 12.0);
      const ElementGeometry g = element_geometry(part, corners);
      const ElementStrain st = evaluate_element(g, displacements(part, blank), kDefaults, 1.0);
      EXPECT_NEAR(st.exx, 0.0, 1e-13) << "ax=" << ax;
      EXPECT_NEAR(st.eyy, 0.0, 1e-13) << "ax=" << ax;
      EXPECT_NEAR(st.exy, 0.0, 1e-13) << "ax=" << ax;
      EXPECT_NEAR(st.h, 1.0, 1e-13);
      const ElementForces f = element_internal_forces(g, st.sxx, st.syy, st.sxy, st.h, 1.0);
      for (int i = 0; i < 2 * corners; ++i) EXPECT_NEAR(f.fxy[i], 0.0, 1e-8) << "dof " << i << " ax=" << ax;
    }
  }
}

// Forces of a stretched element are self-equilibrated: they sum to zero in every global direction.
TEST(ElementForces, SelfEquilibrated) {
  for (const Points& flat : {kTriangle, kQuad}) {
    const int corners = flat[2] == flat[3] ? 3 : 4;
    const Points part = tilt(flat, 0.8, 0.2, 0.0);
    Points blank = flat;
    for (auto& b : blank) b[0] /= 1.2, b[1] /= 0.95;
    const ElementForces f = forces_at(element_geometry(part, corners), displacements(part, blank));
    double sx = 0.0, sy = 0.0, sz = 0.0, largest = 0.0;
    for (int c = 0; c < corners; ++c) {
      sx += f.fxy[2 * c], sy += f.fxy[2 * c + 1], sz += f.fz[c];
      largest = std::max(largest, std::fabs(f.fxy[2 * c]));
    }
    EXPECT_GT(largest, 1.0);
    EXPECT_NEAR(sx, 0.0, 1e-10 * largest);
    EXPECT_NEAR(sy, 0.0, 1e-10 * largest);
    EXPECT_NEAR(sz, 0.0, 1e-10 * largest);
  }
}

// The stiffness is returned full and symmetric by construction, stabilised or not.
TEST(ElementStiffness, SymmetricByConstruction) {
  for (const Points& flat : {kTriangle, kQuad}) {
    const int corners = flat[2] == flat[3] ? 3 : 4;
    for (double ax : {0.0, 1.2, 1.5707963267948966}) {
      const Points part = tilt(flat, ax, 0.1, 0.0);
      Points blank = flat;
      for (auto& b : blank) b[0] /= 1.15;
      const ElementMatrix k = stiffness_at(element_geometry(part, corners), displacements(part, blank));
      for (int i = 0; i < 8; ++i)
        for (int j = 0; j < 8; ++j) {
          EXPECT_EQ(k[i * 8 + j], k[j * 8 + i]) << "(" << i << "," << j << ") ax=" << ax;
          if (i >= 2 * corners || j >= 2 * corners) {
            EXPECT_EQ(k[i * 8 + j], 0.0);
          }
        }
      for (double ev : eigenvalues(k, 2 * corners)) EXPECT_GT(ev, -1e-9 * max_abs(k)) << "ax=" << ax;
    }
  }
}

// Central differences of the internal force with respect to U, at a small strain below eps0 where Es is
// constant: column j of the Jacobian.
std::array<double, 8> force_derivative(const ElementGeometry& g, CornerDisplacements u, int j, double step) {
  double* component = j % 2 == 0 ? &u.ux[j / 2] : &u.uy[j / 2];
  const double base = *component;
  *component = base + step;
  const ElementForces plus = forces_at(g, u);
  *component = base - step;
  const ElementForces minus = forces_at(g, u);
  std::array<double, 8> d{};
  for (int i = 0; i < 8; ++i) d[i] = (plus.fxy[i] - minus.fxy[i]) / (2.0 * step);
  return d;
}

// Flat triangle: where secant and tangent coincide (epsbar <= eps0) the stiffness is the force's Jacobian.
TEST(ElementStiffness, MatchesForceDerivativeFlatTriangle) {
  const ElementGeometry g = element_geometry(kTriangle, 3);
  Points blank = kTriangle;
  for (auto& b : blank) b[0] *= 1.0 - 2e-4, b[1] += 1e-4 * b[0];
  const CornerDisplacements u = displacements(kTriangle, blank);
  ASSERT_LT(evaluate_element(g, u, kDefaults, 1.0).epsbar, kDefaults.eps0);
  const ElementMatrix k = stiffness_at(g, u);
  for (int j = 0; j < 6; ++j) {
    const std::array<double, 8> d = force_derivative(g, u, j, 1e-7);
    for (int i = 0; i < 6; ++i) EXPECT_NEAR(d[i], k[i * 8 + j], 2e-3 * max_abs(k)) << "(" << i << "," << j << ")";
  }
}

// Flat quadrilateral (a parallelogram): K1 is the force's Jacobian on every non-hourglass motion (linear
// fields), and (K2 + K3) / 3 is stiffness against the hourglass mode, which one-point forces do not resist.
TEST(ElementStiffness, MatchesForceDerivativeFlatQuad) {
  const Points quad = {{{0.0, 0.0, 0.0}, {4.0, 0.0, 0.0}, {5.0, 3.0, 0.0}, {1.0, 3.0, 0.0}}};
  const ElementGeometry g = element_geometry(quad, 4);
  Points blank = quad;
  for (auto& b : blank) b[0] *= 1.0 - 2e-4, b[1] += 1e-4 * b[0];
  const CornerDisplacements u = displacements(quad, blank);
  ASSERT_LT(evaluate_element(g, u, kDefaults, 1.0).epsbar, kDefaults.eps0);
  const ElementMatrix k = stiffness_at(g, u);
  std::array<std::array<double, 8>, 8> jac;  // jac[j][i] = d f_i / d U_j
  for (int j = 0; j < 8; ++j) jac[j] = force_derivative(g, u, j, 1e-7);
  const auto apply = [&](const std::array<double, 8>& v, bool fd) {
    std::array<double, 8> out{};
    for (int i = 0; i < 8; ++i)
      for (int j = 0; j < 8; ++j) out[i] += (fd ? jac[j][i] : k[i * 8 + j]) * v[j];
    return out;
  };
  // Linear fields u = A (x, y): six independent motions.
  for (int mode = 0; mode < 6; ++mode) {
    std::array<double, 8> v{};
    for (int c = 0; c < 4; ++c) {
      const double f[6] = {1.0, 0.0, quad[c][0], quad[c][1], 0.0, 0.0};
      const double h[6] = {0.0, 1.0, 0.0, 0.0, quad[c][0], quad[c][1]};
      v[2 * c] = f[mode], v[2 * c + 1] = h[mode];
    }
    const std::array<double, 8> a = apply(v, false), b = apply(v, true);
    for (int i = 0; i < 8; ++i) EXPECT_NEAR(a[i], b[i], 2e-3 * max_abs(k) * 5.0) << "mode " << mode << " dof " << i;
  }
  std::array<double, 8> hourglass{};
  for (int c = 0; c < 4; ++c) hourglass[2 * c] = (c % 2 == 0) ? 1.0 : -1.0;
  const std::array<double, 8> a = apply(hourglass, false), b = apply(hourglass, true);
  double ka = 0.0, fb = 0.0;
  for (int i = 0; i < 8; ++i) ka += a[i] * hourglass[i], fb = std::max(fb, std::fabs(b[i]));
  EXPECT_GT(ka, 1e-3 * max_abs(k));
  EXPECT_LT(fb, 1e-6 * max_abs(k));
}

// Corners whose blank lies on a binder slope g move by (dU, g . dU) in space (Zb follows the blank, and
// uz = z - Zb). Where secant and tangent coincide, the stiffness with the corners' slopes is then the
// derivative of the force conjugate to dU, fxy + g fz, along that motion; the plain stiffness is not.
TEST(ElementStiffness, CornersOnABinderSlopeFollowItsHeight) {
  const Points part = tilt(kTriangle, 0.5, 0.2, 1.0);  // nz near 0.86: no steep-wall term
  const ElementGeometry g = element_geometry(part, 3);
  Points blank = part;
  for (auto& b : blank) b[0] = part[0][0] + (b[0] - part[0][0]) * (1.0 - 2e-4);
  const CornerDisplacements u0 = displacements(part, blank);
  ASSERT_LT(evaluate_element(g, u0, kDefaults, 1.0).epsbar, kDefaults.eps0);
  CornerSlopes slopes;
  slopes.x[0] = 0.3, slopes.y[0] = -0.6, slopes.x[1] = 0.7, slopes.y[1] = 0.1, slopes.x[2] = -0.4, slopes.y[2] = 0.5;
  const ElementStrain st = evaluate_element(g, u0, kDefaults, 1.0);
  const StressMatrix ds = stress_matrix(st.epsbar, kDefaults);
  const ElementMatrix k = element_stiffness(g, ds, st.h, 1.0, 1.0, serendipity_tables(), slopes);
  const ElementMatrix plain = element_stiffness(g, ds, st.h, 1.0, 1.0, serendipity_tables());
  auto conjugate_force = [&](int j, double step) {  // fxy + g fz with dof j moved by step along the binder
    CornerDisplacements u = u0;
    const int c = j / 2;
    const double slope = j % 2 == 0 ? slopes.x[c] : slopes.y[c];
    (j % 2 == 0 ? u.ux[c] : u.uy[c]) += step;
    u.uz[c] += slope * step;
    const ElementForces f = forces_at(g, u);
    std::array<double, 6> out{};
    for (int i = 0; i < 6; ++i) out[i] = f.fxy[i] + (i % 2 == 0 ? slopes.x[i / 2] : slopes.y[i / 2]) * f.fz[i / 2];
    return out;
  };
  double plain_error = 0.0;
  for (int j = 0; j < 6; ++j) {
    const std::array<double, 6> plus = conjugate_force(j, 1e-7), minus = conjugate_force(j, -1e-7);
    for (int i = 0; i < 6; ++i) {
      const double derivative = (plus[i] - minus[i]) / 2e-7;
      EXPECT_NEAR(derivative, k[i * 8 + j], 2e-3 * max_abs(k)) << "(" << i << "," << j << ")";
      plain_error = std::max(plain_error, std::fabs(derivative - plain[i * 8 + j]));
    }
  }
  EXPECT_GT(plain_error, 0.1 * max_abs(k));
}

// Part 4.2 Interfaces: HMIN is the smallest thickness and the first element holding it (strictly smaller
// wins); with no elements it is 1.0E20.
TEST(EvaluateElements, HminNamesFirstElementOfTie) {
  // Four unit squares in a row; elements 1 and 3 are stretched alike (thinnest), element 2 less.
  std::vector<double> x, y, z;
  for (int i = 0; i <= 4; ++i) x.push_back(i), y.push_back(0.0), z.push_back(0.0);
  for (int i = 0; i <= 4; ++i) x.push_back(i), y.push_back(1.0), z.push_back(0.0);
  std::vector<int32_t> conn(16);
  const int32_t ne = 4;
  for (int e = 0; e < ne; ++e) conn[e] = e, conn[ne + e] = e + 1, conn[2 * ne + e] = e + 6, conn[3 * ne + e] = e + 5;
  std::vector<int32_t> corners(ne, 4);
  const Mesh part{10, ne, x, y, z, conn, corners};
  std::vector<ElementGeometry> geometry(ne);
  element_geometries(part, geometry);
  // Blank X: node column positions 0, 1, 1.75, 2.625, 3.375 (element widths 1, 0.75, 0.875, 0.75).
  const double blank_x[5] = {0.0, 1.0, 1.75, 2.625, 3.375};
  std::vector<double> u(20), zb(10, 0.0);
  for (int i = 0; i < 10; ++i) u[2 * i] = x[i] - blank_x[i % 5];
  const std::vector<double> table = {0.001, 600.0, 0.22, 0.0, 1.0, 1.0, 1.0, 1.0};
  std::vector<int32_t> material(ne, 0);
  std::vector<double> h0(ne, 1.0), h(ne), epsbar(ne), stress(3 * ne), strain(3 * ne);
  const ThicknessMinimum hmin = evaluate_elements(geometry, part, u, zb, table, 1, material, h0, h, epsbar, stress, strain);
  EXPECT_EQ(hmin.element, 1);
  EXPECT_EQ(hmin.value, h[1]);
  EXPECT_EQ(h[1], h[3]);
  EXPECT_LT(h[1], h[2]);
  EXPECT_NEAR(h[1], 0.75, 1e-12);
  EXPECT_NEAR(strain[1], std::log(1.0 / 0.75), 1e-12);   // exx of element 1
  EXPECT_NEAR(strain[ne + 1], 0.0, 1e-12);          // eyy of element 1
  EXPECT_GT(stress[1], 0.0);
  const Mesh empty{0, 0, {}, {}, {}, {}, {}};
  const ThicknessMinimum none = evaluate_elements({}, empty, {}, {}, table, 1, {}, {}, {}, {}, {}, {});
  EXPECT_EQ(none.value, 1.0e20);
  EXPECT_EQ(none.element, kNone);
}

TEST(CornerDisplacements, GathersPairsAndHeight) {
  std::vector<double> x = {0, 1, 1, 0}, y = {0, 0, 1, 1}, z = {5, 6, 7, 8};
  std::vector<int32_t> conn = {3, 2, 1, 0};
  const Mesh part{4, 1, x, y, z, conn, {}};
  const std::vector<double> u = {10, 11, 12, 13, 14, 15, 16, 17}, zb = {1, 1, 2, 2};
  const CornerDisplacements d = corner_displacements(part, 0, 4, u, zb);
  EXPECT_EQ(d.ux[0], 16);
  EXPECT_EQ(d.uy[0], 17);
  EXPECT_EQ(d.uz[0], 6);
  EXPECT_EQ(d.ux[3], 10);
  EXPECT_EQ(d.uz[3], 4);
}

// Part 4.2: the serendipity tables at the 2 x 2 Gauss points, against the spec's examples and central
// differences of the shape functions.
TEST(SerendipityTables, MatchShapeFunctionDerivatives) {
  const SerendipityTables t = serendipity_tables();
  const double g = 0.5773502691896258;
  const double gx[4] = {g, -g, -g, g}, gy[4] = {g, g, -g, -g};
  const double nx[8] = {1, -1, -1, 1, 0, -1, 0, 1}, ny[8] = {1, 1, -1, -1, 1, 0, -1, 0};
  const auto shape = [&](int i, double xi, double eta) {
    if (i < 4) return 0.25 * (1 + xi * nx[i]) * (1 + eta * ny[i]) * (xi * nx[i] + eta * ny[i] - 1);
    if (nx[i] == 0) return 0.5 * (1 - xi * xi) * (1 + eta * ny[i]);
    return 0.5 * (1 + xi * nx[i]) * (1 - eta * eta);
  };
  EXPECT_NEAR(t.dndxi[0][0], 0.25 * (1 + g) * (3 * g), 1e-15);
  EXPECT_NEAR(t.dndxi[0][4], -g * (1 + g), 1e-15);
  for (int p = 0; p < 4; ++p) {
    double sum_xi = 0.0, sum_eta = 0.0;
    for (int i = 0; i < 8; ++i) {
      const double h = 1e-6;
      const double dxi = (shape(i, gx[p] + h, gy[p]) - shape(i, gx[p] - h, gy[p])) / (2 * h);
      const double deta = (shape(i, gx[p], gy[p] + h) - shape(i, gx[p], gy[p] - h)) / (2 * h);
      EXPECT_NEAR(t.dndxi[p][i], dxi, 1e-9) << "point " << p << " node " << i;
      EXPECT_NEAR(t.dndeta[p][i], deta, 1e-9) << "point " << p << " node " << i;
      sum_xi += t.dndxi[p][i], sum_eta += t.dndeta[p][i];
    }
    EXPECT_NEAR(sum_xi, 0.0, 1e-14);
    EXPECT_NEAR(sum_eta, 0.0, 1e-14);
  }
}

// The DKQ normal stiffness (rotations held at 0): symmetric, positive semi-definite, rank 3 with the
// constant normal motion as its null vector; on a square its trace is 40 db / area (the normalisation).
TEST(DkqNormalStiffness, PositiveSemiDefiniteRankThree) {
  const SerendipityTables t = serendipity_tables();
  const ElementGeometry square = element_geometry({{{0, 0, 0}, {2, 0, 0}, {2, 2, 0}, {0, 2, 0}}}, 4);
  const std::array<double, 16> ks = dkq_normal_stiffness(square, t, 4.0);
  EXPECT_NEAR(ks[0] + ks[5] + ks[10] + ks[15], 40.0, 1e-12);
  const ElementGeometry g = element_geometry(tilt(kQuad, 1.3, 0.4, 0.0), 4);
  const std::array<double, 16> kw = dkq_normal_stiffness(g, t, 1.0);
  ElementMatrix m{};
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j) {
      m[i * 8 + j] = kw[i * 4 + j];
      EXPECT_NEAR(kw[i * 4 + j], kw[j * 4 + i], 1e-12);
    }
  for (int i = 0; i < 4; ++i) EXPECT_NEAR(kw[4 * i] + kw[4 * i + 1] + kw[4 * i + 2] + kw[4 * i + 3], 0.0, 1e-12);
  const std::vector<double> ev = eigenvalues(m, 4);
  EXPECT_NEAR(ev[0], 0.0, 1e-10);
  EXPECT_GT(ev[1], 1e-3 * ev[3]);
}

// Part 4.2, Left to the implementer: the steep-wall terms are stiffness only, symmetric positive
// semi-definite, proportional to S2, absent on flat elements and at nz >= 0.5 (triangles) / > 0.5 (quads).
TEST(SteepWallStabilisation, ProportionalToS2AndPositive) {
  for (const Points& flat : {kTriangle, kQuad}) {
    const int corners = flat[2] == flat[3] ? 3 : 4;
    for (double ax : {0.0, 0.9, 1.5707963267948966, 2.3}) {
      const Points part = tilt(flat, ax, 0.0, 0.0);
      const ElementGeometry g = element_geometry(part, corners);
      const Points blank = planar_motion(flat, 0.2, 1.0, 1.0);
      const CornerDisplacements u = displacements(part, blank);
      const ElementMatrix k0 = stiffness_at(g, u, 0.0), k1 = stiffness_at(g, u, 1.0), k2 = stiffness_at(g, u, 2.0);
      ElementMatrix d{};
      for (int i = 0; i < 64; ++i) {
        d[i] = k1[i] - k0[i];
        EXPECT_NEAR(k2[i] - k0[i], 2.0 * d[i], 1e-9 * max_abs(k0)) << "entry " << i << " ax=" << ax;
      }
      const bool steep = g.e3[2] < 0.5;
      EXPECT_EQ(max_abs(d) > 0.0, steep) << "ax=" << ax << " nz=" << g.e3[2];
      for (double ev : eigenvalues(d, 2 * corners)) EXPECT_GT(ev, -1e-12 * max_abs(k0)) << "ax=" << ax;
    }
  }
  EXPECT_EQ(steep_wall_weight(0.5), 0.0);
  EXPECT_EQ(steep_wall_weight(0.25), 0.5);
  EXPECT_EQ(steep_wall_weight(-0.3), 1.0);
}

// The reason for the steep-wall terms: on a vertical wall (here the x-z plane) the membrane has no
// stiffness at all for the blank's motion across the wall (y); the stabilisation leaves only the uniform
// translation free, so the Newton system of Part 4.1 is regular there.
TEST(SteepWallStabilisation, RegularisesMotionAcrossVerticalWall) {
  const SerendipityTables t = serendipity_tables();
  // A 2 x 1 strip of a vertical wall: a quadrilateral and two triangles, six nodes.
  const double px[6] = {0, 1, 2, 0, 1, 2}, pz[6] = {0, 0, 0, 1, 1.2, 1};
  const int elements[3][4] = {{0, 1, 4, 3}, {1, 2, 5, 5}, {1, 5, 4, 4}};
  std::vector<double> ky(36, 0.0), ky_plain(36, 0.0);  // y-dof block of the assembled stiffness
  for (const auto& el : elements) {
    const int corners = el[2] == el[3] ? 3 : 4;
    Points part{}, blank{};
    for (int c = 0; c < 4; ++c) {
      part[c] = {px[el[c]], 0.0, pz[el[c]]};
      blank[c] = {px[el[c]], -pz[el[c]], 0.0};  // the wall laid flat: no strain
    }
    const ElementGeometry g = element_geometry(part, corners);
    const ElementStrain st = evaluate_element(g, displacements(part, blank), kDefaults, 1.0);
    const StressMatrix ds = stress_matrix(st.epsbar, kDefaults);
    const ElementMatrix k = element_stiffness(g, ds, st.h, 1.0, 1.0, t);
    const ElementMatrix k_plain = element_stiffness(g, ds, st.h, 1.0, 0.0, t);
    for (int a = 0; a < corners; ++a)
      for (int b = 0; b < corners; ++b) {
        ky[el[a] * 6 + el[b]] += k[(2 * a + 1) * 8 + 2 * b + 1];
        ky_plain[el[a] * 6 + el[b]] += k_plain[(2 * a + 1) * 8 + 2 * b + 1];
      }
  }
  double plain = 0.0;
  for (double v : ky_plain) plain = std::max(plain, std::fabs(v));
  EXPECT_LT(plain, 1e-6);
  ElementMatrix m{};
  for (int i = 0; i < 6; ++i)
    for (int j = 0; j < 6; ++j) m[i * 8 + j] = ky[i * 6 + j];
  const std::vector<double> ev = eigenvalues(m, 6);
  EXPECT_NEAR(ev[0], 0.0, 1e-9 * ev[5]);
  EXPECT_GT(ev[1], 1e-3 * ev[5]) << "second eigenvalue " << ev[1] << " largest " << ev[5];
}

// Part 4.2, Stabilisation of diagonal terms: the six restraint categories and one without factors.
TEST(RestraintDiagonal, FactorsByCategory) {
  const std::array<double, 4> kx = {1e-4, 2e-4, 3e-4, 4e-4}, ky = {5e-4, 6e-4, 7e-4, 8e-4};
  const double s1 = 2.0;
  struct Case { int category; double wx, wy; };
  for (const Case& c : {Case{1, 0.2, 0.2}, Case{2, 0.2, 0.0}, Case{3, 0.0, 0.2}, Case{11, 1.0, 1.0},
                        Case{12, 1.0, 0.0}, Case{13, 0.0, 1.0}, Case{0, 0.0, 0.0}}) {
    ElementMatrix k;
    for (int i = 0; i < 64; ++i) k[i] = 1.0 + i;
    const ElementMatrix before = k;
    scale_restraint_diagonal(c.category, s1, kx, ky, 4, k);
    for (int i = 0; i < 8; ++i)
      for (int j = 0; j < 8; ++j) {
        double factor = 1.0;
        if (i == j) factor = i % 2 == 0 ? 1.0 + c.wx * s1 * kx[i / 2] : 1.0 + c.wy * s1 * ky[i / 2];
        EXPECT_DOUBLE_EQ(k[i * 8 + j], before[i * 8 + j] * factor) << "category " << c.category << " (" << i << "," << j << ")";
      }
  }
}

// Part 5.2 membrane element, patch test: an irregular flat patch of quadrilaterals and triangles around
// one interior node, blank = an affine map of the part: every element has the same stress D eps and the
// interior node's assembled force vanishes; a rigid blank motion gives no force at all.
TEST(MembraneElement, PatchTest) {
  const double px[9] = {0, 2, 4, 0, 2.3, 4, 0, 2, 4}, py[9] = {0, 0, 0, 2, 1.8, 2, 4, 4, 4};
  const int elements[5][4] = {{0, 1, 4, 3}, {1, 2, 5, 4}, {3, 4, 7, 6}, {4, 5, 8, 8}, {4, 8, 7, 7}};
  const double e_modulus = 10000.0, h0 = 1.2;
  for (int motion = 0; motion < 2; ++motion) {
    std::vector<double> force(18, 0.0);
    double largest = 0.0;
    for (const auto& el : elements) {
      const int corners = el[2] == el[3] ? 3 : 4;
      Points part{}, blank{};
      for (int c = 0; c < 4; ++c) {
        const double x = px[el[c]], y = py[el[c]];
        part[c] = {x, y, 0.0};
        blank[c] = motion == 0 ? std::array<double, 3>{0.999 * x + 0.0004 * y, 1.0015 * y - 0.0002 * x, 0.0}
                               : std::array<double, 3>{std::cos(0.4) * x - std::sin(0.4) * y + 3.0,
                                                       std::sin(0.4) * x + std::cos(0.4) * y - 1.0, 0.0};
      }
      const ElementGeometry g = element_geometry(part, corners);
      ElementForces f;
      ElementMatrix k;
      membrane_element(g, e_modulus, h0, displacements(part, blank), f, k);
      for (int i = 0; i < 8; ++i)
        for (int j = 0; j < 8; ++j) EXPECT_EQ(k[i * 8 + j], k[j * 8 + i]);
      for (int c = 0; c < corners; ++c) {
        force[2 * el[c]] += f.fxy[2 * c], force[2 * el[c] + 1] += f.fxy[2 * c + 1];
        largest = std::max({largest, std::fabs(f.fxy[2 * c]), std::fabs(f.fxy[2 * c + 1])});
      }
    }
    if (motion == 0) {
      EXPECT_GT(largest, 1.0);
      EXPECT_NEAR(force[8], 0.0, 1e-9 * largest);
      EXPECT_NEAR(force[9], 0.0, 1e-9 * largest);
    } else {
      EXPECT_LT(largest, 1e-8);
    }
  }
}

// The membrane stiffness is the Jacobian of the membrane force at small strain (triangle and parallelogram,
// linear motions) and has the plane-stress D of Part 5.2.
TEST(MembraneElement, StiffnessMatchesForceDerivative) {
  const Points tri = kTriangle;
  const ElementGeometry g = element_geometry(tri, 3);
  Points blank = tri;
  for (auto& b : blank) b[0] *= 1.0 - 1e-4;
  CornerDisplacements u = displacements(tri, blank);
  ElementForces f;
  ElementMatrix k;
  membrane_element(g, 10000.0, 1.0, u, f, k);
  for (int j = 0; j < 6; ++j) {
    double* component = j % 2 == 0 ? &u.ux[j / 2] : &u.uy[j / 2];
    const double base = *component;
    ElementForces fp, fm;
    ElementMatrix unused;
    *component = base + 1e-7;
    membrane_element(g, 10000.0, 1.0, u, fp, unused);
    *component = base - 1e-7;
    membrane_element(g, 10000.0, 1.0, u, fm, unused);
    *component = base;
    for (int i = 0; i < 6; ++i)
      EXPECT_NEAR((fp.fxy[i] - fm.fxy[i]) / 2e-7, k[i * 8 + j], 1e-3 * max_abs(k)) << "(" << i << "," << j << ")";
  }
  // D11 = E / 0.75: the motion u_x = x (unit strain along x, nothing else) has energy D11 * area * h0.
  const ElementGeometry flat = element_geometry({{{0, 0, 0}, {3, 0, 0}, {1, 2, 0}, {1, 2, 0}}}, 3);
  ElementMatrix kf;
  ElementForces unused;
  membrane_element(flat, 10000.0, 1.0, CornerDisplacements{}, unused, kf);
  const double xs[3] = {0, 3, 1};
  double energy = 0.0;
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) energy += xs[i] * kf[(2 * i) * 8 + 2 * j] * xs[j];
  EXPECT_NEAR(energy, 10000.0 / 0.75 * 3.0 * 1.0, 1e-9);
}

}  // namespace
}  // namespace trevo
