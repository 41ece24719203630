// Prepares the binder mesh: node counts, edge and neighbour tables, a consistent upward
// orientation without messages, the characteristic length, the per-node table and the
// boundary element flags, so that the binder has the topology the part has.
// 0-based: nodes 0..nnb-1, elements 0..neb-1. binder.corners (neb) is filled here.
// edges: 2 x 4neb scratch (the edge table of topology.h); neighbours: neb x 4 column-major,
// kNone on the boundary; node_table: nnb; boundary_flag: neb, the element's own number e for
// an element with a free edge, kNone otherwise (so "flag[e] == e" marks a boundary element,
// the comparison the binder fallback of the tool contact makes).
#pragma once
#include <cstdint>
#include <span>

#include "core/mesh.h"

namespace trevo {

// c = 0.2 * (sum of the elements' mean edge lengths) / (neb + 1e-10), in mm.
double characteristic_length(const Mesh& binder);

// Corner counts, edge and neighbour tables, orientation, characteristic length, per-node
// table and boundary flags, in this order; returns the characteristic length c.
double prepare_binder(Mesh& binder, std::span<int32_t> edges, std::span<int32_t> neighbours,
                      std::span<int32_t> node_table, std::span<int32_t> boundary_flag);

}  // namespace trevo
