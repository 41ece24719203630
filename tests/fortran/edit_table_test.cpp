// Every edit descriptor and list-directed item compared with gfortran's own output.
// Spec: Overview (Conventions: Iw, Iw.m, Fw.d, Gw.d, exponent form), Part 4.1 (G9.3).
// The tables come from tests/fortran/gen/gen_edit.f90 (gfortran 12), see its header.
#include <gtest/gtest.h>

#include <bit>
#include <charconv>
#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

#include "fortran/edit.h"

namespace trevo::fortran {
namespace {

struct Descriptor {
  bool scale_one = false;  // 1P prefix
  char letter = 'I';
  int w = 0;
  int d = -1;  // -1: none given
};

Descriptor parse_descriptor(std::string_view text) {
  Descriptor desc;
  if (text.starts_with("1P")) {
    desc.scale_one = true;
    text.remove_prefix(2);
  }
  desc.letter = text[0];
  const char* end = text.data() + text.size();
  auto res = std::from_chars(text.data() + 1, end, desc.w);
  if (res.ptr != end && *res.ptr == '.') std::from_chars(res.ptr + 1, end, desc.d);
  return desc;
}

std::vector<std::string> split_bars(const std::string& line) {
  std::vector<std::string> parts;
  size_t start = 0;
  for (size_t bar = line.find('|'); bar != std::string::npos; bar = line.find('|', start)) {
    parts.push_back(line.substr(start, bar - start));
    start = bar + 1;
  }
  return parts;
}

std::string real_field(const Descriptor& desc, double v) {
  switch (desc.letter) {
    case 'G': return edit_g(v, desc.w, desc.d);
    case 'F': return edit_f(v, desc.w, desc.d);
    case 'E': return desc.scale_one ? edit_1pe(v, desc.w, desc.d) : edit_e(v, desc.w, desc.d);
  }
  ADD_FAILURE() << "unknown descriptor letter " << desc.letter;
  return {};
}

struct Table {
  std::vector<std::string> header;              // descriptor names, column 0 is the value
  std::vector<std::vector<std::string>> rows;   // fields per value
  std::vector<std::string> list_records;        // WRITE(*,*) record per value
};

Table read_table(const std::string& name) {
  Table table;
  std::ifstream in(std::string(TREVO_SOURCE_DIR) + "/tests/fortran/data/" + name);
  EXPECT_TRUE(in) << "cannot open " << name;
  std::string line;
  std::getline(in, line);
  table.header = split_bars(line.substr(2));
  while (std::getline(in, line)) {
    table.rows.push_back(split_bars(line));
    std::string record;
    std::getline(in, record);
    table.list_records.push_back(record);
  }
  return table;
}

double from_hex_bits(const std::string& hex) {
  uint64_t bits = 0;
  std::from_chars(hex.data(), hex.data() + hex.size(), bits, 16);
  return std::bit_cast<double>(bits);
}

// Overview, Conventions: G, F, E and 1PE fields of 500 values, exactly as gfortran.
TEST(EditTable, RealFieldsMatchGfortran) {
  const Table table = read_table("edit_reals.txt");
  ASSERT_GE(table.rows.size(), 300u);
  ASSERT_GE(table.header.size(), 10u);
  int compared = 0;
  for (size_t r = 0; r < table.rows.size(); ++r) {
    const auto& row = table.rows[r];
    ASSERT_EQ(row.size(), table.header.size()) << "row " << r;
    const double v = from_hex_bits(row[0]);
    for (size_t c = 1; c < row.size(); ++c) {
      EXPECT_EQ(real_field(parse_descriptor(table.header[c]), v), row[c])
          << "value " << row[0] << " (" << v << ") as " << table.header[c];
      ++compared;
    }
  }
  EXPECT_GE(compared, 300 * 15);
}

// Overview, Messages: a REAL(8) item of WRITE(*,*) is gfortran's record exactly.
TEST(EditTable, ListDirectedRealsMatchGfortran) {
  const Table table = read_table("edit_reals.txt");
  ASSERT_GE(table.rows.size(), 300u);
  for (size_t r = 0; r < table.rows.size(); ++r) {
    const double v = from_hex_bits(table.rows[r][0]);
    EXPECT_EQ(ListRecord().real(v).str(), table.list_records[r]) << "value " << table.rows[r][0] << " (" << v << ")";
  }
}

// Overview, Conventions: Iw and Iw.m fields and list-directed integers, as gfortran.
TEST(EditTable, IntegerFieldsMatchGfortran) {
  const Table table = read_table("edit_integers.txt");
  ASSERT_GE(table.rows.size(), 100u);
  for (size_t r = 0; r < table.rows.size(); ++r) {
    const auto& row = table.rows[r];
    ASSERT_EQ(row.size(), table.header.size()) << "row " << r;
    int64_t v = 0;
    std::from_chars(row[0].data(), row[0].data() + row[0].size(), v);
    for (size_t c = 1; c < row.size(); ++c) {
      const Descriptor desc = parse_descriptor(table.header[c]);
      const std::string got = desc.d < 0 ? edit_i(v, desc.w) : edit_i(v, desc.w, desc.d);
      EXPECT_EQ(got, row[c]) << "value " << v << " as " << table.header[c];
    }
    EXPECT_EQ(ListRecord().integer(v).str(), table.list_records[r]) << "value " << v;
  }
}

}  // namespace
}  // namespace trevo::fortran
