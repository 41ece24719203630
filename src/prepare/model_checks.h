// The four model checks of the part mesh: orientation and overlap, punch direction,
// undercut and element angles; plus the consistent-orientation sweep they and the binder share.
// Each compares the element normal's z with the punch direction +z.
// 0-based: elements 0..ne-1, corners 0..3. neighbours: ne x 4 column-major, kNone on the
// boundary. labels: ne input element identifiers (0 for split triangles); the messages
// print labels, except the element-angle check's per-element lines, which print the
// element's internal number + 1. No check stops the run. Messages go through the Reporter at message level 2,
// in a fixed order that for some blocks differs between the console and the report.
// The element states and flags are scratch kept in std::vector, outside the work array.
#pragma once
#include <cstdint>
#include <span>

#include "core/mesh.h"
#include "core/reporter.h"
#include "core/settings.h"

namespace trevo {

// Reverses every element with nz < 0, then sweeps a consistent node order across shared
// edges from a seed, region by region; returns the number of regions (seeds) used.
// Seed: the unreached element with the largest nz, first on ties. A region whose elements
// are all vertical or degenerate (no nz > 0) is seeded with its largest nz whatever the
// sign, as the binder is, so no region is seeded with a non-existent element or swept for
// ever. The sweeps visit elements in number order, and an element queued during a sweep is
// handled in the same sweep when its number is later; two heaps (current and next sweep)
// give that order. The empty sweeps up to NE + 100 before a new seed would change nothing
// and are skipped.
int32_t orient_regions(Mesh& m, std::span<int32_t> neighbours);

// Check 1, orientation and overlap: orients the part (orient_regions) and writes the two
// overlap lines, console then report, once for every region after the first: every part
// of the mesh that cannot be reached across shared edges from the regions before it.
void orientation_check(Mesh& part, std::span<int32_t> neighbours, std::span<const int32_t> labels,
                       const RunSettings& s, Reporter& r);

// Check 2, punch direction: flags elements with nz <= -0.45 (more than about 116.7 degrees
// from +z: the part cannot be unfolded along the punch direction); if any, writes the error
// block and sets s.method = 3; with method 3 writes the "Undercut situation" lines.
void punch_direction_check(const Mesh& part, std::span<const int32_t> labels, RunSettings& s, Reporter& r);

// Check 3, undercut: flags elements with nz <= s.undercut_tolerance; if any, writes the
// block and sets s.method = 0 and s.iteration_limit = 0, so that the initial blank estimate
// is the result (the limit is also 0 on entry with method 0); with method 0 writes the
// "Undercut condition" lines. Returns the smallest nz (2.0 when
// the mesh has no element; the last element on ties).
double undercut_check(const Mesh& part, std::span<const int32_t> labels, RunSettings& s, Reporter& r);

// Check 4, element angles: warns of corners below 10 or above 170 degrees; never changes the run.
void element_angle_check(const Mesh& part, std::span<const int32_t> labels, const RunSettings& s, Reporter& r);

}  // namespace trevo
