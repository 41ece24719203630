// The one-step iteration loop with its residual and matrix assembly.
#include "solver/one_step.h"

#include <algorithm>
#include <chrono>
#include <cmath>

#include "solver/element_loops.h"
#include "solver/element_stabilisation.h"
#include "solver/increment_reversals.h"
#include "solver/iteration_control.h"
#include "solver/law_jumps.h"
#include "solver/material.h"
#include "solver/slope_scaling.h"

namespace trevo {

namespace {

constexpr int32_t kPrintInterval = 20;

void clear(std::span<double> v) { std::fill(v.begin(), v.end(), 0.0); }

double dot(std::span<const double> a, std::span<const double> b) {
  double sum = 0.0;
  for (std::size_t i = 0; i < a.size(); ++i) sum += a[i] * b[i];
  return sum;
}

// Binder height, then holder and pad height, at the current blank.
void tool_heights(const OneStepModel& model, OneStepState& state, const RunSettings& settings) {
  if (settings.binder_flag == 1 && model.binder_grid != nullptr) {
    binder_heights(model.binder, *model.binder_grid, model.binder_neighbours, model.binder_boundary,
                   settings.binder_fallback == 1, state.X, state.Y, state.last_binder_element, state.Zb,
                   state.binder_slope);
  }
  if ((settings.blank_holder_flag == 1 || settings.pad_flag == 1) && model.part_grid != nullptr) {
    holder_heights(model.part, *model.part_grid, model.restraint.state, state.X, state.Y, state.Zb,
                   state.last_part_element, state.Zh);
  }
}


// Adds the time since the last lap to a LoopStatistics field; does nothing without statistics.
class LoopTimer {
 public:
  explicit LoopTimer(LoopStatistics* statistics) : statistics_(statistics) {}
  void lap(double LoopStatistics::*field) {
    if (statistics_ == nullptr) return;
    const auto now = std::chrono::steady_clock::now();
    statistics_->*field += std::chrono::duration<double>(now - mark_).count();
    mark_ = now;
  }

