// Material law of the one-step solver: sigma = Es(epsbar) * M(rbar) * eps, from the total logarithmic strain.
// Spec: Part 4.3
// The material table is NM x 8, column-major: column j (0-based) of material m (0-based) at table[m + j * nm].
// Strains and stresses are in the element's local frame with TENSOR shear eps_xy (Part 4.3, Data model).
#pragma once
#include <array>
#include <cstdint>
#include <span>

namespace trevo {


// One row of the material table (Part 4.3, Data model; defaults are the spec's).
struct MaterialRow {
  double eps0 = 0.001;      // column 1: pre-strain of the hardening law
  double K = 600.0;         // column 2: strength coefficient
  double n = 0.22;          // column 3: hardening exponent
  double col4 = 0.0;        // column 4: kept, not used by the solver (Part 4.3, Left to the implementer)
  double r0 = 1.0;          // column 5: Lankford coefficient of the local x direction (> 0)
  double r45 = 1.0;         // column 6
  double r90 = 1.0;         // column 7: Lankford coefficient of the local y direction (> 0)
  double thickness = 1.0;   // column 8: sheet thickness (copied into h0 by the reader)
};

// Row m (0-based, 0 <= m < nm) of the column-major nm x 8 table (size 8 * nm).
MaterialRow material_row(std::span<const double> table, int32_t nm, int32_t m);

// A symmetric 3x3 matrix of the form [[d11, d12, 0], [d12, d11, 0], [0, 0, d33]] acting on
// (eps_xx, eps_yy, eps_xy) with TENSOR shear: both M, Ds (Part 4.3) and the membrane D (Part 5.2) have it.
struct StressMatrix {
  double d11 = 0.0, d12 = 0.0, d33 = 0.0;
};

// rbar = (r0 + 2 r45 + r90) / 4.
double mean_r_value(double r0, double r45, double r90);

// M = c * [[1 + rbar, 1, 0], [1, 1 + rbar, 0], [0, 0, 1]], c = 2 (2 + rbar) / (3 (1 + 2 rbar)).
StressMatrix anisotropy_matrix(double rbar);

// Anisotropic planar equivalent strain (Part 4.3 steps 1-3); r0 and r90 must be positive.
double equivalent_strain(double exx, double eyy, double exy, double e3, double r0, double r45, double r90);

// Hardening law sigmabar = K (eps0 + epsbar)^n.
double flow_stress(double epsbar, double eps0, double K, double n);

// Secant modulus Es(epsbar), the three branches in the spec's order (the third overrides for epsbar >= n).
double secant_modulus(double epsbar, double eps0, double K, double n);

// The branch of Es that applies at epsbar: 1, 2 or 3, numbered as the Part's steps (3 wins for epsbar >= n).
int secant_branch(double epsbar, double eps0, double n);

// The jump of the flow stress Es(epsbar) * epsbar at a strain `at` where two branches meet (eps0 or n):
// |Es(just above) - Es(just below)| * at. The Part's branches do not join: with the defaults the stress
// jumps by 17 % at eps0 (131 to 153) and by 3 % at n (431 to 443).
double law_stress_jump(double at, double eps0, double K, double n);

// Gradient of equivalent_strain with e3 = -(exx + eyy) (Part 4.2 step 7 makes it so) with respect to
// (exx, eyy, gamma_xy = 2 exy), the strains of the engineering-shear B; zero where epsbar is 0.
std::array<double, 3> equivalent_strain_gradient(double exx, double eyy, double exy, double r0, double r45,
                                                 double r90);

// Ds = Es * M (every entry scaled by Es).
StressMatrix strain_to_stress(double es, const StressMatrix& m);

// The strain-to-stress matrix of a material row at epsbar: Ds = Es(epsbar, eps0, K, n) * M(rbar).
StressMatrix stress_matrix(double epsbar, const MaterialRow& m);

}  // namespace trevo
