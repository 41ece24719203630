// Spec: Part 4.4 (Residual step 3, Matrix steps 1-4), Part 4.5 (internal z force).
#include "solver/element_loops.h"

#include <algorithm>
#include <array>

#include "solver/element_stabilisation.h"
#include "solver/material.h"

namespace trevo {
namespace {

// Elements per chunk: two chunks of element matrices (2 x 128 x 512 bytes) stay in the L2 cache.
constexpr int32_t kChunk = 128;

template <class Slot>
using ChunkBuffers = std::array<std::array<Slot, kChunk>, 2>;

// compute(e, slot) for every element on any thread; add(e, slot) on one thread in ascending element
// order. Chunk c is computed into buffer c % 2 while one thread adds chunk c - 1 from the other buffer;
// the barrier ends both before the next chunk reuses a buffer.
template <class Slot, class Compute, class Add>
void pipelined_element_loop(int32_t ne, ChunkBuffers<Slot>& buffers, const Compute& compute, const Add& add) {
  const int32_t chunks = (ne + kChunk - 1) / kChunk;
#pragma omp parallel
  for (int32_t c = 0; c <= chunks; ++c) {
#pragma omp single nowait
    if (c > 0) {
      const int32_t first = (c - 1) * kChunk, last = std::min(ne, first + kChunk);
      for (int32_t e = first; e < last; ++e) add(e, buffers[(c - 1) % 2][e - first]);
    }
    if (c < chunks) {
      const int32_t first = c * kChunk, last = std::min(ne, first + kChunk);
#pragma omp for schedule(dynamic, 16) nowait
      for (int32_t e = first; e < last; ++e) compute(e, buffers[c % 2][e - first]);
    }
#pragma omp barrier
  }
}

std::array<double, 4> corner_values(const Mesh& part, int32_t e, int corners, std::span<const double> per_node) {
  std::array<double, 4> v{};
  for (int k = 0; k < corners; ++k) v[k] = per_node[part.node(e, k)];
  return v;
}

}  // namespace

void add_internal_forces(const OneStepModel& model, const OneStepState& state) {
  const Mesh& part = model.part;
  const std::size_t ne = static_cast<std::size_t>(part.ne);
  ChunkBuffers<ElementForces> buffers;
  const auto compute = [&](int32_t e, ElementForces& f) {
    f = element_internal_forces(model.geometry[e], state.stress[e], state.stress[ne + e], state.stress[2 * ne + e],
                                state.h[e], model.h0[e]);
  };
  const auto add = [&](int32_t e, const ElementForces& f) {
    gather_element_forces(part, e, std::span<const double, kElementDofs>(f.fxy, kElementDofs), state.internal);
    const int corners = model.geometry[e].corners;
    for (int k = 0; k < corners; ++k) state.internal_z[part.node(e, k)] += f.fz[k];
  };
  pipelined_element_loop(part.ne, buffers, compute, add);
}

void add_element_matrices(const OneStepModel& model, const OneStepState& state, const RunSettings& settings) {
  const Mesh& part = model.part;
  const int32_t category = settings.restraint_category;
  ChunkBuffers<ElementMatrix> buffers;
  const auto compute = [&](int32_t e, ElementMatrix& ke) {
    const ElementGeometry& g = model.geometry[e];
    const MaterialRow row = material_row(model.material_table, model.material_count, model.material[e]);
    ke = element_stiffness(g, stress_matrix(state.epsbar[e], row), state.h[e], model.h0[e], settings.stabiliz[1],
                           *model.tables);
    if (category != 0) {
      scale_restraint_diagonal(category, settings.stabiliz[0], corner_values(part, e, g.corners, state.kx),
                               corner_values(part, e, g.corners, state.ky), g.corners, ke);
    }
    add_tool_stiffness(part, e, state.tool.block, ke);
    constrain_element_matrix(part, e, model.held, ke);        // Matrix step 2
    symmetrise_element_matrix(element_dofs(part, e), ke);    // Matrix step 3
  };
  const auto add = [&](int32_t e, const ElementMatrix& ke) {  // Matrix step 4
    add_element_matrix(model.scatter, e, ke, state.k.value);
  };
  pipelined_element_loop(part.ne, buffers, compute, add);
}

}  // namespace trevo
