// The Fortran layer compared with gfortran's own output, kept in tests/fortran/data: edit
// descriptors and list-directed records (gen/gen_edit.f90), list-directed input of a value
// field (gen/gen_list_input.f90), unformatted sequential records (gen/gen_records.f90).
#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "fortran/edit.h"
#include "fortran/list_input.h"
#include "fortran/records.h"

namespace trevo::fortran {
namespace {

// One field of value v (iv for I) written with a descriptor such as "G9.3", "1PE10.3" or "I4.4".
std::string field(const std::string& desc, double v, int64_t iv) {
  const bool scale_one = desc.starts_with("1P");
  char letter = 0;
  int w = 0, d = -1;
  std::sscanf(desc.c_str() + (scale_one ? 2 : 0), "%c%d.%d", &letter, &w, &d);
  if (letter == 'I') return d < 0 ? edit_i(iv, w) : edit_i(iv, w, d);
  if (letter == 'G') return edit_g(v, w, d);
  if (letter == 'F') return edit_f(v, w, d);
  return scale_one ? edit_1pe(v, w, d) : edit_e(v, w, d);
}

// A table: a header naming the descriptors, then per value (column 0, in hex bits for reals)
// a row of fields, each ended by '|', and the record WRITE(*,*) writes for it.
void compare_table(const std::string& name, bool reals, size_t min_rows) {
  std::ifstream in(TREVO_SOURCE_DIR "/tests/fortran/data/" + name);
  ASSERT_TRUE(in) << "cannot open " << name;
  auto split = [](const std::string& line) {  // fields, each ended by '|'
    std::vector<std::string> parts;
    std::istringstream fields(line);
    for (std::string f; std::getline(fields, f, '|');) parts.push_back(f);
    return parts;
  };
  std::string line, record;
  std::getline(in, line);
  const std::vector<std::string> header = split(line.substr(2));
  size_t rows = 0;
  for (; std::getline(in, line) && std::getline(in, record); ++rows) {
    const std::vector<std::string> row = split(line);
    ASSERT_EQ(row.size(), header.size()) << line;
    const auto iv = static_cast<int64_t>(std::stoull(row[0], nullptr, reals ? 16 : 10));  // stoull: 64 bits, sign wraps
    const double v = std::bit_cast<double>(static_cast<uint64_t>(iv));
    for (size_t c = 1; c < row.size(); ++c) EXPECT_EQ(field(header[c], v, iv), row[c]) << row[0] << " as " << header[c];
    EXPECT_EQ(reals ? ListRecord().real(v).str() : ListRecord().integer(iv).str(), record) << "value " << row[0];
  }
  EXPECT_GE(rows, min_rows) << name;
}

TEST(EditTable, RealFieldsAndRecordsMatchGfortran) { compare_table("edit_reals.txt", true, 500); }

TEST(EditTable, IntegerFieldsAndRecordsMatchGfortran) { compare_table("edit_integers.txt", false, 100); }

// Records mixing items: gfortran's separators between integers, reals and text (checked with gfortran
// 12; text, real, text, real: the forces line of ProgressLine in test_solver).
TEST(EditCases, RecordsMixingTextAndNumbers) {
  EXPECT_EQ(ListRecord().integer(-12).real(1.5).integer(13).text("a").text("b").real(1.5).integer(9).str(),
            "         -12   1.5000000000000000               13 ab   1.5000000000000000                9");
}

// gfortran's READ(field, *) of four targets preset to -7777, written as gen_list_input.f90
// writes it: status (-1 end of file, 0 success, 1 error), then the targets (reals in hex);
// after a read error only those before the failing one (gfortran may change that one).
std::string read_four(const std::string& field, bool reals) {
  ListInput in(field);
  int status = 0;
  std::string text = "|";
  for (int j = 0; j < 4 && status != 1; ++j) {
    double x = -7777;
    int32_t k = -7777;
    const ListStatus s = reals ? in.next_real(x) : in.next_int(k);
    status = s == ListStatus::error ? 1 : s == ListStatus::end && field.find('/') == std::string::npos ? -1 : status;
    char target[24];
    std::snprintf(target, sizeof target, reals ? "%016llX|" : "%lld|",
                  reals ? static_cast<long long>(std::bit_cast<uint64_t>(x)) : static_cast<long long>(k));
    if (status != 1) text += target;
  }
  return std::to_string(status) + (status == 1 ? text.substr(0, text.size() - 1) : text);
}

TEST(ListInputTable, MatchesGfortranRead) {
  std::ifstream in(TREVO_SOURCE_DIR "/tests/fortran/data/list_input.txt");
  ASSERT_TRUE(in) << "cannot open list_input.txt";
  int cases = 0;
  for (std::string line; std::getline(in, line); ++cases) {
    size_t bar[10];  // the real read's 5 fields, the integer read's 5, then the field itself
    for (size_t k = 0, at = 0; k < 10; at = bar[k++] + 1) bar[k] = line.find('|', at);
    const std::string field = line.substr(bar[9] + 1), reals = line.substr(0, bar[4] + 1),
                      ints = line.substr(bar[4] + 1, bar[9] - bar[4]);
    const std::string r = read_four(field, true), i = read_four(field, false);
    EXPECT_TRUE(r[0] == '1' ? reals.starts_with(r) : reals == r) << "reals of '" << field << "': " << r;
    EXPECT_TRUE(i[0] == '1' ? ints.starts_with(i) : ints == i) << "integers of '" << field << "': " << i;
  }
  EXPECT_GE(cases, 170);
}

// The status of each call ('i' reads an integer, 'r' a real), which gfortran's READ does not
// show: V value, N null, E end, X error; end and error are final, only a value changes the
// target. This reader's choices (last rows): Infinity, NaN and reals beyond the double range
// are errors (no measure of a model is one); tokens longer than gfortran's field are read whole.
TEST(ListInputStatus, SequencesOfCalls) {
  const std::string zeros(300, '0');
  const struct { std::string field, reads, statuses; } cases[] = {
      {",1,,3 , ,4", "iiiiiii", "NVNVNVE"}, {"2* 5", "rrr", "NNV"}, {"1 / 2", "iii", "VEE"}, {"3*x 1 2", "rrr", "XXX"},
      {"1.5", "ii", "XX"}, {"    ", "i", "E"}, {"1 35.0 38.0 46.0", "irrrr", "VVVVE"}, {"2*7", "ri", "VV"},
      {"1;;5", "iii", "VNV"}, {"inf", "r", "X"}, {"-Infinity", "r", "X"}, {"NaN", "r", "X"}, {"nan()", "r", "X"},
      {"1e400", "r", "X"}, {"-1e309", "r", "X"}, {"1e1000000000000", "r", "X"},
      {zeros + "1.5 " + zeros + "7 " + std::string(300, '9'), "rii", "VVX"}};
  for (const auto& c : cases) {
    ListInput in(c.field);
    std::string got;
    for (char r : c.reads) {
      double x = -7777.0;
      int32_t k = -7777;
      const ListStatus s = r == 'i' ? in.next_int(k) : in.next_real(x);
      got += "VNEX"[static_cast<int>(s)];
      EXPECT_TRUE(s == ListStatus::value || (x == -7777.0 && k == -7777)) << c.field;
    }
    EXPECT_EQ(got, c.statuses) << "'" << c.field << "' read as " << c.reads;
  }
}

// Length framing, text blank-padded, I4 and R4 items (rounded to single precision: ties to
// even, beyond the range to infinity, subnormals).
TEST(Records, FileMatchesGfortran) {
  std::ifstream in(TREVO_SOURCE_DIR "/tests/fortran/data/records_gfortran.bin", std::ios::binary);
  ASSERT_TRUE(in) << "cannot open records_gfortran.bin";
  const std::string expected((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::ostringstream out;
  write_record(out, RecordPayload().text("QUILTEKPOST ", 12).text("KTV19011101PDW190202022MRN9030303", 35));
  write_record(out, RecordPayload().text("TITLE", 9).text("/tmp/job/cup", 1024));
  write_record(out, RecordPayload().text("FORMTYPE", 9).i4(13));
  write_record(out, RecordPayload().text("PUNCHCTL", 9).i4(0).i4(0));
  write_record(out, RecordPayload().text("BINDQUAD", 9).i4(1).i4(-1).i4(0).i4(2147483647).i4(-2147483647 - 1));
  RecordPayload material;
  material.text("MATERIAL", 9);
  for (double x : {0.001, 600.0, 0.22, -1.5, -0.0, 16777217.0, 1e-50, 1e40, 0.1, 1.00000005960464477539})
    material.r4(x);
  write_record(out, material);
  write_record(out, RecordPayload().text("BINDNODE", 9).i4(7).r4(-12.345678901).r4(3.4028234663852886e38).r4(
                        1.401298464324817e-45));
  EXPECT_EQ(out.str(), expected);
}

}  // namespace
}  // namespace trevo::fortran
