// The trevo console program: banner, arguments, one call of the driver.
// Spec: Part 1.1.
#include <cstdio>

#include "frame/command_line.h"
#include "frame/driver.h"

int main(int argc, char** argv) {
  std::printf("%s\n", trevo::banner().c_str());  // before any argument is examined
  std::fflush(stdout);
  auto line = trevo::parse_command_line(argc, argv);
  if (!line) return 1;
  return trevo::run_job(*line);
}
