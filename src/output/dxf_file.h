// The flat blank's outline as a DXF drawing (<base>_blank.dxf) for CAD and nesting programs:
// one LWPOLYLINE per outline loop (the outer contour and every hole) on layer "BLANK",
// in mm ($INSUNITS 4). The drawing is a minimal DXF R2000 (AC1015) file: HEADER, empty
// CLASSES, the nine symbol tables with their required entries (VPORT *ACTIVE; LTYPE ByBlock,
// ByLayer, Continuous; LAYER 0; STYLE Standard; APPID ACAD; DIMSTYLE Standard; the model-
// and paper-space block records), the two layout blocks, the entities and an OBJECTS
// section with the root dictionary and its ACAD_GROUP dictionary.
#pragma once
#include <ostream>
#include <span>

#include "output/outline.h"

namespace trevo {

// loops: the outline loops of chain_outline (a closed loop ends with its first node again
// and becomes a closed polyline without the repeated point; an open loop, which only a
// mesh with a non-manifold edge gives, stays open); x, y: nn, the blank's plane
// coordinates in mm, each written as the shortest decimal that reads back as the same
// double, so the drawing holds the run's blank exactly.
void write_dxf(std::ostream& out, const OutlineLoops& loops, std::span<const double> x, std::span<const double> y);

}  // namespace trevo
