// Thread count from the environment or the affinity mask; the passive waiting policy.
#include "driver/thread_count.h"

#include <sched.h>
#include <unistd.h>

#include <cstdlib>

namespace trevo {

int32_t usable_cores() {
  cpu_set_t set;
  CPU_ZERO(&set);
  if (sched_getaffinity(0, sizeof(set), &set) != 0) return 1;
  const int count = CPU_COUNT(&set);
  return count > 0 ? count : 1;
}

int32_t thread_count_from(const char* omp_num_threads, int32_t usable) {
  const int32_t fallback = usable > 0 ? usable : 1;
  if (omp_num_threads == nullptr) return fallback;
  char* end = nullptr;
  const long value = std::strtol(omp_num_threads, &end, 10);
  // A list gives the count per nesting level: the loops are not nested, the first counts.
  const bool whole_entry = end != omp_num_threads && (*end == '\0' || *end == ',');
  if (!whole_entry || value <= 0 || value > 4096) return fallback;
  return static_cast<int32_t>(value);
}

int32_t default_thread_count() { return thread_count_from(std::getenv("OMP_NUM_THREADS"), usable_cores()); }

void ensure_passive_wait(char** argv) {
  if (std::getenv("OMP_WAIT_POLICY") != nullptr) return;  // the user's choice, or already restarted
  if (setenv("OMP_WAIT_POLICY", "passive", 1) != 0) return;
  execv("/proc/self/exe", argv);  // returns only on failure: go on without the restart
}

}  // namespace trevo
