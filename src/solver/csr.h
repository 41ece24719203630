// The upper triangle of the symmetric stiffness matrix, compressed by rows, over the two
// unknowns per node. The pattern is the mesh's node adjacency, built once per run; no fill-in
// ever arises. 0-based: node i owns equations 2i (x) and 2i+1 (y); row r holds entries
// row_start[r] .. row_start[r+1]-1 with ascending columns; diagonal[r] is the position of the
// entry (r, r).
//
// The matrix is symmetric bit for bit (every element matrix is made so before it is added, and
// both entries of a pair take the same sums), so the entries below the diagonal are not stored:
// the sweeps and the product take K(i,j) for j < i from row j. That keeps 20 of the 36 values
// per node of a quadrilateral mesh. Both rows of node i hold the same columns: for each node
// j >= i adjacent to i (ascending) the pair 2j, 2j+1. So row 2i+1 also holds (2i+1, 2i), the
// lower entry of the node's own block, which keeps whole column pairs in every row: it takes
// the same sums as (2i, 2i+1), and nothing reads it.
//
// The columns are kept once per node pair: `column` is the node adjacency list itself (every
// node's adjacent nodes, ascending, itself included), which the matrix views rather than
// copies, and node i's upper nodes start at its own place in it, first_upper[i].
#pragma once
#include <cstdint>
#include <span>

namespace trevo {

struct CsrMatrix {
  int32_t neq = 0;                       // equations = 2 * nodes
  std::span<int32_t> row_start;          // neq + 1
  std::span<const int32_t> column;       // the node adjacency list
  std::span<const int32_t> first_upper;  // neq / 2: the place of node i in its own adjacency run
  std::span<int32_t> diagonal;           // neq
  std::span<double> value;               // nnz
  int64_t nnz() const { return neq == 0 ? 0 : row_start[neq]; }
  // The adjacent nodes j >= i of row r's node i.
  const int32_t* nodes_of_row(int32_t r) const { return column.data() + first_upper[r >> 1]; }
  // The column of entry q of row r.
  int32_t column_of(int32_t r, int32_t q) const {
    const int32_t offset = q - row_start[r];
    return 2 * nodes_of_row(r)[offset >> 1] + (offset & 1);
  }
};

}  // namespace trevo
