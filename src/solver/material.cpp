// Material law of the one-step solver.
#include "solver/material.h"

#include <cmath>

namespace trevo {

MaterialRow material_row(std::span<const double> table, int32_t nm, int32_t m) {
  const auto at = [&](int j) { return table[static_cast<size_t>(m) + static_cast<size_t>(j) * nm]; };
  return {at(0), at(1), at(2), at(3), at(4), at(5), at(6), at(7)};
}

double mean_r_value(double r0, double r45, double r90) { return (r0 + 2.0 * r45 + r90) / 4.0; }

StressMatrix anisotropy_matrix(double rbar) {
  const double c = 2.0 * (2.0 + rbar) / (3.0 * (1.0 + 2.0 * rbar));
  return {c * (1.0 + rbar), c, c};
}

double equivalent_strain(double exx, double eyy, double exy, double e3, double r0, double r45, double r90) {
  const double p = 1.0 / r0, q = 1.0 / r90;
  const double d = p * q + p + q;
  const double a1 = (p * eyy - e3) / d;
  const double a2 = (e3 - q * exx) / d;
  const double a3 = (q * exx - p * eyy) / d;
  const double s = q * a1 * a1 + p * a2 * a2 + a3 * a3 + 2.0 * exy * exy / ((r45 + 0.5) * (p + q));
  return std::sqrt(2.0 * (1.0 + p + q) * s / 3.0);
}

double flow_stress(double epsbar, double eps0, double K, double n) { return K * std::pow(eps0 + epsbar, n); }

double secant_modulus(double epsbar, double eps0, double K, double n) {
  return secant_modulus_of_branch(secant_branch(epsbar, eps0, n), epsbar, eps0, K, n);
}

double secant_modulus_of_branch(int branch, double epsbar, double eps0, double K, double n) {
  if (branch == 1) return K * std::pow(eps0, n) / eps0;
  if (branch == 2) return flow_stress(epsbar, eps0, K, n) / epsbar;
  return (K * std::pow(n, n) / n + 2.5 * flow_stress(epsbar, eps0, K, n) / epsbar) / (0.2 / (0.001 + n) + 2.5);
}

int secant_branch(double epsbar, double eps0, double n) {
  if (epsbar >= n) return 3;
  return epsbar <= eps0 ? 1 : 2;
}

double law_stress_jump(double at, double eps0, double K, double n) {
  const double above = secant_modulus(std::nextafter(at, 2.0 * at + 1.0), eps0, K, n);
  const double below = secant_modulus(std::nextafter(at, 0.0), eps0, K, n);
  return std::abs(above - below) * at;
}

std::array<double, 3> equivalent_strain_gradient(double exx, double eyy, double exy, double r0, double r45,
                                                 double r90) {
  const double epsbar = equivalent_strain(exx, eyy, exy, -(exx + eyy), r0, r45, r90);
  if (epsbar == 0.0) return {0.0, 0.0, 0.0};
  // The a's of equivalent_strain with e3 = -(exx + eyy), and dS/d(exx, eyy, exy).
  const double p = 1.0 / r0, q = 1.0 / r90;
  const double d = p * q + p + q;
  const double a1 = (exx + (1.0 + p) * eyy) / d;
  const double a2 = (-(1.0 + q) * exx - eyy) / d;
  const double a3 = (q * exx - p * eyy) / d;
  const double ds_dxx = 2.0 * (q * a1 - p * (1.0 + q) * a2 + q * a3) / d;
  const double ds_dyy = 2.0 * (q * (1.0 + p) * a1 - p * a2 - p * a3) / d;
  const double ds_dxy = 4.0 * exy / ((r45 + 0.5) * (p + q));
  // epsbar = sqrt(c S): d epsbar = c / (2 epsbar) dS; d gamma = 2 d exy.
  const double f = (1.0 + p + q) / (3.0 * epsbar);
  return {f * ds_dxx, f * ds_dyy, 0.5 * f * ds_dxy};
}

double blended_secant_modulus(double epsbar, double eps0, double K, double n) {
  for (const double b : {eps0, n}) {
    const double low = b * (1.0 - kJumpBand), high = b * (1.0 + kJumpBand);
    if (epsbar > low && epsbar < high) {
      const double t = (epsbar - low) / (high - low);
      return (1.0 - t) * secant_modulus_of_branch(secant_branch(low, eps0, n), epsbar, eps0, K, n) +
             t * secant_modulus_of_branch(secant_branch(high, eps0, n), epsbar, eps0, K, n);
    }
  }
  return secant_modulus(epsbar, eps0, K, n);
}

StressMatrix strain_to_stress(double es, const StressMatrix& m) { return {es * m.d11, es * m.d12, es * m.d33}; }

StressMatrix stress_matrix(double epsbar, const MaterialRow& m, int branch) {
  const StressMatrix anisotropy = anisotropy_matrix(mean_r_value(m.r0, m.r45, m.r90));
  if (branch == kBlendedJumps) return strain_to_stress(blended_secant_modulus(epsbar, m.eps0, m.K, m.n), anisotropy);
  // A kept branch 2 or 3 divides by epsbar: at zero strain the first branch's constant modulus
  // is the limit both approach from their own side, and the stress is zero anyway.
  if (branch == 0 || epsbar <= 0.0) branch = secant_branch(epsbar, m.eps0, m.n);
  return strain_to_stress(secant_modulus_of_branch(branch, epsbar, m.eps0, m.K, m.n), anisotropy);
}

}  // namespace trevo
