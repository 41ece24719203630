// The node-to-element index, the node adjacency and the CSR pattern of the stiffness matrix
// with two unknowns per node.
// Everything is 0-based: nodes 0..nn-1, elements 0..ne-1,
// positions into the lists 0.., pointer[0] = 0; node i owns equations 2i (x) and 2i+1 (y).
// Sizes, reported in the order the driver lays out the slices:
//   node-to-element pointer nn+1, list T (node_element_pointer returns T);
//   adjacency pointer nn+1, adjacency list A, own position nn (node_adjacency_pointer returns A);
//   matrix row_start 2nn+1, diagonal 2nn, value upper_matrix_values(nn, A) (its column list is the
//   adjacency, its first upper places the own positions).
// A node used by no element gets an adjacency run that holds only itself, so its two rows
// have a diagonal entry (the assembly puts a unit value there, as the solver needs a
// non-zero diagonal).
#pragma once
#include <cstdint>
#include <span>

#include "core/mesh.h"
#include "solver/csr.h"

namespace trevo {

// pointer (nn+1): elements of node i are list[pointer[i] .. pointer[i+1]-1]. Returns T.
int64_t node_element_pointer(const Mesh& m, std::span<int32_t> pointer);

// list (T): for each node its elements in ascending order. pointer is used as the cursor
// and restored, so no scratch is needed.
void node_element_list(const Mesh& m, std::span<int32_t> pointer, std::span<int32_t> list);

// adjacency_pointer (nn+1) from the node-to-element index; marker: nn scratch.
// Returns A, the total adjacency entries.
int64_t node_adjacency_pointer(const Mesh& m, std::span<const int32_t> pointer, std::span<const int32_t> list,
                               std::span<int32_t> adjacency_pointer, std::span<int32_t> marker);

// adjacency (A): per node, every node sharing an element with it, itself included, ascending.
// own (nn): the position of node i inside the adjacency list (absolute, 0-based).
void node_adjacency(const Mesh& m, std::span<const int32_t> pointer, std::span<const int32_t> list,
                    std::span<const int32_t> adjacency_pointer, std::span<int32_t> adjacency,
                    std::span<int32_t> own, std::span<int32_t> marker);

// The values of the matrix's upper triangle (csr.h): the adjacency is symmetric and holds every
// node itself, so (A + nn) / 2 node pairs j >= i, four values each.
inline int64_t upper_matrix_values(int64_t nn, int64_t adjacency_entries) { return 2 * (adjacency_entries + nn); }

// Expands the adjacency into matrix.row_start and matrix.diagonal of the upper triangle
// (matrix.neq = 2nn; the spans sized as above); matrix.column views the adjacency and
// matrix.first_upper the own positions, which must outlive the matrix. Values are left to the
// assembly.
void matrix_pattern(std::span<const int32_t> adjacency_pointer, std::span<const int32_t> adjacency,
                    std::span<const int32_t> own, CsrMatrix& matrix);

}  // namespace trevo
