// Spec: Part 4.1 (Iteration and convergence control): stop tests, line search,
// displacement measure, stabilisation coefficients, inversion count.
#include "solver/iteration_control.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace trevo {
namespace {

StopLimits defaults() { return {1e-4, 2.0}; }

// Part 4.1 edge case: the divergence test needs both conditions.
TEST(StopTests, DivergenceNeedsBothConditions) {
  StopState s;
  s.maxp_value = 100.0;
  s.first_adp = 1500.0;
  s.adp = 12000.0;  // not above ten times 1500
  EXPECT_EQ(stop_test(s, defaults()), 0);
  s.first_adp = 100.0;
  s.adp = 9000.0;  // not above 10000
  EXPECT_EQ(stop_test(s, defaults()), 0);
  s.adp = 10001.0;
  EXPECT_EQ(stop_test(s, defaults()), 1);
}

// Part 4.1 edge case: |MAXP| < 5 * force tolerance stops only from iteration 400 on.
TEST(StopTests, FiveTimesForceToleranceOnlyFromIteration400) {
  StopState s;
  s.adp = 1.0;
  s.maxp_value = -9.0;  // below 5 * 2.0, above 2.0
  s.iteration = 399;
  EXPECT_EQ(stop_test(s, defaults()), 0);
  s.iteration = 400;
  EXPECT_EQ(stop_test(s, defaults()), 6);
}

TEST(StopTests, OrderOfTheSixTests) {
  StopState s;
  s.adp = 1e-5;
  s.maxp_value = 0.5;
  s.inversion_count = 50;
  EXPECT_EQ(stop_test(s, defaults()), 2);  // inversion before convergence
  s.inversion_count = 6;
  EXPECT_EQ(stop_test(s, defaults()), 3);
  s.inversion_count = 0;
  EXPECT_EQ(stop_test(s, defaults()), 4);
  s.adp = 0.5;
  EXPECT_EQ(stop_test(s, defaults()), 5);
}

// Part 4.1 edge case: a first residual with |R|^2 below 0.01 takes RELAX = 1 without any trial.
TEST(LineSearch, SmallResidualTakesRelaxOneWithoutTrial) {
  int calls = 0;
  auto result = line_search(0.009, 0.1, [&](double) {
    ++calls;
    return 1e9;
  });
  EXPECT_EQ(result.relax, 1.0);
  EXPECT_EQ(calls, 0);
}

TEST(LineSearch, FullStepAcceptedWhenResidualDoesNotGrowMoreThanTwoPerMille) {
  auto result = line_search(10.0, 0.1, [](double) { return 10.0 * 1.002; });
  EXPECT_EQ(result.relax, 1.0);
  EXPECT_EQ(result.trials, 1);
}

// On a quadratic residual |R(l)|^2 = |R|^2 (1 - l)^2 + c l^2 the backtracks find a decrease.
TEST(LineSearch, BacktrackFindsDecreaseOnOvershootingStep) {
  const double r2 = 4.0;
  auto residual = [&](double l) { return r2 * (1 - 3 * l) * (1 - 3 * l); };  // best step 1/3
  auto result = line_search(r2, 0.01, residual);
  EXPECT_LT(residual(result.relax), 1.002 * r2);
  EXPECT_GE(result.trials, 2);
}

TEST(LineSearch, FirstBacktrackFormula) {
  // lambda2 = -g / (2 (f1 - f0 - g))
  EXPECT_DOUBLE_EQ(first_backtrack(2.0, -4.0, 10.0), 4.0 / (2.0 * 12.0));
}

TEST(LineSearch, CubicStepMinimisesACubic) {
  // f(l) = f0 + g l + a3 l^3 with f0 = 1, g = -2: minimum at sqrt(-g/(3 a3)).
  const double f0 = 1.0, g = -2.0, a3 = 6.0;
  auto f = [&](double l) { return f0 + g * l + a3 * l * l * l; };
  const double next = cubic_backtrack(f0, g, 0.5, f(0.5), 1.0, f(1.0));
  EXPECT_NEAR(next, std::sqrt(-g / (3 * a3)), 1e-12);
}

TEST(LineSearch, EndsWhenStepFallsBelowMinimumRelaxation) {
  int calls = 0;
  auto result = line_search(1.0, 0.1, [&](double) {
    ++calls;
    return 100.0;
  });
  EXPECT_LT(result.relax, 0.1);
  EXPECT_LE(calls, kMaxLineSearchTrials);
}

TEST(DisplacementMeasure, SumOfSquaresOverBlankDiagonal) {
  std::vector<double> d{3.0, 4.0, 0.0, 0.0};
  std::vector<double> x{0.0, 3.0}, y{0.0, 4.0};
  EXPECT_DOUBLE_EQ(displacement_measure(d, x, y), 25.0 / 5.0);
}

TEST(StabilisationCoefficients, RampsAreContinuous) {
  const double L = 80.0;
  EXPECT_DOUBLE_EQ(stabilisation_coefficient(0.0, L), 1e-4);
  EXPECT_DOUBLE_EQ(stabilisation_coefficient(1.0, L), 1e-4);
  EXPECT_NEAR(stabilisation_coefficient(2.0, L), 1e-5, 1e-18);
  EXPECT_NEAR(stabilisation_coefficient(4.0, L), 1e-6, 1e-18);
  EXPECT_NEAR(stabilisation_coefficient(8.0, L), 1e-7, 1e-18);
  EXPECT_EQ(stabilisation_coefficient(8.0001, L), 0.0);
  EXPECT_NEAR(stabilisation_coefficient(1.5, L), 0.5 * (1e-4 + 1e-5), 1e-18);
}

TEST(StabilisationCoefficients, EachDirectionUsesItsOwnExtent) {
  std::vector<double> u{1.5, 1.5};  // one node, displaced 1.5 in x and y
  std::vector<double> x{0.0, 80.0}, y{0.0, 40.0};
  std::vector<double> kx(1), ky(1);
  stabilisation_coefficients(std::span<const double>(u), std::span<const double>(x.data(), 1),
                             std::span<const double>(y.data(), 1), kx, ky);
  // With one node the extents are 0: any displacement is beyond L/10.
  EXPECT_EQ(kx[0], 0.0);
  std::vector<double> u2{1.5, 1.5, 0.0, 0.0};
  std::vector<double> kx2(2), ky2(2);
  stabilisation_coefficients(u2, x, y, kx2, ky2);
  EXPECT_NEAR(kx2[0], 0.5 * (1e-4 + 1e-5), 1e-18);  // 1.5 between 80/80 and 80/40
  EXPECT_NEAR(ky2[0], 1e-5 + (1e-6 - 1e-5) * 0.5, 1e-18);  // 1.5 between 40/40 and 40/20
}

TEST(InversionCount, CountsEveryInvertedElementOnce) {
  // Two unit squares side by side; the second is mirrored in the blank.
  std::vector<double> x{0, 1, 1, 0, 2, 2}, y{0, 0, 1, 1, 0, 1}, z(6, 0.0);
  std::vector<int32_t> conn{0, 1, 1, 4, 2, 5, 3, 2};  // column-major, ne = 2
  Mesh m{6, 2, x, y, z, conn, {}};
  std::vector<double> bx = x, by = y;
  EXPECT_EQ(inverted_element_count(m, bx, by), 0);
  bx[4] = 0.5;
  bx[5] = 0.5;  // fold the second element over the first
  EXPECT_EQ(inverted_element_count(m, bx, by), 1);
}

// Part 4.1 edge case: an iteration in which several elements are inverted adds 1 to the inversion
// count, not their number; an iteration without any adds nothing.
TEST(InversionCount, SeveralInvertedElementsAddOneToTheCount) {
  std::vector<double> x{0, 1, 1, 0, 2, 2}, y{0, 0, 1, 1, 0, 1}, z(6, 0.0);
  std::vector<int32_t> conn{0, 1, 1, 4, 2, 5, 3, 2};  // column-major, ne = 2
  Mesh m{6, 2, x, y, z, conn, {}};
  std::vector<double> bx = x, by = y;
  for (double& v : bx) v = -v;  // both elements mirrored in the blank
  ASSERT_EQ(inverted_element_count(m, bx, by), 2);
  EXPECT_EQ(counted_inversions(3, inverted_element_count(m, bx, by)), 4);
  EXPECT_EQ(counted_inversions(3, inverted_element_count(m, x, y)), 3);
}

// Part 4.1 edge case: a RELAX computed below the minimum relaxation is raised to it (the value the
// update and the progress line use); one above the maximum is lowered to it.
TEST(RelaxationClamp, RaisedToTheMinimumAndLoweredToTheMaximum) {
  EXPECT_EQ(clamped_relaxation(0.036, 0.1, 1.0), 0.1);
  EXPECT_EQ(clamped_relaxation(0.4, 0.1, 1.0), 0.4);
  EXPECT_EQ(clamped_relaxation(2.7, 0.1, 1.0), 1.0);
}

}  // namespace
}  // namespace trevo
