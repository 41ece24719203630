// Corotational plane-stress membrane: restoring forces and stiffness of one element in the blank.
#include "restraint/corotational_membrane.h"

#include <cmath>

namespace trevo {

namespace {

struct Turn {
  double c = 1.0, s = 0.0;  // cos and sin of the angle from the local frame to the blank
};

Turn turn_of(double angle) { return {std::cos(angle), std::sin(angle)}; }

// Corner coordinates about their centroid: the local shape (p) and the blank corners (q).
struct CentredCorners {
  int n = 0;
  double px[4] = {}, py[4] = {}, qx[4] = {}, qy[4] = {};
  double cx = 0.0, cy = 0.0;  // blank centroid
};

CentredCorners centred(const ElementGeometry& g, const BlankCorners& b) {
  CentredCorners r;
  r.n = g.corners;
  double ox = 0.0, oy = 0.0;
  for (int k = 0; k < r.n; ++k) ox += g.x[k], oy += g.y[k], r.cx += b.X[k], r.cy += b.Y[k];
  ox /= r.n, oy /= r.n, r.cx /= r.n, r.cy /= r.n;
  for (int k = 0; k < r.n; ++k) {
    r.px[k] = g.x[k] - ox, r.py[k] = g.y[k] - oy;
    r.qx[k] = b.X[k] - r.cx, r.qy[k] = b.Y[k] - r.cy;
  }
  return r;
}

// Polar rotation of the centre-set deformation gradient F = sum_k X_k (dN_k/dx, dN_k/dy):
// the proper turn that makes R^T F symmetric, defined for a wall collapsed onto a line
// (F of rank 1) and for an inverted element alike; only a pure mirror image (F's
// rotational part zero) leaves it open, and then no turn is taken.
Turn polar_turn(const ElementGeometry& g, const BlankCorners& b) {
  double f11 = 0.0, f12 = 0.0, f21 = 0.0, f22 = 0.0;
  for (int k = 0; k < g.corners; ++k) {
    f11 += b.X[k] * g.dndx[0][k], f12 += b.X[k] * g.dndy[0][k];
    f21 += b.Y[k] * g.dndx[0][k], f22 += b.Y[k] * g.dndy[0][k];
  }
  const double cosine = f11 + f22, sine = f21 - f12, length = std::hypot(cosine, sine);
  if (!(length > 0.0)) return {};
  return {cosine / length, sine / length};
}

// Adds weight * B^T D B for one set of shape-function derivatives turned by t into the blank.
void add_plane_stiffness(int corners, const double* dndx, const double* dndy, Turn t, double d11, double d12,
                         double d33, double weight, ElementMatrix& k) {
  const int n = 2 * corners;
  double b1[8] = {}, b2[8] = {}, b3[8] = {};  // rows exx, eyy, engineering shear
  for (int c = 0; c < corners; ++c) {
    const double dx = t.c * dndx[c] - t.s * dndy[c], dy = t.s * dndx[c] + t.c * dndy[c];
    b1[2 * c] = dx;
    b2[2 * c + 1] = dy;
    b3[2 * c] = dy;
    b3[2 * c + 1] = dx;
  }
  for (int i = 0; i < n; ++i) {
    const double t1 = d11 * b1[i] + d12 * b2[i], t2 = d12 * b1[i] + d11 * b2[i], t3 = d33 * b3[i];
    for (int j = 0; j < n; ++j) k[i * 8 + j] += weight * (t1 * b1[j] + t2 * b2[j] + t3 * b3[j]);
  }
}

// K = h0 (area B1^T D B1 + (area / 3)(B2^T D B2 + B3^T D B3)) in the frame turned by t
// (quadrilateral: its centre set and two further sets; triangle: its one set).
ElementMatrix plane_stiffness(const ElementGeometry& g, double e_modulus, double h0, Turn t) {
  const double d11 = e_modulus / 0.75, d12 = 0.5 * e_modulus / 0.75, d33 = e_modulus / 3.0;  // Poisson 0.5
  const double volume = g.area * h0;
  ElementMatrix k{};
  const int sets = g.corners == 4 ? 3 : 1;
  for (int set = 0; set < sets; ++set)
    add_plane_stiffness(g.corners, g.dndx[set], g.dndy[set], t, d11, d12, d33, set == 0 ? volume : volume / 3.0, k);
  return k;
}

// Torque about the centroid of the corner forces K0 u in the local frame, u = R^T q - p
// being the corner displacements measured from the shape turned by angle. Its zero is the
// turn whose restoring forces balance in moment as well as in force.
double torque(const ElementMatrix& local, const CentredCorners& r, double angle) {
  const Turn t = turn_of(angle);
  double u[8] = {};
  for (int k = 0; k < r.n; ++k) {
    u[2 * k] = t.c * r.qx[k] + t.s * r.qy[k] - r.px[k];
    u[2 * k + 1] = -t.s * r.qx[k] + t.c * r.qy[k] - r.py[k];
  }
  double sum = 0.0;
  for (int k = 0; k < r.n; ++k) {
    double fx = 0.0, fy = 0.0;
    for (int j = 0; j < 2 * r.n; ++j) fx += local[(2 * k) * 8 + j] * u[j], fy += local[(2 * k + 1) * 8 + j] * u[j];
    sum += (r.px[k] + u[2 * k]) * fy - (r.py[k] + u[2 * k + 1]) * fx;
  }
  return sum;
}

// The quadrilateral's extra sets K2, K3 make the polar turn carry a small torque; Newton
// steps (numerical derivative) move it to the nearby turn of zero torque. A step that
// does not settle within a few iterations or strays far keeps the polar turn.
Turn torque_free_turn(const ElementMatrix& local, const CentredCorners& r, Turn polar) {
  const double start = std::atan2(polar.s, polar.c), h = 1e-6;
  double angle = start;
  for (int it = 0; it < 8; ++it) {
    const double tau = torque(local, r, angle);
    const double slope = (torque(local, r, angle + h) - torque(local, r, angle - h)) / (2.0 * h);
    if (!(std::fabs(slope) > 0.0)) break;
    const double step = tau / slope;
    angle -= step;
    if (!(std::fabs(angle - start) < 0.5)) return polar;
    if (std::fabs(step) < 1e-13) return turn_of(angle);
  }
  return std::fabs(torque(local, r, angle)) < std::fabs(torque(local, r, start)) ? turn_of(angle) : polar;
}

}  // namespace

CorotationalMembrane corotational_membrane(const ElementGeometry& g, double e_modulus, double h0,
                                           const BlankCorners& blank) {
  const CentredCorners r = centred(g, blank);
  Turn t = polar_turn(g, blank);  // triangle: its forces carry no torque already
  if (g.corners == 4) t = torque_free_turn(plane_stiffness(g, e_modulus, h0, Turn{}), r, t);
  CorotationalMembrane m;
  m.stiffness = plane_stiffness(g, e_modulus, h0, t);
  // Gap from the blank corners to the local shape turned by t about the blank centroid.
  double gap[8] = {};
  for (int k = 0; k < r.n; ++k) {
    gap[2 * k] = t.c * r.px[k] - t.s * r.py[k] - r.qx[k];
    gap[2 * k + 1] = t.s * r.px[k] + t.c * r.py[k] - r.qy[k];
  }
  for (int i = 0; i < 2 * r.n; ++i) {
    double sum = 0.0;
    for (int j = 0; j < 2 * r.n; ++j) sum += m.stiffness[i * 8 + j] * gap[j];
    m.restoring[i] = sum;
  }
  return m;
}

}  // namespace trevo
