// The blank mesh as Nastran bulk data, and the feature lines on the blank as line data.
// Node and element indices are 0-based (written +1); lengths in mm.
#pragma once
#include <cstdint>
#include <ostream>
#include <span>

#include "core/frame_transform.h"
#include "core/mesh.h"
#include "core/local_time.h"

namespace trevo {

// blank: x = u, y = v (the blank's plane coordinates), z = the blank's per-node z, all
// in the working frame; they are written in the input frame (moved on a copy). An
// element is a CTRIA3 when its fourth corner equals its third or is kNone, else a
// CQUAD4. time: the moment of writing, hour 0-23 (local_time_now()).
void write_blank_mesh(std::ostream& out, const Mesh& blank, const FrameTransform& transform,
                      const LocalTime& time);

// The feature lines: line i has node_counts[i] nodes, listed one line after the other
// in nodes (0-based node indices; an index outside 0..nn-1, a node the mesh reader
// dropped as unused, is left out). u, v, z: nn each, working frame, written in the input frame.
void write_feature_lines(std::ostream& out, std::span<const double> u, std::span<const double> v,
                         std::span<const double> z, const FrameTransform& transform,
                         std::span<const int32_t> node_counts, std::span<const int32_t> nodes);

}  // namespace trevo
