// Binder-surface calculation: the blank lying on the binder, taken as the part, unfolded
// into the plane by the membrane of the pre-unfolding; and the on-binder inversion gate.
// Nodes are 0-based; equation 2i is node i's x, 2i+1 its y.
#pragma once
#include <cstdint>
#include <span>

#include "core/reporter.h"
#include "core/settings.h"
#include "restraint/pre_unfolding.h"
#include "solver/assembly.h"
#include "solver/csr.h"
#include "solver/one_step.h"

namespace trevo {

inline constexpr double kBinderDiagonalFactor = 1.000025;
inline constexpr int32_t kBinderSurfaceIterations = 50;
inline constexpr int32_t kBinderSurfacePrintInterval = 10;  // progress at k = 1, 11, 21, ...
inline constexpr double kBinderSurfaceStartAdp = 100000.0;

// Which degrees of freedom get the diagonal factor, by the positioning's restraint category:
// 1 or 11 both, 2 or 12 the x dofs, 3 or 13 the y dofs, any other none.
struct DiagonalScaling {
  bool x = false, y = false;
};
DiagonalScaling binder_diagonal_scaling(int32_t restraint_category);

// The factor 1.000025 on the diagonal entries of the scaled dofs, applied to the
// assembled matrix k (neq = 2 nn). Assembly sums the element matrices, so scaling
// the assembled diagonal of a free dof equals scaling that dof's diagonal entry in
// every element matrix before assembly. A held dof (CONTRATX/CONTRATY) is left
// alone: assembly decouples its row and column, and its prescribed right-hand side
// was formed with the unscaled diagonal, so its increment is the prescribed one
// with or without the factor.
void scale_binder_diagonal(const DiagonalScaling& scaling, const NodeConstraints& held, CsrMatrix& k);

// The inversion gate's abandon message, written when the solved blank has inverted
// elements and the binder-surface calculation is skipped: console and report texts differ.
void report_binder_surface_abandoned(const RunSettings& settings, Reporter& reporter);

// The blank on the binder becomes the part: x := X, y := Y,
// z := Zb for every node, then Zb := 0. part_x/y/z and X, Y, Zb: nn each.
void blank_on_binder_as_part(std::span<const double> X, std::span<const double> Y, std::span<double> Zb,
                             std::span<double> part_x, std::span<double> part_y, std::span<double> part_z);

struct BinderSurfaceResult {
  double adp = kBinderSurfaceStartAdp;  // last ADP
  int32_t iterations = 0;               // last k
};

// The binder-surface calculation on model.part (already the blank on the binder, its
// element geometry rebuilt): X = x, Y = y, Zb = 0, then k = 1..50 with RELAX 1, the
// prescribed CONTRATX/CONTRATY increments at every iteration, solver tolerance
// 100 sqrt(DEPS) c ADP^0.75; ends when ADP grows (that step stays applied) or falls
// below 10 DEPS (binder_surface_ends). Leaves the flat blank in X, Y.
// Writes the progress lines and the closing line; stops the run on a NaN solution.
BinderSurfaceResult binder_surface(const OneStepModel& model, OneStepState& state, const PrescribedMotion& prescribed,
                                   const RunSettings& settings, Reporter& reporter);

}  // namespace trevo
