// Text helpers for the end-to-end checks: records of a console or report, message lines
// built as the spec's edit descriptors lay them out, numbers read back from messages.
// Spec: Overview Conventions (list-directed messages, G editing), Part 3.2 (10I8 lists).
#pragma once
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace trevo::e2e {

inline std::vector<std::string> records_of(const std::string& text) {
  std::vector<std::string> out;
  size_t at = 0;
  while (at < text.size()) {
    const size_t end = text.find('\n', at);
    if (end == std::string::npos) {
      out.push_back(text.substr(at));
      break;
    }
    out.push_back(text.substr(at, end - at));
    at = end + 1;
  }
  return out;
}

inline std::string join_records(const std::vector<std::string>& lines) {
  std::string s;
  for (const auto& l : lines) s += l + "\n";
  return s;
}

inline bool contains(const std::string& text, const std::string& piece) { return text.find(piece) != std::string::npos; }

// Iw, right-aligned.
inline std::string int_field(long long v, int w) {
  std::string s = std::to_string(v);
  return s.size() >= static_cast<size_t>(w) ? s : std::string(static_cast<size_t>(w) - s.size(), ' ') + s;
}

// G14.5 of a value whose magnitude lies in [0.1, 1): fixed form F10.5 and four blanks.
inline std::string g14_5_below_one(double v) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%10.5f    ", v);
  return buf;
}

// Labels in format (10I8), ten to a record.
inline std::vector<std::string> label_records(const std::vector<long long>& labels) {
  std::vector<std::string> out;
  for (size_t i = 0; i < labels.size(); i += 10) {
    std::string r;
    for (size_t k = i; k < labels.size() && k < i + 10; ++k) r += int_field(labels[k], 8);
    out.push_back(r);
  }
  return out;
}

// A plain message padded with blanks to `width` characters (Part 3.2 check 2 lines).
inline std::string padded_message(const std::string& text, size_t width) {
  std::string t = text;
  if (t.size() < width) t.resize(width, ' ');
  return " " + t;
}

// The number right after `label` in the first record that holds it (NaN when absent).
inline double number_after(const std::string& text, const std::string& label) {
  const size_t at = text.find(label);
  if (at == std::string::npos) return std::nan("");
  try {
    return std::stod(text.substr(at + label.size(), 40));
  } catch (...) {
    return std::nan("");
  }
}

// A measured value of an acceptance check: an XML property of the test and a line
// "MEASURED <test> <what> <value>" on stdout, so CI logs carry the numbers behind a verdict.
inline void record_measure(const std::string& what, double value) {
  const testing::TestInfo* test = testing::UnitTest::GetInstance()->current_test_info();
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.6g", value);
  testing::Test::RecordProperty(what, buf);
  std::printf("MEASURED %s.%s %s %s\n", test->test_suite_name(), test->name(), what.c_str(), buf);
}

}  // namespace trevo::e2e
