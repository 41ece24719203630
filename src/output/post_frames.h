// The post file's frame records (model, blank coordinates, element results) and its closing
// result and outline records: one frame per stage of the run, then the run's results.
// Unformatted records through fortran/records.h: 9-character keyword, I4 integers, R4 reals.
// Indices 0-based, written +1.
#pragma once
#include <cstdint>
#include <ostream>
#include <span>
#include <vector>

#include "core/frame_transform.h"
#include "core/mesh.h"
#include "output/blank_summary.h"
#include "output/outline.h"

namespace trevo {

// The seven element results of a "SHETQUAD " record, in record order, ne each: the
// quantities a forming post-processor plots: thickness, thinning and the three principal
// logarithmic strains (the thickness strain completes the major/minor pair for
// forming-limit and thinning plots), then the equivalent strain and stress of the material law.
struct ElementResults {
  std::span<const double> thickness;          // h = h0 / (lambda1 lambda2), mm
  std::span<const double> thinning;           // (h0 - h) / h0 * 100, percent
  std::span<const double> major_strain;       // ln(lambda1), larger in-plane principal strain
  std::span<const double> minor_strain;       // ln(lambda2)
  std::span<const double> thickness_strain;   // eps3 = -(major + minor) (incompressibility)
  std::span<const double> equivalent_strain;  // eps-bar of the anisotropic material law
  std::span<const double> equivalent_stress;  // K (eps0 + eps-bar)^n, the hardening law
};

// Owning columns for ElementResults, derived from the final evaluation's data.
struct ElementResultColumns {
  std::vector<double> thickness, thinning, major_strain, minor_strain, thickness_strain, equivalent_strain,
      equivalent_stress;
  ElementResults view() const {
    return {thickness, thinning, major_strain, minor_strain, thickness_strain, equivalent_strain, equivalent_stress};
  }
};
// thickness, initial_thickness, exx, eyy, exy (local, tensor shear), equivalent strain and
// stress: ne each. Principal strains are the eigenvalues of [[exx, exy], [exy, eyy]].
ElementResultColumns element_results(std::span<const double> thickness, std::span<const double> initial_thickness,
                                     std::span<const double> exx, std::span<const double> eyy,
                                     std::span<const double> exy, std::span<const double> equivalent_strain,
                                     std::span<const double> equivalent_stress);

// A contour table (CONTRATX or CONTRATY): per row an integer and a real.
struct ContourTable {
  std::span<const int32_t> integers;
  std::span<const double> reals;  // same length
};

// One frame: FRAMENUM, FRAMECOL, STROKE, the CONTRATX rows, the CONTRATY rows, one
// SHETQUAD per element and one SHETNODE per node. blank: x = u, y = v, z as given
// (not moved); conn 4 x ne column-major (a fourth corner kNone is written as the third).
void write_frame(std::ostream& out, int32_t frame_number, const Mesh& blank, const ElementResults& results,
                 const ContourTable& x_table, const ContourTable& y_table);

// The six values of the "RESULT   " record after the iteration count: the run's headline
// results, known when the final frame is written (the forces after the iteration, the
// blank summary just before), in this order and type: R4 punch force, R4 blank-holder
// force, R4 blank area, R4 blank weight, R4 least-rectangle area, I4 least-rectangle angle.
struct RunResults {
  int32_t iteration_counter = 1;  // written as the iterations done: counter - 1
  double punch_force = 0.0, blank_holder_force = 0.0;
  BlankSummary summary;
};

// RESULT, OLINECTL, OLINEXYZ (one per outline point), ENDDATA.
// The loops are those of chain_outline, as in the outline files, each written whole (no 500-point continuations: those belong to the .lin format),
// its points in the .lin order including a closed loop's repeated first point.
// OLINECTL holds the loop count and each loop's first point number; points are
// numbered 1, 2, ... across all loops. x, y, z: nn each, working frame, written in
// the input frame (moved on a copy).
void write_outline_records(std::ostream& out, const RunResults& results, const OutlineLoops& loops,
                           std::span<const double> x, std::span<const double> y, std::span<const double> z,
                           const FrameTransform& transform);

}  // namespace trevo
