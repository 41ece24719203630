// Tests of Part 7.2: the dynain file, the global tensors and the scratch unit 36.
#include "output/dynain.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <sstream>

#include "readers.h"
#include "../test_mesh.h"

namespace trevo {
namespace {

using test::make_mesh;
using test::OwnedMesh;
using test_readers::DynainFile;
using test_readers::read_dynain;

// Local data of ne elements with the given axes.
struct OwnedTensors {
  std::vector<double> xx, yy, xy, e1x, e1y, e1z, e2x, e2y, e2z;
  LocalTensors view() const { return {xx, yy, xy, e1x, e1y, e1z, e2x, e2y, e2z}; }
  void add(double a, double b, double c, std::array<double, 3> e1, std::array<double, 3> e2) {
    xx.push_back(a), yy.push_back(b), xy.push_back(c);
    e1x.push_back(e1[0]), e1y.push_back(e1[1]), e1z.push_back(e1[2]);
    e2x.push_back(e2[0]), e2y.push_back(e2[1]), e2z.push_back(e2[2]);
  }
};

std::filesystem::path scratch_path(const char* name) {
  return std::filesystem::temp_directory_path() / (std::string("trevo_output_") + name + ".fort36");
}

DynainFile write_whole(OwnedMesh& m, const OwnedTensors& strain, const OwnedTensors& stress,
                       std::vector<double> thickness, std::vector<double> plastic, const FrameTransform& t,
                       std::string* text = nullptr) {
  StrainScratch scratch(scratch_path("whole").string());
  write_strain_heading(scratch.stream());
  for (int32_t e = 0; e < m.ne(); ++e) write_element_strain(scratch.stream(), strain.view(), e);
  std::stringstream out;
  write_dynain(out, m.view(), thickness, plastic, stress.view(), t, scratch.stream());
  scratch.close();
  if (text) *text = out.str();
  return read_dynain(out);
}

// Part 7.2 Edge cases: one quadrilateral writes 4 node records, one element pair, one
// stress pair, one strain triple and "*END".
TEST(DynainFile, OneQuadrilateral) {
  auto m = make_mesh({{0, 0, 0}, {10, 0, 0}, {10, 5, 0}, {0, 5, 0}}, {{0, 1, 2, 3}});
  OwnedTensors strain, stress;
  strain.add(0.1, -0.05, 0.02, {1, 0, 0}, {0, 1, 0});
  stress.add(300.0, -120.0, 45.5, {1, 0, 0}, {0, 1, 0});
  std::string text;
  const DynainFile f = write_whole(m, strain, stress, {0.85}, {0.123}, {}, &text);
  ASSERT_EQ(f.error, "") << text;
  EXPECT_EQ(f.keywords, (std::vector<std::string>{"*NODE", "*ELEMENT_SHELL_THICKNESS", "*INITIAL_STRESS_SHELL",
                                                  "*INITIAL_STRAIN_SHELL", "*END"}));
  ASSERT_EQ(f.nodes.size(), 4u);
  ASSERT_EQ(f.shells.size(), 1u);
  ASSERT_EQ(f.stresses.size(), 1u);
  ASSERT_EQ(f.strains.size(), 1u);
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 1 + 4 + 1 + 2 + 1 + 2 + 1 + 3 + 1);
  for (int n = 0; n < 4; ++n) {
    EXPECT_EQ(f.nodes[n].number, n + 1);
    EXPECT_EQ(f.nodes[n].tc, 0);
    EXPECT_EQ(f.nodes[n].rc, 0);
    EXPECT_DOUBLE_EQ(f.nodes[n].x, m.x[n]);
    EXPECT_DOUBLE_EQ(f.nodes[n].y, m.y[n]);
  }
  EXPECT_EQ(f.shells[0].number, 1);
  EXPECT_EQ(f.shells[0].part, 1);
  EXPECT_EQ(f.shells[0].nodes, (std::array<long long, 4>{1, 2, 3, 4}));
  for (double h : f.shells[0].thickness) EXPECT_DOUBLE_EQ(h, 0.85);
  const auto& s = f.stresses[0];
  EXPECT_EQ(s.element, 1);
  EXPECT_EQ(s.in_plane_points, 1);
  EXPECT_EQ(s.through_points, 1);
  // 0, sxx, syy, szz, sxy, syz, szx, plastic strain; 1PE10.3 keeps 4 significant digits.
  const double expected[8] = {0, 300.0, -120.0, 0, 45.5, 0, 0, 0.123};
  for (int k = 0; k < 8; ++k) EXPECT_NEAR(s.values[k], expected[k], 5e-4 * std::abs(expected[k]) + 1e-12) << k;
  const auto& e = f.strains[0];
  EXPECT_EQ(e.element, 1);
  EXPECT_EQ(e.first, e.second);
  const double strains[6] = {0.1, -0.05, 0, 0.02, 0, 0};
  for (int k = 0; k < 6; ++k) EXPECT_NEAR(e.first[k], strains[k], 5e-4 * std::abs(strains[k]) + 1e-12) << k;
}

// Part 7.2 Edge cases: a triangle appears with its third node number repeated as the fourth.
TEST(DynainFile, TriangleRepeatsThirdNode) {
  auto m = make_mesh({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {{0, 1, 2, 2}});
  OwnedTensors t;
  t.add(0, 0, 0, {1, 0, 0}, {0, 1, 0});
  const DynainFile f = write_whole(m, t, t, {1.0}, {0.0}, {});
  ASSERT_EQ(f.error, "");
  ASSERT_EQ(f.shells.size(), 1u);
  EXPECT_EQ(f.shells[0].nodes, (std::array<long long, 4>{1, 2, 3, 3}));
  m.conn[3] = kNone;  // a fourth corner "none" is written as the third as well
  EXPECT_EQ(write_whole(m, t, t, {1.0}, {0.0}, {}).shells[0].nodes, (std::array<long long, 4>{1, 2, 3, 3}));
}

// Part 7.2 Edge cases: after the run the scratch unit's file does not exist.
TEST(DynainFile, ScratchFileDeletedAfterRun) {
  const auto path = scratch_path("deleted");
  {
    StrainScratch scratch(path.string());
    write_strain_heading(scratch.stream());
    scratch.stream().flush();
    EXPECT_TRUE(std::filesystem::exists(path));
    scratch.close();
    EXPECT_FALSE(std::filesystem::exists(path));
  }
  {
    StrainScratch scratch(path.string());  // an early stop: the destructor deletes it too
    EXPECT_TRUE(std::filesystem::exists(path));
  }
  EXPECT_FALSE(std::filesystem::exists(path));
}

// Part 7.2 Algorithms step 5: the strain block is copied after the stresses from its first record.
TEST(DynainFile, StrainBlockCopiedAfterStressBlock) {
  auto m = make_mesh({{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}, {2, 0, 0}},
                     {{0, 1, 2, 3}, {1, 4, 2, 2}});
  OwnedTensors t;
  t.add(0.01, 0.02, 0.0, {1, 0, 0}, {0, 1, 0});
  t.add(0.03, 0.04, 0.0, {1, 0, 0}, {0, 1, 0});
  std::string text;
  const DynainFile f = write_whole(m, t, t, {1, 1}, {0, 0}, {}, &text);
  ASSERT_EQ(f.error, "");
  ASSERT_EQ(f.strains.size(), 2u);
  EXPECT_EQ(f.strains[0].element, 1);
  EXPECT_EQ(f.strains[1].element, 2);
  EXPECT_LT(text.find("*INITIAL_STRESS_SHELL"), text.find("*INITIAL_STRAIN_SHELL"));
  EXPECT_EQ(text.substr(text.size() - 5), "*END\n");
}

// Part 7.2 Tensors: C = R^T A R with rows e1, e2, e3 of R, computed here as matrix products.
TEST(DynainTensors, GlobalTensorIsRotatedLocalTensor) {
  // A tilted frame: e1 in the x-z plane, e2 = y rotated about e1, e3 = e1 x e2.
  const double a = 0.4, b = 0.7;
  const std::array<double, 3> e1{std::cos(a), 0, std::sin(a)};
  const std::array<double, 3> e2{-std::sin(a) * std::sin(b), std::cos(b), std::cos(a) * std::sin(b)};
  const std::array<double, 3> e3{e1[1] * e2[2] - e1[2] * e2[1], e1[2] * e2[0] - e1[0] * e2[2],
                                 e1[0] * e2[1] - e1[1] * e2[0]};
  OwnedTensors t;
  t.add(0.2, -0.1, 0.05, e1, e2);
  const GlobalTensor c = global_tensor(t.view(), 0);
  const double A[3][3] = {{0.2, 0.05, 0}, {0.05, -0.1, 0}, {0, 0, 0}};
  const double R[3][3] = {{e1[0], e1[1], e1[2]}, {e2[0], e2[1], e2[2]}, {e3[0], e3[1], e3[2]}};
  double C[3][3] = {};
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j)
      for (int k = 0; k < 3; ++k)
        for (int l = 0; l < 3; ++l) C[i][j] += R[k][i] * A[k][l] * R[l][j];
  EXPECT_NEAR(c.c11, C[0][0], 1e-15);
  EXPECT_NEAR(c.c22, C[1][1], 1e-15);
  EXPECT_NEAR(c.c33, C[2][2], 1e-15);
  EXPECT_NEAR(c.c12, C[0][1], 1e-15);
  EXPECT_NEAR(c.c23, C[1][2], 1e-15);
  EXPECT_NEAR(c.c31, C[2][0], 1e-15);
  EXPECT_NEAR(c.c11 + c.c22 + c.c33, 0.2 - 0.1, 1e-15);  // the trace is invariant
  EXPECT_GT(std::abs(c.c33), 1e-3);                       // C33 comes from the rotation alone
}

// Part 7.2 Tensors: with e1 = x and e2 = y the global tensor is the local one.
TEST(DynainTensors, AlignedFrameKeepsComponents) {
  OwnedTensors t;
  t.add(1.5, -2.5, 0.75, {1, 0, 0}, {0, 1, 0});
  const GlobalTensor c = global_tensor(t.view(), 0);
  EXPECT_EQ(c.c11, 1.5);
  EXPECT_EQ(c.c22, -2.5);
  EXPECT_EQ(c.c12, 0.75);
  EXPECT_EQ(c.c33, 0.0);
  EXPECT_EQ(c.c23, 0.0);
  EXPECT_EQ(c.c31, 0.0);
}

// Part 7.2 step 2: nodes are written in the input frame; the working coordinates stay bit for bit.
TEST(DynainFile, NodesWrittenInInputFrameAndRestored) {
  auto m = make_mesh({{0, 0, 0}, {10, 0, 0}, {10, 5, 1}, {0, 5, 2}}, {{0, 1, 2, 3}});
  const std::vector<double> in_x = m.x, in_y = m.y, in_z = m.z;
  const FrameTransform t{-0.25, 0.4, 3.5};
  to_working_frame(m.x, m.y, m.z, t);
  const OwnedMesh before = m;
  OwnedTensors s;
  s.add(0, 0, 0, {1, 0, 0}, {0, 1, 0});
  const DynainFile f = write_whole(m, s, s, {1}, {0}, t);
  ASSERT_EQ(f.nodes.size(), 4u);
  for (int n = 0; n < 4; ++n) {
    EXPECT_NEAR(f.nodes[n].x, in_x[n], 1e-8) << n;
    EXPECT_NEAR(f.nodes[n].y, in_y[n], 1e-8) << n;
    EXPECT_NEAR(f.nodes[n].z, in_z[n], 1e-8) << n;
  }
  EXPECT_EQ(std::memcmp(m.x.data(), before.x.data(), 4 * sizeof(double)), 0);
  EXPECT_EQ(std::memcmp(m.y.data(), before.y.data(), 4 * sizeof(double)), 0);
  EXPECT_EQ(std::memcmp(m.z.data(), before.z.data(), 4 * sizeof(double)), 0);
}

// Part 7.2 File layout: exact field positions of one record of each kind.
TEST(DynainFile, RecordLayouts) {
  OwnedMesh one = make_mesh({{1, -2, 0.5}, {2, 0, 0}, {0, 1, 0}}, {{0, 1, 2, 2}});
  OwnedTensors t;
  t.add(-1234.4, 0, 0, {1, 0, 0}, {0, 1, 0});
  std::string text;
  write_whole(one, t, t, {1.25}, {0.5}, {}, &text);
  std::istringstream in(text);
  const auto lines = test_readers::lines_of(in);
  EXPECT_EQ(lines[1], "       1 0.100000000E+01-0.200000000E+01 0.500000000E+00       0       0");
  EXPECT_EQ(lines[5], "       1       1       1       2       3       3");
  EXPECT_EQ(lines[6], "  0.12500000E+01  0.12500000E+01  0.12500000E+01  0.12500000E+01");
  EXPECT_EQ(lines[8], "         1         1         1");
  EXPECT_EQ(lines[9], " 0.000E+00-1.234E+03 0.000E+00 0.000E+00 0.000E+00 0.000E+00 0.000E+00 5.000E-01");
}

}  // namespace
}  // namespace trevo
