// Moves the part a small way towards the flat blank and flattens it until no element normal has nz <= 0.06.
// Runs once for method 1, after the pre-unfolding gave a first blank; the one-step iteration
// then starts from the blended shape. Writes, in format (1X, I4, 4X, 2G16.7, I8), a progress
// line on the first pass and a final line once nz > 0.06 is reached (none after 200 passes).
// Node indices 0-based; the element in the result is internal and 0-based (printed +1). Lengths in mm.
#pragma once
#include <cstdint>
#include <span>

#include "core/mesh.h"
#include "core/reporter.h"

namespace trevo {

struct BlendResult {
  int32_t k = 1;          // the pass counter k as printed (201 after the 200-pass limit)
  bool reached = false;   // q > 0.06 was reached (the final line was written)
  double q = 2.0;         // smallest element normal z of the part as it is left
  int32_t element = 0;    // first element where q occurs, 0-based
};

// part: x, y, z changed in place (nn each). X, Y: blank position per node (nn each, read only).
// Zb: blank height per node (nn), set to 0 when binder_flag is 0. f: blend factor (default 0.02).
BlendResult blend_geometry(Mesh& part, std::span<const double> X, std::span<const double> Y,
                           std::span<double> Zb, int32_t binder_flag, double f, Reporter& r);

}  // namespace trevo
