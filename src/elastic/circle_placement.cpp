// Circle intersection of a new blank node.
#include "elastic/circle_placement.h"

#include <cmath>
#include <utility>

namespace trevo {

namespace {

constexpr double kScaleExponent = 0.618;
constexpr double kLeftTurn = 1.0e-36;    // cross product above which Q lies left of A->B
constexpr double kCollinear = 1.0e-5;   // cross product at or below which the triangle is flat

double cross(PlanePoint a, PlanePoint b, PlanePoint q) { return (b.X - a.X) * (q.Y - a.Y) - (b.Y - a.Y) * (q.X - a.X); }

// The two intersections of |P - A| = r1 and |P - B| = r2, solved for the coordinate in
// which A and B differ less as a function of the other. With u the coordinate of larger
// difference and v the other one (both relative to A), the radical line gives
// u = (c - v dv) / du with c = (r1^2 - r2^2 + du^2 + dv^2) / 2, and r1^2 = u^2 + v^2 a
// quadratic in v. A negative discriminant (circles that miss) is taken as 0.
std::pair<PlanePoint, PlanePoint> intersections(PlanePoint a, PlanePoint b, double r1, double r2, bool y_first) {
  const double dX = b.X - a.X, dY = b.Y - a.Y;
  const double du = y_first ? dX : dY, dv = y_first ? dY : dX;
  const double c = 0.5 * (r1 * r1 - r2 * r2 + du * du + dv * dv);
  // (c - v dv)^2 / du^2 + v^2 = r1^2  ->  (dv^2 + du^2) v^2 - 2 c dv v + c^2 - r1^2 du^2 = 0
  const double qa = du * du + dv * dv, qb = -2.0 * c * dv, qc = c * c - r1 * r1 * du * du;
  const double root = std::sqrt(std::fmax(qb * qb - 4.0 * qa * qc, 0.0));
  const double v1 = (-qb + root) / (2.0 * qa), v2 = (-qb - root) / (2.0 * qa);
  const double u1 = (c - v1 * dv) / du, u2 = (c - v2 * dv) / du;
  if (y_first) return {{a.X + u1, a.Y + v1}, {a.X + u2, a.Y + v2}};
  return {{a.X + v1, a.Y + u1}, {a.X + v2, a.Y + u2}};
}

}  // namespace

PlacedNode place_new_node(PlanePoint a, PlanePoint b, double l_ab, double l_aq, double l_bq) {
  const double dX = b.X - a.X, dY = b.Y - a.Y;
  const double d = std::sqrt(dX * dX + dY * dY + 1e-80);
  const double s = std::pow(d / (1e-50 + l_ab), kScaleExponent);
  double r1 = s * l_aq, r2 = s * l_bq;
  if (d > l_ab && 0.95 * (r1 + r2) <= d) {  // a stretched edge the two sides cannot span
    const double widen = d / (0.95 * (r1 + r2));
    r1 *= widen, r2 *= widen;
  }
  const double d_plain = std::sqrt(dX * dX + dY * dY);
  if (std::fabs(r1 - r2) > 0.98 * d_plain) {  // one circle inside the other
    double& larger = r1 > r2 ? r1 : r2;
    const double smaller = r1 > r2 ? r2 : r1;
    larger = smaller >= d_plain ? smaller + 0.96 * d_plain : 0.96 * smaller + d_plain;
  }
  const bool y_first = std::fabs(dX) >= std::fabs(dY);
  const auto [p1, p2] = intersections(a, b, r1, r2, y_first);
  PlacedNode out;
  out.q = cross(a, b, p1) > kLeftTurn ? p1 : p2;
  if (std::fabs(cross(a, b, out.q)) <= kCollinear)
    out.warning = y_first ? PlacementWarning::collinear_y_first : PlacementWarning::collinear_x_first;
  return out;
}

const char* placement_warning_text(PlacementWarning warning) {
  switch (warning) {
    case PlacementWarning::collinear_y_first: return "*******  ERROR *******";
    case PlacementWarning::collinear_x_first: return "******* ERROR *******";
    case PlacementWarning::none: break;
  }
  return "";
}

}  // namespace trevo
