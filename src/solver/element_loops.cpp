// Element loops of the one-step iteration, each thread adding into the rows of the nodes it owns.
#include "solver/element_loops.h"

#include <array>
#ifdef _OPENMP
#include <omp.h>
#endif

#include "solver/element_stabilisation.h"
#include "solver/increment_reversals.h"
#include "solver/law_jumps.h"
#include "solver/material.h"

namespace trevo {
namespace {

// The nodes [first, last) whose equations the calling thread owns: an equal share of 0..nn-1.
struct OwnedNodes {
  int32_t first = 0, last = 0;
  bool contains(int32_t node) const { return node >= first && node < last; }
};

OwnedNodes owned_nodes(int32_t nn) {
#ifdef _OPENMP
  const int64_t threads = omp_get_num_threads(), t = omp_get_thread_num();
#else
  const int64_t threads = 1, t = 0;
#endif
  return {static_cast<int32_t>(nn * t / threads), static_cast<int32_t>(nn * (t + 1) / threads)};
}

bool has_owned_corner(const Mesh& part, int32_t e, int corners, OwnedNodes own) {
  for (int k = 0; k < corners; ++k) {
    if (own.contains(part.node(e, k))) return true;
  }
  return false;
}

// visit(e, corners, own) on every one of `threads` threads for every element, in ascending order, with a
// corner in the thread's own nodes.
template <class Visit>
void for_elements_of_owned_nodes(const Mesh& part, std::span<const ElementGeometry> geometry, int32_t threads,
                                 const Visit& visit) {
#pragma omp parallel num_threads(threads)
  {
    const OwnedNodes own = owned_nodes(part.nn);
    for (int32_t e = 0; e < part.ne; ++e) {
      const int corners = geometry[e].corners;
      if (has_owned_corner(part, e, corners, own)) visit(e, corners, own);
    }
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
  for_elements_of_owned_nodes(part, model.geometry, model.threads, [&](int32_t e, int corners, OwnedNodes own) {
    const ElementForces f = element_internal_forces(model.geometry[e], state.stress[e], state.stress[ne + e],
                                                    state.stress[2 * ne + e], state.h[e], model.h0[e]);
    for (int k = 0; k < corners; ++k) {
      const int32_t node = part.node(e, k);
      if (!own.contains(node)) continue;
      state.internal[2 * static_cast<std::size_t>(node)] += f.fxy[2 * k];
      state.internal[2 * static_cast<std::size_t>(node) + 1] += f.fxy[2 * k + 1];
      state.internal_z[node] += f.fz[k];
    }
  });
}

void add_element_matrices(const OneStepModel& model, const OneStepState& state, const RunSettings& settings) {
  const Mesh& part = model.part;
  const int32_t category = settings.restraint_category;
  double* value = state.k.value.data();
  for_elements_of_owned_nodes(part, model.geometry, model.threads, [&](int32_t e, int corners, OwnedNodes own) {
    const ElementGeometry& g = model.geometry[e];
    const MaterialRow row = material_row(model.material_table, model.material_count, model.material[e]);
    const StressMatrix ds = stress_matrix(state.epsbar[e], row);
    const double volume = element_volume(g, state.h[e], model.h0[e]);
    const bool reversing = keeps_reversing(part, e, corners, state.increment_reversals);
    const CornerSlopes slopes = reversing ? corner_slopes(part, e, corners, state.binder_slope) : CornerSlopes{};
    ElementMatrix ke =
        element_stiffness(g, ds, state.h[e], model.h0[e], settings.stabiliz[1], *model.tables, slopes);
    add_normal_displacement_stiffness(g, corner_displacements(part, e, corners, state.U, state.Zb), ds, volume,
                                      reversing ? kFullNormalDisplacementWeight : kNormalDisplacementWeight, ke);
    if (held_at_law_jump(state.law_crossings[e])) {
      const std::size_t ne = static_cast<std::size_t>(part.ne);
      add_law_jump_stiffness(g, state.strain[e], state.strain[ne + e], state.strain[2 * ne + e], state.epsbar[e], row,
                             volume, ke);
    }
    if (category != 0) {
      scale_restraint_diagonal(category, settings.stabiliz[0], corner_values(part, e, corners, state.kx),
                               corner_values(part, e, corners, state.ky), corners, ke);
    }
    add_tool_stiffness(part, e, state.tool.block, ke);
    constrain_element_matrix(part, e, model.held, ke);         // held dofs decoupled
    symmetrise_element_matrix(element_dofs(part, e), ke);     // upper triangle into lower
    // add_element_matrix (assembly.h) for the rows of the owned nodes only.
    const int32_t* map = model.scatter.data() + int64_t{kScatterWords} * e;
    for (int a = 0; a < kElementDofs; ++a) {
      if (a >= 2 * corners || !own.contains(part.node(e, a / 2))) continue;
      for (int b = 0; b < kElementDofs; ++b) {
        const int32_t position = scattered_position(map, a, b);
        if (position >= 0) value[position] += ke[a + kElementDofs * b];
      }
    }
  });
}

}  // namespace trevo
