// Residual R = external − internal with constraints and MAXP; element matrices
// constrained, symmetrised and added into the CSR matrix through a scatter map.
// Constrained components stay in the system (no equation is eliminated): a held
// dof gets a zero residual and a decoupled row with a positive diagonal.
//
// Indices are 0-based: node i owns equations 2i (x) and 2i+1 (y); element e's
// local degree of freedom a (0..7) is corner a/2, x when a is even, y when odd.
// An element matrix is 8 x 8, column-major, ke[a + 8*b] = K(a, b); a triangle
// (corner 3 repeating corner 2) uses its leading 6 x 6 block only.
#pragma once
#include <cstdint>
#include <span>

#include "core/mesh.h"
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

// The scatter map gives, per element, the position in k.value of each corner pair's first entry
// K(2a, 2b) (a, b the corners' nodes) and, per corner, the distance from row 2a to row 2a+1:
// the pattern stores the two rows of a node with the same columns, node by node, two per node,
// so K(2a+i, 2b+j) lies i row distances and j entries on. 16 + 4 words per element, where a
// position per entry would take 64.
inline constexpr int kScatterWords = 20;
inline int64_t scatter_map_size(int32_t ne) { return int64_t{kScatterWords} * ne; }

// map[20e + 4ca + cb] = position of K(2a, 2b), -1 where the element has no such corner
// (corner 3 of a triangle) or the row no such column (corner cb's node comes before corner ca's:
// the upper triangle holds that pair in the row of cb's node); map[20e + 16 + ca] = row distance of
// corner ca's node. Built once per run; each row's columns must be ascending and distinct.
void scatter_map(const Mesh& mesh, const CsrMatrix& k, std::span<int32_t> map);

// Position in k.value of K(a, b), a and b local dofs of the element whose map starts at
// element_map, or -1.
inline int32_t scattered_position(const int32_t* element_map, int a, int b) {
  const int32_t first = element_map[4 * (a / 2) + b / 2];
  return first < 0 ? -1 : first + (a % 2) * element_map[16 + a / 2] + b % 2;
}

// For each local dof of element e whose node is held in that direction, clears its
// row and column of ke and sets its diagonal to 1.0. The assembled diagonal of a
// held equation is then the number of elements sharing its node.
void constrain_element_matrix(const Mesh& mesh, int32_t e, const NodeConstraints& held,
                              std::span<double, kElementPairs> ke);

// K(b, a) = K(a, b) for a < b < dofs (upper triangle copied into lower).
void symmetrise_element_matrix(int dofs, std::span<double, kElementPairs> ke);

// value[scattered_position(a, b)] += K(a, b) for every pair with a position, a outer,
// b inner. This gives the sums of a scan of row dof(a) for the entry of column dof(b)
// (each pair adds to exactly one entry), in the same order: called for the elements
// in ascending order, every entry gets the same sums, rounding included.
void add_element_matrix(std::span<const int32_t> map, int32_t e,
                        std::span<const double, kElementPairs> ke, std::span<double> value);

// Constrain, symmetrise and add element e's matrix in one call (ke is modified in place).
void assemble_element_matrix(const Mesh& mesh, int32_t e, const NodeConstraints& held,
                             std::span<const int32_t> map, std::span<double, kElementPairs> ke,
                             std::span<double> value);

// Puts 1.0 on every diagonal entry that is exactly 0 after assembly; returns how
// many. The matrix pattern gives a node used by no element rows holding only their
// diagonal, which no element fills; the preconditioner's sweeps divide by every
// diagonal, so such an equation becomes dU = R instead of a division by 0.
int32_t unit_zero_diagonals(CsrMatrix& k);

// Adds element e's internal forces fe (local dof order, first
// element_dofs entries used) into internal (2*nn, per node x then y).
void gather_element_forces(const Mesh& mesh, int32_t e, std::span<const double, kElementDofs> fe,
                           std::span<double> internal);

// r = external − internal, component by component (2*nn each).
void residual(std::span<const double> external, std::span<const double> internal,
              std::span<double> r);

// r(2i) = 0 for nodes held in x, r(2i+1) = 0 for nodes held in y.
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
