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

// Whether element e has an edge on the part's free boundary.
bool has_free_edge(std::span<const int32_t> neighbours, int32_t ne, int32_t e) {
  for (int k = 0; k < 4; ++k)
    if (neighbours[static_cast<std::size_t>(k) * ne + e] == kNone) return true;
  return false;
}

// The hourglass forces of element e at the displacement u (element.h), for a quadrilateral at the free
// boundary; zero elsewhere. There a corner has one or two elements, the matrix's hourglass stiffness
// (K2 + K3) / 3 dominates its block, and the residual, which had none, answers an increment with a
// fraction of the force change the matrix promises (on a sliver at the edge of a drawn pocket a
// fifteenth): the iteration stalls there short of balance and, continued, walks away from it. Inside
// the mesh the neighbours' centre sets carry each node, and an hourglass-shaped blank element is mostly
// the in-plane bending that one-point elements represent that way (at the top of a channel's wall):
// hourglass forces there held such bends and kept a tilted flanging job from converging.
std::array<double, 8> element_hourglass_forces(const OneStepModel& model, const OneStepState& state,
                                               std::span<const double> u, int32_t e, const ElementGeometry& g) {
  const Mesh& part = model.part;
  if (g.corners != 4 || model.neighbours.empty() || !has_free_edge(model.neighbours, part.ne, e)) return {};
  BlankCorners blank;
  for (int k = 0; k < 4; ++k) {
    const std::size_t i = static_cast<std::size_t>(part.node(e, k));
    blank.X[k] = part.x[i] - u[2 * i];
    blank.Y[k] = part.y[i] - u[2 * i + 1];
    blank.Z[k] = state.Zb[i];
  }
  const MaterialRow row = material_row(model.material_table, model.material_count, model.material[e]);
  const StressMatrix ds = stress_matrix(state.epsbar[e], row, state.law_form[e]);
  return hourglass_forces(g, ds, element_volume(g, state.h[e], model.h0[e]), blank);
}

}  // namespace

void add_internal_forces(const OneStepModel& model, const OneStepState& state, std::span<const double> u) {
  const Mesh& part = model.part;
  const std::size_t ne = static_cast<std::size_t>(part.ne);
  for_elements_of_owned_nodes(part, model.threads, [&](int32_t e, int corners, OwnedNodes own) {
    const ElementGeometry g = element_geometry(model.geometry, part, e);
    const ElementForces f = element_internal_forces(g, state.stress[e], state.stress[ne + e],
                                                    state.stress[2 * ne + e], state.h[e], model.h0[e]);
    const std::array<double, 8> hourglass = element_hourglass_forces(model, state, u, e, g);
    for (int k = 0; k < corners; ++k) {
      const int32_t node = part.node(e, k);
      if (!own.contains(node)) continue;
      state.internal[2 * static_cast<std::size_t>(node)] += f.fxy[2 * k] + hourglass[2 * k];
      state.internal[2 * static_cast<std::size_t>(node) + 1] += f.fxy[2 * k + 1] + hourglass[2 * k + 1];
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
