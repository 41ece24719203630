// Elements held at a jump of the secant law: a stiffness added to the one-step matrix.
// Spec: Part 4.3 (secant modulus), Part 4.2 (element stiffness), Part 4.4 (matrix). A departure that
// changes only the matrix, not the residual or the stop tests (docs/decisions.md).
//
// Part 4.3's flow stress Es(epsbar) * epsbar jumps where its branches meet (law_stress_jump): with the
// defaults by 17 % at epsbar = eps0 (131 to 153) and by 3 % at epsbar = n. An element whose equilibrium
// stress falls in the gap at eps0 has no equilibrium strain: its strain swings across the jump, and the
// residual with it (a few hundred newtons per element on the real parts, whose flat areas are barely
// strained). Seventy elements of the cross member crossed eps0 in every iteration, so no line-search
// trial lowered |R| and RELAX stayed at its floor.
//
// An element that keeps crossing eps0 is held there the way Part 4.5 holds a friction node: by the
// secant through the jump. Its matrix gains the stiffness of its equivalent strain,
//   kj = 1.1 * jump / |epsbar - eps0|   (capped at kJumpCap * Es),
// acting on the change of epsbar only (add_strain_measure_stiffness with the gradient of epsbar), so the
// element still deforms freely at constant epsbar.
//
// The jump at n is not held: in the 106,632-element cup 28,000 elements crossed n three times within 80
// iterations, and held there the run ended unconverged after 300 iterations (docs/convergence.md).
#pragma once
#include <cstdint>
#include <span>

#include "solver/element_geometry.h"
#include "solver/material.h"

namespace trevo {

// An element is held from its third crossing on: out, back and out again. Measured on the 31 validation
// jobs (docs/convergence.md): holding from the second crossing lost the panel on the cylindrical binder,
// from the fourth the channel on the flat binder (both measured with the jump at n held too).
inline constexpr int32_t kCrossingsToHold = 3;

// Upper bound of kj relative to the element's secant modulus: a held element is nearly rigid in epsbar
// without swamping the conjugate gradients.
inline constexpr double kJumpCap = 1000.0;

// Counts, per element, its crossings of eps0 between calls. side (ne) holds the side of the previous
// call (1: epsbar <= eps0, Part 4.3's first branch; 2: above), 0 before the first; crossings (ne) the
// number of crossings so far. The material of element e is material_row(material_table, material_count,
// material[e]).
void count_law_crossings(std::span<const double> epsbar, std::span<const double> material_table,
                         int32_t material_count, std::span<const int32_t> material, std::span<int32_t> side,
                         std::span<int32_t> crossings);

inline bool held_at_law_jump(int32_t crossings) { return crossings >= kCrossingsToHold; }

// Adds to ke the hold of an element at row's jump at eps0. exx, eyy, exy: its local strain (tensor
// shear); volume: area * (h + h0) / 2 as for its secant stiffness.
void add_law_jump_stiffness(const ElementGeometry& g, double exx, double eyy, double exy, double epsbar,
                            const MaterialRow& row, double volume, ElementMatrix& ke);

}  // namespace trevo
