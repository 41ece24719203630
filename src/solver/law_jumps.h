// Elements held at a jump of the secant law: the law blended across the jump, and a stiffness added to the
// one-step matrix.
//
// The secant law's flow stress Es(epsbar) * epsbar jumps where its branches meet (law_stress_jump): with
// the defaults by 17 % at epsbar = eps0 and by 3 % at epsbar = n. An element whose equilibrium stress falls
// in such a gap has no equilibrium strain: its strain swings across the jump, and the residual with it (a
// few hundred newtons per element on the real parts). On the cross member seventy elements cross eps0 in
// every iteration, so no line-search trial lowers |R| and RELAX stays at its floor.
//
// An element that keeps crossing a jump is held there. Its stress follows the blended law
// (blended_secant_modulus), which rises continuously across a narrow band around the jump, so every
// stress of the gap has a strain in the band: the element finds its equilibrium there instead of
// swinging, the way a sticking node of the friction terms takes any force up to its limit. Only held
// elements take it: an element whose strain passes a jump once or twice keeps the law as it is, so
// runs without a swing give the results they gave before, and a held element's stress lies between the
// values of the two branches at the jump. docs/convergence.md has the measurements, docs/decisions.md
// the choice.
//
// Its matrix also gains the stiffness of its equivalent strain,
//   kj = 1.1 * jump / |epsbar - b|   (capped at kJumpCap * Es),
// b the jump nearest to epsbar, acting on the change of epsbar only (add_strain_measure_stiffness with
// the gradient of epsbar), so the element still deforms freely at constant epsbar. Both jumps are held:
// with the slope terms (slope_scaling.h), about 530 elements at the punch nose of the 106,632-element cup
// cross n in every iteration and keep it from converging otherwise (docs/convergence.md).
#pragma once
#include <cstdint>
#include <span>

#include "solver/element_geometry.h"
#include "solver/material.h"

namespace trevo {

// An element is held from its third crossing on: out, back and out again. Measured on the 31 validation
// jobs without the slope terms (docs/convergence.md): holding from the second crossing loses the panel on
// the cylindrical binder, from the fourth the channel on the flat binder.
inline constexpr int32_t kCrossingsToHold = 3;

// Upper bound of kj relative to the element's secant modulus. The line search keeps each element on
// its branch (one_step.cpp), so the hold only has to damp the swing, not stop it: a stiffer hold
// makes the increments of the held elements' nodes too short and leaves RELAX at its floor (the
// 106,632-element cup: 235 iterations at 1000 Es, 198 at 100, 124 at 30), a softer one lets the
// dome swing at RELAX 1 without converging (10 Es). docs/convergence.md has the measurements.
inline constexpr double kJumpCap = 30.0;

// Counts, per element, the changes of its secant branch (secant_branch) between calls. branch (ne) holds
// the branch of the previous call, 0 before the first; crossings (ne) the number of changes so far. The
// material of element e is material_row(material_table, material_count, material[e]).
void count_law_crossings(std::span<const double> epsbar, std::span<const double> material_table,
                         int32_t material_count, std::span<const int32_t> material, std::span<int32_t> branch,
                         std::span<int32_t> crossings);

inline bool held_at_law_jump(int32_t crossings) { return crossings >= kCrossingsToHold; }

// The form of the law each element is evaluated with (stress_matrix's branch): kBlendedJumps where
// crossings holds it at a jump, else kept[e], or 0 (its own branch) when kept is empty.
void law_forms(std::span<const int32_t> crossings, std::span<const int32_t> kept, std::span<int32_t> forms);

// Adds to ke the hold of an element at the jump of row's law nearest to epsbar. exx, eyy, exy: its local
// strain (tensor shear); volume: element_volume, as for its secant stiffness.
void add_law_jump_stiffness(const ElementGeometry& g, double exx, double eyy, double exy, double epsbar,
                            const MaterialRow& row, double volume, ElementMatrix& ke);

}  // namespace trevo
