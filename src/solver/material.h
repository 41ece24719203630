// Material law of the one-step solver: sigma = Es(epsbar) * M(rbar) * eps, from the total logarithmic strain.
// Rigid-plastic deformation theory: the stress depends on the total strain alone, with no history.
// The material table is NM x 8, column-major: column j (0-based) of material m (0-based) at table[m + j * nm].
// Strains and stresses are in the element's local frame with TENSOR shear eps_xy; the local x axis takes
// the role of the rolling (0 deg) direction of r0.
#pragma once
#include <array>
#include <cstdint>
#include <span>

namespace trevo {

// One row of the material table (MATERIAL record), initialised with the record's default values.
struct MaterialRow {
  double eps0 = 0.001;      // column 1: pre-strain of the hardening law
  double K = 600.0;         // column 2: strength coefficient
  double n = 0.22;          // column 3: hardening exponent
  double col4 = 0.0;        // column 4: read and kept, no part of the material law
  double r0 = 1.0;          // column 5: Lankford coefficient of the local x direction (> 0)
  double r45 = 1.0;         // column 6
  double r90 = 1.0;         // column 7: Lankford coefficient of the local y direction (> 0)
  double thickness = 1.0;   // column 8: sheet thickness (copied into h0 by the reader)
};

// Row m (0-based, 0 <= m < nm) of the column-major nm x 8 table (size 8 * nm).
MaterialRow material_row(std::span<const double> table, int32_t nm, int32_t m);

// A symmetric 3x3 matrix of the form [[d11, d12, 0], [d12, d11, 0], [0, 0, d33]] acting on
// (eps_xx, eps_yy, eps_xy) with TENSOR shear: M, Ds and the unfolding membrane's D all have it.
struct StressMatrix {
  double d11 = 0.0, d12 = 0.0, d33 = 0.0;
};

// rbar = (r0 + 2 r45 + r90) / 4.
double mean_r_value(double r0, double r45, double r90);

// M = c * [[1 + rbar, 1, 0], [1, 1 + rbar, 0], [0, 0, 1]], c = 2 (2 + rbar) / (3 (1 + 2 rbar)).
StressMatrix anisotropy_matrix(double rbar);

// Anisotropic planar equivalent strain, with p = 1/r0, q = 1/r90; the von Mises equivalent strain of an
// incompressible state when all r are 1. r0 and r90 must be positive.
double equivalent_strain(double exx, double eyy, double exy, double e3, double r0, double r45, double r90);

// Hardening law sigmabar = K (eps0 + epsbar)^n.
double flow_stress(double epsbar, double eps0, double K, double n);

// Secant modulus Es(epsbar): K eps0^n / eps0 up to eps0, sigmabar / epsbar below n, and from n on the blend
// (K n^n / n + 2.5 sigmabar / epsbar) / (0.2 / (0.001 + n) + 2.5), which overrides the other two.
double secant_modulus(double epsbar, double eps0, double K, double n);

// The formula of one branch (1, 2 or 3) of Es, taken at epsbar whatever branch epsbar lies in: each
// formula goes on smoothly past the strains where the law switches to the next one.
double secant_modulus_of_branch(int branch, double epsbar, double eps0, double K, double n);

// The branch of Es that applies at epsbar: 1, 2 or 3, in the order above (3 wins for epsbar >= n).
int secant_branch(double epsbar, double eps0, double n);

// The jump of the flow stress Es(epsbar) * epsbar at a strain `at` where two branches meet (eps0 or n):
// |Es(just above) - Es(just below)| * at. The branches do not join: with the defaults the stress
// jumps by 17 % at eps0 (131 to 153) and by 3 % at n (431 to 443).
double law_stress_jump(double at, double eps0, double K, double n);

// Gradient of equivalent_strain with e3 = -(exx + eyy) (incompressibility makes it so) with respect to
// (exx, eyy, gamma_xy = 2 exy), the strains of the engineering-shear B; zero where epsbar is 0.
std::array<double, 3> equivalent_strain_gradient(double exx, double eyy, double exy, double r0, double r45,
                                                 double r90);

// Half-width of the band around a jump, relative to the strain b of the jump, over which the blended law
// (blended_secant_modulus) joins the two branches. Measured on eight cups of 7k to 400k elements and the
// real parts (docs/convergence.md): 0.01 and 0.02 leave the end of some cups swinging; 0.05 converges all
// eight within 29 iterations.
inline constexpr double kJumpBand = 0.05;

// Es with each jump of the law spread over a band: for epsbar within (b (1 - kJumpBand), b (1 + kJumpBand)),
// b = eps0 or n, the formulas of the branches below and above b blended linearly in epsbar, so the flow stress
// Es * epsbar goes continuously from the lower branch's value to the upper one's; elsewhere secant_modulus.
double blended_secant_modulus(double epsbar, double eps0, double K, double n);

// The `branch` of stress_matrix that takes blended_secant_modulus for Es.
inline constexpr int kBlendedJumps = 4;

// Ds = Es * M (every entry scaled by Es).
StressMatrix strain_to_stress(double es, const StressMatrix& m);

// The strain-to-stress matrix of a material row at epsbar: Ds = Es(epsbar, eps0, K, n) * M(rbar).
// branch 1 to 3 keeps that branch's formula of Es whatever epsbar is; 0 takes epsbar's own;
// kBlendedJumps the blended law.
StressMatrix stress_matrix(double epsbar, const MaterialRow& m, int branch = 0);

}  // namespace trevo
