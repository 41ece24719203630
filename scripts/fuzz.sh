#!/usr/bin/env bash
# Coverage-guided fuzzing with libFuzzer under AddressSanitizer and UndefinedBehaviorSanitizer.
# Builds the fuzz targets with clang++-14 in build-fuzz, then runs each on its seed corpus
# (tests/fuzz/corpus/<target>) with the keyword dictionary. New inputs that reach new code
# collect in build-fuzz/corpus/<target> (<target>.slice for a timed run); a crash, hang, leak or sanitizer report stops the target
# and leaves its input in build-fuzz/findings/<target>/. Exits non-zero when a target failed.
# Usage: scripts/fuzz.sh [--runs N | --seconds S] [--jobs J] [keyword_file] [run]
#   --runs N     inputs per target (default 1,000,000)
#   --seconds S  time per target instead of a count
#   --jobs J     J fuzzing processes per target sharing its corpus (default 1); with --runs
#                each runs N / J inputs, with --seconds each runs S seconds
#   targets      keyword_file: the keyword readers; run: the whole program (default both)
set -euo pipefail
export TREVO_PICTURE=0  # a fuzzed run that completes must not draw its picture
cd "$(dirname "$0")/.."

runs=1000000
seconds=""
jobs=1
slice=""  # a timed slice starts from the seeds alone: libFuzzer's clock starts after the corpus is read
targets=()
while (($#)); do
  case $1 in
    --runs) runs=$2; shift 2 ;;
    --seconds) seconds=$2; slice=.slice; shift 2 ;;
    --jobs) jobs=$2; shift 2 ;;
    keyword_file | run) targets+=("$1"); shift ;;
    *) echo "usage: scripts/fuzz.sh [--runs N | --seconds S] [--jobs J] [keyword_file] [run]" >&2; exit 2 ;;
  esac
done
((${#targets[@]})) || targets=(keyword_file run)
((jobs >= 1)) || { echo "fuzz.sh: --jobs needs a count of at least 1" >&2; exit 2; }
if [[ -n $seconds ]]; then limit=(-max_total_time="$seconds"); else limit=(-runs=$(((runs + jobs - 1) / jobs))); fi

# -O2 with assertions on: the work array's bound checks stay armed. -Werror stays off: the
# warnings of clang differ from those of the Release compiler, which CI holds to -Werror.
TREVO_TARGETS="${targets[*]/#/fuzz_}" scripts/setup.sh build-fuzz -DTREVO_FUZZ=ON -DTREVO_BENCH=OFF \
  -DCMAKE_CXX_COMPILER=clang++-14 -DCMAKE_BUILD_TYPE=RelWithDebInfo "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O2 -g" \
  -DTREVO_WERROR=OFF

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1} UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1}
export OMP_NUM_THREADS=${OMP_NUM_THREADS:-1}  # one thread per process: reproducible, and --jobs sets the cores used
# The whole-run target writes its job files there; in memory, the run's fsync of its summary is free.
[[ -z ${TMPDIR:-} && -w /dev/shm ]] && export TMPDIR=/dev/shm
status=0
for t in "${targets[@]}"; do
  corpus_dir=build-fuzz/corpus/$t$slice
  [[ -n $slice ]] && rm -rf "$corpus_dir"
  mkdir -p "$corpus_dir" "build-fuzz/findings/$t"
  rm -f build-fuzz/fuzz_$t.*.log  # the per-process logs of an earlier run would be counted
  start=$(date +%s)
  # A whole run of a small job takes milliseconds; 20 s is a hang. -max_len keeps jobs small.
  # The processes share the corpus folder; each reloads what the others add (libFuzzer's -reload).
  pids=()
  for ((j = 0; j < jobs; ++j)); do
    log=build-fuzz/fuzz_$t.log
    ((jobs > 1)) && log=build-fuzz/fuzz_$t.$j.log
    "build-fuzz/fuzz_$t" "${limit[@]}" -max_len=8192 -timeout=20 -rss_limit_mb=2048 -print_final_stats=1 \
      -dict=tests/fuzz/keywords.dict -artifact_prefix="build-fuzz/findings/$t/" \
      "$corpus_dir" "tests/fuzz/corpus/$t" > "$log" 2>&1 &
    pids+=($!)
  done
  result=0
  for pid in "${pids[@]}"; do wait "$pid" || result=$?; done
  seconds_taken=$(($(date +%s) - start))
  logs=(build-fuzz/fuzz_$t.log)
  ((jobs > 1)) && logs=(build-fuzz/fuzz_$t.*.log)
  inputs=$(sed -nE 's/^stat::number_of_executed_units: *([0-9]+)/\1/p' "${logs[@]}" | awk '{n += $1} END {print n}')
  corpus=$(find "$corpus_dir" -type f | wc -l)
  if ((result == 0)); then
    echo "fuzz_$t: ${inputs:-?} inputs in ${seconds_taken} s, ${corpus} new corpus inputs, no finding"
  else
    status=1
    echo "fuzz_$t: FAILED after ${seconds_taken} s (exit status $result); input in build-fuzz/findings/$t/, log ${logs[*]}:" >&2
    grep -E 'ERROR|SUMMARY|breach|runtime error|Test unit written' "${logs[@]}" | head -20 >&2 || true
  fi
done
exit $status
