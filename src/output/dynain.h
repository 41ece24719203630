// The formed part as an LS-DYNA keyword file: nodes, shell thickness, initial stress and strain,
// so that a later forming or springback simulation can start from the formed state.
// Node and element indices are 0-based (written +1); lengths in mm.
// Use: during the final strain evaluation (marker 1) the solver opens a StrainScratch,
// writes write_strain_heading() and then write_element_strain() for each element in
// order; write_dynain() then writes the file and copies the scratch block after the
// stresses; the StrainScratch deletes its file when closed or destroyed.
#pragma once
#include <cstdint>
#include <fstream>
#include <iosfwd>
#include <span>
#include <string>

#include "core/frame_transform.h"
#include "core/mesh.h"

namespace trevo {

// In-plane local components of a symmetric tensor per element with the element's
// local unit axes: all spans ne long, element-indexed (0-based).
struct LocalTensors {
  std::span<const double> xx, yy, xy;   // local frame; xy is the tensor shear
  // Local unit axes e1, e2. The third row and column of A are 0, so e3 drops out of C.
  std::span<const double> e1x, e1y, e1z, e2x, e2y, e2z;
};

// The six global components C11, C22, C33, C12, C23, C31 of C = R^T A R, in LS-DYNA's order,
// R with rows e1, e2, e3 and A = [[xx, xy, 0], [xy, yy, 0], [0, 0, 0]].
struct GlobalTensor {
  double c11, c22, c33, c12, c23, c31;
};
GlobalTensor global_tensor(const LocalTensors& t, int32_t e);

// The strain block is written while the strains are evaluated, before the file itself, and
// copied in after the stresses, where the file carries it. The scratch unit 36 is the file
// "<base>.fort36" (RunFileNames::strain_scratch), opened "unknown" (created or
// truncated), read back by write_dynain and deleted by close() or the destructor,
// so it never survives the writer, even when a run stops early.
class StrainScratch {
 public:
  explicit StrainScratch(std::string path);
  ~StrainScratch();
  StrainScratch(const StrainScratch&) = delete;
  StrainScratch& operator=(const StrainScratch&) = delete;
  std::iostream& stream() { return file_; }
  void close();  // Fortran CLOSE(36, STATUS='DELETE')

 private:
  std::string path_;
  std::fstream file_;
};

// "*INITIAL_STRAIN_SHELL", the heading of the scratch block.
void write_strain_heading(std::ostream& scratch);
// The three strain records of element e (0-based): I10 number, then twice 6 x 1PE10.3.
void write_element_strain(std::ostream& scratch, const LocalTensors& strain, int32_t e);

// The whole file without the closing: *NODE (coordinates moved into the input frame on a
// copy), *ELEMENT_SHELL_THICKNESS, *INITIAL_STRESS_SHELL, the scratch block
// copied from its start record by record, *END.
// mesh: the formed part (x, y, z working frame; conn 4 x ne column-major, a triangle
// repeats its third node; a fourth corner kNone is written as the third);
// thickness, plastic_strain: ne each; stress: local stresses (N/mm^2) and axes.
void write_dynain(std::ostream& out, const Mesh& mesh, std::span<const double> thickness,
                  std::span<const double> plastic_strain, const LocalTensors& stress,
                  const FrameTransform& transform, std::istream& scratch);

}  // namespace trevo
