// Relaxation of a part of the unfolded region on a system of its own: the band next to the
// newest front, or the region itself. A front is placed from the nodes beside it, so a stage
// can only strain the elements within a few rings of it; the band is relaxed with the nodes
// where it meets the rest of the region held. A stage then costs the band's size, not the
// part's, and the whole unfolding grows with the part instead of with its square.
// 0-based nodes and elements.
#pragma once
#include <cstdint>
#include <span>
#include <vector>

#include "elastic/membrane_relaxation.h"

namespace trevo {

// The node-to-element index of the part (prepare/matrix_pattern.h): the elements of node i
// are list[pointer[i] .. pointer[i+1]-1].
struct NodeElementIndex {
  std::span<const int32_t> pointer;  // nn + 1
  std::span<const int32_t> list;
};

// Zero-filled marks the band search sets and clears again (nn and ne).
struct BandMarks {
  std::span<int32_t> node;     // nn
  std::span<int32_t> element;  // ne
};

// Rings of region elements around the front that one stage relaxes.
inline constexpr int kBandRings = 4;

// The region elements reached from the front's nodes through at most `rings` rings of
// elements, in ascending order (the front's own elements among them).
std::vector<int32_t> band_elements(const Mesh& part, NodeElementIndex index, std::span<const int32_t> in_region,
                                   std::span<const int32_t> front, int rings, const BandMarks& marks);

// The band's nodes that region elements outside the band share: they hold the band in place.
std::vector<int32_t> band_boundary(const Mesh& part, NodeElementIndex index, std::span<const int32_t> in_region,
                                   std::span<const int32_t> band, const BandMarks& marks);

// Relaxes the given region elements on a system built for them alone, as stage_relaxation
// relaxes a region, with the held equations (part numbering: 2 node + 0 for X, + 1 for Y)
// kept in place, and writes their nodes back into X, Y.
RelaxationOutcome subregion_relaxation(const ElasticSystem& whole, std::span<const int32_t> elements,
                                       std::span<const PrescribedDisplacement> held, const BandMarks& marks,
                                       std::span<double> X, std::span<double> Y, const StageControls& controls,
                                       int32_t message_level, Reporter& reporter);

}  // namespace trevo
