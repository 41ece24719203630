// Tests of the residual, constraints, MAXP and element assembly. Spec: Part 4.4.
#include "solver/assembly.h"

#include <gtest/gtest.h>

#include <array>
#include <random>
#include <vector>

#include "../test_mesh.h"
#include "solver_test_matrix.h"

namespace trevo {
namespace {

using test::make_grid;
using test::matrix_pattern;

int32_t dof(const Mesh& mesh, int32_t e, int a) { return 2 * mesh.node(e, a / 2) + a % 2; }

// Part 4.4 Matrix step 4 literally: for each pair (a, b) the row of dof(a) is
// scanned and K(a, b) added to every entry whose column is dof(b).
void row_scan_add(const Mesh& mesh, int32_t e, const std::array<double, 64>& ke, CsrMatrix& k) {
  const int dofs = element_dofs(mesh, e);
  for (int a = 0; a < dofs; ++a) {
    const int32_t row = dof(mesh, e, a);
    for (int b = 0; b < dofs; ++b) {
      for (int32_t q = k.row_start[row]; q < k.row_start[row + 1]; ++q) {
        if (k.column[q] == dof(mesh, e, b)) k.value[q] += ke[a + 8 * b];
      }
    }
  }
}

struct Constraints {
  std::vector<int32_t> x, y;
  NodeConstraints view() const { return {x, y}; }
};

Constraints constraints_for(int32_t nn, std::vector<int32_t> x_nodes, std::vector<int32_t> y_nodes) {
  Constraints c{std::vector<int32_t>(nn), std::vector<int32_t>(nn)};
  node_constraints(x_nodes, y_nodes, c.x, c.y);
  return c;
}

// Part 4.4 (Matrix step 4): the scatter map adds each pair into the one entry the
// row scan finds, elements in order, so the assembled values are bit-identical.
TEST(ScatterMap, EqualsRowScan) {
  auto owned = make_grid(4, 3, 1.0, 1.0, {1, 4, 7});
  owned.add_node(0, 4, 0);  // node 20, unused
  const Mesh mesh = owned.view();
  auto by_map = matrix_pattern(mesh);
  auto by_scan = matrix_pattern(mesh);
  CsrMatrix k_map = by_map.view(), k_scan = by_scan.view();
  std::vector<int32_t> map(scatter_map_size(mesh.ne));
  scatter_map(mesh, k_map, map);
  const Constraints held = constraints_for(mesh.nn, {0, 7}, {7, 12});
  std::mt19937 rng(11);
  for (int32_t e = 0; e < mesh.ne; ++e) {
    std::array<double, 64> ke{};
    std::uniform_real_distribution<double> u(-3.0, 3.0);
    for (double& v : ke) v = u(rng);
    std::array<double, 64> ke_scan = ke;
    assemble_element_matrix(mesh, e, held.view(), map, ke, k_map.value);
    constrain_element_matrix(mesh, e, held.view(), ke_scan);
    symmetrise_element_matrix(element_dofs(mesh, e), ke_scan);
    row_scan_add(mesh, e, ke_scan, k_scan);
  }
  for (size_t q = 0; q < by_map.value.size(); ++q) {
    ASSERT_EQ(by_map.value[q], by_scan.value[q]) << "entry " << q;
  }
}

// Part 4.4 / Part 3.1: every map entry names an entry of row dof(a) and column
// dof(b); a triangle's pairs with a or b >= 6 have no entry (-1).
TEST(ScatterMap, PositionsHoldRowAndColumnOfEachPair) {
  auto owned = make_grid(3, 2, 1.0, 1.0, {0, 5});
  const Mesh mesh = owned.view();
  auto pattern = matrix_pattern(mesh);
  const CsrMatrix k = pattern.view();
  std::vector<int32_t> map(scatter_map_size(mesh.ne));
  scatter_map(mesh, k, map);
  for (int32_t e = 0; e < mesh.ne; ++e) {
    const int dofs = element_dofs(mesh, e);
    for (int a = 0; a < 8; ++a) {
      for (int b = 0; b < 8; ++b) {
        const int32_t position = map[64 * e + 8 * a + b];
        if (a >= dofs || b >= dofs) {
          EXPECT_EQ(position, -1) << "e=" << e << " a=" << a << " b=" << b;
          continue;
        }
        const int32_t row = dof(mesh, e, a);
        ASSERT_GE(position, k.row_start[row]) << "e=" << e << " a=" << a << " b=" << b;
        ASSERT_LT(position, k.row_start[row + 1]) << "e=" << e << " a=" << a << " b=" << b;
        EXPECT_EQ(k.column[position], dof(mesh, e, b)) << "e=" << e << " a=" << a << " b=" << b;
      }
    }
  }
  EXPECT_EQ(element_dofs(mesh, 0), 6);
  EXPECT_EQ(element_dofs(mesh, 2), 8);
}

// Part 4.4 Matrix step 3: the upper triangle is copied into the lower one; the
// unused rows and columns of a triangle stay untouched.
TEST(SymmetriseElementMatrix, CopiesUpperIntoLower) {
  std::array<double, 64> ke{};
  for (int i = 0; i < 64; ++i) ke[i] = i + 1;
  const std::array<double, 64> before = ke;
  symmetrise_element_matrix(6, ke);
  for (int a = 0; a < 8; ++a) {
    for (int b = 0; b < 8; ++b) {
      const double expected = (a < 6 && b < 6 && a > b) ? before[b + 8 * a] : before[a + 8 * b];
      EXPECT_EQ(ke[a + 8 * b], expected) << "K(" << a << "," << b << ")";
    }
  }
}

// Part 4.4 Matrix step 2: a held dof's row and column are cleared, diagonal 1.0.
TEST(ConstrainElementMatrix, ClearsRowAndColumnAndSetsUnitDiagonal) {
  auto owned = make_grid(1, 1);
  const Mesh mesh = owned.view();  // one quad: nodes 0, 1, 3, 2
  const Constraints held = constraints_for(mesh.nn, {3}, {});
  std::array<double, 64> ke;
  ke.fill(5.0);
  constrain_element_matrix(mesh, 0, held.view(), ke);
  const int held_dof = 4;  // corner 2 (node 3), x
  for (int a = 0; a < 8; ++a) {
    for (int b = 0; b < 8; ++b) {
      double expected = 5.0;
      if (a == held_dof || b == held_dof) expected = (a == b) ? 1.0 : 0.0;
      EXPECT_EQ(ke[a + 8 * b], expected) << "K(" << a << "," << b << ")";
    }
  }
}

// Part 4.4 Edge case: a node in both constraint lists keeps both residual
// components at 0, and both its equations get 1.0 from every element using it.
TEST(AssemblyEdgeCases, NodeInBothConstraintListsKeepsZeroResidualAndUnitDiagonals) {
  auto owned = make_grid(2, 2, 1.0, 1.0, {3});  // node 4 is in 5 elements (3 quads, 2 triangles)
  const Mesh mesh = owned.view();
  auto pattern = matrix_pattern(mesh);
  CsrMatrix k = pattern.view();
  std::vector<int32_t> map(scatter_map_size(mesh.ne));
  scatter_map(mesh, k, map);
  const Constraints held = constraints_for(mesh.nn, {4}, {4});
  std::mt19937 rng(5);
  for (int32_t e = 0; e < mesh.ne; ++e) {
    auto ke = test::spd_element_matrix(rng);
    assemble_element_matrix(mesh, e, held.view(), map, ke, k.value);
  }
  for (const int32_t row : {8, 9}) {
    for (int32_t q = k.row_start[row]; q < k.row_start[row + 1]; ++q) {
      EXPECT_EQ(k.value[q], k.column[q] == row ? 5.0 : 0.0) << "row " << row << " col " << k.column[q];
    }
  }
  for (int32_t row = 0; row < k.neq; ++row) {  // columns 8 and 9 are cleared too
    for (int32_t q = k.row_start[row]; q < k.row_start[row + 1]; ++q) {
      if ((k.column[q] == 8 || k.column[q] == 9) && row != k.column[q]) {
        EXPECT_EQ(k.value[q], 0.0) << "row " << row << " col " << k.column[q];
      }
    }
  }
  std::vector<double> external(2 * mesh.nn, 3.0), internal(2 * mesh.nn, 1.0), r(2 * mesh.nn);
  residual(external, internal, r);
  constrain_residual(held.view(), r);
  for (int32_t i = 0; i < 2 * mesh.nn; ++i) EXPECT_EQ(r[i], (i == 8 || i == 9) ? 0.0 : 2.0) << "i=" << i;
}

// Part 4.4 Residual step 5: only the held direction is cleared.
TEST(ConstrainResidual, ClearsOnlyTheHeldDirection) {
  const Constraints held = constraints_for(3, {0}, {2});
  std::vector<double> r{1, 2, 3, 4, 5, 6};
  constrain_residual(held.view(), r);
  EXPECT_EQ(r, (std::vector<double>{0, 2, 3, 4, 5, 0}));
}

// Flags give the same answer as a list search: an out-of-range number matches no node.
TEST(NodeConstraints, FlagsMatchListsAndIgnoreNumbersOfNoNode) {
  std::vector<int32_t> hx(4, 7), hy(4, 7);
  node_constraints(std::vector<int32_t>{2, 9, -1, 2}, std::vector<int32_t>{0}, hx, hy);
  EXPECT_EQ(hx, (std::vector<int32_t>{0, 0, 1, 0}));
  EXPECT_EQ(hy, (std::vector<int32_t>{1, 0, 0, 0}));
}

// Part 4.4 Residual step 4: R = external − internal per component.
TEST(Residual, IsExternalMinusInternal) {
  std::vector<double> external{1.5, -2.0, 0.0, 4.0}, internal{0.5, 1.0, -3.0, 4.0}, r(4);
  residual(external, internal, r);
  EXPECT_EQ(r, (std::vector<double>{1.0, -3.0, 3.0, 0.0}));
}

// Part 4.4 Residual step 3: a triangle gathers its 6 forces, never a 4th corner.
TEST(GatherElementForces, TriangleGathersSixComponents) {
  auto owned = make_grid(1, 1, 1.0, 1.0, {0});  // triangles (0,1,3) and (0,3,2)
  const Mesh mesh = owned.view();
  std::vector<double> internal(8, 0.0);
  const std::array<double, 8> fe{1, 2, 3, 4, 5, 6, 100, 200};
  gather_element_forces(mesh, 0, fe, internal);
  gather_element_forces(mesh, 1, fe, internal);
  EXPECT_EQ(internal, (std::vector<double>{2, 4, 3, 4, 5, 6, 8, 10}));
}

// Part 4.4 Edge case: with ties in |value| MAXP keeps the first node, x before y.
TEST(Maxp, TiesKeepFirstNodeXBeforeY) {
  const Maxp tie_between_nodes = largest_residual(std::vector<double>{1.0, 0.5, -4.0, 2.0, 4.0, -4.0});
  EXPECT_EQ(tie_between_nodes.node, 1);
  EXPECT_EQ(tie_between_nodes.value, -4.0);
  const Maxp tie_in_node = largest_residual(std::vector<double>{0.0, 0.0, -3.0, 3.0});
  EXPECT_EQ(tie_in_node.node, 1);
  EXPECT_EQ(tie_in_node.value, -3.0);  // x component, not y
  const Maxp y_larger = largest_residual(std::vector<double>{1.0, -7.0, 6.0, 6.5});
  EXPECT_EQ(y_larger.node, 0);
  EXPECT_EQ(y_larger.value, -7.0);
}

// Part 4.4 Residual step 7: with no nodes, node 1 (0 here) and value 0.
TEST(Maxp, NoNodesGivesFirstNodeAndZero) {
  const Maxp none = largest_residual({});
  EXPECT_EQ(none.node, 0);
  EXPECT_EQ(none.value, 0.0);
}

// Parts 3.6 and 4.4 (Left to the implementer): a node used by no element has
// rows holding only a diagonal no element fills; they get 1.0, nothing else does.
TEST(UnitZeroDiagonals, UnusedNodeGetsUnitDiagonal) {
  auto owned = make_grid(2, 1);
  owned.add_node(0, 2, 0);  // node 6 unused
  const Mesh mesh = owned.view();
  auto pattern = matrix_pattern(mesh);
  CsrMatrix k = pattern.view();
  std::vector<int32_t> map(scatter_map_size(mesh.ne));
  scatter_map(mesh, k, map);
  std::mt19937 rng(3);
  const Constraints held = constraints_for(mesh.nn, {}, {});
  for (int32_t e = 0; e < mesh.ne; ++e) {
    auto ke = test::spd_element_matrix(rng);
    assemble_element_matrix(mesh, e, held.view(), map, ke, k.value);
  }
  const std::vector<double> before = pattern.value;
  EXPECT_EQ(unit_zero_diagonals(k), 2);
  for (int32_t row = 0; row < k.neq; ++row) {
    const int32_t q = k.diagonal[row];
    EXPECT_EQ(k.value[q], row >= 12 ? 1.0 : before[q]) << "row " << row;
  }
}

}  // namespace
}  // namespace trevo
