// Element loops of the one-step iteration, each thread adding into the rows of the nodes it owns.
#include "solver/element_loops.h"

#include <array>

#include "solver/element_stabilisation.h"
#include "solver/increment_reversals.h"
#include "solver/law_jumps.h"
#include "solver/material.h"
#include "solver/owned_node_loop.h"

namespace trevo {
namespace {

std::array<double, 4> corner_values(const Mesh& part, int32_t e, int corners, std::span<const double> per_node) {
  std::array<double, 4> v{};
  for (int k = 0; k < corners; ++k) v[k] = per_node[part.node(e, k)];
  return v;
}

}  // namespace

void add_internal_forces(const OneStepModel& model, const OneStepState& state) {
  const Mesh& part = model.part;
  const std::size_t ne = static_cast<std::size_t>(part.ne);
  for_elements_of_owned_nodes(part, model.threads, [&](int32_t e, int corners, OwnedNodes own) {
    const ElementForces f = element_internal_forces(element_geometry(model.geometry, part, e), state.stress[e], state.stress[ne + e],
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
  for_elements_of_owned_nodes(part, model.threads, [&](int32_t e, int corners, OwnedNodes own) {
    const ElementGeometry g = element_geometry(model.geometry, part, e);
    const MaterialRow row = material_row(model.material_table, model.material_count, model.material[e]);
    const bool held = held_at_law_jump(state.law_crossings[e]);
    const StressMatrix ds = stress_matrix(state.epsbar[e], row, held ? kBlendedJumps : 0);
    const double volume = element_volume(g, state.h[e], model.h0[e]);
    const bool reversing = keeps_reversing(part, e, corners, state.increment_reversals);
    const CornerSlopes slopes = reversing ? corner_slopes(part, e, corners, state.binder_slope) : CornerSlopes{};
    ElementMatrix ke =
        element_stiffness(g, ds, state.h[e], model.h0[e], settings.stabiliz[1], *model.tables, slopes);
    add_normal_displacement_stiffness(g, corner_displacements(part, e, corners, state.U, state.Zb), ds, volume,
                                      reversing ? kFullNormalDisplacementWeight : kNormalDisplacementWeight, ke);
    if (held) {
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
    add_owned_rows(part, e, corners, own, model.scatter, ke, state.k.value);
  });
}

}  // namespace trevo
