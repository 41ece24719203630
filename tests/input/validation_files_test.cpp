// Every keyword file of the shared validation set is read by the whole read sequence
// (Parts 2.1-2.3); counts match the number of lines of each keyword.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "input_test_support.h"

namespace trevo {
namespace {

std::vector<std::filesystem::path> validation_files() {
  std::vector<std::filesystem::path> files;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(TREVO_SHARED_DIR "/validation")) {
    if (entry.is_regular_file() && entry.path().extension() == ".dat") files.push_back(entry.path());
  }
  std::sort(files.begin(), files.end());
  return files;
}

std::map<std::string, int32_t> keyword_lines(const KeywordFile& file) {
  std::map<std::string, int32_t> lines;
  for (size_t i = 0; i < file.size(); ++i) ++lines[std::string(file[i].columns(1, 8))];
  return lines;
}

TEST(ValidationFiles, EveryFileReadsWithMatchingCounts) {
  const auto files = validation_files();
  ASSERT_GE(files.size(), 30u);
  for (const auto& path : files) {
    SCOPED_TRACE(path.string());
    KeywordFile file = KeywordFile::load(path.string());
    auto lines = keyword_lines(file);
    test::Capture out;
    WorkArray work(20'000'000);
    test::JobRead job;
    ASSERT_NO_THROW(test::read_job(file, work, out.reporter, job)) << out.console.str();
    const RunSettings& s = job.settings;
    EXPECT_EQ(s.part_elements, lines["SHETQUAD"]);
    EXPECT_EQ(s.part_nodes, lines["SHETNODE"]);
    EXPECT_EQ(s.material_count, lines["MATERIAL"]);
    EXPECT_EQ(s.drawbead_count, lines["DRAWBEAD"]);
    EXPECT_EQ(s.contratx_count, lines["CONTRATX"]);
    EXPECT_EQ(s.contraty_count, lines["CONTRATY"]);
    EXPECT_EQ(s.blank_holder_elements, lines["BINDQUAD"]);
    EXPECT_EQ(s.blank_holder_nodes, lines["BINDNODE"]);
    EXPECT_EQ(s.binder_elements, lines["FLANQUAD"]);
    EXPECT_EQ(s.binder_nodes, lines["FLANNODE"]);
    EXPECT_EQ(s.pad_elements, lines["HOLDQUAD"]);
    EXPECT_EQ(s.pad_nodes, lines["HOLDNODE"]);
    EXPECT_EQ(job.first.duplicate_count, 0);  // the sets have no duplicates (their READMEs)
    EXPECT_EQ(job.second.elements_stored, lines["SHETQUAD"]);
    EXPECT_EQ(job.second.mesh.nn, lines["SHETNODE"]);  // every node is used
    size_t tool = 0;
    for (const auto& [flag, elements, nodes] : {std::tuple{s.blank_holder_flag, "BINDQUAD", "BINDNODE"},
                                                std::tuple{s.binder_flag, "FLANQUAD", "FLANNODE"},
                                                std::tuple{s.pad_flag, "HOLDQUAD", "HOLDNODE"}}) {
      if (flag != 1) continue;
      ASSERT_LT(tool, job.tools.size());
      EXPECT_EQ(job.tools[tool].ne, lines[elements]);
      EXPECT_EQ(job.tools[tool].nn, lines[nodes]);
      ++tool;
    }
    EXPECT_EQ(tool, job.tools.size());
    for (int32_t e = 0; e < job.second.elements_stored; ++e) {
      ASSERT_EQ(job.second.mesh.corners[static_cast<size_t>(e)], corner_count(job.second.mesh, e)) << e;
    }
  }
}

TEST(ValidationFiles, PlateControlsSettings) {
  KeywordFile file = KeywordFile::load(TREVO_SHARED_DIR "/validation/tools/plate_controls.dat");
  test::Capture out;
  WorkArray work(2'000'000);
  test::JobRead job;
  test::read_job(file, work, out.reporter, job);
  const RunSettings& s = job.settings;
  EXPECT_EQ(s.bhforce, 1000.0);
  EXPECT_EQ(s.friction1, 0.15);
  EXPECT_EQ(s.friction2, 0.1);
  EXPECT_EQ(s.holforce, 0.0);
  EXPECT_EQ(s.pad_coefficient, 0.2);
  EXPECT_EQ(s.iteration_limit, 250);
  EXPECT_EQ(s.displacement_tolerance, 0.0002);
  EXPECT_EQ(s.method, 1);
  EXPECT_EQ(s.offset, 0.5);
  EXPECT_EQ(s.autonoml, 1);
  EXPECT_EQ(s.element_value, 1.0);
  EXPECT_EQ(job.arrays.material[1], 600.0);
}

TEST(ValidationFiles, CupAllToolsDrawbeadsAndTools) {
  KeywordFile file = KeywordFile::load(TREVO_SHARED_DIR "/validation/tools/cup_all_tools.dat");
  test::Capture out;
  WorkArray work(5'000'000);
  test::JobRead job;
  test::read_job(file, work, out.reporter, job);
  EXPECT_EQ(job.settings.forming_type, 13);
  ASSERT_EQ(job.arrays.drawbead[0].size(), 4u);
  EXPECT_EQ(job.arrays.drawbead[0][3], 100.0);
  EXPECT_EQ(job.arrays.drawbead[1][3], 30.0);
  EXPECT_EQ(job.arrays.drawbead[2][0], 71.839);
  EXPECT_EQ(job.arrays.drawbead[7][3], 54.0);
  EXPECT_EQ(job.settings.holforce, 10000.0);
  EXPECT_EQ(job.tools.size(), 3u);
}

}  // namespace
}  // namespace trevo
