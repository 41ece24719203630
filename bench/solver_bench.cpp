// Whole-run benchmark of one job: the driver's phases timed one by one, with the
// one-step loop's opt-in statistics (iterations, CG steps, time per phase of an iteration)
// and the peak resident memory. Same arguments as trevo: <base> [work size in 1000 words] [keep].
// The run itself is trevo's: its console output goes to stdout; the figures go to stderr,
// ending with one machine-readable line "SOLVER_BENCH key=value ..." (bench/solver_bench.sh).
// Element-loop threads: OMP_NUM_THREADS when set, else 1 as in trevo (OneStepModel::threads).
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "driver/command_line.h"
#include "driver/driver_job.h"
#include "driver/run_files.h"
#include "core/run_stop.h"
#ifdef _OPENMP
#include <omp.h>
#endif

namespace {

using namespace trevo;
using Clock = std::chrono::steady_clock;

struct PhaseTime {
  std::string name;
  double seconds = 0.0;
};

// The phases of run_phases (src/driver/driver.cpp), in its order, each timed.
std::vector<PhaseTime> run_timed_phases(Job& job) {
  std::vector<PhaseTime> times;
  auto timed = [&](const char* name, const std::function<void()>& phase) {
    const auto start = Clock::now();
    phase();
    times.push_back({name, std::chrono::duration<double>(Clock::now() - start).count()});
  };
  RunSettings& s = job.settings;
  try {
    timed("open files", [&] {
      open_run_files(s.base_path, job.files);
      stamp(local_time_now(), job.reporter);
    });
    timed("read model", [&] { read_model(job); });
    timed("check model", [&] { check_model(job); });
    if (s.method == 3) {
      std::fprintf(stderr, "elastic approximation method: not benchmarked\n");
      return times;
    }
    timed("matrix pattern", [&] {
      build_matrix_pattern(job);
      stamp(local_time_now(), job.reporter);
    });
    timed("process data", [&] { read_process_data(job); });
    timed("positioning", [&] { position_and_record(job); });
    timed("pre-unfolding", [&] { unfold_initial_blank(job); });
    timed("one-step loop", [&] { solve_one_step(job); });
    timed("final state", [&] { evaluate_final_state(job); });
    timed("write results", [&] {
      write_results(job);
      close_run_files(s.keep_input, job.files);
      stamp(local_time_now(), job.reporter);
    });
  } catch (const RunStopped&) {
    std::fprintf(stderr, "run stopped after phase %zu (fatal message above)\n", times.size());
  }
  return times;
}

double peak_resident_mb() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss / 1024.0;  // kilobytes on Linux
}

int32_t element_loop_threads() {
#ifdef _OPENMP
  if (std::getenv("OMP_NUM_THREADS") != nullptr) return omp_get_max_threads();
#endif
  return 1;
}

void report(const Job& job, const std::vector<PhaseTime>& times, const LoopStatistics& st) {
  double total = 0.0;
  std::fprintf(stderr, "\nsolver_bench %s: %d nodes, %d elements, %d thread(s)\n", job.title.c_str(), job.part.nn,
               job.part.ne, job.model.threads);
  for (const PhaseTime& t : times) {
    std::fprintf(stderr, "  %-16s %9.3f s\n", t.name.c_str(), t.seconds);
    total += t.seconds;
  }
  const double iterations = st.iterations > 0 ? st.iterations : 1;
  const double loop = st.seconds_residual + st.seconds_matrix + st.seconds_cg + st.seconds_line_search;
  const double cg_step_ms = st.cg_steps > 0 ? 1e3 * st.seconds_cg / st.cg_steps : 0.0;
  std::fprintf(stderr, "  %-16s %9.3f s\n", "whole run", total);
  std::fprintf(stderr, "  iterations %d, CG steps %lld (%.1f per iteration, %.3f ms per step), "
               "line-search trials %.2f per iteration\n", st.iterations, static_cast<long long>(st.cg_steps),
               st.cg_steps / iterations, cg_step_ms, st.line_search_trials / iterations);
  std::fprintf(stderr, "  per iteration: %.2f ms = residual %.2f + matrix %.2f + CG %.2f + line search %.2f\n",
               1e3 * loop / iterations, 1e3 * st.seconds_residual / iterations, 1e3 * st.seconds_matrix / iterations,
               1e3 * st.seconds_cg / iterations, 1e3 * st.seconds_line_search / iterations);
  std::fprintf(stderr, "  peak resident memory %.1f MB\n", peak_resident_mb());
  std::fprintf(stderr,
               "SOLVER_BENCH ne=%d threads=%d iterations=%d cg_steps=%lld cg_per_iter=%.1f ms_per_cg_step=%.3f "
               "ms_per_iter=%.2f loop_s=%.3f run_s=%.3f peak_mb=%.1f\n",
               job.part.ne, job.model.threads, st.iterations, static_cast<long long>(st.cg_steps),
               st.cg_steps / iterations, cg_step_ms, 1e3 * loop / iterations, loop, total, peak_resident_mb());
}

}  // namespace

int main(int argc, char** argv) {
  const auto line = trevo::parse_command_line(argc, argv);
  if (!line) return 1;
  Job job(*line);
  LoopStatistics statistics;
  job.state.statistics = &statistics;
  job.model.threads = element_loop_threads();
  // SOLVER_BENCH_ETA overrides the forcing term; SOLVER_BENCH_ITERATIONS=1 prints one line per iteration.
  if (const char* eta = std::getenv("SOLVER_BENCH_ETA")) job.model.cg_forcing = std::atof(eta);
  statistics.record_iterations = std::getenv("SOLVER_BENCH_ITERATIONS") != nullptr;
  const std::vector<PhaseTime> times = run_timed_phases(job);
  report(job, times, statistics);
  if (statistics.record_iterations) {
    std::fprintf(stderr, "ITER nn0 cg_steps cg_relative adp maxp relax trials\n");
    for (const trevo::IterationRecord& r : statistics.per_iteration)
      std::fprintf(stderr, "ITER %d %d %.3e %.3e %.3e %.4f %d\n", r.nn0, r.cg_steps, r.cg_relative, r.adp, r.maxp,
                   r.relax, r.line_search_trials);
  }
  return 0;
}
