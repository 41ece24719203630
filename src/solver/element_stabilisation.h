// Stabilisation of the element stiffness: steep-wall terms (stiffness only) and restraint diagonal factors.
// A wall steeper than 60 deg has little in-plane stiffness against the motion of its nodes along its
// normal's plan projection: a steep triangle gets a normal-gradient penalty, a steep quadrilateral a DKQ
// plate matrix of its corner normal displacements, both proportional to the second STABILIZ value.
// Derivation: docs/element_stabilisation.md.
// None of these terms enters the internal forces, so a converged blank does not depend on them.
#pragma once
#include <array>
#include <cstdint>

#include "solver/element_geometry.h"
#include "solver/material.h"

namespace trevo {

// The two serendipity derivative tables of the DKQ term (constants, filled once before the first iteration):
// dndxi[g][i] = dN_i/dxi and dndeta[g][i] = dN_i/deta of the 8-node serendipity quadrilateral at the 2x2
// Gauss point g (0-based, order (g, g), (-g, g), (-g, -g), (g, -g)), node i (0-based, order (1, 1), (-1, 1),
// (-1, -1), (1, -1), (0, 1), (-1, 0), (0, -1), (1, 0)).
struct SerendipityTables {
  double dndxi[4][8] = {};
  double dndeta[4][8] = {};
};

SerendipityTables serendipity_tables();

// Weight of the steep-wall terms from the normal z: clamp(1 - 2 nz, 0, 1); 0 at nz = 0.5 (60 deg), 1 for
// vertical and overhanging walls, so the stiffness grows continuously as a wall steepens.
double steep_wall_weight(double nz);

// DKQ bending stiffness of the four corner displacements w_k along e3, rotations held at 0
// (4 x 4 row-major, positive semi-definite, constant w in its null space), plate rigidity db.
std::array<double, 16> dkq_normal_stiffness(const ElementGeometry& g, const SerendipityTables& tables, double db);

// Adds the steep-wall stabilisation to k: nothing when nz = e3[2] >= 0.5; otherwise, with the reference
// stiffness k_s = s2 * steep_wall_weight(nz) * 0.3 * ds.d33 * h_mean, a triangle gets the normal-gradient
// penalty k_s * area * grad N grad N^T, a quadrilateral dkq_normal_stiffness with db = k_s * area * 0.05
// (so that both agree in trace on a square); either acts on w_k = e3 . (u_x, u_y, 0) of each corner.
void add_steep_wall_stabilisation(const ElementGeometry& g, const StressMatrix& ds, double h_mean, double s2,
                                  const SerendipityTables& tables, ElementMatrix& k);

// Stabilisation of diagonal terms: multiplies corner k's x and y diagonal entries by the factors of the
// restraint category (1, 2, 3: 1 + 0.2 s1 kx|ky; 11, 12, 13: 1 + s1 kx|ky; both for 1 and 11, x only for 2
// and 12, y only for 3 and 13); any other category leaves k unchanged. kx, ky: corner k's stabilisation
// coefficients, set by the iteration control before the loop; s1 the first STABILIZ value.
void scale_restraint_diagonal(int32_t category, double s1, const std::array<double, 4>& kx,
                              const std::array<double, 4>& ky, int32_t corners, ElementMatrix& k);

}  // namespace trevo
