#!/usr/bin/env bash
# Runs trevo on parts beyond the validation set: parts made with the shared part generator (other
# binder radii, rotated and shuffled copies, finer meshes, undercut walls, triangles) and the real
# parts turned about z with renumbered nodes (scripts/rotate_job.py). Prints one verdict line per
# part, like scripts/convergence_study.sh: the study behind "Beyond the validation set" in
# docs/convergence.md.
#
#   scripts/robustness_study.sh [NAME...]     (default: every generated part below and every
#                                              real part turned by 30 and 75 degrees, NAME_r30, NAME_r75)
#
# Parts are written to runs/robustness/NAME (never into ../shared); trevo is built if missing.
# partgen needs Debian's python3-gmsh, numpy and scipy; they are installed if missing.
set -euo pipefail
cd "$(dirname "$0")/.."
PY=/usr/bin/python3
partgen=../shared/tools/partgen/partgen.py

declare -A parts=(
  [cyl200]="channel --binder cylinder:200 --binder-margin 60"
  [cyl500]="channel --binder cylinder:500 --binder-margin 60"
  [cyl300_rotated]="channel --binder cylinder:300 --binder-margin 60 --rotate-z 30 --shuffle-ids"
  [cyl300_fine]="channel --binder cylinder:300 --binder-margin 60 --size 2"
  [box_cylbinder]="box --binder cylinder:400 --holder --bhforce 60000"
  [box_rotated]="box --rotate-z 20 --shuffle-ids"
  [dome_fine]="dome --size 2"
  [srail_fine]="srail --size 2"
  [undercut5_rotated]="undercut --undercut-deg 5 --rotate-z 45 --shuffle-ids"
  [undercut12_tris]="undercut --undercut-deg 12 --tris"
  [undercut18]="undercut --undercut-deg 18"
)
# Every real part of ../shared/validation/real turned about z: name -> "part degrees".
real=../shared/validation/real
declare -A turned=()
for job in "$real"/*/*.dat; do
  part=$(basename "$job" .dat)
  [[ -f $real/$part/$part.dat ]] || continue
  for degrees in 30 75; do turned[${part}_r$degrees]="$part $degrees"; done
done
[[ ${#turned[@]} -gt 0 ]] || { echo "no real parts under $real" >&2; exit 2; }
names=("$@")
[[ ${#names[@]} -gt 0 ]] || mapfile -t names < <(printf '%s\n' "${!parts[@]}" "${!turned[@]}" | sort)

if ! "$PY" -c 'import gmsh, numpy, scipy' 2>/dev/null; then
  apt-get install -y python3-gmsh python3-numpy python3-scipy >/dev/null
fi
[[ -x build/trevo ]] || TREVO_TARGETS=trevo scripts/setup.sh build >/dev/null

for name in "${names[@]}"; do
  dir=runs/robustness/$name
  rm -rf "$dir" && mkdir -p "$dir"
  if [[ -n ${parts[$name]:-} ]]; then
    # shellcheck disable=SC2086
    "$PY" "$partgen" ${parts[$name]} --out "$dir" --name "$name" >/dev/null
  elif [[ -n ${turned[$name]:-} ]]; then
    read -r part degrees <<< "${turned[$name]}"
    "$PY" scripts/rotate_job.py "$real/$part/$part.dat" "$dir/$name.dat" "$degrees"
  else
    echo "unknown part: $name" >&2
    exit 2
  fi
  (cd "$dir" && ../../../build/trevo "$name" 80000 1 > console.txt 2>&1) || true
  last=$(grep -E '^NN0=' "$dir/console.txt" | tail -1 | cut -c1-62)
  verdict=$(grep -E 'TREVO solution is complete|Solution is' "$dir/console.txt" | head -1 | sed 's/^ *//')
  printf '%-18s %s  %s\n' "$name" "$last" "$verdict"
done
