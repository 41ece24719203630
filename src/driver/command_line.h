// Command-line arguments of a run: base path, work size, keep-input flag.
// The work size is computed in 64-bit arithmetic: "300000" gives 300,000,000 words
// instead of a 32-bit overflow; a negative value gives 0 words, which stops at the
// first size check.
#pragma once
#include <cstdint>
#include <optional>
#include <string>

namespace trevo {

struct CommandLine {
  std::string base_path;
  int64_t work_size = 20'000'000;  // words
  int32_t keep_input = 0;
};

// "kvo/TREVO version 1.3, build date:September 28, 2007"
std::string banner();

// C atoi semantics: leading blanks, optional sign, leading digits; anything else 0.
// Saturates instead of overflowing.
int64_t atoi_value(const char* text);

// Returns nothing when the run must end with exit status 1 (no first argument,
// or one longer than 1023 characters).
std::optional<CommandLine> parse_command_line(int argc, const char* const* argv);

}  // namespace trevo
