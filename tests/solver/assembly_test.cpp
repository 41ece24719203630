// Assembly of the element matrices and the preconditioned conjugate gradients.
#include "solver/assembly.h"

#include <gtest/gtest.h>

#include <cmath>

#include "../test_mesh.h"
#include "solver/conjugate_gradient.h"
#include "solver_fixtures.h"

namespace trevo {
namespace {

// A grid with triangles and a node used by no element; random positive definite element matrices
// assembled with the given nodes held in x and in y.
struct Assembled {
  test::OwnedMesh mesh = test::make_grid(4, 3, 1.0, 1.0, {1, 4, 7});
  test::OwnedMatrix matrix, by_scan;
  std::vector<int32_t> held_x, held_y;
  Assembled(std::vector<int32_t> x_nodes, std::vector<int32_t> y_nodes) {
    mesh.add_node(0, 4, 0);
    const Mesh m = mesh.view();
    matrix = by_scan = test::matrix_pattern(m);
    held_x.resize(m.nn), held_y.resize(m.nn);
    node_constraints(x_nodes, y_nodes, held_x, held_y);
    CsrMatrix k = matrix.view(), scan = by_scan.view();
    std::vector<int32_t> map(scatter_map_size(m.ne));
    scatter_map(m, k, map);
    std::mt19937 rng(11);
    for (int32_t e = 0; e < m.ne; ++e) {
      std::array<double, 64> ke = test::spd_element_matrix(rng), literal = ke;
      assemble_element_matrix(m, e, {held_x, held_y}, map, ke, k.value);
      // The same pair by pair: constrain, copy the upper triangle down, add K(a, b) to the entry of row
      // dof(a) whose column is dof(b), found by scanning the row.
      constrain_element_matrix(m, e, {held_x, held_y}, literal);
      symmetrise_element_matrix(element_dofs(m, e), literal);
      const auto dof = [&](int a) { return 2 * m.node(e, a / 2) + a % 2; };
      for (int a = 0; a < element_dofs(m, e); ++a)
        for (int b = 0; b < element_dofs(m, e); ++b)
          for (int32_t q = scan.row_start[dof(a)]; q < scan.row_start[dof(a) + 1]; ++q)
            if (scan.column[q] == dof(b)) scan.value[q] += literal[a + 8 * b];
    }
    unit_zero_diagonals(k);
  }
};

// Nodes 6 (both directions) and 2 (x) held: the scatter map adds where the row scan does; the held dofs'
// rows and columns hold only the diagonal, 1 from each element using the node, and their residual is 0.
TEST(Assembly, ScatterMapAddsWhereTheRowScanDoesAndHeldDofsDecouple) {
  Assembled a({6, 2}, {6});
  a.by_scan.value[a.by_scan.diagonal[40]] = a.by_scan.value[a.by_scan.diagonal[41]] = 1.0;  // the unused node
  EXPECT_EQ(a.matrix.value, a.by_scan.value);
  const CsrMatrix k = a.matrix.view();
  const auto held = [](int32_t dof) { return dof == 12 || dof == 13 || dof == 4; };
  for (int32_t row = 0; row < 40; ++row)  // every node but the unused one
    for (int32_t q = k.row_start[row]; q < k.row_start[row + 1]; ++q)
      EXPECT_EQ(k.value[q] == 0.0, (held(row) || held(k.column[q])) && row != k.column[q]) << row << " " << k.column[q];
  EXPECT_TRUE(k.value[k.diagonal[12]] == 4.0 && k.value[k.diagonal[13]] == 4.0 && k.value[k.diagonal[4]] == 2.0);
  std::vector<double> r(k.neq);
  residual(std::vector<double>(k.neq, 3.0), std::vector<double>(k.neq, 1.0), r);
  constrain_residual({a.held_x, a.held_y}, r);
  for (int32_t i = 0; i < k.neq; ++i) EXPECT_EQ(r[i], held(i) ? 0.0 : 2.0) << i;
}

// K x* for a known x*, solved from a zero start: converged (rho below the tolerance) to x*, the unused
// node's unit rows giving dU = R there. Solved again from there, with the residual zero at the warm start,
// no step is taken and the previous increment comes back unchanged.
TEST(ConjugateGradient, SolvesTheAssembledSystemToItsTolerance) {
  Assembled a({}, {});
  const CsrMatrix k = a.matrix.view();
  std::vector<double> solution(k.neq), rhs(k.neq, 0.0), increment(k.neq), again(k.neq, 99.0), v[6];
  for (int32_t i = 0; i < k.neq; ++i) solution[i] = std::sin(1.7 * i + 0.3);
  for (int32_t i = 0; i < k.neq; ++i)
    for (int32_t q = k.row_start[i]; q < k.row_start[i + 1]; ++q) rhs[i] += k.value[q] * solution[k.column[q]];
  for (auto& x : v) x.assign(k.neq, 0.0);
  const CgVectors vectors{v[0], v[1], v[2], v[3], v[4], v[5]};
  const CgResult result = conjugate_gradient(k, rhs, 1e-24, vectors, increment);
  EXPECT_GT(result.steps, 0);
  EXPECT_LT(result.rho, 1e-24);
  for (int32_t i = 0; i < k.neq; ++i) EXPECT_NEAR(increment[i], solution[i], 1e-9) << i;
  EXPECT_EQ(rhs[41], solution[41]);
  multiply(k, v[0], rhs);  // K x - R is exactly zero at the warm start
  EXPECT_EQ(conjugate_gradient(k, rhs, 1e-20, vectors, again).steps, 0);
  EXPECT_EQ(again, increment);
}

}  // namespace
}  // namespace trevo
