// Placing a new blank node from two placed ones: the third corner of a triangle whose
// side lengths are taken from the part, scaled to the stretch the blank already has
// between the two placed corners.
#pragma once

namespace trevo {

struct PlanePoint {
  double X = 0.0, Y = 0.0;
};

// Which warning line the placement asks for: none, or the near-collinear line of the
// solve along Y first ("*******  ERROR *******") or along X first ("******* ERROR *******").
enum class PlacementWarning { none, collinear_y_first, collinear_x_first };

struct PlacedNode {
  PlanePoint q;
  PlacementWarning warning = PlacementWarning::none;
};

// Q to the left of A->B at distances r1 from A and r2 from B, with
//   s = (d / (1e-50 + l_ab))^0.618, r1 = s l_aq, r2 = s l_bq (d = |B - A| in the plane),
// the radii widened when the circles miss each other on a stretched edge and the larger
// one reduced when one circle lies inside the other. l_ab, l_aq, l_bq: edge lengths in
// space (mm).
PlacedNode place_new_node(PlanePoint a, PlanePoint b, double l_ab, double l_aq, double l_bq);

// The console line of a placement warning (empty for none).
const char* placement_warning_text(PlacementWarning warning);

}  // namespace trevo
