// Puts the part into its drawing attitude (tipping, offset, levelling), moves tools and drawbead ends with it.
// The punch moves along +z, so the part is tipped until no surface faces downwards, either
// by the MANUNOML angles or by an automatic search, then offset, checked and lowered until
// its lowest node lies at z = 0; the drawbead ends are pulled over the part.
// Indices are 0-based (node 0..nn-1, element 0..ne-1, drawbead 0..NB-1); messages show drawbeads +1.
// Lengths in mm, angles in radians (MANUNOML is read in degrees and converted here).
#pragma once
#include <cstdint>
#include <span>

#include "core/mesh.h"
#include "core/reporter.h"
#include "core/settings.h"

namespace trevo {

// Drawbead ends: values 3 to 8 of each DRAWBEAD line (x, y, z of each end), NB entries each.
struct DrawbeadEnds {
  std::span<double> x1, y1, z1, x2, y2, z2;
};

// Everything the phase changes in place. Tool meshes that are absent have nn = 0.
struct PositioningInput {
  Mesh& part;                        // corners filled (3 or 4 per element)
  std::span<int32_t> neighbours;     // ne x 4, column-major, kNone on the boundary
  std::span<const int32_t> labels;   // ne element labels of the input
  std::span<double> xc, yc, zc;      // copy of the part coordinates, nn each
  Mesh& binder;                      // FLANQUAD/FLANNODE
  Mesh& blank_holder;                // BINDQUAD/BINDNODE
  Mesh& pad;                         // HOLDQUAD/HOLDNODE
  DrawbeadEnds beads;
  std::span<double> nx, ny, nz;      // scratch nodal normals, part.nn each
};

// The whole phase: orientation check, manual or automatic tipping, undercut check (with a
// second automatic attempt for method 0), offset, element-angle check, levelling, drawbead
// ends, restraint category, draw depth and binder steepness, in this order. Reads AUTONOML,
// MANUNOML, OFFSET, the flat-blank-only switch, the counts and restraint settings; sets
// tipping_alpha/beta, smallest_nz, lowest_z, draw_depth, binder_steepness,
// restraint_category (and method / iteration_limit through the undercut check). A flanging job
// (flat-blank-only switch 1) with AUTONOML 1 is tipped by its binder (flanging_tipping.h) and
// says so in one line of the run report.
void position_model(PositioningInput& in, RunSettings& s, Reporter& r);

// Rotation about x by alpha, then about y by beta, of the part, its copy, every tool node and
// both drawbead ends; untip_model is the inverse tipping.
void tip_model(PositioningInput& in, double alpha, double beta);
void untip_model(PositioningInput& in, double alpha, double beta);

struct TippingAngles {
  double alpha = 0.0;  // about x, radians
  double beta = 0.0;   // about y, radians
};

// Automatic tipping search on unit nodal normals (n each); rotates them as it goes (scratch).
// Coarse turns of +-88 degrees about x, then y, then 1-degree passes, until the smallest
// normal z exceeds 0.707 or a pair of fine passes no longer raises it.
TippingAngles tipping_search(std::span<double> nx, std::span<double> ny, std::span<double> nz);

// Smallest element normal z over a mesh, start value 2.0.
double smallest_element_nz(const Mesh& m);

// The two offset lines (console and report differ) with their blank lines.
void write_offset_lines(double offset, const RunSettings& s, Reporter& r);

// Levelling: lowest part z is subtracted from the part, its copy, all tools and drawbead ends; returns it.
double level_model(PositioningInput& in);

// Drawbead-end procedure: each end (P1, then P2, drawbead by drawbead) is pulled, in xy only,
// until it lies over a part element, or given up (message at message level 1 only).
void pull_drawbead_ends(const Mesh& part, DrawbeadEnds beads, const RunSettings& s, Reporter& r);

// Restraint category from the contour tables: 1 without CONTRATX and CONTRATY lines, 2 with
// only CONTRATY, 3 with only CONTRATX, 0 with both; 1 to 3 are raised by 10 when nothing
// restrains the blank (no drawbead, no effective blank-holder or pad force).
int32_t restraint_category(const RunSettings& s);

// Binder steepness factor from the binder's smallest element nz; `current` kept when >= 0.8.
double binder_steepness_factor(const Mesh& binder, double current);

}  // namespace trevo
