// The tipping of a flanging job: its binder brought level, the part tipped on only out of an undercut.
#include "prepare/flanging_tipping.h"

#include <gtest/gtest.h>

#include "../test_mesh.h"
#include "core/frame_transform.h"

namespace trevo {
namespace {

// A 3 x 3 part over a 5 x 4 binder (or none, or one folded back on itself: its cells twice, the first
// copy facing down), with or without a part cell turned 115 degrees from +z (nz -0.423, an undercut);
// the job turned about z, then tilted so that tipping by (tilt_x, tilt_y) undoes the tilt. Tipped, every
// binder normal is +z (1e-9) and, unturned, the angles are the tilt; a part that would undercut is
// tipped on just past the limit (within a step, nz 0.016); without a binder that gives a direction
// the nodal-normal search decides.
TEST(FlangingTipping, LevelsTheBinderAndTipsOnlyOutOfAnUndercut) {
  enum Binder { none, plane, folded };
  const double deg = 3.1415926535898 / 180.0, limit = -0.3421;
  using enum TippingSource;
  struct Row { Binder with; double turn_z, tilt_x, tilt_y; bool undercut; TippingSource source; };
  for (const Row& row : {Row{plane, 0, 12, -5, false, binder}, {plane, 0, 0, 0, false, binder},
                         {plane, 37, -40, 25, false, binder}, {plane, -70, 60, 10, false, binder},
                         {plane, 15, 8, -6, true, binder_and_part}, {none, 20, 60, -10, false, part},
                         {folded, 0, 50, 30, false, part}}) {
    SCOPED_TRACE(testing::Message() << row.with << " " << row.turn_z << " " << row.tilt_x << " " << row.tilt_y);
    test::OwnedMesh p = test::make_grid(3, 3), b;
    if (row.undercut) test::add_grid(p, 1, 1, 5.0, 0.0);
    for (int i = 16; i < p.nn(); ++i) rotate_about_x(115 * deg, p.y[i], p.z[i]);
    for (int copy = 0; copy < row.with; ++copy) test::add_grid(b, 5, 4, -1.0, -0.5);
    for (int e = 0; row.with == folded && e < 20; ++e) test::reverse_row(b, e);
    for (test::OwnedMesh* m : {&p, &b})
      for (size_t i = 0; i < m->x.size(); ++i) {
        const double x = m->x[i], y = m->y[i], c = std::cos(row.turn_z * deg), s = std::sin(row.turn_z * deg);
        m->x[i] = c * x - s * y, m->y[i] = s * x + c * y, m->z[i] -= m == &b;
        untip(std::span(&m->x[i], 1), std::span(&m->y[i], 1), std::span(&m->z[i], 1), row.tilt_x * deg,
              row.tilt_y * deg);
      }
    std::vector<double> nx(p.nn()), ny(p.nn()), nz(p.nn());
    const FlangingTipping t = flanging_tipping(p.view(), b.view(), limit, nx, ny, nz);
    EXPECT_EQ(t.source, row.source);
    if (row.source == part) {
      nodal_normals(p.view(), nx, ny, nz);
      const TippingAngles search = tipping_search(nx, ny, nz);
      EXPECT_TRUE(t.angles.alpha == search.alpha && t.angles.beta == search.beta) << t.angles.alpha;
      continue;
    }
    for (test::OwnedMesh* m : {&p, &b}) tip(m->x, m->y, m->z, t.angles.alpha, t.angles.beta);
    const Vec3 n = element_normal(b.view(), 0);  // the binder is one plane
    const double lowest = smallest_element_nz(p.view());
    EXPECT_TRUE(row.undercut || std::hypot(n[0], n[1], n[2] - 1.0) < 1e-9) << n[0] << " " << n[1];
    EXPECT_NEAR(lowest, row.undercut ? limit + 0.008 : 1.0, row.undercut ? 0.008 : 1e-9);
    const double off = std::hypot(t.angles.alpha - row.tilt_x * deg, t.angles.beta - row.tilt_y * deg);
    EXPECT_TRUE(row.turn_z != 0 || off < 1e-12) << off;
  }
}

}  // namespace
}  // namespace trevo
