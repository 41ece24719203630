// The trevo console program: banner, arguments, one call of the driver.
// Exit status 1 only for a missing or too long base path; every run itself ends with 0.
#include <cstdio>

#include "driver/command_line.h"
#include "driver/driver.h"

int main(int argc, char** argv) {
  std::printf("%s\n", trevo::banner().c_str());  // before any argument is examined
  std::fflush(stdout);
  auto line = trevo::parse_command_line(argc, argv);
  if (!line) return 1;
  return trevo::run_job(*line);
}
