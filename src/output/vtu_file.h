// The formed part as a VTK XML unstructured grid (<base>.vtu), the file ParaView and other
// VTK-based viewers open: the part's nodes in the frame of the input, quadrilateral and
// triangular cells, the element results as cell data and the flat blank as a point vector.
// ASCII data arrays; every real is written in its shortest exact decimal form, so a reader
// gets back the very doubles the run held. Indices 0-based; the file's connectivity too.
#pragma once
#include <ostream>
#include <span>
#include <vector>

#include "core/frame_transform.h"
#include "core/mesh.h"
#include "output/dynain.h"

namespace trevo {

// Cell data of the formed part, ne each in element order (the dynain file's order).
struct FormedPartFields {
  std::span<const double> thickness;          // h, mm
  std::span<const double> initial_thickness;  // h0, mm; thinning = 1 - h / h0 (a fraction)
  std::span<const double> major_strain, minor_strain;  // principal in-plane true strains
  std::span<const double> stress;             // 6 ne: per element XX, YY, ZZ, XY, YZ, XZ (N/mm^2)
  std::span<const double> equivalent_stress;  // N/mm^2, the hardening law at the equivalent strain
};

// The global stress tensors of every element in the frame of the input, 6 per element in
// VTK's symmetric-tensor order XX, YY, ZZ, XY, YZ, XZ: the local tensor of each element
// (its in-plane components and axes e1, e2 in the working frame) turned by C = R^T A R
// with the axes first turned back out of the drawing attitude (tipping only: the
// levelling offset moves points, not directions).
std::vector<double> input_frame_tensors(const LocalTensors& local, int32_t ne, const FrameTransform& transform);

// part: the formed part (x, y, z working frame, moved into the input frame on a copy;
// conn 4 x ne column-major, a triangle repeats its third corner or has kNone as its
// fourth); blank_x, blank_y: nn, the flat blank's plane coordinates, written as the
// point vector "blank" = (X, Y, 0).
void write_vtu(std::ostream& out, const Mesh& part, const FrameTransform& transform, const FormedPartFields& fields,
               std::span<const double> blank_x, std::span<const double> blank_y);

}  // namespace trevo
