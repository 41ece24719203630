// Shape fixes of the part mesh, upward tool meshes, and the edge and neighbour tables:
// quadrilateral plane coordinates, corner angles, counting and splitting badly shaped
// quadrilaterals, tool node counts and upward orientation, edge and neighbour tables, and
// element reversal that keeps the neighbour table right.
// All indices are 0-based: nodes 0..nn-1, elements 0..ne-1, corners and local edges 0..3.
// Neighbour table: ne x 4, column-major (entry (e, k) at neighbours[k * ne + e]), kNone on
// the boundary. Edge table: 2 x 4ne entries, slot s = 4e + k holds the nodes of local edge k
// of element e at edges[2s] and edges[2s + 1]; an empty slot holds (kNone, kNone).
#pragma once
#include <array>
#include <cstdint>
#include <span>

#include "core/mesh.h"

namespace trevo {

// Corners of a quadrilateral laid into its own plane: corner 1 at the origin, corner 2 on
// the x axis (x1 = y1 = y2 = 0), y3 >= 0. The same frame as the membrane element's.
struct QuadPlane {
  double x2, x3, y3, x4, y4;
};
QuadPlane quad_plane(const Mesh& m, int32_t e);

// Corner angles in radians; corner k lies between the plane vectors to its previous and
// next corner (corner 1: to corners 4 and 2).
std::array<double, 4> corner_angles(const QuadPlane& q);

// The number of 4-corner elements that the shape rules find badly shaped (first reading).
int32_t count_bad_quadrilaterals(const Mesh& part);

// Splits every badly shaped quadrilateral among elements 0..ne_read-1 into two triangles
// (second reading). part.ne is the enlarged element count; the new triangles take the
// numbers ne_read, ne_read + 1, ... in the order their quadrilaterals are met, copy the
// element value and material of their quadrilateral and get label 0. part.corners,
// element_value, material and labels hold part.ne entries. Returns the triangles added
// (at most part.ne - ne_read: the pass stops when the slots are full).
int32_t split_bad_quadrilaterals(Mesh& part, int32_t ne_read, std::span<double> element_value,
                                 std::span<int32_t> material, std::span<int32_t> labels);

// Node count of every tool element: 3 when node 4 equals node 3 (or is kNone), else 4.
void tool_corner_counts(const Mesh& tool, std::span<int32_t> corners);

// Reverses element e: nodes 1 and 3 exchanged, node 4 set to the new node 3 for a triangle
// (node 4 equal to the old node 3 or kNone). With a neighbour table (non-empty span) its
// columns 1 and 2, and for a quadrilateral 3 and 4, are exchanged so that it stays right.
void reverse_element(Mesh& m, int32_t e, std::span<int32_t> neighbours);

// Reverses every tool element whose normal has nz < 0.
void orient_tool_upwards(Mesh& tool);

// Fills the edge table (4 * m.ne slots) from the connectivity and corner counts.
void edge_table(const Mesh& m, std::span<int32_t> edges);

// Pairs the edge slots into the neighbour table (ne x 4) exactly as a scan of every slot over
// the later slots would, but bucketed by node: the k-th and (k+1)-th copy of an edge (slot order)
// pair for k = 1, 3, 5, ...; found slots are cleared to (kNone, kNone); the slots of the
// last element never start a scan. nn bounds the node numbers.
void edge_neighbours(std::span<int32_t> edges, int32_t ne, int32_t nn, std::span<int32_t> neighbours);

}  // namespace trevo
