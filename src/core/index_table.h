// The index table's stage 1 (input slices) and stage 2 (model slices) as structs of named spans.
// Each slice takes as many words as it has entries (integer slices too), laid out in exactly
// the order numbered below by StageLayout, which stops the run with "DIMENSION ASKED IS TOO BIG
// -----------" when a slice would pass the end of the work array. Word indices are 1-based;
// node and element numbers stored in the slices are 0-based (kNone = -1).
// Connectivities are column-major: corner k (0..3) of element e at conn[k * E + e].
//
// Messages about an element print its input identifier (its label), so stage 2 keeps one
// label per internal element number: an integer slice of E words right after slice 26
// (per-node data) and before the scratch slices, which later stages overwrite.
#pragma once
#include <array>
#include <cstdint>
#include <span>

#include "core/reporter.h"
#include "core/settings.h"
#include "core/work_array.h"

namespace trevo {

inline constexpr int32_t kCorners = 4;  // K

// Stage 1, from word 1: E part elements and N part nodes as counted by the keyword scan.
struct InputSlices {
  std::span<int32_t> duplicates;  // 1: E, duplicate marks per element, then the duplicate list
  std::span<int32_t> conn;        // 2: K x E, part connectivity as read (stored translated, 0-based)
  std::span<int32_t> corners;     // 3: E, corners per element
  std::span<double> x, y, z;      // 4-6: N each
  std::span<int32_t> node_ids;    // 7: N, node identifiers
  int64_t next_free = 0;          // first word after slice 7
};

InputSlices lay_out_input_slices(WorkArray& work, Reporter& reporter, int32_t elements, int32_t nodes);

// Words of stage 1: E + K E + E + 3 N + N.
int64_t input_slice_words(int32_t elements, int32_t nodes);

// One tool mesh in stage 2: x, y, z of its nodes and its connectivity (K x its elements).
struct ToolSlices {
  std::span<double> x, y, z;
  std::span<int32_t> conn;
};

// A run of words handed out later as reals or integers (the scratch slices are "mixed").
struct WordRange {
  int64_t first_word = 0;
  int64_t words = 0;
};

// Block counts that size stage 2. elements is the element capacity E: the part elements
// kept after the duplicate deletion plus the badly shaped quadrilaterals that will be split
// into two triangles each. nodes is the node count N of the scan; tool counts are the scan's
// (0 when their flag is off).
struct ModelCounts {
  int32_t elements = 0, nodes = 0;
  int32_t binder_elements = 0, binder_nodes = 0;              // FLANQUAD / FLANNODE (EB, NB)
  int32_t blank_holder_elements = 0, blank_holder_nodes = 0;  // BINDQUAD / BINDNODE (EH, NH)
  int32_t pad_elements = 0, pad_nodes = 0;                    // HOLDQUAD / HOLDNODE (EP, NP)
};

ModelCounts model_counts(const RunSettings& settings, int32_t element_capacity);

struct ModelSlices {
  std::span<int32_t> conn;                 // 1: K x E, internal node numbers
  std::span<int32_t> boundary_first_node;  // 2: N, first node of each boundary edge
  std::span<int32_t> corners;              // 3: E, 3 or 4
  std::span<int32_t> neighbours;           // 4: K x E (kNone = none)
  std::span<int32_t> material;             // 5: E, material number (0-based row of the material table)
  std::span<double> element_work;          // 6: 2 x K x E
  std::span<double> x, y, z;               // 7-9: N each
  std::span<double> u, v;                  // 10-11: N each, blank coordinates in the plane
  std::span<double> element_value;         // 12: E
  ToolSlices binder;                       // 13-16: NB, NB, NB, K x EB
  ToolSlices blank_holder;                 // 17-20: NH, NH, NH, K x EH
  ToolSlices pad;                          // 21-24: NP, NP, NP, K x EP
  std::span<int32_t> pad_element_data;     // 25: EP
  std::span<double> node_data;             // 26: N, per-node data
  std::span<int32_t> labels;               // 26a: E, element labels (see above)
  // 27 on: scratch for the preparation phases: N, N, E, N, N, N, K x E, max(NP, NH, N, NB).
  std::array<WordRange, 8> scratch;
  int64_t next_free = 0;  // the start of the scratch slices: later stages reuse that space
};

// Stage 2 from first_free; the driver passes (number of duplicates + 1) so that the
// duplicate list at the start of stage 1 survives for the second read. Also checks that the scratch
// slices fit, but returns their start as the next free index.
ModelSlices lay_out_model_slices(WorkArray& work, Reporter& reporter, const ModelCounts& counts, int64_t first_free);

// Words of stage 2 including the scratch slices.
int64_t model_slice_words(const ModelCounts& counts);

}  // namespace trevo
