// Restraint set-up: nodal holding forces of the blank-holder (free edges or tool mesh)
// and the pad, node state codes, nodal normals and element counts, drawbead lists.
// Runs once before the one-step iteration; the data it leaves is RestraintData of
// solver/tool_terms.h, which the tool terms of every iteration read.
//
// Indices are 0-based (nodes, elements, list entries); kNone (-1) means no node
// (free edge, empty drawbead entry). Multi-column arrays are column-major.
#pragma once
#include <cstdint>
#include <span>

#include "core/mesh.h"
#include "core/reporter.h"
#include "core/settings.h"
#include "solver/tool_terms.h"

namespace trevo {

// The meshes the set-up reads. A tool mesh that is absent has ne = 0 (its flag in the
// settings, blank_holder_flag / pad_flag, says whether it is present).
struct RestraintMeshes {
  Mesh part;                            // current part coordinates (free edges, tool transfer, normals)
  Mesh part_copy;                       // the part coordinates' copy kept by positioning, same connectivity:
                                        // bead end location and the drawbead walk use it
  std::span<const int32_t> neighbours;  // 4 x NE part neighbours across edge k (corner k to k+1), kNone = free
  Mesh holder;                          // BINDQUAD/BINDNODE; a 4th node kNone or = 3rd marks a triangle
  Mesh pad;                             // HOLDQUAD/HOLDNODE, likewise
};

// The nodes of the part element holding each bead end: 4 x NB each, column-major
// (row b = start[b], start[NB + b], ...). kNone = not located; the driver fills them
// with kNone when it lays them out, a row that is not located keeps its content.
struct BeadEndRows {
  std::span<int32_t> start;
  std::span<int32_t> end;
};

struct RestraintTotals {
  double bdforce = 0.0;  // sum of restraining force per length x 3-D bead length
  double raise = 0.0;    // sum of raising force per length x 3-D bead length
  // BHFORCE as the set-up leaves it (the force summary prints it): the net holding force
  // BHFORCE - RAISE (0 when <= 0) whenever the set-up spreads the blank-holder force,
  // else BHFORCE unchanged. The settings themselves are not written.
  double blank_holder_force = 0.0;
};

// Pre-count, run before the drawbead lists are laid out so that they can be sized:
// locates the bead ends (writes the rows) and walks every bead without writing the
// lists. entries[b] = E(b), offsets[b] = O(b) = E(0) + ... + E(b-1) (NB each).
// Returns L = sum of E(b), the length of the lists.
int64_t count_drawbead_entries(const Mesh& part_copy, const DrawbeadLines& beads, const BeadEndRows& rows,
                               std::span<int32_t> entries, std::span<int32_t> offsets);

// The set-up: clears the forces and accumulators, fills normals and element counts,
// sets every node free, spreads the blank-holder and pad forces (net of RAISE for the
// blank-holder) and lays the drawbeads. data.bead_entries / bead_offset come from
// count_drawbead_entries; data.bead_node / bead_force have length L. Fills every other
// span of data; holder_element_force (EH) and pad_element_force (EP) get each tool
// element's force share. Messages (message level 2) go through the reporter.
// The serendipity derivative tables are not filled here: the element
// formulation owns them and the driver fills them next to this call.
RestraintTotals restraint_setup(const RestraintMeshes& meshes, const DrawbeadLines& beads,
                                const RunSettings& settings, const RestraintData& data, const BeadEndRows& rows,
                                std::span<double> holder_element_force, std::span<double> pad_element_force,
                                Reporter& reporter);

// " NNL=" I5 "  DEPS=" G12.7 "  BDFORCE=" G15.7 "  RAISE=" G15.7 on the console and in
// the report, then an empty line in the report only (iteration limit, displacement tolerance).
void drawbead_report_line(const RunSettings& settings, const RestraintTotals& totals, Reporter& reporter);

}  // namespace trevo
