// Stage and final relaxations of the elastic approximation method.
#include "elastic/membrane_relaxation.h"

#include <algorithm>
#include <cmath>
#include <vector>

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
constexpr int32_t kStepCuts = 4;  // shortenings of one stage step

// Solver tolerance from the previous ADP, as the binder-surface calculation takes it with
// DEPS 1.0E-4 (100 sqrt(DEPS) = 1): looser while the blank still moves a lot. Capped at
// ADP 100000 so that the first solution, whose previous ADP is the start value 1.0E80,
// is still solved, and held above 1.0E-12 so that a region already in balance (a residual
// of exactly zero) ends the solution at once instead of dividing zero by zero.
double solver_tolerance(double factor, double previous_adp) {
  return factor * std::pow(std::clamp(previous_adp, 1.0e-12, 100000.0), 0.75);
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
  // Each stored pair (i, j), j > i, stands for K(i,j) and K(j,i): a held j moves its column over in
  // row i, a held i in row j. The rows taken in ascending order, every row's right-hand side gets
  // its terms in ascending column order.
  for (int32_t i = 0; i < k.neq; ++i) {
    for (int32_t q = k.diagonal[i] + 1; q < k.row_start[i + 1]; ++q) {
      const int32_t j = k.column_of(i, q);
      if (held[i] == 0 && held[j] == 0) continue;
      if (held[i] == 0) r[i] -= k.value[q] * known[j];
      if (held[j] == 0) r[j] -= k.value[q] * known[i];
      k.value[q] = 0.0;
    }
  }
  for (const PrescribedDisplacement& p : prescribed) r[p.equation] = k.value[k.diagonal[p.equation]] * known[p.equation];
}

void solve(ElasticSystem& system, double previous_adp) {
  std::fill(system.cg.x.begin(), system.cg.x.end(), 0.0);  // no warm start: no rigid drift carried over
  conjugate_gradient(system.k, system.R, solver_tolerance(cg_solver_factor(system.part.nn), previous_adp), system.cg,
                     system.dU);
}

void move(std::span<const double> dU, double relax, std::span<double> X, std::span<double> Y) {
  for (size_t i = 0; i < X.size(); ++i) X[i] -= relax * dU[2 * i], Y[i] -= relax * dU[2 * i + 1];
}

double dot(std::span<const double> a, std::span<const double> b) {
  double sum = 0.0;
  for (size_t i = 0; i < a.size(); ++i) sum += a[i] * b[i];
  return sum;
}

// Moves the region by RELAX along the increment and assembles it there, shortening the
// step where the membrane's energy along the increment has passed its least value by
// more than half the step. R is the energy's gradient and dU a descent direction (K is
// positive semi-definite), so the slope along the step is -R(X - a dU).dU: positive at
// a = 0, zero at the least energy. A step that reverses more than half that slope lands
// beyond twice the least point's distance, where the energy is higher than before
// (exactly so for a quadratic); such a step is cut to the secant estimate of the least
// point. Without the cut, a region whose membrane is stiffer along the increment than K
// says (elements strained far from their part shape) swings back and forth by the same
// step at every iteration and never settles. Returns the RELAX taken.
double controlled_step(ElasticSystem& system, std::span<const int32_t> in_region, double relax,
                       std::span<double> X, std::span<double> Y) {
  const double start_slope = dot(system.R, system.dU);
  move(system.dU, relax, X, Y);
  assemble_elastic_membrane(system, in_region, X, Y);
  for (int cut = 0; cut < kStepCuts; ++cut) {
    const double slope = dot(system.R, system.dU);
    if (!(start_slope > 0.0) || slope >= -0.5 * start_slope) break;
    const double shorter = relax * start_slope / (start_slope - slope);
    move(system.dU, shorter - relax, X, Y);
    relax = shorter;
    assemble_elastic_membrane(system, in_region, X, Y);
  }
  return relax;
}

}  // namespace

void assemble_elastic_membrane(ElasticSystem& system, std::span<const int32_t> in_region, std::span<const double> X,
                               std::span<const double> Y) {
  const Mesh& part = system.part;
  std::fill(system.R.begin(), system.R.end(), 0.0);
  std::fill(system.k.value.begin(), system.k.value.end(), 0.0);
  for (int32_t e = 0; e < part.ne; ++e) {
    if (!in_region.empty() && in_region[e] == 0) continue;
    // Taken from the part each time rather than stored: it costs a fraction of the membrane's
    // own work, and a whole-part relaxation then needs no geometry record per element.
    const ElementGeometry g = element_geometry(part, e);
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
                                   std::span<const int32_t> placed, std::span<const PrescribedDisplacement> support,
                                   std::span<double> X, std::span<double> Y, const StageControls& controls,
                                   int32_t message_level, Reporter& reporter) {
  RelaxationOutcome out;
  double relax = controls.start_relax, adp = 1.0e80, previous = 1.0e80;
  int32_t printed = 0;
  assemble_elastic_membrane(system, in_region, X, Y);
  for (int32_t k = 1; k <= kStageIterations; ++k) {
    apply_prescribed(support, system.k, system.R);
    solve(system, adp);
    stop_unless_finite(all_finite(system.dU), message_level, reporter);
    previous = adp;
    adp = region_adp(placed, system.dU, X, Y);
    relax = controlled_step(system, in_region, stage_relaxation_factor(adp, relax, controls.relax_cap), X, Y);
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
    stop_unless_finite(all_finite(system.dU), message_level, reporter);
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
