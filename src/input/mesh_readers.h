// Reads the part mesh (two passes) and the tool meshes from the keyword file into their slices.
// Numbers in memory are 0-based: internal nodes 0..nn-1 in the order of the node lines (after
// the unused ones are dropped), elements 0..ne-1 in the order of the element lines, material
// numbers 0-based rows of the material table, duplicate ordinals 0-based positions among the
// SHETQUAD lines. Files and messages keep the 1-based numbers. Every value that cannot be read,
// and an element naming a node identifier without a node line, stops the run with the
// read-error report ("******* Error in the following data *******").
#pragma once
#include <array>
#include <cstdint>
#include <span>
#include <vector>

#include "core/index_table.h"
#include "core/mesh.h"
#include "core/reporter.h"
#include "core/settings.h"
#include "input/keyword_file.h"

namespace trevo {

// Result of the first pass. mesh views the stage-1 slices with the duplicates left out
// (ne = elements kept, conn compacted to leading dimension ne, corners filled; nn = nodes
// after the unused ones are dropped): exactly the elements the second pass stores, ready for
// count_bad_quadrilaterals. The view dies when stage 2 is written.
struct FirstPass {
  Mesh mesh;
  int32_t duplicate_count = 0;
  std::span<const int32_t> duplicates;  // increasing 0-based SHETQUAD ordinals, at word 1
};

// First pass: needs the scan's counts (part_elements, part_nodes, material_count)
// and input laid out for them. Prints "IIIII Duplicate elements deleted ......." when any.
FirstPass read_part_mesh_first_pass(const KeywordFile& file, const RunSettings& settings, InputSlices& input,
                                    Reporter& reporter);

// The numbers of the nodes after the unused ones were dropped, for lists that hold node
// numbers of the file (feature lines). Follows the shift rule of the dropping: a number
// moves down by one for every dropped node below it; a dropped node's own number so
// becomes that of the next kept node.
struct NodeRenumbering {
  int32_t nodes_read = 0;        // node lines of the mesh
  std::vector<int32_t> dropped;  // 0-based positions of the dropped nodes, increasing
  int32_t renumbered(int32_t position) const;  // 0-based in, 0-based out
};

// Result of the second pass. mesh views the stage-2 slices: ne = the element capacity E
// (the leading dimension of conn), nn = nodes kept; elements 0..elements_stored-1 hold the
// mesh; the slots after them are preset for the triangles split off badly shaped
// quadrilaterals (conn kNone, corners 0, material 0, element value 0, label 0).
struct SecondPass {
  Mesh mesh;
  int32_t elements_stored = 0;
  NodeRenumbering renumbering;
  std::vector<int32_t> node_ids;  // the identifier of every node line, in file order
};

// Second pass: leaves out the duplicates of the first pass, stores connectivity,
// corners, x/y/z, element values, material numbers and labels (element identifiers) into the
// model slices, and sets settings.flat_blank_only (FLANGING, last line wins) and
// settings.element_value (the first stored element's value). element capacity = model.labels.size().
SecondPass read_part_mesh_second_pass(const KeywordFile& file, std::span<const int32_t> duplicates, ModelSlices& model,
                                      RunSettings& settings, Reporter& reporter);

enum class ToolMesh { blank_holder, binder, pad };  // BIND*, FLAN*, HOLD*

// The keywords of the node and element lines of the part and of the three tools.
std::array<Keyword, 8> mesh_line_keywords();

// Tool mesh: reads the node and element lines of one tool into its slices (sized by
// the scan's counts). Returns the mesh view: ne = its element count (the leading
// dimension), nn = nodes kept after the unused ones are dropped; corners left empty
// (corner_count() derives them). A node identifier that cannot be read in the
// node-identifier pass prints "******** Data input in the following row are error" first.
Mesh read_tool_mesh(const KeywordFile& file, ToolMesh tool, ToolSlices& slices, Reporter& reporter);

}  // namespace trevo
