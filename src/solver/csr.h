// A compressed-sparse-row matrix over the two unknowns per node, both triangles stored.
// The pattern is the mesh's node adjacency, built once per run; no fill-in ever
// arises. 0-based: node i owns equations 2i (x) and 2i+1 (y); row r holds entries
// row_start[r] .. row_start[r+1]-1 with ascending columns; diagonal[r] is the
// position of the entry (r, r), so entries before it are the lower triangle.
//
// Both rows of node i hold the same columns: for each node j adjacent to i (i itself
// included, ascending) the pair 2j, 2j+1. So the columns are kept once per node pair, not
// once per entry: `column` lists node i's adjacent nodes from row_start[2i] / 4 on (every
// node before it took four entries per adjacent node), a quarter of the entries' count.
// That is the node adjacency list itself, which the matrix views rather than copies.
#pragma once
#include <cstdint>
#include <span>

namespace trevo {

struct CsrMatrix {
  int32_t neq = 0;                 // equations = 2 * nodes
  std::span<int32_t> row_start;    // neq + 1
  std::span<const int32_t> column; // nnz / 4: adjacent nodes, node by node (the adjacency list)
  std::span<int32_t> diagonal;     // neq
  std::span<double> value;         // nnz
  int64_t nnz() const { return neq == 0 ? 0 : row_start[neq]; }
  // The adjacent nodes of row r's node.
  const int32_t* nodes_of_row(int32_t r) const { return column.data() + row_start[r & ~1] / 4; }
  // The column of entry q of row r.
  int32_t column_of(int32_t r, int32_t q) const {
    const int32_t offset = q - row_start[r];
    return 2 * nodes_of_row(r)[offset >> 1] + (offset & 1);
  }
};

}  // namespace trevo
