// Corotational plane-stress membrane: restoring forces and stiffness of one element in the blank.
#include "restraint/corotational_membrane.h"

#include <cmath>

namespace trevo {

namespace {

struct Turn {
  double c = 1.0, s = 0.0;  // cos and sin of the angle from the local frame to the blank
};

// t turned on by the angle delta. The Newton steps on the torque end in steps far below 0.01,
// where the sine and cosine series to their fourth term are exact in double precision: a
// step then costs a few products instead of the library's sine and cosine.
Turn turned_by(Turn t, double delta) {
  double c = 0.0, s = 0.0;
  if (std::fabs(delta) < 1e-2) {
    const double d2 = delta * delta;
    s = delta * (1.0 - d2 / 6.0 * (1.0 - d2 / 20.0 * (1.0 - d2 / 42.0)));
    c = 1.0 - d2 / 2.0 * (1.0 - d2 / 12.0 * (1.0 - d2 / 30.0 * (1.0 - d2 / 56.0)));
  } else {
    c = std::cos(delta), s = std::sin(delta);
  }
  return {t.c * c - t.s * s, t.s * c + t.c * s};
}

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
  const double cosine = f11 + f22, sine = f21 - f12, length = std::sqrt(cosine * cosine + sine * sine);
  if (!(length > 0.0)) return {};
  return {cosine / length, sine / length};
}

// Adds weight * B^T D B for one set of shape-function derivatives in the local frame, corner block
// by corner block, the blocks b >= a only (plane_stiffness mirrors them): with (xa, ya) the
// derivatives of corner a, B's rows (exx, eyy, shear) hold (xa, 0, ya) for its X dof and
// (0, ya, xa) for its Y dof, so each entry is the sum of its two non-zero products.
void add_plane_stiffness(int corners, const double* dndx, const double* dndy, double d11, double d12, double d33,
                         double weight, ElementMatrix& k) {
  for (int a = 0; a < corners; ++a) {
    const double xa = dndx[a], ya = dndy[a];
    for (int b = a; b < corners; ++b) {
      const double xb = dndx[b], yb = dndy[b];
      k[(2 * a) * 8 + 2 * b] += weight * (d11 * xa * xb + d33 * ya * yb);
      k[(2 * a) * 8 + 2 * b + 1] += weight * (d12 * xa * yb + d33 * ya * xb);
      k[(2 * a + 1) * 8 + 2 * b] += weight * (d12 * ya * xb + d33 * xa * yb);
      k[(2 * a + 1) * 8 + 2 * b + 1] += weight * (d11 * ya * yb + d33 * xa * xb);
    }
  }
}

// K = h0 (area B1^T D B1 + (area / 3)(B2^T D B2 + B3^T D B3)) in the local frame
// (quadrilateral: its centre set and two further sets; triangle: its one set).
ElementMatrix plane_stiffness(const ElementGeometry& g, double e_modulus, double h0) {
  const double d11 = e_modulus / 0.75, d12 = 0.5 * e_modulus / 0.75, d33 = e_modulus / 3.0;  // Poisson 0.5
  const double volume = g.area * h0;
  ElementMatrix k{};
  const int sets = g.corners == 4 ? 3 : 1;
  for (int set = 0; set < sets; ++set)
    add_plane_stiffness(g.corners, g.dndx[set], g.dndy[set], d11, d12, d33, set == 0 ? volume : volume / 3.0, k);
  for (int i = 2; i < 8; ++i)  // the blocks below the diagonal: K is symmetric
    for (int j = 0; j < i - i % 2; ++j) k[i * 8 + j] = k[j * 8 + i];
  return k;
}

// Torque about the centroid of the corner forces K0 u in the local frame, u = R^T q - p
// being the corner displacements measured from the shape turned by the angle. Its zero is
// the turn whose restoring forces balance in moment as well as in force. Turned back into
// the local frame the corners lie at p + u = c A + s B (A = q, B = q turned by -90 degrees;
// c, s the cosine and sine of the angle), so K0 u = c K0 A + s K0 B - K0 p and the torque is a
// quadratic form in (c, s): its five coefficients give the torque and its exact slope at any
// angle for the price of one product K0 u.
class TorqueOfTurn {
 public:
  TorqueOfTurn(const ElementMatrix& local, const CentredCorners& r) {
    double a[8] = {}, b[8] = {}, p[8] = {};
    for (int k = 0; k < r.n; ++k) {
      a[2 * k] = r.qx[k], a[2 * k + 1] = r.qy[k];
      b[2 * k] = r.qy[k], b[2 * k + 1] = -r.qx[k];
      p[2 * k] = r.px[k], p[2 * k + 1] = r.py[k];
    }
    double ka[8] = {}, kb[8] = {}, kp[8] = {};
    for (int i = 0; i < 2 * r.n; ++i)
      for (int j = 0; j < 2 * r.n; ++j)
        ka[i] += local[i * 8 + j] * a[j], kb[i] += local[i * 8 + j] * b[j], kp[i] += local[i * 8 + j] * p[j];
    const auto moment = [n = r.n](const double* at, const double* force) {
      double sum = 0.0;
      for (int k = 0; k < n; ++k) sum += at[2 * k] * force[2 * k + 1] - at[2 * k + 1] * force[2 * k];
      return sum;
    };
    cc_ = moment(a, ka), cs_ = moment(a, kb) + moment(b, ka), ss_ = moment(b, kb);
    c_ = -moment(a, kp), s_ = -moment(b, kp);
  }
  double at(Turn t) const { return cc_ * t.c * t.c + cs_ * t.c * t.s + ss_ * t.s * t.s + c_ * t.c + s_ * t.s; }
  double slope(Turn t) const {
    return 2.0 * (ss_ - cc_) * t.c * t.s + cs_ * (t.c * t.c - t.s * t.s) - c_ * t.s + s_ * t.c;
  }

