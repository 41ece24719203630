// The model positioning: tipping, offset, levelling, drawbead ends and the values later
// phases read.
#include "prepare/positioning.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <string>

#include "fortran/edit.h"
#include "core/frame_transform.h"
#include "prepare/element_normal.h"
#include "prepare/flanging_tipping.h"
#include "prepare/model_checks.h"
#include "prepare/topology.h"

namespace trevo {

namespace {

constexpr double kPi = 3.1415926535898;               // degrees to radians, as every angle input converts
constexpr double kManualThreshold = 1e-4;              // MANUNOML and OFFSET are ignored below this
constexpr double kTarget = static_cast<double>(0.707f);  // held in single precision: 0.7070000171661377
constexpr double kCoarseAngle = 1.5358897417550104;    // 88 degrees
constexpr double kFineAngle = 0.0174532925199433;      // 1 degree

std::span<double> nodes_of(std::span<double> v, int32_t nn) { return v.first(static_cast<size_t>(nn)); }

void tip_mesh(Mesh& m, double alpha, double beta) {
  tip(nodes_of(m.x, m.nn), nodes_of(m.y, m.nn), nodes_of(m.z, m.nn), alpha, beta);
}

void untip_mesh(Mesh& m, double alpha, double beta) {
  untip(nodes_of(m.x, m.nn), nodes_of(m.y, m.nn), nodes_of(m.z, m.nn), alpha, beta);
}

void orient_upwards_if_present(Mesh& tool) {
  if (tool.nn > 0) orient_tool_upwards(tool);
}

// --- automatic tipping search ---

enum class Axis { x, y };

double smallest(std::span<const double> v) {
  double m = 2.0;
  for (double value : v) m = std::min(m, value);
  return m;
}

// Smallest z of the normals rotated by `angle` about `axis`, without keeping them.
double trial_smallest_nz(Axis axis, double angle, std::span<const double> nx, std::span<const double> ny,
                         std::span<const double> nz) {
  const double c = std::cos(angle), s = std::sin(angle);
  double m = 2.0;
  for (size_t i = 0; i < nz.size(); ++i) {
    const double z = axis == Axis::x ? s * ny[i] + c * nz[i] : -s * nx[i] + c * nz[i];
    m = std::min(m, z);
  }
  return m;
}

void rotate_normals(Axis axis, double angle, std::span<double> nx, std::span<double> ny, std::span<double> nz) {
  for (size_t i = 0; i < nz.size(); ++i) {
    if (axis == Axis::x) {
      rotate_about_x(angle, ny[i], nz[i]);
    } else {
      rotate_about_y(angle, nx[i], nz[i]);
    }
  }
}

// --- drawbead ends ---

struct PointTest {
  bool inside = false;
  double smallest_cross = 1e20;  // smallest |cross product| over the tested elements
};

// Point-in-element test in the xy projection over every part element. A quadrilateral's
// doubled area is taken as |d13 x d24|, the same area measure as for a triangle.
PointTest locate_in_part(const Mesh& part, double px, double py) {
  PointTest t;
  for (int32_t e = 0; e < part.ne; ++e) {
    const int corners = element_corners(part, e);
    std::array<double, 4> cx{}, cy{};
    for (int k = 0; k < corners; ++k) {
      cx[k] = part.x[part.node(e, k)];
      cy[k] = part.y[part.node(e, k)];
    }
    const double doubled_area =
        corners == 3 ? std::abs((cx[1] - cx[0]) * (cy[2] - cy[0]) - (cy[1] - cy[0]) * (cx[2] - cx[0]))
                     : std::abs((cx[2] - cx[0]) * (cy[3] - cy[1]) - (cy[2] - cy[0]) * (cx[3] - cx[1]));
    if (doubled_area <= 1e-6) continue;
    bool inside = true;
    for (int k = 0; k < corners; ++k) {
      const int l = (k + 1) % corners;
      const double cross = (cx[k] - px) * (cy[l] - py) - (cy[k] - py) * (cx[l] - px);
      t.smallest_cross = std::min(t.smallest_cross, std::abs(cross));
      if (cross < 1e-10) inside = false;
    }
    if (inside) {
      t.inside = true;
      return t;
    }
  }
  return t;
}

double xy_length(double dx, double dy) { return std::sqrt(dx * dx + dy * dy + 1e-80); }

// Moves the end (px, py) over the part; (ox, oy) is the other end. Returns false when given up.
// Nudge cycle: an end that lies on an element edge (or on the line through one) tries the four
// diagonal positions (+k, +k), (-k, +k), (-k, -k), (+k, -k) times the step around it; the first
// one over an element is kept. If none is, the end stays and makes the ordinary step towards
// the other end, and k grows by 1 for the next on-edge event. Every round that does not finish
// thus shortens the drawbead by one step, and an end is also given up when a step fails to
// shorten it (possible only when the minimum length is below the step and the end overshoots
// the other end), so the procedure always terminates.
bool pull_end_over_part(const Mesh& part, double& px, double& py, double ox, double oy, double step,
                        double min_length) {
  constexpr std::array<std::array<double, 2>, 4> kDiagonals{{{1, 1}, {-1, 1}, {-1, -1}, {1, -1}}};
  int k = 0;
  for (;;) {
    const PointTest t = locate_in_part(part, px, py);
    if (t.inside) return true;
    if (t.smallest_cross < 1e-10) {
      ++k;
      for (const auto& d : kDiagonals) {
        const double qx = px + k * step * d[0], qy = py + k * step * d[1];
        if (locate_in_part(part, qx, qy).inside) {
          px = qx;
          py = qy;
          return true;
        }
      }
    }
    const double length = xy_length(ox - px, oy - py);
    px += step * (ox - px) / length;
    py += step * (oy - py) / length;
    const double new_length = xy_length(ox - px, oy - py);
    if (new_length < min_length || new_length >= length) return false;
  }
}

void write_drawbead_message(int32_t bead, const RunSettings& s, Reporter& r) {
  if (s.message_level != 1) return;  // message level 1 only, so never in a normal run
  r.both("******* The" + fortran::edit_i(bead + 1, 3) + " th drawbead\"s position is incorrect *******");
}

void tip_and_record(PositioningInput& in, RunSettings& s, double alpha, double beta) {
  tip_model(in, alpha, beta);
  s.tipping_alpha = alpha;
  s.tipping_beta = beta;
}

// Manual tipping by MANUNOML (degrees; the second already sign-reversed by the reader); the
// tools are turned upwards again and the orientation checked again after the turn.
void manual_tipping(PositioningInput& in, RunSettings& s, Reporter& r) {
  if (std::abs(s.manunoml[0]) < kManualThreshold && std::abs(s.manunoml[1]) < kManualThreshold) return;
  tip_and_record(in, s, s.manunoml[0] * kPi / 180.0, s.manunoml[1] * kPi / 180.0);
  orient_upwards_if_present(in.binder);
  orient_upwards_if_present(in.blank_holder);
  orient_upwards_if_present(in.pad);
  orientation_check(in.part, in.neighbours, in.labels, s, r);
}

// Automatic tipping (AUTONOML 1) of a flanging job: by its binder (flanging_tipping.h), with a
// line in the run report; the binder and blank-holder are turned upwards and the orientation
// checked again after the turn.
void flanging_automatic_tipping(PositioningInput& in, RunSettings& s, Reporter& r) {
  const FlangingTipping flanging = flanging_tipping(in.part, in.binder, s.undercut_tolerance, in.nx, in.ny, in.nz);
  tip_and_record(in, s, flanging.angles.alpha, flanging.angles.beta);
  r.report(" " + flanging_tipping_line(flanging));
  orient_upwards_if_present(in.binder);
  orient_upwards_if_present(in.blank_holder);
  orientation_check(in.part, in.neighbours, in.labels, s, r);
}

// Automatic tipping (AUTONOML 1) from the nodal normals; for method 0 the search runs without
// any preparation of its own. A flat-blank-only switch other than 0 or 1 leaves the angles 0.
void automatic_tipping(PositioningInput& in, RunSettings& s, Reporter& r) {
  if (s.flat_blank_only == 1) {
    flanging_automatic_tipping(in, s, r);
    return;
  }
  TippingAngles angles;
  if (s.flat_blank_only == 0) {
    nodal_normals(in.part, in.nx, in.ny, in.nz);
    angles = tipping_search(in.nx, in.ny, in.nz);
  }
  tip_and_record(in, s, angles.alpha, angles.beta);
}

// A second search after the undercut check set method 0; kept only if it raised the smallest
// normal z by at least 0.1 or brought it to -0.866 or above.
void second_automatic_attempt(PositioningInput& in, RunSettings& s) {
  nodal_normals(in.part, in.nx, in.ny, in.nz);
  const TippingAngles angles = tipping_search(in.nx, in.ny, in.nz);
  tip_model(in, angles.alpha, angles.beta);
  const double smallest_nz = smallest_element_nz(in.part);
  if (smallest_nz - s.smallest_nz >= 0.1 || smallest_nz >= -0.866) {
    s.smallest_nz = smallest_nz;
    s.tipping_alpha = angles.alpha;
    s.tipping_beta = angles.beta;
  } else {
    untip_model(in, angles.alpha, angles.beta);
  }
}

// Offset: every part node and its copy move by OFFSET times the nodal normal (mm; positive
// along the normals, "forth", negative against them, "entad").
void offset_part(PositioningInput& in, const RunSettings& s, Reporter& r) {
  write_offset_lines(s.offset, s, r);
  nodal_normals(in.part, in.nx, in.ny, in.nz);
  for (int32_t i = 0; i < in.part.nn; ++i) {
    in.part.x[i] += s.offset * in.nx[i];
    in.part.y[i] += s.offset * in.ny[i];
    in.part.z[i] += s.offset * in.nz[i];
    in.xc[i] += s.offset * in.nx[i];
    in.yc[i] += s.offset * in.ny[i];
    in.zc[i] += s.offset * in.nz[i];
  }
}

double part_draw_depth(const Mesh& part) {
  if (part.nn == 0) return 0.0;
  const auto z = std::span<const double>(part.z).first(static_cast<size_t>(part.nn));
  const auto [lowest, highest] = std::minmax_element(z.begin(), z.end());
  return *highest - *lowest;
}

}  // namespace

void tip_model(PositioningInput& in, double alpha, double beta) {
  tip_mesh(in.part, alpha, beta);
  tip(in.xc, in.yc, in.zc, alpha, beta);
  tip_mesh(in.binder, alpha, beta);
  tip_mesh(in.blank_holder, alpha, beta);
  tip_mesh(in.pad, alpha, beta);
  tip(in.beads.x1, in.beads.y1, in.beads.z1, alpha, beta);
  tip(in.beads.x2, in.beads.y2, in.beads.z2, alpha, beta);
}

void untip_model(PositioningInput& in, double alpha, double beta) {
  untip_mesh(in.part, alpha, beta);
  untip(in.xc, in.yc, in.zc, alpha, beta);
  untip_mesh(in.binder, alpha, beta);
  untip_mesh(in.blank_holder, alpha, beta);
  untip_mesh(in.pad, alpha, beta);
  untip(in.beads.x1, in.beads.y1, in.beads.z1, alpha, beta);
  untip(in.beads.x2, in.beads.y2, in.beads.z2, alpha, beta);
}

TippingAngles tipping_search(std::span<double> nx, std::span<double> ny, std::span<double> nz) {
  TippingAngles angles;
  double m = smallest(nz);
  // Accepts the trial when it raises m by more than `margin`; returns whether it did.
  auto try_angle = [&](Axis axis, double angle, double margin) {
    if (trial_smallest_nz(axis, angle, nx, ny, nz) - m <= margin) return false;
    rotate_normals(axis, angle, nx, ny, nz);
    (axis == Axis::x ? angles.alpha : angles.beta) += angle;
    m = smallest(nz);
    return true;
  };
  if (m > kTarget) return angles;
  if (!try_angle(Axis::x, kCoarseAngle, 0.01)) try_angle(Axis::x, -kCoarseAngle, 0.0);
  if (m > kTarget) return angles;
  if (!try_angle(Axis::y, -kCoarseAngle, 0.01)) try_angle(Axis::y, kCoarseAngle, 0.0);
  // Fine passes. Every pass that goes on needs an accepted trial, which strictly raises m (<= 1).
  double best = -2.0, previous_best = -2.0;
  auto try_fine = [&](Axis axis, double angle) {
    if (try_angle(axis, angle, 0.0) || try_angle(axis, -angle, 0.0)) best = std::max(best, m);
  };
  for (int pass = 1;; ++pass) {
    if (m > kTarget) return angles;
    try_fine(Axis::x, kFineAngle);
    if (m > kTarget) return angles;
    try_fine(Axis::y, -kFineAngle);
    if (pass % 2 == 0) {
      if (!(best > previous_best)) return angles;
      previous_best = best;
    }
  }
}

double smallest_element_nz(const Mesh& m) {
  double smallest_nz = 2.0;
  for (int32_t e = 0; e < m.ne; ++e) smallest_nz = std::min(smallest_nz, element_normal(m, e)[2]);
  return smallest_nz;
}

void write_offset_lines(double offset, const RunSettings& s, Reporter& r) {
  r.console("");
  if (s.message_level == 2) {
    const std::string line = std::string(offset > 0.0 ? "Automatic forth offset" : "Automatic entad offset") +
                             fortran::edit_f(std::abs(offset), 6, 3) + "mm ........";
    r.console(" " + line);
    r.report(line);
  }
  r.console("");
}

double level_model(PositioningInput& in) {
  double lowest = 1e20;
  for (int32_t i = 0; i < in.part.nn; ++i) lowest = std::min(lowest, in.part.z[i]);
  auto lower = [lowest](std::span<double> z) {
    for (double& zi : z) zi -= lowest;
  };
  lower(nodes_of(in.part.z, in.part.nn));
  lower(in.zc);
  lower(nodes_of(in.binder.z, in.binder.nn));
  lower(nodes_of(in.blank_holder.z, in.blank_holder.nn));
  lower(nodes_of(in.pad.z, in.pad.nn));
  lower(in.beads.z1);
  lower(in.beads.z2);
  return lowest;
}

void pull_drawbead_ends(const Mesh& part, DrawbeadEnds beads, const RunSettings& s, Reporter& r) {
  for (size_t b = 0; b < beads.x1.size(); ++b) {
    if (!pull_end_over_part(part, beads.x1[b], beads.y1[b], beads.x2[b], beads.y2[b], s.drawbead_step,
                            s.drawbead_min_length)) {
      write_drawbead_message(static_cast<int32_t>(b), s, r);
    }
    if (!pull_end_over_part(part, beads.x2[b], beads.y2[b], beads.x1[b], beads.y1[b], s.drawbead_step,
                            s.drawbead_min_length)) {
      write_drawbead_message(static_cast<int32_t>(b), s, r);
    }
  }
}

int32_t restraint_category(const RunSettings& s) {
  const bool p = s.contratx_count != 0, q = s.contraty_count != 0;
  const int32_t category = !p && !q ? 1 : (!p ? 2 : (!q ? 3 : 0));
  const bool restrained = s.drawbead_count > 0 || (s.friction2 >= 0.001 && s.bhforce >= 10.0) ||
                          (s.pad_coefficient >= 0.001 && s.holforce >= 10.0);
  return category >= 1 && !restrained ? category + 10 : category;
}

double binder_steepness_factor(const Mesh& binder, double current) {
  const double b = smallest_element_nz(binder);
  if (b >= 0.8) return current;
  if (b >= 0.7) return 0.9;
  if (b >= 0.6) return 0.5;
  if (b >= 0.4) return 0.2;
  return 0.1;
}

void position_model(PositioningInput& in, RunSettings& s, Reporter& r) {
  orientation_check(in.part, in.neighbours, in.labels, s, r);
  if (s.autonoml == 0) manual_tipping(in, s, r);
  // A flanging job needs no preparation of its own here: the binder preparation has already
  // turned the binder upwards and made it consistent, which is all its tipping reads.
  if (s.autonoml == 1) automatic_tipping(in, s, r);
  s.smallest_nz = undercut_check(in.part, in.labels, s, r);
  if (s.method == 0 && s.autonoml == 1 && s.flat_blank_only == 0) second_automatic_attempt(in, s);
  if (std::abs(s.offset) > kManualThreshold) offset_part(in, s, r);
  element_angle_check(in.part, in.labels, s, r);
  s.lowest_z = level_model(in);
  pull_drawbead_ends(in.part, in.beads, s, r);
  s.restraint_category = restraint_category(s);
  s.draw_depth = part_draw_depth(in.part);
  if (in.binder.nn > 0) s.binder_steepness = binder_steepness_factor(in.binder, s.binder_steepness);
}

}  // namespace trevo
