// The elastic approximation method: the blank of a part that faces too far from the punch
// for the one-step method, found by unfolding the part progressively into the plane with a
// uniform linear-elastic membrane and, when CONTRATX / CONTRATY lines hold nodes, relaxing
// the unfolded blank until they sit where the lines put them.
// 0-based nodes and elements; neighbours ne x 4 column-major (kNone on an open edge).
#pragma once
#include <cstdint>
#include <span>

#include "core/mesh.h"
#include "core/reporter.h"
#include "core/work_array.h"
#include "elastic/constraint_lines.h"

namespace trevo {

struct ElasticMethodInput {
  Mesh part;                                         // its elements may be reversed by the orientation check
  std::span<int32_t> neighbours;                     // kept right when an element is reversed
  std::span<const ConstraintLine> constraint_lines;  // every CONTRATX / CONTRATY record of the keyword file
};

struct ElasticMethodResult {
  int64_t stages = 0;     // the number printed after "NN0="
  bool complete = false;  // every node placed by the unfolding
  bool relaxed = false;   // the final relaxation ran
};

// Fills X, Y (nn each). Its scratch arrays are laid out in the work array from word
// first_free on and are free again when it returns. May stop the run (overlap, a bad
// constraint line, a solution that is not a number, a work array too small).
ElasticMethodResult elastic_approximation_method(const ElasticMethodInput& input, WorkArray& work, int64_t first_free,
                                                 int32_t message_level, Reporter& reporter, std::span<double> X,
                                                 std::span<double> Y);

}  // namespace trevo
