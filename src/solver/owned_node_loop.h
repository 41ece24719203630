// A loop over all elements, parallel over threads, whose results do not depend on the number of
// threads. Each thread owns a contiguous range of nodes, i.e. their equations and matrix rows. It
// walks all elements in ascending order and, for each element with a corner in its range, computes
// the element (a pure function of it, so a shared element gives the same numbers on either thread)
// and adds the entries of its own rows. Every global entry thus gets the same sums in the same
// order as the sequential loop over the elements: bit-identical results for every thread count. No
// buffers; an element with corners in two ranges is computed twice. 0-based nodes and elements.
#pragma once
#include <cstdint>
#include <span>
#ifdef _OPENMP
#include <omp.h>
#endif

#include "core/mesh.h"
#include "solver/assembly.h"

namespace trevo {

// The nodes [first, last) whose equations the calling thread owns: an equal share of 0..nn-1.
struct OwnedNodes {
  int32_t first = 0, last = 0;
  bool contains(int32_t node) const { return node >= first && node < last; }
};

inline OwnedNodes owned_nodes(int32_t nn) {
#ifdef _OPENMP
  const int64_t threads = omp_get_num_threads(), t = omp_get_thread_num();
#else
  const int64_t threads = 1, t = 0;
#endif
  return {static_cast<int32_t>(nn * t / threads), static_cast<int32_t>(nn * (t + 1) / threads)};
}

// visit(e, corners, own) on every one of `threads` threads for every element, in ascending order,
// with a corner in the thread's own nodes.
template <class Visit>
void for_elements_of_owned_nodes(const Mesh& part, int32_t threads, const Visit& visit) {
#pragma omp parallel num_threads(threads)
  {
    const OwnedNodes own = owned_nodes(part.nn);
    for (int32_t e = 0; e < part.ne; ++e) {
      const int corners = element_corners(part, e);
      bool owned = false;
      for (int k = 0; k < corners; ++k) owned = owned || own.contains(part.node(e, k));
      if (owned) visit(e, corners, own);
    }
  }
}

// add_element_matrix (assembly.h) for the rows of the owned nodes only.
inline void add_owned_rows(const Mesh& part, int32_t e, int corners, OwnedNodes own, std::span<const int32_t> scatter,
                           std::span<const double, kElementPairs> ke, std::span<double> value) {
  const int32_t* map = scatter.data() + int64_t{kScatterWords} * e;
  double* v = value.data();
  for (int a = 0; a < 2 * corners; ++a) {
    if (!own.contains(part.node(e, a / 2))) continue;
    for (int b = 0; b < kElementDofs; ++b) {
      const int32_t position = scattered_position(map, a, b);
      if (position >= 0) v[position] += ke[a + kElementDofs * b];
    }
  }
}

}  // namespace trevo
