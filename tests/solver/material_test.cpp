// Tests of the material law: equivalent strain, secant modulus, anisotropy and strain-to-stress matrices.
// Spec: Part 4.3
#include "solver/material.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace trevo {
namespace {

// Part 4.3 edge case: with the defaults an element with epsbar <= 0.001 gets Es = 600 * 0.001^0.22 / 0.001.
TEST(SecantModulus, DefaultsAtOrBelowPrestrain) {
  const MaterialRow d;
  const double expected = 600.0 * std::pow(0.001, 0.22) / 0.001;
  for (double epsbar : {0.0, 0.0005, 0.001}) {
    EXPECT_DOUBLE_EQ(secant_modulus(epsbar, d.eps0, d.K, d.n), expected) << "epsbar=" << epsbar;
  }
}

// Part 4.3: second branch, eps0 < epsbar < n: Es = K (eps0 + epsbar)^n / epsbar.
TEST(SecantModulus, BetweenPrestrainAndExponent) {
  for (double epsbar : {0.0011, 0.05, 0.2199}) {
    EXPECT_DOUBLE_EQ(secant_modulus(epsbar, 0.001, 600.0, 0.22), 600.0 * std::pow(0.001 + epsbar, 0.22) / epsbar)
        << "epsbar=" << epsbar;
  }
}

double third_branch(double epsbar, double eps0, double K, double n) {
  return (K * std::pow(n, n) / n + 2.5 * K * std::pow(eps0 + epsbar, n) / epsbar) / (0.2 / (0.001 + n) + 2.5);
}

// Part 4.3 edge case: at epsbar exactly n the third branch applies; above n too.
TEST(SecantModulus, ExactlyNUsesThirdBranch) {
  EXPECT_DOUBLE_EQ(secant_modulus(0.22, 0.001, 600.0, 0.22), third_branch(0.22, 0.001, 600.0, 0.22));
  EXPECT_NE(secant_modulus(0.22, 0.001, 600.0, 0.22), 600.0 * std::pow(0.221, 0.22) / 0.22);
  EXPECT_DOUBLE_EQ(secant_modulus(0.5, 0.001, 600.0, 0.22), third_branch(0.5, 0.001, 600.0, 0.22));
}

// Part 4.3: step 3 overrides whatever steps 1 and 2 gave, also below eps0 when n <= eps0.
TEST(SecantModulus, ThirdBranchOverridesFirst) {
  EXPECT_DOUBLE_EQ(secant_modulus(0.0008, 0.001, 600.0, 0.0005), third_branch(0.0008, 0.001, 600.0, 0.0005));
}

// The branch numbers follow the steps, with step 3 winning at and above n.
TEST(SecantBranch, NumberedAsThePartsSteps) {
  EXPECT_EQ(secant_branch(0.0, 0.001, 0.22), 1);
  EXPECT_EQ(secant_branch(0.001, 0.001, 0.22), 1);
  EXPECT_EQ(secant_branch(0.0011, 0.001, 0.22), 2);
  EXPECT_EQ(secant_branch(0.22, 0.001, 0.22), 3);
  EXPECT_EQ(secant_branch(0.0008, 0.001, 0.0005), 3);
}

// The flow stress Es * epsbar jumps where the branches meet: at eps0 from K eps0^n to K (2 eps0)^n, at n
// from K (eps0 + n)^n to the third branch's value.
TEST(LawStressJump, TheBranchesDoNotJoin) {
  const MaterialRow d;
  EXPECT_NEAR(law_stress_jump(d.eps0, d.eps0, d.K, d.n), d.K * (std::pow(0.002, 0.22) - std::pow(0.001, 0.22)), 1e-6);
  EXPECT_NEAR(law_stress_jump(d.eps0, d.eps0, d.K, d.n) / (d.K * std::pow(0.001, 0.22)), 0.165, 0.001);
  EXPECT_NEAR(law_stress_jump(d.n, d.eps0, d.K, d.n), third_branch(0.22, 0.001, 600.0, 0.22) * 0.22 - 600.0 * std::pow(0.221, 0.22),
              1e-6);
  EXPECT_NEAR(law_stress_jump(0.05, d.eps0, d.K, d.n), 0.0, 1e-9);  // inside a branch the law is continuous
}

// The gradient agrees with central differences of equivalent_strain (e3 = -(exx + eyy)), also for an
// anisotropic sheet, and is zero at zero strain.
TEST(EquivalentStrainGradient, AgreesWithFiniteDifferences) {
  const double r0 = 1.8, r45 = 1.2, r90 = 2.3, exx = 0.031, eyy = -0.012, exy = 0.007, h = 1e-7;
  const auto epsbar = [&](double a, double b, double c) { return equivalent_strain(a, b, c, -(a + b), r0, r45, r90); };
  const std::array<double, 3> g = equivalent_strain_gradient(exx, eyy, exy, r0, r45, r90);
  EXPECT_NEAR(g[0], (epsbar(exx + h, eyy, exy) - epsbar(exx - h, eyy, exy)) / (2 * h), 1e-6);
  EXPECT_NEAR(g[1], (epsbar(exx, eyy + h, exy) - epsbar(exx, eyy - h, exy)) / (2 * h), 1e-6);
  // gamma = 2 exy: a change of gamma by 2h changes exy by h.
  EXPECT_NEAR(g[2], (epsbar(exx, eyy, exy + h) - epsbar(exx, eyy, exy - h)) / (4 * h), 1e-6);
  EXPECT_EQ(equivalent_strain_gradient(0.0, 0.0, 0.0, r0, r45, r90), (std::array<double, 3>{0.0, 0.0, 0.0}));
}

TEST(FlowStress, HardeningLaw) { EXPECT_DOUBLE_EQ(flow_stress(0.1, 0.001, 600.0, 0.22), 600.0 * std::pow(0.101, 0.22)); }

TEST(MeanRValue, WeightsFortyFiveTwice) { EXPECT_DOUBLE_EQ(mean_r_value(1.0, 2.0, 3.0), 2.0); }

// Part 4.3: for rbar = 1, M = 2/3 [[2, 1, 0], [1, 2, 0], [0, 0, 1]].
TEST(AnisotropyMatrix, IsotropicForRbarOne) {
  const StressMatrix m = anisotropy_matrix(1.0);
  EXPECT_DOUBLE_EQ(m.d11, 4.0 / 3.0);
  EXPECT_DOUBLE_EQ(m.d12, 2.0 / 3.0);
  EXPECT_DOUBLE_EQ(m.d33, 2.0 / 3.0);
}

TEST(AnisotropyMatrix, GeneralRbar) {
  const double r = 1.8, c = 2.0 * (2.0 + r) / (3.0 * (1.0 + 2.0 * r));
  const StressMatrix m = anisotropy_matrix(r);
  EXPECT_DOUBLE_EQ(m.d11, c * (1.0 + r));
  EXPECT_DOUBLE_EQ(m.d12, c);
  EXPECT_DOUBLE_EQ(m.d33, c);
}

// Part 4.3: for r0 = r45 = r90 = 1 the equivalent strain is von Mises of the incompressible strain state.
TEST(EquivalentStrain, VonMisesForUnitRValues) {
  const std::vector<std::array<double, 3>> strains = {
      {0.1, 0.0, 0.0}, {0.1, -0.05, 0.0}, {0.0, 0.0, 0.07}, {0.2, 0.1, -0.03}, {-0.12, 0.04, 0.09}};
  for (const auto& s : strains) {
    const double e3 = -s[0] - s[1];
    const double von_mises = std::sqrt(2.0 / 3.0 * (s[0] * s[0] + s[1] * s[1] + e3 * e3 + 2.0 * s[2] * s[2]));
    EXPECT_NEAR(equivalent_strain(s[0], s[1], s[2], e3, 1.0, 1.0, 1.0), von_mises, 1e-15)
        << s[0] << " " << s[1] << " " << s[2];
  }
}

// Invariants of the anisotropic form: degree-1 homogeneity, and symmetry under exchanging x with y and r0
// with r90.
TEST(EquivalentStrain, HomogeneousAndSymmetricInAxes) {
  const double exx = 0.13, eyy = -0.04, exy = 0.05, e3 = -0.09;
  const double a = equivalent_strain(exx, eyy, exy, e3, 2.1, 1.3, 0.7);
  EXPECT_NEAR(equivalent_strain(2 * exx, 2 * eyy, 2 * exy, 2 * e3, 2.1, 1.3, 0.7), 2 * a, 1e-14);
  EXPECT_NEAR(equivalent_strain(eyy, exx, exy, e3, 0.7, 1.3, 2.1), a, 1e-15);
  EXPECT_GT(a, 0.0);
}

// Part 4.3 edge case: r0 or r90 of 0 leaves the equivalent strain undefined (the table needs positive r).
TEST(EquivalentStrain, ZeroRValueIsUndefined) {
  EXPECT_FALSE(std::isfinite(equivalent_strain(0.1, -0.05, 0.0, -0.05, 0.0, 1.0, 1.0)));
  EXPECT_FALSE(std::isfinite(equivalent_strain(0.1, -0.05, 0.0, -0.05, 1.0, 1.0, 0.0)));
}

TEST(StrainToStress, ScalesEveryEntryBySecantModulus) {
  const StressMatrix ds = strain_to_stress(250.0, anisotropy_matrix(1.0));
  EXPECT_DOUBLE_EQ(ds.d11, 250.0 * 4.0 / 3.0);
  EXPECT_DOUBLE_EQ(ds.d12, 250.0 * 2.0 / 3.0);
  EXPECT_DOUBLE_EQ(ds.d33, 250.0 * 2.0 / 3.0);
  const MaterialRow m{0.002, 500.0, 0.2, 0.0, 1.2, 0.9, 1.6, 0.8};
  const StressMatrix full = stress_matrix(0.1, m);
  const StressMatrix expected = strain_to_stress(secant_modulus(0.1, 0.002, 500.0, 0.2),
                                                 anisotropy_matrix(mean_r_value(1.2, 0.9, 1.6)));
  EXPECT_DOUBLE_EQ(full.d11, expected.d11);
  EXPECT_DOUBLE_EQ(full.d12, expected.d12);
  EXPECT_DOUBLE_EQ(full.d33, expected.d33);
}

// Part 4.3, Data model: column j of material m at index m + j * NM (0-based).
TEST(MaterialRow, ReadsColumnMajorTable) {
  const int32_t nm = 2;
  std::vector<double> table(8 * nm);
  for (int j = 0; j < 8; ++j) {
    table[0 + j * nm] = 10.0 + j;
    table[1 + j * nm] = 20.0 + j;
  }
  const MaterialRow r = material_row(table, nm, 1);
  EXPECT_EQ(r.eps0, 20.0);
  EXPECT_EQ(r.K, 21.0);
  EXPECT_EQ(r.n, 22.0);
  EXPECT_EQ(r.col4, 23.0);
  EXPECT_EQ(r.r0, 24.0);
  EXPECT_EQ(r.r45, 25.0);
  EXPECT_EQ(r.r90, 26.0);
  EXPECT_EQ(r.thickness, 27.0);
}

}  // namespace
}  // namespace trevo
