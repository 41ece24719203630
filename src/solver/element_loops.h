// The one-step iteration's loops over all elements (internal forces, element matrices), parallel over
// threads with results that do not depend on the number of threads (solver/owned_node_loop.h,
// tests/solver/thread_independence_test.cpp). model.threads threads run each loop. Nodes and
// elements are 0-based.
#pragma once
#include <span>

#include "core/settings.h"
#include "solver/one_step.h"

namespace trevo {

// state.internal (2 nn, node i at 2i, 2i+1) += every element's internal forces and state.internal_z (nn)
// += their z components (for the contact terms and the punch force), from state.stress, state.h and
// model.h0, and the hourglass forces (element.h) of the quadrilaterals at the free boundary
// (model.neighbours; none when it is empty) at the displacement u (2 nn), the one the stresses were
// evaluated at. Both are cleared by the caller.
void add_internal_forces(const OneStepModel& model, const OneStepState& state, std::span<const double> u);

// state.k.value += every element's secant stiffness with the restraint diagonal factors of
// settings.restraint_category (state.kx, state.ky), the tool blocks of its corners (state.tool.block),
// the constraints of model.held and the symmetrisation, through model.scatter.
// state.k.value is cleared by the caller.
void add_element_matrices(const OneStepModel& model, const OneStepState& state, const RunSettings& settings);

}  // namespace trevo
