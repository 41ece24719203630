// Spec: Part 1.2 (Work array and index table), size check and stage bounds.
#include "frame/work_array.h"

#include <gtest/gtest.h>

#include <sstream>

#include "frame/run_stop.h"

namespace trevo {
namespace {

TEST(WorkArray, SlicesTakeOneWordPerEntryForRealsAndIntegers) {
  WorkArray work(100);
  std::ostringstream console;
  Reporter reporter(console, nullptr);
  StageLayout stage(work, reporter, 1);
  auto reals = stage.reals(10);
  auto ints = stage.ints(10);
  EXPECT_EQ(stage.next_free(), 21);
  reals[9] = 1.5;
  ints[9] = 7;
  // The integer slice starts right after the ten real words.
  EXPECT_EQ(reinterpret_cast<std::byte*>(ints.data()) - reinterpret_cast<std::byte*>(reals.data()), 80);
  EXPECT_EQ(reals[9], 1.5);
}

TEST(WorkArray, StageEndingExactlyAtTheWorkSizeFits) {
  WorkArray work(30);
  std::ostringstream console;
  Reporter reporter(console, nullptr);
  StageLayout stage(work, reporter, 1);
  stage.reals(30);
  EXPECT_EQ(stage.next_free(), 31);
  EXPECT_EQ(console.str(), "");
}

TEST(WorkArray, OneWordPastTheWorkSizeStopsWithTheMessage) {
  WorkArray work(30);
  std::ostringstream console, report;
  Reporter reporter(console, &report);
  StageLayout stage(work, reporter, 1);
  EXPECT_THROW(stage.reals(31), RunStopped);
  EXPECT_EQ(console.str(), " DIMENSION ASKED IS TOO BIG  -----------\n");
  EXPECT_EQ(report.str(), console.str());
}

TEST(WorkArray, WorkSizeZeroStopsAtTheFirstSlice) {
  WorkArray work(0);
  std::ostringstream console;
  Reporter reporter(console, nullptr);
  StageLayout stage(work, reporter, 1);
  EXPECT_THROW(stage.ints(1), RunStopped);
}

TEST(SizeCheck, TotalEqualToWorkSizeRunsOneWordMoreStops) {
  std::ostringstream console;
  Reporter reporter(console, nullptr);
  EXPECT_NO_THROW(check_size(1000, 400, 1000, reporter));
  EXPECT_THROW(check_size(1001, 400, 1000, reporter), RunStopped);
}

TEST(SizeCheck, SizeLineLayout) {
  std::ostringstream console, report;
  Reporter reporter(console, &report);
  check_size(20'000'000, 3'000'000, 20'000'000, reporter);
  const std::string line = " IVM=   3000000  KALL=  20000000      IVMMB=   22  AKLLMB=  152\n";
  EXPECT_EQ(console.str(), line);
  EXPECT_EQ(report.str(), line);
}

}  // namespace
}  // namespace trevo
