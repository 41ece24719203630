// Unformatted sequential records: payload items and length framing, byte by byte,
// and a whole file compared with the one gfortran writes (tests/fortran/gen/gen_records.f90).
// Spec: Part 7.5 (Data model, Edge cases).
#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <iterator>
#include <limits>
#include <sstream>
#include <string>

#include "fortran/records.h"

namespace trevo::fortran {
namespace {

std::string bytes(std::initializer_list<int> values) {
  std::string s;
  for (int v : values) s.push_back(static_cast<char>(v));
  return s;
}

std::string framed(const RecordPayload& p) {
  std::ostringstream out;
  write_record(out, p);
  return out.str();
}

TEST(RecordPayload, TextIsBlankPaddedOrCut) {
  EXPECT_EQ(RecordPayload().text("FORMTYPE", 9).bytes(), "FORMTYPE ");
  EXPECT_EQ(RecordPayload().text("BHFORCE", 9).bytes(), "BHFORCE  ");
  EXPECT_EQ(RecordPayload().text("TOOLONGKEYWORD", 9).bytes(), "TOOLONGKE");
  EXPECT_EQ(RecordPayload().text("", 3).bytes(), "   ");
  EXPECT_EQ(RecordPayload().text("abc", 0).bytes(), "");
}

// Part 7.5 edge case: the title record is always 1024 characters long.
TEST(RecordPayload, TitleIsAlways1024Characters) {
  const std::string long_path(2000, 'p');
  for (const std::string& path : {std::string("/tmp/job/cup"), std::string(), long_path}) {
    const RecordPayload p = RecordPayload().text("TITLE    ", 9).text(path, 1024);
    EXPECT_EQ(p.bytes().size(), 9u + 1024u) << path.size();
    EXPECT_EQ(framed(p).size(), 4u + 9u + 1024u + 4u) << path.size();
  }
}

TEST(RecordPayload, I4IsLittleEndian) {
  EXPECT_EQ(RecordPayload().i4(1).bytes(), bytes({1, 0, 0, 0}));
  EXPECT_EQ(RecordPayload().i4(-1).bytes(), bytes({0xFF, 0xFF, 0xFF, 0xFF}));
  EXPECT_EQ(RecordPayload().i4(0x12345678).bytes(), bytes({0x78, 0x56, 0x34, 0x12}));
  EXPECT_EQ(RecordPayload().i4(std::numeric_limits<int32_t>::min()).bytes(), bytes({0, 0, 0, 0x80}));
}

TEST(RecordPayload, R4IsRoundedSinglePrecision) {
  EXPECT_EQ(RecordPayload().r4(1.0).bytes(), bytes({0, 0, 0x80, 0x3F}));
  EXPECT_EQ(RecordPayload().r4(-1.5).bytes(), bytes({0, 0, 0xC0, 0xBF}));
  EXPECT_EQ(RecordPayload().r4(0.1).bytes(), bytes({0xCD, 0xCC, 0xCC, 0x3D}));  // rounded, not cut
  EXPECT_EQ(RecordPayload().r4(16777217.0).bytes(), bytes({0, 0, 0x80, 0x4B}));  // tie to even
  EXPECT_EQ(RecordPayload().r4(-0.0).bytes(), bytes({0, 0, 0, 0x80}));
  EXPECT_EQ(RecordPayload().r4(1e40).bytes(), bytes({0, 0, 0x80, 0x7F}));  // beyond the range: +Inf
}

TEST(WriteRecord, LengthBeforeAndAfter) {
  const RecordPayload p = RecordPayload().text("FORMTYPE ", 9).i4(13);
  EXPECT_EQ(framed(p), bytes({13, 0, 0, 0}) + "FORMTYPE " + bytes({13, 0, 0, 0}) + bytes({13, 0, 0, 0}));
  EXPECT_EQ(framed(RecordPayload()), bytes({0, 0, 0, 0, 0, 0, 0, 0}));
}

// Part 7.5: the record layout equals gfortran's form='unformatted', access='sequential'.
TEST(WriteRecord, FileMatchesGfortran) {
  std::ifstream in(TREVO_SOURCE_DIR "/tests/fortran/data/records_gfortran.bin", std::ios::binary);
  ASSERT_TRUE(in);
  const std::string expected((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::ostringstream out;
  write_record(out, RecordPayload().text("QUILTEKPOST ", 12).text("KTV19011101PDW190202022MRN9030303", 35));
  write_record(out, RecordPayload().text("TITLE", 9).text("/tmp/job/cup", 1024));
  write_record(out, RecordPayload().text("FORMTYPE", 9).i4(13));
  write_record(out, RecordPayload().text("PUNCHCTL", 9).i4(0).i4(0));
  write_record(out, RecordPayload().text("BINDQUAD", 9).i4(1).i4(-1).i4(0).i4(2147483647).i4(-2147483647 - 1));
  RecordPayload material;
  material.text("MATERIAL", 9);
  for (double x : {0.001, 600.0, 0.22, -1.5, -0.0, 16777217.0, 1e-50, 1e40, 0.1, 1.00000005960464477539})
    material.r4(x);
  write_record(out, material);
  write_record(out, RecordPayload().text("BINDNODE", 9).i4(7).r4(-12.345678901).r4(3.4028234663852886e38).r4(
                        1.401298464324817e-45));
  const std::string got = out.str();
  ASSERT_EQ(got.size(), expected.size());
  for (size_t i = 0; i < got.size(); ++i)
    ASSERT_EQ(static_cast<int>(static_cast<unsigned char>(got[i])), static_cast<int>(static_cast<unsigned char>(expected[i])))
        << "byte " << i;
}

}  // namespace
}  // namespace trevo::fortran
