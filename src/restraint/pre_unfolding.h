// Pre-unfolding: the part's projection relaxed into a flat blank by a uniform
// linear-elastic membrane; its result is the iteration's starting blank.
// Nodes 0-based.
#pragma once
#include <cstdint>
#include <span>

#include "core/reporter.h"
#include "core/settings.h"
#include "solver/one_step.h"

namespace trevo {

// CONTRATX / CONTRATY rows as the membrane uses them: node (0-based) and value.
struct PrescribedMotion {
  std::span<const int32_t> x_nodes, y_nodes;
  std::span<const double> x_values, y_values;
};

inline constexpr double kMembraneModulus = 10000.0;

// One membrane iteration's linear system at the current X, Y:
// residual R = -(membrane forces), matrix with the constraints, prescribed
// increments (in X, Y) on the constrained rows when first_iteration is set.
void assemble_membrane(const OneStepModel& model, OneStepState& state, const PrescribedMotion& prescribed,
                       bool first_iteration);

// AAL and AANL, diagnostics of the unfolding's stretch: 4.0 times the summed element areas on the
// part and in the blank (X, Y).
struct MembraneMeasures {
  double aal = 0.0, aanl = 0.0;
};
MembraneMeasures membrane_measures(const OneStepModel& model, std::span<const double> X, std::span<const double> Y);

// The whole pre-unfolding (both passes, messages, closing lines). Without held nodes each
// increment is taken free of rigid motion (see pre_unfolding.cpp), so the blank keeps
// the projection's centroid and mean turn. Sets
// settings.max_relax (method 0, failed first pass) and, when the second pass fails,
// settings.iteration_limit = 0 and settings.method = 0. Returns the last ADP.
double pre_unfold(const OneStepModel& model, OneStepState& state, const PrescribedMotion& prescribed,
                  RunSettings& settings, Reporter& reporter);

}  // namespace trevo
