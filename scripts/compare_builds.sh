#!/usr/bin/env bash
# Runs every validation job (../shared/validation and tests/data) with two trevo binaries and
# compares every file each run leaves, date and time stamps masked: a change of words, tests or
# layout must leave every result byte for byte as it was.
# Usage: scripts/compare_builds.sh OLD_TREVO NEW_TREVO [WORK_DIR]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
old=$(realpath "$1") new=$(realpath "$2") work=${3:-$(mktemp -d)}
jobs=("$root"/../shared/validation/{generated,tools}/*.dat "$root"/../shared/validation/real/*/*.dat "$root"/tests/data/*.dat)
stamps='D A T E|TIME\(HH|^\$VERSION'
for side in old new; do
  binary=${!side}
  for job in "${jobs[@]}"; do
    name=$(basename "$job" .dat) dir=$work/$side/$(basename "$job" .dat)
    rm -rf "$dir" && mkdir -p "$dir" && cp "$job" "$dir/"
    (cd "$dir" && timeout 900 "$binary" "$name" 20000 1 > console.txt 2>&1; echo "exit status $?" >> console.txt)
  done
done
differ=0
for job in "${jobs[@]}"; do
  name=$(basename "$job" .dat)
  if [[ $(ls "$work/old/$name") != $(ls "$work/new/$name") ]]; then echo "$name: other files"; differ=1; fi
  for file in "$work/old/$name"/*; do
    if ! diff -q <(grep -avE "$stamps" "$file") <(grep -avE "$stamps" "$work/new/$name/$(basename "$file")") > /dev/null; then
      echo "$name: $(basename "$file") differs"; differ=1
    fi
  done
done
echo "${#jobs[@]} jobs compared in $work: $([[ $differ -eq 0 ]] && echo identical || echo DIFFERENT)"
exit $differ
