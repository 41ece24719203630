// ListInput compared with gfortran's list-directed READ of the same field.
// Spec: Part 2.1 (value fields in list-directed form; Left to the implementer).
// The table comes from tests/fortran/gen/gen_list_input.f90 (gfortran 12).
#include <gtest/gtest.h>

#include <array>
#include <bit>
#include <charconv>
#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

#include "fortran/list_input.h"

namespace trevo::fortran {
namespace {

struct Case {
  int real_status = 0;  // gfortran: -1 end of file, 0 success, 1 error
  std::array<uint64_t, 4> real_bits{};
  int int_status = 0;
  std::array<int32_t, 4> ints{};
  std::string field;
};

std::vector<Case> read_cases() {
  std::ifstream in(TREVO_SOURCE_DIR "/tests/fortran/data/list_input.txt");
  EXPECT_TRUE(in) << "cannot open list_input.txt";
  std::vector<Case> cases;
  std::string line;
  while (std::getline(in, line)) {
    std::vector<std::string_view> parts;
    size_t start = 0;
    for (int i = 0; i < 10; ++i) {
      const size_t bar = line.find('|', start);
      parts.emplace_back(line.data() + start, bar - start);
      start = bar + 1;
    }
    Case c;
    auto num = [](std::string_view s, auto& v, int base = 10) { std::from_chars(s.data(), s.data() + s.size(), v, base); };
    num(parts[0], c.real_status);
    for (int j = 0; j < 4; ++j) num(parts[1 + j], c.real_bits[j], 16);
    num(parts[5], c.int_status);
    for (int j = 0; j < 4; ++j) num(parts[6 + j], c.ints[j]);
    c.field = line.substr(start);
    cases.push_back(c);
  }
  return cases;
}

// Reads four targets; returns the index of the first error (4 if none) and
// whether any status was `end`.
template <class T, class Read>
int read_four(std::array<T, 4>& targets, Read read, bool& saw_end) {
  int first_error = 4;
  saw_end = false;
  for (int j = 0; j < 4; ++j) {
    const ListStatus s = read(targets[j]);
    if (s == ListStatus::error && first_error == 4) first_error = j;
    if (s == ListStatus::end) saw_end = true;
  }
  return first_error;
}

// Part 2.1: every case of the table reads as gfortran reads it: the same error
// verdict, the same values in the targets (before the failing one), the same end.
TEST(ListInputTable, MatchesGfortranRead) {
  const std::vector<Case> cases = read_cases();
  ASSERT_GE(cases.size(), 100u);
  for (const Case& c : cases) {
    {
      ListInput in(c.field);
      std::array<double, 4> r;
      r.fill(-7777.0);
      bool saw_end = false;
      const int first_error = read_four(r, [&](double& t) { return in.next_real(t); }, saw_end);
      EXPECT_EQ(first_error < 4, c.real_status > 0) << "real read of '" << c.field << "'";
      for (int j = 0; j < first_error; ++j)
        EXPECT_EQ(std::bit_cast<uint64_t>(r[j]), c.real_bits[j]) << "real " << j << " of '" << c.field << "'";
      if (c.real_status < 0) {
        EXPECT_TRUE(saw_end) << "real read of '" << c.field << "'";
      }
      if (c.real_status == 0 && c.field.find('/') == std::string::npos) {
        EXPECT_FALSE(saw_end) << "real read of '" << c.field << "'";
      }
    }
    {
      ListInput in(c.field);
      std::array<int32_t, 4> k;
      k.fill(-7777);
      bool saw_end = false;
      const int first_error = read_four(k, [&](int32_t& t) { return in.next_int(t); }, saw_end);
      EXPECT_EQ(first_error < 4, c.int_status > 0) << "integer read of '" << c.field << "'";
      for (int j = 0; j < first_error; ++j) EXPECT_EQ(k[j], c.ints[j]) << "integer " << j << " of '" << c.field << "'";
      if (c.int_status < 0) {
        EXPECT_TRUE(saw_end) << "integer read of '" << c.field << "'";
      }
      if (c.int_status == 0 && c.field.find('/') == std::string::npos) {
        EXPECT_FALSE(saw_end) << "integer read of '" << c.field << "'";
      }
    }
  }
}

}  // namespace
}  // namespace trevo::fortran
