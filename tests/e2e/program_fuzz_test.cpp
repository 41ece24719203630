// The whole program on corrupted jobs: never a crash, a hang or a non-zero exit status.
// Brief and Part 1.3: bad input gets a message and a stop with exit status 0. The readers
// are fuzzed in-process (tests/input); this feeds what survives them - coincident nodes,
// folded or degenerate elements, huge coordinates, stray controls - through preparation,
// pre-unfolding, iteration and output.
#include <gtest/gtest.h>

#include <random>
#include <sstream>

#include "job_runner.h"

namespace trevo::e2e {
namespace {

// A 6 x 4 grid of quadrilaterals with a bump, a valid job that runs to the end.
std::string valid_job() {
  std::ostringstream job;
  job << "$$KVO/TREVO fuzz seed\nFORMTYPE 0\nMATERIAL  0.001 600.0 0.22 0 1.0 1.0 1.0\n";
  const int nx = 7, ny = 5;
  for (int j = 0; j < ny; ++j) {
    for (int i = 0; i < nx; ++i) {
      const double z = (i > 1 && i < 5 && j > 0 && j < 4) ? 3.0 : 0.0;
      job << "SHETNODE " << j * nx + i + 1 << " " << 10.0 * i << " " << 10.0 * j << " " << z << "\n";
    }
  }
  int id = 1;
  for (int j = 0; j + 1 < ny; ++j) {
    for (int i = 0; i + 1 < nx; ++i) {
      const int n1 = j * nx + i + 1;
      job << "SHETQUAD " << id++ << " " << n1 << " " << n1 + 1 << " " << n1 + nx + 1 << " " << n1 + nx << " 1.0\n";
    }
  }
  return job.str();
}

std::vector<std::string> split_lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// One corruption that keeps most lines readable, so the variant gets past the readers.
std::string corrupt(const std::string& text, std::mt19937& random) {
  std::vector<std::string> lines = split_lines(text);
  std::uniform_int_distribution<std::size_t> pick_line(3, lines.size() - 1);
  std::uniform_int_distribution<int> pick_kind(0, 7);
  const char* extras[] = {"CORTROL  5 0.0 0.0 0.0 0.0", "OFFSET   -50.0", "AUTONOML 1", "MANUNOML 90.0 -90.0",
                          "BHFORCE  1.0e9", "CONTRATX 1 1 5.0", "STABILIZ -1.0 -1.0", "METHOD   0"};
  for (int edits = 1 + static_cast<int>(random() % 3); edits > 0; --edits) {
    std::string& line = lines[pick_line(random)];
    switch (pick_kind(random)) {
      case 0: line = lines[3]; break;                                         // a duplicated node line
      case 1: line = line.substr(0, line.rfind(' ')) + " 1.0e15"; break;      // a huge last value
      case 2: line = line.substr(0, line.rfind(' ')) + " 0"; break;           // a zero last value
      case 3: line = line.substr(0, line.find(' ', 9)) + " 0 0 0"; break;      // a node at the origin
      case 4: line.clear(); break;                                             // a dropped line
      case 5: line = extras[random() % 8]; break;                              // a stray control
      case 6: line = line.substr(0, line.size() / 2); break;                   // a cut line
      default: std::swap(line, lines[pick_line(random)]); break;               // swapped lines
    }
  }
  std::string out;
  for (const auto& l : lines) out += l + "\n";
  return out;
}

TEST(FuzzProgram, CorruptedJobsNeverCrashOrHang) {
  JobFolder folder("fuzz");
  {
    JobRun clean = run_text_job(folder, valid_job());
    ASSERT_EQ(clean.exit_status, 0);
    ASSERT_NE(clean.console.find("Area of the blank is"), std::string::npos) << clean.console;
  }
  std::mt19937 random(20261206);
  constexpr int kVariants = 150;
  for (int variant = 0; variant < kVariants; ++variant) {
    const std::string job = corrupt(valid_job(), random);
    std::ofstream(folder.dir() / "job.dat", std::ios::binary) << job;
    // `timeout` turns a hang into exit status 124, a crash shows as a signal.
    const std::string command = "timeout 60 '" + std::string(TREVO_BINARY) + "' '" + (folder.dir() / "job").string() +
                                "' 20000 1 > /dev/null 2>&1";
    const int status = std::system(command.c_str());
    ASSERT_TRUE(WIFEXITED(status)) << "variant " << variant << " died by a signal:\n" << job;
    ASSERT_EQ(WEXITSTATUS(status), 0) << "variant " << variant << " (124 = hang):\n" << job;
  }
}

}  // namespace
}  // namespace trevo::e2e
