// The command line, the base path, the date-and-time stamp and the size line, with the texts
// the system prints checked character for character.
#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "../test_mesh.h"
#include "core/run_stop.h"
#include "driver/command_line.h"
#include "driver/run_files.h"

namespace trevo {
namespace {

// Arguments after the program name: accepted or not (exit status 1), the work size in words
// (thousands of words, read as C's atoi reads them, in 64 bits) and the keep-input flag.
TEST(CommandLine, ArgumentsGiveWorkSizeAndKeepFlag) {
  const struct { std::vector<std::string> args; bool accepted; int64_t words; int32_t keep; } cases[] = {
      {{}, false, 0, 0}, {{std::string(1024, 'a')}, false, 0, 0}, {{std::string(1023, 'a')}, true, 20'000'000, 0},
      {{"job", "50000"}, true, 50'000'000, 0}, {{"job", "abc"}, true, 0, 0}, {{"job", "  12x5"}, true, 12'000, 0},
      {{"job", "+7"}, true, 7'000, 0}, {{"job", "300000"}, true, 300'000'000, 0}, {{"job", "-5"}, true, 0, 0},
      {{"job", "5000000000"}, true, 5'000'000'000'000, 0}, {{"job", "100", "0"}, true, 100'000, 0},
      {{"job", "100", "2"}, true, 100'000, 1}, {{"job", "100", "yes"}, true, 100'000, 0},
      {{"job", "100", "1", "junk"}, true, 100'000, 1}};
  for (const auto& c : cases) {
    std::vector<const char*> argv{"trevo"};
    for (const auto& a : c.args) argv.push_back(a.c_str());
    const auto line = parse_command_line(static_cast<int>(argv.size()), argv.data());
    const std::string shown = c.args.empty() ? "" : c.args.back().substr(0, 20);
    ASSERT_EQ(line.has_value(), c.accepted) << shown;
    if (!line) continue;
    EXPECT_EQ(std::tuple(line->base_path, line->work_size, line->keep_input), std::tuple(c.args[0], c.words, c.keep)) << shown;
  }
  EXPECT_EQ(effective_base_path("a b "), "a b ");  // its own trailing blanks are kept
  EXPECT_EQ(effective_base_path(std::string(1023, 'p')), std::string(1022, 'p'));  // a 1023-character path loses one
}

// Date and time records: month and hour without leading zero, a 12-hour clock with am/pm;
// the date first, each on the console and in the report.
TEST(RunFiles, StampRecords) {
  const struct { LocalTime t; const char *date, *time; } cases[] = {
      {{2026, 12, 4, 12, 5, 0}, "D A T E (MM/DD/YY):   12/04/2026", "TIME(HH:MM:SS:.01):   12:05:00:00 am"},
      {{2026, 3, 9, 0, 10, 0}, "D A T E (MM/DD/YY):    3/09/2026", "TIME(HH:MM:SS:.01):    0:10:00:00 am"},
      {{2026, 12, 4, 23, 59, 7}, "D A T E (MM/DD/YY):   12/04/2026", "TIME(HH:MM:SS:.01):   11:59:07:00 pm"},
      {{2026, 12, 4, 13, 37, 50}, "D A T E (MM/DD/YY):   12/04/2026", "TIME(HH:MM:SS:.01):    1:37:50:00 pm"}};
  for (const auto& c : cases) {
    test::Captured out;
    stamp(c.t, out.reporter);
    EXPECT_EQ(out.console.str(), std::string(c.date) + "\n" + c.time + "\n");
    EXPECT_EQ(out.report.str(), out.console.str());
  }
}

// The size line; a need above the work size stops after it.
TEST(RunFiles, SizeLineAndStop) {
  test::Captured out;
  check_size(20'000'000, 3'000'000, 20'000'000, out.reporter);
  const std::string line = " IVM=   3000000  KALL=  20000000      IVMMB=   22  AKLLMB=  152\n";
  EXPECT_EQ(out.console.str(), line);
  EXPECT_EQ(out.report.str(), line);
  EXPECT_THROW(check_size(1001, 400, 1000, out.reporter), RunStopped);
}

}  // namespace
}  // namespace trevo
