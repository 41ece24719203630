// Stage and final relaxations of the elastic approximation method.
#include "elastic/membrane_relaxation.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "core/run_stop.h"
#include "restraint/corotational_membrane.h"
#include "restraint/unfolding_schedule.h"
#include "solver/iteration_control.h"

namespace trevo {

namespace {

constexpr double kModulus = 10000.0;  // D11 = 13333.33, D12 = 6666.67, D33 = 3333.33
constexpr double kThickness = 1.0;    // a uniform membrane: only the shape of the blank counts
constexpr int32_t kStageIterations = 20;
constexpr int32_t kFinalIterations = 60;
constexpr double kSettled = 0.002;

// Solver tolerance from the previous ADP, as the binder-surface calculation takes it with
// DEPS 1.0E-4 (100 sqrt(DEPS) = 1): looser while the blank still moves a lot. Capped at
// ADP 100000 so that the first solution, whose previous ADP is the start value 1.0E80,
// is still solved, and held above 1.0E-12 so that a region already in balance (a residual
// of exactly zero) ends the solution at once instead of dividing zero by zero.
double solver_tolerance(double factor, double previous_adp) {
  return factor * std::pow(std::clamp(previous_adp, 1.0e-12, 100000.0), 0.75);
}

bool not_a_number(std::span<const double> v) {
  return std::any_of(v.begin(), v.end(), [](double d) { return std::isnan(d); });
}

[[noreturn]] void calculation_error(int32_t message_level, Reporter& reporter) {
  if (message_level == 2) reporter.message("******* TREVO calculation ERROR");
  stop_run();
}

// dU -= t + w x (X - c) over the placed nodes: the least-squares translation and turn of
// the increment about the centroid of the region taken out, so that the unsupported region
// neither drifts nor turns from one iteration to the next (its forces balance in force and
// moment, so no balance changes).
void remove_rigid_motion(std::span<const int32_t> placed, std::span<const double> X, std::span<const double> Y,
                         std::span<double> dU) {
  const size_t nn = X.size();
  double count = 0.0, cx = 0.0, cy = 0.0, tx = 0.0, ty = 0.0;
  for (size_t i = 0; i < nn; ++i)
    if (placed[i] != 0) count += 1.0, cx += X[i], cy += Y[i], tx += dU[2 * i], ty += dU[2 * i + 1];
  if (count == 0.0) return;
  cx /= count, cy /= count, tx /= count, ty /= count;
  double moment = 0.0, inertia = 0.0;
  for (size_t i = 0; i < nn; ++i) {
    if (placed[i] == 0) continue;
    const double rx = X[i] - cx, ry = Y[i] - cy;
    moment += rx * (dU[2 * i + 1] - ty) - ry * (dU[2 * i] - tx);
    inertia += rx * rx + ry * ry;
  }
  const double w = inertia > 0.0 ? moment / inertia : 0.0;
  for (size_t i = 0; i < nn; ++i) {
    if (placed[i] == 0) continue;
    dU[2 * i] -= tx - w * (Y[i] - cy);
    dU[2 * i + 1] -= ty + w * (X[i] - cx);
  }
}

// ADP over the placed nodes: sum of dU^2 over the diagonal of their bounding rectangle.
double region_adp(std::span<const int32_t> placed, std::span<const double> dU, std::span<const double> X,
                  std::span<const double> Y) {
  double sum = 0.0, x0 = 1e300, x1 = -1e300, y0 = 1e300, y1 = -1e300;
  for (size_t i = 0; i < X.size(); ++i) {
    if (placed[i] == 0) continue;
    sum += dU[2 * i] * dU[2 * i] + dU[2 * i + 1] * dU[2 * i + 1];
    x0 = std::min(x0, X[i]), x1 = std::max(x1, X[i]), y0 = std::min(y0, Y[i]), y1 = std::max(y1, Y[i]);
  }
  if (x1 < x0) return 0.0;
  return sum / (std::sqrt((x1 - x0) * (x1 - x0) + (y1 - y0) * (y1 - y0)) + 1e-50);
}

// The outstanding displacements p as known values of the increment (dU_j = -p_j, a move of
// +p_j): their columns go to the right-hand side of every other row (R_i -= K_ij dU_j), so
// that the whole blank follows the held nodes in the same solution, then their rows and
// columns are decoupled (R_j = K_jj dU_j). Applied through the rows alone (a decoupled row
// without its column moved over), every held node would drag the blank after it one
// iteration late, and a blank that must follow as a whole would read as diverging.
void apply_prescribed(std::span<const PrescribedDisplacement> prescribed, CsrMatrix& k, std::span<double> r) {
  if (prescribed.empty()) return;
  std::vector<char> held(static_cast<size_t>(k.neq), 0);
  std::vector<double> known(static_cast<size_t>(k.neq), 0.0);
  for (const PrescribedDisplacement& p : prescribed) held[p.equation] = 1, known[p.equation] = -p.outstanding;
  for (int32_t i = 0; i < k.neq; ++i) {
    if (held[i] != 0) continue;
    for (int32_t q = k.row_start[i]; q < k.row_start[i + 1]; ++q) {
      if (held[k.column[q]] == 0) continue;
      r[i] -= k.value[q] * known[k.column[q]];
      k.value[q] = 0.0;
    }
  }
  for (const PrescribedDisplacement& p : prescribed) {
    const int32_t j = p.equation;
    for (int32_t q = k.row_start[j]; q < k.row_start[j + 1]; ++q)
      if (q != k.diagonal[j]) k.value[q] = 0.0;
    r[j] = k.value[k.diagonal[j]] * known[j];
  }
}

void solve(ElasticSystem& system, double previous_adp) {
  std::fill(system.cg.x.begin(), system.cg.x.end(), 0.0);  // no warm start: no rigid drift carried over
  conjugate_gradient(system.k, system.R, solver_tolerance(cg_solver_factor(system.part.nn), previous_adp), system.cg,
                     system.dU);
}

void move(std::span<const double> dU, double relax, std::span<double> X, std::span<double> Y) {
  for (size_t i = 0; i < X.size(); ++i) X[i] -= relax * dU[2 * i], Y[i] -= relax * dU[2 * i + 1];
}

}  // namespace

void assemble_elastic_membrane(ElasticSystem& system, std::span<const int32_t> in_region, std::span<const double> X,
                               std::span<const double> Y) {
  const Mesh& part = system.part;
  std::fill(system.R.begin(), system.R.end(), 0.0);
  std::fill(system.k.value.begin(), system.k.value.end(), 0.0);
  for (int32_t e = 0; e < part.ne; ++e) {
    if (!in_region.empty() && in_region[e] == 0) continue;
    const ElementGeometry& g = system.geometry[e];
    BlankCorners corners;
    for (int c = 0; c < g.corners; ++c) corners.X[c] = X[part.node(e, c)], corners.Y[c] = Y[part.node(e, c)];
    CorotationalMembrane m = corotational_membrane(g, kModulus, kThickness, corners);
    for (double& f : m.restoring) f = -f;  // K dU = R with the blank moving by X -= RELAX dU
    gather_element_forces(part, e, std::span<const double, kElementDofs>(m.restoring.data(), kElementDofs), system.R);
    assemble_element_matrix(part, e, system.held, system.scatter, m.stiffness, system.k.value);
  }
  unit_zero_diagonals(system.k);
  constrain_residual(system.held, system.R);
}

double stage_relaxation_factor(double adp, double previous, double cap) {
  const double relax = adp < 1.0 ? 1.0 : adp < 10.0 ? 0.6 : previous;
  return std::min(relax, cap);
}

RelaxationOutcome stage_relaxation(ElasticSystem& system, std::span<const int32_t> in_region,
                                   std::span<const int32_t> placed, std::span<double> X, std::span<double> Y,
                                   const StageControls& controls, int32_t message_level, Reporter& reporter) {
  RelaxationOutcome out;
  double relax = controls.start_relax, adp = 1.0e80, previous = 1.0e80;
  int32_t printed = 0;
  for (int32_t k = 1; k <= kStageIterations; ++k) {
    assemble_elastic_membrane(system, in_region, X, Y);
    solve(system, adp);
    if (not_a_number(system.dU)) calculation_error(message_level, reporter);
    remove_rigid_motion(placed, X, Y, system.dU);
    previous = adp;
    adp = region_adp(placed, system.dU, X, Y);
    relax = stage_relaxation_factor(adp, relax, controls.relax_cap);
    move(system.dU, relax, X, Y);
    out.iterations = k, out.adp = adp;
    if (k == 1) reporter.both(unfolding_progress_line(k, adp, relax)), printed = k;
    if ((k >= 3 && adp < kSettled) || (k >= 2 && adp > 3.0 * previous)) {
      out.settled = true;
      break;
    }
  }
  if (printed != out.iterations) reporter.both(unfolding_progress_line(out.iterations, adp, relax));
  if (!out.settled && message_level == 2) reporter.message("******* TREVO calculate ERROR *******");
  return out;
}

RelaxationOutcome final_relaxation(ElasticSystem& system, std::span<PrescribedDisplacement> prescribed,
                                   std::span<double> X, std::span<double> Y, int32_t message_level, Reporter& reporter) {
  RelaxationOutcome out;
  double relax = 0.3, adp = 1.0e80, first_adp = 0.0;
  int32_t printed = 0;
  bool diverged = false;
  for (int32_t k = 1; k <= kFinalIterations; ++k) {
    assemble_elastic_membrane(system, {}, X, Y);
    apply_prescribed(prescribed, system.k, system.R);
    solve(system, adp);
    if (std::isnan(system.dU[0])) calculation_error(message_level, reporter);
    adp = displacement_measure(system.dU, X, Y);
    if (k == 1) first_adp = adp;
    if (adp < 100.0) relax = adp >= 60.0 ? 0.5 : adp >= 20.0 ? 0.75 : 1.0;
    move(system.dU, relax, X, Y);
    for (PrescribedDisplacement& p : prescribed) p.outstanding *= 1.0 - relax;
    out.iterations = k, out.adp = adp;
    if (k == 1 || k == 21 || k == 41) reporter.both(unfolding_progress_line(k, adp, relax)), printed = k;
    if (relax >= 0.999 && adp < kSettled && (k >= 48 || adp < 0.0001)) {
      out.settled = true;
      break;
    }
    if (k >= 2 && adp > 2.5 * first_adp) {
      diverged = true;
      break;
    }
  }
  if (diverged && message_level == 2) {
    reporter.message("******* Failed to complete solution *******");
    reporter.blank();
  }
  if (printed != out.iterations) reporter.both(unfolding_progress_line(out.iterations, adp, relax));
  return out;
}

}  // namespace trevo
