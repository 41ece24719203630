// Element-angle and orientation checks of the elastic approximation method.
#include "elastic/elastic_checks.h"

#include <cmath>
#include <string>

#include "core/run_stop.h"
#include "fortran/edit.h"
#include "prepare/topology.h"

namespace trevo {

namespace {

constexpr double kCosTwoDegrees = 0.99939082701909576;  // cos(0.03490658504)
constexpr double kDegrees = 57.295779513;
constexpr const char* kBadElement = " bad elements in the model, that may affect accuracy.........";

struct Vec3 {
  double x, y, z;
};

Vec3 point(const Mesh& m, int32_t n) { return {m.x[n], m.y[n], m.z[n]}; }
Vec3 minus(Vec3 a, Vec3 b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
double dot(Vec3 a, Vec3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; }

double corner_cosine(Vec3 at, Vec3 p, Vec3 q) {
  const Vec3 a = minus(p, at), b = minus(q, at);
  return dot(a, b) / (std::sqrt(dot(a, a) + 1e-80) * std::sqrt(dot(b, b) + 1e-80));
}

double normal_z(const Mesh& m, int32_t e) {
  const Vec3 p1 = point(m, m.node(e, 0)), a = minus(point(m, m.node(e, 1)), p1), b = minus(point(m, m.node(e, 2)), p1);
  const Vec3 n{a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
  return n.z / std::sqrt(dot(n, n) + 1e-80);
}

std::string padded79(std::string text) {
  if (text.size() < 79) text.resize(79, ' ');
  return text;
}

// Does element m, sharing nodes a and b with a neighbour that runs a -> b, run a -> b too?
bool runs_same_way(const Mesh& part, int32_t m, int32_t a, int32_t b) {
  const int n = corner_count(part, m);
  for (int j = 0; j < n; ++j)
    if (part.node(m, j) == a && part.node(m, (j + 1) % n) == b) return true;
  return false;
}

}  // namespace

double reported_corner_angle(const Mesh& part, int32_t e) {
  const Vec3 p1 = point(part, part.node(e, 0)), p2 = point(part, part.node(e, 1)), p3 = point(part, part.node(e, 2));
  const double c1 = corner_cosine(p1, p2, p3);
  if (std::fabs(c1) >= kCosTwoDegrees) return std::acos(c1) * kDegrees;
  const double c2 = corner_cosine(p2, p1, p3);
  if (std::fabs(c2) >= kCosTwoDegrees) return std::acos(c2) * kDegrees;
  return -1.0;
}

void element_angle_check(const Mesh& part, int32_t message_level, Reporter& reporter) {
  if (message_level != 2) return;
  for (int32_t e = 0; e < part.ne; ++e) {
    const double angle = reported_corner_angle(part, e);
    if (angle < 0.0) continue;
    const std::string head = fortran::edit_i(e + 1, 5) + kBadElement;
    reporter.console(head);
    reporter.console("Angle is," + fortran::edit_g(angle, 13, 5));
    reporter.report(head + "  Angle," + fortran::edit_g(angle, 12, 5));
  }
}

int32_t unfolding_seed(const Mesh& part, std::span<double> nz) {
  double largest = -2.0, mean_x = 0.0, mean_y = 0.0;
  for (int32_t e = 0; e < part.ne; ++e) {
    nz[e] = normal_z(part, e);
    largest = std::fmax(largest, nz[e]);
  }
  for (int32_t i = 0; i < part.nn; ++i) mean_x += part.x[i], mean_y += part.y[i];
  mean_x /= part.nn, mean_y /= part.nn;
  int32_t seed = 0;
  double nearest = 1.0e80;
  for (int32_t e = 0; e < part.ne; ++e) {
    if (!(nz[e] > 0.8 * largest)) continue;
    double cx = 0.0, cy = 0.0;
    for (int k = 0; k < 3; ++k) cx += part.x[part.node(e, k)] / 3.0, cy += part.y[part.node(e, k)] / 3.0;
    const double distance = (cx - mean_x) * (cx - mean_x) + (cy - mean_y) * (cy - mean_y);
    if (distance < nearest) nearest = distance, seed = e;
  }
  return seed;
}

bool orient_for_unfolding(Mesh& part, std::span<int32_t> neighbours, std::span<double> nz, std::span<int32_t> mark) {
  enum : int32_t { unreached = 0, reached = 1, done = 2 };
  const int32_t ne = part.ne;
  for (int32_t e = 0; e < ne; ++e)
    if (normal_z(part, e) < 0.0) reverse_element(part, e, neighbours);
  const int32_t seed = unfolding_seed(part, nz);
  std::fill(mark.begin(), mark.end(), unreached);
  mark[seed] = reached;
  int32_t left = ne - 1;
  for (int64_t sweep = 0; left > 0 && sweep < int64_t{ne} + 100; ++sweep) {
    bool visited = false;
    for (int32_t e = 0; e < ne; ++e) {
      if (mark[e] != reached) continue;
      visited = true;
      mark[e] = done;
      const int n = corner_count(part, e);
      for (int k = 0; k < n; ++k) {
        const int32_t m = neighbours[static_cast<size_t>(k) * ne + e];
        if (m == kNone || mark[m] != unreached) continue;
        if (runs_same_way(part, m, part.node(e, k), part.node(e, (k + 1) % n))) reverse_element(part, m, neighbours);
        mark[m] = reached;
        --left;
      }
    }
    if (!visited) break;  // nothing left to propagate from: the rest is never reached
  }
  return left == 0;
}

void orientation_and_overlap_check(Mesh& part, std::span<int32_t> neighbours, std::span<double> nz,
                                   std::span<int32_t> mark, int32_t message_level, Reporter& reporter) {
  if (orient_for_unfolding(part, neighbours, nz, mark) || message_level != 2) return;
  reporter.message(padded79("........ Overlap elements found in the model."));
  reporter.message(padded79("         Check the mesh and try again ......."));
  stop_run();
}

}  // namespace trevo
