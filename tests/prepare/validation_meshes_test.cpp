// Checks 1 and 2 (Part 3.2) on every generated validation part: each opens upwards (no
// element at nz <= -0.45) and is one consistently oriented region, so neither check writes
// anything, the method stays 1 and the connectivity is unchanged.
#include <gtest/gtest.h>

#include <filesystem>

#include "prep_test_mesh.h"
#include "prepare/model_checks.h"

namespace trevo {
namespace {

TEST(ValidationMeshes, ChecksOneAndTwoLeaveUpwardPartsUnchanged) {
  const std::filesystem::path dir = std::filesystem::path(TREVO_SHARED_DIR) / "validation" / "generated";
  int parts = 0;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    if (entry.path().extension() != ".dat") continue;
    ++parts;
    test::OwnedMesh o = test::read_part(entry.path().string());
    Mesh m = o.view();
    ASSERT_GT(m.ne, 0) << entry.path();
    const std::vector<int32_t> before = o.conn;
    std::vector<int32_t> nb = test::neighbour_table(m);
    RunSettings s;
    test::CapturedReporter out;
    orientation_check(m, nb, o.labels, s, out.reporter);
    punch_direction_check(m, o.labels, s, out.reporter);
    EXPECT_EQ(s.method, 1) << entry.path();
    EXPECT_TRUE(out.console.str().empty()) << entry.path() << "\n" << out.console.str();
    EXPECT_TRUE(out.report.str().empty()) << entry.path();
    EXPECT_TRUE(o.conn == before) << entry.path() << ": orientation changed";
  }
  EXPECT_EQ(parts, 14);
}

}  // namespace
}  // namespace trevo
