#!/usr/bin/env bash
# Builds everything and runs every test: the Release suite under CTest, then the fuzz tests
# (the input readers in-process, the whole program on corrupted jobs, and a libFuzzer slice of
# each fuzz target) under AddressSanitizer and UndefinedBehaviorSanitizer. Ends with the count
# of what ran and exits non-zero when anything failed; a build that fails stops the script at once.
set -euo pipefail
cd "$(dirname "$0")/.."
# No run picture: the suite compares files and messages; the picture has its own test, which
# sets this itself.
export TREVO_PICTURE=0
scripts/setup.sh build

passed=0
failed=0

# The Release suite. CTest's summary line reads "NN% tests passed, F tests failed out of T".
ctest_status=0
(cd build && ctest --output-on-failure -j"$(nproc)") 2>&1 | tee build/ctest.log || ctest_status=$?
summary=$(grep -E '^[0-9]+% tests passed, [0-9]+ tests? failed out of [0-9]+' build/ctest.log | tail -1 || true)
if [[ -z $summary ]]; then
  echo "ctest: no summary line (exit status $ctest_status)" >&2
  failed=$((failed + 1))
else
  suite_failed=$(sed -E 's/.* ([0-9]+) tests? failed out of.*/\1/' <<< "$summary")
  suite_total=$(sed -E 's/.*out of ([0-9]+).*/\1/' <<< "$summary")
  passed=$((passed + suite_total - suite_failed))
  failed=$((failed + suite_failed))
  if [[ $ctest_status -ne 0 && $suite_failed -eq 0 ]]; then
    echo "ctest: exit status $ctest_status although no test failed" >&2
    failed=$((failed + 1))
  fi
fi

# The fuzz tests under the sanitizers, each run counted as one test.
TREVO_TARGETS="test_input test_e2e trevo" \
  scripts/setup.sh build-asan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTREVO_SANITIZE=ON -DTREVO_BENCH=OFF
export ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1
fuzz() {
  if "$@"; then
    passed=$((passed + 1))
    echo "fuzz under sanitizers: passed: $*"
  else
    failed=$((failed + 1))
    echo "fuzz under sanitizers: FAILED: $*" >&2
  fi
}
fuzz build-asan/test_input --gtest_filter='Fuzz*'
fuzz build-asan/test_e2e --gtest_filter='FuzzProgram*'
# Coverage-guided: a 60-second libFuzzer slice per target (clang++-14, build-fuzz).
fuzz scripts/fuzz.sh --seconds 60 keyword_file
fuzz scripts/fuzz.sh --seconds 60 run

# Result integrity: failed writes, SIGINT/SIGTERM and SIGKILL reruns on the cup (a slice of
# scripts/fault_check.sh that stays under three minutes), counted as one test.
if scripts/fault_check.sh --kills 8 --write-stride 3 writes signals kills; then
  passed=$((passed + 1))
  echo "fault check: passed"
else
  failed=$((failed + 1))
  echo "fault check: FAILED" >&2
fi

echo "total: $passed passed, $failed failed"
[[ $failed -eq 0 ]]
