// Stabilisation of the element stiffness. Derivation: docs/element_stabilisation.md.
#include "solver/element_stabilisation.h"

#include <algorithm>
#include <cmath>

namespace trevo {
namespace {

constexpr double kGauss = 0.5773502691896258;  // 1 / sqrt(3)
constexpr double kGaussXi[4] = {kGauss, -kGauss, -kGauss, kGauss};
constexpr double kGaussEta[4] = {kGauss, kGauss, -kGauss, -kGauss};
constexpr double kNodeXi[8] = {1.0, -1.0, -1.0, 1.0, 0.0, -1.0, 0.0, 1.0};
constexpr double kNodeEta[8] = {1.0, 1.0, -1.0, -1.0, 1.0, 0.0, -1.0, 0.0};

// Stiffness scale of the steep-wall terms relative to the element's shear modulus times thickness: small
// enough that walls between 60 and 90 deg keep most of their own membrane stiffness (see the docs).
constexpr double kSteepWallStiffness = 0.3;
// Rigidity factor of the DKQ term: makes trace(dkq_normal_stiffness) on a square equal to the trace of the
// triangle's normal-gradient penalty on the same square (2 k_s: the DKQ trace is 40 db / area there); checked by a test.
constexpr double kDkqRigidity = 0.05;
// Poisson ratio of the DKQ plate rigidity: 0.5, as the incompressible sheet.
constexpr double kDkqPoisson = 0.5;

// Adds kw (n x n, row-major, acting on w_k = e3 . u_k) to the in-plane dofs: K(2i+a, 2j+b) += kw(i,j) e3a e3b.
void add_normal_block(const double* kw, int32_t n, const double e3[3], ElementMatrix& k) {
  for (int32_t i = 0; i < n; ++i) {
    for (int32_t j = 0; j < n; ++j) {
      const double w = kw[i * n + j];
      for (int a = 0; a < 2; ++a) {
        for (int b = 0; b < 2; ++b) k[(2 * i + a) * 8 + 2 * j + b] += w * (e3[a] * e3[b]);
      }
    }
  }
}

}  // namespace

SerendipityTables serendipity_tables() {
  SerendipityTables t;
  for (int g = 0; g < 4; ++g) {
    const double xi = kGaussXi[g], eta = kGaussEta[g];
    for (int i = 0; i < 8; ++i) {
      const double xi_i = kNodeXi[i], eta_i = kNodeEta[i];
      if (i < 4) {  // corner: N = 1/4 (1 + xi xi_i)(1 + eta eta_i)(xi xi_i + eta eta_i - 1)
        t.dndxi[g][i] = 0.25 * xi_i * (1.0 + eta * eta_i) * (2.0 * xi * xi_i + eta * eta_i);
        t.dndeta[g][i] = 0.25 * eta_i * (1.0 + xi * xi_i) * (xi * xi_i + 2.0 * eta * eta_i);
      } else if (xi_i == 0.0) {  // mid-side on eta = +-1: N = 1/2 (1 - xi^2)(1 + eta eta_i)
        t.dndxi[g][i] = -xi * (1.0 + eta * eta_i);
        t.dndeta[g][i] = 0.5 * (1.0 - xi * xi) * eta_i;
      } else {  // mid-side on xi = +-1: N = 1/2 (1 + xi xi_i)(1 - eta^2)
        t.dndxi[g][i] = 0.5 * xi_i * (1.0 - eta * eta);
        t.dndeta[g][i] = -eta * (1.0 + xi * xi_i);
      }
    }
  }
  return t;
}

double steep_wall_weight(double nz) { return std::clamp(1.0 - 2.0 * nz, 0.0, 1.0); }

// DKQ (Batoz and Tahar): the rotations beta_x, beta_y are interpolated with the 8 serendipity functions;
// the mid-side rotations follow from the Kirchhoff constraint on each edge. With the corner rotations held
// at 0, only the mid-side terms 1.5 (a_k N_k - a_m N_m) and 1.5 (d_k N_k - d_m N_m) of the w dofs remain
// (k the mid-side node of the edge leaving the corner, m that of the edge arriving at it).
std::array<double, 16> dkq_normal_stiffness(const ElementGeometry& g, const SerendipityTables& tables, double db) {
  double a[4], d[4], xn[8], yn[8];
  for (int k = 0; k < 4; ++k) {
    const int j = (k + 1) % 4;
    const double xij = g.x[k] - g.x[j], yij = g.y[k] - g.y[j];
    const double l2 = xij * xij + yij * yij;
    a[k] = -xij / l2;
    d[k] = -yij / l2;
    xn[k] = g.x[k], yn[k] = g.y[k];
    xn[4 + k] = 0.5 * (g.x[k] + g.x[j]), yn[4 + k] = 0.5 * (g.y[k] + g.y[j]);
  }
  const double d_plate[3][3] = {{db, kDkqPoisson * db, 0.0},
                                {kDkqPoisson * db, db, 0.0},
                                {0.0, 0.0, 0.5 * (1.0 - kDkqPoisson) * db}};
  std::array<double, 16> kw{};
  for (int gp = 0; gp < 4; ++gp) {
    const double* n_xi = tables.dndxi[gp];
    const double* n_eta = tables.dndeta[gp];
    // Jacobian of the straight-sided serendipity map (mid-side nodes at the edge midpoints).
    double x_xi = 0.0, x_eta = 0.0, y_xi = 0.0, y_eta = 0.0;
    for (int i = 0; i < 8; ++i) {
      x_xi += n_xi[i] * xn[i], x_eta += n_eta[i] * xn[i];
      y_xi += n_xi[i] * yn[i], y_eta += n_eta[i] * yn[i];
    }
    const double det = x_xi * y_eta - x_eta * y_xi;
    const double xi_x = y_eta / det, eta_x = -y_xi / det, xi_y = -x_eta / det, eta_y = x_xi / det;
    double bb[3][4];  // curvature rows (beta_x,x; beta_y,y; beta_x,y + beta_y,x) per corner w
    for (int c = 0; c < 4; ++c) {
      const int k = 4 + c, m = 4 + (c + 3) % 4;  // mid-side nodes of the leaving and arriving edges
      const int ek = c, em = (c + 3) % 4;
      const double hx_xi = 1.5 * (a[ek] * n_xi[k] - a[em] * n_xi[m]);
      const double hx_eta = 1.5 * (a[ek] * n_eta[k] - a[em] * n_eta[m]);
      const double hy_xi = 1.5 * (d[ek] * n_xi[k] - d[em] * n_xi[m]);
      const double hy_eta = 1.5 * (d[ek] * n_eta[k] - d[em] * n_eta[m]);
      const double hx_x = xi_x * hx_xi + eta_x * hx_eta, hx_y = xi_y * hx_xi + eta_y * hx_eta;
      const double hy_x = xi_x * hy_xi + eta_x * hy_eta, hy_y = xi_y * hy_xi + eta_y * hy_eta;
      bb[0][c] = hx_x, bb[1][c] = hy_y, bb[2][c] = hx_y + hy_x;
    }
    for (int i = 0; i < 4; ++i) {
      double db_i[3];
      for (int r = 0; r < 3; ++r) db_i[r] = d_plate[r][0] * bb[0][i] + d_plate[r][1] * bb[1][i] + d_plate[r][2] * bb[2][i];
      for (int j = i; j < 4; ++j) kw[i * 4 + j] += det * (db_i[0] * bb[0][j] + db_i[1] * bb[1][j] + db_i[2] * bb[2][j]);
    }
  }
  for (int i = 0; i < 4; ++i)
    for (int j = i + 1; j < 4; ++j) kw[j * 4 + i] = kw[i * 4 + j];  // exactly symmetric
  return kw;
}

void add_steep_wall_stabilisation(const ElementGeometry& g, const StressMatrix& ds, double h_mean, double s2,
                                  const SerendipityTables& tables, ElementMatrix& k) {
  const double nz = g.e3[2];
  if (nz >= 0.5 && (g.corners == 3 || nz > 0.5)) return;  // triangles: nz < 0.5; quadrilaterals: nz <= 0.5
  const double k_s = s2 * steep_wall_weight(nz) * kSteepWallStiffness * ds.d33 * h_mean;
  if (k_s == 0.0) return;
  if (g.corners == 3) {
    double kw[9];
    for (int i = 0; i < 3; ++i) {
      for (int j = 0; j < 3; ++j) {
        kw[i * 3 + j] = k_s * g.area * (g.dndx[0][i] * g.dndx[0][j] + g.dndy[0][i] * g.dndy[0][j]);  // symmetric
      }
    }
    add_normal_block(kw, 3, g.e3, k);
  } else {
    const std::array<double, 16> kw = dkq_normal_stiffness(g, tables, k_s * g.area * kDkqRigidity);
    add_normal_block(kw.data(), 4, g.e3, k);
  }
}

void scale_restraint_diagonal(int32_t category, double s1, const std::array<double, 4>& kx,
                              const std::array<double, 4>& ky, int32_t corners, ElementMatrix& k) {
  double weight = 0.0;
  bool scale_x = false, scale_y = false;
  switch (category) {
    case 1: weight = 0.2, scale_x = scale_y = true; break;
    case 2: weight = 0.2, scale_x = true; break;
    case 3: weight = 0.2, scale_y = true; break;
    case 11: weight = 1.0, scale_x = scale_y = true; break;
    case 12: weight = 1.0, scale_x = true; break;
    case 13: weight = 1.0, scale_y = true; break;
    default: return;
  }
  for (int32_t c = 0; c < corners; ++c) {
    if (scale_x) k[(2 * c) * 8 + 2 * c] *= 1.0 + weight * s1 * kx[c];
    if (scale_y) k[(2 * c + 1) * 8 + 2 * c + 1] *= 1.0 + weight * s1 * ky[c];
  }
}

}  // namespace trevo
