#!/usr/bin/env bash
# Two builds compared on eight cups of 7k to 400k elements (docs/performance.md, "Eight cup
# sizes"): the iteration count of a cup scatters with its size (docs/convergence.md, "Iteration
# counts across cup sizes"), so a change of the numerical path is judged on all eight, never on
# one. The cups are made with the shared part generator when missing; the table is that of
# bench/compare_cups.sh.
#
#     bench/cup_sizes.sh OLD_TREVO NEW_TREVO
#
# Cups go to ${CUPS:-/tmp/trevo_cups}; two threads unless OMP_NUM_THREADS is set. partgen needs
# Debian's python3-gmsh, numpy and scipy; they are installed if missing.
set -euo pipefail
[[ $# -eq 2 ]] || { sed -n '8p' "$0" >&2; exit 2; }
old=$(realpath "$1") new=$(realpath "$2")
cd "$(dirname "$0")/.."
PY=/usr/bin/python3
cups=${CUPS:-/tmp/trevo_cups}
mkdir -p "$cups"
if ! "$PY" -c 'import gmsh, numpy, scipy' 2>/dev/null; then
  apt-get install -y python3-gmsh python3-numpy python3-scipy >/dev/null
fi
jobs=(../shared/validation/generated/cup.dat)
# Element sizes (mm) of 21,896, 38,856, 55,056, 77,264, 106,632, 203,232 and 398,960 elements.
for size in 1.6 1.2 1.0 0.85 0.72 0.52 0.37; do
  name=cup_size_${size/./_}
  [[ -f $cups/$name.dat ]] ||
    "$PY" ../shared/tools/partgen/partgen.py cup --size "$size" --out "$cups" --name "$name" >/dev/null
  jobs+=("$cups/$name.dat")
done
OMP_NUM_THREADS=${OMP_NUM_THREADS:-2} WORK=${WORK:-800000} exec bench/compare_cups.sh "$old" "$new" "${jobs[@]}"
