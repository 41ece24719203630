// Element kernels: strain, thickness and stress from the blank position; internal forces; secant stiffness.
// Each element's reference configuration is the finished part; its unknown is where its nodes lie in the blank.
// Local dof order of every element vector/matrix: corner k (0-based) owns 2k (global x) and 2k+1 (global y).
// Displacements are part minus blank: u = (x - X, y - Y, z - Zb) per node, i.e. U(2i), U(2i+1), z - Zb.
// Internal forces are the derivative of the element's work with respect to U; the assembled residual is
// R = external - internal, and K dU = R moves the blank by X -= dU (the iteration's sign convention).
#pragma once
#include <array>
#include <cstdint>
#include <span>

#include "core/mesh.h"
#include "solver/element_geometry.h"
#include "solver/element_stabilisation.h"
#include "solver/material.h"

namespace trevo {

// Corner displacements in space (x - X, y - Y, z - Zb), global components; entries 3 unused for triangles.
struct CornerDisplacements {
  double ux[4] = {}, uy[4] = {}, uz[4] = {};
};

// Kinematics, thickness and stress of one element. Strains and stress are in the local frame, tensor shear.
struct ElementStrain {
  double exx = 0.0, eyy = 0.0, exy = 0.0;   // logarithmic strains
  double e3 = 0.0;                          // thickness strain ln(h / h0)
  double lambda1 = 1.0, lambda2 = 1.0;      // principal stretches of the part relative to the blank, l1 >= l2
  double c = 1.0, s = 0.0;                  // direction of lambda1 in the local frame
  double h = 0.0;                           // current thickness
  double epsbar = 0.0;                      // equivalent strain (planar anisotropy)
  double sxx = 0.0, syy = 0.0, sxy = 0.0;   // secant stress Ds (exx, eyy, exy)
};

// Internal nodal forces: fxy[2k], fxy[2k+1] the global x, y force of corner k (entries 6, 7 zero for a
// triangle); fz[k] its global z force (the internal z force that the contact terms and punch force use).
struct ElementForces {
  double fxy[8] = {};
  double fz[4] = {};
};

// Slopes (dZb/dX, dZb/dY) of the binder under each corner's blank position; zero for a flat blank.
struct CornerSlopes {
  double x[4] = {}, y[4] = {};
};

// Gathers element e's corner slopes from slope (2 * nn, node i at 2i, 2i+1; binder_heights).
CornerSlopes corner_slopes(const Mesh& part, int32_t e, int32_t corners, std::span<const double> slope);

// Gathers element e's corner displacements: u (2 * nn, node i at 2i, 2i+1), zb (nn) the blank height.
CornerDisplacements corner_displacements(const Mesh& part, int32_t e, int32_t corners, std::span<const double> u,
                                         std::span<const double> zb);

// Inverse deformation, logarithmic strains, thickness (incompressible), equivalent strain and secant stress of
// one element, with its material row and initial thickness h0; branch as in stress_matrix.
ElementStrain evaluate_element(const ElementGeometry& g, const CornerDisplacements& u, const MaterialRow& m,
                               double h0, int branch = 0);

// The element volume of the forces and stiffness: its area on the part times the mean thickness.
inline double element_volume(const ElementGeometry& g, double h, double h0) { return g.area * 0.5 * (h + h0); }

// Internal forces: B^T sigma (engineering-shear B at the centre) times element_volume.
ElementForces element_internal_forces(const ElementGeometry& g, double sxx, double syy, double sxy, double h,
                                      double h0);

// Hourglass control of a quadrilateral. Its forces B^T sigma come from the centre set alone, so the two
// hourglass modes of its corners (the part of the blank shape that no affine map of the part's shape
// gives) cost it nothing, while the matrix holds their stiffness (K2 + K3) / 3. These forces give the
// modes a stiffness of their own (the one-step loop applies them at the free boundary, element_loops.h):
// kHourglassWeight times (K2 + K3) / 3 with the element's secant Ds, acting on the hourglass part of
// the blank corners (on a binder, the blank where it lies in space), measured along the blank's directions
// of the local axes (the polar rotation of the centre set). They do no work on any affine change of the
// shape (stretch, shear, turn or shift), so they leave the element's strains and every uniformly strained
// blank as they are. A tenth of the full stiffness was chosen by measurement (docs/convergence.md): a
// thirtieth leaves part of the stall they remove, the full one keeps strongly strained parts from
// converging.
inline constexpr double kHourglassWeight = 0.1;
std::array<double, 8> hourglass_forces(const ElementGeometry& g, const StressMatrix& ds, double volume,
                                       const BlankCorners& blank);

// Secant stiffness B^T Ds B times the same volume, returned FULL and symmetric by construction (assembly's
// upper-to-lower copy leaves it unchanged) (quadrilateral: K1 + (K2 + K3) / 3), plus the steep-wall
// stabilisation (element_stabilisation.h) proportional to s2, the second STABILIZ value. ds is the element's
// strain-to-stress matrix (stress_matrix(epsbar, row)). The restraint diagonal factors are applied by
// scale_restraint_diagonal afterwards. slopes: where the corners' blank lies on a binder slope, moving a
// corner by dU in the plan also moves it by slope . dU in z (Zb follows the blank); the membrane's B then
// takes each corner's motion (dU, slope . dU) (increment_reversals.h). Zero slopes give the flat-blank B.
ElementMatrix element_stiffness(const ElementGeometry& g, const StressMatrix& ds, double h, double h0, double s2,
                                const SerendipityTables& tables, const CornerSlopes& slopes = {});

// k += weight * volume * B3^T Ds B3: the stiffness of the strain's dependence on the normal displacement
// u3 = e3 . u, which the in-plane B leaves out. The metric G of the inverse deformation holds u3,1^2, u3,2^2 and
// u3,1 u3,2; B3 is their linearisation at the current gradient (u3,x, u3,y) of the centre set,
// d(u3,x^2 / 2) = u3,x d(u3,x), with d(u3) = e3 . (dU, 0) (z is the part's). On a steep wall this is
// where the down-slope stretch comes from: the blank's spacing across the wall is u3 there.
void add_normal_displacement_stiffness(const ElementGeometry& g, const CornerDisplacements& u, const StressMatrix& ds,
                                       double volume, double weight, ElementMatrix& k);

// The weight the one-step matrix gives it (docs/convergence.md has the weights measured).
inline constexpr double kNormalDisplacementWeight = 0.5;

// k += weight * d d^T with d = B^T a: the stiffness of a strain measure m whose gradient with respect to
// (exx, eyy, gamma_xy) is a, for the centre-set B (engineering shear). d . dU is the change of m that the
// corner displacements dU (global x, y) make, so dU^T k dU grows by weight * (change of m)^2.
void add_strain_measure_stiffness(const ElementGeometry& g, const std::array<double, 3>& a, double weight,
                                  ElementMatrix& k);

// HMIN: the smallest thickness and the first (0-based) element holding it; kNone with no elements.
struct ThicknessMinimum {
  double value = 1.0e20;
  int32_t element = kNone;
};

// Strain and stress evaluation of all elements. Inputs: geometry (ne records, or none: element_geometry), part mesh,
// u (2 nn), zb (nn), material table (8 nm, column-major), material (ne, 0-based row), h0 (ne).
// Outputs: h (ne), epsbar (ne), stress (3 ne: sxx of all, then syy, then sxy), strain (3 ne, same layout,
// exx, eyy, exy; may be empty when not wanted). threads: how many threads evaluate the elements; the results
// are the same for any count. branch (ne, or empty): the secant branch each element keeps (stress_matrix).
ThicknessMinimum evaluate_elements(std::span<const ElementGeometry> geometry, const Mesh& part,
                                   std::span<const double> u, std::span<const double> zb,
                                   std::span<const double> material_table, int32_t nm,
                                   std::span<const int32_t> material, std::span<const double> h0,
                                   std::span<double> h, std::span<double> epsbar, std::span<double> stress,
                                   std::span<double> strain, int32_t threads = 1,
                                   std::span<const int32_t> branch = {});

}  // namespace trevo
