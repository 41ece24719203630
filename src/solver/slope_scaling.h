// The right-hand side of the one-step Newton system with the residual's down-slope part restored.
// It changes only the increment, not the residual, the line search or the stop tests, so the converged
// blank is the same (docs/decisions.md).
//
// Every node's residual is the x-y part of its tangential force: the tool takes up the normal part. On a slope with
// unit normal n = (nx, ny, nz) the tangential force has a component a1 along the slope's level line and a component
// a2 along the downhill tangent t2 = (nz v, -|(nx, ny)|), v the plan direction of n. The x-y projection keeps a1 but
// turns a2 into nz a2 along v: signed, so on an undercut slope (nz < 0) the plan part of a downhill force points
// against v. The matrix, with the u3 membrane stiffness (add_normal_displacement_stiffness), approximates how the
// whole tangential force changes with the blank, (a1, a2); the residual's change is S times that, S = diag(1, nz) in
// (level line, plan normal). Newton's step for R = S a is K^-1 S^-1 R, so the plan-normal component of each node's
// residual is divided by nz (at least kSlopeFloor in size, with the sign of nz) before the solution. Without it the
// steps across steep slopes are |nz| times too short, and the iteration of parts with walls of nz 0.1-0.5 creeps at
// the RELAX floor. Dividing by |nz| instead would turn the down-slope part of the step uphill on undercut slopes: a
// part with flanges to nz -0.049 diverges (docs/convergence.md).
#pragma once
#include <span>

#include "solver/assembly.h"

namespace trevo {

// Smallest |nz| the plan-normal component is divided by: steeper slopes get at most 1 / kSlopeFloor.
inline constexpr double kSlopeFloor = 0.3;

// rhs (2 nn) := r with, at each node, the component along the plan direction (nx, ny) of its normal
// divided by max(|nz|, kSlopeFloor) with the sign of nz; flat nodes (nx = ny = 0) and the dofs that
// held marks (their residual is 0) keep r. normals: 3 x NN, nx, ny, nz columns (unit nodal normals).
// r and rhs may be one span: each node pair is read before it is written.
void slope_scaled_residual(std::span<const double> normals, const NodeConstraints& held, std::span<const double> r,
                           std::span<double> rhs);

}  // namespace trevo
