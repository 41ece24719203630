// Spec: Part 1.1 and Part 1.3 through the real program: banner, exit statuses.
#include <gtest/gtest.h>

#include "job_runner.h"

namespace trevo::e2e {
namespace {

TEST(Program, NoArgumentsPrintTheBannerAndExitWithStatusOne) {
  int status = std::system(("'" + std::string(TREVO_BINARY) + "' > /dev/null 2>&1").c_str());
  EXPECT_EQ(WEXITSTATUS(status), 1);
  FILE* pipe = popen(("'" + std::string(TREVO_BINARY) + "'").c_str(), "r");
  char line[200] = {};
  ASSERT_NE(fgets(line, sizeof line, pipe), nullptr);
  pclose(pipe);
  EXPECT_STREQ(line, "kvo/TREVO version 1.3, build date:September 28, 2007\n");
}

TEST(Program, OverLongBasePathExitsWithStatusOne) {
  std::string path(1024, 'a');
  int status = std::system(("'" + std::string(TREVO_BINARY) + "' " + path + " > /dev/null 2>&1").c_str());
  EXPECT_EQ(WEXITSTATUS(status), 1);
}

TEST(Program, MissingInputIsReportedAsKeywordErrorWithStatusZero) {
  JobFolder folder("missing");
  JobRun run = run_trevo(folder.dir(), "nothing", {});
  EXPECT_EQ(run.exit_status, 0);
  EXPECT_NE(run.console.find(" ERROR 1:  Error in Keyword of input data, or error in file name\n"), std::string::npos)
      << run.console;
  EXPECT_NE(run.report.find(" ERROR 1:  Error in Keyword of input data, or error in file name\n"), std::string::npos);
  EXPECT_TRUE(run.exists(".dat"));  // created empty by the open (Part 1.4)
}

TEST(Program, WorkSizeZeroStopsWithDimensionMessage) {
  JobFolder folder("zero");
  JobRun run = run_validation_job(folder, "generated/plate.dat", {"0", "1"});
  EXPECT_EQ(run.exit_status, 0);
  EXPECT_NE(run.console.find("DIMENSION ASKED IS TOO BIG  -----------"), std::string::npos) << run.console;
  EXPECT_NE(run.report.find("DIMENSION ASKED IS TOO BIG  -----------"), std::string::npos);
  EXPECT_TRUE(run.exists(".dat"));  // a stopped run deletes nothing
}

}  // namespace
}  // namespace trevo::e2e
