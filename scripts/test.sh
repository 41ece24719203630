#!/usr/bin/env bash
# Builds everything and runs every test: the Release suite, then the fuzz tests
# (the input readers in-process, the whole program on corrupted jobs) under
# AddressSanitizer and UndefinedBehaviorSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh build
(cd build && ctest --output-on-failure -j"$(nproc)") | tee build/ctest.log
suite=$(grep -oE 'tests failed out of [0-9]+' build/ctest.log | grep -oE '[0-9]+$')

TREVO_TARGETS="test_input test_e2e trevo" \
  scripts/setup.sh build-asan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTREVO_SANITIZE=ON -DTREVO_BENCH=OFF
export ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1
build-asan/test_input --gtest_filter='Fuzz*'
build-asan/test_e2e --gtest_filter='FuzzProgram*'
echo "fuzz under sanitizers: passed"
echo "total: $((suite + 2)) passed, 0 failed"
