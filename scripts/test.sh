#!/usr/bin/env bash
# Builds everything and runs every test: the Release suite, then the input fuzz
# test under AddressSanitizer and UndefinedBehaviorSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh build
(cd build && ctest --output-on-failure -j"$(nproc)")

TREVO_TARGET=test_input scripts/setup.sh build-asan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTREVO_SANITIZE=ON -DTREVO_BENCH=OFF
if [ -x build-asan/test_input ]; then
  ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
    build-asan/test_input --gtest_filter='Fuzz*:*Fuzz*'
fi
