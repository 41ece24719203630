// The trevo console program: banner, arguments, one call of the driver.
// Exit status 1 for a missing or too long base path; a run's own status comes from the
// driver (driver/driver.h).
#include <cstdio>

#include "driver/command_line.h"
#include "driver/driver.h"
#include "driver/thread_count.h"

int main(int argc, char** argv) {
  trevo::ensure_passive_wait(argv);  // may start the program again, before anything is printed
  std::printf("%s\n", trevo::banner().c_str());  // before any argument is examined
  std::fflush(stdout);
  auto line = trevo::parse_command_line(argc, argv);
  if (!line) return 1;
  return trevo::run_job(*line);
}
