// ListInput: every syntax rule of free-form numeric input, the errors, and the
// choices left to the implementer. Expected values agree with gfortran 12 except
// where a test says it is a choice. Spec: Part 2.1 (record layout, Left to the implementer).
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <string>

#include "fortran/list_input.h"

namespace trevo::fortran {
namespace {

constexpr double kUnset = -7777.0;

TEST(ListInput, BlanksOrCommasSeparateValues) {
  ListInput in("1 2,3 , 4\t5");
  for (int expected = 1; expected <= 5; ++expected) {
    int32_t v = 0;
    ASSERT_EQ(in.next_int(v), ListStatus::value) << "value " << expected;
    EXPECT_EQ(v, expected);
  }
  int32_t v = 99;
  EXPECT_EQ(in.next_int(v), ListStatus::end);
  EXPECT_EQ(v, 99);
}

TEST(ListInput, MixedIntegerAndRealsOfOneRecord) {  // Part 2.2: a SHETNODE value field
  ListInput in("1 35.00000000 38.00000000 46.00000000");
  int32_t id = 0;
  double x = 0, y = 0, z = 0;
  EXPECT_EQ(in.next_int(id), ListStatus::value);
  EXPECT_EQ(in.next_real(x), ListStatus::value);
  EXPECT_EQ(in.next_real(y), ListStatus::value);
  EXPECT_EQ(in.next_real(z), ListStatus::value);
  EXPECT_EQ(id, 1);
  EXPECT_EQ(x, 35.0);
  EXPECT_EQ(y, 38.0);
  EXPECT_EQ(z, 46.0);
}

// Part 2.1: "Missing trailing values leave the previous contents of the target unchanged."
TEST(ListInput, MissingTrailingValueReturnsEndAndKeepsTarget) {
  ListInput in("0.001 600.0");
  double a = kUnset, b = kUnset, c = kUnset, d = kUnset;
  EXPECT_EQ(in.next_real(a), ListStatus::value);
  EXPECT_EQ(in.next_real(b), ListStatus::value);
  EXPECT_EQ(in.next_real(c), ListStatus::end);
  EXPECT_EQ(in.next_real(d), ListStatus::end);
  EXPECT_EQ(a, 0.001);
  EXPECT_EQ(b, 600.0);
  EXPECT_EQ(c, kUnset);
  EXPECT_EQ(d, kUnset);
}

TEST(ListInput, EmptyAndBlankFieldsEndAtOnce) {
  for (const char* field : {"", "    ", "\t\r\n"}) {
    ListInput in(field);
    int32_t v = 5;
    EXPECT_EQ(in.next_int(v), ListStatus::end) << "'" << field << "'";
    EXPECT_EQ(v, 5);
  }
}

TEST(ListInput, RepeatCountGivesTheValueRTimes) {
  ListInput in("3*1.5 2");
  double v[4] = {0, 0, 0, 0};
  for (double& t : v) EXPECT_EQ(in.next_real(t), ListStatus::value);
  EXPECT_EQ(v[0], 1.5);
  EXPECT_EQ(v[1], 1.5);
  EXPECT_EQ(v[2], 1.5);
  EXPECT_EQ(v[3], 2.0);
}

TEST(ListInput, RepeatedValueReadsAsEitherType) {
  ListInput in("2*7");
  double r = 0;
  int32_t i = 0;
  EXPECT_EQ(in.next_real(r), ListStatus::value);
  EXPECT_EQ(in.next_int(i), ListStatus::value);
  EXPECT_EQ(r, 7.0);
  EXPECT_EQ(i, 7);
}

TEST(ListInput, RepeatedNullsKeepTargets) {
  ListInput in("2* 5");
  double a = kUnset, b = kUnset, c = kUnset;
  EXPECT_EQ(in.next_real(a), ListStatus::null);
  EXPECT_EQ(in.next_real(b), ListStatus::null);
  EXPECT_EQ(in.next_real(c), ListStatus::value);
  EXPECT_EQ(a, kUnset);
  EXPECT_EQ(b, kUnset);
  EXPECT_EQ(c, 5.0);
}

TEST(ListInput, NullValuesBetweenCommas) {
  ListInput in(",1,,3 , ,4");
  const ListStatus expected[] = {ListStatus::null, ListStatus::value, ListStatus::null, ListStatus::value,
                                 ListStatus::null, ListStatus::value, ListStatus::end};
  const int32_t values[] = {-1, 1, -1, 3, -1, 4, -1};
  for (int j = 0; j < 7; ++j) {
    int32_t v = -1;
    EXPECT_EQ(in.next_int(v), expected[j]) << "item " << j;
    EXPECT_EQ(v, values[j]) << "item " << j;
  }
}

TEST(ListInput, SemicolonSeparatesLikeAComma) {  // gfortran 12 does so too
  ListInput in("1;;5");
  int32_t a = 0, b = -1, c = 0;
  EXPECT_EQ(in.next_int(a), ListStatus::value);
  EXPECT_EQ(in.next_int(b), ListStatus::null);
  EXPECT_EQ(in.next_int(c), ListStatus::value);
  EXPECT_EQ(a, 1);
  EXPECT_EQ(b, -1);
  EXPECT_EQ(c, 5);
}

TEST(ListInput, SlashEndsTheInput) {
  ListInput in("1 / 2");
  int32_t a = 0, b = -1, c = -1;
  EXPECT_EQ(in.next_int(a), ListStatus::value);
  EXPECT_EQ(in.next_int(b), ListStatus::end);
  EXPECT_EQ(in.next_int(c), ListStatus::end);
  EXPECT_EQ(a, 1);
  EXPECT_EQ(b, -1);
  EXPECT_EQ(c, -1);
  ListInput glued("1.5/2");
  double x = 0, y = kUnset;
  EXPECT_EQ(glued.next_real(x), ListStatus::value);
  EXPECT_EQ(glued.next_real(y), ListStatus::end);
  EXPECT_EQ(x, 1.5);
  EXPECT_EQ(y, kUnset);
}

TEST(ListInput, RealForms) {
  const std::pair<const char*, double> cases[] = {
      {"1.5", 1.5},   {".5", 0.5},     {"5.", 5.0},      {"1e3", 1000.0},  {"1.0D-3", 1.0e-3}, {"+2", 2.0},
      {"-3", -3.0},   {"1.5E+3", 1500}, {"1.5d3", 1500}, {"1.5q3", 1500},  {"1+5", 1.0e5},     {"-.5e-2", -0.005},
      {"0012", 12.0}, {"1e-400", 0.0},  {"0.1", 0.1},    {"4.9e-324", 4.9e-324}};
  for (const auto& [text, expected] : cases) {
    ListInput in(text);
    double v = kUnset;
    EXPECT_EQ(in.next_real(v), ListStatus::value) << text;
    EXPECT_EQ(v, expected) << text;
  }
  ListInput negative_zero("-0");
  double z = kUnset;
  EXPECT_EQ(negative_zero.next_real(z), ListStatus::value);
  EXPECT_TRUE(z == 0.0 && std::signbit(z));
}

TEST(ListInput, IntegerForms) {
  const std::pair<const char*, int32_t> cases[] = {
      {"12", 12}, {"+7", 7}, {"-3", -3}, {"007", 7}, {"2147483647", 2147483647}, {"-2147483648", INT32_MIN}};
  for (const auto& [text, expected] : cases) {
    ListInput in(text);
    int32_t v = -1;
    EXPECT_EQ(in.next_int(v), ListStatus::value) << text;
    EXPECT_EQ(v, expected) << text;
  }
}

// A real value into an integer is a read error, as in gfortran; the target keeps its value.
TEST(ListInput, RealIntoIntegerIsError) {
  for (const char* text : {"1.5", "1e3", "1.", "2*1.5"}) {
    ListInput in(text);
    int32_t v = -1;
    EXPECT_EQ(in.next_int(v), ListStatus::error) << text;
    EXPECT_EQ(v, -1) << text;
  }
}

TEST(ListInput, NonNumericValuesAreErrors) {
  for (const char* text : {"12abc", "abc", "T", "'a'", "1.5.5", "1e", "1e+", "+", "-", ".", "1.5e3x", "0x10",
                           "1_4", "++1", "1e5e5", "SHETNODE"}) {
    ListInput in(text);
    double r = kUnset;
    EXPECT_EQ(in.next_real(r), ListStatus::error) << text;
    EXPECT_EQ(r, kUnset) << text;
    ListInput in2(text);
    int32_t i = -1;
    EXPECT_EQ(in2.next_int(i), ListStatus::error) << text;
  }
}

TEST(ListInput, IntegerOverflowIsError) {
  for (const char* text : {"2147483648", "-2147483649", "99999999999"}) {
    ListInput in(text);
    int32_t v = -1;
    EXPECT_EQ(in.next_int(v), ListStatus::error) << text;
    EXPECT_EQ(v, -1);
  }
}

// Left to the implementer (Part 2.1): gfortran reads Infinity, NaN and 1e400 (as
// infinity) into a real; no measure of a model is one, so they are read errors here.
TEST(ListInput, InfinityNanAndOverflowAreErrors) {
  for (const char* text : {"inf", "Infinity", "-Infinity", "NaN", "nan()", "1e400", "-1e309", "1e1000000000000"}) {
    ListInput in(text);
    double v = kUnset;
    EXPECT_EQ(in.next_real(v), ListStatus::error) << text;
    EXPECT_EQ(v, kUnset) << text;
  }
}

TEST(ListInput, UnderflowReadsSignedZero) {
  ListInput in("-1.5e-5000000000000 2.4e-324 0e999999999");
  double a = kUnset, b = kUnset, c = kUnset;
  EXPECT_EQ(in.next_real(a), ListStatus::value);
  EXPECT_EQ(in.next_real(b), ListStatus::value);
  EXPECT_EQ(in.next_real(c), ListStatus::value);
  EXPECT_TRUE(a == 0.0 && std::signbit(a));
  EXPECT_TRUE(b == 0.0 && !std::signbit(b));
  EXPECT_EQ(c, 0.0);
}

TEST(ListInput, BadRepeatCountsAreErrors) {
  for (const char* text : {"0*5", "*5", "+3*7", "2147483647*1", "200000001*1", "a*1", "2*3*4"}) {
    ListInput in(text);
    double v = kUnset;
    EXPECT_EQ(in.next_real(v), ListStatus::error) << text;
    EXPECT_EQ(v, kUnset) << text;
  }
  ListInput spaced("3 *7");  // the repeat must touch its '*': "3", then "*7" fails
  int32_t a = 0, b = -1;
  EXPECT_EQ(spaced.next_int(a), ListStatus::value);
  EXPECT_EQ(spaced.next_int(b), ListStatus::error);
  EXPECT_EQ(a, 3);
}

TEST(ListInput, ErrorAndEndAreFinal) {
  ListInput bad("3*x 1 2");
  double v = kUnset;
  EXPECT_EQ(bad.next_real(v), ListStatus::error);
  EXPECT_EQ(bad.next_real(v), ListStatus::error);  // no further copies of the repeat
  EXPECT_EQ(bad.next_real(v), ListStatus::error);
  EXPECT_EQ(v, kUnset);
  ListInput ended("1 / 2");
  EXPECT_EQ(ended.next_real(v), ListStatus::value);
  for (int j = 0; j < 3; ++j) EXPECT_EQ(ended.next_real(v), ListStatus::end);
}

TEST(ListInput, LongTokensAreReadWithoutTruncation) {
  const std::string many_zeros = std::string(300, '0') + "1.5";
  const std::string field = many_zeros + " " + std::string(300, '0') + "7";
  ListInput in(field);
  double r = 0;
  int32_t i = 0;
  EXPECT_EQ(in.next_real(r), ListStatus::value);
  EXPECT_EQ(in.next_int(i), ListStatus::value);
  EXPECT_EQ(r, 1.5);
  EXPECT_EQ(i, 7);
  const std::string nines(300, '9');
  ListInput huge_int(nines);
  EXPECT_EQ(huge_int.next_int(i), ListStatus::error);
}

// Part 2.1: the value field is columns 10-200 of a 200-character record, blank-padded.
TEST(ListInput, PaddedValueField) {
  std::string record = "FORMTYPE 12";
  record.resize(200, ' ');
  ListInput in(std::string_view(record).substr(9));
  int32_t form = 100, extra = -1;
  EXPECT_EQ(in.next_int(form), ListStatus::value);
  EXPECT_EQ(in.next_int(extra), ListStatus::end);
  EXPECT_EQ(form, 12);
  EXPECT_EQ(extra, -1);
}

// Any bytes at all: every call returns a status and the reading finishes (run under
// ASan/UBSan in the sanitizer build).
TEST(ListInput, ArbitraryBytesAreSafe) {
  uint64_t state = 0x9E3779B97F4A7C15ull;
  auto next_byte = [&] {
    state ^= state << 13;
    state ^= state >> 7;
    state ^= state << 17;
    return static_cast<char>(state & 0xFF);
  };
  const char alphabet[] = "0123456789+-.eEdD*,;/ \t";
  for (int round = 0; round < 20000; ++round) {
    std::string field(static_cast<size_t>(state % 24), ' ');
    for (char& c : field) {
      const char b = next_byte();
      c = (b & 1) ? alphabet[static_cast<unsigned char>(b) % (sizeof(alphabet) - 1)] : b;
    }
    ListInput in(field);
    int calls = 0;
    for (; calls < 64; ++calls) {
      double r = 0;
      int32_t i = 0;
      const ListStatus s = (calls % 2) ? in.next_int(i) : in.next_real(r);
      if (s == ListStatus::end || s == ListStatus::error) break;
      if (s == ListStatus::value && calls % 2 == 0) {
        EXPECT_TRUE(std::isfinite(r)) << field;
      }
    }
  }
}

}  // namespace
}  // namespace trevo::fortran
