// The two model checks the elastic approximation method runs on the part before it
// unfolds it: corners too sharp or too flat for the unfolding's circle construction, and
// one consistent orientation reachable from the most upward element.
// 0-based elements and nodes; neighbours: ne x 4 column-major, kNone on an open edge.
#pragma once
#include <cstdint>
#include <span>

#include "core/mesh.h"
#include "core/reporter.h"

namespace trevo {

// The angle (degrees) at which element e is reported: the corner at its first node when
// |cos| >= cos(2 deg) there, else the corner at its second node when it is, else -1.
double reported_corner_angle(const Mesh& part, int32_t e);

// Reports every element with a corner under 2 deg or over 178 deg at its first or second
// node (console: two lines; run report: one). Messages only, at message level 2.
void element_angle_check(const Mesh& part, int32_t message_level, Reporter& reporter);

// The element whose normal z exceeds 0.8 times the largest one and whose centre (first
// three nodes) lies nearest in plan to the mean of all nodes; the first on a tie.
// nz: ne scratch, left holding each element's unit normal z of (P2 - P1) x (P3 - P1).
int32_t unfolding_seed(const Mesh& part, std::span<double> nz);

// Reverses every downward element, then propagates the orientation of the seed across
// shared edges. mark: ne scratch. Returns false when elements stay unreached after NE + 100
// sweeps (parts of the mesh connected to the rest by no edge, or overlapping it).
bool orient_for_unfolding(Mesh& part, std::span<int32_t> neighbours, std::span<double> nz, std::span<int32_t> mark);

// orient_for_unfolding with its failure: at message level 2 the two overlap lines and the
// stop of the run.
void orientation_and_overlap_check(Mesh& part, std::span<int32_t> neighbours, std::span<double> nz,
                                   std::span<int32_t> mark, int32_t message_level, Reporter& reporter);

}  // namespace trevo
