// The membrane of the unfolding: a linear plane-stress element (Poisson 0.5) laid
// into the blank plane by the turn of its deformation, so that only its distortion, not
// its turn out of the part's surface, is strained.
// It shares the one-step element's geometry (local frame, shape-function derivatives)
// and is integrated like it: a triangle with its one constant set over its area, a
// quadrilateral with its centre set over its area plus its two further sets at a third
// of it, all times h0.
//
// Why corotational: the pre-unfolding starts from the part projected onto the plane,
// where a vertical wall collapses onto a line. A small-strain membrane in the part's
// frame has no in-plane stiffness that could move such a wall's nodes, and the
// logarithmic strain of the one-step element is infinite there. Measured from its
// turned shape, a wall turned flat is unstrained and a collapsed one is strained by a
// finite amount, so the iteration lays every wall out; a flat part's projection is
// already in balance (ADP below tol at the first iteration).
//
// The turn: the rotation R of the polar decomposition F = R U of the element's
// deformation gradient (centre set of derivatives), the proper rotation that makes R^T F
// symmetric. It exists for a wall collapsed onto a line (F of rank 1) and for an inverted
// element, which it drives back to the part's orientation (it never reflects). For a
// triangle the stress is then coaxial with the stretch, so the corner forces balance in
// moment as well as in force; a quadrilateral's turn is refined by Newton steps to the
// nearby turn of zero moment. Forces with a net moment (a best fit of the corners, which
// weights them by the element's shape) would drive the whole blank's soft rigid
// rotation, turning a triangle-meshed blank by degrees per iteration without end.
// Corner k owns dofs 2k (X) and 2k+1 (Y); 0-based.
#pragma once
#include <array>

#include "solver/element_geometry.h"

namespace trevo {

struct CorotationalMembrane {
  std::array<double, 8> restoring{};  // K (target - current): pulls the corners to the turned shape
  ElementMatrix stiffness{};          // K in the blank plane, symmetric
};

// e_modulus: the membrane modulus E; h0: initial thickness (volume = area * h0).
CorotationalMembrane corotational_membrane(const ElementGeometry& g, double e_modulus, double h0,
                                           const BlankCorners& blank);

}  // namespace trevo
