#!/usr/bin/env bash
# Speed-up of a trevo build against an older one on the same jobs (cups, or any other), run
# alternately in one session (the machine is shared, so only ratios of the same session mean
# much): wall time, iterations (the last NN0; for the elastic method its fronts and radius
# steps), verdict (from the run summary) and peak resident memory of each run.
#
#     bench/compare_cups.sh OLD_TREVO NEW_TREVO CUP.dat...
#
# Each job runs in its own folder under ${OUT:-/tmp/trevo_compare_cups} with the work size
# ${WORK:-800000} (thousands of words) and one thread (OMP_NUM_THREADS=1 unless set).
set -euo pipefail
old=$(realpath "$1") new=$(realpath "$2")
shift 2
out=${OUT:-/tmp/trevo_compare_cups}
export OMP_NUM_THREADS=${OMP_NUM_THREADS:-1} TREVO_PICTURE=0

# Prints "wall_s iterations verdict peak_mb" of one run.
measure() {
  local binary=$1 job=$2 dir=$3 name
  name=$(basename "$job" .dat)
  rm -rf "$dir" && mkdir -p "$dir" && cp "$job" "$dir/"
  (cd "$dir" && /usr/bin/time -v "$binary" "$name" "${WORK:-800000}" 1 > console.txt 2> time.txt) || true
  local wall iterations verdict peak
  wall=$(awk -F': ' '/Elapsed/ {n = split($2, t, ":"); s = 0; for (i = 1; i <= n; i++) s = 60 * s + t[i]; print s}' "$dir/time.txt")
  iterations=$(grep -oE 'NN0= *[0-9]+' "$dir/console.txt" | tail -1 | grep -oE '[0-9]+$' || echo 0)
  # A run of the elastic approximation method has no iteration verdict: its summary says so.
  verdict=$(/usr/bin/python3 -c 'import json, sys
s = json.load(open(sys.argv[1]))
c = s["verdict"]["converged"]
print(s["status"] if c is None else "converged" if c else "not-converged")' "$dir/$name.summary.json" 2>/dev/null || echo no-summary)
  peak=$(awk '/Maximum resident/ {printf "%.0f", $NF / 1024}' "$dir/time.txt")
  echo "$wall $iterations $verdict $peak"
}

echo "| job | elements | old: s, iterations, MB | new: s, iterations, MB | speed-up |"
echo "|---|---:|---|---|---:|"
for job in "$@"; do
  name=$(basename "$job" .dat)
  elements=$(grep -cE '^SHET(QUAD|TRIA)' "$job")
  read -r ow oi ov om <<< "$(measure "$old" "$job" "$out/old/$name")"
  read -r nw ni nv nm <<< "$(measure "$new" "$job" "$out/new/$name")"
  ratio=$(awk -v a="$ow" -v b="$nw" 'BEGIN { printf "%.2f", a / b }')
  echo "| $name | $elements | $ow s, $oi ($ov), $om MB | $nw s, $ni ($nv), $nm MB | $ratio |"
done
