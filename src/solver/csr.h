// A compressed-sparse-row matrix over the two unknowns per node, both triangles stored.
// The pattern is the mesh's node adjacency, built once per run; no fill-in ever
// arises. 0-based: node i owns equations 2i (x) and 2i+1 (y); row r holds entries
// row_start[r] .. row_start[r+1]-1 with ascending columns; diagonal[r] is the
// position of the entry (r, r), so entries before it are the lower triangle.
#pragma once
#include <cstdint>
#include <span>

namespace trevo {

struct CsrMatrix {
  int32_t neq = 0;                 // equations = 2 * nodes
  std::span<int32_t> row_start;    // neq + 1
  std::span<int32_t> column;       // nnz
  std::span<int32_t> diagonal;     // neq
  std::span<double> value;         // nnz
  int64_t nnz() const { return neq == 0 ? 0 : row_start[neq]; }
};

}  // namespace trevo
