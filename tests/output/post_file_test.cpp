// Tests of Part 7.5: the post file's process records.
#include "output/post_file.h"

#include <gtest/gtest.h>

#include <cstring>
#include <sstream>

#include "frame/frame_transform.h"
#include "readers.h"
#include "../test_mesh.h"

namespace trevo {
namespace {

using test::make_grid;
using test::OwnedMesh;
using test_readers::QltFile;
using test_readers::QltRecord;
using test_readers::read_qlt;

const std::vector<double> kMaterial{0.001, 600.0, 0.22, 0.0, 1.1, 1.2, 1.3, 1.0};  // one row

QltFile write_and_read(const RunSettings& s, std::span<const double> drawbeads, Mesh holder, Mesh pad, Mesh binder,
                       std::string_view title = "jobs/part1") {
  std::ostringstream out;
  write_process_records(out, title, s, kMaterial, 1, drawbeads, holder, pad, binder);
  return read_qlt(out.str());
}

std::vector<std::string> keywords(const QltFile& f) {
  std::vector<std::string> k;
  for (const auto& r : f.records) k.push_back(r.keyword());
  return k;
}

// Part 7.5 Edge cases: a run without any tool and without drawbeads writes records 1 to 12 only, with counts 0.
TEST(PostFile, NoToolsWritesRecords1To12Only) {
  RunSettings s;
  s.forming_type = 0;
  s.method = 1;
  s.element_value = 1.0;
  OwnedMesh none;
  const QltFile f = write_and_read(s, {}, none.view(), none.view(), none.view());
  ASSERT_EQ(f.error, "");
  ASSERT_EQ(f.records.size(), 12u);
  EXPECT_EQ(f.records[0].payload, "QUILTEKPOST KTV19011101PDW190202022MRN9030303  ");
  const std::vector<std::string> rest{"TITLE    ", "FORMTYPE ", "METHOD   ", "MATERIAL ", "FRICTION ", "BHFORCE  ",
                                      "DBEADCTL ", "PUNCHCTL ", "BHOLDCTL ", "HOLDGCTL ", "BINDECTL "};
  const std::vector<std::string> words = keywords(f);
  EXPECT_EQ(std::vector<std::string>(words.begin() + 1, words.end()), rest);
  for (size_t r = 8; r < 12; ++r) {
    ASSERT_EQ(f.records[r].payload.size(), r == 7 ? 13u : 17u) << r;
    EXPECT_EQ(f.records[r].i4(9), 0) << r;
    EXPECT_EQ(f.records[r].i4(13), 0) << r;
  }
  EXPECT_EQ(f.records[7].payload.size(), 13u);
  EXPECT_EQ(f.records[7].i4(9), 0);
}

// Part 7.5 records 3-7: values and types.
TEST(PostFile, ControlRecordValues) {
  RunSettings s;
  s.forming_type = 12;
  s.method = 3;
  s.element_value = 0.75;
  s.friction1 = 0.15;
  s.friction2 = 0.11;
  s.pad_coefficient = 0.3;
  s.bhforce = 250000.0;
  s.holforce = 5000.0;
  OwnedMesh none;
  const QltFile f = write_and_read(s, {}, none.view(), none.view(), none.view());
  ASSERT_EQ(f.records.size(), 12u);
  EXPECT_EQ(f.records[2].i4(9), 12);
  EXPECT_EQ(f.records[3].i4(9), 3);
  const float material[7] = {0.001f, 600.0f, 0.22f, 0.75f, 1.1f, 1.2f, 1.3f};
  ASSERT_EQ(f.records[4].payload.size(), 9u + 28u);
  for (int k = 0; k < 7; ++k) EXPECT_EQ(f.records[4].r4(9 + 4 * k), material[k]) << k;
  EXPECT_EQ(f.records[5].r4(9), 0.15f);
  EXPECT_EQ(f.records[5].r4(13), 0.11f);
  EXPECT_EQ(f.records[5].r4(17), 0.3f);
  EXPECT_EQ(f.records[6].r4(9), 250000.0f);
  EXPECT_EQ(f.records[6].r4(13), 5000.0f);
}

// Part 7.5 Edge cases: the title record is always 1024 characters long, whatever the path's length.
TEST(PostFile, TitleRecordIs1024Characters) {
  RunSettings s;
  OwnedMesh none;
  for (const std::string& path : {std::string("a"), std::string("jobs/part1"), std::string(1023, 'p')}) {
    const QltFile f = write_and_read(s, {}, none.view(), none.view(), none.view(), path);
    ASSERT_EQ(f.records[1].payload.size(), 9u + 1024u) << path.size();
    const std::string title = f.records[1].text(9, 1024);
    EXPECT_EQ(title.substr(0, path.size()), path);
    EXPECT_EQ(title.find_first_not_of(' ', path.size()), std::string::npos);
  }
}

// Part 7.5 Edge cases: a draw depth of 1 mm gives h = 0.05; one of 80 mm gives h = 2.
TEST(PostFile, ClearanceFromDrawDepth) {
  EXPECT_DOUBLE_EQ(tool_clearance(1.0), 0.05);
  EXPECT_DOUBLE_EQ(tool_clearance(80.0), 2.0);
  EXPECT_DOUBLE_EQ(tool_clearance(0.0), 0.05);
}

// Part 7.5 Edge cases: with a draw depth of 1 mm the holder and pad nodes are written
// 0.05 higher, the binder nodes 0.05 lower and the drawbead ends 0.1 higher.
TEST(PostFile, DrawDepth1mmShiftsToolsBy005) {
  RunSettings s;
  s.draw_depth = 1.0;
  s.drawbead_count = 1;
  const std::vector<double> bead{1, 2, 0, 0, 0, 5, 0, 0};
  OwnedMesh holder = make_grid(1, 1, 1.0, 1.0), pad = make_grid(1, 1, 1.0, 1.0), binder = make_grid(1, 1, 1.0, 1.0);
  const QltFile f = write_and_read(s, bead, holder.view(), pad.view(), binder.view());
  ASSERT_EQ(f.records.size(), 13u + 3u * 5u);
  EXPECT_EQ(f.records[12].r4(29), 0.1f);         // DRAWBEAD z1 + 2h
  EXPECT_EQ(f.records[14].r4(21), 0.05f);        // BINDNODE z + h
  EXPECT_EQ(f.records[19].r4(21), 0.05f);        // HOLDNODE z + h
  EXPECT_EQ(f.records[24].r4(21), -0.05f);       // FLANNODE z - h
  EXPECT_EQ(f.records[24].keyword(), "FLANNODE ");
}

// Part 7.5 Edge cases: a part tipped and levelled: the tool nodes in the file equal the
// input's tool nodes (up to single precision and the shift h), and the model in memory is unchanged.
TEST(PostFile, ToolNodesBackInInputAttitudeAfterTipping) {
  RunSettings s;
  s.tipping_alpha = 0.35;
  s.tipping_beta = -0.2;
  s.lowest_z = -12.0;
  s.draw_depth = 80.0;  // h = 2
  s.drawbead_count = 1;
  const double h = 2.0;
  // Input-frame tools, carried into the working frame as Part 3.4 does.
  OwnedMesh holder = make_grid(2, 1, 50.0, 40.0), pad = make_grid(1, 1, 20.0, 20.0), binder = make_grid(1, 2, 30.0, 30.0);
  for (auto* m : {&holder, &pad, &binder})
    for (double& z : m->z) z = 10.0;
  const OwnedMesh in_holder = holder, in_pad = pad, in_binder = binder;
  const FrameTransform t{s.tipping_alpha, s.tipping_beta, s.lowest_z};
  for (auto* m : {&holder, &pad, &binder}) to_working_frame(m->x, m->y, m->z, t);
  // Drawbead (column-major 1 x 8): forces 50, 20, ends (1, 2, 3) and (40, 5, 6) in the input frame.
  std::vector<double> bead{50, 20, 1, 2, 3, 40, 5, 6};
  {
    std::vector<double> x{bead[2], bead[5]}, y{bead[3], bead[6]}, z{bead[4], bead[7]};
    to_working_frame(x, y, z, t);
    bead = {50, 20, x[0], y[0], z[0], x[1], y[1], z[1]};
  }
  const std::vector<double> bead_before = bead;
  const OwnedMesh holder_before = holder;
  const QltFile f = write_and_read(s, bead, holder.view(), pad.view(), binder.view());
  ASSERT_EQ(f.error, "");
  const auto words = keywords(f);
  EXPECT_EQ(words[12], "DRAWBEAD ");
  EXPECT_EQ(words[13], "BINDQUAD ");
  EXPECT_EQ(f.records[9].i4(9), 6);   // BHOLDCTL nodes
  EXPECT_EQ(f.records[9].i4(13), 2);  // BHOLDCTL elements
  EXPECT_EQ(f.records[11].i4(9), 6);  // BINDECTL nodes
  // DRAWBEAD: number, 8 reals, ends in input attitude with z + 2h.
  const QltRecord& d = f.records[12];
  ASSERT_EQ(d.payload.size(), 9u + 4u + 32u);
  EXPECT_EQ(d.i4(9), 1);
  const double expected_bead[8] = {50, 20, 1, 2, 3 + 2 * h, 40, 5, 6 + 2 * h};
  for (int k = 0; k < 8; ++k) EXPECT_NEAR(d.r4(13 + 4 * k), expected_bead[k], 1e-4) << k;
  // Tool records in order: holder quads and nodes (+h), pad (+h), binder (-h).
  size_t r = 13;
  auto check_tool = [&](const OwnedMesh& input, const char* quad, const char* node, double dz) {
    for (int32_t e = 0; e < input.ne(); ++e, ++r) {
      ASSERT_EQ(f.records[r].keyword(), quad);
      EXPECT_EQ(f.records[r].i4(9), e + 1);
      for (int k = 0; k < 4; ++k) EXPECT_EQ(f.records[r].i4(13 + 4 * k), input.conn[k * input.ne() + e] + 1);
    }
    for (size_t n = 0; n < input.x.size(); ++n, ++r) {
      const QltRecord& rec = f.records[r];
      ASSERT_EQ(rec.keyword(), node);
      EXPECT_EQ(rec.i4(9), static_cast<int32_t>(n) + 1);
      EXPECT_NEAR(rec.r4(13), input.x[n], 1e-4) << node << n;
      EXPECT_NEAR(rec.r4(17), input.y[n], 1e-4) << node << n;
      EXPECT_NEAR(rec.r4(21), input.z[n] + dz, 1e-4) << node << n;
    }
  };
  check_tool(in_holder, "BINDQUAD ", "BINDNODE ", h);
  check_tool(in_pad, "HOLDQUAD ", "HOLDNODE ", h);
  check_tool(in_binder, "FLANQUAD ", "FLANNODE ", -h);
  EXPECT_EQ(r, f.records.size());
  // "After the last record they are tipped again and lowered again": unchanged to the last bit.
  EXPECT_EQ(std::memcmp(bead.data(), bead_before.data(), 8 * sizeof(double)), 0);
  EXPECT_EQ(std::memcmp(holder.z.data(), holder_before.z.data(), holder.z.size() * sizeof(double)), 0);
  EXPECT_EQ(std::memcmp(holder.x.data(), holder_before.x.data(), holder.x.size() * sizeof(double)), 0);
}

// Part 7.5 Data model: every record is framed by its 4-byte little-endian length before and after.
TEST(PostFile, RecordFraming) {
  RunSettings s;
  OwnedMesh none;
  std::ostringstream out;
  write_process_records(out, "x", s, kMaterial, 1, {}, none.view(), none.view(), none.view());
  const std::string bytes = out.str();
  ASSERT_GE(bytes.size(), 8u + 47u);
  EXPECT_EQ(bytes.substr(0, 4), std::string("\x2f\x00\x00\x00", 4));  // 47 = 12 + 35
  EXPECT_EQ(bytes.substr(4 + 47, 4), std::string("\x2f\x00\x00\x00", 4));
}

}  // namespace
}  // namespace trevo
