// The one-step iteration: the damped Newton loop that places every part node in
// the blank, composed of the element kernels, tool terms, assembly and solver.
// Spec: Part 4.1 (Algorithms steps 1-12), Part 4.4 (Residual, Matrix), Part 4.5.
// Nodes and elements 0-based; per-equation vectors hold node i's x at 2i, y at 2i+1.
#pragma once
#include <cstdint>
#include <span>

#include "frame/mesh.h"
#include "frame/reporter.h"
#include "frame/settings.h"
#include "solver/assembly.h"
#include "solver/conjugate_gradient.h"
#include "solver/diagnosis.h"
#include "solver/element.h"
#include "solver/tool_terms.h"

namespace trevo {

// What the loop reads and never changes.
struct OneStepModel {
  Mesh part;                                   // x, y, z of the part after positioning (and blend)
  std::span<const ElementGeometry> geometry;   // ne, built from the part once
  std::span<const double> material_table;      // 8 x nm, column-major (Part 4.3)
  int32_t material_count = 1;
  std::span<const int32_t> material;           // ne, 0-based material row
  std::span<const double> h0;                  // ne, initial thickness
  std::span<const int32_t> scatter;            // 64 x ne scatter map into the matrix values
  NodeConstraints held;                        // CONTRATX / CONTRATY nodes
  const SerendipityTables* tables = nullptr;
  RestraintData restraint;                     // Part 5.1
  DrawbeadLines beads;
  // Tool surfaces of the height search (Part 4.5); binder present when binder.ne > 0.
  Mesh binder;
  const PlanGrid* binder_grid = nullptr;
  std::span<const int32_t> binder_neighbours, binder_boundary;
  const PlanGrid* part_grid = nullptr;         // for the holder and pad height (flags on)
  // Threads of the element loops; the results are the same for any count (element_loops.h).
  // 1 by default: on the shared 2-core machine a second thread cost more than it saved
  // (docs/performance.md).
  int32_t threads = 1;
};

// Opt-in figures of the loop's work for benchmarks (bench/solver_bench.cpp): when
// OneStepState::statistics is set, run_one_step adds to them. Trevo never sets it; they
// never enter the arithmetic or the output.
struct LoopStatistics {
  int32_t iterations = 0;
  int64_t cg_steps = 0, line_search_trials = 0;
  double seconds_residual = 0.0;     // steps 1-4: U, coefficients, heights, evaluation, residual
  double seconds_matrix = 0.0;       // the matrix (Part 4.4)
  double seconds_cg = 0.0;           // the solution of K dU = R
  double seconds_line_search = 0.0;  // steps 6-11: ADP, line-search trials, update, print, tests
};

// What the loop changes: the unknowns, the per-element results and work vectors.
struct OneStepState {
  std::span<double> X, Y;                      // nn: blank position (the unknowns)
  std::span<double> Zb, Zh;                    // nn: blank and holder heights
  std::span<double> binder_slope;              // 2 nn: slope of the binder under each node (binder_heights)
  std::span<double> U, dU, R, u_trial;         // 2 nn: displacement, increment, residual, line-search trial
  std::span<double> rhs;                       // 2 nn: right-hand side of the solution (slope_scaled_residual)
  std::span<double> previous_increment;        // 2 nn: dU of the iteration before (count_increment_reversals)
  std::span<double> internal, external;        // 2 nn: force accumulators
  std::span<double> internal_z;                // nn
  std::span<double> kx, ky;                    // nn: stabilisation coefficients (Part 4.1)
  std::span<double> h, epsbar, stress, strain; // ne, ne, 3 ne, 3 ne
  std::span<int32_t> last_binder_element, last_part_element;  // nn
  std::span<int32_t> sticking;                 // nn: 1 once the node's plan displacement reversed (mark_sticking_nodes)
  std::span<int32_t> law_branch, law_crossings;  // ne: secant branch and its changes (count_law_crossings)
  std::span<int32_t> increment_reversals;      // nn: reversals of the node's increment (count_increment_reversals)
  CsrMatrix k;                                 // pattern of Part 3.6, values refilled
  CgVectors cg;                                // x keeps the warm start
  ToolStiffness tool;
  LoopStatistics* statistics = nullptr;        // opt-in, see LoopStatistics
};

// U = (x - X, y - Y) per node (Part 4.1 step 1).
void displacement_vector(const Mesh& part, std::span<const double> X, std::span<const double> Y,
                         std::span<double> U);

// Strains, thicknesses and stresses of every element at the displacement u (Part 4.2).
ThicknessMinimum evaluate_state(const OneStepModel& model, const OneStepState& state, std::span<const double> u);

// Part 4.4 residual at u (from the stresses just evaluated): R and |R|^2, MAXP.
struct ResidualResult {
  double norm_sq = 0.0;
  Maxp maxp;
};
ResidualResult assemble_residual(const OneStepModel& model, const OneStepState& state, std::span<const double> u,
                                 const RunSettings& settings, std::span<double> r);

// Part 4.4 matrix: every element's secant stiffness with the diagonal stabilisation,
// the tool stiffness of its corners, constraints, symmetrisation, into state.k.
void assemble_matrix(const OneStepModel& model, OneStepState& state, const RunSettings& settings);

// What the loop carries from one iteration to the next beyond LoopOutcome (Part 4.1,
// Scalars), so that a loop can be continued where it stopped.
struct LoopState {
  int32_t next_print = 1;
  double adp = 1.0;
  double first_adp = 1.0;
};

// Runs the loop of Part 4.1 from iteration outcome.nn0 and the current X, Y, up to the
// iteration limit. Writes the progress lines; stops the run with
// " ******* TREVO calculation ERROR" on a NaN increment. Returns the stop test that
// ended the loop (1..6, Part 4.1 step 11), or 0 when the iteration limit did.
int run_one_step(const OneStepModel& model, OneStepState& state, const RunSettings& settings, Reporter& reporter,
                 LoopOutcome& outcome, LoopState& loop);

}  // namespace trevo
