// Tool forces on the blank: heights under binder/holder/pad, drawbead, holder, pad
// and contact forces (external force accumulator), and their per-node stiffness.
// Every node of the finished part lies on a tool surface, so the tools take up the
// normal part of each node's force and resist its sliding by Coulomb friction; the
// blank-holder and pad add friction of their own and drawbeads pull back the nodes
// they cross. Stiffnesses are secants of the current state. The data comes from the
// restraint set-up (RestraintData below).
//
// Indices are 0-based: node i, element e; kNone (-1) marks an empty drawbead entry,
// a free edge or "no element yet". Per-equation vectors hold node i's x at 2i and
// y at 2i+1 (U = (x - X, y - Y), the external and internal forces). Multi-column
// per-node arrays are column-major: a(i, k) = a[k * nn + i].
#pragma once
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "core/mesh.h"
#include "core/settings.h"

namespace trevo {

// The DRAWBEAD lines: one entry per bead in each of the 8 arrays (NB).
// restraining / raising: force per unit length; (x1,y1,z1) start, (x2,y2,z2) end.
struct DrawbeadLines {
  std::span<const double> restraining, raising, x1, y1, z1, x2, y2, z2;
  int32_t count() const { return static_cast<int32_t>(restraining.size()); }
};

// What the restraint set-up leaves for the iteration; the tool terms read it.
struct RestraintData {
  std::span<double> holding_force;  // NN: nodal holding force N (blank-holder or pad share)
  std::span<int32_t> state;         // NN: 2 free, 3 held, 4 held + bead, 5 bead or pad (1 = like 2)
  std::span<double> element_count;  // NN: elements meeting at the node, c
  std::span<double> normals;        // 3 x NN: unit nodal normal nx, ny, nz columns
  std::span<int32_t> bead_node;     // L: node of each drawbead entry, kNone = empty
  std::span<double> bead_force;     // L: restraining force Fb of the entry
  std::span<int32_t> bead_entries;  // NB: E(b), non-empty entries of bead b
  std::span<int32_t> bead_offset;   // NB: O(b), first entry of bead b's run
  std::span<double> node_force;     // 2 x NN per-equation force accumulator (cleared by the set-up)
  std::span<double> contact_force;  // 3 x NN contact force accumulator x, y, z (cleared by the set-up)
};

// Per-iteration secant stiffnesses of the tool terms (recomputed with each residual).
struct ToolStiffness {
  std::span<double> kb;     // L: drawbead entry stiffness
  std::span<double> kf;     // NN: held / pad friction stiffness
  std::span<double> kc;     // NN: contact friction stiffness
  std::span<double> block;  // 3 x NN: per-node x-y block kxx, kxy, kyy (node_stiffness_blocks)
};

// Elements of a mesh bucketed by their plan bounding boxes widened by `margin`.
// candidates(x, y) lists, in ascending element order, every element whose widened
// box could hold (x, y) (possibly more). A search that tests these in order and
// keeps the first hit finds exactly the element a scan over all elements finds, in
// time independent of the mesh size (a plain scan is linear per point).
class PlanGrid {
 public:
  PlanGrid(const Mesh& mesh, double margin);
  std::span<const int32_t> candidates(double x, double y) const;

