// Binder-surface calculation and the on-binder inversion gate.
#include "restraint/binder_surface.h"

#include <algorithm>
#include <cmath>

#include "restraint/unfolding_schedule.h"
#include "solver/conjugate_gradient.h"
#include "solver/iteration_control.h"

namespace trevo {

DiagonalScaling binder_diagonal_scaling(int32_t restraint_category) {
  switch (restraint_category) {
    case 1:
    case 11:
      return {true, true};
    case 2:
    case 12:
      return {true, false};
    case 3:
    case 13:
      return {false, true};
    default:
      return {};
  }
}

void scale_binder_diagonal(const DiagonalScaling& scaling, const NodeConstraints& held, CsrMatrix& k) {
  const int32_t nn = k.neq / 2;
  for (int32_t i = 0; i < nn; ++i) {
    if (scaling.x && held.held_x[i] == 0) k.value[k.diagonal[2 * i]] *= kBinderDiagonalFactor;
    if (scaling.y && held.held_y[i] == 0) k.value[k.diagonal[2 * i + 1]] *= kBinderDiagonalFactor;
  }
}

void report_binder_surface_abandoned(const RunSettings& settings, Reporter& reporter) {
  if (settings.message_level != 2) return;
  // List-directed records: one blank before each text; the report's second line has
  // eight blanks inside its text where the console's has seven.
  reporter.console("");
  reporter.console(" ******* Due to lack of convergency, binder surface");
  reporter.console("        calculation is not continued *******");
  reporter.console("");
  reporter.report(" ******* Due to lack of convergency, binder surface");
  reporter.report("         calculation is not continued *******");
  reporter.report("");
}

void blank_on_binder_as_part(std::span<const double> X, std::span<const double> Y, std::span<double> Zb,
                             std::span<double> part_x, std::span<double> part_y, std::span<double> part_z) {
  std::copy(X.begin(), X.end(), part_x.begin());
  std::copy(Y.begin(), Y.end(), part_y.begin());
  std::copy(Zb.begin(), Zb.end(), part_z.begin());
  std::fill(Zb.begin(), Zb.end(), 0.0);
}

BinderSurfaceResult binder_surface(const OneStepModel& model, OneStepState& state, const PrescribedMotion& prescribed,
                                   const RunSettings& settings, Reporter& reporter) {
  const Mesh& part = model.part;
  std::copy(part.x.begin(), part.x.end(), state.X.begin());
  std::copy(part.y.begin(), part.y.end(), state.Y.begin());
  std::fill(state.Zb.begin(), state.Zb.end(), 0.0);
  const double solver_factor = cg_solver_factor(part.nn);
  const double deps = settings.displacement_tolerance;
  const DiagonalScaling scaling = binder_diagonal_scaling(settings.restraint_category);
  constexpr double relax = 1.0;  // the full increment
  BinderSurfaceResult result;
  for (int32_t k = 1; k <= kBinderSurfaceIterations; ++k) {
    const double previous_adp = result.adp;
    const double t = 100.0 * std::sqrt(deps) * solver_factor * std::pow(previous_adp, 0.75);
    // The increment is cleared every iteration: the solver starts from zero, not from the
    // last increment (a start already within t would otherwise repeat that increment).
    std::fill(state.cg.x.begin(), state.cg.x.end(), 0.0);
    // Unlike the pre-unfolding, the prescribed increments apply at every iteration here.
    assemble_membrane(model, state, prescribed, true);
    scale_binder_diagonal(scaling, model.held, state.k);
    conjugate_gradient(state.k, state.R, t, state.cg, state.dU);
    stop_unless_finite(all_finite(state.dU), settings.message_level, reporter);
    result.adp = displacement_measure(state.dU, state.X, state.Y);
    result.iterations = k;
    for (int32_t i = 0; i < part.nn; ++i) {  // X -= RELAX dU (the membrane's sign, pre_unfolding.h)
      state.X[i] -= relax * state.dU[2 * i];
      state.Y[i] -= relax * state.dU[2 * i + 1];
    }
    if (k % kBinderSurfacePrintInterval == 1) reporter.both(unfolding_progress_line(k, result.adp, relax));
    if (binder_surface_ends(result.adp, previous_adp, deps)) break;
  }
  reporter.both(unfolding_progress_line(result.iterations, result.adp, relax));  // closing line: always
  return result;
}

}  // namespace trevo
