// The automatic tipping of a flanging job (flat-blank-only switch 1): the binder is the surface
// the flange sits on, so the job is tipped until the binder lies level and the punch moves along
// the binder's mean normal. Without a binder the part's nodal normals decide, as for any job.
// Angles in radians, tipping as in positioning.h: about x by alpha, then about y by beta.
#pragma once
#include <span>
#include <string>

#include "core/mesh.h"
#include "prepare/element_normal.h"
#include "prepare/positioning.h"

namespace trevo {

// Sum over the elements of half the diagonal cross product, (d13 x d24) / 2: the area-weighted
// normal of the mesh (mm^2; its length is the mesh's area when the mesh is flat).
Vec3 area_normal(const Mesh& m);

// The tipping that turns the direction n (any length, n != 0) to +z:
// alpha = atan2(ny, nz), beta = atan2(-nx, sqrt(ny^2 + nz^2)).
TippingAngles levelling_angles(const Vec3& n);

enum class TippingSource { binder, binder_and_part, part };

struct FlangingTipping {
  TippingAngles angles;
  TippingSource source = TippingSource::part;
};

// The tipping angles of a flanging job, nothing moved. With a binder whose area normal is at
// least 1 % of its area long: the angles that level it. If the part so tipped would have an element normal
// z at or below undercut_tolerance, the job must be tipped further, and the angle pair walks on in
// 1-degree steps, each the one that raises the part's smallest element normal z most, until that
// lies above the tolerance or no step raises it: the least tip out of the undercut. Without such a
// binder: the automatic tipping search on the part's nodal normals; nx, ny, nz (part.nn each) are
// its scratch.
FlangingTipping flanging_tipping(const Mesh& part, const Mesh& binder, double undercut_tolerance,
                                 std::span<double> nx, std::span<double> ny, std::span<double> nz);

// The run-report line: where the angles came from and both in degrees, F8.3.
std::string flanging_tipping_line(const FlangingTipping& t);

}  // namespace trevo
