// Membrane element of the one-step solver and the linear membrane of the unfolding.
#include "solver/element.h"

#include <algorithm>
#include <cmath>

namespace trevo {
namespace {

// Stretches, principal direction and logarithmic strains (tensor shear) of the inverse deformation.
struct Kinematics {
  double lambda1, lambda2, c, s, exx, eyy, exy;
};

Kinematics inverse_deformation(const ElementGeometry& g, const CornerDisplacements& u) {
  // Local components of each corner displacement and their derivatives along the local axes.
  double u1x = 0.0, u1y = 0.0, u2x = 0.0, u2y = 0.0, u3x = 0.0, u3y = 0.0;
  for (int k = 0; k < g.corners; ++k) {
    const double u1 = g.e1[0] * u.ux[k] + g.e1[1] * u.uy[k] + g.e1[2] * u.uz[k];
    const double u2 = g.e2[0] * u.ux[k] + g.e2[1] * u.uy[k] + g.e2[2] * u.uz[k];
    const double u3 = g.e3[0] * u.ux[k] + g.e3[1] * u.uy[k] + g.e3[2] * u.uz[k];
    const double nx = g.dndx[0][k], ny = g.dndy[0][k];
    u1x += nx * u1, u1y += ny * u1;
    u2x += nx * u2, u2y += ny * u2;
    u3x += nx * u3, u3y += ny * u3;
  }
  // Metric of the blank seen from the part.
  const double g11 = (1.0 - u1x) * (1.0 - u1x) + u2x * u2x + u3x * u3x;
  const double g22 = u1y * u1y + (1.0 - u2y) * (1.0 - u2y) + u3y * u3y;
  const double g12 = -(1.0 - u1x) * u1y - u2x * (1.0 - u2y) + u3x * u3y;
  // Its eigenvalues m -+ d give the stretches of the part relative to the blank, lambda1 >= lambda2
  // (m - d >= 0 in exact arithmetic; the max keeps rounding out of the square root).
  const double m = 0.5 * (g11 + g22);
  const double d = 0.5 * std::sqrt(4.0 * g12 * g12 + (g11 - g22) * (g11 - g22));
  Kinematics k;
  k.lambda1 = 1.0 / (std::sqrt(std::max(m - d, 0.0)) + 1e-80);
  k.lambda2 = 1.0 / (std::sqrt(m + d) + 1e-80);
  // Direction of lambda1: (c, s) = (1, -t) / sqrt(1 + t^2), t = G12 / (G11 - 1/lambda2^2). The formula
  // breaks down when |G11 - 1/lambda2^2| < 1e-6, i.e. when the local x axis is (nearly) the eigenvector of
  // lambda2, where its limit is (0, 1); (1, 0) there would put the major strain on the minor axis of, e.g.,
  // an element stretched along its local y. So the guard gives (0, 1) when the eigenvalues are distinct
  // (d > 1e-6) and (1, 0) when they (nearly) coincide (no deformation, equal stretch), where every
  // direction is principal.
  const double denominator = g11 - 1.0 / (k.lambda2 * k.lambda2);
  if (std::fabs(denominator) < 1e-6) {
    k.c = d > 1e-6 ? 0.0 : 1.0;
    k.s = d > 1e-6 ? 1.0 : 0.0;
  } else {
    const double t = g12 / denominator;
    const double root = std::sqrt(1.0 + t * t);
    k.c = 1.0 / root;
    k.s = -t / root;
  }
  // Logarithmic strains in the local frame.
  const double l1 = std::log(k.lambda1), l2 = std::log(k.lambda2);
  const double c2 = k.c * k.c, s2 = k.s * k.s;
  k.exx = c2 * l1 + s2 * l2;
  k.eyy = c2 * l2 + s2 * l1;
  k.exy = (l2 - l1) * k.s * k.c;
  return k;
}

// The three rows of one strain-displacement set B in the global x-y dofs: exx, eyy and the engineering
// shear (dN/dy e1 + dN/dx e2).
struct StrainRows {
  double b1[8] = {}, b2[8] = {}, b3[8] = {};
};

StrainRows strain_rows(const ElementGeometry& g, int set, const CornerSlopes& slopes = {}) {
  StrainRows b;
  for (int c = 0; c < g.corners; ++c) {
    const double nx = g.dndx[set][c], ny = g.dndy[set][c];
    for (int a = 0; a < 2; ++a) {
      // The local components of the corner's motion (dU, slope . dU) per unit of its dof a.
      const double slope = a == 0 ? slopes.x[c] : slopes.y[c];
      const double e1 = g.e1[a] + g.e1[2] * slope, e2 = g.e2[a] + g.e2[2] * slope;
      b.b1[2 * c + a] = nx * e1;
      b.b2[2 * c + a] = ny * e2;
      b.b3[2 * c + a] = ny * e1 + nx * e2;
    }
  }
  return b;
}

// Adds weight * B^T D B to the upper triangle of k for the rows b of B (n dofs). B has the engineering
// shear row, so d_shear is the factor of the engineering shear strain.
void add_rows_stiffness(const StrainRows& b, int n, double d11, double d12, double d_shear, double weight,
                        ElementMatrix& k) {
  const double *b1 = b.b1, *b2 = b.b2, *b3 = b.b3;
  for (int i = 0; i < n; ++i) {
    const double t1 = d11 * b1[i] + d12 * b2[i], t2 = d12 * b1[i] + d11 * b2[i], t3 = d_shear * b3[i];
    for (int j = i; j < n; ++j) k[i * 8 + j] += weight * (t1 * b1[j] + t2 * b2[j] + t3 * b3[j]);
  }
}

// The same for one strain-displacement set of the element.
void add_set_stiffness(const ElementGeometry& g, int set, double d11, double d12, double d_shear, double weight,
                       const CornerSlopes& slopes, ElementMatrix& k) {
  add_rows_stiffness(strain_rows(g, set, slopes), 2 * g.corners, d11, d12, d_shear, weight, k);
}

void mirror_upper(int n, ElementMatrix& k) {
  for (int i = 0; i < n; ++i) {
    for (int j = i + 1; j < n; ++j) k[j * 8 + i] = k[i * 8 + j];
  }
}

// Membrane stiffness of the element: the centre set for a triangle, K1 + (K2 + K3) / 3 for a quadrilateral.
ElementMatrix membrane_stiffness(const ElementGeometry& g, double d11, double d12, double d_shear, double volume,
                                 const CornerSlopes& slopes = {}) {
  ElementMatrix k{};
  add_set_stiffness(g, 0, d11, d12, d_shear, volume, slopes, k);
  if (g.corners == 4) {
    // K2, K3 come from the parts of B that vary linearly along the natural coordinates; their weight 1/3
    // is the mean of xi^2 (or eta^2) over the element, and the cross terms with K1 integrate to zero.
    add_set_stiffness(g, 1, d11, d12, d_shear, volume / 3.0, slopes, k);
    add_set_stiffness(g, 2, d11, d12, d_shear, volume / 3.0, slopes, k);
  }
  return k;
}

// f_k = volume * (dN_k/dx t_x + dN_k/dy t_y) with the local tractions t_x = sxx e1 + sxy e2,
// t_y = sxy e1 + syy e2: B^T sigma with the engineering-shear B, turned to global components.
ElementForces nodal_forces(const ElementGeometry& g, double sxx, double syy, double sxy, double volume) {
  double tx[3], ty[3];
  for (int a = 0; a < 3; ++a) {
    tx[a] = sxx * g.e1[a] + sxy * g.e2[a];
    ty[a] = sxy * g.e1[a] + syy * g.e2[a];
  }
  ElementForces f;
  for (int c = 0; c < g.corners; ++c) {
    const double nx = volume * g.dndx[0][c], ny = volume * g.dndy[0][c];
    f.fxy[2 * c] = nx * tx[0] + ny * ty[0];
    f.fxy[2 * c + 1] = nx * tx[1] + ny * ty[1];
    f.fz[c] = nx * tx[2] + ny * ty[2];
  }
  return f;
}

}  // namespace

CornerSlopes corner_slopes(const Mesh& part, int32_t e, int32_t corners, std::span<const double> slope) {
  CornerSlopes s;
  for (int32_t k = 0; k < corners; ++k) {
    const size_t i = static_cast<size_t>(part.node(e, k));
    s.x[k] = slope[2 * i];
    s.y[k] = slope[2 * i + 1];
  }
  return s;
}

CornerDisplacements corner_displacements(const Mesh& part, int32_t e, int32_t corners, std::span<const double> u,
                                         std::span<const double> zb) {
  CornerDisplacements d;
  for (int32_t k = 0; k < corners; ++k) {
    const int32_t i = part.node(e, k);
    d.ux[k] = u[2 * static_cast<size_t>(i)];
    d.uy[k] = u[2 * static_cast<size_t>(i) + 1];
    d.uz[k] = part.z[i] - zb[i];
  }
  return d;
}

ElementStrain evaluate_element(const ElementGeometry& g, const CornerDisplacements& u, const MaterialRow& m,
                               double h0, int branch) {
  const Kinematics k = inverse_deformation(g, u);
  ElementStrain st;
  st.lambda1 = k.lambda1, st.lambda2 = k.lambda2, st.c = k.c, st.s = k.s;
  st.exx = k.exx, st.eyy = k.eyy, st.exy = k.exy;
  // Thickness from incompressibility: h lambda1 lambda2 = h0.
  const double area_ratio = (k.lambda2 + 1e-80) * (k.lambda1 + 1e-80);
  st.e3 = std::log(1.0 / area_ratio);
  st.h = h0 / area_ratio;
  // Equivalent strain and stress from the material row.
  st.epsbar = equivalent_strain(st.exx, st.eyy, st.exy, st.e3, m.r0, m.r45, m.r90);
  const StressMatrix ds = stress_matrix(st.epsbar, m, branch);
  st.sxx = ds.d11 * st.exx + ds.d12 * st.eyy;
  st.syy = ds.d12 * st.exx + ds.d11 * st.eyy;
  st.sxy = ds.d33 * st.exy;
  return st;
}

ElementForces element_internal_forces(const ElementGeometry& g, double sxx, double syy, double sxy, double h,
                                      double h0) {
  return nodal_forces(g, sxx, syy, sxy, element_volume(g, h, h0));
}

namespace {

// Removes from each corner value v_k its affine part a + b . p_k, p_k the corner about the centroid of
// the part's shape: the centre set reproduces p exactly (sum_k p_k (dN_k/dx, dN_k/dy) = I), so
// (sum_k v_k dN_k/dx, sum_k v_k dN_k/dy) is b.
void remove_affine_part(const ElementGeometry& g, const double* px, const double* py, double* v) {
  double mean = 0.0, bx = 0.0, by = 0.0;
  for (int k = 0; k < 4; ++k) mean += 0.25 * v[k], bx += g.dndx[0][k] * v[k], by += g.dndy[0][k] * v[k];
  for (int k = 0; k < 4; ++k) v[k] -= mean + px[k] * bx + py[k] * by;
}

// The transpose of remove_affine_part, for forces: what is left does no work on an affine motion.
void remove_affine_work(const ElementGeometry& g, const double* px, const double* py, double* f) {
  double mean = 0.0, on_x = 0.0, on_y = 0.0;
  for (int k = 0; k < 4; ++k) mean += 0.25 * f[k], on_x += px[k] * f[k], on_y += py[k] * f[k];
  for (int k = 0; k < 4; ++k) f[k] -= mean + g.dndx[0][k] * on_x + g.dndy[0][k] * on_y;
}

// The blank corners about their centroid in the part's local frame: three components, since on a
// binder the blank is not level.
using LocalCorners = std::array<std::array<double, 4>, 3>;
LocalCorners local_blank_corners(const ElementGeometry& g, const BlankCorners& blank) {
  double bx = 0.0, by = 0.0, bz = 0.0;
  for (int k = 0; k < 4; ++k) bx += 0.25 * blank.X[k], by += 0.25 * blank.Y[k], bz += 0.25 * blank.Z[k];
  LocalCorners q;
  for (int k = 0; k < 4; ++k) {
    const double d[3] = {blank.X[k] - bx, blank.Y[k] - by, blank.Z[k] - bz};
    for (int c = 0; c < 3; ++c) {
      const double* axis = c == 0 ? g.e1 : c == 1 ? g.e2 : g.e3;
      q[c][k] = axis[0] * d[0] + axis[1] * d[1] + axis[2] * d[2];
    }
  }
  return q;
}

// The blank's directions of the local axes: R of the polar decomposition F = R U of the centre-set
// gradient F (3 x 2) of the corners q, with U = (C + sqrt(det C) I) / sqrt(tr C + 2 sqrt(det C)),
// C = F^T F. False for corners collapsed onto a line, which leave no plane to measure in.
bool polar_rotation(const ElementGeometry& g, const LocalCorners& q, double (&r)[3][2]) {
  double f[3][2] = {};
  for (int c = 0; c < 3; ++c)
    for (int k = 0; k < 4; ++k) f[c][0] += q[c][k] * g.dndx[0][k], f[c][1] += q[c][k] * g.dndy[0][k];
  const double c11 = f[0][0] * f[0][0] + f[1][0] * f[1][0] + f[2][0] * f[2][0];
  const double c22 = f[0][1] * f[0][1] + f[1][1] * f[1][1] + f[2][1] * f[2][1];
  const double c12 = f[0][0] * f[0][1] + f[1][0] * f[1][1] + f[2][0] * f[2][1];
  const double det = c11 * c22 - c12 * c12;
  if (!(det > 1e-12 * (c11 + c22) * (c11 + c22))) return false;
  const double root = std::sqrt(det), scale = std::sqrt(c11 + c22 + 2.0 * root);
  const double u11 = (c11 + root) / scale, u22 = (c22 + root) / scale, u12 = c12 / scale;
  const double u_det = u11 * u22 - u12 * u12;
  for (int c = 0; c < 3; ++c) {
    r[c][0] = (f[c][0] * u22 - f[c][1] * u12) / u_det;
    r[c][1] = (f[c][1] * u11 - f[c][0] * u12) / u_det;
  }
  return true;
}

// Adds weight (K2 + K3) v to the corner forces (fx, fy), set by set: strains, stresses (engineering
// shear modulus d33 / 2, Ds acting on the tensor shear), then B^T sigma.
void add_second_set_forces(const ElementGeometry& g, const StressMatrix& ds, double weight, const double* vx,
                           const double* vy, double* fx, double* fy) {
  const double shear = 0.5 * ds.d33;
  for (int set = 1; set <= 2; ++set) {
    double exx = 0.0, eyy = 0.0, gxy = 0.0;
    for (int k = 0; k < 4; ++k) {
      exx += g.dndx[set][k] * vx[k], eyy += g.dndy[set][k] * vy[k];
      gxy += g.dndy[set][k] * vx[k] + g.dndx[set][k] * vy[k];
    }
    const double sxx = ds.d11 * exx + ds.d12 * eyy, syy = ds.d12 * exx + ds.d11 * eyy, sxy = shear * gxy;
    for (int k = 0; k < 4; ++k) {
      fx[k] += weight * (g.dndx[set][k] * sxx + g.dndy[set][k] * sxy);
      fy[k] += weight * (g.dndy[set][k] * syy + g.dndx[set][k] * sxy);
    }
  }
}

}  // namespace

std::array<double, 8> hourglass_forces(const ElementGeometry& g, const StressMatrix& ds, double volume,
                                       const BlankCorners& blank) {
  if (g.corners != 4) return {};
  const LocalCorners q = local_blank_corners(g, blank);
  double r[3][2];
  if (!polar_rotation(g, q, r)) return {};
  // The displacement from the blank's shape back to the part's along the local axes, hourglass part
  // only: the part's shape (p, about its centroid) has none.
  double ox = 0.0, oy = 0.0, px[4], py[4], vx[4], vy[4];
  for (int k = 0; k < 4; ++k) ox += 0.25 * g.x[k], oy += 0.25 * g.y[k];
  for (int k = 0; k < 4; ++k) {
    px[k] = g.x[k] - ox, py[k] = g.y[k] - oy;
    vx[k] = -(r[0][0] * q[0][k] + r[1][0] * q[1][k] + r[2][0] * q[2][k]);
    vy[k] = -(r[0][1] * q[0][k] + r[1][1] * q[1][k] + r[2][1] * q[2][k]);
  }
  remove_affine_part(g, px, py, vx);
  remove_affine_part(g, px, py, vy);
  double fx[4] = {}, fy[4] = {};
  add_second_set_forces(g, ds, kHourglassWeight * volume / 3.0, vx, vy, fx, fy);
  remove_affine_work(g, px, py, fx);
  remove_affine_work(g, px, py, fy);
  // Along the blank's directions of the local axes, then their global x and y components.
  std::array<double, 8> forces{};
  for (int k = 0; k < 4; ++k) {
    const double local[3] = {r[0][0] * fx[k] + r[0][1] * fy[k], r[1][0] * fx[k] + r[1][1] * fy[k],
                             r[2][0] * fx[k] + r[2][1] * fy[k]};
    forces[2 * k] = g.e1[0] * local[0] + g.e2[0] * local[1] + g.e3[0] * local[2];
    forces[2 * k + 1] = g.e1[1] * local[0] + g.e2[1] * local[1] + g.e3[1] * local[2];
  }
  return forces;
}

ElementMatrix element_stiffness(const ElementGeometry& g, const StressMatrix& ds, double h, double h0, double s2,
                                const SerendipityTables& tables, const CornerSlopes& slopes) {
  const double h_mean = 0.5 * (h + h0);
  // Ds acts on the tensor shear, i.e. half the engineering shear of B: hence d33 / 2, which makes
  // K the exact derivative of the internal force while Es is constant (tested by finite differences).
  ElementMatrix k = membrane_stiffness(g, ds.d11, ds.d12, 0.5 * ds.d33, element_volume(g, h, h0), slopes);
  mirror_upper(2 * g.corners, k);
  add_steep_wall_stabilisation(g, ds, h_mean, s2, tables, k);
  return k;
}

void add_normal_displacement_stiffness(const ElementGeometry& g, const CornerDisplacements& u, const StressMatrix& ds,
                                       double volume, double weight, ElementMatrix& k) {
  double u3x = 0.0, u3y = 0.0;
  for (int c = 0; c < g.corners; ++c) {
    const double u3 = g.e3[0] * u.ux[c] + g.e3[1] * u.uy[c] + g.e3[2] * u.uz[c];
    u3x += g.dndx[0][c] * u3, u3y += g.dndy[0][c] * u3;
  }
  StrainRows b;
  for (int c = 0; c < g.corners; ++c) {
    const double nx = g.dndx[0][c], ny = g.dndy[0][c];
    for (int a = 0; a < 2; ++a) {
      b.b1[2 * c + a] = u3x * nx * g.e3[a];
      b.b2[2 * c + a] = u3y * ny * g.e3[a];
      b.b3[2 * c + a] = (u3x * ny + u3y * nx) * g.e3[a];
    }
  }
  const int n = 2 * g.corners;
  ElementMatrix ku{};
  add_rows_stiffness(b, n, ds.d11, ds.d12, 0.5 * ds.d33, weight * volume, ku);
  mirror_upper(n, ku);
  for (int i = 0; i < 64; ++i) k[i] += ku[i];
}

void add_strain_measure_stiffness(const ElementGeometry& g, const std::array<double, 3>& a, double weight,
                                  ElementMatrix& k) {
  const int n = 2 * g.corners;
  const StrainRows b = strain_rows(g, 0);
  double d[8];
  for (int i = 0; i < n; ++i) d[i] = a[0] * b.b1[i] + a[1] * b.b2[i] + a[2] * b.b3[i];
  for (int i = 0; i < n; ++i) {
    for (int j = 0; j < n; ++j) k[i * 8 + j] += weight * d[i] * d[j];
  }
}

ThicknessMinimum evaluate_elements(std::span<const ElementGeometry> geometry, const Mesh& part,
                                   std::span<const double> u, std::span<const double> zb,
                                   std::span<const double> material_table, int32_t nm,
                                   std::span<const int32_t> material, std::span<const double> h0,
                                   std::span<double> h, std::span<double> epsbar, std::span<double> stress,
                                   std::span<double> strain, int32_t threads, std::span<const int32_t> branch) {
  // Every element writes only its own slots, so any thread may evaluate it: the results do not depend on
  // the thread count. HMIN is then found in element order.
  const size_t ne = static_cast<size_t>(part.ne);
#pragma omp parallel for schedule(dynamic, 64) num_threads(threads)
  for (int32_t e = 0; e < part.ne; ++e) {
    const ElementGeometry g = element_geometry(geometry, part, e);
    const MaterialRow row = material_row(material_table, nm, material[e]);
    const ElementStrain st = evaluate_element(g, corner_displacements(part, e, g.corners, u, zb), row, h0[e], branch.empty() ? 0 : branch[e]);
    h[e] = st.h;
    epsbar[e] = st.epsbar;
    stress[e] = st.sxx, stress[ne + e] = st.syy, stress[2 * ne + e] = st.sxy;
    if (!strain.empty()) strain[e] = st.exx, strain[ne + e] = st.eyy, strain[2 * ne + e] = st.exy;
  }
  ThicknessMinimum hmin;
  for (int32_t e = 0; e < part.ne; ++e) {
    if (h[e] < hmin.value) hmin = {h[e], e};  // strictly smaller: the first element keeps a tie
  }
  return hmin;
}

}  // namespace trevo
