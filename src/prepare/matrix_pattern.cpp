// The node-to-element index, the node adjacency and the CSR pattern expanded from it.
#include "prepare/matrix_pattern.h"

#include <algorithm>

#include "prepare/topology.h"

namespace trevo {

namespace {

// Appends the nodes of node i's elements not yet in its run; returns the run length; out
// may be null to count only. The marker holds i + 1 for the nodes already in run i, so it
// never needs clearing between runs.
int32_t gather(const Mesh& m, std::span<const int32_t> pointer, std::span<const int32_t> list, int32_t i,
               std::span<int32_t> marker, int32_t* out) {
  int32_t count = 0;
  for (int32_t p = pointer[i]; p < pointer[i + 1]; ++p) {
    const int32_t e = list[p];
    for (int k = 0; k < element_corners(m, e); ++k) {
      const int32_t node = m.node(e, k);
      if (marker[node] == i + 1) continue;
      marker[node] = i + 1;
      if (out != nullptr) out[count] = node;
      ++count;
    }
  }
  if (count == 0) {  // a node used by no element holds only itself (see header)
    if (out != nullptr) out[0] = i;
    count = 1;
  }
  return count;
}

}  // namespace

int64_t node_element_pointer(const Mesh& m, std::span<int32_t> pointer) {
  std::fill(pointer.begin(), pointer.begin() + m.nn + 1, 0);
  for (int32_t e = 0; e < m.ne; ++e) {
    for (int k = 0; k < element_corners(m, e); ++k) ++pointer[m.node(e, k) + 1];
  }
  for (int32_t i = 0; i < m.nn; ++i) pointer[i + 1] += pointer[i];
  return pointer[m.nn];
}

void node_element_list(const Mesh& m, std::span<int32_t> pointer, std::span<int32_t> list) {
  for (int32_t e = 0; e < m.ne; ++e) {
    for (int k = 0; k < element_corners(m, e); ++k) list[pointer[m.node(e, k)]++] = e;
  }
  // Each pointer[i] now holds the old pointer[i+1]: shift back.
  for (int32_t i = m.nn; i > 0; --i) pointer[i] = pointer[i - 1];
  pointer[0] = 0;
}

int64_t node_adjacency_pointer(const Mesh& m, std::span<const int32_t> pointer, std::span<const int32_t> list,
                               std::span<int32_t> adjacency_pointer, std::span<int32_t> marker) {
  std::fill(marker.begin(), marker.begin() + m.nn, 0);
  adjacency_pointer[0] = 0;
  for (int32_t i = 0; i < m.nn; ++i) {
    adjacency_pointer[i + 1] = adjacency_pointer[i] + gather(m, pointer, list, i, marker, nullptr);
  }
  return adjacency_pointer[m.nn];
}

void node_adjacency(const Mesh& m, std::span<const int32_t> pointer, std::span<const int32_t> list,
                    std::span<const int32_t> adjacency_pointer, std::span<int32_t> adjacency,
                    std::span<int32_t> own, std::span<int32_t> marker) {
  std::fill(marker.begin(), marker.begin() + m.nn, 0);
  for (int32_t i = 0; i < m.nn; ++i) {
    const int32_t s = adjacency_pointer[i];
    const int32_t k = gather(m, pointer, list, i, marker, adjacency.data() + s);
    const std::span<int32_t> run = adjacency.subspan(s, k);
    // Selection sort: each position takes the first smallest of the remaining entries (runs are short).
    for (int32_t a = 0; a < k; ++a) {
      const auto smallest = std::min_element(run.begin() + a, run.end());
      std::iter_swap(run.begin() + a, smallest);
    }
    own[i] = s + static_cast<int32_t>(std::lower_bound(run.begin(), run.end(), i) - run.begin());
  }
}

void matrix_pattern(std::span<const int32_t> adjacency_pointer, std::span<const int32_t> adjacency,
                    std::span<const int32_t> own, CsrMatrix& matrix) {
  const int32_t nn = matrix.neq / 2;
  int32_t p = 0;
  for (int32_t i = 0; i < nn; ++i) {
    const int32_t upper_nodes = adjacency_pointer[i + 1] - own[i];  // i itself and the nodes after it
    matrix.row_start[2 * i] = p;
    matrix.row_start[2 * i + 1] = p + 2 * upper_nodes;
    matrix.diagonal[2 * i] = p;
    matrix.diagonal[2 * i + 1] = p + 2 * upper_nodes + 1;
    p += 4 * upper_nodes;
  }
  matrix.row_start[2 * nn] = p;
  matrix.column = adjacency;
  matrix.first_upper = own;
}

}  // namespace trevo
