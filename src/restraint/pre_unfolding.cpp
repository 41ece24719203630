// Pre-unfolding passes and the membrane system of one unfolding iteration.
#include "restraint/pre_unfolding.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "fortran/edit.h"
#include "restraint/corotational_membrane.h"
#include "restraint/unfolding_schedule.h"
#include "solver/iteration_control.h"
#include "solver/owned_node_loop.h"

namespace trevo {

namespace {

constexpr double kStartAdp = 100000.0;
constexpr int32_t kPrintInterval = 20;

double blank_area(const Mesh& part, int32_t e, std::span<const double> X, std::span<const double> Y) {
  const int32_t n1 = part.node(e, 0), n2 = part.node(e, 1), n3 = part.node(e, 2), n4 = part.node(e, 3);
  return 0.5 * std::fabs((X[n3] - X[n1]) * (Y[n4] - Y[n2]) - (X[n4] - X[n2]) * (Y[n3] - Y[n1]));
}

// Prescribed increment of a constrained equation: its row and column are the
// identity times the assembled diagonal, so R = diagonal * (-dX) gives dU = -dX
// (the blank moves by X -= RELAX dU).
void prescribe(std::span<const int32_t> nodes, std::span<const double> values, int component, bool first_iteration,
               const CsrMatrix& k, std::span<double> r) {
  for (std::size_t i = 0; i < nodes.size(); ++i) {
    const int32_t node = nodes[i];
    if (node < 0 || 2 * node + 1 >= k.neq) continue;
    const int32_t eq = 2 * node + component;
    r[eq] = first_iteration ? -values[i] * k.value[k.diagonal[eq]] : 0.0;
  }
}

// The membrane has no supports unless CONTRATX / CONTRATY lines hold nodes, so its
// matrix is singular in the blank's rigid motion (exactly in the two translations, nearly
// in the turn) and the increment is only defined up to a rigid motion. The warm-started
// conjugate gradient never corrects such a component once its starting guess holds it,
// so the blank would drift and turn at every iteration (a triangle-meshed blank by degrees
// per iteration) with ADP stuck far above tol. The increment taken is therefore the
// solution free of rigid motion: its least-squares translation and turn (about the
// centroid of the blank) are removed. This changes no balance, since the corner forces of
// every element balance in force and moment (corotational_membrane.h), and it keeps the
// blank where the projection lies (centroid and mean turn), where the one-step
// iteration's stabilisation coefficients expect small displacements. Nodes that no element
// uses (increment 0) take no part. Not done when nodes are held: they support the blank.
struct RigidMotionFilter {
  std::vector<char> used;  // nn: node of some element
  bool active = false;
};

RigidMotionFilter rigid_motion_filter(const Mesh& part, const NodeConstraints& held) {
  RigidMotionFilter filter;
  for (int32_t i = 0; i < part.nn; ++i)
    if ((!held.held_x.empty() && held.held_x[i] != 0) || (!held.held_y.empty() && held.held_y[i] != 0)) return filter;
  filter.used.assign(static_cast<size_t>(part.nn), 0);
  for (int32_t e = 0; e < part.ne; ++e)
    for (int k = 0; k < 4; ++k) filter.used[part.node(e, k)] = 1;
  filter.active = part.ne > 0;
  return filter;
}

// dU -= t + w x (X - c): the least-squares rigid part of the increment removed.
void remove_rigid_motion(const RigidMotionFilter& filter, std::span<const double> X, std::span<const double> Y,
                         std::span<double> dU) {
  if (!filter.active) return;
  const int32_t nn = static_cast<int32_t>(X.size());
  double count = 0.0, cx = 0.0, cy = 0.0, tx = 0.0, ty = 0.0;
  for (int32_t i = 0; i < nn; ++i) {
    if (filter.used[i] == 0) continue;
    count += 1.0, cx += X[i], cy += Y[i], tx += dU[2 * i], ty += dU[2 * i + 1];
  }
  cx /= count, cy /= count, tx /= count, ty /= count;
  double moment = 0.0, inertia = 0.0;
  for (int32_t i = 0; i < nn; ++i) {
    if (filter.used[i] == 0) continue;
    const double rx = X[i] - cx, ry = Y[i] - cy;
    moment += rx * (dU[2 * i + 1] - ty) - ry * (dU[2 * i] - tx);
    inertia += rx * rx + ry * ry;
  }
  const double w = inertia > 0.0 ? moment / inertia : 0.0;
  for (int32_t i = 0; i < nn; ++i) {
    if (filter.used[i] == 0) continue;
    dU[2 * i] -= tx - w * (Y[i] - cy);
    dU[2 * i + 1] -= ty + w * (X[i] - cx);
  }
}

struct PassResult {
  double adp = kStartAdp;
  int32_t iterations = 0;
};

// One pass of the pre-unfolding from X = x, Y = y, Zb = 0: iterations with the RELAX
// schedule until one of the exit tests holds, then the closing lines.
PassResult run_pass(const OneStepModel& model, OneStepState& state, const PrescribedMotion& prescribed,
                    const RunSettings& settings, double start_relax, double tol, Reporter& reporter) {
  const Mesh& part = model.part;
  std::copy(part.x.begin(), part.x.end(), state.X.begin());
  std::copy(part.y.begin(), part.y.end(), state.Y.begin());
  std::fill(state.Zb.begin(), state.Zb.end(), 0.0);
  const double solver_factor = cg_solver_factor(part.nn);
  double relax = start_relax, adp = kStartAdp;
  int32_t last_printed = 0, k = 0;
  MembraneMeasures measures;
  const RigidMotionFilter filter = rigid_motion_filter(part, model.held);
  while (true) {
    ++k;
    const double previous_adp = adp;
    const double t = 50.0 * std::sqrt(tol) * solver_factor * std::pow(previous_adp, 0.75);
    if (settings.binder_flag == 1 && model.binder_grid != nullptr) {  // the binder term sets Zb
      binder_heights(model.binder, *model.binder_grid, model.binder_neighbours, model.binder_boundary, true,
                     state.X, state.Y, state.last_binder_element, state.Zb);
    }
    assemble_membrane(model, state, prescribed, k == 1);
    if (k > 1) predict_next_increment(state.cg.x, relax);
    conjugate_gradient(state.k, state.R, t, state.cg, state.dU);
    stop_unless_finite(all_finite(state.dU), settings.message_level, reporter);
    remove_rigid_motion(filter, state.X, state.Y, state.dU);
    adp = displacement_measure(state.dU, state.X, state.Y);
    relax = pre_unfolding_relaxation(adp, relax, settings.max_relax);
    const bool last = pre_unfolding_pass_ends(k, adp, previous_adp, tol);
    if (last) measures = membrane_measures(model, state.X, state.Y);  // of the blank this iteration assembled
    for (int32_t i = 0; i < part.nn; ++i) {
      state.X[i] -= relax * state.dU[2 * i];
      state.Y[i] -= relax * state.dU[2 * i + 1];
    }
    if (k % kPrintInterval == 1) {
      reporter.both(unfolding_progress_line(k, adp, relax));
      last_printed = k;
    }
    if (last) break;
  }
  if (last_printed != k) reporter.both(unfolding_progress_line(k, adp, relax));
  reporter.both(fortran::ListRecord().text("AAL=").real(measures.aal).text("   AANL=").real(measures.aanl).str());
  return {adp, k};
}

void report_restart(const RunSettings& settings, Reporter& reporter) {
  if (settings.message_level != 2) return;
  reporter.message(settings.binder_flag == 1 ? "....... For complicated binder surface, start a new iteration ......."
                                             : "....... Start a new iteration .......");
  reporter.blank();
}

void report_failure(const RunSettings& settings, Reporter& reporter) {
  if (settings.message_level != 2) return;
  if (settings.binder_flag == 1) {
    reporter.message("******* TREVO failed due to complicated ");
    reporter.message("         binder surface *******");
  } else {
    reporter.message("******* TREVO failed due to model orientation.");
    reporter.message("         Tip the part and try again *******.");
  }
}

}  // namespace

MembraneMeasures membrane_measures(const OneStepModel& model, std::span<const double> X, std::span<const double> Y) {
  MembraneMeasures measures;
  for (int32_t e = 0; e < model.part.ne; ++e) {
    measures.aal += 4.0 * element_geometry(model.geometry, model.part, e).area;
    measures.aanl += 4.0 * blank_area(model.part, e, X, Y);
  }
  return measures;
}

void assemble_membrane(const OneStepModel& model, OneStepState& state, const PrescribedMotion& prescribed,
                       bool first_iteration) {
  const Mesh& part = model.part;
  std::fill(state.R.begin(), state.R.end(), 0.0);
  std::fill(state.k.value.begin(), state.k.value.end(), 0.0);
  for_elements_of_owned_nodes(part, model.threads, [&](int32_t e, int corners, OwnedNodes own) {
    const ElementGeometry g = element_geometry(model.geometry, part, e);
    BlankCorners blank;
    for (int k = 0; k < corners; ++k) {
      blank.X[k] = state.X[part.node(e, k)];
      blank.Y[k] = state.Y[part.node(e, k)];
    }
    CorotationalMembrane m = corotational_membrane(g, kMembraneModulus, model.h0[e], blank);
    // The blank moves by X -= RELAX dU (the one-step iteration's convention), so K dU = R
    // takes R = -(restoring force): dU is minus the move that restores the shapes.
    for (int k = 0; k < corners; ++k) {
      const int32_t node = part.node(e, k);
      if (!own.contains(node)) continue;
      state.R[2 * static_cast<std::size_t>(node)] -= m.restoring[2 * k];
      state.R[2 * static_cast<std::size_t>(node) + 1] -= m.restoring[2 * k + 1];
    }
    constrain_element_matrix(part, e, model.held, m.stiffness);
    symmetrise_element_matrix(element_dofs(part, e), m.stiffness);
    add_owned_rows(part, e, corners, own, model.scatter, m.stiffness, state.k.value);
  });
  unit_zero_diagonals(state.k);
  constrain_residual(model.held, state.R);
  prescribe(prescribed.x_nodes, prescribed.x_values, 0, first_iteration, state.k, state.R);
  prescribe(prescribed.y_nodes, prescribed.y_values, 1, first_iteration, state.k, state.R);
}

double pre_unfold(const OneStepModel& model, OneStepState& state, const PrescribedMotion& prescribed,
                  RunSettings& settings, Reporter& reporter) {
  const double r0 = pre_unfolding_start_relaxation(settings.smallest_nz);
  double tol = 0.5;
  if (settings.method == 0) {
    settings.max_relax = std::min(1.5 * r0, 0.35);
    tol = 0.001;
  }
  PassResult pass = run_pass(model, state, prescribed, settings, r0, tol, reporter);
  if (inverted_element_count(model.part, state.X, state.Y) == 0) return pass.adp;

  report_restart(settings, reporter);
  settings.max_relax *= 0.5;
  // Without a binder RELAX restarts at 0.5 r0; with one it keeps r0.
  const double second_start = settings.binder_flag == 1 ? r0 : 0.5 * r0;
  pass = run_pass(model, state, prescribed, settings, second_start, tol, reporter);
  if (inverted_element_count(model.part, state.X, state.Y) > 0) {
    report_failure(settings, reporter);
    settings.iteration_limit = 0;
    settings.method = 0;
  }
  return pass.adp;
}

}  // namespace trevo
