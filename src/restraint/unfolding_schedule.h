// The relaxation schedules and exit tests of the membrane unfolding.
// Spec: Part 5.2 (Pre-unfolding; Binder-surface calculation).
#pragma once
#include <string>

namespace trevo {

// Start relaxation r0 from the smallest normal z after positioning, m.
double pre_unfolding_start_relaxation(double smallest_nz);

// RELAX of a pre-unfolding iteration from its ADP (step 7), at most max_relax.
double pre_unfolding_relaxation(double adp, double previous_relax, double max_relax);

// The five exit tests of a pre-unfolding pass after iteration k (1-based), in order.
bool pre_unfolding_pass_ends(int k, double adp, double previous_adp, double tol);

// The binder-surface calculation ends when ADP grows or falls below 10 * DEPS.
bool binder_surface_ends(double adp, double previous_adp, double deps);

// Part 5.2: progress line " NN1=" I3 "  DEPXY=" G12.4 "  RELAX=" G12.4.

std::string unfolding_progress_line(int k, double adp, double relax);

}  // namespace trevo
