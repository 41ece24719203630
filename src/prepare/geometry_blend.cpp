// The geometry blend: one fixed move, then passes of the blend factor until the smallest
// element normal z exceeds 0.06 or 200 passes are done.
#include "prepare/geometry_blend.h"

#include <algorithm>
#include <string>

#include "fortran/edit.h"
#include "prepare/element_normal.h"

namespace trevo {

namespace {

constexpr double kQualityLimit = 0.06;
constexpr int32_t kMaxPasses = 200;

struct Quality {
  double q = 2.0;
  int32_t element = 0;
};

// Smallest element normal z, the first element on ties.
Quality part_quality(const Mesh& part) {
  Quality result;
  for (int32_t e = 0; e < part.ne; ++e) {
    const double nz = element_normal(part, e)[2];
    if (nz < result.q) result = {nz, e};
  }
  return result;
}

// x += a (X - x), y += a (Y - y), z *= zscale for every node.
void move_towards_blank(Mesh& part, std::span<const double> X, std::span<const double> Y, double a, double zscale) {
  for (int32_t i = 0; i < part.nn; ++i) {
    part.x[i] += a * (X[i] - part.x[i]);
    part.y[i] += a * (Y[i] - part.y[i]);
    part.z[i] = zscale * part.z[i];
  }
}

// Format (1X, I4, 4X, 2G16.7, I8): k, f, q and the element's internal number, console then report.
void write_blend_line(int32_t k, double f, const Quality& quality, Reporter& r) {
  std::string line = " ";
  line += fortran::edit_i(k, 4);
  line += fortran::edit_x(4);
  line += fortran::edit_g(f, 16, 7);
  line += fortran::edit_g(quality.q, 16, 7);
  line += fortran::edit_i(quality.element + 1, 8);
  r.both(line);
}

}  // namespace

BlendResult blend_geometry(Mesh& part, std::span<const double> X, std::span<const double> Y,
                           std::span<double> Zb, int32_t binder_flag, double f, Reporter& r) {
  if (binder_flag == 0) std::fill(Zb.begin(), Zb.end(), 0.0);
  move_towards_blank(part, X, Y, 0.02, 0.99236);
  Quality quality = part_quality(part);
  int32_t k = 1;
  if (quality.q <= kQualityLimit) {
    for (;;) {
      move_towards_blank(part, X, Y, f, 1.0 - 0.382 * f);
      if (k == 1) write_blend_line(k, f, quality, r);
      quality = part_quality(part);
      if (quality.q > kQualityLimit) break;
      if (++k > kMaxPasses) return {k, false, quality.q, quality.element};
    }
  }
  write_blend_line(k, f, quality, r);
  return {k, true, quality.q, quality.element};
}

}  // namespace trevo
