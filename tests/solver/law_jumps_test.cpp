// Tests of the hold of elements at the jumps of the secant law (a departure recorded in docs/decisions.md).
// Spec: Part 4.3 (secant modulus), Part 4.2 (stiffness)
#include "solver/law_jumps.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "solver/element.h"

namespace trevo {
namespace {

const MaterialRow kDefaults;

// Crossings count the branch changes between calls; the first call only records the branch.
TEST(LawCrossings, CountBranchChangesBetweenCalls) {
  const std::vector<double> table = {0.001, 600.0, 0.22, 0.0, 1.0, 1.0, 1.0, 1.0};
  const std::vector<int32_t> material = {0, 0, 0};
  std::vector<int32_t> branch(3, 0), crossings(3, 0);
  // Element 0 swings across eps0, element 1 stays in branch 2, element 2 goes from branch 1 to 3 at once.
  const std::vector<std::vector<double>> calls = {
      {0.0005, 0.01, 0.0005}, {0.002, 0.02, 0.3}, {0.0009, 0.01, 0.3}, {0.003, 0.05, 0.3}};
  const std::vector<std::vector<int32_t>> expected = {{0, 0, 0}, {1, 0, 1}, {2, 0, 1}, {3, 0, 1}};
  for (std::size_t c = 0; c < calls.size(); ++c) {
    count_law_crossings(calls[c], table, 1, material, branch, crossings);
    EXPECT_EQ(crossings, expected[c]) << "call " << c;
  }
  EXPECT_EQ(branch, (std::vector<int32_t>{2, 2, 3}));
  EXPECT_TRUE(held_at_law_jump(crossings[0]));  // out, back and out again
  EXPECT_FALSE(held_at_law_jump(crossings[2]));
}

// A flat triangle whose blank is stretched a little: epsbar just above eps0.
struct StretchedTriangle {
  std::array<std::array<double, 3>, 4> part = {{{0.3, 0.1, 0.0}, {4.1, 0.7, 0.0}, {1.6, 3.2, 0.0}, {1.6, 3.2, 0.0}}};
  ElementGeometry g = element_geometry(part, 3);
  CornerDisplacements u;
  StretchedTriangle() {
    for (int k = 0; k < 4; ++k) {
      u.ux[k] = 0.0015 * part[k][0];  // blank X = x (1 - 0.0015): the part is stretched along x
      u.uy[k] = -0.0004 * part[k][0];
    }
  }
  ElementStrain strain(const CornerDisplacements& v) const { return evaluate_element(g, v, kDefaults, 1.0); }
};

double quadratic_form(const ElementMatrix& k, const std::array<double, 6>& d) {
  double q = 0.0;
  for (int i = 0; i < 6; ++i)
    for (int j = 0; j < 6; ++j) q += d[i] * k[i * 8 + j] * d[j];
  return q;
}

ElementMatrix hold(const StretchedTriangle& t, const ElementStrain& st, double epsbar) {
  ElementMatrix k{};
  add_law_jump_stiffness(t.g, st.exx, st.eyy, st.exy, epsbar, kDefaults, 2.0, k);
  return k;
}

// The hold resists only the change of epsbar: dU^T k dU = volume * kj * (change of epsbar)^2 with
// kj = 1.1 * jump / |epsbar - eps0|, and a rigid translation meets no resistance.
TEST(LawJumpStiffness, SecantThroughTheJumpOnTheEquivalentStrain) {
  const StretchedTriangle t;
  const ElementStrain st = t.strain(t.u);
  ASSERT_GT(st.epsbar, kDefaults.eps0);
  ASSERT_LT(st.epsbar, 2.0 * kDefaults.eps0);
  const ElementMatrix k = hold(t, st, st.epsbar);
  for (int i = 0; i < 6; ++i)
    for (int j = 0; j < 6; ++j) EXPECT_DOUBLE_EQ(k[i * 8 + j], k[j * 8 + i]);

  const std::array<double, 6> translation = {1.0, 0.0, 1.0, 0.0, 1.0, 0.0};
  EXPECT_NEAR(quadratic_form(k, translation), 0.0, 1e-9 * std::abs(k[0]));

  const std::array<double, 6> d = {0.0, 0.0, 1.0, 0.3, -0.2, 0.5};
  const double step = 1e-7;
  CornerDisplacements plus = t.u, minus = t.u;
  for (int c = 0; c < 3; ++c) {
    plus.ux[c] += step * d[2 * c], plus.uy[c] += step * d[2 * c + 1];
    minus.ux[c] -= step * d[2 * c], minus.uy[c] -= step * d[2 * c + 1];
  }
  const double depsbar = (t.strain(plus).epsbar - t.strain(minus).epsbar) / (2.0 * step);
  const double jump = law_stress_jump(kDefaults.eps0, kDefaults.eps0, kDefaults.K, kDefaults.n);
  const double kj = 1.1 * jump / (st.epsbar - kDefaults.eps0);
  EXPECT_NEAR(quadratic_form(k, d), 2.0 * kj * depsbar * depsbar, 0.01 * 2.0 * kj * depsbar * depsbar);
}

// Right at the jump the secant is capped at kJumpCap Es; near n the jump at n applies.
TEST(LawJumpStiffness, CappedAtTheJumpAndNearestJumpChosen) {
  const StretchedTriangle t;
  const ElementStrain st = t.strain(t.u);
  const MaterialRow& m = kDefaults;
  const double k_near_eps0 = hold(t, st, 0.0015)[0];
  const double kj_near_eps0 = 1.1 * law_stress_jump(m.eps0, m.eps0, m.K, m.n) / 0.0005;
  EXPECT_NEAR(hold(t, st, m.eps0)[0] / k_near_eps0, kJumpCap * secant_modulus(m.eps0, m.eps0, m.K, m.n) / kj_near_eps0,
              1e-9);
  const double kj_near_n = 1.1 * law_stress_jump(m.n, m.eps0, m.K, m.n) / 0.02;
  EXPECT_NEAR(hold(t, st, 0.2)[0] / k_near_eps0, kj_near_n / kj_near_eps0, 1e-9);
}

}  // namespace
}  // namespace trevo
