// The version banner and the reading of the command-line arguments.
#include "driver/command_line.h"

#include <cctype>
#include <cstring>
#include <limits>

namespace trevo {

namespace {
constexpr int kVersionMajor = 1, kVersionMinor = 3;
constexpr const char* kBuildDate = "September 28, 2007";
constexpr std::size_t kBasePathBuffer = 1024;  // includes the terminating NUL
constexpr int64_t kWordsPerArgumentUnit = 1000;
}  // namespace

std::string banner() {
  return "kvo/TREVO version " + std::to_string(kVersionMajor) + "." + std::to_string(kVersionMinor) +
         ", build date:" + kBuildDate;
}

int64_t atoi_value(const char* text) {
  const char* p = text;
  while (std::isspace(static_cast<unsigned char>(*p))) ++p;
  bool negative = false;
  if (*p == '+' || *p == '-') negative = (*p++ == '-');
  int64_t value = 0;
  constexpr int64_t kCap = std::numeric_limits<int64_t>::max() / 10 - 10;
  for (; std::isdigit(static_cast<unsigned char>(*p)); ++p) {
    value = value * 10 + (*p - '0');
    if (value > kCap) value = kCap;  // saturate: a huge request simply fails the size check
  }
  return negative ? -value : value;
}

std::optional<CommandLine> parse_command_line(int argc, const char* const* argv) {
  if (argc < 2 || argv[1] == nullptr) return std::nullopt;
  if (std::strlen(argv[1]) > kBasePathBuffer - 1) return std::nullopt;
  CommandLine line;
  line.base_path = argv[1];
  if (argc >= 3 && argv[2] != nullptr) {
    int64_t thousands = atoi_value(argv[2]);
    line.work_size = thousands <= 0 ? 0 : thousands * kWordsPerArgumentUnit;
  }
  if (argc >= 4 && argv[3] != nullptr) line.keep_input = atoi_value(argv[3]) != 0 ? 1 : 0;
  return line;
}

}  // namespace trevo
