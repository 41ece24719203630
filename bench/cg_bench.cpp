// Times the equation-solution kernels on a 316 x 316 quadrilateral grid (99,856 nodes,
// 2 unknowns per node): one SpMV, one forward + backward SSOR sweep, one
// conjugate-gradient step (a whole solve divided by its steps), and the
// assembly of all element matrices through the scatter map. The matrix pattern comes
// from the grid's node adjacency, built by the test helper.
#include <benchmark/benchmark.h>

#include <random>
#include <vector>

#include "../tests/solver/solver_fixtures.h"
#include "../tests/test_mesh.h"
#include "solver/assembly.h"
#include "solver/conjugate_gradient.h"

namespace trevo {
namespace {

constexpr int32_t kGrid = 316;

// A stiffness-like element matrix: the unit bilinear square's Laplacian times
// [[1, 0.3], [0.3, 1]] over the (x, y) pair, plus 1E-6 on the diagonal so that
// the grid's matrix is positive definite but as ill-conditioned as a membrane.
std::array<double, 64> laplacian_element_matrix() {
  constexpr double kLaplacian[4][4] = {{4, -1, -2, -1}, {-1, 4, -1, -2}, {-2, -1, 4, -1}, {-1, -2, -1, 4}};
  constexpr double kCoupling[2][2] = {{1.0, 0.3}, {0.3, 1.0}};
  std::array<double, 64> ke{};
  for (int a = 0; a < 8; ++a)
    for (int b = 0; b < 8; ++b)
      ke[a + 8 * b] = kLaplacian[a / 2][b / 2] / 6.0 * kCoupling[a % 2][b % 2] + (a == b ? 1e-6 : 0.0);
  return ke;
}

struct Model {
  test::OwnedMesh mesh = test::make_grid(kGrid - 1, kGrid - 1);
  test::OwnedMatrix matrix = test::matrix_pattern(mesh.view());
  std::vector<int32_t> map;
  std::vector<std::array<double, 64>> element_matrices;
  std::vector<int32_t> free;
  std::vector<double> rhs;

  Model() {
    const Mesh m = mesh.view();
    map.resize(scatter_map_size(m.ne));
    scatter_map(m, matrix.view(), map);
    element_matrices.assign(m.ne, laplacian_element_matrix());
    free.assign(m.nn, 0);
    assemble();
    std::mt19937 rng(1);
    std::uniform_real_distribution<double> u(-1.0, 1.0);
    rhs.resize(2 * static_cast<size_t>(m.nn));
    for (double& r : rhs) r = u(rng);
  }
  void assemble() {
    const Mesh m = mesh.view();
    CsrMatrix k = matrix.view();
    std::fill(matrix.value.begin(), matrix.value.end(), 0.0);
    const NodeConstraints none{free, free};
    for (int32_t e = 0; e < m.ne; ++e) {
      std::array<double, 64> ke = element_matrices[e];
      assemble_element_matrix(m, e, none, map, ke, k.value);
    }
  }
  int32_t neq() const { return static_cast<int32_t>(matrix.diagonal.size()); }
};

Model& model() {
  static Model m;
  return m;
}

void BM_SpMV(benchmark::State& state) {
  Model& m = model();
  std::vector<double> y(m.neq());
  for (auto _ : state) {
    multiply(m.matrix.view(), m.rhs, y);
    benchmark::DoNotOptimize(y.data());
  }
  state.counters["nnz"] = static_cast<double>(m.matrix.value.size());
}

void BM_ForwardBackwardSweep(benchmark::State& state) {
  Model& m = model();
  std::vector<double> z(m.neq()), p(m.neq());
  for (auto _ : state) {
    forward_sweep(m.matrix.view(), m.rhs, z);
    backward_sweep(m.matrix.view(), z, p);
    benchmark::DoNotOptimize(p.data());
  }
}

// A whole solve from x = 0 at the tolerance of the loop's first iteration; the time per
// step is the solve time divided by its steps (the start-up pass included).
void BM_CgStep(benchmark::State& state) {
  Model& m = model();
  const int32_t n = m.neq();
  std::vector<double> x(n), z(n), p(n), w(n), s(n), increment(n);
  const double tol = cg_tolerance(1.0e-4, cg_solver_factor(m.mesh.nn()), 1.0);
  int64_t steps = 0;
  for (auto _ : state) {
    std::fill(x.begin(), x.end(), 0.0);
    const CgResult result = conjugate_gradient(m.matrix.view(), m.rhs, tol, {x, z, p, w, s}, increment);
    steps += result.steps;
    state.counters["steps_per_solve"] = result.steps;
  }
  state.counters["time_per_step"] =
      benchmark::Counter(static_cast<double>(steps), benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void BM_Assembly(benchmark::State& state) {
  Model& m = model();
  for (auto _ : state) {
    m.assemble();
    benchmark::DoNotOptimize(m.matrix.value.data());
  }
}

void BM_ScatterMap(benchmark::State& state) {
  Model& m = model();
  for (auto _ : state) {
    scatter_map(m.mesh.view(), m.matrix.view(), m.map);
    benchmark::DoNotOptimize(m.map.data());
  }
}

BENCHMARK(BM_SpMV)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ForwardBackwardSweep)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CgStep)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Assembly)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ScatterMap)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace trevo

BENCHMARK_MAIN();
