// Spec: Part 5.2 (Membrane element).
#include "restraint/corotational_membrane.h"

#include <cmath>

namespace trevo {

namespace {

// The rotation (c, s) that best turns the local corner coordinates onto the blank
// corners about their centroids (2-D Procrustes, proper rotation only).
void best_rotation(const ElementGeometry& g, const BlankCorners& b, double& c, double& s) {
  const int n = g.corners;
  double px = 0, py = 0, qx = 0, qy = 0;
  for (int k = 0; k < n; ++k) px += g.x[k], py += g.y[k], qx += b.X[k], qy += b.Y[k];
  px /= n, py /= n, qx /= n, qy /= n;
  double dot = 0.0, cross = 0.0;
  for (int k = 0; k < n; ++k) {
    const double ax = g.x[k] - px, ay = g.y[k] - py, bx = b.X[k] - qx, by = b.Y[k] - qy;
    dot += ax * bx + ay * by;
    cross += ax * by - ay * bx;
  }
  const double length = std::sqrt(dot * dot + cross * cross);
  c = length > 0.0 ? dot / length : 1.0;
  s = length > 0.0 ? cross / length : 0.0;
}

// Adds weight * B^T D B for one set of shape-function derivatives (already in the blank frame).
void add_plane_stiffness(int corners, const double* dx, const double* dy, double d11, double d12, double d33,
                         double weight, ElementMatrix& k) {
  const int n = 2 * corners;
  double b1[8] = {}, b2[8] = {}, b3[8] = {};  // rows exx, eyy, engineering shear
  for (int c = 0; c < corners; ++c) {
    b1[2 * c] = dx[c];
    b2[2 * c + 1] = dy[c];
    b3[2 * c] = dy[c];
    b3[2 * c + 1] = dx[c];
  }
  for (int i = 0; i < n; ++i) {
    const double t1 = d11 * b1[i] + d12 * b2[i], t2 = d12 * b1[i] + d11 * b2[i], t3 = d33 * b3[i];
    for (int j = 0; j < n; ++j) k[i * 8 + j] += weight * (t1 * b1[j] + t2 * b2[j] + t3 * b3[j]);
  }
}

}  // namespace

CorotationalMembrane corotational_membrane(const ElementGeometry& g, double e_modulus, double h0,
                                           const BlankCorners& blank) {
  const double d11 = e_modulus / 0.75, d12 = 0.5 * e_modulus / 0.75, d33 = e_modulus / 3.0;  // Part 5.2
  double c = 1.0, s = 0.0;
  best_rotation(g, blank, c, s);
  CorotationalMembrane m;
  const double volume = g.area * h0;
  const int sets = g.corners == 4 ? 3 : 1;  // quadrilateral: K1 + (K2 + K3) / 3 as in Part 4.2
  for (int set = 0; set < sets; ++set) {
    double dx[4], dy[4];
    for (int k = 0; k < g.corners; ++k) {  // derivatives turn with the frame
      dx[k] = c * g.dndx[set][k] - s * g.dndy[set][k];
      dy[k] = s * g.dndx[set][k] + c * g.dndy[set][k];
    }
    add_plane_stiffness(g.corners, dx, dy, d11, d12, d33, set == 0 ? volume : volume / 3.0, m.stiffness);
  }
  // Target corners: the local shape turned by (c, s) about the blank centroid.
  const int n = g.corners;
  double px = 0, py = 0, qx = 0, qy = 0;
  for (int k = 0; k < n; ++k) px += g.x[k], py += g.y[k], qx += blank.X[k], qy += blank.Y[k];
  px /= n, py /= n, qx /= n, qy /= n;
  double gap[8] = {};
  for (int k = 0; k < n; ++k) {
    const double ax = g.x[k] - px, ay = g.y[k] - py;
    gap[2 * k] = qx + c * ax - s * ay - blank.X[k];
    gap[2 * k + 1] = qy + s * ax + c * ay - blank.Y[k];
  }
  for (int i = 0; i < 2 * n; ++i) {
    double sum = 0.0;
    for (int j = 0; j < 2 * n; ++j) sum += m.stiffness[i * 8 + j] * gap[j];
    m.restoring[i] = sum;
  }
  return m;
}

}  // namespace trevo
