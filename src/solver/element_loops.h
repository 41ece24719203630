// The one-step iteration's loops over all elements (internal forces, element matrices), parallel over
// elements with results that do not depend on the number of threads.
// Spec: Part 4.4 (Residual step 3, Matrix steps 1-4), Part 4.5 (internal z force).
//
// Any thread computes an element's forces or matrix into that element's slot of a chunk buffer; one thread
// then adds the chunk into the global vectors or matrix in ascending element order. Every global entry thus
// gets the same sums in the same order as a sequential loop over the elements: the results are bit-identical
// for every thread count (tests/solver/thread_independence_test.cpp). Nodes and elements are 0-based.
#pragma once
#include "frame/settings.h"
#include "solver/one_step.h"

namespace trevo {

// state.internal (2 nn, node i at 2i, 2i+1) += every element's internal forces and state.internal_z (nn)
// += their z components, from state.stress, state.h and model.h0 (Part 4.4 step 3). Both are cleared by
// the caller.
void add_internal_forces(const OneStepModel& model, const OneStepState& state);

// state.k.value += every element's secant stiffness (Part 4.2) with the restraint diagonal factors of
// settings.restraint_category (state.kx, state.ky), the tool blocks of its corners (state.tool.block),
// the constraints of model.held and the symmetrisation, through model.scatter (Part 4.4 Matrix steps 1-4).
// state.k.value is cleared by the caller.
void add_element_matrices(const OneStepModel& model, const OneStepState& state, const RunSettings& settings);

}  // namespace trevo
