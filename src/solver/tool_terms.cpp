// Tool heights, restraint and contact forces, and their stiffness blocks.
#include "solver/tool_terms.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace trevo {
namespace {

constexpr double kStiffnessCap = 1.0e8;

struct Vec {
  double x, y, z;
};

double dot(const Vec& a, const Vec& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
Vec cross(const Vec& a, const Vec& b) {
  return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
// z component of the plan cross product (a - p) x (b - p).
double plan_cross(double ax, double ay, double bx, double by, double px, double py) {
  return (ax - px) * (by - py) - (ay - py) * (bx - px);
}

// Corner k (0..3) of element e; a missing 4th node (kNone) repeats corner 3.
int32_t corner(const Mesh& m, int32_t e, int k) {
  const int32_t n = m.node(e, k);
  return (k == 3 && n == kNone) ? m.node(e, 2) : n;
}
int corners_of(const Mesh& m, int32_t e) { return corner(m, e, 3) == corner(m, e, 2) ? 3 : 4; }

Vec node_normal(const RestraintData& r, int32_t j) {
  const size_t nn = r.state.size();
  return {r.normals[j], r.normals[nn + j], r.normals[2 * nn + j]};
}

// The triangle (a, b, c) of the surface holds p when all three cross products are >= -1e-50.
bool triangle_holds(const Mesh& s, int32_t a, int32_t b, int32_t c, double X, double Y) {
  return plan_cross(s.x[a], s.y[a], s.x[b], s.y[b], X, Y) >= -1.0e-50 &&
         plan_cross(s.x[b], s.y[b], s.x[c], s.y[c], X, Y) >= -1.0e-50 &&
         plan_cross(s.x[c], s.y[c], s.x[a], s.y[a], X, Y) >= -1.0e-50;
}

// A plane's slope (dz/dx, dz/dy).
struct PlanSlope {
  double x, y;
};

// Slope of the plane through corners a, b, c (determinant + 1e-50).
PlanSlope plane_slope(const Mesh& s, int32_t a, int32_t b, int32_t c) {
  const double bx = s.x[b] - s.x[a], by = s.y[b] - s.y[a], bz = s.z[b] - s.z[a];
  const double cx = s.x[c] - s.x[a], cy = s.y[c] - s.y[a], cz = s.z[c] - s.z[a];
  const double det = bx * cy - cx * by + 1.0e-50;
  return {(bz * cy - cz * by) / det, (bx * cz - cx * bz) / det};
}

// Height at (X, Y) of the plane through corners a, b, c.
double plane_height(const Mesh& s, int32_t a, int32_t b, int32_t c, double X, double Y) {
  const PlanSlope slope = plane_slope(s, a, b, c);
  return s.z[a] + slope.x * (X - s.x[a]) + slope.y * (Y - s.y[a]);
}

// The corners of the triangle of element e that holds (X, Y): (1,2,3), else (1,3,4) of a quadrilateral.
std::optional<std::array<int32_t, 3>> holding_triangle(const Mesh& surface, int32_t e, double X, double Y) {
  const int32_t n1 = corner(surface, e, 0), n2 = corner(surface, e, 1);
  const int32_t n3 = corner(surface, e, 2), n4 = corner(surface, e, 3);
  if (triangle_holds(surface, n1, n2, n3, X, Y)) return std::array<int32_t, 3>{n1, n2, n3};
  if (n4 != n3 && triangle_holds(surface, n1, n3, n4, X, Y)) return std::array<int32_t, 3>{n1, n3, n4};
  return std::nullopt;
}

// The element search's skip test: X within (min - 1e-8, max + 1e-8) of the corners' x, same for Y.
bool box_holds(const Mesh& s, int32_t e, double X, double Y, double margin) {
  double xmin = s.x[corner(s, e, 0)], xmax = xmin, ymin = s.y[corner(s, e, 0)], ymax = ymin;
  for (int k = 1; k < 4; ++k) {
    const int32_t n = corner(s, e, k);
    xmin = std::min(xmin, s.x[n]);
    xmax = std::max(xmax, s.x[n]);
    ymin = std::min(ymin, s.y[n]);
    ymax = std::max(ymax, s.y[n]);
  }
  return X > xmin - margin && X < xmax + margin && Y > ymin - margin && Y < ymax + margin;
}

double capped(double k) { return std::min(k, kStiffnessCap); }

// The bead frame of an entry of node j: d = unit(P2 - P1), m = unit(n x d).
struct BeadFrame {
  Vec d, m;
};
BeadFrame bead_frame(const DrawbeadLines& beads, int32_t b, const Vec& n) {
  const Vec p{beads.x2[b] - beads.x1[b], beads.y2[b] - beads.y1[b], beads.z2[b] - beads.z1[b]};
  const double length = std::sqrt(dot(p, p)) + 1.0e-50;
  const Vec d{p.x / length, p.y / length, p.z / length};
  const Vec m = cross(n, d);
  const double m_length = std::sqrt(dot(m, m) + 1.0e-80);
  return {d, {m.x / m_length, m.y / m_length, m.z / m_length}};
}

// Calls f(entry k, node j, bead b) for every non-empty drawbead entry; bead b is found
// by counting the non-empty entries against E(b) in list order.
template <class F>
void for_each_bead_entry(const RestraintData& r, int32_t bead_count, F&& f) {
  int32_t b = 0, taken = 0;
  for (size_t k = 0; k < r.bead_node.size(); ++k) {
    const int32_t j = r.bead_node[k];
    if (j == kNone) continue;
    while (b < bead_count && taken >= r.bead_entries[b]) {
      ++b;
      taken = 0;
    }
    if (b == bead_count) return;
    ++taken;
    f(k, j, b);
  }
}

// |u| of the displacement u = (Ux, Uy, w) from blank to part: sqrt(Ux^2 + 1e-80 + Uy^2 + w^2).
double displacement_length(double ux, double uy, double w) { return std::sqrt(ux * ux + 1.0e-80 + uy * uy + w * w); }

// Held or pad friction of node j: F = 2 mu N along u/|u|.
void holder_friction(int32_t j, double mu, double ux, double uy, double w, const RestraintData& r,
                     std::span<double> external, std::span<double> kf) {
  const double n = r.holding_force[j];
  const double length = displacement_length(ux, uy, w);
  const double force = 2.0 * mu * n;
  external[2 * j] -= force * ux / length;
  external[2 * j + 1] -= force * uy / length;
  kf[j] = capped(2.2 * mu * n / length / r.element_count[j]);
}

bool held(int32_t state) { return state == 3 || state == 4; }
bool padded(int32_t state, const RunSettings& s) { return state == 5 && s.pad_flag == 1; }

// (ux, uy) scaled to length L; the scale comes from the larger component (x on a tie),
// its sign kept with 1e-50 added to its magnitude.
void scaled_plan_direction(double ux, double uy, double length, double& fx, double& fy) {
  const bool x_larger = std::abs(ux) >= std::abs(uy);
  const double big = x_larger ? ux : uy, small = x_larger ? uy : ux;
  const double ratio = small / std::copysign(std::abs(big) + 1.0e-50, big);
  const double f_big = std::copysign(length / std::sqrt(ratio * ratio + 1.0), big);
  fx = x_larger ? f_big : ratio * f_big;
  fy = x_larger ? ratio * f_big : f_big;
}

// t' = (Ux, Uy, 0) less its normal part; length before normalising (1e-80 under the root).
Vec plan_tangent(double ux, double uy, const Vec& n, double& length) {
  const Vec v{ux, uy, 0.0};
  const double vn = dot(v, n);
  const Vec t{v.x - vn * n.x, v.y - vn * n.y, v.z - vn * n.z};
  length = std::sqrt(dot(t, t) + 1.0e-80);
  return {t.x / length, t.y / length, t.z / length};
}

void add_block(std::span<double> block, size_t nn, int32_t j, double k, double tx, double ty) {
  block[j] += k * tx * tx;
  block[nn + j] += k * tx * ty;
  block[2 * nn + j] += k * ty * ty;
}
void add_diagonal(std::span<double> block, size_t nn, int32_t j, double k) {
  block[j] += k;
  block[2 * nn + j] += k;
}

}  // namespace

PlanGrid::PlanGrid(const Mesh& mesh, double margin) {
  if (mesh.ne <= 0) return;
  std::vector<double> box(4 * static_cast<size_t>(mesh.ne));  // xmin, xmax, ymin, ymax per element
  double gx0 = 0, gx1 = 0, gy0 = 0, gy1 = 0;
  for (int32_t e = 0; e < mesh.ne; ++e) {
    double* b = &box[4 * static_cast<size_t>(e)];
    b[0] = b[1] = mesh.x[corner(mesh, e, 0)];
    b[2] = b[3] = mesh.y[corner(mesh, e, 0)];
    for (int k = 1; k < 4; ++k) {
      const int32_t n = corner(mesh, e, k);
      b[0] = std::min(b[0], mesh.x[n]);
      b[1] = std::max(b[1], mesh.x[n]);
      b[2] = std::min(b[2], mesh.y[n]);
      b[3] = std::max(b[3], mesh.y[n]);
    }
    b[0] -= margin, b[1] += margin, b[2] -= margin, b[3] += margin;
    if (e == 0) gx0 = b[0], gx1 = b[1], gy0 = b[2], gy1 = b[3];
    gx0 = std::min(gx0, b[0]), gx1 = std::max(gx1, b[1]);
    gy0 = std::min(gy0, b[2]), gy1 = std::max(gy1, b[3]);
  }
  // About one cell per element: nx * ny <= ne + nx + ny + 1.
  const double width = gx1 - gx0, height = gy1 - gy0, side = std::max(width, height);
  cell_ = std::max(std::sqrt(width * height / mesh.ne), side / mesh.ne);
  if (!(cell_ > 0.0) || !std::isfinite(cell_)) cell_ = 1.0;
  x0_ = gx0;
  y0_ = gy0;
  nx_ = static_cast<int32_t>(std::min(width / cell_, 1.0 * mesh.ne)) + 1;
  ny_ = static_cast<int32_t>(std::min(height / cell_, 1.0 * mesh.ne)) + 1;
  start_.assign(static_cast<size_t>(nx_) * ny_ + 1, 0);
  auto for_cells = [&](int32_t e, auto&& visit) {
    const double* b = &box[4 * static_cast<size_t>(e)];
    for (int32_t iy = cell_y(b[2]); iy <= cell_y(b[3]); ++iy)
      for (int32_t ix = cell_x(b[0]); ix <= cell_x(b[1]); ++ix) visit(static_cast<size_t>(iy) * nx_ + ix);
  };
  for (int32_t e = 0; e < mesh.ne; ++e) for_cells(e, [&](size_t c) { ++start_[c + 1]; });
  for (size_t c = 1; c < start_.size(); ++c) start_[c] += start_[c - 1];
  items_.resize(static_cast<size_t>(start_.back()));
  std::vector<int32_t> fill(start_.begin(), start_.end() - 1);
  for (int32_t e = 0; e < mesh.ne; ++e) for_cells(e, [&](size_t c) { items_[fill[c]++] = e; });
}

int32_t PlanGrid::cell_x(double x) const {
  const double t = std::floor((x - x0_) / cell_);
  if (!(t > 0.0)) return 0;
  return t >= nx_ - 1 ? nx_ - 1 : static_cast<int32_t>(t);
}

int32_t PlanGrid::cell_y(double y) const {
  const double t = std::floor((y - y0_) / cell_);
  if (!(t > 0.0)) return 0;
  return t >= ny_ - 1 ? ny_ - 1 : static_cast<int32_t>(t);
}

std::span<const int32_t> PlanGrid::candidates(double x, double y) const {
  if (nx_ == 0) return {};
  const size_t c = static_cast<size_t>(cell_y(y)) * nx_ + cell_x(x);
  return std::span<const int32_t>(items_).subspan(start_[c], start_[c + 1] - start_[c]);
}

std::optional<double> element_height(const Mesh& surface, int32_t e, double X, double Y) {
  const auto t = holding_triangle(surface, e, X, Y);
  if (!t) return std::nullopt;
  return plane_height(surface, (*t)[0], (*t)[1], (*t)[2], X, Y);
}

std::optional<double> surface_height(const Mesh& surface, const PlanGrid& grid, double X, double Y,
                                     int32_t& last_element) {
  if (last_element >= 0 && last_element < surface.ne) {
    if (auto h = element_height(surface, last_element, X, Y)) return h;
  }
  for (const int32_t e : grid.candidates(X, Y)) {
    if (!box_holds(surface, e, X, Y, 1.0e-8)) continue;
    if (auto h = element_height(surface, e, X, Y)) {
      last_element = e;
      return h;
    }
  }
  return std::nullopt;
}

namespace {

// The binder fallback's plane: through binder corner `through`, of unit normal `normal`.
struct FallbackPlane {
  int32_t through;
  Vec normal;
};

std::optional<FallbackPlane> binder_fallback_plane(const Mesh& binder, std::span<const int32_t> neighbours,
                                                   std::span<const int32_t> boundary, double X, double Y) {
  double best = 1.0e50;
  int32_t chosen = kNone;
  for (int32_t e = 0; e < binder.ne; ++e) {
    if (boundary[e] != e) continue;
    const int corners = corners_of(binder, e);
    for (int k = 0; k < corners; ++k) {
      if (neighbours[static_cast<size_t>(k) * binder.ne + e] != kNone) continue;
      const int32_t a = corner(binder, e, k), b = corner(binder, e, (k + 1) % corners);
      const double dx = 0.5 * (binder.x[a] + binder.x[b]) - X, dy = 0.5 * (binder.y[a] + binder.y[b]) - Y;
      const double distance = dx * dx + dy * dy;
      if (distance < best) best = distance, chosen = e;
    }
  }
  if (chosen == kNone) return std::nullopt;
  const int32_t n1 = corner(binder, chosen, 0), n2 = corner(binder, chosen, 1);
  const int32_t n3 = corner(binder, chosen, 2), n4 = corner(binder, chosen, 3);
  const Vec d13{binder.x[n3] - binder.x[n1], binder.y[n3] - binder.y[n1], binder.z[n3] - binder.z[n1]};
  const Vec d24{binder.x[n4] - binder.x[n2], binder.y[n4] - binder.y[n2], binder.z[n4] - binder.z[n2]};
  Vec n = cross(d13, d24);
  const double length = std::sqrt(dot(n, n) + 1.0e-80);
  n = {n.x / length, n.y / length, n.z / length};
  if (n.z < -0.707) {  // tilt to nz = -0.707 keeping the in-plane direction
    const bool x_larger = std::abs(n.x) >= std::abs(n.y);
    double a = x_larger ? n.x : n.y;
    if (std::abs(a) < 1.0e-10) a = std::copysign(1.0e-10, a);
    const double ratio = (x_larger ? n.y : n.x) / a;
    const double larger = std::copysign(std::sqrt(0.500151 / (ratio * ratio + 1.0)), a);
    n.x = x_larger ? larger : ratio * larger;
    n.y = x_larger ? ratio * larger : larger;
    n.z = -0.707;
  }
  return FallbackPlane{n1, n};
}

double fallback_height(const Mesh& binder, const FallbackPlane& p, double X, double Y) {
  const Vec& n = p.normal;
  return binder.z[p.through] - (n.x * (X - binder.x[p.through]) + n.y * (Y - binder.y[p.through])) / (n.z + 1.0e-30);
}

PlanSlope fallback_slope(const FallbackPlane& p) {
  return {-p.normal.x / (p.normal.z + 1.0e-30), -p.normal.y / (p.normal.z + 1.0e-30)};
}

}  // namespace

std::optional<double> binder_fallback_height(const Mesh& binder, std::span<const int32_t> neighbours,
                                             std::span<const int32_t> boundary, double X, double Y) {
  const auto p = binder_fallback_plane(binder, neighbours, boundary, X, Y);
  if (!p) return std::nullopt;
  return fallback_height(binder, *p, X, Y);
}

void binder_heights(const Mesh& binder, const PlanGrid& grid, std::span<const int32_t> neighbours,
                    std::span<const int32_t> boundary, bool fallback, std::span<const double> X,
                    std::span<const double> Y, std::span<int32_t> last_binder_element, std::span<double> Zb,
                    std::span<double> slope) {
  auto keep_slope = [&](size_t i, PlanSlope s) {
    slope[2 * i] = s.x;
    slope[2 * i + 1] = s.y;
  };
  for (size_t i = 0; i < X.size(); ++i) {
    if (auto h = surface_height(binder, grid, X[i], Y[i], last_binder_element[i])) {
      Zb[i] = *h;
      if (slope.empty()) continue;
      // The search remembered the element hit; its triangle that holds the point gave the height.
      if (const auto t = holding_triangle(binder, last_binder_element[i], X[i], Y[i])) {
        keep_slope(i, plane_slope(binder, (*t)[0], (*t)[1], (*t)[2]));
      }
    } else if (fallback) {
      if (auto p = binder_fallback_plane(binder, neighbours, boundary, X[i], Y[i])) {
        Zb[i] = fallback_height(binder, *p, X[i], Y[i]);
        if (!slope.empty()) keep_slope(i, fallback_slope(*p));
      }
    }
  }
}

void holder_heights(const Mesh& part, const PlanGrid& grid, std::span<const int32_t> state,
                    std::span<const double> X, std::span<const double> Y, std::span<const double> Zb,
                    std::span<int32_t> last_part_element, std::span<double> Zh) {
  for (size_t i = 0; i < X.size(); ++i) {
    if (state[i] < 3 || state[i] > 5) continue;
    const auto h = surface_height(part, grid, X[i], Y[i], last_part_element[i]);
    Zh[i] = h ? *h : Zb[i];
  }
}

void restraint_forces(std::span<const double> z, std::span<const double> U, std::span<const double> Zb,
                      std::span<const double> Zh, const RestraintData& restraint, const DrawbeadLines& beads,
                      const RunSettings& settings, std::span<double> external, std::span<double> kb,
                      std::span<double> kf) {
  std::fill(kb.begin(), kb.end(), 0.0);
  std::fill(kf.begin(), kf.end(), 0.0);
  for_each_bead_entry(restraint, beads.count(), [&](size_t k, int32_t j, int32_t b) {
    const BeadFrame f = bead_frame(beads, b, node_normal(restraint, j));
    const Vec u{U[2 * j], U[2 * j + 1], z[j] - Zb[j]};
    const double s = dot(f.m, u);
    const double c = restraint.element_count[j];
    kb[k] = capped(1.1 * restraint.bead_force[k] / (std::abs(s) + 1.0e-50) / c);
    external[2 * j] -= kb[k] * c * s * f.m.x;
    external[2 * j + 1] -= kb[k] * c * s * f.m.y;
  });
  for (size_t j = 0; j < z.size(); ++j) {
    const int32_t state = restraint.state[j];
    const double w = z[j] - Zh[j];
    if (held(state)) {
      holder_friction(static_cast<int32_t>(j), settings.friction2, U[2 * j], U[2 * j + 1], w, restraint, external, kf);
    } else if (padded(state, settings)) {
      holder_friction(static_cast<int32_t>(j), settings.pad_coefficient, U[2 * j], U[2 * j + 1], w, restraint,
                      external, kf);
    }
  }
}

void contact_forces(std::span<const double> z, std::span<const double> U, std::span<const double> Zb,
                    const RestraintData& restraint, std::span<const double> internal,
                    std::span<const double> internal_z, const RunSettings& settings,
                    std::span<const int32_t> sticking, std::span<double> external, std::span<double> kc) {
  const size_t nn = z.size();
  const double mu1 = settings.friction1;
  for (size_t j = 0; j < nn; ++j) {
    const Vec n = node_normal(restraint, static_cast<int32_t>(j));
    const Vec acc{restraint.contact_force[j], restraint.contact_force[nn + j], restraint.contact_force[2 * nn + j]};
    const double fn = n.x * (internal[2 * j] + acc.x) + n.y * (internal[2 * j + 1] + acc.y) + n.z * (internal_z[j] + acc.z);
    external[2 * j] += fn * n.x + acc.x;
    external[2 * j + 1] += fn * n.y + acc.y;
    kc[j] = 0.0;
    if (std::abs(n.z) < 0.001) continue;  // vertical wall: normal reaction only
    const double ux = U[2 * j], uy = U[2 * j + 1];
    const Vec u{ux, uy, z[j] - Zb[j]};
    const double un = dot(u, n);
    Vec t{u.x - un * n.x, u.y - un * n.y, u.z - un * n.z};
    const double t_length = std::sqrt(dot(t, t) + 1.0e-80);
    t = {t.x / t_length, t.y / t_length, t.z / t_length};
    double fx = t.x, fy = t.y;
    if (std::abs(ux) > 1.0e-5 || std::abs(uy) > 1.0e-5) {
      scaled_plan_direction(ux, uy, std::sqrt(std::max(1.0 - t.z * t.z, 0.0)), fx, fy);
    }
    const double friction = mu1 * std::abs(fn);
    external[2 * j] -= friction * fx;
    external[2 * j + 1] -= friction * fy;
    double tp_length = 0.0;
    const Vec tp = plan_tangent(ux, uy, n, tp_length);
    const double slip = sticking[j] != 0 ? std::abs(ux * tp.x + uy * tp.y) : std::abs(dot(u, tp));
    kc[j] = capped(1.1 * friction / (slip + 1.0e-50) / restraint.element_count[j]);
  }
}

void mark_sticking_nodes(std::span<const double> U, std::span<const double> dU, double relax,
                         std::span<int32_t> sticking) {
  for (size_t j = 0; j < sticking.size(); ++j) {
    const double ux = U[2 * j], uy = U[2 * j + 1];
    const double after_x = ux + relax * dU[2 * j], after_y = uy + relax * dU[2 * j + 1];
    if (ux * after_x + uy * after_y < 0.0) sticking[j] = 1;
  }
}

void node_stiffness_blocks(std::span<const double> z, std::span<const double> U, std::span<const double> Zh,
                           const RestraintData& restraint, const DrawbeadLines& beads,
                           const RunSettings& settings, const ToolStiffness& stiffness) {
  const size_t nn = z.size();
  std::span<double> block = stiffness.block;
  std::fill(block.begin(), block.end(), 0.0);
  for (size_t i = 0; i < nn; ++i) {
    const int32_t j = static_cast<int32_t>(i);
    const double ux = U[2 * i], uy = U[2 * i + 1];
    const int32_t state = restraint.state[i];
    if (held(state) || padded(state, settings)) {
      const double length = displacement_length(ux, uy, z[i] - Zh[i]);
      if (length >= 1.0e-6) {
        add_block(block, nn, j, stiffness.kf[i], ux / length, uy / length);
      } else {
        add_diagonal(block, nn, j, stiffness.kf[i]);
      }
    }
    double tp_length = 0.0;
    const Vec tp = plan_tangent(ux, uy, node_normal(restraint, j), tp_length);
    if (tp_length >= 1.0e-6) {
      add_block(block, nn, j, stiffness.kc[i], tp.x, tp.y);
    } else {
      add_diagonal(block, nn, j, stiffness.kc[i]);
    }
  }
  for_each_bead_entry(restraint, beads.count(), [&](size_t k, int32_t j, int32_t b) {
    if (restraint.state[j] != 4 && restraint.state[j] != 5) return;
    const BeadFrame f = bead_frame(beads, b, node_normal(restraint, j));
    add_block(block, nn, j, stiffness.kb[k], f.m.x, f.m.y);
    add_block(block, nn, j, 0.25 * stiffness.kb[k], f.d.x, f.d.y);
  });
}

void add_tool_stiffness(const Mesh& part, int32_t e, std::span<const double> block, std::span<double, 64> ke) {
  const size_t nn = static_cast<size_t>(part.nn);
  const int corners = corners_of(part, e);
  for (int k = 0; k < corners; ++k) {
    const int32_t j = part.node(e, k);
    const int a = 2 * k;
    ke[a + 8 * a] += block[j];
    ke[a + 8 * (a + 1)] += block[nn + j];
    ke[(a + 1) + 8 * a] += block[nn + j];
    ke[(a + 1) + 8 * (a + 1)] += block[2 * nn + j];
  }
}

double punch_force(std::span<const int32_t> state, std::span<const double> internal_z) {
  double sum = 0.0;
  for (size_t j = 0; j < state.size(); ++j)
    if (state[j] == 2) sum += internal_z[j];
  return sum;
}

}  // namespace trevo
