#!/usr/bin/env bash
# Solver benchmark: trevo on the generated cup and box at their shipped size and on
# refined cups from partgen (cup --size 1.6: 21,896 elements; --size 0.72: 106,632 elements).
# For each case: `trevo <base> <work size> 1` under /usr/bin/time -v (wall time, peak RSS,
# iterations and verdict from the console), then solver_bench (bench/solver_bench.cpp: the same
# run with the loop's statistics: time per Newton iteration, CG steps per iteration, time per
# CG step).
#
# Usage: bench/solver_bench.sh [case ...]     cases: cup box cup_21896 cup_106632 (default: all)
# Environment: BUILD (default build-perf), OUT (default $BUILD/solver_bench_runs), WORK (work size in
# thousands of words, default 80000), OMP_NUM_THREADS (element-loop threads of solver_bench; trevo
# itself uses 1), DETAIL=0 skips solver_bench.
set -euo pipefail

REPO=$(cd "$(dirname "$0")/.." && pwd)
SHARED=$(cd "$REPO/../shared" && pwd)
BUILD=${BUILD:-$REPO/build-perf}
OUT=${OUT:-$BUILD/solver_bench_runs}
WORK=${WORK:-80000}
DETAIL=${DETAIL:-1}
PY=/usr/bin/python3
CASES=("$@")
[ ${#CASES[@]} -gt 0 ] || CASES=(cup box cup_21896 cup_106632)

# partgen needs Debian's gmsh, numpy and scipy.
if ! "$PY" -c 'import gmsh, numpy, scipy' 2>/dev/null; then
  apt-get install -y python3-gmsh python3-numpy python3-scipy >/dev/null
fi

cmake -S "$REPO" -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$BUILD" -j2 --target trevo solver_bench >/dev/null

mkdir -p "$OUT/parts" "$OUT/runs"
part_file() {  # the .dat of a case, generated on first use (never into ../shared)
  case "$1" in
    cup|box) echo "$SHARED/validation/generated/$1.dat" ;;
    cup_21896|cup_106632)
      local size=1.6
      [ "$1" = cup_106632 ] && size=0.72
      if [ ! -f "$OUT/parts/$1.dat" ]; then
        "$PY" "$SHARED/tools/partgen/partgen.py" cup --size "$size" --out "$OUT/parts" --name "$1" \
          >"$OUT/parts/$1.log" 2>&1
      fi
      echo "$OUT/parts/$1.dat" ;;
    *) echo "unknown case $1" >&2; exit 2 ;;
  esac
}

field() { sed -n "s/.*$1=\([^ ]*\).*/\1/p" "$2" | tail -1; }

echo "machine: $(getconf _NPROCESSORS_ONLN) cores, $(uptime | sed 's/.*load/load/')"
echo "element-loop threads: trevo 1 (OneStepModel::threads), solver_bench ${OMP_NUM_THREADS:-1} (OMP_NUM_THREADS)"
echo
echo "| case | elements | iterations | verdict | trevo wall s | peak RSS MB | ms per iteration | CG steps per iteration | ms per CG step |"
echo "|---|---:|---:|---|---:|---:|---:|---:|---:|"
for c in "${CASES[@]}"; do
  src=$(part_file "$c")
  dir="$OUT/runs/$c"
  mkdir -p "$dir"
  cp "$src" "$dir/$c.dat"
  (cd "$dir" && /usr/bin/time -v "$BUILD/trevo" "$c" "$WORK" 1 >trevo.console 2>trevo.time) || true
  wall=$(sed -n 's/.*Elapsed (wall clock) time (h:mm:ss or m:ss): //p' "$dir/trevo.time" |
         awk -F: '{ s = 0; for (i = 1; i <= NF; i++) s = s * 60 + $i; printf "%.2f", s }')
  rss=$(awk '/Maximum resident set size/ { printf "%.1f", $NF / 1024 }' "$dir/trevo.time")
  iterations=$(sed -n 's/^NN0= *\([0-9]*\) .*/\1/p' "$dir/trevo.console" | tail -1)
  if grep -q 'TREVO solution is complete. Result meets required convergent criteria' "$dir/trevo.console"; then
    verdict=converged
  else
    verdict="NOT converged"
  fi
  ne=$(sed -n 's/^\$ nodes=[0-9]* elements=\([0-9]*\).*/\1/p' "$src" | head -1)
  per_iteration="-" cg_steps="-" per_step="-"
  if [ "$DETAIL" != 0 ]; then
    (cd "$dir" && "$BUILD/solver_bench" "$c" "$WORK" 1 >bench.console 2>bench.figures) || true
    per_iteration=$(field ms_per_iter "$dir/bench.figures")
    cg_steps=$(field cg_per_iter "$dir/bench.figures")
    per_step=$(field ms_per_cg_step "$dir/bench.figures")
  fi
  echo "| $c | ${ne:-?} | ${iterations:-?} | $verdict | $wall | $rss | $per_iteration | $cg_steps | $per_step |"
done
echo
echo "after: $(uptime | sed 's/.*load/load/')"
echo "consoles and figures: $OUT/runs/<case>/ (trevo.console, trevo.time, bench.figures)"
