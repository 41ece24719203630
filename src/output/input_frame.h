// A copy of node coordinates moved into the frame of the input; the caller's arrays stay untouched.
// Every result file is written in the frame of the input, while the run goes on in the
// working frame and needs its coordinates back exactly. A rotation and its inverse do not
// round-trip bit for bit in floating point, so the writers move a copy instead: the values
// written are those of the move into the input frame (same arithmetic,
// core/frame_transform.h), and the working coordinates are unchanged to the last bit by
// construction.
#pragma once
#include <span>
#include <vector>

#include "core/frame_transform.h"

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
