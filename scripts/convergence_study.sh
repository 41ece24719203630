#!/usr/bin/env bash
# Runs validation parts under one process-control variant and prints one verdict line
# per part: the study behind docs/convergence.md, kept so that it can be repeated.
#
#   scripts/convergence_study.sh VARIANT PART...
#
# VARIANT: default     the part's file as shipped
#          nofriction  FRICTION 0 0 (no punch/die or holder friction)
#          limit=N     CORTROL with an iteration limit of N, other controls at default
# PART: a name under ../shared/validation (generated/NAME.dat, tools/NAME.dat or
# real/NAME/NAME.dat). Runs go to runs/study/VARIANT/PART; trevo is built if missing.
set -euo pipefail
cd "$(dirname "$0")/.."
[[ $# -ge 2 ]] || { sed -n '5,12p' "$0"; exit 2; }
variant=$1
shift
validation=../shared/validation
[[ -x build/trevo ]] || TREVO_TARGETS=trevo scripts/setup.sh build >/dev/null

case "$variant" in
  default) control="" ;;
  nofriction) control="FRICTION 0.0 0.0" ;;
  limit=[0-9]*) control="CORTROL  ${variant#limit=} 0.0001 0.1 1.0 2.0" ;;
  *) echo "unknown variant: $variant" >&2; exit 2 ;;
esac

source_file() {
  local part=$1
  for f in "$validation/generated/$part.dat" "$validation/tools/$part.dat" "$validation/real/$part/$part.dat"; do
    [[ -f $f ]] && { echo "$f"; return; }
  done
  echo "no validation part $part" >&2
  exit 2
}

# The control line replaces any line of the same keyword and goes after FORMTYPE.
write_job() {
  local from=$1 to=$2
  if [[ -z $control ]]; then
    cp "$from" "$to"
    return
  fi
  local keyword=${control%% *}
  awk -v line="$control" -v key="$keyword" '
    index($0, key) == 1 { next }
    { print }
    index($0, "FORMTYPE") == 1 { print line }' "$from" > "$to"
}

for part in "$@"; do
  dir=runs/study/$variant/$part
  rm -rf "$dir" && mkdir -p "$dir"
  write_job "$(source_file "$part")" "$dir/$part.dat"
  start=$(date +%s%N)
  (cd "$dir" && ../../../../build/trevo "$part" > console.txt 2>&1) || true
  tenths=$((($(date +%s%N) - start) / 100000000))
  last=$(grep -E '^NN0=' "$dir/console.txt" | tail -1 | cut -c1-62)
  verdict=$(grep -E 'TREVO solution is complete|Solution is' "$dir/console.txt" | head -1 | sed 's/^ *//')
  printf '%-22s %5d.%d s  %s  %s\n' "$part" $((tenths / 10)) $((tenths % 10)) "$last" "$verdict"
done
