// The forming-limit curve of a steel sheet from its hardening exponent n and thickness t
// (Keeler & Brazier 1977), and the margin of a strain state below it.
// The curve's lowest point, at plane strain, is
//     FLC0 = (23.3 + 14.13 t) * min(n, 0.21) / 0.21   [% engineering major strain, t in mm]
// (the fit was made for n up to 0.21; above it the level stays at n = 0.21).
// Beside plane strain the curve is taken in true strains phi (phi = ln(1 + e)):
//   minor <= 0: major = phi0 - minor (the line of constant thickness through FLC0; drawing side),
//   minor >  0: major = ln(1 + e0 + 0.6 e2), e2 = exp(minor) - 1 (stretching side, slope 0.6 in
//               engineering strains),
// with phi0 = ln(1 + FLC0 / 100) and e0 = FLC0 / 100. Strains are true (logarithmic) strains.
#pragma once
#include <array>
#include <vector>

namespace trevo {

struct FormingLimit {
  double n = 0.0, thickness_mm = 0.0;
  double flc0 = 0.0;  // true major strain at plane strain, ln(1 + FLC0 / 100)
};

FormingLimit forming_limit(double n, double thickness_mm);

// The true major strain the curve allows at the true minor strain.
double limit_major_strain(const FormingLimit& limit, double minor);

// The curve sampled at the minor strains -0.4, -0.35, ..., 0.4: rows (minor, major).
std::vector<std::array<double, 2>> limit_curve(const FormingLimit& limit);

// Principal true strains (major >= minor) of an in-plane strain state with TENSOR shear.
std::array<double, 2> principal_strains(double exx, double eyy, double exy);

}  // namespace trevo
