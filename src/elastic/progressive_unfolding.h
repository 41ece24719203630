// Progressive unfolding: the part laid into the plane front by front from its most upward
// element near its middle. Every element that shares an edge with the unfolded region is a
// candidate; the candidates within a growing radius of the seed form the next front, each
// front element's new corners are placed by circle intersection from two placed corners,
// and the band of the region around every front is relaxed with the uniform membrane,
// the whole region at the end.
// 0-based; neighbours ne x 4 column-major, kNone on an open edge.
#pragma once
#include <cstdint>
#include <span>

#include "elastic/band_relaxation.h"
#include "elastic/membrane_relaxation.h"

namespace trevo {

// ne and nn sized scratch of the unfolding.
struct UnfoldingScratch {
  std::span<double> nz;            // ne: unit normal z
  std::span<double> distance;      // ne: distance measure D of a candidate
  std::span<int32_t> state;        // ne: outside, candidate or unfolded
  std::span<int32_t> in_region;    // ne: 1 once unfolded (the relaxation's element set)
  std::span<int32_t> candidates;   // ne: the candidate list
  std::span<int32_t> placed;       // nn: 1 once the node has its blank position
  NodeElementIndex elements_of_node;
  BandMarks band_marks;
};

struct UnfoldingOutcome {
  int64_t stages = 0;          // the stage counter (fronts and radius steps) when the region was complete
  int32_t placed_nodes = 0;
  bool complete = false;       // every node placed
};

// Radius step: 0.618 times the mean over the elements of the mean length of the edges of
// P1 P2 P3 in space.
double radius_step(const Mesh& part);

// Places every node of the part in X, Y (nn each). The seed's nodes keep their plan
// position; so does a node no element uses.
UnfoldingOutcome progressive_unfolding(ElasticSystem& system, std::span<const int32_t> neighbours,
                                       const UnfoldingScratch& scratch, std::span<double> X, std::span<double> Y,
                                       const StageControls& controls, int32_t message_level, Reporter& reporter);

}  // namespace trevo
