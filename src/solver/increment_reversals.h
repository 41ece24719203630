// Elements whose nodes' Newton increments keep reversing: the fuller linearisation in their matrix.
// It changes only the matrix, not the residual, the line search or the stop tests, so the converged
// blank is the same (docs/decisions.md).
//
// The one-step matrix holds the u3 terms of the inverse deformation's metric G at half their weight
// (kNormalDisplacementWeight), and it treats the blank height Zb as fixed: that converges most jobs
// fastest (docs/convergence.md). But a deformation whose stiffness comes from the u3 terms alone, such
// as a steep wall stretched across its height, then gets twice the Newton step it needs: the step
// overshoots to the mirror image of the equilibrium, where the residual has the same size, and the
// line search accepts it (it accepts a trial up to 1.002 f0, up to 1.2 f0 before the iteration
// stalls: StepAcceptance). On a channel over a cylindrical binder both flanges and their walls swing
// across y like this at RELAX 1, the increment growing by about a quarter in every iteration, and
// 300 iterations end with ADP 0.29. On a steeper binder (radius 200) the flange also overshoots
// because moving a node in the plan moves it up or down the binder, which neither the matrix nor the
// line search (Zb is updated once per iteration) sees.
//
// Such a swing shows at the nodes: each increment points against the one before. A node's reversals
// are counted, and an element one of whose corners has reversed kReversalsToStiffen times takes the
// u3 terms at their full weight, the linearisation of G itself, and its membrane moves each corner
// with the binder, (dU, grad Zb . dU) (element_stiffness with the corners' binder slopes). Only
// there: everywhere, the full weight slows most jobs, and the binder slope makes the blank's slide
// around a cylindrical binder's axis free, along which a rotated channel then drifts.
#pragma once
#include <cstdint>
#include <span>

#include "core/mesh.h"

namespace trevo {

// Reversals after which a node's elements take the fuller linearisation. Measured on the 31 validation jobs
// (docs/convergence.md, without the binder slope): after 3 all converge in 1,846 iterations, after 5
// in 1,549, after 8 in 1,649.
inline constexpr int32_t kReversalsToStiffen = 5;

// The weight of the u3 terms of an element that keeps reversing.
inline constexpr double kFullNormalDisplacementWeight = 1.0;

// reversals[i] += 1 for every node i whose increment dU (2 nn, x and y of node i at 2i, 2i + 1)
// points against its previous increment by more than 120 degrees (cosine below -0.5). A node
// without a previous increment (zero) does not count.
void count_increment_reversals(std::span<const double> previous, std::span<const double> dU,
                               std::span<int32_t> reversals);

// True when a corner of element e has reversed kReversalsToStiffen times: its matrix then takes the
// u3 terms at kFullNormalDisplacementWeight and the corners' binder slopes.
bool keeps_reversing(const Mesh& part, int32_t e, int32_t corners, std::span<const int32_t> reversals);

}  // namespace trevo
