// The one-step element against closed forms and the derivative of its internal force.
#include "solver/element.h"

#include <gtest/gtest.h>

#include <cmath>

namespace trevo {
namespace {

using Points = std::array<std::array<double, 3>, 4>;
const Points kTriangle = {{{0.3, 0.1, 0}, {4.1, 0.7, 0}, {1.6, 3.2, 0}, {1.6, 3.2, 0}}};
const Points kQuad = {{{0.2, 0.1, 0}, {4.3, 0.4, 0}, {4.9, 3.6, 0}, {0.6, 3.1, 0}}};
const Points kParallelogram = {{{0, 0, 0}, {4, 0, 0}, {5, 3, 0}, {1, 3, 0}}};
const MaterialRow kSteel;  // eps0 0.001, K 600, n 0.22, r = 1

// Flat points turned about x by ax, then about y by ay, then lifted by 1.
Points tilt(const Points& p, double ax, double ay) {
  Points q;
  for (int k = 0; k < 4; ++k) {
    const double c = std::cos(ax), s = std::sin(ax), y = c * p[k][1] - s * p[k][2], z = s * p[k][1] + c * p[k][2];
    q[k] = {std::cos(ay) * p[k][0] + std::sin(ay) * z, y, -std::sin(ay) * p[k][0] + std::cos(ay) * z + 1.0};
  }
  return q;
}

// Displacements from the blank of the flat points p: p shrunk by 1/l1 along the direction phi and by 1/l2
// across it, turned by `turn` and shifted, at Zb = 0 (the part is stretched by l1, l2 relative to it).
CornerDisplacements stretched(const Points& part, const Points& p, double l1, double l2, double phi, double turn) {
  CornerDisplacements u;
  const double c = std::cos(phi), s = std::sin(phi);
  for (int k = 0; k < 4; ++k) {
    const double a = (c * p[k][0] + s * p[k][1]) / l1, t = (-s * p[k][0] + c * p[k][1]) / l2;
    const double x = c * a - s * t, y = s * a + c * t;
    u.ux[k] = part[k][0] - (std::cos(turn) * x - std::sin(turn) * y + 5.0);
    u.uy[k] = part[k][1] - (std::sin(turn) * x + std::cos(turn) * y - 3.0), u.uz[k] = part[k][2];
  }
  return u;
}

double largest(const double* v, int n) {
  double m = 0.0;
  for (int i = 0; i < n; ++i) m = std::max(m, std::fabs(v[i]));
  return m;
}

// Uniaxial, plane-strain and equal-biaxial stretch by 6 % of an r = 1 sheet, and none, along the local x,
// along the local y or obliquely, flat and tilted, the blank turned: epsbar, the stresses along and across
// the stretch (where it lies along a local axis) in units of the flow stress K (eps0 + epsbar)^n,
// h = h0 / (l1 l2), self-equilibrated forces (none for the rigidly moved blank).
TEST(ElementKinematics, UniformStretchCarriesTheHardeningLawStress) {
  struct Case {
    double l1, l2, epsbar_per_log, along, across;
  };
  const double l = 1.06, r3 = 2.0 / std::sqrt(3.0), right = 1.5707963267948966;
  for (const Case& c : {Case{l, 1 / std::sqrt(l), 1, 1, 0}, Case{l, 1, r3, r3, r3 / 2}, Case{l, l, 2, 1, 1},
                        Case{1, 1, 0, 0, 0}})
    for (const Points& flat : {kTriangle, kQuad})
      for (const double local : {0.0, right, 0.7})
        for (const auto& [ax, ay] : {std::pair{0.0, 0.0}, {0.7, -0.4}, {right, 0.3}, {2.4, 0.1}}) {
          const Points part = tilt(flat, ax, ay);
          const ElementGeometry g = element_geometry(part, flat[2] == flat[3] ? 3 : 4);
          const double phi = std::atan2(flat[1][1] - flat[0][1], flat[1][0] - flat[0][0]) + local;
          const ElementStrain st = evaluate_element(g, stretched(part, flat, c.l1, c.l2, phi, 0.6 + ax), kSteel, 1.5);
          const double epsbar = c.epsbar_per_log * std::log(l), flow = 600.0 * std::pow(0.001 + epsbar, 0.22);
          SCOPED_TRACE(testing::Message() << "l2 " << c.l2 << " local " << local << " ax " << ax << " " << g.corners);
          EXPECT_NEAR(st.epsbar, epsbar, 1e-12);
          EXPECT_NEAR(st.h, 1.5 / (c.l1 * c.l2), 1e-12);
          const bool y = local == right;
          EXPECT_NEAR(local == 0.7 ? 0.0 : (y ? st.syy : st.sxx) - c.along * flow, 0.0, 1e-9 * flow);
          EXPECT_NEAR(local == 0.7 ? 0.0 : (y ? st.sxx : st.syy) - c.across * flow, 0.0, 1e-9 * flow);
          EXPECT_NEAR(local == 0.7 ? 0.0 : st.sxy, 0.0, 1e-9 * flow);
          const ElementForces f = element_internal_forces(g, st.sxx, st.syy, st.sxy, st.h, 1.5);
          double sum[3] = {};
          for (int k = 0; k < g.corners; ++k) sum[0] += f.fxy[2 * k], sum[1] += f.fxy[2 * k + 1], sum[2] += f.fz[k];
          EXPECT_LT(largest(sum, 3), 1e-10 * (c.l1 == 1.0 ? 1.0 : largest(f.fxy, 8)));
          EXPECT_LT(c.l1 == 1.0 ? largest(f.fxy, 8) : 0.0, 1e-8);
        }
}

// The x-y internal forces plus slope times the z force (the force conjugate to a corner motion
// (dU, slope . dU) on a binder slope), differentiated along the motion v.
std::array<double, 8> force_derivative(const ElementGeometry& g, const CornerDisplacements& u, const CornerSlopes& s,
                                       const std::array<double, 8>& v) {
  std::array<double, 8> d{};
  for (const double t : {1e-7, -1e-7}) {
    CornerDisplacements w = u;
    for (int c = 0; c < g.corners; ++c)
      w.ux[c] += t * v[2 * c], w.uy[c] += t * v[2 * c + 1], w.uz[c] += t * (s.x[c] * v[2 * c] + s.y[c] * v[2 * c + 1]);
    const ElementStrain st = evaluate_element(g, w, kSteel, 1.0);
    const ElementForces f = element_internal_forces(g, st.sxx, st.syy, st.sxy, st.h, 1.0);
    for (int i = 0; i < 2 * g.corners; ++i)
      d[i] += (f.fxy[i] + (i % 2 ? s.y[i / 2] : s.x[i / 2]) * f.fz[i / 2]) / (2 * t);
  }
  return d;
}

// Where the secant equals the tangent (epsbar <= eps0) the triangle's stiffness is the Jacobian of its
// internal force, flat, and tilted with its corners on a binder slope (where the plain stiffness is
// not); the parallelogram's is on every linear motion, and it resists the hourglass motion that its
// one-point forces do not. Every stiffness is exactly symmetric.
TEST(ElementStiffness, IsTheDerivativeOfTheInternalForce) {
  CornerSlopes on_slope;
  for (int k = 0; k < 3; ++k) on_slope.x[k] = 0.3 + 0.4 * k, on_slope.y[k] = -0.6 + 0.5 * k;
  for (const auto& [flat, ax, slopes] : {std::tuple{kTriangle, 0.0, CornerSlopes{}}, {kTriangle, 0.5, on_slope},
                                         {kParallelogram, 0.0, CornerSlopes{}}}) {
    const Points part = tilt(flat, ax, ax);
    const ElementGeometry g = element_geometry(part, flat[2] == flat[3] ? 3 : 4);
    CornerDisplacements u = stretched(part, flat, 1.0002, 0.9999, 0.4, 0.0);
    for (int k = 0; ax != 0.0 && k < 4; ++k)  // tilted: the blank on the binder, under the part
      u.ux[k] = 2e-4 * (part[k][0] - part[0][0]), u.uy[k] = u.uz[k] = 0.0;
    const ElementStrain st = evaluate_element(g, u, kSteel, 1.0);
    ASSERT_LT(st.epsbar, kSteel.eps0);
    const StressMatrix ds = stress_matrix(st.epsbar, kSteel);
    const ElementMatrix k = element_stiffness(g, ds, st.h, 1.0, 1.0, serendipity_tables(), slopes);
    const ElementMatrix plain = element_stiffness(g, ds, st.h, 1.0, 1.0, serendipity_tables());
    const int n = 2 * g.corners;
    const double scale = largest(k.data(), 64);
    for (int i = 0; i < 64; ++i) ASSERT_EQ(k[i], k[i % 8 * 8 + i / 8]) << "entry " << i;
    double plain_error = 0.0;
    for (int m = 0; m < (g.corners == 3 ? n : 7); ++m) {  // parallelogram: (1, x, y) in x and y, hourglass
      std::array<double, 8> v{};
      for (int c = 0; c < g.corners; ++c)
        if (g.corners == 3) v[m] = 1.0;
        else v[2 * c + m / 3 % 2] = m == 6 ? (c % 2 ? -1.0 : 1.0) : m % 3 == 0 ? 1.0 : part[c][m % 3 - 1];
      const std::array<double, 8> df = force_derivative(g, u, slopes, v);
      double energy = 0.0;
      for (int i = 0; i < n; ++i) {
        double kv = 0.0, pv = 0.0;
        for (int j = 0; j < n; ++j) kv += k[i * 8 + j] * v[j], pv += plain[i * 8 + j] * v[j];
        EXPECT_NEAR(df[i], m == 6 ? 0.0 : kv, (m == 6 ? 1e-6 : 2e-3) * scale) << g.corners << " corners, motion " << m;
        energy += v[i] * kv, plain_error = std::max(plain_error, std::fabs(pv - df[i]));
      }
      EXPECT_TRUE(m != 6 || energy > 1e-3 * scale) << energy;
    }
    EXPECT_TRUE(slopes.x[0] == 0.0 || plain_error > 0.1 * scale) << plain_error;
  }
}

// A uniaxial stretch swept through eps0 = 0.001 and n = 0.22: on its own branch the stress jumps
// there (by about 17 % and 3 %); an element that keeps one branch (the line search's trials) has a
// stress continuous in the stretch, equal to the law's wherever the strain lies in that branch.
TEST(ElementKinematics, KeptSecantBranchRemovesTheLawJumps) {
  const ElementGeometry g = element_geometry(kQuad, 4);
  for (const int kept : {0, 1, 2, 3}) {
    double before = 0.0, largest_step = 0.0;
    for (double e = 0.0002; e < 0.4; e *= 1.005) {  // steps of 0.5 %: a smooth stress moves by less
      const CornerDisplacements u = stretched(kQuad, kQuad, std::exp(e), std::exp(-e / 2), 0.0, 0.0);
      const ElementStrain own = evaluate_element(g, u, kSteel, 1.0);
      const double s = evaluate_element(g, u, kSteel, 1.0, kept).sxx;
      if (before > 0.0) largest_step = std::max(largest_step, std::abs(s / before - 1.0));
      before = s;
      if (secant_branch(own.epsbar, kSteel.eps0, kSteel.n) == kept) {
        EXPECT_EQ(s, own.sxx) << e;
      }
    }
    EXPECT_EQ(largest_step > 0.015, kept == 0) << "kept branch " << kept << ": largest step " << largest_step;
  }
}

// The same sweep with the blended law of an element held at a jump: its stress is continuous, lies
// between the two branches' stresses inside the band around each jump, and is the law's outside.
TEST(ElementKinematics, BlendedLawJoinsTheBranchesAcrossEachJump) {
  const ElementGeometry g = element_geometry(kQuad, 4);
  double before = 0.0, largest_step = 0.0;
  int in_band = 0;
  for (double e = 0.0002; e < 0.4; e *= 1.005) {
    const CornerDisplacements u = stretched(kQuad, kQuad, std::exp(e), std::exp(-e / 2), 0.0, 0.0);
    const ElementStrain own = evaluate_element(g, u, kSteel, 1.0);
    const double s = evaluate_element(g, u, kSteel, 1.0, kBlendedJumps).sxx;
    if (before > 0.0) largest_step = std::max(largest_step, std::abs(s / before - 1.0));
    before = s;
    const double jump = std::abs(own.epsbar - kSteel.eps0) < std::abs(own.epsbar - kSteel.n) ? kSteel.eps0 : kSteel.n;
    if (std::abs(own.epsbar / jump - 1.0) >= kJumpBand) {
      EXPECT_EQ(s, own.sxx) << e;
      continue;
    }
    ++in_band;
    const int below = secant_branch(jump * (1.0 - kJumpBand), kSteel.eps0, kSteel.n);
    const double low = evaluate_element(g, u, kSteel, 1.0, below).sxx;
    const double high = evaluate_element(g, u, kSteel, 1.0, below + 1).sxx;
    EXPECT_TRUE(low < s && s < high) << e << ": " << low << " " << s << " " << high;
  }
  EXPECT_GT(in_band, 10);
  EXPECT_LT(largest_step, 0.015);
}

// The blank corners of displacements u from a part (x - ux, y - uy), each shifted by d times v.
BlankCorners blank_of(const Points& part, const CornerDisplacements& u, const std::array<double, 8>& v = {},
                      double d = 0.0) {
  BlankCorners b;
  for (int k = 0; k < 4; ++k) b.X[k] = part[k][0] - u.ux[k] - d * v[2 * k], b.Y[k] = part[k][1] - u.uy[k] - d * v[2 * k + 1];
  return b;
}

// Hourglass control: no force for any affinely deformed blank (stretched, sheared, turned, shifted, level
// or on a sloping binder) of a trapezoid, flat or tilted; for an hourglass-shaped blank, forces in balance that turn with the blank; on
// the parallelogram, whose centre-set forces ignore the hourglass motion, the forces of a small one are
// kHourglassWeight times the matrix's.
TEST(ElementHourglass, ResistsOnlyTheHourglassModes) {
  const std::array<double, 8> hourglass = {1, 0, -1, 0, 1, 0, -1, 0};
  for (const auto& [part, slope] : {std::pair{kQuad, 0.0}, {tilt(kQuad, 0.6, -0.3), 0.0}, {kQuad, 0.7}}) {
    const ElementGeometry g = element_geometry(part, 4);
    const CornerDisplacements u = stretched(part, kQuad, 1.3, 0.8, 0.7, 1.1);
    const StressMatrix ds = stress_matrix(evaluate_element(g, u, kSteel, 1.0).epsbar, kSteel);
    const double volume = element_volume(g, 1.0, 1.0);
    BlankCorners on_binder = blank_of(part, u);
    for (int k = 0; k < 4; ++k) on_binder.Z[k] = slope * (on_binder.X[k] - 0.5 * on_binder.Y[k]) + 2.0;
    const std::array<double, 8> affine = hourglass_forces(g, ds, volume, on_binder);
    const std::array<double, 8> distorted = hourglass_forces(g, ds, volume, blank_of(part, u, hourglass, 0.2));
    EXPECT_LT(largest(affine.data(), 8), 1e-9 * largest(distorted.data(), 8));
    const BlankCorners b = blank_of(part, u, hourglass, 0.2);
    double fx = 0.0, fy = 0.0;
    for (int k = 0; k < 4; ++k) fx += distorted[2 * k], fy += distorted[2 * k + 1];
    EXPECT_NEAR(fx, 0.0, 1e-9 * largest(distorted.data(), 8));
    EXPECT_NEAR(fy, 0.0, 1e-9 * largest(distorted.data(), 8));
    BlankCorners turned;
    const double c = std::cos(0.9), s = std::sin(0.9);
    for (int k = 0; k < 4; ++k) turned.X[k] = c * b.X[k] - s * b.Y[k] + 7.0, turned.Y[k] = s * b.X[k] + c * b.Y[k];
    const std::array<double, 8> turned_forces = hourglass_forces(g, ds, volume, turned);
    for (int k = 0; k < 4; ++k) {
      EXPECT_NEAR(turned_forces[2 * k], c * distorted[2 * k] - s * distorted[2 * k + 1], 1e-9 * largest(distorted.data(), 8));
      EXPECT_NEAR(turned_forces[2 * k + 1], s * distorted[2 * k] + c * distorted[2 * k + 1], 1e-9 * largest(distorted.data(), 8));
    }
  }
  const ElementGeometry g = element_geometry(kParallelogram, 4);
  const CornerDisplacements u = stretched(kParallelogram, kParallelogram, 1.0, 1.0, 0.0, 0.0);
  const StressMatrix ds = stress_matrix(0.05, kSteel);
  const ElementMatrix k = element_stiffness(g, ds, 1.0, 1.0, 0.0, serendipity_tables());
  for (int along = 0; along < 2; ++along) {
    std::array<double, 8> v{};
    for (int c = 0; c < 4; ++c) v[2 * c + along] = hourglass[2 * c];
    // The displacement U grows by d v, so the blank moves by -d v.
    const std::array<double, 8> f =
        hourglass_forces(g, ds, element_volume(g, 1.0, 1.0), blank_of(kParallelogram, u, v, 1e-3));
    for (int i = 0; i < 8; ++i) {
      double kv = 0.0;
      for (int j = 0; j < 8; ++j) kv += k[i * 8 + j] * v[j];
      EXPECT_NEAR(f[i] / 1e-3, kHourglassWeight * kv, 1e-6 * largest(k.data(), 64)) << "entry " << i;
    }
  }
}

}  // namespace
}  // namespace trevo
