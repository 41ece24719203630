// The binder-surface calculation that lays the blank lying on a binder out flat, and its abandon message.
#include "restraint/binder_surface.h"

#include <gtest/gtest.h>

#include <cmath>

#include "../solver/solver_fixtures.h"
#include "restraint/unfolding_schedule.h"

namespace trevo {
namespace {

// A strip of 5 x 2 unit cells (one as two triangles), wrapped round a cylinder of radius 4 about y, or
// flat at z = 3; the blank starts on it (Zb 7 to be cleared), DEPS 1e-10.
TEST(BinderSurface, DevelopableBlankConvergesToItsDevelopment) {
  for (const bool wrapped : {true, false}) {
    test::OwnedMesh m = test::make_grid(5, 2, 1.0, 1.0, {3});
    for (int32_t i = 0; i < m.nn(); ++i) {
      const double u = m.x[i];
      m.x[i] = wrapped ? 4.0 * std::sin(u / 4.0) : u, m.z[i] = wrapped ? 4.0 - 4.0 * std::cos(u / 4.0) : 3.0;
    }
    test::OneStepRun s(m);
    s.settings.displacement_tolerance = 1e-10;
    std::fill(s.Zb.begin(), s.Zb.end(), 7.0);
    test::Captured out;
    const BinderSurfaceResult r = binder_surface(s.model, s.state, PrescribedMotion{}, s.settings, out.reporter);
    EXPECT_LT(r.adp, 10.0 * s.settings.displacement_tolerance) << "not converged:\n" << out.console.str();
    EXPECT_EQ(r.iterations > 1, wrapped);
    EXPECT_EQ(s.Zb, std::vector<double>(s.nn, 0.0));
    for (int32_t e = 0; e < s.part.ne; ++e)
      for (int k = 0; k < s.part.corners[e]; ++k) {
        const int32_t a = s.part.node(e, k), b = s.part.node(e, (k + 1) % s.part.corners[e]);
        EXPECT_NEAR(std::hypot(s.X[a] - s.X[b], s.Y[a] - s.Y[b]),
                    std::hypot(s.part.x[a] - s.part.x[b], s.part.y[a] - s.part.y[b], s.part.z[a] - s.part.z[b]), 1e-6)
            << "element " << e << " edge " << k;
      }
    const std::vector<std::string> lines = test::lines(out.console);
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines.back(), unfolding_progress_line(r.iterations, r.adp, 1.0));
    EXPECT_EQ(lines[0].substr(0, 9), unfolding_progress_line(1, 0.0, 1.0).substr(0, 9));
    EXPECT_EQ(out.report.str(), out.console.str());
  }
}

TEST(BinderSurface, AbandonMessageOnConsoleAndReportOnlyAtLevelTwo) {
  test::Captured out, quiet;
  RunSettings settings;
  report_binder_surface_abandoned(settings, out.reporter);
  settings.message_level = 1;
  report_binder_surface_abandoned(settings, quiet.reporter);
  const std::string first = " ******* Due to lack of convergency, binder surface\n";
  EXPECT_EQ(out.console.str(), "\n" + first + "        calculation is not continued *******\n\n");
  EXPECT_EQ(out.report.str(), first + "         calculation is not continued *******\n\n");
  EXPECT_EQ(quiet.console.str() + quiet.report.str(), "");
}

}  // namespace
}  // namespace trevo