 private:
  LoopStatistics* statistics_;
  std::chrono::steady_clock::time_point mark_ = std::chrono::steady_clock::now();
};

}  // namespace


void displacement_vector(const Mesh& part, std::span<const double> X, std::span<const double> Y,
                         std::span<double> U) {
  for (int32_t i = 0; i < part.nn; ++i) {
    U[2 * i] = part.x[i] - X[i];
    U[2 * i + 1] = part.y[i] - Y[i];
  }
}

ThicknessMinimum evaluate_state(const OneStepModel& model, const OneStepState& state, std::span<const double> u,
                                std::span<const int32_t> branch) {
  return evaluate_elements(model.geometry, model.part, u, state.Zb, model.material_table, model.material_count,
                           model.material, model.h0, state.h, state.epsbar, state.stress, state.strain,
                           model.threads, branch);
}

ResidualResult assemble_residual(const OneStepModel& model, const OneStepState& state, std::span<const double> u,
                                 const RunSettings& settings, std::span<double> r) {
  const Mesh& part = model.part;
  clear(state.internal);
  clear(state.external);
  clear(state.internal_z);
  restraint_forces(part.z, u, state.Zb, state.Zh, model.restraint, model.beads, settings, state.external,
                   state.tool.kb, state.tool.kf);
  add_internal_forces(model, state, u);
  contact_forces(part.z, u, state.Zb, model.restraint, state.internal, state.internal_z, settings, state.sticking,
                 state.external, state.tool.kc);
  residual(state.external, state.internal, r);
  constrain_residual(model.held, r);
  return {dot(r, r), largest_residual(r)};
}

void assemble_matrix(const OneStepModel& model, OneStepState& state, const RunSettings& settings) {
  const Mesh& part = model.part;
  node_stiffness_blocks(part.z, state.U, state.Zh, model.restraint, model.beads, settings, state.tool);
  clear(state.k.value);
  add_element_matrices(model, state, settings);
  unit_zero_diagonals(state.k);
}

int run_one_step(const OneStepModel& model, OneStepState& state, const RunSettings& settings, Reporter& reporter,
                 LoopOutcome& outcome, LoopState& loop) {
  StopState stop;
  stop.first_adp = loop.first_adp;
  const StopLimits limits{settings.displacement_tolerance, settings.force_tolerance};
  const double solver_factor = cg_solver_factor(model.part.nn);
  int32_t& next_print = loop.next_print;
  double& adp = loop.adp;
  if (outcome.nn0 == 1) {
    std::copy(state.Zb.begin(), state.Zb.end(), state.Zh.begin());  // Zh starts as Zb
    std::fill(state.sticking.begin(), state.sticking.end(), 0);
    std::fill(state.law_branch.begin(), state.law_branch.end(), 0);
    std::fill(state.law_crossings.begin(), state.law_crossings.end(), 0);
    std::fill(state.increment_reversals.begin(), state.increment_reversals.end(), 0);
    std::fill(state.binder_slope.begin(), state.binder_slope.end(), 0.0);
  }
  LoopTimer timer(state.statistics);
  for (int32_t nn0 = outcome.nn0; nn0 <= settings.iteration_limit; ++nn0) {
    outcome.nn0 = nn0;
    displacement_vector(model.part, state.X, state.Y, state.U);
    if (settings.restraint_category != 0) stabilisation_coefficients(state.U, state.X, state.Y, state.kx, state.ky);
    tool_heights(model, state, settings);
    law_forms(state.law_crossings, {}, state.law_form);
    ThicknessMinimum hmin = evaluate_state(model, state, state.U, state.law_form);
    count_law_crossings(state.epsbar, model.material_table, model.material_count, model.material, state.law_branch,
                        state.law_crossings);
    const ResidualResult equilibrium = assemble_residual(model, state, state.U, settings, state.R);
    const bool balance_finite = std::isfinite(equilibrium.norm_sq) && force_within_range(equilibrium.maxp.value);
    stop_unless_finite(balance_finite, settings.message_level, reporter);
    timer.lap(&LoopStatistics::seconds_residual);
    assemble_matrix(model, state, settings);
    timer.lap(&LoopStatistics::seconds_matrix);
    slope_scaled_residual(model.restraint.normals, model.held, state.R, state.R);  // R is not needed unscaled again
    std::copy(state.dU.begin(), state.dU.end(), state.previous_increment.begin());
    const CgStop cg_stop{cg_tolerance(settings.displacement_tolerance, solver_factor, adp), model.cg_forcing,
                         state.statistics != nullptr && state.statistics->record_iterations};
    if (nn0 > 1) predict_next_increment(state.cg.x, outcome.last.relax);
    const CgResult cg = conjugate_gradient(state.k, state.R, cg_stop, state.cg, state.dU);
    timer.lap(&LoopStatistics::seconds_cg);
    stop_unless_finite(all_finite(state.dU), settings.message_level, reporter);
    if (nn0 > 1) count_increment_reversals(state.previous_increment, state.dU, state.increment_reversals);

    adp = displacement_measure(state.dU, state.X, state.Y);
    stop_unless_finite(std::isfinite(adp), settings.message_level, reporter);
    if (nn0 == 1) stop.first_adp = loop.first_adp = adp;
    outcome.least_adp = std::min(outcome.least_adp, adp);
    loop.acceptance.record(adp);

    // The residual of U + lambda dU, each element keeping the secant branch it has at U (a held
    // element its blended law, continuous anyway). The secant law's stress jumps where its branches
    // meet (law_jumps.h); a trial step that carries a few elements across a jump moves their nodes'
    // residual by more than the rest of the step gains, and the search would cut the whole step for
    // them. On a kept branch the residual is smooth along the step, so the search judges the step by
    // the smooth part of the law; the next iteration evaluates every element on its own branch again.
    // The trial displacement takes U's place, U being formed again from the blank with the same
    // expression, which the blank does not change until the search is over.
    law_forms(state.law_crossings, state.law_branch, state.law_form);
    auto trial = [&](double lambda) {
      displacement_vector(model.part, state.X, state.Y, state.U);
      for (std::size_t i = 0; i < state.U.size(); ++i) state.U[i] += lambda * state.dU[i];
      hmin = evaluate_state(model, state, state.U, state.law_form);
      return assemble_residual(model, state, state.U, settings, state.R).norm_sq;
    };
    const LineSearchResult search =
        line_search(equilibrium.norm_sq, settings.min_relax, loop.acceptance.factor(), trial);
    displacement_vector(model.part, state.X, state.Y, state.U);
    const double relax = clamped_relaxation(search.relax, settings.min_relax, settings.max_relax);
    mark_sticking_nodes(state.U, state.dU, relax, state.sticking);
    for (int32_t i = 0; i < model.part.nn; ++i) {
      state.X[i] -= relax * state.dU[2 * i];
      state.Y[i] -= relax * state.dU[2 * i + 1];
    }

    outcome.last = {adp, relax, equilibrium.maxp.node, equilibrium.maxp.value, hmin.element, hmin.value};
    if (nn0 == next_print) {
      reporter.both(progress_line(nn0, outcome.last));
      outcome.last_printed = nn0;
      next_print += kPrintInterval;
    }
    outcome.inversions =
        counted_inversions(outcome.inversions, inverted_element_count(model.part, state.X, state.Y));

    stop.adp = adp;
    stop.maxp_value = equilibrium.maxp.value;
    stop.inversion_count = outcome.inversions;
    stop.iteration = nn0;
    timer.lap(&LoopStatistics::seconds_line_search);
    if (state.statistics != nullptr) {
      ++state.statistics->iterations;
      state.statistics->cg_steps += cg.steps;
      state.statistics->line_search_trials += search.trials;
      if (state.statistics->record_iterations) {
        const double cg_relative = cg.rhs_rho > 0.0 ? std::sqrt(cg.rho / cg.rhs_rho) : 0.0;
        state.statistics->per_iteration.push_back(
            {nn0, cg.steps, search.trials, cg_relative, adp, equilibrium.maxp.value, relax});
      }
    }
    if (state.after_iteration) state.after_iteration(nn0, outcome.last);
    if (const int test = stop_test(stop, limits); test != 0) return test;  // NN0 unchanged
    outcome.nn0 = nn0 + 1;  // one above the limit at the end
  }
  return 0;
}

}  // namespace trevo
