// Part 2.1, record layout: 200-character records, line ends, keywords, value fields, the
// read-error report.
#include "input/keyword_file.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "input_test_support.h"

namespace trevo {
namespace {

// Part 2.1: shorter lines are blank-padded to 200, longer ones cut; LF and CRLF both end a line.
TEST(KeywordFile, RecordsArePaddedOrCutTo200Columns) {
  std::string long_line = "SHETNODE " + std::string(250, '7');
  KeywordFile file = KeywordFile::from_text("ABC\r\n" + long_line + "\nlast");
  ASSERT_EQ(file.size(), 3u);
  EXPECT_EQ(file[0].text(), test::record200("ABC"));
  EXPECT_EQ(file[1].text(), long_line.substr(0, 200));
  EXPECT_EQ(file[1].columns(10).size(), 191u);
  EXPECT_EQ(file[2].text(), test::record200("last"));  // no final newline
  EXPECT_EQ(file[0].column(4), ' ');
  EXPECT_EQ(file[0].column(200), ' ');
}

TEST(KeywordFile, EmptyTextAndMissingFileHaveNoRecords) {
  EXPECT_EQ(KeywordFile::from_text("").size(), 0u);
  EXPECT_EQ(KeywordFile::load("/nonexistent/dir/job.dat").size(), 0u);
}

TEST(KeywordFile, BlankLinesAreRecordsAndAnyByteIsKept) {
  std::string text("\n\nSHET\0NODE 1\n", 14);
  text += "\xff\xfe\x80 x\n";
  KeywordFile file = KeywordFile::from_text(text);
  ASSERT_EQ(file.size(), 4u);
  EXPECT_EQ(file[0].text(), std::string(200, ' '));
  EXPECT_EQ(file[2].column(5), '\0');
  EXPECT_FALSE(file[2].is(Keyword("SHETNODE")));
  EXPECT_EQ(file[3].column(1), '\xff');
}

TEST(KeywordFile, LoadReadsTheFileOnce) {
  auto path = std::filesystem::temp_directory_path() / "trevo_keyword_file_test.dat";
  std::ofstream(path, std::ios::binary) << "FORMTYPE 3\r\nMATERIAL  1.0\n";
  KeywordFile file = KeywordFile::load(path.string());
  std::filesystem::remove(path);
  ASSERT_EQ(file.size(), 2u);
  EXPECT_TRUE(file[0].is(Keyword("FORMTYPE")));
  EXPECT_EQ(file[0].columns(10), "3");
}

// Part 2.1: keywords are compared over their own length, exactly, case-sensitively; blanks count.
TEST(KeywordFile, KeywordsComparedOverTheirOwnLength) {
  KeywordFile file = KeywordFile::from_text("BHFORCEX 1\nCORTROL  2\nMETHOD12 3\nOFFSET\nshetnode\nSHETNOD\n SHETNODE\n");
  EXPECT_TRUE(file[0].is(Keyword("BHFORCE")));
  EXPECT_TRUE(file[1].is(Keyword("CORTROL")));
  EXPECT_TRUE(file[2].is(Keyword("METHOD")));
  EXPECT_TRUE(file[3].is(Keyword("OFFSET")));
  EXPECT_FALSE(file[4].is(Keyword("SHETNODE")));
  EXPECT_FALSE(file[5].is(Keyword("SHETNODE")));  // column 8 is a blank
  EXPECT_TRUE(file[5].is(Keyword("SHETNOD ")));
  EXPECT_FALSE(file[6].is(Keyword("SHETNODE")));
}

// Part 2.1: column 9 is not read; values start in column 10.
TEST(KeywordFile, ValuesStartInColumn10) {
  KeywordFile file = KeywordFile::from_text("FORMTYPE712\n");
  test::Capture out;
  ReadErrorReport error{out.reporter};
  RecordValues values(file[0], kValueColumn, error);
  EXPECT_EQ(values.required_int(), 12);
}

// Part 2.1: missing trailing values leave their targets unchanged; a null value too.
TEST(RecordValues, MissingTrailingValuesKeepTargets) {
  KeywordFile file = KeywordFile::from_text("CORTROL  5 , , 0.5\n");
  test::Capture out;
  ReadErrorReport error{out.reporter};
  RecordValues values(file[0], kValueColumn, error);
  int32_t a = 0;
  double b = 1.5, c = 2.5, d = 3.5;
  EXPECT_TRUE(values.update(a));
  EXPECT_FALSE(values.update(b));
  EXPECT_TRUE(values.update(c));
  EXPECT_FALSE(values.update(d));
  EXPECT_EQ(a, 5);
  EXPECT_EQ(b, 1.5);
  EXPECT_EQ(c, 0.5);
  EXPECT_EQ(d, 3.5);
}

// Part 2.1, Failure handling: blank line, message, 200-character record, blank line, console
// then report, then the stop.
TEST(ReadErrorReportTest, FramedRecordOnConsoleAndReport) {
  KeywordFile file = KeywordFile::from_text("SHETNODE 1 x 2 3\n");
  test::Capture out;
  ReadErrorReport error{out.reporter};
  RecordValues values(file[0], kValueColumn, error);
  EXPECT_EQ(values.required_int(), 1);
  EXPECT_THROW(values.required_real(), RunStopped);
  const std::string expected = test::read_error_text(kDataError, "SHETNODE 1 x 2 3");
  EXPECT_EQ(out.console.str(), expected);
  EXPECT_EQ(out.report.str(), expected);
}

TEST(ReadErrorReportTest, RequiredValueMissingIsAnError) {
  KeywordFile file = KeywordFile::from_text("SHETNODE 1 2.0\n");
  test::Capture out;
  ReadErrorReport error{out.reporter, kInputDataError};
  RecordValues values(file[0], kValueColumn, error);
  values.required_int();
  values.required_real();
  EXPECT_THROW(values.required_real(), RunStopped);
  EXPECT_EQ(out.console.str(), test::read_error_text(kInputDataError, "SHETNODE 1 2.0"));
}

}  // namespace
}  // namespace trevo
