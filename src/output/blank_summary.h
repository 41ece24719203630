// The blank's area, weight and least enclosing rectangle over 1-degree turns, and their printout.
// Areas in mm^2, weights in kg (steel sheet, density 0.0079 g/mm^3).
#pragma once
#include <cstdint>
#include <span>

#include "core/mesh.h"
#include "core/reporter.h"

namespace trevo {

inline constexpr double kSheetDensity = 0.0079;  // g/mm^3, steel

struct BlankSummary {
  double area = 0.0;              // A: sum of the element shoelace areas
  double weight = 0.0;            // W = sum(area_e * t_e) * 0.0079 / 1000
  double rectangle_area = 0.0;    // smallest bounding-box area over the turns 0..89 degrees
  int32_t rectangle_angle = 0;    // its turn in whole degrees (the smaller on equal areas)
  double rectangle_weight = 0.0;  // rectangle_area * thickness of element 0 * 0.0079 / 1000
};

// blank: x = u, y = v (blank plane coordinates, nn each), conn 4 x ne column-major (a
// triangle repeats its third corner); thickness: ne. The blank is not changed.
// Element area = |shoelace sum over the four corners| / 2 (the textbook formula with
// its absolute value; for the counter-clockwise elements of a solved blank it is the
// signed area itself).
BlankSummary blank_summary(const Mesh& blank, std::span<const double> thickness);

// Console: a blank line, the four summary lines, a blank line; then the same into the
// run report.
void print_blank_summary(const BlankSummary& summary, Reporter& reporter);

}  // namespace trevo
