// Binder-surface calculation: the blank lying on the binder, taken as the part, unfolded
// into the plane by the membrane of the pre-unfolding; and the on-binder inversion gate.
// Spec: Part 5.2 (Binder-surface calculation; On-binder stage, inversion gate; Interfaces).
// Nodes are 0-based; equation 2i is node i's x, 2i+1 its y (Part 4.1 layout).
#pragma once
#include <cstdint>
#include <span>

#include "frame/reporter.h"
#include "frame/settings.h"
#include "restraint/pre_unfolding.h"
#include "solver/assembly.h"
#include "solver/csr.h"
#include "solver/one_step.h"

namespace trevo {

inline constexpr double kBinderDiagonalFactor = 1.000025;
inline constexpr int32_t kBinderSurfaceIterations = 50;
inline constexpr int32_t kBinderSurfacePrintInterval = 10;  // progress at k = 1, 11, 21, ...
inline constexpr double kBinderSurfaceStartAdp = 100000.0;

// Which degrees of freedom get the diagonal factor, by restraint category (Part 3.4):
// 1 or 11 both, 2 or 12 the x dofs, 3 or 13 the y dofs, any other none.
struct DiagonalScaling {
  bool x = false, y = false;
};
DiagonalScaling binder_diagonal_scaling(int32_t restraint_category);

// The factor 1.000025 on the diagonal entries of the scaled dofs, applied to the
// assembled matrix k (neq = 2 nn). Assembly sums the element matrices, so scaling
// the assembled diagonal of a free dof equals scaling that dof's diagonal entry in
// every element matrix before assembly (Part 5.2). A held dof (CONTRATX/CONTRATY)
// is left alone: its row and column are decoupled (Part 4.4, matrix step 2), and its
// prescribed right-hand side was formed with the unscaled diagonal, so its increment
// is the prescribed one with or without the factor, as in the Part.
void scale_binder_diagonal(const DiagonalScaling& scaling, const NodeConstraints& held, CsrMatrix& k);

// The inversion gate's abandon message (Part 5.2): console and report texts differ.
void report_binder_surface_abandoned(const RunSettings& settings, Reporter& reporter);

// Interfaces of Part 5.2: the blank on the binder becomes the part, x := X, y := Y,
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
// 100 sqrt(DEPS) c ADP^0.75, and the exits of Part 5.2. Leaves the flat blank in X, Y.
// Writes the progress lines and the closing line; stops the run on a NaN solution.
BinderSurfaceResult binder_surface(const OneStepModel& model, OneStepState& state, const PrescribedMotion& prescribed,
                                   const RunSettings& settings, Reporter& reporter);

}  // namespace trevo
