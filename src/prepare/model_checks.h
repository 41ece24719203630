// The four model checks of the part mesh: orientation and overlap, punch direction,
// undercut and element angles; plus the consistent-orientation sweep they and the binder share.
// Spec: Part 3.2 (Algorithms, Failure handling), Part 3.3 step 3 (the binder's orientation).
// 0-based: elements 0..ne-1, corners 0..3. neighbours: ne x 4 column-major, kNone on the
// boundary (Part 3.1). labels: ne input element identifiers (0 for split triangles); the
// messages print labels, except check 4's per-element lines, which print the element's
// internal number + 1. No check stops the run. Messages go through the Reporter at message
// level 2 exactly as Part 3.2 (Failure handling) orders them on the console and the report.
// Scratch: the spec reuses the edge-table storage for the element states and flags; these
// functions still keep that scratch in std::vector.
#pragma once
#include <cstdint>
#include <span>

#include "frame/mesh.h"
#include "frame/reporter.h"
#include "frame/settings.h"

namespace trevo {

// Reverses every element with nz < 0, then sweeps a consistent node order across shared
// edges from a seed, region by region; returns the number of regions (seeds) used.
// Seed: the unreached element with the largest nz, first on ties. Where some unreached
// element has nz > 0 this is the spec's seed; a region without one (Part 3.2, Left to the
// implementer) is seeded with its largest nz whatever the sign, as Part 3.3 does for the
// binder, so no region is seeded with a non-existent element or swept for ever.
// The spec's sweeps (elements in number order, an element queued during a sweep handled in
// the same sweep when its number is later) run with two heaps, current and next sweep;
// the empty sweeps up to NE + 100 before a new seed change nothing and are skipped.
int32_t orient_regions(Mesh& m, std::span<int32_t> neighbours);

// Check 1: orients the part (orient_regions) and writes the two overlap lines once for
// every region after the first, console then report.
void orientation_check(Mesh& part, std::span<int32_t> neighbours, std::span<const int32_t> labels,
                       const RunSettings& s, Reporter& r);

// Check 2: flags elements with nz <= -0.45; if any, writes the error block and sets
// s.method = 3; with method 3 writes the "Undercut situation" lines.
void punch_direction_check(const Mesh& part, std::span<const int32_t> labels, RunSettings& s, Reporter& r);

// Check 3: flags elements with nz <= s.undercut_tolerance; if any, writes the block and sets
// s.method = 0 and s.iteration_limit = 0 (the limit is also 0 on entry with method 0);
// with method 0 writes the "Undercut condition" lines. Returns the smallest nz (2.0 when
// the mesh has no element; the last element on ties).
double undercut_check(const Mesh& part, std::span<const int32_t> labels, RunSettings& s, Reporter& r);

// Check 4: warns of corners below 10 or above 170 degrees; never changes the run.
void element_angle_check(const Mesh& part, std::span<const int32_t> labels, const RunSettings& s, Reporter& r);

}  // namespace trevo
