// Tests of Part 7.3: the Nastran blank mesh and the feature-line file.
#include "output/blank_mesh.h"

#include <gtest/gtest.h>

#include <cstring>
#include <sstream>

#include "readers.h"
#include "../test_mesh.h"

namespace trevo {
namespace {

using test::make_grid;
using test::make_mesh;
using test_readers::NasFile;
using test_readers::read_nastran;

const LocalTime kTime{2026, 3, 4, 9, 5, 3};

NasFile write_and_read(Mesh m, const FrameTransform& t = {}, const LocalTime& time = kTime, std::string* text = nullptr) {
  std::stringstream s;
  write_blank_mesh(s, m, t, time);
  if (text) *text = s.str();
  return read_nastran(s);
}

// Part 7.3 Edge cases: a run at 09:05:03 on 4 March 2026 writes 03/04/2026 and 09:05:03.
TEST(BlankMeshFile, DateAndTimeWithLeadingZeros) {
  auto g = make_grid(1, 1, 1.0, 1.0);
  std::string text;
  const NasFile f = write_and_read(g.view(), {}, kTime, &text);
  ASSERT_EQ(f.error, "") << text;
  EXPECT_EQ(f.signature, "$KVO/TREVO");
  EXPECT_EQ(f.version, "$VERSION 2.0   DATE 03/04/2026   TIME 09:05:03");
  EXPECT_EQ(f.month, 3);
  EXPECT_EQ(f.day, 4);
  EXPECT_EQ(f.hour, 9);
  EXPECT_EQ(write_and_read(g.view(), {}, {2026, 12, 31, 23, 59, 58}).version,
            "$VERSION 2.0   DATE 12/31/2026   TIME 23:59:58");  // 24-hour clock
}

// Part 7.3 Edge cases: one triangle whose fourth corner is 0 (kNone inside trevo) gives one CTRIA3 with three nodes.
TEST(BlankMeshFile, TriangleWithFourthCornerZeroIsCtria3) {
  auto m = make_mesh({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {{0, 1, 2, 2}});
  m.conn[3] = kNone;
  std::string text;
  const NasFile f = write_and_read(m.view(), {}, kTime, &text);
  ASSERT_EQ(f.error, "") << text;
  ASSERT_EQ(f.elements.size(), 1u);
  EXPECT_EQ(f.elements[0].kind, "CTRIA3");
  EXPECT_EQ(f.elements[0].number, 1);
  EXPECT_EQ(f.elements[0].property, 1);
  EXPECT_EQ(f.elements[0].nodes, (std::vector<long long>{1, 2, 3}));
  EXPECT_NE(text.find("CTRIA3         1       1       1       2       3\n"), std::string::npos) << text;
  m.conn[3] = 2;  // fourth corner equal to the third: a triangle as well
  EXPECT_EQ(write_and_read(m.view()).elements[0].kind, "CTRIA3");
}

// Part 7.3 Data model: a quadrilateral is a CQUAD4 with four nodes; counts and ENDDATA.
TEST(BlankMeshFile, QuadrilateralsCountsAndEnd) {
  auto g = make_grid(2, 1, 10.0, 5.0);
  const NasFile f = write_and_read(g.view());
  ASSERT_EQ(f.error, "");
  EXPECT_EQ(f.node_count, 6);
  EXPECT_EQ(f.element_count, 2);
  ASSERT_EQ(f.elements.size(), 2u);
  EXPECT_EQ(f.elements[1].kind, "CQUAD4");
  EXPECT_EQ(f.elements[1].number, 2);
  EXPECT_EQ(f.elements[1].nodes, (std::vector<long long>{2, 3, 6, 5}));
  ASSERT_EQ(f.grids.size(), 6u);
  for (size_t n = 0; n < 6; ++n) {
    EXPECT_EQ(f.grids[n].number, static_cast<long long>(n) + 1);
    EXPECT_EQ(f.grids[n].system, 0);
    EXPECT_DOUBLE_EQ(f.grids[n].x, g.x[n]);
    EXPECT_DOUBLE_EQ(f.grids[n].y, g.y[n]);
  }
  EXPECT_TRUE(f.ends_with_enddata);
}

// Part 7.3 Edge cases: node 12 gives the pair whose first line ends in " N" + I6 12 and whose second begins "*N" + the same.
TEST(BlankMeshFile, Node12GridPair) {
  auto g = make_grid(3, 2, 1.0, 1.0);  // 12 nodes
  std::string text;
  const NasFile f = write_and_read(g.view(), {}, kTime, &text);
  ASSERT_EQ(f.error, "");
  std::istringstream in(text);
  const auto lines = test_readers::lines_of(in);
  const size_t first = lines.size() - 1 - 2;  // the last pair before ENDDATA
  EXPECT_EQ(lines[first].size(), 80u);
  EXPECT_EQ(lines[first].substr(0, 24), "GRID*                 12");
  EXPECT_EQ(lines[first].substr(72), " N    12");
  EXPECT_EQ(lines[first + 1].substr(0, 8), "*N    12");
  EXPECT_EQ(lines[first + 1], "*N    12 0.000000000E+00");
}

// Part 7.3 step 4: with no nodes only ENDDATA follows the element records.
TEST(BlankMeshFile, NoNodesWritesOnlyEnddata) {
  test::OwnedMesh empty;
  std::string text;
  const NasFile f = write_and_read(empty.view(), {}, kTime, &text);
  ASSERT_EQ(f.error, "") << text;
  EXPECT_EQ(f.node_count, 0);
  EXPECT_TRUE(f.grids.empty());
  EXPECT_EQ(text.substr(text.size() - 10), "\n\nENDDATA\n");
}

// Part 7.3: coordinates in the input frame; the blank's working coordinates unchanged to the last bit.
TEST(BlankMeshFile, CoordinatesInInputFrameAndRestored) {
  auto g = make_grid(1, 1, 20.0, 10.0);
  const std::vector<double> in_x = g.x, in_y = g.y, in_z = g.z;
  const FrameTransform t{0.1, 0.2, -4.0};
  to_working_frame(g.x, g.y, g.z, t);
  const auto before = g;
  const NasFile f = write_and_read(g.view(), t);
  ASSERT_EQ(f.grids.size(), 4u);
  for (size_t n = 0; n < 4; ++n) {
    EXPECT_NEAR(f.grids[n].x, in_x[n], 1e-8);
    EXPECT_NEAR(f.grids[n].y, in_y[n], 1e-8);
    EXPECT_NEAR(f.grids[n].z, in_z[n], 1e-8);
  }
  EXPECT_EQ(std::memcmp(g.x.data(), before.x.data(), 4 * sizeof(double)), 0);
  EXPECT_EQ(std::memcmp(g.z.data(), before.z.data(), 4 * sizeof(double)), 0);
}

// Part 7.3 Feature lines: headers, one line per feature line, dropped nodes left out.
TEST(FeatureLineFile, InvalidNodesLeftOut) {
  auto g = make_grid(2, 1, 10.0, 10.0);  // 6 nodes
  const std::vector<int32_t> counts{3, 2, 0};
  const std::vector<int32_t> nodes{0, 1, 2, kNone, 6};  // line 2: a dropped node and one past the count
  std::stringstream s;
  write_feature_lines(s, g.x, g.y, g.z, {}, counts, nodes);
  const auto f = test_readers::read_lin(s);
  ASSERT_EQ(f.error, "");
  EXPECT_EQ(f.header1, "ZOKA DATA (LARGE)");
  EXPECT_EQ(f.header2, "PART SURFBDLN");
  ASSERT_EQ(f.lines.size(), 3u);
  EXPECT_EQ(f.lines[0].points.size(), 3u);
  EXPECT_EQ(f.lines[1].points.size(), 0u);
  EXPECT_EQ(f.lines[2].number, 3);
  EXPECT_EQ(f.lines[0].points[2], (std::array<double, 3>{20, 0, 0}));
}

}  // namespace
}  // namespace trevo
