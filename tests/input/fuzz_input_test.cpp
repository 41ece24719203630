// Randomly corrupted keyword files through the whole read sequence (Parts 1.2, 2.1-2.3):
// every variant either reads or stops cleanly (RunStopped); never a crash or a hang.
#include <gtest/gtest.h>

#include <random>

#include "input_test_support.h"

namespace trevo {
namespace {

// A valid small job using every reader: all tools, two materials, drawbeads, contours,
// controls, a feature line, FLANGING, a duplicate element, an unused node.
std::string valid_job() {
  std::string text = "$$KVO/TREVO fuzz base\n$ comment\nFORMTYPE 13\nMATERIAL  0.001 600.0 0.22 0 1.0 1.0 1.0\n"
                     "MATERIAL 1 0.001 600.0 0.22 0 1.0 1.0 1.0 1.5\nFRICTION 0.15 0.1\nBHFORCE  1000.0\n"
                     "HOLFORCE 10.0 0.2\nCORTROL  250 0.0002 0.1 1.0 2.0\nMETHOD   1\nOFFSET   0.5\nAUTONOML 1\n"
                     "MANUNOML 0.1 0.2\nSTABILIZ 1.0 1.0\nDRAWBEAD 1 100.0 30.0 1 2 3 4 5 6\n"
                     "DRAWBEAD 2 100.0 30.0 6 5 4 3 2 1\nCONTRATX 1 62 0.0\nCONTRATX 2 3 0.5\nCONTRATY 1 4 0.0\n"
                     "FLANGING 0\n";
  for (int j = 0; j < 4; ++j) {
    for (int i = 0; i < 4; ++i) {
      text += "SHETNODE " + std::to_string(10 * (4 * j + i) + 3) + " " + std::to_string(i) + ".0 " + std::to_string(j) +
              ".0 0.0\n";
    }
  }
  text += "SHETNODE 999 5.0 5.0 5.0\n";  // unused
  int label = 1;
  for (int j = 0; j < 3; ++j) {
    for (int i = 0; i < 3; ++i) {
      const int n = 4 * j + i;
      auto id = [](int node) { return std::to_string(10 * node + 3); };
      text += "SHETQUAD " + std::to_string(label++) + " " + id(n) + " " + id(n + 1) + " " + id(n + 5) + " " + id(n + 4) +
              " 1.0 " + std::to_string(1 + (i + j) % 2) + "\n";
    }
  }
  text += "SHETQUAD 20 3 13 53 53 1.0 1\nSHETQUAD 21 53 3 13 0 1.0 2\n";  // a duplicate triangle pair
  for (const char* tool : {"BIND", "FLAN", "HOLD"}) {
    for (int j = 0; j < 3; ++j) {
      for (int i = 0; i < 3; ++i) {
        text += std::string(tool) + "NODE " + std::to_string(3 * j + i + 1) + " " + std::to_string(i) + " " +
                std::to_string(j) + " 1.0\n";
      }
    }
    for (int j = 0; j < 2; ++j) {
      for (int i = 0; i < 2; ++i) {
        const int n = 3 * j + i + 1;
        text += std::string(tool) + "QUAD " + std::to_string(2 * j + i + 1) + " " + std::to_string(n) + " " +
                std::to_string(n + 1) + " " + std::to_string(n + 4) + " " + std::to_string(n + 3) + "\n";
      }
    }
  }
  text += "FEATLINE 1 9\nFTLNNODE 1 2 3 4 8 12 16\nFTLNNODE 15 14\nFEATLINE 2 2\nFTLNNODE 1 5\n";
  return text;
}

std::vector<std::string> split_lines(const std::string& text) {
  std::vector<std::string> lines;
  size_t first = 0;
  while (first < text.size()) {
    size_t end = text.find('\n', first);
    if (end == std::string::npos) end = text.size();
    lines.push_back(text.substr(first, end - first));
    first = end + 1;
  }
  return lines;
}

std::string join_lines(const std::vector<std::string>& lines) {
  std::string text;
  for (const auto& line : lines) text += line + "\n";
  return text;
}

const char* const kOddTokens[] = {"2147483647", "-2147483648", "99999999999", "1e308", "1e999", "-1e999", "NaN",
                                  "-nan",       "inf",         "",            "*",     "3*",    ",",      "/",
                                  "0",          "-1",          "1.5",         "0x10",  "1d3",   "2*7",    "\t",
                                  "\r",         "1e-400",      "501",         "13",    "12",    "7"};

// One random corruption of the text.
std::string corrupt(std::string text, std::mt19937& random) {
  auto pick = [&random](size_t n) { return n == 0 ? size_t{0} : static_cast<size_t>(random() % n); };
  std::vector<std::string> lines = split_lines(text);
  switch (random() % 8) {
    case 0:  // byte flip
      if (!text.empty()) text[pick(text.size())] = static_cast<char>(random() % 256);
      return text;
    case 1:  // truncation
      return text.substr(0, pick(text.size() + 1));
    case 2:  // deleted line
      if (!lines.empty()) lines.erase(lines.begin() + static_cast<std::ptrdiff_t>(pick(lines.size())));
      break;
    case 3:  // duplicated line, anywhere
      if (!lines.empty()) {
        std::string copy = lines[pick(lines.size())];
        lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(pick(lines.size() + 1)), copy);
      }
      break;
    case 4:  // swapped lines
      if (!lines.empty()) std::swap(lines[pick(lines.size())], lines[pick(lines.size())]);
      break;
    case 5:
    case 6: {  // a token replaced by a random number or an odd token
      if (lines.empty()) break;
      std::string& line = lines[pick(lines.size())];
      std::vector<size_t> starts;
      for (size_t i = 9; i < line.size(); ++i) {
        if (line[i] != ' ' && line[i - 1] == ' ') starts.push_back(i);
      }
      if (starts.empty()) break;
      const size_t first = starts[pick(starts.size())];
      size_t end = line.find(' ', first);
      if (end == std::string::npos) end = line.size();
      std::string token = random() % 2 == 0 ? std::to_string(static_cast<int>(random() % 40) - 5)
                                            : std::string(kOddTokens[pick(std::size(kOddTokens))]);
      line.replace(first, end - first, token);
      break;
    }
    default:  // a NUL, CR or very long run inserted
      if (!text.empty()) {
        const char* inserts[] = {"\0", "\r", "\r\n", "\n\n"};
        const size_t at = pick(text.size());
        if (random() % 5 == 0) {
          text.insert(at, std::string(300, static_cast<char>('0' + random() % 10)));
        } else {
          const char* s = inserts[pick(4)];
          text.insert(at, s[0] == '\0' ? std::string(1, '\0') : std::string(s));
        }
      }
      return text;
  }
  return join_lines(lines);
}

void check_result(const test::JobRead& job) {
  const Mesh& part = job.second.mesh;
  for (int32_t e = 0; e < job.second.elements_stored; ++e) {
    for (int k = 0; k < 4; ++k) {
      ASSERT_GE(part.node(e, k), 0);
      ASSERT_LT(part.node(e, k), part.nn);
    }
  }
  for (const Mesh& tool : job.tools) {
    for (int32_t e = 0; e < tool.ne; ++e) {
      for (int k = 0; k < 4; ++k) ASSERT_LT(static_cast<uint32_t>(tool.node(e, k)), static_cast<uint32_t>(tool.nn));
    }
  }
  for (int32_t node : job.features.nodes) ASSERT_LT(static_cast<uint32_t>(node), static_cast<uint32_t>(part.nn));
}

TEST(FuzzInput, TenThousandCorruptedJobs) {
  const std::string base = valid_job();
  {  // the base job itself reads
    test::Capture out;
    WorkArray work(3000);
    test::JobRead job;
    test::read_job(KeywordFile::from_text(base), work, out.reporter, job);
    ASSERT_EQ(job.first.duplicate_count, 1);
    ASSERT_EQ(job.second.mesh.nn, 16);
    ASSERT_EQ(job.tools.size(), 3u);
    ASSERT_EQ(job.features.node_counts, (std::vector<int32_t>{9, 2}));
  }
  std::mt19937 random(123457);
  int read = 0, stopped = 0;
  for (int variant = 0; variant < 10000; ++variant) {
    std::string text = base;
    const int corruptions = 1 + static_cast<int>(random() % 3);
    for (int c = 0; c < corruptions; ++c) text = corrupt(std::move(text), random);
    test::Capture out;
    WorkArray work(3000);
    test::JobRead job;
    try {
      test::read_job(KeywordFile::from_text(text), work, out.reporter, job, static_cast<int32_t>(random() % 3));
      ++read;
      check_result(job);
      if (HasFatalFailure()) {
        ADD_FAILURE() << "variant " << variant << ":\n" << text;
        return;
      }
    } catch (const RunStopped&) {
      ++stopped;
      ASSERT_FALSE(out.console.str().empty()) << "a stop without a message, variant " << variant << ":\n" << text;
    }
  }
  RecordProperty("read", read);
  RecordProperty("stopped", stopped);
  EXPECT_EQ(read + stopped, 10000);
  EXPECT_GT(read, 1000);
  EXPECT_GT(stopped, 1000);
}

}  // namespace
}  // namespace trevo
