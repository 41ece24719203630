// Spec: Part 1.4 (Run files and run report), Edge cases worth testing.
#include "frame/run_files.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

namespace trevo {
namespace {

TEST(RunFiles, BasePathJobsPart1GivesEveryFileName) {
  RunFileNames n = run_file_names("jobs/part1");
  EXPECT_EQ(n.report, "jobs/part1.OUT");
  EXPECT_EQ(n.input, "jobs/part1.dat");
  EXPECT_EQ(n.post, "jobs/part1.QLT");
  EXPECT_EQ(n.outline_3d, "jobs/part1_3D.lin");
  EXPECT_EQ(n.outline, "jobs/part1.lin");
  EXPECT_EQ(n.blank_mesh, "jobs/part1_Blank.nas");
  EXPECT_EQ(n.dynain, "jobs/part1.dynain");
  EXPECT_EQ(n.feature_lines, "jobs/part1_fl.lin");
  EXPECT_EQ(n.blank_on_binder, "jobs/part1_Blank_Onbinder.nas");
}

TEST(RunFiles, EffectiveBasePathIsThePathUpToItsNul) {
  EXPECT_EQ(effective_base_path("jobs/part1"), "jobs/part1");
  EXPECT_EQ(effective_base_path("a b "), "a b ");  // its own blanks are kept: the NUL is found first
}

// Part 1.4 scans down from position 1022, so a 1023-character path loses its last character.
TEST(RunFiles, EffectiveBasePathOf1023CharactersIsCutTo1022) {
  std::string path(1023, 'p');
  EXPECT_EQ(effective_base_path(path).size(), 1022u);
}

TEST(RunFiles, StampAt1205ShowsHour12WithAm) {
  EXPECT_EQ(time_record({2026, 12, 4, 12, 5, 0}), "TIME(HH:MM:SS:.01):   12:05:00:00 am");
}

TEST(RunFiles, StampAt0010ShowsHour0WithAm) {
  EXPECT_EQ(time_record({2026, 12, 4, 0, 10, 0}), "TIME(HH:MM:SS:.01):    0:10:00:00 am");
}

TEST(RunFiles, StampAt2359ShowsHour11WithPm) {
  EXPECT_EQ(time_record({2026, 12, 4, 23, 59, 7}), "TIME(HH:MM:SS:.01):   11:59:07:00 pm");
}

TEST(RunFiles, StampAt133750ShowsOneThirtySevenPm) {
  EXPECT_EQ(time_record({2026, 12, 4, 13, 37, 50}), "TIME(HH:MM:SS:.01):    1:37:50:00 pm");
}

TEST(RunFiles, DateRecordOn4December2026) {
  EXPECT_EQ(date_record({2026, 12, 4, 0, 0, 0}), "D A T E (MM/DD/YY):   12/04/2026");
  EXPECT_EQ(date_record({2026, 3, 9, 0, 0, 0}), "D A T E (MM/DD/YY):    3/09/2026");
}

TEST(RunFiles, StampWritesReportFirstThenConsole) {
  std::ostringstream console, report;
  Reporter reporter(console, &report);
  stamp({2026, 12, 4, 13, 37, 50}, reporter);
  const std::string expected = "D A T E (MM/DD/YY):   12/04/2026\nTIME(HH:MM:SS:.01):    1:37:50:00 pm\n";
  EXPECT_EQ(console.str(), expected);
  EXPECT_EQ(report.str(), expected);
}

class RunFilesOnDisk : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = std::filesystem::temp_directory_path() / ("trevo_runfiles_" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir_);
    base_ = (dir_ / "job").string();
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }
  std::filesystem::path dir_;
  std::string base_;
};

TEST_F(RunFilesOnDisk, MissingInputIsCreatedEmptyAndExistingInputIsNotTruncated) {
  RunFiles files;
  open_run_files(base_, files);
  EXPECT_TRUE(std::filesystem::exists(base_ + ".dat"));
  EXPECT_EQ(std::filesystem::file_size(base_ + ".dat"), 0u);
  { std::ofstream(base_ + ".dat") << "$$KVO/TREVO\n"; }
  RunFiles again;
  open_run_files(base_, again);
  EXPECT_EQ(std::filesystem::file_size(base_ + ".dat"), 12u);
}

TEST_F(RunFilesOnDisk, WithoutKeepFlagInputIsDeletedAndPostFileNeverSurvives) {
  RunFiles files;
  open_run_files(base_, files);
  close_run_files(0, files);
  EXPECT_FALSE(std::filesystem::exists(base_ + ".dat"));
  EXPECT_FALSE(std::filesystem::exists(base_ + ".QLT"));
  EXPECT_TRUE(std::filesystem::exists(base_ + ".OUT"));
}

TEST_F(RunFilesOnDisk, WithKeepFlagInputSurvivesAndPostFileDoesNot) {
  RunFiles files;
  open_run_files(base_, files);
  close_run_files(1, files);
  EXPECT_TRUE(std::filesystem::exists(base_ + ".dat"));
  EXPECT_FALSE(std::filesystem::exists(base_ + ".QLT"));
}

}  // namespace
}  // namespace trevo
