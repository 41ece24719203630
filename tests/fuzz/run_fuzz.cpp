// libFuzzer target: the whole program on one fuzzed job. The input is written as <base>.dat in
// a temporary folder with a last line "CORTROL  3", which wins over any earlier CORTROL line and
// so keeps every run short; then the driver runs it with a small work array, its console
// discarded. A fatal stop is a normal outcome (exit status 0, message in the run report); a
// crash, a hang, a sanitizer report or a non-zero exit status is a bug.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <streambuf>
#include <string>

#include "driver/driver.h"

namespace {

// 1.6 MB: twenty times what the largest seed (6 kB, binder, holder and pad) needs, and room
// for any job of -max_len bytes; a larger one stops on its size, a normal outcome. Kept small
// because AddressSanitizer poisons the whole block at every free, and that cost grows with it.
constexpr int64_t kWorkWords = 200'000;

// A stream buffer that takes every character and keeps none.
class Discard : public std::streambuf {
 protected:
  int overflow(int c) override { return traits_type::not_eof(c); }
  std::streamsize xsputn(const char*, std::streamsize n) override { return n; }
};

std::string job_base;  // <temporary folder>/job

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  static Discard discard;
  std::cout.rdbuf(&discard);
  std::string folder = (std::filesystem::temp_directory_path() / "trevo_fuzz_XXXXXX").string();
  if (mkdtemp(folder.data()) == nullptr) {
    std::perror("mkdtemp");
    std::abort();
  }
  job_base = folder + "/job";
  std::atexit([] { std::filesystem::remove_all(std::filesystem::path(job_base).parent_path()); });
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  {
    std::ofstream dat(job_base + ".dat", std::ios::binary | std::ios::trunc);
    dat.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    dat << "\nCORTROL  3\n";
  }
  const trevo::CommandLine line{job_base, kWorkWords, 1};
  const int status = trevo::run_job(line);
  if (status != 0) {
    std::fprintf(stderr, "run_job returned %d\n", status);
    std::abort();
  }
  return 0;
}