 private:
  int32_t cell_x(double x) const;
  int32_t cell_y(double y) const;
  double x0_ = 0.0, y0_ = 0.0, cell_ = 1.0;
  int32_t nx_ = 0, ny_ = 0;
  std::vector<int32_t> start_, items_;
};

// Height at (X, Y) of the plane through the triangle (1,2,3) or, for a quadrilateral,
// (1,3,4) of element e that holds the point (all three cross products >= -1e-50),
// the plane's determinant + 1e-50; nullopt when neither holds it. A triangle element
// is tested as its one triangle (the literal (1,3,3) would be a degenerate sliver).
std::optional<double> element_height(const Mesh& surface, int32_t e, double X, double Y);

// Height search of one point: the remembered element, then every element
// whose box +-1e-8 holds (X, Y) in element order; a hit there is remembered.
// grid: PlanGrid(surface, 1e-8). last_element: kNone or an element of surface.
std::optional<double> surface_height(const Mesh& surface, const PlanGrid& grid, double X, double Y,
                                     int32_t& last_element);

// Binder fallback: the plane, through corner 1, of the boundary element whose free-edge
// midpoint is nearest to (X, Y), its normal tilted to nz = -0.707 when steeper.
// neighbours: 4 x EB column-major (kNone = free edge); boundary: EB, an element takes
// part when boundary[e] == e. nullopt when no boundary element has a free edge.
std::optional<double> binder_fallback_height(const Mesh& binder, std::span<const int32_t> neighbours,
                                             std::span<const int32_t> boundary, double X, double Y);

// Binder height Zb of every node at its blank position (X, Y) (NN each); a miss keeps
// Zb unless fallback is set. last_binder_element: NN, kNone before the first search.
// slope, when given (2 NN, node i at 2i, 2i + 1): the slope (dZb/dX, dZb/dY) of the plane
// each new Zb comes from, which the one-step matrix uses (increment_reversals.h); a node
// that keeps its Zb keeps its slope.
void binder_heights(const Mesh& binder, const PlanGrid& grid, std::span<const int32_t> neighbours,
                    std::span<const int32_t> boundary, bool fallback, std::span<const double> X,
                    std::span<const double> Y, std::span<int32_t> last_binder_element, std::span<double> Zb,
                    std::span<double> slope = {});

// Holder and pad height Zh of the nodes of state 3, 4, 5: the part mesh at its own
// coordinates searched at (X, Y); a miss gives Zb. Other nodes keep Zh.
// grid: PlanGrid(part, 1e-8). last_part_element: NN, kNone before the first search.
void holder_heights(const Mesh& part, const PlanGrid& grid, std::span<const int32_t> state,
                    std::span<const double> X, std::span<const double> Y, std::span<const double> Zb,
                    std::span<int32_t> last_part_element, std::span<double> Zh);

// Restraint forces, added to external (2 x NN) before the internal forces are summed:
// drawbead entries (kb), held nodes state 3/4 (mu2 = friction2), pad nodes state 5
// when pad_flag is 1 (mu_p = pad_coefficient); kf for nodes without these terms is 0.
// z: part z; U: 2 x NN; Zb: blank height; Zh: holder height (without a blank-holder
// or pad mesh nothing sets Zh, so the caller passes Zb there).
// Drawbead entries are assigned to beads by counting non-empty entries against E(b).
void restraint_forces(std::span<const double> z, std::span<const double> U, std::span<const double> Zb,
                      std::span<const double> Zh, const RestraintData& restraint, const DrawbeadLines& beads,
                      const RunSettings& settings, std::span<double> external, std::span<double> kb,
                      std::span<double> kf);

// Tool contact, added to external (2 x NN) after the internal forces:
// normal reaction Fn = n . (internal x, y, z + contact accumulator) added along
// (nx, ny), the accumulator's x, y added as they are, Coulomb friction mu1 |Fn|
// (mu1 = friction1) where |nz| >= 0.001; kc (NN) its secant stiffness, 0 on a
// vertical wall (|nz| < 0.001: no friction force, so no friction stiffness).
// internal: 2 x NN internal force; internal_z: NN internal z force.
// sticking (NN, see mark_sticking_nodes): a sticking node's kc measures its slip in the
// plan, |(U, 0) . t'|, instead of along u = (U, w); this changes only the matrix, not the
// residual, so the converged blank is the same (docs/decisions.md).
void contact_forces(std::span<const double> z, std::span<const double> U, std::span<const double> Zb,
                    const RestraintData& restraint, std::span<const double> internal,
                    std::span<const double> internal_z, const RunSettings& settings,
                    std::span<const int32_t> sticking, std::span<double> external, std::span<double> kc);

// Marks (sets to 1, never clears) every node whose plan displacement reverses its
// direction in the update U -> U + relax dU (their dot product is negative). The contact
// friction there has the constant size mu1 |Fn| and flips with U, so the node has no
// equilibrium near U = 0 and, held only by kc of its 3D slip, would swing across it
// (the dome's pole and the ring where U changes sign, where the cross member's U is
// 0.003 mm and |Fn| 2000 N). U, dU: 2 x NN; sticking: NN.
void mark_sticking_nodes(std::span<const double> U, std::span<const double> dU, double relax,
                         std::span<int32_t> sticking);

// The per-node x-y stiffness blocks of the stiffness terms (block: 3 x NN, kxx, kxy,
// kyy), from the kb, kf, kc of the last force evaluation: drawbead entries of nodes
// of state 4/5 (bead found as in restraint_forces, counting only non-empty entries, so
// force and stiffness agree on the bead even with empty entries inside a bead's run),
// held / pad friction, contact friction. Each value already holds the division by c, so
// the sum over a node's elements is the node's full value.
void node_stiffness_blocks(std::span<const double> z, std::span<const double> U, std::span<const double> Zh,
                           const RestraintData& restraint, const DrawbeadLines& beads,
                           const RunSettings& settings, const ToolStiffness& stiffness);

// Adds the block of each corner node of element e of the part to the element matrix
// ke (8 x 8, dof 2k = x and 2k+1 = y of corner k; the block is added symmetrically, so
// row- and column-major storage alike): what each element adds for each of its corners,
// before the constraints are applied to the element matrix.
void add_tool_stiffness(const Mesh& part, int32_t e, std::span<const double> block, std::span<double, 64> ke);

// Punch force: the sum of the internal z force over the nodes of state 2.
double punch_force(std::span<const int32_t> state, std::span<const double> internal_z);

}  // namespace trevo
