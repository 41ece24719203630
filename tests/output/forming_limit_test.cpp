// The forming-limit curve of the run summary against the published formula.
#include <cmath>

#include <gtest/gtest.h>

#include "output/forming_limit.h"

namespace trevo {
namespace {

TEST(FormingLimit, PlaneStrainLevelFromThePublishedFormula) {
  // (n, t mm, FLC0 in % engineering major strain as the formula gives it, by hand)
  const struct {
    double n, t, percent;
  } rows[] = {{0.21, 1.0, 37.43}, {0.105, 1.0, 18.715}, {0.21, 2.0, 51.56}, {0.30, 1.0, 37.43}, {0.14, 0.8, 23.0693333}};
  for (const auto& r : rows) {
    const FormingLimit limit = forming_limit(r.n, r.t);
    EXPECT_NEAR(std::expm1(limit.flc0) * 100.0, r.percent, 1e-6) << "n=" << r.n << " t=" << r.t;
    EXPECT_DOUBLE_EQ(limit_major_strain(limit, 0.0), limit.flc0);
  }
}

TEST(FormingLimit, CurveShapeAndPrincipalStrains) {
  const FormingLimit limit = forming_limit(0.22, 1.0);
  const auto curve = limit_curve(limit);
  ASSERT_EQ(curve.size(), 17u);
  for (std::size_t i = 1; i < curve.size(); ++i) {
    const double minor = curve[i][0], major = curve[i][1];
    if (minor <= 0.0)  // the drawing side: constant thickness strain, major + minor = FLC0
      EXPECT_NEAR(major + minor, limit.flc0, 1e-12) << i;
    else               // the stretching side rises, and less steeply than the drawing side falls
      EXPECT_GT(major, curve[i - 1][1]) << i;
  }
  // Principal strains do not depend on the axes: a tensor turned by any angle keeps them.
  const double exx = 0.3, eyy = -0.1, exy = 0.05;
  const auto p = principal_strains(exx, eyy, exy);
  for (const double a : {0.3, 1.0, 2.5}) {
    const double c = std::cos(a), s = std::sin(a);
    const double rxx = c * c * exx + s * s * eyy + 2 * s * c * exy, ryy = s * s * exx + c * c * eyy - 2 * s * c * exy,
                 rxy = (c * c - s * s) * exy + s * c * (eyy - exx);
    const auto q = principal_strains(rxx, ryy, rxy);
    EXPECT_NEAR(q[0], p[0], 1e-14) << a;
    EXPECT_NEAR(q[1], p[1], 1e-14) << a;
  }
  EXPECT_NEAR(p[0] + p[1], exx + eyy, 1e-15);
  EXPECT_NEAR(p[0] * p[1], exx * eyy - exy * exy, 1e-15);
}

}  // namespace
}  // namespace trevo
