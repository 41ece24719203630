// A copy of node coordinates moved into the frame of the input; the caller's arrays stay untouched.
// Spec: Part 7.1 steps 1 and 9 (used by Parts 7.1-7.5).
// The Parts move the nodes into the input frame, write, and move them back, requiring
// the working coordinates to be restored exactly. A rotation and its inverse do not
// round-trip bit for bit in floating point, so the writers move a copy instead: the
// values written are those of step 1 (same arithmetic, frame/frame_transform.h), and
// the working coordinates are unchanged to the last bit by construction.
#pragma once
#include <span>
#include <vector>

#include "frame/frame_transform.h"

namespace trevo {

struct InputFrameCoordinates {
  std::vector<double> x, y, z;  // same length and node order (0-based) as the source
};

inline InputFrameCoordinates input_frame_copy(std::span<const double> x, std::span<const double> y,
                                              std::span<const double> z, const FrameTransform& t) {
  InputFrameCoordinates c{{x.begin(), x.end()}, {y.begin(), y.end()}, {z.begin(), z.end()}};
  to_input_frame(c.x, c.y, c.z, t);
  return c;
}

}  // namespace trevo
