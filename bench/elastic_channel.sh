#!/usr/bin/env bash
# The elastic approximation method at scale: partgen's undercut channel with walls leaning in by
# 35 degrees (past the punch limit, so the run takes the elastic path), meshed with --size 0.74
# (100,812 elements) unless SIZE says otherwise, solved completely (every result file) under
# /usr/bin/time. Prints wall and user time, peak resident memory and that memory per element.
#
# Usage: bench/elastic_channel.sh [TREVO]     (default: build/trevo)
# Environment: SIZE (element size, default 0.74), OUT (default /tmp/trevo_elastic_channel), WORK
# (work size in thousands of words, default 60000).
set -euo pipefail

REPO=$(cd "$(dirname "$0")/.." && pwd)
SHARED=$(cd "$REPO/../shared" && pwd)
TREVO=$(realpath "${1:-$REPO/build/trevo}")
SIZE=${SIZE:-0.74}
OUT=${OUT:-/tmp/trevo_elastic_channel}
PY=/usr/bin/python3

# partgen needs Debian's gmsh, numpy and scipy.
if ! "$PY" -c 'import gmsh, numpy, scipy' 2>/dev/null; then
  apt-get install -y python3-gmsh python3-numpy python3-scipy >/dev/null
fi

mkdir -p "$OUT"
part="$OUT/part/channel.dat"
if [ ! -f "$part" ]; then
  "$PY" "$SHARED/tools/partgen/partgen.py" undercut --undercut-deg 35 --size "$SIZE" --out "$OUT/part" \
    --name channel >"$OUT/partgen.log" 2>&1
fi
run="$OUT/run"
rm -rf "$run" && mkdir -p "$run" && cp "$part" "$run/"
elements=$(grep -c '^SHETQUAD' "$part")
(cd "$run" && TREVO_PICTURE=0 /usr/bin/time -f "%e %U %M" "$TREVO" channel "${WORK:-60000}" 1 >console.txt 2>time.txt)
read -r wall user peak_kb < <(tail -1 "$run/time.txt")
awk -v e="$elements" -v w="$wall" -v u="$user" -v m="$peak_kb" 'BEGIN {
  printf "%d elements: %.2f s wall, %.2f s user, peak %d KB, %.2f KB per element\n", e, w, u, m, m / e }'
