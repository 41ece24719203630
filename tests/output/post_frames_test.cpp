// Tests of Part 7.4 (Frames): frame records, result and outline records of the post file.
#include "output/post_frames.h"

#include <gtest/gtest.h>

#include <cmath>
#include <sstream>

#include "readers.h"
#include "../test_mesh.h"

namespace trevo {
namespace {

using test::brute_force_neighbours;
using test::make_grid;
using test_readers::QltFile;
using test_readers::QltRecord;
using test_readers::read_qlt;

struct OwnedResults {
  std::vector<double> c[7];
  explicit OwnedResults(size_t ne) {
    for (int k = 0; k < 7; ++k)
      for (size_t e = 0; e < ne; ++e) c[k].push_back(10.0 * k + static_cast<double>(e) + 0.5);
  }
  ElementResults view() const { return {c[0], c[1], c[2], c[3], c[4], c[5], c[6]}; }
};

// Part 7.4 Frames: FRAMENUM, FRAMECOL, STROKE, CONTRATX rows, CONTRATY rows, SHETQUAD, SHETNODE.
TEST(PostFrames, FrameRecordsInOrderWithCounts) {
  auto g = make_grid(2, 1, 10.0, 5.0);  // 6 nodes, 2 elements
  const OwnedResults results(2);
  const std::vector<int32_t> xi{7}, yi{1, 2};
  const std::vector<double> xr{0.5}, yr{1.5, 2.5};
  std::ostringstream out;
  write_frame(out, 2, g.view(), results.view(), {xi, xr}, {yi, yr});
  const QltFile f = read_qlt(out.str());
  ASSERT_EQ(f.error, "");
  std::vector<std::string> words;
  for (const auto& r : f.records) words.push_back(r.keyword());
  const std::vector<std::string> expected{"FRAMENUM ", "FRAMECOL ", "STROKE   ", "CONTRATX ", "CONTRATY ", "CONTRATY ",
                                          "SHETQUAD ", "SHETQUAD ", "SHETNODE ", "SHETNODE ", "SHETNODE ", "SHETNODE ",
                                          "SHETNODE ", "SHETNODE "};
  ASSERT_EQ(words, expected);
  const auto& r = f.records;
  EXPECT_EQ(r[0].payload.size(), 9u + 4u);
  EXPECT_EQ(r[0].i4(9), 2);
  ASSERT_EQ(r[1].payload.size(), 9u + 6u * 4u);
  const int32_t col[6] = {2, 6, 2, 4, 1, 2};
  for (int k = 0; k < 6; ++k) EXPECT_EQ(r[1].i4(9 + 4 * k), col[k]) << k;
  ASSERT_EQ(r[2].payload.size(), 9u + 4u + 16u);
  for (int k = 0; k < 4; ++k) EXPECT_EQ(r[2].r4(13 + 4 * k), 0.0f);
  EXPECT_EQ(r[3].i4(13), 7);
  EXPECT_EQ(r[3].r4(17), 0.5f);
  EXPECT_EQ(r[5].i4(13), 2);
  // SHETQUAD: frame, element, 4 nodes, 7 reals.
  const QltRecord& q = r[7];
  ASSERT_EQ(q.payload.size(), 9u + 6u * 4u + 7u * 4u);
  EXPECT_EQ(q.i4(9), 2);
  EXPECT_EQ(q.i4(13), 2);
  const int32_t nodes[4] = {2, 3, 6, 5};
  for (int k = 0; k < 4; ++k) EXPECT_EQ(q.i4(17 + 4 * k), nodes[k]);
  for (int k = 0; k < 7; ++k) EXPECT_EQ(q.r4(33 + 4 * k), static_cast<float>(results.c[k][1])) << k;
  // SHETNODE: frame, node, u, v, z.
  const QltRecord& n = r[13];
  ASSERT_EQ(n.payload.size(), 9u + 8u + 12u);
  EXPECT_EQ(n.i4(13), 6);
  EXPECT_EQ(n.r4(17), 20.0f);
  EXPECT_EQ(n.r4(21), 5.0f);
}

// Part 7.4 Left to the implementer: element results derived from the final evaluation.
TEST(PostFrames, ElementResultsArePrincipalStrainsAndThinning) {
  const std::vector<double> h{0.8}, h0{1.0}, exx{0.1}, eyy{0.02}, exy{0.03}, eqs{0.15}, eqv{400.0};
  const ElementResultColumns c = element_results(h, h0, exx, eyy, exy, eqs, eqv);
  EXPECT_NEAR(c.thinning[0], 20.0, 1e-12);
  EXPECT_NEAR(c.major_strain[0] + c.minor_strain[0], 0.12, 1e-15);                   // trace
  EXPECT_NEAR(c.major_strain[0] * c.minor_strain[0], 0.1 * 0.02 - 0.03 * 0.03, 1e-15);  // determinant
  EXPECT_GE(c.major_strain[0], c.minor_strain[0]);
  EXPECT_NEAR(c.thickness_strain[0], -0.12, 1e-15);
  EXPECT_EQ(c.equivalent_stress[0], 400.0);
  EXPECT_EQ(c.view().thickness.size(), 1u);
}

// Part 7.4: RESULT, OLINECTL, OLINEXYZ and ENDDATA, with the loops of Part 7.1 (one hole: two loops).
TEST(PostFrames, OutlineRecordsOfABlankWithOneHole) {
  auto g = make_grid(3, 3, 10.0, 10.0, {}, {4});
  const auto nb = brute_force_neighbours(g.view());
  const OutlineLoops loops = chain_outline(extract_boundary_edges(g.view(), nb));
  RunResults results;
  results.iteration_counter = 42;
  results.punch_force = 1234.5;
  results.blank_holder_force = 100.0;
  results.summary = {800.0, 0.00632, 900.0, 0, 0.00711};
  std::ostringstream out;
  write_outline_records(out, results, loops, g.x, g.y, g.z, {});
  const QltFile f = read_qlt(out.str());
  ASSERT_EQ(f.error, "");
  ASSERT_EQ(f.records.size(), 1u + 1u + 18u + 1u);  // 13 + 5 points
  const QltRecord& result = f.records[0];
  EXPECT_EQ(result.keyword(), "RESULT   ");
  ASSERT_EQ(result.payload.size(), 9u + 7u * 4u);
  EXPECT_EQ(result.i4(9), 41);  // the iterations done: counter - 1
  EXPECT_EQ(result.r4(13), 1234.5f);
  EXPECT_EQ(result.r4(17), 100.0f);
  EXPECT_EQ(result.r4(21), 800.0f);
  EXPECT_EQ(result.r4(25), 0.00632f);
  EXPECT_EQ(result.r4(29), 900.0f);
  EXPECT_EQ(result.i4(33), 0);
  const QltRecord& control = f.records[1];
  EXPECT_EQ(control.keyword(), "OLINECTL ");
  ASSERT_EQ(control.payload.size(), 9u + 3u * 4u);
  EXPECT_EQ(control.i4(9), 2);
  EXPECT_EQ(control.i4(13), 1);
  EXPECT_EQ(control.i4(17), 14);
  for (int p = 0; p < 18; ++p) {
    const QltRecord& r = f.records[2 + static_cast<size_t>(p)];
    EXPECT_EQ(r.keyword(), "OLINEXYZ ");
    EXPECT_EQ(r.i4(9), p + 1);
  }
  // Each loop closes on its first point.
  auto same_point = [&](int a, int b) {
    const QltRecord &ra = f.records[2 + static_cast<size_t>(a)], &rb = f.records[2 + static_cast<size_t>(b)];
    return ra.payload.substr(13) == rb.payload.substr(13);
  };
  EXPECT_TRUE(same_point(0, 12));
  EXPECT_TRUE(same_point(13, 17));
  EXPECT_EQ(f.records.back().keyword(), "ENDDATA  ");
  EXPECT_EQ(f.records.back().payload.size(), 9u);
}

// Part 7.4: outline points are written in the input frame.
TEST(PostFrames, OutlinePointsInInputFrame) {
  auto g = make_grid(1, 1, 10.0, 10.0);
  const std::vector<double> in_z = g.z;
  const FrameTransform t{0.0, 0.0, 12.5};
  to_working_frame(g.x, g.y, g.z, t);  // levelling only
  const auto nb = brute_force_neighbours(g.view());
  std::ostringstream out;
  write_outline_records(out, {}, chain_outline(extract_boundary_edges(g.view(), nb)), g.x, g.y, g.z, t);
  const QltFile f = read_qlt(out.str());
  ASSERT_EQ(f.records.size(), 2u + 5u + 1u);
  EXPECT_EQ(f.records[2].r4(21), 0.0f);
  EXPECT_EQ(g.z[0], -12.5);  // the working coordinates are untouched
}

}  // namespace
}  // namespace trevo
