// The relaxation schedules and exit tests of the membrane unfolding.
// The pre-unfolding relaxes the projected part in passes of at most 60 iterations;
// the binder-surface calculation takes the full increment, at most 50 times.
#pragma once
#include <string>

namespace trevo {

// Start relaxation r0 from the smallest normal z after positioning, m.
double pre_unfolding_start_relaxation(double smallest_nz);

// RELAX of a pre-unfolding iteration from its ADP: larger steps as the blank settles,
// the previous RELAX while ADP >= 100; at most max_relax.
double pre_unfolding_relaxation(double adp, double previous_relax, double max_relax);

// The five exit tests of a pre-unfolding pass after iteration k (1-based), in order.
bool pre_unfolding_pass_ends(int k, double adp, double previous_adp, double tol);

// The binder-surface calculation ends when ADP grows or falls below 10 * DEPS.
bool binder_surface_ends(double adp, double previous_adp, double deps);

// Progress line " NN1=" I3 "  DEPXY=" G12.4 "  RELAX=" G12.4.
std::string unfolding_progress_line(int k, double adp, double relax);

}  // namespace trevo