 private:
  double cc_ = 0.0, cs_ = 0.0, ss_ = 0.0, c_ = 0.0, s_ = 0.0;
};

// The quadrilateral's extra sets K2, K3 make the polar turn carry a small torque; Newton
// steps move it to the nearby turn of zero torque. A step that does not settle within a
// few iterations or strays far keeps the polar turn.
Turn torque_free_turn(const ElementMatrix& local, const CentredCorners& r, Turn polar) {
  const TorqueOfTurn torque(local, r);
  Turn t = polar;
  double turned = 0.0;  // the angle from the polar turn
  for (int it = 0; it < 8; ++it) {
    const double slope = torque.slope(t);
    if (!(std::fabs(slope) > 0.0)) break;
    const double step = torque.at(t) / slope;
    turned -= step;
    if (!(std::fabs(turned) < 0.5)) return polar;
    t = turned_by(t, -step);
    if (std::fabs(step) < 1e-13) return t;
  }
  return std::fabs(torque.at(t)) < std::fabs(torque.at(polar)) ? t : polar;
}

// The stiffness of the element turned by t: each corner block R K R^T. The plane-stress law
// is isotropic, so this is the stiffness integrated with the turned derivatives.
ElementMatrix turned_stiffness(const ElementMatrix& local, int corners, Turn t) {
  ElementMatrix k{};
  for (int i = 0; i < corners; ++i)
    for (int j = 0; j < corners; ++j) {
      const double m00 = local[(2 * i) * 8 + 2 * j], m01 = local[(2 * i) * 8 + 2 * j + 1];
      const double m10 = local[(2 * i + 1) * 8 + 2 * j], m11 = local[(2 * i + 1) * 8 + 2 * j + 1];
      const double r00 = t.c * m00 - t.s * m10, r01 = t.c * m01 - t.s * m11;  // R M
      const double r10 = t.s * m00 + t.c * m10, r11 = t.s * m01 + t.c * m11;
      k[(2 * i) * 8 + 2 * j] = r00 * t.c - r01 * t.s, k[(2 * i) * 8 + 2 * j + 1] = r00 * t.s + r01 * t.c;
      k[(2 * i + 1) * 8 + 2 * j] = r10 * t.c - r11 * t.s, k[(2 * i + 1) * 8 + 2 * j + 1] = r10 * t.s + r11 * t.c;
    }
  return k;
}

}  // namespace

CorotationalMembrane corotational_membrane(const ElementGeometry& g, double e_modulus, double h0,
                                           const BlankCorners& blank) {
  const CentredCorners r = centred(g, blank);
  const ElementMatrix local = plane_stiffness(g, e_modulus, h0);
  Turn t = polar_turn(g, blank);  // triangle: its forces carry no torque already
  if (g.corners == 4) t = torque_free_turn(local, r, t);
  CorotationalMembrane m;
  m.stiffness = turned_stiffness(local, g.corners, t);
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
