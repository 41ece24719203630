// How many threads the element loops use, and the waiting policy of idle threads.
// The element loops give the same results for any thread count (solver/element_loops.h),
// so the count only decides the speed.
#pragma once
#include <cstdint>

namespace trevo {

// The thread count of a run: the first entry of OMP_NUM_THREADS when it is a positive
// integer ("3" or "3,2"), else the cores the process may run on (its affinity mask), at
// least 1.
int32_t default_thread_count();
int32_t thread_count_from(const char* omp_num_threads, int32_t usable_cores);

// The cores in the process's affinity mask (sched_getaffinity), at least 1.
int32_t usable_cores();

// Idle threads of a parallel region sleep instead of spinning (OMP_WAIT_POLICY=passive),
// unless the user chose a policy: on a machine shared with other jobs a spinning thread
// takes a core from them between the loops. The OpenMP runtime reads its environment once,
// when the program is loaded, so the first call sets the variable and starts the program
// again in place (execv of /proc/self/exe with the same arguments); the second start finds
// the variable set and returns. Should the restart fail, the run goes on as it is.
void ensure_passive_wait(char** argv);

}  // namespace trevo
