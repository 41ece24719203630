// The result files for viewers and CAD programs: the formed part with its results as
// <base>.vtu and the flat blank's outline as <base>_blank.dxf.
#pragma once
#include <span>
#include <vector>

#include "driver/driver_job.h"
#include "output/outline.h"
#include "output/post_frames.h"

namespace trevo {

// The stress tensors of the formed part in the frame of the input (6 per element). Taken
// before the on-binder stage, which rebuilds the element geometry and the state for the
// blank lying on the binder.
std::vector<double> formed_part_stress(Job& job);

// Writes <base>.vtu (the formed part, its element results, and the final flat blank X, Y
// as a point vector) and <base>_blank.dxf (the loops over the blank's X, Y); each file
// is closed and checked, so a failed write ends the run as one.
void write_viewer_files(Job& job, std::span<const double> stress, const ElementResults& results,
                        const OutlineLoops& loops);

}  // namespace trevo
