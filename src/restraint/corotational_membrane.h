// The membrane of the unfolding: a linear plane-stress element (Poisson 0.5) laid
// into the blank plane by its best-fit rotation, so that only its distortion, not
// its turn out of the part's surface, is strained.
// Spec: Part 5.2 (Membrane element; Left to the implementer: the integration of the
// membrane stiffness beyond its use of the Part 4.2 geometry, D and h0).
//
// Why corotational: the pre-unfolding starts from the part projected onto the plane,
// where a vertical wall collapses onto a line. A small-strain membrane in the part's
// frame has no in-plane stiffness that could move such a wall's nodes, and the
// logarithmic strain of Part 4.2 is infinite there. Measured from its best-fit
// rotation, a wall turned flat is unstrained and a collapsed one is strained by a
// finite amount, so the iteration lays every wall out; a flat part's projection is
// already in balance (Part 5.2, edge case: ADP below tol at the first iteration).
// Corner k owns dofs 2k (X) and 2k+1 (Y); 0-based.
#pragma once
#include <array>

#include "solver/element_geometry.h"

namespace trevo {

struct BlankCorners {
  double X[4] = {}, Y[4] = {};
};

struct CorotationalMembrane {
  std::array<double, 8> restoring{};  // K (target - current): pulls the corners to the turned shape
  ElementMatrix stiffness{};          // K in the blank plane, symmetric
};

// e_modulus: the membrane modulus E; h0: initial thickness (volume = area * h0).
CorotationalMembrane corotational_membrane(const ElementGeometry& g, double e_modulus, double h0,
                                           const BlankCorners& blank);

}  // namespace trevo
