// Spec: Part 1.1 (Command line and start-up), Edge cases worth testing.
#include "frame/command_line.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace trevo {
namespace {

std::optional<CommandLine> parse(std::vector<std::string> args) {
  std::vector<const char*> argv{"trevo"};
  for (const auto& a : args) argv.push_back(a.c_str());
  return parse_command_line(static_cast<int>(argv.size()), argv.data());
}

TEST(CommandLine, BannerShowsVersionAndBuildDate) {
  EXPECT_EQ(banner(), "kvo/TREVO version 1.3, build date:September 28, 2007");
}

TEST(CommandLine, NoArgumentsGiveExitStatusOne) { EXPECT_FALSE(parse({}).has_value()); }

TEST(CommandLine, FirstArgumentOf1023CharactersIsAccepted) {
  auto line = parse({std::string(1023, 'a')});
  ASSERT_TRUE(line.has_value());
  EXPECT_EQ(line->base_path.size(), 1023u);
}

TEST(CommandLine, FirstArgumentOf1024CharactersGivesExitStatusOne) {
  EXPECT_FALSE(parse({std::string(1024, 'a')}).has_value());
}

TEST(CommandLine, DefaultWorkSizeAndKeepFlag) {
  auto line = parse({"job"});
  ASSERT_TRUE(line);
  EXPECT_EQ(line->work_size, 20'000'000);
  EXPECT_EQ(line->keep_input, 0);
}

TEST(CommandLine, WorkSize50000GivesFiftyMillionWords) { EXPECT_EQ(parse({"job", "50000"})->work_size, 50'000'000); }

TEST(CommandLine, WorkSizeAbcGivesZeroWords) { EXPECT_EQ(parse({"job", "abc"})->work_size, 0); }

TEST(CommandLine, WorkSizeReadsLeadingDigitsOnlyAsAtoiDoes) {
  EXPECT_EQ(parse({"job", "  12x5"})->work_size, 12'000);
  EXPECT_EQ(parse({"job", "+7"})->work_size, 7'000);
}

// Part 1.1, Left to the implementer: 64-bit arithmetic, so values above 268,435
// do not overflow; negative values give a work size of 0.
TEST(CommandLine, WorkSizeAbove268435IsComputedIn64Bits) {
  EXPECT_EQ(parse({"job", "300000"})->work_size, 300'000'000);
  EXPECT_EQ(parse({"job", "5000000000"})->work_size, 5'000'000'000'000);
}

TEST(CommandLine, NegativeWorkSizeGivesZeroWords) { EXPECT_EQ(parse({"job", "-5"})->work_size, 0); }

TEST(CommandLine, AtoiMatchesTheCLibrary) {
  for (const char* text : {"0", "42", "-42", "  17abc", "abc", "", "+3", "- 3", "0012", "\t9"}) {
    EXPECT_EQ(atoi_value(text), std::atoi(text)) << text;
  }
}

TEST(CommandLine, KeepFlagZeroStaysZeroTwoSetsOne) {
  EXPECT_EQ(parse({"job", "100", "0"})->keep_input, 0);
  EXPECT_EQ(parse({"job", "100", "2"})->keep_input, 1);
  EXPECT_EQ(parse({"job", "100", "yes"})->keep_input, 0);
}

TEST(CommandLine, ArgumentsBeyondTheThirdAreIgnored) {
  auto line = parse({"job", "100", "1", "junk"});
  ASSERT_TRUE(line);
  EXPECT_EQ(line->keep_input, 1);
}

}  // namespace
}  // namespace trevo
