// The whole program on corrupted jobs: never a crash, a hang or a non-zero exit status. This feeds what
// survives the readers (fuzzed in tests/input) through preparation, pre-unfolding, iteration and output.
#include <random>

#include "validation_runs.h"

namespace trevo::e2e {
namespace {

TEST(FuzzProgram, CorruptedJobsNeverCrashOrHang) {
  std::vector<std::string> valid = {"$$KVO/TREVO fuzz", "FORMTYPE 0", "MATERIAL  0.001 600.0 0.22 0 1.0 1.0 1.0"};
  for (int n = 0; n < 35; ++n)  // a 6 x 4 grid of quadrilaterals with a bump
    valid.push_back("SHETNODE " + std::to_string(n + 1) + " " + std::to_string(10 * (n % 7)) + " " +
                    std::to_string(10 * (n / 7)) + (n % 7 > 1 && n % 7 < 5 && n / 7 > 0 && n / 7 < 4 ? " 3.0" : " 0.0"));
  for (int e = 0, n = 1; e < 24; ++e, n = 1 + e % 6 + 7 * (e / 6))
    valid.push_back("SHETQUAD " + std::to_string(e + 1) + " " + std::to_string(n) + " " + std::to_string(n + 1) + " " +
                    std::to_string(n + 8) + " " + std::to_string(n + 7) + " 1.0");
  const char* controls[] = {"CORTROL  5 0.0 0.0 0.0 0.0", "OFFSET   -50.0", "AUTONOML 1", "MANUNOML 90.0 -90.0",
                            "BHFORCE  1.0e9", "CONTRATX 1 1 5.0", "STABILIZ -1.0 -1.0", "METHOD   0"};
  JobFolder folder;
  const std::string base = folder.dir / "job";
  std::mt19937 random(20261206);
  for (int variant = -1; variant < 150; ++variant) {  // -1: the valid job, which runs to the end
    std::vector<std::string> lines = valid;
    auto any_line = [&]() -> std::string& { return lines[3 + random() % (lines.size() - 3)]; };
    // One to three edits that keep most lines readable: a duplicated node line, a huge or zero last value,
    // a node at the origin, a dropped line, a stray control, a cut line, swapped lines.
    for (int edits = variant < 0 ? 0 : 1 + random() % 3; edits > 0; --edits) {
      std::string& line = any_line();
      const size_t last = line.rfind(' ');
      const std::string edited[] = {lines[3], line.substr(0, last) + " 1.0e15", line.substr(0, last) + " 0",
                                    line.substr(0, line.find(' ', 9)) + " 0 0 0", "", controls[random() % 8],
                                    line.substr(0, line.size() / 2)};
      const size_t kind = random() % 8;
      kind < 7 ? void(line = edited[kind]) : std::swap(line, any_line());
    }
    std::string job;
    for (const auto& l : lines) job += l + "\n";
    std::ofstream(base + ".dat") << job;
    const JobRun run = run_trevo(base, {base, "20000", "1"});
    ASSERT_EQ(run.exit_status, 0) << "variant " << variant << " (124: a hang, -1: a signal):\n" << job;
    ASSERT_TRUE(variant >= 0 || contains(run.console, "Area of the blank is")) << run.console;
  }
}

}  // namespace
}  // namespace trevo::e2e
