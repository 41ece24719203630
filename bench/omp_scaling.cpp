// Machine check for the element-loop threads (docs/performance.md): the same embarrassingly
// parallel loop (65,536 independent sqrt(log) evaluations per parallel region, 2000 regions)
// with 1 and with 2 OpenMP threads, twice each. On a machine with two free cores the
// 2-thread time is about half; on the shared machine it was not (see the docs).
#include <chrono>
#include <cmath>
#include <cstdio>
#include <vector>

int main() {
  std::vector<double> a(1 << 16);
  for (const int threads : {1, 2, 1, 2}) {
    const auto start = std::chrono::steady_clock::now();
    double checksum = 0.0;
    for (int rep = 0; rep < 2000; ++rep) {
#pragma omp parallel for num_threads(threads) schedule(static)
      for (int i = 0; i < static_cast<int>(a.size()); ++i) a[i] = std::sqrt(std::log(i + 2.0 + rep));
      checksum += a[rep];
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("threads %d: %.3f s (%.0f us per region), checksum %.6g\n", threads, seconds, 1e6 * seconds / 2000,
                checksum);
  }
  return 0;
}
