// The one-step iteration: the damped Newton loop that places every part node in
// the blank, composed of the element kernels, tool terms, assembly and solver.
// Each iteration: U from the blank, stabilisation coefficients, tool heights, element evaluation,
// residual and matrix, solution, ADP, line search, update X -= RELAX dU, progress line, inversion
// check, stop tests. Nodes and elements 0-based; per-equation vectors hold node i's x at 2i, y at 2i+1.
#pragma once
#include <cstdint>
#include <functional>
#include <span>
#include <vector>

#include "core/mesh.h"
#include "core/reporter.h"
#include "core/settings.h"
#include "solver/assembly.h"
#include "solver/conjugate_gradient.h"
#include "solver/diagnosis.h"
#include "solver/element.h"
#include "solver/iteration_control.h"
#include "solver/tool_terms.h"

namespace trevo {

// What the loop reads and never changes.
struct OneStepModel {
  Mesh part;                                   // x, y, z of the part after positioning (and blend)
  // ne records built from the part, or none for a large part, whose element geometry is formed
  // from the part at each evaluation (geometry_record_count).
  std::span<const ElementGeometry> geometry;
  std::span<const double> material_table;      // 8 x nm, column-major (material.h)
  int32_t material_count = 1;
  std::span<const int32_t> material;           // ne, 0-based material row
  std::span<const double> h0;                  // ne, initial thickness
  std::span<const int32_t> scatter;            // 20 x ne scatter map into the matrix values
  std::span<const int32_t> neighbours;         // 4 x ne across each edge (topology.h), kNone on a free edge
  NodeConstraints held;                        // CONTRATX / CONTRATY nodes
  const SerendipityTables* tables = nullptr;
  RestraintData restraint;                     // left by the restraint set-up
  DrawbeadLines beads;
  // Tool surfaces of the height search; binder present when binder.ne > 0.
  Mesh binder;
  const PlanGrid* binder_grid = nullptr;
  std::span<const int32_t> binder_neighbours, binder_boundary;
  const PlanGrid* part_grid = nullptr;         // for the holder and pad height (flags on)
  // Threads of the element loops; the results are the same for any count (element_loops.h).
  // trevo sets it from OMP_NUM_THREADS or the usable cores (driver/thread_count.h).
  int32_t threads = 1;
  // Forcing term η of the solution (CgStop::relative): besides the tolerance from ADP and the
  // node count, each increment answers its residual to a fraction η (docs/convergence.md).
  double cg_forcing = kCgForcing;
};

// Opt-in figures of the loop's work for benchmarks (bench/solver_bench.cpp): when
// OneStepState::statistics is set, run_one_step adds to them. Trevo never sets it; they
// never enter the arithmetic or the output.
struct IterationRecord {
  int32_t nn0 = 0, cg_steps = 0, line_search_trials = 0;
  double cg_relative = 0.0;  // sqrt(ρ / ρ_R) the solution reached
  double adp = 0.0, maxp = 0.0, relax = 0.0;
};
struct LoopStatistics {
  bool record_iterations = false;        // fill per_iteration (one more sweep per solution)
  std::vector<IterationRecord> per_iteration;
  int32_t iterations = 0;
  int64_t cg_steps = 0, line_search_trials = 0;
  double seconds_residual = 0.0;     // U, coefficients, heights, evaluation, residual
  double seconds_matrix = 0.0;       // the matrix
  double seconds_cg = 0.0;           // the solution of K dU = R
  double seconds_line_search = 0.0;  // ADP, line-search trials, update, print, tests
};

// What the loop changes: the unknowns, the per-element results and work vectors.
struct OneStepState {
  std::span<double> X, Y;                      // nn: blank position (the unknowns)
  std::span<double> Zb, Zh;                    // nn: blank and holder heights
  std::span<double> binder_slope;              // 2 nn: slope of the binder under each node (binder_heights)
  std::span<double> U, dU;                     // 2 nn: displacement (a line-search trial's while it runs), increment
  std::span<double> R;                         // 2 nn: residual, scaled in place into the solution's right-hand side
  std::span<double> previous_increment;        // 2 nn: dU of the iteration before (count_increment_reversals)
  std::span<double> internal, external;        // 2 nn: force accumulators
  std::span<double> internal_z;                // nn
  std::span<double> kx, ky;                    // nn: stabilisation coefficients
  std::span<double> h, epsbar, stress, strain; // ne, ne, 3 ne, 3 ne
  std::span<int32_t> last_binder_element, last_part_element;  // nn
  std::span<int32_t> sticking;                 // nn: 1 once the node's plan displacement reversed (mark_sticking_nodes)
  std::span<int32_t> law_branch, law_crossings;  // ne: secant branch and its changes (count_law_crossings)
  std::span<int32_t> law_form;  // ne: the form of the law each element is evaluated with (law_forms)
  std::span<int32_t> increment_reversals;      // nn: reversals of the node's increment (count_increment_reversals)
  CsrMatrix k;                                 // node-adjacency pattern, values refilled
  CgVectors cg;                                // x keeps the warm start
  ToolStiffness tool;
  LoopStatistics* statistics = nullptr;        // opt-in, see LoopStatistics
  // Opt-in observer, called once per iteration after the update with NN0 and the iteration's
  // ADP, RELAX and MAXP (the run summary's history). It never enters the arithmetic; it may
  // end the run by throwing between iterations (an interruption).
  std::function<void(int32_t nn0, const ProgressValues& values)> after_iteration;
};

// U = (x - X, y - Y) per node.
void displacement_vector(const Mesh& part, std::span<const double> X, std::span<const double> Y,
                         std::span<double> U);

// Strains, thicknesses and stresses of every element at the displacement u (branch: see evaluate_elements).
ThicknessMinimum evaluate_state(const OneStepModel& model, const OneStepState& state, std::span<const double> u,
                                std::span<const int32_t> branch = {});

// Residual at u (from the stresses just evaluated): R = restraint and contact forces - internal forces,
// held components zeroed; |R|^2 and MAXP.
struct ResidualResult {
  double norm_sq = 0.0;
  Maxp maxp;
};
ResidualResult assemble_residual(const OneStepModel& model, const OneStepState& state, std::span<const double> u,
                                 const RunSettings& settings, std::span<double> r);

// Matrix: every element's secant stiffness with the diagonal stabilisation,
// the tool stiffness of its corners, constraints, symmetrisation, into state.k.
void assemble_matrix(const OneStepModel& model, OneStepState& state, const RunSettings& settings);

// What the loop carries from one iteration to the next beyond LoopOutcome, so that a
// loop can be continued where it stopped.
struct LoopState {
  int32_t next_print = 1;
  double adp = 1.0;
  double first_adp = 1.0;
  StepAcceptance acceptance;
};

// Runs the loop from iteration outcome.nn0 and the current X, Y, up to the iteration
// limit. Writes the progress lines (iterations 1, 21, 41, ...); stops the run with
// " ******* TREVO calculation ERROR" on a residual, MAXP, increment or ADP that is not
// finite. Returns the stop test that ended the loop (1..6, stop_test), or 0 when the
// iteration limit did (NN0 then one above it).
int run_one_step(const OneStepModel& model, OneStepState& state, const RunSettings& settings, Reporter& reporter,
                 LoopOutcome& outcome, LoopState& loop);

}  // namespace trevo
