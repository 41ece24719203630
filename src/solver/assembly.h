// Residual R = external − internal with constraints and MAXP; element matrices
// constrained, symmetrised and added into the CSR matrix through a scatter map.
// Spec: Part 4.4 (Residual steps 3-5 and 7, Matrix steps 2-4); Part 3.6 (pattern).
//
// Indices are 0-based: node i owns equations 2i (x) and 2i+1 (y); element e's
// local degree of freedom a (0..7) is corner a/2, x when a is even, y when odd.
// An element matrix is 8 x 8, column-major, ke[a + 8*b] = K(a, b); a triangle
// (corner 3 repeating corner 2, Part 3.1) uses its leading 6 x 6 block only.
#pragma once
#include <cstdint>
#include <span>

#include "frame/mesh.h"
#include "solver/csr.h"

namespace trevo {

inline constexpr int kElementDofs = 8;                                 // 4 corners x 2
inline constexpr int kElementPairs = kElementDofs * kElementDofs;    // 64

// Local degrees of freedom of element e: 6 for a triangle, 8 for a quadrilateral.
inline int element_dofs(const Mesh& mesh, int32_t e) { return 2 * corner_count(mesh, e); }

// Nodes held in x and in y (CONTRATX / CONTRATY), as per-node flags (1 = held).
struct NodeConstraints {
  std::span<const int32_t> held_x;  // nn
  std::span<const int32_t> held_y;  // nn
};

// Sets held_x / held_y (nn each) from the two constraint lists (0-based node
// numbers). Flag lookup gives the same answer as searching the lists; a number
// outside 0..nn-1 can never match a node, so it sets nothing.
void node_constraints(std::span<const int32_t> x_nodes, std::span<const int32_t> y_nodes,
                      std::span<int32_t> held_x, std::span<int32_t> held_y);

// Words of the scatter map: 64 per element.
inline int64_t scatter_map_size(int32_t ne) { return int64_t{kElementPairs} * ne; }

// map[64*e + 8*a + b] = position in k.value of global entry (dof(a), dof(b)) of
// element e, or -1 when the element has no such pair (a or b >= 6 for a triangle,
// or a column missing from the row). Element-major, a outer and b inner: the
// order in which add_element_matrix visits the pairs. Built once per run; each
// row's columns must be ascending and distinct (Part 3.6).
void scatter_map(const Mesh& mesh, const CsrMatrix& k, std::span<int32_t> map);

// Matrix step 2: for each local dof of element e whose node is held in that
// direction, clears its row and column of ke and sets its diagonal to 1.0.
void constrain_element_matrix(const Mesh& mesh, int32_t e, const NodeConstraints& held,
                              std::span<double, kElementPairs> ke);

// Matrix step 3: K(b, a) = K(a, b) for a < b < dofs (upper triangle copied into lower).
void symmetrise_element_matrix(int dofs, std::span<double, kElementPairs> ke);

// Matrix step 4: value[map[64e + 8a + b]] += K(a, b) for every pair with a map
// entry, a outer, b inner. This is exactly the Part's row scan (each pair adds
// to the one entry of row dof(a) whose column is dof(b)), in the same order:
// called for the elements in ascending order, every entry gets the same sums.
void add_element_matrix(std::span<const int32_t> map, int32_t e,
                        std::span<const double, kElementPairs> ke, std::span<double> value);

// Matrix steps 2-4 for element e in one call (ke is modified in place).
void assemble_element_matrix(const Mesh& mesh, int32_t e, const NodeConstraints& held,
                             std::span<const int32_t> map, std::span<double, kElementPairs> ke,
                             std::span<double> value);

// Puts 1.0 on every diagonal entry that is exactly 0 after assembly; returns how
// many. Part 3.6 (Left to the implementer) gives a node used by no element rows
// with only their diagonal, which no element fills; Part 4.4's sweeps divide by
// every diagonal, so such an equation becomes dU = R instead of a division by 0.
int32_t unit_zero_diagonals(CsrMatrix& k);

// Residual step 3: adds element e's internal forces fe (local dof order, first
// element_dofs entries used) into internal (2*nn, per node x then y).
void gather_element_forces(const Mesh& mesh, int32_t e, std::span<const double, kElementDofs> fe,
                           std::span<double> internal);

// Residual step 4: r = external − internal, component by component (2*nn each).
void residual(std::span<const double> external, std::span<const double> internal,
              std::span<double> r);

// Residual step 5: r(2i) = 0 for nodes held in x, r(2i+1) = 0 for nodes held in y.
void constrain_residual(const NodeConstraints& held, std::span<double> r);

// MAXP: node (0-based; printed +1) and signed value of the component of r with
// the largest |value|, node by node, x before y; only a strictly larger |value|
// replaces, so ties keep the first. No nodes: node 0 and value 0.
struct Maxp {
  int32_t node = 0;
  double value = 0.0;
};
Maxp largest_residual(std::span<const double> r);

}  // namespace trevo
