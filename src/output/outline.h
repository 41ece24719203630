// Boundary edges of a mesh, their chaining into outline loops, and the line-data outline file.
// The line-data records are shared with the feature-line file, the loops with the post file.
// Node and element indices are 0-based; files show them +1. Coordinates in mm.
#pragma once
#include <cstdint>
#include <ostream>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/frame_transform.h"
#include "core/mesh.h"

namespace trevo {

// One entry per element edge without a neighbour, in element order, then edge order.
struct BoundaryEdges {
  std::vector<int32_t> first, second;  // 0-based node indices, equal lengths
};

// neighbours: ne x 4, column-major (neighbours[k * ne + e] = element across edge k of e,
// kNone on the boundary). Edge k joins corners k and k+1 (the last corner to
// corner 0); the corner count comes from mesh.corners, or from the connectivity when empty.
BoundaryEdges extract_boundary_edges(const Mesh& mesh, std::span<const int32_t> neighbours);

// The boundary edges chained into loops: each loop starts at the first unused edge of the
// list and follows, from its current node, the first unused edge starting there, until it
// closes or ends open; the node of every point in writing order. A closed loop ends with
// its start node again; an open loop ends with its open end. Loop i holds
// points[begin[i] .. begin[i+1]). Every point of a loop but its last counts towards the
// 500-point rule of the line format.
struct OutlineLoops {
  std::vector<int32_t> points;     // 0-based node indices
  std::vector<int32_t> begin{0};   // loop count + 1 offsets into points
  int32_t loop_count() const { return static_cast<int32_t>(begin.size()) - 1; }
  std::span<const int32_t> loop(int32_t i) const {
    return std::span<const int32_t>(points).subspan(static_cast<size_t>(begin[i]),
                                                    static_cast<size_t>(begin[i + 1] - begin[i]));
  }
};

// Linear-time equivalent of repeated scans for the "first unused edge": the edges are
// bucketed by first node in list order and each bucket and the list itself
// are walked by a cursor that only moves past used edges, which gives the same choice.
OutlineLoops chain_outline(const BoundaryEdges& edges);

// Header 2 of an outline file.
inline constexpr std::string_view kFlatOutlineTitle = "PART OUTLINE";   // <base>.lin
inline constexpr std::string_view kBinderOutlineTitle = "PART OUTLN3D"; // <base>_3D.lin
inline constexpr int kPointsPerLine = 500;                              // then a continuation line

// Writes header 1, the given header 2 and the loops as lines, with x, y, z (nn each,
// working frame) moved into the input frame on a copy (output/input_frame.h).
// The 500-point counter restarts at every loop, so a loop of fewer than 500 counted points
// is always one line; only longer loops get continuation lines, each starting with the
// previous line's last point. No edges: the two headers and one line header ("LINE      1").
void write_outline(std::ostream& out, std::string_view title, const OutlineLoops& loops,
                   std::span<const double> x, std::span<const double> y, std::span<const double> z,
                   const FrameTransform& transform);

// Line-data records shared with the feature-line file.
inline constexpr std::string_view kLineDataHeader = "ZOKA DATA (LARGE)";
std::string line_header_record(int32_t line_number);               // "LINE" + I7 (1-based number)
std::string point_record(double x, double y, double z);            // 3 x (4X, E16.9)

}  // namespace trevo
