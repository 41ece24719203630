// Tests of the SSOR-preconditioned conjugate gradients. Spec: Part 4.4.
#include "solver/conjugate_gradient.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "solver/assembly.h"
#include "../test_mesh.h"
#include "solver_test_matrix.h"

namespace trevo {
namespace {

// A grid's SPD system: random SPD element matrices assembled into the pattern.
struct System {
  test::OwnedMesh mesh;
  test::OwnedMatrix matrix;
  CsrMatrix k() { return matrix.view(); }
  int32_t neq() { return static_cast<int32_t>(matrix.diagonal.size()); }
};

// nx x ny grid nodes (one cell fewer each way); `extra_nodes` unused nodes continue the rows.
// seed 0: every element gets test::laplacian_element_matrix (ill-conditioned).
System grid_system(int32_t nx, int32_t ny, const std::set<int32_t>& split = {},
                   int32_t extra_nodes = 0, unsigned seed = 1) {
  System s{test::make_grid(nx - 1, ny - 1, 1.0, 1.0, split), {}};
  for (int32_t t = 0; t < extra_nodes; ++t) s.mesh.add_node(t % nx, ny + t / nx, 0.0);
  const Mesh mesh = s.mesh.view();
  s.matrix = test::matrix_pattern(mesh);
  CsrMatrix k = s.matrix.view();
  std::vector<int32_t> map(scatter_map_size(mesh.ne));
  scatter_map(mesh, k, map);
  std::vector<int32_t> free(mesh.nn, 0);
  const NodeConstraints none{free, free};
  std::mt19937 rng(seed);
  for (int32_t e = 0; e < mesh.ne; ++e) {
    auto ke = seed == 0 ? test::laplacian_element_matrix() : test::spd_element_matrix(rng);
    assemble_element_matrix(mesh, e, none, map, ke, k.value);
  }
  unit_zero_diagonals(k);
  return s;
}

struct Vectors {
  std::vector<double> x, z, d, p, w, s;
  explicit Vectors(int32_t n) : x(n, 0.0), z(n), d(n), p(n), w(n), s(n) {}
  CgVectors view() { return {x, z, d, p, w, s}; }
};

std::vector<std::vector<double>> dense(const CsrMatrix& k) {
  std::vector<std::vector<double>> a(k.neq, std::vector<double>(k.neq, 0.0));
  for (int32_t i = 0; i < k.neq; ++i)
    for (int32_t q = k.row_start[i]; q < k.row_start[i + 1]; ++q) a[i][k.column[q]] = k.value[q];
  return a;
}

// Gaussian elimination with partial pivoting.
std::vector<double> dense_solve(std::vector<std::vector<double>> a, std::vector<double> b) {
  const size_t n = b.size();
  for (size_t c = 0; c < n; ++c) {
    size_t pivot = c;
    for (size_t r = c + 1; r < n; ++r)
      if (std::abs(a[r][c]) > std::abs(a[pivot][c])) pivot = r;
    std::swap(a[c], a[pivot]);
    std::swap(b[c], b[pivot]);
    for (size_t r = c + 1; r < n; ++r) {
      const double f = a[r][c] / a[c][c];
      for (size_t j = c; j < n; ++j) a[r][j] -= f * a[c][j];
      b[r] -= f * b[c];
    }
  }
  std::vector<double> x(n);
  for (size_t i = n; i-- > 0;) {
    double sum = b[i];
    for (size_t j = i + 1; j < n; ++j) sum -= a[i][j] * x[j];
    x[i] = sum / a[i][i];
  }
  return x;
}

std::vector<double> random_vector(int32_t n, unsigned seed) {
  std::mt19937 rng(seed);
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  std::vector<double> v(n);
  for (double& x : v) x = u(rng);
  return v;
}

// Part 4.4 steps 2 and 4: the sweeps are the lower / upper triangular recurrences.
TEST(Sweeps, FollowTheTriangularRecurrences) {
  System s = grid_system(4, 3, {2});
  const CsrMatrix k = s.k();
  const auto a = dense(k);
  const int32_t n = s.neq();
  const std::vector<double> in = random_vector(n, 4);
  std::vector<double> forward(n), backward(n), y(n);
  forward_sweep(k, in, forward);
  backward_sweep(k, in, backward);
  multiply(k, in, y);
  for (int32_t i = 0; i < n; ++i) {
    double lower = 0.0, upper = 0.0, product = 0.0;
    for (int32_t j = 0; j < n; ++j) {
      if (j < i) lower += a[i][j] * forward[j];
      if (j > i) upper += a[i][j] * backward[j];
      product += a[i][j] * in[j];
    }
    EXPECT_NEAR(forward[i], 1.05 * (in[i] - lower) / a[i][i], 1e-13) << "i=" << i;
    EXPECT_NEAR(backward[i], 1.05 * (in[i] - upper) / a[i][i], 1e-13) << "i=" << i;
    EXPECT_NEAR(y[i], product, 1e-12) << "i=" << i;
  }
}

// Part 4.4: CG solves an SPD system to its tolerance; the answer matches a dense
// solve. Random SPD element matrices, then the ill-conditioned Laplacian-like ones.
TEST(ConjugateGradient, SolvesSpdSystemLikeDenseSolve) {
  for (const unsigned seed : {1u, 0u}) {
    System s = grid_system(6, 5, {3, 8}, 0, seed);
    const CsrMatrix k = s.k();
    const int32_t n = s.neq();
    const std::vector<double> rhs = random_vector(n, 9);
    Vectors v(n);
    std::vector<double> increment(n);
    const CgResult result = conjugate_gradient(k, rhs, 1e-24, v.view(), increment);
    EXPECT_GT(result.steps, 0) << "seed " << seed;
    EXPECT_LT(result.steps, 2000) << "seed " << seed;
    EXPECT_LT(result.rho, result.tol) << "seed " << seed;
    EXPECT_EQ(result.tol, 1e-24);
    const std::vector<double> expected = dense_solve(dense(k), rhs);
    double largest = 0.0;
    for (const double e : expected) largest = std::max(largest, std::abs(e));
    for (int32_t i = 0; i < n; ++i) {
      EXPECT_NEAR(increment[i], expected[i], 1e-8 * largest) << "seed " << seed << " i=" << i;
      EXPECT_EQ(increment[i], v.x[i]) << "i=" << i;
    }
  }
}

// Part 4.4 steps 1-7 written out literally with separate vectors r and t; the
// fused solver must give the same x, ρ and step count bit for bit.
TEST(ConjugateGradient, FusedLoopsMatchTheLiteralSteps) {
  System s = grid_system(5, 4, {1, 6}, 0, 21);
  const CsrMatrix k = s.k();
  const int32_t n = s.neq();
  const std::vector<double> rhs = random_vector(n, 2);
  const std::vector<double> start = random_vector(n, 3);
  const double tol = 1e-16;

  std::vector<double> r(n), x = start, z(n), d(n), p(n), w(n), t(n), sv(n);
  multiply(k, x, r);
  for (int32_t i = 0; i < n; ++i) r[i] = r[i] - rhs[i];
  forward_sweep(k, r, z);
  for (int32_t i = 0; i < n; ++i) d[i] = 0.9047619047619047 * k.value[k.diagonal[i]];
  for (int32_t i = 0; i < n; ++i) w[i] = -d[i] * z[i];
  backward_sweep(k, w, p);
  double rho = 0.0;
  for (int32_t i = 0; i < n; ++i) rho += d[i] * (z[i] * z[i]);
  int32_t steps = 0;
  while (steps < 2000 && rho >= tol) {
    double divisor = 0.0;
    for (int32_t i = 0; i < n; ++i) divisor += p[i] * (2.0 * w[i] - d[i] * p[i]);
    const double alpha = rho / divisor;
    for (int32_t i = 0; i < n; ++i) x[i] = x[i] + alpha * p[i];
    for (int32_t i = 0; i < n; ++i) t[i] = w[i] - d[i] * p[i];
    forward_sweep(k, t, sv);
    for (int32_t i = 0; i < n; ++i) sv[i] = sv[i] + p[i];
    for (int32_t i = 0; i < n; ++i) z[i] = z[i] + alpha * sv[i];
    double rho_next = 0.0;
    for (int32_t i = 0; i < n; ++i) rho_next += d[i] * (z[i] * z[i]);
    const double beta = rho_next / rho;
    for (int32_t i = 0; i < n; ++i) w[i] = beta * w[i] - d[i] * z[i];
    backward_sweep(k, w, p);
    rho = rho_next;
    ++steps;
  }

  Vectors v(n);
  v.x = start;
  std::vector<double> increment(n);
  const CgResult result = conjugate_gradient(k, rhs, tol, v.view(), increment);
  EXPECT_GT(steps, 3);
  EXPECT_EQ(result.steps, steps);
  EXPECT_EQ(result.rho, rho);
  for (int32_t i = 0; i < n; ++i) ASSERT_EQ(increment[i], x[i]) << "i=" << i;
}

// Part 4.4 step 6: the loop runs while ρ ≥ tol, so ρ equal to tol takes a step.
TEST(ConjugateGradient, RhoEqualToToleranceStillSteps) {
  System s = grid_system(4, 3);
  const CsrMatrix k = s.k();
  const int32_t n = s.neq();
  const std::vector<double> rhs = random_vector(n, 14);
  Vectors probe(n), v(n);
  std::vector<double> increment(n);
  const CgResult start = conjugate_gradient(k, rhs, INFINITY, probe.view(), increment);
  EXPECT_EQ(start.steps, 0);
  const CgResult result = conjugate_gradient(k, rhs, start.rho, v.view(), increment);
  EXPECT_GE(result.steps, 1);
}

// Part 4.4 Failure handling: reaching 2000 steps is not an error; x is the increment.
TEST(ConjugateGradient, StopsAfter2000Steps) {
  System s = grid_system(30, 30, {}, 0, 0);
  const CsrMatrix k = s.k();
  const int32_t n = s.neq();
  const std::vector<double> rhs = random_vector(n, 15);
  Vectors v(n);
  std::vector<double> increment(n);
  const CgResult result = conjugate_gradient(k, rhs, 0.0, v.view(), increment);
  EXPECT_EQ(result.steps, 2000) << "rho=" << result.rho;
  EXPECT_GT(result.rho, 0.0);
  for (int32_t i = 0; i < n; ++i) ASSERT_EQ(increment[i], v.x[i]) << "i=" << i;
}

// Part 4.4 Edge case: when the residual is already below the tolerance at the
// starting guess, the increment is the previous increment unchanged.
TEST(ConjugateGradient, ResidualBelowToleranceKeepsPreviousIncrement) {
  System s = grid_system(4, 4);
  const CsrMatrix k = s.k();
  const int32_t n = s.neq();
  Vectors v(n);
  std::vector<double> first(n), second(n, 99.0);
  conjugate_gradient(k, random_vector(n, 6), 1e-20, v.view(), first);
  std::vector<double> rhs(n);
  multiply(k, v.x, rhs);  // r = K·x − R is exactly 0 at the warm start
  const CgResult result = conjugate_gradient(k, rhs, 1e-20, v.view(), second);
  EXPECT_EQ(result.steps, 0);
  EXPECT_EQ(result.rho, 0.0);
  for (int32_t i = 0; i < n; ++i) EXPECT_EQ(second[i], first[i]) << "i=" << i;
}

// Part 4.4 Interfaces: dU is returned in the array that held R.
TEST(ConjugateGradient, IncrementMayReplaceTheResidual) {
  System s = grid_system(4, 3, {0});
  const CsrMatrix k = s.k();
  const int32_t n = s.neq();
  const std::vector<double> rhs = random_vector(n, 8);
  Vectors separate(n), in_place(n);
  std::vector<double> increment(n), shared = rhs;
  const CgResult a = conjugate_gradient(k, rhs, 1e-18, separate.view(), increment);
  const CgResult b = conjugate_gradient(k, shared, 1e-18, in_place.view(), shared);
  EXPECT_EQ(a.steps, b.steps);
  for (int32_t i = 0; i < n; ++i) EXPECT_EQ(shared[i], increment[i]) << "i=" << i;
}

// Parts 3.6 and 4.4: an unused node's unit-diagonal rows solve to dU = R there.
TEST(ConjugateGradient, UnusedNodeSolvesToItsResidual) {
  System s = grid_system(3, 3, {}, 1);
  const CsrMatrix k = s.k();
  const int32_t n = s.neq();
  std::vector<double> rhs = random_vector(n, 12);
  Vectors v(n);
  std::vector<double> increment(n);
  conjugate_gradient(k, rhs, 1e-24, v.view(), increment);
  EXPECT_NEAR(increment[n - 2], rhs[n - 2], 1e-10);
  EXPECT_NEAR(increment[n - 1], rhs[n - 1], 1e-10);
}

// Part 4.4 Tolerance: 5000 · sqrt(displacement tolerance) · c · sqrt(ADP), c = 6.18E-7 · NN^0.7.
TEST(CgTolerance, FollowsThePartsFormula) {
  const double c = cg_solver_factor(1000);
  EXPECT_DOUBLE_EQ(c, 6.18e-7 * std::pow(1000.0, 0.7));
  EXPECT_DOUBLE_EQ(cg_tolerance(1.0e-4, c, 4.0), 5000.0 * 0.01 * c * 2.0);
  EXPECT_EQ(kSsorDiagonalScale, (2.0 - kSsorOmega) / kSsorOmega);
}

}  // namespace
}  // namespace trevo

namespace trevo {
namespace {

// Part 4.4 with tol = 0 (a previous ADP of exactly 0): a zero residual is the solution,
// not a 0/0 step length.
TEST(ConjugateGradient, ZeroResidualWithZeroToleranceTakesNoStep) {
  // K = 2 I on one node (two equations).
  std::vector<int32_t> row_start{0, 2, 4}, column{0, 1, 0, 1}, diagonal{0, 3};
  std::vector<double> value{2.0, 0.0, 0.0, 2.0};
  CsrMatrix k{2, row_start, column, diagonal, value};
  std::vector<double> rhs{0.0, 0.0}, x(2, 0.0), z(2), d(2), p(2), w(2), s(2), increment(2, 7.0);
  const CgResult result = conjugate_gradient(k, rhs, 0.0, {x, z, d, p, w, s}, increment);
  EXPECT_EQ(result.steps, 0);
  EXPECT_EQ(increment[0], 0.0);
  EXPECT_EQ(increment[1], 0.0);
}

}  // namespace
}  // namespace trevo
