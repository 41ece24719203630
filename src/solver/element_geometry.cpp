// Per-element reference geometry: local frame, local corners, shape-function derivatives, area.
#include "solver/element_geometry.h"

#include <cmath>

namespace trevo {
namespace {

using P3 = std::array<double, 3>;

P3 minus(const P3& a, const P3& b) { return {a[0] - b[0], a[1] - b[1], a[2] - b[2]}; }
double dot(const P3& a, const P3& b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }
P3 cross(const P3& a, const P3& b) {
  return {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
}
void store(double out[3], const P3& v) { out[0] = v[0], out[1] = v[1], out[2] = v[2]; }

// Local frame of a triangle: e1 along edge 1-2, e2 in the plane towards corner 3, e3 = e1 x e2; with its
// constant shape-function derivatives.
void triangle_geometry(const std::array<P3, 4>& p, ElementGeometry& g) {
  const P3 d12 = minus(p[1], p[0]), d13 = minus(p[2], p[0]);
  const double x2 = std::sqrt(dot(d12, d12)) + 1e-50;
  const P3 e1 = {d12[0] / x2, d12[1] / x2, d12[2] / x2};
  const double a = dot(d13, e1);
  const double b = std::sqrt(std::fabs(dot(d13, d13) - a * a)) + 1e-50;
  const P3 e2 = {(d13[0] - a * e1[0]) / b, (d13[1] - a * e1[1]) / b, (d13[2] - a * e1[2]) / b};
  P3 e3 = cross(e1, e2);
  const double length = std::sqrt(dot(e3, e3)) + 1e-50;
  e3 = {e3[0] / length, e3[1] / length, e3[2] / length};
  store(g.e1, e1), store(g.e2, e2), store(g.e3, e3);
  g.x[1] = x2, g.x[2] = a, g.y[2] = b;
  // Linear triangle on (0, 0), (x2, 0), (a, b): twice the area is x2 * b.
  g.dndx[0][0] = -1.0 / x2, g.dndx[0][1] = 1.0 / x2, g.dndx[0][2] = 0.0;
  g.dndy[0][0] = (a - x2) / (x2 * b), g.dndy[0][1] = -a / (x2 * b), g.dndy[0][2] = 1.0 / b;
  g.area = 0.5 * x2 * b;
}

// Local frame of a quadrilateral (e3 the unit cross product of the diagonals) and its three strain-displacement
// sets, taken at the centre: the centre set and the two sets that vary linearly along xi and eta.
// e1 is the unit vector from corner 1 to corner 2; for a warped quadrilateral its component along the
// normal is removed first so that the frame stays orthonormal (a rotation, as the dynain writer uses it to
// turn local tensors to global ones); for a plane quadrilateral this is exactly the unit edge vector.
void quadrilateral_geometry(const std::array<P3, 4>& p, ElementGeometry& g) {
  P3 e3 = cross(minus(p[2], p[0]), minus(p[3], p[1]));
  const double n_length = std::sqrt(dot(e3, e3) + 1e-80);
  e3 = {e3[0] / n_length, e3[1] / n_length, e3[2] / n_length};
  const P3 d12 = minus(p[1], p[0]);
  const double off_plane = dot(d12, e3);
  P3 e1 = {d12[0] - off_plane * e3[0], d12[1] - off_plane * e3[1], d12[2] - off_plane * e3[2]};
  const double e1_length = std::sqrt(dot(e1, e1)) + 1e-50;
  e1 = {e1[0] / e1_length, e1[1] / e1_length, e1[2] / e1_length};
  const P3 e2 = cross(e3, e1);
  store(g.e1, e1), store(g.e2, e2), store(g.e3, e3);
  for (int k = 0; k < 4; ++k) {
    const P3 d = minus(p[k], p[0]);
    g.x[k] = dot(d, e1);
    g.y[k] = dot(d, e2);
  }
  g.y[1] = 0.0;  // exactly, by construction of e1 (rounding would leave ~1e-16)
  // Natural corner coordinates: (1, 1), (-1, 1), (-1, -1), (1, -1).
  constexpr double xi[4] = {1.0, -1.0, -1.0, 1.0}, eta[4] = {1.0, 1.0, -1.0, -1.0};
  double x_xi = 0.0, y_xi = 0.0, x_eta = 0.0, y_eta = 0.0, hx = 0.0, hy = 0.0;
  for (int k = 0; k < 4; ++k) {
    x_xi += 0.25 * xi[k] * g.x[k], y_xi += 0.25 * xi[k] * g.y[k];
    x_eta += 0.25 * eta[k] * g.x[k], y_eta += 0.25 * eta[k] * g.y[k];
    hx += xi[k] * eta[k] * g.x[k], hy += xi[k] * eta[k] * g.y[k];
  }
  const double det = x_xi * y_eta - x_eta * y_xi;
  const double xi_x = y_eta / det, eta_x = -y_xi / det, xi_y = -x_eta / det, eta_y = x_xi / det;
  const double p_h = hy / (16.0 * det), q_h = -hx / (16.0 * det);
  for (int k = 0; k < 4; ++k) {
    g.dndx[0][k] = 0.25 * (xi[k] * xi_x + eta[k] * eta_x);
    g.dndy[0][k] = 0.25 * (xi[k] * xi_y + eta[k] * eta_y);
    g.dndx[1][k] = 0.25 * xi[k] * eta[k] * eta_x + xi[k] * p_h;
    g.dndy[1][k] = 0.25 * xi[k] * eta[k] * eta_y + xi[k] * q_h;
    g.dndx[2][k] = 0.25 * xi[k] * eta[k] * xi_x - eta[k] * p_h;
    g.dndy[2][k] = 0.25 * xi[k] * eta[k] * xi_y - eta[k] * q_h;
  }
  g.area = 4.0 * det;
}

}  // namespace

ElementGeometry element_geometry(const std::array<std::array<double, 3>, 4>& p, int32_t corners) {
  ElementGeometry g;
  g.corners = corners;
  if (corners == 3) {
    triangle_geometry(p, g);
  } else {
    quadrilateral_geometry(p, g);
  }
  return g;
}

ElementGeometry element_geometry(const Mesh& part, int32_t e) {
  std::array<P3, 4> p;
  for (int k = 0; k < 4; ++k) {
    const int32_t i = part.node(e, k);
    p[k] = {part.x[i], part.y[i], part.z[i]};
  }
  const int32_t corners = element_corners(part, e);
  return element_geometry(p, corners);
}

void element_geometries(const Mesh& part, std::span<ElementGeometry> out) {
  for (std::size_t e = 0; e < out.size(); ++e) out[e] = element_geometry(part, static_cast<int32_t>(e));
}

}  // namespace trevo
