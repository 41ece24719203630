// The one-step iteration's loops over all elements (internal forces, element matrices), parallel over
// threads with results that do not depend on the number of threads.
//
// Each thread owns a contiguous range of nodes, i.e. their equations and matrix rows. It walks all
// elements in ascending order and, for each element with a corner in its range, computes the element's
// forces or matrix (a pure function of the element, so a shared element gives the same numbers on either
// thread) and adds the entries of its own rows. Every global entry thus gets the same sums in the same
// order as the sequential loop over the elements: the results are bit-identical for every thread count
// (tests/solver/thread_independence_test.cpp). No buffers; an element with corners in two ranges is
// computed twice. model.threads threads run each loop. Nodes and elements are 0-based.
#pragma once
#include "core/settings.h"
#include "solver/one_step.h"

namespace trevo {

// state.internal (2 nn, node i at 2i, 2i+1) += every element's internal forces and state.internal_z (nn)
// += their z components (for the contact terms and the punch force), from state.stress, state.h and
// model.h0. Both are cleared by the caller.
void add_internal_forces(const OneStepModel& model, const OneStepState& state);

// state.k.value += every element's secant stiffness with the restraint diagonal factors of
// settings.restraint_category (state.kx, state.ky), the tool blocks of its corners (state.tool.block),
// the constraints of model.held and the symmetrisation, through model.scatter.
// state.k.value is cleared by the caller.
void add_element_matrices(const OneStepModel& model, const OneStepState& state, const RunSettings& settings);

}  // namespace trevo
