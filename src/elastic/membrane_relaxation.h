// Relaxation of the unfolded blank with the uniform linear-elastic membrane (modulus
// 10000, Poisson's ratio 0.5, unit thickness): after every unfolding stage over the
// region unfolded so far, and at the end over the whole blank when CONTRATX / CONTRATY
// lines prescribe node positions. 0-based nodes; node i owns equations 2i (X), 2i+1 (Y).
#pragma once
#include <cstdint>
#include <span>

#include "core/mesh.h"
#include "core/reporter.h"
#include "solver/assembly.h"
#include "solver/conjugate_gradient.h"
#include "solver/csr.h"
#include "solver/element_geometry.h"

namespace trevo {

// The method's own equation system over the whole part: pattern built once, values
// refilled at every iteration through the scatter map.
struct ElasticSystem {
  Mesh part;
  CsrMatrix k;
  std::span<const int32_t> scatter;           // 20 ne
  NodeConstraints held;                       // nn each, all 0: prescribed rows are set by final_relaxation
  std::span<double> R, dU;                    // 2 nn
  CgVectors cg;                               // 2 nn each
};

// One prescribed equation: its outstanding displacement (mm) still to be applied.
struct PrescribedDisplacement {
  int32_t equation = 0;
  double outstanding = 0.0;
};

// Controls of one stage relaxation: the relaxation it starts with and its cap.
struct StageControls {
  double start_relax = 0.6;
  double relax_cap = 1.0;
};

struct RelaxationOutcome {
  int32_t iterations = 0;
  double adp = 0.0;
  bool settled = false;  // an exit test fired (converged, or stopped on a rising ADP)
};

// Assembles the membrane of every element with in_region[e] != 0 (all when in_region is
// empty) at the blank X, Y: R = -(restoring forces), K into system.k, unit diagonals on rows
// no element filled, constrained rows decoupled.
void assemble_elastic_membrane(ElasticSystem& system, std::span<const int32_t> in_region, std::span<const double> X,
                               std::span<const double> Y);

// RELAX of a stage iteration: 1.0 when ADP < 1, 0.6 when ADP < 10, else the previous one;
// never above the cap.
double stage_relaxation_factor(double adp, double previous, double cap);

// The region's relaxation after a stage (at most 20 iterations). The region has no supports
// of its own: support holds three of its degrees of freedom (outstanding 0), which fixes its
// place and turn in the plane and nothing else. Each step is shortened where the membrane's
// energy along the increment has passed its least value (see controlled_step). Progress line
// at the first iteration and at the last; " ******* TREVO calculate ERROR *******" when no exit
// test fires; a solution that is not a number stops the run.
RelaxationOutcome stage_relaxation(ElasticSystem& system, std::span<const int32_t> in_region,
                                   std::span<const int32_t> placed, std::span<const PrescribedDisplacement> support,
                                   std::span<double> X, std::span<double> Y, const StageControls& controls,
                                   int32_t message_level, Reporter& reporter);

// The final relaxation with the prescribed displacements (at most 60 iterations): each
// iteration applies RELAX times the outstanding displacement and keeps (1 - RELAX) of it.
RelaxationOutcome final_relaxation(ElasticSystem& system, std::span<PrescribedDisplacement> prescribed,
                                   std::span<double> X, std::span<double> Y, int32_t message_level, Reporter& reporter);

}  // namespace trevo
